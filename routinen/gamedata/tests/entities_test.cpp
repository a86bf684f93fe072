#include "routinen/gamedata/entities.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstddef>
#include <random>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/chunks_internal.h"
#include "routinen/gamedata/entity_internal.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "tests/support/kill_loop.h"
#include "tests/support/test_support.h"

using qoe_test::FileExists;
using qoe_test::ReadFileBytes;
using qoe_test::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

namespace {

struct Lists : ::testing::Test {
  void SetUp() override {
    RegisterGameDataListTypes();
    SetGameDataOwner(7, "Harald");
  }
  void TearDown() override { ResetChunkPoolState(); }
};

template <class T>
T* NewNode(ListHeader* l) {
  T* n = reinterpret_cast<T*>(AllocListNode(l));
  AddNode(l, &n->head, LN_TAIL, 0);
  return n;
}

template <class T>
T* At(ListHeader* l, uint32_t i) {
  return reinterpret_cast<T*>(GetNode(l, LN_INDEX, i));
}

void RandomBytes(std::mt19937& rng, void* p, size_t n) {
  uint8_t* b = static_cast<uint8_t*>(p);
  for (size_t i = 0; i < n; i++) b[i] = (uint8_t)rng();
}

void RandomText(std::mt19937& rng, char* p, size_t n) {
  size_t len = rng() % n;
  for (size_t i = 0; i < len; i++) p[i] = (char)('a' + rng() % 26);
  for (size_t i = len; i < n; i++) p[i] = 0;
}

// Disk round trip of a chunk: saved, loaded back, equal in memory.
uint8_t* ThroughDisk(const uint8_t* chunk) {
  EXPECT_EQ(SaveChunk2File(".\\rt.qoe", chunk), 1);
  uint8_t* back = LoadChunk2Mem(std::string(reinterpret_cast<const char*>(chunk), 4).c_str(), ".\\rt.qoe");
  EXPECT_NE(back, nullptr);
  if (back) {
    EXPECT_EQ(0, memcmp(back, chunk, 12 + ChunkLength(chunk)));
  }
  return back;
}

FigurRecord RandomFigur(std::mt19937& rng) {
  return FigurRecord{(uint32_t)rng(), (uint16_t)rng(), (uint16_t)rng(), (uint32_t)rng(),
                     (uint32_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
}

bool operator==(const FigurRecord& a, const FigurRecord& b) {
  return a.owner == b.owner && a.type == b.type && a.number == b.number && a.x == b.x && a.y == b.y &&
         a.state == b.state && a.points == b.points;
}

// Compares the records of two lists field by field (node heads excluded).
void ExpectSameRecords(ListHeader* a, ListHeader* b, size_t rec_size, size_t skip_pad_from = 0,
                       size_t pad_len = 0) {
  ASSERT_EQ(a->count, b->count);
  for (uint32_t i = 0; i < a->count; i++) {
    uint8_t* x = reinterpret_cast<uint8_t*>(GetNode(a, LN_INDEX, i)) + sizeof(ListNode);
    uint8_t* y = reinterpret_cast<uint8_t*>(GetNode(b, LN_INDEX, i)) + sizeof(ListNode);
    for (size_t k = 0; k < rec_size; k++) {
      if (pad_len && k >= skip_pad_from && k < skip_pad_from + pad_len) continue;
      ASSERT_EQ(x[k], y[k]) << "record " << i << " byte " << k;
    }
  }
}

// Writes list a as a chunk, sends it through the disk, scans it into a new list
// of a's type and compares the records with ExpectSameRecords.
void ExpectRecordsRoundTrip(ListHeader* a, uint8_t* (*make)(ListHeader*), int32_t (*scan)(ListHeader*, const void*),
                            size_t rec_size, size_t skip_pad_from = 0, size_t pad_len = 0) {
  uint8_t* c = make(a);
  uint8_t* d = ThroughDisk(c);
  ListHeader* b = CreateList(a->type);
  EXPECT_EQ(scan(b, d), 1);
  ExpectSameRecords(a, b, rec_size, skip_pad_from, pad_len);
  FreeChunk(c); FreeChunk(d); DeleteList(b, 0);
}

}  // namespace

TEST_F(Lists, FieldTablesMatchRecords) {
  // (field index, offset in the node) of each type's fields.
  struct Check { uint32_t type; size_t size; std::vector<std::pair<uint32_t, size_t>> fields; };
  const Check checks[] = {
      {LIST_PLAYERS, sizeof(SpielerEintrag), {{0, offsetof(SpielerEintrag, id)}, {1, offsetof(SpielerEintrag, name)}}},
      {LIST_ARMIES, sizeof(Army), {{0, offsetof(Army, X)}, {7, offsetof(Army, Training)},
                                   {8, offsetof(Army, ArmyName)}, {9, offsetof(Army, parts)}}},
      {LIST_ARMY_PARTS, sizeof(ArmeeTyp), {{0, offsetof(ArmeeTyp, Typ)}, {10, offsetof(ArmeeTyp, SaboteurAnzahl)},
                                           {11, offsetof(ArmeeTyp, SaboteurListHeader)}}},
      {LIST_SABOTEURS, sizeof(Saboteur), {{1, offsetof(Saboteur, men)}}},
      {LIST_GOODS, sizeof(WarenListenEntry), {{0, offsetof(WarenListenEntry, kind)}, {1, offsetof(WarenListenEntry, owner)},
                                              {9, offsetof(WarenListenEntry, closing)}}},
      {LIST_CONTRACTS, sizeof(VertragsEintrag), {{5, offsetof(VertragsEintrag, reserved)}, {9, offsetof(VertragsEintrag, closing)}}},
      {LIST_SHIPS, sizeof(Schiffseintrag), {{2, offsetof(Schiffseintrag, ship_class)}, {3, offsetof(Schiffseintrag, x)},
                                            {5, offsetof(Schiffseintrag, cargo)}, {7, offsetof(Schiffseintrag, cargo) + 2 * sizeof(FigurRecord)}}},
      {LIST_MAP_NAMES, sizeof(MapNameEintrag), {{2, offsetof(MapNameEintrag, name)}, {3, offsetof(MapNameEintrag, reserved)}}},
      {LIST_HERBS, sizeof(KrautEintrag), {{2, offsetof(KrautEintrag, herb)}, {4, offsetof(KrautEintrag, amount)}}},
      {LIST_SHIP_ADDONS, sizeof(ShipAddOn), {{1, offsetof(ShipAddOn, ship_id)}, {5, offsetof(ShipAddOn, reserved) + 8}}},
      {LIST_FIGURES, sizeof(MOVE_EXT), {{0, offsetof(MOVE_EXT, figure)}, {6, offsetof(MOVE_EXT, figure) + offsetof(FigurRecord, points)}}},
  };
  for (const Check& c : checks) {
    EXPECT_EQ(ListTypeNodeSize(c.type), c.size) << c.type;
    ListHeader* l = CreateList(c.type);
    ASSERT_NE(l, nullptr);
    ListNode* n = AllocListNode(l);
    for (auto& f : c.fields)
      EXPECT_EQ((size_t)(ListFieldPtr(l, n, f.first) - reinterpret_cast<uint8_t*>(n)), f.second)
          << "type " << c.type << " field " << f.first;
    FreeVec(n);
    DeleteList(l, 0);
  }
  // Every field of the specialist and culture records.
  ListHeader* l = CreateList(LIST_SPECIALISTS);
  ListNode* n = AllocListNode(l);
  SpezialistEintrag* s = reinterpret_cast<SpezialistEintrag*>(n);
  EXPECT_EQ(ListFieldPtr(l, n, 9), s->attributes);
  EXPECT_EQ(ListFieldPtr(l, n, 10), reinterpret_cast<uint8_t*>(&s->reserved2));
  EXPECT_EQ(ListFieldPtr(l, n, 13), s->reserved3);
  FreeVec(n);
  DeleteList(l, 0);
  l = CreateList(LIST_CULTURE_FIELDS);
  n = AllocListNode(l);
  MapCultEintrag* m = reinterpret_cast<MapCultEintrag*>(n);
  EXPECT_EQ(ListFieldPtr(l, n, 4), reinterpret_cast<uint8_t*>(&m->harvest[0]));
  EXPECT_EQ(ListFieldPtr(l, n, 15), reinterpret_cast<uint8_t*>(&m->wood_workers));
  EXPECT_EQ(ListFieldPtr(l, n, 38), reinterpret_cast<uint8_t*>(&m->stone[10]));
  EXPECT_EQ(ListTypeNodeSize(LIST_CULTURE_FIELDS), sizeof(MapCultEintrag));
  FreeVec(n);
  DeleteList(l, 0);
}

TEST_F(Lists, RecordListsRoundTripRandom) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 5; round++) {
    uint32_t count = rng() % 40;
    // Ships.
    ListHeader* a = CreateList(LIST_SHIPS);
    for (uint32_t i = 0; i < count; i++) {
      Schiffseintrag* s = NewNode<Schiffseintrag>(a);
      s->ship_id = (uint16_t)rng(); s->damage = (uint16_t)rng(); s->ship_class = (uint16_t)rng();
      s->x = rng(); s->y = rng();
      for (auto& c : s->cargo) c = RandomFigur(rng);
    }
    uint8_t* c = MakeShipChunkFromList(a);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(ChunkLength(c), 4 + 68 * count);
    uint8_t* d = ThroughDisk(c);
    ListHeader* b = CreateList(LIST_SHIPS);
    ASSERT_EQ(ScanShip2List(b, d), 1);
    ASSERT_EQ(b->count, count);
    for (uint32_t i = 0; i < count; i++) {
      Schiffseintrag* x = At<Schiffseintrag>(a, i);
      Schiffseintrag* y = At<Schiffseintrag>(b, i);
      EXPECT_EQ(x->ship_id, y->ship_id); EXPECT_EQ(x->damage, y->damage); EXPECT_EQ(x->ship_class, y->ship_class);
      EXPECT_EQ(x->x, y->x); EXPECT_EQ(x->y, y->y);
      for (int k = 0; k < 3; k++) EXPECT_TRUE(x->cargo[k] == y->cargo[k]);
    }
    FreeChunk(c); FreeChunk(d); DeleteList(a, 0); DeleteList(b, 0);

    // Goods.
    a = CreateList(LIST_GOODS);
    for (uint32_t i = 0; i < count; i++) {
      WarenListenEntry* w = NewNode<WarenListenEntry>(a);
      w->kind = (uint16_t)rng(); w->owner = rng(); w->goods = rng(); w->quantity = rng();
      w->price = rng(); w->ident = rng(); w->buyer = rng(); w->bid_quantity = rng();
      w->bid_price = rng(); w->closing = (uint16_t)rng();
    }
    ASSERT_NO_FATAL_FAILURE(ExpectRecordsRoundTrip(a, MakeWareChunkFromList, ScanWare2List,
                                                   sizeof(WarenListenEntry) - sizeof(ListNode), 2, 2));  // pad after kind
    DeleteList(a, 0);

    // Contracts.
    a = CreateList(LIST_CONTRACTS);
    for (uint32_t i = 0; i < count; i++) {
      VertragsEintrag* v = NewNode<VertragsEintrag>(a);
      v->kind = (uint16_t)rng(); v->sender = rng(); v->receiver = rng(); v->goods = rng();
      v->time = rng(); v->reserved = (uint16_t)rng(); v->duration = (uint16_t)rng();
      v->amount = rng(); v->price = rng(); v->closing = (uint16_t)rng();
    }
    ASSERT_NO_FATAL_FAILURE(ExpectRecordsRoundTrip(a, MakeVertragChunkFromList, ScanVertrag2List,
                                                   sizeof(VertragsEintrag) - sizeof(ListNode), 2, 2));
    DeleteList(a, 0);

    // Herbs.
    a = CreateList(LIST_HERBS);
    for (uint32_t i = 0; i < count; i++) {
      KrautEintrag* k = NewNode<KrautEintrag>(a);
      k->x = rng(); k->y = rng(); k->herb = (uint8_t)rng(); k->found = (uint8_t)rng(); k->amount = (uint16_t)rng();
    }
    ASSERT_NO_FATAL_FAILURE(ExpectRecordsRoundTrip(a, MakeHerbChunkFromList, ScanHerb2List, 12));
    DeleteList(a, 0);

    // Specialists.
    a = CreateList(LIST_SPECIALISTS);
    for (uint32_t i = 0; i < count; i++) {
      SpezialistEintrag* s = NewNode<SpezialistEintrag>(a);
      uint8_t* rec = reinterpret_cast<uint8_t*>(s) + sizeof(ListNode);
      RandomBytes(rng, rec, sizeof(SpezialistEintrag) - sizeof(ListNode));
      RandomText(rng, s->name, 80);
      std::memset(rec + 98 + 6, 0, 0);
    }
    c = MakeSpezialistenChunkFromList(a);
    d = ThroughDisk(c);
    b = CreateList(LIST_SPECIALISTS);
    ASSERT_EQ(ScanSpezialisten2List(b, d), 1);
    ASSERT_EQ(a->count, b->count);
    for (uint32_t i = 0; i < count; i++) {
      SpezialistEintrag* x = At<SpezialistEintrag>(a, i);
      SpezialistEintrag* y = At<SpezialistEintrag>(b, i);
      EXPECT_STREQ(x->name, y->name);
      EXPECT_EQ(x->figure, y->figure); EXPECT_EQ(x->state, y->state); EXPECT_EQ(x->wage, y->wage);
      EXPECT_EQ(x->owner, y->owner); EXPECT_EQ(x->detail2, y->detail2);
      EXPECT_EQ(0, memcmp(x->attributes, y->attributes, 6));
      EXPECT_EQ(0, memcmp(x->reserved3, y->reserved3, 80));
    }
    uint8_t* c2 = MakeSpezialistenChunkFromList(b);
    EXPECT_EQ(0, memcmp(c, c2, 12 + ChunkLength(c)));
    FreeChunk(c2); FreeChunk(c); FreeChunk(d); DeleteList(a, 0); DeleteList(b, 0);

    // Figures and players.
    a = CreateList(LIST_FIGURES);
    for (uint32_t i = 0; i < count; i++) NewNode<MOVE_EXT>(a)->figure = RandomFigur(rng);
    c = MakeFigurChunkFromList(a);
    d = ThroughDisk(c);
    b = CreateList(LIST_FIGURES);
    ASSERT_EQ(ScanFigur2List(b, d), 1);
    ASSERT_EQ(b->count, count);
    for (uint32_t i = 0; i < count; i++) EXPECT_TRUE(At<MOVE_EXT>(a, i)->figure == At<MOVE_EXT>(b, i)->figure);
    FreeChunk(c); FreeChunk(d); DeleteList(a, 0); DeleteList(b, 0);

    a = CreateList(LIST_PLAYERS);
    for (uint32_t i = 0; i < count; i++) {
      SpielerEintrag* s = NewNode<SpielerEintrag>(a);
      s->id = rng();
      RandomText(rng, s->name, 80);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectRecordsRoundTrip(a, MakeSpielerChunkFromList, ScanSpieler2List, 84));
    DeleteList(a, 0);
  }
}

