// Byte order: every disk and wire format goes through these helpers, never
// through casts of memory. BoundedReader/BoundedWriter never step outside
// their buffer; a read past the end yields 0 and clears ok.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

inline uint16_t GetBE16(const uint8_t* p) { return (uint16_t)((p[0] << 8) | p[1]); }
inline uint32_t GetBE32(const uint8_t* p) {
  return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}
inline uint16_t GetLE16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t GetLE32(const uint8_t* p) {
  return p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}
inline void PutBE16(uint8_t* p, uint16_t v) { p[0] = (uint8_t)(v >> 8); p[1] = (uint8_t)v; }
inline void PutBE32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)(v >> 24); p[1] = (uint8_t)(v >> 16); p[2] = (uint8_t)(v >> 8); p[3] = (uint8_t)v;
}
inline void PutLE16(uint8_t* p, uint16_t v) { p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); }
inline void PutLE32(uint8_t* p, uint32_t v) {
  p[0] = (uint8_t)v; p[1] = (uint8_t)(v >> 8); p[2] = (uint8_t)(v >> 16); p[3] = (uint8_t)(v >> 24);
}

struct BoundedReader {
  const uint8_t* data;
  size_t size;
  size_t pos;
  bool ok;
};

inline BoundedReader MakeReader(const void* data, size_t size) {
  return BoundedReader{static_cast<const uint8_t*>(data), data ? size : 0, 0, true};
}
// True when n more bytes can be read.
inline bool ReaderHas(const BoundedReader& r, size_t n) { return r.ok && n <= r.size - r.pos; }
inline size_t ReaderLeft(const BoundedReader& r) { return r.size - r.pos; }
// Returns a pointer to the next n bytes and advances, or null (and !ok).
inline const uint8_t* ReadSpan(BoundedReader& r, size_t n) {
  if (!ReaderHas(r, n)) { r.ok = false; return nullptr; }
  const uint8_t* p = r.data + r.pos;
  r.pos += n;
  return p;
}
inline bool ReadBytes(BoundedReader& r, void* out, size_t n) {
  const uint8_t* p = ReadSpan(r, n);
  if (!p) return false;
  if (n) std::memcpy(out, p, n);
  return true;
}
inline bool ReaderSeek(BoundedReader& r, size_t pos) {
  if (!r.ok || pos > r.size) { r.ok = false; return false; }
  r.pos = pos;
  return true;
}
inline bool ReaderSkip(BoundedReader& r, size_t n) { return ReadSpan(r, n) != nullptr || n == 0; }
inline uint8_t ReadU8(BoundedReader& r) { const uint8_t* p = ReadSpan(r, 1); return p ? p[0] : 0; }
inline uint16_t ReadBE16(BoundedReader& r) { const uint8_t* p = ReadSpan(r, 2); return p ? GetBE16(p) : 0; }
inline uint32_t ReadBE32(BoundedReader& r) { const uint8_t* p = ReadSpan(r, 4); return p ? GetBE32(p) : 0; }
inline uint16_t ReadLE16(BoundedReader& r) { const uint8_t* p = ReadSpan(r, 2); return p ? GetLE16(p) : 0; }
inline uint32_t ReadLE32(BoundedReader& r) { const uint8_t* p = ReadSpan(r, 4); return p ? GetLE32(p) : 0; }

struct BoundedWriter {
  uint8_t* data;
  size_t size;
  size_t pos;
  bool ok;
};

inline BoundedWriter MakeWriter(void* data, size_t size) {
  return BoundedWriter{static_cast<uint8_t*>(data), data ? size : 0, 0, true};
}
inline uint8_t* WriteSpan(BoundedWriter& w, size_t n) {
  if (!w.ok || n > w.size - w.pos) { w.ok = false; return nullptr; }
  uint8_t* p = w.data + w.pos;
  w.pos += n;
  return p;
}
inline bool WriteBytes(BoundedWriter& w, const void* src, size_t n) {
  uint8_t* p = WriteSpan(w, n);
  if (!p) return false;
  if (n) std::memcpy(p, src, n);
  return true;
}
inline void WriteU8(BoundedWriter& w, uint8_t v) { if (uint8_t* p = WriteSpan(w, 1)) p[0] = v; }
inline void WriteBE16(BoundedWriter& w, uint16_t v) { if (uint8_t* p = WriteSpan(w, 2)) PutBE16(p, v); }
inline void WriteBE32(BoundedWriter& w, uint32_t v) { if (uint8_t* p = WriteSpan(w, 4)) PutBE32(p, v); }
inline void WriteLE16(BoundedWriter& w, uint16_t v) { if (uint8_t* p = WriteSpan(w, 2)) PutLE16(p, v); }
inline void WriteLE32(BoundedWriter& w, uint32_t v) { if (uint8_t* p = WriteSpan(w, 4)) PutLE32(p, v); }
