// Test worlds and test pictures for the map engine (see map_fixture.h).
#include "map_fixture.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "routinen/system/graphics.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace maptest {

namespace {

void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back((uint8_t)(v >> 8));
  b.push_back((uint8_t)v);
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, (uint16_t)(v >> 16));
  Put16(b, (uint16_t)v);
}
void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; i++) p[i] = (uint8_t)(v >> (8 * i));
}

// A picture of pens; pen 255 is the transparent colour of masked pictures.
struct Pic {
  uint32_t w, h;
  std::vector<uint8_t> px;
  Pic(uint32_t w_, uint32_t h_, uint8_t fill) : w(w_), h(h_), px((size_t)w_ * h_, fill) {}
  uint8_t& at(uint32_t x, uint32_t y) { return px[(size_t)y * w + x]; }
};

std::vector<uint8_t> Ilbm(const Pic& p, bool masked) {
  std::vector<uint8_t> body;
  uint32_t rowBytes = ((p.w + 15) / 16) * 2;
  for (uint32_t y = 0; y < p.h; y++)
    for (int plane = 0; plane < 8; plane++) {
      std::vector<uint8_t> row(rowBytes, 0);
      for (uint32_t x = 0; x < p.w; x++)
        if ((p.px[(size_t)y * p.w + x] >> plane) & 1) row[x / 8] |= (uint8_t)(0x80 >> (x & 7));
      body.insert(body.end(), row.begin(), row.end());
    }
  std::vector<uint8_t> f;
  f.insert(f.end(), {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'I', 'L', 'B', 'M'});
  f.insert(f.end(), {'B', 'M', 'H', 'D'});
  Put32(f, 20);
  Put16(f, (uint16_t)p.w);
  Put16(f, (uint16_t)p.h);
  Put32(f, 0);
  f.push_back(8);
  f.push_back(masked ? 2 : 0);
  f.push_back(0);
  f.push_back(0);
  Put16(f, 255);
  f.push_back(1);
  f.push_back(1);
  Put16(f, (uint16_t)p.w);
  Put16(f, (uint16_t)p.h);
  f.insert(f.end(), {'C', 'M', 'A', 'P'});
  Put32(f, 768);
  for (int i = 0; i < 256; i++) {
    uint32_t c = ColourOfPen((uint8_t)i);
    f.push_back((uint8_t)(c >> 16));
    f.push_back((uint8_t)(c >> 8));
    f.push_back((uint8_t)c);
  }
  f.insert(f.end(), {'B', 'O', 'D', 'Y'});
  Put32(f, (uint32_t)body.size());
  f.insert(f.end(), body.begin(), body.end());
  uint32_t len = (uint32_t)f.size() - 8;
  f[4] = (uint8_t)(len >> 24);
  f[5] = (uint8_t)(len >> 16);
  f[6] = (uint8_t)(len >> 8);
  f[7] = (uint8_t)len;
  return f;
}

// The hex of a 64 x 56 tile: flat top and bottom 32 pixels wide, the points
// at the middle rows, slanted sides 16 pixels in over 28 rows.
bool InHex(int x, int y) {
  double yc = y + 0.5 - 28.0, xc = x + 0.5;
  double inset = 16.0 * std::fabs(yc) / 28.0;
  return xc >= inset && xc <= 64.0 - inset;
}

struct Entry {
  uint8_t kind;  // 2 graphic, 3 masked, 4 strip
  uint16_t frames, frameH, w, h;
};

// The generated files (path relative to the working folder, bytes), made
// once per process and written into each test's own folder.
std::vector<std::pair<std::string, std::vector<uint8_t>>> g_cache;

