// The texts of the 3D map's panels in the deeper OpenGL modes, on the demo
// realm with the scout on the dungeon's entrance selected (its hex is
// Gunhild's mountains): the info box shows every line of the scout whole,
// down to "Order : nothing", and the terrain line ("mountains Owner Player
// Gunhild von Norden") stays inside its box; both, the resource values and
// their labels stand out from their grounds by 4.5 : 1 (measured on the
// drawn frame, tests/support/legibility.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/drawntext.h"
#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/map/map_gl_visit.h"
#include "routinen/gui/requester.h"
#include "routinen/system/catalog.h"
#include "routinen/map/map.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/legibility.h"
#include "tests/support/test_support.h"

namespace {

struct PanelMode {
  uint32_t mode, w, h;
  const char* name;
};

class MapPanelsGL : public testing::TestWithParam<PanelMode> {
 protected:
  void SetUp() override { map_gl::OpenDemoMap(GetParam().mode, &opened_); }
  void TearDown() override { map_gl::CloseDemoMap(opened_); }
  bool opened_ = false;
};

// A content pixel of a requester's bitmap as 0x00RRGGBB (32-bit R, G, B, A
// bytes).
uint32_t ContentPixel(const BitMap* bm, uint32_t x, uint32_t y) {
  const uint8_t* p = bm->Pixels + size_t(y) * bm->BytesPerRow + size_t(x) * 4;
  return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

// The lines a text box shows in part: each line of its content (rows
// k x line height onwards) whose text rows land partly inside the box's
// window on the screen and partly below or above it. *last_row: the lowest
// content row with text.
std::vector<uint32_t> LinesShownInPart(const QoERequester* req, uint32_t* last_row) {
  std::vector<uint32_t> cut;
  const BitMap* bm = req->content;
  *last_row = 0;
  if (!bm || req->lineHeight == 0) return cut;
  const uint32_t ground = ContentPixel(bm, bm->Width - 1, bm->Height - 1);
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> rows;  // line: rows inside, rows outside
  for (uint32_t y = 0; y < bm->Height; y++) {
    bool ink = false;
    for (uint32_t x = 0; x < std::min(bm->Width, req->width) && !ink; x++) ink = ContentPixel(bm, x, y) != ground;
    if (!ink) continue;
    *last_row = y;
    const int64_t on_screen = int64_t(y) - int64_t(req->pixelOffset);
    auto& r = rows[y / req->lineHeight];
    (on_screen >= 0 && on_screen < int64_t(req->height) ? r.first : r.second)++;
  }
  for (const auto& [line, r] : rows)
    if (r.first && r.second) cut.push_back(line);
  return cut;
}

// A text on a textured ground (the labels' parchment): the contrast of the
// ink colour (six pixels or more) that stands out most from the ground, the
// rectangle's most common colour; a texture's own colours stand out little.
double TextOnTexture(const std::vector<uint32_t>& px, uint32_t width, int x1, int y1, int x2, int y2) {
  std::map<uint32_t, int> count;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) count[px[size_t(y) * width + size_t(x)] & 0xFFFFFF]++;
  uint32_t ground = 0;
  int most = 0;
  for (const auto& [c, n] : count)
    if (n > most) ground = c, most = n;
  double best = 0;
  for (const auto& [c, n] : count)
    if (n >= 6) best = std::max(best, qoe_test::ContrastOf(c, ground));
  return best;
}

TEST_P(MapPanelsGL, TheScoutsLinesAreWholeInsideTheirBoxesAndStandOut) {
  const PanelMode& m = GetParam();
  const int32_t W = int32_t(m.w), H = int32_t(m.h);
  ASSERT_EQ(MapScreenPrebuild(), 1);
  std::atomic<int32_t> result{99};
  std::thread game = map_gl::StartVisit(result);
  map_gl::Leave leave{game};
  ASSERT_TRUE(map_gl::WaitShown());
  QoEMapInfo* map = KartenScreenData->map;
  map_gl::ScrollToTheDungeon();
  // The panels before a hex is chosen: a short terrain line.
  const std::vector<uint32_t> before = map_gl::Frames(m.w, m.h, 2);
  // The scout's hex, clicked twice: the scout selected.
  int32_t sx = -1, sy = -1;
  {
    std::lock_guard<std::mutex> hold(GL3D().pick_lock);
    for (uint32_t i = 0; i < GL3D().pick_count; i++) {
      const MapPick& p = GL3D().picks[i];
      if (map->X + p.column - map->ViewColumn == 6418 && map->Y + p.row - map->ViewRow == 3191) {
        sx = int32_t(std::lround((p.x + 1.0f) / 2.0f * float(m.w) - 0.5f));
        sy = int32_t(std::lround((1.0f - p.y) / 2.0f * float(m.h) - 0.5f));
      }
    }
  }
  ASSERT_GE(sx, 0) << "the scout's hex is not drawn";
  map_gl::Click(sx, sy);
  if (!KartenScreenData->FigureSelected) map_gl::Click(sx, sy);
  ASSERT_TRUE(KartenScreenData->FigureSelected);
  ASSERT_EQ(KartenScreenData->SelectedFigure->Nummer, 44);
  const std::vector<uint32_t> frame = map_gl::Frames(m.w, m.h, 2);
  const std::string png = std::string("mappanels_scout_") + m.name + ".png";
  ASSERT_EQ(WritePngRGB(png.c_str(), frame.data(), m.w, m.h), 1);
  EXPECT_TRUE(qoe_test::KeepPng(png));

  // The info box: the scout's seven lines (type, X, Y, points, order with
  // the blank lines between) all in its window, none of them in part.
  const QoERequester* info = KartenScreenData->InfoRequester;
  ASSERT_NE(info, nullptr);
  uint32_t last_row = 0;
  const std::vector<uint32_t> cut = LinesShownInPart(info, &last_row);
  EXPECT_TRUE(cut.empty()) << "line " << (cut.empty() ? 0 : cut[0] + 1) << " of the info box is shown in part";
  EXPECT_EQ(info->pixelOffset, 0u);
  EXPECT_LT(last_row, info->height) << "the order line lies below the info box's window";
  const qoe_test::TextInk box = qoe_test::TextContrast(frame, m.w, info->x, info->y, info->x + int32_t(info->width) - 1,
                                                       info->y + int32_t(info->height) - 1);
  EXPECT_GE(box.contrast, 4.5) << "info box: ink " << std::hex << box.ink << " on " << box.ground;

  // The terrain line: inside its box (the panel right of it as it was with
  // the short line), and legible.
  const int32_t x1 = std::max(W - 791, 181), y1 = H - 140, x2 = W - 406, y2 = H - 125;
  uint32_t beside = 0, changed = 0;
  for (int32_t y = y1 - 2; y <= y2 + 2; y++)
    for (int32_t x = x2 + 1; x <= x2 + 40; x++, beside++)
      changed += frame[size_t(y) * m.w + size_t(x)] != before[size_t(y) * m.w + size_t(x)];
  EXPECT_EQ(changed, 0u) << "of " << beside << " pixels right of the terrain line's box";
  const qoe_test::TextInk line = qoe_test::TextContrast(frame, m.w, x1, y1, x2, y2);
  EXPECT_GT(line.inkCount, 20);
  EXPECT_GE(line.contrast, 4.5) << "terrain line: ink " << std::hex << line.ink << " on " << line.ground;
  // The resource values and their labels.
  for (int i = 0; i < 3; i++) {
    const int32_t ry1 = H - 102 + 27 * i, ry2 = H - 86 + 27 * i;
    const qoe_test::TextInk value = qoe_test::TextContrast(frame, m.w, W - 594, ry1, W - 546, ry2);
    EXPECT_GE(value.contrast, 4.5) << "value " << i << ": ink " << std::hex << value.ink << " on " << value.ground;
    EXPECT_GE(TextOnTexture(frame, m.w, W - 534, ry1, W - 414, ry2), 4.5) << "label " << i;
  }
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  game.join();
  EXPECT_EQ(result.load(), 2);
}

// The texts drawn while a test watches (the drawing threads report them).
struct DrawnTexts {
  std::mutex lock;
  std::vector<std::string> texts;
  static void Note(const char* text, uint32_t, void* self) {
    auto* d = static_cast<DrawnTexts*>(self);
    std::lock_guard<std::mutex> hold(d->lock);
    d->texts.push_back(text);
  }
  bool Seen(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock);
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }
};

