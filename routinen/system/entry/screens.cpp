// The program's screens by ScreenCode. A screen enters the table when its
// module exists; until then its code ends the game like any code without a
// screen.
#include "screens.h"

#include <cstring>

#include "platform/display.h"
#include "routinen/system/input.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/system/fonts.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/shell.h"

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
// picture with the game's name and how to leave; Escape (or closing the
// window) ends the game.
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
      PrintTextOutlined(rp, 0, 250, 639, 270, "Press Escape to quit.", 0, kPenInk,
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
  while (WaitEvent(0) != WE_KEY_ESCAPE) {
  }
  if (pic) CloseElmorPic(1, 0);
  CloseFont(big);
  CloseFont(small);
  return SCREEN_END;
}

const ScreenTableEntry kProgramScreens[] = {
    {SCREEN_TITLE, PlaceholderTitle},
};

}  // namespace

void InstallProgramScreens() {
  SetScreenTable(kProgramScreens, sizeof kProgramScreens / sizeof kProgramScreens[0]);
  ShellHooks hooks{};
  hooks.FreeMovieBase = FreeCurrentMovieBase;
  hooks.StartTcpIp = Start_TCP_IP;
  hooks.QuitTcpIp = [] { Quit_TCP_IP(); };
  SetShellHooks(&hooks);
  SetMouseCursorHook(LoadElmorCursor);
}
