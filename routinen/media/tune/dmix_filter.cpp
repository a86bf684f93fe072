// Output filter: a light (2-tap) or heavy (3-tap) low-pass average over the
// mixed buffer, run as the mixer's post-processor. Its memory holds the last
// unfiltered inputs of each side so pieces join without a seam.
#include <cstdint>

#include "dmix.h"

namespace {

// The filter's memory lives in the mixer's state record (dmix.h).
auto& Memory() { return DmixMixer().filter; }

// 0 off, 1 light, 2 heavy.
int FilterMode() {
  intptr_t m = TuneOption(TUNE_OPT_FILTER);
  if (m == 3) return Memory().autoLight ? 1 : 0;
  if (m == 1 || m == 2) return (int)m;
  return 0;
}

// One loop per mode and side count, the memory in locals while it runs; the
// sums are the same, term for term, as the one-value rule.
template <int Mode, int Sides>
void FloatLoop(float* b, uint32_t frames, float (&mem)[2][2]) {
  float x1[Sides], x2[Sides];
  for (int s = 0; s < Sides; s++) x1[s] = mem[s][0], x2[s] = mem[s][1];
  for (uint32_t n = 0; n < frames; n++)
    for (int s = 0; s < Sides; s++) {
      float& x = b[n * Sides + s];
      const float x0 = x;
      x = Mode == 1 ? (2.0f * x0 + x1[s]) * 0.33333334f : (4.0f * x0 + 3.0f * x1[s] + x2[s]) * 0.125f;
      x2[s] = x1[s];
      x1[s] = x0;
    }
  for (int s = 0; s < Sides; s++) mem[s][0] = x1[s], mem[s][1] = x2[s];
}

template <int Mode, int Sides>
void IntLoop(int32_t* b, uint32_t frames, int32_t (&mem)[2][2]) {
  int64_t x1[Sides], x2[Sides];
  for (int s = 0; s < Sides; s++) x1[s] = mem[s][0], x2[s] = mem[s][1];
  for (uint32_t n = 0; n < frames; n++)
    for (int s = 0; s < Sides; s++) {
      int32_t& x = b[n * Sides + s];
      const int64_t x0 = x;
      int64_t y;
      if (Mode == 1) {
        const int64_t t = 2 * x0 + x1[s];
        y = (t >> 2) + (t >> 3) - (t >> 5);
      } else {
        y = (4 * x0 + 3 * x1[s] + x2[s]) >> 3;
      }
      x = (int32_t)(y < INT32_MIN ? INT32_MIN : y > INT32_MAX ? INT32_MAX : y);
      x2[s] = x1[s];
      x1[s] = x0;
    }
  for (int s = 0; s < Sides; s++) mem[s][0] = (int32_t)x1[s], mem[s][1] = (int32_t)x2[s];
}

// The filter as it was, one value at a time with the mode tested at each
// (benchmarks: the render as it was).
void FloatRunPlain(float* b, uint32_t frames, int sides) {
  const int mode = FilterMode();
  if (!mode) return;
  auto& mem = Memory();
  for (uint32_t n = 0; n < frames; n++)
    for (int s = 0; s < sides; s++) {
      float& x = b[n * sides + s];
      const float x0 = x, x1 = mem.fmem[s][0], x2 = mem.fmem[s][1];
      x = mode == 1 ? (2.0f * x0 + x1) * 0.33333334f : (4.0f * x0 + 3.0f * x1 + x2) * 0.125f;
      mem.fmem[s][1] = x1;
      mem.fmem[s][0] = x0;
    }
}

void IntRunPlain(int32_t* b, uint32_t frames, int sides) {
  const int mode = FilterMode();
  if (!mode) return;
  auto& mem = Memory();
  for (uint32_t n = 0; n < frames; n++)
    for (int s = 0; s < sides; s++) {
      int32_t& x = b[n * sides + s];
      const int64_t x0 = x, x1 = mem.imem[s][0], x2 = mem.imem[s][1];
      int64_t y;
      if (mode == 1) {
        const int64_t t = 2 * x0 + x1;
        y = (t >> 2) + (t >> 3) - (t >> 5);
      } else {
        y = (4 * x0 + 3 * x1 + x2) >> 3;
      }
      x = (int32_t)(y < INT32_MIN ? INT32_MIN : y > INT32_MAX ? INT32_MAX : y);
      mem.imem[s][1] = (int32_t)x1;
      mem.imem[s][0] = (int32_t)x0;
    }
}

void FloatRun(float* b, uint32_t frames, int sides) {
  if (DmixMixer().plainLoops) return FloatRunPlain(b, frames, sides);
  auto& m = Memory().fmem;
  switch (FilterMode() * 2 + (sides == 2 ? 1 : 0)) {
    case 2: FloatLoop<1, 1>(b, frames, m); break;
    case 3: FloatLoop<1, 2>(b, frames, m); break;
    case 4: FloatLoop<2, 1>(b, frames, m); break;
    case 5: FloatLoop<2, 2>(b, frames, m); break;
    default: break;
  }
}

void IntRun(int32_t* b, uint32_t frames, int sides) {
  if (DmixMixer().plainLoops) return IntRunPlain(b, frames, sides);
  auto& m = Memory().imem;
  switch (FilterMode() * 2 + (sides == 2 ? 1 : 0)) {
    case 2: IntLoop<1, 1>(b, frames, m); break;
    case 3: IntLoop<1, 2>(b, frames, m); break;
    case 4: IntLoop<2, 1>(b, frames, m); break;
    case 5: IntLoop<2, 2>(b, frames, m); break;
    default: break;
  }
}

void FloatMono(float* b, uint32_t n, void*) { FloatRun(b, n, 1); }
void FloatStereo(float* b, uint32_t n, void*) { FloatRun(b, n, 2); }
void IntMono(int32_t* b, uint32_t n, void*) { IntRun(b, n, 1); }
void IntStereo(int32_t* b, uint32_t n, void*) { IntRun(b, n, 2); }

}  // namespace

PostProcessor OutputFilterNode = {nullptr, nullptr, nullptr, FloatMono, FloatStereo, IntMono, IntStereo};

void OutputFilterReset(int32_t autoLight) {
  auto& mem = Memory();
  mem.autoLight = autoLight;
  for (int s = 0; s < 2; s++) {
    mem.fmem[s][0] = mem.fmem[s][1] = 0.0f;
    mem.imem[s][0] = mem.imem[s][1] = 0;
  }
}
