// SDL2 backend: the window thread owns the window, forwards input and timer
// ticks to the game thread's queue and presents the primary surface.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "backend.h"
#include "close.h"
#include "display.h"
#include "events.h"
#include "fatal.h"
#include "framefit.h"
#include "log.h"
#include "modepage.h"
#include "platform_internal.h"
#include "screenmode.h"
#include "sdl_backend.h"
#include "threads.h"
#include "x11_watch.h"

namespace {

SDL_Window* g_window = nullptr;
SDL_Renderer* g_renderer = nullptr;
SDL_Texture* g_texture = nullptr;
SDL_GLContext g_gl = nullptr;  // OpenGL mode: the window's context (window thread)
uint32_t g_tex_w = 0, g_tex_h = 0;
std::vector<uint32_t> g_frame;
std::atomic<uint32_t> g_wake_type{0};
std::atomic<int> g_wake_pending{0};
std::atomic<uint64_t> g_presents{0};
std::atomic<uint64_t> g_whole_presents{0};  // presents that showed the whole window
std::atomic<uint64_t> g_presented_pixels{0};
// The 2D picture scaled into a window of another size. Window thread only;
// cleared when the window is made or closed.
struct ScaledPictureState {
  SDL_Surface* surface = nullptr;  // the surface it was last shown on (a new one is cleared, shown whole)
  int w = 0, h = 0;                // and its size
  std::vector<uint32_t> pixels;    // the rows of one rectangle, scaled, before their conversion
  std::vector<int32_t> columns;    // the frame column of each window column of that rectangle
};
ScaledPictureState g_scaled;
std::atomic<int> g_initialised{0};

// The start of SDL's video: a named display is tried kDisplayAttempts times,
// kDisplayRetryMs apart. The display the last start could not open (empty:
// none was named) and the test hook's count of starts still to fail (as if
// the display had not answered).
constexpr int kDisplayAttempts = 5, kDisplayRetryMs = 200;
std::string g_unopened_display;
std::atomic<int> g_failed_opens_left{0};
uint32_t g_buttons = 0;
// The key whose press or repeat came last: SDL sends the text a key types
// right after its key down, and the text goes to the game marked as that
// key's (a held key's repeat types its character again). Window thread only;
// the text or the key's release clears it.
struct TypingKeyState {
  uint32_t key = 0;
  uint32_t repeat = 0;
};
TypingKeyState g_typing;

// The cursor picture another thread handed over; the window thread makes
// the SDL cursor from it (SDL wants its cursor calls on that thread).
std::mutex g_cursor_lock;
std::vector<uint32_t> g_cursor_pixels;
uint32_t g_cursor_w = 0, g_cursor_h = 0, g_cursor_hx = 0, g_cursor_hy = 0;
bool g_cursor_pending = false;
SDL_Cursor* g_cursor = nullptr;
std::atomic<uint64_t> g_cursors_taken{0};

uint64_t NowMs() { return SDL_GetTicks64(); }

// A script played in real time beside the window loop (tests and CI): set
// before the loop runs; the player thread only reads it.
std::string g_script;
bool g_has_script = false;
uint32_t g_script_mode = kScreenModeCount;  // kScreenModeCount: the remembered one

// The script's player: waits for the game thread as the headless one does,
// on real time; its close is the window's close as SDL reports it.
// The close signal and a window destroyed from outside both ask the game to
// end in order.
void PollWindowClose() {
  PollCloseSignal();
  if (X11WindowLost() && !ProgramCloseRequested()) RequestProgramClose();
}

// The script's "shown": the player asks (the request's number), the window
// loop reads the number before a frame, shows that frame, lets the X server
// take it and answers with the number. Atomics: the script's thread asks,
// the window thread answers.
struct ScriptShownState {
  std::atomic<uint64_t> asked{0};
  std::atomic<uint64_t> answered{0};
};
ScriptShownState g_shown;

// How long "shown" waits for the game and then for the window: minutes, so
// a busy machine only makes it slower.
constexpr int kShownWaitMs = 300000;

// The window loop, before a frame: the request it answers after it.
uint64_t ShownAsked() { return g_shown.asked.load(); }
// After the frame was shown: the server takes it, then the answer.
void AnswerShown(uint64_t asked) {
  if (asked == g_shown.answered.load()) return;
  X11Sync();
  g_shown.answered.store(asked);
}

// Waits for the game thread to wait: two minutes at most, so that a busy
// machine only makes the script slower.
constexpr int kSyncWaitMs = 120000;
int ScriptSync() {
  for (int waited = 0; waited < kSyncWaitMs; waited += 10) {
    if (WindowDestroyRequested()) return 0;
    if (WaitGameThreadIdle(10)) return 1;
  }
  DebugLog("SDL-Skript: Der Spiel-Thread nimmt seit %d ms keine Nachricht an", kSyncWaitMs);
  return 1;
}
void ScriptWait(uint64_t ms) {
  // The keys the script holds repeat meanwhile, at their pace on real time.
  for (uint64_t waited = 0; waited < ms && !WindowDestroyRequested(); waited += 10) {
    SleepMs(10);
    PostDueKeyRepeats(PlatformTimeMs());
  }
}
void ScriptQuit() {
  SDL_Event ev;
  SDL_zero(ev);
  ev.type = SDL_QUIT;
  SDL_PushEvent(&ev);
}
void Wake();
int ScriptShown() {
  int waited = 0;
  for (; waited < kShownWaitMs; waited += 10) {
    if (WindowDestroyRequested()) return 0;
    if (WaitGameThreadIdle(10)) break;
  }
  if (waited >= kShownWaitMs) {
    DebugLog("SDL-Skript: Der Spiel-Thread wartet nach %d ms noch nicht", kShownWaitMs);
    return 0;
  }
  const uint64_t ask = g_shown.asked.fetch_add(1) + 1;
  Wake();
  for (waited = 0; g_shown.answered.load() < ask; waited += 10) {
    if (WindowDestroyRequested()) return 0;
    if (waited >= kShownWaitMs) {
      DebugLog("SDL-Skript: Das Fenster zeigt nach %d ms kein neues Bild", kShownWaitMs);
      return 0;
    }
    SleepMs(10);
  }
  DebugLog("SDL-Skript: Das Fenster zeigt das Bild (%llu.)", static_cast<unsigned long long>(ask));
  return 1;
}
int PlayScriptThread(void*) {
  static const ScriptPlayer kReal = {ScriptSync, ScriptWait, ScriptQuit, ScriptShown};
  PlayScript(g_script.c_str(), &kReal);
  if (ScriptSync()) ScriptQuit();  // the script's end closes the window
  return 0;
}

void Wake() {
  uint32_t type = g_wake_type.load();
  if (!type || !g_initialised.load()) return;
  if (g_wake_pending.exchange(1)) return;
  SDL_Event ev;
  SDL_zero(ev);
  ev.type = type;
  if (SDL_PushEvent(&ev) < 0) g_wake_pending = 0;
}

// The display SDL is to open: the X display, else the Wayland one; empty
// when none is named.
std::string NamedDisplay() {
  const char* x = SDL_getenv("DISPLAY");
  if (x && *x) return x;
  const char* wl = SDL_getenv("WAYLAND_DISPLAY");
  return wl && *wl ? wl : "";
}

// One start of SDL's video: 1 on a driver that shows a window (or the one
// the environment asked for), 0 when SDL came up without the display (its
// video is shut again; SDL_Quit follows the last try), with the reason in
// *why.
int OpenVideo(std::string* why) {
  if (g_failed_opens_left.load() > 0) {
    g_failed_opens_left--;
    *why = "Testhaken";
    return 0;
  }
  if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
    *why = SDL_GetError();
    return 0;
  }
  // SDL falls back to its invisible drivers when the display cannot be
  // opened; only an explicit SDL_VIDEODRIVER (tests, CI) may run the
  // program on them.
  const char* driver = SDL_GetCurrentVideoDriver();
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  const bool invisible = driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0) &&
                         (!asked || SDL_strcasecmp(asked, driver) != 0);
  if (!invisible) return 1;
  *why = std::string("nur der Treiber ") + (driver ? driver : "(keiner)");
  SDL_QuitSubSystem(SDL_INIT_VIDEO | SDL_INIT_TIMER);
  return 0;
}

