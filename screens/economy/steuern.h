// The taxes screen (screen code 42, reached from the main screen): a tax
// chamber with the statue of the goddess of law. The lord sets the base tax
// with a knob, the customs dues and the tenth by typing a number and the
// judiciary's attitude by clicking the statue; the resource and judicial
// taxes are shown. The settings live in the TAXE chunk, written into the
// outgoing pool when the lord leaves by EXIT (or for the gods screen by the
// church tax).
#pragma once
#include <cstdint>

#include "screens/economy/ambience.h"

struct ScreenRegion;
struct TextFont;
struct BitMap;

constexpr uint32_t kTaxeSize = 84;  // TAXE with its header

// The screen record of one visit (AllocVec, cleared).
struct SteuernScreenData {
  uint32_t inhabitants;     // received LAND +14
  uint16_t weather;         // received KORN +40, 0..6
  uint32_t judicialIncome;  // computed
  uint32_t customsIncome;
  uint32_t resourceIncome;
  uint16_t plant, animal, mineral;  // LAND +38, +42, +46, low halves
  uint8_t* taxe;            // the TAXE record, 84 bytes (owned)
  RainDriver rain;
  ScreenRegion* region;     // the screen's layout
  TextFont* helvetica;      // XHelvetica 11
  TextFont* elmor;          // ElmorC1 (the screen's font)
  uint32_t leave;
  // The account state, the ambience and the figures of the tenth's box.
  uint16_t accountState;
  AmbientCounter ambient;   // sounds 17..19: after 10 ticks, then multiples of 20
  int32_t landIncome;       // received LAND +78, the tenth's start
  uint32_t gebaUpkeep;      // GEBA +12 (received pool, else .\Data\Gebaeude.dat)
  uint8_t landPresent, gebaPresent;
};

// The screen: 2, 1085 (the gods screen, by the church tax) or -1.
int32_t SteuernScreen(int32_t entry_code);
// With account state 2: the received LAND, the TAXE record (outgoing pool,
// else received, else zeros), the received KORN and the GEBA upkeep; with
// any other state an empty record. 1, or 0 when an announced chunk cannot
// be loaded or memory runs out.
int32_t ReadSteuernScreenData(SteuernScreenData* d);
// With account state 2 the TAXE record into the outgoing pool; frees it. 1,
// or 0 when the pool cannot be written.
int32_t WriteSteuernScreenData(SteuernScreenData* d);
// Graphics 354, 350 and 349; 1, or 0 (none kept).
int32_t LoadSteuernScreenGfx(SteuernScreenData* d);
void FreeSteuernScreenGfx();
// Sound effects 17, 18, 19 and 93; 1, or 0 (none kept).
int32_t LoadSteuernScreenSfx(SteuernScreenData* d);
void CloseSteuernScreenSfx();
// The statue, the gadgets and the layout's captions.
int32_t DrawSteuernScreen(SteuernScreenData* d);
// The judicial setting one on (4 and beyond wrap to 0); the statue redrawn.
void ToggleJustizSetting(SteuernScreenData* d);
// The requesters: 1 judicial, 2 customs, 3 resources, 4 base tax; the tenth.
// 1 when closed by EXIT (the tenth also after its message), 0 when the box
// cannot be set up.
int32_t ShowGrundsteuerRequester1(SteuernScreenData* d);
int32_t ShowGrundsteuerRequester2(SteuernScreenData* d);
int32_t ShowGrundsteuerRequester3(SteuernScreenData* d);
int32_t ShowGrundsteuerRequester4(SteuernScreenData* d);
int32_t ShowGrundsteuerRequester(SteuernScreenData* d);
// The church tax: 0 (stay), or 1085 when the lord goes to choose his god.
int32_t ShowKirchensteuerRequester(SteuernScreenData* d);

// ---- the computations (64 bits inside; results saturate at 0xFFFFFFFF) ----
// I x 7/8, 5/8, 3/8 or 1/8 for the judicial setting 0..3 (beyond 3: as 3).
uint32_t JudicialIncome(uint32_t inhabitants, uint32_t setting);
// rate x I / 100.
uint32_t CustomsIncome(uint32_t rate, uint32_t inhabitants);
// The three rates (TAXE +30, +32, +34) times the resources.
uint32_t ResourceIncome(const uint8_t* taxe, uint32_t plant, uint32_t animal, uint32_t mineral);
// I x 2 x level / 100.
uint32_t BaseTaxIncome(uint32_t inhabitants, uint32_t level);
// The tenth's base: LAND +78 (when present) - GEBA +12 (when present) +
// TAXE +40, +18, +26, +36, +48, +72, +54, signed.
int64_t TenthBase(const SteuernScreenData* d);
// rate (0..100; outside limited) x base / 100 when base >= 1, else 0.
uint32_t TenthAmount(int32_t rate, int64_t base);
// The tenth's rate of TAXE (+66's low byte, signed), limited to 0..100.
int32_t TenthRate(const uint8_t* taxe);
// The base tax's knob: its x for a level, the level for a click's x, and
// whether a press at (x, y) lies strictly inside the track (200..433 x
// 220..230, bounds excluded).
int32_t BaseTaxKnobX(uint32_t level);
uint32_t BaseTaxLevelAt(int32_t x);
bool BaseTaxTrackHit(int32_t x, int32_t y);
// A typed entry: customs rates limited to 0..0xFFFFFFFF, tenth rates to
// 0..100; "" and text without digits give 0.
uint32_t ParseCustomsRate(const char* text);
int32_t ParseTenthRate(const char* text);
