// Writes a checked realm as the server's chunks: each chunk is made in host
// order by the list writers or the codec tables of routinen/gamedata, swapped
// to disk order by SwapByteOrderInChunk, and the pool gets its INFO chunk
// with ChunkMask and checksum.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/codecs.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/memory.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace {

// A chunk (host order) as bytes; the chunk is freed.
Bytes ToBytes(uint8_t* chunk) {
  Bytes b;
  if (!chunk) return b;
  b.assign(chunk, chunk + 12 + ChunkLength(chunk));
  FreeChunk(chunk);
  return b;
}

// A list of the type filled with the records decoded at mem_base of each node.
ListHeader* ListOf(uint32_t type, const RecordCodec& codec, const std::vector<RealmRecord>& recs, uint32_t mem_base = 0) {
  RegisterGameDataListTypes();
  ListHeader* l = CreateList(type);
  if (!l) return nullptr;
  for (const RealmRecord& r : recs) {
    ListNode* n = AllocListNode(l);
    if (!n) {
      DeleteList(l, 0);
      return nullptr;
    }
    DecodeRecord(codec, r.raw.data(), ORDER_HOST, reinterpret_cast<uint8_t*>(n) + mem_base);
    AddNode(l, n, LN_TAIL, 0);
  }
  return l;
}

Bytes FromList(uint32_t type, const RecordCodec& codec, const std::vector<RealmRecord>& recs,
               uint8_t* (*make)(ListHeader*), uint32_t mem_base = 0) {
  ListHeader* l = ListOf(type, codec, recs, mem_base);
  Bytes b = l ? ToBytes(make(l)) : Bytes();
  DeleteList(l, 0);
  return b;
}

// A record chunk of raw host-order records (chunks without a list type).
Bytes RawRecords(const char* id, const char* version, const std::vector<RealmRecord>& recs, const Bytes* head) {
  const ChunkLayout& l = *ChunkLayoutOf(id);
  uint32_t rs = (uint32_t)(recs.empty() ? 0 : recs[0].raw.size());
  uint8_t* c = AllocChunk(id, version, (uint32_t)(l.rec_off - 12 + recs.size() * rs));
  if (!c) return Bytes();
  if (head) std::memcpy(c + 12, head->data() + 12, l.count_off - 12);
  if (l.count_width == 2) ChunkPut16(c, l.count_off, (uint16_t)recs.size());
  else ChunkPut32(c, l.count_off, (uint32_t)recs.size());
  for (size_t i = 0; i < recs.size(); i++) std::memcpy(c + l.rec_off + i * rs, recs[i].raw.data(), rs);
  return ToBytes(c);
}

Bytes ArmyChunk(const Realm& r) {
  RegisterGameDataListTypes();
  ListHeader* armies = CreateList(LIST_ARMIES);
  bool ok = armies != nullptr;
  for (const RealmArmy& a : r.armies) {
    if (!ok) break;
    Army* army = reinterpret_cast<Army*>(AllocListNode(armies));
    if (!army) { ok = false; break; }
    DecodeRecord(ArmyCodec, a.head.raw.data(), ORDER_HOST, army);
    AddNode(armies, &army->head, LN_TAIL, 0);
    army->parts = CreateList(LIST_ARMY_PARTS);
    if (!army->parts) { ok = false; break; }
    for (const RealmArmy::Part& p : a.parts) {
      ArmeeTyp* part = reinterpret_cast<ArmeeTyp*>(AllocListNode(army->parts));
      if (!part) { ok = false; break; }
      DecodeRecord(ArmeeTypCodec, p.raw.raw.data(), ORDER_HOST, part);
      AddNode(army->parts, &part->head, LN_TAIL, 0);
      if (p.saboteurs.empty()) continue;
      part->SaboteurListHeader = ListOf(LIST_SABOTEURS, SaboteurCodec, p.saboteurs);
      if (!part->SaboteurListHeader) { ok = false; break; }
    }
  }
  Bytes b = ok ? ToBytes(CovertArmyList2ArmyChunk(armies)) : Bytes();
  DeleteArmyList(armies);
  return b;
}

