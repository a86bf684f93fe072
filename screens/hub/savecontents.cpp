// The list of contents of a save game. See savecontents.h.
#include "savecontents.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <strings.h>

#include "routinen/system/byteorder.h"
#include "routinen/system/checksum.h"
#include "platform/plainfile.h"

const char kSaveContentsName[] = "Inhalt.qoe";

namespace {

constexpr char kMagic[8] = {'Q', 'I', 'N', 'H', 'A', 'L', 'T', '1'};
constexpr uint32_t kMaxPath = 1024;
// The most bytes a list takes per file it names: the path's length, the
// longest path, the size and the checksum.
constexpr uint64_t kMaxEntrySize = 2 + kMaxPath + 8;
// However many files a save holds, no list is longer.
constexpr uint64_t kMaxListSize = 64u << 20;
// Temporary files of the file layer's writes (never copied, never listed).
constexpr char kTempPrefix[] = ".qoetmp-";

// Tests: the files whose checksums were worked out (any thread).
std::atomic<uint64_t> g_filesRead{0};

// A path a save holds: under Data/ or Map/, parts neither empty nor "." or
// "..", no '\' and no control character.
bool PathOk(const std::string& p) {
  if (p.rfind("Data/", 0) != 0 && p.rfind("Map/", 0) != 0) return false;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find('/', start);
    if (end == std::string::npos) end = p.size();
    const std::string part = p.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    start = end + 1;
  }
  for (const char c : p)
    if (static_cast<uint8_t>(c) < 32 || c == '\\' || c == 127) return false;
  return true;
}

// Calls visit(path in the save, lstat of it) for every entry under disk
// folder dir, whose path in the save is rel (ending in '/'), links never
// followed; then walks each folder for which visit returned true. False when
// a folder or an entry could not be read.
template <typename Visit>
bool WalkFolder(const std::string& dir, const std::string& rel, const Visit& visit) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return false;
  bool ok = true;
  std::vector<std::string> subs;
  while (dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (!std::strcmp(n, ".") || !std::strcmp(n, "..")) continue;
    struct stat st;
    if (::fstatat(dirfd(d), n, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
      continue;
    }
    if (visit(rel + n, st) && S_ISDIR(st.st_mode)) subs.push_back(n);
  }
  ::closedir(d);
  for (const std::string& s : subs) ok = WalkFolder(dir + "/" + s, rel + s + "/", visit) && ok;
  return ok;
}

// The regular files under disk folder dir, as rel + name.
bool Walk(const std::string& dir, const std::string& rel, std::vector<SaveContentsEntry>* out) {
  return WalkFolder(dir, rel, [out](const std::string& path, const struct stat& st) {
    // No program path names a file so: it is no game file (and no list holds it).
    if (!PathOk(path) || path.size() > kMaxPath) return false;
    if (S_ISREG(st.st_mode)) out->push_back({path, static_cast<uint32_t>(st.st_size), 0});
    return true;
  });
}

// Size and CRC-32 of a disk file read whole; false when it cannot be read.
bool ReadFileSum(const std::string& path, uint32_t* size, uint32_t* crc) {
  g_filesRead.fetch_add(1);
  // A link is never followed, a FIFO never waited on.
  const int fd = OpenPlainFile(path.c_str(), O_RDONLY | O_NOFOLLOW);
  if (fd < 0) return false;
  uint8_t buffer[1 << 16];
  uint64_t total = 0;
  uint32_t sum = 0;
  bool ok = true;
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      ok = false;
      break;
    }
    if (got == 0) break;
    sum = Crc32(buffer, static_cast<uint32_t>(got), sum);
    total += static_cast<uint64_t>(got);
  }
  ::close(fd);
  if (!ok || total > 0xFFFFFFFFu) return false;
  *size = static_cast<uint32_t>(total);
  *crc = sum;
  return true;
}

// The kinds a scan tells apart.
bool IsIndexName(const char* n) {
  return !strcasecmp(n, "Path") || !strcasecmp(n, "SfxPath") || !strcasecmp(n, "RizizOzezPath") ||
         !strcasecmp(n, "Screendat");
}

// Walks disk folder dir (rel its path in the save, ending in '/'): every
// entry seen by lstat, never followed. The first that is neither a plain
// file nor a folder goes to *not_plain; the plain files a load copies (not
// the indexes and layouts at the top, not temporary files) to *files.
bool ScanFolder(const std::string& dir, const std::string& rel, SaveFolderScan* scan) {
  return WalkFolder(dir, rel, [&rel, scan](const std::string& path, const struct stat& st) {
    const char* n = path.c_str() + path.rfind('/') + 1;
    const bool top = path.size() - std::strlen(n) == rel.size();
    if (S_ISDIR(st.st_mode)) return true;
    if (!S_ISREG(st.st_mode)) {
      if (scan->notPlain.empty() || path < scan->notPlain) scan->notPlain = path;
    } else if (!(top && IsIndexName(n)) && std::strncmp(n, kTempPrefix, sizeof kTempPrefix - 1) != 0) {
      scan->files.push_back(path);
    }
    return false;
  });
}

}  // namespace

