// The data kit's IFF ANIM encoder: a first frame as FORM ILBM (BMHD, colours,
// CAMG, ByteRun1 BODY) and every later frame as an ANIM-5 delta (ANHD, DLTA)
// against the frame two steps back, with a CMAP or LRGB chunk when the
// colours change. Plane rows are width / 8 bytes (no padding), so widths are
// multiples of 8. Format: docs/movies.md.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

using Rgb = std::array<uint8_t, 3>;

struct AnimFrame {
  std::vector<uint8_t> pixels;  // width x height palette indexes, below 2^planes
  std::vector<Rgb> colours;     // 2^planes entries; empty: the previous frame's
};

struct AnimOptions {
  int width = 0, height = 0;
  int planes = 8;
  bool lrgb = false;          // colours as LRGB groups (changed ranges only) instead of CMAP
  bool compress_body = true;  // ByteRun1 (else the BODY is stored)
};

// The whole file; empty with a message in *err for bad input (sizes, planes,
// a first frame without colours, pixels beyond the planes).
std::vector<uint8_t> EncodeAnim(const AnimOptions& options, const std::vector<AnimFrame>& frames, std::string* err);

// The planar form the encoder writes and the player decodes: plane p of
// width x height / 8 bytes at p x width x height / 8, row y at y x width / 8.
std::vector<uint8_t> ToPlanes(const std::vector<uint8_t>& pixels, int width, int height);

// Writes the kit's small test movies (Anims/TestWasser.CBAN, TestFeuer.CBAN,
// TestRad.CBAN) below out; false with a message in *err.
bool MakeTestMovies(const std::string& out, std::string* err);

}  // namespace datakit
