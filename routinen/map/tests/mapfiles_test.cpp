// Map window and map files: part loading and creation, the window round the
// view under random moves (cells, knowledge bits, open files, untouched
// files), write failures, wrapping and the view position.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>

#include "map_fixture.h"
#include "platform/log.h"
#include "routinen/map/map_internal.h"
#include "routinen/system/files.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/kill_loop.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace maptest;

namespace {

Terrain Plain(int32_t x, int32_t y) {
  Terrain t;
  t.grafik = (uint16_t)(1 + (x * 7 + y * 3) % 91);
  t.owner = (x + y) % 5 == 0 ? 1u : kNobody;
  return t;
}
bool Pattern(int32_t x, int32_t y) { return (x * 3 + y * 5) % 7 == 0; }

int32_t Wrap(int64_t v, int64_t n) { return (int32_t)(((v % n) + n) % n); }

// Counts the part loads the engine logs.
struct LoadCounter {
  int maps = 0, bmaps = 0;
  static void Hook(const char* line, void* user) {
    auto* c = static_cast<LoadCounter*>(user);
    if (std::strncmp(line, "Lade Karte ", 11) == 0) c->maps++;
    if (std::strncmp(line, "Lade BMap ", 10) == 0) c->bmaps++;
  }
  LoadCounter() { DebugLogSetHook(Hook, this); }
  ~LoadCounter() { DebugLogSetHook(nullptr, nullptr); }
};

void ExpectWindow(const QoEMapInfo* map, bool view = true) {
  int64_t x0 = (int64_t)map->CenterX * 80 - 80, y0 = (int64_t)map->CenterY * 40 - 40;
  size_t bad = 0;
  for (int r = 0; r < 120; r++)
    for (int c = 0; c < 240; c++) {
      const MapTile& t = map->CMap[r * 240 + c];
      if ((int32_t)t.X != Wrap(x0 + c, 12800) || (int32_t)t.Y != Wrap(y0 + r, 6400)) bad++;
    }
  EXPECT_EQ(bad, 0u);
  if (!view) return;
  EXPECT_EQ((int32_t)map->ViewCell->X, map->X);
  EXPECT_EQ((int32_t)map->ViewCell->Y, map->Y);
  EXPECT_GE(map->ViewColumn, 80);
  EXPECT_LT(map->ViewColumn, 160);
  EXPECT_GE(map->ViewRow, 40);
  EXPECT_LT(map->ViewRow, 80);
}

}  // namespace

TEST(MapFiles, WindowAtPartZeroHoldsTheWrappedNeighbours) {
  WriteWindow(Plain, 0, 0);
  QoEMapInfo* map = LadeKarte(2, 0, 0, ".\\Map");
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(map->CMap[0].X, 159u * 80);          // slot 0: part (159, 159)
  EXPECT_EQ(map->CMap[0].Y, 159u * 40);
  EXPECT_EQ(map->CMap[239].X, 80u + 79);         // slot 2: part (1, 159)
  EXPECT_EQ(map->CMap[119 * 240].Y, 40u + 39);   // slot 6: part (159, 1)
  ExpectWindow(map, false);
  EXPECT_EQ(ExitKarte(map), 0);
}

