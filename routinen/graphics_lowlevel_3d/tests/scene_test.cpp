// The engine's start and the map scene's set-up on a real context (Mesa):
// the start's log lines, every slot and table, the seasons' weather, the
// water and fallback types after (or, in the old season, before) the
// file's commands, regrouping and reduction, the cell layout, failures of
// every store and table allocation, and the overlay and fire drawn.
#include <SDL.h>

#include <atomic>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/pngfile.h"
#include "platform/sdl_backend.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/input.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"
#include "tools/datakit/qoe_writer.h"

namespace fs = std::filesystem;

namespace {

// A flat square model on one 24-bit texture of side x side pixels.
datakit::QoeModel FlatModel(uint16_t side, uint8_t shade) {
  datakit::QoeModel m;
  datakit::QoeTexture t;
  t.name = "ground" + std::to_string(side);
  t.file = "bmp/ground" + std::to_string(side) + ".bmp";
  t.width = t.height = side;
  t.bits = 24;
  t.picture = datakit::QoeTexture::kRaw;
  t.pixels.assign(size_t(side) * side * 3, shade);
  m.textures.push_back(t);
  const float c[4][2] = {{-32, -27.712f}, {32, -27.712f}, {32, 27.712f}, {-32, 27.712f}};
  for (const auto& xy : c) {
    datakit::QoePoint p;
    p.x = xy[0];
    p.z = xy[1];
    p.u = xy[0] > 0;
    p.v = xy[1] > 0;
    m.points.push_back(p);
  }
  m.indices = {0, 1, 2, 3};
  m.faces = {{0, 4, 0}};
  datakit::QoeObject o;
  o.name = "Flat";
  o.index_count = o.point_count = 4;
  o.face_count = 1;
  o.min[0] = -32, o.min[2] = -27.712f, o.max[0] = 32, o.max[2] = 27.712f;
  m.objects = {o};
  return m;
}

void WriteModel(const std::string& path, const datakit::QoeModel& m) {
  fs::create_directories(fs::path(path).parent_path());
  const std::vector<uint8_t> b = datakit::WriteQoe(m, false);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

void WriteConfig(const std::string& text) { std::ofstream("qoe3d.cfg") << text; }

class Scene : public testing::Test {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit/bmp", "bmp",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_TRUE(gltest::OpenGLWindow(6));
    DebugLogSetHook([](const char* line, void* user) { static_cast<Scene*>(user)->log_.push_back(line); }, this);
  }
  void TearDown() override {
    DebugLogSetHook(nullptr, nullptr);
    AllocVecFailAfter(-1);
    StopEngine();
    gltest::CloseGLWindow();
  }
  // The water and fallback models; side: the water textures' size.
  static void WriteSceneModels(uint16_t side) {
    // The water brings an animation and an element the scene drops again.
    datakit::QoeModel water = FlatModel(side, 90);
    water.animations = {{"Wave", 1, 0, 1}};
    water.frames = {{0, 0, 30008, datakit::QoePose{}}};
    water.elements = {{0, 0, datakit::QoePose{}}};
    WriteModel("qoe/Water_low.qoe", water);
    WriteModel("qoe-anims/bird.qoe", FlatModel(4, 30));
    WriteModel("qoe-anims/shield.qoe", FlatModel(4, 40));
    WriteModel("qoe/Water_high.qoe", FlatModel(side, 100));
    WriteModel("qoe/Objectnotmade.qoe", FlatModel(side, 160));
    WriteModel("qoe/Newblack.qoe", FlatModel(side, 20));
    // The file's commands load from the season's folder (season 3).
    WriteModel("qoe-autumn/mine.qoe", FlatModel(side, 200));
  }
  bool Logged(const std::string& text) const {
    for (const std::string& l : log_)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  size_t Count(const std::string& text) const {
    size_t n = 0;
    for (const std::string& l : log_) n += l.find(text) != std::string::npos;
    return n;
  }
  static const HexagonType& Type(uint32_t t) { return SceneModels()->hexagons[t]; }
  static const TEXTURE3D* Texture(uint32_t i) { return static_cast<const TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i)); }
  static const TEXTURE3D* TextureNamed(const char* name) {
    const uint32_t i = FindThingByName(THING_TEXTURE3D, name);
    return i == kThingNotFound ? nullptr : Texture(i);
  }
  std::vector<std::string> log_;
};

