#include "display.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "backend.h"
#include "log.h"
#include "platform_internal.h"
#include "pngfile.h"
#include "threads.h"

namespace {

// The surfaces and the palette; pixels of the primary and the palette are
// guarded by the display mutex, the set-up by g_setup_lock.
std::mutex g_setup_lock;
PlatformSurface* g_primary = nullptr;
PlatformSurface* g_back = nullptr;
PlatformSurface* g_work = nullptr;
QoeMutex* g_mutex = nullptr;
PaletteEntry g_palette[256];
std::atomic<uint32_t> g_width{0}, g_height{0}, g_depth{0};
std::atomic<uint32_t> g_renderer{0};
std::atomic<uint64_t> g_serial{0};
std::atomic<DisplayDirtyHook> g_dirty_hook{nullptr};

PlatformSurface* MakeSurface(uint32_t w, uint32_t h, uint32_t depth) {
  uint32_t bpp = depth / 8;
  uint32_t pitch = (w * bpp + 3u) & ~3u;
  auto* s = static_cast<PlatformSurface*>(std::calloc(1, sizeof(PlatformSurface)));
  if (!s) return nullptr;
  s->pixels = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(pitch) * h, 1));
  if (!s->pixels) {
    std::free(s);
    return nullptr;
  }
  s->width = w;
  s->height = h;
  s->pitch = pitch;
  s->depth = depth;
  return s;
}

void FreeSurface(PlatformSurface* s) {
  if (!s) return;
  std::free(s->pixels);
  std::free(s);
}

// Default palette: a grey ramp, so an 8-bit display shows something sane
// before the first picture sets its colours.
void DefaultPalette() {
  for (int i = 0; i < 256; i++) g_palette[i] = PaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i)};
}

// Copies a w x h rectangle between two surfaces of the same depth; the
// caller made sure both rectangles lie inside their surfaces.
void CopyRect(const PlatformSurface* src, int32_t sx, int32_t sy, PlatformSurface* dst, int32_t dx, int32_t dy,
              int32_t w, int32_t h) {
  uint32_t bpp = src->depth / 8;
  size_t bytes = static_cast<size_t>(w) * bpp;
  for (int32_t row = 0; row < h; row++) {
    const uint8_t* s = src->pixels + static_cast<size_t>(sy + row) * src->pitch + static_cast<size_t>(sx) * bpp;
    uint8_t* d = dst->pixels + static_cast<size_t>(dy + row) * dst->pitch + static_cast<size_t>(dx) * bpp;
    std::memmove(d, s, bytes);
  }
}

bool Inside(const PlatformSurface* s, int64_t x, int64_t y, int64_t w, int64_t h) {
  return x >= 0 && y >= 0 && w >= 0 && h >= 0 && x + w <= s->width && y + h <= s->height;
}

}  // namespace

const char* DDErrorString(int result) {
  switch (result) {
    case kDisplayOk: return "DISPLAY_OK";
    case kDisplayErrNotInitialized: return "DISPLAYERR_NOTINITIALIZED";
    case kDisplayErrInvalidRect: return "DISPLAYERR_INVALIDRECT";
    case kDisplayErrInvalidParams: return "DISPLAYERR_INVALIDPARAMS";
    case kDisplayErrOutOfMemory: return "DISPLAYERR_OUTOFMEMORY";
    case kDisplayErrUnsupportedMode: return "DISPLAYERR_UNSUPPORTEDMODE";
    case kDisplayErrBackend: return "DISPLAYERR_BACKEND";
    default: return "DISPLAYERR_UNKNOWN";
  }
}

void GameAreaOffset(uint32_t width, uint32_t height, int32_t* dx, int32_t* dy) {
  int32_t x = 0, y = 0;
  if (width > kGameAreaWidth || height > kGameAreaHeight) {
    x = (static_cast<int32_t>(width) - static_cast<int32_t>(kGameAreaWidth)) / 2;
    y = (static_cast<int32_t>(height) - static_cast<int32_t>(kGameAreaHeight)) / 2 - 30;
    if (y < 0) y = 0;
  }
  if (dx) *dx = x;
  if (dy) *dy = y;
}

int InitializeDirectDraw(uint32_t width, uint32_t height, uint32_t depth) {
  if ((depth != 8 && depth != 32) || width < kGameAreaWidth || height < kGameAreaHeight || width > 8192 ||
      height > 8192) {
    DebugLog("InitializeDirectDraw: Modus %ux%ux%u nicht moeglich (%s)", width, height, depth,
             DDErrorString(kDisplayErrUnsupportedMode));
    return 0;
  }
  ShutdownDisplay();
  std::lock_guard<std::mutex> g(g_setup_lock);
  g_primary = MakeSurface(width, height, depth);
  g_back = MakeSurface(width, height, depth);
  g_work = MakeSurface(kGameAreaWidth, kGameAreaHeight, depth);
  if (!g_primary || !g_back || !g_work) {
    DebugLog("InitializeDirectDraw: Konnte Surfaces nicht anlegen (%s)", DDErrorString(kDisplayErrOutOfMemory));
    FreeSurface(g_primary);
    FreeSurface(g_back);
    FreeSurface(g_work);
    g_primary = g_back = g_work = nullptr;
    return 0;
  }
  g_mutex = CreateNamedMutex("Titelscreen Mutex");
  DefaultPalette();
  g_width = width;
  g_height = height;
  g_depth = depth;
  DisplayFrameChanged();
  return 1;
}

