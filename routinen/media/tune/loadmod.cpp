// MOD loader: 31-instrument Protracker-style modules (and xCHN, xxCH,
// OCTA, FLT4, TDZx signatures). Big-endian words.
#include <cstring>
#include <vector>

#include "routinen/system/byteorder.h"
#include "loader_common.h"

namespace {

const uint16_t kModPeriods[72] = {
    1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907, 856, 808, 762, 720, 678, 640,
    604,  570,  538,  508,  480,  453,  428,  404,  381,  360,  339, 320, 302, 285, 269, 254, 240, 226,
    214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120, 113, 107, 101, 95,  90,  85,  80,
    75,   71,   67,   63,   60,   56,   53,   50,   47,   45,   42,  40,  37,  35,  33,  31,  30,  28};
const uint8_t kMainTable[16] = {CMD_ARPEGGIO, CMD_PORTA_UP, CMD_PORTA_DOWN, CMD_TONE_PORTA, CMD_VIBRATO, CMD_TONE_PORTA_VOLSLIDE, CMD_VIBRATO_VOLSLIDE, CMD_TREMOLO, CMD_SET_PANNING, CMD_SAMPLE_OFFSET, CMD_VOLUME_SLIDE, CMD_POSITION_JUMP, CMD_SET_VOLUME, CMD_PATTERN_BREAK, CMD_NONE, CMD_NONE};
const uint8_t kETable[16] = {CMD_NONE, CMD_FINE_PORTA_UP, CMD_FINE_PORTA_DOWN, CMD_NONE, CMD_NONE, CMD_NONE, CMD_PATTERN_LOOP, CMD_NONE, CMD_SET_PANNING4, CMD_RETRIGGER, CMD_FINE_VOLUME_UP, CMD_FINE_VOLUME_DOWN, CMD_NOTE_CUT, CMD_NOTE_DELAY, CMD_PATTERN_DELAY, CMD_NONE};

bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

uint32_t ChannelsOf(const uint8_t* sig) {
  uint32_t n = 0;
  if (!std::memcmp(sig, "M.K.", 4) || !std::memcmp(sig, "M!K!", 4) || !std::memcmp(sig, "FLT4", 4)) n = 4;
  if (!std::memcmp(sig, "OCTA", 4)) n = 8;
  if (!std::memcmp(sig + 1, "CHN", 3)) n = IsDigit(sig[0]) ? sig[0] - '0' : 0;
  if (!std::memcmp(sig + 2, "CH", 2)) n = IsDigit(sig[0]) && IsDigit(sig[1]) ? (sig[0] - '0') * 10 + sig[1] - '0' : 0;
  if (!std::memcmp(sig, "TDZ", 3)) n = IsDigit(sig[3]) ? sig[3] - '0' : 0;
  return n;
}

}  // namespace