TEST_F(Scene, TheStartBuildsEverythingAtOnceAndLogsItsStepsInOrder) {
  WriteSceneModels(16);
  WriteConfig(
      "Map.SkyON TRUE\nMap.NightON TRUE\n"
      "SetCharacter 4 FID_BUSARD NONE bird.qoe NONE 0 0 0 1.0\n"
      "SetCharacter 5 FID_SHIELD NONE shield.qoe NONE 0 0 0 1.0\n");
  StartEngine();
  // The lines of the start in order, each once.
  size_t at = 0;
  for (int i = 1; i <= 7; i++) {
    const std::string line = "StartEngine " + std::to_string(i) + "\n";
    size_t found = log_.size();
    for (size_t k = at; k < log_.size(); k++)
      if (log_[k] == line) {
        found = k;
        break;
      }
    ASSERT_LT(found, log_.size()) << line;
    EXPECT_EQ(Count(line), 1u) << line;
    at = found + 1;
  }
  EXPECT_EQ(Engine()->started, 1u);
  EXPECT_EQ(E3D().scene_built, 1);
  EXPECT_FLOAT_EQ(Camera()->factor, Engine()->scale * 0.008f);
  EXPECT_FLOAT_EQ(Camera()->perspective, 0.36f);
  // Every slot is set.
  const SceneModelState* s = SceneModels();
  const MapSceneState* m = MapScene();
  EXPECT_GE(m->barriers, 0);
  EXPECT_GE(m->sky, 0);
  EXPECT_GE(s->overlay, 0);
  EXPECT_GE(s->logo, 0);
  EXPECT_GE(s->authors, 0);
  EXPECT_GE(s->fire, 0);
  EXPECT_GE(s->smoke, 0);
  EXPECT_GE(s->rain, 0);  // season 3
  EXPECT_EQ(s->snow, -1);
  // The characters of the file, whose elements outlive the water's.
  EXPECT_EQ(E3D().bird_entry, 0);
  EXPECT_EQ(E3D().shield_entry, 1);
  ASSERT_EQ(E3D().character_count, 2);
  EXPECT_EQ(ThingCount(THING_ELEMENT3D), 2u);
  EXPECT_EQ(ThingCount(THING_ANIMATION3D), 0u);
  for (int i = 0; i < 2; i++) {
    const CharacterEntry& c = E3D().characters[i];
    ASSERT_NE(c.low, nullptr) << i;
    EXPECT_EQ(c.low, ThingAt(THING_ELEMENT3D, c.low_index));
    EXPECT_EQ(c.low->frame.target_key, THING_OBJECT3D);
    EXPECT_NE(c.low->frame.target, nullptr);
  }
  for (const char* name : {"Fire_tex", "FireModel_tex", "Gui_tex", "QoeLogo_tex", "transp_parts", "Clouds_tex"}) {
    const TEXTURE3D* t = TextureNamed(name);
    ASSERT_NE(t, nullptr) << name;
    EXPECT_NE(t->gl_name, 0u) << name;
  }
  EXPECT_STREQ(Texture(m->fire_texture)->name, "Fire_tex");
  EXPECT_STREQ(Texture(m->gui_texture)->name, "Gui_tex");
  auto object = [](int32_t i) { return static_cast<const OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(i))); };
  EXPECT_STREQ(object(s->logo)->name, "QoE's Logo");
  EXPECT_NEAR(object(s->logo)->max[1] - object(s->logo)->min[1], 150 * 1.3944954f, 1e-2);
  EXPECT_STREQ(object(s->authors)->name, "Engine's Authors");
  EXPECT_NEAR(object(s->authors)->min[0], -128.0f, 1e-3);
  EXPECT_STREQ(object(s->smoke)->name, "Smoke");
  EXPECT_EQ(object(s->smoke)->point_count, 400);
  EXPECT_EQ(object(s->smoke)->faces[0].texture_index, 6);
  EXPECT_EQ(object(s->rain)->point_count, 500);
  EXPECT_EQ(object(s->rain)->faces[0].texture_index, 5);
  EXPECT_STREQ(object(m->sky)->name, "Sky");
  // The night palette: row 154 of the logo (the kit's ramp starts at 40, 50, 110).
  const uint8_t* night = NightPalette();
  ASSERT_NE(night, nullptr);
  EXPECT_EQ(night[0], 40);
  EXPECT_EQ(night[2], 110);
  // From the build on textures are neither reduced nor mip-mapped.
  EXPECT_EQ(Engine()->half_textures, 1u);
  EXPECT_EQ(Engine()->mipmapping, 0u);
  EXPECT_EQ(Texture(m->gui_texture)->width, 512);
  EXPECT_EQ(Texture(m->gui_texture)->mipmapped, 0);
  // Night and sky as the file says; the fog colour stays (not black).
  EXPECT_EQ(Engine()->night_on, 1u);
  EXPECT_EQ(Engine()->fog_rgba[0], 128);
  // Every point starts unselected: SELECT3D covers the point capacity.
  EXPECT_GE(ThingCount(THING_SELECT3D), Engine()->cap_points);
  // The water types and the fallbacks come after the file.
  EXPECT_STREQ(Type(23).name, "KID_WASSER00");
  EXPECT_STREQ(Type(28).name, "KID_WASSER01");
  EXPECT_STREQ(Type(29).name, "KID_WASSER02");
  EXPECT_EQ(Type(29).parameter, 15);
  EXPECT_STREQ(Type(99).name, "KID_NOT_MADE_OBJECT");
  EXPECT_STREQ(Type(0).name, "KID_UNKNOWN");
  EXPECT_NE(Type(23).low, nullptr);
  EXPECT_NE(Type(23).high, nullptr);
  EXPECT_EQ(SceneModels()->water_objects, 1);  // a low and a high object
  EXPECT_EQ(SceneModels()->merge_hierarchy, 1);
  EXPECT_EQ(SceneModels()->share_models, 1);
  EXPECT_EQ(SceneModels()->loading, 0);
  // The cells: 48 units per column, odd columns half a row lower.
  ASSERT_NE(m->cells, nullptr);
  const MapCell3D* c = m->cells;
  EXPECT_FLOAT_EQ(c[0].x, 32);
  EXPECT_FLOAT_EQ(c[0].z, 27.712f);
  EXPECT_FLOAT_EQ(c[1].x, 80);
  EXPECT_FLOAT_EQ(c[1].z, 55.424f);
  EXPECT_FLOAT_EQ(c[2].x, 128);
  const uint32_t last = 35 * 40 + 39;
  EXPECT_FLOAT_EQ(c[last].x, 96 * 19 + 80);
  EXPECT_FLOAT_EQ(c[last].z, 55.424f * 35 + 55.424f);
  EXPECT_FLOAT_EQ(c[last].y, 0);
  EXPECT_EQ(m->focus, &m->cells[0]);
  EXPECT_EQ(m->selected_column, 0);
  // 100 frames with the engine started (the frame draws no scene yet).
  for (int i = 0; i < 100; i++) GLProcessObjektList();
}

