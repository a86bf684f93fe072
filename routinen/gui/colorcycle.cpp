// Colour cycling of 8-bit screens: each range changes one palette entry
// through the colours of its key pens, one step every `speed` x 20 ms of the
// platform clock.
#include <cstring>

#include "pictures.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/threads.h"
#include "routinen/system/memory.h"

namespace {

constexpr uint32_t kMaxKeys = 32;

struct CycleRange {
  uint8_t length, speed, phase, counter;
  uint8_t target;
  uint8_t keys;
  uint8_t frame[kMaxKeys];
  uint8_t rgb[kMaxKeys][3];  // the key pens' colours when cycling started
  uint8_t saved[3];          // the target's colour, put back at the end
  int32_t shown;             // key shown last, -1 none
};

void SetEntry(uint8_t pen, const uint8_t rgb[3]) {
  uint8_t table[4 + 12 + 4] = {};
  uint16_t count = 1, first = pen;
  std::memcpy(table, &count, 2);
  std::memcpy(table + 2, &first, 2);
  for (int k = 0; k < 3; ++k) {
    uint32_t v = (uint32_t)rgb[k] << 24;
    std::memcpy(table + 4 + 4 * k, &v, 4);
  }
  LoadRGB32(nullptr, table);
}

void Step(CycleRange& r) {
  if (++r.counter < r.speed) return;
  r.counter = 0;
  r.phase = (uint8_t)((r.phase + 1) % r.length);
  int32_t key = r.keys - 1;  // before the first key frame the last key holds
  for (uint32_t k = 0; k < r.keys; ++k)
    if (r.frame[k] <= r.phase) key = (int32_t)k;
  if (key != r.shown) {
    r.shown = key;
    SetEntry(r.target, r.rgb[key]);
  }
}

}  // namespace

struct ColorCycle {
  ThreadFlags flags;
  QoeThread* thread;
  uint32_t count;
  CycleRange* ranges;
};

namespace {

// A clock thread: its steps follow the platform clock (a headless run's
// virtual one), and the quit cuts its sleep short.
int CycleThread(void* arg) {
  ColorCycle* cc = static_cast<ColorCycle*>(arg);
  while (!cc->flags.quit.load()) {
    if (!SleepPlatformMs(20, &cc->flags.quit)) break;
    for (uint32_t i = 0; i < cc->count; ++i) Step(cc->ranges[i]);
  }
  EndClockThread();
  cc->flags.finished.store(1);
  return 0;
}

}  // namespace

ColorCycle* InitColorCycle(uint32_t count, uint32_t size, const uint8_t* table) {
  if (DisplayDepth() != 8 || !table || count == 0 || size < 6) return nullptr;
  if ((uint64_t)count * sizeof(CycleRange) > 0xFFFFFFFFu) return nullptr;
  ColorCycle* cc = new ColorCycle();
  cc->ranges = static_cast<CycleRange*>(AllocVec(count * (uint32_t)sizeof(CycleRange), MEMF_CLEAR));
  if (!cc->ranges) {
    delete cc;
    return nullptr;
  }
  const PaletteCopy* pal = ScreenPalette();
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* b = table + (size_t)i * size;
    CycleRange r{};
    r.length = b[0];
    r.speed = b[1] ? b[1] : 1;
    r.phase = b[3];
    r.shown = -1;
    for (uint32_t p = 4; p + 1 < size && b[p] != 255 && r.keys < kMaxKeys; p += 2) {
      r.frame[r.keys] = b[p];
      const PaletteColor& c = pal->Colors[b[p + 1]];
      r.rgb[r.keys][0] = c.Red;
      r.rgb[r.keys][1] = c.Green;
      r.rgb[r.keys][2] = c.Blue;
      if (r.keys == 0) r.target = b[p + 1];
      ++r.keys;
    }
    if (r.length == 0 || r.keys == 0) continue;  // an empty range does nothing
    r.phase %= r.length;
    const PaletteColor& t = pal->Colors[r.target];
    r.saved[0] = t.Red;
    r.saved[1] = t.Green;
    r.saved[2] = t.Blue;
    cc->ranges[cc->count++] = r;
  }
  if (cc->count > 0) BeginClockThread();
  if (cc->count == 0 || !(cc->thread = StartThread("ColorCycle", CycleThread, cc))) {
    if (cc->count > 0) EndClockThread();
    FreeVec(cc->ranges);
    delete cc;
    return nullptr;
  }
  return cc;
}

void StopColorCycle(ColorCycle* cc) {
  if (!cc) return;
  cc->flags.quit.store(1);
  WakeClockThreads();
  StopThreadByFlag(cc->thread, &cc->flags, 5000);
  for (uint32_t i = cc->count; i-- > 0;) SetEntry(cc->ranges[i].target, cc->ranges[i].saved);
  FreeVec(cc->ranges);
  delete cc;
}
