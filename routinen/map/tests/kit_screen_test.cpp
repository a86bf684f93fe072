// The data kit's map screen: its layouts load with their masks and hold the
// gadgets at their numbers; the deeper layout's relayout keeps every gadget
// on the display at 800 x 600 and larger; every position the screen draws
// at lies inside the picture drawn there and the gadget acting on it; the
// pictures exist at their sizes and load; the frame rails tile without a
// seam; the minimap's window has a shape. A contact sheet and each layout
// over its pictures as PNGs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/ilbm.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/mapscreen.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct Rect {
  int x1, y1, x2, y2;
};
bool Inside(const Rect& in, const Rect& out) {
  return in.x1 >= out.x1 && in.y1 >= out.y1 && in.x2 <= out.x2 && in.y2 <= out.y2;
}
bool Meet(const Rect& a, const Rect& b) { return a.x1 <= b.x2 && b.x1 <= a.x2 && a.y1 <= b.y2 && b.y1 <= a.y2; }
// The panel test of the map click: strictly inside.
bool StrictlyInside(const Rect& in, const Rect& out) {
  return in.x1 > out.x1 && in.y1 > out.y1 && in.x2 < out.x2 && in.y2 < out.y2;
}

struct Picture {
  int w = 0, h = 0;
  std::vector<uint8_t> px, mask;
  uint8_t pal[256][3] = {};
  bool Opaque(int x, int y) const { return mask.empty() || mask[(size_t)y * w + x]; }
};

uint16_t Be16(const uint8_t* p) { return (uint16_t)(p[0] << 8 | p[1]); }

struct IndexRecord {
  uint8_t kind = 0;
  uint16_t frames = 0, width = 0, height = 0;
  std::string file;
};

IndexRecord IndexEntry(uint32_t id) {
  std::vector<uint8_t> b = qoe_test::ReadFileBytes("Data/Path");
  IndexRecord r;
  if (b.size() < 12 + id * 64) return r;
  const uint8_t* p = &b[12 + (id - 1) * 64];
  r.kind = p[0];
  r.frames = Be16(p + 2);
  r.width = Be16(p + 6);
  r.height = Be16(p + 8);
  r.file = std::string(reinterpret_cast<const char*>(p + 12), strnlen(reinterpret_cast<const char*>(p + 12), 52));
  for (char& c : r.file)
    if (c == '\\') c = '/';
  return r;
}

// The picture's palette indexes and mask, read from its file.
Picture ReadPicture(uint32_t id) {
  Picture out;
  std::vector<uint8_t> b = qoe_test::ReadFileBytes(IndexEntry(id).file);
  IlbmPicture pic{};
  if (b.empty() || DecodeIlbm(b.data(), (uint32_t)b.size(), &pic) != 1) return out;
  out.w = pic.width;
  out.h = pic.height;
  out.px.assign(pic.pixels, pic.pixels + (size_t)pic.width * pic.height);
  if (pic.mask) out.mask.assign(pic.mask, pic.mask + (size_t)pic.width * pic.height);
  std::memcpy(out.pal, pic.palette, sizeof out.pal);
  FreeIlbm(&pic);
  return out;
}

// An RGB canvas for the PNGs.
struct Canvas {
  int w, h;
  std::vector<uint32_t> px;
  Canvas(int w_, int h_) : w(w_), h(h_), px((size_t)w_ * h_, 0x303030) {
    for (int y = 0; y < h; ++y)  // a checker shows the holes
      for (int x = 0; x < w; ++x) px[(size_t)y * w + x] = ((x / 8 + y / 8) % 2) ? 0x505050 : 0x383838;
  }
  void Put(const Picture& p, int ox, int oy) {
    for (int y = 0; y < p.h; ++y)
      for (int x = 0; x < p.w; ++x) {
        const int cx = ox + x, cy = oy + y;
        if (cx < 0 || cy < 0 || cx >= w || cy >= h || !p.Opaque(x, y)) continue;
        const uint8_t* c = p.pal[p.px[(size_t)y * p.w + x]];
        px[(size_t)cy * w + cx] = (uint32_t)c[0] << 16 | c[1] << 8 | c[2];
      }
  }
  void Frame(const Rect& r, uint32_t colour) {
    for (int x = r.x1; x <= r.x2; ++x)
      for (int y : {r.y1, r.y2})
        if (x >= 0 && x < w && y >= 0 && y < h) px[(size_t)y * w + x] = colour;
    for (int y = r.y1; y <= r.y2; ++y)
      for (int x : {r.x1, r.x2})
        if (x >= 0 && x < w && y >= 0 && y < h) px[(size_t)y * w + x] = colour;
  }
  void Save(const std::string& name) {
    ASSERT_EQ(WritePngRGB(name.c_str(), px.data(), (uint32_t)w, (uint32_t)h), 1);
    EXPECT_TRUE(qoe_test::KeepPng(name));
  }
};

