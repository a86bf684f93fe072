// Mixer cases computed by hand from the mixing formulas.
#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "routinen/media/tune/dmix.h"

namespace {

class Mixer : public ::testing::Test {
 protected:
  void Open(uint32_t mode, uint32_t channels = 4, int filter = 0) {
    TUNEstartup();
    TUNEsetOption(TUNE_OPT_FILTER, filter);
    ASSERT_EQ(dmixInit(44100, mode), TE_OK);
    ASSERT_EQ(dmixOpenChannels(channels), TE_OK);
  }
  void TearDown() override { ResetDmixState(); }

  uint32_t Add(uint32_t type, const void* data, uint32_t bytes, uint32_t loopType = 0,
               uint32_t ls = 0, uint32_t le = 0, int copy = 1) {
    SampleInfo s{data, 1, type, bytes, 0, ls, le, loopType, 0, 0, 0};
    uint32_t h = 0;
    EXPECT_EQ(dmixAddSample(&s, copy, &h), TE_OK);
    return h;
  }
  void Start(uint32_t c, uint32_t h, uint32_t rate, int32_t pan = 0, uint32_t vol = 64) {
    ASSERT_EQ(dmixSetSample(c, h), TE_OK);
    ASSERT_EQ(dmixSetVolume(c, vol), TE_OK);
    ASSERT_EQ(dmixSetPanning(c, pan), TE_OK);
    ASSERT_EQ(dmixPlaySound(c, rate), TE_OK);
  }
  // Skips the fade-in of a ramping mixer.
  void Settle(uint32_t c) {
    DmixChannel* ch = dmixChannel(c);
    ch->curL = ch->tgtL;
    ch->curR = ch->tgtR;
    ch->rampActive = 0;
  }
  std::vector<int16_t> Mix16(uint32_t frames) {
    uint32_t per = (dmixMode() & MIX_MONO) ? 1 : 2;
    std::vector<int16_t> out(frames * per);
    EXPECT_EQ(dmixMixData(frames, out.data()), TE_OK);
    return out;
  }
};

std::vector<int16_t> Ramp16(int n, int scale) {
  std::vector<int16_t> v(n);
  for (int i = 0; i < n; i++) v[i] = (int16_t)(i * scale);
  return v;
}

TEST_F(Mixer, DcSampleVolumeAndPanningFloat) {
  Open(MIX_16BIT | MIX_STEREO | MIX_FLOAT);
  std::vector<uint8_t> dc(100, 0xC0);  // 8-bit value 16384
  uint32_t h = Add(1, dc.data(), 100);
  Start(0, h, 44100, 0);
  Start(1, h, 44100, 32);  // right: left side (64-32) x 64
  dmixSetVolume(1, 64);
  auto out = Mix16(4);
  // factor = 64 x 64 x 64 x 16 x 64 / (4 x 2^28) = 0.25 per channel
  EXPECT_EQ(out[0], 4096 + 2048);
  EXPECT_EQ(out[1], 4096 + 4096);
  // half volume on channel 0
  dmixSetVolume(0, 32);
  out = Mix16(2);
  EXPECT_EQ(out[0], 2048 + 2048);
  EXPECT_EQ(out[1], 2048 + 4096);
}

TEST_F(Mixer, SurroundAndMasterVolume) {
  Open(MIX_16BIT | MIX_STEREO | MIX_FLOAT);
  std::vector<int16_t> dc(100, 1000);
  uint32_t h = Add(2, dc.data(), 200);
  Start(0, h, 44100, 128);
  auto out = Mix16(2);
  EXPECT_EQ(out[0], 250);
  EXPECT_EQ(out[1], -250);
  dmixSetMasterVolume(32);
  out = Mix16(1);
  EXPECT_EQ(out[0], 125);
}

TEST_F(Mixer, IntegerMixingMatchesTables) {
  Open(MIX_16BIT | MIX_STEREO | MIX_INTEGER);
  // rows of the 8-bit and mu-law tables for N = 4, amplification 64
  EXPECT_EQ(dmixVolumeTableEntry(0, 32, 255), 8128);
  EXPECT_EQ(dmixVolumeTableEntry(0, 16, 0), -4096);
  EXPECT_EQ(dmixVolumeTableEntry(0, 0, 77), 0);
  EXPECT_EQ(dmixVolumeTableEntry(1, 32, 0x80), 8031);
  std::vector<uint8_t> dc(100, 0xC0);
  uint32_t h = Add(1, dc.data(), 100);
  Start(0, h, 44100, 0);
  auto out = Mix16(2);
  EXPECT_EQ(out[0], 4096);
  EXPECT_EQ(out[1], 4096);
  // 16-bit samples become mu-law when copied (option 9 defaults to 1)
  std::vector<int16_t> dc16(100, 1000);
  uint32_t h16 = Add(2, dc16.data(), 200);
  EXPECT_EQ(dmixStopSound(0), TE_OK);
  Start(1, h16, 44100, 0);
  int32_t d = MuLawDecode(MuLawEncode(1000));
  out = Mix16(1);
  EXPECT_EQ(out[0], ((d * 32 * 64) / 64 / 32) / 4);
  // positions stay in bytes of the 16-bit data
  uint32_t pos = 0;
  dmixGetPosition(1, &pos);
  EXPECT_EQ(pos, 2u);
}

TEST_F(Mixer, IntegerSixteenBitMultiplierWithoutConversion) {
  TUNEstartup();
  TUNEsetOption(TUNE_OPT_CONVERT16, 0);
  TUNEsetOption(TUNE_OPT_FILTER, 0);
  ASSERT_EQ(dmixInit(44100, MIX_16BIT | MIX_STEREO | MIX_INTEGER), TE_OK);
  ASSERT_EQ(dmixOpenChannels(4), TE_OK);
  std::vector<int16_t> dc(100, 1000);
  uint32_t h = Add(2, dc.data(), 200);
  Start(0, h, 44100, 128);
  auto out = Mix16(1);
  EXPECT_EQ(out[0], 250);  // (1000 x 64) >> 8
  EXPECT_EQ(out[1], -250);
}

TEST_F(Mixer, MonoMixOfStereoSampleIsHalfSum) {
  Open(MIX_16BIT | MIX_MONO | MIX_FLOAT);
  std::vector<int16_t> st = {1000, 3000, 1000, 3000, 1000, 3000};
  uint32_t h = Add(4, st.data(), 12);
  Start(0, h, 44100);
  auto out = Mix16(1);
  EXPECT_EQ(out[0], 500);  // (1000 + 3000) x 0.25 x 0.5
}

TEST_F(Mixer, ForwardLoopWrapsByOvershoot) {
  Open(MIX_16BIT | MIX_STEREO | MIX_FLOAT);
  auto s = Ramp16(8, 100);
  uint32_t h = Add(2, s.data(), 16, 1, 4, 12);  // loop samples 2..6
  Start(0, h, 44100);
  auto out = Mix16(10);
  const int expect[10] = {0, 1, 2, 3, 4, 5, 2, 3, 4, 5};
  for (int i = 0; i < 10; i++) EXPECT_EQ(out[2 * i], expect[i] * 25) << i;
  // step 1.5: 0, 1.5, 3, 4.5, 6 -> 2.0, 3.5, 5, 6.5 -> 2.5
  dmixPlaySound(0, 66150);
  Mix16(7);
  DmixChannel* c = dmixChannel(0);
  EXPECT_EQ(c->pos, 2);
  EXPECT_EQ(c->frac, 0x8000u);
}

TEST_F(Mixer, BidirectionalLoopReflects) {
  Open(MIX_16BIT | MIX_STEREO | MIX_FLOAT);
  auto s = Ramp16(8, 100);
  uint32_t h = Add(2, s.data(), 16, 2, 4, 12);
  Start(0, h, 44100);
  auto out = Mix16(14);
  const int expect[14] = {0, 1, 2, 3, 4, 5, 5, 4, 3, 2, 2, 3, 4, 5};
  for (int i = 0; i < 14; i++) EXPECT_EQ(out[2 * i], expect[i] * 25) << i;
  dmixPlaySound(0, 66150);  // step 1.5
  Mix16(4);
  DmixChannel* c = dmixChannel(0);
  EXPECT_EQ(c->pos, 5);  // 6.0 reflected to 5.FFFF
  EXPECT_EQ(c->frac, 0xFFFFu);
  EXPECT_EQ(c->dir, -1);
  Mix16(3);  // 5.FFFF - 4.5 = 1.7FFF, reflected at 2 to 2.8000
  EXPECT_EQ(c->pos, 2);
  EXPECT_EQ(c->frac, 0x8000u);
  EXPECT_EQ(c->dir, 1);
  int32_t dir = 0;
  dmixGetDirection(0, &dir);
  EXPECT_EQ(dir, 1);
}

TEST_F(Mixer, OneShotEndsQuietly) {
  Open(MIX_16BIT | MIX_STEREO | MIX_FLOAT);
  std::vector<int16_t> s(4, 400);
  uint32_t h = Add(2, s.data(), 8);
  Start(0, h, 44100);
  auto out = Mix16(8);
  for (int i = 0; i < 4; i++) EXPECT_EQ(out[2 * i], 100);
  for (int i = 4; i < 8; i++) EXPECT_EQ(out[2 * i], 0);
  EXPECT_EQ(dmixChannel(0)->status, CH_ENDED);
  uint32_t rate = 1;
  dmixGetRate(0, &rate);
  EXPECT_EQ(rate, 0u);
}

TEST_F(Mixer, InterpolationOffsets) {
  Open(MIX_16BIT | MIX_STEREO | MIX_INTERPOLATE);
  std::vector<int16_t> s = {0, 1000, 2000, 3000};
  uint32_t h = Add(2, s.data(), 8);
  Start(0, h, 22050);
  Settle(0);
  auto out = Mix16(10);
  // step 0.5; the last sample interpolates toward itself
  const int expect[10] = {0, 125, 250, 375, 500, 625, 750, 750, 0, 0};
  for (int i = 0; i < 10; i++) EXPECT_EQ(out[2 * i], expect[i]) << i;
  // forward loop 1..4: the last sample interpolates toward the loop start
  uint32_t h2 = Add(2, s.data(), 8, 1, 2, 8);
  Start(1, h2, 22050);
  dmixStopSound(0);
  Settle(0);
  Settle(1);
  out = Mix16(9);
  const int expect2[9] = {0, 125, 250, 375, 500, 625, 750, 500, 250};
  for (int i = 0; i < 9; i++) EXPECT_EQ(out[2 * i], expect2[i]) << i;
}

TEST_F(Mixer, RampAndShadowChannel) {
  Open(MIX_16BIT | MIX_STEREO | MIX_INTERPOLATE);
  EXPECT_EQ(dmixChannelSlots(), 8u);
  std::vector<int16_t> a(200, 1000), b(200, 2000);
  uint32_t ha = Add(2, a.data(), 400), hb = Add(2, b.data(), 400);
  Start(0, ha, 44100);
  auto out = Mix16(34);
  for (int i = 0; i <= 32; i++) EXPECT_EQ(out[2 * i], (int)std::nearbyint(1000.0 * i / 128)) << i;
  EXPECT_EQ(out[2 * 33], 250);
  // a new note: the old sound fades on the shadow while the new one fades in
  dmixSetSample(0, hb);
  dmixPlaySound(0, 44100);
  EXPECT_EQ(dmixChannel(4)->status, CH_FADING);
  out = Mix16(34);
  for (int i = 0; i <= 32; i++)
    EXPECT_EQ(out[2 * i], (int)std::nearbyint(1000.0 * (32 - i) / 128 + 2000.0 * i / 128)) << i;
  EXPECT_EQ(dmixChannel(4)->status, CH_OFF);
  EXPECT_EQ(out[2 * 33], 500);
}

// A sample removed while a slot (here the fading shadow of a stopped note)
// still plays it: nothing may read its freed data afterwards.
TEST_F(Mixer, RemovedSampleNeverSoundsAgain) {
  Open(MIX_16BIT | MIX_STEREO | MIX_INTERPOLATE);
  std::vector<int16_t> a(2000, 1000);
  uint32_t ha = Add(2, a.data(), 4000, 1, 0, 4000);
  Start(0, ha, 44100);
  Mix16(40);
  ASSERT_EQ(dmixStopSound(0), TE_OK);
  ASSERT_EQ(dmixChannel(4)->status, CH_FADING);
  ASSERT_EQ(dmixRemoveSample(ha), TE_OK);
  EXPECT_EQ(dmixChannel(4)->status, CH_OFF);
  auto out = Mix16(64);
  for (int16_t v : out) EXPECT_EQ(v, 0);
  // an ended channel that still names the handle is not restarted from it
  uint32_t hb = Add(2, a.data(), 4000);
  Start(1, hb, 44100);
  dmixChannel(1)->status = CH_ENDED;
  ASSERT_EQ(dmixRemoveSample(hb), TE_OK);
  EXPECT_EQ(dmixChannel(1)->handle, 0u);
  ASSERT_EQ(dmixSetPosition(1, 0), TE_OK);
  EXPECT_NE(dmixChannel(1)->status, CH_PLAYING);
  out = Mix16(64);
  for (int16_t v : out) EXPECT_EQ(v, 0);
}

TEST_F(Mixer, MuLawConversion) {
  EXPECT_EQ(MuLawEncode(0), 0xFF);
  EXPECT_EQ(MuLawDecode(0xFF), 0);
  EXPECT_EQ(MuLawDecode(0x80), 32124);
  EXPECT_EQ(MuLawDecode(0x00), -32124);
  EXPECT_EQ(MuLawEncode(32767), 0x80);
  EXPECT_EQ(MuLawEncode(-32768), 0x00);
  for (int v = -32768; v < 32768; v += 7) {
    int d = MuLawDecode(MuLawEncode((int16_t)v));
    int err = d > v ? d - v : v - d;
    EXPECT_LE(err, (v < 0 ? -v : v) / 16 + 8) << v;
  }
}

TEST_F(Mixer, OutputConversionClamps) {
  float f[4] = {32767.5f, -40000.0f, -129.0f * 256, 100.4f};
  int16_t o16[4];
  ConvertOutput(MIX_16BIT | MIX_STEREO | MIX_FLOAT, f, 4, o16);
  EXPECT_EQ(o16[0], 32767);
  EXPECT_EQ(o16[1], -32768);
  EXPECT_EQ(o16[3], 100);
  uint8_t o8[4];
  ConvertOutput(MIX_8BIT | MIX_STEREO | MIX_FLOAT, f, 4, o8);
  EXPECT_EQ(o8[0], 255);
  EXPECT_EQ(o8[2], 0);
  EXPECT_EQ(o8[3], 128);
  int32_t iv[3] = {40000, -300 * 256, 256 * 5 + 255};
  ConvertOutput(MIX_16BIT | MIX_MONO | MIX_INTEGER, iv, 3, o16);
  EXPECT_EQ(o16[0], 32767);
  EXPECT_EQ(o16[1], -32768);
  ConvertOutput(MIX_8BIT | MIX_MONO | MIX_INTEGER, iv, 3, o8);
  EXPECT_EQ(o8[0], 255);
  EXPECT_EQ(o8[1], 0);
  EXPECT_EQ(o8[2], 133);
}

// The fast conversion against the plain loop, bit for bit: random buffers
// of every length up to 80 (the wide steps and their ends) at every offset,
// full of values near the rounding steps, past the clamps, infinities and
// NaNs of both signs, in all four output forms.
TEST_F(Mixer, FastConversionEqualsThePlainLoop) {
  uint32_t seed = 777;
  auto rnd = [&seed]() {
    seed = seed * 1664525u + 1013904223u;
    return seed;
  };
  const float specials[] = {std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                            32767.5f, -32768.5f, 32766.5f, -0.0f, 0.5f, -0.5f, 1.5f, 2.5f, 2147483520.0f,
                            2147483648.0f, -2147483904.0f, 3e38f, -3e38f, 1e-40f, 255.999f, -256.0f, -257.0f};
  const uint32_t modes[] = {MIX_16BIT, MIX_8BIT};
  std::vector<float> f(100);
  std::vector<int32_t> iv(100);
  for (int round = 0; round < 3000; round++) {
    const uint32_t n = rnd() % 81, at = rnd() % 4;
    for (uint32_t i = 0; i < n + at; i++) {
      const uint32_t r = rnd();
      switch (r % 5) {
        case 0: f[i] = specials[(r >> 8) % (sizeof specials / sizeof specials[0])]; break;
        case 1: f[i] = (float)((int32_t)(r >> 8) % 70000) + 0.5f * (float)((r >> 4) % 3); break;
        case 2: { uint32_t bits = rnd(); std::memcpy(&f[i], &bits, 4); break; }  // any pattern
        default: f[i] = ((float)(int32_t)rnd()) / (float)(1u << (r % 24)); break;
      }
      iv[i] = (r % 3) ? (int32_t)rnd() >> (r % 31) : (int32_t)rnd();
    }
    for (uint32_t m : modes)
      for (uint32_t kind : {MIX_FLOAT, MIX_INTEGER}) {
        const uint32_t mode = m | MIX_STEREO | kind;
        const void* in = kind == MIX_FLOAT ? (const void*)(f.data() + at) : (const void*)(iv.data() + at);
        uint8_t fast[200], plain[200];
        std::memset(fast, 0xA5, sizeof fast);
        std::memset(plain, 0xA5, sizeof plain);
        ConvertOutput(mode, in, n, fast + at);
        ConvertOutputPlain(mode, in, n, plain + at);
        ASSERT_EQ(std::memcmp(fast, plain, sizeof fast), 0) << "round " << round << " mode " << mode << " n " << n;
      }
  }
}

// Whole mixes through the fast loops and through the plain ones, byte for
// byte: loud channels of every sample type (so the output clamps), every
// output form, float, integer and interpolating mixing, each filter setting,
// pieces of odd lengths.
TEST_F(Mixer, FastLoopsMixExactlyAsThePlainOnes) {
  std::vector<uint8_t> raw(6000);
  for (size_t i = 0; i < raw.size(); i++) raw[i] = (uint8_t)((i * 37) ^ (i >> 3) * 11);
  const uint32_t types[] = {SMP_U8_MONO, SMP_S16_MONO, SMP_U8_STEREO, SMP_S16_STEREO, SMP_ULAW_MONO, SMP_ULAW_STEREO};
  for (uint32_t kind : {MIX_FLOAT, MIX_INTEGER, MIX_INTERPOLATE})
    for (uint32_t out : {MIX_16BIT, MIX_8BIT})
      for (uint32_t sides : {MIX_STEREO, MIX_MONO})
        for (int filter : {0, 1, 2}) {
          std::vector<uint8_t> result[2];
          for (int plain = 0; plain < 2; plain++) {
            ResetDmixState();
            dmixUsePlainLoops(plain);
            Open(kind | out | sides, 6, filter);
            for (uint32_t c = 0; c < 6; c++) {
              Start(c, Add(types[c], raw.data(), (uint32_t)raw.size(), 1, 100, 5000), 9000 + 3777 * c,
                    (int32_t)(c * 45 % 129) - 64);
            }
            dmixSetAmplification(400);
            const uint32_t bytesPerFrame = (out == MIX_16BIT ? 2 : 1) * (sides == MIX_STEREO ? 2 : 1);
            for (uint32_t frames : {1u, 17u, 1000u, 4409u}) {
              std::vector<uint8_t> piece(frames * bytesPerFrame);
              ASSERT_EQ(dmixMixData(frames, piece.data()), TE_OK);
              result[plain].insert(result[plain].end(), piece.begin(), piece.end());
            }
          }
          EXPECT_TRUE(result[0] == result[1]) << "mode " << (kind | out | sides) << " filter " << filter;
        }
}

TEST_F(Mixer, FilterGains) {
  // integer light: 11/32 of (2x + x1); heavy: (4x + 3x1 + x2) / 8
  TUNEstartup();
  TUNEsetOption(TUNE_OPT_FILTER, 1);
  OutputFilterReset(1);
  int32_t b[6] = {1000, 1000, 1000, 1000, 1000, 1000};
  OutputFilterNode.intStereo(b, 3, nullptr);
  EXPECT_EQ(b[0], 688);
  EXPECT_EQ(b[2], 1032);
  EXPECT_EQ(b[4], 1032);
  TUNEsetOption(TUNE_OPT_FILTER, 2);
  OutputFilterReset(1);
  int32_t m[3] = {1000, 1000, 1000};
  OutputFilterNode.intMono(m, 3, nullptr);
  EXPECT_EQ(m[0], 500);
  EXPECT_EQ(m[1], 875);
  EXPECT_EQ(m[2], 1000);
  float fm[3] = {1000, 1000, 1000};
  OutputFilterReset(1);
  OutputFilterNode.floatMono(fm, 3, nullptr);
  EXPECT_FLOAT_EQ(fm[2], 1000.0f);
  TUNEsetOption(TUNE_OPT_FILTER, 1);
  OutputFilterReset(1);
  float fl[2] = {1000, 1000};
  OutputFilterNode.floatMono(fl, 2, nullptr);
  EXPECT_NEAR(fl[1], 1000.0f, 0.001f);
  // automatic: light without interpolation, off with it
  TUNEsetOption(TUNE_OPT_FILTER, 3);
  OutputFilterReset(0);
  int32_t x[2] = {1000, 1000};
  OutputFilterNode.intMono(x, 2, nullptr);
  EXPECT_EQ(x[0], 1000);
}

TEST_F(Mixer, SampleTableChecks) {
  Open(MIX_16BIT | MIX_STEREO | MIX_FLOAT);
  std::vector<uint8_t> s(10, 0x80);
  // loop end past the sample is clamped; an empty loop is dropped
  uint32_t h = Add(1, s.data(), 10, 1, 4, 50);
  dmixSetSample(0, h);
  dmixPlaySound(0, 44100);
  EXPECT_EQ(dmixChannel(0)->loop1End, 10u);
  uint32_t h2 = Add(1, s.data(), 10, 2, 6, 6);
  dmixSetSample(1, h2);
  dmixPlaySound(1, 44100);
  EXPECT_EQ(dmixChannel(1)->loop1Type, 0u);
  EXPECT_EQ(dmixSetSample(0, 0), TE_INVALID_SAMPLE);
  EXPECT_EQ(dmixSetSample(0, 1025), TE_INVALID_SAMPLE);
  EXPECT_EQ(dmixSetSample(0, 77), TE_INVALID_SAMPLE);
  EXPECT_EQ(dmixRemoveSample(0), TE_INVALID_SAMPLE);
  EXPECT_EQ(dmixSetVolume(4, 1), TE_INVALID_CHANNEL);
  EXPECT_EQ(dmixRemoveSample(h2), TE_OK);
  EXPECT_EQ(dmixRemoveSample(h2), TE_INVALID_SAMPLE);
  uint32_t amp = 0;
  dmixGetAmplification(&amp);
  EXPECT_EQ(amp, 64u);
  dmixOpenChannels(32);
  dmixGetAmplification(&amp);
  EXPECT_EQ(amp, 448u);
  // every handle in use
  SampleInfo none{nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  uint32_t hh = 0;
  int32_t err = TE_OK;
  std::vector<uint32_t> handles;
  for (int i = 0; i < 1100 && !err; i++)
    if (!(err = dmixAddSample(&none, 0, &hh))) handles.push_back(hh);
  EXPECT_EQ(err, TE_OUT_OF_HANDLES);
  // 1024 is the stream mark: never a sample's handle.
  ASSERT_FALSE(handles.empty());
  EXPECT_EQ(*std::max_element(handles.begin(), handles.end()), 1023u);
  EXPECT_EQ(std::count(handles.begin(), handles.end(), DMIX_STREAM_HANDLE), 0);
  EXPECT_EQ(dmixCloseChannels(), TE_OK);
  EXPECT_EQ(dmixCloseChannels(), TE_CHANNELS_NOT_OPEN);
}

TEST_F(Mixer, ReleaseSwitchesToSecondLoop) {
  Open(MIX_16BIT | MIX_STEREO | MIX_FLOAT);
  auto s = Ramp16(12, 100);
  SampleInfo info{s.data(), 1, 2, 24, 2, 4, 8, 1, 16, 24, 1};  // loop 2..4, then 8..12
  uint32_t h = 0;
  ASSERT_EQ(dmixAddSample(&info, 1, &h), TE_OK);
  Start(0, h, 44100);
  auto out = Mix16(6);
  const int e1[6] = {0, 1, 2, 3, 2, 3};
  for (int i = 0; i < 6; i++) EXPECT_EQ(out[2 * i], e1[i] * 25);
  dmixReleaseSound(0);
  out = Mix16(12);
  const int e2[12] = {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 8, 9};
  for (int i = 0; i < 12; i++) EXPECT_EQ(out[2 * i], e2[i] * 25) << i;
}

TEST_F(Mixer, StreamStopsAtWritePosition) {
  Open(MIX_16BIT | MIX_STEREO | MIX_FLOAT);
  std::vector<int16_t> ring(16, 400);
  ASSERT_EQ(dmixStartStream(0, reinterpret_cast<uint8_t*>(ring.data()), 32, 2, 44100), TE_OK);
  dmixSetStreamWritePosition(0, 8);  // 4 samples written
  auto out = Mix16(6);
  for (int i = 0; i < 4; i++) EXPECT_EQ(out[2 * i], 100);
  EXPECT_EQ(out[8], 0);
  EXPECT_EQ(dmixChannel(0)->status, CH_PLAYING);  // starved, not ended
  dmixSetStreamWritePosition(0, 16);
  out = Mix16(2);
  EXPECT_EQ(out[0], 100);
}

}  // namespace
