// The mixed output without a device: effects that sum past the ceiling are
// turned down so that the output never reaches full scale, and the mix comes
// back to unit gain once they have ended.
#include "platform/audio_sdl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

class AudioMix : public testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(AudioMixOpen(44100, 0), 1); }
  void TearDown() override {
    for (AudioBuffer* b : buffers_) AudioBufferRelease(b);
    AudioMixClose();
    EXPECT_EQ(AudioBufferCount(), 0);
  }
  // A buffer of frames samples of one value.
  AudioBuffer* Dc(int16_t value, uint32_t frames) {
    AudioBuffer* b = AudioBufferCreate(44100, frames * 2);
    EXPECT_NE(b, nullptr);
    uint32_t bytes = 0;
    int16_t* d = AudioBufferData(b, &bytes);
    std::fill(d, d + bytes / 2, value);
    buffers_.push_back(b);
    return b;
  }
  std::vector<int16_t> Render(uint32_t frames) {
    std::vector<int16_t> out(2 * frames);
    AudioMixRender(out.data(), frames);
    return out;
  }
  std::vector<AudioBuffer*> buffers_;
};

TEST_F(AudioMix, QuietSoundsMixAtUnitGain) {
  AudioBufferPlay(Dc(1000, 4410), 0);
  AudioBufferPlay(Dc(-300, 4410), 0);
  for (int16_t v : Render(4000)) ASSERT_EQ(v, 700);
}

TEST_F(AudioMix, LoudSoundsTogetherNeverReachFullScale) {
  // Three effects at about -1 dBFS each, a second long, both signs.
  AudioBufferPlay(Dc(29000, 44100), 0);
  AudioBufferPlay(Dc(25000, 44100), 0);
  AudioBufferPlay(Dc(20000, 22050), 0);
  std::vector<int16_t> loud = Render(44100);
  int32_t peak = 0;
  for (int16_t v : loud) peak = std::max<int32_t>(peak, std::abs((int32_t)v));
  EXPECT_LT(peak, 32767);
  EXPECT_GE(peak, 30000);  // turned down, not silenced
  AudioBufferPlay(Dc(-30000, 4410), 0);
  AudioBufferPlay(Dc(-30000, 4410), 0);
  for (int16_t v : Render(4410)) ASSERT_GT(v, -32768);
  // Alone again, a quiet sound comes back to unit gain within 0.2 s.
  AudioBufferPlay(Dc(1000, 44100), 0);
  std::vector<int16_t> after = Render(44100);
  EXPECT_EQ(after[2 * 9000], 1000);
  EXPECT_EQ(after.back(), 1000);
}

}  // namespace
