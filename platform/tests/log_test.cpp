#include "platform/log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/events.h"
#include "platform/platform_internal.h"
#include "tests/support/log_flood.h"
#include "tests/support/test_support.h"

namespace {

std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

}  // namespace

// A long run must not fill the disk: Quill.dbg turns into Quill.dbg.old at
// its limit, and the two files hold the newest lines in order.
TEST(DebugLogFile, KeepsTheNewestLinesInTwoFilesOfTheLimit) {
  DebugLogSetStderr(0);
  DebugLogSetFileLimit(4096);
  for (int i = 0; i < 1000; i++) DebugLog("Test: Zeile %04d mit etwas Text", i);
  DebugLogSetFileLimit(0);
  DebugLogSetStderr(1);
  const std::string now = Text(qoe_test::ReadFileBytes("Quill.dbg"));
  const std::string old = Text(qoe_test::ReadFileBytes("Quill.dbg.old"));
  ASSERT_FALSE(old.empty());
  EXPECT_LT(now.size(), 4096u);
  EXPECT_GE(old.size(), 4096u);
  EXPECT_LT(old.size(), 4096u + 64u);
  const std::string both = old + now;
  EXPECT_NE(both.find("Zeile 0999 mit etwas Text\n"), std::string::npos);
  EXPECT_EQ(both.size() % 32, 0u);  // whole lines only
  // The lines run on without a gap from the old file into the new one.
  size_t first = both.find("Zeile ");
  int n = std::stoi(both.substr(first + 6, 4));
  for (size_t pos = first; pos < both.size(); pos += 32, n++)
    ASSERT_EQ(std::stoi(both.substr(pos + 6, 4)), n) << pos;
  EXPECT_EQ(n, 1000);
}

namespace {

std::atomic<int64_t> g_fake_ms{0};
int64_t FakeClock() { return g_fake_ms.load(); }

struct Collected {
  std::vector<std::string> lines;
};

void Collect(const char* line, void* user) { static_cast<Collected*>(user)->lines.push_back(line); }

std::vector<std::string> Logged(const std::function<void()>& body) {
  Collected c;
  DebugLogSetStderr(0);
  DebugLogSetClock(FakeClock);
  DebugLogSetHook(Collect, &c);
  body();
  DebugLogFlush();
  DebugLogSetHook(nullptr, nullptr);
  DebugLogSetClock(nullptr);
  DebugLogSetStderr(1);
  return c.lines;
}

}  // namespace

// A loop logging one line for ever: five a second are written, the rest are
// named in one note when another line comes, the second passes, or the log
// is flushed; the file holds the same as the hook.
TEST(DebugLogFlood, IdenticalLinesBeyondFiveASecondBecomeOneNote) {
  g_fake_ms = 1000;
  const auto lines = Logged([] {
    for (int i = 0; i < 100000; ++i) {
      DebugLog("Loop: immer dasselbe");
      if (i % 1000 == 999) g_fake_ms += 1;  // 100 000 lines in 100 ms
    }
    DebugLog("Loop: etwas anderes");
  });
  const std::vector<std::string> expected = {
      "Loop: immer dasselbe\n", "Loop: immer dasselbe\n", "Loop: immer dasselbe\n",
      "Loop: immer dasselbe\n", "Loop: immer dasselbe\n",
      "DebugLog: vorige Zeile noch 99995 mal, ausgelassen\n", "Loop: etwas anderes\n"};
  EXPECT_EQ(lines, expected);
  const std::string file = Text(qoe_test::ReadFileBytes("Quill.dbg"));
  EXPECT_NE(file.find("Loop: immer dasselbe\nDebugLog: vorige Zeile noch 99995 mal, ausgelassen\nLoop: etwas "
                      "anderes\n"),
            std::string::npos);
  EXPECT_LT(file.size(), 1000u);
}

TEST(DebugLogFlood, EachSecondWritesItsFiveAndTheNoteOfTheOneBefore) {
  g_fake_ms = 5000;
  const auto lines = Logged([] {
    for (int s = 0; s < 3; ++s) {
      for (int i = 0; i < 8; ++i) DebugLog("Tick: gleich");
      g_fake_ms += 1000;
    }
  });
  std::vector<std::string> expected;
  for (int s = 0; s < 3; ++s) {
    for (int i = 0; i < 5; ++i) expected.push_back("Tick: gleich\n");
    expected.push_back("DebugLog: vorige Zeile noch 3 mal, ausgelassen\n");
  }
  EXPECT_EQ(lines, expected);  // the last note by the flush
}

