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
// The title bar's names of the six link buttons: two sets, used in turn, so
// a new page's name is a new text even under a mouse that did not move.
struct StoryLinkNames {
  char text[2][6][64];
  uint32_t flip;
};
// Reads the page's link mark into the six link buttons GAD1..GAD6 of the
// browser's layout (images redrawn on the screen) and their targets. A page
// without a link mark keeps the buttons and targets as they were. With
// names, each button's text record then names where it leads from this
// page (none for a button that does nothing).
void RizizOzezBrowserLinks(uint32_t page, const char* page_text, ScreenRegion* layout, uint16_t targets[6],
                           StoryLinkNames* names = nullptr);
// The name of a link button with this target on this page: the previous or
// the next page, the story's end, another page ("take this path"); "" for a
// button that does nothing.
void StoryLinkName(uint32_t page, uint16_t target, char* out, uint32_t size);
