// VEncode beside coreutils' base64 on the same 16 MB: encode and decode
// throughput (bytes of payload per second, wall clock on both sides). base64
// runs as its own process from a file in the page cache into /dev/null;
// compare the bytes_per_second columns.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/memory.h"

extern char** environ;

namespace {

constexpr uint32_t kBytes = 16u << 20;

const std::vector<uint8_t>& Payload() {
  static std::vector<uint8_t> v = [] {
    std::vector<uint8_t> d(kBytes);
    std::mt19937 rng(5);
    for (auto& b : d) b = (uint8_t)rng();
    return d;
  }();
  return v;
}

std::string TempFile(const char* tag, const void* data, size_t size) {
  std::string path = std::string("/tmp/qoe-vbench-") + tag + "-" + std::to_string(getpid());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return "";
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  return path;
}

bool RunBase64(const std::string& input, bool decode) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv = {const_cast<char*>("base64")};
  if (decode) argv.push_back(const_cast<char*>("-d"));
  argv.push_back(const_cast<char*>(input.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, "base64", &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void BM_VEncode(benchmark::State& state) {
  const auto& d = Payload();
  std::vector<char> out(VEncodeSize(kBytes));
  for (auto _ : state) {
    benchmark::DoNotOptimize(VEncode(d.data(), kBytes, out.data()));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed((int64_t)state.iterations() * kBytes);
}

void BM_VDecode(benchmark::State& state) {
  const auto& d = Payload();
  std::vector<char> text(VEncodeSize(kBytes));
  VEncode(d.data(), kBytes, text.data());
  for (auto _ : state) {
    uint8_t* out = nullptr;
    uint32_t len = 0;
    if (VDecode(text.data(), text.size(), &out, &len) != VDECODE_OK) state.SkipWithError("decode failed");
    FreeVec(out);
  }
  state.SetBytesProcessed((int64_t)state.iterations() * kBytes);
}

void BM_Base64Encode(benchmark::State& state) {
  std::string in = TempFile("raw", Payload().data(), kBytes);
  for (auto _ : state)
    if (!RunBase64(in, false)) state.SkipWithError("base64 did not run");
  state.SetBytesProcessed((int64_t)state.iterations() * kBytes);
  std::remove(in.c_str());
}

void BM_Base64Decode(benchmark::State& state) {
  // base64's own output of the same bytes.
  std::vector<char> text(VEncodeSize(kBytes));
  std::string raw = TempFile("raw", Payload().data(), kBytes);
  std::string enc = raw + ".b64";
  std::string cmd = "base64 " + raw + " > " + enc;
  if (std::system(cmd.c_str()) != 0) state.SkipWithError("base64 did not run");
  for (auto _ : state)
    if (!RunBase64(enc, true)) state.SkipWithError("base64 -d did not run");
  state.SetBytesProcessed((int64_t)state.iterations() * kBytes);
  std::remove(raw.c_str());
  std::remove(enc.c_str());
}

}  // namespace

BENCHMARK(BM_VEncode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_VDecode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
