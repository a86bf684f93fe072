// Amiga-style drawing: BitMaps, RastPorts, blits, the palette copy and the
// pixel formats of the display modes. Pixels are 8-bit palette indexes (pens)
// or 32-bit colours; drawing at depth 32 looks the pen up in the screen
// palette. Every call clips: nothing is written outside a bitmap, whatever
// the coordinates.
#pragma once
#include <cstdint>

struct PlatformSurface;
struct TextFont;

// BitMapFlags.
enum : uint32_t {
  BMF_CLEAR = 1,         // accepted: memory bitmaps always start cleared
  BMF_DISPLAYABLE = 2,   // accepted, no meaning here
  BMF_INTERLEAVED = 4,   // accepted, no meaning here (chunky pixels)
  BMF_SURFACE = 0x100,   // wraps a platform surface; the pixels are not ours
  BMF_RGBA = 0x200,      // depth 32 in OpenGL byte order R, G, B, A
};

// The pixel formats of our display modes (`PixelFormatCode`); the first two
// are the platform display's kPixelFormatPalette8 and kPixelFormatXRGB8888.
enum PixelFormatCode : uint16_t {
  PIXFMT_LUT8 = 0,    // 8-bit palette indexes
  PIXFMT_XRGB32 = 1,  // 32-bit 0x00RRGGBB words in host order (the surfaces)
  PIXFMT_RGBA32 = 2,  // 32-bit, bytes R, G, B, A in memory (OpenGL textures)
  PIXFMT_NONE = 0xFFFF,
};

struct BitMap {
  uint32_t Width;
  uint32_t Padding;      // bytes at the end of each row beyond Width pixels
  uint32_t BytesPerRow;
  uint32_t Height;
  uint32_t Depth;        // 8 or 32
  uint32_t Flags;        // BitMapFlags
  uint8_t* Pixels;
  uint32_t Size;         // BytesPerRow x Height
  uint8_t* SecondBuffer; // not used by the drawing calls (null)
  PlatformSurface* Surface;  // set with BMF_SURFACE
};

struct RastPort {
  uint16_t APen;
  uint16_t BPen;
  uint16_t TxHeight;     // copied from the font by SetFont
  int16_t PenX;
  int16_t PenY;
  uint8_t DrawMode;      // 0 text foreground only, 1 also the B pen behind it
  TextFont* Font;
  BitMap* Bitmap;
  uint16_t TxBaseline;   // copied from the font by SetFont
};

// One colour of the palette copy: red, green, blue and a spare byte.
struct PaletteColor {
  uint8_t Red, Green, Blue, Spare;
};
struct PaletteCopy {
  PaletteColor Colors[256];
};

// --- Bitmaps ----------------------------------------------------------------
// A cleared memory bitmap; depth 1..8 gives 8-bit pixels, 32 gives 32-bit
// pixels (0x00RRGGBB, or R,G,B,A bytes with BMF_RGBA, also taken over from
// a 32-bit friend bitmap).
// Null for other depths, a zero or oversized area, or no memory.
BitMap* AllocBitMap(uint32_t width, uint32_t height, uint32_t depth, uint32_t flags,
                    const BitMap* friend_bitmap);
// A bitmap over a platform surface (the screen's back surface); null for a
// null surface or one of another depth than 8 or 32.
BitMap* AllocSurfaceBitMap(PlatformSurface* surface);
// Frees the record and, unless it wraps a surface, its pixels; null ignored.
void FreeBitMap(BitMap* bm);
// The pixel format of a bitmap's pixels (PIXFMT_NONE for null).
uint16_t BitMapPixelFormat(const BitMap* bm);

