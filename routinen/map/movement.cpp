// Terrain types, movement points and costs, and the range a figure reaches.
#include <cstring>

#include "map_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

const uint8_t MoveCostTable[21][11] = {
    {2, 2, 2, 2, 4, 3, 4, 6, 8, 0, 1},     // 0 scout
    {2, 2, 2, 2, 4, 4, 4, 4, 0, 0, 1},     // 1 light infantry
    {2, 2, 2, 2, 4, 4, 4, 4, 0, 0, 1},     // 2 medium infantry
    {2, 2, 2, 2, 4, 4, 4, 4, 0, 0, 1},     // 3 heavy infantry
    {2, 2, 2, 4, 10, 6, 0, 6, 0, 0, 1},    // 4 light cavalry
    {2, 3, 3, 5, 10, 7, 0, 7, 0, 0, 1},    // 5 medium cavalry
    {2, 3, 4, 6, 10, 8, 0, 8, 0, 0, 1},    // 6 heavy cavalry
    {2, 2, 2, 2, 0, 2, 0, 0, 0, 0, 1},     // 7 light artillery
    {2, 2, 2, 2, 0, 2, 0, 0, 0, 0, 1},     // 8 medium artillery
    {2, 2, 2, 2, 0, 2, 0, 0, 0, 0, 1},     // 9 heavy artillery
    {2, 3, 3, 4, 6, 6, 6, 6, 0, 0, 1},     // 10 settler
    {2, 2, 2, 2, 2, 2, 2, 2, 2, 0, 1},     // 11
    {2, 3, 2, 2, 3, 3, 4, 4, 0, 0, 1},     // 12 cleric
    {2, 3, 2, 2, 3, 3, 4, 4, 0, 0, 0},     // 13
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0},     // 14 small trade ship
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0},     // 15
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0},     // 16
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0},     // 17 small war ship
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0},     // 18
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1},     // 19 big war ship
    {2, 2, 2, 2, 4, 3, 4, 6, 8, 0, 0},     // 20 caravan
};

namespace {

// Terrain type (low nibble) and cost column (high nibble, 15 = the fixed
// cost 2) of each terrain graphic 0..91.
constexpr uint8_t F = 0xF0;
const uint8_t kGraphic[92] = {
    0,                                                           // 0
    F | 11, F | 11, F | 11, F | 7, 0x70 | 2, 0x40 | 4, F | 11,   // 1..7
    0x50 | 6, 0x80 | 1, 0x20 | 3, 0x20 | 3, 0x00 | 7, 0x00 | 7,  // 8..13
    0x60 | 8, 0x60 | 8, 0x60 | 8,                                // 14..16
    0x30 | 5, 0x30 | 5, 0x30 | 5, 0x30 | 5, 0x30 | 5, 0x30 | 5,  // 17..22
    0x90 | 10, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x20 | 3,           // 23..27
    0x90 | 10, 0x90 | 10, 0x50 | 6,                              // 28..30
    F | 11, F | 11, F | 11, F | 11, F | 7, F | 7, F | 7, F | 7,  // 31..38
    0x00 | 7, 0x00 | 7, 0x00 | 7, 0x00 | 7, 0x00 | 7, 0x00 | 7, 0x00 | 7,  // 39..45
    0x00 | 7, 0x00 | 7, 0x00 | 7, 0x00 | 7, 0x00 | 7, 0x00 | 7,  // 46..51
    0x20 | 3, 0x00 | 7, 0x70 | 2, 0x70 | 2, 0x20 | 3, 0x20 | 3,  // 52..57
    0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9,  // 58..65
    0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9,  // 66..73
    0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9,  // 74..81
    0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9, 0x10 | 9,            // 82..86
    F | 11, F | 11, F | 11, F | 11, 0x40 | 4,                    // 87..91
};

int8_t ClampGrid(int32_t v) { return (int8_t)(v > 127 ? 127 : v < -128 ? -128 : v); }

}  // namespace

uint16_t GetTypeOfHex(uint16_t grafik) {
  if (grafik == 0) return 0;
  if (grafik > 91) {
    DebugLog("GetTypeOfHex : Diese Grafik ist noch unbekannt !!! ButtonID %u\n", grafik);
    return 0;
  }
  return kGraphic[grafik] & 0x0F;
}

uint16_t GetMovePointsOfType(uint16_t t) {
  switch (t) {
    case 0: case 13: case 15: case 17: return 8;
    case 1: case 2: case 3: case 11: case 19: return 4;
    case 4: case 5: case 6: case 14: return 10;
    case 7: case 8: case 9: return 2;
    case 10: case 12: case 16: case 18: return 6;
    default: return t == 20 ? 20 : 0;  // map objects and unknown types do not move
  }
}

int16_t GetMovePoints(const MapTile* cells, uint16_t column, uint16_t row, uint16_t figur_type) {
  if (!cells || column >= kCMapColumns || row >= kCMapRows || figur_type > 20) return 0;
  const MapTile& cell = cells[row * kCMapColumns + column];
  uint16_t g = cell.Grafik;
  if (g == 0 || g > 91) return 0;
  uint8_t col = kGraphic[g] >> 4;
  int16_t cost = col == 15 ? 2 : MoveCostTable[figur_type][col];
  if (cost > 0 && cell.Besitzer != MapOwnPlayer()) {
    if (figur_type >= 1 && figur_type <= 3) cost = 4;
    else if (figur_type >= 4 && figur_type <= 6 && cost < 5) cost = 5;
    else if (figur_type >= 7 && figur_type <= 9) cost = 2;
    else if (figur_type == 10) cost = 6;
  }
  return cost;
}

