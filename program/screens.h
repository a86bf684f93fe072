// The program's wiring: its screen table and the calls of later layers that
// the shell makes (ShellHooks).
#pragma once
#include <cstdint>

#include "routinen/system/shell.h"

// Installs the screen table and the shell's hooks; main calls it before the
// start-up sequence.
void InstallProgramScreens();
// The program's screen table (rows of built screens and of those still to
// come), as InstallProgramScreens installs it.
const ScreenTableEntry* ProgramScreenTable(uint32_t* count);
// 1 for a row whose screen is built (0: its code leads back to the main screen).
int ProgramScreenBuilt(const ScreenTableEntry* row);
