// The contracts without a screen: the line lists of the four modes from a
// received pool, the documents against expected texts, every record the
// lord makes against VERT chunks written here by hand (big-endian, byte for
// byte), the checks and their messages, acceptance and cancellation, the
// write-back of the received pool, and failing writes that change nothing.
#include "screens/military/diplomat.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "screens/military/tests/diplomacy_fixture.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kOwn = 1001, kGunhild = 2002, kRagnar = 2003, kAnsgar = 2004, kAll = 0xFFFFFFFFu;
constexpr uint32_t kNow = 1700000000;

struct C {
  uint16_t kind;
  uint32_t sender, receiver, goods, time;
  uint16_t reserved, duration;
  uint32_t amount, price;
  uint16_t closing;
};

void Be16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
void Be32(std::vector<uint8_t>& b, uint32_t v) {
  Be16(b, v >> 16);
  Be16(b, v & 0xFFFF);
}

// The VERT chunk as it stands on disk.
std::vector<uint8_t> Vert(const std::vector<C>& records) {
  std::vector<uint8_t> b = {'V', 'E', 'R', 'T', 'V', '0', '0', '1'};
  Be32(b, 4 + 32 * static_cast<uint32_t>(records.size()));
  Be32(b, static_cast<uint32_t>(records.size()));
  for (const C& c : records) {
    Be16(b, c.kind);
    Be32(b, c.sender);
    Be32(b, c.receiver);
    Be32(b, c.goods);
    Be32(b, c.time);
    Be16(b, c.reserved);
    Be16(b, c.duration);
    Be32(b, c.amount);
    Be32(b, c.price);
    Be16(b, c.closing);
  }
  return b;
}

// The VERT chunk's bytes inside a pool file, empty when it has none.
std::vector<uint8_t> PoolVert(const char* path) {
  std::string p = path;
  for (char& ch : p)
    if (ch == '\\') ch = '/';
  p = p.substr(2);
  const std::vector<uint8_t> f = qoe_test::ReadFileBytes(p);
  for (size_t at = 0; at + 12 <= f.size();) {
    const uint32_t len = (uint32_t(f[at + 8]) << 24) | (uint32_t(f[at + 9]) << 16) | (uint32_t(f[at + 10]) << 8) | f[at + 11];
    if (std::string(f.begin() + at, f.begin() + at + 4) == "VERT")
      return std::vector<uint8_t>(f.begin() + at, f.begin() + std::min(f.size(), at + 12 + len));
    at += 12 + len;
  }
  return {};
}

void PutVert(const char* pool, const std::vector<C>& records) {
  const std::vector<uint8_t> disk = Vert(records);
  uint8_t* host = ChunkFromBuffer("VERT", disk.data(), static_cast<uint32_t>(disk.size()));
  ASSERT_NE(host, nullptr);
  ASSERT_NE(AddChunkPool(host, pool), 0);
  FreeChunk(host);
}

std::vector<std::string> Lines(const DiplomatScreenData& d) {
  std::vector<std::string> out;
  for (uint32_t i = 0; i < (d.contractLineCount ? d.contractLineCount : 1u); ++i)
    out.emplace_back(d.contractLines + i * kDiplomatLineSize);
  return out;
}

std::string Data(const char* name) {
  const auto b = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/screens/military/tests/data/" + name);
  return std::string(b.begin(), b.end());
}