void MakeCache() {
  if (!g_cache.empty()) return;
  std::map<uint32_t, Entry> entries;
  auto save = [&](uint32_t id, const Pic& p, uint8_t kind, uint16_t frames, uint16_t frameH) {
    char name[64];
    std::snprintf(name, sizeof name, "Gfx/Pic%04u.ilbm", id);
    g_cache.emplace_back(name, Ilbm(p, kind != 2));
    entries[id] = Entry{kind, frames, frameH, (uint16_t)p.w, (uint16_t)p.h};
  };
  // Tiles: every ID of the tile table, one colour each (corners included:
  // odd columns are cut to the hex by the engine).
  std::set<uint32_t> tiles;
  for (int g = 0; g < 100; g++)
    for (int v = 0; v < 9; v++)
      if (TileTable[g][v]) tiles.insert(TileTable[g][v]);
  for (uint32_t id : tiles) {
    Pic p(64, 56, PenOf(id));
    for (int x = 0; x < 64; x++)
      for (int y = 0; y < 56; y++)
        if (InHex(x, y) && !InHex(x - 1, y)) p.at(x, y) = 16;  // a grey left edge shows the grid
    save(id, p, 2, 1, 56);
  }
  Pic mask(64, 56, 255);
  for (int y = 0; y < 56; y++)
    for (int x = 0; x < 64; x++)
      if (InHex(x, y)) mask.at(x, y) = 1;
  save(31, mask, 3, 1, 56);
  if (!entries.count(4)) save(4, Pic(64, 56, 2), 2, 1, 56);
  // Figures: seven strips per type of 24 frames of 64 x 54, a disc in the
  // type's colour with a frame mark.
  static const uint32_t firsts[] = {380, 441, 450, 457, 522, 529, 536, 543, 550, 557, 788, 795, 802, 809, 816, 823, 830, 1097};
  for (uint32_t first : firsts)
    for (uint32_t k = 0; k < 7; k++) {
      Pic p(64, 24 * 54, 255);
      for (uint32_t f = 0; f < 24; f++)
        for (int y = 0; y < 54; y++)
          for (int x = 0; x < 64; x++) {
            int dx = x - 32, dy = y - 27;
            if (dx * dx + dy * dy <= 14 * 14) p.at(x, f * 54 + y) = (dy > 8 && dx > -2 && dx < 2) ? 0 : PenOf(first);
          }
      save(first + k, p, 4, 24, 54);
    }
  // Map objects: strips of 64 x 54 frames (10 for 493, 18 for 838, 24 for
  // the others), a box in the object's colour; frame f > 0 also marks pixel
  // (2 + f, 2) with pen 7.
  for (uint32_t id : {493u, 838u, 839u, 884u, 885u, 886u, 887u, 888u, 889u, 890u}) {
    const uint32_t frames = id == 493 ? 10 : id == 838 ? 18 : 24;
    Pic p(64, 54 * frames, 255);
    for (uint32_t f = 0; f < frames; f++) {
      for (int y = 10; y < 44; y++)
        for (int x = 20; x < 44; x++) p.at(x, f * 54 + y) = PenOf(id);
      if (f > 0) p.at(2 + f, f * 54 + 2) = 7;
    }
    save(id, p, 4, (uint16_t)frames, 54);
  }
  auto box = [&](uint32_t id, uint32_t w, uint32_t h, uint8_t pen) {
    Pic p(w, h, pen);
    p.at(0, 0) = p.at(w - 1, 0) = p.at(0, h - 1) = p.at(w - 1, h - 1) = 255;
    save(id, p, 3, 1, (uint16_t)h);
  };
  box(378, 34, 36, 17);
  box(439, 4, 4, 220);
  box(440, 4, 4, 200);
  box(1276, 12, 10, 201);
  box(1277, 12, 10, 221);
  box(1291, 24, 24, 230);
  box(1292, 24, 24, 231);
  Pic range(64, 56, 255);
  for (int y = 0; y < 56; y++)
    for (int x = 0; x < 64; x++)
      if (InHex(x, y) && ((x + y) % 4 == 0)) range.at(x, y) = 254;
  save(471, range, 3, 1, 56);
  uint16_t count = (uint16_t)entries.rbegin()->first;
  std::vector<uint8_t> idx = {'Q', 'P', 'T', 'H'};
  Put16(idx, 1);
  Put16(idx, count);
  Put32(idx, 0);
  for (uint32_t id = 1; id <= count; id++) {
    std::vector<uint8_t> rec(64, 0);
    auto it = entries.find(id);
    if (it != entries.end()) {
      const Entry& e = it->second;
      rec[0] = e.kind;
      rec[2] = (uint8_t)(e.frames >> 8), rec[3] = (uint8_t)e.frames;
      rec[4] = (uint8_t)(e.frameH >> 8), rec[5] = (uint8_t)e.frameH;
      rec[6] = (uint8_t)(e.w >> 8), rec[7] = (uint8_t)e.w;
      rec[8] = (uint8_t)(e.h >> 8), rec[9] = (uint8_t)e.h;
      std::snprintf(reinterpret_cast<char*>(rec.data() + 12), 52, "Gfx\\Pic%04u.ilbm", id);
    }
    idx.insert(idx.end(), rec.begin(), rec.end());
  }
  g_cache.emplace_back("Data/Path", std::move(idx));
}

}  // namespace

