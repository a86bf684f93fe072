#include "platform/events.h"

#include <gtest/gtest.h>

#include "platform/platform_internal.h"
#include "platform/threads.h"

namespace {
uint64_t g_fake_now = 0;
uint64_t FakeClock() { return g_fake_now; }

struct FakeClockScope {
  FakeClockScope() {
    g_fake_now = 0;
    SetPlatformClock(FakeClock);
    ResetGameMessages();
  }
  ~FakeClockScope() { ResetEventQueueState(); }
};
}  // namespace

TEST(EventQueue, KeepsOrderAndFields) {
  FakeClockScope clock;
  PostKeyMessage(kMsgKeyDown, kKeyLeft, 1, 0);
  PostTextMessage(0xE4);
  PostMouseMessage(kMsgLeftDown, 12, -3, kButtonLeft);
  PostAppMessage(77);
  PostQuitMessage();
  EXPECT_EQ(GameMessagesWaiting(), 5);
  PlatformMessage m;
  ASSERT_EQ(GetGameMessage(&m, 0), 1);
  EXPECT_EQ(m.kind, kMsgKeyDown);
  EXPECT_EQ(m.key, uint32_t{kKeyLeft});
  EXPECT_EQ(m.extended, 1u);
  ASSERT_EQ(GetGameMessage(&m, 0), 1);
  EXPECT_EQ(m.kind, kMsgText);
  EXPECT_EQ(m.ch, 0xE4u);
  ASSERT_EQ(GetGameMessage(&m, 0), 1);
  EXPECT_EQ(m.kind, kMsgLeftDown);
  EXPECT_EQ(m.x, 12);
  EXPECT_EQ(m.y, -3);
  EXPECT_EQ(m.buttons, uint32_t{kButtonLeft});
  ASSERT_EQ(GetGameMessage(&m, 0), 1);
  EXPECT_EQ(m.kind, kMsgApp);
  EXPECT_EQ(m.param, 77u);
  ASSERT_EQ(GetGameMessage(&m, 0), 1);
  EXPECT_EQ(m.kind, kMsgQuit);
  EXPECT_EQ(GetGameMessage(&m, 0), 0);
  EXPECT_EQ(GameThreadIdle(), 1);
  PostQuitMessage();
  EXPECT_EQ(GameThreadIdle(), 0);
}

TEST(EventQueue, FullQueueDropsAndRecovers) {
  FakeClockScope clock;
  for (uint32_t i = 0; i < kEventQueueLimit; i++) ASSERT_EQ(PostAppMessage(i), 1);
  EXPECT_EQ(PostAppMessage(9999), 0);
  PlatformMessage m;
  ASSERT_EQ(GetGameMessage(&m, 0), 1);
  EXPECT_EQ(m.param, 0u);
  EXPECT_EQ(PostAppMessage(5), 1);
}

TEST(EventQueue, MergedMouseMovesReplaceOnlyTheLastMove) {
  FakeClockScope clock;
  PostMouseMoveMerged(1, 1, 0);
  PostMouseMoveMerged(2, 2, 0);  // replaces
  PostMouseMoveMerged(3, 3, kButtonLeft);  // other buttons: new message
  PostMouseMessage(kMsgLeftUp, 3, 3, 0);
  PostMouseMoveMerged(4, 4, 0);
  PlatformMessage m;
  ASSERT_EQ(GameMessagesWaiting(), 4);
  GetGameMessage(&m, 0);
  EXPECT_EQ(m.x, 2);
  GetGameMessage(&m, 0);
  EXPECT_EQ(m.x, 3);
  EXPECT_EQ(m.buttons, uint32_t{kButtonLeft});
  GetGameMessage(&m, 0);
  EXPECT_EQ(m.kind, kMsgLeftUp);
  GetGameMessage(&m, 0);
  EXPECT_EQ(m.x, 4);
}

TEST(EventQueue, Utf8TextBecomesLatin1) {
  FakeClockScope clock;
  // "Aä€ß" plus a broken sequence and an overlong '/'.
  EXPECT_EQ(PostUtf8Text("A\xC3\xA4\xE2\x82\xAC\xC3\x9F\xC3x\xC0\xAF"), 4);
  const uint32_t want[] = {'A', 0xE4, 0xDF, 'x'};
  for (uint32_t w : want) {
    PlatformMessage m;
    ASSERT_EQ(GetGameMessage(&m, 0), 1);
    EXPECT_EQ(m.kind, kMsgText);
    EXPECT_EQ(m.ch, w);
  }
  EXPECT_EQ(GameMessagesWaiting(), 0);
}

TEST(EventTimers, TicksInterleaveInTimeOrder) {
  FakeClockScope clock;
  StartEventTimer(kTimerGameTick, kGameTickMs);
  StartEventTimer(kTimerCursor, kCursorBlinkMs);
  EXPECT_EQ(NextEventTimerDue(), 100u);
  g_fake_now = 800;
  EXPECT_EQ(PumpEventTimers(800, 0), 10);
  // 100 200 300 400(tick) 400(cursor) 500 ... 800(tick) 800(cursor)
  const uint32_t want[] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  const uint64_t when[] = {100, 200, 300, 400, 400, 500, 600, 700, 800, 800};
  for (int i = 0; i < 10; i++) {
    PlatformMessage m;
    ASSERT_EQ(GetGameMessage(&m, 0), 1);
    EXPECT_EQ(m.kind, kMsgTimer);
    EXPECT_EQ(m.timer, want[i]) << i;
    EXPECT_EQ(m.time_ms, when[i]) << i;
  }
  StopEventTimer(kTimerCursor);
  EXPECT_EQ(EventTimerRunning(kTimerCursor), 0);
  g_fake_now = 1000;
  EXPECT_EQ(PumpEventTimers(1000, 0), 2);
}

TEST(EventTimers, CoalescedTicksDoNotPileUp) {
  FakeClockScope clock;
  StartEventTimer(kTimerGameTick, kGameTickMs);
  g_fake_now = 5000;
  EXPECT_EQ(PumpEventTimers(5000, 1), 1);
  EXPECT_EQ(PumpEventTimers(5200, 1), 0);  // the first still waits
  EXPECT_GT(NextEventTimerDue(), 5000u);
}

namespace {
int Consumer(void* p) {
  auto* got = static_cast<int*>(p);
  PlatformMessage m;
  while (GetGameMessage(&m, -1)) {
    if (m.kind == kMsgQuit) break;
    if (m.kind == kMsgApp && m.param == static_cast<uint64_t>(*got)) (*got)++;
  }
  return 0;
}
int Producer(void* p) {
  auto* base = static_cast<int*>(p);
  for (int i = 0; i < 500; i++) PostTextMessage(static_cast<uint32_t>(*base + i));
  return 0;
}
}  // namespace

TEST(EventQueueThread, BlockingGetSeesEveryPostInOrder) {
  ResetGameMessages();
  int got = 0;
  QoeThread* t = StartThread("Game", Consumer, &got);
  for (int i = 0; i < 2000; i++) PostAppMessage(static_cast<uint64_t>(i));
  PostQuitMessage();
  JoinThread(t);
  EXPECT_EQ(got, 2000);
  ResetGameMessages();
}

TEST(EventQueueThread, PostsFromManyThreads) {
  ResetGameMessages();
  int bases[4] = {0, 0, 0, 0};
  QoeThread* t[4];
  for (auto& p : t) p = StartThread("Producer", Producer, &bases[0]);
  for (auto* p : t) JoinThread(p);
  EXPECT_EQ(GameMessagesWaiting(), 2000);
  ResetGameMessages();
}
