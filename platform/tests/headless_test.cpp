#include "platform/headless.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend.h"
#include "platform/cursor.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/pngfile.h"
#include "platform/screenmode.h"
#include "platform/threads.h"
#include "tests/support/log_lines.h"

namespace {

struct Recorder {
  std::vector<PlatformMessage> got;
  std::vector<uint64_t> clock;  // virtual time when each message was taken
  bool start_tick = false;
};

// A game thread that records every message until a quit or Escape.
int RecordingGame(void* p) {
  auto* r = static_cast<Recorder*>(p);
  if (r->start_tick) StartEventTimer(kTimerGameTick, kGameTickMs);
  PlatformMessage m;
  while (GetGameMessage(&m, -1)) {
    r->got.push_back(m);
    r->clock.push_back(HeadlessNowMs());
    if (m.kind == kMsgQuit || (m.kind == kMsgKeyDown && m.key == kKeyEscape)) break;
  }
  StopEventTimer(kTimerGameTick);
  return 5;
}

class HeadlessThread : public ::testing::Test {
 protected:
  void SetUp() override { DebugLogSetStderr(0); }
  void TearDown() override {
    HeadlessCloseDisplay();
    DebugLogSetStderr(1);
  }
};

void Fill32(PlatformSurface* s, int x0, int y0, int w, int h, uint32_t colour) {
  for (int y = y0; y < y0 + h; y++)
    for (int x = x0; x < x0 + w; x++) std::memcpy(s->pixels + y * s->pitch + x * 4, &colour, 4);
}

}  // namespace

TEST_F(HeadlessThread, ScriptedInputArrivesInOrderWithCodesAndPositions) {
  ASSERT_EQ(HeadlessOpenDisplay(4), 1);  // 800x600x32 windowed
  Recorder r;
  const char* script =
      "move 100 200\n"
      "click left 101 202   # press and release\n"
      "press right 5 6; release right 7 8\n"
      "key a\n"
      "key left\n"
      "keydown kpenter\n"
      "text \"\xC3\xB6!\"\n"
      "app 42\n"
      "tick 1\n"
      "key esc\n";
  EXPECT_EQ(HeadlessRunGame(script, RecordingGame, &r), 5);
  struct Want {
    uint32_t kind, key, ext, ch;
    int32_t x, y;
    uint32_t buttons;
  };
  const Want want[] = {
      {kMsgMouseMove, 0, 0, 0, 100, 200, 0},
      {kMsgLeftDown, 0, 0, 0, 101, 202, kButtonLeft},
      {kMsgLeftUp, 0, 0, 0, 101, 202, 0},
      {kMsgRightDown, 0, 0, 0, 5, 6, kButtonRight},
      {kMsgRightUp, 0, 0, 0, 7, 8, 0},
      {kMsgKeyDown, 'A', 0, 0, 0, 0, 0},
      {kMsgText, 0, 0, 'a', 0, 0, 0},
      {kMsgKeyUp, 'A', 0, 0, 0, 0, 0},
      {kMsgKeyDown, kKeyLeft, 1, 0, 0, 0, 0},
      {kMsgKeyUp, kKeyLeft, 1, 0, 0, 0, 0},
      {kMsgKeyDown, kKeyEnter, 1, 13, 0, 0, 0},
      {kMsgText, 0, 0, 0xF6, 0, 0, 0},
      {kMsgText, 0, 0, '!', 0, 0, 0},
      {kMsgApp, 0, 0, 0, 0, 0, 0},
      {kMsgTimer, 0, 0, 0, 0, 0, 0},
      {kMsgKeyDown, kKeyEscape, 0, 27, 0, 0, 0},
  };
  ASSERT_EQ(r.got.size(), std::size(want));
  for (size_t i = 0; i < r.got.size(); i++) {
    const PlatformMessage& m = r.got[i];
    EXPECT_EQ(m.kind, want[i].kind) << i;
    EXPECT_EQ(m.key, want[i].key) << i;
    EXPECT_EQ(m.extended, want[i].ext) << i;
    EXPECT_EQ(m.ch, want[i].ch) << i;
    EXPECT_EQ(m.x, want[i].x) << i;
    EXPECT_EQ(m.y, want[i].y) << i;
    EXPECT_EQ(m.buttons, want[i].buttons) << i;
  }
  EXPECT_EQ(r.got[13].param, 42u);
  EXPECT_EQ(r.got[14].timer, uint32_t{kTimerCursor});
}

