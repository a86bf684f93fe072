// Player rules on modules made for each rule: per-tick traces of period,
// volume and panning checked against values worked out by hand.
#include <gtest/gtest.h>

#include <vector>

#include "routinen/media/tune/dmix.h"
#include "routinen/media/tune/genplayer.h"
#include "module_writer.h"
#include "tune_fixture.h"

using namespace modwriter;

namespace {

class Player : public TuneTest {};

// MOD note indexes: octave x 12 + semitone into the period table (C-2 = 24, period 428).
constexpr int C2 = 24, C3 = 36;

Song ModSong(int channels = 4) {
  Song s;
  s.channels = channels;
  s.samples.push_back(Dc(2000, 64));
  return s;
}

TEST_F(Player, FirstRowOnSixthTickAndSpeedChange) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{C2, 1, -1, 0xF, 3};
  Play(WriteMod(s));
  Tick(5);
  EXPECT_EQ(Ch(0).basePeriod, 0u);
  EXPECT_EQ(Dev(0)->status, CH_OFF);
  Tick(1);
  EXPECT_EQ(Ch(0).basePeriod, 428u);
  EXPECT_EQ(Dev(0)->status, CH_PLAYING);
  EXPECT_EQ(Dev(0)->rate, 3546895u / 428);
  EXPECT_EQ(h->speed, 3u);
  EXPECT_EQ(h->row, 1);
  Tick(2);
  EXPECT_EQ(h->row, 1);
  Tick(1);
  EXPECT_EQ(h->row, 2);
}

TEST_F(Player, SetSpeedZeroRestartsExceptS3m) {
  Song s = ModSong();
  s.orders = {0, 1};
  s.patterns.resize(2);
  s.patterns[1].at(2, 0) = Cell{kNoNote, 0, -1, 0xF, 0};
  s.patterns[0].at(0, 0) = Cell{kNoNote, 0, -1, 0xB, 1};
  Play(WriteMod(s));
  Tick(6);
  EXPECT_EQ(h->position, 1);
  EXPECT_EQ(h->loopCounter, 0u);
  Tick(6 * 3);  // rows 0..2 of pattern 1: F00 restarts the song
  EXPECT_EQ(h->position, 0);
  EXPECT_EQ(h->row, 0);
  EXPECT_EQ(h->loopCounter, 1u);

  Song t;
  t.channels = 1;
  t.samples.push_back(Dc(100, 10));
  t.patterns[0].at(0, 0) = Cell{kNoNote, 0, -1, 'A', 0};
  t.patterns[0].at(1, 0) = Cell{kNoNote, 0, -1, 'T', 150};
  Unload();
  Play(WriteS3m(t));
  Tick(6);
  EXPECT_EQ(h->speed, 6u);
  EXPECT_EQ(h->row, 1);
  EXPECT_EQ(h->loopCounter, 0u);
  Tick(6);
  EXPECT_EQ(h->tempo, 150u);
}

TEST_F(Player, PatternBreakPastRow63AndPositionJumpCountsLoop) {
  Song s = ModSong();
  s.orders = {0, 1};
  s.patterns.resize(2);
  s.patterns[0].at(0, 0) = Cell{kNoNote, 0, -1, 0xD, 0x70};
  s.patterns[1].at(63, 1) = Cell{kNoNote, 0, -1, 0xB, 0x01};
  Play(WriteMod(s), 0);
  Tick(6);
  EXPECT_EQ(h->position, 1);
  EXPECT_EQ(h->row, 63);
  Tick(6);  // B01 jumps to the same position: one loop, and without the loop flag the song rests
  EXPECT_EQ(h->position, 1);
  EXPECT_EQ(h->row, 0);
  EXPECT_EQ(h->loopCounter, 1u);
  Tick(20);
  EXPECT_EQ(h->row, 0);
  EXPECT_EQ(h->tick, 0u);
}

std::vector<int> PlayedRows(PlayHandle* h, int rows) {
  std::vector<int> out;
  for (int i = 0; i < rows; i++) {
    out.push_back(h->row);
    PlayerPlay();
  }
  return out;
}

