// The diplomacy screen on the headless display, driven by script over a
// small realm: the hub with and without the trade buildings and with the
// game not installed, the view of the contracts, the vassal sub-screen
// without and with the player list, the cancel sub-screen's stepping and
// its last contract, and what leaving writes into the pools. PNGs of the
// hub and each sub-screen.
#include "screens/military/diplomat.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
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
#include "screens/military/tests/diplomacy_fixture.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

using namespace diplomacy_test;

// The hub's stations and the sub-screens' gadgets (DiplomatieMain.txt,
// Diplomatie0/2/3.txt).
const std::string kView = DiplomatRun::Click(96, 208), kTrade = DiplomatRun::Click(544, 208),
                  kOther = DiplomatRun::Click(320, 140), kCancel = DiplomatRun::Click(120, 400),
                  kLetters = DiplomatRun::Click(520, 400), kExit = DiplomatRun::Click(320, 455);
// Line k of the left list box (its font's lines are 12 pixels apart or more).
std::string Line(int k) { return DiplomatRun::Click(150, 133 + 13 * k); }
const std::string kBu30 = DiplomatRun::Click(420, 283), kBu31 = DiplomatRun::Click(420, 317),
                  kCh30 = DiplomatRun::Click(90, 362), kCh31 = DiplomatRun::Click(190, 362);
const std::string kLe30 = DiplomatRun::Click(64, 406), kCancelIt = DiplomatRun::Click(150, 406),
                  kRe30 = DiplomatRun::Click(236, 406);

std::string T(uint32_t id) { return GetCatalogStr(id); }

TEST_F(DiplomatRun, TheTradeStationNeedsMarketAndRegistry) {
  // The trade form and the letters open and close again.
  EXPECT_EQ(Run(Png("diplomacy_hub.png") + kTrade + kExit + kLetters + kExit + kExit), 2);
  EXPECT_TRUE(g_said.empty());
  EXPECT_TRUE(qoe_test::KeepPng("diplomacy_hub.png"));
  EXPECT_GT(qoe_test::ReadFileBytes("diplomacy_hub.png").size(), 20000u);
  for (const std::vector<uint32_t>& b : {std::vector<uint32_t>{16}, std::vector<uint32_t>{25}, std::vector<uint32_t>{}}) {
    Town(b);
    g_said.clear();
    EXPECT_EQ(Run(kTrade + kExit), 2);
    EXPECT_EQ(g_said, (std::vector<std::string>{T(1007)}));
  }
}

TEST_F(DiplomatRun, WithoutAnInstalledGameNothingIsReadAndTradeIsRefused) {
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  fs::remove("Data/POP3In/GameChunk.qoe");  // no KORN: not read at all
  fs::remove("Data/Cities/Town.list");
  EXPECT_EQ(Run(kTrade + kExit), 2);
  EXPECT_EQ(g_said, (std::vector<std::string>{T(1007)}));
  // Installed, the missing KORN fails the screen.
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  Town({16, 25});
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\n"), -1);
  EXPECT_TRUE(log.Has("KornChunk nicht vorhanden"));
}

TEST_F(DiplomatRun, AFailedSubScreenIsToldAndEndsTheGameOnLeaving) {
  Players();
  PutVert(ReceivedPoolPath, {Rec(4, kOwn, kGunhild, 98, 8, 50, 400)});
  std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  pool.back() ^= 0x21;  // the pool's checksum fails
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", pool));
  // Without an installed game nothing else reads the pool.
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  qoe_test::LogLines log;
  // The view fails (its box: Enter); the hub stays, EXIT ends with -1.
  EXPECT_EQ(Run(kView + "wait 300\nkey enter\n" + kTrade + kExit), -1);
  EXPECT_TRUE(log.Has("DiplomatScreenViewContracts: Konnte SpielerListe nicht anlegen"));
  EXPECT_EQ(g_said, (std::vector<std::string>{T(1007)}));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), pool);
}

