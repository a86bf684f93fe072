// The harbour: the rules of its tables (launch classes, repair costs, the
// wreck's price and wood), and the screen on the headless display over the
// demo realm of the turn builder (Seewacht with a small trade ship in port
// and two medium ones in the warehouse): leaving writes SHIP and LAND,
// launching and wrecking written together with MapPrefs and the goods file
// on OK and dropped by EXIT, repair orders, the Ctrl workaround, the map's
// bracket on deep displays, account states below 2, failed writes and a
// write killed at any moment leaving the old or the new files. Pictures of
// the harbour and both requesters are kept to be looked at.
#include "screens/economy/hafen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/kill_loop.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/tests/install_realm.h"

namespace fs = std::filesystem;

namespace {

// ---- the rules -------------------------------------------------------------------

std::vector<uint8_t> Fors(int8_t battle, int8_t technics) {
  std::vector<uint8_t> f(28, 0);
  f[17] = (uint8_t)battle;
  f[20] = (uint8_t)technics;
  ChunkPut32(f.data(), 8, 16);
  return f;
}

TEST(HarbourRules, TheLaunchClassOfEachTypeAndResearchLevel) {
  const auto f = Fors(3, 4);
  const uint16_t expected[6] = {9, 14, 19, 13, 23, 33};
  for (uint16_t t = 14; t <= 19; ++t) EXPECT_EQ(ShipLaunchClass(t, f.data()), expected[t - 14]) << t;
  // Levels outside 0..7 count as the nearest bound; without FORS level 0.
  const auto low = Fors(-3, -1), high = Fors(9, 100);
  EXPECT_EQ(ShipLaunchClass(14, low.data()), 5);
  EXPECT_EQ(ShipLaunchClass(19, low.data()), 30);
  EXPECT_EQ(ShipLaunchClass(16, high.data()), 22);
  EXPECT_EQ(ShipLaunchClass(18, high.data()), 27);
  EXPECT_EQ(ShipLaunchClass(15, nullptr), 10);
  EXPECT_EQ(ShipLaunchClass(17, nullptr), 10);
  EXPECT_EQ(ShipLaunchClass(13, f.data()), 0);
  EXPECT_EQ(ShipLaunchClass(20, f.data()), 0);
}

TEST(HarbourRules, RepairCostsTypesNamesAndTheWrecksPrice) {
  const uint32_t cost[6] = {2000, 4000, 6000, 2500, 5000, 7500};
  for (uint16_t t = 14; t <= 19; ++t) {
    EXPECT_EQ(ShipRepairCost(t), cost[t - 14]);
    EXPECT_EQ(HafenSchiffsName(t), 867u + t - 14);
    EXPECT_EQ(HafenSchiffsTyp(50 + t - 14), t);
  }
  EXPECT_EQ(ShipRepairCost(12), 0u);
  EXPECT_EQ(HafenSchiffsTyp(49), 0);
  EXPECT_EQ(HafenSchiffsTyp(56), 0);
  EXPECT_EQ(HafenSchiffsName(0), 0u);
  EXPECT_EQ(WreckCost(12, 10000), 10000u);  // 30,000 capped by the treasury
  EXPECT_EQ(WreckCost(7, 72400), 17500u);
  EXPECT_EQ(WreckCost(0xFFFF, 0xFFFFFFFFu), 0xFFFFu * 2500u);  // 64 bits: no wrap
}

// ---- the screen on the demo realm ---------------------------------------------------

using Files = qoe_test::FileBytes;

constexpr uint32_t kTownX = 6386, kTownY = 3192, kOwn = 1001;

// The files the harbour may write, by path.
Files GameFiles() {
  Files f;
  for (const char* file : {"Data/POP3Out/GameChunk.qoe", "Data/WarenChunk.qoe", "Data/MapPrefs.qoe", "Data/ShipAddOn.dat"})
    if (fs::exists(file)) f[file] = qoe_test::ReadFileBytes(file);
  return f;
}

void Restore(const Files& was) {
  for (const auto& [n, bytes] : GameFiles())
    if (!was.count(n)) fs::remove(n);
  for (const auto& [n, bytes] : was) ASSERT_TRUE(qoe_test::WriteFileBytes(n, bytes));
}

// The figures of MapPrefs and the ships of a pool, host order.
std::vector<FigurRecord> Figures() {
  std::vector<FigurRecord> v;
  LoadedChunk move("MOVE", MapPrefsPath);
  if (!move.p) return v;
  for (uint32_t i = 0; i < ChunkGet16(move.p, 12); ++i) v.push_back(GetFigurRecord(move.p + 14 + 18 * i));
  return v;
}
const FigurRecord* Figure(const std::vector<FigurRecord>& v, uint16_t number) {
  for (const auto& f : v)
    if (f.owner == kOwn && f.number == number) return &f;
  return nullptr;
}
std::vector<Schiffseintrag> Ships(const char* pool) {
  std::vector<Schiffseintrag> v;
  LoadedChunk ship("SHIP", pool);
  ListHeader* list = CreateList(LIST_SHIPS);
  if (ship.p && ScanShip2List(list, ship.p)) {
    ListNode* n = list->first;
    for (uint32_t i = 0; i < list->count; ++i, n = n->next) v.push_back(*reinterpret_cast<Schiffseintrag*>(n));
  }
  DeleteList(list, 0);
  return v;
}
const Schiffseintrag* Ship(const std::vector<Schiffseintrag>& v, uint16_t id) {
  for (const auto& s : v)
    if (s.ship_id == id) return &s;
  return nullptr;
}
uint32_t Stock(uint32_t goods) {
  LoadedChunk ware("WARE", ".\\Data\\WarenChunk.qoe");
  ListHeader* list = CreateList(LIST_GOODS);
  uint32_t sum = 0;
  if (ware.p && ScanWare2List(list, ware.p) == 1)
    for (uint32_t i = 0; WarenListenEntry* w = FindWarenNode(list, i, WARE_LAGER); ++i) sum += w->goods == goods ? w->quantity : 0;
  DeleteList(list, 0);
  return sum;
}
uint32_t Treasury(const char* pool) {
  LoadedChunk land("LAND", pool);
  return land.p ? ChunkGet32(land.p, 34) : 0xDEADu;
}
std::vector<uint8_t> ChunkBytes(const char* id, const char* pool) {
  LoadedChunk c(id, pool);
  if (!c.p) return {};
  return std::vector<uint8_t>(c.p, c.p + 12 + ChunkLength(c.p));
}

// Gadgets of Hafen.txt and of the two requesters.
constexpr int kKont[2] = {465, 190}, kSchi[2] = {110, 375}, kRepa[2] = {310, 375}, kMap[2] = {520, 342},
              kStad[2] = {520, 432};
constexpr int kWerftLine0[2] = {190, 147}, kAnkerLine0[2] = {430, 147}, kWerftOk[2] = {180, 365},
              kWerftExit[2] = {460, 365};
constexpr int kRepLine0[2] = {190, 147}, kRepPlus[2] = {531, 240}, kRepMinus[2] = {428, 240}, kRepHelp[2] = {160, 365},
              kRepOk[2] = {320, 365};

int g_saves = 0, g_setups = 0;

class HarbourRun : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/HafenSchiffeReq.dat");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_TRUE(realm_test::InstallRealmWithTurn("demo.realm"));
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->PlayerId = kOwn;
    OwnPlayerPtr->ActiveTown = 2;  // Seewacht, the port
    SetGameDataOwner(kOwn, "Harald");
    RegisterGameDataListTypes();
    g_saves = g_setups = 0;
    ShellHooks hooks{};
    hooks.KartenScreenSaveData = [] { return ++g_saves, 1; };
    hooks.KartenScreenNewSetup = [] { return ++g_setups, 1; };
    SetShellHooks(&hooks);
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
  }
  void TearDown() override {
    FileFailWritesAfter(-1);
    SetShellHooks(nullptr);
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
    SetGameDataOwner(0, nullptr);
    *OwnPlayerPtr = OwnPlayer{};
  }
  std::string C(const int (&p)[2]) const { return qoe_test::ClickLine(p[0] + dx_, p[1] + dy_); }
  std::string Png(const std::string& name) const { return name + "_" + std::to_string(GetParam()) + ".png"; }
  // The same on a game thread whose stack already holds a pattern, as one
  // that ran other screens before does: a record the screen leaves
  // uninitialised then holds junk, not the zeros of a fresh thread.
  int32_t RunOnDirtyStack(const std::string& script) {
    static int32_t result;
    result = 99;
    const std::string timed = "timer 0 100\nwait 1500\n" + script + "wait 500\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return qoe_test::DirtyStack(), result = HafenScreen(39), 0; }, nullptr), 0);
    return result;
  }
  int32_t Run(const std::string& script) {
    static int32_t result;
    result = 99;
    const std::string timed = "timer 0 100\nwait 1500\n" + script + "wait 500\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return result = HafenScreen(39), 0; }, nullptr), 0);
    return result;
  }
  // The shipyard opened, the script inside it, then its button.
  std::string Werft(const std::string& inside, const int (&button)[2]) {
    return C(kSchi) + "wait 300\n" + inside + C(button) + "wait 300\n";
  }
  static std::string Yes() { return "wait 300\nkey enter\n"; }
  int32_t dx_ = 0, dy_ = 0;
};

