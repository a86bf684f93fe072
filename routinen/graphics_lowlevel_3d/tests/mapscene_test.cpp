// The per-frame map scene: the cells taken from a published map (wraps,
// terrain, owners, figures), barriers between owners, border cells, the
// wind, and the landscape drawn on Mesa under the 2D screens.
#define GL_GLEXT_PROTOTYPES 1
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include "platform/pngfile.h"
#include "platform/threads.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/engine_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/gui/gui_internal.h"
#include "platform/backend.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/fake_map.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/datakit/qoe_writer.h"

namespace fs = std::filesystem;

// The frame's copies of its kept picture into the window's buffer, counted
// through a link-time wrapper.
extern "C" void __real_glBlitFramebuffer(GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLint, GLbitfield, GLenum);
namespace {
std::atomic<uint32_t> g_blits{0};
}  // namespace
extern "C" void __wrap_glBlitFramebuffer(GLint sx0, GLint sy0, GLint sx1, GLint sy1, GLint dx0, GLint dy0, GLint dx1,
                                         GLint dy1, GLbitfield mask, GLenum filter) {
  g_blits++;
  __real_glBlitFramebuffer(sx0, sy0, sx1, sy1, dx0, dy0, dx1, dy1, mask, filter);
}

namespace {

constexpr uint32_t kOwn = 7, kForeign = 9, kOther = 11;

void Publish(QoEMapInfo* map) {
  LockMapRecord();
  KartenScreenData->map = map;
  UnlockMapRecord();
}

MapCell3D& At(uint32_t r, uint32_t k) { return MapScene()->cells[r * 40 + k]; }

class MapCells : public enginetest::EngineData {
 protected:
  void SetUp() override {
    EngineData::SetUp();
    InitViewPresets();
    ASSERT_EQ(MapAlloc(), 1u);
    // Characters: entry 1 for figure type 1, entry 2 for type 5, entry 3
    // for type 5 in state 4.
    CharacterEntry* c = E3D().characters;
    c[0].figure_type = 0xFFFF;
    c[1].figure_type = 1;
    c[2].figure_type = 5;
    c[3].figure_type = 5;
    c[3].state = 4;
    E3D().character_count = 4;
    fake_.map.OwnPlayer = kOwn;
  }
  void TearDown() override {
    Publish(nullptr);
    MapFree();
    EngineData::TearDown();
  }
  void AddFigure(uint16_t type, uint32_t x, uint32_t y, uint8_t status) {
    const uint16_t n = MapFigurCount(fake_.figures.data());
    fake_.figures.resize(2 + 18 * (n + 1u));
    MapFigur* f = MapFigurAt(fake_.figures.data(), n);
    *f = MapFigur{};
    f->Typ = type;
    f->X = x;
    f->Y = y;
    f->Status = status;
    SetMapFigurCount(fake_.figures.data(), uint16_t(n + 1));
    fake_.map.Figures = fake_.figures.data();
    fake_.map.FigureBytes = uint32_t(fake_.figures.size());
  }
  void Sync() {
    Publish(&fake_.map);
    ASSERT_EQ(TakeMapCopy(), 1u);
    SyncMapCells();
  }
  map_test::FakeMap fake_;
};

TEST_F(MapCells, FiguresAreFoundAcrossTheWorldsWrapInBothDirections) {
  fake_.map.X = 12790;
  fake_.map.Y = 6390;
  AddFigure(1, 12799, 6390, 0);  // column 9, row 0
  AddFigure(5, 3, 6395, 0);      // column 13 across the wrap, row 5
  AddFigure(5, 4, 2, 4);         // column 14, row 12 across the wrap; its state's entry
  AddFigure(1, 12789, 6390, 0);  // left of the window: not shown
  AddFigure(1, 12790, 6389, 0);  // above it
  Sync();
  EXPECT_EQ(At(0, 9).character, 1);
  EXPECT_EQ(At(5, 13).character, 2);
  EXPECT_EQ(At(12, 14).character, 3);
  uint32_t with = 0;
  for (uint32_t i = 0; i < 1440; i++) with += MapScene()->cells[i].character != 0;
  EXPECT_EQ(with, 3u);
}

TEST_F(MapCells, TerrainIsTheLowByteOwnersCopiedALaterFigureWinsACarriedOneIsHidden) {
  fake_.Cell(3, 2).Grafik = 0x0217;
  fake_.Cell(3, 2).Besitzer = kForeign;
  AddFigure(1, 4003, 2002, 0);
  AddFigure(5, 4003, 2002, 0);  // later on the same hex: wins
  AddFigure(5, 4006, 2001, 0);
  AddFigure(1, 4006, 2001, 7);  // carried aboard the ship: not shown
  Sync();
  EXPECT_EQ(At(2, 3).terrain, 0x17);
  EXPECT_EQ(At(2, 3).owner, kForeign);
  EXPECT_EQ(At(0, 0).terrain, 12);
  EXPECT_EQ(At(0, 0).owner, kNobody);
  EXPECT_EQ(At(2, 3).character, 2);
  EXPECT_EQ(At(1, 6).character, 2);
}

// Every cell scans the whole figure list for its world position (wrapped
// once at 12,800 and 6,400), a later figure winning, one carried aboard a
// ship skipped: the one pass over the list gives the same cells, on random
// lists crowded round the window, across the wraps and with positions
// outside the world.
TEST_F(MapCells, TheOnePassMatchEqualsTheNestedScanOnRandomLists) {
  std::mt19937 rng(5);
  const uint32_t views[4][2] = {{12790, 6390}, {4000, 2000}, {12799, 6399}, {0, 0}};
  const uint16_t types[5] = {1, 5, 7, 0xFFFF, 1};
  const uint8_t states[6] = {0, 4, 7, 1, 3, 0};
  for (int round = 0; round < 60; round++) {
    fake_.map.X = views[round % 4][0];
    fake_.map.Y = views[round % 4][1];
    fake_.figures.assign(2, 0);
    const uint32_t n = rng() % 120;
    for (uint32_t f = 0; f < n; f++) {
      uint32_t x = (fake_.map.X + 12800 - 2 + rng() % 46) % 12800;
      uint32_t y = (fake_.map.Y + 6400 - 2 + rng() % 40) % 6400;
      // Some lie outside the world: beyond its edge, or garbage.
      if (rng() % 10 == 0) x = rng() % 2 ? 12800 + x % 40 : 0xFFFFFFF0u + rng() % 8;
      if (rng() % 10 == 0) y = rng() % 2 ? 6400 + y % 40 : 0xFFFFFFF0u + rng() % 8;
      // Crowded: many figures share a few hexes.
      if (rng() % 2) x = (fake_.map.X + rng() % 4) % 12800, y = (fake_.map.Y + rng() % 4) % 6400;
      AddFigure(types[rng() % 5], x, y, states[rng() % 6]);
    }
    if (n == 0) fake_.map.FigureBytes = 2, fake_.map.Figures = fake_.figures.data();
    Sync();
    const uint8_t* list = fake_.figures.data();
    for (uint32_t r = 0; r < 36; r++)
      for (uint32_t k = 0; k < 40; k++) {
        uint32_t wx = fake_.map.X + k, wy = fake_.map.Y + r;
        if (wx >= 12800) wx -= 12800;
        if (wy >= 6400) wy -= 6400;
        uint32_t want = 0;
        for (uint32_t f = 0; f < MapFigurCount(list); f++) {
          const MapFigur* fig = MapFigurAt(list, f);
          if (fig->X == wx && fig->Y == wy && fig->Status != 7) want = FindCharacter(fig->Typ, fig->Status);
        }
        ASSERT_EQ(At(r, k).character, want) << "round " << round << " row " << r << " column " << k;
      }
  }
}

TEST_F(MapCells, CellsOutsideTheWindowOfMapPartsStayEmptyAndNoMapGivesNoCells) {
  fake_.map.ViewColumn = 220;  // columns 20.. lie beyond the 240 of the window
  fake_.map.ViewRow = 100;     // rows 20.. beyond its 120
  Sync();
  EXPECT_EQ(At(0, 19).terrain, 12);
  EXPECT_EQ(At(0, 20).terrain, 0);
  EXPECT_EQ(At(19, 0).terrain, 12);
  EXPECT_EQ(At(20, 0).terrain, 0);
  Publish(nullptr);
  EXPECT_EQ(TakeMapCopy(), 0u);
  SyncMapCells();
  EXPECT_EQ(At(0, 0).terrain, 0);
}

TEST_F(MapCells, AFrameWhileTheGameThreadHoldsTheLockKeepsTheLastCopy) {
  Sync();
  std::atomic<int> state{0};
  QoeThread* game = StartThread(
      "Game",
      [](void* p) {
        auto* st = static_cast<std::atomic<int>*>(p);
        LockMapRecord();
        st->store(1);
        while (st->load() != 2) SleepMs(1);
        UnlockMapRecord();
        return 0;
      },
      &state);
  ASSERT_NE(game, nullptr);
  while (state.load() != 1) SleepMs(1);
  fake_.Cell(0, 0).Grafik = 30;  // not seen: the copy is the last one
  EXPECT_EQ(TakeMapCopy(), 1u);
  SyncMapCells();
  EXPECT_EQ(At(0, 0).terrain, 12);
  state.store(2);
  EXPECT_EQ(JoinThread(game), 0);
}

// Every pair kind with every owner combination: own / foreign 3, own /
// unowned 1, any other border 2, the same owner none.
TEST_F(MapCells, BarrierValuesForEveryPairKindAndOwnerCombination) {
  struct Pair {
    uint32_t rr, rk, nr, nk;
    int byte;
  };
  const uint32_t r = 4, j = 5;
  const Pair pairs[6] = {{r + 1, 2 * j, r, 2 * j, 0},         {r, 2 * j + 1, r, 2 * j, 1},
                         {r, 2 * j + 1, r, 2 * j + 2, 5},     {r, 2 * j + 1, r + 1, 2 * j, 2},
                         {r, 2 * j + 1, r + 1, 2 * j + 1, 3}, {r, 2 * j + 1, r + 1, 2 * j + 2, 4}};
  struct Owners {
    uint32_t receiving, neighbour;
    uint8_t value;
  };
  const Owners owners[] = {{kOwn, kForeign, 3},  {kForeign, kOwn, 3},      {kOwn, kNobody, 1},
                           {kNobody, kOwn, 1},   {kForeign, kOther, 2},    {kForeign, kNobody, 2},
                           {kNobody, kForeign, 2}, {kOwn, kOwn, 0},        {kForeign, kForeign, 0},
                           {kNobody, kNobody, 0}};
  Sync();  // the own player's ID comes with the map
  for (const Pair& p : pairs)
    for (const Owners& o : owners) {
      for (uint32_t i = 0; i < 1440; i++) {
        MapScene()->cells[i].owner = 1000 + i;  // every other border differs
        std::memset(MapScene()->cells[i].barriers, 0, 6);
      }
      At(p.rr, p.rk).owner = o.receiving;
      At(p.nr, p.nk).owner = o.neighbour;
      MarkBarriers();
      EXPECT_EQ(At(p.rr, p.rk).barriers[p.byte], o.value) << p.byte << " " << o.receiving << " " << o.neighbour;
    }
  // The last row gives nothing to a row below; the last pair nothing at
  // all from its odd cell.
  for (uint32_t i = 0; i < 1440; i++) {
    MapScene()->cells[i].owner = kForeign;
    std::memset(MapScene()->cells[i].barriers, 0, 6);
  }
  At(35, 10).owner = kOwn;
  At(10, 39).owner = kOwn;
  MarkBarriers();
  EXPECT_EQ(At(35, 10).barriers[0], 3);  // from the row above
  EXPECT_EQ(At(35, 11).barriers[1], 3);  // odd beside it in the last row
  for (int b : {2, 3, 4}) EXPECT_EQ(At(35, 11).barriers[b], 0) << b;
  for (int b = 0; b < 6; b++) EXPECT_EQ(At(10, 39).barriers[b], 0) << b;
  EXPECT_EQ(At(11, 38).barriers[0], 0);
  // Another value in the file wins over the own player: own against
  // foreign is now a border between two foreign realms.
  Engine()->owner_user = int32_t(kOther);
  std::memset(At(35, 10).barriers, 0, 6);
  MarkBarriers();
  EXPECT_EQ(At(35, 10).barriers[0], 2);
}

TEST_F(MapCells, BarriersAreClearedEveryFrameSoSwitchedOffNoneRemain) {
  fake_.Cell(5, 5).Besitzer = kOwn;
  Sync();
  MarkBarriers();
  uint32_t marked = 0;
  for (uint32_t i = 0; i < 1440; i++)
    for (int b = 0; b < 6; b++) marked += MapScene()->cells[i].barriers[b] != 0;
  EXPECT_EQ(marked, 6u);  // the own hex's six edges against unowned land
  SyncMapCells();
  marked = 0;
  for (uint32_t i = 0; i < 1440; i++)
    for (int b = 0; b < 6; b++) marked += MapScene()->cells[i].barriers[b] != 0;
  EXPECT_EQ(marked, 0u);
}

TEST_F(MapCells, BorderCellsOfOddAndEvenColumns) {
  struct Case {
    uint32_t r, k;
    int32_t n[6][2];
  };
  const Case cases[2] = {{6, 7, {{6, 6}, {5, 7}, {6, 8}, {7, 8}, {7, 7}, {7, 6}}},
                         {6, 8, {{5, 7}, {5, 8}, {5, 9}, {6, 9}, {7, 8}, {6, 7}}}};
  for (const Case& c : cases) {
    // Only this cell in view; every hidden cell got a barrier byte.
    for (uint32_t i = 0; i < 1440; i++) {
      MapScene()->cells[i].visibility = 0;
      MapScene()->cells[i].barriers[2] = 1;
    }
    At(c.r, c.k).visibility = 1;
    MarkBorderCells();
    uint32_t borders = 0;
    for (uint32_t i = 0; i < 1440; i++) {
      const MapCell3D& cell = MapScene()->cells[i];
      borders += cell.visibility == 2;
      EXPECT_EQ(cell.barriers[2], cell.visibility ? 1 : 0) << i;
    }
    EXPECT_EQ(borders, 6u) << c.k;
    for (const auto& n : c.n) EXPECT_EQ(At(uint32_t(n[0]), uint32_t(n[1])).visibility, 2) << n[0] << "," << n[1];
  }
  // A corner cell's neighbours outside the table are left out.
  for (uint32_t i = 0; i < 1440; i++) MapScene()->cells[i].visibility = 0;
  At(0, 0).visibility = 1;
  MarkBorderCells();
  EXPECT_EQ(At(0, 1).visibility, 2);
  EXPECT_EQ(At(1, 0).visibility, 2);
}

TEST_F(MapCells, SelectingACellKeepsItsCopyAndMapPosition) {
  Sync();
  SelectMapCell(&At(2, 3), 83, 42);
  EXPECT_EQ(At(2, 3).selected, 1);
  EXPECT_EQ(MapScene()->selected_column, 83);
  EXPECT_EQ(MapScene()->selected_row, 42);
  EXPECT_EQ(MapScene()->selected_cell.terrain, 12);
}

TEST_F(MapCells, TheWindFollowsACosineAgainstItsDirection) {
  for (float t : {0.0f, 5.0f, 31.4f, 100.0f}) {
    SetWind(t);
    const float w = (std::cos(t / 10.0f) + 0.8f) * 0.02f;
    EXPECT_FLOAT_EQ(E3D().wind[0], 0.2f * w / 5.0f);
    EXPECT_FLOAT_EQ(E3D().wind[1], 0.2f * w / 5.0f);
  }
}

TEST_F(MapCells, AScrollStepKeepsTheGridOffsetAndShiftsTheColumnsByTwo) {
  // The map engine stores the 3D position with the view column and row.
  fake_.map.PixelColumn = 80 * 48.0;
  fake_.map.PixelRow = 40 * 55.424;
  fake_.Cell(2, 0).Grafik = 30;
  Sync();
  EXPECT_EQ(At(0, 2).terrain, 30);
  fake_.map.X += 2;
  fake_.map.ViewColumn += 2;
  fake_.map.PixelColumn = 82 * 48.0;
  Sync();
  EXPECT_EQ(At(0, 0).terrain, 30);
  const MapFrameCopy& c = E3D().map_copy;
  EXPECT_DOUBLE_EQ(c.pixel_column - double(c.view_column / 2) * 96.0, 0.0);
  EXPECT_DOUBLE_EQ(c.pixel_row - double(c.view_row) * 55.424, 0.0);
}

// A reach map of the window of map parts with the given hexes set.
std::vector<uint8_t> ReachBits(const std::vector<std::pair<int32_t, int32_t>>& hexes) {
  std::vector<uint8_t> bits(3600, 0);
  for (const auto& [c, r] : hexes) bits[size_t(r) * 30 + size_t(c) / 8] |= uint8_t(1u << (c & 7));
  return bits;
}

TEST_F(MapCells, HexesWithinReachAreMarkedOnlyWhileTheRangeIsShown) {
  // Window hexes (83, 42), (80, 40) and (119, 75) within reach; (79, 40)
  // lies left of the scene's window.
  std::vector<uint8_t> bits = ReachBits({{83, 42}, {80, 40}, {119, 75}, {79, 40}});
  fake_.map.ReachMap = bits.data();
  auto marked = [] {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < 1440; i++)
      if (MapScene()->cells[i].reach) v.push_back(i);
    return v;
  };
  // The reach map alone (the range not shown) marks nothing.
  Sync();
  EXPECT_TRUE(marked().empty());
  fake_.map.Flags |= MAPF_RANGE;
  Sync();
  EXPECT_EQ(marked(), (std::vector<uint32_t>{0, 2 * 40 + 3, 35 * 40 + 39}));
  // A scroll by one column pair: the marks keep their hexes.
  fake_.map.X += 2;
  fake_.map.ViewColumn += 2;
  Sync();
  EXPECT_EQ(marked(), (std::vector<uint32_t>{2 * 40 + 1, 35 * 40 + 37}));
  // A view at the window's edge: hexes beyond it are none.
  fake_.map.ViewColumn = 230;
  fake_.map.ViewRow = 100;
  bits = ReachBits({{239, 100}, {0, 100}, {230, 119}});
  fake_.map.ReachMap = bits.data();
  Sync();
  EXPECT_EQ(marked(), (std::vector<uint32_t>{9, 19 * 40}));
  // The range ends, or the reach map goes: no marks.
  fake_.map.Flags &= uint16_t(~MAPF_RANGE);
  Sync();
  EXPECT_TRUE(marked().empty());
  fake_.map.Flags |= MAPF_RANGE;
  fake_.map.ReachMap = nullptr;
  Sync();
  EXPECT_TRUE(marked().empty());
}

