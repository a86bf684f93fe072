// The construction screen on the headless display, driven by script over the
// demo realm of the turn builder: stepping and ordering, the site list with
// the realm's running order, the demolition dialogue, OKOK writing the
// outgoing pool (BAUE, LAND), the town file and the goods file, a second
// visit appending, EXIT and account states below 2 leaving every file as it
// was, and a write failure leaving every file as it was. Pictures of the
// screen are kept to be looked at.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/economy/bau.h"
#include "tests/support/kill_loop.h"
#include "tests/support/legibility.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/tests/install_realm.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

using Files = qoe_test::FileBytes;

// The game's own files (what the screen may write), by path.
Files GameFiles() {
  Files f;
  for (const char* dir : {"Data/POP3Out", "Data/Cities"})
    if (fs::exists(dir))
      for (const auto& e : fs::directory_iterator(dir)) f[e.path().string()] = qoe_test::ReadFileBytes(e.path().string());
  for (const char* file : {"Data/WarenChunk.qoe", "Data/BauScreenGeb.dat", "Data/Gebaeude.dat"})
    if (fs::exists(file)) f[file] = qoe_test::ReadFileBytes(file);
  return f;
}

std::string Diff(const Files& a, const Files& b) { return qoe_test::DiffFiles(a, b); }

// Puts the files back as they were (and removes new ones).
void Restore(const Files& was) {
  for (const auto& [n, bytes] : GameFiles())
    if (!was.count(n)) fs::remove(n);
  for (const auto& [n, bytes] : was) ASSERT_TRUE(qoe_test::WriteFileBytes(n, bytes));
}

// Gadget centres (Bau.txt) and the choice box's places.
constexpr int kLeft[2] = {364, 352}, kRight[2] = {552, 352}, kBuild[2] = {359, 411}, kSites[2] = {405, 411},
              kPick[2] = {451, 411}, kOk[2] = {543, 411}, kExit[2] = {589, 411};

class BauScreenRun : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Bau.dat");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_TRUE(realm_test::InstallRealmWithTurn("demo.realm"));
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->ActiveTown = 2;  // Seewacht, where the port's second level is being built
    RegisterGameDataListTypes();
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
  }
  void TearDown() override {
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
    *OwnPlayerPtr = OwnPlayer{};
  }
  std::string C(const int (&p)[2]) const { return qoe_test::ClickLine(p[0] + dx_, p[1] + dy_); }
  std::string At(int x, int y) const { return qoe_test::ClickLine(x + dx_, y + dy_); }
  std::string Png(const std::string& name) const { return name + "_" + std::to_string(GetParam()) + ".png"; }
  int32_t Run(const std::string& script) {
    static int32_t result;
    result = 99;
    const std::string timed = "timer 0 100\nwait 1500\n" + script + "wait 500\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return result = BauScreen(39), 0; }, nullptr), 0);
    return result;
  }
  // The outgoing BAUE records, host order.
  std::vector<BaustellenData> Orders() {
    std::vector<BaustellenData> v;
    LoadedChunk baue("BAUE", OutgoingPoolPath);
    if (!baue.p) return v;
    for (uint32_t i = 0; i < ChunkGet16(baue.p, 12); ++i) v.push_back(GetBaustelle(baue.p + 14 + 16 * i));
    return v;
  }
  uint32_t OutgoingTreasury() {
    LoadedChunk land("LAND", OutgoingPoolPath);
    return land.p ? ChunkGet32(land.p, 34) : 0;
  }
  // Store quantity of a goods ID in the goods file (kind 5).
  uint32_t Stock(uint32_t goods) {
    LoadedChunk ware("WARE", ".\\Data\\WarenChunk.qoe");
    ListHeader* list = CreateList(7);
    uint32_t sum = 0;
    if (ware.p && ScanWare2List(list, ware.p) == 1) {
      ListNode* n = list->first;
      for (uint32_t i = 0; i < list->count; ++i, n = n->next) {
        auto* w = reinterpret_cast<WarenListenEntry*>(n);
        if (w->kind == 5 && w->goods == goods) sum += w->quantity;
      }
    }
    DeleteList(list, 0);
    return sum;
  }
  // The cost file made once, so that a visit writes nothing by itself.
  GebaeudeKosten Costs(uint32_t row) {
    BauScreenData d{};
    d.accountState = 2;
    d.row = static_cast<int16_t>(row);
    d.confidence = 78;
    EXPECT_EQ(GetBuildingData(&d), 1);
    return d.cost;
  }
  int32_t dx_ = 0, dy_ = 0;
};

