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

// The display's state record.
struct PlatformDisplayState {
  // Creating and freeing the surfaces and the mutex: under setupLock (the
  // window thread sets up and shuts down; the game thread may close a
  // headless display).
  std::mutex setupLock;
  // The surfaces: pixels of the primary (and the back surface's copies to
  // it) under the display mutex "Titelscreen Mutex"; the back surface is
  // drawn by the game thread under the same mutex.
  PlatformSurface* primary = nullptr;
  PlatformSurface* back = nullptr;
  PlatformSurface* work = nullptr;
  QoeMutex* mutex = nullptr;  // the display mutex itself
  PaletteEntry palette[256];  // under the display mutex
  // Size, renderer, frame serial and the 3D engine's dirty hook: atomics,
  // read by any thread.
  std::atomic<uint32_t> width{0}, height{0}, depth{0};
  std::atomic<uint32_t> renderer{0};
  std::atomic<uint64_t> serial{0};
  std::atomic<DisplayDirtyHook> dirtyHook{nullptr};
  // The map screen on a deeper display: the back surface is shown at
  // display coordinates (no centring offset). Atomic, set by the game thread.
  std::atomic<uint32_t> atCorner{0};
  // The rectangles of the primary changed since the backend last took them
  // (display coordinates, under the display mutex): overlapping ones merge,
  // and when they do not fit they become their bounding box.
  DisplayRect changed[kDisplayChangeRects];
  uint32_t changedCount = 0;
  // The 8-bit pens whose colour changed since then (under the display
  // mutex): only the pixels of those pens change on the screen.
  uint64_t pensChanged[4] = {0, 0, 0, 0};
};
PlatformDisplayState g_screen;

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
  for (int i = 0; i < 256; i++) g_screen.palette[i] = PaletteEntry{uint8_t(i), uint8_t(i), uint8_t(i)};
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

bool Overlap(const DisplayRect& a, const DisplayRect& b) {
  return a.x <= b.x + b.width && b.x <= a.x + a.width && a.y <= b.y + b.height && b.y <= a.y + a.height;
}

DisplayRect Bounds(const DisplayRect& a, const DisplayRect& b) {
  const int32_t x0 = std::min(a.x, b.x), y0 = std::min(a.y, b.y);
  const int32_t x1 = std::max(a.x + a.width, b.x + b.width), y1 = std::max(a.y + a.height, b.y + b.height);
  return DisplayRect{x0, y0, x1 - x0, y1 - y0};
}

// Notes a changed rectangle of the primary (display mutex held), cut to it.
void NoteChanged(int64_t x, int64_t y, int64_t w, int64_t h) {
  const PlatformSurface* p = g_screen.primary;
  if (!p) return;
  const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
  const int64_t x1 = std::min<int64_t>(x + w, p->width), y1 = std::min<int64_t>(y + h, p->height);
  if (x0 >= x1 || y0 >= y1) return;
  DisplayRect r{int32_t(x0), int32_t(y0), int32_t(x1 - x0), int32_t(y1 - y0)};
  // Merged with every queued rectangle it touches (the merge may touch more).
  for (uint32_t i = 0; i < g_screen.changedCount;) {
    if (Overlap(g_screen.changed[i], r)) {
      r = Bounds(g_screen.changed[i], r);
      g_screen.changed[i] = g_screen.changed[--g_screen.changedCount];
      i = 0;
    } else {
      i++;
    }
  }
  if (g_screen.changedCount == kDisplayChangeRects) {
    for (uint32_t i = 0; i < g_screen.changedCount; i++) r = Bounds(g_screen.changed[i], r);
    g_screen.changedCount = 0;
  }
  g_screen.changed[g_screen.changedCount++] = r;
}

void NoteAllChanged() {
  g_screen.changedCount = 0;
  if (g_screen.primary) NoteChanged(0, 0, g_screen.primary->width, g_screen.primary->height);
}

