// The map screen's mouse on every 2D display row (640 x 480 x 8, 800 x 600
// and 1024 x 768, each windowed and full screen): a click takes the hex
// drawn under the mouse, at every hex's centre and at four points round it,
// wherever no panel covers the map; with the real click the hex under the
// mouse is the one marked; markers moved and taken away leave the map as a
// fresh drawing shows it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/map/map.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/map_realm.h"
#include "routinen/map/tests/map_visit.h"
#include "routinen/system/input.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

namespace {

struct Row {
  uint32_t id, w, h;
};
// The 2D rows of the display-mode table: windowed and full screen.
const Row kRows[] = {{0, 640, 480}, {1, 640, 480}, {4, 800, 600}, {5, 800, 600}, {8, 1024, 768}, {9, 1024, 768}};

// What each click saw: the mouse and the hex the screen took.
struct Clicks {
  std::map<std::pair<int32_t, int32_t>, std::pair<int32_t, int32_t>> hex;
  int32_t columns = 0, rows = 0;
  // After each marking click: the clicked and marked hex, selected, target.
  std::vector<std::array<int32_t, 5>> marks;
};
Clicks& Seen() {
  static Clicks c;
  return c;
}

class MapClick : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(R().id), 1);
    ResetInputState();
    FillDisplayRecord();
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Karte.dat");
    ASSERT_TRUE(map_test::InstallDemoRealm());
    Seen() = Clicks{};
  }
  void TearDown() override {
    map_test::EndMapScreenVisits();
  }
  const Row& R() const { return kRows[GetParam()]; }
  bool Eight() const { return R().w == 640; }
  std::string Tag() const { return std::to_string(R().w) + "x" + std::to_string(R().h) + "_" + std::to_string(R().id); }
  // A visit from the main screen; the game tick is off, so the mouse in a
  // scroll zone moves nothing.
  void Visit(const std::string& script) {
    const std::string timed = "timer 0 off\nmove 300 300\nwait 300\n" + script + "key esc\nwait 300\n";
    static int32_t s_result;
    s_result = 99;
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return s_result = KartenScreen(2, 1), 0; }, nullptr), 0);
    EXPECT_EQ(s_result, 2);
  }
};

// The points a click may take: inside the display and the map area (no
// panel over them).
bool Clickable(const Row& row, map_test::DisplayPoint p) {
  return p.x >= 0 && p.y >= 0 && p.x < (int32_t)row.w && p.y < (int32_t)row.h &&
         IsInMapAreaAt(row.w, row.h, p.x, p.y, p.x, p.y);
}

TEST_P(MapClick, EveryHexIsTakenWhereItIsDrawn) {
  MapScreenHooks h{};
  h.ClickFigurOnMap = [](KartenScreenRecord* d) {
    Seen().hex[{GetMouseX(), GetMouseY()}] = {d->X_Pos, d->Y_Pos};
    Seen().columns = d->map->Columns;
    Seen().rows = d->map->Rows;
  };
  h.UpdateInfoBox = [](KartenScreenRecord*) {};
  SetMapScreenHooks(&h);
  // The centre and four points 18 pixels off it (well inside the hex).
  const int32_t offsets[5][2] = {{0, 0}, {-18, 0}, {18, 0}, {0, -18}, {0, 18}};
  std::vector<std::pair<map_test::DisplayPoint, std::pair<int32_t, int32_t>>> points;
  std::string script;
  for (int32_t c = 0; c < 24; c++)
    for (int32_t r = 0; r < 16; r++)
      for (const auto& o : offsets) {
        const map_test::DisplayPoint centre = map_test::HexCentreOnDisplay(Eight(), c, r);
        const map_test::DisplayPoint p{centre.x + o[0], centre.y + o[1]};
        if (!Clickable(R(), p)) continue;
        points.push_back({p, {c, r}});
        script += qoe_test::ClickLine(p.x, p.y);
      }
  Visit(script);
  ASSERT_GT(Seen().columns, 0);
  size_t checked = 0, wrong = 0;
  for (const auto& [p, hex] : points) {
    if (hex.first >= Seen().columns || hex.second >= Seen().rows) continue;  // beyond the drawn view
    checked++;
    const auto it = Seen().hex.find({p.x, p.y});
    if (it == Seen().hex.end()) {
      if (++wrong <= 10) ADD_FAILURE() << "no hex taken at " << p.x << "," << p.y;
      continue;
    }
    if (it->second != hex && ++wrong <= 10)
      ADD_FAILURE() << "at " << p.x << "," << p.y << " hex " << it->second.first << "," << it->second.second
                    << " taken, " << hex.first << "," << hex.second << " drawn";
  }
  EXPECT_EQ(wrong, 0u) << "of " << checked;
  // Most of the view takes clicks: at least 60 hexes' worth of points.
  EXPECT_GE(checked, 300u);
}

