// Texture records without GL: set-up and test pattern, every file format's
// header, row order and channel order, JPEG textures with and without their
// alpha companion, the colour key, reduction, alpha smoothing, averages.
#include <cstdlib>
#include <filesystem>
#include <list>
#include <cstring>
#include <string>
#include <vector>

#include "routinen/graphics_lowlevel_3d/tests/engine_fixture.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

class Textures : public enginetest::EngineData {
 protected:
  void SetUp() override {
    EngineData::SetUp();
    Engine()->mipmapping = 0;
  }
  void TearDown() override {
    for (TEXTURE3D& t : made_) FreeVec(t.pixels);
    EngineData::TearDown();
  }
  TEXTURE3D* Make(const char* file, uint16_t w, uint16_t h, uint16_t depth) {
    made_.emplace_back();
    TEXTURE3D* t = &made_.back();
    InitializeT(t, file, w, h, depth, "test");
    return t;
  }
  std::list<TEXTURE3D> made_;
};

// Pixel (x, y) of the reference picture, channel k.
uint8_t Ref(int x, int y, int k) { return uint8_t(x * 16 + y * 3 + k * 85); }

Bytes Header(size_t n) { return Bytes(n, 0x77); }

// Rows bottom-up, channels reversed (B G R (A)), as .bmp and raw files keep them.
Bytes BottomUpBgr(int w, int h, int c) {
  Bytes b;
  for (int y = h - 1; y >= 0; y--)
    for (int x = 0; x < w; x++)
      for (int k = c - 1; k >= 0; k--) b.push_back(Ref(x, y, k));
  return b;
}

void ExpectRef(const TEXTURE3D* t, int c) {
  for (int y = 0; y < t->height; y++)
    for (int x = 0; x < t->width; x++)
      for (int k = 0; k < c; k++)
        ASSERT_EQ(t->pixels[(size_t(y) * t->width + x) * c + k], Ref(x, y, k)) << x << "," << y << "," << k;
}

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST_F(Textures, SetUpGivesTheTestPatternFlagsAndMipRoom) {
  Engine()->mipmapping = 1;
  TEXTURE3D* t = Make("x.bmp", 4, 4, 32);
  EXPECT_EQ(t->format, 2);
  EXPECT_EQ(t->cull, 0);
  EXPECT_EQ(t->mipmapped, 1);
  EXPECT_EQ(t->reduction, 1);
  EXPECT_EQ(TextureBytes(t), 64u + 21u);
  const uint8_t p32[4] = {3, 2, 252, 253};  // pixel (3, 2)
  EXPECT_EQ(std::memcmp(t->pixels + (2 * 4 + 3) * 4, p32, 4), 0);
  TEXTURE3D* u = Make("x.bmp", 300, 2, 24);
  EXPECT_EQ(u->format, 1);
  EXPECT_EQ(u->cull, 1);
  EXPECT_EQ(u->pixels[(1 * 300 + 299) * 3], 299 % 256);  // bytes wrap at 256
  EXPECT_EQ(u->pixels[(1 * 300 + 299) * 3 + 2], uint8_t(255 - 299));
  // Half textures above 2 switch mip-mapping off for good.
  Engine()->half_textures = 4;
  EXPECT_EQ(Make("x.bmp", 4, 4, 24)->mipmapped, 0);
  EXPECT_EQ(Engine()->mipmapping, 0u);
  InitializeT(nullptr, "", 1, 1, 24, "");
  EXPECT_TRUE(Logged("InitializeT: Fehlerhafte Paramter\xfc" "bergabe."));
}

TEST_F(Textures, EveryFileFormatGivesTopDownRgbRows) {
  const int w = 5, h = 3;  // odd widths: rows have no padding
  // .bmp, 24 bits: 54-byte header, bottom-up B G R.
  ASSERT_TRUE(qoe_test::WriteFileBytes("a.bmp", Cat(Header(54), BottomUpBgr(w, h, 3))));
  TEXTURE3D* t = Make("a.BMP", w, h, 24);
  ASSERT_TRUE(qoe_test::WriteFileBytes("a.BMP", Cat(Header(54), BottomUpBgr(w, h, 3))));
  LoadOneTextureFile(t);
  ExpectRef(t, 3);
  EXPECT_STREQ(t->file, "a.bmp");  // the extension is lower-cased in place
  // .tga, 32 bits: 18-byte header, top-down B G R A.
  Bytes tga = Header(18);
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++)
      for (int k : {2, 1, 0, 3}) tga.push_back(Ref(x, y, k));
  ASSERT_TRUE(qoe_test::WriteFileBytes("b.tga", tga));
  t = Make("b.tga", w, h, 32);
  LoadOneTextureFile(t);
  ExpectRef(t, 4);
  // .bmp, 8 bits: 54 + 1024 bytes before bottom-up rows.
  Bytes grey;
  for (int y = h - 1; y >= 0; y--)
    for (int x = 0; x < w; x++) grey.push_back(Ref(x, y, 0));
  ASSERT_TRUE(qoe_test::WriteFileBytes("c_alpha.bmp", Cat(Header(54 + 1024), grey)));
  t = Make("c_alpha.bmp", w, h, 8);
  LoadOneTextureFile(t);
  ExpectRef(t, 1);
  EXPECT_TRUE(Logged("RGBAorderTexture: Es gab nicht zu tun."));
  // .tga, 8 bits: 18 + 1024 bytes, and flipped like a .bmp.
  ASSERT_TRUE(qoe_test::WriteFileBytes("d.tga", Cat(Header(18 + 1024), grey)));
  t = Make("d.tga", w, h, 8);
  LoadOneTextureFile(t);
  ExpectRef(t, 1);
  // Any other extension: no header, bottom-up B G R.
  ASSERT_TRUE(qoe_test::WriteFileBytes("e.raw", BottomUpBgr(w, h, 3)));
  t = Make("e.raw", w, h, 24);
  LoadOneTextureFile(t);
  ExpectRef(t, 3);
}

