// A real OpenGL context for the frame tests: the SDL backend on its offscreen
// video driver (EGL on Mesa's software renderer), an 800 x 600 window, the
// display surfaces and the object list.
#pragma once
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/screenmode.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_window_parts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

namespace gltest {

void KeepGLDriversLoaded();

// Opens the window for a ScreenModeTable row and makes its GL context;
// false (with the reason in the log) when that fails.
inline bool OpenGLWindow(uint32_t mode_id) {
  KeepGLDriversLoaded();
  ResetGameMessages();
  return OpenGLWindowParts(mode_id, 0);
}

inline void CloseGLWindow() {
  CloseGLWindowParts();
  ResetGameMessages();
  DebugLogSetStderr(1);
}

// The back buffer as 0x00RRGGBB words, top row first.
inline std::vector<uint32_t> ReadFrame(uint32_t w, uint32_t h) {
  std::vector<uint8_t> raw(size_t(w) * h * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, GLsizei(w), GLsizei(h), GL_RGBA, GL_UNSIGNED_BYTE, raw.data());
  std::vector<uint32_t> out(size_t(w) * h);
  for (uint32_t y = 0; y < h; y++)
    for (uint32_t x = 0; x < w; x++) {
      const uint8_t* p = &raw[(size_t(h - 1 - y) * w + x) * 4];
      out[size_t(y) * w + x] = (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
  return out;
}

// Writes an RGBA pixel of a 32-bit RGBA bitmap.
inline void PutRGBA(BitMap* bm, uint32_t x, uint32_t y, uint32_t rgb, uint8_t alpha = 255) {
  uint8_t* p = bm->Pixels + size_t(y) * bm->BytesPerRow + size_t(x) * 4;
  p[0] = uint8_t(rgb >> 16);
  p[1] = uint8_t(rgb >> 8);
  p[2] = uint8_t(rgb);
  p[3] = alpha;
}

inline void FillRGBA(BitMap* bm, uint32_t x0, uint32_t y0, uint32_t w, uint32_t h, uint32_t rgb) {
  for (uint32_t y = y0; y < y0 + h; y++)
    for (uint32_t x = x0; x < x0 + w; x++) PutRGBA(bm, x, y, rgb);
}

// A pattern no two neighbours share: catches shifts, flips and swaps.
inline uint32_t Pattern(uint32_t x, uint32_t y) {
  return ((x * 7 + y * 13) & 0xFF) << 16 | ((x * 3) & 0xFF) << 8 | ((y * 5 + x) & 0xFF);
}

// The engine's stores on a real context: the window and its context, fresh
// defaults with the capacities a test sets in Capacities, and the log lines
// written during the test.
class EngineGL : public testing::Test {
 protected:
  virtual void Capacities(EngineRecord* e) {}
  void SetUp() override {
    ASSERT_TRUE(OpenGLWindow(6)) << "no GL context on the offscreen driver";
    FreeAllThings();
    InitEngineDefaults();
    Capacities(Engine());
    ASSERT_EQ(RegisterEngineThings(), 1u);
    DebugLogSetHook([](const char* line, void* user) { static_cast<EngineGL*>(user)->log_.push_back(line); }, this);
  }
  void TearDown() override {
    DebugLogSetHook(nullptr, nullptr);
    FreeSceneCommands();
    FreeAllThings();
    CloseGLWindow();
  }
  bool Logged(const std::string& text) const {
    for (const std::string& l : log_)
      if (l.find(text) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> log_;
};

}  // namespace gltest
