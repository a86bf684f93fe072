// The SDL2 sink: PcmSink operations over the platform's audio output.
#include "platform/audio_sdl.h"
#include "pcm_sink.h"
#include "tune_internal.h"

namespace {


int32_t Probe(void*, uint32_t* caps) {
  *caps = 0;
  return AudioSdlAvailable() ? 0 : -1;
}
int32_t Supports(void*, const PcmFormat*) { return AudioSdlAvailable(); }  // SDL converts
int32_t Open(void*, const PcmFormat* f, uint32_t ringBytes, uint32_t* realBytes) {
  if (!AudioSdlOpen(f->rate, (int)f->channels, (int)f->bits, ringBytes)) return -1;
  if (realBytes) *realBytes = ringBytes;
  return 0;
}
void Close(void*) { AudioSdlClose(); }
int32_t Queue(void*, const uint8_t* data, uint32_t bytes) { return AudioSdlQueue(data, bytes) ? 0 : -1; }
uint64_t Played(void*) { return AudioSdlPlayed(); }
void Reset(void*) { AudioSdlClearQueue(); }
int32_t PlayCursor(void*, uint32_t* cursor) {
  *cursor = AudioSdlRingCursor();
  return 0;
}
int32_t Lock(void*, uint8_t** ring) {
  *ring = AudioSdlLockRing();
  return *ring ? 0 : -1;
}
void Unlock(void*) { AudioSdlUnlockRing(); }
int32_t Restart(void*) { return 0; }

PcmSink g_sdl = {nullptr, Probe, Supports, Open, Close, Queue, Played, Reset, PlayCursor, Lock, Unlock, Restart};

}  // namespace

PcmSink* SdlPcmSink() { return &g_sdl; }
void TuneSetPcmSink(PcmSink* sink) { TunePlayer().sink = sink; }
PcmSink* TuneGetPcmSink() {
  PcmSink* sink = TunePlayer().sink;
  return sink ? sink : &g_sdl;
}
