// The barracks' rules without a screen, with a scripted asker: equipping
// (the kind-by-unit-type matrix and its refusals), taking and giving back
// (both lists in step), the class of armour, recruiting, the seven army
// operations, training, EXIT putting back what the operations changed, and
// writing the four files: figures byte for byte, all or none.
#include "screens/military/kaserne.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gamedata/weapons.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kOwn = 1001, kX = 6400, kY = 3200;

// The asker: records every box, answers from scripts.
struct Script {
  std::vector<uint32_t> boxes;        // refusals and notices, in order
  std::vector<int32_t> answers;       // yes/no: 1 yes (empty: yes)
  std::vector<std::string> names;     // empty: Escape
  std::vector<int32_t> parts;         // empty: Escape
  std::vector<int32_t> armies;        // index of the second army, empty: Escape
  ListHeader* list = nullptr;
};
Script g;

KaserneAsker Asker() {
  KaserneAsker a{};
  a.user = &g;
  a.refuse = [](void*, uint32_t id) { g.boxes.push_back(id); };
  a.tell = [](void*, uint32_t id) { g.boxes.push_back(id); };
  a.yesNo = [](void*, uint32_t id) {
    g.boxes.push_back(id);
    if (g.answers.empty()) return int32_t{1};
    const int32_t v = g.answers.front();
    g.answers.erase(g.answers.begin());
    return v;
  };
  a.askName = [](void*, uint32_t, uint32_t, char* out, uint32_t size) {
    if (g.names.empty()) return int32_t{0};
    std::snprintf(out, size, "%s", g.names.front().c_str());
    g.names.erase(g.names.begin());
    return int32_t{1};
  };
  a.pickPart = [](void*, Army*) {
    if (g.parts.empty()) return int32_t{-1};
    const int32_t v = g.parts.front();
    g.parts.erase(g.parts.begin());
    return v;
  };
  a.pickArmy = [](void*, ListHeader* armies) -> Army* {
    if (g.armies.empty()) return nullptr;
    const int32_t v = g.armies.front();
    g.armies.erase(g.armies.begin());
    ListNode* n = armies->first;
    for (int32_t i = 0; i < v; ++i) n = n->next;
    return reinterpret_cast<Army*>(n);
  };
  return a;
}

class Barracks : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    fs::create_directories("Data/Cities");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    SetGameDataOwner(kOwn, "Harald");
    RegisterGameDataListTypes();
    g = Script{};
    a_ = Asker();
    d_ = static_cast<KasernenData*>(AllocVec(sizeof(KasernenData), MEMF_PUBLIC | MEMF_CLEAR));
    d_->ArmeeListe = CreateList(LIST_ARMIES);
    d_->WaffenListe = CreateList(LIST_WEAPONS);
    d_->WarenListe = CreateList(LIST_GOODS);
    d_->Stadt = CreateTown(1, "Elmor", kX, kY);
    d_->Stadt->TownPopulation = 5000;
    d_->Einwohner = 10000;
    d_->LandGlaube = 70;
    d_->KasernenTyp = UNIT_INFANTRY;
    d_->selLeft = d_->prevLeft = d_->selRight = d_->prevRight = -1;
  }
  void TearDown() override {
    FreeKasernenData(d_);
    FileFailWritesAfter(-1);
    ResetChunkPoolState();
  }
  // Goods in store (and the weapons list made from them).
  void Store(uint32_t goods_type, uint32_t quantity) {
    auto* w = reinterpret_cast<WarenListenEntry*>(AllocListNode(d_->WarenListe));
    w->kind = 5;
    w->owner = kOwn;
    w->goods = goods_type;
    w->quantity = quantity;
    AddNode(d_->WarenListe, &w->head, LN_TAIL, 0);
    DeleteList(d_->WaffenListe, 0);
    d_->WaffenListe = CreateList(LIST_WEAPONS);
    ConvertWare2Waffe(d_->WarenListe, d_->WaffenListe);
  }
  uint32_t Stock(uint32_t goods_type) const {
    ListNode* n = d_->WarenListe->first;
    for (uint32_t i = 0; i < d_->WarenListe->count; ++i, n = n->next) {
      const auto* w = reinterpret_cast<const WarenListenEntry*>(n);
      if (w->kind == 5 && w->goods == goods_type) return w->quantity;
    }
    return 0;
  }
  uint32_t Items(uint32_t id) const {
    const WaffenListEntry* w = FindWaffe(d_->WaffenListe, id);
    return w ? w->def.Anzahl : 0;
  }
  Army* NewArmy(const char* name, uint32_t type, uint32_t men, uint32_t x = kX, uint32_t y = kY) {
    auto* army = reinterpret_cast<Army*>(AllocListNode(d_->ArmeeListe));
    army->X = x;
    army->Y = y;
    army->Besitzer = kOwn;
    std::snprintf(army->ArmyName, sizeof army->ArmyName, "%s", name);
    army->parts = CreateList(LIST_ARMY_PARTS);
    AddNode(d_->ArmeeListe, &army->head, LN_TAIL, 0);
    AddPart(army, type, men);
    return army;
  }
  ArmeeTyp* AddPart(Army* army, uint32_t type, uint32_t men) {
    auto* p = reinterpret_cast<ArmeeTyp*>(AllocListNode(army->parts));
    p->Typ = type;
    p->Leute = men;
    AddNode(army->parts, &p->head, LN_TAIL, 0);
    ++army->ArmeeTypAnzahl;
    return p;
  }
  static ArmeeTyp* Part(Army* army, uint32_t k = 0) {
    ListNode* n = army->parts->first;
    while (k--) n = n->next;
    return reinterpret_cast<ArmeeTyp*>(n);
  }
  // Equips the part with id (selected as the user does it).
  KaserneOutcome Equip(Army* army, ArmeeTyp* part, uint32_t id) {
    d_->selArmy = army;
    d_->selPart = part;
    d_->selWeapon = id;
    return ArmyWeaponsInsertInArmy(d_, &a_);
  }
  KasernenData* d_ = nullptr;
  KaserneAsker a_{};
};

