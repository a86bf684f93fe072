#include "audio_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "log.h"

namespace {

// The raw output device's state record (the module player's sink): its
// fields under `lock` against other callers; the ring cursor is moved by
// SDL's callback thread under SDL's device lock.
struct SdlRawOutputState {
  std::mutex lock;
  SDL_AudioDeviceID dev = 0;
  int subsystem = 0;  // SDL's audio subsystem started (shared with the mix)
  uint64_t queued = 0;
  uint8_t* ring = nullptr;
  uint32_t ringBytes = 0;
  uint32_t cursor = 0;  // read by the callback under the device lock
  uint8_t silence = 0;
};
SdlRawOutputState g_raw;

void RingCallback(void*, Uint8* stream, int len) {
  for (int i = 0; i < len;) {
    uint32_t n = g_raw.ringBytes - g_raw.cursor;
    if (n > (uint32_t)(len - i)) n = (uint32_t)(len - i);
    std::memcpy(stream + i, g_raw.ring + g_raw.cursor, n);
    i += (int)n;
    g_raw.cursor = (g_raw.cursor + n) % g_raw.ringBytes;
  }
}

int StartSubsystem() {
  if (g_raw.subsystem) return 1;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    DebugLog("AudioSdl: %s\n", SDL_GetError());
    return 0;
  }
  g_raw.subsystem = 1;
  return 1;
}

}  // namespace

int AudioSdlAvailable() {
  std::lock_guard<std::mutex> l(g_raw.lock);
  return StartSubsystem();
}

int AudioSdlOpen(uint32_t rate, int channels, int bits, uint32_t ringBytes) {
  std::lock_guard<std::mutex> l(g_raw.lock);
  if (g_raw.dev || AudioMixIsOpen() || !StartSubsystem()) return 0;
  SDL_AudioSpec want{}, have{};
  want.freq = (int)rate;
  want.format = bits == 8 ? AUDIO_U8 : AUDIO_S16SYS;
  want.channels = (Uint8)channels;
  want.samples = 1024;
  g_raw.silence = bits == 8 ? 0x80 : 0;
  if (ringBytes) {
    g_raw.ring = static_cast<uint8_t*>(SDL_malloc(ringBytes));
    if (!g_raw.ring) return 0;
    std::memset(g_raw.ring, g_raw.silence, ringBytes);
    g_raw.ringBytes = ringBytes;
    g_raw.cursor = 0;
    want.callback = RingCallback;
  }
  g_raw.dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!g_raw.dev) {
    DebugLog("AudioSdl: %s\n", SDL_GetError());
    SDL_free(g_raw.ring);
    g_raw.ring = nullptr;
    g_raw.ringBytes = 0;
    return 0;
  }
  g_raw.queued = 0;
  SDL_PauseAudioDevice(g_raw.dev, 0);
  return 1;
}

void AudioSdlClose() {
  std::lock_guard<std::mutex> l(g_raw.lock);
  if (g_raw.dev) SDL_CloseAudioDevice(g_raw.dev);
  g_raw.dev = 0;
  SDL_free(g_raw.ring);
  g_raw.ring = nullptr;
  g_raw.ringBytes = 0;
  g_raw.queued = 0;
}

int AudioSdlQueue(const void* data, uint32_t bytes) {
  std::lock_guard<std::mutex> l(g_raw.lock);
  if (!g_raw.dev || g_raw.ring) return 0;
  if (SDL_QueueAudio(g_raw.dev, data, bytes) != 0) return 0;
  g_raw.queued += bytes;
  return 1;
}

uint64_t AudioSdlPlayed() {
  std::lock_guard<std::mutex> l(g_raw.lock);
  if (!g_raw.dev) return g_raw.queued;
  uint64_t pending = SDL_GetQueuedAudioSize(g_raw.dev);
  return pending > g_raw.queued ? 0 : g_raw.queued - pending;
}

