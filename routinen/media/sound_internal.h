// Internals of the sound module: its one state record and the test hooks.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/threads.h"

struct AudioBuffer;
struct ModuleRecord;
struct PcmSink;

enum : uint32_t { SFX_SLOTS = 38, MUSIC_TABLE_SIZE = 10, MUSIC_NAME_SIZE = 80 };

// The loaded sound effects, one column per slot; game thread only.
struct SfxSlots {
  AudioBuffer* Buffer[SFX_SLOTS];  // the effect's sound buffer
  uint32_t Id[SFX_SLOTS];          // sound ID, 0 = free slot
  uint32_t Size[SFX_SLOTS];        // sample size in bytes
};

// The music thread's controls: the game thread writes the name, then the
// flag; the thread polls the flag once a second and between fade steps.
struct MusicControl {
  std::atomic<ModuleRecord*> Module{nullptr};  // module word: loaded module
  std::mutex NameLock;                         // guards Name
  char Name[MUSIC_NAME_SIZE];                  // name word: playing, or next
  std::atomic<uint32_t> Switch{0};             // 1 = change to Name
};

struct MusicModuleEntry {
  ModuleRecord* Module;
  int32_t Play;    // TUNE play handle, 0 while not playing
  uint32_t Rate;   // kept only
  uint32_t Mode;   // output mode code
  int32_t Volume;  // the last music volume TUNE accepted (64 when started)
};

struct MusicModuleTable {
  MusicModuleEntry Entry[MUSIC_TABLE_SIZE];
  uint32_t Count;
  int32_t Playing = -1;  // index of the playing entry, -1 none
};

struct SoundSystem {
  // Game thread only (the slots and the CD have no lock).
  SfxSlots Sfx;
  uint32_t CdOpen;  // 1 while this module holds the drive open
  char CdFault[128];  // the drive's last fault IsCD logged: the same is not logged again

  // Shared with the music thread.
  MusicControl Music;
  std::recursive_mutex TableLock;  // guards Table (music thread, game thread)
  MusicModuleTable Table;

  // The music thread: started and ended by the game thread only.
  QoeThread* MusicThread;
  char StartPath[MUSIC_NAME_SIZE];  // written before the thread starts
  std::atomic<int> MusicQuit{0};    // ExitSound asks the thread to end
  std::mutex WaitLock;              // with WaitCv: the thread's interruptible waits
  std::condition_variable WaitCv;
  int InWait = 0;                   // threads in WaitCv's wait: under WaitLock
  std::atomic<int> MusicThreads{0};  // live music threads (tests)

  // Test hooks.
  int (*MusicWait)(uint32_t ticks);  // null: MusicWaitReal
  void (*CdSleep)(uint32_t ms);      // null: a real sleep
  int FailThreadStart;
  // The effects' recorder (SetSfxRecordHook): set by tests, read by the game thread.
  std::atomic<void (*)(uint32_t call, uint32_t id)> SfxRecorder{nullptr};
};

SoundSystem& Sound();
// Back to the start state: releases every effect, ends the music thread,
// frees modules, closes the CD; hooks cleared (tests).
void SoundSystemReset();

// Ends the music thread (quit flag, wake, join), then stops and frees the
// module it left loaded and clears the module word.
void EndMusic();
// Waits ticks x 20 ms, or less when the thread is asked to quit; 1 on quit.
int MusicWaitReal(uint32_t ticks);
// How many threads sit in MusicWaitReal's wait right now (tests: counted
// under the wait's lock, which only the wait itself gives up).
int MusicThreadsInWait();
// The TUNE output that feeds the platform mixer's music stream.
PcmSink* MixerMusicSink();

// The sound index .\Data\SfxPath: the record of one ID, every length checked.
struct SfxRecord {
  uint32_t size;  // sample bytes
  uint32_t rate;  // Hz
  char path[MUSIC_NAME_SIZE + 1];  // the sample's local path
};
enum : int { SFXREC_OK = 0, SFXREC_NO_RECORD = 3, SFXREC_BAD_PATH = 8 };
// SFXREC_NO_RECORD when the count or the record is not in the image or the
// count is below id; SFXREC_BAD_PATH when the path's offset or its end lies
// outside (rec->path then holds what was read).
int ReadSfxRecord(const uint8_t* image, uint32_t size, uint32_t id, SfxRecord* rec);
// Amiga path to local: from the end, '/' becomes '\'; the first ':' met ends
// the scan and everything up to it is dropped.
void MakeLocalSfxPath(char* path);
