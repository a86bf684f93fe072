// The rain thread: 50 streaks fall over the screen for a number of frames
// (paced by the platform clock, a headless run's virtual one),
// kept out of a list of dry rectangles, each streak's pixels saved before it
// is drawn and put back the next frame. Also the seams of both map threads.
#include <atomic>
#include <cstring>
#include <new>

#include "map_internal.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/timer.h"

// --- Seams of the two threads -------------------------------------------------

void ResetMapThreadSeams() {
  MapEngineState& s = MapState();
  s.rainFrameMs = kRainFrameMs;
  s.motionFrameMs = kMotionFrameMs;
  s.motionPauseMs = kMotionPauseMs;
  s.random = nullptr;
  s.availMem = nullptr;
  s.startThread = nullptr;
  s.motionFrames = 0;
}

uint32_t MapRandom(ZufallStream* stream, uint32_t n) {
  auto fn = MapState().random.load();
  return fn ? fn(n) : ZufallFrom(stream, n);
}

uint64_t MapAvailMem() {
  auto fn = MapState().availMem.load();
  return fn ? fn(0) : AvailMem(0);
}

QoeThread* MapStartThread(const char* name, int (*fn)(void*), void* arg) {
  auto start = MapState().startThread.load();
  return start ? start(name, fn, arg) : StartThread(name, fn, arg);
}

// --- Rain -----------------------------------------------------------------------

namespace {

constexpr int kDrops = 50;
constexpr int kStreak = 16;     // pixels of a streak: 8 in column x, 8 in x - 1 below
constexpr int kDropAge = 9;     // frames a drop falls
constexpr int kFirstFrame = 50;
constexpr uint32_t kEndFrameMs = 8;  // frame pause after a stop: the rest ends within 100 ms
constexpr uint32_t kRainPen = 10;

struct Drop {
  int16_t x, y;       // top of the streak; y = 0: retired
  int16_t age;
  int16_t drawn;      // the streak at (drawnX, drawnY) is on the screen
  int16_t drawnX, drawnY;
  uint32_t saved[kStreak];  // whole pixels of the screen's depth
};

}  // namespace

// One rain. quit: the owner; finished: the thread; duration and rp: set
// before the start, read-only afterwards; rectangles: stored by
// SetRainRectangles (any thread), loaded by the thread once a frame; the
// switch counters: asked by the switching thread, served by the rain thread.
struct RainControl {
  ThreadFlags flags;
  uint16_t duration = 0;
  RastPort* rp = nullptr;
  std::atomic<const uint16_t*> rectangles{nullptr};
  std::atomic<uint32_t> switchAsked{0};
  std::atomic<uint32_t> switchServed{0};
  QoeThread* thread = nullptr;
  std::atomic<uint32_t> framesRun{0};     // frames drawn so far (tests)
  std::atomic<uint32_t> framesAtStop{0};  // frames drawn when the quit was seen
  // The thread sleeps on the platform clock as a clock thread: a switch or a
  // stop asked for sets `wake` (cleared by the thread) and ends its sleep;
  // `stopAsked` stays set, so the last frames follow at once on the virtual
  // clock (the owner waits for them there).
  std::atomic<int> wake{0};
  std::atomic<int> stopAsked{0};
  // The thread's own: the drops and the random numbers (seeded from Zufall
  // by the starter, so the rain does not depend on other threads' draws).
  Drop drops[kDrops];
  ZufallStream random;
};

