// The data kit's terrain models as the engine reads them: every file the
// scene set-up and qoe3d.cfg name exists in each folder it is looked up in,
// loads without a failure line as one object within its face budget, sits
// exactly on the hex after standardising (corners on the corners, the
// outline at height 0), and brings its own pictures of one size; the
// configuration's hexagon commands; the terrain defined in every season.
#include <set>
#include <sstream>
#include <string>

#include "routinen/graphics_lowlevel_3d/tests/model_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/terrain_fixture.h"

namespace {

using namespace terraintest;

class TerrainModels : public enginetest::ModelData {
 protected:
  void SetUp() override {
    ModelData::SetUp();
    QOE_REQUIRE_BUILT(KitDir() + "/qoe/Water_low.qoe");
    ASSERT_TRUE(LinkKitFolders());
    ASSERT_TRUE(ReadKitConfig());
    // The file's settings: textures neither reduced nor mip-mapped here.
    Engine()->half_textures = 1;
    Engine()->mipmapping = 0;
  }
  bool Failed() const {
    for (const char* bad : {"nicht", "fehlerhaft", "Fehl", "Unbekannt", "already defined", "Unebkannt"})
      if (Logged(bad)) return true;
    return false;
  }
  // Loads one file (season folder and loading flag as given), standardises
  // it and checks it against every rule; the stores are emptied afterwards.
  void CheckFile(const std::string& name, uint16_t season, bool loading, int budget) {
    SCOPED_TRACE(std::string(kSeasonFolders[loading ? season : 0]) + name);
    Engine()->season = season;
    SceneModels()->loading = loading;
    SceneModels()->hex_bonus = 0;
    log_.clear();
    const uint32_t objects = N(THING_OBJECT3D);
    const int32_t first = LoadQOE(name.c_str());
    ASSERT_GE(first, 0);
    EXPECT_FALSE(Failed()) << log_.back();
    ASSERT_EQ(N(THING_OBJECT3D), objects + 1) << "one object per file";
    StandarizeHexagone(first);
    const OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, uint32_t(first));
    EXPECT_EQ(o->level, 0);
    EXPECT_GT(o->face_count, 0);
    EXPECT_LE(o->face_count, budget);
    const float corners[6][2] = {{-kQ, kD}, {kQ, kD}, {kW, 0}, {-kW, 0}, {kQ, -kD}, {-kQ, -kD}};
    bool found[6] = {};
    for (int32_t k = 0; k < o->point_count; k++) {
      const POINT3D& p = o->points[k];
      for (int c = 0; c < 6; c++) found[c] |= p.x == corners[c][0] && p.z == corners[c][1] && p.y == 0.0f;
      const float e = EdgeDist(p.x, p.z);
      ASSERT_GE(e, -1e-3f) << "a point off the hex at " << p.x << ", " << p.z;
      if (e < 1e-3f) {
        ASSERT_EQ(p.y, 0.0f) << "an outline point above 0 at " << p.x << ", " << p.z;
      }
    }
    for (int c = 0; c < 6; c++) EXPECT_TRUE(found[c]) << "corner " << c;
    EXPECT_EQ(o->min[0], -kW);
    EXPECT_EQ(o->max[0], kW);
    // Every picture is the file's own (no test pattern left) and of one size.
    for (int32_t f = 0; f < o->face_count; f++) {
      const TEXTURE3D* t = o->faces[f].texture;
      ASSERT_NE(t, nullptr);
      EXPECT_EQ(t->width, 256);
      EXPECT_EQ(t->height, 256);
      ASSERT_TRUE(t->depth == 24 || t->depth == 32);
      const uint32_t bpp = t->depth / 8;
      uint32_t pattern = 0;
      for (uint32_t y = 0; y < 256; y += 5)
        for (uint32_t x = 0; x < 256; x += 5) {
          const uint8_t* px = t->pixels + (size_t(y) * 256 + x) * bpp;
          pattern += px[0] == uint8_t(x) && px[1] == uint8_t(y) && px[2] == uint8_t(255 - x);
        }
      EXPECT_LT(pattern, 20u) << t->name;
    }
    ClearThings(kThingReset);
  }
};

