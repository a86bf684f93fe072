// Module music: the table's wrappers, the music thread's cycle on a virtual
// clock (play, fades, silence, switch requests), the sound switches, and
// the mix of effects and a module into the output at their levels.
#include <chrono>
#include <functional>
#include <thread>

#include "routinen/media/tests/sound_fixture.h"
#include "routinen/media/tune/genplayer.h"

using namespace soundtest;

namespace {

// One wait of the music thread: when it began, how long, and what played.
struct Step {
  uint64_t t;
  uint32_t ticks;
  int playing;
  int volume;
  std::string module;  // the name word
  uint32_t switchAsked;
};

// The virtual clock: each wait moves time on at once; at stopAt the thread
// parks until it is told to quit.
struct VirtualClock {
  uint64_t t = 0;
  uint64_t stopAt = 0;
  std::vector<Step> steps;
  std::function<void(uint64_t)> after;  // runs on the music thread after each wait
  std::atomic<int> parked{0};
};
VirtualClock* g_clock = nullptr;

int VirtualWait(uint32_t ticks) {
  VirtualClock& c = *g_clock;
  if (c.t >= c.stopAt) {
    c.parked = 1;
    return MusicWaitReal(1u << 24);
  }
  char name[MUSIC_NAME_SIZE];
  MusicCurrentName(name, sizeof name);
  Step s{c.t, ticks, 0, 0, name, Sound().Music.Switch.load()};
  {
    std::lock_guard<std::recursive_mutex> l(Sound().TableLock);
    const MusicModuleTable& t = Sound().Table;
    s.playing = t.Playing >= 0;
    if (t.Playing >= 0) s.volume = t.Entry[t.Playing].Volume;
  }
  c.steps.push_back(s);
  c.t += ticks * 20ull;
  if (c.after) c.after(c.t);
  return Sound().MusicQuit.load();
}

// Waits until done() holds, four minutes at most (real time).
bool WaitFor(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return done();
}

class Music : public SoundTest {
 protected:
  void SetUp() override {
    SoundTest::SetUp();
    ASSERT_TRUE(WriteFile("Mods/One.mod", ToneModule(64)));
    ASSERT_TRUE(WriteFile("Mods/Two.mod", ToneModule(32)));
    g_clock = &clock;
  }
  void TearDown() override {
    SoundSystemReset();
    g_clock = nullptr;
    SoundTest::TearDown();
  }
  // Starts the thread on the virtual clock and waits until it parks.
  void RunThread(uint64_t stopAtMs) {
    clock.stopAt = stopAtMs;
    Sound().MusicWait = VirtualWait;
    ASSERT_EQ(SetModule(".\\Mods\\One.mod"), 1);
    ASSERT_TRUE(WaitFor([this] { return clock.parked.load() == 1; }));
  }
  // Expects steps [from, from + n) to wait `ticks` each with this play state.
  void ExpectSteps(size_t from, size_t n, uint32_t ticks, int playing, int volumeStart, int volumeStep) {
    ASSERT_GE(clock.steps.size(), from + n);
    for (size_t i = 0; i < n; i++) {
      const Step& s = clock.steps[from + i];
      ASSERT_EQ(s.ticks, ticks) << from + i;
      ASSERT_EQ(s.playing, playing) << from + i;
      if (playing) {
        ASSERT_EQ(s.volume, volumeStart + volumeStep * static_cast<int>(i)) << from + i;
      }
    }
  }
  VirtualClock clock;
};

TEST_F(Music, TableWrappers) {
  ModuleRecord* a = LoadModule(".\\Mods\\One.mod", 7, 8000);
  ASSERT_NE(a, nullptr);
  ModuleRecord* b = LoadModule(".\\Mods\\Two.mod", 5, 50000);
  ASSERT_NE(b, nullptr);
  MusicModuleTable& t = Sound().Table;
  EXPECT_EQ(t.Count, 2u);
  EXPECT_EQ(t.Entry[0].Mode, 10u);
  EXPECT_EQ(t.Entry[0].Rate, 11050u);
  EXPECT_EQ(t.Entry[1].Mode, 5u);
  EXPECT_EQ(t.Entry[1].Rate, 44200u);
  EXPECT_EQ(LoadModule(".\\Mods\\Missing.mod", 10, 44100), nullptr);
  EXPECT_EQ(t.Count, 2u);

  PlayModule(b);
  ASSERT_EQ(t.Playing, 1);
  int32_t handle = t.Entry[1].Play;
  EXPECT_EQ(SetModuleVolume(b, 100), 1);
  EXPECT_EQ(TunePlayHandle(handle)->musicVolume, 64);
  EXPECT_EQ(SetModuleVolume(b, -5), 1);
  EXPECT_EQ(TunePlayHandle(handle)->musicVolume, 0);
  PlayModule(nullptr);
  StopModule(nullptr);
  FreeModule(nullptr);
  StopModule(a);  // not the playing one
  EXPECT_EQ(t.Playing, 1);
  FreeModule(a);  // the playing entry moves down
  EXPECT_EQ(t.Playing, 0);
  StopModule(b);
  EXPECT_EQ(t.Playing, -1);
  FreeModule(b);
  EXPECT_EQ(t.Count, 0u);
  EXPECT_EQ(AudioMixMusicLock(), nullptr);  // the player closed its output

  // The next load starts the player again; ten fit, the eleventh not.
  std::vector<ModuleRecord*> ms;
  for (int i = 0; i < 10; i++) {
    ms.push_back(LoadModule(".\\Mods\\One.mod", 10, 44100));
    ASSERT_NE(ms.back(), nullptr) << i;
  }
  ASSERT_NE(AudioMixMusicLock(), nullptr);
  AudioMixMusicUnlock();
  EXPECT_EQ(LoadModule(".\\Mods\\One.mod", 10, 44100), nullptr);
  for (ModuleRecord* m : ms) FreeModule(m);
  EXPECT_EQ(t.Count, 0u);
}

TEST_F(Music, ThreadCycleOnTheVirtualClock) {
  const uint64_t cycle = 180 * 1000 + 64 * 300 + 180 * 1000 + 64 * 300;
  RunThread(cycle + 5 * 1000);
  char name[MUSIC_NAME_SIZE];
  MusicCurrentName(name, sizeof name);
  EXPECT_STREQ(name, ".\\Mods\\One.mod");
  ExpectSteps(0, 180, 50, 1, 64, 0);     // three minutes of music
  ExpectSteps(180, 64, 15, 1, 64, -1);   // fade out 64 .. 1, 300 ms apart
  ExpectSteps(244, 180, 50, 0, 0, 0);    // three minutes of silence
  ExpectSteps(424, 64, 15, 1, 1, 1);     // fade in 1 .. 64
  ExpectSteps(488, 5, 50, 1, 64, 0);     // and again
  EXPECT_EQ(clock.steps.size(), 493u);
  EXPECT_EQ(clock.steps[244].t, 180000u + 19200u);
  EXPECT_EQ(Sound().MusicThreads.load(), 1);
  ExitSound();
  EXPECT_EQ(Sound().MusicThreads.load(), 0);
  EXPECT_EQ(Sound().Music.Module.load(), nullptr);
  EXPECT_EQ(Sound().Table.Count, 0u);
  EXPECT_EQ(QoESystemPtr->SoundStatus.load(), kAll);  // ExitSound keeps the status
}

TEST_F(Music, SwitchDuringPlayFadesOutFirst) {
  clock.after = [](uint64_t t) {
    if (t == 30000) MusicSwitchTo(".\\Mods\\Two.mod");
  };
  RunThread(30000 + 64 * 300 + 10 * 1000);
  ExpectSteps(0, 30, 50, 1, 64, 0);
  ExpectSteps(30, 64, 15, 1, 64, -1);  // the fade runs to its end
  ExpectSteps(94, 10, 50, 1, 64, 0);   // the new module at full volume
  EXPECT_EQ(clock.steps[29].module, ".\\Mods\\One.mod");
  EXPECT_EQ(clock.steps[93].switchAsked, 1u);  // the switch waits for the fade
  EXPECT_EQ(clock.steps[94].switchAsked, 0u);  // and is made
  EXPECT_EQ(clock.steps[94].module, ".\\Mods\\Two.mod");
  char name[MUSIC_NAME_SIZE];
  MusicCurrentName(name, sizeof name);
  EXPECT_STREQ(name, ".\\Mods\\Two.mod");
  EXPECT_EQ(Sound().Music.Switch.load(), 0u);
  EXPECT_EQ(Sound().Table.Count, 1u);
}

TEST_F(Music, SwitchDuringSilenceLoadsAtOnce) {
  const uint64_t silence = 180 * 1000 + 64 * 300;
  clock.after = [=](uint64_t t) {
    if (t == silence + 5000) MusicSwitchTo(".\\Mods\\Two.mod");
  };
  RunThread(silence + 5000 + 3000);
  ExpectSteps(244, 5, 50, 0, 0, 0);
  ExpectSteps(249, 3, 50, 1, 64, 0);
  EXPECT_EQ(clock.steps[249].t, silence + 5000);
}

TEST_F(Music, SwitchDuringFadeInIsMadeAtTheCycleStart) {
  const uint64_t fadeIn = 2 * 180 * 1000 + 64 * 300;
  clock.after = [=](uint64_t t) {
    if (t == fadeIn + 3000) MusicSwitchTo(".\\Mods\\Two.mod");
  };
  RunThread(fadeIn + 64 * 300 + 2000);
  ExpectSteps(424, 64, 15, 1, 1, 1);  // the fade-in ends
  ExpectSteps(488, 2, 50, 1, 64, 0);
  EXPECT_EQ(clock.steps[487].switchAsked, 1u);  // asked for, not yet made
  EXPECT_EQ(clock.steps[488].switchAsked, 0u);
  EXPECT_EQ(clock.steps[488].module, ".\\Mods\\Two.mod");
  EXPECT_EQ(Sound().Table.Count, 1u);
}

TEST_F(Music, ModuleThatCannotLoadEndsTheThread) {
  Sound().MusicWait = VirtualWait;
  ASSERT_EQ(SetModule(".\\Mods\\Missing.XM"), 1);
  ASSERT_TRUE(WaitFor([] { return (QoESystemPtr->SoundStatus.load() & SOUND_FASTTRACKER) == 0; }));
  ASSERT_TRUE(WaitFor([] { return Sound().MusicThreads.load() == 0; }));
  EXPECT_EQ(QoESystemPtr->SoundStatus.load(), kAll & ~SOUND_FASTTRACKER);
  EXPECT_TRUE(clock.steps.empty());
}

TEST_F(Music, SoundMaskeComputesTheStatus) {
  Sound().MusicWait = VirtualWait;  // parked at its first wait
  // Options 63, capabilities 41: 41, music started, no click.
  QoESystemPtr->Optionen.sound_optionen = 63;
  QoESystemPtr->SoundCapabilities = 41;
  EXPECT_EQ(SoundMaske(0, ".\\Mods\\One.mod"), 1);
  EXPECT_EQ(QoESystemPtr->SoundStatus.load(), 41u);
  EXPECT_NE(Sound().MusicThread, nullptr);
  EXPECT_EQ(AudioBufferCount(), 0);
  EXPECT_TRUE(Logged("SoundStatus  :\n"));
  EXPECT_TRUE(Logged("FASTTRACKER ?: yes\n"));
  ExitSound();
  EXPECT_EQ(QoESystemPtr->SoundStatus.load(), 41u);
  EXPECT_TRUE(Logged("Exit Soundstatus  : 41\n"));
  // CD and modules asked for together: modules win.
  QoESystemPtr->SoundCapabilities = 63;
  EXPECT_EQ(SoundMaske(4 | 41, ".\\Mods\\One.mod"), 1);
  EXPECT_EQ(QoESystemPtr->SoundStatus.load(), 41u);
  ExitSound();
  // No thread: the CD stays, module music and music go.
  Sound().FailThreadStart = 1;
  log.clear();
  EXPECT_EQ(SoundMaske(4 | 41, ".\\Mods\\One.mod"), 1);
  EXPECT_EQ(QoESystemPtr->SoundStatus.load(), 5u);
  EXPECT_TRUE(Logged("SetModule: Konnte ModuleProzess nicht anlegen...\n"));
  ExitSound();
}

TEST_F(Music, SoundMaskeReleasesLoadedEffectsAndLoadsTheClick) {
  ASSERT_TRUE(WriteFile("Data/SfxPath", MakeIndex({{8, 44100, "Click.raw"}, {8, 44100, "Loop.raw"}})));
  ASSERT_TRUE(WriteFile("Click.raw", SampleBytes({500, 500, 500, 500})));
  ASSERT_TRUE(WriteFile("Loop.raw", SampleBytes({7, 7, 7, 7})));
  const uint32_t fx = SOUND_16BIT | SOUND_SOUNDFX;
  EXPECT_EQ(SoundMaske(fx, nullptr), 1);
  EXPECT_EQ(Sound().Sfx.Id[0], 1u);
  ASSERT_EQ(OpenElmorSfx(".\\Data\\SfxPath", 2), 1u);
  ASSERT_EQ(OpenElmorSfx(".\\Data\\SfxPath", 2), 1u);
  ASSERT_EQ(SfxPlayer000(2, 0, 1), 1);
  EXPECT_EQ(AudioBufferCount(), 3);
  EXPECT_EQ(SoundMaske(fx, nullptr), 1);  // everything released, the click again
  EXPECT_EQ(AudioBufferCount(), 1);
  EXPECT_EQ(Sound().Sfx.Id[0], 1u);
  for (uint32_t i = 1; i < SFX_SLOTS; i++) EXPECT_EQ(Sound().Sfx.Id[i], 0u);
  EXPECT_EQ(Left(8), std::vector<int16_t>(8, 0));  // the loop no longer sounds
  ClickSound();  // what WaitEvent plays on a button press
  EXPECT_EQ(IsSfxPlaying(1), 0);
  EXPECT_EQ(Left(4), std::vector<int16_t>(4, 500));
  ExitSound();
  EXPECT_EQ(AudioBufferCount(), 0);
  // Without the click's sample the switch fails.
  ASSERT_TRUE(WriteFile("Data/SfxPath", std::vector<uint8_t>(8, 0)));
  EXPECT_EQ(SoundMaske(fx, nullptr), 0);
}

// The module alone, then with two looping effects: the difference is the
// effects at unit gain on both channels, every frame.
TEST_F(Music, EffectsAndModuleMixAtTheirLevels) {
  ASSERT_TRUE(WriteFile("Data/SfxPath", MakeIndex({{2, 44100, "X.raw"}, {100, 22050, "Hi.raw"}, {60, 44100, "Lo.raw"}})));
  ASSERT_TRUE(WriteFile("Hi.raw", SampleBytes(std::vector<int16_t>(50, 1000))));
  ASSERT_TRUE(WriteFile("Lo.raw", SampleBytes(std::vector<int16_t>(30, -300))));
  auto run = [this](bool effects) {
    ModuleRecord* m = LoadModule(".\\Mods\\One.mod", 10, 44100);
    EXPECT_NE(m, nullptr);
    TUNEstopBackgroundPlay();  // the test moves the player on itself
    PlayModule(m);
    if (effects) {
      EXPECT_EQ(OpenElmorSfx(".\\Data\\SfxPath", 2), 1u);
      EXPECT_EQ(OpenElmorSfx(".\\Data\\SfxPath", 3), 1u);
      SfxPlayer000(2, 0, 1);
      SfxPlayer000(3, 0, 1);
    }
    std::vector<int16_t> all;
    for (int k = 0; k < 40; k++) {
      PollPlayer();
      std::vector<int16_t> r = Render(441);
      all.insert(all.end(), r.begin(), r.end());
    }
    StopModule(m);
    FreeModule(m);
    CloseElmorSfx000(2);
    CloseElmorSfx000(3);
    return all;
  };
  std::vector<int16_t> alone = run(false), mixed = run(true);
  ASSERT_EQ(alone.size(), mixed.size());
  for (size_t i = 0; i < alone.size(); i++) ASSERT_EQ(mixed[i] - alone[i], 700) << i;
  // The module is heard on its channel's side once its first row played
  // (six ticks) through the 100 ms ring: from 250 ms on.
  int loud = 0;
  for (size_t f = 11025; f < alone.size() / 2; f++) loud += alone[2 * f] == 4096;
  EXPECT_EQ(loud, static_cast<int>(alone.size() / 2 - 11025));
}

// ExitSound then SoundMaske, over and over, with real waits: never two
// music threads, one at the end.
TEST_F(Music, ExitSoundThenSoundMaskeThread) {
  for (int i = 0; i < 100; i++) {
    ExitSound();
    ASSERT_EQ(Sound().MusicThreads.load(), 0);
    ASSERT_EQ(SoundMaske(SOUND_16BIT | SOUND_FASTTRACKER | SOUND_MUSIC, ".\\Mods\\One.mod"), 1);
    ASSERT_LE(Sound().MusicThreads.load(), 1);
    if (i % 10 == 0) MusicSwitchTo(".\\Mods\\Two.mod");
  }
  EXPECT_TRUE(WaitFor([] { return Sound().MusicThreads.load() == 1; }));
  ExitSound();
  EXPECT_EQ(Sound().MusicThreads.load(), 0);
  EXPECT_EQ(Sound().Table.Count, 0u);
}

}  // namespace