// A held key (keydown .. keyup, hold) repeats at the keyboard's pace on the
// script's clock: the press with its character, the first repeat
// kKeyRepeatDelayMs later, then one every kKeyRepeatIntervalMs, each a key
// down marked as a repeat with its character again, until the release.
TEST_F(HeadlessThread, AHeldKeyRepeatsAtItsPaceUntilItIsReleased) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  EXPECT_EQ(HeadlessRunGame("keydown a\nwait 1000\nkeyup a\nwait 1000\nhold left 600\nkey esc\n", RecordingGame, &r),
            5);
  struct Want {
    uint32_t kind, key, ch, repeat;
    uint64_t at;
  };
  std::vector<Want> want = {{kMsgKeyDown, 'A', 0, 0, 0}, {kMsgText, 'A', 'a', 0, 0}};
  for (uint64_t t = kKeyRepeatDelayMs; t <= 1000; t += kKeyRepeatIntervalMs) {
    want.push_back({kMsgKeyDown, 'A', 0, 1, t});
    want.push_back({kMsgText, 'A', 'a', 1, t});
  }
  want.push_back({kMsgKeyUp, 'A', 0, 0, 1000});
  // Nothing while no key is held; then the arrow, 600 ms.
  want.push_back({kMsgKeyDown, kKeyLeft, 0, 0, 2000});
  for (uint64_t t = 2000 + kKeyRepeatDelayMs; t <= 2600; t += kKeyRepeatIntervalMs)
    want.push_back({kMsgKeyDown, kKeyLeft, 0, 1, t});
  want.push_back({kMsgKeyUp, kKeyLeft, 0, 0, 2600});
  want.push_back({kMsgKeyDown, kKeyEscape, 27, 0, 2600});
  EXPECT_EQ(want.size(), 2u + 2u * 13u + 1u + 1u + 3u + 1u + 1u);
  ASSERT_EQ(r.got.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) {
    const PlatformMessage& m = r.got[i];
    EXPECT_EQ(m.kind, want[i].kind) << i;
    EXPECT_EQ(m.key, want[i].key) << i;
    EXPECT_EQ(m.ch, want[i].ch) << i;
    EXPECT_EQ(m.repeat, want[i].repeat) << i;
    EXPECT_EQ(r.clock[i], want[i].at) << i;
  }
}

// The gadget command clicks the middle of the first of its IDs that the walk
// hooks offer, of the layout handled last; an ID offered by no layout clicks
// nothing; '_' stands for a space.
TEST_F(HeadlessThread, TheGadgetCommandClicksTheNamedGadgetOfTheLastLayout) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  static uint32_t clicked_index = 99;
  WalkHooks hooks{};
  hooks.targets = [](WalkTarget* out, uint32_t max) -> uint32_t {
    static const WalkTarget kOffered[] = {
        {10, 10, 30, 20, 0, "EXIT", 2},   // an older layout's EXIT
        {100, 200, 140, 220, 0, "EXIT", 0},
        {300, 300, 310, 310, 0, "MAP ", 0},
        {50, 60, 70, 80, 0, "STAD", 1},
    };
    uint32_t n = 0;
    for (const WalkTarget& t : kOffered)
      if (n < max) out[n++] = t;
    return n;
  };
  hooks.clicked = [](uint32_t index) { clicked_index = index; };
  SetWalkHooks(&hooks);
  Recorder r;
  EXPECT_EQ(HeadlessRunGame("gadget EXIT\ngadget NONE STAD EXIT\ngadget NONE\ngadget MAP_\nkey esc\n", RecordingGame, &r),
            5);
  SetWalkHooks(nullptr);
  std::vector<std::pair<int32_t, int32_t>> downs;
  for (const PlatformMessage& m : r.got)
    if (m.kind == kMsgLeftDown) downs.push_back({m.x, m.y});
  EXPECT_EQ(downs, (std::vector<std::pair<int32_t, int32_t>>{{120, 210}, {60, 70}, {305, 305}}));
  EXPECT_EQ(clicked_index, 2u);
}

