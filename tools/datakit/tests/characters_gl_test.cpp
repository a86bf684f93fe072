// The kit's characters drawn by the engine itself on a real context (Mesa's
// software renderer): every figure type on a field through the map's camera
// at scale 1.0, turned through eight angles, and in motion over 60 frames.
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/terrain_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/view_fixture.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace {

constexpr uint32_t kW = 800, kH = 600;

class CharactersOnMesa : public testing::Test {
 protected:
  void SetUp() override {
    cfg_ = qoe_test::BinaryDir() + "/datakit/qoe3d.cfg";
    QOE_REQUIRE_BUILT(cfg_);
    ASSERT_TRUE(gltest::OpenGLWindow(6)) << "no GL context on the offscreen driver";
    opened_ = true;
    FreeAllThings();
    InitEngineDefaults();
    // The kit's settings as the game reads them (textures halved, fog).
    const std::vector<uint8_t> text = qoe_test::ReadFileBytes(cfg_);
    ParseEngineConfig(reinterpret_cast<const char*>(text.data()), uint32_t(text.size()));
    EngineRecord* e = Engine();
    e->antialias = 0;
    e->cap_view_points = e->cap_view_point_indices = e->cap_triangle_indices = 400000;
    e->cap_view_faces = e->cap_view_centres = 100000;
    ASSERT_EQ(RegisterEngineThings(), 1u);
    InitView();
    DebugLogSetHook([](const char* line, void* user) { static_cast<CharactersOnMesa*>(user)->log_.push_back(line); },
                    this);
    glViewport(0, 0, kW, kH);  // a fresh context: identity matrices
    glDisable(GL_CULL_FACE);
    E3D().characters =
        static_cast<CharacterEntry*>(AllocVec(kCharacterEntries * sizeof(CharacterEntry), MEMF_PUBLIC | MEMF_CLEAR));
    ASSERT_NE(nullptr, E3D().characters);
    E3D().character_count = 0;
    std::filesystem::copy(qoe_test::BinaryDir() + "/datakit/qoe-anims", "qoe-anims");
    for (uint32_t i = 0; i < e->command_count; i++) {
      const SceneCommand& c = e->commands[i];
      if (c.kind == kSetCharacter) SetCharacter(c.id, c.text[0], c.text[1], c.text[2], c.text[3], c.number[0],
                                                c.number[1], c.number[2], c.number[3]);
      if (c.kind == kXSetCharacter) XSetCharacter(c.id, c.text[0], c.text[1], c.text[2], c.text[3], c.number[0],
                                                  c.number[1], c.number[2], c.number[3]);
    }
    ASSERT_GT(E3D().character_count, 30);
    E3D().scene_built = 1;
    SetViewAspect(float(kW) / kH);
    grass_ = Solid(0x4E8A3A);
    water_ = Solid(0x2E5E9A);
  }
  void TearDown() override {
    if (!opened_) return;
    DebugLogSetHook(nullptr, nullptr);
    ResetSceneModels();
    FreeVec(E3D().characters);
    E3D().characters = nullptr;
    E3D().character_count = 0;
    E3D().scene_built = 0;
    FreeSceneCommands();
    FreeAllThings();
    gltest::CloseGLWindow();
  }
  uint32_t Solid(uint32_t rgb) {
    const int32_t i = CreateTexture("", "", 4, 4, 24, "solid", nullptr);
    auto* t = Tex(uint32_t(i));
    for (uint32_t p = 0; p < 16; p++) {
      t->pixels[p * 3] = uint8_t((rgb >> 16) + (p % 3) * 6);
      t->pixels[p * 3 + 1] = uint8_t((rgb >> 8) + (p % 2) * 8);
      t->pixels[p * 3 + 2] = uint8_t(rgb);
    }
    UploadTexture(t);
    return uint32_t(i);
  }
  static TEXTURE3D* Tex(uint32_t i) { return static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i)); }

  static bool Wet(const CharacterEntry& c) {
    return (c.figure_type >= 14 && c.figure_type <= 19) || c.figure_type == 1007 || c.figure_type == 1008;
  }
  // One frame of the characters of a batch (entries from `first`, twelve at
  // most) on a 4 x 3 grid of hex-sized cells, grass or water by figure.
  std::vector<uint32_t> Frame(uint32_t first, float rotation, int32_t time) {
    SetViewRotation(rotation, 1);
    SetViewFlip(30, 1);
    SetViewScale(1.0f, 1);
    BuildCameraMatrix();
    InitView();
    E3D().frame_time = time;
    ground_ = enginetest::TestObject{};
    std::vector<std::pair<ELEMENT3D*, std::array<float, 2>>> shown;
    for (uint32_t i = first; i < first + 12 && i < E3D().character_count; i++) {
      const CharacterEntry& c = E3D().characters[i];
      const uint32_t k = i - first;
      const float x = -78.0f + 52.0f * float(k % 4), z = -56.0f + 56.0f * float(k / 4);
      const uint32_t a = ground_.Point(x - 26, -0.05f, z - 28), b = ground_.Point(x + 26, -0.05f, z - 28),
                     cc = ground_.Point(x + 26, -0.05f, z + 28), d = ground_.Point(x - 26, -0.05f, z + 28);
      ground_.Face({a, b, cc, d}, Tex(Wet(c) ? water_ : grass_));
      shown.push_back({c.high, {x, z}});
    }
    AddObjectToView(ground_.Record(), 0, 0, 0, 1);
    for (auto& [e, at] : shown) AddElementToView(e, at[0], 0, at[1]);
    UpdateFog();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawView();
    return gltest::ReadFrame(kW, kH);
  }
  // Writes frames side by side at half size, `columns` to a row.
  static void Sheet(const std::string& name, const std::vector<std::vector<uint32_t>>& frames, uint32_t columns) {
    const uint32_t w = kW / 2, h = kH / 2, rows = uint32_t(frames.size() + columns - 1) / columns;
    std::vector<uint32_t> out(size_t(w) * columns * h * rows, 0);
    for (size_t k = 0; k < frames.size(); k++)
      for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++) {
          uint32_t sum[3] = {0, 0, 0};
          for (uint32_t dy = 0; dy < 2; dy++)
            for (uint32_t dx = 0; dx < 2; dx++) {
              const uint32_t p = frames[k][size_t(2 * y + dy) * kW + 2 * x + dx];
              for (int c = 0; c < 3; c++) sum[c] += (p >> (16 - 8 * c)) & 0xFF;
            }
          const size_t ox = (k % columns) * w + x, oy = (k / columns) * h + y;
          out[oy * w * columns + ox] = (sum[0] / 4) << 16 | (sum[1] / 4) << 8 | sum[2] / 4;
        }
    ASSERT_EQ(1, WritePngRGB(name.c_str(), out.data(), w * columns, h * rows));
    EXPECT_TRUE(qoe_test::KeepPng(name));
  }
  std::string cfg_;
  bool opened_ = false;
  enginetest::TestObject ground_;
  uint32_t grass_ = 0, water_ = 0;
  std::vector<std::string> log_;
};

