// The picture manager: pictures and graphics by ID from a picture index
// (".\Data\Path"; the story pictures from ".\Data\RizizOzezPath"), the screen
// picture and its RastPort, blits of loaded graphics, palettes, background
// saves, the screen transition and colour cycling. See docs/pictures.md.
#pragma once
#include <atomic>
#include <cstdint>

#include "routinen/system/graphics.h"

struct QoeMutex;

// Graphic IDs 1..1615 of ".\Data\Path" sit at GfxTable[ID - 1]. The story
// index has slots of its own after them: its picture n is the graphic ID
// RizizOzezGfxID(n) (n = 1..kRizizOzezGfxSlots), opened with the story index.
// GfxTable belongs to the picture manager (pictures_internal.h): every other
// module reaches a graphic through the calls below, under the manager's lock.
constexpr uint32_t kGfxTableSize = 1615;
constexpr uint32_t kRizizOzezGfxSlots = 64;
constexpr uint32_t kGfxSlots = kGfxTableSize + kRizizOzezGfxSlots;
constexpr uint32_t RizizOzezGfxID(uint32_t n) { return kGfxTableSize + n; }

// Non-zero while a screen transition runs.
extern std::atomic<uint16_t> MotionBusy;

// The record of the displayed full-screen picture.
struct TitelScreenData {
  uint32_t width, height, pitch;  // the back surface the screen draws into
  uint8_t* pixels;
  BitMap* bitmap;                 // the screen RastPort's bitmap (over the back surface)
  RastPort* rastPort;             // the screen's RastPort: the display record's
  PaletteCopy* palette;           // LoadRGB32 target (the screen palette)
  QoeMutex* mutex;                // "Titelscreen Mutex"
  uint16_t pictureId;             // ID of the displayed picture, 0 none
  uint16_t revealed;              // 0 from OpenElmorPic until its transition ran
};

// The displayed picture's record; null before the first OpenElmorPic or
// after CloseElmorPic(..., 0).
TitelScreenData* GetTitelScreenData();
// The RastPort that calls given 0 draw into: the display record's screen
// RastPort (OpenElmorPic opens it when there is none); null without one.
RastPort* ScreenRastPort();
// The RastPort of screen buffer 0 or 1 of the paged display. Our display has
// one back surface, so both are the screen's RastPort; null without one.
RastPort* GetScreenRastPort(uint32_t buffer);
// A new RastPort drawing into bitmap (pens and font at their defaults), null
// when memory runs out or bitmap is null; free it with FreeVec.
RastPort* ScreenMakeClipRP(BitMap* bitmap);

// Opens the full-screen picture id of the index as the displayed picture,
// sets the palette from it and draws it into the screen. Flags bit 0 clear:
// shows it at once with StartTheTransition; set: the caller draws first and
// starts the transition itself. In OpenGL mode it goes to OpenElmorPicGL.
// Returns 0 (1 from the OpenGL variant), or -1 (0xFFFFFFFF) on failure.
int32_t OpenElmorPic(const char* index_path, uint32_t id, uint32_t flags);
// The OpenGL variant: the same picture in the screen's memory bitmap, which
// becomes (or stays) the 3D engine's ObjektListEntry of the screen.
int32_t OpenElmorPicGL(const char* index_path, uint32_t id, uint32_t flags);
// How the picture manager reaches the 3D engine's object list in OpenGL
// mode; the engine registers its calls at start (null clears them).
struct GLScreenHooks {
  // Makes the screen's entry for its bitmap and RastPort, or reuses the one
  // there is; places it and makes it visible. 1, or 0 on failure.
  int (*OpenScreenObjekt)(BitMap* bitmap, RastPort* rastport);
  // Unlinks the screen's entry before the screen bitmap goes (the window
  // thread deletes its texture).
  void (*CloseScreenObjekt)();
};
void SetGLScreenHooks(const GLScreenHooks* hooks);
// Mode 1: frees the picture and keeps the screen record for the next screen;
// mode 0: also frees the screen record; mode 2: frees nothing.
void CloseElmorPic(uint32_t id, uint32_t mode);