TEST_F(TerrainModels, EveryFileOfTheConfigurationLoadsInEverySeasonAndFitsTheHex) {
  const EngineRecord& e = *Engine();
  std::set<std::string> files;
  for (uint32_t i = 0; i < e.command_count; i++)
    if (e.commands[i].kind == kSetHexagone) {
      files.insert(e.commands[i].text[1]);
      files.insert(std::string("!") + e.commands[i].text[2]);  // high
    }
  ASSERT_GT(files.size(), 100u);
  for (uint16_t season = 1; season <= 5; season++)
    for (const std::string& f : files) {
      const bool high = f[0] == '!';
      CheckFile(high ? f.substr(1) : f, season, true, high ? 250 : 40);
      if (HasFatalFailure()) return;
    }
}

TEST_F(TerrainModels, TheSceneSetUpsOwnFilesLoadAndFitTheHex) {
  for (const char* f : {"qoe/Water_low.qoe", "qoe/Objectnotmade.qoe", "qoe/Newblack.qoe"}) CheckFile(f, 3, false, 40);
  CheckFile("qoe/Water_high.qoe", 3, false, 250);
  for (const char* f : {"Hex_pineforest.qoe", "Hex_middle_mountain.qoe", "Hex_small_village_new.qoe",
                        "Hex_big_mountain.qoe", "Hex_small_mountain.qoe", "Hex_pineforest_deep.qoe",
                        "Hex_pastureland_birch.qoe", "Hex_small_village_blue.qoe", "Hex_swamp.qoe", "Hex_forest.qoe"})
    CheckFile(f, 5, true, 40);
  CheckFile("qoe-spring/meadow_ground.qoe", 5, false, 40);
  CheckFile("qoe-spring/Farmland_group_low.qoe", 5, false, 40);
}

TEST_F(TerrainModels, TheConfigurationGivesEveryTerrainGraphicATypeBeforeAnyCharacter) {
  const EngineRecord& e = *Engine();
  std::set<int> graphics;
  bool character_seen = false;
  for (uint32_t i = 0; i < e.command_count; i++) {
    const SceneCommand& c = e.commands[i];
    if (c.kind == kSetCharacter || c.kind == kXSetCharacter) character_seen = true;
    if (c.kind != kSetHexagone) continue;
    EXPECT_FALSE(character_seen) << "hexagon " << c.id << " after a character";
    EXPECT_TRUE(graphics.insert(c.id).second) << "twice: " << c.id;
    for (int k = 0; k < 3; k++) {
      const std::string t = c.text[k];
      EXPECT_NE(t.rfind("Engine.", 0), 0u) << t;
      EXPECT_NE(t.rfind("Map.", 0), 0u) << t;
    }
  }
  for (int g = 1; g <= 91; g++) EXPECT_EQ(graphics.count(g), (g == 23 || g == 28 || g == 29) ? 0u : 1u) << g;
  EXPECT_EQ(graphics.count(0), 0u);
  EXPECT_EQ(graphics.count(99), 0u);
  // Every command line has exactly nine tokens after its word.
  const std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(KitDir() + "/qoe3d.cfg");
  std::istringstream lines(std::string(bytes.begin(), bytes.end()));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string t; words >> t;) w.push_back(t);
    if (!w.empty() && w[0] == "SetHexagone") {
      EXPECT_EQ(w.size(), 10u) << line;
    }
  }
}

TEST_F(TerrainModels, TheTerrainIsDefinedInEverySeasonWithoutAFailure) {
  for (uint16_t season = 1; season <= 4; season++) {
    SCOPED_TRACE(season);
    log_.clear();
    DefineTerrain(season);
    EXPECT_FALSE(Failed()) << (log_.empty() ? "" : log_.back());
    for (uint32_t g = 0; g < kHexagonTypes; g++)
      EXPECT_EQ(SceneModels()->hexagons[g].low != nullptr, g <= 91 || g == 99) << g;
    // Forest and swamp foliage sways.
    const HexagonType& forest = SceneModels()->hexagons[18];
    const auto* select = static_cast<const uint8_t*>(GetThing(THING_SELECT3D, kThingBase));
    uint32_t swaying = 0;
    const uint32_t marks = ThingCount(THING_SELECT3D);
    for (int32_t k = 0; select && k < forest.high->point_count && forest.high->first_point + k < marks; k++)
      swaying += select[forest.high->first_point + k];
    EXPECT_GT(swaying, 0u);
    enginetest::ExpectPointersResolved();
    ResetSceneModels();
    ClearThings(kThingReset);
  }
}

}  // namespace
