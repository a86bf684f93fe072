// PCM sink: where the two real output devices send their sound. A sink plays
// interleaved PCM (8-bit unsigned or 16-bit signed, host order) either as a
// queue of blocks (block-ring device) or from a looping ring it owns
// (ring-buffer device). Implementations: SDL2 audio (the program), and the
// capturing sink below (tests, offline rendering).
#pragma once
#include <cstdint>
#include <vector>

struct PcmFormat {
  uint32_t rate;
  uint32_t channels;  // 1 or 2
  uint32_t bits;      // 8 or 16
};

enum : uint32_t { PCM_CAP_EMULATED = 0x20 };

struct PcmSink {
  void* self;
  // 0 when an output exists; *caps gets PCM_CAP_* bits.
  int32_t (*Probe)(void* self, uint32_t* caps);
  // 1 when the format can be opened.
  int32_t (*Supports)(void* self, const PcmFormat* format);
  // Opens for block queueing (ringBytes 0) or a looping ring of ringBytes;
  // *realBytes gets the ring's real size. 0 on success, -1 on failure.
  int32_t (*Open)(void* self, const PcmFormat* format, uint32_t ringBytes, uint32_t* realBytes);
  void (*Close)(void* self);
  // Block queue: copies one block; 0 or -1.
  int32_t (*Queue)(void* self, const uint8_t* data, uint32_t bytes);
  // Total bytes of queued blocks played so far.
  uint64_t (*Played)(void* self);
  // Drops every queued block (they count as played).
  void (*Reset)(void* self);
  // Ring: current play offset in bytes; 0 or -1.
  int32_t (*PlayCursor)(void* self, uint32_t* cursor);
  // Ring access for writing; 0, -1 failure, -2 ring lost (Restart, then retry).
  int32_t (*Lock)(void* self, uint8_t** ring);
  void (*Unlock)(void* self);
  // Restores a lost or stopped ring and starts it looping again; 0 or -1.
  int32_t (*Restart)(void* self);
};

// The sink both real devices use; null selects the SDL2 sink.
void TuneSetPcmSink(PcmSink* sink);
PcmSink* TuneGetPcmSink();
PcmSink* SdlPcmSink();

// Capturing sink: keeps everything it is given. The test drives its clock:
// queue mode counts blocks as played when autoPlay is set or by Consume;
// ring mode advances the play cursor by Advance (copying the ring bytes it
// passes into `captured`).
struct CaptureSink {
  PcmSink sink;
  int32_t available = 1;       // Probe result: 1 present
  uint32_t caps = 0;           // Probe caps
  std::vector<PcmFormat> supported;  // empty: everything is supported
  int32_t failOpen = 0;
  int32_t autoPlay = 1;        // queue: blocks count as played at once
  int32_t lostOnce = 0;        // ring: next Lock reports a lost ring
  int32_t failRestart = 0;
  uint32_t extraRing = 0;      // ring: real size = asked + extraRing
  // state
  int32_t isOpen = 0;
  PcmFormat format{};
  std::vector<uint8_t> captured;
  uint64_t queued = 0, played = 0;
  std::vector<uint32_t> blockSizes;
  std::vector<uint8_t> ring;
  uint32_t cursor = 0;
  int32_t restarts = 0, resets = 0, opens = 0, closes = 0;
};
void CaptureSinkInit(CaptureSink* c);
void CaptureSinkConsume(CaptureSink* c, uint64_t bytes);  // queue: mark bytes played
void CaptureSinkAdvance(CaptureSink* c, uint32_t bytes);  // ring: move the cursor
