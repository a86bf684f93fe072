// The engine benchmarks' baseline timer: seconds per call of a function,
// measured over repeated calls for a given time after one warm-up call.
#pragma once

#include <chrono>
#include <cstdint>

template <typename F>
double SecondsPerCall(F fn, int milliseconds) {
  using Clock = std::chrono::steady_clock;
  fn();
  uint64_t n = 0;
  const auto start = Clock::now();
  auto now = start;
  do {
    fn();
    n++;
    now = Clock::now();
  } while (now - start < std::chrono::milliseconds(milliseconds));
  return std::chrono::duration<double>(now - start).count() / double(n);
}