Rect GadgetRect(const Gadget* g) { return {g->x1, g->y1, g->x2, g->y2}; }
Rect ValueRect(const ScreenRegion* r, uint32_t k) {
  LayoutRect lr{};
  EXPECT_EQ(GetLayoutRect(r, k, &lr), 1) << k;
  return {lr.x1, lr.y1, lr.x2, lr.y2};
}

// The deeper layout's gadgets after the map screen's relayout for a display
// of w x h (a fresh copy of the layout each time).
std::vector<Rect> Relayout(ScreenRegion*, int w, int h) {
  std::vector<Rect> out;
  ScreenRegion* r = GetScreenRegion(".\\Data\\Screendat\\Karte1024.dat", 518);
  if (!r) return out;
  RelayoutKarte1024(r, w, h);
  for (uint32_t n = 0; n < r->types[LAYOUT_GADGET].count; ++n) out.push_back(GadgetRect(GetRegionGadget(r, n)));
  FreeScreenRegion(r);
  return out;
}

struct Size {
  int w, h;
};
constexpr Size kDeepSizes[] = {{800, 600}, {1024, 768}, {1152, 864}, {1280, 1024}};

class KitMapScreen : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(HeadlessOpenDisplay(4), 1);
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  void TearDown() override {
    for (ScreenRegion* r : regions_) FreeScreenRegion(r);
    ResetPictureManagerState();
    HeadlessCloseDisplay();
  }
  ScreenRegion* Load(const char* name, uint32_t mask) {
    ScreenRegion* r = GetScreenRegion((std::string(".\\Data\\Screendat\\") + name).c_str(), mask);
    if (r) regions_.push_back(r);
    return r;
  }
  std::vector<ScreenRegion*> regions_;
};

void ExpectGadgets(ScreenRegion* r, const std::vector<std::string>& ids) {
  ASSERT_EQ(r->types[LAYOUT_GADGET].count, ids.size());
  for (uint32_t n = 0; n < ids.size(); ++n) {
    const Gadget* g = GetRegionGadget(r, n);
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(std::string(g->id, 4), ids[n]) << "gadget " << n;
  }
}

}  // namespace

TEST_F(KitMapScreen, LayoutsLoadWithTheirMasksAndHoldTheirGadgets) {
  ScreenRegion* k8 = Load("Karte.dat", 518);
  ASSERT_NE(k8, nullptr);
  ExpectGadgets(k8, {"MAP0", "LEFT", "RIGH", "UPGO", "DOWN", "GREN", "SYMB", "ROHS", "INFO", "FORW", "SL01", "UPG1",
                     "DOW1", "EXIT"});
  EXPECT_EQ(k8->types[LAYOUT_U16LIST].count, 20u);
  EXPECT_GE(k8->types[LAYOUT_AREA].count, 1u);
  Rect map0 = GadgetRect(FindGadget(k8, "MAP0"));
  EXPECT_EQ(map0.x1, 16);
  EXPECT_EQ(map0.y1, 16);
  EXPECT_EQ(map0.x2, 495);
  EXPECT_EQ(map0.y2, 463);

  ScreenRegion* menu = Load("KarteMenu2.dat", 514);
  ASSERT_NE(menu, nullptr);
  ExpectGadgets(menu, {"MAP0", "LEFT", "RIGH", "UPGO", "DOWN", "FORW", "EXIT", "BUT1", "BUT2", "BUT3", "BUT4", "BUT5",
                       "MAP1", "FIGU", "SLMO", "SLUP", "SLDO"});
  EXPECT_EQ(menu->types[LAYOUT_U16LIST].count, 12u);
  // The minimap rectangle covers every blob the 8-bit minimap plots.
  Rect mm = ValueRect(menu, 2);
  EXPECT_LE(mm.x1, 508);
  EXPECT_LE(mm.y1, 14);
  EXPECT_GE(mm.x2, 631);
  EXPECT_GE(mm.y2, 139);

  ScreenRegion* deep = Load("Karte1024.dat", 518);
  ASSERT_NE(deep, nullptr);
  ASSERT_EQ(deep->types[LAYOUT_GADGET].count, 24u);
  EXPECT_EQ(deep->types[LAYOUT_U16LIST].count, 32u);
  EXPECT_EQ(std::string(GetRegionGadget(deep, 23)->id, 4), "MAP0");
  for (int i = 0; i < 5; ++i) EXPECT_EQ(std::string(GetRegionGadget(deep, 13 + i)->id, 4), "BUT" + std::to_string(i + 1));
  std::vector<std::string> left;
  for (uint32_t n : {6u, 7u, 8u, 18u, 19u, 20u, 21u, 22u}) left.push_back(std::string(GetRegionGadget(deep, n)->id, 4));
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"DOWN", "GREN", "LEFT", "MAP1", "RIGH", "ROHS", "SYMB", "UPGO"}));
  std::vector<std::string> right;
  for (uint32_t n : {0u, 1u, 2u, 3u, 4u, 5u, 9u, 10u, 11u, 12u}) right.push_back(std::string(GetRegionGadget(deep, n)->id, 4));
  std::sort(right.begin(), right.end());
  EXPECT_EQ(right, (std::vector<std::string>{"DOW1", "EXIT", "FIGU", "FORW", "INFO", "SL01", "SLDO", "SLMO", "SLUP", "UPG1"}));
  // The arrows carry the pressed images the screen draws over them.
  EXPECT_EQ(FindGadget(deep, "UPGO")->imagePressed, 1153);
  EXPECT_EQ(FindGadget(deep, "RIGH")->imagePressed, 1155);
  EXPECT_EQ(FindGadget(deep, "DOWN")->imagePressed, 1157);
  EXPECT_EQ(FindGadget(deep, "LEFT")->imagePressed, 1159);

  for (const char* name : {"KarteArbeiterReq.dat", "KarteArbeiterReq1024.dat"}) {
    SCOPED_TRACE(name);
    ScreenRegion* req = Load(name, 530);
    ASSERT_NE(req, nullptr);
    ExpectGadgets(req, {"EXIT", "AUTO", "BOX1", "BOX2", "BOX3", "INFO"});
    EXPECT_EQ(req->types[LAYOUT_SLIDER].count, 0u);
    EXPECT_EQ(req->types[LAYOUT_SLIDER].size, 8u);
    ASSERT_EQ(req->types[LAYOUT_U16LIST].count, 34u * 4u);
  }
  ScreenRegion* car = Load("KarawaneReq.dat", 530);
  ASSERT_NE(car, nullptr);
  ExpectGadgets(car, {"DO00", "EXIT", "INPU", "LEFT", "OKOK", "REQU", "RIGH", "SLID", "UP00", "INFO"});
  EXPECT_EQ(car->types[LAYOUT_U16LIST].count, 4u);
}

