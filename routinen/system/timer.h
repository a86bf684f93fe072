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
// from the clock: the low word of the current time, modulo 1000.
uint32_t Zufall(uint32_t n);
// Tests: seeds the generator; the clock seed of the first call is skipped.
void ZufallSeed(uint32_t seed);
