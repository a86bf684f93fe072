// The worker totals over a 1024 x 768 view with 100 worked own fields in
// four culture parts: a redraw (the parts kept) against the first run of
// the same call, which reads the parts.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/gamedata/entities.h"
#include "routinen/map/figurmenu.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/fake_map.h"
#include "routinen/system/lists.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/bench_folder.h"

namespace {

// The view's top-left at (4030, 2012): columns 4030..4050 and rows
// 2012..2025 lie in the culture parts (100, 100), (101, 100), (100, 101)
// and (101, 101).
struct Fields {
  map_test::FakeMap fake;
  Fields() {
    DebugLogSetStderr(0);
    const std::string tmpl = qoe_bench::BenchFolder("/tmp", "qoe_arbeiterbench_");
    if (tmpl.empty() || chdir(tmpl.c_str()) != 0) return;
    std::system("mkdir -p Map");
    RegisterGameDataListTypes();
    OwnPlayerPtr->PlayerId = 5;
    HeadlessOpenDisplay(8);
    for (int32_t r = 0; r < 120; ++r)
      for (int32_t c = 0; c < 240; ++c) {
        MapTile& t = fake.cells[r * 240 + c];
        t.X = (uint32_t)(4030 - 80 + c);
        t.Y = (uint32_t)(2012 - 40 + r);
        t.Besitzer = 5;
      }
    fake.map.X = 4030;
    fake.map.Y = 2012;
    fake.map.Columns = 21;
    fake.map.Rows = 14;
    ListHeader* parts[4];
    for (ListHeader*& l : parts) l = CreateList(LIST_CULTURE_FIELDS);
    for (uint32_t i = 0; i < 100; i++) {
      const uint32_t x = 4031 + (i % 10) * 2, y = 2013 + (i / 10);
      ListHeader* l = parts[(x / 40 - 100) + 2 * (y / 20 - 100)];
      MapCultEintrag* c = ArbeiterReqAlloc(l, x, y);
      c->harvest_workers = (uint16_t)(i + 1);
    }
    for (uint32_t k = 0; k < 4; k++) {
      SaveMapCultList(parts[k], 100 + k % 2, 100 + k / 2);
      DeleteList(parts[k], 0);
    }
    KartenScreenData->map = &fake.map;
    KartenScreenData->ResourcesOverlay = 1;
  }
};

void BM_WorkerTotalsRedraw(benchmark::State& state) {
  static Fields f;
  std::vector<ArbeiterAnzahlLabel> labels;
  ForgetArbeiterAnzahl();
  auto t0 = std::chrono::steady_clock::now();
  ArbeiterAnzahlLabels(KartenScreenData, &labels);
  const double first = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
  const uint32_t reads = ArbeiterAnzahlReadsForTest();
  auto t1 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    ArbeiterAnzahlLabels(KartenScreenData, &labels);
    benchmark::DoNotOptimize(labels.data());
  }
  const double ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t1).count() / (double)state.iterations();
  state.counters["ms"] = ns / 1e6;
  state.counters["of_first"] = ns / first;
  state.counters["labels"] = (double)labels.size();
  state.counters["reads_after_first"] = (double)(ArbeiterAnzahlReadsForTest() - reads);
}
BENCHMARK(BM_WorkerTotalsRedraw);

}  // namespace
