// Fuzz target: arbitrary bytes as the body of a commit record of either
// layout (the first byte picks it; the head and
// the checksum are put around them, so the reader's checks past them are
// reached), finished by FinishCommitRecords in a private folder that holds a
// few targets and staged files. Files are not synced to disk (speed).
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/checksum.h"
#include "routinen/system/files.h"

namespace {

void Put(const char* path, const char* text) {
  if (FILE* f = std::fopen(path, "wb")) {
    std::fputs(text, f);
    std::fclose(f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    char dir[] = "/dev/shm/qoe_fuzz_commit_XXXXXX";
    char disk_dir[] = "/tmp/qoe_fuzz_commit_XXXXXX";
    const char* made = mkdtemp(dir);
    if (!made) made = mkdtemp(disk_dir);
    if (!made || chdir(made) != 0) return 0;
    mkdir("Data", 0755);
    mkdir("Map", 0755);
    FileSyncWrites(0);
    DebugLogSetStderr(0);
    init = true;
  }
  if (size > 1 << 16) return 0;
  Put("Data/A.dat", "old a");
  Put("Data/.qoetmp-A.dat.AAAAAA", "new a");
  Put("Map/B.map", "old b");
  Put("Map/.qoetmp-B.map.BBBBBB", "new b");
  // The first byte picks the layout: today's (odd) or the one before.
  const bool today = size > 0 && (data[0] & 1);
  if (size > 0) {
    data++;
    size--;
  }
  std::vector<uint8_t> img(12 + size + 4);
  std::memcpy(img.data(), today ? "QCOMMIT2" : "QCOMMIT1", 8);
  PutBE32(img.data() + 8, (uint32_t)(size + 4));
  if (size) std::memcpy(img.data() + 12, data, size);
  PutBE32(img.data() + 12 + size, Crc32(img.data(), (uint32_t)(12 + size)));
  if (FILE* f = std::fopen(".qoecommit-FUZZED", "wb")) {
    std::fwrite(img.data(), 1, img.size(), f);
    std::fclose(f);
  }
  FinishCommitRecords();
  unlink(".qoecommit-FUZZED");
  return 0;
}