// The pattern at every pixel: x, y, 255 - x (and 255 - y for 32 bits), the
// bytes wrapping past 255 on wide textures.
TEST_F(Textures, TheTestPatternCoversEveryPixel) {
  for (uint16_t depth : {24, 32}) {
    const TEXTURE3D* t = Make("", 300, 7, depth);
    const uint32_t bpp = depth / 8u;
    for (uint32_t y = 0; y < 7; y++)
      for (uint32_t x = 0; x < 300; x++) {
        const uint8_t* px = t->pixels + (y * 300 + x) * bpp;
        ASSERT_EQ(px[0], uint8_t(x)) << depth << " " << x << "," << y;
        ASSERT_EQ(px[1], uint8_t(y));
        ASSERT_EQ(px[2], uint8_t(255 - x));
        if (bpp == 4) { ASSERT_EQ(px[3], uint8_t(255 - y)); }
      }
  }
}

TEST_F(Textures, MissingOrShortFilesLeaveTheTestPattern) {
  TEXTURE3D* t = Make("bmp/none.bmp", 4, 4, 24);
  const Bytes pattern(t->pixels, t->pixels + 48);
  LoadOneTextureFile(t);
  EXPECT_TRUE(Logged("LoadOneTextureFile: Konnte die Datei  : <bmp/none.bmp> nicht oeffnen."));
  ASSERT_TRUE(qoe_test::WriteFileBytes("short.bmp", Header(54 + 47)));
  made_.emplace_back(*t);  // keeps the old buffer for the fixture to free
  InitializeT(t, "short.bmp", 4, 4, 24, "t");
  LoadOneTextureFile(t);
  EXPECT_EQ(Bytes(t->pixels, t->pixels + 48), pattern);
  EXPECT_TRUE(Logged("ist zu kurz"));
  LoadOneTextureFile(nullptr);
  // A JPEG texture whose file is missing keeps its pattern too.
  t = Make("gone.jpg", 4, 4, 24);
  LoadOneTextureFile(t);
  EXPECT_EQ(Bytes(t->pixels, t->pixels + 48), pattern);
}

TEST_F(Textures, JpegTexturesWithTheirAlphaCompanion) {
  // Colour: a PPM through cjpeg; alpha: a PGM of a left-to-right ramp.
  std::string ppm = "P6\n16 16\n255\n", pgm = "P5\n16 16\n255\n";
  for (int i = 0; i < 256; i++) {
    ppm += char(200);
    ppm += char(40);
    ppm += char(40);
    pgm += char((i % 16) * 16);
  }
  ASSERT_TRUE(qoe_test::WriteFileBytes("c.ppm", Bytes(ppm.begin(), ppm.end())));
  ASSERT_TRUE(qoe_test::WriteFileBytes("a.pgm", Bytes(pgm.begin(), pgm.end())));
  ASSERT_EQ(std::system("cjpeg -quality 100 -outfile tex.jpg c.ppm && cjpeg -quality 100 -outfile tex_alpha.jpg a.pgm"), 0);
  TEXTURE3D* t = Make("tex.JPG", 16, 16, 32);
  LoadOneTextureFile(t);
  int near = 0;
  for (int i = 0; i < 256; i++) {
    const uint8_t* p = t->pixels + 4 * i;
    near += std::abs(p[0] - 200) <= 3 && std::abs(p[1] - 40) <= 3 && std::abs(p[3] - (i % 16) * 16) <= 4;
  }
  EXPECT_EQ(near, 256);
  // Without the companion the colour key decides: no pixel is the key, all opaque.
  std::remove("tex_alpha.jpg");
  t = Make("tex.jpg", 16, 16, 32);
  LoadOneTextureFile(t);
  for (int i = 0; i < 256; i++) ASSERT_EQ(t->pixels[4 * i + 3], 255);
  // A grey texture from the alpha picture; a colour JPEG of another size
  // leaves the texture as it was.
  ASSERT_EQ(std::system("cjpeg -outfile g.jpg a.pgm"), 0);
  t = Make("g.jpg", 16, 16, 8);
  LoadOneTextureFile(t);
  EXPECT_NEAR(t->pixels[17], 16, 4);
  t = Make("tex.jpg", 8, 8, 24);
  const Bytes before(t->pixels, t->pixels + 192);
  LoadOneTextureFile(t);
  EXPECT_EQ(Bytes(t->pixels, t->pixels + 192), before);
}

