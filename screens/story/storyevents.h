// Story events: the dice after a download (which story happens and its
// immediate effects on towns, KORN, LAND and the story prefs), the effects
// after the story screen, and the page modifications of the story browser.
#pragma once
#include <cstdint>

enum : int32_t { STORY_SCREEN = 505, STORY_NONE = -1 };

// Decides whether a story happens now and applies its immediate effects.
// 505 when a story was chosen (story prefs field 0), else -1; a failure
// (a chunk or town file that cannot be read or written) also gives -1, and
// what was written before it stays.
int32_t CheckRizizOzezEvents();

// The effects of the story in story prefs field 0 after the story screen:
// the bank robbery's gold, the luxury-good choice, the town message. 1, or 0
// on a failure.
int32_t RizizOzezEvents();

// Applies the first modification mark "§(%unit,amount[%],building)" of the
// page (before its "§§") to the received pool's KORN or LAND. 1 when applied
// or when there is none; 0 when a chunk cannot be loaded or written or the
// mark is refused (a percentage of the weather).
int32_t CheckRizizOzezModifikation(const char* page);

// Tests: the local rolls (Zufall by default).
void SetStoryDice(uint32_t (*roll)(uint32_t n));
