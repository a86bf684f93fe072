// The program's screens by ScreenCode. A screen enters the table when its
// module exists; until then its code leads back to the main screen (logged),
// so every gadget of the main screen can be tried.
#include "screens.h"

#include <cstring>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gui/census.h"
#include "routinen/system/input.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/gamedata/towns.h"
#include "routinen/map/mapaction.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "routinen/map/figurmenu.h"
#include "routinen/map/mapscreen.h"
#include "routinen/system/shell.h"
#include "routinen/system/prefs.h"
#include "platform/log.h"
#include "screens/hub/anarchie.h"
#include "screens/hub/credits.h"
#include "screens/hub/residenz.h"
#include "screens/hub/residenzdownload.h"
#include "screens/hub/option1.h"
#include "screens/hub/option2.h"
#include "screens/hub/optionen.h"
#include "screens/hub/signup.h"
#include "screens/story/berichte.h"
#include "screens/story/dungeon.h"
#include "screens/story/goetter.h"
#include "screens/story/kroenung.h"
#include "screens/story/rizizozez.h"
#include "screens/story/statistik.h"
#include "screens/hub/stammbaum.h"
#include "screens/hub/lager.h"
#include "screens/hub/taverne.h"
#include "screens/hub/titel.h"
#include "screens/common/screenbase.h"
#include "screens/economy/bau.h"
#include "screens/economy/forschung.h"
#include "screens/economy/hafen.h"
#include "screens/economy/handel.h"
#include "screens/economy/kornlager.h"
#include "screens/economy/luxus.h"
#include "screens/economy/stadt.h"
#include "screens/economy/steuern.h"
#include "screens/military/diplomat.h"
#include "screens/military/nachrichten.h"
#include "screens/military/spezialisten.h"
#include "screens/military/kasernescreen.h"

