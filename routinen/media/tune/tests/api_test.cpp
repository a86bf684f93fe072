// The public calls: options, device choice, handles, error codes, the file
// and memory layers, and the play thread.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "routinen/media/tune/devices.h"
#include "routinen/media/tune/genplayer.h"
#include "routinen/media/tune/pcm_sink.h"
#include "platform/threads.h"
#include "tests/support/test_support.h"

namespace {

// A module of `channels` channels whose one pattern holds 64 empty rows.
ModuleRecord* EmptyModule(uint8_t channels) {
  void* p = nullptr;
  MemAlloc(sizeof(ModuleRecord), &p);
  ModuleRecord* m = static_cast<ModuleRecord*>(p);
  std::memset(m, 0, sizeof *m);
  std::strcpy(m->name, "empty");
  m->type = MT_MOD;
  m->songLength = 1;
  m->channels = channels;
  m->masterVolume = 64;
  m->speed = 6;
  m->tempo = 125;
  MemAlloc(4 * channels, &p);
  m->panning = static_cast<uint32_t*>(p);
  for (int i = 0; i < channels; i++) m->panning[i] = 64;
  MemAlloc(2, &p);
  m->orders = static_cast<uint16_t*>(p);
  m->orders[0] = 0;
  m->patternCount = 1;
  MemAlloc(sizeof(PatternRecord*), &p);
  m->patterns = static_cast<PatternRecord**>(p);
  MemAlloc(8 + 64, &p);
  m->patterns[0] = static_cast<PatternRecord*>(p);
  m->patterns[0]->length = 8 + 64;
  m->patterns[0]->rows = 64;
  std::memset(m->patterns[0]->data, 0, 64);
  return m;
}

std::vector<std::string> g_errors;
void Handler(const char* text) { g_errors.push_back(text); }

class Tune : public ::testing::Test {
 protected:
  void SetUp() override {
    CaptureSinkInit(&cap);
    TuneSetPcmSink(&cap.sink);
    g_errors.clear();
    TUNEsetErrorHandler(Handler);
    TUNEstartup();
  }
  void TearDown() override { ResetTunePlayerState(); }
  CaptureSink cap;
};

TEST_F(Tune, ErrorTexts) {
  EXPECT_STREQ(TUNEerrorText(0), "OK");
  EXPECT_STREQ(TUNEerrorText(15), "Invalid module file");
  EXPECT_STREQ(TUNEerrorText(37), "Out of system resources");
  EXPECT_STREQ(TUNEerrorText(44), "DirectSound Window Handle not set");
  EXPECT_STREQ(TUNEerrorText(51), "Unsupported sample data format");
  EXPECT_STREQ(TUNEerrorText(52), "Undefined error");
}

TEST_F(Tune, OptionsAndDefaults) {
  EXPECT_EQ(TuneOption(1), 44100);
  EXPECT_EQ(TuneOption(3), 500);
  EXPECT_EQ(TuneOption(4), 16);
  EXPECT_EQ(TuneOption(8), 100);
  EXPECT_EQ(TuneOption(9), 1);
  EXPECT_EQ(TuneOption(10), 3);
  EXPECT_EQ(TuneOption(12), 64);
  EXPECT_EQ(TUNEsetOption(0, 5), 1);
  EXPECT_EQ(TUNEsetOption(14, 5), 1);
  TUNEsetOption(TUNE_OPT_INTERPOLATION, 2);
  EXPECT_EQ(TuneOption(11), 0);
  TUNEsetOption(TUNE_OPT_INTERPOLATION, 1);
  EXPECT_EQ(TuneOption(11), 1);
  TUNEsetOption(TUNE_OPT_MIXRATE, 22050);
  TUNEstartup();
  EXPECT_EQ(TuneOption(1), 44100);
}

TEST_F(Tune, DeviceChoice) {
  ASSERT_EQ(TUNEinit(), 1);
  EXPECT_EQ(TuneCurrentDevice(), &WaveDevice);  // ring device off by default
  TUNEclose();
  TUNEstartup();
  TUNEsetOption(TUNE_OPT_DSMODE, 1);
  TUNEsetOption(TUNE_OPT_DSWINDOW, 1);
  ASSERT_EQ(TUNEinit(), 1);
  EXPECT_EQ(TuneCurrentDevice(), &DSoundDevice);
  TUNEclose();
  TUNEstartup();
  TUNEsetOption(TUNE_OPT_DSMODE, 1);
  EXPECT_EQ(TUNEinit(), 0);  // no window handle
  EXPECT_EQ(TUNEgetLastError(), 44u);
  TUNEclose();
  TUNEstartup();
  cap.available = 0;
  ASSERT_EQ(TUNEinit(), 1);
  EXPECT_EQ(TuneCurrentDevice(), &NoSoundDevice);
  TUNEclose();
  TUNEstartup();
  cap.available = 1;
  TUNEsetOption(TUNE_OPT_NOSOUND, 1);
  TUNEsetOption(TUNE_OPT_DSMODE, 1);  // no window, but no detection either
  ASSERT_EQ(TUNEinit(), 1);
  EXPECT_EQ(TuneCurrentDevice(), &NoSoundDevice);
}

TEST_F(Tune, HandlesAndChannels) {
  TUNEsetOption(TUNE_OPT_NOSOUND, 1);
  ASSERT_EQ(TUNEinit(), 1);
  EXPECT_EQ(TUNEstopModule(0), 0);
  EXPECT_EQ(TUNEgetLastError(), 22u);
  EXPECT_EQ(TUNEstopModule(17), 0);
  EXPECT_EQ(TUNEsetMusicVolume(3, 10), 0);  // nothing plays there
  EXPECT_EQ(TUNEgetLastError(), 22u);
  EXPECT_EQ(TUNEplayModule(nullptr, 1), 0);
  EXPECT_EQ(TUNEgetLastError(), 22u);

  ModuleRecord* a = EmptyModule(4);
  ModuleRecord* b = EmptyModule(4);
  int32_t h = TUNEplayModule(a, 1);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(TUNEsetMusicVolume(h, 32), 1);
  // the channels opened by the first play are all in use
  EXPECT_EQ(TUNEplayModule(b, 1), 0);
  EXPECT_EQ(TUNEgetLastError(), 48u);
  EXPECT_EQ(TUNEstopModule(h), 1);
  EXPECT_EQ(TUNEstopModule(h), 0);
  // with enough channels open, 16 songs play and the 17th is refused
  ASSERT_EQ(TuneOpenPlayChannels(64), TE_OK);
  ModuleRecord* one = EmptyModule(1);
  for (int i = 0; i < 16; i++) EXPECT_EQ(TUNEplayModule(one, 1), i + 1);
  EXPECT_EQ(TUNEplayModule(one, 1), 0);
  EXPECT_EQ(TUNEgetLastError(), 37u);
  for (int i = 1; i <= 16; i++) EXPECT_EQ(TUNEstopModule(i), 1);
  EXPECT_EQ(TUNEfreeModule(a), 1);
  EXPECT_EQ(TUNEfreeModule(b), 1);
  EXPECT_EQ(TUNEfreeModule(one), 1);
  EXPECT_EQ(TUNEfreeModule(nullptr), 0);
}

// Freeing a module that still plays stops its song first, so the next
// player tick never reaches the freed record.
TEST_F(Tune, FreeingAPlayingModuleStopsItsSong) {
  TUNEsetOption(TUNE_OPT_NOSOUND, 1);
  ASSERT_EQ(TUNEinit(), 1);
  ModuleRecord* a = EmptyModule(2);
  ModuleRecord* b = EmptyModule(2);
  ASSERT_EQ(TuneOpenPlayChannels(8), TE_OK);
  const int32_t ha = TUNEplayModule(a, 1), hb = TUNEplayModule(b, 1);
  ASSERT_EQ(ha, 1);
  ASSERT_EQ(hb, 2);
  EXPECT_EQ(TUNEfreeModule(a), 1);
  EXPECT_EQ(TunePlayHandle(ha), nullptr);
  ASSERT_NE(TunePlayHandle(hb), nullptr);
  for (int i = 0; i < 20; i++) EXPECT_EQ(PlayerPlay(), TE_OK);
  EXPECT_EQ(TUNEstopModule(hb), 1);
  EXPECT_EQ(TUNEfreeModule(b), 1);
}

TEST_F(Tune, LoadErrors) {
  EXPECT_EQ(TUNEloadModule(".\\Mods\\Missing.XM"), nullptr);
  EXPECT_EQ(TUNEgetLastError(), 23u);
  ASSERT_TRUE(qoe_test::WriteFileBytes("short.mod", std::vector<uint8_t>(10, 1)));
  EXPECT_EQ(TUNEloadModule("short.mod"), nullptr);
  EXPECT_EQ(TUNEgetLastError(), 29u);
  ASSERT_TRUE(qoe_test::WriteFileBytes("garbage.mod", std::vector<uint8_t>(3000, 0x5A)));
  EXPECT_EQ(TUNEloadModule("garbage.mod"), nullptr);
  EXPECT_EQ(TUNEgetLastError(), 15u);
}

TEST_F(Tune, PlayerErrorStopsMusicOnly) {
  ASSERT_EQ(TUNEinit(), 1);
  ModuleRecord* a = EmptyModule(2);
  ASSERT_EQ(TUNEplayModule(a, 1), 1);
  ReportPlayerError(TE_INVALID_PATTERN);
  ASSERT_EQ(g_errors.size(), 1u);
  EXPECT_EQ(g_errors[0], "TUNE Error: Invalid pattern data in module");
  EXPECT_EQ(TuneCurrentDevice(), nullptr);
  PollPlayer();  // nothing left to poll
  EXPECT_EQ(TUNEstopModule(1), 0);
  EXPECT_EQ(TUNEfreeModule(a), 1);
}

TEST_F(Tune, FileAndMemoryLayers) {
  TuneFile* f = nullptr;
  EXPECT_EQ(FileOpen("x.bin", 4, &f), TE_INVALID_ARGS);
  EXPECT_FALSE(qoe_test::FileExists("x.bin"));
  EXPECT_EQ(FileOpen("x.bin", 1, &f), TE_FILE_NOT_FOUND);
  ASSERT_TRUE(qoe_test::WriteFileBytes("ten.bin", std::vector<uint8_t>(10, 7)));
  ASSERT_EQ(FileOpen("ten.bin", 1, &f), TE_OK);
  uint8_t buf[48];
  EXPECT_EQ(FileRead(f, buf, 48), TE_EOF);
  EXPECT_EQ(FileSeek(f, 2, 1), TE_OK);
  EXPECT_EQ(FileSeek(f, 0, 7), TE_INVALID_ARGS);
  uint32_t pos = 0;
  EXPECT_EQ(FileGetPosition(f, &pos), TE_OK);
  EXPECT_EQ(pos, 2u);
  EXPECT_EQ(FileClose(f), TE_OK);
  void* p = nullptr;
  EXPECT_EQ(MemAlloc(0, &p), TE_INVALID_BLOCK);
  EXPECT_EQ(MemFree(nullptr), TE_INVALID_BLOCK);
}

class TunePlayThread : public Tune {};

TEST_F(TunePlayThread, StartStop) {
  TUNEsetOption(TUNE_OPT_NOSOUND, 1);
  ASSERT_EQ(TUNEinit(), 1);
  EXPECT_EQ(TUNEstartBackgroundPlay(0), 1);
  EXPECT_EQ(PlayThreadDelay(), 20u);
  EXPECT_EQ(PlayThreadRunning(), 1);
  ModuleRecord* a = EmptyModule(4);
  int32_t h = TUNEplayModule(a, 1);
  EXPECT_EQ(h, 1);
  SleepMs(60);
  EXPECT_EQ(TUNEsetMusicVolume(h, 20), 1);
  EXPECT_EQ(TUNEstopModule(h), 1);
  EXPECT_EQ(TUNEstopBackgroundPlay(), 1);
  EXPECT_EQ(PlayThreadRunning(), 0);
  EXPECT_EQ(TUNEstartBackgroundPlay(100), 1);
  EXPECT_EQ(PlayThreadDelay(), 5u);
  h = TUNEplayModule(a, 1);
  SleepMs(30);
  EXPECT_EQ(TUNEclose(), 1);  // stops the thread and the song
  EXPECT_EQ(PlayThreadRunning(), 0);
  EXPECT_EQ(TUNEfreeModule(a), 1);
  EXPECT_TRUE(g_errors.empty());
}

TEST_F(TunePlayThread, WithWaveDevice) {
  ASSERT_EQ(TUNEinit(), 1);
  ASSERT_EQ(TUNEstartBackgroundPlay(0), 1);
  ModuleRecord* a = EmptyModule(4);
  int32_t h = TUNEplayModule(a, 1);
  ASSERT_EQ(h, 1);
  SleepMs(50);
  TUNEstopBackgroundPlay();
  EXPECT_GE(cap.blockSizes.size(), 34u);  // the capturing sink plays at once
  EXPECT_EQ(TUNEclose(), 1);
  EXPECT_EQ(TUNEfreeModule(a), 1);
}

}  // namespace
