// The reports: each report's text over fixture chunks compared with its
// expected text file (tests/data/berichte), hostile chunks (short, missing,
// huge counts), the right-aligned numbers, and the screen on the headless
// display driven by script: every report shown, a report pressed twice
// replaces its box, the slider scrolls, EXIT leads to the main screen.
#include "screens/story/berichte.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/catalog.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/economy/bau.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/tests/install_realm.h"

namespace fs = std::filesystem;

namespace {

// A chunk of the given length (payload bytes) as a vector, host order.
struct Chunk {
  std::vector<uint8_t> b;
  Chunk(const char* id, uint32_t length) {
    uint8_t* c = AllocChunk(id, "V001", length);
    b.assign(c, c + 12 + length);
    FreeChunk(c);
  }
  Chunk& u32(uint32_t off, uint32_t v) { return ChunkPut32(b.data(), off, v), *this; }
  Chunk& u16(uint32_t off, uint16_t v) { return ChunkPut16(b.data(), off, v), *this; }
  Chunk& u8(uint32_t off, uint8_t v) { return b[off] = v, *this; }
  const uint8_t* p() const { return b.data(); }
};

Chunk Land(int32_t pirates) {
  Chunk c("LAND", 172 - 12);
  c.u32(14, 12345).u32(18, 120).u32(22, 45).u32(26, 310).u32(30, 190).u32(34, 98765).u32(66, 12).u32(70, 3);
  c.u32(74, 4200).u32(78, static_cast<uint32_t>(pirates)).u16(86, 4).u16(88, 2);
  return c;
}

Chunk Korn(uint16_t quarter, int8_t weather, uint8_t problem, uint16_t offices) {
  Chunk c("KORN", 64 - 12);
  c.u32(12, 1004).u16(16, quarter).u32(18, 1500).u32(22, 23000).u32(26, 4100).u32(30, 6).u16(34, 3);
  c.u32(36, 9000).u8(40, static_cast<uint8_t>(weather)).u8(41, problem).u16(50, offices).u32(52, 250);
  c.u32(56, 800).u32(60, 120);
  return c;
}

Chunk Fors(int8_t field, uint16_t blocked) {
  Chunk c("FORS", 28 - 12);
  c.u8(12, static_cast<uint8_t>(field)).u8(13, 3).u8(14, 5);
  for (uint32_t i = 15; i <= 21; ++i) c.u8(i, static_cast<uint8_t>(i - 14));
  c.u32(22, 2500).u16(26, blocked);
  return c;
}

Chunk Taxe(uint32_t base) {
  Chunk c("TAXE", 84 - 12);
  c.u32(18, 2200).u32(26, 3300).u32(36, 4400).u32(40, base).u32(48, 550).u32(54, 660).u32(62, 770);
  c.u32(72, 880).u32(76, 990);
  return c;
}

// GEBA with records {kind, counted, upkeep, town}.
struct Building {
  uint16_t kind;
  int16_t counted;
  uint16_t upkeep, town;
};
Chunk Geba(const std::vector<Building>& bs, uint32_t total) {
  Chunk c("GEBA", 18 - 12 + 16 * static_cast<uint32_t>(bs.size()));
  c.u32(12, total).u16(16, static_cast<uint16_t>(bs.size()));
  for (size_t i = 0; i < bs.size(); ++i) {
    const uint32_t r = 18 + 16 * static_cast<uint32_t>(i);
    c.u16(r, bs[i].kind).u16(r + 6, static_cast<uint16_t>(bs[i].counted)).u16(r + 12, bs[i].upkeep);
    c.u16(r + 14, bs[i].town);
  }
  return c;
}

// WARE with records {kind, seller, goods, units, price, sale, bidder, bid}.
struct Ware {
  uint16_t kind;
  uint32_t seller, goods, units, price, sale, bidder, bid;
};
Chunk WareChunk(const std::vector<Ware>& ws) {
  Chunk c("WARE", 2 + 36 * static_cast<uint32_t>(ws.size()));
  c.u16(12, static_cast<uint16_t>(ws.size()));
  for (size_t i = 0; i < ws.size(); ++i) {
    const uint32_t r = 14 + 36 * static_cast<uint32_t>(i);
    c.u16(r, ws[i].kind).u32(r + 2, ws[i].seller).u32(r + 6, ws[i].goods).u32(r + 10, ws[i].units);
    c.u32(r + 14, ws[i].price).u32(r + 18, ws[i].sale).u32(r + 22, ws[i].bidder).u32(r + 30, ws[i].bid);
  }
  return c;
}

// The expected text of a report: tests/data/berichte/<name>.txt. With
// QOE_WRITE_EXPECTED set the file is written instead (for a reviewed change).
void ExpectText(const std::string& name, const std::string& got) {
  const std::string path = qoe_test::SourceDir() + "/screens/story/tests/data/berichte/" + name + ".txt";
  if (std::getenv("QOE_WRITE_EXPECTED")) {
    ASSERT_TRUE(qoe_test::WriteFileBytes(path, std::vector<uint8_t>(got.begin(), got.end())));
    return;
  }
  const std::vector<uint8_t> want = qoe_test::ReadFileBytes(path);
  ASSERT_FALSE(want.empty()) << path;
  EXPECT_EQ(got, std::string(want.begin(), want.end())) << name;
}

// The player list: 11 Gunnar, 12 Ingrid.
ListHeader* Players() {
  ListHeader* players = CreateList(LIST_PLAYERS);
  for (const auto& p : std::vector<std::pair<uint32_t, const char*>>{{11, "Gunnar"}, {12, "Ingrid"}}) {
    auto* e = static_cast<SpielerEintrag*>(AllocVec(players->node_size, MEMF_CLEAR));
    e->id = p.first;
    std::strcpy(e->name, p.second);
    AddNode(players, &e->head, LN_TAIL, 0);
  }
  return players;
}

template <typename F>
std::string Built(F make, int32_t want_ok = 1) {
  std::vector<char> out(kBerichtBufferSize, '#');
  EXPECT_EQ(make(out.data(), static_cast<uint32_t>(out.size())), want_ok);
  return std::string(out.data());
}

class BerichteText : public testing::Test {
 protected:
  void SetUp() override { RegisterGameDataListTypes(); }
};

TEST_F(BerichteText, RightAlignedNumbers) {
  char n[kBerichtZahlSize];
  const char* want[] = {"          0", "        12", "      123", "    1234", "  12345", "123456",
                        "1234567",     "12345678",   "123456789", "1234567890"};
  const uint32_t values[] = {0, 12, 123, 1234, 12345, 123456, 1234567, 12345678, 123456789, 1234567890};
  for (int i = 0; i < 10; ++i) {
    std::memset(n, '#', sizeof n);
    FormatBerichtZahl(n, values[i], 6);
    EXPECT_STREQ(n, want[i]) << values[i];
  }
  // A width too large for the buffer is cut to fit it.
  FormatBerichtZahl(n, 7, 30);
  EXPECT_EQ(std::strlen(n), kBerichtZahlSize - 1);
  EXPECT_EQ(n[kBerichtZahlSize - 2], '7');
}

TEST_F(BerichteText, CountryWithPiratesBothWays) {
  ExpectText("country_pirates_plus", Built([&](char* o, uint32_t s) { return MakeContryReport(Land(5000).p(), o, s); }));
  ExpectText("country_pirates_minus",
             Built([&](char* o, uint32_t s) { return MakeContryReport(Land(-2500).p(), o, s); }));
  const std::string none = Built([&](char* o, uint32_t s) { return MakeContryReport(Land(0).p(), o, s); });
  EXPECT_EQ(none.find(GetCatalogStr(1228)), std::string::npos);
  EXPECT_EQ(none.find(GetCatalogStr(1229)), std::string::npos);
  // The most negative value is told by its size.
  const std::string min = Built([&](char* o, uint32_t s) { return MakeContryReport(Land(INT32_MIN).p(), o, s); });
  EXPECT_NE(min.find("-2147483648 gold coins were taken from you"), std::string::npos);
}

TEST_F(BerichteText, CornForEachSeasonAndWeather) {
  std::string seasons;
  for (uint16_t q = 0; q < 4; ++q)
    seasons += Built([&](char* o, uint32_t s) { return MakeCornReport(Korn(q, 1, 2, 0).p(), o, s); }) + "\n====\n";
  ExpectText("corn_seasons", seasons);
  std::string weathers;
  for (int8_t w = 0; w <= 7; ++w) {
    const std::string t = Built([&](char* o, uint32_t s) { return MakeCornReport(Korn(2, w, 0, 3).p(), o, s); });
    const size_t at = t.find(GetCatalogStr(573));
    ASSERT_NE(at, std::string::npos);
    weathers += t.substr(at, t.find('\n', at) - at + 1);
  }
  ExpectText("corn_weather", weathers);
  EXPECT_NE(weathers.find(GetCatalogStr(1824)), std::string::npos);
  EXPECT_EQ(qoe_test::GermanPastCatalog(weathers), "");
  // Harvest problems only in quarter 1, each with its text.
  for (uint8_t p = 1; p <= 3; ++p) {
    const uint32_t text = p == 1 ? 588 : 1117 + p;
    EXPECT_NE(Built([&](char* o, uint32_t s) { return MakeCornReport(Korn(1, 0, p, 0).p(), o, s); }).find(GetCatalogStr(text)),
              std::string::npos);
    EXPECT_EQ(Built([&](char* o, uint32_t s) { return MakeCornReport(Korn(2, 0, p, 0).p(), o, s); }).find(GetCatalogStr(text)),
              std::string::npos);
  }
  // Trade offices: their store, computed without wrapping.
  ExpectText("corn_offices", Built([&](char* o, uint32_t s) { return MakeCornReport(Korn(1, 3, 1, 65535).p(), o, s); }));
}

TEST_F(BerichteText, ResearchNoneChosenAndAField) {
  ExpectText("research_blocked", Built([&](char* o, uint32_t s) { return MakeResearchReport(Fors(3, 1).p(), o, s); }));
  ExpectText("research_none", Built([&](char* o, uint32_t s) { return MakeResearchReport(Fors(0, 0).p(), o, s); }));
  ExpectText("research_biology", Built([&](char* o, uint32_t s) { return MakeResearchReport(Fors(3, 0).p(), o, s); }));
  qoe_test::LogLines log;
  const std::string bad = Built([&](char* o, uint32_t s) { return MakeResearchReport(Fors(9, 0).p(), o, s); });
  EXPECT_EQ(bad.rfind(GetCatalogStr(549), 0), 0u);
  EXPECT_TRUE(log.Has("Forschungsgebiet 9 ist unbekannt"));
}

TEST_F(BerichteText, TaxesWithAndWithoutTaxe) {
  ExpectText("taxes", Built([&](char* o, uint32_t s) { return MakeTaxesReport(Land(0).p(), Taxe(1234).p(), o, s); }));
  EXPECT_NE(Built([&](char* o, uint32_t s) { return MakeTaxesReport(Land(0).p(), Taxe(1234).p(), o, s); })
                .find(" 001234 base tax...\n"),
            std::string::npos);
  EXPECT_EQ(Built([&](char* o, uint32_t s) { return MakeTaxesReport(Land(0).p(), nullptr, o, s); }),
            GetCatalogStr(908));
}

TEST_F(BerichteText, BuildingsWithNextLevels) {
  qoe_test::LogLines log;
  // Town 1: a citizen hall and its residency (the citizen hall is not counted);
  // town 2: a citizen hall alone; two granaries, one not counted; a chapel and
  // a church in other towns; kind 200 has no name.
  const Chunk g = Geba({{15, 0, 40, 1}, {108, 0, 90, 1}, {15, 0, 40, 2}, {0, 0, 5, 1}, {0, 0, 5, 2}, {0, -1, 5, 3},
                        {23, 0, 7, 4}, {96, 0, 20, 5}, {200, 0, 1, 1}},
                       212);
  ExpectText("buildings", Built([&](char* o, uint32_t s) { return MakeBuildingReport(g.p(), o, s); }));
  EXPECT_TRUE(log.Has("ShowBuildingData : Geb\xE4ude Nr.: 200 ist unbekannt..."));
}

// No two building kinds share a name: not in the buildings report (singular
// and plural), not in the construction screen's catalogue (its names and its
// site-list names), so no report lists one kind as two.
TEST_F(BerichteText, NoTwoBuildingKindsShareAName) {
  auto trimmed = [](std::string t) {
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
  };
  struct Table {
    const char* what;
    std::map<std::string, uint32_t> kinds;  // name -> kind
  } report{"buildings report", {}}, construction{"construction catalogue", {}};
  auto add = [&](Table& t, uint32_t kind, const char* name) {
    ASSERT_NE(name, nullptr);
    const auto [at, fresh] = t.kinds.emplace(trimmed(name), kind);
    EXPECT_TRUE(fresh || at->second == kind) << t.what << ": \"" << name << "\" names kinds " << at->second << " and "
                                             << kind;
  };
  uint32_t named = 0;
  for (uint32_t kind = 0; kind < 235; ++kind) {
    if (!BuildingReportName(kind, 1)) continue;
    ++named;
    add(report, kind, BuildingReportName(kind, 1));
    add(report, kind, BuildingReportName(kind, 2));
  }
  EXPECT_EQ(named, 38u);
  for (uint32_t row = 0; row < kBauKatalogRows; ++row) {
    add(construction, BauKatalog(row)->id, GetCatalogStr(BauKatalog(row)->name));
    add(construction, BauKatalog(row)->id, GetCatalogStr(BauKatalog(row)->siteName));
  }
  EXPECT_STREQ(BuildingReportName(15, 1), "citizen hall");
  EXPECT_STREQ(BuildingReportName(55, 3), "town halls");
}

uint32_t MiddleRandom(uint32_t n) { return n / 2; }

// The demo's buildings cost what the construction screen tells: each line
// of the buildings report (over .\Data\Gebaeude.dat of the demo's turn) is
// its count times the upkeep the construction screen shows for one building
// of that kind at the realm's confidence (its random part at the middle,
// where it adds nothing).
TEST(DemoBuildings, EachCostsWhatTheConstructionScreenTells) {
  ASSERT_TRUE(realm_test::InstallRealmWithTurn("demo.realm"));
  ASSERT_EQ(ChunkMachine(ReceivedPoolPath, ChunkBit(CHUNK_GEBA), CHUNKMACHINE_LAST_MAIL), 1);
  uint8_t* land = LoadChunk2Mem("LAND", ReceivedPoolPath);
  uint8_t* geba = LoadChunk2Mem("GEBA", ".\\Data\\Gebaeude.dat");
  ASSERT_NE(land, nullptr);
  ASSERT_NE(geba, nullptr);
  std::vector<char> text(kBerichtBufferSize);
  ASSERT_EQ(MakeBuildingReport(geba, text.data(), kBerichtBufferSize), 1);
  SetBauRandom(MiddleRandom);
  BauScreenData d{};
  d.accountState = 2;
  d.confidence = ChunkGet32(land, 62);
  ASSERT_GT(d.confidence, 0u);
  std::istringstream lines(text.data());
  std::string line;
  uint32_t checked = 0;
  while (std::getline(lines, line)) {
    if (line.find(GetCatalogStr(613)) == std::string::npos) continue;
    // " <count> <name> cost an upkeep of <gold> gold coins."
    const uint32_t count = static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 10));
    bool found = false;
    for (uint32_t row = 0; row < kBauKatalogRows && !found; ++row) {
      const uint32_t kind = BauKatalog(row)->id;
      const std::string head = " " + std::to_string(count) + " " + BuildingReportName(kind, count) + " " +
                               GetCatalogStr(613) + " ";
      if (line.rfind(head, 0) != 0) continue;
      found = true;
      d.row = static_cast<int16_t>(row);
      ASSERT_EQ(GetBuildingData(&d), 1);
      EXPECT_EQ(std::strtoul(line.c_str() + head.size(), nullptr, 10), uint64_t{count} * d.cost.upkeep)
          << line << " (one " << GetCatalogStr(BauKatalog(row)->name) << ": " << d.cost.upkeep << ")";
    }
    EXPECT_TRUE(found) << line;
    ++checked;
  }
  SetBauRandom(nullptr);
  EXPECT_GE(checked, 15u) << text.data();
  FreeChunk(geba);
  FreeChunk(land);
}

