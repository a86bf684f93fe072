// The motion thread on the demo realm at both depths: which objects play,
// their picture, frames and place on the screen, the stop flag and a moved
// view, the memory test and failures at each resource; the game thread
// changing the view while the thread animates; a marker taken away while an
// object under it plays.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "map_fixture.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapscreen.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

using namespace maptest;

namespace {

// A wait for what a thread does, bounded by minutes (real time).
constexpr int kMinutes = 4 * 60 * 1000;
constexpr uint32_t kOwn = 5;
constexpr int32_t kCapX = 4000, kCapY = 2020;
constexpr int32_t kViewX = kCapX - 6, kViewY = kCapY - 4;
// The scripted random source always names view hex (3, 3).
constexpr uint32_t kHexX = kViewX + 3, kHexY = kViewY + 3;

Terrain Realm(int32_t x, int32_t y) { return DemoRealm(x, y, kCapX, kCapY, kOwn); }
bool RealmKnown(int32_t x, int32_t y) { return HexDistanceForTest(x, y, kCapX, kCapY) <= 11 || (x / 3 + y) % 4 != 0; }
uint32_t Two(uint32_t) { return 2; }
uint64_t Plenty(uint32_t) { return 1u << 30; }
uint64_t Short(uint32_t) { return 499999; }

MiniMap* g_minimap = nullptr;
const uint16_t kRects[] = {0, 0, 9, 9, 0, 0, 9, 9, 506, 12, 637, 145, 0, 0, 9, 9, 0, 0, 9, 9, 500, 300, 631, 433};

class MotionThread : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ASSERT_EQ(OpenScreenRastPort(), 1);
    WriteTestPictures();
    CopyMapFont();
    SetTestPalette();
    ResetMapEngineState();
    MapState().animFrameMs = 0;
    MapState().motionFrameMs = 0;
    MapState().motionPauseMs = 60000;  // one animation, then a long rest
    MapState().random = Two;
    MapState().availMem = Plenty;
    OwnPlayerPtr->PlayerId = kOwn;
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++) {
        WritePart(Realm, 50 + dx, 50 + dy);
        WriteKnowledge(RealmKnown, 50 + dx, 50 + dy);
      }
  }
  void TearDown() override {
    if (map_) {
      ExitPos(map_);
      ExitKarte(map_);
    }
    ResetPictureManagerState();
    ResetMapEngineState();
    CloseScreenRastPort();
    HeadlessCloseDisplay();
  }
  bool Deep() const { return GetParam() != 0; }
  // Opens the view with the figures; an own figure next to hex (3, 3) puts it in sight.
  QoEMapInfo* Open(std::vector<Fig> figs) {
    figs.insert(figs.begin(), Fig{kOwn, 1, 1, kHexX + 1, kHexY});
    WriteMapPrefs(figs);
    map_ = LadeKarte(MAPF_KNOWLEDGE | MAPF_FIGURES, 50, 50, ".\\Map");
    EXPECT_NE(map_, nullptr);
    if (!map_) return nullptr;
    uint16_t at = Deep() ? 0 : 16;
    EXPECT_EQ(InitPos(map_, kViewX, kViewY, at, at, 480, 448, MAPF_KNOWLEDGE | MAPF_FIGURES), 1);
    return map_;
  }
  // Where the thread shows hex (3, 3).
  int32_t HexX() const { return 3 * 48 - (Deep() ? 16 : 0); }
  int32_t HexY() const { return 3 * 56 - 12 + 28 - (Deep() ? 16 : 0); }
  static uint32_t Frames() { return MapState().motionFrames.load(); }
  // Waits (at most 3 s) for one more frame of the thread.
  static void WaitForAFrame() {
    const uint32_t seen = Frames();
    for (int w = 0; w < 3000 && Frames() == seen; w++) SleepMs(1);
  }
  // Objects (types 1007..1013, strips 884..890) on every hex round the capital.
  static std::vector<Fig> ObjectsRoundTheCapital() {
    std::vector<Fig> figs;
    for (int32_t dy = -6; dy <= 8; dy++)
      for (int32_t dx = -8; dx <= 8; dx++)
        figs.push_back(Fig{77, (uint16_t)(1007 + (dx + 8) % 7), 2, (uint32_t)(kCapX + dx), (uint32_t)(kCapY + dy)});
    return figs;
  }
  // Waits until the frame count stays put for a while; returns it.
  static uint32_t SettledFrames() {
    uint32_t last = Frames();
    for (int quiet = 0; quiet < 20;) {
      SleepMs(5);
      uint32_t now = Frames();
      quiet = now == last ? quiet + 1 : 0;
      last = now;
    }
    return last;
  }
  QoEMapInfo* map_ = nullptr;
};

