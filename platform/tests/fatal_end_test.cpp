// After a fatal fault the process ends: a SIGTERM while the box is up ends it,
// and a box the backend shows from a process of its own ends with the game,
// even when the game is killed.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "platform/backend.h"
#include "platform/close.h"
#include "platform/events.h"
#include "platform/fatal.h"
#include "platform/headless.h"
#include "platform/log.h"

namespace {

int g_report = -1;  // the child's end of the pipe to the test

void Report(int value) {
  ssize_t r = write(g_report, &value, sizeof value);
  (void)r;
}

// A box nobody closes, shown in this process.
void BoxThatStays(const char*, const char*) {
  Report(static_cast<int>(getpid()));
  for (;;) pause();
}

// A box shown by a process of its own, as SDL does on X11: the parent waits
// for it.
void ForkedBoxThatStays(const char*, const char*) {
  const pid_t box = fork();
  if (box == 0) {
    Report(static_cast<int>(getpid()));
    for (;;) pause();
  }
  int status = 0;
  while (waitpid(box, &status, 0) < 0) {
  }
  _exit(0);
}

PlatformBackend g_backend;
void (*g_box)(const char*, const char*) = nullptr;

int CrashingGame(void*) {
  g_backend = *HeadlessBackend();
  g_backend.message_box = g_box;
  SelectPlatformBackend(&g_backend);
  volatile uintptr_t where = 16;
  *reinterpret_cast<volatile int*>(where) = 1;
  return 0;
}

// Forks the game: it crashes in its game thread and shows the given box.
// Returns its pid; *report gets the pipe the box reports its process on.
pid_t StartCrashingGame(void (*box)(const char*, const char*), int* report) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    g_report = fds[1];
    g_box = box;
    DebugLogSetStderr(0);
    HeadlessOpenDisplay(0);
    InstallCloseSignalHandlers();  // as the program does
    InstallFatalSignalHandlers(nullptr);
    HeadlessRunGame("wait 60000\n", CrashingGame, nullptr);
    _exit(0);
  }
  close(fds[1]);
  *report = fds[0];
  return pid;
}

// What the process does next is waited for, four minutes at most (a busy
// machine only makes it slower).
constexpr int kMinutesMs = 240000;

// The value the box reports, waiting up to four minutes; -1 none.
int ReadReport(int fd) {
  fcntl(fd, F_SETFL, O_NONBLOCK);
  for (int waited = 0; waited < kMinutesMs; waited += 10) {
    int value = 0;
    if (read(fd, &value, sizeof value) == sizeof value) return value;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

// Waits up to ms for the child; -1 when it is still there (then killed).
int WaitChild(pid_t pid, int ms) {
  int status = 0;
  for (int waited = 0; waited < ms; waited += 10) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// A process that is gone (or a zombie nobody reaped: it has ended).
bool ProcessGone(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  if (!stat) return true;
  std::string line;
  std::getline(stat, line);
  const size_t paren = line.rfind(')');
  return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'Z';
}

}  // namespace

TEST(FatalEnd, SigtermWhileTheBoxIsUpEndsTheProcess) {
  int report = -1;
  const pid_t pid = StartCrashingGame(BoxThatStays, &report);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(ReadReport(report), pid) << "the box did not come up";
  close(report);
  kill(pid, SIGTERM);
  const int status = WaitChild(pid, kMinutesMs);
  ASSERT_NE(status, -1) << "one SIGTERM did not end the process after the fatal fault";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
}

TEST(FatalEnd, SigtermEndsTheProcessAndItsForkedBox) {
  int report = -1;
  const pid_t pid = StartCrashingGame(ForkedBoxThatStays, &report);
  ASSERT_GT(pid, 0);
  const int box = ReadReport(report);
  close(report);
  ASSERT_GT(box, 0) << "the box did not come up";
  kill(pid, SIGTERM);
  const int status = WaitChild(pid, kMinutesMs);
  bool gone = false;
  for (int waited = 0; waited < kMinutesMs && !(gone = ProcessGone(box)); waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!gone) kill(box, SIGKILL);
  ASSERT_NE(status, -1) << "one SIGTERM did not end the process after the fatal fault";
  EXPECT_TRUE(gone) << "the box outlived the game";
}

TEST(FatalEnd, SigkillOfTheGameLeavesNoBoxBehind) {
  int report = -1;
  const pid_t pid = StartCrashingGame(ForkedBoxThatStays, &report);
  ASSERT_GT(pid, 0);
  const int box = ReadReport(report);
  close(report);
  ASSERT_GT(box, 0) << "the box did not come up";
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  bool gone = false;
  for (int waited = 0; waited < kMinutesMs && !(gone = ProcessGone(box)); waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!gone) kill(box, SIGKILL);
  EXPECT_TRUE(gone) << "the box outlived a SIGKILL of the game";
}