namespace {

// A game that counts the Escapes and pointer moves it takes, until an app
// message; the walk hooks below offer the gadget TREE once it took
// g_home_after Escapes and g_ready_after moves (a screen still starting),
// and a message box waits above it until g_box_until Escapes.
std::atomic<int> g_escapes{0}, g_moves{0};
int g_home_after = 0, g_ready_after = 0, g_box_until = 0;

int EscapeCountingGame(void*) {
  PlatformMessage m;
  while (GetGameMessage(&m, -1) && m.kind != kMsgApp) {
    if (m.kind == kMsgKeyDown && m.key == kKeyEscape) g_escapes++;
    if (m.kind == kMsgMouseMove) g_moves++;
  }
  return 5;
}

}  // namespace

// escape-to presses Escape until the walk hooks offer one of its IDs, and
// not once more; at most 20 times when none comes, logged either way. A
// screen that offers it only after a few looks (still starting) takes no
// Escape; a message box waiting above it takes one.
TEST_F(HeadlessThread, EscapeToPressesEscapeUntilTheGadgetIsOffered) {
  struct Case {
    const char* script;
    int home_after, ready_after, box_until, escapes;
    const char* logged;
  } cases[] = {
      {"escape-to TREE\napp 1\n", 0, 0, 0, 0, "Headless: Gadget TREE nach 0 mal Escape angeboten"},
      {"escape-to TREE\napp 1\n", 3, 0, 0, 3, "Headless: Gadget TREE nach 3 mal Escape angeboten"},
      {"escape-to NONE TREE\napp 1\n", 5, 0, 0, 5, "Headless: Gadget NONE TREE nach 5 mal Escape angeboten"},
      {"escape-to TREE\napp 1\n", 1000, 0, 0, 20, "Headless: Kein Gadget TREE nach 20 mal Escape angeboten"},
      {"escape-to TREE\napp 1\n", 0, 3, 0, 0, "Headless: Gadget TREE nach 0 mal Escape angeboten"},
      {"escape-to TREE\napp 1\n", 0, 0, 1, 1, "Headless: Gadget TREE nach 1 mal Escape angeboten"},
  };
  WalkHooks hooks{};
  hooks.box_waits = []() -> int32_t { return g_escapes.load() < g_box_until ? 1 : 0; };
  hooks.targets = [](WalkTarget* out, uint32_t max) -> uint32_t {
    if (max < 2) return 0;
    out[0] = {10, 10, 30, 20, 0, "EXIT", 0};
    if (g_escapes.load() < g_home_after || g_moves.load() < g_ready_after) return 1;
    out[1] = {100, 200, 140, 220, 0, "TREE", 0};
    return 2;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    SetWalkHooks(&hooks);
    g_escapes = 0;
    g_moves = 0;
    g_home_after = c.home_after;
    g_ready_after = c.ready_after;
    g_box_until = c.box_until;
    qoe_test::LogLines log;
    EXPECT_EQ(HeadlessRunGame(c.script, EscapeCountingGame, nullptr), 5);
    SetWalkHooks(nullptr);
    EXPECT_EQ(g_escapes.load(), c.escapes);
    EXPECT_TRUE(log.Has(c.logged));
    HeadlessCloseDisplay();
  }
}

TEST_F(HeadlessThread, TicksArriveEvery100msOfVirtualTime) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  r.start_tick = true;
  // The game starts its tick at virtual 0; the cursor timer runs from 50 ms.
  EXPECT_EQ(HeadlessRunGame("wait 50\ntimer 1 400\nwait 950\nkey esc\n", RecordingGame, &r), 5);
  std::vector<uint64_t> ticks, blinks;
  for (const auto& m : r.got) {
    if (m.kind != kMsgTimer) continue;
    (m.timer == kTimerGameTick ? ticks : blinks).push_back(m.time_ms);
  }
  ASSERT_EQ(ticks.size(), 10u);
  for (size_t i = 0; i < ticks.size(); i++) EXPECT_EQ(ticks[i], 100 * (i + 1));
  ASSERT_EQ(blinks.size(), 2u);
  EXPECT_EQ(blinks[0], 450u);
  EXPECT_EQ(blinks[1], 850u);
  // Each tick reached the game before virtual time moved on.
  for (size_t i = 0; i < r.got.size(); i++) {
    if (r.got[i].kind == kMsgTimer) {
      EXPECT_EQ(r.clock[i], r.got[i].time_ms);
    }
  }
  EXPECT_EQ(HeadlessNowMs(), 1000u);
  EXPECT_EQ(r.got.back().kind, kMsgKeyDown);
}

