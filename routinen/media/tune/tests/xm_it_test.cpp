// XM and IT: loaders, envelopes, fade-out, auto-vibrato, volume columns,
// frequency tables and IT instrument mode, on files made for each rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "routinen/system/byteorder.h"
#include "routinen/media/tune/dmix.h"
#include "routinen/media/tune/genplayer.h"
#include "module_writer.h"
#include "routinen/media/tune/pcm_sink.h"
#include "platform/log.h"
#include "tests/support/test_support.h"
#include "tune_fixture.h"

using namespace modwriter;

namespace {

class XmIt : public TuneTest {};

constexpr int C4 = 48, C5 = 60;

Song XmSong() {
  Song s;
  s.channels = 2;
  s.samples.push_back(Dc(4000, 40));
  s.samples[0].loopType = 1;
  s.samples[0].loopStart = 100;
  s.samples[0].loopLength = 3000;
  return s;
}

TEST_F(XmIt, FrequencyTables) {
  EXPECT_EQ(XmLinearTable(0), 535232u);
  EXPECT_EQ(XmLinearTable(1), 534749u);
  EXPECT_EQ(XmLinearTable(767), 267857u);
  ModuleRecord m{};
  SampleRecord s{};
  m.type = MT_XM;
  m.flags = MF_LINEAR;
  EXPECT_EQ(NoteToPeriodFor(&m, &s, 0x40), 4608u);
  EXPECT_EQ(PeriodToRateFor(&m, 4608), 8363u);
  EXPECT_EQ(PeriodToRateFor(&m, 768 * 40), 0u);  // shift of 32 or more
  s.finetune = -128;
  EXPECT_EQ(NoteToPeriodFor(&m, &s, 0x40), 4608u + 64);
  m.flags = 0;  // Amiga table
  s.finetune = 0;
  EXPECT_EQ(NoteToPeriodFor(&m, &s, 0x40), 1712u);
  EXPECT_EQ(PeriodToRateFor(&m, 1712), 8363u);
  s.finetune = 127;  // B with the highest finetune reaches the entry after the table
  EXPECT_EQ(NoteToPeriodFor(&m, &s, 0x4B), (uint32_t)(((428 * 15 + 431 * 1) * 2) >> 4));
  s.finetune = -128;  // C reaches the lead-in entries
  EXPECT_EQ(NoteToPeriodFor(&m, &s, 0x40), (uint32_t)((907 * 16 * 2) >> 4));
  s.finetune = 8;  // halfway between two entries
  EXPECT_EQ(NoteToPeriodFor(&m, &s, 0x40), (uint32_t)(((850 * 8 + 856 * 8) * 2) >> 4));
  // IT: C-5 plays at the sample's C5 speed
  m.type = MT_IT;
  for (int32_t c5 : {8363, 22050, 44100}) {
    s.relNote = c5;
    uint32_t rate = PeriodToRateFor(&m, NoteToPeriodFor(&m, &s, 0x50));
    EXPECT_NEAR((double)rate, (double)c5, c5 / 500.0) << c5;
  }
}

TEST_F(XmIt, XmLinearC4Plays8363) {
  Song s = XmSong();
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  Play(WriteXm(s));
  Tick(6);
  EXPECT_EQ(Ch(0).curPeriod, 4608u);
  EXPECT_EQ(Dev(0)->rate, 8363u);
  EXPECT_EQ(Dev(0)->status, CH_PLAYING);
}

TEST_F(XmIt, EnvelopeValues) {
  EnvelopeRecord e{};
  e.points = 3;
  e.sustain = e.loopStart = e.loopEnd = e.sustainStart = e.sustainEnd = 255;
  e.tick[0] = 0; e.value[0] = 64;
  e.tick[1] = 10; e.value[1] = 32;
  e.tick[2] = 20; e.value[2] = 0;
  uint32_t pos = 0;
  uint8_t done = 0;
  EXPECT_EQ(EnvelopeValue(&e, &pos, &done, 0), 64 * 256);
  pos = 5;
  EXPECT_EQ(EnvelopeValue(&e, &pos, &done, 0), 64 * 256 + ((32 - 64) * 256 / 10) * 5);
  EXPECT_EQ(pos, 6u);
  pos = 10;
  EXPECT_EQ(EnvelopeValue(&e, &pos, &done, 0), 32 * 256);
  pos = 20;
  EXPECT_EQ(EnvelopeValue(&e, &pos, &done, 0), 0);
  EXPECT_EQ(pos, 20u);  // stays after the last point
  // sustain point holds until key-off
  e.sustain = 1;
  pos = 9;
  EnvelopeValue(&e, &pos, &done, 0);
  EXPECT_EQ(pos, 10u);
  EXPECT_EQ(done, 1);  // reached the sustain point
  EXPECT_EQ(EnvelopeValue(&e, &pos, &done, 0), 32 * 256);
  EXPECT_EQ(pos, 10u);
  done = 0;
  EnvelopeValue(&e, &pos, &done, 1);
  EXPECT_EQ(pos, 11u);
  // loop from point 1 back to point 0
  e.sustain = 255;
  e.loopStart = 0;
  e.loopEnd = 1;
  pos = 9;
  done = 0;
  EnvelopeValue(&e, &pos, &done, 0);
  EXPECT_EQ(pos, 0u);
  // points on the same tick: no division by zero
  EnvelopeRecord f = e;
  f.loopStart = f.loopEnd = 255;
  f.tick[1] = 0;
  pos = 0;
  EXPECT_EQ(EnvelopeValue(&f, &pos, &done, 0), 64 * 256);
  pos = 0;
  f.tick[0] = 5;  // out of order
  EXPECT_GE(EnvelopeValue(&f, &pos, &done, 0), 0);
}

TEST_F(XmIt, VolumeEnvelopeAndFadeoutTrace) {
  Song s = XmSong();
  Instrument in;
  in.samples = {1};
  in.volEnv.on = true;
  in.volEnv.points = {{0, 64}, {4, 32}};
  in.fadeout = 4096;
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  s.patterns[0].at(1, 0) = Cell{kKeyOff, 0, -1, 0, 0};
  Play(WriteXm(s));
  Tick(6);
  const uint32_t env[6] = {64, 56, 48, 40, 32, 32};
  EXPECT_EQ(Dev(0)->volume, env[0]);
  for (int t = 1; t < 6; t++) {
    Tick(1);
    EXPECT_EQ(Dev(0)->volume, env[t]) << t;
  }
  // key-off: the fade-out drops by 2 x 4096 of 65536 per tick
  uint32_t fade = 65536;
  for (int t = 0; t < 6; t++) {
    Tick(1);
    uint32_t v = (64 * fade) >> 16;
    v = (8192 * v) >> 14;
    EXPECT_EQ(Dev(0)->volume, v) << t;
    fade -= 8192;
  }
  Tick(12);
  EXPECT_EQ(Ch(0).fadeout, 0u);
  EXPECT_EQ(Dev(0)->volume, 0u);
}

// A keymap entry past an instrument's samples plays nothing, also when the
// instrument has a single sample.
TEST_F(XmIt, XmKeymapPastTheOnlySamplePlaysNothing) {
  Song s = XmSong();
  Instrument one;
  one.samples = {1};
  one.keymap.assign(96, 0);
  for (int k = 60; k < 96; k++) one.keymap[k] = 3;
  s.instruments = {one};
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  s.patterns[0].at(0, 1) = Cell{C5, 1, -1, 0, 0};
  ModuleRecord* m = Load(WriteXm(s));
  ASSERT_NE(m, nullptr) << TUNEgetLastError();
  ASSERT_EQ(m->instruments[0]->sampleCount, 1u);
  ASSERT_NE(m->instruments[0]->noteTable, nullptr);
  EXPECT_EQ(m->instruments[0]->noteTable[59], 0);
  EXPECT_EQ(m->instruments[0]->noteTable[60], 255);
  loaded.clear();
  TUNEfreeModule(m);
  Play(WriteXm(s));
  Tick(6);
  EXPECT_EQ(Dev(0)->status, CH_PLAYING);
  EXPECT_EQ(Dev(0)->handle, h->module->samples[0]->handle);
  EXPECT_EQ(Dev(1)->status, CH_OFF);
  EXPECT_EQ(Ch(1).sampleIndex, 255);
}

TEST_F(XmIt, SustainHoldsUntilKeyOffAndKeyOffWithoutEnvelope) {
  Song s = XmSong();
  s.channels = 2;
  Instrument in;
  in.samples = {1};
  in.volEnv.on = true;
  in.volEnv.points = {{0, 64}, {2, 48}, {4, 0}};
  in.volEnv.sustain = 1;
  Instrument plain;
  plain.samples = {1};
  s.instruments = {in, plain};
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  s.patterns[0].at(0, 1) = Cell{C4, 2, -1, 0, 0};
  s.patterns[0].at(3, 0) = Cell{kKeyOff, 0, -1, 0, 0};
  s.patterns[0].at(1, 1) = Cell{kKeyOff, 0, -1, 0, 0};
  Play(WriteXm(s));
  Tick(6);
  Tick(6);  // row 1: channel 1 has no envelope: silent at once
  EXPECT_EQ(Ch(1).volume, 0);
  EXPECT_EQ(Dev(1)->volume, 0u);
  Tick(6 * 2 - 1);
  EXPECT_EQ(Dev(0)->volume, 48u);  // held on the sustain point
  EXPECT_EQ(Ch(0).envPos[0], 2u);
  Tick(1);  // row 3: key-off releases it
  Tick(3);
  EXPECT_EQ(Dev(0)->volume, 0u);
}

TEST_F(XmIt, AutoVibratoSweepAndSquare) {
  EXPECT_EQ(AutoVibratoWave(0, 0), 0);
  EXPECT_EQ(AutoVibratoWave(0, 1), -2);
  EXPECT_EQ(AutoVibratoWave(0, 2), -3);
  EXPECT_EQ(AutoVibratoWave(0, 3), -5);
  EXPECT_EQ(AutoVibratoWave(0, 5), -8);
  EXPECT_EQ(AutoVibratoWave(0, 64), -64);
  EXPECT_EQ(AutoVibratoWave(1, 0), -64);
  EXPECT_EQ(AutoVibratoWave(1, 128), 64);
  EXPECT_EQ(AutoVibratoWave(2, 0), 0);
  EXPECT_EQ(AutoVibratoWave(2, 2), 1);
  EXPECT_EQ(AutoVibratoWave(2, 128), -64);
  EXPECT_EQ(AutoVibratoWave(3, 0), 0);
  EXPECT_EQ(AutoVibratoWave(3, 2), -1);
  Song s = XmSong();
  Instrument in;
  in.samples = {1};
  in.vibType = 1;
  in.vibSweep = 4;
  in.vibDepth = 8;
  in.vibRate = 64;
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  Play(WriteXm(s));
  Tick(6);
  // depth 8.8 grows by (8 << 8) / 4 per tick; square wave at positions 64, 128, 192, 0
  const int32_t depth[5] = {512, 1024, 1536, 2048, 2048};
  const int32_t wave[5] = {-64, 64, 64, -64, -64};
  EXPECT_EQ(Ch(0).finalPeriod, (uint32_t)(4608 + ((depth[0] * wave[0]) >> 14)));
  for (int t = 1; t < 5; t++) {
    Tick(1);
    EXPECT_EQ(Ch(0).finalPeriod, (uint32_t)(4608 + ((depth[t] * wave[t]) >> 14))) << t;
    EXPECT_EQ(Dev(0)->rate, PeriodToRateFor(h->module, Ch(0).finalPeriod));
  }
}

TEST_F(XmIt, PanningEnvelope) {
  Song s = XmSong();
  Instrument in;
  in.samples = {1};
  in.panEnv.on = true;
  in.panEnv.points = {{0, 0}, {4, 64}};
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  Play(WriteXm(s));
  Tick(6);
  EXPECT_EQ(Dev(0)->panning, -64);
  Tick(2);
  EXPECT_EQ(Dev(0)->panning, 0);
  Tick(2);
  EXPECT_EQ(Dev(0)->panning, 63);
}

// A panning envelope switched on without any point keeps the sample's panning.
TEST_F(XmIt, PanningEnvelopeWithoutPoints) {
  Song s = XmSong();
  Instrument in;
  in.samples = {1};
  in.panEnv.on = true;
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  Play(WriteXm(s));
  Tick(8);
  EXPECT_EQ(Dev(0)->panning, 0);
}

TEST_F(XmIt, XmVolumeColumn) {
  Song s = XmSong();
  s.patterns[0].at(0, 0) = Cell{C4, 1, 0x10 + 40, 0, 0};  // set volume 40
  s.patterns[0].at(0, 1) = Cell{C4, 1, 0xC4, 0, 0};       // panning 4 x 16 + 4
  s.patterns[0].at(1, 0) = Cell{kNoNote, 0, 0x83, 0, 0};  // fine down 3 on the row
  s.patterns[0].at(2, 0) = Cell{kNoNote, 0, 0x62, 0, 0};  // down 2 per tick
  s.patterns[0].at(3, 0) = Cell{C5, 0, 0xF2, 0, 0};       // tone portamento, speed 32
  Play(WriteXm(s));
  Tick(6);
  EXPECT_EQ(Ch(0).volume, 40);
  EXPECT_EQ(Ch(1).panning, 68);
  EXPECT_EQ(Dev(1)->panning, (68 - 128) / 2);
  Tick(6);
  EXPECT_EQ(Ch(0).volume, 37);
  Tick(6);
  EXPECT_EQ(Ch(0).volume, 37);  // row 2: the slide acts on its ticks
  Tick(5);
  EXPECT_EQ(Ch(0).volume, 37 - 10);
  Tick(1);
  EXPECT_EQ(Ch(0).targetPeriod, 4608u - 768);
  EXPECT_EQ(Ch(0).basePeriod, 4608u);
  Tick(2);
  EXPECT_EQ(Ch(0).basePeriod, 4608u - 2 * (32 << 2));
}

TEST_F(XmIt, XmEffectMemory) {
  Song s = XmSong();
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0x1, 0x04};  // porta up 4 << 2
  s.patterns[0].at(1, 0) = Cell{kNoNote, 0, -1, 0x1, 0x00};
  s.patterns[0].at(2, 0) = Cell{kNoNote, 0, -1, 0xA, 0x20};
  s.patterns[0].at(3, 0) = Cell{kNoNote, 0, -1, 0xA, 0x00};
  Play(WriteXm(s));
  Tick(12);
  EXPECT_EQ(Ch(0).basePeriod, 4608u - 5 * 16);
  Tick(6);
  EXPECT_EQ(Ch(0).basePeriod, 4608u - 10 * 16);
  Tick(6);
  EXPECT_EQ(Ch(0).volume, 64);  // clamped at 64 going up
  Ch(0).volume = Ch(0).curVolume = 10;
  Tick(6);
  EXPECT_EQ(Ch(0).volume, 20);  // the remembered slide of 2 per tick
}