// A lord's name too long for the terrain line's box (an own hex shows it):
// the line is cut before "..." in the smaller font, inside its box; a name
// that fits in the smaller font only is shown whole in it.
TEST_P(MapPanelsGL, ALongNameInTheTerrainLineIsCutWithDotsInsideItsBox) {
  const PanelMode& m = GetParam();
  const int32_t W = int32_t(m.w), H = int32_t(m.h);
  const int32_t x1 = std::max(W - 791, 181), y1 = H - 140, x2 = W - 406, y2 = H - 125;
  ASSERT_EQ(MapScreenPrebuild(), 1);
  std::atomic<int32_t> result{99};
  std::thread game = map_gl::StartVisit(result);
  map_gl::Leave leave{game};
  ASSERT_TRUE(map_gl::WaitShown());
  QoEMapInfo* map = KartenScreenData->map;
  const std::vector<uint32_t> before = map_gl::Frames(m.w, m.h, 2);
  // An own hex of the landscape, away from the map's edges, and the
  // owner's name of the terrain line there.
  int32_t hx = -1, hy = -1;
  std::string terrain;
  {
    std::lock_guard<std::mutex> hold(GL3D().pick_lock);
    const MapFrameCopy& c = E3D().map_copy;
    for (uint32_t i = 0; i < GL3D().pick_count && hx < 0; i++) {
      const MapPick& p = GL3D().picks[i];
      const uint32_t k = uint32_t(p.column - c.view_column), r = uint32_t(p.row - c.view_row);
      const int32_t x = int32_t(std::lround((p.x + 1.0f) / 2.0f * float(m.w) - 0.5f));
      const int32_t y = int32_t(std::lround((1.0f - p.y) / 2.0f * float(m.h) - 0.5f));
      if (k < c.columns && r < c.rows && c.owner[r * c.columns + k] == map->OwnPlayer && x > 200 &&
          x < W - 200 && y > 100 && y < H - 300 && IsInMapArea(x, y, x, y))
        hx = x, hy = y;
    }
  }
  ASSERT_GE(hx, 0) << "no own hex in sight";
  DrawnTexts drawn;
  SetDrawnTextHook(DrawnTexts::Note, &drawn);
  TextFont* small = OpenDiskFont("fonts\\XHelvetica9.fnt");
  ASSERT_NE(small, nullptr);
  RastPort rp{};
  InitRastPort(&rp);
  SetFont(&rp, small);
  const uint32_t room = uint32_t(x2 - x1 + 1 - 4);
  struct Name {
    std::string name;
    bool whole;
  };
  // Both fonts' letters are narrower than 12 pixels: 14 of them fit the
  // smaller font in every box, 39 never do.
  for (const Name& n : {Name{"Wilhelmine Rosenrot", true}, Name{std::string(OWNPLAYER_NAME - 1, 'W'), false}}) {
    std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "%s", n.name.c_str());
    map_gl::Click(hx, hy);
    const std::vector<uint32_t> frame = map_gl::Frames(m.w, m.h, 2);
    const std::string png = std::string("mappanels_longname_") + (n.whole ? "whole_" : "cut_") + m.name + ".png";
    ASSERT_EQ(WritePngRGB(png.c_str(), frame.data(), m.w, m.h), 1);
    EXPECT_TRUE(qoe_test::KeepPng(png));
    uint32_t changed = 0;
    for (int32_t y = y1 - 2; y <= y2 + 2; y++)
      for (int32_t x = x2 + 1; x <= x2 + 40; x++)
        changed += frame[size_t(y) * m.w + size_t(x)] != before[size_t(y) * m.w + size_t(x)];
    EXPECT_EQ(changed, 0u) << n.name << ": pixels right of the terrain line's box";
    const qoe_test::TextInk line = qoe_test::TextContrast(frame, m.w, x1, y1, x2, y2);
    EXPECT_GE(line.contrast, 4.5) << n.name;
    // The line as drawn: the whole name, or a part of it before "...",
    // within the box in the font it was drawn in.
    std::string shown;
    {
      std::lock_guard<std::mutex> hold(drawn.lock);
      for (const std::string& t : drawn.texts)
        if (t.find(" " + std::string(n.whole ? n.name : n.name.substr(0, 3))) != std::string::npos &&
            t.find(GetCatalogStr(697)) != std::string::npos)
          shown = t;
    }
    ASSERT_FALSE(shown.empty()) << n.name << ": no terrain line drawn";
    if (n.whole) {
      EXPECT_EQ(shown.substr(shown.size() - n.name.size()), n.name);
    } else {
      ASSERT_GE(shown.size(), 3u);
      EXPECT_EQ(shown.substr(shown.size() - 3), "...");
      EXPECT_LE(TextLength(&rp, shown.c_str(), uint32_t(shown.size())), room) << shown;
    }
  }
  SetDrawnTextHook(nullptr, nullptr);
  CloseFont(small);
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  game.join();
  EXPECT_EQ(result.load(), 2);
}

INSTANTIATE_TEST_SUITE_P(Modes, MapPanelsGL,
                         testing::Values(PanelMode{6, 800, 600, "800x600"}, PanelMode{10, 1024, 768, "1024x768"}),
                         [](const testing::TestParamInfo<PanelMode>& i) { return std::string(i.param.name); });

}  // namespace