struct SeasonCase {
  const char* word;
  uint16_t season;
  uint32_t snow, rain, wind;
};

TEST_F(Scene, SnowRainAndWindFollowTheSeasonWhateverTheFileSays) {
  WriteSceneModels(16);
  const SeasonCase cases[] = {{"SPRING", 1, 0, 0, 0}, {"SUMMER", 2, 0, 0, 0}, {"NONE", 3, 0, 1, 1},
                              {"WINTER", 4, 1, 0, 1}, {"QOE", 6, 0, 0, 0}};
  for (const SeasonCase& k : cases) {
    WriteConfig(std::string("Map.ActualSeason ") + k.word +
                "\nMap.SnowON TRUE Map.RainON TRUE Map.WindON FALSE\n");
    StartEngine();
    SCOPED_TRACE(k.word);
    EXPECT_EQ(Engine()->season, k.season);
    EXPECT_EQ(Engine()->snow_on, k.snow);
    EXPECT_EQ(Engine()->rain_on, k.rain);
    EXPECT_EQ(Engine()->wind_on, k.wind);
    EXPECT_EQ(SceneModels()->snow >= 0, k.snow == 1);
    EXPECT_EQ(SceneModels()->rain >= 0, k.rain == 1);
    // Night and sky stay off without the file.
    EXPECT_EQ(Engine()->night_on, 0u);
    EXPECT_EQ(Engine()->sky_on, 0u);
    EXPECT_EQ(MapScene()->sky, -1);
  }
}

