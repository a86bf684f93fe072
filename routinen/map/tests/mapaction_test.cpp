// The map screen's actions and person events: the KRIG append (new chunk,
// second entry, damaged chunks), the herb finds and their merging into HERB
// and WARE, the ship range rule; then headless visits of the demo realm at
// 1024 x 768 (the map stays built, so the figures can be looked at after)
// and at 640 x 480: attacks confirmed, declined and escaped, a second
// attack, the notices, a move along the path, the cargo of a ship, a herb
// search, a ship's name, a sinking figure, a lost ship and the town
// dialogue, each with the files compared.
#include "routinen/map/tests/map_realm.h"
#include "routinen/map/tests/map_visit.h"
#include "routinen/map/mapaction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/codecs.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/map/map.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapaction_internal.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "routinen/map/mapscreen.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// --- the KRIG append ----------------------------------------------------------------------

FigurRecord Fig(uint32_t owner, uint16_t type, uint16_t number, uint32_t x, uint32_t y, uint8_t state = 0,
                uint8_t points = 0) {
  return FigurRecord{owner, type, number, x, y, state, points};
}

// A KRIG chunk in disk order with count entries of marked bytes, the count
// field and the length as given.
std::vector<uint8_t> DiskKrig(uint32_t entries, uint32_t count_field, uint32_t length) {
  std::vector<uint8_t> c(12 + 4 + 72 * entries, 0);
  std::memcpy(c.data(), "KRIGV001", 8);
  PutBE32(c.data() + 8, length);
  PutBE32(c.data() + 12, count_field);
  for (uint32_t i = 0; i < entries * 72; i++) c[16 + i] = (uint8_t)(i * 7 + 1);
  return c;
}

std::vector<uint8_t> Bytes(const uint8_t* c) { return std::vector<uint8_t>(c, c + 12 + ChunkLength(c)); }

TEST(KriegsAppend, ANewChunkHoldsOneEntryOf88Bytes) {
  const FigurRecord a = Fig(1001, 1, 14, 6398, 3199, 3, 4), t = Fig(2002, 3, 7, 6398, 3200, 0, 4);
  uint8_t* c = KriegsChunkAppend(nullptr, 0, a, t);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(12 + ChunkLength(c), 88u);
  EXPECT_EQ(std::memcmp(c, "KRIGV001", 8), 0);
  EXPECT_EQ(ChunkLength(c), 76u);
  EXPECT_EQ(ChunkGet32(c, 12), 1u);
  KriegsEintrag e;
  ASSERT_EQ(GetKriegsEintrag(c, 0, &e), 1);
  EXPECT_EQ(e.head, 0u);
  EXPECT_EQ(e.attacker.number, 14);
  EXPECT_EQ(e.attacker.state, 3);
  EXPECT_EQ(e.attacker.points, 4);
  EXPECT_EQ(e.target.owner, 2002u);
  EXPECT_EQ(e.target.y, 3200u);
  // Everything after the two records is 0.
  for (uint32_t i = 16 + 40; i < 88; i++) EXPECT_EQ(c[i], 0) << i;
  FreeChunk(c);
}

TEST(KriegsAppend, ASecondEntryKeepsTheFirstByteForByte) {
  const FigurRecord a = Fig(1001, 1, 14, 6398, 3199, 3, 4), t = Fig(2002, 3, 7, 6398, 3200);
  uint8_t* first = KriegsChunkAppend(nullptr, 0, a, t);
  ASSERT_NE(first, nullptr);
  // As the pool holds it: disk order.
  std::vector<uint8_t> disk = Bytes(first);
  ASSERT_EQ(SwapByteOrderInChunk(disk.data(), (uint32_t)disk.size(), 0), 1);
  uint8_t* second = KriegsChunkAppend(disk.data(), (uint32_t)disk.size(), Fig(1001, 5, 12, 6402, 3196, 3, 10), t);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(ChunkLength(second), 148u);
  EXPECT_EQ(ChunkGet32(second, 12), 2u);
  EXPECT_EQ(std::memcmp(second + 16, first + 16, 72), 0);
  KriegsEintrag e;
  ASSERT_EQ(GetKriegsEintrag(second, 1, &e), 1);
  EXPECT_EQ(e.attacker.number, 12);
  FreeChunk(first);
  FreeChunk(second);
}

TEST(KriegsAppend, ACountAboveTheLengthIsCutToWhatTheLengthHolds) {
  // Count 9 in a chunk whose length holds one entry and three bytes more.
  std::vector<uint8_t> old = DiskKrig(1, 9, 4 + 72 + 3);
  old.resize(old.size() + 3, 0xEE);
  uint8_t* c = KriegsChunkAppend(old.data(), (uint32_t)old.size(), Fig(1, 1, 1, 1, 1), Fig(2, 2, 2, 2, 2));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 12), 2u);
  EXPECT_EQ(ChunkLength(c), 148u);
  // The kept entry: the old bytes in host order.
  std::vector<uint8_t> rec(old.begin() + 16, old.begin() + 16 + 72);
  SwapRecord(KriegsEintragCodec, rec.data(), true);
  EXPECT_EQ(std::memcmp(c + 16, rec.data(), 72), 0);
  FreeChunk(c);
}

TEST(KriegsAppend, ALengthPastTheBytesOrBelowTheCountGivesANewChunk) {
  std::vector<uint8_t> old = DiskKrig(2, 2, 4 + 144);
  // Only the header and the count are readable: nothing is copied past them.
  uint8_t* c = KriegsChunkAppend(old.data(), 16, Fig(1, 1, 1, 1, 1), Fig(2, 2, 2, 2, 2));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 12), 1u);
  FreeChunk(c);
  std::vector<uint8_t> tiny = DiskKrig(0, 5, 2);
  c = KriegsChunkAppend(tiny.data(), (uint32_t)tiny.size(), Fig(1, 1, 1, 1, 1), Fig(2, 2, 2, 2, 2));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 12), 1u);
  EXPECT_EQ(ChunkLength(c), 76u);
  FreeChunk(c);
}

TEST(KriegsAppend, TheChunkIsFoundOnlyInAWholePool) {
  std::vector<uint8_t> pool;
  fs::create_directories("Data/POP3Out");
  uint8_t* c = KriegsChunkAppend(nullptr, 0, Fig(1, 1, 1, 1, 1), Fig(2, 2, 2, 2, 2));
  ASSERT_NE(AddChunkPool(c, "Data/POP3Out/GameChunk.qoe"), 0);
  FreeChunk(c);
  uint32_t size = 0;
  uint8_t* image = static_cast<uint8_t*>(LoadFile2MemSize("Data/POP3Out/GameChunk.qoe", MEMF_PUBLIC, &size));
  ASSERT_NE(image, nullptr);
  uint32_t bytes = 0;
  const uint8_t* k = FindChunkInPoolImage(image, size, "KRIG", &bytes);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(bytes, 88u);
  EXPECT_EQ(FindChunkInPoolImage(image, size, "HERB", &bytes), nullptr);
  // A damaged image (its checksum fails) gives nothing.
  image[size - 1] ^= 0xFF;
  EXPECT_EQ(FindChunkInPoolImage(image, size, "KRIG", &bytes), nullptr);
  EXPECT_EQ(FindChunkInPoolImage(image, 11, "KRIG", &bytes), nullptr);
  FreeVec(image);
}

// --- herbs and goods ----------------------------------------------------------------------------

uint32_t g_last_n = 0;
uint32_t MaxRandom(uint32_t n) {
  g_last_n = n;
  return n;
}
uint32_t ZeroRandom(uint32_t n) {
  g_last_n = n;
  return 0;
}

TEST(HerbSearchRules, TheAmountGivesTheRangeOfTheFind) {
  struct Row {
    uint32_t amount, low, high;
  };
  const Row rows[] = {{1, 1, 1}, {50, 1, 1}, {51, 1, 5}, {125, 1, 5}, {126, 1, 9}, {250, 1, 9}, {251, 1, 17}, {9999, 1, 17}};
  for (const Row& r : rows) {
    EXPECT_EQ(HerbFindCount(r.amount, ZeroRandom), r.low) << r.amount;
    EXPECT_EQ(HerbFindCount(r.amount, MaxRandom), r.high) << r.amount;
  }
}

std::vector<KrautEintrag> HerbEntries(const uint8_t* chunk) {
  ListHeader* list = CreateList(LIST_HERBS);
  std::vector<KrautEintrag> out;
  if (list && ScanHerb2List(list, chunk))
    for (ListNode* n = list->first; n && out.size() < list->count; n = n->next)
      out.push_back(*reinterpret_cast<KrautEintrag*>(n));
  DeleteList(list, 0);
  return out;
}

TEST(HerbSearchRules, TwoFindsOfATurnAreBothInHerb) {
  RegisterGameDataListTypes();
  uint8_t* one = HerbChunkWithFind(nullptr, 6404, 3203, 60, 3, 150);
  ASSERT_NE(one, nullptr);
  uint8_t* two = HerbChunkWithFind(one, 6405, 3208, 66, 1, 60);
  ASSERT_NE(two, nullptr);
  uint8_t* three = HerbChunkWithFind(two, 6404, 3203, 60, 2, 150);
  ASSERT_NE(three, nullptr);
  const std::vector<KrautEintrag> e = HerbEntries(three);
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].herb, 60);
  EXPECT_EQ(e[0].found, 5);
  EXPECT_EQ(e[0].amount, 150);
  EXPECT_EQ(e[1].x, 6405u);
  EXPECT_EQ(e[1].found, 1);
  FreeChunk(one);
  FreeChunk(two);
  FreeChunk(three);
}

