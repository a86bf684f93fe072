// The motion thread: map objects (fires, mills, monsters) on random visible
// hexes of the view play their animation straight onto the screen while the
// player does nothing, paced by the platform clock (a headless run's virtual
// one). The game thread takes turns with it through the
// motion lock "Motion Semaphore".
#include <atomic>
#include <cstdio>
#include <new>

#include "map_internal.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/timer.h"

// One running motion thread. quit: the owner; finished: the thread; map,
// bitmap, rp and lock: made before the start, freed after the thread ended;
// the bitmap and rp are the thread's own while it runs.
struct MotionControl {
  ThreadFlags flags;
  QoEMapInfo* map = nullptr;
  QoeThread* thread = nullptr;
  BitMap* bitmap = nullptr;  // 64 x 56 in the screen's depth: one hex's background
  RastPort* rp = nullptr;
  QoeMutex* lock = nullptr;  // "Motion Semaphore" (recursive)
  ZufallStream random{};     // the thread's own, seeded from Zufall by the starter
  // The thread sleeps on the platform clock as a clock thread; a lock or a
  // stop asked for sets `wake` and ends its sleep (the thread clears it once
  // it holds the lock again).
  std::atomic<int> wake{0};
};

namespace {


struct ObjectAnim {
  uint16_t type, picture, frames;
};
constexpr ObjectAnim kObjects[] = {{1000, 493, 10}, {1003, 839, 24}, {1004, 838, 18}, {1007, 884, 24},
                                   {1008, 885, 24}, {1009, 886, 24}, {1010, 887, 24}, {1011, 888, 24},
                                   {1012, 889, 24}, {1013, 890, 24}};

const ObjectAnim* AnimOf(uint16_t type) {
  for (const ObjectAnim& o : kObjects)
    if (o.type == type) return &o;
  return nullptr;
}

// Sleeps ms of the platform clock, or until woken; false when the quit flag
// came meanwhile.
bool Rest(MotionControl* c, uint32_t ms) {
  if (ms > 0 && !c->flags.quit.load()) SleepPlatformMs(ms, &c->wake);
  return !c->flags.quit.load();
}

bool ViewMoved(QoEMapInfo* map, int32_t x, int32_t y) {
  return std::atomic_ref<int32_t>(map->X).load(std::memory_order_relaxed) != x ||
         std::atomic_ref<int32_t>(map->Y).load(std::memory_order_relaxed) != y;
}

// One animation of a random hex. Called with the motion lock held.
void AnimateOnce(MotionControl* c) {
  QoEMapInfo* map = c->map;
  const bool depth8 = MapDisplayDepth() == 8;
  const int32_t columns = map->Columns, rows = map->Rows;
  if (!depth8 && (columns < 4 || rows < 6)) return;
  const int32_t vc = 1 + (int32_t)(depth8 ? MapRandom(&c->random, 8) : MapRandom(&c->random, (uint32_t)(columns - 3)));
  const int32_t vr = 1 + (int32_t)(depth8 ? MapRandom(&c->random, 6) : MapRandom(&c->random, (uint32_t)(rows - 5)));
  if (vc >= columns || vr >= rows) return;
  const int32_t view_x = map->X, view_y = map->Y;
  // The hex in the world, wrapped, so objects just past the seam play too.
  const uint32_t wx = (uint32_t)WrapFull((int64_t)view_x + vc, kWorldColumns);
  const uint32_t wy = (uint32_t)WrapFull((int64_t)view_y + vr, kWorldRows);
  const uint8_t* list = map->LocalFigures;
  const uint32_t count = MapFigurCount(list);
  const ObjectAnim* anim = nullptr;
  uint32_t standing = 0;  // figures on the hex that are not carried
  for (uint32_t i = 0; i < count; i++) {
    const MapFigur* f = MapFigurAt(list, i);
    if (f->X != wx || f->Y != wy) continue;
    if (!anim && standing == 0) anim = AnimOf(f->Typ);
    if (f->Status != 7) standing++;
  }
  if (!anim || !GetPeopleOnHex(map, count, list, vc, vr) || !IsHexKnown(map, (int16_t)vc, (uint16_t)vr) ||
      std::atomic_ref<uint32_t>(map->AnimStop).load())
    return;
  int32_t x = vc * kColumnStep, y = vr * kTileHeight - 12 + ((vc & 1) ? 28 : 0);
  if (!depth8) {
    x -= 16;
    y -= 16;
  }
  RastPort* screen = ScreenRastPort();
  // The strip stays open through the animation, whatever the game thread closes.
  MapGfxUse strip_use(anim->picture);
  BitMap* strip = strip_use.bitmap;
  if (!screen || !screen->Bitmap || !strip) return;
  // Never read outside the screen bitmap.
  if (x < 0 || y < 0 || x + kTileWidth > (int32_t)screen->Bitmap->Width ||
      y + kTileHeight > (int32_t)screen->Bitmap->Height)
    return;
  const MapTile* cell = CMapCell(map, map->ViewColumn + vc, map->ViewRow + vr);
  if (!cell || cell->Grafik == 0 || cell->Grafik > 99) return;
  // The background: the screen under the hex, its tile drawn over the figure,
  // the stack count and the border.
  QoeMutex* display = DisplayMutex();
  if (display) ObtainMutex(display);
  BltBitMap(screen->Bitmap, x, y, c->bitmap, 0, 0, kTileWidth, kTileHeight);
  if (display) ReleaseMutex(display);
  const uint32_t variant = map->TileVariant > 8 ? 0 : map->TileVariant;
  MapDrawTile(c->rp, TileTable[cell->Grafik][variant], 0, 0, true);
  if (standing > 1 && map->Font) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", standing);
    SetFont(c->rp, map->Font);
    PrintTextOutlined(c->rp, 40, 2, 51, 10, text, 0, 7, 549);
  }
  if (map->Flags & MAPF_BORDERS) BlitHexExtra(map, (uint16_t)vc, (uint16_t)vr, c->rp, 0, 0);
  uint32_t height = strip->Height / anim->frames;
  if (height > (uint32_t)kTileHeight) height = kTileHeight;
  const uint32_t width = strip->Width < (uint32_t)kTileWidth ? strip->Width : (uint32_t)kTileWidth;
  for (uint16_t frame = 0; frame < anim->frames; frame++) {
    if (std::atomic_ref<uint32_t>(map->AnimStop).load() || ViewMoved(map, view_x, view_y) || c->flags.quit.load())
      break;
    AnimObjektMask(c->rp, 0, 0, screen, (uint16_t)x, (uint16_t)y, anim->picture, 0, frame, (uint16_t)width,
                   (uint16_t)height);
    MapState().motionFrames.fetch_add(1);
    uint32_t pause = MapState().motionFrameMs.load();
    if (pause) SleepPlatformMs(pause, &c->wake);
  }
}

