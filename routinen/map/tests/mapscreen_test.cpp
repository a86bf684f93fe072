// The map screen: its centring, key steps and relayout as pure functions;
// its turn data against installed realms of the turn builder (round trips,
// the account-state rule, damaged chunks and side files, a failed write);
// headless visits at 640 x 480 x 8, 800 x 600 and 1024 x 768 (EXIT and
// Escape return the code the player came from, edge scrolling on the
// virtual clock, the keys, the release), memory over many visits and over
// the services' pairs, and the map lock against a reader thread.
#include "routinen/map/tests/map_realm.h"
#include "routinen/map/mapscreen.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/display.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/map/map.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "platform/pngfile.h"
#include "routinen/media/sound.h"
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

// --- pure functions -------------------------------------------------------------

TEST(MapScreenGeometry, CentringPutsTheTownInsideTheViewAtXPosYPos) {
  struct Size {
    uint32_t w, h;
    bool eight;
    int32_t columns, rows;
  };
  const Size sizes[] = {{640, 480, true, 10, 8}, {800, 600, false, 17, 11}, {1024, 768, false, 21, 14}};
  const uint32_t towns[][2] = {{6398, 3199}, {0, 0}, {1, 3}, {2, 1}, {12799, 6399}, {12798, 6398}, {12797, 0}, {5, 6396}};
  for (const Size& s : sizes)
    for (const auto& t : towns) {
      SCOPED_TRACE(std::to_string(s.w) + " town " + std::to_string(t[0]) + "," + std::to_string(t[1]));
      const MapCentre m = CentreOnTown(t[0], t[1], s.w, s.h, s.eight);
      EXPECT_EQ(m.x % 2, 0);
      EXPECT_GE(m.x, 0);
      EXPECT_LT(m.x, 12800);
      EXPECT_GE(m.y, 0);
      EXPECT_LT(m.y, 6400);
      EXPECT_EQ((m.x + m.x_pos) % 12800, (int32_t)t[0]);
      EXPECT_EQ((m.y + m.y_pos) % 6400, (int32_t)t[1]);
      EXPECT_GE(m.x_pos, 0);
      EXPECT_LT(m.x_pos, s.columns);
      EXPECT_GE(m.y_pos, 0);
      EXPECT_LT(m.y_pos, s.rows);
    }
  // The numbers at 640 x 480: 12 columns, 10 rows; X = town - 4
  // (made even), Y = town - 4.
  MapCentre m = CentreOnTown(6398, 3199, 640, 480, true);
  EXPECT_EQ(m.x, 6394);
  EXPECT_EQ(m.x_pos, 4);
  EXPECT_EQ(m.y, 3195);
  EXPECT_EQ(m.y_pos, 4);
  m = CentreOnTown(6399, 3199, 640, 480, true);
  EXPECT_EQ(m.x, 6394);
  EXPECT_EQ(m.x_pos, 5);
  // At 1024 x 768: 21 columns (1040 / 48, less one), 15 rows.
  m = CentreOnTown(6398, 3199, 1024, 768, false);
  EXPECT_EQ(m.x, 6398 - 10 + 1 - 1);
  EXPECT_EQ(m.x_pos, 10);
  EXPECT_EQ(m.y, 3199 - 7 + 1);
  EXPECT_EQ(m.y_pos, 6);
  m = CentreOnTown(0, 0, 1024, 768, false);
  EXPECT_EQ(m.x, 12800 - 10);
  EXPECT_EQ(m.y, 6400 - 6);
}

TEST(MapScreenGeometry, KeysStepByTheColumnsParity) {
  struct Row {
    char key;
    int16_t odd_dx, odd_dy, even_dx, even_dy;
  };
  const Row rows[] = {{'7', -1, 0, -1, -1}, {'8', 0, -1, 0, -1}, {'9', 1, 0, 1, -1},
                      {'1', -1, 1, -1, 0},  {'2', 0, 1, 0, 1},   {'3', 1, 1, 1, 0}};
  for (const Row& r : rows) {
    int16_t dx = 9, dy = 9;
    ASSERT_TRUE(FigurKeyStep((uint32_t)r.key, 6399, &dx, &dy)) << r.key;
    EXPECT_EQ(dx, r.odd_dx) << r.key;
    EXPECT_EQ(dy, r.odd_dy) << r.key;
    ASSERT_TRUE(FigurKeyStep((uint32_t)r.key, 6398, &dx, &dy)) << r.key;
    EXPECT_EQ(dx, r.even_dx) << r.key;
    EXPECT_EQ(dy, r.even_dy) << r.key;
  }
  for (char k : {'4', '5', '6', '0', 'x'}) {
    int16_t dx = 0, dy = 0;
    EXPECT_FALSE(FigurKeyStep((uint32_t)k, 6399, &dx, &dy)) << k;
  }
}

// The map's help (INFO) tells the player how the screen really works: a
// figure is selected by a second click on its marked field and moved with
// the keys that step it; a click on another field only marks that field.
TEST(MapScreenGeometry, TheMapHelpNamesTheKeysThatMoveAFigure) {
  const std::string help = GetCatalogStr(513);
  for (char k = '0'; k <= '9'; ++k) {
    int16_t dx = 0, dy = 0;
    if (FigurKeyStep((uint32_t)k, 6399, &dx, &dy)) { EXPECT_NE(help.find(k), std::string::npos) << k; }
  }
  EXPECT_NE(help.find("once more"), std::string::npos) << help;
  EXPECT_EQ(help.find("click on a field to move"), std::string::npos) << help;
}

class MapScreenLayout : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Karte1024.dat");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
};

TEST_F(MapScreenLayout, RelayoutAt800x600MovesGadgetsAndValuesByTheRule) {
  ScreenRegion* r = GetScreenRegion(".\\Data\\Screendat\\Karte1024.dat", 518);
  ASSERT_NE(r, nullptr);
  RelayoutKarte1024(r, 800, 600);
  struct Want {
    uint32_t n;
    uint16_t x1, y1, x2, y2;
  };
  const Want want[] = {
      {0, 662 - 224, 638 - 168, 838 - 224, 744 - 168},  // FIGU: right-anchored
      {6, 33, 641 - 168, 129, 737 - 168},               // MAP1 keeps its x
      {7, 73, 611 - 168, 88, 632 - 168},                // UPGO
      {12, 974 - 224, 722 - 168, 1014 - 224, 744 - 168},  // EXIT
      {13, 662 - 224, 610 - 168, 685 - 224, 631 - 168},   // BUT1
      {18, 0, 682 - 168, 29, 697 - 168},                // LEFT
      {22, 95, 590 - 168, 114, 609 - 168},              // ROHS
      {23, 16, 16, 1007 - 224, 751 - 168},              // MAP0 grows
  };
  for (const Want& w : want) {
    const Gadget* g = GetRegionGadget(r, w.n);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->x1, w.x1) << w.n;
    EXPECT_EQ(g->y1, w.y1) << w.n;
    EXPECT_EQ(g->x2, w.x2) << w.n;
    EXPECT_EQ(g->y2, w.y2) << w.n;
  }
  const uint16_t* v = static_cast<const uint16_t*>(r->types[LAYOUT_U16LIST].first);
  ASSERT_EQ(r->types[LAYOUT_U16LIST].count, 32u);
  // Moved by dw: 9, 13, 18, 19, 24, 26, 28, 30; by dh: 14, 15, 21, 23, 25, 27, 29, 31.
  EXPECT_EQ(v[9], 1024 - 224);
  EXPECT_EQ(v[13], 1024 - 224);
  EXPECT_EQ(v[18], 1007 - 224);
  EXPECT_EQ(v[19], 1024 - 224);
  EXPECT_EQ(v[14], 751 - 168);
  EXPECT_EQ(v[15], 768 - 168);
  EXPECT_EQ(v[20], 17);  // the minimap's x stays
  EXPECT_EQ(v[21], 625 - 168);
  EXPECT_EQ(v[23], 752 - 168);
  EXPECT_EQ(v[24], 662 - 224);
  EXPECT_EQ(v[25], 638 - 168);
  EXPECT_EQ(v[0], 662);  // the info box moves when its requester is made
  FreeScreenRegion(r);
  // At 1024 x 768 nothing moves.
  r = GetScreenRegion(".\\Data\\Screendat\\Karte1024.dat", 518);
  ASSERT_NE(r, nullptr);
  RelayoutKarte1024(r, 1024, 768);
  EXPECT_EQ(GetRegionGadget(r, 23)->x2, 1007);
  EXPECT_EQ(GetRegionGadget(r, 0)->x1, 662);
  FreeScreenRegion(r);
}