TEST_P(BauScreenRun, ShowsABuildingAndStepsThroughTheCatalogue) {
  Costs(0);
  const Files before = GameFiles();
  const std::string first = Png("bau_first"), stepped = Png("bau_stepped");
  qoe_test::LogLines log;
  EXPECT_EQ(Run("wait 300\npng " + first + "\n" + C(kRight) + C(kRight) + "wait 300\npng " + stepped + "\n" +
                C(kLeft) + C(kExit)),
            39);
  EXPECT_TRUE(log.Has("Geb\xE4udeID 0\n"));
  EXPECT_TRUE(log.Has("Geb\xE4udeID 1\n"));
  EXPECT_TRUE(log.Has("Geb\xE4udeID 2\n"));
  EXPECT_EQ(log.Count("Geb\xE4udeID 1\n"), 2);  // back again
  EXPECT_EQ(Diff(GameFiles(), before), "");  // EXIT writes nothing
  EXPECT_TRUE(qoe_test::KeepPng(first));
  EXPECT_TRUE(qoe_test::KeepPng(stepped));
}

TEST_P(BauScreenRun, OrdersArePaidAndWrittenTogether) {
  const GebaeudeKosten bank = Costs(2);
  const uint32_t treasury = 72400, wood = 900, stone = 700;
  // The bank: step twice, build (yes), then OKOK.
  EXPECT_EQ(Run(C(kRight) + C(kRight) + C(kBuild) + "wait 300\nkey enter\n" + C(kOk)), 39);
  auto orders = Orders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].building, 2);
  EXPECT_EQ(orders[0].year, 1004);
  EXPECT_EQ(orders[0].quarter, 1);
  EXPECT_EQ(orders[0].buildTime, bank.time);
  EXPECT_EQ(orders[0].price, bank.price);
  EXPECT_EQ(orders[0].upkeep, bank.upkeep);
  EXPECT_EQ(orders[0].town, 2);
  EXPECT_EQ(OutgoingTreasury(), treasury - bank.price);
  EXPECT_EQ(Stock(98), wood - bank.wood);
  EXPECT_EQ(Stock(99), stone - bank.stone);
  st_TOWN* town = GetActiveTown(2);
  ASSERT_NE(town, nullptr);
  EXPECT_EQ(town->buildings[2].flags & BUILDING_ORDERED, BUILDING_ORDERED);
  FreeVec(town);
  // A second visit reads the orders back and appends: a granary.
  const GebaeudeKosten granary = Costs(0);
  EXPECT_EQ(Run(C(kBuild) + "wait 300\nkey enter\n" + C(kOk)), 39);
  orders = Orders();
  ASSERT_EQ(orders.size(), 2u);
  EXPECT_EQ(orders[0].building, 2);
  EXPECT_EQ(orders[1].building, 0);
  EXPECT_EQ(OutgoingTreasury(), treasury - bank.price - granary.price);
  EXPECT_EQ(Stock(98), wood - bank.wood - granary.wood);
}

// A goods store that cannot be read: the screen opens, says so, refuses a
// new building (it takes wood and stone from the store) and never writes the
// store over.
TEST_P(BauScreenRun, ADamagedGoodsStoreOpensWithoutBuilding) {
  Costs(0);
  std::vector<uint8_t> bytes = qoe_test::ReadFileBytes("Data/WarenChunk.qoe");
  ASSERT_GT(bytes.size(), 20u);
  bytes.resize(bytes.size() - 9);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/WarenChunk.qoe", bytes));
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\nwait 300\n" + C(kBuild) + "wait 300\nkey enter\n" + C(kOk)), 39);
  EXPECT_TRUE(log.Has("Beschaedigte Datei gemeldet: .\\Data\\WarenChunk.qoe"));
  EXPECT_TRUE(Orders().empty());
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/WarenChunk.qoe"), bytes);
}

