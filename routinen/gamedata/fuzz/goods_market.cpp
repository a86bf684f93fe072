// The market stock on arbitrary bytes: the first 48 bytes are the realm's
// values and the random numbers the rule draws, the rest a Waren.dat image.
// A stock is read only from exactly 928 bytes; the rules never price or
// offer what they must not, whatever the values.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "routinen/gamedata/goods.h"
#include "routinen/system/byteorder.h"

namespace {
const uint8_t* zufall_bytes;
size_t zufall_left;
uint32_t FuzzZufall(uint32_t n) {
  uint32_t v = 0;
  if (zufall_left >= 4) {
    v = GetLE32(zufall_bytes);
    zufall_bytes += 4;
    zufall_left -= 4;
  }
  return n == 0xFFFFFFFFu ? v : v % (n + 1);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 48) return 0;
  WarenMarktDaten d{};
  d.einwohner = GetLE32(data);
  d.rohstoffe = data[4] & 1;
  for (int i = 0; i < 3; ++i) d.werte[i] = int32_t(GetLE32(data + 5 + 4 * i));
  for (int i = 0; i < 7; ++i) d.stufen[i] = int8_t(data[17 + i]);
  d.abgabe = GetLE32(data + 24);
  d.gebaeude20 = data[28] & 1;
  d.gebaeude26 = data[29] & 1;
  d.rohstoffmodus = data[30];
  d.spezialtyp = data[31];
  d.holz = GetLE32(data + 32);
  d.stein = GetLE32(data + 36);
  const uint32_t special = d.spezialtyp;
  zufall_bytes = data + 40;
  zufall_left = 8;
  d.zufall = FuzzZufall;

  WarenMarkt m;
  BuildWarenMarkt(&d, &m);
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) {
    if ((g == 98 || g == 99) && m.preis[g] != 0) std::abort();
    if (!d.rohstoffmodus && !d.rohstoffe && g != 98 && g != 99 && m.menge[g] != 0) std::abort();
    if (WarenTabelle[g].level[0] == 8 && g != special && !d.rohstoffmodus && m.menge[g] != 0) std::abort();
  }
  if (d.spezialtyp != special && d.spezialtyp != 0) std::abort();
  if (WarenTabelle[90].divisor != 0) std::abort();  // the shared table is never changed

  WarenMarkt file;
  const uint32_t rest = size - 48 > 4096 ? 4096 : uint32_t(size - 48);
  const int32_t ok = ParseWarenMarkt(data + 48, rest, &file);
  if (ok != (rest == WAREN_DAT_SIZE)) std::abort();
  if (ok) {
    uint8_t image[WAREN_DAT_SIZE];
    PutWarenMarkt(&file, image);
    if (std::memcmp(image, data + 48, WAREN_DAT_SIZE) != 0) std::abort();
  }
  if (CountWarenMarkt(&file) > WAREN_ANZAHL) std::abort();
  return 0;
}