TEST_P(MotionThread, ObjectsPlayTheirFramesInPlace) {
  struct Case {
    uint16_t type;
    uint32_t picture, frames;
  } cases[] = {{1000, 493, 10}, {1003, 839, 24}, {1004, 838, 18}, {1007, 884, 24}, {1013, 890, 24}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.type);
    ResetMapEngineState();
    MapState().motionFrameMs = 0;
    MapState().motionPauseMs = 60000;
    MapState().random = Two;
    MapState().availMem = Plenty;
    ASSERT_NE(Open({{77, k.type, 2, kHexX, kHexY}}), nullptr);
    RastPort* rp = ScreenRastPort();
    MotionControl* motion = StartTheMotion(map_);
    ASSERT_NE(motion, nullptr);
    while (Frames() < k.frames) SleepMs(1);
    EXPECT_EQ(SettledFrames(), k.frames);
    LockMotion(motion);
    // The last frame's mark, the object's box; nothing left of earlier frames.
    const int32_t x = HexX(), y = HexY();
    for (uint32_t f = 1; f < 24; f++) EXPECT_EQ(ReadPixel(rp, x + 2 + f, y + 2) == 7, f == k.frames - 1) << f;
    EXPECT_EQ(ReadPixel(rp, x + 32, y + 27), PenOf(k.picture));
    UnlockMotion(motion);
    StopTheMotion(motion);
    ExitPos(map_);
    ExitKarte(map_);
    map_ = nullptr;
  }
}

TEST_P(MotionThread, OnlyTheTopUncarriedFigurePlays) {
  // Under another figure: nothing plays.
  ASSERT_NE(Open({{77, 2, 2, kHexX, kHexY}, {77, 1003, 3, kHexX, kHexY}}), nullptr);
  MotionControl* motion = StartTheMotion(map_);
  ASSERT_NE(motion, nullptr);
  SleepMs(100);
  EXPECT_EQ(Frames(), 0u);
  StopTheMotion(motion);
  ExitPos(map_);
  ExitKarte(map_);
  // Under a carried figure: it plays.
  ASSERT_NE(Open({{77, 10, 2, kHexX, kHexY, 7}, {77, 1003, 3, kHexX, kHexY}}), nullptr);
  motion = StartTheMotion(map_);
  ASSERT_NE(motion, nullptr);
  while (Frames() < 24) SleepMs(1);
  EXPECT_EQ(SettledFrames(), 24u);
  StopTheMotion(motion);
  // The stop flag raised: nothing plays.
  MapState().motionFrames = 0;
  std::atomic_ref<uint32_t>(map_->AnimStop).store(1);
  motion = StartTheMotion(map_);
  SleepMs(100);
  EXPECT_EQ(Frames(), 0u);
  StopTheMotion(motion);
}

TEST_P(MotionThread, LockAndScrollEndTheAnimationAtTheNextFrame) {
  MapState().motionFrameMs = 20;
  ASSERT_NE(Open({{77, 1003, 2, kHexX, kHexY}}), nullptr);
  MotionControl* motion = StartTheMotion(map_);
  ASSERT_NE(motion, nullptr);
  // The frames follow the headless virtual clock: the test thread stands for
  // a game thread waiting on an empty queue while the clock moves on.
  PlatformMessage m;
  GetGameMessage(&m, 0);
  for (int i = 0; i < 1000 && Frames() < 2; i++) HeadlessAdvance(5);
  ASSERT_GE(Frames(), 2u);
  uint32_t before = Frames();
  LockMotion(motion);
  EXPECT_LE(Frames(), before + 1);
  EXPECT_EQ(map_->AnimStop, 0u);  // put back once the lock is held
  LockMotion(motion);  // a change inside a change
  EXPECT_EQ(SetPos(map_, 1, 0), 1);
  UnlockMotion(motion);
  UnlockMotion(motion);
  uint32_t after = Frames();
  SleepMs(100);
  EXPECT_EQ(Frames(), after);
  // A stop while the thread waits for the lock.
  QoeMutex* lock = CreateNamedMutex("Motion Semaphore");
  ObtainMutex(lock);
  StopTheMotion(motion);
  ReleaseMutex(lock);
  DeleteMutex(lock);
  StopTheMotion(nullptr);
  LockMotion(nullptr);
  UnlockMotion(nullptr);
}

