// The map's information panel, figure voices and names overlay: the panel's
// text for unknown, own, unowned and foreign hexes (the bonus marker, the
// dungeon line, negative values, figures on the hex with ship names), the
// selected figure's text on both kinds of display, overlong names; the
// voice table and the voice rules (a carried figure is silent, a playing
// voice is not cut off); the label anchors, and the names printed over a
// headless map, read once until the overlay is switched on again.
#include "routinen/map/mapinfo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/map_internal.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/fake_map.h"
#include "routinen/media/sound.h"
#include "routinen/system/memory.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/lists.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class MapInfo : public testing::Test {
 protected:
  void SetUp() override {
    ResetMapScreenState();
    RegisterGameDataListTypes();
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->PlayerId = 5;
    std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "Harald");
    fake_.map.LocalFigures = fake_.figures.data();
    d_ = KartenScreenData;
    d_->map = &fake_.map;
    d_->X_Pos = 3;
    d_->Y_Pos = 3;
    d_->MarkedColumn = d_->MarkedRow = -1;
  }
  void TearDown() override {
    d_->map = nullptr;
    if (d_->ShipAddOns) DeleteList(d_->ShipAddOns, 0);
    d_->ShipAddOns = nullptr;
    ResetMapScreenState();
    *OwnPlayerPtr = OwnPlayer{};
  }
  std::string Text(int32_t deep) {
    char buf[512];
    InfoBoxText(d_, deep, buf, deep ? sizeof buf : 256);
    return buf;
  }
  MapFigur* Figure(uint32_t owner, uint16_t type, uint16_t number, int32_t c, int32_t r) {
    fake_.AddFigure(owner, c, r);
    MapFigur* f = MapFigurAt(fake_.figures.data(), MapFigurCount(fake_.figures.data()) - 1u);
    f->Typ = type;
    f->Nummer = number;
    return f;
  }
  void ShipName(uint16_t number, const char* name) {
    if (!d_->ShipAddOns) d_->ShipAddOns = CreateList(LIST_SHIP_ADDONS);
    auto* a = reinterpret_cast<ShipAddOn*>(AllocListNode(d_->ShipAddOns));
    ASSERT_NE(a, nullptr);
    AddNode(d_->ShipAddOns, &a->head, LN_TAIL, 0);
    std::snprintf(a->name, sizeof a->name, "%s", name);
    a->ship_id = number;
  }
  map_test::FakeMap fake_;
  KartenScreenRecord* d_ = nullptr;
};

TEST_F(MapInfo, HexTextByKnowledgeAndOwner) {
  // Unknown: one line only.
  fake_.bmap[(40 + 3) * 30 + (80 + 3) / 8] &= (uint8_t)~(1u << ((80 + 3) & 7));
  EXPECT_EQ(Text(0), "unknown territory\n");
  fake_.bmap[(40 + 3) * 30 + (80 + 3) / 8] = 0xFF;
  // Unowned: the three values are shown as 0 whatever the cell holds.
  MapTile& t = fake_.Cell(3, 3);
  t.Wert[0] = 9;
  EXPECT_EQ(Text(0),
            "X-position : 4003\nY-position : 2003\n\nX-Map : 4003\nY-Map : 2003\n\n"
            "Owner : not occupied\n\nAnimal resources : 0\nPlant resources : 0\nMineral resources : 0\n\n");
  // Own, with the plant bonus, a negative value, and the dungeon line.
  t.Besitzer = 5;
  t.Wert[0] = 12;
  t.Wert[1] = -3;
  t.Wert[2] = 7;
  t.Flags = 2;
  d_->BonusResource = 8;
  EXPECT_EQ(Text(0),
            "X-position : 4003\nY-position : 2003\n\nX-Map : 4003\nY-Map : 2003\n\ndungeon\n"
            "Owner : Harald\n\nAnimal resources : 12\nPlant resources : -3 (+1)\nMineral resources : 7\n\n");
  d_->BonusResource = 10;
  EXPECT_NE(Text(0).find("Mineral resources : 7 (+1)\n\n"), std::string::npos);
  // A foreign owner whose name nobody knows: "Player" and the ID, values 0.
  t.Besitzer = 77;
  t.Flags = 0;
  const std::string foreign = Text(0);
  EXPECT_NE(foreign.find("Owner : Player 77\n\nAnimal resources : 0\n"), std::string::npos) << foreign;
  EXPECT_EQ(foreign.find("(+1)"), std::string::npos);
}

