// Helpers shared by the message box, the input and choice boxes.
#pragma once
#include <cstdint>

struct RastPort;
struct TextFont;

// Pictures of the boxes in ".\Data\Path".
enum : uint32_t {
  PIC_EINGABE_FRAME = 204,   // 304 x 119
  PIC_TEXTBOX_FRAME = 205,
  PIC_SWITCH_FRAME = 207,
  PIC_OK = 209, PIC_OK_PRESSED = 210,
  PIC_YES = 211, PIC_YES_PRESSED = 212,
  PIC_NO = 213, PIC_NO_PRESSED = 214,
  PIC_CANCEL = 215, PIC_CANCEL_PRESSED = 216,
  PIC_HELP = 217, PIC_HELP_PRESSED = 218,
  PIC_BUTTON = 106, PIC_BUTTON_PRESSED = 107,  // 80 x 16, no caption
};

extern const char kBoxTitleFont[];  // "fonts\ElmorC1.fnt"
extern const char kBoxTextFont[];   // "fonts\XHelvetica11.fnt"

// A RastPort of its own over the screen's bitmap (so a box never changes the
// screen RastPort's font or pens), with font set; null without a screen.
RastPort* NewBoxRastPort(TextFont* font);
void FreeBoxRastPort(RastPort* rp);
// Width and height of a picture of ".\Data\Path"; loads it when needed and
// sets *loaded when it did. False when it cannot be loaded.
bool BoxPicture(uint32_t id, uint32_t* width, uint32_t* height, bool* loaded);
// Draws the pressed image for 100 ms, then the released one.
void FlashButton(RastPort* rp, uint32_t pressed, uint32_t released, int32_t x, int32_t y);
// The mouse position the input layer keeps.
void BoxMouse(int32_t* x, int32_t* y);
inline bool InBox(int32_t mx, int32_t my, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return mx >= x1 && mx <= x2 && my >= y1 && my <= y2;
}