TEST(MapFiles, MissingPartsAreMadeAndOddSizesZeroFilled) {
  WriteWindow(Plain, 10, 10, false);
  fs::remove(PartPath('M', 11, 11));
  std::vector<uint8_t> part = qoe_test::ReadFileBytes(PartPath('M', 9, 9));
  part.resize(1000);  // short: the rest of the part reads as zeros
  qoe_test::WriteFileBytes(PartPath('M', 9, 9), part);
  std::vector<uint8_t> longer = qoe_test::ReadFileBytes(PartPath('M', 10, 9));
  longer.resize(80000, 0xEE);
  qoe_test::WriteFileBytes(PartPath('M', 10, 9), longer);
  QoEMapInfo* map = LadeKarte(2, 10, 10, ".\\Map");
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(qoe_test::ReadFileBytes(PartPath('M', 11, 11)), std::vector<uint8_t>(70400, 0));
  EXPECT_EQ(qoe_test::ReadFileBytes(PartPath('B', 10, 10)), std::vector<uint8_t>(400, 0));
  EXPECT_EQ(map->CMap[0].X, 9u * 80);            // the first cells of the short part
  EXPECT_EQ(map->CMap[39 * 240 + 79].X, 0u);     // beyond its 1000 bytes
  EXPECT_EQ(map->CMap[39 * 240 + 159].X, 10u * 80 + 79);  // the long part up to 70,400 bytes
  const MapTile* made = &map->CMap[(80 + 5) * 240 + 160 + 5];
  EXPECT_EQ(made->X, 0u);
  EXPECT_EQ(made->Grafik, 0);
  EXPECT_EQ(IsHexKnown(map, 0, 0), 0);
  ExitKarte(map);
  // Written back at the part size; the long file keeps its tail.
  std::vector<uint8_t> after = qoe_test::ReadFileBytes(PartPath('M', 10, 9));
  EXPECT_EQ(after, longer);
}

TEST(MapFiles, AnExistingPartThatCannotBeOpenedIsNeverEmptied) {
  WriteWindow(Plain, 20, 20, false);
  std::vector<uint8_t> before = qoe_test::ReadFileBytes(PartPath('M', 20, 20));
  fs::remove(PartPath('M', 20, 20));
  fs::create_directory(PartPath('M', 20, 20));  // a folder where the part should be
  EXPECT_EQ(LadeKarte(0, 20, 20, ".\\Map"), nullptr);
  EXPECT_TRUE(fs::is_directory(PartPath('M', 20, 20)));
}

TEST(MapFiles, WrapPosAgainstTheModulo) {
  std::mt19937 rng(7);
  for (int i = 0; i < 100000; i++) {
    uint32_t size = i % 2 ? 12800 : 6400;
    int32_t v = (int32_t)(rng() % (3 * size)) - (int32_t)size;
    EXPECT_EQ(WrapPos(v, size), Wrap(v, size)) << v;
  }
  EXPECT_EQ(WrapPos(-1, 12800), 12799);
  EXPECT_EQ(WrapPos(12800, 12800), 0);
  EXPECT_EQ(WrapPos(12799, 12800), 12799);
}

TEST(MapFiles, ViewPositionIsWrappedBeforeItsColumnAndRow) {
  WriteWindow(Plain, 159, 159);
  WriteWindow(Plain, 0, 0);
  QoEMapInfo* map = LadeKarte(2, 159, 159, ".\\Map");
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(InitPosGL(map, -2, -1, 0, 0, 640, 480, 2), 1);
  EXPECT_EQ(map->X, 12798);
  EXPECT_EQ(map->Y, 6399);
  EXPECT_EQ(map->ViewColumn, 78 + 80);
  EXPECT_EQ(map->ViewRow, 39 + 40);
  EXPECT_DOUBLE_EQ(map->PixelColumn, 158 * 48.0);
  EXPECT_DOUBLE_EQ(map->PixelRow, 79 * 55.424);
  ExpectWindow(map);
  // A view elsewhere reloads the window round it.
  ASSERT_EQ(InitPosGL(map, 40, 20, 0, 0, 640, 480, 2), 1);
  EXPECT_EQ(map->CenterX, 0);
  ExpectWindow(map);
  EXPECT_EQ(IsHexKnown(map, -200, 0), 0);
  EXPECT_EQ(IsHexKnown(map, 0, 500), 0);
  EXPECT_EQ(IsHexKnown(nullptr, 0, 0), 0);
  ExitKarte(map);
}