void ShutdownDisplay() {
  std::lock_guard<std::mutex> g(g_setup_lock);
  if (!g_primary && !g_mutex) return;
  QoeMutex* m = g_mutex;
  ObtainMutex(m);
  FreeSurface(g_primary);
  FreeSurface(g_back);
  FreeSurface(g_work);
  g_primary = g_back = g_work = nullptr;
  g_width = g_height = g_depth = 0;
  ReleaseMutex(m);
  g_mutex = nullptr;
  DeleteMutex(m);
}

PlatformSurface* DisplayPrimarySurface() { return g_primary; }
PlatformSurface* DisplayBackSurface() { return g_back; }
PlatformSurface* DisplayWorkSurface() { return g_work; }
uint32_t DisplayWidth() { return g_width; }
uint32_t DisplayHeight() { return g_height; }
uint32_t DisplayDepth() { return g_depth; }
QoeMutex* DisplayMutex() { return g_mutex; }
void DisplaySetRenderer(uint32_t renderer) { g_renderer = renderer ? 1 : 0; }
uint32_t DisplayRenderer() { return g_renderer; }
void SetDisplayDirtyHook(DisplayDirtyHook hook) { g_dirty_hook.store(hook); }

int DisplaySetPalette(uint32_t first, uint32_t count, const PaletteEntry* colours) {
  if (g_depth != 8 || !colours || first >= 256) return 0;
  if (count > 256 - first) count = 256 - first;
  ObtainMutex(g_mutex);
  std::memcpy(&g_palette[first], colours, count * sizeof(PaletteEntry));
  ReleaseMutex(g_mutex);
  DisplayFrameChanged();
  if (g_renderer == 1)
    if (DisplayDirtyHook hook = g_dirty_hook.load()) hook(0, 0, 0, 0);  // pens change colour everywhere
  return 1;
}

void DisplayGetPalette(PaletteEntry out[256]) {
  if (!out) return;
  ObtainMutex(g_mutex);
  std::memcpy(out, g_palette, sizeof g_palette);
  ReleaseMutex(g_mutex);
}

