// The market stock of the turn: the quantity and price rules and the file
// .\Data\Waren.dat (116 quantities, then 116 prices, u32 little-endian).
#include <cstring>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/stage.h"
#include "routinen/gamedata/towns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "platform/log.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/timer.h"

static const char* const WarenDatPath = ".\\Data\\Waren.dat";

// The row of the type as the market sees it: the special type of prefs
// field 14 gets divisor 200 and base price 100 on a copy of its row.
static bool MarktZeile(const WarenMarktDaten* d, uint32_t type, WarenZeile* row) {
  const WarenZeile* t = GetWarenZeile(type);
  if (!t) return false;
  *row = *t;
  if (type != 0 && d->spezialtyp == type) {
    row->divisor = 200;
    row->price = 100;
  }
  return true;
}

// 1 when the chunk (header included) reaches past byte end.
static bool Holds(const void* chunk, uint32_t end) {
  return chunk && uint64_t(sizeof(ChunkHeader)) + ChunkLength(chunk) >= end;
}

void FillWarenMarktDaten(WarenMarktDaten* d, const void* land, const void* fors, const void* taxe,
                         const st_TOWN* town, int32_t v1, int32_t v2, int32_t v3) {
  *d = WarenMarktDaten{};
  d->einwohner = Holds(land, 18) ? ChunkGet32(land, 14) : 0;
  d->rohstoffe = 0;
  for (uint32_t off : {38u, 42u, 46u})
    if (Holds(land, off + 4) && int32_t(ChunkGet32(land, off)) >= 1) d->rohstoffe = 1;
  for (uint32_t i = 0; i < 7; ++i)
    d->stufen[i] = Holds(fors, 16 + i) ? int8_t(static_cast<const uint8_t*>(fors)[15 + i]) : 0;
  const uint32_t t = Holds(taxe, 26) ? ChunkGet32(taxe, 22) : 0;
  d->abgabe = t > WAREN_ABGABE_MAX ? WAREN_ABGABE_MAX : t;
  d->gebaeude20 = town && (town->buildings[20].flags & BUILDING_STANDS) ? 1 : 0;
  d->gebaeude26 = town && (town->buildings[26].flags & BUILDING_STANDS) ? 1 : 0;
  d->werte[0] = v1;
  d->werte[1] = v2;
  d->werte[2] = v3;
}

uint32_t CalcWarenAngebot(WarenMarktDaten* d, uint32_t type) {
  WarenZeile row{};
  if (!MarktZeile(d, type, &row)) return 0;
  const bool special = type != 0 && d->spezialtyp == type;
  uint32_t (*zufall)(uint32_t) = d->zufall ? d->zufall : Zufall;
  uint64_t q = 0;
  if (d->rohstoffmodus && (type < 82 || type > 99)) {
    if (type >= 1 && type <= 3 && d->werte[type - 1] > 0) q = uint64_t(d->werte[type - 1]) * 10;
  } else if (type == 98) {
    q = d->holz;
  } else if (type == 99) {
    q = d->stein;
  } else {
    if (d->rohstoffe && row.divisor != 0) {
      const uint64_t base = d->einwohner / uint32_t(row.divisor);
      q = base + zufall(uint32_t(base));
      int64_t s = int64_t(d->werte[0]) * row.weight[0] + int64_t(d->werte[1]) * row.weight[1] +
                  2 * int64_t(d->werte[2]) * row.weight[2];
      const int64_t ws = int64_t(row.weight[0]) + row.weight[1] + row.weight[2];
      if (ws != 0) s /= ws;
      const uint64_t abs_s = s < 0 ? uint64_t(-s) : uint64_t(s);
      // |s| x base in 64 bits, handed to Zufall no larger than it takes.
      uint64_t span = (base != 0 && abs_s > 0xFFFFFFFFull / base) ? 0xFFFFFFFFull : abs_s * base;
      const uint64_t r = zufall(uint32_t(span));
      if (s >= 0)
        q += r;
      else
        q = q > r ? q - r : 0;
    }
    if (type == 90) q *= 2;
    if (type == 92) q *= 8;
    for (int i = 0; i < 7; ++i)
      if (d->stufen[i] < row.level[i]) q = 0;
    if (special && q == 0) d->spezialtyp = 0;
  }
  if (q == 0) return 0;
  if (!d->gebaeude20 && row.weight[2] != 0) return 0;
  if (!d->gebaeude26 && row.weight[1] != 0) return 0;
  return q > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(q);
}

uint32_t CalcWarenPreis(const WarenMarktDaten* d, uint32_t type) {
  WarenZeile row{};
  if (!MarktZeile(d, type, &row)) return 0;
  if ((d->rohstoffmodus && type < 82) || type == 98 || type == 99) return 0;
  if (!d->rohstoffe) return 0;
  const uint64_t p = CalcWarePreis(type, uint32_t(row.price), d->werte[0], d->werte[1], d->werte[2]);
  const uint64_t t = d->abgabe > WAREN_ABGABE_MAX ? WAREN_ABGABE_MAX : d->abgabe;
  const uint64_t price = p * (t + 101) / 100;
  return price > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(price);
}

