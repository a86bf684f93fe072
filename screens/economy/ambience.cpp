// The ambient-sound counter and the rain driver. See ambience.h.
#include "ambience.h"

#include "routinen/media/sound.h"
#include "routinen/system/timer.h"
#include "routinen/map/map.h"

namespace {
uint32_t Draw(RandomFunc random, uint32_t n) { return random ? random(n) : Zufall(n); }
}  // namespace

void InitAmbientCounter(AmbientCounter* c, uint32_t first, uint32_t step) {
  // Every field is set and none is read: a record fresh off the stack holds
  // anything, and the random source is a pointer that gets called.
  *c = AmbientCounter{0, first, step, nullptr};
}

int32_t AmbientCounterTick(AmbientCounter* c) {
  if (++c->ticks < c->limit) return 0;
  c->ticks = 0;
  c->limit = (Draw(c->random, 5) + 1) * c->step;
  return 1;
}

uint32_t RainChance(uint32_t weather) {
  static const uint8_t kChance[7] = {1, 1, 2, 5, 10, 15, 20};
  return kChance[weather > 6 ? 6 : weather];
}

void InitRainDriver(RainDriver* d, uint32_t weather, const uint16_t* base_list) {
  *d = RainDriver{};
  InitAmbientCounter(&d->counter, 100, 80);
  d->weather = weather;
  d->baseList = base_list;
}

static void EndRain(RainDriver* d) {
  if (d->sound) StopSfx(kRainSound);
  d->sound = 0;
  StopTheRain(d->rain);
  d->rain = nullptr;
}

int32_t RainDriverTick(RainDriver* d) {
  if (IsRainRunning(d->rain)) return 0;
  if (d->rain) EndRain(d);
  if (!AmbientCounterTick(&d->counter)) return 0;
  const uint32_t chance = RainChance(d->weather);
  if (chance < Draw(d->counter.random, 100) + 1 || d->rain) return 0;
  const uint32_t frames = Draw(d->counter.random, chance * 100) + 100;
  d->rain = StartTheRain(static_cast<uint16_t>(frames), d->baseList);
  if (!d->rain) return 0;
  d->sound = SfxPlayer000(kRainSound, 0, 1) == 1 ? 1 : 0;
  return 1;
}

void RainDriverBox(RainDriver* d, const uint16_t* list) { SetRainRectangles(d->rain, list ? list : d->baseList); }

void RainDriverStop(RainDriver* d) { EndRain(d); }
