// Shared inside the gui library.
#pragma once

#include <cstdint>

struct BitMap;
struct RastPort;
struct QoeMutex;

// The body of OpenElmorPic for both renderers; gl: the OpenGL variant (the
// screen bitmap goes into the 3D engine's object list; returns 1).
int32_t OpenScreenPicture(const char* index_path, uint32_t id, uint32_t flags, bool gl);
// OpenGL mode, through the hooks the 3D engine registered: makes or reuses
// the screen's object entry (1, or 0 without an engine), and unlinks it
// before the screen bitmap goes (nothing without one).
int OpenGLScreenObjekt(BitMap* bitmap, RastPort* rastport);
void CloseGLScreenObjekt();

// Holds the display mutex while the game thread draws into the screen's
// back surface, so the transition thread never copies a half-drawn area.
// Does nothing for RastPorts of other bitmaps.
class ScreenDrawLock {
 public:
  explicit ScreenDrawLock(const RastPort* rp);
  ~ScreenDrawLock();
  ScreenDrawLock(const ScreenDrawLock&) = delete;
  ScreenDrawLock& operator=(const ScreenDrawLock&) = delete;

 private:
  QoeMutex* mutex_;
};
