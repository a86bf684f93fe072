// The map screen in OpenGL mode on an 800 x 600 display, on a real GL
// context: it draws into its display-sized bitmap, which the frame shows as
// the object list's first entry at (0, 0), pixel for pixel as that bitmap
// (what the 2D renderer shows); behind the next screen's 640 x 480 entry the
// map stays as the backdrop; its release takes the entry away. With the
// engine started the view is the 3D landscape beneath that bitmap, and the
// clicks take their hexes from it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/map/map_gl_visit.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/figurmenu.h"
#include "routinen/map/map.h"
#include "routinen/map/mapaction.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/map_realm.h"
#include "tests/support/test_support.h"

namespace {

constexpr uint32_t kW = 800, kH = 600;

// The bitmap's pixel as 0x00RRGGBB and whether it is opaque.
uint32_t Rgb(const BitMap* bm, uint32_t x, uint32_t y, bool* opaque) {
  const uint8_t* p = bm->Pixels + size_t(y) * bm->BytesPerRow + size_t(x) * 4;
  *opaque = p[3] >= 128;
  return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

std::vector<uint32_t> Frames(int n) { return map_gl::Frames(kW, kH, n); }
using map_gl::Click;
using map_gl::StartVisit;
using map_gl::WaitFor;
using map_gl::WaitShown;

class MapScreenGL : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Karte1024.dat");
    ASSERT_TRUE(map_test::InstallDemoRealm());
    ASSERT_TRUE(gltest::OpenGLWindow(6)) << "no GL context on the offscreen driver";  // 800x600x32 OpenGL
    opened_ = true;
    MapScreenHooks h{};
    FillMapDisplayHooks(&h);
    FillMapInfoHooks(&h);
    SetMapScreenHooks(&h);
  }
  void TearDown() override { map_gl::CloseDemoMap(opened_); }
  bool opened_ = false;
};