// Pixels that are neither the grass, the water nor the fog: the figures.
size_t FigurePixels(const std::vector<uint32_t>& f) {
  size_t n = 0;
  for (uint32_t p : f) {
    const int r = int(p >> 16), g = int((p >> 8) & 0xFF), b = int(p & 0xFF);
    const bool grass = g > r && g > b && r < 110 && b < 90, water = b > r + 40 && b > g;
    if (!grass && !water) n++;
  }
  return n;
}

TEST_F(CharactersOnMesa, EveryFigureTurnedThroughEightAngles) {
  for (uint32_t first = 1, sheet = 1; first < E3D().character_count; first += 12, sheet++) {
    std::vector<std::vector<uint32_t>> frames;
    for (int k = 0; k < 8; k++) {
      frames.push_back(Frame(first, 38.0f + 45.0f * float(k), 2000));
      EXPECT_GT(FigurePixels(frames.back()), 3000u) << "angle " << k;
    }
    Sheet("characters_gl_turntable_" + std::to_string(sheet) + ".png", frames, 2);
  }
  for (const std::string& l : log_) EXPECT_EQ(std::string::npos, l.find("nicht")) << l;
}

TEST_F(CharactersOnMesa, EveryFigureInMotionOverSixtyFrames) {
  for (uint32_t first = 1, sheet = 1; first < E3D().character_count; first += 12, sheet++) {
    std::vector<std::vector<uint32_t>> frames;
    std::vector<uint32_t> start;
    size_t changed = 0;
    for (int k = 0; k < 60; k++) {
      const std::vector<uint32_t> f = Frame(first, 38.0f, 4000 + 2 * k);
      if (k == 0) start = f;
      if (k % 20 == 0 || k == 59) frames.push_back(f);
      if (k == 59)
        for (size_t i = 0; i < f.size(); i++) changed += f[i] != start[i];
    }
    // The figures moved: a good part of the picture differs after a second.
    EXPECT_GT(changed, 1000u) << "sheet " << sheet;
    Sheet("characters_gl_motion_" + std::to_string(sheet) + ".png", frames, 2);
  }
}