int32_t GetMoveHex(QoEMapInfo* map, uint16_t column, uint16_t row, uint16_t figur_type, int16_t points) {
  if (!map || !map->CMap) return 0;
  FreeVec(map->MoveGrid);
  map->MoveGrid = static_cast<int8_t*>(AllocVec(kMoveGridSide * kMoveGridSide, MEMF_PUBLIC));
  int8_t* g = map->MoveGrid;
  if (!g) {
    DebugLog("GetMoveHex : Konnte Speicher f\xfcr das Array nicht allokieren !\n");
    return 0;
  }
  std::memset(g, -10, kMoveGridSide * kMoveGridSide);
  const int N = (int)kMoveGridSide;
  g[14 * N + 14] = ClampGrid(points < 0 ? GetMovePointsOfType(figur_type) : points);
  // Costs of entering each grid cell, taken once.
  int16_t cost[kMoveGridSide * kMoveGridSide];
  for (int gy = 0; gy < N; gy++)
    for (int gx = 0; gx < N; gx++) {
      int32_t c = column + gx - 14, r = row + gy - 14;
      bool inside = c >= 0 && r >= 0 && c < kCMapColumns && r < kCMapRows;
      cost[gy * N + gx] = inside ? GetMovePoints(map->CMap, (uint16_t)c, (uint16_t)r, figur_type) : 0;
    }
  // The sweep order of the rows and columns: 14 down to 1, then 14 up to 27.
  int order[27 + 14];
  int n = 0;
  for (int i = 14; i >= 1; i--) order[n++] = i;
  for (int i = 14; i <= 27; i++) order[n++] = i;
  // Relax until nothing changes (a ship's range on open water needs more
  // than a fixed number of sweeps).
  for (bool changed = true; changed;) {
    changed = false;
    for (int a = 0; a < n; a++) {
      int gy = order[a];
      for (int b = 0; b < n; b++) {
        int gx = order[b];
        int v = g[gy * N + gx];
        if (v < 0) continue;
        bool even = ((column + gx - 14) & 1) == 0;
        const int nb[6][2] = {{gx, gy - 1}, {gx, gy + 1}, {gx - 1, gy}, {gx + 1, gy},
                              {gx - 1, even ? gy - 1 : gy + 1}, {gx + 1, even ? gy - 1 : gy + 1}};
        for (const auto& p : nb) {
          int8_t& t = g[p[1] * N + p[0]];
          int16_t k = cost[p[1] * N + p[0]];
          if (k != 0 && v - k > t) {
            t = ClampGrid(v - k);
            changed = true;
          }
          if (t < 0 && t != -1) {
            t = -1;
            changed = true;
          }
        }
      }
    }
  }
  return 1;
}

namespace {

// The reach map is replaced under the map lock: the 3D scene reads it from
// the window thread while the range is shown.
void SwapReachMap(QoEMapInfo* map, uint8_t* fresh) {
  uint8_t* old;
  {
    const MapRecordLock hold;
    old = map->ReachMap;
    map->ReachMap = fresh;
  }
  FreeVec(old);
}

}  // namespace

int32_t GetMoveHexBits(QoEMapInfo* map, uint16_t column, uint16_t row, int32_t mode) {
  if (!map || !map->MoveGrid) return 0;
  SwapReachMap(map, nullptr);
  uint8_t* bits = static_cast<uint8_t*>(AllocVec(kBMapBytes, MEMF_PUBLIC | MEMF_CLEAR));
  if (!bits) {
    DebugLog("GetMoveHex : Konnte Speicher f\xfcr die Karte nicht allokieren !\n");
    return 0;
  }
  int limit = mode == 1 ? -1 : 0;
  for (uint32_t gy = 0; gy < kMoveGridSide; gy++)
    for (uint32_t gx = 0; gx < kMoveGridSide; gx++)
      if (map->MoveGrid[gy * kMoveGridSide + gx] >= limit) BitMapSet(bits, column + (int32_t)gx, row + (int32_t)gy);
  SwapReachMap(map, bits);
  return 1;
}

void FreeMoveHex(QoEMapInfo* map) {
  if (!map) return;
  FreeVec(map->MoveGrid);
  map->MoveGrid = nullptr;
  SwapReachMap(map, nullptr);
}

int32_t HexDistance(int32_t c1, int32_t r1, int32_t c2, int32_t r2) {
  // Cube coordinates of the column layout (odd columns half a hex lower).
  auto z = [](int32_t c, int32_t r) { return r - (c - (c & 1)) / 2; };
  int32_t dx = c2 - c1, dz = z(c2, r2) - z(c1, r1), dy = -dx - dz;
  auto a = [](int32_t v) { return v < 0 ? -v : v; };
  int32_t d = a(dx);
  if (a(dy) > d) d = a(dy);
  if (a(dz) > d) d = a(dz);
  return d;
}
