// The characters of the 3D map: the description's rules, the timing of the
// animations, hostile descriptions, and the kit's files read back by the
// engine's own configuration reader and model loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "routinen/graphics_lowlevel_3d/tests/model_fixture.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"
#include "tools/datakit/characters.h"

namespace {

using namespace datakit;

std::string Source() {
  const std::vector<uint8_t> b = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/tools/datakit/characters.txt");
  return std::string(b.begin(), b.end());
}

CharacterSet Parse(const std::string& text) {
  CharacterSet set;
  int line = 0;
  std::string reason;
  EXPECT_TRUE(ParseCharacters(text, &set, &line, &reason)) << line << ": " << reason;
  return set;
}

const CharModel* ModelOfFile(const CharacterSet& set, const std::string& file) {
  for (const CharModel& m : set.models)
    if (m.written && (m.LowFile() == file || m.HighFile() == file)) return &m;
  return nullptr;
}

std::vector<int> MapFigureTypes() {
  std::vector<int> t;
  for (int i = 0; i <= 20; i++) t.push_back(i);
  for (int i = 1000; i <= 1013; i++) t.push_back(i);
  return t;
}

TEST(CharacterKit, EveryFigureTypeHasOneLazingEntryAndTheTableStartsWithTheShield) {
  const CharacterSet set = Parse(Source());
  ASSERT_FALSE(set.entries.empty());
  EXPECT_EQ("FID_SHIELD", set.entries[0].name);
  const std::vector<int> types = MapFigureTypes();
  EXPECT_EQ(types.end(), std::find(types.begin(), types.end(), set.entries[0].type)) << "entry 0 is never shown";
  for (int t : types) {
    int n = 0;
    for (const CharEntry& e : set.entries)
      if (e.type == t) {
        n++;
        EXPECT_EQ("LAZING", e.state) << t;
        EXPECT_NE("NONE", e.low) << t;
      }
    EXPECT_EQ(1, n) << "figure type " << t;
  }
  EXPECT_LE(set.entries.size(), 150u);
}

TEST(CharacterKit, AnimationsKeepTheirKeyframeCountsAndLoopLengths) {
  const CharacterSet set = Parse(Source());
  for (const CharEntry& e : set.entries) {
    if (e.high == "NONE") continue;
    const CharModel* m = ModelOfFile(set, e.high);
    ASSERT_NE(nullptr, m) << e.high;
    const CharTiming t = CharacterTiming(m->animation);
    // The frame time advances by 2 per frame at 60 frames a second.
    EXPECT_GE(t.last, 120u) << e.name;
    EXPECT_LE(t.last, 480u) << e.name;
    if (m->animation.mode == CharAnimation::kKeys) {
      EXPECT_GE(t.numbers.size(), 4u) << e.name;
      EXPECT_LE(t.numbers.size(), 8u) << e.name;
      const size_t points = BuildCharacterMesh(set, *m, t.poses[0]).points.size();
      for (int p : t.poses) EXPECT_EQ(points, BuildCharacterMesh(set, *m, p).points.size()) << e.name;
    } else {
      EXPECT_GE(t.numbers.size(), 10u) << e.name;
    }
  }
}

TEST(CharacterKit, TheBirdHasAFrameAnimationAndShipsTheirOwnStillModels) {
  const CharacterSet set = Parse(Source());
  int birds = 0;
  std::set<std::string> ship_files;
  for (const CharEntry& e : set.entries) {
    if (e.name == "FID_BUSARD") {
      birds++;
      EXPECT_TRUE(e.type >= 1000 && e.type <= 1013) << e.type;
      const CharModel* m = ModelOfFile(set, e.high);
      ASSERT_NE(nullptr, m);
      EXPECT_EQ(CharAnimation::kFrames, m->animation.mode);
      EXPECT_GE(CharacterTiming(m->animation).numbers.size(), 10u);
    }
    const bool ship = e.name.find("SCHIFF") != std::string::npos;
    EXPECT_EQ(ship, e.type >= 14 && e.type <= 19) << e.name;
    if (!ship) continue;
    EXPECT_EQ("XSetCharacter", e.command) << e.name;
    EXPECT_EQ("NONE", e.high) << e.name;
    EXPECT_TRUE(ship_files.insert(e.low).second) << e.low << " shared";
    EXPECT_EQ(CharAnimation::kStill, ModelOfFile(set, e.low)->animation.mode);
    EXPECT_EQ(std::string::npos, e.name.find("DRACHE"));
  }
  EXPECT_EQ(1, birds);
  EXPECT_EQ(6u, ship_files.size());
}

// Every figure fits inside its hex (the inner circle of radius 27.7) at its
// entry's scale, and nothing but ships and the whirlpool reaches below the
// ground.
TEST(CharacterKit, FiguresFitInsideTheirHex) {
  const CharacterSet set = Parse(Source());
  for (const CharEntry& e : set.entries) {
    const CharModel* m = ModelOfFile(set, e.low);
    ASSERT_NE(nullptr, m);
    const int pose = m->animation.mode == CharAnimation::kStill ? -1 : m->animation.poses[0];
    float reach = 0, low = 0;
    for (const QoePoint& p : BuildCharacterMesh(set, *m, pose).points) {
      reach = std::max(reach, std::hypot(p.x, p.z) * e.scale);
      low = std::min(low, p.y * e.scale);
    }
    EXPECT_LT(reach, 27.7f) << e.name;
    // Ships, the whirlpool and the sea serpent lie in the water; the bird
    // flies high above its hex.
    if (e.name.find("SCHIFF") == std::string::npos && e.type != 1007 && e.type != 1008 && e.name != "FID_BUSARD") {
      EXPECT_GT(low, -0.01f) << e.name;
    }
  }
}

TEST(CharacterKit, KeyframesAndFramesFollowTheEnginesFrameTime) {
  CharAnimation keys;
  keys.mode = CharAnimation::kKeys;
  keys.seconds = 2;
  keys.poses = {4, 5, 6};
  CharTiming t = CharacterTiming(keys);
  EXPECT_EQ(240u, t.last);
  EXPECT_EQ((std::vector<int32_t>{0, 80, 160, 240}), t.numbers);
  EXPECT_EQ((std::vector<int>{4, 5, 6, 4}), t.poses);  // the loop joins

  CharAnimation frames;
  frames.mode = CharAnimation::kFrames;
  frames.seconds = 1;
  frames.spin = 360;
  frames.poses = {1, 2};
  t = CharacterTiming(frames);
  // Local times seen: 1 (a restart or a held character), 2, 4, .., 118.
  ASSERT_EQ(61u, t.numbers.size());
  EXPECT_EQ(1, t.numbers[0]);
  EXPECT_EQ(2, t.numbers[1]);
  EXPECT_EQ(118, t.numbers[59]);
  EXPECT_EQ(120, t.numbers[60]);
  EXPECT_EQ(120u, t.last);
  EXPECT_EQ(1, t.poses[0]);
  EXPECT_EQ(1, t.poses[29]);
  EXPECT_EQ(2, t.poses[30]);
  EXPECT_FLOAT_EQ(180.0f, t.spin[30]);
}

TEST(CharacterKit, PosesTurnJointsAboutTheirPivotsAndChildrenFollow) {
  const CharacterSet set = Parse(
      "material m plain 200 100 50\n"
      "model t\n"
      "  joint a root 0 10 0\n"
      "  joint b a 10 10 0\n"
      "  box b m 10 5 0  2 2 2\n"
      "  pose p\n"
      "    turn a 0 0 90\n"
      "  pose q\n"
      "    size b 0\n"
      "    move a 1 2 3\n"
      "  keys 1 p q p\n"
      "end\n");
  const CharMesh rest = BuildCharacterMesh(set, set.models[0], -1);
  const CharMesh p = BuildCharacterMesh(set, set.models[0], 0);
  const CharMesh q = BuildCharacterMesh(set, set.models[0], 1);
  ASSERT_EQ(24u, rest.points.size());
  ASSERT_EQ(6u, rest.face_points.size());
  // The box centre (10, 5, 0) turned by 90 degrees about z round (0, 10, 0):
  // (10, -5) from the pivot becomes (5, 10).
  float cx = 0, cy = 0;
  for (const QoePoint& pt : p.points) {
    cx += pt.x / 24;
    cy += pt.y / 24;
  }
  EXPECT_NEAR(5, cx, 1e-4);
  EXPECT_NEAR(20, cy, 1e-4);
  // Size 0 about b's pivot, then a's move.
  for (const QoePoint& pt : q.points) {
    EXPECT_NEAR(11, pt.x, 1e-4);
    EXPECT_NEAR(12, pt.y, 1e-4);
    EXPECT_NEAR(3, pt.z, 1e-4);
  }
}

// Descriptions the kit cannot use stop it with the line and the reason.
// n materials m0, m1, .. of distinct colours.
std::string Materials(int n) {
  std::string text;
  for (int i = 0; i < n; i++)
    text += "material m" + std::to_string(i) + " " + kCharPatterns[i % 16] + " " + std::to_string(i * 3) + " " +
            std::to_string(255 - i * 3) + " " + std::to_string((i * 37) % 256) + "\n";
  return text;
}

TEST(CharacterKit, RefusesUnusableDescriptionsWithLineAndReason) {
  const std::string mat = "material m plain 1 2 3\n";
  const std::string ok_model = "model a\n  box root m 0 1 0 1 1 1\nend\n";
  struct Case {
    std::string text;
    int line;
    const char* reason;
  } cases[] = {
      {"material m plain 1 2\n", 1, "expected: material"},
      {"material m glitter 1 2 3\n", 1, "no pattern 'glitter'"},
      {mat + mat, 2, "defined twice"},
      {"material m plain 1 2 300\n", 1, "outside"},
      {"material m plain 1 2 x\n", 1, "no number"},
      {"material m plain 1 2 nan\n", 1, "no number"},
      {mat + "model a\n  box root missing 0 0 0 1 1 1\nend\n", 3, "no material 'missing'"},
      {mat + "model a\n  box arm m 0 0 0 1 1 1\nend\n", 3, "no joint 'arm'"},
      {mat + "model a\n  box root m 0 0 0 1 0 1\nend\n", 3, "positive size"},
      {mat + "model a\n  rod root m 0 0 0 0 0 0 1 1 6\nend\n", 3, "two different ends"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n", 2, "has no end"},
      {mat + "model a\nend\n", 3, "has no parts"},
      {mat + "box root m 0 0 0 1 1 1\n", 2, "outside a model"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  turn root 1 2 3\nend\n", 4, "before a pose"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  pose p\n  turn leg 1 2 3\nend\n", 5, "no joint 'leg'"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  pose p\n  keys 1 p p\nend\n", 6, "3 to 7 poses"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  pose p\n  keys 1 p p p p p p p p\nend\n", 6, "3 to 7 poses"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  pose p\n  keys 1 p x p\nend\n", 6, "no pose 'x'"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  pose p\n  keys 9 p p p\nend\n", 5, "outside"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  pose p\n  frames 1 p\n  frames 1 p\nend\n", 6, "two animations"},
      {mat + "model a\n  joint j root 0 0 0\n  joint j root 0 0 0\n  box root m 0 0 0 1 1 1\nend\n", 4, "defined twice"},
      {mat + "model a\n  use nothing x root 0 0 0 1\nend\n", 3, "no model 'nothing'"},
      {mat + "model A\nend\n", 2, "lower-case"},
      {mat + ok_model + ok_model, 5, "defined twice"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  fly root\nend\n", 4, "unknown line 'fly'"},
      {mat + ok_model + "entry SetCharacter 1 N LAZING b.qoe NONE 0 0 0 1\n", 5, "no model makes the file 'b.qoe'"},
      {mat + ok_model + "entry SetCharacter 1 N LAZING a.qoe a_anim.qoe 0 0 0 1\n", 5, "no model makes"},
      {mat + ok_model + "entry SetCharacter 2003 N LAZING a.qoe NONE 0 0 0 1\n", 5, "outside"},
      {mat + ok_model + "entry SetCharacter 1.5 N LAZING a.qoe NONE 0 0 0 1\n", 5, "whole number"},
      {mat + ok_model + "entry SetCharacter 1 N ANNEX a.qoe NONE 0 0 0 1\n", 5, "would not be stored"},
      {mat + ok_model + "entry SetCharacter 1 Map.SkyON LAZING a.qoe NONE 0 0 0 1\n", 5, "equals a key"},
      {mat + ok_model + "entry SetCharacter 1 N LAZING a.qoe NONE 0 0 0\n", 5, "expected: entry"},
      {mat + ok_model + "entry SetHexagone 1 N LAZING a.qoe NONE 0 0 0 1\n", 5, "no command"},
      {mat + ok_model + "entry SetCharacter 1 " + std::string(40, 'N') + " LAZING a.qoe NONE 0 0 0 1\n", 5,
       "longer than 39"},
      {mat + "model a\n  box root m 0 0 0 1 1 1\n  pose p\n  keys 1 p p p\nend\n" +
           "entry SetCharacter 14 FID_SCHIFF LAZING a.qoe a_anim.qoe 0 0 0 1\n",
       7, "a ship's high file"},
      {mat + ok_model + "entry XSetCharacter 14 SCHIFF_A LAZING a.qoe NONE 0 0 0 1\n" +
           "entry XSetCharacter 15 SCHIFF_B LAZING a.qoe NONE 0 0 0 1\n",
       5, "share 'a.qoe'"},
      {Materials(kCharMaterials + 1), kCharMaterials + 1, "more than 64 materials"},
  };
  for (const Case& c : cases) {
    CharacterSet set;
    int line = -1;
    std::string reason;
    EXPECT_FALSE(ParseCharacters(c.text, &set, &line, &reason)) << c.text;
    EXPECT_EQ(c.line, line) << c.text << " -> " << reason;
    EXPECT_NE(std::string::npos, reason.find(c.reason)) << c.text << " -> " << reason;
  }
}

// The scene set-up gives every object's points one colour, so the colours
// live in the texture: each face's points are white and its texture
// coordinates lie in its material's block, at a light level of that block
// showing the material's colour.
TEST(CharacterKit, TheTextureCarriesEveryMaterialsColourAtItsLightLevels) {
  const CharacterSet set = Parse(Materials(kCharMaterials) + "model a\n  box root m0 0 1 0 1 1 1\n" +
                                 "  ball root m63 0 3 0 1 1 1 8\n  box root m17 2 1 0 1 2 1\nend\n");
  ASSERT_EQ(size_t(kCharMaterials), set.materials.size());
  const QoeTexture t = CharacterTexture(set);
  JpegImage img{nullptr, 0, 0, 0};
  ASSERT_EQ(1, DecodeJpeg(t.jpeg.data(), uint32_t(t.jpeg.size()), &img));
  ASSERT_EQ(kCharTextureSide, int(img.width));
  // The middle of each quarter: the material's colour times the pattern's
  // grey and the level's light, within the JPEG's loss.
  for (int m = 0; m < kCharMaterials; m++)
    for (int level = 0; level < kCharShades; level++) {
      const int x = (m % 8) * 32 + (level % 2) * 16 + 8, y = (m / 8) * 32 + (level / 2) * 16 + 8;
      const uint8_t* px = img.pixels + (size_t(y) * kCharTextureSide + x) * 3;
      for (int k = 0; k < 3; k++) {
        const float top = float(set.materials[size_t(m)].rgb[k]) * kCharShadeLevels[level];
        EXPECT_LE(float(px[k]), top + 40.0f) << "material " << m << " level " << level;
        EXPECT_GE(float(px[k]), top * 0.55f - 40.0f) << "material " << m << " level " << level;
      }
    }
  FreeVec(img.pixels);
  const CharMesh mesh = BuildCharacterMesh(set, set.models[0], -1);
  size_t first = 0;
  const int materials[] = {0, 63, 17};
  int solid = 0;
  std::set<int> levels;
  for (uint16_t n : mesh.face_points) {
    // The box of m0 has 6 faces, the ball of m63 8 x 8 / 2 faces and more;
    // each face's points in one quarter of its material's block.
    const QoePoint& a = mesh.points[first];
    const int bx = int(a.u * kCharTextureSide) / 32, by = int(a.v * kCharTextureSide) / 32;
    const int qx = int(a.u * kCharTextureSide) / 16, qy = int(a.v * kCharTextureSide) / 16;
    const int block = by * 8 + bx;
    if (block != materials[solid]) solid++;
    ASSERT_LT(solid, 3);
    EXPECT_EQ(materials[solid], block);
    levels.insert((qy % 2) * 2 + qx % 2);
    for (size_t i = first; i < first + n; i++) {
      const QoePoint& p = mesh.points[i];
      EXPECT_EQ(qx, int(p.u * kCharTextureSide) / 16);
      EXPECT_EQ(qy, int(p.v * kCharTextureSide) / 16);
      for (int k = 0; k < 4; k++) EXPECT_EQ(255, p.rgba[k]);
    }
    first += n;
  }
  EXPECT_EQ(2, solid);
  EXPECT_GE(levels.size(), 3u);  // lit, turned away and between
}

TEST(CharacterKit, HostileDescriptionsEndCleanly) {
  const std::string src = Source();
  uint32_t seed = 12345;
  for (int round = 0; round < 300; round++) {
    std::string text = src.substr(0, src.size() * size_t(round % 50) / 50);
    for (int k = 0; k < 8; k++) {
      seed = seed * 1103515245u + 12345u;
      if (text.empty()) break;
      const size_t at = (seed >> 8) % text.size();
      const char junk[] = {' ', '\n', '9', '-', 'x', '.', '\0', char(0xFF), 'e', '#'};
      text[at] = junk[(seed >> 4) % sizeof junk];
    }
    CharacterSet set;
    int line = 0;
    std::string reason;
    if (ParseCharacters(text, &set, &line, &reason)) {
      for (const CharModel& m : set.models)
        if (m.written) CharacterLowModel(set, m, QoeTexture{});
    } else {
      EXPECT_FALSE(reason.empty());
    }
  }
}

TEST(CharacterKit, TheKitWroteTheDescriptionsFilesByteForByte) {
  const std::string kit = qoe_test::BinaryDir() + "/datakit/qoe-anims/";
  QOE_REQUIRE_BUILT(kit + "scout.qoe");
  const CharacterSet set = Parse(Source());
  const QoeTexture texture = CharacterTexture(set);
  EXPECT_EQ(CharacterTexture(set).jpeg, texture.jpeg);
  for (const CharModel& m : set.models) {
    if (!m.written) continue;
    EXPECT_EQ(WriteQoe(CharacterLowModel(set, m, texture), true), qoe_test::ReadFileBytes(kit + m.LowFile()))
        << m.name;
    if (m.animation.mode != CharAnimation::kStill) {
      EXPECT_EQ(WriteQoe(CharacterHighModel(set, m, texture), true), qoe_test::ReadFileBytes(kit + m.HighFile()))
          << m.name;
    }
  }
}

// ---------------------------------------------------------------------------
// The kit's files read by the engine.

class CharacterFiles : public enginetest::ModelData {
 protected:
  void SetUp() override {
    ModelData::SetUp();
    Register(4096);
    cfg_ = qoe_test::BinaryDir() + "/datakit/qoe3d.cfg";
  }
  std::string cfg_;
};

bool IsCharacter(const SceneCommand& c) { return c.kind == kSetCharacter || c.kind == kXSetCharacter; }

TEST_F(CharacterFiles, CommandsFollowTheHexagonCommandsWithNineTokensEach) {
  QOE_REQUIRE_BUILT(cfg_);
  const std::vector<uint8_t> text = qoe_test::ReadFileBytes(cfg_);
  ParseEngineConfig(reinterpret_cast<const char*>(text.data()), uint32_t(text.size()));
  const CharacterSet set = Parse(Source());
  const EngineRecord& e = *Engine();
  std::vector<const SceneCommand*> chars;
  bool seen_character = false;
  for (uint32_t i = 0; i < e.command_count; i++) {
    if (IsCharacter(e.commands[i])) {
      seen_character = true;
      chars.push_back(&e.commands[i]);
    } else {
      EXPECT_FALSE(seen_character) << "a hexagon command after a character command";
    }
  }
  // Every entry arrived whole: had a token equalled a key, the reader would
  // have taken it as that key and the texts would not match.
  ASSERT_EQ(set.entries.size(), chars.size());
  for (size_t i = 0; i < chars.size(); i++) {
    const CharEntry& en = set.entries[i];
    const SceneCommand& c = *chars[i];
    EXPECT_EQ(en.command == "XSetCharacter" ? kXSetCharacter : kSetCharacter, c.kind);
    EXPECT_EQ(en.type, c.id);
    EXPECT_STREQ(en.name.c_str(), c.text[0]);
    EXPECT_STREQ(en.state.c_str(), c.text[1]);
    EXPECT_STREQ(en.low.c_str(), c.text[2]);
    EXPECT_STREQ(en.high.c_str(), c.text[3]);
    EXPECT_FLOAT_EQ(en.scale, c.number[3]);
  }
}

TEST_F(CharacterFiles, EveryFileTheConfigurationNamesLoadsWithItsShape) {
  QOE_REQUIRE_BUILT(cfg_);
  const std::vector<uint8_t> text = qoe_test::ReadFileBytes(cfg_);
  ParseEngineConfig(reinterpret_cast<const char*>(text.data()), uint32_t(text.size()));
  Engine()->half_textures = 1;  // the textures as the files hold them
  const EngineRecord& e = *Engine();
  // The engine reads them from the working folder, as "qoe-anims/" + file.
  std::filesystem::copy(qoe_test::BinaryDir() + "/datakit/qoe-anims", "qoe-anims");
  const std::string dir = "qoe-anims/";
  std::set<std::string> seen;
  int commands = 0;
  for (uint32_t i = 0; i < e.command_count; i++) {
    const SceneCommand& c = e.commands[i];
    if (!IsCharacter(c)) continue;
    commands++;
    const std::string low = c.text[2], high = c.text[3];
    // Low: one still object.
    if (seen.insert(low).second) {
      const uint32_t objects = N(THING_OBJECT3D), animations = N(THING_ANIMATION3D);
      ASSERT_GE(LoadQOE((dir + low).c_str()), 0) << low << (log_.empty() ? "" : log_.back());
      EXPECT_EQ(objects + 1, N(THING_OBJECT3D)) << low;
      EXPECT_EQ(animations, N(THING_ANIMATION3D)) << low;
    }
    if (high == "NONE" || !seen.insert(high).second) continue;
    const uint32_t animations = N(THING_ANIMATION3D);
    ASSERT_GE(LoadQOE((dir + high).c_str()), 0) << high;
    ASSERT_EQ(animations + 1, N(THING_ANIMATION3D)) << high;
    const auto* a = At<ANIMATION3D>(THING_ANIMATION3D, animations);
    ASSERT_GE(a->frame_count, 4u) << high;
    if (std::string(c.text[0]) == "FID_BUSARD") {
      EXPECT_GE(a->frame_count, 10u);
    }
    if (a->frame_count < 10) {
      // Keyframes: every frame's object has the points of the first, and
      // the last frame number is the loop's length.
      EXPECT_LE(a->frame_count, 8u) << high;
      const auto* first = static_cast<const OBJECT3D*>(a->frames[0].target);
      for (uint32_t f = 0; f < a->frame_count; f++) {
        const FRAME3D& fr = a->frames[f];
        ASSERT_EQ(THING_OBJECT3D, fr.target_key);
        const auto* o = static_cast<const OBJECT3D*>(fr.target);
        ASSERT_NE(nullptr, o);
        EXPECT_EQ(first->point_count, o->point_count) << high << " frame " << f;
      }
      EXPECT_EQ(uint32_t(a->frames[a->frame_count - 1].number), a->last_frame) << high;
    }
  }
  EXPECT_GE(commands, 35);
  // One texture for every character, holding the kit's pixels.
  uint32_t textures = 0;
  JpegImage img{nullptr, 0, 0, 0};
  const QoeTexture kit = CharacterTexture(Parse(Source()));
  ASSERT_EQ(1, DecodeJpeg(kit.jpeg.data(), uint32_t(kit.jpeg.size()), &img));
  for (uint32_t i = 0; i < N(THING_TEXTURE3D); i++) {
    const auto* t = At<TEXTURE3D>(THING_TEXTURE3D, i);
    if (std::strcmp(t->file, kCharTextureFile) != 0) continue;
    textures++;
    EXPECT_EQ(256, t->width);
    EXPECT_EQ(256, t->height);
    EXPECT_EQ(24, t->depth);
    EXPECT_EQ(0, std::memcmp(t->pixels, img.pixels, 256 * 256 * 3));
  }
  FreeVec(img.pixels);
  EXPECT_EQ(1u, textures);
}

}  // namespace

namespace {

// The kit's character commands through the engine's own SetCharacter and
// XSetCharacter, into a table allocated as the scene set-up does.
class CharacterTable : public CharacterFiles {
 protected:
  void SetUp() override {
    CharacterFiles::SetUp();
    E3D().characters =
        static_cast<CharacterEntry*>(AllocVec(kCharacterEntries * sizeof(CharacterEntry), MEMF_PUBLIC | MEMF_CLEAR));
    ASSERT_NE(nullptr, E3D().characters);
    E3D().character_count = 0;
    InitView();
  }
  void TearDown() override {
    FreeVec(E3D().characters);
    E3D().characters = nullptr;
    E3D().character_count = 0;
    CharacterFiles::TearDown();
  }
  void Fill() {
    QOE_REQUIRE_BUILT(cfg_);
    std::filesystem::copy(qoe_test::BinaryDir() + "/datakit/qoe-anims", "qoe-anims");
    const std::vector<uint8_t> text = qoe_test::ReadFileBytes(cfg_);
    ParseEngineConfig(reinterpret_cast<const char*>(text.data()), uint32_t(text.size()));
    Engine()->half_textures = 1;
    const EngineRecord& e = *Engine();
    for (uint32_t i = 0; i < e.command_count; i++) {
      const SceneCommand& c = e.commands[i];
      if (!IsCharacter(c)) continue;
      (c.kind == kXSetCharacter ? XSetCharacter : SetCharacter)(c.id, c.text[0], c.text[1], c.text[2], c.text[3],
                                                                c.number[0], c.number[1], c.number[2], c.number[3]);
    }
  }
};

TEST_F(CharacterTable, EveryMapFigureFindsAnEntryWhoseElementsExist) {
  Fill();
  if (HasFatalFailure() || IsSkipped()) return;
  for (const std::string& l : log_) {
    EXPECT_EQ(std::string::npos, l.find("LoadQOEasElement")) << l;
    EXPECT_EQ(std::string::npos, l.find("nicht hinzugefuegt")) << l;
    EXPECT_EQ(std::string::npos, l.find("fehlerhaft")) << l;
  }
  EXPECT_EQ(0, E3D().shield_entry);
  ASSERT_GT(E3D().bird_entry, 0);
  EXPECT_STREQ("FID_BUSARD", E3D().characters[E3D().bird_entry].name);
  for (int type : MapFigureTypes())
    for (uint8_t state : {0, 1, 3, 7, 18}) {
      const uint32_t i = FindCharacter(uint16_t(type), state);
      ASSERT_GT(i, 0u) << type;
      const CharacterEntry& c = E3D().characters[i];
      EXPECT_EQ(type, c.figure_type);
      EXPECT_NE(nullptr, c.low) << type;
      EXPECT_NE(nullptr, c.high) << type;
      EXPECT_NE(nullptr, c.low->frame.target) << type;
      EXPECT_NE(nullptr, c.high->frame.target) << type;
    }
}

// Every animated element shows its figure at every frame time of its loop,
// held or not (a frame animation shows a frame only at its exact time).
TEST_F(CharacterTable, EveryElementShowsItsFigureAtEveryFrameTime) {
  Fill();
  if (HasFatalFailure() || IsSkipped()) return;
  int32_t clock = 1000;  // the frame time only grows (shared elements keep their start)
  for (uint32_t i = 1; i < E3D().character_count; i++) {
    CharacterEntry& c = E3D().characters[i];
    ASSERT_NE(nullptr, c.high);
    const auto* a = c.high->frame.target_key == THING_ANIMATION3D
                        ? static_cast<const ANIMATION3D*>(c.high->frame.target)
                        : nullptr;
    const int32_t loop = a ? int32_t(a->last_frame) : 2;
    for (int hold = 0; hold <= 1; hold++)
      for (int32_t t = 0; t <= 2 * loop + 4; t += 2) {
        E3D().frame_time = clock += 2;
        E3D().hold = hold;
        InitView();
        AddElementToView(c.high, 0, 0, 0);
        EXPECT_GT(ViewObject()->point_count, 0) << c.name << " at " << t << (hold ? " held" : "");
      }
    E3D().hold = 0;
  }
}

}  // namespace
