// The platform backends: a table of what differs between the SDL2 window and
// the headless (scripted) run. The program picks one at start; the window
// thread (the process's first thread) then runs its loop.
#pragma once
#include <cstdint>

struct DisplayModeChoice;

struct PlatformBackend {
  const char* name;  // "sdl2" or "headless"
  // Starts the backend (video system); 1 on success, 0 with a log line.
  int (*init)();
  // Stops it; the window must be closed first.
  void (*shutdown)();
  // The display-mode page: fills *choice (preset with the remembered mode);
  // 1 when the player started, 0 when he cancelled.
  int (*choose_mode)(DisplayModeChoice* choice);
  // Opens the window "Quill of Elmor" for the chosen mode; 1 on success.
  int (*open_window)(const DisplayModeChoice* choice);
  void (*close_window)();
  // The window thread's loop: forwards input and timer ticks to the game
  // thread's queue and presents changed frames, until PostWindowDestroy or
  // a fatal signal. Returns 0 after a destroy request, -1 on failure.
  int (*run_loop)();
  // Any thread: wakes the loop (new frame, timer change, destroy request).
  void (*wake)();
  // Waits for the next vertical blank.
  void (*wait_vblank)();
  // Platform time in ms (virtual headless).
  uint64_t (*now_ms)();
  // A modal message box (stderr headless).
  void (*message_box)(const char* title, const char* text);
  // Minimises the window (before a fatal message).
  void (*minimise)();
  // Any thread: takes a copy of a checked cursor picture (see cursor.h) and
  // shows it as the mouse cursor; 1 when taken.
  int (*set_cursor)(const uint32_t* argb, uint32_t width, uint32_t height, uint32_t hot_x, uint32_t hot_y);
};

const PlatformBackend* SdlBackend();
const PlatformBackend* HeadlessBackend();

// Selects the backend the platform calls go through (null: none).
void SelectPlatformBackend(const PlatformBackend* backend);
const PlatformBackend* CurrentPlatformBackend();

// Window-thread helpers over the current backend.
int OpenMainWindow(const DisplayModeChoice* choice);
void CloseMainWindow();
int RunWindowLoop();
// Any thread (the game thread at its end): asks the window loop to end.
void PostWindowDestroy();
int WindowDestroyRequested();
void ClearWindowDestroy();
// A message box over the current backend; stderr when there is none.
void ShowMessageBox(const char* title, const char* text);
