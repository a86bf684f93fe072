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
#include "routinen/system/fonts.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/shell.h"
#include "routinen/system/prefs.h"
#include "platform/log.h"
#include "screens/hub/residenz.h"
#include "screens/hub/residenzdownload.h"
#include "screens/story/rizizozez.h"

namespace {

constexpr uint32_t kPenInk = 7, kPenGold = 8;

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

// Stand-in for the title screen until the hub screens exist: the title
// picture with the game's name; Escape (or closing the window) ends the
// game, Enter or a click goes on to the main screen (the sign-up while no
// game is installed).
int32_t PlaceholderTitle(int32_t) {
  const bool pic = OpenElmorPic(".\\Data\\Path", 1, 1) != -1;  // 1 from the OpenGL variant
  TextFont* big = nullptr;
  TextFont* small = nullptr;
  if (pic) {
    RastPort* rp = ScreenRastPort();
    TextFont* old = rp->Font;
    big = OpenDiskFont("fonts\\Times24.fnt");
    small = OpenDiskFont("fonts\\XHelvetica11.fnt");
    if (big) {
      SetFont(rp, big);
      PrintTextOutlined(rp, 0, 200, 639, 240, "Quill of Elmor", 0, kPenGold,
                        PTO_CENTRE | PTO_VCENTRE | PTO_BASELINE | PTO_OUTLINE);
    }
    if (small) {
      SetFont(rp, small);
      PrintTextOutlined(rp, 0, 250, 639, 270, "Press Enter to begin, Escape to quit.", 0, kPenInk,
                        PTO_CENTRE | PTO_VCENTRE | PTO_BASELINE);
    }
    // The fonts close when the page ends; the RastPort must not keep them.
    if (old) SetFont(rp, old);
    else rp->Font = nullptr;
    StartTheTransition();
    WaitTransition();  // the page stands whole before it takes input
  } else {
    DrawPlainTitle();
  }
  int32_t next = SCREEN_END;
  for (;;) {
    const int32_t event = WaitEvent(0);
    if (event == WE_KEY_ESCAPE) break;
    if (event == WE_KEY_ENTER || event == WE_LEFT_UP) {
      next = CheckPrefs(0, 0, 0) >= 2 ? SCREEN_MAIN : 32;
      break;
    }
  }
  if (pic) CloseElmorPic(1, next == SCREEN_END ? 0 : 1);
  CloseFont(big);
  CloseFont(small);
  return next;
}

// A screen whose module is not built yet: back to the main screen.
int32_t NotBuiltYet(int32_t) {
  DebugLog("Screen: Dieser Screen ist noch nicht eingebaut, zur\xFC" "ck zur Residenz.\n");
  return SCREEN_MAIN;
}

const ScreenTableEntry kProgramScreens[] = {
    {SCREEN_TITLE, PlaceholderTitle},
    {SCREEN_MAIN, ResidenzScreen},
    {1139, ResidenzScreen},
    {SCREEN_STORY, RizizOzez},
    // Screens still to come; each screen's module replaces its line.
    {3, NotBuiltYet}, {32, NotBuiltYet}, {33, NotBuiltYet}, {34, NotBuiltYet}, {35, NotBuiltYet},
    {36, NotBuiltYet}, {38, NotBuiltYet}, {39, NotBuiltYet}, {40, NotBuiltYet}, {41, NotBuiltYet},
    {42, NotBuiltYet}, {43, NotBuiltYet}, {56, NotBuiltYet}, {59, NotBuiltYet}, {61, NotBuiltYet},
    {108, NotBuiltYet}, {133, NotBuiltYet}, {134, NotBuiltYet}, {1141, NotBuiltYet}, {151, NotBuiltYet},
    {152, NotBuiltYet}, {499, NotBuiltYet}, {519, NotBuiltYet}, {876, NotBuiltYet},
    {919, NotBuiltYet}, {1085, NotBuiltYet}, {1293, NotBuiltYet},
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
  SetShellHooks(&hooks);
  SetClickSoundHook(ClickSound);
  SetMouseCursorHook(LoadElmorCursor);
}
