// The granary (screen code 56, reached from the town view by KOLA): the
// realm's corn in three stores, seed (left), storage (middle) and food
// (right). The hall shows how full the granaries are; a click on the
// granary opens the requester, where the lord moves corn between the stores
// in steps of 1 % of the capacity or by typing a store's value, sets two
// thresholds with sliders and confirms. OKOK writes the outgoing KORN chunk;
// EXIT of the requester drops that opening's changes. Rules and places:
// docs/granary.md.
#pragma once
#include <cstdint>

#include "screens/economy/ambience.h"

struct ScreenRegion;
struct TextFont;
struct BitMap;

constexpr uint32_t kKornSize = 64;       // KORN with its header
constexpr int32_t kKornBarHeight = 115;  // pixels of a full bar

enum : uint32_t { KORN_SEED = 0, KORN_STORAGE = 1, KORN_FOOD = 2 };

// The screen record of one visit (AllocVec, cleared).
struct KornLagerData {
  int32_t store[3];          // seed, storage, food (KORN +18, +22, +26)
  int32_t capacityCopy[3];   // the capacity, once per store (the base of the 1 % step)
  uint32_t store0[3];        // the stores as read (EXIT of the requester puts them back)
  uint32_t granaries;        // KORN +30
  uint32_t inhabitants;      // received LAND +14
  uint16_t reserved;         // beside the chunk's +34, which the write keeps as read
  uint8_t weather;           // KORN +40, limited to 0..6
  int32_t indicator1;        // always 50
  int32_t indicator2;        // received LAND +62 (at most 500) x 100 / 500
  int32_t weatherHalf;       // weather / 2
  uint32_t threshold[2];     // KORN +42, +46
  int32_t barHeight;         // kKornBarHeight
  int32_t barCapacity;       // the capacity
  uint16_t year, quarter;    // KORN +12 (low half), +16
  int32_t pending;           // taken from a store, not yet put into another; -1 none
  uint16_t knobY[2];         // y of each slider knob
  uint16_t fillState;        // 0..3, the fill pictures shown
  // The account state, the chunk the write starts from, what EXIT puts back, the layouts.
  uint16_t accountState;     // prefs field 0
  uint8_t korn[kKornSize];   // the KORN chunk as read (zeros where absent or short): the written chunk's base
  uint32_t threshold0[2];    // the thresholds as the requester opened (EXIT puts them back)
  RainDriver rain;
  ScreenRegion* region;      // the screen's layout
  ScreenRegion* req;         // the requester's layout while it is open
  TextFont* elmor;           // ElmorC1 (title bar, granary count)
  TextFont* helvetica;       // XHelvetica 11
  BitMap* heapSaved[2];      // the hall under the two heaps (SetKornImages)
  BitMap* sliderSaved[2];    // the requester under the slider knobs
  uint8_t heapsSaved;
  uint8_t gfxOpen;           // LoadKornLagerGfx succeeded
  uint8_t sfxOpen;           // LoadKornLagerSfx succeeded
  uint8_t dulled;            // the duller palette of bad weather is set
};