TEST(HerbSearchRules, TheGoodsGainTheFindInTheOwnStoreRecord) {
  RegisterGameDataListTypes();
  uint8_t* w = WareChunkWithGoods(nullptr, 1001, 60, 3, 1234);
  ASSERT_NE(w, nullptr);
  uint8_t* w2 = WareChunkWithGoods(w, 1001, 60, 4, 9999);
  uint8_t* w3 = WareChunkWithGoods(w2, 1001, 61, 1, 77);
  ASSERT_NE(w3, nullptr);
  ListHeader* list = CreateList(LIST_GOODS);
  ASSERT_TRUE(ScanWare2List(list, w3));
  ASSERT_EQ(list->count, 2u);
  const WarenListenEntry* a = reinterpret_cast<WarenListenEntry*>(list->first);
  const WarenListenEntry* b = reinterpret_cast<WarenListenEntry*>(list->first->next);
  EXPECT_EQ(a->kind, 5);
  EXPECT_EQ(a->owner, 1001u);
  EXPECT_EQ(a->quantity, 7u);
  EXPECT_EQ(a->ident, 1234u);
  EXPECT_EQ(b->goods, 61u);
  EXPECT_EQ(b->ident, 77u);
  DeleteList(list, 0);
  FreeChunk(w);
  FreeChunk(w2);
  FreeChunk(w3);
}

// --- the ship range --------------------------------------------------------------------------------

struct Land {
  int32_t c, r;
};
bool IsLand(void* user, int32_t c, int32_t r) {
  const Land* l = static_cast<const Land*>(user);
  return c == l->c && r == l->r;
}

TEST(ShipRange, RangeThreeKeepsAShipThreeRingsFromLandAndLosesItAtFour) {
  // Land straight north of the ship, n rows up: n rings away.
  for (int32_t n = 1; n <= 6; n++) {
    Land l{100, 60 - n};
    EXPECT_EQ(ShipNearLand(100, 60, 3, IsLand, &l), n <= 3) << n;
  }
  // Every hex round the ship (both column parities): kept when the land's
  // distance is at most the range (at least one ring).
  for (int32_t sc : {100, 101})
    for (uint32_t range : {0u, 1u, 2u, 3u, 5u})
      for (int32_t c = sc - 7; c <= sc + 7; c++)
        for (int32_t r = 60 - 7; r <= 60 + 7; r++) {
          Land l{c, r};
          const int32_t d = HexDistance(sc, 60, c, r);
          EXPECT_EQ(ShipNearLand(sc, 60, range, IsLand, &l), d <= (int32_t)(range < 1 ? 1 : range))
              << sc << " " << range << " " << c << "," << r;
        }
}

TEST(ShipRange, LandOnTheHexOrNextToItAlwaysKeepsTheShip) {
  Land own{50, 50}, next{51, 50};
  EXPECT_TRUE(ShipNearLand(50, 50, 0, IsLand, &own));
  EXPECT_TRUE(ShipNearLand(50, 50, 0, IsLand, &next));
  Land two{50, 48};
  EXPECT_FALSE(ShipNearLand(50, 50, 0, IsLand, &two));
  EXPECT_FALSE(ShipNearLand(50, 50, 1, IsLand, &two));
}

TEST(ShipRange, CapacityFactorsOfTheTradeShips) {
  EXPECT_EQ(ShipCapacity(14), 1u);
  EXPECT_EQ(ShipCapacity(15), 2u);
  EXPECT_EQ(ShipCapacity(16), 3u);
  EXPECT_EQ(ShipCapacity(17), 0u);
  EXPECT_EQ(ShipCapacity(1), 0u);
}

// --- headless visits of the demo realm -----------------------------------------------------------

// The order the figure menu stores (the menu is another part of the screen).
uint32_t g_order = 0;
int32_t StubFigurMenu(KartenScreenRecord* d) {
  if (!d->SelectedFigure) return 0;
  d->SelectedFigure->Status = (uint8_t)g_order;
  return 1;
}

// The boxes of the actions: texts seen, answers given.
struct Boxes {
  std::vector<std::string> texts;
  std::vector<uint32_t> answers;  // questions: 0 yes, 1 no; taken in order, then yes
  int32_t choice = -1;
  const char* name = nullptr;
  uint32_t town_choice = 0;
};
Boxes g_boxes;
uint32_t SeamMessage(uint32_t mode, const char* text) {
  g_boxes.texts.push_back(std::to_string(mode) + ":" + text);
  if (mode != 1) return 0;
  if (g_boxes.answers.empty()) return 0;
  const uint32_t a = g_boxes.answers.front();
  g_boxes.answers.erase(g_boxes.answers.begin());
  return a;
}
int32_t SeamChoose(uint32_t, const char*) { return g_boxes.choice; }
char* SeamInput(char* buffer, uint32_t size) {
  if (!g_boxes.name) return nullptr;
  std::snprintf(buffer, size, "%s", g_boxes.name);
  return g_boxes.name[0] ? buffer : nullptr;
}
uint32_t SeamSwitch(uint32_t, const char* texts) {
  g_boxes.texts.push_back(std::string("switch:") + texts);
  return g_boxes.town_choice;
}
int32_t SeamTextBox(const char* text) {
  g_boxes.texts.push_back(std::string("textbox:") + text);
  return 1;
}

std::string Cat(uint32_t id) { return GetCatalogStr(id); }

struct ModeInfo {
  uint32_t id, w, h;
  int exit_x, exit_y;
};
constexpr ModeInfo k1024{8, 1024, 768, 994, 733};
constexpr ModeInfo k640{0, 640, 480, 530, 458};
constexpr ModeInfo k800{4, 800, 600, 770, 565};
void PrintTo(const ModeInfo& m, std::ostream* os) { *os << m.w << "x" << m.h; }

class MapActionVisit : public testing::Test {
 public:
  ModeInfo mode = k1024;
  bool seams = true;
  void Start(ModeInfo m, bool with_seams = true) {
    mode = m;
    seams = with_seams;
    ASSERT_EQ(HeadlessOpenDisplay(mode.id), 1);
    ResetInputState();
    FillDisplayRecord();
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Karte.dat");
    RegisterGameDataListTypes();
    ASSERT_TRUE(map_test::InstallDemoRealm());
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    FillMapActionHooks(&h);
    h.FigurMenu = StubFigurMenu;
    SetMapScreenHooks(&h);
    g_boxes = Boxes{};
    g_order = 0;
    if (seams) {
      MapActionSeams s{SeamMessage, SeamChoose, SeamInput, SeamSwitch, SeamTextBox};
      SetMapActionSeams(&s);
    }
    view = CentreOnTown(6398, 3199, mode.w, mode.h, mode.w == 640);
  }
  void TearDown() override {
    SetMapActionSeams(nullptr);
    FileFailWritesAfter(-1);
    map_test::EndMapScreenVisits();
  }
  MapCentre view{};
  uint32_t Own() const { return OwnPlayerPtr->PlayerId; }
  // The display point inside world hex (x, y) of the view the screen shows.
  std::string At(int32_t x, int32_t y, const char* button = "left") const {
    const map_test::DisplayPoint p = map_test::HexCentreOnDisplay(mode.w == 640, x - view.x, y - view.y);
    return map_test::ClickAt(p, button);
  }
  // Marks and selects the own figure on the hex.
  // (The town hex the view is centred on is marked when the screen opens.)
  std::string Select(int32_t x, int32_t y) const {
    // A map kept from an earlier visit keeps its marked hex.
    const KartenScreenRecord* d = KartenScreenData;
    const bool kept = d->Status == MAPSCREEN_KEPT;
    const bool marked = x - view.x == (kept ? d->MarkedColumn : view.x_pos) &&
                        y - view.y == (kept ? d->MarkedRow : view.y_pos);
    return marked ? At(x, y) : At(x, y) + At(x, y);
  }
  // The right button on the hex: the figure menu (stub) stores g_order.
  std::string Order(int32_t x, int32_t y) const { return At(x, y, "right"); }
  int32_t Visit(const std::string& script) {
    static int32_t s_result;
    s_result = 99;
    const std::string timed = "move 300 300\ntimer 0 100\nwait 600\n" + script + "wait 300\n" +
                              qoe_test::ClickLine(mode.exit_x, mode.exit_y) + "wait 300\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return s_result = KartenScreen(2, 1), 0; }, nullptr), 0);
    return s_result;
  }
  // The figures of .\Data\MapPrefs.qoe, edited and written back.
  static std::vector<FigurRecord> Figures() {
    LoadedChunk move("MOVE", MapPrefsPath);
    std::vector<FigurRecord> v;
    if (!move.p) return v;
    for (uint32_t i = 0, n = ChunkGet16(move.p, 12); i < n; i++) v.push_back(GetFigurRecord(move.p + 14 + 18 * i));
    return v;
  }
  static void EditFigures(const std::function<void(std::vector<FigurRecord>&)>& fn) {
    std::vector<FigurRecord> v = Figures();
    fn(v);
    ListHeader* list = CreateList(LIST_FIGURES);
    ASSERT_NE(list, nullptr);
    for (const FigurRecord& f : v) {
      MOVE_EXT* e = reinterpret_cast<MOVE_EXT*>(AllocListNode(list));
      e->figure = f;
      AddNode(list, &e->head, LN_TAIL, 0);
    }
    ASSERT_EQ(SaveFigurList2MapPrefs(list), 1);
    DeleteList(list, 0);
  }
  static std::optional<FigurRecord> Find(const std::vector<FigurRecord>& v, uint32_t owner, uint16_t number) {
    for (const FigurRecord& f : v)
      if (f.owner == owner && f.number == number) return f;
    return std::nullopt;
  }
  static std::vector<uint8_t> PoolChunk(const char* id) {
    LoadedChunk c(id, OutgoingPoolPath);
    return c.p ? std::vector<uint8_t>(c.p, c.p + 12 + c.len()) : std::vector<uint8_t>{};
  }
  static std::vector<uint8_t> FileBytes(const char* path) {
    uint32_t size = 0;
    void* p = LoadFile2MemSize(path, MEMF_PUBLIC, &size);
    std::vector<uint8_t> v;
    if (p) v.assign(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + size);
    FreeVec(p);
    return v;
  }
  bool Saw(const std::string& text) const {
    for (const std::string& t : g_boxes.texts)
      if (t == text) return true;
    return false;
  }
  std::string AllTexts() const {
    std::string s;
    for (const std::string& t : g_boxes.texts) s += t + "\n";
    return s;
  }
};