TEST_P(HarbourRun, LeavingWithoutActionWritesShipAndLandAndShowsTheShipInPort) {
  const std::string png = Png("harbour");
  qoe_test::LogLines log;
  EXPECT_EQ(Run("wait 300\npng " + png + "\n" + C(kStad)), 39);
  qoe_test::KeepPng(png);
  EXPECT_TRUE(log.Has("Aktive Stadt  X: 6386 Y: 3192"));
  EXPECT_EQ(ChunkBytes("SHIP", OutgoingPoolPath), ChunkBytes("SHIP", ReceivedPoolPath));
  EXPECT_EQ(ChunkBytes("LAND", OutgoingPoolPath), ChunkBytes("LAND", ReceivedPoolPath));
  EXPECT_EQ(Treasury(OutgoingPoolPath), 72400u);
  EXPECT_EQ(g_saves + g_setups, 0);
}

// MapPrefs with the ships 33 and 34 moved off the town and a foreign ship figure on the
// town's hex, or with no figure left there.
void MoveShip33Away(bool foreign_in_port) {
  LoadedChunk move("MOVE", MapPrefsPath);
  ListHeader* list = CreateList(LIST_FIGURES);
  ASSERT_TRUE(ScanFigur2List(list, move.p));
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count; ++i, n = n->next) {
    FigurRecord& f = reinterpret_cast<MOVE_EXT*>(n)->figure;
    if ((f.owner == kOwn && (f.number == 33 || f.number == 34)) || (!foreign_in_port && f.x == kTownX && f.y == kTownY)) f.x = kTownX - 6;
  }
  if (foreign_in_port) {
    auto* m = reinterpret_cast<MOVE_EXT*>(AllocListNode(list));
    m->figure = FigurRecord{2003, 17, 9, kTownX, kTownY, 0, 4};
    AddNode(list, &m->head, LN_TAIL, 0);
  }
  ASSERT_EQ(SaveFigurList2MapPrefs(list), 1);
  DeleteList(list, 0);
}

