#include "tools/turnbuilder/turnbuilder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/codecs.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/test_support.h"

namespace {

const char* const kPool = ".\\Data\\POP3In\\GameChunk.qoe";

std::string Fixture(const char* name) { return qoe_test::SourceDir() + "/tools/turnbuilder/realms/" + name; }

Realm LoadFixture(const char* name) {
  Realm r;
  std::string err;
  EXPECT_TRUE(LoadRealmFile(Fixture(name), &r, &err)) << err;
  return r;
}

// Writes the pool where the client reads its received turn.
void Install(const Bytes& pool) {
  mkdir("Data", 0755);
  mkdir("Data/POP3In", 0755);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", pool));
}

const std::vector<RealmRecord>& Recs(const Realm& r, const char* id) {
  static const std::vector<RealmRecord> kNone;
  auto it = r.records.find(id);
  return it == r.records.end() ? kNone : it->second;
}

// The scanned list's nodes, encoded back by the codec, equal the
// description's records.
void ExpectListEquals(ListHeader* l, const RecordCodec& codec, const std::vector<RealmRecord>& want,
                      uint32_t mem_base = 0) {
  ASSERT_EQ(l->count, want.size()) << codec.name;
  ListNode* n = l->first;
  for (size_t i = 0; i < want.size(); i++, n = n->next) {
    Bytes got(codec.size);
    EncodeRecord(codec, reinterpret_cast<uint8_t*>(n) + mem_base, got.data(), ORDER_HOST);
    EXPECT_EQ(got, want[i].raw) << codec.name << " record " << i << " (line " << want[i].line << ")";
  }
}

// A record chunk's records equal the description's raw records.
void ExpectRawEquals(const char* id, const std::vector<RealmRecord>& want) {
  uint8_t* c = LoadChunk2Mem(id, kPool);
  ASSERT_NE(c, nullptr) << id;
  const ChunkLayout& l = *ChunkLayoutOf(id);
  const RecordCodec& codec = *ChunkRecordCodec(l, c);
  uint32_t n = l.count_width == 2 ? ChunkGet16(c, l.count_off) : ChunkGet32(c, l.count_off);
  ASSERT_EQ(n, want.size()) << id;
  ASSERT_EQ(ChunkLength(c), l.rec_off - 12 + n * codec.size) << id;
  for (uint32_t i = 0; i < n; i++)
    EXPECT_EQ(0, std::memcmp(c + l.rec_off + i * codec.size, want[i].raw.data(), codec.size)) << id << " " << i;
  FreeChunk(c);
}

template <class F>
void WithList(uint32_t type, const char* id, int32_t (*scan)(ListHeader*, const void*), F check) {
  uint8_t* c = LoadChunk2Mem(id, kPool);
  ASSERT_NE(c, nullptr) << id;
  ListHeader* l = CreateList(type);
  ASSERT_EQ(scan(l, c), 1) << id;
  check(l);
  DeleteList(l, 0);
  FreeChunk(c);
}

// Description -> pool -> the client's readers -> the description's values.
void ExpectPoolHoldsRealm(const Realm& r) {
  Bytes pool = BuildTurnPool(r);
  ASSERT_FALSE(pool.empty());
  EXPECT_EQ(VerifyChunkPool(pool.data(), (uint32_t)pool.size()), 1);
  ASSERT_NO_FATAL_FAILURE(Install(pool));
  RegisterGameDataListTypes();
  ChunkMask sent = 0;  // every type the server sends but the orders (BAUE)
  for (ChunkIndex i : {CHUNK_INFO, CHUNK_MOVE, CHUNK_BMAP, CHUNK_IMAP, CHUNK_PMAP, CHUNK_MAIL, CHUNK_KORN, CHUNK_LAND,
                       CHUNK_WARE, CHUNK_GEBA, CHUNK_TAXE, CHUNK_FORS, CHUNK_TOWN, CHUNK_ARMY, CHUNK_ANTW, CHUNK_KRIG,
                       CHUNK_VERT, CHUNK_SHIP, CHUNK_SPEZ, CHUNK_HERB})
    sent |= ChunkBit(i);
  EXPECT_EQ(IsChunkInFile(sent, kPool), 1);

  uint8_t* info = LoadChunk2Mem("INFO", kPool);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(ChunkGet32(info, INFO_PLAYER_ID), r.player_id);
  EXPECT_EQ(0, std::memcmp(info + INFO_DICE, r.fixed.at("INFO").data() + INFO_DICE, 4));
  FreeChunk(info);
  for (const char* id : {"KORN", "LAND", "TAXE", "FORS", "IMAP"}) {  // IMAP: a byte chunk
    uint8_t* c = LoadChunk2Mem(id, kPool);
    ASSERT_NE(c, nullptr) << id;
    EXPECT_EQ(Bytes(c, c + 12 + ChunkLength(c)), r.fixed.at(id)) << id;
    FreeChunk(c);
  }

  WithList(LIST_FIGURES, "MOVE", ScanFigur2List,
           [&](ListHeader* l) { ExpectListEquals(l, FigurRecordCodec, Recs(r, "MOVE"), offsetof(MOVE_EXT, figure)); });
  WithList(LIST_SHIPS, "SHIP", ScanShip2List, [&](ListHeader* l) { ExpectListEquals(l, SchiffseintragCodec, Recs(r, "SHIP")); });
  WithList(LIST_GOODS, "WARE", ScanWare2List, [&](ListHeader* l) { ExpectListEquals(l, WarenListenEntryCodec, Recs(r, "WARE")); });
  WithList(LIST_CONTRACTS, "VERT", ScanVertrag2List, [&](ListHeader* l) { ExpectListEquals(l, VertragsEintragCodec, Recs(r, "VERT")); });
  WithList(LIST_SPECIALISTS, "SPEZ", ScanSpezialisten2List,
           [&](ListHeader* l) { ExpectListEquals(l, SpezialistEintragCodec, Recs(r, "SPEZ")); });
  WithList(LIST_HERBS, "HERB", ScanHerb2List, [&](ListHeader* l) { ExpectListEquals(l, KrautEintragCodec, Recs(r, "HERB")); });
  WithList(LIST_PLAYERS, "ANTW", ScanSpieler2List, [&](ListHeader* l) { ExpectListEquals(l, SpielerEintragCodec, Recs(r, "ANTW")); });
  for (const char* id : {"TOWN", "GEBA", "KRIG"}) ExpectRawEquals(id, Recs(r, id));
  if (!Recs(r, "BAUE").empty()) ExpectRawEquals("BAUE", Recs(r, "BAUE"));

  // Armies with their parts and saboteurs; the counts come from the lists.
  uint8_t* army = LoadChunk2Mem("ARMY", kPool);
  ASSERT_NE(army, nullptr);
  ListHeader* armies = ScanArmy2List(army);
  ASSERT_NE(armies, nullptr);
  ASSERT_EQ(armies->count, r.armies.size());
  ListNode* n = armies->first;
  for (const RealmArmy& want : r.armies) {
    Army* a = reinterpret_cast<Army*>(n);
    RealmRecord head = want.head;
    PutCodecNumber(*FindCodecField(ArmyCodec, "ArmeeTypAnzahl"), head.raw.data(), 0, (uint32_t)want.parts.size(), ORDER_HOST);
    std::vector<RealmRecord> parts;
    for (const RealmArmy::Part& p : want.parts) {
      parts.push_back(p.raw);
      PutCodecNumber(*FindCodecField(ArmeeTypCodec, "SaboteurAnzahl"), parts.back().raw.data(), 0,
                     (uint32_t)p.saboteurs.size(), ORDER_HOST);
    }
    ExpectListEquals(a->parts, ArmeeTypCodec, parts);
    ListNode* pn = a->parts->first;
    for (const RealmArmy::Part& p : want.parts) {
      ArmeeTyp* part = reinterpret_cast<ArmeeTyp*>(pn);
      if (p.saboteurs.empty()) EXPECT_EQ(part->SaboteurListHeader, nullptr);
      else ExpectListEquals(part->SaboteurListHeader, SaboteurCodec, p.saboteurs);
      pn = pn->next;
    }
    Bytes got(ArmyCodec.size);
    EncodeRecord(ArmyCodec, a, got.data(), ORDER_HOST);
    EXPECT_EQ(got, head.raw) << "army line " << want.head.line;
    n = n->next;
  }
  DeleteArmyList(armies);
  FreeChunk(army);

  // Map cells, knowledge of every described hex, letters.
  uint8_t* pmap = LoadChunk2Mem("PMAP", kPool);
  ASSERT_NE(pmap, nullptr);
  ASSERT_EQ(ChunkLength(pmap), PMAP_CELLS - 12 + MAPTILE_SIZE * r.cells.size());
  EXPECT_EQ(GetLE32(pmap + PMAP_COUNT), r.cells.size());
  size_t i = 0;
  for (const auto& kv : r.cells) EXPECT_EQ(0, std::memcmp(pmap + PMAP_CELLS + MAPTILE_SIZE * i++, kv.second.data(), MAPTILE_SIZE));
  FreeChunk(pmap);
  uint8_t* bmap = LoadChunk2Mem("BMAP", kPool);
  ASSERT_NE(bmap, nullptr);
  uint32_t known = 0;
  ASSERT_EQ(ChunkLength(bmap), BMAP_PARTS - 12 + BMAP_PART_SIZE * GetBE32(bmap + BMAP_COUNT));
  for (uint32_t p = 0; p < GetBE32(bmap + BMAP_COUNT); p++)
    for (uint32_t b = 0; b < 400; b++) known += __builtin_popcount(bmap[BMAP_PARTS + BMAP_PART_SIZE * p + 4 + b]);
  EXPECT_EQ(known, r.cells.size());
  FreeChunk(bmap);
  uint8_t* mail = LoadChunk2Mem("MAIL", kPool);
  ASSERT_NE(mail, nullptr);
  ASSERT_EQ(ChunkGet32(mail, 12), r.letters.size());
  uint32_t at = 16;
  for (const RealmLetter& l : r.letters) {
    EXPECT_EQ(std::string(reinterpret_cast<char*>(mail + at + 92)), l.subject);
    EXPECT_EQ(ChunkGet32(mail, at + 276), l.sender_id);
    EXPECT_EQ(ChunkGet32(mail, at + 280), r.player_id);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(mail + at + 292)), l.text);
    at += 12 + ChunkLength(mail + at);
  }
  FreeChunk(mail);
}

}  // namespace

