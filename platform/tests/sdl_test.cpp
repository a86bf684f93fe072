#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/cursor.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/framefit.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/modepage.h"
#include "platform/screenmode.h"
#include "platform/sdl_backend.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "platform/threads.h"

namespace {

struct GameSeen {
  PlatformMessage key{};
  uint64_t presents_before = 0;
  int presented = 0;
};

// Waits for the forwarded key, draws, shows it and waits until the window
// thread has presented the frame; then asks the window to close.
int PresentingGame(void* p) {
  auto* seen = static_cast<GameSeen*>(p);
  PlatformMessage m;
  while (GetGameMessage(&m, qoe_test::kWaitBoundMs)) {
    if (m.kind == kMsgKeyDown) {
      seen->key = m;
      break;
    }
  }
  seen->presents_before = SdlPresentCount();
  PlatformSurface* back = DisplayBackSurface();
  uint32_t colour = 0x00336699;
  for (uint32_t y = 0; y < 480; y++)
    for (uint32_t x = 0; x < 640; x++) std::memcpy(back->pixels + y * back->pitch + x * 4, &colour, 4);
  UpdateRectangle(0, 0, 640, 480);
  qoe_test::WaitUntil([&] { return SdlPresentCount() != seen->presents_before; });
  seen->presented = SdlPresentCount() > seen->presents_before;
  PostWindowDestroy();
  return 0;
}

// Selects the SDL backend on the dummy video driver with the software
// renderer: the offscreen driver loads EGL at run time, which keeps
// allocations the leak checker reports.
const PlatformBackend* SelectDummySdl() {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  DebugLogSetStderr(0);
  const PlatformBackend* b = SdlBackend();
  SelectPlatformBackend(b);
  ResetGameMessages();
  return b;
}

}  // namespace

TEST(SdlWindowLoop, StartsForwardsPresentsAndShutsDown) {
  const PlatformBackend* b = SelectDummySdl();
  ASSERT_EQ(b->init(), 1) << SDL_GetError();
  DisplayModeChoice mode;
  DisplayModeFromId(4, &mode);  // 800x600x32 windowed
  ASSERT_EQ(OpenMainWindow(&mode), 1);
  ASSERT_EQ(InitializeDirectDraw(mode.width, mode.height, mode.depth), 1);
  StartEventTimer(kTimerGameTick, kGameTickMs);

  GameSeen seen;
  QoeThread* game = StartThread("Game", PresentingGame, &seen);
  SDL_Event ev;
  SDL_zero(ev);
  ev.type = SDL_KEYDOWN;
  ev.key.keysym.sym = SDLK_LEFT;
  ASSERT_EQ(SDL_PushEvent(&ev), 1);
  EXPECT_EQ(RunWindowLoop(), 0);
  JoinThread(game);

  EXPECT_EQ(seen.key.key, uint32_t{kKeyLeft});
  EXPECT_EQ(seen.key.extended, 1u);
  EXPECT_EQ(seen.presented, 1);
  StopEventTimer(kTimerGameTick);
  ShutdownDisplay();
  CloseMainWindow();
  b->shutdown();
  SelectPlatformBackend(nullptr);
  ResetGameMessages();
  DebugLogSetStderr(1);
}

