// The map screen in OpenGL mode on an 800 x 600 display, on a real GL
// context: it draws into its display-sized bitmap, which the frame shows as
// the object list's first entry at (0, 0), pixel for pixel as that bitmap
// (what the 2D renderer shows); behind the next screen's 640 x 480 entry the
// map stays as the backdrop; its release takes the entry away.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/map_realm.h"
#include "tests/support/test_support.h"

namespace {

constexpr uint32_t kW = 800, kH = 600;

// The bitmap's pixel as 0x00RRGGBB and whether it is opaque.
uint32_t Rgb(const BitMap* bm, uint32_t x, uint32_t y, bool* opaque) {
  const uint8_t* p = bm->Pixels + size_t(y) * bm->BytesPerRow + size_t(x) * 4;
  *opaque = p[3] >= 128;
  return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

// Draws frames for a while (the window thread's part), then the last one.
std::vector<uint32_t> Frames(int n) {
  for (int i = 0; i < n; i++) {
    GLProcessObjektList();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  GLProcessObjektList();
  return gltest::ReadFrame(kW, kH);
}

bool WaitFor(const std::function<bool()>& ready) {
  for (int i = 0; i < 3000 && !ready(); i++) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return ready();
}

class MapScreenGL : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Karte1024.dat");
    ASSERT_TRUE(map_test::InstallDemoRealm());
    ASSERT_TRUE(gltest::OpenGLWindow(6)) << "no GL context on the offscreen driver";  // 800x600x32 OpenGL
    opened_ = true;
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    SetMapScreenHooks(&h);
  }
  void TearDown() override {
    if (KartenScreenData->Status == MAPSCREEN_KEPT) KartenScreen(0, 0);
    ReleaseKartenScreenData(KartenScreenData);
    ResetMapScreenState();
    SetMapScreenHooks(nullptr);
    FreeAllElmorGfx();
    if (opened_) gltest::CloseGLWindow();
  }
  bool opened_ = false;
};

TEST_F(MapScreenGL, TheMapShowsAsOnThe2DRendererAndStaysBehindTheNextScreen) {
  ASSERT_EQ(MapScreenPrebuild(), 1);
  std::atomic<int32_t> result{99};
  std::thread game([&] { result = KartenScreen(2, 1); });
  const bool shown = WaitFor([] { return KartenScreenData->Status == MAPSCREEN_SHOWN && KartenScreenData->Motion; });
  if (shown) WaitFor([] { return MotionBusy.load() == 0; });
  // The record is published as on the 2D renderer (for the 3D scene).
  LockMapRecord();
  const bool published = PublishedMap() != nullptr && PublishedMap() == KartenScreenData->map;
  UnlockMapRecord();
  std::vector<uint32_t> frame = Frames(10);
  // The screen's entry is the map's display bitmap, first in the list, at
  // the display's corner.
  ObjektListEntry* map = GLScreenObjekt();
  bool placed = false;
  if (map && map->bitmap)
    placed = map->bitmap->Width == kW && map->bitmap->Height == kH && map->x == 0 && map->y == 0 &&
             Objekt3DListe()->first == &map->head;
  BitMap* bm = map ? map->bitmap : nullptr;
  const ListNode* map_node = map ? &map->head : nullptr;
  uint32_t opaque = 0, same = 0;
  if (placed) {
    for (uint32_t y = 0; y < kH; y++)
      for (uint32_t x = 0; x < kW; x++) {
        bool o;
        const uint32_t want = Rgb(bm, x, y, &o);
        if (!o) continue;
        opaque++;
        same += frame[size_t(y) * kW + x] == want;
      }
  }
  ASSERT_EQ(WritePngRGB("mapscreen_gl_800x600.png", frame.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_gl_800x600.png"));
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  game.join();
  ASSERT_TRUE(shown);
  EXPECT_EQ(result.load(), 2);
  EXPECT_TRUE(published);
  ASSERT_TRUE(placed);
  // The whole display is drawn, and the frame shows the bitmap (the figures'
  // animations may change a few pixels between the upload and the look).
  EXPECT_GT(opaque, kW * kH * 9 / 10);
  EXPECT_GE(same * 100, opaque * 97);

  // The next screen's 640 x 480 entry lies over the map kept as backdrop.
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 2, 0), 1);
  WaitTransition();
  frame = Frames(3);
  ASSERT_EQ(WritePngRGB("mapscreen_gl_behind_800x600.png", frame.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_gl_behind_800x600.png"));
  ObjektListEntry* screen = GLScreenObjekt();
  ASSERT_NE(screen, nullptr);
  EXPECT_NE(screen, map);
  EXPECT_EQ(screen->x, 80);
  EXPECT_EQ(screen->y, 30);
  EXPECT_EQ(Objekt3DListe()->first, map_node);
  bool o;
  EXPECT_EQ(frame[5 * kW + 5], Rgb(bm, 5, 5, &o)) << "the map's frame round the area";
  EXPECT_EQ(frame[size_t(kH - 20) * kW + kW - 20], Rgb(bm, kW - 20, kH - 20, &o));
  EXPECT_EQ(frame[300 * kW + 400], Rgb(screen->bitmap, 320, 270, &o)) << "the screen in the middle";

  // The release takes the map's entry away.
  EXPECT_EQ(KartenScreen(2, 0), -1);
  Frames(1);
  ListNode* n = Objekt3DListe()->first;
  for (uint32_t i = 0; i < Objekt3DListe()->count; i++, n = n->next) EXPECT_NE(n, map_node);
  CloseElmorPic(2, 0);
}

}  // namespace
