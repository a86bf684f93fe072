// The map scene's set-up (BuildMapScene) on Mesa with the data kit's files:
// the kit's whole configuration (terrain models of the season, water and
// the characters) and its characters alone, each against reading every file
// of the folders that set-up reads from with fread (the baseline, measured
// in the same run). Counter "vs_fread": time per set-up over the baseline's.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "routinen/graphics_lowlevel_3d/bench/gl_window.h"
#include "routinen/graphics_lowlevel_3d/bench/seconds_per_call.h"
#include "tests/support/bench_folder.h"

namespace fs = std::filesystem;

namespace {

const char* const kFolders[] = {"bmp", "qoe", "qoe-spring", "qoe-summer", "qoe-autumn", "qoe-winter", "qoe-old", "qoe-anims"};

// A working folder with the kit's folders linked in and its configuration,
// without the terrain commands when only the characters are wanted; the
// folder's path, empty when the kit has not been made.
std::string WorkFolder(bool terrain) {
  const std::string kit = QOE_KIT_DIR;
  std::ifstream in(kit + "/qoe3d.cfg");
  if (!in) return "";
  const std::string name = qoe_bench::BenchFolder("/tmp", "qoe-scene-bench-");
  if (name.empty()) return "";
  for (const char* f : kFolders) {
    std::error_code ec;
    fs::create_directory_symlink(kit + "/" + f, fs::path(name) / f, ec);
  }
  std::ofstream out(fs::path(name) / "qoe3d.cfg");
  std::string line;
  while (std::getline(in, line))
    if (terrain || (line.rfind("SetHexagone", 0) != 0 && line.rfind("XSetHexagone", 0) != 0)) out << line << '\n';
  return name;
}

// Every file of the folders the set-up reads from: the configuration, the
// pictures, the common and the season's models (the engine's season 3,
// autumn), the characters.
std::vector<std::string> FilesRead(const std::string& folder, bool terrain) {
  std::vector<std::string> files{folder + "/qoe3d.cfg"};
  std::vector<std::string> dirs{"bmp", "qoe", "qoe-anims"};
  if (terrain) dirs.push_back("qoe-autumn");
  for (const std::string& d : dirs) {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(fs::path(folder) / d, ec))
      if (e.is_regular_file()) files.push_back(e.path().string());
  }
  return files;
}

// Reads every file whole with fread; the bytes read.
size_t ReadAll(const std::vector<std::string>& files) {
  static std::vector<char> buffer(size_t(1) << 22);
  size_t total = 0;
  for (const std::string& f : files) {
    FILE* fp = std::fopen(f.c_str(), "rb");
    if (!fp) continue;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), fp)) > 0) total += n;
    std::fclose(fp);
  }
  benchmark::DoNotOptimize(total);
  return total;
}

void SceneSetUp(benchmark::State& state, bool terrain) {
  if (!OpenBenchWindow()) return state.SkipWithError("no GL context");
  const std::string folder = WorkFolder(terrain);
  if (folder.empty()) return state.SkipWithError("the data kit's files are missing");
  const std::string before = fs::current_path().string();
  if (chdir(folder.c_str()) != 0) return state.SkipWithError("cannot enter the working folder");
  const std::vector<std::string> files = FilesRead(folder, terrain);
  const double base = SecondsPerCall([&] { ReadAll(files); }, 300);
  StartEngine();
  if (Engine()->started != 1) {
    state.SkipWithError("the engine did not start");
  } else {
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) BuildMapScene(0, 0);
    const double per = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() /
                       double(state.iterations());
    state.counters["vs_fread"] = per / base;
    state.counters["files"] = double(files.size());
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(ReadAll(files)));
  }
  StopEngine();
  if (chdir(before.c_str()) != 0) state.SkipWithError("cannot go back");
  std::error_code ec;
  fs::remove_all(folder, ec);
}

void BM_BuildMapSceneKit(benchmark::State& state) { SceneSetUp(state, true); }
void BM_BuildMapSceneCharacters(benchmark::State& state) { SceneSetUp(state, false); }

}  // namespace

BENCHMARK(BM_BuildMapSceneKit)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BuildMapSceneCharacters)->Unit(benchmark::kMillisecond)->Iterations(20);
