// The statistics file. See statistics.h and docs/statistics.md.
#include "statistics.h"

#include <sys/stat.h>

#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

const char* const StatistikPath = ".\\Data\\Statistikdaten.qoe";

namespace {

// Where each value of a record comes from: the chunk and the u32's offset
// from the chunk's start (header included).
struct ValueSource {
  bool korn;
  uint32_t offset;
};
constexpr ValueSource kSources[STATISTIK_VALUES] = {
    {true, 22},  {false, 34}, {false, 14}, {false, 18}, {false, 22},
    {false, 26}, {false, 30}, {false, 38}, {false, 42}, {false, 46},
};

// 1 when the file is there, 0 when it is missing, -1 when the path is refused.
int32_t FileThere(const char* path) {
  char disk[1024];
  if (!ResolvePath(path, disk, sizeof disk)) return -1;
  struct stat st;
  return stat(disk, &st) == 0 ? 1 : 0;
}

// The statistics file's bytes; null with *missing 1 when there is no file
// (the empty statistics), 0 when it is there and cannot be read.
uint8_t* LoadStatistikFile(uint32_t* size, int32_t* missing) {
  const int32_t there = FileThere(StatistikPath);
  *missing = there == 0 ? 1 : 0;
  if (there == 0) return nullptr;
  uint8_t* data = there > 0 ? static_cast<uint8_t*>(LoadFile2MemSize(StatistikPath, MEMF_PUBLIC, size)) : nullptr;
  if (!data) DebugLog("ReadStatistikDaten: Konnte den Header des Statistik-Files nicht laden\n");
  return data;
}

}  // namespace

int32_t ParseStatistikDaten(const uint8_t* data, uint32_t size, StatistikDaten* out) {
  *out = StatistikDaten{};
  if (!data || size < STATISTIK_HEADER_SIZE) return 0;
  const uint32_t count = GetLE32(data);
  const uint16_t key = GetLE16(data + 4);
  const uint32_t values = GetLE32(data + 6);
  const uint32_t body = size - STATISTIK_HEADER_SIZE;
  if (size == STATISTIK_HEADER_SIZE && count == 0 && key == 0 && values == 0) return 1;  // the empty file
  if (values != STATISTIK_VALUES) return 0;
  if (body % STATISTIK_RECORD_SIZE != 0 || count != body / STATISTIK_RECORD_SIZE) return 0;
  out->count = count;
  out->turnKey = key;
  if (count == 0) return 1;
  out->values = static_cast<uint32_t*>(AllocVec(body, MEMF_PUBLIC));
  if (!out->values) {
    out->count = 0;
    return 0;
  }
  for (uint32_t i = 0; i < count * STATISTIK_VALUES; i++) out->values[i] = GetLE32(data + STATISTIK_HEADER_SIZE + 4 * i);
  return 1;
}

void FreeStatistikDaten(StatistikDaten* s) {
  if (!s) return;
  if (s->values) FreeVec(s->values);
  *s = StatistikDaten{};
}

int32_t ReadStatistikDaten(StatistikDaten* out) {
  *out = StatistikDaten{};
  uint32_t size = 0;
  int32_t missing = 0;
  uint8_t* data = LoadStatistikFile(&size, &missing);
  if (!data) return missing;
  const int32_t ok = ParseStatistikDaten(data, size, out);
  if (ok) {
    // taken as it is
  } else if (size < STATISTIK_HEADER_SIZE) {
    DebugLog("ReadStatistikDaten: Konnte den Header des Statistik-Files nicht laden\n");
  } else if (GetLE32(data + 6) != STATISTIK_VALUES) {
    DebugLog("ReadStatistikDaten: Die Anzahl der Daten im StatistikScreen haben sich ge\xE4ndert. Das "
             "StatistikDatenFile mu\xDF gel\xF6scht werden..\n");
  } else {
    DebugLog("ReadStatistikDaten: Das Statistikdatenfile scheint korrupt zu sein!\n");
  }
  FreeVec(data);
  return ok;
}

int32_t ReadStatistikDatenTeile(StatistikDaten* out, uint32_t* promised) {
  *out = StatistikDaten{};
  if (promised) *promised = 0;
  uint32_t size = 0;
  int32_t missing = 0;
  uint8_t* data = LoadStatistikFile(&size, &missing);
  if (!data) return missing ? 1 : -1;
  int32_t result = 1;
  if (!ParseStatistikDaten(data, size, out)) {
    result = -1;
    const uint32_t count = size >= STATISTIK_HEADER_SIZE ? GetLE32(data) : 0;
    if (promised) *promised = count;
    if (size >= STATISTIK_HEADER_SIZE && GetLE32(data + 6) == STATISTIK_VALUES) {
      const uint32_t fit = (size - STATISTIK_HEADER_SIZE) / STATISTIK_RECORD_SIZE;
      const uint32_t keep = count < fit ? count : fit;
      out->values = keep ? static_cast<uint32_t*>(AllocVec(keep * STATISTIK_RECORD_SIZE, MEMF_PUBLIC)) : nullptr;
      if (out->values || !keep) {
        out->count = keep;
        out->turnKey = GetLE16(data + 4);
        for (uint32_t i = 0; i < keep * STATISTIK_VALUES; i++)
          out->values[i] = GetLE32(data + STATISTIK_HEADER_SIZE + 4 * i);
      }
    }
    DebugLog("ReadStatistikDaten: Das Statistikdatenfile ist besch\xE4" "digt, %u von %u Eintr\xE4gen ganz\n", out->count,
             count);
  } else if (promised) {
    *promised = out->count;
  }
  FreeVec(data);
  return result;
}