TEST(TurnBuilder, FixturesLoadThroughTheClientsReaders) {
  for (const char* name : {"first_turn.realm", "grown.realm", "demo.realm"}) {
    SCOPED_TRACE(name);
    Realm r = LoadFixture(name);
    ASSERT_NO_FATAL_FAILURE(ExpectPoolHoldsRealm(r));
  }
}

TEST(TurnBuilder, SignupAnswerAndRejection) {
  Realm r = LoadFixture("first_turn.realm");
  ASSERT_NO_FATAL_FAILURE(Install(BuildSignupAnswer(r)));
  // What the sign-up screen tests before GameInit: BMAP, IMAP and PMAP.
  EXPECT_EQ(IsChunkInFile(0x38, kPool), 1);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_EROR), kPool), 0);

  std::string err;
  ASSERT_TRUE(ParseRealm("player id=5 name=\"Olaf\"\nturn year=1 quarter=0\nreject text=\"Der Name ist vergeben.\"\n",
                         "refused.realm", &r, &err))
      << err;
  Bytes pool = BuildSignupAnswer(r);
  EXPECT_EQ(VerifyChunkPool(pool.data(), (uint32_t)pool.size()), 1);
  ASSERT_NO_FATAL_FAILURE(Install(pool));
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_INFO) | ChunkBit(CHUNK_EROR), kPool), 1);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_PMAP), kPool), 0);
  uint8_t* e = LoadChunk2Mem("EROR", kPool);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(e + 12), ChunkLength(e)), "Der Name ist vergeben.");
  FreeChunk(e);
}

