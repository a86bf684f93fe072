// The goods list: nodes by kind, the store and sale rules of AddWare2List,
// the line texts of every list mode, and the realm's market values read
// from the turn's chunks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/tests/goods_nodes.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/towns.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"

namespace {

class GoodsList : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterGameDataListTypes();
    SetGameDataOwner(7, "Harald");
    list_ = CreateList(LIST_GOODS);
    ASSERT_NE(list_, nullptr);
  }
  void TearDown() override {
    DeleteList(list_, 0);
    ResetChunkPoolState();
  }
  // A node as the WARE chunk would give it.
  WarenListenEntry* Add(uint16_t kind, uint32_t owner, uint32_t type, uint32_t quantity, uint32_t price,
                        uint32_t bid_q = 0, uint32_t bid_p = 0) {
    return goods_test::AddWare(list_, {kind, owner, type, quantity, price, bid_q, bid_p});
  }
  std::vector<std::string> Lines(uint32_t mode, ListHeader* players = nullptr) {
    uint32_t n = 99;
    char* lines = MakeWarenLines(list_, mode, players, &n);
    std::vector<std::string> out;
    for (uint32_t i = 0; i < n; ++i) out.emplace_back(lines + i * 80);
    FreeVec(lines);
    return out;
  }
  ListHeader* list_ = nullptr;
};

TEST_F(GoodsList, FindWarenNodeCountsOnlyTheKindInListOrder) {
  WarenListenEntry* s0 = Add(WARE_LAGER, 7, 10, 5, 1);
  WarenListenEntry* f0 = Add(WARE_FREMD, 3, 11, 6, 2);
  WarenListenEntry* s1 = Add(WARE_LAGER, 7, 12, 7, 3);
  WarenListenEntry* o0 = Add(WARE_ANGEBOT, 7, 13, 8, 4);
  WarenListenEntry* f1 = Add(WARE_FREMD, 4, 14, 9, 5);
  EXPECT_EQ(FindWarenNode(list_, 0, WARE_LAGER), s0);
  EXPECT_EQ(FindWarenNode(list_, 1, WARE_LAGER), s1);
  EXPECT_EQ(FindWarenNode(list_, 2, WARE_LAGER), nullptr);
  EXPECT_EQ(FindWarenNode(list_, 0, WARE_FREMD), f0);
  EXPECT_EQ(FindWarenNode(list_, 1, WARE_FREMD), f1);
  EXPECT_EQ(FindWarenNode(list_, 0, WARE_ANGEBOT), o0);
  EXPECT_EQ(FindWarenNode(list_, 1, WARE_ANGEBOT), nullptr);
  EXPECT_EQ(FindWarenNode(list_, 0, 9), nullptr);
  EXPECT_EQ(CountWarenNodes(list_, WARE_LAGER), 2u);
  EXPECT_EQ(CountWarenNodes(list_, WARE_FREMD), 2u);
  EXPECT_EQ(CountWarenNodes(list_, WARE_ANGEBOT), 1u);
  // The walk leaves no search key behind and ends on an empty list.
  EXPECT_EQ(list_->fields[0].key, 0);
  ListHeader* empty = CreateList(LIST_GOODS);
  EXPECT_EQ(FindWarenNode(empty, 0, WARE_LAGER), nullptr);
  EXPECT_EQ(CountWarenNodes(empty, WARE_LAGER), 0u);
  DeleteList(empty, 0);
  EXPECT_EQ(FindWarenNode(nullptr, 0, WARE_LAGER), nullptr);
}

