// The luxury goods screen: the price tiers, the allocations never above the
// stock (steps, typing, scales), the switch, the scales with every balance
// and allocation 0 and with positive and negative balances dragged across
// the whole bar; headless runs on a realm: OKOK saves the allocations with
// the switch, EXIT saves nothing, a failed save is told and changes
// nothing, the layout and the data file of the same name stay apart, and
// PNGs of the screen.
#include "screens/economy/luxus.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/tests/goods_nodes.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/layout.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/lists.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

// A record with a goods list holding the given stocks (type, quantity).
class LuxusRecord : public testing::Test {
 protected:
  void SetUp() override {
    RegisterGameDataListTypes();
    d_.goods = CreateList(LIST_GOODS);
    d_.selection = -1;
  }
  void TearDown() override { DeleteList(d_.goods, 0); }
  void Stock(uint32_t type, uint32_t quantity) { goods_test::AddWare(d_.goods, {WARE_LAGER, 7, type, quantity, 10}); }
  LuxusScreenData d_{};
};

TEST_F(LuxusRecord, PriceTiersByTarget) {
  const int32_t none[3] = {0, 0, 0};
  struct T {
    uint32_t target, base;
  } const kTiers[] = {{100, 100}, {101, 110}, {1000, 110}, {1001, 130}, {5001, 170}, {10001, 250}};
  for (uint32_t entry : {3u, 10u, 18u})
    for (const T& t : kTiers)
      EXPECT_EQ(LuxusPrice(entry, t.target, none), CalcWarePreis(entry + 79, t.base, 0, 0, 0)) << entry << " " << t.target;
  EXPECT_EQ(LuxusPrice(3, 101, none), 110u);
  EXPECT_EQ(LuxusPrice(3, 10001, none), 250u);
  for (uint32_t entry : {0u, 1u, 2u}) EXPECT_EQ(LuxusPrice(entry, 50000, none), 0u);
  const int32_t some[3] = {-300, 50, 2000};
  EXPECT_EQ(LuxusPrice(5, 2000, some), CalcWarePreis(84, 130, -300, 50, 2000));
}

TEST_F(LuxusRecord, AllocationsNeverPassTheStock) {
  Stock(84, 3);   // entry 5
  Stock(1, 40);   // entry 0
  d_.selection = 5;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(LuxusStep(&d_, +1), 1);
  EXPECT_EQ(d_.alloc[5], 3u);
  EXPECT_EQ(LuxusStep(&d_, -1), 1);
  EXPECT_EQ(d_.alloc[5], 2u);
  for (int i = 0; i < 4; ++i) LuxusStep(&d_, -1);
  EXPECT_EQ(d_.alloc[5], 0u);
  EXPECT_EQ(LuxusTyped(&d_, 2000000000), 1);
  EXPECT_EQ(d_.alloc[5], 3u);
  EXPECT_EQ(LuxusTyped(&d_, -5), 1);
  EXPECT_EQ(d_.alloc[5], 0u);
  d_.selection = 6;  // no stock: nothing to allocate
  LuxusStep(&d_, +1);
  LuxusTyped(&d_, 9);
  EXPECT_EQ(d_.alloc[6], 0u);
  d_.selection = -1;
  EXPECT_EQ(LuxusStep(&d_, +1), 0);
  EXPECT_EQ(LuxusTyped(&d_, 1), 0);
  // Allocations read from the file above the stock are cut to it.
  d_.alloc[0] = 90;
  d_.alloc[7] = 5;
  LimitLuxusAllocations(&d_);
  EXPECT_EQ(d_.alloc[0], 40u);
  EXPECT_EQ(d_.alloc[7], 0u);
  EXPECT_EQ(LuxusStock(&d_, 0), 40u);
  EXPECT_EQ(LuxusStock(&d_, 5), 3u);
  EXPECT_EQ(LuxusStock(&d_, 19), 0u);
}

