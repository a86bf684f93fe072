// Building and goods animations (table rows, the Luxus\ folder, Latin-1
// names, unknown IDs) and one frame of a strip graphic drawn masked.
#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "movie_fixture.h"
#include "platform/display.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

using namespace movie_test;

namespace {

class MovieAnims : public ::testing::Test {
 protected:
  void SetUp() override {
    DebugLogSetStderr(0);
    namespace fs = std::filesystem;
    const std::string kit = qoe_test::BinaryDir() + "/datakit";
    for (const char* d : {"Data", "Gfx"})
      fs::copy(kit + "/" + d, d, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories("Anims/Luxus");
    const std::string movie = kit + "/Anims/TestWasser.CBAN";
    for (const char* name : {"Lager.CBAN", "Nichts.CBAN", "Luxus/Tiere.CBAN", "Ballista_gro\xDF.CBAN"})
      fs::copy_file(movie, std::string("Anims/") + name);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 221, 0), 0);
    WaitTransition();
    base_ = AllocMovieBase(GetTitelScreenData(), 0, 0, AFX_NONE);
    ASSERT_TRUE(base_);
  }
  void TearDown() override {
    FreeMovieBase(base_);
    FreeAllElmorGfx();
    HeadlessCloseDisplay();
    DebugLogSetStderr(1);
  }
  // Fills the area with pen 7 on the screen, so a clearing shows.
  void Paint(int x, int y, int w, int h) {
    RastPort* rp = ScreenRastPort();
    SetAPen(rp, 7);
    RectFill(rp, x, y, x + w - 1, y + h - 1);
  }
  int Pen(int x, int y) { return ReadPixel(ScreenRastPort(), x, y); }
  MovieBase* base_ = nullptr;
};

TEST_F(MovieAnims, BuildingRowsStartLoopingAtEightFramesPerSecond) {
  Movie* m = AnimateGebaeude(base_, nullptr, 0, 40, 50);  // Lager.CBAN
  ASSERT_TRUE(m);
  EXPECT_EQ(m->x, 40);
  EXPECT_EQ(m->y, 50);
  EXPECT_EQ(m->period.tv_usec, 125000);
  EXPECT_EQ(m->loop, 1);
  EXPECT_EQ(m->palette_per_frame, 1);
  // ID 3 has no row: the previous movie stops, its 220 x 200 area is cleared.
  Paint(40, 50, 230, 210);
  EXPECT_EQ(AnimateGebaeude(base_, m, 3, 40, 50), nullptr);
  EXPECT_EQ(Pen(40, 50), 0);
  EXPECT_EQ(Pen(40 + 219, 50 + 199), 0);
  EXPECT_EQ(Pen(40 + 220, 50), 7);
  EXPECT_EQ(Pen(40, 50 + 200), 7);
  // A row whose file is missing gives null as well.
  EXPECT_EQ(AnimateGebaeude(base_, nullptr, 1, 40, 50), nullptr);
}

TEST_F(MovieAnims, GoodsRowsTheLuxusFolderAndUnknownTypes) {
  Movie* m = nullptr;
  for (uint16_t id : {4, 5, 6}) {  // all Nichts.CBAN
    m = AnimateWare(base_, m, id, 300, 200);
    ASSERT_TRUE(m) << id;
    EXPECT_EQ(m->period.tv_usec, 100000);
  }
  m = AnimateWare(base_, m, 1, 300, 200);  // Luxus\Tiere.CBAN
  ASSERT_TRUE(m);
  m = AnimateWare(base_, m, 8, 300, 200);  // Ballista_groß.CBAN, a Latin-1 name
  ASSERT_TRUE(m);
  Paint(300, 200, 170, 130);
  EXPECT_EQ(AnimateWare(base_, m, 116, 300, 200), nullptr);
  EXPECT_EQ(Pen(300 + 159, 200 + 119), 0);
  EXPECT_EQ(Pen(300 + 160, 200), 7);
  EXPECT_EQ(AnimateWare(base_, nullptr, 0xFFFF, 300, 200), nullptr);
  EXPECT_EQ(AnimateWare(base_, nullptr, 9, 300, 200), nullptr);  // Katapult.CBAN is not there
}

TEST_F(MovieAnims, ObjektMaskDrawsTheFrameRowsOfTheStrip) {
  // Graphic 229: a strip of 8 frames of 32 x 32.
  ASSERT_EQ(OpenElmorGfx(".\\Data\\Path", 229), 1);
  const BitMap* strip = ElmorGfxBitMap(229);
  const uint8_t* mask = GetElmorGfxMask(229);
  ASSERT_TRUE(strip && mask);
  std::vector<uint8_t> expect(32 * 32);
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) expect[y * 32 + x] = strip->Pixels[(size_t)(64 + y) * strip->BytesPerRow + x];
  const std::vector<uint8_t> mask_rows(mask + 64 * 32, mask + 96 * 32);
  CloseElmorGfx(229);
  Paint(100, 100, 32, 32);
  // Not loaded: loaded for the call and closed again.
  EXPECT_EQ(AnimObjektMask(nullptr, 0, 0, nullptr, 100, 100, 229, 0, 2, 32, 32), 1);
  EXPECT_EQ(ElmorGfxBitMap(229), nullptr);
  EXPECT_EQ(GetBlitSourceRow(), 0u);
  int opaque = 0;
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) {
      const int want = mask_rows[y * 32 + x] ? expect[y * 32 + x] : 7;
      ASSERT_EQ(Pen(100 + x, 100 + y), want) << x << "," << y;
      opaque += mask_rows[y * 32 + x] != 0;
    }
  EXPECT_GT(opaque, 0);
  // With a source RastPort the background comes from it first.
  BitMap* bg = AllocBitMap(64, 64, 8, 0, nullptr);
  RastPort src;
  InitRastPort(&src);
  src.Bitmap = bg;
  SetAPen(&src, 5);
  RectFill(&src, 0, 0, 63, 63);
  EXPECT_EQ(AnimObjektMask(&src, 10, 10, nullptr, 200, 100, 229, 0, 2, 32, 32), 1);
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++)
      ASSERT_EQ(Pen(200 + x, 100 + y), mask_rows[y * 32 + x] ? expect[y * 32 + x] : 5);
  FreeBitMap(bg);
  EXPECT_EQ(AnimObjektMask(nullptr, 0, 0, nullptr, 0, 0, 0, 0, 0, 0, 0), 0);
  EXPECT_EQ(AnimObjektMask(nullptr, 0, 0, nullptr, 0, 0, 1500, 0, 0, 0, 0), 0);  // not in the index
}

