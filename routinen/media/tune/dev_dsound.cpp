// The ring-buffer device: the sink plays one looping ring; each poll mixes
// into the part the play cursor has left behind, keeping a gap before it.
#include <atomic>

#include "devices.h"

namespace {

int32_t OpenDevice();
void CloseDevice();

// The ring-buffer device's state record: the sink device's part and the
// ring, all under the device's own lock (the game thread's calls and the
// play thread's polls); the foreground hook: atomic, set by tests.
struct RingDeviceState : SinkDevice {
  RingDeviceState() : SinkDevice(OpenDevice, CloseDevice) {}
  int32_t primary = 0, emulated = 0, focus = 0;
  uint32_t size = 0, writePos = 0, playCursor = 0, gap = 0, stallStart = 0;
  std::atomic<int32_t (*)()> foreground{nullptr};
};
RingDeviceState g_ring;

int32_t IsForeground() {
  auto foreground = g_ring.foreground.load();
  return foreground ? foreground() : 1;
}

PcmSink* ChooseSink() {
  intptr_t external = TuneOption(TUNE_OPT_DSOBJECT);
  return external ? reinterpret_cast<PcmSink*>(external) : TuneGetPcmSink();
}

int32_t OpenDevice() {
  if (!TuneOption(TUNE_OPT_DSWINDOW)) return TE_NO_WINDOW;
  g_ring.sink = ChooseSink();
  uint32_t caps = 0;
  if (g_ring.sink->Probe(g_ring.sink->self, &caps) != 0) return TE_NO_DSOUND;
  g_ring.primary = TuneOption(TUNE_OPT_DSMODE) == 2;
  g_ring.emulated = (caps & PCM_CAP_EMULATED) ? 1 : 0;
  uint64_t ms = (uint64_t)(g_ring.emulated ? TuneOption(TUNE_OPT_BUFFERMS) : TuneOption(TUNE_OPT_DSBUFFERMS));
  uint64_t size = (uint64_t)g_ring.bpf * g_ring.rate * ms / 1000;
  size = (size + 15) & ~15ull;
  if (size < 64 || size > 0x1000000) return TE_INVALID_ARGS;
  g_ring.writePos = 0;
  g_ring.playCursor = 0;
  PcmFormat f{g_ring.rate, (g_ring.mode & DM_STEREO) ? 2u : 1u, (g_ring.mode & DM_16BIT) ? 16u : 8u};
  uint32_t real = 0;
  if (g_ring.sink->Open(g_ring.sink->self, &f, (uint32_t)size, &real) != 0) return TE_NOT_AVAILABLE;
  if (g_ring.primary) {
    g_ring.gap = real > size + 16 ? real - (uint32_t)size : 16;
    g_ring.size = real;
  } else {
    g_ring.gap = 16;
    g_ring.size = (uint32_t)size;
  }
  if (g_ring.size < g_ring.gap + g_ring.bpf || real < g_ring.size) {
    g_ring.sink->Close(g_ring.sink->self);
    return TE_UNSUPPORTED;
  }
  g_ring.stallStart = 0;
  g_ring.open = 1;
  return TE_OK;
}

void CloseDevice() {
  if (!g_ring.open) return;
  g_ring.sink->Close(g_ring.sink->self);
  g_ring.open = 0;
}

int32_t Detect(int32_t* found) {
  *found = 0;
  intptr_t mode = TuneOption(TUNE_OPT_DSMODE);
  if (mode == 0) return TE_OK;
  if (!TuneOption(TUNE_OPT_DSWINDOW)) return TE_NO_WINDOW;
  if (TuneOption(TUNE_OPT_DSOBJECT) || mode == 3) {
    *found = 1;
    return TE_OK;
  }
  PcmSink* s = TuneGetPcmSink();
  uint32_t caps = 0;
  if (s->Probe(s->self, &caps) != 0) return TE_OK;
  *found = (caps & PCM_CAP_EMULATED) ? 0 : 1;
  return TE_OK;
}

int32_t SetUpdateRate(uint32_t u) { return SinkDeviceSetUpdateRate(g_ring, u); }

int32_t Init(uint32_t rate, uint32_t mode) {
  std::lock_guard<std::recursive_mutex> l(g_ring.lock);
  g_ring.focus = 0;
  g_ring.mode = DeviceModeFor(mode);
  g_ring.rate = rate;
  return SinkDeviceStart(g_ring);
}

int32_t Close() { return SinkDeviceClose(g_ring); }
int32_t Suspend() { return SinkDeviceSuspend(g_ring); }
int32_t Resume() { return SinkDeviceResume(g_ring); }

int32_t GetMode(uint32_t* mode) { *mode = g_ring.mode; return TE_OK; }

int32_t StartPlay() {
  if (g_ring.suspended) return TE_OK;
  std::lock_guard<std::recursive_mutex> l(g_ring.lock);
  if (!g_ring.open) return TE_OK;
  uint32_t c = 0;
  if (g_ring.sink->PlayCursor(g_ring.sink->self, &c) != 0) return TE_HARDWARE;
  g_ring.playCursor = c % g_ring.size;
  return TE_OK;
}

int32_t Play(int32_t* call) {
  *call = 0;
  if (g_ring.suspended) return TE_OK;
  std::lock_guard<std::recursive_mutex> l(g_ring.lock);
  if (!g_ring.open) return TE_OK;
  int64_t freeBytes = (int64_t)g_ring.playCursor - g_ring.writePos;
  if (freeBytes < 0) freeBytes += g_ring.size;
  if (freeBytes > g_ring.gap) {
    g_ring.stallStart = 0;
    freeBytes -= g_ring.gap;
  } else {
    freeBytes = 0;
    if (IsForeground()) {
      if (!g_ring.focus) {
        g_ring.focus = 1;
      } else {
        uint32_t now = TuneMilliseconds();
        if (g_ring.stallStart == 0 || (int32_t)(g_ring.stallStart - now) > 0) {
          g_ring.stallStart = now;
        } else if (now - g_ring.stallStart > 1000) {
          g_ring.sink->Restart(g_ring.sink->self);
          g_ring.stallStart = 0;
        }
      }
    } else {
      g_ring.focus = 0;
    }
  }
  uint32_t frames = (uint32_t)freeBytes / g_ring.bpf;
  while (frames > 0 && g_ring.counter > 0) {
    uint32_t n = frames < g_ring.counter ? frames : g_ring.counter;
    frames -= n;
    g_ring.counter -= n;
    uint8_t* ring = nullptr;
    int32_t r = g_ring.sink->Lock(g_ring.sink->self, &ring);
    if (r == -2) {
      if (g_ring.sink->Restart(g_ring.sink->self) != 0) return TE_OK;
      r = g_ring.sink->Lock(g_ring.sink->self, &ring);
    }
    if (r != 0) return TE_OK;
    uint32_t bytes = n * g_ring.bpf;
    uint32_t first = g_ring.size - g_ring.writePos;
    if (first > bytes) first = bytes;
    int32_t err = dmixMixData(first / g_ring.bpf, ring + g_ring.writePos);
    if (!err && bytes > first) err = dmixMixData((bytes - first) / g_ring.bpf, ring);
    g_ring.sink->Unlock(g_ring.sink->self);
    if (err) return err;
    g_ring.writePos = (g_ring.writePos + bytes) % g_ring.size;
  }
  SinkDeviceEndOfTick(g_ring, call);
  return TE_OK;
}

}  // namespace

