// Inner mixing loops of the six families (stereo/mono x float/integer, and
// the interpolating float ones) and the conversion of the mixed buffer.
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstring>

#include "dmix.h"

float DmixTable8[256];
float DmixTableMu[256];

namespace {

inline int32_t S16(const uint8_t* p) {
  int16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// Float value of one half (ch 0 or 1) of frame i of a sample of type T.
template <int T>
inline float FloatValue(const uint8_t* src, int64_t i, int ch) {
  if constexpr (T == 1) return DmixTable8[src[i]];
  if constexpr (T == 2) return (float)S16(src + 2 * i);
  if constexpr (T == 3) return DmixTable8[src[2 * i + ch]];
  if constexpr (T == 4) return (float)S16(src + 4 * i + 2 * ch);
  if constexpr (T == 7) return DmixTableMu[src[i]];
  if constexpr (T == 8) return DmixTableMu[src[2 * i + ch]];
  return 0.0f;
}

constexpr bool IsStereoType(int T) { return T == 3 || T == 4 || T == 8; }

template <int T, bool StereoOut, bool Interp>
void MixFloat(MixRun* r, float* out, uint32_t k, int32_t off) {
  const uint8_t* src = r->source;
  int64_t f = r->fraction;
  const int64_t step = r->step;
  const float lf = r->lf, rf = r->rf;
  for (uint32_t n = 0; n < k; n++) {
    const int64_t i = f >> 16;
    float a, b = 0.0f;
    if constexpr (Interp) {
      const float fl = (float)(f & 0xFFFF), fc = (float)(65536 - (f & 0xFFFF));
      a = fl * FloatValue<T>(src, i + off, 0) + fc * FloatValue<T>(src, i, 0);
      if constexpr (IsStereoType(T)) b = fl * FloatValue<T>(src, i + off, 1) + fc * FloatValue<T>(src, i, 1);
    } else {
      a = FloatValue<T>(src, i, 0);
      if constexpr (IsStereoType(T)) b = FloatValue<T>(src, i, 1);
    }
    if constexpr (StereoOut) {
      if constexpr (IsStereoType(T)) { out[0] += a * lf; out[1] += b * rf; }
      else { out[0] += a * lf; out[1] += a * rf; }
      out += 2;
    } else {
      if constexpr (IsStereoType(T)) out[0] += (a + b) * lf;
      else out[0] += a * lf;
      out += 1;
    }
    f += step;
  }
}

template <int T, bool StereoOut, bool Surround>
void MixInt(MixRun* r, int32_t* out, uint32_t k) {
  const uint8_t* src = r->source;
  int64_t f = r->fraction;
  const int64_t step = r->step;
  const int32_t* rl = (T == 7 || T == 8) ? r->rowLMu : r->rowL8;
  const int32_t* rr = (T == 7 || T == 8) ? r->rowRMu : r->rowR8;
  const int32_t ml = r->ml, mr = r->mr;
  for (uint32_t n = 0; n < k; n++) {
    const int64_t i = f >> 16;
    if constexpr (StereoOut) {
      if constexpr (T == 1 || T == 7) {
        const uint8_t b = src[i];
        out[0] += rl[b];
        if constexpr (Surround) out[1] -= rr[b]; else out[1] += rr[b];
      } else if constexpr (T == 3 || T == 8) {
        out[0] += rl[src[2 * i]];
        if constexpr (Surround) out[1] -= rr[src[2 * i + 1]]; else out[1] += rr[src[2 * i + 1]];
      } else if constexpr (T == 2) {
        const int32_t v = S16(src + 2 * i);
        out[0] += (int32_t)(((int64_t)v * ml) >> 8);
        out[1] += (int32_t)(((int64_t)v * mr) >> 8);
      } else if constexpr (T == 4) {
        out[0] += (int32_t)(((int64_t)S16(src + 4 * i) * ml) >> 8);
        out[1] += (int32_t)(((int64_t)S16(src + 4 * i + 2) * mr) >> 8);
      }
      out += 2;
    } else {
      if constexpr (T == 1 || T == 7) out[0] += rl[src[i]];
      else if constexpr (T == 3 || T == 8) out[0] += rl[src[2 * i]] + rl[src[2 * i + 1]];
      else if constexpr (T == 2) out[0] += (int32_t)(((int64_t)S16(src + 2 * i) * ml) >> 8);
      else if constexpr (T == 4) out[0] += (int32_t)(((int64_t)(S16(src + 4 * i) + S16(src + 4 * i + 2)) * ml) >> 8);
      out += 1;
    }
    f += step;
  }
}

template <int T>
void Dispatch(uint32_t mode, int32_t surround, MixRun* r, void* dest, uint32_t k, int32_t off) {
  const bool stereo = !(mode & MIX_MONO);
  if (mode & MIX_INTEGER && !(mode & MIX_FLOAT)) {
    int32_t* o = static_cast<int32_t*>(dest);
    if (stereo) {
      if (surround) MixInt<T, true, true>(r, o, k); else MixInt<T, true, false>(r, o, k);
    } else {
      MixInt<T, false, false>(r, o, k);
    }
    return;
  }
  float* o = static_cast<float*>(dest);
  const bool interp = mode & MIX_INTERPOLATE;
  if (stereo) {
    if (interp) MixFloat<T, true, true>(r, o, k, off); else MixFloat<T, true, false>(r, o, k, off);
  } else {
    if (interp) MixFloat<T, false, true>(r, o, k, off); else MixFloat<T, false, false>(r, o, k, off);
  }
}

}  // namespace

void MixFrames(uint32_t mode, uint32_t type, int32_t surround, MixRun* run, void* dest, uint32_t k,
               int32_t nextOffset) {
  switch (type) {
    case SMP_U8_MONO: Dispatch<SMP_U8_MONO>(mode, surround, run, dest, k, nextOffset); break;
    case SMP_S16_MONO: Dispatch<SMP_S16_MONO>(mode, surround, run, dest, k, nextOffset); break;
    case SMP_U8_STEREO: Dispatch<SMP_U8_STEREO>(mode, surround, run, dest, k, nextOffset); break;
    case SMP_S16_STEREO: Dispatch<SMP_S16_STEREO>(mode, surround, run, dest, k, nextOffset); break;
    case SMP_ULAW_MONO: Dispatch<SMP_ULAW_MONO>(mode, surround, run, dest, k, nextOffset); break;
    case SMP_ULAW_STEREO: Dispatch<SMP_ULAW_STEREO>(mode, surround, run, dest, k, nextOffset); break;
    default: break;
  }
}

// The plain loop, one value at a time: the rule the fast conversion keeps bit
// for bit, and the whole conversion where SSE2 is missing.
void ConvertOutputPlain(uint32_t mode, const void* buffer, uint32_t values, void* destination) {
  const bool integer = (mode & MIX_INTEGER) && !(mode & MIX_FLOAT);
  const bool out16 = mode & MIX_16BIT;
  uint8_t* d = static_cast<uint8_t*>(destination);
  if (integer) {
    const int32_t* s = static_cast<const int32_t*>(buffer);
    for (uint32_t i = 0; i < values; i++) {
      int32_t v = s[i];
      if (out16) {
        int16_t o = (int16_t)(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
        std::memcpy(d + 2 * i, &o, 2);
      } else {
        v >>= 8;
        v = v < -128 ? -128 : v > 127 ? 127 : v;
        d[i] = (uint8_t)(v + 128);
      }
    }
    return;
  }
  const float* s = static_cast<const float*>(buffer);
  for (uint32_t i = 0; i < values; i++) {
    float x = s[i];
    if (!(x == x)) x = 0.0f;  // a NaN never reaches the output
    if (out16) {
      float r = std::nearbyint(x);
      int16_t o = (int16_t)(r < -32768.0f ? -32768 : r > 32767.0f ? 32767 : (int32_t)r);
      std::memcpy(d + 2 * i, &o, 2);
    } else {
      if (x > 2147483520.0f) x = 2147483520.0f;
      if (x < -2147483520.0f) x = -2147483520.0f;
      int32_t v = (int32_t)x;
      v >>= 8;
      v = v < -128 ? -128 : v > 127 ? 127 : v;
      d[i] = (uint8_t)(v + 128);
    }
  }
}

#if defined(__SSE2__)
namespace {

// Four floats to four 32-bit integers as the plain loop makes them before
// its last clamp: a NaN becomes 0 (its lanes cleared), then for 16-bit
// output clamped to the 16-bit range and rounded to nearest (the rounding
// mode nearbyint uses), for 8-bit output clamped to +-2147483520 and cut
// towards zero, then shifted down by 8.
inline __m128i Whole16(__m128 x) {
  x = _mm_and_ps(x, _mm_cmpord_ps(x, x));
  x = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-32768.0f)), _mm_set1_ps(32767.0f));
  return _mm_cvtps_epi32(x);
}
inline __m128i Whole8(__m128 x) {
  x = _mm_and_ps(x, _mm_cmpord_ps(x, x));
  x = _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-2147483520.0f)), _mm_set1_ps(2147483520.0f));
  return _mm_srai_epi32(_mm_cvttps_epi32(x), 8);
}
inline __m128i LoadI(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

}  // namespace

