// A window of cells with its view, every hex known, for the map screen's
// display tests: 240 x 120 cells of grass round world (4000, 2000), the
// view at the window's centre, and a figure list of up to four figures.
#pragma once
#include <cstdint>
#include <vector>

#include "routinen/map/map.h"

namespace map_test {

struct FakeMap {
  std::vector<MapTile> cells = std::vector<MapTile>(240 * 120);
  std::vector<uint8_t> bmap = std::vector<uint8_t>(3600, 0xFF);
  std::vector<uint8_t> figures = std::vector<uint8_t>(2 + 18 * 4, 0);
  QoEMapInfo map{};
  FakeMap() {
    for (int32_t r = 0; r < 120; ++r)
      for (int32_t c = 0; c < 240; ++c) {
        MapTile& t = cells[r * 240 + c];
        t.X = 4000 - 80 + c;
        t.Y = 2000 - 40 + r;
        t.Grafik = 12;
        t.Besitzer = kNobody;
      }
    map.CMap = cells.data();
    map.BMap = map.DrawBMap = bmap.data();
    map.Figures = figures.data();
    map.FigureBytes = (uint32_t)figures.size();
    map.X = 4000;
    map.Y = 2000;
    map.ViewColumn = 80;
    map.ViewRow = 40;
    map.Columns = 10;
    map.Rows = 8;
  }
  MapTile& Cell(int32_t view_c, int32_t view_r) { return cells[(40 + view_r) * 240 + 80 + view_c]; }
  void AddFigure(uint32_t owner, int32_t view_c, int32_t view_r) {
    const uint16_t n = MapFigurCount(figures.data());
    MapFigur* f = MapFigurAt(figures.data(), n);
    f->Besitzer = owner;
    f->Typ = 1;
    f->Nummer = (uint16_t)(n + 1);
    f->X = (uint32_t)(4000 + view_c);
    f->Y = (uint32_t)(2000 + view_r);
    SetMapFigurCount(figures.data(), (uint16_t)(n + 1));
  }
};

}  // namespace map_test
