// The data kit's town pictures against the town view that shows them: every
// picture of the level table in the index with its kind and size, the town
// palette (the lamp light in pen 7, the town's pixels off the pens the night
// leaves bright), the overcast bottoms outline for outline like their
// backgrounds, an empty plot on every lot of DrawTown's table, the night
// lights on window panes at every level, and a second run of the kit giving
// the same files.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "routinen/gui/ilbm.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "screens/common/screenbase.h"
#include "screens/economy/drawtown.h"
#include "screens/economy/stadt.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kGlass = 177, kOvercastGlass = 176, kPost = 51;  // the kit's pens (art.h)

std::string Kit() { return qoe_test::BinaryDir() + "/datakit"; }

struct Record {
  uint8_t kind = 0;
  uint16_t width = 0, height = 0;
  std::string file;  // path below the kit folder
};

Record IndexRecord(uint32_t id) {
  const auto index = qoe_test::ReadFileBytes(Kit() + "/Data/Path");
  Record r;
  const size_t at = 12 + static_cast<size_t>(id - 1) * 64;
  if (index.size() < at + 64) return r;
  r.kind = index[at];
  r.width = GetBE16(&index[at + 6]);
  r.height = GetBE16(&index[at + 8]);
  for (size_t i = 0; i < 52 && index[at + 12 + i]; ++i) r.file += index[at + 12 + i] == '\\' ? '/' : static_cast<char>(index[at + 12 + i]);
  return r;
}

// The decoded picture of an ID (width 0 when it cannot be read).
struct Picture {
  uint16_t width = 0, height = 0;
  std::vector<uint8_t> pens;
  std::vector<uint8_t> mask;  // 1 opaque (all 1 for unmasked pictures)
  uint8_t palette[256][3] = {};
  uint8_t At(int x, int y) const { return pens[static_cast<size_t>(y) * width + x]; }
};

Picture Load(const std::string& root, uint32_t id) {
  Picture p;
  const Record r = IndexRecord(id);
  if (r.file.empty()) return p;
  const auto bytes = qoe_test::ReadFileBytes(root + "/" + r.file);
  IlbmPicture pic{};
  if (bytes.empty() || DecodeIlbm(bytes.data(), static_cast<uint32_t>(bytes.size()), &pic) != 1) return p;
  p.width = pic.width;
  p.height = pic.height;
  const size_t n = static_cast<size_t>(pic.width) * pic.height;
  p.pens.assign(pic.pixels, pic.pixels + n);
  p.mask.assign(n, 1);
  for (size_t i = 0; i < n; ++i)
    if (pic.mask ? !pic.mask[i] : (pic.masking == ILBM_MASK_TRANSPARENT && pic.pixels[i] == pic.transparent)) p.mask[i] = 0;
  std::memcpy(p.palette, pic.palette, sizeof p.palette);
  FreeIlbm(&pic);
  return p;
}

std::vector<uint32_t> TownPictureIds() {
  std::vector<uint32_t> ids;
  for (uint32_t level = 1; level <= 4; ++level) {
    const StadtLevel* row = StadtLevelRow(level);
    for (uint32_t id : {row->picture, row->sky, row->overcastTop, row->overcastBottom, row->titleGfx, row->pairA[0],
                        row->pairA[1], row->pairB[0], row->pairB[1]})
      if (id) ids.push_back(id);
  }
  return ids;
}

TEST(TownArt, EveryPictureOfTheLevelTableIsThere) {
  QOE_REQUIRE_BUILT(Kit() + "/Data/Path");
  for (uint32_t level = 1; level <= 4; ++level) {
    SCOPED_TRACE(level);
    const StadtLevel* row = StadtLevelRow(level);
    struct Want {
      uint32_t id;
      uint8_t kind;
      uint16_t w, h;
    };
    std::vector<Want> want = {{row->picture, 1, 640, 480},        {row->sky, 2, 640, 123},
                              {row->overcastTop, 2, 640, 123},    {row->overcastBottom, 2, 640, 357},
                              {row->titleGfx, 3, 276, 58}};
    if (level >= 2)
      want.insert(want.end(), {{row->pairA[0], 3, 64, 62}, {row->pairA[1], 3, 64, 62}, {row->pairB[0], 3, 48, 46},
                               {row->pairB[1], 3, 48, 46}});
    for (const Want& w : want) {
      SCOPED_TRACE(w.id);
      const Record r = IndexRecord(w.id);
      EXPECT_EQ(r.kind, w.kind);
      EXPECT_EQ(r.width, w.w);
      EXPECT_EQ(r.height, w.h);
      const Picture p = Load(Kit(), w.id);
      EXPECT_EQ(p.width, w.w);
      EXPECT_EQ(p.height, w.h);
    }
  }
  // The title band lies within 183..458 x 0..57 when drawn at (183, 0).
  EXPECT_LE(183 + 276 - 1, 458);
}

