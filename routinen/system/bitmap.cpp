// BitMaps in memory or over a platform surface, and the blits between them.
#include <cstring>
#include <functional>
#if defined(__SSE2__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

#include "graphics.h"
#include "graphics_internal.h"
#include "memory.h"
#include "platform/display.h"
#include "platform/threads.h"
#include "sysrecords.h"

namespace {

const uint32_t kMaxSide = 16384;

// A copy rectangle after clipping against both bitmaps.
struct BlitRect {
  int32_t sx, sy, dx, dy, w, h;
};

// Clips the rectangle so that it lies inside both bitmaps; false when
// nothing is left.
bool ClipBlit(const BitMap* src, const BitMap* dst, int64_t sx, int64_t sy, int64_t dx, int64_t dy,
              int64_t w, int64_t h, BlitRect* out) {
  if (w <= 0 || h <= 0) return false;
  if (sx < 0) { dx -= sx; w += sx; sx = 0; }
  if (sy < 0) { dy -= sy; h += sy; sy = 0; }
  if (dx < 0) { sx -= dx; w += dx; dx = 0; }
  if (dy < 0) { sy -= dy; h += dy; dy = 0; }
  if (w > (int64_t)src->Width - sx) w = (int64_t)src->Width - sx;
  if (w > (int64_t)dst->Width - dx) w = (int64_t)dst->Width - dx;
  if (h > (int64_t)src->Height - sy) h = (int64_t)src->Height - sy;
  if (h > (int64_t)dst->Height - dy) h = (int64_t)dst->Height - dy;
  if (w <= 0 || h <= 0) return false;
  *out = BlitRect{(int32_t)sx, (int32_t)sy, (int32_t)dx, (int32_t)dy, (int32_t)w, (int32_t)h};
  return true;
}

// How one row of source pixels becomes destination pixels.
enum class RowKind { kSame, kPens, kSwap32, kNone };

RowKind KindOf(const BitMap* src, const BitMap* dst) {
  uint16_t sf = BitMapPixelFormat(src), df = BitMapPixelFormat(dst);
  if (sf == df) return RowKind::kSame;
  if (sf == PIXFMT_LUT8) return RowKind::kPens;
  if (df != PIXFMT_LUT8) return RowKind::kSwap32;
  return RowKind::kNone;  // 32-bit colours cannot become pens
}

// Converts one 32-bit pixel between 0x00RRGGBB and R,G,B,A bytes.
uint32_t Swap32(uint32_t v, uint16_t to) {
  uint8_t b[4];
  if (to == PIXFMT_RGBA32) {
    b[0] = (uint8_t)(v >> 16); b[1] = (uint8_t)(v >> 8); b[2] = (uint8_t)v; b[3] = 255;
    std::memcpy(&v, b, 4);
    return v;
  }
  std::memcpy(b, &v, 4);
  return ((uint32_t)b[0] << 16) | ((uint32_t)b[1] << 8) | b[2];
}

// True when a 32-bit pixel is the colour key (red, green and blue 0).
bool IsKey32(uint32_t v, uint16_t format) {
  if (format == PIXFMT_RGBA32) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    return (b[0] | b[1] | b[2]) == 0;
  }
  return (v & 0xFFFFFF) == 0;
}

}  // namespace

uint16_t BitMapPixelFormat(const BitMap* bm) {
  if (!bm) return PIXFMT_NONE;
  if (bm->Depth == 8) return PIXFMT_LUT8;
  return (bm->Flags & BMF_RGBA) ? PIXFMT_RGBA32 : PIXFMT_XRGB32;
}

