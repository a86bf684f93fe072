// Helpers shared by every test program.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qoe_test {

// The project's source folder (for test data kept in the repo).
std::string SourceDir();
// The build folder (for build output such as generated fonts and data).
std::string BinaryDir();
// The temporary working directory of the running test (also the cwd).
std::string TestDir();

// Whole-file helpers that bypass the program's own file layer.
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::string& path);  // empty when missing
bool FileExists(const std::string& path);

// PNGs meant to be looked at by a person: one folder, <build>/test-pngs/
// (made when missing). Tests write their files in their own folder and copy
// them there; KeepPng copies path under its file name, true on success.
std::string PngDir();
bool KeepPng(const std::string& path);

// Kill loops: runs work in a forked child (its result is the exit code) and
// kills the child with SIGKILL after delay_us microseconds. True when the
// kill hit it (false when it had ended first).
bool RunKilledAfter(const std::function<int()>& work, int64_t delay_us);
// Copies the folders (relative to the working folder) into backup, or puts
// them back from there (each replaced whole); true on success.
bool BackUpFolders(const std::string& backup, const std::vector<std::string>& folders);
bool RestoreFolders(const std::string& backup, const std::vector<std::string>& folders);
// Every regular file under a folder with its bytes, by path relative to it
// (none when the folder is missing); folders themselves are left out.
std::map<std::string, std::vector<uint8_t>> FileTree(const std::string& dir);

// A headless script line that moves to display point (x, y) and clicks the
// left button there.
std::string ClickLine(int x, int y);

// A wait's bound in the tests: four minutes of real time, so that a busy
// machine only makes a test slower, never fails it.
constexpr int64_t kWaitBoundMs = 240000;
// Polls done() (every millisecond) until it holds, bound_ms at most; whether
// it held.
bool WaitUntil(const std::function<bool()>& done, int64_t bound_ms = kWaitBoundMs);

// Runs work on a thread of its own and waits for its end, bound_ms at most
// (real time: a bound of minutes, so that a busy machine only makes it
// slower). When work has not ended by then, unstick runs (it must make work
// end: a server stopped, a socket shut) and the answer is false.
bool EndsWithin(int64_t bound_ms, const std::function<void()>& work, const std::function<void()>& unstick);

// Fills the next 64 KiB of the calling thread's stack with a pattern (0xA5),
// as a thread that ran other code before leaves it: a function called right
// after finds junk in every local it does not initialise.
void DirtyStack();

}  // namespace qoe_test

// A test that needs a built program or data folder: under the README's test
// command (QOE_TEST_COMMAND set) a missing one fails the test, elsewhere (a
// partial build while iterating) it skips it.
#define QOE_REQUIRE_BUILT(path)                                                         \
  do {                                                                                  \
    const std::string qoe_required_path_ = (path);                                      \
    if (!qoe_test::FileExists(qoe_required_path_)) {                                    \
      if (std::getenv("QOE_TEST_COMMAND")) FAIL() << qoe_required_path_ << " not built"; \
      GTEST_SKIP() << qoe_required_path_ << " not built";                               \
    }                                                                                   \
  } while (0)
