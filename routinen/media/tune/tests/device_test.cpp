// Output devices against the capturing sink: tick lengths, the block ring,
// the ring buffer's cursors, gap, wrap-around and stall recovery.
#include <gtest/gtest.h>

#include "routinen/media/tune/devices.h"
#include "routinen/media/tune/pcm_sink.h"

namespace {

uint32_t g_now = 0;
uint32_t FakeClock() { return g_now; }

class Devices : public ::testing::Test {
 protected:
  void SetUp() override {
    TUNEstartup();
    CaptureSinkInit(&cap);
    TuneSetPcmSink(&cap.sink);
    TuneSetClock(FakeClock);
    g_now = 100000;
  }
  void TearDown() override {
    ResetTunePlayerState();
    ResetSoundDeviceStates();
  }
  CaptureSink cap;
};

TEST_F(Devices, SamplesPerTick) {
  EXPECT_EQ(SamplesPerTick(44100, 125 * 40), 882u);
  EXPECT_EQ(SamplesPerTick(44100, 150 * 40), 736u);
  EXPECT_EQ(SamplesPerTick(4000, 125 * 40), 80u);
  EXPECT_EQ(SamplesPerTick(4000, 150 * 40), 66u);
  EXPECT_EQ(SamplesPerTick(22050, 5000), 442u);
  EXPECT_EQ(SamplesPerTick(10, 10200), 2u);  // never a tick without frames
  EXPECT_EQ(SamplesPerTick(44100, 0), 4410000u);
}

TEST_F(Devices, NoSoundKeepsTime) {
  int32_t found = 0;
  ASSERT_EQ(NoSoundDevice.Detect(&found), TE_OK);
  EXPECT_EQ(found, 1);
  ASSERT_EQ(NoSoundDevice.Init(44100, 0), TE_OK);
  uint32_t rate = 0, mode = 0, master = 1;
  NoSoundDevice.GetMixRate(&rate);
  NoSoundDevice.GetMode(&mode);
  NoSoundDevice.GetMasterVolume(&master);
  EXPECT_EQ(rate, 4000u);
  EXPECT_EQ(mode, 9u);
  EXPECT_EQ(master, 0u);
  auto ticks = [] {
    int calls = 0, call = 0;
    NoSoundDevice.StartPlay();
    do {
      NoSoundDevice.Play(&call);
      calls += call;
    } while (call);
    return calls;
  };
  g_now += 5;  // below 10 ms: nothing
  EXPECT_EQ(ticks(), 0);
  g_now += 100;  // 400 samples = 5 ticks of 80
  EXPECT_EQ(ticks(), 5);
  g_now += 10000;  // capped at 2 s = 100 ticks
  EXPECT_EQ(ticks(), 100);
  NoSoundDevice.Suspend();
  g_now += 100;
  EXPECT_EQ(ticks(), 0);
  NoSoundDevice.Resume();
  NoSoundDevice.Close();
}

TEST_F(Devices, WaveFillsBlocksInRingOrder) {
  cap.autoPlay = 0;
  int32_t found = 0;
  WaveDevice.Detect(&found);
  EXPECT_EQ(found, 1);
  ASSERT_EQ(WaveDevice.Init(44100, 0), TE_OK);
  WaveState s = WaveGetState();
  EXPECT_EQ(s.mode, 10u);
  EXPECT_EQ(s.blocks, 33u);
  EXPECT_EQ(s.blockSize, 2672u);  // 44100 x 4 x 500 / 1000 / 33, up to 16
  EXPECT_EQ(cap.format.rate, 44100u);
  EXPECT_EQ(cap.format.channels, 2u);
  EXPECT_EQ(cap.format.bits, 16u);
  WaveDevice.StartPlay();
  int32_t call = 0;
  ASSERT_EQ(WaveDevice.Play(&call), TE_OK);
  EXPECT_EQ(call, 1);  // 668 frames filled block 0, 214 more into block 1
  EXPECT_EQ(cap.blockSizes.size(), 1u);
  s = WaveGetState();
  EXPECT_EQ(s.current, 1u);
  EXPECT_EQ(s.offset, 214u * 4);
  int ticks = 1;
  do {
    WaveDevice.Play(&call);
    ticks += call;
  } while (call);
  EXPECT_EQ(cap.blockSizes.size(), 33u);  // every block queued, none played
  EXPECT_EQ(ticks, 33 * 668 / 882);
  WaveDevice.Play(&call);
  EXPECT_EQ(call, 0);
  EXPECT_EQ(cap.blockSizes.size(), 33u);
  // the sink finishes block 0: it is refilled on the next poll
  CaptureSinkConsume(&cap, 2672);
  WaveDevice.StartPlay();
  do WaveDevice.Play(&call); while (call);
  EXPECT_EQ(cap.blockSizes.size(), 34u);
  WaveDevice.Close();
  EXPECT_EQ(cap.resets, 1);
  EXPECT_EQ(cap.isOpen, 0);
}

TEST_F(Devices, WaveStopsAfterRingPerPoll) {
  ASSERT_EQ(WaveDevice.Init(44100, 0), TE_OK);
  WaveDevice.StartPlay();
  int32_t call = 0;
  int n = 0;
  do {
    WaveDevice.Play(&call);
  } while (call && ++n < 10000);
  EXPECT_EQ(cap.blockSizes.size(), 34u);  // more than B blocks ends the poll
  WaveDevice.Close();
}

TEST_F(Devices, WaveFallsBackToSupportedFormat) {
  cap.supported = {PcmFormat{22050, 1, 8}};
  ASSERT_EQ(WaveDevice.Init(44100, 0), TE_OK);
  WaveState s = WaveGetState();
  EXPECT_EQ(s.rate, 22050u);
  EXPECT_EQ(s.mode, 5u);
  EXPECT_EQ(s.bytesPerFrame, 1u);
  EXPECT_EQ(dmixMode() & (MIX_8BIT | MIX_MONO), MIX_8BIT | MIX_MONO);
  WaveDevice.Close();
  // a long buffer still uses 64 blocks
  TUNEsetOption(TUNE_OPT_BUFFERMS, 2000);
  cap.supported.clear();
  ASSERT_EQ(WaveDevice.Init(44100, DM_8BIT | DM_MONO), TE_OK);
  EXPECT_EQ(WaveGetState().blocks, 64u);
  EXPECT_EQ(WaveGetState().mode, 5u);
  WaveDevice.Close();
}

TEST_F(Devices, DSoundDetection) {
  int32_t found = 1;
  EXPECT_EQ(DSoundDevice.Detect(&found), TE_OK);  // option 5 off
  EXPECT_EQ(found, 0);
  TUNEsetOption(TUNE_OPT_DSMODE, 1);
  EXPECT_EQ(DSoundDevice.Detect(&found), TE_NO_WINDOW);
  TUNEsetOption(TUNE_OPT_DSWINDOW, 1);
  EXPECT_EQ(DSoundDevice.Detect(&found), TE_OK);
  EXPECT_EQ(found, 1);
  cap.caps = PCM_CAP_EMULATED;
  EXPECT_EQ(DSoundDevice.Detect(&found), TE_OK);
  EXPECT_EQ(found, 0);
  TUNEsetOption(TUNE_OPT_DSMODE, 3);
  EXPECT_EQ(DSoundDevice.Detect(&found), TE_OK);
  EXPECT_EQ(found, 1);
  // forced on an emulated output: the long buffer
  ASSERT_EQ(DSoundDevice.Init(44100, 0), TE_OK);
  EXPECT_EQ(DSoundGetState().size, 88208u);
  EXPECT_EQ(DSoundGetState().emulated, 1u);
  DSoundDevice.Close();
  cap.available = 0;
  TUNEsetOption(TUNE_OPT_DSMODE, 1);
  EXPECT_EQ(DSoundDevice.Detect(&found), TE_OK);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(DSoundDevice.Init(44100, 0), TE_NO_DSOUND);
}

class DSound : public Devices {
 protected:
  void SetUp() override {
    Devices::SetUp();
    TUNEsetOption(TUNE_OPT_DSMODE, 1);
    TUNEsetOption(TUNE_OPT_DSWINDOW, 1);
    TUNEsetOption(TUNE_OPT_DSOBJECT, reinterpret_cast<intptr_t>(&ext.sink));
    CaptureSinkInit(&ext);
  }
  int Poll() {
    int calls = 0;
    int32_t call = 0;
    DSoundDevice.StartPlay();
    do {
      EXPECT_EQ(DSoundDevice.Play(&call), TE_OK);
      calls += call;
    } while (call);
    return calls;
  }
  CaptureSink ext;
};

TEST_F(DSound, CursorArithmeticWrapAndGap) {
  ASSERT_EQ(DSoundDevice.Init(44100, 0), TE_OK);
  EXPECT_EQ(ext.opens, 1);  // the external sink, not the default one
  EXPECT_EQ(cap.opens, 0);
  DSoundState s = DSoundGetState();
  EXPECT_EQ(s.size, 17648u);  // 4 x 44100 x 100 / 1000, up to 16
  EXPECT_EQ(s.gap, 16u);
  EXPECT_EQ(Poll(), 0);  // cursor at the write position: nothing
  CaptureSinkAdvance(&ext, 4000);
  EXPECT_EQ(Poll(), 1);  // 996 frames: one tick of 882 and 114 more
  EXPECT_EQ(DSoundGetState().writePos, 3984u);
  EXPECT_EQ(DSoundGetState().tickCounter, 882u - 114u);
  // the write position sits one gap behind the cursor: nothing more
  EXPECT_EQ(Poll(), 0);
  EXPECT_EQ(DSoundGetState().writePos, 3984u);
  // around the end of the ring
  CaptureSinkAdvance(&ext, 17648 - 4000 + 100);
  Poll();
  EXPECT_EQ(DSoundGetState().playCursor, 100u);
  EXPECT_EQ(DSoundGetState().writePos, 84u);
  DSoundDevice.Close();
  EXPECT_EQ(ext.isOpen, 0);
}

TEST_F(DSound, LostRingIsRestored) {
  ASSERT_EQ(DSoundDevice.Init(44100, 0), TE_OK);
  CaptureSinkAdvance(&ext, 4000);
  ext.lostOnce = 1;
  EXPECT_EQ(Poll(), 1);
  EXPECT_EQ(ext.restarts, 1);
  EXPECT_EQ(DSoundGetState().writePos, 3984u);
  ext.lostOnce = 1;
  ext.failRestart = 1;
  CaptureSinkAdvance(&ext, 4000);
  EXPECT_EQ(Poll(), 0);  // no error, nothing written
  EXPECT_EQ(DSoundGetState().writePos, 3984u);
  DSoundDevice.Close();
}

int32_t g_fore = 1;
int32_t Foreground() { return g_fore; }

TEST_F(DSound, StalledSinkRestartsAfterOneSecond) {
  DSoundSetForegroundHook(Foreground);
  g_fore = 1;
  ASSERT_EQ(DSoundDevice.Init(44100, 0), TE_OK);
  Poll();  // first stall seen: focus flag only
  g_now += 100;
  Poll();  // stall start
  g_now += 900;
  Poll();
  EXPECT_EQ(ext.restarts, 0);
  g_now += 101;
  Poll();
  EXPECT_EQ(ext.restarts, 1);
  g_fore = 0;  // in the background nothing is restarted
  g_now += 5000;
  Poll();
  Poll();
  EXPECT_EQ(ext.restarts, 1);
  DSoundDevice.Close();
}

TEST_F(DSound, PrimaryBufferGap) {
  TUNEsetOption(TUNE_OPT_DSMODE, 2);
  ext.extraRing = 1000;
  ASSERT_EQ(DSoundDevice.Init(22050, DM_8BIT | DM_MONO), TE_OK);
  DSoundState s = DSoundGetState();
  EXPECT_EQ(s.bytesPerFrame, 1u);
  EXPECT_EQ(s.primary, 1u);
  EXPECT_EQ(s.size, 2208u + 1000u);  // 22050 x 100 / 1000 = 2205, up to 16
  EXPECT_EQ(s.gap, 1000u);
  EXPECT_EQ(ext.format.bits, 8u);
  EXPECT_EQ(ext.format.channels, 1u);
  DSoundDevice.Close();
}

}  // namespace