namespace {

// The pixel (x, y) of column x, x - 1 of streak pixel i (top at (x, y)).
inline void StreakPixel(int32_t x, int32_t y, int i, int32_t* px, int32_t* py) {
  *px = i < 8 ? x : x - 1;
  *py = y + i;
}

bool InsideList(const uint16_t* list, int32_t x, int32_t y) {
  if (!list) return false;
  for (const uint16_t* r = list; r[0] != 0xFFFF; r += 4)
    if (x >= r[0] && x <= r[2] && y >= r[1] && y <= r[3]) return true;
  return false;
}

// 1 when a streak with its top at (x, y) may be drawn: on the screen and no
// pixel of it in a dry rectangle (every pixel is tested, so a small box
// between the ends stays dry too).
bool StreakVisible(const BitMap* bm, const uint16_t* list, int32_t x, int32_t y) {
  if (x - 1 < 0 || x >= 639 || y < 0 || y + kStreak >= 480) return false;
  if (x >= (int32_t)bm->Width || y + kStreak > (int32_t)bm->Height) return false;
  for (int i = 0; i < kStreak; i++) {
    int32_t px, py;
    StreakPixel(x, y, i, &px, &py);
    if (InsideList(list, px, py)) return false;
  }
  return true;
}

bool StreakTouches(const Drop& d, const uint16_t* list) {
  for (int i = 0; i < kStreak; i++) {
    int32_t px, py;
    StreakPixel(d.drawnX, d.drawnY, i, &px, &py);
    if (InsideList(list, px, py)) return true;
  }
  return false;
}

struct Screen {
  BitMap* bm;
  uint32_t rainPixel;
  RastPort* rp;
  uint8_t* At(int32_t x, int32_t y) const {
    return bm->Pixels + (size_t)y * bm->BytesPerRow + (size_t)x * (bm->Depth == 8 ? 1 : 4);
  }
  uint32_t Get(int32_t x, int32_t y) const {
    if (bm->Depth == 8) return *At(x, y);
    uint32_t v;
    std::memcpy(&v, At(x, y), 4);
    return v;
  }
  void Set(int32_t x, int32_t y, uint32_t v) {
    if (bm->Depth == 8)
      *At(x, y) = (uint8_t)v;
    else
      std::memcpy(At(x, y), &v, 4);
  }
  // Shows the streak with its top at (x, y): its two 1 x 8 columns only, so
  // the copy reads no pixel but the streak's own.
  void ShowStreak(int32_t x, int32_t y) {
    if (!rp) return;
    ShowScreenRect(rp, x, y, 1, 8);
    ShowScreenRect(rp, x - 1, y + 8, 1, 8);
  }
};

void Restore(Screen& s, Drop& d) {
  if (!d.drawn) return;
  for (int i = 0; i < kStreak; i++) {
    int32_t px, py;
    StreakPixel(d.drawnX, d.drawnY, i, &px, &py);
    s.Set(px, py, d.saved[i]);
  }
  s.ShowStreak(d.drawnX, d.drawnY);
  d.drawn = 0;
}

void DrawStreak(Screen& s, Drop& d) {
  for (int i = 0; i < kStreak; i++) {
    int32_t px, py;
    StreakPixel(d.x, d.y, i, &px, &py);
    d.saved[i] = s.Get(px, py);
  }
  for (int i = 0; i < kStreak; i++) {
    int32_t px, py;
    StreakPixel(d.x, d.y, i, &px, &py);
    s.Set(px, py, s.rainPixel);
  }
  s.ShowStreak(d.x, d.y);
  d.drawn = 1;
  d.drawnX = d.x;
  d.drawnY = d.y;
}

// Places drop i at a random spot up top, away from every other drop that
// falls: none within x - 5 .. x + 3 and y - 80 .. y + 80 (the 9-column window
// leaves room for all 50, so a few hundred draws always find one).
void PlaceDrop(ZufallStream* random, Drop* drops, int count, int i) {
  Drop& d = drops[i];
  for (int tries = 0; tries < 1000; tries++) {
    d.x = (int16_t)MapRandom(random, 640);
    d.y = (int16_t)(MapRandom(random, 40) + 21);
    bool clear = true;
    for (int j = 0; j < count && clear; j++) {
      if (j == i || drops[j].y == 0) continue;
      if (drops[j].x >= d.x - 5 && drops[j].x <= d.x + 3 && drops[j].y >= d.y - 80 && drops[j].y <= d.y + 80)
        clear = false;
    }
    if (clear) return;
  }
  d.y = 0;  // no room (only with a scripted random source): the drop rests
}

void PlaceAllDrops(ZufallStream* random, Drop* drops) {
  for (int i = 0; i < kDrops; i++) drops[i] = Drop{};
  for (int i = 0; i < kDrops; i++) PlaceDrop(random, drops, i + 1, i);
}

// The screen's bitmap the rain draws on (under the display mutex), or false
// when it is gone.
bool RainScreen(RainControl* c, Screen* s) {
  BitMap* bm = c->rp ? c->rp->Bitmap : nullptr;
  if (!bm || !bm->Pixels || (bm->Depth != 8 && bm->Depth != 32)) return false;
  *s = Screen{bm, kRainPen, c->rp};
  if (bm->Depth != 8) {
    const uint8_t pen = kRainPen;
    ConvertRGBToFormat(BitMapPixelFormat(bm), &pen, &s->rainPixel, 1);
  }
  return true;
}

// A switch asked for: the streaks drawn in the new list's rectangles go.
// Returns the list. Under the display mutex.
const uint16_t* ServeSwitch(RainControl* c, Screen& s, int active) {
  uint32_t asked = c->switchAsked.load(std::memory_order_acquire);
  const uint16_t* list = c->rectangles.load(std::memory_order_acquire);
  if (asked != c->switchServed.load(std::memory_order_relaxed)) {
    for (int i = 0; i < active; i++)
      if (c->drops[i].drawn && StreakTouches(c->drops[i], list)) Restore(s, c->drops[i]);
    c->switchServed.store(asked, std::memory_order_release);
  }
  return list;
}

// The pause before a frame, on the platform clock. A switch asked for
// meanwhile is served at once; a stop ends the pause.
void RainPause(RainControl* c, uint32_t ms, int active, QoeMutex* display) {
  if (c->stopAsked.load()) {
    if (!PlatformClockIsVirtual()) SleepMs(ms);
    return;
  }
  const uint64_t due = PlatformTimeMs() + ms;
  while (!SleepUntilPlatformTime(due, &c->wake)) {
    c->wake.store(0);
    if (c->stopAsked.load() || c->flags.quit.load()) return;
    if (display) ObtainMutex(display);
    Screen s{};
    if (RainScreen(c, &s)) ServeSwitch(c, s, active);
    if (display) ReleaseMutex(display);
  }
}

int RainThread(void* arg) {
  RainControl* c = static_cast<RainControl*>(arg);
  Drop* drops = c->drops;
  PlaceAllDrops(&c->random, drops);
  QoeMutex* display = DisplayMutex();
  const int32_t duration = c->duration;
  int32_t active = 0;
  int32_t countdown = 1;
  bool stopping = false;
  for (int32_t frame = kFirstFrame; frame < duration; frame++) {
    uint32_t pause = MapState().rainFrameMs.load();
    if (stopping && pause > kEndFrameMs) pause = kEndFrameMs;
    if (pause) RainPause(c, pause, active, display);
    if (display) ObtainMutex(display);
    Screen s{};
    if (!RainScreen(c, &s)) {
      if (display) ReleaseMutex(display);
      break;
    }
    BitMap* bm = s.bm;
    // The list of this frame; a switch asked for is served first.
    const uint16_t* list = ServeSwitch(c, s, active);
    if (frame + 9 < duration && --countdown <= 0) {
      if (active < kDrops) active++;
      countdown = (int32_t)MapRandom(&c->random, 2) + 1;
    }
    for (int i = 0; i < active; i++) {
      Drop& d = drops[i];
      if (d.y == 0) continue;
      Restore(s, d);
      if (StreakVisible(bm, list, d.x, d.y)) DrawStreak(s, d);
      d.x -= 2;
      d.y += 48;
      d.age++;
    }
    for (int i = 0; i < active; i++) {
      Drop& d = drops[i];
      if (d.age < kDropAge) continue;
      Restore(s, d);
      d.age = 0;
      if (frame + 9 >= duration)
        d.y = 0;
      else
        PlaceDrop(&c->random, drops, kDrops, i);
    }
    if (display) ReleaseMutex(display);
    c->framesRun.fetch_add(1);
    if (c->flags.quit.load() && frame < duration - 9) {
      c->framesAtStop.store(c->framesRun.load());
      frame = duration - 10;
      stopping = true;
      c->flags.quit.store(0);
    }
  }
  // Whatever is still drawn goes (a display gone mid-rain leaves nothing).
  if (display) ObtainMutex(display);
  BitMap* bm = c->rp ? c->rp->Bitmap : nullptr;
  if (bm && bm->Pixels) {
    Screen s{bm, 0, c->rp};
    for (int i = 0; i < kDrops; i++) Restore(s, drops[i]);
  }
  if (display) ReleaseMutex(display);
  MapState().rainFramesAfterStop = stopping ? c->framesRun.load() - c->framesAtStop.load() : 0;
  c->switchServed.store(c->switchAsked.load());
  c->flags.finished.store(1);
  EndClockThread();
  return 0;
}

void FreeRain(RainControl* c) {
  c->~RainControl();
  FreeVec(c);
}

}  // namespace

