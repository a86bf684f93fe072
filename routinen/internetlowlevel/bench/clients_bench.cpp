// The internet clients against real servers on loopback, each beside a
// baseline measured in the same run:
// - IRC: 5000 channel lines from a second client through ngircd into a
//   session's queue (connection thread, semaphore, names, blocks), against a
//   plain socket client in the same channel counting the same lines;
// - FTP: a 32 MB file from pyftpdlib with GetFTPData (temporary file, zero
//   check, rename), against a bare passive RETR copied with recv/write.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>

#include "platform/log.h"
#include "routinen/internetlowlevel/ftp.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/sysrecords.h"
#include "tools/testpeers/testpeers.h"
#include "tests/support/bench_folder.h"

namespace {

constexpr int kLines = 5000;
constexpr size_t kFileSize = 32u << 20;

struct Peers {
  qoe_peers::PeerDir dir;
  qoe_peers::Ngircd irc;
  qoe_peers::FtpServer ftp;
  std::string error;
  bool ok = false;
  Peers() {
    DebugLogSetStderr(0);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    MailSetTimeoutMs(10000);
    const std::string work = qoe_bench::BenchFolder("/tmp", "qoe_bench_clients_");
    if (work.empty() || chdir(work.c_str()) != 0) return;
    if (!qoe_peers::StartNgircd(dir.path, &irc, &error) || !qoe_peers::StartFtpServer(dir.path, "q", "p", &ftp, &error))
      return;
    std::string data(kFileSize, 0);
    std::mt19937 rng(7);
    for (auto& c : data) c = (char)(rng() | 1);
    ok = qoe_peers::WriteText(ftp.root + "/bench.zip", data);
  }
};
Peers& P() {
  static Peers p;
  return p;
}

int Connect(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& s) {
  size_t put = 0;
  while (put < s.size()) {
    ssize_t n = send(fd, s.data() + put, s.size() - put, MSG_NOSIGNAL);
    if (n <= 0) return false;
    put += (size_t)n;
  }
  return true;
}

// Reads until text appears (the stream so far kept in *seen).
bool ReadUntil(int fd, const std::string& text, std::string* seen) {
  char b[65536];
  while (seen->find(text) == std::string::npos) {
    ssize_t n = recv(fd, b, sizeof b, 0);
    if (n <= 0) return false;
    seen->append(b, (size_t)n);
  }
  return true;
}

// A plain client registered and joined to #Bench.
int RawClient(const std::string& nick) {
  int fd = Connect(P().irc.port);
  std::string seen;
  if (fd < 0 || !SendAll(fd, "NICK " + nick + "\r\nUSER b 0 * :b\r\nJOIN #Bench\r\n") ||
      !ReadUntil(fd, " 366 ", &seen)) {
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

std::string Flood() {
  std::string s;
  for (int i = 0; i < kLines; i++) s += "PRIVMSG #Bench :line " + std::to_string(i) + " of the bench\r\n";
  return s;
}

void BM_IrcLinesThroughTheThread(benchmark::State& state) {
  if (!P().ok) return state.SkipWithError(P().error.c_str());
  std::string host = "127.0.0.1:" + std::to_string(P().irc.port);
  const std::string flood = Flood();
  for (auto _ : state) {
    state.PauseTiming();
    IRCSession* s = InitIRC(host.c_str(), "#Bench", "reader", 0);
    int sender = RawClient("sender");
    while (IRCTakeBlock(s) && s->NameCount < 2) {
    }
    state.ResumeTiming();
    if (s->Socket.load() < 0 || sender < 0 || !SendAll(sender, flood)) {
      state.SkipWithError("IRC set-up failed");
      break;
    }
    int got = 0;
    while (got < kLines && s->Socket.load() >= 0) {
      if (!IRCTakeBlock(s)) {
        usleep(1000);  // a game loop's pace: drain, then wait
        continue;
      }
      if (std::strstr(s->Lines, "PRIVMSG #Bench :line ")) got++;
    }
    state.PauseTiming();
    close(sender);
    ExitIRC(s);
    state.ResumeTiming();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * kLines);
}
BENCHMARK(BM_IrcLinesThroughTheThread)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_IrcLinesPlainSocket(benchmark::State& state) {
  if (!P().ok) return state.SkipWithError(P().error.c_str());
  const std::string flood = Flood();
  for (auto _ : state) {
    state.PauseTiming();
    int reader = RawClient("plainreader");
    int sender = RawClient("sender");
    std::string seen;
    ReadUntil(reader, "JOIN", &seen);
    seen.clear();
    state.ResumeTiming();
    if (reader < 0 || sender < 0 || !SendAll(sender, flood)) {
      state.SkipWithError("IRC set-up failed");
      break;
    }
    ReadUntil(reader, "line " + std::to_string(kLines - 1) + " of", &seen);
    state.PauseTiming();
    close(sender);
    close(reader);
    state.ResumeTiming();
  }
  state.SetItemsProcessed((int64_t)state.iterations() * kLines);
}
BENCHMARK(BM_IrcLinesPlainSocket)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FtpGetFTPData(benchmark::State& state) {
  if (!P().ok) return state.SkipWithError(P().error.c_str());
  std::string host = "127.0.0.1:" + std::to_string(P().ftp.port);
  std::string status = OpenFTP(host.c_str(), 21, "q", "p", "/");
  if (status != "FTP OK") return state.SkipWithError(status.c_str());
  for (auto _ : state) {
    if (!GetFTPData("bench.zip", "", kFileSize, ".\\bench.zip", nullptr)) {
      state.SkipWithError(FtpError());
      break;
    }
  }
  CloseFTP();
  FreeFTPListing();
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kFileSize);
}
BENCHMARK(BM_FtpGetFTPData)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reads one FTP reply's last line (enough for the single-line replies here).
std::string Reply(int fd) {
  std::string s;
  char c;
  while (recv(fd, &c, 1, 0) == 1) {
    s += c;
    if (c == '\n') {
      if (s.size() >= 4 && s[3] == ' ') return s;
      s.clear();
    }
  }
  return s;
}

void BM_FtpPlainRetr(benchmark::State& state) {
  if (!P().ok) return state.SkipWithError(P().error.c_str());
  int c = Connect(P().ftp.port);
  Reply(c);
  SendAll(c, "USER q\r\n");
  Reply(c);
  SendAll(c, "PASS p\r\n");
  Reply(c);
  SendAll(c, "TYPE I\r\n");
  Reply(c);
  std::vector<char> b(256 * 1024);
  for (auto _ : state) {
    SendAll(c, "PASV\r\n");
    std::string r = Reply(c);
    uint16_t port = 0;
    if (!FtpParsePasv(r.c_str(), &port)) {
      state.SkipWithError(r.c_str());
      break;
    }
    int d = Connect(port);
    SendAll(c, "RETR bench.zip\r\n");
    Reply(c);
    int out = open("plain.zip", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    size_t total = 0;
    for (ssize_t n; (n = recv(d, b.data(), b.size(), 0)) > 0; total += (size_t)n)
      if (write(out, b.data(), (size_t)n) != n) break;
    close(out);
    close(d);
    Reply(c);
    if (total != kFileSize) {
      state.SkipWithError("short copy");
      break;
    }
  }
  close(c);
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)kFileSize);
}
BENCHMARK(BM_FtpPlainRetr)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
