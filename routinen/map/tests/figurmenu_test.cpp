// The map screen's menus as pure functions over a fake window: the orders
// offered to each kind of figure (points, the hex's owner, carried figures,
// neighbours, the rings round a settler, cargo slots, traders on the hex,
// the dungeon flag), the labels of figure rows, the side box's texts from
// the received battles, where a menu goes near the display's edges, the
// list lines, the map names, and the worker numbers of the cultivation
// requester.
#include "routinen/map/figurmenu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/fake_map.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

namespace {

constexpr uint32_t kOwn = 5;
// Terrain graphics by type: 12 grass (7), 1 town (11), 6 type 4, 24 type 9,
// 23 water.
constexpr uint16_t kGrass = 12, kTown = 1, kType4 = 6, kType9 = 24, kWater = 23;

class FigurMenuRules : public testing::Test {
 protected:
  void SetUp() override {
    ResetMapScreenState();
    RegisterGameDataListTypes();
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->PlayerId = kOwn;
    fake_.figures.assign(2 + 18 * 16, 0);
    fake_.map.Figures = fake_.map.LocalFigures = fake_.figures.data();
    fake_.map.FigureBytes = (uint32_t)fake_.figures.size();
    d_ = KartenScreenData;
    d_->map = &fake_.map;
    d_->X_Pos = 3;
    d_->Y_Pos = 3;
    for (int32_t r = 0; r < 120; ++r)
      for (int32_t c = 0; c < 240; ++c) fake_.cells[r * 240 + c].Besitzer = kOwn;
  }
  void TearDown() override {
    d_->map = nullptr;
    for (ListHeader** l : {&d_->Ships, &d_->ShipAddOns, &d_->MapNames, &d_->Specialists})
      if (*l) DeleteList(*l, 0);
    if (d_->Armies) DeleteArmyList(d_->Armies);
    d_->Armies = d_->Ships = d_->ShipAddOns = d_->MapNames = d_->Specialists = nullptr;
    FreeVec(d_->Battles);
    d_->Battles = nullptr;
    ResetMapScreenState();
    *OwnPlayerPtr = OwnPlayer{};
  }
  MapFigur* Figure(uint32_t owner, uint16_t type, uint16_t number, int32_t c, int32_t r, uint8_t points,
                   uint8_t state = 0) {
    fake_.AddFigure(owner, c, r);
    MapFigur* f = MapFigurAt(fake_.figures.data(), MapFigurCount(fake_.figures.data()) - 1u);
    f->Typ = type;
    f->Nummer = number;
    f->Punkte = points;
    f->Status = state;
    return f;
  }
  // The view cell (c, r) relative to the clicked hex (3, 3).
  MapTile& At(int32_t dc, int32_t dr) { return fake_.Cell(3 + dc, 3 + dr); }
  std::vector<int> Offers(const MapFigur* f) {
    uint8_t codes[21];
    const uint32_t n = FigurMenuOffers(d_, f, codes);
    return std::vector<int>(codes, codes + n);
  }
  Schiffseintrag* Ship(uint16_t number, int32_t c, int32_t r) {
    if (!d_->Ships) d_->Ships = CreateList(LIST_SHIPS);
    auto* s = reinterpret_cast<Schiffseintrag*>(AllocListNode(d_->Ships));
    s->ship_id = number;
    s->x = (uint32_t)(4000 + c);
    s->y = (uint32_t)(2000 + r);
    AddNode(d_->Ships, &s->head, LN_TAIL, 0);
    return s;
  }
  Army* AddArmy(const char* name, uint32_t id, int32_t c, int32_t r, uint32_t part_type, uint32_t men) {
    if (!d_->Armies) d_->Armies = CreateList(LIST_ARMIES);
    auto* a = reinterpret_cast<Army*>(AllocListNode(d_->Armies));
    std::snprintf(a->ArmyName, sizeof a->ArmyName, "%s", name);
    a->ArmeeID = id;
    a->X = (uint32_t)(4000 + c);
    a->Y = (uint32_t)(2000 + r);
    a->parts = CreateList(LIST_ARMY_PARTS);
    auto* p = reinterpret_cast<ArmeeTyp*>(AllocListNode(a->parts));
    p->Typ = part_type;
    p->Leute = men;
    AddNode(a->parts, &p->head, LN_TAIL, 0);
    a->ArmeeTypAnzahl = 1;
    AddNode(d_->Armies, &a->head, LN_TAIL, 0);
    return a;
  }
  map_test::FakeMap fake_;
  KartenScreenRecord* d_ = nullptr;
};

using V = std::vector<int>;

TEST_F(FigurMenuRules, ScoutsByOwnerTradersAndTheDungeon) {
  MapFigur* scout = Figure(kOwn, 0, 1, 3, 3, 8);
  EXPECT_EQ(Offers(scout), (V{0, 10, 11, 13, 18}));
  // Another player's dungeon field: accept, duel, explore; trade only with
  // a trader of the wild (-5 or -6) on the hex.
  At(0, 0).Besitzer = 77;
  At(0, 0).Flags = 2;
  EXPECT_EQ(Offers(scout), (V{0, 10, 12, 13, 18, 20}));
  Figure(0xFFFFFFFBu, 20, 9, 3, 3, 0);
  EXPECT_EQ(Offers(scout), (V{0, 10, 12, 13, 15, 18, 20}));
  MapFigurAt(fake_.figures.data(), 1)->Besitzer = 0xFFFFFFFAu;
  EXPECT_EQ(Offers(scout), (V{0, 10, 12, 13, 15, 18, 20}));
  // Not with points spent, and nothing that moves without points.
  scout->Punkte = 7;
  EXPECT_EQ(Offers(scout), (V{0, 10, 12, 13, 18, 20}));
  scout->Punkte = 0;
  EXPECT_EQ(Offers(scout), (V{0, 12, 13, 20}));
  // A carried scout neither trades nor moves.
  scout->Punkte = 8;
  scout->Status = 7;
  EXPECT_EQ(Offers(scout), (V{0, 12, 13, 20}));
}

TEST_F(FigurMenuRules, ArmiesGuardAttackAndAnnexByTheirNeighbours) {
  MapFigur* army = Figure(kOwn, 1, 11, 3, 3, 4);
  EXPECT_EQ(Offers(army), (V{0, 2, 3, 10, 18}));
  army->Punkte = 2;
  EXPECT_EQ(Offers(army), (V{0, 3, 10, 18}));
  army->Punkte = 0;
  EXPECT_EQ(Offers(army), (V{0, 3}));
  army->Status = 7;
  army->Punkte = 4;
  EXPECT_EQ(Offers(army), (V{0}));
  army->Status = 0;
  // A foreign hex: annex at an own land neighbour.
  At(0, 0).Besitzer = 77;
  EXPECT_EQ(Offers(army), (V{0, 1, 2, 3, 10, 18}));
  // No own neighbour: none; an own figure on a water neighbour: again.
  for (int i = -1; i <= 1; i++)
    for (int j = -1; j <= 1; j++) At(i, j).Besitzer = 77;
  EXPECT_EQ(Offers(army), (V{0, 2, 3, 10, 18}));
  At(0, -1).Grafik = kWater;
  Figure(kOwn, 14, 30, 3, 2, 0);
  EXPECT_EQ(Offers(army), (V{0, 1, 2, 3, 10, 18}));
}

TEST_F(FigurMenuRules, WarShipsAnnexOnlyFromTheWater) {
  At(0, 0).Besitzer = 77;
  At(0, 0).Grafik = kWater;
  MapFigur* ship = Figure(kOwn, 17, 40, 3, 3, 8);
  EXPECT_EQ(Offers(ship), (V{0, 1, 3, 8, 10, 18, 19}));
  At(0, 0).Grafik = kGrass;
  EXPECT_EQ(Offers(ship), (V{0, 3, 8, 10, 18, 19}));
}

TEST_F(FigurMenuRules, SettlersKeepThreeRingsFromTownsAndDeserts) {
  MapFigur* settler = Figure(kOwn, 10, 41, 3, 3, 6);
  EXPECT_EQ(Offers(settler), (V{0, 4, 10, 18}));
  // A town one, two, three rings away: no; four: yes.
  for (int32_t ring = 1; ring <= 4; ring++) {
    MapTile& t = fake_.cells[(43 - ring) * 240 + 83];
    t.Grafik = kTown;
    EXPECT_EQ(Offers(settler), ring < 4 ? (V{0, 10, 18}) : (V{0, 4, 10, 18})) << ring;
    t.Grafik = kGrass;
  }
  // Type 4 in ring 1, not in ring 2.
  At(0, 1).Grafik = kType4;
  EXPECT_EQ(Offers(settler), (V{0, 10, 18}));
  At(0, 1).Grafik = kGrass;
  At(0, 2).Grafik = kType4;
  EXPECT_EQ(Offers(settler), (V{0, 4, 10, 18}));
  At(0, 2).Grafik = kGrass;
  // On type 9 only beside another type 9; never on a foreign field.
  At(0, 0).Grafik = kType9;
  EXPECT_EQ(Offers(settler), (V{0, 10, 18}));
  At(0, -1).Grafik = kType9;
  EXPECT_EQ(Offers(settler), (V{0, 4, 10, 18}));
  At(0, 0).Besitzer = 77;
  EXPECT_EQ(Offers(settler), (V{0, 10, 18}));
}

TEST_F(FigurMenuRules, TradeShipsLoadAndUnloadByPointsAndCargo) {
  At(0, 0).Grafik = kWater;
  MapFigur* ship = Figure(kOwn, 15, 31, 3, 3, 8);  // medium: two places, full 8
  Schiffseintrag* e = Ship(31, 3, 3);
  e->cargo[0].state = 7;
  e->cargo[0].type = 2;
  EXPECT_EQ(Offers(ship), (V{0, 5, 6, 10, 18, 19}));
  ship->Punkte = 4;  // half the points: load, not unload
  EXPECT_EQ(Offers(ship), (V{0, 5, 10, 18, 19}));
  ship->Punkte = 3;
  EXPECT_EQ(Offers(ship), (V{0, 10, 18, 19}));
  ship->Punkte = 8;
  e->cargo[1].state = 7;  // full
  EXPECT_EQ(Offers(ship), (V{0, 6, 10, 18, 19}));
  // No land beside the ship: neither.
  for (int i = -1; i <= 1; i++)
    for (int j = -1; j <= 1; j++) At(i, j).Grafik = kWater;
  EXPECT_EQ(Offers(ship), (V{0, 10, 18, 19}));
  // Its entry not found: neither.
  for (int i = -1; i <= 1; i++)
    for (int j = -1; j <= 1; j++) At(i, j).Grafik = kGrass;
  e->ship_id = 99;
  EXPECT_EQ(Offers(ship), (V{0, 10, 18, 19}));
  // Plunder: a ship carrying an army on a town hex of anyone.
  e->ship_id = 31;
  At(0, 0).Grafik = kTown;
  At(0, 0).Besitzer = 77;
  EXPECT_EQ(Offers(ship), (V{0, 6, 9, 10, 18, 19}));
}

TEST_F(FigurMenuRules, CaravansOnOwnTownsAndClerics) {
  At(0, 0).Grafik = kTown;
  MapFigur* caravan = Figure(kOwn, 20, 50, 3, 3, 20);
  EXPECT_EQ(Offers(caravan), (V{0, 5, 6, 10, 18}));
  At(0, 0).Besitzer = 77;
  EXPECT_EQ(Offers(caravan), (V{0, 10, 18}));
  MapFigur* cleric = Figure(kOwn, 12, 42, 3, 3, 2);
  EXPECT_EQ(Offers(cleric), (V{0, 10, 14, 18}));
  cleric->Punkte = 1;
  EXPECT_EQ(Offers(cleric), (V{0, 10, 18}));
}

TEST_F(FigurMenuRules, RowLabelsByOwnerTypeArmyAndShipName) {
  std::vector<const Army*> used;
  const Army* node = nullptr;
  char out[20];
  // Own armies: found by ID, place and type; then without the ID; not at all.
  Army* a = AddArmy("Burgwache", 14, 3, 3, 2, 120);
  AddArmy("Zweite", 15, 3, 3, 2, 80);
  MapFigur* f = Figure(kOwn, 1, 14, 3, 3, 4);
  EXPECT_TRUE(FigurRowLabel(d_, f, used, &node, out));
  EXPECT_STREQ(out, "Burgwache");
  EXPECT_EQ(node, a);
  f->Nummer = 99;
  EXPECT_TRUE(FigurRowLabel(d_, f, used, &node, out));
  EXPECT_STREQ(out, "Burgwache");
  used.push_back(a);  // an earlier row's army is skipped
  EXPECT_TRUE(FigurRowLabel(d_, f, used, &node, out));
  EXPECT_STREQ(out, "Zweite");
  f->Typ = 3;  // no army of that type
  EXPECT_FALSE(FigurRowLabel(d_, f, {}, &node, out));
  EXPECT_STREQ(out, "Heavy infantry");
  EXPECT_EQ(node, nullptr);
  // Carried, foreign.
  f->Typ = 1;
  f->Nummer = 14;
  f->Status = 7;
  EXPECT_TRUE(FigurRowLabel(d_, f, {}, &node, out));
  EXPECT_STREQ(out, "+Burgwache");
  MapFigur* g = Figure(77, 4, 3, 3, 3, 0, 7);
  EXPECT_TRUE(FigurRowLabel(d_, g, {}, &node, out));
  EXPECT_STREQ(out, "\xBA+light cavallry");
  // Ships: the own one's name, else the type; a foreign one always the type.
  MapFigur* s = Figure(kOwn, 16, 31, 3, 3, 0);
  EXPECT_TRUE(FigurRowLabel(d_, s, {}, &node, out));
  EXPECT_STREQ(out, "big trade ship");
  d_->ShipAddOns = CreateList(LIST_SHIP_ADDONS);
  auto* add = reinterpret_cast<ShipAddOn*>(AllocListNode(d_->ShipAddOns));
  add->ship_id = 31;
  std::snprintf(add->name, sizeof add->name, "Seeadler der Nordmark und der Inseln");
  AddNode(d_->ShipAddOns, &add->head, LN_TAIL, 0);
  EXPECT_TRUE(FigurRowLabel(d_, s, {}, &node, out));
  EXPECT_STREQ(out, "Seeadler der Nordma");  // 19 characters
  s->Besitzer = 77;
  EXPECT_TRUE(FigurRowLabel(d_, s, {}, &node, out));
  EXPECT_STREQ(out, "\xBA" "big trade ship");
  // A map object: its owner's name over the whole label, cut.
  SetGameDataOwner(0, nullptr);
  MapFigur* o = Figure(kOwn, 1003, 60, 3, 3, 0);
  EXPECT_TRUE(FigurRowLabel(d_, o, {}, &node, out));
  EXPECT_LE(std::strlen(out), 19u);
  // Any other type: empty.
  o->Typ = 13;
  EXPECT_TRUE(FigurRowLabel(d_, o, {}, &node, out));
  EXPECT_STREQ(out, "");
}

// A KRIG chunk of battle records (host order, as the loader gives it).
std::vector<uint8_t> Krig(const std::vector<KriegsEintrag>& entries) {
  std::vector<uint8_t> c(12 + 4 + 72 * entries.size(), 0);
  std::memcpy(c.data(), "KRIG", 4);
  const uint32_t len = (uint32_t)(4 + 72 * entries.size());
  std::memcpy(c.data() + 8, &len, 4);
  const uint32_t n = (uint32_t)entries.size();
  std::memcpy(c.data() + 12, &n, 4);
  for (size_t i = 0; i < entries.size(); i++) {
    uint8_t* p = c.data() + 16 + 72 * i;
    const KriegsEintrag& e = entries[i];
    PutFigurRecord(p + 4, e.attacker);
    PutFigurRecord(p + 22, e.target);
    std::memcpy(p + 40, &e.kind, 4);
    std::memcpy(p + 60, &e.aliveA, 4);
    std::memcpy(p + 64, &e.aliveD, 4);
  }
  return c;
}

KriegsEintrag Fight(FigurRecord a, FigurRecord t, uint32_t kind, uint32_t alive_a, uint32_t alive_d) {
  KriegsEintrag e{};
  e.attacker = a;
  e.target = t;
  e.kind = kind;
  e.aliveA = alive_a;
  e.aliveD = alive_d;
  return e;
}

class FigurSideBoxTexts : public FigurMenuRules {
 protected:
  void Battles(const std::vector<KriegsEintrag>& e) {
    const std::vector<uint8_t> c = Krig(e);
    FreeVec(d_->Battles);
    d_->Battles = static_cast<uint8_t*>(AllocVec((uint32_t)c.size(), MEMF_CLEAR));
    std::memcpy(d_->Battles, c.data(), c.size());
    ASSERT_EQ(KriegsCount(d_->Battles), e.size());
  }
  std::vector<std::string> Box(const MapFigur* g, const Army* a = nullptr) { return FigurSideBox(d_, g, a); }
};

TEST_F(FigurSideBoxTexts, OwnArmyPartsAndOwnShipValues) {
  Army* a = AddArmy("Burgwache", 14, 3, 3, 2, 120);
  MapFigur* f = Figure(kOwn, 1, 14, 3, 3, 4);
  EXPECT_EQ(Box(f, a), (std::vector<std::string>{"-> 120"}));
  EXPECT_TRUE(Box(f, nullptr).empty());  // no node: no box
  MapFigur* s = Figure(kOwn, 15, 31, 3, 3, 4);
  Schiffseintrag* e = Ship(31, 3, 3);
  e->damage = 2;
  e->ship_class = 15;
  EXPECT_EQ(Box(s), (std::vector<std::string>{"-> 2/15"}));
  EXPECT_TRUE(Box(Figure(kOwn, 0, 1, 3, 3, 8)).empty());
}

TEST_F(FigurSideBoxTexts, ForeignShipsByTheirLastBattle) {
  SetGameDataOwner(0, nullptr);
  MapFigur* s = Figure(77, 17, 8, 3, 3, 0);
  const FigurRecord g{77, 17, 8, 4003, 2003, 0, 0}, own{kOwn, 15, 31, 4003, 2004, 0, 0};
  Battles({Fight(g, own, 8, 0, 0)});
  EXPECT_EQ(Box(s), (std::vector<std::string>{std::string("-> ") + GetCatalogStr(1826)}));
  Battles({Fight(g, own, 6, 0, 0)});
  EXPECT_EQ(Box(s), (std::vector<std::string>{std::string("-> ") + GetCatalogStr(1827)}));
  const char* words[4] = {"sunk", "damaged", "captured", "defended"};
  for (uint32_t kind = 5; kind <= 8; kind++) {
    Battles({Fight(own, g, kind, 0, 0)});
    EXPECT_EQ(Box(s), (std::vector<std::string>{std::string("-> ") + words[kind - 5]})) << kind;
  }
  // A later match wins.
  Battles({Fight(own, g, 5, 0, 0), Fight(g, own, 8, 0, 0)});
  EXPECT_EQ(Box(s), (std::vector<std::string>{std::string("-> ") + GetCatalogStr(1826)}));
  // No entry: the owner's name.
  Battles({Fight(own, own, 5, 0, 0)});
  const std::vector<std::string> named = Box(s);
  ASSERT_EQ(named.size(), 1u);
  EXPECT_EQ(named[0].rfind("-> ", 0), 0u);
}

TEST_F(FigurSideBoxTexts, ForeignArmiesSumTheirSurvivorsPerOpponent) {
  SetGameDataOwner(0, nullptr);
  MapFigur* a = Figure(77, 3, 7, 3, 3, 0);
  const FigurRecord g{77, 3, 7, 4003, 2003, 0, 0};
  const FigurRecord x{kOwn, 2, 11, 4004, 2003, 0, 0}, y{kOwn, 1, 14, 4002, 2003, 0, 0};
  Battles({Fight(x, g, 1, 880, 100), Fight(g, x, 0, 90, 5)});
  EXPECT_EQ(Box(a), (std::vector<std::string>{"-> 2/190"}));
  // Another opponent with a sum so far: the count starts again.
  Battles({Fight(x, g, 1, 880, 100), Fight(y, g, 1, 10, 40)});
  EXPECT_EQ(Box(a), (std::vector<std::string>{"-> 1/40"}));
  // All dead.
  Battles({Fight(x, g, 1, 880, 0)});
  EXPECT_EQ(Box(a), (std::vector<std::string>{"-> vernichtet"}));
  // After a zero sum another opponent adds on.
  Battles({Fight(x, g, 1, 880, 0), Fight(y, g, 1, 10, 40)});
  EXPECT_EQ(Box(a), (std::vector<std::string>{"-> 2/40"}));
  // No battle at all: the name.
  Battles({});
  EXPECT_EQ(Box(a)[0].rfind("-> ", 0), 0u);
  EXPECT_NE(Box(a)[0], "-> vernichtet");
}

TEST_F(FigurMenuRules, MenusOnTheLastColumnOrRowReturnAtOnce) {
  Figure(kOwn, 0, 1, 9, 3, 8);
  d_->SelectedFigure = MapFigurAt(fake_.figures.data(), 0);
  d_->FigureSelected = 1;
  d_->X_Pos = (int16_t)(fake_.map.Columns - 1);
  EXPECT_EQ(FigurMenu(d_), 0);
  EXPECT_EQ(FeldMenu(d_), -1);
  d_->X_Pos = 3;
  d_->Y_Pos = (int16_t)(fake_.map.Rows - 1);
  EXPECT_EQ(FigurMenu(d_), 0);
  EXPECT_EQ(FeldMenu(d_), -1);
  d_->Y_Pos = -1;
  EXPECT_EQ(FigurMenu(d_), 0);
}

TEST_F(FigurMenuRules, FieldMenuEntriesOnOwnAndForeignFieldsAndAt28x14) {
  int32_t e[3];
  ASSERT_EQ(FeldMenuEntries(d_, e), 2u);
  EXPECT_EQ(e[0], 0);
  EXPECT_EQ(e[1], 1);
  At(0, 0).Besitzer = 77;
  ASSERT_EQ(FeldMenuEntries(d_, e), 1u);
  At(0, 0).X = 28;
  At(0, 0).Y = 14;
  ASSERT_EQ(FeldMenuEntries(d_, e), 2u);
  EXPECT_EQ(e[1], 2);
  At(0, 0).Besitzer = kOwn;
  ASSERT_EQ(FeldMenuEntries(d_, e), 3u);
  At(0, 0).X = 29;
  EXPECT_EQ(FeldMenuEntries(d_, e), 2u);
}

TEST_F(FigurMenuRules, FirstTabMiniMapScrollAndSpecialistJumps) {
  EXPECT_STREQ(FigurListFirstTab(d_), "BUT4");
  Ship(31, 3, 3);
  EXPECT_STREQ(FigurListFirstTab(d_), "BUT2");
  AddArmy("Burgwache", 14, 3, 3, 2, 120);
  EXPECT_STREQ(FigurListFirstTab(d_), "BUT1");
  // 8 bits: the rectangle (508, 14)-(631, 139), centre (569, 76).
  int32_t dx, dy;
  MiniMapScroll(569, 76, 508, 14, 631, 139, &dx, &dy);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  MiniMapScroll(631, 139, 508, 14, 631, 139, &dx, &dy);
  EXPECT_EQ(dx, 10);  // (62 / 3) >> 1
  EXPECT_EQ(dy, 15);  // 63 >> 2
  MiniMapScroll(508, 14, 508, 14, 631, 139, &dx, &dy);
  EXPECT_EQ(dx, -10);  // (-61 / 3) >> 1 = -20 >> 1
  EXPECT_EQ(dy, -16);
  // A specialist's line leads to the figure its record names, whatever the
  // figure list's order; a dismissed one is not listed.
  d_->Specialists = CreateList(LIST_SPECIALISTS);
  for (uint32_t k = 0; k < 3; k++) {
    auto* e = reinterpret_cast<SpezialistEintrag*>(AllocListNode(d_->Specialists));
    std::snprintf(e->name, sizeof e->name, "Bruder Anselm von Hohenstein %u", k);
    e->figure = 42 + k;
    e->state = k == 1 ? 4 : 5;
    AddNode(d_->Specialists, &e->head, LN_TAIL, 0);
  }
  Figure(kOwn, 12, 44, 5, 5, 6);
  Figure(kOwn, 12, 42, 4, 4, 6);
  EXPECT_EQ(FigurOfListEntry(d_, 4, 0)->Nummer, 42);
  EXPECT_EQ(FigurOfListEntry(d_, 4, 1)->Nummer, 44);
  EXPECT_EQ(FigurOfListEntry(d_, 4, 2), nullptr);
  std::vector<char> lines;
  FigurListLines(d_, 4, &lines);
  ASSERT_EQ(lines.size(), 4u * 80u);
  EXPECT_STREQ(lines.data(), "Bruder Anselm von [6P]");  // 17 characters of the name
}

TEST(FigurMenuPlacement, EveryMenuAndSideBoxStaysOnTheDisplay) {
  const struct { uint32_t w, h, depth; } kSizes[] = {{640, 480, 8}, {800, 600, 32}, {1024, 768, 32}};
  for (const auto& z : kSizes) {
    const int32_t columns = (int32_t)(z.w + 16) / 48, rows = (int32_t)(z.h + 28) / 56;
    for (int32_t c = 0; c < columns - 1; c++)
      for (int32_t r = 0; r < rows - 1; r++)
        for (uint32_t n : {1u, 6u, 12u}) {
          int32_t x, y, side;
          FigurMenuPlace(c, r, n, z.w, z.h, z.depth, &x, &y, &side);
          EXPECT_GE(x, 0);
          EXPECT_GE(y, 0);
          EXPECT_LE(x + 80, (int32_t)z.w) << c << "," << r;
          EXPECT_LE(y + 12 * (int32_t)n, (int32_t)z.h) << c << "," << r;
          EXPECT_GE(side, 0);
          EXPECT_LE(side + 80, (int32_t)z.w);
          EXPECT_TRUE(side == x + 80 || side == x - 80);
        }
  }
  // The drawn place of an inner hex: 48 c + 32, 56 r + 16 (+ 28 odd), 16
  // less on deeper displays.
  int32_t x, y, side;
  FigurMenuPlace(3, 2, 2, 640, 480, 8, &x, &y, &side);
  EXPECT_EQ(x, 176);
  EXPECT_EQ(y, 56 * 2 + 16 + 28);
  EXPECT_EQ(side, 256);
  FigurMenuPlace(4, 2, 2, 1024, 768, 32, &x, &y, &side);
  EXPECT_EQ(x, 48 * 4 + 16);
  EXPECT_EQ(y, 56 * 2);
}

TEST_F(FigurMenuRules, ListLinesOfShipsAndLongNames) {
  Figure(kOwn, 15, 31, 3, 3, 8);
  Schiffseintrag* e = Ship(31, 3, 3);
  e->damage = 1;
  e->ship_class = 15;
  Ship(32, 4, 4);  // no figure: two empty lines
  std::vector<char> lines;
  FigurListLines(d_, 1, &lines);
  ASSERT_EQ(lines.size(), 4u * 80u);
  EXPECT_STREQ(lines.data(), "medium trade ship [8P]");
  EXPECT_STREQ(lines.data() + 80, "...->(4003/2003) [1/15]");
  EXPECT_STREQ(lines.data() + 160, "");
  EXPECT_STREQ(lines.data() + 240, "");
  // A 79-character ship name keeps the line's 79 characters and its NUL.
  d_->ShipAddOns = CreateList(LIST_SHIP_ADDONS);
  auto* add = reinterpret_cast<ShipAddOn*>(AllocListNode(d_->ShipAddOns));
  add->ship_id = 31;
  std::memset(add->name, 'n', 79);
  AddNode(d_->ShipAddOns, &add->head, LN_TAIL, 0);
  FigurListLines(d_, 1, &lines);
  EXPECT_LE(std::strlen(lines.data()), 79u);
  EXPECT_EQ(lines[79], 0);
  EXPECT_EQ(FigurOfListEntry(d_, 1, 0)->Nummer, 31);
  EXPECT_EQ(FigurOfListEntry(d_, 1, 1), nullptr);
  // Scouts in the figure list's order; a negative point count shows signed.
  Figure(kOwn, 0, 7, 1, 1, 0xFE);
  FigurListLines(d_, 3, &lines);
  ASSERT_EQ(lines.size(), 160u);
  EXPECT_STREQ(lines.data(), "scout [-2P]");
}

TEST(MapNames, NewRenameDeleteAndNothingForAnEmptyNewName) {
  RegisterGameDataListTypes();
  ListHeader* names = CreateList(LIST_MAP_NAMES);
  ASSERT_EQ(ApplyMapName(names, 10, 20, nullptr), 1);
  EXPECT_EQ(names->count, 0u);
  ASSERT_EQ(ApplyMapName(names, 10, 20, "Rabenfels"), 1);
  ASSERT_EQ(ApplyMapName(names, 11, 20, "Furt"), 1);
  ASSERT_EQ(names->count, 2u);
  ASSERT_EQ(ApplyMapName(names, 10, 20, "Rabenstein"), 1);
  ASSERT_EQ(names->count, 2u);
  const auto* first = reinterpret_cast<const MapNameEintrag*>(names->first);
  EXPECT_STREQ(first->name, "Rabenstein");
  ASSERT_EQ(ApplyMapName(names, 10, 20, nullptr), 1);
  ASSERT_EQ(names->count, 1u);
  EXPECT_STREQ(reinterpret_cast<const MapNameEintrag*>(names->first)->name, "Furt");
  // A 79-character name fits the record with its NUL.
  const std::string longName(79, 'x');
  ASSERT_EQ(ApplyMapName(names, 12, 20, longName.c_str()), 1);
  uint32_t size = 0;
  uint8_t* image = MakeMapNamesImage(names, &size);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(size, 2u * 88u);
  EXPECT_EQ(GetBE16(image + 88), 12);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image + 88 + 4), 79), longName);
  EXPECT_EQ(image[88 + 4 + 79], 0);
  FreeVec(image);
  DeleteList(names, 0);
}