// The game thread holds the lock through a box that waits for the player
// (a ship lost on a figure's click): the thread waits for the lock asleep on
// the game's clock, so a script's clock runs on step by step, and it plays
// again once the lock is given back.
TEST_P(MotionThread, AHeldLockLetsTheClockRunOn) {
  MapState().motionPauseMs = 100;
  ASSERT_NE(Open({{77, 1003, 2, kHexX, kHexY}}), nullptr);
  MotionControl* motion = StartTheMotion(map_);
  ASSERT_NE(motion, nullptr);
  PlatformMessage m;
  GetGameMessage(&m, 0);
  // Every wait below is for the thread to sleep (or wait for the lock
  // asleep), however long a busy machine takes; minutes only when it never does.
  HeadlessSetSyncTimeout(kMinutes);
  // The thread or the game thread may come first to the lock: a few turns.
  for (uint32_t turn = 1; turn <= 8; turn++) {
    SCOPED_TRACE(turn);
    for (int i = 0; i < 1000 && Frames() < 24 * turn; i++) HeadlessAdvance(5);
    ASSERT_EQ(SettledFrames(), 24 * turn);
    LockMotion(motion);
    for (int step = 0; step < 8; step++) {
      ASSERT_EQ(WaitClockThreadsAsleep(kMinutes), 1) << "step " << step << ": the thread waits for the lock awake";
      const uint64_t before = HeadlessNowMs();
      HeadlessAdvance(25);
      EXPECT_EQ(HeadlessNowMs(), before + 25);
    }
    EXPECT_EQ(Frames(), 24 * turn);
    UnlockMotion(motion);
  }
  HeadlessSetSyncTimeout(0);  // the default
  StopTheMotion(motion);
}

// The hex of a playing object marked before the animation: taking the
// marker away stops the animation first, whose frames would put back the
// screen they took under the hex, marker and all. Afterwards no pixel of
// the box round the hex shows one of the marker's pens (0, 1, 105) where the
// ground had another.
TEST_P(MotionThread, AMarkerTakenAwayWhileAnObjectPlaysStaysAway) {
  MapState().motionFrameMs = 20;
  ASSERT_NE(Open({{77, 1003, 2, kHexX, kHexY}}), nullptr);
  RastPort* rp = ScreenRastPort();
  ASSERT_EQ(GetScreenRastPort(0), rp);
  const int32_t x1 = HexX() - 2, y1 = HexY() - 3, x2 = HexX() + 66, y2 = HexY() + 57;
  std::vector<int32_t> ground;
  for (int32_t y = y1; y <= y2; y++)
    for (int32_t x = x1; x <= x2; x++) ground.push_back(ReadPixel(rp, x, y));
  KartenScreenRecord* d = KartenScreenData;
  ResetMapScreenState();
  d->map = map_;
  d->X_Pos = d->Y_Pos = 3;
  DrawHexMarker(d, 3, 3, 105);
  MotionControl* motion = StartTheMotion(map_);
  ASSERT_NE(motion, nullptr);
  d->Motion = motion;
  PlatformMessage m;
  GetGameMessage(&m, 0);
  for (int i = 0; i < 1000 && Frames() < 2; i++) HeadlessAdvance(5);
  ASSERT_GE(Frames(), 2u);
  DrawHexMarker(d, 3, 3, 6);
  // The clock runs on as long as the whole animation would take.
  for (int i = 0; i < 200; i++) HeadlessAdvance(5);
  SettledFrames();
  LockMotion(motion);
  size_t i = 0, left = 0;
  for (int32_t y = y1; y <= y2; y++)
    for (int32_t x = x1; x <= x2; x++, i++) {
      const int32_t now = ReadPixel(rp, x, y);
      if (now != ground[i] && (now == 0 || now == 1 || now == 105) && ++left <= 5)
        ADD_FAILURE() << "pen " << now << " at " << x << "," << y << ", the ground's " << ground[i];
    }
  EXPECT_EQ(left, 0u);
  UnlockMotion(motion);
  StopTheMotion(motion);
  d->Motion = nullptr;
  ResetMapScreenState();
}