TEST_F(Lists, ScansRefuseBadChunks) {
  ListHeader* l = CreateList(LIST_SHIPS);
  EXPECT_EQ(ScanShip2List(l, nullptr), 0);
  uint8_t* c = AllocChunk("SHIP", "V001", 4 + 68);
  ChunkPut32(c, 12, 2);  // two records announced, one there
  EXPECT_EQ(ScanShip2List(l, c), 0);
  EXPECT_EQ(l->count, 0u);
  ChunkPut32(c, 12, 1);
  EXPECT_EQ(ScanWare2List(l, c), 0);  // wrong list type
  ListHeader* g = CreateList(LIST_GOODS);
  EXPECT_EQ(ScanWare2List(g, c), 0);  // wrong chunk
  EXPECT_EQ(ScanShip2List(l, c), 1);
  FreeChunk(c);
  // An empty list makes an empty chunk.
  uint8_t* e = MakeWareChunkFromList(g);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(ChunkLength(e), 2u);
  FreeChunk(e);
  EXPECT_EQ(MakeWareChunkFromList(nullptr), nullptr);
  DeleteList(l, 0);
  DeleteList(g, 0);
}

TEST_F(Lists, ScanOutOfMemoryLeavesListAsItWas) {
  ListHeader* l = CreateList(LIST_HERBS);
  NewNode<KrautEintrag>(l)->x = 1;
  uint8_t* c = AllocChunk("HERB", "V001", 4 + 12 * 5);
  ChunkPut32(c, 12, 5);
  AllocVecFailAfter(3);
  EXPECT_EQ(ScanHerb2List(l, c), 0);
  AllocVecFailAfter(-1);
  ASSERT_EQ(l->count, 1u);
  EXPECT_EQ(At<KrautEintrag>(l, 0)->x, 1u);
  EXPECT_EQ(ScanHerb2List(l, c), 1);
  EXPECT_EQ(l->count, 6u);
  FreeChunk(c);
  DeleteList(l, 0);
}

