// The kit's characters in the engine's own map scene: the scene set-up reads
// the kit's qoe3d.cfg and model folders, every figure type of the map finds
// the kit's entry for it, and a map with one figure of every type is drawn
// frame after frame at scale 1.0 on Mesa (the pictures are kept to look at).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/fake_map.h"
#include "tests/support/test_support.h"
#include "tools/datakit/characters.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kW = 800, kH = 600;
constexpr uint16_t kGrass = 12, kWater = 23;

void Publish(QoEMapInfo* map) {
  LockMapRecord();
  KartenScreenData->map = map;
  UnlockMapRecord();
}

std::vector<int> MapFigureTypes() {
  std::vector<int> t;
  for (int i = 0; i <= 20; i++) t.push_back(i);
  for (int i = 1000; i <= 1013; i++) t.push_back(i);
  return t;
}

// Ships, the whirlpool and the sea serpent stand on water.
bool Wet(int type) { return (type >= 14 && type <= 19) || type == 1007 || type == 1008; }

class CharactersInTheScene : public testing::Test {
 protected:
  void SetUp() override {
    const std::string kit = qoe_test::BinaryDir() + "/datakit";
    QOE_REQUIRE_BUILT(kit + "/qoe3d.cfg");
    // The working folder as the game's: the kit's configuration, pictures
    // and model folders.
    for (const char* f : {"bmp", "qoe", "qoe-spring", "qoe-summer", "qoe-autumn", "qoe-winter", "qoe-old", "qoe-anims"}) {
      std::error_code ec;
      fs::create_directory_symlink(kit + "/" + f, f, ec);
      ASSERT_FALSE(ec) << f << ": " << ec.message();
    }
    fs::copy_file(kit + "/qoe3d.cfg", "qoe3d.cfg");
    const std::vector<uint8_t> text = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/tools/datakit/characters.txt");
    int line = 0;
    std::string reason;
    ASSERT_TRUE(datakit::ParseCharacters(std::string(text.begin(), text.end()), &kit_, &line, &reason))
        << line << ": " << reason;
    ASSERT_TRUE(gltest::OpenGLWindow(6)) << "no GL context on the offscreen driver";
    opened_ = true;
    DebugLogSetHook([](const char* l, void* user) { static_cast<CharactersInTheScene*>(user)->log_.push_back(l); },
                    this);
    StartEngine();
    ASSERT_EQ(Engine()->started, 1u);
    SeedSceneRandom(1);
    fake_.map.PixelColumn = 80 * 48.0;
    fake_.map.PixelRow = 40 * 55.424;
  }
  void TearDown() override {
    if (!opened_) return;
    DebugLogSetHook(nullptr, nullptr);
    Publish(nullptr);
    StopEngine();
    gltest::CloseGLWindow();
  }
  // The kit's entry for a figure type.
  const datakit::CharEntry* KitEntry(int type) const {
    for (const datakit::CharEntry& e : kit_.entries)
      if (e.type == type) return &e;
    return nullptr;
  }
  // The map's figure list replaced: one figure per (type, view column, row).
  void SetFigures(const std::vector<std::array<int, 3>>& figures) {
    fake_.figures.assign(2 + kFigurSize * figures.size(), 0);
    for (size_t i = 0; i < figures.size(); i++) {
      MapFigur* f = MapFigurAt(fake_.figures.data(), uint32_t(i));
      f->Besitzer = 7;
      f->Typ = uint16_t(figures[i][0]);
      f->Nummer = uint16_t(i + 1);
      f->X = uint32_t(4000 + figures[i][1]);
      f->Y = uint32_t(2000 + figures[i][2]);
    }
    SetMapFigurCount(fake_.figures.data(), uint16_t(figures.size()));
    fake_.map.Figures = fake_.figures.data();
    fake_.map.FigureBytes = uint32_t(fake_.figures.size());
  }
  // One frame of the map scene at a frame counter.
  std::vector<uint32_t> Frame(uint64_t counter) {
    E3D().frame_counter = counter;
    GLProcessObjektList();
    glFinish();
    return gltest::ReadFrame(kW, kH);
  }
  // A cell's projected centre in pixels.
  static std::array<int, 2> Pixel(uint32_t cell) {
    const float* p = MapScene()->centres[cell];
    return {int((p[0] + 1.0f) / 2.0f * kW), int((1.0f - p[1]) / 2.0f * kH)};
  }

