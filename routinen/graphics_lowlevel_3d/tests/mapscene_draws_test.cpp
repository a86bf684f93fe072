// The map scene's draw calls on the data kit's terrain, towns, figures,
// realm borders and rain, seen through the kit's camera and at the kit's
// high models: the frame's glDrawElements calls (counted through a
// link-time wrapper) are at most twice its floor, one call per texture and
// pass of its own arrays.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/terrain_fixture.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/fake_map.h"
#include "tests/support/test_support.h"

extern "C" void __real_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices);

namespace {

// While counting: the calls, and per call its DrawView, pass, bound
// texture, primitive and point size (the floor draws each such group once).
struct DrawCount {
  bool on = false;
  uint32_t calls = 0;
  std::set<std::tuple<uint32_t, uint32_t, int32_t, uint32_t, float>> groups;
};
DrawCount g_count;

}  // namespace

extern "C" void __wrap_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
  if (g_count.on) {
    const Engine3DState& s = E3D();
    GLint texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    g_count.calls++;
    g_count.groups.emplace(s.passes.draws, s.passes.pass_count, texture, mode,
                           mode == GL_TRIANGLES ? 0.0f : s.point_size);
  }
  __real_glDrawElements(mode, count, type, indices);
}

namespace {

namespace fs = std::filesystem;
using namespace terraintest;

// The terrain graphics the kit's configuration names, and the water.
std::vector<uint16_t> KitTerrain() {
  std::vector<uint16_t> types;
  std::ifstream in("qoe3d.cfg");
  std::string word;
  while (in >> word)
    if (word == "SetHexagone" && in >> word) types.push_back(uint16_t(std::atoi(word.c_str())));
  for (uint16_t water : {23, 28, 29}) types.push_back(water);
  return types;
}

class MapSceneDraws : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(KitDir() + "/qoe/Water_low.qoe");
    ASSERT_TRUE(LinkKitFolders());
    std::error_code ec;
    fs::create_directory_symlink(KitDir() + "/bmp", "bmp", ec);
    ASSERT_FALSE(ec);
    ASSERT_TRUE(gltest::OpenGLWindow(GetParam()));
  }
  void TearDown() override {
    LockMapRecord();
    KartenScreenData->map = nullptr;
    UnlockMapRecord();
    StopEngine();
    gltest::CloseGLWindow();
  }
  // The kit's configuration with `extra` after it; rain in season 3.
  void Start(const std::string& extra) {
    std::stringstream cfg;
    cfg << std::ifstream(KitDir() + "/qoe3d.cfg").rdbuf();
    std::ofstream("qoe3d.cfg") << cfg.str() << "\nMap.ActualSeason AUTUMN\n" << extra;
    StartEngine();
    ASSERT_EQ(Engine()->started, 1u);
    SeedSceneRandom(1);
  }
  // Patches of the kit's terrain, three realms with their borders, towns
  // and figures round the middle of the view.
  void FillMap() {
    const std::vector<uint16_t> types = KitTerrain();
    ASSERT_GT(types.size(), 20u);
    uint32_t seed = 17;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int32_t r = -40; r < 80; r++)
      for (int32_t c = -80; c < 160; c++) {
        MapTile& t = fake_.Cell(c, r);
        const uint32_t patch = uint32_t((c + 80) / 4 * 31 + (r + 40) / 3 * 17);
        t.Grafik = types[(patch * 2654435761u >> 7) % types.size()];
        if (next() % 9 == 0) t.Grafik = types[next() % types.size()];
        t.Besitzer = c < 12 ? 7u : (c < 26 ? 9u : (r < 18 ? 11u : kNobody));
      }
    fake_.map.OwnPlayer = 7;
    const int32_t towns[10][2] = {{14, 14}, {17, 15}, {22, 16}, {25, 19}, {15, 21},
                                  {19, 22}, {23, 13}, {12, 18}, {27, 15}, {21, 20}};
    const uint16_t town_types[5] = {4, 35, 36, 37, 38};
    for (int i = 0; i < 10; i++) fake_.Cell(towns[i][0], towns[i][1]).Grafik = town_types[i % 5];
    fake_.figures.assign(2 + 18 * 10, 0);
    for (int i = 0; i < 10; i++) fake_.AddFigure(uint32_t(7 + 2 * (i % 3)), 14 + i, 15 + i % 6);
    fake_.map.Figures = fake_.figures.data();
    fake_.map.FigureBytes = uint32_t(fake_.figures.size());
    fake_.map.PixelColumn = 80 * 48.0;
    fake_.map.PixelRow = 40 * 55.424;
    LockMapRecord();
    KartenScreenData->map = &fake_.map;
    UnlockMapRecord();
  }
  // A frame as the game draws it, counted.
  void CountedFrame(const std::string& png) {
    for (int i = 0; i < 3; i++) GLProcessObjektList();
    ResetViewPasses();
    g_count = DrawCount{};
    g_count.on = true;
    GLProcessObjektList();
    g_count.on = false;
    glFinish();
    const uint32_t w = DisplayWidth(), h = DisplayHeight();
    const std::vector<uint32_t> f = gltest::ReadFrame(w, h);
    EXPECT_EQ(WritePngRGB(png.c_str(), f.data(), w, h), 1);
    EXPECT_TRUE(qoe_test::KeepPng(png));
  }
  map_test::FakeMap fake_;
};

TEST_P(MapSceneDraws, AFrameMakesAtMostTwiceTheDrawCallsOfItsFloor) {
  const std::string size = GetParam() == 6 ? "800x600" : "1024x768";
  struct View {
    const char* name;
    const char* settings;
  };
  // The kit's camera as it comes, and closer with the high models.
  for (const View& view : {View{"kit", ""}, View{"high", "Engine.Scale 1.0\nMap.HighPolyScale 1.0\n"}}) {
    SCOPED_TRACE(view.name);
    Start(view.settings);
    ASSERT_EQ(Engine()->rain_on, 1u);
    FillMap();
    CountedFrame(std::string("gl3d_mapscene_draws_") + view.name + "_" + size + ".png");
    const ViewPassInfo p = ViewPasses();
    EXPECT_GT(p.opaque_faces, 1000u);
    EXPECT_GT(p.blended_faces, 300u);
    EXPECT_GT(p.particle_ranges, 10u);
    const uint32_t floor = uint32_t(g_count.groups.size());
    RecordProperty(std::string("draws_") + view.name, int(g_count.calls));
    RecordProperty(std::string("floor_") + view.name, int(floor));
    EXPECT_GT(floor, 20u);
    EXPECT_LE(g_count.calls, 2 * floor) << g_count.calls << " calls, floor " << floor;
    StopEngine();
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, MapSceneDraws, testing::Values(6u, 10u),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                           return i.param == 6 ? std::string("800x600") : std::string("1024x768");
                         });

}  // namespace