TEST_F(MapInfo, FiguresOnTheHexWithShipNames) {
  // An own named ship on the hex: its name, type and lord.
  Figure(5, 15, 31, 3, 3);
  ShipName(31, "Seeadler");
  std::string s = Text(0);
  EXPECT_NE(s.find("'Seeadler'\nmedium trade ship from\n\nHarald\n\n"), std::string::npos) << s;
  // A ship whose name is empty shows its type alone.
  fake_.figures.assign(fake_.figures.size(), 0);
  Figure(5, 17, 32, 3, 3);
  ShipName(32, "");
  s = Text(0);
  EXPECT_NE(s.find("Owner : not occupied\n\nAnimal resources : 0\nPlant resources : 0\nMineral resources : 0\n\n"
                   "small war ship from\n\nHarald\n\n"),
            std::string::npos)
      << s;
  EXPECT_EQ(s.find('\''), std::string::npos);
  // Another lord's figure, seen from an own figure close by.
  fake_.figures.assign(fake_.figures.size(), 0);
  Figure(77, 3, 8, 3, 3);
  Figure(5, 0, 9, 4, 4);
  s = Text(0);
  EXPECT_NE(s.find("Heavy infantry from\n\nPlayer 77\n\n"), std::string::npos) << s;
  // The deeper text: position, then the figure lines.
  EXPECT_EQ(Text(1), "X-position : 4003\nY-position : 2003\n\nHeavy infantry from\n\nPlayer 77\n\n");
  // Out of sight: no figure lines.
  fake_.figures.assign(fake_.figures.size(), 0);
  Figure(77, 3, 8, 3, 3);
  EXPECT_EQ(Text(0).find("Heavy infantry"), std::string::npos);
}

TEST_F(MapInfo, SelectedFigureTextOnBothDisplays) {
  MapFigur* f = Figure(5, 15, 31, 3, 3);
  ShipName(31, "Seeadler");
  f->Punkte = (uint8_t)-2;
  f->Status = 10;
  d_->SelectedFigure = f;
  d_->FigureSelected = 1;
  qoe_test::LogLines log;
  EXPECT_EQ(Text(0),
            "'Seeadler'\nmedium trade ship from\n\nHarald\n\nX-position : 4003\nY-position : 2003\n\n"
            "points of movement : -2\n\nOrder : move");
  EXPECT_TRUE(log.Has("FigurNummer 31"));
  EXPECT_EQ(Text(1),
            "'Seeadler'\nmedium trade ship \n\nX-position : 4003\nY-position : 2003\n\npoints of movement : -2\n"
            "Order : move");
  // The figure's number is logged once a selection, not on every redraw.
  EXPECT_EQ(log.Count("FigurNummer 31"), 1);
  // States 19 and 20: the label without an order.
  for (uint8_t state : {19, 20}) {
    f->Status = state;
    const std::string s = Text(0);
    EXPECT_EQ(s.substr(s.size() - 8), "Order : ") << (int)state;
  }
  // The 8-bit text is empty while the figure lists show.
  d_->PanelMode = 1;
  EXPECT_EQ(Text(0), "");
}

TEST_F(MapInfo, LongNamesAreCutToTheBuffer) {
  std::memset(OwnPlayerPtr->LordName, 'W', sizeof OwnPlayerPtr->LordName - 1);
  OwnPlayerPtr->LordName[sizeof OwnPlayerPtr->LordName - 1] = 0;
  MapFigur* f = Figure(5, 15, 31, 3, 3);
  std::string name(79, 'S');
  ShipName(31, name.c_str());
  fake_.Cell(3, 3).Besitzer = 5;
  char buf[64];
  std::memset(buf, 0x55, sizeof buf);
  InfoBoxText(d_, 0, buf, 40);
  EXPECT_EQ(std::strlen(buf), 39u);
  EXPECT_EQ((uint8_t)buf[40], 0x55);
  d_->SelectedFigure = f;
  d_->FigureSelected = 1;
  const std::string s = Text(0);
  EXPECT_LE(s.size(), 255u);
  EXPECT_EQ(s.compare(0, 81, "'" + name + "'"), 0);
}

