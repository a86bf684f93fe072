// File layer: Amiga-style calls on POSIX descriptors. Every call maps its
// Windows-style program path onto disk through one resolver (ResolveDisk)
// that matches each component case-insensitively under the working directory.
#include "files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "byteorder.h"
#include "checksum.h"
#include "memory.h"
#include "platform/log.h"

struct QoeFile {
  int fd;
  bool counted;          // its write outside a file set was counted
  char path[96];         // the program's path, for the log of that write
};

namespace {

// Whole-file rewrites go to a hidden temporary file next to the target first;
// listings never show these names.
constexpr char kTempPrefix[] = ".qoetmp-";
constexpr size_t kMaxPath = 4096;
// Flushes of one commit that run at once.
constexpr size_t kSyncThreads = 8;
// A flush that took longer went to a device: the rest run side by side.
constexpr int64_t kSlowSyncMicros = 500;

// ---------------------------------------------------------------------------
// Failure hook: a byte budget for all writes of the file layer; -1 = off.

// The file layer's state record.
struct FileLayerState {
  // The failure hook's budget: under hookLock; `hookArmed` lets writes skip
  // the lock while it is off.
  std::mutex hookLock;
  std::atomic<bool> hookArmed{false};
  int64_t hookLeft = -1;
  // Whole-file rewrites sync the file and its folder to disk; fuzz runs turn
  // that off (any thread may read it).
  std::atomic<bool> syncWrites{true};
  // Test seam: sees (and may fail) every disk sync; under hookLock.
  FileSyncHook syncHook = nullptr;
  void* syncHookUser = nullptr;
  // Told of each commit record that start-up could not finish (any thread).
  std::atomic<CommitRecordHook> recordHook{nullptr};
  // Writes through Open/Write, past file sets and the whole-file writers
  // (a kill in the middle leaves the file half written): any thread.
  std::atomic<uint32_t> bypassWrites{0};
};
FileLayerState g_files;

// How many of n bytes may be written; *fail is set when the write must fail
// after those bytes (the budget is then used up).
size_t HookAllow(size_t n, bool* fail) {
  *fail = false;
  if (!g_files.hookArmed.load(std::memory_order_acquire)) return n;
  std::lock_guard<std::mutex> g(g_files.hookLock);
  if (g_files.hookLeft < 0) return n;
  if ((uint64_t)g_files.hookLeft >= n) {
    g_files.hookLeft -= (int64_t)n;
    return n;
  }
  size_t allowed = (size_t)g_files.hookLeft;
  g_files.hookLeft = 0;
  *fail = true;
  return allowed;
}

// Writes all n bytes (through the failure hook unless told otherwise);
// false on any error.
bool WriteAll(int fd, const void* data, size_t n, bool hooked = true) {
  bool fail = false;
  size_t allowed = hooked ? HookAllow(n, &fail) : n;
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < allowed) {
    ssize_t w = ::write(fd, p + done, allowed - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += (size_t)w;
  }
  if (fail) {
    errno = ENOSPC;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Names

bool IsSep(char c) { return c == '\\' || c == '/'; }

// Windows folds case over Latin-1 letters; so do we (program texts are Latin-1).
unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return (unsigned char)(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return (unsigned char)(c - 32);
  return c;
}

bool SameName(const char* a, const char* b) {
  for (;; a++, b++) {
    if (FoldCase((unsigned char)*a) != FoldCase((unsigned char)*b)) return false;
    if (!*a) return true;
  }
}

bool HasPrefixNoCase(const char* name, const char* prefix) {
  for (; *prefix; name++, prefix++)
    if (!*name || FoldCase((unsigned char)*name) != FoldCase((unsigned char)*prefix)) return false;
  return true;
}

// Case-insensitive order, ties in byte order: the order of every listing.
bool ListOrder(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; i++) {
    unsigned char x = FoldCase((unsigned char)a[i]), y = FoldCase((unsigned char)b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::string JoinDisk(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == ".") return name;
  return dir + "/" + name;
}

bool IsDirDisk(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The entries of a disk folder, without ".", ".." and (unless asked for)
// temporary files, in listing order; false when the folder cannot be opened.
bool ListDir(const std::string& dir, std::vector<std::string>* names, bool with_temp = false) {
  names->clear();
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  while (dirent* e = ::readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    if (!with_temp && !std::strncmp(e->d_name, kTempPrefix, sizeof kTempPrefix - 1)) continue;
    names->push_back(e->d_name);
  }
  ::closedir(d);
  std::sort(names->begin(), names->end(), ListOrder);
  return true;
}

// Finds `name` in the disk folder `dir`: the exact spelling when it exists,
// else of all case-insensitive matches the one first in byte order. With
// want_dir only folders count.
bool FindEntry(const std::string& dir, const std::string& name, bool want_dir, std::string* found) {
  struct stat st;
  std::string exact = JoinDisk(dir, name);
  if (::stat(exact.c_str(), &st) == 0 && (!want_dir || S_ISDIR(st.st_mode))) {
    *found = name;
    return true;
  }
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool any = false;
  std::string best;
  while (dirent* e = ::readdir(d)) {
    if (!SameName(e->d_name, name.c_str())) continue;
    if (want_dir && !IsDirDisk(JoinDisk(dir, e->d_name))) continue;
    if (!any || std::strcmp(e->d_name, best.c_str()) < 0) {
      best = e->d_name;
      any = true;
    }
  }
  ::closedir(d);
  if (any) *found = best;
  return any;
}

// The resolver. Separators '\' and '/' mix freely; empty and "." components
// are dropped; ".." steps back but never above the working directory; an
// absolute path (leading separator, drive letter) is refused. Each component
// is matched case-insensitively to what exists (FindEntry); from the first
// missing component on, the spelling given is kept. The result is relative
// to the working directory ("." for the directory itself).
bool ResolveDisk(const char* path, std::string* out) {
  if (!path) return false;
  if (IsSep(path[0])) return false;
  if (((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':') return false;
  std::vector<std::string> parts;
  size_t total = 0;
  const char* p = path;
  while (*p) {
    const char* start = p;
    while (*p && !IsSep(*p)) p++;
    std::string comp(start, (size_t)(p - start));
    total += comp.size() + 1;
    if (total > kMaxPath) return false;
    if (!comp.empty() && comp != ".") {
      if (comp == "..") {
        if (parts.empty()) return false;
        parts.pop_back();
      } else {
        parts.push_back(std::move(comp));
      }
    }
    if (*p) p++;
  }
  bool trailing_sep = p != path && IsSep(p[-1]);
  std::string cur;
  bool missing = false;
  for (size_t i = 0; i < parts.size(); i++) {
    bool want_dir = i + 1 < parts.size() || trailing_sep;
    std::string name = parts[i];
    if (!missing) {
      std::string real;
      if (FindEntry(cur, parts[i], want_dir, &real))
        name = real;
      else
        missing = true;
    }
    cur = JoinDisk(cur, name);
  }
  *out = cur.empty() ? "." : cur;
  return true;
}

// Splits a resolved disk path into its folder and its last name.
void SplitDisk(const std::string& p, std::string* dir, std::string* name) {
  size_t pos = p.rfind('/');
  if (pos == std::string::npos) {
    dir->clear();
    *name = p;
  } else {
    *dir = p.substr(0, pos);
    *name = p.substr(pos + 1);
  }
}

// Flushes one open file or folder to disk (through the test seam); false on failure.
bool SyncFd(int fd, const std::string& path, bool folder) {
  {
    std::lock_guard<std::mutex> g(g_files.hookLock);
    if (g_files.syncHook && !g_files.syncHook(path.c_str(), folder ? 1 : 0, g_files.syncHookUser)) return false;
  }
  return folder ? ::fsync(fd) == 0 : ::fdatasync(fd) == 0;
}

// Flushes a folder's entries (renames, new and removed names) to disk.
bool SyncDir(const std::string& dir) {
  if (!g_files.syncWrites.load(std::memory_order_relaxed)) return true;
  const std::string d = dir.empty() ? "." : dir;
  int fd = ::open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = SyncFd(fd, d, true);
  ::close(fd);
  return ok;
}

// Flushes every file (or folder) of the list. The flushes run side by side,
// so the device's cache flushes they each end with are merged into a few.
struct SyncJob {
  const std::vector<std::string>* paths;
  bool folders;
  std::atomic<size_t> next{0};
  std::atomic<bool> ok{true};
};

// Flushes the job's next path; false when none is left.
bool SyncNext(SyncJob* job) {
  const size_t i = job->next.fetch_add(1);
  if (i >= job->paths->size()) return false;
  const std::string& given = (*job->paths)[i];
  const std::string p = job->folders && given.empty() ? std::string(".") : given;
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | (job->folders ? O_DIRECTORY : 0));
  if (fd < 0 || !SyncFd(fd, p, job->folders)) job->ok = false;
  if (fd >= 0) ::close(fd);
  return true;
}

void* SyncWorker(void* arg) {
  while (SyncNext(static_cast<SyncJob*>(arg))) {
  }
  return nullptr;
}

bool SyncAll(const std::vector<std::string>& paths, bool folders) {
  // Every file's bytes start on their way before the first flush waits.
  if (!folders)
    for (const std::string& p : paths) {
      int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;  // its flush below fails
      ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
      ::close(fd);
    }
  SyncJob job{};
  job.paths = &paths;
  job.folders = folders;
  // A first flush that returns at once (a memory file system) says the rest
  // will too: they are done here. Otherwise helpers wait for them together.
  timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  SyncNext(&job);
  clock_gettime(CLOCK_MONOTONIC, &t1);
  const int64_t us = (t1.tv_sec - t0.tv_sec) * 1000000 + (t1.tv_nsec - t0.tv_nsec) / 1000;
  pthread_t helpers[kSyncThreads];
  size_t started = 0;
  const size_t left = paths.size() > 1 ? paths.size() - 1 : 0;
  const size_t n = us < kSlowSyncMicros ? 0 : std::min<size_t>(left, kSyncThreads);
  while (started + 1 < n && pthread_create(&helpers[started], nullptr, SyncWorker, &job) == 0) started++;
  SyncWorker(&job);  // the caller works too (alone when no thread could start)
  for (size_t t = 0; t < started; t++) pthread_join(helpers[t], nullptr);
  return job.ok;
}

// Writes a whole file through a temporary file in the same folder and a
// rename; `fill` writes the content into the descriptor. On failure the old
// file is untouched and the temporary file is gone.
// A new temporary file beside target (mode 0644), its path in *tmp; -1 on
// failure. The lock is held while the file is written: a temporary file
// nobody holds belongs to a save that was killed (RemoveStaleTempFiles).
int OpenTempBeside(const std::string& target, std::string* tmp) {
  std::string dir, name;
  SplitDisk(target, &dir, &name);
  std::string tmpl = JoinDisk(dir, std::string(kTempPrefix) + name.substr(0, 200) + ".XXXXXX");
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back(0);
  int fd = ::mkostemp(buf.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  ::fchmod(fd, 0644);
  ::flock(fd, LOCK_EX | LOCK_NB);
  *tmp = buf.data();
  return fd;
}

template <typename Fill>
bool ReplaceFileDisk(const std::string& target, Fill fill) {
  std::string tmp;
  int fd = OpenTempBeside(target, &tmp);
  if (fd < 0) return false;
  bool ok = fill(fd) && (!g_files.syncWrites.load(std::memory_order_relaxed) || SyncFd(fd, tmp, false));
  if (::close(fd) != 0) ok = false;
  if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) ok = false;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  std::string dir, name;
  SplitDisk(target, &dir, &name);
  SyncDir(dir);
  return true;
}

bool CopyFileDisk(const std::string& src, const std::string& dst) {
  int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  bool ok = ReplaceFileDisk(dst, [in](int out) {
    std::vector<char> chunk(1 << 16);
    for (;;) {
      ssize_t n = ::read(in, chunk.data(), chunk.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) return true;
      if (!WriteAll(out, chunk.data(), (size_t)n)) return false;
    }
  });
  ::close(in);
  return ok;
}

// Makes a folder and every missing parent.
bool MakeDirsDisk(const std::string& p) {
  for (size_t pos = p.find('/', 1);; pos = p.find('/', pos + 1)) {
    std::string part = pos == std::string::npos ? p : p.substr(0, pos);
    if (!part.empty() && part != "." && ::mkdir(part.c_str(), 0755) != 0 && !(errno == EEXIST && IsDirDisk(part)))
      return false;
    if (pos == std::string::npos) return true;
  }
}

std::vector<std::string> StagedFilesOfRecords();

// Deletes the temporary files of killed saves under dir (depth levels of
// folders, links not followed): those no writer holds locked. Counts them.
uint32_t RemoveStaleTempDisk(const std::string& dir, int depth, const std::vector<std::string>& keep) {
  uint32_t removed = 0;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return 0;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d))
    if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
  ::closedir(d);
  for (const std::string& n : names) {
    std::string p = JoinDisk(dir, n);
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      if (depth > 0) removed += RemoveStaleTempDisk(p, depth - 1, keep);
      continue;
    }
    if (!S_ISREG(st.st_mode) || n.compare(0, sizeof kTempPrefix - 1, kTempPrefix) != 0) continue;
    if (std::find(keep.begin(), keep.end(), p) != keep.end()) continue;
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(p.c_str()) == 0) removed++;
    ::close(fd);
  }
  return removed;
}

// Removes a file, or a folder with everything in it (links are not followed).
bool RemoveTree(const std::string& p) {
  struct stat st;
  if (::lstat(p.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(p.c_str()) == 0 || errno == ENOENT;
  bool ok = true;
  DIR* d = ::opendir(p.c_str());
  if (!d) return false;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d))
    if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
  ::closedir(d);
  for (const std::string& n : names) ok = RemoveTree(p + "/" + n) && ok;
  return ::rmdir(p.c_str()) == 0 && ok;
}

// Index files and the layout folder stay where they are when a game's data
// folder is cleared, copied or moved: they belong to the installation.
bool IsKeptName(const std::string& name) {
  return SameName(name.c_str(), "path") || SameName(name.c_str(), "sfxpath") ||
         SameName(name.c_str(), "rizizozezpath") || SameName(name.c_str(), "screendat");
}

// Copies every file and folder of src into dst (merging, names matched
// case-insensitively); with move each file is deleted once it was copied.
// At the top level the kept names are left out.
bool CopyTree(const std::string& src, const std::string& dst, bool top, bool move) {
  std::vector<std::string> names;
  if (!ListDir(src, &names)) {
    DebugLog("CopyDir: Konnte Verzeichnis %s nicht lesen\n", src.c_str());
    return false;
  }
  for (const std::string& n : names) {
    if (top && IsKeptName(n)) continue;
    std::string from = JoinDisk(src, n);
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0) continue;  // gone meanwhile
    bool is_dir = S_ISDIR(st.st_mode);
    if (!is_dir && !S_ISREG(st.st_mode)) continue;  // links and devices are not game data
    std::string real;
    std::string to = JoinDisk(dst, FindEntry(dst, n, is_dir, &real) ? real : n);
    if (is_dir) {
      if (::mkdir(to.c_str(), 0755) != 0 && !(errno == EEXIST && IsDirDisk(to))) {
        DebugLog("CopyDir: Konnte Verzeichnis %s nicht anlegen\n", to.c_str());
        return false;
      }
      if (!CopyTree(from, to, false, move)) return false;
    } else {
      if (!CopyFileDisk(from, to)) {
        DebugLog("CopyDir: Konnte Datei %s nicht nach %s kopieren\n", from.c_str(), to.c_str());
        return false;
      }
      if (move && ::unlink(from.c_str()) != 0 && errno != ENOENT) {
        DebugLog("CopyDir: Konnte Datei %s nicht loeschen\n", from.c_str());
        return false;
      }
    }
  }
  return true;
}

FileHandle NewHandle(int fd) {
  QoeFile* f = static_cast<QoeFile*>(AllocVec(sizeof(QoeFile), MEMF_PUBLIC));
  if (!f) {
    ::close(fd);
    return nullptr;
  }
  f->fd = fd;
  f->counted = false;
  f->path[0] = 0;
  return f;
}

// A write in place through a handle: counted once per handle and logged.
void CountBypassWrite(FileHandle f) {
  if (f->counted) return;
  f->counted = true;
  g_files.bypassWrites.fetch_add(1);
  DebugLog("Files: %s wird an FileSet und SaveMem2File vorbei beschrieben\n", f->path);
}

void FreeHandle(FileHandle f) {
  ::close(f->fd);
  FreeVec(f);
}

// Opens a regular file only (a folder is never a file handle).
int OpenRegular(const std::string& p, int flags) {
  int fd = ::open(p.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return -1;
  }
  return fd;
}

}  // namespace

