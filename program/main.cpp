// Program entry: the display-mode choice, the window, the start-up sequence,
// the game thread and the window thread's loop, then the orderly shut-down.
// This first thread is the window thread.
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>

#include "platform/backend.h"
#include "platform/close.h"
#include "platform/drawntext.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/fatal.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/plainfile.h"
#include "platform/screenmode.h"
#include "platform/sdl_backend.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/gui/census.h"
#include "screens.h"
#include "screens/hub/recovery.h"
#include "routinen/system/catalog.h"
#include "routinen/system/shell.h"
#include "platform/threads.h"

namespace {

// The message of a named display that could not be opened.
constexpr uint32_t kDisplayNotOpenedText = 1666;

std::string ReadScript(const char* path) {
  std::string text;
  if (FILE* f = OpenPlainStream(path, "rb", true)) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  } else {
    DebugLog("main: Konnte Skript %s nicht lesen", path);
  }
  return text;
}

// QOE_DRAWN_TEXTS (scripted runs) names a file that receives every text the
// program shows, once each, ended by a NUL byte; the content of an input
// field the player types in starts with the byte 1. The tests check that
// the player reads nothing that passed the catalog by.
struct DrawnTextFile {
  std::mutex lock;  // any drawing thread
  std::set<std::string> seen;
  FILE* file = nullptr;
};

void WriteDrawnText(const char* text, uint32_t kind, void* context) {
  auto* out = static_cast<DrawnTextFile*>(context);
  const std::string entry = (kind == DRAWN_TYPED ? std::string("\x01") : std::string()) + text;
  std::lock_guard<std::mutex> hold(out->lock);
  if (!out->seen.insert(entry).second) return;
  std::fwrite(entry.c_str(), 1, entry.size() + 1, out->file);
  std::fflush(out->file);
}

void WatchDrawnTexts() {
  static DrawnTextFile out;
  const char* name = std::getenv("QOE_DRAWN_TEXTS");
  if (!name || !*name || out.file) return;
  out.file = OpenPlainStream(name, "wb", true);
  if (out.file) SetDrawnTextHook(WriteDrawnText, &out);
  else DebugLog("main: Konnte %s nicht anlegen\n", name);
}

// Scripted runs, for CI and the screen tests: QOE_HEADLESS_SCRIPT names a
// script file the program plays without a window; QOE_SDL_SCRIPT one it plays
// in real time beside the SDL window. QOE_HEADLESS_MODE picks the
// ScreenModeTable row, QOE_START_SCREEN the screen that takes the title's
// place, QOE_PIN_SCREEN=1 keeps the run on it (the screens' random walks).
const PlatformBackend* PickBackend() {
  const char* headless = std::getenv("QOE_HEADLESS_SCRIPT");
  const char* sdl = std::getenv("QOE_SDL_SCRIPT");
  const bool scripted_headless = headless && *headless, scripted_sdl = sdl && *sdl;
  if (!scripted_headless && !scripted_sdl) return SdlBackend();
  if (const char* start = std::getenv("QOE_START_SCREEN")) SetStartScreenCode(std::atoi(start));
  if (const char* pin = std::getenv("QOE_PIN_SCREEN")) SetStartScreenPinned(std::atoi(pin));
  SetGadgetCensus(1);
  WatchDrawnTexts();
  const char* mode = std::getenv("QOE_HEADLESS_MODE");
  const bool has_mode = mode && *mode;
  const uint32_t mode_id = has_mode ? static_cast<uint32_t>(std::atoi(mode)) : kScreenModeDefault;
  if (!scripted_headless) {
    SdlSetScript(ReadScript(sdl).c_str(), has_mode ? mode_id : kScreenModeCount);
    return SdlBackend();
  }
  HeadlessSetScript(ReadScript(headless).c_str());
  HeadlessSetMode(mode_id);
  return HeadlessBackend();
}

void EndBackend(const PlatformBackend* b) {
  FreeGLObjektList();
  ShutdownDisplay();
  CloseMainWindow();
  b->shutdown();
  SelectPlatformBackend(nullptr);
}

}  // namespace

