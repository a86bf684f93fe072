// DrawTown: the lot table, the composition on a memory bitmap, and its
// cache (read on the second draw, made again after a change of the
// buildings or the level, a damaged or truncated file; a failing write still
// draws).
#include "screens/economy/drawtown.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "routinen/gamedata/towns.h"
#include "routinen/gui/ilbm.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/iff.h"
#include "routinen/system/memory.h"
#include "screens/economy/tests/town_pictures.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(TownLots, LinesPicturesAndPlaces) {
  st_TOWN* town = CreateTown(7, "Elmor", 100, 100);
  ASSERT_NE(town, nullptr);
  const uint32_t granary_lot = static_cast<uint32_t>(TownBuildingLot(0));
  EXPECT_EQ(TownLotBuilding(town, granary_lot), -1);
  town->buildings[0].flags = BUILDING_STANDS;
  EXPECT_EQ(TownLotBuilding(town, granary_lot), 0);
  town->buildings[168].flags = BUILDING_STANDS;  // the third member of the granary line
  EXPECT_EQ(TownLotBuilding(town, granary_lot), 168);
  town->buildings[99].flags = BUILDING_STANDS | BUILDING_ORDERED;
  EXPECT_EQ(TownLotBuilding(town, granary_lot), 168);  // the highest standing one
  town->buildings[168].flags = BUILDING_ORDERED;        // ordered is not standing
  EXPECT_EQ(TownLotBuilding(town, granary_lot), 99);
  EXPECT_EQ(TownLotBuilding(town, kTownLots), -1);
  EXPECT_EQ(TownLotBuilding(nullptr, 0), -1);
  FreeVec(town);
  // Every member of every line has its own picture in 600..703.
  std::set<uint32_t> pictures;
  uint32_t with_lot = 0;
  for (uint32_t b = 0; b < TOWN_BUILDINGS; ++b) {
    const uint32_t p = TownBuildingPicture(b);
    EXPECT_EQ(p != 0, TownBuildingLot(b) >= 0) << b;
    if (!p) continue;
    ++with_lot;
    EXPECT_GE(p, 600u);
    EXPECT_LE(p, 703u);
    pictures.insert(p);
  }
  EXPECT_EQ(with_lot, 104u);
  EXPECT_EQ(pictures.size(), 104u);
  EXPECT_EQ(TownBuildingLot(3), -1);
  // The lots lie in the picture, apart, and off the movies, the night
  // lights, the title, the two objects and the way out.
  struct R {
    int x1, y1, x2, y2;
  };
  const R keep_free[] = {{183, 0, 458, 57},    {64, 306, 223, 401},  {608, 214, 639, 277}, {576, 96, 639, 191},
                         {520, 264, 570, 288}, {422, 136, 427, 138}, {32, 394, 95, 455},   {566, 403, 613, 448},
                         {250, 436, 390, 479}};
  for (uint32_t level = 0; level <= 5; ++level)
    for (uint32_t a = 0; a < kTownLots; ++a) {
      int32_t x, y;
      TownLotPosition(level, a, &x, &y);
      const R lot{x, y, x + 47, y + 39};
      EXPECT_TRUE(lot.x1 >= 0 && lot.y1 >= 123 && lot.x2 < 640 && lot.y2 < 480) << level << " " << a;
      for (const R& f : keep_free)
        EXPECT_FALSE(lot.x1 <= f.x2 && lot.x2 >= f.x1 && lot.y1 <= f.y2 && lot.y2 >= f.y1) << level << " " << a;
      for (uint32_t b = a + 1; b < kTownLots; ++b) {
        int32_t bx, by;
        TownLotPosition(level, b, &bx, &by);
        EXPECT_FALSE(std::abs(bx - x) < 48 && std::abs(by - y) < 40) << level << " " << a << " " << b;
      }
    }
}