namespace {

struct SmallChanges {
  uint64_t whole = 0, pixels = 0, presents = 0;  // over the small changes
  uint64_t idle_presents = 0;                    // over the idle time after them
};

// The rectangle the small changes paint, and their colour there (frame
// from 1): the same in every run.
constexpr int32_t kChangeX = 10, kChangeY = 10, kChangeW = 32, kChangeH = 16;
uint32_t ChangeColour(uint32_t frame) { return 0x00010203u * (frame - 1); }

// After a whole picture was asked for: waits until the window loop has shown
// everything that waited (the display's first picture may have come first),
// then makes twenty small changes of one 32 x 16 rectangle (as a movie frame
// does), each shown and waited for, and counts what was shown; then what
// three frames show while idle. at_corner: the rectangle at display
// coordinates. Each wait is for a frame the loop showed, minutes at most.
void TwentySmallChanges(SmallChanges* seen, bool at_corner) {
  PlatformSurface* back = DisplayBackSurface();
  SdlWaitFrameShown(qoe_test::kWaitBoundMs);
  const uint64_t whole = SdlWholePresentCount(), pixels = SdlPresentedPixels(), presents = SdlPresentCount();
  for (uint32_t frame = 1; frame <= 20; frame++) {
    ObtainMutex(DisplayMutex());
    const uint32_t colour = ChangeColour(frame);
    for (int32_t y = kChangeY; y < kChangeY + kChangeH; y++)
      for (int32_t x = kChangeX; x < kChangeX + kChangeW; x++)
        std::memcpy(back->pixels + y * back->pitch + x * 4, &colour, 4);
    ReleaseMutex(DisplayMutex());
    if (at_corner) SetDisplayGameAreaAtCorner(1);
    UpdateRectangle(kChangeX, kChangeY, kChangeW, kChangeH);
    if (at_corner) SetDisplayGameAreaAtCorner(0);
    SdlWaitFrameShown(qoe_test::kWaitBoundMs);
  }
  seen->whole = SdlWholePresentCount() - whole;
  seen->pixels = SdlPresentedPixels() - pixels;
  seen->presents = SdlPresentCount() - presents;
  const uint64_t before = SdlPresentCount();
  for (int i = 0; i < 3; i++) SdlWaitFrameShown(qoe_test::kWaitBoundMs);
  seen->idle_presents = SdlPresentCount() - before;
}

// Shows a whole picture, then the twenty small changes, then stays idle.
int SmallChangesGame(void* p) {
  UpdateRectangle(0, 0, 640, 480);
  TwentySmallChanges(static_cast<SmallChanges*>(p), false);
  PostWindowDestroy();
  return 0;
}

}  // namespace

// A small change is copied to the window alone, and an unchanged display is
// not shown again: a screen with a movie and nothing else moving costs the
// movie's rectangle, not the window.
TEST(SdlWindowLoop, ShowsOnlyTheChangedRectangleAndNothingWhileIdle) {
  const PlatformBackend* b = SelectDummySdl();
  ASSERT_EQ(b->init(), 1) << SDL_GetError();
  DisplayModeChoice mode;
  DisplayModeFromId(8, &mode);  // 1024x768x32 windowed
  ASSERT_EQ(OpenMainWindow(&mode), 1);
  ASSERT_EQ(InitializeDirectDraw(mode.width, mode.height, mode.depth), 1);
  SmallChanges seen;
  QoeThread* game = StartThread("Game", SmallChangesGame, &seen);
  EXPECT_EQ(RunWindowLoop(), 0);
  JoinThread(game);
  EXPECT_EQ(seen.presents, 20u);
  EXPECT_EQ(seen.whole, 0u);
  EXPECT_EQ(seen.pixels, 20u * 32u * 16u);
  EXPECT_EQ(seen.idle_presents, 0u);
  ShutdownDisplay();
  CloseMainWindow();
  b->shutdown();
  SelectPlatformBackend(nullptr);
  ResetGameMessages();
  DebugLogSetStderr(1);
}

