// IT loader: Impulse Tracker modules, little-endian, with instrument mode,
// keymaps, envelopes and old-format instruments.
#include <cstring>
#include <vector>

#include "routinen/system/byteorder.h"
#include "dmix.h"
#include "loader_common.h"
#include "platform/log.h"

namespace {

const uint8_t kLetters[25] = {CMD_SET_SPEED, CMD_POSITION_JUMP, CMD_PATTERN_BREAK, CMD_VOLUME_SLIDE, CMD_PORTA_DOWN, CMD_PORTA_UP, CMD_TONE_PORTA, CMD_VIBRATO, CMD_NONE, CMD_ARPEGGIO, CMD_VIBRATO_VOLSLIDE, CMD_TONE_PORTA_VOLSLIDE, CMD_NONE, CMD_NONE, CMD_SAMPLE_OFFSET, CMD_PANNING_SLIDE, CMD_RETRIGGER_VOLUME, CMD_TREMOLO, CMD_NONE, CMD_SET_TEMPO, CMD_NONE, CMD_GLOBAL_VOLUME, CMD_GLOBAL_VOLUME_SLIDE, CMD_NONE, CMD_NONE};
const uint8_t kSTable[16] = {CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_SET_PANNING4, CMD_NONE, CMD_NONE, CMD_PATTERN_LOOP, CMD_NOTE_CUT, CMD_NOTE_DELAY, CMD_PATTERN_DELAY, CMD_NONE};

bool In(uint64_t offset, uint64_t bytes, uint32_t size) { return offset + bytes <= size; }

// New-format envelope (82 bytes); values of panning and pitch envelopes
// (-32..32) are stored plus 32.
int32_t ConvertEnvelope(const uint8_t* e, bool centred, EnvelopeRecord** out) {
  *out = nullptr;
  const uint8_t flags = e[0];
  if (!(flags & 1)) return TE_OK;
  if (centred && e[1] == 0) return TE_OK;  // no points: nothing to add to the panning
  void* p = nullptr;
  if (int32_t err = AllocZero(sizeof(EnvelopeRecord), &p)) return err;
  EnvelopeRecord* r = static_cast<EnvelopeRecord*>(p);
  const uint8_t count = e[1] > 25 ? 25 : e[1];
  auto index = [count](uint8_t i) -> uint8_t { return i < count ? i : 255; };
  r->points = count;
  r->sustain = 255;
  r->loopStart = r->loopEnd = r->sustainStart = r->sustainEnd = 255;
  if (flags & 2) { r->loopStart = index(e[2]); r->loopEnd = index(e[3]); }
  if (flags & 4) { r->sustainStart = index(e[4]); r->sustainEnd = index(e[5]); }
  if (r->loopStart == 255 || r->loopEnd == 255) r->loopStart = r->loopEnd = 255;
  if (r->sustainStart == 255 || r->sustainEnd == 255) r->sustainStart = r->sustainEnd = 255;
  for (int i = 0; i < 25; i++) {
    int v = (int8_t)e[6 + 3 * i];
    if (centred) v += 32;
    r->value[i] = (uint16_t)(v < 0 ? 0 : v > 64 ? 64 : v);
    r->tick[i] = GetLE16(e + 7 + 3 * i);
  }
  *out = r;
  return TE_OK;
}

// Keymap of 120 (note, sample) pairs into (note, local sample index) and the
// instrument's sample list in order of first use.
int32_t BuildNoteTable(const uint8_t* keys, ModuleRecord* m, InstrumentRecord* in) {
  void* p = nullptr;
  if (int32_t err = AllocZero(240, &p)) return err;
  in->noteTable = static_cast<uint8_t*>(p);
  std::vector<uint32_t> order;
  for (int k = 0; k < 120; k++) {
    const uint8_t note = keys[2 * k], smp = keys[2 * k + 1];
    in->noteTable[2 * k] = note < 120 ? note : (uint8_t)k;
    uint8_t local = 255;
    if (smp >= 1 && smp <= m->sampleCount && m->samples[smp - 1]) {
      size_t j = 0;
      while (j < order.size() && order[j] != smp) j++;
      if (j == order.size()) order.push_back(smp);
      local = (uint8_t)j;
    }
    in->noteTable[2 * k + 1] = local;
  }
  if (!order.empty()) {
    if (int32_t err = AllocZero((uint32_t)(sizeof(void*) * order.size()), &p)) return err;
    in->samples = static_cast<SampleRecord**>(p);
    for (size_t j = 0; j < order.size(); j++) in->samples[j] = m->samples[order[j] - 1];
    in->sampleCount = (uint32_t)order.size();
  }
  return TE_OK;
}

}  // namespace

