#include "loader_common.h"

#include <cstring>

#include "dmix.h"

int32_t AllocZero(uint32_t bytes, void** block) {
  int32_t err = MemAlloc(bytes ? bytes : 1, block);
  if (!err) std::memset(*block, 0, bytes ? bytes : 1);
  return err;
}

int32_t NewModule(ModuleRecord** module) {
  void* p = nullptr;
  int32_t err = AllocZero(sizeof(ModuleRecord), &p);
  *module = static_cast<ModuleRecord*>(p);
  return err;
}

int32_t MakePattern(const std::vector<uint8_t>& packed, uint32_t rows, PatternRecord** pattern) {
  void* p = nullptr;
  const uint32_t length = 8 + (uint32_t)packed.size();
  int32_t err = AllocZero(length + 1, &p);
  if (err) return err;
  PatternRecord* r = static_cast<PatternRecord*>(p);
  r->length = length;
  r->rows = rows;
  if (!packed.empty()) std::memcpy(r->data, packed.data(), packed.size());
  *pattern = r;
  return TE_OK;
}

void PackEntry(std::vector<uint8_t>& out, uint32_t channel, uint8_t note, uint8_t instrument,
               int32_t volume, uint8_t command, uint8_t info) {
  uint8_t flag = (uint8_t)(channel & 31);
  if (note != 255 || instrument != 255) flag |= 0x20;
  if (volume >= 0) flag |= 0x40;
  if (command) flag |= 0x80;
  if (!(flag & 0xE0)) return;
  out.push_back(flag);
  if (flag & 0x20) { out.push_back(note); out.push_back(instrument); }
  if (flag & 0x40) out.push_back((uint8_t)volume);
  if (flag & 0x80) { out.push_back(command); out.push_back(info); }
}

int32_t HandSample(SampleRecord* s, const uint8_t* data, int32_t addSamples, SampleCallback cb) {
  SoundDevice* dev = TuneCurrentDevice();
  if (addSamples && dev) {
    SampleInfo info{data, 1, s->type, s->length, s->loopMode, s->loopStart, s->loopEnd, s->loop1Type,
                    s->sustainStart, s->sustainEnd, s->loop2Type};
    if (!data || !s->length) info.memFlag = 0;
    int32_t err = dev->AddSample(&info, 1, &s->handle);
    if (err) return err;
  } else if (data && s->length) {
    void* p = nullptr;
    int32_t err = MemAlloc(s->length, &p);
    if (err) return err;
    std::memcpy(p, data, s->length);
    s->data = static_cast<uint8_t*>(p);
  }
  if (cb) cb(s);
  return TE_OK;
}

int32_t NewSampleInstrument(ModuleRecord* m, uint32_t i, const uint8_t* name, uint32_t nameLength,
                            bool used, SampleRecord** sample) {
  *sample = nullptr;
  void* p = nullptr;
  if (int32_t err = AllocZero(sizeof(InstrumentRecord), &p)) return err;
  InstrumentRecord* in = static_cast<InstrumentRecord*>(p);
  m->instruments[i] = in;
  CopyName(in->name, name, nameLength);
  in->defaultPan = 255;
  in->globalVolume = 64;
  if (!used) return TE_OK;
  in->used = 1;
  if (int32_t err = AllocZero(sizeof(void*), &p)) return err;
  in->samples = static_cast<SampleRecord**>(p);
  if (int32_t err = AllocZero(sizeof(SampleRecord), &p)) return err;
  SampleRecord* s = static_cast<SampleRecord*>(p);
  m->samples[i] = s;
  in->samples[0] = s;
  in->sampleCount = 1;
  CopyName(s->name, name, nameLength);
  s->globalVolume = 64;
  s->panning = -1;
  *sample = s;
  return TE_OK;
}

void CopyName(char* dst, const uint8_t* src, uint32_t n) {
  if (n > 31) n = 31;
  uint32_t i = 0;
  for (; i < n && src[i]; i++) dst[i] = (char)src[i];
  for (; i < 32; i++) dst[i] = 0;
}

int32_t LoaderFail(ModuleRecord* module, int32_t code) {
  if (module) PlayerFreeModule(module);
  return code;
}
