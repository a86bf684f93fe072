// The GL frame on a real context (Mesa's software renderer): the 2D pass read
// back pixel by pixel, the dirty-rectangle uploads, the screen picture's
// entry across screen changes, and the fall-back when no context can be made.
#include <algorithm>
#include <filesystem>
#include <string>

#include "gl_fixture.h"
#include "platform/framefit.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using gltest::FillRGBA;
using gltest::Pattern;
using gltest::PutRGBA;

namespace {

constexpr uint32_t kW = 800, kH = 600;

class GLFrame : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gltest::OpenGLWindow(6)) << "no GL context on the offscreen driver";  // 800x600x32 OpenGL
    bm_ = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
    ASSERT_NE(bm_, nullptr);
    for (uint32_t y = 0; y < 480; y++)
      for (uint32_t x = 0; x < 640; x++) PutRGBA(bm_, x, y, Pattern(x, y));
  }
  void TearDown() override {
    gltest::CloseGLWindow();
    FreeBitMap(bm_);
  }
  std::vector<uint32_t> Frame() {
    GLProcessObjektList();
    return gltest::ReadFrame(kW, kH);
  }
  // The frame's pixel at bitmap position (x, y) of an entry at (80, 30).
  static uint32_t At(const std::vector<uint32_t>& f, uint32_t x, uint32_t y) { return f[(y + 30) * kW + x + 80]; }
  // An RGBA bitmap's pixel as 0x00RRGGBB.
  static uint32_t Pixel(const BitMap* bm, uint32_t x, uint32_t y) {
    const uint8_t* p = bm->Pixels + size_t(y) * bm->BytesPerRow + size_t(x) * 4;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
  }

  BitMap* bm_ = nullptr;
};

TEST_F(GLFrame, DrawsTheBitmapPixelExactAtItsPlace) {
  ObjektListEntry* e = AddObjektListEntry(bm_, nullptr, "GLFrameTest");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->texture_size, 1024u);
  SetObjektPos3D(e, 80, 30);
  SetObjektVisible3D(e, 1);
  std::vector<uint32_t> f = Frame();
  EXPECT_NE(e->texture_name, 0u);
  EXPECT_FLOAT_EQ(GLAspectRatio(), 800.0f / 600.0f);
  uint32_t wrong = 0;
  for (uint32_t y = 0; y < kH; y++)
    for (uint32_t x = 0; x < kW; x++) {
      bool inside = x >= 80 && x < 720 && y >= 30 && y < 510;
      uint32_t want = inside ? Pattern(x - 80, y - 30) : 0;
      if (f[y * kW + x] != want && wrong++ < 5) ADD_FAILURE() << x << "," << y << ": " << std::hex << f[y * kW + x];
    }
  EXPECT_EQ(wrong, 0u);
  // Transparent pixels (alpha 0) leave the frame's own colour.
  PutRGBA(bm_, 5, 5, 0xFFFFFF, 0);
  AddObjektDirtyRect(e, 5, 5, 1, 1);
  f = Frame();
  EXPECT_EQ(At(f, 5, 5), 0u);
  EXPECT_EQ(At(f, 6, 5), Pattern(6, 5));
}

TEST_F(GLFrame, OnlyQueuedRectanglesReachTheTextureEvenWhenHidden) {
  ObjektListEntry* e = AddObjektListEntry(bm_, nullptr, "GLFrameTest");
  SetObjektPos3D(e, 80, 30);
  SetObjektVisible3D(e, 1);
  Frame();
  FillRGBA(bm_, 10, 10, 20, 20, 0x112233);
  FillRGBA(bm_, 300, 200, 8, 12, 0x445566);
  AddObjektDirtyRect(e, 300, 200, 8, 12);
  EXPECT_EQ(e->dirty->count, 1u);
  std::vector<uint32_t> f = Frame();
  EXPECT_EQ(e->dirty->count, 0u);
  EXPECT_EQ(At(f, 10, 10), Pattern(10, 10));  // changed, not queued: old picture
  EXPECT_EQ(At(f, 29, 29), Pattern(29, 29));
  EXPECT_EQ(At(f, 300, 200), 0x445566u);
  EXPECT_EQ(At(f, 307, 211), 0x445566u);
  EXPECT_EQ(At(f, 308, 211), Pattern(308, 211));
  // (0, 0, 0, 0) brings the whole bitmap.
  AddObjektDirtyRect(e, 0, 0, 0, 0);
  f = Frame();
  EXPECT_EQ(At(f, 10, 10), 0x112233u);
  EXPECT_EQ(At(f, 29, 29), 0x112233u);
  EXPECT_EQ(At(f, 639, 479), Pattern(639, 479));
  // Rectangles reaching out of the bitmap are cut to it.
  FillRGBA(bm_, 630, 470, 10, 10, 0x778899);
  AddObjektDirtyRect(e, 630, 470, 50, 50);
  f = Frame();
  EXPECT_EQ(At(f, 639, 479), 0x778899u);
  EXPECT_EQ(f[(510) * kW + 720], 0u);
  // A hidden entry draws nothing but still takes its rectangles.
  SetObjektVisible3D(e, 0);
  FillRGBA(bm_, 100, 100, 4, 4, 0xABCDEF);
  AddObjektDirtyRect(e, 100, 100, 4, 4);
  f = Frame();
  EXPECT_EQ(e->dirty->count, 0u);
  EXPECT_EQ(At(f, 100, 100), 0u);
  SetObjektVisible3D(e, 1);
  f = Frame();
  EXPECT_EQ(At(f, 100, 100), 0xABCDEFu);
  EXPECT_EQ(At(f, 104, 100), Pattern(104, 100));
}