TEST_F(LuxusRecord, TheSwitchToggledTwiceIsUnchanged) {
  EXPECT_EQ(d_.marketSwitch, 0u);
  ToggleLuxusSwitch(&d_);
  EXPECT_EQ(d_.marketSwitch, 0xFFFFFFFFu);
  ToggleLuxusSwitch(&d_);
  EXPECT_EQ(d_.marketSwitch, 0u);
}

TEST_F(LuxusRecord, ScalesWithEverythingZeroStandInTheMiddle) {
  EXPECT_EQ(LuxusScaleUnit(&d_), 0u);
  for (uint32_t e = 0; e < 3; ++e) {
    EXPECT_EQ(LuxusMarkerOffset(&d_, e, 120), 60);
    int32_t beyond = 1;
    EXPECT_EQ(LuxusAllocationAt(&d_, e, 100, 120, &beyond), 0u);
    EXPECT_EQ(beyond, 0);
  }
  d_.balance[0] = -50;
  EXPECT_EQ(LuxusMarkerOffset(&d_, 0, 0), 0);  // a bar of width 0
  EXPECT_EQ(LuxusAllocationAt(&d_, 0, 5, 0, nullptr), 0u);
  EXPECT_EQ(LuxusScaleEntry(0), 1u);
  EXPECT_EQ(LuxusScaleEntry(1), 0u);
  EXPECT_EQ(LuxusScaleEntry(2), 2u);
}

TEST_F(LuxusRecord, TheScaleUnitIsTheLargestBalanceOrTenthOfAnAllocation) {
  d_.balance[0] = -70;
  d_.balance[1] = 20;
  d_.balance[2] = 5;
  EXPECT_EQ(LuxusScaleUnit(&d_), 70u);
  d_.alloc[2] = 1230;
  EXPECT_EQ(LuxusScaleUnit(&d_), 123u);
  d_.balance[1] = INT32_MIN;
  EXPECT_EQ(LuxusScaleUnit(&d_), 2147483648u);
  // A shortage: no allocation at S - |B|, more to the right; a surplus at
  // S + B, allocations to the left.
  d_ = LuxusScreenData{d_};
  d_.balance[0] = -100;
  d_.balance[1] = 100;
  d_.balance[2] = 0;
  d_.alloc[1] = d_.alloc[2] = 0;
  EXPECT_EQ(LuxusMarkerOffset(&d_, 0, 200), 0);    // 200 x 0 / 200
  EXPECT_EQ(LuxusMarkerOffset(&d_, 1, 200), 200);  // 200 x 200 / 200
  EXPECT_EQ(LuxusMarkerOffset(&d_, 2, 200), 100);
  d_.alloc[0] = 500;  // 50 units of the shortage covered
  EXPECT_EQ(LuxusMarkerOffset(&d_, 0, 200), 50);
}

TEST_F(LuxusRecord, BalancesDraggedAcrossTheWholeBar) {
  Stock(1, 800);   // entry 0: shortage
  Stock(2, 1500);  // entry 1: surplus
  Stock(3, 100);   // entry 2: surplus, little stock
  d_.balance[0] = -60;
  d_.balance[1] = 90;
  d_.balance[2] = 40;
  const int32_t w = 120;
  for (uint32_t e = 0; e < 3; ++e) {
    uint32_t last = e == 0 ? 0 : 0xFFFFFFFFu;
    for (int32_t p = -10; p <= w + 10; ++p) {
      int32_t beyond = 0;
      const uint32_t a = LuxusAllocationAt(&d_, e, p, w, &beyond);
      ASSERT_LE(a, LuxusStock(&d_, e)) << e << " " << p;
      // A shortage allocates more to the right, a surplus more to the left.
      if (e == 0) EXPECT_GE(a, last) << p;
      else EXPECT_LE(a, last) << e << " " << p;
      last = a;
      // The marker drawn for the allocation stands on the mouse's place or
      // one pixel before it, unless the stock or 0 stopped it.
      const int32_t at = p < 0 ? 0 : p > w ? w : p;
      const uint32_t keep = d_.alloc[e];
      d_.alloc[e] = a;
      const int32_t back = LuxusMarkerOffset(&d_, e, w);
      if (!beyond && a > 0 && LuxusScaleUnit(&d_) == 90) { EXPECT_LE(std::abs(back - at), 1) << e << " " << p; }
      d_.alloc[e] = keep;
    }
  }
  // Beyond the stock: the message's mark, the stock allocated.
  int32_t beyond = 0;
  EXPECT_EQ(LuxusAllocationAt(&d_, 0, w, w, &beyond), 800u);
  EXPECT_EQ(beyond, 1);
  EXPECT_EQ(LuxusAllocationAt(&d_, 2, 0, w, &beyond), 100u);
  EXPECT_EQ(beyond, 1);
  EXPECT_EQ(LuxusAllocationAt(&d_, 1, w, w, &beyond), 0u);
  EXPECT_EQ(beyond, 0);
}

