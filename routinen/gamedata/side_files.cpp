// Side files of the game data that are plain runs of big-endian records:
// .\Data\ShipAddOn.dat, .\Data\MapNames.dat and the culture parts
// .\Map\C_<column>_<row>.qoe; and the culture forecasts.
#include <cstdio>
#include <cstring>

#include "codecs.h"
#include "entities.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "stage.h"

namespace {

const char* const kShipAddOnPath = ".\\Data\\ShipAddOn.dat";
const char* const kMapNamesPath = ".\\Data\\MapNames.dat";

// Reads a record file into the list; a missing file leaves it empty.
// 0 when the file is not a whole number of records or memory runs out.
int32_t ScanRecordFile(ListHeader* list, uint32_t type, const char* path, const RecordCodec& codec,
                       const char* who) {
  const uint32_t rec_size = codec.size;
  RegisterGameDataListTypes();
  if (!list || list->type != type) return 0;
  uint32_t size = 0;
  uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, MEMF_PUBLIC, &size));
  if (!d) return 1;
  int32_t ok = 1;
  if (size % rec_size) {
    DebugLog("%s: Datei %s ist beschaedigt\n", who, path);
    ok = 0;
  }
  for (uint32_t pos = 0; ok && pos + rec_size <= size; pos += rec_size) {
    ListNode* n = AllocListNode(list);
    if (!n) { ok = 0; break; }
    DecodeRecord(codec, d + pos, ORDER_BIG, n);
    AddNode(list, n, LN_TAIL, 0);
  }
  FreeVec(d);
  return ok;
}

// The file's bytes for the list: a new block (at least one byte, so an
// empty list is not taken for a failure) and its size; null on failure.
uint8_t* RecordFileImage(ListHeader* list, uint32_t type, const RecordCodec& codec, uint32_t* size) {
  const uint32_t rec_size = codec.size;
  if (!list || list->type != type || !size) return nullptr;
  uint64_t total = (uint64_t)list->count * rec_size;
  if (total > 0x7FFF0000u) return nullptr;
  uint8_t* d = static_cast<uint8_t*>(AllocVec(total ? (uint32_t)total : 1u, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) return nullptr;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count && n; i++, n = n->next)
    EncodeRecord(codec, n, d + (size_t)i * rec_size, ORDER_BIG);
  *size = (uint32_t)total;
  return d;
}

int32_t SaveRecordFile(ListHeader* list, uint32_t type, const char* path, const RecordCodec& codec,
                       const char* who) {
  uint32_t size = 0;
  uint8_t* d = RecordFileImage(list, type, codec, &size);
  if (!d) return 0;
  // An empty list is an empty file.
  int32_t ok = GdSaveFile(path, size ? d : nullptr, size) ? 1 : 0;
  if (!ok) DebugLog("%s: Konnte %s nicht schreiben\n", who, path);
  FreeVec(d);
  return ok;
}

void CultPath(char* out, size_t size, uint32_t column, uint32_t row) {
  std::snprintf(out, size, ".\\Map\\C_%u_%u.qoe", column, row);
}

}  // namespace

ListHeader* ScanShipAddOn2List() {
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(LIST_SHIP_ADDONS);
  if (!list) return nullptr;
  int32_t ok = ScanRecordFile(list, LIST_SHIP_ADDONS, kShipAddOnPath, ShipAddOnCodec, "ScanShipAddOn2List");
  if (!ok) {
    DeleteList(list, 0);
    return nullptr;
  }
  return list;
}

int32_t SaveShipAddOnList(ListHeader* list) {
  return SaveRecordFile(list, LIST_SHIP_ADDONS, kShipAddOnPath, ShipAddOnCodec, "SaveShipAddOnList");
}

uint8_t* MakeShipAddOnImage(ListHeader* list, uint32_t* size) {
  return RecordFileImage(list, LIST_SHIP_ADDONS, ShipAddOnCodec, size);
}

uint8_t* MakeMapNamesImage(ListHeader* list, uint32_t* size) {
  return RecordFileImage(list, LIST_MAP_NAMES, MapNameEintragCodec, size);
}

int32_t ScanMapNames2List(ListHeader* list) {
  return ScanRecordFile(list, LIST_MAP_NAMES, kMapNamesPath, MapNameEintragCodec, "ScanMapNames2List");
}

int32_t SaveMapNamesList(ListHeader* list) {
  return SaveRecordFile(list, LIST_MAP_NAMES, kMapNamesPath, MapNameEintragCodec, "SaveMapNamesList");
}

int32_t ScanMapCult2List(ListHeader* list, uint32_t column, uint32_t row) {
  char path[64];
  CultPath(path, sizeof path, column, row);
  return ScanRecordFile(list, LIST_CULTURE_FIELDS, path, MapCultEintragCodec, "ScanMapCult2List");
}

uint8_t* MakeMapCultImage(ListHeader* list, uint32_t* size) {
  return RecordFileImage(list, LIST_CULTURE_FIELDS, MapCultEintragCodec, size);
}

void MapCultPath(char* out, uint32_t size, uint32_t column, uint32_t row) { CultPath(out, size, column, row); }

int32_t SaveMapCultList(ListHeader* list, uint32_t column, uint32_t row) {
  char path[64];
  CultPath(path, sizeof path, column, row);
  if (list && list->type == LIST_CULTURE_FIELDS && list->count == 0) {
    DeleteFileA(path);  // no field of the part is worked
    return 1;
  }
  return SaveRecordFile(list, LIST_CULTURE_FIELDS, path, MapCultEintragCodec, "SaveMapCultList");
}

// Yield of a terrain type (0..11) per product in percent: harvest (fishing
// on water), wood, stones.
namespace {
const uint8_t kHarvest[12] = {0, 10, 30, 70, 40, 60, 50, 100, 30, 20, 80, 0};
const uint8_t kWood[12] = {0, 0, 10, 40, 150, 120, 100, 20, 30, 0, 0, 0};
const uint8_t kStone[12] = {0, 150, 130, 80, 10, 10, 10, 10, 0, 30, 0, 0};
const uint32_t kMaxWorkers = 1000;

uint32_t Scale(uint64_t base, uint32_t percent, uint32_t value) {
  uint64_t v = base * percent / 100;
  if (value) v = v * value / 100;
  return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : (uint32_t)v;
}
}  // namespace

uint32_t CalcCultValueA(uint32_t terrain, uint32_t workers, uint32_t value) {
  if (terrain > 11) return 0;
  if (workers > kMaxWorkers) workers = kMaxWorkers;
  return Scale(10000 + (uint64_t)workers * 40000 / 1000, kHarvest[terrain], value);
}

uint32_t CalcCultValueB(uint32_t terrain, uint32_t workers, uint32_t value) {
  if (terrain > 11) return 0;
  if (workers > kMaxWorkers) workers = kMaxWorkers;
  return Scale((uint64_t)workers * 5 * kWood[terrain] / 100000, 100, value);
}

uint32_t CalcCultValueC(uint32_t terrain, uint32_t workers) {
  if (terrain > 11) return 0;
  if (workers > kMaxWorkers) workers = kMaxWorkers;
  return (uint32_t)((uint64_t)workers * 5 * kStone[terrain] / 100000);
}