// An enemy army south of the own army 14 at Elmor (6398, 3199).
void PlaceEnemy(std::vector<FigurRecord>& v, uint16_t type = 3) {
  v.push_back(Fig(2002, type, 77, 6398, 3200, 0, 4));
}

TEST_F(MapActionVisit, AConfirmedAttackWritesANewKrigChunkAndTakesThePoints) {
  Start(k1024);
  EditFigures([](std::vector<FigurRecord>& v) { PlaceEnemy(v); });
  g_order = 3;
  ASSERT_TRUE(PoolChunk("KRIG").empty());
  EXPECT_EQ(Visit(Select(6398, 3199) + Order(6398, 3199) + At(6398, 3200) + "png attack_1024.png\n"), 2);
  EXPECT_TRUE(qoe_test::KeepPng("attack_1024.png"));
  const std::string q = Cat(905) + " " + Cat(657) + " Gunhild von Norden " + Cat(906);
  EXPECT_TRUE(Saw("1:" + q)) << AllTexts();
  const std::vector<uint8_t> krig = PoolChunk("KRIG");
  ASSERT_EQ(krig.size(), 88u);
  KriegsEintrag e;
  ASSERT_EQ(GetKriegsEintrag(krig.data(), 0, &e), 1);
  EXPECT_EQ(e.attacker.owner, Own());
  EXPECT_EQ(e.attacker.number, 14);
  EXPECT_EQ(e.attacker.state, 3);
  EXPECT_EQ(e.attacker.points, 4);
  EXPECT_EQ(e.target.owner, 2002u);
  EXPECT_EQ(e.target.number, 77);
  // The figure keeps the order and has no points left.
  const std::vector<FigurRecord> after = Figures();
  std::optional<FigurRecord> a = Find(after, Own(), 14);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->state, 3);
  EXPECT_EQ(a->points, 0);
}

TEST_F(MapActionVisit, ASecondAttackAppendsAndASecondOrderOfTheSameFigureIsRefused) {
  Start(k1024);
  EditFigures([](std::vector<FigurRecord>& v) {
    PlaceEnemy(v);
    v.push_back(Fig(2002, 1, 78, 6398, 3198, 0, 4));
  });
  g_order = 3;
  Visit(Select(6398, 3199) + Order(6398, 3199) + At(6398, 3200));
  const std::vector<uint8_t> first = PoolChunk("KRIG");
  ASSERT_EQ(first.size(), 88u);
  // The same figure again: no points, no target mode, the order stays.
  g_boxes.texts.clear();
  Visit(Select(6398, 3199) + Order(6398, 3199) + At(6398, 3198));
  EXPECT_EQ(PoolChunk("KRIG"), first);
  EXPECT_TRUE(g_boxes.texts.empty()) << AllTexts();
  // Another army (the cavalry 12 at 6402, 3196) attacks the second enemy.
  EditFigures([](std::vector<FigurRecord>& v) {
    for (FigurRecord& f : v)
      if (f.number == 78) f.x = 6402, f.y = 3197;
  });
  Visit(Select(6402, 3196) + Order(6402, 3196) + At(6402, 3197));
  const std::vector<uint8_t> both = PoolChunk("KRIG");
  ASSERT_EQ(both.size(), 12u + 148u);
  EXPECT_EQ(ChunkGet32(both.data(), 12), 2u);
  EXPECT_EQ(std::memcmp(both.data() + 16, first.data() + 16, 72), 0);
  KriegsEintrag e;
  ASSERT_EQ(GetKriegsEintrag(both.data(), 1, &e), 1);
  EXPECT_EQ(e.attacker.number, 12);
  EXPECT_EQ(e.target.number, 78);
}

TEST_F(MapActionVisit, DeclinedOrEscapedTheOrderIsTakenBackAndNothingWritten) {
  Start(k1024);
  EditFigures([](std::vector<FigurRecord>& v) { PlaceEnemy(v); });
  g_order = 3;
  g_boxes.answers = {1};
  // Declined, then the own figure's hex (notice 904), then Escape.
  Visit(Select(6398, 3199) + Order(6398, 3199) + At(6398, 3200) + At(6399, 3199) + "key esc\nwait 100\n");
  EXPECT_TRUE(PoolChunk("KRIG").empty());
  EXPECT_TRUE(Saw("0:" + Cat(904))) << AllTexts();
  std::optional<FigurRecord> a = Find(Figures(), Own(), 14);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->state, 0);
  EXPECT_EQ(a->points, 4);
}

TEST_F(MapActionVisit, AnAttackThatCannotBeStoredIsTakenBack) {
  Start(k1024);
  EditFigures([](std::vector<FigurRecord>& v) { PlaceEnemy(v); });
  Visit("");
  // A damaged outgoing pool (its checksum fails) takes no chunk.
  std::vector<uint8_t> pool = FileBytes(OutgoingPoolPath);
  ASSERT_GT(pool.size(), 60u);
  pool.back() ^= 0x5A;
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", pool));
  g_order = 3;
  Visit(Select(6398, 3199) + Order(6398, 3199) + At(6398, 3200));
  EXPECT_TRUE(Saw("0:" + Cat(1641))) << AllTexts();
  const std::optional<FigurRecord> a = Find(Figures(), Own(), 14);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->state, 0);
  EXPECT_EQ(a->points, 4);
}

// A step of a figure that cannot be written when the map is left is told to
// the player; the files stay as they were.
TEST_F(MapActionVisit, LeavingTellsWhenTheFiguresCannotBeWritten) {
  Start(k1024);
  EXPECT_EQ(Visit(""), 2);  // the map is built and kept
  EXPECT_TRUE(g_boxes.texts.empty()) << AllTexts();
  const std::vector<uint8_t> prefs = FileBytes(MapPrefsPath);
  FileFailWritesAfter(0);
  EXPECT_EQ(Visit(Select(6398, 3199) + "key 2\nwait 300\n"), 2);
  FileFailWritesAfter(-1);
  EXPECT_TRUE(Saw("0:" + Cat(127))) << AllTexts();
  EXPECT_EQ(FileBytes(MapPrefsPath), prefs);
}

TEST_F(MapActionVisit, AHexOutOfReachAsksForARedHex) {
  Start(k1024);
  g_order = 3;
  Visit(Select(6398, 3199) + Order(6398, 3199) + At(6392, 3199) + "key esc\nwait 100\n");
  EXPECT_TRUE(Saw("0:" + Cat(903))) << AllTexts();
}

TEST_F(MapActionVisit, ScoutsDuelOnlyScoutsAndIgnoreTheirOwn) {
  Start(k1024);
  EditFigures([](std::vector<FigurRecord>& v) {
    for (FigurRecord& f : v)
      if (f.owner == OwnPlayerPtr->PlayerId && f.number == 1) f.x = 6396, f.y = 3197;
    v.push_back(Fig(OwnPlayerPtr->PlayerId, 0, 90, 6396, 3198, 0, 8));
    v.push_back(Fig(2002, 1, 91, 6397, 3197, 0, 4));
    v.push_back(Fig(2002, 0, 92, 6395, 3197, 0, 8));
  });
  g_order = 13;
  Visit(Select(6396, 3197) + Order(6396, 3197) + At(6396, 3198) + At(6397, 3197) + At(6395, 3197));
  // The own scout: nothing; the army: only scouts duel; the scout: the question.
  ASSERT_GE(g_boxes.texts.size(), 2u);
  EXPECT_EQ(g_boxes.texts[0], "0:" + Cat(1417));
  EXPECT_EQ(g_boxes.texts[1], "1:" + Cat(1418) + " " + Cat(657) + " Gunhild von Norden " + Cat(906));
  const std::vector<uint8_t> krig = PoolChunk("KRIG");
  ASSERT_EQ(krig.size(), 88u);
  KriegsEintrag e;
  GetKriegsEintrag(krig.data(), 0, &e);
  EXPECT_EQ(e.attacker.state, 13);
  EXPECT_EQ(e.target.number, 92);
}