// The voice table, type by type, walking and selected.
TEST(MapVoices, TheTableByType) {
  struct Row {
    std::vector<uint16_t> types, walk, selected;
  };
  const std::vector<Row> table = {
      {{0}, {36, 37, 38}, {35}},
      {{1}, {45, 46, 48}, {47}},
      {{2}, {79, 80, 85}, {81, 82, 83, 84, 86}},
      {{3}, {87, 88, 90, 91}, {89, 92}},
      {{4}, {148, 150, 152}, {149, 151}},
      {{5}, {153, 156}, {154, 155, 157}},
      {{6}, {158, 160}, {159, 161, 162}},
      {{7}, {131, 132, 134}, {133}},
      {{8}, {135, 136, 137, 139}, {138, 140}},
      {{9}, {144, 145, 146, 147}, {141, 142, 143}},
      {{10, 12, 20}, {114, 115, 119, 120, 123}, {117, 116, 118, 121, 122, 124}},
      {{14, 15, 16, 17, 18, 19}, {128, 129}, {126, 127, 130}},
      {{11, 13, 21, 400}, {}, {}},
  };
  for (const Row& row : table)
    for (uint16_t type : row.types)
      for (uint32_t mode : {0u, 1u}) {
        const uint16_t* ids = nullptr;
        const uint32_t n = FigurVoices(type, mode, &ids);
        const std::vector<uint16_t>& want = mode ? row.selected : row.walk;
        ASSERT_EQ(n, want.size()) << type << " " << mode;
        EXPECT_EQ(std::vector<uint16_t>(ids, ids + n), want) << type << " " << mode;
      }
}

struct Played {
  std::vector<uint32_t> ids;
  int32_t idle = 1;
  uint32_t pick = 0;
};
Played& Sounds() {
  static Played p;
  return p;
}

class MapVoice : public MapInfo {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/SfxPath");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    MapInfo::SetUp();
    Sounds() = Played{};
    MapScreenSoundSeams seams{};
    seams.play = [](uint32_t id) {
      Sounds().ids.push_back(id);
      return int32_t{1};
    };
    seams.idle = [](uint32_t) { return Sounds().idle; };
    SetMapScreenSoundSeams(&seams);
    MapState().random = [](uint32_t n) { return Sounds().pick <= n ? Sounds().pick : n; };
  }
  void TearDown() override {
    if (d_->Voice) CloseElmorSfx000(d_->Voice);
    d_->Voice = 0;
    MapState().random = nullptr;
    SetMapScreenSoundSeams(nullptr);
    MapInfo::TearDown();
  }
};

TEST_F(MapVoice, ACarriedFigureIsSilentAndAPlayingVoiceIsNotCutOff) {
  MapFigur* f = Figure(5, 2, 11, 3, 3);
  d_->SelectedFigure = f;
  // Selected, the third voice of the list: 83.
  Sounds().pick = 2;
  PlayFigurSfx(d_, 1);
  EXPECT_EQ(Sounds().ids, (std::vector<uint32_t>{83}));
  EXPECT_EQ(d_->Voice, 83);
  // Still playing: nothing new, the voice kept.
  Sounds().idle = 0;
  PlayFigurSfx(d_, 0);
  EXPECT_EQ(Sounds().ids.size(), 1u);
  EXPECT_EQ(d_->Voice, 83);
  // Finished: released, and a walking voice picked (the last, by the bound).
  Sounds().idle = 1;
  Sounds().pick = 9;
  PlayFigurSfx(d_, 0);
  EXPECT_EQ(Sounds().ids, (std::vector<uint32_t>{83, 85}));
  EXPECT_EQ(d_->Voice, 85);
  // Carried aboard a ship: never a word.
  f->Status = 7;
  PlayFigurSfx(d_, 1);
  EXPECT_EQ(Sounds().ids.size(), 2u);
  // Types without voices: the old voice is released, none played.
  f->Status = 0;
  f->Typ = 11;
  PlayFigurSfx(d_, 1);
  EXPECT_EQ(Sounds().ids.size(), 2u);
  EXPECT_EQ(d_->Voice, 0);
}

TEST(MapNames, LabelAnchorsByColumnParityAndDepth) {
  struct Case {
    int32_t c, r, deep, x, y;
  };
  for (const Case& k : {Case{1, 0, 0, 80, 43}, Case{2, 1, 0, 128, 71}, Case{3, 2, 0, 176, 155},
                        Case{1, 0, 1, 64, 27}, Case{2, 1, 1, 112, 55}}) {
    int32_t x = 0, y = 0;
    MapNameAnchor(k.c, k.r, k.deep, &x, &y);
    EXPECT_EQ(x, k.x) << k.c << "," << k.r << " deep " << k.deep;
    EXPECT_EQ(y, k.y) << k.c << "," << k.r << " deep " << k.deep;
  }
}

