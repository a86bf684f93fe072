// RastPort calls: pens, draw mode, font, lines, rectangles, pixels, text.
#include <cstdlib>
#include <cstring>

#include "fonts.h"
#include "graphics.h"
#include "graphics_internal.h"
#include "platform/drawntext.h"
#include "platform/log.h"

namespace {

int16_t Clamp16(int32_t v) {
  if (v < -32768) return -32768;
  if (v > 32767) return 32767;
  return (int16_t)v;
}

// The bitmap a RastPort draws into, or null when there is none to draw on.
BitMap* Target(RastPort* rp) {
  if (!rp || !gfx::Usable(rp->Bitmap)) return nullptr;
  return rp->Bitmap;
}

// Bresenham line from (x0, y0) to (x1, y1), both ends included; pixels
// outside the bitmap are skipped one by one, so the visible part is exactly
// that of the whole line.
void Line(BitMap* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t value) {
  int32_t dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0);
  int32_t stepx = x0 < x1 ? 1 : -1, stepy = y0 < y1 ? 1 : -1;
  int32_t err = dx + dy;
  for (;;) {
    if (gfx::Inside(bm, x0, y0)) gfx::Store(bm, gfx::At(bm, x0, y0), value);
    if (x0 == x1 && y0 == y1) break;
    int32_t e2 = 2 * err;
    if (e2 >= dy) { err += dy; x0 += stepx; }
    if (e2 <= dx) { err += dx; y0 += stepy; }
  }
}

// Fills x0..x1, y0..y1 (inclusive, any coordinates) clipped to the bitmap.
void Fill(BitMap* bm, int64_t x0, int64_t y0, int64_t x1, int64_t y1, uint32_t value) {
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 >= (int64_t)bm->Width) x1 = (int64_t)bm->Width - 1;
  if (y1 >= (int64_t)bm->Height) y1 = (int64_t)bm->Height - 1;
  if (x0 > x1 || y0 > y1) return;
  gfx::FillClipped(bm, (int32_t)x0, (int32_t)y0, (int32_t)x1, (int32_t)y1, value);
}

}  // namespace

void InitRastPort(RastPort* rp) {
  if (!rp) return;
  std::memset(rp, 0, sizeof *rp);
  rp->APen = 1;
  rp->BPen = 0;
  rp->DrawMode = 1;
}

void SetAPen(RastPort* rp, uint32_t pen) {
  if (!rp) {
    DebugLog("SetAPen:Der uebergebene RastPort ist nicht valid!");
    return;
  }
  rp->APen = (uint16_t)pen;
}

void SetBPen(RastPort* rp, uint32_t pen) {
  if (rp) rp->BPen = (uint16_t)pen;
}

void SetDrMd(RastPort* rp, uint32_t mode) {
  if (rp) rp->DrawMode = (uint8_t)mode;
}

void SetFont(RastPort* rp, TextFont* font) {
  if (!rp) {
    DebugLog("SetFont:Der angegebene RastPort ist nicht valid!\n");
    return;
  }
  if (!font) return;
  rp->Font = font;
  rp->TxHeight = font->YSize;
  rp->TxBaseline = font->Baseline;
}

void RestoreFont(RastPort* rp, TextFont* font) {
  if (!rp) return;
  if (font) SetFont(rp, font);
  else rp->Font = nullptr;
}

void Move(RastPort* rp, int32_t x, int32_t y) {
  if (!rp) {
    DebugLog("Move: Der uebergebene RastPort ist nicht valid!");
    return;
  }
  rp->PenX = Clamp16(x);
  rp->PenY = Clamp16(y);
}

void Draw(RastPort* rp, int32_t x, int32_t y) {
  if (!rp) return;
  int16_t tx = Clamp16(x), ty = Clamp16(y);
  if (BitMap* bm = Target(rp)) {
    gfx::ShownLock shown(bm);
    Line(bm, rp->PenX, rp->PenY, tx, ty, gfx::PenPixel(bm, rp->APen));
  }
  rp->PenX = tx;
  rp->PenY = ty;
}

