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
#include "catalog.h"
#include "checksum.h"
#include "memory.h"
#include "platform/log.h"
#include "platform/plainfile.h"

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
  // Told of each commit record dropped because its files were written since.
  std::atomic<CommitDroppedHook> droppedHook{nullptr};
  // Test seam: sees (and may fail) every rename of a file set; under hookLock.
  FileRenameHook renameHook = nullptr;
  void* renameHookUser = nullptr;
  // Writes through Open/Write, past file sets and the whole-file writers
  // (a kill in the middle leaves the file half written): any thread.
  std::atomic<uint32_t> bypassWrites{0};
  // Files found there but not plain files (NoteNotPlainFile): every path
  // noted in this run, and those the player has not been told of yet;
  // under notPlainLock (any thread).
  std::mutex notPlainLock;
  std::vector<std::string> notPlainNoted, notPlainUntold;
};
FileLayerState g_files;

// A commit left pending in this run that names the disk path is finished or
// dropped before the path is written again (defined with the file sets).
void SettlePendingFor(const std::string& disk_path);

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
  int fd = ::open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
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
  // The layer's own staged files and folders; never a FIFO opened waiting.
  int fd = job->folders ? ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_DIRECTORY)
                        : OpenPlainFile(p.c_str(), O_RDONLY | O_NOFOLLOW);
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
      int fd = OpenPlainFile(p.c_str(), O_RDONLY | O_NOFOLLOW);
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
  // A copy never follows a link, nor waits on a FIFO put in a file's place.
  int in = OpenPlainFile(src.c_str(), O_RDONLY | O_NOFOLLOW);
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
    int fd = OpenPlainFile(p.c_str(), O_RDONLY | O_NOFOLLOW);
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

// Opens a plain file only: a folder is never a file handle, and a link, a
// FIFO, a socket or a device at the path is refused at once, never opened
// waiting (OpenPlainFile).
int OpenRegular(const std::string& p, int flags) { return OpenPlainFile(p.c_str(), flags | O_NOFOLLOW); }