BitMap* AllocBitMap(uint32_t width, uint32_t height, uint32_t depth, uint32_t flags,
                    const BitMap* friend_bitmap) {
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return nullptr;
  uint32_t bpp;
  if (depth >= 1 && depth <= 8) bpp = 1;
  else if (depth == 32) bpp = 4;
  else return nullptr;
  BitMap* bm = static_cast<BitMap*>(AllocVec(sizeof(BitMap), MEMF_PUBLIC | MEMF_CLEAR));
  if (!bm) return nullptr;
  bm->Width = width;
  bm->Height = height;
  bm->Depth = bpp * 8;
  bm->BytesPerRow = width * bpp;
  bm->Padding = 0;
  bm->Size = bm->BytesPerRow * height;
  bm->Flags = (flags & ~BMF_SURFACE) | BMF_CLEAR;
  if (friend_bitmap && friend_bitmap->Depth == 32) bm->Flags |= friend_bitmap->Flags & BMF_RGBA;
  if (bpp == 1) bm->Flags &= ~BMF_RGBA;
  bm->Pixels = static_cast<uint8_t*>(AllocVec(bm->Size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!bm->Pixels) {
    FreeVec(bm);
    return nullptr;
  }
  return bm;
}

BitMap* AllocSurfaceBitMap(PlatformSurface* surface) {
  if (!surface || !surface->pixels || (surface->depth != 8 && surface->depth != 32)) return nullptr;
  uint32_t bpp = surface->depth / 8;
  if (surface->width == 0 || surface->height == 0 || surface->pitch < surface->width * bpp) return nullptr;
  BitMap* bm = static_cast<BitMap*>(AllocVec(sizeof(BitMap), MEMF_PUBLIC | MEMF_CLEAR));
  if (!bm) return nullptr;
  bm->Width = surface->width;
  bm->Height = surface->height;
  bm->Depth = surface->depth;
  bm->BytesPerRow = surface->pitch;
  bm->Padding = surface->pitch - surface->width * bpp;
  bm->Size = surface->pitch * surface->height;
  bm->Flags = BMF_SURFACE | BMF_DISPLAYABLE;
  bm->Pixels = surface->pixels;
  bm->Surface = surface;
  return bm;
}

void FreeBitMap(BitMap* bm) {
  if (!bm) return;
  if (!(bm->Flags & BMF_SURFACE)) FreeVec(bm->Pixels);
  FreeVec(bm);
}

namespace gfx {

void FillClipped(BitMap* bm, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t value) {
  size_t n = (size_t)(x1 - x0 + 1);
  uint8_t* first = At(bm, x0, y0);
  if (bm->Depth == 8) {
    for (int32_t y = y0; y <= y1; y++) std::memset(At(bm, x0, y), (int)(value & 0xFF), n);
    return;
  }
  for (size_t i = 0; i < n; i++) std::memcpy(first + 4 * i, &value, 4);
  for (int32_t y = y0 + 1; y <= y1; y++) std::memcpy(At(bm, x0, y), first, 4 * n);
}

bool Shown(const BitMap* bm) {
  if (!bm) return false;
  const DisplayRecord* d = QoESystemPtr->Display;
  if (d && d->ScreenRastPort && d->ScreenRastPort->Bitmap == bm) return true;
  const PlatformSurface* back = DisplayBackSurface();
  return back && (bm->Flags & BMF_SURFACE) && bm->Surface == back;
}

ShownLock::ShownLock(const BitMap* a, const BitMap* b) : mutex_((Shown(a) || Shown(b)) ? DisplayMutex() : nullptr) {
  if (mutex_) ObtainMutex(mutex_);
}

ShownLock::~ShownLock() {
  if (mutex_) ReleaseMutex(mutex_);
}

}  // namespace gfx

int32_t BltBitMap(const BitMap* src, int32_t sx, int32_t sy, BitMap* dst, int32_t dx, int32_t dy,
                  int32_t width, int32_t height, uint32_t, uint32_t, void*) {
  if (!gfx::Usable(src) || !gfx::Usable(dst)) return 0;
  gfx::ShownLock shown(src, dst);
  RowKind kind = KindOf(src, dst);
  if (kind == RowKind::kNone) return 0;
  BlitRect r{};
  if (!ClipBlit(src, dst, sx, sy, dx, dy, width, height, &r)) return 1;
  if (kind == RowKind::kSame) {
    size_t bytes = (size_t)r.w * gfx::BytesPerPixel(src);
    // Rows run bottom-up when the destination lies after the source, so an
    // overlapping copy within one bitmap reads every row before it is hit.
    bool up = std::less<const uint8_t*>()(gfx::At(src, r.sx, r.sy), gfx::At(dst, r.dx, r.dy));
    for (int32_t i = 0; i < r.h; i++) {
      int32_t row = up ? r.h - 1 - i : i;
      std::memmove(gfx::At(dst, r.dx, r.dy + row), gfx::At(src, r.sx, r.sy + row), bytes);
    }
    return 1;
  }
  uint16_t df = BitMapPixelFormat(dst);
  uint32_t table[256];
  if (kind == RowKind::kPens) gfx::PenTable(df, table);
  for (int32_t row = 0; row < r.h; row++) {
    const uint8_t* s = gfx::At(src, r.sx, r.sy + row);
    uint8_t* d = gfx::At(dst, r.dx, r.dy + row);
    for (int32_t x = 0; x < r.w; x++) {
      uint32_t v = kind == RowKind::kPens ? table[s[x]] : Swap32(gfx::Load(src, s + 4 * x), df);
      std::memcpy(d + 4 * x, &v, 4);
    }
  }
  return 1;
}

int32_t BltBitMapRastPort(const BitMap* src, int32_t sx, int32_t sy, RastPort* rp, int32_t dx,
                          int32_t dy, int32_t width, int32_t height, uint32_t minterm) {
  if (!rp) return 0;
  return BltBitMap(src, sx, sy, rp->Bitmap, dx, dy, width, height, minterm);
}

namespace {

// Masked blits between formats go row by row in runs: the holes are skipped
// eight mask bytes (or eight 8-bit pixels) at a time, and each run of opaque
// pixels is converted whole.
inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
// True when any of the eight bytes is 0.
inline bool HasZeroByte(uint64_t v) {
  return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0;
}

// The next run of non-zero bytes in b[from..n): its start and its end.
// Returns false when none is left.
inline bool NextByteRun(const uint8_t* b, int32_t n, int32_t from, int32_t* start, int32_t* end) {
  int32_t j = from;
  while (j + 8 <= n && Load64(b + j) == 0) j += 8;
  while (j < n && b[j] == 0) j++;
  if (j >= n) return false;
  *start = j;
  while (j + 8 <= n && !HasZeroByte(Load64(b + j))) j += 8;
  while (j < n && b[j] != 0) j++;
  *end = j;
  return true;
}

// The next run of 32-bit pixels that are not the colour key.
inline bool NextPixelRun(const uint8_t* s, int32_t n, int32_t from, uint16_t format, int32_t* start,
                         int32_t* end) {
  int32_t j = from;
  while (j < n && IsKey32(gfx::Load32(s + 4 * (size_t)j), format)) j++;
  if (j >= n) return false;
  *start = j;
  while (j < n && !IsKey32(gfx::Load32(s + 4 * (size_t)j), format)) j++;
  *end = j;
  return true;
}

// The rows of a masked blit in one format go sixteen pixels at a time:
// a group of holes is skipped without touching the destination, an opaque
// group copied, a mixed one merged with the destination.
typedef uint32_t Quad __attribute__((vector_size(16)));

#if defined(__SSE2__)
// 8 bit: m says which pixels are opaque (the mask, or the pixels themselves
// for the colour key). Thirty-two pixels at a time without a branch: the
// opaque bytes of the source merged into the destination's own, so the
// loop runs at the speed of its three reads and one write whatever the
// mask's shape.
inline __m128i Merge8(const uint8_t* s, const uint8_t* d, const uint8_t* m, __m128i zero) {
  const __m128i hole = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m)), zero);
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
  const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
  return _mm_or_si128(_mm_and_si128(hole, old), _mm_andnot_si128(hole, v));
}