TEST_F(GoodsList, SellingTheWholeStoreReusesTheStoreNode) {
  Add(WARE_FREMD, 3, 11, 6, 2);
  WarenListenEntry* store = Add(WARE_LAGER, 7, 27, 40, 12);
  ASSERT_EQ(AddWare2List(list_, WARE_ANGEBOT, 27, 40, 55), 1);
  EXPECT_EQ(list_->count, 2u);
  EXPECT_EQ(CountWarenNodes(list_, WARE_LAGER), 0u);
  WarenListenEntry* offer = FindWarenNode(list_, 0, WARE_ANGEBOT);
  EXPECT_EQ(offer, store);
  EXPECT_EQ(offer->goods, 27u);
  EXPECT_EQ(offer->quantity, 40u);
  EXPECT_EQ(offer->price, 55u);
  EXPECT_EQ(offer->owner, 7u);
  EXPECT_EQ(offer->buyer, 0u);
  EXPECT_EQ(offer->bid_quantity, 0u);
}

TEST_F(GoodsList, SellingPartOfTheStoreLowersItAndMakesANode) {
  WarenListenEntry* store = Add(WARE_LAGER, 7, 27, 40, 12);
  ASSERT_EQ(AddWare2List(list_, WARE_ANGEBOT, 27, 15, 30), 1);
  EXPECT_EQ(list_->count, 2u);
  EXPECT_EQ(store->quantity, 25u);
  WarenListenEntry* offer = FindWarenNode(list_, 0, WARE_ANGEBOT);
  ASSERT_NE(offer, nullptr);
  EXPECT_NE(offer, store);
  EXPECT_EQ(offer->quantity, 15u);
  EXPECT_EQ(offer->price, 30u);
}

TEST_F(GoodsList, ASaleLargerThanTheStoreIsRefused) {
  WarenListenEntry* store = Add(WARE_LAGER, 7, 27, 40, 12);
  EXPECT_EQ(AddWare2List(list_, WARE_ANGEBOT, 27, 41, 30), 0);
  EXPECT_EQ(list_->count, 1u);
  EXPECT_EQ(store->quantity, 40u);
  // A type not in store at all, and an unknown type.
  EXPECT_EQ(AddWare2List(list_, WARE_ANGEBOT, 28, 1, 30), 0);
  EXPECT_EQ(AddWare2List(list_, WARE_LAGER, 116, 1, 30), 0);
  EXPECT_EQ(AddWare2List(list_, WARE_ANGEBOT, 0xFFFFFFFFu, 1, 30), 0);
  EXPECT_EQ(list_->count, 1u);
}

TEST_F(GoodsList, ASaleTakesFromSeveralStoreNodesInListOrder) {
  WarenListenEntry* a = Add(WARE_LAGER, 7, 27, 10, 12);
  Add(WARE_LAGER, 7, 30, 99, 12);
  WarenListenEntry* b = Add(WARE_LAGER, 7, 27, 30, 12);
  ASSERT_EQ(AddWare2List(list_, WARE_ANGEBOT, 27, 25, 30), 1);
  EXPECT_EQ(CountWarenNodes(list_, WARE_LAGER), 2u);
  EXPECT_EQ(FindWarenNode(list_, 0, WARE_LAGER)->goods, 30u);
  EXPECT_EQ(FindWarenNode(list_, 1, WARE_LAGER), b);
  EXPECT_EQ(b->quantity, 15u);
  EXPECT_EQ(FindWarenNode(list_, 0, WARE_ANGEBOT)->quantity, 25u);
  (void)a;
}

TEST_F(GoodsList, CornIsOfferedFromTheGranary) {
  ASSERT_EQ(AddWare2List(list_, WARE_ANGEBOT, 0, 5000, 2), 1);
  ASSERT_EQ(list_->count, 1u);
  EXPECT_EQ(FindWarenNode(list_, 0, WARE_ANGEBOT)->quantity, 5000u);
}

