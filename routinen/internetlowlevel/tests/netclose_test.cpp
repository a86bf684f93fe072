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
#include "tests/support/test_support.h"

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
  MailSetTimeoutMs(600000);  // ten minutes: far longer than the bound below
  NetConn c;
  int tls = 0;
  ASSERT_EQ(NetOpen(&c, ("127.0.0.1:" + std::to_string(port)).c_str(), 110, &tls), 1) << c.error;
  // The window's close (or a signal) from another thread while the game
  // thread waits for the server's greeting.
  std::thread closer([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    RequestProgramClose();
  });
  char line[200];
  int got = -1;
  EXPECT_TRUE(qoe_test::EndsWithin(
      240000, [&] { got = NetReadLine(&c, line, sizeof line, nullptr); }, [&] { shutdown(c.fd, SHUT_RDWR); }))
      << "the wait ran on to its time-out";
  EXPECT_EQ(got, 0);
  closer.join();
  NetClose(&c);
  close(server);
  MailSetTimeoutMs(0);
  ClearProgramClose();
  DebugLogSetStderr(1);
}
