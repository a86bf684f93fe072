// Display surfaces of the platform layer: the primary (what the player sees),
// the back surface every screen draws into, and the off-screen work surface.
// Pixels are either 8-bit palette indexes or 32-bit 0x00RRGGBB words in host
// order; rows are `pitch` bytes apart. The display may be larger than the
// 640 x 480 game area, which is then shown centred (see UpdateRectangle).
#pragma once
#include <cstdint>

struct PlatformSurface {
  uint8_t* pixels;
  uint32_t width;
  uint32_t height;
  uint32_t pitch;  // bytes per row
  uint32_t depth;  // 8 or 32
};

struct PaletteEntry {
  uint8_t r, g, b;
};

// The surfaces made by the display set-up; null before it or after shut-down.
PlatformSurface* DisplayPrimarySurface();
PlatformSurface* DisplayBackSurface();
PlatformSurface* DisplayWorkSurface();

// The 256-entry palette of the 8-bit mode: sets entries first..first+count-1.
// Returns 1, or 0 when there is no palette display.
int DisplaySetPalette(uint32_t first, uint32_t count, const PaletteEntry* colours);
void DisplayGetPalette(PaletteEntry out[256]);

// ---- Display set-up, presentation and errors -------------------------------

// Pixel formats of the display modes (DisplayRecord's PixelFormatCode).
enum : uint16_t { kPixelFormatPalette8 = 0, kPixelFormatXRGB8888 = 1 };

// The game area every screen draws in; a larger display shows it centred.
enum : uint32_t { kGameAreaWidth = 640, kGameAreaHeight = 480 };

// Result codes of the display calls; DDErrorString names them for log lines.
enum DisplayResult : int {
  kDisplayOk = 0,
  kDisplayErrNotInitialized = 1,
  kDisplayErrInvalidRect = 2,
  kDisplayErrInvalidParams = 3,
  kDisplayErrOutOfMemory = 4,
  kDisplayErrUnsupportedMode = 5,
  kDisplayErrBackend = 6,
};
// Name of a DisplayResult ("DISPLAYERR_INVALIDRECT", ...); never null.
const char* DDErrorString(int result);

// Makes the primary and back surfaces (width x height) and the 640 x 480 work
// surface, all of the given depth (8 or 32), and the display mutex
// "Titelscreen Mutex". Returns 1, or 0 with a log line.
int InitializeDirectDraw(uint32_t width, uint32_t height, uint32_t depth);
// Frees the surfaces and drops the display mutex; safe to call twice.
void ShutdownDisplay();
// The display's state record back to its start (tests): ShutdownDisplay, the
// 2D renderer, no dirty hook, the grey default palette.
void ResetDisplayState();
// Display size and depth (0 before the set-up).
uint32_t DisplayWidth();
uint32_t DisplayHeight();
uint32_t DisplayDepth();
// Where the game area's (0, 0) lies on the display:
// ((width - 640) / 2, (height - 480) / 2 - 30), or (0, 0) at 640 x 480.
void GameAreaOffset(uint32_t width, uint32_t height, int32_t* dx, int32_t* dy);

// 1: the back surface is shown at display coordinates (UpdateRectangle adds
// no offset; the map screen on a deeper display, whose picture spans the
// display); 0: the game area is centred (the default).
void SetDisplayGameAreaAtCorner(uint32_t on);
uint32_t DisplayGameAreaAtCorner();

// The display mutex, held around every copy to the primary surface. Other
// threads may also reach it by name with CreateNamedMutex.
struct QoeMutex;
QoeMutex* DisplayMutex();

// Renderer of the display: 0 2D, 1 OpenGL (once the program has made a GL
// context). In OpenGL mode the window thread draws the screen from its own
// bitmap; UpdateRectangle copies nothing and hands the rectangle to the
// dirty hook instead, and a palette change hands it the whole screen.
void DisplaySetRenderer(uint32_t renderer);
uint32_t DisplayRenderer();
// OpenGL mode: the 3D engine's queue of changed screen rectangles (game
// coordinates; width and height 0 stand for the whole screen). Null: none.
using DisplayDirtyHook = void (*)(int32_t x, int32_t y, int32_t width, int32_t height);
void SetDisplayDirtyHook(DisplayDirtyHook hook);

// Shows the rectangle (game coordinates) of the back surface: copies it under
// the display mutex to the primary at the centring offset (OpenGL mode: hands
// it to the dirty hook and returns 1). Width or height 0 copies nothing. A rectangle that does not fit the surfaces is clipped
// (after a "BltFast" log line); 0 when nothing is left to copy or no display.
int UpdateRectangle(int32_t x, int32_t y, int32_t width, int32_t height);
// Copies a rectangle of the work surface (sx, sy) to the primary at display
// position (dx, dy) under the display mutex. clip 0: the whole rectangle must
// fit both surfaces (else kDisplayErrInvalidRect and nothing is copied);
// clip 1: it is cut to both surfaces at the same place. A DisplayResult.
int DisplayBltWork(int32_t sx, int32_t sy, int32_t dx, int32_t dy, int32_t width, int32_t height, int clip);
// Shows the whole back page (display coordinates, no offset) of the paged
// display the map screen uses. Returns 1, or 0 without a display.
int Flip(uint32_t mode);
// Waits for the display's next vertical blank (returns at once headless).
void WaitTOF();

// Number of frames handed to the backend for presentation so far.
uint64_t DisplayFrameCount();
// Copies the primary surface as 0x00RRGGBB words (palette applied in the
// 8-bit mode) into out, which holds width x height words; 0 when that is
// not the display's size or there is no display.
int DisplayReadRGB(uint32_t* out, uint32_t width, uint32_t height);
// The backend's present: the rectangles of the primary changed since the last
// call (display coordinates; overlapping changes merged, at most
// kDisplayChangeRects, else their bounding box) are converted into out (the
// whole display's frame, width x height words, 0x00RRGGBB) and returned in
// rects; the count (0: nothing changed, or not the display's size).
constexpr uint32_t kDisplayChangeRects = 16;
struct DisplayRect {
  int32_t x, y, width, height;
};
uint32_t DisplayTakeChangedRGB(uint32_t* out, uint32_t width, uint32_t height, DisplayRect* rects);
// The whole display counts as changed (a window shown again, a new frame buffer).
void DisplayMarkAllChanged();
// Writes the primary surface (the whole display) as an RGB PNG file; 1 on success.
int WriteDisplayPng(const char* path);
