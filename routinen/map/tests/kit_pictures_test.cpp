// The data kit's map pictures: every picture the map view names is in the
// index at its size and loads; the hex mask tiles the plane and agrees with
// GetHexFromPixel; one terrain drawn over a block of hexes joins without a
// seam; the demo realm in the four seasons as PNGs.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "map_fixture.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/map_internal.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace maptest;

namespace {

struct IndexRecord {
  uint8_t kind = 0;
  uint16_t frames = 0, frame_height = 0, width = 0, height = 0;
  std::string file;
};

uint16_t Be16(const uint8_t* p) { return (uint16_t)(p[0] << 8 | p[1]); }

std::vector<IndexRecord> ReadIndex(const std::string& path) {
  std::vector<uint8_t> b = qoe_test::ReadFileBytes(path);
  std::vector<IndexRecord> out;
  if (b.size() < 12 || std::memcmp(b.data(), "QPTH", 4) != 0) return out;
  uint16_t n = Be16(&b[6]);
  out.resize(n + 1u);
  for (uint32_t id = 1; id <= n && 12 + id * 64 <= b.size(); ++id) {
    const uint8_t* r = &b[12 + (id - 1) * 64];
    out[id] = IndexRecord{r[0], Be16(r + 2), Be16(r + 4), Be16(r + 6), Be16(r + 8),
                          std::string(reinterpret_cast<const char*>(r + 12), strnlen(reinterpret_cast<const char*>(r + 12), 52))};
  }
  return out;
}

std::set<uint32_t> TileIds() {
  std::set<uint32_t> ids;
  for (int g = 0; g < 100; ++g)
    for (int v = 0; v < 9; ++v)
      if (TileTable[g][v]) ids.insert(TileTable[g][v]);
  return ids;
}

class KitMap : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(4), 1);
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    // The kit's palette for the screen: the tiles are drawn in it.
    ASSERT_EQ(SetElmorPalette(".\\Data\\Path", 3, 0, 256, 0), 1);
    ResetMapEngineState();
    MapState().animFrameMs = 0;
  }
  void TearDown() override {
    if (map_) {
      ExitPos(map_);
      ExitKarte(map_);
    }
    ResetPictureManagerState();
    ResetMapEngineState();
    HeadlessCloseDisplay();
  }
  uint32_t Pixel(const BitMap* bm, int32_t x, int32_t y) const {
    uint32_t v;
    std::memcpy(&v, bm->Pixels + y * bm->BytesPerRow + x * 4, 4);
    return v & 0xFFFFFF;
  }
  QoEMapInfo* OpenWorld(const WorldFn& world, uint16_t flags, uint16_t w, uint16_t h) {
    for (int dy = -1; dy <= 1; dy++)
      for (int dx = -1; dx <= 1; dx++) {
        WritePart(world, 50 + dx, 50 + dy);
        WriteKnowledge([](int32_t, int32_t) { return true; }, 50 + dx, 50 + dy);
      }
    map_ = LadeKarte(flags, 50, 50, ".\\Map");
    EXPECT_NE(map_, nullptr);
    if (!map_) return nullptr;
    EXPECT_EQ(InitPos(map_, 4000 - 6, 2020 - 5, 16, 16, w, h, (int16_t)flags), 1);
    return map_;
  }
  QoEMapInfo* map_ = nullptr;
};

}  // namespace