// --- Pictures on Mesa --------------------------------------------------------

// A flat hex-sized model on one 24-bit texture of one colour.
datakit::QoeModel Hex(const std::string& name, uint8_t r, uint8_t g, uint8_t b) {
  datakit::QoeModel m;
  datakit::QoeTexture t;
  t.name = name;
  t.file = "bmp/" + name + ".bmp";
  t.width = t.height = 16;
  t.bits = 24;
  t.picture = datakit::QoeTexture::kRaw;
  for (int i = 0; i < 256; i++) t.pixels.insert(t.pixels.end(), {r, g, b});
  m.textures.push_back(t);
  const float c[6][2] = {{-32, 0}, {-16, -27.712f}, {16, -27.712f}, {32, 0}, {16, 27.712f}, {-16, 27.712f}};
  for (const auto& xy : c) {
    datakit::QoePoint p;
    p.x = xy[0];
    p.z = xy[1];
    p.u = (xy[0] + 32) / 64;
    p.v = (xy[1] + 27.712f) / 55.424f;
    m.points.push_back(p);
  }
  m.indices = {5, 4, 3, 2, 1, 0};
  m.faces = {{0, 6, 0}};
  datakit::QoeObject o;
  o.name = name;
  o.index_count = o.point_count = 6;
  o.face_count = 1;
  o.min[0] = -32, o.min[2] = -27.712f, o.max[0] = 32, o.max[2] = 27.712f;
  m.objects = {o};
  return m;
}