TEST_F(Scene, AFileCommandForAWaterOrFallbackTypeWinsOverTheBuiltInOne) {
  WriteSceneModels(16);
  WriteConfig(
      "XSetHexagone 23 MYWATER mine.qoe NONE 7 1 2 3 4\n"
      "SetHexagone 99 MYFALLBACK mine.qoe NONE 5 1 2 3 4\n"
      "SetHexagone 12 MYSTEPPE mine.qoe NONE 6 1 2 3 4\n"
      // A later command sees the earlier definition.
      "SetHexagone 12 AGAIN mine.qoe NONE 6 1 2 3 4\n");
  StartEngine();
  EXPECT_STREQ(Type(23).name, "MYWATER");
  EXPECT_EQ(Type(23).parameter, 7);
  EXPECT_STREQ(Type(99).name, "MYFALLBACK");
  EXPECT_STREQ(Type(12).name, "MYSTEPPE");
  EXPECT_STREQ(Type(28).name, "KID_WASSER01");
  EXPECT_EQ(Count("SetHexagone: This Hexagone already defined.\n"), 3u);
  // The file's commands were run as they came and then let go.
  EXPECT_EQ(Engine()->command_count, 0u);
  EXPECT_EQ(Engine()->commands, nullptr);
}

TEST_F(Scene, InTheOldSeasonTheBuiltInTypesComeFirstAndTheFilesCommandsAreRefused) {
  WriteSceneModels(16);
  WriteModel("qoe-old/Hex_pineforest.qoe", FlatModel(16, 50));
  WriteModel("qoe-spring/meadow_ground.qoe", FlatModel(16, 60));
  WriteModel("qoe-old/mine.qoe", FlatModel(16, 210));
  WriteConfig("Map.ActualSeason OLD\nXSetHexagone 23 MYWATER mine.qoe NONE 7 1 2 3 4\n");
  StartEngine();  // the season is read with the file: this build was season 3
  EXPECT_STREQ(Type(23).name, "MYWATER");
  ASSERT_EQ(Engine()->season, 5);
  log_.clear();
  BuildMapScene(4, 9);
  EXPECT_STREQ(Type(23).name, "KID_WASSER00");
  EXPECT_STREQ(Type(17).name, "KID_WALD00");
  EXPECT_NE(Type(17).low, nullptr);  // from the season's folder
  EXPECT_STREQ(Type(13).name, "KID_STEPPE01");
  EXPECT_NE(Type(13).low, nullptr);
  EXPECT_EQ(Type(13).parameter, 9);
  EXPECT_STREQ(Type(39).name, "KID_STEPPE02");
  EXPECT_EQ(Type(5).low, nullptr);  // no file for it
  EXPECT_GE(Count("SetHexagone: This Hexagone already defined.\n"), 4u);  // the file's 23, then 23, 28, 29, 99, 0 again
  EXPECT_EQ(MapScene()->selected_column, 4);
  EXPECT_EQ(MapScene()->selected_row, 9);
  EXPECT_EQ(E3D().scene_built, 1);
}

