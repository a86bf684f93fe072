// The statistics screen: the averages and plot positions of its ranges as
// pure functions (short and long files, a switched-off category keeping its
// pen, all values 0), the screen on crafted files (missing, empty, a count
// larger than the file holds) and a headless script over a file the turn
// download's writer made over ten turns: categories moved, switched, ranges
// stepped, the legend opened, with PNGs of the graph.
#include "screens/story/statistik.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// Records in memory: category c of record r is f(r, c).
struct Records {
  std::vector<uint32_t> v;
  StatistikDaten s{};
  template <typename F>
  Records(uint32_t count, F f) : v(size_t{count} * STATISTIK_VALUES) {
    for (uint32_t r = 0; r < count; ++r)
      for (uint32_t c = 0; c < STATISTIK_VALUES; ++c) v[size_t{r} * STATISTIK_VALUES + c] = f(r, c);
    s.count = count;
    s.values = v.data();
  }
};

TEST(StatistikGraph, SevenRecordsInTheYearAndHalfYearRanges) {
  Records r(7, [](uint32_t rec, uint32_t c) { return (rec + 1) * 10 + c; });
  StatistikPoint p[kStatistikMaxPoints];
  EXPECT_EQ(StatistikCurve(&r.s, 0, 2, 584, 196, p), 0u);  // a year needs 8 records
  double avg[8];
  ASSERT_EQ(StatistikAverages(&r.s, 0, StatistikPerPoint(1), avg, 8), 4u);
  EXPECT_EQ(avg[0], 15.0);
  EXPECT_EQ(avg[1], 35.0);
  EXPECT_EQ(avg[2], 55.0);
  EXPECT_EQ(avg[3], 70.0);  // the last group of one record
  ASSERT_EQ(StatistikCurve(&r.s, 0, 1, 584, 196, p), 4u);
  // Newest first at right - 43, 20 apart; the largest average at the top.
  EXPECT_EQ(p[0].x, 541);
  EXPECT_EQ(p[3].x, 481);
  EXPECT_EQ(p[0].y, static_cast<int32_t>(182 - 100.0 * 100 / 105));
  EXPECT_EQ(p[3].y, static_cast<int32_t>(182 - (100.0 / 70) * 15 * 100 / 105));
}

TEST(StatistikGraph, HundredRecordsDrawTheNewest23) {
  Records r(100, [](uint32_t rec, uint32_t) { return rec; });
  StatistikPoint p[kStatistikMaxPoints];
  ASSERT_EQ(StatistikCurve(&r.s, 5, 0, 584, 196, p), 23u);
  EXPECT_EQ(p[0].y, StatistikPlotY(99, 99, 196));
  EXPECT_EQ(p[22].y, StatistikPlotY(77, 99, 196));
  EXPECT_EQ(p[22].x, 541 - 20 * 22);
  // Ten years: 40 records a point, 80 needed; the last point of 20 records.
  ASSERT_EQ(StatistikCurve(&r.s, 5, 4, 584, 196, p), 3u);
  EXPECT_EQ(p[0].y, StatistikPlotY(89.5, 89.5, 196));
}

TEST(StatistikGraph, AveragesInDoublePrecision) {
  Records r(2, [](uint32_t rec, uint32_t) { return 0xFFFFFFFFu - rec; });
  double avg[1];
  ASSERT_EQ(StatistikAverages(&r.s, 3, 2, avg, 1), 1u);
  EXPECT_EQ(avg[0], 4294967294.5);
}

TEST(StatistikGraph, AllZeroLiesOnTheBaseLine) {
  Records r(9, [](uint32_t, uint32_t) { return 0u; });
  StatistikPoint p[kStatistikMaxPoints];
  ASSERT_EQ(StatistikCurve(&r.s, 4, 0, 584, 196, p), 9u);
  for (uint32_t j = 0; j < 9; ++j) EXPECT_EQ(p[j].y, 182) << j;
  EXPECT_EQ(StatistikPlotY(0, 0, 196), 182);
}

