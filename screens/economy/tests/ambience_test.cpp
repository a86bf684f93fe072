// The ambient counter and the rain driver with a scripted random source, and
// the rain thread switching its exclusion list under ThreadSanitizer.
#include "screens/economy/ambience.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <vector>

#include "platform/threads.h"
#include "routinen/map/map.h"

namespace {

// Zufall as a script: the next value, and every n it was asked for.
std::deque<uint32_t> g_script;
std::vector<uint32_t> g_asked;
uint32_t Scripted(uint32_t n) {
  g_asked.push_back(n);
  if (g_script.empty()) return 0;
  const uint32_t v = g_script.front();
  g_script.pop_front();
  return v;
}

const uint16_t kBase[] = {183, 0, 458, 57, kRainListEnd};
const uint16_t kBox[] = {183, 0, 458, 57, 168, 180, 472, 298, kRainListEnd};

TEST(Ambience, CounterFirstLimitThenDrawnMultiples) {
  AmbientCounter c{};
  InitAmbientCounter(&c, 100, 40);
  c.random = Scripted;
  g_script = {4, 0};
  g_asked.clear();
  int fired = 0, ticks = 0;
  std::vector<int> at;
  while (fired < 3) {
    ++ticks;
    if (AmbientCounterTick(&c)) {
      ++fired;
      at.push_back(ticks);
    }
  }
  // 100, then (4 + 1) x 40 = 200 more, then (0 + 1) x 40.
  EXPECT_EQ(at, (std::vector<int>{100, 300, 340}));
  EXPECT_EQ(g_asked, (std::vector<uint32_t>{5, 5, 5}));
}

// A record fresh off the stack holds whatever was there: every byte of it
// filled with a pattern first, the Init must set every field.
template <typename T>
void FillWith(T* record, uint8_t pattern) {
  std::memset(static_cast<void*>(record), pattern, sizeof *record);
}

TEST(Ambience, InitSetsEveryFieldOfTheCounterWhateverWasThere) {
  for (const uint8_t pattern : {0x00, 0xA5, 0xFF}) {
    AmbientCounter c;
    FillWith(&c, pattern);
    InitAmbientCounter(&c, 100, 20);
    EXPECT_EQ(c.ticks, 0u) << int(pattern);
    EXPECT_EQ(c.limit, 100u) << int(pattern);
    EXPECT_EQ(c.step, 20u) << int(pattern);
    ASSERT_EQ(c.random, nullptr) << int(pattern);  // Zufall
    // A hundred ticks reach the limit and draw the next one from Zufall.
    int fired = 0;
    for (int i = 0; i < 100; ++i) fired += AmbientCounterTick(&c);
    EXPECT_EQ(fired, 1) << int(pattern);
    EXPECT_GE(c.limit, 20u);
    EXPECT_LE(c.limit, 120u);
  }
}

TEST(Ambience, InitSetsEveryFieldOfTheRainDriverWhateverWasThere) {
  for (const uint8_t pattern : {0x00, 0x5A, 0xFF}) {
    RainDriver d;
    FillWith(&d, pattern);
    InitRainDriver(&d, 2, kBase);
    EXPECT_EQ(d.counter.ticks, 0u) << int(pattern);
    EXPECT_EQ(d.counter.limit, 100u) << int(pattern);
    EXPECT_EQ(d.counter.step, 80u) << int(pattern);
    ASSERT_EQ(d.counter.random, nullptr) << int(pattern);
    EXPECT_EQ(d.weather, 2u) << int(pattern);
    EXPECT_EQ(d.baseList, kBase) << int(pattern);
    EXPECT_EQ(d.rain, nullptr) << int(pattern);
    EXPECT_EQ(d.sound, 0u) << int(pattern);
    // A hundred ticks roll once (drawn from Zufall); weather 2 rarely rains.
    for (int i = 0; i < 100; ++i) RainDriverTick(&d);
    RainDriverStop(&d);
  }
}

TEST(Ambience, RainChanceByWeather) {
  const uint32_t kChance[] = {1, 1, 2, 5, 10, 15, 20, 20, 20};
  for (uint32_t w = 0; w < 9; ++w) EXPECT_EQ(RainChance(w), kChance[w]) << w;
}

// Runs the driver to its first roll (100 ticks).
int32_t TicksToRoll(RainDriver* d) {
  int32_t started = 0;
  for (int i = 0; i < 100; ++i) started |= RainDriverTick(d);
  return started;
}

TEST(Ambience, RainRollsByChanceAndNeverTwiceAtOnce) {
  // Weather 3: chance 5. A draw of 5 (5 + 1 > 5) keeps it dry; 4 makes rain.
  RainDriver d{};
  InitRainDriver(&d, 3, kBase);
  d.counter.random = Scripted;
  g_script = {0, 5};  // next limit (0 + 1) x 80, then the roll 5: dry
  g_asked.clear();
  EXPECT_EQ(TicksToRoll(&d), 0);
  EXPECT_EQ(d.rain, nullptr);
  EXPECT_EQ(g_asked, (std::vector<uint32_t>{5, 100}));
  g_script = {0, 4, 60000};  // roll 4: a long rain, 60000 + 100 frames
  g_asked.clear();
  int32_t started = 0;
  for (int i = 0; i < 80; ++i) started |= RainDriverTick(&d);
  EXPECT_EQ(started, 1);
  ASSERT_NE(d.rain, nullptr);
  EXPECT_EQ(g_asked, (std::vector<uint32_t>{5, 100, 500}));
  // While it runs nothing counts and nothing rolls.
  g_asked.clear();
  for (int i = 0; i < 500; ++i) EXPECT_EQ(RainDriverTick(&d), 0);
  EXPECT_TRUE(g_asked.empty());
  // The list follows every box and comes back.
  RainDriverBox(&d, kBox);
  RainDriverBox(&d, nullptr);
  RainDriverStop(&d);
  EXPECT_EQ(d.rain, nullptr);
  EXPECT_EQ(d.sound, 0u);
}

TEST(Ambience, AFinishedRainIsEndedBeforeTheNextRoll) {
  RainDriver d{};
  InitRainDriver(&d, 6, kBase);
  d.counter.random = Scripted;
  g_script = {0, 19, 0};  // chance 20 >= 19 + 1: rain of 0 + 100 frames
  ASSERT_EQ(TicksToRoll(&d), 1);
  RainControl* first = d.rain;
  ASSERT_NE(first, nullptr);
  while (IsRainRunning(first)) SleepMs(5);  // 50 frames of 2 ms
  EXPECT_EQ(d.rain, first);
  g_script = {};
  RainDriverTick(&d);  // ends the finished rain
  EXPECT_EQ(d.rain, nullptr);
  RainDriverStop(&d);
  RainDriverStop(&d);  // twice is harmless
}

// The game thread switches the list while the rain thread draws with it.
TEST(AmbienceThread, RainSwitchesItsListAThousandTimes) {
  RainControl* rain = StartTheRain(60000, kBase);
  ASSERT_NE(rain, nullptr);
  for (int i = 0; i < 1000; ++i) {
    SetRainRectangles(rain, i % 2 ? kBase : kBox);
    if (i % 50 == 0) SleepMs(1);
  }
  StopTheRain(rain);
}

}  // namespace