TEST(TownArt, TownPaletteLightsTheWindowsAndKeepsOffTheSteadyPens) {
  QOE_REQUIRE_BUILT(Kit() + "/Data/Path");
  for (uint32_t id : TownPictureIds()) {
    SCOPED_TRACE(id);
    const Picture p = Load(Kit(), id);
    ASSERT_GT(p.width, 0);
    // Pen 7 is the lamp light: warm and bright against the rest of the town
    // darkened by the night (60 % off pens 36..255).
    EXPECT_GT(p.palette[7][0], 150);
    EXPECT_GT(p.palette[7][0], p.palette[7][2] + 100);
    const bool title = id == 358 || id == 757 || id == 762 || id == 767;
    uint32_t counts[256] = {};
    for (size_t i = 0; i < p.pens.size(); ++i)
      if (p.mask[i]) ++counts[p.pens[i]];
    for (uint32_t pen = 1; pen < 36; ++pen) {
      // Only the title's name band (pen 5 with its frame and fibres) stays
      // bright at night, so the town's name can be read.
      if (title && (pen == 4 || pen == 5 || pen == 9)) continue;
      EXPECT_EQ(counts[pen], 0u) << "pen " << pen;
    }
    // Not a flat field: many colours.
    uint32_t used = 0;
    for (uint32_t c : counts) used += c > 0;
    EXPECT_GT(used, p.height >= 357 ? 60u : p.height >= 123 ? 16u : 8u);
  }
}

// Pixels where the picture changes to the right or below.
std::vector<uint8_t> Edges(const Picture& p, int y0, int rows) {
  std::vector<uint8_t> e(static_cast<size_t>(p.width) * rows, 0);
  for (int y = 0; y + 1 < rows; ++y)
    for (int x = 0; x + 1 < p.width; ++x) {
      const uint8_t c = p.At(x, y0 + y);
      e[static_cast<size_t>(y) * p.width + x] = c != p.At(x + 1, y0 + y) || c != p.At(x, y0 + y + 1);
    }
  return e;
}

TEST(TownArt, OvercastBottomsHaveTheOutlinesOfTheirBackgrounds) {
  QOE_REQUIRE_BUILT(Kit() + "/Data/Path");
  for (uint32_t level = 1; level <= 4; ++level) {
    SCOPED_TRACE(level);
    const StadtLevel* row = StadtLevelRow(level);
    const Picture back = Load(Kit(), row->picture), bottom = Load(Kit(), row->overcastBottom);
    ASSERT_EQ(back.width, 640);
    ASSERT_EQ(bottom.height, 357);
    const auto a = Edges(back, 123, 357), b = Edges(bottom, 0, 357);
    size_t differ = 0, edges = 0;
    for (size_t i = 0; i < a.size(); ++i) {
      differ += a[i] != b[i];
      edges += a[i];
    }
    EXPECT_GT(edges, a.size() / 10);           // a picture with outlines
    EXPECT_LT(differ, a.size() * 3 / 100);     // the same ones
    // And it is darker: the same town under a grey sky.
    double lb = 0, lo = 0;
    for (int y = 0; y < 357; ++y)
      for (int x = 0; x < 640; ++x) {
        const uint8_t* c = back.palette[back.At(x, 123 + y)];
        const uint8_t* d = bottom.palette[bottom.At(x, y)];
        lb += c[0] + c[1] + c[2];
        lo += d[0] + d[1] + d[2];
      }
    EXPECT_LT(lo, lb * 0.9);
  }
}

