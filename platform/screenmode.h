// Display modes the player can choose before the window opens (the
// ScreenModus page), and the remembered choice.
#pragma once
#include <cstdint>

// One row of ScreenModeTable; its index is the mode ID kept in the prefs.
struct ScreenModeRow {
  uint16_t width, height, depth;
  uint16_t pixel_format;  // kPixelFormatPalette8 or kPixelFormatXRGB8888
  uint32_t renderer;      // 0 2D, 1 OpenGL
  uint32_t fullscreen;    // 0 windowed, 1 full screen
};

// 640x480x8, 800x600x32 and 1024x768x32, each with 2D / OpenGL and
// windowed / full screen: ID = resolution * 4 + renderer * 2 + fullscreen.
enum : uint32_t { kScreenModeCount = 12, kScreenModeDefault = 0 };
extern const ScreenModeRow ScreenModeTable[kScreenModeCount];
// The ID of a combination; kScreenModeCount when there is no such row.
uint32_t FindScreenMode(uint32_t width, uint32_t height, uint32_t depth, uint32_t renderer, uint32_t fullscreen);

// The chosen mode: its row and ID. `renderer` is what the display runs (2D
// here; the program switches to OpenGL once it has a GL context),
// `chosen_renderer` what was picked.
struct DisplayModeChoice {
  uint32_t mode_id;
  uint32_t width, height, depth;
  uint32_t pixel_format;
  uint32_t renderer;
  uint32_t chosen_renderer;
  uint32_t fullscreen;
};
// Fills *out from row mode_id (an unknown ID gives the default row).
void DisplayModeFromId(uint32_t mode_id, DisplayModeChoice* out);

// Where the choice is remembered (prefs field 1). The prefs code installs
// both; without them the page starts on the default mode and forgets.
// read returns 1 and the mode ID when one was stored.
using ScreenModePrefsRead = int (*)(uint32_t* mode_id);
using ScreenModePrefsWrite = void (*)(uint32_t mode_id);
void SetScreenModePrefsHook(ScreenModePrefsRead read, ScreenModePrefsWrite write);

// The display-mode choice: preselects the remembered mode, lets the backend
// ask the player (headless: the mode the test set), remembers the result.
// Returns 1,
// or 0 when the player cancelled (the program then ends).
int ScreenModus(DisplayModeChoice* out);

// The mode of the last successful ScreenModus (the default row before one);
// the system records take it over for the display record.
void CurrentDisplayMode(DisplayModeChoice* out);
