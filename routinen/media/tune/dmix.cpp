// Digital sound mixer: channels, samples, volume ramps, loops and the piece
// loop of dmixMixData. The inner routines live in dmix_routines.cpp.
#include "dmix.h"

#include <cstring>

#include "routinen/system/memory.h"

namespace {

// The mixer's one state record (dmix.h says who guards what).
DmixState g_dmix;

constexpr int32_t kRampStep = 131072;

uint32_t ShiftOf(uint32_t type) {
  switch (type) {
    case SMP_S16_MONO: case SMP_U8_STEREO: case SMP_ULAW_STEREO: return 1;
    case SMP_S16_STEREO: return 2;
    default: return 0;
  }
}
bool ValidType(uint32_t t) {
  return t == SMP_NONE || (t >= SMP_U8_MONO && t <= SMP_S16_STEREO) || t == SMP_ULAW_MONO || t == SMP_ULAW_STEREO;
}
bool StereoType(uint32_t t) { return t == 3 || t == 4 || t == 8; }

int32_t CheckChannel(uint32_t c) {
  if (!g_dmix.open || !g_dmix.channelsOpen) return TE_CHANNELS_NOT_OPEN;
  if (c >= g_dmix.channels) return TE_INVALID_CHANNEL;
  return TE_OK;
}

void BuildTables() {
  if (!g_dmix.table8) return;
  int64_t n = g_dmix.channels ? g_dmix.channels : 1;
  int64_t a = g_dmix.amplification;
  for (int64_t l = 0; l <= 32; l++)
    for (int64_t i = 0; i < 256; i++) {
      int64_t t = l * a * (i - 128);
      g_dmix.table8[l * 256 + i] = (int32_t)(((t / 64) * 256 / 32) / n);
      g_dmix.tableMu[l * 256 + i] = (int32_t)((MuLawDecode((uint8_t)i) * l * a) / 64 / 32 / n);
    }
}

void ComputeTargets(DmixChannel& c) {
  int32_t l, r;
  if (c.muted || g_dmix.allMuted) {
    l = r = 0;
  } else {
    int32_t v = (int32_t)c.volume, p = c.panning;
    if (p == 0 || p == 128 || (g_dmix.mode & MIX_MONO)) {
      l = r = 64 * v;
    } else if (p > 0) {
      l = (64 - p) * v; r = 64 * v;
    } else {
      l = 64 * v; r = (64 + p) * v;
    }
    l *= (int32_t)g_dmix.master * 16;
    r *= (int32_t)g_dmix.master * 16;
  }
  if (!g_dmix.ramping) {
    c.curL = c.tgtL = l; c.curR = c.tgtR = r;
    c.rampActive = 0;
    return;
  }
  c.rampActive = 0;
  if (!(c.curL == l && c.tgtL == l)) { c.tgtL = l; c.stepL = kRampStep; c.rampActive = 1; }
  if (!(c.curR == r && c.tgtR == r)) { c.tgtR = r; c.stepR = kRampStep; c.rampActive = 1; }
}

void RampStep(DmixChannel& c) {
  bool full = false;
  auto side = [&full](int32_t& cur, int32_t tgt, int32_t step) {
    int64_t d = (int64_t)tgt - cur;
    if (d > 0) { if (d >= step) { cur += step; full = true; } else cur = tgt; }
    else if (d < 0) { if (-d >= step) { cur -= step; full = true; } else cur = tgt; }
  };
  side(c.curL, c.tgtL, c.stepL);
  side(c.curR, c.tgtR, c.stepR);
  c.rampActive = full ? 1 : 0;
}

// Copies channel c into its shadow slot, which then fades out the old sound.
void FadingShadow(uint32_t c) {
  if (!g_dmix.ramping) return;
  DmixChannel& ch = g_dmix.ch[c];
  DmixChannel& sh = g_dmix.ch[c + g_dmix.channels];
  if (ch.status >= CH_PLAYING && (ch.curL || ch.curR) && sh.status != CH_FADING) {
    sh = ch;
    sh.volume = 0;
    sh.status = CH_FADING;
    ComputeTargets(sh);
    sh.rampActive = 1;
  }
}

void CopySampleToChannel(DmixChannel& c, const DmixSample& s) {
  c.data = s.data; c.mixType = s.mixType; c.srcType = s.srcType; c.memFlag = s.memFlag;
  c.length = s.length; c.loopMode = s.loopMode;
  c.loop1Start = s.loop1Start; c.loop1End = s.loop1End; c.loop1Type = s.loop1Type;
  c.loop2Start = s.loop2Start; c.loop2End = s.loop2End; c.loop2Type = s.loop2Type;
}

void LoopOf(const DmixChannel& c, uint32_t& start, uint32_t& end, uint32_t& type) {
  if (c.loopInUse == 2) { start = c.loop2Start; end = c.loop2End; type = c.loop2Type; }
  else { start = c.loop1Start; end = c.loop1End; type = c.loop1Type; }
}

// Distance to the next boundary in 16.16; sets the interpolation offset.
int64_t Distance(const DmixChannel& c, int32_t& offset) {
  offset = 1;
  const bool interp = g_dmix.ramping;
  uint32_t ls, le, lt;
  LoopOf(c, ls, le, lt);
  int64_t n;
  bool backward = false;
  if (c.handle == DMIX_STREAM_HANDLE && c.pos <= (int64_t)c.writePos && c.writePos <= le) {
    n = (int64_t)c.writePos - c.pos;
    if (interp && n > 0) { if (n == 1) offset = 0; else n -= 1; }
  } else if (lt == 0) {
    n = (int64_t)c.length - c.pos;
    if (interp && n > 0) { if (n == 1) offset = 0; else n -= 1; }
  } else if (c.dir >= 0) {
    n = (int64_t)le - c.pos;
    if (interp && n > 0) {
      if (n == 1) offset = (lt == 1) ? (int32_t)((int64_t)ls - c.pos) : 0;
      else n -= 1;
    }
  } else {
    backward = true;
    n = c.pos - (int64_t)ls;
    if (interp && c.pos >= (int64_t)le - 1) { n = 1; offset = 0; }
  }
  if (n > 32767) return 32767LL * 65536;
  return backward ? n * 65536 + c.frac : n * 65536 - c.frac;
}

enum { kGo = 0, kStop = 1 };

// A pending change of sample at the end of a sample or loop (loop modes 4, 5).
bool TakePendingSample(DmixChannel& c, int& result) {
  if (!c.changed || c.handle == 0 || c.handle > DMIX_MAX_SAMPLES) return false;
  const DmixSample& s = g_dmix.samples[c.handle - 1];
  bool oldOk = c.loopMode == 4 || c.loopMode == 5;
  bool newOk = s.loopMode == 4 || s.loopMode == 5;
  if (!oldOk || !newOk) return false;
  CopySampleToChannel(c, s);
  c.changed = 0;
  c.loopInUse = 1;
  if (s.loopMode == 5) {
    c.pos = c.loop1Start; c.frac = 0; c.dir = 1;
    result = kGo;
  } else {
    c.status = CH_ENDED;
    result = kStop;
  }
  return true;
}

int Boundary(uint32_t slot, DmixChannel& c, bool startedBeforeWrite) {
  const bool stream = c.handle == DMIX_STREAM_HANDLE;
  uint32_t ls, le, lt;
  LoopOf(c, ls, le, lt);
  const int64_t P = c.pos * 65536 + c.frac;
  if (stream && c.pos >= (int64_t)c.writePos && le == c.writePos) return kStop;
  if (lt == 0) {
    if (c.pos < (int64_t)c.length) return kGo;
    int r;
    if (TakePendingSample(c, r)) return r;
    c.status = CH_ENDED;
    return kStop;
  }
  if (c.dir < 0) {
    if (P > (int64_t)ls * 65536) return kGo;
    if (c.callback) c.callback(slot % (g_dmix.channels ? g_dmix.channels : 1));
    c.dir = 1;
    int64_t t = (int64_t)ls * 65536 - P - 1;
    if (t < 0) t = 0;  // landing exactly on the start stays inside the loop
    int64_t np = (int64_t)ls * 65536 + t;
    c.frac = (uint32_t)(np & 0xFFFF);
    c.pos = np >> 16;
    if (c.pos >= (int64_t)le) { c.pos = ls; c.frac = 0; return kStop; }
    return kGo;
  }
  if (P < (int64_t)le * 65536) {
    if (stream && startedBeforeWrite && c.pos >= (int64_t)c.writePos) return kStop;
    return kGo;
  }
  if (c.callback) c.callback(slot % (g_dmix.channels ? g_dmix.channels : 1));
  int r;
  if (TakePendingSample(c, r)) return r;
  if (c.status == CH_RELEASED && c.loopInUse == 1) {
    c.loopInUse = 2;
    return kGo;
  }
  if (lt == 2) {
    c.dir = -1;
    int64_t t = (int64_t)le * 65536 - ((P - (int64_t)le * 65536) + 1);
    c.frac = (uint32_t)(t & 0xFFFF);
    c.pos = t >> 16;
    if (c.pos <= (int64_t)ls) {
      // overshoot longer than the loop: rest on its last sample
      c.pos = (int64_t)le - 1; c.frac = 0xFFFF;
      return kStop;
    }
    return kGo;
  }
  c.pos = c.pos - le + ls;
  if (c.pos >= (int64_t)le) { c.pos = ls; return kStop; }
  return kGo;
}

// Volume preparation for one run.
void PrepareVolumes(const DmixChannel& c, MixRun& run) {
  const uint32_t type = c.mixType;
  const uint32_t n = g_dmix.channels ? g_dmix.channels : 1;
  if (!g_dmix.integer) {
    double f = (double)g_dmix.amplification / ((double)n * 268435456.0);
    float lf, rf;
    if (g_dmix.mode & MIX_MONO) {
      lf = (float)(StereoType(type) ? c.curL * f * 0.5 : c.curL * f);
      rf = lf;
    } else {
      lf = (float)(c.curL * f);
      rf = (float)(c.curR * f);
      if (c.panning == 128) rf = -rf;
    }
    if (g_dmix.ramping) { lf *= 1.0f / 65536.0f; rf *= 1.0f / 65536.0f; }
    run.lf = lf; run.rf = rf;
    return;
  }
  auto mult = [&](uint32_t cur) { return (int32_t)((uint32_t)(cur * g_dmix.amplification / n) >> 20); };
  uint32_t rowL, rowR;
  if (g_dmix.mode & MIX_MONO) {
    uint32_t cur = (uint32_t)c.curL;
    if (StereoType(type)) {
      run.ml = (int32_t)(((uint32_t)((cur >> 1) * g_dmix.amplification / n)) >> 20);
      rowL = (cur + 131072) / 262144;
    } else {
      run.ml = mult(cur);
      rowL = (cur + 1) / 131072;
    }
    rowR = rowL;
    run.mr = run.ml;
  } else {
    run.ml = mult((uint32_t)c.curL);
    run.mr = mult((uint32_t)c.curR);
    rowL = (((uint32_t)c.curL >> 7) + 512) / 1024;
    rowR = (((uint32_t)c.curR >> 7) + 512) / 1024;
    if (c.panning == 128) run.mr = -run.mr;
  }
  if (rowL > 32) rowL = 32;
  if (rowR > 32) rowR = 32;
  run.rowL8 = g_dmix.table8 + rowL * 256; run.rowR8 = g_dmix.table8 + rowR * 256;
  run.rowLMu = g_dmix.tableMu + rowL * 256; run.rowRMu = g_dmix.tableMu + rowR * 256;
}

void MixChannel(uint32_t slot, void* buffer, uint32_t frames) {
  DmixChannel& c = g_dmix.ch[slot];
  if (!c.rate || !c.data || !c.memFlag || !c.length) return;
  if (!ValidType(c.mixType) || c.mixType == SMP_NONE) return;
  int64_t baseStep = ((int64_t)(c.rate / g_dmix.rate) << 16) + (((int64_t)(c.rate % g_dmix.rate) << 16) / g_dmix.rate);
  if (baseStep == 0) baseStep = 1;
  const bool stereoOut = !(g_dmix.mode & MIX_MONO);
  const uint32_t perFrame = stereoOut ? 2 : 1;
  const uint32_t frameBytes = 1u << ShiftOf(c.mixType);
  const bool startedBeforeWrite = c.pos <= (int64_t)c.writePos;
  uint8_t* out = static_cast<uint8_t*>(buffer);
  int zeros = 0;
  while (frames > 0 && c.status >= CH_PLAYING) {
    const int64_t step = c.dir < 0 ? -baseStep : baseStep;
    int32_t offset;
    int64_t d = Distance(c, offset);
    int64_t k = d <= 0 ? 0 : (d + baseStep - 1) / baseStep;
    if (k > frames) k = frames;
    if (k == 0) {
      if (++zeros >= 2) return;
      if (Boundary(slot, c, startedBeforeWrite) == kStop) return;
      continue;
    }
    zeros = 0;
    MixRun run{};
    run.step = step;
    int32_t surround = c.panning == 128 ? 1 : 0;
    int64_t P = c.pos * 65536 + c.frac;
    auto mixSome = [&](uint32_t count) {
      run.source = c.data + (size_t)(P >> 16) * frameBytes;
      run.fraction = P & 0xFFFF;
      MixFrames(g_dmix.mode, c.mixType, surround, &run, out, count, offset);
      P += (int64_t)count * step;
      out += (size_t)count * perFrame * 4;
    };
    uint32_t left = (uint32_t)k;
    while (c.rampActive && left > 0) {
      PrepareVolumes(c, run);
      mixSome(1);
      RampStep(c);
      left--;
    }
    if (left > 0) {
      if (c.curL == 0 && c.curR == 0) {
        P += (int64_t)left * step;
        out += (size_t)left * perFrame * 4;
        if (c.status == CH_FADING) c.status = CH_OFF;
      } else {
        PrepareVolumes(c, run);
        mixSome(left);
      }
    }
    if (c.status == CH_FADING && c.curL == 0 && c.curR == 0) { c.status = CH_OFF; c.rampActive = 0; }
    frames -= (uint32_t)k;
    c.pos = P >> 16;
    c.frac = (uint32_t)(P & 0xFFFF);
    if (c.status == CH_OFF) return;
    if (Boundary(slot, c, startedBeforeWrite) == kStop) return;
  }
}

void ClearSlot(DmixChannel& c) {
  uint32_t v = c.volume;
  std::memset(&c, 0, sizeof c);
  c.volume = v;
  c.dir = 1;
}

}  // namespace

