// The family tree (screen code 40, picture 40): its layout with the names
// of the lord's line, and a notice that the screen is still being built.
#pragma once
#include <cstdint>

// Runs the family tree; 2 (main screen), -1 when it cannot be built.
int32_t StammbaumScreen(int32_t entry_code);
