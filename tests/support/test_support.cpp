#include "test_support.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

namespace qoe_test {

std::string SourceDir() { return QOE_SOURCE_DIR; }
std::string BinaryDir() { return QOE_BINARY_DIR; }

std::string TestDir() {
  char buf[4096];
  if (!getcwd(buf, sizeof buf)) return ".";
  return buf;
}

bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  size_t n = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
  bool ok = n == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::vector<uint8_t> out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  std::fclose(f);
  return out;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

bool RunKilledAfter(const std::function<int()>& work, int64_t delay_us) {
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) _exit(work());
  if (delay_us > 0) usleep(static_cast<useconds_t>(delay_us));
  kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

namespace {
bool CopyFolders(const std::string& from, const std::string& to, const std::vector<std::string>& folders) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const std::string& f : folders) {
    fs::remove_all(to + "/" + f, ec);
    fs::create_directories(fs::path(to + "/" + f).parent_path(), ec);
    if (fs::exists(from + "/" + f)) fs::copy(from + "/" + f, to + "/" + f, fs::copy_options::recursive, ec);
    if (ec) return false;
  }
  return true;
}
}  // namespace

bool BackUpFolders(const std::string& backup, const std::vector<std::string>& folders) {
  return CopyFolders(".", backup, folders);
}

bool RestoreFolders(const std::string& backup, const std::vector<std::string>& folders) {
  return CopyFolders(backup, ".", folders);
}

std::map<std::string, std::vector<uint8_t>> FileTree(const std::string& dir) {
  namespace fs = std::filesystem;
  std::map<std::string, std::vector<uint8_t>> files;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = ReadFileBytes(e.path().string());
  return files;
}

std::string PngDir() { return BinaryDir() + "/test-pngs"; }

std::string ClickLine(int x, int y) {
  const std::string at = std::to_string(x) + " " + std::to_string(y);
  return "move " + at + "; press left " + at + "; release left " + at + "\n";
}

bool KeepPng(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(PngDir(), ec);
  if (ec) return false;
  return fs::copy_file(path, PngDir() + "/" + fs::path(path).filename().string(), fs::copy_options::overwrite_existing,
                       ec) &&
         !ec;
}

bool WaitUntil(const std::function<bool()>& done, int64_t bound_ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(bound_ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool EndsWithin(int64_t bound_ms, const std::function<void()>& work, const std::function<void()>& unstick) {
  std::mutex lock;
  std::condition_variable cv;
  bool ended = false;
  std::thread worker([&] {
    work();
    std::lock_guard<std::mutex> g(lock);
    ended = true;
    cv.notify_all();
  });
  bool in_time;
  {
    std::unique_lock<std::mutex> l(lock);
    in_time = cv.wait_for(l, std::chrono::milliseconds(bound_ms), [&] { return ended; });
  }
  if (!in_time) unstick();
  worker.join();
  return in_time;
}

__attribute__((noinline)) void DirtyStack() {
  volatile uint8_t junk[64 * 1024];
  for (size_t i = 0; i < sizeof junk; ++i) junk[i] = 0xA5;
}

}  // namespace qoe_test
