// The map screen's menus and lists in headless visits of the installed demo
// realm at 640 x 480 x 8, 800 x 600 and 1024 x 768: the figure menu on a hex
// with a ship and its carried army (drawn, its side box, an order chosen by
// the mouse, Escape, a figure row swapping the MOVE records), the field
// menu, the lists panel with its tabs and the jump, and the 8-bit switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/map/figurmenu.h"
#include "routinen/map/map.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "routinen/map/mapscreen.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/map/tests/map_realm.h"
#include "routinen/map/tests/map_visit.h"
#include "tests/support/legibility.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace {

struct Mode {
  uint32_t id, w, h;
  int exit_x, exit_y;
};
const Mode kModes[] = {{0, 640, 480, 530, 458}, {4, 800, 600, 770, 565}, {8, 1024, 768, 994, 733}};

// What a test's hook saw while the screen ran.
struct Seen {
  int32_t menuResult = -99;
  int32_t fieldResult = -99;
  uint8_t state = 0xFF, points = 0xFF;
  std::vector<uint8_t> moveBefore, moveAfter;
  uint32_t jumpedTo = 0;
  int32_t jumpX = -1, jumpY = -1;
  int64_t failBudget = -1;
  std::vector<uint32_t> reads;
  uint32_t arbeiterResult = 99;
};
Seen& S() {
  static Seen s;
  return s;
}

int32_t RecordingFigurMenu(KartenScreenRecord* d) {
  S().moveBefore.assign(d->map->Figures, d->map->Figures + 2 + 18 * MapFigurCount(d->map->Figures));
  S().menuResult = FigurMenu(d);
  S().moveAfter.assign(d->map->Figures, d->map->Figures + 2 + 18 * MapFigurCount(d->map->Figures));
  if (d->SelectedFigure) {
    S().state = d->SelectedFigure->Status;
    S().points = d->SelectedFigure->Punkte;
  }
  return S().menuResult;
}
void RecordingJump(KartenScreenRecord* d) {
  JumpToFigur(d);
  S().jumpedTo = d->SelectedFigure ? d->SelectedFigure->Nummer : 0;
  S().jumpX = d->X_Pos;
  S().jumpY = d->Y_Pos;
}
int32_t RecordingFeldMenu(KartenScreenRecord* d) {
  return S().fieldResult = FeldMenu(d);
}

