// The program's screens by ScreenCode. A screen enters the table when its
// module exists; until then its code leads back to the main screen (logged),
// so every gadget of the main screen can be tried.
#include "screens.h"

#include <cstring>

#include "platform/display.h"
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
#include "routinen/system/shell.h"
#include "routinen/system/prefs.h"
#include "platform/log.h"
#include "screens/hub/anarchie.h"
#include "screens/hub/credits.h"
#include "screens/hub/residenz.h"
#include "screens/hub/residenzdownload.h"
#include "screens/story/dungeon.h"
#include "screens/story/goetter.h"
#include "screens/story/kroenung.h"
#include "screens/story/rizizozez.h"
#include "screens/hub/stammbaum.h"
#include "screens/hub/titel.h"
#include "screens/common/screenbase.h"
#include "screens/economy/stadt.h"

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

const ScreenTableEntry kProgramScreens[] = {
    {SCREEN_TITLE, ProgramTitle},
    {SCREEN_MAIN, ResidenzScreen},
    {1139, ResidenzScreen},
    {SCREEN_STORY, RizizOzez},
    // Screens still to come; each screen's module replaces its line.
    {3, NotBuiltYet}, {32, NotBuiltYet}, {33, NotBuiltYet}, {34, NotBuiltYet}, {35, NotBuiltYet},
    {36, NotBuiltYet}, {38, NotBuiltYet}, {39, StadtScreen}, {40, StammbaumScreen}, {41, NotBuiltYet},
    {42, NotBuiltYet}, {43, NotBuiltYet}, {56, NotBuiltYet}, {59, NotBuiltYet}, {61, NotBuiltYet},
    {108, NotBuiltYet}, {133, NotBuiltYet}, {134, NotBuiltYet}, {1141, NotBuiltYet}, {151, CreditScreen},
    {152, NotBuiltYet}, {499, AnarchieScreen}, {519, NotBuiltYet}, {876, KroenungsScreen},
    {919, NotBuiltYet}, {1085, GoetterScreen}, {1293, DungeonScreen},
};

}  // namespace

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
  SetShellHooks(&hooks);
  SetClickSoundHook(ClickSound);
  SetMouseCursorHook(LoadElmorCursor);
}