TEST_P(HarbourRun, AForeignShipInPortDrawsTheShipButIsNotListed) {
  const std::string png = Png("port_foreign");
  MoveShip33Away(true);
  qoe_test::LogLines log;
  EXPECT_EQ(Run("wait 300\npng " + png + "\n" + Werft("", kWerftExit) + C(kStad)), 39);
  qoe_test::KeepPng(png);
  EXPECT_TRUE(log.Has("Ein Schiff liegt im Hafen"));
  EXPECT_TRUE(log.Has("Es liegen 0 Schiffe im Hafen"));
  // Without any ship on the town's hex no ship is drawn.
  MoveShip33Away(false);
  qoe_test::LogLines empty;
  EXPECT_EQ(Run(C(kStad)), 39);
  EXPECT_FALSE(empty.Has("Ein Schiff liegt im Hafen"));
}

TEST_P(HarbourRun, TheMapAndTheHarbourMastersNotice) {
  EXPECT_EQ(Run(C(kMap)), 3);
  const std::string png = Png("harbour_notice");
  EXPECT_EQ(Run(C(kKont) + "wait 300\npng " + png + "\nkey enter\n" + C(kStad)), 39);
  qoe_test::KeepPng(png);
}

TEST_P(HarbourRun, ConfirmingALaunchPlacesTheFigureAddsItsRecordAndSavesTheGoods) {
  const auto before = Figures();
  const std::string png = Png("shipyard");
  EXPECT_EQ(Run(Werft(C(kWerftLine0) + "wait 300\npng " + png + "\n", kWerftOk) + C(kStad)), 39);
  qoe_test::KeepPng(png);
  const auto figures = Figures();
  ASSERT_EQ(figures.size(), before.size() + 1);
  // The lowest number no figure used: 1, 2 are scouts, 3 is free.
  const FigurRecord* f = Figure(figures, 3);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->type, 15);
  EXPECT_EQ(f->x, kTownX);
  EXPECT_EQ(f->y, kTownY);
  EXPECT_EQ(f->state, 0);
  EXPECT_EQ(f->points, 0);
  const auto ships = Ships(OutgoingPoolPath);
  const Schiffseintrag* s = Ship(ships, 3);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ship_class, 14);  // medium trade ship: 10 + technics 4
  EXPECT_EQ(s->damage, 0);
  EXPECT_EQ(s->x, kTownX);
  EXPECT_EQ(s->y, kTownY);
  EXPECT_EQ(ships.size(), Ships(ReceivedPoolPath).size() + 1);
  EXPECT_EQ(Stock(51), 1u);
  EXPECT_EQ(g_saves, GetParam() == 0 ? 0 : 1);
  EXPECT_EQ(g_setups, GetParam() == 0 ? 0 : 1);
}