TEST_F(MapScreenGL, TheMapShowsAsOnThe2DRendererAndStaysBehindTheNextScreen) {
  ASSERT_EQ(MapScreenPrebuild(), 1);
  std::atomic<int32_t> result{99};
  std::thread game = StartVisit(result);
  const bool shown = WaitShown() && KartenScreenData->Motion;
  if (shown) WaitFor([] { return MotionBusy.load() == 0; });
  // The record is published as on the 2D renderer (for the 3D scene).
  LockMapRecord();
  const bool published = PublishedMap() != nullptr && PublishedMap() == KartenScreenData->map;
  UnlockMapRecord();
  std::vector<uint32_t> frame = Frames(10);
  // The screen's entry is the map's display bitmap, first in the list, at
  // the display's corner.
  ObjektListEntry* map = GLScreenObjekt();
  bool placed = false;
  if (map && map->bitmap)
    placed = map->bitmap->Width == kW && map->bitmap->Height == kH && map->x == 0 && map->y == 0 &&
             Objekt3DListe()->first == &map->head;
  BitMap* bm = map ? map->bitmap : nullptr;
  const ListNode* map_node = map ? &map->head : nullptr;
  uint32_t opaque = 0, same = 0;
  if (placed) {
    for (uint32_t y = 0; y < kH; y++)
      for (uint32_t x = 0; x < kW; x++) {
        bool o;
        const uint32_t want = Rgb(bm, x, y, &o);
        if (!o) continue;
        opaque++;
        same += frame[size_t(y) * kW + x] == want;
      }
  }
  ASSERT_EQ(WritePngRGB("mapscreen_gl_800x600.png", frame.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_gl_800x600.png"));
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  game.join();
  ASSERT_TRUE(shown);
  EXPECT_EQ(result.load(), 2);
  EXPECT_TRUE(published);
  ASSERT_TRUE(placed);
  // The whole display is drawn, and the frame shows the bitmap (the figures'
  // animations may change a few pixels between the upload and the look).
  EXPECT_GT(opaque, kW * kH * 9 / 10);
  EXPECT_GE(same * 100, opaque * 97);

  // The next screen's 640 x 480 entry lies over the map kept as backdrop.
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 2, 0), 1);
  WaitTransition();
  frame = Frames(3);
  ASSERT_EQ(WritePngRGB("mapscreen_gl_behind_800x600.png", frame.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_gl_behind_800x600.png"));
  ObjektListEntry* screen = GLScreenObjekt();
  ASSERT_NE(screen, nullptr);
  EXPECT_NE(screen, map);
  EXPECT_EQ(screen->x, 80);
  EXPECT_EQ(screen->y, 30);
  EXPECT_EQ(Objekt3DListe()->first, map_node);
  bool o;
  EXPECT_EQ(frame[5 * kW + 5], Rgb(bm, 5, 5, &o)) << "the map's frame round the area";
  EXPECT_EQ(frame[size_t(kH - 20) * kW + kW - 20], Rgb(bm, kW - 20, kH - 20, &o));
  EXPECT_EQ(frame[300 * kW + 400], Rgb(screen->bitmap, 320, 270, &o)) << "the screen in the middle";

  // The release takes the map's entry away.
  EXPECT_EQ(KartenScreen(2, 0), -1);
  Frames(1);
  ListNode* n = Objekt3DListe()->first;
  for (uint32_t i = 0; i < Objekt3DListe()->count; i++, n = n->next) EXPECT_NE(n, map_node);
  CloseElmorPic(2, 0);
}

// ---- The 3D view: with the engine's scene ready the map screen opens its
// view on the landscape and takes its clicks from it ----

// A display pixel's place in GL's screen coordinates, as the pick takes it.
int32_t PixelX(float gl_x) { return int32_t(std::lround((gl_x + 1.0f) / 2.0f * float(kW) - 0.5f)); }
int32_t PixelY(float gl_y) { return int32_t(std::lround((1.0f - gl_y) / 2.0f * float(kH) - 0.5f)); }

uint32_t Alpha(const BitMap* bm, uint32_t x, uint32_t y) {
  return bm->Pixels[size_t(y) * bm->BytesPerRow + size_t(x) * 4 + 3];
}

class MapScreenScene : public MapScreenGL {
 protected:
  void SetUp() override {
    MapScreenGL::SetUp();
    if (HasFatalFailure() || IsSkipped()) return;
    // The kit's models and settings, without anti-aliasing (pictures alike
    // on every run).
    std::ofstream("qoe3d.cfg", std::ios::app) << "\nEngine.AntiAlias FALSE\n";
    StartEngine();
    ASSERT_EQ(Engine()->started, 1u);
    SeedSceneRandom(1);
  }
  void TearDown() override {
    MapScreenGL::TearDown();
  }
};

TEST_F(MapScreenScene, TheViewOpensOnTheLandscapeAndAClickMarksTheCellUnderIt) {
  ASSERT_EQ(MapScreenPrebuild(), 1);
  QoEMapInfo* map = KartenScreenData->map;
  ASSERT_NE(map, nullptr);
  // InitPosGL's view: no bitmap of its own, the scene's window of 40 x 36.
  EXPECT_EQ(map->Bitmap, nullptr);
  EXPECT_EQ(map->Columns, 40);
  EXPECT_EQ(map->Rows, 36);
  std::atomic<int32_t> result{99};
  std::thread game = StartVisit(result);
  const bool shown = WaitShown();
  // No motion thread: the figures animate as characters.
  EXPECT_EQ(KartenScreenData->Motion, nullptr);
  EXPECT_DOUBLE_EQ(map->PixelColumn, map->ViewColumn * 48.0);
  EXPECT_DOUBLE_EQ(map->PixelRow, map->ViewRow * 55.424);
  std::vector<uint32_t> frame = Frames(3);
  EXPECT_EQ(MapSceneShowsLandscape(), 1u);
  ASSERT_EQ(WritePngRGB("mapscreen_scene_800x600.png", frame.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_scene_800x600.png"));
  // The display bitmap is transparent over the view, so the landscape
  // shows there; its panels are drawn over it as they are in the bitmap.
  ObjektListEntry* entry = GLScreenObjekt();
  ASSERT_NE(entry, nullptr);
  const BitMap* bm = entry->bitmap;
  ASSERT_EQ(bm->Width, kW);
  EXPECT_EQ(Alpha(bm, 400, 200), 0u);
  bool opaque = false;
  const uint32_t panel = Rgb(bm, kW - 60, kH - 60, &opaque);
  EXPECT_TRUE(opaque);
  EXPECT_EQ(frame[size_t(kH - 60) * kW + kW - 60], panel);
  const uint32_t fog = 0x80ADC0;
  uint32_t land = 0;
  for (uint32_t y = 150; y < 330; y++)
    for (uint32_t x = 150; x < 650; x++) land += frame[size_t(y) * kW + x] != fog;
  EXPECT_GT(land, 150u * 500u * 3 / 4);

  // A click beside the landscape (no cell within half a cell's width)
  // takes no hex: nothing changes.
  int32_t bx = -1, by = -1;
  for (int32_t y = 24; y < 340 && bx < 0; y += 4)
    for (int32_t x = 100; x < 700 && bx < 0; x += 8)
      if (IsInMapArea(x, y, x, y) && !MapScenePick(x, y, nullptr, nullptr)) bx = x, by = y;
  ASSERT_GE(bx, 0) << "no place beside the landscape in the map area";
  // (The hex of the last click, the town's at the start, is marked.)
  const int16_t x_pos = KartenScreenData->X_Pos, y_pos = KartenScreenData->Y_Pos;
  const int16_t marked_column = KartenScreenData->MarkedColumn, marked_row = KartenScreenData->MarkedRow;
  int32_t engine_column, engine_row;
  {
    std::lock_guard<std::mutex> hold(GL3D().pick_lock);
    engine_column = GL3D().marked_column;
    engine_row = GL3D().marked_row;
  }
  EXPECT_EQ(engine_column, marked_column < 0 ? -1 : map->ViewColumn + marked_column);
  EXPECT_EQ(engine_row, marked_row < 0 ? -1 : map->ViewRow + marked_row);
  Click(bx, by);
  EXPECT_EQ(KartenScreenData->X_Pos, x_pos);
  EXPECT_EQ(KartenScreenData->Y_Pos, y_pos);
  EXPECT_EQ(KartenScreenData->MarkedColumn, marked_column);
  EXPECT_EQ(KartenScreenData->MarkedRow, marked_row);
  {
    std::lock_guard<std::mutex> hold(GL3D().pick_lock);
    EXPECT_EQ(GL3D().marked_column, engine_column);
    EXPECT_EQ(GL3D().marked_row, engine_row);
  }

  // A click on a cell's projected centre marks that hex, for a few camera
  // settings.
  struct Camera {
    float rotation, flip, scale;
  };
  const Camera cameras[] = {{38.0f, 30.0f, 0.3f}, {0.0f, 60.0f, 0.6f}, {120.0f, 45.0f, 1.2f}, {300.0f, 80.0f, 0.4f}};
  int32_t last_column = -1, last_row = -1;
  for (const Camera& cam : cameras) {
    SetViewRotation(cam.rotation, 1);
    SetViewFlip(cam.flip, 1);
    SetViewScale(cam.scale, 1);
    Frames(1);
    // A visible cell in the map area away from the edges, not the one
    // marked before.
    MapPick want{};
    want.column = want.row = -1;
    {
      std::lock_guard<std::mutex> hold(GL3D().pick_lock);
      for (uint32_t i = 0; i < GL3D().pick_count && want.column < 0; i++) {
        const MapPick& p = GL3D().picks[i];
        const int32_t x = PixelX(p.x), y = PixelY(p.y);
        // A hex the player knows: an unknown one takes no mark.
        const bool known = IsHexKnown(map, int16_t(p.column - map->ViewColumn), uint16_t(p.row - map->ViewRow));
        if (x > 120 && x < 680 && y > 60 && y < 330 && IsInMapArea(x, y, x, y) && (p.max_x - p.min_x) * kW / 2 > 18 && known &&
            (p.column != last_column || p.row != last_row))
          want = p;
      }
    }
    ASSERT_GE(want.column, 0) << "rotation " << cam.rotation;
    Click(PixelX(want.x), PixelY(want.y));
    EXPECT_EQ(KartenScreenData->X_Pos, want.column - map->ViewColumn) << "rotation " << cam.rotation;
    EXPECT_EQ(KartenScreenData->Y_Pos, want.row - map->ViewRow);
    EXPECT_EQ(KartenScreenData->MarkedColumn, KartenScreenData->X_Pos);
    EXPECT_EQ(KartenScreenData->MarkedRow, KartenScreenData->Y_Pos);
    // The next frame selects the marked hex (beside the focus cell).
    Frames(0);
    const MapSceneState* m = MapScene();
    EXPECT_EQ(m->selected_column, want.column);
    EXPECT_EQ(m->selected_row, want.row);
    const MapFrameCopy& c = E3D().map_copy;
    const uint32_t k = uint32_t(want.column - c.view_column), r = uint32_t(want.row - c.view_row);
    ASSERT_LT(k, 40u);
    ASSERT_LT(r, 36u);
    EXPECT_EQ(m->cells[r * 40 + k].selected, 1);
    last_column = want.column;
    last_row = want.row;
  }
  frame = Frames(1);
  ASSERT_EQ(WritePngRGB("mapscreen_scene_marked_800x600.png", frame.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_scene_marked_800x600.png"));
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  game.join();
  ASSERT_TRUE(shown);
  EXPECT_EQ(result.load(), 2);
}

// The names switch in OpenGL mode: the towns' names drawn into the map's
// display bitmap show in the frame, with the dark and light edges round them
// (a picture to look at); png names the file.
void ShowNames(const char* png) {
  std::atomic<int32_t> result{99};
  std::thread game = StartVisit(result);
  const bool shown = WaitShown();
  if (shown && KartenScreenData->Motion) WaitFor([] { return MotionBusy.load() == 0; });
  const std::vector<uint32_t> before = Frames(3);
  Click(133, int32_t(kH) - 150);  // SYMB
  if (KartenScreenData->Motion) WaitFor([] { return MotionBusy.load() == 0; });
  const std::vector<uint32_t> after = Frames(3);
  const bool on = KartenScreenData->NamesOverlay != 0;
  ASSERT_EQ(WritePngRGB(png, after.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  game.join();
  ASSERT_TRUE(shown);
  EXPECT_EQ(result.load(), 2);
  EXPECT_TRUE(on);
  // Somewhere in the map's middle the frame shows the light edge, white
  // (pen 1 of the kit's palette), beside the dark one, where it did not
  // before.
  uint32_t edges = 0;
  for (uint32_t y = 60; y < kH - 260; y++)
    for (uint32_t x = 200; x < kW - 60; x++) {
      const size_t at = size_t(y) * kW + x;
      edges += after[at] != before[at] && (after[at] & 0xF0F0F0) == 0xF0F0F0 && (after[at + 1] & 0xF0F0F0) == 0;
    }
  EXPECT_GT(edges, 5u);
}

TEST_F(MapScreenGL, TheNamesSwitchShowsTheTownsNamesOnTheMap) {
  ASSERT_EQ(MapScreenPrebuild(), 1);
  ShowNames("mapscreen_gl_names_800x600.png");
}


// The figure menu's order for the pick below: a move.
int32_t MoveOrder(KartenScreenRecord* d) {
  if (!d->SelectedFigure) return 0;
  d->SelectedFigure->Status = 10;
  return 1;
}

// Whether the map shows its range (a target being picked), read under the
// map lock as the frame reads it; with the window hexes within reach.
bool RangeShown(std::vector<std::pair<int32_t, int32_t>>* hexes = nullptr) {
  LockMapRecord();
  const QoEMapInfo* map = PublishedMap();
  const bool shown = map && (map->Flags & MAPF_RANGE) && map->ReachMap;
  if (shown && hexes)
    for (int32_t r = 0; r < 120; r++)
      for (int32_t c = 0; c < 240; c++)
        if ((map->ReachMap[r * 30 + c / 8] >> (c & 7)) & 1) hexes->push_back({c, r});
  UnlockMapRecord();
  return shown;
}

TEST_F(MapScreenScene, WhileATargetIsPickedTheHexesWithinReachAreMarkedOnTheLandscape) {
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  FillMapInfoHooks(&h);
  FillMapActionHooks(&h);
  h.FigurMenu = MoveOrder;
  SetMapScreenHooks(&h);
  // No weather, so that two frames differ only by what moves on the hexes.
  std::ofstream("qoe3d.cfg", std::ios::app) << "\nMap.ActualSeason SUMMER\n";
  StopEngine();
  StartEngine();
  ASSERT_EQ(Engine()->started, 1u);
  SeedSceneRandom(1);
  ASSERT_EQ(MapScreenPrebuild(), 1);
  QoEMapInfo* map = KartenScreenData->map;
  ASSERT_NE(map, nullptr);
  std::atomic<int32_t> result{99};
  std::thread game = StartVisit(result);
  map_gl::Leave leave{game};
  ASSERT_TRUE(WaitShown());
  // The own army 14 stands in Elmor (6398, 3199): a camera that shows its
  // cell in the map area, and the cell selected.
  const int32_t army_column = map->ViewColumn + (6398 - map->X), army_row = map->ViewRow + (3199 - map->Y);
  MapPick army{};
  army.column = army.row = -1;
  for (float flip : {30.0f, 45.0f, 60.0f, 75.0f}) {
    SetViewFlip(flip, 1);
    SetViewScale(0.35f, 1);
    Frames(1);
    std::lock_guard<std::mutex> hold(GL3D().pick_lock);
    for (uint32_t i = 0; i < GL3D().pick_count; i++) {
      const MapPick& p = GL3D().picks[i];
      const int32_t x = PixelX(p.x), y = PixelY(p.y);
      if (p.column == army_column && p.row == army_row && y > 60 && y < 330 && IsInMapArea(x, y, x, y)) army = p;
    }
    if (army.column >= 0) break;
  }
  ASSERT_GE(army.column, 0) << "the army's hex is not in sight";
  for (int i = 0; i < 2 && !KartenScreenData->FigureSelected; i++) Click(PixelX(army.x), PixelY(army.y));
  ASSERT_TRUE(KartenScreenData->FigureSelected);
  ASSERT_NE(KartenScreenData->SelectedFigure, nullptr);
  EXPECT_EQ(KartenScreenData->SelectedFigure->Nummer, 14);
  const std::vector<uint32_t> before = Frames(1);
  for (uint32_t i = 0; i < 1440; i++) EXPECT_EQ(MapScene()->cells[i].reach, 0) << i;

  // The right button: the figure menu's move, and the target is picked.
  PostMouseMessage(kMsgRightDown, PixelX(army.x), PixelY(army.y), kButtonRight);
  PostMouseMessage(kMsgRightUp, PixelX(army.x), PixelY(army.y), 0);
  ASSERT_TRUE(WaitFor([] { return RangeShown(); }));
  WaitGameThreadIdle(240000);
  std::vector<std::pair<int32_t, int32_t>> hexes;
  ASSERT_TRUE(RangeShown(&hexes));
  ASSERT_GT(hexes.size(), 3u);
  const std::vector<uint32_t> picking = Frames(1);
  ASSERT_EQ(WritePngRGB("mapscreen_scene_reach_800x600.png", picking.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_scene_reach_800x600.png"));
  // Exactly the hexes within reach are marked in the scene's window.
  const MapFrameCopy& c = E3D().map_copy;
  const MapSceneState* m = MapScene();
  std::vector<std::pair<int32_t, int32_t>> marked, wanted;
  for (uint32_t i = 0; i < 1440; i++)
    if (m->cells[i].reach) marked.push_back({c.view_column + int32_t(i % 40), c.view_row + int32_t(i / 40)});
  for (const auto& [hc, hr] : hexes)
    if (hc >= c.view_column && hc < c.view_column + 40 && hr >= c.view_row && hr < c.view_row + 36)
      wanted.push_back({hc, hr});
  std::sort(marked.begin(), marked.end());
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(marked, wanted);
  // On the screen: the hexes within reach look different from the frame
  // before the pick, the others do not (a moving character or smoke may
  // lie over a few of them). The army's own hex is no target.
  // How many of five pixels round a cell's centre differ between two
  // frames (a character or smoke may cover a few of them).
  auto differing = [&](uint32_t i, const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    const int32_t x = PixelX(m->centres[i][0]), y = PixelY(m->centres[i][1]);
    static const int32_t kAround[5][2] = {{0, 0}, {-8, 0}, {8, 0}, {0, -5}, {0, 5}};
    int n = 0;
    for (const auto& d : kAround) {
      const int32_t px = std::clamp(x + d[0], 0, int32_t(kW) - 1), py = std::clamp(y + d[1], 0, int32_t(kH) - 1);
      n += a[size_t(py) * kW + size_t(px)] != b[size_t(py) * kW + size_t(px)];
    }
    return n;
  };
  // A visible cell whose centre lies in the map area.
  auto shown = [&](uint32_t i) {
    const int32_t x = PixelX(m->centres[i][0]), y = PixelY(m->centres[i][1]);
    return m->cells[i].visibility == 1 && x >= 0 && y >= 0 && x < int32_t(kW) && y < int32_t(kH) &&
           IsInMapArea(x, y, x, y);
  };
  uint32_t within = 0, changed = 0, outside = 0, kept = 0;
  for (uint32_t i = 0; i < 1440; i++) {
    if (!shown(i)) continue;
    if (m->cells[i].reach) {
      within++;
      changed += differing(i, picking, before) >= 3;
    } else {
      outside++;
      kept += differing(i, picking, before) <= 1;
    }
  }
  EXPECT_GT(within, 3u);
  EXPECT_GT(outside, 100u);
  EXPECT_GE(changed * 10, within * 9) << changed << " of " << within;
  EXPECT_GE(kept * 100, outside * 95) << kept << " of " << outside;
  EXPECT_EQ(m->cells[(army_row - c.view_row) * 40 + (army_column - c.view_column)].reach, 0);

  // Escape ends the pick: the marks go.
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  ASSERT_TRUE(WaitFor([] { return !RangeShown(); }));
  WaitGameThreadIdle(240000);
  const std::vector<uint32_t> after = Frames(1);
  ASSERT_EQ(WritePngRGB("mapscreen_scene_reach_after_800x600.png", after.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_scene_reach_after_800x600.png"));
  uint32_t marks = 0, back = 0;
  for (uint32_t i = 0; i < 1440; i++) marks += m->cells[i].reach;
  EXPECT_EQ(marks, 0u);
  for (uint32_t i = 0; i < 1440; i++) {
    if (!shown(i)) continue;
    const bool was = std::find(marked.begin(), marked.end(),
                               std::make_pair(c.view_column + int32_t(i % 40), c.view_row + int32_t(i / 40))) !=
                     marked.end();
    if (was) back += differing(i, after, before) <= 1;
  }
  EXPECT_GE(back * 10, within * 9) << back << " of " << within;
  // The screen is left as before.
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  game.join();
  EXPECT_EQ(result.load(), 2);
}

// The display bitmap's pixels (RGBA bytes), read while the game thread waits.
std::vector<uint8_t> BitmapBytes() {
  std::vector<uint8_t> out;
  ObjektListEntry* entry = GLScreenObjekt();
  if (!entry || !entry->bitmap) return out;
  const BitMap* bm = entry->bitmap;
  for (uint32_t y = 0; y < bm->Height; y++)
    out.insert(out.end(), bm->Pixels + size_t(y) * bm->BytesPerRow, bm->Pixels + size_t(y) * bm->BytesPerRow + bm->Width * 4);
  return out;
}

// The box of the pixels that differ between two bitmaps: x0, y0, x1, y1
// (x1 < x0 when none does).
std::array<int32_t, 4> Changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  std::array<int32_t, 4> box{int32_t(kW), int32_t(kH), -1, -1};
  for (uint32_t y = 0; y < kH && a.size() == b.size() && a.size() >= kW * kH * 4; y++)
    for (uint32_t x = 0; x < kW; x++)
      if (std::memcmp(&a[(size_t(y) * kW + x) * 4], &b[(size_t(y) * kW + x) * 4], 4) != 0) {
        box[0] = std::min(box[0], int32_t(x));
        box[1] = std::min(box[1], int32_t(y));
        box[2] = std::max(box[2], int32_t(x));
        box[3] = std::max(box[3], int32_t(y));
      }
  return box;
}

// A right click opens the field menu, and with the own army selected the
// figure menu, with its corner at the clicked hex's projected centre (as the
// 2D map opens them at its hex), not at the display's far corner.
TEST_F(MapScreenScene, TheMenusOpenAtTheClickedHexOnTheLandscape) {
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  FillMapInfoHooks(&h);
  FillMapActionHooks(&h);
  FillMapMenuHooks(&h);
  SetMapScreenHooks(&h);
  std::ofstream("qoe3d.cfg", std::ios::app) << "\nMap.ActualSeason SUMMER\n";
  StopEngine();
  StartEngine();
  ASSERT_EQ(Engine()->started, 1u);
  ASSERT_EQ(MapScreenPrebuild(), 1);
  QoEMapInfo* map = KartenScreenData->map;
  ASSERT_NE(map, nullptr);
  std::atomic<int32_t> result{99};
  std::thread game = StartVisit(result);
  map_gl::Leave leave{game};
  ASSERT_TRUE(WaitShown());
  const int32_t army_column = map->ViewColumn + (6398 - map->X), army_row = map->ViewRow + (3199 - map->Y);
  // A known hex without the army and the army's hex, their centres in the
  // map area with room for a menu beside and below them.
  MapPick field{}, army{};
  for (float flip : {30.0f, 45.0f, 60.0f, 75.0f}) {
    SetViewFlip(flip, 1);
    SetViewScale(0.35f, 1);
    Frames(1);
    field.column = army.column = -1;
    std::lock_guard<std::mutex> hold(GL3D().pick_lock);
    for (uint32_t i = 0; i < GL3D().pick_count; i++) {
      const MapPick& p = GL3D().picks[i];
      const int32_t x = PixelX(p.x), y = PixelY(p.y);
      if (x < 100 || x > 560 || y < 40 || y > 320 || !IsInMapArea(x, y, x, y) ||
          !IsInMapArea(x + 79, y + 36, x + 79, y + 36))
        continue;
      if (p.column == army_column && p.row == army_row) army = p;
      else if (field.column < 0 && IsHexKnown(map, int16_t(p.column - map->ViewColumn), uint16_t(p.row - map->ViewRow)) &&
               std::abs(p.column - army_column) + std::abs(p.row - army_row) > 4)
        field = p;
    }
    if (army.column >= 0 && field.column >= 0) break;
  }
  ASSERT_GE(field.column, 0);
  ASSERT_GE(army.column, 0) << "the army's hex is not in sight";
  struct Case {
    MapPick hex;
    bool figure;
    const char* png;
  };
  for (const Case& c : {Case{field, false, "mapscreen_scene_fieldmenu_800x600.png"},
                        Case{army, true, "mapscreen_scene_figuremenu_800x600.png"}}) {
    const int32_t x = PixelX(c.hex.x), y = PixelY(c.hex.y);
    Click(x, y);
    if (c.figure && !KartenScreenData->FigureSelected) Click(x, y);
    ASSERT_EQ(KartenScreenData->X_Pos, c.hex.column - map->ViewColumn);
    ASSERT_EQ(KartenScreenData->Y_Pos, c.hex.row - map->ViewRow);
    ASSERT_EQ(KartenScreenData->FigureSelected != 0, c.figure);
    Frames(1);
    int32_t hx = -1, hy = -1;
    ASSERT_EQ(MapSceneCellPixel(c.hex.column, c.hex.row, &hx, &hy), 1);
    const std::vector<uint8_t> before = BitmapBytes();
    PostMouseMessage(kMsgRightDown, x, y, kButtonRight);
    PostMouseMessage(kMsgRightUp, x, y, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WaitGameThreadIdle(240000);
    const std::vector<uint8_t> open = BitmapBytes();
    const std::vector<uint32_t> frame = Frames(1);
    ASSERT_EQ(WritePngRGB(c.png, frame.data(), kW, kH), 1);
    EXPECT_TRUE(qoe_test::KeepPng(c.png));
    PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WaitGameThreadIdle(240000);
    const std::vector<uint8_t> closed = BitmapBytes();
    // The menu's rows, 80 pixels wide, start at the hex's centre.
    const std::array<int32_t, 4> box = Changed(before, open);
    ASSERT_GE(box[2], box[0]) << "no menu was drawn";
    EXPECT_NEAR(box[0], hx, 1) << c.png;
    EXPECT_NEAR(box[1], hy, 1) << c.png;
    EXPECT_LE(box[2] - box[0], 80) << c.png;
    EXPECT_EQ((box[3] - box[1] + 1) % 12, 0) << c.png;
    // Closed, it leaves the landscape see-through there again.
    uint32_t left = 0;
    for (int32_t y = box[1]; y <= box[3]; y++)
      for (int32_t x = box[0]; x <= box[2]; x++) {
        const size_t at = (size_t(y) * kW + size_t(x)) * 4;
        left += std::memcmp(&before[at], &closed[at], 4) != 0;
      }
    EXPECT_EQ(left, 0u) << c.png;
  }
}

TEST_F(MapScreenScene, AScreenWithATransparentMiddleShowsTheLandscapeThroughIt) {
  // The map built in advance is published: the landscape lies beneath
  // every screen.
  ASSERT_EQ(MapScreenPrebuild(), 1);
  // Picture 3 as the screen: its view area is its transparent hole.
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 3, 1), 1);
  ObjektListEntry* screen = GLScreenObjekt();
  ASSERT_NE(screen, nullptr);
  const BitMap* bm = screen->bitmap;
  ASSERT_EQ(bm->Width, 640u);
  uint32_t clear = 0, solid = 0;
  for (uint32_t y = 0; y < 480; y++)
    for (uint32_t x = 0; x < 640; x++) (Alpha(bm, x, y) == 0 ? clear : solid)++;
  EXPECT_GT(clear, 400u * 400u);
  EXPECT_GT(solid, 40000u);
  std::vector<uint32_t> with = Frames(2);
  ASSERT_EQ(WritePngRGB("mapscreen_scene_through_800x600.png", with.data(), kW, kH), 1);
  EXPECT_TRUE(qoe_test::KeepPng("mapscreen_scene_through_800x600.png"));
  SetObjektVisible3D(screen, 0);
  std::vector<uint32_t> without = Frames(2);
  SetObjektVisible3D(screen, 1);
  // Through the hole the frame shows the landscape as without the screen;
  // elsewhere the picture.
  uint32_t hole = 0, same = 0, picture = 0, drawn = 0;
  for (uint32_t y = 0; y < 480; y++)
    for (uint32_t x = 0; x < 640; x++) {
      const size_t at = size_t(y + screen->y) * kW + x + screen->x;
      bool o;
      const uint32_t px = Rgb(bm, x, y, &o);
      if (Alpha(bm, x, y) == 0) {
        hole++;
        same += with[at] == without[at];
      } else {
        picture++;
        drawn += with[at] == px;
      }
    }
  // (Smoke, fire and the characters move between two frames.)
  EXPECT_GE(same * 100, hole * 85);
  EXPECT_GE(drawn * 100, picture * 95);
  CloseElmorPic(3, 0);
}

}  // namespace
