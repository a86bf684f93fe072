// JPEG decoding against libjpeg-turbo's own djpeg on the same files (colour
// and grey, baseline and progressive), the caller's buffer, and damaged,
// truncated and oversized input.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "routinen/graphics_lowlevel_3d/tests/engine_fixture.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace {

using Jpeg = enginetest::EngineData;
using Bytes = std::vector<uint8_t>;

// A PPM (colour) or PGM (grey) picture with a pattern no two neighbours share.
Bytes Pnm(int w, int h, bool colour) {
  std::string head = std::string(colour ? "P6" : "P5") + "\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  Bytes b(head.begin(), head.end());
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      b.push_back(uint8_t(x * 4 + y));
      if (colour) {
        b.push_back(uint8_t(y * 3));
        b.push_back(uint8_t((x ^ y) * 5));
      }
    }
  return b;
}

// The pixel bytes of a binary PNM file (after its header).
Bytes PnmPixels(const Bytes& pnm) {
  int fields = 0;
  size_t i = 2;
  while (fields < 3 && i < pnm.size()) {
    while (i < pnm.size() && std::isspace(pnm[i])) i++;
    while (i < pnm.size() && !std::isspace(pnm[i])) i++;
    fields++;
  }
  return Bytes(pnm.begin() + std::ptrdiff_t(i + 1), pnm.end());
}

void Run(const std::string& cmd) { ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd; }

// Makes name.jpg with cjpeg from a pattern picture.
void MakeJpeg(const std::string& name, int w, int h, bool colour, const std::string& options = "") {
  ASSERT_TRUE(qoe_test::WriteFileBytes(name + ".pnm", Pnm(w, h, colour)));
  Run("cjpeg -quality 85 " + options + " -outfile " + name + ".jpg " + name + ".pnm");
}

// djpeg's pixels of a file: PPM for colour, PGM for grey (or -grayscale).
Bytes Djpeg(const std::string& file, const std::string& options = "") {
  const std::string out = file + ".ref.pnm";
  if (std::system(("djpeg " + options + " -pnm -outfile " + out + " " + file).c_str()) != 0) return {};
  return PnmPixels(qoe_test::ReadFileBytes(out));
}

TEST_F(Jpeg, DecodesExactlyAsDjpegColourAndGreyBaselineAndProgressive) {
  struct Case {
    const char* name;
    int w, h;
    bool colour;
    const char* options;
  } const cases[] = {{"colour", 61, 37, true, ""},
                     {"grey", 40, 23, false, ""},
                     {"progressive", 64, 64, true, "-progressive"},
                     {"subsampled", 33, 17, true, "-sample 2x2"}};
  for (const Case& c : cases) {
    MakeJpeg(c.name, c.w, c.h, c.colour, c.options);
    const std::string file = std::string(c.name) + ".jpg";
    JpegImage img{nullptr, 0, 0, 0};
    ASSERT_EQ(LoadJpegFile(file.c_str(), &img), 1) << c.name;
    EXPECT_EQ(img.width, c.w);
    EXPECT_EQ(img.height, c.h);
    EXPECT_EQ(img.bits, c.colour ? 24 : 8);
    const Bytes want = Djpeg(file);
    ASSERT_EQ(want.size(), size_t(c.w) * c.h * img.bits / 8) << c.name;
    EXPECT_EQ(Bytes(img.pixels, img.pixels + want.size()), want) << c.name;  // top row first, R G B
    FreeVec(img.pixels);

    // Into the caller's buffer: grey from a colour file, colour from a grey one.
    Bytes grey(size_t(c.w) * c.h), rgb(size_t(c.w) * c.h * 3);
    JpegImage g{grey.data(), uint16_t(c.w), uint16_t(c.h), 8};
    ASSERT_EQ(LoadJpegFile(file.c_str(), &g), 1);
    EXPECT_EQ(grey, Djpeg(file, "-grayscale")) << c.name;
    JpegImage k{rgb.data(), uint16_t(c.w), uint16_t(c.h), 24};
    ASSERT_EQ(LoadJpegFile(file.c_str(), &k), 1);
    if (c.colour) {
      EXPECT_EQ(rgb, want) << c.name;
    } else {
      for (size_t i = 0; i < grey.size(); i++)
        ASSERT_TRUE(rgb[3 * i] == grey[i] && rgb[3 * i + 1] == grey[i] && rgb[3 * i + 2] == grey[i]) << i;
    }
  }
}