namespace {

// The frame's pixel at (x, y) of the scaled run: a pattern of both
// coordinates, and the small changes' colour inside their rectangle.
uint32_t PatternPixel(uint32_t x, uint32_t y, uint32_t frames) {
  if (frames && int32_t(x) >= kChangeX && int32_t(x) < kChangeX + kChangeW && int32_t(y) >= kChangeY &&
      int32_t(y) < kChangeY + kChangeH)
    return ChangeColour(frames);
  return (x & 0xFF) << 16 | (y & 0xFF) << 8 | (x >> 8) << 4 | (y >> 8);
}

struct ScaledRun : SmallChanges {
  PlatformMessage pointer{};  // the mouse move the window thread forwarded
};

// The pointer's move first; then a whole picture of the pattern and twenty
// small changes as SmallChangesGame makes them, then idle.
int ScaledGame(void* p) {
  auto* run = static_cast<ScaledRun*>(p);
  PlatformMessage m;
  while (GetGameMessage(&m, qoe_test::kWaitBoundMs))
    if (m.kind == kMsgMouseMove) {
      run->pointer = m;
      break;
    }
  PlatformSurface* back = DisplayBackSurface();
  ObtainMutex(DisplayMutex());
  for (uint32_t y = 0; y < back->height; y++)
    for (uint32_t x = 0; x < back->width; x++) {
      const uint32_t c = PatternPixel(x, y, 0);
      std::memcpy(back->pixels + y * back->pitch + x * 4, &c, 4);
    }
  ReleaseMutex(DisplayMutex());
  Flip(0);
  TwentySmallChanges(run, true);
  PostWindowDestroy();
  return 0;
}

}  // namespace

// A full-screen mode on a desktop of another size (the dummy driver's is
// 1024 x 768; the mode 800 x 600) shows the mode's picture scaled to the
// desktop, each changed rectangle scaled into the window alone (not the
// whole window for each movie frame), nothing while idle, and the pointer's
// desktop position comes to the game as the mode's pixel it points at.
TEST(SdlWindowLoop, FullScreenOnADesktopOfAnotherSizeScalesEachChangedRectangleAlone) {
  const PlatformBackend* b = SelectDummySdl();
  ASSERT_EQ(b->init(), 1) << SDL_GetError();
  DisplayModeChoice mode;
  DisplayModeFromId(5, &mode);  // 800x600x32 2D full screen
  ASSERT_EQ(OpenMainWindow(&mode), 1);
  ASSERT_EQ(InitializeDirectDraw(mode.width, mode.height, mode.depth), 1);
  SDL_Window* win = nullptr;
  for (uint32_t id = 1; id < 64 && !win; id++) win = SDL_GetWindowFromID(id);
  ASSERT_NE(win, nullptr);
  int ww = 0, wh = 0;
  SDL_GetWindowSize(win, &ww, &wh);
  ASSERT_EQ(ww, 1024);
  ASSERT_EQ(wh, 768);
  const FrameFit fit = FitFrame(800, 600, 1024, 768);
  SDL_Event ev;
  SDL_zero(ev);
  ev.type = SDL_MOUSEMOTION;
  ev.motion.windowID = SDL_GetWindowID(win);
  ev.motion.x = 1000;  // right of the frame's pixel 781, below its row 312
  ev.motion.y = 400;
  ASSERT_EQ(SDL_PushEvent(&ev), 1);
  ScaledRun run;
  QoeThread* game = StartThread("Game", ScaledGame, &run);
  EXPECT_EQ(RunWindowLoop(), 0);
  JoinThread(game);
  EXPECT_EQ(run.pointer.x, 781);
  EXPECT_EQ(run.pointer.y, 312);
  int32_t rx, ry, rw, rh;
  FrameRectInWindow(fit, kChangeX, kChangeY, kChangeW, kChangeH, &rx, &ry, &rw, &rh);
  EXPECT_EQ(run.presents, 20u);
  EXPECT_EQ(run.whole, 0u);
  EXPECT_EQ(run.pixels, 20u * uint64_t(rw) * uint64_t(rh));
  EXPECT_EQ(run.idle_presents, 0u);
  // The window shows the whole frame scaled, the last change in it.
  SDL_Surface* surface = SDL_GetWindowSurface(win);
  ASSERT_NE(surface, nullptr);
  std::vector<uint32_t> shown(size_t(ww) * size_t(wh));
  ASSERT_EQ(SDL_ConvertPixels(ww, wh, surface->format->format, surface->pixels, surface->pitch,
                              SDL_PIXELFORMAT_RGB888, shown.data(), ww * 4),
            0);
  uint32_t wrong = 0;
  for (int32_t y = 0; y < wh; y++)
    for (int32_t x = 0; x < ww; x++) {
      int32_t fx, fy;
      WindowPointInFrame(fit, x, y, &fx, &fy);
      if ((shown[size_t(y) * size_t(ww) + size_t(x)] & 0xFFFFFF) != PatternPixel(uint32_t(fx), uint32_t(fy), 20)) wrong++;
    }
  EXPECT_EQ(wrong, 0u);
  ShutdownDisplay();
  CloseMainWindow();
  b->shutdown();
  SelectPlatformBackend(nullptr);
  ResetGameMessages();
  DebugLogSetStderr(1);
}