TEST_F(KitMapScreen, RelayoutKeepsEveryGadgetOnTheDisplayAndApart) {
  ScreenRegion* deep = Load("Karte1024.dat", 518);
  ASSERT_NE(deep, nullptr);
  auto left_group = [](uint32_t n) { return n == 6 || n == 7 || n == 8 || (n >= 18 && n <= 22); };
  for (const Size& s : kDeepSizes) {
    SCOPED_TRACE(std::to_string(s.w) + "x" + std::to_string(s.h));
    std::vector<Rect> g = Relayout(deep, s.w, s.h);
    ASSERT_EQ(g.size(), 24u);
    Rect left_box{9999, 9999, -1, -1}, right_box{9999, 9999, -1, -1};
    for (uint32_t n = 0; n < 24; ++n) {
      EXPECT_TRUE(Inside(g[n], {0, 0, s.w - 1, s.h - 1})) << n;
      EXPECT_LE(g[n].x1, g[n].x2);
      EXPECT_LE(g[n].y1, g[n].y2);
      for (uint32_t m = n + 1; m < 23; ++m) EXPECT_FALSE(Meet(g[n], g[m])) << n << " meets " << m;
      if (n == 23) continue;
      Rect& b = left_group(n) ? left_box : right_box;
      b = {std::min(b.x1, g[n].x1), std::min(b.y1, g[n].y1), std::max(b.x2, g[n].x2), std::max(b.y2, g[n].y2)};
    }
    EXPECT_LT(left_box.x2, right_box.x1);
    // The map area reaches the frame's inner edge.
    EXPECT_EQ(g[23].x2, s.w - 17);
    EXPECT_EQ(g[23].y2, s.h - 17);
  }
  // The two requesters fit 800 x 600 when centred, and 640 x 480 at 8 bits.
  for (auto [name, w, h] : {std::tuple{"KarteArbeiterReq1024.dat", 800, 600}, std::tuple{"KarteArbeiterReq.dat", 640, 480}}) {
    ScreenRegion* req = Load(name, 530);
    ASSERT_NE(req, nullptr);
    const int dx = name[16] == '1' ? (w - 1024) / 2 : 0, dy = name[16] == '1' ? (h - 768) / 2 : 0;
    Rect box = ValueRect(req, 13);
    box = {box.x1 + dx, box.y1 + dy, box.x2 + dx, box.y2 + dy};
    EXPECT_TRUE(Inside(box, {0, 0, w - 1, h - 1})) << name;
    for (uint32_t n = 0; n < 6; ++n) {
      Rect r = GadgetRect(GetRegionGadget(req, n));
      EXPECT_TRUE(Inside({r.x1 + dx, r.y1 + dy, r.x2 + dx, r.y2 + dy}, box)) << name << " gadget " << n;
    }
    for (uint32_t k : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 12u, 29u, 30u, 31u, 32u, 33u})
      EXPECT_TRUE(Inside(ValueRect(req, k), ValueRect(req, 13))) << name << " rectangle " << k;
    for (uint32_t k = 14; k <= 28; ++k) EXPECT_TRUE(Inside(ValueRect(req, k), {0, 0, 419, 329})) << name << " label " << k;
  }
  ScreenRegion* car = Load("KarawaneReq.dat", 530);
  ASSERT_NE(car, nullptr);
  Rect box = ValueRect(car, 0);
  EXPECT_LE(box.x2 - box.x1 + 1, 640);
  for (uint32_t n = 0; n < 10; ++n) EXPECT_TRUE(Inside(GadgetRect(GetRegionGadget(car, n)), box)) << n;
}