void AudioSdlClearQueue() {
  std::lock_guard<std::mutex> l(g_raw.lock);
  if (g_raw.dev && !g_raw.ring) SDL_ClearQueuedAudio(g_raw.dev);
}

uint8_t* AudioSdlLockRing() {
  g_raw.lock.lock();
  if (!g_raw.dev || !g_raw.ring) {
    g_raw.lock.unlock();
    return nullptr;
  }
  SDL_LockAudioDevice(g_raw.dev);
  return g_raw.ring;
}

void AudioSdlUnlockRing() {
  SDL_UnlockAudioDevice(g_raw.dev);
  g_raw.lock.unlock();
}

uint32_t AudioSdlRingCursor() {
  std::lock_guard<std::mutex> l(g_raw.lock);
  if (!g_raw.dev || !g_raw.ring) return 0;
  SDL_LockAudioDevice(g_raw.dev);
  uint32_t c = g_raw.cursor;
  SDL_UnlockAudioDevice(g_raw.dev);
  return c;
}

// ---- Mixed output -----------------------------------------------------------

struct AudioBuffer {
  int16_t* data;
  uint32_t frames;
  uint32_t bytes;
  uint32_t rate;
  uint64_t pos;  // 32.32 fixed point, in frames
  int playing;
  int loop;
};

namespace {

// The mixer's state. `lock` guards the open state, the rate and every
// buffer's play fields (the game thread and the render both take it);
// `musicLock` guards the music ring (the module player's thread between
// Lock and Unlock, the render while it reads). Lock order: lock, then
// musicLock; g_raw.lock (the SDL device) is taken before either.
struct AudioMixState {
  std::mutex lock;
  int open = 0;
  int device = 0;  // 1 while the SDL device plays the mix
  uint32_t rate = 0;
  std::vector<AudioBuffer*> buffers;  // created and not yet released

  std::mutex musicLock;
  uint8_t* ring = nullptr;
  uint32_t ringBytes = 0, cursor = 0;
  uint32_t musicRate = 0, musicChannels = 0, musicBits = 0, musicBpf = 0;
  uint64_t musicFrac = 0;  // rate conversion remainder (output-rate units)