TEST_F(MapActionVisit, AMoveWalksThePathAndCostsTheGridsDifference) {
  Start(k1024);
  // Build the map once (it stays built at this size) and learn the costs.
  Visit("");
  g_order = 10;
  const uint32_t before = Find(Figures(), Own(), 14)->points;
  ASSERT_EQ(before, 4u);
  Visit(Select(6398, 3199) + Order(6398, 3199) + At(6398, 3197));
  std::optional<FigurRecord> a = Find(Figures(), Own(), 14);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->x, 6398u);
  EXPECT_EQ(a->y, 3197u);
  EXPECT_EQ(a->state, 0);
  QoEMapInfo* map = KartenScreenData->map;
  ASSERT_NE(map, nullptr);
  // The two steps' costs: the hexes entered.
  int32_t c1 = 0, r1 = 0, c2 = 0, r2 = 0;
  mapaction::WindowCellOf(map, 6398, 3198, &c1, &r1);
  mapaction::WindowCellOf(map, 6398, 3197, &c2, &r2);
  const int32_t cost = GetMovePoints(map->CMap, (uint16_t)c1, (uint16_t)r1, 1) +
                       GetMovePoints(map->CMap, (uint16_t)c2, (uint16_t)r2, 1);
  EXPECT_EQ((int32_t)a->points, 4 - cost);
  // The army went along (the lists were written on leaving).
  bool army = false;
  LoadedChunk ac("ARMY", OutgoingPoolPath);
  ListHeader* armies = ac.p ? ScanArmy2List(ac.p) : nullptr;
  ListNode* n = armies ? armies->first : nullptr;
  for (uint32_t i = 0; n && i < armies->count; i++, n = n->next) {
    const Army* ar = reinterpret_cast<const Army*>(n);
    if (ar->ArmeeID == 14) army = ar->X == 6398 && ar->Y == 3197;
  }
  DeleteArmyList(armies);
  EXPECT_TRUE(army);
}

// The pixels of the box round world hex (x, y) that differ between two PNGs
// of the display.
size_t HexBoxDifferences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, const MapCentre& view,
                         const ModeInfo& mode, int32_t x, int32_t y) {
  const map_test::DisplayPoint p = map_test::HexCentreOnDisplay(mode.w == 640, x - view.x, y - view.y);
  size_t n = 0;
  for (int32_t py = std::max(0, p.y - 32); py <= std::min((int32_t)mode.h - 1, p.y + 31); py++)
    for (int32_t px = std::max(0, p.x - 36); px <= std::min((int32_t)mode.w - 1, p.x + 36); px++)
      n += a[(size_t)py * mode.w + px] != b[(size_t)py * mode.w + px];
  return n;
}

// After a move the marker follows the figure: the next click elsewhere takes
// it away, and only the clicked hex is marked. The screen then looks as a
// fresh drawing of the map (the view scrolled away and back) shows it.
class MapActionMarker : public MapActionVisit, public testing::WithParamInterface<ModeInfo> {};

TEST_P(MapActionMarker, AfterAMoveTheNextClickLeavesOneMarker) {
  Start(GetParam());
  // No map-object animations: the hexes compared keep still.
  MapState().availMem = [](uint32_t) -> uint64_t { return 0; };
  g_order = 10;
  const std::string size = std::to_string(mode.w) + "x" + std::to_string(mode.h);
  const std::string away = "move_marker_away_" + size + ".png", fresh = "move_marker_fresh_" + size + ".png";
  Visit(Select(6398, 3199) + Order(6398, 3199) + At(6398, 3197) + "wait 300\n" + At(6396, 3200) + "wait 300\npng " +
        away + "\nkey d\nwait 300\nkey a\nwait 300\npng " + fresh + "\n");
  MapState().availMem = nullptr;
  std::optional<FigurRecord> a = Find(Figures(), Own(), 14);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->x, 6398u);
  EXPECT_EQ(a->y, 3197u);
  EXPECT_TRUE(qoe_test::KeepPng(away));
  EXPECT_TRUE(qoe_test::KeepPng(fresh));
  std::vector<uint32_t> was, now;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(away.c_str(), &was, &w, &h), 1);
  ASSERT_EQ(ReadPngRGB(fresh.c_str(), &now, &w, &h), 1);
  ASSERT_EQ(w, mode.w);
  ASSERT_EQ(h, mode.h);
  // Where the figure stood, where it stands now, and the clicked hex (its
  // marker is in both).
  EXPECT_EQ(HexBoxDifferences(was, now, view, mode, 6398, 3199), 0u);
  EXPECT_EQ(HexBoxDifferences(was, now, view, mode, 6398, 3197), 0u);
  EXPECT_EQ(HexBoxDifferences(was, now, view, mode, 6396, 3200), 0u);
}

// The same after the view scrolled with a figure selected: its marker is
// drawn where the figure now shows, and the next click elsewhere takes it away.
TEST_P(MapActionMarker, AfterAScrollTheNextClickLeavesOneMarker) {
  Start(GetParam());
  MapState().availMem = [](uint32_t) -> uint64_t { return 0; };
  // The view's column at each click.
  static std::vector<int64_t> s_view_x;
  s_view_x.clear();
  MapScreenHooks hooks = CurrentMapScreenHooks();
  hooks.ClickFigurOnMap = [](KartenScreenRecord* d) {
    s_view_x.push_back(d->map->X);
    ClickFigurOnMap(d);
  };
  SetMapScreenHooks(&hooks);
  // One step right moves the view by two columns.
  MapCentre moved = view;
  moved.x += 2;
  const map_test::DisplayPoint p = map_test::HexCentreOnDisplay(mode.w == 640, 6396 - moved.x, 3200 - moved.y);
  const std::string size = std::to_string(mode.w) + "x" + std::to_string(mode.h);
  const std::string away = "scroll_marker_away_" + size + ".png", fresh = "scroll_marker_fresh_" + size + ".png";
  Visit(Select(6398, 3199) + "key d\nwait 300\n" + map_test::ClickAt(p) + "wait 300\npng " + away +
        "\nkey d\nwait 300\nkey a\nwait 300\npng " + fresh + "\n");
  MapState().availMem = nullptr;
  // The selecting clicks on the first view, the last click on the moved one.
  ASSERT_FALSE(s_view_x.empty());
  EXPECT_EQ(s_view_x.front(), (int64_t)view.x);
  ASSERT_EQ(s_view_x.back(), (int64_t)moved.x);
  EXPECT_TRUE(qoe_test::KeepPng(away));
  EXPECT_TRUE(qoe_test::KeepPng(fresh));
  std::vector<uint32_t> was, now;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(away.c_str(), &was, &w, &h), 1);
  ASSERT_EQ(ReadPngRGB(fresh.c_str(), &now, &w, &h), 1);
  ASSERT_EQ(w, mode.w);
  ASSERT_EQ(h, mode.h);
  EXPECT_EQ(HexBoxDifferences(was, now, moved, mode, 6398, 3199), 0u);
  EXPECT_EQ(HexBoxDifferences(was, now, moved, mode, 6396, 3200), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MapActionMarker, testing::Values(k640, k1024),
                         [](const testing::TestParamInfo<ModeInfo>& i) {
                           return std::to_string(i.param.w) + "x" + std::to_string(i.param.h);
                         });

// On every display size the pick takes the hex under the mouse: a move of
// two steps to an odd column, picked in the hex's lower left part, ends there.
class MapActionPick : public MapActionVisit, public testing::WithParamInterface<ModeInfo> {};

TEST_P(MapActionPick, AMoveEndsOnTheHexUnderTheMouse) {
  Start(GetParam());
  g_order = 10;
  map_test::DisplayPoint p = map_test::HexCentreOnDisplay(mode.w == 640, 6399 - view.x, 3197 - view.y);
  p.x -= 18;
  p.y += 10;
  Visit(Select(6398, 3199) + Order(6398, 3199) + map_test::ClickAt(p));
  std::optional<FigurRecord> a = Find(Figures(), Own(), 14);
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->x, 6399u);
  EXPECT_EQ(a->y, 3197u);
  EXPECT_EQ(a->state, 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MapActionPick, testing::Values(k640, k800, k1024),
                         [](const testing::TestParamInfo<ModeInfo>& i) {
                           return std::to_string(i.param.w) + "x" + std::to_string(i.param.h);
                         });

// A caravan on its own town: loading and unloading open the caravan's
// requester, which takes the next click and closes on its EXIT; the order
// stays with the caravan and goes out in the figure list, the outgoing pool
// is left as it was.
TEST_F(MapActionVisit, ACaravanOnItsTownOpensItsRequesterToLoadAndUnload) {
  Start(k1024);
  EditFigures([this](std::vector<FigurRecord>& v) { v.insert(v.begin(), Fig(Own(), 20, 51, 6398, 3199, 0, 2)); });
  // The requester's EXIT in its box (360 x 260) centred on the display.
  const std::string exit = qoe_test::ClickLine((1024 - 360) / 2 + 300, (768 - 260) / 2 + 240) + "wait 200\n";
  std::vector<uint8_t> pool;
  for (uint32_t order : {5u, 6u}) {
    SCOPED_TRACE(order);
    g_order = order;
    const std::string png = "caravan_requester_" + std::to_string(order) + "_1024.png";
    Visit(Select(6398, 3199) + Order(6398, 3199) + "wait 200\npng " + png + "\n" + exit);
    EXPECT_TRUE(qoe_test::KeepPng(png));
    // The requester took the click on its EXIT: the map kept its marked hex.
    const KartenScreenRecord* d = KartenScreenData;
    EXPECT_EQ(d->X_Pos, 6398 - view.x);
    EXPECT_EQ(d->Y_Pos, 3199 - view.y);
    const std::optional<FigurRecord> c = Find(Figures(), Own(), 51);
    ASSERT_TRUE(c.has_value());
    EXPECT_EQ(c->state, order);
    EXPECT_EQ(c->x, 6398u);
    EXPECT_EQ(c->y, 3199u);
    if (order == 6) { EXPECT_EQ(FileBytes(OutgoingPoolPath), pool); }
    pool = FileBytes(OutgoingPoolPath);
  }
}

// --- person events, cargo, herbs and names (the port Seewacht: sea to the west) -----------------

