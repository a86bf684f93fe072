// The hex map engine: the world map as a 3 x 3 window of map parts round the
// view, the knowledge bits, terrain types and movement ranges, drawing of
// the visible hexes with overlays and figures, scrolling in place, pixel to
// hex and moving figures hex by hex. Layouts and files: docs/map.md.
//
// The 3D engine and the news screen read QoEMapInfo, the CMap cells and the
// figure list of the map the map screen publishes, under the map lock
// (routinen/map/mapscreen.h); their layouts below are fixed (static_asserts)
// and shared without copying.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/system/files.h"

struct BitMap;
struct RastPort;
struct TextFont;
struct ListHeader;

// --- World and window sizes -------------------------------------------------
constexpr int32_t kWorldColumns = 12800;
constexpr int32_t kWorldRows = 6400;
constexpr int32_t kPartColumns = 80;   // hexes of a map part
constexpr int32_t kPartRows = 40;
constexpr int32_t kPartCount = 160;    // parts in each direction
constexpr int32_t kCMapColumns = 240;  // the 3 x 3 window
constexpr int32_t kCMapRows = 120;
constexpr uint32_t kMapTileSize = 22;
constexpr uint32_t kMapPartBytes = 70400;  // 80 x 40 cells
constexpr uint32_t kBMapPartBytes = 400;   // 40 rows of 10 bytes
constexpr uint32_t kBMapBytes = 3600;      // 120 rows of 30 bytes
constexpr uint32_t kFigurSize = 18;
constexpr uint32_t kMoveGridSide = 29;
constexpr uint32_t kNobody = 0xFFFFFFFF;   // owner of an unowned hex

// QoEMapInfo::Flags.
enum : uint16_t {
  MAPF_KNOWLEDGE = 2,  // knowledge parts loaded
  MAPF_FIGURES = 4,    // figure list and font loaded, figures drawn
  MAPF_BORDERS = 16,   // territory borders
  MAPF_RANGE = 32,     // movement range
  MAPF_SIGHT = 64,     // shade hexes out of sight
  MAPF_BARS = 128,     // value bars on own hexes
};

// Last scroll direction (QoEMapInfo::ScrollDirection).
enum : uint16_t { SCROLL_NONE = 0, SCROLL_UP = 1, SCROLL_RIGHT = 2, SCROLL_DOWN = 3, SCROLL_LEFT = 4, SCROLL_SIGHT = 5 };

// One hex: 22 bytes, little-endian in the part files, host order in memory.
struct __attribute__((packed)) MapTile {
  uint32_t X;          // world column
  uint32_t Y;          // world row
  uint16_t Grafik;     // terrain graphic 1..91, 0 = no cell
  int8_t Wert[3];      // the three values shown as bars
  uint8_t Frei;        // kept as it is
  uint32_t Besitzer;   // owner player ID, kNobody = nobody
  uint32_t Flags;      // 2 = dungeon entrance
};
static_assert(sizeof(MapTile) == 22);
static_assert(offsetof(MapTile, Grafik) == 8 && offsetof(MapTile, Wert) == 10 && offsetof(MapTile, Frei) == 13);
static_assert(offsetof(MapTile, Besitzer) == 14 && offsetof(MapTile, Flags) == 18);

// One figure of the figure list: 18 bytes, host order (big-endian on disk).
struct __attribute__((packed)) MapFigur {
  uint32_t Besitzer;   // owner player ID
  uint16_t Typ;        // FigurType
  uint16_t Nummer;     // for an army its ID
  uint32_t X;
  uint32_t Y;
  uint8_t Status;      // 0 ordinary, 7 carried aboard a ship, 18 leads a group
  uint8_t Punkte;      // movement points left
};
static_assert(sizeof(MapFigur) == kFigurSize);
static_assert(offsetof(MapFigur, Typ) == 4 && offsetof(MapFigur, Nummer) == 6 && offsetof(MapFigur, X) == 8);
static_assert(offsetof(MapFigur, Y) == 12 && offsetof(MapFigur, Status) == 16 && offsetof(MapFigur, Punkte) == 17);