  datakit::CharacterSet kit_;
  map_test::FakeMap fake_;
  bool opened_ = false;
  std::vector<std::string> log_;
};

TEST_F(CharactersInTheScene, EveryMapFigureFindsTheKitsEntryWithItsElements) {
  for (const std::string& l : log_) {
    EXPECT_EQ(std::string::npos, l.find("LoadQOEasElement")) << l;
    EXPECT_EQ(std::string::npos, l.find("nicht hinzugefuegt")) << l;
  }
  // The set-up kept every command of the kit, in order, after the water.
  ASSERT_EQ(kit_.entries.size(), E3D().character_count);
  for (size_t i = 0; i < kit_.entries.size(); i++) EXPECT_EQ(kit_.entries[i].name, E3D().characters[i].name);
  EXPECT_EQ(0, E3D().shield_entry);
  for (int type : MapFigureTypes()) {
    const datakit::CharEntry* want = KitEntry(type);
    ASSERT_NE(nullptr, want) << type;
    const uint32_t i = FindCharacter(uint16_t(type), 0);
    ASSERT_GT(i, 0u) << type;
    const CharacterEntry& c = E3D().characters[i];
    EXPECT_EQ(want->name, c.name) << type;
    EXPECT_EQ("qoe-anims/" + want->low, c.low_path) << type;
    ASSERT_NE(nullptr, c.low) << type;
    ASSERT_NE(nullptr, c.high) << type;
    // The still model is one object; the high element an animation: the
    // kit's own, or for a ship the rocking the engine made.
    EXPECT_EQ(THING_OBJECT3D, c.low->frame.target_key) << type;
    ASSERT_EQ(THING_ANIMATION3D, c.high->frame.target_key) << type;
    const auto* a = static_cast<const ANIMATION3D*>(c.high->frame.target);
    ASSERT_NE(nullptr, a) << type;
    EXPECT_GE(a->frame_count, 4u) << type;
    if (want->name.find("SCHIFF") != std::string::npos) {
      EXPECT_STREQ("ShipAnim", a->name) << type;
    }
    if (want->name == "FID_BUSARD") {
      EXPECT_EQ(int32_t(i), E3D().bird_entry);
      EXPECT_GE(a->frame_count, 10u);
    }
  }
}

