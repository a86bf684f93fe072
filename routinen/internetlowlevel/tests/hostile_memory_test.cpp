// Memory against hostile servers: a POP3 server and a game server that
// stream far past the limits, or announce far more than they send. The
// client's heap may grow by at most 8 MB over its idle level, whatever
// arrives; what is within the limits is still stored whole.
#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/files.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QOE_HEAP_FROM_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QOE_HEAP_FROM_SANITIZER 1
#endif
#endif
#ifdef QOE_HEAP_FROM_SANITIZER
// The sanitizer runtime's count of allocated bytes (its header is not
// installed with GCC).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace fs = std::filesystem;

namespace {

constexpr size_t kMB = 1u << 20;

// Bytes the process's allocator has handed out and not taken back.
size_t HeapInUse() {
#ifdef QOE_HEAP_FROM_SANITIZER
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
#endif
}

// Samples the heap on its own thread while a call runs; the peak over the
// level before the call.
struct PeakWatch {
  size_t idle = HeapInUse();
  std::atomic<size_t> peak{idle};
  std::atomic<bool> stop{false};
  std::thread sampler{[this] {
    while (!stop.load()) {
      const size_t now = HeapInUse();
      if (now > peak.load()) peak.store(now);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  }};
  size_t Growth() {
    stop.store(true);
    if (sampler.joinable()) sampler.join();
    return peak.load() > idle ? peak.load() - idle : 0;
  }
  ~PeakWatch() { Growth(); }
};

bool SendAll(int fd, const void* data, size_t n) {
  const char* p = static_cast<const char*>(data);
  while (n) {
    const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w <= 0) return false;
    p += w;
    n -= (size_t)w;
  }
  return true;
}
bool Send(int fd, const std::string& s) { return SendAll(fd, s.data(), s.size()); }

// One line without its CR LF; false when the client closed.
bool ReadLine(int fd, std::string* line) {
  line->clear();
  char c;
  while (::recv(fd, &c, 1, 0) == 1) {
    if (c == '\n') {
      if (!line->empty() && line->back() == '\r') line->pop_back();
      return true;
    }
    *line += c;
  }
  return false;
}

// A server on 127.0.0.1 that serves one connection with `serve` on its own
// thread; it sends from buffers made before the call, so the heap growth
// measured is the client's.
struct HostileServer {
  int listener = -1;
  uint16_t port = 0;
  std::thread th;
  explicit HostileServer(std::function<void(int)> serve) {
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listener < 0 || ::bind(listener, (sockaddr*)&a, sizeof a) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, (sockaddr*)&a, &len) != 0)
      return;
    port = ntohs(a.sin_port);
    th = std::thread([this, serve] {
      pollfd p{listener, POLLIN, 0};
      if (::poll(&p, 1, 30000) != 1) return;
      const int c = ::accept(listener, nullptr, nullptr);
      if (c < 0) return;
      serve(c);
      ::close(c);
    });
  }
  ~HostileServer() {
    if (th.joinable()) th.join();
    if (listener >= 0) ::close(listener);
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port); }
};

// Every file in the folder, hidden temporary ones included.
std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) out.push_back(e.path().filename().string());
  return out;
}

const char kSubject[] = "Subject: Quill of Elmor 00001234\r\n";

// A POP3 mailbox of one turn mail whose RETR answer streams body_bytes of
// lines; with `end` the answer ends with "." (else it stops when the client
// leaves). Without TOP the server refuses it.
void Pop3Serve(int fd, bool top, const std::string& line, size_t body_bytes, bool end) {
  std::string cmd;
  if (!Send(fd, "+OK hostile POP3\r\n")) return;
  while (ReadLine(fd, &cmd)) {
    const std::string v = cmd.substr(0, 4);
    if (v == "CAPA") Send(fd, top ? "+OK\r\nUSER\r\nTOP\r\n.\r\n" : "+OK\r\nUSER\r\n.\r\n");
    else if (v == "USER" || v == "PASS" || v == "DELE") Send(fd, "+OK\r\n");
    else if (v == "STAT") Send(fd, "+OK 1 1000\r\n");
    else if (v == "LIST") Send(fd, "+OK\r\n1 1000\r\n.\r\n");  // a small size: the stream lies
    else if (v == "TOP ") Send(fd, top ? std::string("+OK\r\n") + kSubject + "\r\n.\r\n" : "-ERR no TOP\r\n");
    else if (v == "RETR") {
      if (!Send(fd, std::string("+OK\r\n") + kSubject + "\r\n")) return;
      size_t sent = 0;
      while (sent < body_bytes && Send(fd, line)) sent += line.size();
      if (end && !Send(fd, ".\r\n")) return;
    } else if (v == "QUIT") {
      Send(fd, "+OK bye\r\n");
      return;
    } else {
      Send(fd, "-ERR unknown\r\n");
    }
  }
}

class HostileMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    EndpointDefaults(&QoESystemPtr->Endpoints);
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    MailSetMaxMailSize(16 * kMB);
    fs::create_directories("Data/POP3In");
    line_.assign(998, 'x');
    line_ += "\r\n";
  }
  void TearDown() override {
    MailSetTimeoutMs(0);
    MailSetMaxMailSize(0);
  }
  std::string line_;
};

}  // namespace

TEST_F(HostileMemory, Pop3StreamPastTheMailLimitStaysSmallAndLeavesNoFile) {
  for (bool top : {true, false}) {
    HostileServer server([&](int fd) { Pop3Serve(fd, top, line_, 200 * kMB, false); });
    ASSERT_NE(server.port, 0);
    PeakWatch watch;
    const std::string status = GetEMail(server.Host().c_str(), "user", "pw", "00001234", "Data\\POP3In", 0, 1);
    const size_t growth = watch.Growth();
    EXPECT_NE(status.find("larger than"), std::string::npos) << status;
    EXPECT_LT(growth, 8 * kMB) << (top ? "with" : "without") << " TOP";
    EXPECT_TRUE(FilesIn("Data/POP3In").empty());
  }
}

TEST_F(HostileMemory, Pop3MailWithinTheLimitIsStreamedToItsFileWhole) {
  const size_t body = 12 * kMB;
  std::string want = std::string(kSubject) + "\r\n";
  want.reserve(body + 4096);
  while (want.size() < body) want += line_;
  const size_t lines = (want.size() - std::strlen(kSubject) - 2) / line_.size();
  HostileServer server([&](int fd) { Pop3Serve(fd, true, line_, lines * line_.size(), true); });
  ASSERT_NE(server.port, 0);
  PeakWatch watch;
  EXPECT_STREQ(GetEMail(server.Host().c_str(), "user", "pw", "00001234", "Data\\POP3In", 0, 1), "ok");
  EXPECT_LT(watch.Growth(), 8 * kMB);
  EXPECT_EQ(FilesIn("Data/POP3In"), std::vector<std::string>{"00001234.email"});
  const std::vector<uint8_t> got = qoe_test::ReadFileBytes("Data/POP3In/00001234.email");
  EXPECT_TRUE(got.size() == want.size() && std::memcmp(got.data(), want.data(), want.size()) == 0) << got.size();
}

// A disk that fills up part-way through the mail: no file, not even the
// temporary one, and the failure is reported.
TEST_F(HostileMemory, Pop3MailThatCannotBeWrittenLeavesNoFile) {
  HostileServer server([&](int fd) { Pop3Serve(fd, true, line_, 4 * kMB, true); });
  ASSERT_NE(server.port, 0);
  FileFailWritesAfter(1 * kMB);
  const std::string status = GetEMail(server.Host().c_str(), "user", "pw", "00001234", "Data\\POP3In", 0, 1);
  FileFailWritesAfter(-1);
  EXPECT_NE(status.find("cannot write"), std::string::npos) << status;
  EXPECT_TRUE(FilesIn("Data/POP3In").empty());
}

