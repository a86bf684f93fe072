// The typed number entry. See numberentry.h.
#include "numberentry.h"

#include <cstdio>
#include <cstring>

#include "platform/display.h"
#include "platform/threads.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/textentry.h"

int32_t ParseTypedNumber(const char* text) {
  const char* p = text;
  while (*p == ' ') ++p;
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  int64_t v = 0;
  bool digits = false;
  for (; *p >= '0' && *p <= '9'; ++p) {
    digits = true;
    v = v * 10 + (*p - '0');
    if (v > 2147483647) v = 2147483648LL;  // stays above the bound, never overflows
  }
  if (!digits || negative) return 0;
  return v > 2147483647 ? 2147483647 : static_cast<int32_t>(v);
}

int32_t TypedNumberText(const ScreenRegion* region, const Gadget* box, const char* start, uint32_t max_chars,
                        uint32_t text_pen, uint32_t back_pen, char* out) {
  if (max_chars < 1) max_chars = 1;
  if (max_chars > kNumberEntryMaxText) max_chars = kNumberEntryMaxText;
  std::snprintf(out, max_chars + 1, "%s", start ? start : "");
  RastPort* rp = ScreenRastPort();
  if (!box || !rp || WindowCloseRequested()) return 0;
  const int32_t ox = region ? region->offsetX : 0, oy = region ? region->offsetY : 0;
  const int32_t x = box->x1 + ox, y = box->y1 + oy;
  const uint32_t width = box->x2 >= box->x1 ? box->x2 - box->x1 + 1u : 1u;
  const uint32_t height = rp->Font ? rp->Font->YSize : 8u;

  char text[kNumberEntryMaxText + 1] = {};
  uint8_t widths[kNumberEntryMaxText + 1] = {};
  GetCharWidths(rp, out, text, widths, max_chars + 1);

  TextCursor* cursor = SetTextCursor(x, y, height, 2, text_pen, rp);
  auto show = [&] { ShowScreenRect(rp, x, y, static_cast<int32_t>(width) + 2, static_cast<int32_t>(height) + 1); };
  auto edit = [&](int32_t key) {
    EditKey(key, text, widths, cursor, x, y, width, max_chars, 1, text_pen, back_pen);
    show();
  };
  edit(0);  // the start value with the cursor behind it
  bool keep = false;
  KeyScope keys;  // a key held from before the field does not type into it
  for (;;) {
    const int32_t ev = WaitEvent(WE_EXTENDED | WE_TICKS);
    if (WindowCloseRequested()) {
      keep = true;
      break;
    }
    if (ev == WE_TICK) {
      show();  // the blinking cursor
    } else if (ev == WE_KEY_ENTER) {
      break;
    } else if (WaitEventExtended()) {
      edit(ev + 256);
    } else if (ev == WE_KEY_ESCAPE) {
      keep = true;
      break;
    } else if (ev == 8 || ev == '-' || (ev >= '0' && ev <= '9')) {
      edit(ev);
    }
  }
  StopTextCursor(cursor);
  show();
  if (keep) return 0;
  std::snprintf(out, max_chars + 1, "%s", text);
  return 1;
}

int32_t TypedNumberEntry(const ScreenRegion* region, const Gadget* box, int32_t value, uint32_t text_pen,
                         uint32_t back_pen) {
  char start[24];
  std::snprintf(start, sizeof start, "%ld", static_cast<long>(value));
  char text[kNumberEntryMaxChars + 1];
  if (!TypedNumberText(region, box, start, kNumberEntryMaxChars, text_pen, back_pen, text)) return value < 0 ? 0 : value;
  return ParseTypedNumber(text);
}
