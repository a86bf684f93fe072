// Fuzz target: the picture index reader.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/gui/pathfile.h"
#include "platform/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = (DebugLogSetStderr(0), true);
  (void)quiet;
  PathFile* pf = ParsePathFile(data, (uint32_t)size);
  if (pf) {
    for (uint32_t id = 0; id <= pf->count + 1u; ++id)
      if (const PathEntry* e = GetPathEntry(pf, id)) (void)std::strlen(e->file);
    FreePathFile(pf);
  }
  return 0;
}
