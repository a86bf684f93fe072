// The map screen in OpenGL mode on a deeper display. Until the 3D scene
// takes over (docs/map-screen.md, "OpenGL"), the screen draws its map,
// frame and panels as on the 2D renderer, at display coordinates, into a
// display-sized bitmap of its own, which the 3D engine shows as an entry of
// its object list beneath the screen's. The engine registers its calls here
// at start, so the map needs none of its headers.
#pragma once
#include <cstdint>

struct BitMap;
struct ObjektListEntry;
struct RastPort;

struct MapGLHooks {
  // An entry for the display-sized bitmap at (0, 0), beneath every other
  // entry and shown; while the shown picture is drawn into that bitmap it is
  // the screen's entry too. Null on failure.
  ObjektListEntry* (*AddMapObjekt)(BitMap* bitmap, RastPort* rastport);
  // Unlinks the entry before its bitmap goes.
  void (*RemoveMapObjekt)(ObjektListEntry* entry);
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