// --- installed realms -------------------------------------------------------------------

std::vector<uint8_t> ChunkBytes(const char* id, const char* path) {
  LoadedChunk c(id, path);
  if (!c.p) return {};
  return std::vector<uint8_t>(c.p, c.p + 12 + c.len());
}

class MapScreenRealm : public testing::Test {
 protected:
  void Install(const char* realm = "demo.realm") {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Karte.dat");
    ASSERT_TRUE(map_test::InstallDemoRealm(realm));
  }
  void TearDown() override {
    KartenScreenRecord* d = KartenScreenData;
    if (d->Status == MAPSCREEN_KEPT) KartenScreen(0, 0);
    ReleaseKartenScreenData(d);
    ResetMapScreenState();
    SetMapScreenHooks(nullptr);
    FileFailWritesAfter(-1);
  }
  // Puts the received pool's chunk into the outgoing pool.
  void CopyToOutgoing(const char* id) {
    LoadedChunk c(id, ReceivedPoolPath);
    ASSERT_NE(c.p, nullptr) << id;
    ASSERT_NE(AddChunkPool(c.p, OutgoingPoolPath), 0);
  }
};

TEST_F(MapScreenRealm, ReadThenWriteLeavesArmyShipAndSpezByteIdentical) {
  Install();
  CopyToOutgoing("ARMY");
  const std::vector<uint8_t> army = ChunkBytes("ARMY", OutgoingPoolPath);
  const std::vector<uint8_t> ship = ChunkBytes("SHIP", ReceivedPoolPath);
  const std::vector<uint8_t> spez = ChunkBytes("SPEZ", ReceivedPoolPath);
  ASSERT_FALSE(army.empty());
  ASSERT_FALSE(ship.empty());
  ASSERT_FALSE(spez.empty());
  KartenScreenRecord* d = KartenScreenData;
  ASSERT_EQ(ReadKartenScreenData(d), 1);
  EXPECT_EQ(d->Armies->count, 5u);  // the demo realm's armies, the castle guard among them
  EXPECT_EQ(d->Ships->count, 4u);  // two off the coast, two in Seewacht's port
  EXPECT_NE(d->ShipAddOns, nullptr);
  EXPECT_EQ(d->Specialists->count, 4u);
  EXPECT_NE(d->Players, nullptr);
  ASSERT_EQ(WriteKartenScreenData(d, 1), 1);
  EXPECT_EQ(d->Armies, nullptr);
  EXPECT_EQ(d->Players, nullptr);
  EXPECT_EQ(ChunkBytes("ARMY", OutgoingPoolPath), army);
  EXPECT_EQ(ChunkBytes("SHIP", OutgoingPoolPath), ship);
  EXPECT_EQ(ChunkBytes("SPEZ", OutgoingPoolPath), spez);
  // Twice round: the same bytes again.
  ASSERT_EQ(ReadKartenScreenData(d), 1);
  ASSERT_EQ(WriteKartenScreenData(d, 0), 1);
  EXPECT_NE(d->Armies, nullptr);  // release 0 keeps the lists ...
  EXPECT_EQ(d->Players, nullptr);  // ... but not the players and battles
  EXPECT_EQ(ChunkBytes("SHIP", OutgoingPoolPath), ship);
}

TEST_F(MapScreenRealm, LandValuesAndQuarterAreRead) {
  Install();
  KartenScreenRecord* d = KartenScreenData;
  ASSERT_EQ(ReadKartenScreenData(d), 1);
  LoadedChunk land("LAND", ReceivedPoolPath);
  ASSERT_NE(land.p, nullptr);
  EXPECT_EQ(d->Inhabitants, ChunkGet32(land.p, 14) / 10);
  EXPECT_EQ(d->LandValueB, ChunkGet32(land.p, 74));
  EXPECT_EQ(d->BonusResource, (int16_t)(int8_t)land.p[90]);
  LoadedChunk korn("KORN", ReceivedPoolPath);
  ASSERT_NE(korn.p, nullptr);
  EXPECT_EQ(d->Quarter, ChunkGet16(korn.p, 16));
}

TEST_F(MapScreenRealm, AnotherAccountStateTouchesNoFile) {
  Install();
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_SIGNUP_SENT);
  const auto before = qoe_test::FileTree("Data");
  KartenScreenRecord* d = KartenScreenData;
  EXPECT_EQ(ReadKartenScreenData(d), 1);
  EXPECT_EQ(d->Armies, nullptr);
  EXPECT_EQ(d->Ships, nullptr);
  d->Ships = CreateList(LIST_SHIPS);
  EXPECT_EQ(WriteKartenScreenData(d, 1), 1);
  EXPECT_TRUE(qoe_test::FileTree("Data") == before);
  ReleaseKartenScreenData(d);
}

TEST_F(MapScreenRealm, ArmyOnlyInTheReceivedPoolGivesAnEmptyList) {
  Install();
  ASSERT_NE(RemChunkPool("ARMY", OutgoingPoolPath), 0);
  ASSERT_FALSE(ChunkBytes("ARMY", ReceivedPoolPath).empty());
  KartenScreenRecord* d = KartenScreenData;
  ASSERT_EQ(ReadKartenScreenData(d), 1);
  ASSERT_NE(d->Armies, nullptr);
  EXPECT_EQ(d->Armies->count, 0u);
  ReleaseKartenScreenData(d);
}

TEST_F(MapScreenRealm, AnEmptyShipListRemovesShipAndKeepsTheAddOnFile) {
  Install();
  CopyToOutgoing("SHIP");
  ListHeader* addons = CreateList(LIST_SHIP_ADDONS);
  ShipAddOn* a = reinterpret_cast<ShipAddOn*>(AllocListNode(addons));
  std::strcpy(a->name, "Seeadler");
  a->ship_id = 31;
  AddNode(addons, &a->head, LN_TAIL, 0);
  ASSERT_EQ(SaveShipAddOnList(addons), 1);
  DeleteList(addons, 0);
  const std::vector<uint8_t> addon_file = qoe_test::ReadFileBytes("Data/ShipAddOn.dat");
  ASSERT_EQ(addon_file.size(), 96u);
  KartenScreenRecord* d = KartenScreenData;
  ASSERT_EQ(ReadKartenScreenData(d), 1);
  ASSERT_EQ(d->Ships->count, 4u);
  DeleteList(d->Ships, 0);
  d->Ships = CreateList(LIST_SHIPS);
  ASSERT_EQ(WriteKartenScreenData(d, 1), 1);
  EXPECT_EQ(ChunkState("SHIP", OutgoingPoolPath), CHUNK_ABSENT);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/ShipAddOn.dat"), addon_file);
}