// The ambient sounds the harbour asked for: water, gulls, ropes, the
// market's cries.
std::vector<uint32_t> g_ambient;
bool HarbourAmbient(uint32_t id) { return (id >= 107 && id <= 112) || (id >= 40 && id <= 44) || (id >= 18 && id <= 23); }

// Thirty seconds of the game's clock after a launch (300 ticks: the ambient
// counter fires at 100 and after that every 10 to 50): the harbour stays,
// its sounds play, and the launch is kept when the player leaves.
TEST_P(HarbourRun, StaysOpenThirtySecondsAndKeepsTheLaunch) {
  const auto before = Figures();
  g_ambient.clear();
  SetSfxRecordHook([](uint32_t call, uint32_t id) {
    if (call == SFX_CALL_PLAY && HarbourAmbient(id)) g_ambient.push_back(id);
  });
  const int32_t next = RunOnDirtyStack(Werft(C(kWerftLine0), kWerftOk) + "wait 30000\n" + C(kStad));
  SetSfxRecordHook(nullptr);
  EXPECT_EQ(next, 39);
  EXPECT_GE(g_ambient.size(), 5u);
  const auto figures = Figures();
  EXPECT_EQ(figures.size(), before.size() + 1);
  EXPECT_NE(Figure(figures, 3), nullptr);
}

TEST_P(HarbourRun, LaunchingTheLastShipOfARecordRemovesItAndShowsNone) {
  // The first click on line 0 acts at once; after it a line needs two clicks.
  const std::string png = Png("shipyard_none");
  const std::string inside = C(kWerftLine0) + C(kWerftLine0) + C(kWerftLine0) + "wait 300\npng " + png + "\n";
  EXPECT_EQ(Run(Werft(inside, kWerftOk) + C(kStad)), 39);
  qoe_test::KeepPng(png);
  EXPECT_EQ(Stock(51), 0u);
  const auto figures = Figures();
  ASSERT_NE(Figure(figures, 3), nullptr);
  ASSERT_NE(Figure(figures, 4), nullptr);
  EXPECT_NE(Ship(Ships(OutgoingPoolPath), 4), nullptr);
}

TEST_P(HarbourRun, ExitOfTheShipyardDropsLaunchesAndWreckMarks) {
  const Files before = GameFiles();
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Werft(C(kWerftLine0) + C(kAnkerLine0) + Yes(), kWerftExit) + C(kStad)), 39);
  EXPECT_TRUE(log.Has("ChangeRequesterBuffer: durch 1"));
  EXPECT_TRUE(log.Has("ID des Schiffes 33"));
  const Files after = GameFiles();
  EXPECT_EQ(after.at("Data/MapPrefs.qoe"), before.at("Data/MapPrefs.qoe"));
  EXPECT_EQ(after.at("Data/WarenChunk.qoe"), before.at("Data/WarenChunk.qoe"));
  // The leaving write: the ship list as received, ship 33 not marked.
  EXPECT_EQ(ChunkBytes("SHIP", OutgoingPoolPath), ChunkBytes("SHIP", ReceivedPoolPath));
  EXPECT_EQ(Ship(Ships(OutgoingPoolPath), 33)->damage, 3);
}

TEST_P(HarbourRun, AConfirmedWreckCostsGoldAndGivesWood) {
  EXPECT_EQ(Run(Werft(C(kAnkerLine0) + Yes(), kWerftOk) + C(kStad)), 39);
  EXPECT_EQ(Figure(Figures(), 33), nullptr);
  EXPECT_EQ(Ship(Ships(OutgoingPoolPath), 33), nullptr);
  EXPECT_NE(Ship(Ships(OutgoingPoolPath), 31), nullptr);  // off the town: kept
  EXPECT_EQ(Treasury(OutgoingPoolPath), 72400u - 7u * 2500u);
  EXPECT_EQ(Stock(98), 900u + 35u);
}

