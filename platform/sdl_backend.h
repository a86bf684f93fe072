// Parts of the SDL2 backend that tests reach (the backend itself: SdlBackend()).
#pragma once
#include <cstdint>

#include "events.h"

union SDL_Event;
// Translates a key, mouse or quit event into a queue message; 1 when there
// is one. buttons tracks the held mouse buttons.
int TranslateSdlEvent(const SDL_Event* ev, PlatformMessage* m, uint32_t* buttons);
// Frames the SDL backend has shown.
uint64_t SdlPresentCount();
// Cursor pictures the window thread took over (put up, or refused with a log
// line by a video driver without cursors, such as the dummy driver).
uint64_t SdlCursorCount();
