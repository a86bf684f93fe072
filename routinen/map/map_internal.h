// Shared inside the map engine.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "map.h"
#include "mapscreen.h"
#include "routinen/system/timer.h"

constexpr int32_t kTileWidth = 64;
constexpr int32_t kTileHeight = 56;
constexpr int32_t kColumnStep = 48;
constexpr int32_t kFigurFrameHeight = 54;
constexpr uint32_t kHexMaskId = 31;
extern const char* const kMapPicIndex;  // ".\\Data\\Path"

struct QoeThread;
// Frame pauses of the two threads: one refresh of a 60 Hz display, so that
// each frame can be seen; the motion thread rests 50 ms between animations.
constexpr uint32_t kRainFrameMs = 16;
constexpr uint32_t kMotionFrameMs = 16;
constexpr uint32_t kMotionPauseMs = 50;
// Free memory the motion thread needs to start and to animate.
constexpr uint64_t kMotionMinFree = 500000;

// The engine's module state: one record, set up on first use.
struct MapEngineState {
  // The hex mask of graphic 31, converted once; guarded by `lock` (the game
  // thread and the window thread both draw and hit-test).
  std::mutex lock;
  bool hexMaskReady = false;
  uint32_t hexMaskBits[kTileHeight * 2] = {};     // two words per row, MSB = leftmost
  uint8_t hexMaskBytes[kTileHeight * kTileWidth] = {};  // 1 inside the hex
  bool hexMaskSolidMiddle = false;  // columns 16..47 inside in every row
  // Pause between frames of the walking animation (tests set 0); any thread.
  std::atomic<uint32_t> animFrameMs{2};
  // Seams of the animation and rain threads (tests set them before a start;
  // atomics, read by the threads): frame pauses, the motion thread's pause
  // between animations, the random source, the free-memory probe and the
  // thread start. ResetMapThreadSeams puts them back.
  std::atomic<uint32_t> rainFrameMs{kRainFrameMs};
  std::atomic<uint32_t> motionFrameMs{kMotionFrameMs};
  std::atomic<uint32_t> motionPauseMs{kMotionPauseMs};
  std::atomic<uint32_t (*)(uint32_t)> random{nullptr};       // null: the thread's own generator
  std::atomic<uint64_t (*)(uint32_t)> availMem{nullptr};     // null: AvailMem
  std::atomic<QoeThread* (*)(const char*, int (*)(void*), void*)> startThread{nullptr};  // null: StartThread
  // Frames the motion threads have drawn (tests).
  std::atomic<uint32_t> motionFrames{0};
  // Frames the last rain drew after it saw its quit flag (tests).
  std::atomic<uint32_t> rainFramesAfterStop{0};
  // Whole copies of a map view to the screen (MapCopyToScreen): what the map
  // screen drew over the map before one is gone. Any thread.
  std::atomic<uint32_t> screenCopies{0};
};
MapEngineState& MapState();
// Forgets the converted hex mask (tests; after the picture index changed).
void ResetMapEngineState();
// The threads' seams back to their defaults (part of ResetMapEngineState).
void ResetMapThreadSeams();
// The seams: the thread's own generator (Zufall's for null), AvailMem and
// StartThread unless a test set its own.
uint32_t MapRandom(ZufallStream* stream, uint32_t n);
uint64_t MapAvailMem();
QoeThread* MapStartThread(const char* name, int (*fn)(void*), void* arg);
// Tests: the rain's start placement of its 50 drops (through MapRandom), and
// the frames a rain has drawn in all and when it saw its quit flag.
void PlaceRainDropsForTest(int16_t* x, int16_t* y);
void RainFrameCounts(const RainControl* control, uint32_t* run, uint32_t* at_stop);
// Converts graphic 31 into the hex mask when not done yet (the built-in
// shape when the graphic cannot be loaded). Caller holds no lock.
void EnsureHexMask();
// 1 when pixel (x, y) of a tile lies inside the hex; 0 outside the tile.
int HexMaskBit(int32_t x, int32_t y);
// The built-in hex shape, the one the data kit draws graphic 31 with.
bool HexShapeInside(int32_t x, int32_t y);

// The map lock held for one scope (mapscreen.h: LockMapRecord).
struct MapRecordLock {
  MapRecordLock() { LockMapRecord(); }
  ~MapRecordLock() { UnlockMapRecord(); }
  MapRecordLock(const MapRecordLock&) = delete;
  MapRecordLock& operator=(const MapRecordLock&) = delete;
};

// Window cell (column, row) of the CMap, null outside the window.
inline MapTile* CMapCell(const QoEMapInfo* map, int32_t column, int32_t row) {
  if (!map || !map->CMap || column < 0 || row < 0 || column >= kCMapColumns || row >= kCMapRows) return nullptr;
  return map->CMap + row * kCMapColumns + column;
}
// Bit of a 240 x 120 bit map (BMap, reach map); 0 outside.
inline int BitMapTest(const uint8_t* bits, int32_t column, int32_t row) {
  if (!bits || column < 0 || row < 0 || column >= kCMapColumns || row >= kCMapRows) return 0;
  return (bits[row * 30 + column / 8] >> (column & 7)) & 1;
}
inline void BitMapSet(uint8_t* bits, int32_t column, int32_t row) {
  if (!bits || column < 0 || row < 0 || column >= kCMapColumns || row >= kCMapRows) return;
  bits[row * 30 + column / 8] |= (uint8_t)(1u << (column & 7));
}

