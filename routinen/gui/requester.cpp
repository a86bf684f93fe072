#include "requester.h"
#include "census.h"

#include <cstring>

#include "gui_internal.h"
#include "pictures.h"
#include "platform/log.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "text.h"

namespace {

uint32_t Max(uint32_t a, uint32_t b) { return a > b ? a : b; }

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

BitMap* ScreenBitMap() {
  RastPort* s = ScreenRastPort();
  return s ? s->Bitmap : nullptr;
}

// Content bitmaps and slider bitmaps have the screen's depth, so pictures
// can be blitted into them.
BitMap* NewBitMap(uint32_t w, uint32_t h) {
  BitMap* screen = ScreenBitMap();
  return AllocBitMap(w, h, screen ? screen->Depth : 8, BMF_CLEAR, screen);
}

uint32_t FontLineHeight(TextFont* font) { return (font ? font->YSize : 8u) + 1u; }

// The rows of the window that show content: a box of whole lines shows as
// many whole lines as fit its height.
uint32_t ShownHeight(const QoERequester* r) {
  if (!r->wholeLines || r->lineHeight == 0 || r->height < r->lineHeight) return r->height;
  return r->height / r->lineHeight * r->lineHeight;
}

uint32_t MaxOffset(const QoERequester* r) {
  const uint32_t shown = ShownHeight(r);
  return r->totalHeight > shown ? r->totalHeight - shown : 0;
}

// A box of whole lines scrolls to line boundaries only (never past the last
// page).
uint32_t WholeLineOffset(const QoERequester* r, uint32_t offset, bool round) {
  if (!r->wholeLines || r->lineHeight == 0) return offset;
  const uint32_t lh = r->lineHeight, last = MaxOffset(r) / lh * lh;
  const uint32_t at = (round ? offset + lh / 2 : offset) / lh * lh;
  return at < last ? at : last;
}

const char* LineOf(const QoERequester* r, uint32_t i) { return r->text + (size_t)i * kRequesterLineSize; }

// The record with its RastPort; no content yet.
QoERequester* NewRequester(uint16_t kind, uint32_t cw, TextFont* font, int32_t x, int32_t y, uint32_t w,
                           uint32_t h, uint32_t pen_a, uint32_t pen_b) {
  if (w == 0 || h == 0 || w > 4096 || h > 4096 || cw > 4096) return nullptr;
  QoERequester* r = static_cast<QoERequester*>(AllocVec(sizeof(QoERequester), MEMF_PUBLIC | MEMF_CLEAR));
  if (!r) return nullptr;
  r->rp = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_PUBLIC | MEMF_CLEAR));
  if (!r->rp) {
    FreeVec(r);
    return nullptr;
  }
  InitRastPort(r->rp);
  if (font) SetFont(r->rp, font);
  r->kind = kind;
  r->contentWidth = cw ? cw : w;
  r->font = font;
  r->x = x;
  r->y = y;
  r->width = w;
  r->height = h;
  r->lineHeight = FontLineHeight(font);
  r->pens[0] = (uint16_t)pen_a;
  r->pens[1] = (uint16_t)pen_b;
  r->pens[2] = (uint16_t)pen_b;
  r->pens[3] = (uint16_t)pen_a;
  r->selected = kNoEntry;
  return r;
}

// A content bitmap of at least the window's size, filled with the background.
BitMap* NewContent(const QoERequester* r, uint32_t height) {
  const uint32_t w = Max(r->contentWidth, r->width), h = Max(height, r->height);
  if ((uint64_t)w * h > (16u << 20)) return nullptr;  // 64 MB at depth 32
  BitMap* bm = NewBitMap(w, h);
  if (!bm) return nullptr;
  RastPort rp{};
  InitRastPort(&rp);
  rp.Bitmap = bm;
  SetAPen(&rp, r->pens[0]);
  RectFill(&rp, 0, 0, (int32_t)w - 1, (int32_t)h - 1);
  return bm;
}

void SetContent(QoERequester* r, BitMap* bm) {
  FreeBitMap(r->content);
  r->content = bm;
  r->rp->Bitmap = bm;
}

