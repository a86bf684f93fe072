// Display surfaces of the platform layer: the primary (what the player sees),
// the back surface every screen draws into, and the off-screen work surface.
// Pixels are either 8-bit palette indexes or 32-bit 0x00RRGGBB words in host
// order; rows are `pitch` bytes apart. The display may be larger than the
// 640 x 480 game area, which is then shown centred (see UpdateRectangle).
#pragma once
#include <cstdint>

struct PlatformSurface {
  uint8_t* pixels;
  uint32_t width;
  uint32_t height;
  uint32_t pitch;  // bytes per row
  uint32_t depth;  // 8 or 32
};

struct PaletteEntry {
  uint8_t r, g, b;
};

// The surfaces made by the display set-up; null before it or after shut-down.
PlatformSurface* DisplayPrimarySurface();
PlatformSurface* DisplayBackSurface();
PlatformSurface* DisplayWorkSurface();

// The 256-entry palette of the 8-bit mode: sets entries first..first+count-1.
// Returns 1, or 0 when there is no palette display.
int DisplaySetPalette(uint32_t first, uint32_t count, const PaletteEntry* colours);
void DisplayGetPalette(PaletteEntry out[256]);
