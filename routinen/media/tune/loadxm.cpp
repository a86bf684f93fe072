// XM loader: FastTracker 2 "Extended Module" files, little-endian, with
// delta-coded sample data, instrument keymaps and envelopes.
#include <cstring>
#include <vector>

#include "routinen/system/byteorder.h"
#include "dmix.h"
#include "loader_common.h"
#include "platform/log.h"

namespace {

const uint8_t kEffects[36] = {
    CMD_ARPEGGIO, CMD_PORTA_UP, CMD_PORTA_DOWN, CMD_TONE_PORTA, CMD_VIBRATO, CMD_TONE_PORTA_VOLSLIDE,
    CMD_VIBRATO_VOLSLIDE, CMD_TREMOLO, CMD_SET_PANNING, CMD_SAMPLE_OFFSET, CMD_VOLUME_SLIDE, CMD_POSITION_JUMP,
    CMD_SET_VOLUME, CMD_PATTERN_BREAK, CMD_NONE, CMD_NONE, CMD_GLOBAL_VOLUME, CMD_GLOBAL_VOLUME_SLIDE,
    CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE, CMD_NONE,
    CMD_NONE, CMD_PANNING_SLIDE, CMD_NONE, CMD_RETRIGGER_VOLUME, CMD_NONE, CMD_NONE,
    CMD_NONE, CMD_NONE, CMD_SYNC, CMD_NONE, CMD_NONE, CMD_NONE,
};
const uint8_t kETable[16] = {CMD_NONE, CMD_FINE_PORTA_UP, CMD_FINE_PORTA_DOWN, CMD_NONE, CMD_NONE, CMD_NONE, CMD_PATTERN_LOOP, CMD_NONE, CMD_SET_PANNING4, CMD_RETRIGGER, CMD_FINE_VOLUME_UP, CMD_FINE_VOLUME_DOWN, CMD_NOTE_CUT, CMD_NOTE_DELAY, CMD_PATTERN_DELAY, CMD_NONE};
const char kPlaceholder[] = "(no instrument)";

bool In(uint64_t offset, uint64_t bytes, uint32_t size) { return offset + bytes <= size; }

// Envelope from an instrument block; null when off. 16 for bad counts.
int32_t ReadEnvelope(const uint8_t* block, int which, EnvelopeRecord** out) {
  *out = nullptr;
  const uint8_t type = block[204 + which];
  if (!(type & 1)) return TE_OK;
  const uint8_t count = block[196 + which];
  if (count > 12) return TE_INVALID_INSTRUMENT;
  if (count == 0 && which == 1) return TE_OK;  // a panning envelope without points leaves the panning alone
  void* p = nullptr;
  if (int32_t err = AllocZero(sizeof(EnvelopeRecord), &p)) return err;
  EnvelopeRecord* e = static_cast<EnvelopeRecord*>(p);
  e->points = count;
  auto index = [count](uint8_t i) -> uint8_t { return i < count ? i : 255; };
  const uint8_t sus = block[198 + 3 * which], ls = block[199 + 3 * which], le = block[200 + 3 * which];
  e->sustain = (type & 2) ? index(sus) : 255;
  e->loopStart = e->loopEnd = 255;
  if ((type & 4) && ls != le && index(ls) != 255 && index(le) != 255) {
    e->loopStart = ls;
    e->loopEnd = le;
  }
  e->sustainStart = e->sustainEnd = 255;
  const uint8_t* pts = block + (which ? 148 : 100);
  for (int i = 0; i < 12; i++) {
    e->tick[i] = GetLE16(pts + 4 * i);
    e->value[i] = GetLE16(pts + 4 * i + 2);
    if (e->value[i] > 64) e->value[i] = 64;
  }
  *out = e;
  return TE_OK;
}

}  // namespace

