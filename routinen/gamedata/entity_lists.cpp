// Scan and make pairs of the record chunks: ships, specialists, goods,
// contracts, herbs and players; the GEBA building test.
#include <cstring>

#include "chunks.h"
#include "entities.h"
#include "entity_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

namespace {

inline uint16_t G16(const uint8_t* r, uint32_t o) { return ChunkGet16(r, o); }
inline uint32_t G32(const uint8_t* r, uint32_t o) { return ChunkGet32(r, o); }
inline void P16(uint8_t* r, uint32_t o, uint16_t v) { ChunkPut16(r, o, v); }
inline void P32(uint8_t* r, uint32_t o, uint32_t v) { ChunkPut32(r, o, v); }

}  // namespace

const uint8_t* ChunkRecords(const void* chunk, const RecordChunkDef& d, uint32_t* count) {
  *count = 0;
  if (!chunk) return nullptr;
  const uint8_t* c = static_cast<const uint8_t*>(chunk);
  if (std::memcmp(c, d.id, 4) != 0) {
    DebugLog("ChunkRecords: Chunk ist kein %s-Chunk\n", d.id);
    return nullptr;
  }
  uint32_t len = ChunkLength(c);
  if (len + 12 < d.rec_off) return nullptr;
  uint32_t n = d.count_width == 2 ? ChunkGet16(c, d.count_off) : ChunkGet32(c, d.count_off);
  if ((uint64_t)n * d.rec_size > len + 12 - d.rec_off) {
    DebugLog("ChunkRecords: %s-Chunk mit %u Eintraegen ist zu kurz\n", d.id, n);
    return nullptr;
  }
  *count = n;
  return c + d.rec_off;
}

uint8_t* MakeRecordChunk(const RecordChunkDef& d, uint32_t count) {
  uint64_t len = (uint64_t)d.rec_off - 12 + (uint64_t)count * d.rec_size;
  if (len > 0x7FFF0000u || (d.count_width == 2 && count > 0xFFFF)) return nullptr;
  uint8_t* c = AllocChunk(d.id, "V001", (uint32_t)len);
  if (!c) return nullptr;
  if (d.count_width == 2) ChunkPut16(c, d.count_off, (uint16_t)count);
  else ChunkPut32(c, d.count_off, count);
  return c;
}

int32_t ScanRecords(ListHeader* list, const void* chunk, const RecordChunkDef& d, uint32_t list_type,
                    void (*decode)(const uint8_t*, ListNode*)) {
  RegisterGameDataListTypes();
  if (!list || list->type != list_type) return 0;
  uint32_t n = 0;
  const uint8_t* r = ChunkRecords(chunk, d, &n);
  if (!r) return 0;
  uint32_t before = list->count;
  for (uint32_t i = 0; i < n; i++, r += d.rec_size) {
    ListNode* node = AllocListNode(list);
    if (!node) {  // out of memory: the list is left as it was
      while (list->count > before) RemoveNode(list, LN_TAIL, 0, 0);
      return 0;
    }
    decode(r, node);
    AddNode(list, node, LN_TAIL, 0);
  }
  return 1;
}

uint8_t* MakeRecords(ListHeader* list, const RecordChunkDef& d, uint32_t list_type,
                     void (*encode)(const ListNode*, uint8_t*)) {
  if (!list || list->type != list_type) return nullptr;
  uint8_t* c = MakeRecordChunk(d, list->count);
  if (!c) return nullptr;
  ListNode* node = list->first;
  uint8_t* r = c + d.rec_off;
  for (uint32_t i = 0; i < list->count && node; i++, node = node->next, r += d.rec_size) encode(node, r);
  return c;
}

// ---- ships ----
namespace {
const RecordChunkDef kShipDef = {"SHIP", 12, 4, 16, 68};
void DecodeShip(const uint8_t* r, ListNode* n) {
  Schiffseintrag* s = reinterpret_cast<Schiffseintrag*>(n);
  s->id = G16(r, 0);
  s->damage = G16(r, 2);
  s->klasse = G16(r, 4);
  s->x = G32(r, 6);
  s->y = G32(r, 10);
  for (int k = 0; k < 3; k++) s->cargo[k] = GetFigurRecord(r + 14 + 18 * k);
}
void EncodeShip(const ListNode* n, uint8_t* r) {
  const Schiffseintrag* s = reinterpret_cast<const Schiffseintrag*>(n);
  P16(r, 0, s->id);
  P16(r, 2, s->damage);
  P16(r, 4, s->klasse);
  P32(r, 6, s->x);
  P32(r, 10, s->y);
  for (int k = 0; k < 3; k++) PutFigurRecord(r + 14 + 18 * k, s->cargo[k]);
}
}  // namespace