TEST_F(Barracks, TheEquipMatrix) {
  // kind x unit type: the refusal, or the slot that takes it (0: none).
  struct Case {
    uint32_t id, type, refused;
    uint32_t ArmeeTyp::*slot;
    bool both;
  } const kCases[] = {
      {27, UNIT_ARTILLERY, 1113, nullptr, false}, {27, UNIT_INFANTRY, 0, &ArmeeTyp::WaffeI, false},
      {27, UNIT_CAVALRY, 0, &ArmeeTyp::WaffeI, false}, {49, UNIT_INFANTRY, 935, nullptr, false},
      {51, UNIT_CAVALRY, 0, &ArmeeTyp::WaffeI, false}, {43, UNIT_ARTILLERY, 773, nullptr, false},
      {43, UNIT_INFANTRY, 0, &ArmeeTyp::WaffeI, true}, {43, UNIT_CAVALRY, 773, nullptr, false},
      {4, UNIT_ARTILLERY, 773, nullptr, false},    {4, UNIT_INFANTRY, 0, &ArmeeTyp::WaffeI, true},
      {1, UNIT_INFANTRY, 0, &ArmeeTyp::WaffeI, false}, {3, UNIT_CAVALRY, 0, &ArmeeTyp::WaffeI, true},
      {2, UNIT_CAVALRY, 773, nullptr, false},      {8, UNIT_CAVALRY, 0, &ArmeeTyp::WaffeI, false},
      {9, UNIT_ARTILLERY, 0, &ArmeeTyp::WaffeI, true}, {11, UNIT_INFANTRY, 775, nullptr, false},
      {12, UNIT_CAVALRY, 775, nullptr, false},     {14, UNIT_ARTILLERY, 776, nullptr, false},
      {20, UNIT_INFANTRY, 0, &ArmeeTyp::Ruestung, false}, {13, UNIT_CAVALRY, 0, &ArmeeTyp::Helm, false},
      {21, UNIT_CAVALRY, 0, &ArmeeTyp::Schild, false}, {65, UNIT_CAVALRY, 773, nullptr, false},
      {64, UNIT_CAVALRY, 773, nullptr, false},     {64, UNIT_INFANTRY, 0, &ArmeeTyp::Helm, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.id) + "/" + std::to_string(c.type));
    TearDown();  // a fresh barracks for each case
    SetUp();
    Store(GetWeaponDef(c.id)->goods, 100);
    Army* army = NewArmy("A", c.type, 10);
    const KaserneOutcome out = Equip(army, Part(army), c.id);
    EXPECT_EQ(out.refused, c.refused);
    EXPECT_EQ(g.boxes, c.refused ? std::vector<uint32_t>{c.refused} : std::vector<uint32_t>{});
    if (c.slot) {
      EXPECT_EQ(Part(army)->*c.slot, c.id);
      EXPECT_EQ(Part(army)->WaffeII, c.both ? c.id : 0u);
      const uint32_t left = 100 - ItemsForMen(c.id, 10);  // ten men, each item once
      EXPECT_EQ(Items(c.id), left);
      EXPECT_EQ(Stock(GetWeaponDef(c.id)->goods), left);
    } else {
      EXPECT_EQ(Items(c.id), 100u);
    }
  }
}

TEST_F(Barracks, EquipRefusalsInOrder) {
  Army* army = NewArmy("A", UNIT_INFANTRY, 60);
  d_->selArmy = army;
  EXPECT_EQ(ArmyWeaponsInsertInArmy(d_, &a_).refused, 765u);  // no weapons at all
  Store(23, 50);                                               // 50 short swords
  ListHeader* armies = d_->ArmeeListe;
  d_->ArmeeListe = CreateList(LIST_ARMIES);
  EXPECT_EQ(ArmyWeaponsInsertInArmy(d_, &a_).refused, 766u);
  DeleteList(d_->ArmeeListe, 0);
  d_->ArmeeListe = armies;
  EXPECT_EQ(ArmyWeaponsInsertInArmy(d_, &a_).refused, 767u);  // no weapon chosen
  d_->selWeapon = 27;
  d_->selArmy = nullptr;
  EXPECT_EQ(ArmyWeaponsInsertInArmy(d_, &a_).refused, 768u);
  Army* away = NewArmy("B", UNIT_INFANTRY, 10, kX + 1, kY);
  EXPECT_EQ(Equip(away, Part(away), 27).refused, 732u);
  EXPECT_EQ(Equip(army, nullptr, 27).refused, 769u);           // the army's line
  EXPECT_EQ(Equip(army, Part(army), 27).refused, 770u);        // 60 men, 50 swords
  EXPECT_EQ(Items(27), 50u);
}

TEST_F(Barracks, HandsSlotsAndTwoIdenticalSwords) {
  Store(23, 100);  // short swords
  Store(22, 100);  // axes
  Store(27, 100);  // claymores (two hands)
  Army* army = NewArmy("A", UNIT_INFANTRY, 40);
  ArmeeTyp* p = Part(army);
  EXPECT_TRUE(Equip(army, p, 27).done);
  EXPECT_TRUE(Equip(army, p, 27).done);  // a second sword of the same kind
  EXPECT_EQ(Items(27), 20u);
  EXPECT_EQ(Equip(army, p, 26).refused, 771u);
  EXPECT_EQ(Equip(army, p, 43).refused, 772u);
  // Supplying 40 more men needs 80 swords: 20 are left, nothing is taken.
  d_->Einheiten = 40;
  g.parts = {0};
  EXPECT_EQ(ArmyManagmentSupplyPart(d_, &a_).refused, 751u);
  EXPECT_EQ(Items(27), 20u);
  EXPECT_EQ(p->Leute, 40u);
  // Taking the first weapon leaves the second.
  EXPECT_TRUE(ArmyWeaponsRemoveFromArmy(d_, SHOWN_WEAPON1, &a_).done);
  EXPECT_EQ(p->WaffeI, 0u);
  EXPECT_EQ(p->WaffeII, 27u);
  EXPECT_EQ(Items(27), 60u);
  EXPECT_EQ(Stock(23), 60u);
}

