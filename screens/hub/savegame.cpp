// Save games, the new game and the quit checks. See savegame.h.
#include "savegame.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/map/map.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/hub/savecontents.h"
#include "screens/hub/titel.h"

namespace {

const char kIn[] = ".\\Data\\POP3In\\GameChunk.qoe";
const char kOut[] = ".\\Data\\POP3Out\\GameChunk.qoe";
constexpr uint32_t kBoxPen = 7, kNameSize = 80, kPathSize = 320;
constexpr int32_t kBoxX = 168, kBoxY = 200;
// A save that a load refused: its file for the "%s" (LoadRefusal): damaged,
// no plain file or folder, a file its list does not name.
constexpr uint32_t kSaveDamagedText = 1797, kSaveNotPlainText = 1941, kSaveUnlistedText = 1942;

uint32_t Message(uint32_t mode, const char* text) {
  return static_cast<uint32_t>(ChiefMessage(66, kBoxX, kBoxY, 0, 0, 0, mode, text, kBoxPen));
}

ChiefMessageBox* Progress(uint32_t catalog_id) {
  return reinterpret_cast<ChiefMessageBox*>(ChiefMessage(66, kBoxX, kBoxY, 0, 0, 0, 2, GetCatalogStr(catalog_id), kBoxPen));
}

// The map screen keeps its data in memory on displays deeper than 8 bits;
// it writes them before the files change and builds them anew after.
bool DeepDisplay() { return QoESystemPtr->Display && QoESystemPtr->Display->Depth > 8; }

bool FolderExists(const char* path) {
  char disk[1024];
  struct stat st;
  return ResolvePath(path, disk, sizeof disk) && ::stat(disk, &st) == 0 && S_ISDIR(st.st_mode);
}

// Copies a folder tree into a new folder: 1, or 0 with the target removed.
int32_t CopyInto(const char* source, const char* target, const char* line) {
  LockHandle made = CreateDir(target);
  if (!made) {
    DebugLog("%s", line);
    return 0;
  }
  UnLock(made);
  char dst[kPathSize + 24];
  std::snprintf(dst, sizeof dst, "%s\\", target);
  if (!CopyDir(source, dst, 3)) {
    DebugLog("SaveGame : Konnte %s nicht kopieren !\n", source);
    return 0;
  }
  return 1;
}

// ---- loading: all or nothing ----
//
// A load first copies the save into .\Game\.laden\kopie\{Data,Map}; once
// the copy is whole it is renamed to ...\neu (the copy is ready). Then, for
// .\Data and .\Map: every entry of the game (all but the indexes and the
// layouts) moves to ...\alt, the folder ...\B is made, and every entry of
// ...\neu moves in. Each step is a rename, so a load killed at any moment
// is finished by FinishInterruptedLoad: without neu it is dropped (nothing
// had changed), with neu it is carried on from the step the folders show.
// A finished or given-up load is first renamed to .\Game\.laden.weg and
// then deleted, so a kill while it is deleted cannot look like a ready copy.

// The loading part's state: a test seam, told after each entry a load
// moves (game thread; SetLoadMoveHook).
struct LoadState {
  void (*moved)(int32_t moving_in, uint32_t count) = nullptr;
  std::string damaged;  // the save's file that stopped the last load ("" none)
  int32_t refusal = LOAD_REFUSED_NONE;  // why it stopped it
};
LoadState g_load;

const char kLoadDir[] = ".\\Game\\.laden";
const char kLoadGone[] = ".\\Game\\.laden.weg";

// Deletes the load folder (renamed away first).
void DiscardLoadFolder() {
  DeleteTree(kLoadGone);
  if (!RenamePath(kLoadDir, kLoadGone)) {
    DeleteTree(kLoadDir);
    return;
  }
  DeleteTree(kLoadGone);
}
const char* const kLoadParts[] = {"Data", "Map"};

bool IsIndexEntry(const char* name) {
  return !strcasecmp(name, "Path") || !strcasecmp(name, "SfxPath") || !strcasecmp(name, "RizizOzezPath") ||
         !strcasecmp(name, "Screendat");
}

std::string Disk(const char* path) {
  char disk[1024];
  return ResolvePath(path, disk, sizeof disk) ? std::string(disk) : std::string();
}

// The names in a folder on disk (none when it cannot be read).
std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> out;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) out.push_back(e->d_name);
    ::closedir(d);
  }
  return out;
}

bool EntryExists(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0;
}

// Deletes a disk path with everything in it (links are not followed).
bool RemoveDiskTree(const std::string& p) {
  std::error_code ec;
  std::filesystem::remove_all(p, ec);
  return !ec;
}

// Moves the entries of one folder into another, never the indexes and the
// layouts; the names moved are added to *moved. An entry of the same name
// already in the other folder was made after the load began, by a start
// that a kill interrupted it for, so it belongs to neither game: moving out
// it goes (the old game's entry is already away), moving in it is
// replaced. So every step can be repeated. False when a rename fails.
bool MoveEntries(const std::string& from, const std::string& to, bool moving_in, std::vector<std::string>* moved) {
  uint32_t count = 0;
  for (const std::string& n : Entries(from)) {
    if (IsIndexEntry(n.c_str())) continue;
    const std::string src = from + "/" + n, dst = to + "/" + n;
    bool ok;
    if (!moving_in && EntryExists(dst)) {
      ok = RemoveDiskTree(src);
    } else {
      ok = ::rename(src.c_str(), dst.c_str()) == 0;
      if (!ok && moving_in && EntryExists(dst)) ok = RemoveDiskTree(dst) && ::rename(src.c_str(), dst.c_str()) == 0;
      if (ok && moved) moved->push_back(n);
    }
    if (!ok) {
      DebugLog("LoadGame: Konnte %s nicht verschieben\n", n.c_str());
      return false;
    }
    if (g_load.moved) g_load.moved(moving_in ? 1 : 0, ++count);
  }
  return true;
}

