// The dungeon view with a recording blitter instead of pixels: what lies
// ahead hides what lies behind it, doors closed and open, traps, the view's
// edge, the places of the position table, the drawing order, the line of
// sight, the rotated copies, the semaphore, and the table against the one
// the data kit writes with the graphics.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/threads.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "screens/story/dungeon.h"
#include "tests/support/test_support.h"

namespace {

struct Call {
  uint32_t id;  // 0 for a plotted pixel
  int32_t x, y, sx, sy, w, h;
  uint32_t pen;
  bool held;  // the semaphore was held at the call
};

struct Recorder {
  std::vector<Call> calls;
  QoeSemaphore* sem = nullptr;
  bool Held() {
    if (!sem) return false;
    if (ObtainSemaphoreTimeout(sem, 0) != 1) return true;
    ReleaseSemaphore(sem);
    return false;
  }
  static void Blit(void* c, uint32_t id, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h) {
    auto* r = static_cast<Recorder*>(c);
    r->calls.push_back({id, x, y, sx, sy, w, h, 0, r->Held()});
  }
  static void Plot(void* c, uint32_t pen, int32_t x, int32_t y) {
    auto* r = static_cast<Recorder*>(c);
    r->calls.push_back({0, x, y, 0, 0, 1, 1, pen, r->Held()});
  }
};

// The table row a recorded blit came from (walls carry their variant); null
// for floor, ceiling and plots.
const DungeonViewRow* RowOf(const Call& c) {
  uint32_t n = 0;
  const DungeonViewRow* t = DungeonViewTable(&n);
  for (uint32_t i = 0; i < n; ++i) {
    const DungeonViewRow& r = t[i];
    if (r.x != c.x || r.y != c.y || r.sx != c.sx || r.w != c.w) continue;
    const bool wall = r.element == DV_FRONT || r.element == DV_SIDE_LEFT || r.element == DV_SIDE_RIGHT ||
                      r.element == DV_WALL_LEFT || r.element == DV_WALL_RIGHT;
    if (c.id == r.id || (wall && c.id >= r.id && c.id < r.id + 3u)) return &t[i];
  }
  return nullptr;
}

// A dungeon from rows of text (closed borders, one 'E' on the border).
struct View {
  DungeonData d{};
  Recorder rec;
  explicit View(const std::vector<std::string>& rows) {
    InitDungeonData(&d);
    std::string text = "size " + std::to_string(rows[0].size()) + " " + std::to_string(rows.size()) + "\n";
    for (const std::string& r : rows) text += r + "\n";
    ok = DungeonParseMap(&d, text.data(), text.size());
    d.view = {Recorder::Blit, Recorder::Plot, &rec};
  }
  ~View() { FreeDungeonData(&d); }
  // Player at stored (x, y) facing f; the calls of one drawing.
  std::vector<Call> Draw(uint16_t x, uint16_t y, int8_t f) {
    d.playerX = x, d.playerY = y, d.facing = f;
    rec.calls.clear();
    DungeonDrawView(&d);
    return rec.calls;
  }
  void Open(uint16_t x, uint16_t y) { d.cells[(size_t)y * d.mapWidth + x].state |= kCellOpen; }
  int32_t ok = 0;
};

using Place = std::tuple<int, int, int>;  // element, distance, side

std::vector<Place> Places(const std::vector<Call>& calls) {
  std::vector<Place> out;
  for (const Call& c : calls)
    if (const DungeonViewRow* r = RowOf(c)) out.emplace_back(r->element, r->distance, r->side);
  return out;
}

bool Has(const std::vector<Call>& calls, uint32_t id) {
  return std::any_of(calls.begin(), calls.end(), [&](const Call& c) { return c.id == id; });
}

int MaxDistance(const std::vector<Call>& calls) {
  int m = -1;
  for (const Place& p : Places(calls)) m = std::max(m, std::get<1>(p));
  return m;
}

// x:                      0123456
const std::vector<std::string> kCorridor = {"###A###",  // 0
                                            "### ###",  // 1
                                            "### ###",  // 2
                                            "### ###",  // 3
                                            "### ###",  // 4
                                            "### ###",  // 5
                                            "###E###"};

// The corridor with one row replaced.
std::vector<std::string> CorridorWith(size_t row, const char* cells) {
  std::vector<std::string> rows = kCorridor;
  rows[row] = cells;
  return rows;
}

TEST(DungeonView, AWallDirectlyAheadHidesEverythingBeyond) {
  View v({"#######", "#     #", "#  #  #", "#     #", "###E###"});
  ASSERT_EQ(v.ok, 1);
  // The player stands in the room at (3, 3), the wall at (3, 2) straight ahead.
  const auto calls = v.Draw(3, 3, 0);
  EXPECT_EQ(MaxDistance(calls), 1);
  const auto places = Places(calls);
  EXPECT_NE(std::find(places.begin(), places.end(), Place{DV_FRONT, 1, 0}), places.end());
  // The floor and the ceiling of the position come first.
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0].id, 1294u + (2 - 3 % 3) * 3 + (2 - 3 % 3));
  EXPECT_EQ(calls[0].x, 225);
  EXPECT_EQ(calls[0].y, 337);
  EXPECT_EQ(calls[1].id, 1303u + (2 - 3 % 3) * 3 + (2 - 3 % 3));
  EXPECT_EQ(calls[1].y, 194);
}