namespace {

struct CursorRun {
  int taken = 0;
  int shown = 0;
};

// Hands a cursor picture over from the game thread and waits until the
// window thread has put it up.
int CursorGame(void* p) {
  auto* run = static_cast<CursorRun*>(p);
  std::vector<uint32_t> px(16 * 16, 0);
  for (uint32_t i = 0; i < 16; i++) px[i * 16 + i] = 0xFF000000u;
  uint64_t before = SdlCursorCount();
  run->taken = SetCursorImage(px.data(), 16, 16, 0, 0);
  qoe_test::WaitUntil([&] { return SdlCursorCount() != before; });
  run->shown = SdlCursorCount() > before;
  PostWindowDestroy();
  return 0;
}

}  // namespace

TEST(SdlWindowLoop, PutsUpACursorPictureFromTheGameThread) {
  const PlatformBackend* b = SelectDummySdl();
  ASSERT_EQ(b->init(), 1) << SDL_GetError();
  DisplayModeChoice mode;
  DisplayModeFromId(4, &mode);
  ASSERT_EQ(OpenMainWindow(&mode), 1);
  CursorRun run;
  QoeThread* game = StartThread("Game", CursorGame, &run);
  EXPECT_EQ(RunWindowLoop(), 0);
  JoinThread(game);
  EXPECT_EQ(run.taken, 1);
  EXPECT_EQ(run.shown, 1);
  if (SDL_GetDefaultCursor()) {
    EXPECT_NE(SDL_GetCursor(), SDL_GetDefaultCursor());
  } else {  // the dummy driver has no cursors: the window thread says so
    auto log = qoe_test::ReadFileBytes("Quill.dbg");
    EXPECT_NE(std::string(log.begin(), log.end()).find("SDL_CreateColorCursor: "), std::string::npos);
  }
  CloseMainWindow();
  b->shutdown();
  SelectPlatformBackend(nullptr);
  ResetGameMessages();
  DebugLogSetStderr(1);
}

namespace {

// Fills the game area with a colour and shows it.
void FillArea(uint32_t colour) {
  PlatformSurface* back = DisplayBackSurface();
  ObtainMutex(DisplayMutex());
  for (uint32_t y = 0; y < 480; y++)
    for (uint32_t x = 0; x < 640; x++) std::memcpy(back->pixels + y * back->pitch + x * 4, &colour, 4);
  ReleaseMutex(DisplayMutex());
  UpdateRectangle(0, 0, 640, 480);
}

// A picture, then waits; each key a new picture; the close ends it.
int PictureOnKeyGame(void*) {
  FillArea(0x00336699);
  PlatformMessage m;
  while (GetGameMessage(&m, -1) && m.kind != kMsgQuit)
    if (m.kind == kMsgKeyDown) FillArea(0x00996633);
  PostWindowDestroy();
  return 0;
}

// The frames shown when the script's "shown" answered, in order.
struct ShownAnswers {
  std::vector<uint64_t> presents;
};

}  // namespace