TEST_F(Lists, ArmiesRoundTripAndRules) {
  std::mt19937 rng(99);
  ListHeader* armies = CreateList(LIST_ARMIES);
  for (uint32_t i = 0; i < 6; i++) {
    Army* a = NewNode<Army>(armies);
    a->X = rng(); a->Y = rng(); a->Besitzer = rng(); a->Aktion = rng(); a->Glaube = rng();
    a->ArmeeID = 100 + i; a->Training = rng();
    snprintf(a->ArmyName, sizeof a->ArmyName, "Armee %u", i);
    a->parts = CreateList(LIST_ARMY_PARTS);
    for (uint32_t t = 0; t < i % 4; t++) {
      ArmeeTyp* p = NewNode<ArmeeTyp>(a->parts);
      p->Typ = 1 + t % 3; p->Erfahrung = rng(); p->WaffeI = rng() % 20; p->Ruestung = rng() % 70;
      p->Leute = 10 * (t + 1);
      if (t == 1) {
        p->SaboteurListHeader = CreateList(LIST_SABOTEURS);
        for (int s = 0; s < 2; s++) {
          Saboteur* sb = NewNode<Saboteur>(p->SaboteurListHeader);
          sb->owner = rng(); sb->men = rng();
        }
      }
    }
    a->ArmeeTypAnzahl = a->parts->count;
  }
  uint8_t* c = CovertArmyList2ArmyChunk(armies);
  ASSERT_NE(c, nullptr);
  uint8_t* d = ThroughDisk(c);
  ListHeader* back = ScanArmy2List(d);
  ASSERT_NE(back, nullptr);
  uint8_t* c2 = CovertArmyList2ArmyChunk(back);
  ASSERT_NE(c2, nullptr);
  ASSERT_EQ(ChunkLength(c2), ChunkLength(c));
  EXPECT_EQ(0, memcmp(c, c2, 12 + ChunkLength(c)));
  Army* a3 = At<Army>(back, 3);
  EXPECT_STREQ(a3->ArmyName, "Armee 3");
  ASSERT_EQ(a3->parts->count, 3u);
  ArmeeTyp* p1 = At<ArmeeTyp>(a3->parts, 1);
  ASSERT_NE(p1->SaboteurListHeader, nullptr);
  EXPECT_EQ(p1->SaboteurListHeader->count, 2u);
  EXPECT_EQ(GetArmySoldatenAnzahl(back, 103), 60u);
  EXPECT_EQ(GetArmySoldatenAnzahl(back, 100), 0u);
  EXPECT_EQ(GetArmySoldatenAnzahl(back, 999), 0u);
  EXPECT_EQ(FindNodeByName(back, "Armee 5"), 1);
  EXPECT_EQ(FindNodeByName(back, "Armee"), 0);
  EXPECT_EQ(FindNodeByName(back, "Armee 55"), 0);
  FreeChunk(c); FreeChunk(c2); FreeChunk(d);
  DeleteArmyList(back);
  DeleteArmyList(armies);

  // Figure type from the parts.
  ListHeader* l = CreateList(LIST_ARMIES);
  Army* a = NewNode<Army>(l);
  a->parts = CreateList(LIST_ARMY_PARTS);
  EXPECT_EQ(GetArmyTyp(a), 0u);
  ArmeeTyp* cav = NewNode<ArmeeTyp>(a->parts);
  cav->Typ = 3; cav->Ruestung = 17;
  EXPECT_EQ(GetArmyTyp(a), 5u);
  cav->Ruestung = 65;
  EXPECT_EQ(GetArmyTyp(a), 6u);
  ArmeeTyp* inf = NewNode<ArmeeTyp>(a->parts);
  inf->Typ = 2; inf->Ruestung = 3;
  EXPECT_EQ(GetArmyTyp(a), 3u);  // infantry; the level from any part's armour
  cav->Ruestung = 0;
  EXPECT_EQ(GetArmyTyp(a), 1u);
  inf->Ruestung = 18;
  EXPECT_EQ(GetArmyTyp(a), 2u);
  ArmeeTyp* art = NewNode<ArmeeTyp>(a->parts);
  art->Typ = 1; art->WaffeI = 5;
  EXPECT_EQ(GetArmyTyp(a), 7u);
  art->WaffeI = 11;
  EXPECT_EQ(GetArmyTyp(a), 8u);
  NewNode<ArmeeTyp>(a->parts)->Typ = 1;
  At<ArmeeTyp>(a->parts, 3)->WaffeI = 12;
  EXPECT_EQ(GetArmyTyp(a), 9u);
  DeleteArmyList(l);
}

