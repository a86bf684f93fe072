// The SDL backend's answers to the X server's errors (SDL2 draws through
// X11 on a desktop). Xlib's own handlers end the process with exit(): on a
// BadWindow when the window was destroyed from outside, and when the server
// goes away. Here a lost window is a close request (the game ends in order),
// and a lost server ends the process at once after the log is written.
// Every function runs on the window thread; without the X11 driver they do
// nothing.
#pragma once
#include <SDL.h>

// Exit code of the process when the X server went away.
constexpr int kExitDisplayLost = 1;

// Before SDL_Init: the handlers SDL takes as Xlib's, so that they are the
// ones again when SDL puts Xlib's back at its end (SDL's own handler hands
// every error on to them).
void X11WatchPrepare();
// After SDL_Init: installs the handlers (over SDL's) when SDL uses X11, and
// puts the earlier ones back when it does not.
void X11WatchInstall();
// The game's window (null before it is destroyed by the program itself):
// errors and a destroy notice naming it mean the window is gone.
void X11WatchWindow(SDL_Window* window);
// Takes an SDL_SYSWMEVENT (any other event is ignored).
void X11WatchEvent(const SDL_Event& ev);
// The X display and window of an SDL window drawn through X11 (opaque
// pointers, so the caller needs no Xlib header); 0 when it is not one.
int X11WindowHandles(SDL_Window* window, void** display, unsigned long* xwindow);
// Waits until the X server has taken every request sent so far (what the
// window was last given is then on the screen for any other client to see).
void X11Sync();
// 1 once the game's window was destroyed from outside.
int X11WindowLost();
// Before SDL_Quit: the errors still in flight go to these handlers; then
// forgets the window.
void X11WatchEnd();
