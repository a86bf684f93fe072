// The window and GL context of the GL tests and benchmarks: the SDL backend
// on its offscreen video driver (EGL on Mesa's software renderer), the
// display surfaces and the object list, opened and closed in one order.
#pragma once
#include <stdlib.h>

#include "platform/backend.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/screenmode.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

namespace gltest {

// Closes what OpenGLWindowParts opened; harmless when nothing is open.
inline void CloseGLWindowParts() {
  FreeGLObjektList();
  DisplaySetRenderer(0);
  CloseScreenRastPort();
  ShutdownDisplay();
  CloseMainWindow();
  if (const PlatformBackend* b = CurrentPlatformBackend()) b->shutdown();
  SelectPlatformBackend(nullptr);
}

// Opens the window for a ScreenModeTable row at the given depth (0: the
// row's own) and makes its GL context with the renderer switched to GL.
inline bool OpenGLWindowParts(uint32_t mode_id, uint32_t depth) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
  DebugLogSetStderr(0);
  const PlatformBackend* b = SdlBackend();
  SelectPlatformBackend(b);
  if (!b->init()) return false;
  DisplayModeChoice mode;
  DisplayModeFromId(mode_id, &mode);
  if (!depth) depth = mode.depth;
  if (!OpenMainWindow(&mode) || !InitializeDirectDraw(mode.width, mode.height, depth)) return false;
  FillDisplayRecord();
  if (!InitGLObjektList() || !CreateGLContext(2, mode.width, mode.height, depth)) return false;
  DisplaySetRenderer(1);
  FillDisplayRecord();
  return true;
}

}  // namespace gltest
