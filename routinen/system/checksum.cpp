// CRC-32 (the zlib polynomial), taken eight bytes per step.
#include "checksum.h"

namespace {

uint32_t CrcTableEntry(uint32_t n) {
  uint32_t c = n;
  for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  return c;
}

// Eight tables: the checksum takes eight bytes per step (slicing by 8).
struct CrcTable {
  uint32_t t[8][256];
  CrcTable() {
    for (uint32_t i = 0; i < 256; i++) t[0][i] = CrcTableEntry(i);
    for (uint32_t i = 0; i < 256; i++)
      for (int k = 1; k < 8; k++) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
};

}  // namespace

uint32_t Crc32(const void* data, uint32_t length, uint32_t crc) {
  static const CrcTable table;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  crc = ~crc;
  uint32_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint32_t lo = crc ^ ((uint32_t)p[i] | (uint32_t)p[i + 1] << 8 | (uint32_t)p[i + 2] << 16 |
                         (uint32_t)p[i + 3] << 24);
    crc = table.t[7][lo & 0xFF] ^ table.t[6][(lo >> 8) & 0xFF] ^ table.t[5][(lo >> 16) & 0xFF] ^
          table.t[4][lo >> 24] ^ table.t[3][p[i + 4]] ^ table.t[2][p[i + 5]] ^ table.t[1][p[i + 6]] ^
          table.t[0][p[i + 7]];
  }
  for (; i < length; i++) crc = table.t[0][(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}