SoundDevice DSoundDevice = {
    0, 0x38, 0, 0, 0, 1, 1, 15, "DirectSound Sound Device 1.10", "DirectSound", 0, nullptr,
    Detect, Init, Close, Suspend, Resume, dmixGetMixRate, GetMode, DMIX_CHANNEL_OPS,
    SetUpdateRate, StartPlay, Play, DMIX_STREAM_OPS};

void DSoundSetForegroundHook(int32_t (*isForeground)()) { g_ring.foreground = isForeground; }
DSoundState DSoundGetState() {
  return DSoundState{g_ring.size, g_ring.writePos, g_ring.playCursor, g_ring.gap, g_ring.bpf, (uint32_t)g_ring.primary,
                     (uint32_t)g_ring.emulated, g_ring.counter};
}

void ResetRingDeviceState() {
  std::lock_guard<std::recursive_mutex> l(g_ring.lock);
  if (g_ring.open) SinkDeviceClose(g_ring);
  g_ring.sink = nullptr;
  g_ring.rate = g_ring.mode = g_ring.bpf = g_ring.counter = g_ring.reload = 0;
  g_ring.suspended = g_ring.open = 0;
  g_ring.primary = g_ring.emulated = g_ring.focus = 0;
  g_ring.size = g_ring.writePos = g_ring.playCursor = g_ring.gap = g_ring.stallStart = 0;
  g_ring.foreground = nullptr;
}
