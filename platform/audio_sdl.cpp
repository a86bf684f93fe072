#include "audio_sdl.h"

#include <SDL.h>

#include <cstring>
#include <mutex>

#include "log.h"

namespace {

std::mutex g_lock;  // guards the fields below against other callers
SDL_AudioDeviceID g_dev = 0;
int g_subsystem = 0;
uint64_t g_queued = 0;
uint8_t* g_ring = nullptr;
uint32_t g_ringBytes = 0;
uint32_t g_cursor = 0;  // read by the callback under the device lock
uint8_t g_silence = 0;

void RingCallback(void*, Uint8* stream, int len) {
  for (int i = 0; i < len;) {
    uint32_t n = g_ringBytes - g_cursor;
    if (n > (uint32_t)(len - i)) n = (uint32_t)(len - i);
    std::memcpy(stream + i, g_ring + g_cursor, n);
    i += (int)n;
    g_cursor = (g_cursor + n) % g_ringBytes;
  }
}

int StartSubsystem() {
  if (g_subsystem) return 1;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    DebugLog("AudioSdl: %s\n", SDL_GetError());
    return 0;
  }
  g_subsystem = 1;
  return 1;
}

}  // namespace

int AudioSdlAvailable() {
  std::lock_guard<std::mutex> l(g_lock);
  return StartSubsystem();
}

int AudioSdlOpen(uint32_t rate, int channels, int bits, uint32_t ringBytes) {
  std::lock_guard<std::mutex> l(g_lock);
  if (g_dev || !StartSubsystem()) return 0;
  SDL_AudioSpec want{}, have{};
  want.freq = (int)rate;
  want.format = bits == 8 ? AUDIO_U8 : AUDIO_S16SYS;
  want.channels = (Uint8)channels;
  want.samples = 1024;
  g_silence = bits == 8 ? 0x80 : 0;
  if (ringBytes) {
    g_ring = static_cast<uint8_t*>(SDL_malloc(ringBytes));
    if (!g_ring) return 0;
    std::memset(g_ring, g_silence, ringBytes);
    g_ringBytes = ringBytes;
    g_cursor = 0;
    want.callback = RingCallback;
  }
  g_dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!g_dev) {
    DebugLog("AudioSdl: %s\n", SDL_GetError());
    SDL_free(g_ring);
    g_ring = nullptr;
    g_ringBytes = 0;
    return 0;
  }
  g_queued = 0;
  SDL_PauseAudioDevice(g_dev, 0);
  return 1;
}

void AudioSdlClose() {
  std::lock_guard<std::mutex> l(g_lock);
  if (g_dev) SDL_CloseAudioDevice(g_dev);
  g_dev = 0;
  SDL_free(g_ring);
  g_ring = nullptr;
  g_ringBytes = 0;
  g_queued = 0;
}

int AudioSdlQueue(const void* data, uint32_t bytes) {
  std::lock_guard<std::mutex> l(g_lock);
  if (!g_dev || g_ring) return 0;
  if (SDL_QueueAudio(g_dev, data, bytes) != 0) return 0;
  g_queued += bytes;
  return 1;
}

uint64_t AudioSdlPlayed() {
  std::lock_guard<std::mutex> l(g_lock);
  if (!g_dev) return g_queued;
  uint64_t pending = SDL_GetQueuedAudioSize(g_dev);
  return pending > g_queued ? 0 : g_queued - pending;
}

void AudioSdlClearQueue() {
  std::lock_guard<std::mutex> l(g_lock);
  if (g_dev && !g_ring) SDL_ClearQueuedAudio(g_dev);
}

uint8_t* AudioSdlLockRing() {
  g_lock.lock();
  if (!g_dev || !g_ring) {
    g_lock.unlock();
    return nullptr;
  }
  SDL_LockAudioDevice(g_dev);
  return g_ring;
}

void AudioSdlUnlockRing() {
  SDL_UnlockAudioDevice(g_dev);
  g_lock.unlock();
}

uint32_t AudioSdlRingCursor() {
  std::lock_guard<std::mutex> l(g_lock);
  if (!g_dev || !g_ring) return 0;
  SDL_LockAudioDevice(g_dev);
  uint32_t c = g_cursor;
  SDL_UnlockAudioDevice(g_dev);
  return c;
}