TEST(TownArt, EveryLotOfTheLotTableIsAnEmptyPlot) {
  QOE_REQUIRE_BUILT(Kit() + "/Data/Path");
  for (uint32_t level = 1; level <= 4; ++level) {
    const Picture back = Load(Kit(), StadtLevelRow(level)->picture);
    ASSERT_EQ(back.width, 640);
    for (uint32_t lot = 0; lot < kTownLots; ++lot) {
      int32_t x, y;
      TownLotPosition(level, lot, &x, &y);
      for (const int dx : {0, 47})
        for (const int dy : {0, 39}) EXPECT_EQ(back.At(x + dx, y + dy), kPost) << level << " " << lot << " " << dx << " " << dy;
    }
  }
}

// The screen's 8-bit pens.
std::vector<uint8_t> ScreenPens() {
  RastPort* rp = ScreenRastPort();
  std::vector<uint8_t> v(640 * 480);
  for (int y = 0; y < 480; ++y)
    std::memcpy(&v[static_cast<size_t>(y) * 640], rp->Bitmap->Pixels + static_cast<size_t>(y) * rp->Bitmap->BytesPerRow, 640);
  return v;
}

// The pixels DrawStadtNightLights lights (on a cleared 8-bit screen).
std::vector<uint8_t> NightLightPixels() {
  std::vector<uint8_t> lit;
  fs::copy(Kit(), ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  if (HeadlessOpenDisplay(0) != 1) return lit;
  ResetInputState();
  ScreenBase base{};
  if (OpenScreenPicture(&base, 39, 0) == 1) {
    WaitTransition();
    RastPort* rp = ScreenRastPort();
    SetAPen(rp, 0);
    RectFill(rp, 0, 0, 639, 479);
    DrawStadtNightLights();
    lit = ScreenPens();
    for (uint8_t& p : lit) p = p == 7;
    CloseScreenBase(&base, 0);
  }
  ResetPictureManagerState();
  ResetTextState();
  HeadlessCloseDisplay();
  return lit;
}

// The building gadgets of a level's layout source: ID and rectangle.
struct GadgetRect {
  std::string id;
  int x1, y1, x2, y2;
};
std::vector<GadgetRect> LayoutGadgets(uint32_t level) {
  const std::string name = level == 1 ? "Stadt" : "Stadt" + std::to_string(level);
  const auto bytes = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/tools/datakit/layouts/" + name + ".txt");
  std::vector<GadgetRect> out;
  std::string text(bytes.begin(), bytes.end()), line;
  std::istringstream in(text);
  while (std::getline(in, line)) {
    char id[8] = {};
    GadgetRect g{};
    if (std::sscanf(line.c_str(), "gadget \"%4[A-Z]\" %d %d %d %d", id, &g.x1, &g.y1, &g.x2, &g.y2) == 5) {
      g.id = id;
      out.push_back(g);
    }
  }
  return out;
}

// Every building picture at every level: inside its lot, and none of its
// pixels on another building's gadget, a movie, a night light, the title,
// the objects or the way out.
TEST(TownArt, BuildingPicturesFitTheirLotsAndKeepOffTheScreensPlaces) {
  QOE_REQUIRE_BUILT(Kit() + "/Data/Path");
  const std::vector<uint8_t> lit = NightLightPixels();
  ASSERT_EQ(lit.size(), 640u * 480u);
  struct Box {
    int x1, y1, x2, y2;
  };
  const Box kKeep[] = {{64, 306, 223, 401}, {80, 306, 223, 401}, {79, 307, 222, 394}, {64, 315, 207, 402},
                       {608, 214, 639, 277}, {576, 96, 639, 191}, {183, 0, 458, 57},   {32, 394, 95, 455},
                       {566, 403, 613, 448}, {250, 436, 390, 479}};
  const struct {
    const char* id;
    uint32_t building;
  } kGadgetBuilding[] = {{"KOLA", 0}, {"HARE", 16}, {"KASE", 19}, {"MAPL", 25}, {"HAFE", 51}, {"TAVE", 14}, {"RESI", 15}};
  uint32_t pictures = 0;
  for (uint32_t level = 1; level <= 4; ++level) {
    const auto gadgets = LayoutGadgets(level);
    ASSERT_GE(gadgets.size(), 7u);
    for (uint32_t b = 0; b < 235; ++b) {
      const uint32_t id = TownBuildingPicture(b);
      if (!id) continue;
      SCOPED_TRACE(std::to_string(level) + " " + std::to_string(id));
      const Record r = IndexRecord(id);
      EXPECT_EQ(r.kind, 3);
      const Picture p = Load(Kit(), id);
      ASSERT_EQ(p.width, 48);
      ASSERT_EQ(p.height, 40);
      ++pictures;
      const uint32_t lot = static_cast<uint32_t>(TownBuildingLot(b));
      int32_t lx, ly;
      TownLotPosition(level, lot, &lx, &ly);
      uint32_t opaque = 0;
      for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x) {
          if (!p.mask[static_cast<size_t>(y) * 48 + x]) continue;
          ++opaque;
          const int sx = lx + x, sy = ly + y;
          ASSERT_TRUE(sx >= 0 && sx < 640 && sy >= 123 && sy < 480);
          EXPECT_FALSE(lit[static_cast<size_t>(sy) * 640 + sx]) << sx << ", " << sy;
          for (const Box& k : kKeep) ASSERT_FALSE(sx >= k.x1 && sx <= k.x2 && sy >= k.y1 && sy <= k.y2) << sx << ", " << sy;
          for (const GadgetRect& g : gadgets)
            for (const auto& gb : kGadgetBuilding)
              if (g.id == gb.id && static_cast<uint32_t>(TownBuildingLot(gb.building)) != lot) {
                ASSERT_FALSE(sx >= g.x1 && sx <= g.x2 && sy >= g.y1 && sy <= g.y2) << g.id << " " << sx << ", " << sy;
              }
        }
      EXPECT_GT(opaque, 48u * 40u / 5);  // a building, not a speck
    }
  }
  EXPECT_EQ(pictures, 4u * 104u);
}