// What a busy game thread starts on a tick is due from the time of that
// tick: the script's clock waits for the game before it looks for the next
// due time, however long the game takes in real time (a busy machine) and
// even when no clock thread ran while it worked.
namespace {

struct LateStart {
  bool clock_thread;           // the game starts a clock thread, else a timer
  uint64_t first_seen = 0;     // virtual time its first step came
  std::thread helper;
};

int SlowGame(void* p) {
  auto* s = static_cast<LateStart*>(p);
  StartEventTimer(kTimerGameTick, kGameTickMs);
  PlatformMessage m;
  bool started = false;
  while (GetGameMessage(&m, -1)) {
    if (m.kind == kMsgQuit || (m.kind == kMsgKeyDown && m.key == kKeyEscape)) break;
    if (m.kind == kMsgTimer && m.timer == kTimerCursor && !s->first_seen) s->first_seen = HeadlessNowMs();
    if (m.kind != kMsgTimer || m.timer != kTimerGameTick || started) continue;
    started = true;
    // The first tick takes a while on a busy machine.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (s->clock_thread) {
      BeginClockThread();
      s->helper = std::thread([s] {
        SleepPlatformMs(12, nullptr);
        s->first_seen = HeadlessNowMs();
        EndClockThread();
      });
    } else {
      StartEventTimer(kTimerCursor, 30);
    }
  }
  StopEventTimer(kTimerGameTick);
  StopEventTimer(kTimerCursor);
  if (s->helper.joinable()) s->helper.join();
  return 5;
}

}  // namespace

TEST_F(HeadlessThread, WhatASlowTickStartsIsDueFromTheTick) {
  struct Case {
    const char* name;
    bool clock_thread;
    uint64_t due;
  };
  const Case cases[] = {{"a clock thread sleeping 12 ms", true, 112}, {"a timer of 30 ms", false, 130}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    LateStart s;
    s.clock_thread = c.clock_thread;
    EXPECT_EQ(HeadlessRunGame("wait 300\nkey esc\n", SlowGame, &s), 5);
    EXPECT_EQ(s.first_seen, c.due);
    HeadlessCloseDisplay();
  }
}

TEST_F(HeadlessThread, ScriptEndPostsQuitAndBadLineStops) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  EXPECT_EQ(HeadlessRunGame("move 1 2\nfrobnicate 3\nmove 4 5\n", RecordingGame, &r), 5);
  ASSERT_EQ(r.got.size(), 2u);
  EXPECT_EQ(r.got[0].kind, kMsgMouseMove);
  EXPECT_EQ(r.got[1].kind, kMsgQuit);
}

TEST_F(HeadlessThread, SemicolonInQuotedTextIsTyped) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  EXPECT_EQ(HeadlessRunGame("text \"a;b # c\"; key esc\n", RecordingGame, &r), 5);
  std::string typed;
  for (const auto& m : r.got)
    if (m.kind == kMsgText) typed += static_cast<char>(m.ch);
  EXPECT_EQ(typed, "a;b # c");
  ASSERT_FALSE(r.got.empty());
  EXPECT_EQ(r.got.back().key, uint32_t{kKeyEscape});
}

namespace {
// Draws a red square into the back surface and shows it, then waits.
int DrawingGame(void*) {
  PlatformSurface* back = DisplayBackSurface();
  Fill32(back, 10, 20, 30, 40, 0x00FF0000);
  UpdateRectangle(0, 0, 640, 480);
  PlatformMessage m;
  while (GetGameMessage(&m, -1)) {
    if (m.kind == kMsgLeftDown) {
      Fill32(back, m.x, m.y, 2, 2, 0x0000FF00);
      UpdateRectangle(m.x, m.y, 2, 2);
    }
    if (m.kind == kMsgQuit) break;
  }
  return 0;
}
}  // namespace