void BuildWarenMarkt(WarenMarktDaten* d, WarenMarkt* m) {
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) m->menge[g] = CalcWarenAngebot(d, g);
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) m->preis[g] = CalcWarenPreis(d, g);
}

uint32_t CountWarenMarkt(const WarenMarkt* m) {
  uint32_t n = 0;
  for (uint32_t q : m->menge) n += q != 0;
  return n;
}

int32_t ParseWarenMarkt(const uint8_t* data, uint32_t size, WarenMarkt* m) {
  std::memset(m, 0, sizeof *m);
  if (!data || size != WAREN_DAT_SIZE) return 0;
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) {
    m->menge[g] = GetLE32(data + 4 * g);
    m->preis[g] = GetLE32(data + 4 * (WAREN_ANZAHL + g));
  }
  return 1;
}

void PutWarenMarkt(const WarenMarkt* m, uint8_t* out) {
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) {
    PutLE32(out + 4 * g, m->menge[g]);
    PutLE32(out + 4 * (WAREN_ANZAHL + g), m->preis[g]);
  }
}

int32_t LoadWarenMarkt(WarenMarkt* m) {
  std::memset(m, 0, sizeof *m);
  uint32_t size = 0;
  uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(WarenDatPath, 0, &size));
  if (!data) return 0;
  const int32_t ok = ParseWarenMarkt(data, size, m);
  FreeVec(data);
  if (!ok) {
    DebugLog("LoadWarenMarkt: Waren.dat hat %u statt %u Bytes, wird neu angelegt\n", size, WAREN_DAT_SIZE);
    DeleteFileA(WarenDatPath);
  }
  return ok;
}

uint32_t WarenPreisGrenze() {
  uint64_t base = 100;  // the special type's base price
  for (const WarenZeile& row : WarenTabelle)
    if (row.price > 0 && uint64_t(row.price) > base) base = uint64_t(row.price);
  const uint64_t limit = base * 2 * (WAREN_ABGABE_MAX + 101) / 100;
  return limit > 0xFFFFFFFEull ? 0xFFFFFFFEu : uint32_t(limit);
}

uint32_t PruefeWarenMarkt(const WarenMarkt* m, uint8_t damaged[WAREN_ANZAHL]) {
  const uint32_t limit = WarenPreisGrenze();
  uint32_t n = 0;
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) {
    const bool free_type = (g >= 1 && g <= 3) || g == 98 || g == 99;
    const bool bad = m->preis[g] > limit || (m->menge[g] && m->preis[g] == 0 && !free_type);
    if (damaged) damaged[g] = bad ? 1 : 0;
    n += bad;
  }
  return n;
}

int32_t SaveWarenMarkt(const WarenMarkt* m) {
  uint8_t image[WAREN_DAT_SIZE];
  PutWarenMarkt(m, image);
  return SaveMem2File(WarenDatPath, image, WAREN_DAT_SIZE) ? 1 : 0;
}

uint32_t PrepareWarenMarkt(WarenMarktDaten* d, WarenMarkt* m, uint32_t* goods_count) {
  const uint32_t flag = CheckPrefs(PREFS_MARKET_FLAG, 0, 0);
  const bool first = flag != 1;  // 0, or prefs unreadable: the turn's stock is not settled
  bool loaded = false;
  if (LoadWarenMarkt(m)) {
    loaded = true;
  } else if (!first) {
    std::memset(m, 0, sizeof *m);  // the stock of this turn is gone: nothing on offer
  } else {
    d->rohstoffmodus = CheckPrefs(PREFS_MARKET_SWITCH, 0, 0);
    d->spezialtyp = CheckPrefs(PREFS_LUXURY_GOOD, 0, 0);
    d->holz = CheckPrefs(PREFS_MARKET_WOOD, 0, 0);
    d->stein = CheckPrefs(PREFS_MARKET_STONE, 0, 0);
    BuildWarenMarkt(d, m);
  }
  const uint32_t n = CountWarenMarkt(m);
  if (!first) return n;
  // The stock of the turn settles at once: the file, the given-up special
  // type and the flag are one set, so a failure or a kill leaves either all
  // three or none (the next visit then builds again).
  StageScope stage;
  if (!loaded) {
    uint8_t image[WAREN_DAT_SIZE];
    PutWarenMarkt(m, image);
    GdSaveFile(WarenDatPath, image, WAREN_DAT_SIZE);
    if (d->spezialtyp == 0 && GdPrefs(PREFS_LUXURY_GOOD, 0, 0) != 0) GdPrefs(PREFS_LUXURY_GOOD, 1, 0);
  }
  GdPrefs(PREFS_MARKET_FLAG, 1, 1);
  if (!stage.Commit()) {
    DebugLog("CreateWarenReqListBuffer: Konnte Waren.dat nicht abspeichern !\n");
    return n;
  }
  if (goods_count) *goods_count = n;
  return n;
}