class MapMenusVisit : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(M().id), 1);
    ResetInputState();
    FillDisplayRecord();
    Install();
  }
  void Install() {
    KartenScreenRecord* d = KartenScreenData;
    if (d->Status == MAPSCREEN_KEPT) KartenScreen(0, 0);
    ReleaseKartenScreenData(d);
    ASSERT_TRUE(map_test::InstallDemoRealm());
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    FillMapMenuHooks(&h);
    h.FigurMenu = RecordingFigurMenu;
    h.FeldMenu = RecordingFeldMenu;
    h.JumpToFigur = RecordingJump;
    SetMapScreenHooks(&h);
    S() = Seen{};
  }
  void TearDown() override {
    map_test::EndMapScreenVisits();
  }
  const Mode& M() const { return kModes[GetParam()]; }
  std::string Tag() const { return std::to_string(M().w) + "x" + std::to_string(M().h); }
  bool Deep() const { return M().w > 640; }
  // Keys that scroll the view (centred on the capital) so that world hex
  // (x, y) stands in its third or fourth column and third row; the hex
  // pixels below follow the new view.
  std::string Focus(int32_t x, int32_t y) {
    const MapCentre m = CentreOnTown(6398, 3199, M().w, M().h, !Deep());
    vx_ = (x - 2) & ~1;
    vy_ = y - 2;
    std::string keys;
    for (int32_t k = 0; k < (m.x - vx_) / 2; k++) keys += "key a\nwait 60\n";
    for (int32_t k = 0; k < (vx_ - m.x) / 2; k++) keys += "key d\nwait 60\n";
    for (int32_t k = 0; k < m.y - vy_; k++) keys += "key w\nwait 60\n";
    for (int32_t k = 0; k < vy_ - m.y; k++) keys += "key s\nwait 60\n";
    return keys + "wait 300\n";
  }
  // The centre of world hex (x, y) as the screen shows it.
  void HexPixel(int32_t x, int32_t y, int* px, int* py) const {
    const map_test::DisplayPoint p = map_test::HexCentreOnDisplay(!Deep(), x - vx_, y - vy_);
    *px = p.x;
    *py = p.y;
  }
  std::string At(int32_t x, int32_t y, const char* what) const {
    int px, py;
    HexPixel(x, y, &px, &py);
    return std::string(what) + " " + std::to_string(px) + " " + std::to_string(py) + "\n";
  }
  std::string ClickHex(int32_t x, int32_t y) const {
    int px, py;
    HexPixel(x, y, &px, &py);
    const std::string at = std::to_string(px) + " " + std::to_string(py);
    return "move " + at + "\nwait 100\npress left " + at + "\nwait 50\nrelease left " + at + "\nwait 100\n";
  }
  std::string RightClickHex(int32_t x, int32_t y) const {
    int px, py;
    HexPixel(x, y, &px, &py);
    const std::string at = std::to_string(px) + " " + std::to_string(py);
    return "move " + at + "; press right " + at + "; release right " + at + "\nwait 200\n";
  }
  int32_t vx_ = 0, vy_ = 0;
  int32_t Visit(const std::string& script, bool reset = true) {
    static int32_t s_result;
    s_result = 99;
    if (reset) S() = Seen{};
    const std::string timed = "move 300 300\ntimer 0 100\nwait 600\n" + script + "wait 300\nkey esc\nwait 300\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return s_result = KartenScreen(2, 1), 0; }, nullptr), 0);
    return s_result;
  }

  // The centre of row i of a menu of `rows` rows opened on world hex (x, y).
  std::string Row(int32_t x, int32_t y, uint32_t rows, uint32_t i, const char* what = "click left") const {
    int32_t mx, my, side;
    FigurMenuPlace(x - vx_, y - vy_, rows, M().w, M().h, Deep() ? 32 : 8, &mx, &my, &side);
    const std::string at = std::to_string(mx + 40) + " " + std::to_string(my + 12 * (int32_t)i + 6);
    return "move " + at + "\nwait 100\n" + what + " " + at + "\nwait 100\n";
  }
  std::string Select(int32_t x, int32_t y) {
    std::string s = Focus(x, y);
    s += ClickHex(x, y);
    s += ClickHex(x, y);
    return s;
  }
  // The MOVE list's records (bytes) of the map's figure list.
  static std::vector<uint8_t> Record(const std::vector<uint8_t>& move, uint32_t i) {
    return std::vector<uint8_t>(move.begin() + 2 + 18 * i, move.begin() + 2 + 18 * (i + 1));
  }
};

// The capital's hex holds the army "Burgwache" (light infantry, full points):
// "nothing", "guard", "attack", "move", "convoying", then its row.
TEST_P(MapMenusVisit, ArmyMenuWithItsSideBoxThenGuardChosenByTheMouse) {
  const std::string png = "mapmenu_figure_" + Tag() + ".png";
  const std::string side = "mapmenu_sidebox_" + Tag() + ".png";
  std::string s = Select(6398, 3199);
  s += RightClickHex(6398, 3199) + "png " + png + "\n";
  // Ten ticks on the figure row open the side box with the army's parts.
  s += Row(6398, 3199, 6, 5, "move") + "wait 1500\npng " + side + "\n";
  s += Row(6398, 3199, 6, 1);
  EXPECT_EQ(Visit(s), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_TRUE(qoe_test::KeepPng(side));
  EXPECT_EQ(S().menuResult, 1);
  EXPECT_EQ(S().state, AKTION_GUARD);
  EXPECT_EQ(S().points, 0);
  // The menu's rectangle lies wholly on the display: the PNG's size is the
  // display's and the rows were reachable by the mouse.
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(side.c_str(), &px, &w, &h), 1);
  EXPECT_EQ(w, M().w);
}

TEST_P(MapMenusVisit, EscapeReturnsOneAndKeepsTheOrder) {
  std::string s = Select(6398, 3199);
  s += RightClickHex(6398, 3199) + "key esc\nwait 200\n";
  EXPECT_EQ(Visit(s), 2);
  EXPECT_EQ(S().menuResult, 1);
  EXPECT_EQ(S().state, 0);  // the realm's order of the army
  EXPECT_EQ(S().points, 4);
}