TEST_F(GoodsList, StoringAStoredTypeChangesOnlyTheQuantity) {
  WarenListenEntry* store = Add(WARE_LAGER, 7, 12, 40, 12);
  store->ident = 1234;
  ASSERT_EQ(AddWare2List(list_, WARE_LAGER, 12, 5, 99), 1);
  EXPECT_EQ(list_->count, 1u);
  EXPECT_EQ(store->quantity, 45u);
  EXPECT_EQ(store->price, 12u);
  EXPECT_EQ(store->ident, 1234u);
  // A new type becomes a new store node at the end.
  ASSERT_EQ(AddWare2List(list_, WARE_LAGER, 13, 3, 8), 1);
  EXPECT_EQ(list_->count, 2u);
  WarenListenEntry* n = FindWarenNode(list_, 1, WARE_LAGER);
  EXPECT_EQ(n->goods, 13u);
  EXPECT_EQ(n->quantity, 3u);
  EXPECT_EQ(n->price, 8u);
  EXPECT_EQ(n->owner, 7u);
  EXPECT_NE(n->ident, 0u);
}

TEST_F(GoodsList, StoringPastTheCounterKeepsTheRestInANewNode) {
  WarenListenEntry* store = Add(WARE_LAGER, 7, 12, 0xFFFFFFF0u, 12);
  ASSERT_EQ(AddWare2List(list_, WARE_LAGER, 12, 0x20, 12), 1);
  EXPECT_EQ(store->quantity, 0xFFFFFFFFu);
  ASSERT_EQ(CountWarenNodes(list_, WARE_LAGER), 2u);
  EXPECT_EQ(FindWarenNode(list_, 1, WARE_LAGER)->quantity, 0x11u);
}

TEST_F(GoodsList, EveryListModesText) {
  ListHeader* players = CreateList(LIST_PLAYERS);
  auto* p = static_cast<SpielerEintrag*>(AllocVec(players->node_size, MEMF_CLEAR));
  p->id = 3;
  std::strcpy(p->name, "Ingolf");
  AddNode(players, &p->head, LN_TAIL, 0);
  Add(WARE_FREMD, 3, 27, 40, 12);
  Add(WARE_LAGER, 7, 12, 1, 1);
  Add(WARE_FREMD, 9, 92, 4000000000u, 4294967295u, 20, 15);
  Add(WARE_ANGEBOT, 7, 0, 5000, 2);
  Add(WARE_FREMD, 3, 116, 1, 1);
  Add(WARE_FREMD, 3, 44, 5, 7, 5, 0);  // no bid price: no bid
  EXPECT_EQ(Lines(1, players), (std::vector<std::string>{"Ingolf", "? (9)", "Ingolf", "Ingolf"}));
  EXPECT_EQ(Lines(2), (std::vector<std::string>{"claymore", "Furs", "unknown good", "shortbow"}));
  EXPECT_EQ(Lines(3), (std::vector<std::string>{"40", "4000000000/(20)", "1", "5"}));
  EXPECT_EQ(Lines(4), (std::vector<std::string>{"12", "4294967295/(15)", "1", "7"}));
  EXPECT_EQ(Lines(5), (std::vector<std::string>{"corn ( 5000 unit/ price 2 GS )"}));
  // Modes out of range and a list without such nodes give nothing.
  uint32_t n = 5;
  EXPECT_EQ(MakeWarenLines(list_, 0, nullptr, &n), nullptr);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(MakeWarenLines(list_, 6, nullptr, &n), nullptr);
  ListHeader* empty = CreateList(LIST_GOODS);
  EXPECT_EQ(MakeWarenLines(empty, 1, nullptr, &n), nullptr);
  EXPECT_EQ(n, 0u);
  DeleteList(empty, 0);
  DeleteList(players, 0);
}

