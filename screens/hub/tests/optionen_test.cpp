// The sound page: its switch rules as a table, the fields' numbers, the
// notch and the volume on a track, and the page by headless script (the
// restart of the sound, what each way out stores, a PNG).
#include "screens/hub/optionen.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/audio_sdl.h"
#include "platform/headless.h"
#include "routinen/media/sound.h"
#include "routinen/system/input.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/tests/savegame_support.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"

namespace {

enum : uint32_t {
  AHI = SOUND_16BIT, WAVE = SOUND_WAVETABLE, CD = SOUND_CDROM, DIGI = SOUND_FASTTRACKER, FX = SOUND_SOUNDFX,
  MUSIC = SOUND_MUSIC, CDVOL = SOUND_CD_VOLUME, FXVOL = SOUND_SFX_VOLUME,
};

struct RuleRow {
  const char* what;
  uint32_t mask, caps;
  int32_t cd;
  uint32_t sw;
  uint32_t newMask, newCaps, message;
};

const RuleRow kRules[] = {
    {"AHI without the capability", 0, FX, 0, 0, 0, FX, 787},
    {"AHI on", FX, AHI | FX, 0, 0, AHI | FX, AHI | FX, 0},
    {"AHI off, no music", AHI | FX, AHI | FX, 0, 0, FX, AHI | FX, 0},
    {"AHI off with module music on", AHI | DIGI | MUSIC | FX, AHI | DIGI | MUSIC | FX, 0, 0, FX,
     AHI | DIGI | MUSIC | FX, 786},
    {"AHI off with CD music on", AHI | CD | MUSIC, AHI | CD | MUSIC, 1, 0, CD, AHI | CD | MUSIC, 786},
    {"wavetable never", AHI, AHI | WAVE, 0, 1, AHI, AHI | WAVE, 788},
    {"CD on without a drive", AHI, AHI | CD, 0, 2, AHI, AHI, 789},
    {"CD on with a drive", AHI, AHI, 1, 2, AHI | CD | MUSIC, AHI | CD, 0},
    {"CD on against DIGIBOOSTER", AHI | DIGI | MUSIC, AHI | DIGI | MUSIC, 1, 2, AHI | CD | MUSIC, AHI | DIGI | MUSIC | CD, 0},
    {"CD off takes its volume", AHI | CD | MUSIC | CDVOL, AHI | CD, 1, 2, AHI | MUSIC, AHI | CD, 0},
    {"DIGIBOOSTER with AHI off", FX, DIGI | FX, 0, 3, FX, DIGI | FX, 790},
    {"DIGIBOOSTER on against CDROMSOUND", AHI | CD | MUSIC, AHI | CD | DIGI | MUSIC, 1, 3, AHI | DIGI | MUSIC,
     AHI | CD | DIGI | MUSIC, 0},
    {"DIGIBOOSTER on turns MUSIC on", AHI, AHI | DIGI | MUSIC, 0, 3, AHI | DIGI | MUSIC, AHI | DIGI | MUSIC, 0},
    {"DIGIBOOSTER off leaves MUSIC", AHI | DIGI | MUSIC, AHI | DIGI | MUSIC, 0, 3, AHI | MUSIC, AHI | DIGI | MUSIC, 0},
    {"SOUNDFX on", 0, FX, 0, 4, FX, FX, 0},
    {"SOUNDFX off takes SFX_VOLUME", FX | FXVOL, FX, 0, 4, 0, FX, 0},
    {"MUSIC off with DIGIBOOSTER", AHI | DIGI | MUSIC, AHI | DIGI | MUSIC, 0, 5, AHI | DIGI, AHI | DIGI | MUSIC, 0},
    {"MUSIC on with CD present", AHI | CD, AHI, 1, 5, AHI | CD | MUSIC, AHI | CD, 0},
    {"MUSIC on with DIGIBOOSTER", AHI | DIGI, AHI | DIGI | MUSIC, 1, 5, AHI | DIGI | MUSIC, AHI | DIGI | MUSIC, 0},
    {"MUSIC with no source", AHI, AHI | MUSIC, 0, 5, AHI, AHI | MUSIC, 791},
    {"MUSIC on without a source goes off", AHI | MUSIC, AHI | MUSIC, 0, 5, AHI, AHI | MUSIC, 0},
    {"CD_VOLUME toggles", 0, 0, 0, 6, CDVOL, 0, 0},
    {"CD_VOLUME off", CDVOL, 0, 0, 6, 0, 0, 0},
    {"SFX_VOLUME toggles", FX, FX, 0, 7, FX | FXVOL, FX, 0},
    {"no switch 8", AHI, AHI, 0, 8, AHI, AHI, 0},
};

TEST(SoundSwitchRules, EverySwitchInTheStatesThatMatter) {
  for (const RuleRow& r : kRules) {
    const SoundSwitchOutcome o = SoundSwitchRule(r.mask, r.caps, r.cd, r.sw);
    EXPECT_EQ(o.mask, r.newMask) << r.what;
    EXPECT_EQ(o.caps, r.newCaps) << r.what;
    EXPECT_EQ(o.message, r.message) << r.what;
  }
}

TEST(SoundSwitchRules, TheVolumeSwitchesComeFromTheOptions) {
  // The machine never offers 64 and 128, so the sound in force never holds
  // them: they are the options' wish.
  EXPECT_EQ(SoundWorkingMask(AHI | FX, CDVOL | FXVOL | AHI), AHI | FX | CDVOL | FXVOL);
  EXPECT_EQ(SoundWorkingMask(AHI | FX | CDVOL, 0), AHI | FX);
  EXPECT_EQ(SoundWorkingMask(0xFFFFFFFFu, 0), 63u);
}

TEST(SoundSwitchRules, AMachineWithoutSoundKeepsTheWishItCannotShow) {
  const uint32_t wish = AHI | DIGI | FX | MUSIC;
  // With a sound output the page stores what it shows.
  EXPECT_EQ(SoundMaskToStore(wish, AHI, AHI, AHI | FX), AHI);
  EXPECT_EQ(SoundMaskToStore(wish, 0, FX, AHI | FX), FX);
  // Without one nothing is in force: the wish stays, changed only by the
  // switches pressed on this visit (effects on, module music off).
  EXPECT_EQ(SoundMaskToStore(wish, 0, 0, 0), wish);
  EXPECT_EQ(SoundMaskToStore(wish, 0, 0, CD), wish);
  EXPECT_EQ(SoundMaskToStore(AHI | MUSIC, 0, FX, 0), AHI | MUSIC | FX);
  EXPECT_EQ(SoundMaskToStore(wish, DIGI | MUSIC, MUSIC, 0), AHI | FX | MUSIC);
  EXPECT_EQ(SoundMaskToStore(wish, CDVOL, 0, 0), wish);
}

TEST(SoundFields, NumbersThatFitTheirOptionField) {
  uint32_t v = 7;
  EXPECT_EQ(ParseSoundField(3, "0x1F", &v), 1);
  EXPECT_EQ(v, 31u);
  EXPECT_EQ(ParseSoundField(3, "31", &v), 1);
  EXPECT_EQ(v, 31u);
  EXPECT_EQ(ParseSoundField(3, "0xFFFFFFFF", &v), 1);
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_EQ(ParseSoundField(1, "65535", &v), 1);
  EXPECT_EQ(v, 65535u);
  EXPECT_EQ(ParseSoundField(4, "4294967295", &v), 1);
  v = 7;
  for (const auto& [n, text] : std::vector<std::pair<uint32_t, const char*>>{
           {1, "65536"}, {2, "70000"}, {4, "4294967296"}, {3, "0x100000000"}, {3, "0x"}, {1, ""}, {1, "-1"},
           {1, "+1"}, {2, "12a"}, {4, " 5"}, {1, "0x10"}, {4, "99999999999999999999999"}, {3, "0xG"}, {0, "1"},
           {5, "1"}}) {
    EXPECT_EQ(ParseSoundField(n, text, &v), 0) << n << " " << text;
  }
  EXPECT_EQ(ParseSoundField(1, nullptr, &v), 0);
  EXPECT_EQ(v, 7u);
}

TEST(SoundSliders, TheNotchAndTheVolumeOnATrack) {
  EXPECT_EQ(NotchX(452, 592, 0), 452);
  EXPECT_EQ(NotchX(452, 592, 50), 452 + 133 / 2);
  EXPECT_EQ(NotchX(452, 592, 100), 592 - 7);
  EXPECT_EQ(NotchX(452, 592, 250), 592 - 7);
  EXPECT_EQ(VolumeAt(452, 592, 452), 0);
  EXPECT_EQ(VolumeAt(452, 592, 522), 50);
  EXPECT_EQ(VolumeAt(452, 592, 592), 100);
  EXPECT_EQ(VolumeAt(452, 592, 300), 0);    // left of the track
  EXPECT_EQ(VolumeAt(452, 592, 639), 100);  // right of it
  EXPECT_EQ(VolumeAt(452, 452, 500), -1);   // a track of no width does nothing
  EXPECT_EQ(VolumeAt(452, 400, 500), -1);
}

class SoundPage : public ::testing::Test {
 protected:
  void SetUp() override {
    savegame_test::PrepareTitleFolder();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    ASSERT_EQ(OptionenPrefsSave(&QoESystemPtr->Optionen), 1);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    ASSERT_EQ(AudioMixOpen(44100, 0), 1);
    QoESystemPtr->SoundCapabilities = AHI | FX;
    QoESystemPtr->SoundStatus = AHI;
  }
  void TearDown() override {
    ExitSound();
    AudioMixClose();
    savegame_test::CloseScreenTestDisplay();
  }
  static int32_t Run(const std::string& script) { return savegame_test::RunScreen(OptionenScreen, 133, script); }
  static std::string Click(int x, int y) { return qoe_test::ClickLine(x, y); }
  static std::string Switch(int n) { return Click(150, 94 + n * 40); }
  static std::string Field(int n) { return Click(520, 96 + n * 45); }
  static std::string Keys(const char* key, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) s += std::string("key ") + key + "\n";
    return s;
  }
  static std::vector<uint8_t> Prefs() { return qoe_test::ReadFileBytes("Data/Optionen.prefs"); }
  static constexpr int kOk = 320, kNext = 440, kPrev = 200, kExit = 565, kRow = 445;
};

