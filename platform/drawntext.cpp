#include "drawntext.h"

#include <atomic>
#include <cstring>
#include <string>

namespace {

// The watcher and its context: atomics, set by tests and the scripted runs'
// start, read by whichever thread draws.
struct DrawnTextWatch {
  std::atomic<DrawnTextHook> hook{nullptr};
  std::atomic<void*> context{nullptr};
};
DrawnTextWatch g_watch;

}  // namespace

void SetDrawnTextHook(DrawnTextHook hook, void* context) {
  g_watch.hook.store(nullptr);
  g_watch.context.store(context);
  g_watch.hook.store(hook);
}

void ReportDrawnText(const char* text, size_t length, uint32_t kind) {
  DrawnTextHook hook = g_watch.hook.load();
  if (!hook || !text || length == 0) return;
  const void* nul = std::memchr(text, 0, length);
  if (nul) length = static_cast<size_t>(static_cast<const char*>(nul) - text);
  if (length == 0) return;
  const std::string copy(text, length);
  hook(copy.c_str(), kind, g_watch.context.load());
}

void ReportDrawnText(const char* text) {
  if (!text || !g_watch.hook.load()) return;
  ReportDrawnText(text, std::strlen(text), DRAWN_SHOWN);
}