TEST_F(MapScreenRealm, DamagedSideFilesAndPoolsStayAsTheyWere) {
  Install();
  CopyToOutgoing("SHIP");
  // A MapNames.dat and a ShipAddOn.dat that are no whole number of records.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MapNames.dat", std::vector<uint8_t>(100, 7)));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/ShipAddOn.dat", std::vector<uint8_t>(50, 9)));
  const auto names = qoe_test::ReadFileBytes("Data/MapNames.dat");
  const auto addons = qoe_test::ReadFileBytes("Data/ShipAddOn.dat");
  KartenScreenRecord* d = KartenScreenData;
  qoe_test::LogLines log;
  EXPECT_EQ(ReadKartenScreenData(d), 0);
  EXPECT_EQ(d->MapNamesUnread, 1);
  EXPECT_EQ(d->ShipAddOnsUnread, 1);
  EXPECT_EQ(WriteKartenScreenData(d, 1), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapNames.dat"), names);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/ShipAddOn.dat"), addons);
  // A damaged outgoing pool: no list read from it is written over it.
  std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  ASSERT_GT(pool.size(), 40u);
  pool[pool.size() - 3] ^= 0x55;
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", pool));
  EXPECT_EQ(ReadKartenScreenData(d), 0);
  EXPECT_EQ(d->ShipsUnread, 1);
  EXPECT_EQ(d->SpecialistsUnread, 1);
  EXPECT_EQ(d->ArmiesUnread, 1);
  WriteKartenScreenData(d, 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool);
}

TEST_F(MapScreenRealm, AFailedWriteChangesNoFile) {
  Install();
  CopyToOutgoing("ARMY");
  KartenScreenRecord* d = KartenScreenData;
  ASSERT_EQ(ReadKartenScreenData(d), 1);
  // Changes: an army renamed, a new map name.
  ASSERT_NE(d->Armies->first, nullptr);
  std::strcpy(reinterpret_cast<Army*>(d->Armies->first)->ArmyName, "Rabengarde");
  MapNameEintrag* n = reinterpret_cast<MapNameEintrag*>(AllocListNode(d->MapNames));
  n->x = 6390;
  n->y = 3190;
  std::strcpy(n->name, "Rabenfels");
  AddNode(d->MapNames, &n->head, LN_TAIL, 0);
  const auto before = qoe_test::FileTree("Data");
  for (int32_t budget = 0; budget < 3; ++budget) {
    FileFailWritesAfter(budget);
    EXPECT_EQ(WriteKartenScreenData(d, 0), 0) << budget;
    FileFailWritesAfter(-1);
    EXPECT_TRUE(qoe_test::FileTree("Data") == before) << budget;
  }
  EXPECT_EQ(WriteKartenScreenData(d, 1), 1);
  EXPECT_FALSE(qoe_test::FileTree("Data") == before);
}

// --- headless visits --------------------------------------------------------------------

// What the after-draw function saw: the view's position at each redraw.
struct Draws {
  std::mutex lock;
  std::vector<std::pair<int32_t, int32_t>> views;
};
Draws& SeenDraws() {
  static Draws d;
  return d;
}
void RecordDraw(QoEMapInfo* map) {
  std::lock_guard<std::mutex> g(SeenDraws().lock);
  SeenDraws().views.emplace_back(map->X, map->Y);
}

struct Mode {
  uint32_t id, w, h;
  int exit_x, exit_y;
};
const Mode kModes[] = {{0, 640, 480, 530, 458}, {4, 800, 600, 770, 565}, {8, 1024, 768, 994, 733}};

class MapScreenVisit : public MapScreenRealm, public testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(Mode().id), 1);
    ResetInputState();
    FillDisplayRecord();
    Install();
    MapScreenHooks h{};
    h.AfterDraw = RecordDraw;
    SetMapScreenHooks(&h);
    std::lock_guard<std::mutex> g(SeenDraws().lock);
    SeenDraws().views.clear();
  }
  void TearDown() override {
    MapScreenRealm::TearDown();
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
  }
  const ::Mode& Mode() const { return kModes[GetParam()]; }
  std::string Tag() const { return std::to_string(Mode().w) + "x" + std::to_string(Mode().h); }
  int32_t Visit(int32_t code, const std::string& script) {
    static int32_t s_code, s_result;
    s_code = code;
    s_result = 99;
    // The mouse rests in the middle of the map, away from the scroll zones.
    const std::string timed = "move 300 300\ntimer 0 100\nwait 600\n" + script + "wait 300\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return s_result = KartenScreen(s_code, 1), 0; }, nullptr), 0);
    return s_result;
  }
  std::vector<std::pair<int32_t, int32_t>> Views() {
    std::lock_guard<std::mutex> g(SeenDraws().lock);
    return SeenDraws().views;
  }
  std::string Exit() const { return qoe_test::ClickLine(Mode().exit_x, Mode().exit_y); }
};

TEST_P(MapScreenVisit, ExitAndEscapeReturnTheCodeThePlayerCameFrom) {
  const std::string png = "mapscreen_" + Tag() + ".png";
  EXPECT_EQ(Visit(2, "png " + png + "\n" + Exit()), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(Visit(39, "key esc\n"), 39);
  EXPECT_EQ(Visit(152, "wait 200\nkey esc\n"), 152);
  const bool deep = Mode().w > 640;
  EXPECT_EQ(KartenScreenData->Status, deep ? (uint32_t)MAPSCREEN_KEPT : (uint32_t)MAPSCREEN_NOT_BUILT);
  EXPECT_EQ(KartenScreenData->map != nullptr, deep);
  if (deep) {
    // The release: run 0 with Status 1 frees everything and draws nothing.
    const size_t draws = Views().size();
    EXPECT_EQ(KartenScreen(2, 0), -1);
    EXPECT_EQ(KartenScreenData->Status, (uint32_t)MAPSCREEN_NOT_BUILT);
    EXPECT_EQ(KartenScreenData->map, nullptr);
    EXPECT_EQ(Views().size(), draws);
  }
}

// The start-up steps the map screen told as failed (the program's hook
// shows the box of catalog 1570 with the step's text).
std::vector<uint32_t>& FailedSteps() {
  static std::vector<uint32_t> steps;
  return steps;
}
void RecordStartFailed(uint32_t step, const char*) { FailedSteps().push_back(step); }

// A figure file that cannot be used (cut to 150 bytes, a count past its
// end, missing, a folder in its place) is told in a box over the map as it
// opens, in every display mode, naming the file and what is wrong with it;
// the map opens (the game does not end on a failed start), the land is drawn
// without figures, and leaving writes nothing in the file's place.
TEST_P(MapScreenVisit, AFigureFileThatCannotBeUsedIsToldOverTheMapAndLeavingWritesNothing) {
  const std::vector<uint8_t> good = qoe_test::ReadFileBytes(qoe_test::kFigureFile);
  ASSERT_GT(good.size(), 200u);
  MapScreenHooks h{};
  h.AfterDraw = RecordDraw;
  h.StartFailed = RecordStartFailed;
  SetMapScreenHooks(&h);
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = qoe_test::LayFigureFile(c, good);
    const std::string kind = qoe_test::FigureFileGone(c) ? "missing_" : "damaged_";
    const std::string told = "map_figures_" + kind + Tag() + ".png", after = "map_without_figures_" + Tag() + ".png";
    FailedSteps().clear();
    qoe_test::LogLines log;
    qoe_test::DrawnTextRecorder drawn;
    EXPECT_EQ(Visit(2, "png " + told + "\nkey enter\nwait 300\npng " + after + "\n" + Exit()), 2);
    EXPECT_TRUE(FailedSteps().empty());
    EXPECT_TRUE(log.Has(qoe_test::FigureFileToldLine(c)));
    EXPECT_TRUE(drawn.Drew(qoe_test::FigureFileSentence(c) + " " + GetCatalogStr(1796)));
    EXPECT_FALSE(log.Has("Die Befehle der Karte konnten nicht gespeichert werden"));
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, bytes));
    if (c.fault == qoe_test::FigureFault::kCut || c.fault == qoe_test::FigureFault::kFolder) {
      EXPECT_TRUE(qoe_test::KeepPng(told));
      EXPECT_TRUE(qoe_test::KeepPng(after));
    }
    // The next case builds the map anew.
    if (KartenScreenData->Status == MAPSCREEN_KEPT) KartenScreen(0, 0);
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, bytes));
  }
}

