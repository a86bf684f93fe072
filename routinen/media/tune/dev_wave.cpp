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

// The block-ring device's state record: the sink device's part and the
// blocks, all under the device's own lock (the game thread's calls and the
// play thread's polls).
struct BlockRingDeviceState : SinkDevice {
  BlockRingDeviceState() : SinkDevice(OpenDevice, CloseDevice) {}
  uint32_t blocks = 0, blockSize = 0, current = 0, offset = 0, submitted = 0;
  uint64_t queuedTotal = 0;
  Block* block = nullptr;
};
BlockRingDeviceState g_blockRing;

const uint32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 37800, 44100};
const uint32_t kFormats[] = {DM_8BIT | DM_MONO, DM_8BIT | DM_STEREO, DM_16BIT | DM_MONO, DM_16BIT | DM_STEREO};

PcmFormat FormatOf(uint32_t mode, uint32_t rate) {
  return PcmFormat{rate, (mode & DM_STEREO) ? 2u : 1u, (mode & DM_16BIT) ? 16u : 8u};
}

bool Done(const Block& b) { return !b.queued || g_blockRing.sink->Played(g_blockRing.sink->self) >= b.endMark; }

void FreeBlocks() {
  if (!g_blockRing.block) return;
  for (uint32_t i = 0; i < g_blockRing.blocks; i++)
    if (g_blockRing.block[i].data) MemFree(g_blockRing.block[i].data);
  MemFree(g_blockRing.block);
  g_blockRing.block = nullptr;
}

int32_t OpenDevice() {
  uint32_t ms = (uint32_t)TuneOption(TUNE_OPT_BUFFERMS);
  g_blockRing.blocks = ms / 15;
  if (g_blockRing.blocks > 64) g_blockRing.blocks = 64;
  if (g_blockRing.blocks == 0) g_blockRing.blocks = 1;
  uint64_t size = (uint64_t)g_blockRing.rate * g_blockRing.bpf * ms / 1000 / g_blockRing.blocks;
  size = (size + 15) & ~15ull;
  if (size == 0) size = 16;
  if (size > 0x1000000) return TE_INVALID_ARGS;
  g_blockRing.blockSize = (uint32_t)size;
  PcmFormat f = FormatOf(g_blockRing.mode, g_blockRing.rate);
  if (g_blockRing.sink->Open(g_blockRing.sink->self, &f, 0, nullptr) != 0) return TE_NOT_AVAILABLE;
  void* p = nullptr;
  if (MemAlloc(sizeof(Block) * g_blockRing.blocks, &p)) {
    g_blockRing.sink->Close(g_blockRing.sink->self);
    return TE_OUT_OF_MEMORY;
  }
  g_blockRing.block = static_cast<Block*>(p);
  for (uint32_t i = 0; i < g_blockRing.blocks; i++) g_blockRing.block[i] = Block{nullptr, 0, 0, 0};
  for (uint32_t i = 0; i < g_blockRing.blocks; i++) {
    if (MemAlloc(g_blockRing.blockSize, &p)) {
      FreeBlocks();
      g_blockRing.sink->Close(g_blockRing.sink->self);
      return TE_OUT_OF_MEMORY;
    }
    g_blockRing.block[i].data = static_cast<uint8_t*>(p);
  }
  g_blockRing.current = g_blockRing.offset = 0;
  g_blockRing.queuedTotal = 0;
  g_blockRing.open = 1;
  return TE_OK;
}

void CloseDevice() {
  if (!g_blockRing.open) return;
  g_blockRing.sink->Reset(g_blockRing.sink->self);
  for (int tries = 0; tries < 50; tries++) {
    bool all = true;
    for (uint32_t i = 0; i < g_blockRing.blocks; i++) all = all && Done(g_blockRing.block[i]);
    if (all) break;
    SleepMs(20);
  }
  for (uint32_t i = 0; i < g_blockRing.blocks; i++) g_blockRing.block[i].prepared = 0;
  g_blockRing.sink->Close(g_blockRing.sink->self);
  FreeBlocks();
  g_blockRing.open = 0;
}

int32_t Detect(int32_t* found) {
  uint32_t caps = 0;
  *found = TuneGetPcmSink()->Probe(TuneGetPcmSink()->self, &caps) == 0 ? 1 : 0;
  return TE_OK;
}

int32_t SetUpdateRate(uint32_t u) { return SinkDeviceSetUpdateRate(g_blockRing, u); }