TEST_P(BauScreenRun, ExitAfterOrdersAndAccountStatesBelowTwoWriteNothing) {
  Costs(0);
  const Files before = GameFiles();
  EXPECT_EQ(Run(C(kBuild) + "wait 300\nkey enter\n" + C(kRight) + C(kBuild) + "wait 300\nkey enter\n" + C(kExit)), 39);
  EXPECT_EQ(Diff(GameFiles(), before), "");
  for (uint32_t state : {0u, 1u}) {
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, state);
    qoe_test::LogLines log;
    EXPECT_EQ(Run(C(kBuild) + "wait 300\nkey enter\n" + C(kOk)), 39);
    EXPECT_EQ(Diff(GameFiles(), before), "") << state;
    EXPECT_FALSE(log.Has("Anzahl der Baustellen"));
  }
  // Nothing at all: no cost file either.
  fs::remove("Data/BauScreenGeb.dat");
  EXPECT_EQ(Run(C(kOk)), 39);
  EXPECT_FALSE(fs::exists("Data/BauScreenGeb.dat"));
}

TEST_P(BauScreenRun, AFailedWriteLeavesEveryFileAsItWas) {
  Costs(0);
  const Files before = GameFiles();
  // The bank: the town file changes too (its order mark).
  const std::string order = C(kRight) + C(kRight) + C(kBuild) + "wait 300\nkey enter\n" + C(kOk);
  // Once written, to learn the sizes the set writes: the pool, the town, the goods.
  EXPECT_EQ(Run(order), 39);
  const int64_t pool = static_cast<int64_t>(fs::file_size("Data/POP3Out/GameChunk.qoe"));
  const int64_t goods = static_cast<int64_t>(fs::file_size("Data/WarenChunk.qoe"));
  ASSERT_NE(Diff(GameFiles(), before), "");
  Restore(before);
  qoe_test::LogLines log;
  for (int64_t budget : {int64_t{0}, pool / 2, pool + 10, pool + 14220 + goods / 2}) {
    SCOPED_TRACE(budget);
    FileFailWritesAfter(budget);
    // The message of the failure is confirmed with Enter.
    EXPECT_EQ(Run(order + "wait 300\nkey enter\n"), 39);
    FileFailWritesAfter(-1);
    EXPECT_EQ(Diff(GameFiles(), before), "");
  }
  EXPECT_EQ(log.Count("WriteBauScreenData : Konnte Stadtfile nicht abspeichern"), 4);
}

// The leaving write of one order (the bank), as OKOK does it: 0 when written.
int WriteOneOrder() {
  SetBauMessageHook([](uint32_t, uint32_t) { return 0; });
  auto* d = static_cast<BauScreenData*>(AllocVec(sizeof(BauScreenData), MEMF_CLEAR));
  int32_t ok = ReadBauScreenData(d);
  d->town = GetActiveTown(2);
  d->building = 2;
  d->row = 2;
  ok = ok && d->town && GetBuildingData(d) && InitBaustellenData(d) && d->newCount == 1 && WriteBauScreenData(d);
  FreeBauScreenData(d);
  SetBauMessageHook(nullptr);
  return ok ? 0 : 1;
}

TEST_P(BauScreenRun, AWriteKilledAtAnyMomentLeavesTheOldOrTheNewFiles) {
  if (GetParam() != 0) GTEST_SKIP() << "one display mode is enough";
  Costs(2);
  qoe_test::ExpectOldOrNewAfterKills(WriteOneOrder, GameFiles, Restore, 60, 5);
}

TEST_P(BauScreenRun, TheSiteListShowsTheRunningPortOrder) {
  Costs(0);
  const std::string png = Png("bau_sites");
  EXPECT_EQ(Run(C(kSites) + "wait 300\npng " + png + "\nkey esc\n" + C(kExit)), 39);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  // The text itself.
  BauScreenData d{};
  d.town = GetActiveTown(2);
  d.year = 1004;
  d.quarter = 1;
  d.oldCount = 1;
  BaustellenData port{92, 1004, 0, 3, 6000, 40, 2};
  d.oldOrders = &port;
  char* t = BauSiteListText(&d);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(std::string(t).find("1 port\nBuilding time left : 6 month, finished in winter in the year 1004..."),
            std::string::npos)
      << t;
  FreeVec(t);
  FreeVec(d.town);
}

