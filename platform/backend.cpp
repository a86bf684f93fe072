#include "backend.h"

#include <atomic>
#include <cstdio>

#include "platform_internal.h"

namespace {
std::atomic<const PlatformBackend*> g_backend{nullptr};
std::atomic<int> g_destroy{0};

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

void ShowMessageBox(const char* title, const char* text) {
  const PlatformBackend* b = g_backend.load();
  if (b && b->message_box) {
    b->message_box(title, text);
  } else {
    std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
  }
}