int Init() {
  if (g_initialised.load()) return 1;
  // SIGTERM and SIGINT are the program's own (close.h), not SDL's.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  X11WatchPrepare();
  // A display that is named but does not answer at once (a virtual X
  // server busy with another client's start) is tried again a few times
  // within a second; without a named display the start fails at once.
  g_unopened_display.clear();
  const std::string display = NamedDisplay();
  std::string why;
  bool open = false;
  for (int attempt = 1; attempt <= kDisplayAttempts && !open; attempt++) {
    open = OpenVideo(&why) == 1;
    if (open || display.empty()) break;
    DebugLog("SDL_Init: Bildschirm %s nicht zu oeffnen (%s), Versuch %d von %d", display.c_str(), why.c_str(), attempt,
             kDisplayAttempts);
    if (attempt < kDisplayAttempts) std::this_thread::sleep_for(std::chrono::milliseconds(kDisplayRetryMs));
  }
  g_failed_opens_left = 0;
  if (!open) {
    SDL_Quit();
    if (display.empty()) DebugLog("SDL_Init: Kein Bildschirm gefunden (%s)", why.c_str());
    g_unopened_display = display;
    return 0;
  }
  // Xlib's handlers would end the process when the window is destroyed from
  // outside or the server goes away: the program's own come over SDL's.
  X11WatchInstall();
  uint32_t type = SDL_RegisterEvents(1);
  g_wake_type = type == static_cast<uint32_t>(-1) ? 0 : type;
  g_wake_pending = 0;
  g_initialised = 1;
  return 1;
}

void DestroyTexture() {
  if (g_texture) SDL_DestroyTexture(g_texture);
  g_texture = nullptr;
  g_tex_w = g_tex_h = 0;
}

void CloseWindow() {
  DestroyTexture();
  if (g_gl) {
    SDL_GL_MakeCurrent(g_window, nullptr);
    SDL_GL_DeleteContext(g_gl);
    g_gl = nullptr;
    SDL_GL_ResetAttributes();
  }
  X11WatchWindow(nullptr);  // the program destroys it itself
  if (g_renderer) SDL_DestroyRenderer(g_renderer);
  if (g_window) SDL_DestroyWindow(g_window);
  g_renderer = nullptr;
  g_window = nullptr;
  g_scaled.surface = nullptr;
}

void FreeCursor() {
  if (!g_cursor) return;
  SDL_SetCursor(SDL_GetDefaultCursor());
  SDL_FreeCursor(g_cursor);
  g_cursor = nullptr;
}