uint8_t PenOf(uint32_t id) { return (uint8_t)(40 + (id * 37u) % 200u); }

uint32_t ColourOfPen(uint8_t p) {
  if (p == 0) return 0;
  if (p == 255) return 0xFF00FF;
  if (p >= 16 && p < 32) return 0x101010u * (uint32_t)(p - 15);
  if (p == 7) return 0xFFFFFF;
  uint32_t r = (p * 53u + 40) % 200 + 40, g = (p * 97u + 90) % 200 + 40, b = (p * 151u + 10) % 200 + 40;
  return (r << 16) | (g << 8) | b;
}

void SetTestPalette() {
  PaletteCopy* pal = ScreenPalette();
  for (int i = 0; i < 256; i++) {
    uint32_t c = ColourOfPen((uint8_t)i);
    pal->Colors[i] = PaletteColor{(uint8_t)(c >> 16), (uint8_t)(c >> 8), (uint8_t)c, 0};
  }
}

void WriteTestPictures() {
  MakeCache();
  fs::create_directories("Data");
  fs::create_directories("Gfx");
  for (const auto& file : g_cache) qoe_test::WriteFileBytes(file.first, file.second);
}

void CopyMapFont() {
  fs::create_directories("fonts");
  fs::copy_file(qoe_test::BinaryDir() + "/datakit/fonts/XHelvetica9.fnt", "fonts/XHelvetica9.fnt",
                fs::copy_options::overwrite_existing);
}

std::string PartPath(char kind, int32_t px, int32_t py) {
  return "Map/" + std::string(1, kind) + "_" + std::to_string(px) + "_" + std::to_string(py) + ".map";
}

void WritePart(const WorldFn& world, int32_t px, int32_t py) {
  fs::create_directories("Map");
  std::vector<uint8_t> b(kMapPartBytes, 0);
  for (int r = 0; r < 40; r++)
    for (int c = 0; c < 80; c++) {
      int32_t x = px * 80 + c, y = py * 40 + r;
      Terrain t = world(x, y);
      uint8_t* p = b.data() + r * 1760 + c * 22;
      PutLE32(p, (uint32_t)x);
      PutLE32(p + 4, (uint32_t)y);
      p[8] = (uint8_t)t.grafik;
      p[9] = (uint8_t)(t.grafik >> 8);
      p[10] = (uint8_t)t.wert[0];
      p[11] = (uint8_t)t.wert[1];
      p[12] = (uint8_t)t.wert[2];
      p[13] = (uint8_t)(x ^ y);
      PutLE32(p + 14, t.owner);
      PutLE32(p + 18, t.flags);
    }
  qoe_test::WriteFileBytes(PartPath('M', px, py), b);
}

void WriteKnowledge(const std::function<bool(int32_t, int32_t)>& known, int32_t px, int32_t py) {
  fs::create_directories("Map");
  std::vector<uint8_t> b(kBMapPartBytes, 0);
  for (int r = 0; r < 40; r++)
    for (int c = 0; c < 80; c++)
      if (known(px * 80 + c, py * 40 + r)) b[r * 10 + c / 8] |= (uint8_t)(1 << (c & 7));
  qoe_test::WriteFileBytes(PartPath('B', px, py), b);
}

void WriteWindow(const WorldFn& world, int32_t px, int32_t py, bool knowledge) {
  for (int dy = -1; dy <= 1; dy++)
    for (int dx = -1; dx <= 1; dx++) {
      int32_t x = (px + dx + 160) % 160, y = (py + dy + 160) % 160;
      WritePart(world, x, y);
      if (knowledge) WriteKnowledge([](int32_t, int32_t) { return true; }, x, y);
    }
}