// The screen: 39 (the town view), or -1 when it cannot start.
int32_t KornlagerScreen(int32_t entry_code);
// With account state 2: KORN (outgoing pool when it holds one, else the
// received one) and the received LAND; the duller palette for weather 4 to
// 6 on a palette display. 1, or 0 (logged) when an announced chunk cannot be loaded.
int32_t ReadKornLagerData(KornLagerData* d);
// With account state 2: the KORN chunk as read with the requester's fields
// over it (year, quarter, the stores, granaries, +36 := 20000, weather, the
// thresholds) into the outgoing pool; the stores as read take the written
// values. Any other account state writes nothing and succeeds. 1, or 0.
int32_t WriteKornLagerData(KornLagerData* d);
// Pictures 159, 158, 125, 126, 123, 124 (freed in reverse order by
// FreeKornLagerGfx) and the weather picture at (16, 250). 1, or 0.
int32_t LoadKornLagerGfx(KornLagerData* d);
void FreeKornLagerGfx(KornLagerData* d);
// Sound effects 15, 16 and 93. 1, or 0 (none kept).
int32_t LoadKornLagerSfx(KornLagerData* d);
void CloseKornLagerSfx(KornLagerData* d);
// The requester: 1 when it was shown, 0 when it cannot open.
int32_t KornLagerRequester(KornLagerData* d);
// Draws the requester's contents. 1, or 0.
int32_t InitKornLagerRequester(KornLagerData* d);
// One half of a 1 % step (direction -1 takes from the store, +1 puts what
// was taken into it, 0 only redraws) and the store's bar and value redrawn
// when the requester is open (layout non-null).
void MoveKorn(const ScreenRegion* layout, KornLagerData* d, uint32_t store, int32_t direction);
// Slider 0 or 1: with a mouse y (non-zero) the threshold follows it; the
// knob is drawn at the threshold's place.
void SetKornSlider(KornLagerData* d, const ScreenRegion* layout, int32_t mouse_y, uint32_t slider);
// The need marker beside the seed (0) or food (2) bar.
void DrawKornMarker(KornLagerData* d, const ScreenRegion* layout, uint32_t store);
// The heaps of the hall by the storage's fill state. 1, or 0 when the
// hall's background cannot be saved.
int32_t SetKornImages(KornLagerData* d);

// ---- the rules, without a screen ---------------------------------------------
// KORN +30 x 40,000 + KORN +50 x 200,000 (64 bits), at most 2147483647.
int32_t KornCapacity(uint32_t granaries, uint16_t trade_offices);
// The fill state of the storage: 0 for a capacity below 10; else fill =
// storage x 10 / (capacity / 10) in 64 bits: above 75 3, above 50 2,
// above 25 1, else 0.
uint16_t KornFillState(int32_t storage, int32_t capacity);
// The empty part of a bar (0..115) for value against capacity: 115 - value x
// 115 / capacity (both divided by 100 first above 10,000,000). A capacity of
// 0 (after that division) draws a bar full when the value is above 0 and
// empty at 0; a store above the capacity draws a full bar.
int32_t KornEmptyHeight(int32_t value, int32_t capacity);
// The 1 % step pair: from store `from` to store `to` (capacity copy of
// `from` / 100, all of it when it holds less); never above 2147483647.
void KornStep(KornLagerData* d, uint32_t from, uint32_t to);
// The gadget's steps (UP00, DO00, UP01, DO01, UP02, DO02); 0 for another ID.
int32_t KornGadgetSteps(KornLagerData* d, const char* id);
// A typed value for store 0..2 (negative counts as 0) with the other
// stores changed so the total stays (up to the rounding of the middle
// store's halves); every store stays within 0..2147483647.
void KornTypedStore(KornLagerData* d, uint32_t store, int32_t value);
// The threshold for a mouse y on a slider whose track starts at top:
// (115 - (y - top)) x 100 / 115 x capacity / 100, y limited to the track.
uint32_t KornSliderThreshold(int32_t y, int32_t top, int32_t capacity);
// The x of a scale marker for value 0..100 (limited): 223 + 190 x value / 100 - 3.
int32_t KornMarkerX(int32_t value);
// The seed need (inhabitants x 150 / 100 x 4 / 10) and the food need
// (inhabitants x 150 / 100), 64 bits, at most 2147483647.
int32_t KornSeedNeed(uint32_t inhabitants);
int32_t KornFoodNeed(uint32_t inhabitants);
// The KORN chunk OKOK writes (64 bytes, host order) into out.
void BuildKornChunk(const KornLagerData* d, uint8_t out[kKornSize]);
// Puts the stores and thresholds back as the requester opened (EXIT).
void RestoreKornStores(KornLagerData* d);
