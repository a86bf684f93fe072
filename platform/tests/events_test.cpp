#include "platform/events.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform_internal.h"
#include "platform/threads.h"
#include "tests/support/log_lines.h"

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

// A queue full of wake-ups and ticks still takes every key, character,
// click, mouse move and the close, behind what waits and in the order they
// came; the wake-ups and ticks beyond the limit are refused.
TEST(EventQueue, FullQueueOfWakeUpsStillTakesInputInOrder) {
  FakeClockScope clock;
  ASSERT_EQ(PostKeyMessage(kMsgKeyDown, 'A', 0, 0), 1);
  for (uint32_t i = 1; i < kEventQueueLimit; i++)
    ASSERT_EQ(i % 2 ? PostAppMessage(i) : PostTimerMessage(kTimerGameTick), 1) << i;
  EXPECT_EQ(PostAppMessage(1), 0);
  EXPECT_EQ(PostTimerMessage(kTimerCursor), 0);
  EXPECT_EQ(PostTextMessage('a'), 1);
  EXPECT_EQ(PostKeyMessage(kMsgKeyUp, 'A', 0, 0), 1);
  EXPECT_EQ(PostAppMessage(2), 0);
  EXPECT_EQ(PostMouseMoveMerged(5, 6, 0), 1);
  EXPECT_EQ(PostMouseMessage(kMsgLeftDown, 5, 6, kButtonLeft), 1);
  EXPECT_EQ(PostMouseMessage(kMsgLeftUp, 5, 6, 0), 1);
  EXPECT_EQ(PostMouseMessage(kMsgRightDown, 7, 8, kButtonRight), 1);
  EXPECT_EQ(PostMouseMessage(kMsgRightUp, 7, 8, 0), 1);
  EXPECT_EQ(PostKeyMessage(kMsgKeyDown, kKeyEnter, 0, 13), 1);
  EXPECT_EQ(PostQuitMessage(), 1);
  EXPECT_EQ(GameMessagesWaiting(), (int)kEventQueueLimit + 9);
  EXPECT_EQ(PostTimerMessage(kTimerCursor), 0);  // still full
  const uint32_t want[] = {kMsgKeyDown, kMsgText,   kMsgKeyUp,    kMsgMouseMove, kMsgLeftDown,
                           kMsgLeftUp,  kMsgRightDown, kMsgRightUp, kMsgKeyDown,   kMsgQuit};
  std::vector<PlatformMessage> input;
  PlatformMessage m;
  uint32_t others = 0;
  while (GetGameMessage(&m, 0)) {
    if (m.kind == kMsgApp || m.kind == kMsgTimer) {
      EXPECT_EQ(input.size(), 1u) << "a wake-up or tick behind the input";
      others++;
    } else {
      input.push_back(m);
    }
  }
  EXPECT_EQ(others, kEventQueueLimit - 1);
  ASSERT_EQ(input.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < input.size(); i++) EXPECT_EQ(input[i].kind, want[i]) << i;
  EXPECT_EQ(input[1].ch, uint32_t{'a'});
  EXPECT_EQ(input[4].x, 5);
  EXPECT_EQ(input[6].buttons, uint32_t{kButtonRight});
  EXPECT_EQ(input[8].key, uint32_t{kKeyEnter});
  EXPECT_EQ(PostTimerMessage(kTimerCursor), 1);
}

// Every refused message is counted in the log: each kind at most one line
// a second, with how many went since its last line.
TEST(EventQueue, DropsAreLoggedWithTheirCountOnceASecondPerKind) {
  FakeClockScope clock;
  qoe_test::LogLines log;
  for (uint32_t i = 0; i < kEventQueueLimit; i++) ASSERT_EQ(PostAppMessage(i), 1);
  const std::string app = "Warteschlange voll, ", app_kind = " Nachrichten der Art 10 verworfen",
                    tick_kind = " Nachrichten der Art 9 verworfen";
  EXPECT_EQ(PostAppMessage(0), 0);
  EXPECT_EQ(PostTimerMessage(kTimerGameTick), 0);
  EXPECT_EQ(log.Count(app + "1" + app_kind), 1);
  EXPECT_EQ(log.Count(app + "1" + tick_kind), 1);
  g_fake_now = 500;
  for (int i = 0; i < 5; i++) EXPECT_EQ(PostAppMessage(0), 0);
  EXPECT_EQ(PostTimerMessage(kTimerGameTick), 0);
  EXPECT_EQ(log.Count("Warteschlange voll"), 2);
  g_fake_now = 1000;
  EXPECT_EQ(PostAppMessage(0), 0);
  EXPECT_EQ(log.Count(app + "6" + app_kind), 1);
  EXPECT_EQ(log.Count(app + "1" + tick_kind), 2);
  EXPECT_EQ(log.Count("Warteschlange voll"), 4);
  g_fake_now = 1500;
  EXPECT_EQ(PostAppMessage(0), 0);
  EXPECT_EQ(log.Count("Warteschlange voll"), 4);
  // The queue has room again: the wake-up still owed is logged with the
  // next post once its second is over.
  PlatformMessage m;
  ASSERT_EQ(GetGameMessage(&m, 0), 1);
  EXPECT_EQ(PostKeyMessage(kMsgKeyDown, 'B', 0, 0), 1);
  EXPECT_EQ(log.Count("Warteschlange voll"), 4);
  g_fake_now = 2000;
  EXPECT_EQ(PostKeyMessage(kMsgKeyUp, 'B', 0, 0), 1);
  EXPECT_EQ(log.Count(app + "1" + app_kind), 2);
  EXPECT_EQ(log.Count("Warteschlange voll"), 5);
  EXPECT_EQ(PostTextMessage('b'), 1);
  EXPECT_EQ(log.Count("Warteschlange voll"), 5);
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