// ---------------------------------------------------------------------------

int32_t ResolvePath(const char* path, char* out, uint32_t out_size) {
  std::string p;
  if (!out || out_size == 0 || !ResolveDisk(path, &p) || p.size() + 1 > out_size) return 0;
  std::memcpy(out, p.c_str(), p.size() + 1);
  return 1;
}

void FileFailWritesAfter(int64_t bytes_ok) {
  std::lock_guard<std::mutex> g(g_files.hookLock);
  g_files.hookLeft = bytes_ok < 0 ? -1 : bytes_ok;
  g_files.hookArmed.store(bytes_ok >= 0, std::memory_order_release);
}

FileHandle Open(const char* path, int32_t mode) {
  std::string p;
  if (!ResolveDisk(path, &p)) return nullptr;
  int fd;
  switch (mode) {
    case MODE_READWRITE_SHARED:
    case MODE_OLDFILE:
      fd = OpenRegular(p, O_RDWR);
      // A file we may only read still opens; its writes then fail.
      if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = OpenRegular(p, O_RDONLY);
      break;
    case MODE_NEWFILE:
      fd = OpenRegular(p, O_RDWR | O_CREAT | O_TRUNC);
      break;
    case MODE_READ_SEQUENTIAL:
      fd = OpenRegular(p, O_RDONLY);
      if (fd >= 0) ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
      break;
    case MODE_READONLY:
      fd = OpenRegular(p, O_RDONLY);
      break;
    default:
      return nullptr;
  }
  if (fd < 0) return nullptr;
  FileHandle f = NewHandle(fd);
  if (!f) return nullptr;
  std::snprintf(f->path, sizeof f->path, "%s", path);
  if (mode == MODE_NEWFILE) CountBypassWrite(f);
  return f;
}