TEST_F(Barracks, SiegeWeaponsAndTheLongbow) {
  Store(7, 25);  // small ballistas: 25 serve 50 men
  Army* big = NewArmy("Big", UNIT_ARTILLERY, 51);
  EXPECT_EQ(Equip(big, Part(big), 9).refused, 770u);
  Army* art = NewArmy("Art", UNIT_ARTILLERY, 50);
  EXPECT_TRUE(Equip(art, Part(art), 9).done);
  EXPECT_EQ(Part(art)->WaffeI, 9u);
  EXPECT_EQ(Part(art)->WaffeII, 9u);
  EXPECT_EQ(FindWaffe(d_->WaffenListe, 9), nullptr);  // all 25 taken: the entry left
  EXPECT_EQ(Stock(7), 0u);
  EXPECT_EQ(d_->selWeapon, 0u);                        // and the choice with it
  // Given back for 50 men: 25 in a new entry and a new goods record.
  d_->selArmy = art;
  d_->selPart = Part(art);
  EXPECT_TRUE(ArmyWeaponsRemoveFromArmy(d_, SHOWN_WEAPON2, &a_).done);
  EXPECT_EQ(Part(art)->WaffeI, 0u);
  EXPECT_EQ(Items(9), 25u);
  EXPECT_EQ(Stock(7), 25u);
  // A siege weapon for one man gives back nothing and makes no record.
  EXPECT_EQ(ArmyWeaponsAddWeapon2List(d_, 10, 2), 1);
  EXPECT_EQ(FindWaffe(d_->WaffenListe, 10), nullptr);
  EXPECT_EQ(Stock(8), 0u);
  // A longbow fills both hands and is taken and given back once per man.
  Store(45, 30);
  Army* bows = NewArmy("Bows", UNIT_INFANTRY, 20);
  EXPECT_TRUE(Equip(bows, Part(bows), 4).done);
  EXPECT_EQ(Items(4), 10u);
  EXPECT_TRUE(ArmyWeaponsRemoveFromArmy(d_, SHOWN_WEAPON1, &a_).done);
  EXPECT_EQ(Items(4), 30u);
  EXPECT_EQ(Stock(45), 30u);
}

TEST_F(Barracks, AMissingGoodsRecordChangesNeitherList) {
  Store(23, 100);
  Army* army = NewArmy("A", UNIT_INFANTRY, 10);
  // The goods record goes, the weapon entry stays.
  RemoveNode(d_->WarenListe, LN_HEAD, 0, 0);
  EXPECT_TRUE(Equip(army, Part(army), 27).failed);
  EXPECT_EQ(Part(army)->WaffeI, 0u);
  EXPECT_EQ(Items(27), 100u);
}

TEST_F(Barracks, UnequipAll) {
  Store(77, 10);  // two handed swords
  Store(16, 10);  // plate armour
  Store(10, 10);  // helmets
  Army* army = NewArmy("A", UNIT_INFANTRY, 10);
  ArmeeTyp* p = Part(army);
  EXPECT_TRUE(Equip(army, p, 44).done);
  EXPECT_TRUE(Equip(army, p, 20).done);
  EXPECT_TRUE(Equip(army, p, 13).done);
  EXPECT_EQ(p->RuestungsKlasse, 8u);
  g.boxes.clear();
  g.answers = {0};  // no
  EXPECT_FALSE(ArmyWeaponsRemoveFromArmy(d_, SHOWN_PEOPLE, &a_).done);
  EXPECT_TRUE(ArmyWeaponsRemoveFromArmy(d_, SHOWN_PEOPLE, &a_).done);
  EXPECT_EQ(g.boxes, (std::vector<uint32_t>{1153, 1153}));
  EXPECT_EQ(p->WaffeI | p->WaffeII | p->Ruestung | p->Helm | p->Schild, 0u);
  EXPECT_EQ(p->RuestungsKlasse, 0u);
  EXPECT_EQ(Items(44), 10u);
  EXPECT_EQ(Items(20), 10u);
  EXPECT_EQ(Items(13), 10u);
  EXPECT_EQ(ArmyWeaponsRemoveFromArmy(d_, SHOWN_WEAPON1, &a_).refused, 778u);
  EXPECT_EQ(ArmyWeaponsRemoveFromArmy(d_, SHOWN_WEAPON2, &a_).refused, 779u);
  EXPECT_EQ(ArmyWeaponsRemoveFromArmy(d_, SHOWN_TYPE, &a_).refused, 777u);
  EXPECT_EQ(ArmyWeaponsRemoveFromArmy(d_, SHOWN_EXHAUSTION, &a_).refused, 777u);
  EXPECT_FALSE(ArmyWeaponsRemoveFromArmy(d_, SHOWN_EXPERIENCE, &a_).done);
}

TEST_F(Barracks, RequestersNeedTheirBuildings) {
  d_->KasernenTyp = UNIT_INFANTRY;
  EXPECT_EQ(KaserneOpenRefusal(d_, KASERNE_MANAGEMENT), 0u);
  d_->KasernenTyp = UNIT_ARTILLERY;
  EXPECT_EQ(KaserneOpenRefusal(d_, KASERNE_MANAGEMENT), 1114u);
  d_->Stadt->buildings[57].flags = BUILDING_STANDS;
  EXPECT_EQ(KaserneOpenRefusal(d_, KASERNE_MANAGEMENT), 0u);
  d_->KasernenTyp = UNIT_CAVALRY;
  EXPECT_EQ(KaserneOpenRefusal(d_, KASERNE_MANAGEMENT), 1114u);
  d_->Stadt->buildings[27].flags = BUILDING_STANDS;
  EXPECT_EQ(KaserneOpenRefusal(d_, KASERNE_MANAGEMENT), 0u);
  EXPECT_EQ(KaserneOpenRefusal(d_, KASERNE_TRAINING), 1034u);
  d_->Stadt->buildings[48].flags = BUILDING_STANDS;
  EXPECT_EQ(KaserneOpenRefusal(d_, KASERNE_TRAINING), 0u);
  EXPECT_EQ(KaserneOpenRefusal(d_, KASERNE_WEAPONS), 0u);
}