struct LoadFolders {
  std::string live[2], neu[2], alt[2], phase_b, root;
};

bool MakeLoadFolders(LoadFolders* f) {
  f->root = Disk(kLoadDir);
  if (f->root.empty()) return false;
  f->phase_b = f->root + "/B";
  for (int i = 0; i < 2; i++) {
    f->live[i] = Disk((std::string(".\\") + kLoadParts[i]).c_str());
    f->neu[i] = f->root + "/neu/" + kLoadParts[i];
    f->alt[i] = f->root + "/alt/" + kLoadParts[i];
    if (f->live[i].empty()) return false;
  }
  return true;
}

// The display mode running now (the loaded prefs must not change it).
uint32_t RunningDisplayMode() {
  if (QoESystemPtr && QoESystemPtr->Display) return QoESystemPtr->Display->ModeId;
  return CheckPrefs(PREFS_DISPLAY_MODE, 0, 0);
}

bool IsDir(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The swap of a ready copy, from whatever step it had reached. False when a
// rename fails (the caller undoes a fresh load).
bool SwapInLoad(const LoadFolders& f, std::vector<std::string> moved_out[2], std::vector<std::string> moved_in[2]) {
  if (!IsDir(f.phase_b)) {
    for (int i = 0; i < 2; i++) {
      ::mkdir((f.root + "/alt").c_str(), 0755);
      ::mkdir(f.alt[i].c_str(), 0755);
      ::mkdir(f.live[i].c_str(), 0755);
      if (!MoveEntries(f.live[i], f.alt[i], false, &moved_out[i])) return false;
    }
    if (::mkdir(f.phase_b.c_str(), 0755) != 0) return false;
  }
  for (int i = 0; i < 2; i++)
    if (!MoveEntries(f.neu[i], f.live[i], true, &moved_in[i])) return false;
  return true;
}

// Puts the moved entries back: a load that failed half-way changes nothing.
// The order keeps a kill in between finishable (new entries back, then the
// step mark, then the old entries). False when a rename back fails too.
bool UndoLoad(const LoadFolders& f, std::vector<std::string> moved_out[2], std::vector<std::string> moved_in[2]) {
  bool ok = true;
  for (int i = 0; i < 2; i++)
    for (const std::string& n : moved_in[i])
      ok = ::rename((f.live[i] + "/" + n).c_str(), (f.neu[i] + "/" + n).c_str()) == 0 && ok;
  if (!ok || (IsDir(f.phase_b) && ::rmdir(f.phase_b.c_str()) != 0)) return false;
  for (int i = 0; i < 2; i++)
    for (const std::string& n : moved_out[i])
      ok = ::rename((f.alt[i] + "/" + n).c_str(), (f.live[i] + "/" + n).c_str()) == 0 && ok;
  return ok;
}

// ---- saving: the quarter's folder replaced in one step ----
//
// A save is written whole into .\Game\<lord>\.<turn>.neu, and only a whole
// copy is renamed to .<turn>.fertig (ready): that rename is the save's
// commit. Then an older save of the quarter is renamed to .<turn>.alt, the
// ready copy takes the quarter's name and .alt is deleted. A folder cannot
// be renamed onto a non-empty one, so replacing takes these two renames;
// the ready name makes a kill between them finishable: FinishTurnFolder (at
// the next save and at every start) rolls a ready copy forward and deletes
// an unfinished one, so a kill leaves the older save or the new one. Names
// with a leading dot are never listed by LoadGame.

bool PathExists(const std::string& program_path) {
  char disk[1024];
  struct stat st;
  return ResolvePath(program_path.c_str(), disk, sizeof disk) && ::lstat(disk, &st) == 0;
}

struct TurnFolders {
  std::string dir, neu, ready, old;
};

TurnFolders TurnFolderNames(const std::string& lord_dir, const std::string& turn) {
  return {lord_dir + "\\" + turn, lord_dir + "\\." + turn + ".neu", lord_dir + "\\." + turn + ".fertig",
          lord_dir + "\\." + turn + ".alt"};
}

// Finishes what a save of the quarter left: a ready copy takes the
// quarter's place, an unfinished copy and a replaced save are deleted.
// False when a ready copy could not be put in place (it stays, and the next
// call tries again).
bool FinishTurnFolder(const std::string& lord_dir, const std::string& turn) {
  const TurnFolders f = TurnFolderNames(lord_dir, turn);
  bool ok = true;
  if (PathExists(f.ready)) {
    if (PathExists(f.dir)) ok = DeleteTree(f.old.c_str()) && RenamePath(f.dir.c_str(), f.old.c_str());
    ok = ok && RenamePath(f.ready.c_str(), f.dir.c_str());
    if (!ok) DebugLog("SaveGame : Konnte Spielstand %s nicht fertigstellen !\n", f.dir.c_str());
  } else if (!PathExists(f.dir) && PathExists(f.old)) {
    ok = RenamePath(f.old.c_str(), f.dir.c_str());  // never lose the only copy
  }
  if (ok) DeleteTree(f.old.c_str());
  DeleteTree(f.neu.c_str());
  return ok;
}

// Writes the list of contents of the save being written in dir (a program
// path): every file of its Data and Map with its size and CRC-32.
bool WriteSaveContents(const std::string& dir) {
  const std::string disk = Disk(dir.c_str());
  std::vector<SaveContentsEntry> entries;
  if (disk.empty() || !MakeSaveContents(disk, &entries)) {
    DebugLog("SaveGame : Konnte die Dateien von %s nicht lesen !\n", dir.c_str());
    return false;
  }
  // A file no list can name (a control character or '\' in its name, a
  // path over 1 024 bytes) would have the save refused at its load: it is
  // left out of the save.
  SaveFolderScan scan;
  if (!ScanSaveFolders(disk, &scan)) {
    DebugLog("SaveGame : Konnte die Dateien von %s nicht lesen !\n", dir.c_str());
    return false;
  }
  for (const std::string& f : scan.files) {
    const auto named = std::lower_bound(entries.begin(), entries.end(), f,
                                        [](const SaveContentsEntry& e, const std::string& p) { return e.path < p; });
    if (named != entries.end() && named->path == f) continue;
    DebugLog("SaveGame : %s kann in keinem Inhalt stehen, ausgelassen\n", f.c_str());
    if (::unlink((disk + "/" + f).c_str()) != 0) return false;
  }
  const std::vector<uint8_t> image = SaveContentsImage(entries);
  if (!SaveMem2File((dir + "\\" + kSaveContentsName).c_str(), image.data(), static_cast<uint32_t>(image.size()))) {
    DebugLog("SaveGame : Konnte den Inhalt von %s nicht schreiben !\n", dir.c_str());
    return false;
  }
  return true;
}

// Writes the save of one quarter (see above); a failed save leaves the
// older save of that quarter as it was.
int32_t WriteTurnFolder(const char* lord_dir, const char* turn) {
  if (!FinishTurnFolder(lord_dir, turn)) return 0;
  const TurnFolders f = TurnFolderNames(lord_dir, turn);
  LockHandle made = CreateDir(f.neu.c_str());
  if (!made) {
    DebugLog("SaveGame : Konnte Verzeichnis %s nicht anlegen !\n", f.neu.c_str());
    return 0;
  }
  UnLock(made);
  // A game without map files still gets its (empty) Map folder.
  UnLock(CreateDir(".\\Map"));
  int32_t ok = CopyInto(".\\Data\\", (f.neu + "\\Data").c_str(), "SaveGame : Konnte Verzeichnis Data nicht anlegen !\n");
  if (ok) ok = CopyInto(".\\Map\\", (f.neu + "\\Map").c_str(), "SaveGame : Konnte Verzeichnis Map nicht anlegen !\n");
  if (ok) ok = WriteSaveContents(f.neu);
  if (!ok || !RenamePath(f.neu.c_str(), f.ready.c_str())) {
    if (ok) DebugLog("SaveGame : Konnte Spielstand %s nicht anlegen !\n", f.dir.c_str());
    DeleteTree(f.neu.c_str());
    return 0;
  }
  if (FinishTurnFolder(lord_dir, turn)) return 1;
  // Back to the older save (or none): the ready copy goes.
  if (!PathExists(f.dir) && PathExists(f.old)) RenamePath(f.old.c_str(), f.dir.c_str());
  if (PathExists(f.dir) || !PathExists(f.old)) DeleteTree(f.ready.c_str());
  return 0;
}

// The game's files (and links, never followed) under a folder, as program
// paths; at the top level of .\Data the indexes and the layouts stay out.
// *folders gets the sub-folders, deepest last. False when a folder cannot
// be read.
bool GameFiles(const std::string& program_dir, bool top, std::vector<std::string>* files,
               std::vector<std::string>* folders) {
  char disk[1024];
  if (!ResolvePath(program_dir.c_str(), disk, sizeof disk)) return false;
  DIR* d = ::opendir(disk);
  if (!d) return errno == ENOENT;
  bool ok = true;
  std::vector<std::string> subs;
  while (dirent* e = ::readdir(d)) {
    const char* n = e->d_name;
    if (!std::strcmp(n, ".") || !std::strcmp(n, "..") || (top && IsIndexEntry(n))) continue;
    if (std::strchr(n, '\\')) continue;  // no program path names it, so no game file
    struct stat st;
    if (::fstatat(dirfd(d), n, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    (S_ISDIR(st.st_mode) ? subs : *files).push_back(program_dir + "\\" + n);
  }
  ::closedir(d);
  for (const std::string& sub : subs) {
    folders->push_back(sub);
    ok = GameFiles(sub, false, files, folders) && ok;
  }
  return ok;
}

// Empties .\Data and .\Map of the game once it was moved into its save:
// the indexes and layouts stay, the options are written back, the mail
// folders are made again. Every file goes in one set with the options, so
// a failure or a kill leaves the game whole or gone (the set's commit
// record finishes its removals at the next start). False on failure
// (logged; nothing changed).
bool ClearMovedGame() {
  std::vector<std::string> files, folders;
  bool ok = GameFiles(".\\Data", true, &files, &folders) && GameFiles(".\\Map", false, &files, &folders);
  uint8_t options[OPTIONEN_PREFS_SIZE];
  OptionenPrefsEncode(&QoESystemPtr->Optionen, options);
  FileSet* set = ok ? BeginFileSet() : nullptr;
  ok = set != nullptr;
  for (size_t i = 0; ok && i < files.size(); ++i)
    if (strcasecmp(files[i].c_str(), ".\\Data\\Optionen.prefs")) ok = FileSetRemove(set, files[i].c_str()) != 0;
  ok = ok && FileSetWrite(set, ".\\Data\\Optionen.prefs", options, OPTIONEN_PREFS_SIZE);
  if (set) ok = CommitFileSet(set) && ok;
  if (!ok) {
    DebugLog("SaveGame : Konnte Data und Map nicht leeren !\n");
    return false;
  }
  // The folders that are empty now (the mail folders come back below).
  char disk[1024];
  for (auto it = folders.rbegin(); it != folders.rend(); ++it)
    if (ResolvePath(it->c_str(), disk, sizeof disk)) ::rmdir(disk);
  CreateMailDirs();
  return true;
}

}  // namespace

int32_t FinishInterruptedSaves() {
  int32_t result = 0;
  char disk[1024];
  if (!ResolvePath(".\\Game", disk, sizeof disk)) return 0;
  const std::string game = disk;
  for (const std::string& lord : Entries(game)) {
    if (!SaveGameNameOk(lord.c_str())) continue;  // the load's folders and strangers
    for (const std::string& n : Entries(game + "/" + lord)) {
      std::string turn;
      for (const char* tail : {".neu", ".fertig", ".alt"}) {
        const size_t t = std::strlen(tail);
        if (n.size() > t + 1 && n[0] == '.' && !n.compare(n.size() - t, t, tail)) turn = n.substr(1, n.size() - t - 1);
      }
      if (turn.empty() || !SaveGameNameOk(turn.c_str())) continue;
      const std::string lord_dir = ".\\Game\\" + lord;
      const bool ready = PathExists(TurnFolderNames(lord_dir, turn).ready);
      if (!FinishTurnFolder(lord_dir, turn)) {
        result = -1;
      } else if (result == 0) {
        result = 1;
      }
      if (ready) DebugLog("SaveGame : Unterbrochener Spielstand %s\\%s fertiggestellt\n", lord.c_str(), turn.c_str());
    }
  }
  return result;
}

namespace {

// The entries of a folder that can be a lord or turn folder, as 80-byte
// lines; *count set. Null when there are none (or on failure).
char* ListSaveFolder(const char* folder, uint32_t* count) {
  *count = 0;
  const uint16_t n = CountDirEntries(folder);
  if (n == 0) return nullptr;
  char* names = GetDirBuffer(folder, n);
  if (!names) {
    DebugLog("LoadGame: Konnte Directory-Buffer nicht einlesen\n");
    return nullptr;
  }
  uint32_t kept = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const char* name = names + i * kNameSize;
    if (!SaveGameNameOk(name)) continue;  // half-written saves and strangers
    if (kept != i) std::memmove(names + kept * kNameSize, name, kNameSize);
    ++kept;
  }
  if (kept == 0) {
    FreeVec(names);
    return nullptr;
  }
  *count = kept;
  return names;
}

// The file of the save in the folder of the game (".\Game\...") that a
// check found damaged, as a program path.
std::string SavePath(const char* turn_dir, const std::string& path) {
  std::string p = std::string(turn_dir) + "\\" + path;
  std::replace(p.begin(), p.end(), '/', '\\');
  return p;
}

bool EndsWith(const std::string& s, const char* tail) {
  const size_t n = std::strlen(tail);
  return s.size() >= n && !strcasecmp(s.c_str() + s.size() - n, tail);
}

// One file of a load's copy (program path; e its path in the save and its
// size) by its kind: the game's chunk files (the pools, the figures, the
// store, the players, the buildings) must be read whole, a pool with its
// checksum; a town file holds its whole record.
bool SaveFileWhole(const std::string& program_path, const SaveContentsEntry& e) {
  const size_t slash = e.path.rfind('/');
  const std::string name = e.path.substr(slash + 1), folder = e.path.substr(0, slash);
  const bool top = folder == "Data";
  const bool chunk_file = !strcasecmp(name.c_str(), "GameChunk.qoe") ||
                          (top && (!strcasecmp(name.c_str(), "MapPrefs.qoe") || !strcasecmp(name.c_str(), "WarenChunk.qoe") ||
                                   !strcasecmp(name.c_str(), "SpielerList.qoe") || !strcasecmp(name.c_str(), "Gebaeude.dat")));
  if (chunk_file) return FileChunksState(program_path.c_str(), nullptr) == CHUNK_GOOD;
  if (!strcasecmp(folder.c_str(), "Data/Cities") && EndsWith(name, ".qoe")) return e.size == TOWN_FILE_SIZE;
  return true;
}

// Why a save is refused, and the file (its path in the save) that says so.
struct Refusal {
  int32_t why = LOAD_REFUSED_NONE;
  std::string path;
};

// The save in turn_dir judged before anything of it is copied, no file of
// it read: its Data and Map folders walked without following a link
// (anything that is no plain file or folder refuses the save, naming it),
// and its list of contents (when it has one: a plain file, no longer than
// its files allow, whole, sorted, each path once) naming exactly the files
// the load copies. *entries gets the list (empty without one); *copyable is
// false when the folders cannot be walked at all (missing: not loaded).
Refusal JudgeSaveUnread(const char* turn_dir, std::vector<SaveContentsEntry>* entries, std::string folders[2],
                        bool* copyable) {
  entries->clear();
  *copyable = false;
  const std::string root = Disk(turn_dir);
  struct stat st;
  if (root.empty() || ::lstat(root.c_str(), &st) != 0) return {};
  // The save's own folder is a link: nothing in it is the save's.
  if (!S_ISDIR(st.st_mode)) return {LOAD_REFUSED_NOT_PLAIN, ""};
  SaveFolderScan scan;
  const bool walked = ScanSaveFolders(root, &scan);
  if (!scan.notPlain.empty()) return {LOAD_REFUSED_NOT_PLAIN, scan.notPlain};
  if (!walked) return {};
  folders[0] = scan.dataDir;
  folders[1] = scan.mapDir;
  *copyable = true;
  const std::string list = std::string(turn_dir) + "\\" + kSaveContentsName;
  const int32_t kind = PathKind(list.c_str());
  if (kind == PATH_ABSENT) return {};  // a save of an older version
  if (kind != PATH_PLAIN) return {LOAD_REFUSED_NOT_PLAIN, kSaveContentsName};
  // A list longer than the save's files allow is not even read.
  if (GeFileSize(list.c_str()) > MaxSaveContentsSize(scan.files.size()))
    return {LOAD_REFUSED_DAMAGED, kSaveContentsName};
  uint32_t size = 0;
  uint8_t* image = static_cast<uint8_t*>(LoadFile2MemSize(list.c_str(), MEMF_PUBLIC, &size));
  const bool read = image && ReadSaveContents(image, size, entries);
  FreeVec(image);
  if (!read || entries->size() > scan.files.size()) {
    entries->clear();
    return {LOAD_REFUSED_DAMAGED, kSaveContentsName};
  }
  bool unnamed = false;
  const std::string odd = SaveListMismatch(*entries, scan.files, &unnamed);
  if (!odd.empty()) return {unnamed ? LOAD_REFUSED_UNLISTED : LOAD_REFUSED_DAMAGED, odd};
  return {};
}

// The first damaged file of the copy (disk folder copy, program path
// copy_path) of a save: its path in the save, "" when the copy is whole.
// Its files are checked against the save's list of contents (a save of an
// older version has none), then every chunk file is read whole and every
// town file measured.
std::string DamagedCopyFile(const std::vector<SaveContentsEntry>& entries, const std::string& copy,
                            const std::string& copy_path) {
  const std::string changed = CheckSaveContents(copy, entries);
  if (!changed.empty()) return changed;
  std::vector<SaveContentsEntry> files;
  if (!ListSaveFiles(copy, &files)) return "Data";
  for (const SaveContentsEntry& e : files) {
    std::string p = copy_path + "\\" + e.path;
    std::replace(p.begin(), p.end(), '/', '\\');
    if (!SaveFileWhole(p, e)) return e.path;
  }
  return "";
}

}  // namespace

const char* LoadDamagedFile() { return g_load.damaged.empty() ? nullptr : g_load.damaged.c_str(); }
int32_t LoadRefusal() { return g_load.damaged.empty() ? LOAD_REFUSED_NONE : g_load.refusal; }

int32_t RestoreSave(const char* turn_dir) {
  LoadFolders f;
  g_load.damaged.clear();
  g_load.refusal = LOAD_REFUSED_NONE;
  if (!turn_dir || !MakeLoadFolders(&f) || FinishInterruptedLoad() < 0) return 0;
  // A save that holds a link, a FIFO or a file its list does not name, or
  // whose list is damaged, is refused before anything of it is copied.
  std::vector<SaveContentsEntry> entries;
  std::string folders[2];
  bool copyable = false;
  const Refusal refusal = JudgeSaveUnread(turn_dir, &entries, folders, &copyable);
  if (refusal.why != LOAD_REFUSED_NONE) {
    g_load.damaged = refusal.path.empty() ? std::string(turn_dir) : SavePath(turn_dir, refusal.path);
    g_load.refusal = refusal.why;
    DebugLog("LoadGame: Spielstand %s wird abgelehnt (%s): %s\n", turn_dir,
             refusal.why == LOAD_REFUSED_NOT_PLAIN  ? "keine einfache Datei"
             : refusal.why == LOAD_REFUSED_UNLISTED ? "nicht im Inhalt genannt"
                                                    : "ist beschaedigt",
             g_load.damaged.c_str());
    return 0;
  }
  // The whole copy first: a copy that fails changes nothing. It copies the
  // folders the walk judged (their spelling on disk), never through a link.
  int32_t ok = copyable ? 1 : 0;
  for (int i = 0; ok && i < 2; i++) {
    char from[kPathSize + kNameSize + 8], to[kPathSize + 16];
    // A turn folder whose path does not fit is refused, never cut to another folder's.
    const bool fits = std::snprintf(from, sizeof from, "%s\\%s\\", turn_dir, folders[i].c_str()) < (int)sizeof from;
    std::snprintf(to, sizeof to, "%s\\kopie\\%s\\", kLoadDir, kLoadParts[i]);
    ok = fits && CreateDirPath(to) && CopyDir(from, to, 2);
  }
  // Nothing of a damaged save comes in: the copy is checked before it is
  // ready, and the player learns which file stopped it.
  if (ok) {
    const std::string damaged = DamagedCopyFile(entries, f.root + "/kopie", std::string(kLoadDir) + "\\kopie");
    if (!damaged.empty()) {
      g_load.damaged = SavePath(turn_dir, damaged);
      g_load.refusal = LOAD_REFUSED_DAMAGED;
      DebugLog("LoadGame: Spielstand %s ist beschaedigt: %s\n", turn_dir, g_load.damaged.c_str());
      DiscardLoadFolder();
      return 0;
    }
  }
  // The loaded prefs keep the running display mode and redraw the town
  // (fields 1 and 4); set in the copy, so they come in with the load.
  const uint32_t fields[2] = {PREFS_DISPLAY_MODE, PREFS_TOWN_ID};
  const uint32_t values[2] = {RunningDisplayMode(), 0xFFFFFFFFu};
  ok = ok && SetPrefsFieldsIn((std::string(kLoadDir) + "\\kopie\\Data\\Prefs.qoe").c_str(), fields, values, 2);
  if (!ok || ::rename((f.root + "/kopie").c_str(), (f.root + "/neu").c_str()) != 0) {
    DebugLog("LoadGame: Konnte Spielstand %s nicht kopieren\n", turn_dir);
    DiscardLoadFolder();
    return 0;
  }
  std::vector<std::string> moved_out[2], moved_in[2];
  if (!SwapInLoad(f, moved_out, moved_in)) {
    // Back to the running game; when even that fails the folder stays and
    // the next start finishes the load instead.
    if (UndoLoad(f, moved_out, moved_in)) DiscardLoadFolder();
    return 0;
  }
  DiscardLoadFolder();
  return 1;
}

void SetLoadMoveHook(void (*moved)(int32_t moving_in, uint32_t count)) { g_load.moved = moved; }

int32_t FinishInterruptedLoad() {
  DeleteTree(kLoadGone);
  LoadFolders f;
  if (!MakeLoadFolders(&f) || !IsDir(f.root)) return 0;
  int32_t done = 0;
  if (IsDir(f.root + "/neu")) {
    std::vector<std::string> moved_out[2], moved_in[2];
    done = SwapInLoad(f, moved_out, moved_in) ? 1 : -1;
    DebugLog(done == 1 ? "LoadGame: Unterbrochenes Laden abgeschlossen\n"
                       : "LoadGame: Unterbrochenes Laden konnte nicht abgeschlossen werden\n");
    if (done != 1) return -1;  // the folder stays for the next try
  }
  DiscardLoadFolder();
  return done;
}

bool SaveGameNameOk(const char* name) {
  if (!name || !name[0] || name[0] == '.') return false;
  const size_t len = strnlen(name, kNameSize);
  if (len >= kNameSize) return false;
  for (size_t i = 0; i < len; ++i) {
    const uint8_t c = static_cast<uint8_t>(name[i]);
    if (c < 32 || c == 127 || c == '\\' || c == '/' || c == ':') return false;
  }
  return true;
}

int32_t SaveGame(uint32_t move) {
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED) return 1;
  char* lord = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  if (!SaveGameNameOk(lord)) {
    DebugLog("SaveGame : Ungueltiger Name des Lords fuer ein Verzeichnis !\n");
    FreeVec(lord);
    Message(0, GetCatalogStr(1847));  // the name is no folder name
    return 0;
  }
  char lord_dir[kPathSize];
  std::snprintf(lord_dir, sizeof lord_dir, ".\\Game\\%s", lord);
  FreeVec(lord);
  // The quarter names the save: a received turn that is damaged, or whose
  // KORN cannot be read, cannot be saved (a pool without KORN saves only
  // the lord's folder).
  char turn[32] = "";
  const int32_t korn_state = ChunkState("KORN", kIn);
  if (korn_state != CHUNK_ABSENT) {
    uint8_t* korn = korn_state == CHUNK_GOOD ? LoadChunk2Mem("KORN", kIn) : nullptr;
    if (korn && ChunkLength(korn) + sizeof(ChunkHeader) >= 18)
      std::snprintf(turn, sizeof turn, "%u_%u", ChunkGet32(korn, 12), static_cast<unsigned>(ChunkGet16(korn, 16)));
    FreeChunk(korn);
    if (!turn[0]) {
      DebugLog("SaveGame : Konnte KornChunk nicht laden, Spielzug %s ist beschaedigt !\n", kIn);
      Message(0, GetCatalogStr(1848));  // the turn is damaged
      return 0;
    }
  }
  ChiefMessageBox* box = Progress(1522);
  if (DeepDisplay()) KartenScreenSaveData();

  // Folders this save makes go again when it fails.
  const bool had_game = FolderExists(".\\Game"), had_lord = had_game && FolderExists(lord_dir);
  int32_t ok = 1;
  bool kept = false;
  LockHandle made = CreateDir(".\\Game");
  if (made) {
    UnLock(made);
    made = CreateDir(lord_dir);
    if (made) UnLock(made);
  }
  if (!made) {
    DebugLog("SaveGame : Konnte Verzeichnis Game nicht anlegen !\n");
    ok = 0;
  } else if (turn[0]) {
    ok = WriteTurnFolder(lord_dir, turn);
    // The save stays when the game cannot be put away: it is a copy of the
    // running game, which stays installed.
    if (ok && move && !ClearMovedGame()) kept = true;
  }
  if (!ok && !had_lord) DeleteTree(had_game ? lord_dir : ".\\Game");
  if (DeepDisplay()) KartenScreenNewSetup();
  CloseChiefMessage(box);
  // A failed save must not pass for a saved game.
  if (!ok) Message(0, GetCatalogStr(1849));  // not saved
  if (kept) Message(0, GetCatalogStr(1850));  // saved, still installed
  return ok && !kept;
}