TEST_F(GoodsList, ScannedWareChunkWithHostileRecords) {
  uint8_t* c = AllocChunk("WARE", "V001", 2 + 3 * 36);
  ChunkPut16(c, 12, 3);
  const uint32_t vals[3][3] = {{2, 0xFFFFFFFFu, 0xFFFFFFFFu}, {2, 116, 0xFFFFFFFEu}, {0, 5, 0}};
  for (int i = 0; i < 3; ++i) {
    uint8_t* r = c + 14 + 36 * i;
    ChunkPut16(r, 0, uint16_t(vals[i][0]));
    ChunkPut32(r, 6, vals[i][1]);
    ChunkPut32(r, 10, vals[i][2]);
  }
  ASSERT_EQ(ScanWare2List(list_, c), 1);
  FreeChunk(c);
  EXPECT_EQ(Lines(2), (std::vector<std::string>{"unknown good", "unknown good"}));
  EXPECT_EQ(Lines(3), (std::vector<std::string>{"4294967295", "4294967294"}));
  EXPECT_EQ(Lines(5).size(), 1u);
}

TEST(GoodsMarketValues, FillWarenMarktDatenFromTheChunks) {
  uint8_t* land = AllocChunk("LAND", "V001", 160);
  uint8_t* fors = AllocChunk("FORS", "V001", 16);
  uint8_t* taxe = AllocChunk("TAXE", "V001", 72);
  ChunkPut32(land, 14, 123456);
  ChunkPut32(land, 42, 1);
  for (int i = 0; i < 7; ++i) fors[15 + i] = uint8_t(i + 1);
  fors[21] = 0xFF;  // -1
  ChunkPut32(taxe, 22, 0x00010002);  // above 65,535: limited
  st_TOWN* town = CreateTown(1, "Elmor", 10, 10);
  town->buildings[20].flags = BUILDING_STANDS;
  town->buildings[26].flags = BUILDING_ORDERED;
  // Whatever the record held before (a pattern in every byte), every field
  // is set: the prefs fields of the stock build 0, the random source Zufall.
  WarenMarktDaten d;
  std::memset(static_cast<void*>(&d), 0xA5, sizeof d);
  FillWarenMarktDaten(&d, land, fors, taxe, town, -5, 6, 7);
  EXPECT_EQ(d.einwohner, 123456u);
  EXPECT_EQ(d.rohstoffe, 1);
  EXPECT_EQ(d.stufen[0], 1);
  EXPECT_EQ(d.stufen[5], 6);
  EXPECT_EQ(d.stufen[6], -1);
  EXPECT_EQ(d.abgabe, 65535u);
  EXPECT_EQ(d.gebaeude20, 1);
  EXPECT_EQ(d.gebaeude26, 0);
  EXPECT_EQ(d.werte[0], -5);
  EXPECT_EQ(d.werte[2], 7);
  EXPECT_EQ(d.werte[1], 6);
  EXPECT_EQ(d.rohstoffmodus, 0u);
  EXPECT_EQ(d.spezialtyp, 0u);
  EXPECT_EQ(d.holz, 0u);
  EXPECT_EQ(d.stein, 0u);
  EXPECT_EQ(d.zufall, nullptr);
  ChunkPut32(taxe, 22, 17);
  ChunkPut32(land, 42, 0xFFFFFFFFu);  // -1 is no resource
  FillWarenMarktDaten(&d, land, fors, taxe, town, 0, 0, 0);
  EXPECT_EQ(d.abgabe, 17u);
  EXPECT_EQ(d.rohstoffe, 0);
  // Missing and short chunks count as 0.
  uint8_t* short_land = AllocChunk("LAND", "V001", 30);
  ChunkPut32(short_land, 14, 99);
  FillWarenMarktDaten(&d, short_land, nullptr, nullptr, nullptr, 0, 0, 0);
  EXPECT_EQ(d.einwohner, 99u);
  EXPECT_EQ(d.rohstoffe, 0);
  EXPECT_EQ(d.abgabe, 0u);
  EXPECT_EQ(d.stufen[3], 0);
  EXPECT_EQ(d.gebaeude20, 0);
  FreeVec(town);
  for (uint8_t* c : {land, fors, taxe, short_land}) FreeChunk(c);
}

}  // namespace