// A world hex of the realm's map part files changed in place.
void SetTile(uint32_t x, uint32_t y, int32_t grafik, int32_t flags = -1) {
  const std::string path = "Map/M_" + std::to_string(x / 80) + "_" + std::to_string(y / 40) + ".map";
  std::vector<uint8_t> part;
  {
    uint32_t size = 0;
    void* p = LoadFile2MemSize(path.c_str(), MEMF_PUBLIC, &size);
    ASSERT_NE(p, nullptr) << path;
    part.assign(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + size);
    FreeVec(p);
  }
  const uint32_t at = ((y % 40) * 80 + (x % 80)) * 22;
  ASSERT_LE(at + 22, part.size());
  if (grafik >= 0) PutLE16(part.data() + at + 8, (uint16_t)grafik);
  if (flags >= 0) PutLE32(part.data() + at + 18, (uint32_t)flags);
  ASSERT_EQ(SaveMem2File(path.c_str(), part.data(), (uint32_t)part.size()), 1);
}

void SetShipRange(uint8_t range) {
  LoadedChunk fors("FORS", ReceivedPoolPath);
  ASSERT_NE(fors.p, nullptr);
  ASSERT_GE(fors.len(), 5u);
  fors.p[16] = range;
  ASSERT_NE(AddChunkPool(fors.p, ReceivedPoolPath), 0);
}

void EditTown(const char* name, const std::function<void(std::vector<uint8_t>&)>& fn) {
  char path[300];
  TownFilePath(name, path, sizeof path);
  uint32_t size = 0;
  void* p = LoadFile2MemSize(path, MEMF_PUBLIC, &size);
  ASSERT_NE(p, nullptr) << path;
  std::vector<uint8_t> town(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + size);
  FreeVec(p);
  fn(town);
  ASSERT_EQ(SaveMem2File(path, town.data(), (uint32_t)town.size()), 1);
}

std::vector<uint32_t> ArmyIds() {
  std::vector<uint32_t> ids;
  LoadedChunk ac("ARMY", OutgoingPoolPath);
  ListHeader* armies = ac.p ? ScanArmy2List(ac.p) : nullptr;
  ListNode* n = armies ? armies->first : nullptr;
  for (uint32_t i = 0; n && i < armies->count; i++, n = n->next) ids.push_back(reinterpret_cast<Army*>(n)->ArmeeID);
  DeleteArmyList(armies);
  return ids;
}

std::vector<Schiffseintrag> ShipEntries() {
  std::vector<Schiffseintrag> out;
  uint8_t* c = nullptr;
  if (LoadChunkState("SHIP", OutgoingPoolPath, &c) != CHUNK_GOOD) LoadChunkState("SHIP", ReceivedPoolPath, &c);
  ListHeader* list = CreateList(LIST_SHIPS);
  if (c && list && ScanShip2List(list, c)) {
    ListNode* n = list->first;
    for (uint32_t i = 0; n && i < list->count; i++, n = n->next) out.push_back(*reinterpret_cast<Schiffseintrag*>(n));
  }
  DeleteList(list, 0);
  if (c) FreeChunk(c);
  return out;
}

bool HasId(const std::vector<uint32_t>& v, uint32_t id) {
  for (uint32_t x : v)
    if (x == id) return true;
  return false;
}

class MapPortVisit : public MapActionVisit {
 protected:
  void StartPort() {
    Start(k1024);
    OwnPlayerPtr->ActiveTown = 2;
    view = CentreOnTown(6386, 3192, mode.w, mode.h, false);
  }
  // Ship 31 first on its hex (before the army it carries).
  static void ShipFirst(std::vector<FigurRecord>& v) {
    for (size_t i = 0; i < v.size(); i++)
      if (v[i].number == 31 && v[i].type == 15) {
        const FigurRecord ship = v[i];
        v.erase(v.begin() + (long)i);
        v.insert(v.begin(), ship);
        return;
      }
  }
};

TEST_F(MapPortVisit, AShipBeyondTheRangeIsLostWithItsCargoAndEveryOwnShipOnTheHex) {
  StartPort();
  // Ship 31 at (6384, 3192) carries the army 21; land is two hexes east.
  SetShipRange(1);
  EditFigures([this](std::vector<FigurRecord>& v) {
    ShipFirst(v);
    v.push_back(Fig(Own(), 14, 35, 6384, 3192, 0, 10));
    v.push_back(Fig(2003, 14, 36, 6384, 3192, 0, 10));
  });
  ASSERT_TRUE(HasId(ArmyIds(), 21));
  Visit(Select(6384, 3192));
  EXPECT_TRUE(Saw("textbox:" + Cat(1023))) << AllTexts();
  const std::vector<FigurRecord> after = Figures();
  EXPECT_FALSE(Find(after, Own(), 31).has_value());
  EXPECT_FALSE(Find(after, Own(), 35).has_value());
  EXPECT_FALSE(Find(after, Own(), 21).has_value());
  EXPECT_TRUE(Find(after, 2003, 36).has_value());  // another lord's ship stays
  EXPECT_TRUE(Find(after, Own(), 14).has_value());
  EXPECT_FALSE(HasId(ArmyIds(), 21));
  EXPECT_TRUE(HasId(ArmyIds(), 14));
  for (const Schiffseintrag& e : ShipEntries()) EXPECT_NE(e.ship_id, 31);
  EXPECT_FALSE(KartenScreenData->FigureSelected);
}

TEST_F(MapPortVisit, AShipWithinTheRangeOrWithoutResearchIsKept) {
  StartPort();
  SetShipRange(2);
  EditFigures([](std::vector<FigurRecord>& v) { ShipFirst(v); });
  const std::vector<FigurRecord> before = Figures();
  Visit(Select(6384, 3192));
  EXPECT_TRUE(g_boxes.texts.empty()) << AllTexts();
  EXPECT_TRUE(Find(Figures(), Own(), 31).has_value());
  // Without a FORS chunk there is no test at all.
  ASSERT_NE(RemChunkPool("FORS", ReceivedPoolPath), 0);
  Visit(Select(6384, 3192));
  EXPECT_TRUE(g_boxes.texts.empty()) << AllTexts();
  EXPECT_TRUE(Find(Figures(), Own(), 31).has_value());
  EXPECT_TRUE(HasId(ArmyIds(), 21));
}

TEST_F(MapPortVisit, AFigureOffLandSinksWithItsArmyACarriedOneStays) {
  StartPort();
  // The carried army 21 selected on the water: it stays.
  Visit(Select(6384, 3192));
  EXPECT_TRUE(g_boxes.texts.empty()) << AllTexts();
  EXPECT_TRUE(Find(Figures(), Own(), 21).has_value());
  // Not carried any more: it sinks, and its army goes with it.
  EditFigures([](std::vector<FigurRecord>& v) {
    for (FigurRecord& f : v)
      if (f.number == 21) f.state = 0;
  });
  Visit(Select(6384, 3192));
  EXPECT_TRUE(Saw("0:" + Cat(1286))) << AllTexts();
  EXPECT_FALSE(Find(Figures(), Own(), 21).has_value());
  EXPECT_TRUE(Find(Figures(), Own(), 31).has_value());
  EXPECT_FALSE(HasId(ArmyIds(), 21));
}

TEST_F(MapPortVisit, AScoutOnAHexNeverReceivedStaysOneOnWaterSinks) {
  StartPort();
  SetTile(6380, 3190, 0);
  EditFigures([this](std::vector<FigurRecord>& v) {
    v.push_back(Fig(Own(), 0, 70, 6380, 3190, 0, 8));
    v.push_back(Fig(Own(), 0, 71, 6380, 3191, 0, 8));
  });
  Visit(Select(6380, 3190));
  EXPECT_TRUE(Find(Figures(), Own(), 70).has_value());
  EXPECT_TRUE(g_boxes.texts.empty()) << AllTexts();
  Visit(Select(6380, 3191));
  EXPECT_FALSE(Find(Figures(), Own(), 71).has_value());
  EXPECT_TRUE(Find(Figures(), Own(), 70).has_value());
}

TEST_F(MapPortVisit, AnUnwritableFigureFileChangesNothing) {
  StartPort();
  EditFigures([this](std::vector<FigurRecord>& v) { v.push_back(Fig(Own(), 0, 71, 6380, 3191, 0, 8)); });
  Visit("");
  const std::vector<uint8_t> pool = FileBytes(OutgoingPoolPath);
  // Every write fails: the figure list cannot be saved first.
  FileFailWritesAfter(0);
  Visit(Select(6380, 3191));
  FileFailWritesAfter(-1);
  EXPECT_TRUE(Saw("0:" + Cat(1641))) << AllTexts();
  EXPECT_TRUE(Find(Figures(), Own(), 71).has_value());
  EXPECT_EQ(FileBytes(OutgoingPoolPath), pool);
}

TEST_F(MapPortVisit, ATradeShipLoadsAScoutAndUnloadsIt) {
  StartPort();
  // Ship 33 (small trade ship) lies in the port; a scout beside it.
  EditFigures([this](std::vector<FigurRecord>& v) {
    for (size_t i = 0; i < v.size(); i++)
      if (v[i].number == 33) std::swap(v[0], v[i]);
    v.push_back(Fig(Own(), 0, 72, 6387, 3192, 0, 8));
  });
  g_order = 5;
  Visit(Select(6386, 3192) + Order(6386, 3192) + At(6387, 3192));
  std::optional<FigurRecord> scout = Find(Figures(), Own(), 72);
  ASSERT_TRUE(scout.has_value());
  EXPECT_EQ(scout->state, 7);
  EXPECT_EQ(scout->x, 6386u);
  EXPECT_EQ(scout->y, 3192u);
  EXPECT_EQ(scout->points, 0);
  std::optional<FigurRecord> ship = Find(Figures(), Own(), 33);
  ASSERT_TRUE(ship.has_value());
  EXPECT_EQ(ship->points, 0);  // 8 less the full 10 of a small ship
  EXPECT_EQ(ship->state, 0);
  bool slot = false;
  for (const Schiffseintrag& e : ShipEntries())
    if (e.ship_id == 33) slot = e.cargo[0].number == 72 && e.cargo[0].state == 7;
  EXPECT_TRUE(slot);
  // Unloaded to the hex south of the port.
  g_order = 6;
  Visit(Select(6386, 3192) + Order(6386, 3192) + At(6386, 3193));
  scout = Find(Figures(), Own(), 72);
  ASSERT_TRUE(scout.has_value());
  EXPECT_EQ(scout->state, 0);
  EXPECT_EQ(scout->x, 6386u);
  EXPECT_EQ(scout->y, 3193u);
  for (const Schiffseintrag& e : ShipEntries())
    if (e.ship_id == 33) { EXPECT_EQ(e.cargo[0].number, 0); }
}

