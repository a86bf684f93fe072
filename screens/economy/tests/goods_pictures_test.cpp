// The kit's goods pictures: every picture ID of the goods table is in the
// index at 160 x 120, loads, carries the shared palette, differs from the
// picture of every other goods type (the two shared pictures aside), is
// shown on a contact sheet, and comes out the same when the kit runs again.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "routinen/gamedata/goods.h"
#include "routinen/gui/ilbm.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/tests/box_fixture.h"
#include "routinen/gui/text.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/fonts.h"

namespace {

std::string Kit() { return qoe_test::BinaryDir() + "/datakit"; }

// The goods pictures by ID with the goods types that name them.
std::map<uint32_t, std::vector<uint32_t>> GoodsPictures() {
  std::map<uint32_t, std::vector<uint32_t>> out;
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g)
    if (WarenTabelle[g].picture) out[(uint32_t)WarenTabelle[g].picture].push_back(g);
  return out;
}

// The file of a picture ID in the kit's index, "" when it has none.
std::string IndexFile(uint32_t id, uint16_t* width, uint16_t* height) {
  const auto index = qoe_test::ReadFileBytes(Kit() + "/Data/Path");
  const size_t at = 12 + (size_t)(id - 1) * 64;
  if (index.size() < at + 64 || index[at] == 0) return "";
  *width = GetBE16(&index[at + 6]);
  *height = GetBE16(&index[at + 8]);
  std::string file;
  for (size_t i = 0; i < 52 && index[at + 12 + i]; ++i) file += index[at + 12 + i] == '\\' ? '/' : (char)index[at + 12 + i];
  return file;
}

struct Decoded {
  std::vector<uint8_t> pens;
  uint8_t palette[256][3] = {};
  bool ok = false;
};

Decoded Decode(const std::string& path) {
  Decoded d;
  const auto bytes = qoe_test::ReadFileBytes(path);
  IlbmPicture pic{};
  if (bytes.empty() || DecodeIlbm(bytes.data(), (uint32_t)bytes.size(), &pic) != 1) return d;
  d.ok = pic.width == 160 && pic.height == 120;
  if (d.ok) {
    d.pens.assign(pic.pixels, pic.pixels + 160 * 120);
    std::memcpy(d.palette, pic.palette, sizeof d.palette);
  }
  FreeIlbm(&pic);
  return d;
}

// How far two pictures are apart: the share, in per mille, of the pixels
// (every second one each way) whose colours differ clearly (the red, green
// and blue differences adding up to more than 60). Thin weapons on the same
// cloth still differ where their shapes do.
double Distance(const Decoded& a, const Decoded& b) {
  uint32_t differ = 0, n = 0;
  for (int y = 0; y < 120; y += 2)
    for (int x = 0; x < 160; x += 2, ++n) {
      const uint8_t* ca = a.palette[a.pens[y * 160 + x]];
      const uint8_t* cb = b.palette[b.pens[y * 160 + x]];
      int sum = 0;
      for (int k = 0; k < 3; ++k) sum += std::abs(ca[k] - cb[k]);
      differ += sum > 60;
    }
  return differ * 1000.0 / n;
}

using GoodsPicturesTest = box_test::BoxTest;

TEST_F(GoodsPicturesTest, EveryPictureIsInTheIndexAndLoads) {
  const auto pictures = GoodsPictures();
  EXPECT_EQ(pictures.size(), 111u);
  EXPECT_EQ(pictures.at(937), (std::vector<uint32_t>{2, 98}));
  EXPECT_EQ(pictures.at(938), (std::vector<uint32_t>{3, 99}));
  for (const auto& [id, types] : pictures) {
    uint16_t w = 0, h = 0;
    EXPECT_FALSE(IndexFile(id, &w, &h).empty()) << id;
    EXPECT_EQ(w, 160) << id;
    EXPECT_EQ(h, 120) << id;
    ASSERT_EQ(OpenElmorGfx(".\\Data\\Path", id), 1) << id;
    const BitMap* bm = ElmorGfxBitMap(id);
    ASSERT_NE(bm, nullptr) << id;
    EXPECT_EQ(bm->Width, 160u);
    EXPECT_EQ(bm->Height, 120u);
    CloseElmorGfx(id);
  }
}

