#include "log.h"

#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "events.h"
#include "plainfile.h"

namespace {

constexpr size_t kLineSize = 2048;

// The log's state; every field is guarded by `lock`.
struct LogState {
  std::mutex lock;
  DebugLogHook hook = nullptr;
  void* hook_user = nullptr;
  int to_stderr = 1;
  long file_limit = kDebugLogFileLimit;  // bytes of Quill.dbg before it is rotated
  // The flood guard: the last line written, when its run of repeats began
  // (the window of one second), how many came in that window and how many
  // of them were left out.
  char last[kLineSize] = {};
  int64_t window_start_ms = 0;
  uint32_t in_window = 0;
  uint64_t dropped = 0;
  int64_t (*clock)() = nullptr;  // tests; null: the monotonic clock
  bool at_exit = false;          // the flush at the process's end is registered
};
LogState g_log;

constexpr char kLogFile[] = "Quill.dbg";
constexpr char kOldLogFile[] = "Quill.dbg.old";

int64_t NowMs() {
  if (g_log.clock) return g_log.clock();
  // A headless run counts the guard's seconds on its virtual clock: what its
  // log keeps does not depend on how fast the machine runs it.
  if (PlatformClockIsVirtual()) return static_cast<int64_t>(PlatformTimeMs());
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// Length of the well-formed UTF-8 sequence of two to four bytes at p, 0 when
// the bytes there are none (a lone Latin-1 letter, a cut sequence).
size_t Utf8SequenceAt(const unsigned char* p) {
  const unsigned char c = p[0];
  size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) n = 2;
  else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;       // no overlong form
    else if (c == 0xED) hi = 0x9F;  // no surrogate
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    else if (c == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
  }
  if (n == 0 || p[1] < lo || p[1] > hi) return 0;
  for (size_t i = 2; i < n; i++)
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  return n;
}

// The line as the terminal reads it: the log's texts are Latin-1 (the
// game's own texts, names from the turn files), a terminal reads UTF-8. A
// byte above 0x7F becomes its two-byte UTF-8 form, unless it starts a
// well-formed UTF-8 sequence, which passes as it is (a few texts are
// written so). A line of plain ASCII is written as it is.
void WriteToTerminal(const char* line) {
  const auto* p = reinterpret_cast<const unsigned char*>(line);
  size_t i = 0;
  while (p[i] && p[i] < 0x80) i++;
  if (!p[i]) {
    std::fputs(line, stderr);
    return;
  }
  char out[2 * kLineSize];  // each byte at most doubles
  size_t o = 0;
  std::memcpy(out, line, i);
  o = i;
  while (p[i]) {
    if (p[i] < 0x80) {
      out[o++] = static_cast<char>(p[i++]);
    } else if (const size_t n = Utf8SequenceAt(p + i)) {
      std::memcpy(out + o, p + i, n);
      o += n;
      i += n;
    } else {
      out[o++] = static_cast<char>(0xC0 | (p[i] >> 6));
      out[o++] = static_cast<char>(0x80 | (p[i] & 0x3F));
      i++;
    }
  }
  std::fwrite(out, 1, o, stderr);
}

// One finished line to the terminal (stderr, as UTF-8), the file (the
// line's own bytes) and the hook; under the lock.
void WriteLine(const char* line) {
  if (g_log.to_stderr) WriteToTerminal(line);
  // Opened per line: the working directory may change (tests, loaded games),
  // and a log that cannot be written must never stop the program. A full
  // file becomes Quill.dbg.old (replacing the older one), so the log keeps
  // at most the last two files' worth. A FIFO or a device in its place is
  // never written (nor waited for): the line then goes to stderr only.
  if (FILE* f = OpenPlainStream(kLogFile, "ab", true)) {
    std::fputs(line, f);
    long size = std::ftell(f);
    std::fclose(f);
    if (size >= g_log.file_limit) std::rename(kLogFile, kOldLogFile);
  }
  if (g_log.hook) g_log.hook(line, g_log.hook_user);
}

// The note for the repeats left out since the last line written; under the lock.
void WriteDroppedNote() {
  if (g_log.dropped == 0) return;
  char note[128];
  std::snprintf(note, sizeof note, "DebugLog: vorige Zeile noch %llu mal, ausgelassen\n",
                static_cast<unsigned long long>(g_log.dropped));
  g_log.dropped = 0;
  WriteLine(note);
}

void FlushAtExit() { DebugLogFlush(); }

}  // namespace

void DebugLogV(const char* fmt, va_list ap) {
  char line[kLineSize];
  int n = std::vsnprintf(line, sizeof line - 1, fmt, ap);
  if (n < 0) return;
  size_t len = std::strlen(line);
  if (len == 0 || line[len - 1] != '\n') {
    line[len] = '\n';
    line[len + 1] = 0;
  }
  std::lock_guard<std::mutex> g(g_log.lock);
  if (!g_log.at_exit) {
    g_log.at_exit = true;
    std::atexit(FlushAtExit);
  }
  // A loop that logs the same line over and over must not fill the disk:
  // within one second only the first kDebugLogRepeatLimit of a run of
  // identical lines are written, the rest are counted and named in one note
  // when another line comes, the second has passed, or the log is flushed.
  const int64_t now = NowMs();
  if (std::strcmp(line, g_log.last) == 0) {
    if (now - g_log.window_start_ms < 1000) {
      if (++g_log.in_window > kDebugLogRepeatLimit) {
        ++g_log.dropped;
        return;
      }
      WriteLine(line);
      return;
    }
    WriteDroppedNote();
  } else {
    WriteDroppedNote();
    std::memcpy(g_log.last, line, std::strlen(line) + 1);
  }
  g_log.window_start_ms = now;
  g_log.in_window = 1;
  WriteLine(line);
}

void DebugLog(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  DebugLogV(fmt, ap);
  va_end(ap);
}

void DebugLogFlush() {
  std::lock_guard<std::mutex> g(g_log.lock);
  WriteDroppedNote();
}

void DebugLogSetHook(DebugLogHook hook, void* user) {
  std::lock_guard<std::mutex> g(g_log.lock);
  // A new listener starts with a fresh run: it sees the first line whole.
  WriteDroppedNote();
  g_log.last[0] = 0;
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

void DebugLogSetClock(int64_t (*now_ms)()) {
  std::lock_guard<std::mutex> g(g_log.lock);
  g_log.clock = now_ms;
}
