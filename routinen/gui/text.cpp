#include "text.h"

#include <cstring>
#include <string>

#include "gui_internal.h"
#include "layout.h"
#include "layout_internal.h"
#include "pictures.h"
#include "platform/drawntext.h"
#include "platform/log.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"

namespace {

int32_t FontHeight(RastPort* rp) { return rp->Font ? rp->Font->YSize : rp->TxHeight; }
int32_t FontBaseline(RastPort* rp) { return rp->Font ? rp->Font->Baseline : rp->TxBaseline; }

// Each text is reported whole before it is wrapped (Text reports the lines).
void ReportDrawn(const char* text) { ReportDrawnText(text); }

void TextAt(RastPort* rp, int32_t x, int32_t y, const char* text, uint32_t len, uint32_t pen) {
  SetAPen(rp, pen);
  Move(rp, x, y);
  Text(rp, text, len);
}

// The lines of a text: calls line(start, length) for each; returns the count.
// Word wrap breaks at the last blank of a line; character wrap anywhere.
template <typename LineFn>
uint32_t WrapLines(RastPort* rp, const char* text, uint32_t max_chars, uint32_t max_lines, uint32_t width,
                   bool words, LineFn line) {
  if (!text || !*text || max_lines == 0) return 0;
  uint32_t lines = 0;
  const char* p = text;
  while (*p && lines < max_lines) {
    uint32_t n = 0, px = 0;
    int32_t last_blank = -1;
    bool newline = false;
    while (p[n]) {
      if (p[n] == '\n') { newline = true; break; }
      uint32_t cw = TextLength(rp, p + n, 1);
      if (n > 0 && (n + 1 > max_chars || px + cw > width)) break;
      if (p[n] == ' ') last_blank = (int32_t)n;
      px += cw;
      ++n;
    }
    uint32_t len = n, next = n;
    if (newline) {
      next = n + 1;
    } else if (p[n] == ' ' && words) {
      next = n + 1;  // the break falls on a blank: it is not drawn
    } else if (p[n] && words && last_blank > 0) {
      len = (uint32_t)last_blank;
      next = len + 1;  // the blank at the break is not drawn
    }
    line(p, len, lines);
    ++lines;
    p += next;
    if (!newline && !words && *p == '\n') ++p;  // a newline right at a break ends only that line
  }
  return lines;
}

// Draws the wrapped lines of a text one below the other from (x, y), `step`
// pixels apart (0: the font's height + 1), and shows them; returns how many
// lines were drawn.
uint32_t PrintLines(RastPort* rp, const char* text, int32_t x, int32_t y, uint32_t max_chars, uint32_t max_lines,
                    uint32_t width, bool words, uint32_t line_step = 0) {
  if (!rp) rp = ScreenRastPort();
  if (!rp) return 0;
  ReportDrawn(text);
  const int32_t step = line_step ? (int32_t)line_step : FontHeight(rp) + 1, base = FontBaseline(rp);
  ScreenDrawLock draw(rp);
  uint32_t n = WrapLines(rp, text, max_chars, max_lines, width, words, [&](const char* s, uint32_t len, uint32_t k) {
    Move(rp, x, y + (int32_t)k * step + base);
    if (len) Text(rp, s, len);
  });
  if (n) ShowScreenRect(rp, x, y, (int32_t)width, (int32_t)n * step);
  return n;
}

// The text module's state: the title bar's caption as last drawn (game thread).
struct TextModuleState {
  const char* titleShown = nullptr;  // the caption CheckTitleBar drew last
};
TextModuleState g_text;

// Captions on button graphics: white, outlined in pen 0.
constexpr uint32_t kButtonCaptionPen = 1;

}  // namespace

void PrintTextOutlined(RastPort* rp, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const char* text,
                       uint32_t fill_pen, uint32_t text_pen, uint32_t flags) {
  if (!rp) rp = ScreenRastPort();
  if (!rp) return;
  ReportDrawn(text);
  ScreenDrawLock draw(rp);
  SetDrMd(rp, 0);
  if (flags & PTO_FILL) {
    SetAPen(rp, fill_pen);
    RectFill(rp, x1, y1, x2, y2);
  }
  const uint32_t len = text ? (uint32_t)std::strlen(text) : 0;
  const int32_t w = len ? (int32_t)TextLength(rp, text, len) : 0;
  int32_t x = x1, y = y1;
  if (flags & PTO_CENTRE) x = x1 + (x2 - x1) / 2 - w / 2;
  else if (flags & PTO_RIGHT) x = x2 - w;
  if (flags & PTO_TOP) y = y1 + FontBaseline(rp);
  if (flags & PTO_BOTTOM) y = y2;
  if (flags & PTO_VCENTRE) y = y1 + 1 + (y2 - y1 - FontHeight(rp)) / 2;
  if (flags & PTO_BASELINE) y += FontBaseline(rp);
  if (flags & PTO_RAISE) y -= 3;
  if (len) {
    if (flags & PTO_SHADOW) TextAt(rp, x, y + 1, text, len, 0);
    if (flags & PTO_OUTLINE) {
      TextAt(rp, x, y - 1, text, len, 0);
      TextAt(rp, x + 1, y, text, len, 0);
      TextAt(rp, x, y + 1, text, len, 0);
      TextAt(rp, x - 1, y, text, len, 0);
    }
    TextAt(rp, x, y, text, len, text_pen);
  }
  // Show the rectangle and whatever of the text reaches past it.
  const int32_t top = y - FontBaseline(rp) - 1, bottom = top + FontHeight(rp) + 2;
  int32_t sx1 = x1 < x - 1 ? x1 : x - 1, sy1 = y1 < top ? y1 : top;
  int32_t sx2 = x2 > x + w + 1 ? x2 : x + w + 1, sy2 = y2 > bottom ? y2 : bottom;
  ShowScreenRect(rp, sx1, sy1, sx2 - sx1 + 1, sy2 - sy1 + 1);
}