TEST(MapFiles, KnowledgeTestRefusesHexesBeforeTheView) {
  // Everything explored: only the offsets say whether a hex is asked for.
  for (int dy = -1; dy <= 1; dy++)
    for (int dx = -1; dx <= 1; dx++) {
      WritePart(Plain, 30 + dx, 30 + dy);
      WriteKnowledge([](int32_t, int32_t) { return true; }, 30 + dx, 30 + dy);
    }
  QoEMapInfo* map = LadeKarte(2, 30, 30, ".\\Map");
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(InitPosGL(map, 30 * 80 + 10, 30 * 40 + 10, 0, 0, 640, 480, 2), 1);
  ASSERT_GT(map->ViewColumn, 0);
  ASSERT_GT(map->ViewRow, 0);
  EXPECT_EQ(IsHexKnown(map, 0, 0), 1);
  EXPECT_EQ(IsHexKnown(map, 5, 3), 1);
  for (int16_t c : {-1, -2, -80, INT16_MIN}) EXPECT_EQ(IsHexKnown(map, c, 0), 0) << c;
  for (int r : {-1, -2, -40}) EXPECT_EQ(IsHexKnown(map, 0, (uint16_t)r), 0) << r;
  EXPECT_EQ(IsHexKnown(map, -1, (uint16_t)-1), 0);
  // The engine's own test for hexes left of and above the view.
  EXPECT_EQ(HexKnownInWindow(map, -1, 0), 1);
  EXPECT_EQ(HexKnownInWindow(map, 0, -1), 1);
  EXPECT_EQ(HexKnownInWindow(map, -1000, 0), 0);
  ExitKarte(map);
}

