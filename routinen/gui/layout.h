// Screen layouts (".\Data\Screendat\*.dat"): text areas, gadgets, areas and
// value lists of a screen, and the gadget handling on top of them. File
// format in docs/layouts.md.
#pragma once
#include <cstdint>

struct RastPort;
struct BitMap;

constexpr uint32_t kLayoutRecordTypes = 22;

// Record types and their record sizes in the file (table in docs/layouts.md).
enum : uint16_t {
  LAYOUT_TEXTAREA = 0,   // TextArea, 12 bytes
  LAYOUT_GADGET = 1,     // Gadget, 24 bytes
  LAYOUT_AREA = 2,       // TextArea layout, 12 bytes: a rectangle with an optional text
  LAYOUT_ENTRY = 3,      // EntryField, 10 bytes
  LAYOUT_SLIDER = 4,     // SliderTrack, 8 bytes
  LAYOUT_VALUE = 5,      // ValueField, 14 bytes
  LAYOUT_MARK = 7,       // LayoutPoint, 4 bytes: a mark point
  LAYOUT_LABEL = 8,      // TextArea, 12 bytes: a label text
  LAYOUT_U16LIST = 9,    // u16 values (also read as LayoutRect, four at a time)
  LAYOUT_POINT = 10,     // LayoutPoint, 4 bytes: a picture position or list entry
};

// Gadget flags.
enum : uint16_t {
  GADF_REPEAT = 1,   // acts on the press and on every tick while held
  GADF_NODRAW = 2,   // RestoreMouseGadgets leaves it out
  GADF_MASKED = 8,   // images are drawn through their mask
};

// Text of a layout record: catalog ID 0 = none; 0xFFFFFFFF marks the title
// bar record of a CheckTitleBar table.
constexpr uint32_t kTextTitleBar = 0xFFFFFFFFu;

struct TextArea {
  uint16_t x1, y1, x2, y2;
  uint32_t textId;   // catalog string ID as stored in the file
  const char* text;  // the catalog's text, null for none
};

struct Gadget {
  uint16_t imageReleased;  // graphic IDs, 0 = none
  uint16_t imagePressed;
  uint16_t imageHover;     // drawn while the mouse is over the gadget, 0 = none
  uint16_t flags;          // GADF_*
  uint16_t x1, y1, x2, y2; // relative to the region, inclusive
  char id[4];              // e.g. "EXIT", "UP  ", compared as text (no terminator)
  uint32_t textIndex;      // 1-based index of its TextArea record in the file, 0 none
  TextArea* textArea;      // caption and hover rectangle, null for none
  uint16_t keyCode;        // pseudo gadget "KEY!": the key
};

// Text-entry field (type 3): its rectangle and the most characters it takes.
struct EntryField {
  uint16_t x1, y1, x2, y2;
  uint16_t maxLength;
};

// Slider track (type 4): x1 the track's start, x2 its end, y1 the line of
// the notch; y2 the track's lower edge.
struct SliderTrack {
  uint16_t x1, y1, x2, y2;
};

// Value field (type 5): a rectangle with the pens its value is printed in.
struct ValueField {
  uint16_t textPen, fillPen;
  uint16_t x1, y1, x2, y2;
  uint16_t flags;  // the screen's own (e.g. PrintTextOutlined flags)
};

// A mark point (type 7) or a point (type 10).
struct LayoutPoint {
  uint16_t x, y;
};

// Four values of the type 9 list read as a rectangle (corners included).
struct LayoutRect {
  uint16_t x1, y1, x2, y2;
};

struct ScreenRecordList {
  void* first;     // TextArea[], Gadget[], uint16_t[], the typed records above, or raw big-endian records
  uint32_t count;
  uint16_t size;   // bytes of one record in the file
};

