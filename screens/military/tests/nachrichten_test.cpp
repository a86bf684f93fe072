// The battle reports as sequences of catalog IDs and numbers: every row of
// the report table (own attack and attacked, tabs land and towns, sea fights
// and pirates), the grades at their borders, the paging through a tab, the
// centring of the small map, and KRIG chunks whose count passes their end.
#include "screens/military/nachrichten.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/system/catalog.h"

namespace {

constexpr uint32_t kOwn = 7, kEnemy = 9;

// Catalog texts as their IDs: "#910".
const char* IdText(uint32_t id) {
  static char buf[64][16];
  static int next = 0;
  char* b = buf[next++ % 64];
  std::snprintf(b, 16, "#%u", id);
  return b;
}
void Name(uint32_t player, char* name) { std::snprintf(name, 40, "L%u", player); }

struct Fight {
  uint32_t attacker, defender, kind;
  uint32_t x, y;
  uint16_t classA, classD, depA, depD;
  uint32_t deadA, deadD, aliveA, aliveD;
};

// A KRIG chunk (host order) of the fights; count given or their number.
std::vector<uint8_t> Krig(const std::vector<Fight>& fights, int64_t count = -1) {
  std::vector<uint8_t> c(16 + 72 * fights.size(), 0);
  uint8_t* p = AllocChunk("KRIG", "V001", (uint32_t)(4 + 72 * fights.size()));
  std::memcpy(c.data(), p, 12);
  FreeChunk(p);
  ChunkPut32(c.data(), 12, count < 0 ? (uint32_t)fights.size() : (uint32_t)count);
  for (size_t i = 0; i < fights.size(); ++i) {
    uint8_t* r = c.data() + 16 + 72 * i;
    const Fight& f = fights[i];
    PutFigurRecord(r + 4, FigurRecord{f.attacker, 1, 3, 100, 200, 0, 0});
    PutFigurRecord(r + 22, FigurRecord{f.defender, 1, 4, f.x, f.y, 0, 0});
    ChunkPut32(r, 40, f.kind);
    ChunkPut16(r, 44, f.classA);
    ChunkPut16(r, 46, f.classD);
    ChunkPut16(r, 48, f.depA);
    ChunkPut16(r, 50, f.depD);
    ChunkPut32(r, 52, f.deadA);
    ChunkPut32(r, 56, f.deadD);
    ChunkPut32(r, 60, f.aliveA);
    ChunkPut32(r, 64, f.aliveD);
  }
  return c;
}

struct Built {
  std::string text;
  BattleReportInfo info;
  int16_t index;
};
Built Report(const std::vector<uint8_t>& krig, uint32_t tab, int16_t index = 0, ReportTextFn text = IdText) {
  Built b{};
  char out[kReportTextSize];
  KriegsEintrag rec{};
  b.index = index;
  BuildBattleReport(krig.empty() ? nullptr : krig.data(), tab, &b.index, kOwn, text, Name, out, sizeof out, &rec,
                    &b.info);
  b.text = out;
  return b;
}

const std::string kHead = " #1036 1 #1037 1\n\n #683 #657,";

TEST(BattleReport, LandBattles) {
  // Own attack won (kind 1): depletion 5 normal, 10 of 40 dead (25 %).
  auto b = Report(Krig({{kOwn, kEnemy, 1, 30, 41, 0, 0, 5, 2, 10, 0, 30, 0}}), NEWS_TAB_LAND);
  EXPECT_EQ(b.text, kHead + " #910 X: 30 #911 Y: 41 #912 L9 #913 #916 #921 #918. #924 #925 #927");
  EXPECT_EQ(b.info.picture, 1u);
  // Own attack lost (kind 0) and undecided (2): 926.
  b = Report(Krig({{kOwn, kEnemy, 0, 30, 41, 0, 0, 8, 0, 0, 0, 0, 0}}), NEWS_TAB_LAND);
  EXPECT_EQ(b.text, kHead + " #910 X: 30 #911 Y: 41 #912 L9 #913 #914 #921 #917. #924 #926 #927");
  b = Report(Krig({{kOwn, kEnemy, 2, 30, 41, 0, 0, 3, 0, 1, 0, 0, 0}}), NEWS_TAB_LAND);
  EXPECT_EQ(b.text, kHead + " #910 X: 30 #911 Y: 41 #912 L9 #913 #915 #921 #923. #924 #926 #927");
  // Attacked: the defender's grades; 932 when the attacker won, else 931.
  b = Report(Krig({{kEnemy, kOwn, 1, 12, 6, 0, 0, 0, 7, 0, 50, 0, 50}}), NEWS_TAB_LAND);
  EXPECT_EQ(b.text, kHead + " #928 L9 #929 X: 12 #911 Y: 6 #913 #916 #921 #920. #1136 #932 #927");
  b = Report(Krig({{kEnemy, kOwn, 0, 12, 6, 0, 0, 0, 4, 0, 1, 0, 2}}), NEWS_TAB_LAND);
  EXPECT_EQ(b.text, kHead + " #928 L9 #929 X: 12 #911 Y: 6 #913 #916 #921 #918. #1136 #931 #927");
  EXPECT_EQ(b.info.picture, 1u);
}

TEST(BattleReport, TownFights) {
  auto b = Report(Krig({{kOwn, kEnemy, 3, 8, 9, 0, 0, 1, 0, 67, 0, 33, 0}}), NEWS_TAB_TOWNS);
  EXPECT_EQ(b.text, kHead + " #910 X: 8 #911 Y: 9 #1132 #913 #915 #921 #922. #1133 #925 #927");
  b = Report(Krig({{kOwn, kEnemy, 4, 8, 9, 0, 0, 1, 0, 0, 0, 5, 0}}), NEWS_TAB_TOWNS);
  EXPECT_EQ(b.text, kHead + " #910 X: 8 #911 Y: 9 #1132 #913 #915 #921 #917. #1133 #926 #927");
  for (uint32_t kind : {3u, 4u}) {
    b = Report(Krig({{kEnemy, kOwn, kind, 8, 9, 0, 0, 0, 9, 0, 84, 0, 16}}), NEWS_TAB_TOWNS);
    EXPECT_EQ(b.text, kHead + " #1134 X:8 #911 Y:9 #1135 L9 #913 #914 #921 #923. #1136 #931 #927") << kind;
    EXPECT_EQ(b.info.picture, 1u);
  }
}

// The letters in the game's own texts, as the news screen shows them: the
// joining words and every verdict of land and town fights read as sentences.
TEST(BattleReport, LandAndTownLettersReadAsSentences) {
  const std::string head = " Fight 1 of 1\n\n My Lord,";
  auto b = Report(Krig({{kOwn, kEnemy, 1, 30, 41, 0, 0, 5, 2, 10, 0, 30, 0}}), NEWS_TAB_LAND, 0, GetCatalogStr);
  EXPECT_EQ(b.text, head +
                        " \n\non behalf your command we attacked on the coordinates X: 30 and Y: 41 the troops of L9 "
                        "\n\nFighting was normal and our casualties were limited. \n\nOn the battlefield our men "
                        "defeated the enemy! Please be so kind as to take a look at the map for further instructions...");
  const struct {
    uint32_t attacker, defender, kind, tab;
    const char* verdict;
  } kVerdicts[] = {
      {kOwn, kEnemy, 0, NEWS_TAB_LAND, " \n\nOn the battlefield our men could not defeat the enemy. "},
      {kOwn, kEnemy, 2, NEWS_TAB_LAND, " \n\nOn the battlefield our men could not defeat the enemy. "},
      {kEnemy, kOwn, 0, NEWS_TAB_LAND, " \n\nOur defenders fought bravely. "},
      {kEnemy, kOwn, 2, NEWS_TAB_LAND, " \n\nOur defenders fought bravely. "},
      {kEnemy, kOwn, 1, NEWS_TAB_LAND, " \n\nOur defenders fought bravely, but had to yield to the enemy. "},
      {kOwn, kEnemy, 3, NEWS_TAB_TOWNS, " \n\nAt the city walls our men defeated the enemy! "},
      {kOwn, kEnemy, 4, NEWS_TAB_TOWNS, " \n\nAt the city walls our men could not defeat the enemy. "},
      {kEnemy, kOwn, 3, NEWS_TAB_TOWNS, " \n\nOur defenders fought bravely. "},
      {kEnemy, kOwn, 4, NEWS_TAB_TOWNS, " \n\nOur defenders fought bravely. "},
  };
  for (const auto& v : kVerdicts) {
    b = Report(Krig({{v.attacker, v.defender, v.kind, 8, 9, 0, 0, 1, 1, 0, 0, 5, 5}}), v.tab, 0, GetCatalogStr);
    const std::string tail = std::string("and our casualties were small.") + v.verdict + GetCatalogStr(927);
    ASSERT_GE(b.text.size(), tail.size());
    EXPECT_EQ(b.text.substr(b.text.size() - tail.size()), tail) << v.kind << " own " << (v.attacker == kOwn);
  }
  b = Report(Krig({{kEnemy, kOwn, 1, 12, 6, 0, 0, 0, 7, 0, 50, 0, 50}}), NEWS_TAB_LAND, 0, GetCatalogStr);
  const std::string attacked = head + " \n\nwe were attacked by L9  on the coordinates X: 12 and Y: 6 \n\nFighting";
  EXPECT_EQ(b.text.substr(0, attacked.size()), attacked);
  b = Report(Krig({{kOwn, kEnemy, 3, 8, 9, 0, 0, 1, 0, 67, 0, 33, 0}}), NEWS_TAB_TOWNS, 0, GetCatalogStr);
  EXPECT_NE(b.text.find("X: 8 and Y: 9 a city \n\nFighting was light"), std::string::npos);
}

TEST(BattleReport, SeaFightsAndPirates) {
  const std::string sea = "#1036 1 #1037 1\n\n#683 #657,";
  // Own ship sank the enemy (5): damage 2 of class 5 (2a < b, 4a > b).
  auto b = Report(Krig({{kOwn, kEnemy, 5, 70, 80, 5, 6, 2, 0, 0, 0, 0, 0}}), NEWS_TAB_SEA);
  EXPECT_EQ(b.text, sea + " #1147 X: 70 #911 Y: 80 L9 #913 #915. #1144 #1145 #1156 #1158 #927");
  EXPECT_EQ(b.info.picture, 1u);
  b = Report(Krig({{kOwn, kEnemy, 6, 70, 80, 4, 6, 4, 0, 0, 0, 0, 0}}), NEWS_TAB_SEA);
  EXPECT_EQ(b.text, sea + " #1147 X: 70 #911 Y: 80 L9 #913 #914. #1144 #1146 #1156 #1160 #927");
  // Attacked at sea: damage 3 of class 5 (2a > b): normal, badly damaged.
  b = Report(Krig({{kEnemy, kOwn, 6, 70, 80, 0, 5, 0, 3, 0, 0, 0, 0}}), NEWS_TAB_SEA);
  EXPECT_EQ(b.text, sea + " #928 L9 #1155 X:70 #911 Y:80 #913 #916. #1156 #1159. #927");
  // Pirates: own attack (8 sunk, 7 captured) and attacked; no picture.
  b = Report(Krig({{kOwn, kEnemy, 8, 70, 80, 0, 0, 0, 0, 0, 0, 0, 0}}), NEWS_TAB_SEA);
  EXPECT_EQ(b.text, kHead + " #1147 X:70 #911 Y:80 L9 #1273. #1274");
  EXPECT_EQ(b.info.picture, 0u);
  b = Report(Krig({{kOwn, kEnemy, 7, 70, 80, 0, 0, 0, 0, 0, 0, 0, 0}}), NEWS_TAB_SEA);
  EXPECT_EQ(b.text, kHead + " #1147 X:70 #911 Y:80 L9 #1273. #1275");
  b = Report(Krig({{kEnemy, kOwn, 8, 70, 80, 0, 0, 0, 0, 0, 0, 0, 0}}), NEWS_TAB_SEA);
  EXPECT_EQ(b.text, kHead + " #928 #1279 #1155 X:70 #911 Y:80 #913 #915. #1278");
  b = Report(Krig({{kEnemy, kOwn, 7, 70, 80, 0, 0, 0, 0, 0, 0, 0, 0}}), NEWS_TAB_SEA);
  EXPECT_EQ(b.text, kHead + " #928 #1279 #1155 X:70 #911 Y:80 #913 #914. #1274");
  EXPECT_EQ(b.info.picture, 0u);
}

TEST(BattleReport, NoFightsAndTabsWithoutTheirKinds) {
  EXPECT_EQ(Report({}, NEWS_TAB_LAND).text, " #683 #657,\n\n#933");
  EXPECT_EQ(Report({}, NEWS_TAB_SEA).text, " #683 #657,\n\n#933");
  const auto land_only = Krig({{kOwn, kEnemy, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}});
  EXPECT_EQ(Report(land_only, NEWS_TAB_TOWNS).text, " #683 #657,\n\n#933");
  const auto b = Report(land_only, NEWS_TAB_SEA);
  EXPECT_EQ(b.text, " #683 #657,#933");
  EXPECT_EQ(b.info.picture, 0u);
  EXPECT_EQ(b.info.found, 0u);
}

TEST(BattleReport, Grades) {
  EXPECT_EQ(LandGrade(3), 915u);
  EXPECT_EQ(LandGrade(4), 916u);
  EXPECT_EQ(LandGrade(7), 916u);
  EXPECT_EQ(LandGrade(8), 914u);
  const struct {
    uint32_t percent, id;
  } kCasualties[] = {{16, 917}, {17, 918}, {33, 918}, {34, 919}, {49, 919}, {50, 920},
                     {66, 920}, {67, 922}, {83, 922}, {84, 923}, {100, 923}};
  for (const auto& c : kCasualties) EXPECT_EQ(CasualtyGrade(c.percent, 100 - c.percent), c.id) << c.percent;
  EXPECT_EQ(CasualtyGrade(0, 0), 917u);
  EXPECT_EQ(CasualtyGrade(0xFFFFFFFF, 0xFFFFFFFF), 920u);  // no overflow
  // Sea: a = b severe, 2a > b normal, else light; the ship's damage.
  EXPECT_EQ(SeaGrade(6, 6), 914u);
  EXPECT_EQ(SeaGrade(4, 7), 916u);
  EXPECT_EQ(SeaGrade(3, 6), 915u);
  EXPECT_EQ(ShipDamage(6, 6), 1160u);
  EXPECT_EQ(ShipDamage(4, 7), 1159u);
  EXPECT_EQ(ShipDamage(2, 7), 1158u);
  EXPECT_EQ(ShipDamage(2, 8), 1157u);
  EXPECT_EQ(ShipDamage(0, 0), 1160u);
}

TEST(BattleReport, PagingWrapsAtBothEnds) {
  const auto k = Krig({{kOwn, kEnemy, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0},
                       {kOwn, kEnemy, 5, 2, 2, 1, 1, 0, 0, 0, 0, 0, 0},
                       {kOwn, kEnemy, 0, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0},
                       {kOwn, kEnemy, 2, 4, 4, 0, 0, 0, 0, 0, 0, 0, 0}});
  auto b = Report(k, NEWS_TAB_LAND, 3);  // FORW on the last (index 2 + 1)
  EXPECT_EQ(b.index, 0);
  EXPECT_EQ(b.info.count, 3u);
  EXPECT_EQ(b.text.substr(0, 18), " #1036 1 #1037 3\n\n");
  b = Report(k, NEWS_TAB_LAND, -1);  // BACK on the first
  EXPECT_EQ(b.index, 2);
  EXPECT_NE(b.text.find("X: 4 "), std::string::npos);  // the third land battle, after the sea fight
  b = Report(k, NEWS_TAB_LAND, 1);
  EXPECT_NE(b.text.find("X: 3 "), std::string::npos);
  EXPECT_EQ(WrapReportIndex(5, 0), 0);
}

TEST(BattleReport, TheSmallMapIsCentredOnTheFight) {
  uint32_t x, y, px, py;
  CentreBattleMap(81, 41, &x, &y, &px, &py);
  EXPECT_EQ(x, 80u);
  EXPECT_EQ(y, 40u);
  EXPECT_EQ(px, 1u);
  EXPECT_EQ(py, 1u);
  CentreBattleMap(80, 40, &x, &y, &px, &py);  // even X stays; Y - 1 falls into the part above
  EXPECT_EQ(x, 80u);
  EXPECT_EQ(y, 39u);
  EXPECT_EQ(py, 0u);
  CentreBattleMap(1, 0, &x, &y, &px, &py);  // Y 0 wraps to the last row
  EXPECT_EQ(x, 0u);
  EXPECT_EQ(y, 6399u);
  EXPECT_EQ(py, 159u);
  CentreBattleMap(12799, 6400, &x, &y, &px, &py);
  EXPECT_EQ(x, 12798u);
  EXPECT_EQ(y, 6399u);
  EXPECT_EQ(px, 159u);
}

TEST(BattleReport, ACountPastTheChunkIsCut) {
  auto k = Krig({{kOwn, kEnemy, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}, {kOwn, kEnemy, 1, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0}},
                1000000);
  EXPECT_EQ(KriegsCount(k.data()), 2u);
  EXPECT_EQ(Report(k, NEWS_TAB_LAND).info.count, 2u);
  KriegsEintrag e;
  EXPECT_EQ(GetKriegsEintrag(k.data(), 2, &e), 0);
  // A length that ends inside a record: only whole records count.
  ChunkPut32(k.data(), 8, 4 + 72 + 71);
  EXPECT_EQ(KriegsCount(k.data()), 1u);
  ChunkPut32(k.data(), 8, 3);
  EXPECT_EQ(KriegsCount(k.data()), 0u);
  EXPECT_EQ(KriegsCount(nullptr), 0u);
  std::memcpy(k.data(), "SPEZ", 4);
  EXPECT_EQ(KriegsCount(k.data()), 0u);
  // A buffer too small for the report: cut and ended.
  char small[20];
  int16_t index = 0;
  BuildBattleReport(Krig({{kOwn, kEnemy, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0}}).data(), NEWS_TAB_LAND, &index, kOwn,
                    IdText, Name, small, sizeof small, nullptr, nullptr);
  EXPECT_EQ(std::strlen(small), 19u);
}

}  // namespace