void WriteModel(const std::string& path, const datakit::QoeModel& m) {
  const std::vector<uint8_t> bytes = datakit::WriteQoe(m, false);
  for (const std::string& at : {path, "qoe-autumn/" + path}) {
    fs::create_directories(fs::path(at).parent_path().empty() ? fs::path(".") : fs::path(at).parent_path());
    std::ofstream(at, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
}

class MapSceneGL : public testing::Test {
 protected:
  // The screen mode the window opens in (800 x 600).
  virtual uint32_t Mode() const { return 6; }
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit/bmp", "bmp",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_TRUE(gltest::OpenGLWindow(Mode()));
    WriteModel("qoe/Water_low.qoe", Hex("water", 40, 60, 200));
    WriteModel("qoe/Water_high.qoe", Hex("waterh", 40, 60, 200));
    WriteModel("qoe/Objectnotmade.qoe", Hex("notmade", 200, 0, 200));
    WriteModel("qoe/Newblack.qoe", Hex("black", 20, 20, 20));
    WriteModel("grass.qoe", Hex("grass", 60, 200, 60));
    WriteModel("grass_high.qoe", Hex("grassh", 200, 200, 60));
    WriteModel("town.qoe", Hex("town", 200, 120, 60));
    // The map engine keeps the 3D position at view column x 48 and view
    // row x 55.424.
    fake_.map.PixelColumn = 80 * 48.0;
    fake_.map.PixelRow = 40 * 55.424;
  }
  void TearDown() override {
    Publish(nullptr);
    StopEngine();
    gltest::CloseGLWindow();
  }
  void Start(const std::string& extra) {
    std::ofstream("qoe3d.cfg") << "Engine.AntiAlias FALSE\nEngine.Filtering FALSE\nEngine.MipMapping FALSE\n"
                                  "SetHexagone 12 KID_GRASS grass.qoe grass_high.qoe 0 255 255 255 255\n"
                                  "SetHexagone 4 KID_TOWN town.qoe town.qoe 0 255 255 255 255\n"
                               << extra;
    StartEngine();
    ASSERT_EQ(Engine()->started, 1u);
    SeedSceneRandom(1);
  }
  std::vector<uint32_t> Frame(const char* png) {
    GLProcessObjektList();
    glFinish();
    std::vector<uint32_t> f = gltest::ReadFrame(800, 600);
    EXPECT_EQ(WritePngRGB(png, f.data(), 800, 600), 1);
    EXPECT_TRUE(qoe_test::KeepPng(png));
    return f;
  }
  map_test::FakeMap fake_;
};

int Channel(uint32_t c, int shift) { return int((c >> shift) & 0xFF); }

TEST_F(MapSceneGL, TheLandscapeIsDrawnUnderTheScreensWithItsFocusCellHighlighted) {
  Start("Map.HighPolyScale 9.0\nMap.ShowBarriers TRUE\n");
  fake_.map.OwnPlayer = kOwn;
  // A realm of the own player beside a foreign one, a town, some water and
  // a type without a model (drawn as the not-made model).
  for (int32_t r = 10; r < 20; r++)
    for (int32_t c = 10; c < 20; c++) fake_.Cell(c, r).Besitzer = kOwn;
  for (int32_t r = 10; r < 20; r++)
    for (int32_t c = 20; c < 26; c++) fake_.Cell(c, r).Besitzer = kForeign;
  fake_.Cell(15, 15).Grafik = 4;
  for (int32_t c = 0; c < 40; c++) fake_.Cell(c, 25).Grafik = 23;
  fake_.Cell(22, 22).Grafik = 50;
  // Nothing published: nothing drawn, the clear colour.
  std::vector<uint32_t> empty = Frame("gl3d_mapscene_none.png");
  EXPECT_EQ(MapSceneShowsLandscape(), 0u);
  EXPECT_EQ(empty[300 * 800 + 400], 0u);
  Publish(&fake_.map);
  std::vector<uint32_t> f;
  for (int i = 0; i < 3; i++) f = Frame("gl3d_mapscene.png");
  ASSERT_EQ(MapSceneShowsLandscape(), 1u);
  const MapSceneState* m = MapScene();
  ASSERT_NE(m->focus, nullptr);
  EXPECT_EQ(m->focus->selected, 1);
  EXPECT_EQ(m->selected_column, m->focus_column);
  // The landscape fills the middle of the screen.
  size_t drawn = 0;
  for (uint32_t y = 150; y < 450; y++)
    for (uint32_t x = 200; x < 600; x++) drawn += f[y * 800 + x] != f[0];
  EXPECT_GT(drawn, 100000u);
  // The grass near the camera shows its own colour; the focus cell, near
  // the middle, the grass times (255, 200, 180).
  auto near = [](uint32_t a, uint32_t b) {
    for (int sh : {0, 8, 16})
      if (std::abs(Channel(a, sh) - Channel(b, sh)) > 3) return false;
    return true;
  };
  EXPECT_TRUE(near(f[500 * 800 + 400], 0x3CC83C)) << std::hex << f[500 * 800 + 400];
  size_t lit = 0, far_off = 0;
  for (uint32_t y = 0; y < 600; y++)
    for (uint32_t x = 0; x < 800; x++)
      if (near(f[y * 800 + x], 0x3C9D2A)) {
        lit++;
        far_off += std::abs(int(x) - 400) > 150 || std::abs(int(y) - 300) > 150;
      }
  EXPECT_GT(lit, 1000u);
  EXPECT_EQ(far_off, 0u);
  // A click on a cell's projected centre finds that cell; one on the sky
  // none.
  const float* fc = m->centres[m->focus - m->cells];
  const int32_t fx = int32_t((fc[0] + 1.0f) / 2.0f * 800.0f), fy = int32_t((1.0f - fc[1]) / 2.0f * 600.0f);
  int32_t column = -1, row = -1;
  ASSERT_EQ(MapScenePick(fx, fy, &column, &row), 1);
  EXPECT_EQ(column, m->focus_column);
  EXPECT_EQ(row, m->focus_row);
  EXPECT_TRUE(near(f[size_t(fy) * 800 + size_t(fx)], 0x3C9D2A)) << fx << "," << fy;
  EXPECT_EQ(MapScenePick(400, 40, &column, &row), 0);
  // Barriers stand along the realms' borders.
  uint32_t barriers = 0;
  for (uint32_t i = 0; i < 1440; i++)
    for (int b = 0; b < 6; b++) barriers += m->cells[i].barriers[b] != 0;
  EXPECT_GT(barriers, 0u);
  // Switched off, no cell keeps a barrier.
  Engine()->show_barriers = 0;
  Frame("gl3d_mapscene_nobarriers.png");
  barriers = 0;
  for (uint32_t i = 0; i < 1440; i++)
    for (int b = 0; b < 6; b++) barriers += m->cells[i].barriers[b] != 0;
  EXPECT_EQ(barriers, 0u);
}

TEST_F(MapSceneGL, HighModelsFromTheirScaleAndTheFallbackOnlyForTerrainOtherThanZero) {
  Start("Map.HighPolyScale 1.0\nEngine.Scale 1.0\n");
  fake_.Cell(0, 0).Grafik = 0;
  fake_.Cell(1, 0).Grafik = 50;
  Publish(&fake_.map);
  Frame("gl3d_mapscene_high.png");
  const HexagonType* h = SceneModels()->hexagons;
  uint32_t high = 0, low = 0;
  for (uint32_t i = 0; i < 1440; i++) {
    const MapCell3D& c = MapScene()->cells[i];
    if (!c.visibility) continue;
    if (c.terrain == 12) {
      high += c.model == h[12].high;
      low += c.model == h[12].low;
    }
    if (c.terrain == 50) { EXPECT_EQ(c.model, h[99].low); }
    if (c.terrain == 0) { EXPECT_EQ(c.model, nullptr); }
  }
  EXPECT_GT(high, 0u);
  EXPECT_EQ(low, 0u);
  SetViewScale(0.99f, 1);
  Engine()->scale = 0.99f;
  Frame("gl3d_mapscene_low.png");
  high = low = 0;
  for (uint32_t i = 0; i < 1440; i++) {
    const MapCell3D& c = MapScene()->cells[i];
    if (c.visibility && c.terrain == 12) {
      high += c.model == h[12].high;
      low += c.model == h[12].low;
    }
  }
  EXPECT_EQ(high, 0u);
  EXPECT_GT(low, 0u);
}

TEST_F(MapSceneGL, ACameraSweepKeepsEveryDrawnCellInFrontOfTheEye) {
  Start("");
  Publish(&fake_.map);
  for (float rot = 0; rot < 360; rot += 45)
    for (float flip : {30.0f, 60.0f, 90.0f})
      for (float scale : {0.3f, 1.5f, 5.0f}) {
        SetViewRotation(rot, 1);
        SetViewFlip(flip, 1);
        SetViewScale(scale, 1);
        Engine()->scale = Camera()->factor / 0.008f;
        ProcessMapScene();
        uint32_t visible = 0;
        for (uint32_t i = 0; i < 1440; i++) visible += MapScene()->cells[i].visibility == 1;
        EXPECT_GT(visible, 0u) << rot << " " << flip << " " << scale;
        for (uint32_t i = 0; i < 1440; i++) {
          const float* p = MapScene()->centres[i];
          ASSERT_TRUE(std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]));
          if (MapScene()->cells[i].visibility == 1) { EXPECT_GT(p[2], 0.0f); }
        }
      }
}

TEST_F(MapSceneGL, TheOldLookSetsItsCameraEveryFrameAndSwitchesTheEffectsOff) {
  Start("Map.OldLook2D TRUE\n");
  Publish(&fake_.map);
  SetViewRotation(90, 1);
  Engine()->rain_on = Engine()->wind_on = 1;
  Frame("gl3d_mapscene_oldlook.png");
  EXPECT_FLOAT_EQ(Camera()->rotation, 0.0f);
  EXPECT_FLOAT_EQ(Camera()->flip, 50.0f);
  EXPECT_FLOAT_EQ(Camera()->factor, 0.5f * 0.008f);
  EXPECT_EQ(Engine()->fog_mode, 0);
  EXPECT_EQ(Engine()->rain_on, 0u);
  EXPECT_EQ(Engine()->wind_on, 0u);
  EXPECT_EQ(MapScene()->overlay_on, 0);
  EXPECT_FLOAT_EQ(MapScene()->origin[1], -64.0f);
}

TEST_F(MapSceneGL, FiguresStandOnTheirCellsAsCharactersButNotOnTheFocusCell) {
  WriteModel("qoe-anims/knight.qoe", Hex("knight", 250, 20, 20));
  // Entry 0 stands for no character: the knight is the second entry.
  Start("SetCharacter 900 FID_NOTHING NONE NONE NONE 0 0 0 1\n"
        "SetCharacter 1 FID_KNIGHT NONE knight.qoe knight.qoe 0 40 0 1.0\n");
  ASSERT_EQ(E3D().character_count, 2u);
  // The view's centre and one figure a few hexes nearer the camera.
  Publish(&fake_.map);
  Frame("gl3d_mapscene_nofigure.png");
  const MapSceneState* m = MapScene();
  ASSERT_NE(m->focus, nullptr);
  const int32_t fc = m->focus_column - 80, fr = m->focus_row - 40;
  ResetViewPasses();
  Frame("gl3d_mapscene_nofigure.png");
  const uint32_t none = ViewPasses().opaque_faces;
  fake_.AddFigure(3, fc, fr);  // on the focus cell: not drawn
  ResetViewPasses();
  Frame("gl3d_mapscene_focusfigure.png");
  EXPECT_EQ(ViewPasses().opaque_faces, none);
  const uint32_t on_focus = ViewPasses().opaque_faces;
  fake_.AddFigure(3, fc, fr + 3);
  ResetViewPasses();
  const std::vector<uint32_t> f = Frame("gl3d_mapscene_figure.png");
  EXPECT_GT(m->cells[size_t(fr + 3) * 40 + size_t(fc)].character, 0);
  EXPECT_GT(ViewPasses().opaque_faces, on_focus);
  size_t red = 0;
  for (uint32_t px : f) red += Channel(px, 16) > 200 && Channel(px, 8) < 60;
  EXPECT_GT(red, 50u);
}

