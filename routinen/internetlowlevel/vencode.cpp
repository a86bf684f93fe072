// VEncode: a turn file as 7-bit text lines inside a mail body (docs/vencode.md).
//   ;VEncode;
//   VE1 <payload length> <crc-32, 8 lower-case hex digits>
//   <data lines: the base64 alphabet, 76 characters each, the last one shorter>
//   ;VEnd;
// The decoder knows every line's length from the header, so any damage, any
// cut and any foreign byte is found before anything is handed out.
#include "mail.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

const char* const kVEncodeMarker = ";VEncode;";

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char kEndLine[] = ";VEnd;";
constexpr uint32_t kBadFlag = 0xFF000000u;  // set in a decode table entry of a foreign byte

struct Tables {
  uint32_t crc[8][256];
  uint16_t pair[4096];      // 12 bits -> two characters (in memory order)
  uint32_t dec[4][256];     // character -> its 6 bits at the group's place, or kBadFlag
  Tables() {
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t c = i;
      for (int k = 0; k < 8; k++) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
      crc[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; i++)
      for (int t = 1; t < 8; t++) crc[t][i] = (crc[t - 1][i] >> 8) ^ crc[0][crc[t - 1][i] & 0xFF];
    for (uint32_t i = 0; i < 4096; i++) {
      uint8_t two[2] = {(uint8_t)kAlphabet[i >> 6], (uint8_t)kAlphabet[i & 63]};
      std::memcpy(&pair[i], two, 2);
    }
    for (int t = 0; t < 4; t++)
      for (uint32_t i = 0; i < 256; i++) dec[t][i] = kBadFlag;
    for (uint32_t v = 0; v < 64; v++) {
      uint8_t ch = (uint8_t)kAlphabet[v];
      dec[0][ch] = v << 18;
      dec[1][ch] = v << 12;
      dec[2][ch] = v << 6;
      dec[3][ch] = v;
    }
  }
};
const Tables& T() {
  static const Tables t;
  return t;
}

size_t EncodedChars(uint32_t length) {
  static const uint32_t kTail[3] = {0, 2, 3};
  return (size_t)(length / 3) * 4 + kTail[length % 3];
}

size_t HeaderText(uint32_t length, uint32_t crc, char* out, size_t size) {
  int n = std::snprintf(out, size, "VE1 %u %08x\n", length, crc);
  return n > 0 ? (size_t)n : 0;
}

// Encodes a whole group run: n bytes (a multiple of 3) into 4n/3 characters.
inline void EncodeGroups(const uint8_t* src, size_t n, char* dst, const uint16_t* pair) {
  for (size_t i = 0; i < n; i += 3, dst += 4) {
    uint32_t v = (uint32_t)src[i] << 16 | (uint32_t)src[i + 1] << 8 | src[i + 2];
    std::memcpy(dst, &pair[v >> 12], 2);
    std::memcpy(dst + 2, &pair[v & 0xFFF], 2);
  }
}

// Decodes nchars characters (a multiple of 4) into bytes; false on a foreign
// character.
inline bool DecodeGroups(const uint8_t* src, size_t nchars, uint8_t* dst, const Tables& t) {
  uint32_t bad = 0;
  for (size_t i = 0; i < nchars; i += 4, dst += 3) {
    uint32_t v = t.dec[0][src[i]] | t.dec[1][src[i + 1]] | t.dec[2][src[i + 2]] | t.dec[3][src[i + 3]];
    bad |= v;
    dst[0] = (uint8_t)(v >> 16);
    dst[1] = (uint8_t)(v >> 8);
    dst[2] = (uint8_t)v;
  }
  return (bad & kBadFlag) == 0;
}

// Line end at p: "\n" or "\r\n"; its length, or 0.
inline size_t LineEnd(const char* p, const char* end) {
  if (p < end && *p == '\n') return 1;
  if (end - p >= 2 && p[0] == '\r' && p[1] == '\n') return 2;
  return 0;
}

// Finds the marker line; returns the position after its line end, or null.
const char* FindMarker(const char* text, size_t size) {
  const char* end = text + size;
  const size_t mlen = std::strlen(kVEncodeMarker);
  const char* p = text;
  while (p < end) {
    const char* hit = static_cast<const char*>(memmem(p, (size_t)(end - p), kVEncodeMarker, mlen));
    if (!hit) return nullptr;
    bool at_line_start = hit == text || hit[-1] == '\n';
    size_t eol = LineEnd(hit + mlen, end);
    if (at_line_start && eol) return hit + mlen + eol;
    p = hit + 1;
  }
  return nullptr;
}

