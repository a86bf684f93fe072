#include "textentry.h"

#include <cstring>

#include "platform/display.h"
#include "platform/events.h"
#include "platform/threads.h"
#include "graphics.h"
#include "graphics_internal.h"
#include "input.h"
#include "input_internal.h"
#include "memory.h"
#include "sysrecords.h"

namespace {

RastPort* ScreenRp() {
  const DisplayRecord* d = QoESystemPtr->Display;
  return d ? d->ScreenRastPort : nullptr;
}

// Shows a changed rectangle when it was drawn on the screen.
void Show(RastPort* rp, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (rp && rp == ScreenRp() && w > 0 && h > 0) UpdateRectangle(x, y, w, h);
}

// The cursor's and the box's drawing with the changed rectangle shown hold
// the display mutex as one step on the screen's bitmap (each drawing call
// holds it too): the window thread copies out of it in OpenGL mode. Null for
// a bitmap of the caller's own.
QoeMutex* ScreenLock(const RastPort* rp) {
  QoeMutex* m = rp && gfx::Shown(rp->Bitmap) ? DisplayMutex() : nullptr;
  if (m) ObtainMutex(m);
  return m;
}
void ScreenUnlock(QoeMutex* m) {
  if (m) ReleaseMutex(m);
}

void DrawCursor(TextCursor* c) {
  RastPort* rp = c->Rp;
  if (c->Visible || !c->Width || !c->Height || !rp || !rp->Bitmap) return;
  if (!c->Saved) c->Saved = AllocBitMap(c->Width, c->Height, rp->Bitmap->Depth, 0, rp->Bitmap);
  if (!c->Saved) return;
  int32_t w = static_cast<int32_t>(c->Width), h = static_cast<int32_t>(c->Height);
  QoeMutex* lock = ScreenLock(rp);
  BltBitMap(rp->Bitmap, c->X, c->Y, c->Saved, 0, 0, w, h);
  uint16_t pen = rp->APen;
  SetAPen(rp, c->Pen);
  RectFill(rp, c->X, c->Y, c->X + w - 1, c->Y + h - 1);
  SetAPen(rp, pen);
  c->Visible = 1;
  Show(rp, c->X, c->Y, w, h);
  ScreenUnlock(lock);
}

void HideCursor(TextCursor* c) {
  if (!c->Visible) return;
  c->Visible = 0;
  RastPort* rp = c->Rp;
  if (!rp || !rp->Bitmap || !c->Saved) return;
  int32_t w = static_cast<int32_t>(c->Width), h = static_cast<int32_t>(c->Height);
  QoeMutex* lock = ScreenLock(rp);
  BltBitMap(c->Saved, 0, 0, rp->Bitmap, c->X, c->Y, w, h);
  Show(rp, c->X, c->Y, w, h);
  ScreenUnlock(lock);
}

void Blink() {
  TextCursor* c = &InputModule().textCursor;
  if (!c->Active) return;
  if (c->Visible) {
    HideCursor(c);
  } else {
    DrawCursor(c);
  }
}

void ResetCursor(TextCursor* c) {
  FreeBitMap(c->Saved);
  std::memset(c, 0, sizeof *c);
}

// ---- Layout: word wrap over the width table --------------------------------

struct LineSpan {
  uint32_t start, end;  // characters start..end-1 (a line feed is not in it)
};

// Breaks the text into lines (at line feeds, and at the last blank before a
// character that would pass wrap_width, or before that character when the
// line has no blank). Writes at most max spans; returns the line count.
uint32_t Layout(const char* text, const uint8_t* widths, uint32_t n, uint32_t wrap, LineSpan* spans, uint32_t max) {
  uint32_t count = 0, start = 0, line_w = 0;
  int64_t blank = -1;
  auto emit = [&](uint32_t s, uint32_t e) {
    if (count < max) spans[count] = {s, e};
    count++;
  };
  for (uint32_t i = 0; i < n; i++) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      emit(start, i);
      start = i + 1;
      line_w = 0;
      blank = -1;
      continue;
    }
    uint32_t w = widths[i];
    if (wrap && line_w + w > wrap && i > start) {
      if (c == ' ') {  // a blank that does not fit hangs at the line's end
        emit(start, i + 1);
        start = i + 1;
        line_w = 0;
        blank = -1;
        continue;
      }
      if (blank >= static_cast<int64_t>(start)) {
        uint32_t b = static_cast<uint32_t>(blank);
        emit(start, b + 1);
        start = b + 1;
        line_w = 0;
        for (uint32_t k = start; k < i; k++) line_w += widths[k];
      } else {
        emit(start, i);
        start = i;
        line_w = 0;
      }
      blank = -1;
    }
    line_w += w;
    if (c == ' ') blank = i;
  }
  emit(start, n);
  return count;
}