// True when a link, a FIFO, a socket or a device stands at the disk path: a
// whole-file write never replaces it. (A folder there stops the rename by
// itself.)
bool NotPlainThere(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
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

int32_t PathKind(const char* path) {
  std::string p;
  struct stat st;
  if (!ResolveDisk(path, &p) || ::lstat(p.c_str(), &st) != 0) return PATH_ABSENT;
  if (S_ISREG(st.st_mode)) return PATH_PLAIN;
  return S_ISDIR(st.st_mode) ? PATH_FOLDER : PATH_NOT_PLAIN;
}

void NoteNotPlainFile(const char* path) {
  if (!path) return;
  // The player's name of the file: without the leading ".\".
  std::string name = path;
  while (name.size() > 2 && name[0] == '.' && IsSep(name[1])) name.erase(0, 2);
  std::lock_guard<std::mutex> g(g_files.notPlainLock);
  for (const std::string& n : g_files.notPlainNoted)
    if (SameName(n.c_str(), name.c_str())) return;
  DebugLog("Files: %s ist keine einfache Datei (ein Verweis, ein Ordner, ein FIFO, ein Socket oder ein Geraet); "
           "sie wird weder gelesen noch ersetzt\n",
           path);
  g_files.notPlainNoted.push_back(name);
  g_files.notPlainUntold.push_back(name);
}

char* TakeNotPlainFiles(void) {
  std::lock_guard<std::mutex> g(g_files.notPlainLock);
  if (g_files.notPlainUntold.empty()) return nullptr;
  std::string lines;
  for (const std::string& n : g_files.notPlainUntold) lines += (lines.empty() ? "" : "\n") + n;
  char* out = static_cast<char*>(AllocVec((uint32_t)lines.size() + 1, MEMF_PUBLIC | MEMF_CLEAR));
  if (!out) return nullptr;  // told at the next call
  std::memcpy(out, lines.c_str(), lines.size() + 1);
  g_files.notPlainUntold.clear();
  return out;
}

void ForgetNotPlainFiles(void) {
  std::lock_guard<std::mutex> g(g_files.notPlainLock);
  g_files.notPlainNoted.clear();
  g_files.notPlainUntold.clear();
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
  if (NotPlainThere(p)) {
    DebugLog("SaveMem2File: %s ist keine einfache Datei und bleibt, wie sie ist\n", path);
    return 0;
  }
  SettlePendingFor(p);
  bool ok = ReplaceFileDisk(p, [memory, length](int fd) { return length == 0 || WriteAll(fd, memory, length); });
  if (!ok) DebugLog("SaveMem2File: Konnte Datei %s nicht schreiben\n", path);
  return ok ? 1 : 0;
}

int32_t DeleteFileA(const char* path) {
  std::string p;
  if (!ResolveDisk(path, &p)) return 0;
  SettlePendingFor(p);
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
// removal and what each target was then, synced before the first rename;
// the record goes once all are done. A failed first step drops the record
// (nothing changed); a later one is retried at once, and what still fails
// stays pending: the next write of one of its targets in this run, or the
// next start (FinishCommitRecords), finishes it, or drops it when a target
// was written since. The record's layout is in docs/architecture.md ("The
// commit record").

namespace {

constexpr char kRecordPrefix[] = ".qoecommit-";
// How deep start-up looks for staged files that no record names.
constexpr uint32_t kStaleSweepDepth = 6;
// The version before wrote records without target states or sequence
// numbers; they are still read and finished.
constexpr char kRecordMagicOld[8] = {'Q', 'C', 'O', 'M', 'M', 'I', 'T', '1'};
constexpr char kRecordMagic[8] = {'Q', 'C', 'O', 'M', 'M', 'I', 'T', '2'};
constexpr uint32_t kMaxRecordSize = 16u << 20;
constexpr uint32_t kRecordHeadOld = 20;  // magic, rest length, two counts
constexpr uint32_t kRecordHead = 28;     // magic, rest length, sequence, two counts
constexpr uint32_t kStateSize = 33;      // present, device, inode, size, modification time

// What a target was when the record was written: one lstat (every write
// renames a new file into place, so a newer file has another inode or time).
struct TargetState {
  uint8_t present = 0;  // 0 absent, 1 a file (or link), 2 a folder
  uint64_t dev = 0, ino = 0, size = 0, mtime_ns = 0;
};

TargetState StateOf(const std::string& path) {
  TargetState t;
  struct stat st;
  if (::lstat(path.c_str(), &st) != 0) return t;
  t.present = S_ISDIR(st.st_mode) ? 2 : 1;
  t.dev = (uint64_t)st.st_dev;
  t.ino = (uint64_t)st.st_ino;
  t.size = (uint64_t)st.st_size;
  t.mtime_ns = (uint64_t)st.st_mtim.tv_sec * 1000000000ull + (uint64_t)st.st_mtim.tv_nsec;
  return t;
}

bool SameState(const TargetState& a, const TargetState& b) {
  if (a.present != b.present) return false;
  return !a.present || (a.dev == b.dev && a.ino == b.ino && a.size == b.size && a.mtime_ns == b.mtime_ns);
}

// True when the target holds something newer than the record knew: it is no
// longer what it was, unless only a folder that stood in the way went (no
// file is written as a folder, so nothing newer is lost by the rename).
bool WrittenSince(const TargetState& before, const TargetState& now) {
  if (before.present == 2 && !now.present) return false;
  return !SameState(before, now);
}

}  // namespace

struct FileSet {
  struct Staged {
    std::string tmp, target;  // disk paths, the temporary file beside its target
    uint32_t size, crc;       // of the bytes staged
    TargetState before;       // the target when the record was written
  };
  std::vector<Staged> staged;
  std::vector<std::string> removals;  // deleted at commit
  std::vector<TargetState> removalsBefore;
  uint64_t seq = 0;         // the record's place in the order of writing
  bool oldFormat = false;   // read from a record without target states
  bool failed = false;
};

namespace {

// The file sets' state record: the commits of this run that a failed
// rename left part done (their records stay on disk too), and the sequence
// number of the next record. Under lock; `count` lets writes skip it.
struct PendingCommit {
  std::string record;  // the record's name at the top of the working folder
  FileSet set;
};
struct FileSetState {
  std::mutex lock;
  std::atomic<uint32_t> count{0};
  std::vector<PendingCommit> pending;
  uint64_t nextSeq = 1;
  std::atomic<uint32_t> untold{0};  // sets saved in part since the player was last told
};
FileSetState g_sets;

// A sequence number above every record written before, in this run or an
// earlier one (start-up raises nextSeq past the records it finds; the
// clock keeps the order where it did not run).
uint64_t NextRecordSeq() {
  std::lock_guard<std::mutex> g(g_sets.lock);
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  const uint64_t now = (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
  const uint64_t seq = std::max(g_sets.nextSeq, now);
  g_sets.nextSeq = seq + 1;
  return seq;
}

void WriteBE64(BoundedWriter& w, uint64_t v) {
  WriteBE32(w, (uint32_t)(v >> 32));
  WriteBE32(w, (uint32_t)v);
}
uint64_t ReadBE64(BoundedReader& r) {
  const uint64_t hi = ReadBE32(r);
  return hi << 32 | ReadBE32(r);
}

void WriteState(BoundedWriter& w, const TargetState& t) {
  const uint8_t present = t.present;
  WriteBytes(w, &present, 1);
  WriteBE64(w, t.dev);
  WriteBE64(w, t.ino);
  WriteBE64(w, t.size);
  WriteBE64(w, t.mtime_ns);
}
bool ReadState(BoundedReader& r, TargetState* t) {
  const uint8_t* p = ReadSpan(r, 1);
  if (!p || *p > 2) return false;
  t->present = *p;
  t->dev = ReadBE64(r);
  t->ino = ReadBE64(r);
  t->size = ReadBE64(r);
  t->mtime_ns = ReadBE64(r);
  return r.ok;
}

// The record of a set: see the layout in docs/architecture.md.
std::vector<uint8_t> CommitRecordImage(const FileSet& s) {
  size_t n = kRecordHead + 4;
  for (const auto& st : s.staged) {
    std::string dir, name;
    SplitDisk(st.tmp, &dir, &name);
    n += 2 + name.size() + 2 + st.target.size() + 8 + kStateSize;
  }
  for (const std::string& r : s.removals) n += 2 + r.size() + kStateSize;
  std::vector<uint8_t> img(n);
  BoundedWriter w = MakeWriter(img.data(), img.size());
  WriteBytes(w, kRecordMagic, 8);
  WriteBE32(w, (uint32_t)(n - 12));
  WriteBE64(w, s.seq);
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
    WriteState(w, st.before);
  }
  for (size_t i = 0; i < s.removals.size(); i++) {
    text(s.removals[i]);
    WriteState(w, s.removalsBefore[i]);
  }
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

// Reads a record of either format (through the bounded reader) into a set;
// false when it is damaged or half written.
bool ParseCommitRecord(const std::vector<uint8_t>& img, FileSet* s) {
  if (img.size() < kRecordHeadOld + 4 || img.size() > kMaxRecordSize) return false;
  if (GetBE32(img.data() + img.size() - 4) != Crc32(img.data(), (uint32_t)img.size() - 4)) return false;
  BoundedReader r = MakeReader(img.data(), img.size() - 4);
  const uint8_t* magic = ReadSpan(r, 8);
  if (!magic || ReadBE32(r) != img.size() - 12) return false;
  if (std::memcmp(magic, kRecordMagicOld, 8) == 0) s->oldFormat = true;
  else if (std::memcmp(magic, kRecordMagic, 8) != 0) return false;
  if (!s->oldFormat) s->seq = ReadBE64(r);
  const uint32_t renames = ReadBE32(r), removals = ReadBE32(r);
  auto text = [&r](std::string* out) {
    const uint16_t len = ReadBE16(r);
    const uint8_t* p = ReadSpan(r, len);
    if (!p) return false;
    out->assign(reinterpret_cast<const char*>(p), len);
    return true;
  };
  // Each entry takes at least 4 bytes, so the counts are bounded by the size.
  if (!r.ok || renames > ReaderLeft(r) / 4 || removals > ReaderLeft(r) / 2) return false;
  for (uint32_t i = 0; i < renames; i++) {
    std::string name, target;
    if (!text(&name) || !text(&target)) return false;
    const uint32_t size = ReadBE32(r), crc = ReadBE32(r);
    TargetState before;
    if (!s->oldFormat && !ReadState(r, &before)) return false;
    if (!r.ok || !RecordPathOk(target) || name.find('/') != std::string::npos || !RecordPathOk(name) ||
        name.compare(0, sizeof kTempPrefix - 1, kTempPrefix) != 0)
      return false;
    std::string dir, base;
    SplitDisk(target, &dir, &base);
    s->staged.push_back({JoinDisk(dir, name), target, size, crc, before});
  }
  for (uint32_t i = 0; i < removals; i++) {
    std::string path;
    TargetState before;
    if (!text(&path) || !RecordPathOk(path) || (!s->oldFormat && !ReadState(r, &before))) return false;
    s->removals.push_back(path);
    s->removalsBefore.push_back(before);
  }
  return r.ok && ReaderLeft(r) == 0;
}

// The whole content of a regular file (not a link) of at most max bytes.
bool ReadSmallFile(const std::string& path, uint32_t max, std::vector<uint8_t>* out) {
  int fd = OpenPlainFile(path.c_str(), O_RDONLY | O_NOFOLLOW);
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
  int fd = OpenPlainFile(path.c_str(), O_RDONLY | O_NOFOLLOW);
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

bool IsRemoved(const FileSet& s, const std::string& path) {
  return std::find(s.removals.begin(), s.removals.end(), path) != s.removals.end();
}

// The targets written since the record (a newer state the record must not
// replace): a target not yet replaced that is no longer what it was, or one
// replaced whose new bytes are gone again. Empty for a record of the old
// format, which knows no states.
std::vector<std::string> ChangedTargets(const FileSet& s) {
  std::vector<std::string> out;
  if (s.oldFormat) return out;
  for (const auto& st : s.staged) {
    const TargetState now = StateOf(st.target);
    if (Exists(st.tmp)) {
      if (WrittenSince(st.before, now)) out.push_back(st.target);
      continue;
    }
    // Renamed, or its new file lost on the way (the target then is as it was).
    if (SameState(now, st.before)) continue;
    if (FileHolds(st.target, st.size, st.crc) || (IsRemoved(s, st.target) && !now.present)) continue;
    out.push_back(st.target);
  }
  for (size_t i = 0; i < s.removals.size(); i++) {
    const std::string& r = s.removals[i];
    if (std::any_of(s.staged.begin(), s.staged.end(), [&r](const FileSet::Staged& st) { return st.target == r; }))
      continue;  // replaced and deleted by the set itself: judged above
    const TargetState now = StateOf(r);
    if (now.present && WrittenSince(s.removalsBefore[i], now)) out.push_back(r);
  }
  return out;
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
    if (FileHolds(st.target, st.size, st.crc) || (IsRemoved(s, st.target) && !Exists(st.target))) continue;
    return "a new file waiting to replace an old one is gone";
  }
  for (const std::string& r : s.removals) {
    if (!ParentsAreFolders(r)) return "a folder of its files is missing";
    if (IsFolderEntry(r)) return "a file to be deleted is now a folder";
  }
  return nullptr;
}

// One rename of a set, through the test seam.
bool RenameStep(const std::string& from, const std::string& to) {
  {
    std::lock_guard<std::mutex> g(g_files.hookLock);
    if (g_files.renameHook && !g_files.renameHook(from.c_str(), to.c_str(), g_files.renameHookUser)) {
      errno = EIO;
      return false;
    }
  }
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Renames and removes as the set says; with skip_done a staged file that is
// gone counts as renamed. Stops at the first failure (logged); *done (may be
// null) counts the steps carried out.
bool ApplyFileSet(const FileSet& s, bool skip_done, size_t* done = nullptr) {
  size_t n = 0;
  for (const auto& st : s.staged) {
    if (skip_done && !Exists(st.tmp)) continue;
    if (!RenameStep(st.tmp, st.target)) {
      DebugLog("CommitFileSet: Konnte %s nicht ersetzen\n", st.target.c_str());
      if (done) *done = n;
      return false;
    }
    n++;
  }
  for (const std::string& r : s.removals) {
    if (::unlink(r.c_str()) != 0 && errno != ENOENT) {
      DebugLog("CommitFileSet: Konnte %s nicht loeschen\n", r.c_str());
      if (done) *done = n;
      return false;
    }
    n++;
  }
  if (done) *done = n;
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

// Deletes a record, lastingly (a record that came back would be judged again).
void DeleteRecord(const std::string& name) {
  ::unlink(name.c_str());
  if (g_files.syncWrites.load(std::memory_order_relaxed)) SyncDir("");
}

// Drops a record none of whose remaining steps may be carried out: its
// staged files and the record go; each step is logged.
void DropRecord(const std::string& name, const FileSet& s, const char* caller) {
  DebugLog("%s: %s verworfen, seine offenen Schritte werden nicht ausgefuehrt\n", caller, name.c_str());
  for (const auto& st : s.staged) {
    const bool open = Exists(st.tmp);
    DebugLog("%s:   %s -> %s %s\n", caller, st.tmp.c_str(), st.target.c_str(),
             open ? "nicht ausgefuehrt" : "war ausgefuehrt");
    if (open && ParentsAreFolders(st.tmp)) ::unlink(st.tmp.c_str());  // never through a link
  }
  for (const std::string& r : s.removals) DebugLog("%s:   - %s nicht ausgefuehrt\n", caller, r.c_str());
  DeleteRecord(name);
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

bool SetNames(const FileSet& s, const std::string& path) {
  if (IsRemoved(s, path)) return true;
  return std::any_of(s.staged.begin(), s.staged.end(), [&path](const FileSet::Staged& st) { return st.target == path; });
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += (out.empty() ? "" : "\n") + l;
  return out;
}

void SettlePendingFor(const std::string& disk_path) {
  if (g_sets.count.load(std::memory_order_acquire) == 0) return;
  std::lock_guard<std::mutex> g(g_sets.lock);
  for (size_t i = 0; i < g_sets.pending.size();) {
    PendingCommit& p = g_sets.pending[i];
    if (!SetNames(p.set, disk_path)) {
      i++;
      continue;
    }
    // Finished now if it can be, else dropped: the new write must not be
    // replaced by it later.
    if (ChangedTargets(p.set).empty() && !CommitRecordProblem(p.set) && ApplyFileSet(p.set, true)) {
      SyncSetFolders(p.set);
      DeleteRecord(p.record);
      DebugLog("CommitFileSet: %s vor dem Schreiben von %s abgeschlossen\n", p.record.c_str(), disk_path.c_str());
    } else {
      DebugLog("CommitFileSet: %s kann vor dem Schreiben von %s nicht abgeschlossen werden\n", p.record.c_str(),
               disk_path.c_str());
      DropRecord(p.record, p.set, "CommitFileSet");
    }
    g_sets.pending.erase(g_sets.pending.begin() + (ptrdiff_t)i);
    g_sets.count.store((uint32_t)g_sets.pending.size(), std::memory_order_release);
  }
}

}  // namespace

const char* CommitPartText(void) { return GetCatalogStr(1702); }
int32_t TakePartSaveNotice(void) { return g_sets.untold.exchange(0) ? 1 : 0; }

void SetCommitRecordHook(CommitRecordHook hook) { g_files.recordHook.store(hook); }
void SetCommitDroppedHook(CommitDroppedHook hook) { g_files.droppedHook.store(hook); }

void FileSetRenameHook(FileRenameHook hook, void* user) {
  std::lock_guard<std::mutex> g(g_files.hookLock);
  g_files.renameHook = hook;
  g_files.renameHookUser = user;
}

int32_t FinishCommitRecords() {
  // A new start: what this run left pending is judged from the disk again.
  {
    std::lock_guard<std::mutex> g(g_sets.lock);
    g_sets.pending.clear();
    g_sets.count.store(0, std::memory_order_release);
  }
  int32_t unfinished = 0;
  struct Found {
    std::string name;
    FileSet set;
    uint64_t mtime_ns;
  };
  std::vector<Found> found;
  for (const std::string& name : CommitRecordNames()) {
    std::vector<uint8_t> img;
    Found f{name, FileSet{}, 0};
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0) continue;
    if (!S_ISREG(st.st_mode) || !ReadSmallFile(name, kMaxRecordSize, &img) || !ParseCommitRecord(img, &f.set)) {
      // Written only part-way or damaged: no rename had begun (the record is
      // whole on disk before the first one). Its staged files are swept below.
      DebugLog("FinishCommitRecords: Beschaedigter Eintrag %s verworfen\n", name.c_str());
      if (!RemoveTree(name)) {
        DebugLog("FinishCommitRecords: Konnte %s nicht loeschen\n", name.c_str());
        unfinished++;
      }
      continue;
    }
    f.mtime_ns = (uint64_t)st.st_mtim.tv_sec * 1000000000ull + (uint64_t)st.st_mtim.tv_nsec;
    found.push_back(std::move(f));
  }
  // In the order written: the version before's records first (by the time
  // they were written), then by sequence number.
  std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
    if (a.set.oldFormat != b.set.oldFormat) return a.set.oldFormat;
    if (a.set.oldFormat) return a.mtime_ns < b.mtime_ns;
    return a.set.seq < b.set.seq;
  });
  {
    std::lock_guard<std::mutex> g(g_sets.lock);
    for (const Found& f : found) g_sets.nextSeq = std::max(g_sets.nextSeq, f.set.seq + 1);
  }
  for (Found& f : found) {
    const std::string& name = f.name;
    const FileSet& s = f.set;
    // A path whose folder is a link is never followed, not even to judge it.
    const bool inside = std::all_of(s.staged.begin(), s.staged.end(),
                                    [](const FileSet::Staged& st) { return ParentsAreFolders(st.target); }) &&
                        std::all_of(s.removals.begin(), s.removals.end(), ParentsAreFolders);
    const std::vector<std::string> changed = inside ? ChangedTargets(s) : std::vector<std::string>{};
    if (!changed.empty()) {
      // A step alone could mix two saves: none is carried out.
      DebugLog("FinishCommitRecords: %s: Dateien wurden seitdem neu geschrieben und behalten ihren neueren Stand:\n",
               name.c_str());
      for (const std::string& c : changed) DebugLog("FinishCommitRecords:   %s\n", c.c_str());
      DropRecord(name, s, "FinishCommitRecords");
      if (CommitDroppedHook hook = g_files.droppedHook.load()) hook(name.c_str(), JoinLines(changed).c_str());
      continue;
    }
    const char* problem = CommitRecordProblem(s);
    if (!problem && !ApplyFileSet(s, true)) problem = "a file could not be renamed or deleted";
    if (problem) {
      DebugLog("FinishCommitRecords: %s kann nicht abgeschlossen werden (%s), er bleibt mit seinen Dateien\n",
               name.c_str(), problem);
      for (const auto& st : s.staged) DebugLog("FinishCommitRecords:   %s -> %s\n", st.tmp.c_str(), st.target.c_str());
      for (const std::string& r : s.removals) DebugLog("FinishCommitRecords:   - %s\n", r.c_str());
      if (CommitRecordHook hook = g_files.recordHook.load()) hook(name.c_str(), problem);
      unfinished++;
      // A write of one of its files in this run finishes or drops it first.
      std::lock_guard<std::mutex> g(g_sets.lock);
      g_sets.pending.push_back({name, std::move(f.set)});
      g_sets.count.store((uint32_t)g_sets.pending.size(), std::memory_order_release);
      continue;
    }
    SyncSetFolders(s);
    ::unlink(name.c_str());
    SyncDir("");
    DebugLog("FinishCommitRecords: %s abgeschlossen (%zu Dateien ersetzt, %zu geloescht)%s\n", name.c_str(),
             s.staged.size(), s.removals.size(), s.oldFormat ? " (altes Format)" : "");
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
  // Something that is no plain file is never replaced.
  if (NotPlainThere(target)) {
    DebugLog("FileSetWrite: %s ist keine einfache Datei und bleibt, wie sie ist\n", path);
    s->failed = true;
    return 0;
  }
  // A change left pending over this file is settled before it is compared.
  SettlePendingFor(target);
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
    int in = OpenPlainFile(target.c_str(), O_RDONLY | O_NOFOLLOW);
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
  s->staged.push_back({tmp, target, length, length ? Crc32(data, length) : 0, TargetState{}});
  return 1;
}

int32_t FileSetRemove(FileSet* s, const char* path) {
  if (!s || s->failed) return 0;
  std::string target;
  if (!ResolveDisk(path, &target) || target == ".") {
    s->failed = true;
    return 0;
  }
  SettlePendingFor(target);
  s->removals.push_back(target);
  s->removalsBefore.push_back(TargetState{});
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
  // A change of another set left pending over these files goes first.
  for (const auto& st : s->staged) SettlePendingFor(st.target);
  for (const std::string& r : s->removals) SettlePendingFor(r);
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
  // One rename or removal is all or nothing by itself; more need the record,
  // which keeps what each target is now.
  std::string record;
  const bool recorded = s->staged.size() + s->removals.size() > 1;
  if (recorded) {
    for (auto& st : s->staged) st.before = StateOf(st.target);
    for (size_t i = 0; i < s->removals.size(); i++) s->removalsBefore[i] = StateOf(s->removals[i]);
    s->seq = NextRecordSeq();
    if (!WriteCommitRecord(*s, &record)) {
      DebugLog("CommitFileSet: Konnte den Eintrag der Aenderung nicht schreiben\n");
      AbortFileSet(s);
      return 0;
    }
  }
  size_t done = 0;
  bool ok = ApplyFileSet(*s, false, &done);
  if (!ok && done == 0) {
    // Nothing changed: the failure means just that, the record goes.
    if (recorded) DeleteRecord(record);
    for (const auto& st : s->staged) ::unlink(st.tmp.c_str());
    DebugLog("CommitFileSet: Nichts wurde geaendert\n");
    delete s;
    return 0;
  }
  if (!ok) {
    DebugLog("CommitFileSet: Die uebrigen Schritte werden noch einmal versucht\n");
    ok = ApplyFileSet(*s, true);
  }
  SyncSetFolders(*s);
  if (ok) {
    if (recorded) ::unlink(record.c_str());
    delete s;
    return 1;
  }
  // Partly done: the record stays for the next start, and a write of one of
  // its files in this run finishes or drops it first.
  DebugLog("CommitFileSet: %s bleibt, die Aenderung ist nur zum Teil geschehen; der naechste Start schliesst sie ab\n",
           record.c_str());
  {
    std::lock_guard<std::mutex> g(g_sets.lock);
    g_sets.pending.push_back({record, std::move(*s)});
    g_sets.count.store((uint32_t)g_sets.pending.size(), std::memory_order_release);
  }
  g_sets.untold.fetch_add(1);
  delete s;
  return FILESET_PART;
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
  bool ok = (!path || ResolveDisk(path, &target)) && FileStreamClose(s);
  if (ok && NotPlainThere(target)) {
    DebugLog("CommitFileStream: %s ist keine einfache Datei und bleibt, wie sie ist\n", target.c_str());
    ok = false;
  }
  if (ok) SettlePendingFor(target);
  ok = ok && ::rename(s->tmp.c_str(), target.c_str()) == 0;
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
