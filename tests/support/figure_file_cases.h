// The ways the figure file Data/MapPrefs.qoe of an installed game can fail
// the places that read it (the harbour, the barracks, the specialists, the
// map, the upload, the quit warnings), as one table for their tests: cut
// short, a count past its end, missing, a folder or a FIFO in its place
// (never opened, so never waited on). Each place
// tells the player, works without the figures and never writes the file, so
// after it the file is still as it was laid (header-only).
#pragma once
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "routinen/system/catalog.h"
#include "tests/support/test_support.h"

namespace qoe_test {

enum class FigureFault { kCut, kCountPastEnd, kMissing, kFolder, kFifo };

struct FigureFileCase {
  FigureFault fault;
  const char* name;
};

inline constexpr FigureFileCase kFigureFileCases[] = {
    {FigureFault::kCut, "cut short"},
    {FigureFault::kCountPastEnd, "a count past its end"},
    {FigureFault::kMissing, "missing"},
    {FigureFault::kFolder, "a folder"},
    {FigureFault::kFifo, "a FIFO"},
};

inline constexpr const char kFigureFile[] = "Data/MapPrefs.qoe";

// A whole figure file without a figure (MREF, then MOVE with a count of 0),
// as an installed game's tests need one.
inline std::vector<uint8_t> FigureFileWithoutFigures() {
  std::vector<uint8_t> f = {'M', 'R', 'E', 'F', 'V', '0', '0', '1', 0, 0, 0, 16};
  f.resize(28, 0);
  const uint8_t move[] = {'M', 'O', 'V', 'E', 'V', '0', '0', '1', 0, 0, 0, 2, 0, 0};
  f.insert(f.end(), move, move + sizeof move);
  return f;
}

// True for the cases where no file stands at the path.
inline bool FigureFileGone(const FigureFileCase& c) {
  return c.fault == FigureFault::kMissing || c.fault == FigureFault::kFolder || c.fault == FigureFault::kFifo;
}

// Lays the case at Data/MapPrefs.qoe from the whole file good: cut to
// cut_to bytes; the MOVE count (at 40) three past its records; removed; or
// removed and an empty folder or a FIFO made in its place. The bytes laid
// (empty for the last three) for FigureFileAsLaid.
inline std::vector<uint8_t> LayFigureFile(const FigureFileCase& c, std::vector<uint8_t> good, size_t cut_to = 150) {
  std::error_code ec;
  std::filesystem::remove_all(kFigureFile, ec);
  switch (c.fault) {
    case FigureFault::kCut:
      good.resize(cut_to < good.size() ? cut_to : good.size() / 2);
      break;
    case FigureFault::kCountPastEnd: {
      const uint32_t count = (good.size() > 41 ? (good[40] << 8 | good[41]) : 0) + 3u;
      good[40] = static_cast<uint8_t>(count >> 8);
      good[41] = static_cast<uint8_t>(count);
      break;
    }
    case FigureFault::kMissing:
      return {};
    case FigureFault::kFolder:
      std::filesystem::create_directory(kFigureFile, ec);
      return {};
    case FigureFault::kFifo:
      mkfifo(kFigureFile, 0644);
      return {};
  }
  WriteFileBytes(kFigureFile, good);
  return good;
}

// True when nothing was written in the case's place: the same bytes, still
// no file, or still the empty folder.
inline bool FigureFileAsLaid(const FigureFileCase& c, const std::vector<uint8_t>& laid) {
  std::error_code ec;
  switch (c.fault) {
    case FigureFault::kMissing:
      return !std::filesystem::exists(kFigureFile, ec);
    case FigureFault::kFolder:
      return std::filesystem::is_directory(kFigureFile, ec) && std::filesystem::is_empty(kFigureFile, ec);
    case FigureFault::kFifo:
      return std::filesystem::is_fifo(std::filesystem::symlink_status(kFigureFile, ec));
    default:
      return std::filesystem::is_regular_file(kFigureFile, ec) && ReadFileBytes(kFigureFile) == laid;
  }
}

// The log line of a place that told the player.
inline std::string FigureFileToldLine(const FigureFileCase& c) {
  return std::string(FigureFileGone(c) ? "Fehlende Datei gemeldet: " : "Beschaedigte Datei gemeldet: ") +
         ".\\Data\\MapPrefs.qoe";
}

// The catalog text with the file's name, as the player reads it, for its
// "%s": the figure file's damage (1682, the quit warning's 1909) or its
// absence (1930, the quit warning's 1931).
inline std::string FigureFileSentence(const FigureFileCase& c, bool quit_warning = false) {
  const uint32_t id = FigureFileGone(c) ? (quit_warning ? 1931 : 1930) : (quit_warning ? 1909 : 1682);
  std::string text = GetCatalogStr(id);
  if (const size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, "Data\\MapPrefs.qoe");
  return text;
}

}  // namespace qoe_test
