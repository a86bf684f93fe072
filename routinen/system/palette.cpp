// The palette copy, LoadRGB32/SetRGB4 and the conversion of pens into the
// pixel formats of the display modes.
#include <cstring>
#include <mutex>

#include "graphics.h"
#include "graphics_internal.h"
#include "platform/display.h"
#include "platform/log.h"

static_assert((int)PIXFMT_LUT8 == (int)kPixelFormatPalette8 && (int)PIXFMT_XRGB32 == (int)kPixelFormatXRGB8888,
              "the drawing layer's pixel formats are the display's");

namespace {

// The palette module's state record: the screen's palette copy and the
// count of writes, under `lock` (writers of any palette copy vs. pen lookups
// from any drawing thread).
struct PaletteModuleState {
  std::mutex lock;
  PaletteCopy screen;
  uint64_t changes = 0;  // counts writes
};
PaletteModuleState g_palettes;

// True when a display exists and shows 8-bit palette pixels.
bool PaletteDisplay() {
  PlatformSurface* s = DisplayBackSurface();
  if (!s) s = DisplayPrimarySurface();
  return s && s->depth == 8;
}

// Hands entries first..first+count-1 of the palette copy to the display.
// The colours are read under the palette lock; the display is set outside
// it (DisplaySetPalette takes the display mutex). When another thread
// changed a palette meanwhile, its colours may have reached the display
// before ours: the range is read and set again, so that the display ends
// with the newest colours (a bounded number of rounds: a thread that loads
// palettes without pause cannot hold this one here).
void ShowPalette(const PaletteCopy* pal, uint32_t first, uint32_t count) {
  if (!PaletteDisplay() || count == 0) return;
  PaletteEntry entries[256]{};
  for (int round = 0; round < 64; round++) {
    uint64_t seen;
    {
      std::lock_guard<std::mutex> lock(g_palettes.lock);
      for (uint32_t i = 0; i < count; i++) {
        const PaletteColor& c = pal->Colors[first + i];
        entries[i] = PaletteEntry{c.Red, c.Green, c.Blue};
      }
      seen = g_palettes.changes;
    }
    if (!DisplaySetPalette(first, count, entries)) {
      DebugLog("LoadRGB32: Konnte Palette nicht setzen. Meldung %s\n", "DisplaySetPalette");
      return;
    }
    std::lock_guard<std::mutex> lock(g_palettes.lock);
    if (g_palettes.changes == seen) return;
  }
}

}  // namespace

PaletteCopy* ScreenPalette() { return &g_palettes.screen; }

void LoadRGB32(PaletteCopy* target, const void* table) {
  if (!table) return;
  if (!target) target = &g_palettes.screen;
  const uint8_t* p = static_cast<const uint8_t*>(table);
  uint32_t groups = 0, range_first = 0, range_count = 0;
  {
    std::lock_guard<std::mutex> lock(g_palettes.lock);
    for (;;) {
      uint16_t count, first;
      std::memcpy(&count, p, 2);
      std::memcpy(&first, p + 2, 2);
      p += 4;
      if (count == 0) break;
      for (uint32_t i = 0; i < count; i++, p += 12) {
        uint32_t rgb[3];
        std::memcpy(rgb, p, 12);
        uint32_t n = (uint32_t)first + i;
        if (n > 255) continue;  // beyond the table: dropped, still consumed
        PaletteColor& c = target->Colors[n];
        c.Red = (uint8_t)(rgb[0] >> 24);
        c.Green = (uint8_t)(rgb[1] >> 24);
        c.Blue = (uint8_t)(rgb[2] >> 24);
      }
      groups++;
      range_first = first;
      range_count = count;
    }
    g_palettes.changes++;
  }
  if (groups == 0) return;
  if (groups == 1 && range_first <= 255) {
    if (range_first + range_count > 256) range_count = 256 - range_first;
    ShowPalette(target, range_first, range_count);
  } else {
    ShowPalette(target, 0, 256);
  }
}

void SetRGB4(PaletteCopy* target, uint32_t n, uint32_t r, uint32_t g, uint32_t b) {
  if (n > 255) return;
  if (!target) target = &g_palettes.screen;
  {
    std::lock_guard<std::mutex> lock(g_palettes.lock);
    PaletteColor& c = target->Colors[n];
    c.Red = (uint8_t)((r & 15) * 17);
    c.Green = (uint8_t)((g & 15) * 17);
    c.Blue = (uint8_t)((b & 15) * 17);
    g_palettes.changes++;
  }
  ShowPalette(target, n, 1);
}

uint32_t ConvertRGBToFormat(uint16_t format, const uint8_t* source, void* destination, uint32_t count) {
  if (!source || !destination) return 0;
  if (format == PIXFMT_LUT8) {
    std::memmove(destination, source, count);
    return count;
  }
  if (format != PIXFMT_XRGB32 && format != PIXFMT_RGBA32) return 0;
  uint32_t table[256];
  gfx::PenTable(format, table);
  uint8_t* d = static_cast<uint8_t*>(destination);
  for (uint32_t i = 0; i < count; i++) std::memcpy(d + 4 * (size_t)i, &table[source[i]], 4);
  return count;
}

namespace gfx {

uint32_t ColorPixel(uint16_t format, const PaletteColor& c) {
  if (format == PIXFMT_RGBA32) {
    uint8_t bytes[4] = {c.Red, c.Green, c.Blue, 255};
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
  }
  return ((uint32_t)c.Red << 16) | ((uint32_t)c.Green << 8) | c.Blue;
}

void PenTable(uint16_t format, uint32_t table[256]) {
  std::lock_guard<std::mutex> lock(g_palettes.lock);
  for (int i = 0; i < 256; i++)
    table[i] = format == PIXFMT_LUT8 ? (uint32_t)i : ColorPixel(format, g_palettes.screen.Colors[i]);
}

uint32_t PenPixel(const BitMap* bm, uint32_t pen) {
  pen &= 0xFF;
  if (bm->Depth == 8) return pen;
  std::lock_guard<std::mutex> lock(g_palettes.lock);
  return ColorPixel(BitMapPixelFormat(bm), g_palettes.screen.Colors[pen]);
}

}  // namespace gfx