namespace {

// The game server's greeting and player ID, then `after` for the rest.
void PacketServe(int fd, const std::function<void(int, const std::string&)>& after) {
  std::string cmd;
  while (ReadLine(fd, &cmd)) {
    if (cmd == "+HEL") Send(fd, "+VER 0.01\r\n");
    else if (cmd.rfind("+SID", 0) == 0) Send(fd, "+ACK\r\n");
    else if (cmd == "+QUI") {
      Send(fd, "+ACK\r\n");
      return;
    } else {
      after(fd, cmd);
    }
  }
}

std::string LetterOf(uint32_t sender, size_t size) {
  std::string l(size, 'L');
  std::memcpy(&l[0], "SMALV001", 8);
  const uint32_t len = (uint32_t)size - 12;
  l[8] = (char)(len >> 24), l[9] = (char)(len >> 16), l[10] = (char)(len >> 8), l[11] = (char)len;
  l[276] = (char)(sender >> 24), l[277] = (char)(sender >> 16), l[278] = (char)(sender >> 8), l[279] = (char)sender;
  return l;
}

}  // namespace

TEST_F(HostileMemory, PacketBlocksAreStreamedNotReservedByTheirAnnouncedSize) {
  const std::string chunk(kMB, 'T');
  const std::string folder = "Data/POP3In";
  auto run = [&](const std::function<void(int, const std::string&)>& after, const std::function<int32_t(PacketCtx*)>& call,
                 size_t* growth) {
    HostileServer server([&](int fd) { PacketServe(fd, after); });
    PacketCtx ctx{};
    std::snprintf(ctx.Host, sizeof ctx.Host, "%s", server.Host().c_str());
    std::snprintf(ctx.Folder, sizeof ctx.Folder, "Data\\POP3In\\");
    ctx.PlayerId = 1234;
    EXPECT_EQ(SendPacketConnect(&ctx), 1) << ctx.Error;
    EXPECT_EQ(SendPacketSid(&ctx), 1) << ctx.Error;
    PeakWatch watch;
    const int32_t r = call(&ctx);
    *growth = watch.Growth();
    if (ctx.Conn) SendPacketQuit(&ctx);
    ClosePacketCtx(&ctx);
    return r;
  };
  size_t growth = 0;
  // 64 MB announced, 20 MB sent, then the server leaves: nothing stored.
  EXPECT_EQ(run([&](int fd, const std::string&) {
                  Send(fd, "+ACK " + std::to_string(PACKET_MAX_DATA) + "\r\n");
                  for (int i = 0; i < 20 && Send(fd, chunk); i++) {
                  }
                  ::shutdown(fd, SHUT_RDWR);
                },
                SendPacketGet, &growth),
            0);
  EXPECT_LT(growth, 8 * kMB);
  EXPECT_TRUE(FilesIn(folder).empty());
  // A 24 MB turn: stored whole.
  EXPECT_EQ(run([&](int fd, const std::string&) {
                  Send(fd, "+ACK " + std::to_string(24 * kMB) + "\r\n");
                  for (int i = 0; i < 24; i++) Send(fd, chunk);
                },
                SendPacketGet, &growth),
            1);
  EXPECT_LT(growth, 8 * kMB);
  EXPECT_EQ(FilesIn(folder), std::vector<std::string>{"00001234.email"});
  EXPECT_EQ(fs::file_size(folder + "/00001234.email"), 24 * kMB);
  fs::remove(folder + "/00001234.email");
  // Three letters of 5 MB each: stored once the list ended.
  const std::string letters[3] = {LetterOf(7, 5 * kMB), LetterOf(7, 5 * kMB + 1), LetterOf(9, 5 * kMB + 2)};
  EXPECT_EQ(run([&](int fd, const std::string&) {
                  for (const std::string& l : letters) {
                    Send(fd, "+ACK " + std::to_string(l.size()) + "\r\n");
                    Send(fd, l);
                  }
                  Send(fd, "+ACK 0\r\n");
                },
                SendPacketMal, &growth),
            1);
  EXPECT_LT(growth, 8 * kMB);
  const std::string names[3] = {"E0000007_00.smal", "E0000007_01.smal", "E0000009_00.smal"};
  for (int i = 0; i < 3; i++) {
    const std::vector<uint8_t> got = qoe_test::ReadFileBytes(folder + "/" + names[i]);
    EXPECT_TRUE(got.size() == letters[i].size() && std::memcmp(got.data(), letters[i].data(), got.size()) == 0) << names[i];
  }
  EXPECT_EQ(FilesIn(folder).size(), 3u);
}
