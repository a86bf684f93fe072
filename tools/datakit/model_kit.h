// The data kit's model toolkit: JPEG encoding, pictures that tile on the hex
// lattice, and a builder that gathers textured faces into one model object
// for the model writer (qoe_writer.h). Used by the terrain and character
// models; docs/gl3d-terrain.md.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "qoe_writer.h"

namespace datakit {

// A JPEG file of rows top-down; channels 1 (grey) or 3 (R G B). The same
// pixels always give the same bytes.
std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int width, int height, int channels, int quality);

// Writes a file of the kit's output (its folders made first); false with
// "<path>: cannot write" in *err.
bool WriteKitFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, std::string* err);

// An R G B A picture, rows top-down.
struct ModelPicture {
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  ModelPicture() = default;
  ModelPicture(int width, int height) : w(width), h(height), rgba(size_t(width) * height * 4, 255) {}
  uint8_t* At(int x, int y) { return &rgba[(size_t(y) * w + x) * 4]; }
  const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * w + x) * 4]; }
  void Set(int x, int y, int r, int g, int b, int a = 255);
  // Blends (r, g, b) over the pixel by the weight 0 .. 1 (alpha kept).
  void Blend(int x, int y, int r, int g, int b, double weight);
};

// A texture for a model file from a picture: 24 bits (one colour JPEG) or
// 32 bits (a grey alpha JPEG and a colour JPEG). file names the material
// (the loader shares textures by file name and depth).
QoeTexture JpegTexture(const std::string& name, const std::string& file, const ModelPicture& picture, int bits,
                       int quality);

// A deterministic 32-bit hash of three numbers.
uint32_t KitHash(int32_t a, int32_t b, uint32_t seed);

// Texture coordinates of a hex model: the hex (64 x 55.424, centred) spans
// u and v 0 .. 1, so u = (x + 32) / 64 and v = (z + 27.712) / 55.424. A
// neighbour's texture continues across a shared side when the picture
// repeats on the lattice of (0.25, 0.5) and (0, 1) in (u, v): these helpers
// draw such pictures (size a multiple of 4 wide).
// Smooth noise, roughly -1 .. 1: plane waves of that lattice. detail picks
// higher frequencies.
double LatticeWave(double u, double v, uint32_t seed, int detail);
// A grain value 0 .. 255 per pixel, repeating on the lattice.
int LatticeGrain(int x, int y, int w, int h, uint32_t seed);

// A vertex: position and texture coordinates.
struct ModelVertex {
  float x, y, z, u, v;
};

// Gathers faces into one level-0 object; textures are added once by name.
class ModelBuilder {
 public:
  // The texture's number in the model (added on first use).
  uint16_t Texture(const QoeTexture& texture);
  // A convex face of 3 or more vertices. Its winding is turned so that its
  // normal points along outward (the face is front-facing from there).
  void Face(uint16_t texture, std::vector<ModelVertex> vertices, const float outward[3]);
  int FaceCount() const { return int(model_.faces.size()); }
  // The model with one object named name holding every face; its box from
  // the points.
  QoeModel Finish(const std::string& name);

 private:
  QoeModel model_;
};

}  // namespace datakit