  uint32_t gain = 1u << 16;  // the limiter's gain, 16.16 (under `lock`)
};

AudioMixState g_mix;

enum : uint32_t { kChunk = 512 };
// The limiter: a chunk whose sum of effects and music would pass the ceiling
// is turned down from its first frame so that its peak lands on it, and the
// gain comes back to unit gain over a fifth of a second. Below the ceiling
// everything mixes at unit gain; nothing reaches full scale.
constexpr int32_t kMixCeiling = 32000;

void MixCallback(void*, Uint8* stream, int len) {
  AudioMixRender(reinterpret_cast<int16_t*>(stream), static_cast<uint32_t>(len) / 4);
}

// Adds n frames of one buffer into acc (mono), linear interpolation between
// neighbouring samples; a one-shot that ends stops and rewinds.
void MixBuffer(AudioBuffer* b, int32_t* acc, uint32_t n, uint32_t outRate) {
  const uint64_t step = (static_cast<uint64_t>(b->rate) << 32) / outRate;
  const uint64_t endPos = static_cast<uint64_t>(b->frames) << 32;
  const uint64_t safeEnd = static_cast<uint64_t>(b->frames - 1) << 32;
  const int16_t* s = b->data;
  uint64_t pos = b->pos;
  uint32_t i = 0;
  while (i < n) {
    if (pos >= endPos) {
      if (!b->loop) {
        b->playing = 0;
        b->pos = 0;
        return;
      }
      pos %= endPos;
    }
    if (pos < safeEnd) {
      // Frames whose next sample is still inside the buffer.
      uint64_t k = (safeEnd - pos + step - 1) / step;
      if (k > n - i) k = n - i;
      int32_t* a = acc + i;
      if (step == (1ull << 32) && (pos & 0xFFFFFFFFu) == 0) {
        const int16_t* p = s + (pos >> 32);
        for (uint64_t j = 0; j < k; j++) a[j] += p[j];
        pos += k << 32;
      } else {
        for (uint64_t j = 0; j < k; j++) {
          uint32_t idx = static_cast<uint32_t>(pos >> 32);
          int32_t x = s[idx], y = s[idx + 1];
          int32_t frac = static_cast<int32_t>((pos >> 17) & 0x7FFF);
          a[j] += x + (((y - x) * frac) >> 15);
          pos += step;
        }
      }
      i += static_cast<uint32_t>(k);
      continue;
    }
    // The last sample: towards the loop's start, or held.
    int32_t x = s[b->frames - 1];
    int32_t y = b->loop ? s[0] : x;
    int32_t frac = static_cast<int32_t>((pos >> 17) & 0x7FFF);
    acc[i++] += x + (((y - x) * frac) >> 15);
    pos += step;
  }
  if (pos >= endPos && !b->loop) {
    b->playing = 0;
    pos = 0;
  }
  b->pos = pos;
}

inline int32_t MusicSample(const uint8_t* p, uint32_t bits) {
  if (bits == 8) return (static_cast<int32_t>(p[0]) - 128) << 8;
  int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// Adds n frames of the music ring into acc (stereo) and moves the cursor.
void MixMusic(int32_t* acc, uint32_t n, uint32_t outRate) {
  AudioMixState& m = g_mix;
  if (m.musicBits == 16 && m.musicChannels == 2 && m.musicRate == outRate) {
    for (uint32_t i = 0; i < n; i++) {
      int16_t v[2];
      std::memcpy(v, m.ring + m.cursor, 4);
      acc[2 * i] += v[0];
      acc[2 * i + 1] += v[1];
      m.cursor += 4;
      if (m.cursor >= m.ringBytes) m.cursor = 0;
    }
    return;
  }
  const uint32_t half = m.musicBits / 8;
  for (uint32_t i = 0; i < n; i++) {
    const uint8_t* f = m.ring + m.cursor;
    int32_t l = MusicSample(f, m.musicBits);
    int32_t r = m.musicChannels == 2 ? MusicSample(f + half, m.musicBits) : l;
    acc[2 * i] += l;
    acc[2 * i + 1] += r;
    m.musicFrac += m.musicRate;
    while (m.musicFrac >= outRate) {
      m.musicFrac -= outRate;
      m.cursor += m.musicBpf;
      if (m.cursor + m.musicBpf > m.ringBytes) m.cursor = 0;
    }
  }
}

inline int16_t Clip(int32_t v) { return static_cast<int16_t>(v > 32767 ? 32767 : v < -32768 ? -32768 : v); }

void FreeRing() {
  std::free(g_mix.ring);
  g_mix.ring = nullptr;
  g_mix.ringBytes = 0;
  g_mix.cursor = 0;
}

}  // namespace

int AudioMixOpen(uint32_t rate, int device) {
  if (rate < kAudioRateMin || rate > kAudioRateMax) return 0;
  std::lock_guard<std::mutex> l(g_raw.lock);
  {
    std::lock_guard<std::mutex> m(g_mix.lock);
    if (g_mix.open) return 0;
  }
  if (device) {
    if (g_raw.dev || !StartSubsystem()) return 0;
    const char* driver = SDL_GetCurrentAudioDriver();
    if (!driver || !std::strcmp(driver, "dummy") || !std::strcmp(driver, "disk")) {
      DebugLog("AudioMix: Keine Tonausgabe (Treiber %s)\n", driver ? driver : "keiner");
      return 0;
    }
    SDL_AudioSpec want{}, have{};
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = MixCallback;
    {
      std::lock_guard<std::mutex> m(g_mix.lock);
      g_mix.rate = rate;
      g_mix.open = 1;
      g_mix.device = 1;
      g_mix.gain = 1u << 16;
    }
    g_raw.dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!g_raw.dev) {
      DebugLog("AudioMix: %s\n", SDL_GetError());
      std::lock_guard<std::mutex> m(g_mix.lock);
      g_mix.open = 0;
      g_mix.device = 0;
      return 0;
    }
    SDL_PauseAudioDevice(g_raw.dev, 0);
    return 1;
  }
  std::lock_guard<std::mutex> m(g_mix.lock);
  g_mix.rate = rate;
  g_mix.open = 1;
  g_mix.device = 0;
  g_mix.gain = 1u << 16;
  return 1;
}