TEST(GoodsPictures, SharedPaletteAndNoTwoTypesAlike) {
  const auto pictures = GoodsPictures();
  uint16_t w, h;
  const Decoded screen = [&] {
    Decoded d;
    const auto bytes = qoe_test::ReadFileBytes(Kit() + "/" + IndexFile(221, &w, &h));
    IlbmPicture pic{};
    if (!bytes.empty() && DecodeIlbm(bytes.data(), (uint32_t)bytes.size(), &pic) == 1) {
      std::memcpy(d.palette, pic.palette, sizeof d.palette);
      d.ok = true;
      FreeIlbm(&pic);
    }
    return d;
  }();
  ASSERT_TRUE(screen.ok);
  std::vector<std::pair<uint32_t, Decoded>> all;
  for (const auto& [id, types] : pictures) {
    Decoded d = Decode(Kit() + "/" + IndexFile(id, &w, &h));
    ASSERT_TRUE(d.ok) << id;
    EXPECT_EQ(std::memcmp(d.palette, screen.palette, sizeof d.palette), 0) << id << " has colours of its own";
    // Drawn, not a flat field: many pens in use.
    EXPECT_GT(std::set<uint8_t>(d.pens.begin(), d.pens.end()).size(), 6u) << id;
    all.emplace_back(id, std::move(d));
  }
  double least = 1e9;
  uint32_t la = 0, lb = 0;
  for (size_t i = 0; i < all.size(); ++i)
    for (size_t j = i + 1; j < all.size(); ++j) {
      const double dist = Distance(all[i].second, all[j].second);
      if (dist < least) least = dist, la = all[i].first, lb = all[j].first;
    }
  // Pictures of different goods types differ by more than a floor (the
  // closest are the thin pole arms, which differ in their heads).
  EXPECT_GT(least, 8.0) << "pictures " << la << " and " << lb << " are nearly the same";
  std::printf("closest pair: %u and %u, distance %.1f\n", la, lb, least);
}

TEST_F(GoodsPicturesTest, ContactSheets) {
  const auto pictures = GoodsPictures();
  TextFont* font = OpenDiskFont("fonts\\XHelvetica9.fnt");
  ASSERT_NE(font, nullptr);
  RastPort* rp = ScreenRastPort();
  SetFont(rp, font);
  std::vector<uint32_t> ids;
  for (const auto& kv : pictures) ids.push_back(kv.first);
  // Half size, 8 x 7 to a sheet: two sheets.
  for (uint32_t sheet = 0; sheet * 56 < ids.size(); ++sheet) {
    SetAPen(rp, 0);
    RectFill(rp, 0, 0, 639, 479);
    for (uint32_t k = 0; k < 56 && sheet * 56 + k < ids.size(); ++k) {
      const uint32_t id = ids[sheet * 56 + k];
      uint16_t w, h;
      const Decoded d = Decode(Kit() + "/" + IndexFile(id, &w, &h));
      ASSERT_TRUE(d.ok) << id;
      const int32_t x0 = (int32_t)(k % 8) * 80, y0 = (int32_t)(k / 8) * 68;
      for (int32_t y = 0; y < 60; ++y)
        for (int32_t x = 0; x < 80; ++x) {
          SetAPen(rp, d.pens[(size_t)(y * 2) * 160 + x * 2]);
          WritePixel(rp, x0 + x, y0 + y);
        }
      char label[16];
      std::snprintf(label, sizeof label, "%u", id);
      PrintTextOutlined(rp, x0, y0 + 60, x0 + 79, y0 + 67, label, 0, 1, PTO_CENTRE | PTO_BASELINE);
    }
    ShowScreenRect(rp, 0, 0, 640, 480);
    const std::string name = "goods_pictures_" + std::to_string(sheet + 1) + ".png";
    ASSERT_EQ(WriteDisplayPng(name.c_str()), 1);
    EXPECT_TRUE(qoe_test::KeepPng(name));
  }
  rp->Font = nullptr;
  CloseFont(font);
}

TEST(GoodsPictures, TheKitMakesTheSamePicturesAgain) {
  const std::string tool = qoe_test::BinaryDir() + "/tools/datakit/datakit";
  QOE_REQUIRE_BUILT(tool);
  QOE_REQUIRE_BUILT(Kit() + "/Data/Path");
  const std::string cmd = tool + " " + qoe_test::SourceDir() + "/tools/datakit again > kit.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  for (const auto& kv : GoodsPictures()) {
    uint16_t w, h;
    const std::string file = IndexFile(kv.first, &w, &h);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(qoe_test::ReadFileBytes("again/" + file), qoe_test::ReadFileBytes(Kit() + "/" + file)) << kv.first;
  }
}

}  // namespace