class DrawTownRun : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(town_test::InstallTownPictures());
    fs::create_directories("Data/Cities");
    town_ = CreateTown(7, "Elmor", 100, 100);
    town_->level = 2;
    for (uint32_t b : {0u, 25u, 14u, 93u, 16u}) town_->buildings[b].flags = BUILDING_STANDS;
    bm_ = AllocBitMap(640, 480, 8, BMF_CLEAR, nullptr);
    InitRastPort(&rp_);
    rp_.Bitmap = bm_;
  }
  void TearDown() override {
    FileFailWritesAfter(-1);
    FreeBitMap(bm_);
    FreeVec(town_);
    FreeAllElmorGfx();
  }
  uint8_t Px(int x, int y) const { return bm_->Pixels[static_cast<size_t>(y) * bm_->BytesPerRow + x]; }
  // The decoded pixels of a picture file of the test set.
  static std::vector<uint8_t> Picture(uint32_t id) {
    char name[64];
    std::snprintf(name, sizeof name, "Gfx/Town%04u.ilbm", id);
    auto bytes = qoe_test::ReadFileBytes(name);
    IlbmPicture pic{};
    if (DecodeIlbm(bytes.data(), static_cast<uint32_t>(bytes.size()), &pic) != 1) return {};
    std::vector<uint8_t> px(pic.pixels, pic.pixels + pic.width * pic.height);
    FreeIlbm(&pic);
    return px;
  }
  // Whether the layer shows picture id at the lot of building b.
  bool Shows(uint32_t b, uint32_t id) const {
    int32_t x, y;
    TownLotPosition(town_->level, static_cast<uint32_t>(TownBuildingLot(b)), &x, &y);
    const auto px = Picture(id);
    if (px.size() != 48u * 40u) return false;
    for (int py = 0; py < 40; ++py)
      for (int pxx = 0; pxx < 48; ++pxx) {
        const uint8_t want = px[py * 48 + pxx];
        if (want != 255 && Px(x + pxx, y + py) != want) return false;
      }
    return true;
  }
  st_TOWN* town_ = nullptr;
  BitMap* bm_ = nullptr;
  RastPort rp_{};
};

TEST_F(DrawTownRun, ComposesTheHighestMembersAndReadsTheCacheNextTime) {
  ASSERT_EQ(DrawTown(&rp_, town_), 1);
  EXPECT_TRUE(Shows(0, 600));
  EXPECT_TRUE(Shows(25, 638));
  EXPECT_TRUE(Shows(14, 612));
  EXPECT_TRUE(Shows(93, 618));  // the trade registry's second member, not the first
  EXPECT_FALSE(Shows(1, 604));  // no mill
  EXPECT_EQ(Px(630, 470), 0);   // nothing outside the lots
  char path[300];
  TownImagePath(town_, path, sizeof path);
  EXPECT_STREQ(path, ".\\Data\\Cities\\Elmor.image");
  ASSERT_TRUE(fs::exists("Data/Cities/Elmor.image"));
  // The second draw reads the cache and draws the same.
  const std::vector<uint8_t> first(bm_->Pixels, bm_->Pixels + bm_->Size);
  std::memset(bm_->Pixels, 0, bm_->Size);
  EXPECT_EQ(DrawTown(&rp_, town_), 2);
  EXPECT_EQ(std::vector<uint8_t>(bm_->Pixels, bm_->Pixels + bm_->Size), first);
}

TEST_F(DrawTownRun, CacheMadeAgainAfterAChangeOrDamage) {
  ASSERT_EQ(DrawTown(&rp_, town_), 1);
  ASSERT_EQ(DrawTown(&rp_, town_), 2);
  town_->buildings[1].flags = BUILDING_STANDS;  // a mill
  EXPECT_EQ(DrawTown(&rp_, town_), 1);
  EXPECT_TRUE(Shows(1, 604));
  EXPECT_EQ(DrawTown(&rp_, town_), 2);
  town_->level = 3;
  EXPECT_EQ(DrawTown(&rp_, town_), 1);
  EXPECT_EQ(DrawTown(&rp_, town_), 2);
  auto bytes = qoe_test::ReadFileBytes("Data/Cities/Elmor.image");
  ASSERT_GT(bytes.size(), 2000u);
  auto damaged = bytes;
  for (size_t i = 1000; i < 1100; ++i) damaged[i] ^= 0x5A;
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Cities/Elmor.image", damaged));
  EXPECT_EQ(DrawTown(&rp_, town_), 1);
  EXPECT_EQ(DrawTown(&rp_, town_), 2);
  bytes.resize(bytes.size() / 3);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Cities/Elmor.image", bytes));
  EXPECT_EQ(DrawTown(&rp_, town_), 1);
  EXPECT_EQ(DrawTown(&rp_, town_), 2);
  // A cache of another town's key (the level in the key differs) is not taken.
  town_->level = 4;
  EXPECT_EQ(DrawTown(&rp_, town_), 1);
}