// The letters as a MAIL chunk of whole SMAL chunks (host order).
Bytes MailChunk(const Realm& r) {
  Bytes payload(4, 0);
  uint32_t n = (uint32_t)r.letters.size();
  std::memcpy(payload.data(), &n, 4);
  for (const RealmLetter& l : r.letters) {
    uint32_t tl = (uint32_t)l.text.size() + 1;
    uint8_t* s = AllocChunk("SMAL", "V001", SmalCodec.size - 12 + tl);
    if (!s) return Bytes();
    auto text = [&](const char* name, const std::string& v) {
      const CodecField* f = FindCodecField(SmalCodec, name);
      std::memcpy(s + f->off, v.data(), v.size() < f->count ? v.size() : f->count - 1);
    };
    auto num = [&](const char* name, uint32_t v) { PutCodecNumber(*FindCodecField(SmalCodec, name), s, 0, v, ORDER_HOST); };
    text("sender_name", l.sender_name);
    text("recipient_name", r.player_name);
    text("subject", l.subject);
    time_t t = (time_t)l.date;
    struct tm tm;
    gmtime_r(&t, &tm);
    char date[64];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900,
                  tm.tm_hour, tm.tm_min, tm.tm_sec);
    text("date_text", date);
    num("sender_id", l.sender_id);
    num("recipient_id", r.player_id);
    num("date", l.date);
    num("text_length", tl);
    std::memcpy(s + SmalCodec.size, l.text.data(), l.text.size());
    Bytes one = ToBytes(s);
    payload.insert(payload.end(), one.begin(), one.end());
  }
  uint8_t* c = AllocChunk("MAIL", "V001", (uint32_t)payload.size());
  if (!c) return Bytes();
  std::memcpy(c + 12, payload.data(), payload.size());
  return ToBytes(c);
}

// PMAP: u32 LE count, then the cells as the map part files hold them.
Bytes MapChunk(const Realm& r) {
  uint8_t* c = AllocChunk("PMAP", "V001", (uint32_t)(PMAP_CELLS - 12 + MAPTILE_SIZE * r.cells.size()));
  if (!c) return Bytes();
  PutLE32(c + PMAP_COUNT, (uint32_t)r.cells.size());
  size_t i = 0;
  for (const auto& kv : r.cells) std::memcpy(c + PMAP_CELLS + MAPTILE_SIZE * i++, kv.second.data(), MAPTILE_SIZE);
  return ToBytes(c);
}

// BMAP: every described hex is known; one knowledge part (u16 BE column,
// u16 BE row, 400 bytes of bits) per map part touched, behind a u32 BE count.
Bytes KnowledgeChunk(const Realm& r) {
  std::map<std::pair<uint32_t, uint32_t>, Bytes> parts;
  for (const auto& kv : r.cells) {
    uint32_t x = kv.first.first, y = kv.first.second;
    Bytes& p = parts[{y / 40, x / 80}];
    if (p.empty()) {
      p.assign(BMAP_PART_SIZE, 0);
      PutBE16(&p[0], (uint16_t)(x / 80));
      PutBE16(&p[2], (uint16_t)(y / 40));
    }
    uint32_t cx = x % 80, cy = y % 40;
    p[4 + cy * 10 + cx / 8] |= (uint8_t)(1u << (cx & 7));
  }
  uint8_t* c = AllocChunk("BMAP", "V001", (uint32_t)(BMAP_PARTS - 12 + BMAP_PART_SIZE * parts.size()));
  if (!c) return Bytes();
  PutBE32(c + BMAP_COUNT, (uint32_t)parts.size());
  size_t i = 0;
  for (const auto& kv : parts) std::memcpy(c + BMAP_PARTS + BMAP_PART_SIZE * i++, kv.second.data(), BMAP_PART_SIZE);
  return ToBytes(c);
}

const std::vector<RealmRecord>& Records(const Realm& r, const char* id) {
  static const std::vector<RealmRecord> kNone;
  auto it = r.records.find(id);
  return it == r.records.end() ? kNone : it->second;
}

// Disk image of a pool: INFO first, the others in ChunkIdTable order.
Bytes Pool(const Realm& r, std::vector<Bytes> chunks) {
  Bytes info = r.fixed.at("INFO");
  uint32_t mask = ChunkBit(CHUNK_INFO);
  for (const Bytes& c : chunks) {
    int32_t i = ChunkIndexOf(reinterpret_cast<const char*>(c.data()));
    if (i >= 0) mask |= 1u << i;
  }
  ChunkPut32(info.data(), INFO_CHUNK_MASK, mask);
  ChunkPut32(info.data(), INFO_CHECKSUM, 0);
  chunks.insert(chunks.begin(), info);
  Bytes image;
  for (Bytes& c : chunks) {
    if (c.empty() || !SwapByteOrderInChunk(c.data(), (uint32_t)c.size(), 0)) return Bytes();
    image.insert(image.end(), c.begin(), c.end());
  }
  PutBE32(image.data() + INFO_CHECKSUM, Crc32(image.data() + INFO_CHUNK_SIZE, (uint32_t)(image.size() - INFO_CHUNK_SIZE)));
  return image;
}

}  // namespace

