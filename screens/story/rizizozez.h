// The story screen (screen code 505): a camp-fire scene with two movies,
// then the story browser over the story the dice chose (story prefs field 0),
// page by page with pictures and link buttons, and the story's effects.
#pragma once
#include <cstdint>

struct Catalog;
struct MovieBase;
struct Movie;
struct ScreenRegion;

// The screen's record of one visit (allocated cleared, freed on leaving).
struct RizizOzezData {
  Catalog* catalog;  // "RizizOzez.catalog" over the story table, null: English
  MovieBase* movieBase;
  Movie* fire;       // ".\Anims\RizizOzez-Feuer.CBAN", null when it did not load
  Movie* lute;       // ".\Anims\RizizOzez-Laute.CBAN"
};

// Runs the story screen; 2 (the main screen), or -1 when its picture,
// record, movie base or graphics cannot be set up or the story's effects fail.
int32_t RizizOzez(int32_t entry_code);

// The movie base and the two movies (a movie that does not load is left
// out); 0 only when the base cannot be made.
int32_t InitRizizOzezAnims(RizizOzezData* data);
void FreeRizizOzezAnims(RizizOzezData* data);
// The screen's 25 graphics of ".\Data\Path"; 1, or 0 (none kept) when one
// cannot be loaded.
int32_t LoadRizizOzezGfx();
void FreeRizizOzezGfx();

// The German story catalog over the story table (null: the English texts).
Catalog* OpenRizizOzezCatalog(const char* name);
void CloseRizizOzezCatalog(Catalog* catalog);
// The current text of story table entry k (0 the title, 1..44 the stories);
// "" for an entry outside the table.
const char* GetRizizOzezText(Catalog* catalog, uint32_t entry);

// The story browser over one story text: 1 when it ran, 0 when its
// background, fonts, layout or drawing context cannot be set up.
int32_t BTTextBox(RizizOzezData* data, const char* story);
// Reads the page's link mark into the six link buttons GAD1..GAD6 of the
// browser's layout (images redrawn on the screen) and their targets. A page
// without a link mark keeps the buttons and targets as they were.
void RizizOzezBrowserLinks(uint32_t page, const char* page_text, ScreenRegion* layout, uint16_t targets[6]);