TEST(DebugLogFlood, LinesThatDifferAreNeverDropped) {
  g_fake_ms = 9000;
  const auto lines = Logged([] {
    for (int i = 0; i < 1000; ++i) DebugLog(i % 2 ? "Wechsel: A" : "Wechsel: B");
    for (int i = 0; i < 1000; ++i) DebugLog("Zaehler: %d", i);
  });
  ASSERT_EQ(lines.size(), 2000u);
  EXPECT_EQ(lines[999], "Wechsel: A\n");
  EXPECT_EQ(lines[1999], "Zaehler: 999\n");
}

// Four threads logging one line each at full speed: nothing but the limit
// and the notes reach the file, and every line a thread wrote once is there.
TEST(DebugLogFlood, ThreadsFloodingTogether) {
  g_fake_ms = 20000;
  const auto lines = Logged([] {
    std::vector<std::thread> t;
    for (int k = 0; k < 4; ++k)
      t.emplace_back([k] {
        DebugLog("Faden %d: Anfang", k);
        for (int i = 0; i < 5000; ++i) DebugLog("Flut: gleich");
      });
    for (auto& th : t) th.join();
  });
  int starts = 0, floods = 0;
  unsigned long long noted = 0;
  for (const auto& l : lines) {
    starts += l.find(": Anfang") != std::string::npos;
    floods += l == "Flut: gleich\n";
    unsigned long long n = 0;
    if (std::sscanf(l.c_str(), "DebugLog: vorige Zeile noch %llu mal", &n) == 1) noted += n;
  }
  EXPECT_EQ(starts, 4);
  EXPECT_EQ(floods + noted, 20000u);
  EXPECT_LE(floods, 5 * 5);  // at most five runs, one after each start line
}