TEST(StatistikGraph, ASwitchedOffCategoryKeepsItsPen) {
  StatistikData d{};
  ASSERT_EQ(MakeStatistikLists(&d), 1);
  ASSERT_EQ(d.available->count, STATISTIK_VALUES);
  EXPECT_STREQ(reinterpret_cast<StatistikKategorie*>(d.available->first)->name, GetCatalogStr(1242));
  // Chosen: 4 (on), 1 (off), 7 (on).
  for (uint32_t want : {4u, 1u, 7u}) {
    ListNode* n = d.available->first;
    while (reinterpret_cast<StatistikKategorie*>(n)->index != want) n = n->next;
    uint32_t at = 0;
    for (ListNode* m = d.available->first; m != n; m = m->next) ++at;
    RemoveNode(d.available, LN_INDEX, at, RN_KEEP_NODE);
    reinterpret_cast<StatistikKategorie*>(n)->shown = want != 1;
    AddNode(d.chosen, n, LN_TAIL, 0);
  }
  StatistikLine lines[STATISTIK_VALUES];
  ASSERT_EQ(StatistikLines(&d, lines), 2u);
  EXPECT_EQ(lines[0].category, 4u);
  EXPECT_EQ(lines[0].pen, 226u);
  EXPECT_EQ(lines[1].category, 7u);
  EXPECT_EQ(lines[1].pen, 228u);
  DeleteList(d.available, 0);
  DeleteList(d.chosen, 0);
}

// ---- the screen ----

const char kFile[] = "Data/Statistikdaten.qoe";

class StatistikScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Statistik.dat");
    qoe_test::CopyDataKit();
    fs::create_directories("Data/POP3In");
    TextFont* f = OpenDiskFont("fonts\\XHelvetica11.fnt");
    ASSERT_NE(f, nullptr);
    line_ = f->YSize + 1;
    CloseFont(f);
    ScreenTest::SetUp();
  }
  // Ten turns written as the download writes them: the received pool's
  // KORN and LAND, then the statistics file's new record.
  void TenTurns() {
    for (uint32_t t = 0; t < 10; ++t) {
      fs::remove("Data/POP3In/GameChunk.qoe");
      uint8_t* korn = AllocChunk("KORN", "V001", 52);
      ChunkPut32(korn, 12, 1000 + t / 4);
      ChunkPut16(korn, 16, static_cast<uint16_t>(t % 4));
      ChunkPut32(korn, 22, 20000 + 1500 * t);                       // corn grows
      ASSERT_EQ(AddChunkPool(korn, ReceivedPoolPath), 1);
      FreeChunk(korn);
      uint8_t* land = AllocChunk("LAND", "V001", 160);
      ChunkPut32(land, 34, 50000 - 3000 * t + (t % 3) * 2000);        // gold
      ChunkPut32(land, 14, 8000 + 300 * t);                         // inhabitants
      ChunkPut32(land, 18, 100 + 40 * (t % 4));                     // immigrants
      ChunkPut32(land, 22, 60 + 15 * ((t + 2) % 5));                // emigrants
      ASSERT_EQ(AddChunkPool(land, ReceivedPoolPath), 1);
      FreeChunk(land);
      ASSERT_EQ(SaveStatistikData(), 1);
    }
  }
  // Line k of the left or the right list.
  std::string Left(int k) const { return Click(150, 250 + k * line_ + line_ / 2) + "wait 200\n"; }
  std::string Right(int k) const { return Click(480, 250 + k * line_ + line_ / 2) + "wait 200\n"; }
  std::string Button(const char* id) const {
    struct B {
      const char* id;
      int x, y;
    } const kButtons[] = {{"LAST", 320, 266}, {"BACK", 320, 300}, {"OK01", 320, 334}, {"XX01", 320, 368},
                          {"FORW", 140, 426}, {"INFB", 330, 426}, {"INFO", 470, 426}, {"EXIT", 555, 426},
                          {"EXLG", 245, 262}};
    for (const B& b : kButtons)
      if (!std::strcmp(b.id, id)) return Click(b.x, b.y) + "wait 200\n";
    ADD_FAILURE() << id;
    return "";
  }
  int32_t Run(const std::string& script) {
    return RunScreen(StatistikScreen, 2, "timer 0 100\nwait 1500\n" + script + Button("EXIT") + "wait 500\n");
  }
  int line_ = 12;
};