Terrain DemoRealm(int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t owner) {
  Terrain t;
  double v = std::sin(x * 0.23) + std::cos(y * 0.31) + std::sin((x + 2 * y) * 0.11) + std::cos((x - y) * 0.07);
  uint32_t h = (uint32_t)(x * 73856093u) ^ (uint32_t)(y * 19349663u);
  if (v < -1.3) t.grafik = 23;
  else if (v < -0.9) t.grafik = (uint16_t)(24 + h % 3);
  else if (v < -0.3) t.grafik = (uint16_t)(12 + h % 2);
  else if (v < 0.2) t.grafik = (uint16_t)(39 + h % 13);
  else if (v < 0.7) t.grafik = (uint16_t)(17 + h % 6);
  else if (v < 1.1) t.grafik = (uint16_t)(h % 3 == 0 ? 14 : 6);
  else if (v < 1.5) t.grafik = (uint16_t)(10 + h % 2);
  else if (v < 1.9) t.grafik = 5;
  else t.grafik = 9;
  int32_t d = HexDistanceForTest(x, y, cx, cy);
  if (d <= 7) {
    t.owner = owner;
    t.wert[0] = (int8_t)(h % 7);
    t.wert[1] = (int8_t)((h >> 3) % 7);
    t.wert[2] = (int8_t)((h >> 6) % 7);
    if (t.grafik == 23) t.grafik = 12;
  }
  if (d == 0) t.grafik = 1;
  else if (d == 1) t.grafik = (uint16_t)(31 + (x + y) % 4);
  int32_t e = HexDistanceForTest(x, y, cx + 14, cy + 4);
  if (e <= 4) t.owner = 77;  // a neighbour's land
  if (e == 0) t.grafik = 2;
  if (x == cx - 4 && y == cy + 3) t.flags = 2;  // the dungeon
  return t;
}

int32_t HexDistanceForTest(int32_t c1, int32_t r1, int32_t c2, int32_t r2) {
  auto z = [](int32_t c, int32_t r) { return r - (c - (c & 1)) / 2; };
  int32_t dx = c2 - c1, dz = z(c2, r2) - z(c1, r1), dy = -dx - dz;
  return std::max({std::abs(dx), std::abs(dy), std::abs(dz)});
}

std::vector<uint8_t> MapPrefsImage(const std::vector<Fig>& figs, int32_t extra) {
  std::vector<uint8_t> b = {'M', 'R', 'E', 'F', 'V', '0', '0', '1', 0, 0, 0, 16};
  b.resize(28, 0);
  b.insert(b.end(), {'M', 'O', 'V', 'E', 'V', '0', '0', '1'});
  Put32(b, (uint32_t)(2 + 18 * figs.size() + extra));
  Put16(b, (uint16_t)figs.size());
  for (const Fig& f : figs) {
    Put32(b, f.owner);
    Put16(b, f.type);
    Put16(b, f.number);
    Put32(b, f.x);
    Put32(b, f.y);
    b.push_back(f.state);
    b.push_back(f.points);
  }
  for (int32_t i = 0; i < extra; i++) b.push_back(0);
  return b;
}

void WriteMapPrefs(const std::vector<Fig>& figs) {
  fs::create_directories("Data");
  qoe_test::WriteFileBytes("Data/MapPrefs.qoe", MapPrefsImage(figs));
}

int OpenFdCount() {
  int n = 0;
  for (auto& e : fs::directory_iterator("/proc/self/fd")) {
    (void)e;
    n++;
  }
  return n;
}

std::vector<std::string> OpenPartFiles() {
  std::vector<std::string> out;
  for (auto& e : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    fs::path target = fs::read_symlink(e.path(), ec);
    if (ec) continue;
    std::string name = target.filename().string();
    if (target.parent_path().filename() == "Map" && (name.rfind("M_", 0) == 0 || name.rfind("B_", 0) == 0))
      out.push_back(name);
  }
  return out;
}

}  // namespace maptest