TEST_P(BauScreenRun, DemolitionDialogue) {
  Costs(0);
  // Seewacht: the town hall (55) and the port (51); the port's line is being
  // built, the town hall is needed by nothing. The choice: line 2 is the
  // highest ID first: the town hall.
  const std::string line2 = At(336 + 60, 220 + 28 + 2 * 12 + 2), ok = At(336 + 44, 220 + 240);
  const std::string png = Png("bau_demolition");
  EXPECT_EQ(Run(C(kPick) + "wait 300\npng " + png + "\n" + line2 + ok + "wait 300\n" + C(kOk)), 39);
  auto orders = Orders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].buildTime, kTearDown);
  EXPECT_EQ(orders[0].town, 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  // The same record is not offered again in the next visit: the offer then
  // holds only the two count lines and the port.
  qoe_test::LogLines log;
  EXPECT_EQ(Run(C(kPick) + "wait 300\nkey esc\n" + C(kExit)), 39);
  EXPECT_TRUE(log.Has("Daten zur Abreissen des Geb\xE4udes existieren bereits"));
}

TEST_P(BauScreenRun, GranariesAreDemolishedByCount) {
  Costs(0);
  OwnPlayerPtr->ActiveTown = 1;  // Elmor, with one granary nothing needs
  const std::string line0 = At(336 + 60, 220 + 28 + 2), ok = At(336 + 44, 220 + 240);
  const std::string choose = C(kPick) + "wait 300\n" + line0 + ok + "wait 300\n";
  // 0 orders nothing; the cancelled box neither.
  EXPECT_EQ(Run(choose + "text \"0\"\nkey enter\n" + choose + "key esc\n" + C(kOk)), 39);
  EXPECT_TRUE(Orders().empty());
  // More than offered orders what is offered: the one granary.
  EXPECT_EQ(Run(choose + "text \"25\"\nkey enter\n" + C(kOk)), 39);
  auto orders = Orders();
  ASSERT_EQ(orders.size(), 1u);
  EXPECT_EQ(orders[0].building, 0);
  EXPECT_EQ(orders[0].buildTime, kTearDown);
  EXPECT_EQ(orders[0].town, 1);
  EXPECT_EQ(orders[0].year, 1000);
  EXPECT_EQ(orders[0].quarter, 3);
}

// The count box of the granaries' line: its prompt lies wholly inside the
// box (the screen round the box is as it was after the box closed) and
// reads on the box's ground at a contrast of at least 3 : 1.
TEST_P(BauScreenRun, DemolitionCountPromptStaysInsideItsBox) {
  Costs(0);
  OwnPlayerPtr->ActiveTown = 1;
  const std::string line0 = At(336 + 60, 220 + 28 + 2), ok = At(336 + 44, 220 + 240);
  const std::string shown = Png("bau_demolition_count"), after = Png("bau_demolition_after");
  EXPECT_EQ(Run(C(kPick) + "wait 300\n" + line0 + ok + "wait 300\npng " + shown + "\nkey esc\nwait 300\npng " + after +
                "\n" + C(kOk)),
            39);
  EXPECT_TRUE(qoe_test::KeepPng(shown));
  std::vector<uint32_t> a, b;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(shown.c_str(), &a, &w, &h), 1);
  ASSERT_EQ(ReadPngRGB(after.c_str(), &b, &w, &h), 1);
  // The box: 304 x 119 at (168, 180) of the game area. The prompt's lines
  // above the entry field read on the box's ground.
  const int bx = 168 + dx_, by = 180 + dy_, bw = 304, bh = 119;
  const qoe_test::TextInk t = qoe_test::TextContrast(a, w, bx + 8, by + 6, bx + bw - 9, by + 38);
  EXPECT_GE(t.contrast, 3.0) << std::hex << t.ink << " on " << t.ground;
  // No pixel of the prompt's ink outside the box that was not there after
  // it closed (the building's movie runs on beside the box).
  int outside = 0, inside = 0;
  for (int y = 0; y < (int)h; y++)
    for (int x = 0; x < (int)w; x++) {
      const bool in = x >= bx && x < bx + bw && y >= by && y < by + bh;
      const size_t i = (size_t)y * w + x;
      if (a[i] == b[i]) continue;
      if (in) inside++;
      else if (a[i] == t.ink) outside++;
    }
  EXPECT_GT(inside, 1000);
  EXPECT_EQ(outside, 0) << "the prompt's pixels outside the box";
}

INSTANTIATE_TEST_SUITE_P(Modes, BauScreenRun, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });

}  // namespace