TEST_F(Lists, ArmyChunkHostile) {
  EXPECT_EQ(ScanArmy2List(nullptr), nullptr);
  uint8_t* c = AllocChunk("ARMY", "V001", 4 + 60);
  ChunkPut32(c, 12, 1);
  memcpy(c + 16, "ARHD", 4);
  ChunkPut32(c, 20, 52);
  ChunkPut32(c, 24 + 24, 5);  // five parts announced, none there
  EXPECT_EQ(ScanArmy2List(c), nullptr);
  ChunkPut32(c, 24 + 24, 0);
  ListHeader* ok = ScanArmy2List(c);
  ASSERT_NE(ok, nullptr);
  DeleteArmyList(ok);
  ChunkPut32(c, 20, 51);  // wrong record length
  EXPECT_EQ(ScanArmy2List(c), nullptr);
  ChunkPut32(c, 12, 0x7FFFFFFF);
  EXPECT_EQ(ScanArmy2List(c), nullptr);
  FreeChunk(c);
}

// ---- figures ----

namespace {
Bytes MapPrefsFile(std::vector<FigurRecord> figs) {
  Bytes f = {'M', 'R', 'E', 'F', 'V', '0', '0', '1', 0, 0, 0, 16};
  f.resize(28, 0);
  f.insert(f.end(), {'M', 'O', 'V', 'E', 'V', '0', '0', '1'});
  uint32_t len = 2 + 18 * (uint32_t)figs.size();
  f.push_back(len >> 24); f.push_back(len >> 16); f.push_back(len >> 8); f.push_back(len);
  f.push_back(figs.size() >> 8); f.push_back(figs.size() & 0xFF);
  for (auto& g : figs) {
    uint8_t r[18];
    PutBE32(r, g.owner); PutBE16(r + 4, g.type); PutBE16(r + 6, g.number);
    PutBE32(r + 8, g.x); PutBE32(r + 12, g.y); r[16] = g.state; r[17] = g.points;
    f.insert(f.end(), r, r + 18);
  }
  return f;
}
std::vector<FigurRecord> Figures() {
  ListHeader* l = CreateList(LIST_FIGURES);
  uint8_t* move = LoadChunk2Mem("MOVE", MapPrefsPath);
  std::vector<FigurRecord> out;
  if (move && ScanFigur2List(l, move))
    for (uint32_t i = 0; i < l->count; i++) out.push_back(At<MOVE_EXT>(l, i)->figure);
  FreeChunk(move);
  DeleteList(l, 0);
  return out;
}
}  // namespace

TEST_F(Lists, MapPrefsAddRemoveKeepLayout) {
  mkdir("Data", 0755);
  std::vector<FigurRecord> start = {
      {7, 14, 1, 50, 60, 0, 3}, {7, 15, 2, 50, 60, 0, 3}, {8, 14, 3, 50, 60, 0, 3},
      {7, 2, 4, 50, 60, 7, 0},  {7, 2, 5, 50, 60, 0, 0},  {7, 2, 6, 50, 60, 0, 0},
      {7, 12, 9, 50, 60, 0, 0}, {7, 5, 10, 51, 60, 0, 0},
  };
  Bytes file = MapPrefsFile(start);
  file[12] = 0xAB;  // MREF payload is kept as it is
  WriteFileBytes("Data/MapPrefs.qoe", file);

  uint16_t nr = AddFigur2MapPrefs(MapPrefsPath, 10, 12799, 6399);
  EXPECT_EQ(nr, 7);
  Bytes now = ReadFileBytes("Data/MapPrefs.qoe");
  ASSERT_EQ(now.size(), file.size() + 18);
  EXPECT_EQ(0, memcmp(now.data(), file.data(), 28));
  EXPECT_EQ(0, memcmp(now.data() + 28, "MOVE", 4));
  EXPECT_EQ(GetBE32(now.data() + 36), 2u + 18 * 9);
  EXPECT_EQ(GetBE16(now.data() + 40), 9);
  const uint8_t* last = now.data() + 42 + 18 * 8;
  EXPECT_EQ(GetBE32(last), 7u);
  EXPECT_EQ(GetBE16(last + 4), 10);
  EXPECT_EQ(GetBE16(last + 6), 7);
  EXPECT_EQ(GetBE32(last + 8), 12799u);
  EXPECT_EQ(last[16], 0);
  EXPECT_EQ(last[17], 0);

  // Type 2, number -2: the first own one that is not carried (number 5).
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 2, 50, 60, -2), 1);
  auto f = Figures();
  ASSERT_EQ(f.size(), 8u);
  for (auto& g : f) EXPECT_NE(g.number, 5);
  // Kind 31 with a number: that own ship only; the foreign ship stays.
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 31, 50, 60, 2), 1);
  EXPECT_EQ(Figures().size(), 7u);
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 31, 50, 60, -1), 1);
  f = Figures();
  ASSERT_EQ(f.size(), 6u);
  EXPECT_EQ(f[0].owner, 8u);
  // Kind 30: own armies at the place; the cavalry at 51 stays.
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 30, 50, 60, -1), 1);
  f = Figures();
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[1].type, 12);
  EXPECT_EQ(f[2].type, 5);
  // A type with a number that is not there changes nothing.
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 12, 50, 60, 77), 1);
  EXPECT_EQ(Figures().size(), 4u);
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 12, 50, 60, -1), 1);
  EXPECT_EQ(Figures().size(), 3u);
  now = ReadFileBytes("Data/MapPrefs.qoe");
  EXPECT_EQ(now[12], 0xAB);
  EXPECT_EQ(0, memcmp(now.data() + 28, "MOVE", 4));

  // Whole list written back.
  ListHeader* l = CreateList(LIST_FIGURES);
  NewNode<MOVE_EXT>(l)->figure = FigurRecord{7, 0, 1, 2, 3, 4, 5};
  EXPECT_EQ(SaveFigurList2MapPrefs(l), 1);
  DeleteList(l, 0);
  now = ReadFileBytes("Data/MapPrefs.qoe");
  ASSERT_EQ(now.size(), 40u + 2 + 18);
  EXPECT_EQ(now[12], 0xAB);
  EXPECT_EQ(GetBE16(now.data() + 40), 1);
  EXPECT_EQ(now[42 + 17], 5);
}