// The pixels of pens whose colour changed become changed rectangles: bands
// of rows with such pixels, each as wide as its pixels reach (display mutex
// held).
void NotePenPixels() {
  const uint64_t* pens = g_screen.pensChanged;
  if (!(pens[0] | pens[1] | pens[2] | pens[3])) return;
  const PlatformSurface* p = g_screen.primary;
  if (p && p->depth == 8) {
    int32_t band_y = -1, band_x0 = 0, band_x1 = 0;
    for (uint32_t y = 0; y <= p->height; y++) {
      int32_t x0 = -1, x1 = -1;
      if (y < p->height) {
        const uint8_t* row = p->pixels + static_cast<size_t>(y) * p->pitch;
        for (uint32_t x = 0; x < p->width; x++)
          if ((pens[row[x] >> 6] >> (row[x] & 63)) & 1) {
            if (x0 < 0) x0 = int32_t(x);
            x1 = int32_t(x);
          }
      }
      if (x0 >= 0) {
        if (band_y < 0) {
          band_y = int32_t(y);
          band_x0 = x0;
          band_x1 = x1;
        } else {
          band_x0 = std::min(band_x0, x0);
          band_x1 = std::max(band_x1, x1);
        }
      } else if (band_y >= 0) {
        NoteChanged(band_x0, band_y, band_x1 - band_x0 + 1, int64_t(y) - band_y);
        band_y = -1;
      }
    }
  }
  for (uint64_t& word : g_screen.pensChanged) word = 0;
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
  std::lock_guard<std::mutex> g(g_screen.setupLock);
  g_screen.primary = MakeSurface(width, height, depth);
  g_screen.back = MakeSurface(width, height, depth);
  g_screen.work = MakeSurface(kGameAreaWidth, kGameAreaHeight, depth);
  if (!g_screen.primary || !g_screen.back || !g_screen.work) {
    DebugLog("InitializeDirectDraw: Konnte Surfaces nicht anlegen (%s)", DDErrorString(kDisplayErrOutOfMemory));
    FreeSurface(g_screen.primary);
    FreeSurface(g_screen.back);
    FreeSurface(g_screen.work);
    g_screen.primary = g_screen.back = g_screen.work = nullptr;
    return 0;
  }
  g_screen.mutex = CreateNamedMutex("Titelscreen Mutex");
  DefaultPalette();
  g_screen.width = width;
  g_screen.height = height;
  g_screen.depth = depth;
  g_screen.changedCount = 0;
  for (uint64_t& word : g_screen.pensChanged) word = 0;
  NoteChanged(0, 0, width, height);
  DisplayFrameChanged();
  return 1;
}

void ShutdownDisplay() {
  std::lock_guard<std::mutex> g(g_screen.setupLock);
  if (!g_screen.primary && !g_screen.mutex) return;
  QoeMutex* m = g_screen.mutex;
  ObtainMutex(m);
  FreeSurface(g_screen.primary);
  FreeSurface(g_screen.back);
  FreeSurface(g_screen.work);
  g_screen.primary = g_screen.back = g_screen.work = nullptr;
  g_screen.width = g_screen.height = g_screen.depth = 0;
  g_screen.changedCount = 0;
  ReleaseMutex(m);
  g_screen.mutex = nullptr;
  DeleteMutex(m);
}

PlatformSurface* DisplayPrimarySurface() { return g_screen.primary; }
PlatformSurface* DisplayBackSurface() { return g_screen.back; }
PlatformSurface* DisplayWorkSurface() { return g_screen.work; }
uint32_t DisplayWidth() { return g_screen.width; }
uint32_t DisplayHeight() { return g_screen.height; }
uint32_t DisplayDepth() { return g_screen.depth; }
QoeMutex* DisplayMutex() { return g_screen.mutex; }
void DisplaySetRenderer(uint32_t renderer) { g_screen.renderer = renderer ? 1 : 0; }
uint32_t DisplayRenderer() { return g_screen.renderer; }
void SetDisplayDirtyHook(DisplayDirtyHook hook) { g_screen.dirtyHook.store(hook); }

int DisplaySetPalette(uint32_t first, uint32_t count, const PaletteEntry* colours) {
  if (g_screen.depth != 8 || !colours || first >= 256) return 0;
  if (count > 256 - first) count = 256 - first;
  ObtainMutex(g_screen.mutex);
  // The same colours again change nothing on the screen.
  bool same = true;
  for (uint32_t i = 0; i < count; i++) {
    PaletteEntry& e = g_screen.palette[first + i];
    if (e.r == colours[i].r && e.g == colours[i].g && e.b == colours[i].b) continue;
    e = colours[i];
    g_screen.pensChanged[(first + i) >> 6] |= uint64_t{1} << ((first + i) & 63);
    same = false;
  }
  ReleaseMutex(g_screen.mutex);
  if (same) return 1;
  // OpenGL mode: the frame finds the pens that changed itself and uploads
  // their pixels.
  DisplayFrameChanged();
  return 1;
}

void DisplayGetPalette(PaletteEntry out[256]) {
  if (!out) return;
  ObtainMutex(g_screen.mutex);
  std::memcpy(out, g_screen.palette, sizeof g_screen.palette);
  ReleaseMutex(g_screen.mutex);
}

