// The program's wiring: its screen table and the calls of later layers that
// the shell makes (ShellHooks).
#pragma once

// Installs the screen table and the shell's hooks; main calls it before the
// start-up sequence.
void InstallProgramScreens();