// The names over a headless 8-bit map: the own towns' names and the
// map-name entries on their hexes, read once until the overlay comes on.
class MapNamesRun : public MapInfo {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Path");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    MapInfo::SetUp();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    FillDisplayRecord();
    ASSERT_GE(OpenElmorPic(".\\Data\\Path", 3, 1), 0);
    rp_ = GetScreenRastPort(0);
    ASSERT_NE(rp_, nullptr);
    d_->Fonts[MAPFONT_ELMOR] = OpenDiskFont("fonts\\ElmorC1.fnt");
    ASSERT_NE(d_->Fonts[MAPFONT_ELMOR], nullptr);
    fake_.map.Columns = 10;
    fake_.map.Rows = 8;
  }
  void TearDown() override {
    if (d_->MapNames) DeleteList(d_->MapNames, 0);
    d_->MapNames = nullptr;
    if (d_->Fonts[MAPFONT_ELMOR]) CloseFont(d_->Fonts[MAPFONT_ELMOR]);
    d_->Fonts[MAPFONT_ELMOR] = nullptr;
    MapInfo::TearDown();
    FreeAllElmorGfx();
    HeadlessCloseDisplay();
  }
  void Town(uint32_t id, const char* name, int32_t c, int32_t r) {
    st_TOWN* t = CreateTown(id, name, (uint32_t)(4000 + c), (uint32_t)(2000 + r));
    ASSERT_NE(t, nullptr);
    ASSERT_EQ(SaveTown(t), 1);
    FreeVec(t);
    fake_.Cell(c, r).Grafik = 1;  // a town
    fake_.Cell(c, r).Besitzer = 5;
  }
  int Pens(uint32_t pen, int x1, int y1, int x2, int y2) const {
    const BitMap* bm = rp_->Bitmap;
    int n = 0;
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x) n += bm->Pixels[y * bm->BytesPerRow + x] == pen;
    return n;
  }
  void Clear() {
    SetAPen(rp_, 0);
    RectFill(rp_, 0, 0, 639, 479);
  }
  RastPort* rp_ = nullptr;
};

// Relative luminance of a 0x00RRGGBB colour, and the contrast ratio of two.
double Luminance(uint32_t rgb) {
  auto lin = [](uint32_t c) {
    const double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(rgb >> 16 & 255) + 0.7152 * lin(rgb >> 8 & 255) + 0.0722 * lin(rgb & 255);
}
double Contrast(double a, double b) { return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05); }

// A town's name and a place's name on the kit's tiles of grass, forest,
// water, desert and snow, at 640 x 480 x 8, 800 x 600 and 1024 x 768: each
// keeps its pen, and one of its colours stands out from the ground round it
// by a contrast of at least 3 : 1.
class MapNamesContrast : public MapInfo, public testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Path");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    MapInfo::SetUp();
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    FillDisplayRecord();
    ASSERT_GE(OpenElmorPic(".\\Data\\Path", 3, 1), 0);
    rp_ = GetScreenRastPort(0);
    ASSERT_NE(rp_, nullptr);
    d_->Fonts[MAPFONT_ELMOR] = OpenDiskFont("fonts\\ElmorC1.fnt");
    ASSERT_NE(d_->Fonts[MAPFONT_ELMOR], nullptr);
    deep_ = rp_->Bitmap->Depth != 8;
    fake_.map.Columns = deep_ ? 17 : 10;
    fake_.map.Rows = deep_ ? 11 : 8;
  }
  void TearDown() override {
    if (d_->MapNames) DeleteList(d_->MapNames, 0);
    d_->MapNames = nullptr;
    if (d_->Fonts[MAPFONT_ELMOR]) CloseFont(d_->Fonts[MAPFONT_ELMOR]);
    d_->Fonts[MAPFONT_ELMOR] = nullptr;
    MapInfo::TearDown();
    FreeAllElmorGfx();
    HeadlessCloseDisplay();
  }
  uint32_t Rgb(int x, int y) const {
    const BitMap* bm = rp_->Bitmap;
    if (!deep_) {
      const PaletteEntry& p = palette_[bm->Pixels[y * bm->BytesPerRow + x]];
      return (uint32_t)p.r << 16 | (uint32_t)p.g << 8 | p.b;
    }
    uint32_t v;
    std::memcpy(&v, bm->Pixels + y * bm->BytesPerRow + x * 4, 4);
    return v & 0xFFFFFF;
  }
  RastPort* rp_ = nullptr;
  bool deep_ = false;
  PaletteEntry palette_[256] = {};
};

