// The message box: a picture with a title and a word-wrapped text, modal
// with one button (mode 0) or a yes/no question (mode 1), or left open for
// progress texts (mode 2 and above). Rules: docs/boxes.md.
#pragma once
#include <cstdint>

struct BitMap;
struct RastPort;
struct TextFont;

// The state of one message box.
struct ChiefMessageBox {
  uint32_t mode;
  uint32_t pictureId;
  int32_t x, y;
  uint32_t width, height;   // of the picture
  uint32_t pen;             // text pen
  TextFont* titleFont;      // fonts\ElmorC1.fnt
  TextFont* textFont;       // fonts\XHelvetica11.fnt
  RastPort* rp;             // draws into the screen
  BitMap* background;       // the screen under the box
  uint16_t pictureLoaded;   // 1 when the box loaded the picture (and closes it)
};

// Button rectangles, relative to the box (both corners inside).
enum : int32_t {
  CHIEF_OK_X1 = 112, CHIEF_OK_X2 = 192,
  CHIEF_YES_X1 = 42, CHIEF_YES_X2 = 138,
  CHIEF_NO_X1 = 182, CHIEF_NO_X2 = 262,
  CHIEF_BUTTON_Y1 = 103, CHIEF_BUTTON_Y2 = 119,
};

// Shows picture_id at x, y with the heading (catalog 84) and text in pen.
// Mode 0 and 1 wait and return 0 when the player confirms (Enter, OK, yes),
// 1 when he declines (Escape, right button, no); the background is restored.
// Mode 2 and above return the open box (a ChiefMessageBox*). A box that
// cannot be shown returns 0 in mode 0, 1 in mode 1 (a failure never
// confirms), null in mode 2. After the close (WindowCloseRequested) no box
// opens: 1 in mode 0 and 1, null in mode 2.
uintptr_t ChiefMessage(uint32_t picture_id, int32_t x, int32_t y, uint32_t unused1, uint32_t unused2,
                       uint32_t unused3, uint32_t mode, const char* text, uint32_t pen);
// Replaces the text of an open box.
void SetChiefMessageText(ChiefMessageBox* box, const char* text);
// Shows an OK button in an open box and waits: 0 for OK or Enter, 1 for
// Escape or the right button (1 for a null box, and at once after the close).
int32_t ChiefMessageLoop(ChiefMessageBox* box);
// Restores the background and frees the box; null ignored.
void CloseChiefMessage(ChiefMessageBox* box);