uint32_t SpanWidth(const uint8_t* widths, uint32_t s, uint32_t e) {
  uint32_t w = 0;
  for (uint32_t k = s; k < e; k++) w += widths[k];
  return w;
}

// The line that holds position pos (a position where a wrapped line ends
// belongs to the next line).
uint32_t LineOf(const LineSpan* spans, uint32_t count, uint32_t pos) {
  for (uint32_t k = 0; k < count; k++) {
    if (pos < spans[k].end) return k;
    if (pos == spans[k].end && (k + 1 == count || spans[k + 1].start > pos)) return k;
  }
  return count ? count - 1 : 0;
}

// The position in line k closest to pixel column px.
uint32_t PosAt(const LineSpan& span, const uint8_t* widths, const char* text, uint32_t px) {
  uint32_t w = 0, p = span.start;
  uint32_t end = span.end;
  // A blank hanging at a wrapped line's end is not a place for the cursor.
  if (end > span.start && text[end - 1] == ' ') end--;
  while (p < end && w + widths[p] / 2 < px) w += widths[p++];
  return p;
}

constexpr uint32_t kMaxSpans = 4096;

}  // namespace

TextCursor* SetTextCursor(int32_t x, int32_t y, uint32_t height, uint32_t width, uint32_t pen, RastPort* rp) {
  SetCursorBlinkHook(Blink);
  TextCursor* c = &InputModule().textCursor;
  HideCursor(c);
  if (!x && !y && !height && !width && !pen) {  // only hide it
    c->Active = 0;
    return c;
  }
  RastPort* target = rp ? rp : ScreenRp();
  if (c->Saved && (c->Width != width || c->Height != height || c->Rp != target)) {
    FreeBitMap(c->Saved);
    c->Saved = nullptr;
  }
  c->X = x;
  c->Y = y;
  c->Width = width;
  c->Height = height;
  c->Pen = pen;
  c->Rp = target;
  c->Pos = UINT32_MAX;  // the end of the text
  c->Active = 1;
  DrawCursor(c);
  StartEventTimer(kTimerCursor, kCursorBlinkMs);
  return c;
}

void StopTextCursor(TextCursor* cursor) {
  if (!cursor) return;
  HideCursor(cursor);
  ResetCursor(cursor);
  StopEventTimer(kTimerCursor);
}

void ResetTextCursor() {
  ResetCursor(&InputModule().textCursor);
  StopEventTimer(kTimerCursor);
}

void SetTextCursorPos(TextCursor* cursor, uint32_t pos) {
  if (cursor) cursor->Pos = pos;
}

int32_t GetCharWidths(RastPort* rp, const char* text, char* copy, uint8_t* widths, uint32_t size) {
  if (!copy || !widths || size == 0) return 0;
  if (!text) {
    std::memset(copy, 0, size);
    std::memset(widths, 0, size);
    return 1;
  }
  RastPort* r = rp ? rp : ScreenRp();
  uint32_t n = 0;
  while (n + 1 < size && text[n]) {
    copy[n] = text[n];
    widths[n] = text[n] == '\n' ? 0 : static_cast<uint8_t>(r ? TextLength(r, &text[n], 1) : 0);
    n++;
  }
  copy[n] = 0;
  widths[n] = 0;
  return 1;
}

uint32_t TextPixelWidthLines(const char* text, const uint8_t* widths, uint32_t wrap_width, uint32_t* lines) {
  if (lines) *lines = 0;
  if (!text || !widths) return 0;
  uint32_t n = static_cast<uint32_t>(std::strlen(text));
  static thread_local LineSpan spans[kMaxSpans];
  uint32_t count = Layout(text, widths, n, wrap_width, spans, kMaxSpans);
  if (lines) *lines = count;
  const LineSpan& last = spans[count <= kMaxSpans ? count - 1 : kMaxSpans - 1];
  return SpanWidth(widths, last.start, last.end);
}

uint32_t TextPixelWidth(const char* text, const uint8_t* widths, uint32_t wrap_width) {
  return TextPixelWidthLines(text, widths, wrap_width, nullptr);
}