TEST(DungeonView, AClosedDoorTwoAheadHidesTheCorridorAndOpenShowsIt) {
  View v(CorridorWith(2, "###T###"));
  ASSERT_EQ(v.ok, 1);
  auto closed = v.Draw(3, 4, 0);
  EXPECT_TRUE(Has(closed, 1386)) << "the closed door at distance 2, facing 0";
  EXPECT_FALSE(Has(closed, 1387));
  EXPECT_EQ(MaxDistance(closed), 2);
  v.Open(3, 2);
  auto open = v.Draw(3, 4, 0);
  EXPECT_TRUE(Has(open, 1387)) << "the open door";
  EXPECT_EQ(MaxDistance(open), 4);
  // The exit at distance 4 behind it: its wall and its stair.
  EXPECT_TRUE(Has(open, 1612));
  // Seen from the other side the door shows its other face.
  auto back = v.Draw(3, 1, 2);
  EXPECT_TRUE(Has(back, 1382 + 1));
}

TEST(DungeonView, AnUnsprungTrapAheadGivesTheOutlineDotsAndASprungOneItsPicture) {
  View v(CorridorWith(4, "###F###"));
  ASSERT_EQ(v.ok, 1);
  auto unsprung = v.Draw(3, 5, 0);
  std::vector<Call> dots;
  for (const Call& c : unsprung)
    if (c.id == 0) dots.push_back(c);
  ASSERT_EQ(dots.size(), 21u);
  EXPECT_EQ(dots[0].pen, 34u);
  EXPECT_EQ(dots[0].x, 225 + 107);
  EXPECT_EQ(dots[0].y, 193 + 210);
  EXPECT_EQ(dots[20].pen, 34u);
  EXPECT_EQ(dots[20].x, 225 + 300);
  EXPECT_EQ(dots[20].y, 193 + 217);
  EXPECT_EQ(dots[9].pen, 44u);
  EXPECT_FALSE(Has(unsprung, 1541));
  v.Open(3, 4);
  auto sprung = v.Draw(3, 5, 0);
  EXPECT_TRUE(std::none_of(sprung.begin(), sprung.end(), [](const Call& c) { return c.id == 0; }));
  ASSERT_TRUE(Has(sprung, 1541));
  for (const Call& c : sprung)
    if (c.id == 1541) { EXPECT_EQ(std::make_pair(c.x, c.y), std::make_pair(262, 212)); }
  // Two ahead, not yet sprung: no dots.
  auto far = v.Draw(3, 6, 0);
  EXPECT_TRUE(std::none_of(far.begin(), far.end(), [](const Call& c) { return c.id == 0; }));
}