int main() {
  const PlatformBackend* backend = PickBackend();
  SelectPlatformBackend(backend);
  if (!backend->init()) {
    const char* unopened = backend == SdlBackend() ? SdlUnopenedDisplay() : "";
    if (*unopened) {
      // The text names the display at its first "%s" (a catalog text is no format).
      std::string text = GetCatalogStr(kDisplayNotOpenedText);
      const size_t at = text.find("%s");
      if (at != std::string::npos) text = text.substr(0, at) + unopened + text.substr(at + 2);
      std::fprintf(stderr, "%s\n  xvfb-run -a -s '-screen 0 1024x768x24' scripts/start.sh\n", text.c_str());
    } else {
      std::fprintf(stderr,
                   "Quill of Elmor: no display available. Start it on a desktop, or under a virtual display:\n"
                   "  xvfb-run -a -s '-screen 0 1024x768x24' scripts/start.sh\n");
    }
    return 1;
  }
  // SIGTERM and SIGINT close the game in order, in every backend.
  InstallCloseSignalHandlers();
  InstallProgramScreens();
  // What a kill or a failure of the last run left half done is finished
  // before anything else writes (the mode prefs, SetupSystem, MarkRunning).
  if (int32_t left = RecoverAtStart()) DebugLog("main: %d Reparatur(en) beim Start bleiben offen\n", left);
  InstallScreenModePrefs();
  DisplayModeChoice mode;
  if (!ScreenModus(&mode)) {
    EndBackend(backend);
    return 0;
  }
  // OpenGL mode: the screen semaphore and the object list come first.
  const bool want_gl = mode.chosen_renderer == 1 && InitGLObjektList();
  if (!OpenMainWindow(&mode)) {
    DebugLog("main: Konnte das Fenster nicht oeffnen\n");
    ShowStartFailure(START_FAILURE_WINDOW);
    EndBackend(backend);
    return 1;
  }
  InstallFatalSignalHandlers(ShutdownSystem);
  if (!OpenLibraries() || !CheckSystem() || !SetupSystem()) {
    ShutdownSystem();
    EndBackend(backend);
    return 1;
  }
  DisplaySetRenderer(0);
  if (!InitializeDirectDraw(mode.width, mode.height, mode.depth)) {
    DebugLog("main: InitializeDirectDraw fehlgeschlagen\n");
    ShowStartFailure(START_FAILURE_DISPLAY);
    ShutdownSystem();
    EndBackend(backend);
    return 1;
  }
  if (want_gl) {
    // The context is made before the game thread starts; without one the
    // game runs on the 2D renderer in a new plain window.
    if (CreateGLContext(2, mode.width, mode.height, mode.depth)) {
      DisplaySetRenderer(1);
      // The 3D engine and its scene, on this thread while no game runs yet;
      // it waits for nothing (a first start has no map at all).
      StartEngine();
    } else {
      DebugLog("main: Kein OpenGL, es laeuft die 2D-Darstellung\n");
      FreeGLObjektList();
      mode.chosen_renderer = 0;
      if (!OpenMainWindow(&mode)) {
        DebugLog("main: Konnte das Fenster nicht oeffnen\n");
        ShowStartFailure(START_FAILURE_WINDOW);
        ShutdownSystem();
        EndBackend(backend);
        return 1;
      }
    }
  }
  if (!InitializeDirectSound()) DebugLog("main: Kein Sound");
  QoeThread* game = StartThread("Game", Main, nullptr);
  if (!game) {
    ShutdownSystem();
    EndBackend(backend);
    return 1;
  }
  if (RunWindowLoop() != 0) {
    // The game thread did not end: shut down around it.
    ShutdownSystem();
    std::fflush(nullptr);
    std::_Exit(1);
  }
  // The game thread posted the destroy request as its last act.
  int code = JoinThread(game);
  FreeGLObjektList();  // its textures go while the context still exists
  ShutdownSystem();
  RemoveFatalSignalHandlers();
  RemoveCloseSignalHandlers();
  EndBackend(backend);
  return code;
}
