// Internals shared by the parts of the module player: error codes, the sound
// device record, options, the player lock, memory and file layers.
#pragma once
#include <atomic>
#include <cstdint>

#include "platform/threads.h"
#include "tune.h"

enum : int32_t {
  TE_OK = 0, TE_UNDEFINED = 1, TE_OUT_OF_MEMORY = 2, TE_HEAP_CORRUPT = 3, TE_INVALID_BLOCK = 4,
  TE_OUT_OF_HANDLES = 12, TE_OPEN = 13, TE_READ = 14, TE_INVALID_MODULE = 15,
  TE_INVALID_INSTRUMENT = 16, TE_INVALID_PATTERN = 17, TE_INVALID_CHANNEL = 18,
  TE_INVALID_SAMPLE = 19, TE_CHANNELS_NOT_OPEN = 20, TE_HARDWARE = 21, TE_INVALID_ARGS = 22,
  TE_FILE_NOT_FOUND = 23, TE_INVALID_FILE_HANDLE = 24, TE_ACCESS_DENIED = 25, TE_FILE_EXISTS = 26,
  TE_TOO_MANY_FILES = 27, TE_DISK_FULL = 28, TE_EOF = 29, TE_INVALID_PATH = 30, TE_WRITE = 31,
  TE_RESOURCES = 37, TE_INVALID_DEVICE = 38, TE_UNSUPPORTED = 39, TE_NOT_AVAILABLE = 40,
  TE_BUSY = 41, TE_BAD_MODE = 42, TE_LOCK_MEMORY = 43, TE_NO_WINDOW = 44,
  TE_SAMPLE_TYPE = 46, TE_NOT_PLAYING = 47, TE_OUT_OF_CHANNELS = 48, TE_NO_DSOUND = 49,
  TE_COUNT = 52
};

// Device mode bits.
enum : uint32_t { DM_MONO = 1, DM_STEREO = 2, DM_8BIT = 4, DM_16BIT = 8 };

// One output device: configuration words, then its operations (slot order).
// Every operation returns an error code; results go through pointers.
struct SoundDevice {
  uint32_t tempoPoll;  // non-zero: at most one player call per poll
  uint32_t configBits;
  int32_t port, irq, dma, cardType;
  uint32_t cardTypes;
  uint32_t modes;  // supported device mode bits
  const char* id;
  const char* cardName;
  uint32_t portCount;
  const uint32_t* ports;

  int32_t (*Detect)(int32_t* found);
  int32_t (*Init)(uint32_t rate, uint32_t mode);
  int32_t (*Close)();
  int32_t (*Suspend)();
  int32_t (*Resume)();
  int32_t (*GetMixRate)(uint32_t* rate);
  int32_t (*GetMode)(uint32_t* mode);
  int32_t (*OpenChannels)(uint32_t count);
  int32_t (*CloseChannels)();
  int32_t (*ClearChannels)();
  int32_t (*Mute)(int32_t flag);
  int32_t (*Pause)(int32_t flag);
  int32_t (*SetMasterVolume)(uint32_t volume);
  int32_t (*GetMasterVolume)(uint32_t* volume);
  int32_t (*SetAmplification)(uint32_t amp);
  int32_t (*GetAmplification)(uint32_t* amp);
  int32_t (*PlaySound)(uint32_t channel, uint32_t rate);
  int32_t (*ReleaseSound)(uint32_t channel);
  int32_t (*StopSound)(uint32_t channel);
  int32_t (*SetRate)(uint32_t channel, uint32_t rate);
  int32_t (*GetRate)(uint32_t channel, uint32_t* rate);
  int32_t (*SetVolume)(uint32_t channel, uint32_t volume);
  int32_t (*GetVolume)(uint32_t channel, uint32_t* volume);
  int32_t (*SetSample)(uint32_t channel, uint32_t handle);
  int32_t (*GetSample)(uint32_t channel, uint32_t* handle);
  int32_t (*SetPosition)(uint32_t channel, uint32_t bytes);
  int32_t (*GetPosition)(uint32_t channel, uint32_t* bytes);
  int32_t (*GetDirection)(uint32_t channel, int32_t* dir);
  int32_t (*SetPanning)(uint32_t channel, int32_t panning);
  int32_t (*GetPanning)(uint32_t channel, int32_t* panning);
  int32_t (*MuteChannel)(uint32_t channel, int32_t flag);
  int32_t (*AddSample)(const struct SampleInfo* info, int32_t copy, uint32_t* handle);
  int32_t (*RemoveSample)(uint32_t handle);
  int32_t (*SetUpdateRate)(uint32_t callsPer100s);
  int32_t (*StartPlay)();
  int32_t (*Play)(int32_t* call);
  int32_t (*StartStream)(uint32_t channel, const uint8_t* buffer, uint32_t bytes, uint32_t type,
                         uint32_t rate);
  int32_t (*StopStream)(uint32_t channel);
  int32_t (*SetLoopCallback)(uint32_t channel, void (*callback)(uint32_t channel));
  int32_t (*SetStreamWritePosition)(uint32_t channel, uint32_t bytes);
  int32_t (*PauseStream)(uint32_t channel, int32_t flag);
};