TEST_F(Jpeg, ABufferOfTheWrongSizeOrABrokenFileLeavesTheBufferUntouched) {
  MakeJpeg("big", 64, 64, true);
  Bytes small(32 * 32 * 3, 0xAB);
  JpegImage img{small.data(), 32, 32, 24};
  SetJpegLogging(1);
  EXPECT_EQ(LoadJpegFile("big.jpg", &img), 0);
  SetJpegLogging(0);
  EXPECT_TRUE(Logged("JPEG cant fit in given Image !"));
  EXPECT_EQ(small, Bytes(32 * 32 * 3, 0xAB));
  EXPECT_EQ(img.width, 32);

  const Bytes good = qoe_test::ReadFileBytes("big.jpg");
  Bytes buffer(64 * 64 * 3, 0xCD);
  const Bytes untouched = buffer;
  auto decode = [&](const Bytes& data) {
    JpegImage b{buffer.data(), 64, 64, 24};
    return DecodeJpeg(data.data(), uint32_t(data.size()), &b);
  };
  // Garbage, a broken header, an empty file, a cut-off file, an unknown bit depth.
  EXPECT_EQ(decode(Bytes(500, 0x5A)), 0);
  Bytes header = good;
  header[3] ^= 0xFF;
  for (size_t i = 20; i < 200 && i < header.size(); i++) header[i] = 0xFF;
  EXPECT_EQ(decode(header), 0);
  EXPECT_EQ(decode(Bytes{}), 0);
  EXPECT_EQ(decode(Bytes(good.begin(), good.begin() + 100)), 0);
  EXPECT_EQ(buffer, untouched);
  JpegImage odd{buffer.data(), 64, 64, 16};
  EXPECT_EQ(DecodeJpeg(good.data(), uint32_t(good.size()), &odd), 0);
  EXPECT_EQ(LoadJpegFile("missing.jpg", &img), 0);
  EXPECT_TRUE(Logged("DecodeJpeg: "));  // libjpeg's own message

  // A picture cut off after its header decodes with the rest filled in: it
  // is no error for libjpeg, and the buffer then holds the whole picture.
  EXPECT_EQ(decode(Bytes(good.begin(), good.begin() + std::ptrdiff_t(good.size() / 2))), 1);
  EXPECT_NE(buffer, untouched);
}

TEST_F(Jpeg, OversizedHeadersAreRefusedBeforeDecoding) {
  MakeJpeg("tiny", 8, 8, true);
  Bytes data = qoe_test::ReadFileBytes("tiny.jpg");
  // The frame header (SOF0): height and width after its length and precision.
  size_t sof = 0;
  for (size_t i = 0; i + 9 < data.size(); i++)
    if (data[i] == 0xFF && data[i + 1] == 0xC0) sof = i;
  ASSERT_NE(sof, 0u);
  data[sof + 5] = 0x4E;
  data[sof + 6] = 0x20;  // 20000 rows
  data[sof + 7] = 0x4E;
  data[sof + 8] = 0x20;  // 20000 columns
  JpegImage img{nullptr, 0, 0, 0};
  EXPECT_EQ(DecodeJpeg(data.data(), uint32_t(data.size()), &img), 0);
  EXPECT_EQ(img.pixels, nullptr);
  EXPECT_TRUE(Logged("DecodeJpeg: Bild zu gross"));
}

}  // namespace