// ---- on the headless display -------------------------------------------------------

constexpr char kRealm[] =
    "player id=1001 name=\"Harald\"\n"
    "turn year=1004 quarter=1\n"
    "land inhabitants=11800 plant_balance=60 animal_balance=-15 mineral_balance=-20\n"
    "taxes plant_tax_rate=2 animal_tax_rate=2 mineral_tax_rate=2\n"
    "korn weather=0\n"
    "goods kind=5 goods=1 quantity=400 price=4 ident=1000\n"
    "goods kind=5 goods=2 quantity=900 price=4 ident=1001\n"
    "goods kind=5 goods=3 quantity=50 price=4 ident=1002\n"
    "goods kind=5 goods=84 quantity=12 price=80 ident=1003\n"
    "goods kind=5 goods=97 quantity=300 price=20 ident=1004\n";

class LuxusScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Luxus.dat");
    qoe_test::CopyDataKit();
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    fs::create_directories("Data/Cities");
    RegisterGameDataListTypes();
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->PlayerId = 1001;
    OwnPlayerPtr->ActiveTown = 1;
    ::Realm realm;
    std::string err;
    ASSERT_TRUE(ParseRealm(kRealm, "luxury.realm", &realm, &err)) << err;
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildTurnPool(realm)));
    uint8_t* ware = LoadChunk2Mem("WARE", ReceivedPoolPath);
    ASSERT_NE(ware, nullptr);
    ASSERT_EQ(SaveChunk2File(".\\Data\\WarenChunk.qoe", ware), 1);
    FreeChunk(ware);
    st_TOWN* town = CreateTown(1, "Elmor", 100, 100);
    ASSERT_NE(town, nullptr);
    town->population = 7200;
    ASSERT_EQ(SaveTown(town), 1);
    FreeVec(town);
    TownListEntry e{};
    e.id = 1;
    std::snprintf(e.name, sizeof e.name, "Elmor");
    ASSERT_EQ(WriteTownList(&e, 1), 1);
    ScreenTest::SetUp();
    TextFont* font = OpenDiskFont("fonts\\XHelvetica11.fnt");
    ASSERT_NE(font, nullptr);
    line_ = font->YSize + 1;
    CloseFont(font);
  }
  void TearDown() override {
    FileFailWritesAfter(-1);
    log_.reset();
    ScreenTest::TearDown();
    *OwnPlayerPtr = OwnPlayer{};
  }
  // Every run leaves by a door of the screen, never by the script's end.
  int32_t Run(const std::string& script) {
    log_.reset();
    log_ = std::make_unique<qoe_test::LogLines>();
    const int32_t next = RunScreen(LuxusScreen, 39, "timer 0 100\nwait 800\n" + script);
    EXPECT_FALSE(log_->Has("Programmende angefordert"));
    return next;
  }
  const qoe_test::LogLines& log() const { return *log_; }
  // The list's line of entry e (from y 178, a line the font's height and one).
  std::string Line(int e) const { return Click(100, 178 + line_ * e + line_ / 2) + "wait 200\n"; }
  int line_ = 13;
  std::string Button(const char* id) const {
    struct P {
      const char* id;
      int x, y;
    } const kPlaces[] = {{"IN00", 485, 447}, {"OKOK", 544, 447}, {"EXIT", 599, 447}, {"LE00", 25, 437},
                         {"RE00", 144, 437}, {"BOX1", 85, 437},  {"SX00", 480, 49}};
    for (const P& p : kPlaces)
      if (std::strcmp(p.id, id) == 0) return Click(p.x, p.y) + "wait 200\n";
    return "";
  }
  static std::vector<uint32_t> Allocations() {
    const std::vector<uint8_t> f = qoe_test::ReadFileBytes("Data/Luxus.dat");
    std::vector<uint32_t> a;
    for (size_t i = 0; i + 4 <= f.size(); i += 4) a.push_back(GetLE32(f.data() + i));
    return a;
  }
  std::unique_ptr<qoe_test::LogLines> log_;
};