// Sixteen values at a time: the saturating packs are the clamps of the
// plain loop (to 16 bits, then to 8 bits, where 128 is added by flipping
// the top bit); the rest goes through the plain loop.
void ConvertOutput(uint32_t mode, const void* buffer, uint32_t values, void* destination) {
  const bool integer = (mode & MIX_INTEGER) && !(mode & MIX_FLOAT);
  const bool out16 = mode & MIX_16BIT;
  uint8_t* d = static_cast<uint8_t*>(destination);
  uint32_t i = 0;
  const __m128i top = _mm_set1_epi8((char)0x80);
  if (integer) {
    const int32_t* s = static_cast<const int32_t*>(buffer);
    if (out16) {
      for (; i + 16 <= values; i += 16)
        for (int h = 0; h < 2; h++) {
          const int32_t* p = s + i + 8 * h;
          _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * (i + 8 * h)), _mm_packs_epi32(LoadI(p), LoadI(p + 4)));
        }
    } else {
      for (; i + 16 <= values; i += 16) {
        const int32_t* p = s + i;
        const __m128i a = _mm_packs_epi32(_mm_srai_epi32(LoadI(p), 8), _mm_srai_epi32(LoadI(p + 4), 8));
        const __m128i b = _mm_packs_epi32(_mm_srai_epi32(LoadI(p + 8), 8), _mm_srai_epi32(LoadI(p + 12), 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_xor_si128(_mm_packs_epi16(a, b), top));
      }
    }
  } else {
    const float* s = static_cast<const float*>(buffer);
    if (out16) {
      for (; i + 16 <= values; i += 16)
        for (int h = 0; h < 2; h++) {
          const float* p = s + i + 8 * h;
          const __m128i v = _mm_packs_epi32(Whole16(_mm_loadu_ps(p)), Whole16(_mm_loadu_ps(p + 4)));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * (i + 8 * h)), v);
        }
    } else {
      for (; i + 16 <= values; i += 16) {
        const float* p = s + i;
        const __m128i a = _mm_packs_epi32(Whole8(_mm_loadu_ps(p)), Whole8(_mm_loadu_ps(p + 4)));
        const __m128i b = _mm_packs_epi32(Whole8(_mm_loadu_ps(p + 8)), Whole8(_mm_loadu_ps(p + 12)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_xor_si128(_mm_packs_epi16(a, b), top));
      }
    }
  }
  // Floats and 32-bit integers are both four bytes.
  if (i < values)
    ConvertOutputPlain(mode, static_cast<const uint8_t*>(buffer) + 4 * (size_t)i, values - i, d + (out16 ? 2 : 1) * i);
}
#else
void ConvertOutput(uint32_t mode, const void* buffer, uint32_t values, void* destination) {
  ConvertOutputPlain(mode, buffer, values, destination);
}
#endif
