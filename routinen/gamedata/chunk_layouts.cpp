// SwapByteOrderInChunk: checks a chunk against its layout (codecs.h) and
// swaps its 16- and 32-bit fields between disk and host order by the codec
// tables; the army and mail chunks are walked record by record.
#include "chunks.h"
#include "chunks_internal.h"
#include "codecs.h"

#include "platform/log.h"
#include "routinen/system/byteorder.h"

namespace {

void SwapField(uint8_t* p, uint8_t width, bool to_host) {
  if (width == 2) {
    uint16_t v;
    if (to_host) { v = GetBE16(p); std::memcpy(p, &v, 2); }
    else { std::memcpy(&v, p, 2); PutBE16(p, v); }
  } else {
    uint32_t v;
    if (to_host) { v = GetBE32(p); std::memcpy(p, &v, 4); }
    else { std::memcpy(&v, p, 4); PutBE32(p, v); }
  }
}

uint32_t ReadCount(const uint8_t* p, uint8_t width, bool disk) {
  if (width == 2) return disk ? GetBE16(p) : ChunkGet16(p, 0);
  return disk ? GetBE32(p) : ChunkGet32(p, 0);
}

// Army records: an 8-byte tag (ID, u32 length), then the record.

bool SwapArmy(uint8_t* c, uint32_t total, bool to_host, bool apply) {
  static const uint32_t kPartsOff = FindCodecField(ArmyCodec, "ArmeeTypAnzahl")->off;
  static const uint32_t kSabosOff = FindCodecField(ArmeeTypCodec, "SaboteurAnzahl")->off;
  uint32_t count = ReadCount(c + 12, 4, to_host);
  uint32_t pos = 16;
  auto tag = [&](const char* id, uint32_t size) -> uint8_t* {
    if (total - pos < 8 + size) return nullptr;
    uint8_t* p = c + pos;
    if (std::memcmp(p, id, 4) != 0) return nullptr;
    uint32_t len = to_host ? GetBE32(p + 4) : ChunkGet32(p, 4);
    if (len != size) return nullptr;
    pos += 8 + size;
    return p;
  };
  for (uint32_t a = 0; a < count; a++) {
    uint8_t* h = tag("ARHD", ArmyCodec.size);
    if (!h) return false;
    uint32_t parts = ReadCount(h + 8 + kPartsOff, 4, to_host);
    if (apply) {
      SwapField(h + 4, 4, to_host);
      SwapRecord(ArmyCodec, h + 8, to_host);
    }
    for (uint32_t t = 0; t < parts; t++) {
      uint8_t* p = tag("AREN", ArmeeTypCodec.size);
      if (!p) return false;
      uint32_t sabos = ReadCount(p + 8 + kSabosOff, 4, to_host);
      if (apply) {
        SwapField(p + 4, 4, to_host);
        SwapRecord(ArmeeTypCodec, p + 8, to_host);
      }
      for (uint32_t s = 0; s < sabos; s++) {
        uint8_t* q = tag("SABO", SaboteurCodec.size);
        if (!q) return false;
        if (apply) {
          SwapField(q + 4, 4, to_host);
          SwapRecord(SaboteurCodec, q + 8, to_host);
        }
      }
    }
  }
  return true;
}

bool SwapChunk(uint8_t* c, uint32_t size, bool to_host, bool apply, int depth);

bool SwapMail(uint8_t* c, uint32_t total, bool to_host, bool apply, int depth) {
  uint32_t count = ReadCount(c + 12, 4, to_host);
  uint32_t pos = 16;
  for (uint32_t i = 0; i < count; i++) {
    if (total - pos < 12) return false;
    uint8_t* s = c + pos;
    if (std::memcmp(s, "SMAL", 4) != 0) return false;
    uint32_t len = to_host ? GetBE32(s + 8) : ChunkGet32(s, 8);
    if (len > total - pos - 12) return false;
    if (!SwapChunk(s, 12 + len, to_host, apply, depth + 1)) return false;
    pos += 12 + len;
  }
  return true;
}

// Checks (apply false) or converts (apply true) one chunk of exactly size bytes.
bool SwapChunk(uint8_t* c, uint32_t size, bool to_host, bool apply, int depth) {
  if (size < 12 || depth > 1) return false;
  uint32_t len = to_host ? GetBE32(c + 8) : ChunkGet32(c, 8);
  if (len != size - 12) return false;
  int32_t idx = ChunkIndexOf(reinterpret_cast<const char*>(c));
  if (idx < 0) {
    if (apply) SwapField(c + 8, 4, to_host);  // unknown type: bytes
    return true;
  }
  const ChunkLayout& l = ChunkLayouts[idx];
  if (size < l.min_size) return false;
  switch (l.kind) {
    case CK_BYTES:
      break;
    case CK_WORDS32:
      if (len % 4) return false;
      if (apply) for (uint32_t o = 12; o < size; o += 4) SwapField(c + o, 4, to_host);
      break;
    case CK_FIXED:  // min_size covers the head codec
      if (apply) SwapRecord(*l.head, c, to_host);
      break;
    case CK_SMAL: {
      uint32_t tl = to_host ? GetBE32(c + SMAL_TEXT_LEN) : ChunkGet32(c, SMAL_TEXT_LEN);
      if (tl > size - SMAL_TEXT) return false;
      if (apply) SwapRecord(*l.head, c, to_host);
      break;
    }
    case CK_RECORDS: {
      uint32_t count = ReadCount(c + l.count_off, l.count_width, to_host);
      const RecordCodec* rec = ChunkRecordCodec(l, c);
      if ((uint64_t)count * rec->size > size - l.rec_off) return false;
      if (apply) {
        if (l.head) SwapRecord(*l.head, c, to_host);
        SwapField(c + l.count_off, l.count_width, to_host);
        for (uint32_t i = 0; i < count; i++) SwapRecord(*rec, c + l.rec_off + i * rec->size, to_host);
      }
      break;
    }
    case CK_ARMY:
      if (!SwapArmy(c, size, to_host, false)) return false;
      if (apply) {
        SwapArmy(c, size, to_host, true);
        SwapField(c + 12, 4, to_host);
      }
      break;
    case CK_MAIL:
      if (!SwapMail(c, size, to_host, false, depth)) return false;
      if (apply) {
        SwapMail(c, size, to_host, true, depth);
        SwapField(c + 12, 4, to_host);
      }
      break;
  }
  if (apply) SwapField(c + 8, 4, to_host);
  return true;
}

}  // namespace

