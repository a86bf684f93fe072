// Helpers shared by the three device records.
#pragma once
#include <mutex>

#include "dmix.h"
#include "pcm_sink.h"

// The mixer operations of slots 6, 8..33 and 37..41 in record order.
#define DMIX_CHANNEL_OPS                                                                       \
  dmixOpenChannels, dmixCloseChannels, dmixClearChannels, dmixMute, dmixPause,                 \
      dmixSetMasterVolume, dmixGetMasterVolume, dmixSetAmplification, dmixGetAmplification,    \
      dmixPlaySound, dmixReleaseSound, dmixStopSound, dmixSetRate, dmixGetRate, dmixSetVolume, \
      dmixGetVolume, dmixSetSample, dmixGetSample, dmixSetPosition, dmixGetPosition,           \
      dmixGetDirection, dmixSetPanning, dmixGetPanning, dmixMuteChannel, dmixAddSample,        \
      dmixRemoveSample
#define DMIX_STREAM_OPS \
  dmixStartStream, dmixStopStream, dmixSetLoopCallback, dmixSetStreamWritePosition, dmixPauseStream

// Device mode and its mixer mode from a requested mode (0 = 16-bit stereo).
inline uint32_t DeviceModeFor(uint32_t requested) {
  return ((requested & DM_8BIT) ? DM_8BIT : DM_16BIT) | ((requested & DM_MONO) ? DM_MONO : DM_STEREO);
}
inline uint32_t BytesPerFrame(uint32_t dm) {
  return ((dm & DM_16BIT) ? 2 : 1) * ((dm & DM_STEREO) ? 2 : 1);
}
inline uint32_t MixerModeFor(uint32_t dm) {
  uint32_t m = ((dm & DM_16BIT) ? MIX_16BIT : MIX_8BIT) | ((dm & DM_STEREO) ? MIX_STEREO : MIX_MONO);
  if (TuneOption(TUNE_OPT_INTERPOLATION) == 1) m |= MIX_INTERPOLATE;
  return m;
}

// Each device keeps its state in one record in its own file (its sink part,
// under the device's lock; the silent device under the player lock). The
// resets close an open device and put every field back (tests).
void ResetRingDeviceState();
void ResetBlockRingDeviceState();
void ResetSilentDeviceState();
void ResetSoundDeviceStates();  // all three

// Test hooks of the ring-buffer device.
void DSoundSetForegroundHook(int32_t (*isForeground)());
struct DSoundState {
  uint32_t size, writePos, playCursor, gap, bytesPerFrame, primary, emulated, tickCounter;
};
DSoundState DSoundGetState();
struct WaveState {
  uint32_t blocks, blockSize, current, offset, bytesPerFrame, rate, mode, tickCounter;
};
WaveState WaveGetState();

// What the two sink devices share: their lock, output format, tick counter
// and the open / suspend / resume / close cycle around their own sink side.
struct SinkDevice {
  SinkDevice(int32_t (*open)(), void (*close)()) : openDevice(open), closeDevice(close) {}
  int32_t (*openDevice)();  // the device's own opening of its sink side
  void (*closeDevice)();
  std::recursive_mutex lock;
  PcmSink* sink = nullptr;
  uint32_t rate = 0, mode = 0, bpf = 0;  // device mode and bytes per frame
  uint32_t counter = 0, reload = 0;      // frames left in this tick, frames per tick
  uint32_t suspended = 0, open = 0;
};
// With rate and mode chosen (lock held): opens the sink side, then the mixer,
// and sets 50 player ticks per second.
int32_t SinkDeviceStart(SinkDevice& d);
int32_t SinkDeviceClose(SinkDevice& d);
int32_t SinkDeviceSuspend(SinkDevice& d);
int32_t SinkDeviceResume(SinkDevice& d);
int32_t SinkDeviceSetUpdateRate(SinkDevice& d, uint32_t callsPer100s);
// After mixing: when the tick's frames are used up, reloads the counter and
// sets *call.
void SinkDeviceEndOfTick(SinkDevice& d, int32_t* call);