Bytes BuildTurnPool(const Realm& r) {
  std::vector<Bytes> c;
  c.push_back(FromList(LIST_FIGURES, FigurRecordCodec, Records(r, "MOVE"), MakeFigurChunkFromList,
                       offsetof(MOVE_EXT, figure)));
  c.push_back(KnowledgeChunk(r));
  c.push_back(r.fixed.at("IMAP"));
  c.push_back(MapChunk(r));
  c.push_back(MailChunk(r));
  c.push_back(r.fixed.at("KORN"));
  c.push_back(r.fixed.at("LAND"));
  c.push_back(FromList(LIST_GOODS, WarenListenEntryCodec, Records(r, "WARE"), MakeWareChunkFromList));
  if (!Records(r, "BAUE").empty()) c.push_back(RawRecords("BAUE", "V001", Records(r, "BAUE"), nullptr));
  c.push_back(RawRecords("GEBA", "V001", Records(r, "GEBA"), &r.fixed.at("GEBA")));
  c.push_back(r.fixed.at("TAXE"));
  c.push_back(r.fixed.at("FORS"));
  c.push_back(RawRecords("TOWN", "V002", Records(r, "TOWN"), nullptr));
  c.push_back(ArmyChunk(r));
  c.push_back(FromList(LIST_PLAYERS, SpielerEintragCodec, Records(r, "ANTW"), MakeSpielerChunkFromList));
  c.push_back(RawRecords("KRIG", "V001", Records(r, "KRIG"), nullptr));
  c.push_back(FromList(LIST_CONTRACTS, VertragsEintragCodec, Records(r, "VERT"), MakeVertragChunkFromList));
  c.push_back(FromList(LIST_SHIPS, SchiffseintragCodec, Records(r, "SHIP"), MakeShipChunkFromList));
  c.push_back(FromList(LIST_SPECIALISTS, SpezialistEintragCodec, Records(r, "SPEZ"), MakeSpezialistenChunkFromList));
  c.push_back(FromList(LIST_HERBS, KrautEintragCodec, Records(r, "HERB"), MakeHerbChunkFromList));
  return Pool(r, c);
}

Bytes BuildSignupAnswer(const Realm& r) {
  if (!r.rejected) return BuildTurnPool(r);
  uint8_t* e = AllocChunk("EROR", "V001", (uint32_t)r.rejection.size());
  if (!e) return Bytes();
  std::memcpy(e + 12, r.rejection.data(), r.rejection.size());
  return Pool(r, {ToBytes(e)});
}

Bytes CutChunk(const Bytes& file, const char* id, uint32_t cut) {
  for (size_t pos = 0; pos + 12 <= file.size();) {
    const uint32_t len = GetBE32(file.data() + pos + 8);
    if (len > file.size() - pos - 12) break;
    if (std::memcmp(file.data() + pos, id, 4) != 0) {
      pos += 12 + len;
      continue;
    }
    if (len < cut) break;
    Bytes out(file);
    out.erase(out.begin() + (ptrdiff_t)(pos + 12 + len - cut), out.begin() + (ptrdiff_t)(pos + 12 + len));
    PutBE32(out.data() + pos + 8, len - cut);
    const size_t info = 12 + (size_t)GetBE32(out.data() + 8);  // the checksum covers what follows INFO
    if (!std::memcmp(out.data(), "INFO", 4) && info >= INFO_CHUNK_SIZE && info <= out.size())
      PutBE32(out.data() + INFO_CHECKSUM, Crc32(out.data() + info, (uint32_t)(out.size() - info)));
    return out;
  }
  return Bytes();
}

std::string BuildTurnMail(const Bytes& pool, const std::string& name, const std::string& recipient,
                          const std::string& date) {
  uint32_t size = 0;
  char* m = ComposeTurnMail("Quill of Elmor", "server@quill-of-elmor.invalid", recipient.c_str(), name.c_str(),
                            pool.data(), (uint32_t)pool.size(), &size);
  if (!m) return std::string();
  std::string mail(m, size);
  FreeVec(m);
  if (!date.empty() && mail.rfind("Date: ", 0) == 0) {
    size_t end = mail.find('\n');
    mail.replace(6, end - 6, date);
  }
  return mail;
}
