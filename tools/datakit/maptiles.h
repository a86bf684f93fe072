// The map view's pictures: terrain tiles of every tile-table row in the four
// seasons and their darker out-of-sight variants, the hex mask (graphic 31),
// graphic 4, the overlays and markers, and the figure and object strips.
// Listed in docs/map-pictures.md.
#pragma once
#include <cstdint>
#include <vector>

#include "art.h"

namespace datakit {

struct MapPicture {
  uint32_t id = 0;
  uint8_t kind = 2;        // index kind: 2 graphic, 3 masked, 4 strip
  int frames = 1, frame_height = 0;
  Image img{1, 1, 0};
  bool bitplane = false;   // one plane, colour 0 transparent (the hex mask)
};

// Every picture of the map view, in ID order.
std::vector<MapPicture> MapPictures();

// The tile table of the map view: picture IDs by terrain graphic and variant.
uint16_t MapTileId(int graphic, int variant);

}  // namespace datakit