TEST_F(MapSceneGL, TheSkyStandsBehindTheLandscapeOnlyWhenSwitchedOn) {
  fs::copy(qoe_test::BinaryDir() + "/datakit/bmp", "bmp", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  Start("Map.SkyON TRUE\n");
  ASSERT_GE(MapScene()->sky, 0);
  Publish(&fake_.map);
  ResetViewPasses();
  const std::vector<uint32_t> with = Frame("gl3d_mapscene_sky.png");
  EXPECT_GT(ViewPasses().sky_faces, 0u);
  SetViewRotation(120, 1);
  Frame("gl3d_mapscene_sky_turned.png");
  Engine()->sky_on = 0;
  SetViewRotation(Engine()->rotation, 1);
  ResetViewPasses();
  const std::vector<uint32_t> without = Frame("gl3d_mapscene_nosky.png");
  EXPECT_EQ(ViewPasses().sky_faces, 0u);
  // The ground near the camera is the same with and without the sky.
  EXPECT_EQ(with[500 * 800 + 400], without[500 * 800 + 400]);
  size_t differs = 0;
  for (size_t i = 0; i < with.size(); i++) differs += with[i] != without[i];
  EXPECT_GT(differs, 1000u);
}

bool Near(uint32_t a, uint32_t b, int tolerance = 3) {
  for (int sh : {0, 8, 16})
    if (std::abs(Channel(a, sh) - Channel(b, sh)) > tolerance) return false;
  return true;
}

// The pixel under a projected point.
struct Pixel {
  int32_t x, y;
};
Pixel OnScreen(const float* p) {
  return Pixel{int32_t((p[0] + 1.0f) / 2.0f * 800.0f), int32_t((1.0f - p[1]) / 2.0f * 600.0f)};
}

// At both zooms the focus cell, in the middle, shows its terrain model's
// colour times (255, 200, 180), and no other cell does.
TEST_F(MapSceneGL, TheFocusCellShowsItsTerrainColourTimesTheHighlightAtBothZooms) {
  Start("Map.ActualSeason SUMMER\n");  // no rain over the picture
  Publish(&fake_.map);
  MapScene()->overlay_on = 0;
  struct Case {
    float scale;
    const char* png;
    uint32_t plain, lit;
  };
  // Below Map.HighPolyScale (1.0) the low grass model, from it the high one.
  const Case cases[] = {{0.3f, "gl3d_mapscene_focus_small.png", 0x3CC83C, 0x3C9D2A},
                        {1.5f, "gl3d_mapscene_focus_large.png", 0xC8C83C, 0xC89D2A}};
  for (const Case& c : cases) {
    SetViewScale(c.scale, 1);
    const std::vector<uint32_t> f = Frame(c.png);
    const MapSceneState* m = MapScene();
    ASSERT_NE(m->focus, nullptr);
    const uint32_t i = uint32_t(m->focus - m->cells);
    const Pixel at = OnScreen(m->centres[i]);
    ASSERT_TRUE(at.x >= 0 && at.x < 800 && at.y >= 0 && at.y < 600);
    EXPECT_TRUE(Near(f[size_t(at.y) * 800 + size_t(at.x)], c.lit)) << c.scale << std::hex << " " << f[size_t(at.y) * 800 + size_t(at.x)];
    EXPECT_TRUE(Near(f[560 * 800 + 400], c.plain)) << c.scale << std::hex << " " << f[560 * 800 + 400];
    // The lit pixels lie within half a cell pair of the focus centre.
    const Pixel beside = OnScreen(m->centres[i % 40 < 38 ? i + 2 : i - 2]);
    const double pair = std::hypot(beside.x - at.x, beside.y - at.y);
    size_t lit = 0, outside = 0;
    for (int32_t y = 0; y < 600; y++)
      for (int32_t x = 0; x < 800; x++)
        if (Near(f[size_t(y) * 800 + size_t(x)], c.lit)) {
          lit++;
          outside += std::hypot(x - at.x, y - at.y) > 0.55 * pair;
        }
    EXPECT_GT(lit, size_t(pair * pair / 20)) << c.scale;
    EXPECT_EQ(outside, 0u) << c.scale;
  }
}

int Distance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int sh : {0, 8, 16}) d += std::abs(Channel(a, sh) - Channel(b, sh));
  return d;
}

// Up a column of the picture from the near edge: grass, then rows ever
// nearer the fog colour, then the fog colour itself; without fog the grass
// ends at once. A 2D screen lies on top, as always in the game (its pass
// switches the fog off for itself).
TEST_F(MapSceneGL, FarRowsFadeIntoTheFogColour) {
  Start("Map.ActualSeason SUMMER\n");
  Publish(&fake_.map);
  MapScene()->overlay_on = 0;
  BitMap* corner = AllocBitMap(32, 32, 32, BMF_RGBA, nullptr);
  ASSERT_NE(corner, nullptr);
  gltest::FillRGBA(corner, 0, 0, 32, 32, 0x806040);
  ObjektListEntry* screen = AddObjektListEntry(corner, nullptr, "MapSceneFog");
  ASSERT_NE(screen, nullptr);
  SetObjektPos3D(screen, 760, 560);
  SetObjektVisible3D(screen, 1);
  const uint32_t grass = 0x3CC83C, fog = 0x80ADC0;
  for (int mode : {1, 0}) {
    Engine()->fog_mode = uint16_t(mode);
    Frame("gl3d_mapscene_fog.png");
    const std::vector<uint32_t> f = Frame(mode ? "gl3d_mapscene_fog.png" : "gl3d_mapscene_nofog.png");
    EXPECT_EQ(f[580 * 800 + 780], 0x806040u);
    for (int32_t x : {150, 600}) {
      EXPECT_EQ(f[560 * 800 + size_t(x)], grass) << mode << " " << x;
      int32_t y = 560, fading = 0, last = Distance(f[560 * 800 + size_t(x)], fog);
      for (; y >= 0; y--) {
        const uint32_t px = f[size_t(y) * 800 + size_t(x)];
        const int d = Distance(px, fog);
        if (d <= 6) break;
        EXPECT_LE(d, last + 3) << "row " << y << " column " << x;
        last = d;
        fading += Distance(px, grass) > 6;
      }
      ASSERT_GT(y, 0) << "the landscape reaches the top of the picture";
      if (mode)
        EXPECT_GT(fading, 10) << x;
      else
        EXPECT_LE(fading, 1) << x;
    }
  }
  RemoveObjektListEntry(screen);
  FreeBitMap(corner);
}

// Three realms side by side: the own one, a foreign one beside it and
// another foreign one beside that, far from the own. The first barrier set
// (yellow rails) stands only on borders of the own realm (own / foreign and
// own / unowned); the foreign borders far off get the second set (red)
// alone; switched off, no barrier at all.
TEST_F(MapSceneGL, BarrierTexelsStandOnlyAlongTheOwnRealmsBordersAndNoneSwitchedOff) {
  Start("Map.ActualSeason SUMMER\nEngine.FogMode 0\nMap.ShowBarriers TRUE\n");
  MapScene()->overlay_on = 0;
  fake_.map.OwnPlayer = kOwn;
  for (int32_t r = 12; r < 22; r++) {
    for (int32_t c = 8; c < 16; c++) fake_.Cell(c, r).Besitzer = kOwn;
    for (int32_t c = 16; c < 24; c++) fake_.Cell(c, r).Besitzer = kForeign;
    for (int32_t c = 24; c < 32; c++) fake_.Cell(c, r).Besitzer = kOther;
  }
  auto owner = [this](int32_t r, int32_t k) { return fake_.Cell(k, r).Besitzer; };
  // A cell of the own realm or next to it.
  auto near_own = [&owner](int32_t r, int32_t k) {
    if (owner(r, k) == kOwn) return true;
    static const int32_t kOdd[6][2] = {{0, -1}, {-1, 0}, {0, 1}, {1, 1}, {1, 0}, {1, -1}};
    static const int32_t kEven[6][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 0}, {0, -1}};
    for (const auto& d : (k & 1) ? kOdd : kEven) {
      const int32_t rr = r + d[0], kk = k + d[1];
      if (rr >= 0 && kk >= 0 && rr < 36 && kk < 40 && owner(rr, kk) == kOwn) return true;
    }
    return false;
  };
  Publish(&fake_.map);
  const std::vector<uint32_t> with = Frame("gl3d_mapscene_barriers.png");
  // The nearest centre of a drawn cell to each pixel.
  const MapSceneState* m = MapScene();
  std::vector<Pixel> centres(1440);
  for (uint32_t i = 0; i < 1440; i++) centres[i] = OnScreen(m->centres[i]);
  auto nearest = [&](int32_t x, int32_t y) {
    uint32_t best = 0;
    double d = 1e30;
    for (uint32_t i = 0; i < 1440; i++) {
      if (m->cells[i].visibility == 0) continue;
      const double e = std::hypot(centres[i].x - x, centres[i].y - y);
      if (e < d) d = e, best = i;
    }
    return best;
  };
  auto yellow = [](uint32_t p) { return Channel(p, 16) > 130 && Channel(p, 8) > 90 && Channel(p, 8) < 180; };
  auto red = [](uint32_t p) { return Channel(p, 16) > 120 && Channel(p, 8) < 60; };
  Engine()->show_barriers = 0;
  const std::vector<uint32_t> without = Frame("gl3d_mapscene_barriers_off.png");
  size_t yellows = 0, stray = 0, far_reds = 0, left = 0;
  for (int32_t y = 0; y < 600; y++)
    for (int32_t x = 0; x < 800; x++) {
      const size_t i = size_t(y) * 800 + size_t(x);
      left += yellow(without[i]) || red(without[i]);
      if (with[i] == without[i]) continue;
      const uint32_t cell = nearest(x, y);
      const bool own_side = near_own(int32_t(cell / 40), int32_t(cell % 40));
      if (yellow(with[i])) {
        yellows++;
        stray += !own_side;
      } else if (red(with[i]) && !own_side) {
        far_reds++;
      }
    }
  EXPECT_GT(yellows, 200u);
  EXPECT_EQ(stray, 0u);
  EXPECT_GT(far_reds, 100u);
  EXPECT_EQ(left, 0u);
}

// In autumn (season 3) rain falls: thin streaks over the landscape that a
// frame without rain lacks.
TEST_F(MapSceneGL, RainFallsAsStreaksInSeasonThree) {
  Start("Map.ActualSeason 3\n");
  ASSERT_EQ(Engine()->rain_on, 1u);
  Publish(&fake_.map);
  MapScene()->overlay_on = 0;
  Engine()->wind_on = 0;
  // The drops start together and spread once they first reach the ground.
  for (int i = 0; i < 90; i++) ProcessMapScene();
  const std::vector<uint32_t> rain = Frame("gl3d_mapscene_rain.png");
  Engine()->rain_on = 0;
  const std::vector<uint32_t> dry = Frame("gl3d_mapscene_dry.png");
  size_t differs = 0, streaks = 0;
  std::vector<int> run(800, 0);
  for (int32_t y = 0; y < 600; y++)
    for (int32_t x = 0; x < 800; x++) {
      const size_t i = size_t(y) * 800 + size_t(x);
      const bool wet = Distance(rain[i], dry[i]) > 12;
      differs += wet;
      // A streak: a few wet pixels one above the other, or beside, in a
      // line down the picture.
      if (wet) {
        if (++run[size_t(x)] == 4) streaks++;
      } else {
        run[size_t(x)] = 0;
      }
    }
  EXPECT_GT(differs, 500u);
  EXPECT_GT(streaks, 30u);
}

