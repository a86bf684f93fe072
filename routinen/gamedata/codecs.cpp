// The codec tables of every record and fixed chunk part, the chunk layout
// table, and the walker that decodes, encodes and swaps by them. A field is
// written here once; docs/chunks.md mirrors these tables.
#include "codecs.h"

#include <cstddef>
#include <cstring>

#include "chunks_internal.h"
#include "entities.h"
#include "routinen/system/byteorder.h"

namespace {

#define N(a) (uint32_t)(sizeof(a) / sizeof(a[0]))
// A field with a memory member of record T.
#define M(T, member, off, type, count) \
  {#member, off, type, count, nullptr, (uint32_t)offsetof(T, member), (uint32_t)sizeof(T::member)}
// A nested record (count of them) with a memory member.
#define MR(T, member, off, sub, count) \
  {#member, off, CT_RECORD, count, &sub, (uint32_t)offsetof(T, member), (uint32_t)sizeof(T::member)}
// A field without a memory member (fixed chunk parts, records without a struct).
#define R(name, off, type, count) {name, off, type, count, nullptr, CODEC_NO_MEMBER, 0}
#define RR(name, off, sub, count) {name, off, CT_RECORD, count, &sub, CODEC_NO_MEMBER, 0}
#define CODEC(var, name, size, mem_size, fields) \
  extern const RecordCodec var;                  \
  const RecordCodec var = {name, size, mem_size, fields, N(fields)}

}  // namespace

// ---- shared ----
namespace {
const CodecField kFigur[] = {
    M(FigurRecord, owner, 0, CT_U32, 1),  M(FigurRecord, type, 4, CT_U16, 1),
    M(FigurRecord, number, 6, CT_U16, 1), M(FigurRecord, x, 8, CT_U32, 1),
    M(FigurRecord, y, 12, CT_U32, 1),     M(FigurRecord, state, 16, CT_U8, 1),
    M(FigurRecord, points, 17, CT_U8, 1),
};
}  // namespace
CODEC(FigurRecordCodec, "FigurRecord", 18, sizeof(FigurRecord), kFigur);

// ---- fixed chunk parts (offsets from the chunk start) ----
namespace {
const CodecField kInfo[] = {
    R("player_id", 12, CT_U32, 1), R("chunk_mask", 16, CT_U32, 1), R("checksum", 20, CT_U32, 1),
    R("reserved1", 24, CT_U32, 1), R("flags", 28, CT_U16, 1),      R("reserved2", 30, CT_U16, 1),
    R("reserved3", 32, CT_U16, 1), R("dice", 34, CT_BYTES, 4),     R("mac", 38, CT_BYTES, 6),
};
const CodecField kInit[] = {
    R("first_name", 12, CT_TEXT, 40),    R("last_name", 52, CT_TEXT, 40),
    R("street", 92, CT_TEXT, 80),        R("postcode", 172, CT_TEXT, 10),
    R("town", 182, CT_TEXT, 40),         R("country", 222, CT_TEXT, 40),
    R("phone", 262, CT_TEXT, 20),        R("player_name", 282, CT_TEXT, 40),
    R("email", 322, CT_TEXT, 40),        R("reserved1", 362, CT_BYTES, 4),
    R("remark", 366, CT_TEXT, 256),      R("reserved2", 622, CT_BYTES, 70),
    R("sent_time", 692, CT_U32, 1),      R("form_version", 696, CT_U16, 1),
    R("confirm_email", 698, CT_TEXT, 40), R("mobile", 738, CT_TEXT, 40),
    R("mac", 778, CT_BYTES, 6),
};
const CodecField kMref[] = {
    R("reserved1", 12, CT_U32, 1), R("reserved2", 16, CT_U32, 1),
    R("reserved3", 20, CT_U32, 1), R("reserved4", 24, CT_U32, 1),
};
const CodecField kSmal[] = {
    R("sender_name", SMAL_SENDER_NAME, CT_TEXT, 40), R("recipient_name", SMAL_RECIPIENT_NAME, CT_TEXT, 40),
    R("subject", SMAL_SUBJECT, CT_TEXT, 160),        R("date_text", SMAL_DATE_TEXT, CT_TEXT, 24),
    R("sender_id", SMAL_SENDER_ID, CT_U32, 1),       R("recipient_id", SMAL_RECIPIENT_ID, CT_U32, 1),
    R("date", SMAL_DATE, CT_U32, 1),                 R("text_length", SMAL_TEXT_LEN, CT_U32, 1),
};
const CodecField kKorn[] = {
    R("year", 12, CT_U32, 1),               R("quarter", 16, CT_U16, 1),
    R("seed_store", 18, CT_U32, 1),         R("granary_corn", 22, CT_U32, 1),
    R("food_corn", 26, CT_U32, 1),          R("granaries", 30, CT_U32, 1),
    R("mills", 34, CT_U16, 1),              R("largest_harvest", 36, CT_U32, 1),
    R("weather", 40, CT_I8, 1),             R("harvest_problem", 41, CT_U8, 1),
    R("granary_threshold1", 42, CT_U32, 1), R("granary_threshold2", 46, CT_U32, 1),
    R("trade_offices", 50, CT_U16, 1),      R("corn_rotted", 52, CT_U32, 1),
    R("corn_new_farmland", 56, CT_U32, 1),  R("corn_fishing", 60, CT_U32, 1),
};
const CodecField kLand[] = {
    R("reserved1", 12, CT_U8, 1),         R("reserved2", 13, CT_U8, 1),
    R("inhabitants", 14, CT_U32, 1),      R("immigrants", 18, CT_U32, 1),
    R("emigrants", 22, CT_U32, 1),        R("born", 26, CT_U32, 1),
    R("died", 30, CT_U32, 1),             R("treasury", 34, CT_U32, 1),
    R("plant_resources", 38, CT_U32, 1),  R("animal_resources", 42, CT_U32, 1),
    R("mineral_resources", 46, CT_U32, 1), R("plant_balance", 50, CT_I32, 1),
    R("animal_balance", 54, CT_I32, 1),   R("mineral_balance", 58, CT_I32, 1),
    R("faith", 62, CT_U32, 1),            R("killed", 66, CT_U32, 1),
    R("deserted", 70, CT_U32, 1),         R("acres", 74, CT_U32, 1),
    R("pirate_gold", 78, CT_I32, 1),      R("realm_points", 82, CT_U16, 1),
    R("reserved3", 84, CT_U16, 1),        R("scouts", 86, CT_U16, 1),
    R("settlers", 88, CT_U16, 1),         R("god", 90, CT_U8, 1),
    R("reserved4", 91, CT_U8, 1),         R("god_name", 92, CT_TEXT, 80),
};
const CodecField kTaxe[] = {
    R("base_tax_level", 12, CT_U32, 1),  R("judicial_setting", 16, CT_U16, 1),
    R("judicial_tax", 18, CT_U32, 1),    R("customs_rate", 22, CT_U32, 1),
    R("customs_tax", 26, CT_U32, 1),     R("plant_tax_rate", 30, CT_U16, 1),
    R("animal_tax_rate", 32, CT_U16, 1), R("mineral_tax_rate", 34, CT_U16, 1),
    R("resource_tax", 36, CT_U32, 1),    R("base_tax", 40, CT_U32, 1),
    R("reserved1", 44, CT_U32, 1),       R("church_rate", 48, CT_U32, 1),
    R("has_priests", 52, CT_U16, 1),     R("market_halls", 54, CT_U32, 1),
    R("goods_types", 58, CT_U32, 1),     R("seamen", 62, CT_U32, 1),
    R("tenth_rate", 66, CT_U16, 1),      R("tenth_applies", 68, CT_U32, 1),
    R("tenth_base", 72, CT_U32, 1),      R("tenth_amount", 76, CT_U32, 1),
    R("reserved2", 80, CT_U32, 1),
};
const CodecField kFors[] = {
    R("research", 12, CT_I8, 1),      R("researched", 13, CT_I8, 1),
    R("still_needed", 14, CT_I8, 1),  R("alchemy", 15, CT_I8, 1),
    R("astronomy", 16, CT_I8, 1),     R("art_of_battle", 17, CT_I8, 1),
    R("biology", 18, CT_I8, 1),       R("healing", 19, CT_I8, 1),
    R("technics", 20, CT_I8, 1),      R("theology", 21, CT_I8, 1),
    R("cost", 22, CT_U32, 1),         R("no_research", 26, CT_U16, 1),
};
const CodecField kGebaHead[] = {R("upkeep_total", 12, CT_U32, 1)};
}  // namespace
CODEC(InfoCodec, "INFO", INFO_CHUNK_SIZE, 0, kInfo);
CODEC(InitCodec, "INIT", 784, 0, kInit);
CODEC(MrefCodec, "MREF", 28, 0, kMref);
CODEC(SmalCodec, "SMAL", SMAL_TEXT, 0, kSmal);
CODEC(KornCodec, "KORN", 64, 0, kKorn);
CODEC(LandCodec, "LAND", 172, 0, kLand);
CODEC(TaxeCodec, "TAXE", 84, 0, kTaxe);
CODEC(ForsCodec, "FORS", 28, 0, kFors);
CODEC(GebaHeadCodec, "GEBA", 16, 0, kGebaHead);

// ---- records of record chunks ----
namespace {
const CodecField kWare[] = {
    M(WarenListenEntry, kind, 0, CT_U16, 1),          M(WarenListenEntry, owner, 2, CT_U32, 1),
    M(WarenListenEntry, goods, 6, CT_U32, 1),         M(WarenListenEntry, quantity, 10, CT_U32, 1),
    M(WarenListenEntry, price, 14, CT_U32, 1),        M(WarenListenEntry, ident, 18, CT_U32, 1),
    M(WarenListenEntry, buyer, 22, CT_U32, 1),        M(WarenListenEntry, bid_quantity, 26, CT_U32, 1),
    M(WarenListenEntry, bid_price, 30, CT_U32, 1),    M(WarenListenEntry, closing, 34, CT_U16, 1),
};
const CodecField kBau[] = {
    R("building", 0, CT_U16, 1),   R("year", 2, CT_U16, 1),   R("quarter", 4, CT_U16, 1),
    R("build_time", 6, CT_U16, 1), R("price", 8, CT_U32, 1),  R("upkeep", 12, CT_U16, 1),
    R("town", 14, CT_U16, 1),
};
const CodecField kTownV1[] = {
    R("town_id", 0, CT_U32, 1), R("name", 4, CT_TEXT, 80), R("x", 84, CT_U32, 1), R("y", 88, CT_U32, 1),
};
const CodecField kTown[] = {
    R("town_id", 0, CT_U32, 1),      R("name", 4, CT_TEXT, 80),    R("x", 84, CT_U32, 1),
    R("y", 88, CT_U32, 1),           R("inhabitants", 92, CT_U32, 1), R("flags", 96, CT_U32, 1),
    R("level", 100, CT_U32, 1),      R("reserved", 104, CT_U16, 1),
};
const CodecField kAnfr[] = {R("player_id", 0, CT_U32, 1)};
const CodecField kAntw[] = {M(SpielerEintrag, id, 0, CT_U32, 1), M(SpielerEintrag, name, 4, CT_TEXT, 80)};
const CodecField kKrig[] = {
    R("reserved1", 0, CT_U32, 1),          RR("attacker", 4, FigurRecordCodec, 1),
    RR("target", 22, FigurRecordCodec, 1), R("kind", 40, CT_U32, 1),
    R("attacker_class", 44, CT_U16, 1),    R("target_class", 46, CT_U16, 1),
    R("attacker_damage", 48, CT_U16, 1),   R("target_damage", 50, CT_U16, 1),
    R("attacker_dead", 52, CT_U32, 1),     R("target_dead", 56, CT_U32, 1),
    R("attacker_survivors", 60, CT_U32, 1), R("target_survivors", 64, CT_U32, 1),
    R("reserved2", 68, CT_U32, 1),
};
const CodecField kVert[] = {
    M(VertragsEintrag, kind, 0, CT_U16, 1),      M(VertragsEintrag, sender, 2, CT_U32, 1),
    M(VertragsEintrag, receiver, 6, CT_U32, 1),  M(VertragsEintrag, goods, 10, CT_U32, 1),
    M(VertragsEintrag, time, 14, CT_U32, 1),     M(VertragsEintrag, reserved, 18, CT_U16, 1),
    M(VertragsEintrag, duration, 20, CT_U16, 1), M(VertragsEintrag, amount, 22, CT_U32, 1),
    M(VertragsEintrag, price, 26, CT_U32, 1),    M(VertragsEintrag, closing, 30, CT_U16, 1),
};
const CodecField kShip[] = {
    M(Schiffseintrag, ship_id, 0, CT_U16, 1),    M(Schiffseintrag, damage, 2, CT_U16, 1),
    M(Schiffseintrag, ship_class, 4, CT_U16, 1), M(Schiffseintrag, x, 6, CT_U32, 1),
    M(Schiffseintrag, y, 10, CT_U32, 1),         MR(Schiffseintrag, cargo, 14, FigurRecordCodec, 3),
};
const CodecField kSpez[] = {
    M(SpezialistEintrag, name, 0, CT_TEXT, 80),      M(SpezialistEintrag, figure, 80, CT_U32, 1),
    M(SpezialistEintrag, x, 84, CT_U32, 1),          M(SpezialistEintrag, y, 88, CT_U32, 1),
    M(SpezialistEintrag, state, 92, CT_U16, 1),      M(SpezialistEintrag, type, 94, CT_U8, 1),
    M(SpezialistEintrag, detail1, 95, CT_U8, 1),     M(SpezialistEintrag, detail2, 96, CT_U8, 1),
    M(SpezialistEintrag, reserved1, 97, CT_U8, 1),   M(SpezialistEintrag, attributes, 98, CT_BYTES, 6),
    M(SpezialistEintrag, reserved2, 104, CT_U16, 1), M(SpezialistEintrag, wage, 106, CT_U32, 1),
    M(SpezialistEintrag, owner, 110, CT_U32, 1),     M(SpezialistEintrag, reserved3, 114, CT_BYTES, 80),
};
const CodecField kHerb[] = {
    M(KrautEintrag, x, 0, CT_U32, 1), M(KrautEintrag, y, 4, CT_U32, 1), M(KrautEintrag, herb, 8, CT_U8, 1),
    M(KrautEintrag, found, 9, CT_U8, 1), M(KrautEintrag, amount, 10, CT_U16, 1),
};
const CodecField kArhd[] = {
    M(Army, X, 0, CT_U32, 1),        M(Army, Y, 4, CT_U32, 1),
    M(Army, Besitzer, 8, CT_U32, 1), M(Army, Aktion, 12, CT_U32, 1),
    M(Army, Glaube, 16, CT_U32, 1),  M(Army, ArmeeID, 20, CT_U32, 1),
    M(Army, ArmeeTypAnzahl, 24, CT_U32, 1), M(Army, Training, 28, CT_U32, 1),
    M(Army, ArmyName, 32, CT_TEXT, 20),
};
const CodecField kAren[] = {
    M(ArmeeTyp, Typ, 0, CT_U32, 1),       M(ArmeeTyp, Erfahrung, 4, CT_U32, 1),
    M(ArmeeTyp, WaffeI, 8, CT_U32, 1),    M(ArmeeTyp, WaffeII, 12, CT_U32, 1),
    M(ArmeeTyp, Ruestung, 16, CT_U32, 1), M(ArmeeTyp, Schild, 20, CT_U32, 1),
    M(ArmeeTyp, Helm, 24, CT_U32, 1),     M(ArmeeTyp, Erschoepfung, 28, CT_U32, 1),
    M(ArmeeTyp, RuestungsKlasse, 32, CT_U32, 1), M(ArmeeTyp, Leute, 36, CT_U32, 1),
    M(ArmeeTyp, SaboteurAnzahl, 40, CT_U32, 1),
};
const CodecField kSabo[] = {M(Saboteur, owner, 0, CT_U32, 1), M(Saboteur, men, 4, CT_U32, 1)};
}  // namespace
CODEC(WarenListenEntryCodec, "WarenListenEntry", 36, sizeof(WarenListenEntry), kWare);
CODEC(BaustellenDataCodec, "BaustellenData", 16, 0, kBau);
CODEC(TownRecordV1Codec, "TownRecordV1", 92, 0, kTownV1);
CODEC(TownRecordCodec, "TownRecord", 106, 0, kTown);
CODEC(PlayerRequestCodec, "PlayerRequest", 4, 0, kAnfr);
CODEC(SpielerEintragCodec, "SpielerEintrag", 84, sizeof(SpielerEintrag), kAntw);
CODEC(KriegsEintragCodec, "KriegsEintrag", 72, 0, kKrig);
CODEC(VertragsEintragCodec, "VertragsEintrag", 32, sizeof(VertragsEintrag), kVert);
CODEC(SchiffseintragCodec, "Schiffseintrag", 68, sizeof(Schiffseintrag), kShip);
CODEC(SpezialistEintragCodec, "SpezialistEintrag", 194, sizeof(SpezialistEintrag), kSpez);
CODEC(KrautEintragCodec, "KrautEintrag", 12, sizeof(KrautEintrag), kHerb);
CODEC(ArmyCodec, "Army", 52, sizeof(Army), kArhd);
CODEC(ArmeeTypCodec, "ArmeeTyp", 44, sizeof(ArmeeTyp), kAren);
CODEC(SaboteurCodec, "Saboteur", SABO_SIZE, sizeof(Saboteur), kSabo);

// ---- side files (big-endian runs of records) ----
namespace {
const CodecField kAddOn[] = {
    M(ShipAddOn, name, 0, CT_TEXT, 80), M(ShipAddOn, ship_id, 80, CT_U16, 1),
    M(ShipAddOn, repair, 82, CT_U16, 1), M(ShipAddOn, reserved, 84, CT_U32, 3),
};
const CodecField kMapName[] = {
    M(MapNameEintrag, x, 0, CT_U16, 1), M(MapNameEintrag, y, 2, CT_U16, 1),
    M(MapNameEintrag, name, 4, CT_TEXT, 80), M(MapNameEintrag, reserved, 84, CT_U32, 1),
};
const CodecField kCult[] = {
    M(MapCultEintrag, x, 0, CT_U16, 1),              M(MapCultEintrag, y, 2, CT_U16, 1),
    M(MapCultEintrag, harvest_workers, 4, CT_U16, 1), M(MapCultEintrag, harvest, 6, CT_U32, 11),
    M(MapCultEintrag, wood_workers, 50, CT_U16, 1),   M(MapCultEintrag, wood, 52, CT_U16, 11),
    M(MapCultEintrag, stone_workers, 74, CT_U16, 1),  M(MapCultEintrag, stone, 76, CT_U16, 11),
};
}  // namespace
CODEC(ShipAddOnCodec, "ShipAddOn", 96, sizeof(ShipAddOn), kAddOn);
CODEC(MapNameEintragCodec, "MapNameEintrag", 88, sizeof(MapNameEintrag), kMapName);
CODEC(MapCultEintragCodec, "MapCultEintrag", 98, sizeof(MapCultEintrag), kCult);

const RecordCodec* const AllRecordCodecs[] = {
    &FigurRecordCodec, &InfoCodec, &InitCodec, &MrefCodec, &KornCodec, &LandCodec, &ForsCodec,
    &TaxeCodec, &GebaHeadCodec, &WarenListenEntryCodec, &BaustellenDataCodec, &TownRecordV1Codec,
    &TownRecordCodec, &PlayerRequestCodec, &SpielerEintragCodec, &KriegsEintragCodec,
    &VertragsEintragCodec, &SchiffseintragCodec, &SpezialistEintragCodec, &KrautEintragCodec,
    &ArmyCodec, &ArmeeTypCodec, &SaboteurCodec, &SmalCodec, &ShipAddOnCodec, &MapNameEintragCodec,
    &MapCultEintragCodec,
};
const uint32_t AllRecordCodecCount = N(AllRecordCodecs);

const ChunkLayout ChunkLayouts[CHUNK_TYPES] = {
    {"INIT", CK_FIXED, &InitCodec, 784, 0, 0, 0, nullptr, nullptr},
    {"INFO", CK_FIXED, &InfoCodec, INFO_CHUNK_SIZE, 0, 0, 0, nullptr, nullptr},
    {"MOVE", CK_RECORDS, nullptr, 14, 12, 2, 14, &FigurRecordCodec, nullptr},
    {"BMAP", CK_BYTES, nullptr, 12, 0, 0, 0, nullptr, nullptr},
    {"IMAP", CK_BYTES, nullptr, 12, 0, 0, 0, nullptr, nullptr},
    {"PMAP", CK_BYTES, nullptr, 12, 0, 0, 0, nullptr, nullptr},
    {"MREF", CK_FIXED, &MrefCodec, 28, 0, 0, 0, nullptr, nullptr},
    {"PREF", CK_BYTES, nullptr, 12, 0, 0, 0, nullptr, nullptr},
    {"EROR", CK_BYTES, nullptr, 12, 0, 0, 0, nullptr, nullptr},
    {"MAIL", CK_MAIL, nullptr, 16, 12, 4, 16, nullptr, nullptr},
    {"SMAL", CK_SMAL, &SmalCodec, SMAL_TEXT, 0, 0, 0, nullptr, nullptr},
    {"PPRF", CK_WORDS32, nullptr, 12, 0, 0, 0, nullptr, nullptr},
    {"KORN", CK_FIXED, &KornCodec, 64, 0, 0, 0, nullptr, nullptr},
    {"LAND", CK_FIXED, &LandCodec, 172, 0, 0, 0, nullptr, nullptr},
    {"WARE", CK_RECORDS, nullptr, 14, 12, 2, 14, &WarenListenEntryCodec, nullptr},
    {"BAUE", CK_RECORDS, nullptr, 14, 12, 2, 14, &BaustellenDataCodec, nullptr},
    {"GEBA", CK_RECORDS, &GebaHeadCodec, 18, 16, 2, 18, &BaustellenDataCodec, nullptr},
    {"TAXE", CK_FIXED, &TaxeCodec, 84, 0, 0, 0, nullptr, nullptr},
    {"FORS", CK_FIXED, &ForsCodec, 28, 0, 0, 0, nullptr, nullptr},
    {"TOWN", CK_RECORDS, nullptr, 14, 12, 2, 14, &TownRecordCodec, &TownRecordV1Codec},
    {"ARMY", CK_ARMY, nullptr, 16, 12, 4, 16, nullptr, nullptr},
    {"ANFR", CK_RECORDS, nullptr, 16, 12, 4, 16, &PlayerRequestCodec, nullptr},
    {"ANTW", CK_RECORDS, nullptr, 16, 12, 4, 16, &SpielerEintragCodec, nullptr},
    {"KRIG", CK_RECORDS, nullptr, 16, 12, 4, 16, &KriegsEintragCodec, nullptr},
    {"VERT", CK_RECORDS, nullptr, 16, 12, 4, 16, &VertragsEintragCodec, nullptr},
    {"SHIP", CK_RECORDS, nullptr, 16, 12, 4, 16, &SchiffseintragCodec, nullptr},
    {"SPEZ", CK_RECORDS, nullptr, 16, 12, 4, 16, &SpezialistEintragCodec, nullptr},
    {"HERB", CK_RECORDS, nullptr, 16, 12, 4, 16, &KrautEintragCodec, nullptr},
};

const ChunkLayout* ChunkLayoutOf(const char* id) {
  int32_t i = ChunkIndexOf(id);
  return i < 0 ? nullptr : &ChunkLayouts[i];
}

const RecordCodec* ChunkRecordCodec(const ChunkLayout& l, const void* chunk) {
  if (l.rec_v1 && chunk && std::memcmp(static_cast<const uint8_t*>(chunk) + 4, "V001", 4) == 0)
    return l.rec_v1;
  return l.rec;
}

const RecordCodec* FindRecordCodec(const char* name) {
  if (!name) return nullptr;
  for (uint32_t i = 0; i < AllRecordCodecCount; i++)
    if (std::strcmp(AllRecordCodecs[i]->name, name) == 0) return AllRecordCodecs[i];
  return nullptr;
}

const CodecField* FindCodecField(const RecordCodec& c, const char* name) {
  if (!name) return nullptr;
  for (uint32_t i = 0; i < c.nfields; i++)
    if (std::strcmp(c.fields[i].name, name) == 0) return &c.fields[i];
  return nullptr;
}

// ---- the walker ----

uint32_t GetCodecNumber(const CodecField& f, const uint8_t* rec, uint32_t k, CodecOrder order) {
  uint32_t w = CodecElementSize(f);
  const uint8_t* p = rec + f.off + k * w;
  uint32_t v = 0;
  if (w == 1) {
    v = f.type == CT_I8 ? (uint32_t)(int32_t)(int8_t)p[0] : p[0];
  } else if (w == 2) {
    uint16_t h;
    if (order == ORDER_BIG) h = GetBE16(p);
    else std::memcpy(&h, p, 2);
    v = f.type == CT_I16 ? (uint32_t)(int32_t)(int16_t)h : h;
  } else {
    if (order == ORDER_BIG) v = GetBE32(p);
    else std::memcpy(&v, p, 4);
  }
  return v;
}

void PutCodecNumber(const CodecField& f, uint8_t* rec, uint32_t k, uint32_t v, CodecOrder order) {
  uint32_t w = CodecElementSize(f);
  uint8_t* p = rec + f.off + k * w;
  if (w == 1) {
    p[0] = (uint8_t)v;
  } else if (w == 2) {
    uint16_t h = (uint16_t)v;
    if (order == ORDER_BIG) PutBE16(p, h);
    else std::memcpy(p, &h, 2);
  } else {
    if (order == ORDER_BIG) PutBE32(p, v);
    else std::memcpy(p, &v, 4);
  }
}

uint32_t CodecElementSize(const CodecField& f) {
  switch (f.type) {
    case CT_U16: case CT_I16: return 2;
    case CT_U32: case CT_I32: return 4;
    case CT_RECORD: return f.sub ? f.sub->size : 0;
    default: return 1;
  }
}

uint32_t CodecFieldSize(const CodecField& f) { return CodecElementSize(f) * f.count; }

namespace {

void GetNumber(const uint8_t* src, uint32_t width, CodecOrder order, uint8_t* dst) {
  if (order == ORDER_HOST || width == 1) {
    std::memcpy(dst, src, width);
  } else if (width == 2) {
    uint16_t v = GetBE16(src);
    std::memcpy(dst, &v, 2);
  } else {
    uint32_t v = GetBE32(src);
    std::memcpy(dst, &v, 4);
  }
}

void PutNumber(const uint8_t* src, uint32_t width, CodecOrder order, uint8_t* dst) {
  if (order == ORDER_HOST || width == 1) {
    std::memcpy(dst, src, width);
  } else if (width == 2) {
    uint16_t v;
    std::memcpy(&v, src, 2);
    PutBE16(dst, v);
  } else {
    uint32_t v;
    std::memcpy(&v, src, 4);
    PutBE32(dst, v);
  }
}

}  // namespace

void DecodeRecord(const RecordCodec& c, const uint8_t* src, CodecOrder order, void* rec) {
  uint8_t* base = static_cast<uint8_t*>(rec);
  for (uint32_t i = 0; i < c.nfields; i++) {
    const CodecField& f = c.fields[i];
    if (f.mem == CODEC_NO_MEMBER) continue;
    const uint8_t* s = src + f.off;
    uint8_t* m = base + f.mem;
    switch (f.type) {
      case CT_TEXT:
        std::memcpy(m, s, f.count);
        m[f.count - 1] = 0;
        break;
      case CT_BYTES:
        std::memcpy(m, s, f.count);
        break;
      case CT_RECORD:
        for (uint32_t k = 0; k < f.count; k++)
          DecodeRecord(*f.sub, s + k * f.sub->size, order, m + k * f.sub->mem_size);
        break;
      default: {
        uint32_t w = CodecElementSize(f);
        for (uint32_t k = 0; k < f.count; k++) GetNumber(s + k * w, w, order, m + k * w);
      }
    }
  }
}

void EncodeRecord(const RecordCodec& c, const void* rec, uint8_t* dst, CodecOrder order) {
  const uint8_t* base = static_cast<const uint8_t*>(rec);
  std::memset(dst, 0, c.size);
  for (uint32_t i = 0; i < c.nfields; i++) {
    const CodecField& f = c.fields[i];
    if (f.mem == CODEC_NO_MEMBER) continue;
    uint8_t* d = dst + f.off;
    const uint8_t* m = base + f.mem;
    switch (f.type) {
      case CT_TEXT:  // zero-padded; the last byte always ends the text
        std::memcpy(d, m, strnlen(reinterpret_cast<const char*>(m), f.count - 1));
        break;
      case CT_BYTES:
        std::memcpy(d, m, f.count);
        break;
      case CT_RECORD:
        for (uint32_t k = 0; k < f.count; k++)
          EncodeRecord(*f.sub, m + k * f.sub->mem_size, d + k * f.sub->size, order);
        break;
      default: {
        uint32_t w = CodecElementSize(f);
        for (uint32_t k = 0; k < f.count; k++) PutNumber(m + k * w, w, order, d + k * w);
      }
    }
  }
}

void SwapRecord(const RecordCodec& c, uint8_t* p, bool to_host) {
  for (uint32_t i = 0; i < c.nfields; i++) {
    const CodecField& f = c.fields[i];
    uint8_t* q = p + f.off;
    if (f.type == CT_RECORD) {
      for (uint32_t k = 0; k < f.count; k++) SwapRecord(*f.sub, q + k * f.sub->size, to_host);
      continue;
    }
    uint32_t w = CodecElementSize(f);
    if (f.type == CT_TEXT || f.type == CT_BYTES || w == 1) continue;
    for (uint32_t k = 0; k < f.count; k++, q += w) {
      uint8_t tmp[4];
      if (to_host) {
        GetNumber(q, w, ORDER_BIG, tmp);
        std::memcpy(q, tmp, w);
      } else {
        std::memcpy(tmp, q, w);
        PutNumber(tmp, w, ORDER_BIG, q);
      }
    }
  }
}
