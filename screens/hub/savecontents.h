// The list of contents of a save game: Inhalt.qoe beside the save's Data and
// Map folders names every file of the save with its size and CRC-32, so a
// load finds a file that was cut short or changed before anything is copied
// back. Layout: docs/savegames.md.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The list's file name in a save's folder.
extern const char kSaveContentsName[];

struct SaveContentsEntry {
  std::string path;  // in the save's folder, '/' between the parts ("Data/Prefs.qoe")
  uint32_t size;
  uint32_t crc;      // CRC-32 of the file's bytes
};

// The list's file image.
std::vector<uint8_t> SaveContentsImage(const std::vector<SaveContentsEntry>& entries);
// Reads a list's image: true with *entries when it is whole (its ID, its
// count, each entry and its checksum) and every path names a file of the
// save's Data or Map folder (no empty, "." or ".." part, no '\', no control
// character); false otherwise (*entries then empty).
bool ReadSaveContents(const uint8_t* data, uint32_t size, std::vector<SaveContentsEntry>* entries);
// Every file under the Data and Map folders of the disk folder root (links
// and other non-files left out), by path, with its size and CRC-32. False
// when a folder or a file cannot be read.
bool MakeSaveContents(const std::string& root, std::vector<SaveContentsEntry>* entries);
// The first listed file that is missing under the disk folder root or has
// another size or checksum ("" when every one is whole).
std::string CheckSaveContents(const std::string& root, const std::vector<SaveContentsEntry>& entries);
// The files under the Data and Map folders of root, as in MakeSaveContents,
// without reading them ("" sizes 0, checksums 0); false when a folder cannot
// be read.
bool ListSaveFiles(const std::string& root, std::vector<SaveContentsEntry>* entries);