TEST_F(MapPortVisit, AShipIsNamedRenamedAndItsNameDropped) {
  StartPort();
  EditFigures([](std::vector<FigurRecord>& v) {
    for (size_t i = 0; i < v.size(); i++)
      if (v[i].number == 33) std::swap(v[0], v[i]);
  });
  auto names = [] {
    std::vector<std::string> out;
    ListHeader* l = ScanShipAddOn2List();
    ListNode* n = l ? l->first : nullptr;
    for (uint32_t i = 0; n && i < l->count; i++, n = n->next) {
      const ShipAddOn* a = reinterpret_cast<const ShipAddOn*>(n);
      out.push_back(std::to_string(a->ship_id) + ":" + a->name + ":" + std::to_string(a->repair));
    }
    DeleteList(l, 0);
    return out;
  };
  g_order = 19;
  g_boxes.name = "Sturmvogel";
  Visit(Select(6386, 3192) + Order(6386, 3192));
  std::vector<std::string> n1 = names();
  EXPECT_NE(std::find(n1.begin(), n1.end(), "33:Sturmvogel:0"), n1.end());
  g_boxes.name = "Seeadler";
  Visit(Select(6386, 3192) + Order(6386, 3192));
  n1 = names();
  EXPECT_NE(std::find(n1.begin(), n1.end(), "33:Seeadler:0"), n1.end());
  g_boxes.name = nullptr;
  Visit(Select(6386, 3192) + Order(6386, 3192));
  for (const std::string& n : names()) EXPECT_NE(n.rfind("33:", 0), 0u) << n;
  EXPECT_EQ(Find(Figures(), Own(), 33)->state, 0);
}

// The army's position and men (all in its first part) in the outgoing ARMY chunk.
void EditArmy(uint32_t id, uint32_t x, uint32_t y, uint32_t men) {
  LoadedChunk ac("ARMY", OutgoingPoolPath);
  ASSERT_NE(ac.p, nullptr);
  ListHeader* armies = ScanArmy2List(ac.p);
  ASSERT_NE(armies, nullptr);
  ListNode* n = armies->first;
  for (uint32_t i = 0; n && i < armies->count; i++, n = n->next) {
    Army* a = reinterpret_cast<Army*>(n);
    if (a->ArmeeID != id) continue;
    a->X = x;
    a->Y = y;
    ListNode* pn = a->parts ? a->parts->first : nullptr;
    for (uint32_t k = 0; pn && k < a->parts->count; k++, pn = pn->next)
      reinterpret_cast<ArmeeTyp*>(pn)->Leute = k == 0 ? men : 0;
  }
  uint8_t* c = CovertArmyList2ArmyChunk(armies);
  ASSERT_NE(c, nullptr);
  ASSERT_NE(AddChunkPool(c, OutgoingPoolPath), 0);
  FreeChunk(c);
  DeleteArmyList(armies);
}

bool ArmyAt(uint32_t id, uint32_t x, uint32_t y) {
  LoadedChunk ac("ARMY", OutgoingPoolPath);
  ListHeader* armies = ac.p ? ScanArmy2List(ac.p) : nullptr;
  bool at = false;
  ListNode* n = armies ? armies->first : nullptr;
  for (uint32_t i = 0; n && i < armies->count; i++, n = n->next) {
    const Army* a = reinterpret_cast<const Army*>(n);
    if (a->ArmeeID == id) at = a->X == x && a->Y == y;
  }
  DeleteArmyList(armies);
  return at;
}

TEST_F(MapPortVisit, ASmallTradeShipTakesAnArmyOfTenThousandNotOneMore) {
  StartPort();
  // The army 21 ashore beside the small trade ship 33, with 10,001 men.
  EditFigures([](std::vector<FigurRecord>& v) {
    for (size_t i = 0; i < v.size(); i++)
      if (v[i].number == 33) std::swap(v[0], v[i]);
    for (FigurRecord& f : v)
      if (f.number == 21) f.x = 6387, f.y = 3192, f.state = 0, f.points = 4;
  });
  EditArmy(21, 6387, 3192, 10001);
  g_order = 5;
  Visit(Select(6386, 3192) + Order(6386, 3192) + At(6387, 3192) + "key esc\nwait 100\n");
  EXPECT_TRUE(Saw("0:" + Cat(1329))) << AllTexts();
  EXPECT_EQ(Find(Figures(), Own(), 21)->state, 0);
  EXPECT_EQ(Find(Figures(), Own(), 33)->state, 0);
  EditArmy(21, 6387, 3192, 10000);
  Visit(Select(6386, 3192) + Order(6386, 3192) + At(6387, 3192));
  std::optional<FigurRecord> army = Find(Figures(), Own(), 21);
  ASSERT_TRUE(army.has_value());
  EXPECT_EQ(army->state, 7);
  EXPECT_EQ(army->x, 6386u);
  EXPECT_TRUE(ArmyAt(21, 6386, 3192));
}

// The ship list of the outgoing pool (taken from the received one when it
// has none), edited and written to the outgoing pool.
void EditShips(const std::function<void(Schiffseintrag&)>& fn) {
  uint8_t* c = nullptr;
  if (LoadChunkState("SHIP", OutgoingPoolPath, &c) != CHUNK_GOOD) LoadChunkState("SHIP", ReceivedPoolPath, &c);
  ASSERT_NE(c, nullptr);
  ListHeader* list = CreateList(LIST_SHIPS);
  ASSERT_TRUE(ScanShip2List(list, c));
  FreeChunk(c);
  ListNode* n = list->first;
  for (uint32_t i = 0; n && i < list->count; i++, n = n->next) fn(*reinterpret_cast<Schiffseintrag*>(n));
  uint8_t* made = MakeShipChunkFromList(list);
  ASSERT_NE(made, nullptr);
  ASSERT_NE(AddChunkPool(made, OutgoingPoolPath), 0);
  FreeChunk(made);
  DeleteList(list, 0);
}

TEST_F(MapPortVisit, UnloadingClearsAStaleFirstSlotAndSetsTheNextFigureAshore) {
  StartPort();
  SetShipRange(8);
  // Ship 31 beside the port; its first slot names a figure that is gone,
  // the second the army 21.
  EditFigures([](std::vector<FigurRecord>& v) {
    ShipFirst(v);
    for (FigurRecord& f : v)
      if (f.number == 31 || f.number == 21) f.x = 6385;
  });
  EditArmy(21, 6385, 3192, 800);
  const uint32_t own = Own();
  EditShips([own](Schiffseintrag& e) {
    if (e.ship_id != 31) return;
    e.x = 6385;
    e.cargo[1] = e.cargo[0];
    e.cargo[1].x = 6385;
    e.cargo[0] = Fig(own, 1, 99, 6385, 3192, 7, 0);
  });
  g_order = 6;
  Visit(Select(6385, 3192) + Order(6385, 3192) + At(6386, 3193));
  std::optional<FigurRecord> army = Find(Figures(), Own(), 21);
  ASSERT_TRUE(army.has_value());
  EXPECT_EQ(army->state, 0);
  EXPECT_EQ(army->x, 6386u);
  EXPECT_EQ(army->y, 3193u);
  EXPECT_TRUE(ArmyAt(21, 6386, 3193));
  EXPECT_EQ(Find(Figures(), Own(), 31)->points, 0);
  EXPECT_EQ(Find(Figures(), Own(), 31)->state, 0);
  bool seen = false;
  for (const Schiffseintrag& e : ShipEntries())
    if (e.ship_id == 31) {
      seen = true;
      EXPECT_EQ(e.cargo[0].number, 0);
      EXPECT_EQ(e.cargo[1].number, 0);
    }
  EXPECT_TRUE(seen);
}