// The map of grass with water under the wet figures, one figure of every
// type standing apart from the others around the view's middle, in batches
// that fit the screen at scale 1.0, each drawn over 60 frames.
TEST_F(CharactersInTheScene, OneFigureOfEveryTypeOnTheMapAtScaleOne) {
  EngineRecord& e = *Engine();
  e.scale = 1.0f;
  SetViewScale(1.0f, 1);
  e.rain_on = e.snow_on = 0;  // random particles would blur the comparisons
  Publish(&fake_.map);
  Frame(0);
  const MapSceneState* m = MapScene();
  ASSERT_NE(nullptr, m->focus);
  const uint32_t focus = uint32_t(m->focus - m->cells);
  // Cells well inside the picture, nearest the middle first, no two closer
  // than two hexes' width.
  std::vector<uint32_t> inner;
  for (uint32_t i = 0; i < 1440; i++) {
    if (i == focus || m->cells[i].visibility != 1) continue;
    const auto p = Pixel(i);
    if (p[0] > 90 && p[0] < int(kW) - 90 && p[1] > 130 && p[1] < int(kH) - 40) inner.push_back(i);
  }
  auto middle = [&](uint32_t i) {
    const auto p = Pixel(i);
    return std::hypot(p[0] - 400.0, p[1] - 330.0);
  };
  std::sort(inner.begin(), inner.end(), [&](uint32_t a, uint32_t b) { return middle(a) < middle(b); });
  std::vector<uint32_t> spots;
  for (uint32_t i : inner) {
    bool apart = true;
    for (uint32_t s : spots)
      apart &= std::hypot(m->cells[i].x - m->cells[s].x, m->cells[i].z - m->cells[s].z) > 100.0f;
    if (apart) spots.push_back(i);
  }
  ASSERT_GE(spots.size(), 6u);
  const std::vector<int> types = MapFigureTypes();
  const size_t batch = std::min<size_t>(spots.size(), 12);
  int sheet = 0;
  for (size_t first = 0; first < types.size(); first += batch, sheet++) {
    std::vector<std::array<int, 3>> figures;
    for (uint32_t i = 0; i < 1440; i++) fake_.Cell(int(i % 40), int(i / 40)).Grafik = kGrass;
    for (size_t k = 0; k < batch && first + k < types.size(); k++) {
      const int type = types[first + k], col = int(spots[k] % 40), row = int(spots[k] / 40);
      figures.push_back({type, col, row});
      if (Wet(type)) {
        // The water spreads to the neighbours so the ship floats in a sea.
        for (int dc = -1; dc <= 1; dc++)
          for (int dr = -1; dr <= 1; dr++) fake_.Cell(col + dc, row + dr).Grafik = kWater;
      }
    }
    // The bare landscape at the batch's first frame time, then the figures
    // over 60 frames: 12 in each of the five phases in which the idle
    // motions of neighbouring hexes take turns (the frame time advances by
    // 2 per frame, a phase lasts 250 frames).
    SetFigures({});
    const uint64_t start = 1250 * uint64_t(sheet + 1);
    const std::vector<uint32_t> bare = Frame(start);
    SetFigures(figures);
    std::vector<std::vector<uint32_t>> kept;
    std::vector<uint32_t> first_frame, phase_start;
    size_t moved = 0;
    for (uint64_t k = 0; k < 60; k++) {
      std::vector<uint32_t> f = Frame(start + 250 * (k / 12) + k % 12);
      if (k == 0) first_frame = f;
      if (k % 12 == 0) phase_start = f;
      if (k % 12 == 11)
        for (size_t i = 0; i < f.size(); i++) moved += f[i] != phase_start[i];
      if (k % 20 == 0 || k == 59) kept.push_back(std::move(f));
    }
    EXPECT_GT(moved, 100u) << "batch " << sheet;
    // Every figure stands on its cell as the kit's character and shows
    // above its centre.
    for (const auto& [type, col, row] : figures) {
      const uint32_t cell = uint32_t(row * 40 + col);
      const uint8_t index = m->cells[cell].character;
      ASSERT_GT(index, 0) << type;
      EXPECT_EQ(KitEntry(type)->name, E3D().characters[index].name) << type;
      // Birds fly high above their hex.
      if (type == 1001 || type == 1002 || (type >= 1004 && type <= 1006)) continue;
      const auto p = Pixel(cell);
      auto differs = [&](int top, int bottom, int half) {
        size_t n = 0;
        for (int y = std::max(0, p[1] - top); y < std::min(int(kH), p[1] + bottom); y++)
          for (int x = std::max(0, p[0] - half); x < std::min(int(kW), p[0] + half); x++)
            n += first_frame[size_t(y) * kW + x] != bare[size_t(y) * kW + x];
        return n;
      };
      EXPECT_GT(differs(60, 10, 25), 80u) << "figure type " << type << " at " << p[0] << "," << p[1];
      // Its lowest part shows too: nothing of it is sunk into the ground.
      EXPECT_GT(differs(14, 2, 12), 20u) << "figure type " << type << " at " << p[0] << "," << p[1];
    }
    const std::string name = "characters_scene_" + std::to_string(sheet + 1) + ".png";
    ASSERT_EQ(1, WritePngRGB(name.c_str(), first_frame.data(), kW, kH));
    EXPECT_TRUE(qoe_test::KeepPng(name));
    // The motion: frames 0, 20, 40 and 59 side by side at half size.
    std::vector<uint32_t> motion(size_t(kW) * kH, 0);
    for (size_t k = 0; k < kept.size(); k++)
      for (uint32_t y = 0; y < kH / 2; y++)
        for (uint32_t x = 0; x < kW / 2; x++)
          motion[(size_t(k / 2) * (kH / 2) + y) * kW + (k % 2) * (kW / 2) + x] = kept[k][size_t(2 * y) * kW + 2 * x];
    const std::string sheet_name = "characters_scene_motion_" + std::to_string(sheet + 1) + ".png";
    ASSERT_EQ(1, WritePngRGB(sheet_name.c_str(), motion.data(), kW, kH));
    EXPECT_TRUE(qoe_test::KeepPng(sheet_name));
  }
}

}  // namespace