TEST_F(XmIt, XmLoaderRules) {
  Song s = XmSong();
  s.samples.push_back(Dc(10, 5, true));
  s.samples[1].data = {100, -100, 300, -32768, 32767};
  Instrument two;
  two.samples = {1, 2};
  two.keymap.assign(96, 0);
  for (int k = 60; k < 96; k++) two.keymap[k] = 1;
  Instrument one;
  one.samples = {1};
  one.volEnv.on = true;
  one.volEnv.points = {{0, 64}, {5, 10}, {9, 20}};
  one.volEnv.loopStart = 1;
  one.volEnv.loopEnd = 1;  // equal: no loop
  s.instruments = {two, one};
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 20, 0};  // K: key off
  s.patterns[0].at(1, 1) = Cell{C4, 2, -1, 0x21, 0x13};  // X1y: extra fine up
  s.patterns.push_back(Pattern{});
  s.patterns[1].rows = 32;
  s.orders = {0, 1, 3};
  ModuleRecord* m = Load(WriteXm(s));
  ASSERT_NE(m, nullptr) << TUNEgetLastError();
  EXPECT_EQ(m->type, MT_XM);
  EXPECT_EQ(m->patternCount, 4u);  // highest order entry + 1
  EXPECT_EQ(m->patterns[1]->rows, 32u);
  EXPECT_EQ(m->patterns[3]->rows, 64u);
  EXPECT_EQ(m->flags, (uint32_t)MF_LINEAR);
  EXPECT_EQ(m->panning[1], 128u);
  ASSERT_NE(m->instruments[0]->noteTable, nullptr);
  EXPECT_EQ(m->instruments[0]->noteTable[59], 0);
  EXPECT_EQ(m->instruments[0]->noteTable[60], 1);
  EXPECT_EQ(m->instruments[0]->sampleCount, 2u);
  EXPECT_EQ(m->instruments[1]->noteTable, nullptr);  // one sample: no table
  ASSERT_NE(m->instruments[1]->volEnv, nullptr);
  EXPECT_EQ(m->instruments[1]->volEnv->loopStart, 255);
  const uint8_t* d = m->patterns[0]->data;
  EXPECT_EQ(d[0], 0x20);
  EXPECT_EQ(d[1], NOTE_KEYOFF);  // K stores a key-off note (over the note)
  // delta-coded 16-bit data comes back as the plain values
  std::vector<uint8_t> b = WriteXm(s);
  ModuleRecord* raw = nullptr;
  ASSERT_EQ(LoadXmModule(b.data(), (uint32_t)b.size(), 0, nullptr, &raw), TE_OK);
  const SampleRecord* s16 = raw->instruments[0]->samples[1];
  ASSERT_EQ(s16->type, 2);
  int16_t v[5];
  std::memcpy(v, s16->data, 10);
  EXPECT_EQ(v[0], 100);
  EXPECT_EQ(v[1], -100);
  EXPECT_EQ(v[3], -32768);
  EXPECT_EQ(v[4], 32767);
  EXPECT_EQ(raw->instruments[0]->samples[0]->data[0], 40 + 128);
  PlayerFreeModule(raw);
}