TEST_F(DrawTownRun, EverySingleByteChangeOfTheCachedLayerIsCaught) {
  ASSERT_EQ(DrawTown(&rp_, town_), 1);
  const auto bytes = qoe_test::ReadFileBytes("Data/Cities/Elmor.image");
  uint32_t form = 0;
  BoundedReader body{};
  IffChunk key{}, layer_body{};
  ASSERT_EQ(IffOpenForm(bytes.data(), bytes.size(), &form, &body), 1);
  ASSERT_EQ(IffFindChunk(body, IffId("QTWK"), &key), 1);
  ASSERT_EQ(IffFindChunk(body, IffId("BODY"), &layer_body), 1);
  ASSERT_EQ(key.size, kTownImageKeySize + 4u);
  const std::vector<uint8_t> want_key(key.data, key.data + kTownImageKeySize);
  std::vector<uint8_t> good(640 * 480), got(640 * 480);
  ASSERT_EQ(ReadTownImage(bytes.data(), static_cast<uint32_t>(bytes.size()), want_key.data(), kTownImageKeySize,
                          good.data()),
            1);
  // Changes spread over the whole BODY, each byte changed in another way: a
  // change is refused or leaves the layer as it was, never other pixels.
  const size_t first = static_cast<size_t>(layer_body.data - bytes.data());
  const size_t step = layer_body.size / 800 + 1;
  uint32_t refused = 0, tried = 0;
  for (size_t at = first; at < first + layer_body.size; at += step) {
    auto damaged = bytes;
    damaged[at] ^= static_cast<uint8_t>(1u << (tried % 8)) | static_cast<uint8_t>(tried * 37u);
    ++tried;
    const int32_t r = ReadTownImage(damaged.data(), static_cast<uint32_t>(damaged.size()), want_key.data(),
                                    kTownImageKeySize, got.data());
    if (r == 0) ++refused;
    else ASSERT_EQ(got, good) << "byte " << at - first << " of BODY";
  }
  EXPECT_GT(tried, 600u);
  EXPECT_GT(refused, tried * 9 / 10);
  // Through DrawTown: a damaged layer is composed again and the cache written anew.
  auto damaged = bytes;
  damaged[first + layer_body.size / 2] ^= 0x10;
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Cities/Elmor.image", damaged));
  const std::vector<uint8_t> composed(bm_->Pixels, bm_->Pixels + bm_->Size);
  std::memset(bm_->Pixels, 0, bm_->Size);
  EXPECT_EQ(DrawTown(&rp_, town_), 1);
  EXPECT_EQ(std::vector<uint8_t>(bm_->Pixels, bm_->Pixels + bm_->Size), composed);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Cities/Elmor.image"), bytes);
  EXPECT_EQ(DrawTown(&rp_, town_), 2);
}

TEST_F(DrawTownRun, NewArtOfTheSameSizeMakesTheCacheAgain) {
  // The granary's picture, made long ago by the kit.
  const char* file = "Gfx/Town0600.ilbm";
  const auto old_bytes = qoe_test::ReadFileBytes(file);
  ASSERT_FALSE(old_bytes.empty());
  const struct timespec long_ago[2] = {{1500000000, 0}, {1500000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file, long_ago, 0), 0);
  ASSERT_EQ(DrawTown(&rp_, town_), 1);
  ASSERT_EQ(DrawTown(&rp_, town_), 2);
  // New art: one pixel of another pen, encoded to a file of the same size.
  IlbmPicture pic{};
  ASSERT_EQ(DecodeIlbm(old_bytes.data(), static_cast<uint32_t>(old_bytes.size()), &pic), 1);
  std::vector<uint8_t> new_bytes;
  uint32_t changed = 0;
  for (uint32_t i = 0; i < 48u * 40u && new_bytes.empty(); ++i) {
    if (pic.pixels[i] == 255) continue;
    const uint8_t was = pic.pixels[i];
    pic.pixels[i] = static_cast<uint8_t>(was == 0 ? 1 : was - 1);
    uint32_t size = 0;
    uint8_t* data = EncodeIlbm(&pic, nullptr, 0, &size);
    ASSERT_NE(data, nullptr);
    if (size == old_bytes.size()) {
      new_bytes.assign(data, data + size);
      changed = i;
    } else {
      pic.pixels[i] = was;
    }
    FreeVec(data);
  }
  ASSERT_FALSE(new_bytes.empty());
  ASSERT_NE(new_bytes, old_bytes);
  ASSERT_TRUE(qoe_test::WriteFileBytes(file, new_bytes));
  EXPECT_EQ(DrawTown(&rp_, town_), 1);
  EXPECT_TRUE(Shows(0, 600));
  int32_t x, y;
  TownLotPosition(town_->level, static_cast<uint32_t>(TownBuildingLot(0)), &x, &y);
  EXPECT_EQ(Px(x + static_cast<int>(changed % 48), y + static_cast<int>(changed / 48)), pic.pixels[changed]);
  FreeIlbm(&pic);
  EXPECT_EQ(DrawTown(&rp_, town_), 2);
}

TEST_F(DrawTownRun, AFailingCacheWriteStillDraws) {
  qoe_test::LogLines log;
  FileFailWritesAfter(0);
  EXPECT_EQ(DrawTown(&rp_, town_), 1);
  FileFailWritesAfter(-1);
  EXPECT_TRUE(log.Has("DrawTown: Konnte Stadtbild"));
  EXPECT_TRUE(Shows(25, 638));
  EXPECT_FALSE(fs::exists("Data/Cities/Elmor.image"));
  EXPECT_EQ(DrawTown(&rp_, town_), 1);  // no cache was left behind
  EXPECT_EQ(DrawTown(&rp_, town_), 2);
  EXPECT_EQ(DrawTown(&rp_, nullptr), 0);
}

}  // namespace
