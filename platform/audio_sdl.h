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