TEST(MapFiles, RandomMovesKeepTheWindowFilesAndKnowledge) {
  std::mt19937 rng(1234);
  std::set<std::pair<int, int>> written;
  auto ensure = [&](int32_t x, int32_t y) {  // the test's parts round the view
    int32_t cx = x / 80, cy = y / 40;
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++) {
        int32_t px = Wrap(cx + dx, 160), py = Wrap(cy + dy, 160);
        if (written.insert({px, py}).second) {
          WritePart(Plain, px, py);
          WriteKnowledge(Pattern, px, py);
        }
      }
  };
  int32_t X = 158 * 80 + 60, Y = 40 + 5;
  ensure(X, Y);
  QoEMapInfo* map = LadeKarte(2, (uint16_t)(X / 80), (uint16_t)(Y / 40), ".\\Map");
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(InitPosGL(map, X, Y, 0, 0, 640, 480, 2), 1);
  const int fds = OpenFdCount();
  std::set<std::pair<int32_t, int32_t>> revealed;
  std::set<std::pair<int, int>> made;  // parts the engine may have made (zeros)
  for (int step = 0; step < 160; step++) {
    int32_t dx = 0, dy = 0;
    switch (rng() % 6) {
      case 0: dx = (int32_t)(rng() % 3) - 1; break;
      case 1: dy = (int32_t)(rng() % 3) - 1; break;
      case 2: dx = rng() % 2 ? 1 : -1; dy = rng() % 2 ? 1 : -1; break;
      case 3: dx = (int32_t)(10 + rng() % 5991) * (rng() % 2 ? 1 : -1); break;
      case 4: dx = rng() % 2 ? 40 : -40; dy = rng() % 2 ? 40 : -40; break;   // whole parts
      default: dy = (int32_t)(rng() % 200) - 100; break;
    }
    int32_t nx = Wrap((int64_t)map->X + 2 * dx, 12800), ny = Wrap((int64_t)map->Y + dy, 6400);
    ensure(nx, ny);
    int16_t oldCx = map->CenterX, oldCy = map->CenterY;
    int32_t oldVc = map->ViewColumn, oldVr = map->ViewRow;
    LoadCounter loads;
    ASSERT_EQ(SetPos(map, dx, dy), 1) << step;
    if (map->CenterX != oldCx && map->CenterY != oldCy && loads.maps == 6) {
      // Two one-part shifts: the first passes a window round (new column, old row).
      for (int k = 0; k < 9; k++)
        made.insert({Wrap(map->CenterX - 1 + k % 3, 160), Wrap(oldCy - 1 + k / 3, 160)});
    }
    EXPECT_EQ(map->X, nx);
    EXPECT_EQ(map->Y, ny);
    // The 3D position follows the view column and row, shifts and reloads alike.
    EXPECT_DOUBLE_EQ(map->PixelColumn, map->ViewColumn * 48.0) << step;
    EXPECT_DOUBLE_EQ(map->PixelRow, map->ViewRow * 55.424) << step;
    ExpectWindow(map);
    // Parts opened: three per one-part shift, nine for a reload.
    int32_t vc = Wrap(oldVc + 2 * (int64_t)dx, 12800), vr = Wrap(oldVr + dy, 6400);
    int expected = 0;
    if (vc >= 240 || vr >= 120) {
      expected = 9;
    } else {
      if (map->CenterX != oldCx) expected += 3;
      if (map->CenterY != oldCy) expected += 3;
    }
    EXPECT_EQ(loads.maps, expected) << step;
    EXPECT_EQ(loads.bmaps, expected) << step;
    std::set<std::string> want, open;
    for (int k = 0; k < 9; k++) {
      int32_t px = Wrap(map->CenterX - 1 + k % 3, 160), py = Wrap(map->CenterY - 1 + k / 3, 160);
      want.insert("M_" + std::to_string(px) + "_" + std::to_string(py) + ".map");
      want.insert("B_" + std::to_string(px) + "_" + std::to_string(py) + ".map");
    }
    for (const std::string& s : OpenPartFiles()) open.insert(s);
    EXPECT_EQ(open, want) << step;
    EXPECT_EQ(OpenFdCount(), fds) << step;
    // Knowledge: the files' pattern plus what was revealed.
    int32_t c = (int32_t)(rng() % 20), r = (int32_t)(rng() % 10);
    SetHexKnown(map, (uint16_t)c, (uint16_t)r);
    revealed.insert({Wrap((int64_t)map->X + c, 12800), Wrap((int64_t)map->Y + r, 6400)});
    for (int rr = 0; rr < 12; rr++)
      for (int cc = 0; cc < 22; cc++) {
        int32_t wx = Wrap((int64_t)map->X + cc, 12800), wy = Wrap((int64_t)map->Y + rr, 6400);
        bool want_known = Pattern(wx, wy) || revealed.count({wx, wy});
        ASSERT_EQ(IsHexKnown(map, (int16_t)cc, (uint16_t)rr), want_known ? 1 : 0) << step << " " << wx << "," << wy;
      }
  }
  ExitKarte(map);
  EXPECT_TRUE(OpenPartFiles().empty());
  // Map parts written back unchanged; knowledge parts hold the revealed bits.
  for (auto [px, py] : written) {
    std::vector<uint8_t> m = qoe_test::ReadFileBytes(PartPath('M', px, py));
    std::vector<uint8_t> b = qoe_test::ReadFileBytes(PartPath('B', px, py));
    ASSERT_EQ(m.size(), 70400u);
    ASSERT_EQ(b.size(), 400u);
    for (int rr = 0; rr < 40; rr++)
      for (int cc = 0; cc < 80; cc++) {
        int32_t wx = px * 80 + cc, wy = py * 40 + rr;
        ASSERT_EQ(GetLE32Test(&m[rr * 1760 + cc * 22]), (uint32_t)wx);
        bool bit = (b[rr * 10 + cc / 8] >> (cc & 7)) & 1;
        ASSERT_EQ(bit, Pattern(wx, wy) || revealed.count({wx, wy}) > 0) << wx << "," << wy;
      }
  }
  // Other part files only where a shift passed, and those are zeros.
  size_t files = 0, extra = 0;
  for (auto [px, py] : made)
    if (!written.count({px, py})) {
      extra++;
      EXPECT_EQ(qoe_test::ReadFileBytes(PartPath('M', px, py)), std::vector<uint8_t>(70400, 0));
    }
  for (auto& e : fs::directory_iterator("Map")) files += e.is_regular_file();
  EXPECT_EQ(files, 2 * (written.size() + extra));
}

