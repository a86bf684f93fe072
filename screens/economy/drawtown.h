// DrawTown: the town's standing buildings drawn over the town view's
// picture, each line of buildings at its lot by the town's level, composed
// once from the building pictures (IDs 600..703) and kept as a cache
// ".\Data\Cities\<town file name>.image". Design: docs/town-view.md.
#pragma once
#include <cstdint>

struct RastPort;
struct st_TOWN;

enum : uint32_t {
  kTownLots = 38,            // the buildable buildings, one lot each
  kTownPictureFirst = 600,   // building pictures 600..703 (reserved to 719)
  kTownPictureLast = 703,
  kTownBuildingWidth = 48,   // every building picture
  kTownBuildingHeight = 40,
  kTownImageKeySize = 8 + kTownLots * 14,  // the cache key (docs/town-view.md)
};

// The building a lot shows: the highest standing member of its line (or the
// single building), -1 when none stands.
int32_t TownLotBuilding(const st_TOWN* town, uint32_t lot);
// The lot of a building (any member of a line), -1 for a building on none.
int32_t TownBuildingLot(uint32_t building);
// The picture of a building, 0 for one without.
uint32_t TownBuildingPicture(uint32_t building);
// The top-left corner of a lot at a town level (levels outside 1..4: 1).
void TownLotPosition(uint32_t level, uint32_t lot, int32_t* x, int32_t* y);

// Draws the town's buildings into rp (null: the screen) at (0, 0) of the
// 640 x 480 area. Returns 2 when drawn from the cache, 1 when composed from
// the building pictures (the cache written anew), 0 when nothing could be
// drawn (no town, no memory). A cache that cannot be written is logged.
int32_t DrawTown(RastPort* rp, const st_TOWN* town);
// The cache file of a town: ".\Data\Cities\<file name>.image".
void TownImagePath(const st_TOWN* town, char* out, uint32_t out_size);
// Reads a cache image: 1 with the 640 x 480 layer in pixels (width x height
// bytes, 255 transparent) when the data is a valid cache whose key chunk is
// key (key_size bytes) followed by the CRC-32 of the layer it decodes to,
// else 0. For the fuzz target and DrawTown.
int32_t ReadTownImage(const void* data, uint32_t size, const uint8_t* key, uint32_t key_size, uint8_t* pixels);
