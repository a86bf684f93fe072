// The option pages' labels, lamps and text fields. See optionfields.h.
#include "screens/hub/optionfields.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"

#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/shell.h"
#include "routinen/system/textentry.h"
#include "screens/common/screenbase.h"

namespace {

constexpr int32_t kFieldInset = 3;

int32_t TextTop(const EntryField* area, const RastPort* rp) {
  const int32_t h = area->y2 - area->y1 + 1;
  return area->y1 + (h - static_cast<int32_t>(rp->TxHeight)) / 2;
}

uint32_t FieldWidth(const EntryField* area) {
  const int32_t w = area->x2 - area->x1 + 1 - 2 * kFieldInset;
  return w > 0 ? static_cast<uint32_t>(w) : 0;
}

RastPort* FieldRastPort(TextFont* font) {
  RastPort* rp = ScreenRastPort();
  if (rp && font) SetFont(rp, font);
  return rp;
}

}  // namespace

uint32_t OpenOptionPage(ScreenBase* base, OptionLamps* lamps, const char* lamp_page, const char* layout_page,
                        const char* layout, uint32_t mask) {
  PlayScreenCdTrack(4);
  lamps->on = OpenElmorGfx(".\\Data\\Path", kOptionLampOn) == 1;
  if (!lamps->on) {
    DebugLog("%s: Konnte gr\xFCnen Button nicht laden!\n", lamp_page);
    return SCREEN_STEP_GRAPHICS;
  }
  lamps->off = OpenElmorGfx(".\\Data\\Path", kOptionLampOff) == 1;
  if (!lamps->off) {
    DebugLog("%s: Konnte roten Button nicht laden!\n", lamp_page);
    return SCREEN_STEP_GRAPHICS;
  }
  if (!OpenScreenLayout(base, layout, mask)) {
    DebugLog("%s: Kann TitelbarDaten <%s> nicht laden!\n", layout_page, layout);
    return SCREEN_STEP_LAYOUT;
  }
  return 0;
}

void CloseOptionLamps(OptionLamps* lamps) {
  if (lamps->off) CloseElmorGfx(kOptionLampOff);
  if (lamps->on) CloseElmorGfx(kOptionLampOn);
  lamps->on = lamps->off = 0;
}

void DrawOptionLabels(const ScreenRegion* region) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  for (uint32_t n = 0;; ++n) {
    const TextArea* a = GetLayoutLabel(region, n);
    if (!a) break;
    if (!a->text || !a->text[0]) continue;
    uint32_t lines = 1;
    for (const char* p = a->text; *p; ++p) lines += *p == '\n';
    const int32_t row = (a->y2 - a->y1 + 1) / static_cast<int32_t>(lines);
    const char* line = a->text;
    for (uint32_t k = 0; k < lines; ++k) {
      const char* end = std::strchr(line, '\n');
      const size_t len = end ? static_cast<size_t>(end - line) : std::strlen(line);
      char buf[120];
      const size_t n_copy = len < sizeof buf - 1 ? len : sizeof buf - 1;
      std::memcpy(buf, line, n_copy);
      buf[n_copy] = 0;
      const int32_t y1 = a->y1 + static_cast<int32_t>(k) * row;
      PrintTextOutlined(rp, a->x1, y1, a->x2, y1 + row - 1, buf, 0, kOptionTextPen,
                        lines > 1 ? PTO_BASELINE | PTO_VCENTRE : PTO_BASELINE);
      if (!end) break;
      line = end + 1;
    }
    ShowScreenRect(rp, a->x1, a->y1, a->x2 - a->x1 + 1, a->y2 - a->y1 + 1);
  }
}

void DrawOptionLamp(const ScreenRegion* region, uint32_t n, bool on) {
  const LayoutPoint* at = GetLayoutMark(region, n);
  RastPort* rp = ScreenRastPort();
  if (!at || !rp) return;
  BlitObjektMask(rp, on ? kOptionLampOn : kOptionLampOff, 0, at->x + 5, at->y + 5, 0, 0);
  ShowScreenRect(rp, at->x + 5, at->y + 5, 22, 22);
}

uint32_t OptionFieldLimit(const EntryField* area) {
  if (!area) return 0;
  return area->maxLength < kOptionFieldMax ? area->maxLength : kOptionFieldMax;
}