TEST_F(Barracks, ClassOfArmour) {
  const std::pair<uint32_t, uint32_t> armour[] = {{14, 2}, {15, 1}, {16, 3}, {17, 4}, {18, 5}, {19, 6},
                                                  {20, 7}, {65, 8}, {69, 8}, {13, 0}, {0, 0}};
  const std::pair<uint32_t, uint32_t> helmet[] = {{13, 1}, {58, 2}, {61, 2}, {63, 2}, {67, 2},
                                                  {64, 3}, {66, 3}, {68, 3}, {14, 0}, {0, 0}};
  const std::pair<uint32_t, uint32_t> shield[] = {{21, 1}, {22, 2}, {23, 3}, {59, 3}, {24, 4}, {13, 0}, {0, 0}};
  ArmeeTyp p{};
  for (auto r : armour)
    for (auto h : helmet)
      for (auto s : shield) {
        p.Ruestung = r.first;
        p.Helm = h.first;
        p.Schild = s.first;
        CalcArmourClass(&p);
        EXPECT_EQ(p.RuestungsKlasse, r.second + h.second + s.second) << r.first << " " << h.first << " " << s.first;
      }
}

TEST_F(Barracks, Recruiting) {
  d_->Einwohner = 10000;  // 100 a percent
  d_->Prozent = 10;
  d_->Soldaten = 600;
  d_->Rekruten = 400;
  d_->Stadt->TownPopulation = 2000;
  EXPECT_EQ(RecruitLimitPercent(d_->Stadt), 10u);
  EXPECT_FALSE(ArmyManagmentRecruit(d_, "R100", &a_).done);  // the limit without buildings 96, 163
  d_->Stadt->buildings[96].flags = BUILDING_STANDS;
  EXPECT_EQ(RecruitLimitPercent(d_->Stadt), 15u);
  EXPECT_TRUE(ArmyManagmentRecruit(d_, "R100", &a_).done);
  EXPECT_EQ(g.boxes, (std::vector<uint32_t>{1321}));  // the holy war, once
  EXPECT_EQ(d_->Prozent, 11);
  EXPECT_EQ(d_->Rekruten, 500);
  EXPECT_TRUE(ArmyManagmentRecruit(d_, "R100", &a_).done);
  EXPECT_EQ(g.boxes.size(), 1u);
  d_->Stadt->buildings[163].flags = BUILDING_STANDS;
  EXPECT_EQ(RecruitLimitPercent(d_->Stadt), 20u);
  // The units formed must live in the town.
  d_->Einheiten = 60;
  d_->Stadt->TownPopulation = 50;
  EXPECT_EQ(ArmyManagmentCreateNewArmy(d_, &a_).refused, 1330u);
  d_->Einheiten = 0;
  d_->Stadt->TownPopulation = 2000;
  g.boxes.pop_back();
  // Too few people in the town: 1330, the recruits are the town's people.
  d_->Stadt->TownPopulation = 650;
  EXPECT_TRUE(ArmyManagmentRecruit(d_, "R100", &a_).done);
  EXPECT_EQ(g.boxes.back(), 1330u);
  EXPECT_EQ(d_->Rekruten, 650);
  EXPECT_EQ(d_->Prozent, 12);
  // Lowering: refused without a box while the soldiers need the percentage.
  d_->Soldaten = 1150;
  const size_t boxes = g.boxes.size();
  EXPECT_FALSE(ArmyManagmentRecruit(d_, "L100", &a_).done);
  EXPECT_EQ(d_->Prozent, 12);
  EXPECT_EQ(g.boxes.size(), boxes);
  d_->Soldaten = 1100;
  EXPECT_TRUE(ArmyManagmentRecruit(d_, "L100", &a_).done);
  EXPECT_EQ(d_->Prozent, 11);
  // Units: 40 recruits are too few; 55 give 50 and 5; then the last 5.
  d_->Rekruten = 40;
  EXPECT_EQ(ArmyManagmentRecruit(d_, "R101", &a_).refused, 726u);
  d_->Rekruten = 55;
  EXPECT_TRUE(ArmyManagmentRecruit(d_, "R101", &a_).done);
  EXPECT_EQ(d_->Einheiten, 50);
  EXPECT_EQ(d_->Rekruten, 5);
  EXPECT_TRUE(ArmyManagmentRecruit(d_, "R101", &a_).done);
  EXPECT_EQ(d_->Einheiten, 55);
  EXPECT_EQ(d_->Rekruten, 0);
  EXPECT_TRUE(ArmyManagmentRecruit(d_, "L101", &a_).done);  // 55: all back
  EXPECT_EQ(d_->Einheiten, 0);
  EXPECT_EQ(d_->Rekruten, 55);
  d_->Rekruten = 0;
  d_->Einheiten = 60;
  EXPECT_TRUE(ArmyManagmentRecruit(d_, "L101", &a_).done);  // 60: ten back
  EXPECT_EQ(d_->Einheiten, 50);
  EXPECT_EQ(d_->Rekruten, 10);
  // Typed: 45 gives none, 5000 of 300 gives 300.
  d_->Rekruten = 300;
  d_->Einheiten = 0;
  ArmyManagmentEnterUnits(d_, 45);
  EXPECT_EQ(d_->Einheiten, 0);
  EXPECT_EQ(d_->Rekruten, 300);
  ArmyManagmentEnterUnits(d_, 5000);
  EXPECT_EQ(d_->Einheiten, 300);
  EXPECT_EQ(d_->Rekruten, 0);
  ArmyManagmentEnterUnits(d_, -7);
  EXPECT_EQ(d_->Einheiten, 0);
  EXPECT_EQ(d_->Rekruten, 300);
}