char* CopyLines(const char* lines, uint32_t count) {
  const uint32_t n = count ? count : 1;
  char* c = static_cast<char*>(AllocVec(n * kRequesterLineSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!c) return nullptr;
  if (lines && count) std::memcpy(c, lines, (size_t)count * kRequesterLineSize);
  for (uint32_t i = 0; i < n; ++i) c[(i + 1) * kRequesterLineSize - 1] = 0;
  return c;
}

char* CopyText(const char* text) {
  const size_t n = text ? std::strlen(text) : 0;
  if (n >= 0x1000000) return nullptr;
  char* c = static_cast<char*>(AllocVec((uint32_t)n + 1, MEMF_PUBLIC | MEMF_CLEAR));
  if (c && n) std::memcpy(c, text, n);
  return c;
}

// Entry i of a list box in the given pens, into the content.
void DrawListLine(QoERequester* r, uint32_t i, uint32_t back, uint32_t fore) {
  if (!r->content || i >= r->lines) return;
  const int32_t top = (int32_t)(i * r->lineHeight);
  SetAPen(r->rp, back);
  RectFill(r->rp, 0, top, (int32_t)r->contentWidth - 1, top + (int32_t)r->lineHeight - 1);
  PrintTextOutlined(r->rp, 2, top, (int32_t)r->contentWidth - 1, top + (int32_t)r->lineHeight - 1, LineOf(r, i),
                    back, fore, PTO_TOP);
}

// Whole content of a list box (and the own part of an own-drawn one).
void DrawList(QoERequester* r) {
  for (uint32_t i = 0; i < r->lines; ++i) DrawListLine(r, i, r->pens[0], r->pens[1]);
  if (r->selected != kNoEntry && r->selected < r->lines)
    DrawListLine(r, r->selected, r->pens[2], r->pens[3]);
  if (r->kind == REQ_OWN && r->drawHook) r->drawHook(r, r->userData);
}

// Whole content of a text box; returns the lines drawn.
uint32_t DrawText(QoERequester* r) {
  if (r->textHook) return r->textHook(r, 0);
  if (!r->text || !*r->text) return 0;
  SetDrMd(r->rp, 0);
  SetAPen(r->rp, r->pens[1]);
  if (r->lineHeight != FontLineHeight(r->font))
    return PrintTextWrappedSpaced(r->rp, r->text, 0, 0, r->contentWidth, r->lineHeight);
  return PrintTextWrapped(r->rp, r->text, 0, 0, 65535, 65535, r->contentWidth) + 1;
}

uint32_t WrappedLines(QoERequester* r) {
  if (!r->text || !*r->text) return 0;
  return CountWrappedLines(r->rp, r->text, 0, 0, 65535, 65535, r->contentWidth) + 1;
}

// The offset from the scroll percent.
void OffsetFromPercent(QoERequester* r) {
  r->pixelOffset = WholeLineOffset(r, (uint32_t)((uint64_t)MaxOffset(r) * r->scrollPercent / 100), true);
  r->topLine = r->pixelOffset / r->lineHeight;
}

void PercentFromOffset(QoERequester* r) {
  const uint32_t m = MaxOffset(r);
  if (r->pixelOffset > m) r->pixelOffset = m;
  r->pixelOffset = WholeLineOffset(r, r->pixelOffset, false);
  r->scrollPercent = m ? (uint16_t)((uint64_t)r->pixelOffset * 100 / m) : 0;
  r->topLine = r->pixelOffset / r->lineHeight;
}

void ComputeShare(QoERequester* r) {
  const uint32_t shown = ShownHeight(r);
  if (r->totalHeight <= shown || r->totalHeight == 0) {
    r->sliderPercent = 100;
    return;
  }
  uint32_t share = (uint32_t)((uint64_t)shown * 100 / r->totalHeight);
  r->sliderPercent = (uint16_t)(share ? share : 1);
}

// Shows the visible window of the content on the screen.
void ShowWindow(QoERequester* r) {
  RastPort* screen = ScreenRastPort();
  if (!screen || !r->content) return;
  const int32_t h = (int32_t)r->height, w = (int32_t)r->width;
  int32_t rows = (int32_t)r->content->Height - (int32_t)r->pixelOffset;
  rows = Clamp(rows, 0, (int32_t)ShownHeight(r));
  {
    ScreenDrawLock draw(screen);
    BltBitMapRastPort(r->content, 0, (int32_t)r->pixelOffset, screen, r->x, r->y, w, rows);
    if (rows < h) {
      SetAPen(screen, r->pens[0]);
      RectFill(screen, r->x, r->y + rows, r->x + w - 1, r->y + h - 1);
    }
  }
  ShowScreenRect(screen, r->x, r->y, w, h);
  r->drawn = 1;
  CensusRequesterShown(r);
}

uint32_t KnobHeight(const QoERequester* r) {
  uint32_t k = (uint32_t)((uint64_t)r->sliderHeight * r->sliderPercent / 100);
  if (k < 4) k = 4;
  if (k > r->sliderHeight) k = r->sliderHeight;
  return k;
}

uint32_t KnobTop(const QoERequester* r) {
  return (uint32_t)((uint64_t)(r->sliderHeight - KnobHeight(r)) * r->scrollPercent / 100);
}

void DrawSlider(QoERequester* r) {
  if (!r->sliderBitmap) return;
  RastPort* rp = r->sliderRp;
  const int32_t w = (int32_t)r->sliderWidth, h = (int32_t)r->sliderHeight;
  SetAPen(rp, r->sliderPens[1]);
  RectFill(rp, 0, 0, w - 1, h - 1);
  const int32_t top = (int32_t)KnobTop(r), bottom = top + (int32_t)KnobHeight(r) - 1;
  SetAPen(rp, r->sliderPens[0]);
  RectFill(rp, 0, top, w - 1, bottom);
  SetAPen(rp, r->sliderPens[2]);
  RectFill(rp, 0, top, w - 1, top);
  RectFill(rp, 0, top, 0, bottom);
  SetAPen(rp, r->sliderPens[3]);
  RectFill(rp, 0, bottom, w - 1, bottom);
  RectFill(rp, w - 1, top, w - 1, bottom);
  RastPort* screen = ScreenRastPort();
  if (!screen) return;
  {
    ScreenDrawLock draw(screen);
    BltBitMapRastPort(r->sliderBitmap, 0, 0, screen, r->sliderX, r->sliderY, w, h);
  }
  ShowScreenRect(screen, r->sliderX, r->sliderY, w, h);
}

void Redraw(QoERequester* r) {
  ShowWindow(r);
  DrawSlider(r);
}

// Builds the content of a list box for r->lines entries.
bool BuildList(QoERequester* r) {
  BitMap* bm = NewContent(r, r->lines * r->lineHeight);
  if (!bm) return false;
  SetContent(r, bm);
  r->totalHeight = r->lines * r->lineHeight;
  DrawList(r);
  ComputeShare(r);
  return true;
}

QoERequester* MakeList(uint16_t kind, RequesterDrawHook hook, void* data, uint32_t cw, uint32_t count,
                       TextFont* font, const char* lines, int32_t x, int32_t y, uint32_t w, uint32_t h,
                       uint32_t pen_a, uint32_t pen_b) {
  if (count > 0xFFFE || !ScreenRastPort()) return nullptr;
  QoERequester* r = NewRequester(kind, cw, font, x, y, w, h, pen_a, pen_b);
  if (!r) return nullptr;
  r->drawHook = hook;
  r->userData = data;
  r->lines = count;
  r->text = CopyLines(lines, count);
  if (!r->text || !BuildList(r)) {
    FreeRequesterBox(r);
    return nullptr;
  }
  ShowWindow(r);
  return r;
}

// The total height from the line count when it is not set, never more than
// the content bitmap holds.
void TextHeightFromLines(QoERequester* r) {
  const uint32_t limit = r->content ? r->content->Height : 0;
  if (r->totalHeight == 0) {
    const uint64_t rows = (uint64_t)r->lines * r->lineHeight;
    r->totalHeight = (uint32_t)(rows < limit ? rows : limit);
  }
  if (r->totalHeight > limit) r->totalHeight = limit;
}

// Lays a text box out anew (after Init or a new text).
bool BuildText(QoERequester* r) {
  const uint32_t counted = WrappedLines(r);
  r->lines = r->textHook ? (counted + 1) * 2 : counted;
  r->totalHeight = 0;
  if (!InitRequesterTextBox_Bitmap(r)) return false;
  const uint32_t used = DrawText(r);
  if (used) r->lines = used;
  r->totalHeight = 0;
  TextHeightFromLines(r);
  return true;
}

}  // namespace

