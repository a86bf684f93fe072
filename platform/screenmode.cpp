#include "screenmode.h"

#include <atomic>

#include "backend.h"
#include "display.h"
#include "log.h"

#define MODE_ROWS(w, h, d, fmt) \
  {w, h, d, fmt, 0, 0}, {w, h, d, fmt, 0, 1}, {w, h, d, fmt, 1, 0}, { w, h, d, fmt, 1, 1 }

const ScreenModeRow ScreenModeTable[kScreenModeCount] = {
    MODE_ROWS(640, 480, 8, kPixelFormatPalette8),
    MODE_ROWS(800, 600, 32, kPixelFormatXRGB8888),
    MODE_ROWS(1024, 768, 32, kPixelFormatXRGB8888),
};

namespace {
std::atomic<ScreenModePrefsRead> g_read{nullptr};
std::atomic<ScreenModePrefsWrite> g_write{nullptr};
std::atomic<uint32_t> g_current{kScreenModeDefault};
}  // namespace

uint32_t FindScreenMode(uint32_t width, uint32_t height, uint32_t depth, uint32_t renderer, uint32_t fullscreen) {
  for (uint32_t i = 0; i < kScreenModeCount; i++) {
    const ScreenModeRow& r = ScreenModeTable[i];
    if (r.width == width && r.height == height && r.depth == depth && r.renderer == (renderer ? 1u : 0u) &&
        r.fullscreen == (fullscreen ? 1u : 0u))
      return i;
  }
  return kScreenModeCount;
}

void DisplayModeFromId(uint32_t mode_id, DisplayModeChoice* out) {
  if (!out) return;
  if (mode_id >= kScreenModeCount) mode_id = kScreenModeDefault;
  const ScreenModeRow& r = ScreenModeTable[mode_id];
  out->mode_id = mode_id;
  out->width = r.width;
  out->height = r.height;
  out->depth = r.depth;
  out->pixel_format = r.pixel_format;
  out->chosen_renderer = r.renderer;
  out->renderer = 0;  // OpenGL runs once the program has made its context
  out->fullscreen = r.fullscreen;
}

void SetScreenModePrefsHook(ScreenModePrefsRead read, ScreenModePrefsWrite write) {
  g_read.store(read);
  g_write.store(write);
}

int ScreenModus(DisplayModeChoice* out) {
  if (!out) return 0;
  uint32_t id = kScreenModeDefault;
  if (ScreenModePrefsRead read = g_read.load()) {
    uint32_t stored = 0;
    if (read(&stored) && stored < kScreenModeCount) id = stored;
  }
  DisplayModeFromId(id, out);
  const PlatformBackend* b = CurrentPlatformBackend();
  if (!b || !b->choose_mode || !b->choose_mode(out)) return 0;
  DisplayModeFromId(out->mode_id, out);
  if (ScreenModePrefsWrite write = g_write.load()) write(out->mode_id);
  g_current = out->mode_id;
  DebugLog("ScreenModus: Modus %u: %ux%ux%u, %s, %s", out->mode_id, out->width, out->height, out->depth,
           out->chosen_renderer ? "OpenGL" : "2D", out->fullscreen ? "Vollbild" : "Fenster");
  return 1;
}

void CurrentDisplayMode(DisplayModeChoice* out) { DisplayModeFromId(g_current.load(), out); }