// What the boxes said, and the answers the lord gives to questions.
struct Boxes {
  static std::vector<std::string> said;
  static std::vector<uint32_t> answers;  // 0 yes; empty: yes
  static uint32_t Hook(uint32_t mode, const char* text) {
    said.emplace_back(text);
    if (mode != 1 || answers.empty()) return 0;
    const uint32_t a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
};
std::vector<std::string> Boxes::said;
std::vector<uint32_t> Boxes::answers;

// The received records of the fixture, in no order.
const std::vector<C> kReceived = {
    {4, kOwn, kGunhild, 98, 900, 0, 8, 50, 400, 3},    // a trade contract in force
    {0, kRagnar, kOwn, 99, 901, 0, 2, 30, 100, 0},     // offers
    {0, kGunhild, kOwn, 1, 902, 0, 4, 200, 1800, 0},
    {0, kGunhild, kOwn, 60, 903, 0, 1, 5, 900, 0},
    {1, kAnsgar, kOwn, 0, 904, 0, 0, 0, 0, 0},         // a peace offer
    {6, kRagnar, kOwn, 0, 905, 0, 0, 0, 0, 0},         // two vassalship offers
    {6, kRagnar, kOwn, 0, 906, 0, 0, 0, 0, 0},
    {2, kAnsgar, kAll, 0, 907, 0, 0, 0, 0, 0},         // a call for offers
    {5, kGunhild, kOwn, 99, 908, 0, 3, 50, 400, 0},    // a breach
    {8, kOwn, kAnsgar, 0, 909, 0, 0, 0, 0, 0},         // a vassal
    {9, kRagnar, kOwn, 0, 910, 0, 0, 0, 0, 0},         // a kind this client does not know
};
// The same sorted by kind, then sender (stable).
const std::vector<C> kSorted = {kReceived[2], kReceived[3], kReceived[1], kReceived[4], kReceived[7], kReceived[0],
                                kReceived[8], kReceived[5], kReceived[6], kReceived[9], kReceived[10]};

class Contracts : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    SetGameDataOwner(kOwn, "Harald");
    ASSERT_TRUE(diplomacy_test::WritePlayerList({{kRagnar, "Ragnar"}, {kGunhild, "Gunhild"}, {kAnsgar, "Ansgar"}}));
    Boxes::said.clear();
    Boxes::answers.clear();
    SetDiplomatMessageHook(Boxes::Hook);
    SetVertragClock([]() -> uint32_t { return kNow; });
    d_ = DiplomatScreenData{};
    d_.selPlayer = d_.selGoods = -1;
  }
  void TearDown() override {
    FileFailWritesAfter(-1);
    FreeVertragList(&d_);
    FreeSpielerList(&d_);
    DeleteList(d_.goodsList, 0);
    ResetDiplomatModuleState();
    ResetChunkPoolState();
  }
  // The goods in store: wood 900 (closing word 7), an own market offer
  // (not in store), stone 700 (closing word 9).
  void Goods() {
    RegisterGameDataListTypes();
    d_.goodsList = CreateList(LIST_GOODS);
    const WarenListenEntry rows[] = {{{}, 5, kOwn, 98, 900, 0, 0, 0, 0, 0, 7},
                                     {{}, 0, kOwn, 98, 300, 15, 0, 0, 0, 0, 1},
                                     {{}, 5, kOwn, 99, 700, 0, 0, 0, 0, 0, 9}};
    for (const WarenListenEntry& r : rows) {
      auto* n = reinterpret_cast<WarenListenEntry*>(AllocListNode(d_.goodsList));
      const ListNode head = n->head;
      *n = r;
      n->head = head;
      AddNode(d_.goodsList, &n->head, LN_TAIL, 0);
    }
  }
  std::vector<std::string> Said() const { return Boxes::said; }
  DiplomatScreenData d_{};
};

std::string T(uint32_t id) { return GetCatalogStr(id); }

TEST_F(Contracts, TheLineListsOfTheFourModes) {
  PutVert(ReceivedPoolPath, kReceived);
  ASSERT_EQ(AllocVertragList(&d_, VLIST_VIEW), 1);
  const std::vector<std::string> view = {
      "Trade offer from Gunhild", "Trade offer from Gunhild",        "Trade offer from Ragnar",
      "Ansgar",                   "Trade advertisement from Ansgar", "Trade agreement with Gunhild",
      "breach of contract with Gunhild", "Vassalshipcontract with Ragnar", "Vassalshipcontract with Ragnar",
      "Vassalshipcontract with Ansgar",  "Ragnar"};
  EXPECT_EQ(Lines(d_), view);
  EXPECT_EQ(d_.noOffers, 0u);
  ASSERT_EQ(AllocVertragList(&d_, VLIST_CANCEL), 1);
  EXPECT_EQ(Lines(d_), view);
  ASSERT_EQ(AllocVertragList(&d_, VLIST_OFFERS), 1);
  EXPECT_EQ(Lines(d_), (std::vector<std::string>{"Gunhild", "Ragnar"}));
  ASSERT_EQ(AllocVertragList(&d_, VLIST_OTHER), 1);
  EXPECT_EQ(Lines(d_), (std::vector<std::string>{"Ansgar", "Ragnar"}));
  EXPECT_EQ(d_.contractList->count, 11u);
  // Leaving writes the list back in sorted order.
  ASSERT_EQ(FreeVertragList(&d_), 1);
  EXPECT_EQ(PoolVert(ReceivedPoolPath), Vert(kSorted));
}