void AudioMixClose() {
  std::lock_guard<std::mutex> l(g_raw.lock);
  int device;
  {
    std::lock_guard<std::mutex> m(g_mix.lock);
    device = g_mix.device;
  }
  if (device && g_raw.dev) {
    SDL_CloseAudioDevice(g_raw.dev);  // waits for a running callback
    g_raw.dev = 0;
  }
  std::lock_guard<std::mutex> m(g_mix.lock);
  g_mix.open = 0;
  g_mix.device = 0;
  for (AudioBuffer* b : g_mix.buffers) b->playing = 0;
}

int AudioMixIsOpen() {
  std::lock_guard<std::mutex> m(g_mix.lock);
  return g_mix.open;
}

uint32_t AudioMixRate() {
  std::lock_guard<std::mutex> m(g_mix.lock);
  return g_mix.open ? g_mix.rate : 0;
}

void AudioMixRender(int16_t* out, uint32_t frames) {
  int32_t fx[kChunk];
  int32_t mus[2 * kChunk];
  std::lock_guard<std::mutex> l(g_mix.lock);
  const uint32_t rate = g_mix.rate ? g_mix.rate : 44100;
  while (frames > 0) {
    uint32_t n = frames < kChunk ? frames : kChunk;
    std::memset(fx, 0, n * sizeof fx[0]);
    std::memset(mus, 0, 2 * n * sizeof mus[0]);
    for (AudioBuffer* b : g_mix.buffers)
      if (b->playing) MixBuffer(b, fx, n, rate);
    {
      std::lock_guard<std::mutex> ml(g_mix.musicLock);
      if (g_mix.ring) MixMusic(mus, n, rate);
    }
    int32_t peak = 0;
    for (uint32_t i = 0; i < n; i++) {
      mus[2 * i] += fx[i];
      mus[2 * i + 1] += fx[i];
      peak = std::max({peak, std::abs(mus[2 * i]), std::abs(mus[2 * i + 1])});
    }
    const uint32_t limit =
        peak > kMixCeiling ? static_cast<uint32_t>((static_cast<int64_t>(kMixCeiling) << 16) / peak) : 1u << 16;
    if (g_mix.gain > limit) g_mix.gain = limit;
    const uint32_t release = std::max<uint32_t>(1, (1u << 16) / std::max<uint32_t>(1, rate / 5));
    uint32_t g = g_mix.gain;
    for (uint32_t i = 0; i < n; i++) {
      out[2 * i] = Clip(static_cast<int32_t>((static_cast<int64_t>(mus[2 * i]) * g) >> 16));
      out[2 * i + 1] = Clip(static_cast<int32_t>((static_cast<int64_t>(mus[2 * i + 1]) * g) >> 16));
      g = std::min(limit, g + release);
    }
    g_mix.gain = g;
    out += 2 * n;
    frames -= n;
  }
}

AudioBuffer* AudioBufferCreate(uint32_t rate, uint32_t bytes) {
  if (bytes < 2 || bytes > kAudioBufferMaxBytes || rate < kAudioRateMin || rate > kAudioRateMax) return nullptr;
  std::lock_guard<std::mutex> l(g_mix.lock);
  if (!g_mix.open) return nullptr;
  auto* b = static_cast<AudioBuffer*>(std::calloc(1, sizeof(AudioBuffer)));
  if (!b) return nullptr;
  b->frames = bytes / 2;
  b->bytes = bytes;
  b->rate = rate;
  b->data = static_cast<int16_t*>(std::calloc(b->frames, 2));
  if (!b->data) {
    std::free(b);
    return nullptr;
  }
  g_mix.buffers.push_back(b);
  return b;
}

