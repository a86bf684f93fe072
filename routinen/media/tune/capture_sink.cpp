// Capturing PCM sink for tests and offline rendering.
#include <cstring>

#include "pcm_sink.h"

namespace {

CaptureSink* Self(void* s) { return static_cast<CaptureSink*>(s); }

int32_t Probe(void* s, uint32_t* caps) {
  *caps = Self(s)->caps;
  return Self(s)->available ? 0 : -1;
}
int32_t Supports(void* s, const PcmFormat* f) {
  CaptureSink* c = Self(s);
  if (c->supported.empty()) return 1;
  for (const PcmFormat& p : c->supported)
    if (p.rate == f->rate && p.channels == f->channels && p.bits == f->bits) return 1;
  return 0;
}
int32_t Open(void* s, const PcmFormat* f, uint32_t ringBytes, uint32_t* realBytes) {
  CaptureSink* c = Self(s);
  if (c->failOpen || !c->available) return -1;
  c->isOpen = 1;
  c->opens++;
  c->format = *f;
  c->ring.assign(ringBytes ? ringBytes + c->extraRing : 0, f->bits == 8 ? 0x80 : 0);
  c->cursor = 0;
  if (realBytes) *realBytes = (uint32_t)c->ring.size();
  return 0;
}
void Close(void* s) {
  Self(s)->isOpen = 0;
  Self(s)->closes++;
}
int32_t Queue(void* s, const uint8_t* data, uint32_t bytes) {
  CaptureSink* c = Self(s);
  if (!c->isOpen) return -1;
  c->captured.insert(c->captured.end(), data, data + bytes);
  c->blockSizes.push_back(bytes);
  c->queued += bytes;
  if (c->autoPlay) c->played = c->queued;
  return 0;
}
uint64_t Played(void* s) { return Self(s)->played; }
void Reset(void* s) {
  Self(s)->played = Self(s)->queued;
  Self(s)->resets++;
}
int32_t PlayCursor(void* s, uint32_t* cursor) {
  *cursor = Self(s)->cursor;
  return Self(s)->isOpen ? 0 : -1;
}
int32_t Lock(void* s, uint8_t** ring) {
  CaptureSink* c = Self(s);
  if (c->lostOnce) { c->lostOnce = 0; return -2; }
  if (!c->isOpen || c->ring.empty()) return -1;
  *ring = c->ring.data();
  return 0;
}
void Unlock(void*) {}
int32_t Restart(void* s) {
  CaptureSink* c = Self(s);
  if (c->failRestart) return -1;
  c->restarts++;
  return 0;
}

}  // namespace

void CaptureSinkInit(CaptureSink* c) {
  c->sink = PcmSink{c, Probe, Supports, Open, Close, Queue, Played, Reset, PlayCursor, Lock, Unlock, Restart};
}

void CaptureSinkConsume(CaptureSink* c, uint64_t bytes) {
  c->played += bytes;
  if (c->played > c->queued) c->played = c->queued;
}

void CaptureSinkAdvance(CaptureSink* c, uint32_t bytes) {
  if (c->ring.empty()) return;
  for (uint32_t i = 0; i < bytes; i++) {
    c->captured.push_back(c->ring[c->cursor]);
    c->cursor = (c->cursor + 1) % (uint32_t)c->ring.size();
  }
}