// Every place the screen draws at lies inside the picture drawn there (on
// its opaque pixels), and a switch or arrow inside the gadget acting on it.
TEST_F(KitMapScreen, DrawnPositionsLieInsideTheirPicturesAndGadgets) {
  ScreenRegion* deep = Load("Karte1024.dat", 518);
  ASSERT_NE(deep, nullptr);
  const int W = 1024, H = 768;
  struct Placed {
    uint32_t id;
    int x, y;
  };
  // The panel pictures at 1024 x 768.
  const Placed left{1143, 3, H - 385}, corner{1150, W - 164, H - 178}, behind{1151, W - 164, H - 152},
      bottom{1167, W - 800, H - 247};
  auto opaque_over = [&](const Placed& p, const Rect& r) {
    Picture pic = ReadPicture(p.id);
    if (pic.w == 0) return false;
    for (int y = r.y1; y <= r.y2; ++y)
      for (int x = r.x1; x <= r.x2; ++x) {
        const int lx = x - p.x, ly = y - p.y;
        if (lx < 0 || ly < 0 || lx >= pic.w || ly >= pic.h || !pic.Opaque(lx, ly)) return false;
      }
    return true;
  };
  // Switch images (borders, names, resources) and pressed arrows inside the
  // left panel's gadgets.
  struct OnGadget {
    uint32_t image;
    int x, y;
    const char* gadget;
  };
  const OnGadget on[] = {{1160, 144, H - 132, "GREN"}, {1162, 124, H - 160, "SYMB"}, {1164, 95, H - 178, "ROHS"},
                         {1153, 73, H - 157, "UPGO"},  {1155, 132, H - 86, "RIGH"},  {1157, 73, H - 23, "DOWN"},
                         {1159, 0, H - 86, "LEFT"}};
  for (const OnGadget& o : on) {
    SCOPED_TRACE(o.image);
    const IndexRecord e = IndexEntry(o.image);
    const Rect r{o.x, o.y, o.x + e.width - 1, o.y + e.height - 1};
    EXPECT_TRUE(Inside(r, GadgetRect(FindGadget(deep, o.gadget))));
    EXPECT_TRUE(Inside(r, {0, 0, W - 1, H - 1}));
  }
  // Switch sockets lie on the left panel, the left panel images too.
  for (const OnGadget& o : on)
    if (o.image >= 1160) { EXPECT_TRUE(opaque_over(left, {o.x, o.y, o.x + 19, o.y + 19})) << o.image; }
  for (int y : {H - 382, H - 341, H - 300, H - 259, H - 218, H - 177})
    EXPECT_TRUE(opaque_over(left, {10, y, 49, y + 39})) << y;
  // Coordinates and the tile window on the corner panel; the tile window on
  // the panel shown behind other screens.
  EXPECT_TRUE(opaque_over(corner, {W - 135, H - 173, W - 86, H - 154}));
  EXPECT_TRUE(opaque_over(corner, {W - 80, H - 173, W - 31, H - 154}));
  EXPECT_TRUE(opaque_over(corner, {W - 116, H - 110, W - 53, H - 55}));
  EXPECT_TRUE(opaque_over(behind, {W - 116, H - 110, W - 53, H - 55}));
  // The terrain line, the resource fields and their labels on the bottom panel.
  EXPECT_TRUE(opaque_over(bottom, {W - 791, H - 140, W - 406, H - 125}));
  for (int y : {H - 102, H - 75, H - 48}) {
    EXPECT_TRUE(opaque_over(bottom, {W - 594, y, W - 546, y + 16})) << y;
    EXPECT_TRUE(opaque_over(bottom, {W - 534, y, W - 414, y + 16})) << y;
  }
  // The info box, the list and their sliders on the bottom panel, the
  // minimap's window inside the left panel's compass.
  for (uint32_t k : {0u, 1u, 6u, 7u}) EXPECT_TRUE(opaque_over(bottom, ValueRect(deep, k))) << k;
  const Rect mm = ValueRect(deep, 5);
  EXPECT_EQ(mm.x2 - mm.x1 + 1, 128);
  EXPECT_TRUE(Inside(GadgetRect(FindGadget(deep, "MAP1")), mm));
  EXPECT_TRUE(opaque_over(left, GadgetRect(FindGadget(deep, "MAP1"))));
  // Every panel gadget lies on a panel picture.
  for (const char* id : {"FIGU", "SLMO", "SLUP", "SLDO", "SL01", "UPG1", "DOW1", "BUT1", "BUT2", "BUT3", "BUT4", "BUT5"})
    EXPECT_TRUE(opaque_over(bottom, GadgetRect(FindGadget(deep, id)))) << id;
  for (const char* id : {"INFO", "FORW", "EXIT"}) EXPECT_TRUE(opaque_over(corner, GadgetRect(FindGadget(deep, id)))) << id;
  // The click's panels cover every opaque pixel of the panel pictures.
  const Rect panels[] = {{0, 382, 60, 767}, {0, 586, 180, 767}, {222, 618, 1023, 767}, {654, 520, 1023, 767}};
  for (const Placed& p : {left, corner, behind, bottom}) {
    Picture pic = ReadPicture(p.id);
    ASSERT_GT(pic.w, 0) << p.id;
    int uncovered = 0;
    for (int y = 0; y < pic.h; ++y)
      for (int x = 0; x < pic.w; ++x) {
        if (!pic.Opaque(x, y)) continue;
        const Rect px{p.x + x, p.y + y, p.x + x, p.y + y};
        bool covered = false;
        for (const Rect& pn : panels) covered |= StrictlyInside(px, pn) || p.x + x >= W - 1 || p.y + y >= H - 1;
        uncovered += !covered;
      }
    EXPECT_EQ(uncovered, 0) << p.id;
  }

  // 8 bits: the minimap, the coordinates and the switch places lie inside
  // the side panel, each switch inside its gadget; 865 covers the lists.
  ScreenRegion* k8 = Load("Karte.dat", 518);
  ScreenRegion* menu = Load("KarteMenu2.dat", 514);
  ASSERT_NE(k8, nullptr);
  ASSERT_NE(menu, nullptr);
  const Rect side{496, 0, 639, 479};
  EXPECT_TRUE(Inside(ValueRect(k8, 1), side));
  EXPECT_TRUE(Inside(ValueRect(menu, 2), side));
  EXPECT_TRUE(Inside({518, 37, 565, 51}, side));
  EXPECT_TRUE(Inside({574, 37, 620, 51}, side));
  for (auto [y, id] : {std::pair{375, "GREN"}, {345, "SYMB"}, {315, "ROHS"}}) {
    EXPECT_TRUE(Inside({515, y, 535, y + 18}, side));
    EXPECT_TRUE(Inside({515, y, 535, y + 18}, GadgetRect(FindGadget(k8, id)))) << id;
  }
  Picture p3 = ReadPicture(3);
  ASSERT_EQ(p3.w, 640);
  // The view is the picture's hole; the side panel is opaque.
  ASSERT_FALSE(p3.mask.empty());
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x) {
      const bool view = x >= 16 && x <= 495 && y >= 16 && y <= 463;
      ASSERT_EQ(p3.Opaque(x, y), !view) << x << "," << y;
    }
  const Rect side_lists = ValueRect(k8, 1);
  Picture lists = ReadPicture(865);
  EXPECT_EQ(lists.w, 144);
  EXPECT_TRUE(Inside({side_lists.x1, side_lists.y1, side_lists.x1 + lists.w - 1, side_lists.y1 + lists.h - 1}, side));
  for (uint32_t k : {0u, 1u, 2u}) {
    const Rect r = ValueRect(menu, k);
    EXPECT_TRUE(Inside(r, {side_lists.x1, side_lists.y1, side_lists.x1 + lists.w - 1, side_lists.y1 + lists.h - 1})) << k;
  }
  for (int i = 0; i < 5; ++i) {  // tabs fit their gadgets at both kinds of display
    const IndexRecord t = IndexEntry(866 + 2 * i);
    for (ScreenRegion* r : {menu, deep}) {
      const Gadget* g = FindGadget(r, ("BUT" + std::to_string(i + 1)).c_str());
      EXPECT_TRUE(Inside({g->x1, g->y1, g->x1 + t.width - 1, g->y1 + t.height - 1}, GadgetRect(g)));
    }
  }
}

