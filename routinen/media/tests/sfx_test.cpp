// Sound effects: the index and its hostile forms, the slots, playback
// through the mixer (one-shots replayed, loops stopped), the cache.
#include "routinen/media/tests/sound_fixture.h"

#include <functional>

using namespace soundtest;

namespace {

class Sfx : public SoundTest {
 protected:
  // Effects 1..n from the defs; samples written where their paths point.
  void Install(const std::vector<SfxDef>& defs) { ASSERT_TRUE(WriteFile("Data/SfxPath", MakeIndex(defs))); }
  void Sample(const std::string& file, const std::vector<int16_t>& v) { ASSERT_TRUE(WriteFile(file, SampleBytes(v))); }
  uint32_t Open(uint32_t id) { return OpenElmorSfx(".\\Data\\SfxPath", id); }
  int UsedSlots() {
    int n = 0;
    for (uint32_t i = 0; i < SFX_SLOTS; i++) n += Sound().Sfx.Id[i] != 0;
    return n;
  }
};

TEST_F(Sfx, EdgeCasesOfTheSlotTable) {
  Install({{200, 44100, "Sounds:Sfx/Click.raw"}, {200, 44100, "Sounds:Sfx/Click.raw"}});
  Sample("Sfx/Click.raw", Ramp(100));

  // SOUNDFX off: success, nothing loaded, play silent and unlogged.
  QoESystemPtr->SoundStatus = SOUND_MUSIC;
  EXPECT_EQ(Open(1), 1u);
  EXPECT_EQ(UsedSlots(), 0);
  log.clear();
  EXPECT_EQ(SfxPlayer000(1, 0, 0), 0);
  EXPECT_TRUE(log.empty());
  QoESystemPtr->SoundStatus = kAll;

  // ID 0 and an ID beyond the count.
  EXPECT_EQ(Open(0), 0u);
  EXPECT_TRUE(Logged("OpenElmorSfx:000\n"));
  EXPECT_EQ(SfxPlayer000(0, 0, 0), 0);
  EXPECT_EQ(StopSfx(0), 0);
  EXPECT_EQ(IsSfxPlaying(0), 1);
  EXPECT_EQ(Open(3), 0u);
  EXPECT_TRUE(Logged("OpenElmorSfx:003\n"));

  // The Amiga path Sounds:Sfx/Click.raw opened Sfx\Click.raw; 38 slots, no 39th.
  for (int i = 0; i < 38; i++) ASSERT_EQ(Open(1 + i % 2), 1u) << i;
  EXPECT_EQ(Open(2), 0u);
  EXPECT_TRUE(Logged("OpenElmorSfx:004\n"));
  EXPECT_EQ(AudioBufferCount(), 38);

  // The same ID in many slots: the lowest acts, each release frees one.
  ASSERT_EQ(SfxPlayer000(1, 0, 1), 1);
  EXPECT_EQ(AudioBufferPlaying(Sound().Sfx.Buffer[0]), 1);
  EXPECT_EQ(AudioBufferPlaying(Sound().Sfx.Buffer[2]), 0);
  EXPECT_EQ(IsSfxIdle(1), 0);
  CloseElmorSfx000(1);
  EXPECT_EQ(Sound().Sfx.Id[0], 0u);
  EXPECT_EQ(Sound().Sfx.Id[2], 1u);
  EXPECT_EQ(IsSfxPlaying(1), 1);  // the next one is not playing
  for (int i = 0; i < 18; i++) CloseElmorSfx000(1);
  for (int i = 0; i < 19; i++) CloseElmorSfx000(2);
  EXPECT_EQ(UsedSlots(), 0);
  EXPECT_EQ(AudioBufferCount(), 0);
  log.clear();
  CloseElmorSfx000(1);
  EXPECT_TRUE(Logged("CloseElmorSfx000: 1 nicht gefunden\n"));
  EXPECT_EQ(SfxPlayer000(7, 0, 0), 0);
  EXPECT_TRUE(Logged("SfxPlayer000: 7 nicht gefunden\n"));
  EXPECT_EQ(StopSfx(7), 0);
  EXPECT_TRUE(Logged("StopSfx: 7 nicht gefunden\n"));
}

// A game without sound output (SOUNDFX off from the start) opens, plays,
// stops and closes its screens' effects without a line each: the log said
// once that the game is silent. An effect loaded before the switch went off
// is still freed by its close.
TEST_F(Sfx, WhileEffectsAreOffNothingIsLoadedNorLogged) {
  Install({{200, 44100, "Sounds:Sfx/Click.raw"}, {200, 44100, "Sounds:Sfx/Click.raw"}});
  Sample("Sfx/Click.raw", Ramp(100));
  QoESystemPtr->SoundStatus = SOUND_MUSIC;
  log.clear();
  struct Step {
    const char* what;
    std::function<void()> call;
  };
  const Step steps[] = {
      {"open", [&] { EXPECT_EQ(Open(1), 1u); }},
      {"play", [] { EXPECT_EQ(SfxPlayer000(1, 0, 0), 0); }},
      {"loop", [] { EXPECT_EQ(SfxPlayer000(2, 0, 1), 0); }},
      {"stop", [] { EXPECT_EQ(StopSfx(2), 0); }},
      {"close", [] { CloseElmorSfx000(1); }},
      {"close of one never opened", [] { CloseElmorSfx000(2); }},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.call();
    EXPECT_TRUE(log.empty()) << log.front();
    EXPECT_EQ(UsedSlots(), 0);
  }
  // Loaded while on, the switch then off: the close frees it.
  QoESystemPtr->SoundStatus = kAll;
  ASSERT_EQ(Open(1), 1u);
  EXPECT_EQ(UsedSlots(), 1);
  QoESystemPtr->SoundStatus = SOUND_MUSIC;
  CloseElmorSfx000(1);
  EXPECT_EQ(UsedSlots(), 0);
  EXPECT_EQ(AudioBufferCount(), 0);
  EXPECT_TRUE(log.empty());
  QoESystemPtr->SoundStatus = kAll;
}

TEST_F(Sfx, HostileIndexesAndSamples) {
  // Index shorter than its header: no record.
  ASSERT_TRUE(WriteFile("Data/SfxPath", std::vector<uint8_t>(20, 0)));
  EXPECT_EQ(Open(1), 0u);
  EXPECT_TRUE(Logged("OpenElmorSfx:003\n"));
  // A count that promises records the file does not hold.
  std::vector<uint8_t> idx = MakeIndex({{200, 44100, "A.raw"}});
  PutBE32(&idx[32], 1000);
  ASSERT_TRUE(WriteFile("Data/SfxPath", idx));
  log.clear();
  EXPECT_EQ(Open(2), 0u);
  EXPECT_TRUE(Logged("OpenElmorSfx:003\n"));
  // Path offset beyond the file, and a path without its end.
  idx = MakeIndex({{200, 44100, "A.raw"}});
  PutBE32(&idx[36 + 12], 0xFFFFFFF0u);
  ASSERT_TRUE(WriteFile("Data/SfxPath", idx));
  log.clear();
  EXPECT_EQ(Open(1), 0u);
  EXPECT_TRUE(Logged("OpenElmorSfx:008 \n"));
  idx = MakeIndex({{200, 44100, "A.raw"}});
  idx.pop_back();  // the NUL
  ASSERT_TRUE(WriteFile("Data/SfxPath", idx));
  log.clear();
  EXPECT_EQ(Open(1), 0u);
  EXPECT_TRUE(Logged("OpenElmorSfx:008 A.raw\n"));
  // Missing sample file; a size or rate no buffer can have.
  Install({{200, 44100, "Gone.raw"}, {0x7FFFFFFF, 44100, "A.raw"}, {200, 0, "A.raw"}, {0, 44100, "A.raw"}});
  Sample("A.raw", Ramp(10));
  log.clear();
  EXPECT_EQ(Open(1), 0u);
  EXPECT_TRUE(Logged("OpenElmorSfx:008 Gone.raw\n"));
  for (uint32_t id = 2; id <= 4; id++) EXPECT_EQ(Open(id), 0u) << id;
  EXPECT_TRUE(Logged("OpenElmorSfx:009\n"));
  EXPECT_EQ(AudioBufferCount(), 0);
  for (uint32_t i = 0; i < SFX_SLOTS; i++) EXPECT_EQ(Sound().Sfx.Id[i], 0u);

  // A path longer than 80 characters counts with its first 80.
  std::string longName(100, 'x');
  Install({{20, 44100, longName}});
  Sample(std::string(80, 'x'), Ramp(10));
  EXPECT_EQ(Open(1), 1u);
  CloseElmorSfx000(1);

  // A sample file shorter than its record: the rest is silence.
  FreeCaches(2);
  Install({{40, 44100, "Data:Short.raw"}});
  Sample("Short.raw", Ramp(5, 100));
  ASSERT_EQ(Open(1), 1u);
  uint32_t bytes = 0;
  const int16_t* d = AudioBufferData(Sound().Sfx.Buffer[0], &bytes);
  ASSERT_EQ(bytes, 40u);
  EXPECT_EQ(std::vector<int16_t>(d, d + 20),
            (std::vector<int16_t>{100, 101, 102, 103, 104, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Sfx, OneShotReplaysFromItsStartAndLoopsStop) {
  Install({{200, 44100, "One.raw"}});
  Sample("One.raw", Ramp(100));
  ASSERT_EQ(Open(1), 1u);
  ASSERT_EQ(SfxPlayer000(1, 0, 0), 1);
  EXPECT_EQ(IsSfxPlaying(1), 0);
  std::vector<int16_t> a = Left(60), b = Left(60);
  EXPECT_EQ(a, std::vector<int16_t>(Ramp(60)));
  EXPECT_EQ(std::vector<int16_t>(b.begin(), b.begin() + 40), Ramp(40, 61));
  EXPECT_EQ(std::vector<int16_t>(b.begin() + 40, b.end()), std::vector<int16_t>(20, 0));
  EXPECT_EQ(IsSfxPlaying(1), 1);
  ASSERT_EQ(SfxPlayer000(1, 0, 0), 1);  // again, from the start
  EXPECT_EQ(Left(5), Ramp(5));

  // Looping: wraps, stops where it is, goes on from there; both channels.
  ASSERT_EQ(SfxPlayer000(1, 0, 1), 1);
  std::vector<int16_t> s = Render(150);
  for (int i = 0; i < 150; i++) {
    int16_t want = static_cast<int16_t>(1 + (i + 5) % 100);
    ASSERT_EQ(s[2 * i], want) << i;
    ASSERT_EQ(s[2 * i + 1], want) << i;
  }
  ASSERT_EQ(StopSfx(1), 1);
  EXPECT_EQ(IsSfxPlaying(1), 1);
  EXPECT_EQ(Left(10), std::vector<int16_t>(10, 0));
  ASSERT_EQ(SfxPlayer000(1, 0, 1), 1);
  EXPECT_EQ(Left(3), Ramp(3, 56));
  StopSfx(1);

  // Half the frequency: the 100 samples last 200 output frames.
  CloseElmorSfx000(1);
  ASSERT_EQ(Open(1), 1u);
  ASSERT_EQ(SfxPlayer000(1, 22050, 0), 1);
  Left(190);
  EXPECT_EQ(IsSfxPlaying(1), 0);
  Left(20);
  EXPECT_EQ(IsSfxPlaying(1), 1);
}

TEST_F(Sfx, ReleasedSamplesComeBackFromTheCache) {
  Install({{8, 44100, "C.raw"}});
  Sample("C.raw", {10, 20, 30, 40});
  ASSERT_EQ(Open(1), 1u);  // ID 1 is never cached
  CloseElmorSfx000(1);
  uint32_t size = 0;
  EXPECT_EQ(SfxCacheEntry(1, &size), nullptr);

  Install({{8, 44100, "C.raw"}, {8, 44100, "C.raw"}});
  ASSERT_EQ(Open(2), 1u);
  CloseElmorSfx000(2);
  ASSERT_NE(SfxCacheEntry(2, &size), nullptr);
  EXPECT_EQ(size, 8u);
  Sample("C.raw", {-1, -1, -1, -1});  // the disk changed; the cache wins
  log.clear();
  ASSERT_EQ(Open(2), 1u);
  EXPECT_TRUE(Logged("OpenElmorSfx: Sound aus dem Cache geladen...\n"));
  uint32_t bytes = 0;
  const int16_t* d = AudioBufferData(Sound().Sfx.Buffer[0], &bytes);
  EXPECT_EQ(std::vector<int16_t>(d, d + 4), (std::vector<int16_t>{10, 20, 30, 40}));
  // The index already in memory is used and kept.
  std::vector<uint8_t> img = MakeIndex({{8, 44100, "C.raw"}, {8, 44100, "C.raw"}, {8, 44100, "C.raw"}});
  QoESystemPtr->SfxPathImage = img.data();
  QoESystemPtr->SfxPathSize = static_cast<uint32_t>(img.size());
  QoESystemPtr->PathsLoaded = 1;
  EXPECT_EQ(OpenElmorSfx(".\\Data\\Nowhere", 3), 1u);
  QoESystemPtr->PathsLoaded = 0;
  QoESystemPtr->SfxPathImage = nullptr;
  QoESystemPtr->SfxPathSize = 0;
}

TEST_F(Sfx, SfxPathRecordReader) {
  std::vector<uint8_t> idx = MakeIndex({{4, 8000, "Work:Sounds/Sub/Bell.raw"}, {6, 11025, "plain"}});
  SfxRecord r;
  ASSERT_EQ(ReadSfxRecord(idx.data(), static_cast<uint32_t>(idx.size()), 1, &r), SFXREC_OK);
  EXPECT_EQ(r.size, 4u);
  EXPECT_EQ(r.rate, 8000u);
  EXPECT_STREQ(r.path, "Sounds\\Sub\\Bell.raw");
  ASSERT_EQ(ReadSfxRecord(idx.data(), static_cast<uint32_t>(idx.size()), 2, &r), SFXREC_OK);
  EXPECT_STREQ(r.path, "plain");
  char p[] = "a:b:c/d";
  MakeLocalSfxPath(p);  // only up to the last ':' goes
  EXPECT_STREQ(p, "c\\d");
  for (uint32_t cut = 0; cut < idx.size(); cut++)
    EXPECT_NE(ReadSfxRecord(idx.data(), cut, 2, &r), SFXREC_OK) << cut;
}

}  // namespace
