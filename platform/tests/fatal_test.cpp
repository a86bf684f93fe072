#include "platform/fatal.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/backend.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "tests/support/test_support.h"

namespace {

void ShutdownForTest() { std::fprintf(stderr, "ShutdownSystem ran\n"); }

int CrashingGame(void*) {
  PlatformMessage m;
  while (GetGameMessage(&m, -1)) {
    if (m.kind == kMsgKeyDown) {
      volatile uintptr_t where = 16;
      *reinterpret_cast<volatile int*>(where) = 1;
    }
  }
  return 0;
}

volatile int g_depth_limit = 1 << 30;  // never reached: the stack ends first

int Deep(int n) {
  if (n > g_depth_limit) return 0;
  volatile char pad[512];
  pad[n % 512] = static_cast<char>(n);
  return Deep(n + 1) + pad[(n + 7) % 512];
}

int OverflowingGame(void*) {
  PlatformMessage m;
  while (GetGameMessage(&m, -1))
    if (m.kind == kMsgKeyDown) return Deep(0);
  return 0;
}

void OverflowInGame() {
  DebugLogSetStderr(0);
  HeadlessOpenDisplay(0);
  InstallFatalSignalHandlers(ShutdownForTest);
  HeadlessRunGame("key x\nwait 1000\n", OverflowingGame, nullptr);
}

void CrashInGame() {
  DebugLogSetStderr(0);
  HeadlessOpenDisplay(0);
  InstallFatalSignalHandlers(ShutdownForTest);
  HeadlessRunGame("move 1 1\nkey x\nwait 1000\n", CrashingGame, nullptr);
}

// A box the player reads for a while: it must not be cut short by the
// limit on the shut-down.
void SlowBox(const char* title, const char* text) {
  SleepMs(600);
  std::fprintf(stderr, "%s: %s\nbox closed\n", title, text);
}
PlatformBackend g_slow_backend;

int CrashingGameWithSlowBox(void*) {
  g_slow_backend = *HeadlessBackend();
  g_slow_backend.message_box = SlowBox;
  SelectPlatformBackend(&g_slow_backend);
  volatile uintptr_t where = 16;
  *reinterpret_cast<volatile int*>(where) = 1;
  return 0;
}

void CrashWithSlowBox() {
  DebugLogSetStderr(0);
  HeadlessOpenDisplay(0);
  InstallFatalSignalHandlers(ShutdownForTest);
  SetFatalShutdownLimit(100);
  HeadlessRunGame("wait 1000\n", CrashingGameWithSlowBox, nullptr);
}

}  // namespace

TEST(FatalSignalDeath, BoxStaysUntilClosedWhateverTheShutdownLimit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CrashWithSlowBox(), ::testing::ExitedWithCode(3), "Fatal Exception: Access Violation(.|\n)*box closed");
}

TEST(FatalSignalDeath, FaultInTheGameShutsDownInOrderAndShowsTheBox) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(CrashInGame(), ::testing::ExitedWithCode(3),
              "ShutdownSystem ran\nFatal Error: Fatal Exception: Access Violation\nSignal 11 at address 0x10 in thread Game");
}

TEST(FatalSignalDeath, StackOverflowStillShutsDownInOrder) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(OverflowInGame(), ::testing::ExitedWithCode(3), "ShutdownSystem ran\nFatal Error: Fatal Exception: Access Violation");
}

// A crash test's child writes its log and prefs where it runs: that must be
// the test's own folder, never the folder the tests were started from.
TEST(FatalSignalDeath, ChildRunsInTheTestsOwnFolder) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string dir = qoe_test::TestDir();
  EXPECT_EXIT(
      {
        DebugLogSetStderr(0);
        DebugLog("Child: hier\n");
        std::_Exit(qoe_test::TestDir() == dir ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(qoe_test::FileExists(dir + "/Quill.dbg"));
}

TEST(FatalSignal, NamesOfTheFaults) {
  EXPECT_STREQ(FatalExceptionName(SIGSEGV, SEGV_MAPERR), "Access Violation");
  EXPECT_STREQ(FatalExceptionName(SIGFPE, FPE_INTDIV), "Integer Divide by Zero");
  EXPECT_STREQ(FatalExceptionName(SIGFPE, FPE_FLTDIV), "Float Divide by Zero");
  EXPECT_STREQ(FatalExceptionName(SIGILL, ILL_ILLOPC), "Illegal Instruction");
  EXPECT_STREQ(FatalExceptionName(SIGBUS, BUS_ADRERR), "Bus Error");
  EXPECT_EQ(FatalSignalPending(), 0);
}