// After the wreck the port still holds a ship to repair: the damaged war
// ship 34 takes a repair order.
TEST_P(HarbourRun, AfterAWreckTheOtherShipInPortIsRepaired) {
  EXPECT_EQ(Run(Werft(C(kAnkerLine0) + Yes(), kWerftOk) + C(kStad)), 39);
  ASSERT_EQ(Figure(Figures(), 33), nullptr);
  EXPECT_EQ(Run(C(kRepa) + "wait 300\n" + C(kRepLine0) + C(kRepPlus) + C(kRepOk) + "wait 300\n" + C(kStad)), 39);
  const auto bytes = qoe_test::ReadFileBytes("Data/ShipAddOn.dat");
  ASSERT_EQ(bytes.size(), 96u);
  EXPECT_EQ(bytes[81], 34);
  EXPECT_EQ(bytes[83], 1);
  const auto figures = Figures();
  const FigurRecord* f = Figure(figures, 34);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->state, 16);
}

TEST_P(HarbourRun, AnsweringNoToTheWreckKeepsTheShip) {
  EXPECT_EQ(Run(Werft(C(kAnkerLine0) + "wait 300\nkey esc\n", kWerftOk) + C(kStad)), 39);
  EXPECT_NE(Figure(Figures(), 33), nullptr);
  EXPECT_EQ(Ship(Ships(OutgoingPoolPath), 33)->damage, 3);
  EXPECT_EQ(Treasury(OutgoingPoolPath), 72400u);
}

TEST_P(HarbourRun, ARepairOrderWritesTheAddOnAndTheFiguresState) {
  const std::string png = Png("repairyard");
  const std::string script = C(kRepa) + "wait 300\n" + C(kRepLine0) + C(kRepPlus) + C(kRepPlus) + C(kRepPlus) +
                             C(kRepPlus) + C(kRepMinus) + "wait 300\npng " + png + "\n" + C(kRepOk) + "wait 300\n" +
                             C(kStad);
  EXPECT_EQ(Run(script), 39);
  qoe_test::KeepPng(png);
  // Four up (capped at the damage 3), one down: 2 points.
  const auto bytes = qoe_test::ReadFileBytes("Data/ShipAddOn.dat");
  ASSERT_EQ(bytes.size(), 96u);
  for (size_t i = 0; i < 80; ++i) ASSERT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(bytes[80], 0);
  EXPECT_EQ(bytes[81], 33);
  EXPECT_EQ(bytes[82], 0);
  EXPECT_EQ(bytes[83], 2);
  for (size_t i = 84; i < 96; ++i) EXPECT_EQ(bytes[i], 0) << i;
  const auto figures = Figures();
  const FigurRecord* f = Figure(figures, 33);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->state, 16);
  EXPECT_EQ(f->points, 0);
  EXPECT_EQ(Treasury(OutgoingPoolPath), 72400u);  // the treasury does not change here
  EXPECT_EQ(g_saves, GetParam() == 0 ? 0 : 1);
  // A ship under repair cannot be wrecked.
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Werft(C(kAnkerLine0) + "wait 300\nkey enter\n", kWerftOk) + C(kStad)), 39);
  EXPECT_NE(Figure(Figures(), 33), nullptr);
  EXPECT_FALSE(log.Has("ID des Schiffes 33"));
}

TEST_P(HarbourRun, OkOfTheRepairYardWithoutALineOrdersNothingAndItsHelpOpens) {
  const Files before = GameFiles();
  const std::string png = Png("repair_help");
  EXPECT_EQ(Run(C(kRepa) + "wait 300\n" + C(kRepHelp) + "wait 300\npng " + png + "\nkey esc\nwait 300\n" + C(kRepOk) +
                C(kStad)),
            39);
  qoe_test::KeepPng(png);
  EXPECT_FALSE(fs::exists("Data/ShipAddOn.dat"));
  EXPECT_EQ(GameFiles().at("Data/MapPrefs.qoe"), before.at("Data/MapPrefs.qoe"));
}

TEST_P(HarbourRun, AnAmountOfZeroStillMarksTheShipAsUnderRepair) {
  EXPECT_EQ(Run(C(kRepa) + "wait 300\n" + C(kRepLine0) + C(kRepOk) + "wait 300\n" + C(kStad)), 39);
  EXPECT_EQ(Figure(Figures(), 33)->state, 16);
  const auto bytes = qoe_test::ReadFileBytes("Data/ShipAddOn.dat");
  ASSERT_EQ(bytes.size(), 96u);
  EXPECT_EQ(bytes[81], 33);
  EXPECT_EQ(bytes[83], 0);
}