std::vector<std::string> g_log;
void Hook(const char* line, void*) { g_log.push_back(line); }

TEST_F(XmIt, XmHostileHeaders) {
  Song s = XmSong();
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  Song v = s;
  v.xmVersion = 0x0103;
  EXPECT_EQ(Fails(WriteXm(v)), 15u);
  std::vector<uint8_t> b = WriteXm(s);
  std::vector<uint8_t> c = b;
  c[68] = 0;  // no channels
  EXPECT_EQ(Fails(c), 15u);
  c[68] = 33;
  EXPECT_EQ(Fails(c), 15u);
  c = b;
  c[64] = 0x01;  // song length 257
  c[65] = 0x01;
  EXPECT_EQ(Fails(c), 15u);
  c = b;
  c[336 + 5] = 0x01;  // 257 rows
  c[336 + 6] = 0x01;
  EXPECT_EQ(Fails(c), 15u);
  c = b;
  c[336 + 7] = 0;  // packed size 0: empty rows, then the instruments right after the head
  c[336 + 8] = 0;
  c.erase(c.begin() + 336 + 9, c.begin() + 336 + 9 + (GetLE16(&b[336 + 7])));
  ModuleRecord* m = Load(c);
  ASSERT_NE(m, nullptr) << TUNEgetLastError();
  EXPECT_EQ(m->patterns[0]->rows, 64u);
  c = b;
  c[66] = 5;  // restart past the song: 0, with a log line
  g_log.clear();
  DebugLogSetHook(Hook, nullptr);
  m = Load(c);
  DebugLogSetHook(nullptr, nullptr);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->restart, 0u);
  EXPECT_FALSE(g_log.empty());
  // note bytes 98..255 are no note
  Song n = XmSong();
  n.patterns[0].at(0, 0) = Cell{120, 1, -1, 0, 0};
  m = Load(WriteXm(n));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->patterns[0]->data[1], 255);
  // envelope point count beyond the table
  Song e = XmSong();
  Instrument in;
  in.samples = {1};
  in.volEnv.on = true;
  in.volEnv.points = {{0, 64}, {5, 10}};
  e.instruments = {in};
  e.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  std::vector<uint8_t> eb = WriteXm(e);
  const size_t inst = 336 + 9 + GetLE16(&eb[336 + 7]);
  eb[inst + 29 + 196] = 13;
  EXPECT_EQ(Fails(eb), 16u);
  eb[inst + 29 + 196] = 2;
  eb[inst + 29 + 198] = 7;  // sustain index past the points: none
  eb[inst + 29 + 204] = 3;
  m = Load(eb);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->instruments[0]->volEnv->sustain, 255);
}