// A world map that cannot be set up (here: the realm's map parts are gone)
// is told as the realm's map, never as the dungeon's.
TEST_P(MapScreenVisit, AMapThatCannotBeSetUpIsToldAsTheRealmsMap) {
  MapScreenHooks h{};
  h.AfterDraw = RecordDraw;
  h.StartFailed = RecordStartFailed;
  SetMapScreenHooks(&h);
  fs::remove_all("Map");
  FailedSteps().clear();
  EXPECT_EQ(Visit(2, ""), -1);
  ASSERT_EQ(FailedSteps().size(), 1u);
  EXPECT_EQ(FailedSteps()[0], 1932u);
  const std::string step = GetCatalogStr(FailedSteps()[0]);
  EXPECT_NE(step.find("map"), std::string::npos) << step;
  EXPECT_EQ(step.find("dungeon"), std::string::npos) << step;
}

TEST_P(MapScreenVisit, TheViewIsCentredOnTheActiveTown) {
  EXPECT_EQ(Visit(2, "key esc\n"), 2);
  const auto views = Views();
  ASSERT_FALSE(views.empty());
  // The capital of the demo realm lies at (6398, 3199).
  const auto& v = views.back();
  const int32_t columns = Mode().w == 640 ? 10 : (int32_t)(Mode().w + 16) / 48 - 1;
  const int32_t rows = Mode().w == 640 ? 8 : (int32_t)(Mode().h + 28) / 56 + 1;
  const int32_t cx = (6398 - v.first + 12800) % 12800, cy = (3199 - v.second + 6400) % 6400;
  EXPECT_GE(cx, columns / 2 - 3);
  EXPECT_LE(cx, columns / 2 + 3);
  EXPECT_GE(cy, rows / 2 - 3);
  EXPECT_LE(cy, rows / 2 + 3);
  EXPECT_EQ(v.first % 2, 0);
}

TEST_P(MapScreenVisit, EdgeScrollingBeginsOnTheThirdTickAndStopsOutside) {
  // The mouse in the top zone, ticks one by one (the game tick timer off).
  const int32_t top_y = Mode().w == 640 ? 8 : 6;
  const std::string in_top = "move 300 " + std::to_string(top_y) + "\n";
  EXPECT_EQ(Visit(2, "timer 0 off\nsync\n" + in_top + "tick\nsync\npng a.png\ntick\nsync\ntick\nsync\ntick\nsync\n"
                         "move 300 300\ntick\nsync\n" + in_top + "tick\nsync\ntick\nsync\nkey esc\n"),
            2);
  const auto views = Views();
  ASSERT_GE(views.size(), 1u);
  // From the first draw on: two scrolls in the first stay (ticks 3 and 4),
  // none in the second (reset outside, only two ticks).
  int32_t ups = 0;
  for (size_t i = 1; i < views.size(); ++i)
    if (views[i].second == (views[i - 1].second + 6399) % 6400) ups++;
  EXPECT_EQ(ups, 2);
}

// A pointer that left the window at an edge keeps its last position there;
// the view stays put while it is outside, and while the window has lost the
// focus, and scrolls again once the pointer is back in the focused window.
TEST_P(MapScreenVisit, EdgeScrollingWaitsForThePointerInTheFocusedWindow) {
  const int32_t w = (int32_t)Mode().w, h = (int32_t)Mode().h;
  const bool eight = w == 640;
  // The bottom right corner (in both zones there), then the bottom zone alone.
  const std::string corner =
      eight ? "move 494 470\n" : "move " + std::to_string(w - 1) + " " + std::to_string(h - 1) + "\n";
  const std::string bottom =
      eight ? "move 300 470\n" : "move " + std::to_string(w / 2) + " " + std::to_string(h - 1) + "\n";
  const std::string ticks = "tick\nsync\ntick\nsync\ntick\nsync\ntick\nsync\n";
  EXPECT_EQ(Visit(2, corner + "leave\nwait 3000\ntimer 0 off\nsync\n" + ticks +  // left the window
                         bottom + "focus out\n" + ticks +                        // back, but no focus
                         "focus in\n" + ticks + "key esc\n"),                    // two scrolls down
            2);
  const auto views = Views();
  ASSERT_GE(views.size(), 1u);
  int32_t moves = 0, downs = 0;
  for (size_t i = 1; i < views.size(); ++i) {
    if (views[i] != views[i - 1]) moves++;
    if (views[i].first == views[i - 1].first && views[i].second == (views[i - 1].second + 1) % 6400) downs++;
  }
  EXPECT_EQ(moves, 2);
  EXPECT_EQ(downs, 2);
}

// Before the first move the mouse position (0, 0) is no pointer's: a run
// that leaves the pointer alone keeps the view where it opened, at the
// active town, for any number of ticks; the first move at the left edge
// then scrolls as ever.
TEST_P(MapScreenVisit, NoEdgeScrollBeforeTheFirstMoveTellsWhereThePointerIs) {
  static int32_t s_result;
  s_result = 99;
  const std::string ticks = "tick\nsync\ntick\nsync\ntick\nsync\ntick\nsync\n";
  const std::string left = "move 1 " + std::to_string(Mode().h / 2) + "\n";
  const std::string script = "timer 0 off\nwait 600\nsync\n" + ticks + ticks + "png mapscreen_" + Tag() + "_unmoved.png\n" +
                             left + ticks + "key esc\nwait 300\n";
  EXPECT_EQ(HeadlessRunGame(script.c_str(), [](void*) { return s_result = KartenScreen(2, 1), 0; }, nullptr), 0);
  EXPECT_EQ(s_result, 2);
  const auto views = Views();
  ASSERT_GE(views.size(), 1u);
  // Eight ticks with the pointer unknown, then four at the left edge: two
  // scrolls in all, both to the left.
  int32_t moves = 0, lefts = 0;
  for (size_t i = 1; i < views.size(); ++i) {
    if (views[i] != views[i - 1]) moves++;
    if (views[i].second == views[i - 1].second && views[i].first == (views[i - 1].first + 12798) % 12800) lefts++;
  }
  EXPECT_EQ(moves, 2);
  EXPECT_EQ(lefts, 2);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_" + Tag() + "_unmoved.png"));
}

TEST_P(MapScreenVisit, ArrowsAndLettersScrollTypedSignsDoNot) {
  EXPECT_EQ(Visit(2, "timer 0 off\nsync\nkey left\nsync\nkey d\nsync\nkey W\nsync\nkey down\nsync\n"
                     "text \"%\"\ntext \"&\"\ntext \"'\"\ntext \"(\"\nsync\ntext \"4\"\ntext \"5\"\nsync\nkey esc\n"),
            2);
  auto views = Views();
  // The leave of a deeper display redraws the map kept for the next visit.
  if (Mode().w > 640) views.pop_back();
  ASSERT_GE(views.size(), 5u);
  // Left, right, up, down from the first draw; nothing after.
  const size_t b = views.size() - 5;
  EXPECT_EQ(views[b + 1].first, (views[b].first + 12798) % 12800);
  EXPECT_EQ(views[b + 2].first, views[b].first);
  EXPECT_EQ(views[b + 3].second, (views[b].second + 6399) % 6400);
  EXPECT_EQ(views[b + 4].second, views[b].second);
}

// A held arrow key scrolls on with the keyboard's repeats: pressed on the
// map, 600 ms held (the press and three repeats), four steps to the left.
TEST_P(MapScreenVisit, AHeldArrowScrollsStepByStep) {
  EXPECT_EQ(Visit(2, "timer 0 off\nsync\nkeydown left\nwait 600\nkeyup left\nsync\nkey esc\n"), 2);
  const auto views = Views();
  ASSERT_GE(views.size(), 5u);
  int32_t moves = 0, lefts = 0;
  for (size_t i = 1; i < views.size(); ++i) {
    if (views[i] != views[i - 1]) moves++;
    if (views[i].second == views[i - 1].second && views[i].first == (views[i - 1].first + 12798) % 12800) lefts++;
  }
  EXPECT_EQ(moves, 4);
  EXPECT_EQ(lefts, 4);
}