TEST(TurnBuilder, TurnMailDecodesToThePool) {
  Realm r = LoadFixture("grown.realm");
  Bytes pool = BuildTurnPool(r);
  char name[MAIL_NAME_SIZE];
  TurnMailName(r.player_id, name);
  std::string mail = BuildTurnMail(pool, name, "harald@example.org", "Tue, 01 Dec 2026 10:00:00 +0000");
  ASSERT_FALSE(mail.empty());
  EXPECT_EQ(mail.rfind("Date: Tue, 01 Dec 2026 10:00:00 +0000\n", 0), 0u);
  EXPECT_NE(mail.find("Subject: Quill of Elmor 00001001\n"), std::string::npos);
  mkdir("Data", 0755);
  mkdir("Data/POP3In", 0755);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/00001001.email", Bytes(mail.begin(), mail.end())));
  ListHeader* l = CreateList(LIST_TURN_MAILS);
  ASSERT_EQ(ScanEmails2List(l, ".\\Data\\POP3In", "00001001.email"), 1u);
  DeleteList(l, 1);
  ASSERT_EQ(DecrunchOneEmail(mail.data(), (uint32_t)mail.size(), kPool), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), pool);
}

TEST(TurnBuilder, ChangeListMakesTheFollowUpTurn) {
  Realm r = LoadFixture("grown.realm");
  size_t goods = r.records["WARE"].size(), figures = r.records["MOVE"].size();
  std::string err;
  ASSERT_TRUE(ParseRealm("turn year=1003 quarter=3\n"
                         "land treasury=48977\n"  // 48250 + the quarter's income - its expenses
                         "figure type=0 number=1 x=6405 y=3199 points=8\n"
                         "remove what=\"goods\" ident=1003\n"
                         "letter from=2002 sender=\"Gunhild\" subject=\"Neu\" text=\"Hallo\"\n",
                         "next.changes", &r, &err, true))
      << err;
  EXPECT_EQ(r.records["WARE"].size(), goods - 1);
  EXPECT_EQ(r.records["MOVE"].size(), figures);
  EXPECT_EQ(r.letters.size(), 1u);
  EXPECT_TRUE(r.records["KRIG"].empty());  // battles and letters are per turn
  ASSERT_NO_FATAL_FAILURE(ExpectPoolHoldsRealm(r));
  uint8_t* korn = LoadChunk2Mem("KORN", kPool);
  ASSERT_NE(korn, nullptr);
  EXPECT_EQ(ChunkGet16(korn, 16), 3);
  FreeChunk(korn);
  EXPECT_FALSE(ParseRealm("remove what=\"goods\" ident=999\n", "next.changes", &r, &err, true));
  EXPECT_EQ(err, "next.changes:1: remove matches no goods");
}

