// The ring-buffer device: the sink plays one looping ring; each poll mixes
// into the part the play cursor has left behind, keeping a gap before it.
#include "devices.h"

namespace {

int32_t OpenDevice();
void CloseDevice();
SinkDevice d(OpenDevice, CloseDevice);
int32_t g_primary, g_emulated, g_focus;
uint32_t g_size, g_writePos, g_playCursor, g_gap, g_stallStart;
int32_t (*g_foreground)() = nullptr;

int32_t IsForeground() { return g_foreground ? g_foreground() : 1; }

PcmSink* ChooseSink() {
  intptr_t external = TuneOption(TUNE_OPT_DSOBJECT);
  return external ? reinterpret_cast<PcmSink*>(external) : TuneGetPcmSink();
}

int32_t OpenDevice() {
  if (!TuneOption(TUNE_OPT_DSWINDOW)) return TE_NO_WINDOW;
  d.sink = ChooseSink();
  uint32_t caps = 0;
  if (d.sink->Probe(d.sink->self, &caps) != 0) return TE_NO_DSOUND;
  g_primary = TuneOption(TUNE_OPT_DSMODE) == 2;
  g_emulated = (caps & PCM_CAP_EMULATED) ? 1 : 0;
  uint64_t ms = (uint64_t)(g_emulated ? TuneOption(TUNE_OPT_BUFFERMS) : TuneOption(TUNE_OPT_DSBUFFERMS));
  uint64_t size = (uint64_t)d.bpf * d.rate * ms / 1000;
  size = (size + 15) & ~15ull;
  if (size < 64 || size > 0x1000000) return TE_INVALID_ARGS;
  g_writePos = 0;
  g_playCursor = 0;
  PcmFormat f{d.rate, (d.mode & DM_STEREO) ? 2u : 1u, (d.mode & DM_16BIT) ? 16u : 8u};
  uint32_t real = 0;
  if (d.sink->Open(d.sink->self, &f, (uint32_t)size, &real) != 0) return TE_NOT_AVAILABLE;
  if (g_primary) {
    g_gap = real > size + 16 ? real - (uint32_t)size : 16;
    g_size = real;
  } else {
    g_gap = 16;
    g_size = (uint32_t)size;
  }
  if (g_size < g_gap + d.bpf || real < g_size) {
    d.sink->Close(d.sink->self);
    return TE_UNSUPPORTED;
  }
  g_stallStart = 0;
  d.open = 1;
  return TE_OK;
}

void CloseDevice() {
  if (!d.open) return;
  d.sink->Close(d.sink->self);
  d.open = 0;
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

int32_t SetUpdateRate(uint32_t u) { return SinkDeviceSetUpdateRate(d, u); }

int32_t Init(uint32_t rate, uint32_t mode) {
  std::lock_guard<std::recursive_mutex> l(d.lock);
  g_focus = 0;
  d.mode = DeviceModeFor(mode);
  d.rate = rate;
  return SinkDeviceStart(d);
}

int32_t Close() { return SinkDeviceClose(d); }
int32_t Suspend() { return SinkDeviceSuspend(d); }
int32_t Resume() { return SinkDeviceResume(d); }

int32_t GetMode(uint32_t* mode) { *mode = d.mode; return TE_OK; }

int32_t StartPlay() {
  if (d.suspended) return TE_OK;
  std::lock_guard<std::recursive_mutex> l(d.lock);
  if (!d.open) return TE_OK;
  uint32_t c = 0;
  if (d.sink->PlayCursor(d.sink->self, &c) != 0) return TE_HARDWARE;
  g_playCursor = c % g_size;
  return TE_OK;
}

int32_t Play(int32_t* call) {
  *call = 0;
  if (d.suspended) return TE_OK;
  std::lock_guard<std::recursive_mutex> l(d.lock);
  if (!d.open) return TE_OK;
  int64_t freeBytes = (int64_t)g_playCursor - g_writePos;
  if (freeBytes < 0) freeBytes += g_size;
  if (freeBytes > g_gap) {
    g_stallStart = 0;
    freeBytes -= g_gap;
  } else {
    freeBytes = 0;
    if (IsForeground()) {
      if (!g_focus) {
        g_focus = 1;
      } else {
        uint32_t now = TuneMilliseconds();
        if (g_stallStart == 0 || (int32_t)(g_stallStart - now) > 0) {
          g_stallStart = now;
        } else if (now - g_stallStart > 1000) {
          d.sink->Restart(d.sink->self);
          g_stallStart = 0;
        }
      }
    } else {
      g_focus = 0;
    }
  }
  uint32_t frames = (uint32_t)freeBytes / d.bpf;
  while (frames > 0 && d.counter > 0) {
    uint32_t n = frames < d.counter ? frames : d.counter;
    frames -= n;
    d.counter -= n;
    uint8_t* ring = nullptr;
    int32_t r = d.sink->Lock(d.sink->self, &ring);
    if (r == -2) {
      if (d.sink->Restart(d.sink->self) != 0) return TE_OK;
      r = d.sink->Lock(d.sink->self, &ring);
    }
    if (r != 0) return TE_OK;
    uint32_t bytes = n * d.bpf;
    uint32_t first = g_size - g_writePos;
    if (first > bytes) first = bytes;
    int32_t err = dmixMixData(first / d.bpf, ring + g_writePos);
    if (!err && bytes > first) err = dmixMixData((bytes - first) / d.bpf, ring);
    d.sink->Unlock(d.sink->self);
    if (err) return err;
    g_writePos = (g_writePos + bytes) % g_size;
  }
  SinkDeviceEndOfTick(d, call);
  return TE_OK;
}

}  // namespace

SoundDevice DSoundDevice = {
    0, 0x38, 0, 0, 0, 1, 1, 15, "DirectSound Sound Device 1.10", "DirectSound", 0, nullptr,
    Detect, Init, Close, Suspend, Resume, dmixGetMixRate, GetMode, DMIX_CHANNEL_OPS,
    SetUpdateRate, StartPlay, Play, DMIX_STREAM_OPS};

void DSoundSetForegroundHook(int32_t (*isForeground)()) { g_foreground = isForeground; }
DSoundState DSoundGetState() {
  return DSoundState{g_size, g_writePos, g_playCursor, g_gap, d.bpf, (uint32_t)g_primary,
                     (uint32_t)g_emulated, d.counter};
}