TEST_F(Barracks, ANewArmyAndItsName) {
  EXPECT_EQ(ArmyManagmentCreateNewArmy(d_, &a_).refused, 727u);
  d_->Einheiten = 80;
  d_->Soldaten = 100;
  EXPECT_FALSE(ArmyManagmentCreateNewArmy(d_, &a_).done);  // Escape at the name
  EXPECT_EQ(d_->ArmeeListe->count, 0u);
  NewArmy("The Guard of the North", UNIT_INFANTRY, 10);  // stored as 19 characters
  g.names = {"The Guard of the NorthWest", "Riders"};
  EXPECT_TRUE(ArmyManagmentCreateNewArmy(d_, &a_).done);
  EXPECT_EQ(g.boxes, (std::vector<uint32_t>{727, 1333}));
  ASSERT_EQ(d_->ArmeeListe->count, 2u);
  Army* army = d_->selArmy;
  EXPECT_STREQ(army->ArmyName, "Riders");
  EXPECT_EQ(army->Glaube, 70u);
  EXPECT_EQ(army->X, kX);
  EXPECT_EQ(Part(army)->Leute, 80u);
  EXPECT_EQ(Part(army)->Typ, UNIT_INFANTRY);
  EXPECT_EQ(d_->Einheiten, 0);
  EXPECT_EQ(d_->Soldaten, 180u);
  EXPECT_EQ(d_->Sold, 180u * 25);
  EXPECT_EQ(d_->Stadt->TownPopulation, 4920u);
  g.names = {std::string(40, 'x')};
  d_->Einheiten = 50;
  EXPECT_TRUE(ArmyManagmentCreateNewArmy(d_, &a_).done);
  EXPECT_EQ(std::string(d_->selArmy->ArmyName), std::string(19, 'x'));
}

TEST_F(Barracks, JoinSplitRenameAndTheirRefusals) {
  EXPECT_EQ(ArmyManagmentJoinArmies(d_, &a_).refused, 735u);
  Army* a = NewArmy("A", UNIT_INFANTRY, 50);
  a->ArmeeID = 5;
  Army* b = NewArmy("B", UNIT_CAVALRY, 30);
  AddPart(b, UNIT_INFANTRY, 20);
  EXPECT_EQ(ArmyManagmentJoinArmies(d_, &a_).refused, 736u);
  d_->selArmy = a;
  EXPECT_FALSE(ArmyManagmentJoinArmies(d_, &a_).done);  // Escape at the choice
  g.armies = {0};
  EXPECT_EQ(ArmyManagmentJoinArmies(d_, &a_).refused, 737u);
  b->Training = 2;
  g.armies = {1};
  EXPECT_EQ(ArmyManagmentJoinArmies(d_, &a_).refused, 733u);
  b->Training = 0;
  g.armies = {1};
  g.names = {"AB"};
  EXPECT_TRUE(ArmyManagmentJoinArmies(d_, &a_).done);
  ASSERT_EQ(d_->ArmeeListe->count, 1u);
  EXPECT_STREQ(a->ArmyName, "AB");
  EXPECT_EQ(a->ArmeeID, 5u);
  EXPECT_EQ(a->ArmeeTypAnzahl, 3u);
  EXPECT_EQ(a->parts->count, 3u);
  EXPECT_EQ(d_->selArmy, nullptr);
  // Split the cavalry off.
  EXPECT_EQ(ArmyManagmentSplitArmy(d_, &a_).refused, 731u);
  d_->selArmy = a;
  g.parts = {1};
  g.answers = {0};
  EXPECT_FALSE(ArmyManagmentSplitArmy(d_, &a_).done);  // declined
  g.parts = {1};
  g.names = {"C"};
  EXPECT_TRUE(ArmyManagmentSplitArmy(d_, &a_).done);
  ASSERT_EQ(d_->ArmeeListe->count, 2u);
  Army* c = reinterpret_cast<Army*>(d_->ArmeeListe->first->next);
  EXPECT_STREQ(c->ArmyName, "C");
  EXPECT_EQ(c->ArmeeID, 0u);
  EXPECT_EQ(Part(c)->Typ, UNIT_CAVALRY);
  EXPECT_EQ(a->ArmeeTypAnzahl, 2u);
  d_->selArmy = c;
  EXPECT_EQ(ArmyManagmentSplitArmy(d_, &a_).refused, 740u);
  g.names = {"AB", "Renamed"};
  EXPECT_TRUE(ArmyManagmentRenameArmy(d_, &a_).done);
  EXPECT_STREQ(c->ArmyName, "Renamed");
  c->X = 1;
  EXPECT_EQ(ArmyManagmentRenameArmy(d_, &a_).refused, 732u);
}

TEST_F(Barracks, DemobilizingGivesBackMenAndSwords) {
  Store(23, 120);
  Army* army = NewArmy("A", UNIT_INFANTRY, 120);
  EXPECT_TRUE(Equip(army, Part(army), 27).done);
  EXPECT_EQ(Items(27), 0u);
  d_->Soldaten = 120;
  d_->Rekruten = 0;
  const uint32_t town = d_->Stadt->TownPopulation;
  d_->selArmy = army;
  g.answers = {0};
  EXPECT_FALSE(ArmyManagmentDemobilize(d_, &a_).done);
  EXPECT_TRUE(ArmyManagmentDemobilize(d_, &a_).done);
  EXPECT_EQ(d_->ArmeeListe->count, 0u);
  EXPECT_EQ(Items(27), 120u);
  EXPECT_EQ(Stock(23), 120u);
  EXPECT_EQ(d_->Rekruten, 120);
  EXPECT_EQ(d_->Soldaten, 0u);
  EXPECT_EQ(d_->Stadt->TownPopulation, town + 120);
  EXPECT_EQ(d_->selArmy, nullptr);
}

// With the goods file damaged nothing can go into store or come out of it:
// equipping, unequipping, disbanding an equipped army and supplying an
// equipped part are refused and change nothing; an unequipped army still goes.
TEST_F(Barracks, ADamagedGoodsFileRefusesWhatNeedsTheStore) {
  Store(23, 120);
  Army* army = NewArmy("A", UNIT_INFANTRY, 120);
  EXPECT_TRUE(Equip(army, Part(army), 27).done);
  Army* bare = NewArmy("B", UNIT_INFANTRY, 50);
  d_->goodsDamaged = 1;
  g.boxes.clear();
  EXPECT_EQ(Equip(army, Part(army), 27).refused, KASERNE_NEEDS_GOODS);
  d_->selArmy = army;
  d_->selPart = Part(army);
  EXPECT_EQ(ArmyWeaponsRemoveFromArmy(d_, SHOWN_PEOPLE, &a_).refused, KASERNE_NEEDS_GOODS);
  EXPECT_EQ(ArmyManagmentDemobilize(d_, &a_).refused, KASERNE_NEEDS_GOODS);
  d_->Einheiten = 50;
  d_->KasernenTyp = UNIT_INFANTRY;
  g.parts = {0};
  EXPECT_EQ(ArmyManagmentSupplyPart(d_, &a_).refused, KASERNE_NEEDS_GOODS);
  EXPECT_EQ(Part(army)->WaffeI, 27u);
  EXPECT_EQ(Part(army)->Leute, 120u);
  EXPECT_EQ(d_->ArmeeListe->count, 2u);
  d_->selArmy = bare;
  g.answers = {1};
  EXPECT_TRUE(ArmyManagmentDemobilize(d_, &a_).done);
  EXPECT_EQ(d_->ArmeeListe->count, 1u);
}

