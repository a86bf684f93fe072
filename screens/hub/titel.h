// The title screen (screen code 1, picture 1): the mail folders, the army
// and ship repair after an unclean end, and the way into the game: new game,
// load, save, options, the slide show, the credits or the realm. Escape quits
// after the quit checks (savegame.h).
#pragma once
#include <cstdint>

struct MovieBase;
struct Movie;
struct ScreenRegion;

// The title record: the movie base and the waterfall (the credits screen
// keeps its movie in the same pair). Freed by FreeTitelAnims.
struct TitelAnims {
  MovieBase* base;
  Movie* waterfall;
};

// Runs the title screen: 2 main screen (32 sign-up below account state 2),
// 133 options, 151 credits, or -1 (quit, or a set-up failure).
int32_t TitelScreen(int32_t entry_code);

// Makes .\Data\POP3In, POP3Out, MailIn and MailOut when missing.
void CreateMailDirs();
// The movie base and the waterfall at (432, 319); 0 when the base cannot be
// made (a missing movie leaves its place still). Sets both fields whatever
// the record held.
int32_t InitTitelAnims(TitelAnims* anims);
void FreeTitelAnims(TitelAnims* anims);
// Sound 168 (the waterfall); 0 when it cannot be opened (logged).
int32_t LoadTitelScreenSfx();
// The six labels (by account state) centred in their gadgets' text areas.
void PrintTitelGadgetTexts(ScreenRegion* region);
// After an unclean end (OwnPlayer mark 2, account state 2) asks whether to
// repair ARMY and SHIP of the outgoing pool; the mark is cleared whatever
// the answer. 1 when a repair pass failed, else 0.
int32_t RepairArmyShipData();
// The label catalog IDs of the six gadgets in layout order, by account state.
void TitelGadgetLabels(uint32_t account_state, uint32_t ids[6]);