Song ItSong() {
  Song s;
  s.channels = 2;
  s.samples.push_back(Dc(2000, 30));
  s.samples.push_back(Dc(2000, -30));
  s.channelPanning = {32, 32};
  return s;
}

TEST_F(XmIt, ItSampleModeAndPitch) {
  Song s = ItSong();
  s.samples[1].c2 = 22050;
  s.patterns[0].at(0, 0) = Cell{C5, 2, -1, 0, 0};
  s.patterns[0].at(0, 1) = Cell{C5, 1, 128 + 16, 'X', 0x80};
  Play(WriteIt(s));
  EXPECT_EQ(h->module->type, MT_IT);
  EXPECT_EQ(h->module->flags, (uint32_t)MF_LINEAR);
  Tick(6);
  EXPECT_NEAR((double)Dev(0)->rate, 22050.0, 45.0);
  EXPECT_EQ(Dev(0)->handle, h->module->samples[1]->handle);
  EXPECT_EQ(Ch(1).panning, 32);  // X80 after the volume column's 16
  EXPECT_EQ(Dev(1)->panning, 0);
}

// IT panning slides: fine ones once on the row, plain ones on every tick.
TEST_F(XmIt, ItPanningSlides) {
  Song s = ItSong();
  s.patterns[0].at(0, 0) = Cell{C5, 1, -1, 'P', 0x3F};  // fine left by 3
  s.patterns[0].at(0, 1) = Cell{C5, 1, -1, 'P', 0xF2};  // fine right by 2
  s.patterns[0].at(1, 0) = Cell{kNoNote, 0, -1, 'P', 0x01};  // right by 1 a tick
  Play(WriteIt(s));
  Tick(6);
  EXPECT_EQ(Ch(0).panning, 29);
  EXPECT_EQ(Ch(1).panning, 34);
  Tick(5);
  EXPECT_EQ(Ch(0).panning, 29);
  EXPECT_EQ(Ch(1).panning, 34);
  Tick(6);
  EXPECT_EQ(Ch(0).panning, 34);  // five ticks after the row
  EXPECT_EQ(Dev(0)->panning, 34 * 2 - 64);
}