// --- Palette ----------------------------------------------------------------
// The program's palette table: pens of 32-bit bitmaps and ConvertRGBToFormat
// take their colours from here; the display records point at it.
PaletteCopy* ScreenPalette();
// Reads groups {u16 count, u16 first, count x 3 u32 with the component in the
// top byte} (host order) until a count of 0 into target (null = the screen
// palette); entries beyond 255 are dropped. On an 8-bit display the display
// palette follows (the group's range for one group, else all 256).
void LoadRGB32(PaletteCopy* target, const void* table);
// Sets colour n of target (null = the screen palette) from 4-bit components.
void SetRGB4(PaletteCopy* target, uint32_t n, uint32_t r, uint32_t g, uint32_t b);
// Converts count 8-bit pens into the given format through the screen palette;
// returns the pixels written (0 for an unknown format or null pointers).
uint32_t ConvertRGBToFormat(uint16_t format, const uint8_t* source, void* destination, uint32_t count);

// --- RastPort ---------------------------------------------------------------
void InitRastPort(RastPort* rp);  // A pen 1, B pen 0, draw mode 1, rest 0
void SetAPen(RastPort* rp, uint32_t pen);
void SetBPen(RastPort* rp, uint32_t pen);
void SetDrMd(RastPort* rp, uint32_t mode);
void SetFont(RastPort* rp, TextFont* font);  // null font ignored
// Puts back the font read from rp->Font before a drawing in another font
// (none: the RastPort keeps none), so a borrowed font never stays behind.
void RestoreFont(RastPort* rp, TextFont* font);
void Move(RastPort* rp, int32_t x, int32_t y);
// Line in the A pen from the pen position to (x, y), both ends included.
void Draw(RastPort* rp, int32_t x, int32_t y);
// Polyline from the pen position through count (x, y) pairs.
void PolyDraw(RastPort* rp, int32_t count, const int16_t* points);
// Fills (x1, y1)..(x2, y2), both corners included, with the A pen.
void RectFill(RastPort* rp, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// 0, or -1 when the pixel lies outside the bitmap.
int32_t WritePixel(RastPort* rp, int32_t x, int32_t y);
// The pen of a pixel (at depth 32 the first palette entry of its colour);
// -1 outside the bitmap or for a colour not in the palette.
int32_t ReadPixel(RastPort* rp, int32_t x, int32_t y);
// Draws length characters with their baseline at the pen position and
// advances the pen by their width; reports them to the drawn-text watch
// (platform/drawntext.h).
void Text(RastPort* rp, const char* text, uint32_t length);
// The same for the content of an input field the player types in: the watch
// hears it as typed.
void TypedText(RastPort* rp, const char* text, uint32_t length);
// Width in pixels of length characters in the RastPort's font.
uint32_t TextLength(RastPort* rp, const char* text, uint32_t length);

// --- Blits --------------------------------------------------------------------
// Copies width x height pixels; source and destination may overlap in one
// bitmap. 8-bit sources may go to 32-bit destinations (through the palette).
// Returns 1, or 0 for null bitmaps or formats that cannot be combined. The
// trailing Amiga words are ignored.
int32_t BltBitMap(const BitMap* src, int32_t sx, int32_t sy, BitMap* dst, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, uint32_t minterm = 0xC0, uint32_t mask = 0xFF,
                  void* temp = nullptr);
int32_t BltBitMapRastPort(const BitMap* src, int32_t sx, int32_t sy, RastPort* rp, int32_t dx,
                          int32_t dy, int32_t width, int32_t height, uint32_t minterm = 0xC0);
// Like BltBitMapRastPort but leaves transparent source pixels out. With a
// null mask the colour key is transparent (pen 0 at depth 8, red = green =
// blue = 0 at depth 32); otherwise mask holds one byte per source pixel
// (Width x Height bytes, row by row), 0 = transparent. Minterms 0xE0 and 0
// both copy through the mask.
int32_t BltMaskBitMapRastPort(const BitMap* src, int32_t sx, int32_t sy, RastPort* rp, int32_t dx,
                              int32_t dy, int32_t width, int32_t height, uint32_t minterm,
                              const uint8_t* mask);