// Random sequences of changes against the picture the entries make when
// composed pixel by pixel (black ground, entries in list order, transparent
// pixels leaving what is below): rectangles drawn into both bitmaps and
// queued, the small entry moved, hidden and shown, frames with nothing
// queued in between. After every frame the back buffer holds the whole
// picture, and a frame with nothing changed draws nothing.
TEST_F(GLFrame, RandomChangesDrawTheComposedPicture) {
  BitMap* sprite = AllocBitMap(100, 70, 32, BMF_RGBA, nullptr);
  ASSERT_NE(sprite, nullptr);
  for (uint32_t y = 0; y < 70; y++)
    for (uint32_t x = 0; x < 100; x++) PutRGBA(sprite, x, y, Pattern(x + 300, y), (x + y) % 7 ? 255 : 0);
  ObjektListEntry* big = AddObjektListEntry(bm_, nullptr, "GLFrameBig");
  ObjektListEntry* small = AddObjektListEntry(sprite, nullptr, "GLFrameSmall");
  ASSERT_TRUE(big && small);
  SetObjektPos3D(big, 80, 30);
  SetObjektVisible3D(big, 1);
  int32_t sx = 200, sy = 100;
  bool shown = true;
  SetObjektPos3D(small, sx, sy);
  SetObjektVisible3D(small, 1);
  auto want = [&](uint32_t x, uint32_t y) -> uint32_t {
    uint32_t v = 0;
    if (x >= 80 && x < 720 && y >= 30 && y < 510) v = Pixel(bm_, x - 80, y - 30);
    if (shown && int32_t(x) >= sx && int32_t(x) < sx + 100 && int32_t(y) >= sy && int32_t(y) < sy + 70) {
      const uint8_t* p = sprite->Pixels + size_t(int32_t(y) - sy) * sprite->BytesPerRow + size_t(int32_t(x) - sx) * 4;
      if (p[3]) v = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    }
    return v;
  };
  uint32_t seed = 99;
  auto rnd = [&seed](uint32_t n) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % n;
  };
  EXPECT_EQ(GLProcessObjektList(), 1u);
  for (int step = 0; step < 60; step++) {
    const uint32_t what = rnd(10);
    bool changed = true;
    if (what < 5) {  // rectangles into the big bitmap, queued
      for (uint32_t k = 1 + rnd(4); k > 0; k--) {
        const uint32_t x = rnd(640), y = rnd(480), w = 1 + rnd(120), h = 1 + rnd(90);
        FillRGBA(bm_, x, y, std::min(w, 640 - x), std::min(h, 480 - y), rnd(0x1000000));
        AddObjektDirtyRect(big, int32_t(x), int32_t(y), int32_t(w), int32_t(h));
      }
    } else if (what < 7) {  // into the sprite, with holes
      const uint32_t x = rnd(100), y = rnd(70), w = std::min(1 + rnd(40), 100 - x), h = std::min(1 + rnd(40), 70 - y);
      for (uint32_t j = y; j < y + h; j++)
        for (uint32_t i = x; i < x + w; i++) PutRGBA(sprite, i, j, rnd(0x1000000), rnd(3) ? 255 : 0);
      AddObjektDirtyRect(small, int32_t(x), int32_t(y), int32_t(w), int32_t(h));
      // Only a shown part of the display is drawn again.
      const int32_t x0 = sx + int32_t(x), y0 = sy + int32_t(y);
      changed = shown && x0 < int32_t(kW) && y0 < int32_t(kH) && x0 + int32_t(w) > 0 && y0 + int32_t(h) > 0;
    } else if (what == 7) {  // moved, partly off the display at times
      sx = int32_t(rnd(820)) - 60;
      sy = int32_t(rnd(620)) - 40;
      SetObjektPos3D(small, sx, sy);
    } else if (what == 8) {
      shown = !shown;
      SetObjektVisible3D(small, shown ? 1 : 0);
    } else {
      changed = false;
    }
    EXPECT_EQ(GLProcessObjektList(), changed ? 1u : 0u) << "step " << step;
    const std::vector<uint32_t> f = gltest::ReadFrame(kW, kH);
    uint32_t wrong = 0;
    for (uint32_t y = 0; y < kH; y++)
      for (uint32_t x = 0; x < kW; x++)
        if (f[y * kW + x] != want(x, y) && wrong++ < 3)
          ADD_FAILURE() << "step " << step << " at " << x << "," << y << ": " << std::hex << f[y * kW + x]
                        << " not " << want(x, y);
    ASSERT_EQ(wrong, 0u) << "step " << step;
  }
  RemoveObjektListEntry(small);
  EXPECT_EQ(GLProcessObjektList(), 1u);  // an entry went: drawn whole
  EXPECT_EQ(GLProcessObjektList(), 0u);
  FreeBitMap(sprite);
}