TEST_F(XmIt, ItInstrumentModeKeymap) {
  Song s = ItSong();
  s.itInstrumentMode = true;
  Instrument in;
  in.samples = {1, 2};
  in.keymap.assign(120, 1);
  for (int k = 60; k < 120; k++) in.keymap[k] = 2;
  in.defaultPan = 16;
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C4, 1, -1, 0, 0};
  s.patterns[0].at(0, 1) = Cell{C5, 1, -1, 0, 0};
  ModuleRecord* m = Load(WriteIt(s));
  ASSERT_NE(m, nullptr) << TUNEgetLastError();
  ASSERT_NE(m->instruments[0]->noteTable, nullptr);
  EXPECT_EQ(m->instruments[0]->sampleCount, 2u);
  EXPECT_EQ(m->instruments[0]->noteTable[2 * 59 + 1], 0);
  EXPECT_EQ(m->instruments[0]->noteTable[2 * 60 + 1], 1);
  loaded.clear();
  TUNEfreeModule(m);
  Play(WriteIt(s));
  Tick(6);
  EXPECT_EQ(Dev(0)->handle, h->module->samples[0]->handle);
  EXPECT_EQ(Dev(1)->handle, h->module->samples[1]->handle);
  EXPECT_EQ(Ch(0).panning, 16);
  EXPECT_EQ(Dev(0)->panning, -32);
}

