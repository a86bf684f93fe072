#include "boxes.h"

#include <cstring>

#include "boxes_internal.h"
#include "gui_internal.h"
#include "layout.h"
#include "pictures.h"
#include "platform/log.h"
#include "requester.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/textentry.h"
#include "text.h"

namespace {

// Pens of the boxes' lists and fields.
enum : uint32_t {
  kPenBack = 5, kPenText = 7, kPenField = 1, kPenHiBack = 7, kPenHiText = 1,
  kPenKnob = 26, kPenTrack = 22, kPenLight = 25, kPenDark = 24,
};

// Layout-driven boxes: record type 9 holds the frame picture; type 2 the
// areas (list, slider, title) relative to the box; type 1 the gadgets.
constexpr uint32_t kBoxLayoutMask = (1u << LAYOUT_GADGET) | (1u << LAYOUT_AREA) | (1u << LAYOUT_U16LIST);

struct LayoutBox {
  ScreenRegion* region;
  RastPort* rp;
  TextFont* font;
  TextFont* titleFont;
  BitMap* background;
  QoERequester* req;
  int32_t x, y;
  uint32_t width, height;
  uint32_t frame;
  bool frameLoaded;
};

const TextArea* Area(const LayoutBox& b, uint32_t n) {
  const ScreenRecordList& l = b.region->types[LAYOUT_AREA];
  return n < l.count ? static_cast<const TextArea*>(l.first) + n : nullptr;
}

void CloseLayoutBox(LayoutBox& b) {
  FreeRequesterBox(b.req);
  b.req = nullptr;
  if (b.region) FreeMouseGadgetImages(b.region);
  if (b.background) RestoreBackground(b.background, b.x, b.y, b.width, b.height);
  b.background = nullptr;
  FreeScreenRegion(b.region);
  b.region = nullptr;
  CloseFont(b.font);
  CloseFont(b.titleFont);
  FreeBoxRastPort(b.rp);
  if (b.frameLoaded) CloseElmorGfx(b.frame);
  b = LayoutBox{};
}

// Loads the layout, saves the background and draws frame and gadgets.
// x or y below 0 centres the box in the game area; BoxOrigin is added.
bool OpenLayoutBox(LayoutBox& b, const char* who, const char* layout, int32_t x, int32_t y, uint32_t areas) {
  b = LayoutBox{};
  b.region = GetScreenRegion(layout, kBoxLayoutMask);
  if (!b.region) {
    DebugLog("%s: Konnte Layout %s nicht laden!\n", who, layout ? layout : "(null)");
    return false;
  }
  const ScreenRecordList& values = b.region->types[LAYOUT_U16LIST];
  if (values.count < 1 || b.region->types[LAYOUT_AREA].count < areas) {
    DebugLog("%s: Layout %s ist unvollstaendig!\n", who, layout);
    FreeScreenRegion(b.region);
    b.region = nullptr;
    return false;
  }
  b.frame = static_cast<const uint16_t*>(values.first)[0];
  bool loaded = false;
  if (!BoxPicture(b.frame, &b.width, &b.height, &loaded)) {
    DebugLog("%s: Konnte Grafik nicht finden !\n", who);
    CloseLayoutBox(b);
    return false;
  }
  b.frameLoaded = loaded;
  int32_t ox, oy;
  BoxOrigin(&ox, &oy);
  b.x = ox + (x < 0 ? (640 - (int32_t)b.width) / 2 : x);
  b.y = oy + (y < 0 ? (480 - (int32_t)b.height) / 2 : y);
  b.font = OpenDiskFont(kBoxTextFont);
  b.titleFont = OpenDiskFont(kBoxTitleFont);
  if (!b.font || !b.titleFont) {
    DebugLog("%s: Konnte Font nicht laden !\n", who);
    CloseLayoutBox(b);
    return false;
  }
  b.rp = NewBoxRastPort(b.font);
  if (b.rp) b.background = SaveBackground(b.x, b.y, b.width, b.height);
  if (!b.background) {
    DebugLog("%s: Konnte Hintergrund nicht sichern !\n", who);
    CloseLayoutBox(b);
    return false;
  }
  BlitObjekt(b.rp, b.frame, b.x, b.y, 0, 0);
  SetMouseGadgetOffset(b.region, b.x, b.y);
  RestoreMouseGadgets(b.rp, b.region);
  return true;
}

// A list or text box in area n with its slider in area n + 1.
bool AddSlider(LayoutBox& b, uint32_t slider_area) {
  const TextArea* s = Area(b, slider_area);
  return b.req && s &&
         InitSlider(b.req, (uint32_t)(s->x2 - s->x1 + 1), (uint32_t)(s->y2 - s->y1 + 1), kPenKnob, kPenTrack,
                    kPenLight, kPenDark, b.x + s->x1, b.y + s->y1) == 1;
}

// The scroll gadgets every list box has; true when g was one of them.
bool HandleScroll(LayoutBox& b, const Gadget* g) {
  if (!b.req || !g) return false;
  if (GadgetIs(g, "UP00")) MoveSlider(b.req, SLIDER_UP);
  else if (GadgetIs(g, "DO00")) MoveSlider(b.req, SLIDER_DOWN);
  else if (GadgetIs(g, "SL00")) MoveSlider(b.req, GetMouseY());
  else return false;
  ScrollRequester(b.req, 0, 0);
  return true;
}

bool IsLetter(uint8_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsPrintable(uint8_t c) { return (c >= 32 && c < 127) || c >= 160; }

// ---- EingabeBox ---------------------------------------------------------------
// The field: 261 pixels wide, one line, at (21, 44) of the box.
constexpr int32_t kFieldX = 21, kFieldY = 44, kFieldW = 261;
constexpr int32_t kButtonY = 95, kOkX = 20, kHelpX = 112, kCancelX = 204;
constexpr int32_t kButtonW = 80, kButtonH = 16;

}  // namespace

bool EingabeFilterAdmits(uint32_t filter, uint8_t c) {
  if (c == 8) return true;
  if (!IsPrintable(c)) return false;
  if ((filter & EINGABE_NOBLANK) && c == ' ') return false;
  const uint32_t classes =
      filter & (EINGABE_ALNUM | EINGABE_DIGITS | EINGABE_LETTERS | EINGABE_MAILCHARS | EINGABE_HOSTCHARS);
  if (!classes) return true;
  if ((filter & EINGABE_ALNUM) && (IsLetter(c) || IsDigit(c))) return true;
  if ((filter & EINGABE_DIGITS) && IsDigit(c)) return true;
  if ((filter & EINGABE_LETTERS) && IsLetter(c)) return true;
  if ((filter & EINGABE_MAILCHARS) && (c == '@' || c == '-' || c == '_' || c == '.')) return true;
  if ((filter & EINGABE_HOSTCHARS) && (c == ':' || c == '[' || c == ']')) return true;
  return false;
}

char* EingabeBox(char* buffer, uint32_t size, int32_t x, int32_t y, const char* prompt, const char* help,
                 uint32_t filter) {
  if (!buffer || size == 0 || WindowCloseRequested()) return nullptr;
  int32_t ox, oy;
  BoxOrigin(&ox, &oy);
  x += ox;
  y += oy;
  const uint32_t limit = size - 1 < kEingabeMaxChars ? size - 1 : kEingabeMaxChars;
  uint32_t w = 0, h = 0;
  bool loaded = false;
  if (!BoxPicture(PIC_EINGABE_FRAME, &w, &h, &loaded)) {
    DebugLog("EingabeBox: Konnte Grafik nicht finden !\n");
    return nullptr;
  }
  TextFont* font = OpenDiskFont(kBoxTextFont);
  TextFont* title_font = OpenDiskFont(kBoxTitleFont);
  RastPort* rp = font && title_font ? NewBoxRastPort(font) : nullptr;
  BitMap* background = rp ? SaveBackground(x, y, w, h) : nullptr;
  if (!background) {
    DebugLog("EingabeBox: Konnte Box nicht darstellen !\n");
    FreeBoxRastPort(rp);
    CloseFont(font);
    CloseFont(title_font);
    if (loaded) CloseElmorGfx(PIC_EINGABE_FRAME);
    return nullptr;
  }
  // The box edits a copy (at most limit characters) with its width table.
  char text[kEingabeMaxChars + 1] = {};
  uint8_t widths[kEingabeMaxChars + 1] = {};
  GetCharWidths(rp, buffer, text, widths, limit + 1);

  BlitObjekt(rp, PIC_EINGABE_FRAME, x, y, 0, 0);
  if (prompt) {
    SetFont(rp, title_font);
    // Wrapped into the box above the field, however long.
    PrintTextCentredInBox(rp, prompt, x + 8, y + 6, x + (int32_t)w - 9, y + 38, kPenText);
    SetFont(rp, font);
  }
  const int32_t fx = x + kFieldX, fy = y + kFieldY, lh = font->YSize + 1;
  {
    ScreenDrawLock draw(rp);
    SetAPen(rp, kPenDark);
    RectFill(rp, fx - 2, fy - 2, fx + kFieldW + 1, fy + lh + 1);
  }
  BlitObjekt(rp, PIC_OK, x + kOkX, y + kButtonY, 0, 0);
  BlitObjekt(rp, PIC_CANCEL, x + kCancelX, y + kButtonY, 0, 0);
  if (help) BlitObjekt(rp, PIC_HELP, x + kHelpX, y + kButtonY, 0, 0);
  ShowScreenRect(rp, x, y, (int32_t)w, (int32_t)h);

  TextCursor* cursor = SetTextCursor(fx, fy, font->YSize, 2, kPenText, rp);
  auto edit = [&](int32_t key) {
    EditKey(key, text, widths, cursor, fx, fy, kFieldW, limit, 1, kPenText, kPenField);
    ShowScreenRect(rp, fx, fy, kFieldW + 2, lh);
  };
  edit(0);  // draws the start text with the cursor at its end

  auto on_button = [&](int32_t mx, int32_t my, int32_t bx) {
    return InBox(mx, my, x + bx, y + kButtonY, x + bx + kButtonW - 1, y + kButtonY + kButtonH - 1);
  };
  int32_t result = -1;  // 1 confirm, 0 cancel
  bool left_down = false;
  KeyScope keys;  // a key held from before the box does not type into it
  while (result < 0) {
    const int32_t ev = WaitEvent(WE_EXTENDED | WE_TICKS);
    if (ev == WE_TICK) {
      ShowScreenRect(rp, fx, fy, kFieldW + 2, lh);  // the blinking cursor
    } else if (ev == 13) {  // either Enter (the keypad's comes marked extended)
      result = 1;
    } else if (WaitEventExtended()) {
      edit(ev + 256);
    } else if (ev == 27) {
      result = 0;
    } else if (ev > 0 && ev < 256) {
      if (EingabeFilterAdmits(filter, (uint8_t)ev)) edit(ev);
    } else if (ev == WE_LEFT_DOWN) {
      left_down = true;
    } else if (ev == WE_LEFT_UP && left_down) {
      left_down = false;
      int32_t mx, my;
      BoxMouse(&mx, &my);
      if (on_button(mx, my, kOkX)) {
        FlashButton(rp, PIC_OK_PRESSED, PIC_OK, x + kOkX, y + kButtonY);
        result = 1;
      } else if (on_button(mx, my, kCancelX)) {
        FlashButton(rp, PIC_CANCEL_PRESSED, PIC_CANCEL, x + kCancelX, y + kButtonY);
        result = 0;
      } else if (help && on_button(mx, my, kHelpX)) {
        FlashButton(rp, PIC_HELP_PRESSED, PIC_HELP, x + kHelpX, y + kButtonY);
        StopTextCursor(cursor);
        TextBox(help);
        cursor = SetTextCursor(fx, fy, font->YSize, 2, kPenText, rp);
        edit(0);
      }
    }
  }
  StopTextCursor(cursor);
  RestoreBackground(background, x, y, w, h);
  FreeBoxRastPort(rp);
  CloseFont(font);
  CloseFont(title_font);
  if (loaded) CloseElmorGfx(PIC_EINGABE_FRAME);
  const uint32_t len = (uint32_t)strnlen(text, limit);
  if (result != 1 || len == 0) return nullptr;
  std::memcpy(buffer, text, len);
  buffer[len] = 0;
  return buffer;
}

// ---- TextBox --------------------------------------------------------------------
int32_t TextBox(const char* text) {
  if (WindowCloseRequested()) return 0;
  LayoutBox b{};
  if (!OpenLayoutBox(b, "TextBox", ".\\Data\\Screendat\\TextBox.dat", -1, -1, 2)) return 0;
  const TextArea* t = Area(b, 0);
  b.req = InitRequesterTextBox((uint32_t)(t->x2 - t->x1 + 1), b.font, text ? text : "", b.x + t->x1, b.y + t->y1,
                               (uint32_t)(t->x2 - t->x1 + 1), (uint32_t)(t->y2 - t->y1 + 1), kPenBack, kPenText,
                               nullptr);
  if (!b.req || !AddSlider(b, 1)) {
    DebugLog("TextBox : Konnte Requester nicht darstellen !\n");
    CloseLayoutBox(b);
    return 0;
  }
  KeyScope keys;
  for (;;) {
    const int32_t ev = WaitEvent(WE_TICKS | WE_EXTENDED);
    if (ev == 13) break;
    if (WaitEventExtended() && (ev == WE_KEY_UP || ev == WE_KEY_DOWN)) {
      MoveSlider(b.req, ev == WE_KEY_UP ? SLIDER_UP : SLIDER_DOWN);
      ScrollRequester(b.req, 0, 0);
      continue;
    }
    Gadget* g = HandleGadgetEvent(b.rp, b.region, (uint32_t)ev);
    if (!g || HandleScroll(b, g)) continue;
    if (GadgetIs(g, "EXIT")) break;
  }
  CloseLayoutBox(b);
  return 1;
}

// ---- InfoBox --------------------------------------------------------------------
int32_t InfoBox(const char* layout, int32_t x, int32_t y, uint32_t count, const char* title, const char* lines,
                const char* help) {
  if (WindowCloseRequested()) return -1;
  LayoutBox b{};
  if (!OpenLayoutBox(b, "InfoBox", layout, x, y, 3)) return -1;
  const TextArea* t = Area(b, 0);
  const TextArea* l = Area(b, 1);
  if (title) {
    SetFont(b.rp, b.titleFont);
    PrintTextOutlined(b.rp, b.x + t->x1, b.y + t->y1, b.x + t->x2, b.y + t->y2, title, 0, kPenText,
                      PTO_CENTRE | PTO_VCENTRE | PTO_BASELINE);
    SetFont(b.rp, b.font);
  }
  const uint32_t lw = (uint32_t)(l->x2 - l->x1 + 1), lh = (uint32_t)(l->y2 - l->y1 + 1);
  b.req = InitRequesterBox(lw, lines ? count : 0, b.font, lines, b.x + l->x1, b.y + l->y1, lw, lh, kPenBack,
                           kPenText);
  if (!b.req || !AddSlider(b, 2)) {
    DebugLog("InfoBox: Konnte Requester nicht darstellen !\n");
    CloseLayoutBox(b);
    return -1;
  }
  int32_t result = -1;
  KeyScope keys;
  for (;;) {
    const int32_t ev = WaitEvent(WE_TICKS);
    Gadget* g = HandleGadgetEvent(b.rp, b.region, (uint32_t)ev);
    if (!g || HandleScroll(b, g)) continue;
    if (GadgetIs(g, "CH00")) {
      SelectRequesterEntry(b.req, 0, GetMouseY(), kPenHiBack, kPenHiText);
    } else if (GadgetIs(g, "OKOK") || (GadgetIs(g, "KEY!") && g->keyCode == 13)) {
      result = b.req->selected;
      break;
    } else if (GadgetIs(g, "EXIT")) {
      result = -1;
      break;
    } else if (GadgetIs(g, "INFO") && help) {
      TextBox(help);
    }
  }
  CloseLayoutBox(b);
  return result;
}

// ---- SwitchBox ------------------------------------------------------------------
namespace {

constexpr int32_t kSwitchW = 240, kSwitchTop = 16, kSwitchStep = 22, kSwitchButtonH = 18, kSwitchMargin = 16;
// Rows of the frame picture's bottom edge (less than kSwitchTop).
constexpr int32_t kSwitchEdge = 12;

void DrawSwitchButton(RastPort* rp, int32_t x, int32_t y, const char* text, bool pressed) {
  const int32_t x1 = x + kSwitchMargin, x2 = x + kSwitchW - kSwitchMargin - 1, y2 = y + kSwitchButtonH - 1;
  // The label, cut to what fits inside the button's edges.
  char label[kRequesterLineSize];
  uint32_t len = (uint32_t)strnlen(text, kRequesterLineSize - 1);
  std::memcpy(label, text, len);
  label[len] = 0;
  while (len > 0 && TextLength(rp, label, len) > (uint32_t)(x2 - x1 - 3)) label[--len] = 0;
  PrintTextOutlined(rp, x1, y, x2, y2, label, pressed ? kPenTrack : kPenLight, kPenText,
                    PTO_FILL | PTO_CENTRE | PTO_VCENTRE | PTO_BASELINE);
  {
    ScreenDrawLock draw(rp);
    SetAPen(rp, pressed ? (uint32_t)kPenDark : (uint32_t)kPenField);
    RectFill(rp, x1, y, x2, y);
    RectFill(rp, x1, y, x1, y2);
    SetAPen(rp, pressed ? (uint32_t)kPenField : (uint32_t)kPenDark);
    RectFill(rp, x1, y2, x2, y2);
    RectFill(rp, x2, y, x2, y2);
  }
  ShowScreenRect(rp, x1, y, x2 - x1 + 1, kSwitchButtonH);
}

}  // namespace

uint32_t SwitchBox(uint32_t n, const char* texts) {
  if (WindowCloseRequested()) return 0;
  uint32_t fw = 0, fh = 0;
  bool loaded = false;
  TextFont* font = nullptr;
  RastPort* rp = nullptr;
  BitMap* background = nullptr;
  const int32_t h = kSwitchTop * 2 + (int32_t)n * kSwitchStep - (kSwitchStep - kSwitchButtonH);
  int32_t x, y;
  BoxOrigin(&x, &y);
  x += (640 - kSwitchW) / 2;
  y += (480 - h) / 2;
  if (n >= 2 && n <= 12 && texts && BoxPicture(PIC_SWITCH_FRAME, &fw, &fh, &loaded) &&
      fw >= (uint32_t)kSwitchW && fh >= (uint32_t)h) {
    font = OpenDiskFont(kBoxTextFont);
    rp = font ? NewBoxRastPort(font) : nullptr;
    background = rp ? SaveBackground(x, y, kSwitchW, (uint32_t)h) : nullptr;
  }
  if (!background) {
    DebugLog("SwitchBox: Konnte Requester nicht darstellen...\n");
    FreeBoxRastPort(rp);
    CloseFont(font);
    if (loaded) CloseElmorGfx(PIC_SWITCH_FRAME);
    return 0;
  }
  // The frame is taller than the box: its top part, then its own bottom
  // edge below the last button.
  BlitObjekt(rp, PIC_SWITCH_FRAME, x, y, kSwitchW, (uint32_t)(h - kSwitchEdge));
  {
    // Looked up before the display mutex: the picture manager's lock is
    // never taken while it is held.
    BitMap* frame = ElmorGfxBitMap(PIC_SWITCH_FRAME);
    ScreenDrawLock draw(rp);
    BltBitMapRastPort(frame, 0, (int32_t)fh - kSwitchEdge, rp, x, y + h - kSwitchEdge, kSwitchW, kSwitchEdge);
  }
  auto top_of = [&](uint32_t i) { return y + kSwitchTop + (int32_t)i * kSwitchStep; };
  for (uint32_t i = 0; i < n; ++i) DrawSwitchButton(rp, x, top_of(i), texts + i * kRequesterLineSize, false);
  ShowScreenRect(rp, x, y, kSwitchW, h);

  auto button_at = [&](int32_t mx, int32_t my) -> uint32_t {
    for (uint32_t i = 0; i < n; ++i)
      if (InBox(mx, my, x + kSwitchMargin, top_of(i), x + kSwitchW - kSwitchMargin - 1,
                top_of(i) + kSwitchButtonH - 1))
        return i + 1;
    return 0;
  };
  uint32_t pressed = 0, result = 0;
  KeyScope keys;
  for (;;) {
    const int32_t ev = WaitEvent(0);
    if (ev == 27) break;
    int32_t mx, my;
    BoxMouse(&mx, &my);
    if (ev == WE_LEFT_DOWN) {
      const uint32_t at = button_at(mx, my);
      if (at != pressed) {
        if (pressed) DrawSwitchButton(rp, x, top_of(pressed - 1), texts + (pressed - 1) * kRequesterLineSize, false);
        if (at) DrawSwitchButton(rp, x, top_of(at - 1), texts + (at - 1) * kRequesterLineSize, true);
        pressed = at;
      }
    } else if (ev == WE_LEFT_UP && pressed) {
      if (button_at(mx, my) == pressed) {
        result = pressed;
        break;
      }
      DrawSwitchButton(rp, x, top_of(pressed - 1), texts + (pressed - 1) * kRequesterLineSize, false);
      pressed = 0;
    }
  }
  RestoreBackground(background, x, y, kSwitchW, (uint32_t)h);
  FreeBoxRastPort(rp);
  CloseFont(font);
  if (loaded) CloseElmorGfx(PIC_SWITCH_FRAME);
  return result;
}

// ---- Participant list -------------------------------------------------------------
TeilnehmerReq* TeilnehmerReq_Open(int32_t x, int32_t y, uint32_t count, const char* names) {
  if (WindowCloseRequested()) return nullptr;
  LayoutBox b{};
  if (!OpenLayoutBox(b, "TeilnehmerReq_Open", ".\\Data\\Screendat\\Teilnehmer.dat", x, y, 2)) return nullptr;
  TeilnehmerReq* t = static_cast<TeilnehmerReq*>(AllocVec(sizeof(TeilnehmerReq), MEMF_PUBLIC | MEMF_CLEAR));
  const TextArea* l = Area(b, 0);
  const uint32_t lw = (uint32_t)(l->x2 - l->x1 + 1), lh = (uint32_t)(l->y2 - l->y1 + 1);
  if (t) {
    b.req = InitRequesterBox(lw, names ? count : 0, b.font, names, b.x + l->x1, b.y + l->y1, lw, lh, kPenBack,
                             kPenText);
  }
  if (!t || !b.req || !AddSlider(b, 1)) {
    DebugLog("TeilnehmerReq_Open: Konnte Requester nicht darstellen !\n");
    FreeVec(t);
    CloseLayoutBox(b);
    return nullptr;
  }
  CloseFont(b.titleFont);
  b.titleFont = nullptr;
  t->x = b.x;
  t->y = b.y;
  t->width = b.width;
  t->height = b.height;
  t->count = b.req->lines;
  t->selected = kNoEntry;
  t->region = b.region;
  t->list = b.req;
  t->font = b.font;
  t->rp = b.rp;
  t->background = b.background;
  // The frame stays loaded while the list is open only when it was before.
  if (b.frameLoaded) CloseElmorGfx(b.frame);
  return t;
}

int32_t TeilnehmerReqLoop(TeilnehmerReq* req, uint32_t mouse_y) {
  if (!req || WindowCloseRequested()) return TEILNEHMER_CLOSED;
  int32_t mx, my;
  BoxMouse(&mx, &my);
  my = (int32_t)mouse_y;
  if (!InBox(mx, my, req->x, req->y, req->x + (int32_t)req->width - 1, req->y + (int32_t)req->height - 1))
    return TEILNEHMER_CLOSED;
  ScreenRegion* r = req->region;
  for (uint32_t i = 0;; ++i) {
    Gadget* g = GetRegionGadget(r, i);
    if (!g) break;
    if (!InBox(mx, my, req->x + g->x1, req->y + g->y1, req->x + g->x2, req->y + g->y2)) continue;
    if (g->imagePressed) FlashButton(req->rp, g->imagePressed, g->imageReleased, req->x + g->x1, req->y + g->y1);
    if (GadgetIs(g, "EXIT")) return TEILNEHMER_CLOSED;
    if (GadgetIs(g, "CHAL")) return TEILNEHMER_CHALLENGE;
    if (GadgetIs(g, "CH00")) {
      const uint32_t e = SelectRequesterEntry(req->list, 0, (uint32_t)my, kPenHiBack, kPenHiText);
      if (e == kNoEntry) return TEILNEHMER_OPEN;
      req->selected = (uint16_t)e;
      return TEILNEHMER_SELECTED;
    }
    if (GadgetIs(g, "UP00")) MoveSlider(req->list, SLIDER_UP);
    else if (GadgetIs(g, "DO00")) MoveSlider(req->list, SLIDER_DOWN);
    else if (GadgetIs(g, "SL00")) MoveSlider(req->list, (uint32_t)my);
    else return TEILNEHMER_OPEN;
    ScrollRequester(req->list, 0, 0);
    return TEILNEHMER_OPEN;
  }
  return TEILNEHMER_OPEN;
}

void TeilnehmerReqClose(TeilnehmerReq* req) {
  if (!req) return;
  FreeRequesterBox(req->list);
  FreeMouseGadgetImages(req->region);
  RestoreBackground(req->background, req->x, req->y, req->width, req->height);
  FreeScreenRegion(req->region);
  CloseFont(req->font);
  FreeBoxRastPort(req->rp);
  FreeVec(req);
}