TEST_F(MapPortVisit, AWarShipAttacksShipsAndCapturesOnlyTradeShips) {
  StartPort();
  SetShipRange(8);
  EditFigures([](std::vector<FigurRecord>& v) {
    for (FigurRecord& f : v) {
      if (f.number == 32) std::swap(v[0], f);
      if (f.owner == 2003 && f.number == 8) f.x = 6379, f.y = 3195;
    }
    v.push_back(Fig(2003, 14, 37, 6381, 3195, 0, 10));
  });
  g_order = 3;
  Visit(Select(6380, 3195) + Order(6380, 3195) + At(6379, 3195));
  ASSERT_FALSE(g_boxes.texts.empty());
  const std::string q = g_boxes.texts[0];
  EXPECT_EQ(q.rfind("1:" + Cat(1150) + " " + Cat(657) + " ", 0), 0u) << q;
  EXPECT_EQ(q.substr(q.size() - Cat(906).size()), Cat(906)) << q;
  const std::vector<uint8_t> krig = PoolChunk("KRIG");
  ASSERT_EQ(krig.size(), 88u);
  KriegsEintrag e;
  GetKriegsEintrag(krig.data(), 0, &e);
  EXPECT_EQ(e.attacker.type, 18);
  EXPECT_EQ(e.target.type, 17);
  // A capture: the war ship cannot be taken, the trade ship is asked for.
  EditFigures([](std::vector<FigurRecord>& v) {
    for (FigurRecord& f : v)
      if (f.number == 32 && f.type == 18) f.points = 6, f.state = 0;
  });
  g_order = 8;
  g_boxes = Boxes{};
  g_boxes.answers = {1};
  Visit(Select(6380, 3195) + Order(6380, 3195) + At(6379, 3195) + At(6381, 3195) + "key esc\nwait 100\n");
  ASSERT_GE(g_boxes.texts.size(), 2u) << AllTexts();
  EXPECT_EQ(g_boxes.texts[0], std::string("0:") + GetCatalogStr(1816));
  EXPECT_EQ(qoe_test::GermanPastCatalog(g_boxes.texts[0]), "");
  EXPECT_EQ(g_boxes.texts[1].substr(g_boxes.texts[1].size() - Cat(1253).size() - 2), Cat(1253) + " ?");
  EXPECT_EQ(PoolChunk("KRIG"), krig);
  EXPECT_EQ(Find(Figures(), Own(), 32)->state, 0);
}

// --- the town dialogue at Elmor ----------------------------------------------------------------------

TEST_F(MapActionVisit, TheTownDialogueInsertsOnlyInATownOfTenThousand) {
  Start(k1024);
  // Elmor (7,200 inhabitants): its hex is marked when the screen opens.
  const std::string target = Select(6398, 3199) + At(6398, 3199) + Order(6398, 3199);
  g_boxes.town_choice = 1;
  Visit(target);
  EXPECT_TRUE(Saw("0:" + Cat(1109))) << AllTexts();
  size_t settlers = 0;
  for (const FigurRecord& f : Figures()) settlers += f.type == 10 && f.x == 6398 && f.y == 3199;
  EXPECT_EQ(settlers, 0u);
  EditTown("Elmor", [](std::vector<uint8_t>& t) { PutBE32(t.data() + 32, 12000); });
  g_boxes.texts.clear();
  Visit(target + "png town_insert_1024.png\n");
  EXPECT_TRUE(qoe_test::KeepPng("town_insert_1024.png"));
  EXPECT_FALSE(Saw("0:" + Cat(1109))) << AllTexts();
  settlers = 0;
  for (const FigurRecord& f : Figures()) settlers += f.type == 10 && f.x == 6398 && f.y == 3199 && f.owner == Own();
  EXPECT_EQ(settlers, 1u);
  // Disbanding it works below the limit too.
  EditTown("Elmor", [](std::vector<uint8_t>& t) { PutBE32(t.data() + 32, 500); });
  g_boxes.town_choice = 2;
  Visit(target);
  settlers = 0;
  for (const FigurRecord& f : Figures()) settlers += f.type == 10 && f.x == 6398 && f.y == 3199;
  EXPECT_EQ(settlers, 0u);
}

// A figure file that cannot be used (cut to 150 bytes, a count past its end
// with every record whole, missing, a folder in its place) is told each
// time the map opens, naming the file and what is wrong with it; the map
// holds no figure, so nothing can be selected, moved or ordered (a right
// click on the town opens the field menu), the town dialogue puts no figure
// on the map and disbands none (it tells why), and neither leaving the map
// nor its save before another screen's change writes anything in the file's
// place.
TEST_F(MapActionVisit, AFigureFileThatCannotBeUsedIsToldHoldsNoFigureAndIsNeverWritten) {
  Start(k1024);
  const std::vector<uint8_t> good = FileBytes(MapPrefsPath);
  ASSERT_GT(good.size(), 200u);
  // Elmor big enough for a new settler.
  EditTown("Elmor", [](std::vector<uint8_t>& t) { PutBE32(t.data() + 32, 12000); });
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = qoe_test::LayFigureFile(c, good);
    const std::string told = qoe_test::FigureFileSentence(c) + " " + Cat(1796);
    g_boxes = Boxes{};
    qoe_test::LogLines log;
    const std::string png = std::string("map_figures_") + (qoe_test::FigureFileGone(c) ? "missing" : "damaged") + ".png";
    EXPECT_EQ(Visit(Select(6398, 3199) + At(6398, 3199) + Order(6398, 3199) + "png " + png + "\n"), 2);
    EXPECT_TRUE(Saw("0:" + told)) << AllTexts();
    EXPECT_EQ(AllTexts().find("switch:"), std::string::npos) << AllTexts();  // no town dialogue
    ASSERT_NE(KartenScreenData->map, nullptr);
    EXPECT_EQ(MapFigurCount(KartenScreenData->map->Figures), 0u);
    EXPECT_FALSE(log.Has("Die Befehle der Karte konnten nicht gespeichert werden"));
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, bytes));
    // The marked town and a right click: the town dialogue; a new settler
    // and a disbanding are refused with the same words.
    for (uint32_t choice : {1u, 2u}) {
      g_boxes = Boxes{};
      g_boxes.town_choice = choice;
      Visit(At(6398, 3199) + Order(6398, 3199));
      EXPECT_NE(AllTexts().find("switch:"), std::string::npos) << AllTexts();
      EXPECT_EQ(AllTexts().find(Cat(1109)), std::string::npos) << AllTexts();
      EXPECT_TRUE(Saw("0:" + told)) << choice << AllTexts();
      EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, bytes)) << choice;
    }
    // The next visit tells it again; the save before another screen's
    // change and the set-up after it leave the file alone.
    EXPECT_EQ(log.Count(qoe_test::FigureFileToldLine(c)), 5);
    EXPECT_EQ(MapScreenSaveData(), 1);
    EXPECT_EQ(MapScreenNewSetup(), 1);
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, bytes));
    if (c.fault == qoe_test::FigureFault::kCut || c.fault == qoe_test::FigureFault::kMissing) {
      EXPECT_TRUE(qoe_test::KeepPng(png));
    }
    KartenScreen(0, 0);  // the next case builds the map anew
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, bytes));
  }
}

TEST_F(MapActionVisit, EnterTownLeavesForTheTownRebelsAndNoTownHallSayNo) {
  Start(k1024);
  const std::string target = Select(6398, 3199) + At(6398, 3199) + Order(6398, 3199);
  g_boxes.town_choice = 7;
  EXPECT_EQ(Visit(target), 39);
  EXPECT_EQ(OwnPlayerPtr->ActiveTown, 1u);
  EXPECT_EQ(KartenScreenData->TownRequest, 1u);
  EXPECT_TRUE(Saw("0:" + Cat(1109))) << AllTexts();
  KartenScreenData->TownRequest = 0;
  OwnPlayerPtr->ActiveTown = 1;
  EditTown("Elmor", [](std::vector<uint8_t>& t) { PutBE16(t.data() + 4, (uint16_t)(GetBE16(t.data() + 4) | 2)); });
  g_boxes.texts.clear();
  Visit(target);
  EXPECT_TRUE(Saw("0:" + Cat(1254))) << AllTexts();
  EditTown("Elmor", [](std::vector<uint8_t>& t) {
    PutBE16(t.data() + 4, (uint16_t)(GetBE16(t.data() + 4) & ~2));
    PutBE16(t.data() + 3416, (uint16_t)(GetBE16(t.data() + 3416) & ~2));
  });
  g_boxes.texts.clear();
  Visit(target);
  EXPECT_TRUE(Saw("0:" + Cat(1108))) << AllTexts();
}

// --- the herb search ----------------------------------------------------------------------------------

uint32_t ThreeRandom(uint32_t) { return 3; }

// Herb 60 (amount 150) on the acre (6396, 3197) of the received turn, its
// herb flag set, and the cleric 42 on it.
void PlaceHerb() {
  uint8_t* herb = HerbChunkWithFind(nullptr, 6396, 3197, 60, 0, 150);
  ASSERT_NE(herb, nullptr);
  ASSERT_NE(AddChunkPool(herb, ReceivedPoolPath), 0);
  FreeChunk(herb);
  SetTile(6396, 3197, -1, 1);
  MapActionVisit::EditFigures([](std::vector<FigurRecord>& v) {
    for (FigurRecord& f : v)
      if (f.number == 42) f.x = 6396, f.y = 3197;
  });
}

TEST_F(MapActionVisit, AClericFindsHerbsIntoTheTurnAndTheStore) {
  Start(k1024);
  // The cleric 42 on the acre of herb 60 (amount 150), its herb flag set.
  PlaceHerb();
  MapState().random.store(ThreeRandom);
  g_order = 14;
  g_boxes.choice = 4;
  Visit(Select(6396, 3197) + Order(6396, 3197));
  MapState().random.store(nullptr);
  const std::string found = Cat(1426) + " 4 " + Cat(1427) + " " + Cat(885) + " " + Cat(1428) + "...";
  EXPECT_TRUE(Saw("0:" + found)) << AllTexts();
  LoadedChunk herb("HERB", OutgoingPoolPath);
  ASSERT_NE(herb.p, nullptr);
  const std::vector<KrautEintrag> e = HerbEntries(herb.p);
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].herb, 60);
  EXPECT_EQ(e[0].found, 4);
  LoadedChunk ware("WARE", ".\\Data\\WarenChunk.qoe");
  ASSERT_NE(ware.p, nullptr);
  std::optional<FigurRecord> c = Find(Figures(), Own(), 42);
  ASSERT_TRUE(c.has_value());
  EXPECT_EQ(c->points, 4);
  EXPECT_EQ(c->state, 0);
  // A field without the flag: 2 points, the disappointed notice, no change.
  const std::vector<uint8_t> h1(herb.p, herb.p + 12 + herb.len());
  {
    // The kept map's cell (the part file is read again only with a new map).
    QoEMapInfo* map = KartenScreenData->map;
    ASSERT_NE(map, nullptr);
    int32_t c = 0, r = 0;
    mapaction::WindowCellOf(map, 6396, 3197, &c, &r);
    CMapCell(map, c, r)->Flags &= ~1u;
  }
  g_boxes.texts.clear();
  Visit(Select(6396, 3197) + Order(6396, 3197));
  EXPECT_TRUE(Saw("0:" + Cat(1429))) << AllTexts();
  EXPECT_EQ(PoolChunk("HERB"), h1);
  EXPECT_EQ(Find(Figures(), Own(), 42)->points, 2);
}

