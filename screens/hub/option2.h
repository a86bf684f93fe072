// The modem page of the options (screen code 1141, picture 1141): which of
// two mouse cursors the program uses (picture 103 or 110). The pages are
// chained: NEXT leads to the sound page (133), PREV to the internet page
// (134); EXIT and OK lead to the main screen (the sign-up below account
// state 2). docs/options.md.
#pragma once
#include <cstdint>

#include "screens/hub/optionfields.h"

struct ScreenRegion;

// The page's record for one visit.
struct Option2ScreenData {
  uint32_t choice;        // working copy of the options' mouse_cursor
  ScreenRegion* region;   // Optionen3.dat
  OptionLamps lamps;      // graphics 58 and 57
};

// Runs the page: 2 (32 below account state 2), 133, 134, or -1 when it
// cannot start.
int32_t Option2Screen(int32_t entry_code);
// The page's labels (type 8, outlined) and the switch's mark.
void DrawOption2Screen(Option2ScreenData* d);
// The mark at mark point 0 plus (5, 5): 58 (green) for a set choice, 57
// (red) for a clear one.
void DrawCursorSwitch(Option2ScreenData* d);
// The working choice into the options (not saved).
void StoreCursorChoice(Option2ScreenData* d);
// The code a leaving page returns: 2 becomes 32 below account state 2.
int32_t OptionPagesNext(int32_t next);
