// The readable description of the 3D map's terrain models
// (tools/datakit/terrain/models.txt): one block per model family, read into
// records the terrain generator builds from. Format: docs/gl3d-terrain.md.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

// Seasons of a material list: spring, summer, autumn, winter, and the old
// look (summer's materials).
constexpr int kTerrainSeasons = 5;
// One material name per season.
using SeasonMaterials = std::array<std::string, kTerrainSeasons>;

enum class TerrainFeature {
  kPeak, kPit, kCap, kSteep, kWater, kPool, kPatch, kField, kPath, kRiver, kTrees, kRocks, kHouses, kTownWall,
  kTowers, kKeep, kHearth, kMill, kStones, kPier, kReeds, kFlowers, kWell, kRuin, kHay,
};

struct TerrainFeatureDesc {
  TerrainFeature kind;
  int line = 0;
  std::vector<double> num;      // the feature's numbers, in the order of its line
  std::string word;             // trees: the kind; water: the sides
  SeasonMaterials materials{};  // cap, steep, patch, field, path
};

// An exact file the model is written to, besides (or instead of) its
// season files.
struct TerrainFileDesc {
  std::string path;  // relative to the output folder
  bool high = false;
  int season = 0;
};

struct TerrainModelDesc {
  std::string name;
  int line = 0;
  uint32_t seed = 0;
  int grid = 4;          // the high model's ground lattice (the low one half of it)
  double relief = 0.4;   // height of the ground's noise
  bool season_files = true;  // false when the block names its files itself
  SeasonMaterials ground{};
  SeasonMaterials roof{}, foliage{};
  std::vector<TerrainFeatureDesc> features;
  std::vector<TerrainFileDesc> files;
};

// Names the generator can draw: ground and shared materials.
bool KnownTerrainMaterial(const std::string& name);

// Parses the description; false with "file:line: reason" in *err on the
// first line it cannot use (an unknown word or material, a number out of
// range, a position off the hex, a model without ground).
bool ParseTerrainModels(const std::string& text, const std::string& file, std::vector<TerrainModelDesc>* out,
                        std::string* err);

}  // namespace datakit