int32_t SaveStatistikData() {
  // The file as it is (a missing one is the empty file).
  StatistikDaten have{};
  const int32_t there = FileThere(StatistikPath);
  if (there < 0) {
    DebugLog("SaveStatistikData: Konnte StatistikDatenFile nicht neu anlegen...\n");
    return 0;
  }
  if (there > 0) {
    uint32_t size = 0;
    uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(StatistikPath, MEMF_PUBLIC, &size));
    if (!data || size < STATISTIK_HEADER_SIZE) {
      if (data) FreeVec(data);
      DebugLog("SaveStatistikData: Konnte StatistikHeader nicht laden!\n");
      return 0;
    }
    const int32_t ok = ParseStatistikDaten(data, size, &have);
    FreeVec(data);
    if (!ok) {
      DebugLog("SaveStatistikData: Konnte die Statistikdaten nicht laden!\n");
      return 0;
    }
  }

  // The new record from the applied turn.
  uint8_t* land = LoadChunk2Mem("LAND", ReceivedPoolPath);
  uint8_t* korn = land ? LoadChunk2Mem("KORN", ReceivedPoolPath) : nullptr;
  if (!land) DebugLog("SaveStatistikData: Konnte den LAND-Chunk nicht laden!\n");
  else if (!korn) DebugLog("SaveStatistikData: Konnte den KORN-Chunk nicht laden!\n");
  const bool fits = land && korn && ChunkLength(land) + sizeof(ChunkHeader) >= 50 &&
                    ChunkLength(korn) + sizeof(ChunkHeader) >= 26;
  if (land && korn && !fits) DebugLog("SaveStatistikData: Konnte den LAND-Chunk nicht laden!\n");
  uint32_t record[STATISTIK_VALUES] = {};
  uint32_t key = 0;
  if (fits) {
    for (uint32_t i = 0; i < STATISTIK_VALUES; i++)
      record[i] = ChunkGet32(kSources[i].korn ? korn : land, kSources[i].offset);
    key = ChunkGet16(korn, 16) + 4u * ChunkGet32(korn, 12);
  }
  FreeChunk(land);
  FreeChunk(korn);
  if (!fits) {
    FreeStatistikDaten(&have);
    return 0;
  }

  // The same turn (in the key's stored 16 bits) adds nothing.
  if (have.count > 0 && have.turnKey == static_cast<uint16_t>(key)) {
    FreeStatistikDaten(&have);
    return 1;
  }
  if (have.count >= (0x7FFFFFFFu - STATISTIK_HEADER_SIZE) / STATISTIK_RECORD_SIZE - 1) {
    FreeStatistikDaten(&have);
    DebugLog("SaveStatistikData: Konnte keinen Speicher fuer die Statistikdaten allokieren!\n");
    return 0;
  }
  const uint32_t count = have.count + 1;
  const uint32_t size = STATISTIK_HEADER_SIZE + count * STATISTIK_RECORD_SIZE;
  uint8_t* image = static_cast<uint8_t*>(AllocVec(size, MEMF_PUBLIC));
  if (!image) {
    FreeStatistikDaten(&have);
    DebugLog("SaveStatistikData: Konnte keinen Speicher fuer die Statistikdaten allokieren!\n");
    return 0;
  }
  PutLE32(image, count);
  PutLE16(image + 4, static_cast<uint16_t>(key));
  PutLE32(image + 6, STATISTIK_VALUES);
  uint8_t* p = image + STATISTIK_HEADER_SIZE;
  for (uint32_t i = 0; i < have.count * STATISTIK_VALUES; i++, p += 4) PutLE32(p, have.values[i]);
  for (uint32_t i = 0; i < STATISTIK_VALUES; i++, p += 4) PutLE32(p, record[i]);
  FreeStatistikDaten(&have);
  const int32_t ok = SaveMem2File(StatistikPath, image, size);
  FreeVec(image);
  if (!ok) DebugLog("SaveStatistikData: Konnte StatistikDaten nicht speichern!\n");
  return ok ? 1 : 0;
}
