// The sound tests' world: the platform mixer without a device (the test pulls
// the mix), every kind of sound offered, a scripted CD drive, the log kept,
// and index, sample and module files written by the tests.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/audio_sdl.h"
#include "platform/backend.h"
#include "platform/cd_audio.h"
#include "platform/log.h"
#include "routinen/media/sound.h"
#include "routinen/media/sound_internal.h"
#include "routinen/media/tune/tests/module_writer.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

namespace soundtest {

constexpr uint32_t kAll = SOUND_16BIT | SOUND_CDROM | SOUND_FASTTRACKER | SOUND_SOUNDFX | SOUND_MUSIC;

struct SfxDef {
  uint32_t size;
  uint32_t rate;
  std::string path;  // as written into the index (Amiga form)
};

// The sound index: 32-byte header, count, 20-byte records, then the paths
// (offsets counted from byte 32).
inline std::vector<uint8_t> MakeIndex(const std::vector<SfxDef>& defs) {
  std::vector<uint8_t> b(36 + 20 * defs.size(), 0);
  std::memcpy(b.data(), "QOE SOUND INDEX", 15);
  PutBE32(&b[32], static_cast<uint32_t>(defs.size()));
  for (size_t i = 0; i < defs.size(); i++) {
    uint8_t* r = &b[36 + 20 * i];
    PutBE32(r + 4, defs[i].size);
    PutBE32(r + 8, defs[i].rate);
    PutBE32(r + 12, static_cast<uint32_t>(b.size() - 32));
    b.insert(b.end(), defs[i].path.begin(), defs[i].path.end());
    b.push_back(0);
  }
  return b;
}

inline bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  return qoe_test::WriteFileBytes(path, bytes);
}

// Signed 16-bit big-endian samples, as the sample files hold them.
inline std::vector<uint8_t> SampleBytes(const std::vector<int16_t>& v) {
  std::vector<uint8_t> b(v.size() * 2);
  for (size_t i = 0; i < v.size(); i++) PutBE16(&b[2 * i], static_cast<uint16_t>(v[i]));
  return b;
}

inline std::vector<int16_t> Ramp(int n, int start = 1) {
  std::vector<int16_t> v(n);
  for (int i = 0; i < n; i++) v[i] = static_cast<int16_t>(start + i);
  return v;
}

// A looping 4-channel MOD: one DC tone on channel 0 (8-bit value `level`).
inline std::vector<uint8_t> ToneModule(int level = 64) {
  modwriter::Song s;
  s.samples.push_back(modwriter::DcLoop(256, level));
  s.patterns[0].at(0, 0) = modwriter::Cell{24, 1, -1, 0, 0};
  return modwriter::WriteMod(s);
}

class SoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DebugLogSetStderr(0);
    DebugLogSetHook([](const char* line, void* self) { static_cast<SoundTest*>(self)->log.push_back(line); }, this);
    ASSERT_EQ(AudioMixOpen(44100, 0), 1);
    CdScriptInit(&cd);
    SelectCdDrive(&cd.drive);
    Sound().CdSleep = [](uint32_t) {};
    MainWindow = HeadlessBackend();  // the module player wants a window
    QoESystemPtr->SoundCapabilities = kAll;
    QoESystemPtr->SoundStatus = kAll;
    QoESystemPtr->Optionen.sound_optionen = kAll;
  }
  void TearDown() override {
    SoundSystemReset();
    EXPECT_EQ(AudioBufferCount(), 0);
    AudioMixClose();
    FreeCaches(2);
    SelectCdDrive(nullptr);
    MainWindow = nullptr;
    QoESystemPtr->SoundCapabilities = 0;
    QoESystemPtr->SoundStatus = 0;
    DebugLogSetHook(nullptr, nullptr);
    DebugLogSetStderr(1);
  }
  bool Logged(const std::string& line) const {
    for (const std::string& l : log)
      if (l == line) return true;
    return false;
  }
  // Stereo frames of the mix.
  std::vector<int16_t> Render(uint32_t frames) {
    std::vector<int16_t> out(2 * frames);
    AudioMixRender(out.data(), frames);
    return out;
  }
  // The left channel of the next frames.
  std::vector<int16_t> Left(uint32_t frames) {
    std::vector<int16_t> s = Render(frames), l(frames);
    for (uint32_t i = 0; i < frames; i++) l[i] = s[2 * i];
    return l;
  }

  std::vector<std::string> log;
  CdScript cd;
};

}  // namespace soundtest