TEST_F(KitMapScreen, EveryPictureIsInTheIndexAtItsSizeAndLoads) {
  struct Want {
    uint32_t id;
    uint8_t kind;
    uint16_t w, h;
  };
  std::vector<Want> want = {{3, 1, 640, 480},     {865, 3, 144, 300},   {448, 2, 80, 12},     {449, 2, 80, 12},
                            {1148, 2, 256, 16},   {1149, 2, 16, 256},   {1614, 3, 256, 32},   {1615, 3, 256, 32},
                            {1143, 3, 178, 385},  {1167, 3, 800, 247},  {1150, 2, 164, 178},  {1151, 2, 164, 152},
                            {1166, 3, 128, 128},  {1142, 3, 700, 538},  {143, 2, 21, 19},     {145, 2, 21, 19},
                            {1041, 2, 420, 330},  {1265, 2, 360, 260}};
  for (uint32_t id = 866; id <= 875; ++id) want.push_back({id, 2, 24, 22});
  for (uint32_t id = 1144; id <= 1147; ++id) want.push_back({id, 3, 32, 32});
  for (uint32_t id = 1152; id <= 1159; ++id)
    want.push_back({id, 3, (uint16_t)(((id - 1152) / 2) % 2 ? 30 : 16), (uint16_t)(((id - 1152) / 2) % 2 ? 16 : 22)});
  for (uint32_t id = 1160; id <= 1165; ++id) want.push_back({id, 3, 20, 20});
  for (uint32_t id = 1168; id <= 1178; ++id) want.push_back({id, 2, 40, 40});
  for (const Want& w : want) {
    SCOPED_TRACE(w.id);
    const IndexRecord e = IndexEntry(w.id);
    EXPECT_EQ(e.kind, w.kind);
    EXPECT_EQ(e.width, w.w);
    EXPECT_EQ(e.height, w.h);
    if (w.kind == 1) {
      ASSERT_GE(OpenElmorPic(".\\Data\\Path", w.id, 1), 0);  // 0: shown on the 2D renderer
      CloseElmorPic(w.id, 0);
      continue;
    }
    ASSERT_EQ(OpenElmorGfx(".\\Data\\Path", w.id), 1);
    EXPECT_EQ(ElmorGfxBitMap(w.id)->Width, w.w);
    EXPECT_EQ(ElmorGfxBitMap(w.id)->Height, w.h);
    EXPECT_EQ(GetElmorGfxMask(w.id) != nullptr, w.kind == 3);
    CloseElmorGfx(w.id);
    // No flat colour fields: every picture uses many pens.
    Picture p = ReadPicture(w.id);
    std::vector<bool> used(256);
    int n = 0;
    for (size_t i = 0; i < p.px.size(); ++i)
      if (p.mask.empty() || p.mask[i]) n += !used[p.px[i]], used[p.px[i]] = true;
    EXPECT_GE(n, w.id == 1166 ? 3 : 5);  // 1166 is a shape: ground and rim
  }
  // The two switches and the pressed and released arrows differ clearly.
  for (auto [a, b] : {std::pair{143u, 145u}, {1160u, 1161u}, {1162u, 1163u}, {1164u, 1165u}, {1152u, 1153u}, {866u, 867u}}) {
    Picture pa = ReadPicture(a), pb = ReadPicture(b);
    int differ = 0;
    for (size_t i = 0; i < pa.px.size(); ++i) differ += pa.px[i] != pb.px[i];
    EXPECT_GT(differ, (int)pa.px.size() / 8) << a << " vs " << b;
  }
}