TEST(TurnBuilder, HostileDescriptionsNameFileAndLine) {
  const std::string head = "player id=1001 name=\"Harald\"\nturn year=1000 quarter=0\n";
  const std::string map = "map x=10 y=10 width=3 height=2\nrow .T.\nrow ~~.\nowner x=11 y=10 player=1001\n";
  struct Case {
    std::string text, error;
  };
  const Case cases[] = {
      {"turn year=1 quarter=0\n", "bad.realm:1: the description must begin with a player line"},
      {head + "castle x=1\n", "bad.realm:3: unknown statement \"castle\""},
      {head + "town town_id=1 name=\"Elmor\" x=1 y=1 colour=3\n", "bad.realm:3: unknown key colour for TownRecord"},
      {"player id=1 name=\"A\"\nturn year=1000 quarter=4\n", "bad.realm:2: quarter=4 is out of range (0..3)"},
      {head + "town town_id=1 name=\"Elmor\" x=12800 y=1\n", "bad.realm:3: x=12800 is out of range (0..12799)"},
      {head + "figure type=0 number=1 x=5 y=6400\n", "bad.realm:3: y=6400 is out of range (0..6399)"},
      {head + "town town_id=1 name=\"A\" x=1 y=1\ntown town_id=1 name=\"B\" x=2 y=2\n",
       "bad.realm:4: town 1 given twice (line 3)"},
      {head + "figure number=3 x=1 y=1\nfigure number=3 x=2 y=2\n", "bad.realm:4: figure 1001/3 given twice (line 3)"},
      {head + "town town_id=1 name=\"" + std::string(80, 'a') + "\" x=1 y=1\n",
       "bad.realm:3: name is longer than its field (79 characters at most)"},
      {head + "lord id=1001 name=\"Ich\"\n", "bad.realm:3: a lord with the own player's ID"},
      {head + "part Typ=2 Leute=5\n", "bad.realm:3: part before any army"},
      {head + "army ArmyName=\"A\" ArmeeID=4 X=1 Y=1\n", "bad.realm:3: army A has no army figure 4"},
      {head + "army ArmyName=\"A\" ArmeeTypAnzahl=2\n", "bad.realm:3: ArmeeTypAnzahl is counted by the builder"},
      // Horsemen shown as infantry; an army with a siege crew is artillery.
      {head + "figure type=1 number=4 x=1 y=1\narmy ArmyName=\"A\" ArmeeID=4 X=1 Y=1\npart Typ=3 Leute=50\n",
       "bad.realm:4: army A has figure type 1 (line 3), its parts make 4"},
      {head + "figure type=3 number=4 x=1 y=1\narmy ArmyName=\"A\" ArmeeID=4 X=1 Y=1\npart Typ=2 Ruestung=19 "
              "Leute=50\npart Typ=1 WaffeI=10 WaffeII=10 Leute=20\n",
       "bad.realm:4: army A has figure type 3 (line 3), its parts make 8"},
      {head + "figure type=1 number=4 x=1 y=1\narmy ArmyName=\"A\" ArmeeID=4 X=1 Y=1\n",
       "bad.realm:4: army A has figure type 1 (line 3), its parts make 0"},
      {head + "figure type=1 number=4 x=1 y=1 state=7\nfigure type=14 number=9 x=1 y=1\narmy ArmyName=\"A\" "
              "ArmeeID=4 X=1 Y=1\npart Typ=2 Leute=50\nship ship_id=9 x=1 y=1 cargo[0].owner=1001 cargo[0].type=2 "
              "cargo[0].number=4\n",
       "bad.realm:7: ship 9 carries figure 4 as another type than the figure's (line 3)"},
      {head + "ship ship_id=9 x=1 y=1\n", "bad.realm:3: ship 9 has no ship figure of the player"},
      {head + "building building=2 town=7\n", "bad.realm:3: building in town 7, which the description does not have"},
      {head + "goods kind=5 goods=116\n", "bad.realm:3: goods=116 is out of range (0..115)"},
      {head + "goods kind=5 goods=0 quantity=500\n", "bad.realm:3: corn in the store: the corn lies in the granaries (korn granary_corn)"},
      {head + "land god_name=\"Thalor\n", "bad.realm:3: text of god_name has no closing quote"},
      {head + "land treasury=12x\n", "bad.realm:3: bad number \"12x\" for treasury"},
      {head + "map x=1 y=1 width=3 height=2\nrow ...\nland treasury=1\n", "bad.realm:3: map has 1 rows, its height is 2"},
      {head + "map x=1 y=1 width=3 height=1\nrow ....\n", "bad.realm:4: row of 4 hexes, the map's width is 3"},
      {head + "map x=1 y=1 width=3 height=1\nrow .?.\n", "bad.realm:4: unknown terrain symbol '?'"},
      {head + map + "town town_id=1 name=\"A\" x=10 y=10\n", "bad.realm:7: town A does not stand on a town hex of the map"},
      {head + map + "dungeon x=40 y=40\n", "bad.realm:7: hex (40, 40) is not on the map"},
      {head + "info checksum=5\n", "bad.realm:3: checksum is set by the builder"},
      {head + "ship cargo[3].type=1\n", "bad.realm:3: index of cargo[3].type passes the field's 3 elements"},
      {head + "research alchemy=8\n", "bad.realm:3: alchemy=8 is out of range (0..7)"},
      {"player id=1 name=\"A\"\n", "bad.realm:1: the description has no turn line"},
  };
  for (const Case& c : cases) {
    Realm r;
    std::string err;
    EXPECT_FALSE(ParseRealm(c.text, "bad.realm", &r, &err)) << c.text;
    EXPECT_EQ(err, c.error) << c.text;
  }
  // The map case itself is good.
  Realm r;
  std::string err;
  EXPECT_TRUE(ParseRealm(head + map + "town town_id=1 name=\"A\" x=11 y=10\n", "good.realm", &r, &err)) << err;
}

// The demo realm shows a town of every level (each level's own night
// lights) and starts with no research running, so a research order can be
// given in its first turn.
TEST(TurnBuilder, TheDemoRealmHasEveryTownLevelAndNoResearchRunning) {
  Realm r = LoadFixture("demo.realm");
  std::set<uint32_t> levels;
  for (const RealmRecord& t : Recs(r, "TOWN")) levels.insert(GetCodecNumber(*FindCodecField(TownRecordCodec, "level"), t.raw.data(), 0, ORDER_HOST));
  EXPECT_EQ(levels, (std::set<uint32_t>{1, 2, 3, 4}));
  EXPECT_EQ(r.fixed["FORS"][12], 0);
  EXPECT_EQ(r.fixed["FORS"][26], 0);
}

// The letters of every realm (their subjects and texts) are read by the
// player of the English game, so they are English; the names of the lords,
// towns, armies and specialists are the realm's own.
TEST(TurnBuilder, TheLettersOfEveryRealmAreEnglish) {
  for (const char* name : {"demo.realm", "grown.realm", "first_turn.realm"}) {
    const std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(Fixture(name));
    ASSERT_FALSE(bytes.empty()) << name;
    const std::vector<std::string> texts = qoe_test::RealmQuotedValues(std::string(bytes.begin(), bytes.end()), false);
    if (std::string(name) != "first_turn.realm") { EXPECT_GE(texts.size(), 4u) << name; }
    for (const std::string& t : texts) EXPECT_EQ(qoe_test::GermanIn(t), "") << name << ": \"" << t << "\"";
  }
}