TEST(DungeonView, StandingAtViewColumnZeroDrawsNoLeftPositions) {
  // The entrance on the left border: the player stands on it facing north.
  View v({"#####", "    #", "    #", "    #", "E   #", "#####"});
  ASSERT_EQ(v.ok, 0) << "an open border is refused";
  View w({"#####", "#   #", "#   #", "#   #", "E   #", "#####"});
  ASSERT_EQ(w.ok, 1);
  const auto calls = w.Draw(0, 4, 0);
  ASSERT_FALSE(calls.empty());
  for (const Place& p : Places(calls)) EXPECT_GE(std::get<2>(p), 0) << std::get<0>(p) << " at " << std::get<1>(p);
  for (const Place& p : Places(calls)) EXPECT_NE(std::get<0>(p), DV_SIDE_LEFT);
}

TEST(DungeonView, TheTellingRowsStandAtTheirPlaces) {
  struct Want {
    uint32_t element, distance;
    int32_t side;
    uint32_t look;
    uint16_t id;
    int16_t x, y;
  };
  const Want want[] = {
      {DV_FRONT, 4, 0, 0, 1360, 384, 280},      {DV_SIDE_LEFT, 4, -2, 0, 1366, 225, 280},
      {DV_SIDE_RIGHT, 4, 2, 0, 1372, 523, 280}, {DV_CHEST, 4, 0, 0, 1508, 384, 282},
      {DV_FRONT, 3, 0, 0, 1345, 371, 272},      {DV_EXIT, 2, 0, 0, 1610, 356, 259},
      {DV_EXIT, 1, 0, 0, 1609, 301, 212},       {DV_TRAP, 1, 0, 0, 1541, 262, 212},
      {DV_WALL_LEFT, 0, -1, 0, 1312, 225, 193}, {DV_WALL_RIGHT, 0, 1, 0, 1315, 588, 193},
      {DV_OWN_DOOR, 0, 0, 0, 1427, 225, 193},   {DV_OWN_DOOR, 0, 0, 1, 1426, 225, 193},
  };
  for (const Want& w : want) {
    const DungeonViewRow* r = FindDungeonViewRow(w.element, w.distance, w.side, w.look);
    ASSERT_NE(r, nullptr) << w.id;
    EXPECT_EQ(r->id, w.id);
    EXPECT_EQ(r->x, w.x) << w.id;
    EXPECT_EQ(r->y, w.y) << w.id;
  }
  // Every row's top by distance: 193, 212, 259, 272 (chests 274), 280 (chests 282).
  const int16_t top[5] = {193, 212, 259, 272, 280};
  uint32_t n = 0;
  const DungeonViewRow* t = DungeonViewTable(&n);
  ASSERT_GT(n, 100u);
  for (uint32_t i = 0; i < n; ++i) {
    const int16_t want_y = (int16_t)(top[t[i].distance] + (t[i].element == DV_CHEST && t[i].distance >= 3 ? 2 : 0));
    EXPECT_EQ(t[i].y, want_y) << t[i].id;
  }
}

TEST(DungeonView, EveryRowLiesInsideTheViewBitmapAndUsesTheDungeonsGraphics) {
  uint32_t n = 0;
  const DungeonViewRow* t = DungeonViewTable(&n);
  for (uint32_t i = 0; i < n; ++i) {
    const DungeonViewRow& r = t[i];
    EXPECT_GE(r.x, kDungeonViewLeft) << r.id;
    EXPECT_GE(r.y, kDungeonViewTop) << r.id;
    EXPECT_GT(r.w, 0) << r.id;
    EXPECT_GT(r.h, 0) << r.id;
    EXPECT_LE(r.x + r.w, kDungeonViewRight + 1) << r.id;
    EXPECT_LE(r.y + r.h, kDungeonViewBottom + 1) << r.id;
    const uint32_t last = r.id + (r.element <= DV_SIDE_RIGHT || r.element == DV_WALL_LEFT || r.element == DV_WALL_RIGHT ? 2 : 0);
    EXPECT_TRUE((r.id >= 1312 && last <= 1556) || (r.id >= 1609 && r.id <= 1612)) << r.id;
    EXPECT_LE(r.distance, 4) << r.id;
    EXPECT_GE(r.side, -2);
    EXPECT_LE(r.side, 2);
  }
}