TEST_F(Lists, MapPrefsFailures) {
  mkdir("Data", 0755);
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 31, 1, 1, -1), 0);
  // A missing file is made with the new figure.
  EXPECT_EQ(AddFigur2MapPrefs(MapPrefsPath, 0, 1, 2), 1);
  EXPECT_EQ(Figures().size(), 1u);
  // A corrupt file is never overwritten.
  Bytes bad = MapPrefsFile({{7, 1, 1, 1, 1, 0, 0}});
  bad[41] = 40;  // count 40, one record
  WriteFileBytes("Data/MapPrefs.qoe", bad);
  EXPECT_EQ(AddFigur2MapPrefs(MapPrefsPath, 0, 1, 2), 0xFFFF);
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 1, 1, 1, -1), 0);
  EXPECT_EQ(ReadFileBytes("Data/MapPrefs.qoe"), bad);
  // Free numbers.
  uint8_t* move = AllocChunk("MOVE", "V001", 2 + 36);
  ChunkPut16(move, 12, 2);
  ChunkPut16(move, 14 + 6, 1);
  ChunkPut16(move, 32 + 6, 2);
  EXPECT_EQ(GetFreeFigurNummer(move), 3);
  FreeChunk(move);
}

TEST_F(Lists, FigureDependenceWrapsAndCarriesCargo) {
  ListHeader* armies = CreateList(LIST_ARMIES);
  Army* a = NewNode<Army>(armies);
  a->ArmeeID = 4; a->Besitzer = 7; a->X = 12799; a->Y = 0;
  Army* carried = NewNode<Army>(armies);
  carried->ArmeeID = 9; carried->Besitzer = 7; carried->X = 12799; carried->Y = 6399;
  ListHeader* ships = CreateList(LIST_SHIPS);
  Schiffseintrag* s = NewNode<Schiffseintrag>(ships);
  s->ship_id = 3; s->x = 12799; s->y = 6399;
  s->cargo[1] = FigurRecord{7, 2, 9, 12799, 6399, 7, 0};
  uint8_t figures[2 + 18 * 3] = {};
  ChunkPut16(figures, 0, 3);
  PutFigurRecord(figures + 2, FigurRecord{7, 17, 3, 12799, 6399, 0, 5});
  PutFigurRecord(figures + 20, FigurRecord{7, 1, 4, 12799, 0, 0, 5});
  PutFigurRecord(figures + 38, FigurRecord{7, 2, 9, 12799, 6399, 7, 0});

  FigurRecord army_fig = GetFigurRecord(figures + 20);
  SetFigurDependence(&army_fig, 1, -1, armies, ships, figures, sizeof figures);
  EXPECT_EQ(a->X, 0u);
  EXPECT_EQ(a->Y, 6399u);

  EXPECT_EQ(FindLadungsFigur(figures, sizeof figures, s, 1), figures + 38);
  EXPECT_EQ(FindLadungsFigur(figures, sizeof figures, s, 0), nullptr);
  EXPECT_EQ(FindLadungsFigur(figures, sizeof figures, s, 3), nullptr);

  FigurRecord ship_fig = GetFigurRecord(figures + 2);
  SetFigurDependence(&ship_fig, 1, 1, armies, ships, figures, sizeof figures);
  EXPECT_EQ(s->x, 0u);
  EXPECT_EQ(s->y, 0u);
  EXPECT_EQ(s->cargo[1].x, 0u);
  EXPECT_EQ(s->cargo[0].x, 0u);  // empty slot untouched
  FigurRecord moved = GetFigurRecord(figures + 38);
  EXPECT_EQ(moved.x, 0u);
  EXPECT_EQ(moved.y, 0u);
  EXPECT_EQ(carried->X, 0u);
  EXPECT_EQ(GetFigurRecord(figures + 2).x, 12799u);  // the ship figure itself is the caller's
  // A count larger than the buffer is cut to it.
  ChunkPut16(figures, 0, 500);
  EXPECT_EQ(FindLadungsFigur(figures, sizeof figures, s, 1), figures + 38);
  DeleteArmyList(armies);
  DeleteList(ships, 0);
}

// ---- side files ----

TEST_F(Lists, ShipAddOnAndMapNamesFiles) {
  mkdir("Data", 0755);
  ListHeader* l = ScanShipAddOn2List();
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->count, 0u);
  ShipAddOn* s = NewNode<ShipAddOn>(l);
  strcpy(s->name, "Seeadler");
  s->ship_id = 0x1234;
  s->repair = 5;
  NewNode<ShipAddOn>(l)->ship_id = 9;
  ASSERT_EQ(SaveShipAddOnList(l), 1);
  DeleteList(l, 0);
  Bytes f = ReadFileBytes("Data/ShipAddOn.dat");
  ASSERT_EQ(f.size(), 192u);
  EXPECT_EQ(0, memcmp(f.data(), "Seeadler", 9));
  EXPECT_EQ(f[80], 0x12);
  EXPECT_EQ(f[81], 0x34);
  EXPECT_EQ(f[83], 5);
  EXPECT_EQ(GetBE16(f.data() + 96 + 80), 9);
  l = ScanShipAddOn2List();
  ASSERT_NE(l, nullptr);
  ASSERT_EQ(l->count, 2u);
  EXPECT_STREQ(At<ShipAddOn>(l, 0)->name, "Seeadler");
  DeleteList(l, 0);
  f.pop_back();
  WriteFileBytes("Data/ShipAddOn.dat", f);
  EXPECT_EQ(ScanShipAddOn2List(), nullptr);

  l = CreateList(LIST_MAP_NAMES);
  EXPECT_EQ(ScanMapNames2List(l), 1);
  MapNameEintrag* m = NewNode<MapNameEintrag>(l);
  m->x = 300; m->y = 400;
  strcpy(m->name, "Drachenfels");
  ASSERT_EQ(SaveMapNamesList(l), 1);
  DeleteList(l, 0);
  f = ReadFileBytes("Data/MapNames.dat");
  ASSERT_EQ(f.size(), 88u);
  EXPECT_EQ(GetBE16(f.data()), 300);
  EXPECT_EQ(GetBE16(f.data() + 2), 400);
  EXPECT_EQ(0, memcmp(f.data() + 4, "Drachenfels", 12));
  l = CreateList(LIST_MAP_NAMES);
  ASSERT_EQ(ScanMapNames2List(l), 1);
  ASSERT_EQ(l->count, 1u);
  EXPECT_STREQ(At<MapNameEintrag>(l, 0)->name, "Drachenfels");
  DeleteList(l, 0);
}