TEST_F(BerichteText, TradeWithTwoSales) {
  ListHeader* players = Players();
  const Chunk w = WareChunk({{4, 7, 3, 50, 120, 1001, 11, 130},
                             {5, 7, 1, 10, 0, 0, 0, 0},
                             {4, 7, 3, 50, 120, 1001, 12, 125},
                             {4, 11, 2, 999999999, 987654321, 1002, 7, 123456789},
                             {4, 11, 2, 999999999, 987654321, 1002, 13, 5}});
  char* t = MakeTradeReport(w.p(), players, 7, "Harald");
  ASSERT_NE(t, nullptr);
  ExpectText("trade", t);
  FreeVec(t);
  // Goods in store only: the heading, no sale.
  const Chunk store = WareChunk({{5, 7, 1, 10, 0, 0, 0, 0}, {5, 7, 2, 10, 0, 0, 0, 0}});
  t = MakeTradeReport(store.p(), players, 7, "Harald");
  EXPECT_STREQ(t, GetCatalogStr(652));
  FreeVec(t);
  t = MakeTradeReport(nullptr, players, 7, "Harald");
  EXPECT_STREQ(t, GetCatalogStr(651));
  FreeVec(t);
  DeleteList(players, 1);
}

TEST_F(BerichteText, ShortAndMissingChunksAreNeverReadPast) {
  // Each builder with its chunk one byte too short, and with none at all.
  qoe_test::LogLines log;
  const std::string missing = GetCatalogStr(1616);
  struct Case {
    const char* id;
    uint32_t need;
    int32_t (*make)(const uint8_t*, char*, uint32_t);
  } cases[] = {{"LAND", 90, MakeContryReport}, {"KORN", 64, MakeCornReport}, {"FORS", 28, MakeResearchReport},
               {"GEBA", 18, MakeBuildingReport}};
  for (const Case& c : cases) {
    const Chunk shortChunk(c.id, c.need - 13);
    EXPECT_EQ(Built([&](char* o, uint32_t s) { return c.make(shortChunk.p(), o, s); }, 0), missing) << c.id;
    EXPECT_EQ(Built([&](char* o, uint32_t s) { return c.make(nullptr, o, s); }, 0), missing) << c.id;
  }
  EXPECT_EQ(Built([&](char* o, uint32_t s) { return MakeTaxesReport(Land(0).p(), Chunk("TAXE", 67).p(), o, s); }),
            GetCatalogStr(908));
  // A GEBA whose count promises more records than it holds reads only those it holds.
  Chunk g = Geba({{0, 0, 5, 1}}, 5);
  g.u16(16, 60000);
  EXPECT_NE(Built([&](char* o, uint32_t s) { return MakeBuildingReport(g.p(), o, s); }).find(" 1 granary"),
            std::string::npos);
  EXPECT_TRUE(log.Has("60000 Gebaeude angegeben, Platz fuer 1"));
  // A tiny buffer stays terminated.
  char tiny[8];
  EXPECT_EQ(MakeContryReport(Land(5).p(), tiny, sizeof tiny), 1);
  EXPECT_EQ(std::strlen(tiny), 7u);
}