TEST_F(KitMapScreen, FrameRailsTileWithoutASeam) {
  for (const auto& row : {std::pair{1148u, true}, {1149u, false}}) {
    const uint32_t id = row.first;
    const bool horizontal = row.second;  // a plain local: the lambda below captures it
    SCOPED_TRACE(id);
    Picture p = ReadPicture(id);
    ASSERT_EQ(p.w * p.h, 256 * 16);
    // Two copies side by side: every pixel equals the one a repeat of the
    // pattern puts there, across the join as inside.
    for (int a = 0; a < 512; ++a)
      for (int c = 0; c < 16; ++c) {
        auto at = [&](int along) {
          along %= 256;
          return horizontal ? p.px[(size_t)c * 256 + along] : p.px[(size_t)along * 16 + c];
        };
        ASSERT_EQ(at(a), at(a + 32)) << a << "," << c;
      }
    // The frame's once-more piece at width - 288 lands on the pattern for
    // every display width that is a multiple of 32.
    for (int w : {800, 1024, 1152, 1280})
      for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 16; ++c) {
          const int once_more = (w - 288 + a) % 256, tiled = (w - 288 + a - 32) % 256;
          const int i1 = horizontal ? c * 256 + once_more : once_more * 16 + c;
          const int i2 = horizontal ? c * 256 + tiled : tiled * 16 + c;
          ASSERT_EQ(p.px[(size_t)i1], p.px[(size_t)i2]);
        }
  }
}

