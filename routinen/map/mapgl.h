// The map screen in OpenGL mode on a deeper display (docs/map-screen.md,
// "OpenGL"). The screen draws its frame, panels and boxes at display
// coordinates into a display-sized bitmap of its own, which the 3D engine
// shows as an entry of its object list beneath the screen's. With the
// engine's map scene ready the view is the 3D landscape beneath that bitmap,
// which is transparent wherever nothing is drawn; without it the 2D map view
// is drawn there as on the 2D renderer. The engine registers its calls here
// at start, so the map needs none of its headers.
#pragma once
#include <cstdint>

struct BitMap;
struct ObjektListEntry;
struct QoEMapInfo;
struct RastPort;

struct MapGLHooks {
  // An entry for the display-sized bitmap at (0, 0), beneath every other
  // entry and shown; while the shown picture is drawn into that bitmap it is
  // the screen's entry too. Null on failure.
  ObjektListEntry* (*AddMapObjekt)(BitMap* bitmap, RastPort* rastport);
  // Unlinks the entry before its bitmap goes.
  void (*RemoveMapObjekt)(ObjektListEntry* entry);
  // Any thread: 1 while the map scene is ready, with its window's columns
  // and rows.
  uint32_t (*SceneReady)(uint16_t* columns, uint16_t* rows);
  // Any thread: the cell of the last drawn landscape whose projected outline
  // holds display pixel (x, y): 1 with its column and row in the window of
  // map parts; 0 when there is none.
  int32_t (*PickCell)(int32_t x, int32_t y, int32_t* column, int32_t* row);
  // Any thread: the display pixel of the projected centre of the cell at
  // column and row in the window of map parts, in the last drawn landscape:
  // 1, or 0 when it was not drawn.
  int32_t (*CellPixel)(int32_t column, int32_t row, int32_t* x, int32_t* y);
  // Any thread: the marked hex by column and row in the window of map parts
  // ((-1, -1) none), shown as the scene's selected cell.
  void (*MarkCell)(int32_t column, int32_t row);
};
// Copies the calls (null clears them).
void SetMapGLHooks(const MapGLHooks* hooks);

// on 1: the screen draws at display coordinates from now on (the map shown,
// or drawn behind another screen's 640 x 480 area); 0: back to the game
// area. In OpenGL mode on a deeper display the screen's RastPort draws into
// the map's display bitmap meanwhile (made, with its entry, on first use).
// Game thread.
void MapDrawAtDisplay(uint32_t on);
// 1 while MapDrawAtDisplay(1) holds.
uint32_t MapDrawsAtDisplay();
// Frees the display bitmap and unlinks its entry (the map released).
void FreeMapDisplayBitMap();

// 1 when a map opened now takes the 3D view: OpenGL mode on a deeper
// display with the engine's map scene ready; the scene window's size.
uint32_t MapSceneView(uint16_t* columns, uint16_t* rows);
// 1 when map shows on the 3D view (opened by InitPosGL: no view bitmap).
uint32_t MapOnScene(const QoEMapInfo* map);
// The 3D view: the hex under display pixel (x, y) by its column and row in
// the view (from the view's top-left hex): 1, or 0 when no cell of the last
// drawn landscape lies there (or it lies outside the view's window).
int32_t MapSceneHexAt(const QoEMapInfo* map, int32_t x, int32_t y, int16_t* column, int16_t* row);
// The 3D view: the display pixel where the last drawn landscape shows the
// centre of the hex at view column and row: 1, or 0 when it did not draw it.
int32_t MapSceneHexPixel(const QoEMapInfo* map, int32_t column, int32_t row, int32_t* x, int32_t* y);
// The 3D view: marks the hex at view column and row ((-1, -1): none).
void MapSceneMark(const QoEMapInfo* map, int32_t column, int32_t row);
// The 3D view's redraw: while the screen draws into the display bitmap, the
// bitmap becomes wholly transparent, so the landscape shows wherever the
// frame, panels and boxes drawn afterwards do not lie.
void MapSceneClearView();