TEST(TurnBuilder, NumbersToldTwiceMustAgree) {
  const std::string head = "player id=1001 name=\"Harald\"\nturn year=1000 quarter=0\n"
                           "town town_id=1 name=\"A\" x=1 y=1\ntown town_id=2 name=\"B\" x=2 y=2\n";
  // At confidence 0 each building costs twice its base upkeep: granary 300,
  // mill 500, trade office 8000, drill ground 1500, army camp 3000.
  const std::string built = "building building=0 town=1\nbuilding building=0 town=2\n"
                            "building building=1 town=1\nbuilding building=98 town=2\n"
                            // the drill ground is replaced by the army camp of its town
                            "building building=19 town=1\nbuilding building=48 town=1\n"
                            "building building=19 town=2\nbuilding building=20 town=2 build_time=65535\n";
  const std::string battles =
      "battle attacker.owner=1001 target.owner=2002 attacker_dead=120 target_dead=400 kind=1\n"
      "battle attacker.owner=2003 target.owner=1001 attacker_dead=300 target_dead=60 kind=0\n"
      "battle attacker.owner=2003 target.owner=2002 attacker_dead=7 target_dead=9 kind=0\n";
  struct Case {
    std::string text, error;
  };
  const Case cases[] = {
      {head + "korn granaries=4\n" + built, "bad.realm:5: granaries=4 disagrees with granary buildings (2)"},
      {head + "korn mills=3\n" + built, "bad.realm:5: mills=3 disagrees with mill buildings (1)"},
      {head + "korn trade_offices=2\n" + built, "bad.realm:5: trade_offices=2 disagrees with trade office buildings (1)"},
      {head + "buildings upkeep_total=240\n" + built,
       "bad.realm:5: upkeep_total=240 disagrees with the upkeep of the buildings that count (13600)"},
      {head + "land killed=12\n" + battles, "bad.realm:5: killed=12 disagrees with the own dead of the battles (180)"},
  };
  for (const Case& c : cases) {
    Realm r;
    std::string err;
    EXPECT_FALSE(ParseRealm(c.text, "bad.realm", &r, &err)) << c.text;
    EXPECT_EQ(err, c.error) << c.text;
  }
  // Not given, the numbers are counted; given right, they pass.
  Realm r;
  std::string err;
  ASSERT_TRUE(ParseRealm(head + built + battles + "land treasury=50000\n", "good.realm", &r, &err)) << err;
  EXPECT_EQ(ChunkGet32(r.fixed["KORN"].data(), 30), 2u);
  EXPECT_EQ(ChunkGet16(r.fixed["KORN"].data(), 34), 1u);
  EXPECT_EQ(ChunkGet16(r.fixed["KORN"].data(), 50), 1u);
  EXPECT_EQ(ChunkGet32(r.fixed["GEBA"].data(), 12), 13600u);
  EXPECT_EQ(ChunkGet32(r.fixed["LAND"].data(), 66), 180u);
  EXPECT_TRUE(ParseRealm(head + "korn granaries=2 mills=1 trade_offices=1\nbuildings upkeep_total=13600\nland killed=180 "
                                "treasury=50000\n" + built + battles,
                         "good.realm", &r, &err))
      << err;
  // The next turn has no battles and so no dead; a description of the corn
  // alone (no buildings) keeps its numbers.
  ASSERT_TRUE(ParseRealm("turn year=1000 quarter=1\n", "next.changes", &r, &err, true)) << err;
  EXPECT_EQ(ChunkGet32(r.fixed["LAND"].data(), 66), 0u);
  EXPECT_TRUE(ParseRealm("player id=1 name=\"A\"\nturn year=1 quarter=0\nkorn granaries=4 mills=3\n", "corn.realm", &r,
                         &err))
      << err;
  EXPECT_EQ(ChunkGet32(r.fixed["KORN"].data(), 30), 4u);
  // The fixtures leave these numbers to the builder.
  for (const char* name : {"first_turn.realm", "grown.realm", "demo.realm"}) {
    Realm f = LoadFixture(name);
    for (const char* field : {"KORN.granaries", "KORN.mills", "KORN.trade_offices", "GEBA.upkeep_total", "LAND.killed"})
      EXPECT_EQ(f.given.count(field), 0u) << name << " " << field;
  }
}

// What follows from the realm: every building and order of a kind the
// construction catalogue offers costs its base upkeep at the realm's public
// confidence (as the construction screen tells it), and a later turn's
// inhabitants are the last turn's and the quarter's people. A description
// that says otherwise is refused, naming the field.
TEST(TurnBuilder, UpkeepAndInhabitantsFollowFromTheRealm) {
  const std::string head = "player id=1001 name=\"Harald\"\nturn year=1000 quarter=3\nland faith=78 inhabitants=1000 "
                           "immigrants=50 born=30 emigrants=10 died=20 killed=7 deserted=2 treasury=100000\n"
                           "town town_id=1 name=\"A\" x=1 y=1 inhabitants=1000\n";
  struct Case {
    std::string base, changes, error;
  };
  const Case cases[] = {
      {head + "building building=55 town=1 upkeep=10\n", "",
       "bad.realm:5: upkeep=10 disagrees with the upkeep of building 55 at public confidence 78 (11076)"},
      {head + "order building=0 town=1 build_time=2 upkeep=2\n", "",
       "bad.realm:5: upkeep=2 disagrees with the upkeep of building 0 at public confidence 78 (230)"},
      {head, "turn year=1001 quarter=0\nland inhabitants=1140\n",
       "next.changes:2: inhabitants=1140 disagrees with the last turn's inhabitants and this quarter's people (1000 + "
       "50 immigrants + 30 born - 10 emigrants - 20 died = 1050)"},
      {head, "turn year=1001 quarter=0\nland died=2000\n",
       "next.changes:2: the last turn's inhabitants and this quarter's people (1000 + 50 immigrants + 30 born - 10 "
       "emigrants - 2000 died = -930) are out of the inhabitants' range"},
  };
  for (const Case& c : cases) {
    Realm r;
    std::string err;
    const bool ok = ParseRealm(c.base, "bad.realm", &r, &err) &&
                    ParseRealm(c.changes, "next.changes", &r, &err, true);
    EXPECT_FALSE(ok) << c.base << c.changes;
    EXPECT_EQ(err, c.error);
  }
  auto upkeeps = [](const Realm& r) {
    std::vector<uint32_t> v;
    for (const char* chunk : {"GEBA", "BAUE"})
      for (const RealmRecord& b : Recs(r, chunk))
        v.push_back(GetCodecNumber(*FindCodecField(BaustellenDataCodec, "upkeep"), b.raw.data(), 0, ORDER_HOST));
    return v;
  };
  // Not given, they are counted; given right, they pass; a higher level (92)
  // keeps the description's upkeep; the record holds 16 bits.
  Realm r;
  std::string err;
  ASSERT_TRUE(ParseRealm(head + "building building=0 town=1\nbuilding building=55 town=1 upkeep=11076\n"
                                "order building=92 town=1 build_time=3 upkeep=40\n",
                         "good.realm", &r, &err))
      << err;
  EXPECT_EQ(upkeeps(r), (std::vector<uint32_t>{230, 11076, 40}));
  EXPECT_EQ(ChunkGet32(r.fixed["GEBA"].data(), 12), 230u + 11076u);
  ASSERT_TRUE(ParseRealm("turn year=1001 quarter=0\nland faith=250\nbuilding building=55 town=1\n", "next.changes",
                         &r, &err, true))
      << err;
  EXPECT_EQ(upkeeps(r), (std::vector<uint32_t>{150, 7200, 40}));
  EXPECT_EQ(ChunkGet32(r.fixed["LAND"].data(), 14), 1050u);
  // The same turn again (a correction) takes the inhabitants as given.
  ASSERT_TRUE(ParseRealm("land inhabitants=999\n", "same.changes", &r, &err, true)) << err;
  EXPECT_EQ(ChunkGet32(r.fixed["LAND"].data(), 14), 999u);
  ASSERT_TRUE(ParseRealm("player id=1 name=\"A\"\nturn year=1 quarter=0\ntown town_id=1 name=\"A\" x=1 y=1\n"
                         "building building=163 town=1\n",
                         "cathedral.realm", &r, &err))
      << err;
  EXPECT_EQ(upkeeps(r), std::vector<uint32_t>{65535});  // 98000 at confidence 0
}