TEST_F(XmIt, ItKeymapTransposes) {
  Song s = ItSong();
  s.itInstrumentMode = true;
  Instrument in;
  in.samples = {1};
  in.keymap.assign(120, 1);
  in.keyNotes.resize(120);
  for (int k = 0; k < 120; k++) in.keyNotes[k] = k + 12 < 120 ? k + 12 : k;
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C5, 1, -1, 0, 0};
  s.patterns[0].at(1, 0) = Cell{C4, 0, -1, 0, 0};  // a note without instrument
  Play(WriteIt(s));
  Tick(6);
  EXPECT_EQ(Ch(0).note, 0x60);  // C-5 plays C-6
  EXPECT_EQ(Ch(0).basePeriod, NoteToPeriodFor(h->module, h->module->samples[0], 0x60));
  Tick(6);
  EXPECT_EQ(Ch(0).note, 0x50);
}

TEST_F(XmIt, ItFadeoutAndSustainLoopRelease) {
  Song s = ItSong();
  s.itInstrumentMode = true;
  s.samples[0].sustainType = 1;
  s.samples[0].sustainStart = 10;
  s.samples[0].sustainLength = 20;
  Instrument in;
  in.samples = {1};
  in.fadeout = 128;
  in.volEnv.on = true;
  in.volEnv.points = {{0, 64}, {10, 64}};
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C5, 1, -1, 0, 0};
  s.patterns[0].at(1, 0) = Cell{kKeyOff, 0, -1, 0, 0};
  Play(WriteIt(s));
  Tick(6);
  EXPECT_EQ(Dev(0)->loop1Start, 10u);
  EXPECT_EQ(Dev(0)->loopMode, 3u);
  EXPECT_EQ(Dev(0)->status, CH_PLAYING);
  Tick(6);
  EXPECT_EQ(Dev(0)->status, CH_RELEASED);
  // fade-out from 512 by 128 per tick after the key-off
  EXPECT_EQ(Dev(0)->volume, 64u);
  Tick(1);
  EXPECT_EQ(Dev(0)->volume, 48u);
  Tick(1);
  EXPECT_EQ(Dev(0)->volume, 32u);
  Tick(2);
  EXPECT_EQ(Dev(0)->volume, 0u);
}