uint32_t PrintTextWrapped(RastPort* rp, const char* text, int32_t x, int32_t y, uint32_t max_chars,
                          uint32_t max_lines, uint32_t width) {
  const uint32_t n = PrintLines(rp, text, x, y, max_chars, max_lines, width, true);
  return n ? n - 1 : 0;
}

uint32_t PrintTextWrappedSpaced(RastPort* rp, const char* text, int32_t x, int32_t y, uint32_t width,
                                uint32_t step) {
  return PrintLines(rp, text, x, y, 65535, 65535, width, true, step);
}

uint32_t CountWrappedLines(RastPort* rp, const char* text, int32_t, int32_t, uint32_t max_chars,
                           uint32_t max_lines, uint32_t width) {
  if (!rp) rp = ScreenRastPort();
  if (!rp) return 0;
  uint32_t n = WrapLines(rp, text, max_chars, max_lines, width, true, [](const char*, uint32_t, uint32_t) {});
  return n ? n - 1 : 0;
}

char* ShortenedToFit(RastPort* rp, const char* text, uint32_t max_lines, uint32_t width) {
  if (!rp) rp = ScreenRastPort();
  if (!rp || !text || max_lines == 0) return nullptr;
  const auto lines = [&](const char* t) {
    return WrapLines(rp, t, 65535, max_lines + 1, width, true, [](const char*, uint32_t, uint32_t) {});
  };
  if (lines(text) <= max_lines) return nullptr;
  // The longest run without a blank or a line break: a path, most likely.
  const size_t n = std::strlen(text);
  size_t at = 0, len = 0;
  for (size_t i = 0; i < n;) {
    size_t j = i;
    while (j < n && text[j] != ' ' && text[j] != '\n') ++j;
    if (j - i > len) {
      at = i;
      len = j - i;
    }
    i = j + 1;
  }
  constexpr size_t kKeptAtLeast = 8;  // of the run: its first letters and its end
  if (len < kKeptAtLeast + 4) return nullptr;
  // Keeping k letters of the run: a third from its start, the rest from its
  // end (the file's name), "..." between.
  const std::string whole(text);
  const auto shortened = [&](size_t k) {
    const size_t head = k / 3, tail = k - head;
    return whole.substr(0, at + head) + "..." + whole.substr(at + len - tail);
  };
  // The most letters that still fit (fewer letters never take more lines).
  size_t lo = kKeptAtLeast, hi = len - 4;
  if (lines(shortened(lo).c_str()) <= max_lines) {
    while (lo < hi) {
      const size_t mid = lo + (hi - lo + 1) / 2;
      if (lines(shortened(mid).c_str()) <= max_lines) lo = mid;
      else hi = mid - 1;
    }
  }
  const std::string out = shortened(lo);
  char* copy = static_cast<char*>(AllocVec(static_cast<uint32_t>(out.size() + 1), MEMF_PUBLIC));
  if (copy) std::memcpy(copy, out.c_str(), out.size() + 1);
  return copy;
}

uint32_t PrintTextBlock(RastPort* rp, const char* text, int32_t x, int32_t y, uint32_t max_chars,
                        uint32_t max_lines, uint32_t width) {
  return PrintLines(rp, text, x, y, max_chars, max_lines, width, false);
}

