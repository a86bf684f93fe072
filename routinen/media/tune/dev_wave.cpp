// The block-ring device: the mixer's output goes to the sink as a ring of
// equal blocks; a block is refilled once the sink has played it.
#include "devices.h"
#include "platform/threads.h"

namespace {

struct Block {
  uint8_t* data;
  uint64_t endMark;  // sink's played count at which this block is done
  int32_t queued;
  int32_t prepared;
};

int32_t OpenDevice();
void CloseDevice();
SinkDevice d(OpenDevice, CloseDevice);
uint32_t g_blocks, g_blockSize, g_current, g_offset, g_submitted;
uint64_t g_queuedTotal;
Block* g_block;

const uint32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 37800, 44100};
const uint32_t kFormats[] = {DM_8BIT | DM_MONO, DM_8BIT | DM_STEREO, DM_16BIT | DM_MONO, DM_16BIT | DM_STEREO};

PcmFormat FormatOf(uint32_t mode, uint32_t rate) {
  return PcmFormat{rate, (mode & DM_STEREO) ? 2u : 1u, (mode & DM_16BIT) ? 16u : 8u};
}

bool Done(const Block& b) { return !b.queued || d.sink->Played(d.sink->self) >= b.endMark; }

void FreeBlocks() {
  if (!g_block) return;
  for (uint32_t i = 0; i < g_blocks; i++)
    if (g_block[i].data) MemFree(g_block[i].data);
  MemFree(g_block);
  g_block = nullptr;
}

int32_t OpenDevice() {
  uint32_t ms = (uint32_t)TuneOption(TUNE_OPT_BUFFERMS);
  g_blocks = ms / 15;
  if (g_blocks > 64) g_blocks = 64;
  if (g_blocks == 0) g_blocks = 1;
  uint64_t size = (uint64_t)d.rate * d.bpf * ms / 1000 / g_blocks;
  size = (size + 15) & ~15ull;
  if (size == 0) size = 16;
  if (size > 0x1000000) return TE_INVALID_ARGS;
  g_blockSize = (uint32_t)size;
  PcmFormat f = FormatOf(d.mode, d.rate);
  if (d.sink->Open(d.sink->self, &f, 0, nullptr) != 0) return TE_NOT_AVAILABLE;
  void* p = nullptr;
  if (MemAlloc(sizeof(Block) * g_blocks, &p)) {
    d.sink->Close(d.sink->self);
    return TE_OUT_OF_MEMORY;
  }
  g_block = static_cast<Block*>(p);
  for (uint32_t i = 0; i < g_blocks; i++) g_block[i] = Block{nullptr, 0, 0, 0};
  for (uint32_t i = 0; i < g_blocks; i++) {
    if (MemAlloc(g_blockSize, &p)) {
      FreeBlocks();
      d.sink->Close(d.sink->self);
      return TE_OUT_OF_MEMORY;
    }
    g_block[i].data = static_cast<uint8_t*>(p);
  }
  g_current = g_offset = 0;
  g_queuedTotal = 0;
  d.open = 1;
  return TE_OK;
}

void CloseDevice() {
  if (!d.open) return;
  d.sink->Reset(d.sink->self);
  for (int tries = 0; tries < 50; tries++) {
    bool all = true;
    for (uint32_t i = 0; i < g_blocks; i++) all = all && Done(g_block[i]);
    if (all) break;
    SleepMs(20);
  }
  for (uint32_t i = 0; i < g_blocks; i++) g_block[i].prepared = 0;
  d.sink->Close(d.sink->self);
  FreeBlocks();
  d.open = 0;
}

int32_t Detect(int32_t* found) {
  uint32_t caps = 0;
  *found = TuneGetPcmSink()->Probe(TuneGetPcmSink()->self, &caps) == 0 ? 1 : 0;
  return TE_OK;
}

int32_t SetUpdateRate(uint32_t u) { return SinkDeviceSetUpdateRate(d, u); }

int32_t Init(uint32_t rate, uint32_t mode) {
  std::lock_guard<std::recursive_mutex> l(d.lock);
  d.sink = TuneGetPcmSink();
  d.suspended = 0;
  d.mode = DeviceModeFor(mode);
  d.rate = rate;
  PcmFormat want = FormatOf(d.mode, d.rate);
  if (!d.sink->Supports(d.sink->self, &want)) {
    int start = 0;
    for (int i = 0; i < 4; i++)
      if (kFormats[i] == d.mode) start = i;
    bool found = false;
    for (int i = start; i >= 0 && !found; i--)
      for (int r = 6; r >= 0 && !found; r--) {
        PcmFormat f = FormatOf(kFormats[i], kRates[r]);
        if (d.sink->Supports(d.sink->self, &f)) {
          d.mode = kFormats[i];
          d.rate = kRates[r];
          found = true;
        }
      }
  }
  return SinkDeviceStart(d);
}

int32_t Close() { return SinkDeviceClose(d); }
int32_t Suspend() { return SinkDeviceSuspend(d); }
int32_t Resume() { return SinkDeviceResume(d); }

int32_t GetMode(uint32_t* mode) { *mode = d.mode; return TE_OK; }
int32_t StartPlay() { g_submitted = 0; return TE_OK; }

int32_t Play(int32_t* call) {
  *call = 0;
  if (d.suspended) return TE_OK;
  std::lock_guard<std::recursive_mutex> l(d.lock);
  if (!d.open) return TE_OK;
  for (;;) {
    Block& b = g_block[g_current];
    if (!Done(b)) return TE_OK;
    if (g_submitted > g_blocks) return TE_OK;
    if (b.prepared) b.prepared = 0;
    uint32_t left = (g_blockSize - g_offset) / d.bpf;
    uint32_t n = left < d.counter ? left : d.counter;
    d.counter -= n;
    if (int32_t err = dmixMixData(n, b.data + g_offset)) return err;
    g_offset += n * d.bpf;
    if (g_offset + d.bpf > g_blockSize) {
      b.prepared = 1;
      if (d.sink->Queue(d.sink->self, b.data, g_blockSize) != 0) return TE_HARDWARE;
      g_queuedTotal += g_blockSize;
      b.endMark = g_queuedTotal;
      b.queued = 1;
      g_offset = 0;
      g_current = (g_current + 1) % g_blocks;
      g_submitted++;
    }
    SinkDeviceEndOfTick(d, call);
    if (*call) return TE_OK;
  }
}

}  // namespace

SoundDevice WaveDevice = {
    0, 0x38, 0, 0, 0, 1, 1, 15, "Windows Wave Sound Device 1.11", "Windows Wave output", 0, nullptr,
    Detect, Init, Close, Suspend, Resume, dmixGetMixRate, GetMode, DMIX_CHANNEL_OPS,
    SetUpdateRate, StartPlay, Play, DMIX_STREAM_OPS};

WaveState WaveGetState() {
  return WaveState{g_blocks, g_blockSize, g_current, g_offset, d.bpf, d.rate, d.mode, d.counter};
}
