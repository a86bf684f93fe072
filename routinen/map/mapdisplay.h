// What the map screen draws over the map and how a click on the map marks
// and selects: the panel test of the display, the map-cell and ring tests,
// the hex marker, the click's state machine, the three overlay switches, the
// coordinates of the 8-bit panel, and the after-draw function with the
// frame and panels of the deeper displays (docs/map-screen.md,
// docs/map-screen-geometry.md).
#pragma once
#include <cstdint>

struct KartenScreenRecord;
struct MapScreenHooks;
struct QoEMapInfo;
struct RastPort;

// 1 when the rectangle lies on the free map area of a display of width x
// height: inside the map area and inside none of the panels (800 x 600
// and larger move them as the geometry sheet says).
int32_t IsInMapAreaAt(uint32_t width, uint32_t height, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// The same for the display in use.
int32_t IsInMapArea(int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// The terrain graphic of the window cell (column, row), or 0: for no cell,
// water (0, 23, 28, 29) or a graphic of 1616 and more, a terrain type (1..11)
// other than the one asked for, or another owner than the player with
// own_only; 0 without reading while the clicked hex lies outside the view.
uint16_t CheckFeldTyp(const KartenScreenRecord* d, int32_t column, int32_t row, uint16_t terrain_type,
                      int32_t own_only);
// Walks ring n (1, 2, ...) round (column, row): the hex n rows above, then n
// steps in each of the six directions. test is called for each hex; the
// walk stops at the first that returns true (true then).
bool RingWalk(int32_t column, int32_t row, int32_t n, bool (*test)(void* user, int32_t column, int32_t row),
              void* user);

// Draws from (x, y) through count points, each the previous one plus its
// step, in the current pen, only the pixels inside the clip rectangle.
void PolyDrawRelative(RastPort* rp, uint32_t count, int32_t x, int32_t y, const int16_t (*steps)[2], int32_t clip_x1,
                      int32_t clip_y1, int32_t clip_x2, int32_t clip_y2);
// The hex outline round view hex (column, row) in pen (8 bits: the parts in
// the view; deeper displays: not on the first row or column or the last
// five rows). Nothing while the clicked hex lies outside the view. Pen 6
// takes the hex's marker away: the screen shows again what the marker
// covered (wherever the clicked hex lies).
void DrawHexMarker(KartenScreenRecord* d, int32_t column, int32_t row, uint32_t pen);
// Forgets the markers on the screen and what they covered (tests; part of
// ResetMapScreenState).
void ResetMapMarkerState();
// A click on the clicked hex: marks it, selects the player's figure on a
// second click, marks a target on a third (an own town).
void ClickFigurOnMap(KartenScreenRecord* d);
// mode 0 resources, 1 names, 2 borders (prefs field 16): toggled, the map
// flag set and the switch image drawn.
void ToggleMapDisplay(KartenScreenRecord* d, uint32_t mode);
// Pen of the numbers printed on the panels' and requesters' dark fields
// (pens 19, 22 and 33 of the kit's palette): light parchment, so that they
// read at a contrast well above 3 : 1.
constexpr uint32_t kMapFieldTextPen = 5;
// The view's world position in the 8-bit panel when the map was redrawn.
void PrintMapPosition(KartenScreenRecord* d);
// The after-draw function: markers, coordinates and, on deeper displays,
// the frame, the panels, the switches and the minimap.
void KartenScreenRefresh(QoEMapInfo* map);
// Fills the slots this part of the screen provides.
void FillMapDisplayHooks(MapScreenHooks* hooks);
