// The data kit's XM writer: FastTracker 2 "Extended Module" files (version
// 0x0104, little-endian) with 16-bit samples, one sample per instrument.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace datakit {

struct XmEnvelope {
  std::vector<std::pair<uint16_t, uint16_t>> points;  // tick, value 0..64; at most 12
  int sustain = -1;                                    // point index or -1
  int loop_start = -1, loop_end = -1;
};

struct XmSample {
  std::vector<int16_t> data;
  uint32_t loop_start = 0, loop_length = 0;  // in samples; length 0: no loop
  uint8_t volume = 64;
  int8_t finetune = 0;  // 1/128 semitone
  int8_t relative_note = 0;
  uint8_t panning = 128;
};

struct XmInstrument {
  std::string name;
  XmSample sample;
  XmEnvelope volume;  // empty points: off
  uint16_t fadeout = 0;
  uint8_t vib_type = 0, vib_sweep = 0, vib_depth = 0, vib_rate = 0;
};

struct XmCell {
  uint8_t note = 0;  // 1..96, 97 key off
  uint8_t instrument = 0;
  uint8_t volume = 0;  // volume column byte (0x10 + v sets volume v)
  uint8_t effect = 0, param = 0;
};

struct XmPattern {
  int rows = 64;
  std::vector<XmCell> cells;  // rows x channels
};

struct XmModule {
  std::string name;
  int channels = 8;
  int speed = 6, tempo = 125;
  int restart = 0;
  std::vector<uint8_t> order;
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
};

std::vector<uint8_t> WriteXm(const XmModule& m);

}  // namespace datakit
