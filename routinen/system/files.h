// Files and folders. Every path is Windows-style and relative to the working
// directory ('\' or '/', any letter case); one resolver maps it onto disk.
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

FileHandle Open(const char* path, int32_t mode);
int32_t Close(FileHandle f);                               // 1
int32_t Read(FileHandle f, void* buffer, int32_t length);   // bytes read, -1 on error
int32_t Write(FileHandle f, const void* buffer, int32_t length);  // bytes written, -1 on error
int32_t Seek(FileHandle f, int32_t offset, int32_t mode);   // old position, -1 on error

LockHandle Lock(const char* path, int32_t mode);
void UnLock(LockHandle lock);

uint32_t GeFileSize(const char* path);                       // 0 when unreadable
void* LoadFile2Mem(const char* path, uint32_t alloc_flags);  // AllocVec block or null
// Sets *size_out (may be null) to the size of what LoadFile2Mem returned.
void* LoadFile2MemSize(const char* path, uint32_t alloc_flags, uint32_t* size_out);
// Replaces the file atomically (temporary file, then rename); 0 on failure.
int32_t SaveMem2File(const char* path, const void* memory, uint32_t length);
int32_t DeleteFileA(const char* path);  // non-zero on success

LockHandle CreateDir(const char* path);  // release with UnLock; 0 on failure
int32_t DeleteDir(const char* folder, const char* prefix);
uint16_t CountDirEntries(const char* folder);
char* GetDirBuffer(const char* folder, uint16_t count);  // count x 80-byte names
int32_t CopyDir(const char* source, const char* target, uint32_t mode);

// Maps a program path onto the disk path it names (see docs/system.md).
// Returns 0 when the path is refused (absolute, or escaping the working dir).
int32_t ResolvePath(const char* path, char* out, uint32_t out_size);

// Tests: failure hook of the file layer. After arm, the write that would pass
// `bytes_ok` bytes in total fails (0 = the next write fails); -1 disarms.
void FileFailWritesAfter(int64_t bytes_ok);