const char* const ChunkIdTable[CHUNK_TYPES] = {
    "INIT", "INFO", "MOVE", "BMAP", "IMAP", "PMAP", "MREF", "PREF", "EROR", "MAIL",
    "SMAL", "PPRF", "KORN", "LAND", "WARE", "BAUE", "GEBA", "TAXE", "FORS", "TOWN",
    "ARMY", "ANFR", "ANTW", "KRIG", "VERT", "SHIP", "SPEZ", "HERB"};

int32_t ChunkIndexOf(const char* id) {
  if (!id) return -1;
  for (int32_t i = 0; i < (int32_t)CHUNK_TYPES; i++)
    if (std::memcmp(id, ChunkIdTable[i], 4) == 0) return i;
  return -1;
}

int32_t SwapByteOrderInChunk(void* chunk, uint32_t size, int32_t to_host) {
  if (!chunk || size < 12) return 0;
  uint8_t* c = static_cast<uint8_t*>(chunk);
  uint32_t len = to_host ? GetBE32(c + 8) : ChunkGet32(c, 8);
  if (len > size - 12) {
    DebugLog("SwapByteOrderInChunk: Chunk %.4s ist laenger als der Speicher (%u)\n",
             reinterpret_cast<const char*>(c), len);
    return 0;
  }
  if (!SwapChunk(c, 12 + len, to_host != 0, false, 0)) {
    DebugLog("SwapByteOrderInChunk: Chunk %.4s passt nicht zu seinem Aufbau\n",
             reinterpret_cast<const char*>(c));
    return 0;
  }
  SwapChunk(c, 12 + len, to_host != 0, true, 0);
  return 1;
}
