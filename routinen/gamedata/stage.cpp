// Staged writes of the game data layer: an in-memory overlay of whole files
// per thread, put on disk by one FileSet at the outermost commit.
#include "stage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"

namespace {

const char kPrefsPath[] = ".\\Data\\Prefs.qoe";

struct StagedFile {
  std::string path;  // the program path it was written under
  bool removed = false;
  std::vector<uint8_t> bytes;
};

// One open stage of a thread.
struct Stage {
  int depth = 0;
  bool failed = false;
  std::map<std::string, StagedFile> files;  // by disk path
  std::vector<std::string> folders;         // program paths, in the order asked
  OwnPlayer before{}, own{};
};

// The stage module's state: the open stage of this thread (each thread has
// its own; none is open between the steps of a thread).
struct StageState {
  Stage* open = nullptr;
};
thread_local StageState t_stage;

bool DiskPath(const char* path, std::string* out) {
  char disk[1024];
  if (!path || !ResolvePath(path, disk, sizeof disk)) return false;
  *out = disk;
  return true;
}

const StagedFile* Find(const char* path) {
  std::string key;
  if (!t_stage.open || !DiskPath(path, &key)) return nullptr;
  auto it = t_stage.open->files.find(key);
  return it == t_stage.open->files.end() ? nullptr : &it->second;
}

bool IsFolder(const std::string& disk) {
  struct stat st;
  return ::stat(disk.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The own player fields the steps may change, copied back when they did.
void CopyChanged(const OwnPlayer& before, const OwnPlayer& now, OwnPlayer* to) {
  if (now.PlayerId != before.PlayerId) to->PlayerId = now.PlayerId;
  if (std::memcmp(now.LordName, before.LordName, sizeof now.LordName))
    std::memcpy(to->LordName, now.LordName, sizeof now.LordName);
  if (now.ActiveTown != before.ActiveTown) to->ActiveTown = now.ActiveTown;
  if (now.Anarchy != before.Anarchy) to->Anarchy = now.Anarchy;
  if (now.Mark != before.Mark) to->Mark = now.Mark;
  if (now.InfoFlags != before.InfoFlags) to->InfoFlags = now.InfoFlags;
  if (now.ReceivedQuarter != before.ReceivedQuarter) to->ReceivedQuarter = now.ReceivedQuarter;
}

bool CommitStage(Stage* s) {
  if (s->failed) return false;
  // Folders first; the ones made here go again when the files fail.
  std::vector<std::string> made;
  bool ok = true;
  for (const std::string& f : s->folders) {
    std::string disk;
    if (!DiskPath(f.c_str(), &disk)) { ok = false; break; }
    if (IsFolder(disk)) continue;
    LockHandle l = CreateDir(f.c_str());
    if (!l) { ok = false; break; }
    UnLock(l);
    made.push_back(disk);
  }
  FileSet* set = ok ? BeginFileSet() : nullptr;
  ok = set != nullptr;
  for (auto it = s->files.begin(); ok && it != s->files.end(); ++it) {
    const StagedFile& f = it->second;
    if (f.removed) {
      struct stat st;
      if (::lstat(it->first.c_str(), &st) == 0) ok = FileSetRemove(set, f.path.c_str()) != 0;
    } else {
      ok = FileSetWrite(set, f.path.c_str(), f.bytes.data(), (uint32_t)f.bytes.size()) != 0;
    }
  }
  if (set) {
    if (ok) ok = CommitFileSet(set) != 0;
    else AbortFileSet(set);
  }
  if (!ok) {
    for (auto it = made.rbegin(); it != made.rend(); ++it) ::rmdir(it->c_str());
    return false;
  }
  CopyChanged(s->before, s->own, OwnPlayerPtr);
  return true;
}

// The stage's Prefs.qoe image, made as CheckPrefs would see it: a missing
// file gives the defaults, a short one is extended with them.
std::vector<uint8_t>* PrefsImage() {
  std::string key;
  if (!DiskPath(kPrefsPath, &key)) return nullptr;
  auto it = t_stage.open->files.find(key);
  if (it != t_stage.open->files.end() && !it->second.removed && it->second.bytes.size() >= PREFS_FILE_SIZE)
    return &it->second.bytes;
  std::vector<uint8_t> img(PREFS_FILE_SIZE, 0);
  std::memcpy(img.data(), "PREFV001", 8);
  PutBE32(img.data() + 8, PREFS_FILE_SIZE - 12);
  const PrefsFieldInfo* t = PrefsLayout();
  for (uint32_t k = 0; k < PREFS_FIELD_COUNT; ++k) {
    if (t[k].size == 1) img[t[k].offset] = (uint8_t)t[k].def;
    else if (t[k].size == 2) PutBE16(img.data() + t[k].offset, (uint16_t)t[k].def);
    else if (t[k].size == 4) PutBE32(img.data() + t[k].offset, t[k].def);
  }
  if (it == t_stage.open->files.end() || !it->second.removed) {
    uint32_t size = 0;
    uint8_t* old = static_cast<uint8_t*>(
        it != t_stage.open->files.end() ? nullptr : LoadFile2MemSize(kPrefsPath, MEMF_PUBLIC, &size));
    if (it != t_stage.open->files.end()) {
      size = (uint32_t)it->second.bytes.size();
      if (size > img.size()) img.resize(size);
      std::memcpy(img.data(), it->second.bytes.data(), size);
    } else if (old) {
      if (size > img.size()) img.resize(size);
      std::memcpy(img.data(), old, size);
    }
    if (!old && it == t_stage.open->files.end() && GeFileSize(kPrefsPath) > 0) return nullptr;  // unreadable
    if (old) FreeVec(old);
  }
  StagedFile& f = t_stage.open->files[key];
  f.path = kPrefsPath;
  f.removed = false;
  f.bytes.swap(img);
  return &f.bytes;
}

}  // namespace

StageScope::StageScope() {
  if (!t_stage.open) {
    t_stage.open = new Stage;
    t_stage.open->before = *OwnPlayerPtr;
    t_stage.open->own = *OwnPlayerPtr;
    owner = true;
  }
  t_stage.open->depth++;
}

StageScope::~StageScope() {
  Stage* s = t_stage.open;
  if (!s) return;
  if (--s->depth == 0) {
    t_stage.open = nullptr;
    delete s;
  }
}

bool StageScope::Commit() {
  Stage* s = t_stage.open;
  if (!s) return false;
  if (!owner || s->depth > 1) return !s->failed;
  const bool ok = CommitStage(s);
  s->files.clear();
  s->folders.clear();
  s->failed = true;  // a second commit changes nothing
  return ok;
}

void StageScope::Fail() {
  if (t_stage.open) t_stage.open->failed = true;
}

bool StageOpen() { return t_stage.open != nullptr; }

void* GdLoadFile(const char* path, uint32_t alloc_flags, uint32_t* size_out) {
  if (size_out) *size_out = 0;
  const StagedFile* f = Find(path);
  if (!f) return LoadFile2MemSize(path, alloc_flags, size_out);
  if (f->removed || f->bytes.empty()) return nullptr;
  void* d = AllocVec((uint32_t)f->bytes.size(), alloc_flags);
  if (!d) return nullptr;
  std::memcpy(d, f->bytes.data(), f->bytes.size());
  if (size_out) *size_out = (uint32_t)f->bytes.size();
  return d;
}

bool GdFileExists(const char* path) {
  if (const StagedFile* f = Find(path)) return !f->removed;
  std::string disk;
  struct stat st;
  return DiskPath(path, &disk) && ::stat(disk.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int32_t GdSaveFile(const char* path, const void* data, uint32_t length) {
  if (!t_stage.open) {
    if (length) return SaveMem2File(path, data, length);
    FileHandle f = Open(path, MODE_NEWFILE);
    return f ? Close(f) : 0;
  }
  std::string key;
  if (!DiskPath(path, &key) || (!data && length)) {
    t_stage.open->failed = true;
    return 0;
  }
  StagedFile& f = t_stage.open->files[key];
  f.path = path;
  f.removed = false;
  f.bytes.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length);
  return 1;
}

int32_t GdRemoveFile(const char* path) {
  if (!t_stage.open) return GdFileExists(path) ? DeleteFileA(path) != 0 : 1;
  std::string key;
  if (!DiskPath(path, &key)) {
    t_stage.open->failed = true;
    return 0;
  }
  StagedFile& f = t_stage.open->files[key];
  f.path = path;
  f.removed = true;
  f.bytes.clear();
  return 1;
}

void GdMakeDir(const char* path) {
  if (!t_stage.open) {
    UnLock(CreateDir(path));
    return;
  }
  t_stage.open->folders.push_back(path);
}

void GdMakeGameFolders() {
  static const char* const kFolders[] = {".\\Data", ".\\Data\\POP3In", ".\\Data\\POP3Out", ".\\Data\\MailIn",
                                         ".\\Data\\MailOut", ".\\Data\\Cities", ".\\Map"};
  for (const char* f : kFolders) GdMakeDir(f);
}

uint32_t GdPrefs(uint32_t field, uint32_t write, uint32_t value) {
  if (!t_stage.open) return CheckPrefs(field, write, value);
  const PrefsFieldInfo* t = PrefsLayout();
  if (field >= PREFS_FIELD_COUNT || t[field].size > 4) return 0xFFFFFFFFu;
  std::vector<uint8_t>* img = PrefsImage();
  if (!img) {
    t_stage.open->failed = true;
    return 0xFFFFFFFFu;
  }
  uint8_t* p = img->data() + t[field].offset;
  if (write) {
    if (t[field].size == 1) p[0] = (uint8_t)value;
    else if (t[field].size == 2) PutBE16(p, (uint16_t)value);
    else PutBE32(p, value);
    return value;
  }
  return t[field].size == 1 ? p[0] : t[field].size == 2 ? GetBE16(p) : GetBE32(p);
}

char* GdPrefsStr(uint32_t field, uint32_t write, const char* text) {
  if (!t_stage.open) return CheckPrefsStr(field, write, text);
  const PrefsFieldInfo* t = PrefsLayout();
  if (field >= PREFS_FIELD_COUNT || t[field].size <= 4) return nullptr;
  std::vector<uint8_t>* img = PrefsImage();
  if (!img) {
    t_stage.open->failed = true;
    return nullptr;
  }
  uint8_t* p = img->data() + t[field].offset;
  if (write) {
    if (!text) return nullptr;
    std::memset(p, 0, t[field].size);
    for (uint32_t i = 0; i + 1 < t[field].size && text[i]; ++i) p[i] = (uint8_t)text[i];
    return const_cast<char*>(text);
  }
  char* copy = static_cast<char*>(AllocVec(t[field].size, MEMF_PUBLIC | MEMF_CLEAR));
  if (copy) std::memcpy(copy, p, t[field].size - 1);
  return copy;
}

OwnPlayer* GdOwnPlayer() { return t_stage.open ? &t_stage.open->own : OwnPlayerPtr; }
