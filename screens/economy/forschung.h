// The research screen (screen code 35, reached from the main screen): a
// scholars' courtyard with a fountain, one place for each of the seven
// research fields; a field's requester shows its levels, the progress of a
// running research and an advice text, and takes one research order per turn
// into the outgoing FORS chunk (the game server carries it out).
#pragma once
#include <cstdint>

#include "screens/economy/ambience.h"

struct ScreenRegion;
struct TextFont;
struct QoERequester;
struct Gadget;

constexpr uint32_t kResearchFields = 7;
constexpr uint32_t kResearchTopLevel = 7;
constexpr uint32_t kResearchGaugeSteps = 14;  // graphics 170..183
constexpr uint32_t kForsSize = 28;            // FORS with its header

// One research field: its catalog name, level byte in FORS, icon, advice
// texts (levels 0..6) and the text at the top level.
struct ForschungField {
  uint32_t name;
  uint32_t levelOffset;
  uint32_t icon;
  uint32_t advice;  // the text of level 0; level k is advice + k
  uint32_t topText;
};
// Row of field 0..6 (astronomy, alchemy, biology, theology, healing, art of
// battle, technics); null outside.
const ForschungField* ForschungFieldRow(uint32_t field);

// The screen record of one visit (AllocVec, cleared).
struct ForschungScreenData {
  uint32_t listDrawn;       // the requester's step graphics are open
  uint32_t inhabitants;     // received LAND +14
  uint32_t confidence;      // received LAND +62
  uint16_t accountState;    // prefs field 0
  uint16_t weather;         // received KORN +40, 0..6
  RainDriver rain;
  uint8_t* fors;            // the whole FORS chunk (host order, at least 28 bytes; owned)
  TextFont* elmor;          // title bar and heading (ElmorC1, the screen's font)
  TextFont* helvetica9;     // names and advice
  TextFont* helvetica11;
  ScreenRegion* region;     // the screen's layout
  QoERequester* advice;     // the requester's advice text while it is open
  // The ambience, and the requester's state with the rain's lists while it is open.
  AmbientCounter ambient;   // sound 25: after 10 ticks, then multiples of 20
  uint32_t requesterOpen;   // 1 while the requester is shown
  uint16_t requesterList[7 * 4 + 1];  // the rain's list with the requester
  uint16_t helpList[7 * 4 + 1];       // ... with its help text
};

// The screen: 2, or -1 when it cannot start.
int32_t ForschungScreen(int32_t entry_code);
// Account state, FORS (outgoing pool, else received, else a new zero chunk),
// received LAND and KORN. With account state 0 only a zero FORS. 1, or 0
// when an announced chunk cannot be loaded or memory runs out.
int32_t ReadForschungsScreenData(ForschungScreenData* d);
// Sound effects 25, 26 and 93: 1, or 0 (none kept).
int32_t LoadForschungsScreenSfx(ForschungScreenData* d);
void CloseForschungsScreenSfx();
// The requester of field 0..6: 1 when it ran (with or without an order), 0
// when it cannot open (the screen then ends).
int32_t ForschungsRequester(ForschungScreenData* d, uint32_t field);
// The requester's order (OKOK): refused with catalog 673 while a research is
// ordered, with 1015 at the top level; otherwise the question with the cost
// and, on yes, FORS +12 = field + 1 into the outgoing pool. Only with account
// state 2. Returns 1 when the order was written.
int32_t StartResearchOrder(ForschungScreenData* d, uint32_t field);

// The level of field 0..6 in FORS, limited to 0..7 (a hostile byte draws
// nothing outside its range).
uint32_t ForschungLevel(const uint8_t* fors, uint32_t field);
// The gauge step 0..13 of field 0..6: 0 unless FORS +12 orders this field
// and +13 and +14 are both non-zero; then 13 - (12 / +14) x +13, limited to
// 0..13.
uint32_t ForschungGaugeStep(const uint8_t* fors, uint32_t field);
// The cost of the next level (level + 1 = L): t = 25000 / confidence (0
// counts as 1), a = inhabitants x 25 / 100, a x t / 100 x L x 4L, in 64 bits,
// at most 0xFFFFFFFF.
uint32_t ForschungCost(uint32_t inhabitants, uint32_t confidence, uint32_t level);
// The field number of a field gadget: its ID holds the number in four
// decimal digits ("0000" .. "0006"); -1 for any other gadget.
int32_t ForschungGadgetField(const Gadget* g);
