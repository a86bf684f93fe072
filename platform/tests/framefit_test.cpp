// The frame of a display mode in a window of another size: its place, the
// window pixels a frame rectangle covers, and the frame pixel under the
// pointer.
#include "platform/framefit.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct FitCase {
  uint32_t fw, fh, ww, wh;
  int32_t x, y, w, h;
  int scales;
};

const FitCase kFits[] = {
    {1024, 768, 800, 600, 0, 0, 800, 600, 1},      // a larger mode on a smaller desktop
    {800, 600, 1024, 768, 0, 0, 1024, 768, 1},     // a smaller one on a larger desktop
    {800, 600, 1280, 1024, 0, 32, 1280, 960, 1},   // a taller desktop: bars above and below
    {640, 480, 1920, 1080, 240, 0, 1440, 1080, 1}, // a wider one: bars left and right
    {1024, 768, 1024, 768, 0, 0, 1024, 768, 0},    // the mode's own size
    {800, 600, 0, 0, 0, 0, 800, 600, 0},           // no window size known
};

// Window pixel d of a view of v pixels shows frame pixel floor((d + 1/2) f / v).
int32_t Shown(int32_t d, int32_t f, int32_t v) { return int32_t((2 * int64_t(d) + 1) * f / (2 * int64_t(v))); }

}  // namespace

TEST(FrameFit, PlacesTheFrameCoversItsRectanglesAndMapsThePointerBack) {
  for (const FitCase& c : kFits) {
    SCOPED_TRACE(testing::Message() << c.fw << "x" << c.fh << " in " << c.ww << "x" << c.wh);
    const FrameFit f = FitFrame(c.fw, c.fh, c.ww, c.wh);
    EXPECT_EQ(f.x, c.x);
    EXPECT_EQ(f.y, c.y);
    EXPECT_EQ(f.w, c.w);
    EXPECT_EQ(f.h, c.h);
    EXPECT_EQ(FrameFitScales(f), c.scales);
    // Every window column and row of the view shows the frame pixel of the
    // rule; the pointer there points at it; the bars point at the edges.
    for (int32_t d = 0; d < f.w; d++) {
      int32_t fx, fy;
      WindowPointInFrame(f, f.x + d, f.y, &fx, &fy);
      ASSERT_EQ(fx, Shown(d, int32_t(c.fw), f.w));
      ASSERT_EQ(fy, 0);
    }
    for (int32_t d = 0; d < f.h; d++) ASSERT_EQ(FrameRowAt(f, d), Shown(d, int32_t(c.fh), f.h));
    int32_t fx, fy;
    WindowPointInFrame(f, f.x - 5, f.y + f.h + 5, &fx, &fy);
    EXPECT_EQ(fx, 0);
    EXPECT_EQ(fy, int32_t(c.fh) - 1);
    // A rectangle's window rectangle holds exactly the window pixels that
    // show one of its pixels (a movie's rectangle, the whole frame).
    const int32_t rects[][4] = {{10, 10, 32, 16}, {0, 0, int32_t(c.fw), int32_t(c.fh)}, {int32_t(c.fw) - 7, 3, 7, 1}};
    for (const auto& r : rects) {
      int32_t wx, wy, ww, wh;
      FrameRectInWindow(f, r[0], r[1], r[2], r[3], &wx, &wy, &ww, &wh);
      ASSERT_GT(ww, 0);
      ASSERT_GT(wh, 0);
      for (int32_t d = 0; d < f.w; d++) {
        const int32_t s = FrameColumnAt(f, d);
        const bool in_rect = s >= r[0] && s < r[0] + r[2], in_window = f.x + d >= wx && f.x + d < wx + ww;
        ASSERT_EQ(in_rect, in_window) << "column " << d;
      }
      for (int32_t d = 0; d < f.h; d++) {
        const int32_t s = FrameRowAt(f, d);
        const bool in_rect = s >= r[1] && s < r[1] + r[3], in_window = f.y + d >= wy && f.y + d < wy + wh;
        ASSERT_EQ(in_rect, in_window) << "row " << d;
      }
    }
    // Outside the frame: nothing.
    int32_t wx, wy, ww, wh;
    FrameRectInWindow(f, int32_t(c.fw), 0, 10, 10, &wx, &wy, &ww, &wh);
    EXPECT_EQ(ww, 0);
    EXPECT_EQ(wh, 0);
  }
}