// What follows from the realm's economy: the realm's inhabitants are its
// towns', the turn's taxes what the taxes screen tells the settings bring,
// and a later turn's treasury the last one's and the quarter's income less
// its expenses as the reports list them; a later turn's inhabitants are
// spread over the towns. A description that says otherwise is refused,
// naming the field.
TEST(TurnBuilder, TownsTaxesAndTreasuryFollowFromTheRealm) {
  // Taxes of 1000 inhabitants: base 1000 x 2 x 20 / 100 = 400, judicial
  // 1000 x 3/8 = 375, customs 4 x 1000 / 100 = 40, resources 5 x 3 + 7 x 2 +
  // 9 x 1 = 38 (the low 16 bits of 0x10001). The granary costs 150 at 250.
  const std::string land = "land inhabitants=1000 treasury=20000 faith=250 immigrants=50 born=30 emigrants=10 died=20 "
                           "scouts=2 settlers=1 pirate_gold=-300 plant_resources=3 animal_resources=2 "
                           "mineral_resources=0x10001\n";
  const std::string rest =
      "taxes base_tax_level=20 judicial_setting=2 customs_rate=4 plant_tax_rate=5 animal_tax_rate=7 mineral_tax_rate=9 "
      "church_rate=100 market_halls=2000 seamen=300 tenth_base=50 tenth_amount=70\n"
      "research research=3 cost=400\n"
      "town town_id=1 name=\"A\" x=1 y=1 inhabitants=600\n"
      "town town_id=2 name=\"B\" x=2 y=2 inhabitants=400\n"
      "building building=0 town=1\n";
  const std::string head = "player id=1001 name=\"Harald\"\nturn year=1000 quarter=3\n" + land + rest;
  // The next quarter: 1050 inhabitants; taxes 420 + 393 + 42 + 38 + 100
  // church; income 993 + 2000 market halls + 300 seamen + 50 first tenth -
  // 300 pirates = 3043; expenses 150 upkeep + 200 scouts + 5000 settler + 70
  // second tenth + 400 research = 5820.
  struct Case {
    std::string base, changes, error;
  };
  std::string fewer = head;
  fewer.replace(fewer.find("inhabitants=400"), 15, "inhabitants=300");
  const Case cases[] = {
      {fewer, "", "bad.realm:3: inhabitants=1000 disagrees with the towns' inhabitants (900)"},
      {head + "taxes base_tax=5\n", "",
       "bad.realm:9: base_tax=5 disagrees with the base tax of 1000 inhabitants at level 20 (400)"},
      {head + "taxes judicial_tax=1\n", "",
       "bad.realm:9: judicial_tax=1 disagrees with the judicial tax of 1000 inhabitants at setting 2 (375)"},
      {head + "taxes customs_tax=1\n", "",
       "bad.realm:9: customs_tax=1 disagrees with the custom dues of 1000 inhabitants at rate 4 (40)"},
      {head + "taxes resource_tax=1\n", "",
       "bad.realm:9: resource_tax=1 disagrees with the resource tax of the rates on the resources (5 x 3 + 7 x 2 + 9 "
       "x 1) (38)"},
      {head, "turn year=1001 quarter=0\nland treasury=20000\n",
       "next.changes:2: treasury=20000 disagrees with the last turn's treasury and this quarter's income and expenses "
       "(20000 + 3043 income - 5820 expenses = 17223)"},
      {head, "turn year=1001 quarter=0\nland settlers=5\n",
       "next.changes:2: the last turn's treasury and this quarter's income and expenses (20000 + 3043 income - 25820 "
       "expenses = -2777) are out of the treasury's range"},
      {head, "turn year=1001 quarter=0\ntown town_id=1 name=\"A\" x=1 y=1 inhabitants=5000\n",
       "next.changes:2: inhabitants=1050 disagrees with the towns' inhabitants (5400)"},
  };
  for (const Case& c : cases) {
    Realm r;
    std::string err;
    const bool ok = ParseRealm(c.base, "bad.realm", &r, &err) && ParseRealm(c.changes, "next.changes", &r, &err, true);
    EXPECT_FALSE(ok) << c.base << c.changes;
    EXPECT_EQ(err, c.error);
  }
  auto towns = [](const Realm& r) {
    std::vector<uint32_t> v;
    for (const RealmRecord& t : Recs(r, "TOWN"))
      v.push_back(GetCodecNumber(*FindCodecField(TownRecordCodec, "inhabitants"), t.raw.data(), 0, ORDER_HOST));
    return v;
  };
  auto taxes = [](Realm& r) {
    const uint8_t* t = r.fixed["TAXE"].data();
    return std::vector<uint32_t>{ChunkGet32(t, 40), ChunkGet32(t, 18), ChunkGet32(t, 26), ChunkGet32(t, 36)};
  };
  // Not given, they are counted: the realm's inhabitants from its towns.
  Realm r;
  std::string err;
  std::string counted = head;
  counted.replace(counted.find("inhabitants=1000 "), 17, "");
  ASSERT_TRUE(ParseRealm(counted, "good.realm", &r, &err)) << err;
  EXPECT_EQ(ChunkGet32(r.fixed["LAND"].data(), 14), 1000u);
  EXPECT_EQ(taxes(r), (std::vector<uint32_t>{400, 375, 40, 38}));
  EXPECT_EQ(ChunkGet32(r.fixed["LAND"].data(), 34), 20000u);  // the first turn's is the description's
  // Given right, they pass; the next quarter's people go to the towns in
  // proportion, its treasury and taxes are counted.
  ASSERT_TRUE(ParseRealm(head + "taxes base_tax=400 judicial_tax=375 customs_tax=40 resource_tax=38\n", "good.realm",
                         &r, &err))
      << err;
  ASSERT_TRUE(ParseRealm("turn year=1001 quarter=0\n", "next.changes", &r, &err, true)) << err;
  EXPECT_EQ(towns(r), (std::vector<uint32_t>{630, 420}));
  EXPECT_EQ(taxes(r), (std::vector<uint32_t>{420, 393, 42, 38}));
  EXPECT_EQ(ChunkGet32(r.fixed["LAND"].data(), 34), 17223u);
  // 51 more: 660.6 and 440.4, the unit left over to the first town. A
  // research no longer running costs nothing: 17223 + 3084 income (taxes
  // 440 + 412 + 44 + 38 + 100) - 5420 expenses, given right.
  Realm right = r;
  ASSERT_TRUE(ParseRealm("turn year=1001 quarter=1\nland born=31 treasury=14887\nresearch research=0\n",
                         "next.changes", &right, &err, true))
      << err;
  EXPECT_EQ(towns(right), (std::vector<uint32_t>{661, 440}));
  // A town the change list gives keeps its inhabitants; the others take the rest.
  ASSERT_TRUE(ParseRealm("turn year=1001 quarter=1\ntown town_id=2 name=\"B\" x=2 y=2 inhabitants=500\n", "next.changes",
                         &r, &err, true))
      << err;
  EXPECT_EQ(towns(r), (std::vector<uint32_t>{600, 500}));
}