void PolyDraw(RastPort* rp, int32_t count, const int16_t* points) {
  if (!rp || !points) return;
  for (int32_t i = 0; i < count; i++) Draw(rp, points[2 * i], points[2 * i + 1]);
}

void RectFill(RastPort* rp, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  BitMap* bm = Target(rp);
  if (!bm) return;
  gfx::ShownLock shown(bm);
  Fill(bm, x1, y1, x2, y2, gfx::PenPixel(bm, rp->APen));
}

int32_t WritePixel(RastPort* rp, int32_t x, int32_t y) {
  BitMap* bm = Target(rp);
  if (!bm || !gfx::Inside(bm, x, y)) return -1;
  gfx::ShownLock shown(bm);
  gfx::Store(bm, gfx::At(bm, x, y), gfx::PenPixel(bm, rp->APen));
  return 0;
}

int32_t ReadPixel(RastPort* rp, int32_t x, int32_t y) {
  BitMap* bm = Target(rp);
  if (!bm || !gfx::Inside(bm, x, y)) return -1;
  uint32_t v;
  {
    gfx::ShownLock shown(bm);
    v = gfx::Load(bm, gfx::At(bm, x, y));
  }
  if (bm->Depth == 8) return (int32_t)v;
  uint32_t table[256];
  gfx::PenTable(BitMapPixelFormat(bm), table);
  for (int32_t pen = 0; pen < 256; pen++)
    if (table[pen] == v) return pen;
  return -1;
}

uint32_t TextLength(RastPort* rp, const char* text, uint32_t length) {
  if (!rp || !rp->Font || !text) return 0;
  uint32_t width = 0;
  for (uint32_t i = 0; i < length; i++) width += FontCharWidth(rp->Font, (uint8_t)text[i]);
  return width;
}

namespace {

// The glyphs of a text at the pen position; the pen advances by their width.
void DrawGlyphs(RastPort* rp, const char* text, uint32_t length) {
  const TextFont* font = rp->Font;
  BitMap* bm = Target(rp);
  int64_t x = rp->PenX;
  int64_t top = (int64_t)rp->PenY - font->Baseline;
  uint32_t fg = 0, bg = 0;
  if (bm) {
    fg = gfx::PenPixel(bm, rp->APen);
    bg = gfx::PenPixel(bm, rp->BPen);
  }
  gfx::ShownLock shown(bm);
  for (uint32_t i = 0; i < length; i++) {
    uint8_t c = (uint8_t)text[i];
    if (c < font->LoChar || c > font->HiChar) continue;
    const TextGlyph& g = font->Glyphs[c - font->LoChar];
    if (bm) {
      if ((rp->DrawMode & 1) && g.Width > 0)
        Fill(bm, x, top, x + g.Width - 1, top + font->YSize - 1, bg);
      const uint8_t* rows = font->GlyphData + g.DataOffset;
      for (uint32_t row = 0; row < font->YSize && g.BitWidth; row++) {
        int64_t py = top + row;
        if (py < 0 || py >= (int64_t)bm->Height) continue;
        const uint8_t* bits = rows + (size_t)row * g.BytesPerRow;
        for (uint32_t col = 0; col < g.BitWidth; col++) {
          if (!(bits[col >> 3] & (0x80 >> (col & 7)))) continue;
          int64_t px = x + g.XOffset + col;
          if (px >= 0 && px < (int64_t)bm->Width) gfx::Store(bm, gfx::At(bm, (int32_t)px, (int32_t)py), fg);
        }
      }
    }
    x += g.Width;
  }
  rp->PenX = Clamp16((int32_t)(x > 32767 ? 32767 : x));
}

}  // namespace

void Text(RastPort* rp, const char* text, uint32_t length) {
  if (!rp || !rp->Font || !text) return;
  ReportDrawnText(text, length, DRAWN_SHOWN);
  DrawGlyphs(rp, text, length);
}

void TypedText(RastPort* rp, const char* text, uint32_t length) {
  if (!rp || !rp->Font || !text) return;
  ReportDrawnText(text, length, DRAWN_TYPED);
  DrawGlyphs(rp, text, length);
}
