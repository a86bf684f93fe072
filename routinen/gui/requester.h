// Scrolling list and text boxes (`QoERequester`) with their sliders. A box
// draws its whole content into a bitmap of its own and shows the visible
// window of it on the screen; scrolling only moves that window. Formats and
// rules: docs/boxes.md.
#pragma once
#include <cstdint>

struct BitMap;
struct RastPort;
struct TextFont;
struct QoERequester;

// Length of one line of a list box (text with its NUL).
constexpr uint32_t kRequesterLineSize = 80;
// "No entry" of the selection and of SelectRequesterEntry's result.
constexpr uint16_t kNoEntry = 0xFFFF;

// Draws the content of a text box into req->rp and returns the number of
// lines it used (0: keep the count the box had). arg is 0 on the first call.
typedef uint32_t (*RequesterTextHook)(QoERequester* req, uint32_t arg);
// Draws the content of a list box made by InitOwnRequesterBox (called after
// the box drew its own lines), into req->rp in content coordinates.
typedef void (*RequesterDrawHook)(QoERequester* req, void* data);
// Draws entry `entry` of an own-drawn list box highlighted (mark) or plain
// (unmark), into req->rp in content coordinates.
typedef void (*RequesterEntryHook)(QoERequester* req, void* data, uint32_t entry);

enum : uint16_t { REQ_LIST = 0, REQ_OWN = 1, REQ_TEXT = 2 };

// MoveSlider step codes: bit 0x8000 marks a step, the low 7 bits are the
// percent, bit 0x80 makes it go up.
enum : uint32_t {
  SLIDER_STEP = 0x8000,
  SLIDER_UP = 0x808A,    // 10 percent up
  SLIDER_DOWN = 0x800A,  // 10 percent down
  SLIDER_END = 0x8064,   // to the end
};

struct QoERequester {
  uint16_t kind;             // REQ_LIST, REQ_OWN, REQ_TEXT
  uint32_t contentWidth;     // width of the lines / wrap width
  uint32_t totalHeight;      // content height in pixels (lines x line height)
  int32_t x, y;              // visible window on the screen
  uint32_t width, height;
  BitMap* content;           // the whole content, at least width x height
  TextFont* font;            // the caller's; not freed with the box
  RastPort* rp;              // draws into content
  char* text;                // own copy: lines x 80 bytes, or the text string
  uint32_t lines;            // entries of a list, lines of a text
  uint32_t lineHeight;       // font height + 1
  uint16_t pens[4];          // 0 background, 1 text, 2 and 3 the last highlight
  uint16_t selected;         // highlighted entry, kNoEntry none (callers may clear it)
  uint16_t scrollPercent;    // 0..100
  uint32_t topLine;          // first visible line
  uint32_t pixelOffset;      // first visible content row
  // The slider.
  int32_t sliderX, sliderY;
  uint32_t sliderWidth, sliderHeight;
  BitMap* sliderBitmap;
  RastPort* sliderRp;
  uint16_t sliderPens[4];    // knob, background, light edge, dark edge
  uint16_t sliderPercent;    // visible share of the content, 1..100
  uint16_t drawn;            // 1 once shown on the screen
  RequesterTextHook textHook;
  RequesterDrawHook drawHook;
  void* userData;
  uint16_t wholeLines;       // 1: the window shows whole lines only and scrolls by lines
};

// A list box over count 80-byte lines (copied), content width cw, shown at
// once at x, y in a w x h window; pen_a the background, pen_b the text. Null
// on failure (no memory, no screen, bad sizes).
QoERequester* InitRequesterBox(uint32_t cw, uint32_t count, TextFont* font, const char* lines, int32_t x,
                               int32_t y, uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b);
// The same; after drawing its lines the box calls hook(box, data) to draw the
// rest of each line.
QoERequester* InitOwnRequesterBox(RequesterDrawHook hook, void* data, uint32_t cw, uint32_t count,
                                  TextFont* font, const char* lines, int32_t x, int32_t y, uint32_t w,
                                  uint32_t h, uint32_t pen_a, uint32_t pen_b);
// A word-wrapped text box (wrap width cw), drawn by hook when given, else by
// the box itself; shown at once. Null on failure.
QoERequester* InitRequesterTextBox(uint32_t cw, TextFont* font, const char* text, int32_t x, int32_t y,
                                   uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b,
                                   RequesterTextHook hook);
// A word-wrapped text box as InitRequesterTextBox makes it without a hook,
// its lines `step` pixels apart (0: the font's height + 1) and showing whole
// lines only: its window is cut to the lines that fit its height (the rest
// of the box shows the background) and it scrolls by whole lines, so no
// line is ever shown in part. Null on failure.
QoERequester* InitRequesterTextBoxLines(uint32_t cw, TextFont* font, const char* text, int32_t x, int32_t y,
                                        uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b, uint32_t step);
// Step 1: the record with its RastPort and a copy of the text; no bitmap yet.
QoERequester* InitRequesterTextBox_Init(uint32_t cw, TextFont* font, const char* text, int32_t x, int32_t y,
                                        uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b);
// Step 2: the content bitmap for req->lines lines (or req->totalHeight when
// that is more), cleared to the background pen. 1, or 0 without memory.
int32_t InitRequesterTextBox_Bitmap(QoERequester* req);
// Step 3: sets the total height from the line count when it was not set,
// computes the slider share and shows the box. 1, or 0 without a screen.
int32_t BlitRequesterTextBox(QoERequester* req);

// Makes and draws the slider: a w x h bar in the background pen at x, y with
// a knob of the visible share, edged light (top, left) and dark. 1, or 0.
int32_t InitSlider(QoERequester* req, uint32_t w, uint32_t h, uint32_t knob_pen, uint32_t back_pen,
                   uint32_t light_pen, uint32_t dark_pen, int32_t x, int32_t y);
// Mode 0: value is a signed percent step (0, 0 redraws); 1: scroll to line
// value; 2: to pixel value; clamped to the content. Redraws box and slider.
// False when the content fits the box (nothing scrolls).
bool ScrollRequester(QoERequester* req, uint32_t mode, int32_t value);
// Moves the knob by a step code or to a mouse y (any value below 0x8000) and
// returns the new scroll percent; ScrollRequester(req, 0, 0) then scrolls.
uint32_t MoveSlider(QoERequester* req, uint32_t value);
// Mode 0: the entry under screen y; mode 1: entry value (kNoEntry: clear the
// highlight). A new entry below the count is highlighted in pens hi_a
// (background) and hi_b (text) and returned, the old one drawn plain; the
// highlighted entry returns itself; otherwise kNoEntry.
uint32_t SelectRequesterEntry(QoERequester* req, uint32_t mode, uint32_t value, uint32_t hi_a = 0,
                              uint32_t hi_b = 0);
// The same for own-drawn boxes: mark and unmark draw the entries.
uint32_t SelectOwnRequesterEntry(QoERequester* req, RequesterEntryHook mark, RequesterEntryHook unmark,
                                 void* data, uint32_t mode, uint32_t value);
// New content for a box of the same kind: lines with count entries (list
// boxes) or a text (count ignored). Keeps scroll position, slider and
// selection (as far as the new content reaches). Returns req, or null when
// memory runs out (the box then stays as it was).
QoERequester* UpdateRequesterText(QoERequester* req, const char* content, uint32_t count);
// Frees the box with its bitmaps and RastPorts (not the font); null ignored.
void FreeRequesterBox(QoERequester* req);