void Shutdown() {
  if (!g_initialised.exchange(0)) return;
  DebugLog("SDL: %llu Bilder gezeigt, %llu davon ganz, %llu Pixel\n", (unsigned long long)g_presents.load(),
           (unsigned long long)g_whole_presents.load(), (unsigned long long)g_presented_pixels.load());
  FreeCursor();
  CloseWindow();
  X11WatchEnd();
  g_wake_type = 0;
  SDL_Quit();
}

// Makes the window (or reuses it) at the given size; the renderer scales a
// full-screen desktop to the mode's logical size.
int EnsureWindow(uint32_t w, uint32_t h, uint32_t fullscreen) {
  // A full-screen window is made as a borderless window over the whole
  // desktop and then asked to go full screen: the switch alone needs a
  // window manager, and without one (a bare X server such as Xvfb) the
  // window would keep its size while SDL draws for the whole desktop.
  if (g_window && fullscreen) CloseWindow();
  if (!g_window) {
    int x = SDL_WINDOWPOS_CENTERED, y = SDL_WINDOWPOS_CENTERED, cw = int(w), ch = int(h);
    uint32_t flags = SDL_WINDOW_SHOWN;
    SDL_Rect desk;
    if (fullscreen && SDL_GetDisplayBounds(0, &desk) == 0) {
      x = desk.x;
      y = desk.y;
      cw = desk.w;
      ch = desk.h;
      flags |= SDL_WINDOW_BORDERLESS;
    }
    g_window = SDL_CreateWindow("Quill of Elmor", x, y, cw, ch, flags);
    if (!g_window) {
      DebugLog("SDL_CreateWindow: %s", SDL_GetError());
      return 0;
    }
    // The window shows the frame through its own surface, which copies only
    // the changed rectangles to the screen (the system's own copy, not a GL
    // texture drawn whole for each change); on a full-screen desktop of
    // another size each changed rectangle is scaled into it alone. Only a
    // window without a surface takes a renderer, which scales by itself.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (!SDL_GetWindowSurface(g_window)) {
      g_renderer = SDL_CreateRenderer(g_window, -1, SDL_RENDERER_PRESENTVSYNC);
      if (!g_renderer) g_renderer = SDL_CreateRenderer(g_window, -1, 0);
      if (!g_renderer) g_renderer = SDL_CreateRenderer(g_window, -1, SDL_RENDERER_SOFTWARE);
      if (!g_renderer) {
        DebugLog("SDL_CreateRenderer: %s", SDL_GetError());
        CloseWindow();
        return 0;
      }
    }
    // After the renderer: an OpenGL renderer makes SDL create the X window anew.
    X11WatchWindow(g_window);
  } else {
    SDL_SetWindowFullscreen(g_window, 0);
    SDL_SetWindowSize(g_window, int(w), int(h));
    SDL_SetWindowPosition(g_window, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
  }
  if (fullscreen && SDL_SetWindowFullscreen(g_window, SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
    DebugLog("SDL_SetWindowFullscreen: %s", SDL_GetError());
  if (g_renderer) {
    SDL_RenderSetLogicalSize(g_renderer, int(w), int(h));
    if (g_tex_w != w || g_tex_h != h || !g_texture) {
      DestroyTexture();
      g_texture = SDL_CreateTexture(g_renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, int(w), int(h));
      if (!g_texture) {
        DebugLog("SDL_CreateTexture: %s", SDL_GetError());
        return 0;
      }
    }
  }
  g_tex_w = w;
  g_tex_h = h;
  g_frame.assign(static_cast<size_t>(w) * h, 0);
  g_scaled.surface = nullptr;
  return 1;
}

// The size of the frame the window shows: the mode's (the 2D frame's, or
// the display's that the GL frame draws).
void FrameSize(uint32_t* w, uint32_t* h) {
  *w = g_gl ? DisplayWidth() : g_tex_w;
  *h = g_gl ? DisplayHeight() : g_tex_h;
}

// Where the frame stands in the window, in the window's own units (those of
// the pointer's positions): scaled on a window of another size (a
// full-screen desktop). A renderer scales the frame and maps the pointer
// itself: there the fit is the frame's own.
FrameFit PointerFit() {
  uint32_t fw, fh;
  FrameSize(&fw, &fh);
  int w = 0, h = 0;
  if (g_window && !g_renderer) SDL_GetWindowSize(g_window, &w, &h);
  return FitFrame(fw, fh, uint32_t(w > 0 ? w : 0), uint32_t(h > 0 ? h : 0));
}

// Scales the frame's rectangles into a surface of another size (nearest
// pixel, the rule of framefit.h) and shows the window rectangles that show
// them; a new surface is cleared (the bars black) and shown whole. The
// window pixels shown go to *pixels; true when the whole window was shown.
bool ShowScaled(SDL_Surface* surface, const DisplayRect* rects, uint32_t count, uint64_t* pixels) {
  const FrameFit fit = FitFrame(g_tex_w, g_tex_h, uint32_t(surface->w), uint32_t(surface->h));
  bool whole = surface != g_scaled.surface || surface->w != g_scaled.w || surface->h != g_scaled.h;
  DisplayRect all{0, 0, int32_t(g_tex_w), int32_t(g_tex_h)};
  if (whole) {
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
    g_scaled.surface = surface;
    g_scaled.w = surface->w;
    g_scaled.h = surface->h;
    rects = &all;
    count = 1;
  }
  SDL_Rect shown[kDisplayChangeRects];
  uint32_t n = 0;
  *pixels = 0;
  for (uint32_t i = 0; i < count && n < kDisplayChangeRects; i++) {
    const DisplayRect& r = rects[i];
    if (r.x <= 0 && r.y <= 0 && r.x + r.width >= int32_t(g_tex_w) && r.y + r.height >= int32_t(g_tex_h)) whole = true;
    SDL_Rect d;
    FrameRectInWindow(fit, r.x, r.y, r.width, r.height, &d.x, &d.y, &d.w, &d.h);
    if (d.w <= 0 || d.h <= 0) continue;
    g_scaled.columns.resize(size_t(d.w));
    for (int32_t c = 0; c < d.w; c++) g_scaled.columns[size_t(c)] = FrameColumnAt(fit, d.x - fit.x + c);
    g_scaled.pixels.resize(size_t(d.w) * size_t(d.h));
    for (int32_t row = 0; row < d.h; row++) {
      const uint32_t* src = g_frame.data() + size_t(FrameRowAt(fit, d.y - fit.y + row)) * g_tex_w;
      uint32_t* dst = g_scaled.pixels.data() + size_t(row) * size_t(d.w);
      for (int32_t c = 0; c < d.w; c++) dst[c] = src[g_scaled.columns[size_t(c)]];
    }
    if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
    auto* out = static_cast<uint8_t*>(surface->pixels) + size_t(d.y) * surface->pitch +
                size_t(d.x) * surface->format->BytesPerPixel;
    SDL_ConvertPixels(d.w, d.h, SDL_PIXELFORMAT_RGB888, g_scaled.pixels.data(), d.w * 4, surface->format->format, out,
                      surface->pitch);
    if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
    shown[n++] = d;
    *pixels += uint64_t(d.w) * uint64_t(d.h);
  }
  if (whole) {
    // The bars with it: a window shown again (exposed) lost them as well.
    SDL_UpdateWindowSurface(g_window);
    *pixels = uint64_t(surface->w) * uint64_t(surface->h);
  } else if (n > 0) {
    SDL_UpdateWindowSurfaceRects(g_window, shown, int(n));
  }
  return whole;
}

// Shows the rectangles of the frame (0x00RRGGBB words, the mode's size): in a
// window of that size only they are copied to the screen, in a window of
// another size (a full-screen desktop) only they are scaled into it; a
// renderer gets them into its texture and shows the whole, scaled.
void ShowFrame(const DisplayRect* rects, uint32_t count) {
  if (count == 0 || g_frame.empty()) return;
  uint64_t pixels = 0;
  for (uint32_t i = 0; i < count; i++) pixels += uint64_t(rects[i].width) * uint64_t(rects[i].height);
  const int pitch = int(g_tex_w * 4);
  bool whole = false;
  if (g_renderer) {
    if (!g_texture) return;
    for (uint32_t i = 0; i < count; i++) {
      const SDL_Rect r{rects[i].x, rects[i].y, rects[i].width, rects[i].height};
      SDL_UpdateTexture(g_texture, &r, g_frame.data() + size_t(r.y) * g_tex_w + size_t(r.x), pitch);
    }
    SDL_SetRenderDrawColor(g_renderer, 0, 0, 0, 255);
    SDL_RenderClear(g_renderer);
    SDL_RenderCopy(g_renderer, g_texture, nullptr, nullptr);
    SDL_RenderPresent(g_renderer);
    pixels = uint64_t(g_tex_w) * g_tex_h;
    whole = true;
  } else {
    SDL_Surface* surface = g_window ? SDL_GetWindowSurface(g_window) : nullptr;
    if (!surface) return;
    if (surface->w != int(g_tex_w) || surface->h != int(g_tex_h)) {
      whole = ShowScaled(surface, rects, count, &pixels);
      if (pixels == 0) return;
      count = 0;  // shown
    }
    SDL_Rect shown[kDisplayChangeRects];
    uint32_t n = 0;
    for (uint32_t i = 0; i < count && n < kDisplayChangeRects; i++) {
      SDL_Rect r{rects[i].x, rects[i].y, rects[i].width, rects[i].height};
      // A guard: the rectangles lie in the frame, and the surface is its size.
      if (r.x + r.w > surface->w) r.w = surface->w - r.x;
      if (r.y + r.h > surface->h) r.h = surface->h - r.y;
      if (r.w <= 0 || r.h <= 0) continue;
      if (SDL_MUSTLOCK(surface)) SDL_LockSurface(surface);
      auto* dst = static_cast<uint8_t*>(surface->pixels) + size_t(r.y) * surface->pitch +
                  size_t(r.x) * surface->format->BytesPerPixel;
      SDL_ConvertPixels(r.w, r.h, SDL_PIXELFORMAT_RGB888, g_frame.data() + size_t(r.y) * g_tex_w + size_t(r.x), pitch,
                        surface->format->format, dst, surface->pitch);
      if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
      shown[n++] = r;
    }
    if (count > 0) {
      if (n == 0) return;
      SDL_UpdateWindowSurfaceRects(g_window, shown, int(n));
    }
  }
  if (whole || pixels >= uint64_t(g_tex_w) * g_tex_h) g_whole_presents.fetch_add(1);
  g_presented_pixels.fetch_add(pixels);
  g_presents.fetch_add(1);
}

void ShowWholeFrame() {
  const DisplayRect all{0, 0, int32_t(g_tex_w), int32_t(g_tex_h)};
  ShowFrame(&all, 1);
}

// Converts what changed on the primary surface since the last present and
// shows it.
void Present() {
  if (g_frame.empty()) return;
  DisplayRect rects[kDisplayChangeRects];
  const uint32_t n = DisplayTakeChangedRGB(g_frame.data(), g_tex_w, g_tex_h, rects);
  ShowFrame(rects, n);
}

uint32_t KeyCode(SDL_Keycode k, uint32_t* ext, uint32_t* ch) {
  *ext = 0;
  *ch = 0;
  if (k >= SDLK_a && k <= SDLK_z) return static_cast<uint32_t>('A' + (k - SDLK_a));
  if (k >= SDLK_0 && k <= SDLK_9) return static_cast<uint32_t>(k);
  if (k >= SDLK_F1 && k <= SDLK_F12) return kKeyF1 + static_cast<uint32_t>(k - SDLK_F1);
  if (k >= SDLK_KP_1 && k <= SDLK_KP_9) return 97 + static_cast<uint32_t>(k - SDLK_KP_1);
  switch (k) {
    case SDLK_RETURN: *ch = 13; return kKeyEnter;
    case SDLK_KP_ENTER: *ch = 13; *ext = 1; return kKeyEnter;
    case SDLK_ESCAPE: *ch = 27; return kKeyEscape;
    case SDLK_BACKSPACE: *ch = 8; return kKeyBackspace;
    case SDLK_TAB: *ch = 9; return kKeyTab;
    case SDLK_SPACE: return kKeySpace;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return kKeyShift;
    case SDLK_LCTRL: return kKeyCtrl;
    case SDLK_RCTRL: *ext = 1; return kKeyCtrl;
    case SDLK_LALT: return kKeyAlt;
    case SDLK_RALT: *ext = 1; return kKeyAlt;
    case SDLK_PAUSE: return kKeyPause;
    case SDLK_KP_0: return 96;
    default: break;
  }
  *ext = 1;
  switch (k) {
    case SDLK_PAGEUP: return kKeyPageUp;
    case SDLK_PAGEDOWN: return kKeyPageDown;
    case SDLK_END: return kKeyEnd;
    case SDLK_HOME: return kKeyHome;
    case SDLK_LEFT: return kKeyLeft;
    case SDLK_UP: return kKeyUp;
    case SDLK_RIGHT: return kKeyRight;
    case SDLK_DOWN: return kKeyDown;
    case SDLK_INSERT: return kKeyInsert;
    case SDLK_DELETE: return kKeyDelete;
    default: break;
  }
  *ext = 0;
  if (k > 32 && k < 127) return static_cast<uint32_t>(k);  // punctuation keys
  return 0;
}

uint32_t ButtonBit(uint8_t b) {
  if (b == SDL_BUTTON_LEFT) return kButtonLeft;
  if (b == SDL_BUTTON_RIGHT) return kButtonRight;
  if (b == SDL_BUTTON_MIDDLE) return kButtonMiddle;
  return 0;
}

}  // namespace

// Translates one SDL event into a queue message; 1 when there is one. Text
// input is not translated here (it may hold several characters).
int TranslateSdlEvent(const SDL_Event* ev, PlatformMessage* m, uint32_t* buttons) {
  *m = PlatformMessage{};
  switch (ev->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      uint32_t ext, ch;
      uint32_t key = KeyCode(ev->key.keysym.sym, &ext, &ch);
      if (!key) return 0;
      m->kind = ev->type == SDL_KEYDOWN ? kMsgKeyDown : kMsgKeyUp;
      m->key = key;
      m->extended = ext;
      m->ch = ev->type == SDL_KEYDOWN ? ch : 0;
      // The keyboard's auto-repeat of a held key: the game tells it from a
      // press, so a repeat does not act on a screen or box opened after it.
      m->repeat = ev->type == SDL_KEYDOWN && ev->key.repeat ? 1 : 0;
      return 1;
    }
    case SDL_MOUSEMOTION:
      m->kind = kMsgMouseMove;
      m->x = ev->motion.x;
      m->y = ev->motion.y;
      m->buttons = *buttons;
      return 1;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      uint32_t bit = ButtonBit(ev->button.button);
      if (bit != kButtonLeft && bit != kButtonRight) return 0;
      bool down = ev->type == SDL_MOUSEBUTTONDOWN;
      if (down)
        *buttons |= bit;
      else
        *buttons &= ~bit;
      m->kind = bit == kButtonLeft ? (down ? kMsgLeftDown : kMsgLeftUp) : (down ? kMsgRightDown : kMsgRightUp);
      m->x = ev->button.x;
      m->y = ev->button.y;
      m->buttons = *buttons;
      return 1;
    }
    case SDL_QUIT:
      m->kind = kMsgQuit;
      return 1;
    case SDL_WINDOWEVENT:
      // The pointer's leave and return and the keyboard focus: the game
      // acts on a pointer resting at an edge only while both hold.
      m->kind = kMsgWindow;
      switch (ev->window.event) {
        case SDL_WINDOWEVENT_LEAVE: m->key = kWindowPointerLeft; return 1;
        case SDL_WINDOWEVENT_ENTER: m->key = kWindowPointerEntered; return 1;
        case SDL_WINDOWEVENT_FOCUS_LOST: m->key = kWindowFocusLost; return 1;
        case SDL_WINDOWEVENT_FOCUS_GAINED: m->key = kWindowFocusGained; return 1;
        default: *m = PlatformMessage{}; return 0;
      }
    default:
      return 0;
  }
}