int UpdateRectangle(int32_t x, int32_t y, int32_t width, int32_t height) {
  if (g_screen.renderer == 1) {
    if (width != 0 && height != 0)
      if (DisplayDirtyHook hook = g_screen.dirtyHook.load()) hook(x, y, width, height);
    return 1;
  }
  if (width == 0 || height == 0) return 1;
  QoeMutex* m = g_screen.mutex;
  if (!m) {
    DebugLog("UpdateRectangle: BltFast fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrNotInitialized));
    DebugLog("UpdateRectangle: Blt fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrNotInitialized));
    return 0;
  }
  ObtainMutex(m);
  int ok = 1;
  if (!g_screen.primary || !g_screen.back) {
    DebugLog("UpdateRectangle: BltFast fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrNotInitialized));
    DebugLog("UpdateRectangle: Blt fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrNotInitialized));
    ok = 0;
  } else {
    int32_t ox = 0, oy = 0;
    if (!g_screen.atCorner.load()) GameAreaOffset(g_screen.primary->width, g_screen.primary->height, &ox, &oy);
    int64_t dx = int64_t{x} + ox, dy = int64_t{y} + oy;
    if (Inside(g_screen.back, x, y, width, height) && Inside(g_screen.primary, dx, dy, width, height)) {
      CopyRect(g_screen.back, x, y, g_screen.primary, static_cast<int32_t>(dx), static_cast<int32_t>(dy), width, height);
      NoteChanged(dx, dy, width, height);
    } else {
      DebugLog("UpdateRectangle: BltFast fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrInvalidRect));
      // The plain copy clips the rectangle to both surfaces.
      int64_t x0 = x, y0 = y, x1 = int64_t{x} + width, y1 = int64_t{y} + height;
      if (width < 0) std::swap(x0, x1);
      if (height < 0) std::swap(y0, y1);
      x0 = std::max<int64_t>({x0, 0, -int64_t{ox}});
      y0 = std::max<int64_t>({y0, 0, -int64_t{oy}});
      x1 = std::min<int64_t>({x1, g_screen.back->width, int64_t{g_screen.primary->width} - ox});
      y1 = std::min<int64_t>({y1, g_screen.back->height, int64_t{g_screen.primary->height} - oy});
      if (x0 >= x1 || y0 >= y1) {
        DebugLog("UpdateRectangle: Blt fehlgeschlagen mit Meldung %s\n", DDErrorString(kDisplayErrInvalidRect));
        ok = 0;
      } else {
        CopyRect(g_screen.back, static_cast<int32_t>(x0), static_cast<int32_t>(y0), g_screen.primary,
                 static_cast<int32_t>(x0 + ox), static_cast<int32_t>(y0 + oy), static_cast<int32_t>(x1 - x0),
                 static_cast<int32_t>(y1 - y0));
        NoteChanged(x0 + ox, y0 + oy, x1 - x0, y1 - y0);
      }
    }
  }
  ReleaseMutex(m);
  if (ok) DisplayFrameChanged();
  return ok;
}

int DisplayBltWork(int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t width, int32_t height, int clip) {
  QoeMutex* m = g_screen.mutex;
  if (!m) return kDisplayErrNotInitialized;
  if (width <= 0 || height <= 0) return kDisplayErrInvalidRect;
  ObtainMutex(m);
  int result = kDisplayOk;
  if (!g_screen.primary || !g_screen.work) {
    result = kDisplayErrNotInitialized;
  } else if (!clip) {
    if (Inside(g_screen.work, sx, sy, width, height) && Inside(g_screen.primary, dx, dy, width, height)) {
      CopyRect(g_screen.work, sx, sy, g_screen.primary, dx, dy, width, height);
      NoteChanged(dx, dy, width, height);
    } else {
      result = kDisplayErrInvalidRect;
    }
  } else {
    // Clipped to both surfaces, the rectangle keeping its place.
    int64_t x0 = 0, y0 = 0, x1 = width, y1 = height;
    x0 = std::max<int64_t>({x0, -int64_t{sx}, -int64_t{dx}});
    y0 = std::max<int64_t>({y0, -int64_t{sy}, -int64_t{dy}});
    x1 = std::min<int64_t>({x1, int64_t{g_screen.work->width} - sx, int64_t{g_screen.primary->width} - dx});
    y1 = std::min<int64_t>({y1, int64_t{g_screen.work->height} - sy, int64_t{g_screen.primary->height} - dy});
    if (x0 >= x1 || y0 >= y1) {
      result = kDisplayErrInvalidRect;
    } else {
      CopyRect(g_screen.work, static_cast<int32_t>(sx + x0), static_cast<int32_t>(sy + y0), g_screen.primary,
               static_cast<int32_t>(dx + x0), static_cast<int32_t>(dy + y0), static_cast<int32_t>(x1 - x0),
               static_cast<int32_t>(y1 - y0));
      NoteChanged(dx + x0, dy + y0, x1 - x0, y1 - y0);
    }
  }
  ReleaseMutex(m);
  if (result == kDisplayOk) DisplayFrameChanged();
  return result;
}

int Flip(uint32_t mode) {
  (void)mode;  // 0 after a view was opened, 1 after it moved: both show the page
  QoeMutex* m = g_screen.mutex;
  if (!m) return 0;
  ObtainMutex(m);
  int ok = 0;
  if (g_screen.primary && g_screen.back) {
    std::memcpy(g_screen.primary->pixels, g_screen.back->pixels, static_cast<size_t>(g_screen.back->pitch) * g_screen.back->height);
    NoteAllChanged();
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
  g_screen.serial.fetch_add(1);
  const PlatformBackend* b = CurrentPlatformBackend();
  if (b && b->wake) b->wake();
}

uint64_t DisplayChangeSerial() { return g_screen.serial.load(); }
uint64_t DisplayFrameCount() { return g_screen.serial.load(); }

namespace {

// Converts the rectangle of the primary (inside it; display mutex held) into
// out, whose rows are the display's width.
void ReadRGBLocked(uint32_t* out, const DisplayRect& r) {
  const PlatformSurface* s = g_screen.primary;
  for (int32_t y = r.y; y < r.y + r.height; y++) {
    const uint8_t* row = s->pixels + static_cast<size_t>(y) * s->pitch;
    uint32_t* dst = out + static_cast<size_t>(y) * s->width;
    if (s->depth == 8) {
      for (int32_t x = r.x; x < r.x + r.width; x++) {
        const PaletteEntry& c = g_screen.palette[row[x]];
        dst[x] = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
      }
    } else {
      std::memcpy(dst + r.x, row + static_cast<size_t>(r.x) * 4, static_cast<size_t>(r.width) * 4);
      for (int32_t x = r.x; x < r.x + r.width; x++) dst[x] &= 0x00FFFFFFu;
    }
  }
}

}  // namespace

int DisplayReadRGB(uint32_t* out, uint32_t width, uint32_t height) {
  if (!out || !g_screen.mutex) return 0;
  ObtainMutex(g_screen.mutex);
  int ok = 0;
  if (g_screen.primary && g_screen.primary->width == width && g_screen.primary->height == height) {
    ReadRGBLocked(out, DisplayRect{0, 0, int32_t(width), int32_t(height)});
    ok = 1;
  }
  ReleaseMutex(g_screen.mutex);
  return ok;
}

uint32_t DisplayTakeChangedRGB(uint32_t* out, uint32_t width, uint32_t height, DisplayRect* rects) {
  if (!out || !rects || !g_screen.mutex) return 0;
  ObtainMutex(g_screen.mutex);
  uint32_t n = 0;
  if (g_screen.primary && g_screen.primary->width == width && g_screen.primary->height == height) {
    NotePenPixels();
    n = g_screen.changedCount;
    for (uint32_t i = 0; i < n; i++) {
      rects[i] = g_screen.changed[i];
      ReadRGBLocked(out, rects[i]);
    }
    g_screen.changedCount = 0;
  }
  ReleaseMutex(g_screen.mutex);
  return n;
}

void DisplayMarkAllChanged() {
  if (!g_screen.mutex) return;
  ObtainMutex(g_screen.mutex);
  NoteAllChanged();
  ReleaseMutex(g_screen.mutex);
}

int WriteDisplayPng(const char* path) {
  uint32_t w = g_screen.width, h = g_screen.height;
  if (w == 0 || h == 0) {
    DebugLog("WriteDisplayPng: Kein Display (%s)", DDErrorString(kDisplayErrNotInitialized));
    return 0;
  }
  std::vector<uint32_t> rgb(static_cast<size_t>(w) * h);
  if (!DisplayReadRGB(rgb.data(), w, h)) return 0;
  return WritePngRGB(path, rgb.data(), w, h);
}

void SetDisplayGameAreaAtCorner(uint32_t on) { g_screen.atCorner.store(on ? 1 : 0); }
uint32_t DisplayGameAreaAtCorner() { return g_screen.atCorner.load(); }

void ResetDisplayState() {
  ShutdownDisplay();
  g_screen.atCorner = 0;
  g_screen.renderer = 0;
  g_screen.dirtyHook = nullptr;
  DefaultPalette();
}
