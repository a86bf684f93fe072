// S3M loader: Scream Tracker 3 modules. Little-endian; parapointers x 16.
#include <cstring>
#include <vector>

#include "routinen/system/byteorder.h"
#include "loader_common.h"
#include "platform/log.h"

namespace {

const uint8_t kLetters[25] = {CMD_SET_SPEED, CMD_POSITION_JUMP, CMD_PATTERN_BREAK, CMD_VOLUME_SLIDE, CMD_PORTA_DOWN, CMD_PORTA_UP, CMD_TONE_PORTA, CMD_VIBRATO, CMD_NONE, CMD_ARPEGGIO, CMD_VIBRATO_VOLSLIDE, CMD_TONE_PORTA_VOLSLIDE, CMD_NONE, CMD_NONE, CMD_SAMPLE_OFFSET, CMD_NONE, CMD_RETRIGGER_VOLUME, CMD_TREMOLO, CMD_NONE, CMD_SET_TEMPO, CMD_NONE, CMD_GLOBAL_VOLUME, CMD_SYNC, CMD_SET_PANNING, CMD_NONE};
const uint8_t kSTable[16] = {CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_SET_PANNING4, CMD_NONE, CMD_NONE, CMD_PATTERN_LOOP, CMD_NOTE_CUT, CMD_NOTE_DELAY, CMD_PATTERN_DELAY, CMD_NONE};

}  // namespace