// The demo's turns as the start command installs them agree with
// themselves as the reports and screens show them: the towns' inhabitants
// are the realm's, the buildings' upkeep the total, the taxes what the taxes
// screen tells, and each turn's treasury the last one's and the quarter's
// income less its expenses; the treasury grows.
TEST(TurnBuilder, TheDemoTurnsFiguresAgree) {
  const std::string program = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  QOE_REQUIRE_BUILT(program);
  mkdir("install", 0755);
  ASSERT_EQ(std::system(("'" + program + "' install '" + Fixture("demo.realm") +
                         "' --dir install --demo-turns turns >install.txt 2>&1")
                            .c_str()),
            0);
  ASSERT_TRUE(qoe_test::WriteFileBytes("turn.qoe", BuildTurnPool(LoadFixture("demo.realm"))));
  int64_t last = -1;
  for (int k = 0; k <= 5; ++k) {
    const std::string mail =
        k == 1 ? "install/Data/POP3In/00001001.email" : "turns/turn_0" + std::to_string(k) + ".email";
    if (k > 0) {
      const std::vector<uint8_t> text = qoe_test::ReadFileBytes(mail);
      ASSERT_EQ(DecrunchOneEmail(reinterpret_cast<const char*>(text.data()), static_cast<uint32_t>(text.size()),
                                 "turn.qoe"),
                1)
          << mail;
    }
    SCOPED_TRACE("turn " + std::to_string(k));
    uint8_t* land = LoadChunk2Mem("LAND", "turn.qoe");
    uint8_t* taxe = LoadChunk2Mem("TAXE", "turn.qoe");
    uint8_t* geba = LoadChunk2Mem("GEBA", "turn.qoe");
    uint8_t* fors = LoadChunk2Mem("FORS", "turn.qoe");
    uint8_t* town = LoadChunk2Mem("TOWN", "turn.qoe");
    ASSERT_TRUE(land && taxe && geba && fors && town);
    // The towns' inhabitants.
    const uint64_t people = ChunkGet32(land, 14);
    uint64_t sum = 0;
    const RecordCodec& tc = *ChunkRecordCodec(*ChunkLayoutOf("TOWN"), town);
    for (uint32_t i = 0; i < ChunkGet16(town, 12); ++i)
      sum += GetCodecNumber(*FindCodecField(tc, "inhabitants"), town + 14 + i * tc.size, 0, ORDER_HOST);
    EXPECT_EQ(sum, people);
    // The upkeep of the buildings the buildings report counts.
    uint64_t upkeep = 0;
    const uint32_t buildings = ChunkGet16(geba, 16);
    for (uint32_t i = 0; i < buildings; ++i) {
      const uint8_t* b = geba + 18 + i * 16;
      if (static_cast<int16_t>(ChunkGet16(b, 6)) == -1) continue;
      const int32_t next = NextBuildingLevel(ChunkGet16(b, 0));
      bool replaced = false;
      for (uint32_t j = 0; j < buildings; ++j)
        replaced |= next >= 0 && ChunkGet16(geba + 18 + j * 16, 0) == static_cast<uint32_t>(next) &&
                    ChunkGet16(geba + 18 + j * 16, 14) == ChunkGet16(b, 14);
      if (!replaced) upkeep += ChunkGet16(b, 12);
    }
    EXPECT_EQ(ChunkGet32(geba, 12), upkeep);
    // The taxes the taxes screen tells.
    static const uint64_t kEighths[4] = {7, 5, 3, 1};
    EXPECT_EQ(ChunkGet32(taxe, 40), people * 2 * ChunkGet32(taxe, 12) / 100);
    EXPECT_EQ(ChunkGet32(taxe, 18), people * kEighths[ChunkGet16(taxe, 16) & 3] / 8);
    EXPECT_EQ(ChunkGet32(taxe, 26), ChunkGet32(taxe, 22) * people / 100);
    EXPECT_EQ(ChunkGet32(taxe, 36), uint64_t{ChunkGet16(taxe, 30)} * (ChunkGet32(land, 38) & 0xFFFF) +
                                        uint64_t{ChunkGet16(taxe, 32)} * (ChunkGet32(land, 42) & 0xFFFF) +
                                        uint64_t{ChunkGet16(taxe, 34)} * (ChunkGet32(land, 46) & 0xFFFF));
    // The treasury: the tax report's income, the pirates; the buildings'
    // upkeep, the wages of the country report, the research's cost.
    int64_t income = static_cast<int32_t>(ChunkGet32(land, 78));
    for (uint32_t off : {40u, 18u, 26u, 36u, 48u, 54u, 62u, 72u}) income += ChunkGet32(taxe, off);
    int64_t expenses = int64_t{ChunkGet32(geba, 12)} + ChunkGet16(land, 86) * 100 + ChunkGet16(land, 88) * 5000 +
                       ChunkGet32(taxe, 76);
    if (static_cast<int8_t>(fors[12]) >= 1 && static_cast<int8_t>(fors[12]) <= 7 && !ChunkGet16(fors, 26))
      expenses += ChunkGet32(fors, 22);
    const int64_t treasury = ChunkGet32(land, 34);
    if (last >= 0) {
      EXPECT_EQ(treasury - last, income - expenses);
      EXPECT_GT(treasury, last);  // the demo's economy does not collapse
    }
    last = treasury;
    for (uint8_t* c : {land, taxe, geba, fors, town}) FreeChunk(c);
  }
}