void MaskedRow8(const uint8_t* s, uint8_t* d, const uint8_t* m, int32_t w) {
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + 32 <= w; x += 32) {
    const __m128i a = Merge8(s + x, d + x, m + x, zero), b = Merge8(s + x + 16, d + x + 16, m + x + 16, zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x + 16), b);
  }
  for (; x + 16 <= w; x += 16) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), Merge8(s + x, d + x, m + x, zero));
  for (; x < w; x++)
    if (m[x]) d[x] = s[x];
}

// The same with AVX2 where the processor has it (picked once at run time),
// sixty-four pixels at a time.
__attribute__((target("avx2"))) inline __m256i Merge8Avx2(const uint8_t* s, const uint8_t* d, const uint8_t* m) {
  const __m256i hole =
      _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(m)), _mm256_setzero_si256());
  const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s));
  const __m256i old = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
  return _mm256_blendv_epi8(v, old, hole);
}

__attribute__((target("avx2"))) void MaskedRow8Avx2(const uint8_t* s, uint8_t* d, const uint8_t* m, int32_t w) {
  int32_t x = 0;
  for (; x + 64 <= w; x += 64) {
    const __m256i a = Merge8Avx2(s + x, d + x, m + x), b = Merge8Avx2(s + x + 32, d + x + 32, m + x + 32);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x), a);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + x + 32), b);
  }
  MaskedRow8(s + x, d + x, m + x, w - x);
}

