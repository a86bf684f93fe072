#include "chiefmessage.h"

#include "boxes.h"

#include "boxes_internal.h"
#include "census.h"
#include "pictures.h"
#include "platform/display.h"
#include "platform/log.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/timer.h"
#include "text.h"

const char kBoxTitleFont[] = "fonts\\ElmorC1.fnt";
const char kBoxTextFont[] = "fonts\\XHelvetica11.fnt";

RastPort* NewBoxRastPort(TextFont* font) {
  RastPort* screen = ScreenRastPort();
  if (!screen) return nullptr;
  RastPort* rp = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_PUBLIC | MEMF_CLEAR));
  if (!rp) return nullptr;
  InitRastPort(rp);
  rp->Bitmap = screen->Bitmap;
  if (font) SetFont(rp, font);
  return rp;
}

void FreeBoxRastPort(RastPort* rp) { FreeVec(rp); }

bool BoxPicture(uint32_t id, uint32_t* width, uint32_t* height, bool* loaded) {
  *loaded = false;
  if (id == 0 || id > kGfxTableSize) return false;
  // Held open until the box closes (the caller's CloseElmorGfx).
  const BitMap* bm = UseElmorGfx(".\\Data\\Path", id);
  if (!bm) return false;
  *loaded = true;
  *width = bm->Width;
  *height = bm->Height;
  return true;
}

void FlashButton(RastPort* rp, uint32_t pressed, uint32_t released, int32_t x, int32_t y) {
  BlitObjekt(rp, pressed, x, y, 0, 0);
  Delay(5);
  BlitObjekt(rp, released, x, y, 0, 0);
}

void BoxOrigin(int32_t* dx, int32_t* dy) {
  int32_t x = 0, y = 0;
  if (DisplayGameAreaAtCorner()) {
    x = ((int32_t)DisplayWidth() - (int32_t)kGameAreaWidth) / 2;
    y = ((int32_t)DisplayHeight() - (int32_t)kGameAreaHeight) / 2;
    if (x < 0) x = 0;
    if (y < 0) y = 0;
  }
  *dx = x;
  *dy = y;
}

void BoxMouse(int32_t* x, int32_t* y) {
  uint16_t mx = GetMouseX(), my = GetMouseY();
  *x = mx == 0xFFFF ? -1 : mx;
  *y = my == 0xFFFF ? -1 : my;
}