TEST(ArbeiterNumbers, TypedCountsAreCutToThePoolAndTheLimit) {
  EXPECT_EQ(ArbeiterTypedCount("250", 5000), 250u);
  EXPECT_EQ(ArbeiterTypedCount("99999", 5000), 1000u);
  EXPECT_EQ(ArbeiterTypedCount("99999999999999999999999999", 5000), 1000u);  // no wrap
  EXPECT_EQ(ArbeiterTypedCount("4294967297", 5000), 1000u);
  EXPECT_EQ(ArbeiterTypedCount("700", 300), 300u);
  EXPECT_EQ(ArbeiterTypedCount("-5", 300), 0u);
  EXPECT_EQ(ArbeiterTypedCount("", 300), 0u);
  EXPECT_EQ(ArbeiterTypedCount("abc", 300), 0u);
  EXPECT_EQ(ArbeiterTypedCount(nullptr, 300), 0u);
  EXPECT_EQ(ArbeiterAutoShare(1180, 4), 98u);
  EXPECT_EQ(ArbeiterAutoShare(1180, 0), 0u);  // land value B 0: no share, no fault
}

TEST(ArbeiterNumbers, ThirteenFieldsForANewAndAnExistingField) {
  RegisterGameDataListTypes();
  ArbeiterState s{};
  s.terrain = 7;
  s.pool = 300;
  s.workers[0] = 100;
  s.workers[1] = 200;
  s.workers[2] = 0;
  s.newField = 1;
  char t[13][16];
  ArbeiterWerteTexts(&s, t);
  EXPECT_STREQ(t[0], "300");
  EXPECT_STREQ(t[1], "100");
  EXPECT_STREQ(t[2], "14000");  // 100 x 40000 / 1000 + 10000
  EXPECT_EQ(std::stoul(t[3]), std::max<unsigned long>(14000, CalcCultValueA(7, 100, 0)));
  EXPECT_STREQ(t[4], "0");
  EXPECT_STREQ(t[5], "200");
  EXPECT_STREQ(t[6], "1");  // 200 x 5 / 1000
  EXPECT_EQ(std::stoul(t[7]), std::max<unsigned long>(1, CalcCultValueB(7, 200, 0)));
  EXPECT_STREQ(t[8], "0");
  EXPECT_STREQ(t[9], "0");
  EXPECT_STREQ(t[10], "0");
  EXPECT_STREQ(t[12], "0");
  // An existing record: its values, the harvest's 0 read as 10000, the
  // change only where the value before is not 0.
  ListHeader* list = CreateList(LIST_CULTURE_FIELDS);
  MapCultEintrag* c = ArbeiterReqAlloc(list, 6400, 3196);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ArbeiterReqAlloc(list, 6400, 3196), c);
  EXPECT_EQ(list->count, 1u);
  c->harvest[1] = 0;
  c->harvest[2] = 500;
  c->wood[1] = 30;
  c->wood[2] = 45;
  c->stone[1] = 7;
  s.record = c;
  s.newField = 0;
  ArbeiterWerteTexts(&s, t);
  EXPECT_STREQ(t[2], "10000");
  EXPECT_STREQ(t[4], "-500");
  EXPECT_STREQ(t[6], "30");
  EXPECT_STREQ(t[8], "-15");
  EXPECT_STREQ(t[10], "7");
  EXPECT_STREQ(t[12], "0");
  DeleteList(list, 0);
}

}  // namespace