int32_t LoadGame() {
  uint32_t lords = 0;
  char* lord_names = ListSaveFolder(".\\Game", &lords);
  if (!lord_names) {
    Message(0, GetCatalogStr(1535));
    return 0;
  }
  const int32_t lord = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", 223, 130, lords, GetCatalogStr(1523), lord_names,
                               GetCatalogStr(1524));
  if (lord < 0 || static_cast<uint32_t>(lord) >= lords) {
    FreeVec(lord_names);
    return 0;
  }
  char lord_dir[kPathSize];
  std::snprintf(lord_dir, sizeof lord_dir, ".\\Game\\%s", lord_names + lord * kNameSize);
  FreeVec(lord_names);
  uint32_t turns = 0;
  char* turn_names = ListSaveFolder(lord_dir, &turns);
  if (!turn_names) {
    Message(0, GetCatalogStr(1536));
    return 0;
  }
  const int32_t turn = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", 223, 130, turns, GetCatalogStr(1525), turn_names,
                               GetCatalogStr(1526));
  if (turn < 0 || static_cast<uint32_t>(turn) >= turns) {
    FreeVec(turn_names);
    return 0;
  }
  char turn_dir[kPathSize + kNameSize + 8];
  std::snprintf(turn_dir, sizeof turn_dir, "%s\\%s", lord_dir, turn_names + turn * kNameSize);
  FreeVec(turn_names);

  ChiefMessageBox* box = Progress(1527);
  FreePaths();
  if (DeepDisplay()) KartenScreenSaveData();
  // All or nothing: a load that fails leaves the running game as it was.
  const int32_t ok = RestoreSave(turn_dir);
  SetupSystem();
  ExitSound();
  FreeCaches(2);
  DebugLog("LoadGame: Sound-Optionen %u\n", QoESystemPtr->Optionen.sound_optionen);
  if (!SoundMaske(0, Zufall(1) == 0 ? ".\\Mods\\QoEMain.DBM" : ".\\Mods\\QoEMain2.DBM"))
    DebugLog("LoadGame: InitSoundEnv() failed!\n");
  if (DeepDisplay()) KartenScreenNewSetup();
  CloseChiefMessage(box);
  if (!ok && LoadDamagedFile()) {
    // The save is refused: the file that stopped it, without the leading ".\".
    const uint32_t text = LoadRefusal() == LOAD_REFUSED_NOT_PLAIN  ? kSaveNotPlainText
                          : LoadRefusal() == LOAD_REFUSED_UNLISTED ? kSaveUnlistedText
                                                                   : kSaveDamagedText;
    const std::string frame = GetCatalogStr(text), name = LoadDamagedFile() + 2;
    const size_t at = frame.find("%s");
    Message(0, (at == std::string::npos ? frame : frame.substr(0, at) + name + frame.substr(at + 2)).c_str());
  } else if (!ok) {
    Message(0, GetCatalogStr(1851));  // not loaded
  }
  return ok;
}

