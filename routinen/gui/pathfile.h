// The picture index (".\Data\Path", ".\Data\RizizOzezPath"): maps a picture
// ID to its file, kind and frame layout. Format in docs/pictures.md.
#pragma once
#include <cstdint>

enum PictureKind : uint8_t {
  PICKIND_NONE = 0,     // no picture under this ID
  PICKIND_SCREEN = 1,   // full-screen background, 640 x 480
  PICKIND_GRAPHIC = 2,  // graphic without transparency
  PICKIND_MASKED = 3,   // graphic with a mask (transparent colour)
  PICKIND_STRIP = 4,    // masked animation frames stacked vertically
};

constexpr uint32_t kPathHeaderSize = 12;
constexpr uint32_t kPathRecordSize = 64;
constexpr uint32_t kPathNameSize = 52;
constexpr uint16_t kPathMaxEntries = 4096;

struct PathEntry {
  uint8_t kind;          // PictureKind
  uint8_t flags;         // reserved, 0
  uint16_t frames;       // frames of a strip (1 otherwise)
  uint16_t frameHeight;  // height of one frame (the picture's height otherwise)
  uint16_t width;
  uint16_t height;
  char file[kPathNameSize];  // program path, e.g. "Gfx\\Pic0002.ilbm", 0-terminated
};

struct PathFile {
  uint16_t count;      // IDs 1..count
  PathEntry* entries;  // entry of ID n at n - 1
};

// Parses an index image; null (logged) when it is malformed or memory runs out.
PathFile* ParsePathFile(const void* data, uint32_t size);
// Loads and parses an index file; null when it is missing or malformed.
PathFile* LoadPathFile(const char* path);
void FreePathFile(PathFile* index);
// The entry of an ID, null when the ID is 0, beyond the index or has no picture.
const PathEntry* GetPathEntry(const PathFile* index, uint32_t id);