RainControl* StartTheRain(uint16_t duration, const uint16_t* rectangles) {
  void* block = AllocVec(sizeof(RainControl), MEMF_CLEAR);
  if (!block) {
    DebugLog("StartTheRain : Konnte Speicher nicht allokieren\n");
    return nullptr;
  }
  RainControl* c = new (block) RainControl();
  c->duration = duration;
  c->rp = ScreenRastPort();
  c->rectangles.store(rectangles);
  ZufallStreamSeed(&c->random, Zufall(0xFFFFFFFFu));
  BeginClockThread();
  c->thread = MapStartThread("RainThread", RainThread, c);
  if (!c->thread) {
    EndClockThread();
    DebugLog("StartTheRain : Konnte RainProzess nicht anlegen...\n");
    FreeRain(c);
    return nullptr;
  }
  return c;
}

void PlaceRainDropsForTest(int16_t* x, int16_t* y) {
  Drop drops[kDrops]{};
  PlaceAllDrops(nullptr, drops);
  for (int i = 0; i < kDrops; i++) {
    x[i] = drops[i].x;
    y[i] = drops[i].y;
  }
}

void RainFrameCounts(const RainControl* control, uint32_t* run, uint32_t* at_stop) {
  *run = control ? control->framesRun.load() : 0;
  *at_stop = control ? control->framesAtStop.load() : 0;
}

void StopTheRain(RainControl* control) {
  if (!control) return;
  control->stopAsked.store(1);
  control->wake.store(1);
  WakeClockThreads();
  StopThreadByFlag(control->thread, &control->flags, -1);
  FreeRain(control);
}

int32_t IsRainRunning(const RainControl* control) {
  if (!control) return 0;
  return control->flags.finished.load() ? 0 : 1;
}

void SetRainRectangles(RainControl* control, const uint16_t* rectangles) {
  if (!control) return;
  control->rectangles.store(rectangles, std::memory_order_release);
  uint32_t ticket = control->switchAsked.fetch_add(1, std::memory_order_acq_rel) + 1;
  control->wake.store(1);
  WakeClockThreads();
  while (!control->flags.finished.load() &&
         (int32_t)(control->switchServed.load(std::memory_order_acquire) - ticket) < 0)
    SleepMs(1);
}