TEST_P(LuxusScreenRun, OkSavesTheAllocationsWithTheSwitch) {
  const std::string png = Png("luxus");
  // Sugar (entry 18): four more; wool (entry 0, 400 in store): typed 70;
  // the switch on; OKOK.
  EXPECT_EQ(Run(Line(18) + Button("RE00") + Button("RE00") + Button("RE00") + Button("RE00") + Button("LE00") +
                Line(0) + Button("BOX1") + "key backspace\nkey backspace\n" + Keys("70") + "key enter\nwait 200\n" +
                Button("SX00") + "png " + png + "\n" + Button("OKOK")),
            39);
  const std::vector<uint32_t> a = Allocations();
  ASSERT_EQ(a.size(), 19u);
  EXPECT_EQ(a[18], 3u);
  EXPECT_EQ(a[0], 70u);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_SWITCH, 0, 0), 1u);
  EXPECT_TRUE(log().Has("SaveLuxusScreenData: gespeichert, Schalter 1"));
  KeepPicture(png);
  // The layout of the same name one folder down is untouched and loads.
  ScreenRegion* r = GetScreenRegion(".\\Data\\ScreenDat/Luxus.dat", 1591);
  EXPECT_NE(r, nullptr);
  FreeScreenRegion(r);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Screendat/Luxus.dat"),
            qoe_test::ReadFileBytes(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Luxus.dat"));
  // The next visit reads them back; the switch twice leaves it on.
  EXPECT_EQ(Run(Button("SX00") + Button("SX00") + Line(18) + Button("OKOK")), 39);
  EXPECT_EQ(Allocations()[18], 3u);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_SWITCH, 0, 0), 1u);
}

TEST_P(LuxusScreenRun, StepsStopAtTheStockAndExitSavesNothing) {
  // Glass (type 84, entry 5) has 12 in store.
  std::string script = Line(5);
  for (int i = 0; i < 15; ++i) script += Button("RE00");
  const std::string png = Png("luxus_glass");
  EXPECT_EQ(Run(script + "png " + png + "\n" + Button("OKOK")), 39);
  EXPECT_EQ(Allocations()[5], 12u);
  KeepPicture(png);
  EXPECT_EQ(Run(Line(5) + Button("LE00") + Button("SX00") + Button("EXIT")), 39);
  EXPECT_EQ(Allocations()[5], 12u);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_SWITCH, 0, 0), 0u);
}

TEST_P(LuxusScreenRun, TheScalesFollowTheMouse) {
  // Plant (entry 1, the first scale, bar 480..600 at y 150): a surplus of 60;
  // animal -15, mineral -20: S = 60, the bar 120 pixels for 2S. A press at
  // the bar's middle allocates half the surplus' tenths (600 of 900); the
  // mineral's right end asks for 800, more than the 50 in store: the
  // message, and the stock is allocated.
  const std::string png = Png("luxus_scales");
  EXPECT_EQ(Run(Click(540, 150) + "wait 200\n" + Click(600, 330) + "wait 300\nkey enter\nwait 200\n" + "png " + png +
                "\n" + Button("OKOK")),
            39);
  const std::vector<uint32_t> a = Allocations();
  ASSERT_EQ(a.size(), 19u);
  EXPECT_EQ(a[1], 600u);
  EXPECT_EQ(a[2], 50u);
  EXPECT_TRUE(log().Has("offset 2 "));
  KeepPicture(png);
}

