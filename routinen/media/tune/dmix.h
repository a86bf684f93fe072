// Digital sound mixer: sample table, channels, mixing buffer, routines,
// output conversion and post-processors (the output filter). Every device
// uses these routines for its channel operations.
#pragma once
#include <cstdint>

#include "tune_internal.h"

// Mixer mode bits.
enum : uint32_t {
  MIX_8BIT = 1, MIX_16BIT = 2, MIX_MONO = 4, MIX_STEREO = 16,
  MIX_FLOAT = 32, MIX_INTEGER = 64, MIX_INTERPOLATE = 128
};

// Sample types of SampleInfo::type and of a channel's source and mix type.
enum : uint32_t {
  SMP_NONE = 0, SMP_U8_MONO = 1, SMP_S16_MONO = 2, SMP_U8_STEREO = 3, SMP_S16_STEREO = 4,
  SMP_ULAW_MONO = 7, SMP_ULAW_STEREO = 8
};
// Loop types of SampleInfo::loop1Type / loop2Type.
enum : uint32_t { LOOP_NONE = 0, LOOP_FORWARD = 1, LOOP_BIDI = 2 };

struct SampleInfo {
  const void* data;
  uint32_t memFlag;
  uint32_t type;
  uint32_t length;  // bytes
  uint32_t loopMode;
  uint32_t loop1Start, loop1End, loop1Type;  // bytes; type 0 none, 1 forward, 2 bidirectional
  uint32_t loop2Start, loop2End, loop2Type;
};

// Sample handles are 1..1023; 1024 on a channel marks a stream.
enum : uint32_t { DMIX_STREAM_HANDLE = 1024, DMIX_MAX_SAMPLES = 1024 };
enum : uint32_t { CH_OFF = 0, CH_ENDED = 1, CH_PLAYING = 2, CH_RELEASED = 3, CH_FADING = 4 };

struct DmixChannel {
  const uint8_t* data;
  uint32_t mixType, srcType, memFlag, length, loopMode;
  uint32_t loop1Start, loop1End, loop1Type, loop2Start, loop2End, loop2Type;
  int64_t pos;    // whole samples
  uint32_t frac;  // low 16 bits
  uint32_t writePos;
  uint32_t rate;
  int32_t dir;
  uint32_t handle;
  uint32_t changed;
  int32_t panning;
  uint32_t volume;
  uint32_t muted;
  uint32_t status;
  uint32_t loopInUse;
  void (*callback)(uint32_t channel);
  int32_t curL, curR, tgtL, tgtR, stepL, stepR;
  uint32_t rampActive;
};

int32_t dmixInit(uint32_t rate, uint32_t mode);
int32_t dmixClose();
// Fills `frames` output frames (8-bit unsigned or 16-bit signed, host order).
int32_t dmixMixData(uint32_t frames, void* destination);
uint32_t dmixMode();
uint32_t dmixBufferBytes();
int32_t dmixIsOpen();
// Benchmarks and tests: 1 filters and converts the mix through the plain
// loops, one value at a time (the mixer as it was before the fast ones; the
// output is the same bit for bit), 0 (the default) through the fast ones.
void dmixUsePlainLoops(int32_t on);

// The shared SoundDevice operations.
int32_t dmixGetMixRate(uint32_t* rate);
int32_t dmixOpenChannels(uint32_t count);
int32_t dmixCloseChannels();
int32_t dmixClearChannels();
int32_t dmixMute(int32_t flag);
int32_t dmixPause(int32_t flag);
int32_t dmixSetMasterVolume(uint32_t volume);
int32_t dmixGetMasterVolume(uint32_t* volume);
int32_t dmixSetAmplification(uint32_t amp);
int32_t dmixGetAmplification(uint32_t* amp);
int32_t dmixPlaySound(uint32_t c, uint32_t rate);
int32_t dmixReleaseSound(uint32_t c);
int32_t dmixStopSound(uint32_t c);
int32_t dmixSetRate(uint32_t c, uint32_t rate);
int32_t dmixGetRate(uint32_t c, uint32_t* rate);
int32_t dmixSetVolume(uint32_t c, uint32_t volume);
int32_t dmixGetVolume(uint32_t c, uint32_t* volume);
int32_t dmixSetSample(uint32_t c, uint32_t handle);
int32_t dmixGetSample(uint32_t c, uint32_t* handle);
int32_t dmixSetPosition(uint32_t c, uint32_t bytes);
int32_t dmixGetPosition(uint32_t c, uint32_t* bytes);
int32_t dmixGetDirection(uint32_t c, int32_t* dir);
int32_t dmixSetPanning(uint32_t c, int32_t panning);
int32_t dmixGetPanning(uint32_t c, int32_t* panning);
int32_t dmixMuteChannel(uint32_t c, int32_t flag);
int32_t dmixAddSample(const SampleInfo* info, int32_t copy, uint32_t* handle);
int32_t dmixRemoveSample(uint32_t handle);
int32_t dmixStartStream(uint32_t c, const uint8_t* buffer, uint32_t bytes, uint32_t type, uint32_t rate);
int32_t dmixStopStream(uint32_t c);
int32_t dmixSetLoopCallback(uint32_t c, void (*callback)(uint32_t));
int32_t dmixSetStreamWritePosition(uint32_t c, uint32_t bytes);
int32_t dmixPauseStream(uint32_t c, int32_t flag);

