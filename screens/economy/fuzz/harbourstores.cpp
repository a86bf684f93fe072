// Fuzz target: the shipyard's confirmation over hostile stores. The input is
// a flags byte, then u16 (big-endian) n and n bytes of a SHIP chunk, u16 m
// and m bytes of a MOVE chunk, and the rest a WARE chunk (each on disk
// order, header included). The town stands where the first figure stands;
// the research levels and the treasury come from the flags. A few launches
// and the confirmation (with the Ctrl workaround when flag bit 0 is set)
// run in a private folder; after it every own ship figure in port must
// have its record.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "screens/economy/hafen.h"

namespace {

constexpr uint32_t kOwn = 1001;

// A chunk of the part (disk order), or null.
uint8_t* Part(const uint8_t*& p, const uint8_t* end, const char* id, bool rest) {
  uint32_t n = 0;
  if (rest) {
    n = (uint32_t)(end - p);
  } else {
    if (end - p < 2) return nullptr;
    n = (uint32_t)(p[0] << 8 | p[1]);
    p += 2;
    if ((uint32_t)(end - p) < n) n = (uint32_t)(end - p);
  }
  uint8_t* c = n ? ChunkFromBuffer(id, p, n) : nullptr;
  p += n;
  return c;
}

ListHeader* Scanned(uint32_t type, uint8_t* chunk, int32_t (*scan)(ListHeader*, const void*)) {
  ListHeader* list = CreateList(type);
  if (list && chunk && !scan(list, chunk)) {
    DeleteList(list, 0);
    list = CreateList(type);
  }
  if (chunk) FreeChunk(chunk);
  return list;
}

bool Consistent(HafenScreenData* d) {
  uint32_t i = 0;
  for (ListNode* n = d->figuren->first; n && i < d->figuren->count; n = n->next, ++i) {
    const FigurRecord& f = reinterpret_cast<MOVE_EXT*>(n)->figure;
    if (f.owner != kOwn || f.type < 14 || f.type > 19 || f.x != d->stadtX || f.y != d->stadtY) continue;
    if (!HafenSchiffseintrag(d, f.number)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    DebugLogSetStderr(0);
    FileSyncWrites(0);
    const std::string dir = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/qoe_fuzz_harbour_" +
                            std::to_string(getpid());
    std::system(("mkdir -p " + dir + "/Data/POP3Out").c_str());
    if (chdir(dir.c_str()) != 0) return 0;
    RegisterGameDataListTypes();
    SetGameDataOwner(kOwn, "Harald");
    init = true;
  }
  if (size < 1 || size > (1u << 16)) return 0;
  const uint8_t flags = data[0];
  const uint8_t* p = data + 1;
  const uint8_t* end = data + size;
  auto* d = static_cast<HafenScreenData*>(AllocVec(sizeof(HafenScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  d->gelesen = 1;
  d->schiffe = Scanned(LIST_SHIPS, Part(p, end, "SHIP", false), ScanShip2List);
  d->figuren = Scanned(LIST_FIGURES, Part(p, end, "MOVE", false), ScanFigur2List);
  d->waren = Scanned(LIST_GOODS, Part(p, end, "WARE", true), ScanWare2List);
  d->figurenGeladen = d->figuren->count;
  d->addOns = CreateList(LIST_SHIP_ADDONS);
  if (d->figuren->count) {
    const FigurRecord& f = reinterpret_cast<MOVE_EXT*>(d->figuren->first)->figure;
    d->stadtX = f.x;
    d->stadtY = f.y;
  }
  d->land = AllocChunk("LAND", "V001", 160);
  ChunkPut32(d->land, 34, (uint32_t)flags * 1000u);
  d->fors = AllocChunk("FORS", "V001", 16);
  d->fors[17] = (uint8_t)(flags >> 1);
  d->fors[20] = (uint8_t)(flags >> 3);
  if (InitWerftRequester(d) && AllocFigurenListe(d))
    for (uint32_t k = 0; k < (flags & 6u); ++k) ChangeRequesterBuffer(d, 0, k);
  if (CarryOutShipyard(d, flags & 1) && !Consistent(d)) std::abort();
  d->gelesen = 0;  // freed without the leaving write
  FreeAllThingsHafen(d);
  WriteHafenData(d);
  FreeVec(d);
  return 0;
}
