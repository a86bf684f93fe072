// The town view's day and night tint. See stadt.h.
#include <atomic>
#include <cstring>
#include <ctime>

#include "platform/events.h"
#include "platform/log.h"
#include "platform/display.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "screens/economy/stadt.h"

namespace {

// The module's state: the local-time source (game thread; atomic so a test
// may set it from its own thread).
struct DayTintState {
  std::atomic<LocalMinutesFunc> source{nullptr};
};
DayTintState g_tint;

constexpr uint32_t kFirstColour = 36, kColours = 220;
// Saved palette: 660 u32 from offset 4. Darkened table: u16 count, u16
// first, 660 u32, then an end group {0, 0} (LoadRGB32 reads its four bytes).
constexpr uint32_t kSavedSize = 2646, kTableSize = 2648;

// Ends of the periods (minutes after midnight, exclusive) and their targets.
struct Period {
  uint16_t until;
  uint8_t target;
};
const Period kPeriods[] = {
    {4 * 60, 60},       {4 * 60 + 30, 50},  {5 * 60, 40},       {5 * 60 + 30, 30},  {6 * 60, 20},
    {6 * 60 + 30, 10},  {7 * 60, 5},        {19 * 60, 0},       {19 * 60 + 30, 5},  {20 * 60, 10},
    {20 * 60 + 30, 20}, {21 * 60, 30},      {21 * 60 + 30, 40}, {22 * 60, 50},      {24 * 60, 60},
};

void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint32_t Get32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

uint32_t SystemMinutes() {
  // A headless run's day starts at noon and goes on with its virtual clock.
  if (PlatformClockIsVirtual()) return static_cast<uint32_t>((12 * 60 + PlatformTimeMs() / 60000) % (24 * 60));
  const time_t now = time(nullptr);
  tm local{};
  if (!localtime_r(&now, &local)) return 12 * 60;
  return static_cast<uint32_t>(local.tm_hour * 60 + local.tm_min);
}

bool PaletteDisplay() { return DisplayDepth() == 8; }

}  // namespace

void SetLocalTimeSource(LocalMinutesFunc source) { g_tint.source.store(source); }

uint32_t LocalMinutesOfDay() {
  LocalMinutesFunc f = g_tint.source.load();
  return (f ? f() : SystemMinutes()) % (24 * 60);
}

uint32_t TintTarget(uint32_t minutes) {
  minutes %= 24 * 60;
  for (const Period& p : kPeriods)
    if (minutes < p.until) return p.target;
  return 60;
}

uint32_t TintStep(uint32_t level, uint32_t target) {
  if (level == target) return level;
  if (static_cast<int32_t>(level) >= static_cast<int32_t>(target) - 5) return level > target ? level - 5 : level + 5;
  return target;
}

void DrawStadtNightLights() {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  struct Box {
    int16_t x, y, w, h;
  };
  static const Box kBoxes[] = {{521, 268, 2, 2}, {532, 269, 2, 2}, {521, 281, 2, 3}, {522, 282, 3, 3}, {540, 283, 2, 2},
                               {549, 268, 2, 2}, {560, 266, 3, 3}, {566, 265, 2, 2}, {548, 281, 2, 2}};
  static const int16_t kPixels[][2] = {{540, 286}, {542, 282}, {549, 271}, {551, 267}, {563, 265},
                                       {560, 270}, {568, 264}, {566, 268}, {550, 280}, {548, 284}};
  static const int16_t kLines[][4] = {{540, 270, 540, 272}, {544, 269, 544, 271}, {422, 137, 422, 138}, {427, 136, 427, 137}};
  QoeMutex* m = DisplayMutex();
  if (m) ObtainMutex(m);
  SetAPen(rp, 7);
  for (const Box& b : kBoxes) RectFill(rp, b.x, b.y, b.x + b.w, b.y + b.h);
  for (const auto& p : kPixels) WritePixel(rp, p[0], p[1]);
  for (const auto& l : kLines) {
    Move(rp, l[0], l[1]);
    Draw(rp, l[2], l[3]);
  }
  if (m) ReleaseMutex(m);
  ShowScreenRect(rp, 420, 130, 160, 170);
}

int32_t CheckSysTime(StadtScreenData* d, int32_t init) {
  if (!d || !PaletteDisplay()) return 1;
  const uint32_t target = TintTarget(LocalMinutesOfDay());
  // A palette that could not be darkened last time is tried again even when
  // the level has reached its target meanwhile.
  if (d->tintLevel == target && !d->tintPending) return 1;
  const uint32_t level = TintStep(d->tintLevel, target);
  d->tintLevel = static_cast<uint8_t>(level);
  if (level >= kNightTintLevel && !d->lightsDrawn) {
    if (d->sunShown) StadtSunSets(d);
    DrawStadtNightLights();
    d->lightsDrawn = 1;
  }
  if (!d->savedPalette) {
    d->savedPalette = static_cast<uint8_t*>(AllocVec(kSavedSize, MEMF_PUBLIC | MEMF_CLEAR));
    if (!d->savedPalette) {
      DebugLog("CheckSysTime : Konnte Speicher nicht allokieren...\n");
      d->tintPending = 1;
      return 0;
    }
    const PaletteCopy* p = ScreenPalette();
    for (uint32_t k = 0; k < kColours; ++k) {
      const PaletteColor& c = p->Colors[kFirstColour + k];
      Put32(d->savedPalette + 4 + 12 * k, c.Red);
      Put32(d->savedPalette + 8 + 12 * k, c.Green);
      Put32(d->savedPalette + 12 + 12 * k, c.Blue);
    }
  }
  auto* table = static_cast<uint8_t*>(AllocVec(kTableSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!table) {
    DebugLog("CheckSysTime : Konnte Speicher nicht allokieren...\n");
    d->tintPending = 1;
    return 0;
  }
  Put16(table, kColours);
  Put16(table + 2, kFirstColour);
  for (uint32_t i = 0; i < kColours * 3; ++i) {
    const uint32_t c = Get32(d->savedPalette + 4 + 4 * i) * (100 - level) / 100;
    Put32(table + 4 + 4 * i, c * 0x01010101u);
  }
  // The end mark (count 0) stays cleared. Both ways write the program's
  // palette table under its lock; before the transition (init 1) the
  // transition then shows the darkened picture, later the display follows.
  (void)init;
  LoadRGB32(nullptr, table);
  FreeVec(table);
  d->tintPending = 0;
  return 1;
}
