// Screen layouts (".\Data\Screendat\*.dat"): text areas, gadgets, areas and
// value lists of a screen, and the gadget handling on top of them. File
// format in docs/layouts.md.
#pragma once
#include <cstdint>

struct RastPort;
struct BitMap;

constexpr uint32_t kLayoutRecordTypes = 22;

enum : uint16_t {
  LAYOUT_TEXTAREA = 0,  // TextArea, 12 bytes
  LAYOUT_GADGET = 1,    // Gadget, 24 bytes
  LAYOUT_AREA = 2,      // TextArea layout, 12 bytes: a rectangle with an optional text
  LAYOUT_U16LIST = 9,   // u16 values
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

struct ScreenRecordList {
  void* first;     // TextArea[], Gadget[], uint16_t[] or raw big-endian records
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