namespace {

constexpr int32_t kTextLeft = 14, kTextTop = 26, kTitleTop = 4, kTitleBottom = 21;

// The picture, the heading and the text; the buttons of mode 0 and 1.
void DrawChiefBox(ChiefMessageBox* b, const char* text) {
  RastPort* rp = b->rp;
  BlitObjekt(rp, b->pictureId, b->x, b->y, 0, 0);
  SetFont(rp, b->titleFont);
  PrintTextOutlined(rp, b->x, b->y + kTitleTop, b->x + (int32_t)b->width - 1, b->y + kTitleBottom,
                    GetCatalogStr(84), 0, b->pen, PTO_CENTRE | PTO_VCENTRE | PTO_BASELINE);
  SetFont(rp, b->textFont);
  const int32_t bottom = b->mode <= 1 ? CHIEF_BUTTON_Y1 - 3 : (int32_t)b->height - 6;
  const int32_t lh = b->textFont->YSize + 1;
  const int32_t lines = bottom > kTextTop ? (bottom - kTextTop) / lh : 0;
  if (text && lines > 0) {
    SetDrMd(rp, 0);
    SetAPen(rp, b->pen);
    const uint32_t width = b->width > 2 * kTextLeft ? b->width - 2 * kTextLeft : b->width;
    // A path too long for the box loses its middle, never its end (the
    // file's name).
    char* fitted = ShortenedToFit(rp, text, (uint32_t)lines, width);
    PrintTextWrapped(rp, fitted ? fitted : text, b->x + kTextLeft, b->y + kTextTop, 65535, (uint32_t)lines, width);
    FreeVec(fitted);
  }
  if (b->mode == 0) {
    BlitObjekt(rp, PIC_OK, b->x + CHIEF_OK_X1, b->y + CHIEF_BUTTON_Y1, 0, 0);
  } else if (b->mode == 1) {
    BlitObjekt(rp, PIC_YES, b->x + CHIEF_YES_X1 + 8, b->y + CHIEF_BUTTON_Y1, 0, 0);
    BlitObjekt(rp, PIC_NO, b->x + CHIEF_NO_X1, b->y + CHIEF_BUTTON_Y1, 0, 0);
  }
  ShowScreenRect(rp, b->x, b->y, (int32_t)b->width, (int32_t)b->height);
}

void FreeChiefBox(ChiefMessageBox* b) {
  CloseFont(b->titleFont);
  CloseFont(b->textFont);
  FreeBoxRastPort(b->rp);
  if (b->pictureLoaded) CloseElmorGfx(b->pictureId);
  FreeVec(b);
}

ChiefMessageBox* OpenChiefBox(uint32_t picture_id, int32_t x, int32_t y, uint32_t mode, const char* text,
                              uint32_t pen) {
  ChiefMessageBox* b =
      static_cast<ChiefMessageBox*>(AllocVec(sizeof(ChiefMessageBox), MEMF_PUBLIC | MEMF_CLEAR));
  if (!b) {
    DebugLog("ChiefMessage : Kein Speicher fuer die Box !\n");
    return nullptr;
  }
  int32_t ox, oy;
  BoxOrigin(&ox, &oy);
  x += ox;
  y += oy;
  b->mode = mode;
  b->pictureId = picture_id;
  b->x = x;
  b->y = y;
  b->pen = pen;
  bool loaded = false;
  if (!BoxPicture(picture_id, &b->width, &b->height, &loaded)) {
    DebugLog("ChiefMessage : Konnte Grafik nicht finden !\n");
    FreeVec(b);
    return nullptr;
  }
  b->pictureLoaded = loaded ? 1 : 0;
  b->titleFont = OpenDiskFont(kBoxTitleFont);
  b->textFont = OpenDiskFont(kBoxTextFont);
  if (!b->titleFont || !b->textFont) {
    DebugLog("ChiefMessage : Konnte Font nicht laden !\n");
    FreeChiefBox(b);
    return nullptr;
  }
  b->rp = NewBoxRastPort(b->textFont);
  if (!b->rp) {
    DebugLog("ChiefMessage : Kein Bildschirm vorhanden !\n");
    FreeChiefBox(b);
    return nullptr;
  }
  b->background = SaveBackground(x, y, b->width, b->height);
  if (!b->background) {
    DebugLog("ChiefMessage : Konnte Hintergrund nicht sichern !\n");
    FreeChiefBox(b);
    return nullptr;
  }
  DrawChiefBox(b, text);
  return b;
}

// Waits for the answer of a box that shows its buttons (mode 0: OK only).
int32_t WaitChiefAnswer(ChiefMessageBox* b, bool yes_no) {
  RastPort* rp = b->rp;
  const int32_t by = b->y + CHIEF_BUTTON_Y1;
  const int32_t ok_x = b->x + CHIEF_OK_X1, yes_x = b->x + CHIEF_YES_X1 + 8, no_x = b->x + CHIEF_NO_X1;
  bool left_down = false, right_down = false;
  KeyScope keys;  // a key held from before the box does not answer it
  // Scripted runs: the box takes every event while it waits.
  struct Waiting {
    Waiting() { CensusMessageBoxWaiting(1); }
    ~Waiting() { CensusMessageBoxWaiting(0); }
  } waiting;
  for (;;) {
    const int32_t ev = WaitEvent(0);
    int32_t mx = -1, my = -1;
    BoxMouse(&mx, &my);
    const bool in_ok = InBox(mx, my, b->x + CHIEF_OK_X1, by, b->x + CHIEF_OK_X2, b->y + CHIEF_BUTTON_Y2);
    const bool in_yes = InBox(mx, my, b->x + CHIEF_YES_X1, by, b->x + CHIEF_YES_X2, b->y + CHIEF_BUTTON_Y2);
    const bool in_no = InBox(mx, my, b->x + CHIEF_NO_X1, by, b->x + CHIEF_NO_X2, b->y + CHIEF_BUTTON_Y2);
    switch (ev) {
      case 13:
        if (yes_no) FlashButton(rp, PIC_YES_PRESSED, PIC_YES, yes_x, by);
        else FlashButton(rp, PIC_OK_PRESSED, PIC_OK, ok_x, by);
        return 0;
      case 27:
        if (yes_no) FlashButton(rp, PIC_NO_PRESSED, PIC_NO, no_x, by);
        return 1;
      case WE_LEFT_DOWN:
        left_down = true;
        break;
      case WE_RIGHT_DOWN:
        right_down = true;
        break;
      case WE_RIGHT_UP:
        // A button release that belongs to a press before the box opened is
        // not an answer.
        if (right_down) return 1;
        break;
      case WE_LEFT_UP:
        if (!left_down) break;
        left_down = false;
        if (!yes_no) {
          if (in_ok) FlashButton(rp, PIC_OK_PRESSED, PIC_OK, ok_x, by);
          return 0;
        }
        if (in_yes) {
          FlashButton(rp, PIC_YES_PRESSED, PIC_YES, yes_x, by);
          return 0;
        }
        if (in_no) {
          FlashButton(rp, PIC_NO_PRESSED, PIC_NO, no_x, by);
          return 1;
        }
        break;
      default:
        break;
    }
  }
}

}  // namespace

uintptr_t ChiefMessage(uint32_t picture_id, int32_t x, int32_t y, uint32_t, uint32_t, uint32_t, uint32_t mode,
                       const char* text, uint32_t pen) {
  // After the close no box opens: the answer is the cancel (no box in mode 2).
  if (WindowCloseRequested()) return mode < 2 ? 1 : 0;
  ChiefMessageBox* b = OpenChiefBox(picture_id, x, y, mode, text, pen);
  if (!b) return mode == 1 ? 1 : 0;
  if (mode >= 2) return reinterpret_cast<uintptr_t>(b);
  const int32_t answer = WaitChiefAnswer(b, mode == 1);
  CloseChiefMessage(b);
  return (uintptr_t)answer;
}

void SetChiefMessageText(ChiefMessageBox* box, const char* text) {
  if (box) DrawChiefBox(box, text);
}

int32_t ChiefMessageLoop(ChiefMessageBox* box) {
  if (!box || WindowCloseRequested()) return 1;
  BlitObjekt(box->rp, PIC_OK, box->x + CHIEF_OK_X1, box->y + CHIEF_BUTTON_Y1, 0, 0);
  return WaitChiefAnswer(box, false);
}

void CloseChiefMessage(ChiefMessageBox* box) {
  if (!box) return;
  RestoreBackground(box->background, box->x, box->y, box->width, box->height);
  FreeChiefBox(box);
}