uint32_t FileWritesOutsideSets() { return g_files.bypassWrites.load(); }

int32_t Close(FileHandle f) {
  if (!f) return 0;
  FreeHandle(f);
  return 1;
}

int32_t Read(FileHandle f, void* buffer, int32_t length) {
  if (!f || length < 0 || (!buffer && length > 0)) return -1;
  int32_t done = 0;
  while (done < length) {
    ssize_t n = ::read(f->fd, static_cast<char*>(buffer) + done, (size_t)(length - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += (int32_t)n;
  }
  return done;
}

int32_t Write(FileHandle f, const void* buffer, int32_t length) {
  if (!f || length < 0 || (!buffer && length > 0)) return -1;
  if (length == 0) return 0;
  CountBypassWrite(f);
  return WriteAll(f->fd, buffer, (size_t)length) ? length : -1;
}

int32_t Seek(FileHandle f, int32_t offset, int32_t mode) {
  if (!f) return -1;
  int whence;
  switch (mode) {
    case OFFSET_BEGINNING: whence = SEEK_SET; break;
    case OFFSET_CURRENT: whence = SEEK_CUR; break;
    case OFFSET_END: whence = SEEK_END; break;
    default: return -1;
  }
  off_t old = ::lseek(f->fd, 0, SEEK_CUR);
  if (old < 0 || old > INT32_MAX) return -1;
  off_t now = ::lseek(f->fd, offset, whence);
  if (now < 0) return -1;
  if (now > INT32_MAX) {  // positions stay within 31 bits
    ::lseek(f->fd, old, SEEK_SET);
    return -1;
  }
  return (int32_t)old;
}

LockHandle Lock(const char* path, int32_t mode) {
  std::string p;
  struct stat st;
  if (!ResolveDisk(path, &p)) {
    DebugLog("Lock: Fehler Nr. %u bei File %s aufgetreten.\n", (unsigned)EINVAL, path ? path : "(null)");
    return 0;
  }
  if (::stat(p.c_str(), &st) != 0) {
    DebugLog("Lock: Fehler Nr. %u bei File %s aufgetreten.\n", (unsigned)errno, path);
    return 0;
  }
  if (S_ISDIR(st.st_mode)) return 1;
  int flags, lock_op;
  if (mode == 2) {
    flags = O_RDONLY;
    lock_op = LOCK_SH;
  } else if (mode == 1) {
    flags = O_RDWR;
    lock_op = LOCK_EX;
  } else {
    return 0;
  }
  int fd = OpenRegular(p, flags);
  if (fd >= 0 && ::flock(fd, lock_op | LOCK_NB) != 0) {
    int e = errno;
    ::close(fd);
    fd = -1;
    errno = e;
  }
  if (fd < 0) {
    DebugLog("Lock: Fehler Nr. %u bei File %s aufgetreten.\n", (unsigned)errno, path);
    return 0;
  }
  FileHandle f = NewHandle(fd);
  return f ? reinterpret_cast<LockHandle>(f) : 0;
}

void UnLock(LockHandle lock) {
  if (lock == 0 || lock == 1) return;
  FreeHandle(reinterpret_cast<FileHandle>(lock));
}

uint32_t GeFileSize(const char* path) {
  std::string p;
  struct stat st;
  if (!ResolveDisk(path, &p) || ::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  if ((uint64_t)st.st_size > UINT32_MAX) return 0;
  return (uint32_t)st.st_size;
}

int32_t GetFileStamp(const char* path, uint32_t* size, uint64_t* mtime_ns) {
  *size = 0;
  *mtime_ns = 0;
  std::string p;
  struct stat st;
  if (!ResolveDisk(path, &p) || ::stat(p.c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      (uint64_t)st.st_size > UINT32_MAX)
    return 0;
  *size = (uint32_t)st.st_size;
  *mtime_ns = (uint64_t)st.st_mtim.tv_sec * 1000000000ull + (uint64_t)st.st_mtim.tv_nsec;
  return 1;
}

void* LoadFile2MemSize(const char* path, uint32_t alloc_flags, uint32_t* size_out) {
  if (size_out) *size_out = 0;
  std::string p;
  if (!ResolveDisk(path, &p)) return nullptr;
  int fd = OpenRegular(p, O_RDONLY);
  if (fd < 0) return nullptr;
  struct stat st;
  void* mem = nullptr;
  if (::fstat(fd, &st) == 0 && st.st_size > 0 && (uint64_t)st.st_size <= INT32_MAX) {
    uint32_t size = (uint32_t)st.st_size;
    mem = AllocVec(size, alloc_flags);
    size_t done = 0;
    while (mem && done < size) {
      ssize_t n = ::read(fd, static_cast<char*>(mem) + done, size - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {  // error, or the file shrank under us
        FreeVec(mem);
        mem = nullptr;
      } else {
        done += (size_t)n;
      }
    }
    if (mem && size_out) *size_out = size;
  }
  ::close(fd);
  return mem;
}

void* LoadFile2Mem(const char* path, uint32_t alloc_flags) {
  return LoadFile2MemSize(path, alloc_flags, nullptr);
}

int32_t SaveMem2File(const char* path, const void* memory, uint32_t length) {
  std::string p;
  if (!ResolveDisk(path, &p) || (!memory && length > 0)) return 0;
  bool ok = ReplaceFileDisk(p, [memory, length](int fd) { return length == 0 || WriteAll(fd, memory, length); });
  if (!ok) DebugLog("SaveMem2File: Konnte Datei %s nicht schreiben\n", path);
  return ok ? 1 : 0;
}

int32_t DeleteFileA(const char* path) {
  std::string p;
  if (!ResolveDisk(path, &p)) return 0;
  return ::unlink(p.c_str()) == 0 ? 1 : 0;
}

LockHandle CreateDir(const char* path) {
  std::string p;
  if (!ResolveDisk(path, &p)) return 0;
  // An existing folder counts as made: saving the same turn twice reuses it.
  if (::mkdir(p.c_str(), 0755) == 0 || (errno == EEXIST && IsDirDisk(p))) return 1;
  return 0;
}

int32_t DeleteDir(const char* folder, const char* prefix) {
  DebugLog("DeleteDir: Target dir is %s.\n", folder ? folder : "(null)");
  std::string dir;
  if (!ResolveDisk(folder, &dir)) return 0;
  std::vector<std::string> names;
  if (!ListDir(dir, &names)) return errno == ENOENT ? 1 : 0;  // no folder: nothing to delete
  int32_t result = 1;
  for (const std::string& n : names) {
    if (prefix && !HasPrefixNoCase(n.c_str(), prefix)) continue;
    std::string p = JoinDisk(dir, n);
    struct stat st;
    if (::lstat(p.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
    DebugLog("DeleteDir: Loesche %s\n", n.c_str());
    if (::unlink(p.c_str()) != 0 && errno != ENOENT) result = 0;
  }
  return result;
}

uint16_t CountDirEntries(const char* folder) {
  std::string dir;
  std::vector<std::string> names;
  if (!ResolveDisk(folder, &dir) || !ListDir(dir, &names)) {
    DebugLog("GetDirBuffer: Locken des Verzeichnisses klappt nicht !\n");
    return 0;
  }
  return (uint16_t)std::min<size_t>(names.size(), 0xFFFF);
}

char* GetDirBuffer(const char* folder, uint16_t count) {
  std::string dir;
  std::vector<std::string> names;
  if (!ResolveDisk(folder, &dir) || !ListDir(dir, &names)) {
    DebugLog("GetDirBuffer: Locken des Verzeichnisses klappt nicht !\n");
    return nullptr;
  }
  if (count == 0) return nullptr;
  char* buf = static_cast<char*>(AllocVec((uint32_t)count * 80, MEMF_PUBLIC | MEMF_CLEAR));
  if (!buf) return nullptr;
  for (size_t i = 0; i < names.size() && i < count; i++)
    std::memcpy(buf + i * 80, names[i].c_str(), std::min<size_t>(names[i].size(), 79));
  return buf;
}

int32_t CopyDir(const char* source, const char* target, uint32_t mode) {
  std::string src, dst;
  if (!ResolveDisk(source, &src) || !ResolveDisk(target, &dst)) return 0;
  // A copy from a folder that is not there would only empty the target.
  if ((mode & 2) && !IsDirDisk(src)) {
    DebugLog("CopyDir: Konnte Verzeichnis %s nicht lesen\n", src.c_str());
    return 0;
  }
  if (mode & 1) {
    std::vector<std::string> names;
    if (ListDir(dst, &names, true)) {  // leftovers of an interrupted save go too
      for (const std::string& n : names) {
        if (IsKeptName(n)) continue;
        if (!RemoveTree(JoinDisk(dst, n))) {
          DebugLog("CopyDir: Konnte %s nicht loeschen\n", JoinDisk(dst, n).c_str());
          return 0;
        }
      }
    }
  }
  if (mode & 2) {
    // A first save into .\Game\<lord>\... makes its parent folders too.
    if (!MakeDirsDisk(dst)) {
      DebugLog("CopyDir: Konnte Verzeichnis %s nicht anlegen\n", dst.c_str());
      return 0;
    }
    if (!CopyTree(src, dst, true, (mode & 4) != 0)) return 0;
  }
  return 1;
}

int32_t DeleteTree(const char* path) {
  std::string p;
  if (!ResolveDisk(path, &p)) return 0;
  return RemoveTree(p) ? 1 : 0;
}

int32_t RenamePath(const char* from, const char* to) {
  std::string a, b;
  if (!ResolveDisk(from, &a) || !ResolveDisk(to, &b)) return 0;
  return ::rename(a.c_str(), b.c_str()) == 0 ? 1 : 0;
}

int32_t CreateDirPath(const char* path) {
  std::string p;
  return ResolveDisk(path, &p) && MakeDirsDisk(p) ? 1 : 0;
}

uint32_t RemoveStaleTempFiles(const char* folder, uint32_t depth) {
  std::string dir;
  if (!ResolveDisk(folder, &dir)) return 0;
  // The new files of a commit that start-up could not finish stay with it.
  return RemoveStaleTempDisk(dir, (int)depth, StagedFilesOfRecords());
}

void FileSyncWrites(int32_t on) { g_files.syncWrites.store(on != 0, std::memory_order_relaxed); }

void FileSetSyncHook(FileSyncHook hook, void* user) {
  std::lock_guard<std::mutex> g(g_files.hookLock);
  g_files.syncHook = hook;
  g_files.syncHookUser = user;
}

// ---------------------------------------------------------------------------
// File sets: several whole-file replacements that take effect together.
//
// A commit of more than one change first writes a commit record at the top
// of the working folder (".qoecommit-XXXXXX") naming every rename and
// removal, synced before the first rename; the record goes once all are
// done. FinishCommitRecords carries out what a kill or a failure left. The
// record's layout is in docs/architecture.md ("The commit record").

namespace {

constexpr char kRecordPrefix[] = ".qoecommit-";
// How deep start-up looks for staged files that no record names.
constexpr uint32_t kStaleSweepDepth = 6;
constexpr char kRecordMagic[8] = {'Q', 'C', 'O', 'M', 'M', 'I', 'T', '1'};
constexpr uint32_t kMaxRecordSize = 16u << 20;
constexpr uint32_t kRecordHead = 20;  // magic, rest length, two counts

}  // namespace

struct FileSet {
  struct Staged {
    std::string tmp, target;  // disk paths, the temporary file beside its target
    uint32_t size, crc;       // of the bytes staged
  };
  std::vector<Staged> staged;
  std::vector<std::string> removals;  // deleted at commit
  bool failed = false;
};

namespace {

// The record of a set: see the layout in docs/architecture.md.
std::vector<uint8_t> CommitRecordImage(const FileSet& s) {
  size_t n = kRecordHead + 4;
  for (const auto& st : s.staged) {
    std::string dir, name;
    SplitDisk(st.tmp, &dir, &name);
    n += 2 + name.size() + 2 + st.target.size() + 8;
  }
  for (const std::string& r : s.removals) n += 2 + r.size();
  std::vector<uint8_t> img(n);
  BoundedWriter w = MakeWriter(img.data(), img.size());
  WriteBytes(w, kRecordMagic, 8);
  WriteBE32(w, (uint32_t)(n - 12));
  WriteBE32(w, (uint32_t)s.staged.size());
  WriteBE32(w, (uint32_t)s.removals.size());
  auto text = [&w](const std::string& t) {
    WriteBE16(w, (uint16_t)t.size());
    WriteBytes(w, t.data(), t.size());
  };
  for (const auto& st : s.staged) {
    std::string dir, name;
    SplitDisk(st.tmp, &dir, &name);
    text(name);
    text(st.target);
    WriteBE32(w, st.size);
    WriteBE32(w, st.crc);
  }
  for (const std::string& r : s.removals) text(r);
  WriteBE32(w, Crc32(img.data(), (uint32_t)(n - 4)));
  return img;
}

// A path a record may name: relative, '/'-separated, no empty, "." or ".."
// component, so it stays inside the working folder.
bool RecordPathOk(const std::string& p) {
  if (p.empty() || p.size() > kMaxPath || p.find('\0') != std::string::npos) return false;
  size_t start = 0;
  for (;;) {
    size_t end = p.find('/', start);
    std::string comp = p.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (comp.empty() || comp == "." || comp == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}

// Reads a record (through the bounded reader) into a set; false when it is
// damaged or half written.
bool ParseCommitRecord(const std::vector<uint8_t>& img, FileSet* s) {
  if (img.size() < kRecordHead + 4 || img.size() > kMaxRecordSize) return false;
  if (GetBE32(img.data() + img.size() - 4) != Crc32(img.data(), (uint32_t)img.size() - 4)) return false;
  BoundedReader r = MakeReader(img.data(), img.size() - 4);
  const uint8_t* magic = ReadSpan(r, 8);
  if (!magic || std::memcmp(magic, kRecordMagic, 8) != 0 || ReadBE32(r) != img.size() - 12) return false;
  const uint32_t renames = ReadBE32(r), removals = ReadBE32(r);
  auto text = [&r](std::string* out) {
    const uint16_t len = ReadBE16(r);
    const uint8_t* p = ReadSpan(r, len);
    if (!p) return false;
    out->assign(reinterpret_cast<const char*>(p), len);
    return true;
  };
  // Each entry takes at least 4 bytes, so the counts are bounded by the size.
  if (renames > ReaderLeft(r) / 4 || removals > ReaderLeft(r) / 2) return false;
  for (uint32_t i = 0; i < renames; i++) {
    std::string name, target;
    if (!text(&name) || !text(&target)) return false;
    const uint32_t size = ReadBE32(r), crc = ReadBE32(r);
    if (!r.ok || !RecordPathOk(target) || name.find('/') != std::string::npos || !RecordPathOk(name) ||
        name.compare(0, sizeof kTempPrefix - 1, kTempPrefix) != 0)
      return false;
    std::string dir, base;
    SplitDisk(target, &dir, &base);
    s->staged.push_back({JoinDisk(dir, name), target, size, crc});
  }
  for (uint32_t i = 0; i < removals; i++) {
    std::string path;
    if (!text(&path) || !RecordPathOk(path)) return false;
    s->removals.push_back(path);
  }
  return r.ok && ReaderLeft(r) == 0;
}

// The whole content of a regular file (not a link) of at most max bytes.
bool ReadSmallFile(const std::string& path, uint32_t max, std::vector<uint8_t>* out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (uint64_t)st.st_size <= max;
  if (ok) {
    out->resize((size_t)st.st_size);
    size_t got = 0;
    while (ok && got < out->size()) {
      ssize_t n = ::read(fd, out->data() + got, out->size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) ok = false;
      else got += (size_t)n;
    }
  }
  ::close(fd);
  return ok;
}

// True when path is a regular file of exactly these bytes (size and CRC-32).
bool FileHolds(const std::string& path, uint32_t size, uint32_t crc) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (uint64_t)st.st_size == size;
  uint32_t sum = 0;
  std::vector<uint8_t> block(1 << 16);
  for (uint64_t left = size; ok && left > 0;) {
    ssize_t n = ::read(fd, block.data(), (size_t)std::min<uint64_t>(left, block.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else {
      sum = Crc32(block.data(), (uint32_t)n, sum);
      left -= (uint64_t)n;
    }
  }
  ::close(fd);
  return ok && sum == crc;
}

// True when every folder above path is a real folder (no link leads away).
bool ParentsAreFolders(const std::string& path) {
  for (size_t pos = path.find('/'); pos != std::string::npos; pos = path.find('/', pos + 1)) {
    struct stat st;
    if (::lstat(path.substr(0, pos).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  }
  return true;
}

bool IsFolderEntry(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

// Why a record's renames and removals cannot all be carried out from where
// they stand (null when they can): nothing is changed before this is known.
const char* CommitRecordProblem(const FileSet& s) {
  for (const auto& st : s.staged) {
    if (!ParentsAreFolders(st.target)) return "a folder of its files is missing";
    if (Exists(st.tmp)) {
      if (IsFolderEntry(st.target)) return "a file to be replaced is now a folder";
      if (!FileHolds(st.tmp, st.size, st.crc)) return "a new file waiting to replace an old one is damaged";
      continue;
    }
    // Its rename was done, unless the new file was lost on the way.
    const bool removed = std::find(s.removals.begin(), s.removals.end(), st.target) != s.removals.end();
    if (FileHolds(st.target, st.size, st.crc) || (removed && !Exists(st.target))) continue;
    return "a new file waiting to replace an old one is gone";
  }
  for (const std::string& r : s.removals) {
    if (!ParentsAreFolders(r)) return "a folder of its files is missing";
    if (IsFolderEntry(r)) return "a file to be deleted is now a folder";
  }
  return nullptr;
}

// Renames and removes as the set says; with skip_done a staged file that is
// gone counts as renamed. Stops at the first failure (logged).
bool ApplyFileSet(const FileSet& s, bool skip_done) {
  for (const auto& st : s.staged) {
    if (skip_done && !Exists(st.tmp)) continue;
    if (::rename(st.tmp.c_str(), st.target.c_str()) != 0) {
      DebugLog("CommitFileSet: Konnte %s nicht ersetzen\n", st.target.c_str());
      return false;
    }
  }
  for (const std::string& r : s.removals)
    if (::unlink(r.c_str()) != 0 && errno != ENOENT) {
      DebugLog("CommitFileSet: Konnte %s nicht loeschen\n", r.c_str());
      return false;
    }
  return true;
}

// Flushes every folder whose names the set changed, so the renames and
// removals last.
void SyncSetFolders(const FileSet& s) {
  if (!g_files.syncWrites.load(std::memory_order_relaxed)) return;
  std::vector<std::string> dirs;
  auto addDir = [&dirs](const std::string& path) {
    std::string dir, name;
    SplitDisk(path, &dir, &name);
    if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
  };
  for (const auto& st : s.staged) addDir(st.target);
  for (const std::string& r : s.removals) addDir(r);
  if (!SyncAll(dirs, true)) DebugLog("CommitFileSet: Konnte Ordner nicht sichern\n");
}

// Writes and syncs the set's record at the top of the working folder; its
// name in *path. False (and nothing left) on failure.
bool WriteCommitRecord(const FileSet& s, std::string* path) {
  const std::vector<uint8_t> img = CommitRecordImage(s);
  char name[] = ".qoecommit-XXXXXX";
  static_assert(sizeof name == sizeof kRecordPrefix + 6, "record name");
  int fd = ::mkostemp(name, O_CLOEXEC);
  if (fd < 0) return false;
  ::fchmod(fd, 0644);
  const bool sync = g_files.syncWrites.load(std::memory_order_relaxed);
  // The failure hook's budget counts the files of the set, not this record.
  bool ok = WriteAll(fd, img.data(), img.size(), false) && (!sync || SyncFd(fd, name, false));
  if (::close(fd) != 0) ok = false;
  if (ok && sync) ok = SyncDir("");
  if (!ok) ::unlink(name);
  *path = name;
  return ok;
}

// The records at the top of the working folder, in name order.
std::vector<std::string> CommitRecordNames() {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(".")) {
    while (dirent* e = ::readdir(d))
      if (!std::strncmp(e->d_name, kRecordPrefix, sizeof kRecordPrefix - 1)) out.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The staged files that the readable records still name (the sweep keeps them).
std::vector<std::string> StagedFilesOfRecords() {
  std::vector<std::string> out;
  for (const std::string& name : CommitRecordNames()) {
    std::vector<uint8_t> img;
    FileSet s;
    if (!ReadSmallFile(name, kMaxRecordSize, &img) || !ParseCommitRecord(img, &s)) continue;
    for (const auto& st : s.staged) out.push_back(st.tmp);
  }
  return out;
}

}  // namespace

void SetCommitRecordHook(CommitRecordHook hook) { g_files.recordHook.store(hook); }

int32_t FinishCommitRecords() {
  int32_t unfinished = 0;
  for (const std::string& name : CommitRecordNames()) {
    std::vector<uint8_t> img;
    FileSet s;
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0) continue;
    if (!S_ISREG(st.st_mode) || !ReadSmallFile(name, kMaxRecordSize, &img) || !ParseCommitRecord(img, &s)) {
      // Written only part-way or damaged: no rename had begun (the record is
      // whole on disk before the first one). Its staged files are swept below.
      DebugLog("FinishCommitRecords: Beschaedigter Eintrag %s verworfen\n", name.c_str());
      if (!RemoveTree(name)) {
        DebugLog("FinishCommitRecords: Konnte %s nicht loeschen\n", name.c_str());
        unfinished++;
      }
      continue;
    }
    const char* problem = CommitRecordProblem(s);
    if (!problem && !ApplyFileSet(s, true)) problem = "a file could not be renamed or deleted";
    if (problem) {
      DebugLog("FinishCommitRecords: %s kann nicht abgeschlossen werden (%s), er bleibt mit seinen Dateien\n",
               name.c_str(), problem);
      for (const auto& f : s.staged) DebugLog("FinishCommitRecords:   %s -> %s\n", f.tmp.c_str(), f.target.c_str());
      for (const std::string& r : s.removals) DebugLog("FinishCommitRecords:   - %s\n", r.c_str());
      if (CommitRecordHook hook = g_files.recordHook.load()) hook(name.c_str(), problem);
      unfinished++;
      continue;
    }
    SyncSetFolders(s);
    ::unlink(name.c_str());
    SyncDir("");
    DebugLog("FinishCommitRecords: %s abgeschlossen (%zu Dateien ersetzt, %zu geloescht)\n", name.c_str(),
             s.staged.size(), s.removals.size());
  }
  if (uint32_t n = RemoveStaleTempFiles(".\\", kStaleSweepDepth))
    DebugLog("FinishCommitRecords: %u verwaiste temporaere Datei(en) geloescht\n", n);
  return unfinished;
}

FileSet* BeginFileSet() { return new (std::nothrow) FileSet; }

int32_t FileSetWrite(FileSet* s, const char* path, const void* data, uint32_t length) {
  if (!s || s->failed) return 0;
  std::string target;
  if (!ResolveDisk(path, &target) || (!data && length > 0) || target == ".") {
    s->failed = true;
    return 0;
  }
  // A second write of the same target replaces the staged one.
  for (auto& st : s->staged)
    if (st.target == target) {
      ::unlink(st.tmp.c_str());
      st = s->staged.back();
      s->staged.pop_back();
      break;
    }
  // A file that already holds these bytes is left alone.
  struct stat st;
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (uint64_t)st.st_size == length) {
    int in = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (in >= 0) {
      std::vector<uint8_t> old(length);
      size_t got = 0;
      while (got < length) {
        ssize_t n = ::read(in, old.data() + got, length - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += (size_t)n;
      }
      ::close(in);
      if (got == length && (length == 0 || std::memcmp(old.data(), data, length) == 0)) return 1;
    }
  }
  std::string tmp;
  int fd = OpenTempBeside(target, &tmp);
  if (fd < 0) {
    DebugLog("FileSetWrite: Konnte Datei %s nicht anlegen\n", path);
    s->failed = true;
    return 0;
  }
  // The disk write starts now, while the set is still being filled; the
  // commit then waits for it.
  bool ok = length == 0 || WriteAll(fd, data, length);

  if (::close(fd) != 0) ok = false;
  if (!ok) {
    ::unlink(tmp.c_str());
    DebugLog("FileSetWrite: Konnte Datei %s nicht schreiben\n", path);
    s->failed = true;
    return 0;
  }
  s->staged.push_back({tmp, target, length, length ? Crc32(data, length) : 0});
  return 1;
}

int32_t FileSetRemove(FileSet* s, const char* path) {
  if (!s || s->failed) return 0;
  std::string target;
  if (!ResolveDisk(path, &target) || target == ".") {
    s->failed = true;
    return 0;
  }
  s->removals.push_back(target);
  return 1;
}

void AbortFileSet(FileSet* s) {
  if (!s) return;
  for (const auto& st : s->staged) ::unlink(st.tmp.c_str());
  delete s;
}

int32_t CommitFileSet(FileSet* s) {
  if (!s) return 0;
  if (s->failed) {
    AbortFileSet(s);
    return 0;
  }
  // Each staged file is flushed before any rename, so a crash never shows a
  // renamed file without its bytes; only this set's files are waited for.
  if (g_files.syncWrites.load(std::memory_order_relaxed)) {
    std::vector<std::string> files;
    for (const auto& st : s->staged) files.push_back(st.tmp);
    if (!SyncAll(files, false)) {
      DebugLog("CommitFileSet: Konnte Dateien nicht sichern\n");
      AbortFileSet(s);
      return 0;
    }
  }
  // One rename or removal is all or nothing by itself; more need the record.
  std::string record;
  const bool recorded = s->staged.size() + s->removals.size() > 1;
  if (recorded && !WriteCommitRecord(*s, &record)) {
    DebugLog("CommitFileSet: Konnte den Eintrag der Aenderung nicht schreiben\n");
    AbortFileSet(s);
    return 0;
  }
  const bool ok = ApplyFileSet(*s, false);
  SyncSetFolders(*s);
  if (ok && recorded) ::unlink(record.c_str());
  if (!ok && recorded)
    DebugLog("CommitFileSet: %s bleibt, der naechste Start schliesst die Aenderung ab\n", record.c_str());
  if (!ok && !recorded)
    for (const auto& st : s->staged) ::unlink(st.tmp.c_str());
  delete s;
  return ok ? 1 : 0;
}

// ---------------------------------------------------------------------------
// File streams: one file written in pieces through a temporary file.

struct FileStream {
  std::string tmp, target;
  int fd = -1;
  bool failed = false;
};

FileStream* BeginFileStream(const char* path) {
  std::string target;
  if (!ResolveDisk(path, &target)) return nullptr;
  FileStream* s = new (std::nothrow) FileStream;
  if (!s) return nullptr;
  s->target = target;
  s->fd = OpenTempBeside(target, &s->tmp);
  if (s->fd < 0) {
    delete s;
    return nullptr;
  }
  return s;
}

int32_t FileStreamWrite(FileStream* s, const void* data, uint32_t length) {
  if (!s || s->failed || s->fd < 0 || (!data && length)) return 0;
  if (length && !WriteAll(s->fd, data, length)) s->failed = true;
  return s->failed ? 0 : 1;
}

int32_t FileStreamClose(FileStream* s) {
  if (!s || s->failed) return 0;
  if (s->fd < 0) return 1;
  bool ok = !g_files.syncWrites.load(std::memory_order_relaxed) || SyncFd(s->fd, s->tmp, false);
  if (::close(s->fd) != 0) ok = false;
  s->fd = -1;
  if (!ok) s->failed = true;
  return ok ? 1 : 0;
}

int32_t CommitFileStream(FileStream* s, const char* path) {
  if (!s) return 0;
  std::string target = s->target;
  bool ok = (!path || ResolveDisk(path, &target)) && FileStreamClose(s) && ::rename(s->tmp.c_str(), target.c_str()) == 0;
  if (ok) {
    std::string dir, name;
    SplitDisk(target, &dir, &name);
    SyncDir(dir);
  } else {
    if (s->fd >= 0) ::close(s->fd);
    ::unlink(s->tmp.c_str());
  }
  delete s;
  return ok ? 1 : 0;
}

void AbortFileStream(FileStream* s) {
  if (!s) return;
  if (s->fd >= 0) ::close(s->fd);
  ::unlink(s->tmp.c_str());
  delete s;
}