struct ScreenRegion {
  void* data;           // the loaded file
  uint32_t dataSize;
  Gadget* pressed;      // gadget held down, null none
  uint16_t buttonUp;    // 1 while the left button is up
  uint16_t actedOnPress;
  Gadget pseudo;        // "EXIT" or "KEY!"
  int16_t offsetX, offsetY;
  ScreenRecordList types[kLayoutRecordTypes];
  // Mouse-over state.
  Gadget* hover;
  BitMap* hoverBackground;
  // Graphics RestoreMouseGadgets loaded (closed by FreeMouseGadgetImages).
  uint16_t* loadedImages;
  uint32_t loadedCount;
  // Background under each gadget drawn through its mask or with a hover
  // image, saved when it was first drawn (one per gadget, null none).
  BitMap** backgrounds;
};

// Loads a layout file and checks that every record type whose bit is set in
// mask is present. Null (logged) when the file is missing or malformed, a
// selected type is absent, or memory runs out.
ScreenRegion* GetScreenRegion(const char* path, uint32_t mask);
// The same over a file image (the region keeps its own copy).
ScreenRegion* ParseScreenRegion(const void* data, uint32_t size, uint32_t mask);
void FreeScreenRegion(ScreenRegion* region);

// Gadget n (from 0) of a region, null when there is none.
Gadget* GetRegionGadget(ScreenRegion* region, uint32_t n);
// The first gadget whose ID is id (4 characters), null when there is none.
Gadget* FindGadget(ScreenRegion* region, const char* id);
// True when the gadget's 4-character ID equals id.
bool GadgetIs(const Gadget* gadget, const char* id);

// ---- Typed records ----------------------------------------------------------
// Record n (from 0) of its type; null when the region is null, the type is
// absent or empty, n is past its last record, or its record size is not the
// type's (so no call reads past the loaded records).
const EntryField* GetLayoutEntry(const ScreenRegion* region, uint32_t n);   // type 3
const SliderTrack* GetLayoutSlider(const ScreenRegion* region, uint32_t n); // type 4
const ValueField* GetLayoutValue(const ScreenRegion* region, uint32_t n);   // type 5
const LayoutPoint* GetLayoutMark(const ScreenRegion* region, uint32_t n);   // type 7
const TextArea* GetLayoutLabel(const ScreenRegion* region, uint32_t n);     // type 8
const LayoutPoint* GetLayoutPoint(const ScreenRegion* region, uint32_t n);  // type 10
// Rectangle k of the type 9 list (values 4k to 4k + 3 as x1, y1, x2, y2):
// 1 and *out set, or 0 when the list has no four values there.
int32_t GetLayoutRect(const ScreenRegion* region, uint32_t k, LayoutRect* out);

// ---- Gadgets ----------------------------------------------------------------
// Whether (x, y) lies in the rectangle x1..x2, y1..y2 with its edges: the
// pixels a gadget's image covers. A gadget's click and the title bar's name
// of the text under the mouse both take exactly these pixels.
bool InLayoutRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x, int32_t y);
// Updates the hover images, then returns the gadget the event selects, or
// null: Escape (27) gives the EXIT gadget (drawn pressed for 200 ms) or the
// pseudo gadget "EXIT"; a key 1..255 the pseudo gadget "KEY!" with keyCode;
// a left button down over a gadget presses it (a repeating gadget returns at
// once), a down-move off it releases it; a tick while a repeating gadget is
// held over it returns it again; the button up releases the pressed gadget
// and returns it unless it acted on the press. rp null: the screen.
Gadget* HandleGadgetEvent(RastPort* rp, ScreenRegion* region, uint32_t event);
// Draws every gadget's released image at its place plus the region's offset
// (flag 2 skips a gadget, flag 8 draws through the mask); loads the images.
void RestoreMouseGadgets(RastPort* rp, ScreenRegion* region);
// Closes the images RestoreMouseGadgets loaded and frees the saved backgrounds.
void FreeMouseGadgetImages(ScreenRegion* region);
// The offset at which the gadgets are drawn and hit (0, 0 resets it).
void SetMouseGadgetOffset(ScreenRegion* region, int32_t x, int32_t y);
