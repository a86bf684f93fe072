#include "x11_watch.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "log.h"

namespace {

// Window thread only, but Xlib may call the handlers from inside any Xlib
// call SDL makes there, so the flags are atomics all the same.
struct X11WatchState {
  std::atomic<int> installed{0};
  std::atomic<unsigned long> window{0};  // the game window's XID, 0 none
  std::atomic<int> lost{0};
  std::atomic<int> errorsLogged{0};
  Display* display = nullptr;
  SDL_Window* sdlWindow = nullptr;
  XErrorHandler oldError = nullptr;
  XIOErrorHandler oldIOError = nullptr;
};
X11WatchState g_x11;

// Other errors are not fatal to the game: the first few are logged.
constexpr int kErrorsLogged = 8;

int OnXError(Display* display, XErrorEvent* e) {
  const unsigned long window = g_x11.window.load();
  if (window && e->resourceid == window && (e->error_code == BadWindow || e->error_code == BadDrawable)) {
    if (!g_x11.lost.exchange(1))
      DebugLog("X11: Das Spielfenster 0x%lx wurde von aussen zerstoert (Fehler %d bei Anfrage %d.%d)", window,
               e->error_code, e->request_code, e->minor_code);
    return 0;
  }
  const int n = g_x11.errorsLogged.fetch_add(1);
  if (n < kErrorsLogged) {
    char text[160];
    XGetErrorText(display, e->error_code, text, sizeof text);
    DebugLog("X11: Fehler %d (%s), Anfrage %d.%d, Ressource 0x%lx%s", e->error_code, text, e->request_code,
             e->minor_code, e->resourceid, n + 1 == kErrorsLogged ? "; weitere werden nicht gemeldet" : "");
  }
  return 0;
}

int OnXIOError(Display*) {
  // Nothing can be shown or ended in order without the server: the log's
  // held-back repeat count and the streams go to their files, then the end.
  DebugLog("X11: Die Verbindung zum X-Server ist verloren; das Programm endet sofort");
  DebugLogFlush();
  std::fflush(nullptr);
  _exit(kExitDisplayLost);
}

// The X window SDL shows the game's window in now (SDL makes it anew when a
// renderer needs another visual); 0 none.
unsigned long CurrentXWindow() {
  if (!g_x11.sdlWindow) return 0;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(g_x11.sdlWindow, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  g_x11.display = info.info.x11.display;
  return static_cast<unsigned long>(info.info.x11.window);
}

}  // namespace

void X11WatchPrepare() {
  g_x11.oldError = XSetErrorHandler(OnXError);
  g_x11.oldIOError = XSetIOErrorHandler(OnXIOError);
}

void X11WatchInstall() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (!driver || std::strcmp(driver, "x11") != 0) {
    XSetErrorHandler(g_x11.oldError);
    XSetIOErrorHandler(g_x11.oldIOError);
    return;
  }
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXIOError);
  // The window's destroy notice comes as a system event.
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
  g_x11.lost = 0;
  g_x11.errorsLogged = 0;
  g_x11.installed = 1;
}

void X11WatchWindow(SDL_Window* window) {
  if (!g_x11.installed.load()) return;
  g_x11.sdlWindow = window;
  g_x11.window = CurrentXWindow();
}

void X11WatchEvent(const SDL_Event& ev) {
  if (ev.type != SDL_SYSWMEVENT || !ev.syswm.msg || ev.syswm.msg->subsystem != SDL_SYSWM_X11) return;
  const XEvent& x = ev.syswm.msg->msg.x11.event;
  if (x.type != DestroyNotify) return;
  // A notice of a window SDL replaced is not the game window's end.
  const unsigned long window = CurrentXWindow();
  g_x11.window = window;
  if (window && x.xdestroywindow.window == window && !g_x11.lost.exchange(1))
    DebugLog("X11: Das Spielfenster 0x%lx wurde von aussen zerstoert (DestroyNotify)", window);
}

int X11WindowLost() { return g_x11.lost.load(); }

void X11Sync() {
  if (g_x11.installed.load() && g_x11.display) XSync(g_x11.display, False);
}

void X11WatchEnd() {
  if (!g_x11.installed.exchange(0)) return;
  if (g_x11.display) XSync(g_x11.display, False);
  g_x11.display = nullptr;
  g_x11.window = 0;
  g_x11.sdlWindow = nullptr;
}

int X11WindowHandles(SDL_Window* window, void** display, unsigned long* xwindow) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  *display = info.info.x11.display;
  *xwindow = static_cast<unsigned long>(info.info.x11.window);
  return 1;
}