// "VE1 <length> <crc>" with its line end; false unless exactly that form.
bool ParseHeader(const char*& p, const char* end, uint32_t* length, uint32_t* crc) {
  if (end - p < 4 || std::memcmp(p, "VE1 ", 4) != 0) return false;
  p += 4;
  uint64_t len = 0;
  const char* digits = p;
  while (p < end && *p >= '0' && *p <= '9' && p - digits < 11) len = len * 10 + (uint64_t)(*p++ - '0');
  size_t nd = (size_t)(p - digits);
  if (nd == 0 || nd > 10 || (nd > 1 && *digits == '0') || len > VENCODE_MAX_PAYLOAD) return false;
  if (p >= end || *p++ != ' ') return false;
  uint32_t c = 0;
  for (int i = 0; i < 8; i++, p++) {
    if (p >= end) return false;
    char ch = *p;
    uint32_t v;
    if (ch >= '0' && ch <= '9') v = (uint32_t)(ch - '0');
    else if (ch >= 'a' && ch <= 'f') v = (uint32_t)(ch - 'a' + 10);
    else return false;
    c = c << 4 | v;
  }
  size_t eol = LineEnd(p, end);
  if (!eol) return false;
  p += eol;
  *length = (uint32_t)len;
  *crc = c;
  return true;
}

}  // namespace

