// The model toolkit: JPEG through libjpeg, lattice pictures, the face builder.
#include "model_kit.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <fstream>

namespace datakit {

std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int width, int height, int channels, int quality) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = channels;
  c.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels + size_t(c.next_scanline) * width * channels);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&c);
  return out;
}

bool WriteKitFile(const std::filesystem::path& p, const std::vector<uint8_t>& bytes, std::string* err) {
  std::error_code ec;
  std::filesystem::create_directories(p.parent_path(), ec);
  std::ofstream f(p, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!f) *err = p.string() + ": cannot write";
  return bool(f);
}

void ModelPicture::Set(int x, int y, int r, int g, int b, int a) {
  if (x < 0 || y < 0 || x >= w || y >= h) return;
  uint8_t* p = At(x, y);
  p[0] = uint8_t(std::clamp(r, 0, 255));
  p[1] = uint8_t(std::clamp(g, 0, 255));
  p[2] = uint8_t(std::clamp(b, 0, 255));
  p[3] = uint8_t(std::clamp(a, 0, 255));
}

void ModelPicture::Blend(int x, int y, int r, int g, int b, double weight) {
  if (x < 0 || y < 0 || x >= w || y >= h) return;
  uint8_t* p = At(x, y);
  const double k = std::clamp(weight, 0.0, 1.0);
  p[0] = uint8_t(p[0] + (std::clamp(r, 0, 255) - p[0]) * k + 0.5);
  p[1] = uint8_t(p[1] + (std::clamp(g, 0, 255) - p[1]) * k + 0.5);
  p[2] = uint8_t(p[2] + (std::clamp(b, 0, 255) - p[2]) * k + 0.5);
}

QoeTexture JpegTexture(const std::string& name, const std::string& file, const ModelPicture& p, int bits,
                       int quality) {
  QoeTexture t;
  t.name = name;
  t.file = file;
  t.width = uint16_t(p.w);
  t.height = uint16_t(p.h);
  t.bits = uint16_t(bits);
  t.picture = QoeTexture::kJpeg;
  std::vector<uint8_t> rgb(size_t(p.w) * p.h * 3), alpha(size_t(p.w) * p.h);
  for (size_t i = 0; i < alpha.size(); i++) {
    for (int k = 0; k < 3; k++) rgb[3 * i + k] = p.rgba[4 * i + k];
    alpha[i] = p.rgba[4 * i + 3];
  }
  t.jpeg = EncodeJpeg(rgb.data(), p.w, p.h, 3, quality);
  if (bits == 32) t.jpeg_alpha = EncodeJpeg(alpha.data(), p.w, p.h, 1, 95);
  return t;
}

uint32_t KitHash(int32_t a, int32_t b, uint32_t seed) {
  uint32_t h = uint32_t(a) * 374761393u + uint32_t(b) * 668265263u + seed * 2246822519u + 0x9E3779B9u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return h * 2654435761u ^ (h >> 15);
}

double LatticeWave(double u, double v, uint32_t seed, int detail) {
  // (k, l) with k = 4m - 2l repeat on the lattice; m, l small.
  static const int kML[][2] = {{0, 1}, {1, 0}, {1, 1}, {1, 2}, {0, 2}, {1, -1}, {2, 1}, {1, 3}, {2, 3}, {0, 3}};
  double s = 0, norm = 0;
  for (int i = 0; i < 10; i++) {
    const double l = kML[i][1] * detail, k = 4.0 * kML[i][0] * detail - 2.0 * l;
    const double phase = (KitHash(i, 11, seed) % 6283) / 1000.0, a = 1.0 / (1.0 + i * 0.3);
    s += a * std::sin(2 * 3.14159265358979 * (k * u + l * v) + phase);
    norm += a;
  }
  return 1.8 * s / norm;
}

int LatticeGrain(int x, int y, int w, int h, uint32_t seed) {
  const int qw = w / 4;
  const int kx = ((x % w) + w) % w / qw;
  const int xr = ((x % w) + w) % w - kx * qw;
  const int yr = (((y - kx * h / 2) % h) + h) % h;
  return int(KitHash(xr, yr, seed) & 255);
}

uint16_t ModelBuilder::Texture(const QoeTexture& t) {
  for (size_t i = 0; i < model_.textures.size(); i++)
    if (model_.textures[i].name == t.name) return uint16_t(i);
  model_.textures.push_back(t);
  return uint16_t(model_.textures.size() - 1);
}

void ModelBuilder::Face(uint16_t texture, std::vector<ModelVertex> v, const float outward[3]) {
  if (v.size() < 3) return;
  const float ax = v[1].x - v[0].x, ay = v[1].y - v[0].y, az = v[1].z - v[0].z;
  const float bx = v[2].x - v[0].x, by = v[2].y - v[0].y, bz = v[2].z - v[0].z;
  const float n[3] = {ay * bz - az * by, az * bx - ax * bz, ax * by - ay * bx};
  if (n[0] * outward[0] + n[1] * outward[1] + n[2] * outward[2] < 0) std::reverse(v.begin(), v.end());
  QoeFace f;
  f.first = uint32_t(model_.indices.size());
  f.points = uint16_t(v.size());
  f.texture = texture;
  for (const ModelVertex& p : v) {
    model_.indices.push_back(uint32_t(model_.points.size()));
    QoePoint q;
    q.x = p.x;
    q.y = p.y;
    q.z = p.z;
    q.u = p.u;
    q.v = p.v;
    model_.points.push_back(q);
  }
  model_.faces.push_back(f);
}

QoeModel ModelBuilder::Finish(const std::string& name) {
  QoeObject o;
  o.name = name;
  o.index_count = uint32_t(model_.indices.size());
  o.point_count = uint32_t(model_.points.size());
  o.face_count = uint32_t(model_.faces.size());
  for (int k = 0; k < 3; k++) {
    o.min[k] = 1e30f;
    o.max[k] = -1e30f;
  }
  for (const QoePoint& p : model_.points) {
    const float c[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; k++) {
      o.min[k] = std::min(o.min[k], c[k]);
      o.max[k] = std::max(o.max[k], c[k]);
    }
  }
  if (model_.points.empty())
    for (int k = 0; k < 3; k++) o.min[k] = o.max[k] = 0;
  QoeModel m = model_;
  m.objects = {o};
  return m;
}

}  // namespace datakit
