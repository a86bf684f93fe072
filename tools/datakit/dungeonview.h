// The dungeon view's graphics (floors, ceilings, wall faces, doors, chests,
// traps, exits) rendered from one perspective description of the corridor,
// and the position table the dungeon screen draws them by, written from the
// same description (docs/dungeon-maps.md, "The view").
#pragma once
#include <string>
#include <vector>

#include "maptiles.h"

namespace datakit {

// Every graphic of the view, in ID order; *table receives the position
// table as C++ rows (the text of screens/story/dungeon_view_table.inc).
std::vector<MapPicture> DungeonViewPictures(std::string* table);

}  // namespace datakit