// The window's drawable of another size than the mode (a full-screen
// desktop; here windows smaller than the 800 x 600 mode in the corner of the
// context's buffer, one with bars beside the frame): the frame is drawn at
// the mode's size and scaled into its place, each window pixel the frame
// pixel under its centre (either at an exact tie), the bars black; a changed
// rectangle is drawn scaled alone into the back buffer that still holds the
// last frame, shown as its window rectangle, and the picture is as whole.
TEST_F(GLFrame, OnAWindowOfAnotherSizeTheFrameIsScaledIntoItsPlace) {
  ObjektListEntry* e = AddObjektListEntry(bm_, nullptr, "GLFrameTest");
  ASSERT_NE(e, nullptr);
  SetObjektPos3D(e, 80, 30);
  SetObjektVisible3D(e, 1);
  auto composed = [&](int32_t x, int32_t y) -> uint32_t {
    return x >= 80 && x < 720 && y >= 30 && y < 510 ? Pixel(bm_, uint32_t(x - 80), uint32_t(y - 30)) : 0;
  };
  // The frame pixels a view pixel may show: under its centre, or the one
  // before at an exact tie.
  auto shown = [](int32_t d, int32_t frame, int32_t view, int32_t* a, int32_t* b) {
    const int64_t num = (2 * int64_t(d) + 1) * frame, den = 2 * int64_t(view);
    *a = int32_t(num / den);
    *b = num % den == 0 && *a > 0 ? *a - 1 : *a;
  };
  auto check = [&](const std::vector<uint32_t>& f, const FrameFit& fit, const char* when) {
    uint32_t wrong = 0;
    const int32_t ww = int32_t(fit.window_w), wh = int32_t(fit.window_h);
    for (int32_t y = 0; y < wh; y++)
      for (int32_t x = 0; x < ww; x++) {
        const uint32_t got = f[size_t(int32_t(kH) - wh + y) * kW + size_t(x)];
        bool ok;
        if (x < fit.x || x >= fit.x + fit.w || y < fit.y || y >= fit.y + fit.h) {
          ok = got == 0;
        } else {
          int32_t x1, x2, y1, y2;
          shown(x - fit.x, int32_t(kW), fit.w, &x1, &x2);
          shown(y - fit.y, int32_t(kH), fit.h, &y1, &y2);
          ok = got == composed(x1, y1) || got == composed(x2, y1) || got == composed(x1, y2) || got == composed(x2, y2);
        }
        if (!ok && wrong++ < 3) ADD_FAILURE() << when << " at " << x << "," << y << ": " << std::hex << got;
      }
    EXPECT_EQ(wrong, 0u) << when;
  };
  const uint32_t windows[][2] = {{512, 384}, {512, 320}};
  for (const auto& win : windows) {
    SCOPED_TRACE(testing::Message() << win[0] << "x" << win[1]);
    SetGLWindowSize(int32_t(win[0]), int32_t(win[1]));
    const FrameFit fit = FitFrame(kW, kH, win[0], win[1]);
    ASSERT_EQ(FrameFitScales(fit), 1);
    EXPECT_EQ(GLProcessObjektList(), 1u);  // another window: whole
    check(gltest::ReadFrame(kW, kH), fit, "whole");
    int32_t dx, dy, dw, dh;
    TakeGLFrameDamage(&dx, &dy, &dw, &dh);
    EXPECT_EQ(dw, 0);  // all of it
    // A movie's frame: the back buffer still holds the last frame.
    FillRGBA(bm_, 100, 100, 30, 20, 0x123456 + win[1]);
    AddObjektDirtyRect(e, 100, 100, 30, 20);
    SetGLBackBufferIntact(1);
    EXPECT_EQ(GLProcessObjektList(), 1u);
    check(gltest::ReadFrame(kW, kH), fit, "changed rectangle");
    TakeGLFrameDamage(&dx, &dy, &dw, &dh);
    int32_t rx, ry, rw, rh;
    FrameRectInWindow(fit, 180, 130, 30, 20, &rx, &ry, &rw, &rh);
    EXPECT_LE(dx, rx);
    EXPECT_LE(dy, ry);
    EXPECT_GE(dx + dw, rx + rw);
    EXPECT_GE(dy + dh, ry + rh);
    EXPECT_LE(dw, rw + 2);
    EXPECT_LE(dh, rh + 2);
    SetGLBackBufferIntact(0);
  }
  SetGLWindowSize(0, 0);
  EXPECT_EQ(GLProcessObjektList(), 1u);  // the mode's own size again: whole
}

