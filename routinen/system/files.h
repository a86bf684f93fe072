// Files and folders. Every path is Windows-style and relative to the working
// directory ('\' or '/', any letter case); one resolver maps it onto disk
// (rules in docs/system.md). Failures: null, 0 or -1 as noted.
#pragma once
#include <cstdint>

struct QoeFile;
using FileHandle = QoeFile*;  // null = failure
using LockHandle = intptr_t;  // 0 = failure, 1 = a directory, else a file lock

enum : int32_t {
  MODE_READWRITE_SHARED = 1004,  // existing file, read and write
  MODE_OLDFILE = 1005,           // existing file, read and write
  MODE_NEWFILE = 1006,           // created or emptied, read and write
  MODE_READ_SEQUENTIAL = 1007,   // existing file, read only
  MODE_READONLY = 1008,          // existing file, read only
};
enum : int32_t { OFFSET_BEGINNING = -1, OFFSET_CURRENT = 0, OFFSET_END = 1 };

// One of the modes above; null when the file is missing (1006: cannot be
// made), is no plain file (a folder, a link, a FIFO, a socket, a device:
// refused at once, never opened waiting), or the mode is unknown.
FileHandle Open(const char* path, int32_t mode);
int32_t Close(FileHandle f);                               // 1 (0 for null)
int32_t Read(FileHandle f, void* buffer, int32_t length);   // bytes read, -1 on error
int32_t Write(FileHandle f, const void* buffer, int32_t length);  // bytes written, -1 on error
int32_t Seek(FileHandle f, int32_t offset, int32_t mode);   // old position, -1 on error
// Handles written in place (opened with MODE_NEWFILE, or given a Write) since
// the start: each is a write a kill can leave half done, outside a FileSet,
// SaveMem2File or a FileStream. Each is logged with its path.
uint32_t FileWritesOutsideSets();

// 0 (logged) when missing; 1 for a folder; for a file mode 2 a shared read
// lock, mode 1 an exclusive read/write lock (against other Locks), else 0.
LockHandle Lock(const char* path, int32_t mode);
void UnLock(LockHandle lock);  // 0 and 1 are ignored

uint32_t GeFileSize(const char* path);                       // 0 when unreadable
// Size and modification time (nanoseconds since 1970) of a file: 1, or 0
// (both set to 0) when it is missing, a folder or larger than 4 GB.
int32_t GetFileStamp(const char* path, uint32_t* size, uint64_t* mtime_ns);
// What stands at a path, links not followed: nothing (also for a refused
// path), a plain file, a folder, or something that is no plain file (a
// link, a FIFO, a socket, a device). Open and LoadFile2Mem take plain files
// only and refuse the rest at once, never waiting on a FIFO.
enum : int32_t { PATH_ABSENT = 0, PATH_PLAIN = 1, PATH_FOLDER = 2, PATH_NOT_PLAIN = 3 };
int32_t PathKind(const char* path);
// A file its reader found there but not a plain file (PathKind a folder or
// not plain): it is neither read nor replaced. Noted once per path in a run
// (logged); TakeNotPlainFiles hands the names to the screen that tells the
// player, each once.
void NoteNotPlainFile(const char* path);
// The files noted since the last call, one a line, without the leading
// ".\" ("Data\Prefs.qoe"); null when there are none. Freed with FreeVec.
char* TakeNotPlainFiles(void);
// Tests: forgets every file noted (a new run).
void ForgetNotPlainFiles(void);
void* LoadFile2Mem(const char* path, uint32_t alloc_flags);  // AllocVec block or null
// Sets *size_out (may be null) to the size of what LoadFile2Mem returned.
void* LoadFile2MemSize(const char* path, uint32_t alloc_flags, uint32_t* size_out);
// Replaces the file atomically (temporary file, then rename); 0 on failure,
// and when something other than a plain file (a link, a FIFO, a folder)
// stands at the path: that is never replaced.
int32_t SaveMem2File(const char* path, const void* memory, uint32_t length);
int32_t DeleteFileA(const char* path);  // non-zero on success

// Makes one folder (an existing one counts as made); release with UnLock; 0 on failure.
LockHandle CreateDir(const char* path);
// Deletes the folder's files whose names begin with prefix (any case; all
// when null); sub-folders stay. 1, or 0 when a delete failed.
int32_t DeleteDir(const char* folder, const char* prefix);
// Entries (files and folders) of a folder, 0 when it cannot be read.
uint16_t CountDirEntries(const char* folder);
// A cleared AllocVec block of count x 80-byte names (listing order:
// case-insensitive alphabetical), or null; the caller frees it.
char* GetDirBuffer(const char* folder, uint16_t count);
// Makes the folder and every missing parent; 1, or 0 on failure.
int32_t CreateDirPath(const char* path);
// Deletes the temporary files (".qoetmp-*") that killed saves left in the
// folder and its sub-folders down to depth levels; files of a save still
// being written, and those a commit record still names, stay. Returns how
// many were deleted.
uint32_t RemoveStaleTempFiles(const char* folder, uint32_t depth);
// Mode bit 0 clears the target (recursively), bit 1 copies the source tree
// into it (making the target and its missing parents), bit 2 deletes each
// source file once copied. Index files Path, SfxPath, RizizOzezPath and the
// folder Screendat at the top level are neither cleared, copied nor
// deleted. 1 on success, else 0.
int32_t CopyDir(const char* source, const char* target, uint32_t mode);

