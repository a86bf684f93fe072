// Program entry: the display-mode choice, the window, the start-up sequence,
// the game thread and the window thread's loop, then the orderly shut-down.
// This first thread is the window thread.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/backend.h"
#include "platform/close.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/fatal.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/screenmode.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "screens.h"
#include "screens/hub/recovery.h"
#include "routinen/system/shell.h"
#include "platform/threads.h"

namespace {

// QOE_HEADLESS_SCRIPT names a headless script file: the program then runs
// without a window, fed by that script (for CI and screen tests);
// QOE_HEADLESS_MODE picks the ScreenModeTable row.
const PlatformBackend* PickBackend() {
  const char* script = std::getenv("QOE_HEADLESS_SCRIPT");
  if (!script || !*script) return SdlBackend();
  std::string text;
  if (FILE* f = std::fopen(script, "rb")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  } else {
    DebugLog("main: Konnte Skript %s nicht lesen", script);
  }
  HeadlessSetScript(text.c_str());
  // The screen the run starts at instead of the title (the close table).
  if (const char* start = std::getenv("QOE_START_SCREEN")) SetStartScreenCode(std::atoi(start));
  const char* mode = std::getenv("QOE_HEADLESS_MODE");
  HeadlessSetMode(mode && *mode ? static_cast<uint32_t>(std::atoi(mode)) : kScreenModeDefault);
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
    std::fprintf(stderr,
                 "Quill of Elmor: no display available. Start it on a desktop, or under a virtual display:\n"
                 "  xvfb-run -a -s '-screen 0 1024x768x24' scripts/start.sh\n");
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
    ShowMessageBox("Fatal Error", "Konnte das Fenster nicht oeffnen.");
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
    ShowMessageBox("Fatal Error", "InitializeDirectDraw fehlgeschlagen.");
    ShutdownSystem();
    EndBackend(backend);
    return 1;
  }
  if (want_gl) {
    // The context is made before the game thread starts; without one the
    // game runs on the 2D renderer in a new plain window.
    if (CreateGLContext(2, mode.width, mode.height, mode.depth)) {
      DisplaySetRenderer(1);
    } else {
      DebugLog("main: Kein OpenGL, es laeuft die 2D-Darstellung\n");
      FreeGLObjektList();
      mode.chosen_renderer = 0;
      if (!OpenMainWindow(&mode)) {
        ShowMessageBox("Fatal Error", "Konnte das Fenster nicht oeffnen.");
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
