// The rain thread on the headless display at both depths: the screen is
// byte-identical after a rain that runs out and after a stop, dry rectangles
// stay dry (also after a switch), drops start apart; start/stop cycles.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/display.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/map_internal.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

namespace {

class RainThread : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ASSERT_EQ(OpenScreenRastPort(), 1);
    ResetMapEngineState();
    MapState().rainFrameMs = 0;
    rp_ = ScreenRastPort();
    ASSERT_NE(rp_, nullptr);
    // Every pen a colour of its own.
    std::vector<uint32_t> table(2 + 256 * 3 + 1, 0);
    uint16_t head[2] = {256, 0};
    std::memcpy(table.data(), head, 4);
    for (uint32_t pen = 0; pen < 256; pen++) {
      table[1 + pen * 3] = pen << 24;
      table[2 + pen * 3] = (255 - pen) << 24;
      table[3 + pen * 3] = ((pen * 7) & 0xFF) << 24;
    }
    LoadRGB32(nullptr, table.data());
    const uint8_t pen = 10;
    rain_ = 10;
    if (rp_->Bitmap->Depth != 8) ConvertRGBToFormat(BitMapPixelFormat(rp_->Bitmap), &pen, &rain_, 1);
    // A busy background: every pixel a pen of its own position.
    for (int32_t y = 0; y < 480; y++)
      for (int32_t x = 0; x < 640; x++) {
        SetAPen(rp_, (uint32_t)((x / 7 + y / 5) % 200 + 20));
        WritePixel(rp_, x, y);
      }
  }
  void TearDown() override {
    ResetMapEngineState();
    CloseScreenRastPort();
    ResetPictureManagerState();
    HeadlessCloseDisplay();
  }
  // The tests read the screen as the display does: under the display mutex.
  struct Locked {
    Locked() { ObtainMutex(DisplayMutex()); }
    ~Locked() { ReleaseMutex(DisplayMutex()); }
  };
  std::vector<uint8_t> Screen() const {
    Locked l;
    const BitMap* bm = rp_->Bitmap;
    return std::vector<uint8_t>(bm->Pixels, bm->Pixels + (size_t)bm->BytesPerRow * 480);
  }
  // Bytes of the screen rows y1..y2 (inclusive) of columns x1..x2.
  std::vector<uint8_t> Area(int32_t x1, int32_t y1, int32_t x2, int32_t y2) const {
    Locked l;
    const BitMap* bm = rp_->Bitmap;
    uint32_t bpp = bm->Depth == 8 ? 1 : 4;
    std::vector<uint8_t> out;
    for (int32_t y = y1; y <= y2; y++) {
      const uint8_t* row = bm->Pixels + (size_t)y * bm->BytesPerRow;
      out.insert(out.end(), row + x1 * bpp, row + (x2 + 1) * bpp);
    }
    return out;
  }
  // Rain pixels on every fourth row (a streak is 16 rows long).
  int RainPixels(int32_t y1, int32_t y2) const {
    Locked l;
    const BitMap* bm = rp_->Bitmap;
    int n = 0;
    for (int32_t y = y1; y <= y2; y += 4)
      for (int32_t x = 0; x < 640; x++) {
        uint32_t v = 0;
        if (bm->Depth == 8)
          v = bm->Pixels[(size_t)y * bm->BytesPerRow + x];
        else
          std::memcpy(&v, bm->Pixels + (size_t)y * bm->BytesPerRow + x * 4, 4);
        n += v == rain_;
      }
    return n;
  }
  // The rain runs on the headless virtual clock: the test thread stands for
  // a game thread that waits on an empty queue, and the clock moves on by
  // ms, the rain drawing each frame that falls due.
  static void Advance(uint64_t ms) {
    PlatformMessage m;
    GetGameMessage(&m, 0);
    HeadlessAdvance(ms);
  }
  RastPort* rp_ = nullptr;
  uint32_t rain_ = 0;
};

TEST_P(RainThread, RunsOutAndStopsWithTheScreenAsBefore) {
  const std::vector<uint8_t> before = Screen();
  RainControl* rain = StartTheRain(400, nullptr);
  ASSERT_NE(rain, nullptr);
  while (IsRainRunning(rain)) SleepMs(1);
  uint32_t run = 0, at_stop = 0;
  RainFrameCounts(rain, &run, &at_stop);
  EXPECT_EQ(run, 350u);
  StopTheRain(rain);
  EXPECT_EQ(Screen(), before);

  // A long rain seen falling, then stopped: at most nine more frames.
  MapState().rainFrameMs = 1;
  rain = StartTheRain(60000, nullptr);
  ASSERT_NE(rain, nullptr);
  int seen = 0;
  for (int i = 0; i < 2000 && !seen; i++) {
    seen = RainPixels(0, 479);
    Advance(1);
  }
  EXPECT_GT(seen, 0);
  StopTheRain(rain);
  EXPECT_LE(MapState().rainFramesAfterStop.load(), 9u);
  EXPECT_GE(MapState().rainFramesAfterStop.load(), 8u);
  EXPECT_EQ(Screen(), before);
  // Null controls are ignored.
  StopTheRain(nullptr);
  EXPECT_EQ(IsRainRunning(nullptr), 0);
  SetRainRectangles(nullptr, nullptr);
}

