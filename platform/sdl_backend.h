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
// Of them, those that showed the whole window, and the pixels shown by all.
uint64_t SdlWholePresentCount();
uint64_t SdlPresentedPixels();
// Asks the window loop for a frame and waits until it showed one begun after
// the call (what was drawn before is then on the window; a frame with
// nothing changed shows nothing), timeout_ms at most: 1 when it did, 0 on
// the time-out or when the window is gone.
int SdlWaitFrameShown(int timeout_ms);
// Cursor pictures the window thread took over (put up, or refused with a log
// line by a video driver without cursors, such as the dummy driver).
uint64_t SdlCursorCount();
// The start (SdlBackend()->init) tries a display that DISPLAY (else
// WAYLAND_DISPLAY) names up to five times within a second before it gives
// up; without a named display it fails at once. After a failed start: the
// display that could not be opened, or "" when none was named.
const char* SdlUnopenedDisplay();
// Tests: the next start's first count attempts fail as a display that does
// not answer would (without starting SDL); the start resets it.
void SdlFailDisplayOpens(int count);
// Tests and CI: plays the script (the commands of headless.h) on a thread of
// its own while the window loop runs, in real time (wait sleeps, quit is the
// window's close as SDL reports it, the script's end closes the window too);
// the display-mode page is skipped for mode_id (kScreenModeCount: the
// remembered mode). Null: no script.
void SdlSetScript(const char* script, uint32_t mode_id);