TEST_F(Textures, ColourKeyAlphaSmoothingAndChannelOrder) {
  // Pure red (the default key) becomes transparent black; others opaque.
  const uint8_t rgb[9] = {255, 0, 0, 255, 0, 1, 10, 20, 30};
  uint8_t out[12];
  MakeRGBA(out, rgb, nullptr, 3);
  const uint8_t want[12] = {0, 0, 0, 0, 255, 0, 1, 255, 10, 20, 30, 255};
  EXPECT_EQ(std::memcmp(out, want, 12), 0);
  SetColorKey(0, 255, 0);
  const uint8_t green[3] = {0, 255, 0};
  MakeRGBA(out, green, nullptr, 1);
  EXPECT_EQ(out[3], 0);
  const uint8_t alpha[1] = {77};
  MakeRGBA(out, green, alpha, 1);
  EXPECT_EQ(out[1], 255);
  EXPECT_EQ(out[3], 77);
  MakeRGBA(nullptr, rgb, nullptr, 1);
  EXPECT_TRUE(Logged("MakeRGBA:Fehlerhafte Paramter\xfc" "bergabe."));

  // Smoothing: in place, top-left first; border pixels and clear pixels stay.
  TEXTURE3D* t = Make("", 4, 4, 32);
  for (int i = 0; i < 16; i++) t->pixels[4 * i + 3] = 255;
  t->pixels[4 * 5 + 3] = 0;  // (1, 1) clear
  SmoothAlphaTexture(t);
  EXPECT_EQ(t->pixels[4 * 5 + 3], 0);
  EXPECT_EQ(t->pixels[4 * 6 + 3], (7 * 255 + 4 * 255) / 12);  // (2, 1): one clear neighbour
  const int a21 = (7 * 255 + 4 * 255) / 12;
  EXPECT_EQ(t->pixels[4 * 9 + 3], (a21 + 255 * 6 + 4 * 255) / 12);  // (1, 2): above-right already smoothed, (1, 1) is 0
  EXPECT_EQ(t->pixels[4 * 0 + 3], 255);
  SmoothAlphaTexture(Make("", 4, 4, 24));
  EXPECT_TRUE(Logged("SmoothAlphaTexture: Es gab nicht zu tun."));

  TEXTURE3D* o = Make("", 1, 1, 32);
  const uint8_t px[4] = {1, 2, 3, 4};
  std::memcpy(o->pixels, px, 4);
  RGBAorderTexture(o, 2, 1, 0, 3);
  const uint8_t swapped[4] = {3, 2, 1, 4};
  EXPECT_EQ(std::memcmp(o->pixels, swapped, 4), 0);
  RGBAorderTexture(o, 9, 1, 0, 3);  // an index outside the pixel is refused
  EXPECT_EQ(std::memcmp(o->pixels, swapped, 4), 0);
}