TEST_F(KitMapScreen, MiniMapWindowHasAShape) {
  Picture p = ReadPicture(1166);
  ASSERT_EQ(p.w, 128);
  ASSERT_FALSE(p.mask.empty());
  int set = 0;
  for (uint8_t m : p.mask) set += m != 0;
  EXPECT_GT(set, 1000);
  EXPECT_LT(set, 128 * 128 - 1000);
  // Round: the centre is open, the corners are not.
  EXPECT_TRUE(p.Opaque(64, 64));
  EXPECT_FALSE(p.Opaque(2, 2));
  EXPECT_FALSE(p.Opaque(125, 125));
}

TEST_F(KitMapScreen, ContactSheetAndLayoutsAsPngs) {
  // Every picture of the map screen on one sheet.
  std::vector<uint32_t> ids = {3, 865, 1142, 1167, 1143, 1150, 1151, 1041, 1265, 1148, 1149, 1614, 1615, 1166, 448, 449, 143, 145};
  for (uint32_t id = 866; id <= 875; ++id) ids.push_back(id);
  for (uint32_t id = 1144; id <= 1147; ++id) ids.push_back(id);
  for (uint32_t id = 1152; id <= 1165; ++id) ids.push_back(id);
  for (uint32_t id = 1168; id <= 1178; ++id) ids.push_back(id);
  Canvas sheet(1600, 1400);
  int x = 4, y = 4, row_h = 0;
  for (uint32_t id : ids) {
    Picture p = ReadPicture(id);
    ASSERT_GT(p.w, 0) << id;
    if (x + p.w > sheet.w) x = 4, y += row_h + 6, row_h = 0;
    sheet.Put(p, x, y);
    x += p.w + 6;
    row_h = std::max(row_h, p.h);
  }
  sheet.Save("map_kit_sheet.png");

  // 8 bits: picture 3 with the gadgets of Karte.dat; the lists with
  // KarteMenu2.dat's.
  ScreenRegion* k8 = Load("Karte.dat", 518);
  ScreenRegion* menu = Load("KarteMenu2.dat", 514);
  ASSERT_NE(k8, nullptr);
  ASSERT_NE(menu, nullptr);
  for (int lists = 0; lists < 2; ++lists) {
    Canvas c(640, 480);
    c.Put(ReadPicture(3), 0, 0);
    ScreenRegion* r = lists ? menu : k8;
    if (lists) {
      c.Put(ReadPicture(865), 496, 0);
      for (int i = 0; i < 5; ++i) {
        const Gadget* g = FindGadget(menu, ("BUT" + std::to_string(i + 1)).c_str());
        c.Put(ReadPicture(i == 0 ? 867 : 866 + 2 * i), g->x1, g->y1);
      }
    } else {
      for (int y8 : {315, 345, 375}) c.Put(ReadPicture(y8 == 375 ? 145 : 143), 515, y8);
    }
    for (uint32_t n = 0; n < r->types[LAYOUT_GADGET].count; ++n) c.Frame(GadgetRect(GetRegionGadget(r, n)), 0xFF2020);
    for (uint32_t k = 0; k * 4 + 3 < r->types[LAYOUT_U16LIST].count && k < 3; ++k) c.Frame(ValueRect(r, k), 0x20FF20);
    c.Save(lists ? "map_kit_layout_8bit_lists.png" : "map_kit_layout_8bit.png");
  }
  // Deeper displays: the frame, the panels as the screen draws them, the
  // relaid gadgets (red), value rectangles (green) and text places (blue).
  ScreenRegion* deep = Load("Karte1024.dat", 518);
  ASSERT_NE(deep, nullptr);
  for (const Size& s : kDeepSizes) {
    const int W = s.w, H = s.h;
    for (int shown = 0; shown < 2; ++shown) {
      Canvas c(W, H);
      for (int i = 0; i < (W - 64) / 256; ++i) c.Put(ReadPicture(1148), 256 * i + 32, 0), c.Put(ReadPicture(1148), 256 * i + 32, H - 16);
      c.Put(ReadPicture(1148), W - 288, 0);
      c.Put(ReadPicture(1148), W - 288, H - 16);
      for (int i = 0; i < (H - 64) / 256; ++i) c.Put(ReadPicture(1149), 0, 256 * i + 32), c.Put(ReadPicture(1149), W - 16, 256 * i + 32);
      c.Put(ReadPicture(1149), 0, H - 288);
      c.Put(ReadPicture(1149), W - 16, H - 288);
      c.Put(ReadPicture(1144), 0, 0);
      c.Put(ReadPicture(1145), W - 32, 0);
      c.Put(ReadPicture(1146), 0, H - 32);
      c.Put(ReadPicture(1147), W - 32, H - 32);
      c.Put(ReadPicture(1614), 0, 0);
      c.Put(ReadPicture(1615), W - 256, 0);
      // The bottom panel under the left panel, as the screen draws them.
      if (shown) {
        c.Put(ReadPicture(1150), W - 164, H - 178);
        c.Put(ReadPicture(1167), W - 800, H - 247);
      }
      c.Put(ReadPicture(1143), 3, H - 385);
      c.Put(ReadPicture(1160), 144, H - 132);
      c.Put(ReadPicture(1163), 124, H - 160);
      c.Put(ReadPicture(1165), 95, H - 178);
      const int imgs[6][2] = {{1168, 382}, {1170, 259}, {1172, 300}, {1174, 341}, {1176, 218}, {1178, 177}};
      for (auto& im : imgs) c.Put(ReadPicture((uint32_t)im[0] + (im[0] == 1170 ? 1 : 0)), 10, H - im[1]);
      const std::vector<Rect> g = Relayout(deep, W, H);
      const Rect mm = ValueRect(deep, 5);
      c.Put(ReadPicture(1166), mm.x1, mm.y1 + H - 768);
      for (uint32_t n : {7u, 8u, 18u, 19u}) c.Put(ReadPicture(GetRegionGadget(deep, n)->imageReleased), g[n].x1, g[n].y1);
      c.Put(ReadPicture(1153), 73, H - 157);
      if (shown) {
        c.Put(ReadPicture(867), g[13].x1, g[13].y1);
        for (int i = 1; i < 5; ++i) c.Put(ReadPicture(866 + 2 * i), g[13 + i].x1, g[13 + i].y1);
        for (uint32_t n = 0; n < 23; ++n) c.Frame(g[n], 0xFF2020);
        const int dw = W - 1024, dh = H - 768;
        for (uint32_t k : {0u, 1u, 6u, 7u}) {
          Rect r = ValueRect(deep, k);
          c.Frame({r.x1 + dw, r.y1 + dh, r.x2 + dw, r.y2 + dh}, 0x20FF20);
        }
        for (Rect r : {Rect{std::max(W - 791, 181), H - 140, W - 406, H - 125}, Rect{W - 594, H - 102, W - 546, H - 86},
                       Rect{W - 534, H - 102, W - 414, H - 86}, Rect{W - 135, H - 173, W - 86, H - 154},
                       Rect{W - 80, H - 173, W - 31, H - 154}, Rect{W - 116, H - 110, W - 53, H - 55}})
          c.Frame(r, 0x4040FF);
      } else {
        c.Put(ReadPicture(1151), W - 164, H - 152);
        c.Put(ReadPicture(1142), (W - 700) / 2, (H - 538) / 2 - 30);
      }
      c.Save("map_kit_layout_" + std::to_string(W) + "x" + std::to_string(H) + (shown ? "" : "_behind") + ".png");
    }
  }
  // The requesters at their places.
  ScreenRegion* req = Load("KarteArbeiterReq.dat", 530);
  ASSERT_NE(req, nullptr);
  Canvas c(640, 480);
  c.Put(ReadPicture(3), 0, 0);
  const Rect box = ValueRect(req, 13);
  c.Put(ReadPicture(1041), box.x1, box.y1);
  c.Put(ReadPicture(145), ValueRect(req, 29).x1, ValueRect(req, 29).y1);
  for (uint32_t n = 0; n < 6; ++n) c.Frame(GadgetRect(GetRegionGadget(req, n)), 0xFF2020);
  for (uint32_t k = 0; k <= 12; ++k) c.Frame(ValueRect(req, k), 0x20FF20);
  for (uint32_t k = 14; k <= 28; ++k) {
    Rect r = ValueRect(req, k);
    c.Frame({r.x1 + box.x1, r.y1 + box.y1, r.x2 + box.x1, r.y2 + box.y1}, 0x4040FF);
  }
  c.Frame(ValueRect(req, 33), 0xFFFF00);
  ScreenRegion* car = Load("KarawaneReq.dat", 530);
  ASSERT_NE(car, nullptr);
  c.Save("map_kit_cultivation.png");
  Canvas k(640, 480);
  const Rect cb = ValueRect(car, 0);
  const int ox = (640 - (cb.x2 - cb.x1 + 1)) / 2, oy = (480 - (cb.y2 - cb.y1 + 1)) / 2;
  k.Put(ReadPicture(1265), ox, oy);
  for (uint32_t n = 0; n < 10; ++n) {
    Rect r = GadgetRect(GetRegionGadget(car, n));
    k.Frame({r.x1 + ox, r.y1 + oy, r.x2 + ox, r.y2 + oy}, 0xFF2020);
  }
  k.Save("map_kit_caravan.png");
}