TEST_P(MapNamesContrast, NamesStandOutOnEveryTerrain) {
  fs::create_directories("Data/Cities");
  st_TOWN* t = CreateTown(1, "Elmor", 4003, 2002);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(SaveTown(t), 1);
  FreeVec(t);
  const TownListEntry list[1] = {{1, "Elmor"}};
  ASSERT_EQ(WriteTownList(list, 1), 1);
  fake_.Cell(3, 2).Besitzer = 5;
  d_->MapNames = CreateList(LIST_MAP_NAMES);
  auto* e = reinterpret_cast<MapNameEintrag*>(AllocListNode(d_->MapNames));
  ASSERT_NE(e, nullptr);
  AddNode(d_->MapNames, &e->head, LN_TAIL, 0);
  e->x = 4000 + 6;
  e->y = 2000 + 2;
  std::snprintf(e->name, sizeof e->name, "Greyford");
  d_->NamesOverlay = 1;
  if (!deep_) DisplayGetPalette(palette_);
  const struct {
    const char* name;
    uint16_t graphic, variant;
  } kGrounds[] = {{"grass", 12, 1}, {"forest", 17, 1}, {"water", 23, 1}, {"desert", 8, 1}, {"snow", 12, 3}};
  struct Place {
    const char* name;
    int32_t column, row;
  };
  const Place places[] = {{"Elmor", 3, 2}, {"Greyford", 6, 2}};
  const int sheet_w = 320, strip_h = 70;
  std::vector<uint32_t> sheet((size_t)sheet_w * strip_h * 5);
  const int32_t x0 = deep_ ? 96 : 112, y0 = deep_ ? 90 : 106;  // the sheet's corner on the screen
  int n = 0;
  for (const auto& g : kGrounds) {
    SCOPED_TRACE(g.name);
    // The view's hexes, tiled as the map draws them; the town's hex too.
    const uint32_t id = TileTable[g.graphic][g.variant];
    ASSERT_NE(UseElmorGfx(".\\Data\\Path", id), nullptr);
    for (int odd = 0; odd < 2; ++odd)
      for (int c = odd; c <= 9; c += 2)
        for (int r = 0; r <= 5; ++r) {
          if (odd) BlitObjektMask(rp_, id, 0, 48 * c - 16, 56 * r, 64, 56);
          else BlitObjekt(rp_, id, 48 * c - 16, 56 * r - 28, 64, 56);
        }
    CloseElmorGfx(id);
    fake_.Cell(3, 2).Grafik = 1;  // a town: its hex type
    std::vector<uint32_t> before;
    for (int y = 0; y < strip_h; ++y)
      for (int x = 0; x < sheet_w; ++x) before.push_back(Rgb(x0 + x, y0 + y));
    PrintMapNames(d_, 0);
    for (int y = 0; y < strip_h; ++y)
      for (int x = 0; x < sheet_w; ++x) sheet[(size_t)(y + n * strip_h) * sheet_w + x] = Rgb(x0 + x, y0 + y);
    for (const Place& p : places) {
      SCOPED_TRACE(p.name);
      int32_t ax, ay;
      MapNameAnchor(p.column, p.row, deep_ ? 1 : 0, &ax, &ay);
      std::map<uint32_t, int> colours;
      double ground = 0;
      int ground_n = 0;
      for (int y = ay - 14; y <= ay + 14; ++y)
        for (int x = ax - 50; x <= ax + 50; ++x) {
          const uint32_t now = Rgb(x, y), was = before[(size_t)(y - y0) * sheet_w + (x - x0)];
          if (now != was) {
            colours[now]++;
          } else {
            ground += Luminance(now);
            ground_n++;
          }
        }
      ASSERT_GT(ground_n, 500);
      ground /= ground_n;
      double best = 0;
      int drawn = 0;
      for (const auto& [colour, count] : colours) {
        drawn += count;
        if (count >= 40) best = std::max(best, Contrast(Luminance(colour), ground));
      }
      EXPECT_GT(drawn, 60);
      EXPECT_GE(best, 3.0) << "ground luminance " << ground;
    }
    ++n;
  }
  // The names keep their pen.
  SetAPen(rp_, 105);
  WritePixel(rp_, 2, 2);
  const uint32_t pen105 = Rgb(2, 2);
  int green = 0;
  for (uint32_t v : sheet) green += v == pen105;
  EXPECT_GT(green, 5 * 60);
  const std::string png = "map_names_terrains_" + std::to_string(rp_->Bitmap->Width) + ".png";
  ASSERT_EQ(WritePngRGB(png.c_str(), sheet.data(), sheet_w, strip_h * 5), 1);
  EXPECT_TRUE(qoe_test::KeepPng(png));
}