// A figure list is the MOVE payload in host order: u16 count, then records.
inline uint16_t MapFigurCount(const uint8_t* list) {
  uint16_t n = 0;
  if (list) std::memcpy(&n, list, 2);
  return n;
}
inline void SetMapFigurCount(uint8_t* list, uint16_t n) { std::memcpy(list, &n, 2); }
inline MapFigur* MapFigurAt(uint8_t* list, uint32_t i) { return reinterpret_cast<MapFigur*>(list + 2 + i * kFigurSize); }
inline const MapFigur* MapFigurAt(const uint8_t* list, uint32_t i) {
  return reinterpret_cast<const MapFigur*>(list + 2 + i * kFigurSize);
}

struct QoEMapInfo;
using MapAfterDrawFn = void (*)(QoEMapInfo* map);

// The map and its view. No hidden padding: every field sits at its natural
// alignment (reserved fields fill the gaps), so the words the 3D engine reads
// without a lock are never torn. Fields that other threads read are written
// through std::atomic_ref (relaxed); readers do the same.
struct QoEMapInfo {
  uint16_t Flags;             // MAPF_*
  int16_t CenterX;            // centre part column 0..159
  int16_t CenterY;            // centre part row 0..159
  uint16_t Reserved0;
  int32_t X;                  // world column of the view's top-left hex (even)
  int32_t Y;                  // world row of it
  int16_t ViewColumn;         // CMap column of the view's top-left hex (80..159)
  int16_t ViewRow;            // CMap row of it (40..79)
  uint32_t OwnPlayer;         // the own player's ID, copied when the map screen publishes the map
  uint8_t* Part[9];           // map part buffers (file bytes), by window slot
  FileHandle PartFile[9];     // their open files (null: none, never written)
  uint8_t* BPart[9];          // knowledge part buffers
  FileHandle BPartFile[9];
  uint16_t ScreenX, ScreenY;  // where the view is shown
  uint16_t Width, Height;
  MapTile* ViewCell;          // the view's top-left cell in the CMap
  MapTile* CMap;              // 240 x 120 cells, row after row
  uint8_t* DrawBMap;          // knowledge map used for drawing (= BMap)
  uint8_t* BMap;              // combined knowledge map, 120 rows of 30 bytes
  uint8_t* Figures;           // all figures (MOVE payload form)
  uint8_t* LocalFigures;      // figures inside the window, same form and size
  uint8_t* ReachMap;          // 240 x 120 bits, like BMap
  int8_t* MoveGrid;           // 29 x 29, the figure at (14, 14)
  const char* MapFolder;      // folder of the M_ parts (the caller's string)
  const char* BMapFolder;     // folder of the B_ parts
  uint32_t PosChanged;        // 1 after every SetPos; the map screen clears it
  uint16_t Columns, Rows;     // view size in hexes
  TextFont* Font;             // fonts\XHelvetica9.fnt
  BitMap* Bitmap;             // the map bitmap
  RastPort* Rp;               // RastPort on it
  uint16_t TileVariant;       // index into the tile table
  uint16_t ScrollDirection;   // SCROLL_*, reset by every redraw
  uint32_t AnimStop;          // set by the map screen: end a map-object animation
  uint32_t* Sight;            // stored sight values, Columns x Rows, column after column
  MapAfterDrawFn AfterDraw;   // after every copy of the map bitmap to the screen
  double PixelColumn;         // OpenGL mode: view column x 48
  double PixelRow;            // OpenGL mode: view row x 55.424
  // Engine bookkeeping after the shared fields.
  uint32_t FigureBytes;       // allocated size of each figure list
  uint32_t SightCells;        // cells of Sight
  ListHeader* Armies;         // lists a group step hands to SetFigurDependence
  ListHeader* Ships;          // (set by the map screen; null: none)
  // FIGURE_FILE_DAMAGED or FIGURE_FILE_MISSING (LoadFigureFile) while the
  // figure list was not read from .\Data\MapPrefs.qoe because the file is
  // damaged, or an installed game has none: the list is empty and nothing
  // is written in the file's place; 0 when it was read.
  uint32_t FigureFileDamaged;
  uint32_t Reserved1;
};
static_assert(offsetof(QoEMapInfo, CenterX) == 2 && offsetof(QoEMapInfo, CenterY) == 4);
static_assert(offsetof(QoEMapInfo, X) == 8 && offsetof(QoEMapInfo, Y) == 12);
static_assert(offsetof(QoEMapInfo, ViewColumn) == 16 && offsetof(QoEMapInfo, ViewRow) == 18);
static_assert(offsetof(QoEMapInfo, Part) == 24 && offsetof(QoEMapInfo, PartFile) == 96);
static_assert(offsetof(QoEMapInfo, BPart) == 168 && offsetof(QoEMapInfo, BPartFile) == 240);
static_assert(offsetof(QoEMapInfo, ScreenX) == 312 && offsetof(QoEMapInfo, Height) == 318);
static_assert(offsetof(QoEMapInfo, ViewCell) == 320 && offsetof(QoEMapInfo, CMap) == 328);
static_assert(offsetof(QoEMapInfo, DrawBMap) == 336 && offsetof(QoEMapInfo, BMap) == 344);
static_assert(offsetof(QoEMapInfo, Figures) == 352 && offsetof(QoEMapInfo, LocalFigures) == 360);
static_assert(offsetof(QoEMapInfo, ReachMap) == 368 && offsetof(QoEMapInfo, MoveGrid) == 376);
static_assert(offsetof(QoEMapInfo, MapFolder) == 384 && offsetof(QoEMapInfo, BMapFolder) == 392);
static_assert(offsetof(QoEMapInfo, PosChanged) == 400 && offsetof(QoEMapInfo, Columns) == 404);
static_assert(offsetof(QoEMapInfo, Font) == 408 && offsetof(QoEMapInfo, Bitmap) == 416 && offsetof(QoEMapInfo, Rp) == 424);
static_assert(offsetof(QoEMapInfo, TileVariant) == 432 && offsetof(QoEMapInfo, ScrollDirection) == 434);
static_assert(offsetof(QoEMapInfo, AnimStop) == 436 && offsetof(QoEMapInfo, Sight) == 440);
static_assert(offsetof(QoEMapInfo, AfterDraw) == 448 && offsetof(QoEMapInfo, PixelColumn) == 456);
static_assert(offsetof(QoEMapInfo, PixelRow) == 464 && offsetof(QoEMapInfo, FigureBytes) == 472);
static_assert(sizeof(QoEMapInfo) == 504);