// 1 when window hex (view column + column, view row + row) is known; unlike
// IsHexKnown it takes hexes left of or above the view (negative offsets).
int32_t HexKnownInWindow(const QoEMapInfo* map, int32_t column, int32_t row);

// Wraps any value into 0..size-1.
inline int32_t WrapFull(int64_t v, int64_t size) {
  int64_t r = v % size;
  return (int32_t)(r < 0 ? r + size : r);
}
// The shortest signed difference a - b on a ring of size.
inline int32_t RingDelta(int64_t a, int64_t b, int64_t size) {
  int32_t d = WrapFull(a - b, size);
  return d > size / 2 ? d - (int32_t)size : d;
}
// Hex distance between (c1, r1) and (c2, r2), odd columns drawn half a hex lower.
int32_t HexDistance(int32_t c1, int32_t r1, int32_t c2, int32_t r2);

// Own player ID and the display's depth and size.
uint32_t MapOwnPlayer();
uint32_t MapDisplayDepth();
uint32_t MapDisplayWidth();
uint32_t MapDisplayHeight();
// The map screen's hooks as filled at start-up (mapscreen.cpp), and the log
// line of a slot that is still empty.
const MapScreenHooks& CurrentMapScreenHooks();
void MapScreenMissing(const char* what);
// The layout's u16 value i, read as a signed 16-bit number; 0 past the end.
int32_t LayoutValue(const ScreenRegion* r, uint32_t i);
// The map screen's sounds through its test seams: play once, and 1 when
// the sound is not playing.
void MapScreenPlaySfx(uint32_t id);
int32_t MapScreenSfxIdle(uint32_t id);
// A CD track through the screen's sound seams.
void MapScreenPlayCd(uint8_t track);

// WriteKartenScreenData with one more file (path null: none) in its
// FileSet: the lists and that file change together or not at all.
int32_t WriteKartenScreenDataAnd(KartenScreenRecord* d, int32_t release, const char* path, const void* data,
                                 uint32_t size);

// Recounts the local figures after a shift (when a figure list is loaded).
void MapFiguresMoved(QoEMapInfo* map);
// Copies the map bitmap to the screen as InitPos and SetPos do.
void MapCopyToScreen(QoEMapInfo* map);
// Copies a map-bitmap rectangle to the screen (and shows it).
void MapCopyRectToScreen(QoEMapInfo* map, int32_t x, int32_t y, int32_t width, int32_t height);

// A map graphic held open for one use. The map keeps each graphic it drew
// open (keeper kGfxKeeperMap) until LadeFigurenGfx or ExitPos lets it go, and
// every use holds an open of its own, so a close on another thread (the game
// thread leaving, the motion thread drawing) never frees a bitmap in use.
// bitmap is null when the graphic cannot be loaded. The open and the mask
// are taken under the picture manager's lock when the use is made: a use
// made before the display mutex is taken blits under it without taking the
// picture manager's lock again (that lock comes first, never inside).
struct MapGfxUse {
  explicit MapGfxUse(uint32_t id);
  ~MapGfxUse();
  MapGfxUse(const MapGfxUse&) = delete;
  MapGfxUse& operator=(const MapGfxUse&) = delete;
  uint32_t id;
  struct BitMap* bitmap;
  const uint8_t* mask;
};
// Drawing helpers. The graphic is loaded on demand; 0 when it cannot be.
// Tile at (x, y): unmasked, or through the hex mask.
int MapDrawTile(RastPort* rp, uint32_t id, int32_t x, int32_t y, bool masked);
// A picture through its own mask (colour key when it has none).
int MapDrawMasked(RastPort* rp, uint32_t id, int32_t x, int32_t y);
// Frame `frame` (height `h`) of a strip, masked. Stands in for the movie
// layer's AnimObjektMask until that lands; background from `background`
// (a map bitmap rectangle) when not null.
int MapAnimFrame(RastPort* rp, uint32_t id, uint32_t frame, int32_t x, int32_t y, int32_t w, int32_t h);
// The same from a graphic already held open: calls nothing of the picture
// manager, so it may run under the display mutex.
int MapAnimFrameOf(RastPort* rp, const MapGfxUse& use, uint32_t frame, int32_t x, int32_t y, int32_t w, int32_t h);
// The picture of a figure type and its frame (4 ordinary, 0 map objects);
// false for an unknown type (drawn as 380).
bool FigurPicture(uint32_t type, uint32_t* picture, uint32_t* frame);
// Top-left of the tile of view hex (c, r) in the map bitmap.
inline int32_t HexPixelX(int32_t c) { return c * kColumnStep; }
inline int32_t HexPixelY(int32_t c, int32_t r) { return r * kTileHeight + ((c & 1) ? 28 : 0); }
// Draws one hex's tile and overlays (as a redraw of that hex) into rp.
void DrawHexWithOverlays(QoEMapInfo* map, int32_t c, int32_t r, RastPort* rp);

// Walking animation steps: x and y step of frame 0..23 for direction 1..6.
void WalkStep(int direction, int frame, int* dx, int* dy);
// Frames shown by a walk, in order (north and south show 5..18 twice); returns the count.
int WalkFrames(int direction, int* frames, int max);

// The figure list (host order, MOVE payload form) of the first MOVE chunk in
// a MapPrefs image; a count that does not fit the payload is cut to it.
// Null when there is none or memory runs out; *list_bytes = its size.
uint8_t* ReadMapPrefsMove(const uint8_t* data, uint32_t size, uint32_t* list_bytes);
