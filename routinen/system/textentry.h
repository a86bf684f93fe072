// Text entry: the blinking text cursor and the editing of a text buffer in a
// box of the screen, one key from WaitEvent at a time. There is one text
// cursor (it blinks on the cursor timer, timer 1, 400 ms, inside WaitEvent).
#pragma once
#include <cstdint>

struct RastPort;
struct BitMap;

// EditKey codes beside the printable characters 32..255: the extended keys
// as their code + 256. A key straight from WaitEvent may also be passed as
// it came: EditKey adds the 256 itself while WaitEventExtended() is set.
enum : int32_t {
  EK_BACKSPACE = 8,
  EK_LINEFEED = 10,
  EK_ENTER = 13,
  EK_LEFT = 256 + 37,    // 293
  EK_UP = 256 + 38,      // 294
  EK_RIGHT = 256 + 39,   // 295
  EK_DOWN = 256 + 40,    // 296
  EK_INSERT = 256 + 45,  // 301
  EK_DELETE = 256 + 46,  // 302
};

// The cursor state SetTextCursor returns and EditKey works on.
struct TextCursor {
  int32_t X, Y;            // top-left corner of the cursor
  uint32_t Width, Height;  // size in pixels (0: no cursor)
  uint32_t Pen;
  uint32_t Visible;        // drawn right now
  uint32_t Active;         // blinking (between SetTextCursor and StopTextCursor)
  uint32_t Pos;            // edit position: index into the text
  uint32_t Line, Column;   // where Pos lies in the wrapped text
  uint32_t Overwrite;      // 1 after insert toggled overwrite mode
  RastPort* Rp;            // where it draws (the screen's RastPort)
  BitMap* Saved;           // the pixels under the cursor
};

// Shows the cursor (width x height, pen) at x, y in rp (null: the screen's
// RastPort), saving the pixels under it, and starts the blink timer. A
// visible cursor is first taken away from its old place. The edit position
// is set to the end of the text. All zeros only hide the cursor.
TextCursor* SetTextCursor(int32_t x, int32_t y, uint32_t height, uint32_t width, uint32_t pen,
                          RastPort* rp = nullptr);
// Hides the cursor, resets its state and stops the blink timer; null ignored.
void StopTextCursor(TextCursor* cursor);
// Sets the edit position (index into the text; EditKey limits it to the text).
void SetTextCursorPos(TextCursor* cursor, uint32_t pos);

// Copies text (at most size - 1 characters) into copy and fills widths with
// the pixel width of each character in the RastPort's font (rp null: the
// screen's). A null text clears both tables (size bytes each). 1, or 0 when
// a buffer is missing.
int32_t GetCharWidths(RastPort* rp, const char* text, char* copy, uint8_t* widths, uint32_t size);
// Width in pixels of the text's last line, word-wrapped at wrap_width (0: no
// wrap) from its width table; TextPixelWidthLines also gives the line count.
uint32_t TextPixelWidth(const char* text, const uint8_t* widths, uint32_t wrap_width);
uint32_t TextPixelWidthLines(const char* text, const uint8_t* widths, uint32_t wrap_width, uint32_t* lines);

// Applies one key to text (terminated; at most max_len characters, the
// buffer holds max_len + 1) and its width table, in the box at x, y that is
// width pixels wide and lines lines high: backspace and delete remove a
// character, Enter (13 or 10) breaks the line where the box has more lines,
// the arrows move the edit position, insert toggles overwrite mode,
// characters 32..255 are put in with word wrap at the box width (nothing
// when the buffer is full or the text would not fit the box). It fills the
// box with back_pen, redraws the text in text_pen and moves the cursor
// behind the edit position. Returns the new edit position, -1 for bad
// arguments.
int32_t EditKey(int32_t key, char* text, uint8_t* widths, TextCursor* cursor, int32_t x, int32_t y,
                uint32_t width, uint32_t max_len, uint32_t lines, uint32_t text_pen, uint32_t back_pen);
