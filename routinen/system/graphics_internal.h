// Helpers shared by the drawing files; not part of the public interface.
#pragma once
#include <cstdint>
#include <cstring>

#include "graphics.h"

struct QoeMutex;

namespace gfx {

// True when the record describes pixels the drawing calls may touch.
inline bool Usable(const BitMap* bm) {
  if (!bm || !bm->Pixels || bm->Width == 0 || bm->Height == 0) return false;
  if (bm->Depth != 8 && bm->Depth != 32) return false;
  uint64_t row = (uint64_t)bm->Width * (bm->Depth / 8);
  return bm->BytesPerRow >= row && (uint64_t)bm->BytesPerRow * (bm->Height - 1) + row <= bm->Size;
}

inline uint32_t BytesPerPixel(const BitMap* bm) { return bm->Depth / 8; }

inline uint8_t* At(const BitMap* bm, int32_t x, int32_t y) {
  return bm->Pixels + (size_t)y * bm->BytesPerRow + (size_t)x * (bm->Depth / 8);
}

inline bool Inside(const BitMap* bm, int64_t x, int64_t y) {
  return x >= 0 && y >= 0 && x < (int64_t)bm->Width && y < (int64_t)bm->Height;
}

// A pixel value as stored: memcpy of its bytes gives the pixel in memory.
uint32_t ColorPixel(uint16_t format, const PaletteColor& c);
// The stored value of every pen in the given format, from the screen palette.
void PenTable(uint16_t format, uint32_t table[256]);
// The stored value of one pen in a bitmap's format.
uint32_t PenPixel(const BitMap* bm, uint32_t pen);

inline void Store(const BitMap* bm, uint8_t* p, uint32_t value) {
  if (bm->Depth == 8) *p = (uint8_t)value;
  else std::memcpy(p, &value, 4);
}
inline uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline uint32_t Load(const BitMap* bm, const uint8_t* p) {
  if (bm->Depth == 8) return *p;
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Fills the rectangle x0..x1, y0..y1 (inclusive, already inside the bitmap).
void FillClipped(BitMap* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t value);

// True for the screen's bitmap: the screen RastPort's, or a bitmap over the
// display's back surface.
bool Shown(const BitMap* bm);

// Held by every drawing call while it touches the screen's bitmap: the
// display mutex, which the window thread holds while it copies out of that
// bitmap (OpenGL mode) and the helper threads while they draw into it. A
// bitmap of the caller's own takes no lock. The mutex is recursive, so a
// caller that holds it already (a drawing of several steps) may.
class ShownLock {
 public:
  explicit ShownLock(const BitMap* a, const BitMap* b = nullptr);
  ~ShownLock();
  ShownLock(const ShownLock&) = delete;
  ShownLock& operator=(const ShownLock&) = delete;

 private:
  QoeMutex* mutex_;
};

}  // namespace gfx
