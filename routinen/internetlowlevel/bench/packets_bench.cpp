// A 1 MB turn uploaded (+PUT) and fetched back (+GET) through the game-server
// double on loopback, against copying the same bytes through a plain
// loopback socket pair of our own.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/files.h"
#include "tools/testpeers/testpeers.h"
#include "tests/support/bench_folder.h"

namespace {

const std::string kTurn = [] {
  std::string s = "Subject: Quill of Elmor 00000001\n\n";
  s.resize(1 << 20, 'x');
  return s;
}();

void BM_PacketRoundTrip(benchmark::State& state) {
  static qoe_peers::PeerDir dir;
  static qoe_peers::GameServerDouble server;
  static bool started = false;
  std::string err;
  const std::string turns = dir.path + "/turns";
  if (!started) {
    DebugLogSetStderr(0);
    std::filesystem::create_directories(turns);
    const std::string work = qoe_bench::BenchFolder("/tmp", "qoe_bench_packets_");
    if (work.empty() || chdir(work.c_str()) != 0 ||
        !qoe_peers::StartGameServer(dir.path, {"--turns", turns, "--store", dir.path + "/store"}, &server, &err)) {
      state.SkipWithError(err.c_str());
      return;
    }
    started = true;
  }
  PacketCtx ctx{};
  std::snprintf(ctx.Host, sizeof ctx.Host, "127.0.0.1:%u", server.port);
  std::snprintf(ctx.Folder, sizeof ctx.Folder, ".\\In\\");
  ctx.PlayerId = 1;
  ctx.Data = reinterpret_cast<const uint8_t*>(kTurn.data());
  ctx.Size = (uint32_t)kTurn.size();
  for (auto _ : state) {
    state.PauseTiming();
    qoe_peers::WriteText(turns + "/01.email", kTurn);
    DeleteDir(".\\In", nullptr);
    state.ResumeTiming();
    if (!(SendPacketConnect(&ctx) && SendPacketSid(&ctx) && SendPacketPut(&ctx) && SendPacketGet(&ctx) &&
          SendPacketQuit(&ctx))) {
      state.SkipWithError(ctx.Error);
      break;
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * 2 * (int64_t)kTurn.size());
}
BENCHMARK(BM_PacketRoundTrip)->Unit(benchmark::kMillisecond);

// The baseline: the same bytes there and back through a loopback socket pair.
void BM_PlainSocketCopy(benchmark::State& state) {
  for (auto _ : state) {
    int sv[2];
    socketpair(AF_UNIX, SOCK_STREAM, 0, sv);
    std::thread echo([fd = sv[1]] {
      std::vector<char> b(kTurn.size());
      size_t got = 0;
      while (got < b.size()) {
        ssize_t n = read(fd, b.data() + got, b.size() - got);
        if (n <= 0) break;
        got += (size_t)n;
      }
      size_t put = 0;
      while (put < got) {
        ssize_t n = write(fd, b.data() + put, got - put);
        if (n <= 0) break;
        put += (size_t)n;
      }
    });
    size_t put = 0;
    while (put < kTurn.size()) put += (size_t)write(sv[0], kTurn.data() + put, kTurn.size() - put);
    std::vector<char> back(kTurn.size());
    size_t got = 0;
    while (got < back.size()) got += (size_t)read(sv[0], back.data() + got, back.size() - got);
    echo.join();
    close(sv[0]);
    close(sv[1]);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * 2 * (int64_t)kTurn.size());
}
BENCHMARK(BM_PlainSocketCopy)->Unit(benchmark::kMillisecond);

}  // namespace
