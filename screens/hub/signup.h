// The first-start sign-up (screen code 32, picture 32): the form of a new
// player, checked locally and against the game's web forum, stored as
// .\Data\I%7.7u.qoe and mailed to the registration mailbox; later the
// answer mail is fetched, the game installed from it and the first turn
// downloaded. docs/signup.md.
#pragma once
#include <cstdint>

// Runs the sign-up: 1 (title) when the player leaves, 2 (main screen) after
// the game was installed, -1 when the picture, a font or memory cannot be had.
int32_t InitScreen(int32_t entry_code);
