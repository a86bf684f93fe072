// Text drawing of the screens: outlined and aligned single lines, word-
// wrapped and character-wrapped blocks, value fields of layouts, and the
// title bar that names the gadget under the mouse. Every call takes a
// RastPort, null meaning the screen's, and draws in its font.
#pragma once
#include <cstdint>

struct RastPort;
struct TextFont;
struct TextArea;

// PrintTextOutlined flags.
enum : uint32_t {
  PTO_CENTRE = 1,      // x = x1 + (x2 - x1) / 2 - width / 2
  PTO_RIGHT = 2,       // x = x2 - width
  PTO_BASELINE = 4,    // y += the font's baseline
  PTO_FILL = 8,        // fill the rectangle with the fill pen first
  PTO_TOP = 16,        // y = y1 + the font's baseline
  PTO_VCENTRE = 32,    // y = y1 + 1 + (y2 - y1 - font height) / 2
  PTO_BOTTOM = 64,     // y = y2
  PTO_RAISE = 128,     // y -= 3
  PTO_SHADOW = 256,    // shadow in pen 0 one pixel lower
  PTO_OUTLINE = 512,   // outline in pen 0, one pixel round
};

// One line of text inside (x1, y1)-(x2, y2) in draw mode 0 (left set so).
// Without flags the text starts at x1 with its baseline on y1.
void PrintTextOutlined(RastPort* rp, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const char* text,
                       uint32_t fill_pen, uint32_t text_pen, uint32_t flags);

// Word-wrapped text: line k (from 1) at y + (k - 1) x (font height + 1) plus
// the baseline; a line breaks at a newline, or at its last blank before it
// would pass width pixels or max_chars characters (a word longer than a line
// is cut); at most max_lines lines. Returns the number of lines less one (0
// for null or empty text). Pass 65535 for limits not wanted.
uint32_t PrintTextWrapped(RastPort* rp, const char* text, int32_t x, int32_t y, uint32_t max_chars,
                          uint32_t max_lines, uint32_t width);
// The same with the lines `step` pixels apart (0: the font's height + 1);
// returns the number of lines drawn.
uint32_t PrintTextWrappedSpaced(RastPort* rp, const char* text, int32_t x, int32_t y, uint32_t width,
                                uint32_t step);
// A text that needs more than max_lines word-wrapped lines of width pixels
// with its longest run without a blank (a path) cut in the middle to "..."
// so that it fits: the run keeps its first letters and, mostly, its end (a
// file's name). A new AllocVec copy (the caller frees it), or null when the
// text fits as it is (or has no run long enough to cut). At the shortest
// the run keeps 8 letters, even if the text still does not fit then.
char* ShortenedToFit(RastPort* rp, const char* text, uint32_t max_lines, uint32_t width);
// The same wrapping without drawing (x and y are not used).
uint32_t CountWrappedLines(RastPort* rp, const char* text, int32_t x, int32_t y, uint32_t max_chars,
                           uint32_t max_lines, uint32_t width);
// Word-wrapped text inside (x1, y1)-(x2, y2) in draw mode 0: each line
// centred, the block centred in the height, as many lines as fit it (one at
// least; a word longer than a line is cut). Shows the rectangle. Returns the
// number of lines drawn.
uint32_t PrintTextCentredInBox(RastPort* rp, const char* text, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                               uint32_t pen);
// Text line by line, breaking at newlines and before the character that
// would pass the limits (no word wrap). Returns the number of lines printed.
uint32_t PrintTextBlock(RastPort* rp, const char* text, int32_t x, int32_t y, uint32_t max_chars,
                        uint32_t max_lines, uint32_t width);

// The value field of a layout: text centred in the area's rectangle in the
// RastPort's A pen, outlined in pen 201, draw mode 0; sets draw mode 1 after.
void PrintButtonText(RastPort* rp, const TextArea* area, const char* text);

// Title bar of the screen: table of TextArea records ending with a record of
// catalog ID 0. When the first has ID 0xFFFFFFFF it is the bar's rectangle
// and the search starts at the second, otherwise the bar is (200, 11) to
// (442, 27). Prints the text of the first record under the mouse, its edges
// included as a gadget's click takes them (InLayoutRect; fill pen `pen`,
// text pen 0, flags 45) and clears the bar with `pen` when the mouse leaves.
void CheckTitleBar(const TextArea* table, TextFont* font, uint32_t pen);
// The caption CheckTitleBar drew last, null while the bar stands cleared.
const char* TitleBarCaption();
// Forgets the shown title (a new screen starts with an empty bar; OpenElmorPic
// calls it).
void ResetTitleBar();
// The text module's state record (the title bar's shown caption) back to its
// start.
void ResetTextState();

// Every text the calls above draw is reported to the drawn-text watch
// (platform/drawntext.h) whole, as handed to them, and its lines again as
// the font layer draws them.
