// The market's offers of other players: rebuilding and drawing requester 2
// for 5,000 offers (modes 1 to 4 and the own-drawn columns of every line,
// then each visible line's node found by GetWarenNode; the requester shows
// the first 1,365 of the 4,500 offers, all its content can hold), against one plain
// walk of the goods list as the baseline in the same run.
// Goal: the rebuild under 20 ms.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <string>

#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/system/fonts.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "screens/economy/handel.h"
#include "tests/support/bench_folder.h"

namespace {

constexpr uint32_t kOffers = 5000;

// The kit of this build, <build>/datakit (fonts, Data, Gfx), found from
// the program's own path.
std::string KitFolder() {
  char exe[PATH_MAX] = {0};
  if (readlink("/proc/self/exe", exe, sizeof exe - 1) <= 0) return "";
  std::string dir = exe;
  while (!dir.empty()) {
    dir = dir.substr(0, dir.find_last_of('/'));
    if (access((dir + "/datakit/fonts").c_str(), R_OK) == 0) return dir + "/datakit";
  }
  return "";
}

struct BenchMarket {
  HandelsData* d = nullptr;
  bool ok = false;
};

BenchMarket& Market() {
  static BenchMarket b;
  static bool done = false;
  if (done) return b;
  done = true;
  DebugLogSetStderr(0);
  const std::string kit = KitFolder();
  if (kit.empty()) return b;
  const std::string folder = qoe_bench::BenchFolder("/tmp", "qoe_market_");
  if (folder.empty() || chdir(folder.c_str()) != 0) return b;
  for (const char* d : {"fonts", "Data", "Gfx"})
    if (symlink((kit + "/" + d).c_str(), d) != 0) return b;
  if (HeadlessOpenDisplay(0) != 1 || OpenElmorPic(".\\Data\\Path", 221, 0) != 0) return b;
  WaitTransition();
  RegisterGameDataListTypes();
  b.d = NewHandelsData();
  if (!b.d) return b;
  b.d->font11 = OpenDiskFont("fonts\\XHelvetica11.fnt");
  b.d->font9 = OpenDiskFont("fonts\\XHelvetica9.fnt");
  b.d->warenListe = CreateList(LIST_GOODS);
  b.d->spielerListe = CreateList(LIST_PLAYERS);
  if (!b.d->font11 || !b.d->font9 || !b.d->warenListe || !b.d->spielerListe) return b;
  for (uint32_t p = 1; p <= 50; ++p) {
    auto* s = static_cast<SpielerEintrag*>(AllocVec(b.d->spielerListe->node_size, MEMF_CLEAR));
    s->id = p;
    std::snprintf(s->name, sizeof s->name, "Lord %u of the March", p);
    AddNode(b.d->spielerListe, &s->head, LN_TAIL, 0);
  }
  for (uint32_t i = 0; i < kOffers; ++i) {
    auto* n = static_cast<WarenListenEntry*>(AllocVec(b.d->warenListe->node_size, MEMF_CLEAR));
    n->kind = i % 10 == 0 ? WARE_LAGER : WARE_FREMD;
    n->owner = 1 + i % 50;
    n->goods = 7 + i % 100;
    n->quantity = 10 + i;
    n->price = 3 + i % 97;
    if (i % 7 == 0) n->bid_quantity = n->bid_price = 5;
    AddNode(b.d->warenListe, &n->head, LN_TAIL, 0);
  }
  b.ok = true;
  return b;
}

void BM_Requester2Rebuild(benchmark::State& state) {
  BenchMarket& b = Market();
  if (!b.ok) {
    state.SkipWithError("no display or fonts");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(CheckVerkaufsRequester(b.d));
    QoERequester* req = b.d->req[HANDEL_FREMD];
    const uint32_t visible = req ? req->height / req->lineHeight + 1 : 0;
    for (uint32_t i = 0; i < visible; ++i) benchmark::DoNotOptimize(GetWarenNode(b.d, req->topLine + i, WARE_FREMD));
  }
  QoERequester* req = b.d->req[HANDEL_FREMD];
  if (!req || req->lines == 0) state.SkipWithError("requester 2 was not built");
}
BENCHMARK(BM_Requester2Rebuild)->Unit(benchmark::kMillisecond);

// Baseline: one walk over the 5,000 nodes reading each one's quantity.
void BM_PlainListWalk(benchmark::State& state) {
  BenchMarket& b = Market();
  if (!b.ok) {
    state.SkipWithError("no display or fonts");
    return;
  }
  for (auto _ : state) {
    uint64_t sum = 0;
    ListNode* n = b.d->warenListe->first;
    for (uint32_t i = 0; i < b.d->warenListe->count; ++i, n = n->next)
      sum += reinterpret_cast<WarenListenEntry*>(n)->quantity;
    benchmark::DoNotOptimize(sum);
  }
}
BENCHMARK(BM_PlainListWalk)->Unit(benchmark::kMillisecond);

}  // namespace

