#include "anim_encoder.h"
#include "iffwrite.h"

#include <cmath>
#include <filesystem>
#include <fstream>

namespace datakit {

namespace {

using Bytes = std::vector<uint8_t>;

void Set32(Bytes& b, size_t at, uint32_t v) {
  b[at] = (uint8_t)(v >> 24); b[at + 1] = (uint8_t)(v >> 16); b[at + 2] = (uint8_t)(v >> 8); b[at + 3] = (uint8_t)v;
}

Bytes Cmap(const std::vector<Rgb>& colours) {
  Bytes b;
  for (const Rgb& c : colours) b.insert(b.end(), c.begin(), c.end());
  return b;
}

// LRGB groups over the colours that differ from `old` (all when old is empty).
Bytes Lrgb(const std::vector<Rgb>& colours, const std::vector<Rgb>& old) {
  Bytes b;
  const size_t n = colours.size();
  size_t i = 0;
  while (i < n) {
    if (!old.empty() && colours[i] == old[i]) { ++i; continue; }
    size_t j = i;
    while (j < n && j - i < 255 && (old.empty() || colours[j] != old[j])) ++j;
    b.push_back((uint8_t)(j - i));
    b.push_back((uint8_t)i);
    for (size_t k = i; k < j; ++k) b.insert(b.end(), colours[k].begin(), colours[k].end());
    i = j;
  }
  b.push_back(0);
  b.push_back(0);
  return b;
}

// The op list of one column: skips over unchanged rows, runs of equal bytes,
// copies of the rest. Returns false when it would need more than 255 ops.
bool ColumnOps(const uint8_t* now, const uint8_t* old, int rb, int h, Bytes& ops, int& count) {
  auto N = [&](int y) { return now[(size_t)y * rb]; };
  auto same = [&](int y) { return now[(size_t)y * rb] == old[(size_t)y * rb]; };
  int last = h - 1;
  while (last >= 0 && same(last)) --last;
  int y = 0;
  count = 0;
  while (y <= last) {
    if (same(y)) {
      int s = 0;
      while (y + s <= last && same(y + s) && s < 127) ++s;
      ops.push_back((uint8_t)s);
      y += s;
    } else {
      int r = 1;
      while (y + r < h && r < 255 && N(y + r) == N(y)) ++r;
      if (r >= 3) {
        ops.push_back(0);
        ops.push_back((uint8_t)r);
        ops.push_back(N(y));
        y += r;
      } else {
        const int start = y;
        while (y <= last && y - start < 127) {
          if (same(y) && (y + 1 > last || same(y + 1))) break;
          if (y > start && y + 2 < h && N(y) == N(y + 1) && N(y) == N(y + 2)) break;
          ++y;
        }
        ops.push_back((uint8_t)(128 + y - start));
        for (int k = start; k < y; ++k) ops.push_back(N(k));
      }
    }
    if (++count > 255) return false;
  }
  return true;
}

// Fallback for tall columns: skip to the first changed row, then copy up to the last.
void ColumnSpan(const uint8_t* now, const uint8_t* old, int rb, int h, Bytes& ops, int& count) {
  int first = 0, last = h - 1;
  while (first < h && now[(size_t)first * rb] == old[(size_t)first * rb]) ++first;
  while (last >= first && now[(size_t)last * rb] == old[(size_t)last * rb]) --last;
  count = 0;
  for (int y = 0; y < first; y += 127, ++count) ops.push_back((uint8_t)std::min(127, first - y));
  for (int y = first; y <= last; ++count) {
    const int n = std::min(127, last - y + 1);
    ops.push_back((uint8_t)(128 + n));
    for (int k = 0; k < n; ++k) ops.push_back(now[(size_t)(y + k) * rb]);
    y += n;
  }
}

// ANIM-5 delta turning the planes `old` into `now`.
Bytes Delta(const Bytes& now, const Bytes& old, int w, int h) {
  const int rb = w / 8;
  const size_t stride = (size_t)rb * h;
  Bytes d(64, 0);
  for (int p = 0; p < 8; ++p) {
    const uint8_t* np = now.data() + p * stride;
    const uint8_t* op = old.data() + p * stride;
    if (std::equal(np, np + stride, op)) continue;
    Bytes plane;
    for (int c = 0; c < rb; ++c) {
      Bytes ops;
      int count = 0;
      if (!ColumnOps(np + c, op + c, rb, h, ops, count)) {
        ops.clear();
        ColumnSpan(np + c, op + c, rb, h, ops, count);
      }
      plane.push_back((uint8_t)count);
      plane.insert(plane.end(), ops.begin(), ops.end());
    }
    Set32(d, 4 * p, (uint32_t)d.size());
    d.insert(d.end(), plane.begin(), plane.end());
  }
  return d;
}

bool Fail(std::string* err, const std::string& what) {
  if (err) *err = what;
  return false;
}

}  // namespace

std::vector<uint8_t> ToPlanes(const std::vector<uint8_t>& pixels, int width, int height) {
  const int rb = width / 8;
  const size_t stride = (size_t)rb * height;
  std::vector<uint8_t> planes(stride * 8, 0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t v = pixels[(size_t)y * width + x];
      for (int p = 0; p < 8; ++p)
        if (v & (1 << p)) planes[p * stride + (size_t)y * rb + x / 8] |= (uint8_t)(0x80 >> (x % 8));
    }
  return planes;
}

std::vector<uint8_t> EncodeAnim(const AnimOptions& o, const std::vector<AnimFrame>& frames, std::string* err) {
  const int w = o.width, h = o.height;
  if (w < 8 || w % 8 || w > 1016 || h < 1 || h > 4096) return Fail(err, "width must be a multiple of 8 up to 1016, height 1..4096"), Bytes{};
  if (o.planes < 1 || o.planes > 8) return Fail(err, "planes must be 1..8"), Bytes{};
  if (frames.empty()) return Fail(err, "no frames"), Bytes{};
  const size_t colours = (size_t)1 << o.planes;
  if (frames[0].colours.size() != colours) return Fail(err, "the first frame needs 2^planes colours"), Bytes{};
  for (const AnimFrame& f : frames) {
    if (f.pixels.size() != (size_t)w * h) return Fail(err, "a frame has the wrong pixel count"), Bytes{};
    if (!f.colours.empty() && f.colours.size() != colours) return Fail(err, "a frame has the wrong colour count"), Bytes{};
    for (uint8_t v : f.pixels)
      if (v >= colours) return Fail(err, "a pixel is beyond the planes"), Bytes{};
  }
  const int rb = w / 8;
  const size_t stride = (size_t)rb * h;
  std::vector<Bytes> planes;
  for (const AnimFrame& f : frames) planes.push_back(ToPlanes(f.pixels, w, h));

  Bytes body;
  Bytes first;
  {
    Bytes bmhd;
    Put16(bmhd, w);
    Put16(bmhd, h);
    Put16(bmhd, 0);
    Put16(bmhd, 0);
    bmhd.push_back((uint8_t)o.planes);
    bmhd.push_back(0);                       // no mask
    bmhd.push_back(o.compress_body ? 1 : 0);
    bmhd.push_back(0);
    Put16(bmhd, 0);                          // transparent colour
    bmhd.push_back(1);
    bmhd.push_back(1);
    Put16(bmhd, w);
    Put16(bmhd, h);
    PutChunk(first, "BMHD", bmhd);
    if (o.lrgb) PutChunk(first, "LRGB", Lrgb(frames[0].colours, {}));
    else PutChunk(first, "CMAP", Cmap(frames[0].colours));
    PutChunk(first, "CAMG", Bytes{0, 0, 0, 0});
    Bytes data;
    for (int y = 0; y < h; ++y)
      for (int p = 0; p < o.planes; ++p) {
        const uint8_t* row = planes[0].data() + p * stride + (size_t)y * rb;
        if (o.compress_body) PackRow(data, row, rb);
        else data.insert(data.end(), row, row + rb);
      }
    PutChunk(first, "BODY", data);
  }
  Bytes all = Form("ILBM", first);
  std::vector<Rgb> current = frames[0].colours;
  for (size_t i = 1; i < frames.size(); ++i) {
    Bytes chunks;
    Bytes anhd;
    anhd.push_back(5);   // byte-vertical delta
    anhd.push_back(0);
    Put16(anhd, w);
    Put16(anhd, h);
    Put16(anhd, 0);
    Put16(anhd, 0);
    Put32(anhd, 0);
    Put32(anhd, 1);      // one jiffy after the previous frame
    anhd.push_back(0);   // interleave 0: against the frame two steps back
    anhd.push_back(0);
    Put32(anhd, 0);
    anhd.resize(40, 0);
    PutChunk(chunks, "ANHD", anhd);
    const std::vector<Rgb>& c = frames[i].colours;
    if (!c.empty() && c != current) {
      if (o.lrgb) PutChunk(chunks, "LRGB", Lrgb(c, current));
      else PutChunk(chunks, "CMAP", Cmap(c));
      current = c;
    }
    // Both buffers hold the first frame at the start: frame 1 and 2 build on it.
    const Bytes& base = planes[i >= 2 ? i - 2 : 0];
    PutChunk(chunks, "DLTA", Delta(planes[i], base, w, h));
    Bytes f = Form("ILBM", chunks);
    all.insert(all.end(), f.begin(), f.end());
  }
  return Form("ANIM", all);
}

// ---- The kit's test movies ----------------------------------------------------

namespace {

std::vector<Rgb> Ramp(size_t n, Rgb from, Rgb to, size_t phase) {
  std::vector<Rgb> c(n);
  for (size_t i = 0; i < n; ++i) {
    const double t = (double)((i + phase) % n) / (double)(n - 1);
    for (int k = 0; k < 3; ++k) c[i][k] = (uint8_t)std::lround(from[k] + (to[k] - from[k]) * t);
  }
  return c;
}

bool WriteMovie(const std::filesystem::path& path, const AnimOptions& o, const std::vector<AnimFrame>& frames,
                std::string* err) {
  const Bytes file = EncodeAnim(o, frames, err);
  if (file.empty()) return false;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(file.data()), (std::streamsize)file.size());
  return f.good() || Fail(err, "cannot write " + path.string());
}

}  // namespace