TEST_F(MapActionVisit, TheFindJoinsTheStoreAndAnUnreadableStoreStaysAsItIs) {
  Start(k1024);
  PlaceHerb();
  uint8_t* w = WareChunkWithGoods(nullptr, Own(), 60, 10, 1);
  ASSERT_NE(w, nullptr);
  ASSERT_EQ(SaveChunk2File(".\\Data\\WarenChunk.qoe", w), 1);
  FreeChunk(w);
  MapState().random.store(ThreeRandom);
  g_order = 14;
  g_boxes.choice = 4;
  Visit(Select(6396, 3197) + Order(6396, 3197));
  {
    LoadedChunk ware("WARE", ".\\Data\\WarenChunk.qoe");
    ASSERT_NE(ware.p, nullptr);
    ListHeader* list = CreateList(LIST_GOODS);
    ASSERT_TRUE(ScanWare2List(list, ware.p));
    ASSERT_EQ(list->count, 1u);
    EXPECT_EQ(reinterpret_cast<WarenListenEntry*>(list->first)->quantity, 14u);
    DeleteList(list, 0);
  }
  // Damaged: the herb still goes into the turn, the file stays.
  const std::vector<uint8_t> garbage = {'W', 'A', 'R', 'E', 'x', 1, 2};
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/WarenChunk.qoe", garbage));
  EditFigures([](std::vector<FigurRecord>& v) {
    for (FigurRecord& f : v)
      if (f.number == 42) f.points = 6;
  });
  Visit(Select(6396, 3197) + Order(6396, 3197));
  MapState().random.store(nullptr);
  EXPECT_EQ(FileBytes(".\\Data\\WarenChunk.qoe"), garbage);
  LoadedChunk herb("HERB", OutgoingPoolPath);
  ASSERT_NE(herb.p, nullptr);
  EXPECT_EQ(HerbEntries(herb.p)[0].found, 8);
}

TEST_F(MapActionVisit, AFailedWriteOfTheFindChangesNeitherFile) {
  Start(k1024);
  PlaceHerb();
  Visit("");
  const std::vector<uint8_t> ware = FileBytes(".\\Data\\WarenChunk.qoe");
  g_order = 14;
  g_boxes.choice = 4;
  // Every write fails from the find on (the first write of the visit).
  FileFailWritesAfter(0);
  Visit(Select(6396, 3197) + Order(6396, 3197));
  FileFailWritesAfter(-1);
  EXPECT_TRUE(Saw("0:" + Cat(1640))) << AllTexts();
  EXPECT_TRUE(PoolChunk("HERB").empty());
  EXPECT_EQ(FileBytes(".\\Data\\WarenChunk.qoe"), ware);
  EXPECT_EQ(Find(Figures(), Own(), 42)->points, 6);
  EXPECT_EQ(Find(Figures(), Own(), 42)->x, 6396u);
}

// --- at 640 x 480 with the real message box -------------------------------------------------------

TEST_F(MapActionVisit, TheQuestionShowsAt640x480AndEnterConfirms) {
  Start(k640, false);
  EditFigures([](std::vector<FigurRecord>& v) { PlaceEnemy(v); });
  g_order = 3;
  Visit(Select(6398, 3199) + Order(6398, 3199) + At(6398, 3200) + "wait 200\npng attack_question_640.png\nkey enter\nwait 100\n");
  EXPECT_TRUE(qoe_test::KeepPng("attack_question_640.png"));
  EXPECT_EQ(PoolChunk("KRIG").size(), 88u);
}

TEST_F(MapPortVisit, TheShipNamePromptIsTheCatalogs) {
  Start(k1024, false);
  OwnPlayerPtr->ActiveTown = 2;
  view = CentreOnTown(6386, 3192, mode.w, mode.h, false);
  EditFigures([](std::vector<FigurRecord>& v) {
    for (size_t i = 0; i < v.size(); i++)
      if (v[i].number == 34) v[i].x -= 6;  // the damaged war ship waits elsewhere
    for (size_t i = 0; i < v.size(); i++)
      if (v[i].number == 33) std::swap(v[0], v[i]);
  });
  g_order = 19;
  qoe_test::DrawnTextRecorder drawn;
  Visit(Select(6386, 3192) + Order(6386, 3192) +
        "wait 200\npng ship_name.png\ntext \"Seeadler\"\nkey enter\nwait 100\n");
  EXPECT_TRUE(qoe_test::KeepPng("ship_name.png"));
  EXPECT_TRUE(drawn.Drew(Cat(1814)));
  const auto realm = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm");
  const std::vector<std::string> data = qoe_test::RealmQuotedValues(std::string(realm.begin(), realm.end()), true);
  EXPECT_EQ(drawn.PastCatalog(data), "");
}

// --- beside the figure-animation thread ---------------------------------------------------------------

uint32_t g_town_calls = 0;
uint32_t AlternateInsertDisband(uint32_t, const char*) { return (g_town_calls++ % 2) ? 2 : 1; }

// Animated map objects on every hex of the view's block, so the motion
// thread draws while the events replace the figure list.
void FillWithObjects(std::vector<FigurRecord>& v, int32_t x0, int32_t y0, int32_t columns, int32_t rows,
                     int32_t skip_x, int32_t skip_y) {
  uint16_t number = 500;
  for (int32_t c = 0; c < columns; c++)
    for (int32_t r = 0; r < rows; r++)
      if (x0 + c != skip_x || y0 + r != skip_y)
        v.push_back(Fig(0xFFFFFFFE, 1000, number++, (uint32_t)(x0 + c), (uint32_t)(y0 + r)));
}

TEST_F(MapActionVisit, TownInsertsAndDisbandsBesideTheMotionThread) {
  Start(k640);
  FileSyncWrites(0);
  EditTown("Elmor", [](std::vector<uint8_t>& t) { PutBE32(t.data() + 32, 12000); });
  EditFigures([this](std::vector<FigurRecord>& v) { FillWithObjects(v, view.x + 1, view.y + 1, 9, 7, 6398, 3199); });
  MapActionSeams seams{SeamMessage, SeamChoose, SeamInput, AlternateInsertDisband, SeamTextBox};
  SetMapActionSeams(&seams);
  g_town_calls = 0;
  MapState().motionPauseMs = 2;
  MapState().motionFrameMs = 1;
  const uint32_t frames = MapState().motionFrames.load();
  std::string script = Select(6398, 3199) + At(6398, 3199);
  const std::string right = At(6398, 3199, "right");
  for (int i = 0; i < 500; i++) script += right;
  Visit(script);
  MapState().motionPauseMs = kMotionPauseMs;
  MapState().motionFrameMs = kMotionFrameMs;
  FileSyncWrites(1);
  EXPECT_EQ(g_town_calls, 500u);
  EXPECT_GT(MapState().motionFrames.load(), frames);
  size_t settlers = 0, objects = 0;
  for (const FigurRecord& f : Figures()) {
    settlers += f.type == 10 && f.x == 6398 && f.y == 3199;
    objects += f.type == 1000;
  }
  EXPECT_EQ(settlers, 0u);
  EXPECT_EQ(objects, 62u);
}

TEST_F(MapPortVisit, SinkingsAndALostShipBesideTheMotionThread) {
  StartPort();
  FileSyncWrites(0);
  SetShipRange(1);
  std::vector<std::pair<int32_t, int32_t>> water;
  for (int32_t c = 2; c <= 7; c++)
    for (int32_t r = 1; r <= 8; r++) water.emplace_back(view.x + c, view.y + r);
  EditFigures([&](std::vector<FigurRecord>& v) {
    ShipFirst(v);
    uint16_t number = 300;
    for (const auto& w : water) v.push_back(Fig(Own(), 0, number++, (uint32_t)w.first, (uint32_t)w.second, 0, 8));
    FillWithObjects(v, view.x + 11, view.y + 1, 9, 8, -1, -1);
  });
  MapState().motionPauseMs = 2;
  MapState().motionFrameMs = 1;
  const uint32_t frames = MapState().motionFrames.load();
  std::string script;
  for (const auto& w : water) script += At(w.first, w.second) + At(w.first, w.second);
  script += At(6384, 3192) + At(6384, 3192);
  Visit(script);
  MapState().motionPauseMs = kMotionPauseMs;
  MapState().motionFrameMs = kMotionFrameMs;
  FileSyncWrites(1);
  EXPECT_GT(MapState().motionFrames.load(), frames);
  size_t scouts = 0;
  for (const FigurRecord& f : Figures()) scouts += f.owner == Own() && f.type == 0 && f.number >= 300 && f.number < 400;
  EXPECT_EQ(scouts, 0u);
  EXPECT_FALSE(Find(Figures(), Own(), 31).has_value());
  EXPECT_TRUE(Saw("textbox:" + Cat(1023))) << AllTexts();
}

}  // namespace
