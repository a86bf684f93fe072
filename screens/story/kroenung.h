// The coronation screen (screen code 876): after a download that raised the
// realm's rank, a throne hall where the crown descends in steps, a fanfare,
// and a congratulation typed letter by letter that names the new title.
// A line at its foot says how to leave: Escape or a click (or closing the
// window) ends it; it returns to the main screen.
#pragma once
#include <cstdint>

struct RastPort;

constexpr uint32_t kKroenungTextSize = 509;  // at most 508 characters

// Runs the screen: 2, or -1 when its picture, font or sounds cannot be set up.
// It clears a due coronation mark of the own player (an unclean-end mark stays).
int32_t KroenungsScreen(int32_t entry_code);

// The catalog ID of the title for the realm points: the highest title value
// (1, 3, 7, 11, 15, 20, 25, 30) the points have reached; 0 below 1.
uint32_t KroenungTitleFor(uint32_t realm_points);
// The title for the realm points of the received LAND; 0 none (also when
// LAND cannot be loaded).
uint32_t ReadKroenungsScreenData();

// Width in pixels of len letters of text, as the screen's font draws them.
typedef uint32_t (*KroenungWidth)(void* ctx, const char* text, uint32_t len);
// Breaks the text's lines at their last blank before they pass max_width
// (a blank becomes a newline); a word wider than the line stays whole.
void KroenungBreakLines(char* text, uint32_t max_width, KroenungWidth width, void* ctx);

// Where letter n (from 1) of the text goes: its left x and the top y of its
// line (lines font height + 3 apart from top), each line centred on x = 320.
// 0 when nothing is drawn (n 0, past the end, or a newline).
int32_t KroenungLetterPlace(const char* text, uint32_t n, int32_t top, uint32_t font_height, KroenungWidth width,
                            void* ctx, int32_t* x, int32_t* y);
// Draws letter n of the text in rp's font: a one-pixel outline in pen 0 at
// (x, y), (x, y + 2), (x - 1, y + 1), (x + 1, y + 1), the letter in pen 163
// at (x, y + 1); only inside the 640 x 480 game area.
void KroenungPrintText(RastPort* rp, const char* text, uint32_t n, int32_t top);

// Sound effects 163, 164 and 165; 1, or 0 (none kept).
int32_t LoadKroenungsScreenSfx();
void CloseKroenungsScreenSfx();
