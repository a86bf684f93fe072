// SDL2 audio output of the platform layer: one output stream, either fed as
// a queue of blocks or played from a looping ring the caller writes into.
// Samples are interleaved, 8-bit unsigned or 16-bit signed in host order.
#pragma once
#include <cstdint>

// 1 when the SDL audio subsystem starts and an output can be opened.
int AudioSdlAvailable();
// Opens the output. ringBytes 0: queue mode; else a ring of that size, played
// looping from offset 0 (silence at first). 1 on success.
int AudioSdlOpen(uint32_t rate, int channels, int bits, uint32_t ringBytes);
void AudioSdlClose();
// Queue mode.
int AudioSdlQueue(const void* data, uint32_t bytes);  // 1 on success
uint64_t AudioSdlPlayed();                             // bytes played of all queued
void AudioSdlClearQueue();
// Ring mode: the ring is locked against the audio callback between Lock and Unlock.
uint8_t* AudioSdlLockRing();
void AudioSdlUnlockRing();
uint32_t AudioSdlRingCursor();

// ---- Mixed output: sound buffers and the music stream -----------------------
// The program's one output stream: 16-bit stereo at one rate. Sound buffers
// (mono 16-bit samples, each at its own rate, played once or looped) and the
// music stream (a looping ring the module player writes) are mixed into it at
// unit gain; where their sum would pass 32000 a limiter turns the mix down
// (at once, back to unit gain over 0.2 s), so the output never clips. The stream and the buffers are guarded by the
// mixer's own locks; any thread may call.

// device 1: the SDL audio device plays the mix; 0 when SDL offers no real
// output (no device, or the "dummy" or "disk" driver). device 0: no device,
// the caller pulls the mix with AudioMixRender (tests, benchmarks). 1 on success.
int AudioMixOpen(uint32_t rate, int device);
// Stops the output; buffers stay valid (release them yourself).
void AudioMixClose();
int AudioMixIsOpen();
uint32_t AudioMixRate();
// Mixes the next frames (interleaved stereo) into out and moves every
// playing buffer and the music cursor on by that much time.
void AudioMixRender(int16_t* out, uint32_t frames);

struct AudioBuffer;
enum : uint32_t { kAudioBufferMaxBytes = 0x1000000, kAudioRateMin = 100, kAudioRateMax = 200000 };
// A silent buffer of bytes / 2 samples at rate Hz; null when the mixer is not
// open, bytes < 2 or > kAudioBufferMaxBytes, the rate is out of range, or
// memory runs out.
AudioBuffer* AudioBufferCreate(uint32_t rate, uint32_t bytes);
// The samples for filling (write only while the buffer is not playing).
int16_t* AudioBufferData(AudioBuffer* b, uint32_t* bytes);
// Starts playing from the current position (once, or looping); a playing
// buffer only changes its loop flag. A one-shot that reached its end is back
// at position 0. 1 on success.
int AudioBufferPlay(AudioBuffer* b, int loop);
int AudioBufferStop(AudioBuffer* b);  // keeps the position; 1 on success
int AudioBufferSetRate(AudioBuffer* b, uint32_t rate);  // 0 out of range
int AudioBufferPlaying(AudioBuffer* b);                 // 1 playing, 0 not
void AudioBufferRelease(AudioBuffer* b);                // null is ignored
// Number of buffers not yet released (tests check for leaks).
int AudioBufferCount();

// Music stream: a ring of ringBytes the module player writes into, played
// looping from offset 0 (silent at first). 8-bit unsigned or 16-bit signed,
// mono or stereo, any rate (converted to the output's). 1 on success.
int AudioMixMusicOpen(uint32_t rate, int channels, int bits, uint32_t ringBytes);
void AudioMixMusicClose();
// Ring access for writing; null when no music stream is open.
uint8_t* AudioMixMusicLock();
void AudioMixMusicUnlock();
uint32_t AudioMixMusicCursor();  // byte offset the mix reads next
