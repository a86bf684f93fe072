// Prefs.qoe and BTPrefs.qoe: one field per call, big-endian on disk.
#include "prefs.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "byteorder.h"
#include "catalog.h"
#include "files.h"
#include "memory.h"
#include "platform/log.h"

namespace {

constexpr uint32_t U = 0xFFFFFFFFu;

const PrefsFieldInfo kPrefs[PREFS_FIELD_COUNT] = {
    {12, 2, 0},  {14, 2, 0},  {16, 4, 0},   {20, 1, 0},   {21, 4, U},   // 0-4
    {25, 1, 0},  {26, 40, 0}, {66, 40, 0},  {106, 40, 0}, {146, 4, 0},  // 5-9
    {150, 40, 0}, {190, 4, 0}, {194, 1, 0}, {195, 1, 0},  {200, 1, 0},  // 10-14
    {201, 1, 0}, {202, 1, 0}, {203, 1, 0},  {204, 4, 0},  {208, 4, 0},  // 15-19
    {212, 4, 0}, {216, 4, 0}, {220, 4, 0},  {224, 4, 0},  {228, 1, 0},  // 20-24
    {229, 1, 0}, {230, 2, 0}, {232, 1, 0},  {252, 4, U},  {233, 1, 0},  // 25-29
    {234, 1, 0}, {236, 4, 0}, {240, 1, 0},  {248, 4, 0},  {242, 1, 0},  // 30-34
    {241, 1, 0}, {244, 1, 0}, {243, 1, 0},  {256, 4, 0},  {260, 4, 0},  // 35-39
};

// The prefs module's state record.
struct PrefsModuleState {
  // The field table of the story prefs, built once (then read-only).
  std::once_flag btBuilt;
  PrefsFieldInfo bt[BTPREFS_FIELD_COUNT];
  // Every read-modify-write of a prefs file: any thread.
  std::mutex lock;
  // The repairs the player must know of (PrefsRepair bits), set when a
  // repaired file was written; taken by TakePrefsRepairs (any thread).
  std::atomic<uint32_t> repairs{0};
};
PrefsModuleState g_prefs;

const PrefsFieldInfo* BuildBT() {
  std::call_once(g_prefs.btBuilt, [] {
    g_prefs.bt[0] = {12, 4, 0};
    for (uint32_t k = 1; k <= 45; ++k) g_prefs.bt[k] = {(uint16_t)(k <= 12 ? 15 + k : 16 + k), 1, 0};
    g_prefs.bt[46] = {62, 80, 0};
  });
  return g_prefs.bt;
}

// A text of a prefs field: a zero within the first `within` bytes, and no
// control character before it.
bool TextInRange(const uint8_t* p, uint32_t within) {
  for (uint32_t i = 0; i < within; ++i) {
    if (p[i] == 0) return true;
    if (p[i] < 32 || p[i] == 127) return false;
  }
  return false;
}

// Prefs.qoe: the account state, written only by this program, is 0..2.
bool PrefsFieldInRange(const uint8_t* img, uint32_t field) {
  if (field == PREFS_ACCOUNT_STATE) return GetBE16(img + kPrefs[field].offset) <= ACCOUNT_INSTALLED;
  return true;
}

// BTPrefs.qoe: the story to show is one of the story table (0 none); every
// flag is 0 or 1, and "show the story screen at start" only with a story to
// show; the town's name was written from at most 40 characters.
bool BTFieldInRange(const uint8_t* img, uint32_t field) {
  const PrefsFieldInfo& f = g_prefs.bt[field];
  if (field == 0) return GetBE32(img + f.offset) < STORY_STRING_COUNT;
  if (field == 46) return TextInRange(img + f.offset, 41);
  if (img[f.offset] > 1) return false;
  return field != 1 || img[f.offset] == 0 || GetBE32(img + g_prefs.bt[0].offset) != 0;
}

// Prefs.qoe: the account state, the player ID and the lord's name are told.
uint32_t PrefsNotes(const std::vector<uint8_t>& changed) {
  return (changed[PREFS_ACCOUNT_STATE] ? PREFS_REPAIR_ACCOUNT : 0u) |
         (changed[PREFS_PLAYER_ID] ? PREFS_REPAIR_PLAYER_ID : 0u) |
         (changed[PREFS_LORD_NAME] ? PREFS_REPAIR_LORD_NAME : 0u);
}

// BTPrefs.qoe: any field (the stories told, the one to show).
uint32_t BTNotes(const std::vector<uint8_t>& changed) {
  for (uint8_t c : changed)
    if (c) return PREFS_REPAIR_STORY;
  return 0;
}

struct PrefsFileSpec {
  const char* name;      // routine name for the log
  const char* path;
  const char* magic;     // 8 bytes: id and version
  uint32_t full_size;    // size of a new file
  uint32_t min_size;     // a shorter file does not hold every field
  const PrefsFieldInfo* table;
  uint32_t count;
  bool (*inRange)(const uint8_t* img, uint32_t field);  // field k of a whole image
  uint32_t (*notes)(const std::vector<uint8_t>& changed);  // what the player is told
};

const PrefsFileSpec kPrefsSpec = {"CheckPrefs", ".\\Data\\Prefs.qoe", "PREFV001", PREFS_FILE_SIZE,
                                  PREFS_FILE_SIZE, kPrefs, PREFS_FIELD_COUNT, PrefsFieldInRange, PrefsNotes};
PrefsFileSpec BTSpec() {
  return {"RizizOzezPrefs", ".\\Data\\BTPrefs.qoe", "BTPRV001", BTPREFS_FILE_SIZE, BTPREFS_MIN_SIZE,
          BuildBT(), BTPREFS_FIELD_COUNT, BTFieldInRange, BTNotes};
}

// Field k at its default in img.
void DefaultField(const PrefsFileSpec& s, uint8_t* img, uint32_t k) {
  const PrefsFieldInfo& f = s.table[k];
  if (f.size == 1) img[f.offset] = (uint8_t)f.def;
  else if (f.size == 2) PutBE16(img + f.offset, (uint16_t)f.def);
  else if (f.size == 4) PutBE32(img + f.offset, f.def);
  else std::memset(img + f.offset, 0, f.size);
}

// The image of a new file: header, then every field at its default.
void DefaultImage(const PrefsFileSpec& s, uint8_t* img) {
  std::memset(img, 0, s.full_size);
  std::memcpy(img, s.magic, 8);
  PutBE32(img + 8, s.full_size - 12);
  for (uint32_t k = 0; k < s.count; ++k) DefaultField(s, img, k);
}

// What a repair changed: the header (nothing trusted), and per field 0
// kept, FIELD_CUT not whole in the file, FIELD_RANGE out of its range.
enum : uint8_t { FIELD_KEPT = 0, FIELD_CUT = 1, FIELD_RANGE = 2 };
struct PrefsRepairInfo {
  bool header = false;
  uint32_t got = 0;              // bytes the file held
  std::vector<uint8_t> changed;  // per field
  bool Any() const {
    for (uint8_t c : changed)
      if (c) return true;
    return header;
  }
  bool OutOfRange() const {
    for (uint8_t c : changed)
      if (c == FIELD_RANGE) return true;
    return header;
  }
};

// The image of a file as read (got bytes, null none) as every access leaves
// it: a short one keeps every field it holds whole and gets the defaults for
// the rest; one that fails its checks is made anew as far as it failed (a
// wrong header leaves nothing to trust: every field its default; a field out
// of its range its default, in field order, so a check that looks at an
// earlier field sees it repaired).
std::vector<uint8_t> RepairedImage(const PrefsFileSpec& s, const uint8_t* old, uint32_t got, PrefsRepairInfo* r) {
  if (!old) got = 0;
  r->header = false;
  r->got = got;
  r->changed.assign(s.count, FIELD_KEPT);
  std::vector<uint8_t> img(got > s.full_size ? got : s.full_size);
  DefaultImage(s, img.data());
  if (std::memcmp(old ? old : img.data(), s.magic, got < 8 ? got : 8) != 0) {
    r->header = true;
    r->changed.assign(s.count, FIELD_RANGE);
    img.assign(s.full_size, 0);
    DefaultImage(s, img.data());
    return img;
  }
  if (got) std::memcpy(img.data(), old, got);
  if (got < 12) PutBE32(img.data() + 8, s.full_size - 12);
  for (uint32_t k = 0; k < s.count; ++k) {
    const PrefsFieldInfo& f = s.table[k];
    if ((uint32_t)f.offset + f.size <= got) continue;
    DefaultField(s, img.data(), k);
    r->changed[k] = FIELD_CUT;
  }
  for (uint32_t k = 0; k < s.count; ++k) {
    if (s.inRange(img.data(), k)) continue;
    DefaultField(s, img.data(), k);
    r->changed[k] = FIELD_RANGE;
  }
  return img;
}

// The log of a repair: which check failed, which fields were cut.
void LogRepair(const PrefsFileSpec& s, const char* path, const PrefsRepairInfo& r) {
  if (r.OutOfRange()) {
    std::string what = r.header ? std::string("Kopf") : std::string("Feld");
    for (uint32_t k = 0; k < s.count && !r.header; ++k)
      if (r.changed[k] == FIELD_RANGE) what += " " + std::to_string(k);
    DebugLog("%s: Prefs-Datei %s hat ihre Pruefung nicht bestanden (%s), neu aus Standardwerten angelegt\n", s.name,
             path, what.c_str());
  }
  if (!r.header && r.got < s.min_size)
    DebugLog("%s: Prefs-Datei %s ist zu kurz (%u Bytes), ergaenze Standardwerte\n", s.name, path, r.got);
}

// Makes sure the file exists, holds every field and passes its checks. A
// missing file is written with defaults; a short one, or one that fails its
// checks, is made whole (RepairedImage), logged, and what the player must
// know is noted for TakePrefsRepairs. False when the file can be neither
// read nor made.
bool EnsureFile(const PrefsFileSpec& s) {
  FileHandle probe = Open(s.path, MODE_READONLY);
  if (!probe && PathKind(s.path) != PATH_ABSENT) {
    NoteNotPlainFile(s.path);  // a FIFO, a link, a folder: neither read nor replaced
    return false;
  }
  if (!probe) {
    std::vector<uint8_t> img(s.full_size);
    DefaultImage(s, img.data());
    if (!SaveMem2File(s.path, img.data(), s.full_size)) {
      if (s.full_size == BTPREFS_FILE_SIZE)
        DebugLog("RizizOzezPrefs:Konnte Standard Prefs nicht abspeichern!\n");
      else
        DebugLog("%s: Konnte Prefs-Datei %s nicht anlegen !\n", s.name, s.path);
      return false;
    }
    return true;
  }
  Close(probe);
  const uint32_t size = GeFileSize(s.path);
  uint32_t got = 0;
  uint8_t* old = static_cast<uint8_t*>(LoadFile2MemSize(s.path, MEMF_PUBLIC, &got));
  if (size != 0 && !old) {
    DebugLog("%s: Konnte Prefs-Datei %s nicht lesen !\n", s.name, s.path);
    return false;
  }
  PrefsRepairInfo r;
  const std::vector<uint8_t> img = RepairedImage(s, old, old ? got : 0, &r);
  FreeVec(old);
  if (!r.Any()) return true;
  LogRepair(s, s.path, r);
  if (!SaveMem2File(s.path, img.data(), (uint32_t)img.size())) {
    DebugLog("%s: Konnte Prefs-Datei %s nicht ergaenzen !\n", s.name, s.path);
    return false;
  }
  if (const uint32_t notes = s.notes(r.changed)) g_prefs.repairs.fetch_or(notes);
  return true;
}

// Reads or writes the raw bytes of field k. A write replaces the whole file
// (every other byte kept) through SaveMem2File, so a kill leaves the old file
// or the new one; a write that would put a field out of its range is refused.
// False on failure (logged).
bool AccessField(const PrefsFileSpec& s, uint32_t k, bool write, uint8_t* bytes) {
  const PrefsFieldInfo& f = s.table[k];
  bool ok = false;
  if (write) {
    uint32_t size = 0;
    uint8_t* img = static_cast<uint8_t*>(LoadFile2MemSize(s.path, MEMF_PUBLIC, &size));
    ok = img && size >= (uint32_t)f.offset + f.size;
    if (ok) {
      std::memcpy(img + f.offset, bytes, f.size);
      // The file passed its checks as it was read: only this value can fail them.
      for (uint32_t n = 0; n < s.count && ok; ++n) ok = s.inRange(img, n);
      if (!ok) {
        DebugLog("%s: Wert fuer Feld %u ausserhalb seines Bereichs, nicht geschrieben\n", s.name, k);
        FreeVec(img);
        return false;
      }
      ok = SaveMem2File(s.path, img, size) != 0;
    }
    FreeVec(img);
  } else {
    FileHandle fh = Open(s.path, MODE_READONLY);
    ok = fh && Seek(fh, f.offset, OFFSET_BEGINNING) >= 0 && Read(fh, bytes, f.size) == f.size;
    if (fh) Close(fh);
  }
  if (!ok) DebugLog("%s: Konnte Prefs-Wert nicht %s !\n", s.name, write ? "schreiben" : "lesen");
  return ok;
}

uint32_t NumberField(const PrefsFileSpec& s, uint32_t field, uint32_t write, uint32_t value) {
  if (field >= s.count || s.table[field].size > 4) {
    DebugLog("%s: Feld %u ist kein Zahlenfeld\n", s.name, field);
    return U;
  }
  const PrefsFieldInfo& f = s.table[field];
  std::lock_guard<std::mutex> lock(g_prefs.lock);
  if (!EnsureFile(s)) return U;
  uint8_t b[4] = {0, 0, 0, 0};
  if (write) {
    if (f.size == 1) b[0] = (uint8_t)value;
    else if (f.size == 2) PutBE16(b, (uint16_t)value);
    else PutBE32(b, value);
    return AccessField(s, field, true, b) ? value : U;
  }
  if (!AccessField(s, field, false, b)) return U;
  return f.size == 1 ? b[0] : f.size == 2 ? GetBE16(b) : GetBE32(b);
}

char* TextField(const PrefsFileSpec& s, uint32_t field, uint32_t write, const char* text, uint32_t max_chars) {
  if (field >= s.count || s.table[field].size <= 4) {
    DebugLog("%s: Feld %u ist kein Textfeld\n", s.name, field);
    return nullptr;
  }
  const PrefsFieldInfo& f = s.table[field];
  std::lock_guard<std::mutex> lock(g_prefs.lock);
  if (!EnsureFile(s)) return nullptr;
  uint8_t buf[80];
  std::memset(buf, 0, sizeof buf);
  if (write) {
    if (!text) return nullptr;
    for (uint32_t i = 0; i < max_chars && text[i]; ++i) buf[i] = (uint8_t)text[i];
    return AccessField(s, field, true, buf) ? const_cast<char*>(text) : nullptr;
  }
  if (!AccessField(s, field, false, buf)) return nullptr;
  char* copy = static_cast<char*>(AllocVec(f.size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!copy) return nullptr;
  std::memcpy(copy, buf, f.size - 1);  // the last byte stays 0: always terminated
  return copy;
}

}  // namespace

const PrefsFieldInfo* PrefsLayout() { return kPrefs; }
const PrefsFieldInfo* BTPrefsLayout() { return BuildBT(); }

uint32_t CheckPrefs(uint32_t field, uint32_t write, uint32_t value) {
  return NumberField(kPrefsSpec, field, write, value);
}

char* CheckPrefsStr(uint32_t field, uint32_t write, const char* text) {
  return TextField(kPrefsSpec, field, write, text, 39);
}

uint32_t RizizOzezPrefs(uint32_t field, uint32_t write, uint32_t value) {
  return NumberField(BTSpec(), field, write, value);
}

char* RizizOzezPrefsStr(uint32_t field, uint32_t write, const char* text) {
  return TextField(BTSpec(), field, write, text, 40);
}

uint32_t TakePrefsRepairs(void) { return g_prefs.repairs.exchange(0); }

int32_t SaveStandardRizizOzezPrefs() {
  PrefsFileSpec s = BTSpec();
  uint8_t img[BTPREFS_FILE_SIZE];
  DefaultImage(s, img);
  return SaveMem2File(s.path, img, s.full_size) ? 1 : 0;
}

uint8_t* PrefsImageWithFields(const char* path, const uint32_t* fields, const uint32_t* values, uint32_t count,
                              uint32_t* size_out) {
  return PrefsImageWithTexts(path, fields, values, count, nullptr, nullptr, 0, size_out);
}

uint8_t* PrefsImageWithTexts(const char* path, const uint32_t* fields, const uint32_t* values, uint32_t count,
                             const uint32_t* text_fields, const char* const* texts, uint32_t text_count,
                             uint32_t* size_out) {
  if (!path || !size_out || (count && (!fields || !values))) return nullptr;
  if (text_count && (!text_fields || !texts)) return nullptr;
  for (uint32_t i = 0; i < count; ++i)
    if (fields[i] >= PREFS_FIELD_COUNT || kPrefs[fields[i]].size > 4) return nullptr;
  for (uint32_t i = 0; i < text_count; ++i)
    if (text_fields[i] >= PREFS_FIELD_COUNT || kPrefs[text_fields[i]].size <= 4 || !texts[i]) return nullptr;
  // The file as CheckPrefs would leave it: missing means defaults, a short
  // one keeps its whole fields and gets the defaults for the rest, one that
  // fails its checks is made anew as far as it failed, a whole one keeps
  // every byte.
  uint32_t size = 0;
  uint8_t* old = static_cast<uint8_t*>(LoadFile2MemSize(path, MEMF_PUBLIC, &size));
  PrefsRepairInfo r;
  const std::vector<uint8_t> repaired = RepairedImage(kPrefsSpec, old, old ? size : 0, &r);
  // A missing file is simply new; the running game's file made whole here
  // is told as CheckPrefs tells it.
  if (old && r.Any()) {
    LogRepair(kPrefsSpec, path, r);
    if (!std::strcmp(path, kPrefsSpec.path))
      if (const uint32_t notes = kPrefsSpec.notes(r.changed)) g_prefs.repairs.fetch_or(notes);
  }
  FreeVec(old);
  const uint32_t n = (uint32_t)repaired.size();
  uint8_t* img = static_cast<uint8_t*>(AllocVec(n, MEMF_PUBLIC));
  if (!img) return nullptr;
  std::memcpy(img, repaired.data(), n);
  for (uint32_t i = 0; i < count; ++i) {
    const PrefsFieldInfo& f = kPrefs[fields[i]];
    if (f.size == 1) img[f.offset] = (uint8_t)values[i];
    else if (f.size == 2) PutBE16(img + f.offset, (uint16_t)values[i]);
    else PutBE32(img + f.offset, values[i]);
  }
  for (uint32_t i = 0; i < text_count; ++i) {
    const PrefsFieldInfo& f = kPrefs[text_fields[i]];
    std::memset(img + f.offset, 0, f.size);
    for (uint32_t k = 0; k < 39 && k + 1 < f.size && texts[i][k]; ++k) img[f.offset + k] = (uint8_t)texts[i][k];
  }
  for (uint32_t k = 0; k < PREFS_FIELD_COUNT; ++k)
    if (!PrefsFieldInRange(img, k)) {
      DebugLog("CheckPrefs: Wert fuer Feld %u ausserhalb seines Bereichs, nicht geschrieben\n", k);
      FreeVec(img);
      return nullptr;
    }
  *size_out = n;
  return img;
}

int32_t SetPrefsFieldsIn(const char* path, const uint32_t* fields, const uint32_t* values, uint32_t count) {
  uint32_t n = 0;
  uint8_t* img = PrefsImageWithFields(path, fields, values, count, &n);
  if (!img) return 0;
  const int32_t ok = SaveMem2File(path, img, n) ? 1 : 0;
  FreeVec(img);
  if (!ok) DebugLog("CheckPrefs: Konnte Prefs-Datei %s nicht schreiben !\n", path);
  return ok;
}
