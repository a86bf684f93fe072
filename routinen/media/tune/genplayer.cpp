// Generic module player (song slots, tempo). Row and tick playing follow.
#include "genplayer.h"
#include "dmix.h"

#include <cstring>

struct PlayHandle {
  uint32_t slot;
  ModuleRecord* module;
  uint32_t channels;
  uint32_t musicVolume;
  uint32_t tempo, speed, tick;
  uint32_t* soundChannels;
};

namespace {
SoundDevice* g_dev;
int32_t g_init;
PlayHandle* g_slots[16];

void FreeEnvelope(EnvelopeRecord* e) { if (e) MemFree(e); }
}  // namespace

int32_t PlayerInit(SoundDevice* device) {
  g_dev = device;
  for (auto& s : g_slots) s = nullptr;
  g_init = 1;
  return g_dev->SetUpdateRate(125 * 40);
}

int32_t PlayerClose() {
  for (auto& s : g_slots)
    if (s) PlayerStopSong(s);
  g_init = 0;
  return TE_OK;
}

int32_t PlayerIsInitialised() { return g_init; }

int32_t PlayerStartSong(ModuleRecord* module, int32_t, int32_t, int32_t, int32_t, int32_t channels,
                        const uint32_t* channelNumbers, PlayHandle** handle) {
  int slot = -1;
  for (int i = 15; i >= 0 && slot < 0; i--)
    if (!g_slots[i]) slot = i;
  if (slot < 0) return TE_RESOURCES;
  uint32_t n = channels < 0 ? module->channels : (uint32_t)channels;
  void* p = nullptr;
  if (int32_t err = MemAlloc(sizeof(PlayHandle), &p)) return err;
  PlayHandle* h = static_cast<PlayHandle*>(p);
  std::memset(h, 0, sizeof *h);
  if (n) {
    if (int32_t err = MemAlloc(n * 4, &p)) { MemFree(h); return err; }
    h->soundChannels = static_cast<uint32_t*>(p);
    std::memcpy(h->soundChannels, channelNumbers, n * 4);
  }
  h->slot = (uint32_t)slot;
  h->module = module;
  h->channels = n;
  h->musicVolume = 64;
  g_slots[slot] = h;
  *handle = h;
  return TE_OK;
}

int32_t PlayerStopSong(PlayHandle* handle) {
  if (!handle) return TE_INVALID_ARGS;
  g_slots[handle->slot] = nullptr;
  if (handle->soundChannels) MemFree(handle->soundChannels);
  MemFree(handle);
  return TE_OK;
}

int32_t PlayerSetMusicVolume(PlayHandle* handle, uint32_t volume) {
  handle->musicVolume = volume & 0xFF;
  return TE_OK;
}

int32_t PlayerPlay() { return TE_OK; }

int32_t PlayerFreeModule(ModuleRecord* m) {
  if (!m) return TE_INVALID_ARGS;
  int32_t first = TE_OK;
  auto keep = [&first](int32_t e) { if (e && !first) first = e; };
  if (m->panning) MemFree(m->panning);
  if (m->orders) MemFree(m->orders);
  if (m->instruments) {
    for (uint32_t i = 0; i < m->instrumentCount; i++) {
      InstrumentRecord* in = m->instruments[i];
      if (!in) continue;
      if (in->noteTable) MemFree(in->noteTable);
      FreeEnvelope(in->volEnv);
      FreeEnvelope(in->panEnv);
      FreeEnvelope(in->pitchEnv);
      if (in->samples) MemFree(in->samples);
      MemFree(in);
    }
    MemFree(m->instruments);
  }
  if (m->samples) {
    for (uint32_t i = 0; i < m->sampleCount; i++) {
      SampleRecord* s = m->samples[i];
      if (!s) continue;
      if (s->handle && g_dev && dmixIsOpen()) keep(g_dev->RemoveSample(s->handle));
      if (s->data) MemFree(s->data);
      MemFree(s);
    }
    MemFree(m->samples);
  }
  if (m->patterns) {
    for (uint32_t i = 0; i < m->patternCount; i++)
      if (m->patterns[i]) MemFree(m->patterns[i]);
    MemFree(m->patterns);
  }
  MemFree(m);
  return first;
}