TEST_F(GLFrame, WritesItsLogLineOnlyWhenVerbose) {
  std::vector<std::string> lines;
  DebugLogSetHook([](const char* l, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(l); }, &lines);
  SetGLFrameLogging(0);
  Frame();
  EXPECT_TRUE(lines.empty());
  SetGLFrameLogging(1);
  Frame();
  SetGLFrameLogging(0);
  DebugLogSetHook(nullptr, nullptr);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("GLProcessObjektList"), std::string::npos);
}

// The 640 x 480 x 8 OpenGL row: the screen bitmap holds pens, and after a
// palette change (a palette load, colour cycling) the frame uploads and
// draws again the pixels of the pens that changed, and nothing for a pen no
// pixel shows.
TEST(GLPalette, PenScreenFollowsPaletteChanges) {
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ASSERT_TRUE(gltest::OpenGLWindow(2));
  LoadPaths();
  ResetInputState();
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 1, 0), 1);
  WaitTransition();
  RastPort* rp = ScreenRastPort();
  ASSERT_EQ(rp->Bitmap->Depth, 8u);
  ObjektListEntry* e = GLScreenObjekt();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->x, 0);  // 640 x 480: no offset
  EXPECT_EQ(e->y, 0);
  SetAPen(rp, 5);
  RectFill(rp, 0, 0, 639, 479);
  UpdateRectangle(0, 0, 640, 480);
  const PaletteEntry red{200, 10, 20}, blue{1, 2, 250};
  DisplaySetPalette(5, 1, &red);
  GLProcessObjektList();
  std::vector<uint32_t> f = gltest::ReadFrame(640, 480);
  EXPECT_EQ(f[0], 0xC80A14u);
  EXPECT_EQ(f[640 * 480 - 1], 0xC80A14u);
  DisplaySetPalette(5, 1, &blue);  // as a colour-cycling step does
  EXPECT_EQ(GLProcessObjektList(), 1u);
  f = gltest::ReadFrame(640, 480);
  EXPECT_EQ(f[320 * 640 + 200], 0x0102FAu);
  // Pen 6 in a small rectangle: its change draws that rectangle alone.
  SetAPen(rp, 6);
  RectFill(rp, 100, 50, 119, 59);
  UpdateRectangle(100, 50, 20, 10);
  GLProcessObjektList();
  const PaletteEntry green{5, 220, 9};
  DisplaySetPalette(6, 1, &green);
  EXPECT_EQ(GLProcessObjektList(), 1u);
  f = gltest::ReadFrame(640, 480);
  EXPECT_EQ(f[55 * 640 + 110], 0x05DC09u);
  EXPECT_EQ(f[320 * 640 + 200], 0x0102FAu);
  DisplaySetPalette(77, 1, &green);  // no pixel shows pen 77
  EXPECT_EQ(GLProcessObjektList(), 0u);
  CloseElmorPic(1, 0);
  FreeAllElmorGfx();
  FreePaths();
  gltest::CloseGLWindow();
}

