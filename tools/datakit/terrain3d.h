// The 3D map's terrain models: every hexagon model of the season folders,
// the water and fallback models, from the description in
// terrain/models.txt; and the hexagon commands of qoe3d.cfg.
// docs/gl3d-terrain.md.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "qoe_writer.h"
#include "terrain_desc.h"

namespace datakit {

// The season folders, spring to winter and the old look.
extern const char* const kTerrainSeasonFolders[kTerrainSeasons];

// A terrain graphic's model family (the models "<model>_low.qoe" and
// "<model>_high.qoe" of every season folder).
struct TerrainUse {
  int graphic;
  const char* name;   // the type's name in the scene command
  const char* model;
};
// Graphics 1 to 91 but the water (23, 28, 29), which the scene defines.
const std::vector<TerrainUse>& TerrainUses();

// The hexagon commands of qoe3d.cfg: one "SetHexagone" line per use.
std::string TerrainHexagonCommands();

// One model in one season (0 spring .. 3 winter, 4 old) and detail; false
// with "file:line: reason" when it breaks a rule (over its face budget, a
// point off the hex).
bool BuildTerrainModel(const TerrainModelDesc& desc, int season, bool high, QoeModel* out, std::string* err,
                       const std::string& file);
// Face budgets of the two details.
constexpr int kLowFaceBudget = 40, kHighFaceBudget = 250;

// Reads <source>/terrain/models.txt and writes every model file into out;
// false with the reason in *err.
bool MakeTerrain3DFiles(const std::filesystem::path& source, const std::filesystem::path& out, std::string* err);

}  // namespace datakit
