#include "log.h"

#include <cstdio>
#include <cstring>
#include <mutex>

namespace {

// The log's state; every field is guarded by `lock`.
struct LogState {
  std::mutex lock;
  DebugLogHook hook = nullptr;
  void* hook_user = nullptr;
  int to_stderr = 1;
  long file_limit = kDebugLogFileLimit;  // bytes of Quill.dbg before it is rotated
};
LogState g_log;

constexpr char kLogFile[] = "Quill.dbg";
constexpr char kOldLogFile[] = "Quill.dbg.old";

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
  std::lock_guard<std::mutex> g(g_log.lock);
  if (g_log.to_stderr) std::fputs(line, stderr);
  // Opened per line: the working directory may change (tests, loaded games),
  // and a log that cannot be written must never stop the program. A full
  // file becomes Quill.dbg.old (replacing the older one), so the log keeps
  // at most the last two files' worth.
  if (FILE* f = std::fopen(kLogFile, "ab")) {
    std::fputs(line, f);
    long size = std::ftell(f);
    std::fclose(f);
    if (size >= g_log.file_limit) std::rename(kLogFile, kOldLogFile);
  }
  if (g_log.hook) g_log.hook(line, g_log.hook_user);
}

void DebugLog(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  DebugLogV(fmt, ap);
  va_end(ap);
}

void DebugLogSetHook(DebugLogHook hook, void* user) {
  std::lock_guard<std::mutex> g(g_log.lock);
  g_log.hook = hook;
  g_log.hook_user = user;
}

void DebugLogSetStderr(int on) {
  std::lock_guard<std::mutex> g(g_log.lock);
  g_log.to_stderr = on;
}

void DebugLogSetFileLimit(long bytes) {
  std::lock_guard<std::mutex> g(g_log.lock);
  g_log.file_limit = bytes > 0 ? bytes : kDebugLogFileLimit;
}