TEST_F(Barracks, SupplyingAPart) {
  Army* army = NewArmy("A", UNIT_INFANTRY, 50);
  Part(army)->Erfahrung = 7;
  Part(army)->Erschoepfung = 9;
  d_->selArmy = army;
  EXPECT_EQ(ArmyManagmentSupplyPart(d_, &a_).refused, 747u);
  d_->Einheiten = 50;
  d_->Soldaten = 50;
  g.parts = {0};
  d_->KasernenTyp = UNIT_CAVALRY;
  EXPECT_EQ(ArmyManagmentSupplyPart(d_, &a_).refused, 750u);
  d_->KasernenTyp = UNIT_INFANTRY;
  g.parts = {0};
  EXPECT_TRUE(ArmyManagmentSupplyPart(d_, &a_).done);
  EXPECT_EQ(g.boxes, (std::vector<uint32_t>{747, 748, 750, 748}));
  EXPECT_EQ(Part(army)->Leute, 100u);
  EXPECT_EQ(Part(army)->Erfahrung, 3u);
  EXPECT_EQ(Part(army)->Erschoepfung, 4u);
  EXPECT_EQ(army->Glaube, 70u);
  EXPECT_EQ(d_->Soldaten, 100u);
  EXPECT_EQ(d_->Einheiten, 0);
}

TEST_F(Barracks, Training) {
  Army* army = NewArmy("A", UNIT_INFANTRY, 60);
  AddPart(army, UNIT_INFANTRY, 40);
  AddPart(army, UNIT_CAVALRY, 10);
  EXPECT_EQ(ArmyTrainingDuration(d_, "R200", &a_).refused, 1030u);
  d_->selArmy = army;
  d_->selPart = Part(army);
  for (int i = 0; i < 12; ++i) ArmyTrainingDuration(d_, "R200", &a_);
  EXPECT_EQ(d_->TrainingsRunden, 10u);
  EXPECT_EQ(d_->TrainingsKosten, 6000u);
  d_->selPart = nullptr;
  ArmyTrainingDuration(d_, "L200", &a_);
  EXPECT_EQ(d_->TrainingsKosten, 9u * 10 * 110);
  // One part of three goes into training as an army of its own.
  EXPECT_EQ(ArmyTrainingActivate(d_, 1, 0, &a_).refused, 0u);
  EXPECT_EQ(g.boxes, (std::vector<uint32_t>{1030, 1033}));
  EXPECT_EQ(d_->ArmeeListe->count, 1u);  // no name given: nothing
  EXPECT_EQ(d_->TrainingsRunden, 0u);
  EXPECT_EQ(ArmyTrainingActivate(d_, 1, 0, &a_).refused, 1031u);
  d_->TrainingsRunden = 4;
  g.names = {"Drill"};
  EXPECT_TRUE(ArmyTrainingActivate(d_, 1, 0, &a_).done);
  ASSERT_EQ(d_->ArmeeListe->count, 2u);
  Army* drill = reinterpret_cast<Army*>(d_->ArmeeListe->first->next);
  EXPECT_EQ(drill->Training, 4u);
  EXPECT_EQ(Part(drill)->Leute, 60u);
  EXPECT_EQ(army->ArmeeTypAnzahl, 2u);
  EXPECT_EQ(army->Training, 0u);
  // Ending a training works outside the town as well.
  d_->selArmy = drill;
  drill->X = 1;
  EXPECT_TRUE(ArmyTrainingActivate(d_, 0, -1, &a_).done);
  EXPECT_EQ(drill->Training, 0u);
  d_->TrainingsRunden = 3;
  d_->selArmy = army;
  EXPECT_TRUE(ArmyTrainingActivate(d_, 1, -1, &a_).done);
  EXPECT_EQ(army->Training, 3u);
  d_->TrainingsRunden = 3;
  EXPECT_EQ(ArmyTrainingActivate(d_, 1, -1, &a_).refused, 1032u);
  EXPECT_EQ(d_->TrainingsRunden, 0u);
}

// ---- the files -------------------------------------------------------------

struct Fig {
  uint32_t owner;
  uint16_t type, number;
  uint32_t x, y;
  uint8_t state, points;
};

void Be(std::vector<uint8_t>& b, uint32_t v, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}

// MapPrefs.qoe as it stands on disk: MREF, then MOVE.
std::vector<uint8_t> MapPrefsBytes(const std::vector<Fig>& figs) {
  std::vector<uint8_t> b = {'M', 'R', 'E', 'F', 'V', '0', '0', '1', 0, 0, 0, 16};
  b.resize(28, 0);
  b.insert(b.end(), {'M', 'O', 'V', 'E', 'V', '0', '0', '1'});
  Be(b, 2 + 18 * static_cast<uint32_t>(figs.size()), 4);
  Be(b, static_cast<uint32_t>(figs.size()), 2);
  for (const Fig& f : figs) {
    Be(b, f.owner, 4);
    Be(b, f.type, 2);
    Be(b, f.number, 2);
    Be(b, f.x, 4);
    Be(b, f.y, 4);
    b.push_back(f.state);
    b.push_back(f.points);
  }
  return b;
}

