// Shared inside the gui library.
#pragma once

struct RastPort;
struct QoeMutex;

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