uint32_t VCrc32(const void* data, size_t length, uint32_t crc) {
  const auto& t = T().crc;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  crc = ~crc;
  size_t i = 0;
  for (; i + 8 <= length; i += 8) {
    uint32_t lo = crc ^ ((uint32_t)p[i] | (uint32_t)p[i + 1] << 8 | (uint32_t)p[i + 2] << 16 |
                         (uint32_t)p[i + 3] << 24);
    crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
          t[3][p[i + 4]] ^ t[2][p[i + 5]] ^ t[1][p[i + 6]] ^ t[0][p[i + 7]];
  }
  for (; i < length; i++) crc = t[0][(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

size_t VEncodeSize(uint32_t length) {
  char header[40];
  size_t chars = EncodedChars(length);
  size_t lines = (chars + VENCODE_LINE - 1) / VENCODE_LINE;
  return std::strlen(kVEncodeMarker) + 1 + HeaderText(length, 0, header, sizeof header) + chars + lines +
         std::strlen(kEndLine) + 1;
}

size_t VEncode(const void* data, uint32_t length, char* out) {
  const Tables& t = T();
  const uint8_t* src = static_cast<const uint8_t*>(data);
  char* o = out;
  size_t mlen = std::strlen(kVEncodeMarker);
  std::memcpy(o, kVEncodeMarker, mlen);
  o += mlen;
  *o++ = '\n';
  char header[40];
  size_t hl = HeaderText(length, VCrc32(src, length), header, sizeof header);
  std::memcpy(o, header, hl);
  o += hl;
  constexpr uint32_t kLineBytes = VENCODE_LINE / 4 * 3;  // 57
  uint32_t pos = 0;
  for (; pos + kLineBytes <= length; pos += kLineBytes) {
    EncodeGroups(src + pos, kLineBytes, o, t.pair);
    o += VENCODE_LINE;
    *o++ = '\n';
  }
  uint32_t rest = length - pos;
  if (rest) {
    uint32_t whole = rest / 3 * 3;
    EncodeGroups(src + pos, whole, o, t.pair);
    o += whole / 3 * 4;
    const uint8_t* r = src + pos + whole;
    if (rest - whole == 1) {
      *o++ = kAlphabet[r[0] >> 2];
      *o++ = kAlphabet[(r[0] & 3) << 4];
    } else if (rest - whole == 2) {
      *o++ = kAlphabet[r[0] >> 2];
      *o++ = kAlphabet[((r[0] & 3) << 4) | (r[1] >> 4)];
      *o++ = kAlphabet[(r[1] & 15) << 2];
    }
    *o++ = '\n';
  }
  std::memcpy(o, kEndLine, sizeof kEndLine - 1);
  o += sizeof kEndLine - 1;
  *o++ = '\n';
  return (size_t)(o - out);
}

char* VEncodeAlloc(const void* data, uint32_t length, uint32_t* size) {
  if (size) *size = 0;
  if (length > VENCODE_MAX_PAYLOAD || (!data && length)) return nullptr;
  size_t need = VEncodeSize(length);
  char* out = static_cast<char*>(AllocVec((uint32_t)need + 1, MEMF_PUBLIC));
  if (!out) return nullptr;
  size_t n = VEncode(data, length, out);
  out[n] = 0;
  if (size) *size = (uint32_t)n;
  return out;
}

VDecodeResult VDecode(const char* text, size_t size, uint8_t** out, uint32_t* length) {
  if (out) *out = nullptr;
  if (length) *length = 0;
  if (!text) return VDECODE_NO_MARKER;
  const char* end = text + size;
  const char* p = FindMarker(text, size);
  if (!p) return VDECODE_NO_MARKER;
  uint32_t len = 0, crc = 0;
  if (!ParseHeader(p, end, &len, &crc)) return VDECODE_BAD_HEADER;
  size_t chars = EncodedChars(len);
  // Every character and line end must be there before anything is allocated.
  if ((size_t)(end - p) < chars + (chars + VENCODE_LINE - 1) / VENCODE_LINE) return VDECODE_TRUNCATED;
  uint8_t* buf = nullptr;
  if (out && len) {
    buf = static_cast<uint8_t*>(AllocVec(len, MEMF_PUBLIC));
    if (!buf) return VDECODE_NO_MEMORY;
  }
  const Tables& t = T();
  uint8_t line[VENCODE_LINE / 4 * 3];
  uint32_t sum = 0;
  uint32_t pos = 0;
  VDecodeResult result = VDECODE_OK;
  while (chars > 0) {
    size_t n = chars < (size_t)VENCODE_LINE ? chars : (size_t)VENCODE_LINE;
    if ((size_t)(end - p) < n) { result = VDECODE_TRUNCATED; break; }
    const uint8_t* s = reinterpret_cast<const uint8_t*>(p);
    size_t whole = n / 4 * 4;
    uint8_t* dst = buf ? buf + pos : line;
    bool ok = DecodeGroups(s, whole, dst, t);
    uint32_t nbytes = (uint32_t)(whole / 4 * 3);
    size_t tail = n - whole;  // 0, 2 or 3 characters of the final group
    if (ok && tail) {
      uint32_t a = t.dec[3][s[whole]], b = t.dec[3][s[whole + 1]];
      uint32_t c = tail == 3 ? t.dec[3][s[whole + 2]] : 0;
      ok = tail != 1 && ((a | b | c) & kBadFlag) == 0;
      if (ok) {
        dst[nbytes++] = (uint8_t)(a << 2 | b >> 4);
        if (tail == 3) {
          dst[nbytes++] = (uint8_t)((b & 15) << 4 | c >> 2);
          ok = (c & 3) == 0;   // unused bits must be zero: one text per payload
        } else {
          ok = (b & 15) == 0;
        }
      }
    }
    if (!ok) { result = VDECODE_BAD_LINE; break; }
    sum = VCrc32(dst, nbytes, sum);
    pos += nbytes;
    p += n;
    chars -= n;
    size_t eol = LineEnd(p, end);
    if (!eol) { result = p >= end || (*p == '\r' && p + 1 >= end) ? VDECODE_TRUNCATED : VDECODE_BAD_LINE; break; }
    p += eol;
  }
  if (result == VDECODE_OK) {
    size_t el = sizeof kEndLine - 1;
    if ((size_t)(end - p) < el) {
      result = std::memcmp(p, kEndLine, (size_t)(end - p)) == 0 ? VDECODE_TRUNCATED : VDECODE_BAD_LINE;
    } else if (std::memcmp(p, kEndLine, el) != 0) {
      result = VDECODE_BAD_LINE;
    } else if (!LineEnd(p + el, end)) {
      result = p + el >= end || (p[el] == '\r' && p + el + 1 >= end) ? VDECODE_TRUNCATED : VDECODE_BAD_LINE;
    } else if (sum != crc) {
      result = VDECODE_BAD_CRC;
    }
  }
  if (result != VDECODE_OK) {
    FreeVec(buf);
    return result;
  }
  if (out) *out = buf;
  if (length) *length = len;
  return VDECODE_OK;
}

const char* VDecodeResultText(VDecodeResult r) {
  switch (r) {
    case VDECODE_OK: return "ok";
    case VDECODE_NO_MARKER: return "keine VEncode-Markierung";
    case VDECODE_BAD_HEADER: return "Kopfzeile beschaedigt";
    case VDECODE_BAD_LINE: return "Datenzeile beschaedigt";
    case VDECODE_TRUNCATED: return "Text abgeschnitten";
    case VDECODE_BAD_CRC: return "Pruefsumme falsch";
    case VDECODE_NO_MEMORY: return "kein Speicher";
  }
  return "?";
}

int32_t DecrunchOneEmail(const char* text, uint32_t size, const char* target) {
  if (!target) return 0;
  uint8_t* data = nullptr;
  uint32_t len = 0;
  VDecodeResult r = VDecode(text, size, &data, &len);
  if (r != VDECODE_OK) {
    DebugLog("DecrunchOneEmail: Email nicht dekodierbar (%s)\n", VDecodeResultText(r));
    return 0;
  }
  int32_t ok = SaveMem2File(target, data, len);
  FreeVec(data);
  if (!ok) DebugLog("DecrunchOneEmail: Konnte %s nicht schreiben\n", target);
  return ok ? 1 : 0;
}