// The picture manager's screen in OpenGL mode, on the data kit.
class GLScreen : public GLFrame {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    GLFrame::SetUp();
    LoadPaths();
    ResetInputState();
    ASSERT_EQ(OpenScreenRastPort(), 1);
  }
  void TearDown() override {
    FreeAllElmorGfx();
    FreePaths();
    GLFrame::TearDown();
  }
};

TEST_F(GLScreen, ScreenChangesKeepOneEntryAndLeakNoTexture) {
  RastPort* screen = ScreenRastPort();
  ASSERT_NE(screen, nullptr);
  EXPECT_EQ(screen->Bitmap->Flags & BMF_RGBA, uint32_t{BMF_RGBA});
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 1, 0), 1);
  WaitTransition();
  ObjektListEntry* e = GLScreenObjekt();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->x, 80);
  EXPECT_EQ(e->y, 30);
  EXPECT_EQ(e->visible, 1u);
  EXPECT_EQ(e->bitmap, screen->Bitmap);
  std::vector<uint32_t> f = Frame();
  EXPECT_EQ(Objekt3DListe()->count, 1u);
  // The frame shows what the screen bitmap holds.
  const uint8_t* p = screen->Bitmap->Pixels + 240 * screen->Bitmap->BytesPerRow + 320 * 4;
  EXPECT_EQ(At(f, 320, 240), uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
  const uint32_t first_texture = e->texture_name;

  // The player leaves for the next screen: the entry is reused.
  CloseElmorPic(1, 1);
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 2, 0), 1);
  WaitTransition();
  EXPECT_EQ(GLScreenObjekt(), e);
  f = Frame();
  EXPECT_EQ(Objekt3DListe()->count, 1u);
  EXPECT_EQ(e->texture_name, first_texture);
  EXPECT_EQ(e->dirty->count, 0u);
  p = screen->Bitmap->Pixels + 240 * screen->Bitmap->BytesPerRow + 320 * 4;
  EXPECT_EQ(At(f, 320, 240), uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);

  // A set-up failure drops the screen record: the entry goes, and the next
  // frame deletes its texture.
  CloseElmorPic(2, 0);
  EXPECT_EQ(GLScreenObjekt(), nullptr);
  EXPECT_EQ(Objekt3DListe()->count, 0u);
  f = Frame();
  EXPECT_EQ(glIsTexture(first_texture), GL_FALSE);
  EXPECT_EQ(At(f, 320, 240), 0u);
  // And a new screen makes a new one.
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 1, 0), 1);
  WaitTransition();
  Frame();
  EXPECT_EQ(Objekt3DListe()->count, 1u);
}

TEST_F(GLScreen, UpdateRectangleQueuesOnTheScreenEntry) {
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 1, 1), 1);  // the caller reveals it
  Frame();
  ObjektListEntry* e = GLScreenObjekt();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(UpdateRectangle(10, 20, 30, 40), 1);
  EXPECT_EQ(UpdateRectangle(0, 0, 0, 5), 1);  // nothing to show
  ASSERT_EQ(e->dirty->count, 1u);
  RastPort* rp = ScreenRastPort();
  SetAPen(rp, 2);
  RectFill(rp, 0, 0, 639, 479);
  UpdateRectangle(0, 0, 640, 480);
  std::vector<uint32_t> f = Frame();
  const uint8_t* p = rp->Bitmap->Pixels;
  EXPECT_EQ(p[3], 255);  // drawn pixels are opaque
  EXPECT_EQ(At(f, 0, 0), uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]);
  EXPECT_EQ(At(f, 639, 479), At(f, 0, 0));
  CloseElmorPic(1, 0);
}

}  // namespace

TEST(GLContext, ThatCannotBeMadeKillsTheWindowAndSaysWhy) {
  // The dummy video driver has no OpenGL: the window cannot become a GL window.
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  DebugLogSetStderr(0);
  const PlatformBackend* b = SdlBackend();
  SelectPlatformBackend(b);
  ASSERT_EQ(b->init(), 1);
  DisplayModeChoice mode;
  DisplayModeFromId(6, &mode);
  ASSERT_EQ(OpenMainWindow(&mode), 1);
  ASSERT_EQ(InitGLObjektList(), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(CreateGLContext(2, 800, 600, 32), 0u);
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("ERROR: (GL) Can't Find A Suitable PixelFormat."), std::string::npos) << err;
  EXPECT_EQ(GLContextReady(), 0);
  // The program goes on in 2D: a plain window opens again.
  EXPECT_EQ(OpenMainWindow(&mode), 1);
  FreeGLObjektList();
  CloseMainWindow();
  b->shutdown();
  SelectPlatformBackend(nullptr);
  DebugLogSetStderr(1);
}