int32_t LoadXmModule(const uint8_t* data, uint32_t size, int32_t addSamples, SampleCallback cb,
                     ModuleRecord** module) {
  *module = nullptr;
  if (size < 80) return TE_EOF;
  if (std::memcmp(data, "Extended Module: ", 17) != 0) return TE_INVALID_MODULE;
  if (GetLE16(data + 58) < 0x0104) return TE_INVALID_MODULE;
  const uint64_t patternStart = 60ull + GetLE32(data + 60);
  const uint32_t songLength = GetLE16(data + 64), restart = GetLE16(data + 66);
  const uint32_t channels = GetLE16(data + 68), patCount = GetLE16(data + 70), insCount = GetLE16(data + 72);
  if (songLength == 0 || songLength > 256) return TE_INVALID_MODULE;
  if (channels == 0 || channels > 32) return TE_INVALID_MODULE;
  if (patCount > 256 || insCount > 255) return TE_INVALID_MODULE;
  if (!In(80, songLength, size) || patternStart > size) return TE_EOF;

  ModuleRecord* m = nullptr;
  int32_t err = NewModule(&m);
  if (err) return err;
  void* p = nullptr;
  CopyName(m->name, data + 17, 20);
  m->type = MT_XM;
  m->songLength = songLength;
  if (restart >= songLength) {
    DebugLog("LoadXmModule: restart position %u past the song, using 0\n", restart);
    m->restart = 0;
  } else {
    m->restart = restart;
  }
  m->channels = (uint8_t)channels;
  m->masterVolume = 64;
  const uint32_t speed = GetLE16(data + 76), tempo = GetLE16(data + 78);
  m->speed = (uint8_t)(speed && speed < 256 ? speed : 6);
  m->tempo = (uint8_t)(tempo >= 32 && tempo < 256 ? tempo : 125);
  if (GetLE16(data + 74) & 1) m->flags |= MF_LINEAR;
  uint32_t highest = 0;
  for (uint32_t i = 0; i < songLength; i++) highest = data[80 + i] > highest ? data[80 + i] : highest;
  m->patternCount = patCount > highest + 1 ? patCount : highest + 1;
  if ((err = AllocZero(2 * songLength, &p))) return LoaderFail(m, err);
  m->orders = static_cast<uint16_t*>(p);
  for (uint32_t i = 0; i < songLength; i++) m->orders[i] = data[80 + i];
  if ((err = AllocZero(4 * channels, &p))) return LoaderFail(m, err);
  m->panning = static_cast<uint32_t*>(p);
  for (uint32_t c = 0; c < channels; c++) m->panning[c] = 128;

  // Patterns.
  if ((err = AllocZero(sizeof(void*) * m->patternCount, &p))) return LoaderFail(m, err);
  m->patterns = static_cast<PatternRecord**>(p);
  std::vector<bool> used(256, false);
  int32_t highestIns = -1;
  uint64_t offset = patternStart;
  std::vector<uint8_t> packed;
  for (uint32_t pat = 0; pat < m->patternCount; pat++) {
    packed.clear();
    uint32_t rows = 64;
    if (pat >= patCount) {
      packed.assign(64, 0);
    } else {
      if (!In(offset, 9, size)) return LoaderFail(m, TE_EOF);
      const uint32_t headLength = GetLE32(data + offset);
      rows = GetLE16(data + offset + 5);
      const uint32_t packedSize = GetLE16(data + offset + 7);
      if (rows == 0 || rows > 256) return LoaderFail(m, TE_INVALID_MODULE);
      offset += headLength < 9 ? 9 : headLength;
      if (!In(offset, packedSize, size)) return LoaderFail(m, TE_EOF);
      if (packedSize == 0) {
        packed.assign(rows, 0);
      } else {
        BoundedReader r = MakeReader(data + offset, packedSize);
        for (uint32_t row = 0; row < rows; row++) {
          for (uint32_t c = 0; c < channels; c++) {
            uint8_t first = ReadU8(r);
            uint8_t mask = (first & 0x80) ? (first & 31) : 31;
            uint8_t n = 0, ins = 0, vol = 0, eff = 0, info = 0;
            if (first & 0x80) {
              if (mask & 1) n = ReadU8(r);
            } else {
              n = first;
            }
            if (mask & 2) ins = ReadU8(r);
            if (mask & 4) vol = ReadU8(r);
            if (mask & 8) eff = ReadU8(r);
            if (mask & 16) info = ReadU8(r);
            if (!r.ok) return LoaderFail(m, TE_INVALID_PATTERN);
            uint8_t note = 255, insByte = 255, cmd = 0, arg = 0;
            int32_t volume = -1;
            if (n >= 1 && n <= 96) note = (uint8_t)(((n - 1) / 12) << 4 | ((n - 1) % 12));
            else if (n == 97) note = NOTE_KEYOFF;
            if (ins) {
              insByte = (uint8_t)(ins - 1);
              used[ins - 1] = true;
              if (ins - 1 > highestIns) highestIns = ins - 1;
            }
            if (vol >= 16 && vol <= 80) volume = vol - 16;
            else if (vol) volume = vol;
            if (eff || info) {
              if (eff == 14) { cmd = kETable[info >> 4]; arg = info & 15; }
              else if (eff == 15) { cmd = info < 32 ? CMD_SET_SPEED : CMD_SET_TEMPO; arg = info; }
              else if (eff == 20) note = NOTE_KEYOFF;
              else if (eff == 33) {
                cmd = (info >> 4) == 1 ? CMD_XFINE_PORTA_UP : (info >> 4) == 2 ? CMD_XFINE_PORTA_DOWN : CMD_NONE;
                arg = info & 15;
              } else if (eff < 36) { cmd = kEffects[eff]; arg = info; }
            }
            PackEntry(packed, c, note, insByte, volume, cmd, arg);
          }
          packed.push_back(0);
        }
        offset += packedSize;
      }
    }
    if ((err = MakePattern(packed, rows, &m->patterns[pat]))) return LoaderFail(m, err);
  }

  // Instruments, their sample heads and data.
  const uint32_t count = insCount > (uint32_t)(highestIns + 1) ? insCount : (uint32_t)(highestIns + 1);
  m->instrumentCount = count;
  if ((err = AllocZero(sizeof(void*) * (count ? count : 1), &p))) return LoaderFail(m, err);
  m->instruments = static_cast<InstrumentRecord**>(p);
  std::vector<SampleRecord*> samples;
  auto fail = [&samples, m](int32_t code) {
    // the records are listed in the module only at the end
    for (SampleRecord* s : samples) {
      if (s->handle && dmixIsOpen()) dmixRemoveSample(s->handle);
      if (s->data) MemFree(s->data);
      MemFree(s);
    }
    return LoaderFail(m, code);
  };
  std::vector<uint8_t> decoded;
  for (uint32_t i = 0; i < count; i++) {
    if ((err = AllocZero(sizeof(InstrumentRecord), &p))) return fail(err);
    InstrumentRecord* in = static_cast<InstrumentRecord*>(p);
    m->instruments[i] = in;
    in->defaultPan = 255;
    in->globalVolume = 64;
    in->used = used[i] ? 1 : 0;
    if (i >= insCount) {
      CopyName(in->name, reinterpret_cast<const uint8_t*>(kPlaceholder), sizeof kPlaceholder);
      continue;
    }
    if (!In(offset, 29, size)) return fail(TE_EOF);
    const uint8_t* ih = data + offset;
    const uint32_t insSize = GetLE32(ih);
    CopyName(in->name, ih + 4, 22);
    const uint32_t fileSamples = GetLE16(ih + 27);
    if (fileSamples == 0) {
      offset += insSize < 29 ? 29 : insSize;
      continue;
    }
    if (fileSamples > 255) return fail(TE_INVALID_INSTRUMENT);
    if (!In(offset, insSize > 29 + 214 ? insSize : 29 + 214, size)) return fail(TE_EOF);
    const uint8_t* block = ih + 29;
    uint32_t headSize = GetLE32(block);
    if (headSize < 40) headSize = 40;
    if (headSize > 1024) return fail(TE_INVALID_INSTRUMENT);
    uint32_t slots = 0;
    for (int k = 0; k < 96; k++) slots = block[4 + k] + 1u > slots ? block[4 + k] + 1u : slots;
    if (slots > fileSamples) slots = fileSamples;
    if ((err = ReadEnvelope(block, 0, &in->volEnv))) return fail(err);
    if ((err = ReadEnvelope(block, 1, &in->panEnv))) return fail(err);
    in->vibType = block[206];
    in->vibSweep = block[207];
    in->vibDepth = block[208];
    in->vibRate = block[209];
    in->fadeout = GetLE16(block + 210);
    // Sample heads, then the data of every sample.
    const uint64_t heads = offset + insSize;
    if (!In(heads, (uint64_t)headSize * fileSamples, size)) return fail(TE_EOF);
    uint64_t dataOffset = heads + (uint64_t)headSize * fileSamples;
    const uint32_t keep = in->used ? slots : 0;
    // A keymap entry past the kept samples plays nothing: that needs the
    // table even for a single sample.
    bool past = false;
    for (int k = 0; k < 96; k++) past = past || block[4 + k] >= slots;
    if (keep) {
      if (slots >= 2 || past) {
        if ((err = AllocZero(96, &p))) return fail(err);
        in->noteTable = static_cast<uint8_t*>(p);
        for (int k = 0; k < 96; k++) in->noteTable[k] = block[4 + k] < slots ? block[4 + k] : 255;
      }
      if ((err = AllocZero(sizeof(void*) * keep, &p))) return fail(err);
      in->samples = static_cast<SampleRecord**>(p);
      in->sampleCount = keep;
    }
    for (uint32_t k = 0; k < fileSamples; k++) {
      const uint8_t* sh = data + heads + (uint64_t)headSize * k;
      uint32_t length = GetLE32(sh), loopStart = GetLE32(sh + 4), loopLength = GetLE32(sh + 8);
      const uint8_t type = sh[14];
      if (length >= 0x7FFFFFF0) return fail(TE_INVALID_INSTRUMENT);
      const uint64_t start = dataOffset;
      dataOffset += length;
      if (k >= keep) continue;
      if ((err = AllocZero(sizeof(SampleRecord), &p))) return fail(err);
      SampleRecord* s = static_cast<SampleRecord*>(p);
      samples.push_back(s);
      in->samples[k] = s;
      CopyName(s->name, sh + 18, 22);
      const bool bits16 = type & 16;
      if (bits16) { length &= ~1u; loopStart &= ~1u; loopLength &= ~1u; }
      s->length = length;
      s->loopStart = loopStart;
      s->loopEnd = (uint32_t)((uint64_t)loopStart + loopLength > length ? length : loopStart + loopLength);
      const uint32_t loop = type & 3;
      if ((loop == 1 || loop == 2) && s->loopStart < s->loopEnd) {
        s->loopMode = 1;
        s->loop1Type = (uint8_t)loop;
      } else {
        s->loopStart = s->loopEnd = 0;
      }
      s->volume = sh[12] > 64 ? 64 : sh[12];
      s->finetune = (int8_t)sh[13];
      s->panning = sh[15];
      s->relNote = (int8_t)sh[16];
      s->globalVolume = 64;
      s->fileOffset = (uint32_t)start;
      s->type = length ? (bits16 ? 2 : 1) : 0;
      if (length && !In(start, length, size)) return fail(TE_EOF);
      decoded.assign(length, 0);
      if (bits16) {
        int16_t acc = 0;
        for (uint32_t b = 0; b + 1 < length; b += 2) {
          acc = (int16_t)(acc + (int16_t)GetLE16(data + start + b));
          std::memcpy(&decoded[b], &acc, 2);
        }
      } else {
        uint8_t acc = 0;
        for (uint32_t b = 0; b < length; b++) {
          acc = (uint8_t)(acc + data[start + b]);
          decoded[b] = (uint8_t)(acc + 128);
        }
      }
      if ((err = HandSample(s, length ? decoded.data() : nullptr, addSamples, cb))) return fail(err);
    }
    offset = dataOffset;
  }
  m->sampleCount = (uint32_t)samples.size();
  if ((err = AllocZero(sizeof(void*) * (samples.empty() ? 1 : samples.size()), &p))) return fail(err);
  m->samples = static_cast<SampleRecord**>(p);
  for (size_t k = 0; k < samples.size(); k++) m->samples[k] = samples[k];
  *module = m;
  return TE_OK;
}