uint64_t SdlPresentCount() { return g_presents.load(); }
int SdlWaitFrameShown(int timeout_ms) {
  const uint64_t ask = g_shown.asked.fetch_add(1) + 1;
  Wake();
  for (int waited = 0; g_shown.answered.load() < ask; waited++) {
    if (WindowDestroyRequested() || waited >= timeout_ms) return 0;
    SleepMs(1);
  }
  return 1;
}
uint64_t SdlWholePresentCount() { return g_whole_presents.load(); }
uint64_t SdlPresentedPixels() { return g_presented_pixels.load(); }
uint64_t SdlCursorCount() { return g_cursors_taken.load(); }

const char* SdlUnopenedDisplay() { return g_unopened_display.c_str(); }
void SdlFailDisplayOpens(int count) { g_failed_opens_left = count > 0 ? count : 0; }

namespace {

int ChooseMode(DisplayModeChoice* choice) {
  if (g_has_script) {
    // A scripted run takes its mode without the page.
    if (g_script_mode < kScreenModeCount) DisplayModeFromId(g_script_mode, choice);
    return 1;
  }
  if (!EnsureWindow(kModePageWidth, kModePageHeight, 0)) return 0;
  ModePage page;
  ModePageInit(&page, choice->mode_id);
  uint32_t buttons = 0;
  bool dirty = true;
  for (;;) {
    PollWindowClose();
    if (ProgramCloseRequested()) return 0;
    if (dirty) {
      ModePageDraw(&page, g_frame.data());
      ShowWholeFrame();
      dirty = false;
    }
    SDL_Event ev;
    if (!SDL_WaitEventTimeout(&ev, 100)) continue;
    X11WatchEvent(ev);
    if (ev.type == SDL_WINDOWEVENT) dirty = true;
    PlatformMessage m;
    if (!TranslateSdlEvent(&ev, &m, &buttons)) continue;
    int r = ModePageHandle(&page, &m);
    dirty = true;
    if (r != 0) {
      if (r < 0) return 0;
      DisplayModeFromId(ModePageModeId(&page), choice);
      return 1;
    }
  }
}

int OpenWindow(const DisplayModeChoice* choice) {
  if (!EnsureWindow(choice->width, choice->height, choice->fullscreen)) return 0;
  SDL_StartTextInput();
  return 1;
}

int SetCursor(const uint32_t* argb, uint32_t width, uint32_t height, uint32_t hot_x, uint32_t hot_y) {
  {
    std::lock_guard<std::mutex> g(g_cursor_lock);
    g_cursor_pixels.assign(argb, argb + static_cast<size_t>(width) * height);
    g_cursor_w = width;
    g_cursor_h = height;
    g_cursor_hx = hot_x;
    g_cursor_hy = hot_y;
    g_cursor_pending = true;
  }
  Wake();
  return 1;
}

// Window thread: puts up a cursor picture that waits.
void ApplyPendingCursor() {
  std::lock_guard<std::mutex> g(g_cursor_lock);
  if (!g_cursor_pending) return;
  g_cursor_pending = false;
  g_cursors_taken.fetch_add(1);
  SDL_Surface* surface =
      SDL_CreateRGBSurfaceFrom(g_cursor_pixels.data(), int(g_cursor_w), int(g_cursor_h), 32, int(g_cursor_w * 4),
                               0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
  if (!surface) {
    DebugLog("SDL_CreateRGBSurfaceFrom: %s", SDL_GetError());
    return;
  }
  SDL_Cursor* cursor = SDL_CreateColorCursor(surface, int(g_cursor_hx), int(g_cursor_hy));
  SDL_FreeSurface(surface);
  if (!cursor) {
    DebugLog("SDL_CreateColorCursor: %s", SDL_GetError());
    return;
  }
  SDL_SetCursor(cursor);
  if (g_cursor) SDL_FreeCursor(g_cursor);
  g_cursor = cursor;
}

// Hands one window event to the game thread's queue; an exposed window
// asks for the display to be shown again (*shown is reset).
void DispatchEvent(const SDL_Event& ev, uint64_t* shown) {
  if (ev.type == g_wake_type.load()) {
    g_wake_pending = 0;
    return;
  }
  if (ev.type == SDL_SYSWMEVENT) {
    X11WatchEvent(ev);
    return;
  }
  if (ev.type == SDL_TEXTINPUT) {
    PostUtf8TextOfKey(ev.text.text, g_typing.key, g_typing.repeat);
    g_typing = TypingKeyState{};
    return;
  }
  if (ev.type == SDL_WINDOWEVENT &&
      (ev.window.event == SDL_WINDOWEVENT_EXPOSED || ev.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)) {
    *shown = DisplayChangeSerial() - 1;
    DisplayMarkAllChanged();
    NoteWindowExposed();
    return;
  }
  PlatformMessage m;
  if (!TranslateSdlEvent(&ev, &m, &g_buttons)) return;
  // The pointer over a scaled frame: its window position becomes the
  // frame's pixel it points at.
  if (m.kind == kMsgMouseMove || m.kind == kMsgLeftDown || m.kind == kMsgLeftUp || m.kind == kMsgRightDown ||
      m.kind == kMsgRightUp) {
    const FrameFit fit = PointerFit();
    if (FrameFitScales(fit)) WindowPointInFrame(fit, m.x, m.y, &m.x, &m.y);
  }
  if (m.kind == kMsgKeyDown) g_typing = TypingKeyState{m.key, m.repeat};
  if (m.kind == kMsgKeyUp && m.key == g_typing.key) g_typing = TypingKeyState{};
  if (m.kind == kMsgQuit)
    RequestProgramClose();
  else if (m.kind == kMsgMouseMove)
    PostMouseMoveMerged(m.x, m.y, m.buttons);
  else
    PostGameMessage(&m);
}

// Milliseconds to wait for the next event: until the next timer is due,
// at most `limit`.
int EventTimeout(uint64_t now, uint64_t limit) {
  uint64_t due = NextEventTimerDue();
  if (due == UINT64_MAX) return int(limit);
  return int(std::clamp<uint64_t>(due > now ? due - now : 0, 1, limit));
}

// OpenGL mode: waiting messages first, otherwise one frame and, when it drew
// anything, the swap.
// Frames start at most as often as the display refreshes (60 a second where
// its rate is not known) and no more often than the cap (a renderer that
// draws on the processor); a swap that waits for the vertical blank may hold
// them back further. Between them the loop waits for events.
// Shows the frame just drawn: only its changed rectangle where the GL system
// can copy a part of the back buffer to the window (the back buffer then
// stays as it is, and the frame drew it whole), else the swap.
using CopySubBuffer = void (*)(void*, unsigned long, int, int, int, int);
void ShowGLFrame(CopySubBuffer copy_sub, void* display, unsigned long window) {
  int32_t x, y, w, h;
  TakeGLFrameDamage(&x, &y, &w, &h);
  int ww = 0, wh = 0;
  SDL_GL_GetDrawableSize(g_window, &ww, &wh);
  if (copy_sub && w > 0 && h > 0 && uint64_t(w) * uint64_t(h) < uint64_t(ww) * uint64_t(wh) / 2) {
    copy_sub(display, window, x, wh - y - h, w, h);
    SetGLBackBufferIntact(1);
    g_presented_pixels.fetch_add(uint64_t(w) * uint64_t(h));
  } else {
    SDL_GL_SwapWindow(g_window);
    SetGLBackBufferIntact(0);
    g_whole_presents.fetch_add(1);
    g_presented_pixels.fetch_add(uint64_t(ww) * uint64_t(wh));
  }
  g_presents.fetch_add(1);
}

int RunGLLoop(uint32_t (*frame)()) {
  uint64_t shown = 0, frames = 0;
  // glXCopySubBufferMESA where the window is an X11 one.
  CopySubBuffer copy_sub = nullptr;
  void* x_display = nullptr;
  unsigned long x_window = 0;
  if (X11WindowHandles(g_window, &x_display, &x_window)) {
    // GLX hands out an entry for any name: the extension must be listed.
    using QueryExtensions = const char* (*)(void*, int);
    auto query = reinterpret_cast<QueryExtensions>(SDL_GL_GetProcAddress("glXQueryExtensionsString"));
    const char* extensions = query ? query(x_display, 0) : nullptr;
    if (extensions && std::strstr(extensions, "GLX_MESA_copy_sub_buffer"))
      copy_sub = reinterpret_cast<CopySubBuffer>(SDL_GL_GetProcAddress("glXCopySubBufferMESA"));
  }
  DebugLog("RunGLLoop: %s\n", copy_sub ? "zeigt nur Ge\xE4nderte Teile (glXCopySubBufferMESA)" : "zeigt jedes Bild ganz");
  uint64_t start = NowMs();
  SDL_DisplayMode mode{};
  const int index = SDL_GetWindowDisplayIndex(g_window);
  const uint32_t refresh =
      index >= 0 && SDL_GetCurrentDisplayMode(index, &mode) == 0 && mode.refresh_rate > 0 ? uint32_t(mode.refresh_rate) : 0;
  uint32_t fps = 0;
  for (;;) {
    if (FatalSignalPending()) RunFatalShutdown();
    PollWindowClose();
    if (WindowDestroyRequested()) {
      SetGLWindowSize(0, 0);
      return 0;
    }
    ApplyPendingCursor();
    uint64_t now = NowMs();
    PumpEventTimers(now, 1);
    // Every waiting event first; a steady stream of them (mouse moves,
    // wake-ups) must not hold the frames back, so the frame follows.
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) DispatchEvent(ev, &shown);
    const uint32_t want = GLFramesPerSecond(refresh, GLFrameCap());
    if (want != fps) {
      DebugLog("RunGLLoop: h\xF6" "chstens %u Bilder in der Sekunde\n", want);
      fps = want;
      start = now;
      frames = 0;
    }
    uint64_t next = start + frames * 1000 / fps;
    if (now < next) {
      if (SDL_WaitEventTimeout(&ev, EventTimeout(now, next - now))) DispatchEvent(ev, &shown);
      continue;
    }
    if (now > next + 100) {  // far behind (a long frame): no catching up
      start = now;
      frames = 0;
    }
    // The frame is drawn at the mode's size and scaled to the drawable
    // where that has another size (a full-screen desktop).
    int ww = 0, wh = 0;
    SDL_GL_GetDrawableSize(g_window, &ww, &wh);
    SetGLWindowSize(ww, wh);
    // A frame that drew nothing leaves the window's picture as it is.
    const uint64_t asked = ShownAsked();
    if (frame()) ShowGLFrame(copy_sub, x_display, x_window);
    AnswerShown(asked);
    frames++;
  }
}

int RunLoops() {
  uint32_t (*frame)() = GLFrameHook();
  if (g_gl && frame) return RunGLLoop(frame);
  uint64_t shown = DisplayChangeSerial() - 1;
  for (;;) {
    if (FatalSignalPending()) RunFatalShutdown();
    PollWindowClose();
    if (WindowDestroyRequested()) return 0;
    ApplyPendingCursor();
    uint64_t now = NowMs();
    PumpEventTimers(now, 1);
    const uint64_t asked = ShownAsked();
    uint64_t serial = DisplayChangeSerial();
    if (serial != shown) {
      shown = serial;
      Present();
    }
    AnswerShown(asked);
    SDL_Event ev;
    if (!SDL_WaitEventTimeout(&ev, EventTimeout(now, 50))) continue;
    do {
      DispatchEvent(ev, &shown);
    } while (SDL_PollEvent(&ev));
  }
}

int RunLoop() {
  QoeThread* player = g_has_script ? StartThread("Script", PlayScriptThread, nullptr) : nullptr;
  const int r = RunLoops();
  if (player) {
    if (r != 0) PostWindowDestroy();  // the player stops at its next step
    JoinThread(player);
  }
  return r;
}

// The window becomes an OpenGL window: SDL picks the visual (X11) or the
// config (EGL) from the attributes when the window or the context is made,
// so a 2D window is made anew with the same place, size and flags.
int GLCreate(uint32_t colour_bits, GLContextInfo* info) {
  *info = GLContextInfo{};
  if (!g_window) return kGLNoDeviceContext;
  int channel = colour_bits >= 24 ? 8 : colour_bits >= 15 ? 5 : 3;
  SDL_GL_ResetAttributes();
  SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
  SDL_GL_SetAttribute(SDL_GL_RED_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, channel);
  SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, 1);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
  if (!(SDL_GetWindowFlags(g_window) & SDL_WINDOW_OPENGL)) {
    int x, y, w, h;
    SDL_GetWindowPosition(g_window, &x, &y);
    SDL_GetWindowSize(g_window, &w, &h);
    // Full screen stays the borderless window over the whole desktop: the
    // frame is drawn at the mode's size and scaled to it (glframe.cpp), and
    // the pointer is mapped back (DispatchEvent), as in 2D. The screen's
    // own mode is never switched: a server that cannot switch (a virtual
    // one, most X servers without a window manager) would cut the picture
    // or leave it in a corner.
    const uint32_t flags = SDL_GetWindowFlags(g_window) &
                           (SDL_WINDOW_SHOWN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_HIDDEN);
    DestroyTexture();
    if (g_renderer) SDL_DestroyRenderer(g_renderer);
    g_renderer = nullptr;
    X11WatchWindow(nullptr);
    SDL_DestroyWindow(g_window);
    g_window = SDL_CreateWindow("Quill of Elmor", x, y, w, h, flags | SDL_WINDOW_OPENGL);
    if (!g_window) {
      DebugLog("SDL_CreateWindow: %s", SDL_GetError());
      SDL_GL_ResetAttributes();
      return kGLNoPixelFormat;
    }
    X11WatchWindow(g_window);
    SDL_StartTextInput();
  }
  g_gl = SDL_GL_CreateContext(g_window);
  if (!g_gl) {
    DebugLog("SDL_GL_CreateContext: %s", SDL_GetError());
    return kGLNoRenderContext;
  }
  if (SDL_GL_MakeCurrent(g_window, g_gl) != 0) {
    DebugLog("SDL_GL_MakeCurrent: %s", SDL_GetError());
    SDL_GL_DeleteContext(g_gl);
    g_gl = nullptr;
    return kGLNotCurrent;
  }
  info->vsync = SDL_GL_SetSwapInterval(1) == 0 ? 1 : 0;
  if (!info->vsync) SDL_GL_SetSwapInterval(0);
  SDL_GL_GetAttribute(SDL_GL_RED_SIZE, &info->red_bits);
  SDL_GL_GetAttribute(SDL_GL_GREEN_SIZE, &info->green_bits);
  SDL_GL_GetAttribute(SDL_GL_BLUE_SIZE, &info->blue_bits);
  SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &info->alpha_bits);
  SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &info->depth_bits);
  info->colour_bits = info->red_bits + info->green_bits + info->blue_bits + info->alpha_bits;
  return kGLContextOk;
}

void GLSwap() {
  if (g_window && g_gl) SDL_GL_SwapWindow(g_window);
}

void WaitVblank() {
  // The renderer presents with vertical sync; the game thread only needs to
  // wait for the next refresh period of a 60 Hz display.
  uint64_t now = NowMs();
  uint64_t next = (now / 16 + 1) * 16;
  std::this_thread::sleep_for(std::chrono::milliseconds(next - now));
}

void MessageBox(const char* title, const char* text) {
  std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
  if (g_initialised.load()) SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, g_window);
}

void Minimise() {
  if (g_window) SDL_MinimizeWindow(g_window);
}

const PlatformBackend kSdl = {
    "sdl2", Init, Shutdown, ChooseMode, OpenWindow, CloseWindow, RunLoop, Wake, WaitVblank, NowMs,
    MessageBox, Minimise, SetCursor, GLCreate, GLSwap,
};

}  // namespace

const PlatformBackend* SdlBackend() { return &kSdl; }

void SdlSetScript(const char* script, uint32_t mode_id) {
  g_has_script = script != nullptr;
  g_script = script ? script : "";
  g_script_mode = mode_id;
}
