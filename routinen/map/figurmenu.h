// The map screen's pop-up menus, figure lists, map names and the
// cultivation and caravan requesters (docs/map-screen.md, "Menus, lists and
// requesters"): what a selected figure may do on its hex and the figures
// standing there, the field's own menu, the side panel's lists of the
// player's figures with the jump to one, the 8-bit switch between info box
// and lists, naming map places, the workers of a field and their counts
// over the map.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Army;
struct KartenScreenRecord;
struct ListHeader;
struct MapCultEintrag;
struct MapFigur;
struct MapScreenHooks;
struct ScreenRegion;

// The orders a figure can be given (the state byte of its record); the
// code is the menu entry's index.
enum FigurAktion : uint8_t {
  AKTION_NOTHING = 0, AKTION_ANNEX = 1, AKTION_GUARD = 2, AKTION_ATTACK = 3, AKTION_SETTLE = 4,
  AKTION_LOAD = 5, AKTION_UNLOAD = 6, AKTION_LOADED = 7, AKTION_CAPTURE = 8, AKTION_PLUNDER = 9,
  AKTION_MOVE = 10, AKTION_OFFER = 11, AKTION_ACCEPT = 12, AKTION_DUEL = 13, AKTION_SEARCH = 14,
  AKTION_TRADE = 15, AKTION_REPAIR = 16, AKTION_SCRAP = 17, AKTION_CONVOY = 18, AKTION_DESIGNATE = 19,
  AKTION_EXPLORE = 20,
};
constexpr uint32_t kFigurAktionCount = 21;
// The catalog text of each order.
extern const uint32_t kFigurAktionText[kFigurAktionCount];

// The orders offered to figure f standing on the record's clicked hex
// (X_Pos, Y_Pos), in code order, into codes (room for 21); their number.
// Reads the map window round the hex (six neighbours, three rings), the
// ship list and the figure list; changes nothing.
uint32_t FigurMenuOffers(const KartenScreenRecord* d, const MapFigur* f, uint8_t* codes);

// The label of a figure row (at most 19 characters and the NUL in out[20]):
// 0xBA for another player's figure, "+" for a carried one, then its name.
// For the player's army the army node found is returned in *army (null
// otherwise); the names of earlier rows' armies are passed in `used` and are
// skipped. Returns false when the player's army was not found anywhere.
bool FigurRowLabel(const KartenScreenRecord* d, const MapFigur* f, const std::vector<const Army*>& used,
                   const Army** army, char out[20]);
// The side box's lines for the hovered figure g (its row's army node, null
// none): empty when the player's own figure has no box.
std::vector<std::string> FigurSideBox(const KartenScreenRecord* d, const MapFigur* g, const Army* army);

// Where a menu of `rows` rows for view hex (column, row) is drawn on a
// display of width x height at depth `depth`, kept wholly on the display;
// its side box opens at *side_x (the menu's right, else its left).
void FigurMenuPlace(int32_t column, int32_t row, uint32_t rows, uint32_t width, uint32_t height, uint32_t depth,
                    int32_t* x, int32_t* y, int32_t* side_x);
// The same for a hex shown at display pixel (px, py) (on the 3D view, the
// hex's projected centre): the menu's corner there, kept wholly on the
// display.
void FigurMenuPlaceAt(int32_t px, int32_t py, uint32_t rows, uint32_t width, uint32_t height, int32_t* x,
                      int32_t* y, int32_t* side_x);

// The menus (right click). FigurMenu: 1 when an order was stored or on
// Escape, 0 otherwise (a figure row chosen swaps it to the top of the hex).
// FeldMenu: 0 names, 1 cultivation, 2 information, -1 none.
int32_t FigurMenu(KartenScreenRecord* d);
int32_t FeldMenu(KartenScreenRecord* d);
// The field menu's entries for the clicked hex (0 always, 1 on an own
// field, 2 at world (28, 14)) into entries; their number.
uint32_t FeldMenuEntries(const KartenScreenRecord* d, int32_t entries[3]);