int32_t LoadModModule(const uint8_t* data, uint32_t size, int32_t addSamples, SampleCallback cb,
                      ModuleRecord** module) {
  *module = nullptr;
  if (size < 1084) return size < 1080 ? TE_EOF : TE_INVALID_MODULE;
  const uint32_t channels = ChannelsOf(data + 1080);
  if (channels == 0 || channels > 32) return TE_INVALID_MODULE;
  const uint32_t songLength = data[950];
  if (songLength == 0 || songLength > 128) return TE_INVALID_MODULE;
  ModuleRecord* m = nullptr;
  int32_t err = NewModule(&m);
  if (err) return err;
  CopyName(m->name, data, 20);
  m->type = MT_MOD;
  m->songLength = songLength;
  m->restart = (data[951] != 127 && data[951] < songLength) ? data[951] : 0;
  m->instrumentCount = m->sampleCount = 31;
  m->channels = (uint8_t)channels;
  m->masterVolume = 64;
  m->speed = 6;
  m->tempo = 125;
  uint32_t highest = 0;
  for (int i = 0; i < 128; i++) highest = data[952 + i] > highest ? data[952 + i] : highest;
  m->patternCount = highest + 1;

  void* p = nullptr;
  if ((err = AllocZero(4 * channels, &p))) return LoaderFail(m, err);
  m->panning = static_cast<uint32_t*>(p);
  const int32_t sep = (int32_t)TuneOption(TUNE_OPT_STEREOSEP);
  for (uint32_t c = 0; c < channels; c++) m->panning[c] = (uint32_t)((c % 4 == 0 || c % 4 == 3) ? 64 - sep : 64 + sep);
  if ((err = AllocZero(2 * songLength, &p))) return LoaderFail(m, err);
  m->orders = static_cast<uint16_t*>(p);
  for (uint32_t i = 0; i < songLength; i++) m->orders[i] = data[952 + i];
  if ((err = AllocZero(sizeof(void*) * 31, &p))) return LoaderFail(m, err);
  m->instruments = static_cast<InstrumentRecord**>(p);
  if ((err = AllocZero(sizeof(void*) * 31, &p))) return LoaderFail(m, err);
  m->samples = static_cast<SampleRecord**>(p);
  if ((err = AllocZero(sizeof(void*) * m->patternCount, &p))) return LoaderFail(m, err);
  m->patterns = static_cast<PatternRecord**>(p);

  // Patterns.
  bool used[31] = {};
  const uint64_t patternBytes = 256ull * channels;
  if (1084 + patternBytes * m->patternCount > size) return LoaderFail(m, TE_EOF);
  std::vector<uint8_t> packed;
  for (uint32_t pat = 0; pat < m->patternCount; pat++) {
    packed.clear();
    const uint8_t* cells = data + 1084 + patternBytes * pat;
    for (uint32_t row = 0; row < 64; row++) {
      for (uint32_t c = 0; c < channels; c++) {
        const uint8_t* cell = cells + (row * channels + c) * 4;
        uint32_t period = ((cell[0] & 15u) << 8) | cell[1];
        uint32_t ins = (cell[0] & 0xF0u) | (cell[2] >> 4);
        uint32_t effect = cell[2] & 15u, info = cell[3];
        uint8_t note = 255, insByte = 255, cmd = 0, arg = 0;
        if (period) {
          int idx = -1;
          for (int k = 0; k < 72 && idx < 0; k++)
            if (kModPeriods[k] <= period) idx = k;
          if (idx < 0) return LoaderFail(m, TE_INVALID_PATTERN);
          uint32_t oct = (uint32_t)idx / 12;
          note = (uint8_t)(oct << 4 | (uint32_t)idx % 12);
          if (oct == 0 || oct >= 4) m->flags |= MF_EXT_OCTAVES;
        }
        if (ins) {
          if (ins > 31) return LoaderFail(m, TE_INVALID_PATTERN);
          used[ins - 1] = true;
          insByte = (uint8_t)(ins - 1);
        }
        if (effect || info) {
          if (effect == 8) {
            if (info < 129 || info == 164) { cmd = CMD_SET_PANNING; arg = (uint8_t)info; }
          } else if (effect == 14) {
            cmd = kETable[info >> 4];
            arg = (uint8_t)(info & 15);
          } else if (effect == 15) {
            cmd = info < 33 ? CMD_SET_SPEED : CMD_SET_TEMPO;
            arg = (uint8_t)info;
          } else {
            cmd = kMainTable[effect];
            arg = (uint8_t)info;
          }
        }
        PackEntry(packed, c, note, insByte, -1, cmd, arg);
      }
      packed.push_back(0);
    }
    if ((err = MakePattern(packed, 64, &m->patterns[pat]))) return LoaderFail(m, err);
  }

  // Instruments and samples, data in instrument order after the patterns.
  uint64_t offset = 1084 + patternBytes * m->patternCount;
  std::vector<uint8_t> buffer;
  for (uint32_t i = 0; i < 31; i++) {
    const uint8_t* h = data + 20 + 30 * i;
    const uint32_t length = GetBE16(h + 22) * 2u;
    const uint32_t finetune = h[24] & 15u;
    const uint32_t volume = h[25] > 64 ? 64 : h[25];
    const uint32_t loopStart = GetBE16(h + 26) * 2u;
    const uint32_t loopLength = GetBE16(h + 28) * 2u;
    if (offset + length > size) return LoaderFail(m, TE_EOF);
    const uint8_t* sampleData = data + offset;
    offset += length;  // the stored length, even when the sample is cut at its loop
    SampleRecord* s = nullptr;
    if ((err = NewSampleInstrument(m, i, h, 22, used[i], &s))) return LoaderFail(m, err);
    if (!s) continue;
    s->length = length;
    s->loopStart = loopStart;
    s->loopEnd = loopStart + loopLength;
    if (s->loopEnd > length) s->loopEnd = length;
    if (s->loopEnd < 3 || s->loopStart >= s->loopEnd) {
      s->loopMode = 4;
      s->loop1Type = 0;
      s->loopStart = s->loopEnd = 0;
    } else {
      s->loopMode = 5;
      s->loop1Type = 1;
      s->length = s->loopEnd;
    }
    s->volume = volume;
    s->finetune = (int32_t)finetune;
    s->type = s->length ? 1 : 0;
    buffer.assign(sampleData, sampleData + s->length);
    for (uint8_t& b : buffer) b ^= 0x80;
    if ((err = HandSample(s, buffer.empty() ? nullptr : buffer.data(), addSamples, cb))) return LoaderFail(m, err);
  }
  *module = m;
  return TE_OK;
}