class BarracksFiles : public Barracks {
 protected:
  void SetUp() override {
    Barracks::SetUp();
    TownListEntry e{};
    e.id = 1;
    std::snprintf(e.name, sizeof e.name, "Elmor");
    ASSERT_EQ(WriteTownList(&e, 1), 1);
    ASSERT_EQ(SaveTown(d_->Stadt), 1);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MapPrefs.qoe", MapPrefsBytes(kFigures)));
  }
  const std::vector<Fig> kFigures = {
      {kOwn, 1, 5, kX, kY, 0, 4},        // army A: infantry, all 4 points left
      {kOwn, 1, 6, kX, kY, 0, 2},        // army B: 2 of 4 left
      {kOwn, 2, 7, kX, kY, 0, 4},        // no army any more
      {2002, 1, 8, kX, kY, 0, 4},        // another lord's
      {kOwn, 1, 9, kX + 3, kY, 0, 4},    // army D outside the town
      {kOwn, 14, 10, kX, kY, 0, 6},      // a ship
  };
  std::vector<uint8_t> Bytes(const char* path) const { return qoe_test::ReadFileBytes(path); }
};

TEST_F(BarracksFiles, FiguresFollowTheArmies) {
  Army* a = NewArmy("A", UNIT_CAVALRY, 50);  // infantry becomes cavalry: 4 of 4 -> 10
  a->ArmeeID = 5;
  Army* b = NewArmy("B", UNIT_CAVALRY, 50);  // 2 of 4 -> 5
  b->ArmeeID = 6;
  NewArmy("New", UNIT_INFANTRY, 50);          // a new figure, 0 points
  Army* dd = NewArmy("D", UNIT_CAVALRY, 50, kX + 3, kY);
  dd->ArmeeID = 9;
  Store(23, 40);
  d_->Stadt->TownPopulation = 777;
  ASSERT_EQ(WriteKasernenData(d_), 1);
  EXPECT_EQ(Bytes("Data/MapPrefs.qoe"), MapPrefsBytes({{kOwn, 4, 5, kX, kY, 0, 10},
                                                        {kOwn, 4, 6, kX, kY, 0, 5},
                                                        {2002, 1, 8, kX, kY, 0, 4},
                                                        {kOwn, 1, 9, kX + 3, kY, 0, 4},
                                                        {kOwn, 14, 10, kX, kY, 0, 6},
                                                        {kOwn, 1, 1, kX, kY, 0, 0}}));
  EXPECT_EQ(reinterpret_cast<Army*>(d_->ArmeeListe->first->next->next)->ArmeeID, 1u);
  // ARMY in the outgoing pool, the goods file, the town file.
  LoadedChunk army("ARMY", OutgoingPoolPath);
  ASSERT_NE(army.p, nullptr);
  ListHeader* back = ScanArmy2List(army.p);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->count, 4u);
  DeleteArmyList(back);
  LoadedChunk ware("WARE", ".\\Data\\WarenChunk.qoe");
  ASSERT_NE(ware.p, nullptr);
  EXPECT_EQ(ChunkGet16(ware.p, 12), 1u);
  st_TOWN* town = GetActiveTown(1);
  ASSERT_NE(town, nullptr);
  EXPECT_EQ(town->TownPopulation, 777u);
  FreeVec(town);
  // No army left: ARMY leaves the outgoing pool; every figure in the town goes.
  DeleteArmyList(d_->ArmeeListe);
  d_->ArmeeListe = CreateList(LIST_ARMIES);
  ASSERT_EQ(WriteKasernenData(d_), 1);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_ARMY), OutgoingPoolPath), 0);
  EXPECT_EQ(Bytes("Data/MapPrefs.qoe"), MapPrefsBytes({{2002, 1, 8, kX, kY, 0, 4},
                                                        {kOwn, 1, 9, kX + 3, kY, 0, 4},
                                                        {kOwn, 14, 10, kX, kY, 0, 6}}));
}

TEST_F(BarracksFiles, AFailedWriteChangesNoFile) {
  Army* a = NewArmy("A", UNIT_CAVALRY, 50);
  a->ArmeeID = 5;
  NewArmy("New", UNIT_INFANTRY, 50);
  Store(23, 40);
  ASSERT_EQ(WriteKasernenData(d_), 1);  // every file there once
  const auto files = qoe_test::FileTree("Data");
  NewArmy("More", UNIT_INFANTRY, 70);
  d_->Stadt->TownPopulation = 1;
  for (int64_t budget : {0, 100, 2000, 14000}) {
    FileFailWritesAfter(budget);
    EXPECT_EQ(WriteKasernenData(d_), 0) << budget;
    FileFailWritesAfter(-1);
    EXPECT_EQ(qoe_test::FileTree("Data"), files) << budget;
    EXPECT_EQ(reinterpret_cast<Army*>(d_->ArmeeListe->first->next->next)->ArmeeID, 0u);
  }
}

TEST_F(BarracksFiles, ExitPutsBackWhatTheOperationsChanged) {
  Store(23, 100);
  ASSERT_EQ(WriteKasernenData(d_), 1);
  const auto town = Bytes("Data/Cities/Elmor.qoe");
  const auto goods = Bytes("Data/WarenChunk.qoe");
  // A requester: a new army equipped with swords, then EXIT.
  KaserneRequesterOpened(d_);
  d_->Einheiten = 60;
  g.names = {"Gone"};
  ASSERT_TRUE(ArmyManagmentCreateNewArmy(d_, &a_).done);
  ASSERT_TRUE(Equip(d_->selArmy, Part(d_->selArmy), 27).done);
  EXPECT_EQ(Items(27), 40u);
  KaserneRequesterExit(d_);
  EXPECT_EQ(Items(27), 100u);
  EXPECT_EQ(d_->Stadt->TownPopulation, 5000u);
  // The next OK writes the town and the goods as they were.
  d_->ArmeeListe = CreateList(LIST_ARMIES);
  ASSERT_EQ(WriteKasernenData(d_), 1);
  EXPECT_EQ(Bytes("Data/Cities/Elmor.qoe"), town);
  EXPECT_EQ(Bytes("Data/WarenChunk.qoe"), goods);
}