TEST_F(XmIt, ItOldInstrumentsAndCuts) {
  Song s = ItSong();
  s.itInstrumentMode = true;
  s.itOldInstruments = true;
  Instrument in;
  in.samples = {2};
  in.volEnv.on = true;
  in.volEnv.points = {{0, 64}, {4, 0}};
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C5, 1, -1, 0, 0};
  s.patterns[0].at(1, 0) = Cell{kNoteCut, 0, -1, 0, 0};
  Play(WriteIt(s));
  ASSERT_NE(h->module->instruments[0]->volEnv, nullptr);
  EXPECT_EQ(h->module->instruments[0]->volEnv->points, 2);
  EXPECT_EQ(h->module->instruments[0]->pitchEnv, nullptr);
  Tick(6);
  EXPECT_EQ(Dev(0)->handle, h->module->samples[1]->handle);
  Tick(2);
  EXPECT_EQ(Dev(0)->volume, 32u);
  Tick(4);
  EXPECT_EQ(Dev(0)->status, CH_OFF);
}

TEST_F(XmIt, ItLoaderRules) {
  Song s = ItSong();
  s.orders = {0, 254, 1, 255, 0};
  s.patterns.push_back(Pattern{});
  s.patterns[1].rows = 0;  // 64 empty rows
  s.patterns[0].at(0, 0) = Cell{C5, 1, -1, 'S', 0x84};
  s.patterns[0].at(1, 0) = Cell{C5, 1, -1, 'J', 0x37};
  ModuleRecord* m = Load(WriteIt(s));
  ASSERT_NE(m, nullptr) << TUNEgetLastError();
  EXPECT_EQ(m->orders[1], ORDER_SKIP);
  EXPECT_EQ(m->orders[3], ORDER_END);
  EXPECT_EQ(m->patternCount, 2u);
  EXPECT_EQ(m->patterns[1]->rows, 64u);
  const uint8_t* d = m->patterns[0]->data;
  EXPECT_EQ(d[0], 0xA0);
  EXPECT_EQ(d[3], 20);
  EXPECT_EQ(d[4], 4);
  // order bytes of 250 and above do not raise the pattern count
  Song t = ItSong();
  t.orders = {0, 251};
  m = Load(WriteIt(t));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->patternCount, 1u);
  // compressed sample data is refused
  std::vector<uint8_t> b = WriteIt(ItSong());
  const size_t smp = GetLE32(&b[192 + 1]);
  b[smp + 18] |= 8;
  EXPECT_EQ(Fails(b), 51u);
  // only end markers
  Song e = ItSong();
  e.orders = {255};
  EXPECT_EQ(Fails(WriteIt(e)), 15u);
}