TEST_F(Lists, CultureFilesRoundTrip) {
  mkdir("Map", 0755);
  std::mt19937 rng(5);
  ListHeader* l = CreateList(LIST_CULTURE_FIELDS);
  EXPECT_EQ(ScanMapCult2List(l, 3, 4), 1);
  EXPECT_EQ(l->count, 0u);
  for (int i = 0; i < 5; i++) {
    MapCultEintrag* c = NewNode<MapCultEintrag>(l);
    c->x = (uint16_t)rng(); c->y = (uint16_t)rng(); c->harvest_workers = (uint16_t)rng();
    c->wood_workers = (uint16_t)rng(); c->stone_workers = (uint16_t)rng();
    for (int k = 0; k < 11; k++) {
      c->harvest[k] = rng(); c->wood[k] = (uint16_t)rng(); c->stone[k] = (uint16_t)rng();
    }
  }
  At<MapCultEintrag>(l, 0)->harvest_workers = 0x0102;
  At<MapCultEintrag>(l, 0)->harvest[0] = 0x03040506;
  At<MapCultEintrag>(l, 0)->wood_workers = 0x0708;
  At<MapCultEintrag>(l, 0)->stone_workers = 0x090A;
  ASSERT_EQ(SaveMapCultList(l, 3, 4), 1);
  Bytes f = ReadFileBytes("Map/C_3_4.qoe");
  ASSERT_EQ(f.size(), 5u * 98);
  EXPECT_EQ(GetBE16(f.data() + 4), 0x0102);
  EXPECT_EQ(GetBE32(f.data() + 6), 0x03040506u);
  EXPECT_EQ(GetBE16(f.data() + 50), 0x0708);
  EXPECT_EQ(GetBE16(f.data() + 74), 0x090A);
  ListHeader* b = CreateList(LIST_CULTURE_FIELDS);
  ASSERT_EQ(ScanMapCult2List(b, 3, 4), 1);
  ExpectSameRecords(l, b, sizeof(MapCultEintrag) - sizeof(ListNode));
  DeleteList(b, 0);
  DeleteList(l, 0);
  l = CreateList(LIST_CULTURE_FIELDS);
  EXPECT_EQ(SaveMapCultList(l, 3, 4), 1);
  EXPECT_FALSE(FileExists("Map/C_3_4.qoe"));
  DeleteList(l, 0);

  EXPECT_EQ(CalcCultValueA(7, 0, 0), 10000u);
  EXPECT_GT(CalcCultValueA(7, 1000, 0), CalcCultValueA(7, 10, 0));
  EXPECT_GT(CalcCultValueB(4, 1000, 0), CalcCultValueB(7, 1000, 0));
  EXPECT_GT(CalcCultValueC(1, 1000), CalcCultValueC(7, 1000));
  EXPECT_EQ(CalcCultValueA(99, 10, 0), 0u);
  EXPECT_EQ(CalcCultValueA(7, 0xFFFFFFFF, 0xFFFFFFFF), CalcCultValueA(7, 1000, 0xFFFFFFFF));
}

// ---- players and letters ----

TEST_F(Lists, PlayerNamesAndRequests) {
  mkdir("Data", 0755);
  mkdir("Data/POP3Out", 0755);
  ListHeader* p = CreateList(LIST_PLAYERS);
  SpielerEintrag* s = NewNode<SpielerEintrag>(p);
  s->id = 42;
  strcpy(s->name, "Harald Schoenhaar");
  uint8_t* antw = MakeSpielerChunkFromList(p);
  ASSERT_EQ(SaveChunk2File(".\\Data\\SpielerList.qoe", antw), 1);
  FreeChunk(antw);
  char buf[80];
  EXPECT_EQ(FindPlayerNameInList(42, buf, p), 1);
  EXPECT_STREQ(buf, "Harald Schoenhaar");
  EXPECT_EQ(FindPlayerNameInList(43, buf, p), 0);
  DeleteList(p, 0);

  char name[40];
  EXPECT_EQ(GetPlayerName(42, name, 1), 1);
  EXPECT_STREQ(name, "Harald Schoenhaar");
  EXPECT_FALSE(FileExists("Data/POP3Out/GameChunk.qoe"));
  EXPECT_EQ(GetPlayerName(43, name, 0), 0);
  EXPECT_STREQ(name, "unknown");
  EXPECT_FALSE(FileExists("Data/POP3Out/GameChunk.qoe"));
  EXPECT_EQ(GetPlayerName(43, name, 1), 0);
  EXPECT_EQ(GetPlayerName(44, name, 1), 0);
  EXPECT_EQ(GetPlayerName(43, name, 1), 0);
  uint8_t* anfr = LoadChunk2Mem("ANFR", ".\\Data\\POP3Out\\GameChunk.qoe");
  ASSERT_NE(anfr, nullptr);
  EXPECT_EQ(ChunkGet32(anfr, 12), 2u);
  EXPECT_EQ(ChunkGet32(anfr, 16), 43u);
  EXPECT_EQ(ChunkGet32(anfr, 20), 44u);
  FreeChunk(anfr);
}