QoERequester* InitRequesterBox(uint32_t cw, uint32_t count, TextFont* font, const char* lines, int32_t x,
                               int32_t y, uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b) {
  return MakeList(REQ_LIST, nullptr, nullptr, cw, count, font, lines, x, y, w, h, pen_a, pen_b);
}

QoERequester* InitOwnRequesterBox(RequesterDrawHook hook, void* data, uint32_t cw, uint32_t count,
                                  TextFont* font, const char* lines, int32_t x, int32_t y, uint32_t w,
                                  uint32_t h, uint32_t pen_a, uint32_t pen_b) {
  return MakeList(REQ_OWN, hook, data, cw, count, font, lines, x, y, w, h, pen_a, pen_b);
}

QoERequester* InitRequesterTextBox_Init(uint32_t cw, TextFont* font, const char* text, int32_t x, int32_t y,
                                        uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b) {
  QoERequester* r = NewRequester(REQ_TEXT, cw, font, x, y, w, h, pen_a, pen_b);
  if (!r) return nullptr;
  r->text = CopyText(text);
  if (!r->text) {
    FreeRequesterBox(r);
    return nullptr;
  }
  return r;
}

int32_t InitRequesterTextBox_Bitmap(QoERequester* req) {
  if (!req) return 0;
  const uint64_t rows = (uint64_t)req->lines * req->lineHeight;
  if (rows > 0x1000000) return 0;
  BitMap* bm = NewContent(req, Max((uint32_t)rows, req->totalHeight));
  if (!bm) return 0;
  SetContent(req, bm);
  return 1;
}