TEST_F(Player, PatternLoopPerChannelInMod) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{kNoNote, 0, -1, 0xF, 1};
  s.patterns[0].at(1, 0) = Cell{kNoNote, 0, -1, 0xE, 0x60};
  s.patterns[0].at(3, 0) = Cell{kNoNote, 0, -1, 0xE, 0x62};
  s.patterns[0].at(1, 1) = Cell{kNoNote, 0, -1, 0xE, 0x60};
  s.patterns[0].at(2, 1) = Cell{kNoNote, 0, -1, 0xE, 0x61};
  Play(WriteMod(s));
  Tick(6);  // row 0
  std::vector<int> rows = PlayedRows(h, 16);
  // channel 0 loops 1..3 twice; channel 1 loops 1..2 once on every pass,
  // since its own counter starts again after each of its loops
  std::vector<int> expect = {1, 2, 1, 2, 3, 1, 2, 1, 2, 3, 1, 2, 1, 2, 3, 4};
  EXPECT_EQ(rows, expect);
}

TEST_F(Player, PatternLoopPerSongInS3m) {
  Song s;
  s.channels = 2;
  s.speed = 1;
  s.samples.push_back(Dc(100, 10));
  s.patterns[0].at(1, 0) = Cell{kNoNote, 0, -1, 'S', 0xB0};
  s.patterns[0].at(2, 1) = Cell{kNoNote, 0, -1, 'S', 0xB2};
  Play(WriteS3m(s));
  Tick(1);  // row 0
  EXPECT_EQ(PlayedRows(h, 8), (std::vector<int>{1, 2, 1, 2, 1, 2, 3, 4}));
}

TEST_F(Player, PatternDelayRepeatsTheRow) {
  Song s;
  s.channels = 1;
  s.speed = 2;
  s.samples.push_back(Dc(100, 10));
  s.patterns[0].at(0, 0) = Cell{kNoNote, 0, -1, 'S', 0xE2};
  Play(WriteS3m(s));
  Tick(2);  // row 0 sets the delay
  EXPECT_EQ(h->row, 1);
  Tick(4);  // two more rows of 2 ticks
  EXPECT_EQ(h->row, 1);
  Tick(2);
  EXPECT_EQ(h->row, 2);
}

TEST_F(Player, VolumeSlidesOnTicksAndFineOnRow) {
  Song s;
  s.channels = 2;
  s.speed = 3;
  s.samples.push_back(Dc(1000, 10));
  s.patterns[0].at(0, 0) = Cell{48, 1, 40, 'D', 0x0F};
  s.patterns[0].at(0, 1) = Cell{48, 1, 40, 'D', 0xF1};
  s.patterns[0].at(1, 0) = Cell{kNoNote, 0, -1, 'D', 0x00};  // memory: 0F again
  Play(WriteS3m(s));
  Tick(3);
  EXPECT_EQ(Ch(0).volume, 40);  // D0F: not on the row without fast slides
  EXPECT_EQ(Ch(1).volume, 39);  // DF1: fine slide on the row
  Tick(1);
  EXPECT_EQ(Ch(0).volume, 25);
  EXPECT_EQ(Ch(1).volume, 39);
  Tick(1);
  EXPECT_EQ(Ch(0).volume, 10);
  Tick(2);
  EXPECT_EQ(Ch(0).volume, 0);
  // the volume reaches the device: (64 x 64 x 39 x 64 + 0x3FFFF) >> 18 = 39
  EXPECT_EQ(Dev(1)->volume, 39u);

  Song f = s;
  f.s3mVersion = 0x1300;  // old trackers slide on the row too
  Unload();
  Play(WriteS3m(f));
  Tick(3);
  EXPECT_EQ(Ch(0).volume, 25);
}

TEST_F(Player, S3mVolume64PlaysAs63) {
  Song s;
  s.channels = 1;
  s.samples.push_back(Dc(1000, 10));
  s.patterns[0].at(0, 0) = Cell{48, 1, 64, 0, 0};
  Play(WriteS3m(s));
  Tick(6);
  EXPECT_EQ(Ch(0).volume, 63);
  EXPECT_EQ(Dev(0)->volume, 63u);
}