namespace {

// Without the data folders: a framed area in the game's colours.
void DrawPlainTitle() {
  PlatformSurface* back = DisplayBackSurface();
  if (!back) return;
  static const PaletteEntry kColours[4] = {{28, 20, 16}, {140, 112, 80}, {240, 192, 96}, {106, 58, 28}};
  DisplaySetPalette(0, 4, kColours);
  for (uint32_t y = 0; y < kGameAreaHeight; y++) {
    for (uint32_t x = 0; x < kGameAreaWidth; x++) {
      bool frame = x < 8 || y < 8 || x >= kGameAreaWidth - 8 || y >= kGameAreaHeight - 8;
      bool band = y >= 200 && y < 280 && x >= 120 && x < 520;
      uint32_t pen = frame ? 1 : band ? 3 : 0;
      if (back->depth == 8) {
        back->pixels[y * back->pitch + x] = static_cast<uint8_t>(pen);
      } else {
        const PaletteEntry& c = kColours[pen];
        uint32_t v = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
        std::memcpy(back->pixels + y * back->pitch + x * 4, &v, 4);
      }
    }
  }
  UpdateRectangle(0, 0, kGameAreaWidth, kGameAreaHeight);
}

// The title screen; started without the game's data (no picture index) a
// plain page stands until Escape or the window's close, and the game ends.
int32_t ProgramTitle(int32_t entry_code) {
  if (GeFileSize(".\\Data\\Path") != 0) return TitelScreen(entry_code);
  DebugLog("Screen: Die Spieldaten fehlen (.\\Data\\Path), das Spiel kann nicht beginnen.\n");
  DrawPlainTitle();
  while (WaitEvent(0) != WE_KEY_ESCAPE) {
  }
  return SCREEN_END;
}

// A screen whose module is not built yet: back to the main screen.
int32_t NotBuiltYet(int32_t) {
  DebugLog("Screen: Dieser Screen ist noch nicht eingebaut, zur\xFC" "ck zur Residenz.\n");
  return SCREEN_MAIN;
}

// Script lines that open each screen's boxes (the 640 x 480 mode: display
// and game coordinates agree), one fragment per box; the close table test
// (program/tests) plays each and closes the game there.
const char* const kTitleBoxes[] = {
    "",                                                           // the greeting
    "key enter\nwait 300\nkey esc\n",                              // leave the game?
    "key enter\nwait 300\nmove 130 166\nclick left 130 166\n",      // a new game?
    "key enter\nwait 300\nmove 130 212\nclick left 130 212\n",      // load a game?
    // a game saved, then the choice of the lord whose game to load
    "key enter\nwait 300\nmove 130 258\nclick left 130 258\nwait 600\nmove 130 212\nclick left 130 212\n"
    "wait 300\nkey enter\n",
    nullptr};
const char* const kResidenzBoxes[] = {
    "",                                                           // tutorial and tips
    "key enter\nkey enter\nwait 300\nmove 410 425\nclick left 410 425\n",  // the download
    "key enter\nkey enter\nwait 300\nmove 529 425\nclick left 529 425\n",  // the upload
    nullptr};
const char* const kStadtBoxes[] = {
    "",
    "key esc\n",                                                   // the town choice
    "key esc\nwait 300\nmove 473 460\nclick left 473 460\n",        // its help
    "move 259 202\nclick left 259 202\n",                           // no market yet
    "move 491 150\nclick left 491 150\n",                           // no barracks yet
    nullptr};
const char* const kForschungBoxes[] = {
    "",
    "move 85 135\nclick left 85 135\n",                                             // a field's requester
    "move 85 135\nclick left 85 135\nwait 300\nmove 143 393\nclick left 143 393\n",  // its help
    "move 85 135\nclick left 85 135\nwait 300\nmove 319 393\nclick left 319 393\n",  // the order's question
    nullptr};
const char* const kSteuernBoxes[] = {
    "",
    "move 125 350\nclick left 125 350\n",  // the base tax
    "move 125 170\nclick left 125 170\n",  // the custom dues
    "move 545 350\nclick left 545 350\n",  // the resource tax
    "move 545 170\nclick left 545 170\n",  // the judicial tax
    "move 235 105\nclick left 235 105\n",  // the tenth (or its message)
    "move 405 105\nclick left 405 105\n",  // the church tax (or its message)
    "move 47 440\nclick left 47 440\n",    // the help
    nullptr};
const char* const kStoryBoxes[] = {
    "",
    "wait 6000\n",                                                 // the story's browser
    "wait 6000\nmove 99 443\nclick left 99 443\n",                  // its help
    nullptr};
const char* const kSignupBoxes[] = {
    "",                                                           // the form with its help
    "move 400 470\nclick left 400 470\n",                           // a form without a name
    nullptr};
const char* const kKarteBoxes[] = {
    "",
    "move 530 412\nclick left 530 412\n",                           // the map's help
    nullptr};
const char* const kModemPageBoxes[] = {
    "",
    "move 75 445\nclick left 75 445\n",                              // its help
    nullptr};
const char* const kSoundPageBoxes[] = {
    "",
    "move 75 445\nclick left 75 445\n",                              // its help
    "move 150 134\nclick left 150 134\n",                            // wavetable is not offered
    nullptr};
const char* const kInternetPageBoxes[] = {
    "",
    "move 75 445\nclick left 75 445\n",                              // its help
    "move 300 267\nclick left 300 267\ntext x@y.z\nkey enter\n",     // a changed address
    nullptr};
const char* const kHandelBoxes[] = {
    "",
    "move 213 28\nclick left 213 28\n",                             // the market's help
    nullptr};
const char* const kDiplomatBoxes[] = {
    "",
    "move 544 208\nclick left 544 208\n",                          // the trade counter's message (no market here)
    "move 96 208\nclick left 96 208\n",                            // the contracts read
    "move 96 208\nclick left 96 208\nwait 600\nmove 150 133\nclick left 150 133\n",  // and one of them
    "move 320 140\nclick left 320 140\n",                          // the vassal hall
    "move 120 400\nclick left 120 400\n",                          // the contracts to cancel
    "move 520 400\nclick left 520 400\n",                          // the letters
    "move 520 400\nclick left 520 400\nwait 600\nmove 150 406\nclick left 150 406\n",  // and the first one read
    "move 520 400\nclick left 520 400\nwait 600\nmove 150 133\nclick left 150 133\nwait 300\n"
    "move 338 398\nclick left 338 398\n",                          // a letter to a lord: its subject asked
    nullptr};
const char* const kBauBoxes[] = {
    "",
    "move 405 411\nclick left 405 411\n",                           // the building sites
    "move 451 411\nclick left 451 411\n",                           // the demolition choice
    "move 497 411\nclick left 497 411\n",                           // the help
    "move 359 411\nclick left 359 411\n",                           // build it? (the question)
    nullptr};
const char* const kStatistikBoxes[] = {
    "",
    "move 470 425\nclick left 470 425\n",                           // the help
    "move 330 425\nclick left 330 425\n",                           // the legend
    nullptr};
const char* const kKornlagerBoxes[] = {
    "",
    "move 400 250\nclick left 400 250\n",                           // the granary's requester
    "move 400 250\nclick left 400 250\nwait 300\nmove 133 435\nclick left 133 435\n",  // its help
    "move 400 250\nclick left 400 250\nwait 300\nmove 165 302\nclick left 165 302\n",  // a typed store
    nullptr};
const char* const kLuxusBoxes[] = {
    "",
    "move 485 447\nclick left 485 447\n",                           // the help
    "move 100 190\nclick left 100 190\nwait 300\nmove 85 437\nclick left 85 437\n",  // a typed allocation
    nullptr};
const char* const kTaverneBoxes[] = {
    "",
    "move 292 347\nclick left 292 347\n",                           // the chat's choice
    "move 248 91\nclick left 248 91\n",                             // the slide show's question
    "move 292 347\nclick left 292 347\nwait 300\nmove 317 249\nclick left 317 249\n",  // the letters
    "move 500 220\nclick left 500 220\n",                           // the rune stones
    nullptr};
const char* const kLagerBoxes[] = {
    "",
    "move 330 460\nclick left 330 460\n",                           // the server's message
    nullptr};
const char* const kNachrichtenBoxes[] = {
    "",
    "move 440 433\nclick left 440 433\n",                           // the help
    nullptr};
const char* const kKaserneBoxes[] = {
    "",
    "move 285 200\nclick left 285 200\n",                                              // army management
    "move 285 200\nclick left 285 200\nwait 300\nmove 119 387\nclick left 119 387\n",   // its help
    "move 285 200\nclick left 285 200\nwait 300\nmove 111 353\nclick left 111 353\n",   // a refusal (no units)
    "move 600 240\nclick left 600 240\n",                                              // the weapons
    "move 300 420\nclick left 300 420\n",                                              // the training (or its refusal)
    nullptr};
const char* const kHafenBoxes[] = {
    "",
    "move 465 190\nclick left 465 190\n",                           // the harbour master's notice
    "move 110 375\nclick left 110 375\n",                           // the shipyard
    "move 310 375\nclick left 310 375\n",                           // the repair yard
    "move 310 375\nclick left 310 375\nwait 300\nmove 160 365\nclick left 160 365\n",  // its help
    nullptr};
const char* const kOnlyItself[] = {"", nullptr};

// The ways out that are not an EXIT gadget (see ScreenTableEntry::leave).
const char kLeaveTitle[] = "key enter\nwait 300\nmove 320 240\ngadget NORM\n";  // the greeting, then on
const char kLeaveStory[] = "wait 6000\ngadget EXIT\n";             // the browser's EXIT
const char kLeaveSignup[] = "move 545 470\nclick left 545 470\n";  // the form's cancel
const char kLeaveToTown[] = "gadget STAD\n";                       // the town's gadget
const char kLeaveByClick[] = "click left 320 240\n";               // a click anywhere
const char kNoLeaveGadget[] = "";                                  // Escape alone

const ScreenTableEntry kProgramScreens[] = {
    {SCREEN_TITLE, ProgramTitle, kTitleBoxes, kLeaveTitle},
    {SCREEN_MAIN, ResidenzScreen, kResidenzBoxes},
    {1139, ResidenzScreen, kResidenzBoxes},
    {SCREEN_STORY, RizizOzez, kStoryBoxes, kLeaveStory},
    // Screens still to come; each screen's module replaces its line.
    {3, KartenScreenRun, kKarteBoxes}, {32, InitScreen, kSignupBoxes, kLeaveSignup}, {33, BerichteScreen, kOnlyItself}, {34, DiplomatScreen, kDiplomatBoxes}, {35, ForschungScreen, kForschungBoxes},
    {36, NachrichtenScreen, kNachrichtenBoxes}, {38, SpezialistenScreen, kOnlyItself}, {39, StadtScreen, kStadtBoxes}, {40, StammbaumScreen, kOnlyItself, kNoLeaveGadget}, {41, StatistikScreen, kStatistikBoxes},
    {42, SteuernScreen, kSteuernBoxes}, {43, BauScreen, kBauBoxes}, {56, KornlagerScreen, kKornlagerBoxes}, {59, TaverneScreen, kTaverneBoxes}, {61, LagerScreen, kLagerBoxes},
    {108, HandelsScreen, kHandelBoxes}, {133, OptionenScreen, kSoundPageBoxes}, {134, Option1Screen, kInternetPageBoxes}, {1141, Option2Screen, kModemPageBoxes}, {151, CreditScreen, kOnlyItself},
    {152, KaserneScreen, kKaserneBoxes, kLeaveToTown}, {499, AnarchieScreen, kOnlyItself, kNoLeaveGadget}, {519, HafenScreen, kHafenBoxes, kLeaveToTown}, {876, KroenungsScreen, kOnlyItself, kLeaveByClick},
    {919, LuxusScreen, kLuxusBoxes}, {1085, GoetterScreen, kOnlyItself}, {1293, DungeonScreen, kOnlyItself},
};

}  // namespace