int32_t BlitRequesterTextBox(QoERequester* req) {
  if (!req || !req->content) return 0;
  TextHeightFromLines(req);
  ComputeShare(req);
  OffsetFromPercent(req);
  if (!ScreenRastPort()) return 0;
  ShowWindow(req);
  return 1;
}

QoERequester* InitRequesterTextBox(uint32_t cw, TextFont* font, const char* text, int32_t x, int32_t y,
                                   uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b,
                                   RequesterTextHook hook) {
  if (!ScreenRastPort()) return nullptr;
  QoERequester* r = InitRequesterTextBox_Init(cw, font, text, x, y, w, h, pen_a, pen_b);
  if (!r) return nullptr;
  r->textHook = hook;
  if (!BuildText(r) || !BlitRequesterTextBox(r)) {
    FreeRequesterBox(r);
    return nullptr;
  }
  return r;
}

QoERequester* InitRequesterTextBoxLines(uint32_t cw, TextFont* font, const char* text, int32_t x, int32_t y,
                                        uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b, uint32_t step) {
  if (!ScreenRastPort()) return nullptr;
  QoERequester* r = InitRequesterTextBox_Init(cw, font, text, x, y, w, h, pen_a, pen_b);
  if (!r) return nullptr;
  if (step) r->lineHeight = step;
  r->wholeLines = 1;
  if (!BuildText(r) || !BlitRequesterTextBox(r)) {
    FreeRequesterBox(r);
    return nullptr;
  }
  return r;
}

