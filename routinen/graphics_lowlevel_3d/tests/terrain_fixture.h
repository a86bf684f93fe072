// Shared set-up of the terrain-model tests: the data kit's model folders
// linked into the test's working folder, its qoe3d.cfg read by the engine's
// parser, and the terrain types defined as the scene set-up does (the
// file's hexagon commands in a season, then the water and fallback types).
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace terraintest {

constexpr float kW = 32.0f, kD = 27.712f, kQ = 16.0f;
const char* const kFolders[] = {"qoe", "qoe-spring", "qoe-summer", "qoe-autumn", "qoe-winter", "qoe-old"};
const char* const kSeasonFolders[] = {"", "qoe-spring/", "qoe-summer/", "qoe-autumn/", "qoe-winter/", "qoe-old/"};

inline std::string KitDir() { return qoe_test::BinaryDir() + "/datakit"; }

// Links the kit's model folders into the working folder; false when the kit
// has not made them.
inline bool LinkKitFolders() {
  namespace fs = std::filesystem;
  for (const char* f : kFolders) {
    if (!fs::is_directory(KitDir() + "/" + f)) return false;
    std::error_code ec;
    fs::create_directory_symlink(KitDir() + "/" + f, f, ec);
    if (ec) return false;
  }
  return true;
}

// The kit's qoe3d.cfg through the engine's parser: its scene commands
// recorded in the engine record.
inline bool ReadKitConfig() {
  const std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(KitDir() + "/qoe3d.cfg");
  if (bytes.empty()) return false;
  ParseEngineConfig(reinterpret_cast<const char*>(bytes.data()), uint32_t(bytes.size()));
  return true;
}

// A fresh hexagon table.
inline void NewHexagonTable() {
  ResetSceneModels();
  SceneModels()->hexagons =
      static_cast<HexagonType*>(AllocVec(uint32_t(sizeof(HexagonType) * kHexagonTypes), MEMF_PUBLIC | MEMF_CLEAR));
}

// Defines the terrain types of a season as the scene set-up does: the
// configuration's hexagon commands with the season folders on (only the
// graphics in only, when given), then the water and fallback types.
inline void DefineTerrain(uint16_t season, const std::vector<int>& only = {}) {
  Engine()->season = season;
  NewHexagonTable();
  SceneModelState& s = *SceneModels();
  s.loading = 1;
  const EngineRecord& e = *Engine();
  for (uint32_t i = 0; i < e.command_count; i++) {
    const SceneCommand& c = e.commands[i];
    if (c.kind != kSetHexagone) continue;
    bool wanted = only.empty();
    for (int g : only) wanted |= g == c.id;
    if (!wanted) continue;
    SetHexagone(c.id, c.text[0], c.text[1], c.text[2], uint32_t(c.integer[0]), uint8_t(c.integer[1]),
                uint8_t(c.integer[2]), uint8_t(c.integer[3]), uint8_t(c.integer[4]));
  }
  s.loading = 0;
  s.merge_hierarchy = s.share_models = 0;
  const uint32_t before = ThingCount(THING_OBJECT3D);
  XSetHexagone(23, "KID_WASSER00", "qoe/Water_low.qoe", "qoe/Water_high.qoe", 13, 93, 114, 148, 255);
  s.water_objects = int32_t(ThingCount(THING_OBJECT3D) - before) - 1;
  XSetHexagone(28, "KID_WASSER01", "qoe/Water_low.qoe", "qoe/Water_high.qoe", 14, 77, 95, 125, 255);
  XSetHexagone(29, "KID_WASSER02", "qoe/Water_low.qoe", "qoe/Water_high.qoe", 15, 70, 85, 115, 255);
  s.merge_hierarchy = s.share_models = 1;
  SetHexagone(99, "KID_NOT_MADE_OBJECT", "qoe/Objectnotmade.qoe", "NONE", 0, 164, 164, 145, 255);
  SetHexagone(0, "KID_UNKNOWN", "qoe/Newblack.qoe", "NONE", 0, 20, 20, 30, 0);
}

// Distance of (x, z) inside the standard hex's outline (negative outside).
inline float EdgeDist(float x, float z) {
  const float n[6][2] = {{0, -1}, {0.8660254f, -0.5f}, {0.8660254f, 0.5f}, {0, 1}, {-0.8660254f, 0.5f},
                         {-0.8660254f, -0.5f}};
  float d = 1e9f;
  for (const auto& s : n) d = std::min(d, kD - (x * s[0] + z * s[1]));
  return d;
}

// The scene's cell position of column c, row r.
inline void CellPosition(int c, int r, float* x, float* z) {
  const int j = c / 2;
  *x = float(96 * j + (c % 2 ? 80 : 32));
  *z = 55.424f * float(r) + (c % 2 ? 55.424f : 27.712f);
}

}  // namespace terraintest