// The script's "shown" answers once the game waits and a frame begun after
// that was shown: each picture the game drew before it waited is on the
// window when the line is logged (a test outside the program grabs then).
TEST(SdlWindowLoop, ScriptShownAnswersAfterTheFrameOfWhatTheGameDrew) {
  const PlatformBackend* b = SelectDummySdl();
  ASSERT_EQ(b->init(), 1) << SDL_GetError();
  DisplayModeChoice mode;
  DisplayModeFromId(4, &mode);
  ASSERT_EQ(OpenMainWindow(&mode), 1);
  ASSERT_EQ(InitializeDirectDraw(mode.width, mode.height, mode.depth), 1);
  ShownAnswers answers;
  DebugLogSetHook(
      [](const char* line, void* user) {
        if (std::strstr(line, "SDL-Skript: Das Fenster zeigt das Bild ("))
          static_cast<ShownAnswers*>(user)->presents.push_back(SdlPresentCount());
      },
      &answers);
  const uint64_t before = SdlPresentCount();
  SdlSetScript("shown\nkey a\nshown\n", kScreenModeCount);
  QoeThread* game = StartThread("Game", PictureOnKeyGame, nullptr);
  EXPECT_EQ(RunWindowLoop(), 0);
  JoinThread(game);
  SdlSetScript(nullptr, kScreenModeCount);
  DebugLogSetHook(nullptr, nullptr);
  ASSERT_EQ(answers.presents.size(), 2u);
  EXPECT_GT(answers.presents[0], before);              // the first picture
  EXPECT_GT(answers.presents[1], answers.presents[0]);  // the key's picture
  ShutdownDisplay();
  CloseMainWindow();
  b->shutdown();
  SelectPlatformBackend(nullptr);
  ResetGameMessages();
  DebugLogSetStderr(1);
}

TEST(SdlWindowLoop, TranslatesKeysButtonsAndQuit) {
  SDL_Event ev;
  PlatformMessage m;
  uint32_t buttons = 0;
  struct {
    SDL_Keycode sym;
    uint32_t key, ext, ch;
  } keys[] = {
      {SDLK_a, 'A', 0, 0},           {SDLK_7, '7', 0, 0},           {SDLK_RETURN, 13, 0, 13},
      {SDLK_KP_ENTER, 13, 1, 13},    {SDLK_ESCAPE, 27, 0, 27},      {SDLK_BACKSPACE, 8, 0, 8},
      {SDLK_DELETE, 46, 1, 0},       {SDLK_INSERT, 45, 1, 0},       {SDLK_DOWN, 40, 1, 0},
      {SDLK_LCTRL, 17, 0, 0},        {SDLK_F2, 113, 0, 0},
  };
  for (const auto& k : keys) {
    SDL_zero(ev);
    ev.type = SDL_KEYDOWN;
    ev.key.keysym.sym = k.sym;
    ASSERT_EQ(TranslateSdlEvent(&ev, &m, &buttons), 1) << k.sym;
    EXPECT_EQ(m.kind, kMsgKeyDown);
    EXPECT_EQ(m.key, k.key) << k.sym;
    EXPECT_EQ(m.extended, k.ext) << k.sym;
    EXPECT_EQ(m.ch, k.ch) << k.sym;
  }
  SDL_zero(ev);
  ev.type = SDL_MOUSEBUTTONDOWN;
  ev.button.button = SDL_BUTTON_RIGHT;
  ev.button.x = 700;
  ev.button.y = 500;
  ASSERT_EQ(TranslateSdlEvent(&ev, &m, &buttons), 1);
  EXPECT_EQ(m.kind, kMsgRightDown);
  EXPECT_EQ(m.x, 700);
  EXPECT_EQ(m.buttons, uint32_t{kButtonRight});
  SDL_zero(ev);
  ev.type = SDL_MOUSEMOTION;
  ev.motion.x = 701;
  ev.motion.y = 502;
  ASSERT_EQ(TranslateSdlEvent(&ev, &m, &buttons), 1);
  EXPECT_EQ(m.kind, kMsgMouseMove);
  EXPECT_EQ(m.buttons, uint32_t{kButtonRight});
  SDL_zero(ev);
  ev.type = SDL_MOUSEBUTTONUP;
  ev.button.button = SDL_BUTTON_RIGHT;
  ASSERT_EQ(TranslateSdlEvent(&ev, &m, &buttons), 1);
  EXPECT_EQ(m.kind, kMsgRightUp);
  EXPECT_EQ(buttons, 0u);
  SDL_zero(ev);
  ev.type = SDL_QUIT;
  ASSERT_EQ(TranslateSdlEvent(&ev, &m, &buttons), 1);
  EXPECT_EQ(m.kind, kMsgQuit);
  // The pointer's leave and return, the focus's loss and return; other
  // window events give no message.
  const struct {
    uint8_t event;
    uint32_t what;
  } window[] = {{SDL_WINDOWEVENT_LEAVE, kWindowPointerLeft},
                {SDL_WINDOWEVENT_ENTER, kWindowPointerEntered},
                {SDL_WINDOWEVENT_FOCUS_LOST, kWindowFocusLost},
                {SDL_WINDOWEVENT_FOCUS_GAINED, kWindowFocusGained}};
  for (const auto& w : window) {
    SDL_zero(ev);
    ev.type = SDL_WINDOWEVENT;
    ev.window.event = w.event;
    ASSERT_EQ(TranslateSdlEvent(&ev, &m, &buttons), 1) << int(w.event);
    EXPECT_EQ(m.kind, kMsgWindow);
    EXPECT_EQ(m.key, w.what);
  }
  SDL_zero(ev);
  ev.type = SDL_WINDOWEVENT;
  ev.window.event = SDL_WINDOWEVENT_EXPOSED;
  EXPECT_EQ(TranslateSdlEvent(&ev, &m, &buttons), 0);
}