TEST_P(HarbourRun, TheCtrlWorkaroundRemovesThePortsShipsWithTheirRecords) {
  EXPECT_EQ(Run(Werft("keydown ctrl\n", kWerftOk) + "wait 300\nkey enter\nkeyup ctrl\n" + C(kStad)), 39);
  EXPECT_EQ(Figure(Figures(), 33), nullptr);
  EXPECT_EQ(Ship(Ships(OutgoingPoolPath), 33), nullptr);
  EXPECT_NE(Ship(Ships(OutgoingPoolPath), 31), nullptr);
  EXPECT_EQ(Treasury(OutgoingPoolPath), 72400u);  // no wreck: nothing paid
}

TEST_P(HarbourRun, TheCtrlWorkaroundIsRefusedWhileAShipInPortCarriesAFigure) {
  // Ship 33 takes the garrison aboard.
  LoadedChunk ship("SHIP", ReceivedPoolPath);
  ListHeader* list = CreateList(LIST_SHIPS);
  ASSERT_TRUE(ScanShip2List(list, ship.p));
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count; ++i, n = n->next) {
    auto* s = reinterpret_cast<Schiffseintrag*>(n);
    if (s->ship_id == 33) s->cargo[0] = FigurRecord{kOwn, 1, 21, kTownX, kTownY, 7, 0};
  }
  uint8_t* changed = MakeShipChunkFromList(list);
  for (const char* pool : {ReceivedPoolPath, OutgoingPoolPath}) ASSERT_EQ(AddChunkPool(changed, pool), 1);
  FreeChunk(changed);
  DeleteList(list, 0);
  qoe_test::LogLines log;
  // The question (yes), then the notice that the ship must be unloaded.
  EXPECT_EQ(Run(Werft("keydown ctrl\n", kWerftOk) + "wait 300\nkey enter\nkeyup ctrl\nwait 300\nkey enter\n" + C(kStad)), 39);
  EXPECT_NE(Figure(Figures(), 33), nullptr);
  EXPECT_NE(Ship(Ships(OutgoingPoolPath), 33), nullptr);
}

TEST_P(HarbourRun, WithoutAnInstalledGameNothingIsReadOrWritten) {
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  const Files before = GameFiles();
  EXPECT_EQ(Run(Werft(C(kWerftLine0) + C(kAnkerLine0), kWerftOk) + C(kRepa) + "wait 300\n" + C(kRepLine0) +
                C(kRepOk) + "wait 300\n" + C(kStad)),
            39);
  EXPECT_EQ(qoe_test::DiffFiles(GameFiles(), before), "");
}

TEST_P(HarbourRun, WithoutAShipChunkAnywhereNoneIsWritten) {
  // The set-up put the received ships into the outgoing pool as well.
  for (const char* pool : {ReceivedPoolPath, OutgoingPoolPath}) ASSERT_EQ(RemChunkPool("SHIP", pool), 1);
  EXPECT_EQ(Run(C(kStad)), 39);
  EXPECT_TRUE(ChunkBytes("SHIP", OutgoingPoolPath).empty());
  EXPECT_EQ(Treasury(OutgoingPoolPath), 72400u);
}

// A figure file that cannot be used (cut to 150 bytes, a count three past
// its end with every record whole, missing, a folder in its place) is told
// as the harbour opens, naming the file and what is wrong with it; the
// harbour works without its ships: no ship picture, the shipyard and the
// repair yard refused with a word, nothing written in the file's place, and
// what was read written back unchanged.
TEST_P(HarbourRun, AFigureFileThatCannotBeUsedIsToldAndTheHarbourOpensWithoutItsShips) {
  const auto good = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  ASSERT_GT(good.size(), 200u);
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    const auto prefs = qoe_test::LayFigureFile(c, good);
    const std::string told = Png(std::string("harbour_figures_") + (qoe_test::FigureFileGone(c) ? "missing" : "damaged")),
                      refused = Png("harbour_shipyard_refused");
    qoe_test::LogLines log;
    qoe_test::DrawnTextRecorder drawn;
    EXPECT_EQ(Run("png " + told + "\nkey enter\nwait 300\n" + C(kSchi) + "wait 300\npng " + refused +
                  "\nkey enter\nwait 300\n" + C(kRepa) + "wait 300\nkey enter\nwait 300\n" + C(kStad)),
              39);
    EXPECT_TRUE(log.Has(qoe_test::FigureFileToldLine(c)));
    EXPECT_TRUE(drawn.Drew(qoe_test::FigureFileSentence(c) + " " + GetCatalogStr(1790)));
    EXPECT_EQ(log.Count("HafenScreen: Meldung 1791"), 2u);
    EXPECT_FALSE(log.Has("HafenScreen: Ein Schiff liegt im Hafen."));
    EXPECT_TRUE(drawn.Drew(GetCatalogStr(1791)));
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, prefs));
    EXPECT_EQ(ChunkBytes("SHIP", OutgoingPoolPath), ChunkBytes("SHIP", ReceivedPoolPath));
    if (c.fault == qoe_test::FigureFault::kCut || c.fault == qoe_test::FigureFault::kMissing) {
      EXPECT_TRUE(qoe_test::KeepPng(told));
    }
    if (c.fault == qoe_test::FigureFault::kCut) {
      EXPECT_TRUE(qoe_test::KeepPng(refused));
    }
  }
}