// A LAZING figure is held at local time 1 except in one phase of five, the
// phase (T mod 2500) / 500 that equals its stagger (c + j + r + i) mod 5,
// counted over the visits; a figure in another state is never held. The
// animation shows one face at local time 1 and two from local time 2, so
// the faces drawn count the held figures.
TEST_F(MapSceneGL, LazingFiguresMoveOnlyInTheirPhaseOfFive) {
  WriteModel("qoe-anims/knight.qoe", Hex("knight", 250, 20, 20));
  Start("Map.ActualSeason SUMMER\n"
        "SetCharacter 900 FID_NOTHING NONE NONE NONE 0 0 0 1\n"
        "SetCharacter 1 FID_KNIGHT LAZING knight.qoe knight.qoe 0 0 0 1.0\n");
  ASSERT_EQ(E3D().character_count, 2u);
  CharacterEntry& knight = E3D().characters[1];
  ASSERT_NE(knight.low, nullptr);
  const uint32_t tex = FindThingByName(THING_TEXTURE3D, "knight");
  ASSERT_NE(tex, kThingNotFound);
  auto triangle_object = [tex](const char* name, int faces) {
    const int32_t o = NewObject(name, 0);
    for (int f = 0; f < faces; f++) {
      NewFace(uint16_t(tex));
      NewPoint(0, 0, 0, 0, 0, 0, 0, 0);
      NewPoint(4, 0, 0, 0, 0, 0, 0, 0);
      NewPoint(0, 4, 0, 0, 0, 0, 0, 0);
    }
    return uint32_t(o);
  };
  const uint32_t still = triangle_object("Still", 1), moving = triangle_object("Moving", 2);
  const int32_t animation = AddAnimation("Lazing");
  const int32_t numbers[3] = {1, 2, 100000};
  for (int k = 0; k < 3; k++) {
    const int32_t f = AddFrame(numbers[k]);
    SetFrameUsage(static_cast<FRAME3D*>(ThingAt(THING_FRAME3D, uint32_t(f))), k == 0 ? still : moving, THING_OBJECT3D,
                  1);
  }
  for (ELEMENT3D* e : {knight.low, knight.high}) {
    SetFrameUsage(&e->frame, uint32_t(animation), THING_ANIMATION3D, 1);
    e->frame.number = 0;
  }
  Publish(&fake_.map);
  MapScene()->overlay_on = 0;
  auto faces_at = [](uint64_t counter) {
    E3D().frame_counter = counter;
    ResetViewPasses();
    ProcessMapScene();
    // Drawn, or left out wholly beside the screen (all faces here are opaque).
    return ViewPasses().opaque_faces + ViewPasses().offscreen_faces;
  };
  const uint32_t bare = faces_at(100);
  // Lazy figures on most hexes of the middle.
  std::vector<uint8_t> list(2);
  for (uint32_t r = 4; r < 32; r++)
    for (uint32_t k = 4; k < 36; k++) {
      if ((r * 7 + k * 3) % 4 == 0) continue;
      list.resize(list.size() + kFigurSize);
      MapFigur* f = MapFigurAt(list.data(), uint32_t((list.size() - 2) / kFigurSize - 1));
      *f = MapFigur{};
      f->Typ = 1;
      f->X = 4000 + k;
      f->Y = 2000 + r;
      SetMapFigurCount(list.data(), uint16_t((list.size() - 2) / kFigurSize));
    }
  fake_.map.Figures = list.data();
  fake_.map.FigureBytes = uint32_t(list.size());
  // Counters giving T = 200, 800, 1400, 1600, 2400: phases 0 to 4.
  const uint64_t counters[5] = {100, 400, 700, 800, 1200};
  uint32_t moved_in_all = 0, drawn = 0;
  for (int phase = 0; phase < 5; phase++) {
    const uint32_t faces = faces_at(counters[phase]);
    ASSERT_EQ((E3D().frame_time % 2500) / 500, phase);
    // The visits, far to near, and the figures they draw.
    const MapSceneState* m = MapScene();
    std::vector<SORT3D> keys(1440), tmp(1440);
    for (uint32_t i = 0; i < 1440; i++) keys[i] = SORT3D{i, m->centres[i][2]};
    const SORT3D* sorted = MergeSortKeys(keys.data(), tmp.data(), 1440);
    uint32_t figures = 0, moving_here = 0;
    for (uint32_t v = 0; v < 1440; v++) {
      const MapCell3D& cell = m->cells[sorted[1439 - v].face];
      if (!cell.visibility || !cell.character || !cell.terrain || cell.selected) continue;
      figures++;
      moving_here += (80 + v % 40 + 40 + v / 40) % 5 == uint32_t(phase);
    }
    ASSERT_GT(figures, 100u);
    EXPECT_EQ(faces - bare, figures + moving_here) << "phase " << phase;
    EXPECT_GT(moving_here, 0u);
    EXPECT_LT(moving_here, figures);
    moved_in_all += moving_here;
    drawn = figures;
  }
  // The camera stands still: every figure moves in exactly one phase.
  EXPECT_EQ(moved_in_all, drawn);
  // Guarding, it is never held.
  knight.state = kCharacterGuarding;
  E3D().characters[1].state = kCharacterGuarding;
  for (int phase = 0; phase < 5; phase++) EXPECT_EQ(faces_at(counters[phase]) - bare, 2 * drawn) << phase;
}

// Over each town (terrain 4, 35 to 38) the fire stands at the cell's centre
// + (0, 10, 0) and the smoke three times, at (-10, -3, -6.5), (10, -1,
// -6.5) and (0, 0, 6.5); other terrain gets neither.
TEST_F(MapSceneGL, TownsGetTheirFireAndThreeSmokesAtTheirPlaces) {
  Start("Map.ActualSeason SUMMER\n");
  const int32_t towns[][3] = {{18, 16, 4}, {20, 17, 35}, {21, 18, 36}, {17, 20, 37}, {23, 15, 38},
                              {19, 19, 34}, {22, 20, 39}, {16, 17, 5}};
  for (const auto& t : towns) fake_.Cell(t[0], t[1]).Grafik = uint16_t(t[2]);
  // Fire and smoke replaced by one marked point each, so their copies can
  // be found among the VIEW's points.
  const uint8_t fire_mark[4] = {1, 2, 3, 4}, smoke_mark[4] = {5, 6, 7, 8};
  auto marked = [](const char* name, const uint8_t* mark) {
    const int32_t o = NewObject(name, 0);
    NewFace(0);
    for (int k = 0; k < 3; k++) NewPoint(0, 0, 0, 0, 0, 0, 0, 0);
    SetObjectRGBA(static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(o))), mark);
    return o;
  };
  SceneModels()->fire = marked("FireMark", fire_mark);
  SceneModels()->smoke = marked("SmokeMark", smoke_mark);
  MapScene()->overlay_on = 0;
  Publish(&fake_.map);
  const ThingSlot* store = FindThingSlot(THING_VPOINT3D);
  ASSERT_NE(store, nullptr);
  std::memset(store->data, 0, size_t(store->capacity) * store->element_size);
  Frame("gl3d_mapscene_towns.png");
  std::vector<std::array<float, 3>> fires, smokes;
  const auto* points = reinterpret_cast<const POINT3D*>(store->data);
  for (uint32_t i = 0; i < store->capacity; i++) {
    const POINT3D& p = points[i];
    if (std::memcmp(p.rgba, fire_mark, 4) == 0) fires.push_back({p.x, p.y, p.z});
    if (std::memcmp(p.rgba, smoke_mark, 4) == 0) smokes.push_back({p.x, p.y, p.z});
  }
  // Where they belong: each visible town's centre plus the offsets, seen
  // through the frame's camera.
  std::vector<std::array<float, 3>> want_fires, want_smokes;
  const float* g = E3D().grid_offset;
  const float smoke_at[3][3] = {{-10, -3, -6.5f}, {10, -1, -6.5f}, {0, 0, 6.5f}};
  uint32_t towns_seen = 0;
  auto seen = [](float x, float y, float z) {
    float v[3] = {x, y, z};
    TransformV(Camera()->matrix, v, 1, sizeof v);
    ProjectV(v, 1, sizeof v);
    return std::array<float, 3>{v[0], v[1], v[2]};
  };
  for (const auto& t : towns) {
    const MapCell3D& cell = At(uint32_t(t[1]), uint32_t(t[0]));
    ASSERT_NE(cell.visibility, 0) << t[0] << "," << t[1];
    const bool town = t[2] == 4 || (t[2] >= 35 && t[2] <= 38);
    if (!town) continue;
    towns_seen++;
    const float P[3] = {cell.x + g[0], cell.y + g[1], cell.z + g[2]};
    for (int k = 0; k < 3; k++) want_fires.push_back(seen(P[0], P[1] + 10.0f, P[2]));
    for (const auto& o : smoke_at)
      for (int k = 0; k < 3; k++) want_smokes.push_back(seen(P[0] + o[0], P[1] + o[1], P[2] + o[2]));
  }
  EXPECT_EQ(towns_seen, 5u);
  for (auto* v : {&fires, &smokes, &want_fires, &want_smokes}) std::sort(v->begin(), v->end());
  auto same = [](const std::vector<std::array<float, 3>>& a, const std::vector<std::array<float, 3>>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
      for (int k = 0; k < 3; k++)
        if (std::fabs(a[i][k] - b[i][k]) > 1e-4f) return false;
    return true;
  };
  EXPECT_EQ(fires.size(), 15u);
  EXPECT_TRUE(same(fires, want_fires));
  EXPECT_EQ(smokes.size(), 45u);
  EXPECT_TRUE(same(smokes, want_smokes));
}

// Three terrain types in a pattern, so that the texture changes at almost
// every cell along the VIEW: the opaque faces are still drawn with one
// call per texture, and the nearest face wins wherever two overlap.
TEST_F(MapSceneGL, OpaqueFacesAreDrawnWithOneCallPerTexture) {
  Start("Map.ActualSeason SUMMER\nEngine.FogMode 0\n");
  for (int32_t r = 0; r < 36; r++)
    for (int32_t c = 0; c < 40; c++) fake_.Cell(c, r).Grafik = uint16_t((const uint16_t[]){12, 23, 50}[(c + 2 * r) % 3]);
  Publish(&fake_.map);
  MapScene()->overlay_on = 0;
  Frame("gl3d_mapscene_pattern.png");
  const uint32_t before = FaceBatchInfo().flushes;
  ResetViewPasses();
  const std::vector<uint32_t> f = Frame("gl3d_mapscene_pattern.png");
  EXPECT_GT(ViewPasses().opaque_faces, 300u);
  EXPECT_LE(FaceBatchInfo().flushes - before, 3u);
  // Near the camera each cell shows its own type's colour in full.
  size_t grass = 0, water = 0, other = 0;
  for (uint32_t x = 0; x < 800; x++) {
    const uint32_t p = f[560 * 800 + x];
    grass += Near(p, 0x3CC83C);
    water += Near(p, 0x1F2E99);  // the water model times its type's colour
    other += Near(p, 0xC800C8);
  }
  EXPECT_GT(grass, 100u);
  EXPECT_GT(water, 100u);
  EXPECT_GT(other, 100u);
  EXPECT_GT(grass + water + other, 760u);
}

TEST_F(MapSceneGL, TheFrameCounterAdvancesPastTwoToTheTwentyFour) {
  Start("");
  Publish(&fake_.map);
  E3D().frame_counter = (uint64_t{1} << 24) - 1;
  ProcessMapScene();
  const int32_t t1 = E3D().frame_time;
  ProcessMapScene();
  EXPECT_EQ(E3D().frame_time, t1 + 2);
  EXPECT_EQ(E3D().frame_counter, (uint64_t{1} << 24) + 1);
}

}  // namespace