// A Luxus.dat of the wrong length is told as the screen opens; the entries
// its bytes hold whole are shown, EXIT leaves the file as it is, and OK saves
// the allocations as shown.
TEST_P(LuxusScreenRun, ADamagedAllocationsFileIsToldAndItsWholeEntriesShown) {
  std::vector<uint8_t> cut(LUXUS_FILE_SIZE, 0);
  PutLE32(cut.data() + 4 * 5, 7);    // glass: 7 (12 in store)
  PutLE32(cut.data() + 4 * 18, 2);   // sugar: cut off
  cut.resize(4 * 10 + 2);            // ten whole entries and a torn one
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Luxus.dat", cut));
  const std::string png = Png("luxus_damaged");
  EXPECT_EQ(Run("png " + png + "\nkey enter\nwait 200\n" + Line(5) + Button("RE00") + Button("EXIT")), 39);
  KeepPicture(png);
  EXPECT_TRUE(log().Has("Beschaedigte Datei gemeldet: .\\Data\\Luxus.dat"));
  EXPECT_TRUE(log().Has("Luxus.dat hat 42 statt 76 Bytes, 10 Zuteilungen gelesen"));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Luxus.dat"), cut);
  EXPECT_EQ(Run("key enter\nwait 200\n" + Line(5) + Button("RE00") + Button("OKOK")), 39);
  const std::vector<uint32_t> a = Allocations();
  ASSERT_EQ(a.size(), 19u);
  EXPECT_EQ(a[5], 8u);   // the whole entry, one step up
  EXPECT_EQ(a[18], 0u);  // beyond the cut
}

TEST_P(LuxusScreenRun, AFailedSaveIsToldAndChangesNothing) {
  uint32_t before[LUXUS_FILE_ENTRIES] = {};
  before[18] = 1;
  ASSERT_EQ(SaveLuxusDaten(before, 0), 1);
  const std::vector<uint8_t> file = qoe_test::ReadFileBytes("Data/Luxus.dat");
  const std::vector<uint8_t> prefs = qoe_test::ReadFileBytes("Data/Prefs.qoe");
  FileFailWritesAfter(0);
  const std::string png = Png("luxus_failed");
  EXPECT_EQ(Run(Line(18) + Button("RE00") + Button("SX00") + Button("OKOK") + "wait 300\npng " + png +
                "\nkey enter\nwait 200\n" + Button("EXIT")),
            39);
  FileFailWritesAfter(-1);
  EXPECT_TRUE(log().Has("SaveLuxusScreenData: Fehler"));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Luxus.dat"), file);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Prefs.qoe"), prefs);
  KeepPicture(png);
}

TEST_P(LuxusScreenRun, WithoutAnInstalledGameNothingIsSaved) {
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 0);
  const std::string png = Png("luxus_empty");
  EXPECT_EQ(Run("png " + png + "\n" + Line(18) + Button("RE00") + Button("SX00") + Button("OKOK")), 39);
  EXPECT_FALSE(fs::exists("Data/Luxus.dat"));
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_SWITCH, 0, 0), 0u);
  KeepPicture(png);
}

TEST_P(LuxusScreenRun, TheHelp) {
  const std::string png = Png("luxus_help");
  EXPECT_EQ(Run(Button("IN00") + "png " + png + "\nkey enter\nwait 200\n" + Button("EXIT")), 39);
  KeepPicture(png);
}

INSTANTIATE_TEST_SUITE_P(Modes, LuxusScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