// --- Map window and map files ------------------------------------------------
// Opens the 3 x 3 parts round part (part_x, part_y) of folder; flags 2 also
// loads the knowledge parts. Null on failure.
QoEMapInfo* LadeKarte(uint16_t flags, uint16_t part_x, uint16_t part_y, const char* folder);
// One map part: 0, or -1 on failure (*handle/*buffer set on success).
int32_t LadeKartenTeil(QoEMapInfo* map, int32_t part_x, int32_t part_y, FileHandle* handle, uint8_t** buffer);
// Sets flag 2 and loads and combines the nine knowledge parts; 1 or 0.
int32_t LadeBMap(QoEMapInfo* map, int32_t part_x, int32_t part_y, const char* folder);
// One knowledge part: 1 or 0 (1 and nothing done while flag 2 is clear).
int32_t LadeBMapTeil(QoEMapInfo* map, int32_t part_x, int32_t part_y, FileHandle* handle, uint8_t** buffer);
// Opens the view at world (x, y) shown at the screen rectangle and draws it; 1 or 0.
int32_t InitPos(QoEMapInfo* map, int32_t x, int32_t y, uint16_t screen_x, uint16_t screen_y, uint16_t width,
                uint16_t height, int16_t flags);
// The OpenGL-mode view: position and figures only, nothing drawn; 1 or 0.
int32_t InitPosGL(QoEMapInfo* map, int32_t x, int32_t y, uint16_t screen_x, uint16_t screen_y, uint16_t width,
                  uint16_t height, int16_t flags);
// Moves the view by dx double columns and dy rows and redraws; 1 or 0.
int32_t SetPos(QoEMapInfo* map, int32_t dx, int32_t dy);
// Shifts the window's map / knowledge parts one part (0 west, 1 east, 2 north, 3 south); 1 or 0.
int32_t SetMap(QoEMapInfo* map, uint16_t direction);
int32_t SetBMap(QoEMapInfo* map, uint16_t direction);
// Moves the reach map with the window (1 west, 2 east, 3 north, 4 south).
void ReArangeCMap(QoEMapInfo* map, uint16_t direction);
// 1 when the window hex (view column + column, view row + row) is known.
int32_t IsHexKnown(const QoEMapInfo* map, int16_t column, uint16_t row);
// Writes the figure list back and frees the view; 1 or 0.
int32_t ExitPos(QoEMapInfo* map);
// Writes every part back, frees everything and the record; returns 0.
int32_t ExitKarte(QoEMapInfo* map);

