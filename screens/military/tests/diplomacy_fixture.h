// The diplomacy screen's tests: the player list of a test realm
// (.\Data\SpielerList.qoe, an ANTW chunk alone, with the players given, in
// that order), contract records in the pools, and the screen run headless
// by script over a small realm (the own lord Harald, 26000 corn, a town
// with a trade registry and a marketplace).
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/military/diplomat.h"
#include "tests/support/test_support.h"

namespace diplomacy_test {

inline bool WritePlayerList(const std::vector<std::pair<uint32_t, const char*>>& players) {
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(LIST_PLAYERS);
  for (const auto& p : players) {
    auto* n = reinterpret_cast<SpielerEintrag*>(AllocListNode(list));
    n->id = p.first;
    std::snprintf(n->name, sizeof n->name, "%s", p.second);
    AddNode(list, &n->head, LN_TAIL, 0);
  }
  uint8_t* chunk = MakeSpielerChunkFromList(list);
  const bool ok = chunk && SaveChunk2File(".\\Data\\SpielerList.qoe", chunk) == 1;
  if (chunk) FreeChunk(chunk);
  DeleteList(list, 0);
  return ok;
}

constexpr uint32_t kOwn = 1001, kGunhild = 2002, kRagnar = 2003, kAnsgar = 2004;

inline std::vector<std::string> g_said;
inline uint32_t Said(uint32_t, const char* text) {
  g_said.emplace_back(text);
  return 0;  // yes to every question
}

// One contract record in host order.
inline VertragsEintrag Rec(uint16_t kind, uint32_t sender, uint32_t receiver, uint32_t goods = 0, uint16_t duration = 0,
                    uint32_t amount = 0, uint32_t price = 0) {
  VertragsEintrag v{};
  v.kind = kind;
  v.sender = sender;
  v.receiver = receiver;
  v.goods = goods;
  v.time = 1000;
  v.duration = duration;
  v.amount = amount;
  v.price = price;
  return v;
}

// The records as the pools' VERT chunk (host order list through the game
// data's own writer), or the records read back from a pool.
inline void PutVert(const char* pool, const std::vector<VertragsEintrag>& records) {
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(LIST_CONTRACTS);
  for (const VertragsEintrag& r : records) {
    auto* n = reinterpret_cast<VertragsEintrag*>(AllocListNode(list));
    const ListNode head = n->head;
    *n = r;
    n->head = head;
    AddNode(list, &n->head, LN_TAIL, 0);
  }
  uint8_t* chunk = MakeVertragChunkFromList(list);
  ASSERT_NE(chunk, nullptr);
  ASSERT_NE(AddChunkPool(chunk, pool), 0);
  FreeChunk(chunk);
  DeleteList(list, 0);
}

inline std::vector<std::pair<uint16_t, uint32_t>> KindsAndSenders(const char* pool) {
  std::vector<std::pair<uint16_t, uint32_t>> out;
  LoadedChunk vert("VERT", pool);
  if (!vert.p) return out;
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(LIST_CONTRACTS);
  if (ScanVertrag2List(list, vert.p)) {
    ListNode* n = list->first;
    for (uint32_t i = 0; i < list->count; ++i, n = n->next) {
      const auto* v = reinterpret_cast<const VertragsEintrag*>(n);
      out.emplace_back(v->kind, v->sender);
    }
  }
  DeleteList(list, 0);
  return out;
}

class DiplomatRun : public testing::Test {
 public:
  static std::string Click(int x, int y) { return "wait 300\n" + qoe_test::ClickLine(x, y); }

 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/DiplomatieMain.dat");
    std::filesystem::copy(qoe_test::BinaryDir() + "/datakit", ".", std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    std::filesystem::create_directories("Data/POP3In");
    std::filesystem::create_directories("Data/POP3Out");
    std::filesystem::create_directories("Data/Cities");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    SetGameDataOwner(kOwn, "Harald");
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->ActiveTown = 1;
    Town({16, 25});
    uint8_t* korn = AllocChunk("KORN", "V001", 52);
    ChunkPut32(korn, 22, 26000);
    ASSERT_NE(AddChunkPool(korn, ReceivedPoolPath), 0);
    FreeChunk(korn);
    g_said.clear();
    SetDiplomatMessageHook(Said);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
  }
  void TearDown() override {
    ResetDiplomatModuleState();
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
    ResetChunkPoolState();
    *OwnPlayerPtr = OwnPlayer{};
  }
  static void Town(const std::vector<uint32_t>& buildings) {
    st_TOWN* town = CreateTown(1, "Elmor", 100, 100);
    for (uint32_t b : buildings) town->buildings[b].flags = BUILDING_STANDS;
    ASSERT_EQ(SaveTown(town), 1);
    FreeVec(town);
    TownListEntry e{};
    e.id = 1;
    std::snprintf(e.name, sizeof e.name, "Elmor");
    ASSERT_EQ(WriteTownList(&e, 1), 1);
  }
  static void Players() {
    ASSERT_TRUE(diplomacy_test::WritePlayerList(
        {{kRagnar, "Ragnar der Rote"}, {kGunhild, "Gunhild von Norden"}, {kAnsgar, "Ansgar"}}));
  }
  static std::string Png(const std::string& name) { return "wait 300\npng " + name + "\n"; }
  int32_t Run(const std::string& script) {
    static int32_t result;
    result = 99;
    const std::string timed = "timer 0 100\nwait 1000\n" + script + "wait 300\n";
    EXPECT_EQ(HeadlessRunGame(timed.c_str(), [](void*) { return result = DiplomatScreen(2), 0; }, nullptr), 0);
    return result;
  }
};

}  // namespace diplomacy_test