TEST_F(SoundPage, EachChangeRestartsTheSoundOnce) {
  qoe_test::SoundRecorder rec;
  // SOUNDFX on, then a refused switch (wavetable, its message confirmed):
  // one restart, which loads the click.
  EXPECT_EQ(Run(Switch(4) + "wait 100\n" + Switch(1) + "wait 300\nkey enter\nwait 100\n" + Click(kExit, kRow)), 2);
  EXPECT_EQ(rec.Count(SFX_CALL_OPEN, 1), 1u);
  EXPECT_EQ(QoESystemPtr->SoundStatus.load(), AHI | FX);
  // EXIT stored nothing in the options: the sound runs as switched, the wish
  // is the old one.
  EXPECT_EQ(QoESystemPtr->Optionen.sound_optionen, (AHI | DIGI | FX | MUSIC));
}

TEST_F(SoundPage, EverySwitchOffSilencesInsteadOfTakingTheOptions) {
  // AHI off leaves a mask of 0; read as "the options' mask" it would switch
  // the effects (16) back on.
  EXPECT_EQ(Run(Switch(0) + "wait 100\n" + Click(kExit, kRow)), 2);
  EXPECT_EQ(QoESystemPtr->SoundStatus.load(), 0u);
}

TEST_F(SoundPage, AFailedRestartEndsTheGame) {
  QoESystemPtr->SoundStatus = AHI;
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/SfxPath", std::vector<uint8_t>(8, 0)));
  EXPECT_EQ(Run(Switch(4) + "wait 100\n" + Click(kExit, kRow)), -1);
}