std::vector<uint8_t> SaveContentsImage(const std::vector<SaveContentsEntry>& entries) {
  std::vector<uint8_t> out(kMagic, kMagic + 8);
  auto put32 = [&](uint32_t v) {
    uint8_t b[4];
    PutBE32(b, v);
    out.insert(out.end(), b, b + 4);
  };
  put32(static_cast<uint32_t>(entries.size()));
  for (const SaveContentsEntry& e : entries) {
    uint8_t b[2];
    PutBE16(b, static_cast<uint16_t>(e.path.size()));
    out.insert(out.end(), b, b + 2);
    out.insert(out.end(), e.path.begin(), e.path.end());
    put32(e.size);
    put32(e.crc);
  }
  put32(Crc32(out.data(), static_cast<uint32_t>(out.size())));
  return out;
}

bool ReadSaveContents(const uint8_t* data, uint32_t size, std::vector<SaveContentsEntry>* entries) {
  entries->clear();
  if (!data || size < 16 || std::memcmp(data, kMagic, 8) != 0) return false;
  if (Crc32(data, size - 4) != GetBE32(data + size - 4)) return false;
  BoundedReader r = MakeReader(data, size - 4);
  ReaderSkip(r, 8);
  const uint32_t count = ReadBE32(r);
  // Each entry takes at least 11 bytes: a count beyond the bytes is damage.
  if (!r.ok || count > ReaderLeft(r) / 11) return false;
  std::vector<SaveContentsEntry> out;
  out.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint16_t n = ReadBE16(r);
    const uint8_t* p = n && n <= kMaxPath ? ReadSpan(r, n) : nullptr;
    if (!p) return false;
    SaveContentsEntry e{std::string(reinterpret_cast<const char*>(p), n), 0, 0};
    e.size = ReadBE32(r);
    e.crc = ReadBE32(r);
    if (!r.ok || !PathOk(e.path)) return false;
    // Sorted by path, each once: a path named twice or out of order is damage.
    if (!out.empty() && !(out.back().path < e.path)) return false;
    out.push_back(std::move(e));
  }
  if (ReaderLeft(r) != 0) return false;
  *entries = std::move(out);
  return true;
}

bool ListSaveFiles(const std::string& root, std::vector<SaveContentsEntry>* entries) {
  entries->clear();
  bool ok = true;
  for (const char* part : {"Data", "Map"}) {
    struct stat st;
    const std::string dir = root + "/" + part;
    if (::lstat(dir.c_str(), &st) != 0) continue;  // a save without map files
    ok = S_ISDIR(st.st_mode) && Walk(dir, std::string(part) + "/", entries) && ok;
  }
  std::sort(entries->begin(), entries->end(),
            [](const SaveContentsEntry& a, const SaveContentsEntry& b) { return a.path < b.path; });
  return ok;
}

bool MakeSaveContents(const std::string& root, std::vector<SaveContentsEntry>* entries) {
  if (!ListSaveFiles(root, entries)) return false;
  for (SaveContentsEntry& e : *entries)
    if (!ReadFileSum(root + "/" + e.path, &e.size, &e.crc)) return false;
  return true;
}

std::string CheckSaveContents(const std::string& root, const std::vector<SaveContentsEntry>& entries) {
  for (const SaveContentsEntry& e : entries) {
    uint32_t size = 0, crc = 0;
    if (!ReadFileSum(root + "/" + e.path, &size, &crc) || size != e.size || crc != e.crc) return e.path;
  }
  return "";
}

bool ScanSaveFolders(const std::string& root, SaveFolderScan* scan) {
  *scan = SaveFolderScan{};
  std::vector<std::string> names;
  if (DIR* d = ::opendir(root.c_str())) {
    while (dirent* e = ::readdir(d)) names.push_back(e->d_name);
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  bool ok = true;
  for (const char* part : {"Data", "Map"}) {
    // The folder as the file layer finds it: its own spelling, else the
    // first in byte order that differs in letter case only.
    std::string& found = part[0] == 'D' ? scan->dataDir : scan->mapDir;
    for (const std::string& n : names)
      if (n == part || (found.empty() && !strcasecmp(n.c_str(), part))) found = n;
    struct stat st;
    const std::string dir = root + "/" + found;
    if (found.empty() || ::lstat(dir.c_str(), &st) != 0) {
      ok = false;
      continue;
    }
    if (!S_ISDIR(st.st_mode)) {
      if (scan->notPlain.empty()) scan->notPlain = found;  // Data before Map
      continue;
    }
    ok = ScanFolder(dir, std::string(part) + "/", scan) && ok;
  }
  std::sort(scan->files.begin(), scan->files.end());
  return ok;
}

uint64_t MaxSaveContentsSize(size_t files) {
  return std::min<uint64_t>(16 + static_cast<uint64_t>(files) * kMaxEntrySize, kMaxListSize);
}

std::string SaveListMismatch(const std::vector<SaveContentsEntry>& entries, const std::vector<std::string>& files,
                             bool* unnamed) {
  *unnamed = false;
  size_t i = 0, k = 0;
  while (i < entries.size() || k < files.size()) {
    if (k == files.size() || (i < entries.size() && entries[i].path < files[k])) return entries[i].path;
    if (i == entries.size() || files[k] < entries[i].path) {
      *unnamed = true;
      return files[k];
    }
    ++i;
    ++k;
  }
  return "";
}

uint64_t SaveContentsFilesRead() { return g_filesRead.load(); }