// A goods file or figure file that cannot be read leaves no empty list
// behind that a confirmation could write over it: the shipyard's
// confirmation then fails and changes no file.
TEST_P(HarbourRun, AGoodsOrFigureFileThatCannotBeReadIsNeverWrittenFromAnEmptyList) {
  if (GetParam() != 0) GTEST_SKIP() << "one display mode is enough";
  for (const char* file : {"Data/WarenChunk.qoe", "Data/MapPrefs.qoe"}) {
    SCOPED_TRACE(file);
    const auto good = qoe_test::ReadFileBytes(file);
    auto* d = static_cast<HafenScreenData*>(AllocVec(sizeof(HafenScreenData), MEMF_PUBLIC | MEMF_CLEAR));
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(LoadHafenData(d), 1);
    ASSERT_TRUE(d->gelesen);
    const bool goods = std::string(file) == "Data/WarenChunk.qoe";
    // The other list is read whole first, as the shipyard does.
    ASSERT_EQ(goods ? AllocHafenFigurenListe(d) : InitWerftRequester(d), 1);
    ASSERT_TRUE(qoe_test::WriteFileBytes(file, std::vector<uint8_t>(good.begin(), good.begin() + 30)));
    const auto before = GameFiles();
    EXPECT_EQ(goods ? InitWerftRequester(d) : AllocHafenFigurenListe(d), 0);
    EXPECT_EQ(goods ? static_cast<void*>(d->waren) : static_cast<void*>(d->figuren), nullptr);
    if (goods) EXPECT_EQ(InitWerftRequester(d), 0);  // asked again: still nothing
    else EXPECT_EQ(AllocHafenFigurenListe(d), 0);
    EXPECT_EQ(CarryOutShipyard(d, 0), 0);
    EXPECT_EQ(GameFiles(), before);
    d->gelesen = 0;
    FreeAllThingsHafen(d);
    WriteHafenData(d);
    FreeVec(d);
    ASSERT_TRUE(qoe_test::WriteFileBytes(file, good));
  }
}

TEST_P(HarbourRun, ADamagedOutgoingPoolIsReadFromTheReceivedTurnAndNotOverwritten) {
  auto pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  const size_t at = std::string(pool.begin(), pool.end()).find("SHIPV001");
  ASSERT_NE(at, std::string::npos);
  pool[at + 8] = 0x7F;  // the SHIP chunk's length far past the end
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", pool));
  const Files before = GameFiles();
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Werft(C(kWerftLine0), kWerftOk) + "wait 300\nkey enter\n" + C(kStad)), 39);
  EXPECT_TRUE(log.Has("ChangedPoolImage: Pool .\\Data\\POP3Out\\GameChunk.qoe ist beschaedigt"));
  EXPECT_EQ(qoe_test::DiffFiles(GameFiles(), before), "");  // the launch could not be written: nothing was
}

