// Minimal stand-ins for the application shell's start-up and shut-down
// sequence (see shell.h); the shell replaces this file pair.
#include "shell.h"

#include <cstring>

#include "backend.h"
#include "display.h"
#include "events.h"
#include "log.h"
#include "prefs.h"
#include "screenmode.h"

namespace {

// A placeholder page until the screen dispatcher exists: a framed area in
// the game's colours. Escape or closing the window ends the game.
void DrawPlaceholder() {
  PlatformSurface* back = DisplayBackSurface();
  if (!back) return;
  static const PaletteEntry kColours[4] = {{28, 20, 16}, {140, 112, 80}, {240, 192, 96}, {106, 58, 28}};
  DisplaySetPalette(0, 4, kColours);
  for (uint32_t y = 0; y < kGameAreaHeight; y++) {
    for (uint32_t x = 0; x < kGameAreaWidth; x++) {
      bool frame = x < 8 || y < 8 || x >= kGameAreaWidth - 8 || y >= kGameAreaHeight - 8;
      bool band = y >= 200 && y < 280 && x >= 120 && x < 520;
      uint32_t pen = frame ? 1 : band ? 3 : 0;
      if (back->depth == 8) {
        back->pixels[y * back->pitch + x] = static_cast<uint8_t>(pen);
      } else {
        const PaletteEntry& c = kColours[pen];
        uint32_t v = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
        std::memcpy(back->pixels + y * back->pitch + x * 4, &v, 4);
      }
    }
  }
  UpdateRectangle(0, 0, kGameAreaWidth, kGameAreaHeight);
}

}  // namespace

namespace {
int ReadModePref(uint32_t* mode_id) {
  uint32_t v = CheckPrefs(PREFS_DISPLAY_MODE, 0, 0);
  if (v == 0xFFFFFFFFu) return 0;
  *mode_id = v;
  return 1;
}
void WriteModePref(uint32_t mode_id) { CheckPrefs(PREFS_DISPLAY_MODE, 1, mode_id); }
}  // namespace

void InstallScreenModePrefs() { SetScreenModePrefsHook(ReadModePref, WriteModePref); }

int OpenLibraries() { return 1; }

int CheckSystem() { return 1; }

int SetupSystem() {
  StartEventTimer(kTimerGameTick, kGameTickMs);
  return 1;
}

int InitializeDirectSound() { return 1; }

int Main(void*) {
  DrawPlaceholder();
  PlatformMessage m;
  while (GetGameMessage(&m, -1)) {
    if (m.kind == kMsgQuit) break;
    if (m.kind == kMsgKeyDown && m.key == kKeyEscape) break;
  }
  PostWindowDestroy();
  return 0;
}

void ShutdownSystem() {
  StopEventTimer(kTimerGameTick);
  StopEventTimer(kTimerCursor);
}