TEST_F(Lists, LettersWriteAndScan) {
  ASSERT_EQ(CreateSmalMail("Bert", 0x2A, "Handel", "Wollt Ihr Korn?"), 1);
  ASSERT_EQ(CreateSmalMail("Bert", 0x2A, "Nochmal", "Zweiter Brief"), 1);
  EXPECT_TRUE(FileExists("Data/MailOut/E000002a_00.smal"));
  EXPECT_TRUE(FileExists("Data/MailOut/E000002a_01.smal"));
  EXPECT_TRUE(FileExists("Data/MailIn/E0000007_00.smal"));
  EXPECT_TRUE(FileExists("Data/MailIn/E0000007_01.smal"));
  Bytes f = ReadFileBytes("Data/MailOut/E000002a_00.smal");
  ASSERT_EQ(f.size(), 292u + 16);
  EXPECT_EQ(0, memcmp(f.data(), "SMALV001", 8));
  EXPECT_EQ(GetBE32(f.data() + 8), (uint32_t)f.size() - 12);
  EXPECT_EQ(GetBE32(f.data() + 276), 7u);
  EXPECT_EQ(GetBE32(f.data() + 280), 0x2Au);
  EXPECT_EQ(0, memcmp(f.data() + 12, "Harald", 7));
  EXPECT_EQ(0, memcmp(f.data() + 92, "Handel", 7));

  // A letter from somebody else to somebody else in the same folder.
  uint8_t* other = AllocChunk("SMAL", "V001", 280 + 2);
  ChunkPut32(other, SMAL_SENDER_ID, 5);
  ChunkPut32(other, SMAL_RECIPIENT_ID, 6);
  ChunkPut32(other, SMAL_TEXT_LEN, 2);
  other[SMAL_TEXT] = 'x';
  ASSERT_EQ(SaveChunk2File(".\\Data\\MailIn\\E0000005_00.smal", other), 1);
  FreeChunk(other);
  WriteFileBytes("Data/MailIn/E0000009_00.smal", {'j', 'u', 'n', 'k'});
  WriteFileBytes("Data/MailIn/readme.txt", {'x'});

  ListHeader* l = CreateList(LIST_LETTERS);
  EXPECT_EQ(ScanSmals2List(l, ".\\Data\\MailIn", "        _  .smal", 0), 3u);
  DeleteList(l, 1);
  SetGameDataOwner(6, "Sechs");
  l = CreateList(LIST_LETTERS);
  EXPECT_EQ(ScanSmals2List(l, ".\\Data\\MailIn", "        _  .smal", 1), 1u);
  SmalListEntry* e = reinterpret_cast<SmalListEntry*>(GetNode(l, LN_HEAD, 0));
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->sender_id, 5u);
  EXPECT_STREQ(e->text, "x");
  DeleteList(l, 1);
  SetGameDataOwner(7, "Harald");
  l = CreateList(LIST_LETTERS);
  EXPECT_EQ(ScanSmals2List(l, ".\\Data\\MailIn", "E0000007_00.smal", 0), 1u);
  e = reinterpret_cast<SmalListEntry*>(GetNode(l, LN_HEAD, 0));
  EXPECT_STREQ(e->subject, "Handel");
  EXPECT_STREQ(e->sender, "Harald");
  EXPECT_STREQ(e->recipient, "Bert");
  EXPECT_STREQ(e->text, "Wollt Ihr Korn?");
  EXPECT_EQ(strncmp(e->line, "Harald     : Handel", 19), 0);
  EXPECT_EQ(e->recipient_id, 0x2Au);
  EXPECT_EQ(strlen(e->date_text), 19u);
  DeleteList(l, 1);

  // A letter to all lords takes the stem "fffffff" and keeps its ID at 280.
  ASSERT_EQ(CreateSmalMail("Alle", 0xFFFFFFFF, "An alle", "Text"), 1);
  Bytes all = ReadFileBytes("Data/MailOut/Efffffff_00.smal");
  ASSERT_EQ(all.size(), 292u + 5);
  EXPECT_EQ(GetBE32(all.data() + 280), 0xFFFFFFFFu);
  EXPECT_EQ(GetBE32(all.data() + 276), 7u);
  l = CreateList(LIST_LETTERS);
  EXPECT_EQ(ScanSmals2List(l, ".\\Data\\MailOut", "        _  .smal", 0), 3u);
  bool found = false;
  for (ListNode* n = l->first; n; n = n->next) {
    if (reinterpret_cast<SmalListEntry*>(n)->recipient_id == 0xFFFFFFFF) found = true;
    if (n->next == l->first) break;
  }
  EXPECT_TRUE(found);
  DeleteList(l, 1);
  // IDs above 0x0FFFFFFF do not fit the name.
  EXPECT_EQ(CreateSmalMail("Graf", 0x10000000, "n", "t"), 0);
  EXPECT_EQ(CreateSmalMail("Graf", 0xFFFFFFFE, "n", "t"), 0);
  DeleteTree(".\\Data\\MailIn");  // the own copies: room for a hundred
  for (int i = 2; i < 100; i++) ASSERT_EQ(CreateSmalMail("Bert", 0x2A, "n", "t"), 1) << i;
  // The 101st letter to one recipient: no name left; nothing is written.
  const auto before = qoe_test::FileTree("Data");
  EXPECT_EQ(CreateSmalMail("Bert", 0x2A, "n", "t"), 0);
  EXPECT_EQ(qoe_test::FileTree("Data"), before);
}

TEST_F(Lists, AKilledLetterLeavesBothCopiesOrNeither) {
  std::mt19937 rng(11);
  const int64_t whole = qoe_test::MicrosOf([] {
    CreateSmalMail("Bert", 0x2A, "Handel", "Korn");
  });
  DeleteTree(".\\Data");
  for (int round = 0; round < 40; ++round) {
    qoe_test::KillAfterStart([] { return CreateSmalMail("Bert", 0x2A, "Handel", "Korn") ? 0 : 1; },
                             (int64_t)(rng() % (uint32_t)(whole * 2 + 1)));
    FinishCommitRecords();
    RemoveStaleTempFiles(".", 6);
    const bool out = FileExists("Data/MailOut/E000002a_00.smal");
    const bool in = FileExists("Data/MailIn/E0000007_00.smal");
    EXPECT_EQ(out, in) << round;
    if (out) { EXPECT_EQ(ReadFileBytes("Data/MailOut/E000002a_00.smal"), ReadFileBytes("Data/MailIn/E0000007_00.smal")); }
    DeleteTree(".\\Data");
  }
}

TEST_F(Lists, CheckOtherBuildingInGeba) {
  uint8_t* g = AllocChunk("GEBA", "V001", 6 + 32);
  ChunkPut16(g, 16, 2);
  ChunkPut16(g, 18, 55);
  ChunkPut16(g, 18 + 14, 3);
  ChunkPut16(g, 34, 48);
  ChunkPut16(g, 34 + 14, 4);
  EXPECT_EQ(CheckOtherBuilding(g, 55, 3), 1);
  EXPECT_EQ(CheckOtherBuilding(g, 55, 4), 0);
  EXPECT_EQ(CheckOtherBuilding(g, 48, 4), 1);
  ChunkPut16(g, 16, 3);  // count past the payload
  EXPECT_EQ(CheckOtherBuilding(g, 55, 3), 0);
  EXPECT_EQ(CheckOtherBuilding(nullptr, 55, 3), 0);
  FreeChunk(g);
}