TEST(DungeonView, SideFacesComeBeforeFrontFacesAndFarBeforeNear) {
  // An open room of chests with walls round it: every position draws.
  View v({"#########", "#GGGGGGG#", "#GGGGGGG#", "#GGGGGGG#", "#GGGGGGG#", "#       #", "####E####"});
  ASSERT_EQ(v.ok, 1);
  // Stand in the room's bottom row (4, 5) looking north: distance 4 is row 1.
  const auto calls = v.Draw(4, 5, 0);
  const auto places = Places(calls);
  ASSERT_FALSE(places.empty());
  int last_distance = 5;
  for (size_t i = 0; i < places.size(); ++i) {
    const int dist = std::get<1>(places[i]);
    EXPECT_LE(dist, last_distance) << "far before near, at call " << i;
    last_distance = dist;
  }
  // Every position of distances 1 to 4 holds a chest; they come from the outside in.
  std::vector<std::pair<int, int>> chests;
  for (const Place& p : places)
    if (std::get<0>(p) == DV_CHEST) chests.emplace_back(std::get<1>(p), std::get<2>(p));
  const std::vector<std::pair<int, int>> want = {{4, -2}, {4, -1}, {4, 2}, {4, 1}, {4, 0}, {3, -2}, {3, -1}, {3, 2},
                                                 {3, 1},  {3, 0},  {2, -1}, {2, 1}, {2, 0}, {1, -1}, {1, 1}, {1, 0}};
  EXPECT_EQ(chests, want);
  // A door in a corridor: its side faces before the door itself.
  View door(CorridorWith(3, "###T###"));
  const auto dp = Places(door.Draw(3, 5, 0));
  auto at = [&](Place p) { return std::find(dp.begin(), dp.end(), p) - dp.begin(); };
  EXPECT_LT(at({DV_SIDE_LEFT, 2, 0}), at({DV_DOOR, 2, 0}));
  EXPECT_LT(at({DV_SIDE_RIGHT, 2, 0}), at({DV_DOOR, 2, 0}));
  EXPECT_LT(at({DV_DOOR, 2, 0}), (std::ptrdiff_t)dp.size());
}

