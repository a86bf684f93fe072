// The stand-in rain thread. See rain.h.
#include "rain.h"

#include <new>

#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/system/memory.h"

namespace {

// Whether (x, y) lies in one of the rectangles of the list.
bool Excluded(const uint16_t* list, int32_t x, int32_t y, uint32_t* reads) {
  if (!list) return false;
  for (uint32_t i = 0; i < 64 && list[i * 4] != kRainListEnd; ++i) {
    const uint16_t* r = list + i * 4;
    ++*reads;
    if (x >= r[0] && x <= r[2] && y >= r[1] && y <= r[3]) return true;
  }
  return false;
}

int RainThread(void* arg) {
  auto* rain = static_cast<RainControl*>(arg);
  uint32_t counter = 50, reads = 0;
  while (counter < rain->duration) {
    SleepMs(2);
    // One look at the list a frame, as the drops would take it.
    const uint16_t* list = rain->rects.load(std::memory_order_acquire);
    Excluded(list, static_cast<int32_t>(counter * 13 % 640), static_cast<int32_t>(counter * 7 % 480), &reads);
    rain->listReads.store(reads, std::memory_order_relaxed);
    rain->frames.fetch_add(1, std::memory_order_relaxed);
    if (rain->quit.load() && counter + 9 < rain->duration) {
      counter = rain->duration - 10u;
      rain->quit.store(0);
    }
    ++counter;
  }
  rain->finished.store(1);
  return 0;
}

}  // namespace

RainControl* StartTheRain(uint16_t duration, const uint16_t* rects) {
  void* block = AllocVec(sizeof(RainControl), MEMF_PUBLIC | MEMF_CLEAR);
  if (!block) {
    DebugLog("StartTheRain : Konnte Speicher nicht allokieren\n");
    return nullptr;
  }
  auto* rain = new (block) RainControl;
  rain->duration = duration;
  rain->rects.store(rects, std::memory_order_release);
  rain->thread = StartThread("Rain", RainThread, rain);
  if (!rain->thread) {
    DebugLog("StartTheRain : Konnte RainProzess nicht anlegen...\n");
    rain->~RainControl();
    FreeVec(block);
    return nullptr;
  }
  return rain;
}

void StopTheRain(RainControl* rain) {
  if (!rain) return;
  rain->quit.store(1);
  while (!rain->finished.load()) SleepMs(10);
  JoinThread(rain->thread);
  rain->~RainControl();
  FreeVec(rain);
}

int32_t IsRainRunning(const RainControl* rain) { return rain && !rain->finished.load() ? 1 : 0; }

void SetRainExclusion(RainControl* rain, const uint16_t* rects) {
  if (rain) rain->rects.store(rects, std::memory_order_release);
}
