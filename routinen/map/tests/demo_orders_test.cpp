// Every order of the map screen given on the demo realm as it is installed,
// in headless visits at 1024 x 768 with the real figure menu and order
// handling: the figure selected with two clicks, the menu opened with the
// right button, the order's row clicked, its target hex picked and the
// question answered yes. A first visit (the menu left with Escape) finds
// the order's row; each order then lands in the turn's files: attacks,
// captures and duels in the KRIG chunk of the outgoing pool, the caravan's
// and the explorer's orders in the figures of MapPrefs.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/map/figurmenu.h"
#include "routinen/map/map.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapaction.h"
#include "routinen/map/mapaction_internal.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/map_realm.h"
#include "routinen/map/tests/map_visit.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "tests/support/test_support.h"

namespace {

constexpr uint32_t kW = 1024, kH = 768;

// What the figure menu offered on its last opening.
struct Seen {
  std::vector<uint8_t> offers;
  uint32_t rows = 0;
  std::vector<std::string> boxes;
};
Seen& S() {
  static Seen s;
  return s;
}

int32_t RecordingFigurMenu(KartenScreenRecord* d) {
  if (d && d->map && d->SelectedFigure) {
    uint8_t codes[32];
    const uint32_t n = FigurMenuOffers(d, d->SelectedFigure, codes);
    S().offers.assign(codes, codes + n);
    S().rows = n + GetActivePeopleCount(d->map, (int32_t)d->SelectedFigure->X, (int32_t)d->SelectedFigure->Y);
  }
  return FigurMenu(d);
}

// Questions are answered yes; notices are kept.
uint32_t SeamMessage(uint32_t mode, const char* text) {
  S().boxes.push_back(std::to_string(mode) + ":" + text);
  return 0;
}
int32_t SeamChoose(uint32_t, const char*) { return -1; }
char* SeamInput(char*, uint32_t) { return nullptr; }
uint32_t SeamSwitch(uint32_t, const char*) { return 0; }
int32_t SeamTextBox(const char* text) {
  S().boxes.push_back(std::string("textbox:") + text);
  return 1;
}

class DemoOrders : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(8), 1);
    RegisterGameDataListTypes();
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Karte.dat");
  }
  void TearDown() override {
    SetMapActionSeams(nullptr);
    map_test::EndMapScreenVisits();
  }
  // The demo realm installed afresh, the map screen as on a first visit.
  void Install() {
    KartenScreenRecord* d = KartenScreenData;
    if (d->Status == MAPSCREEN_KEPT) KartenScreen(0, 0);
    ReleaseKartenScreenData(d);
    ResetInputState();
    FillDisplayRecord();
    ASSERT_TRUE(map_test::InstallDemoRealm());
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    FillMapMenuHooks(&h);
    FillMapActionHooks(&h);
    h.FigurMenu = RecordingFigurMenu;
    SetMapScreenHooks(&h);
    MapActionSeams s{SeamMessage, SeamChoose, SeamInput, SeamSwitch, SeamTextBox};
    SetMapActionSeams(&s);
    S() = Seen{};
  }
  // Keys that scroll the view (centred on the capital) so that world hex
  // (x, y) stands in its third or fourth column and third row.
  std::string Focus(int32_t x, int32_t y) {
    const MapCentre m = CentreOnTown(6398, 3199, kW, kH, false);
    vx_ = (x - 2) & ~1;
    vy_ = y - 2;
    std::string keys;
    for (int32_t k = 0; k < (m.x - vx_) / 2; k++) keys += "key a\nwait 60\n";
    for (int32_t k = 0; k < (vx_ - m.x) / 2; k++) keys += "key d\nwait 60\n";
    for (int32_t k = 0; k < m.y - vy_; k++) keys += "key w\nwait 60\n";
    for (int32_t k = 0; k < vy_ - m.y; k++) keys += "key s\nwait 60\n";
    return keys + "wait 600\n";
  }
  std::string Hex(int32_t x, int32_t y, const char* button = "left") const {
    const map_test::DisplayPoint p = map_test::HexCentreOnDisplay(false, x - vx_, y - vy_);
    const std::string at = std::to_string(p.x) + " " + std::to_string(p.y);
    return "move " + at + "\nwait 100\npress " + button + " " + at + "\nwait 50\nrelease " + button + " " + at +
           "\nwait 200\n";
  }
  // The centre of row i of the menu of `rows` rows opened on world hex (x, y).
  std::string Row(int32_t x, int32_t y, uint32_t rows, uint32_t i) const {
    int32_t mx, my, side;
    FigurMenuPlace(x - vx_, y - vy_, rows, kW, kH, 32, &mx, &my, &side);
    const std::string at = std::to_string(mx + 40) + " " + std::to_string(my + 12 * (int32_t)i + 6);
    return "move " + at + "\nwait 100\nclick left " + at + "\nwait 300\n";
  }
  int32_t Visit(const std::string& script) {
    static int32_t s_result;
    s_result = 99;
    const std::string timed = "move 300 300\ntimer 0 100\nwait 1000\n" + script + "wait 300\nkey esc\nwait 300\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return s_result = KartenScreen(2, 1), 0; }, nullptr), 0);
    return s_result;
  }
  // Gives the figure on hex (x, y) the order, then picks the target hexes;
  // false when the menu does not offer it. The screen's result in *next.
  bool Give(int32_t x, int32_t y, uint8_t order, std::vector<std::pair<int32_t, int32_t>> targets,
            const std::string& then = "", int32_t* next = nullptr) {
    Install();
    // Two clicks apart: the hex marked, then its figure selected.
    const std::string focus = Focus(x, y);  // sets the view the hexes below are found in
    const std::string select = focus + Hex(x, y) + "wait 400\n" + Hex(x, y) + "wait 400\n";
    Visit(select + Hex(x, y, "right") + "key esc\nwait 200\n");
    int32_t row = -1;
    for (size_t i = 0; i < S().offers.size(); i++)
      if (S().offers[i] == order) row = (int32_t)i;
    if (row < 0) return false;
    const uint32_t rows = S().rows;
    std::string after;
    for (const auto& [tx, ty] : targets) after += Hex(tx, ty) + "wait 200\n";
    after += then;
    Install();
    const int32_t r = Visit(select + Hex(x, y, "right") + Row(x, y, rows, (uint32_t)row) + after);
    if (next) *next = r;
    return true;
  }
  static std::vector<KriegsEintrag> Orders() {
    LoadedChunk krig("KRIG", OutgoingPoolPath);
    std::vector<KriegsEintrag> v;
    if (!krig.p) return v;
    for (uint32_t i = 0, n = ChunkGet32(krig.p, 12); i < n; i++) {
      KriegsEintrag e;
      if (GetKriegsEintrag(krig.p, i, &e) == 1) v.push_back(e);
    }
    return v;
  }
  static std::optional<FigurRecord> Figure(uint32_t owner, uint16_t number) {
    LoadedChunk move("MOVE", MapPrefsPath);
    if (!move.p) return std::nullopt;
    for (uint32_t i = 0, n = ChunkGet16(move.p, 12); i < n; i++) {
      const FigurRecord f = GetFigurRecord(move.p + 14 + 18 * i);
      if (f.owner == owner && f.number == number) return f;
    }
    return std::nullopt;
  }
  std::string Boxes() const {
    std::string s;
    for (const std::string& b : S().boxes) s += b + "\n";
    return s;
  }
  int32_t vx_ = 0, vy_ = 0;
};

