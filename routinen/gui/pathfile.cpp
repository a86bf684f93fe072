#include "pathfile.h"

#include <cstring>

#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

PathFile* ParsePathFile(const void* data, uint32_t size) {
  BoundedReader r = MakeReader(data, size);
  const uint8_t* magic = ReadSpan(r, 4);
  uint16_t version = ReadBE16(r);
  uint16_t count = ReadBE16(r);
  ReadBE32(r);
  if (!r.ok || std::memcmp(magic, "QPTH", 4) != 0 || version != 1) {
    DebugLog("ParsePathFile: Kein gueltiger Bildindex.\n");
    return nullptr;
  }
  if (count > kPathMaxEntries || (uint64_t)count * kPathRecordSize > ReaderLeft(r)) {
    DebugLog("ParsePathFile: Index ist zu kurz fuer %u Eintraege.\n", count);
    return nullptr;
  }
  PathFile* pf = static_cast<PathFile*>(AllocVec(sizeof(PathFile), MEMF_CLEAR));
  if (!pf) return nullptr;
  if (count) {
    pf->entries = static_cast<PathEntry*>(AllocVec((uint32_t)count * sizeof(PathEntry), MEMF_CLEAR));
    if (!pf->entries) { FreeVec(pf); return nullptr; }
  }
  pf->count = count;
  for (uint32_t i = 0; i < count; ++i) {
    PathEntry& e = pf->entries[i];
    e.kind = ReadU8(r);
    e.flags = ReadU8(r);
    e.frames = ReadBE16(r);
    e.frameHeight = ReadBE16(r);
    e.width = ReadBE16(r);
    e.height = ReadBE16(r);
    ReadBE16(r);
    ReadBytes(r, e.file, kPathNameSize);
    e.file[kPathNameSize - 1] = 0;
    if (e.kind > PICKIND_STRIP) e.kind = PICKIND_NONE;
    if (e.kind != PICKIND_NONE && e.file[0] == 0) e.kind = PICKIND_NONE;
  }
  return pf;
}

PathFile* LoadPathFile(const char* path) {
  uint32_t size = 0;
  void* data = LoadFile2MemSize(path, MEMF_PUBLIC, &size);
  if (!data) {
    DebugLog("LoadPathFile: Konnte %s nicht laden.\n", path);
    return nullptr;
  }
  PathFile* pf = ParsePathFile(data, size);
  FreeVec(data);
  return pf;
}

void FreePathFile(PathFile* index) {
  if (!index) return;
  FreeVec(index->entries);
  FreeVec(index);
}

const PathEntry* GetPathEntry(const PathFile* index, uint32_t id) {
  if (!index || id == 0 || id > index->count) return nullptr;
  const PathEntry* e = &index->entries[id - 1];
  return e->kind == PICKIND_NONE ? nullptr : e;
}