namespace {

struct GameRun {
  std::atomic<int> stop{0};
  std::atomic<uint32_t> steps{0};
};

// The game thread: scrolls the published map, replaces it with a new
// record, frees the old one and publishes none for a while, each under the
// map lock, as the map screen and the map engine do.
int MovesAndReplacesTheMap(void* p) {
  auto* run = static_cast<GameRun*>(p);
  uint32_t seed = 11;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  map_test::FakeMap* map = new map_test::FakeMap;
  map->map.PixelColumn = 80 * 48.0;
  map->map.PixelRow = 40 * 55.424;
  while (!run->stop.load()) {
    LockMapRecord();
    switch (next() % 4) {
      case 0: {  // a scroll step within the window
        const int32_t dx = int32_t(next() % 3) - 1, dy = int32_t(next() % 3) - 1;
        map->map.X += 2 * dx;
        map->map.Y += dy;
        map->map.ViewColumn = int16_t(80 + (map->map.ViewColumn - 80 + 2 * dx + 80) % 80);
        map->map.ViewRow = int16_t(40 + (map->map.ViewRow - 40 + dy + 40) % 40);
        map->map.PixelColumn = map->map.ViewColumn * 48.0;
        map->map.PixelRow = map->map.ViewRow * 55.424;
        KartenScreenData->map = &map->map;
        break;
      }
      case 1: {  // a new record; the old one freed at once
        auto* fresh = new map_test::FakeMap;
        fresh->AddFigure(7, int32_t(next() % 40), int32_t(next() % 36));
        fresh->map.PixelColumn = 80 * 48.0;
        fresh->map.PixelRow = 40 * 55.424;
        KartenScreenData->map = &fresh->map;
        delete map;
        map = fresh;
        break;
      }
      case 2:  // the map released
        KartenScreenData->map = nullptr;
        break;
      default:  // terrain changed in place
        map->Cell(int32_t(next() % 40), int32_t(next() % 36)).Grafik = uint16_t(next() % 60);
        KartenScreenData->map = &map->map;
        break;
    }
    UnlockMapRecord();
    run->steps++;
    SleepMs(1);
  }
  LockMapRecord();
  KartenScreenData->map = nullptr;
  UnlockMapRecord();
  delete map;
  return 0;
}

// While a target is picked the hexes within reach are drawn in their
// terrain's colours times the reach colour; every other hex is drawn as
// in the same frame without the pick, and so is every hex afterwards. The
// tint changes vertex colours only: no draw call more.
TEST_F(MapSceneGL, HexesWithinReachAreTintedWhileATargetIsPickedAndPlainAfter) {
  Start("Map.ActualSeason SUMMER\nEngine.FogMode 0\n");
  fake_.Cell(22, 10).Grafik = 23;  // water within reach keeps its alpha
  fake_.Cell(23, 10).Grafik = 23;
  Publish(&fake_.map);
  MapScene()->overlay_on = 0;
  Frame("gl3d_mapscene_reach_before.png");
  const MapSceneState* m = MapScene();
  ASSERT_NE(m->focus, nullptr);
  const uint32_t focus = uint32_t(m->focus - m->cells);
  // A patch round the middle of the view, every second hex of it, the
  // focus cell among them.
  const uint32_t parity = (focus % 40 + focus / 40) % 2;
  auto within_reach = [parity](uint32_t i) {
    const uint32_t k = i % 40, r = i / 40;
    return (k + r) % 2 == parity && k >= 8 && k < 32 && r >= 4 && r < 30;
  };
  std::vector<std::pair<int32_t, int32_t>> hexes;
  for (uint32_t i = 0; i < 1440; i++)
    if (within_reach(i)) hexes.push_back({80 + int32_t(i % 40), 40 + int32_t(i / 40)});
  std::vector<uint8_t> bits = ReachBits(hexes);
  fake_.map.ReachMap = bits.data();
  uint32_t flushes = FaceBatchInfo().flushes;
  const std::vector<uint32_t> before = Frame("gl3d_mapscene_reach_before.png");
  const uint32_t calls_before = FaceBatchInfo().flushes - flushes;
  LockMapRecord();
  fake_.map.Flags |= MAPF_RANGE;
  UnlockMapRecord();
  flushes = FaceBatchInfo().flushes;
  const std::vector<uint32_t> picking = Frame("gl3d_mapscene_reach.png");
  EXPECT_EQ(FaceBatchInfo().flushes - flushes, calls_before);
  ASSERT_EQ(m->focus - m->cells, focus);
  // The focus cell within reach: its highlight is half the reach colour.
  uint8_t lit[4];
  std::memcpy(lit, m->highlight, 4);
  MixRGBA(lit, m->reach);
  uint32_t tinted = 0, plain = 0;
  for (uint32_t i = 0; i < 1440; i++) {
    if (m->cells[i].visibility != 1) continue;
    const Pixel at = OnScreen(m->centres[i]);
    if (at.x < 0 || at.x >= 800 || at.y < 0 || at.y >= 600) continue;
    const size_t p = size_t(at.y) * 800 + size_t(at.x);
    const bool within = within_reach(i);
    EXPECT_EQ(m->cells[i].reach, within ? 1 : 0) << i;
    if (!within) {
      plain++;
      EXPECT_EQ(picking[p], before[p]) << "cell " << i;
      continue;
    }
    tinted++;
    // The terrain's colour times the reach colour (the focus cell: times
    // the mixed colour in place of the highlight).
    const uint32_t b = before[p];
    const bool is_focus = i == focus;
    uint32_t want = 0;
    for (int ch = 0; ch < 3; ch++) {
      const int now = is_focus ? lit[ch] : m->reach[ch], was = is_focus ? m->highlight[ch] : 255;
      want |= uint32_t(Channel(b, 16 - 8 * ch) * now / was) << (16 - 8 * ch);
    }
    EXPECT_NE(picking[p], b) << "cell " << i;
    EXPECT_TRUE(Near(picking[p], want, 4)) << "cell " << i << std::hex << " " << picking[p] << " " << want;
  }
  EXPECT_GT(tinted, 100u);
  EXPECT_GT(plain, 100u);
  // The focus cell within reach stays told apart from the other hexes
  // within reach and from itself without the pick.
  const Pixel fp = OnScreen(m->centres[focus]);
  const uint32_t focus_now = picking[size_t(fp.y) * 800 + size_t(fp.x)];
  EXPECT_FALSE(Near(focus_now, before[size_t(fp.y) * 800 + size_t(fp.x)], 8));
  const Pixel np = OnScreen(m->centres[focus + 2]);
  EXPECT_FALSE(Near(focus_now, picking[size_t(np.y) * 800 + size_t(np.x)], 8));
  // The pick ends: the frame is the one without it again.
  LockMapRecord();
  fake_.map.Flags &= uint16_t(~MAPF_RANGE);
  UnlockMapRecord();
  const std::vector<uint32_t> after = Frame("gl3d_mapscene_reach_after.png");
  size_t differ = 0;
  for (size_t p = 0; p < after.size(); p++) differ += after[p] != before[p];
  EXPECT_EQ(differ, 0u);
  fake_.map.ReachMap = nullptr;
}

// ---- Clicks on the landscape, pixel by pixel --------------------------------

// The cells a frame drew, each again as a flat white hex in a colour of its
// own through the engine's view (its camera, projection and passes), over
// black: the colour of a pixel names the hex drawn there. `colours` gets each
// cell's (map column, row) by its colour.
std::vector<uint32_t> IdFrame(uint8_t white_type, std::map<uint32_t, std::pair<int32_t, int32_t>>* colours) {
  const uint32_t w = DisplayWidth(), h = DisplayHeight();
  OBJECT3D* white = SceneModels()->hexagons[white_type].low;
  EXPECT_NE(white, nullptr);
  // Into the frame's own picture, which has a depth buffer.
  if (GL3D().picture_fbo) glBindFramebuffer(GL_FRAMEBUFFER, GL3D().picture_fbo);
  glViewport(0, 0, GLsizei(w), GLsizei(h));
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_FOG);
  glDepthMask(GL_TRUE);
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  CameraRecord& cam = *Camera();
  cam.transform = cam.project = 1;
  InitView();
  const MapSceneState* m = MapScene();
  const MapFrameCopy& c = E3D().map_copy;
  const float* g = E3D().grid_offset;
  for (uint32_t i = 0; i < 1440; i++) {
    const MapCell3D& cell = m->cells[i];
    if (!cell.visibility || !cell.model || !white) continue;
    const uint32_t id = i + 1;
    const uint8_t rgba[4] = {uint8_t(id & 0xFF), uint8_t(40 + (id >> 8) * 30), 200, 255};
    colours->emplace(uint32_t(rgba[0]) << 16 | uint32_t(rgba[1]) << 8 | rgba[2],
                     std::make_pair(c.view_column + int32_t(i % 40), c.view_row + int32_t(i / 40)));
    EXPECT_TRUE(AddObjectCopy(white, cell.x + g[0], cell.y + g[1], cell.z + g[2], 1.0f));
    SetObjectRGBA(LastViewObject(), rgba);
  }
  DrawView();
  cam.transform = cam.project = 0;
  glFinish();
  std::vector<uint32_t> ids = gltest::ReadFrame(w, h);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  return ids;
}

struct PickTally {
  uint32_t landscape = 0, same = 0, at_edge = 0, other_hex = 0, none = 0, background = 0, on_background = 0;
};

// Every pixel's pick against the hex the id frame shows there. A pick that
// differs only on the very edge (a pixel beside it shows what was picked:
// GL rounds the corners to its sub-pixel grid) is counted apart.
PickTally PickEveryPixel(const std::vector<uint32_t>& ids, const std::map<uint32_t, std::pair<int32_t, int32_t>>& colours) {
  const int32_t w = int32_t(DisplayWidth()), h = int32_t(DisplayHeight());
  std::map<std::pair<int32_t, int32_t>, uint32_t> colour_of;
  for (const auto& [colour, cell] : colours) colour_of[cell] = colour;
  PickTally t;
  for (int32_t y = 0; y < h; y++)
    for (int32_t x = 0; x < w; x++) {
      const uint32_t shown = ids[size_t(y) * size_t(w) + size_t(x)];
      const auto drawn = colours.find(shown);
      int32_t column = -1, row = -1;
      const bool hit = MapScenePick(x, y, &column, &row) == 1;
      if (drawn == colours.end()) {
        t.background++;
        if (!hit) continue;
      } else {
        t.landscape++;
        if (hit && drawn->second == std::make_pair(column, row)) {
          t.same++;
          continue;
        }
      }
      const auto picked = colour_of.find({column, row});
      const uint32_t want = hit && picked != colour_of.end() ? picked->second : 0;
      bool beside = false;
      for (int32_t dy = -1; dy <= 1; dy++)
        for (int32_t dx = -1; dx <= 1; dx++) {
          const int32_t nx = x + dx, ny = y + dy;
          if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          const uint32_t n = ids[size_t(ny) * size_t(w) + size_t(nx)];
          beside |= hit ? n == want : colours.find(n) == colours.end();
        }
      if (beside) t.at_edge++;
      else if (drawn == colours.end()) t.on_background++;
      else if (hit) t.other_hex++;
      else t.none++;
    }
  return t;
}

class MapScenePick1024 : public MapSceneGL {
 protected:
  uint32_t Mode() const override { return 10; }
};

void ClicksTakeTheHexDrawnUnderThem(MapSceneGL* test, map_test::FakeMap& fake, const char* png) {
  fake.map.OwnPlayer = kOwn;
  for (int32_t r = 0; r < 36; r++)
    for (int32_t c = 0; c < 40; c++) fake.Cell(c, r).Grafik = uint16_t((c * 7 + r * 3) % 5 == 0 ? 4 : 12);
  Publish(&fake.map);
  MapScene()->overlay_on = 0;
  struct CameraCase {
    float rotation, flip, scale;
  };
  // The kit's camera first, then others, one of them zoomed in past scale 3.
  const CameraCase cameras[] = {{38.0f, 30.0f, 0.3f}, {0.0f, 60.0f, 0.6f}, {120.0f, 45.0f, 1.2f},
                                {300.0f, 80.0f, 0.4f}, {200.0f, 90.0f, 3.5f}};
  for (const CameraCase& cam : cameras) {
    SetViewRotation(cam.rotation, 1);
    SetViewFlip(cam.flip, 1);
    SetViewScale(cam.scale, 1);
    GLProcessObjektList();
    glFinish();
    const uint32_t w = DisplayWidth(), h = DisplayHeight();
    if (cam.rotation == 38.0f) {
      const std::vector<uint32_t> f = gltest::ReadFrame(w, h);
      EXPECT_EQ(WritePngRGB(png, f.data(), w, h), 1);
      EXPECT_TRUE(qoe_test::KeepPng(png));
    }
    std::map<uint32_t, std::pair<int32_t, int32_t>> colours;
    const std::vector<uint32_t> ids = IdFrame(60, &colours);
    if (cam.rotation == 38.0f) {
      const std::string name = std::string("ids_") + png;
      EXPECT_EQ(WritePngRGB(name.c_str(), ids.data(), w, h), 1);
      EXPECT_TRUE(qoe_test::KeepPng(name));
    }
    const PickTally t = PickEveryPixel(ids, colours);
    SCOPED_TRACE(testing::Message() << "camera " << cam.rotation << "/" << cam.flip << "/" << cam.scale << ": "
                                    << t.landscape << " landscape pixels, " << t.same << " same, " << t.at_edge
                                    << " at an edge, " << t.other_hex << " another hex, " << t.none << " none, "
                                    << t.on_background << " picked beside the landscape");
    EXPECT_GT(t.landscape, w * h / 10);
    EXPECT_EQ(t.other_hex, 0u);
    EXPECT_EQ(t.none, 0u);
    EXPECT_EQ(t.on_background, 0u);
    EXPECT_LE(t.at_edge * 500, t.landscape);
  }
  (void)test;
}