int32_t ScanShip2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, kShipDef, LIST_SHIPS, DecodeShip);
}
uint8_t* MakeShipChunkFromList(ListHeader* list) { return MakeRecords(list, kShipDef, LIST_SHIPS, EncodeShip); }

// ---- specialists ----
namespace {
const RecordChunkDef kSpezDef = {"SPEZ", 12, 4, 16, 194};
void DecodeSpez(const uint8_t* r, ListNode* n) {
  SpezialistEintrag* s = reinterpret_cast<SpezialistEintrag*>(n);
  std::memcpy(s->name, r, 80);
  s->name[79] = 0;
  s->figur = G32(r, 80);
  s->x = G32(r, 84);
  s->y = G32(r, 88);
  s->state = G16(r, 92);
  s->type = r[94];
  s->detail1 = r[95];
  s->detail2 = r[96];
  s->byte97 = r[97];
  std::memcpy(s->attributes, r + 98, 6);
  s->word104 = G16(r, 104);
  s->wage = G32(r, 106);
  s->owner = G32(r, 110);
  std::memcpy(s->rest, r + 114, 80);
}
void EncodeSpez(const ListNode* n, uint8_t* r) {
  const SpezialistEintrag* s = reinterpret_cast<const SpezialistEintrag*>(n);
  std::memcpy(r, s->name, 80);
  r[79] = 0;
  P32(r, 80, s->figur);
  P32(r, 84, s->x);
  P32(r, 88, s->y);
  P16(r, 92, s->state);
  r[94] = s->type;
  r[95] = s->detail1;
  r[96] = s->detail2;
  r[97] = s->byte97;
  std::memcpy(r + 98, s->attributes, 6);
  P16(r, 104, s->word104);
  P32(r, 106, s->wage);
  P32(r, 110, s->owner);
  std::memcpy(r + 114, s->rest, 80);
}
}  // namespace

int32_t ScanSpezialisten2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, kSpezDef, LIST_SPECIALISTS, DecodeSpez);
}
uint8_t* MakeSpezialistenChunkFromList(ListHeader* list) {
  return MakeRecords(list, kSpezDef, LIST_SPECIALISTS, EncodeSpez);
}

// ---- goods ----
namespace {
const RecordChunkDef kWareDef = {"WARE", 12, 2, 14, 36};
void DecodeWare(const uint8_t* r, ListNode* n) {
  WarenListenEntry* w = reinterpret_cast<WarenListenEntry*>(n);
  w->kind = G16(r, 0);
  w->owner = G32(r, 2);
  w->goods = G32(r, 6);
  w->quantity = G32(r, 10);
  w->price = G32(r, 14);
  w->ident = G32(r, 18);
  w->buyer = G32(r, 22);
  w->bid_quantity = G32(r, 26);
  w->bid_price = G32(r, 30);
  w->closing = G16(r, 34);
}
void EncodeWare(const ListNode* n, uint8_t* r) {
  const WarenListenEntry* w = reinterpret_cast<const WarenListenEntry*>(n);
  P16(r, 0, w->kind);
  P32(r, 2, w->owner);
  P32(r, 6, w->goods);
  P32(r, 10, w->quantity);
  P32(r, 14, w->price);
  P32(r, 18, w->ident);
  P32(r, 22, w->buyer);
  P32(r, 26, w->bid_quantity);
  P32(r, 30, w->bid_price);
  P16(r, 34, w->closing);
}
}  // namespace

int32_t ScanWare2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, kWareDef, LIST_GOODS, DecodeWare);
}
uint8_t* MakeWareChunkFromList(ListHeader* list) { return MakeRecords(list, kWareDef, LIST_GOODS, EncodeWare); }

