// Kill loops over writes of several files (header-only): how long a piece
// of work takes, and the work run in a child process killed part-way.
#pragma once
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <functional>

namespace qoe_test {

// Microseconds fn takes when run here (at least 1).
inline int64_t MicrosOf(const std::function<void()>& fn) {
  timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  fn();
  clock_gettime(CLOCK_MONOTONIC, &t1);
  return std::max<int64_t>(1, (t1.tv_sec - t0.tv_sec) * 1000000 + (t1.tv_nsec - t0.tv_nsec) / 1000);
}

// Runs fn in a forked child (its result is the exit code) and kills it with
// SIGKILL delay_us after fn began, measured from the child's first step, so
// the fork's own cost does not shift the moments hit.
inline void KillAfterStart(const std::function<int()>& fn, int64_t delay_us) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const char go = 1;
    if (write(ready[1], &go, 1) != 1) _exit(99);
    _exit(fn());
  }
  close(ready[1]);
  char go = 0;
  if (read(ready[0], &go, 1) == 1 && delay_us > 0) usleep((useconds_t)delay_us);
  close(ready[0]);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
}

}  // namespace qoe_test