int TheresMotionAgain(void* arg) {
  MotionControl* c = static_cast<MotionControl*>(arg);
  DebugLog("TheresMotionAgain\n");
  if (c->map->LocalFigures) {
    while (!c->flags.quit.load()) {
      // The game thread may hold the lock through a box that waits for the
      // player (a figure's move): the thread waits for it counted asleep, so
      // a script's clock runs on, and a stop is seen within a few ms.
      if (!ObtainMutexAsleep(c->lock, &c->flags.quit)) break;
      c->wake.store(0);
      if (MapAvailMem() >= kMotionMinFree) AnimateOnce(c);
      ReleaseMutex(c->lock);
      if (!Rest(c, MapState().motionPauseMs.load())) break;
    }
  }
  DebugLog("TheresMotionAgain Quit\n");
  c->flags.finished.store(1);
  EndClockThread();
  return 0;
}

void FreeMotion(MotionControl* c) {
  if (c->lock) DeleteMutex(c->lock);
  FreeVec(c->rp);
  FreeBitMap(c->bitmap);
  c->~MotionControl();
  FreeVec(c);
}

}  // namespace

MotionControl* StartTheMotion(QoEMapInfo* map) {
  if (!map || MapAvailMem() < kMotionMinFree) return nullptr;
  void* block = AllocVec(sizeof(MotionControl), MEMF_CLEAR);
  if (!block) {
    DebugLog("StartTheMotion : Konnte Speicher nicht allokieren\n");
    return nullptr;
  }
  MotionControl* c = new (block) MotionControl();
  c->map = map;
  ZufallStreamSeed(&c->random, Zufall(0xFFFFFFFFu));
  RastPort* screen = ScreenRastPort();
  const BitMap* like = screen ? screen->Bitmap : nullptr;
  c->bitmap = AllocBitMap(kTileWidth, kTileHeight, MapDisplayDepth() == 8 ? 8 : 32, 0,
                          like && like->Depth == 32 ? like : nullptr);
  const char* failure = nullptr;
  if (!c->bitmap) {
    failure = "StartTheMotion : Konnte BitMap nicht allokieren\n";
  } else if (!(c->rp = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_CLEAR)))) {
    failure = "StartTheMotion : Konnte RastPort nicht allokieren\n";
  } else {
    InitRastPort(c->rp);
    c->rp->Bitmap = c->bitmap;
    if (!(c->lock = CreateNamedMutex("Motion Semaphore")))
      failure = "StartTheMotion : Konnte Semaphore nicht anlegen...\n";
    else {
      BeginClockThread();
      if (!(c->thread = MapStartThread("TheresMotionAgain", TheresMotionAgain, c))) {
        EndClockThread();
        failure = "StartTheMotion : Konnte MotionProzess nicht anlegen...\n";
      }
    }
  }
  if (failure) {
    DebugLog("%s", failure);
    c->flags.finished.store(1);
    FreeMotion(c);
    return nullptr;
  }
  return c;
}

// Ends a sleep of the thread at once.
static void WakeMotion(MotionControl* c) {
  c->wake.store(1);
  WakeClockThreads();
}

void StopTheMotion(MotionControl* control) {
  if (!control) return;
  control->flags.quit.store(1);  // before the wake: the thread clears that one
  WakeMotion(control);
  StopThreadByFlag(control->thread, &control->flags, -1);
  FreeMotion(control);
}

void LockMotion(MotionControl* control) {
  if (!control) return;
  if (MutexHeldCount(control->lock) > 0) {
    ObtainMutex(control->lock);
    return;
  }
  // The stop flag ends a running animation within one frame; once the lock
  // is ours the thread animates nothing, and the flag gets its old value.
  std::atomic_ref<uint32_t> stop(control->map->AnimStop);
  const uint32_t former = stop.exchange(1);
  WakeMotion(control);
  ObtainMutex(control->lock);
  stop.store(former);
}

void UnlockMotion(MotionControl* control) {
  if (control) ReleaseMutex(control->lock);
}
