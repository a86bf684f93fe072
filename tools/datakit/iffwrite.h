// Writing IFF files in the kit: big-endian numbers, chunks padded to an even
// length, FORMs, and ByteRun1 rows (shared by the picture writer and the
// ANIM encoder).
#pragma once
#include <cstdint>
#include <vector>

namespace datakit {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) { b.push_back((uint8_t)(v >> 8)); b.push_back((uint8_t)v); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, v >> 16); Put16(b, v & 0xFFFF); }
inline void PutId(Bytes& b, const char* id) {
  for (int i = 0; i < 4; ++i) b.push_back((uint8_t)id[i]);
}

// An IFF chunk: id, length, data, pad byte to an even length.
inline void PutChunk(Bytes& b, const char* id, const Bytes& data) {
  PutId(b, id);
  Put32(b, (uint32_t)data.size());
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
}

inline Bytes Form(const char* type, const Bytes& chunks) {
  Bytes b;
  PutId(b, "FORM");
  Put32(b, (uint32_t)chunks.size() + 4);
  PutId(b, type);
  b.insert(b.end(), chunks.begin(), chunks.end());
  return b;
}

// ByteRun1 of one plane row: runs of 3 or more equal bytes repeat, the rest
// is copied.
inline void PackRow(Bytes& out, const uint8_t* s, int n) {
  int i = 0;
  while (i < n) {
    int j = i + 1;
    while (j < n && j - i < 128 && s[j] == s[i]) ++j;
    if (j - i >= 3) {
      out.push_back((uint8_t)(int8_t)(-(j - i - 1)));
      out.push_back(s[i]);
      i = j;
      continue;
    }
    const int start = i;
    while (i < n && i - start < 128) {
      if (i + 2 < n && s[i] == s[i + 1] && s[i] == s[i + 2]) break;
      ++i;
    }
    out.push_back((uint8_t)(i - start - 1));
    out.insert(out.end(), s + start, s + i);
  }
}

}  // namespace datakit