TEST_F(Contracts, NoRecordsGiveTheSingleNoOffersLine) {
  ASSERT_EQ(AllocVertragList(&d_, VLIST_VIEW), 1);
  EXPECT_EQ(Lines(d_), (std::vector<std::string>{T(1232)}));
  EXPECT_EQ(d_.noOffers, 1u);
  EXPECT_EQ(d_.contractLineCount, 0u);
  // Only offers of other kinds: the trade-offer list is empty as well.
  ASSERT_EQ(FreeVertragList(&d_), 1);
  EXPECT_FALSE(qoe_test::FileExists("Data/POP3In/GameChunk.qoe"));  // nothing to write, nothing made
  PutVert(ReceivedPoolPath, {kReceived[0], kReceived[4]});
  ASSERT_EQ(AllocVertragList(&d_, VLIST_OFFERS), 1);
  EXPECT_EQ(Lines(d_), (std::vector<std::string>{T(1232)}));
  EXPECT_EQ(d_.noOffers, 1u);
}

TEST_F(Contracts, ADamagedVertIsNeverWrittenOver) {
  PutVert(ReceivedPoolPath, kReceived);
  std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  pool.back() ^= 0x40;  // the checksum fails
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", pool));
  EXPECT_EQ(AllocVertragList(&d_, VLIST_VIEW), 0);
  EXPECT_EQ(FreeVertragList(&d_), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), pool);
}

TEST_F(Contracts, TheDocuments) {
  char doc[kDiplomatDocSize];
  const VertragsEintrag offer{{}, 0, kGunhild, kOwn, 98, 1, 0, 4, 200, 1800, 0};
  VertragDokument(&offer, kOwn, "Harald", doc, sizeof doc);
  EXPECT_EQ(std::string(doc), Data("offer_letter.txt"));
  const VertragsEintrag deed{{}, 4, kOwn, kGunhild, 98, 1, 0, 8, 50, 400, 0};
  VertragDokument(&deed, kOwn, "Harald", doc, sizeof doc);
  EXPECT_EQ(std::string(doc), Data("deed.txt"));
  const VertragsEintrag breach{{}, 5, kGunhild, kOwn, 99, 1, 0, 3, 50, 400, 0};
  VertragDokument(&breach, kOwn, "Harald", doc, sizeof doc);
  EXPECT_EQ(std::string(doc), Data("breach.txt"));
  // The letters: the call for offers and the vassal letters, each signed.
  const std::string dear = "Dear Lord Harald...\n\n";
  const VertragsEintrag call{{}, 2, kAnsgar, kAll, 0, 1, 0, 0, 0, 0, 0};
  VertragDokument(&call, kOwn, "Harald", doc, sizeof doc);
  EXPECT_EQ(std::string(doc), dear + T(954) + "\nAnsgar");
  const VertragsEintrag v6{{}, 6, kRagnar, kOwn, 0, 1, 0, 0, 0, 0, 0}, v7{{}, 7, kOwn, kRagnar, 0, 1, 0, 0, 0, 0, 0},
      v8{{}, 8, kRagnar, kOwn, 0, 1, 0, 0, 0, 0, 0};
  VertragDokument(&v6, kOwn, "Harald", doc, sizeof doc);
  EXPECT_EQ(std::string(doc), dear + T(1256) + "\nRagnar");
  VertragDokument(&v7, kOwn, "Harald", doc, sizeof doc);  // signed by the receiver
  EXPECT_EQ(std::string(doc), dear + T(1270) + "\nRagnar");
  VertragDokument(&v8, kOwn, "Harald", doc, sizeof doc);
  EXPECT_EQ(std::string(doc), dear + T(1271) + "\nRagnar");
  // Kinds without a document, and a small buffer: cut, terminated.
  for (uint16_t kind : {1, 3, 9, 10, 200}) {
    VertragsEintrag v = v6;
    v.kind = kind;
    EXPECT_EQ(VertragDokument(&v, kOwn, "Harald", doc, sizeof doc), 0u) << kind;
    EXPECT_STREQ(doc, "");
  }
  char small[16];
  EXPECT_EQ(VertragDokument(&deed, kOwn, "Harald", small, sizeof small), 15u);
  EXPECT_EQ(std::string(small), Data("deed.txt").substr(0, 15));
  // Unknown goods and an own name longer than a name field.
  const VertragsEintrag odd{{}, 4, kOwn, 77777, 5000, 1, 0, 8, 50, 400, 0};
  const std::string longname(300, 'L');
  VertragDokument(&odd, kOwn, longname.c_str(), doc, sizeof doc);
  EXPECT_NE(std::string(doc).find("unknown & " + std::string(39, 'L') + "\n"), std::string::npos) << doc;
}