// --- Movement costs and ranges ------------------------------------------------
uint16_t GetTypeOfHex(uint16_t grafik);                 // TerrainType 0..11
uint16_t GetMovePointsOfType(uint16_t figur_type);      // points per turn
extern const uint8_t MoveCostTable[21][11];
// Cost of entering the cell (column, row) of a 240-column window.
int16_t GetMovePoints(const MapTile* cells, uint16_t column, uint16_t row, uint16_t figur_type);
// Builds the 29 x 29 movement grid round the window cell; points < 0: a full turn. 1 or 0.
int32_t GetMoveHex(QoEMapInfo* map, uint16_t column, uint16_t row, uint16_t figur_type, int16_t points);
// Builds the reach map from the grid, its top-left at (column, row); mode 1 also the -1 hexes. 1 or 0.
int32_t GetMoveHexBits(QoEMapInfo* map, uint16_t column, uint16_t row, int32_t mode);
void FreeMoveHex(QoEMapInfo* map);

// --- Hex geometry and drawing -----------------------------------------------
extern const uint16_t TileTable[100][9];
// Draws the view into the map bitmap; uses and resets the scroll direction.
void BlitMap(QoEMapInfo* map);
// Draws the figures of the view (sight values column after column).
void BlitFigur(QoEMapInfo* map, const uint32_t* sight, RastPort* rp);
// Draws the figure stack of one view hex at (x, y).
void BlitFigurHex(QoEMapInfo* map, uint16_t column, uint16_t row, RastPort* rp, uint16_t x, uint16_t y);
// Draws the territory border of one view hex at (x, y).
void BlitHexExtra(QoEMapInfo* map, uint16_t column, uint16_t row, RastPort* rp, uint16_t x, uint16_t y);
// 1 when the view hex is in sight of the player's figures or towns.
int32_t GetPeopleOnHex(const QoEMapInfo* map, uint32_t count, const uint8_t* figures, int32_t column, int32_t row);
// (view column << 16) | view row of the hex under map-bitmap pixel (x, y);
// at depth 8 the point still holds the 8-bit view's corner (16, 16), which
// it takes off.
uint32_t GetHexFromPixel(const BitMap* bitmap, int32_t x, int32_t y);
// The same for the hex shown under display point (x, y): the view shows
// the bitmap's pixel (16, 28) at (ScreenX, ScreenY).
uint32_t GetHexAtScreen(const QoEMapInfo* map, int32_t x, int32_t y);
// Wraps a world coordinate once into 0..size-1.
int32_t WrapPos(int32_t value, uint32_t size);
// Mode 0 closes every map graphic; any mode closes the map objects' pictures.
void LadeFigurenGfx(uint32_t mode);
// Computes the sight values of the view (2 own figure, 3 own town, 1 near
// one, 0 out of sight) into out (Columns x Rows, column after column).
void ComputeSight(const QoEMapInfo* map, uint32_t* out);

