// The dungeon screen (screen code 1293): a first-person walk through a
// dungeon of square cells read from a map file (docs/dungeon-maps.md), with
// doors, chests, traps and exits, and a compass rose that turns on a thread
// of its own. The walking rules are plain functions on DungeonData; their
// sounds, redraws, pauses and boxes go through DungeonHooks.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

struct BitMap;
struct RastPort;
struct ScreenRegion;
struct TextFont;
struct QoeThread;
struct QoeSemaphore;

// ---- the compass rose ----------------------------------------------------------

// What the compass thread does to the outside world: blit one frame (called
// while the thread holds the "NavRose Semaphore") and pause ticks x 20 ms.
struct NavRoseHooks {
  void (*blit)(void* ctx, uint32_t id);
  void (*delay)(void* ctx, int32_t ticks);
  void* ctx;
};

// Shared by the game thread and the compass thread. `turn` holds the request
// mark (bit 31), from (bits 16..17) and to (bits 0..1) in one word, so a turn
// asked for during an animation is never torn nor lost.
struct NavRose {
  std::atomic<int> quit;       // game thread sets, compass thread reads
  std::atomic<uint32_t> done;  // compass thread sets when it leaves
  std::atomic<uint32_t> turn;  // game thread raises, compass thread clears
  QoeThread* thread;           // null when it could not be started
  QoeSemaphore* semaphore;     // "NavRose Semaphore": every compass blit and view drawing
  NavRoseHooks hooks;          // game thread, before the start only
  bool clock;                  // a clock thread on the platform clock (set before the start)
};
constexpr uint32_t kNavRoseRequest = 0x80000000u;
constexpr int32_t kNavRoseX = 58, kNavRoseY = 347;

// The frames of the quarter turn from -> to (10, with the pause in ticks
// after each) and its rest frame; 0 for a pair that shows nothing.
uint32_t NavRoseFrames(uint32_t from, uint32_t to, uint16_t frames[10], uint8_t pauses[10], uint16_t* rest);
// The rest frame of a facing (0..3).
uint16_t NavRoseRestFrame(uint32_t facing);
// The record, its semaphore and its thread blitting at (58, 347) of the
// screen; null when the record or semaphore cannot be made. A thread that
// cannot start leaves the record without one.
// Its pauses run on the platform clock (a headless run's virtual one), as a
// clock thread.
NavRose* InitNavRose();
// The same with the given hooks (tests: a recording blitter, a virtual clock).
NavRose* InitNavRoseWith(const NavRoseHooks* hooks);
// The thread routine (arg: the NavRose).
int NavRoseProzess(void* arg);
// Asks for the turn from -> to to be shown; null ignored.
void NavRoseRequest(NavRose* rose, uint32_t from, uint32_t to);
// Stops and joins the thread, closes the semaphore, frees the record; null ignored.
void FreeNavRose(NavRose* rose);

// ---- the dungeon ------------------------------------------------------------------

// State bit of a cell: a door or chest open, a trap sprung.
constexpr uint32_t kCellOpen = 0x20;

struct DungeonCell {
  uint32_t state;
  uint32_t gold;  // what a chest holds
};

// The model's effects. Null entries do nothing.
struct DungeonHooks {
  void (*sfx)(void* ctx, uint32_t id);           // plays a sound effect
  void (*redraw)(void* ctx);                     // draws the view
  void (*pause)(void* ctx, int32_t ticks);       // waits ticks x 20 ms
  void (*message)(void* ctx, const char* text);  // a message box, waits for the player
  void (*death)(void* ctx);                      // the death picture over the view
  void* ctx;
};

// How the view drawing puts pixels into the view bitmap: the real blitter
// when the entries are null; tests record instead.
struct DungeonViewBlitter {
  // w x h of graphic id from (sx, sy) at (x, y) of the view bitmap, through
  // its mask; w or h 0: the graphic's own size.
  void (*blit)(void* ctx, uint32_t id, int32_t x, int32_t y, int32_t sx, int32_t sy, int32_t w, int32_t h);
  // One pixel in pen at (x, y) of the view bitmap.
  void (*plot)(void* ctx, uint32_t pen, int32_t x, int32_t y);
  void* ctx;
};

// What one visit of the dungeon holds (allocated cleared).
struct DungeonData {
  uint16_t mapWidth, mapHeight;  // the map as stored (facing 0)
  uint16_t playerX, playerY;     // the player's cell in the stored map
  uint16_t viewWidth, viewHeight, viewX, viewY;  // the same in the current facing's copy
  int8_t facing;                 // 0 north (towards row 0), 1 east, 2 south, 3 west
  const char* viewMap;           // maps[facing]
  DungeonCell* cells;            // mapWidth x mapHeight, row by row as stored
  char* maps[4];                 // the stored map and its three rotated copies
  ScreenRegion* region;
  TextFont* textFont;            // fonts\XHelvetica9.fnt (positions)
  TextFont* titleFont;           // fonts\ElmorC1.fnt (title bar)
  BitMap* viewBitMap;            // the view drawn off screen
  RastPort* viewRastPort;
  NavRose* navRose;
  uint32_t queuedSfx;            // door sound to play once the other has ended, 0 none
  uint32_t ambientTicks, ambientPeriod;
  DungeonHooks hooks;
  DungeonViewBlitter view;       // null entries: the view bitmap
};

// Limits of a map file.
constexpr uint32_t kDungeonMinSize = 3, kDungeonMaxSize = 250, kDungeonMaxGold = 1000000;
// The view bitmap's size (the drawing area reaches x 624, y 492).
constexpr uint32_t kDungeonViewBitMapW = 640, kDungeonViewBitMapH = 500;

