// The rain over an economy screen: StartTheRain, IsRainRunning, StopTheRain
// with a list of rectangles the drops keep out of (u16 left, top, right,
// bottom each; ended by a left of 0xFFFF).
//
// Stand-in until the map's rain thread exists: the same calls run a worker
// thread that counts the frames and reads the exclusion list every frame,
// but draws nothing. docs/economy.md says how the real thread replaces it.
#pragma once
#include <atomic>
#include <cstdint>

struct QoeThread;

constexpr uint16_t kRainListEnd = 0xFFFF;

struct RainControl {
  std::atomic<uint16_t> quit{0};      // set by StopTheRain
  std::atomic<uint16_t> finished{0};  // set by the thread as its last act
  uint16_t duration = 0;              // frames
  // The rectangles kept dry. The game thread switches the list with one
  // store (SetRainExclusion); the thread loads it once per frame. Every list
  // handed over stays valid until StopTheRain returned.
  std::atomic<const uint16_t*> rects{nullptr};
  std::atomic<uint32_t> frames{0};    // frames run so far
  std::atomic<uint32_t> listReads{0}; // rectangles looked at (tests)
  QoeThread* thread = nullptr;
};

// Starts the rain for duration frames (2 ms each); null (logged) when the
// block or the thread cannot be made.
RainControl* StartTheRain(uint16_t duration, const uint16_t* rects);
// Ends the rain within nine frames, waits for the thread, frees the block;
// null is ignored.
void StopTheRain(RainControl* rain);
// 1 while the thread has not finished, 0 when it has or for null.
int32_t IsRainRunning(const RainControl* rain);
// Switches the rectangles kept dry (one atomic store); null is ignored.
void SetRainExclusion(RainControl* rain, const uint16_t* rects);