// --- The side panel's lists -----------------------------------------------------
// A tab ("BUT1".."BUT5") or a click on the minimap ("MAP1"); 1, or 0 when
// the lines cannot be allocated.
int32_t UpdateFigurRequester(KartenScreenRecord* d, const char* gadget);
// The lines a tab (0..4) shows: two of 80 bytes per entry, in *lines.
// Entries that find no figure keep two empty lines.
void FigurListLines(const KartenScreenRecord* d, uint32_t tab, std::vector<char>* lines);
// The tab shown first: armies, else ships, else scouts.
const char* FigurListFirstTab(const KartenScreenRecord* d);
// The scroll of a minimap click at (mx, my) on the rectangle: a third of
// the distance from the centre in double columns, a quarter in rows.
void MiniMapScroll(int32_t mx, int32_t my, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t* dx, int32_t* dy);
// A click in the list: jumps to the figure of the entry under the mouse.
void JumpToFigur(KartenScreenRecord* d);
// The figure entry k of tab `tab` names (null none).
MapFigur* FigurOfListEntry(const KartenScreenRecord* d, uint32_t tab, uint32_t k);
// 8 bits: the side panel between the info box and the lists.
void SwitchGUI(KartenScreenRecord* d);
// Names the clicked place (field menu entry 0).
void EnterMapNames(KartenScreenRecord* d);
// The names box's outcome applied to the map-name list for world (x, y):
// text null deletes a name there, else sets or adds it. 1, or 0 when memory
// runs out.
int32_t ApplyMapName(ListHeader* names, uint16_t x, uint16_t y, const char* text);

// --- Workers of a field and the caravan requester ---------------------------------
// The cultivation requester's state.
struct ArbeiterState {
  uint32_t automatic;       // prefs field 17
  uint16_t terrain;         // terrain type of the field
  uint16_t bonus;           // the map screen's bonus resource
  uint32_t pool;            // free workers of the realm, prefs field 18
  uint32_t workers[3];      // harvest (fishing), wood, stones
  uint32_t landValueB;
  uint32_t newField;        // 1 when the field had no culture record
  ScreenRegion* layout;
  MapCultEintrag* record;   // the field's record (manual mode)
  struct RastPort* rp;      // on picture 1041
  int32_t dx, dy;           // the 1024 layout's centring
};
// The record of (x, y) in the culture list, a new cleared one added when
// there is none; null when memory runs out.
MapCultEintrag* ArbeiterReqAlloc(ListHeader* list, uint32_t x, uint32_t y);
// The thirteen numbers of the requester as printed, in field order.
void ArbeiterWerteTexts(const ArbeiterState* s, char out[13][16]);
// The automatic share of each product: inhabitants / B / 3 (0 for B = 0).
uint32_t ArbeiterAutoShare(uint32_t inhabitants, uint32_t land_value_b);
// A typed worker count: digits read with overflow checked, limited to the
// pool and to 1000.
uint32_t ArbeiterTypedCount(const char* text, uint32_t pool);
void PrintArbeiterWerte(ArbeiterState* s);
void EditArbeiterAnzahl(KartenScreenRecord* d, ArbeiterState* s, uint32_t product);
uint32_t ArbeiterReq(KartenScreenRecord* d);
void PrintArbeiterAnzahl(KartenScreenRecord* d, uint32_t buffer);
// What it prints: the rectangle (x1, y)-(x2, y + 9) and the sum of each
// own visible field with workers, on the free map area.
struct ArbeiterAnzahlLabel {
  int32_t x1, x2, y;
  uint32_t sum;
};
void ArbeiterAnzahlLabels(KartenScreenRecord* d, std::vector<ArbeiterAnzahlLabel>* out);
// Drops the culture parts PrintArbeiterAnzahl keeps (a requester wrote one,
// the screen closed).
void ForgetArbeiterAnzahl();
// Culture parts PrintArbeiterAnzahl has read from disk so far (tests).
uint32_t ArbeiterAnzahlReadsForTest();
void KarawaneReq();

// Fills the slots of this part of the screen.
void FillMapMenuHooks(MapScreenHooks* hooks);