// Cell tests at view row and column of the current view map (0 outside it).
int32_t IsSeeThroughCell(const DungeonData* d, int32_t row, int32_t col);
int32_t IsWallCell(const DungeonData* d, int32_t row, int32_t col);
int32_t IsDoorCell(const DungeonData* d, int32_t row, int32_t col);
int32_t IsEnterableCell(const DungeonData* d, int32_t row, int32_t col);
// The stored cell at a view position; 0 outside the view map.
int32_t DungeonViewToStored(const DungeonData* d, int32_t row, int32_t col, uint32_t* x, uint32_t* y);
// The view character at an offset from the player (ahead -1 = one forward,
// sideways +1 = one right); 0 outside the map.
char DungeonCellAhead(const DungeonData* d, int32_t ahead, int32_t sideways);
// 1 when the state bit 0x20 of the cell at the offset is clear (0 outside).
int32_t IsCellClosed(const DungeonData* d, int32_t ahead, int32_t sideways);
// Mode 0 ANDs the cell's state with value, mode 1 ORs it in.
void SetCellFlags(DungeonData* d, int32_t ahead, int32_t sideways, uint32_t value, uint32_t mode);
// Moves the player by a view offset.
void MovePlayer(DungeonData* d, int32_t sideways, int32_t ahead);
// The exit (1), the trap (death, 1), the chest ahead without the move flag (its gold); else 0.
int32_t DungeonEnterCell(DungeonData* d, int32_t ahead, int32_t sideways, int32_t move);
// View size, position and map for the current facing.
void SelectViewMap(DungeonData* d);

// Sets every field: the start values (74 x 30, player at (58, 29), facing
// 0, an ambient sound every 100 ticks), everything else null or 0 (the
// default hooks). Fonts, layout and hooks are set after it.
void InitDungeonData(DungeonData* d);
// Reads a map file's text into d: the stored map, its rotated copies, the
// cleared cells with the chests' gold, the player on the entrance. 1, or 0
// (logged, d unchanged) for a map the rules refuse.
int32_t DungeonParseMap(DungeonData* d, const char* text, size_t size);
// DungeonParseMap over a file (a program path).
int32_t LoadDungeonMap(DungeonData* d, const char* path);
// The view bitmap and its RastPort; 1 or 0.
int32_t AllocDungeonView(DungeonData* d);
// Frees the view buffers, the rotated copies and the cell states.
void FreeDungeonData(DungeonData* d);

// The player's actions; each returns 1 when the screen must end.
int32_t DungeonStep(DungeonData* d, int32_t sideways, int32_t ahead);
void DungeonTurn(DungeonData* d, int32_t direction);  // +1 right, -1 left
void DungeonOpen(DungeonData* d);
void DungeonClose(DungeonData* d);

// Graphics 1294..1311 (id 0) or the one id, loaded from ".\Data\Path" when
// load is set and not yet loaded; 1, or 0 at the first that fails.
int32_t LoadDungeonGraphics(uint32_t id, uint32_t load);
// Frees 1312..1612, and with all set 1294..1311 as well.
void FreeDungeonGraphics(uint32_t all);
// Sound effects 191..197, then 182..190; 1, or 0 when one failed.
int32_t LoadAllDungeonSfx();
void FreeAllDungeonSfx();

// ---- the view (dungeonview.cpp) ----------------------------------------------------------

// The elements of the view's position table.
enum DungeonViewElement : uint8_t {
  DV_FRONT = 0,       // a wall's front face (variant: the cell's column mod 3)
  DV_SIDE_LEFT = 1,   // the side face along the position's left edge (variant: row mod 3)
  DV_SIDE_RIGHT = 2,  // along its right edge
  DV_DOOR = 3,        // look: facing pair x 2 + open
  DV_CHEST = 4,       // look: facing pair x 2 + open
  DV_TRAP = 5,        // a sprung trap
  DV_EXIT = 6,        // an exit or entrance (centre only)
  DV_WALL_LEFT = 7,   // distance 0, beside the player (variant: view row mod 3)
  DV_WALL_RIGHT = 8,
  DV_OWN_DOOR = 9,    // look 0: facing 0 or 3, look 1: facing 1 or 2
};
// One row: where the graphic (plus the variant for walls) goes in the view
// bitmap and the rectangle of it that shows.
struct DungeonViewRow {
  uint8_t element, distance;
  int8_t side;  // -2 two left .. 2 two right
  uint8_t look;
  uint16_t id;
  int16_t x, y;
  uint16_t sx, sy, w, h;
};
// The table the data kit wrote with the graphics.
const DungeonViewRow* DungeonViewTable(uint32_t* count);
// Its row for the element at that place; null when it has none (out of sight).
const DungeonViewRow* FindDungeonViewRow(uint32_t element, uint32_t distance, int32_t side, uint32_t look);

// The drawing area of the view bitmap, and the part copied to the screen.
constexpr int32_t kDungeonViewLeft = 225, kDungeonViewTop = 184, kDungeonViewRight = 624, kDungeonViewBottom = 492;
constexpr int32_t kDungeonShownX = 225, kDungeonShownY = 193, kDungeonShownW = 400, kDungeonShownH = 300;

// Floor and ceiling, the cells ahead from distance 4 to the player's own, the
// map panel and the positions text; the view copied to the screen at (25, 43).
int32_t DungeonDrawView(DungeonData* d);
// The 21 outline dots of a trap not yet sprung straight ahead.
void DrawViewOutlineDots(DungeonData* d);

// Runs the screen; 3 (the map), or -1 when its set-up fails.
int32_t DungeonScreen(int32_t entry_code);