TEST_F(MapSceneGL, EveryLandscapePixelPicksTheHexDrawnThereAt800x600) {
  // A flat white hex for the id frame (terrain type 60 is never on the map).
  WriteModel("white.qoe", Hex("white", 255, 255, 255));
  Start("SetHexagone 60 KID_WHITE white.qoe white.qoe 0 255 255 255 255\nMap.ActualSeason SUMMER\n"
        "Engine.FogMode 0\nEngine.CorrectRatio TRUE\nEngine.Perspective 0.36\n");
  ClicksTakeTheHexDrawnUnderThem(this, fake_, "gl3d_mapscene_picks_800x600.png");
}

TEST_F(MapScenePick1024, EveryLandscapePixelPicksTheHexDrawnThereAt1024x768) {
  // A flat white hex for the id frame (terrain type 60 is never on the map).
  WriteModel("white.qoe", Hex("white", 255, 255, 255));
  Start("SetHexagone 60 KID_WHITE white.qoe white.qoe 0 255 255 255 255\nMap.ActualSeason SUMMER\n"
        "Engine.FogMode 0\nEngine.CorrectRatio TRUE\nEngine.Perspective 0.36\n");
  ClicksTakeTheHexDrawnUnderThem(this, fake_, "gl3d_mapscene_picks_1024x768.png");
}

class MapSceneThread : public MapSceneGL {
 protected:
  // Starts the engine and the game thread, and waits for its first step.
  QoeThread* StartGame(int (*fn)(void*), GameRun* run) {
    Start("");
    QoeThread* game = StartThread("Game", fn, run);
    if (game) qoe_test::WaitUntil([&] { return run->steps.load() >= 1; });
    return game;
  }
};

TEST_F(MapSceneThread, FramesRenderWhileTheGameThreadMovesReplacesAndFreesTheMap) {
  GameRun run;
  QoeThread* game = StartGame(MovesAndReplacesTheMap, &run);
  ASSERT_NE(game, nullptr);
  // A thousand frames, and the game thread's steps all along them.
  uint32_t drawn = 0;
  for (int f = 0; f < 1000 || (run.steps.load() < 200 && f < 100000); f++) {
    GLProcessObjektList();
    drawn += MapSceneShowsLandscape();
  }
  run.stop = 1;
  EXPECT_EQ(JoinThread(game), 0);
  EXPECT_GT(run.steps.load(), 0u);
  EXPECT_GT(drawn, 0u);
}

// The game thread picking targets as the map screen does: the reach built,
// the range shown (under the map lock), the reach map moved with the
// window as a scroll across a part does (under the lock), the range ended
// and the reach freed.
int PicksTargets(void* p) {
  auto* run = static_cast<GameRun*>(p);
  map_test::FakeMap fake;
  fake.map.PixelColumn = 80 * 48.0;
  fake.map.PixelRow = 40 * 55.424;
  LockMapRecord();
  KartenScreenData->map = &fake.map;
  UnlockMapRecord();
  uint32_t seed = 5;
  while (!run->stop.load()) {
    seed = seed * 1103515245u + 12345u;
    const uint16_t column = uint16_t(90 + (seed >> 16) % 20), row = uint16_t(50 + (seed >> 20) % 16);
    if (GetMoveHex(&fake.map, column, row, 1, 8) && GetMoveHexBits(&fake.map, column - 14, row - 14, 0)) {
      LockMapRecord();
      fake.map.Flags |= MAPF_RANGE;
      UnlockMapRecord();
      for (uint16_t d = 1; d <= 4; d++) {
        LockMapRecord();
        ReArangeCMap(&fake.map, d);
        UnlockMapRecord();
        SleepMs(1);
      }
      LockMapRecord();
      fake.map.Flags &= uint16_t(~MAPF_RANGE);
      UnlockMapRecord();
    }
    FreeMoveHex(&fake.map);
    run->steps++;
  }
  LockMapRecord();
  KartenScreenData->map = nullptr;
  UnlockMapRecord();
  return 0;
}

TEST_F(MapSceneThread, FramesRenderWhileTheGameThreadPicksTargetsAndScrolls) {
  GameRun run;
  QoeThread* game = StartGame(PicksTargets, &run);
  ASSERT_NE(game, nullptr);
  uint32_t drawn = 0, marked = 0;
  for (int f = 0; f < 500 || (run.steps.load() < 50 && f < 100000); f++) {
    GLProcessObjektList();
    drawn += MapSceneShowsLandscape();
    for (uint32_t i = 0; i < 1440; i++)
      if (MapScene()->cells[i].reach) {
        marked++;
        break;
      }
  }
  run.stop = 1;
  EXPECT_EQ(JoinThread(game), 0);
  EXPECT_GT(run.steps.load(), 0u);
  EXPECT_GT(drawn, 0u);
  EXPECT_GT(marked, 0u);
}

// The map screen's clicks on a thread of their own: landscape pixels, each
// with the hex it shows, picked again and again while the window thread
// draws frame after frame (10,000 picks at least, over 20 frames at least).
struct PickRun {
  std::vector<std::array<int32_t, 4>> pixels;  // x, y, column, row
  std::atomic<int> done{0};
  std::atomic<uint32_t> picks{0}, missed{0}, wrong{0};
};

int PicksWhileFramesAreDrawn(void* p) {
  auto* run = static_cast<PickRun*>(p);
  const uint64_t first = GLFrameCount();
  uint32_t n = 0, missed = 0, wrong = 0;
  for (; n < 10000 || GLFrameCount() < first + 20; n++) {
    const std::array<int32_t, 4>& px = run->pixels[n % run->pixels.size()];
    int32_t column = -1, row = -1;
    if (!MapScenePick(px[0], px[1], &column, &row)) missed++;
    else if (column != px[2] || row != px[3]) wrong++;
  }
  run->picks = n;
  run->missed = missed;
  run->wrong = wrong;
  run->done = 1;
  return 0;
}

TEST_F(MapSceneThread, AClickWhileAFrameIsDrawnFindsTheHexOfTheFrameBefore) {
  Start("");
  Publish(&fake_.map);
  GLProcessObjektList();
  ASSERT_EQ(MapSceneShowsLandscape(), 1u);
  // Every fourth pixel of every fourth row that shows a hex.
  PickRun run;
  for (int32_t y = 0; y < 600; y += 4)
    for (int32_t x = 0; x < 800; x += 4) {
      int32_t column = -1, row = -1;
      if (MapScenePick(x, y, &column, &row)) run.pixels.push_back({x, y, column, row});
    }
  ASSERT_GT(run.pixels.size(), 5000u);
  QoeThread* clicks = StartThread("Clicks", PicksWhileFramesAreDrawn, &run);
  ASSERT_NE(clicks, nullptr);
  uint32_t frames = 0;
  while (!run.done.load()) {
    GLProcessObjektList();
    frames += MapSceneShowsLandscape();
  }
  EXPECT_EQ(JoinThread(clicks), 0);
  EXPECT_GE(frames, 20u);
  EXPECT_GE(run.picks.load(), 10000u);
  EXPECT_EQ(run.missed.load(), 0u) << "of " << run.picks.load() << " picks over " << frames << " frames";
  EXPECT_EQ(run.wrong.load(), 0u);
}

}  // namespace

// A screen over the whole display in pens or 0x00RRGGBB pixels (the map
// screen of 640 x 480 x 8) hides the landscape: it is not drawn at all, and
// its clock stands still; hidden again, it is drawn.
TEST_F(MapSceneGL, UnderAnOpaqueScreenOverTheWholeDisplayTheLandscapeIsNotDrawn) {
  Start("");
  Publish(&fake_.map);
  BitMap* cover = AllocBitMap(800, 600, 32, 0, nullptr);
  ASSERT_NE(cover, nullptr);
  ObjektListEntry* e = AddObjektListEntry(cover, nullptr, "MapSceneCover");
  ASSERT_NE(e, nullptr);
  SetObjektVisible3D(e, 1);
  const uint64_t counter = E3D().frame_counter;
  for (int i = 0; i < 5; i++) {
    GLProcessObjektList();
    EXPECT_EQ(MapSceneShowsLandscape(), 0u) << i;
  }
  EXPECT_EQ(E3D().frame_counter, counter);
  SetObjektVisible3D(e, 0);
  GLProcessObjektList();
  EXPECT_EQ(MapSceneShowsLandscape(), 1u);
  RemoveObjektListEntry(e);
  GLProcessObjektList();
  FreeBitMap(cover);
}

// Behind another screen (the map built in advance as the backdrop round its
// 640 x 480 area) the landscape is drawn once and then rests: idle frames
// draw nothing, its weather and smoke stand still, a change of the screen
// is drawn over the kept landscape, and a change of the map draws it anew.
TEST_F(MapSceneGL, BehindAnotherScreenTheLandscapeRestsUntilTheMapChanges) {
  Start("");
  Publish(&fake_.map);
  BitMap* screen = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
  ASSERT_NE(screen, nullptr);
  for (uint32_t y = 0; y < 480; y++)
    for (uint32_t x = 0; x < 640; x++) {
      // A hole (alpha 0) where the landscape shows through the screen.
      const bool hole = x >= 300 && x < 340 && y >= 440;
      const uint8_t px[4] = {90, 40, 20, uint8_t(hole ? 0 : 255)};
      std::memcpy(screen->Pixels + y * screen->BytesPerRow + x * 4, px, 4);
    }
  ASSERT_EQ(OpenGLScreenObjekt(screen, nullptr), 1);
  ObjektListEntry* e = GLScreenObjekt();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  ASSERT_EQ(MapSceneShowsLandscape(), 1u);
  glFinish();
  const std::vector<uint32_t> first = gltest::ReadFrame(800, 600);
  const uint64_t counter = E3D().frame_counter;
  uint32_t drawn = 0;
  for (int i = 0; i < 10; i++) drawn += GLProcessObjektList();
  EXPECT_EQ(drawn, 0u);
  // A changed rectangle of the screen over its hole: drawn over the kept
  // landscape, which shows through the hole as before.
  AddObjektDirtyRect(e, 290, 430, 60, 50);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  EXPECT_EQ(E3D().frame_counter, counter);
  glFinish();
  const std::vector<uint32_t> after = gltest::ReadFrame(800, 600);
  EXPECT_EQ(after, first);
  // The map moves: the landscape is drawn anew (still at rest).
  fake_.map.PixelColumn += 96.0;
  EXPECT_EQ(GLProcessObjektList(), 1u);
  EXPECT_EQ(MapSceneShowsLandscape(), 1u);
  EXPECT_EQ(E3D().frame_counter, counter);
  CloseGLScreenObjekt();
  GLProcessObjektList();
  FreeBitMap(screen);
}

