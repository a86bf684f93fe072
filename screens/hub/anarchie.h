// The anarchy screen (screen code 499, picture 499): the realm lost its
// ruler. The reason is written letter by letter; Escape removes the game
// and ends the program.
#pragma once
#include <cstdint>

struct RastPort;

// Runs the anarchy screen; -1 (the program ends), also when it cannot be
// built (the game then stays).
int32_t AnarchieScreen(int32_t entry_code);
// Sounds 100, 95, 96, 97 and 98; stops at the first that cannot be opened.
// The number opened.
uint32_t AnarchieLoadSfx();
// Draws character n (from 0) of text, outlined, on its line centred on
// x 320; the top line at y. Nothing for n past the text.
void AnarchiePrintText(RastPort* rp, const char* text, uint32_t n, int32_t y);
// The catalog text of an anarchy state: 1 catalog 1006, 2 catalog 1025,
// else 0 (no text).
uint32_t AnarchieTextId(uint32_t anarchy_state);