int32_t InitSlider(QoERequester* req, uint32_t w, uint32_t h, uint32_t knob_pen, uint32_t back_pen,
                   uint32_t light_pen, uint32_t dark_pen, int32_t x, int32_t y) {
  if (!req || w == 0 || h == 0 || w > 4096 || h > 4096) return 0;
  BitMap* bm = NewBitMap(w, h);
  if (!bm) return 0;
  if (!req->sliderRp) {
    req->sliderRp = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_PUBLIC | MEMF_CLEAR));
    if (!req->sliderRp) {
      FreeBitMap(bm);
      return 0;
    }
  }
  InitRastPort(req->sliderRp);
  FreeBitMap(req->sliderBitmap);
  req->sliderBitmap = bm;
  req->sliderRp->Bitmap = bm;
  req->sliderX = x;
  req->sliderY = y;
  req->sliderWidth = w;
  req->sliderHeight = h;
  req->sliderPens[0] = (uint16_t)knob_pen;
  req->sliderPens[1] = (uint16_t)back_pen;
  req->sliderPens[2] = (uint16_t)light_pen;
  req->sliderPens[3] = (uint16_t)dark_pen;
  ComputeShare(req);
  DrawSlider(req);
  return 1;
}

bool ScrollRequester(QoERequester* req, uint32_t mode, int32_t value) {
  if (!req) return false;
  const bool scrolls = MaxOffset(req) > 0;
  switch (mode) {
    case 0: {
      const int64_t p = (int64_t)req->scrollPercent + value;
      const uint16_t percent = (uint16_t)(p < 0 ? 0 : (p > 100 ? 100 : p));
      // A redraw at the percent the offset already stands at keeps the
      // offset: line and pixel scrolling stop between the percent steps,
      // and recomputing it would move the content up a little each time.
      const uint32_t m = MaxOffset(req);
      const bool same = m && percent == (uint16_t)((uint64_t)req->pixelOffset * 100 / m) && req->pixelOffset <= m;
      req->scrollPercent = percent;
      if (!same) {
        const uint32_t was = req->pixelOffset;
        OffsetFromPercent(req);
        // A box of whole lines moves by a line at least where the percent
        // moved (a step of the arrows is less than a line in a short text).
        if (req->wholeLines && m && req->pixelOffset == was) {
          const uint32_t at = (uint32_t)((uint64_t)was * 100 / m);
          if (percent > at) req->pixelOffset = WholeLineOffset(req, was + req->lineHeight, false);
          else if (percent < at && was >= req->lineHeight) req->pixelOffset = was - req->lineHeight;
          PercentFromOffset(req);
        }
      }
      break;
    }
    case 1:
    case 2: {
      // A far line or pixel clamps to the last page (no wrap-around).
      const uint64_t off = value < 0 ? 0 : (uint64_t)value * (mode == 1 ? req->lineHeight : 1);
      req->pixelOffset = (uint32_t)(off < MaxOffset(req) ? off : MaxOffset(req));
      PercentFromOffset(req);
      break;
    }
    default:
      return false;
  }
  if (!scrolls) {
    req->scrollPercent = 0;
    req->pixelOffset = 0;
    req->topLine = 0;
  }
  Redraw(req);
  return scrolls;
}

uint32_t MoveSlider(QoERequester* req, uint32_t value) {
  if (!req) return 0;
  if (MaxOffset(req) == 0) {
    req->scrollPercent = 0;
  } else if (value & SLIDER_STEP) {
    const int32_t step = (int32_t)(value & 0x7F);
    const int32_t p = (int32_t)req->scrollPercent + ((value & 0x80) ? -step : step);
    req->scrollPercent = (uint16_t)Clamp(p, 0, 100);
  } else if (req->sliderHeight) {
    // The knob's middle goes to the mouse.
    const int32_t knob = (int32_t)KnobHeight(req), track = (int32_t)req->sliderHeight - knob;
    const int32_t top = (int32_t)value - req->sliderY - knob / 2;
    req->scrollPercent = track > 0 ? (uint16_t)Clamp(top * 100 / track, 0, 100) : 0;
  }
  DrawSlider(req);
  return req->scrollPercent;
}