TEST(MapFiles, AFailedWriteBackLeavesAWholeWindow) {
  WriteWindow(Plain, 50, 50);
  WriteWindow(Plain, 49, 50);
  QoEMapInfo* map = LadeKarte(2, 50, 50, ".\\Map");
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(InitPosGL(map, 50 * 80, 50 * 40 + 3, 0, 0, 640, 480, 2), 1);
  // A changed cell in part (51, 50): a part that holds its file's bytes is
  // left alone, so only a change has a write that can fail.
  map->CMap[45 * 240 + 165].Grafik ^= 1;
  FileFailWritesAfter(0);
  EXPECT_EQ(SetPos(map, -1, 0), 0);  // the parts that leave cannot be written
  FileFailWritesAfter(-1);
  EXPECT_EQ(map->CenterX, 49);
  ExpectWindow(map);
  for (int k = 0; k < 9; k++) {
    EXPECT_NE(map->Part[k], nullptr);
    EXPECT_NE(map->BPart[k], nullptr);
  }
  EXPECT_EQ(SetPos(map, 1, 0), 1);
  ExpectWindow(map);
  ExitKarte(map);
}

TEST(MapFiles, ReachMapMovesWithTheWindow) {
  WriteWindow(Plain, 30, 30, false);
  WriteWindow(Plain, 29, 30, false);
  QoEMapInfo* map = LadeKarte(0, 30, 30, ".\\Map");
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(InitPosGL(map, 30 * 80, 30 * 40 + 2, 0, 0, 640, 480, 0), 1);
  ASSERT_EQ(GetMoveHex(map, 100, 50, 0, 8), 1);
  ASSERT_EQ(GetMoveHexBits(map, 86, 36, 0), 1);
  std::set<std::pair<uint32_t, uint32_t>> before;
  for (int r = 0; r < 120; r++)
    for (int c = 0; c < 240; c++)
      if (BitMapTest(map->ReachMap, c, r)) before.insert({(uint32_t)map->CMap[r * 240 + c].X, (uint32_t)map->CMap[r * 240 + c].Y});
  ASSERT_FALSE(before.empty());
  ASSERT_EQ(SetPos(map, -1, 0), 1);  // west: one part
  std::set<std::pair<uint32_t, uint32_t>> after;
  for (int r = 0; r < 120; r++)
    for (int c = 0; c < 240; c++)
      if (BitMapTest(map->ReachMap, c, r)) after.insert({(uint32_t)map->CMap[r * 240 + c].X, (uint32_t)map->CMap[r * 240 + c].Y});
  EXPECT_EQ(before, after);
  ExitKarte(map);
}

TEST(MapFiles, CellChangesOfStayingPartsSurviveAShift) {
  WriteWindow(Plain, 60, 60, false);
  WriteWindow(Plain, 59, 60, false);
  QoEMapInfo* map = LadeKarte(0, 60, 60, ".\\Map");
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(InitPosGL(map, 60 * 80, 60 * 40 + 3, 0, 0, 640, 480, 0), 1);
  MapTile* cell = CMapCell(map, 85, 45);  // in the centre part, which stays
  ASSERT_NE(cell, nullptr);
  cell->Besitzer = 4242;
  ASSERT_EQ(SetPos(map, -1, 0), 1);  // west: the centre part moves to the east slot
  EXPECT_EQ(CMapCell(map, 85 + 80, 45)->Besitzer, 4242u);
  ExitKarte(map);
  std::vector<uint8_t> part = qoe_test::ReadFileBytes(PartPath('M', 60, 60));
  EXPECT_EQ(GetLE32Test(&part[5 * 1760 + 5 * 22 + 14]), 4242u);
}