// The keyboard's auto-repeat of a held key reaches the game marked as a
// repeat; a press and a release are none.
TEST(SdlWindowLoop, MarksTheKeyboardsRepeats) {
  const struct {
    uint32_t type;
    uint8_t repeat;
    uint32_t kind, want;
  } rows[] = {
      {SDL_KEYDOWN, 0, kMsgKeyDown, 0},
      {SDL_KEYDOWN, 1, kMsgKeyDown, 1},
      {SDL_KEYUP, 0, kMsgKeyUp, 0},
      {SDL_KEYUP, 1, kMsgKeyUp, 0},
  };
  for (const auto& row : rows) {
    for (SDL_Keycode sym : {SDLK_ESCAPE, SDLK_RETURN, SDLK_LEFT, SDLK_a}) {
      SDL_Event ev;
      SDL_zero(ev);
      ev.type = row.type;
      ev.key.repeat = row.repeat;
      ev.key.keysym.sym = sym;
      PlatformMessage m;
      uint32_t buttons = 0;
      ASSERT_EQ(TranslateSdlEvent(&ev, &m, &buttons), 1) << sym;
      EXPECT_EQ(m.kind, row.kind) << sym;
      EXPECT_EQ(m.repeat, row.want) << sym << " type " << row.type << " repeat " << int(row.repeat);
    }
  }
}

