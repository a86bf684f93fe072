// The GL benchmarks' window: 800 x 600 on the SDL offscreen driver with
// Mesa's software renderer and its GL context, opened once per program
// whichever benchmark asks first.
#pragma once
#include <stdlib.h>

#include "platform/backend.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/screenmode.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

inline bool OpenBenchWindow() {
  static const bool ok = [] {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    DebugLogSetStderr(0);
    SelectPlatformBackend(SdlBackend());
    DisplayModeChoice mode;
    DisplayModeFromId(6, &mode);
    if (!SdlBackend()->init() || !OpenMainWindow(&mode) || !InitializeDirectDraw(800, 600, 32)) return false;
    FillDisplayRecord();
    return InitGLObjektList() && CreateGLContext(2, 800, 600, 32);
  }();
  return ok;
}