// Deletes a file or a whole folder tree (an absent one counts as deleted);
// 1, or 0 on failure. Symbolic links are removed, never followed.
int32_t DeleteTree(const char* path);
// Renames a file or folder (the target must not exist as a non-empty
// folder); 1, or 0 on failure.
int32_t RenamePath(const char* from, const char* to);

// Maps a program path onto the disk path it names (see docs/system.md).
// Returns 0 when the path is refused (absolute, or escaping the working dir).
int32_t ResolvePath(const char* path, char* out, uint32_t out_size);

// Tests: failure hook for every write of the file layer (Write, SaveMem2File,
// CopyDir, file sets and streams; not a file set's commit record). After arming, bytes_ok more bytes are written; the write that
// would pass them writes up to the limit and fails, and so does every later
// non-empty write (0 = the next write fails) until -1 disarms the hook.
void FileFailWritesAfter(int64_t bytes_ok);
// Fuzz runs: 0 skips the disk syncs of whole-file rewrites (they stay
// atomic through the rename); 1 (the default) syncs again.
void FileSyncWrites(int32_t on);
// Tests: called before every disk sync with the disk path and 1 for a folder
// (0 for a file); a result of 0 fails that sync. Null removes the hook.
using FileSyncHook = int32_t (*)(const char* disk_path, int32_t folder, void* user);
void FileSetSyncHook(FileSyncHook hook, void* user);

// A set of whole-file replacements that take effect together: each file is
// written to a temporary name beside its target at once (through the failure
// hook), and nothing replaces a target until CommitFileSet renames them all
// and deletes the files marked for removal. Any failed step poisons the set:
// its commit then removes the temporary files and changes nothing.
// A commit of more than one change is recorded first (a commit record at
// the top of the working folder, written and synced before the first
// rename, deleted after the last removal), so what a kill or a failed
// rename interrupts is finished by the next start (FinishCommitRecords).
// Layout: docs/architecture.md, "The commit record".
struct FileSet;
FileSet* BeginFileSet();  // null when out of memory
// 1 or 0; a target that is no plain file (a link, a FIFO) poisons the set.
int32_t FileSetWrite(FileSet* set, const char* path, const void* data, uint32_t length);
int32_t FileSetRemove(FileSet* set, const char* path);  // deleted at commit; 1 or 0
// Frees the set. 1 when every file is in place; 0 when nothing changed (a
// poisoned set, or the first rename or removal failed: the record goes);
// FILESET_PART when a later step failed twice (at once and on a retry): the
// files up to it are new, the rest wait with the record, which the next
// write of one of its files in this run finishes (or drops, when it cannot:
// logged), and else the next start. Callers that keep the change count
// FILESET_PART as kept and tell the player (CommitPartText).
enum : int32_t { FILESET_PART = 2 };
int32_t CommitFileSet(FileSet* set);
// The player's text for FILESET_PART ("saved in part; finished at the next
// start"), from the catalog.
const char* CommitPartText(void);
// 1 once after one or more sets were saved in part since the last call: the
// caller tells the player (the screen skeleton does at its next event, so a
// caller that told him already takes the notice first).
int32_t TakePartSaveNotice(void);
void AbortFileSet(FileSet* set);      // removes the temporary files; frees the set

// Start-up, before anything else writes: carries out the commit records in
// the working folder in the order they were written (the renames and
// removals not yet done), drops a damaged or half-written one (no rename had
// begun), then sweeps the staged files nobody names (RemoveStaleTempFiles
// over the working folder). A record one of whose files was written after it
// is dropped without any of its remaining steps (logged, told to the
// CommitDroppedHook). A record that cannot be finished (a staged file is
// gone or damaged, a rename fails) is logged with its files, reported to the
// hook and left as it is, never half applied; a write of one of its files in
// this run finishes or drops it first. Returns how many records are left
// unfinished (0 when all is well).
int32_t FinishCommitRecords(void);
// Told of each record FinishCommitRecords leaves unfinished: the record's
// name and why (a short English phrase). The upper layer tells the player;
// null removes the hook.
using CommitRecordHook = void (*)(const char* record, const char* problem);
void SetCommitRecordHook(CommitRecordHook hook);
// Told of each record FinishCommitRecords drops because some of its files
// were written after it (none of its remaining steps is carried out): the
// record's name and those files' disk paths, one a line. Null removes it.
using CommitDroppedHook = void (*)(const char* record, const char* files);
void SetCommitDroppedHook(CommitDroppedHook hook);
// Tests: called before every rename of a file set's commit (and of its
// finish by a later write or start) with the disk paths; a result of 0
// fails that rename. Null removes the hook.
using FileRenameHook = int32_t (*)(const char* from, const char* to, void* user);
void FileSetRenameHook(FileRenameHook hook, void* user);

// A file written piece by piece that replaces its target only when whole:
// the pieces go to a temporary file beside the target (through the failure
// hook), so memory stays small whatever the size. CommitFileStream syncs it
// and renames it onto the target, AbortFileStream deletes it; both free the
// stream. A failed write poisons the stream: its commit then fails.
struct FileStream;
FileStream* BeginFileStream(const char* path);  // null when no temporary file can be made
int32_t FileStreamWrite(FileStream* stream, const void* data, uint32_t length);  // 1 or 0
// Syncs and closes the temporary file, kept for the commit, so many finished
// streams can wait without a descriptor each; 1 or 0.
int32_t FileStreamClose(FileStream* stream);
// Renames onto path (null: the path given to BeginFileStream; the folder must
// be the same); 1 when the file is in place.
int32_t CommitFileStream(FileStream* stream, const char* path);
void AbortFileStream(FileStream* stream);
