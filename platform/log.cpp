#include "log.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {
std::mutex g_log_lock;
DebugLogHook g_hook = nullptr;
void* g_hook_user = nullptr;
int g_stderr = 1;
}  // namespace

void DebugLogV(const char* fmt, va_list ap) {
  char line[2048];
  int n = std::vsnprintf(line, sizeof line - 1, fmt, ap);
  if (n < 0) return;
  size_t len = std::strlen(line);
  if (len == 0 || line[len - 1] != '\n') {
    line[len] = '\n';
    line[len + 1] = 0;
  }
  std::lock_guard<std::mutex> g(g_log_lock);
  if (g_stderr) std::fputs(line, stderr);
  // Opened per line: the working directory may change (tests, loaded games),
  // and a log that cannot be written must never stop the program.
  if (FILE* f = std::fopen("Quill.dbg", "ab")) {
    std::fputs(line, f);
    std::fclose(f);
  }
  if (g_hook) g_hook(line, g_hook_user);
}

void DebugLog(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  DebugLogV(fmt, ap);
  va_end(ap);
}

void DebugLogSetHook(DebugLogHook hook, void* user) {
  std::lock_guard<std::mutex> g(g_log_lock);
  g_hook = hook;
  g_hook_user = user;
}

void DebugLogSetStderr(int on) {
  std::lock_guard<std::mutex> g(g_log_lock);
  g_stderr = on;
}
