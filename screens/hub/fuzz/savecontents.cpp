// The reader of a save's list of contents on arbitrary bytes: a list it
// takes is written back byte for byte, every path it hands out names a file
// of the save's Data or Map folder, the paths are sorted and each is named
// once, and held against its own paths the list names exactly them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "screens/hub/savecontents.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1u << 20) return 0;
  std::vector<SaveContentsEntry> entries;
  if (!ReadSaveContents(data, static_cast<uint32_t>(size), &entries)) {
    if (!entries.empty()) std::abort();
    return 0;
  }
  const std::vector<uint8_t> again = SaveContentsImage(entries);
  if (again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
  std::vector<std::string> paths;
  for (const SaveContentsEntry& e : entries) {
    if (!paths.empty() && !(paths.back() < e.path)) std::abort();  // unsorted or twice
    paths.push_back(e.path);
  }
  bool unnamed = false;
  if (!SaveListMismatch(entries, paths, &unnamed).empty() || unnamed) std::abort();
  if (!paths.empty()) {
    // One file more than the list names: that file, as not named.
    std::vector<std::string> more = paths;
    more.push_back(paths.back() + "x");
    if (SaveListMismatch(entries, more, &unnamed) != more.back() || !unnamed) std::abort();
  }
  if (size > MaxSaveContentsSize(entries.size())) std::abort();  // no list is longer than its files allow
  for (const SaveContentsEntry& e : entries)
    if (e.path.find("..") == 0 || e.path.find("/../") != std::string::npos || e.path.find('\\') != std::string::npos ||
        (e.path.rfind("Data/", 0) != 0 && e.path.rfind("Map/", 0) != 0))
      std::abort();
  return 0;
}