// The ship hex: the carried army (the player's first figure there) and the
// ship. The ship's row brings its record to the top of the hex.
TEST_P(MapMenusVisit, AFigureRowSwapsTheTwoMoveRecords) {
  std::string s = Select(6384, 3192);
  // The carried army: "nothing" only, then the two figure rows.
  s += RightClickHex(6384, 3192) + Row(6384, 3192, 3, 2);
  EXPECT_EQ(Visit(s), 2);
  EXPECT_EQ(S().menuResult, 0);
  ASSERT_EQ(S().moveBefore.size(), S().moveAfter.size());
  const std::vector<uint8_t>& b = S().moveBefore;
  const std::vector<uint8_t>& a = S().moveAfter;
  int first = -1, second = -1;
  for (uint32_t i = 0; i < MapFigurCount(b.data()); i++) {
    const MapFigur* f = MapFigurAt(b.data(), i);
    if (f->X == 6384 && f->Y == 3192) (first < 0 ? first : second) = (int)i;
  }
  ASSERT_GE(second, 0);
  EXPECT_EQ(Record(a, first), Record(b, second));
  EXPECT_EQ(Record(a, second), Record(b, first));
  for (uint32_t i = 0; i < MapFigurCount(b.data()); i++)
    if ((int)i != first && (int)i != second) { EXPECT_EQ(Record(a, i), Record(b, i)) << i; }
}