namespace {
// Ends on quit after one poll of the empty queue, which leaves the queue idle.
int PollingGame(void*) {
  PlatformMessage m;
  while (GetGameMessage(&m, -1) && m.kind != kMsgQuit) {
  }
  GetGameMessage(&m, 0);
  return 0;
}
// Takes its time before it draws, as a screen loading its data does.
int SlowDrawingGame(void* p) {
  SleepMs(100);
  return DrawingGame(p);
}
}  // namespace

TEST_F(HeadlessThread, SecondRunWaitsForItsOwnGameThread) {
  ASSERT_EQ(HeadlessOpenDisplay(4u), 1);  // 800x600x32
  HeadlessRunGame("", PollingGame, nullptr);
  HeadlessRunGame("png slow.png\n", SlowDrawingGame, nullptr);
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("slow.png", &px, &w, &h), 1);
  int32_t ox, oy;
  GameAreaOffset(800, 600, &ox, &oy);
  EXPECT_EQ(px[(oy + 30) * w + ox + 20], 0xFF0000u);
}

TEST_F(HeadlessThread, PngOfTheDisplayMatchesWhatWasDrawn) {
  for (uint32_t mode : {4u, 8u}) {  // 800x600 and 1024x768
    ASSERT_EQ(HeadlessOpenDisplay(mode), 1);
    DisplayModeChoice c;
    DisplayModeFromId(mode, &c);
    HeadlessRunGame("png first.png\nclick left 600 400\npng second.png\n", DrawingGame, nullptr);
    int32_t ox, oy;
    GameAreaOffset(c.width, c.height, &ox, &oy);
    std::vector<uint32_t> px;
    uint32_t w = 0, h = 0;
    ASSERT_EQ(ReadPngRGB("first.png", &px, &w, &h), 1);
    ASSERT_EQ(w, c.width);
    ASSERT_EQ(h, c.height);
    for (uint32_t y = 0; y < h; y++) {
      for (uint32_t x = 0; x < w; x++) {
        bool red = int(x) >= ox + 10 && int(x) < ox + 40 && int(y) >= oy + 20 && int(y) < oy + 60;
        ASSERT_EQ(px[y * w + x], red ? 0xFF0000u : 0u) << x << "," << y << " mode " << mode;
      }
    }
    ASSERT_EQ(ReadPngRGB("second.png", &px, &w, &h), 1);
    EXPECT_EQ(px[(oy + 401) * w + ox + 601], 0x00FF00u);
    EXPECT_EQ(px[(oy + 402) * w + ox + 602], 0u);
    HeadlessCloseDisplay();
  }
}

TEST(DisplayOffsets, CentringAt800And1024) {
  int32_t x, y;
  GameAreaOffset(640, 480, &x, &y);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  GameAreaOffset(800, 600, &x, &y);
  EXPECT_EQ(x, 80);
  EXPECT_EQ(y, 30);
  GameAreaOffset(1024, 768, &x, &y);
  EXPECT_EQ(x, 192);
  EXPECT_EQ(y, 114);
}

namespace {
std::vector<std::string>* g_lines;
void Collect(const char* line, void*) { g_lines->push_back(line); }
}  // namespace