int32_t NeuesSpiel() {
  const uint32_t account = CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0);
  if (account == ACCOUNT_NONE) return 1;
  FreePaths();
  if (account == ACCOUNT_INSTALLED) SaveGame(1);
  else DeleteFileA(".\\Data\\Prefs.qoe");
  CheckPrefs(PREFS_TOWN_ID, 1, 0xFFFFFFFFu);
  SetupSystem();
  return 1;
}

// ---- quit checks ------------------------------------------------------------

namespace {

// The warnings before quitting (catalog texts): the salutation and the
// sentence that opens the letter, then one paragraph for each thing left
// undone; a blank line follows each.
enum : uint32_t {
  kWarnSalutation = 1832, kWarnIntro = 1833, kWarnGranary = 1834, kWarnSeed = 1835, kWarnFields = 1836,
  kWarnTownName = 1837, kWarnTaxes = 1838, kWarnBuildings = 1839, kWarnNeighbours = 1840, kWarnResearch = 1841,
  kWarnScout = 1842, kWarnWelcome = 1843, kWarnFiguresDamaged = 1909, kWarnFiguresMissing = 1931,
};

std::string Warning(uint32_t id) { return std::string(GetCatalogStr(id)) + "\n\n"; }

bool InPool(ChunkIndex type, const char* pool) { return IsChunkInFile(ChunkBit(type), pool) == 1; }

// True when no field round the town's culture-map part has workers.
bool NoFieldsWorked(const st_TOWN* town, bool* failed) {
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(14);
  if (!list) {
    DebugLog("CheckGameValues: Konnte keine leere ArmyListe anlegen...\n");
    *failed = true;
    return false;
  }
  const int32_t column = static_cast<int32_t>(town->XPos / 40), row = static_cast<int32_t>(town->YPos / 20);
  for (int32_t dy = -1; dy <= 1; ++dy)
    for (int32_t dx = -1; dx <= 1; ++dx)
      ScanMapCult2List(list, static_cast<uint32_t>(WrapPos(column + dx, 320)),
                       static_cast<uint32_t>(WrapPos(row + dy, 320)));
  const bool none = list->count == 0;
  DeleteList(list, 1);
  return none;
}

// The own scouts that still have all eight movement points. *fault: why
// the figure file cannot be used (damaged, or missing in an installed game;
// the player is told, not only the log), 0 it can.
uint32_t UnmovedScouts(bool* failed, uint32_t* fault) {
  uint8_t* move = nullptr;
  *fault = LoadFigureFile(MapPrefsPath, &move);
  if (!move) {
    DebugLog("CheckGameValues: Konnte MOVE-Chunk nicht in Speicher laden!\n");
    *failed = true;
    return 0;
  }
  const uint32_t size = ChunkLength(move) + sizeof(ChunkHeader);
  const uint32_t count = size >= 14 ? ChunkGet16(move, 12) : 0;
  uint32_t scouts = 0;
  for (uint32_t i = 0; i < count && 14 + (i + 1) * 18 <= size; ++i) {
    const FigurRecord f = GetFigurRecord(move + 14 + i * 18);
    if (f.owner == OwnPlayerPtr->PlayerId && f.type == 0 && f.points == 8) ++scouts;
  }
  FreeChunk(move);
  return scouts;
}

}  // namespace