// The three devices in detection order (0 ring buffer, 1 block ring, 2 silent).
extern SoundDevice DSoundDevice;
extern SoundDevice WaveDevice;
extern SoundDevice NoSoundDevice;
SoundDevice* TuneDeviceTable(uint32_t index);  // null past the end

// Output samples per player tick for a device rate and an update rate (even).
uint32_t SamplesPerTick(uint32_t rate, uint32_t callsPer100s);

// Options as set through TUNEsetOption (index 1..13).
intptr_t TuneOption(uint32_t option);
// The device TUNEinit chose (null before).
SoundDevice* TuneCurrentDevice();

// Player lock: recursive; a no-op before TUNEinit created it.
void InitPlayerLock();
void FreePlayerLock();
void LockPlayer();
void UnlockPlayer();
int32_t PlayerLockExists();

// Play thread.
int32_t StartPlayThread(uint32_t delayMs);
void StopPlayThread();
int32_t PlayThreadRunning();
uint32_t PlayThreadDelay();
void PollPlayer();
// Play-thread error: shut the player down, hand "TUNE Error: <text>" to the handler.
void ReportPlayerError(int32_t code);
void TuneFatal(const char* text);

// Milliseconds of a monotonic clock; tests may replace it (null restores).
uint32_t TuneMilliseconds();
void TuneSetClock(uint32_t (*clock)());

// Memory with the player's error codes.
int32_t MemAlloc(uint32_t size, void** block);
int32_t MemFree(void* block);

// Files with the player's error codes. Modes 1 read, 2 write, 3 read+write;
// seek modes 1 start, 2 current, 3 end.
struct TuneFile;
int32_t FileOpen(const char* name, uint32_t mode, TuneFile** file);
int32_t FileClose(TuneFile* file);
int32_t FileRead(TuneFile* file, void* buffer, uint32_t count);
int32_t FileSeek(TuneFile* file, int32_t offset, uint32_t mode);
int32_t FileGetPosition(TuneFile* file, uint32_t* position);
// Whole file into a MemAlloc block.
int32_t FileLoad(const char* name, uint8_t** data, uint32_t* size);

// Channel table of the interface (exposed for tests).
int32_t TuneOpenPlayChannels(uint32_t count);
// The player's song of a play handle 1..16 (null when none).
struct PlayHandle* TunePlayHandle(int32_t handle);

// ---- The module player's state record ---------------------------------------

struct ModulePlayRecord;
struct PlayHandle;
struct PcmSink;

// TUNE's interface (tune.cpp): the options, the chosen device, the channel
// table and the songs of the play handles 1..16.
struct TuneInterfaceState {
  intptr_t options[TUNE_OPT_NOSOUND + 1];
  int32_t deviceNumber;
  int32_t config[4];
  SoundDevice* device;
  int32_t deviceInit, playerInit, streamsInit, samplesInit, channelsOpen, openedByPlay, playing;
  int32_t background;
  uint32_t* channelTable;
  uint32_t channelCount;
  ModulePlayRecord* slots[16];
  uint32_t amplification;
  uint32_t lastError;
};

// The generic player (genplayer.cpp): its device and song slots.
struct GenericPlayerState {
  SoundDevice* dev;
  int32_t init;
  int32_t setup;
  PlayHandle* slots[16];
  void (*tempoHook)(uint32_t bpm);  // called after every tempo change
};

// Pitch and waveform tables, computed once by the first player set-up.
struct PlayerTables {
  uint32_t linear[768];
  int8_t sine[256];
  uint16_t xmAmiga[8 + 97];  // 8 lead-in entries, 96 entries, one after
  bool built;
};

// The play thread (mpoll.cpp).
struct PlayThreadState {
  QoeMutex* playerLock = nullptr;  // the player lock itself (recursive)
  QoeThread* thread = nullptr;
  ThreadFlags flags;
  std::atomic<uint32_t> delayMs{20};
  std::atomic<uint32_t (*)()> clock{nullptr};  // tests' clock, null: the real one
};

// Everything TUNE keeps between calls.
struct TunePlayerState {
  // The interface and the generic player: under the player lock (the game
  // thread's calls and the play thread's polls); TUNEstartup, TUNEinit and
  // TUNEclose run on the game thread before or after the play thread.
  TuneInterfaceState api{};
  GenericPlayerState player{};
  void (*errorHandler)(const char*) = nullptr;  // set on the game thread before play
  // Built once under the player lock, read-only afterwards.
  PlayerTables tables{};
  // The play thread's handle and flags: the game thread (start and stop);
  // its delay and the clock hook: atomics, read by the play thread.
  PlayThreadState poll;
  // The output sink the devices write into (null: SDL2): set on the game
  // thread while no device is open.
  PcmSink* sink = nullptr;
};
TunePlayerState& TunePlayer();