// ---- the screen ----

class BerichteScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Berichte.dat");
    qoe_test::CopyDataKit();
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    RegisterGameDataListTypes();
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    OwnPlayerPtr->PlayerId = 7;
    std::strcpy(OwnPlayerPtr->LordName, "Harald");
    ScreenTest::SetUp();
  }
  void Realm() {
    // Six sales of two offers each: a report longer than its box.
    std::vector<Ware> sales;
    for (uint32_t i = 0; i < 6; ++i) {
      sales.push_back({4, 7, 3 + i, 50 + i, 120, 1001 + i, 11, 130 + i});
      sales.push_back({4, 7, 3 + i, 50 + i, 120, 1001 + i, 12, 125});
    }
    for (const Chunk& c : {Land(5000), Korn(1, 2, 1, 2), Fors(3, 0), Taxe(1234), WareChunk(sales)})
      ASSERT_NE(AddChunkPool(c.p(), ReceivedPoolPath), 0);
    const Chunk g = Geba({{15, 0, 40, 1}, {108, 0, 90, 1}, {0, 0, 5, 1}, {1, 0, 6, 1}, {14, 0, 9, 2}, {26, 0, 4, 2},
                          {17, 0, 12, 1}, {23, 0, 7, 2}, {27, 0, 3, 1}, {20, 0, 8, 2}, {21, 0, 2, 1}, {2, 0, 30, 1}},
                         216);
    ASSERT_EQ(SaveChunk2File(".\\Data\\Gebaeude.dat", g.p()), 1);
    ListHeader* players = Players();
    uint8_t* antw = MakeSpielerChunkFromList(players);
    ASSERT_NE(antw, nullptr);
    EXPECT_EQ(SaveChunk2File(".\\Data\\SpielerList.qoe", antw), 1);
    FreeChunk(antw);
    DeleteList(players, 1);
  }
  std::string Seal(int i) const { return Click(130, 94 + 52 * i) + "wait 300\n"; }
  int32_t Run(const std::string& script) {
    return RunScreen(BerichteScreen, 2, "timer 0 100\nwait 1500\n" + script + Click(120, 430) + "wait 500\n");
  }
};

