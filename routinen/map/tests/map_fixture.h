// Test worlds for the map engine: M_/B_ part files written by the tests,
// a picture index of generated test tiles (each tile one colour by its ID,
// cut to the hex of graphic 31), figure strips, overlays and a MapPrefs file.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "routinen/map/map.h"

namespace maptest {

// The terrain graphic, owner and values of a world hex in the test realm.
struct Terrain {
  uint16_t grafik = 0;
  uint32_t owner = kNobody;
  int8_t wert[3] = {0, 0, 0};
  uint32_t flags = 0;
};
using WorldFn = std::function<Terrain(int32_t x, int32_t y)>;

// A varied realm round a capital: water, grass, forest, hills, mountains,
// desert, swamp, the capital's town hexes owned by player `owner`.
Terrain DemoRealm(int32_t x, int32_t y, int32_t capital_x, int32_t capital_y, uint32_t owner);
// Hex distance of the column layout (odd columns half a hex lower), written
// independently of the engine.
int32_t HexDistanceForTest(int32_t c1, int32_t r1, int32_t c2, int32_t r2);

// Writes map part (px, py) of .\Map from the world function (X/Y stored right).
void WritePart(const WorldFn& world, int32_t px, int32_t py);
// Writes knowledge part (px, py): bit set where known(x, y).
void WriteKnowledge(const std::function<bool(int32_t, int32_t)>& known, int32_t px, int32_t py);
// Writes the 3 x 3 parts (and knowledge) round part (px, py).
void WriteWindow(const WorldFn& world, int32_t px, int32_t py, bool knowledge = true);
std::string PartPath(char kind, int32_t px, int32_t py);  // "Map/M_1_2.map"

// The pen a test picture of `id` is filled with.
uint8_t PenOf(uint32_t id);
// Sets the screen palette to the test palette (pen -> colour).
void SetTestPalette();
uint32_t ColourOfPen(uint8_t pen);

// Writes .\Data\Path and Gfx\ with every picture the map engine draws.
void WriteTestPictures();
// Writes fonts\XHelvetica9.fnt from the build's data kit.
void CopyMapFont();

// A MapPrefs file: MREF then MOVE with these figures (big-endian).
struct Fig {
  uint32_t owner;
  uint16_t type;
  uint16_t number;
  uint32_t x, y;
  uint8_t state = 0, points = 0;
};
std::vector<uint8_t> MapPrefsImage(const std::vector<Fig>& figs, int32_t extra_payload = 0);
void WriteMapPrefs(const std::vector<Fig>& figs);

// Open file descriptors of this process (for handle-leak checks) and the
// map part files among them.
int OpenFdCount();
std::vector<std::string> OpenPartFiles();

}  // namespace maptest

namespace maptest {
inline uint32_t GetLE32Test(const uint8_t* p) {
  return p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
}  // namespace maptest
