// Lowest layers of the player: the play thread and its poll routine, the
// player lock, memory and files with the player's error codes, the clock.
#include <atomic>
#include <chrono>

#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "platform/threads.h"
#include "tune_internal.h"
#include "genplayer.h"

namespace {

// The play thread's fields of TUNE's state record (tune_internal.h).
PlayThreadState& Poll() { return TunePlayer().poll; }

int PlayThread(void*) {
  while (!Poll().flags.quit.load()) {
    PollPlayer();
    uint32_t d = Poll().delayMs.load();
    SleepMs(d ? d : 1);
  }
  Poll().flags.finished.store(1);
  return 0;
}

}  // namespace

struct TuneFile {
  FileHandle handle;
};

void InitPlayerLock() {
  if (!Poll().playerLock) Poll().playerLock = CreateNamedMutex(nullptr);
}
void FreePlayerLock() {
  if (Poll().playerLock) DeleteMutex(Poll().playerLock);
  Poll().playerLock = nullptr;
}
void LockPlayer() {
  if (Poll().playerLock) ObtainMutex(Poll().playerLock);
}
void UnlockPlayer() {
  if (Poll().playerLock) ReleaseMutex(Poll().playerLock);
}
int32_t PlayerLockExists() { return Poll().playerLock ? 1 : 0; }

int32_t StartPlayThread(uint32_t delayMs) {
  Poll().delayMs = delayMs;
  if (Poll().thread) return TE_OK;
  Poll().flags.quit = 0;
  Poll().flags.finished = 0;
  Poll().thread = StartThread("TUNE Player", PlayThread, nullptr);
  if (!Poll().thread) {
    TuneFatal("StartPlayThread: Couldn't create player thread!");
    return TE_RESOURCES;
  }
  return TE_OK;
}

void StopPlayThread() {
  if (!Poll().thread) return;
  StopThreadByFlag(Poll().thread, &Poll().flags, -1);
  Poll().thread = nullptr;
  Poll().flags.quit = 0;  // the stop word is back at 0 once the thread has ended
}

int32_t PlayThreadRunning() { return Poll().thread ? 1 : 0; }
uint32_t PlayThreadDelay() { return Poll().delayMs.load(); }

void PollPlayer() {
  LockPlayer();
  SoundDevice* dev = TuneCurrentDevice();
  if (dev) {
    int32_t err = dev->StartPlay();
    while (!err) {
      int32_t call = 0;
      err = dev->Play(&call);
      if (err || !call) break;
      if (PlayerIsInitialised()) err = PlayerPlay();
      if (err || dev->tempoPoll || Poll().flags.quit.load()) break;
    }
    if (err) ReportPlayerError(err);
  }
  UnlockPlayer();
}

uint32_t TuneMilliseconds() {
  if (auto clock = Poll().clock.load()) return clock();
  using namespace std::chrono;
  return (uint32_t)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
void TuneSetClock(uint32_t (*clock)()) { Poll().clock.store(clock); }

int32_t MemAlloc(uint32_t size, void** block) {
  *block = nullptr;
  if (size == 0) return TE_INVALID_BLOCK;
  void* p = AllocVec(size, MEMF_PUBLIC);
  if (!p) return TE_OUT_OF_MEMORY;
  *block = p;
  return TE_OK;
}

int32_t MemFree(void* block) {
  if (!block) return TE_INVALID_BLOCK;
  FreeVec(block);
  return TE_OK;
}

int32_t FileOpen(const char* name, uint32_t mode, TuneFile** file) {
  *file = nullptr;
  if (mode < 1 || mode > 3) return TE_INVALID_ARGS;
  if (!name) return TE_INVALID_PATH;
  FileHandle h{};
  if (mode == 1) {
    h = Open(name, MODE_READONLY);
  } else {
    h = Open(name, MODE_OLDFILE);
    if (!h) h = Open(name, MODE_NEWFILE);
  }
  if (!h) return mode == 1 ? TE_FILE_NOT_FOUND : TE_OPEN;
  void* p = nullptr;
  if (int32_t err = MemAlloc(sizeof(TuneFile), &p)) {
    Close(h);
    return err;
  }
  TuneFile* f = static_cast<TuneFile*>(p);
  f->handle = h;
  *file = f;
  return TE_OK;
}

int32_t FileClose(TuneFile* file) {
  if (!file) return TE_INVALID_FILE_HANDLE;
  Close(file->handle);
  return MemFree(file);
}

int32_t FileRead(TuneFile* file, void* buffer, uint32_t count) {
  if (!file) return TE_INVALID_FILE_HANDLE;
  if (count > 0x7FFFFFFF) return TE_INVALID_ARGS;
  int32_t n = Read(file->handle, buffer, (int32_t)count);
  if (n < 0) return TE_READ;
  if ((uint32_t)n < count) return TE_EOF;
  return TE_OK;
}

int32_t FileSeek(TuneFile* file, int32_t offset, uint32_t mode) {
  if (mode < 1 || mode > 3) return TE_INVALID_ARGS;
  if (!file) return TE_INVALID_FILE_HANDLE;
  int32_t m = mode == 1 ? OFFSET_BEGINNING : mode == 2 ? OFFSET_CURRENT : OFFSET_END;
  return Seek(file->handle, offset, m) < 0 ? TE_READ : TE_OK;
}

int32_t FileGetPosition(TuneFile* file, uint32_t* position) {
  if (!file) return TE_INVALID_FILE_HANDLE;
  int32_t p = Seek(file->handle, 0, OFFSET_CURRENT);
  if (p < 0) return TE_READ;
  *position = (uint32_t)p;
  return TE_OK;
}

int32_t FileLoad(const char* name, uint8_t** data, uint32_t* size) {
  *data = nullptr;
  *size = 0;
  TuneFile* f = nullptr;
  if (int32_t err = FileOpen(name, 1, &f)) return err;
  uint32_t length = 0;
  int32_t err = FileSeek(f, 0, 3);
  if (!err) err = FileGetPosition(f, &length);
  if (!err) err = FileSeek(f, 0, 1);
  if (!err && length > 0x10000000) err = TE_OUT_OF_MEMORY;
  void* p = nullptr;
  if (!err && length) err = MemAlloc(length, &p);
  if (!err && length) err = FileRead(f, p, length);
  FileClose(f);
  if (err) {
    if (p) MemFree(p);
    return err;
  }
  *data = static_cast<uint8_t*>(p);
  *size = length;
  return TE_OK;
}