TEST_P(BerichteScreenRun, EveryReportShowsAndExitLeadsHome) {
  Realm();
  qoe_test::LogLines log;
  qoe_test::SoundRecorder sounds;
  std::string script;
  std::vector<std::string> pngs;
  for (int i = 0; i < 6; ++i) {
    pngs.push_back(Png("berichte_" + std::to_string(i)));
    script += Seal(i) + "png " + pngs.back() + "\n";
  }
  // A long report scrolled down.
  pngs.push_back(Png("berichte_scrolled"));
  script += Seal(5) + Click(573, 330) + Click(573, 330) + Click(573, 330) + "wait 300\npng " + pngs.back() + "\n";
  EXPECT_EQ(Run(script), 2);
  EXPECT_EQ(sounds.StartedInOrder(), std::vector<uint32_t>{168});
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
  EXPECT_FALSE(log.Has("nicht initalisieren"));
  EXPECT_FALSE(log.Has("nicht vorhanden"));
  for (const std::string& p : pngs) KeepPicture(p);
  EXPECT_EQ(ElmorGfxOpenCount(283), 0u);
}

// The demo's turn as the player reads it: the buildings report's lines add
// up to its total, and the people, buildings and taxes reports are drawn
// (PNGs) over the demo's own figures.
TEST_P(BerichteScreenRun, TheDemoReportsAddUp) {
  ASSERT_TRUE(realm_test::InstallRealmWithTurn("demo.realm"));
  ASSERT_EQ(ChunkMachine(ReceivedPoolPath, ChunkBit(CHUNK_GEBA), CHUNKMACHINE_LAST_MAIL), 1);
  uint8_t* geba = LoadChunk2Mem("GEBA", ".\\Data\\Gebaeude.dat");
  ASSERT_NE(geba, nullptr);
  std::vector<char> text(kBerichtBufferSize);
  ASSERT_EQ(MakeBuildingReport(geba, text.data(), kBerichtBufferSize), 1);
  const std::string upkeep = std::string(" ") + GetCatalogStr(613) + " ";
  std::istringstream lines(text.data());
  std::string line;
  uint64_t sum = 0;
  while (std::getline(lines, line))
    if (line.find(upkeep) != std::string::npos) sum += std::strtoull(line.c_str() + line.find(upkeep) + upkeep.size(), nullptr, 10);
  EXPECT_EQ(sum, ChunkGet32(geba, 12));
  EXPECT_NE(std::string(text.data()).find(GetCatalogStr(615) + std::string(" ") + std::to_string(sum) + " "),
            std::string::npos)
      << text.data();
  FreeChunk(geba);
  std::vector<std::string> pngs;
  std::string script;
  for (int i : {0, 2, 3}) {
    pngs.push_back(Png("berichte_demo_" + std::to_string(i)));
    script += Seal(i) + "png " + pngs.back() + "\n";
  }
  EXPECT_EQ(Run(script), 2);
  for (const std::string& p : pngs) KeepPicture(p);
}

TEST_P(BerichteScreenRun, WithoutTheTurnTheAdvisersSaySo) {
  qoe_test::LogLines log;
  const std::string png = Png("berichte_missing");
  EXPECT_EQ(Run(Seal(0) + Seal(0) + Seal(3) + Seal(5) + Seal(2) + "png " + png + "\n"), 2);
  EXPECT_TRUE(log.Has("ShowContryData : LandChunk nicht vorhanden !"));
  EXPECT_TRUE(log.Has("ShowTaxesData : LandChunk nicht vorhanden !"));
  EXPECT_TRUE(log.Has("ShowTradeData : WareChunk nicht vorhanden !"));
  EXPECT_TRUE(log.Has("ShowBuildingData : Konnte Gebaeude.dat nicht laden !"));
  KeepPicture(png);
}

TEST_P(BerichteScreenRun, NothingBeforeTheAccountIsInstalled) {
  Realm();
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Seal(0) + Seal(1)), 2);
  EXPECT_FALSE(log.Has("nicht vorhanden"));
}

INSTANTIATE_TEST_SUITE_P(Modes, BerichteScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
