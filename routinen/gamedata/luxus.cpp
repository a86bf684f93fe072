// The luxury allocations file. See luxus.h.
#include "luxus.h"

#include <cstring>

#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "stage.h"

namespace {
const char kLuxusPath[] = ".\\Data\\Luxus.dat";
}  // namespace

uint32_t LuxusEntryType(uint32_t entry) {
  return entry < 3 ? entry + 1 : entry < LUXUS_FILE_ENTRIES ? entry + 79 : 0;
}

int32_t DecodeLuxusDaten(const uint8_t* data, uint32_t size, uint32_t out[LUXUS_FILE_ENTRIES]) {
  std::memset(out, 0, LUXUS_FILE_ENTRIES * sizeof(uint32_t));
  if (!data || size != LUXUS_FILE_SIZE) return 0;
  for (uint32_t i = 0; i < LUXUS_FILE_ENTRIES; ++i) out[i] = GetLE32(data + 4 * i);
  return 1;
}

void EncodeLuxusDaten(const uint32_t in[LUXUS_FILE_ENTRIES], uint8_t out[LUXUS_FILE_SIZE]) {
  for (uint32_t i = 0; i < LUXUS_FILE_ENTRIES; ++i) PutLE32(out + 4 * i, in[i]);
}

int32_t ReadLuxusDaten(uint32_t out[LUXUS_FILE_ENTRIES]) {
  uint32_t size = 0;
  uint8_t* data = static_cast<uint8_t*>(GdLoadFile(kLuxusPath, 0, &size));
  const int32_t ok = DecodeLuxusDaten(data, size, out);
  if (data && !ok) DebugLog("ReadLuxusDaten: Luxus.dat hat %u statt 76 Bytes, Zuteilungen 0\n", size);
  FreeVec(data);
  return ok;
}

int32_t ReadLuxusDatenTeile(uint32_t out[LUXUS_FILE_ENTRIES], uint32_t* whole) {
  std::memset(out, 0, LUXUS_FILE_ENTRIES * sizeof(uint32_t));
  if (whole) *whole = 0;
  if (!GdFileExists(kLuxusPath)) return 0;
  uint32_t size = 0;
  uint8_t* data = static_cast<uint8_t*>(GdLoadFile(kLuxusPath, 0, &size));
  if (!data) size = 0;
  uint32_t n = size / 4;
  if (n > LUXUS_FILE_ENTRIES) n = LUXUS_FILE_ENTRIES;
  for (uint32_t i = 0; i < n; ++i) out[i] = GetLE32(data + 4 * i);
  FreeVec(data);
  if (whole) *whole = n;
  if (size == LUXUS_FILE_SIZE) return 1;
  DebugLog("ReadLuxusDaten: Luxus.dat hat %u statt 76 Bytes, %u Zuteilungen gelesen\n", size, n);
  return -1;
}

int32_t SaveLuxusDaten(const uint32_t alloc[LUXUS_FILE_ENTRIES], uint32_t market_switch) {
  uint8_t bytes[LUXUS_FILE_SIZE];
  EncodeLuxusDaten(alloc, bytes);
  StageScope stage;
  if (!GdSaveFile(kLuxusPath, bytes, LUXUS_FILE_SIZE)) {
    DebugLog("SaveLuxusScreenData: Konnte File nicht \xF6" "ffnen...\n");
    return 0;
  }
  if (GdPrefs(PREFS_MARKET_SWITCH, 1, market_switch ? 1 : 0) == 0xFFFFFFFFu) stage.Fail();
  if (!stage.Commit()) {
    DebugLog("SaveLuxusScreenData: Konnte Luxus.dat und Prefs nicht schreiben\n");
    return 0;
  }
  return 1;
}