bool MakeTestMovies(const std::string& out, std::string* err) {
  const std::filesystem::path dir = std::filesystem::path(out) / "Anims";
  // Water: 64 x 48, 8 planes, waves running across, one palette (CMAP).
  {
    AnimOptions o;
    o.width = 64;
    o.height = 48;
    std::vector<AnimFrame> frames(16);
    for (int f = 0; f < 16; ++f) {
      frames[f].pixels.resize(64 * 48);
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
          const double v = std::sin((x + 4 * f) * 0.2) + std::sin((y + 2 * f) * 0.3);
          frames[f].pixels[y * 64 + x] = (uint8_t)(96 + std::lround(v * 15));
        }
    }
    frames[0].colours = Ramp(256, {0, 16, 48}, {150, 210, 255}, 0);
    if (!WriteMovie(dir / "TestWasser.CBAN", o, frames, err)) return false;
  }
  // Fire: 72 x 40 (not a multiple of 16), 8 planes, flames and cycling colours (LRGB).
  {
    AnimOptions o;
    o.width = 72;
    o.height = 40;
    o.lrgb = true;
    std::vector<AnimFrame> frames(12);
    for (int f = 0; f < 12; ++f) {
      frames[f].pixels.resize(72 * 40);
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 72; ++x) {
          const int flame = (int)(20 + 12 * std::sin(x * 0.35 + f) + 6 * std::sin(x * 0.9 - 2 * f));
          const int heat = y > 40 - flame ? 200 - (40 - y) * 4 : 0;
          frames[f].pixels[y * 72 + x] = (uint8_t)std::max(0, std::min(255, heat));
        }
      std::vector<Rgb> c = Ramp(256, {0, 0, 0}, {255, 230, 120}, 0);
      for (int k = 0; k < 16; ++k) c[160 + k] = Rgb{255, (uint8_t)(120 + ((k + f) % 16) * 8), 0};
      frames[f].colours = c;
    }
    if (!WriteMovie(dir / "TestFeuer.CBAN", o, frames, err)) return false;
  }
  // Wheel: 96 x 64, 5 planes, a turning wheel; the colours change by CMAP every 4 frames.
  {
    AnimOptions o;
    o.width = 96;
    o.height = 64;
    o.planes = 5;
    std::vector<AnimFrame> frames(10);
    for (int f = 0; f < 10; ++f) {
      frames[f].pixels.resize(96 * 64);
      for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
          const double dx = x - 48, dy = y - 32, r = std::sqrt(dx * dx + dy * dy);
          const double a = std::atan2(dy, dx) + f * 0.3;
          uint8_t v = 0;
          if (r < 28) v = (uint8_t)(1 + ((int)std::floor(a * 8 / 3.14159265) & 7) + (r > 24 ? 16 : 0));
          frames[f].pixels[y * 96 + x] = v;
        }
      if (f % 4 == 0) frames[f].colours = Ramp(32, {40, 20, 10}, {230, 200, 150}, (size_t)f);
    }
    if (!WriteMovie(dir / "TestRad.CBAN", o, frames, err)) return false;
  }
  return true;
}

}  // namespace datakit
