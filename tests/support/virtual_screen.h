// Child processes for tests that run the whole program, and a virtual X
// screen (Xvfb on a free display number) for it to show on.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace qoe_test {

// A child process running argv in folder dir (empty: this one) with the
// environment's changes ("NAME=value" sets, "NAME" alone removes), its output
// into the file out; keep_fd stays open in it.
inline pid_t SpawnChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                        const std::string& dir, const std::string& out, int keep_fd = -1) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
  for (const std::string& e : env) {
    const size_t eq = e.find('=');
    if (eq == std::string::npos) unsetenv(e.c_str());
    else setenv(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str(), 1);
  }
  const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd >= 0) {
    dup2(fd, 1);
    dup2(fd, 2);
    if (fd != keep_fd) close(fd);
  }
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  _exit(127);
}

// The exit code of a child that ends within the seconds; -1 when it ended by
// a signal or had to be killed.
inline int WaitChild(pid_t pid, int seconds) {
  for (int i = 0; i < seconds * 10; i++) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}

// Ends a child with the close signal, as WaitChild.
inline int EndChild(pid_t pid, int seconds) {
  kill(pid, SIGTERM);
  return WaitChild(pid, seconds);
}

// Xvfb of a size on a free display number (-displayfd), its log in
// xvfb.txt, ended with the record.
class VirtualScreen {
 public:
  VirtualScreen() = default;
  VirtualScreen(const VirtualScreen&) = delete;
  VirtualScreen& operator=(const VirtualScreen&) = delete;
  ~VirtualScreen() {
    if (pid_ > 0) EndChild(pid_, 10);
  }
  bool Start(uint32_t w, uint32_t h) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    const std::string size = std::to_string(w) + "x" + std::to_string(h) + "x24";
    pid_ = SpawnChild({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", size, "-nolisten", "tcp"}, {}, "",
                      "xvfb.txt", fds[1]);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (number.find('\n') == std::string::npos && poll(&p, 1, 120000) > 0) {
      char c[16];
      const ssize_t n = read(fds[0], c, sizeof c);
      if (n <= 0) break;
      number.append(c, size_t(n));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) return false;
    display_ = ":" + number.substr(0, number.find('\n'));
    return true;
  }
  const std::string& Display() const { return display_; }
  // The X pointer to (x, y); with click, a click of the left button there.
  bool PointerTo(int32_t x, int32_t y, bool click = false) const {
    const std::string cmd = "DISPLAY=" + display_ + " xdotool mousemove " + std::to_string(x) + " " +
                            std::to_string(y) + (click ? " click 1" : "") + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
  }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace qoe_test
