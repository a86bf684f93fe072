// Time, waiting and random numbers.
#pragma once
#include <sys/time.h>  // timeval: signed seconds and microseconds

#include <cstdint>

// Fills tv from the system's monotonic clock (for intervals and due times).
void GetSysTime(timeval* tv);
// a += b and a -= b, leaving 0 <= tv_usec < 1,000,000; null is ignored.
void AddTime(timeval* a, const timeval* b);
void SubTime(timeval* a, const timeval* b);
// -1 when a is later than b, 1 when a is earlier, 0 when equal; a null
// pointer is logged and gives 0.
int32_t CmpTime(const timeval* a, const timeval* b);
// Sleeps the calling thread ticks x 20 ms (Delay(50) is one second).
void Delay(int32_t ticks);
// A random whole number from 0 to n inclusive (generator value modulo n + 1;
// n = 0xFFFFFFFF gives the value itself). The first call seeds the generator
// from the clock: the low word of the current time, modulo 1000; on the
// headless virtual clock with kZufallHeadlessSeed, so a scripted run draws
// the same numbers every time.
uint32_t Zufall(uint32_t n);
constexpr uint32_t kZufallHeadlessSeed = 1;
// Tests: seeds the generator; the clock seed of the first call is skipped.
void ZufallSeed(uint32_t seed);

// A generator of its own, the same kind as Zufall's, for a helper thread
// that draws from random numbers: the shared one's sequence would depend on
// how the threads happen to take turns. Seeded by its owner (from Zufall on
// the game thread, so a scripted run repeats); one thread draws from it.
struct ZufallStream {
  uint64_t state;
};
void ZufallStreamSeed(ZufallStream* stream, uint32_t seed);
// 0..n from the stream (Zufall's when stream is null).
uint32_t ZufallFrom(ZufallStream* stream, uint32_t n);