TEST_P(MapScreenVisit, TheInfoGadgetShowsTheMapHelp) {
  if (Mode().w != 640) GTEST_SKIP() << "the deeper displays: MapScreenBoxes";
  qoe_test::LogLines log;
  EXPECT_EQ(Visit(2, qoe_test::ClickLine(530, 412) + "wait 300\npng info.png\nkey enter\nwait 200\nkey esc\n"), 2);
  EXPECT_TRUE(qoe_test::KeepPng("info.png"));
}

INSTANTIATE_TEST_SUITE_P(Modes, MapScreenVisit, testing::Values(0, 1, 2),
                         [](const testing::TestParamInfo<int>& i) {
                           return std::to_string(kModes[i.param].w) + "x" + std::to_string(kModes[i.param].h);
                         });

uint64_t Outstanding() { return MemAllocatedCounter_SS.load() - MemFreedCounter_SS.load(); }

class MapScreenMemory : public MapScreenRealm {
 protected:
  void Open(uint32_t mode) {
    ASSERT_EQ(HeadlessOpenDisplay(mode), 1);
    ResetInputState();
    FillDisplayRecord();
    Install();
  }
  void TearDown() override {
    MapScreenRealm::TearDown();
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
  }
};

TEST_F(MapScreenMemory, HundredVisitsAt8BitsLeaveMemoryFlat) {
  Open(0);
  std::string script = "timer 0 100\nwait 300\n";
  for (int i = 0; i < 102; ++i) script += "wait 150\nkey esc\n";
  static uint64_t s_after_warmup, s_end;
  static int s_returned;
  s_returned = 0;
  ASSERT_EQ(HeadlessRunGame(script.c_str(),
                            [](void*) {
                              for (int i = 0; i < 102; ++i) {
                                if (KartenScreen(2, 1) == 2) s_returned++;
                                if (i == 1) s_after_warmup = Outstanding();
                              }
                              s_end = Outstanding();
                              return 0;
                            },
                            nullptr),
            0);
  EXPECT_EQ(s_returned, 102);
  EXPECT_LE(s_end, s_after_warmup + 4096) << "grew by " << (int64_t)(s_end - s_after_warmup);
}

// The services' pairs on a deeper display while a reader thread takes the
// map lock and reads the published record.
TEST_F(MapScreenMemory, ThreadSaveAndNewSetupPairsKeepMemoryFlatBesideAReader) {
  Open(8);
  ASSERT_EQ(MapScreenPrebuild(), 1);
  ASSERT_EQ(KartenScreenData->Status, (uint32_t)MAPSCREEN_KEPT);
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> seen{0}, nulls{0};
  std::thread reader([&] {
    while (!stop.load()) {
      LockMapRecord();
      if (QoEMapInfo* m = PublishedMap()) {
        // Reading the record while it is published.
        if (m->CMap && m->Columns > 0) seen++;
      } else {
        nulls++;
      }
      UnlockMapRecord();
      std::this_thread::yield();
    }
  });
  uint64_t warm = 0;
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(MapScreenSaveData(), 1) << i;
    ASSERT_EQ(KartenScreenData->map, nullptr);
    ASSERT_EQ(MapScreenNewSetup(), 1) << i;
    ASSERT_NE(KartenScreenData->map, nullptr);
    if (i == 1) warm = Outstanding();
  }
  const uint64_t end = Outstanding();
  stop = true;
  reader.join();
  EXPECT_GT(seen.load(), 0u);
  EXPECT_LE(end, warm + 4096) << "grew by " << (int64_t)(end - warm);
  // Without the lock the accessor gives nothing.
  EXPECT_EQ(PublishedMap(), nullptr);
}

// --- the tick: ambience and the music zone on a map built in advance ------------------

struct Played {
  std::vector<uint32_t> sfx, cd;
  std::vector<uint32_t> randoms;  // scripted answers of the map's random source
  size_t next_random = 0;
  bool cycle = false;    // the answers start again after the last
  bool playing = false;  // every effect reported as playing
};
Played& Sounds() {
  static Played p;
  return p;
}