const ScreenTableEntry* ProgramScreenTable(uint32_t* count) {
  *count = sizeof kProgramScreens / sizeof kProgramScreens[0];
  return kProgramScreens;
}

int ProgramScreenBuilt(const ScreenTableEntry* row) { return row->screen != NotBuiltYet; }

void InstallProgramScreens() {
  SetScreenTable(kProgramScreens, sizeof kProgramScreens / sizeof kProgramScreens[0]);
  SetResidenzDownload(ResidenzDownload);
  ShellHooks hooks{};
  hooks.FreeMovieBase = FreeCurrentMovieBase;
  hooks.StartTcpIp = Start_TCP_IP;
  hooks.QuitTcpIp = [] { Quit_TCP_IP(); };
  hooks.SoundMaske = SoundMaske;
  hooks.ExitSound = ExitSound;
  hooks.StartIrcPanel = StartIrcPanel;
  hooks.StopIrcPanel = StopIrcPanel;
  hooks.SettleActiveTown = [] { SettleActiveTown(0); };
  hooks.NoScreen = [](int32_t) { ScreenStartFailed(nullptr, SCREEN_STEP_NO_SCREEN, nullptr); };
  hooks.FreePictures = FreeAllElmorGfx;
  hooks.MapPrebuild = MapScreenPrebuild;
  hooks.MapRelease = MapScreenRelease;
  hooks.KartenScreenSaveData = MapScreenSaveData;
  hooks.KartenScreenNewSetup = MapScreenNewSetup;
  SetShellHooks(&hooks);
  MapScreenHooks map{};
  FillMapDisplayHooks(&map);
  FillMapInfoHooks(&map);
  FillMapActionHooks(&map);
  FillMapMenuHooks(&map);
  map.StartFailed = [](uint32_t step, const char* line) {
    ScreenStartFailed(nullptr, step, line);
  };
  SetMapScreenHooks(&map);
  SetClickSoundHook(ClickSound);
  SetMouseCursorHook(LoadElmorCursor);
  // A scripted walk clicks what the gadget census offers.
  WalkHooks walk{};
  walk.targets = [](WalkTarget* out, uint32_t max) {
    static CensusTarget found[256];
    const uint32_t n = CensusTargets(found, max < 256 ? max : 256);
    for (uint32_t i = 0; i < n; ++i) {
      out[i] = {found[i].x1, found[i].y1, found[i].x2, found[i].y2, found[i].hit, {}, found[i].age};
      std::memcpy(out[i].id, found[i].id, sizeof out[i].id);
    }
    return n;
  };
  walk.clicked = CensusClicked;
  walk.report = LogGadgetCensus;
  walk.box_waits = CensusMessageBoxWaits;
  SetWalkHooks(&walk);
}
