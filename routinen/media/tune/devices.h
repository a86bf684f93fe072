// Helpers shared by the three device records.
#pragma once
#include "dmix.h"

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
