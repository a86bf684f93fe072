// The luxury goods screen (screen code 919, reached from the town view by
// HARE): the realm's store of the three raw materials and the sixteen luxury
// goods. A list shows each one's stock, the people's demand with its price
// and the amount the lord allocates to the people; three scales show the
// raw materials' balances, and a switch makes the market trade in raw
// materials and luxury goods only. OKOK saves the allocations
// (.\Data\Luxus.dat) with the switch (prefs field 5). Rules and places:
// docs/luxury.md.
#pragma once
#include <cstdint>

#include "routinen/gamedata/luxus.h"

struct ScreenRegion;
struct TextFont;
struct BitMap;
struct QoERequester;
struct ListHeader;
struct MovieBase;
struct Movie;

// The screen record of one visit (AllocVec, cleared).
struct LuxusScreenData {
  uint32_t quit;
  uint32_t marketSwitch;     // 0 off, 0xFFFFFFFF on
  int16_t selection;         // the selected entry, -1 none
  int32_t markerX[3];        // the scale markers' x (scales of entries 1, 0, 2)
  int32_t markerY[3];
  int32_t balance[3];        // the raw materials' balances in entry order: B0 (LAND +54), B1 (+50), B2 (+58)
  uint32_t* resources;       // GetLuxusResources (FreeVec), null none
  QoERequester* req;         // the list
  char* lines;               // its 19 name lines (80 bytes each)
  BitMap* scalesSaved;       // the screen behind the scales
  uint8_t* ware;             // the WARE chunk of .\Data\WarenChunk.qoe
  ListHeader* goods;         // its goods list (list type 7)
  uint8_t* land;             // the received LAND chunk
  TextFont* elmor;           // .\Fonts\ElmorC1.fnt
  TextFont* helvetica;       // .\Fonts\XHelvetica11.fnt
  ScreenRegion* region;      // the layout
  MovieBase* movieBase;
  Movie* movie;              // the goods animation shown
  // The account state and what reading the files found.
  uint16_t accountState;     // prefs field 0: only with 2 OKOK saves
  // .\Data\Luxus.dat was there but not 76 bytes long: its whole entries
  // (luxusWhole of them) are shown, the others 0, and the player is told.
  uint8_t luxusDamaged;
  uint32_t luxusWhole;
  uint32_t inhabitants;      // received LAND +14 (the demand)
  uint32_t townInhabitants;  // the active town's +32
  uint32_t alloc[LUXUS_FILE_ENTRIES];  // the allocations, in entry order
};

// The screen: 39 (the town view), or -1 when it cannot start.
int32_t LuxusScreen(int32_t entry_code);
// The visit's data, layout, texts, list and scales. 1, or 0 (logged; the
// screen then ends) when a step failed.
int32_t LuxusScreenInitAllThings(LuxusScreenData* d);
// The allocations and the switch through one file set; 1, or 0 (logged and
// told in an OK box: nothing changed). Without an installed game nothing is
// written (1).
int32_t SaveLuxusScreenData(LuxusScreenData* d);
// The allocations of .\Data\Luxus.dat (zeros without a whole file).
int32_t LoadLuxusScreenData(LuxusScreenData* d);
// Sound effect 165. 1, or 0.
int32_t LoadLuxusScreenSfx();
void CloseLuxusScreenSfx();
// The 19 name lines and the list; 19, or 0 on failure.
uint32_t CreateLuxusReqListBuffer(LuxusScreenData* d);
// Frees what the record holds (not the record).
void FreeLuxusScreenData(LuxusScreenData* d);

// ---- the rules, without a screen ---------------------------------------------
// The stock of entry 0..18: the quantity of the goods list's store node
// (kind 5) of its goods type, 0 when none.
uint32_t LuxusStock(const LuxusScreenData* d, uint32_t entry);
// The demand of entry 0..18 (GetLuxusDemand with the record's balances,
// resources and inhabitants).
uint32_t LuxusTarget(const LuxusScreenData* d, uint32_t entry);
// The price of a luxury good (entry >= 3) for its demand: CalcWarePreis
// with base 100, plus 80 above 10,000, 40 above 5,000, 20 above 1,000 and
// 10 above 100 (added up); 0 for a raw material.
uint32_t LuxusPrice(uint32_t entry, uint32_t target, const int32_t balance[3]);
// Limits every allocation to its stock.
void LimitLuxusAllocations(LuxusScreenData* d);
// RE00 (+1 while below the stock) and LE00 (-1 while above 0) on the
// selected entry; a typed allocation (negative counts as 0, then limited to
// the stock). 1 when an entry was selected.
int32_t LuxusStep(LuxusScreenData* d, int32_t delta);
int32_t LuxusTyped(LuxusScreenData* d, int32_t value);
// The switch toggled (0 <-> all bits set).
void ToggleLuxusSwitch(LuxusScreenData* d);

// The scales. Row k (0..2) is the scale of entry 1, 0, 2 (ROH0..ROH2).
uint32_t LuxusScaleEntry(uint32_t row);
// The scale unit S: the largest of each raw material's |balance| and
// allocation / 10 (unsigned).
uint32_t LuxusScaleUnit(const LuxusScreenData* d);
// The marker's offset 0..w on a bar of width w for entry 0..2: w x u / 2S
// with u = 10 (S - |B|) + A for a negative balance, 10 (S + B) - A else (in
// tenths); the bar's middle when S or w is 0.
int32_t LuxusMarkerOffset(const LuxusScreenData* d, uint32_t entry, int32_t w);
// The allocation a marker offset p (limited to 0..w) stands for, the marker
// formula inverted for the balance's sign, limited to 0..stock; *beyond is
// set to 1 when the offset asked for more than the stock (else 0). The
// allocation stays unchanged when S or w is 0.
uint32_t LuxusAllocationAt(const LuxusScreenData* d, uint32_t entry, int32_t p, int32_t w, int32_t* beyond);
