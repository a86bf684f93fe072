// CRC-32 as zlib and PNG compute it (polynomial 0xEDB88320, reflected,
// start and end inverted). crc carries a running checksum over several
// pieces: Crc32(b, nb, Crc32(a, na)) equals the checksum of a then b.
#pragma once
#include <cstdint>

uint32_t Crc32(const void* data, uint32_t length, uint32_t crc = 0);