// A landscape first drawn at rest (the map built behind the first screens,
// never shown yet) shows its fire and smoke under way: the fire's texture
// no longer the raw picture it was loaded from (the fire palette keeps
// that), the smoke's particles spread in height with some faded; the clock
// still stands.
TEST_F(MapSceneGL, ALandscapeFirstDrawnAtRestShowsItsFireAndSmokeUnderWay) {
  Start("");
  const MapSceneState* m = MapScene();
  auto texture = [](uint16_t i) { return static_cast<const TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i)); };
  const TEXTURE3D* fire = texture(m->fire_texture);
  const TEXTURE3D* palette = texture(m->fire_palette);
  ASSERT_TRUE(fire && palette && fire->pixels && palette->pixels);
  const size_t bytes = size_t(kFireSide) * kFireSide * 4;
  ASSERT_EQ(std::memcmp(fire->pixels, palette->pixels, bytes), 0);
  const OBJECT3D* smoke = static_cast<const OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(SceneModels()->smoke)));
  ASSERT_TRUE(smoke && smoke->points && smoke->point_count > 0);
  BitMap* screen = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
  ASSERT_NE(screen, nullptr);
  for (uint32_t y = 0; y < 480; y++)
    for (uint32_t x = 0; x < 640; x++) gltest::PutRGBA(screen, x, y, 0x5A2814);
  ASSERT_EQ(OpenGLScreenObjekt(screen, nullptr), 1);
  fake_.Cell(12, 10).Grafik = 4;  // a town: its fire and smoke
  Publish(&fake_.map);
  const uint64_t counter = E3D().frame_counter;
  qoe_test::LogLines log;
  EXPECT_EQ(GLProcessObjektList(), 1u);
  ASSERT_EQ(MapSceneShowsLandscape(), 1u);
  EXPECT_EQ(E3D().frame_counter, counter);
  EXPECT_NE(std::memcmp(fire->pixels, palette->pixels, bytes), 0);
  float low = 1e9f, high = -1e9f;
  uint32_t faded = 0;
  for (int32_t i = 0; i < smoke->point_count; i++) {
    low = std::min(low, smoke->points[i].y);
    high = std::max(high, smoke->points[i].y);
    faded += smoke->points[i].rgba[3] == 0;
  }
  EXPECT_GT(high - low, 30.0f);
  EXPECT_GT(faded, 0u);
  // Frames at the clock's start (at rest, then the map's own first ones)
  // leave the smoke unturned without a line each.
  for (int i = 0; i < 3; i++) {
    fake_.map.PixelColumn += 96.0;
    EXPECT_EQ(GLProcessObjektList(), 1u);
  }
  CloseGLScreenObjekt();
  for (int i = 0; i < 6; i++) GLProcessObjektList();
  EXPECT_EQ(log.Count("YRotateObject"), 0);
  FreeBitMap(screen);
}

// The map screen's own landscape moves. While its camera rests (nothing it
// shows changes) it is drawn on every third frame after half a second of
// frames, its clock moved by the frames between, so figures and weather
// keep their pace; a scroll step, a figure's move or a marked hex are drawn
// in the frame that sees them, and a scroll is drawn on every frame.
TEST_F(MapSceneGL, AtRestTheLandscapeIsDrawnOnEveryThirdFrameAndKeepsItsPace) {
  Start("");
  fake_.AddFigure(kOwn, 12, 10);
  Publish(&fake_.map);
  const uint64_t scenes = GL3D().scenes_drawn.load(), counter = E3D().frame_counter;
  auto landscapes = [&] { return uint32_t(GL3D().scenes_drawn.load() - scenes); };
  // Nothing changes for 75 frames: 15 and then every third of 60.
  uint32_t swaps = 0;
  for (int i = 0; i < 75; i++) swaps += GLProcessObjektList();
  EXPECT_EQ(landscapes(), 15u + 20u);
  EXPECT_EQ(swaps, landscapes());
  // The clock stands at the last drawn frame's place: one step a frame.
  EXPECT_EQ(E3D().frame_counter - counter + GL3D().frames_since_landscape, 75u);
  EXPECT_EQ(GL3D().frames_since_landscape, 0u);
  // A scroll is drawn on every frame, and so is the half second after it.
  uint32_t before = landscapes();
  for (int i = 0; i < 20; i++) {
    LockMapRecord();
    fake_.map.PixelColumn += 4.0;
    UnlockMapRecord();
    GLProcessObjektList();
  }
  EXPECT_EQ(landscapes() - before, 20u);
  before = landscapes();
  for (int i = 0; i < 15; i++) GLProcessObjektList();
  EXPECT_EQ(landscapes() - before, 14u);
  ASSERT_EQ(GL3D().frames_since_landscape, 1u);
  // At rest again: a figure's move and a marked hex are drawn at once.
  before = landscapes();
  LockMapRecord();
  MapFigurAt(fake_.figures.data(), 0)->X += 1;
  UnlockMapRecord();
  GLProcessObjektList();
  EXPECT_EQ(landscapes() - before, 1u);
  for (int i = 0; i < 15; i++) GLProcessObjektList();
  ASSERT_EQ(GL3D().frames_since_landscape, 1u);
  before = landscapes();
  MarkMapSceneCell(90, 45);
  GLProcessObjektList();
  EXPECT_EQ(landscapes() - before, 1u);
  EXPECT_EQ(E3D().frame_counter - counter + GL3D().frames_since_landscape, 75u + 20u + 15u + 1u + 15u + 1u);
}

// After the window showed a part of its back buffer (GLX copies parts), the
// back buffer keeps the picture: a changed rectangle of the screen over the
// resting landscape is drawn straight into it, without a copy of the kept
// picture. The kept picture takes those rectangles with the first frame
// that needs it (after a swap), all of them when there were too many: that
// frame and the next whole one show the same.
TEST_F(MapSceneGL, WhileTheWindowKeepsItsPictureChangedRectanglesAreDrawnIntoItAlone) {
  Start("");
  Publish(&fake_.map);
  BitMap* screen = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
  ASSERT_NE(screen, nullptr);
  auto paint = [screen](uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, uint8_t r, uint8_t g) {
    for (uint32_t y = y0; y < y0 + h; y++)
      for (uint32_t x = x0; x < x0 + w; x++) {
        // A hole (alpha 0) at the bottom, where the landscape shows through.
        const bool hole = x >= 300 && x < 340 && y >= 440;
        const uint8_t px[4] = {r, g, 20, uint8_t(hole ? 0 : 255)};
        std::memcpy(screen->Pixels + y * screen->BytesPerRow + x * 4, px, 4);
      }
  };
  paint(0, 0, 640, 480, 90, 40);
  ASSERT_EQ(OpenGLScreenObjekt(screen, nullptr), 1);
  ObjektListEntry* e = GLScreenObjekt();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  glFinish();
  const std::vector<uint32_t> first = gltest::ReadFrame(800, 600);
  // The window showed a part: two rectangles, one over the hole, drawn
  // into the back buffer alone.
  SetGLBackBufferIntact(1);
  g_blits = 0;
  paint(100, 100, 50, 40, 200, 200);
  AddObjektDirtyRect(e, 100, 100, 50, 40);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  paint(290, 430, 60, 50, 30, 220);
  AddObjektDirtyRect(e, 290, 430, 60, 50);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  EXPECT_EQ(g_blits.load(), 0u);
  glFinish();
  const std::vector<uint32_t> direct = gltest::ReadFrame(800, 600);
  EXPECT_NE(direct, first);
  EXPECT_EQ(direct[size_t(30 + 120) * 800 + 80 + 120], 0xC8C814u);
  // A swap: the kept picture goes whole to the window with the next change.
  SetGLBackBufferIntact(0);
  paint(500, 20, 30, 30, 10, 10);
  AddObjektDirtyRect(e, 500, 20, 30, 30);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  EXPECT_EQ(g_blits.load(), 1u);
  glFinish();
  const std::vector<uint32_t> after_swap = gltest::ReadFrame(800, 600);
  NoteWindowExposed();
  EXPECT_EQ(GLProcessObjektList(), 1u);
  glFinish();
  EXPECT_EQ(after_swap, gltest::ReadFrame(800, 600));
  // More rectangles than the kept picture can wait for: it is drawn whole.
  SetGLBackBufferIntact(1);
  for (uint32_t i = 0; i < 70; i++) {
    paint(8 * i, 300, 8, 8, uint8_t(3 * i), 100);
    AddObjektDirtyRect(e, 8 * i, 300, 8, 8);
    EXPECT_EQ(GLProcessObjektList(), 1u);
  }
  SetGLBackBufferIntact(0);
  paint(600, 400, 10, 10, 250, 0);
  AddObjektDirtyRect(e, 600, 400, 10, 10);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  glFinish();
  const std::vector<uint32_t> many = gltest::ReadFrame(800, 600);
  NoteWindowExposed();
  EXPECT_EQ(GLProcessObjektList(), 1u);
  glFinish();
  EXPECT_EQ(many, gltest::ReadFrame(800, 600));
  CloseGLScreenObjekt();
  GLProcessObjektList();
  FreeBitMap(screen);
}

// The first landscape after frames without one (the map built behind the
// first screen is published after the frames began) is cleared in the fog's
// colour as every later one, not black: where no cell lies, the fog shows,
// also in the landscape kept while it rests behind the screen.
TEST_F(MapSceneGL, TheFirstLandscapeAfterFramesWithoutOneIsClearedInTheFogsColour) {
  Start("");
  for (int i = 0; i < 3; i++) GLProcessObjektList();
  ASSERT_EQ(MapSceneShowsLandscape(), 0u);
  BitMap* screen = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
  ASSERT_NE(screen, nullptr);
  for (uint32_t y = 0; y < 480; y++)
    for (uint32_t x = 0; x < 640; x++) gltest::PutRGBA(screen, x, y, 0x5A2814);
  ASSERT_EQ(OpenGLScreenObjekt(screen, nullptr), 1);
  Publish(&fake_.map);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  ASSERT_EQ(MapSceneShowsLandscape(), 1u);
  glFinish();
  const std::vector<uint32_t> f = gltest::ReadFrame(800, 600);
  const uint8_t* fog = E3D().engine.fog_rgba;
  const uint32_t fog_rgb = uint32_t(fog[0]) << 16 | uint32_t(fog[1]) << 8 | fog[2];
  uint32_t fogged = 0, black = 0;
  for (uint32_t y = 0; y < 600; y++)
    for (uint32_t x = 0; x < 800; x++) {
      if (x >= 80 && x < 720 && y >= 30 && y < 510) continue;  // the screen
      fogged += f[y * 800 + x] == fog_rgb;
      black += f[y * 800 + x] == 0;
    }
  EXPECT_GT(fogged, 0u);
  EXPECT_EQ(black, 0u);
  CloseGLScreenObjekt();
  GLProcessObjektList();
  FreeBitMap(screen);
}

TEST(GLFrameCap, ThirtyFramesASecondOnARendererThatDrawsOnTheProcessor) {
  EXPECT_EQ(GLFrameCapFor("llvmpipe (LLVM 15.0.6, 256 bits)"), 30u);
  EXPECT_EQ(GLFrameCapFor("softpipe"), 30u);
  EXPECT_EQ(GLFrameCapFor("Mesa DRI Intel(R) UHD Graphics 620 (KBL GT2)"), 0u);
  EXPECT_EQ(GLFrameCapFor(nullptr), 0u);
  EXPECT_EQ(GLFramesPerSecond(0, 30), 30u);
  EXPECT_EQ(GLFramesPerSecond(0, 0), 60u);
  EXPECT_EQ(GLFramesPerSecond(144, 0), 144u);
  EXPECT_EQ(GLFramesPerSecond(24, 30), 24u);
}