TEST_F(Scene, RegroupingReducesTheBuildsTexturesByEightAndLaterOnesNot) {
  // Water textures of another size than transp_parts: the atlases are
  // refused and every texture goes to GL on its own.
  WriteSceneModels(64);
  WriteConfig("Engine.RegroupTextures TRUE\nEngine.HalfTextures 2\n");
  StartEngine();
  const TEXTURE3D* parts = TextureNamed("transp_parts");
  ASSERT_NE(parts, nullptr);
  EXPECT_EQ(parts->reduction, 8);
  EXPECT_EQ(parts->width, 32);
  EXPECT_EQ(parts->uploaded, 1);
  EXPECT_NE(parts->gl_name, 0u);
  const TEXTURE3D* water = TextureNamed("ground64");
  ASSERT_NE(water, nullptr);
  EXPECT_EQ(water->width, 8);
  EXPECT_EQ(water->uploaded, 1);
  EXPECT_EQ(TextureNamed("Fire_tex")->reduction, 1);
  EXPECT_EQ(TextureNamed("Fire_tex")->width, 128);
  EXPECT_EQ(TextureNamed("Gui_tex")->uploaded, 1);
  EXPECT_EQ(Engine()->half_textures, 1u);
  EXPECT_EQ(MapScene()->textures_not_regrouped, 1u);

  // No models: transp_parts alone goes into the 32-bit atlas (4 x 4 cells of 32).
  fs::remove_all("qoe");
  StartEngine();
  EXPECT_STREQ(Texture(0)->name, "All Textures 24bits");
  EXPECT_STREQ(Texture(1)->name, "All Textures 32bits");
  EXPECT_EQ(Texture(1)->width, 128);
  EXPECT_EQ(TextureNamed("transp_parts"), nullptr);
  EXPECT_EQ(TextureNamed("Fire_tex")->width, 128);
  EXPECT_NE(TextureNamed("Fire_tex")->gl_name, 0u);
}

TEST_F(Scene, AFailedStoreOrTableLeavesTheEngineUnstartedWithItsMessage) {
  WriteSceneModels(16);
  // Which allocation fails: the eighteen stores, then the seven tables.
  for (int64_t k = 0; k < 25; k++) {
    log_.clear();
    AllocVecFailAfter(k);
    StartEngine();
    AllocVecFailAfter(-1);
    SCOPED_TRACE(k);
    EXPECT_EQ(Engine()->started, 0u);
    EXPECT_EQ(E3D().scene_built, 0);
    EXPECT_EQ(MapScene()->cells, nullptr);
    EXPECT_EQ(SceneModels()->hexagons, nullptr);
    EXPECT_EQ(E3D().characters, nullptr);
    EXPECT_FALSE(Logged("StartEngine 5"));
    if (k < 18) {
      EXPECT_TRUE(Logged("SetThing: Kein Speicherplatz mehr vorhanden."));
      EXPECT_TRUE(Logged("StartEngine: Konnte Engine Struktur nicht richtig allokieren.\n"));
      EXPECT_EQ(FindThingSlot(THING_FACE3D), nullptr);
    } else {
      char line[64];
      std::snprintf(line, sizeof line, "MapAlloc: Kein Speicher mehr vorhanden %03d.\n", int(k - 17));
      EXPECT_TRUE(Logged(line)) << line;
      EXPECT_EQ(FindThingSlot(THING_FACE3D), nullptr);
    }
    for (int i = 0; i < 4; i++) GLProcessObjektList();
  }
  for (int i = 0; i < 100; i++) GLProcessObjektList();
  // And with memory again it starts.
  StartEngine();
  EXPECT_EQ(Engine()->started, 1u);
}