int32_t LoadS3mModule(const uint8_t* data, uint32_t size, int32_t addSamples, SampleCallback cb,
                      ModuleRecord** module) {
  *module = nullptr;
  if (size < 96) return TE_EOF;
  if (std::memcmp(data + 44, "SCRM", 4) != 0) return TE_INVALID_MODULE;
  const uint32_t orderCount = GetLE16(data + 32), insCount = GetLE16(data + 34), patCount = GetLE16(data + 36);
  const uint32_t flags = GetLE16(data + 38), version = GetLE16(data + 40);
  if (insCount > 255 || orderCount > 256) return TE_INVALID_MODULE;
  const uint64_t tableEnd = 96ull + orderCount + 2ull * insCount + 2ull * patCount;
  const bool hasPanning = data[53] == 0xFC;
  if (tableEnd + (hasPanning ? 32 : 0) > size) return TE_EOF;
  const uint8_t* orders = data + 96;
  const uint8_t* insPtr = data + 96 + orderCount;
  const uint8_t* patPtr = insPtr + 2 * insCount;

  uint32_t songLength = orderCount;
  while (songLength > 0 && orders[songLength - 1] == 255) songLength--;
  if (songLength == 0) return TE_INVALID_MODULE;
  uint32_t highest = 0;
  bool playable = false;
  for (uint32_t i = 0; i < songLength; i++)
    if (orders[i] < 254) {
      playable = true;
      highest = orders[i] > highest ? orders[i] : highest;
    }
  if (!playable) return TE_INVALID_MODULE;

  ModuleRecord* m = nullptr;
  int32_t err = NewModule(&m);
  if (err) return err;
  void* p = nullptr;
  CopyName(m->name, data, 28);
  m->type = MT_S3M;
  m->songLength = songLength;
  m->restart = 0;
  m->masterVolume = data[48] > 64 ? 64 : data[48];
  m->speed = data[49] ? data[49] : 6;
  m->tempo = data[50] >= 32 ? data[50] : 125;
  m->instrumentCount = m->sampleCount = insCount;
  m->patternCount = highest + 1;
  if (flags & 16) m->flags |= MF_AMIGA_LIMITS;
  if ((flags & 32) || version < 0x1320) m->flags |= MF_FAST_SLIDES;
  if ((err = AllocZero(2 * songLength, &p))) return LoaderFail(m, err);
  m->orders = static_cast<uint16_t*>(p);
  for (uint32_t i = 0; i < songLength; i++)
    m->orders[i] = orders[i] == 254 ? (uint16_t)ORDER_SKIP : orders[i] == 255 ? (uint16_t)ORDER_END : (uint16_t)orders[i];

  // Channel panning.
  const int32_t sep = (int32_t)TuneOption(TUNE_OPT_STEREOSEP);
  uint32_t pan[32];
  int32_t lastInUse = -1;
  for (uint32_t c = 0; c < 32; c++) {
    const uint8_t set = data[64 + c];
    const bool inUse = set < 16, right = set >= 8;
    if (inUse) lastInUse = (int32_t)c;
    if (hasPanning) {
      const uint8_t b = data[tableEnd + c];
      if (!inUse) pan[c] = 64;
      else if (b & 0x20) {
        uint32_t v = b & 15;
        pan[c] = v < 7 ? v * 8 : v <= 8 ? 64 : v * 8 + 8;
      } else pan[c] = (uint32_t)(right ? 64 + sep : 64 - sep);
    } else {
      pan[c] = inUse ? (uint32_t)(right ? 64 + sep : 64 - sep) : 0;
    }
  }
  if (lastInUse < 0) return LoaderFail(m, TE_INVALID_MODULE);

  // Instrument heads.
  struct Head { uint32_t offset, dataOffset, length, loopStart, loopEnd, volume, flags, c2, type; };
  std::vector<Head> heads(insCount);
  for (uint32_t i = 0; i < insCount; i++) {
    const uint64_t off = GetLE16(insPtr + 2 * i) * 16ull;
    if (off + 80 > size) return LoaderFail(m, TE_EOF);
    const uint8_t* h = data + off;
    Head& hd = heads[i];
    hd.offset = (uint32_t)off;
    hd.type = h[0];
    hd.dataOffset = ((uint32_t)h[13] << 16 | GetLE16(h + 14)) * 16u;
    hd.length = GetLE32(h + 16);
    hd.loopStart = GetLE32(h + 20);
    hd.loopEnd = GetLE32(h + 24);
    hd.volume = h[28] > 64 ? 64 : h[28];
    hd.flags = h[31];
    hd.c2 = GetLE32(h + 32);
    if (hd.type != 1) hd.length = 0;  // empty or AdLib instrument: no sample data
    if (hd.length > 0x7FFFFFEF) return LoaderFail(m, TE_INVALID_INSTRUMENT);
  }

  // Patterns.
  if ((err = AllocZero(sizeof(void*) * m->patternCount, &p))) return LoaderFail(m, err);
  m->patterns = static_cast<PatternRecord**>(p);
  std::vector<bool> used(insCount, false);
  int32_t highestData = -1;
  std::vector<uint8_t> packed;
  for (uint32_t pat = 0; pat < m->patternCount; pat++) {
    packed.clear();
    const uint64_t off = pat < patCount ? GetLE16(patPtr + 2 * pat) * 16ull : 0;
    if (off == 0) {
      packed.assign(64, 0);
    } else {
      if (off + 2 > size) return LoaderFail(m, TE_EOF);
      // a packed length past the end of the file is cut to the file: the rows
      // themselves must still all be there
      uint32_t len = GetLE16(data + off);
      if (off + 2 + len > size) len = (uint32_t)(size - off - 2);
      BoundedReader r = MakeReader(data + off + 2, len);
      for (uint32_t row = 0; row < 64; row++) {
        for (;;) {
          const uint8_t b = ReadU8(r);
          if (!r.ok) return LoaderFail(m, TE_INVALID_PATTERN);
          if (b == 0) break;
          const uint32_t ch = b & 31;
          uint8_t note = 255, ins = 255, cmd = 0, info = 0;
          int32_t vol = -1;
          if (b & 0x20) {
            uint8_t n = ReadU8(r), in = ReadU8(r);
            if (n == 254) note = NOTE_CUT;
            else if (n < 127 && (n & 15) < 12) note = n;
            if (in >= 1 && in <= insCount) {
              ins = (uint8_t)(in - 1);
              if (ins <= 100) used[ins] = true;
            }
          }
          if (b & 0x40) {
            uint8_t v = ReadU8(r);
            vol = v > 63 ? 63 : v;
          }
          if (b & 0x80) {
            uint8_t c = ReadU8(r), i = ReadU8(r);
            if (c >= 1 && c <= 25) {
              if (c == 19) { cmd = kSTable[i >> 4]; info = i & 15; }
              else { cmd = kLetters[c - 1]; info = i; }
            }
          }
          if (!r.ok) return LoaderFail(m, TE_INVALID_PATTERN);
          if (note == 255 && ins == 255 && vol < 0 && !cmd) continue;
          if ((int32_t)ch > highestData) highestData = (int32_t)ch;
          if ((int32_t)ch > lastInUse) continue;
          PackEntry(packed, ch, note, ins, vol, cmd, info);
        }
        packed.push_back(0);
      }
    }
    if ((err = MakePattern(packed, 64, &m->patterns[pat]))) return LoaderFail(m, err);
  }
  int32_t count = lastInUse + 1 < highestData + 1 ? lastInUse + 1 : highestData + 1;
  m->channels = (uint8_t)(count < 1 ? 1 : count);
  if ((err = AllocZero(4 * m->channels, &p))) return LoaderFail(m, err);
  m->panning = static_cast<uint32_t*>(p);
  for (uint32_t c = 0; c < m->channels; c++) m->panning[c] = pan[c];

  // Instruments and samples.
  if ((err = AllocZero(sizeof(void*) * (insCount ? insCount : 1), &p))) return LoaderFail(m, err);
  m->instruments = static_cast<InstrumentRecord**>(p);
  if ((err = AllocZero(sizeof(void*) * (insCount ? insCount : 1), &p))) return LoaderFail(m, err);
  m->samples = static_cast<SampleRecord**>(p);
  for (uint32_t i = 0; i < insCount; i++) {
    const Head& hd = heads[i];
    SampleRecord* s = nullptr;
    if ((err = NewSampleInstrument(m, i, data + hd.offset + 48, 28, used[i], &s))) return LoaderFail(m, err);
    if (!s) continue;
    s->length = hd.length;
    s->volume = hd.volume;
    s->relNote = hd.c2 ? (int32_t)(hd.c2 > 0x7FFFFFFF ? 0x7FFFFFFF : hd.c2) : 8363;
    if ((hd.flags & 6) && hd.length) {
      DebugLog("LoadS3mModule: sample %u is 16-bit or stereo, played silent\n", i + 1);
      s->length = 0;
    }
    if ((hd.flags & 1) && hd.loopStart != hd.loopEnd && hd.loopStart < s->length) {
      s->loopStart = hd.loopStart;
      s->loopEnd = hd.loopEnd < s->length ? hd.loopEnd : s->length;
      if (s->loopStart < s->loopEnd) {
        s->loopMode = 1;
        s->loop1Type = 1;
        s->length = s->loopEnd;
      } else {
        s->loopStart = s->loopEnd = 0;
      }
    }
    s->type = s->length ? 1 : 0;
    if (s->length && (uint64_t)hd.dataOffset + s->length > size) return LoaderFail(m, TE_EOF);
    if ((err = HandSample(s, s->length ? data + hd.dataOffset : nullptr, addSamples, cb))) return LoaderFail(m, err);
  }
  *module = m;
  return TE_OK;
}