TEST_F(Contracts, ACallForOffersOncePerTurn) {
  ASSERT_EQ(SendVertrag(&d_, 2), 1);
  ASSERT_EQ(SendVertrag(&d_, 2), 1);
  EXPECT_EQ(Said(), (std::vector<std::string>{T(981), T(981)}));
  EXPECT_EQ(PoolVert(OutgoingPoolPath), Vert({{2, kOwn, kAll, 0, kNow, 0, 0, 0, 0, 0}}));
}

TEST_F(Contracts, TradeOffersAndTheirChecks) {
  ASSERT_EQ(AllocSpielerList(&d_), 1);  // Ansgar, Gunhild, Ragnar
  Goods();
  d_.corn = 26000;
  d_.turns = 5;
  d_.amount = 100;
  d_.price = 300;
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  d_.selPlayer = 1;
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  d_.selGoods = 1;  // wood (line 0 is corn)
  d_.amount = 0;
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  EXPECT_EQ(Said(), (std::vector<std::string>{T(941), T(942), T(943)}));
  EXPECT_FALSE(qoe_test::FileExists("Data/POP3Out/GameChunk.qoe"));  // a refused offer changes no file
  Boxes::said.clear();
  d_.amount = 100;  // 500 of 900 wood
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  ASSERT_EQ(SendVertrag(&d_, 0), 1);  // 400 left: refused
  d_.amount = 80;                      // exactly the 400 left
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  // Corn comes from the KORN value, not from the store.
  d_.selGoods = 0;
  d_.selPlayer = 2;
  d_.amount = 1000;
  d_.turns = 20;
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  d_.turns = 7;  // 6000 left, 7000 asked
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  // amount x duration above 32 bits is no small number.
  d_.selGoods = 2;  // stone
  d_.amount = 0x80000000u;
  d_.turns = 2;
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  EXPECT_EQ(Said(), (std::vector<std::string>{T(980), T(944), T(980), T(980), T(944), T(944)}));
  EXPECT_EQ(PoolVert(OutgoingPoolPath), Vert({{0, kOwn, kGunhild, 98, kNow, 0, 5, 100, 300, 7},
                                              {0, kOwn, kGunhild, 98, kNow, 0, 5, 80, 300, 7},
                                              {0, kOwn, kRagnar, 0, kNow, 0, 20, 1000, 300, 0}}));
  // Without corn the first line is the first store record.
  d_.corn = 0;
  d_.selGoods = 1;
  d_.amount = 1;
  d_.turns = 1;
  ASSERT_EQ(SendVertrag(&d_, 0), 1);
  EXPECT_EQ(PoolVert(OutgoingPoolPath).size(), 12u + 4 + 4 * 32);
  EXPECT_EQ(PoolVert(OutgoingPoolPath).back(), 9);  // stone's closing word
}