int32_t LoadItModule(const uint8_t* data, uint32_t size, int32_t addSamples, SampleCallback cb,
                     ModuleRecord** module) {
  *module = nullptr;
  if (size < 192) return TE_EOF;
  if (std::memcmp(data, "IMPM", 4) != 0) return TE_INVALID_MODULE;
  const uint32_t ordCount = GetLE16(data + 32), insCount = GetLE16(data + 34);
  const uint32_t smpCount = GetLE16(data + 36), patCount = GetLE16(data + 38);
  const uint32_t cmwt = GetLE16(data + 42), flags = GetLE16(data + 44);
  if (ordCount == 0 || ordCount > 256 || insCount > 255 || smpCount > 255 || patCount > 256)
    return TE_INVALID_MODULE;
  const uint64_t tables = 192ull + ordCount;
  if (!In(tables, 4ull * (insCount + smpCount + patCount), size)) return TE_EOF;
  const uint8_t* insOff = data + tables;
  const uint8_t* smpOff = insOff + 4 * insCount;
  const uint8_t* patOff = smpOff + 4 * smpCount;
  const bool instrumentMode = flags & 4;

  ModuleRecord* m = nullptr;
  int32_t err = NewModule(&m);
  if (err) return err;
  void* p = nullptr;
  CopyName(m->name, data + 4, 26);
  m->type = MT_IT;
  m->songLength = ordCount;
  m->restart = 0;
  m->masterVolume = 64;
  m->speed = data[50] ? data[50] : 6;
  m->tempo = data[51] >= 32 ? data[51] : 125;
  if (instrumentMode) m->flags |= MF_INSTRUMENTS;
  if (flags & 8) m->flags |= MF_LINEAR;
  uint32_t highest = 0;
  bool playable = false;
  if ((err = AllocZero(2 * ordCount, &p))) return LoaderFail(m, err);
  m->orders = static_cast<uint16_t*>(p);
  for (uint32_t i = 0; i < ordCount; i++) {
    const uint8_t o = data[192 + i];
    if (o == 255) m->orders[i] = ORDER_END;
    else if (o >= 200) m->orders[i] = ORDER_SKIP;  // 254, and numbers no pattern can have
    else {
      m->orders[i] = o;
      highest = o > highest ? o : highest;
      playable = true;
    }
  }
  if (!playable) return LoaderFail(m, TE_INVALID_MODULE);
  m->patternCount = patCount > highest + 1 ? patCount : highest + 1;
  int32_t lastInUse = -1;
  for (int c = 0; c < 32; c++)
    if (data[64 + c] < 127) lastInUse = c;
  if (lastInUse < 0) return LoaderFail(m, TE_INVALID_MODULE);

  // Samples first: the instruments' keymaps point at them.
  m->sampleCount = smpCount;
  if ((err = AllocZero(sizeof(void*) * (smpCount ? smpCount : 1), &p))) return LoaderFail(m, err);
  m->samples = static_cast<SampleRecord**>(p);
  for (uint32_t i = 0; i < smpCount; i++) {
    const uint64_t off = GetLE32(smpOff + 4 * i);
    if (!In(off, 80, size)) return LoaderFail(m, TE_EOF);
    const uint8_t* h = data + off;
    const bool bits16 = h[18] & 2;
    const uint64_t bytes = (uint64_t)GetLE32(h + 48) << (bits16 ? 1 : 0);
    if (bytes > 0x7FFFFFEF) return LoaderFail(m, TE_INVALID_INSTRUMENT);
  }
  std::vector<uint8_t> buffer;
  for (uint32_t i = 0; i < smpCount; i++) {
    const uint8_t* h = data + GetLE32(smpOff + 4 * i);
    if ((err = AllocZero(sizeof(SampleRecord), &p))) return LoaderFail(m, err);
    SampleRecord* s = static_cast<SampleRecord*>(p);
    m->samples[i] = s;
    CopyName(s->name, h + 20, 26);
    const uint8_t f = h[18];
    const bool bits16 = f & 2;
    const uint32_t shift = bits16 ? 1 : 0;
    const bool hasData = f & 1;
    if (hasData && (f & 8)) {
      DebugLog("LoadItModule: sample %u is compressed\n", i + 1);
      return LoaderFail(m, 51);
    }
    uint32_t length = hasData ? GetLE32(h + 48) : 0;
    uint32_t loopBegin = GetLE32(h + 52), loopEnd = GetLE32(h + 56);
    uint32_t susBegin = GetLE32(h + 64), susEnd = GetLE32(h + 68);
    if (loopEnd > length) loopEnd = length;
    if (susEnd > length) susEnd = length;
    const bool loop = (f & 16) && loopBegin < loopEnd;
    const bool sustain = (f & 32) && susBegin < susEnd;
    // Loop 1 sounds while the note is held, loop 2 after the release: the
    // sustain loop first, then the normal loop (or none).
    if (sustain) {
      s->loopMode = 3;
      s->loopStart = susBegin << shift;
      s->loopEnd = susEnd << shift;
      s->loop1Type = (f & 128) ? 2 : 1;
      if (loop) {
        s->sustainStart = loopBegin << shift;
        s->sustainEnd = loopEnd << shift;
        s->loop2Type = (f & 64) ? 2 : 1;
      }
    } else if (loop) {
      s->loopMode = 1;
      s->loopStart = loopBegin << shift;
      s->loopEnd = loopEnd << shift;
      s->loop1Type = (f & 64) ? 2 : 1;
    }
    s->length = length << shift;
    s->type = length ? (bits16 ? 2 : 1) : 0;
    s->volume = h[19] > 64 ? 64 : h[19];
    s->globalVolume = h[17] > 64 ? 64 : h[17];
    s->relNote = (int32_t)(GetLE32(h + 60) > 0x7FFFFFFF ? 0x7FFFFFFF : GetLE32(h + 60));
    s->panning = -1;
    s->finetune = 0;
    s->vibSpeed = h[76];
    s->vibDepth = h[77];
    s->vibRate = h[78];
    s->vibType = h[79];
    if (!s->length) {
      if ((err = HandSample(s, nullptr, addSamples, cb))) return LoaderFail(m, err);
      continue;
    }
    const uint64_t at = GetLE32(h + 72);
    if (!In(at, s->length, size)) return LoaderFail(m, TE_EOF);
    buffer.assign(data + at, data + at + s->length);
    const bool isSigned = h[46] & 1;
    if (bits16 && !isSigned)
      for (uint32_t b = 1; b < s->length; b += 2) buffer[b] ^= 0x80;
    if (!bits16 && isSigned)
      for (uint8_t& b : buffer) b ^= 0x80;
    if ((err = HandSample(s, buffer.data(), addSamples, cb))) return LoaderFail(m, err);
  }

  // Patterns.
  const uint32_t insLimit = instrumentMode ? insCount : smpCount;
  if ((err = AllocZero(sizeof(void*) * m->patternCount, &p))) return LoaderFail(m, err);
  m->patterns = static_cast<PatternRecord**>(p);
  std::vector<bool> used(256, false);
  int32_t highestIns = -1, highestData = -1;
  std::vector<uint8_t> packed;
  for (uint32_t pat = 0; pat < m->patternCount; pat++) {
    packed.clear();
    const uint64_t off = pat < patCount ? GetLE32(patOff + 4 * pat) : 0;
    uint32_t rows = 64;
    if (off == 0) {
      packed.assign(64, 0);
    } else {
      if (!In(off, 8, size)) return LoaderFail(m, TE_EOF);
      const uint32_t len = GetLE16(data + off);
      rows = GetLE16(data + off + 2);
      if (rows > 256) return LoaderFail(m, TE_INVALID_PATTERN);
      if (!In(off + 8, len, size)) return LoaderFail(m, TE_EOF);
      if (rows == 0) {
        rows = 64;
        packed.assign(64, 0);
      } else {
        BoundedReader r = MakeReader(data + off + 8, len);
        uint8_t lastMask[64] = {}, lastNote[64], lastIns[64], lastVol[64] = {}, lastCmd[64] = {}, lastInfo[64] = {};
        std::memset(lastNote, 255, sizeof lastNote);
        std::memset(lastIns, 255, sizeof lastIns);
        for (uint32_t row = 0; row < rows; row++) {
          for (;;) {
            const uint8_t cv = ReadU8(r);
            if (!r.ok) return LoaderFail(m, TE_INVALID_PATTERN);
            if (cv == 0) break;
            const uint32_t ch = (cv - 1) & 63;
            if (cv & 0x80) lastMask[ch] = ReadU8(r);
            const uint8_t mask = lastMask[ch];
            uint8_t note = 255, ins = 255, cmd = 0, info = 0;
            int32_t vol = -1;
            if (mask & 1) {
              const uint8_t n = ReadU8(r);
              lastNote[ch] = n < 120 ? (uint8_t)((n / 12) << 4 | (n % 12))
                             : n == 255 ? (uint8_t)NOTE_KEYOFF : n == 254 ? (uint8_t)NOTE_CUT : 255;
            }
            if (mask & 2) {
              const uint8_t i = ReadU8(r);
              if (i >= 1 && i <= insLimit) {
                lastIns[ch] = (uint8_t)(i - 1);
                if (i - 1 < 100) used[i - 1] = true;
                if (i - 1 > highestIns) highestIns = i - 1;
              } else {
                lastIns[ch] = 255;
              }
            }
            if (mask & 4) lastVol[ch] = ReadU8(r);
            if (mask & 8) {
              const uint8_t c = ReadU8(r), i = ReadU8(r);
              lastCmd[ch] = 0;
              lastInfo[ch] = i;
              if (c >= 1 && c <= 25) {
                if (c == 19) { lastCmd[ch] = kSTable[i >> 4]; lastInfo[ch] = i & 15; }
                else if (c == 24) { lastCmd[ch] = 9; lastInfo[ch] = (uint8_t)((i + 1) / 4); }
                else lastCmd[ch] = kLetters[c - 1];
              }
            }
            if (!r.ok) return LoaderFail(m, TE_INVALID_PATTERN);
            if (mask & 0x11) note = lastNote[ch];
            if (mask & 0x22) ins = lastIns[ch];
            if (mask & 0x44) vol = lastVol[ch];
            if (mask & 0x88) { cmd = lastCmd[ch]; info = lastInfo[ch]; }
            if (note == 255 && ins == 255 && vol < 0 && !cmd) continue;
            if (ch >= 32 || (int32_t)ch > lastInUse + 1) continue;
            if ((int32_t)ch > highestData) highestData = (int32_t)ch;
            PackEntry(packed, ch, note, ins, vol, cmd, info);
          }
          packed.push_back(0);
        }
      }
    }
    if ((err = MakePattern(packed, rows, &m->patterns[pat]))) return LoaderFail(m, err);
  }
  int32_t a = highestData + 1 > lastInUse ? highestData + 1 : lastInUse;
  int32_t channels = a < lastInUse + 2 ? a : lastInUse + 2;
  channels = channels < 1 ? 1 : channels > 32 ? 32 : channels;
  m->channels = (uint8_t)channels;
  if ((err = AllocZero(4 * m->channels, &p))) return LoaderFail(m, err);
  m->panning = static_cast<uint32_t*>(p);
  for (int c = 0; c < channels; c++) m->panning[c] = data[64 + c] > 64 ? 64 : data[64 + c];

  // Instruments.
  const uint32_t count = insCount > (uint32_t)(highestIns + 1) ? insCount : (uint32_t)(highestIns + 1);
  m->instrumentCount = count;
  if ((err = AllocZero(sizeof(void*) * (count ? count : 1), &p))) return LoaderFail(m, err);
  m->instruments = static_cast<InstrumentRecord**>(p);
  for (uint32_t i = 0; i < count; i++) {
    if ((err = AllocZero(sizeof(InstrumentRecord), &p))) return LoaderFail(m, err);
    InstrumentRecord* in = static_cast<InstrumentRecord*>(p);
    m->instruments[i] = in;
    in->used = used[i] ? 1 : 0;
    in->defaultPan = 255;
    in->globalVolume = 64;
    if (!instrumentMode) {
      if (i < smpCount) {
        std::memcpy(in->name, m->samples[i]->name, 32);
        if (in->used) {
          if ((err = AllocZero(sizeof(void*), &p))) return LoaderFail(m, err);
          in->samples = static_cast<SampleRecord**>(p);
          in->samples[0] = m->samples[i];
          in->sampleCount = 1;
        }
      }
      continue;
    }
    if (i >= insCount) continue;
    const uint64_t off = GetLE32(insOff + 4 * i);
    if (!In(off, 554, size)) return LoaderFail(m, TE_EOF);
    const uint8_t* h = data + off;
    CopyName(in->name, h + 32, 26);
    if (cmwt >= 0x200) {
      in->nna = h[17];
      in->dct = h[18];
      in->dca = h[19];
      in->fadeout = GetLE16(h + 20);
      in->pps = h[22];
      in->ppc = h[23];
      in->globalVolume = h[24];
      in->defaultPan = (h[25] & 128) ? 255 : h[25];
      in->randVol = h[26];
      in->randPan = h[27];
      if ((err = ConvertEnvelope(h + 0x130, false, &in->volEnv))) return LoaderFail(m, err);
      if ((err = ConvertEnvelope(h + 0x182, true, &in->panEnv))) return LoaderFail(m, err);
      if ((err = ConvertEnvelope(h + 0x1D4, true, &in->pitchEnv))) return LoaderFail(m, err);
    } else {
      in->nna = h[26];
      in->dct = h[27];
      in->fadeout = GetLE16(h + 24);
      const uint8_t ef = h[17];
      if (ef & 1) {
        if ((err = AllocZero(sizeof(EnvelopeRecord), &p))) return LoaderFail(m, err);
        EnvelopeRecord* e = static_cast<EnvelopeRecord*>(p);
        in->volEnv = e;
        uint8_t n = 0;
        while (n < 25 && h[504 + 2 * n] != 0xFF) {
          e->tick[n] = h[504 + 2 * n];
          e->value[n] = h[505 + 2 * n] > 64 ? 64 : h[505 + 2 * n];
          n++;
        }
        e->points = n;
        auto index = [n](uint8_t x) -> uint8_t { return x < n ? x : 255; };
        e->sustain = 255;
        e->loopStart = e->loopEnd = e->sustainStart = e->sustainEnd = 255;
        if (ef & 2) { e->loopStart = index(h[18]); e->loopEnd = index(h[19]); }
        if (ef & 4) { e->sustainStart = index(h[20]); e->sustainEnd = index(h[21]); }
        if (e->loopStart == 255 || e->loopEnd == 255) e->loopStart = e->loopEnd = 255;
        if (e->sustainStart == 255 || e->sustainEnd == 255) e->sustainStart = e->sustainEnd = 255;
      }
    }
    if ((err = BuildNoteTable(h + 64, m, in))) return LoaderFail(m, err);
  }
  *module = m;
  return TE_OK;
}
