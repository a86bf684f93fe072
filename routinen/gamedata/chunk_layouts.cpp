// The layout table of every chunk type: which 16- and 32-bit fields are
// swapped between disk and host order, and how a chunk's size is checked.
// docs/chunks.md describes the same table in words.
#include "chunks.h"
#include "chunks_internal.h"

#include "platform/log.h"
#include "routinen/system/byteorder.h"

namespace {

struct Field {
  uint16_t off;
  uint8_t width;  // 2 or 4
};

enum Kind : uint8_t {
  K_BYTES,    // payload not swapped
  K_WORDS32,  // payload is a run of u32 (length a multiple of 4)
  K_FIXED,    // fixed fields, payload at least min_size - 12
  K_RECORDS,  // fixed head fields, a count, then count records
  K_ARMY,     // u32 count, then tagged ARHD / AREN / SABO records
  K_MAIL,     // u32 count, then count whole SMAL chunks
  K_SMAL,     // fixed fields, then a text of the length at +288
};

struct Layout {
  const char* id;
  Kind kind;
  const Field* head;
  uint8_t nhead;
  uint32_t min_size;  // bytes from the chunk start the fixed part needs
  uint16_t count_off;
  uint8_t count_width;
  uint16_t rec_off;
  uint16_t rec_size;      // 0: by version (TOWN)
  const Field* rec;
  uint8_t nrec;
};

#define N(a) (uint8_t)(sizeof(a) / sizeof(a[0]))

const Field kInit[] = {{692, 4}, {696, 2}};
const Field kInfo[] = {{12, 4}, {16, 4}, {20, 4}, {24, 4}, {28, 2}, {30, 2}, {32, 2}};
// FigurRecord: owner, type, number, X, Y; state and points are bytes.
const Field kFigur[] = {{0, 4}, {4, 2}, {6, 2}, {8, 4}, {12, 4}};
const Field kMref[] = {{12, 4}, {16, 4}, {20, 4}, {24, 4}};
const Field kSmal[] = {{276, 4}, {280, 4}, {284, 4}, {288, 4}};
const Field kKorn[] = {{12, 4}, {16, 2}, {18, 4}, {22, 4}, {26, 4}, {30, 4}, {34, 2}, {36, 4},
                       {42, 4}, {46, 4}, {50, 2}, {52, 4}, {56, 4}, {60, 4}};
const Field kLand[] = {{14, 4}, {18, 4}, {22, 4}, {26, 4}, {30, 4}, {34, 4}, {38, 4}, {42, 4}, {46, 4},
                       {50, 4}, {54, 4}, {58, 4}, {62, 4}, {66, 4}, {70, 4}, {74, 4}, {78, 4},
                       {82, 2}, {84, 2}, {86, 2}, {88, 2}};
const Field kWare[] = {{0, 2}, {2, 4}, {6, 4}, {10, 4}, {14, 4}, {18, 4}, {22, 4}, {26, 4}, {30, 4}, {34, 2}};
const Field kBau[] = {{0, 2}, {2, 2}, {4, 2}, {6, 2}, {8, 4}, {12, 2}, {14, 2}};
const Field kGebaHead[] = {{12, 4}};  // the count at +16 is swapped as the count
const Field kTaxe[] = {{12, 4}, {16, 2}, {18, 4}, {22, 4}, {26, 4}, {30, 2}, {32, 2}, {34, 2}, {36, 4},
                       {40, 4}, {44, 4}, {48, 4}, {52, 2}, {54, 4}, {58, 4}, {62, 4}, {66, 2}, {68, 4},
                       {72, 4}, {76, 4}, {80, 4}};
const Field kFors[] = {{22, 4}, {26, 2}};
// TOWN record: u32 town ID, name[80], u32 X, u32 Y; V002 and later add
// u32 inhabitants, u32 flags, u32 level, u16 spare.
const Field kTown[] = {{0, 4}, {84, 4}, {88, 4}, {92, 4}, {96, 4}, {100, 4}, {104, 2}};
const Field kU32[] = {{0, 4}};
const Field kAntw[] = {{0, 4}};
const Field kKrig[] = {{0, 4}, {4, 4}, {8, 2}, {10, 2}, {12, 4}, {16, 4}, {22, 4}, {26, 2}, {28, 2}, {30, 4},
                       {34, 4}, {40, 4}, {44, 2}, {46, 2}, {48, 2}, {50, 2}, {52, 4}, {56, 4}, {60, 4},
                       {64, 4}, {68, 4}};
const Field kVert[] = {{0, 2}, {2, 4}, {6, 4}, {10, 4}, {14, 4}, {18, 2}, {20, 2}, {22, 4}, {26, 4}, {30, 2}};
const Field kShip[] = {{0, 2}, {2, 2}, {4, 2}, {6, 4}, {10, 4},
                       {14, 4}, {18, 2}, {20, 2}, {22, 4}, {26, 4},
                       {32, 4}, {36, 2}, {38, 2}, {40, 4}, {44, 4},
                       {50, 4}, {54, 2}, {56, 2}, {58, 4}, {62, 4}};
const Field kSpez[] = {{80, 4}, {84, 4}, {88, 4}, {92, 2}, {104, 2}, {106, 4}, {110, 4}};
const Field kHerb[] = {{0, 4}, {4, 4}, {10, 2}};

const Layout kLayouts[CHUNK_TYPES] = {
    {"INIT", K_FIXED, kInit, N(kInit), 784, 0, 0, 0, 0, nullptr, 0},
    {"INFO", K_FIXED, kInfo, N(kInfo), INFO_CHUNK_SIZE, 0, 0, 0, 0, nullptr, 0},
    {"MOVE", K_RECORDS, nullptr, 0, 14, 12, 2, 14, 18, kFigur, N(kFigur)},
    {"BMAP", K_BYTES, nullptr, 0, 12, 0, 0, 0, 0, nullptr, 0},
    {"IMAP", K_BYTES, nullptr, 0, 12, 0, 0, 0, 0, nullptr, 0},
    {"PMAP", K_BYTES, nullptr, 0, 12, 0, 0, 0, 0, nullptr, 0},
    {"MREF", K_FIXED, kMref, N(kMref), 28, 0, 0, 0, 0, nullptr, 0},
    {"PREF", K_BYTES, nullptr, 0, 12, 0, 0, 0, 0, nullptr, 0},
    {"EROR", K_BYTES, nullptr, 0, 12, 0, 0, 0, 0, nullptr, 0},
    {"MAIL", K_MAIL, nullptr, 0, 16, 12, 4, 16, 0, nullptr, 0},
    {"SMAL", K_SMAL, kSmal, N(kSmal), SMAL_TEXT, 0, 0, 0, 0, nullptr, 0},
    {"PPRF", K_WORDS32, nullptr, 0, 12, 0, 0, 0, 0, nullptr, 0},
    {"KORN", K_FIXED, kKorn, N(kKorn), 64, 0, 0, 0, 0, nullptr, 0},
    {"LAND", K_FIXED, kLand, N(kLand), 172, 0, 0, 0, 0, nullptr, 0},
    {"WARE", K_RECORDS, nullptr, 0, 14, 12, 2, 14, 36, kWare, N(kWare)},
    {"BAUE", K_RECORDS, nullptr, 0, 14, 12, 2, 14, 16, kBau, N(kBau)},
    {"GEBA", K_RECORDS, kGebaHead, N(kGebaHead), 18, 16, 2, 18, 16, kBau, N(kBau)},
    {"TAXE", K_FIXED, kTaxe, N(kTaxe), 84, 0, 0, 0, 0, nullptr, 0},
    {"FORS", K_FIXED, kFors, N(kFors), 28, 0, 0, 0, 0, nullptr, 0},
    {"TOWN", K_RECORDS, nullptr, 0, 14, 12, 2, 14, 0, kTown, N(kTown)},
    {"ARMY", K_ARMY, nullptr, 0, 16, 12, 4, 16, 0, nullptr, 0},
    {"ANFR", K_RECORDS, nullptr, 0, 16, 12, 4, 16, 4, kU32, N(kU32)},
    {"ANTW", K_RECORDS, nullptr, 0, 16, 12, 4, 16, 84, kAntw, N(kAntw)},
    {"KRIG", K_RECORDS, nullptr, 0, 16, 12, 4, 16, 72, kKrig, N(kKrig)},
    {"VERT", K_RECORDS, nullptr, 0, 16, 12, 4, 16, 32, kVert, N(kVert)},
    {"SHIP", K_RECORDS, nullptr, 0, 16, 12, 4, 16, 68, kShip, N(kShip)},
    {"SPEZ", K_RECORDS, nullptr, 0, 16, 12, 4, 16, 194, kSpez, N(kSpez)},
    {"HERB", K_RECORDS, nullptr, 0, 16, 12, 4, 16, 12, kHerb, N(kHerb)},
};

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

void SwapFields(uint8_t* base, const Field* f, uint8_t n, uint32_t limit, bool to_host) {
  for (uint8_t i = 0; i < n; i++)
    if ((uint32_t)f[i].off + f[i].width <= limit) SwapField(base + f[i].off, f[i].width, to_host);
}

uint32_t ReadCount(const uint8_t* p, uint8_t width, bool disk) {
  if (width == 2) return disk ? GetBE16(p) : ChunkGet16(p, 0);
  return disk ? GetBE32(p) : ChunkGet32(p, 0);
}

uint32_t RecordSize(const Layout& l, const uint8_t* chunk) {
  if (l.rec_size) return l.rec_size;
  return std::memcmp(chunk + 4, "V001", 4) == 0 ? 92 : 106;  // TOWN
}

// Army parts: the 8-byte tag of each record (ID, u32 length).
const uint32_t kArhdSize = 52, kArenSize = 44;

bool SwapArmy(uint8_t* c, uint32_t total, bool to_host, bool apply) {
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
    uint8_t* h = tag("ARHD", kArhdSize);
    if (!h) return false;
    uint32_t parts = ReadCount(h + 8 + 24, 4, to_host);
    if (apply) {
      SwapField(h + 4, 4, to_host);
      for (uint32_t o = 0; o < 32; o += 4) SwapField(h + 8 + o, 4, to_host);
    }
    for (uint32_t t = 0; t < parts; t++) {
      uint8_t* p = tag("AREN", kArenSize);
      if (!p) return false;
      uint32_t sabos = ReadCount(p + 8 + 40, 4, to_host);
      if (apply) {
        SwapField(p + 4, 4, to_host);
        for (uint32_t o = 0; o < kArenSize; o += 4) SwapField(p + 8 + o, 4, to_host);
      }
      for (uint32_t s = 0; s < sabos; s++) {
        uint8_t* q = tag("SABO", SABO_SIZE);
        if (!q) return false;
        if (apply) {
          SwapField(q + 4, 4, to_host);
          for (uint32_t o = 0; o < SABO_SIZE; o += 4) SwapField(q + 8 + o, 4, to_host);
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
  const Layout& l = kLayouts[idx];
  if (size < l.min_size) return false;
  switch (l.kind) {
    case K_BYTES:
      break;
    case K_WORDS32:
      if (len % 4) return false;
      if (apply) for (uint32_t o = 12; o < size; o += 4) SwapField(c + o, 4, to_host);
      break;
    case K_FIXED:
      if (apply) SwapFields(c, l.head, l.nhead, size, to_host);
      break;
    case K_SMAL: {
      uint32_t tl = to_host ? GetBE32(c + SMAL_TEXT_LEN) : ChunkGet32(c, SMAL_TEXT_LEN);
      if (tl > size - SMAL_TEXT) return false;
      if (apply) SwapFields(c, l.head, l.nhead, size, to_host);
      break;
    }
    case K_RECORDS: {
      uint32_t count = ReadCount(c + l.count_off, l.count_width, to_host);
      uint32_t rs = RecordSize(l, c);
      if ((uint64_t)count * rs > size - l.rec_off) return false;
      if (apply) {
        SwapFields(c, l.head, l.nhead, size, to_host);
        SwapField(c + l.count_off, l.count_width, to_host);
        for (uint32_t i = 0; i < count; i++)
          SwapFields(c + l.rec_off + i * rs, l.rec, l.nrec, rs, to_host);
      }
      break;
    }
    case K_ARMY:
      if (!SwapArmy(c, size, to_host, false)) return false;
      if (apply) {
        SwapArmy(c, size, to_host, true);
        SwapField(c + 12, 4, to_host);
      }
      break;
    case K_MAIL:
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
