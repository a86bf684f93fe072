// The gods screen (screen code 1085, entered from the taxes screen and
// returning to it): the lord picks the realm's god out of ten, reads its
// description, names it, and the choice goes into the outgoing LAND chunk.
// Changing a god the realm already has needs the people's faith above 200.
#pragma once
#include <cstdint>

struct BitMap;
struct QoERequester;
struct TextFont;
struct ScreenRegion;

constexpr uint32_t kGodCount = 10;
constexpr uint32_t kGodNameSize = 80;  // LAND +92, 79 characters and the terminator

// The screen's record of one visit (allocated cleared).
struct GoetterData {
  uint8_t leave;           // 1 ends the loop
  uint8_t picked;          // a god was shown (picked)
  uint8_t named;           // the name was edited
  uint32_t god;            // the picked god, 1..10
  uint32_t shown;          // the god whose picture is on the screen, 1..10, 0 none
  TextFont* titleFont;     // ElmorC1 (the title bar)
  TextFont* textFont;      // XHelvetica11 (heading, name, description)
  ScreenRegion* region;    // the layout (owned by the screen's skeleton)
  QoERequester* req;       // the description, null none
  uint8_t* land;           // LAND, host order
  BitMap* saved;           // the background under the shown picture
  char name[kGodNameSize]; // the name being edited
};

// Runs the gods screen: 42, or -1 when its picture, fonts, LAND, layout or
// sound effects cannot be set up.
int32_t GoetterScreen(int32_t entry_code);

// Loads LAND (outgoing pool first, else the received one) and the layout
// and draws the heading, the name and the god the realm has. 1, or 0.
int32_t GoetterScreenInitAllThings(GoetterData* d);
// Shows god i (0..9): its sound, picture and description. 1, or 0 when the
// background under the picture cannot be saved (the god is not shown).
int32_t GoetterScreenBeschreibung(GoetterData* d, uint32_t i);
// Edits the name in the layout's name field until Enter or Escape.
void GoetterScreenNamen(GoetterData* d);
// Frees the picture's background and the description and, when a god was
// picked and named, stores it in LAND +90 / +92 of the outgoing pool.
// 1, or 0 when the outgoing pool cannot be written.
int32_t GoetterScreenWriteData(GoetterData* d);
// The ten sound effects 172..181; 1, or 0 (none kept).
int32_t GoetterLoadSfx();
void GoetterFreeSfx();
// Stores god (1..10) and name (cut to 79 characters, zero-filled) into LAND.
void GoetterStoreChoice(uint8_t* land, uint32_t god, const char* name);
