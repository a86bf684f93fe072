// The movie file cache: a file below 1 MiB is read whole at open (single
// buffer), so the scheduler never touches the disk while it plays; larger
// files are read directly (CACHE_NONE). The ring of read-ahead frames of the
// sound mode is not built: no screen uses that mode.
#include <cstring>

#include "movie_internal.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

namespace {

void FreeHandle(CacheHandle* h) {
  if (!h) return;
  if (h->first) {
    DeleteSemaphore(h->first->sem);
    FreeVec(h->first->data);
    FreeVec(h->first);
  }
  if (h->file) Close(h->file);
  DeleteSemaphore(h->sem);
  FreeVec(h);
}

CacheHandle* Fail(CacheHandle* h, uint32_t error) {
  DebugLog("Error_MW...%x\n", error);
  FreeHandle(h);
  return nullptr;
}

}  // namespace

CacheHandle* AFX_Open(const char* path, int32_t open_mode, MovieBase* base) {
  if (!path || std::strlen(path) <= 1) return nullptr;
  auto* h = static_cast<CacheHandle*>(AllocVec(sizeof(CacheHandle), MEMF_PUBLIC | MEMF_CLEAR));
  if (!h) {
    DebugLog("AFX_Open: Konnte Speicher f\xFCr CacheHandel nicht allokieren...\n");
    return nullptr;
  }
  h->base = base;
  h->first = static_cast<CacheFrame*>(AllocVec(sizeof(CacheFrame), MEMF_PUBLIC | MEMF_CLEAR));
  h->sem = CreateNamedSemaphore(nullptr, 1, 1);  // "CacheHandle Semaphore", one per handle
  if (!h->first || !h->sem) {
    DebugLog("AFX_Open: Konnte Speicher f\xFCr CacheFrame nicht allokieren...\n");
    return Fail(h, 1);
  }
  h->file = Open(path, open_mode);
  if (!h->file) {
    DebugLog("AFX_Open: Konnte File nicht \xF6" "ffnen...%s\n", path);
    return Fail(h, 2);
  }
  const int32_t end = Seek(h->file, 0, OFFSET_END) >= 0 ? Seek(h->file, 0, OFFSET_BEGINNING) : -1;
  h->file_size = end > 0 ? (uint32_t)end : 0;
  DebugLog("AFX_Open: Filesize of File %s is %i\n", path, (int)h->file_size);
  if (h->file_size == 0) {
    DebugLog("AFX_Open: Konnte Speicher f\xFCr CacheFrame nicht allokieren...\n");
    return Fail(h, 3);
  }
  h->pos = 0;
  if (h->file_size < kCacheSingleLimit) {
    h->mode = CACHE_SINGLE;
    h->first->sem = CreateNamedSemaphore(nullptr, 1, 1);  // "Frame Semaphore"
    if (!h->first->sem) {
      DebugLog("AFX_Open: Konnte Speicher f\xFCr FrameSemaphore nicht allokieren...\n");
      return Fail(h, 4);
    }
    h->first->data = static_cast<uint8_t*>(AllocVec(h->file_size, MEMF_PUBLIC));
    if (!h->first->data) {
      DebugLog("AFX_Open: Konnte Speicher f\xFCr File nicht allokieren...\n");
      h->mode = CACHE_NONE;
    } else {
      if (Read(h->file, h->first->data, (int32_t)h->file_size) != (int32_t)h->file_size) {
        DebugLog("AFX_Open: KOnnte File nicht komplett einlesen...\n");
        return Fail(h, 5);
      }
      h->first->file_pos = 0;
      h->first->valid = h->file_size;
      h->cached = h->file_size;
      h->frame_size = h->file_size;
      h->frame_count = 1;
      h->filled = 1;
      DebugLog("AFX_Open: Single Cache Buffer created for File %s\n", path);
    }
  } else {
    h->mode = CACHE_NONE;
  }
  if (h->mode == CACHE_NONE) {
    DebugLog("AFX_Open: Cache for File %s set to CACHE_NONE\n", path);
    Seek(h->file, 0, OFFSET_BEGINNING);
  }
  return h;
}

int32_t AFX_Read(CacheHandle* h, void* buffer, int32_t length) {
  if (!h || !buffer || length <= 0) return 0;
  if (h->mode == CACHE_SINGLE) {
    if (h->pos >= h->file_size) return 0;
    uint32_t n = h->file_size - h->pos;
    if ((uint32_t)length < n) n = (uint32_t)length;
    std::memcpy(buffer, h->first->data + h->pos, n);
    h->pos += n;
    return (int32_t)n;
  }
  const int32_t got = Read(h->file, buffer, length);
  if (got <= 0) return 0;
  h->pos += (uint32_t)got;
  return got;
}

int32_t AFX_Seek(CacheHandle* h, int32_t offset, int32_t mode) {
  if (!h) return -1;
  const int64_t size = h->file_size;
  int64_t old = h->pos;
  int64_t target;
  if (mode == OFFSET_BEGINNING) target = offset;
  else if (mode == OFFSET_END) target = size + offset;
  else target = old + offset;
  if (target > size - 1) target = size - 1;
  if (target < 0) target = 0;
  if (h->mode == CACHE_NONE) {
    const int32_t file_old = Seek(h->file, (int32_t)target, OFFSET_BEGINNING);
    if (file_old >= 0) old = file_old;
  }
  h->pos = (uint32_t)target;
  return (int32_t)old;
}

uint32_t AFX_FileSize(CacheHandle* h) { return h ? h->file_size : 0; }

int32_t AFX_Close(CacheHandle* h) {
  if (!h) return -1;
  ObtainSemaphore(h->sem);
  int32_t result = 0;
  if (h->first) {
    DeleteSemaphore(h->first->sem);
    FreeVec(h->first->data);
    FreeVec(h->first);
    h->first = nullptr;
  }
  if (h->file && Close(h->file) != 1) result = -1;
  h->file = nullptr;
  ReleaseSemaphore(h->sem);
  DeleteSemaphore(h->sem);
  FreeVec(h);
  return result;
}
