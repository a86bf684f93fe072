// Armies: the ARMY chunk (ARHD records with their AREN parts and SABO
// saboteurs) as a list of armies, each with its list of parts.
#include <cstring>

#include "chunks.h"
#include "codecs.h"
#include "entities.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/memory.h"

namespace {

// Reads one tagged record: checks tag and length, returns its data.
const uint8_t* TakeTagged(BoundedReader& r, const char* tag, uint32_t size) {
  const uint8_t* t = ReadSpan(r, 8);
  if (!t || std::memcmp(t, tag, 4) != 0 || ChunkGet32(t, 4) != size) {
    r.ok = false;
    return nullptr;
  }
  return ReadSpan(r, size);
}

uint8_t* PutTagged(uint8_t* w, const char* tag, uint32_t size) {
  std::memcpy(w, tag, 4);
  ChunkPut32(w, 4, size);
  return w + 8;
}

void DeleteParts(ListHeader* parts) {
  if (!parts) return;
  ListNode* n = parts->first;
  for (uint32_t i = 0; i < parts->count && n; i++, n = n->next) {
    ArmeeTyp* p = reinterpret_cast<ArmeeTyp*>(n);
    DeleteList(p->SaboteurListHeader, 0);
    p->SaboteurListHeader = nullptr;
  }
  DeleteList(parts, 0);
}

}  // namespace

void DeleteArmyList(ListHeader* armies) {
  if (!armies) return;
  ListNode* n = armies->first;
  for (uint32_t i = 0; i < armies->count && n; i++, n = n->next) {
    Army* a = reinterpret_cast<Army*>(n);
    DeleteParts(a->parts);
    a->parts = nullptr;
  }
  DeleteList(armies, 0);
}

ListHeader* ScanArmy2List(const void* chunk) {
  RegisterGameDataListTypes();
  if (!chunk || std::memcmp(chunk, "ARMY", 4) != 0) {
    DebugLog("ScanArmy2List: Kein ARMY-Chunk\n");
    return nullptr;
  }
  const uint8_t* c = static_cast<const uint8_t*>(chunk);
  BoundedReader r = MakeReader(c + 12, ChunkLength(c));
  const uint8_t* cnt = ReadSpan(r, 4);
  ListHeader* armies = CreateList(LIST_ARMIES);
  if (!cnt || !armies) {
    DeleteList(armies, 0);
    return nullptr;
  }
  uint32_t count = ChunkGet32(cnt, 0);
  for (uint32_t i = 0; i < count && r.ok; i++) {
    const uint8_t* h = TakeTagged(r, "ARHD", ArmyCodec.size);
    if (!h) break;
    Army* a = reinterpret_cast<Army*>(AllocListNode(armies));
    if (!a) { r.ok = false; break; }
    DecodeRecord(ArmyCodec, h, ORDER_HOST, a);
    a->parts = CreateList(LIST_ARMY_PARTS);
    AddNode(armies, &a->head, LN_TAIL, 0);
    if (!a->parts) { r.ok = false; break; }
    for (uint32_t t = 0; t < a->ArmeeTypAnzahl && r.ok; t++) {
      const uint8_t* e = TakeTagged(r, "AREN", ArmeeTypCodec.size);
      if (!e) break;
      ArmeeTyp* p = reinterpret_cast<ArmeeTyp*>(AllocListNode(a->parts));
      if (!p) { r.ok = false; break; }
      DecodeRecord(ArmeeTypCodec, e, ORDER_HOST, p);
      AddNode(a->parts, &p->head, LN_TAIL, 0);
      if (p->SaboteurAnzahl) {
        p->SaboteurListHeader = CreateList(LIST_SABOTEURS);
        if (!p->SaboteurListHeader) { r.ok = false; break; }
      }
      for (uint32_t s = 0; s < p->SaboteurAnzahl && r.ok; s++) {
        const uint8_t* q = TakeTagged(r, "SABO", SaboteurCodec.size);
        if (!q) break;
        Saboteur* sb = reinterpret_cast<Saboteur*>(AllocListNode(p->SaboteurListHeader));
        if (!sb) { r.ok = false; break; }
        DecodeRecord(SaboteurCodec, q, ORDER_HOST, sb);
        AddNode(p->SaboteurListHeader, &sb->head, LN_TAIL, 0);
      }
    }
  }
  if (!r.ok) {
    DebugLog("ScanArmy2List: ARMY-Chunk ist beschaedigt\n");
    DeleteArmyList(armies);
    return nullptr;
  }
  return armies;
}