TEST_F(Player, ModPortamentoAndToneWithMemory) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{C2, 1, -1, 0x1, 0x10};   // 428, up 16 per tick
  s.patterns[0].at(1, 0) = Cell{C3, 0, -1, 0x3, 0x08};   // toward 214 by 8
  s.patterns[0].at(2, 0) = Cell{kNoNote, 0, -1, 0x3, 0}; // remembered speed
  s.patterns[0].at(3, 0) = Cell{kNoNote, 0, -1, 0x3, 0xFF};
  Play(WriteMod(s));
  Tick(6);
  EXPECT_EQ(Ch(0).basePeriod, 428u);
  Tick(5);
  EXPECT_EQ(Ch(0).basePeriod, 428u - 5 * 16);
  Tick(1);  // row 1: the note does not restart, it becomes the target
  EXPECT_EQ(Ch(0).targetPeriod, 214u);
  EXPECT_EQ(Ch(0).basePeriod, 348u);
  Tick(5);
  EXPECT_EQ(Ch(0).basePeriod, 348u - 5 * 8);
  Tick(6);
  EXPECT_EQ(Ch(0).basePeriod, 348u - 10 * 8);
  Tick(2);
  EXPECT_EQ(Ch(0).basePeriod, 214u);  // never past the target
  EXPECT_EQ(Dev(0)->rate, 3546895u / 214);
}

TEST_F(Player, S3mPortamentoFineAndExtraFine) {
  Song s;
  s.channels = 3;
  s.samples.push_back(Dc(1000, 10));
  s.patterns[0].at(0, 0) = Cell{48, 1, -1, 0, 0};
  s.patterns[0].at(0, 1) = Cell{48, 1, -1, 0, 0};
  s.patterns[0].at(0, 2) = Cell{48, 1, -1, 0, 0};
  s.patterns[0].at(1, 0) = Cell{kNoNote, 0, -1, 'E', 0x02};  // down 2 << 2 per tick
  s.patterns[0].at(1, 1) = Cell{kNoNote, 0, -1, 'F', 0xF3};  // fine up 3 << 2 on the row
  s.patterns[0].at(1, 2) = Cell{kNoNote, 0, -1, 'F', 0xE3};  // extra fine up 3 on the row
  Play(WriteS3m(s));
  Tick(6);
  // C-4 with C2 speed 8363: 1712 x 133808 / 8363 >> 4 = 1712
  EXPECT_EQ(Ch(0).basePeriod, 1712u);
  Tick(6);
  EXPECT_EQ(Ch(0).basePeriod, 1712u);
  EXPECT_EQ(Ch(1).basePeriod, 1712u - 12);
  EXPECT_EQ(Ch(2).basePeriod, 1712u - 3);
  Tick(2);
  EXPECT_EQ(Ch(0).basePeriod, 1712u + 16);
  EXPECT_EQ(Ch(1).basePeriod, 1712u - 12);
  EXPECT_EQ(Dev(0)->rate, 14317056u / (1712 + 16));
}

TEST_F(Player, VibratoDepth) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{C2, 1, -1, 0x4, 0x48};  // speed 4, depth 8
  Play(WriteMod(s));
  Tick(6);
  const int table[] = {0, 24, 49, 74, 97, 120, 141, 161, 180};
  uint32_t pos = 0;
  for (int t = 1; t <= 5; t++) {
    Tick(1);
    int delta = (table[pos % 32 > 8 ? 0 : pos] * 8) >> 7;
    EXPECT_EQ(Ch(0).curPeriod, 428u + delta) << t;
    EXPECT_EQ(Ch(0).basePeriod, 428u);
    pos += 4;
    if (pos > 8) break;
  }
}

