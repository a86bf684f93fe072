// The silent device: mixes into nothing at 4000 Hz so that modules keep
// their tempo without any output.
#include "devices.h"

namespace {

// The silent device's state record: under the player lock (every call comes
// from TUNE's interface or the play thread's poll, both holding it).
struct SilentDeviceState {
  uint32_t suspended, lastTick, due, counter, reload;
  uint8_t scratch[4096];  // the mix goes here and nowhere else
};
SilentDeviceState g_silent;

int32_t Detect(int32_t* found) { *found = 1; return TE_OK; }
int32_t SetUpdateRate(uint32_t u) {
  g_silent.reload = g_silent.counter = SamplesPerTick(4000, u);
  return TE_OK;
}
int32_t Init(uint32_t, uint32_t) {
  g_silent.suspended = 0;
  g_silent.due = 0;
  int32_t err = dmixInit(4000, MIX_16BIT | MIX_MONO);
  if (err) return err;
  SetUpdateRate(5000);
  dmixSetMasterVolume(0);
  g_silent.lastTick = TuneMilliseconds();
  return TE_OK;
}
int32_t Close() { return dmixClose(); }
int32_t Suspend() { g_silent.suspended = 1; return TE_OK; }
int32_t Resume() { g_silent.suspended = 0; return TE_OK; }
int32_t GetMode(uint32_t* mode) { *mode = DM_16BIT | DM_MONO; return TE_OK; }
int32_t StartPlay() {
  uint32_t now = TuneMilliseconds();
  uint32_t elapsed = now - g_silent.lastTick;
  g_silent.lastTick = now;
  if (elapsed > 2000) elapsed = 2000;
  if (elapsed < 10) elapsed = 0;
  g_silent.due = elapsed * 4000 / 1000;
  return TE_OK;
}
int32_t Play(int32_t* call) {
  *call = 0;
  if (!g_silent.due || g_silent.suspended) return TE_OK;
  uint32_t n = g_silent.due < g_silent.counter ? g_silent.due : g_silent.counter;
  g_silent.due -= n;
  g_silent.counter -= n;
  uint32_t chunk = dmixBufferBytes() / 4;
  if (chunk > sizeof g_silent.scratch / 2) chunk = sizeof g_silent.scratch / 2;
  for (uint32_t left = n; left > 0;) {
    uint32_t m = left < chunk ? left : chunk;
    if (int32_t err = dmixMixData(m, g_silent.scratch)) return err;
    left -= m;
  }
  if (g_silent.counter == 0) {
    g_silent.counter = g_silent.reload;
    *call = 1;
  }
  return TE_OK;
}

const char* const kCards = "No Sound";

}  // namespace

SoundDevice NoSoundDevice = {
    0, 0x20, 0, 0, 0, 1, 1, 9, "Mixing No Sound Sound Device", kCards, 0, nullptr,
    Detect, Init, Close, Suspend, Resume, dmixGetMixRate, GetMode, DMIX_CHANNEL_OPS,
    SetUpdateRate, StartPlay, Play, DMIX_STREAM_OPS};

uint32_t SamplesPerTick(uint32_t rate, uint32_t callsPer100s) {
  if (!callsPer100s) callsPer100s = 1;
  const uint64_t n = ((uint64_t)rate * 100 / callsPer100s + 1) & ~1ull;
  // at least one frame pair: a tick of 0 frames would make Play ask for the
  // player again and again without ever mixing
  return n < 2 ? 2 : (uint32_t)n;
}

SoundDevice* TuneDeviceTable(uint32_t index) {
  switch (index) {
    case 0: return &DSoundDevice;
    case 1: return &WaveDevice;
    case 2: return &NoSoundDevice;
    default: return nullptr;
  }
}

void ResetSilentDeviceState() { g_silent = SilentDeviceState{}; }
