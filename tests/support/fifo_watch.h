// The watch over FIFOs put in the place of game files (header-only): such a
// file must be refused at once, never opened waiting for the FIFO's other
// end. The watch looks at every thread of a process (this one, or a child
// the test started) for one that waits in the open of a FIFO (the kernel's
// wait "wait_for_partner"); it counts each and opens the other ends of the
// FIFOs it was given, so the open returns and the test fails on the count
// instead of hanging. Where the kernel does not show the wait, a process
// still running after a bound of minutes counts as waiting (and is freed
// the same way). Besides the FIFOs: the other kinds of files that are no
// plain files, made for a table of cases.
#pragma once
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace qoe_test {

class FifoWatch {
 public:
  explicit FifoWatch(std::vector<std::string> fifos, pid_t pid = 0) : fifos_(std::move(fifos)), pid_(pid) {
    // A writer freed by the watch writes into a pipe nobody reads.
    signal(SIGPIPE, SIG_IGN);
    thread_ = std::thread([this] { Run(); });
  }
  ~FifoWatch() { Stop(); }
  FifoWatch(const FifoWatch&) = delete;
  FifoWatch& operator=(const FifoWatch&) = delete;

  // Opens of a FIFO that waited (each freed by the watch).
  uint32_t Blocked() const { return blocked_.load(); }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  static constexpr int64_t kBoundMs = 5 * 60 * 1000;

  static int64_t NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
  }

  // 1 when a thread of the process waits for a FIFO's other end, 0 when
  // none does, -1 when the kernel does not say.
  int Waiting() const {
    const std::string tasks = "/proc/" + (pid_ ? std::to_string(pid_) : std::string("self")) + "/task";
    DIR* d = opendir(tasks.c_str());
    if (!d) return 0;  // the process has ended
    int result = -1;
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream in(tasks + "/" + e->d_name + "/wchan");
      std::string wchan;
      std::getline(in, wchan);
      if (wchan == "wait_for_partner") {
        result = 1;
        break;
      }
      if (!wchan.empty() && wchan != "0") result = 0;  // the kernel names waits
    }
    closedir(d);
    return result;
  }

  void FreeWaiters() const {
    for (const std::string& f : fifos_) {
      const int w = open(f.c_str(), O_WRONLY | O_NONBLOCK);  // frees a reader that waits
      const int r = open(f.c_str(), O_RDONLY | O_NONBLOCK);  // frees a writer that waits
      if (w >= 0) close(w);
      if (r >= 0) close(r);
    }
  }

  void Run() {
    const int64_t start = NowMs();
    while (!stop_) {
      const int waiting = Waiting();
      if (waiting == 1 || (waiting < 0 && NowMs() - start > kBoundMs)) {
        blocked_++;
        FreeWaiters();
      }
      usleep(2000);
    }
  }

  std::vector<std::string> fifos_;
  pid_t pid_;
  std::atomic<bool> stop_{false};
  std::atomic<uint32_t> blocked_{0};
  std::thread thread_;
};

// The kinds of things that are no plain file, put where a game file belongs.
enum class NotPlain { kFifo, kFolder, kLinkToAGoodFile, kSocket };

inline const char* NotPlainName(NotPlain k) {
  switch (k) {
    case NotPlain::kFifo: return "Fifo";
    case NotPlain::kFolder: return "Folder";
    case NotPlain::kLinkToAGoodFile: return "Link";
    case NotPlain::kSocket: return "Socket";
  }
  return "?";
}

// Puts the kind at path (its parent must exist); a link points at a plain
// file beside it (path + ".good") holding good. True on success.
inline bool MakeNotPlain(NotPlain k, const std::string& path, const std::vector<uint8_t>& good = {}) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  switch (k) {
    case NotPlain::kFifo: return mkfifo(path.c_str(), 0644) == 0;
    case NotPlain::kFolder: return std::filesystem::create_directory(path, ec);
    case NotPlain::kLinkToAGoodFile: {
      const std::string target = path + ".good";
      std::ofstream(target, std::ios::binary).write(reinterpret_cast<const char*>(good.data()),
                                                    static_cast<std::streamsize>(good.size()));
      return symlink(std::filesystem::path(target).filename().c_str(), path.c_str()) == 0;
    }
    case NotPlain::kSocket: {
      sockaddr_un a{};
      a.sun_family = AF_UNIX;
      if (path.size() >= sizeof a.sun_path) return false;
      std::memcpy(a.sun_path, path.c_str(), path.size());
      const int s = socket(AF_UNIX, SOCK_STREAM, 0);
      const bool ok = s >= 0 && bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
      if (s >= 0) close(s);  // the socket file stays
      return ok;
    }
  }
  return false;
}

// True when path is still the kind MakeNotPlain put there (a link still
// pointing at its file).
inline bool StillNotPlain(NotPlain k, const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return false;
  switch (k) {
    case NotPlain::kFifo: return S_ISFIFO(st.st_mode);
    case NotPlain::kFolder: return S_ISDIR(st.st_mode);
    case NotPlain::kSocket: return S_ISSOCK(st.st_mode);
    case NotPlain::kLinkToAGoodFile: {
      std::error_code ec;
      return S_ISLNK(st.st_mode) &&
             std::filesystem::read_symlink(path, ec) == std::filesystem::path(path + ".good").filename();
    }
  }
  return false;
}

}  // namespace qoe_test