constexpr uint32_t kOwn = 1001;

// The Nordreiter (cavalry, figure 12) attack Ragnar's infantry beside them.
TEST_F(DemoOrders, AnArmyAttacksTheForeignArmyBesideIt) {
  ASSERT_TRUE(Give(6402, 3196, AKTION_ATTACK, {{6403, 3197}})) << "attack not offered";
  const std::vector<KriegsEintrag> krig = Orders();
  ASSERT_EQ(krig.size(), 1u) << Boxes();
  EXPECT_EQ(krig[0].attacker.owner, kOwn);
  EXPECT_EQ(krig[0].attacker.number, 12);
  EXPECT_EQ(krig[0].attacker.state, AKTION_ATTACK);
  EXPECT_EQ(krig[0].target.owner, 2003u);
  EXPECT_EQ(krig[0].target.number, 5);
}

// The first scout challenges Gunhild's scout south of it.
TEST_F(DemoOrders, AScoutDuelsTheForeignScoutBesideIt) {
  ASSERT_TRUE(Give(6408, 3195, AKTION_DUEL, {{6408, 3196}})) << "duel not offered";
  const std::vector<KriegsEintrag> krig = Orders();
  ASSERT_EQ(krig.size(), 1u) << Boxes();
  EXPECT_EQ(krig[0].attacker.number, 1);
  EXPECT_EQ(krig[0].attacker.state, AKTION_DUEL);
  EXPECT_EQ(krig[0].target.owner, 2002u);
  EXPECT_EQ(krig[0].target.number, 6);
}

// The war ship off the coast stays (the astronomy reaches it) and captures
// Ragnar's trade ship.
TEST_F(DemoOrders, TheWarShipCapturesTheForeignTradeShip) {
  ASSERT_TRUE(Give(6380, 3195, AKTION_CAPTURE, {{6380, 3197}})) << "capture not offered";
  const std::vector<KriegsEintrag> krig = Orders();
  ASSERT_EQ(krig.size(), 1u) << Boxes();
  EXPECT_EQ(krig[0].attacker.number, 32);
  EXPECT_EQ(krig[0].attacker.state, AKTION_CAPTURE);
  EXPECT_EQ(krig[0].target.owner, 2003u);
  EXPECT_EQ(krig[0].target.number, 9);
}

// The caravan in Eichenhain opens its requester (left by its EXIT) and keeps
// the order among the figures.
TEST_F(DemoOrders, TheCaravanLoadsInItsTown) {
  const std::string exit = qoe_test::ClickLine((kW - 360) / 2 + 300, (kH - 260) / 2 + 240) + "wait 200\n";
  ASSERT_TRUE(Give(6403, 3207, AKTION_LOAD, {}, "wait 300\n" + exit)) << "load not offered";
  const std::optional<FigurRecord> c = Figure(kOwn, 43);
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->state, AKTION_LOAD);
}

// The scout on the dungeon's entrance explores: the map leaves for the
// dungeon and the order stays with the figure.
TEST_F(DemoOrders, TheScoutOnTheEntranceExploresTheDungeon) {
  int32_t next = 0;
  ASSERT_TRUE(Give(6418, 3191, AKTION_EXPLORE, {}, "", &next)) << "explore not offered";
  EXPECT_EQ(next, 1293);
  const std::optional<FigurRecord> s = Figure(kOwn, 44);
  ASSERT_TRUE(s.has_value());
  EXPECT_EQ(s->state, AKTION_EXPLORE);
}

}  // namespace