// --- Figures on the map ---------------------------------------------------------
// Loads the figure list of .\Data\MapPrefs.qoe into the map; 1 or 0. A
// file that is there but damaged, or none in an installed game
// (LoadFigureFile), gives an empty list and sets FigureFileDamaged to why:
// the map opens without figures.
int32_t InitPosLoadPeopleMem(QoEMapInfo* map);
// Writes the figure list into the MOVE chunk of .\Data\MapPrefs.qoe in place; 1 or 0.
// With FigureFileDamaged nothing is written (the list was not read from the
// file, so it holds nothing to save): 1.
int32_t ExitPosWriteMapPrefs(QoEMapInfo* map);
// Rebuilds the local list (figures inside the window).
void GetLocalPeople(QoEMapInfo* map);
// The number of figures on world hex (x, y) (wrapped): the n = -1 form.
uint32_t GetActivePeopleCount(QoEMapInfo* map, int32_t x, int32_t y);
// n = 0: the player's first figure on the hex; n > 0: the n-th figure; null none.
MapFigur* GetActivePeople(QoEMapInfo* map, int32_t x, int32_t y, int16_t n);
// The same with the owner n = 0 looks for (the form above passes the own
// player's ID).
MapFigur* GetActivePeopleOf(QoEMapInfo* map, int32_t x, int32_t y, int16_t n, uint32_t owner);
// Moves the figure one hex by (dx, dy); 1 when it moved.
int32_t SetPeople(QoEMapInfo* map, MapFigur* figure, int16_t dx, int16_t dy);
// The walking animation of one step; 1 or 0.
int32_t SetPeopleAnim(QoEMapInfo* map, MapFigur* figure, int16_t dx, int16_t dy);
// Redraws one hex with its overlays and copies it to the screen; returns 1.
int32_t SetPeopleAnimHex(QoEMapInfo* map, uint16_t column, uint16_t row, uint16_t window_column, uint16_t window_row);
// Sets the knowledge bit of a view hex.
void SetHexKnown(QoEMapInfo* map, uint16_t column, uint16_t row);
// Low byte of the window cell's terrain graphic minus 1 (-1: none).
int32_t GetHexGfx(const QoEMapInfo* map, uint16_t window_column, uint16_t window_row);

// --- Animation and rain threads (docs/map.md "Threads") -----------------------
struct MotionControl;
struct RainControl;
// Starts the map-object animation thread on the view; null when less than
// 500,000 bytes are free or a resource cannot be made (nothing left behind).
MotionControl* StartTheMotion(QoEMapInfo* map);
// Stops the thread (within one frame, also while it waits for the lock) and
// frees everything; null ignored.
void StopTheMotion(MotionControl* control);
// The motion lock (recursive): held around every drawing and every change of
// the view or its figure lists on the game thread; null ignored.
void LockMotion(MotionControl* control);
void UnlockMotion(MotionControl* control);
// Lets the rain fall for `duration` frames outside the rectangles (u16 x1,
// y1, x2, y2 inclusive, ended by an x1 of 65535; null: none; the caller keeps
// the list alive while the rain runs). Null on failure.
RainControl* StartTheRain(uint16_t duration, const uint16_t* rectangles);
// Ends the rain within nine frames, every streak restored, and frees it; null ignored.
void StopTheRain(RainControl* control);
// 1 while the rain thread has not finished; 0 when it has or for null.
int32_t IsRainRunning(const RainControl* control);
// Switches the list of dry rectangles. Returns once every drawn streak that
// touches the new rectangles is restored (at once after the rain ended), so
// the caller may draw there. The caller holds no display mutex; null ignored.
void SetRainRectangles(RainControl* control, const uint16_t* rectangles);

// --- Minimap --------------------------------------------------------------------
// The minimap record. The rectangle list (u16 x1, y1, x2, y2 each, the map
// screen's layout) is the caller's; the minimap is entry 5 of it, entry 2 at
// depth 8.
struct MiniMap {
  uint16_t Width;          // of the minimap rectangle, rounded to a multiple of 16
  uint16_t Height;
  uint8_t* Array;          // Width x Height bytes, cleared
  const uint16_t* Rectangles;
  RastPort* Rp;            // allocated, not set up
  BitMap* Bitmap;          // Width x Height at depth 8
};
// The record for the rectangle list; null when the record or array cannot be
// made (a missing RastPort or bitmap is logged and left null).
MiniMap* InitMiniMap(const uint16_t* rectangles);
// Draws the 41 x 31 known hexes round the view's centre, shifted by (dx, dy)
// hexes, into the screen and shows the rectangle.
void DrawMiniMap(QoEMapInfo* map, MiniMap* minimap, uint16_t dx, uint16_t dy);
// Plots the blob of minimap hex (column, row) in the pen of the terrain type
// into screen, clipped to the minimap rectangle (and to graphic 1166 on
// deeper displays, when it is loaded); returns 1.
int32_t PlotMiniMapCell(BitMap* screen, const uint16_t* rectangles, int32_t column, int32_t row, uint16_t type);
void FreeMiniMap(MiniMap* minimap);