uint8_t* CovertArmyList2ArmyChunk(ListHeader* armies) {
  if (!armies || armies->type != LIST_ARMIES) return nullptr;
  uint64_t len = 4;
  ListNode* n = armies->first;
  for (uint32_t i = 0; i < armies->count && n; i++, n = n->next) {
    Army* a = reinterpret_cast<Army*>(n);
    len += 8 + ArmyCodec.size;
    if (!a->parts) continue;
    ListNode* pn = a->parts->first;
    for (uint32_t t = 0; t < a->parts->count && pn; t++, pn = pn->next) {
      ArmeeTyp* p = reinterpret_cast<ArmeeTyp*>(pn);
      len += 8 + ArmeeTypCodec.size +
             (uint64_t)(p->SaboteurListHeader ? p->SaboteurListHeader->count : 0) * (8 + SaboteurCodec.size);
    }
  }
  if (len > 0x7FFF0000u) return nullptr;
  uint8_t* c = AllocChunk("ARMY", "V001", (uint32_t)len);
  if (!c) {
    DebugLog("CovertArmyList2ArmyChunk: Konnte Speicher nicht allokieren...\n");
    return nullptr;
  }
  ChunkPut32(c, 12, armies->count);
  uint8_t* w = c + 16;
  n = armies->first;
  for (uint32_t i = 0; i < armies->count && n; i++, n = n->next) {
    Army* a = reinterpret_cast<Army*>(n);
    // The counts on disk are those of the lists, whatever the fields say.
    Army head = *a;
    head.ArmeeTypAnzahl = a->parts ? a->parts->count : 0;
    uint8_t* h = PutTagged(w, "ARHD", ArmyCodec.size);
    EncodeRecord(ArmyCodec, &head, h, ORDER_HOST);
    w = h + ArmyCodec.size;
    ListNode* pn = head.ArmeeTypAnzahl ? a->parts->first : nullptr;
    for (uint32_t t = 0; t < head.ArmeeTypAnzahl && pn; t++, pn = pn->next) {
      ArmeeTyp part = *reinterpret_cast<ArmeeTyp*>(pn);
      ListHeader* sabos = part.SaboteurListHeader;
      part.SaboteurAnzahl = sabos ? sabos->count : 0;
      uint8_t* e = PutTagged(w, "AREN", ArmeeTypCodec.size);
      EncodeRecord(ArmeeTypCodec, &part, e, ORDER_HOST);
      w = e + ArmeeTypCodec.size;
      ListNode* sn = part.SaboteurAnzahl ? sabos->first : nullptr;
      for (uint32_t s = 0; s < part.SaboteurAnzahl && sn; s++, sn = sn->next) {
        uint8_t* q = PutTagged(w, "SABO", SaboteurCodec.size);
        EncodeRecord(SaboteurCodec, sn, q, ORDER_HOST);
        w = q + SaboteurCodec.size;
      }
    }
  }
  return c;
}

uint32_t GetArmyTyp(const Army* army) {
  if (!army || !army->parts) return 0;
  // The kind comes from the part types; the level from any part's weapon
  // (artillery) or armour (infantry, cavalry).
  bool art = false, inf = false, cav = false;
  uint32_t weapon_level = 7, armour_level = 1;
  ListNode* n = army->parts->first;
  for (uint32_t i = 0; i < army->parts->count && n; i++, n = n->next) {
    const ArmeeTyp* p = reinterpret_cast<const ArmeeTyp*>(n);
    art |= p->Typ == 1;
    inf |= p->Typ == 2;
    cav |= p->Typ == 3;
    if (p->WaffeI == 12) weapon_level = 9;
    else if ((p->WaffeI == 10 || p->WaffeI == 11) && weapon_level < 8) weapon_level = 8;
    uint32_t r = p->Ruestung;
    if (r == 19 || r == 20 || r == 65 || r == 69) armour_level = 3;
    else if ((r == 16 || r == 17 || r == 18) && armour_level < 2) armour_level = 2;
  }
  if (art) return weapon_level;
  if (inf) return armour_level;
  if (cav) return 3 + armour_level;
  return 0;
}

uint32_t GetArmySoldatenAnzahl(ListHeader* armies, uint32_t armee_id) {
  if (!armies) return 0;
  ListNode* n = armies->first;
  for (uint32_t i = 0; i < armies->count && n; i++, n = n->next) {
    const Army* a = reinterpret_cast<const Army*>(n);
    if (a->ArmeeID != armee_id) continue;
    uint32_t men = 0;
    ListNode* pn = a->parts ? a->parts->first : nullptr;
    for (uint32_t t = 0; a->parts && t < a->parts->count && pn; t++, pn = pn->next)
      men += reinterpret_cast<const ArmeeTyp*>(pn)->Leute;
    return men;
  }
  return 0;
}

int32_t FindNodeByName(ListHeader* armies, const char* name) {
  if (!armies || !name) return 0;
  size_t len = strnlen(name, 20);
  ListNode* n = armies->first;
  for (uint32_t i = 0; i < armies->count && n; i++, n = n->next) {
    const Army* a = reinterpret_cast<const Army*>(n);
    if (strnlen(a->ArmyName, 20) == len && std::memcmp(a->ArmyName, name, len) == 0) return 1;
  }
  return 0;
}