TEST_P(HarbourRun, AFailedWriteOfTheShipyardOrTheRepairYardChangesNoFile) {
  if (GetParam() != 0) GTEST_SKIP() << "one display mode is enough";
  const Files before = GameFiles();
  const std::string launch = Werft(C(kWerftLine0) + C(kAnkerLine0) + Yes(), kWerftOk) + "wait 300\nkey enter\n";
  const std::string repair = C(kRepa) + "wait 300\n" + C(kRepLine0) + C(kRepPlus) + C(kRepOk) + "wait 300\nkey enter\n";
  // Once written, to learn the sizes each set writes.
  EXPECT_EQ(Run(launch + C(kStad)), 39);
  const int64_t pool = (int64_t)fs::file_size("Data/POP3Out/GameChunk.qoe"), prefs = (int64_t)fs::file_size("Data/MapPrefs.qoe"),
                goods = (int64_t)fs::file_size("Data/WarenChunk.qoe");
  ASSERT_NE(Ship(Ships(OutgoingPoolPath), 3), nullptr);
  qoe_test::LogLines log;
  const std::vector<std::pair<std::string, int64_t>> runs = {
      {launch, 0}, {launch, pool / 2}, {launch, pool + prefs / 2}, {launch, pool + prefs + goods / 2},
      {repair, 0}, {repair, 48}, {repair, 96 + prefs / 2}};
  for (const auto& [order, budget] : runs) {
    SCOPED_TRACE(budget);
    Restore(before);
    ResetInputState();
    FileFailWritesAfter(budget);
    EXPECT_EQ(Run(order + C(kStad)), 39);
    FileFailWritesAfter(-1);
    const Files now = GameFiles();
    EXPECT_EQ(now.at("Data/MapPrefs.qoe"), before.at("Data/MapPrefs.qoe"));
    EXPECT_EQ(now.at("Data/WarenChunk.qoe"), before.at("Data/WarenChunk.qoe"));
    EXPECT_FALSE(now.count("Data/ShipAddOn.dat"));
    // Whatever the leaving write managed: never the launched ship's record.
    EXPECT_EQ(Ship(Ships(OutgoingPoolPath), 3), nullptr);
    if (now.count("Data/POP3Out/GameChunk.qoe")) {
      EXPECT_EQ(ChunkBytes("SHIP", OutgoingPoolPath), ChunkBytes("SHIP", ReceivedPoolPath));
    }
  }
  EXPECT_EQ(log.Count("Die Schiffe konnten nicht gespeichert werden"), 4);
  EXPECT_EQ(log.Count("Konnte ShipAddOnDaten nicht speichern"), 3);
}

// The shipyard's confirmation as OK00 does it, on a record read as the
// screen reads it: one launch, and ship 33 wrecked in battle (damage equal
// to its class, raised to 12, with 10,000 gold in the treasury). 0 when written.
int ConfirmOnce() {
  auto* d = static_cast<HafenScreenData*>(AllocVec(sizeof(HafenScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  int32_t ok = d && LoadHafenData(d) && d->gelesen;
  st_TOWN* town = ok ? GetActiveTown(2) : nullptr;
  ok = ok && town;
  if (town) {
    d->stadtX = town->XPos;
    d->stadtY = town->YPos;
    FreeVec(town);
  }
  ok = ok && AllocHafenFigurenListe(d) && InitWerftRequester(d) && AllocFigurenListe(d);
  ok = ok && ChangeRequesterBuffer(d, 0, 0);
  Schiffseintrag* s = ok ? HafenSchiffseintrag(d, 33) : nullptr;
  ok = ok && s;
  if (ok) {
    s->ship_class = s->damage = 12;
    ChunkPut32(d->land, 34, 10000);
    ok = CarryOutShipyard(d, 0);
  }
  if (d) {
    d->gelesen = 0;  // freed without the leaving write
    FreeAllThingsHafen(d);
    WriteHafenData(d);
  }
  FreeVec(d);
  return ok ? 0 : 1;
}

TEST_P(HarbourRun, ABattleWreckOfClassTwelveWithTenThousandGoldCostsItAllAndGivesSixtyWood) {
  if (GetParam() != 0) GTEST_SKIP() << "one display mode is enough";
  ASSERT_EQ(ConfirmOnce(), 0);
  EXPECT_EQ(Treasury(OutgoingPoolPath), 0u);
  EXPECT_EQ(Stock(98), 900u + 60u);
  EXPECT_EQ(Figure(Figures(), 33), nullptr);
  const auto ships = Ships(OutgoingPoolPath);
  EXPECT_EQ(Ship(ships, 33), nullptr);
  ASSERT_NE(Ship(ships, 3), nullptr);
  EXPECT_EQ(Ship(ships, 3)->ship_class, 14);
  EXPECT_EQ(Stock(51), 1u);
}

TEST_P(HarbourRun, AConfirmationKilledAtAnyMomentLeavesTheOldOrTheNewFiles) {
  if (GetParam() != 0) GTEST_SKIP() << "one display mode is enough";
  qoe_test::ExpectOldOrNewAfterKills(ConfirmOnce, GameFiles, Restore, 60, 7);
}

INSTANTIATE_TEST_SUITE_P(Modes, HarbourRun, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });

}  // namespace