INSTANTIATE_TEST_SUITE_P(Modes, MapNamesContrast, testing::Values(0u, 4u, 8u),
                         [](const testing::TestParamInfo<uint32_t>& i) {
                           return i.param == 0 ? std::string("640x480x8") : i.param == 4 ? "800x600" : "1024x768";
                         });

TEST_F(MapNamesRun, OwnTownsAndMapNamesOnTheirHexes) {
  fs::create_directories("Data/Cities");
  Town(1, "Elmor", 3, 2);
  Town(2, "Seewacht", 6, 5);
  Town(3, "Eichenhain", 9, 7);  // its label would reach out of the view
  const TownListEntry list[3] = {{1, "Elmor"}, {2, "Seewacht"}, {3, "Eichenhain"}};
  ASSERT_EQ(WriteTownList(list, 3), 1);
  d_->MapNames = CreateList(LIST_MAP_NAMES);
  auto* e = reinterpret_cast<MapNameEintrag*>(AllocListNode(d_->MapNames));
  ASSERT_NE(e, nullptr);
  AddNode(d_->MapNames, &e->head, LN_TAIL, 0);
  e->x = 4000 + 5;
  e->y = 2000 + 2;
  std::snprintf(e->name, sizeof e->name, "Greyford");
  d_->NamesOverlay = 1;
  Clear();
  PrintMapNames(d_, 0);
  const std::string png = "map_names.png";
  {
    // The labels' pen light, the rest dark: a picture of where they fell.
    const BitMap* bm = rp_->Bitmap;
    std::vector<uint32_t> px(640 * 480);
    for (int y = 0; y < 480; ++y)
      for (int x = 0; x < 640; ++x) {
        const uint8_t pen = bm->Pixels[y * bm->BytesPerRow + x];
        px[(size_t)y * 640 + x] = pen == 105 ? 0xF0E0A0u : pen ? 0x505050u : (x >= 496 ? 0x203040u : 0x102010u);
      }
    ASSERT_EQ(WritePngRGB(png.c_str(), px.data(), 640, 480), 1);
  }
  EXPECT_TRUE(qoe_test::KeepPng(png));
  int32_t x, y;
  MapNameAnchor(3, 2, 0, &x, &y);
  EXPECT_GT(Pens(105, x - 30, y - 8, x + 30, y + 8), 10) << "Elmor";
  MapNameAnchor(6, 5, 0, &x, &y);
  EXPECT_GT(Pens(105, x - 40, y - 8, x + 40, y + 8), 10) << "Seewacht";
  MapNameAnchor(5, 2, 0, &x, &y);
  EXPECT_GT(Pens(105, x - 40, y - 8, x + 40, y + 8), 10) << "Greyford";
  EXPECT_EQ(Pens(105, 496, 0, 639, 479), 0);  // never over the side panel
  // The town files are read once: a renamed town shows its old name until
  // the overlay is switched on again.
  st_TOWN* t = CreateTown(1, "Zz", 4003, 2002);
  ASSERT_EQ(SaveTown(t), 1);
  FreeVec(t);
  fs::rename("Data/Cities/Zz.qoe", "Data/Cities/Elmor.qoe");
  Clear();
  MapNameAnchor(3, 2, 0, &x, &y);
  PrintMapNames(d_, 0);
  const int wide = Pens(105, x - 30, y - 8, x + 30, y + 8);
  ForgetMapInfoCache();
  Clear();
  PrintMapNames(d_, 0);
  EXPECT_LT(Pens(105, x - 30, y - 8, x + 30, y + 8), wide);  // "Zz" is shorter than "Elmor"
}

}  // namespace
