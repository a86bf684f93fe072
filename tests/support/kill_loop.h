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
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "routinen/system/files.h"

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

// Files by path with their bytes.
using FileBytes = std::map<std::string, std::vector<uint8_t>>;

// The paths whose bytes differ between a and b (new ones marked), "" when none.
inline std::string DiffFiles(const FileBytes& a, const FileBytes& b) {
  std::string d;
  for (const auto& [n, bytes] : a)
    if (!b.count(n) || b.at(n) != bytes) d += n + " ";
  for (const auto& [n, bytes] : b)
    if (!a.count(n)) d += n + "(new) ";
  return d;
}

// The kill loop of a write through one FileSet: work (0 when it wrote) runs
// once whole, which gives its duration and the new files; then `runs` times
// from the old files (restore) in a child killed at a random moment within
// twice that duration, after which the next start's FinishCommitRecords
// runs. Every time the files (files()) must be the old or the new ones.
inline void ExpectOldOrNewAfterKills(const std::function<int()>& work, const std::function<FileBytes()>& files,
                                     const std::function<void(const FileBytes&)>& restore, int runs, unsigned seed) {
  const FileBytes before = files();
  int first = -1;
  const int64_t us = MicrosOf([&] { first = work(); });
  ASSERT_EQ(first, 0);
  const FileBytes after = files();
  ASSERT_NE(DiffFiles(after, before), "");
  int olds = 0, news = 0;
  srand(seed);
  for (int i = 0; i < runs; ++i) {
    restore(before);
    KillAfterStart(work, rand() % (2 * us + 50));
    EXPECT_EQ(FinishCommitRecords(), 0);
    const FileBytes now = files();
    if (DiffFiles(now, before).empty()) ++olds;
    else if (DiffFiles(now, after).empty()) ++news;
    else ADD_FAILURE() << "run " << i << ": " << DiffFiles(now, before) << "/ " << DiffFiles(now, after);
  }
  EXPECT_EQ(olds + news, runs);
}

}  // namespace qoe_test
