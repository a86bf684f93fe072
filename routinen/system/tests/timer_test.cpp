#include "routinen/system/timer.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"

namespace {

timeval Tv(long s, long us) {
  timeval t;
  t.tv_sec = s;
  t.tv_usec = us;
  return t;
}

}  // namespace

TEST(Timer, AddAndSubCarryTheMicroseconds) {
  timeval a = Tv(1, 700000), b = Tv(2, 600000);
  AddTime(&a, &b);
  EXPECT_EQ(a.tv_sec, 4);
  EXPECT_EQ(a.tv_usec, 300000);
  SubTime(&a, &b);
  EXPECT_EQ(a.tv_sec, 1);
  EXPECT_EQ(a.tv_usec, 700000);
  timeval c = Tv(0, 0), d = Tv(0, 1);
  SubTime(&c, &d);  // signed: one microsecond before zero
  EXPECT_EQ(c.tv_sec, -1);
  EXPECT_EQ(c.tv_usec, 999999);
  AddTime(&c, &d);
  EXPECT_EQ(c.tv_sec, 0);
  EXPECT_EQ(c.tv_usec, 0);
  // A frame period of 1,000,000 / fps microseconds adds up to whole seconds.
  timeval due = Tv(10, 0), period = Tv(0, 1000000 / 25);
  for (int i = 0; i < 25; i++) AddTime(&due, &period);
  EXPECT_EQ(due.tv_sec, 11);
  EXPECT_EQ(due.tv_usec, 0);
  AddTime(nullptr, &period);
  SubTime(&due, nullptr);
  EXPECT_EQ(due.tv_sec, 11);
}

TEST(Timer, CmpTimeSignIsInverted) {
  timeval early = Tv(5, 10), late = Tv(5, 11), neg = Tv(-1, 999999);
  EXPECT_EQ(CmpTime(&late, &early), -1);
  EXPECT_EQ(CmpTime(&early, &late), 1);
  EXPECT_EQ(CmpTime(&early, &early), 0);
  EXPECT_EQ(CmpTime(&neg, &early), 1);
  timeval zero = Tv(0, 0);
  EXPECT_EQ(CmpTime(&zero, &neg), -1);
  std::vector<std::string> lines;
  DebugLogSetStderr(0);
  DebugLogSetHook([](const char* l, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(l); }, &lines);
  EXPECT_EQ(CmpTime(nullptr, &early), 0);
  EXPECT_EQ(CmpTime(&early, nullptr), 0);
  DebugLogSetHook(nullptr, nullptr);
  DebugLogSetStderr(1);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "CmpTime: Der uebergebene timeval ptr ist nicht valid!\n");
}

TEST(Timer, SysTimeNeverGoesBackAndDelayWaitsWholeTicks) {
  timeval t0, t1, t2;
  GetSysTime(&t0);
  EXPECT_NE(t0.tv_sec | t0.tv_usec, 0);
  EXPECT_GE(t0.tv_usec, 0);
  EXPECT_LT(t0.tv_usec, 1000000);
  Delay(0);
  Delay(-5);
  GetSysTime(&t1);
  EXPECT_NE(CmpTime(&t1, &t0), 1);
  Delay(2);  // at least 40 ms
  GetSysTime(&t2);
  SubTime(&t2, &t1);
  timeval min = Tv(0, 40000);
  EXPECT_NE(CmpTime(&t2, &min), 1);
}

TEST(Zufall, StaysInRangeAndCoversIt) {
  ZufallSeed(123);
  std::set<uint32_t> seen;
  for (int i = 0; i < 2000; i++) {
    uint32_t v = Zufall(6);
    ASSERT_LE(v, 6u);
    seen.insert(v);
  }
  EXPECT_EQ(seen.size(), 7u);
  for (int i = 0; i < 100; i++) ASSERT_EQ(Zufall(0), 0u);
  seen.clear();
  for (int i = 0; i < 200; i++) seen.insert(Zufall(1));
  EXPECT_EQ(seen, (std::set<uint32_t>{0, 1}));
  // The largest n takes the generator's value as it is: no division by zero.
  bool high = false;
  for (int i = 0; i < 200; i++) high |= Zufall(0xFFFFFFFFu) > 0x80000000u;
  EXPECT_TRUE(high);
  for (int i = 0; i < 200; i++) ASSERT_LE(Zufall(0xFFFFFFFEu), 0xFFFFFFFEu);
}

TEST(Zufall, SeedRepeatsTheSequence) {
  ZufallSeed(7);
  std::vector<uint32_t> a, b;
  for (int i = 0; i < 50; i++) a.push_back(Zufall(1000000));
  ZufallSeed(7);
  for (int i = 0; i < 50; i++) b.push_back(Zufall(1000000));
  EXPECT_EQ(a, b);
  ZufallSeed(8);
  std::vector<uint32_t> c;
  for (int i = 0; i < 50; i++) c.push_back(Zufall(1000000));
  EXPECT_NE(a, c);
}

TEST(ZufallThread, ConcurrentCallsStayInRange) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([] {
      for (int i = 0; i < 5000; i++) ASSERT_LE(Zufall(9), 9u);
    });
  for (auto& th : threads) th.join();
}