TEST_F(KitMap, EveryTilePictureIsInTheIndexAtItsSizeAndLoads) {
  std::vector<IndexRecord> ix = ReadIndex("Data/Path");
  ASSERT_FALSE(ix.empty());
  std::set<uint32_t> ids = TileIds();
  ids.insert(4);
  EXPECT_GE(ids.size(), 300u);
  for (uint32_t id : ids) {
    ASSERT_LT(id, ix.size()) << id;
    EXPECT_EQ(ix[id].kind, 2) << id;
    EXPECT_EQ(ix[id].width, 64) << id;
    EXPECT_EQ(ix[id].height, 56) << id;
    ASSERT_EQ(OpenElmorGfx(kMapPicIndex, id), 1) << id;
    EXPECT_EQ(ElmorGfxBitMap(id)->Width, 64u);
    EXPECT_EQ(ElmorGfxBitMap(id)->Height, 56u);
    CloseElmorGfx(id);
  }
  // Out of sight is darker than in sight: compare the mean brightness.
  auto mean = [&](uint32_t id) {
    EXPECT_EQ(OpenElmorGfx(kMapPicIndex, id), 1);
    const BitMap* bm = ElmorGfxBitMap(id);
    double s = 0;
    for (int y = 0; y < 56; ++y)
      for (int x = 0; x < 64; ++x) {
        uint32_t c = Pixel(bm, x, y);
        s += ((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255);
      }
    CloseElmorGfx(id);
    return s;
  };
  for (int g : {1, 5, 12, 17, 23})
    EXPECT_LT(mean(TileTable[g][4]) * 1.5, mean(TileTable[g][0])) << g;
  // Winter is snow: lighter than summer for land.
  for (int g : {12, 17, 10})
    EXPECT_GT(mean(TileTable[g][3]), mean(TileTable[g][1]) * 1.2) << g;
}

TEST_F(KitMap, OverlaysFiguresAndObjectsAreInTheIndexAndLoad) {
  std::vector<IndexRecord> ix = ReadIndex("Data/Path");
  ASSERT_FALSE(ix.empty());
  struct Want { uint32_t id; uint8_t kind; uint16_t w, h, frames; };
  std::vector<Want> want = {{378, 3, 14, 33, 1},  {439, 3, 4, 4, 1},    {440, 3, 4, 4, 1},  {471, 3, 64, 56, 1},
                            {1276, 3, 12, 10, 1}, {1277, 3, 12, 10, 1}, {1291, 3, 36, 30, 1}, {1292, 3, 24, 30, 1}};
  // Seven strips per figure picture (turning, then six walking directions),
  // 24 frames of 64 x 54 each.
  for (uint32_t first : {380u, 441u, 450u, 457u, 522u, 529u, 536u, 543u, 550u, 557u, 788u, 795u, 802u, 809u, 816u,
                         823u, 830u, 1097u})
    for (uint32_t k = 0; k < 7; ++k) want.push_back({first + k, 4, 64, 54 * 24, 24});
  // Map objects with the frame counts the idle animation plays.
  want.push_back({493, 4, 64, 54 * 10, 10});
  want.push_back({838, 4, 64, 54 * 18, 18});
  want.push_back({839, 4, 64, 54 * 24, 24});
  for (uint32_t id = 884; id <= 890; ++id) want.push_back({id, 4, 64, 54 * 24, 24});
  for (const Want& w : want) {
    SCOPED_TRACE(w.id);
    ASSERT_LT(w.id, ix.size());
    EXPECT_EQ(ix[w.id].kind, w.kind);
    EXPECT_EQ(ix[w.id].width, w.w);
    EXPECT_EQ(ix[w.id].height, w.h);
    EXPECT_EQ(ix[w.id].frames, w.frames);
    if (w.kind == 4) { EXPECT_EQ(ix[w.id].frame_height, 54); }
    ASSERT_EQ(OpenElmorGfx(kMapPicIndex, w.id), 1);
    const uint8_t* mask = GetElmorGfxMask(w.id);
    ASSERT_NE(mask, nullptr);
    // Something is drawn in every frame, and the holes are holes.
    for (uint16_t f = 0; f < w.frames; ++f) {
      int set = 0, frame_h = w.h / w.frames;
      for (int i = 0; i < w.w * frame_h; ++i) set += mask[f * w.w * frame_h + i] != 0;
      EXPECT_GT(set, 8) << "frame " << f;
      EXPECT_LT(set, w.w * frame_h) << "frame " << f;
    }
    CloseElmorGfx(w.id);
  }
}

TEST_F(KitMap, HexMaskIsOneBitPerPixelAndTilesThePlane) {
  std::vector<IndexRecord> ix = ReadIndex("Data/Path");
  ASSERT_GT(ix.size(), 31u);
  EXPECT_EQ(ix[31].width, 64);
  EXPECT_EQ(ix[31].height, 56);
  // The file: one plane, uncompressed; the body is 56 rows of two
  // big-endian 32-bit words, the most significant bit the leftmost pixel.
  std::string file = ix[31].file;
  for (char& c : file) if (c == '\\') c = '/';
  std::vector<uint8_t> b = qoe_test::ReadFileBytes(file);
  size_t at = 12;
  const uint8_t* body = nullptr;
  while (at + 8 <= b.size()) {
    uint32_t len = (uint32_t)b[at + 4] << 24 | b[at + 5] << 16 | b[at + 6] << 8 | b[at + 7];
    if (!std::memcmp(&b[at], "BMHD", 4)) {
      EXPECT_EQ(b[at + 8 + 8], 1);   // planes
      EXPECT_EQ(b[at + 8 + 10], 0);  // uncompressed
    }
    if (!std::memcmp(&b[at], "BODY", 4)) {
      EXPECT_EQ(len, 56u * 8u);
      body = &b[at + 8];
    }
    at += 8 + len + (len & 1);
  }
  ASSERT_NE(body, nullptr);
  uint32_t words[112];
  int bits = 0;
  for (int i = 0; i < 112; ++i) {
    words[i] = (uint32_t)body[i * 4] << 24 | body[i * 4 + 1] << 16 | body[i * 4 + 2] << 8 | body[i * 4 + 3];
    bits += __builtin_popcount(words[i]);
  }
  EXPECT_EQ(bits, 48 * 56);
  auto in = [&](int x, int y) {
    return x >= 0 && y >= 0 && x < 64 && y < 56 && ((words[y * 2 + x / 32] >> (31 - (x & 31))) & 1);
  };
  // Every pixel of a large area lies in exactly one hex of the column grid,
  // and GetHexFromPixel names that hex.
  for (int y = 0; y < 560; ++y)
    for (int x = 0; x < 960; ++x) {
      int hits = 0, hc = -99, hr = -99;
      for (int c = x / 48 - 2; c <= x / 48 + 1; ++c)
        for (int r = y / 56 - 2; r <= y / 56 + 1; ++r)
          if (in(x - c * 48, y - (r * 56 + ((c & 1) ? 28 : 0)))) hits++, hc = c, hr = r;
      ASSERT_EQ(hits, 1) << x << "," << y;
      uint32_t h = GetHexFromPixel(nullptr, x, y);
      ASSERT_EQ((int16_t)(h >> 16), hc) << x << "," << y;
      ASSERT_EQ((int16_t)(h & 0xFFFF), hr) << x << "," << y;
    }
}

// A block of one terrain: along every join, within three pixels, the drawn
// pixel equals the tile's pixel at that place in both hexes' tiles, so the
// texture runs on and no outline of another colour marks the joins.
TEST_F(KitMap, OneTerrainJoinsWithoutSeams) {
  for (uint16_t g : {12, 23, 17, 8, 14, 6}) {
    SCOPED_TRACE(g);
    ASSERT_NE(OpenWorld([g](int32_t, int32_t) { Terrain t; t.grafik = g; return t; }, 0, 480, 560), nullptr);
    map_->ScrollDirection = SCROLL_NONE;
    BlitMap(map_);
    uint32_t id = TileTable[g][0];
    ASSERT_EQ(OpenElmorGfx(kMapPicIndex, id), 1);
    const BitMap* tile = ElmorGfxBitMap(id);
    const BitMap* bm = map_->Bitmap;
    auto owner = [](int x, int y, int* c, int* r) {
      uint32_t h = GetHexFromPixel(nullptr, x, y);
      *c = (int16_t)(h >> 16), *r = (int16_t)(h & 0xFFFF);
    };
    int checked = 0;
    for (int y = 60; y < 9 * 56; ++y)
      for (int x = 60; x < 9 * 48; ++x) {
        int c, r, c2, r2;
        owner(x, y, &c, &r);
        bool join = false;
        for (int d = -3; d <= 3 && !join; ++d) {
          owner(x + d, y, &c2, &r2);
          join |= c2 != c || r2 != r;
          owner(x, y + d, &c2, &r2);
          join |= c2 != c || r2 != r;
        }
        if (!join) continue;
        uint32_t drawn = Pixel(bm, x, y);
        // Every tile rectangle covering the pixel agrees with it.
        for (int cc = x / 48 - 1; cc <= x / 48; ++cc)
          for (int rr = y / 56 - 1; rr <= y / 56; ++rr) {
            int lx = x - HexPixelX(cc), ly = y - HexPixelY(cc, rr);
            if (lx < 0 || ly < 0 || lx >= 64 || ly >= 56) continue;
            ASSERT_EQ(Pixel(tile, lx, ly), drawn) << "at " << x << "," << y << " tile " << cc << "," << rr;
            checked++;
          }
      }
    EXPECT_GT(checked, 10000);
    CloseElmorGfx(id);
    ExitPos(map_);
    ExitKarte(map_);
    map_ = nullptr;
  }
}

TEST_F(KitMap, DemoRealmInEverySeason) {
  const uint16_t flags = MAPF_KNOWLEDGE | MAPF_SIGHT | MAPF_BORDERS | MAPF_FIGURES;
  OwnPlayerPtr->PlayerId = 5;
  WriteMapPrefs({{5, 1, 11, 4000, 2022, 0, 4}, {77, 2, 12, 4000, 2022, 0, 4}, {5, 0, 14, 4003, 2018, 0, 8},
                 {5, 14, 16, 3995, 2019, 0, 10}, {77, 6, 20, 4008, 2023, 0, 10}, {77, 1000, 18, 3998, 2024, 0, 0}});
  // The demo realm with a coast running along its west.
  auto world = [](int32_t x, int32_t y) {
    Terrain t = DemoRealm(x, y, 4000, 2020, 5);
    if (x < 3996) t.grafik = x < 3995 ? 23 : 28;
    else if (x == 3996) t.grafik = 68;  // water on the south-west and north-west sides
    return t;
  };
  ASSERT_NE(OpenWorld(world, flags, 640, 560), nullptr);
  for (uint16_t season = 0; season < 4; ++season) {
    map_->TileVariant = season;
    map_->ScrollDirection = SCROLL_NONE;
    BlitMap(map_);
    const BitMap* bm = map_->Bitmap;
    std::vector<uint32_t> px;
    for (uint32_t y = 0; y < bm->Height; y++)
      for (uint32_t x = 0; x < bm->Width; x++) px.push_back(Pixel(bm, (int32_t)x, (int32_t)y));
    std::string name = "map_kit_season" + std::to_string(season) + ".png";
    ASSERT_EQ(WritePngRGB(name.c_str(), px.data(), bm->Width, bm->Height), 1);
    EXPECT_TRUE(qoe_test::KeepPng(name));
  }
}