using Row8 = void (*)(const uint8_t*, uint8_t*, const uint8_t*, int32_t);
const Row8 kMaskedRow8 = [] {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? MaskedRow8Avx2 : MaskedRow8;
}();

// 32 bit with a byte mask: the sixteen mask bytes widened to four
// selections of four pixels.
void MaskedRow32(const uint8_t* s, uint8_t* d, const uint8_t* m, int32_t w) {
  const __m128i zero = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + 16 <= w; x += 16) {
    const __m128i hole = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(m + x)), zero);
    const int holes = _mm_movemask_epi8(hole);
    if (holes == 0xFFFF) continue;
    const uint8_t* sp = s + 4 * (size_t)x;
    uint8_t* dp = d + 4 * (size_t)x;
    if (holes == 0) {
      std::memcpy(dp, sp, 64);
      continue;
    }
    const __m128i lo = _mm_unpacklo_epi8(hole, hole), hi = _mm_unpackhi_epi8(hole, hole);
    const __m128i sel[4] = {_mm_unpacklo_epi16(lo, lo), _mm_unpackhi_epi16(lo, lo), _mm_unpacklo_epi16(hi, hi),
                            _mm_unpackhi_epi16(hi, hi)};
    for (int k = 0; k < 4; k++) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sp + 16 * k));
      const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dp + 16 * k));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dp + 16 * k),
                       _mm_or_si128(_mm_and_si128(sel[k], old), _mm_andnot_si128(sel[k], v)));
    }
  }
  for (; x < w; x++)
    if (m[x]) std::memcpy(d + 4 * (size_t)x, s + 4 * (size_t)x, 4);
}
#else
void MaskedRow8(const uint8_t* s, uint8_t* d, const uint8_t* m, int32_t w) {
  for (int32_t x = 0; x < w; x++)
    if (m[x]) d[x] = s[x];
}
void MaskedRow32(const uint8_t* s, uint8_t* d, const uint8_t* m, int32_t w) {
  for (int32_t x = 0; x < w; x++)
    if (m[x]) std::memcpy(d + 4 * (size_t)x, s + 4 * (size_t)x, 4);
}
void (*const kMaskedRow8)(const uint8_t*, uint8_t*, const uint8_t*, int32_t) = MaskedRow8;
#endif

// 32 bit, the colour key transparent (red, green and blue 0: in both byte
// orders the first three bytes of the pixel), branch-free, eight pixels at
// a time.
void KeyedRow32(const uint8_t* s, uint8_t* d, int32_t w) {
  uint32_t rgb_bytes;
  const uint8_t rgb_mask[4] = {0xFF, 0xFF, 0xFF, 0};
  std::memcpy(&rgb_bytes, rgb_mask, 4);
  const Quad rgb = {rgb_bytes, rgb_bytes, rgb_bytes, rgb_bytes};
  const Quad zero = {};
  int32_t x = 0;
  for (; x + 8 <= w; x += 8) {
    Quad v0, v1, o0, o1;
    uint8_t* dp = d + 4 * (size_t)x;
    std::memcpy(&v0, s + 4 * (size_t)x, 16);
    std::memcpy(&v1, s + 4 * (size_t)x + 16, 16);
    std::memcpy(&o0, dp, 16);
    std::memcpy(&o1, dp + 16, 16);
    const Quad s0 = (Quad)((v0 & rgb) != zero), s1 = (Quad)((v1 & rgb) != zero);
    const Quad r0 = (v0 & s0) | (o0 & ~s0), r1 = (v1 & s1) | (o1 & ~s1);
    std::memcpy(dp, &r0, 16);
    std::memcpy(dp + 16, &r1, 16);
  }
  for (; x < w; x++) {
    uint32_t v;
    std::memcpy(&v, s + 4 * (size_t)x, 4);
    if (v & rgb_bytes) std::memcpy(d + 4 * (size_t)x, &v, 4);
  }
}

