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
  // OpenGL mode (null: the backend has none). Window thread: makes the open
  // window an OpenGL window with a double-buffered compatibility context of
  // colour_bits per pixel, a 16-bit depth buffer and an alpha bit, current
  // on this thread; fills *info and returns kGLContextOk, or the failed step.
  int (*gl_create)(uint32_t colour_bits, struct GLContextInfo* info);
  // Shows the frame drawn into the back buffer.
  void (*gl_swap)();
};

// The steps of making a GL context, as gl_create reports a failure.
enum : int {
  kGLContextOk = 0,
  kGLNoDeviceContext = 1,   // no window to draw into
  kGLNoPixelFormat = 2,     // no visual / config with the asked buffers
  kGLSetPixelFormat = 3,    // the window could not take the format
  kGLNoRenderContext = 4,   // the context could not be made
  kGLNotCurrent = 5,        // it could not be made current
};
// What the context got: colour, red, green, blue, alpha and depth bits, and
// whether buffer swaps wait for the vertical blank.
struct GLContextInfo {
  int colour_bits, red_bits, green_bits, blue_bits, alpha_bits, depth_bits;
  int vsync;
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
// OpenGL mode: the frame the window loop draws whenever no message waits,
// once a GL context exists; it swaps the buffers after a frame that returns
// non-zero (0: nothing was drawn, the window keeps its picture); at most
// about 60 frames a second when the swap does not wait for the vertical
// blank. Null: the loop shows the 2D display.
void SetGLFrameHook(uint32_t (*frame)());
uint32_t (*GLFrameHook())();
// OpenGL mode: the most frames a second the window loop starts, below the
// display's refresh rate (30 on a renderer that draws on the processor);
// 0: the refresh rate alone (60 where it is not known).
void SetGLFrameCap(uint32_t per_second);
// Window thread, by the loop before each frame: the pixels of the window's
// drawable. The frame is drawn at the display mode's size and scaled to a
// drawable of another size (a full-screen desktop, framefit.h); 0 x 0:
// not known, the mode's size.
void SetGLWindowSize(int32_t width, int32_t height);
void GLWindowSize(int32_t* width, int32_t* height);
// Window thread, by the frame that drew: the window rectangle (top-left
// origin, the drawable's pixels) it changed; a width of 0 for the whole.
// Where the GL system can show a part of the back buffer
// (GLX_MESA_copy_sub_buffer) the loop shows only that part instead of
// swapping.
void SetGLFrameDamage(int32_t x, int32_t y, int32_t width, int32_t height);
void TakeGLFrameDamage(int32_t* x, int32_t* y, int32_t* width, int32_t* height);
// 1 while the back buffer still holds the last frame whole (it was shown by
// a part's copy, not swapped): the next frame need only draw what changed
// into it. Window thread.
int GLBackBufferIntact();
void SetGLBackBufferIntact(int intact);
uint32_t GLFrameCap();
// The frames a second the window loop starts: the display's refresh rate
// (0: not known, taken as 60), at most the cap when one is set.
uint32_t GLFramesPerSecond(uint32_t refresh_hz, uint32_t cap);
// Window thread: 1 once after the window was exposed (its picture must be
// drawn whole again), then 0 until the next exposure.
int TakeWindowExposed();
void NoteWindowExposed();
// The screen code a scripted run starts at instead of the title (tests and
// CI: QOE_START_SCREEN), 0 for the title. The dispatcher honours it.
void SetStartScreenCode(int32_t code);
int32_t StartScreenCode();
// 1: the scripted run stays on its start screen (QOE_PIN_SCREEN): whatever
// code the screen leaves with, the dispatcher opens it again, until the
// window's close. The screens' random walks play on one screen this way.
void SetStartScreenPinned(int32_t on);
int32_t StartScreenPinned();
// A message box over the current backend; stderr when there is none. Its
// title and text go to the drawn-text watch (drawntext.h).
void ShowMessageBox(const char* title, const char* text);