TEST_F(XmIt, TruncatedAndGarbageXmIt) {
  Song s = XmSong();
  Instrument in;
  in.samples = {1};
  in.volEnv.on = true;
  in.volEnv.points = {{0, 64}, {5, 10}};
  s.instruments = {in};
  s.patterns[0].at(0, 0) = Cell{C4, 1, 0x40, 0x4, 0x44};
  Song t = ItSong();
  t.itInstrumentMode = true;
  Instrument ii;
  ii.samples = {1, 2};
  ii.volEnv.on = true;
  ii.volEnv.points = {{0, 64}, {5, 10}};
  t.instruments = {ii};
  t.patterns[0].at(0, 0) = Cell{C5, 1, 30, 'H', 0x44};
  for (const std::vector<uint8_t>& b : {WriteXm(s), WriteIt(t)}) {
    for (size_t cut = 0; cut + 1 < b.size(); cut += (cut < 800 ? 3 : 97)) {
      std::vector<uint8_t> c(b.begin(), b.begin() + cut);
      ModuleRecord* m = Load(c);
      if (m && cut < 200) ADD_FAILURE() << cut;
    }
    uint32_t x = 99;
    for (int round = 0; round < 300; round++) {
      std::vector<uint8_t> g = b;
      for (int k = 0; k < 12; k++) {
        x = x * 1103515245 + 12345;
        g[(x >> 8) % g.size()] = (uint8_t)(x >> 24);
      }
      ModuleRecord* m = Load(g);
      if (m) {
        int32_t hh = TUNEplayModule(m, 1);
        if (hh) {
          for (int k = 0; k < 50; k++) PlayerPlay();
          TUNEstopModule(hh);
        }
      }
    }
  }
}

}  // namespace

namespace {

TEST_F(XmIt, FuzzSeedsLoadAndPlay) {
  const std::string dir = qoe_test::SourceDir() + "/routinen/media/tune/fuzz/corpus/tune_load/";
  for (const char* name : {"seed.mod", "seed.s3m", "seed.xm", "seed.it"}) {
    std::vector<uint8_t> b = qoe_test::ReadFileBytes(dir + name);
    ASSERT_FALSE(b.empty()) << name;
    ModuleRecord* m = Load(b);
    ASSERT_NE(m, nullptr) << name << ": " << TUNEerrorText(TUNEgetLastError());
    int32_t hh = TUNEplayModule(m, 1);
    ASSERT_NE(hh, 0);
    for (int k = 0; k < 100; k++) ASSERT_EQ(PlayerPlay(), TE_OK) << name;
    TUNEstopModule(hh);
  }
}

}  // namespace

namespace {

// The whole chain: loader, player, mixer, filter, block device, sink.
TEST(TuneEndToEnd, XmDcSampleReachesTheSinkExactly) {
  CaptureSink cap;
  CaptureSinkInit(&cap);
  TuneSetPcmSink(&cap.sink);
  TUNEstartup();
  ASSERT_EQ(TUNEinit(), 1);
  Song s;
  s.channels = 4;
  s.samples.push_back(DcLoop(4000, 40));  // 8-bit 40: 10240 after the unsigned table
  s.patterns[0].at(0, 0) = Cell{48, 1, -1, 0, 0};
  ModuleRecord* m = nullptr;
  const int32_t h = LoadAndPlay(WriteXm(s), &m);
  ASSERT_NE(h, 0);
  PollPlayer();
  ASSERT_GE(cap.captured.size(), 44100u);
  std::vector<int16_t> pcm(cap.captured.size() / 2);
  std::memcpy(pcm.data(), cap.captured.data(), pcm.size() * 2);
  // the device mixes a tick before the player runs it: six ticks of 882 frames
  // of silence before the first row; then 10240 x 0.25 on both sides
  const size_t start = 6 * 882 * 2;
  EXPECT_EQ(pcm[start - 2], 0);
  EXPECT_EQ(pcm[start - 1], 0);
  EXPECT_EQ(pcm[start + 10], 2560);
  EXPECT_EQ(pcm[start + 11], 2560);
  EXPECT_EQ(pcm[start + 2000], 2560);
  TUNEsetMusicVolume(h, 32);
  cap.captured.clear();
  PollPlayer();
  ASSERT_GE(cap.captured.size(), 8000u);
  std::memcpy(pcm.data(), cap.captured.data(), 8000);
  EXPECT_EQ(pcm[2 * 882 * 2], 1280);  // from the next tick's update on
  TUNEstopModule(h);
  TUNEfreeModule(m);
  TUNEclose();
  TuneSetPcmSink(nullptr);
}

}  // namespace