TEST_P(RainThread, DryRectanglesStayDryAndDropsStillFall) {
  const std::vector<uint8_t> before = Screen();
  // The top half is dry: drops start there (rows 21..61), are never drawn
  // there, and still fall into the wet bottom half, where they are seen.
  static const uint16_t top[] = {0, 0, 639, 239, 0xFFFF, 0, 0, 0};
  const std::vector<uint8_t> top_before = Area(0, 0, 639, 239);
  MapState().rainFrameMs = 1;
  RainControl* rain = StartTheRain(400, top);
  ASSERT_NE(rain, nullptr);
  int below = 0;
  for (int i = 0; i < 3000 && IsRainRunning(rain); i++) {
    EXPECT_EQ(RainPixels(0, 239), 0);
    below += RainPixels(240, 479) > 0;
    Advance(1);
  }
  EXPECT_GT(below, 0);
  EXPECT_EQ(Area(0, 0, 639, 239), top_before);
  StopTheRain(rain);
  EXPECT_EQ(Screen(), before);
}

TEST_P(RainThread, SwitchedListKeepsABoxDrawnAfterTheSwitch) {
  MapState().rainFrameMs = 1;
  RainControl* rain = StartTheRain(60000, nullptr);
  ASSERT_NE(rain, nullptr);
  while (RainPixels(200, 400) == 0) Advance(1);
  static const uint16_t box[] = {100, 150, 539, 430, 0xFFFF, 0, 0, 0};
  SetRainRectangles(rain, box);
  // The requester's box, drawn at once after the switch.
  {
    Locked l;
    for (int32_t y = 150; y <= 430; y++)
      for (int32_t x = 100; x <= 539; x++) {
        SetAPen(rp_, (uint32_t)((x ^ y) & 0x3F) + 100);
        WritePixel(rp_, x, y);
      }
  }
  const std::vector<uint8_t> drawn = Area(100, 150, 539, 430);
  uint32_t run = 0, at_stop = 0;
  RainFrameCounts(rain, &run, &at_stop);
  const uint32_t until = run + 60;
  while (run < until) {
    EXPECT_EQ(Area(100, 150, 539, 430), drawn);
    Advance(2);
    RainFrameCounts(rain, &run, &at_stop);
  }
  StopTheRain(rain);
  EXPECT_EQ(Area(100, 150, 539, 430), drawn);
}

TEST_P(RainThread, DropsStartApart) {
  // A source that keeps offering the same few spots: the placement draws
  // again until a spot is free of every other drop's window.
  static uint32_t calls;
  calls = 0;
  MapState().random = [](uint32_t n) -> uint32_t { return (calls++ * 37u) % (n + 1) % (n == 640 ? 500u : 41u); };
  int16_t x[50], y[50];
  PlaceRainDropsForTest(x, y);
  for (int i = 0; i < 50; i++) {
    EXPECT_GE(y[i], 21);
    EXPECT_LE(y[i], 61);
    for (int j = 0; j < 50; j++) {
      if (i == j) continue;
      bool near = x[j] >= x[i] - 5 && x[j] <= x[i] + 3 && y[j] >= y[i] - 80 && y[j] <= y[i] + 80;
      EXPECT_FALSE(near) << i << " " << j;
    }
  }
}

TEST_P(RainThread, FailuresLeaveNothing) {
  uint64_t allocated = MemAllocatedCounter_SS.load(), freed = MemFreedCounter_SS.load();
  AllocVecFailAfter(0);
  EXPECT_EQ(StartTheRain(100, nullptr), nullptr);
  AllocVecFailAfter(-1);
  MapState().startThread = [](const char*, int (*)(void*), void*) -> QoeThread* { return nullptr; };
  EXPECT_EQ(StartTheRain(100, nullptr), nullptr);
  EXPECT_EQ(MemAllocatedCounter_SS.load() - allocated, MemFreedCounter_SS.load() - freed);
}

TEST_P(RainThread, ThreadStartStopCyclesAndSwitches) {
  const std::vector<uint8_t> before = Screen();
  static const uint16_t a[] = {0, 0, 319, 479, 0xFFFF, 0, 0, 0};
  static const uint16_t b[] = {320, 0, 639, 479, 0xFFFF, 0, 0, 0};
  for (int i = 0; i < 1000; i++) {
    RainControl* rain = StartTheRain((uint16_t)(55 + i % 40), (i & 1) ? a : nullptr);
    ASSERT_NE(rain, nullptr);
    if (i % 3 == 0) SetRainRectangles(rain, (i & 2) ? a : b);
    StopTheRain(rain);
  }
  EXPECT_EQ(Screen(), before);
}

INSTANTIATE_TEST_SUITE_P(Depths, RainThread, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                           return i.param == 0 ? std::string("Depth8") : std::string("Depth32");
                         });

}  // namespace