TEST(DisplayUpdate, ClipsOddRectanglesAndLogs) {
  DebugLogSetStderr(0);
  std::vector<std::string> lines;
  g_lines = &lines;
  DebugLogSetHook(Collect, nullptr);
  EXPECT_EQ(UpdateRectangle(0, 0, 10, 10), 0);  // no display yet
  ASSERT_EQ(HeadlessOpenDisplay(4), 1);          // 800x600x32
  PlatformSurface* back = DisplayBackSurface();
  PlatformSurface* prim = DisplayPrimarySurface();
  Fill32(back, 0, 0, 800, 600, 0x123456);
  lines.clear();
  EXPECT_EQ(UpdateRectangle(5, 5, 0, 10), 1);  // nothing to copy
  EXPECT_EQ(UpdateRectangle(0, 0, 640, 480), 1);
  EXPECT_TRUE(lines.empty());
  uint32_t v;
  std::memcpy(&v, prim->pixels + 30 * prim->pitch + 80 * 4, 4);
  EXPECT_EQ(v, 0x123456u);
  std::memcpy(&v, prim->pixels + 29 * prim->pitch + 80 * 4, 4);
  EXPECT_EQ(v, 0u);
  // Partly outside: clipped after a BltFast line.
  EXPECT_EQ(UpdateRectangle(-100, -100, 200, 200), 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "UpdateRectangle: BltFast fehlgeschlagen mit Meldung DISPLAYERR_INVALIDRECT\n");
  // Wholly outside both surfaces: both lines and 0.
  lines.clear();
  EXPECT_EQ(UpdateRectangle(5000, 5000, 10, 10), 0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "UpdateRectangle: Blt fehlgeschlagen mit Meldung DISPLAYERR_INVALIDRECT\n");
  DebugLogSetHook(nullptr, nullptr);
  HeadlessCloseDisplay();
  DebugLogSetStderr(1);
}

TEST(DisplayUpdate, PaletteModeAndFlip) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);  // 640x480x8
  EXPECT_EQ(DisplayDepth(), 8u);
  PaletteEntry red{200, 10, 20};
  EXPECT_EQ(DisplaySetPalette(7, 1, &red), 1);
  EXPECT_EQ(DisplaySetPalette(300, 1, &red), 0);
  PlatformSurface* back = DisplayBackSurface();
  std::memset(back->pixels, 7, back->pitch * back->height);
  EXPECT_EQ(Flip(0), 1);
  std::vector<uint32_t> px(640 * 480);
  ASSERT_EQ(DisplayReadRGB(px.data(), 640, 480), 1);
  EXPECT_EQ(px[0], 0xC80A14u);
  EXPECT_EQ(px[640 * 480 - 1], 0xC80A14u);
  EXPECT_EQ(DisplayReadRGB(px.data(), 800, 600), 0);  // wrong size
  ASSERT_EQ(WriteDisplayPng("pal.png"), 1);
  std::vector<uint32_t> back_px;
  uint32_t w, h;
  ASSERT_EQ(ReadPngRGB("pal.png", &back_px, &w, &h), 1);
  EXPECT_EQ(back_px, px);
  HeadlessCloseDisplay();
  ASSERT_EQ(HeadlessOpenDisplay(4), 1);
  EXPECT_EQ(DisplaySetPalette(0, 1, &red), 0);  // no palette in 32-bit modes
  HeadlessCloseDisplay();
}

TEST(DisplayErrors, NamesEveryResult) {
  EXPECT_STREQ(DDErrorString(kDisplayOk), "DISPLAY_OK");
  EXPECT_STREQ(DDErrorString(kDisplayErrInvalidRect), "DISPLAYERR_INVALIDRECT");
  EXPECT_STREQ(DDErrorString(-77), "DISPLAYERR_UNKNOWN");
  DebugLogSetStderr(0);
  EXPECT_EQ(InitializeDirectDraw(640, 480, 16), 0);
  EXPECT_EQ(InitializeDirectDraw(320, 200, 8), 0);
  DebugLogSetStderr(1);
}