TEST_F(SoundPage, TheFieldsAndWhatEachWayOutStores) {
  const auto saved = Prefs();
  ASSERT_EQ(saved.size(), (size_t)OPTIONEN_PREFS_SIZE);
  const std::string type_hex = Field(3) + Keys("backspace", 12) + "text 0x1F\n";
  // EXIT stores nothing.
  EXPECT_EQ(Run(type_hex + Field(1) + Keys("backspace", 3) + "text 7\n" + Click(kExit, kRow)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.audio3, 0xFFFFFFFFu);
  EXPECT_EQ(QoESystemPtr->Optionen.cd_unit, 0u);
  EXPECT_EQ(Prefs(), saved);
  // NEXT stores without saving; "0x1F" is 31.
  EXPECT_EQ(Run(type_hex + "key enter\n" + Click(kNext, kRow)), 134);
  EXPECT_EQ(QoESystemPtr->Optionen.audio3, 31u);
  EXPECT_EQ(Prefs(), saved);
  // PREV: "31" in decimal is 31 as well; a unit that does not fit 16 bits
  // and a letter in field 2 are refused and keep their values.
  EXPECT_EQ(Run(Field(3) + Keys("backspace", 12) + "text 31\n" + Field(1) + Keys("backspace", 3) +
                "text 70000\n" + Field(2) + "text x\n" + Click(kPrev, kRow)),
            1141);
  EXPECT_EQ(QoESystemPtr->Optionen.audio3, 31u);
  EXPECT_EQ(QoESystemPtr->Optionen.cd_unit, 0u);
  EXPECT_EQ(QoESystemPtr->Optionen.audio2, 0u);
  EXPECT_EQ(Prefs(), saved);
  // OK saves: the file holds exactly the new values (big-endian), Tab goes
  // through the fields (4 wraps to 0: the device).
  EXPECT_EQ(Run(Field(4) + Keys("backspace", 6) + "text 11025\nkey tab\ntext cd1\nkey tab\n" +
                Keys("backspace", 3) + "text 2\n" + Click(kOk, kRow)),
            2);
  auto expected = saved;
  expected[3] = AHI;  // the working mask: the sound in force
  expected[46] = 0, expected[47] = 2;                                    // unit
  expected[50] = 0, expected[51] = 0, expected[52] = 0, expected[53] = 31;  // value 3 (from the last visit)
  expected[54] = 0, expected[55] = 0, expected[56] = 0x2B, expected[57] = 0x11;  // 11025
  expected[6] = 'c', expected[7] = 'd', expected[8] = '1';
  EXPECT_EQ(Prefs(), expected);
  EXPECT_STREQ(QoESystemPtr->Optionen.cd_device, "cd1");
}

TEST_F(SoundPage, TheSlidersAndTheVolumeSwitchesOverASecondVisit) {
  QoESystemPtr->Optionen.cd_volume = 10;
  // The slider does nothing while its switch is off.
  EXPECT_EQ(Run(Click(522, 320) + Click(kExit, kRow)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.cd_volume, 10u);
  // CD_VOLUME on: the slider sets the volume from the mouse (middle, past
  // the end, before the start); OK keeps the switch in the options' wish.
  EXPECT_EQ(Run(Switch(6) + "wait 100\n" + Click(522, 320) + "wait 100\n" + "png mid.png\n" + Click(kOk, kRow)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.cd_volume, 50u);
  EXPECT_EQ(QoESystemPtr->Optionen.sound_optionen & CDVOL, (uint32_t)CDVOL);
  EXPECT_EQ(QoESystemPtr->SoundStatus.load() & CDVOL, 0u);  // the machine never offers it
  EXPECT_EQ(Run(Click(596, 320) + Click(kNext, kRow)), 134);
  EXPECT_EQ(QoESystemPtr->Optionen.cd_volume, 100u);
  EXPECT_EQ(Run(Click(447, 320) + Click(kNext, kRow)), 134);
  EXPECT_EQ(QoESystemPtr->Optionen.cd_volume, 0u);
  // The second visit starts with the switch on: pressed again it goes off.
  EXPECT_EQ(Run(Switch(6) + "wait 100\n" + Click(kNext, kRow)), 134);
  EXPECT_EQ(QoESystemPtr->Optionen.sound_optionen & CDVOL, 0u);
}

TEST_F(SoundPage, PagingThroughOnAMachineWithoutSoundKeepsTheSoundWish) {
  // No sound output (a start without an audio device): nothing is in
  // force, every lamp shows off.
  QoESystemPtr->SoundCapabilities = 0;
  QoESystemPtr->SoundStatus = 0;
  const uint32_t wish = QoESystemPtr->Optionen.sound_optionen;
  ASSERT_EQ(wish, (AHI | DIGI | FX | MUSIC));
  // NEXT stores without changing the wish; OK saves it unchanged.
  EXPECT_EQ(Run(Click(kNext, kRow)), 134);
  EXPECT_EQ(QoESystemPtr->Optionen.sound_optionen, wish);
  EXPECT_EQ(Run(Click(kOk, kRow)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.sound_optionen, wish);
  EXPECT_EQ(Prefs()[3], wish);
  // A switch pressed there still counts: the effects volume on.
  EXPECT_EQ(Run(Switch(7) + "wait 100\n" + Click(kOk, kRow)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.sound_optionen, wish | FXVOL);
}

TEST_F(SoundPage, ThePage) {
  QoESystemPtr->Optionen.sound_optionen |= CDVOL;
  EXPECT_EQ(Run("wait 200\npng option_sound.png\n" + Click(kExit, kRow)), 2);
  EXPECT_TRUE(qoe_test::KeepPng("option_sound.png"));
}

}  // namespace
