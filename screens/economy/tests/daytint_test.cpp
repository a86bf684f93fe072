// The day and night tint: the target table at every boundary, the steps,
// CheckSysTime with an injected local time on the 8-bit display (the
// palette, the lights, memory failures) and its absence at depth 32.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/headless.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/input.h"
#include "screens/common/screenbase.h"
#include "screens/economy/stadt.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

uint32_t g_minutes = 12 * 60;
uint32_t FakeClock() { return g_minutes; }

TEST(DayTint, TargetAtEveryBoundary) {
  struct {
    uint32_t h, m, target;
  } const kCases[] = {
      {0, 0, 60},   {3, 59, 60},  {4, 0, 50},   {4, 29, 50},  {4, 30, 40},  {4, 59, 40},  {5, 0, 30},
      {5, 29, 30},  {5, 30, 20},  {5, 59, 20},  {6, 0, 10},   {6, 29, 10},  {6, 30, 5},   {6, 59, 5},
      {7, 0, 0},    {18, 59, 0},  {19, 0, 5},   {19, 29, 5},  {19, 30, 10}, {19, 59, 10}, {20, 0, 20},
      {20, 29, 20}, {20, 30, 30}, {20, 59, 30}, {21, 0, 40},  {21, 29, 40}, {21, 30, 50}, {21, 59, 50},
      {22, 0, 60},  {23, 59, 60},
  };
  for (const auto& c : kCases) EXPECT_EQ(TintTarget(c.h * 60 + c.m), c.target) << c.h << ":" << c.m;
}

TEST(DayTint, StepsOfFiveOrAJump) {
  EXPECT_EQ(TintStep(0, 60), 60u);   // darkening by more than 5 jumps
  EXPECT_EQ(TintStep(60, 0), 55u);   // brightening steps (signed: 60 >= -5)
  EXPECT_EQ(TintStep(5, 10), 10u);
  EXPECT_EQ(TintStep(10, 20), 20u);
  EXPECT_EQ(TintStep(20, 20), 20u);
  EXPECT_EQ(TintStep(5, 0), 0u);
}

class DayTintRun : public testing::Test {
 protected:
  void Open(uint32_t mode) {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_EQ(HeadlessOpenDisplay(mode), 1);
    ResetInputState();
    ASSERT_EQ(OpenScreenPicture(&base_, 2, 0), 1);
    WaitTransition();
    untinted_ = *ScreenPalette();
    SetLocalTimeSource(FakeClock);
  }
  void TearDown() override {
    SetLocalTimeSource(nullptr);
    AllocVecFailAfter(-1);
    FreeVec(d_.savedPalette);
    CloseScreenBase(&base_, 0);
    ResetPictureManagerState();
    ResetTextState();
    HeadlessCloseDisplay();
  }
  // Colour 36 + k darkened to level (each component).
  bool Darkened(uint32_t level) const {
    const PaletteCopy* p = ScreenPalette();
    for (uint32_t n = 36; n < 256; ++n) {
      const PaletteColor& o = untinted_.Colors[n];
      const PaletteColor& c = p->Colors[n];
      if (c.Red != o.Red * (100 - level) / 100 || c.Green != o.Green * (100 - level) / 100 ||
          c.Blue != o.Blue * (100 - level) / 100)
        return false;
    }
    for (uint32_t n = 0; n < 36; ++n)
      if (std::memcmp(&p->Colors[n], &untinted_.Colors[n], 3) != 0) return false;
    return true;
  }
  int32_t Pen(int x, int y) { return ReadPixel(ScreenRastPort(), x, y); }
  ScreenBase base_;
  StadtScreenData d_{};
  PaletteCopy untinted_{};
};

TEST_F(DayTintRun, NightAtOnceThenMorningStepByStep) {
  Open(0);
  SetAPen(ScreenRastPort(), 0);  // dark where the lights go
  RectFill(ScreenRastPort(), 420, 130, 580, 290);
  ASSERT_EQ(Pen(521, 268), 0);
  g_minutes = 23 * 60;
  ASSERT_EQ(CheckSysTime(&d_, 1), 1);  // before the transition: 60 at once, with the lights
  EXPECT_EQ(d_.tintLevel, 60);
  EXPECT_EQ(d_.lightsDrawn, 1u);
  EXPECT_EQ(Pen(521, 268), 7);
  EXPECT_EQ(Pen(427, 137), 7);
  EXPECT_TRUE(Darkened(60));
  g_minutes = 7 * 60;
  for (uint32_t want = 55;; want -= 5) {
    ASSERT_EQ(CheckSysTime(&d_, 0), 1);
    EXPECT_EQ(d_.tintLevel, want);
    EXPECT_TRUE(Darkened(want)) << want;
    if (want == 0) break;
  }
  EXPECT_EQ(d_.lightsDrawn, 1u);  // the lights stay
  EXPECT_EQ(Pen(521, 268), 7);
  // Evening: from 5 a step to 10, from 10 a jump to 20.
  g_minutes = 19 * 60 + 30;
  d_.tintLevel = 5;
  CheckSysTime(&d_, 0);
  EXPECT_EQ(d_.tintLevel, 10);
  g_minutes = 20 * 60;
  CheckSysTime(&d_, 0);
  EXPECT_EQ(d_.tintLevel, 20);
  EXPECT_TRUE(Darkened(20));
}

TEST_F(DayTintRun, NoonAllocatesNothingAndAFailedAllocationKeepsThePalette) {
  Open(0);
  g_minutes = 12 * 60;
  const uint64_t allocated = MemAllocatedCounter_SS.load();
  EXPECT_EQ(CheckSysTime(&d_, 1), 1);
  EXPECT_EQ(MemAllocatedCounter_SS.load(), allocated);
  EXPECT_EQ(d_.savedPalette, nullptr);
  // 21:00: the level moves to 40, the palette cannot follow.
  g_minutes = 21 * 60;
  qoe_test::LogLines log;
  AllocVecFailAfter(0);
  EXPECT_EQ(CheckSysTime(&d_, 0), 0);
  AllocVecFailAfter(-1);
  EXPECT_TRUE(log.Has("CheckSysTime : Konnte Speicher nicht allokieren"));
  EXPECT_EQ(d_.tintLevel, 40);
  EXPECT_TRUE(Darkened(0));
  // The saved palette is made, the darkened table is not.
  AllocVecFailAfter(1);
  EXPECT_EQ(CheckSysTime(&d_, 0), 0);
  AllocVecFailAfter(-1);
  EXPECT_NE(d_.savedPalette, nullptr);
  EXPECT_TRUE(Darkened(0));
  // The next call darkens, although the level is already at its target.
  EXPECT_EQ(CheckSysTime(&d_, 0), 1);
  EXPECT_EQ(d_.tintLevel, 40);
  EXPECT_TRUE(Darkened(40));
}

TEST_F(DayTintRun, Depth32NeverTints) {
  Open(4);
  g_minutes = 23 * 60;
  EXPECT_EQ(CheckSysTime(&d_, 1), 1);
  EXPECT_EQ(d_.tintLevel, 0);
  EXPECT_EQ(d_.lightsDrawn, 0u);
  EXPECT_EQ(d_.savedPalette, nullptr);
  EXPECT_TRUE(Darkened(0));
}

}  // namespace
