// The program's screens by ScreenCode. A screen enters the table when its
// module exists; until then its code ends the game like any code without a
// screen.
#include "screens.h"

#include <cstring>

#include "display.h"
#include "input.h"
#include "shell.h"

namespace {

// Stand-in for the title screen until the hub screens exist: a framed area
// in the game's colours; Escape (or closing the window) ends the game.
int32_t PlaceholderTitle(int32_t) {
  PlatformSurface* back = DisplayBackSurface();
  if (back) {
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
  while (WaitEvent(0) != WE_KEY_ESCAPE) {
  }
  return SCREEN_END;
}

const ScreenTableEntry kProgramScreens[] = {
    {SCREEN_TITLE, PlaceholderTitle},
};

}  // namespace

void InstallProgramScreens() {
  SetScreenTable(kProgramScreens, sizeof kProgramScreens / sizeof kProgramScreens[0]);
  ShellHooks hooks{};
  SetShellHooks(&hooks);
}