TEST_P(MapClick, TheHexUnderTheMouseIsMarked) {
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  FillMapInfoHooks(&h);
  SetMapScreenHooks(&h);
  // A hex left of the middle of the view, away from every panel, clicked
  // inside its lower left part.
  const int32_t c = 5, r = 3;
  map_test::DisplayPoint p = map_test::HexCentreOnDisplay(Eight(), c, r);
  p.x -= 18;
  p.y += 10;
  ASSERT_TRUE(Clickable(R(), p));
  const std::string png = "mapclick_marked_" + Tag() + ".png";
  // Two different hexes: the second click moves the mark.
  const map_test::DisplayPoint q = map_test::HexCentreOnDisplay(Eight(), c + 1, r);
  Visit(map_test::ClickAt(q) + map_test::ClickAt(p) + "png " + png + "\n");
  EXPECT_TRUE(qoe_test::KeepPng(png));
  const KartenScreenRecord* d = KartenScreenData;
  EXPECT_EQ(d->X_Pos, c);
  EXPECT_EQ(d->Y_Pos, r);
  EXPECT_EQ(d->MarkedColumn, c);
  EXPECT_EQ(d->MarkedRow, r);
}

// The pixels of the box round view hex (c, r) that differ between two PNGs
// of the display.
size_t BoxDifferences(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b, const Row& row, bool eight,
                      int32_t c, int32_t r) {
  const map_test::DisplayPoint p = map_test::HexCentreOnDisplay(eight, c, r);
  size_t n = 0;
  for (int32_t y = std::max(0, p.y - 32); y <= std::min((int32_t)row.h - 1, p.y + 31); y++)
    for (int32_t x = std::max(0, p.x - 36); x <= std::min((int32_t)row.w - 1, p.x + 36); x++)
      n += a[(size_t)y * row.w + x] != b[(size_t)y * row.w + x];
  return n;
}

// Two hexes marked in turn, the capital marked, its army selected and its
// town chosen as the target, then a fourth hex marked: each hex marked
// before looks as a fresh drawing of the map (the view scrolled away and
// back) shows it.
class MapMarkers : public MapClick {};

TEST_P(MapMarkers, MovedAwayTheyLeaveTheMapAsDrawn) {
  // No map-object animations: the hexes compared keep still.
  MapState().availMem = [](uint32_t) -> uint64_t { return 0; };
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  FillMapInfoHooks(&h);
  h.ClickFigurOnMap = [](KartenScreenRecord* d) {
    ClickFigurOnMap(d);
    Seen().marks.push_back({d->X_Pos, d->Y_Pos, d->MarkedColumn, (int32_t)d->FigureSelected, (int32_t)d->TargetChosen});
  };
  SetMapScreenHooks(&h);
  const MapCentre m = CentreOnTown(6398, 3199, R().w, R().h, Eight());
  const int32_t cx = m.x_pos, cy = m.y_pos;
  const std::pair<int32_t, int32_t> a{cx - 2, cy - 2}, b{cx + 2, cy - 2}, capital{cx, cy}, last{cx - 2, cy + 1};
  auto at = [&](std::pair<int32_t, int32_t> hex) {
    const map_test::DisplayPoint p = map_test::HexCentreOnDisplay(Eight(), hex.first, hex.second);
    EXPECT_TRUE(Clickable(R(), p)) << hex.first << "," << hex.second;
    return map_test::ClickAt(p);
  };
  const std::string away = "markers_away_" + Tag() + ".png", fresh = "markers_fresh_" + Tag() + ".png";
  Visit(at(a) + at(b) + at(capital) + at(capital) + at(capital) + at(last) + "png " + away +
        "\nkey d\nwait 300\nkey a\nwait 300\npng " + fresh + "\n");
  MapState().availMem = nullptr;
  EXPECT_TRUE(qoe_test::KeepPng(away));
  EXPECT_TRUE(qoe_test::KeepPng(fresh));
  // Every click marked its hex; the capital's army was selected and its town
  // made the target.
  ASSERT_EQ(Seen().marks.size(), 6u);
  EXPECT_EQ(Seen().marks[3][3], 1);
  EXPECT_EQ(Seen().marks[4][4], 1);
  EXPECT_EQ(Seen().marks[5][2], last.first);
  std::vector<uint32_t> was, now;
  uint32_t w = 0, hh = 0;
  ASSERT_EQ(ReadPngRGB(away.c_str(), &was, &w, &hh), 1);
  ASSERT_EQ(ReadPngRGB(fresh.c_str(), &now, &w, &hh), 1);
  ASSERT_EQ(w, R().w);
  for (auto hex : {a, b, capital})
    EXPECT_EQ(BoxDifferences(was, now, R(), Eight(), hex.first, hex.second), 0u) << hex.first << "," << hex.second;
  // The last marker is there in both.
  EXPECT_EQ(BoxDifferences(was, now, R(), Eight(), last.first, last.second), 0u);
}

std::string RowName(const testing::TestParamInfo<int>& i) {
  const Row& r = kRows[i.param];
  return std::to_string(r.w) + "x" + std::to_string(r.h) + "_row" + std::to_string(r.id);
}
INSTANTIATE_TEST_SUITE_P(Rows, MapClick, testing::Range(0, (int)(sizeof kRows / sizeof kRows[0])), RowName);
// One row of each display size.
INSTANTIATE_TEST_SUITE_P(Rows, MapMarkers, testing::Values(0, 2, 4), RowName);

}  // namespace