TEST_F(Contracts, VassalshipOfferAndAcceptance) {
  PutVert(ReceivedPoolPath, kReceived);
  ASSERT_EQ(AllocSpielerList(&d_), 1);
  ASSERT_EQ(AllocVertragList(&d_, VLIST_OTHER), 1);
  ASSERT_EQ(SendVertrag(&d_, 6), 1);  // no lord chosen
  d_.selPlayer = 1;
  Boxes::answers = {1};  // no
  ASSERT_EQ(SendVertrag(&d_, 6), 1);
  ASSERT_EQ(SendVertrag(&d_, 6), 1);  // yes
  const std::string ask = T(1265) + " Gunhild " + T(1266);
  EXPECT_EQ(Said(), (std::vector<std::string>{T(941), ask, ask}));
  // The senders' list: Ansgar's peace offer, Ragnar's vassalship offers.
  d_.mode = ~0u;
  d_.selPlayer = 1;
  uint32_t count = 0;
  char* lines = VassalDokLines(&d_, &count);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(std::string(lines), T(1268));
  FreeVec(lines);
  d_.selPlayer = 0;
  lines = VassalDokLines(&d_, &count);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(std::string(lines), T(1269));
  FreeVec(lines);
  d_.mode = 0;
  lines = VassalDokLines(&d_, &count);
  EXPECT_EQ(std::string(lines), T(1263));
  FreeVec(lines);
  d_.mode = ~0u;
  d_.selPlayer = 1;
  Boxes::said.clear();
  ASSERT_EQ(SendVertrag(&d_, 7), 1);
  EXPECT_EQ(Said(), (std::vector<std::string>{T(1262)}));
  EXPECT_EQ(PoolVert(OutgoingPoolPath), Vert({{6, kOwn, kGunhild, 0, kNow, 0, 0, 0, 0, 0},
                                              {7, kRagnar, kOwn, 0, 0, 0, 0, 0, 0, 0}}));
  d_.selPlayer = -1;
  Boxes::said.clear();
  ASSERT_EQ(SendVertrag(&d_, 7), 1);
  EXPECT_EQ(Said(), (std::vector<std::string>{T(941)}));
}

TEST_F(Contracts, AcceptingAnOfferMovesItIntoTheOutgoingPool) {
  PutVert(ReceivedPoolPath, kReceived);
  ASSERT_EQ(AllocVertragList(&d_, VLIST_OFFERS), 1);
  d_.selOffer = VertragNodeAt(&d_, 0);  // Gunhild's first offer
  d_.selGoods = 1;                      // her second: Oiolosse
  ASSERT_EQ(SendVertrag(&d_, 3), 1);
  C accepted = kReceived[3];
  accepted.kind = 3;
  EXPECT_EQ(PoolVert(OutgoingPoolPath), Vert({accepted}));
  EXPECT_EQ(d_.contractList->count, 10u);
  EXPECT_EQ(d_.selOffer, nullptr);
  EXPECT_EQ(Lines(d_), (std::vector<std::string>{"Gunhild", "Ragnar"}));
  // A walk past the end of the list accepts nothing; a node of another kind
  // is left alone.
  d_.selOffer = VertragNodeAt(&d_, 0);
  d_.selGoods = 100;
  ASSERT_EQ(SendVertrag(&d_, 3), 1);
  d_.selGoods = 2;  // Ansgar's peace offer
  ASSERT_EQ(SendVertrag(&d_, 3), 1);
  EXPECT_EQ(PoolVert(OutgoingPoolPath), Vert({accepted}));
  ASSERT_EQ(FreeVertragList(&d_), 1);
  std::vector<C> left = kSorted;
  left.erase(left.begin() + 1);
  EXPECT_EQ(PoolVert(ReceivedPoolPath), Vert(left));
}

