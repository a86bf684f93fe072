// The rune-stone game of the tavern: the bartender hides five runes (each of
// eight, repeats allowed) and the player has six rows to find them; after
// each full row pegs tell how many runes are right and in place and how
// many right but misplaced. Optionally played for 1000 gold of the realm's
// LAND, which then goes into the outgoing pool. The board is drawn over the
// tavern picture and the screen under it restored on leaving. Rules:
// docs/tavern.md.
#pragma once
#include <cstdint>

struct ScreenRegion;

constexpr uint32_t kRuneColumns = 5, kRuneRows = 6, kRuneSlots = kRuneColumns * kRuneRows, kRuneKinds = 8;
constexpr uint32_t kRuneStake = 1000;
constexpr uint32_t kRuneLandGold = 34;  // LAND offset of the realm's gold (u32)

struct RuneStoneState {
  uint32_t blink;       // 1 while the cursor frame blinks
  uint32_t frameLit;    // blink phase: 1 frame drawn in pen 35, 0 in pen 255
  ScreenRegion* region;
  uint16_t ticks;       // ticks of the blink, 0..4
  uint16_t column, row; // the cursor
  uint16_t code[kRuneColumns];
  uint16_t slot;        // index of the slot under the cursor, below kRuneSlots
  uint16_t slots[kRuneSlots];
  uint16_t frame[8];    // the cursor frame's corners (x, y pairs)
  // Outcome of the last row checked.
  uint16_t exact, misplaced;
};

// The board: 1 when it was shown, 0 when its layout or graphics fail.
int32_t RuneStoneScreen();
// The realm's LAND: from the outgoing pool when that holds one, else from
// the received pool; null without a game or a LAND.
uint8_t* LoadRuneStoneData();
// Writes land into the outgoing pool (1 on success) and frees it.
int32_t SaveRuneStoneData(uint8_t* land);
// 1 when a realm with this much gold may bet (1001 to 99,999).
int32_t RuneStoneBetAllowed(uint32_t gold);

void MoveRuneStoneCursor(RuneStoneState* st, int32_t column_step, int32_t row_step);
void ClearRuneStoneRow(RuneStoneState* st);
void ShowRuneStoneCode(RuneStoneState* st);
void NewRuneStoneCode(RuneStoneState* st);
// Only for a full row: counts exact and misplaced runes (exact first, each
// rune of the code counted once), draws the pegs and moves the cursor to the
// next row. 1 when all five are exact.
int32_t CheckRuneStoneRow(RuneStoneState* st);
// The counting alone (no drawing): code and guess of five runes each.
void CountRuneStoneRow(const uint16_t* code, const uint16_t* guess, uint16_t* exact, uint16_t* misplaced);
void ResetRuneStoneBoard(RuneStoneState* st);
void StartRuneStoneBlink(RuneStoneState* st);
void StopRuneStoneBlink(RuneStoneState* st);
void BlinkRuneStoneCursor(RuneStoneState* st);
// Opens graphics 297..322 (all or none); 1 on success.
int32_t LoadRuneStoneGfx();
void FreeRuneStoneGfx();