TEST_P(StatistikScreenRun, CategoriesMovedSwitchedAndRangesStepped) {
  TenTurns();
  qoe_test::LogLines log;
  const std::string quarter = Png("statistik_quarter"), year = Png("statistik_year"), legend = Png("statistik_legend"),
                    back = Png("statistik_back");
  std::string s;
  // Corn, gold, inhabitants and immigrants chosen (each press takes the top line).
  for (int i = 0; i < 4; ++i) s += Left(0);
  // All four on, then gold off again.
  for (int k = 0; k < 4; ++k) s += Right(k) + Button("OK01");
  s += Right(1) + Button("XX01");
  s += "wait 300\npng " + quarter + "\n";
  s += Button("FORW") + Button("FORW") + "wait 300\npng " + year + "\n";
  s += Button("INFB") + "wait 300\npng " + legend + "\n" + Button("EXLG");
  s += Right(0) + Button("LAST") + Button("BACK") + "wait 300\npng " + back + "\n";
  EXPECT_EQ(Run(s), 2);
  EXPECT_TRUE(log.Has("AnzStatistikDaten 10"));
  EXPECT_EQ(log.Count("AnzStatistikDaten"), 1);  // not once for every redraw of the graph
  EXPECT_TRUE(log.Has("DrawStatistikGraph: 4 Kurven, Zeitraum 0"));
  EXPECT_TRUE(log.Has("DrawStatistikGraph: 3 Kurven, Zeitraum 0"));
  EXPECT_TRUE(log.Has("DrawStatistikGraph: 3 Kurven, Zeitraum 2"));
  EXPECT_TRUE(log.Has("DrawStatistikGraph: 2 Kurven, Zeitraum 2"));  // corn back
  EXPECT_TRUE(log.Has("DrawStatistikGraph: 0 Kurven, Zeitraum 2"));  // all back
  for (const std::string& p : {quarter, year, legend, back}) KeepPicture(p);
}

TEST_P(StatistikScreenRun, TheLegendsOwnButtonsWorkAndItsExitLeaves) {
  TenTurns();
  qoe_test::LogLines log;
  qoe_test::DrawnTextRecorder drawn;
  const std::string png = Png("statistik_legend_empty");
  // An empty legend first, then one with a category switched on from inside it.
  std::string s = Button("INFB") + "wait 300\npng " + png + "\n" + Button("EXLG");
  s += Left(3) + Button("INFB") + Right(0) + Button("OK01") + Button("FORW");
  EXPECT_EQ(RunScreen(StatistikScreen, 2, "timer 0 100\nwait 1500\n" + s + Button("EXIT") + "wait 500\n"), 2);
  EXPECT_TRUE(log.Has("DrawStatistikGraph: 1 Kurven, Zeitraum 1"));
  KeepPicture(png);
  // The empty list of chosen categories and the empty legend say so in the
  // catalog's words, like every other text drawn.
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1808)));
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1809)));
  EXPECT_EQ(drawn.PastCatalog(), "");
}