// Graphics are counted: each OpenElmorGfx that returns 1 is matched by one
// CloseElmorGfx, and the last close frees the graphic. So a graphic one
// caller (or thread) holds open stays while another opens and closes it.
//
// Loads graphic id of the index into GfxTable, in the screen's depth, or
// counts one more open of it when it is loaded (logged). Returns 1, 0 when
// memory runs out, -1 when it cannot be loaded (bad ID, index or file).
int32_t OpenElmorGfx(const char* index_path, uint32_t id);
// One open less; the last frees the graphic. A close of a graphic that is
// not open changes nothing and is logged.
void CloseElmorGfx(uint32_t id);
// OpenElmorGfx without the log line for a loaded graphic, for a caller that
// holds it for one draw: its bitmap, null when it cannot be loaded. A null
// index only counts an open of a graphic that is loaded already (null when it
// is not). Matched by CloseElmorGfx.
BitMap* UseElmorGfx(const char* index_path, uint32_t id);
// The bitmap of a loaded graphic, null when it is not loaded. Only for a
// caller that holds it open: it stays valid until that caller's close.
BitMap* ElmorGfxBitMap(uint32_t id);
// How many opens a graphic has (0: not loaded).
uint32_t ElmorGfxOpenCount(uint32_t id);
// The mask of a loaded masked graphic (one byte per pixel, 0 = hole), null
// for a graphic without one. Valid as long as the caller holds it open.
const uint8_t* GetElmorGfxMask(uint32_t id);
// Puts a bitmap of the caller's into the free slot of id as a graphic
// without a mask, open once: the picture manager owns it from now on and the
// last close frees it. 1, or 0 (logged, the bitmap stays the caller's) when
// the slot holds a graphic or the ID is out of range.
int32_t PutElmorGfx(uint32_t id, BitMap* bitmap);

// A module that keeps graphics open between its calls and lets them go
// together holds at most one open of each under its keeper bit.
enum : uint32_t { kGfxKeeperMap = 1, kGfxKeeperDungeon = 2 };
// Opens the graphic for the keeper unless the keeper holds it already: 1, or
// OpenElmorGfx's 0 and -1 (without its log line for a loaded graphic).
int32_t KeepElmorGfx(uint32_t keeper, const char* index_path, uint32_t id);
// Closes the keeper's open of every graphic first..last it holds.
void LetGoElmorGfx(uint32_t keeper, uint32_t first, uint32_t last);

// One open of a graphic for a scope: UseElmorGfx, and CloseElmorGfx at its end.
class GfxUse {
 public:
  GfxUse(const char* index_path, uint32_t id) : id_(id), bitmap_(UseElmorGfx(index_path, id)) {}
  ~GfxUse() {
    if (bitmap_) CloseElmorGfx(id_);
  }
  GfxUse(const GfxUse&) = delete;
  GfxUse& operator=(const GfxUse&) = delete;
  BitMap* bitmap() const { return bitmap_; }

 private:
  uint32_t id_;
  BitMap* bitmap_;
};
// A new BitMap for drawing (friend and the last argument are ignored), null on failure.
BitMap* AllocElmorGfx(uint32_t width, uint32_t height, uint32_t depth, uint32_t flags, BitMap* friend_bitmap,
                      uint32_t unused);
void FreeElmorGfx(BitMap* bitmap);
// Attribute 6 gives the bitmap's pixel pointer for direct access (memory
// bitmaps need no lock); other attributes: 1 width, 2 height, 3 depth,
// 4 bytes per row. FreeElmorGfxLock ends the access.
uintptr_t GetElmorGfxAttr(BitMap* bitmap, uint32_t attribute);
void FreeElmorGfxLock(BitMap* bitmap);

// Copies the graphic's top-left width x height (0 or larger than the graphic:
// its own size) to x, y of rp (null: the screen). The blits hold the graphic
// open for the call, loading it from ".\Data\Path" when it is not loaded.
// Returns 1, or 0 when it cannot be loaded.
int32_t BlitObjekt(RastPort* rp, uint32_t id, int32_t x, int32_t y, uint32_t width, uint32_t height);
// The same through the graphic's mask, from the source row the animation
// offset (SetBlitSourceRow) names; loads the graphic for the call when needed.
int32_t BlitObjektMask(RastPort* rp, uint32_t id, uint32_t unused, int32_t x, int32_t y, uint32_t width,
                       uint32_t height);