TEST(HeadlessCursor, RecordsCheckedCursorPictures) {
  std::vector<uint32_t> px(8 * 4);
  for (uint32_t i = 0; i < px.size(); i++) px[i] = i & 1 ? 0xFF102030u : 0;
  SelectPlatformBackend(nullptr);
  EXPECT_EQ(SetCursorImage(px.data(), 8, 4, 0, 0), 0);  // no backend
  SelectPlatformBackend(HeadlessBackend());
  const uint32_t before = HeadlessCursorImage(nullptr).calls;
  EXPECT_EQ(SetCursorImage(nullptr, 8, 4, 0, 0), 0);
  EXPECT_EQ(SetCursorImage(px.data(), 0, 4, 0, 0), 0);
  EXPECT_EQ(SetCursorImage(px.data(), 8, 0, 0, 0), 0);
  EXPECT_EQ(SetCursorImage(px.data(), kCursorMaxSide + 1, 4, 0, 0), 0);
  EXPECT_EQ(SetCursorImage(px.data(), 8, kCursorMaxSide + 1, 0, 0), 0);
  EXPECT_EQ(SetCursorImage(px.data(), 8, 4, 8, 0), 0);  // hot spot outside
  EXPECT_EQ(SetCursorImage(px.data(), 8, 4, 0, 4), 0);
  EXPECT_EQ(HeadlessCursorImage(nullptr).calls, before);
  ASSERT_EQ(SetCursorImage(px.data(), 8, 4, 7, 3), 1);
  px[1] = 0;  // the backend keeps its own copy
  std::vector<uint32_t> got;
  HeadlessCursor c = HeadlessCursorImage(&got);
  EXPECT_EQ(c.calls, before + 1);
  EXPECT_EQ(c.width, 8u);
  EXPECT_EQ(c.height, 4u);
  EXPECT_EQ(c.hot_x, 7u);
  EXPECT_EQ(c.hot_y, 3u);
  ASSERT_EQ(got.size(), 32u);
  EXPECT_EQ(got[0], 0u);
  EXPECT_EQ(got[1], 0xFF102030u);
  SelectPlatformBackend(nullptr);
}

// What the window loop shows again: the rectangles copied since it last
// looked, and after a palette change only the pixels of the pens that
// changed colour; the same colours again change nothing.
TEST(DisplayChanges, OnlyChangedRectanglesAndThePixelsOfChangedPens) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);  // 640x480x8
  std::vector<uint32_t> frame(640 * 480);
  DisplayRect rects[kDisplayChangeRects];
  ASSERT_EQ(DisplayTakeChangedRGB(frame.data(), 640, 480, rects), 1u);  // the new display, whole
  EXPECT_EQ(rects[0].width, 640);
  EXPECT_EQ(DisplayTakeChangedRGB(frame.data(), 640, 480, rects), 0u);
  // Pen 9 in a 20 x 10 rectangle at (100, 200), pen 0 elsewhere.
  PlatformSurface* back = DisplayBackSurface();
  for (uint32_t y = 200; y < 210; y++) std::memset(back->pixels + y * back->pitch + 100, 9, 20);
  EXPECT_EQ(UpdateRectangle(0, 0, 640, 480), 1);
  EXPECT_EQ(DisplayTakeChangedRGB(frame.data(), 640, 480, rects), 1u);
  // Two small changes: two rectangles, overlapping ones merged.
  EXPECT_EQ(UpdateRectangle(10, 10, 5, 5), 1);
  EXPECT_EQ(UpdateRectangle(12, 12, 5, 5), 1);
  EXPECT_EQ(UpdateRectangle(300, 300, 4, 4), 1);
  ASSERT_EQ(DisplayTakeChangedRGB(frame.data(), 640, 480, rects), 2u);
  EXPECT_EQ(rects[0].x, 10);
  EXPECT_EQ(rects[0].width, 7);
  EXPECT_EQ(rects[1].x, 300);
  // Pen 9 changes colour: only its pixels.
  const PaletteEntry green{10, 200, 30};
  EXPECT_EQ(DisplaySetPalette(9, 1, &green), 1);
  ASSERT_EQ(DisplayTakeChangedRGB(frame.data(), 640, 480, rects), 1u);
  EXPECT_EQ(rects[0].x, 100);
  EXPECT_EQ(rects[0].y, 200);
  EXPECT_EQ(rects[0].width, 20);
  EXPECT_EQ(rects[0].height, 10);
  EXPECT_EQ(frame[205 * 640 + 110], 0x0AC81Eu);
  // The same colour again, or a pen no pixel shows: nothing to show.
  EXPECT_EQ(DisplaySetPalette(9, 1, &green), 1);
  EXPECT_EQ(DisplaySetPalette(77, 1, &green), 1);
  EXPECT_EQ(DisplayTakeChangedRGB(frame.data(), 640, 480, rects), 0u);
  HeadlessCloseDisplay();
}
