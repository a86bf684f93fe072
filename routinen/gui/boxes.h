// Modal boxes of the screens: the input box, the help-text box, the choice
// list, the button choice and the chat's participant list. Each saves the
// screen under it and restores it exactly when it closes. After the close
// (WindowCloseRequested) none opens: each returns its cancel at once. Rules
// and return values: docs/boxes.md.
#pragma once
#include <cstdint>

struct QoERequester;
struct ScreenRegion;
struct BitMap;
struct RastPort;
struct TextFont;

// Where a box's game coordinates (0, 0) lie on the screen RastPort: (0, 0)
// while the screen draws its 640 x 480 area at its corner; while the shown
// picture spans a deeper display (the map screen), ((width - 640) / 2,
// (height - 480) / 2), so a box given (168, 180) opens at ((width - 640) / 2
// + 168, (height - 480) / 2 + 180) and a centred box in the display's middle.
// Every box here and ChiefMessage add it to the position they are given.
void BoxOrigin(int32_t* dx, int32_t* dy);

// EingabeBox filter bits (0 admits every printable character).
enum : uint32_t {
  EINGABE_ALNUM = 1,    // letters and digits
  EINGABE_NOBLANK = 2,  // no blank
  EINGABE_DIGITS = 4,
  EINGABE_LETTERS = 8,
  EINGABE_MAILCHARS = 16,  // '@', '-', '_' and '.'
  EINGABE_HOSTCHARS = 32,  // ':', '[' and ']' of "host:port" and "[v6]:port"
};
// The filter of a mail server field: a name or address with its port.
constexpr uint32_t kEingabeServerFilter = EINGABE_ALNUM | EINGABE_MAILCHARS | EINGABE_HOSTCHARS;
// Longest text EingabeBox edits, whatever the buffer.
constexpr uint32_t kEingabeMaxChars = 255;

// A 304 x 119 input box at x, y: prompt on top, the text of buffer to edit
// (size bytes; at most size - 1 characters and a NUL are ever written), OK,
// cancel and, with a help text, a help button. Enter or OK returns buffer
// holding the new text when it is not empty; else, and on Escape or cancel,
// null with buffer unchanged.
char* EingabeBox(char* buffer, uint32_t size, int32_t x, int32_t y, const char* prompt, const char* help,
                 uint32_t filter);
// True when the filter admits character c (backspace always passes).
bool EingabeFilterAdmits(uint32_t filter, uint8_t c);

// The text in a scrolling box until the player closes it. 1 when shown, 0
// when the box cannot be opened.
int32_t TextBox(const char* text);

// A choice list of count 80-byte lines with title, slider and help (layout
// file, e.g. ".\Data\Screendat\ChooseBox.dat", drawn at x, y). CH00 marks a
// line, OKOK returns its index (65535 when none is marked), EXIT or Escape
// -1, INFO shows help in a TextBox. -1 when the box cannot be shown.
int32_t InfoBox(const char* layout, int32_t x, int32_t y, uint32_t count, const char* title, const char* lines,
                const char* help);

// n (2..12) buttons labelled with 80-byte texts, the first at the top.
// Returns the number (1..n) of the button pressed, 0 on Escape or when the
// box cannot be shown.
uint32_t SwitchBox(uint32_t n, const char* texts);

// The chat's participant list, open until TeilnehmerReqClose.
struct TeilnehmerReq {
  int32_t x, y;
  uint32_t width, height;
  uint32_t count;
  uint16_t selected;        // the participant chosen (result 5), kNoEntry none
  ScreenRegion* region;     // ".\Data\Screendat\Teilnehmer.dat"
  QoERequester* list;
  TextFont* font;
  RastPort* rp;
  BitMap* background;
};
enum : int32_t {
  TEILNEHMER_CLOSED = 0,     // close clicked or clicked outside the list
  TEILNEHMER_OPEN = 1,       // nothing chosen (a scroll, or an empty line)
  TEILNEHMER_CHALLENGE = 4,
  TEILNEHMER_SELECTED = 5,   // see selected
};
// Opens the list of count 80-byte names at x, y; null when it cannot.
TeilnehmerReq* TeilnehmerReq_Open(int32_t x, int32_t y, uint32_t count, const char* names);
// Handles a left button press at the mouse's x and mouse_y.
int32_t TeilnehmerReqLoop(TeilnehmerReq* req, uint32_t mouse_y);
// Restores the background and frees the list; null ignored.
void TeilnehmerReqClose(TeilnehmerReq* req);