TEST_F(Lists, MadeChunksByteExactOnDisk) {
  auto be = [](std::initializer_list<std::pair<uint32_t, int>> fields) {
    Bytes b;
    for (auto& f : fields)
      for (int k = f.second - 1; k >= 0; k--) b.push_back((uint8_t)(f.first >> (8 * k)));
    return b;
  };
  auto saved = [](uint8_t* c) {
    EXPECT_EQ(SaveChunk2File(".\\m.qoe", c), 1);
    FreeChunk(c);
    return ReadFileBytes("m.qoe");
  };
  Bytes head = {'W', 'A', 'R', 'E', 'V', '0', '0', '1'};

  ListHeader* l = CreateList(LIST_GOODS);
  WarenListenEntry* w = NewNode<WarenListenEntry>(l);
  w->kind = 5; w->owner = 0x01020304; w->goods = 50; w->quantity = 7; w->price = 9;
  w->ident = 0xA0B0C0D0; w->buyer = 3; w->bid_quantity = 4; w->bid_price = 5; w->closing = 0xBEEF;
  Bytes want = head;
  Bytes rest = be({{38, 4}, {1, 2}, {5, 2}, {0x01020304, 4}, {50, 4}, {7, 4}, {9, 4}, {0xA0B0C0D0, 4},
                   {3, 4}, {4, 4}, {5, 4}, {0xBEEF, 2}});
  want.insert(want.end(), rest.begin(), rest.end());
  EXPECT_EQ(saved(MakeWareChunkFromList(l)), want);
  DeleteList(l, 0);

  l = CreateList(LIST_SHIPS);
  Schiffseintrag* s = NewNode<Schiffseintrag>(l);
  s->ship_id = 3; s->damage = 1; s->ship_class = 15; s->x = 100; s->y = 200;
  s->cargo[2] = FigurRecord{7, 10, 4, 100, 200, 7, 1};
  want = {'S', 'H', 'I', 'P', 'V', '0', '0', '1'};
  rest = be({{72, 4}, {1, 4}, {3, 2}, {1, 2}, {15, 2}, {100, 4}, {200, 4}});
  want.insert(want.end(), rest.begin(), rest.end());
  want.insert(want.end(), 36, 0);
  rest = be({{7, 4}, {10, 2}, {4, 2}, {100, 4}, {200, 4}, {7, 1}, {1, 1}});
  want.insert(want.end(), rest.begin(), rest.end());
  EXPECT_EQ(saved(MakeShipChunkFromList(l)), want);
  DeleteList(l, 0);

  ListHeader* armies = CreateList(LIST_ARMIES);
  Army* a = NewNode<Army>(armies);
  a->X = 1; a->Y = 2; a->Besitzer = 7; a->ArmeeID = 33; a->ArmeeTypAnzahl = 99;  // count comes from the list
  strcpy(a->ArmyName, "Garde");
  a->parts = CreateList(LIST_ARMY_PARTS);
  ArmeeTyp* p = NewNode<ArmeeTyp>(a->parts);
  p->Typ = 2; p->Leute = 120; p->SaboteurAnzahl = 5;  // likewise
  want = {'A', 'R', 'M', 'Y', 'V', '0', '0', '1'};
  rest = be({{4 + 60 + 52, 4}, {1, 4}});
  want.insert(want.end(), rest.begin(), rest.end());
  want.insert(want.end(), {'A', 'R', 'H', 'D'});
  rest = be({{52, 4}, {1, 4}, {2, 4}, {7, 4}, {0, 4}, {0, 4}, {33, 4}, {1, 4}, {0, 4}});
  want.insert(want.end(), rest.begin(), rest.end());
  want.insert(want.end(), {'G', 'a', 'r', 'd', 'e'});
  want.insert(want.end(), 15, 0);
  want.insert(want.end(), {'A', 'R', 'E', 'N'});
  rest = be({{44, 4}, {2, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {0, 4}, {120, 4}, {0, 4}});
  want.insert(want.end(), rest.begin(), rest.end());
  EXPECT_EQ(saved(CovertArmyList2ArmyChunk(armies)), want);
  DeleteArmyList(armies);
}

TEST(ChunkSwap, BothWaysAndBounds) {
  uint8_t* c = AllocChunk("HERB", "V001", 4 + 12);
  ChunkPut32(c, 12, 1);
  ChunkPut32(c, 16, 0x11223344);
  ChunkPut16(c, 26, 0x5566);
  Bytes host(c, c + 28);
  ASSERT_EQ(SwapByteOrderInChunk(c, 28, 0), 1);
  EXPECT_EQ(GetBE32(c + 8), 16u);
  EXPECT_EQ(GetBE32(c + 16), 0x11223344u);
  EXPECT_EQ(GetBE16(c + 26), 0x5566);
  ASSERT_EQ(SwapByteOrderInChunk(c, 28, 1), 1);
  EXPECT_EQ(Bytes(c, c + 28), host);
  EXPECT_EQ(SwapByteOrderInChunk(c, 27, 1), 0);  // the buffer is shorter than the chunk
  EXPECT_EQ(SwapByteOrderInChunk(c, 11, 1), 0);
  EXPECT_EQ(SwapByteOrderInChunk(nullptr, 28, 1), 0);
  ChunkPut32(c, 12, 2);  // count past the payload: nothing changes
  Bytes before(c, c + 28);
  EXPECT_EQ(SwapByteOrderInChunk(c, 28, 0), 0);
  EXPECT_EQ(Bytes(c, c + 28), before);
  FreeChunk(c);
}

TEST_F(Lists, MapPrefsSlackAndFailedWrites) {
  mkdir("Data", 0755);
  // A MOVE payload with room to spare (the map view's list size) is read.
  Bytes file = MapPrefsFile({{7, 2, 1, 5, 6, 0, 0}, {8, 14, 2, 5, 6, 0, 0}});
  PutBE32(file.data() + 36, GetBE32(file.data() + 36) + 36);
  file.insert(file.end(), 36, 0);
  WriteFileBytes("Data/MapPrefs.qoe", file);
  uint8_t* move = LoadChunk2Mem("MOVE", MapPrefsPath);
  ASSERT_NE(move, nullptr);
  EXPECT_EQ(ChunkGet16(move, 12), 2);
  FreeChunk(move);
  // Failed writes leave the file as it was and report failure.
  FileFailWritesAfter(0);
  EXPECT_EQ(AddFigur2MapPrefs(MapPrefsPath, 10, 1, 1), 0xFFFF);
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 2, 5, 6, -1), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(ReadFileBytes("Data/MapPrefs.qoe"), file);
  // Then both work and MOVE stays at 28 with its payload at 40.
  EXPECT_EQ(AddFigur2MapPrefs(MapPrefsPath, 10, 1, 1), 3);
  EXPECT_EQ(RemoveFigurFromMapPrefs(MapPrefsPath, 2, 5, 6, -1), 1);
  Bytes now = ReadFileBytes("Data/MapPrefs.qoe");
  ASSERT_EQ(now.size(), 40u + 2 + 36);
  EXPECT_EQ(0, memcmp(now.data() + 28, "MOVEV001", 8));
  EXPECT_EQ(GetBE32(now.data() + 36), 2u + 36);
  EXPECT_EQ(GetBE16(now.data() + 40), 2);
  EXPECT_EQ(GetBE32(now.data() + 42), 8u);
  EXPECT_EQ(GetBE16(now.data() + 42 + 18 + 6), 3);
}

TEST_F(Lists, LetterNotLeftHalfWritten) {
  // The outgoing copy is written, the own copy fails: no letter is left to be sent.
  FileFailWritesAfter(292 + 5);
  EXPECT_EQ(CreateSmalMail("Bert", 0x2A, "Handel", "Korn"), 0);
  FileFailWritesAfter(-1);
  EXPECT_FALSE(FileExists("Data/MailOut/E000002a_00.smal"));
  EXPECT_FALSE(FileExists("Data/MailIn/E0000007_00.smal"));
  ASSERT_EQ(CreateSmalMail("Bert", 0x2A, "Handel", "Korn"), 1);
  EXPECT_TRUE(FileExists("Data/MailOut/E000002a_00.smal"));
}