// ---- contracts ----
namespace {
const RecordChunkDef kVertDef = {"VERT", 12, 4, 16, 32};
void DecodeVert(const uint8_t* r, ListNode* n) {
  VertragsEintrag* v = reinterpret_cast<VertragsEintrag*>(n);
  v->kind = G16(r, 0);
  v->sender = G32(r, 2);
  v->receiver = G32(r, 6);
  v->goods = G32(r, 10);
  v->time = G32(r, 14);
  v->word18 = G16(r, 18);
  v->duration = G16(r, 20);
  v->amount = G32(r, 22);
  v->price = G32(r, 26);
  v->word30 = G16(r, 30);
}
void EncodeVert(const ListNode* n, uint8_t* r) {
  const VertragsEintrag* v = reinterpret_cast<const VertragsEintrag*>(n);
  P16(r, 0, v->kind);
  P32(r, 2, v->sender);
  P32(r, 6, v->receiver);
  P32(r, 10, v->goods);
  P32(r, 14, v->time);
  P16(r, 18, v->word18);
  P16(r, 20, v->duration);
  P32(r, 22, v->amount);
  P32(r, 26, v->price);
  P16(r, 30, v->word30);
}
}  // namespace

int32_t ScanVertrag2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, kVertDef, LIST_CONTRACTS, DecodeVert);
}
uint8_t* MakeVertragChunkFromList(ListHeader* list) {
  return MakeRecords(list, kVertDef, LIST_CONTRACTS, EncodeVert);
}

// ---- herbs ----
namespace {
const RecordChunkDef kHerbDef = {"HERB", 12, 4, 16, 12};
void DecodeHerb(const uint8_t* r, ListNode* n) {
  KrautEintrag* k = reinterpret_cast<KrautEintrag*>(n);
  k->x = G32(r, 0);
  k->y = G32(r, 4);
  k->herb = r[8];
  k->found = r[9];
  k->amount = G16(r, 10);
}
void EncodeHerb(const ListNode* n, uint8_t* r) {
  const KrautEintrag* k = reinterpret_cast<const KrautEintrag*>(n);
  P32(r, 0, k->x);
  P32(r, 4, k->y);
  r[8] = k->herb;
  r[9] = k->found;
  P16(r, 10, k->amount);
}
}  // namespace

int32_t ScanHerb2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, kHerbDef, LIST_HERBS, DecodeHerb);
}
uint8_t* MakeHerbChunkFromList(ListHeader* list) { return MakeRecords(list, kHerbDef, LIST_HERBS, EncodeHerb); }

// ---- players ----
namespace {
const RecordChunkDef kAntwDef = {"ANTW", 12, 4, 16, 84};
void DecodePlayer(const uint8_t* r, ListNode* n) {
  SpielerEintrag* s = reinterpret_cast<SpielerEintrag*>(n);
  s->id = G32(r, 0);
  std::memcpy(s->name, r + 4, 80);
  s->name[79] = 0;
}
}  // namespace

int32_t ScanSpieler2List(ListHeader* list, const void* chunk) {
  return ScanRecords(list, chunk, kAntwDef, LIST_PLAYERS, DecodePlayer);
}

uint8_t* MakeSpielerChunkFromList(ListHeader* list) {
  return MakeRecords(list, kAntwDef, LIST_PLAYERS, [](const ListNode* n, uint8_t* r) {
    const SpielerEintrag* s = reinterpret_cast<const SpielerEintrag*>(n);
    P32(r, 0, s->id);
    std::memcpy(r + 4, s->name, 80);
    r[83] = 0;
  });
}

// ---- buildings ----
int32_t CheckOtherBuilding(const void* geba, uint32_t building, uint32_t town) {
  static const RecordChunkDef kGebaDef = {"GEBA", 16, 2, 18, 16};
  uint32_t n = 0;
  const uint8_t* r = ChunkRecords(geba, kGebaDef, &n);
  for (uint32_t i = 0; r && i < n; i++, r += 16) {
    if (G16(r, 0) == building && G16(r, 14) == town) {
      DebugLog("CheckOtherBuilding : Building %u bereits vorhanden...\n", building);
      return 1;
    }
  }
  return 0;
}
