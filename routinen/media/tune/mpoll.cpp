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

QoeMutex* g_playerLock = nullptr;
QoeThread* g_thread = nullptr;
ThreadFlags g_flags;
std::atomic<uint32_t> g_delay{20};
uint32_t (*g_clock)() = nullptr;

int PlayThread(void*) {
  while (!g_flags.quit.load()) {
    PollPlayer();
    uint32_t d = g_delay.load();
    SleepMs(d ? d : 1);
  }
  g_flags.finished.store(1);
  return 0;
}

}  // namespace

struct TuneFile {
  FileHandle handle;
};

void InitPlayerLock() {
  if (!g_playerLock) g_playerLock = CreateNamedMutex(nullptr);
}
void FreePlayerLock() {
  if (g_playerLock) DeleteMutex(g_playerLock);
  g_playerLock = nullptr;
}
void LockPlayer() {
  if (g_playerLock) ObtainMutex(g_playerLock);
}
void UnlockPlayer() {
  if (g_playerLock) ReleaseMutex(g_playerLock);
}
int32_t PlayerLockExists() { return g_playerLock ? 1 : 0; }

int32_t StartPlayThread(uint32_t delayMs) {
  g_delay = delayMs;
  if (g_thread) return TE_OK;
  g_flags.quit = 0;
  g_flags.finished = 0;
  g_thread = StartThread("TUNE Player", PlayThread, nullptr);
  if (!g_thread) {
    TuneFatal("StartPlayThread: Couldn't create player thread!");
    return TE_RESOURCES;
  }
  return TE_OK;
}

void StopPlayThread() {
  if (!g_thread) return;
  StopThreadByFlag(g_thread, &g_flags, -1);
  g_thread = nullptr;
  g_flags.quit = 0;  // the stop word is back at 0 once the thread has ended
}

int32_t PlayThreadRunning() { return g_thread ? 1 : 0; }
uint32_t PlayThreadDelay() { return g_delay.load(); }

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
      if (err || dev->tempoPoll || g_flags.quit.load()) break;
    }
    if (err) ReportPlayerError(err);
  }
  UnlockPlayer();
}

uint32_t TuneMilliseconds() {
  if (g_clock) return g_clock();
  using namespace std::chrono;
  return (uint32_t)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
void TuneSetClock(uint32_t (*clock)()) { g_clock = clock; }

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
  FileHandle h;
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