namespace {

// The entry a SelectRequesterEntry call names; kNoEntry for none.
uint32_t EntryOfCall(const QoERequester* r, uint32_t mode, uint32_t value) {
  if (mode == 0) {
    const int32_t y = (int32_t)value - r->y;
    if (y < 0 || y >= (int32_t)r->height) return kNoEntry;
    const uint32_t row = (uint32_t)y + r->pixelOffset;
    return row / r->lineHeight;
  }
  return value & 0xFFFF;
}

template <typename MarkFn, typename UnmarkFn>
uint32_t Select(QoERequester* r, uint32_t mode, uint32_t value, MarkFn mark, UnmarkFn unmark) {
  if (!r || r->kind == REQ_TEXT) return kNoEntry;
  if (r->selected != kNoEntry && r->selected >= r->lines) r->selected = kNoEntry;
  if (mode == 1 && (value & 0xFFFF) == kNoEntry) {
    if (r->selected != kNoEntry) {
      unmark(r->selected);
      r->selected = kNoEntry;
      ShowWindow(r);
    }
    return kNoEntry;
  }
  const uint32_t entry = EntryOfCall(r, mode, value);
  if (entry >= r->lines || entry == kNoEntry) return kNoEntry;
  if (entry == r->selected) return entry;
  if (r->selected != kNoEntry) unmark(r->selected);
  r->selected = (uint16_t)entry;
  mark(entry);
  ShowWindow(r);
  return entry;
}

}  // namespace

uint32_t SelectRequesterEntry(QoERequester* req, uint32_t mode, uint32_t value, uint32_t hi_a, uint32_t hi_b) {
  if (!req) return kNoEntry;
  if (hi_a || hi_b) {
    req->pens[2] = (uint16_t)hi_a;
    req->pens[3] = (uint16_t)hi_b;
  }
  return Select(
      req, mode, value, [&](uint32_t e) { DrawListLine(req, e, req->pens[2], req->pens[3]); },
      [&](uint32_t e) { DrawListLine(req, e, req->pens[0], req->pens[1]); });
}

uint32_t SelectOwnRequesterEntry(QoERequester* req, RequesterEntryHook mark, RequesterEntryHook unmark,
                                 void* data, uint32_t mode, uint32_t value) {
  if (!req) return kNoEntry;
  return Select(
      req, mode, value,
      [&](uint32_t e) {
        if (mark) mark(req, data, e);
        else DrawListLine(req, e, req->pens[2], req->pens[3]);
      },
      [&](uint32_t e) {
        if (unmark) unmark(req, data, e);
        else DrawListLine(req, e, req->pens[0], req->pens[1]);
      });
}

namespace {

// Puts a new copy of the content into a box and lays it out with build; when
// that fails the old text and picture come back and the copy is freed.
template <typename BuildFn>
bool ReplaceContent(QoERequester* r, char* copy, BuildFn build) {
  char* old_text = r->text;
  BitMap* old_bm = r->content;
  const uint32_t old_lines = r->lines, old_total = r->totalHeight;
  r->text = copy;
  r->content = nullptr;
  r->rp->Bitmap = nullptr;
  if (!build(r)) {
    FreeVec(copy);
    FreeBitMap(r->content);
    r->text = old_text;
    r->content = old_bm;
    r->rp->Bitmap = old_bm;
    r->lines = old_lines;
    r->totalHeight = old_total;
    return false;
  }
  FreeVec(old_text);
  FreeBitMap(old_bm);
  return true;
}

}  // namespace

QoERequester* UpdateRequesterText(QoERequester* req, const char* content, uint32_t count) {
  if (!req) return nullptr;
  const uint32_t old_offset = req->pixelOffset;
  if (req->kind == REQ_TEXT) {
    char* copy = CopyText(content);
    if (!copy || !ReplaceContent(req, copy, BuildText)) return nullptr;
  } else {
    if (count > 0xFFFE) return nullptr;
    char* copy = CopyLines(content, count);
    if (!copy) return nullptr;
    const bool built = ReplaceContent(req, copy, [count](QoERequester* r) {
      r->lines = count;
      if (r->selected != kNoEntry && r->selected >= count) r->selected = kNoEntry;
      return BuildList(r);
    });
    if (!built) return nullptr;
  }
  ComputeShare(req);
  req->pixelOffset = old_offset;
  PercentFromOffset(req);
  Redraw(req);
  return req;
}

void FreeRequesterBox(QoERequester* req) {
  if (!req) return;
  CensusRequesterFreed(req);
  FreeBitMap(req->content);
  FreeBitMap(req->sliderBitmap);
  FreeVec(req->rp);
  FreeVec(req->sliderRp);
  FreeVec(req->text);
  FreeVec(req);
}