int32_t EditKey(int32_t key, char* text, uint8_t* widths, TextCursor* cursor, int32_t x, int32_t y,
                uint32_t width, uint32_t max_len, uint32_t lines, uint32_t text_pen, uint32_t back_pen) {
  if (!text || !widths || !cursor || lines == 0) return -1;
  // An arrow, insert or delete straight from WaitEvent carries the extended
  // mark; without it the same code is the character it stands for.
  if (WaitEventExtended() && (key == 37 || key == 38 || key == 39 || key == 40 || key == 45 || key == 46)) key += 256;
  RastPort* rp = cursor->Rp ? cursor->Rp : ScreenRp();
  uint32_t n = static_cast<uint32_t>(strnlen(text, max_len + 1));
  if (n > max_len) {
    n = max_len;
    text[n] = 0;
  }
  if (lines > kMaxSpans) lines = kMaxSpans;
  uint32_t pos = cursor->Pos > n ? n : cursor->Pos;
  static thread_local LineSpan spans[kMaxSpans];
  uint32_t count = Layout(text, widths, n, width, spans, kMaxSpans);
  uint32_t line = LineOf(spans, count < kMaxSpans ? count : kMaxSpans, pos);

  auto remove_at = [&](uint32_t p) {
    std::memmove(text + p, text + p + 1, n - p);  // the terminator moves too
    std::memmove(widths + p, widths + p + 1, n - p);
    n--;
  };
  // Puts c at pos (or over the character there in overwrite mode) when the
  // buffer has room and the text still fits the box; true when it did.
  auto put = [&](char c, uint32_t w, bool overwrite) {
    bool over = overwrite && pos < n && text[pos] != '\n';
    if (!over && n >= max_len) return false;
    char old_c = over ? text[pos] : 0;
    uint8_t old_w = over ? widths[pos] : 0;
    if (over) {
      text[pos] = c;
      widths[pos] = static_cast<uint8_t>(w);
    } else {
      std::memmove(text + pos + 1, text + pos, n - pos + 1);
      std::memmove(widths + pos + 1, widths + pos, n - pos + 1);
      text[pos] = c;
      widths[pos] = static_cast<uint8_t>(w);
      n++;
    }
    if (Layout(text, widths, n, width, spans, kMaxSpans) <= lines && (lines > 1 || c != '\n')) return true;
    if (over) {  // undo
      text[pos] = old_c;
      widths[pos] = old_w;
    } else {
      remove_at(pos);
    }
    return false;
  };

  switch (key) {
    case EK_BACKSPACE:
      if (pos > 0) remove_at(--pos);
      break;
    case EK_DELETE:
      if (pos < n) remove_at(pos);
      break;
    case EK_LEFT:
      if (pos > 0) pos--;
      break;
    case EK_RIGHT:
      if (pos < n) pos++;
      break;
    case EK_UP:
    case EK_DOWN: {
      uint32_t c = count < kMaxSpans ? count : kMaxSpans;
      if ((key == EK_UP && line == 0) || (key == EK_DOWN && line + 1 >= c)) break;
      uint32_t px = SpanWidth(widths, spans[line].start, pos);
      pos = PosAt(spans[key == EK_UP ? line - 1 : line + 1], widths, text, px);
      break;
    }
    case EK_INSERT:
      cursor->Overwrite = cursor->Overwrite ? 0 : 1;
      break;
    case EK_ENTER:
    case EK_LINEFEED:
      if (lines > 1 && put('\n', 0, false)) pos++;
      break;
    default:
      if (key >= 32 && key <= 255 && key != 127) {
        char c = static_cast<char>(key);
        uint32_t w = rp ? TextLength(rp, &c, 1) : 0;
        if (w > 255) w = 255;
        if (put(c, w, cursor->Overwrite != 0)) pos++;
      }
      break;
  }

  // Redraw the box and put the cursor behind the edit position.
  count = Layout(text, widths, n, width, spans, kMaxSpans);
  uint32_t shown = count < lines ? count : lines;
  line = LineOf(spans, count < kMaxSpans ? count : kMaxSpans, pos);
  uint32_t lh = rp ? rp->TxHeight + 1u : 1u;
  HideCursor(cursor);
  if (rp) {
    QoeMutex* lock = ScreenLock(rp);
    uint16_t a = rp->APen;
    uint8_t mode = rp->DrawMode;
    SetAPen(rp, back_pen);
    RectFill(rp, x, y, x + static_cast<int32_t>(width) - 1, y + static_cast<int32_t>(lines * lh) - 1);
    SetAPen(rp, text_pen);
    SetDrMd(rp, 0);
    for (uint32_t k = 0; k < shown; k++) {
      uint32_t len = spans[k].end - spans[k].start;
      if (!len) continue;
      Move(rp, x, y + static_cast<int32_t>(k * lh + rp->TxBaseline));
      TypedText(rp, text + spans[k].start, len);
    }
    SetAPen(rp, a);
    SetDrMd(rp, mode);
    Show(rp, x, y, static_cast<int32_t>(width), static_cast<int32_t>(lines * lh));
    ScreenUnlock(lock);
  }
  cursor->Pos = pos;
  cursor->Line = line;
  cursor->Column = pos - spans[line < kMaxSpans ? line : kMaxSpans - 1].start;
  if (cursor->Active && line < lines) {
    cursor->X = x + static_cast<int32_t>(SpanWidth(widths, spans[line].start, pos));
    cursor->Y = y + static_cast<int32_t>(line * lh);
    DrawCursor(cursor);
  }
  return static_cast<int32_t>(pos);
}
