// Writes of several steps that take effect together (internal to the game
// data layer). While a stage is open on a thread, the layer's whole-file
// writes, removals, folder creations and prefs fields of that thread are
// kept in memory, and its reads see them; the outermost stage's commit puts
// them on disk through one FileSet. A failed or abandoned stage changes
// nothing. Without an open stage every call goes straight to the disk.
#pragma once
#include <cstdint>

struct OwnPlayer;

// Opens a stage on this thread, or joins the one already open (then only the
// outermost commits). Abandoned (nothing written) unless Commit is called.
struct StageScope {
  StageScope();
  ~StageScope();
  // Outermost: 1 when every file is in place (0: nothing changed). Joined:
  // 1 unless a step of the stage failed.
  bool Commit();
  // Marks the whole stage failed (its commit then changes nothing).
  void Fail();
  StageScope(const StageScope&) = delete;
  StageScope& operator=(const StageScope&) = delete;
  bool owner = false;
};

bool StageOpen();  // a stage is open on this thread

// LoadFile2MemSize that sees the stage: a copy of the staged bytes (null for a
// removed file), else the disk's. Free with FreeVec.
void* GdLoadFile(const char* path, uint32_t alloc_flags, uint32_t* size_out);
// 1 when the file exists (staged or on disk).
bool GdFileExists(const char* path);
// SaveMem2File (length 0 makes an empty file); 0 on failure (a staged
// failure fails the stage).
int32_t GdSaveFile(const char* path, const void* data, uint32_t length);
// DeleteFileA (an absent file counts as deleted); 0 on failure.
int32_t GdRemoveFile(const char* path);
// CreateDir for a folder the staged files need (made at the commit).
void GdMakeDir(const char* path);
// GdMakeDir for every folder of an installed game (Data with its pools,
// letters and towns, Map).
void GdMakeGameFolders();

// CheckPrefs / CheckPrefsStr on the stage's image of Prefs.qoe. A staged
// string read returns a new copy (FreeVec), a write returns text.
uint32_t GdPrefs(uint32_t field, uint32_t write, uint32_t value);
char* GdPrefsStr(uint32_t field, uint32_t write, const char* text);

// The own player record the steps change: the stage's copy (copied back,
// field by field as changed, when the commit succeeds), else OwnPlayerPtr.
OwnPlayer* GdOwnPlayer();