TEST_P(StatistikScreenRun, AMissingFileShowsUnableInEveryRange) {
  qoe_test::LogLines log;
  const std::string png = Png("statistik_missing");
  EXPECT_EQ(Run(Left(0) + "png " + png + "\n" + Button("FORW") + Button("FORW") + Button("FORW") + Button("FORW")), 2);
  EXPECT_TRUE(log.Has("AnzStatistikDaten 0"));
  EXPECT_FALSE(log.Has("Kurven"));
  EXPECT_FALSE(log.Has("ReadStatistikDaten"));
  KeepPicture(png);
}

// A damaged file is told as the screen opens; a header with ten values per
// record keeps the records its bytes hold whole (here the one of five
// promised), any other damage keeps none and leaves the lists empty.
TEST_P(StatistikScreenRun, DamagedFilesAreToldAndKeepTheirWholeRecords) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool damaged, lists;
  };
  std::vector<uint8_t> promised(10 + 40, 0);
  PutLE32(promised.data(), 5);  // five records promised, one there
  PutLE32(promised.data() + 6, 10);
  std::vector<uint8_t> values(10 + 40, 0);
  PutLE32(values.data(), 1);
  PutLE32(values.data() + 6, 11);  // eleven values a record
  const std::vector<Case> cases = {{std::vector<uint8_t>(10, 0), false, true}, {promised, true, true},
                                   {values, true, false}, {std::vector<uint8_t>(7, 0), true, false}};
  int i = 0;
  for (const Case& c : cases) {
    ASSERT_TRUE(qoe_test::WriteFileBytes(kFile, c.bytes));
    qoe_test::LogLines log;
    const std::string png = Png("statistik_damaged_" + std::to_string(i++));
    EXPECT_EQ(Run(std::string(c.damaged ? "key enter\nwait 300\n" : "") + Left(0) + Right(0) + Button("OK01") +
                  Button("LAST") + Button("BACK") + "png " + png + "\n"),
              2);
    EXPECT_EQ(log.Has("Beschaedigte Datei gemeldet: .\\Data\\Statistikdaten.qoe"), c.damaged) << i;
    EXPECT_EQ(log.Has("AnzStatistikDaten 1"), c.damaged && c.lists) << i;
    EXPECT_EQ(log.Has("DrawStatistikGraph"), false) << i;  // never enough records to draw
    if (i == 2) KeepPicture(png);
    ReopenHeadlessScreen();
  }
}

// Ten whole turns under a count of fourteen, and the same file with its last
// record torn: the whole turns are drawn.
TEST_P(StatistikScreenRun, AFileWithADamagedTailDrawsItsWholeTurns) {
  TenTurns();
  std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(kFile);
  ASSERT_EQ(bytes.size(), 10u + 10u * 40u);
  PutLE32(bytes.data(), 14);
  ASSERT_TRUE(qoe_test::WriteFileBytes(kFile, bytes));
  {
    qoe_test::LogLines log;
    const std::string png = Png("statistik_damaged_tail");
    EXPECT_EQ(Run("key enter\nwait 300\n" + Left(0) + Right(0) + Button("OK01") + "wait 300\npng " + png + "\n"), 2);
    EXPECT_TRUE(log.Has("Beschaedigte Datei gemeldet: .\\Data\\Statistikdaten.qoe"));
    EXPECT_TRUE(log.Has("AnzStatistikDaten 10"));
    EXPECT_TRUE(log.Has("DrawStatistikGraph: 1 Kurven, Zeitraum 0"));
    KeepPicture(png);
  }
  ReopenHeadlessScreen();
  PutLE32(bytes.data(), 10);
  bytes.resize(bytes.size() - 20);
  ASSERT_TRUE(qoe_test::WriteFileBytes(kFile, bytes));
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\nwait 300\n" + Left(0) + Right(0) + Button("OK01")), 2);
  EXPECT_TRUE(log.Has("AnzStatistikDaten 9"));
  EXPECT_TRUE(log.Has("DrawStatistikGraph: 1 Kurven, Zeitraum 0"));
}

INSTANTIATE_TEST_SUITE_P(Modes, StatistikScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