TEST_F(BarracksFiles, ReadingTheArmiesAndTheCounters) {
  NewArmy("A", UNIT_INFANTRY, 150);
  ASSERT_EQ(WriteKasernenData(d_), 1);
  DeleteArmyList(d_->ArmeeListe);
  d_->ArmeeListe = nullptr;
  d_->Einwohner = 10000;
  d_->Stadt->TownPopulation = 20;
  ASSERT_EQ(ReadKasernenData(d_, 0), 1);
  EXPECT_EQ(d_->ArmeeListe->count, 1u);
  EXPECT_EQ(d_->Soldaten, 150u);
  EXPECT_EQ(d_->Prozent, 2);      // 1.5 rounded up
  EXPECT_EQ(d_->Sold, 3750u);
  EXPECT_EQ(d_->Rekruten, 20);    // 50, cut to the town's people
  EXPECT_EQ(GetArmyFigurState(reinterpret_cast<Army*>(d_->ArmeeListe->first)), 0);
  d_->Einwohner = 0;              // no people: no division
  ASSERT_EQ(ReadKasernenData(d_, 0), 1);
  EXPECT_EQ(d_->Prozent, 0);
  EXPECT_EQ(d_->Rekruten, 0);
  FreeVec(d_->Stadt);
  d_->Stadt = nullptr;
  EXPECT_EQ(ReadKasernenData(d_, 0), 0);  // no town: the requesters do not open
}

// A figure file that cannot be used (cut short, a count past its end,
// missing, a folder in its place) is found as the record is made; every
// order that needs an army's figure is refused (and changes nothing), the
// rest is done, and the write writes nothing in the file's place.
TEST_F(BarracksFiles, AFigureFileThatCannotBeUsedRefusesWhatNeedsTheFiguresAndIsNeverWritten) {
  const std::vector<uint8_t> good = MapPrefsBytes(kFigures);
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = qoe_test::LayFigureFile(c, good, 100);
    KasernenData* read = InitKasernenScreen();
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->figuresDamaged, qoe_test::FigureFileGone(c) ? FIGURE_FILE_MISSING : FIGURE_FILE_DAMAGED);
    d_->figuresDamaged = read->figuresDamaged;
    FreeKasernenData(read);
    if (c.fault == qoe_test::kFigureFileCases[0].fault) Store(23, 100);
    Army* a = NewArmy("A", UNIT_INFANTRY, 50);
    a->ArmeeID = 5;
    AddPart(a, UNIT_INFANTRY, 10);
    Army* b = NewArmy("B", UNIT_INFANTRY, 50);
    b->ArmeeID = 6;
    d_->Einheiten = 50;
    struct Order {
      const char* name;
      std::function<KaserneOutcome()> run;
    };
    const Order refused[] = {
        {"form", [&] { return ArmyManagmentCreateNewArmy(d_, &a_); }},
        {"add a part", [&] { return d_->selArmy = a, ArmyManagmentInsertInArmy(d_, &a_); }},
        {"join", [&] { return d_->selArmy = a, ArmyManagmentJoinArmies(d_, &a_); }},
        {"split", [&] { return d_->selArmy = a, ArmyManagmentSplitArmy(d_, &a_); }},
        {"disband", [&] { return d_->selArmy = b, ArmyManagmentDemobilize(d_, &a_); }},
        {"reinforce", [&] { return d_->selArmy = a, ArmyManagmentSupplyPart(d_, &a_); }},
        {"equip", [&] { return Equip(a, Part(a), 27); }},
        {"unequip", [&] { return d_->selPart = Part(a), ArmyWeaponsRemoveFromArmy(d_, SHOWN_PEOPLE, &a_); }},
        {"train a part apart", [&] { return d_->TrainingsRunden = 2, d_->selArmy = a, ArmyTrainingActivate(d_, 1, 1, &a_); }},
    };
    for (const Order& o : refused) {
      g = Script{};
      g.names = {"X"};
      g.parts = {0};
      g.armies = {1};
      const KaserneOutcome out = o.run();
      EXPECT_EQ(out.refused, KASERNE_NEEDS_FIGURES) << o.name;
      EXPECT_FALSE(out.done) << o.name;
    }
    EXPECT_EQ(d_->ArmeeListe->count, 2u);
    EXPECT_EQ(a->parts->count, 2u);
    EXPECT_EQ(Part(a)->WaffeI, 0u);
    EXPECT_EQ(Items(27), 100u);
    // Renaming and training a whole army need no figure.
    g = Script{};
    g.names = {"Garde"};
    d_->selArmy = a;
    EXPECT_TRUE(ArmyManagmentRenameArmy(d_, &a_).done);
    d_->TrainingsRunden = 2;
    EXPECT_TRUE(ArmyTrainingActivate(d_, 1, -1, &a_).done);
    ASSERT_EQ(WriteKasernenData(d_), 1);
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, bytes));
    LoadedChunk army("ARMY", OutgoingPoolPath);
    ASSERT_NE(army.p, nullptr);
    // An army without a figure number would need a new figure: nothing is written.
    const auto files = qoe_test::FileTree("Data");
    NewArmy("New", UNIT_INFANTRY, 50);
    EXPECT_EQ(WriteKasernenData(d_), 0);
    EXPECT_EQ(qoe_test::FileTree("Data"), files);
    DeleteArmyList(d_->ArmeeListe);
    d_->ArmeeListe = CreateList(LIST_ARMIES);
  }
}

TEST_F(BarracksFiles, AnArmyOnBoardCannotBeJoinedOrSplit) {
  Army* a = NewArmy("A", UNIT_INFANTRY, 50);
  a->ArmeeID = 5;
  AddPart(a, UNIT_INFANTRY, 10);
  Army* b = NewArmy("B", UNIT_INFANTRY, 50);
  b->ArmeeID = 6;
  std::vector<Fig> figs = kFigures;
  figs[1].state = KASERNE_ON_BOARD;  // B's figure is aboard a ship
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MapPrefs.qoe", MapPrefsBytes(figs)));
  EXPECT_EQ(GetArmyFigurState(b), 7);
  d_->selArmy = a;
  g.armies = {1};
  EXPECT_EQ(ArmyManagmentJoinArmies(d_, &a_).refused, 1240u);
  d_->selArmy = b;
  AddPart(b, UNIT_INFANTRY, 10);
  EXPECT_EQ(ArmyManagmentSplitArmy(d_, &a_).refused, 1240u);
  d_->Einheiten = 50;
  EXPECT_EQ(ArmyManagmentSupplyPart(d_, &a_).refused, 1240u);
  EXPECT_EQ(ArmyManagmentDemobilize(d_, &a_).refused, 1240u);
}

}  // namespace
