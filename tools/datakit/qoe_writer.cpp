// Writes ".qoe" model files; little-endian numbers and IEEE 754 floats.
#include "qoe_writer.h"

#include <cstring>

namespace datakit {
namespace {

using Bytes = std::vector<uint8_t>;

void U16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void U32(Bytes& b, uint32_t v) {
  U16(b, v & 0xFFFF);
  U16(b, v >> 16);
}
void F32(Bytes& b, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  U32(b, v);
}
void Floats(Bytes& b, const float* f, int n) {
  for (int i = 0; i < n; i++) F32(b, f[i]);
}
void Zeros(Bytes& b, size_t n) { b.insert(b.end(), n, 0); }
// A text field of size bytes, NUL-padded (cut to size - 1 characters).
void Text(Bytes& b, const std::string& s, size_t size) {
  const size_t n = s.size() < size - 1 ? s.size() : size - 1;
  b.insert(b.end(), s.begin(), s.begin() + long(n));
  Zeros(b, size - n);
}
void Pose(Bytes& b, const QoePose& p) {
  Floats(b, p.matrix, 16);
  Floats(b, p.rotation, 3);
  Floats(b, p.scale, 3);
  Floats(b, p.translation, 3);
}

struct Writer {
  Bytes out;
  uint32_t chunks = 0;
  void Chunk(const char* type, uint16_t texture, uint32_t count, const Bytes& data) {
    PutQoeChunkHeader(out, type, texture, count, uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    chunks++;
  }
  template <typename T, typename F>
  void Items(const char* type, const std::vector<T>& items, F write) {
    if (items.empty()) return;
    Bytes data;
    for (const T& it : items) write(data, it);
    Chunk(type, 0, uint32_t(items.size()), data);
  }
};

}  // namespace

void PutQoeChunkHeader(Bytes& out, const char type[4], uint16_t texture, uint32_t count, uint32_t bytes) {
  out.insert(out.end(), type, type + 4);
  U32(out, 0);
  U16(out, texture);
  U16(out, 0);
  U32(out, count);
  U32(out, bytes);
}

Bytes WriteQoe(const QoeModel& m, bool form) {
  Writer w;
  w.Items("TXGL", m.textures, [](Bytes& b, const QoeTexture& t) {
    Text(b, t.name, 40);
    Text(b, t.file, 264);
    U16(b, t.width);
    U16(b, t.height);
    U16(b, t.bits);
    Zeros(b, 10);
  });
  w.Items("POGL", m.points, [](Bytes& b, const QoePoint& p) {
    F32(b, p.u);
    F32(b, p.v);
    b.insert(b.end(), p.rgba, p.rgba + 4);
    F32(b, p.x);
    F32(b, p.y);
    F32(b, p.z);
  });
  w.Items("PIGL", m.indices, [](Bytes& b, uint32_t i) { U32(b, i); });
  w.Items("VCGL", m.changes, [](Bytes& b, const QoeVertexChange& c) {
    U16(b, c.point);
    U16(b, c.x);
    U16(b, c.y);
    U16(b, c.z);
  });
  w.Items("FAGL", m.faces, [](Bytes& b, const QoeFace& f) {
    U32(b, f.first);
    U16(b, f.points);
    U16(b, f.texture);
    U32(b, 0);
  });
  w.Items("OBGL", m.objects, [](Bytes& b, const QoeObject& o) {
    Text(b, o.name, 40);
    U32(b, o.first_change);
    U32(b, o.change_count);
    Zeros(b, 8);
    U32(b, o.first_index);
    U32(b, o.index_count);
    Zeros(b, 8);
    U32(b, o.first_point);
    U32(b, o.point_count);
    Zeros(b, 8);
    U32(b, o.first_face);
    U32(b, o.face_count);
    Zeros(b, 16);
    Floats(b, o.matrix, 16);
    Floats(b, o.min, 3);
    Floats(b, o.max, 3);
    U16(b, o.level);
    U16(b, 0);
  });
  w.Items("ANGL", m.animations, [](Bytes& b, const QoeAnimation& a) {
    Text(b, a.name, 40);
    U32(b, a.last_frame + 1);
    U32(b, a.first_frame);
    U32(b, a.frame_count);
    Zeros(b, 4);
  });
  w.Items("FRGL", m.frames, [](Bytes& b, const QoeFrame& f) {
    U32(b, uint32_t(f.number));
    U32(b, f.target);
    Zeros(b, 4);
    Pose(b, f.pose);
    U16(b, 1);  // flags (the loader sets its own)
    U16(b, f.target_kind);
  });
  w.Items("ELGL", m.elements, [](Bytes& b, const QoeElement& e) {
    Zeros(b, 8);
    U32(b, uint32_t(e.number));
    U32(b, e.animation);
    Zeros(b, 4);
    Pose(b, e.pose);
    Zeros(b, 4);
  });
  for (size_t i = 0; i < m.textures.size(); i++) {
    const QoeTexture& t = m.textures[i];
    if (t.picture == QoeTexture::kRaw) {
      Bytes px = t.pixels;
      const size_t bpp = t.bits / 8;
      if (!form && bpp >= 3)
        for (size_t k = 0; k + bpp <= px.size(); k += bpp) std::swap(px[k], px[k + 2]);
      w.Chunk("BMGL", uint16_t(i), 0, px);
    } else if (t.picture == QoeTexture::kJpeg) {
      if (t.bits == 32) w.Chunk("JPGL", uint16_t(i), 0, t.jpeg_alpha);
      w.Chunk("JPGL", uint16_t(i), 0, t.jpeg);
    }
  }
  Bytes file;
  file.insert(file.end(), form ? "FORM" : "OPGL", (form ? "FORM" : "OPGL") + 4);
  U32(file, uint32_t(w.out.size() + 12));  // not read: the bytes after this word
  U32(file, form ? 1 : 0);                 // not read: the version
  U32(file, w.chunks);
  U32(file, 0);
  file.insert(file.end(), w.out.begin(), w.out.end());
  return file;
}

}  // namespace datakit