uint32_t PrintTextCentredInBox(RastPort* rp, const char* text, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                               uint32_t pen) {
  if (!rp) rp = ScreenRastPort();
  if (!rp || x2 < x1 || y2 < y1) return 0;
  ReportDrawn(text);
  const int32_t width = x2 - x1 + 1, height = y2 - y1 + 1;
  const int32_t step = FontHeight(rp) + 1, base = FontBaseline(rp);
  // Lines of font height, one pixel apart: the last needs no gap below it.
  const uint32_t fit = height + 1 >= step ? (uint32_t)((height + 1) / step) : 1;
  const uint32_t n = WrapLines(rp, text, 65535, fit, (uint32_t)width, true, [](const char*, uint32_t, uint32_t) {});
  if (n) {
    ScreenDrawLock draw(rp);
    SetDrMd(rp, 0);
    SetAPen(rp, pen);
    const int32_t top = y1 + (height - ((int32_t)n * step - 1)) / 2;
    WrapLines(rp, text, 65535, fit, (uint32_t)width, true, [&](const char* s, uint32_t len, uint32_t k) {
      const int32_t w = len ? (int32_t)TextLength(rp, s, len) : 0;
      Move(rp, x1 + (width - w) / 2, top + (int32_t)k * step + base);
      if (len) Text(rp, s, len);
    });
  }
  ShowScreenRect(rp, x1, y1, width, height);
  return n;
}

void PrintButtonText(RastPort* rp, const TextArea* area, const char* text) {
  if (!rp) rp = ScreenRastPort();
  if (!rp || !area) return;
  ReportDrawn(text);
  ScreenDrawLock draw(rp);
  const uint32_t pen = rp->APen;
  SetDrMd(rp, 0);
  const uint32_t len = text ? (uint32_t)std::strlen(text) : 0;
  if (len) {
    const int32_t w = (int32_t)TextLength(rp, text, len);
    const int32_t x = area->x1 + (area->x2 - area->x1) / 2 - w / 2;
    const int32_t y = area->y1 + 1 + (area->y2 - area->y1 - FontHeight(rp)) / 2 + FontBaseline(rp);
    TextAt(rp, x, y - 1, text, len, 201);
    TextAt(rp, x + 1, y, text, len, 201);
    TextAt(rp, x, y + 1, text, len, 201);
    TextAt(rp, x - 1, y, text, len, 201);
    TextAt(rp, x, y, text, len, pen);
  }
  ShowScreenRect(rp, area->x1, area->y1, area->x2 - area->x1 + 1, area->y2 - area->y1 + 1);
  SetAPen(rp, pen);
  SetDrMd(rp, 1);
}

void ResetTextState() { g_text = TextModuleState{}; }

void ResetTitleBar() { ResetTextState(); }

void CheckTitleBar(const TextArea* table, TextFont* font, uint32_t pen) {
  RastPort* rp = ScreenRastPort();
  if (!rp || !table) return;
  int32_t bx1 = 200, by1 = 11, bx2 = 442, by2 = 27;
  if (table->textId == kTextTitleBar) {
    bx1 = table->x1;
    by1 = table->y1;
    bx2 = table->x2;
    by2 = table->y2;
    ++table;
  }
  int32_t mx = 0, my = 0;
  GadgetMousePosition(&mx, &my);
  const char* under = nullptr;
  for (const TextArea* t = table; t->textId != 0; ++t)
    if (t->text && InLayoutRect(t->x1, t->y1, t->x2, t->y2, mx, my)) {
      under = t->text;
      break;
    }
  if (under == g_text.titleShown) return;
  TextFont* old = rp->Font;
  const uint16_t old_height = rp->TxHeight, old_baseline = rp->TxBaseline;
  if (font) SetFont(rp, font);
  if (under) {
    PrintTextOutlined(rp, bx1, by1, bx2, by2, under, pen, 0, PTO_CENTRE | PTO_BASELINE | PTO_FILL | PTO_VCENTRE);
  } else {
    ScreenDrawLock draw(rp);
    SetAPen(rp, pen);
    RectFill(rp, bx1, by1, bx2, by2);
    ShowScreenRect(rp, bx1, by1, bx2 - bx1 + 1, by2 - by1 + 1);
  }
  rp->Font = old;
  rp->TxHeight = old_height;
  rp->TxBaseline = old_baseline;
  g_text.titleShown = under;
}

const char* TitleBarCaption() { return g_text.titleShown; }

int32_t BlitObjektText(RastPort* rp, uint32_t id, const char* caption, int32_t x, int32_t y) {
  if (!rp) rp = ScreenRastPort();
  // Held open for the call: another thread's close cannot take it away.
  const BitMap* bm = UseElmorGfx(".\\Data\\Path", id);
  if (!bm) {
    DebugLog("BlitObjektText: Konnte die Grafik nicht laden!\n");
    return 0;
  }
  const int32_t w = (int32_t)bm->Width, h = (int32_t)bm->Height;
  BlitObjekt(rp, id, x, y, 0, 0);
  if (rp && caption)
    PrintTextOutlined(rp, x, y, x + w - 1, y + h - 1, caption, 0, kButtonCaptionPen,
                      PTO_CENTRE | PTO_VCENTRE | PTO_BASELINE | PTO_OUTLINE);
  CloseElmorGfx(id);
  return 1;
}