// Inspection for tests and tools: channel slot (shadows follow at N..2N-1).
DmixChannel* dmixChannel(uint32_t slot);
uint32_t dmixChannelSlots();
// Integer volume table entry (table 0 8-bit, 1 mu-law), row 0..32.
int32_t dmixVolumeTableEntry(uint32_t table, uint32_t row, uint32_t index);

// G.711 mu-law.
uint8_t MuLawEncode(int16_t value);
int16_t MuLawDecode(uint8_t byte);

// Post-processors: four routines per node, each (buffer, frames, data).
struct PostProcessor {
  PostProcessor* next;
  PostProcessor* prev;
  void* data;
  void (*floatMono)(float* buffer, uint32_t frames, void* data);
  void (*floatStereo)(float* buffer, uint32_t frames, void* data);
  void (*intMono)(int32_t* buffer, uint32_t frames, void* data);
  void (*intStereo)(int32_t* buffer, uint32_t frames, void* data);
};
void dmixAddPostProcessor(PostProcessor* node, int32_t where, void* data);  // 0 front, 1 end
void dmixRemovePostProcessor(PostProcessor* node);

// Output filter (post-processor node) and its memory reset.
extern PostProcessor OutputFilterNode;
void OutputFilterReset(int32_t autoLight);  // autoLight: mode 3 means light

// Mixing routines (one run of frames of one channel).
struct MixRun {
  const uint8_t* source;  // frame at the channel's whole position
  int64_t fraction;       // low 16 bits fraction, above: whole-sample advance
  int64_t step;           // signed 16.16
  float lf, rf;           // floating-point factors
  int32_t ml, mr;         // integer 16-bit multipliers
  const int32_t* rowL8; const int32_t* rowR8;  // 8-bit table rows
  const int32_t* rowLMu; const int32_t* rowRMu;  // mu-law table rows
};
// Mixes k frames of sample type `type` into dest (floats or int32 by mode).
void MixFrames(uint32_t mixMode, uint32_t type, int32_t surround, MixRun* run, void* dest,
               uint32_t k, int32_t nextOffset);
// Converts mixed values into the output format.
void ConvertOutput(uint32_t mixMode, const void* buffer, uint32_t values, void* destination);
// The same conversion one value at a time (tests and benchmarks hold the fast
// one against it; the results are equal bit for bit).
void ConvertOutputPlain(uint32_t mixMode, const void* buffer, uint32_t values, void* destination);
// 8-bit and mu-law float tables, filled by dmixOpen (the same values every time).
extern float DmixTable8[256];
extern float DmixTableMu[256];

// ---- The mixer's state record ------------------------------------------------

struct DmixSample {
  const uint8_t* data;
  uint32_t mixType, srcType, memFlag, length, loopMode;
  uint32_t loop1Start, loop1End, loop1Type, loop2Start, loop2End, loop2Type;
  uint32_t inUse, owned;
};

// The mixer's state record. The mixer runs under the caller's lock: the
// device's own lock (a device's Play mixes on the play thread) inside the
// player lock for the channel calls; no field is touched without one of them.
struct DmixState {
  int32_t open;
  uint32_t rate, mode;
  int32_t integer, ramping, convert16;
  int32_t plainLoops;  // benchmarks: the plain conversion and filter loops (kept over dmixInit)
  uint32_t master, amplification, allMuted, paused;
  uint32_t channels, slots, channelsOpen;
  DmixChannel* ch;
  DmixSample* samples;
  void* buffer;
  uint32_t bufferBytes;
  int32_t* table8;   // 33 x 256
  int32_t* tableMu;  // 33 x 256
  PostProcessor head;
  // The output filter's memory (dmix_filter.cpp): the last unfiltered inputs
  // of each side, so that pieces join without a seam.
  struct {
    float fmem[2][2];  // side, [x(n-1), x(n-2)]
    int32_t imem[2][2];
    int32_t autoLight = 1;  // mode 3 means light
  } filter;
};
DmixState& DmixMixer();
// The mixer's state record back to its start (tests): dmixClose, then the
// defaults.
void ResetDmixState();