// Lets DrawStadtNightLights draw over each level's picture (and over its
// overcast bottom) on the 8-bit screen: every light lands on a pane.
TEST(TownArt, NightLightsFallOnWindowPanesAtEveryLevel) {
  QOE_REQUIRE_BUILT(Kit() + "/Data/Path");
  fs::copy(Kit(), ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  ResetInputState();
  for (uint32_t level = 1; level <= 4; ++level)
    for (int overcast = 0; overcast < 2; ++overcast) {
      SCOPED_TRACE(std::to_string(level) + (overcast ? " overcast" : ""));
      const StadtLevel* row = StadtLevelRow(level);
      ScreenBase base{};
      ASSERT_EQ(OpenScreenPicture(&base, row->picture, 0), 1);
      WaitTransition();
      if (overcast) { ASSERT_EQ(BlitObjekt(nullptr, row->overcastBottom, 0, 123, 640, 357), 1); }
      RastPort* rp = ScreenRastPort();
      ASSERT_NE(rp, nullptr);
      ASSERT_EQ(rp->Bitmap->Depth, 8u);
      auto pens = [&] {
        std::vector<uint8_t> v(640 * 480);
        for (int y = 0; y < 480; ++y)
          std::memcpy(&v[static_cast<size_t>(y) * 640], rp->Bitmap->Pixels + static_cast<size_t>(y) * rp->Bitmap->BytesPerRow, 640);
        return v;
      };
      const auto before = pens();
      DrawStadtNightLights();
      const auto after = pens();
      uint32_t lights = 0;
      for (size_t i = 0; i < before.size(); ++i) {
        if (after[i] == before[i]) continue;
        ++lights;
        EXPECT_EQ(after[i], 7);
        EXPECT_EQ(before[i], overcast ? kOvercastGlass : kGlass) << "at " << i % 640 << ", " << i / 640;
      }
      EXPECT_GT(lights, 40u);
      CloseScreenBase(&base, 0);
    }
  ResetPictureManagerState();
  ResetTextState();
  HeadlessCloseDisplay();
}

TEST(TownArt, TheKitMakesTheSamePicturesAgain) {
  const std::string tool = qoe_test::BinaryDir() + "/tools/datakit/datakit";
  QOE_REQUIRE_BUILT(tool);
  QOE_REQUIRE_BUILT(Kit() + "/Data/Path");
  const std::string cmd = tool + " " + qoe_test::SourceDir() + "/tools/datakit again > kit.log 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
  for (uint32_t id : TownPictureIds()) {
    const Record r = IndexRecord(id);
    EXPECT_EQ(qoe_test::ReadFileBytes("again/" + r.file), qoe_test::ReadFileBytes(Kit() + "/" + r.file)) << id;
  }
}

}  // namespace