TEST_P(MotionThread, StartFailuresLeaveNothing) {
  ASSERT_NE(Open({{77, 1003, 2, kHexX, kHexY}}), nullptr);
  const int objects = NamedObjectCount();
  uint64_t allocated = MemAllocatedCounter_SS.load(), freed = MemFreedCounter_SS.load();
  MapState().availMem = Short;
  EXPECT_EQ(StartTheMotion(map_), nullptr);
  MapState().availMem = Plenty;
  for (int n = 0; n < 3; n++) {
    AllocVecFailAfter(n);
    EXPECT_EQ(StartTheMotion(map_), nullptr) << n;
    AllocVecFailAfter(-1);
  }
  MapState().startThread = [](const char*, int (*)(void*), void*) -> QoeThread* { return nullptr; };
  EXPECT_EQ(StartTheMotion(map_), nullptr);
  EXPECT_EQ(NamedObjectCount(), objects);
  EXPECT_EQ(MemAllocatedCounter_SS.load() - allocated, MemFreedCounter_SS.load() - freed);
  EXPECT_EQ(Frames(), 0u);
}

TEST_P(MotionThread, ThreadAnimatesWhileTheGameThreadChangesTheView) {
  MapState().random = nullptr;
  MapState().motionPauseMs = 0;
  // Objects on every hex round the capital, own figures among them.
  std::vector<Fig> figs = ObjectsRoundTheCapital();
  for (int32_t dx = -8; dx <= 8; dx += 4) figs.push_back(Fig{kOwn, 1, 3, (uint32_t)(kCapX + dx), (uint32_t)kCapY});
  ASSERT_NE(Open(figs), nullptr);
  g_minimap = InitMiniMap(kRects);
  ASSERT_NE(g_minimap, nullptr);
  map_->AfterDraw = [](QoEMapInfo* m) { DrawMiniMap(m, g_minimap, 0, 0); };
  MotionControl* motion = StartTheMotion(map_);
  ASSERT_NE(motion, nullptr);
  for (int i = 0; i < 1000; i++) {
    LockMotion(motion);
    switch (i % 5) {
      case 0: SetPos(map_, (i / 5) % 2 ? 1 : -1, 0); break;
      case 1: SetPos(map_, 0, (i / 5) % 2 ? 1 : -1); break;
      case 2: SetPos(map_, 6, 5); SetPos(map_, -6, -5); break;
      case 3: GetLocalPeople(map_); break;
      default: map_->AfterDraw(map_); break;
    }
    UnlockMotion(motion);
    // Now and then the thread gets its turn.
    if (i % 50 == 0) WaitForAFrame();
  }
  StopTheMotion(motion);
  EXPECT_GT(Frames(), 10u);
  FreeMiniMap(g_minimap);
  g_minimap = nullptr;
  // Start/stop cycles.
  for (int i = 0; i < 1000; i++) {
    motion = StartTheMotion(map_);
    ASSERT_NE(motion, nullptr);
    if (i % 2) {
      LockMotion(motion);
      UnlockMotion(motion);
    }
    StopTheMotion(motion);
  }
}

// A screen leaving closes the map's graphics, and the game thread opens and
// closes the strips, while the motion thread draws them (no motion lock):
// each draw holds its graphics open for itself, so none goes underneath it.
TEST_P(MotionThread, ThreadDrawsWhileTheGameThreadOpensAndClosesItsGraphics) {
  MapState().random = nullptr;
  MapState().motionPauseMs = 0;
  ASSERT_NE(Open(ObjectsRoundTheCapital()), nullptr);
  MotionControl* motion = StartTheMotion(map_);
  ASSERT_NE(motion, nullptr);
  for (int i = 0; i < 200; i++) {
    LadeFigurenGfx(0);
    for (uint32_t id = 884; id <= 890; id++) ASSERT_EQ(OpenElmorGfx(kMapPicIndex, id), 1) << id;
    for (uint32_t id = 884; id <= 890; id++) CloseElmorGfx(id);
    if (i % 10 == 0) WaitForAFrame();
  }
  StopTheMotion(motion);
  EXPECT_GT(Frames(), 10u);
  // Only the map's own opens are left, and they go with LadeFigurenGfx.
  for (uint32_t id = 884; id <= 890; id++) EXPECT_LE(ElmorGfxOpenCount(id), 1u) << id;
  LadeFigurenGfx(0);
  for (uint32_t id = 884; id <= 890; id++) EXPECT_EQ(ElmorGfxOpenCount(id), 0u) << id;
}

INSTANTIATE_TEST_SUITE_P(Depths, MotionThread, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                           return i.param == 0 ? std::string("Depth8") : std::string("Depth32");
                         });

}  // namespace