// The overlay drawn without camera or projection frames the screen, and the
// fire picture moves every frame.
TEST_F(Scene, TheOverlayFramesTheScreenAndTheFireChangesEveryFrame) {
  WriteSceneModels(16);
  WriteConfig("Engine.AntiAlias FALSE\nEngine.Filtering FALSE\n");
  StartEngine();
  const OBJECT3D* gui = static_cast<const OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(SceneModels()->overlay)));
  ASSERT_NE(gui, nullptr);
  const float* at = MapScene()->overlay_position;
  // Straight to GL: the overlay's faces at the overlay's place, no matrices.
  glViewport(0, 0, 800, 600);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  for (int32_t f = 0; f < gui->face_count; f++) {
    const FACE3D& face = gui->faces[f];
    glBindTexture(GL_TEXTURE_2D, face.texture->gl_name);
    glBegin(GL_TRIANGLE_FAN);
    for (uint32_t i = 0; i < face.points; i++) {
      const POINT3D& p = gui->points[gui->indices[face.first + i]];
      glColor4ub(p.rgba[0], p.rgba[1], p.rgba[2], p.rgba[3]);
      glTexCoord2f(p.u, p.v);
      glVertex3f(p.x + at[0], p.y + at[1], p.z + at[2]);
    }
    glEnd();
  }
  glFinish();
  const std::vector<uint32_t> frame = gltest::ReadFrame(800, 600);
  ASSERT_EQ(WritePngRGB("gl3d_overlay.png", frame.data(), 800, 600), 1);
  EXPECT_TRUE(qoe_test::KeepPng("gl3d_overlay.png"));
  // The border strip's texels (column 0..15 of Gui_tex: brown, brighter
  // inwards) at the four edges; the middle shows through.
  const TEXTURE3D* tex = Texture(MapScene()->gui_texture);
  auto texel = [&](uint32_t x, uint32_t y) {
    const uint8_t* p = tex->pixels + (size_t(y) * tex->width + x) * 4;
    return (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  };
  auto near = [](uint32_t a, uint32_t b) {
    for (int s = 0; s < 24; s += 8)
      if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > 24) return false;
    return true;
  };
  // Each edge of the screen shows texels of the border strip (columns 0 to
  // 15 of any row: brown, brighter inwards).
  auto strip = [&](uint32_t pixel) {
    for (uint32_t c = 0; c < 16; c++)
      if (near(pixel, texel(c, 256))) return true;
    return false;
  };
  for (uint32_t at : {300u * 800 + 1, 300u * 800 + 798, 1u * 800 + 400, 598u * 800 + 400, 3u * 800 + 3})
    EXPECT_TRUE(strip(frame[at])) << at << " " << std::hex << frame[at];
  EXPECT_EQ(frame[300 * 800 + 400], 0x0000FFu);
  EXPECT_NE(frame[300 * 800 + 1], 0x0000FFu);

  // The fire: every step changes the picture (the kit's palette, a
  // random bottom row).
  TEXTURE3D* fire = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, MapScene()->fire_texture));
  SeedSceneRandom(5);
  std::vector<uint8_t> before(fire->pixels, fire->pixels + 128 * 128 * 4);
  for (int f = 0; f < 30; f++) {
    E3D().frame_time = f * 2;
    AnimateFireBitmap(128, 128, fire->pixels, MapScene()->heat);
    RefreshTexture(fire);
    std::vector<uint8_t> now(fire->pixels, fire->pixels + 128 * 128 * 4);
    EXPECT_NE(now, before) << f;
    before = now;
  }
  // The fire texture as GL holds it, enlarged, for a look.
  std::vector<uint32_t> look(128 * 128);
  for (size_t i = 0; i < look.size(); i++)
    look[i] = (uint32_t{before[i * 4]} << 16) | (uint32_t{before[i * 4 + 1]} << 8) | before[i * 4 + 2];
  ASSERT_EQ(WritePngRGB("gl3d_fire.png", look.data(), 128, 128), 1);
  EXPECT_TRUE(qoe_test::KeepPng("gl3d_fire.png"));
  E3D().frame_time = 0;
}

