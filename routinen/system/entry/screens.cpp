// The program's screens by ScreenCode. A screen enters the table when its
// module exists; until then its code ends the game like any code without a
// screen.
#include "screens.h"

#include "shell.h"

namespace {

// { code, screen } — e.g. { SCREEN_TITLE, TitelScreenEntry }.
const ScreenTableEntry kProgramScreens[] = {
    {SCREEN_END, nullptr},
};

}  // namespace

void InstallProgramScreens() {
  SetScreenTable(kProgramScreens, sizeof kProgramScreens / sizeof kProgramScreens[0]);
  ShellHooks hooks{};
  SetShellHooks(&hooks);
}
