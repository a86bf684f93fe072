// The market screen: buying, bidding, selling and withdrawing on the record
// (refusals by the treasury in 64 bits, the granary's capacity, the plus and
// minus schedule, typed bounds), and headless runs on a realm: EXIT leaves
// every file as it was, OKOK writes the outgoing pool, the goods file and
// the stock together, account state 0 writes nothing, a failed write
// changes no file, a write killed at any moment leaves the old or the new
// files, a sale chosen in the choice box with typed quantity and price, a
// bid cancelled or kept by the question, a purchase from a scrolled list,
// and the screen's picture.
#include "screens/economy/handel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/tests/goods_nodes.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/media/sound.h"
#include "screens/economy/tests/market_fixture.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/kill_loop.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/tests/install_realm.h"

namespace fs = std::filesystem;

namespace {

// ---- the operations on the record --------------------------------------------

class MarketOps : public market_test::MarketRecordTest {
 protected:
  void SetUp() override {
    MarketRecordTest::SetUp();
    Stock(10, 120, 6);
    Stock(27, 35, 61);
    d_->schatz = 5000;
    ASSERT_EQ(InitHandelsWarenRequester(d_), 1);
  }
  // Takes stock line i with quantity q.
  void Line(int16_t i, uint32_t q) {
    d_->kaufAuswahl = i;
    const uint32_t type = d_->kaufTyp[i];
    d_->kaufMax = d_->markt.menge[type];
    d_->kaufPreis = d_->markt.preis[type];
    d_->kaufMenge = q;
  }
  WarenListenEntry* Offer(WarenListenEntry* n) {
    d_->angebotNode = n;
    d_->angebotTyp = (int16_t)n->goods;
    d_->angebotMenge = n->quantity;
    d_->angebotPreis = n->price;
    return n;
  }
};

TEST_F(MarketOps, BuyingTheWholeQuantityRemovesTheLine) {
  Line(0, 120);
  EXPECT_EQ(MakeNewWarenNode(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(d_->schatz, 5000u - 720u);
  EXPECT_EQ(d_->markt.menge[10], 0u);
  EXPECT_EQ(d_->kaufAnzahl, 1u);  // only the claymore is left
  EXPECT_EQ(d_->kaufTyp[0], 27);
  WarenListenEntry* store = FindWarenNode(d_->warenListe, 0, WARE_LAGER);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(store->goods, 10u);
  EXPECT_EQ(store->quantity, 120u);
  EXPECT_EQ(d_->kaufMenge, 0u);  // the field is cleared
}

TEST_F(MarketOps, APurchaseAboveTheTreasuryIsRefusedAlsoWhenTheProductWraps) {
  d_->schatz = 2000;
  Line(1, 35);  // 35 x 61 = 2135
  EXPECT_EQ(MakeNewWarenNode(d_), HANDEL_ABGELEHNT);
  EXPECT_EQ(d_->schatz, 2000u);
  EXPECT_EQ(d_->markt.menge[27], 35u);
  EXPECT_EQ(CountWarenNodes(d_->warenListe, WARE_LAGER), 0u);
  // 65,536 x 65,537 wraps to 65,536 in 32 bits, below the treasury.
  d_->markt.menge[27] = 65536;
  d_->markt.preis[27] = 65537;
  d_->schatz = 100000;
  Line(1, 65536);
  EXPECT_EQ(MakeNewWarenNode(d_), HANDEL_ABGELEHNT);
  EXPECT_EQ(d_->schatz, 100000u);
  EXPECT_EQ(d_->markt.menge[27], 65536u);
}

TEST_F(MarketOps, TwoBidsThatFitAloneButNotTogether) {
  WarenListenEntry* a = Add(WARE_FREMD, 3, 27, 40, 55);
  WarenListenEntry* b = Add(WARE_FREMD, 4, 45, 30, 100);
  Offer(a);
  d_->gebotMenge = 40;
  d_->gebotPreis = 55;  // 2200
  EXPECT_EQ(SetAngebot2Node(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(a->buyer, 7u);
  EXPECT_EQ(d_->gebotSumme, 2200u);
  Offer(b);
  d_->gebotMenge = 30;
  d_->gebotPreis = 100;  // 3000: alone it fits 5000, with the first not
  EXPECT_EQ(SetAngebot2Node(d_), HANDEL_ABGELEHNT);
  EXPECT_EQ(b->bid_quantity, 0u);
  EXPECT_EQ(d_->gebotSumme, 2200u);
  // Replacing the first bid is not added to it.
  Offer(a);
  d_->gebotMenge = 40;
  d_->gebotPreis = 60;
  EXPECT_EQ(SetAngebot2Node(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(d_->gebotSumme, 2400u);
  // A bid whose product wraps in 32 bits is refused.
  Offer(b);
  b->quantity = 65536;
  d_->angebotMenge = 65536;
  d_->gebotMenge = 65536;
  d_->gebotPreis = 65537;
  EXPECT_EQ(SetAngebot2Node(d_), HANDEL_ABGELEHNT);
}

TEST_F(MarketOps, TheBidPriceNeverFallsBelowTheSellersByMinusOrTyping) {
  Offer(Add(WARE_FREMD, 3, 27, 40, 55));
  d_->gebotMenge = 40;
  d_->gebotPreis = 57;
  for (int i = 0; i < 30; ++i) HandelKnopf(d_, HK_GEBOT_PREIS_MINUS);
  EXPECT_EQ(d_->gebotPreis, 55u);
  HandelEingabe(d_, 5, 3);
  EXPECT_EQ(d_->gebotPreis, 55u);
  HandelEingabe(d_, 5, -9);
  EXPECT_EQ(d_->gebotPreis, 55u);
  HandelEingabe(d_, 5, 70);
  EXPECT_EQ(d_->gebotPreis, 70u);
  HandelEingabe(d_, 4, 99);  // at most the offered quantity
  EXPECT_EQ(d_->gebotMenge, 40u);
}

TEST_F(MarketOps, CancellingABidLowersTheTotal) {
  Add(WARE_FREMD, 3, 27, 40, 55, 10, 60);
  d_->gebotSumme = 600;
  ASSERT_NE(GetMarktNode(d_, 0, 1), nullptr);
  EXPECT_EQ(d_->gebotSumme, 0u);
  EXPECT_FALSE(HatWarenGebot(FindWarenNode(d_->warenListe, 0, WARE_FREMD)));
}

TEST_F(MarketOps, LoweringAnOfferReturnsTheRestRaisingChangesOnlyThePrice) {
  WarenListenEntry* offer = Add(WARE_ANGEBOT, 7, 27, 40, 12);
  ASSERT_EQ(CheckVerkaufsRequester3(d_), 1);
  d_->verkaufAuswahl = 0;
  ASSERT_EQ(GetVerkaufsNode(d_, 0), 1);
  d_->verkaufMenge = 25;
  d_->verkaufPreis = 14;
  EXPECT_EQ(MakeVerkauf(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(offer->quantity, 25u);
  EXPECT_EQ(offer->price, 14u);
  WarenListenEntry* store = FindWarenNode(d_->warenListe, 0, WARE_LAGER);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(store->quantity, 15u);
  // More than the offer holds: only the price changes.
  d_->verkaufAuswahl = 0;
  ASSERT_EQ(GetVerkaufsNode(d_, 0), 1);
  d_->verkaufMenge = 90;
  d_->verkaufPreis = 20;
  EXPECT_EQ(MakeVerkauf(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(offer->quantity, 25u);
  EXPECT_EQ(offer->price, 20u);
  EXPECT_EQ(store->quantity, 15u);
  EXPECT_EQ(d_->verkaufTyp, -1);
}

TEST_F(MarketOps, LoweringACornOfferGivesTheGranaryWhatItHolds) {
  WarenListenEntry* corn = Add(WARE_ANGEBOT, 7, 0, 5000, 2);
  d_->kornLager = 39000;
  d_->kornKapazitaet = 40000;
  ASSERT_EQ(CheckVerkaufsRequester3(d_), 1);
  d_->verkaufAuswahl = 0;
  ASSERT_EQ(GetVerkaufsNode(d_, 0), 1);
  d_->verkaufMenge = 1000;
  EXPECT_EQ(MakeVerkauf(d_), HANDEL_REST);
  EXPECT_EQ(d_->kornLager, 40000u);
  EXPECT_EQ(corn->quantity, 4000u);  // no corn is lost
}

TEST_F(MarketOps, ANewSaleTakesGoodsFromTheStoreAndCornFromTheGranary) {
  Add(WARE_LAGER, 7, 27, 40, 12);
  d_->kornLager = 900;
  ASSERT_EQ(ChooseVerkaufsWare(d_, 0), 1);
  EXPECT_EQ(d_->verkaufMax, 900u);
  d_->verkaufMenge = 300;
  d_->verkaufPreis = 3;
  EXPECT_EQ(MakeVerkauf(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(d_->kornLager, 600u);
  ASSERT_EQ(ChooseVerkaufsWare(d_, 1), 1);
  EXPECT_EQ(d_->verkaufTyp, 27);
  EXPECT_EQ(d_->verkaufMax, 40u);
  d_->verkaufMenge = 40;
  d_->verkaufPreis = 50;
  EXPECT_EQ(MakeVerkauf(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(CountWarenNodes(d_->warenListe, WARE_LAGER), 0u);
  EXPECT_EQ(CountWarenNodes(d_->warenListe, WARE_ANGEBOT), 2u);
  EXPECT_EQ(ChooseVerkaufsWare(d_, 1), 0);  // no store left
}

TEST_F(MarketOps, WithdrawingCornBeyondTheFreeSpaceLeavesTheRest) {
  WarenListenEntry* corn = Add(WARE_ANGEBOT, 7, 0, 5000, 2);
  Add(WARE_ANGEBOT, 7, 45, 8, 40);
  d_->kornLager = 38000;
  d_->kornKapazitaet = 40000;
  ASSERT_EQ(CheckVerkaufsRequester3(d_), 1);
  d_->verkaufAuswahl = 0;
  ASSERT_EQ(GetVerkaufsNode(d_, 0), 1);
  EXPECT_EQ(DeleteWareFromList(d_), HANDEL_REST);
  EXPECT_EQ(d_->kornLager, 40000u);
  EXPECT_EQ(corn->quantity, 3000u);
  // Goods go back to the store and the offer is gone.
  d_->verkaufAuswahl = 1;
  ASSERT_EQ(GetVerkaufsNode(d_, 1), 1);
  EXPECT_EQ(DeleteWareFromList(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(CountWarenNodes(d_->warenListe, WARE_ANGEBOT), 1u);
  WarenListenEntry* store = FindWarenNode(d_->warenListe, 0, WARE_LAGER);
  ASSERT_NE(store, nullptr);
  EXPECT_EQ(store->quantity, 8u);
  // Corn that fits goes back whole.
  d_->kornKapazitaet = 100000;
  d_->verkaufAuswahl = 0;
  ASSERT_EQ(GetVerkaufsNode(d_, 0), 1);
  EXPECT_EQ(DeleteWareFromList(d_), HANDEL_ERLEDIGT);
  EXPECT_EQ(d_->kornLager, 43000u);
  EXPECT_EQ(CountWarenNodes(d_->warenListe, WARE_ANGEBOT), 0u);
  EXPECT_EQ(DeleteWareFromList(d_), HANDEL_FEHLER);  // nothing selected
}

TEST(MarketSchedule, StepsByRepeatCount) {
  struct Row {
    uint32_t from, to, count, steps[3];
  } const kRows[] = {{1, 20, 1, {1}}, {21, 40, 1, {10}}, {41, 60, 2, {10, 100}}, {61, 80, 3, {10, 100, 1000}}};
  for (const Row& r : kRows)
    for (uint32_t n = r.from; n <= r.to; ++n) {
      uint32_t s[3] = {};
      ASSERT_EQ(HandelSchritte(n, s), r.count) << n;
      for (uint32_t i = 0; i < r.count; ++i) EXPECT_EQ(s[i], r.steps[i]) << n;
    }
}

TEST_F(MarketOps, PlusAndMinusFollowTheScheduleWithinTheirBounds) {
  // Purchase quantity 1..120: 80 clicks of plus from 1.
  Line(0, 1);
  uint64_t want = 1;
  for (uint32_t n = 1; n <= 80; ++n) {
    HandelKnopf(d_, HK_KAUF_PLUS);
    uint32_t s[3];
    const uint32_t c = HandelSchritte(n, s);
    for (uint32_t i = 0; i < c; ++i)
      if (want + s[i] <= 120) want += s[i];
    ASSERT_EQ(d_->kaufMenge, want) << n;
  }
  // Minus never below 1; the plus counter starts again.
  for (uint32_t n = 1; n <= 80; ++n) HandelKnopf(d_, HK_KAUF_MINUS);
  EXPECT_EQ(d_->kaufMenge, 1u);
  EXPECT_EQ(d_->wiederholung[HK_KAUF_PLUS], 0u);
  EXPECT_EQ(d_->wiederholung[HK_KAUF_MINUS], 80u);
  // More than 10 ticks start the counters again.
  for (int t = 0; t < 10; ++t) HandelTick(d_);
  EXPECT_EQ(d_->wiederholung[HK_KAUF_MINUS], 80u);
  HandelTick(d_);
  EXPECT_EQ(d_->wiederholung[HK_KAUF_MINUS], 0u);
  // The sale quantity's plus is limited to the maximum at once.
  d_->verkaufTyp = 27;
  d_->verkaufMax = 1234;
  d_->verkaufMenge = 0;
  for (int i = 0; i < 80; ++i) HandelKnopf(d_, HK_VERKAUF_MENGE_PLUS);
  EXPECT_EQ(d_->verkaufMenge, 1234u);
  // A sale price has no upper bound below the u32 range.
  for (int i = 0; i < 80; ++i) HandelKnopf(d_, HK_VERKAUF_PREIS_PLUS);
  EXPECT_GT(d_->verkaufPreis, 10000u);
  // A field not in use stays.
  d_->kaufMenge = 0xFFFFFFFFu;
  HandelKnopf(d_, HK_KAUF_PLUS);
  EXPECT_EQ(d_->kaufMenge, 0xFFFFFFFFu);
}

TEST_F(MarketOps, TypedValuesKeepTheirBounds) {
  Line(0, 5);
  HandelEingabe(d_, 1, 500);
  EXPECT_EQ(d_->kaufMenge, 120u);
  HandelEingabe(d_, 1, -4);
  EXPECT_EQ(d_->kaufMenge, 0u);
  d_->verkaufTyp = 0;
  d_->verkaufMax = 70;
  HandelEingabe(d_, 2, 71);
  EXPECT_EQ(d_->verkaufMenge, 70u);
  HandelEingabe(d_, 3, 0x1FFFFFFFFLL);  // beyond 32 bits
  EXPECT_EQ(d_->verkaufPreis, 0xFFFFFFFFu);
  HandelEingabe(d_, 9, 5);  // no such box
}

// ---- the screen on a realm ----------------------------------------------------

constexpr uint32_t kLandLen = 172 - 12, kKornLen = 64 - 12, kTaxeLen = 84 - 12, kForsLen = 28 - 12;

class MarketScreen : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Handel.dat");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    RegisterGameDataListTypes();
    SetGameDataOwner(7, "Harald");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    CheckPrefs(PREFS_MARKET_FLAG, 1, 1);
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->PlayerId = 7;
    OwnPlayerPtr->ActiveTown = 1;
    Realm();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
  }
  void TearDown() override {
    FileFailWritesAfter(-1);
    FreeAllElmorGfx();
    HeadlessCloseDisplay();
    SetGameDataOwner(0, nullptr);
    *OwnPlayerPtr = OwnPlayer{};
  }
  static void Pool(const char* id, uint32_t len, const std::map<uint32_t, uint32_t>& fields) {
    uint8_t* c = AllocChunk(id, "V001", len);
    for (const auto& f : fields) ChunkPut32(c, f.first, f.second);
    ASSERT_NE(AddChunkPool(c, ReceivedPoolPath), 0);
    FreeChunk(c);
  }
  void Realm() {
    Pool("LAND", kLandLen, {{14, 1200}, {34, 5000}});
    Pool("KORN", kKornLen, {{22, 1000}, {30, 1}});
    Pool("TAXE", kTaxeLen, {{22, 0}, {58, 0}});
    Pool("FORS", kForsLen, {});
    ListHeader* list = CreateList(LIST_GOODS);
    goods_test::AddWare(list, {WARE_LAGER, 7, 27, 40, 12});
    goods_test::AddWare(list, {WARE_FREMD, 3, 45, 30, 55, 10, 60});
    goods_test::AddWare(list, {WARE_ANGEBOT, 7, 0, 500, 2});
    uint8_t* ware = MakeWareChunkFromList(list);
    ASSERT_NE(ware, nullptr);
    ASSERT_EQ(SaveChunk2File("Data/WarenChunk.qoe", ware), 1);
    FreeChunk(ware);
    DeleteList(list, 0);
    WarenMarkt m{};
    m.menge[10] = 120;
    m.preis[10] = 6;
    m.menge[27] = 35;
    m.preis[27] = 61;
    ASSERT_EQ(SaveWarenMarkt(&m), 1);
    fs::create_directories("Data/Cities");
    st_TOWN* town = CreateTown(1, "Elmor", 100, 100);
    town->level = 1;
    town->buildings[49].flags = BUILDING_STANDS;
    ASSERT_EQ(SaveTown(town), 1);
    FreeVec(town);
    TownListEntry e{};
    e.id = 1;
    std::snprintf(e.name, sizeof e.name, "Elmor");
    ASSERT_EQ(WriteTownList(&e, 1), 1);
  }
  // The same on a game thread whose stack already holds a pattern, as one
  // that ran other screens before does: a record the screen leaves
  // uninitialised then holds junk, not the zeros of a fresh thread.
  int32_t RunOnDirtyStack(const std::string& script) {
    static int32_t result;
    result = 99;
    const std::string timed = "timer 0 100\nwait 1500\n" + script + "wait 500\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return qoe_test::DirtyStack(), result = HandelsScreen(39), 0; }, nullptr), 0);
    return result;
  }
  int32_t Run(const std::string& script) {
    static int32_t result;
    result = 99;
    const std::string timed = "timer 0 100\nwait 1500\n" + script + "wait 500\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return result = HandelsScreen(39), 0; }, nullptr), 0);
    return result;
  }
  static std::string Click(int x, int y) { return qoe_test::ClickLine(x, y); }
  static std::string Buy() { return Click(60, 183) + Click(167, 455) + "wait 300\nkey enter\n"; }
  static std::string Ok() { return Click(213, 68); }
  static std::string Exit() { return Click(213, 108); }
  static uint32_t Outgoing(const char* id, uint32_t off) {
    LoadedChunk c(id, OutgoingPoolPath);
    return c.p ? ChunkGet32(c.p, off) : 0xDEADu;
  }
  // The goods file as a list of (kind, type, quantity, price, bid quantity,
  // bid price), in file order.
  static std::vector<std::vector<uint32_t>> Goods() {
    std::vector<std::vector<uint32_t>> out;
    LoadedChunk ware("WARE", "Data/WarenChunk.qoe");
    if (!ware.p) return out;
    ListHeader* list = CreateList(LIST_GOODS);
    if (ScanWare2List(list, ware.p)) {
      uint32_t i = 0;
      for (ListNode* n = list->first; n && i < list->count; n = n->next, ++i) {
        auto* w = reinterpret_cast<WarenListenEntry*>(n);
        out.push_back({w->kind, w->goods, w->quantity, w->price, w->bid_quantity, w->bid_price});
      }
    }
    DeleteList(list, 0);
    return out;
  }
  // Clears a typed box (Backspace over its value) and types v, then Enter.
  static std::string TypeInto(int x, int y, const std::string& v) {
    std::string s = Click(x, y) + "wait 200\n";
    for (int i = 0; i < 8; ++i) s += "key backspace\n";
    return s + "text \"" + v + "\"\nkey enter\nwait 200\n";
  }
};

TEST_F(MarketScreen, ExitLeavesEveryFileAsItWas) {
  const auto before = qoe_test::FileTree("Data");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Buy() + Exit()), 39);
  EXPECT_TRUE(log.Has("Addiere Node"));  // the purchase was made, then dropped
  EXPECT_EQ(qoe_test::FileTree("Data"), before);
}

TEST_F(MarketScreen, OkWritesThePoolTheGoodsAndTheStockTogether) {
  const std::string png = "market_screen.png";
  EXPECT_EQ(Run(Buy() + "wait 300\npng " + png + "\n" + Ok()), 39);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(Outgoing("LAND", 34), 5000u - 720u);
  EXPECT_EQ(Outgoing("KORN", 22), 1000u);
  EXPECT_EQ(Outgoing("TAXE", 58), 0xDEADu);  // not the turn's first visit
  WarenMarkt m{};
  ASSERT_EQ(LoadWarenMarkt(&m), 1);
  EXPECT_EQ(m.menge[10], 0u);
  EXPECT_EQ(m.menge[27], 35u);
  LoadedChunk ware("WARE", "Data/WarenChunk.qoe");
  ASSERT_NE(ware.p, nullptr);
  ListHeader* list = CreateList(LIST_GOODS);
  ASSERT_EQ(ScanWare2List(list, ware.p), 1);
  EXPECT_EQ(CountWarenNodes(list, WARE_LAGER), 2u);
  WarenListenEntry* bought = FindWarenNode(list, 1, WARE_LAGER);
  ASSERT_NE(bought, nullptr);
  EXPECT_EQ(bought->goods, 10u);
  EXPECT_EQ(bought->quantity, 120u);
  DeleteList(list, 0);
}

// A stock of the right size with prices out of range: those records are
// damage, not offered and told; the whole records are offered and bought,
// and OK writes the damaged records back as they were read.
TEST_F(MarketScreen, ADamagedStockRecordIsToldNotOfferedAndKeptAsRead) {
  WarenMarkt m{};
  m.menge[10] = 120;
  m.preis[10] = 6;
  m.menge[27] = 35;
  m.preis[27] = 4294967295u;
  m.menge[30] = 5;  // on offer at 0: the rule never gives it away
  m.menge[98] = 40;  // wood at 0 is whole
  m.preis[112] = WarenPreisGrenze() + 1;  // not on offer, but out of range too
  ASSERT_EQ(SaveWarenMarkt(&m), 1);
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\nwait 300\n" + Buy() + Ok()), 39);
  EXPECT_TRUE(log.Has("Beschaedigte Datei gemeldet: .\\Data\\Waren.dat"));
  EXPECT_TRUE(log.Has("Waren.dat hat 3 besch\xE4" "digte Eintr\xE4ge"));
  WarenMarkt after{};
  ASSERT_EQ(LoadWarenMarkt(&after), 1);
  EXPECT_EQ(after.menge[10], 0u);  // bought whole: the first line was type 10
  EXPECT_EQ(after.menge[98], 40u);
  m.menge[10] = 0;
  EXPECT_EQ(std::memcmp(&after, &m, sizeof m), 0);
  EXPECT_EQ(Outgoing("LAND", 34), 5000u - 720u);
}

TEST_F(MarketScreen, AStockWithEveryPriceOutOfRangeOffersNothingAndStaysAsItWas) {
  WarenMarkt m{};
  for (uint32_t g = 0; g < WAREN_ANZAHL; ++g) m.menge[g] = 1000 + g, m.preis[g] = 4294967295u;
  ASSERT_EQ(SaveWarenMarkt(&m), 1);
  const std::vector<uint8_t> before = qoe_test::ReadFileBytes("Data/Waren.dat");
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\nwait 300\n" + Buy() + Ok()), 39);
  EXPECT_TRUE(log.Has("Beschaedigte Datei gemeldet: .\\Data\\Waren.dat"));
  EXPECT_TRUE(log.Has("Waren.dat hat 116 besch\xE4" "digte Eintr\xE4ge"));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Waren.dat"), before);
  EXPECT_EQ(Outgoing("LAND", 34), 5000u);
}

// A goods store that cannot be read: the market opens, says so, refuses
// the purchase (it needs the store) and leaves every file as it was.
TEST_F(MarketScreen, ADamagedGoodsStoreOpensTheMarketWithoutItsOrders) {
  std::vector<uint8_t> bytes = qoe_test::ReadFileBytes("Data/WarenChunk.qoe");
  ASSERT_GT(bytes.size(), 20u);
  bytes.resize(bytes.size() - 7);  // cut short
  qoe_test::WriteFileBytes("Data/WarenChunk.qoe", bytes);
  const auto before = qoe_test::FileTree("Data");
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\nwait 300\n" + Buy() + Ok()), 39);
  EXPECT_TRUE(log.Has("Beschaedigte Datei gemeldet: .\\Data\\WarenChunk.qoe"));
  EXPECT_FALSE(log.Has("Addiere Node"));
  EXPECT_FALSE(log.Has("Konnte lokale Daten nicht"));
  EXPECT_EQ(qoe_test::FileTree("Data"), before);
}

// The ambient sounds the screen asked for (recorded on the game thread).
std::vector<uint32_t> g_ambient;

// Thirty seconds of the game's clock (300 ticks: the ambient counter fires
// at 100 and after that every 20 to 100): the screen stays, its sounds play,
// and the purchase made before the wait is written by OK.
TEST_F(MarketScreen, StaysOpenThirtySecondsAndKeepsThePurchase) {
  g_ambient.clear();
  SetSfxRecordHook([](uint32_t call, uint32_t id) {
    if (call == SFX_CALL_PLAY && id >= 40 && id <= 44) g_ambient.push_back(id);
  });
  const int32_t next = RunOnDirtyStack(Buy() + "wait 30000\n" + Ok());
  SetSfxRecordHook(nullptr);
  EXPECT_EQ(next, 39);
  EXPECT_GE(g_ambient.size(), 3u);
  EXPECT_EQ(Outgoing("LAND", 34), 5000u - 720u);
  bool bought = false;  // 120 of type 10 into the store
  for (const auto& g : Goods()) bought = bought || (g[0] == WARE_LAGER && g[1] == 10 && g[2] == 120);
  EXPECT_TRUE(bought);
}

TEST_F(MarketScreen, TheFirstVisitOfATurnRecordsTheGoodsCountWithBuilding49) {
  fs::remove("Data/Waren.dat");
  CheckPrefs(PREFS_MARKET_FLAG, 1, 0);
  EXPECT_EQ(Run(Ok()), 39);
  WarenMarkt m{};
  ASSERT_EQ(LoadWarenMarkt(&m), 1);
  EXPECT_EQ(Outgoing("TAXE", 58), CountWarenMarkt(&m));
  EXPECT_EQ(Outgoing("LAND", 34), 5000u);
}

TEST_F(MarketScreen, WithoutBuilding49TheGoodsCountIsNotRecorded) {
  st_TOWN* town = CreateTown(1, "Elmor", 100, 100);
  town->level = 1;
  ASSERT_EQ(SaveTown(town), 1);
  FreeVec(town);
  fs::remove("Data/Waren.dat");
  CheckPrefs(PREFS_MARKET_FLAG, 1, 0);
  EXPECT_EQ(Run(Ok()), 39);
  EXPECT_EQ(Outgoing("TAXE", 58), 0xDEADu);
  EXPECT_EQ(Outgoing("KORN", 22), 1000u);
}

TEST_F(MarketScreen, AccountStateZeroWritesNothing) {
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 0);
  const auto before = qoe_test::FileTree("Data");
  EXPECT_EQ(Run(Ok()), 39);
  EXPECT_EQ(qoe_test::FileTree("Data"), before);
}

TEST_F(MarketScreen, AFailedWriteChangesNoFile) {
  for (int64_t ok : {0, 100, 300, 600}) {  // the pool, the goods file, the stock
    SCOPED_TRACE(ok);
    const auto before = qoe_test::FileTree("Data");
    ResetInputState();
    qoe_test::LogLines log;
    FileFailWritesAfter(ok);
    // The failure is told in a box (Enter closes it); EXIT then leaves.
    EXPECT_EQ(Run(Buy() + Ok() + "wait 300\nkey enter\n" + Exit()), 39);
    FileFailWritesAfter(-1);
    EXPECT_TRUE(log.Has("Marktdaten konnten nicht gespeichert werden"));
    EXPECT_EQ(qoe_test::FileTree("Data"), before);
  }
}

// The sale of store goods: SX21 opens the choice box (corn, then the
// store's goods), Enter takes the highlighted line; quantity and price are
// typed into BOX2 and BOX3, OK20 puts the offer on the stall, OKOK writes it.
TEST_F(MarketScreen, ASaleChosenInTheBoxWithTypedQuantityAndPriceIsWritten) {
  const std::string box = "market_choose_box.png", sale = "market_sale.png";
  const std::string script = Click(300, 414) + "wait 400\n" + Click(300, 229) + "wait 200\npng " + box +
                             "\nkey enter\nwait 300\n" + TypeInto(307, 454, "25") + TypeInto(387, 454, "30") +
                             Click(460, 434) + "wait 300\npng " + sale + "\n" + Ok();
  EXPECT_EQ(Run(script), 39);
  EXPECT_TRUE(qoe_test::KeepPng(box));
  EXPECT_TRUE(qoe_test::KeepPng(sale));
  const auto goods = Goods();
  bool offer = false, store = false;
  for (const auto& g : goods) {
    if (g[0] == WARE_ANGEBOT && g[1] == 27) offer = g[2] == 25 && g[3] == 30;
    if (g[0] == WARE_LAGER && g[1] == 27) store = g[2] == 15;
  }
  EXPECT_TRUE(offer) << "no offer of 25 at 30";
  EXPECT_TRUE(store) << "the store does not hold the other 15";
  EXPECT_EQ(Outgoing("LAND", 34), 5000u);  // a sale costs nothing now
}

// SX01 on a foreign offer with the own bid asks first: Enter takes the bid
// back, Escape keeps it.
TEST_F(MarketScreen, TheCancelQuestionTakesTheBidBackOnlyWhenConfirmed) {
  const std::string pick = Click(300, 53) + "wait 200\n" + Click(580, 261) + "wait 400\n";
  auto bid = [] {
    for (const auto& g : Goods())
      if (g[0] == WARE_FREMD && g[1] == 45) return g[4] * 1000 + g[5];
    return 0xDEADu;
  };
  const std::string png = "market_cancel_question.png";
  EXPECT_EQ(Run(pick + "png " + png + "\nkey esc\nwait 300\n" + Ok()), 39);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(bid(), 10u * 1000 + 60);
  ResetInputState();
  EXPECT_EQ(Run(pick + "key enter\nwait 300\n" + Ok()), 39);
  EXPECT_EQ(bid(), 0u);
}

// A stock of thirty types: the arrow scrolls the purchase list, and a click
// on its top line then takes the type scrolled to.
TEST_F(MarketScreen, APurchaseFromTheScrolledListTakesTheTypeShown) {
  WarenMarkt m{};
  for (uint32_t t = 1; t <= 30; ++t) {
    m.menge[t] = 10 + t;
    m.preis[t] = 2;
  }
  ASSERT_EQ(SaveWarenMarkt(&m), 1);
  std::string down;
  for (int i = 0; i < 3; ++i) down += Click(230, 423) + "wait 150\n";
  const std::string png = "market_scrolled.png";
  EXPECT_EQ(Run(down + "png " + png + "\n" + Buy() + Ok()), 39);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  WarenMarkt after{};
  ASSERT_EQ(LoadWarenMarkt(&after), 1);
  std::vector<uint32_t> sold;
  for (uint32_t t = 1; t <= 30; ++t)
    if (after.menge[t] != m.menge[t]) sold.push_back(t);
  ASSERT_EQ(sold.size(), 1u);
  EXPECT_EQ(sold[0], 4u);  // the fourth type, three lines down
  EXPECT_EQ(after.menge[4], 0u);
  EXPECT_EQ(Outgoing("LAND", 34), 5000u - 14u * 2u);
}

// The leaving write of one purchase, as OKOK does it: 0 when written.
int WriteOnePurchase() {
  HandelsData* d = NewHandelsData();
  int32_t ok = d && ReadHandelsScreenData(d) && d->gelesen;
  if (ok) {
    d->warenListe = CreateList(LIST_GOODS);
    ok = d->warenListe && (!d->ware || ScanWare2List(d->warenListe, d->ware));
  }
  if (ok) {
    ok = LoadWarenMarkt(&d->markt);
    d->marktGeladen = 1;
  }
  if (ok) {
    ok = AddWare2List(d->warenListe, WARE_LAGER, 10, 120, 6) != 0;
    d->markt.menge[10] = 0;
    d->schatz -= 720;
  }
  ok = ok && WriteHandelsScreenData(d);
  FreeHandelsData(d);
  return ok ? 0 : 1;
}

// The files under Data, the goods file read as records: a new node's
// ident is the clock's second, the one thing two runs of a purchase differ in.
struct MarketFiles {
  std::map<std::string, std::vector<uint8_t>> files;
  std::vector<std::vector<uint32_t>> goods;
  bool operator==(const MarketFiles& o) const { return files == o.files && goods == o.goods; }
};

TEST_F(MarketScreen, AWriteKilledAtAnyMomentLeavesTheOldOrTheNewFiles) {
  auto state = [] {
    MarketFiles m{qoe_test::FileTree("Data"), Goods()};
    m.files.erase("WarenChunk.qoe");
    return m;
  };
  const auto tree = qoe_test::FileTree("Data");
  const MarketFiles before = state();
  int first = -1;
  const int64_t us = qoe_test::MicrosOf([&] { first = WriteOnePurchase(); });
  ASSERT_EQ(first, 0);
  const MarketFiles after = state();
  ASSERT_FALSE(after == before);
  std::vector<fs::path> folders;
  for (const auto& e : fs::recursive_directory_iterator("Data"))
    if (e.is_directory()) folders.push_back(e.path());
  auto restore = [&] {
    fs::remove_all("Data");
    for (const fs::path& f : folders) fs::create_directories(f);
    for (const auto& f : tree) ASSERT_TRUE(qoe_test::WriteFileBytes((fs::path("Data") / f.first).string(), f.second));
  };
  int olds = 0, news = 0;
  srand(7);
  for (int i = 0; i < 40; ++i) {
    restore();
    qoe_test::KillAfterStart(WriteOnePurchase, rand() % (2 * us + 50));
    EXPECT_EQ(FinishCommitRecords(), 0);  // the next start finishes a commit cut short
    const MarketFiles now = state();
    if (now == before) ++olds;
    else if (now == after) ++news;
    else ADD_FAILURE() << "run " << i << " left a mix of old and new files";
  }
  EXPECT_EQ(olds + news, 40);
  EXPECT_GT(news, 0);
}

// The demo realm fills every list: the stock the market halls bring, the
// other lords' offers with and without the own bid, the own offers of goods
// and corn on the stall, and the store behind them.
TEST(MarketDemo, TheDemoRealmFillsEveryList) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Handel.dat");
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ASSERT_TRUE(realm_test::InstallRealmWithTurn("demo.realm"));
  *OwnPlayerPtr = OwnPlayer{};
  OwnPlayerPtr->ActiveTown = 1;
  RegisterGameDataListTypes();
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  ResetInputState();
  const std::string png = "market_demo.png";
  static int32_t result;
  result = 99;
  const std::string script = "timer 0 100\nwait 1500\npng " + png + "\n" + qoe_test::ClickLine(213, 108) + "wait 500\n";
  EXPECT_EQ(HeadlessRunGame(script.c_str(), [](void*) { return result = HandelsScreen(39), 0; }, nullptr), 0);
  EXPECT_EQ(result, 39);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  WarenMarkt m{};
  ASSERT_EQ(LoadWarenMarkt(&m), 1);
  EXPECT_GE(CountWarenMarkt(&m), 3u);
  uint32_t kinds[6] = {}, bids = 0, corn_offers = 0;
  LoadedChunk ware("WARE", "Data/WarenChunk.qoe");
  ASSERT_NE(ware.p, nullptr);
  ListHeader* list = CreateList(LIST_GOODS);
  ASSERT_EQ(ScanWare2List(list, ware.p), 1);
  uint32_t i = 0;
  for (ListNode* n = list->first; n && i < list->count; n = n->next, ++i) {
    auto* w = reinterpret_cast<WarenListenEntry*>(n);
    if (w->kind < 6) ++kinds[w->kind];
    if (w->kind == WARE_FREMD && HatWarenGebot(w)) ++bids;
    if (w->kind == WARE_ANGEBOT && w->goods == 0) ++corn_offers;
  }
  DeleteList(list, 0);
  EXPECT_GE(kinds[WARE_FREMD], 2u);
  EXPECT_EQ(bids, 1u);
  EXPECT_GE(kinds[WARE_ANGEBOT], 2u);
  EXPECT_EQ(corn_offers, 1u);
  EXPECT_GE(kinds[WARE_LAGER], 1u);
  FreeAllElmorGfx();
  HeadlessCloseDisplay();
  *OwnPlayerPtr = OwnPlayer{};
}

}  // namespace
