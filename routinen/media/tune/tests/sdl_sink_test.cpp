// The SDL2 sink behind both real devices, on SDL's dummy audio driver.
#include <gtest/gtest.h>

#include <cstdlib>

#include "routinen/media/tune/devices.h"
#include "routinen/media/tune/genplayer.h"
#include "module_writer.h"
#include "routinen/media/tune/pcm_sink.h"
#include "platform/audio_sdl.h"
#include "platform/threads.h"
#include "tune_fixture.h"

using namespace modwriter;

namespace {

class SdlSink : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    ResetTunePlayerState();
    if (!AudioSdlAvailable()) GTEST_SKIP() << "no SDL audio driver";
  }
  void TearDown() override { ResetTunePlayerState(); }
};

TEST_F(SdlSink, BlockDeviceQueuesAndPlays) {
  TUNEstartup();
  ASSERT_EQ(TUNEinit(), 1);
  ASSERT_EQ(TuneCurrentDevice(), &WaveDevice);
  Song s;
  s.samples.push_back(DcLoop(4000, 50));
  s.patterns[0].at(0, 0) = Cell{24, 1, -1, 0, 0};
  ModuleRecord* m = nullptr;
  const int32_t h = LoadAndPlay(WriteMod(s), &m);
  ASSERT_NE(h, 0);
  PollPlayer();
  const uint64_t first = AudioSdlPlayed();
  SleepMs(150);
  PollPlayer();
  EXPECT_GE(AudioSdlPlayed(), first);
  EXPECT_EQ(TUNEstopModule(h), 1);
  EXPECT_EQ(TUNEfreeModule(m), 1);
  EXPECT_EQ(TUNEclose(), 1);
}

TEST_F(SdlSink, RingDeviceFollowsTheCursor) {
  TUNEstartup();
  TUNEsetOption(TUNE_OPT_DSMODE, 1);
  TUNEsetOption(TUNE_OPT_DSWINDOW, 1);
  ASSERT_EQ(TUNEinit(), 1);
  ASSERT_EQ(TuneCurrentDevice(), &DSoundDevice);
  uint32_t moved = 0;
  for (int i = 0; i < 40 && !moved; i++) {
    SleepMs(10);
    PollPlayer();
    moved = DSoundGetState().writePos;
  }
  EXPECT_NE(moved, 0u);  // the dummy driver consumed the ring and the device refilled it
  EXPECT_EQ(TUNEclose(), 1);
}

}  // namespace