// Nothing selected: the field menu. An own field offers "assign name" and
// "cultivation"; a foreign one only "assign name".
TEST_P(MapMenusVisit, FieldMenuOnOwnAndForeignFields) {
  const std::string png = "mapmenu_field_" + Tag() + ".png";
  std::string s = Focus(6400, 3196);
  // "cultivation" opens the requester, which Escape closes.
  s += ClickHex(6400, 3196) + RightClickHex(6400, 3196) + "png " + png + "\n" + Row(6400, 3196, 2, 1) +
       "wait 300\nkey esc\nwait 300\n";
  EXPECT_EQ(Visit(s), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(S().fieldResult, 1);
  s = Focus(6416, 3190);
  s += ClickHex(6416, 3190) + RightClickHex(6416, 3190) + Row(6416, 3190, 1, 1);
  EXPECT_EQ(Visit(s), 2);
  EXPECT_EQ(S().fieldResult, -1);  // a click below the only row
}

// The lists: at 8 bits behind LISTS (the panel switched and back byte for
// byte), on deeper displays in the panel; the ship tab, then a jump to the
// first ship, which becomes the selected figure.
TEST_P(MapMenusVisit, ListsPanelShipTabAndAJump) {
  const std::string lists = "maplists_" + Tag() + ".png";
  const std::string ships = "maplists_ships_" + Tag() + ".png";
  std::string s;
  int tab_x, tab_y, line_x, line_y;
  if (!Deep()) {
    s += "png before.png\n" + qoe_test::ClickLine(530, 434) + "wait 200\npng " + lists + "\n";
    s += qoe_test::ClickLine(530, 434) + "wait 200\npng after.png\n" + qoe_test::ClickLine(530, 434) + "wait 200\n";
    tab_x = 531 + 10;
    tab_y = 150;
    line_x = 540;
    line_y = 174;
  } else {
    const int dw = (int)M().w - 1024, dh = (int)M().h - 768;
    s += "png " + lists + "\n";
    tab_x = 662 + 28 + 10 + dw;
    tab_y = 620 + dh;
    line_x = 700 + dw;
    line_y = 642 + dh;
  }
  s += qoe_test::ClickLine(tab_x, tab_y) + "wait 200\npng " + ships + "\n";
  s += qoe_test::ClickLine(line_x, line_y) + "wait 300\n";
  EXPECT_EQ(Visit(s), 2);
  EXPECT_TRUE(qoe_test::KeepPng(lists));
  EXPECT_TRUE(qoe_test::KeepPng(ships));
  EXPECT_EQ(S().jumpedTo, 31u);
  if (!Deep()) {
    std::vector<uint32_t> a, b;
    uint32_t w = 0, h = 0;
    ASSERT_EQ(ReadPngRGB("before.png", &a, &w, &h), 1);
    ASSERT_EQ(ReadPngRGB("after.png", &b, &w, &h), 1);
    for (uint32_t y = 0; y < 480; y++)
      for (uint32_t x = 496; x < 640; x++) ASSERT_EQ(a[y * w + x], b[y * w + x]) << x << "," << y;
  }
}

// The cultivation requester on an own field (6400, 3196): the harvest
// workers typed far above the pool and the limit are cut to 1000, the
// pool loses them, and the close writes prefs field 18 and the field's
// culture part.
std::string ReqPoint(const Mode& m, int x, int y) {
  if (m.w == 640) return qoe_test::ClickLine(x, y);
  return qoe_test::ClickLine(x + ((int)m.w - 1024) / 2, y + ((int)m.h - 768) / 2);
}

TEST_P(MapMenusVisit, CultivationRequesterTypedWorkersAreCutAndWritten) {
  CheckPrefs(PREFS_AUTO_CULTIVATION, 1, 0);
  CheckPrefs(PREFS_FREE_WORKERS, 1, 5000);
  const std::string png = "mapcultivation_" + Tag() + ".png";
  const bool deep = Deep();
  std::string s = Focus(6400, 3196);
  s += ClickHex(6400, 3196) + RightClickHex(6400, 3196) + Row(6400, 3196, 2, 1) + "wait 300\n";
  s += ReqPoint(M(), deep ? 550 : 360, deep ? 290 : 146) + "wait 200\ntext 99999\nwait 100\nkey enter\nwait 300\n";
  s += "png " + png + "\n" + ReqPoint(M(), deep ? 660 : 470, deep ? 520 : 378) + "wait 300\n";
  EXPECT_EQ(Visit(s), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(CheckPrefs(PREFS_FREE_WORKERS, 0, 0), 4000u);
  EXPECT_EQ(CheckPrefs(PREFS_AUTO_CULTIVATION, 0, 0), 0u);
  ListHeader* list = CreateList(LIST_CULTURE_FIELDS);
  ASSERT_NE(ScanMapCult2List(list, 6400 / 40, 3196 / 20), 0);
  ASSERT_EQ(list->count, 1u);
  const auto* c = reinterpret_cast<const MapCultEintrag*>(list->first);
  EXPECT_EQ(c->x, 6400);
  EXPECT_EQ(c->y, 3196);
  EXPECT_EQ(c->harvest_workers, 1000);
  EXPECT_EQ(c->wood_workers, 0);
  DeleteList(list, 0);
}

// The requester's thirteen numbers and the side panel's coordinates each
// stand out from their field by a contrast of at least 3 : 1 (measured on
// the shown screen).
TEST_P(MapMenusVisit, CultivationNumbersAndCoordinatesStandOutFromTheirFields) {
  CheckPrefs(PREFS_AUTO_CULTIVATION, 1, 0);
  CheckPrefs(PREFS_FREE_WORKERS, 1, 5000);
  const std::string png = "mapcultivation_digits_" + Tag() + ".png";
  std::string s = Focus(6400, 3196);
  s += ClickHex(6400, 3196) + RightClickHex(6400, 3196) + Row(6400, 3196, 2, 1) + "wait 300\n";
  s += "png " + png + "\n" + ReqPoint(M(), Deep() ? 660 : 470, Deep() ? 520 : 378) + "wait 300\n";
  EXPECT_EQ(Visit(s), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1);
  ASSERT_EQ(w, M().w);
  ScreenRegion* layout = GetScreenRegion(Deep() ? ".\\Data\\Screendat\\KarteArbeiterReq1024.dat"
                                                : ".\\Data\\Screendat\\KarteArbeiterReq.dat", 530);
  ASSERT_NE(layout, nullptr);
  const int dx = Deep() ? ((int)M().w - 1024) / 2 : 0, dy = Deep() ? ((int)M().h - 768) / 2 : 0;
  for (uint32_t k = 0; k < 13; k++) {
    LayoutRect r{};
    ASSERT_NE(GetLayoutRect(layout, k, &r), 0) << k;
    const qoe_test::TextInk t = qoe_test::TextContrast(px, w, r.x1 + dx, r.y1 + dy, r.x2 + dx, r.y2 + dy);
    EXPECT_GE(t.contrast, 3.0) << "number field " << k << ": ink " << std::hex << t.ink << " on " << t.ground;
  }
  FreeScreenRegion(layout);
  // The coordinates of the view (x and y).
  const int W = (int)M().w, H = (int)M().h;
  const int fields[2][4] = {
      {Deep() ? W - 135 : 518, Deep() ? H - 173 : 37, Deep() ? W - 86 : 565, Deep() ? H - 154 : 51},
      {Deep() ? W - 80 : 574, Deep() ? H - 173 : 37, Deep() ? W - 31 : 620, Deep() ? H - 154 : 51}};
  for (const auto& f : fields) {
    const qoe_test::TextInk t = qoe_test::TextContrast(px, w, f[0], f[1], f[2], f[3]);
    EXPECT_GE(t.contrast, 3.0) << "coordinate at " << f[0] << "," << f[1] << ": ink " << std::hex << t.ink << " on "
                               << t.ground;
  }
}

// The close writes prefs and the culture part through one FileSet: a
// write that fails leaves both as they were.
void FailingArbeiterReq(KartenScreenRecord* d) {
  FileFailWritesAfter(S().failBudget);
  S().arbeiterResult = ArbeiterReq(d);
  FileFailWritesAfter(-1);
}

TEST_P(MapMenusVisit, AFailedCloseChangesNeitherPrefsNorTheCulturePart) {
  for (int64_t budget : {0, 300}) {
    Install();
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    FillMapMenuHooks(&h);
    h.ArbeiterReq = FailingArbeiterReq;
    SetMapScreenHooks(&h);
    CheckPrefs(PREFS_AUTO_CULTIVATION, 1, 0);
    CheckPrefs(PREFS_FREE_WORKERS, 1, 5000);
    const bool deep = Deep();
    std::string s = Focus(6400, 3196);
    s += ClickHex(6400, 3196) + RightClickHex(6400, 3196) + Row(6400, 3196, 2, 1) + "wait 300\n";
    s += ReqPoint(M(), deep ? 550 : 360, deep ? 290 : 146) + "wait 200\ntext 250\nkey enter\nwait 300\n";
    s += ReqPoint(M(), deep ? 660 : 470, deep ? 520 : 378) + "wait 300\n";
    S().failBudget = budget;
    EXPECT_EQ(Visit(s, false), 2);
    EXPECT_EQ(S().arbeiterResult, 0u) << budget;  // opened, and its close failed
    EXPECT_EQ(CheckPrefs(PREFS_FREE_WORKERS, 0, 0), 5000u) << budget;
    EXPECT_FALSE(std::filesystem::exists("Map/C_160_159.qoe")) << budget;
  }
}

// Cuts the value list (type 9) of a layout file to the first `keep`
// rectangles, as a damaged or older file holds them.
void CutLayoutRectangles(const std::string& path, uint32_t keep) {
  std::vector<uint8_t> f = qoe_test::ReadFileBytes(path);
  ASSERT_GE(f.size(), 12u);
  ASSERT_EQ(std::memcmp(f.data(), "FORM", 4), 0);
  size_t at = 12;
  while (at + 8 <= f.size()) {
    const uint32_t len = (uint32_t)f[at + 4] << 24 | (uint32_t)f[at + 5] << 16 | (uint32_t)f[at + 6] << 8 | f[at + 7];
    if (std::memcmp(f.data() + at, "RT09", 4) == 0) {
      ASSERT_GE(len, 4u);
      const uint32_t count = (uint32_t)f[at + 10] << 8 | f[at + 11];
      ASSERT_GT(count, 4 * keep);
      f[at + 10] = (uint8_t)((4 * keep) >> 8);
      f[at + 11] = (uint8_t)(4 * keep);
      ASSERT_TRUE(qoe_test::WriteFileBytes(path, f));
      return;
    }
    at += 8 + len + (len & 1);
  }
  FAIL() << path << " has no value list";
}

// A workers' layout without the box's rectangle (13) is refused with a
// line in the log; the map goes on.
TEST_P(MapMenusVisit, AWorkersLayoutWithoutItsBoxRectangleIsRefused) {
  for (const char* name : {"KarteArbeiterReq.dat", "KarteArbeiterReq1024.dat"})
    CutLayoutRectangles(std::string("Data/Screendat/") + name, 13);
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  FillMapInfoHooks(&h);
  FillMapMenuHooks(&h);
  h.ArbeiterReq = [](KartenScreenRecord* d) { S().arbeiterResult = ArbeiterReq(d); };
  SetMapScreenHooks(&h);
  CheckPrefs(PREFS_AUTO_CULTIVATION, 1, 0);
  CheckPrefs(PREFS_FREE_WORKERS, 1, 5000);
  qoe_test::LogLines log;
  std::string s = Focus(6400, 3196);  // first: it places the view the hexes are found in
  s += ClickHex(6400, 3196) + RightClickHex(6400, 3196) + Row(6400, 3196, 2, 1) + "wait 300\n";
  EXPECT_EQ(Visit(s, false), 2);
  EXPECT_EQ(S().arbeiterResult, 0u);
  EXPECT_TRUE(log.Has("ArbeiterReq: Das Layout hat kein Rechteck fuer den Requester!"));
}

// Worker totals over the map: an own field with workers shows their sum,
// one with three zeros and one without a record show nothing; a redraw
// reads no culture part again.
TEST_P(MapMenusVisit, WorkerTotalsOverTheMapAreReadOnce) {
  ListHeader* list = CreateList(LIST_CULTURE_FIELDS);
  MapCultEintrag* c = ArbeiterReqAlloc(list, 6400, 3196);
  c->harvest_workers = 120;
  c->wood_workers = 30;
  c->stone_workers = 7;
  ArbeiterReqAlloc(list, 6401, 3196);  // zeros
  ASSERT_EQ(SaveMapCultList(list, 160, 159), 1);
  DeleteList(list, 0);
  const std::string png = "mapworkers_" + Tag() + ".png";
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  FillMapInfoHooks(&h);
  FillMapMenuHooks(&h);
  h.PrintArbeiterAnzahl = [](KartenScreenRecord* d, uint32_t buffer) {
    const uint32_t before = ArbeiterAnzahlReadsForTest();
    PrintArbeiterAnzahl(d, buffer);
    S().reads.push_back(ArbeiterAnzahlReadsForTest() - before);
  };
  SetMapScreenHooks(&h);
  std::string s = Focus(6400, 3196);
  if (Deep()) s += qoe_test::ClickLine(104, 599 + (int)M().h - 768) + "wait 300\n";
  else s += qoe_test::ClickLine(560, 324) + "wait 300\n";
  s += "png " + png + "\nkey d\nwait 200\nkey a\nwait 200\n";
  S() = Seen{};
  EXPECT_EQ(Visit(s, false), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  ASSERT_GE(S().reads.size(), 3u);
  EXPECT_GT(S().reads.front(), 0u);
  EXPECT_EQ(S().reads.back(), 0u);  // back where it was: nothing read
}

// The resources and the names overlays draw on the screen's RastPort in the
// map view's fonts and give it back its own font: a font left there outlives
// the map view (which an upload or a download closes and opens anew) on the
// RastPort of the next screen, which put it back when it closed.
TEST_P(MapMenusVisit, TheOverlaysGiveTheScreenItsFontBack) {
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  FillMapInfoHooks(&h);
  FillMapMenuHooks(&h);
  struct Calls {
    uint32_t drawn = 0, changed = 0;
  };
  static Calls calls;
  calls = Calls{};
  static auto check = [](uint32_t buffer, auto draw) {
    RastPort* rp = GetScreenRastPort(buffer);
    TextFont* before = rp ? rp->Font : nullptr;
    draw();
    calls.drawn++;
    if (rp && rp->Font != before) calls.changed++;
  };
  h.PrintArbeiterAnzahl = [](KartenScreenRecord* d, uint32_t buffer) {
    check(buffer, [&] { PrintArbeiterAnzahl(d, buffer); });
  };
  h.PrintMapNames = [](KartenScreenRecord* d, uint32_t buffer) { check(buffer, [&] { PrintMapNames(d, buffer); }); };
  SetMapScreenHooks(&h);
  std::string s = Focus(6400, 3196);
  if (Deep()) {
    s += qoe_test::ClickLine(104, 599 + (int)M().h - 768) + "wait 300\n";
    s += qoe_test::ClickLine(133, 617 + (int)M().h - 768) + "wait 300\n";
  } else {
    s += qoe_test::ClickLine(560, 324) + "wait 300\n" + qoe_test::ClickLine(560, 354) + "wait 300\n";
  }
  s += "key d\nwait 200\nkey a\nwait 200\n";
  EXPECT_EQ(Visit(s, false), 2);
  EXPECT_GE(calls.drawn, 4u);
  EXPECT_EQ(calls.changed, 0u);
}

// Naming places: a new name is written to MapNames.dat when the screen
// leaves; the player's own towns take no name.
TEST_P(MapMenusVisit, ANewPlaceNameIsWrittenAndOwnTownsTakeNone) {
  std::string s = Focus(6400, 3196);
  s += ClickHex(6400, 3196) + RightClickHex(6400, 3196) + Row(6400, 3196, 2, 0) + "wait 300\n";
  s += "png mapname_" + Tag() + ".png\ntext Rabenfels\nkey enter\nwait 300\n";
  EXPECT_EQ(Visit(s), 2);
  EXPECT_TRUE(qoe_test::KeepPng("mapname_" + Tag() + ".png"));
  if (Deep()) KartenScreen(0, 0);  // the kept map writes at its release
  uint32_t size = 0;
  uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\MapNames.dat", 0, &size));
  ASSERT_NE(data, nullptr);
  std::vector<uint8_t> expect(88, 0);
  expect[0] = 6400 >> 8;
  expect[1] = 6400 & 0xFF;
  expect[2] = 3196 >> 8;
  expect[3] = 3196 & 0xFF;
  std::memcpy(expect.data() + 4, "Rabenfels", 9);
  ASSERT_GE(size, 88u);
  EXPECT_EQ(std::vector<uint8_t>(data + size - 88, data + size), expect);
  FreeVec(data);
}

TEST_P(MapMenusVisit, TheOwnCapitalTakesNoName) {
  std::string s = Focus(6398, 3199);
  s += ClickHex(6398, 3199) + RightClickHex(6398, 3199) + Row(6398, 3199, 2, 0) + "wait 300\n";
  s += "text Rabenfels\nkey enter\nwait 300\n";
  EXPECT_EQ(Visit(s), 2);
  EXPECT_EQ(S().fieldResult, 0);
  if (Deep()) KartenScreen(0, 0);
  uint32_t size = 0;
  uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\MapNames.dat", 0, &size));
  for (uint32_t i = 0; data && i + 88 <= size; i += 88) EXPECT_NE(std::memcmp(data + i + 4, "Rabenfels", 9), 0);
  FreeVec(data);
}

// AUTO asks first: declined, every culture part stays; confirmed, every
// C_ part of .\Map goes and nothing else.
class MapCultivationAuto : public MapMenusVisit {
 protected:
  void Parts() {
    CheckPrefs(PREFS_AUTO_CULTIVATION, 1, 0);
    const std::vector<uint8_t> one(98, 0);
    ASSERT_EQ(SaveMem2File(".\\Map\\C_1_1.qoe", one.data(), 98), 1);
    ASSERT_EQ(SaveMem2File(".\\Map\\C_160_159.qoe", one.data(), 98), 1);
  }
  std::string Script(const char* answer) {
    const bool deep = Deep();
    std::string s = Focus(6400, 3196);
    s += ClickHex(6400, 3196) + RightClickHex(6400, 3196) + Row(6400, 3196, 2, 1) + "wait 300\n";
    s += ReqPoint(M(), deep ? 688 : 496, deep ? 262 : 118) + "wait 300\npng mapquestion_" + Tag() + ".png\n";
    s += std::string(answer) + "\nwait 300\npng mapcultivation_auto_" + Tag() + ".png\n";
    return s + ReqPoint(M(), deep ? 660 : 470, deep ? 520 : 378) + "wait 300\n";
  }
  static std::vector<std::string> Files(bool culture) {
    std::vector<std::string> n;
    for (const auto& e : std::filesystem::directory_iterator("Map"))
      if ((e.path().filename().string()[0] == 'C') == culture) n.push_back(e.path().filename().string());
    std::sort(n.begin(), n.end());
    return n;
  }
};

TEST_P(MapCultivationAuto, DeclinedKeepsEveryCulturePart) {
  Parts();
  EXPECT_EQ(Visit(Script("key esc")), 2);
  EXPECT_TRUE(qoe_test::KeepPng("mapquestion_" + Tag() + ".png"));
  EXPECT_EQ(Files(true).size(), 3u);  // the two and the field's, written at the close
  EXPECT_EQ(CheckPrefs(PREFS_AUTO_CULTIVATION, 0, 0), 0u);
}

TEST_P(MapCultivationAuto, ConfirmedDeletesEveryCulturePartAndNothingElse) {
  Parts();
  // The map parts the visit loads are there before.
  EXPECT_EQ(Visit(Focus(6400, 3196)), 2);
  const std::vector<std::string> kept = Files(false);
  Install();
  Parts();
  EXPECT_EQ(Visit(Script("key enter")), 2);
  EXPECT_TRUE(qoe_test::KeepPng("mapcultivation_auto_" + Tag() + ".png"));
  EXPECT_TRUE(Files(true).empty());
  EXPECT_EQ(Files(false), kept);
  EXPECT_EQ(CheckPrefs(PREFS_AUTO_CULTIVATION, 0, 0), 1u);
  EXPECT_EQ(CheckPrefs(PREFS_FREE_WORKERS, 0, 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(Modes, MapCultivationAuto, testing::Values(0, 1, 2),
                         [](const testing::TestParamInfo<int>& i) {
                           return std::to_string(kModes[i.param].w) + "x" + std::to_string(kModes[i.param].h);
                         });

// The caravan requester: closed by each of its gadgets and by Escape; INFO
// shows its help first. It changes no file.
class CaravanRequester : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(kModes[GetParam()].id), 1);
    ResetInputState();
    FillDisplayRecord();
    ASSERT_TRUE(map_test::InstallDemoRealm());
  }
  void TearDown() override {
    FreeAllElmorGfx();
    HeadlessCloseDisplay();
  }
  // Runs the requester under the script; true when it returned before the
  // script's end (which would close the window).
  bool Run(const std::string& script) {
    static std::atomic<int> done;
    done = 0;
    const std::string s = "wait 200\n" + script + "wait 300\n";
    EXPECT_EQ(HeadlessRunGame(s.c_str(),
                              [](void* deep) {
                                // Over the map screen's picture, at display
                                // coordinates on deeper displays.
                                SetDisplayGameAreaAtCorner(deep ? 1 : 0);
                                OpenElmorPic(".\\Data\\Path", 3, 0);
                                WaitTransition();
                                KarawaneReq();
                                done = WindowCloseRequested() ? 1 : 2;
                                CloseElmorPic(3, 0);
                                SetDisplayGameAreaAtCorner(0);
                                return 0;
                              },
                              kModes[GetParam()].w > 640 ? this : nullptr),
              0);
    return done == 2;
  }
  std::string Click(int x, int y) const {
    const Mode& m = kModes[GetParam()];
    return qoe_test::ClickLine(((int)m.w - 360) / 2 + x, ((int)m.h - 260) / 2 + y) + "wait 200\n";
  }
};

TEST_P(CaravanRequester, EachGadgetAndEscapeCloseIt) {
  const std::string png = std::string("mapcaravan_") + std::to_string(kModes[GetParam()].w) + ".png";
  const auto before = qoe_test::FileTree("Data");
  EXPECT_TRUE(Run("png " + png + "\n" + Click(300, 240)));  // EXIT
  EXPECT_TRUE(qoe_test::KeepPng(png));
  const int gadgets[][2] = {{240, 220}, {80, 240}, {180, 240}, {300, 186}, {120, 200},
                            {204, 240}, {240, 200}, {240, 180}};
  for (const auto& g : gadgets) EXPECT_TRUE(Run(Click(g[0], g[1]))) << g[0] << "," << g[1];
  EXPECT_TRUE(Run("key esc\nwait 200\n"));
  // INFO: the help box (closed by Escape), then the requester closes.
  EXPECT_TRUE(Run(Click(300, 214) + "png mapcaravan_info.png\nkey esc\nwait 200\n"));
  EXPECT_TRUE(qoe_test::KeepPng("mapcaravan_info.png"));
  EXPECT_TRUE(qoe_test::FileTree("Data") == before);
  // The picture itself closes nothing (last: the script's end closes the
  // window for good).
  EXPECT_FALSE(Run(Click(2, 2)));
}

INSTANTIATE_TEST_SUITE_P(Modes, CaravanRequester, testing::Values(0, 2), [](const testing::TestParamInfo<int>& i) {
  return std::to_string(kModes[i.param].w) + "x" + std::to_string(kModes[i.param].h);
});

INSTANTIATE_TEST_SUITE_P(Modes, MapMenusVisit, testing::Values(0, 1, 2), [](const testing::TestParamInfo<int>& i) {
  return std::to_string(kModes[i.param].w) + "x" + std::to_string(kModes[i.param].h);
});

}  // namespace