// The note of repeats still held back is written when the process ends.
TEST(DebugLogFlood, TheNoteIsWrittenAtTheProcessEnd) {
  std::remove("Quill.dbg");
  const pid_t child = fork();
  if (child == 0) {
    DebugLogSetStderr(0);
    DebugLog("Ende: anders");
    for (int i = 0; i < 9; ++i) DebugLog("Ende: gleich");
    std::exit(0);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  const std::string file = Text(qoe_test::ReadFileBytes("Quill.dbg"));
  EXPECT_NE(file.find("Ende: gleich\nDebugLog: vorige Zeile noch 4 mal, ausgelassen\n"), std::string::npos)
      << file;
}

// The flood check the play table runs over a screen's log, on logs the
// log itself wrote: a screen that logs one line on every frame for ten
// seconds leaves five lines and a note each second, never a run of six,
// and the check finds it all the same.
namespace {

struct FloodCase {
  const char* name;
  std::function<void()> body;  // logs on the fake clock
  bool floods;
};

// Frames at 30 a second, each logging the same line, for `seconds`.
void Frames(int seconds, const char* line) {
  for (int f = 0; f < 30 * seconds; ++f) {
    DebugLog("%s", line);
    g_fake_ms += 33;
  }
}

}  // namespace

TEST(DebugLogFlood, TheFloodCheckFindsAScreenThatLogsEveryFrame) {
  const FloodCase cases[] = {
      {"every frame for ten seconds", [] { Frames(10, "Screen: zeichne neu"); }, true},
      {"every frame for one second, then another line",
       [] {
         Frames(1, "Screen: zeichne neu");
         DebugLog("Screen: verlassen");
       },
       true},
      {"six alike across a second's end",
       [] {
         for (int i = 0; i < 5; ++i) DebugLog("Screen: gleich");
         g_fake_ms += 1000;
         DebugLog("Screen: gleich");
       },
       true},
      {"five alike, then others", [] {
         for (int i = 0; i < 5; ++i) DebugLog("Screen: gleich");
         for (int i = 0; i < 50; ++i) DebugLog("Screen: Bild %d", i);
       },
       false},
      {"a line once per visit", [] {
         for (int v = 0; v < 20; ++v) {
           DebugLog("Screen: betreten");
           g_fake_ms += 400;
           DebugLog("Screen: verlassen");
         }
       },
       false},
  };
  for (const FloodCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove("Quill.dbg");
    g_fake_ms = 100000;
    Logged(c.body);
    const std::string file = Text(qoe_test::ReadFileBytes("Quill.dbg"));
    EXPECT_EQ(!qoe_test::LogFlood(file).empty(), c.floods) << qoe_test::LogFlood(file) << "\n" << file;
  }
}

// A headless run counts the guard's second on its virtual clock: a line
// logged once per 300 ms of the script's clock is never cut, however fast
// the machine writes it, and a loop that logs while that clock stands still
// is cut, however slow the machine.
namespace {

std::atomic<uint64_t> g_virtual_ms{0};
uint64_t VirtualClock() { return g_virtual_ms.load(); }

}  // namespace

TEST(DebugLogFlood, AHeadlessRunCountsItsSecondsOnTheVirtualClock) {
  struct Case {
    const char* name;
    uint64_t virtual_step_ms;  // the script's clock between two lines
    int real_pause_ms;         // the machine's time between two lines
    bool cut;
  };
  const Case cases[] = {{"once per 300 ms of the script, written at once", 300, 0, false},
                        {"the script's clock standing, the machine slow", 0, 250, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_virtual_ms = 5000;
    SetPlatformClock(VirtualClock);
    SetPlatformClockVirtual(1);
    Collected got;
    DebugLogSetStderr(0);
    DebugLogSetHook(Collect, &got);
    for (int i = 0; i < 6; ++i) {
      DebugLog("Screen: angeklickt");
      g_virtual_ms += c.virtual_step_ms;
      std::this_thread::sleep_for(std::chrono::milliseconds(c.real_pause_ms));
    }
    DebugLogFlush();
    DebugLogSetHook(nullptr, nullptr);
    DebugLogSetStderr(1);
    SetPlatformClockVirtual(0);
    SetPlatformClock(nullptr);
    std::string all;
    for (const std::string& l : got.lines) all += l;
    EXPECT_EQ(all.find("vorige Zeile") != std::string::npos, c.cut) << all;
  }
}

// The terminal reads UTF-8, the log's texts are Latin-1: what goes to stderr
// is converted, the file keeps the line's bytes. Texts already written in
// UTF-8 pass as they are; bytes that only look like the start of a sequence
// are Latin-1 letters.
namespace {

// What the log writes to stderr while body runs (through a pipe in its place).
std::string Terminal(const std::function<void()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  std::fflush(stderr);
  const int saved = dup(2);
  dup2(fds[1], 2);
  close(fds[1]);
  body();
  std::fflush(stderr);
  dup2(saved, 2);
  close(saved);
  std::string got;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) got.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  return got;
}

}  // namespace

TEST(DebugLogTerminal, ReadsUtf8WhileTheFileKeepsItsBytes) {
  const std::string long_line(2000, '\xE4');
  struct Case {
    const char* name;
    std::string line, terminal;
  };
  const Case cases[] = {
      {"plain ASCII", "Test: Zeile ohne Umlaut\n", "Test: Zeile ohne Umlaut\n"},
      {"a Latin-1 letter", "Test: L\xF6sche EMAIL\n", "Test: L\xC3\xB6sche EMAIL\n"},
      {"several", "Test: Konnte KornChunk nicht \xF6" "ffnen ! \xDF\xC4\xFC\n",
       "Test: Konnte KornChunk nicht \xC3\xB6" "ffnen ! \xC3\x9F\xC3\x84\xC3\xBC\n"},
      {"already UTF-8", "Test: Speicher f\xC3\xBCr den Puffer \xE2\x82\xAC\n",
       "Test: Speicher f\xC3\xBCr den Puffer \xE2\x82\xAC\n"},
      {"a cut sequence", "Test: Ende \xE2\x82\n", "Test: Ende \xC3\xA2\xC2\x82\n"},
      {"an overlong form", "Test: \xC0\xAF und \xE0\x80\xAF\n", "Test: \xC3\x80\xC2\xAF und \xC3\xA0\xC2\x80\xC2\xAF\n"},
      {"a whole long line", "Test: " + long_line + "\n", [&] {
         std::string t = "Test: ";
         for (size_t i = 0; i < long_line.size(); i++) t += "\xC3\xA4";
         return t + "\n";
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove("Quill.dbg");
    const std::string shown = Terminal([&] { DebugLog("%s", c.line.c_str()); });
    EXPECT_EQ(shown, c.terminal);
    EXPECT_EQ(Text(qoe_test::ReadFileBytes("Quill.dbg")), c.line);
  }
  // Silenced, the terminal gets nothing; the file still every line.
  std::remove("Quill.dbg");
  DebugLogSetStderr(0);
  EXPECT_EQ(Terminal([] { DebugLog("Test: still \xF6"); }), "");
  DebugLogSetStderr(1);
  EXPECT_EQ(Text(qoe_test::ReadFileBytes("Quill.dbg")), "Test: still \xF6\n");
}