TEST_F(Player, ArpeggioAtTableEdge) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{47, 1, -1, 0x0, 0x1C};  // B-3 (113), +1 and +12
  Play(WriteMod(s));
  EXPECT_EQ(module->flags & MF_EXT_OCTAVES, 0u);
  Tick(6);
  EXPECT_EQ(Ch(0).curPeriod, 113u);
  Tick(1);  // B-3 + 1 = C-4, lowered three octaves: C-1 = 1712 >> 1
  EXPECT_EQ(Ch(0).curPeriod, 856u);
  Tick(1);  // B-3 + 12 = B-4 -> B-1 = 907 >> 1 = 453
  EXPECT_EQ(Ch(0).curPeriod, 453u);
  Tick(1);
  EXPECT_EQ(Ch(0).curPeriod, 113u);
}

TEST_F(Player, ModSampleOffsetAddsTwice) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{C2, 1, -1, 0x9, 0x01};
  s.patterns[0].at(1, 0) = Cell{C2, 0, -1, 0, 0};
  Play(WriteMod(s));
  Tick(6);
  EXPECT_EQ(Ch(0).sampleOffset, 512u);
  uint32_t pos = 0;
  dmixGetPosition(Ch(0).soundChannel, &pos);
  EXPECT_EQ(pos, 256u);
  Tick(6);  // a later note without instrument starts further in
  dmixGetPosition(Ch(0).soundChannel, &pos);
  EXPECT_EQ(pos, 512u);
}

TEST_F(Player, RetriggerWithVolumeChange) {
  Song s;
  s.channels = 1;
  s.samples.push_back(Dc(1000, 10));
  s.patterns[0].at(0, 0) = Cell{48, 1, -1, 'Q', 0x63};
  Play(WriteS3m(s));
  Tick(6);
  EXPECT_EQ(Ch(0).volume, 63);
  Tick(2);
  EXPECT_EQ(Ch(0).volume, 63);
  Tick(1);  // the counter reached 3: volume x 10 / 16
  EXPECT_EQ(Ch(0).volume, 39);
  Tick(3);  // next row, no command
  EXPECT_EQ(Ch(0).volume, 39);
}

TEST_F(Player, NoteCutAndDelay) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{C2, 1, -1, 0xE, 0xC2};
  s.patterns[0].at(0, 1) = Cell{C2, 1, -1, 0xE, 0xD3};
  Play(WriteMod(s));
  Tick(6);
  EXPECT_EQ(Ch(0).volume, 64);
  EXPECT_EQ(Dev(1)->status, CH_OFF);
  Tick(2);
  EXPECT_EQ(Ch(0).volume, 0);
  EXPECT_EQ(Dev(0)->volume, 0u);
  EXPECT_EQ(Dev(1)->status, CH_OFF);
  Tick(1);
  EXPECT_EQ(Dev(1)->status, CH_PLAYING);
  EXPECT_EQ(Ch(1).basePeriod, 428u);
}

TEST_F(Player, PanningAndMusicVolume) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{C2, 1, -1, 0x8, 164};
  s.patterns[0].at(0, 1) = Cell{C2, 1, -1, 0x8, 0};
  s.patterns[0].at(0, 2) = Cell{C2, 1, -1, 0xE, 0x8F};
  Play(WriteMod(s));
  EXPECT_EQ(Dev(0)->panning, -64);  // channel 0: 64 - 64 on the 0..128 scale
  EXPECT_EQ(Dev(1)->panning, 64);
  Tick(6);
  EXPECT_EQ(Dev(0)->panning, 128);  // surround
  EXPECT_EQ(Dev(1)->panning, -64);
  EXPECT_EQ(Dev(2)->panning, 64);   // 15 x 8 + 8 = 128 -> 64
  EXPECT_EQ(TUNEsetMusicVolume(handle, 32), 1);
  Tick(1);
  EXPECT_EQ(Dev(1)->volume, 32u);  // (64 x 32 x 64 x 64 + 0x3FFFF) >> 18
}

