// The open / suspend / resume / close cycle and the tick counter shared by
// the block-ring and ring-buffer devices.
#include "devices.h"

int32_t SinkDeviceStart(SinkDevice& d) {
  d.suspended = 0;
  d.bpf = BytesPerFrame(d.mode);
  if (int32_t err = d.openDevice()) return err;
  if (int32_t err = dmixInit(d.rate, MixerModeFor(d.mode))) {
    d.closeDevice();
    return err;
  }
  return SinkDeviceSetUpdateRate(d, 5000);
}

int32_t SinkDeviceClose(SinkDevice& d) {
  std::lock_guard<std::recursive_mutex> l(d.lock);
  dmixClose();
  if (!d.suspended) d.closeDevice();
  return TE_OK;
}

int32_t SinkDeviceSuspend(SinkDevice& d) {
  std::lock_guard<std::recursive_mutex> l(d.lock);
  d.suspended = 1;
  d.closeDevice();
  return TE_OK;
}

int32_t SinkDeviceResume(SinkDevice& d) {
  std::lock_guard<std::recursive_mutex> l(d.lock);
  if (!d.suspended) return TE_OK;  // still open: opening again would lose the open sink
  int32_t err = d.openDevice();
  if (!err) d.suspended = 0;
  return err;
}

int32_t SinkDeviceSetUpdateRate(SinkDevice& d, uint32_t callsPer100s) {
  d.reload = d.counter = SamplesPerTick(d.rate, callsPer100s);
  return TE_OK;
}

void SinkDeviceEndOfTick(SinkDevice& d, int32_t* call) {
  if (d.counter == 0) {
    d.counter = d.reload;
    *call = 1;
  }
}

void ResetSoundDeviceStates() {
  ResetRingDeviceState();
  ResetBlockRingDeviceState();
  ResetSilentDeviceState();
}
