// First cut of the file layer; the full resolver and folder calls follow.
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "memory.h"
#include "platform/log.h"

struct QoeFile {
  int fd;
};

int32_t ResolvePath(const char* path, char* out, uint32_t out_size) {
  if (!path || !out || out_size == 0) return 0;
  std::string s;
  for (const char* p = path; *p; p++) s += (*p == '\\') ? '/' : *p;
  while (s.rfind("./", 0) == 0) s.erase(0, 2);
  if (s.empty() || s[0] == '/' || s.find("..") != std::string::npos) return 0;
  if (s.size() + 1 > out_size) return 0;
  std::memcpy(out, s.c_str(), s.size() + 1);
  return 1;
}

FileHandle Open(const char* path, int32_t mode) {
  char p[1024];
  if (!ResolvePath(path, p, sizeof p)) return nullptr;
  int flags;
  switch (mode) {
    case 1004: case 1005: flags = O_RDWR; break;
    case 1006: flags = O_RDWR | O_CREAT | O_TRUNC; break;
    case 1007: case 1008: flags = O_RDONLY; break;
    default: return nullptr;
  }
  int fd = ::open(p, flags | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  return new QoeFile{fd};
}

int32_t Close(FileHandle f) {
  if (f) { ::close(f->fd); delete f; }
  return 1;
}

int32_t Read(FileHandle f, void* buffer, int32_t length) {
  if (!f || !buffer || length < 0) return -1;
  int32_t done = 0;
  while (done < length) {
    ssize_t n = ::read(f->fd, (char*)buffer + done, length - done);
    if (n < 0) return -1;
    if (n == 0) break;
    done += (int32_t)n;
  }
  return done;
}

int32_t Write(FileHandle f, const void* buffer, int32_t length) {
  if (!f || !buffer || length < 0) return -1;
  int32_t done = 0;
  while (done < length) {
    ssize_t n = ::write(f->fd, (const char*)buffer + done, length - done);
    if (n <= 0) return -1;
    done += (int32_t)n;
  }
  return done;
}

int32_t Seek(FileHandle f, int32_t offset, int32_t mode) {
  if (!f) return -1;
  off_t old = ::lseek(f->fd, 0, SEEK_CUR);
  int whence = mode == -1 ? SEEK_SET : mode == 0 ? SEEK_CUR : mode == 1 ? SEEK_END : -1;
  if (whence < 0 || ::lseek(f->fd, offset, whence) < 0) return -1;
  return (int32_t)old;
}

LockHandle Lock(const char* path, int32_t mode) {
  char p[1024];
  struct stat st;
  if (!ResolvePath(path, p, sizeof p) || stat(p, &st) != 0) {
    DebugLog("Lock: Fehler Nr. %u bei File %s aufgetreten.\n", 2u, path ? path : "(null)");
    return 0;
  }
  if (S_ISDIR(st.st_mode)) return 1;
  FileHandle f = Open(path, mode == 1 ? 1005 : 1008);
  return (LockHandle)f;
}

void UnLock(LockHandle lock) {
  if (lock > 1) Close((FileHandle)lock);
}

uint32_t GeFileSize(const char* path) {
  char p[1024];
  struct stat st;
  if (!ResolvePath(path, p, sizeof p) || stat(p, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return (uint32_t)st.st_size;
}

void* LoadFile2MemSize(const char* path, uint32_t alloc_flags, uint32_t* size_out) {
  if (size_out) *size_out = 0;
  uint32_t size = GeFileSize(path);
  if (size == 0) return nullptr;
  FileHandle f = Open(path, 1008);
  if (!f) return nullptr;
  void* mem = AllocVec(size, alloc_flags);
  if (mem && Read(f, mem, (int32_t)size) != (int32_t)size) {
    FreeVec(mem);
    mem = nullptr;
  }
  Close(f);
  if (mem && size_out) *size_out = size;
  return mem;
}

void* LoadFile2Mem(const char* path, uint32_t alloc_flags) {
  return LoadFile2MemSize(path, alloc_flags, nullptr);
}

int32_t SaveMem2File(const char* path, const void* memory, uint32_t length) {
  char p[1024];
  if (!ResolvePath(path, p, sizeof p)) return 0;
  std::string tmp = std::string(p) + ".tmp";
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  bool ok = true;
  uint32_t done = 0;
  while (ok && done < length) {
    ssize_t n = ::write(fd, (const char*)memory + done, length - done);
    if (n <= 0) ok = false; else done += (uint32_t)n;
  }
  if (::close(fd) != 0) ok = false;
  if (!ok || ::rename(tmp.c_str(), p) != 0) {
    ::unlink(tmp.c_str());
    return 0;
  }
  return 1;
}

int32_t DeleteFileA(const char* path) {
  char p[1024];
  if (!ResolvePath(path, p, sizeof p)) return 0;
  return ::unlink(p) == 0 ? 1 : 0;
}

LockHandle CreateDir(const char* path) {
  char p[1024];
  if (!ResolvePath(path, p, sizeof p)) return 0;
  std::string s = p;
  while (!s.empty() && s.back() == '/') s.pop_back();
  if (::mkdir(s.c_str(), 0755) != 0) return 0;
  return 1;
}

int32_t DeleteDir(const char*, const char*) { return 0; }
uint16_t CountDirEntries(const char*) { return 0; }
char* GetDirBuffer(const char*, uint16_t) { return nullptr; }
int32_t CopyDir(const char*, const char*, uint32_t) { return 0; }
void FileFailWritesAfter(int64_t) {}