TEST_F(DiplomatRun, ViewingContractsAndLeavingWritesTheReceivedPool) {
  Players();
  PutVert(ReceivedPoolPath, {Rec(4, kOwn, kGunhild, 98, 8, 50, 400), Rec(0, kRagnar, kOwn, 99, 2, 30, 100),
                             Rec(1, kAnsgar, kOwn)});
  // The view, the first line's document (Ragnar's offer), the third (the deed).
  EXPECT_EQ(Run(kView + Line(0) + Png("diplomacy_view.png") + Line(2) + Png("diplomacy_view_deed.png") + kExit +
                kExit),
            2);
  EXPECT_TRUE(qoe_test::KeepPng("diplomacy_view.png"));
  EXPECT_TRUE(qoe_test::KeepPng("diplomacy_view_deed.png"));
  EXPECT_TRUE(g_said.empty());
  // Written back in sorted order.
  EXPECT_EQ(KindsAndSenders(ReceivedPoolPath),
            (std::vector<std::pair<uint16_t, uint32_t>>{{0, kRagnar}, {1, kAnsgar}, {4, kOwn}}));
  EXPECT_TRUE(KindsAndSenders(OutgoingPoolPath).empty());
}

TEST_F(DiplomatRun, WithoutThePlayerListTheVassalScreenShowsNoInformation) {
  PutVert(ReceivedPoolPath, {Rec(6, kRagnar, kOwn)});
  qoe_test::LogLines log;
  // A click on the "no information" line picks nobody: BU30 asks for a partner.
  EXPECT_EQ(Run(kOther + Line(0) + Png("diplomacy_other_empty.png") + kBu30 + kBu31 + kExit + kExit), 2);
  EXPECT_EQ(g_said, (std::vector<std::string>{T(941), T(1154)}));
  EXPECT_TRUE(qoe_test::KeepPng("diplomacy_other_empty.png"));
  EXPECT_TRUE(KindsAndSenders(OutgoingPoolPath).empty());
}

TEST_F(DiplomatRun, OfferingAndAcceptingAVassalship) {
  Players();
  PutVert(ReceivedPoolPath, {Rec(6, kRagnar, kOwn), Rec(1, kAnsgar, kOwn)});
  // The lords sorted: Ansgar, Gunhild, Ragnar. Gunhild is asked to become a
  // vassal; then the senders: Ansgar (peace), Ragnar (vassalship), whose
  // offer is taken.
  const std::string script = kOther + Line(1) + kBu30 + kCh31 + Line(1) + Png("diplomacy_other.png") + kBu30 +
                             kCh30 + kExit + kExit;
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng("diplomacy_other.png"));
  EXPECT_EQ(g_said, (std::vector<std::string>{T(1265) + " Gunhild von Norden " + T(1266), T(1262)}));
  EXPECT_EQ(KindsAndSenders(OutgoingPoolPath), (std::vector<std::pair<uint16_t, uint32_t>>{{6, kOwn}, {7, kRagnar}}));
}

TEST_F(DiplomatRun, CancellingStepsRoundAndTheLastContractTakesTheBox) {
  Players();
  PutVert(ReceivedPoolPath, {Rec(8, kOwn, kAnsgar), Rec(4, kOwn, kGunhild, 98, 8, 50, 400)});
  // Sorted: the trade contract (line 0), the vassal (line 1). LE30 without a
  // choice does nothing; RE30 0, 1, round to 0; LE30 round to 1: the vassal
  // is let go. Then the trade contract (now line 0) is broken, the box goes,
  // and its place takes no clicks.
  const std::string script = kCancel + kLe30 + kRe30 + kRe30 + kRe30 + kLe30 + Png("diplomacy_cancel.png") +
                             kCancelIt + kCancelIt + Png("diplomacy_cancel_empty.png") + Line(0) + kRe30 + kExit +
                             kExit;
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng("diplomacy_cancel.png"));
  EXPECT_TRUE(qoe_test::KeepPng("diplomacy_cancel_empty.png"));
  const std::string ask = GetCatalogStr(1822);
  EXPECT_EQ(g_said, (std::vector<std::string>{ask, ask}));
  EXPECT_EQ(KindsAndSenders(OutgoingPoolPath), (std::vector<std::pair<uint16_t, uint32_t>>{{10, kOwn}, {5, kOwn}}));
  EXPECT_TRUE(KindsAndSenders(ReceivedPoolPath).empty());
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_VERT), ReceivedPoolPath), 0);
}

}  // namespace