TEST_F(Contracts, CancellingContracts) {
  PutVert(ReceivedPoolPath, kReceived);
  ASSERT_EQ(AllocVertragList(&d_, VLIST_CANCEL), 1);
  // Offers, a peace offer, a call, a breach, vassalship offers: nothing to cancel.
  for (int16_t line : {0, 3, 4, 6, 7}) {
    d_.selPlayer = line;
    ASSERT_EQ(DiplomatScreenDeleteContracts_SendCancel(&d_), 1);
  }
  EXPECT_TRUE(Said().empty());
  EXPECT_FALSE(qoe_test::FileExists("Data/POP3Out/GameChunk.qoe"));
  d_.selPlayer = 5;  // the trade contract; the lord says no, then yes
  Boxes::answers = {1, 0};
  ASSERT_EQ(DiplomatScreenDeleteContracts_SendCancel(&d_), 1);
  EXPECT_EQ(d_.contractList->count, 11u);
  ASSERT_EQ(DiplomatScreenDeleteContracts_SendCancel(&d_), 1);
  EXPECT_EQ(Said().size(), 2u);
  EXPECT_EQ(Said()[0], GetCatalogStr(1822));
  EXPECT_EQ(qoe_test::GermanPastCatalog(Said()[0]), "");
  EXPECT_EQ(d_.contractList->count, 10u);
  EXPECT_EQ(d_.selPlayer, 0);
  d_.selPlayer = 8;  // the vassal (kind 8): ended with kind 10
  ASSERT_EQ(DiplomatScreenDeleteContracts_SendCancel(&d_), 1);
  C breach = kReceived[0], end = kReceived[9];
  breach.kind = 5;
  end.kind = 10;
  EXPECT_EQ(PoolVert(OutgoingPoolPath), Vert({breach, end}));
  ASSERT_EQ(FreeVertragList(&d_), 1);
  std::vector<C> left = kSorted;
  left.erase(left.begin() + 9);
  left.erase(left.begin() + 5);
  EXPECT_EQ(PoolVert(ReceivedPoolPath), Vert(left));
}

TEST_F(Contracts, TheLastContractCancelledEmptiesTheReceivedVert) {
  PutVert(ReceivedPoolPath, {kReceived[0]});
  ASSERT_EQ(AllocVertragList(&d_, VLIST_CANCEL), 1);
  d_.selPlayer = 0;
  ASSERT_EQ(DiplomatScreenDeleteContracts_SendCancel(&d_), 1);
  EXPECT_EQ(d_.contractList->count, 0u);
  EXPECT_EQ(d_.noOffers, 1u);
  EXPECT_EQ(d_.selPlayer, -1);
  ASSERT_EQ(FreeVertragList(&d_), 1);
  EXPECT_TRUE(PoolVert(ReceivedPoolPath).empty());
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_VERT), ReceivedPoolPath), 0);
}

TEST_F(Contracts, FailingWritesChangeNeitherPool) {
  PutVert(ReceivedPoolPath, kReceived);
  PutVert(OutgoingPoolPath, {{2, kOwn, kAll, 0, 5, 0, 0, 0, 0, 0}});
  const auto in = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  const auto out = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  ASSERT_EQ(AllocVertragList(&d_, VLIST_CANCEL), 1);
  qoe_test::LogLines log;
  FileFailWritesAfter(0);
  d_.selPlayer = 5;
  EXPECT_EQ(DiplomatScreenDeleteContracts_SendCancel(&d_), 0);
  EXPECT_EQ(d_.contractList->count, 11u);  // the contract stays
  EXPECT_TRUE(log.Has("Konnte Vertrag nicht senden"));
  ASSERT_EQ(AllocVertragList(&d_, VLIST_OFFERS), 1);
  d_.selOffer = VertragNodeAt(&d_, 0);
  d_.selGoods = 0;
  EXPECT_EQ(SendVertrag(&d_, 3), 0);
  EXPECT_EQ(d_.contractList->count, 11u);  // the offer stays
  EXPECT_NE(d_.selOffer, nullptr);
  EXPECT_EQ(FreeVertragList(&d_), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), in);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), out);
}

TEST_F(Contracts, LabelsOfTheKinds) {
  const uint32_t want[12] = {946, 0, 947, 948, 948, 1231, 1264, 1264, 1264, 0, 0, 0};
  for (uint32_t k = 0; k < 12; ++k) EXPECT_EQ(VertragsArtLabel(k), want[k]) << k;
}

}  // namespace
