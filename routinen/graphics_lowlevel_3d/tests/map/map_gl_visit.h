// The map screen's visit on a real GL context, for the tests of the map in
// OpenGL mode: the visit on a game thread of its own, the window thread's
// frames and the clicks the window would hand the game.
#pragma once
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "platform/events.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/mapdisplay.h"
#include "routinen/map/mapinfo.h"
#include "routinen/map/mapscreen.h"
#include "routinen/map/tests/map_realm.h"
#include "tests/support/test_support.h"

namespace map_gl {

// Draws frames for a while (the window thread's part), then the last one,
// which is read back.
inline std::vector<uint32_t> Frames(uint32_t w, uint32_t h, int n) {
  for (int i = 0; i < n; i++) {
    GLProcessObjektList();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  GLProcessObjektList();
  return gltest::ReadFrame(w, h);
}

// Waits until ready() holds, four minutes at most (real time).
inline bool WaitFor(const std::function<bool()>& ready) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  while (!ready() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return ready();
}

// Starts the map screen's visit on a game thread of its own.
inline std::thread StartVisit(std::atomic<int32_t>& result) {
  // The idle mark of an earlier game thread does not count for this one.
  MarkGameThreadBusy();
  return std::thread([&result] { result = KartenScreen(2, 1); });
}

// Waits until the game thread takes messages: the screen is then built. The
// screen's record belongs to the game thread; it is read here only while
// that thread waits, since the event queue's lock orders what it wrote
// before it waited before what is read after.
inline bool WaitShown() { return WaitGameThreadIdle(240000) && KartenScreenData->Status == MAPSCREEN_SHOWN; }

// Waits until the game thread took what was posted and waits again.
inline void Settle() {
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  WaitGameThreadIdle(240000);
}

// A left click at display point (x, y), as the window hands it on.
inline void Click(int32_t x, int32_t y) {
  PostMouseMessage(kMsgMouseMove, x, y, 0);
  PostMouseMessage(kMsgLeftDown, x, y, kButtonLeft);
  PostMouseMessage(kMsgLeftUp, x, y, 0);
  Settle();
}

// A fixture's set-up: the demo realm installed, the window of ScreenModeTable
// row `mode` with its GL context, the map screen's display and info parts,
// and the engine started on the kit's models and camera, without
// anti-aliasing and weather (two frames differ only where something moved).
// *opened: the window is open (for the tear-down).
inline void OpenDemoMap(uint32_t mode, bool* opened) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Karte1024.dat");
  ASSERT_TRUE(map_test::InstallDemoRealm());
  ASSERT_TRUE(gltest::OpenGLWindow(mode)) << "no GL context on the offscreen driver";
  *opened = true;
  MapScreenHooks h{};
  FillMapDisplayHooks(&h);
  FillMapInfoHooks(&h);
  SetMapScreenHooks(&h);
  std::ofstream("qoe3d.cfg", std::ios::app) << "\nEngine.AntiAlias FALSE\nMap.ActualSeason SUMMER\n";
  StartEngine();
  ASSERT_EQ(Engine()->started, 1u);
  SeedSceneRandom(1);
}

// The tear-down: the map screen's state back to its start, the window closed.
inline void CloseDemoMap(bool opened) {
  if (KartenScreenData->Status == MAPSCREEN_KEPT) KartenScreen(0, 0);
  ReleaseKartenScreenData(KartenScreenData);
  ResetMapScreenState();
  SetMapScreenHooks(nullptr);
  FreeAllElmorGfx();
  if (opened) gltest::CloseGLWindow();
}

// As the player scrolled the demo's map: nine steps right and six up from
// the capital, where the scout on the dungeon's entrance is in sight.
inline void ScrollToTheDungeon() {
  for (int i = 0; i < 9; i++) PostTextMessage('d');
  for (int i = 0; i < 6; i++) PostTextMessage('w');
  Settle();
}

// Ends the visit with Escape when a test stops early.
struct Leave {
  std::thread& game;
  ~Leave() {
    if (!game.joinable()) return;
    for (int i = 0; i < 3; i++) PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
    game.join();
  }
};

}  // namespace map_gl
