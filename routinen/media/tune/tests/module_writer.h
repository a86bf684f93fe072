// Test module writer: builds MOD, S3M, XM and IT files with chosen samples,
// patterns and effects, so each player rule is tested on a file made for it.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace modwriter {

enum : int { kNoNote = -1, kKeyOff = -2, kNoteCut = -3 };

struct Cell {
  int note = kNoNote;  // octave x 12 + semitone (MOD: index into the period table)
  int ins = 0;         // 1-based, 0 none
  int vol = -1;        // raw volume-column byte of the format, -1 none
  int effect = 0;      // MOD/XM effect number, S3M/IT letter ('A'..'Z'); 0 none
  int info = 0;
};

struct Sample {
  std::vector<int> data;  // signed values (8-bit: -128..127)
  bool bits16 = false;
  uint32_t loopStart = 0, loopLength = 0;  // samples
  int loopType = 0;                        // 0 none, 1 forward, 2 ping-pong
  uint32_t sustainStart = 0, sustainLength = 0;  // IT sustain loop
  int sustainType = 0;
  int volume = 64;
  int finetune = 0;   // MOD 0..15, XM -128..127
  int relNote = 0;    // XM
  uint32_t c2 = 8363; // S3M C2 / IT C5 speed
  int panning = 128;  // XM 0..255
  std::string name = "sample";
};

struct Envelope {
  bool on = false;
  std::vector<std::pair<int, int>> points;  // tick, value
  int sustain = -1, loopStart = -1, loopEnd = -1;
  int sustainStart = -1, sustainEnd = -1;  // IT sustain loop
};

struct Instrument {
  std::string name = "instrument";
  std::vector<int> samples;  // 1-based sample numbers
  std::vector<int> keymap;   // XM: 96 entries of 0-based slot; IT: 120 entries of 1-based sample
  std::vector<int> keyNotes;  // IT: note played for each of the 120 keys (default: the key)
  Envelope volEnv, panEnv;
  int fadeout = 0;
  int vibType = 0, vibSweep = 0, vibDepth = 0, vibRate = 0;
  int defaultPan = -1;  // IT 0..64, -1 none
};

struct Pattern {
  int rows = 64;
  std::map<std::pair<int, int>, Cell> cells;  // (row, channel)
  Cell& at(int row, int channel) { return cells[{row, channel}]; }
};

struct Song {
  std::string name = "test song";
  int channels = 4;
  std::vector<int> orders = {0};  // S3M/IT: 254 skip, 255 end
  std::vector<Pattern> patterns = {Pattern{}};
  std::vector<Sample> samples;
  std::vector<Instrument> instruments;  // XM / IT instrument mode; empty: one per sample
  int speed = 6, tempo = 125, restart = 0, globalVolume = 64;
  std::string modSignature = "M.K.";
  int modSongLengthOverride = -1;
  uint16_t s3mFlags = 0, s3mVersion = 0x1320;
  bool s3mPanning = false;
  bool xmLinear = true;
  uint16_t xmVersion = 0x0104;
  bool itInstrumentMode = false;
  bool itOldInstruments = false;
  bool itLinear = true;
  std::vector<int> channelPanning;  // IT 0..64 per channel
};

std::vector<uint8_t> WriteMod(const Song& song);
std::vector<uint8_t> WriteS3m(const Song& song);
std::vector<uint8_t> WriteXm(const Song& song);
std::vector<uint8_t> WriteIt(const Song& song);

// A sample of n frames of one value (8-bit) or 16-bit.
Sample Dc(int n, int value, bool bits16 = false);
// The same, looped forward over all its frames: a tone that never ends.
Sample DcLoop(int n, int value);

}  // namespace modwriter
