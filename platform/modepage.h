// The display-mode page that the SDL backend shows before the game window
// (internal to the platform layer; testable without a window).
#pragma once
#include <cstdint>

#include "events.h"

enum : uint32_t { kModePageWidth = 640, kModePageHeight = 480 };

struct ModePage {
  uint32_t resolution;  // 0 640x480x8, 1 800x600x32, 2 1024x768x32
  uint32_t renderer;    // 0 2D, 1 OpenGL
  uint32_t fullscreen;  // 0 window, 1 full screen
};

// Preselects the page from a mode ID.
void ModePageInit(ModePage* page, uint32_t mode_id);
uint32_t ModePageModeId(const ModePage* page);
// Draws the page into a 640 x 480 buffer of 0x00RRGGBB pixels.
void ModePageDraw(const ModePage* page, uint32_t* pixels);
// Applies one message (page coordinates): 0 stay, 1 start, -1 cancel.
int ModePageHandle(ModePage* page, const PlatformMessage* m);
