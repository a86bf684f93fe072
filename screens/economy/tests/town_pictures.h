// The town view's pictures in the test's data folder, each in a file of its
// own (Gfx/TownNNNN.ilbm, named in .\Data\Path): the kit's copies, or test
// drawings of the right IDs and sizes for any the kit does not draw (the
// level pictures 39, 745..747, skies and overcast pairs, title graphics,
// object pairs 758..771 and the building pictures 600..703).
#pragma once
#include <cstdint>
#include <string>

namespace town_test {

// Copies the kit into the working directory and adds the pictures to its
// index .\Data\Path. False when the kit is missing or a file cannot be written.
bool InstallTownPictures();
// Replaces one picture's file with a different drawing (a new art set).
bool RepaintPicture(uint32_t id);

}  // namespace town_test