int16_t* AudioBufferData(AudioBuffer* b, uint32_t* bytes) {
  if (!b) return nullptr;
  if (bytes) *bytes = b->bytes;
  return b->data;
}

int AudioBufferPlay(AudioBuffer* b, int loop) {
  if (!b) return 0;
  std::lock_guard<std::mutex> l(g_mix.lock);
  if (!g_mix.open) return 0;
  b->loop = loop ? 1 : 0;
  b->playing = 1;
  return 1;
}

int AudioBufferStop(AudioBuffer* b) {
  if (!b) return 0;
  std::lock_guard<std::mutex> l(g_mix.lock);
  b->playing = 0;
  return 1;
}

int AudioBufferSetRate(AudioBuffer* b, uint32_t rate) {
  if (!b || rate < kAudioRateMin || rate > kAudioRateMax) return 0;
  std::lock_guard<std::mutex> l(g_mix.lock);
  b->rate = rate;
  return 1;
}

int AudioBufferPlaying(AudioBuffer* b) {
  if (!b) return 0;
  std::lock_guard<std::mutex> l(g_mix.lock);
  return b->playing;
}

void AudioBufferRelease(AudioBuffer* b) {
  if (!b) return;
  {
    std::lock_guard<std::mutex> l(g_mix.lock);
    auto it = std::find(g_mix.buffers.begin(), g_mix.buffers.end(), b);
    if (it != g_mix.buffers.end()) g_mix.buffers.erase(it);
  }
  std::free(b->data);
  std::free(b);
}

int AudioBufferCount() {
  std::lock_guard<std::mutex> l(g_mix.lock);
  return static_cast<int>(g_mix.buffers.size());
}

int AudioMixMusicOpen(uint32_t rate, int channels, int bits, uint32_t ringBytes) {
  if (rate < kAudioRateMin || rate > kAudioRateMax || (channels != 1 && channels != 2) || (bits != 8 && bits != 16))
    return 0;
  const uint32_t bpf = static_cast<uint32_t>(channels * bits / 8);
  if (ringBytes < bpf || ringBytes % bpf) return 0;
  std::lock_guard<std::mutex> l(g_mix.lock);
  if (!g_mix.open) return 0;
  std::lock_guard<std::mutex> ml(g_mix.musicLock);
  if (g_mix.ring) return 0;
  g_mix.ring = static_cast<uint8_t*>(std::malloc(ringBytes));
  if (!g_mix.ring) return 0;
  std::memset(g_mix.ring, bits == 8 ? 0x80 : 0, ringBytes);
  g_mix.ringBytes = ringBytes;
  g_mix.cursor = 0;
  g_mix.musicRate = rate;
  g_mix.musicChannels = static_cast<uint32_t>(channels);
  g_mix.musicBits = static_cast<uint32_t>(bits);
  g_mix.musicBpf = bpf;
  g_mix.musicFrac = 0;
  return 1;
}

void AudioMixMusicClose() {
  std::lock_guard<std::mutex> ml(g_mix.musicLock);
  FreeRing();
}

uint8_t* AudioMixMusicLock() {
  g_mix.musicLock.lock();
  if (!g_mix.ring) {
    g_mix.musicLock.unlock();
    return nullptr;
  }
  return g_mix.ring;
}

void AudioMixMusicUnlock() { g_mix.musicLock.unlock(); }

uint32_t AudioMixMusicCursor() {
  std::lock_guard<std::mutex> ml(g_mix.musicLock);
  return g_mix.cursor;
}