void SetOptionFieldText(OptionField* f, const EntryField* area, TextFont* font, const char* text) {
  const uint32_t limit = OptionFieldLimit(area);
  std::memset(f->text, 0, sizeof f->text);
  std::memset(f->real, 0, sizeof f->real);
  size_t len = text ? std::strlen(text) : 0;
  if (len > limit) len = limit;
  if (f->hidden) {
    std::memcpy(f->real, text, len);
    std::memset(f->text, '*', len);
  } else if (len) {
    std::memcpy(f->text, text, len);
  }
  GetCharWidths(FieldRastPort(font), f->text, f->text, f->widths, sizeof f->text);
}

void DrawOptionField(const OptionField* f, const EntryField* area, TextFont* font) {
  RastPort* rp = FieldRastPort(font);
  if (!rp || !area) return;
  SetAPen(rp, kOptionFieldPen);
  RectFill(rp, area->x1, area->y1, area->x2, area->y2);
  SetAPen(rp, kOptionTextPen);
  SetDrMd(rp, 0);
  PrintTextBlock(rp, f->text, area->x1 + kFieldInset, TextTop(area, rp), OptionFieldLimit(area), 1,
                 FieldWidth(area));
  SetDrMd(rp, 1);
  ShowScreenRect(rp, area->x1, area->y1, area->x2 - area->x1 + 1, area->y2 - area->y1 + 1);
}

TextCursor* ActivateOptionField(const OptionField* f, const EntryField* area, TextFont* font, TextCursor* old) {
  StopTextCursor(old);
  if (!area) return nullptr;
  DrawOptionField(f, area, font);
  RastPort* rp = FieldRastPort(font);
  if (!rp) return nullptr;
  const int32_t x = area->x1 + kFieldInset + static_cast<int32_t>(TextPixelWidth(f->text, f->widths, 0));
  return SetTextCursor(x, TextTop(area, rp), rp->TxHeight, 2, kOptionTextPen, rp);
}

void OptionFieldKey(OptionField* f, const EntryField* area, TextFont* font, TextCursor* cursor, int32_t key) {
  RastPort* rp = FieldRastPort(font);
  if (!rp || !area || !cursor) return;
  const int32_t x = area->x1 + kFieldInset, y = TextTop(area, rp);
  const uint32_t limit = OptionFieldLimit(area);
  if (!f->hidden) {
    EditKey(key, f->text, f->widths, cursor, x, y, FieldWidth(area), limit, 1, kOptionTextPen, kOptionFieldPen);
    return;
  }
  // The hidden field: the cursor stays at the end, and the real text follows
  // every character the display gains or loses.
  if (WaitEventExtended() || key == EK_ENTER || key == EK_LINEFEED) return;
  const size_t before = std::strlen(f->text);
  if (key == EK_BACKSPACE) {
    if (!before) return;
    SetTextCursorPos(cursor, static_cast<uint32_t>(before));
    EditKey(EK_BACKSPACE, f->text, f->widths, cursor, x, y, FieldWidth(area), limit, 1, kOptionTextPen,
            kOptionFieldPen);
    if (std::strlen(f->text) < before) f->real[before - 1] = 0;
    return;
  }
  if (key < 32 || key > 255 || before >= limit || before >= sizeof f->real - 1) return;
  SetTextCursorPos(cursor, static_cast<uint32_t>(before));
  EditKey('*', f->text, f->widths, cursor, x, y, FieldWidth(area), limit, 1, kOptionTextPen, kOptionFieldPen);
  if (std::strlen(f->text) > before) f->real[before] = static_cast<char>(key);
}

void OptionFormKey(OptionField* fields, uint32_t count, const ScreenRegion* region, TextFont* font,
                   TextCursor** cursor, int32_t* active, int32_t key) {
  if (*active < 0 || *active >= static_cast<int32_t>(count)) return;
  if (key == EK_ENTER) {
    StopTextCursor(*cursor);
    *cursor = nullptr;
    *active = -1;
  } else if (key == '\t') {
    *active = (*active + 1) % static_cast<int32_t>(count);
    const auto n = static_cast<uint32_t>(*active);
    *cursor = ActivateOptionField(&fields[n], GetLayoutEntry(region, n), font, *cursor);
  } else if (key >= 1 && key <= 255) {
    const auto n = static_cast<uint32_t>(*active);
    OptionFieldKey(&fields[n], GetLayoutEntry(region, n), font, *cursor, key);
  }
}