TEST_F(Player, PitchTables) {
  const uint32_t starts[16] = {1712, 1700, 1688, 1676, 1664, 1652, 1640, 1628,
                               1814, 1800, 1788, 1774, 1762, 1750, 1736, 1724};
  for (int f = 0; f < 16; f++) EXPECT_EQ(ModPeriodTable(f, 0), starts[f]) << f;
  const uint32_t row0[12] = {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907};
  for (int i = 0; i < 12; i++) EXPECT_EQ(ModPeriodTable(0, i), row0[i]);
  ModuleRecord m{};
  SampleRecord smp{};
  m.type = MT_S3M;
  smp.relNote = 0;  // C2 speed 0 counts as 8363
  EXPECT_EQ(NoteToPeriodFor(&m, &smp, 0x40), 1712u);
  smp.relNote = 16726;
  EXPECT_EQ(NoteToPeriodFor(&m, &smp, 0x40), 856u);
  EXPECT_EQ(PeriodToRateFor(&m, 1712), 8362u);
  m.type = MT_MOD;
  smp.finetune = 8;  // -8
  EXPECT_EQ(NoteToPeriodFor(&m, &smp, 0x20), 1814u >> 2);
  EXPECT_EQ(PeriodToRateFor(&m, 428), 8287u);
}

// A note's own period is never limited: C-1 at finetune -1 is 862, past the
// slide range's 856; slides still keep to the range.
TEST_F(Player, NotePeriodOutsideTheSlideRangeIsKept) {
  Song s = ModSong();
  s.samples[0].finetune = 15;  // -1
  s.patterns[0].at(0, 0) = Cell{12, 1, -1, 0, 0};  // C-1
  s.patterns[0].at(2, 0) = Cell{kNoNote, 0, -1, 0x2, 0};  // portamento up with no speed
  s.patterns[0].at(3, 0) = Cell{kNoNote, 0, -1, 0x1, 1};  // portamento up by 1
  Play(WriteMod(s));
  Tick(6);
  EXPECT_EQ(Ch(0).curPeriod, 862u);
  EXPECT_EQ(Dev(0)->rate, 3546895u / 862);
  Tick(6);  // a row without a note keeps the note's period
  EXPECT_EQ(Ch(0).curPeriod, 862u);
  EXPECT_EQ(Dev(0)->rate, 3546895u / 862);
  Tick(12);  // row 3, first slide: 862 - 1 is clamped to 856
  EXPECT_EQ(Ch(0).curPeriod, 856u);
  Tick(1);
  EXPECT_EQ(Ch(0).curPeriod, 855u);
}

std::vector<uint32_t> g_tempi;
void TempoHook(uint32_t bpm) { g_tempi.push_back(bpm); }

TEST_F(Player, TempoCommandGoesThroughPlayerSetTempo) {
  Song s = ModSong();
  s.patterns[0].at(0, 0) = Cell{C2, 1, -1, 0xF, 0x50};  // 80 BPM
  s.patterns[0].at(1, 0) = Cell{kNoNote, 0, -1, 0xF, 0x00};  // speed 0: not a tempo
  g_tempi.clear();
  Play(WriteMod(s));
  PlayerSetTempoHook(TempoHook);
  Tick(6);
  EXPECT_EQ(h->tempo, 80u);
  EXPECT_EQ(PlayerSetTempo(h, 0), TE_OK);  // 0 is ignored
  EXPECT_EQ(h->tempo, 80u);
  EXPECT_EQ(PlayerSetTempo(h, 140), TE_OK);
  EXPECT_EQ(h->tempo, 140u);
  PlayerSetTempoHook(nullptr);
  EXPECT_EQ(PlayerSetTempo(h, 125), TE_OK);
  EXPECT_EQ(g_tempi, (std::vector<uint32_t>{80, 140}));
}

TEST_F(Player, SkipMarkersNeverSpin) {
  Song s;
  s.channels = 1;
  s.speed = 1;
  s.samples.push_back(Dc(100, 10));
  s.orders = {254, 0, 254};
  Play(WriteS3m(s));
  EXPECT_EQ(h->position, 1);
  Tick(64);
  EXPECT_EQ(h->position, 1);  // wrapped over the skips back to the playable entry
  EXPECT_GE(h->loopCounter, 1u);
}

}  // namespace