// A town hex through the camera: its water type's model, the twelve
// barriers around it, the fire and three smoke columns, and rain, after a
// few frames of their animation; written to gl3d_scene_effects.png.
TEST_F(Scene, TheEffectsThroughTheCamera) {
  WriteSceneModels(16);
  WriteConfig("Engine.AntiAlias FALSE\nEngine.FogStart 1.0 Engine.FogDensity 1.0\n");
  StartEngine();
  ASSERT_EQ(E3D().scene_built, 1);
  const SceneModelState* s = SceneModels();
  const MapSceneState* m = MapScene();
  auto object = [](int32_t i) { return static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(i))); };
  SeedSceneRandom(3);
  for (int f = 0; f < 120; f++) {
    E3D().frame_time = f * 2;
    AnimateSmoke(object(s->smoke));
    AnimateRain(object(s->rain));
    AnimateFireBitmap(128, 128, static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, m->fire_texture))->pixels, m->heat);
  }
  RefreshTexture(static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, m->fire_texture)));
  glViewport(0, 0, 800, 600);
  SetViewAspect(800.0f / 600.0f);
  SetViewRotation(38, 1);
  SetViewFlip(40, 1);
  SetViewScale(2.5f, 1);
  BuildCameraMatrix();
  Camera()->transform = Camera()->project = 1;
  MakeFaceCenters();
  UpdateFog();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  InitView();
  // Seven hexes of water (type 23), the middle one a town.
  const float ring[7][2] = {{0, 0}, {0, 55.424f}, {0, -55.424f}, {48, 27.712f}, {48, -27.712f}, {-48, 27.712f},
                            {-48, -27.712f}};
  for (const auto& c : ring) AddObjectToView(Type(23).low, c[0], 0, c[1], 1);
  for (int b = 0; b < 12; b++) AddObjectToView(object(m->barriers + b), 0, 0, 0, 1);
  AddObjectToView(object(s->fire), m->fire_offset[0], m->fire_offset[1], m->fire_offset[2], 1);
  AddObjectToView(object(s->smoke), -10, -3, -6.5f, 1);
  AddObjectToView(object(s->smoke), 10, -1, -6.5f, 1);
  AddObjectToView(object(s->smoke), 0, 0, 6.5f, 1);
  AddObjectToView(object(s->rain), 0, 0, 0, 1);
  DrawView();
  const std::vector<uint32_t> f = gltest::ReadFrame(800, 600);
  ASSERT_EQ(WritePngRGB("gl3d_scene_effects.png", f.data(), 800, 600), 1);
  EXPECT_TRUE(qoe_test::KeepPng("gl3d_scene_effects.png"));
  // Something of the scene stands in the middle (not the clear colour).
  size_t drawn = 0;
  for (uint32_t y = 200; y < 400; y++)
    for (uint32_t x = 300; x < 500; x++) drawn += f[y * 800 + x] != f[0];
  EXPECT_GT(drawn, 2000u);
  EXPECT_GT(ViewPasses().particle_ranges, 0u);
  E3D().frame_time = 0;
}

}  // namespace

namespace {

struct KeyRun {
  std::atomic<int> got{0};
  std::atomic<uint64_t> frames{0}, presents{0};
};

// The game thread of a first start: shows its screen, lets the window run
// frames, then takes a key that came through the window's event loop.
int ShowsAScreenAndWaitsForAKey(void* p) {
  auto* run = static_cast<KeyRun*>(p);
  if (OpenElmorPic(".\\Data\\Path", 1, 0) != 1) {
    PostWindowDestroy();
    return 1;
  }
  const uint64_t start = GLFrameCount();
  // 600 frames (ten seconds at the window's 60 a second; four minutes at most).
  qoe_test::WaitUntil([&] { return GLFrameCount() >= start + 600; });
  SDL_Event ev{};
  ev.type = SDL_KEYDOWN;
  ev.key.keysym.sym = SDLK_a;
  SDL_PushEvent(&ev);
  PlatformMessage m;
  qoe_test::WaitUntil([&] {
    if (GetGameMessage(&m, 50) && m.kind == kMsgKeyDown && m.key == 'A') run->got = 1;
    return run->got.load() != 0;
  });
  run->frames = GLFrameCount() - start;
  run->presents = SdlPresentCount();
  CloseElmorPic(1, 0);
  PostWindowDestroy();
  return 0;
}

TEST(SceneThread, OnAFirstStartTheWindowRunsFramesAndKeysWhileNoMapExists) {
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ASSERT_TRUE(gltest::OpenGLWindow(6));
  LoadPaths();
  ResetInputState();
  // As the program's entry does: the engine first, then the game thread.
  StartEngine();
  EXPECT_EQ(Engine()->started, 1u);
  KeyRun run;
  QoeThread* game = StartThread("Game", ShowsAScreenAndWaitsForAKey, &run);
  ASSERT_NE(game, nullptr);
  EXPECT_EQ(RunWindowLoop(), 0);
  EXPECT_EQ(JoinThread(game), 0);
  EXPECT_EQ(run.got.load(), 1);
  EXPECT_GE(run.frames.load(), 600u);
  EXPECT_GT(run.presents.load(), 0u);
  FreeAllElmorGfx();
  FreePaths();
  gltest::CloseGLWindow();  // stops the engine while the context exists
  EXPECT_EQ(Engine()->started, 0u);
  EXPECT_EQ(MapScene()->cells, nullptr);
}

}  // namespace