char* CollectGameWarnings() {
  std::string text;
  uint8_t* korn = IsChunkInFile(ChunkBit(CHUNK_KORN), kOut) ? LoadChunk2Mem("KORN", kOut) : nullptr;
  if (korn && ChunkLength(korn) + sizeof(ChunkHeader) >= 30) {
    if (ChunkGet32(korn, 26) == 0) text += Warning(kWarnGranary);
    if (ChunkGet16(korn, 16) == 0 && ChunkGet32(korn, 18) == 0) text += Warning(kWarnSeed);
  } else {
    DebugLog("CheckGameValues: Konnte KornChunk nicht \xF6" "ffnen !\n");
  }
  FreeChunk(korn);

  bool failed = false;
  if (st_TOWN* town = GetActiveTown(OwnPlayerPtr->ActiveTown)) {
    if (NoFieldsWorked(town, &failed)) text += Warning(kWarnFields);
    if (town->flags & 1) text += Warning(kWarnTownName);
    FreeVec(town);
  } else {
    DebugLog("CheckGameValues: Konnte Stadt nicht laden!\n");
  }
  if (!InPool(CHUNK_TAXE, kOut) && !InPool(CHUNK_TAXE, kIn)) text += Warning(kWarnTaxes);
  if (!InPool(CHUNK_BAUE, kOut) && !InPool(CHUNK_GEBA, kIn)) text += Warning(kWarnBuildings);
  const uint32_t step = CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0);
  if (step >= 9 && step != 0xFFFFFFFFu && !InPool(CHUNK_ANFR, kOut) && GeFileSize(".\\Data\\SpielerList.qoe") == 0)
    text += Warning(kWarnNeighbours);
  if (step >= 12 && step != 0xFFFFFFFFu && !InPool(CHUNK_FORS, kOut) && !InPool(CHUNK_FORS, kIn))
    text += Warning(kWarnResearch);
  if (step >= 8 && step != 0xFFFFFFFFu) {
    uint32_t fault = 0;
    const uint32_t scouts = UnmovedScouts(&failed, &fault);
    for (uint32_t i = 0; i < scouts; ++i) text += Warning(kWarnScout);
    if (fault) {
      // The player's name of the file (without the leading ".\") in its
      // place; the catalog's text is never taken as a format.
      std::string line = GetCatalogStr(fault == FIGURE_FILE_DAMAGED ? kWarnFiguresDamaged : kWarnFiguresMissing);
      if (const size_t at = line.find("%s"); at != std::string::npos) line.replace(at, 2, MapPrefsPath + 2);
      text += line + "\n\n";
    }
  }
  if (CheckPrefs(PREFS_TURN_COUNT, 0, 0) == 0 && CountDirEntries(".\\Data\\MailOut") == 0)
    text += Warning(kWarnWelcome);
  if (!text.empty()) text.insert(0, std::string(GetCatalogStr(kWarnSalutation)) + "\n\n " + Warning(kWarnIntro));

  auto* out = static_cast<char*>(AllocVec(static_cast<uint32_t>(text.size() + 1), MEMF_PUBLIC | MEMF_CLEAR));
  if (out) std::memcpy(out, text.c_str(), text.size() + 1);
  return out;
}

int32_t CheckGameValues(TitelAnims* anims) {
  Movie* movie = anims ? anims->waterfall : nullptr;
  if (CheckPrefs(PREFS_UPLOADS, 0, 0) == 0) {
    SetMovieMode(movie, 1);
    const uint32_t answer = Message(1, GetCatalogStr(1519));
    SetMovieMode(movie, 0);
    if (answer != 0) return 0;
  }
  const uint32_t turns = CheckPrefs(PREFS_TURN_COUNT, 0, 0);
  if (turns >= 11 && turns != 0xFFFFFFFFu) return 1;
  // A warning that cannot be worked out (no culture list, no MOVE chunk) is
  // left out and logged; it never keeps the player in the game.
  char* text = CollectGameWarnings();
  if (text && text[0]) {
    SetMovieMode(movie, 1);
    TextBox(text);
    SetMovieMode(movie, 0);
  }
  FreeVec(text);
  return 1;
}
