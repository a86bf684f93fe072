// Fuzz target: the CTLG catalog reader on arbitrary bytes. Every text it
// applies must be terminated and the table must be English again after close.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/system/catalog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static CatalogEntry table[8] = {{0, "a", nullptr}, {1, "b", nullptr}, {2, "c", nullptr}, {3, "d", nullptr},
                                  {5, "e", nullptr}, {7, "f", nullptr}, {9, "g", nullptr}, {40000, "h", nullptr}};
  if (size > 0xFFFFFFFFu) return 0;
  Catalog* c = OpenCatalogFromMemory(data, (uint32_t)size, table, 8);
  for (const CatalogEntry& e : table) {
    const char* t = GetCatalogEntryStr(&e);
    volatile size_t n = std::strlen(t);
    (void)n;
  }
  CloseCatalog(c);
  for (const CatalogEntry& e : table)
    if (e.override) __builtin_trap();
  return 0;
}