TEST(DungeonView, APillarHidesThePositionsBehindItOnTheLineOfSight) {
  struct Case {
    int s, d;                     // the pillar, as a view position
    std::set<std::pair<int, int>> hidden;  // (distance, side) of chests not drawn
  };
  const Case cases[] = {
      {-1, 1, {}},
      {0, 1, {{2, -1}, {2, 0}, {2, 1}, {3, -2}, {3, -1}, {3, 0}, {3, 1}, {3, 2}, {4, -2}, {4, -1}, {4, 0}, {4, 1}, {4, 2}}},
      {-1, 2, {{3, -2}, {4, -2}}},
      {1, 3, {{4, 2}}},
      {0, 2, {{3, -1}, {3, 0}, {3, 1}, {4, -1}, {4, 0}, {4, 1}}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> rows = {"#########", "#GGGGGGG#", "#GGGGGGG#", "#GGGGGGG#", "#GGGGGGG#", "#       #", "####E####"};
    rows[5 - c.d][4 + c.s] = '#';
    View v(rows);
    ASSERT_EQ(v.ok, 1);
    std::set<std::pair<int, int>> drawn;
    for (const Place& p : Places(v.Draw(4, 5, 0)))
      if (std::get<0>(p) == DV_CHEST) drawn.emplace(std::get<1>(p), std::get<2>(p));
    for (int d = 1; d <= 4; ++d)
      for (int s = d <= 2 ? -1 : -2; s <= (d <= 2 ? 1 : 2); ++s) {
        if (s == c.s && d == c.d) continue;
        const bool hidden = c.hidden.count({d, s}) != 0;
        EXPECT_EQ(drawn.count({d, s}) == 0, hidden) << "pillar (" << c.s << ", " << c.d << "), chest (" << s << ", " << d << ")";
      }
  }
}

TEST(DungeonView, EveryFacingShowsTheViewOfItsRotatedCopy) {
  const std::vector<std::string> rows = {"##########", "#  #   G #", "# T  F   #", "#   ## L #",
                                         "#G      ##", "#  #  T  #", "####E#####"};
  View v(rows);
  ASSERT_EQ(v.ok, 1);
  size_t compared = 0;
  for (int8_t f = 0; f < 4; ++f) {
    for (uint16_t y = 1; y + 1 < v.d.mapHeight; ++y)
      for (uint16_t x = 1; x + 1 < v.d.mapWidth; ++x) {
        if (rows[y][x] == '#') continue;
        const auto seen = v.Draw(x, y, f);
        // The rotated copy as a map of its own, the player facing north on it.
        const uint16_t w = f & 1 ? v.d.mapHeight : v.d.mapWidth, h = f & 1 ? v.d.mapWidth : v.d.mapHeight;
        std::vector<std::string> turned(h, std::string(w, '#'));
        for (uint16_t r = 0; r < h; ++r)
          for (uint16_t c = 0; c < w; ++c) turned[r][c] = v.d.maps[f][(size_t)r * w + c];
        View t(turned);
        ASSERT_EQ(t.ok, 1) << "facing " << (int)f;
        const uint16_t vx = v.d.viewX, vy = v.d.viewY;
        const auto want = t.Draw(vx, vy, 0);
        // Doors and chests show the face of the facing; the places agree.
        EXPECT_EQ(Places(seen), Places(want)) << "at " << x << ", " << y << " facing " << (int)f;
        compared += Places(seen).size();
      }
  }
  EXPECT_GT(compared, 300u);
}

TEST(DungeonView, TheSemaphoreIsHeldWhileDrawingAndFreeAfterwards) {
  View v(kCorridor);
  ASSERT_EQ(v.ok, 1);
  const NavRoseHooks none = {nullptr, [](void*, int32_t) { SleepMs(2); }, nullptr};
  v.d.navRose = InitNavRoseWith(&none);
  ASSERT_NE(v.d.navRose, nullptr);
  v.rec.sem = v.d.navRose->semaphore;
  const auto calls = v.Draw(3, 5, 0);
  ASSERT_FALSE(calls.empty());
  for (const Call& c : calls) EXPECT_TRUE(c.held) << c.id;
  EXPECT_EQ(ObtainSemaphoreTimeout(v.d.navRose->semaphore, 0), 1);
  ReleaseSemaphore(v.d.navRose->semaphore);
  FreeNavRose(v.d.navRose);
  v.d.navRose = nullptr;
}

TEST(DungeonView, MissingGraphicsDrawNothing) {
  // No data folder: every load fails, the view stays cleared.
  View v(kCorridor);
  ASSERT_EQ(v.ok, 1);
  v.d.view = {nullptr, nullptr, nullptr};
  v.d.viewBitMap = AllocBitMap(kDungeonViewBitMapW, kDungeonViewBitMapH, 8, 0, nullptr);
  v.d.viewRastPort = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_PUBLIC | MEMF_CLEAR));
  ASSERT_NE(v.d.viewBitMap, nullptr);
  InitRastPort(v.d.viewRastPort);
  v.d.viewRastPort->Bitmap = v.d.viewBitMap;
  std::fill(v.d.viewBitMap->Pixels, v.d.viewBitMap->Pixels + v.d.viewBitMap->Size, 5);
  v.d.playerX = 3, v.d.playerY = 5, v.d.facing = 0;
  EXPECT_EQ(DungeonDrawView(&v.d), 0);
  const BitMap* bm = v.d.viewBitMap;
  for (int32_t y = kDungeonViewTop; y <= kDungeonViewBottom; ++y)
    for (int32_t x = kDungeonViewLeft; x <= kDungeonViewRight; ++x)
      ASSERT_EQ(bm->Pixels[(size_t)y * bm->BytesPerRow + x], 0) << x << ", " << y;
  EXPECT_EQ(bm->Pixels[0], 5) << "outside the drawing area nothing changes";
}

// The kit writes the table with the graphics; the copy in the sources must be its.
TEST(DungeonView, TheTableIsTheOneTheDataKitWrites) {
  const std::string kit = qoe_test::BinaryDir() + "/datakit/dungeon_view_table.inc";
  QOE_REQUIRE_BUILT(kit);
  const auto made = qoe_test::ReadFileBytes(kit);
  const auto held = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/screens/story/dungeon_view_table.inc");
  EXPECT_FALSE(made.empty());
  EXPECT_TRUE(made == held) << "copy " << kit << " to screens/story/dungeon_view_table.inc";
}

}  // namespace
