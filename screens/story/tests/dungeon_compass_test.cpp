// The compass-rose thread with a recording blitter and a virtual clock: the
// frames and pauses of the eight quarter turns, a turn asked for during an
// animation, quitting while idle, and the game thread drawing under the
// semaphore while the rose turns.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "platform/threads.h"
#include "screens/story/dungeon.h"
#include "tests/support/test_support.h"

namespace {

// What the thread did, in order: "b<id>" blits, "d<ticks>" pauses (idle
// pauses of 5 ticks while nothing is asked are left out of `seen`).
struct Recorder {
  std::mutex lock;
  std::vector<std::string> seen;
  std::atomic<uint64_t> clock{0};  // virtual ticks
  std::atomic<int> inside{0};      // blits and game drawing at this moment
  std::atomic<int> overlaps{0};
  int shared = 0;                  // written only under the semaphore
  std::atomic<NavRose*> rose{nullptr};
  std::atomic<int> blits{0};
  std::atomic<int> askAt{-1};       // after this many blits, ask for 1 -> 2

  static void Blit(void* c, uint32_t id) {
    auto* r = static_cast<Recorder*>(c);
    if (r->inside.fetch_add(1)) r->overlaps.fetch_add(1);
    ++r->shared;
    {
      std::lock_guard<std::mutex> g(r->lock);
      r->seen.push_back("b" + std::to_string(id));
    }
    r->inside.fetch_sub(1);
    if (++r->blits == r->askAt.load()) NavRoseRequest(r->rose, 1, 2);
  }
  static void Delay(void* c, int32_t ticks) {
    auto* r = static_cast<Recorder*>(c);
    r->clock += (uint64_t)ticks;
    NavRose* rose = r->rose.load();
    const bool idle = !(rose && (rose->turn.load() & kNavRoseRequest));
    if (!idle) {
      std::lock_guard<std::mutex> g(r->lock);
      r->seen.push_back("d" + std::to_string(ticks));
    }
    SleepMs(1);
  }
  // An idle pause that saw a request just raised is no part of a turn: a
  // turn starts with a blit.
  std::vector<std::string> Seen() {
    std::lock_guard<std::mutex> g(lock);
    auto first = seen.begin();
    while (first != seen.end() && (*first)[0] == 'd') ++first;
    return std::vector<std::string>(first, seen.end());
  }
  void Clear() {
    std::lock_guard<std::mutex> g(lock);
    seen.clear();
  }
};

NavRose* Start(Recorder* r) {
  const NavRoseHooks hooks = {Recorder::Blit, Recorder::Delay, r};
  r->rose = InitNavRoseWith(&hooks);
  return r->rose;
}

void WaitIdle(NavRose* rose) {
  qoe_test::WaitUntil([&] { return (rose->turn.load() & kNavRoseRequest) == 0; });
  ASSERT_FALSE(rose->turn.load() & kNavRoseRequest);
}

// The animation of a turn as the recorder sees it.
std::vector<std::string> Expected(uint32_t from, uint32_t to) {
  uint16_t frames[10], rest;
  uint8_t pauses[10];
  std::vector<std::string> v;
  if (!NavRoseFrames(from, to, frames, pauses, &rest)) return v;
  for (int k = 0; k < 10; ++k) {
    v.push_back("b" + std::to_string(frames[k]));
    v.push_back("d" + std::to_string(pauses[k]));
  }
  v.push_back("d5");
  v.push_back("b" + std::to_string(rest));
  return v;
}

TEST(DungeonCompassThread, TheEightQuarterTurnsAndNothingElse) {
  struct Row {
    uint32_t from, to;
    std::vector<int> frames;
    int rest;
  };
  const Row rows[] = {
      {0, 3, {1558, 1559, 1560, 1561, 1562, 1563, 1564, 1565, 1566, 1567}, 1566},
      {0, 1, {1592, 1591, 1590, 1589, 1588, 1587, 1586, 1585, 1584, 1583}, 1584},
      {1, 0, {1585, 1586, 1587, 1588, 1589, 1590, 1591, 1592, 1557, 1558}, 1557},
      {1, 2, {1583, 1582, 1581, 1580, 1579, 1578, 1577, 1576, 1575, 1574}, 1575},
      {2, 1, {1576, 1577, 1578, 1579, 1580, 1581, 1582, 1583, 1584, 1585}, 1584},
      {2, 3, {1574, 1573, 1572, 1571, 1570, 1569, 1568, 1567, 1566, 1565}, 1566},
      {3, 2, {1567, 1568, 1569, 1570, 1571, 1572, 1573, 1574, 1575, 1576}, 1575},
      {3, 0, {1566, 1565, 1564, 1563, 1562, 1561, 1560, 1559, 1558, 1592}, 1557},
  };
  for (const Row& row : rows) {
    uint16_t frames[10], rest;
    uint8_t pauses[10];
    ASSERT_EQ(NavRoseFrames(row.from, row.to, frames, pauses, &rest), 10u);
    const bool rising = row.from * 4 + row.to == 3 || row.from * 4 + row.to == 4 || row.from * 4 + row.to == 9 ||
                        row.from * 4 + row.to == 14;
    for (int k = 0; k < 10; ++k) {
      EXPECT_EQ(frames[k], row.frames[k]) << row.from << "->" << row.to << " frame " << k;
      EXPECT_EQ(pauses[k], std::abs((rising ? k + 1 : 10 - k) - 5));
    }
    EXPECT_EQ(rest, row.rest);
  }
  for (uint32_t from = 0; from < 4; ++from)
    for (uint32_t to = 0; to < 4; ++to) {
      uint16_t frames[10], rest;
      uint8_t pauses[10];
      if ((from + 2) % 4 == to || from == to) { EXPECT_EQ(NavRoseFrames(from, to, frames, pauses, &rest), 0u); }
    }

  // The thread plays each table, and a pair without one shows nothing.
  Recorder r;
  NavRose* rose = Start(&r);
  ASSERT_NE(rose, nullptr);
  ASSERT_NE(rose->thread, nullptr);
  for (const Row& row : rows) {
    r.Clear();
    NavRoseRequest(rose, row.from, row.to);
    WaitIdle(rose);
    EXPECT_EQ(r.Seen(), Expected(row.from, row.to));
  }
  r.Clear();
  NavRoseRequest(rose, 0, 2);
  WaitIdle(rose);
  EXPECT_TRUE(r.Seen().empty());
  FreeNavRose(rose);
  EXPECT_EQ(r.overlaps.load(), 0);
}

TEST(DungeonCompassThread, TwoQuickRightTurnsAreShownOneAfterTheOther) {
  Recorder r;
  r.askAt = 3;  // the second turn comes while the first animates
  NavRose* rose = Start(&r);
  ASSERT_NE(rose, nullptr);
  NavRoseRequest(rose, 0, 1);
  qoe_test::WaitUntil([&] { return r.blits.load() >= 22; });
  WaitIdle(rose);
  auto expected = Expected(0, 1);
  const auto second = Expected(1, 2);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(r.Seen(), expected);
  FreeNavRose(rose);
}

TEST(DungeonCompassThread, QuitWhileIdleEndsWithinOnePause) {
  Recorder r;
  NavRose* rose = Start(&r);
  ASSERT_NE(rose, nullptr);
  while (r.clock.load() < 20) SleepMs(1);
  rose->quit.store(1);
  const uint64_t at = r.clock.load();
  FreeNavRose(rose);  // joins
  EXPECT_LE(r.clock.load() - at, 5u);  // 100 ms of virtual time at most
  EXPECT_TRUE(r.Seen().empty());
}

// The game thread draws under the semaphore while the rose turns: the two
// never draw at once, and the shared counter is only touched under it.
TEST(DungeonCompassThread, GameDrawingAndCompassShareTheSemaphore) {
  Recorder r;
  NavRose* rose = Start(&r);
  ASSERT_NE(rose, nullptr);
  NavRoseRequest(rose, 0, 1);
  int drawn = 0;
  for (int i = 0; i < 200; ++i) {
    ObtainSemaphore(rose->semaphore);
    if (r.inside.fetch_add(1)) r.overlaps.fetch_add(1);
    ++r.shared;
    ++drawn;
    r.inside.fetch_sub(1);
    ReleaseSemaphore(rose->semaphore);
    if (i == 100) NavRoseRequest(rose, 1, 0);
  }
  WaitIdle(rose);
  FreeNavRose(rose);
  EXPECT_EQ(r.overlaps.load(), 0);
  EXPECT_EQ(r.shared, drawn + r.blits.load());
}

}  // namespace
