// The window thread draws frames while the game thread draws, queues and
// changes screens (run under ThreadSanitizer: test names hold "Thread").
#include <atomic>
#include <filesystem>

#include "gl_fixture.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/input.h"
#include "platform/sdl_backend.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct GameRun {
  std::atomic<int> stop{0};
  std::atomic<int> changes{0};
  std::atomic<int> draws{0};
};

// Draws into the screen as the toolkit does (under the display mutex), shows
// it with UpdateRectangle and changes the screen picture every 40 draws,
// reusing the screen entry (close mode 1) or, every second time, dropping it
// with the screen bitmap (mode 0, as after a set-up failure).
int DrawingGame(void* p) {
  auto* run = static_cast<GameRun*>(p);
  uint32_t pic = 1;
  if (OpenElmorPic(".\\Data\\Path", pic, 0) != 1 || OpenElmorGfx(".\\Data\\Path", 221) != 1) return 1;
  for (int i = 0; !run->stop.load(); i++) {
    RastPort* rp = ScreenRastPort();
    ObtainMutex(DisplayMutex());
    SetAPen(rp, uint32_t(i & 7));
    RectFill(rp, (i * 13) % 600, (i * 7) % 440, (i * 13) % 600 + 30, (i * 7) % 440 + 30);
    ReleaseMutex(DisplayMutex());
    UpdateRectangle((i * 13) % 600, (i * 7) % 440, 31, 31);
    BlitObjekt(nullptr, 221, (i * 5) % 500, (i * 3) % 400, 0, 0);
    run->draws++;
    if (i % 40 == 39) {
      CloseElmorPic(pic, i % 80 == 79 ? 0 : 1);
      pic = pic == 1 ? 2 : 1;
      if (OpenElmorPic(".\\Data\\Path", pic, 0) != 1) return 1;
      run->changes++;
    }
    SleepMs(1);
  }
  CloseElmorGfx(221);
  CloseElmorPic(pic, 0);
  return 0;
}

class GLFrameThread : public testing::Test {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_TRUE(gltest::OpenGLWindow(6));
    LoadPaths();
    ResetInputState();
  }
  void TearDown() override {
    FreeAllElmorGfx();
    FreePaths();
    gltest::CloseGLWindow();
  }
};

TEST_F(GLFrameThread, FiveHundredFramesWhileTheGameDrawsQueuesAndChangesScreens) {
  GameRun run;
  QoeThread* game = StartThread("Game", DrawingGame, &run);
  ASSERT_NE(game, nullptr);
  const PlatformBackend* b = CurrentPlatformBackend();
  // At least 500 frames, and on until the game changed its screen a few
  // times (four minutes at most: a game that stopped fails below).
  int f = 0;
  qoe_test::WaitUntil([&] {
    GLProcessObjektList();
    b->gl_swap();
    return ++f >= 500 && run.changes.load() >= 2;  // the window loop waits for events between frames
  });
  run.stop = 1;
  EXPECT_EQ(JoinThread(game), 0);
  EXPECT_GE(GLFrameCount(), 500u);
  EXPECT_GE(run.changes.load(), 2);
  // Whatever the game left, one more frame takes every queued rectangle and
  // the closed screen's entry is gone.
  GLProcessObjektList();
  EXPECT_EQ(Objekt3DListe()->count, 0u);
  EXPECT_EQ(GLScreenObjekt(), nullptr);
}

// Changes the screen until the loop swapped ten frames, then changes
// nothing: once the loop made three frames after the last change (which
// showed it), three more that find nothing changed; then quits. Each wait
// is for the loop's frames, four minutes at most.
struct PresentRun {
  uint64_t drawn = 0, idle = 0, idle_frames = 0;
};

int PresentsThenQuits(void* p) {
  auto* run = static_cast<PresentRun*>(p);
  if (OpenElmorPic(".\\Data\\Path", 1, 0) != 1) {
    PostWindowDestroy();
    return 1;
  }
  const uint64_t before = SdlPresentCount();
  int i = 0;
  qoe_test::WaitUntil([&] {
    UpdateRectangle((i++ * 8) % 600, 10, 8, 8);
    SleepMs(5);
    return SdlPresentCount() >= before + 10;
  });
  run->drawn = SdlPresentCount() - before;
  const uint64_t last_change = GLFrameCount();
  qoe_test::WaitUntil([&] { return GLFrameCount() >= last_change + 3; });  // the last rectangle shown
  const uint64_t presents = SdlPresentCount(), frames = GLFrameCount();
  qoe_test::WaitUntil([&] { return GLFrameCount() >= frames + 3; });
  run->idle = SdlPresentCount() - presents;
  run->idle_frames = GLFrameCount() - frames;
  CloseElmorPic(1, 0);
  PostWindowDestroy();
  return 0;
}

TEST_F(GLFrameThread, TheWindowLoopSwapsOnlyFramesThatChanged) {
  PresentRun run;
  QoeThread* game = StartThread("Game", PresentsThenQuits, &run);
  EXPECT_EQ(RunWindowLoop(), 0);
  EXPECT_EQ(JoinThread(game), 0);
  EXPECT_GE(run.drawn, 10u);
  // The loop went on making frames, found nothing changed, swapped none.
  EXPECT_GE(run.idle_frames, 3u);
  EXPECT_EQ(run.idle, 0u);
}

}  // namespace