// The generated pictures live in the test's own folder, which the test
// runner removes: nothing of them stays behind in the temporary folder.
TEST(MapFixture, TestPicturesStayInTheTestsFolder) {
  const fs::path here = fs::current_path();
  // An older fixture left such folders behind; one of another run may carry
  // this process ID, so only a folder made by this run counts.
  const std::string old_place = "/tmp/qoe_maptest_" + std::to_string(getpid());
  const bool was_there = fs::exists(old_place);
  WriteTestPictures();
  EXPECT_TRUE(fs::is_regular_file("Data/Path"));
  ASSERT_TRUE(fs::is_directory("Gfx"));
  EXPECT_FALSE(fs::is_symlink("Gfx"));
  size_t pictures = 0;
  for (const auto& entry : fs::recursive_directory_iterator(here)) {
    EXPECT_FALSE(fs::is_symlink(entry.symlink_status())) << entry.path();
    if (entry.path().extension() == ".ilbm") pictures++;
  }
  EXPECT_GT(pictures, 100u);
  if (!was_there) { EXPECT_FALSE(fs::exists(old_place)); }
}

namespace {

// The part files of .\Map (staged files a kill left are not parts).
qoe_test::FileBytes PartFiles() {
  qoe_test::FileBytes out;
  for (auto& e : fs::directory_iterator("Map"))
    if (e.is_regular_file() && e.path().filename().string().rfind(".qoetmp-", 0) != 0)
      out[e.path().string()] = qoe_test::ReadFileBytes(e.path().string());
  return out;
}

void PutPartFiles(const qoe_test::FileBytes& files) {
  for (auto& e : fs::directory_iterator("Map")) fs::remove(e.path());
  for (const auto& [path, bytes] : files) ASSERT_TRUE(qoe_test::WriteFileBytes(path, bytes));
}

// Opens the window round (50, 50), changes a cell and a knowledge byte in
// every part and closes it (the map's save): 0 when it went through.
int ChangeEveryPartAndClose() {
  QoEMapInfo* map = LadeKarte(2, 50, 50, ".\\Map");
  if (!map) return 1;
  for (int slot = 0; slot < 9; slot++) {
    const int row = 40 * (slot / 3) + 7, column = 80 * (slot % 3) + 11;
    map->CMap[row * 240 + column].Grafik ^= 0x55;
    map->BMap[row * 30 + column / 8] ^= 0xA5;
  }
  ExitKarte(map);
  return 0;
}

}  // namespace

TEST(MapFiles, ShiftsAndTheSaveNeverWriteAPartInPlace) {
  WriteWindow(Plain, 50, 50);
  WriteWindow(Plain, 49, 50);
  const uint32_t before = FileWritesOutsideSets();
  QoEMapInfo* map = LadeKarte(2, 50, 50, ".\\Map");
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(InitPosGL(map, 50 * 80, 50 * 40 + 3, 0, 0, 640, 480, 2), 1);
  map->CMap[45 * 240 + 5].Grafik = 7;   // in part (49, 50), which stays
  EXPECT_EQ(SetPos(map, -1, 0), 1);     // parts (51, *) leave and are written back
  ExpectWindow(map);
  EXPECT_EQ(SetPos(map, 0, 6000), 1);   // a jump: all nine written, nine new ones made
  ExitKarte(map);
  EXPECT_EQ(FileWritesOutsideSets(), before);
  std::vector<uint8_t> part = qoe_test::ReadFileBytes(PartPath('M', 49, 50));
  ASSERT_EQ(part.size(), 70400u);
  EXPECT_EQ(part[5 * 1760 + 5 * 22 + 8], 7);
  for (auto& e : fs::directory_iterator("Map"))
    EXPECT_NE(e.path().filename().string().rfind(".qoetmp-", 0), 0u) << e.path();
}

TEST(MapFiles, KilledSaveLeavesEveryPartOldOrEveryPartNew) {
  WriteWindow(Plain, 50, 50);
  qoe_test::ExpectOldOrNewAfterKills(ChangeEveryPartAndClose, PartFiles, PutPartFiles, 30, 1772);
  RemoveStaleTempFiles(".", 2);
}
