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
// count, each entry and its checksum), every path names a file of the
// save's Data or Map folder (no empty, "." or ".." part, no '\', no control
// character) and the paths are sorted by their bytes, each named once;
// false otherwise (*entries then empty).
bool ReadSaveContents(const uint8_t* data, uint32_t size, std::vector<SaveContentsEntry>* entries);
// Every file under the Data and Map folders of the disk folder root (links
// and other non-files left out), by path, with its size and CRC-32. False
// when a folder or a file cannot be read.
bool MakeSaveContents(const std::string& root, std::vector<SaveContentsEntry>* entries);
// The first listed file that is missing under the disk folder root or has
// another size or checksum ("" when every one is whole). A link or a FIFO
// in a file's place counts as missing (never followed, never waited on).
std::string CheckSaveContents(const std::string& root, const std::vector<SaveContentsEntry>& entries);
// The files under the Data and Map folders of root, as in MakeSaveContents,
// without reading them ("" sizes 0, checksums 0); false when a folder cannot
// be read.
bool ListSaveFiles(const std::string& root, std::vector<SaveContentsEntry>* entries);

// What a walk of a save's Data and Map folders finds, no file read: the
// first entry that is neither a plain file nor a folder (a link, a FIFO, a
// socket, a device; "Data" or "Map" when the folder itself is one), and the
// plain files a load copies (all but the indexes and layouts at the top and
// temporary files), sorted by path. The folders are found as the file layer
// finds them (their own spelling, else another letter case); the paths
// begin "Data/" and "Map/" whatever it is. False when a folder is missing
// or cannot be read.
struct SaveFolderScan {
  std::string notPlain;            // "" when there is none
  std::vector<std::string> files;  // "Data/Prefs.qoe", ...
  std::string dataDir, mapDir;     // the folders' names on disk ("" missing)
};
bool ScanSaveFolders(const std::string& root, SaveFolderScan* scan);
// The longest list of contents a save of that many files can have (each
// path at its longest), at most 64 MB: a longer list is damaged, and is
// refused unread.
uint64_t MaxSaveContentsSize(size_t files);
// A list (as read) against the files a scan found: "" when it names
// exactly them; else the first path (by path) only one side has, with
// *unnamed true for a file the list does not name (false: a file it names
// is missing).
std::string SaveListMismatch(const std::vector<SaveContentsEntry>& entries, const std::vector<std::string>& files,
                             bool* unnamed);
// Tests: how many files' checksums CheckSaveContents and MakeSaveContents
// have worked out since the start (each file read whole counts once).
uint64_t SaveContentsFilesRead();