class MapScreenTick : public MapScreenMemory {
 protected:
  void SetUp() override {
    Open(8);
    Sounds() = Played{};
    MapScreenSoundSeams seams{};
    seams.play = [](uint32_t id) { return Sounds().sfx.push_back(id), 1; };
    seams.idle = [](uint32_t) { return Sounds().playing ? 0 : 1; };
    seams.cdReady = [] { return 1; };
    seams.playCd = [](uint8_t t) { Sounds().cd.push_back(t); };
    SetMapScreenSoundSeams(&seams);
    MapState().random = [](uint32_t n) {
      Played& p = Sounds();
      if (p.cycle && !p.randoms.empty()) p.next_random %= p.randoms.size();
      const uint32_t v = p.next_random < p.randoms.size() ? p.randoms[p.next_random++] : 0;
      return v > n ? n : v;
    };
    ASSERT_EQ(MapScreenPrebuild(), 1);
    // The mouse in the middle of the map, away from the scroll zones.
    ASSERT_EQ(PostMouseMessage(kMsgMouseMove, 500, 400, 0), 1);
    ASSERT_EQ(WaitEvent(WE_NOWAIT), WE_MOUSE_MOVE);
    d_ = KartenScreenData;
    ASSERT_NE(d_->map, nullptr);
    view_x_ = d_->map->X;
    // Every neighbour of the clicked hex grassland, no figure on them.
    for (MapTile* t : Neighbours()) t->Grafik = 12;
    for (uint32_t i = 0, n = MapFigurCount(d_->map->Figures); i < n; ++i) MapFigurAt(d_->map->Figures, i)->X = 1;
  }
  void TearDown() override {
    MapState().random = nullptr;
    SetMapScreenSoundSeams(nullptr);
    MotionBusy.store(0);
    MapScreenMemory::TearDown();
  }
  std::vector<MapTile*> Neighbours() {
    std::vector<MapTile*> out;
    QoEMapInfo* m = d_->map;
    const int32_t c = m->ViewColumn + d_->X_Pos, r = m->ViewRow + d_->Y_Pos;
    static const int8_t kOdd[6][2] = {{0, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
    static const int8_t kEven[6][2] = {{0, -1}, {1, -1}, {1, 0}, {0, 1}, {-1, 0}, {-1, -1}};
    for (const auto& s : (c & 1) ? kOdd : kEven) out.push_back(m->CMap + (r + s[1]) * 240 + c + s[0]);
    return out;
  }
  // Ticks up to the first period (100 ticks) with the randoms given.
  void RunPeriod(std::vector<uint32_t> randoms) {
    Sounds().randoms = std::move(randoms);
    Sounds().next_random = 0;
    for (int i = 0; i < 100; ++i) KartenScreenTick(d_);
  }
  KartenScreenRecord* d_ = nullptr;
  int32_t view_x_ = 0;
};

TEST_F(MapScreenTick, SeaMountainsAndFiguresOfTheWildAreHeardByTheirNeighbours) {
  KartenScreenTick(d_);
  EXPECT_TRUE(Sounds().sfx.empty());
  Neighbours()[2]->Grafik = 23;  // water
  KartenScreenTick(d_);
  EXPECT_EQ(Sounds().sfx, (std::vector<uint32_t>{78}));
  Neighbours()[2]->Grafik = 12;
  Neighbours()[4]->Grafik = 5;  // mountains
  KartenScreenTick(d_);
  EXPECT_EQ(Sounds().sfx.back(), 101u);
  Neighbours()[4]->Grafik = 9;  // a mountain crest
  KartenScreenTick(d_);
  EXPECT_EQ(Sounds().sfx.back(), 101u);
  Neighbours()[4]->Grafik = 12;
  MapFigur* f = MapFigurAt(d_->map->Figures, 0);
  f->X = Neighbours()[5]->X;
  f->Y = Neighbours()[5]->Y;
  f->Besitzer = 0xFFFFFFFEu;
  Sounds().sfx.clear();
  KartenScreenTick(d_);
  EXPECT_EQ(Sounds().sfx, (std::vector<uint32_t>{105}));
  // A playing effect is not started again.
  Sounds().playing = true;
  Sounds().sfx.clear();
  KartenScreenTick(d_);
  EXPECT_TRUE(Sounds().sfx.empty());
  EXPECT_EQ(d_->map->X, view_x_);  // no scroll: the mouse is in no zone
}

TEST_F(MapScreenTick, ThePeriodPlaysACdTrackAndTheQuartersSounds) {
  for (MapTile* t : Neighbours()) t->Grafik = 17;  // forest all round
  RunPeriod({0, 4, 0});  // CD track 11; the next period (4 + 1) x 10; sound 24
  EXPECT_EQ(Sounds().cd, (std::vector<uint32_t>{11}));
  EXPECT_EQ(Sounds().sfx, (std::vector<uint32_t>{24}));
  // The next period is 50 ticks.
  Sounds().randoms = {1, 0, 1};
  Sounds().next_random = 0;
  for (int i = 0; i < 49; ++i) KartenScreenTick(d_);
  EXPECT_EQ(Sounds().cd.size(), 1u);
  KartenScreenTick(d_);
  EXPECT_EQ(Sounds().cd, (std::vector<uint32_t>{11, 10}));
  EXPECT_EQ(Sounds().sfx, (std::vector<uint32_t>{24, 27}));
}

TEST_F(MapScreenTick, WinterPlaysOnly103104And102) {
  for (MapTile* t : Neighbours()) t->Grafik = 17;  // forest: 24 and 27 were due in summer
  d_->Quarter = 3;
  const uint32_t want[4] = {103, 104, 102, 0};
  for (uint32_t k : {0u, 1u, 2u, 3u}) {
    // Every period the same answers: no CD track, a period of 60, sound k.
    Sounds().sfx.clear();
    Sounds().randoms = {3, 5, k};
    Sounds().next_random = 0;
    Sounds().cycle = true;
    for (int i = 0; i < 130; ++i) KartenScreenTick(d_);
    if (k < 3) {
      ASSERT_FALSE(Sounds().sfx.empty()) << k;
      for (uint32_t id : Sounds().sfx) EXPECT_EQ(id, want[k]) << k;
    } else {
      EXPECT_TRUE(Sounds().sfx.empty());
    }
  }
}

TEST_F(MapScreenTick, NothingIsPlayedWhileTheTransitionRuns) {
  Neighbours()[0]->Grafik = 23;
  MotionBusy.store(1);
  RunPeriod({0, 0, 0});
  EXPECT_TRUE(Sounds().sfx.empty());
  EXPECT_TRUE(Sounds().cd.empty());
  MotionBusy.store(0);
  KartenScreenTick(d_);
  EXPECT_EQ(Sounds().sfx, (std::vector<uint32_t>{78}));
}

TEST_F(MapScreenTick, TheMusicZoneSwitchesOnceInAndOnceBack) {
  QoESystemPtr->SoundStatus.store(1 | SOUND_FASTTRACKER | SOUND_MUSIC);
  MusicSwitchTo(".\\Mods\\Title.mod");
  qoe_test::LogLines log;
  char name[128];
  d_->map->X = 120;
  d_->map->Y = 6300;
  KartenScreenTick(d_);
  KartenScreenTick(d_);
  MusicCurrentName(name, sizeof name);
  EXPECT_STREQ(name, ".\\Mods\\Secret.XM");
  EXPECT_EQ(log.Count("KartenScreen: Musik .\\Mods\\Secret.XM"), 1);
  d_->map->X = 200;
  KartenScreenTick(d_);
  KartenScreenTick(d_);
  MusicCurrentName(name, sizeof name);
  EXPECT_STREQ(name, ".\\Mods\\Title.mod");
  EXPECT_EQ(log.Count("KartenScreen: Musik zurueck"), 1);
  // Without module music nothing is switched.
  QoESystemPtr->SoundStatus.store(1 | SOUND_MUSIC);
  d_->map->X = 104;
  KartenScreenTick(d_);
  MusicCurrentName(name, sizeof name);
  EXPECT_STREQ(name, ".\\Mods\\Title.mod");
  QoESystemPtr->SoundStatus.store(0);
  d_->map->X = view_x_;
}

// --- the right button and the keys ---------------------------------------------------------

struct Routed {
  std::vector<std::string> calls;
  MapFigur figure{};
  uint32_t figure_state = 0;
  bool target = false;
};
Routed& Route() {
  static Routed r;
  return r;
}

class MapScreenRouting : public MapScreenVisit {
 protected:
  void SetUp() override {
    MapScreenVisit::SetUp();
    Route() = Routed{};
    MapScreenHooks h{};
    h.AfterDraw = RecordDraw;
    // A click selects the figure (and, when asked, marks a target).
    h.ClickFigurOnMap = [](KartenScreenRecord* d) {
      Route().calls.push_back("click");
      // A figure of the map's own list (a step moves it there).
      d->SelectedFigure = MapFigurCount(d->map->Figures) ? MapFigurAt(d->map->Figures, 0) : &Route().figure;
      d->FigureSelected = 1;
      d->TargetChosen = Route().target ? 1 : 0;
    };
    h.UpdateInfoBox = [](KartenScreenRecord*) {};
    h.CheckPersonEvent = [](KartenScreenRecord* d) {
      Route().calls.push_back("person");
      d->TownRequest = 1;
    };
    h.FigurMenu = [](KartenScreenRecord* d) {
      Route().calls.push_back("figure menu");
      d->SelectedFigure->Status = (uint8_t)Route().figure_state;
      return 1;
    };
    h.CheckAktionsFeld = [](KartenScreenRecord*) { Route().calls.push_back("action"); };
    h.FeldMenu = [](KartenScreenRecord*) { return Route().calls.push_back("field menu"), 9; };
    h.PlayFigurSfx = [](KartenScreenRecord*, uint32_t mode) { Route().calls.push_back("voice " + std::to_string(mode)); };
    SetMapScreenHooks(&h);
  }
  std::string MapClick() const { return qoe_test::ClickLine(300, 300); }
  std::string RightClick() const { return "click right 300 300\nsync\n"; }
};

TEST_P(MapScreenRouting, ATargetWinsOverTheSelectedFigure) {
  Route().target = true;
  EXPECT_EQ(Visit(2, MapClick() + RightClick()), 39);
  EXPECT_EQ(Route().calls, (std::vector<std::string>{"click", "person"}));
}

TEST_P(MapScreenRouting, ExploreLeadsToTheDungeonOtherActionsAreCarriedOut) {
  Route().figure_state = 20;
  EXPECT_EQ(Visit(2, MapClick() + RightClick()), 1293);
  EXPECT_EQ(Route().calls, (std::vector<std::string>{"click", "figure menu"}));
  Route() = Routed{};
  Route().figure_state = 10;
  EXPECT_EQ(Visit(2, MapClick() + RightClick() + "key esc\n"), 2);
  EXPECT_EQ(Route().calls, (std::vector<std::string>{"click", "figure menu", "action"}));
}

TEST_P(MapScreenRouting, NothingSelectedOpensTheFieldMenu) {
  EXPECT_EQ(Visit(2, RightClick() + "key esc\n"), 2);
  EXPECT_EQ(Route().calls, (std::vector<std::string>{"field menu"}));
}

TEST_P(MapScreenRouting, FigureKeysNeedASelectionAndSkip456) {
  EXPECT_EQ(Visit(2, "key 8\nsync\n" + MapClick() + "key 4\nkey 5\nkey 6\nsync\nkey 8\nsync\nkey esc\n"), 2);
  // The voice of a step only for "8" after the selection.
  EXPECT_EQ(Route().calls, (std::vector<std::string>{"click", "voice 0"}));
}

INSTANTIATE_TEST_SUITE_P(Modes, MapScreenRouting, testing::Values(0, 2),
                         [](const testing::TestParamInfo<int>& i) {
                           return std::to_string(kModes[i.param].w) + "x" + std::to_string(kModes[i.param].h);
                         });


// --- with the display part: frame, panels, markers ----------------------------------------

class MapScreenDisplayVisit : public MapScreenVisit {
 protected:
  void SetUp() override {
    MapScreenVisit::SetUp();
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    SetMapScreenHooks(&h);
  }
};

TEST_P(MapScreenDisplayVisit, TheFramePanelsAndAMarkedHexShow) {
  const std::string png = "mapscreen_display_" + Tag() + ".png";
  // A click on the map marks the hex under the mouse.
  EXPECT_EQ(Visit(2, qoe_test::ClickLine(300, 300) + "wait 200\npng " + png + "\n" + Exit()), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_NE(KartenScreenData->MarkedColumn, -1);
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1);
  ASSERT_EQ(w, Mode().w);
  if (Mode().w > 640) {
    // The frame's corner and the bottom panel are drawn over the map.
    const uint32_t corner = px[4 * w + 4], panel = px[(h - 60) * w + (w - 300)];
    EXPECT_NE(corner, 0u);
    EXPECT_NE(panel, 0u);
  }
}

// The names switch over the demo realm: the own towns' names drawn on the
// map (a picture to look at), and the map without them as before.
TEST_P(MapScreenDisplayVisit, TheNamesSwitchWritesTheTownsNamesOnTheMap) {
  const int32_t h = (int32_t)Mode().h;
  const std::string symb = Mode().w == 640 ? qoe_test::ClickLine(520, 352) : qoe_test::ClickLine(133, h - 150);
  const std::string png = "mapscreen_names_" + Tag() + ".png";
  EXPECT_EQ(Visit(2, "png without.png\n" + symb + "wait 300\npng " + png + "\n" + symb + "wait 300\npng again.png\nkey esc\n"),
            2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  std::vector<uint32_t> without, with, again;
  uint32_t w1 = 0, h1 = 0, w2 = 0, h2 = 0, w3 = 0, h3 = 0;
  ASSERT_EQ(ReadPngRGB("without.png", &without, &w1, &h1), 1);
  ASSERT_EQ(ReadPngRGB(png.c_str(), &with, &w2, &h2), 1);
  ASSERT_EQ(ReadPngRGB("again.png", &again, &w3, &h3), 1);
  // Names in the map area; the switch's own image changes too, so only the
  // map's middle counts.
  size_t named = 0, back = 0;
  for (uint32_t y = 40; y < h1 / 2 + 100; ++y)
    for (uint32_t x = 200; x < w1 - 200; ++x) {
      named += without[y * w1 + x] != with[y * w1 + x];
      back += without[y * w1 + x] != again[y * w1 + x];
    }
  EXPECT_GT(named, 100u);
  EXPECT_EQ(back, 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, MapScreenDisplayVisit, testing::Values(0, 1, 2),
                         [](const testing::TestParamInfo<int>& i) {
                           return std::to_string(kModes[i.param].w) + "x" + std::to_string(kModes[i.param].h);
                         });

}  // namespace

// --- boxes over the map ------------------------------------------------------------------

// What the boxes the field menu opened answered.
struct BoxAnswers {
  uint32_t chief = 99, chief_at_x = 0, chief_at_y = 0, switched = 99;
  int32_t chosen = -2;
  std::string typed;
};
BoxAnswers& Answers() {
  static BoxAnswers a;
  return a;
}

// The field menu opens each box the map's later parts use, given their
// places on the 640 x 480 area as every caller does.
int32_t OpenEveryBox(KartenScreenRecord*) {
  BoxAnswers& a = Answers();
  const uintptr_t open = ChiefMessage(66, 168, 180, 0, 0, 0, 2, "An open box over the map.", 7);
  if (auto* b = reinterpret_cast<ChiefMessageBox*>(open)) {
    a.chief_at_x = (uint32_t)b->x;
    a.chief_at_y = (uint32_t)b->y;
    CloseChiefMessage(b);
  }
  a.chief = (uint32_t)ChiefMessage(66, 168, 180, 0, 0, 0, 1, "My Lord, a question over the map?", 7);
  char texts[3 * kRequesterLineSize] = {};
  std::strcpy(texts, "settler insert");
  std::strcpy(texts + kRequesterLineSize, "enter town");
  std::strcpy(texts + 2 * kRequesterLineSize, "nothing");
  a.switched = SwitchBox(3, texts);
  char name[40] = {};
  if (EingabeBox(name, sizeof name, 168, 180, "Please insert a name:", "help", 0)) a.typed = name;
  a.chosen = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", 216, 130, 3, "herbs", texts, nullptr);
  return 9;
}

class MapScreenBoxes : public MapScreenDisplayVisit {
 protected:
  void SetUp() override {
    MapScreenDisplayVisit::SetUp();
    Answers() = BoxAnswers{};
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    h.FeldMenu = OpenEveryBox;
    SetMapScreenHooks(&h);
  }
  // Where the screens draw on a larger display: the 640 x 480 places moved by half the
  // display's extra width and height.
  int32_t Ox() const { return ((int32_t)Mode().w - 640) / 2; }
  int32_t Oy() const { return ((int32_t)Mode().h - 480) / 2; }
  std::string At(int32_t x, int32_t y) const { return qoe_test::ClickLine(Ox() + x, Oy() + y); }
  std::string Png(const std::string& what) const { return "mapbox_" + what + "_" + Tag() + ".png"; }
  // Of a 20 x 20 square of picture id from (px, py), how many pixels the
  // PNG shows at display (x, y).
  static uint32_t SamePixels(const std::string& png, uint32_t id, int32_t x, int32_t y, int32_t px, int32_t py) {
    std::vector<uint32_t> shown;
    uint32_t w = 0, h = 0;
    if (ReadPngRGB(png.c_str(), &shown, &w, &h) != 1) return 0;
    BitMap* pic = UseElmorGfx(".\\Data\\Path", id);
    if (!pic) return 0;
    uint32_t same = 0;
    for (int32_t j = 0; j < 20; j++)
      for (int32_t i = 0; i < 20; i++) {
        uint32_t want;
        std::memcpy(&want, pic->Pixels + (size_t)(py + j) * pic->BytesPerRow + (size_t)(px + i) * 4, 4);
        same += (shown[(size_t)(y + j) * w + (size_t)(x + i)] & 0xFFFFFF) == (want & 0xFFFFFF);
      }
    CloseElmorGfx(id);
    return same;
  }
};

TEST_P(MapScreenBoxes, BoxesOpenByTheDisplayFormulaAndAnswerThere) {
  const int32_t sw_h = 32 + 3 * 22 - 4, sw_y = (480 - sw_h) / 2;
  const std::string script = "click right 300 300\nwait 300\npng " + Png("chief") + "\n" +
                             At(168 + 60, 180 + 110) +  // yes
                             "wait 300\npng " + Png("switch") + "\n" +
                             At(320, sw_y + 16 + 22 + 9) +  // the second button
                             "wait 300\ntext \"Elmor\"\nwait 200\npng " + Png("input") + "\n" +
                             At(168 + 60, 180 + 100) +  // OK
                             "wait 300\npng " + Png("choose") + "\n" +
                             At(216 + 100, 130 + 31) +  // the first line
                             At(216 + 50, 130 + 240) +  // OK
                             "wait 300\nkey esc\n";
  EXPECT_EQ(Visit(2, script), 2);
  const BoxAnswers& a = Answers();
  EXPECT_EQ(a.chief_at_x, (uint32_t)(Ox() + 168));
  EXPECT_EQ(a.chief_at_y, (uint32_t)(Oy() + 180));
  EXPECT_EQ(a.chief, 0u);
  EXPECT_EQ(a.switched, 2u);
  EXPECT_EQ(a.typed, "Elmor");
  EXPECT_EQ(a.chosen, 0);
  for (const char* what : {"chief", "switch", "input", "choose"}) EXPECT_TRUE(qoe_test::KeepPng(Png(what))) << what;
  // The message box's picture stands at its display place: the pixels there
  // are the picture's, not the map's.
  EXPECT_GT(SamePixels(Png("chief"), 66, Ox() + 172, Oy() + 220, 4, 40), 300u);
}

TEST_P(MapScreenBoxes, TheMapHelpOpensInTheDisplaysMiddleAndClosesByItsButton) {
  BitMap* frame = UseElmorGfx(".\\Data\\Path", 205);
  ASSERT_NE(frame, nullptr);
  const int32_t bx = (640 - (int32_t)frame->Width) / 2, by = (480 - (int32_t)frame->Height) / 2;
  CloseElmorGfx(205);
  const std::string png = Png("help");
  // INFO of the corner panel, then the help box's own OK.
  const std::string info = qoe_test::ClickLine((int32_t)Mode().w - 134, (int32_t)Mode().h - 35);
  EXPECT_EQ(Visit(2, info + "wait 300\npng " + png + "\n" + At(bx + 180, by + 281) + "wait 300\npng after.png\nkey esc\n"),
            2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  // The frame's edge stands at the display formula's place, and the box's
  // button closed it.
  EXPECT_GT(SamePixels(png, 205, Ox() + bx + 2, Oy() + by + 2, 2, 2), 300u);
  EXPECT_LT(SamePixels("after.png", 205, Ox() + bx + 2, Oy() + by + 2, 2, 2), 100u);
}

INSTANTIATE_TEST_SUITE_P(Modes, MapScreenBoxes, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& i) {
                           return std::to_string(kModes[i.param].w) + "x" + std::to_string(kModes[i.param].h);
                         });

// --- the compass on every deeper display --------------------------------------------------

Draws& CompassDraws() {
  static Draws d;
  return d;
}

class MapScreenCompass : public MapScreenDisplayVisit {
 protected:
  void SetUp() override {
    MapScreenDisplayVisit::SetUp();
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    // The views drawn, then the screen's own after-draw function.
    h.AfterDraw = [](QoEMapInfo* map) {
      {
        std::lock_guard<std::mutex> g(CompassDraws().lock);
        CompassDraws().views.emplace_back(map->X, map->Y);
      }
      KartenScreenRefresh(map);
    };
    SetMapScreenHooks(&h);
    std::lock_guard<std::mutex> g(CompassDraws().lock);
    CompassDraws().views.clear();
  }
  std::vector<std::pair<int32_t, int32_t>> Drawn() {
    std::lock_guard<std::mutex> g(CompassDraws().lock);
    return CompassDraws().views;
  }
  // The arrow gadget's rectangle on this display (the relayout keeps x and
  // moves y by the height less 768).
  std::vector<int32_t> Arrow(const char* id) const {
    const int32_t dh = (int32_t)Mode().h - 768;
    if (!std::strcmp(id, "UPGO")) return {73, 611 + dh, 88, 632 + dh};
    if (!std::strcmp(id, "DOWN")) return {73, 745 + dh, 88, 766 + dh};
    if (!std::strcmp(id, "LEFT")) return {0, 682 + dh, 29, 697 + dh};
    return {132, 682 + dh, 161, 697 + dh};
  }
  std::string Click(const char* id) const {
    const auto r = Arrow(id);
    return qoe_test::ClickLine((r[0] + r[2]) / 2, (r[1] + r[3]) / 2) + "sync\nwait 200\n";
  }
};

// The left panel with its compass, minimap and arrows stays whole over the
// bottom panel (which reaches under it at 800 x 600), and each arrow scrolls.
TEST_P(MapScreenCompass, TheArrowsShowOverTheBottomPanelAndScroll) {
  const std::string png = "mapscreen_compass_" + Tag() + ".png";
  EXPECT_EQ(Visit(2, "timer 0 off\nsync\n" + Click("UPGO") + Click("DOWN") + Click("LEFT") + Click("RIGH") +
                         "move 400 200\nsync\nwait 200\npng " + png + "\nkey esc\n"),
            2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  auto views = Drawn();
  views.pop_back();  // the leave's redraw of the map kept for the next visit
  ASSERT_GE(views.size(), 5u);
  const size_t b = views.size() - 5;
  EXPECT_EQ(views[b + 1].second, (views[b].second + 6399) % 6400) << "UPGO";
  EXPECT_EQ(views[b + 2].second, views[b].second) << "DOWN";
  EXPECT_EQ(views[b + 3].first, (views[b].first + 12798) % 12800) << "LEFT";
  EXPECT_EQ(views[b + 4].first, views[b].first) << "RIGH";
  // Inside each arrow's gadget the display shows the left panel's opaque
  // pixels or the arrow's own image (the minimap's square drawn over the
  // panel left out).
  std::vector<uint32_t> shown;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(png.c_str(), &shown, &w, &h), 1);
  auto pixel = [](BitMap* bm, int32_t x, int32_t y) {
    uint32_t v;
    std::memcpy(&v, bm->Pixels + (size_t)y * bm->BytesPerRow + (size_t)x * 4, 4);
    return v & 0xFFFFFF;
  };
  BitMap* panel = UseElmorGfx(".\\Data\\Path", 1143);
  ASSERT_NE(panel, nullptr);
  const uint8_t* mask = GetElmorGfxMask(1143);
  ASSERT_NE(mask, nullptr);
  const int32_t px = 3, py = (int32_t)h - 385;
  const std::pair<const char*, uint32_t> arrows[] = {{"UPGO", 1152}, {"DOWN", 1156}, {"LEFT", 1158}, {"RIGH", 1154}};
  for (const auto& [id, image] : arrows) {
    const auto r = Arrow(id);
    BitMap* own = UseElmorGfx(".\\Data\\Path", image);
    ASSERT_NE(own, nullptr);
    uint32_t opaque = 0, same = 0;
    for (int32_t y = r[1]; y <= r[3]; y++)
      for (int32_t x = r[0]; x <= r[2]; x++) {
        const int32_t lx = x - px, ly = y - py;
        if (lx < 0 || ly < 0 || lx >= (int32_t)panel->Width || ly >= (int32_t)panel->Height) continue;
        if (!mask[(size_t)ly * panel->Width + (size_t)lx]) continue;
        if (x >= 17 && x <= 144 && y >= (int32_t)h - 143 && y <= (int32_t)h - 16) continue;
        const uint32_t at = shown[(size_t)y * w + (size_t)x] & 0xFFFFFF;
        const int32_t ox = x - r[0], oy = y - r[1];
        const bool on_own = ox < (int32_t)own->Width && oy < (int32_t)own->Height && at == pixel(own, ox, oy);
        opaque++;
        same += at == pixel(panel, lx, ly) || on_own;
      }
    CloseElmorGfx(image);
    EXPECT_GT(opaque, 60u) << id;
    EXPECT_GE(same * 10, opaque * 9) << id;
  }
  CloseElmorGfx(1143);
}

INSTANTIATE_TEST_SUITE_P(Modes, MapScreenCompass, testing::Values(1, 2),
                         [](const testing::TestParamInfo<int>& i) {
                           return std::to_string(kModes[i.param].w) + "x" + std::to_string(kModes[i.param].h);
                         });
