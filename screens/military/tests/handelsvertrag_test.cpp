// The trade form of the diplomacy screen: its rules as plain functions on
// the screen's record (the arrows' acceleration and its restart, the clamps
// against the stock, typed values, products beyond 32 bits, the step to a
// received offer), and the form driven by script over a small realm: an
// offer of corn and of a stored good found byte for byte in the outgoing
// VERT chunk, an offer accepted and gone from the received pool, a call for
// offers, the received state's dead arrows. PNGs of both states.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/system/catalog.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "screens/military/diplomat.h"
#include "screens/military/diplomat_internal.h"
#include "screens/military/tests/diplomacy_fixture.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/tests/install_realm.h"

namespace {

using namespace diplomacy_test;

std::string T(uint32_t id) { return GetCatalogStr(id); }

// The form without a screen: the record as the sub-screen starts it.
class TradeForm : public testing::Test {
 protected:
  void SetUp() override {
    g_said.clear();
    SetDiplomatMessageHook(Said);
    d_.selPlayer = d_.selGoods = -1;
    ASSERT_EQ(InitAllThingsDiplomatie(&d_, 2), 1);
  }
  void TearDown() override {
    FreeVec(d_.offerLines);
    DeleteList(d_.goodsList, 0);
    DeleteList(d_.contractList, 0);
    ResetDiplomatModuleState();
  }
  void Press(uint32_t which, int times = 1) {
    for (int i = 0; i < times; ++i) StepTradeContractValue(&d_, which);
  }
  // The store: kind-5 goods records of the given types and quantities.
  void Store(const std::vector<std::pair<uint32_t, uint32_t>>& goods) {
    RegisterGameDataListTypes();
    DeleteList(d_.goodsList, 0);
    d_.goodsList = CreateList(LIST_GOODS);
    for (const auto& g : goods) {
      auto* w = reinterpret_cast<WarenListenEntry*>(AllocListNode(d_.goodsList));
      w->kind = WARE_LAGER;
      w->goods = g.first;
      w->quantity = g.second;
      AddNode(d_.goodsList, &w->head, LN_TAIL, 0);
    }
  }
  void Choose(int16_t line) {
    d_.selGoods = line;
    SetWarenWerte(&d_);
  }
  DiplomatScreenData d_{};
};

TEST_F(TradeForm, StartsAtOneQuarterOneUnitNoGold) {
  EXPECT_EQ(d_.turns, 1u);
  EXPECT_EQ(d_.amount, 1u);
  EXPECT_EQ(d_.price, 0u);
  EXPECT_EQ(d_.maximum, 1u);
  EXPECT_TRUE(g_said.empty());
}

TEST_F(TradeForm, TheArrowsAccelerateAndStartAgainAfterAPause) {
  std::vector<uint32_t> steps;
  for (int i = 0; i < 80; ++i) {
    const uint32_t before = d_.price;
    Press(TRADE_PRICE_UP);
    steps.push_back(d_.price - before);
  }
  for (int i = 0; i < 80; ++i) EXPECT_EQ(steps[i], i < 20 ? 1u : i < 40 ? 10u : i < 60 ? 110u : 1110u) << i;
  EXPECT_EQ(d_.price, 20u + 200u + 2200u + 22200u);
  // Ten ticks keep the pace, the eleventh starts at 1 again.
  for (int i = 0; i < 10; ++i) TradeContractTick(&d_);
  Press(TRADE_PRICE_UP);
  EXPECT_EQ(d_.price, 24620u + 1110u);
  for (int i = 0; i < 11; ++i) TradeContractTick(&d_);
  Press(TRADE_PRICE_UP);
  EXPECT_EQ(d_.price, 25731u);
  // The opposite arrow starts its own count: 20 steps of 1 down.
  Press(TRADE_PRICE_DOWN, 20);
  EXPECT_EQ(d_.price, 25711u);
  Press(TRADE_PRICE_DOWN);
  EXPECT_EQ(d_.price, 25701u);
  EXPECT_TRUE(g_said.empty());
}

TEST_F(TradeForm, ValuesStopAtTheirFloors) {
  Press(TRADE_TURNS_DOWN, 30);
  EXPECT_EQ(d_.turns, 1u);
  Press(TRADE_AMOUNT_DOWN, 30);
  EXPECT_EQ(d_.amount, 0u);
  Press(TRADE_PRICE_DOWN, 5);
  EXPECT_EQ(d_.price, 0u);
  // Fast steps down stop where they would pass the floor: 115 at the 21st
  // press loses 10, at the 41st 110, then only 10 (95 < 101), then nothing.
  d_.price = 115;
  Press(TRADE_PRICE_UP);  // the down count starts anew
  d_.price = 115;
  d_.stepCounters[TRADE_PRICE_DOWN] = 20;
  Press(TRADE_PRICE_DOWN);
  EXPECT_EQ(d_.price, 105u);
  d_.stepCounters[TRADE_PRICE_DOWN] = 40;
  d_.price = 215;
  Press(TRADE_PRICE_DOWN);
  EXPECT_EQ(d_.price, 105u);
  Press(TRADE_PRICE_DOWN);
  EXPECT_EQ(d_.price, 95u);
  d_.price = 9;
  Press(TRADE_PRICE_DOWN);
  EXPECT_EQ(d_.price, 9u);
}

TEST_F(TradeForm, TurnsStopAtTheStockAndTheNextPressSaysSo) {
  d_.corn = 100;
  Choose(0);  // corn: stock 100
  EXPECT_EQ(d_.maximum, 100u);
  d_.amount = 50;
  Press(TRADE_TURNS_UP);
  EXPECT_EQ(d_.turns, 2u);
  EXPECT_TRUE(g_said.empty());
  Press(TRADE_TURNS_UP);
  EXPECT_EQ(d_.turns, 2u);
  EXPECT_EQ(g_said, (std::vector<std::string>{T(940)}));
  // The amount cannot pass it either: 51 x 2 gives way to 50.
  Press(TRADE_AMOUNT_UP);
  EXPECT_EQ(d_.amount, 50u);
}

TEST_F(TradeForm, GoodsBelowAmountTimesTurnsLowerTheAmount) {
  d_.corn = 10;
  Store({{98, 30}, {99, 0}});
  d_.maximum = 1000;
  d_.amount = 20;
  d_.turns = 3;
  Choose(1);  // the first stored good: 30 < 20 x 3
  EXPECT_EQ(g_said, (std::vector<std::string>{T(940)}));
  EXPECT_EQ(d_.maximum, 30u);
  EXPECT_EQ(d_.amount, 10u);
  EXPECT_EQ(d_.turns, 3u);
  // A good of which nothing is in store changes nothing.
  g_said.clear();
  Choose(2);
  EXPECT_EQ(d_.maximum, 30u);
  EXPECT_EQ(d_.amount, 10u);
  EXPECT_TRUE(g_said.empty());
  // Nor does corn when there is none: line 0 is then the first stored good.
  d_.corn = 0;
  Store({{99, 0}});
  Choose(0);
  EXPECT_EQ(d_.maximum, 30u);
}

TEST_F(TradeForm, TypedValuesAreBounded) {
  EXPECT_EQ(ParseTradeContractValue("-5", 65535), 0u);
  EXPECT_EQ(ParseTradeContractValue("0", 65535), 0u);
  EXPECT_EQ(ParseTradeContractValue("70000", 65535), 65535u);
  EXPECT_EQ(ParseTradeContractValue("1099511627776", 0xFFFFFFFFu), 0xFFFFFFFFu);  // 2^40
  EXPECT_EQ(ParseTradeContractValue("99999999999999999999999999", 0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(ParseTradeContractValue("  42abc", 100), 42u);
  EXPECT_EQ(ParseTradeContractValue("", 100), 0u);
  EXPECT_EQ(ParseTradeContractValue("x7", 100), 0u);
  EXPECT_EQ(ParseTradeContractValue("-", 100), 0u);
  d_.maximum = 1000000;
  d_.amount = 1;
  ApplyTradeContractValue(&d_, TRADE_FIELD_TURNS, 0);
  EXPECT_EQ(d_.turns, 1u);  // no offer of 0 quarters
  ApplyTradeContractValue(&d_, TRADE_FIELD_TURNS, 70000);
  EXPECT_EQ(d_.turns, 65535u);
  ApplyTradeContractValue(&d_, TRADE_FIELD_AMOUNT, 0xFFFFFFFFu);
  EXPECT_EQ(d_.amount, 15u);  // 1000000 / 65535
  ApplyTradeContractValue(&d_, TRADE_FIELD_PRICE, 0xFFFFFFFFu);
  EXPECT_EQ(d_.price, 0xFFFFFFFFu);
  Press(TRADE_PRICE_UP, 70);  // never wraps
  EXPECT_EQ(d_.price, 0xFFFFFFFFu);
  ApplyTradeContractValue(&d_, TRADE_FIELD_AMOUNT, 0);
  EXPECT_EQ(d_.amount, 0u);
  EXPECT_TRUE(g_said.empty());
}

TEST_F(TradeForm, ProductsBeyondThirtyTwoBitsNeverWrap) {
  d_.maximum = 0xFFFFFFFFu;  // the largest stock: 65537 x 65535 exactly
  ApplyTradeContractValue(&d_, TRADE_FIELD_AMOUNT, 65537);
  ApplyTradeContractValue(&d_, TRADE_FIELD_TURNS, 65535);
  EXPECT_EQ(d_.turns, 65535u);
  EXPECT_EQ(d_.amount, 65537u);
  Press(TRADE_TURNS_UP);
  EXPECT_EQ(d_.turns, 65535u);
  EXPECT_EQ(g_said, (std::vector<std::string>{T(940)}));
  // 65538 x 65535 passes 2^32: the amount gives way, never wraps to a small product.
  ApplyTradeContractValue(&d_, TRADE_FIELD_AMOUNT, 65538);
  EXPECT_EQ(d_.amount, 65537u);
  // One unit short of the stock per quarter: turns stay at 65535 when stepped past it.
  d_.maximum = 0xFFFFFFFFu;
  ApplyTradeContractValue(&d_, TRADE_FIELD_AMOUNT, 65536);
  g_said.clear();
  Press(TRADE_TURNS_UP);
  EXPECT_EQ(d_.turns, 65535u);
  for (int i = 0; i < 70; ++i) Press(TRADE_TURNS_UP);
  EXPECT_EQ(d_.turns, 65535u);
  EXPECT_LE(static_cast<uint64_t>(d_.amount) * d_.turns, d_.maximum);
}

TEST_F(TradeForm, AReceivedOfferIsShownAndTheArrowsLeaveItAlone) {
  RegisterGameDataListTypes();
  d_.contractList = CreateList(LIST_CONTRACTS);
  for (const VertragsEintrag& r : {Rec(0, kRagnar, kOwn, 99, 4, 200, 1800), Rec(0, kRagnar, kOwn, 98, 60000, 70000, 5),
                                   Rec(0, kGunhild, kOwn, 60, 2, 3, 4)}) {
    auto* n = reinterpret_cast<VertragsEintrag*>(AllocListNode(d_.contractList));
    const ListNode head = n->head;
    *n = r;
    n->head = head;
    AddNode(d_.contractList, &n->head, LN_TAIL, 0);
  }
  d_.mode = ~0u;
  d_.selPlayer = 0;
  ASSERT_EQ(AllocVertragsAngebotList(&d_), 1);  // Ragnar's two offers, the first shown
  EXPECT_EQ(d_.turns, 4u);
  EXPECT_EQ(d_.amount, 200u);
  EXPECT_EQ(d_.price, 1800u);
  EXPECT_EQ(d_.maximum, 800u);
  Choose(1);  // 60000 quarters of 70000: a total past 2^32, shown whole
  EXPECT_EQ(d_.turns, 60000u);
  EXPECT_EQ(d_.amount, 70000u);
  EXPECT_EQ(d_.maximum, 4200000000ull);
  Press(TRADE_TURNS_UP, 3);
  Press(TRADE_AMOUNT_DOWN, 3);
  Press(TRADE_PRICE_UP, 3);
  EXPECT_EQ(d_.turns, 60000u);
  EXPECT_EQ(d_.amount, 70000u);
  EXPECT_EQ(d_.price, 5u);
  // The step from the sender's first offer ends with his offers: line 2
  // is not Gunhild's offer.
  d_.selGoods = 2;
  EXPECT_EQ(TradeOfferNode(&d_), nullptr);
  d_.selGoods = 1;
  ASSERT_NE(TradeOfferNode(&d_), nullptr);
  EXPECT_EQ(reinterpret_cast<VertragsEintrag*>(TradeOfferNode(&d_))->goods, 98u);
  EXPECT_TRUE(g_said.empty());
}

// ---- the form on the screen --------------------------------------------------

// The form's places (Diplomatie1.txt).
const std::string kTrade = DiplomatRun::Click(544, 208), kExit = DiplomatRun::Click(320, 455);
std::string Lord(int k) { return DiplomatRun::Click(140, 83 + 13 * k); }
std::string Goods(int k) { return DiplomatRun::Click(368, 83 + 13 * k); }
std::string Arrow(int value, bool up) { return DiplomatRun::Click(up ? 613 : 473, 225 + 40 * value); }
std::string Field(int value) { return DiplomatRun::Click(543, 225 + 40 * value); }
std::string Button(int k) { return DiplomatRun::Click(74 + 110 * k, 413); }

uint32_t Clock() { return 0x5F5E1234; }

std::string Hex(const uint8_t* p, size_t n) {
  std::string out;
  char b[4];
  for (size_t i = 0; i < n; ++i) std::snprintf(b, sizeof b, "%02x%s", p[i], i % 32 == 31 ? "|" : ""), out += b;
  return out;
}

// The outgoing VERT chunk's records as they lie on disk (big-endian).
std::vector<uint8_t> OutgoingRecords() {
  const std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  for (size_t i = 0; i + 20 <= pool.size(); ++i)
    if (std::equal(pool.begin() + i, pool.begin() + i + 8, "VERTV001")) {
      const uint32_t count = (uint32_t(pool[i + 12]) << 24) | (pool[i + 13] << 16) | (pool[i + 14] << 8) | pool[i + 15];
      return std::vector<uint8_t>(pool.begin() + i + 16, pool.begin() + i + 16 + 32 * count);
    }
  return {};
}

std::vector<uint8_t> Record(uint16_t kind, uint32_t sender, uint32_t receiver, uint32_t goods, uint32_t time,
                            uint16_t duration, uint32_t amount, uint32_t price, uint16_t closing) {
  std::vector<uint8_t> r;
  auto u16 = [&](uint32_t v) { r.push_back(uint8_t(v >> 8)), r.push_back(uint8_t(v)); };
  auto u32 = [&](uint32_t v) { u16(v >> 16), u16(v & 0xFFFF); };
  u16(kind), u32(sender), u32(receiver), u32(goods), u32(time), u16(0), u16(duration), u32(amount), u32(price);
  u16(closing);
  return r;
}

class TradeScreen : public DiplomatRun {
 protected:
  void SetUp() override {
    DiplomatRun::SetUp();
    SetVertragClock(Clock);
    Players();  // sorted: Ansgar, Gunhild, Ragnar
    // The store: 900 wool (98, closing word 7) and 12 of good 60.
    RegisterGameDataListTypes();
    ListHeader* list = CreateList(LIST_GOODS);
    for (const auto& g : {std::pair<uint32_t, uint32_t>{98, 900}, {60, 12}}) {
      auto* w = reinterpret_cast<WarenListenEntry*>(AllocListNode(list));
      w->kind = WARE_LAGER;
      w->owner = kOwn;
      w->goods = g.first;
      w->quantity = g.second;
      w->closing = g.first == 98 ? 7 : 0;
      AddNode(list, &w->head, LN_TAIL, 0);
    }
    uint8_t* chunk = MakeWareChunkFromList(list);
    ASSERT_NE(chunk, nullptr);
    ASSERT_EQ(SaveChunk2File(".\\Data\\WarenChunk.qoe", chunk), 1);
    FreeChunk(chunk);
    DeleteList(list, 0);
  }
};

TEST_F(TradeScreen, OffersOfCornAndOfAStoredGoodGoOut) {
  // Gunhild gets 3 quarters of 5 corn for 2 gold; Ragnar 2 quarters of 300
  // wool (typed) for 40 gold (typed).
  const std::string script = kTrade + Lord(1) + Goods(0) + Arrow(0, true) + Arrow(0, true) + Arrow(1, true) +
                             Arrow(1, true) + Arrow(1, true) + Arrow(1, true) + Arrow(2, true) + Arrow(2, true) +
                             Png("trade_form.png") + Button(0) + Lord(2) + Goods(1) + Field(1) +
                             "key backspace\ntext \"300\"\nkey enter\n" + Field(2) +
                             "key backspace\ntext \"40\"\nkey enter\n" + Arrow(0, false) + Png("trade_form_wool.png") + Button(0) + kExit + kExit;
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng("trade_form.png"));
  EXPECT_TRUE(qoe_test::KeepPng("trade_form_wool.png"));
  EXPECT_EQ(g_said, (std::vector<std::string>{T(980), T(980)}));
  std::vector<uint8_t> want = Record(0, kOwn, kGunhild, 0, Clock(), 3, 5, 2, 0);
  const std::vector<uint8_t> wool = Record(0, kOwn, kRagnar, 98, Clock(), 2, 300, 40, 7);
  want.insert(want.end(), wool.begin(), wool.end());
  EXPECT_EQ(OutgoingRecords(), want);
}

TEST_F(TradeScreen, AnOfferAcceptedLeavesTheReceivedPool) {
  PutVert(ReceivedPoolPath, {Rec(0, kRagnar, kOwn, 99, 4, 200, 1800), Rec(0, kRagnar, kOwn, 60, 2, 3, 4),
                             Rec(0, kGunhild, kOwn, 98, 6, 10, 70), Rec(4, kOwn, kAnsgar, 98, 8, 50, 400)});
  // The senders: Gunhild, Ragnar. Ragnar's second offer is taken.
  // Back to the own form, which starts clean: a lord chosen, no goods, and
  // the offer is refused for want of goods.
  const std::string script = kTrade + Button(1) + Lord(1) + Goods(1) + Png("trade_received.png") + Button(1) +
                             Png("trade_accepted.png") + Button(0) + Lord(1) + Button(0) + Png("trade_back.png") +
                             kExit + kExit;
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng("trade_received.png"));
  EXPECT_TRUE(qoe_test::KeepPng("trade_accepted.png"));
  EXPECT_TRUE(qoe_test::KeepPng("trade_back.png"));
  EXPECT_EQ(g_said, (std::vector<std::string>{T(945), T(942)}));
  EXPECT_EQ(OutgoingRecords(), Record(3, kRagnar, kOwn, 60, 1000, 2, 3, 4, 0));
  EXPECT_EQ(KindsAndSenders(ReceivedPoolPath),
            (std::vector<std::pair<uint16_t, uint32_t>>{{0, kGunhild}, {0, kRagnar}, {4, kOwn}}));
}

TEST_F(TradeScreen, HeraldsAreSentOncePerTurn) {
  EXPECT_EQ(Run(kTrade + Button(2) + Button(2) + kExit + kExit), 2);
  EXPECT_EQ(g_said, (std::vector<std::string>{T(981), T(981)}));
  EXPECT_EQ(OutgoingRecords(), Record(2, kOwn, kVertragAllLords, 0, Clock(), 0, 0, 0, 0));
}

TEST_F(TradeScreen, WithoutOffersTheReceivedStateDoesNothing) {
  // No offers: the senders' box says so, its line picks nobody, accept asks
  // nothing, the arrows and reset change nothing; an offer without a
  // partner or goods is refused.
  const std::string script = kTrade + Button(0) + Goods(0) + Button(1) + Lord(0) + Goods(0) + Button(1) +
                             Arrow(1, true) + Arrow(2, true) + Button(3) + Png("trade_no_offers.png") + Button(0) +
                             Button(0) + kExit + kExit;
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng("trade_no_offers.png"));
  EXPECT_EQ(g_said, (std::vector<std::string>{T(941), T(941)}));
  EXPECT_TRUE(OutgoingRecords().empty());
}

