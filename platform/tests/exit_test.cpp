// exit() while other threads still wait on the platform's global state: the
// process must end, not block in a destructor.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include <gtest/gtest.h>

#include "platform/events.h"
#include "platform/platform_internal.h"

namespace {

// Waits up to ms for pid; kills it when it is still there. Returns the wait
// status, or -1 when the child had to be killed.
int WaitChild(pid_t pid, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  int status = 0;
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(pid, &status, WNOHANG) == pid) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

}  // namespace

TEST(ExitWhileWaiting, GameThreadInGetGameMessage) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ResetGameMessages();
    std::thread waiter([] {
      PlatformMessage m{};
      GetGameMessage(&m, -1);  // nothing is ever posted
    });
    waiter.detach();
    // The waiter sits in the queue's wait before the process ends: it marks
    // the game thread idle under the queue's lock, which only the wait gives up.
    while (!GameThreadIdle()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::exit(7);
  }
  const int status = WaitChild(pid, 240000);
  ASSERT_NE(status, -1) << "exit() blocked while a thread waited for a game message";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST(ExitWhileWaiting, IdleWaiterAndClockSleeper) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ResetGameMessages();
    PostAppMessage(1);  // the game thread never takes it: never idle
    std::thread idle([] { WaitGameThreadIdle(-1); });
    idle.detach();
    std::thread sleeper([] { SleepPlatformMs(600000, nullptr); });
    sleeper.detach();
    // Both sit in their waits before the process ends: each is counted under
    // the queue's lock, which only its wait gives up.
    while (GameThreadIdleWaiters() < 1 || NextClockThreadDue() == UINT64_MAX)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::exit(7);
  }
  const int status = WaitChild(pid, 240000);
  ASSERT_NE(status, -1) << "exit() blocked while threads waited on the event queue";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}