uint64_t NowMsForTest() {
  return (uint64_t)std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A named display that does not answer at once is tried again a few times
// within a second: two failed opens, then the start succeeds; one that never
// answers fails after its tries, and the start names it. Without a named
// display the start does not wait. (One start of SDL per test: SDL's
// D-Bus link keeps memory over a second start in one process.)
class SdlStart : public testing::Test {
 protected:
  void SetUp() override {
    const char* had = std::getenv("DISPLAY");
    had_ = had != nullptr;
    kept_ = had ? had : "";
    const char* wl = std::getenv("WAYLAND_DISPLAY");
    had_wayland_ = wl != nullptr;
    wayland_ = wl ? wl : "";
    b_ = SelectDummySdl();
  }
  void TearDown() override {
    if (had_) setenv("DISPLAY", kept_.c_str(), 1);
    else unsetenv("DISPLAY");
    if (had_wayland_) setenv("WAYLAND_DISPLAY", wayland_.c_str(), 1);
    else unsetenv("WAYLAND_DISPLAY");
    SelectPlatformBackend(nullptr);
    DebugLogSetStderr(1);
  }
  const PlatformBackend* b_ = nullptr;
  bool had_ = false, had_wayland_ = false;
  std::string kept_, wayland_;
};

// (The display is named as a Wayland one: a named X display makes D-Bus
// try to start itself on it, which keeps memory the leak checker reports.)
TEST_F(SdlStart, ADisplayThatAnswersOnTheThirdTryIsTaken) {
  unsetenv("DISPLAY");
  setenv("WAYLAND_DISPLAY", "wayland-57", 1);
  qoe_test::LogLines log;
  SdlFailDisplayOpens(2);
  ASSERT_EQ(b_->init(), 1) << SDL_GetError();
  EXPECT_EQ(log.Count("SDL_Init: Bildschirm wayland-57 nicht zu oeffnen"), 2);
  EXPECT_STREQ(SdlUnopenedDisplay(), "");
  b_->shutdown();
}

TEST_F(SdlStart, ADisplayThatNeverAnswersIsTriedForASecondAndNamed) {
  unsetenv("WAYLAND_DISPLAY");
  setenv("DISPLAY", ":57", 1);
  qoe_test::LogLines log;
  SdlFailDisplayOpens(100);
  const uint64_t start = NowMsForTest();
  EXPECT_EQ(b_->init(), 0);
  const uint64_t took = NowMsForTest() - start;
  EXPECT_EQ(log.Count("SDL_Init: Bildschirm :57 nicht zu oeffnen"), 5);
  EXPECT_STREQ(SdlUnopenedDisplay(), ":57");
  // It waits between the tries (a busy machine only waits longer); a
  // minute would be a wait for good.
  EXPECT_GE(took, 700u);
  EXPECT_LT(took, 60000u);
}

TEST_F(SdlStart, WithoutANamedDisplayTheStartFailsAtOnce) {
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  qoe_test::LogLines log;
  SdlFailDisplayOpens(100);
  EXPECT_EQ(b_->init(), 0);
  EXPECT_EQ(log.Count("nicht zu oeffnen"), 0);  // not tried again, so no wait
  EXPECT_EQ(log.Count("SDL_Init: Kein Bildschirm gefunden"), 1);
  EXPECT_STREQ(SdlUnopenedDisplay(), "");
}

TEST(ScreenModePage, KeysAndClicksPickTheRow) {
  ModePage page;
  ModePageInit(&page, 0);
  PlatformMessage m{};
  m.kind = kMsgKeyDown;
  m.key = kKeyDown;
  EXPECT_EQ(ModePageHandle(&page, &m), 0);
  EXPECT_EQ(ModePageHandle(&page, &m), 0);
  EXPECT_EQ(ModePageHandle(&page, &m), 0);  // stays on the last row
  m.key = 'F';
  ModePageHandle(&page, &m);
  EXPECT_EQ(ModePageModeId(&page), 9u);  // 1024x768x32, 2D, full screen
  m = PlatformMessage{};
  m.kind = kMsgLeftDown;
  m.x = 400;  // the OpenGL button
  m.y = 270;
  EXPECT_EQ(ModePageHandle(&page, &m), 0);
  EXPECT_EQ(ModePageModeId(&page), 11u);
  m.x = 200;  // the first resolution
  m.y = 120;
  ModePageHandle(&page, &m);
  EXPECT_EQ(ModePageModeId(&page), 3u);
  DisplayModeChoice c;
  DisplayModeFromId(3, &c);
  EXPECT_EQ(c.width, 640u);
  EXPECT_EQ(c.depth, 8u);
  EXPECT_EQ(c.chosen_renderer, 1u);
  EXPECT_EQ(c.renderer, 0u);  // OpenGL runs the 2D renderer for now
  EXPECT_EQ(c.fullscreen, 1u);
  m.x = 200;  // Start
  m.y = 400;
  EXPECT_EQ(ModePageHandle(&page, &m), 1);
  m.x = 400;  // Quit
  EXPECT_EQ(ModePageHandle(&page, &m), -1);
  m = PlatformMessage{};
  m.kind = kMsgKeyDown;
  m.key = kKeyEnter;
  EXPECT_EQ(ModePageHandle(&page, &m), 1);
  std::vector<uint32_t> px(kModePageWidth * kModePageHeight, 0xFFFFFFFF);
  ModePageDraw(&page, px.data());
  for (uint32_t v : px) ASSERT_LE(v, 0x00FFFFFFu);  // every pixel drawn
}

namespace {
uint32_t g_stored = 99;
int g_writes = 0;
int ReadStored(uint32_t* id) {
  if (g_stored == 99) return 0;
  *id = g_stored;
  return 1;
}
void WriteStored(uint32_t id) {
  g_stored = id;
  g_writes++;
}
}  // namespace

TEST(ScreenModeChoice, RemembersThroughThePrefsHookAndLogsOpenGL) {
  DebugLogSetStderr(0);
  SelectPlatformBackend(HeadlessBackend());
  SetScreenModePrefsHook(ReadStored, WriteStored);
  HeadlessSetMode(6);  // 800x600x32 OpenGL windowed
  DisplayModeChoice c;
  ASSERT_EQ(ScreenModus(&c), 1);
  EXPECT_EQ(c.mode_id, 6u);
  EXPECT_EQ(c.renderer, 0u);
  EXPECT_EQ(g_stored, 6u);
  EXPECT_EQ(g_writes, 1);
  CurrentDisplayMode(&c);
  EXPECT_EQ(c.mode_id, 6u);
  HeadlessSetMode(kScreenModeCount);  // cancelled
  EXPECT_EQ(ScreenModus(&c), 0);
  EXPECT_EQ(g_writes, 1);
  SetScreenModePrefsHook(nullptr, nullptr);
  SelectPlatformBackend(nullptr);
  HeadlessSetMode(kScreenModeDefault);
  EXPECT_EQ(FindScreenMode(1024, 768, 32, 1, 1), 11u);
  EXPECT_EQ(FindScreenMode(1024, 768, 8, 0, 0), uint32_t{kScreenModeCount});
  DebugLogSetStderr(1);
}

TEST(SdlWindowLoop, FullScreenWindowCoversTheDesktopWithoutAWindowManager) {
  // Without a window manager only a window made at the desktop's size gets
  // that size; a switched-over window keeps the mode page's 640 x 480.
  const PlatformBackend* b = SelectDummySdl();
  ASSERT_EQ(b->init(), 1) << SDL_GetError();
  DisplayModeChoice mode;
  DisplayModeFromId(5, &mode);  // 800x600x32 2D full screen
  ASSERT_EQ(mode.fullscreen, 1u);
  ASSERT_EQ(OpenMainWindow(&mode), 1);
  SDL_Window* win = nullptr;
  for (uint32_t id = 1; id < 64 && !win; id++) win = SDL_GetWindowFromID(id);
  ASSERT_NE(win, nullptr);
  SDL_Rect desk;
  ASSERT_EQ(SDL_GetDisplayBounds(0, &desk), 0);
  EXPECT_NE(SDL_GetWindowFlags(win) & SDL_WINDOW_BORDERLESS, 0u);
  int x = -1, y = -1;
  SDL_GetWindowPosition(win, &x, &y);
  EXPECT_EQ(x, desk.x);
  EXPECT_EQ(y, desk.y);
  CloseMainWindow();
  b->shutdown();
  SelectPlatformBackend(nullptr);
  DebugLogSetStderr(1);
}
