// The mouse cursor pictures of the data kit reach the platform as cursor
// images: size, hot spot, colours and transparent holes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "routinen/gui/ilbm.h"
#include "routinen/gui/pictures.h"
#include "platform/backend.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/system/input.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// The kit's picture decoded independently, as 0xAARRGGBB per pixel.
std::vector<uint32_t> KitCursor(uint32_t id, uint32_t* w, uint32_t* h) {
  char name[64];
  std::snprintf(name, sizeof name, "Gfx/Pic%04u.ilbm", id);
  std::vector<uint8_t> raw = qoe_test::ReadFileBytes(name);
  IlbmPicture pic{};
  std::vector<uint32_t> out;
  if (raw.empty() || DecodeIlbm(raw.data(), (uint32_t)raw.size(), &pic) != 1) return out;
  *w = pic.width;
  *h = pic.height;
  for (uint32_t i = 0; i < (uint32_t)pic.width * pic.height; i++) {
    const uint8_t* c = pic.palette[pic.pixels[i]];
    bool opaque = pic.mask && pic.mask[i];
    out.push_back(opaque ? 0xFF000000u | (uint32_t{c[0]} << 16) | (uint32_t{c[1]} << 8) | c[2] : 0);
  }
  FreeIlbm(&pic);
  return out;
}

class GuiCursor : public testing::Test {
 protected:
  void SetUp() override {
    DebugLogSetStderr(0);
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_EQ(HeadlessOpenDisplay(2), 1);
    ResetInputState();
  }
  void TearDown() override {
    SetMouseCursorHook(nullptr);
    LoadMouseCursor(0);
    ResetPictureManagerState();
    HeadlessCloseDisplay();
  }
};

TEST_F(GuiCursor, KitCursorsBecomeTheCursorWithTheirHoles) {
  SetMouseCursorHook(LoadElmorCursor);
  for (uint32_t id : {103u, 110u}) {
    uint32_t w = 0, h = 0;
    std::vector<uint32_t> want = KitCursor(id, &w, &h);
    ASSERT_FALSE(want.empty()) << id;
    const uint32_t before = HeadlessCursorImage(nullptr).calls;
    ASSERT_EQ(LoadMouseCursor(id), 1) << id;
    EXPECT_EQ(CurrentMouseCursor(), id);
    std::vector<uint32_t> got;
    HeadlessCursor c = HeadlessCursorImage(&got);
    EXPECT_EQ(c.calls, before + 1);
    EXPECT_EQ(c.width, 16u);
    EXPECT_EQ(c.height, 16u);
    EXPECT_EQ(c.hot_x, 0u);
    EXPECT_EQ(c.hot_y, 0u);
    EXPECT_EQ(got, want) << id;
    // The arrow's tip is opaque black, the corner opposite it a hole.
    EXPECT_EQ(got[0], 0xFF000000u);
    EXPECT_EQ(got[15], 0u);
    EXPECT_EQ(got[15 * 16 + 15], 0u);
    uint32_t holes = 0;
    for (uint32_t v : got) holes += (v >> 24) == 0;
    EXPECT_GT(holes, 100u);
    EXPECT_LT(holes, 230u);
  }
  // The two differ in their fill (white arrow, gold arrow).
  uint32_t w, h;
  EXPECT_NE(KitCursor(103, &w, &h), KitCursor(110, &w, &h));
}

TEST_F(GuiCursor, AFailedLoadKeepsTheCursor) {
  SetMouseCursorHook(LoadElmorCursor);
  ASSERT_EQ(LoadMouseCursor(103), 1);
  const uint32_t calls = HeadlessCursorImage(nullptr).calls;
  EXPECT_EQ(LoadMouseCursor(104), 0);   // no picture under this ID
  EXPECT_EQ(LoadMouseCursor(1), 0);     // a 640 x 480 picture is no cursor
  EXPECT_EQ(LoadMouseCursor(9999), 0);  // beyond the table
  EXPECT_EQ(CurrentMouseCursor(), 103u);
  EXPECT_EQ(HeadlessCursorImage(nullptr).calls, calls);
  fs::remove("Gfx/Pic0110.ilbm");
  FreeAllElmorGfx();
  EXPECT_EQ(LoadMouseCursor(110), 0);
  EXPECT_EQ(CurrentMouseCursor(), 103u);
}

TEST_F(GuiCursor, WithoutABackendNothingIsSet) {
  const PlatformBackend* b = CurrentPlatformBackend();
  SelectPlatformBackend(nullptr);
  EXPECT_EQ(LoadElmorCursor(103), 0);
  SelectPlatformBackend(b);
  EXPECT_EQ(LoadElmorCursor(103), 1);
}

}  // namespace
