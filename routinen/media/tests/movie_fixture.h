// Shared helpers of the movie tests: random frame sequences, writing movies
// with the data kit's encoder, and decoding them frame by frame through the
// player's own decoder.
#pragma once
#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "routinen/media/movie_internal.h"
#include "tests/support/test_support.h"
#include "tools/datakit/anim_encoder.h"

namespace movie_test {

using Bytes = std::vector<uint8_t>;
using Palette = std::array<datakit::Rgb, 256>;

// One decoded frame: palette indexes and the palette in force after it.
struct Frame {
  Bytes pens;
  Palette palette;
};

inline std::vector<datakit::Rgb> RandomColours(std::mt19937& rng, int planes) {
  std::vector<datakit::Rgb> c((size_t)1 << planes);
  for (auto& e : c) e = {(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
  return c;
}

// Frames that change by random rectangles, noise and stripes; some frames
// change nothing, some change the colours (when colour_changes is set).
inline std::vector<datakit::AnimFrame> RandomFrames(std::mt19937& rng, int w, int h, int planes, int count,
                                                   bool colour_changes) {
  const int top = (1 << planes) - 1;
  std::vector<datakit::AnimFrame> frames(count);
  Bytes px((size_t)w * h);
  for (auto& v : px) v = (uint8_t)(rng() % (top + 1));
  std::vector<datakit::Rgb> colours = RandomColours(rng, planes);
  for (int f = 0; f < count; f++) {
    const int kind = f == 0 ? 0 : (int)(rng() % 5);
    if (kind == 1) {  // a filled rectangle
      int x0 = (int)(rng() % w), y0 = (int)(rng() % h), x1 = x0 + (int)(rng() % (w - x0)), y1 = y0 + (int)(rng() % (h - y0));
      uint8_t v = (uint8_t)(rng() % (top + 1));
      for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) px[(size_t)y * w + x] = v;
    } else if (kind == 2) {  // scattered noise
      for (int i = 0; i < w * h / 7; i++) px[rng() % px.size()] = (uint8_t)(rng() % (top + 1));
    } else if (kind == 3) {  // every other row
      for (int y = (int)(rng() % 2); y < h; y += 2)
        for (int x = 0; x < w; x++) px[(size_t)y * w + x] = (uint8_t)((px[(size_t)y * w + x] + 1) & top);
    }
    frames[f].pixels = px;
    if (f == 0) {
      frames[f].colours = colours;
    } else if (colour_changes && rng() % 3 == 0) {
      for (int i = 0; i < 5; i++) colours[rng() % colours.size()] = {(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
      frames[f].colours = colours;
    }
  }
  return frames;
}

inline std::string WriteMovie(const std::string& name, const datakit::AnimOptions& o,
                              const std::vector<datakit::AnimFrame>& frames) {
  std::string err;
  Bytes file = datakit::EncodeAnim(o, frames, &err);
  EXPECT_FALSE(file.empty()) << err;
  EXPECT_TRUE(qoe_test::WriteFileBytes(qoe_test::TestDir() + "/" + name, file));
  return name;
}

// Applies the groups of a LoadRGB32 table to a palette.
inline void ApplyTable(const RGBStruct& t, Palette* pal) {
  const uint8_t* p = t.bytes;
  for (;;) {
    uint16_t count, first;
    std::memcpy(&count, p, 2);
    std::memcpy(&first, p + 2, 2);
    p += 4;
    if (count == 0) return;
    for (uint32_t i = 0; i < count; i++, p += 12) {
      uint32_t c[3];
      std::memcpy(c, p, 12);
      if (first + i < 256) (*pal)[first + i] = {(uint8_t)(c[0] >> 24), (uint8_t)(c[1] >> 24), (uint8_t)(c[2] >> 24)};
    }
  }
}

// The newest frame of a decoder as palette indexes.
inline Bytes Chunky(const ANIM5Handle* d) {
  Bytes pens((size_t)d->width * d->height);
  PlanarDescription pd{};
  const uint8_t* frame = ANIM5NewestFrame(d);
  const uint32_t stride = (uint32_t)d->width * d->height / 8;
  for (int p = 0; p < 8; p++) pd.planes[p] = frame + p * stride;
  pd.dest = pens.data();
  pd.pitch = d->width;
  pd.width = d->width;
  pd.height = d->height;
  pd.row_stride = d->width / 8u;
  pd.bytes_per_pixel = 1;
  PlanarToChunky(&pd);
  return pens;
}

// Every frame of the file through the player's decoder (path relative to the
// test's working directory).
inline std::vector<Frame> DecodeWithPlayer(const std::string& path) {
  std::vector<Frame> out;
  Movie* m = MakeMovie(nullptr, path.c_str());
  if (!m) return out;
  Palette pal{};
  while (ReadNextMovieFrame(m)) {
    if (!m->decoder) break;
    ApplyTable(*m->colours, &pal);
    out.push_back(Frame{Chunky(m->decoder), pal});
  }
  FreeMovie(m);
  return out;
}

}  // namespace movie_test