// Copies pixels start..end-1 of one row, converting them when the formats differ.
inline void CopyRun(RowKind kind, const uint32_t* table, uint16_t df, const uint8_t* s, uint8_t* d, uint32_t sbpp,
                    uint32_t dbpp, int32_t start, int32_t end) {
  if (kind == RowKind::kSame) {
    std::memcpy(d + (size_t)dbpp * start, s + (size_t)sbpp * start, (size_t)dbpp * (end - start));
    return;
  }
  for (int32_t x = start; x < end; x++) {
    uint32_t v = kind == RowKind::kPens ? table[s[x]] : Swap32(gfx::Load32(s + 4 * (size_t)x), df);
    std::memcpy(d + 4 * (size_t)x, &v, 4);
  }
}

}  // namespace

int32_t BltMaskBitMapRastPort(const BitMap* src, int32_t sx, int32_t sy, RastPort* rp, int32_t dx,
                              int32_t dy, int32_t width, int32_t height, uint32_t,
                              const uint8_t* mask) {
  if (!rp) return 0;
  BitMap* dst = rp->Bitmap;
  if (!gfx::Usable(src) || !gfx::Usable(dst)) return 0;
  gfx::ShownLock shown(src, dst);
  RowKind kind = KindOf(src, dst);
  if (kind == RowKind::kNone) return 0;
  BlitRect r{};
  if (!ClipBlit(src, dst, sx, sy, dx, dy, width, height, &r)) return 1;
  uint16_t sf = BitMapPixelFormat(src), df = BitMapPixelFormat(dst);
  uint32_t table[256];
  if (kind == RowKind::kPens) gfx::PenTable(df, table);
  uint32_t sbpp = gfx::BytesPerPixel(src), dbpp = gfx::BytesPerPixel(dst);
  const bool overlap = std::less<const uint8_t*>()(src->Pixels, dst->Pixels + dst->Size) &&
                       std::less<const uint8_t*>()(dst->Pixels, src->Pixels + src->Size);
  if (overlap) {
    // Within one bitmap rows and pixels go in the order that reads every
    // source pixel before it is overwritten.
    bool up = std::less<const uint8_t*>()(gfx::At(src, r.sx, r.sy), gfx::At(dst, r.dx, r.dy));
    for (int32_t i = 0; i < r.h; i++) {
      int32_t row = up ? r.h - 1 - i : i;
      const uint8_t* s = gfx::At(src, r.sx, r.sy + row);
      uint8_t* d = gfx::At(dst, r.dx, r.dy + row);
      const uint8_t* m = mask ? mask + (size_t)(r.sy + row) * src->Width + r.sx : nullptr;
      bool back = up && r.sy == r.dy;
      for (int32_t j = 0; j < r.w; j++) {
        int32_t x = back ? r.w - 1 - j : j;
        uint32_t v = gfx::Load(src, s + (size_t)sbpp * x);
        bool transparent = m ? m[x] == 0 : (sf == PIXFMT_LUT8 ? v == 0 : IsKey32(v, sf));
        if (transparent) continue;
        if (kind == RowKind::kPens) v = table[v];
        else if (kind == RowKind::kSwap32) v = Swap32(v, df);
        gfx::Store(dst, d + (size_t)dbpp * x, v);
      }
    }
    return 1;
  }
  for (int32_t row = 0; row < r.h; row++) {
    const uint8_t* s = gfx::At(src, r.sx, r.sy + row);
    uint8_t* d = gfx::At(dst, r.dx, r.dy + row);
    // The bytes that say which pixels are opaque: the mask, or at depth 8
    // the pixels themselves (pen 0 is the key).
    const uint8_t* m = mask ? mask + (size_t)(r.sy + row) * src->Width + r.sx : sf == PIXFMT_LUT8 ? s : nullptr;
    if (kind == RowKind::kSame) {
      if (sbpp == 1) kMaskedRow8(s, d, m, r.w);
      else if (m) MaskedRow32(s, d, m, r.w);
      else KeyedRow32(s, d, r.w);
      continue;
    }
    int32_t start = 0, end = 0;
    if (m) {
      while (NextByteRun(m, r.w, end, &start, &end)) CopyRun(kind, table, df, s, d, sbpp, dbpp, start, end);
    } else {
      while (NextPixelRun(s, r.w, end, sf, &start, &end)) CopyRun(kind, table, df, s, d, sbpp, dbpp, start, end);
    }
  }
  return 1;
}