int UpdateRectangle(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (g_renderer == 1) {
    if (width != 0 && height != 0)
      if (DisplayDirtyHook hook = g_dirty_hook.load()) hook(x, y, width, height);
    return 1;
  }
  if (width == 0 || height == 0) return 1;
  QoeMutex* m = g_mutex;
  if (!m) {
    DebugLog("UpdateRectangle: BltFast fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrNotInitialized));
    DebugLog("UpdateRectangle: Blt fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrNotInitialized));
    return 0;
  }
  ObtainMutex(m);
  int ok = 1;
  if (!g_primary || !g_back) {
    DebugLog("UpdateRectangle: BltFast fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrNotInitialized));
    DebugLog("UpdateRectangle: Blt fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrNotInitialized));
    ok = 0;
  } else {
    int32_t ox, oy;
    GameAreaOffset(g_primary->width, g_primary->height, &ox, &oy);
    int64_t dx = int64_t{x} + ox, dy = int64_t{y} + oy;
    if (Inside(g_back, x, y, width, height) && Inside(g_primary, dx, dy, width, height)) {
      CopyRect(g_back, x, y, g_primary, static_cast<int32_t>(dx), static_cast<int32_t>(dy), width, height);
    } else {
      DebugLog("UpdateRectangle: BltFast fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrInvalidRect));
      // The plain copy clips the rectangle to both surfaces.
      int64_t x0 = x, y0 = y, x1 = int64_t{x} + width, y1 = int64_t{y} + height;
      if (width < 0) std::swap(x0, x1);
      if (height < 0) std::swap(y0, y1);
      x0 = std::max<int64_t>({x0, 0, -int64_t{ox}});
      y0 = std::max<int64_t>({y0, 0, -int64_t{oy}});
      x1 = std::min<int64_t>({x1, g_back->width, int64_t{g_primary->width} - ox});
      y1 = std::min<int64_t>({y1, g_back->height, int64_t{g_primary->height} - oy});
      if (x0 >= x1 || y0 >= y1) {
        DebugLog("UpdateRectangle: Blt fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrInvalidRect));
        ok = 0;
      } else {
        CopyRect(g_back, static_cast<int32_t>(x0), static_cast<int32_t>(y0), g_primary,
                 static_cast<int32_t>(x0 + ox), static_cast<int32_t>(y0 + oy), static_cast<int32_t>(x1 - x0),
                 static_cast<int32_t>(y1 - y0));
      }
    }
  }
  ReleaseMutex(m);
  if (ok) DisplayFrameChanged();
  return ok;
}

int DisplayBltWork(int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t width, int32_t height, int clip) {
  QoeMutex* m = g_mutex;
  if (!m) return kDisplayErrNotInitialized;
  if (width <= 0 || height <= 0) return kDisplayErrInvalidRect;
  ObtainMutex(m);
  int result = kDisplayOk;
  if (!g_primary || !g_work) {
    result = kDisplayErrNotInitialized;
  } else if (!clip) {
    if (Inside(g_work, sx, sy, width, height) && Inside(g_primary, dx, dy, width, height))
      CopyRect(g_work, sx, sy, g_primary, dx, dy, width, height);
    else
      result = kDisplayErrInvalidRect;
  } else {
    // Clipped to both surfaces, the rectangle keeping its place.
    int64_t x0 = 0, y0 = 0, x1 = width, y1 = height;
    x0 = std::max<int64_t>({x0, -int64_t{sx}, -int64_t{dx}});
    y0 = std::max<int64_t>({y0, -int64_t{sy}, -int64_t{dy}});
    x1 = std::min<int64_t>({x1, int64_t{g_work->width} - sx, int64_t{g_primary->width} - dx});
    y1 = std::min<int64_t>({y1, int64_t{g_work->height} - sy, int64_t{g_primary->height} - dy});
    if (x0 >= x1 || y0 >= y1)
      result = kDisplayErrInvalidRect;
    else
      CopyRect(g_work, static_cast<int32_t>(sx + x0), static_cast<int32_t>(sy + y0), g_primary,
               static_cast<int32_t>(dx + x0), static_cast<int32_t>(dy + y0), static_cast<int32_t>(x1 - x0),
               static_cast<int32_t>(y1 - y0));
  }
  ReleaseMutex(m);
  if (result == kDisplayOk) DisplayFrameChanged();
  return result;
}

int Flip(uint32_t mode) {
  (void)mode;  // 0 after a view was opened, 1 after it moved: both show the page
  QoeMutex* m = g_mutex;
  if (!m) return 0;
  ObtainMutex(m);
  int ok = 0;
  if (g_primary && g_back) {
    std::memcpy(g_primary->pixels, g_back->pixels, static_cast<size_t>(g_back->pitch) * g_back->height);
    ok = 1;
  }
  ReleaseMutex(m);
  if (ok) DisplayFrameChanged();
  return ok;
}

void WaitTOF() {
  const PlatformBackend* b = CurrentPlatformBackend();
  if (b && b->wait_vblank) b->wait_vblank();
}

void DisplayFrameChanged() {
  g_serial.fetch_add(1);
  const PlatformBackend* b = CurrentPlatformBackend();
  if (b && b->wake) b->wake();
}

uint64_t DisplayChangeSerial() { return g_serial.load(); }
uint64_t DisplayFrameCount() { return g_serial.load(); }

int DisplayReadRGB(uint32_t* out, uint32_t width, uint32_t height) {
  if (!out || !g_mutex) return 0;
  ObtainMutex(g_mutex);
  int ok = 0;
  if (g_primary && g_primary->width == width && g_primary->height == height) {
    const PlatformSurface* s = g_primary;
    for (uint32_t y = 0; y < s->height; y++) {
      const uint8_t* row = s->pixels + static_cast<size_t>(y) * s->pitch;
      uint32_t* dst = out + static_cast<size_t>(y) * s->width;
      if (s->depth == 8) {
        for (uint32_t x = 0; x < s->width; x++) {
          const PaletteEntry& c = g_palette[row[x]];
          dst[x] = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
        }
      } else {
        std::memcpy(dst, row, static_cast<size_t>(s->width) * 4);
        for (uint32_t x = 0; x < s->width; x++) dst[x] &= 0x00FFFFFFu;
      }
    }
    ok = 1;
  }
  ReleaseMutex(g_mutex);
  return ok;
}

int WriteDisplayPng(const char* path) {
  uint32_t w = g_width, h = g_height;
  if (w == 0 || h == 0) {
    DebugLog("WriteDisplayPng: Kein Display (%s)", DDErrorString(kDisplayErrNotInitialized));
    return 0;
  }
  std::vector<uint32_t> rgb(static_cast<size_t>(w) * h);
  if (!DisplayReadRGB(rgb.data(), w, h)) return 0;
  return WritePngRGB(path, rgb.data(), w, h);
}
