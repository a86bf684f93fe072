// The engine configuration: defaults, every kind of key, the value words,
// rule of the one pass (a value token that is a later key acts as it),
// scene commands, long tokens and the file itself.
#include <cstring>
#include <string>
#include <vector>

#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/engine_fixture.h"
#include "tests/support/test_support.h"

namespace {

using EngineConfig = enginetest::EngineData;

void Parse(const std::string& text) { ParseEngineConfig(text.data(), uint32_t(text.size())); }

TEST_F(EngineConfig, DefaultsAreTheDocumentedOnes) {
  const EngineRecord* e = Engine();
  EXPECT_STREQ(e->banner, "Quill Of Elmor - 3D Engine v140");
  EXPECT_EQ(e->mode_width, 800);
  EXPECT_EQ(e->mipmapping, 1u);
  EXPECT_EQ(e->half_textures, 2u);
  EXPECT_EQ(e->regroup_textures, 0u);
  EXPECT_FLOAT_EQ(e->rotation, 38.0f);
  EXPECT_FLOAT_EQ(e->scale, 0.3f);
  EXPECT_FLOAT_EQ(e->perspective, 0.36f);
  EXPECT_EQ(e->season, 3);
  EXPECT_EQ(e->owner_null, -1);
  EXPECT_EQ(e->fog_mode, 1);
  EXPECT_EQ(e->fog_rgba[0], 128);
  EXPECT_EQ(e->fog_rgba[1], 173);
  EXPECT_EQ(e->fog_rgba[2], 192);
  EXPECT_EQ(e->fog_rgba[3], 128);
  EXPECT_EQ(e->cap_vertex_changes, 1600000u);
  EXPECT_EQ(e->colours[5][0], 255);
  EXPECT_EQ(e->colours[2][1], 113);
}

// One case: the file's text, then a check of the record.
struct Case {
  const char* text;
  bool (*check)(const EngineRecord&);
};

TEST_F(EngineConfig, KeysAndValueWordsTableDriven) {
  const Case cases[] = {
      // NONE keeps the setting; a word that is no number sets 0.
      {"Engine.Scale NONE", [](const EngineRecord& e) { return e.scale == 0.3f; }},
      {"Engine.Scale abc", [](const EngineRecord& e) { return e.scale == 0.0f; }},
      {"Engine.Scale 1.75", [](const EngineRecord& e) { return e.scale == 1.75f; }},
      {"Engine.Scale 2.5x", [](const EngineRecord& e) { return e.scale == 2.5f; }},
      // Booleans take exactly TRUE and FALSE.
      {"Engine.MipMapping yes", [](const EngineRecord& e) { return e.mipmapping == 1; }},
      {"Engine.MipMapping FALSE", [](const EngineRecord& e) { return e.mipmapping == 0; }},
      {"Engine.MipMapping false", [](const EngineRecord& e) { return e.mipmapping == 1; }},
      {"Map.SkyON TRUE", [](const EngineRecord& e) { return e.sky_on == 1 && e.night_on == 0; }},
      // Seasons by word only.
      {"Map.ActualSeason AUTUMN", [](const EngineRecord& e) { return e.season == 3; }},
      {"Map.ActualSeason WINTER", [](const EngineRecord& e) { return e.season == 4; }},
      {"Map.ActualSeason ANIM", [](const EngineRecord& e) { return e.season == 7; }},
      {"Map.ActualSeason 4", [](const EngineRecord& e) { return e.season == 3; }},
      {"Map.ActualSeason NONE", [](const EngineRecord& e) { return e.season == 3; }},
      // The fog colour: low bytes, alpha stays.
      {"Engine.FogRGBA 300 10 20",
       [](const EngineRecord& e) { return e.fog_rgba[0] == 44 && e.fog_rgba[1] == 10 && e.fog_rgba[2] == 20 && e.fog_rgba[3] == 128; }},
      {"Engine.FogRGBA -1 x 256",
       [](const EngineRecord& e) { return e.fog_rgba[0] == 255 && e.fog_rgba[1] == 0 && e.fog_rgba[2] == 0; }},
      // Integers.
      {"Engine.HalfTextures 4 Map.OwnerNull -7 Engine.FogMode 3",
       [](const EngineRecord& e) { return e.half_textures == 4 && e.owner_null == -7 && e.fog_mode == 3; }},
      {"Engine.HalfTextures NONE Map.OwnerUser 99999999999",
       [](const EngineRecord& e) { return e.half_textures == 2 && e.owner_user == 2147483647; }},
      // Keys are case-sensitive whole tokens; remarks are skipped word by word.
      {"engine.scale 4 # Engine.Scale: the zoom\nEngine.Flip 45",
       [](const EngineRecord& e) { return e.scale == 0.3f && e.flip == 45.0f; }},
      {"Remark words and numbers 1 2 3 Engine.FlipMax 80 end",
       [](const EngineRecord& e) { return e.flip_max == 80.0f; }},
      // One pass: a value token that is a key further down is taken as it.
      {"Engine.MipMapping Engine.Rotation 45",
       [](const EngineRecord& e) { return e.mipmapping == 1 && e.rotation == 45.0f; }},
      {"Engine.Rotation Engine.MipMapping FALSE",  // the key is further up: not taken
       [](const EngineRecord& e) { return e.rotation == 0.0f && e.mipmapping == 1; }},
      {"Map.SkyON Map.UseAnimations FALSE",
       [](const EngineRecord& e) { return e.sky_on == 0 && e.use_animations == 0; }},
      {"Map.ActualSeason Engine.FogMode 0",
       [](const EngineRecord& e) { return e.season == 3 && e.fog_mode == 0; }},
      // A key at the very end has no value: nothing changes.
      {"Engine.Scale", [](const EngineRecord& e) { return e.scale == 0.3f; }},
      {"Engine.FogRGBA 1 2", [](const EngineRecord& e) { return e.fog_rgba[0] == 128 && e.fog_rgba[1] == 173; }},
      {"Map.NightON", [](const EngineRecord& e) { return e.night_on == 0; }},
      {"Map.SkyON TRUE ", [](const EngineRecord& e) { return e.sky_on == 1; }},
      {"Map.SkyON\tTRUE\n", [](const EngineRecord& e) { return e.sky_on == 1; }},
      {"Map.SkyON TRUEx", [](const EngineRecord& e) { return e.sky_on == 0; }},
  };
  for (const Case& c : cases) {
    InitEngineDefaults();
    Parse(c.text);
    EXPECT_TRUE(c.check(*Engine())) << c.text;
  }
}

TEST_F(EngineConfig, SceneCommandsAreRecordedInOrder) {
  Parse("SetHexagone 17 KID_WALD00 qoe/Hex_forest.qoe qoe/Hex_forest_high.qoe 0 -1 200 100 50\n"
        "Map.SkyON TRUE\n"
        "XSetCharacter 3 Busard a.qoe b.qoe c.qoe 1.5 2 -3 0.25\n"
        "XSetHexagone 23 KID_WASSER00 w.qoe wh.qoe 13 93 114 148 255\n"
        "SetCharacter 4 Figur f.qoe g.qoe h.qoe 1 2 3 4");
  const EngineRecord* e = Engine();
  ASSERT_EQ(e->command_count, 4u);
  const SceneCommand& hex = e->commands[0];
  EXPECT_EQ(hex.kind, kSetHexagone);
  EXPECT_EQ(hex.id, 17);
  EXPECT_EQ(hex.text_count, 3);
  EXPECT_STREQ(hex.text[0], "KID_WALD00");
  EXPECT_STREQ(hex.text[2], "qoe/Hex_forest_high.qoe");
  EXPECT_EQ(hex.integer[0], 0);
  EXPECT_EQ(hex.integer[1], -1);
  EXPECT_EQ(hex.integer[4], 50);
  EXPECT_EQ(e->sky_on, 1u);
  const SceneCommand& bird = e->commands[1];
  EXPECT_EQ(bird.kind, kXSetCharacter);
  EXPECT_STREQ(bird.text[3], "c.qoe");
  EXPECT_FLOAT_EQ(bird.number[0], 1.5f);
  EXPECT_FLOAT_EQ(bird.number[3], 0.25f);
  EXPECT_EQ(e->commands[2].kind, kXSetHexagone);
  EXPECT_EQ(e->commands[2].integer[0], 13);
  EXPECT_EQ(e->commands[2].integer[4], 255);
  EXPECT_EQ(e->commands[3].kind, kSetCharacter);
  EXPECT_EQ(e->commands[3].id, 4);
}

// While the scene set-up reads, each command runs as the reader meets it:
// it sees the keys before it, not those after.
std::vector<std::string> g_ran;
TEST_F(EngineConfig, ACommandRunsAsTheReaderMeetsIt) {
  g_ran.clear();
  E3D().scene_command = [](const SceneCommand* c) {
    g_ran.push_back(std::string(c->text[0]) + (Engine()->use_high_poly ? " high" : " low"));
  };
  Parse("SetHexagone 1 first a b 1 2 3 4 5 Map.UseHighPoly FALSE SetCharacter 2 second a b c 1 2 3 4 "
        "Map.UseHighPoly TRUE XSetHexagone 3 third a b 1 2 3 4 5");
  E3D().scene_command = nullptr;
  ASSERT_EQ(g_ran.size(), 3u);
  EXPECT_EQ(g_ran[0], "first high");
  EXPECT_EQ(g_ran[1], "second low");
  EXPECT_EQ(g_ran[2], "third high");
  EXPECT_EQ(Engine()->command_count, 3u);
}

TEST_F(EngineConfig, TokensOfAnyLengthAndTruncatedCommands) {
  std::string name(5000, 'n');
  Parse("SetHexagone 5 " + name + " a b 1 2 3 4 5 Engine.Flip 60");
  ASSERT_EQ(Engine()->command_count, 1u);
  EXPECT_EQ(std::strlen(Engine()->commands[0].text[0]), 5000u);
  EXPECT_FLOAT_EQ(Engine()->flip, 60.0f);
  // A long token is one token, never a key.
  Parse(std::string(100000, 'x') + "Engine.Scale 3");
  EXPECT_FLOAT_EQ(Engine()->scale, 0.3f);
  // A command cut short by the end of the file is recorded with empty tokens.
  Parse("SetCharacter 9 only");
  ASSERT_EQ(Engine()->command_count, 2u);
  EXPECT_STREQ(Engine()->commands[1].text[0], "only");
  EXPECT_STREQ(Engine()->commands[1].text[3], "");
  // NUL bytes separate tokens like blanks.
  Parse(std::string("Engine.Flip\0" "70", 14));
  EXPECT_FLOAT_EQ(Engine()->flip, 70.0f);
}

TEST_F(EngineConfig, TheFileInTheWorkingFolder) {
  EXPECT_EQ(ReadEngineConfig("qoe3d.cfg"), 0);  // missing: every default stands
  EXPECT_FLOAT_EQ(Engine()->scale, 0.3f);
  ASSERT_TRUE(qoe_test::WriteFileBytes("qoe3d.cfg", {}));
  EXPECT_EQ(ReadEngineConfig("qoe3d.cfg"), 1);
  const std::string text = "Engine.FogStart 0.5\r\nEngine.FogDensity 0.25\r\nMap.ActualSeason WINTER\r\n";
  ASSERT_TRUE(qoe_test::WriteFileBytes("QOE3D.CFG", std::vector<uint8_t>(text.begin(), text.end())));
  std::remove("qoe3d.cfg");
  EXPECT_EQ(ReadEngineConfig("qoe3d.cfg"), 1);  // any letter case on disk
  EXPECT_FLOAT_EQ(Engine()->view_fog_start, 0.5f);
  EXPECT_FLOAT_EQ(Engine()->view_fog_density, 0.25f);
  EXPECT_EQ(Engine()->season, 4);
}

TEST_F(EngineConfig, TheDataKitsFileHoldsTheDefaults) {
  const std::string kit = qoe_test::BinaryDir() + "/datakit/qoe3d.cfg";
  QOE_REQUIRE_BUILT(kit);
  const std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(kit);
  const EngineRecord before = *Engine();
  ParseEngineConfig(reinterpret_cast<const char*>(bytes.data()), uint32_t(bytes.size()));
  EngineRecord after = *Engine();
  after.commands = nullptr;
  after.command_count = after.command_capacity = 0;
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
}

}  // namespace