// The demo realm of the turn builder: Gunhild's offer of 200 units of good 1
// for 4 quarters accepted, then 100 wood (the store's first good after the
// corn line: the corn is listed once, from the granaries) offered to Ragnar,
// and the heralds sent.
TEST_F(TradeScreen, TheDemoRealmTrades) {
  std::filesystem::remove("Data/POP3In/GameChunk.qoe");
  std::filesystem::remove("Data/SpielerList.qoe");  // the realm's lords: Gunhild, Ragnar
  std::filesystem::remove("Data/WarenChunk.qoe");
  ASSERT_TRUE(realm_test::InstallRealmWithTurn("demo.realm"));
  SetGameDataOwner(kOwn, "Harald");
  OwnPlayerPtr->ActiveTown = 1;  // Elmor: trade registry and marketplace
  const std::string script = kTrade + Button(1) + Lord(0) + Button(1) + Button(0) + Lord(1) + Goods(1) + Field(1) +
                             "key backspace\ntext \"100\"\nkey enter\n" + Png("trade_demo.png") + Button(0) +
                             Button(2) + kExit + kExit;
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng("trade_demo.png"));
  EXPECT_EQ(g_said, (std::vector<std::string>{T(945), T(980), T(981)}));
  std::vector<uint8_t> want = Record(3, kGunhild, kOwn, 1, 1040, 4, 200, 1800, 0);
  for (const auto& r : {Record(0, kOwn, kRagnar, 98, Clock(), 1, 100, 0, 0), Record(2, kOwn, kVertragAllLords, 0,
                                                                                               Clock(), 0, 0, 0, 0)})
    want.insert(want.end(), r.begin(), r.end());
  const std::vector<uint8_t> got = OutgoingRecords();
  ASSERT_EQ(got.size(), want.size());
  // The wool offer's closing word is the store record's own: compared apart.
  EXPECT_EQ(Hex(got.data(), 62), Hex(want.data(), 62));
  EXPECT_EQ(Hex(got.data() + 64, 32), Hex(want.data() + 64, 32));
  EXPECT_TRUE(KindsAndSenders(ReceivedPoolPath).size() >= 1u);
}

}  // namespace
