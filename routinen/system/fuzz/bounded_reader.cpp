// Example fuzz target: walks arbitrary bytes as a tagged record stream.
#include <cstddef>
#include <cstdint>

#include "routinen/system/byteorder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BoundedReader r = MakeReader(data, size);
  while (r.ok && ReaderLeft(r) > 0) {
    uint8_t tag = ReadU8(r);
    uint32_t len = ReadBE16(r);
    if (tag & 1) len = ReadBE32(r);
    if (!ReaderSkip(r, len)) break;
  }
  return 0;
}
