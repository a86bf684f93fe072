// Tests of headless map screen visits: the end of a visit's test, and where
// the screen shows a hex of its view on the display, from the drawing's
// geometry alone. The tile of view hex (c, r) lies at
// (48 c, 56 r) of the map bitmap, odd columns 28 pixels lower; the bitmap's
// pixel (16, 28) is the view's top-left corner, shown at (16, 16) on the
// 8-bit display and at (0, 0) on deeper ones.
#pragma once
#include <cstdint>
#include <string>

#include "platform/headless.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/map/mapscreen.h"

namespace map_test {

// After a test of visits: the map kept for the next visit released, the
// screen's record and hooks reset, the pictures freed, the display closed.
inline void EndMapScreenVisits() {
  KartenScreenRecord* d = KartenScreenData;
  if (d->Status == MAPSCREEN_KEPT) KartenScreen(0, 0);
  ReleaseKartenScreenData(d);
  ResetMapScreenState();
  SetMapScreenHooks(nullptr);
  FreeAllElmorGfx();
  ResetTitleBar();
  HeadlessCloseDisplay();
}

struct DisplayPoint {
  int32_t x, y;
};

// The display point at the centre of view hex (c, r).
inline DisplayPoint HexCentreOnDisplay(bool eight_bit, int32_t c, int32_t r) {
  const int32_t corner = eight_bit ? 16 : 0;
  return {corner - 16 + 48 * c + 32, corner - 28 + 56 * r + ((c & 1) ? 28 : 0) + 28};
}

// A script's left click (or "right" click) at a display point.
inline std::string ClickAt(DisplayPoint p, const char* button = "left") {
  const std::string at = std::to_string(p.x) + " " + std::to_string(p.y);
  return "move " + at + "\npress " + button + " " + at + "\nrelease " + button + " " + at + "\nwait 100\n";
}

}  // namespace map_test