TEST_F(Textures, ReductionFlipAndAverages) {
  // Factor 2 and 3 block averages, rounded down, 3 and 4 channels.
  const uint8_t src[2 * 2 * 4] = {0, 10, 255, 1, 1, 11, 255, 2, 2, 12, 254, 3, 4, 13, 254, 3};
  uint8_t dst[4];
  ReduceBitmap(src, dst, 2, 2, 32, 2);
  const uint8_t avg[4] = {1, 11, 254, 2};
  EXPECT_EQ(std::memcmp(dst, avg, 4), 0);
  Bytes nine(9 * 3);
  for (size_t i = 0; i < nine.size(); i++) nine[i] = uint8_t(i * 7);
  uint8_t one[3];
  ReduceBitmap(nine.data(), one, 3, 3, 24, 3);
  for (int k = 0; k < 3; k++) {
    int sum = 0;
    for (int p = 0; p < 9; p++) sum += nine[p * 3 + k];
    EXPECT_EQ(one[k], sum / 9);
  }
  // Wide pictures (more than 1024 target pixels a row), every channel count.
  for (uint16_t depth : {8, 16, 24, 32}) {
    const uint32_t w = 4100, h = 6, f = 3, c = depth / 8;
    Bytes wide(size_t(w) * h * c), small(size_t(w / f) * (h / f) * c);
    for (size_t i = 0; i < wide.size(); i++) wide[i] = uint8_t(i * 13 + i / 7);
    ReduceBitmap(wide.data(), small.data(), w, h, depth, f);
    for (uint32_t y = 0; y < h / f; y++)
      for (uint32_t x = 0; x < w / f; x++)
        for (uint32_t k = 0; k < c; k++) {
          uint32_t sum = 0;
          for (uint32_t dy = 0; dy < f; dy++)
            for (uint32_t dx = 0; dx < f; dx++) sum += wide[((y * f + dy) * w + x * f + dx) * c + k];
          ASSERT_EQ(small[(y * (w / f) + x) * c + k], sum / (f * f)) << depth << " " << x << "," << y;
        }
  }
  ReduceBitmap(nullptr, dst, 2, 2, 32, 2);
  EXPECT_TRUE(Logged("ReduceBitmap: Fehlerhafte Paramter\xfc" "bergabe."));

  TEXTURE3D* t = Make("", 256, 256, 24);
  const uint8_t first = t->pixels[0];
  ReduceTexture(t, 2);
  EXPECT_EQ(t->width, 128);
  EXPECT_EQ(t->height, 128);
  EXPECT_EQ(t->reduction, 2);
  EXPECT_EQ(t->pixels[0], first);  // (0 + 1 + 0 + 1) / 4 of the pattern's x
  ReduceTexture(t, 1);
  EXPECT_TRUE(Logged("ReduceTexture: Es gab nicht zu tun ."));
  ReduceTexture(t, 512);  // nothing would be left
  EXPECT_EQ(t->width, 128);

  uint8_t rows[2 * 3 * 3] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  FlipBitmap(rows, 3, 2, 24);
  EXPECT_EQ(rows[0], 10);
  EXPECT_EQ(rows[9], 1);
  FlipBitmap(nullptr, 1, 1, 24);
  EXPECT_TRUE(Logged("FlipBitmap: Fehlerhafte Paramteruebergabe."));

  // Averages over rows with a skip after each row; alpha 255 below 32 bits.
  const uint8_t grid[2 * (2 * 3 + 2)] = {10, 20, 30, 20, 30, 40, 99, 99, 30, 40, 50, 41, 51, 61, 99, 99};
  uint8_t colour[4];
  AverageColor(grid, 2, 2, 24, 2, colour);
  EXPECT_EQ(colour[0], (10 + 20 + 30 + 41) / 4);
  EXPECT_EQ(colour[2], (30 + 40 + 50 + 61) / 4);
  EXPECT_EQ(colour[3], 255);
}

TEST_F(Textures, TheDataKitsTexturesLoadWithTheirKeysAndAlpha) {
  const std::string kit = qoe_test::BinaryDir() + "/datakit";
  QOE_REQUIRE_BUILT(kit + "/bmp/qoe_logo.bmp");
  std::filesystem::create_directory("bmp");
  for (const char* f : {"qoe_logo.bmp", "fire.bmp", "fire_alpha.bmp", "transp_parts.bmp"})
    std::filesystem::copy_file(kit + "/bmp/" + f, std::string("bmp/") + f);
  // The logo on the red key: the corner is clear, the plate opaque.
  TEXTURE3D* logo = Make("bmp/qoe_logo.bmp", 256, 256, 24);
  LoadOneTextureFile(logo);
  EXPECT_EQ(logo->pixels[0], 255);
  EXPECT_EQ(logo->pixels[1], 0);
  uint8_t night[4];
  AverageColor(logo->pixels + 154 * 256 * 3, 1, 1, 24, 0, night);
  EXPECT_LT(night[0], night[2]);  // row 154 starts with a night blue
  // The fire: its alpha companion gives clear cold rows and an opaque hot end.
  TEXTURE3D* fire = Make("bmp/fire_alpha.bmp", 128, 128, 8);
  LoadOneTextureFile(fire);
  EXPECT_EQ(fire->pixels[11], 0);
  EXPECT_EQ(fire->pixels[127 * 128 + 11], 255);
  // The barrier parts on the green key.
  SetColorKey(0, 255, 0);
  TEXTURE3D* parts = Make("bmp/transp_parts.bmp", 256, 256, 24);
  LoadOneTextureFile(parts);
  TEXTURE3D* rgba = Make("", 256, 256, 32);
  MakeRGBA(rgba->pixels, parts->pixels, nullptr, 256 * 256);
  EXPECT_EQ(rgba->pixels[(100 * 256 + 100) * 4 + 3], 255 * 0);  // between the parts
  EXPECT_EQ(rgba->pixels[(0 * 256 + 184) * 4 + 3], 255);        // the first barrier band
}

}  // namespace