// ---- G.711 mu-law ----

int16_t MuLawDecode(uint8_t byte) {
  int u = ~byte & 0xFF;
  int t = ((u & 0x0F) << 3) + 0x84;
  t <<= (u & 0x70) >> 4;
  return (int16_t)((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

uint8_t MuLawEncode(int16_t value) {
  int v = value;
  int sign = 0;
  if (v < 0) { sign = 0x80; v = -v; }
  if (v > 32635) v = 32635;
  v += 0x84;
  int exp = 7;
  for (int mask = 0x4000; (v & mask) == 0 && exp > 0; mask >>= 1) exp--;
  int mant = (v >> (exp + 3)) & 0x0F;
  return (uint8_t)(~(sign | (exp << 4) | mant) & 0xFF);
}

// ---- life cycle ----

int32_t dmixInit(uint32_t rate, uint32_t mode) {
  if (g_dmix.open) dmixClose();
  if (!rate) return TE_INVALID_ARGS;
  // Floating-point mixing unless integer mixing is asked for.
  if (!(mode & (MIX_FLOAT | MIX_INTEGER))) mode |= MIX_FLOAT;
  if ((mode & MIX_INTERPOLATE) && (mode & MIX_INTEGER)) mode = (mode & ~MIX_INTEGER) | MIX_FLOAT;
  if (!(mode & (MIX_8BIT | MIX_16BIT))) mode |= MIX_16BIT;
  if (!(mode & (MIX_MONO | MIX_STEREO))) mode |= MIX_STEREO;
  DmixState m{};
  m.plainLoops = g_dmix.plainLoops;
  m.rate = rate;
  m.mode = mode;
  m.integer = (mode & MIX_INTEGER) && !(mode & MIX_FLOAT);
  m.ramping = (mode & MIX_INTERPOLATE) ? 1 : 0;
  m.convert16 = m.integer && TuneOption(TUNE_OPT_CONVERT16) ? 1 : 0;
  m.master = 64;
  m.amplification = 64;
  uint32_t bytes = ((mode & MIX_MONO) ? rate * 4 : rate * 8) / 40;
  bytes = (bytes + 15) & ~15u;
  if (bytes < 16) bytes = 16;
  m.bufferBytes = bytes;
  int32_t err;
  void* p = nullptr;
  if (m.integer) {
    if ((err = MemAlloc(33 * 256 * 4, &p))) return err;
    m.table8 = static_cast<int32_t*>(p);
    if ((err = MemAlloc(33 * 256 * 4, &p))) { MemFree(m.table8); return err; }
    m.tableMu = static_cast<int32_t*>(p);
  }
  if ((err = MemAlloc(bytes, &p))) {
    if (m.table8) { MemFree(m.table8); MemFree(m.tableMu); }
    return err;
  }
  m.buffer = p;
  if ((err = MemAlloc(sizeof(DmixSample) * DMIX_MAX_SAMPLES, &p))) {
    MemFree(m.buffer);
    if (m.table8) { MemFree(m.table8); MemFree(m.tableMu); }
    return err;
  }
  m.samples = static_cast<DmixSample*>(p);
  std::memset(m.samples, 0, sizeof(DmixSample) * DMIX_MAX_SAMPLES);
  g_dmix = m;
  g_dmix.open = 1;
  for (int i = 0; i < 256; i++) {
    DmixTable8[i] = (float)(-32768 + 256 * i);
    DmixTableMu[i] = (float)MuLawDecode((uint8_t)i);
  }
  BuildTables();
  g_dmix.head.next = g_dmix.head.prev = &g_dmix.head;
  dmixAddPostProcessor(&OutputFilterNode, 1, nullptr);
  OutputFilterReset(g_dmix.ramping ? 0 : 1);
  return TE_OK;
}

int32_t dmixClose() {
  if (!g_dmix.open) return TE_OK;
  dmixRemovePostProcessor(&OutputFilterNode);
  if (g_dmix.ch) MemFree(g_dmix.ch);
  for (uint32_t i = 0; i < DMIX_MAX_SAMPLES; i++)
    if (g_dmix.samples[i].inUse && g_dmix.samples[i].owned) MemFree(const_cast<uint8_t*>(g_dmix.samples[i].data));
  MemFree(g_dmix.samples);
  MemFree(g_dmix.buffer);
  if (g_dmix.table8) { MemFree(g_dmix.table8); MemFree(g_dmix.tableMu); }
  const int32_t plain = g_dmix.plainLoops;
  g_dmix = DmixState{};
  g_dmix.plainLoops = plain;
  return TE_OK;
}

uint32_t dmixMode() { return g_dmix.mode; }
uint32_t dmixBufferBytes() { return g_dmix.bufferBytes; }
DmixState& DmixMixer() { return g_dmix; }

void ResetDmixState() {
  dmixClose();
  g_dmix = DmixState{};
}

int32_t dmixIsOpen() { return g_dmix.open; }
void dmixUsePlainLoops(int32_t on) { g_dmix.plainLoops = on ? 1 : 0; }
DmixChannel* dmixChannel(uint32_t slot) { return g_dmix.open && g_dmix.ch && slot < g_dmix.slots ? &g_dmix.ch[slot] : nullptr; }
uint32_t dmixChannelSlots() { return g_dmix.slots; }
int32_t dmixVolumeTableEntry(uint32_t table, uint32_t row, uint32_t index) {
  if (!g_dmix.table8 || row > 32 || index > 255) return 0;
  return (table ? g_dmix.tableMu : g_dmix.table8)[row * 256 + index];
}

void dmixAddPostProcessor(PostProcessor* node, int32_t where, void* data) {
  node->data = data;
  PostProcessor* h = &g_dmix.head;
  if (where == 0) {
    node->next = h->next; node->prev = h;
  } else {
    node->next = h; node->prev = h->prev;
  }
  node->next->prev = node;
  node->prev->next = node;
}

void dmixRemovePostProcessor(PostProcessor* node) {
  if (!node->next || !node->prev) return;
  node->prev->next = node->next;
  node->next->prev = node->prev;
  node->next = node->prev = nullptr;
}

int32_t dmixMixData(uint32_t frames, void* destination) {
  if (!g_dmix.open) return TE_INVALID_DEVICE;
  const bool stereo = !(g_dmix.mode & MIX_MONO);
  const uint32_t perPiece = g_dmix.bufferBytes / (stereo ? 8 : 4);
  const uint32_t outBytes = ((g_dmix.mode & MIX_16BIT) ? 2 : 1) * (stereo ? 2 : 1);
  uint8_t* dest = static_cast<uint8_t*>(destination);
  while (frames > 0) {
    uint32_t n = frames < perPiece ? frames : perPiece;
    std::memset(g_dmix.buffer, 0, (size_t)n * (stereo ? 8 : 4));
    if (!g_dmix.paused && g_dmix.channelsOpen)
      for (uint32_t s = 0; s < g_dmix.slots; s++) MixChannel(s, g_dmix.buffer, n);
    for (PostProcessor* p = g_dmix.head.next; p != &g_dmix.head; p = p->next) {
      if (g_dmix.integer) {
        auto fn = stereo ? p->intStereo : p->intMono;
        if (fn) fn(static_cast<int32_t*>(g_dmix.buffer), n, p->data);
      } else {
        auto fn = stereo ? p->floatStereo : p->floatMono;
        if (fn) fn(static_cast<float*>(g_dmix.buffer), n, p->data);
      }
    }
    (g_dmix.plainLoops ? ConvertOutputPlain : ConvertOutput)(g_dmix.mode, g_dmix.buffer, n * (stereo ? 2 : 1),
                                                                   dest);
    dest += (size_t)n * outBytes;
    frames -= n;
  }
  return TE_OK;
}

// ---- device operations ----

int32_t dmixGetMixRate(uint32_t* rate) { *rate = g_dmix.rate; return TE_OK; }

int32_t dmixOpenChannels(uint32_t count) {
  if (!g_dmix.open) return TE_INVALID_DEVICE;
  if (count == 0 || count > 256) return TE_INVALID_ARGS;
  uint32_t slots = g_dmix.ramping ? count * 2 : count;
  void* p = nullptr;
  int32_t err = MemAlloc(sizeof(DmixChannel) * slots, &p);
  if (err) return err;
  if (g_dmix.ch) MemFree(g_dmix.ch);
  g_dmix.ch = static_cast<DmixChannel*>(p);
  std::memset(g_dmix.ch, 0, sizeof(DmixChannel) * slots);
  g_dmix.channels = count;
  g_dmix.slots = slots;
  g_dmix.channelsOpen = 1;
  dmixSetAmplification(count >= 5 ? 14 * count : 64);
  return dmixClearChannels();
}

int32_t dmixCloseChannels() {
  if (!g_dmix.open || !g_dmix.channelsOpen) return TE_CHANNELS_NOT_OPEN;
  MemFree(g_dmix.ch);
  g_dmix.ch = nullptr;
  g_dmix.channels = g_dmix.slots = 0;
  g_dmix.channelsOpen = 0;
  return TE_OK;
}

int32_t dmixClearChannels() {
  if (!g_dmix.open || !g_dmix.channelsOpen) return TE_CHANNELS_NOT_OPEN;
  for (uint32_t s = 0; s < g_dmix.slots; s++) ClearSlot(g_dmix.ch[s]);
  return TE_OK;
}

int32_t dmixMute(int32_t flag) {
  g_dmix.allMuted = flag ? 1 : 0;
  for (uint32_t c = 0; c < g_dmix.channels; c++) ComputeTargets(g_dmix.ch[c]);
  return TE_OK;
}
int32_t dmixPause(int32_t flag) { g_dmix.paused = flag ? 1 : 0; return TE_OK; }
int32_t dmixSetMasterVolume(uint32_t volume) {
  g_dmix.master = volume > 64 ? 64 : volume;
  for (uint32_t c = 0; c < g_dmix.channels; c++) ComputeTargets(g_dmix.ch[c]);
  return TE_OK;
}
int32_t dmixGetMasterVolume(uint32_t* volume) { *volume = g_dmix.master; return TE_OK; }
int32_t dmixSetAmplification(uint32_t amp) {
  g_dmix.amplification = amp;
  if (g_dmix.integer) BuildTables();
  return TE_OK;
}
int32_t dmixGetAmplification(uint32_t* amp) { *amp = g_dmix.amplification; return TE_OK; }

int32_t dmixPlaySound(uint32_t c, uint32_t rate) {
  if (int32_t e = CheckChannel(c)) return e;
  FadingShadow(c);
  g_dmix.ch[c].status = CH_ENDED;
  g_dmix.ch[c].rate = rate;
  return dmixSetPosition(c, 0);
}

int32_t dmixReleaseSound(uint32_t c) {
  if (int32_t e = CheckChannel(c)) return e;
  DmixChannel& ch = g_dmix.ch[c];
  if (ch.status == CH_PLAYING && (ch.loopMode == 2 || ch.loopMode == 3)) ch.status = CH_RELEASED;
  return TE_OK;
}

int32_t dmixStopSound(uint32_t c) {
  if (int32_t e = CheckChannel(c)) return e;
  FadingShadow(c);
  g_dmix.ch[c].status = CH_OFF;
  return TE_OK;
}

int32_t dmixSetRate(uint32_t c, uint32_t rate) {
  if (int32_t e = CheckChannel(c)) return e;
  g_dmix.ch[c].rate = rate;
  return TE_OK;
}
int32_t dmixGetRate(uint32_t c, uint32_t* rate) {
  if (int32_t e = CheckChannel(c)) return e;
  *rate = g_dmix.ch[c].status <= CH_ENDED ? 0 : g_dmix.ch[c].rate;
  return TE_OK;
}
int32_t dmixSetVolume(uint32_t c, uint32_t volume) {
  if (int32_t e = CheckChannel(c)) return e;
  g_dmix.ch[c].volume = volume > 64 ? 64 : volume;
  ComputeTargets(g_dmix.ch[c]);
  return TE_OK;
}
int32_t dmixGetVolume(uint32_t c, uint32_t* volume) {
  if (int32_t e = CheckChannel(c)) return e;
  *volume = g_dmix.ch[c].volume;
  return TE_OK;
}
int32_t dmixSetPanning(uint32_t c, int32_t panning) {
  if (int32_t e = CheckChannel(c)) return e;
  if (panning != 128) panning = panning < -64 ? -64 : panning > 64 ? 64 : panning;
  g_dmix.ch[c].panning = panning;
  ComputeTargets(g_dmix.ch[c]);
  return TE_OK;
}
int32_t dmixGetPanning(uint32_t c, int32_t* panning) {
  if (int32_t e = CheckChannel(c)) return e;
  *panning = g_dmix.ch[c].panning;
  return TE_OK;
}
int32_t dmixMuteChannel(uint32_t c, int32_t flag) {
  if (int32_t e = CheckChannel(c)) return e;
  g_dmix.ch[c].muted = flag ? 1 : 0;
  ComputeTargets(g_dmix.ch[c]);
  return TE_OK;
}

static int32_t CheckHandle(uint32_t h) {
  if (!g_dmix.open) return TE_INVALID_DEVICE;
  if (h == 0 || h > DMIX_MAX_SAMPLES || !g_dmix.samples[h - 1].inUse) return TE_INVALID_SAMPLE;
  return TE_OK;
}

int32_t dmixSetSample(uint32_t c, uint32_t handle) {
  if (int32_t e = CheckChannel(c)) return e;
  if (int32_t e = CheckHandle(handle)) return e;
  DmixChannel& ch = g_dmix.ch[c];
  ch.handle = handle;
  ch.changed = 1;
  const DmixSample& s = g_dmix.samples[handle - 1];
  if (s.loopMode == 5 && ch.status == CH_ENDED && !g_dmix.ramping) {
    ch.status = CH_PLAYING;
    return dmixSetPosition(c, s.loop1Start << ShiftOf(s.srcType));
  }
  return TE_OK;
}
int32_t dmixGetSample(uint32_t c, uint32_t* handle) {
  if (int32_t e = CheckChannel(c)) return e;
  *handle = g_dmix.ch[c].handle;
  return TE_OK;
}

int32_t dmixSetPosition(uint32_t c, uint32_t bytes) {
  if (int32_t e = CheckChannel(c)) return e;
  FadingShadow(c);
  DmixChannel& ch = g_dmix.ch[c];
  if (ch.changed && ch.handle && ch.handle <= DMIX_MAX_SAMPLES) {
    CopySampleToChannel(ch, g_dmix.samples[ch.handle - 1]);
    ch.changed = 0;
    if (ch.loopMode != 2 && ch.loopMode != 3 && ch.status == CH_RELEASED) {
      ch.status = CH_ENDED;
      return TE_OK;
    }
  }
  const int64_t p = bytes >> ShiftOf(ch.srcType);
  if (ch.handle && ch.rate && ch.status >= CH_ENDED && ch.status <= CH_RELEASED) {
    ch.loopInUse = ch.status == CH_RELEASED ? 2 : 1;
    uint32_t ls, le, lt;
    LoopOf(ch, ls, le, lt);
    if (lt == 0) {
      if (p < (int64_t)ch.length) { ch.pos = p; ch.frac = 0; ch.status = CH_PLAYING; ch.dir = 1; }
      else ch.status = CH_ENDED;
    } else if (lt == 1) {
      ch.pos = p >= (int64_t)le ? ls : p;
      ch.frac = 0;
      ch.status = CH_PLAYING;
      ch.dir = 1;
    } else {
      if (p >= (int64_t)le) {
        // start backward on the loop's last sample (never beyond the data)
        ch.pos = (int64_t)le - 1; ch.frac = 0xFFFF; ch.dir = -1;
      } else {
        ch.pos = p; ch.frac = 0; ch.dir = 1;
      }
      ch.status = CH_PLAYING;
    }
  }
  if (g_dmix.ramping) {
    ch.curL = ch.curR = 0;
    ComputeTargets(ch);
  }
  return TE_OK;
}

int32_t dmixGetPosition(uint32_t c, uint32_t* bytes) {
  if (int32_t e = CheckChannel(c)) return e;
  *bytes = (uint32_t)(g_dmix.ch[c].pos << ShiftOf(g_dmix.ch[c].srcType));
  return TE_OK;
}
int32_t dmixGetDirection(uint32_t c, int32_t* dir) {
  if (int32_t e = CheckChannel(c)) return e;
  *dir = g_dmix.ch[c].dir;
  return TE_OK;
}

int32_t dmixAddSample(const SampleInfo* info, int32_t copy, uint32_t* handle) {
  if (!g_dmix.open) return TE_INVALID_DEVICE;
  if (!info || !handle || !ValidType(info->type)) return TE_SAMPLE_TYPE;
  LockPlayer();
  // Handle 1024 marks a stream on a channel: samples get 1..1023.
  uint32_t i = 0;
  while (i < DMIX_STREAM_HANDLE - 1 && g_dmix.samples[i].inUse) i++;
  if (i == DMIX_STREAM_HANDLE - 1) { UnlockPlayer(); return TE_OUT_OF_HANDLES; }
  const uint32_t shift = ShiftOf(info->type);
  DmixSample s{};
  s.mixType = s.srcType = info->type;
  s.length = info->length >> shift;
  s.loopMode = info->loopMode;
  s.loop1Start = info->loop1Start >> shift; s.loop1End = info->loop1End >> shift;
  s.loop1Type = info->loop1Type;
  s.loop2Start = info->loop2Start >> shift; s.loop2End = info->loop2End >> shift;
  s.loop2Type = info->loop2Type;
  // Loops stay inside the sample; an empty loop is no loop.
  auto fixLoop = [&](uint32_t& st, uint32_t& en, uint32_t& ty) {
    if (ty > 2) ty = 0;
    if (en > s.length) en = s.length;
    if (st >= en) { ty = 0; st = en = 0; }
  };
  fixLoop(s.loop1Start, s.loop1End, s.loop1Type);
  fixLoop(s.loop2Start, s.loop2End, s.loop2Type);
  s.inUse = 1;
  if (info->type == SMP_NONE || s.length == 0 || !info->data || !info->memFlag) {
    s.data = nullptr; s.length = 0; s.memFlag = 0; s.owned = 0;
    s.mixType = s.srcType = info->type;
    g_dmix.samples[i] = s;
    *handle = i + 1;
    UnlockPlayer();
    return TE_OK;
  }
  const uint32_t bytes = s.length << shift;
  const bool convert = (info->type == SMP_S16_MONO || info->type == SMP_S16_STEREO) && g_dmix.convert16 && copy;
  if (!copy) {
    s.data = static_cast<const uint8_t*>(info->data);
    s.memFlag = info->memFlag;
    s.owned = 0;
  } else {
    void* p = nullptr;
    int32_t err = MemAlloc(convert ? bytes / 2 : bytes, &p);
    if (err) { UnlockPlayer(); return err; }
    uint8_t* dst = static_cast<uint8_t*>(p);
    if (convert) {
      const uint8_t* src = static_cast<const uint8_t*>(info->data);
      for (uint32_t k = 0; k < bytes / 2; k++) {
        int16_t v;
        std::memcpy(&v, src + 2 * k, 2);
        dst[k] = MuLawEncode(v);
      }
      s.mixType = info->type == SMP_S16_MONO ? SMP_ULAW_MONO : SMP_ULAW_STEREO;
    } else {
      std::memcpy(dst, info->data, bytes);
    }
    s.data = dst;
    s.memFlag = 1;
    s.owned = 1;
  }
  g_dmix.samples[i] = s;
  *handle = i + 1;
  UnlockPlayer();
  return TE_OK;
}

int32_t dmixRemoveSample(uint32_t handle) {
  LockPlayer();
  if (int32_t e = CheckHandle(handle)) {
    UnlockPlayer();
    return e;
  }
  DmixSample& s = g_dmix.samples[handle - 1];
  // No slot (a fading shadow included) may go on reading the data, nor
  // restart it later through the handle.
  for (uint32_t i = 0; g_dmix.ch && i < g_dmix.slots; i++) {
    DmixChannel& c = g_dmix.ch[i];
    if (s.data && c.data == s.data) {
      c.status = CH_OFF;
      c.rampActive = 0;
      c.data = nullptr;
      c.memFlag = 0;
      c.length = 0;
    }
    if (c.handle == handle) {
      c.handle = 0;
      c.changed = 0;
    }
  }
  if (s.owned) MemFree(const_cast<uint8_t*>(s.data));
  s = DmixSample{};
  UnlockPlayer();
  return TE_OK;
}

int32_t dmixStartStream(uint32_t c, const uint8_t* buffer, uint32_t bytes, uint32_t type, uint32_t rate) {
  if (int32_t e = CheckChannel(c)) return e;
  if (!ValidType(type) || type == SMP_NONE) return TE_SAMPLE_TYPE;
  DmixChannel& ch = g_dmix.ch[c];
  const uint32_t shift = ShiftOf(type);
  ch.data = buffer;
  ch.mixType = ch.srcType = type;
  ch.length = ch.loop1End = bytes >> shift;
  ch.loop1Start = 0; ch.loop1Type = LOOP_FORWARD; ch.loopMode = 1;
  ch.loop2Start = ch.loop2End = 0;
  ch.loop2Type = LOOP_NONE;
  ch.memFlag = 1; ch.pos = 0; ch.frac = 0; ch.rate = rate; ch.dir = 1;
  ch.handle = DMIX_STREAM_HANDLE; ch.changed = 0; ch.panning = 0; ch.volume = 64; ch.muted = 0;
  ch.loopInUse = 1; ch.status = CH_PLAYING; ch.writePos = 0;
  ComputeTargets(ch);
  return TE_OK;
}
int32_t dmixStopStream(uint32_t c) {
  if (int32_t e = CheckChannel(c)) return e;
  g_dmix.ch[c].status = CH_OFF;
  return TE_OK;
}
int32_t dmixSetLoopCallback(uint32_t c, void (*callback)(uint32_t)) {
  if (int32_t e = CheckChannel(c)) return e;
  g_dmix.ch[c].callback = callback;
  return TE_OK;
}
int32_t dmixSetStreamWritePosition(uint32_t c, uint32_t bytes) {
  if (int32_t e = CheckChannel(c)) return e;
  g_dmix.ch[c].writePos = bytes >> ShiftOf(g_dmix.ch[c].mixType);
  return TE_OK;
}
int32_t dmixPauseStream(uint32_t c, int32_t flag) {
  if (int32_t e = CheckChannel(c)) return e;
  g_dmix.ch[c].status = flag ? CH_OFF : CH_PLAYING;
  return TE_OK;
}
