// A network wait ends soon after the program's close was asked for, not at
// its time-out: a download or an upload never holds the game's end.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/close.h"
#include "platform/log.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/mail_internal.h"

namespace {

// A loopback server that takes the connection and never says a word.
int SilentListener(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 1) != 0) return -1;
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

TEST(NetCloseThread, TheCloseEndsAWaitForAnAnswer) {
  DebugLogSetStderr(0);
  ClearProgramClose();
  uint16_t port = 0;
  const int server = SilentListener(&port);
  ASSERT_GE(server, 0);
  MailSetTimeoutMs(60000);  // far longer than the hang guard below
  NetConn c;
  int tls = 0;
  ASSERT_EQ(NetOpen(&c, ("127.0.0.1:" + std::to_string(port)).c_str(), 110, &tls), 1) << c.error;
  // The window's close (or a signal) from another thread while the game
  // thread waits for the server's greeting.
  std::thread closer([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    RequestProgramClose();
  });
  const auto start = std::chrono::steady_clock::now();
  char line[200];
  EXPECT_EQ(NetReadLine(&c, line, sizeof line, nullptr), 0);
  const auto waited =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  closer.join();
  EXPECT_LT(waited, 30000) << "the wait ran on to its time-out";
  NetClose(&c);
  close(server);
  MailSetTimeoutMs(0);
  ClearProgramClose();
  DebugLogSetStderr(1);
}
