// exit() while the music thread sits in its interruptible wait: the process
// must end, not block in the sound state's destructor.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "routinen/media/sound_internal.h"

TEST(MusicExit, ExitWhileTheMusicThreadWaits) {
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    std::thread waiter([] { MusicWaitReal(1000000); });
    waiter.detach();
    // The thread sits in the wait itself before the process ends.
    while (MusicThreadsInWait() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::exit(7);
  }
  int status = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  bool ended = false;
  while (std::chrono::steady_clock::now() < end) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      ended = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(ended) << "exit() blocked while the music thread waited";
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 7);
}
