// The movie player: the scheduler on the headless backend's virtual clock
// (frames on time, none twice, lateness, loop against halt, pause), the
// OpenGL mode (frames into the screen's bitmap), rendering at the centring
// offset and in both depths, and
// start/stop/free cycles (also under ThreadSanitizer).
#include <pthread.h>
#include <sched.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "movie_fixture.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

using namespace movie_test;

namespace {

// Frame f of a test movie is filled with pen 10 + f, so a drawn frame names itself.
std::string SolidMovie(const std::string& name, int w, int h, int frames) {
  datakit::AnimOptions o;
  o.width = w;
  o.height = h;
  std::vector<datakit::AnimFrame> fr(frames);
  for (int f = 0; f < frames; f++) {
    fr[f].pixels.assign((size_t)w * h, (uint8_t)(10 + f));
    for (int x = 0; x < w; x++) fr[f].pixels[x] = (uint8_t)(x & 0xFF);  // a ramp on the top row
  }
  fr[0].colours.resize(256);
  for (int i = 0; i < 256; i++) fr[0].colours[i] = {(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i * 3)};
  return WriteMovie(name, o, fr);
}

// ---- Virtual clock: the scheduler's waits run the headless clock on ---------
struct Draw {
  int frame;
  uint64_t ms;
};
std::mutex g_draw_lock;
std::vector<Draw> g_draws;
std::atomic<uint64_t> g_limit_ms{0};
std::atomic<uint64_t> g_late_frame_ms{0};  // extra time the draw of the third frame takes

void VirtualNow(timeval* tv) {
  const uint64_t ms = HeadlessNowMs();
  tv->tv_sec = (time_t)(ms / 1000);
  tv->tv_usec = (suseconds_t)(ms % 1000 * 1000);
}
int VirtualWait(QoeSignal* e, int timeout_ms) {
  if (WaitSignal(e, 0)) return 1;
  if (timeout_ms < 0 || HeadlessNowMs() + (uint64_t)timeout_ms > g_limit_ms.load()) return WaitSignal(e, -1);
  HeadlessAdvance((uint64_t)timeout_ms);
  return 0;
}
void VirtualDrawn(Movie* m, uint32_t, const timeval* when) {
  const int frame = m->decoder->pbuffer1 ? Chunky(m->decoder)[m->decoder->width] - 10 : -1;
  {
    std::lock_guard<std::mutex> g(g_draw_lock);
    g_draws.push_back(Draw{frame, (uint64_t)when->tv_sec * 1000 + (uint64_t)when->tv_usec / 1000});
    if (g_draws.size() == 3 && g_late_frame_ms.load()) HeadlessAdvance(g_late_frame_ms.load());
  }
}

std::vector<Draw> Draws() {
  std::lock_guard<std::mutex> g(g_draw_lock);
  return g_draws;
}
// Waits until n frames were drawn (real time: four minutes at most, so a
// busy machine only makes it slower).
bool WaitDraws(size_t n) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  while (Draws().size() < n) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class MoviePlayer : public ::testing::Test {
 protected:
  virtual uint32_t Mode() const { return 0; }
  void SetUp() override {
    DebugLogSetStderr(0);
    ASSERT_EQ(HeadlessOpenDisplay(Mode()), 1);
    FillDisplayRecord();
    PlatformSurface* back = DisplayBackSurface();
    screen_ = TitelScreenData{back->width, back->height, back->pitch, back->pixels, nullptr, nullptr,
                              ScreenPalette(), DisplayMutex(), 1, 1};
    {
      std::lock_guard<std::mutex> g(g_draw_lock);
      g_draws.clear();
    }
    g_late_frame_ms = 0;
    objects_ = NamedObjectCount();
    memory_ = MemAllocatedCounter_SS.load() - MemFreedCounter_SS.load();
  }
  void TearDown() override {
    ResetMovieState();
    EXPECT_EQ(CurrentMovieBase(), nullptr);
    EXPECT_EQ(NamedObjectCount(), objects_);
    EXPECT_EQ(MemAllocatedCounter_SS.load() - MemFreedCounter_SS.load(), memory_);
    HeadlessCloseDisplay();
    DebugLogSetStderr(1);
  }
  void UseVirtualClock(uint64_t limit_ms) {
    g_limit_ms = limit_ms;
    MovieClock c{VirtualNow, VirtualWait, VirtualDrawn};
    SetMovieClock(&c);
  }
  TitelScreenData screen_{};
  int objects_ = 0;
  uint64_t memory_ = 0;
};

TEST_F(MoviePlayer, TenFramesPerSecondDrawEveryFrameOnTimeAndNoneTwice) {
  UseVirtualClock(1000);
  SolidMovie("six.cban", 32, 8, 6);
  MovieBase* base = AllocMovieBase(&screen_, 0, 0, AFX_NONE);
  ASSERT_TRUE(base);
  EXPECT_EQ(CurrentMovieBase(), base);
  Movie* m = LoadMovie(base, ".\\six.cban", 0, 0);
  ASSERT_TRUE(m);
  EXPECT_EQ(StartMovie(base, m, 100, 50, SMF_LOOP | SMF_SCRAMBLED, 10), 1);
  ASSERT_TRUE(WaitDraws(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::vector<Draw> d = Draws();
  ASSERT_EQ(d.size(), 10u);  // 100, 200, ... 1000 ms
  for (size_t i = 0; i < d.size(); i++) {
    EXPECT_EQ(d[i].ms, 100 * (i + 1));
    EXPECT_EQ(d[i].frame, (int)(i % 6));  // the last frame is drawn before the first comes again
  }
  EXPECT_EQ(m->period.tv_usec, 100000);
  StopMovie(base, m);
  FreeMovieBase(base);
}

TEST_F(MoviePlayer, ThreeFramesPerSecondAndLatenessDelaysTheRest) {
  UseVirtualClock(2000);
  g_late_frame_ms = 250;
  SolidMovie("four.cban", 16, 4, 4);
  MovieBase* base = AllocMovieBase(&screen_, 0, 0, AFX_NONE);
  Movie* m = LoadMovie(base, ".\\four.cban", 0, 0);
  ASSERT_TRUE(m);
  StartMovie(base, m, 0, 0, SMF_LOOP, 3);
  ASSERT_TRUE(WaitDraws(4));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::vector<Draw> d = Draws();
  EXPECT_EQ(m->period.tv_sec, 0);
  EXPECT_EQ(m->period.tv_usec, 333333);
  ASSERT_GE(d.size(), 4u);
  EXPECT_EQ(d[0].ms, 334u);  // 333.333 ms, waited in whole milliseconds
  for (size_t i = 1; i < d.size(); i++) {
    const uint64_t gap = d[i].ms - d[i - 1].ms;
    // The third frame's draw took 250 ms longer: the next one follows a full
    // period after it, with no burst of catch-up frames.
    EXPECT_EQ(gap, i == 3 ? 250u + 334u : 334u) << i;
  }
  StopMovie(base, m);
  FreeMovieBase(base);
}

TEST_F(MoviePlayer, WithoutLoopTheLastFrameIsNotDrawnAndTheCallerIsWoken) {
  UseVirtualClock(5000);
  SolidMovie("four.cban", 16, 4, 4);
  MovieBase* base = AllocMovieBase(&screen_, 0, 0, AFX_NONE);
  Movie* m = LoadMovie(base, ".\\four.cban", 0, 0);
  ASSERT_TRUE(m);
  StartMovie(base, m, 0, 0, 0, 10);
  EXPECT_EQ(WaitSignal(base->main_wake, 240000), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::vector<Draw> d = Draws();
  ASSERT_EQ(d.size(), 3u);
  for (int i = 0; i < 3; i++) EXPECT_EQ(d[i].frame, i);
  EXPECT_EQ(m->halted.load(), 1);
  StopMovie(base, m);
  FreeMovieBase(base);
}

TEST_F(MoviePlayer, PauseStopsTheFramesAndResumeGoesOnFromTheNext) {
  UseVirtualClock(300);
  SolidMovie("six.cban", 16, 4, 6);
  MovieBase* base = AllocMovieBase(&screen_, 0, 0, AFX_NONE);
  Movie* m = LoadMovie(base, ".\\six.cban", 0, 0);
  ASSERT_TRUE(m);
  StartMovie(base, m, 0, 0, SMF_LOOP, 10);
  ASSERT_TRUE(WaitDraws(3));
  SetMovieMode(m, 1);
  g_limit_ms = 1000;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(Draws().size(), 3u);
  SetMovieMode(m, 0);
  ASSERT_TRUE(WaitDraws(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  const std::vector<Draw> d = Draws();
  ASSERT_EQ(d.size(), 10u);
  for (size_t i = 0; i < d.size(); i++) EXPECT_EQ(d[i].frame, (int)(i % 6));
  StopMovie(base, m);
  FreeMovieBase(base);
}

TEST_F(MoviePlayer, OpenGlModeLoadsMoviesAndNullMoviesAreAccepted) {
  SolidMovie("four.cban", 16, 4, 4);
  DisplayRecord* dr = QoESystemPtr->Display;
  ASSERT_TRUE(dr);
  const uint32_t renderer = dr->Renderer;
  dr->Renderer = 1;
  EXPECT_EQ(GetAFXDisplayFlag(), 4);
  dr->Renderer = 0;
  EXPECT_EQ(GetAFXDisplayFlag(), 0);
  dr->Renderer = renderer;
  EXPECT_EQ(GetAFXOptionFlag(), 0);
  MovieBase* base = AllocMovieBase(&screen_, 4, 0, AFX_NONE);
  ASSERT_TRUE(base);
  // Movies play in every renderer.
  Movie* m = LoadMovie(base, ".\\four.cban", 0, 0);
  EXPECT_NE(m, nullptr);
  if (m) StopMovie(base, m);
  Movie* none = nullptr;
  EXPECT_EQ(StartMovie(base, none, 0, 0, 68, 10), 0);
  SetMovieMode(none, 1);
  StopMovie(base, none);
  FreeMovieBase(base);
  EXPECT_EQ(AllocMovieBase(nullptr, 0, 0, AFX_NONE), nullptr);
  EXPECT_EQ(LoadMovie(nullptr, ".\\four.cban", 0, 0), nullptr);
}

// The primary surface's pixel at display position (x, y) as 0x00RRGGBB.
uint32_t PrimaryRGB(uint32_t x, uint32_t y) {
  std::vector<uint32_t> px((size_t)DisplayWidth() * DisplayHeight());
  DisplayReadRGB(px.data(), DisplayWidth(), DisplayHeight());
  return px[(size_t)y * DisplayWidth() + x];
}

// Decodes the first frame of a movie and draws it straight away.
struct DrawnFrame {
  Movie* m;
  explicit DrawnFrame(const char* path) : m(MakeMovie(nullptr, path)) {
    if (m) {
      EXPECT_EQ(ReadNextMovieFrame(m), 1);
    }
  }
  ~DrawnFrame() { FreeMovie(m); }
};

TEST_F(MoviePlayer, EightBitDisplayGetsThePensAtThePlaceAndClipped) {
  SolidMovie("ramp.cban", 64, 16, 1);
  DrawnFrame f(".\\ramp.cban");
  ASSERT_TRUE(f.m && f.m->decoder);
  RenderANIM5Direct(f.m->decoder, &screen_, 0, 20, 30);
  PlatformSurface* p = DisplayPrimarySurface();
  for (int x = 0; x < 64; x++) EXPECT_EQ(p->pixels[30 * p->pitch + 20 + x], x);  // the top row's ramp
  EXPECT_EQ(p->pixels[31 * p->pitch + 20], 10);
  EXPECT_EQ(p->pixels[31 * p->pitch + 19], 0);
  // Near the corner the frame is cut to the 640 x 480 area.
  RenderANIM5Direct(f.m->decoder, &screen_, 0, 600, 470);
  for (int x = 0; x < 40; x++) EXPECT_EQ(p->pixels[470 * p->pitch + 600 + x], x);
  EXPECT_EQ(p->pixels[479 * p->pitch + 639], 10);
  RenderANIM5Direct(f.m->decoder, &screen_, 0, 639, 479);
  RenderANIM5Direct(f.m->decoder, &screen_, 0, 640, 0);
}

class MoviePlayer800 : public MoviePlayer {
 protected:
  uint32_t Mode() const override { return 4; }  // 800 x 600 x 32
};

TEST_F(MoviePlayer800, FrameLandsAtTheCentringOffsetInTheDisplayFormat) {
  SolidMovie("ramp.cban", 64, 16, 1);
  DrawnFrame f(".\\ramp.cban");
  ASSERT_TRUE(f.m && f.m->decoder);
  LoadRGB32(nullptr, f.m->colours->bytes);
  RenderANIM5Direct(f.m->decoder, &screen_, 0, 0, 0);
  // (800 - 640) / 2 = 80 across, (600 - 480) / 2 - 30 = 30 down.
  for (uint32_t x = 0; x < 64; x++) EXPECT_EQ(PrimaryRGB(80 + x, 30), (x << 16) | ((255 - x) << 8) | ((x * 3) & 0xFF));
  EXPECT_EQ(PrimaryRGB(80, 31), (10u << 16) | (245u << 8) | 30u);
  EXPECT_EQ(PrimaryRGB(79, 31), 0u);
  EXPECT_EQ(PrimaryRGB(80, 29), 0u);
}

namespace {
std::vector<std::array<int32_t, 4>> g_dirty;
void NoteDirty(int32_t x, int32_t y, int32_t w, int32_t h) { g_dirty.push_back({x, y, w, h}); }
}  // namespace

// OpenGL mode: the window thread shows the screen's bitmap (R, G, B, A bytes
// on a 32-bit display), so the frame lands there at game coordinates and its
// rectangle is queued for the GL frame; the primary surface stays as it is.
TEST_F(MoviePlayer800, OpenGlModeDrawsTheFrameIntoTheScreenBitmapAndQueuesItsRectangle) {
  SolidMovie("ramp.cban", 64, 16, 1);
  DrawnFrame f(".\\ramp.cban");
  ASSERT_TRUE(f.m && f.m->decoder);
  LoadRGB32(nullptr, f.m->colours->bytes);
  BitMap* bm = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
  ASSERT_NE(bm, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  DisplayRecord* dr = QoESystemPtr->Display;
  RastPort* shown = dr->ScreenRastPort;
  dr->ScreenRastPort = &rp;
  g_dirty.clear();
  SetDisplayDirtyHook(NoteDirty);
  DisplaySetRenderer(1);
  RenderANIM5Direct(f.m->decoder, &screen_, 0, 20, 30);
  DisplaySetRenderer(0);
  SetDisplayDirtyHook(nullptr);
  dr->ScreenRastPort = shown;
  for (uint32_t x = 0; x < 64; x++) {
    const uint8_t* p = bm->Pixels + 30 * bm->BytesPerRow + (20 + x) * 4;
    EXPECT_EQ(p[0], x);
    EXPECT_EQ(p[1], 255 - x);
    EXPECT_EQ(p[2], (x * 3) & 0xFF);
    EXPECT_EQ(p[3], 255);
  }
  EXPECT_EQ(bm->Pixels[29 * bm->BytesPerRow + 20 * 4 + 3], 0);  // above the frame: untouched
  EXPECT_EQ(PrimaryRGB(100, 60), 0u);
  FreeBitMap(bm);
  ASSERT_EQ(g_dirty.size(), 1u);
  EXPECT_EQ(g_dirty[0], (std::array<int32_t, 4>{20, 30, 64, 16}));
}

TEST_F(MoviePlayer, NoFrameWhileTheDisplayIsBusy) {
  SolidMovie("ramp.cban", 64, 16, 1);
  DrawnFrame f(".\\ramp.cban");
  ASSERT_TRUE(f.m && f.m->decoder);
  DisplayRecord* dr = QoESystemPtr->Display;
  dr->Busy = 0;
  std::atomic<int> done{0};
  std::thread t([&] {
    RenderANIM5Direct(f.m->decoder, &screen_, 0, 0, 0);
    done = 1;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(done.load(), 0);
  EXPECT_EQ(DisplayPrimarySurface()->pixels[DisplayPrimarySurface()->pitch + 1], 0);
  dr->Busy = 1;
  t.join();
  EXPECT_EQ(DisplayPrimarySurface()->pixels[DisplayPrimarySurface()->pitch + 1], 10);
}

// 100 cycles of a screen's movie life with the real clock; one in ten runs
// with the caller holding the display mutex, which StopMovie and
// FreeMovieBase let go of while they wait and give back.
TEST_F(MoviePlayer, ThreadHundredStartStopFreeCycles) {
  SolidMovie("a.cban", 32, 16, 5);
  SolidMovie("b.cban", 16, 8, 3);
  for (int cycle = 0; cycle < 100; cycle++) {
    MovieBase* base = AllocMovieBase(&screen_, 0, 0, AFX_NONE);
    ASSERT_TRUE(base);
    Movie* a = LoadMovie(base, ".\\a.cban", 0, 0);
    Movie* b = LoadMovie(base, ".\\b.cban", 0, 0);
    ASSERT_TRUE(a && b);
    StartMovie(base, a, 10, 10, 69, cycle % 3 ? 0 : 50);
    StartMovie(base, b, 100, 10, 68, 0);
    if (cycle % 4 == 1) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    SetMovieMode(a, 1);
    SetMovieMode(a, 0);
    const bool hold = cycle % 10 == 3;
    if (hold) ObtainMutex(DisplayMutex());
    StopMovie(base, a);
    if (cycle % 2) StopMovie(base, b);
    StopMovie(base, nullptr);
    FreeMovieBase(base);
    if (hold) {
      EXPECT_EQ(MutexHeldCount(DisplayMutex()), 1);
      ReleaseMutex(DisplayMutex());
    }
  }
}

// A movie stopped while the scheduler takes it from the new movies is still
// removed. The scheduler and this thread share one processor, this thread
// at a real-time priority: it sleeps a random few microseconds after each
// load while the scheduler collects, and its wake-up interrupts the
// scheduler wherever it is, so some stops land in the middle of the
// collect step. Afterwards every movie must leave the base (a lost stop
// stays halted in the list for good), within minutes.
TEST_F(MoviePlayer, ThreadStopWhileTheSchedulerCollectsIsNeverLost) {
  SolidMovie("a.cban", 16, 8, 3);
  cpu_set_t old_cpus, one;
  ASSERT_EQ(sched_getaffinity(0, sizeof old_cpus, &old_cpus), 0);
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu() < 0 ? 0 : sched_getcpu(), &one);
  const bool pinned = sched_setaffinity(0, sizeof one, &one) == 0;
  MovieBase* base = AllocMovieBase(&screen_, 0, 0, AFX_NONE);  // its thread shares the processor
  ASSERT_TRUE(base);
  sched_param fifo{};
  fifo.sched_priority = 1;
  const bool realtime = pinned && pthread_setschedparam(pthread_self(), SCHED_FIFO, &fifo) == 0;
  auto all_gone = [&] {
    ObtainSemaphore(base->sem);
    const bool empty = !base->fresh && !base->active;
    ReleaseSemaphore(base->sem);
    return empty;
  };
  auto wait_gone = [&](int seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!all_gone()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      StopMovie(base, nullptr);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  };
  std::mt19937 rng(78);
  bool ok = true;
  for (int cycle = 0; ok && cycle < 6000; cycle++) {
    Movie* m = LoadMovie(base, ".\\a.cban", 0, 0);
    if (!m) break;
    const timespec pause{0, (long)(rng() % 40000)};
    nanosleep(&pause, nullptr);
    StopMovie(base, m);
    if (cycle % 1000 == 999) ok = wait_gone(240);
  }
  sched_param other{};
  pthread_setschedparam(pthread_self(), SCHED_OTHER, &other);
  if (pinned) sched_setaffinity(0, sizeof old_cpus, &old_cpus);
  EXPECT_TRUE(ok && wait_gone(240)) << (realtime ? "real-time" : "shared") << " run";
  FreeMovieBase(base);
}

TEST_F(MoviePlayer, ShutdownHookFreesTheBaseAScreenLeft) {
  SolidMovie("a.cban", 32, 16, 5);
  MovieBase* base = AllocMovieBase(&screen_, 0, 0, AFX_NONE);
  Movie* a = LoadMovie(base, ".\\a.cban", 0, 0);
  StartMovie(base, a, 0, 0, 68, 0);  // running, never stopped
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  FreeCurrentMovieBase();
  EXPECT_EQ(CurrentMovieBase(), nullptr);
  FreeCurrentMovieBase();
}

}  // namespace

namespace {

// The kit's three movies played by the scheduler on the 800 x 600 screen,
// untimed and not looping: each stops showing its next-to-last frame (the
// last one is decoded, not drawn) in its own colours, at its place. The
// screen goes to movies.png (kept in the PNG folder, PngDir).
TEST_F(MoviePlayer800, KitMoviesPlayOnTheScreen) {
  const char* kit[3] = {"TestWasser.CBAN", "TestFeuer.CBAN", "TestRad.CBAN"};
  const uint16_t at[3][2] = {{40, 40}, {200, 40}, {320, 200}};
  for (const char* k : kit)
    ASSERT_TRUE(qoe_test::WriteFileBytes(qoe_test::TestDir() + "/" + k,
                                         qoe_test::ReadFileBytes(qoe_test::BinaryDir() + "/datakit/Anims/" + k)));
  MovieBase* base = AllocMovieBase(&screen_, 0, 0, AFX_NONE);
  Movie* m[3];
  for (int i = 0; i < 3; i++) {
    m[i] = LoadMovie(base, (std::string(".\\") + kit[i]).c_str(), 0, 0);
    ASSERT_TRUE(m[i]);
    StartMovie(base, m[i], at[i][0], at[i][1], SMF_PALETTE, 0);
  }
  // The scheduler runs on the headless virtual clock (an untimed movie draws
  // a frame per millisecond of it): this thread stands for a game thread
  // waiting on an empty queue while the clock moves on.
  PlatformMessage msg;
  GetGameMessage(&msg, 0);
  for (int t = 0; t < 500 && !(m[0]->halted && m[1]->halted && m[2]->halted); t++) HeadlessAdvance(10);
  for (int i = 0; i < 3; i++) {
    ASSERT_EQ(m[i]->halted.load(), 1);
    const std::vector<Frame> frames = DecodeWithPlayer(kit[i]);
    ASSERT_GE(frames.size(), 2u);
    const Frame& f = frames[frames.size() - 2];
    const uint32_t w = m[i]->width, h = m[i]->height;
    std::vector<uint32_t> px((size_t)DisplayWidth() * DisplayHeight());
    DisplayReadRGB(px.data(), DisplayWidth(), DisplayHeight());
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++) {
        const datakit::Rgb& c = f.palette[f.pens[y * w + x]];
        const uint32_t want = (uint32_t)c[0] << 16 | (uint32_t)c[1] << 8 | c[2];
        ASSERT_EQ(px[(size_t)(30 + at[i][1] + y) * DisplayWidth() + 80 + at[i][0] + x], want) << kit[i] << " " << x << "," << y;
      }
  }
  EXPECT_EQ(WriteDisplayPng("movies.png"), 1);
  EXPECT_TRUE(qoe_test::KeepPng("movies.png"));
  for (Movie* mv : m) StopMovie(base, mv);
  FreeMovieBase(base);
}

}  // namespace
