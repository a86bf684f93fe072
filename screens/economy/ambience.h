// What every economy screen does on its game ticks: the ambient-sound
// counter and the rain driver (the weather's chance, the interval counter,
// sound 93 while it rains, the exclusion list switched around boxes).
#pragma once
#include <cstdint>

struct RainControl;

// The end mark of a rain exclusion list (u16 left, top, right, bottom each).
constexpr uint16_t kRainListEnd = 0xFFFF;

// The random source: Zufall (0..n inclusive) unless a test scripts it.
using RandomFunc = uint32_t (*)(uint32_t n);

// Counts ticks to a limit: first `first`, after that (random(5) + 1) x step.
struct AmbientCounter {
  uint32_t ticks;
  uint32_t limit;
  uint32_t step;
  RandomFunc random;  // null: Zufall
};
// Sets every field (the random source to Zufall; a test hands in its own
// after this call) and reads none, so a record fresh off the stack is fine.
void InitAmbientCounter(AmbientCounter* counter, uint32_t first, uint32_t step);
// One tick: 1 when the limit was reached (the counter starts again with a
// new limit), else 0.
int32_t AmbientCounterTick(AmbientCounter* counter);

enum : uint32_t { kRainSound = 93 };

// The rain chance in percent by the turn's weather 0..6 (1, 1, 2, 5, 10, 15,
// 20); a weather beyond 6 counts as 6.
uint32_t RainChance(uint32_t weather);

struct RainDriver {
  AmbientCounter counter;  // first 100, then (random(5) + 1) x 80 ticks
  uint32_t weather;
  const uint16_t* baseList;  // the screen's rectangles kept dry
  RainControl* rain;         // the running or finished rain, null none
  uint32_t sound;            // 1 while sound 93 loops
};
// A driver for the weather with its base exclusion list (which must stay
// valid until RainDriverStop). Sets every field and reads none; the random
// source is Zufall (a test sets counter.random after this call).
void InitRainDriver(RainDriver* driver, uint32_t weather, const uint16_t* base_list);
// One tick while no screen transition runs. When no rain runs: a finished
// rain is ended (sound 93 stopped, StopTheRain); the counter counts, and at
// its limit the chance is rolled: chance >= random(100) + 1 starts a rain of
// random(chance x 100) + 100 frames with the base list and sound 93 looping.
// Returns 1 when a rain started.
int32_t RainDriverTick(RainDriver* driver);
// Before a box: the rain keeps out of list (which stays valid until
// RainDriverStop); null switches back to the base list.
void RainDriverBox(RainDriver* driver, const uint16_t* list);
// Leaving the screen: sound 93 stopped and the rain stopped.
void RainDriverStop(RainDriver* driver);