// Two threads draw frames of a strip nobody holds loaded: each call loads it,
// draws and closes it again; neither may close it under the other's drawing
// (its own width is read from the loaded graphic for the background copy).
TEST_F(MovieAnims, ThreadTwoCallersDrawAStripThatIsNotLoaded) {
  ASSERT_EQ(ElmorGfxBitMap(229), nullptr);
  auto drawer = [](int x, int* drawn) {
    BitMap* bg = AllocBitMap(64, 64, 8, 0, nullptr);
    RastPort src;
    InitRastPort(&src);
    src.Bitmap = bg;
    for (int i = 0; i < 1500; i++)
      *drawn += AnimObjektMask(&src, 0, 0, nullptr, (uint16_t)x, 100, 229, 0, (uint16_t)(i % 8), 0, 32);
    FreeBitMap(bg);
  };
  int a = 0, b = 0;
  std::thread first(drawer, 100, &a), second(drawer, 300, &b);
  first.join();
  second.join();
  EXPECT_EQ(a, 1500);
  EXPECT_EQ(b, 1500);
  EXPECT_EQ(ElmorGfxBitMap(229), nullptr);  // closed by whichever call loaded it
}

// A 32 x 32 bitmap of its own filled with pen 9, to draw one frame into.
struct Canvas {
  BitMap* bm = AllocBitMap(32, 32, 8, 0, nullptr);
  RastPort rp{};
  Canvas() {
    InitRastPort(&rp);
    rp.Bitmap = bm;
    SetAPen(&rp, 9);
  }
  ~Canvas() { FreeBitMap(bm); }
  // Draws frame 3 of strip 229 on pen 9; the pixels that differ from want.
  int DrawFrame3(const std::vector<uint8_t>& want, int* drawn) {
    RectFill(&rp, 0, 0, 31, 31);
    *drawn += AnimObjektMask(nullptr, 0, 0, &rp, 0, 0, 229, 0, 3, 32, 32);
    int wrong = 0;
    for (int p = 0; p < 32 * 32; p++) wrong += ReadPixel(&rp, p % 32, p / 32) != want[p];
    return wrong;
  }
};

// A third thread opens and closes the strip while two threads draw it: the
// draws never lose it (each holds it for its call) and the third thread's
// open is never taken away by a draw's close; at the end nothing stays open.
TEST_F(MovieAnims, ThreadOpensAndClosesAStripTwoThreadsDraw) {
  ASSERT_EQ(OpenElmorGfx(".\\Data\\Path", 229), 1);
  std::vector<uint8_t> frame3(32 * 32);
  {
    const BitMap* strip = ElmorGfxBitMap(229);
    const uint8_t* mask = GetElmorGfxMask(229);
    ASSERT_TRUE(strip && mask);
    for (int y = 0; y < 32; y++)
      for (int x = 0; x < 32; x++)
        frame3[y * 32 + x] = mask[(96 + y) * 32 + x] ? strip->Pixels[(size_t)(96 + y) * strip->BytesPerRow + x] : 9;
  }
  CloseElmorGfx(229);
  std::atomic<bool> drawing{true};
  auto drawer = [&frame3](int* drawn, int* wrong) {
    Canvas c;
    for (int i = 0; i < 1200; i++) *wrong += c.DrawFrame3(frame3, drawn);
  };
  int lost = 0, opened = 0;
  std::thread opener([&] {
    while (drawing.load()) {
      if (OpenElmorGfx(".\\Data\\Path", 229) != 1) continue;
      ++opened;
      for (int k = 0; k < 20; k++) {
        if (!GetElmorGfxMask(229)) ++lost;  // held open: it must stay
        std::this_thread::yield();
      }
      CloseElmorGfx(229);
    }
  });
  int a = 0, b = 0, wrong_a = 0, wrong_b = 0;
  std::thread first(drawer, &a, &wrong_a), second(drawer, &b, &wrong_b);
  first.join();
  second.join();
  drawing.store(false);
  opener.join();
  EXPECT_EQ(a, 1200);
  EXPECT_EQ(b, 1200);
  EXPECT_GT(opened, 0);
  EXPECT_EQ(lost, 0);
  EXPECT_EQ(wrong_a + wrong_b, 0);
  EXPECT_EQ(GetElmorGfxMask(229), nullptr);  // every open was closed
  Canvas c;
  int drawn = 0;
  EXPECT_EQ(c.DrawFrame3(frame3, &drawn), 0);
  EXPECT_EQ(drawn, 1);
}

}  // namespace