// The kit's terrain with one figure of every type on it: land figures on
// open land, ships and the water's creatures on the water, the mountains and
// a forest bare; the whole patch at scale 0.5 and its middle at 1.0, in
// motion over 60 frames.
TEST_F(CharactersOnMesa, TheSampleLandscapeWithEveryFigureInMotion) {
  ASSERT_TRUE(terraintest::LinkKitFolders());
  terraintest::DefineTerrain(2);
  const int kLand[4][8] = {{12, 13, 4, 35, 5, 36, 37, 38},
                           {39, 40, 41, 9, 43, 44, 45, 46},
                           {47, 48, 49, 50, 51, 14, 53, 8},
                           {30, 24, 25, 17, 26, 6, 91, 10}};
  const int kBare[] = {5, 9, 14, 17};
  struct Cell {
    const OBJECT3D* low;
    const OBJECT3D* high;
    float x, z;
  };
  std::vector<Cell> cells;
  std::vector<std::pair<ELEMENT3D*, std::array<float, 2>>> figures;
  std::vector<uint32_t> land, wet;
  for (uint32_t i = 1; i < E3D().character_count; i++) (Wet(E3D().characters[i]) ? wet : land).push_back(i);
  size_t next_land = 0, next_wet = 0;
  for (int r = 0; r < 6; r++)
    for (int c = 0; c < 8; c++) {
      float x, z;
      terraintest::CellPosition(c, r, &x, &z);
      x -= 200, z -= 180;
      const int g = r < 4 ? kLand[r][c] : (c % 2 ? 28 : 23);
      const HexagonType& t = SceneModels()->hexagons[g];
      ASSERT_NE(nullptr, t.low) << g;
      cells.push_back({t.low, t.high ? t.high : t.low, x, z});
      if (r >= 4) {
        if (next_wet < wet.size()) figures.push_back({E3D().characters[wet[next_wet++]].high, {x, z}});
      } else if (std::find(std::begin(kBare), std::end(kBare), g) == std::end(kBare) && next_land < land.size()) {
        figures.push_back({E3D().characters[land[next_land++]].high, {x, z}});
      }
    }
  ASSERT_EQ(land.size(), next_land);
  ASSERT_EQ(wet.size(), next_wet);
  int32_t clock = 8000;  // the frame time only grows (elements keep their start)
  for (float scale : {0.5f, 1.0f}) {
    std::vector<std::vector<uint32_t>> frames;
    for (int k = 0; k < 60; k++) {
      SetViewRotation(38, 1);
      SetViewFlip(30, 1);
      SetViewScale(scale, 1);
      BuildCameraMatrix();
      InitView();
      E3D().frame_time = clock += 2;
      for (const Cell& c : cells)
        AddObjectToView(const_cast<OBJECT3D*>(scale >= 1.0f ? c.high : c.low), c.x, 0, c.z, 1);
      for (auto& [e, at] : figures) AddElementToView(e, at[0], 0, at[1]);
      UpdateFog();
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      DrawView();
      if (k % 20 == 0 || k == 59) frames.push_back(gltest::ReadFrame(kW, kH));
    }
    size_t changed = 0;
    for (size_t i = 0; i < frames[0].size(); i++) changed += frames[0][i] != frames.back()[i];
    EXPECT_GT(changed, 500u) << scale;
    Sheet(std::string("characters_gl_landscape_scale") + (scale < 1 ? "0.5" : "1.0") + ".png", frames, 2);
  }
}

}  // namespace