// The demo's turns as the start command installs them: from one turn to the
// next the inhabitants change by the quarter's people.
TEST(TurnBuilder, TheDemoTurnsInhabitantsChangeByTheirPeople) {
  const std::string program = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  QOE_REQUIRE_BUILT(program);
  mkdir("install", 0755);
  ASSERT_EQ(std::system(("'" + program + "' install '" + Fixture("demo.realm") +
                         "' --dir install --demo-turns turns >install.txt 2>&1")
                            .c_str()),
            0);
  uint32_t last = ChunkGet32(LoadFixture("demo.realm").fixed["LAND"].data(), 14);
  for (int k = 1; k <= 5; ++k) {
    const std::string mail =
        k == 1 ? "install/Data/POP3In/00001001.email" : "turns/turn_0" + std::to_string(k) + ".email";
    const std::vector<uint8_t> text = qoe_test::ReadFileBytes(mail);
    ASSERT_EQ(DecrunchOneEmail(reinterpret_cast<const char*>(text.data()), static_cast<uint32_t>(text.size()),
                               "turn.qoe"),
              1)
        << mail;
    uint8_t* land = LoadChunk2Mem("LAND", "turn.qoe");
    ASSERT_NE(land, nullptr);
    // immigrants + born - emigrants - died
    const int64_t people = int64_t{ChunkGet32(land, 18)} + ChunkGet32(land, 26) - ChunkGet32(land, 22) -
                           ChunkGet32(land, 30);
    EXPECT_EQ(int64_t{ChunkGet32(land, 14)} - last, people) << mail;
    EXPECT_NE(people, 0);
    last = ChunkGet32(land, 14);
    FreeChunk(land);
  }
}


TEST(TurnBuilder, GameInitAndEveryPassTakeTheBuiltTurns) {
  for (const char* name : {"first_turn.realm", "grown.realm", "demo.realm"}) {
    SCOPED_TRACE(name);
    *OwnPlayerPtr = OwnPlayer{};
    Realm r = LoadFixture(name);
    mkdir("Data", 0755);
    ASSERT_NO_FATAL_FAILURE(Install(BuildSignupAnswer(r)));
    ASSERT_EQ(GameInit(kPool), 1);
    EXPECT_EQ(OwnPlayerPtr->PlayerId, r.player_id);
    TownListEntry* towns = nullptr;
    uint32_t n = ReadTownList(&towns);
    ASSERT_EQ(n, Recs(r, "TOWN").size());
    for (uint32_t i = 0; i < n; i++) {
      const CodecField& f = *FindCodecField(TownRecordCodec, "name");
      EXPECT_STREQ(towns[i].name, reinterpret_cast<const char*>(Recs(r, "TOWN")[i].raw.data() + f.off));
    }
    if (towns) FreeVec(towns);
    // The next turn, a quarter on, through every pass of the download.
    std::string err;
    ASSERT_TRUE(ParseRealm("turn year=" + std::to_string(ChunkGet32(r.fixed.at("KORN").data(), 12) + 1) +
                               " quarter=0\n",
                           "next.changes", &r, &err, true))
        << err;
    ASSERT_NO_FATAL_FAILURE(Install(BuildTurnPool(r)));
    for (ChunkIndex c : {CHUNK_INFO, CHUNK_WARE, CHUNK_VERT, CHUNK_MOVE, CHUNK_ARMY, CHUNK_SHIP, CHUNK_LAND, CHUNK_MAIL,
                         CHUNK_GEBA, CHUNK_PMAP, CHUNK_ANTW})
      EXPECT_EQ(ChunkMachine(kPool, ChunkBit(c), CHUNKMACHINE_LAST_MAIL), 1) << ChunkIdTable[c];
    EXPECT_EQ(CheckPlayerTown(), 1);
    ASSERT_EQ(GameExit(), 1);
  }
}