// BlitObjektMask from source row `row` of the graphic, given by the caller
// (threads drawing animations at once do not share an offset).
int32_t BlitObjektMaskRow(RastPort* rp, uint32_t id, int32_t x, int32_t y, uint32_t width, uint32_t height,
                          uint32_t row);
// The source-row offset of BlitObjektMask (frame x frame height); the
// animation code sets it around one call and puts it back to 0.
void SetBlitSourceRow(uint32_t row);
uint32_t GetBlitSourceRow();
// Draws a button graphic with its caption centred and outlined on it.
int32_t BlitObjektText(RastPort* rp, uint32_t id, const char* caption, int32_t x, int32_t y);

// How many colours the last screen picture (OpenElmorPic) gave the palette;
// 0 while no screen picture was shown yet (the pens are then the display's
// first greys, or black on a deeper display).
uint32_t ScreenPictureColours();
// Sets palette entries first..first+count-1 from picture id of the index;
// a null index path restores the displayed picture's palette. 1 or 0.
int32_t SetElmorPalette(const char* index_path, uint32_t id, uint32_t first, uint32_t count, uint32_t mode);

// A copy of the screen rectangle in a new BitMap, null on failure.
BitMap* SaveBackground(int32_t x, int32_t y, uint32_t width, uint32_t height);
// Copies a saved rectangle back to the screen, shows it and frees it.
void RestoreBackground(BitMap* saved, int32_t x, int32_t y, uint32_t width, uint32_t height);

// Shows what was drawn on the screen RastPort in rectangle x, y, w, h, unless
// the screen still waits for its transition. Drawing helpers call it.
void ShowScreenRect(RastPort* rp, int32_t x, int32_t y, int32_t width, int32_t height);

// A screen whose picture could not be opened: when the screen still holds
// a picture that was never shown (the map's, opened without a transition
// when it was built in advance behind the screens to come), the game area
// is cleared of it (opaque black, in OpenGL too: no landscape shows) and
// counts as shown, so that what is drawn there next (the start-failure
// box) is seen. Nothing otherwise.
void ShowScreenWithoutPicture();

// Reveals the newly drawn screen on the transition thread; MotionBusy is set
// while it runs. StartTheTransition8 is the same for 8-bit displays.
void StartTheTransition();
void StartTheTransition8();
// Waits until a running transition has ended (tests, shut-down).
void WaitTransition();
// Drops the input that arrived while the screen was built and revealed (a
// key of the screen before, such as the Enter that started the game); a quit
// request and the pointer's and the focus's last state are kept.
void DropInputOfTheBuild();

// Colour cycling (8-bit displays): count ranges of size bytes each, format in
// docs/pictures.md. Returns a handle, null when nothing runs.
struct ColorCycle;
ColorCycle* InitColorCycle(uint32_t count, uint32_t size, const uint8_t* table);
void StopColorCycle(ColorCycle* handle);

// Makes picture id of ".\Data\Path" the mouse cursor in its own colours,
// pixels outside its mask transparent, hot spot at its top-left pixel. The
// input layer's cursor loader (SetMouseCursorHook); 1, or 0 (logged) when the
// picture cannot be loaded or the platform takes no cursor.
int32_t LoadElmorCursor(uint32_t id);

// The graphics cache: decoded pictures kept after CloseElmorGfx while memory
// allows. FreeGfxCache empties it (FreeCaches with bit value 1 calls it).
void FreeGfxCache();
// Frees the loaded picture indexes (before the data folders are replaced).
void FreeGfxPaths();
// Frees every loaded graphic, the caches, the indexes and the screen record
// (shut-down; also between tests).
void FreeAllElmorGfx();
// Sets up the picture manager's state record: FreeCaches and FreePaths of the
// system layer reach its caches from now on (the first load does it too).
void SetupPictureManagerState();
// The picture manager's state record back to its start: FreeAllElmorGfx and
// the remembered palette cleared; the 3D engine's hooks stay registered.
void ResetPictureManagerState();
