#include "backend.h"

#include <atomic>
#include <cstdio>

#include "cursor.h"
#include "drawntext.h"
#include "platform_internal.h"

namespace {
std::atomic<const PlatformBackend*> g_backend{nullptr};
std::atomic<int> g_destroy{0};
std::atomic<uint32_t (*)()> g_gl_frame{nullptr};
std::atomic<uint32_t> g_gl_frame_cap{0};  // frames a second at most, 0: the refresh rate
int32_t g_gl_damage[4] = {0, 0, 0, 0};     // the last frame's changed rectangle (window thread)
int g_gl_back_intact = 0;                  // the back buffer holds the last frame (window thread)
// The window's drawable in OpenGL mode: window thread only (the loop sets
// it before each frame, the frame reads it; 0 x 0 once the loop ended).
struct GLWindowState {
  int32_t width = 0, height = 0;
};
GLWindowState g_gl_window;
std::atomic<int> g_exposed{0};  // the window was exposed since the last frame asked
std::atomic<int32_t> g_start_code{0};
std::atomic<int32_t> g_start_pinned{0};

uint64_t BackendClock() {
  const PlatformBackend* b = g_backend.load();
  return b->now_ms();
}
void BackendWake() {
  const PlatformBackend* b = g_backend.load();
  if (b && b->wake) b->wake();
}
}  // namespace

void SelectPlatformBackend(const PlatformBackend* backend) {
  if (!backend || !backend->now_ms) SetPlatformClock(nullptr);  // before the backend goes
  g_backend.store(backend);
  if (backend && backend->now_ms) SetPlatformClock(BackendClock);
  SetPlatformClockVirtual(backend && backend == HeadlessBackend());
  SetTimerChangedHook(backend ? BackendWake : nullptr);
}

const PlatformBackend* CurrentPlatformBackend() { return g_backend.load(); }

int OpenMainWindow(const DisplayModeChoice* choice) {
  const PlatformBackend* b = g_backend.load();
  if (!b || !choice) return 0;
  g_destroy = 0;
  return b->open_window(choice);
}

void CloseMainWindow() {
  const PlatformBackend* b = g_backend.load();
  if (b) b->close_window();
}

int RunWindowLoop() {
  const PlatformBackend* b = g_backend.load();
  if (!b) return -1;
  return b->run_loop();
}

void PostWindowDestroy() {
  g_destroy = 1;
  BackendWake();
}

int WindowDestroyRequested() { return g_destroy.load(); }
void ClearWindowDestroy() { g_destroy = 0; }

void SetGLFrameHook(uint32_t (*frame)()) { g_gl_frame.store(frame); }
int TakeWindowExposed() { return g_exposed.exchange(0); }
void NoteWindowExposed() { g_exposed = 1; }
uint32_t (*GLFrameHook())() { return g_gl_frame.load(); }
void SetGLFrameCap(uint32_t per_second) { g_gl_frame_cap.store(per_second); }
uint32_t GLFrameCap() { return g_gl_frame_cap.load(); }
void SetGLFrameDamage(int32_t x, int32_t y, int32_t width, int32_t height) {
  g_gl_damage[0] = x, g_gl_damage[1] = y, g_gl_damage[2] = width, g_gl_damage[3] = height;
}
void SetGLWindowSize(int32_t width, int32_t height) { g_gl_window = GLWindowState{width, height}; }
void GLWindowSize(int32_t* width, int32_t* height) { *width = g_gl_window.width, *height = g_gl_window.height; }
int GLBackBufferIntact() { return g_gl_back_intact; }
void SetGLBackBufferIntact(int intact) { g_gl_back_intact = intact ? 1 : 0; }
void TakeGLFrameDamage(int32_t* x, int32_t* y, int32_t* width, int32_t* height) {
  *x = g_gl_damage[0], *y = g_gl_damage[1], *width = g_gl_damage[2], *height = g_gl_damage[3];
  g_gl_damage[2] = 0;
}
uint32_t GLFramesPerSecond(uint32_t refresh_hz, uint32_t cap) {
  uint32_t fps = refresh_hz ? refresh_hz : 60;
  if (cap && cap < fps) fps = cap;
  return fps;
}

void SetStartScreenCode(int32_t code) { g_start_code = code; }
int32_t StartScreenCode() { return g_start_code.load(); }
void SetStartScreenPinned(int32_t on) { g_start_pinned = on ? 1 : 0; }
int32_t StartScreenPinned() { return g_start_pinned.load(); }

void ShowMessageBox(const char* title, const char* text) {
  ReportDrawnText(title);
  ReportDrawnText(text);
  const PlatformBackend* b = g_backend.load();
  if (b && b->message_box) {
    b->message_box(title, text);
  } else {
    std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
  }
}

int SetCursorImage(const uint32_t* argb, uint32_t width, uint32_t height, uint32_t hot_x, uint32_t hot_y) {
  const PlatformBackend* b = g_backend.load();
  if (!b || !b->set_cursor || !argb) return 0;
  if (width == 0 || height == 0 || width > kCursorMaxSide || height > kCursorMaxSide) return 0;
  if (hot_x >= width || hot_y >= height) return 0;
  return b->set_cursor(argb, width, height, hot_x, hot_y);
}