int32_t Init(uint32_t rate, uint32_t mode) {
  std::lock_guard<std::recursive_mutex> l(g_blockRing.lock);
  g_blockRing.sink = TuneGetPcmSink();
  g_blockRing.suspended = 0;
  g_blockRing.mode = DeviceModeFor(mode);
  g_blockRing.rate = rate;
  PcmFormat want = FormatOf(g_blockRing.mode, g_blockRing.rate);
  if (!g_blockRing.sink->Supports(g_blockRing.sink->self, &want)) {
    int start = 0;
    for (int i = 0; i < 4; i++)
      if (kFormats[i] == g_blockRing.mode) start = i;
    bool found = false;
    for (int i = start; i >= 0 && !found; i--)
      for (int r = 6; r >= 0 && !found; r--) {
        PcmFormat f = FormatOf(kFormats[i], kRates[r]);
        if (g_blockRing.sink->Supports(g_blockRing.sink->self, &f)) {
          g_blockRing.mode = kFormats[i];
          g_blockRing.rate = kRates[r];
          found = true;
        }
      }
  }
  return SinkDeviceStart(g_blockRing);
}

int32_t Close() { return SinkDeviceClose(g_blockRing); }
int32_t Suspend() { return SinkDeviceSuspend(g_blockRing); }
int32_t Resume() { return SinkDeviceResume(g_blockRing); }

int32_t GetMode(uint32_t* mode) { *mode = g_blockRing.mode; return TE_OK; }
int32_t StartPlay() { g_blockRing.submitted = 0; return TE_OK; }

int32_t Play(int32_t* call) {
  *call = 0;
  if (g_blockRing.suspended) return TE_OK;
  std::lock_guard<std::recursive_mutex> l(g_blockRing.lock);
  if (!g_blockRing.open) return TE_OK;
  for (;;) {
    Block& b = g_blockRing.block[g_blockRing.current];
    if (!Done(b)) return TE_OK;
    if (g_blockRing.submitted > g_blockRing.blocks) return TE_OK;
    if (b.prepared) b.prepared = 0;
    uint32_t left = (g_blockRing.blockSize - g_blockRing.offset) / g_blockRing.bpf;
    uint32_t n = left < g_blockRing.counter ? left : g_blockRing.counter;
    g_blockRing.counter -= n;
    if (int32_t err = dmixMixData(n, b.data + g_blockRing.offset)) return err;
    g_blockRing.offset += n * g_blockRing.bpf;
    if (g_blockRing.offset + g_blockRing.bpf > g_blockRing.blockSize) {
      b.prepared = 1;
      if (g_blockRing.sink->Queue(g_blockRing.sink->self, b.data, g_blockRing.blockSize) != 0) return TE_HARDWARE;
      g_blockRing.queuedTotal += g_blockRing.blockSize;
      b.endMark = g_blockRing.queuedTotal;
      b.queued = 1;
      g_blockRing.offset = 0;
      g_blockRing.current = (g_blockRing.current + 1) % g_blockRing.blocks;
      g_blockRing.submitted++;
    }
    SinkDeviceEndOfTick(g_blockRing, call);
    if (*call) return TE_OK;
  }
}

}  // namespace

SoundDevice WaveDevice = {
    0, 0x38, 0, 0, 0, 1, 1, 15, "Windows Wave Sound Device 1.11", "Windows Wave output", 0, nullptr,
    Detect, Init, Close, Suspend, Resume, dmixGetMixRate, GetMode, DMIX_CHANNEL_OPS,
    SetUpdateRate, StartPlay, Play, DMIX_STREAM_OPS};

WaveState WaveGetState() {
  return WaveState{g_blockRing.blocks, g_blockRing.blockSize, g_blockRing.current, g_blockRing.offset, g_blockRing.bpf, g_blockRing.rate, g_blockRing.mode, g_blockRing.counter};
}

void ResetBlockRingDeviceState() {
  std::lock_guard<std::recursive_mutex> l(g_blockRing.lock);
  if (g_blockRing.open) SinkDeviceClose(g_blockRing);
  g_blockRing.sink = nullptr;
  g_blockRing.rate = g_blockRing.mode = g_blockRing.bpf = g_blockRing.counter = g_blockRing.reload = 0;
  g_blockRing.suspended = g_blockRing.open = 0;
  g_blockRing.blocks = g_blockRing.blockSize = g_blockRing.current = g_blockRing.offset = g_blockRing.submitted = 0;
  g_blockRing.queuedTotal = 0;
}
