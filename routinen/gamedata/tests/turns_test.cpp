// Turn evaluation, game set-up and removal, and the towns, on small realms
// built here chunk by chunk.
#include "routinen/gamedata/turns.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <array>
#include <csignal>
#include <cstring>
#include <tuple>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/towns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/gamedata/entities.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kPlayer = 4711;
const char kAnswer[] = ".\\Data\\POP3In\\GameChunk.qoe";

// Builds a pool chunk by chunk (host order chunks through AddChunkPool).
struct PoolBuilder {
  std::string path;
  explicit PoolBuilder(const char* p, uint32_t owner = kPlayer) : path(p) {
    SetGameDataOwner(owner, "Lord Test");
    DeleteFileA(p);
  }
  ~PoolBuilder() { ResetChunkPoolState(); }
  void Add(uint8_t* c) {
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(AddChunkPool(c, path.c_str()) != 0, true);
    FreeChunk(c);
  }
};

uint8_t* Cells(const std::vector<std::array<uint32_t, 4>>& cells) {  // x, y, graphic, owner
  uint8_t* c = AllocChunk("PMAP", "V001", 4 + 22 * (uint32_t)cells.size());
  PutLE32(c + PMAP_COUNT, (uint32_t)cells.size());
  for (size_t i = 0; i < cells.size(); i++) {
    uint8_t* t = c + PMAP_CELLS + 22 * i;
    PutLE32(t, cells[i][0]);
    PutLE32(t + 4, cells[i][1]);
    PutLE16(t + 8, (uint16_t)cells[i][2]);
    t[10] = 3;
    PutLE32(t + 14, cells[i][3]);
  }
  return c;
}

uint8_t* Knowledge(uint16_t px, uint16_t py, uint8_t fill) {
  uint8_t* c = AllocChunk("BMAP", "V001", 4 + BMAP_PART_SIZE);
  PutBE32(c + BMAP_COUNT, 1);
  PutBE16(c + BMAP_PARTS, px);
  PutBE16(c + BMAP_PARTS + 2, py);
  std::memset(c + BMAP_PARTS + 4, fill, 400);
  return c;
}

uint8_t* StartRecord(uint32_t x, uint32_t y, uint32_t dx, uint32_t dy, const char* town, const char* lord) {
  uint8_t* c = AllocChunk("IMAP", "V001", IMAP_SIZE - 12);
  PutBE32(c + IMAP_CAPITAL_X, x);
  PutBE32(c + IMAP_CAPITAL_Y, y);
  PutBE32(c + IMAP_DUNGEON_X, dx);
  PutBE32(c + IMAP_DUNGEON_Y, dy);
  std::strncpy(reinterpret_cast<char*>(c + IMAP_CAPITAL_NAME), town, 79);
  std::strncpy(reinterpret_cast<char*>(c + IMAP_LORD_NAME), lord, 39);
  return c;
}

uint8_t* Korn(uint32_t year, uint16_t quarter) {
  uint8_t* c = AllocChunk("KORN", "V001", 52);
  ChunkPut32(c, 12, year);
  ChunkPut16(c, 16, quarter);
  return c;
}

uint8_t* Towns(const std::vector<std::tuple<uint32_t, std::string, uint32_t, uint32_t, uint32_t>>& t) {
  // V002 records: id, name, x, y, inhabitants
  uint8_t* c = AllocChunk("TOWN", "V002", 2 + 106 * (uint32_t)t.size());
  ChunkPut16(c, 12, (uint16_t)t.size());
  for (size_t i = 0; i < t.size(); i++) {
    uint8_t* r = c + 14 + 106 * i;
    ChunkPut32(r, 0, std::get<0>(t[i]));
    std::strncpy(reinterpret_cast<char*>(r + 4), std::get<1>(t[i]).c_str(), 79);
    ChunkPut32(r, 84, std::get<2>(t[i]));
    ChunkPut32(r, 88, std::get<3>(t[i]));
    ChunkPut32(r, 92, std::get<4>(t[i]));
    ChunkPut32(r, 100, 2);
  }
  return c;
}

// A sign-up answer: a capital at (1001, 501) on grass, water to its north.
void WriteSignUpAnswer() {
  fs::create_directories("Data/POP3In");
  PoolBuilder b(kAnswer);
  b.Add(Cells({{1001, 501, 2, kPlayer}, {1001, 500, 23, 0xFFFFFFFF}, {1000, 501, 12, kPlayer}, {1002, 502, 12, 0xFFFFFFFF}}));
  b.Add(Knowledge(12, 12, 0x0F));
  b.Add(StartRecord(1001, 501, 1002, 502, "Elmsford", "Lord Test"));
  b.Add(Korn(1203, 1));
}

std::vector<uint8_t> Cell(uint32_t x, uint32_t y) {
  auto part = qoe_test::ReadFileBytes("Map/M_" + std::to_string(x / 80) + "_" + std::to_string(y / 40) + ".map");
  if (part.size() != MAP_PART_BYTES) return {};
  const size_t off = (y % 40) * 1760 + (x % 80) * 22;
  return std::vector<uint8_t>(part.begin() + off, part.begin() + off + 22);
}

// Every folder (bytes "<dir>") and file under the folder with its bytes.
std::map<std::string, std::vector<uint8_t>> Tree(const std::string& dir = ".") {
  std::map<std::string, std::vector<uint8_t>> out;
  for (auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.path().filename() == "Quill.dbg") continue;
    if (e.is_directory()) out[e.path().string()] = {'<', 'd', 'i', 'r', '>'};
    else out[e.path().string()] = qoe_test::ReadFileBytes(e.path().string());
  }
  return out;
}

// A LAND chunk with these realm points.
uint8_t* Land(uint16_t points) {
  uint8_t* land = AllocChunk("LAND", "V001", 160);
  ChunkPut32(land, 54, 7);
  ChunkPut16(land, 82, points);
  return land;
}

// Every file under the folder with its bytes.
std::map<std::string, std::vector<uint8_t>> Snapshot(const std::string& dir = ".") {
  std::map<std::string, std::vector<uint8_t>> out;
  for (auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file() && e.path().filename() != "Quill.dbg") out[e.path().string()] = qoe_test::ReadFileBytes(e.path().string());
  return out;
}

class Turns : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories("Data");
    *OwnPlayerPtr = OwnPlayer{};
  }
  void TearDown() override {
    FileFailWritesAfter(-1);
    ResetChunkPoolState();
  }
  void Install() {
    WriteSignUpAnswer();
    ASSERT_EQ(GameInit(kAnswer), 1);
  }
};

}  // namespace

TEST_F(Turns, GameInitSetsUpMapTownsFiguresAndPrefs) {
  Install();
  // Map cells in their part file, the dungeon flag on its field.
  auto cap = Cell(1001, 501);
  ASSERT_EQ(cap.size(), 22u);
  EXPECT_EQ(GetLE32(cap.data()), 1001u);
  EXPECT_EQ(GetLE16(cap.data() + 8), 2u);
  EXPECT_EQ(GetLE32(cap.data() + 14), kPlayer);
  EXPECT_EQ(GetLE32(Cell(1002, 502).data() + 18), 2u);
  EXPECT_EQ(GetLE32(Cell(1001, 500).data() + 18), 0u);
  auto known = qoe_test::ReadFileBytes("Map/B_12_12.map");
  ASSERT_EQ(known.size(), 400u);
  EXPECT_EQ(known[0], 0x0F);
  // The capital.
  TownListEntry* list = nullptr;
  ASSERT_EQ(ReadTownList(&list), 1u);
  EXPECT_STREQ(list[0].name, "Elmsford");
  st_TOWN* t = GetActiveTown(list[0].id);
  ASSERT_NE(t, nullptr);
  EXPECT_NE(t->kind, 0u);
  EXPECT_EQ(t->XPos, 1001u);
  EXPECT_EQ(t->YPos, 501u);
  EXPECT_EQ(OwnPlayerPtr->ActiveTown, t->id);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Cities/Elmsford.qoe").size(), TOWN_FILE_SIZE);
  FreeVec(t);
  FreeVec(list);
  // A scout at the capital.
  auto mp = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  ASSERT_GE(mp.size(), 40u + 18u);
  EXPECT_EQ(std::string(mp.begin() + 28, mp.begin() + 32), "MOVE");
  EXPECT_EQ(GetBE16(mp.data() + 40), 1u);
  EXPECT_EQ(GetBE32(mp.data() + 42), kPlayer);
  EXPECT_EQ(GetBE16(mp.data() + 46), 0u);  // scout
  EXPECT_EQ(GetBE32(mp.data() + 50), 1001u);
  // Prefs and the own player.
  EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), kPlayer);
  char* lord = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  ASSERT_NE(lord, nullptr);
  EXPECT_STREQ(lord, "Lord Test");
  FreeVec(lord);
  EXPECT_EQ(CheckPrefs(PREFS_YEAR, 0, 0), 1203u);
  EXPECT_EQ(CheckPrefs(PREFS_QUARTER, 0, 0), 1u);
  EXPECT_EQ(CheckPrefs(PREFS_TURN_COUNT, 0, 0), 1u);
  EXPECT_EQ(OwnPlayerPtr->PlayerId, kPlayer);
  // The fields round the capital as a culture map.
  EXPECT_FALSE(qoe_test::ReadFileBytes("Map/C_25_25.qoe").empty());
}

TEST_F(Turns, GameInitRefusesAnAnswerWithoutMapChunksAndWritesNothing) {
  fs::create_directories("Data/POP3In");
  {
    PoolBuilder b(kAnswer);
    b.Add(Korn(1203, 1));
    b.Add(Knowledge(1, 1, 1));
  }
  auto before = Snapshot();
  EXPECT_EQ(GameInit(kAnswer), 0);
  EXPECT_EQ(Snapshot(), before);
}

TEST_F(Turns, FollowUpPassesChangeWhatTheyShould) {
  Install();
  // The next turn: goods, figures, armies, letters, names, buildings.
  PoolBuilder b(kAnswer);
  uint8_t* ware = AllocChunk("WARE", "V001", 2 + 36);
  ChunkPut16(ware, 12, 1);
  ChunkPut16(ware, 14, 5);
  ChunkPut32(ware, 20, 98);
  ChunkPut32(ware, 24, 250);
  b.Add(ware);
  uint8_t* move = AllocChunk("MOVE", "V001", 2 + 18 * 2);
  ChunkPut16(move, 12, 2);
  PutFigurRecord(move + 14, FigurRecord{kPlayer, 2, 7, 1001, 502, 0, 4});
  PutFigurRecord(move + 32, FigurRecord{kPlayer, 15, 3, 1001, 500, 0, 6});
  b.Add(move);
  uint8_t* antw = AllocChunk("ANTW", "V001", 4 + 84);
  ChunkPut32(antw, 12, 1);
  ChunkPut32(antw, 16, 99);
  std::strcpy(reinterpret_cast<char*>(antw + 20), "Baron Oak");
  b.Add(antw);
  uint8_t* smal = AllocChunk("SMAL", "V001", 280 + 6);
  std::strcpy(reinterpret_cast<char*>(smal + 12), "Baron Oak");
  std::strcpy(reinterpret_cast<char*>(smal + 92), "Greetings");
  ChunkPut32(smal, 276, 99);
  ChunkPut32(smal, 280, kPlayer);
  ChunkPut32(smal, 288, 6);
  std::strcpy(reinterpret_cast<char*>(smal + 292), "Hello");
  uint8_t* mail = AllocChunk("MAIL", "V001", 4 + 12 + 286);
  ChunkPut32(mail, 12, 1);
  std::memcpy(mail + 16, smal, 12 + 286);
  FreeChunk(smal);
  b.Add(mail);
  uint8_t* land = AllocChunk("LAND", "V001", 160);
  ChunkPut32(land, 50, (uint32_t)-20);
  ChunkPut32(land, 54, 30);
  ChunkPut32(land, 58, 40);
  ChunkPut16(land, 82, 250);
  b.Add(land);
  uint8_t* info_dice = nullptr;
  (void)info_dice;
  const uint32_t bits[] = {1u << CHUNK_INFO, 1u << CHUNK_WARE, 1u << CHUNK_MOVE, 1u << CHUNK_MAIL, 1u << CHUNK_ANTW,
                           1u << CHUNK_LAND};
  for (uint32_t bit : bits) EXPECT_EQ(ChunkMachine(kAnswer, bit, 1), 1) << bit;
  // Goods as the one-chunk file.
  uint8_t* w = LoadChunk2Mem("WARE", ".\\Data\\WarenChunk.qoe");
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(ChunkGet32(w, 24), 250u);
  FreeChunk(w);
  // Figures in MapPrefs.
  auto mp = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  ASSERT_EQ(mp.size(), 40u + 2 + 36);
  EXPECT_EQ(GetBE16(mp.data() + 40), 2u);
  EXPECT_EQ(GetBE16(mp.data() + 64), 15u);
  // The letter in MailIn under the own ID.
  char letter[64];
  std::snprintf(letter, sizeof letter, "Data/MailIn/E%7.7x_00.smal", kPlayer);
  auto l = qoe_test::ReadFileBytes(letter);
  ASSERT_EQ(l.size(), 12u + 286);
  EXPECT_EQ(GetBE32(l.data() + 276), 99u);
  // Names merged into SpielerList.
  char name[40];
  EXPECT_EQ(GetPlayerName(99, name, 0), 1);
  EXPECT_STREQ(name, "Baron Oak");
  // LAND into prefs; the realm's first report of its points (250: every
  // title reached) records the rank without a coronation.
  EXPECT_EQ((int32_t)CheckPrefs(PREFS_LUXURY_VALUE1, 0, 0), 30);
  EXPECT_EQ((int32_t)CheckPrefs(PREFS_LUXURY_VALUE2, 0, 0), -20);
  EXPECT_EQ((int32_t)CheckPrefs(PREFS_LUXURY_VALUE3, 0, 0), 40);
  EXPECT_EQ(CheckPrefs(PREFS_RANK, 0, 0), 9u);
  EXPECT_EQ(OwnPlayerPtr->Mark, 0u);
}

TEST_F(Turns, InfoPassTakesTheDiceAndRefusesAnotherRealmsTurn) {
  Install();
  {
    PoolBuilder b(kAnswer);
    b.Add(Korn(1203, 2));
  }
  // Dice bytes and flags into the pool's INFO by hand (the pool keeps them).
  auto img = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  img[34] = 11;
  img[35] = 22;
  img[36] = 33;
  img[37] = 44;
  img[29] = 1;
  PutBE32(img.data() + 20, Crc32(img.data() + 44, (uint32_t)img.size() - 44));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", img));
  ASSERT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_INFO, 1), 1);
  EXPECT_EQ(CheckPrefs(PREFS_DICE1, 0, 0), 11u);
  EXPECT_EQ(CheckPrefs(PREFS_DICE2, 0, 0), 22u);
  EXPECT_EQ(CheckPrefs(PREFS_DICE3, 0, 0), 33u);
  EXPECT_EQ(CheckPrefs(PREFS_DICE4, 0, 0), 44u);
  EXPECT_EQ(OwnPlayerPtr->InfoFlags, 1u);
  {
    PoolBuilder b(kAnswer, 999);
    b.Add(Korn(1203, 2));
  }
  EXPECT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_INFO, 1), 0);
  EXPECT_EQ(CheckPrefs(PREFS_DICE1, 0, 0), 11u);
}

TEST_F(Turns, InitPassStartsTheOutgoingPoolAnewOnlyForANewTurn) {
  Install();
  fs::create_directories("Data/POP3Out");
  {
    PoolBuilder out(".\\Data\\POP3Out\\GameChunk.qoe");
    out.Add(Korn(1, 1));
  }
  // The same turn again: the orders stay.
  ASSERT_EQ(ChunkMachine(".\\Data\\POP3Out\\GameChunk.qoe", 1u << CHUNK_INIT, 1), 1);
  EXPECT_TRUE(fs::exists("Data/POP3Out/GameChunk.qoe"));
  {
    PoolBuilder b(kAnswer);
    b.Add(Korn(1203, 2));
  }
  ASSERT_EQ(ChunkMachine(".\\Data\\POP3Out\\GameChunk.qoe", 1u << CHUNK_INIT, 1), 1);
  EXPECT_FALSE(fs::exists("Data/POP3Out/GameChunk.qoe"));
}

TEST_F(Turns, ArmyAndShipRepairDropWhatHasNoFigure) {
  Install();
  fs::create_directories("Data/POP3Out");
  // Two armies (IDs 0 = the scout's number and 9) and one ship with cargo.
  uint8_t* army = AllocChunk("ARMY", "V001", 4 + 2 * 60);
  ChunkPut32(army, 12, 2);
  for (int i = 0; i < 2; i++) {
    uint8_t* r = army + 16 + 60 * i;
    std::memcpy(r, "ARHD", 4);
    ChunkPut32(r, 4, 52);
    ChunkPut32(r, 8 + 20, i == 0 ? 7 : 9);
  }
  uint8_t* ship = AllocChunk("SHIP", "V001", 4 + 68);
  ChunkPut32(ship, 12, 1);
  ChunkPut16(ship + 16, 0, 3);
  PutFigurRecord(ship + 16 + 14, FigurRecord{kPlayer, 10, 5, 1001, 500, 7, 0});
  {
    PoolBuilder out(".\\Data\\POP3Out\\GameChunk.qoe");
    out.Add(army);
    out.Add(ship);
  }
  // The map knows army 7 (infantry) and ship 3, not army 9 nor the settler.
  uint8_t* move = AllocChunk("MOVE", "V001", 2 + 36);
  ChunkPut16(move, 12, 2);
  PutFigurRecord(move + 14, FigurRecord{kPlayer, 2, 7, 1001, 502, 0, 4});
  PutFigurRecord(move + 32, FigurRecord{kPlayer, 15, 3, 1001, 500, 0, 6});
  {
    PoolBuilder b(kAnswer);
    b.Add(move);
  }
  ASSERT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_MOVE, 0), 1);
  SetGameDataOwner(kPlayer, "Lord Test");
  ASSERT_EQ(ChunkMachine(".\\Data\\POP3Out\\GameChunk.qoe", 1u << CHUNK_ARMY, 0), 1);
  ASSERT_EQ(ChunkMachine(".\\Data\\POP3Out\\GameChunk.qoe", 1u << CHUNK_SHIP, 0), 1);
  uint8_t* a = LoadChunk2Mem("ARMY", ".\\Data\\POP3Out\\GameChunk.qoe");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(ChunkGet32(a, 12), 1u);
  EXPECT_EQ(ChunkGet32(a, 16 + 8 + 20), 7u);
  FreeChunk(a);
  uint8_t* s = LoadChunk2Mem("SHIP", ".\\Data\\POP3Out\\GameChunk.qoe");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ChunkGet32(s, 12), 1u);
  static const uint8_t kEmpty[18] = {};
  EXPECT_EQ(std::memcmp(s + 16 + 14, kEmpty, 18), 0);
  FreeChunk(s);
}

TEST_F(Turns, AFailedOrHostilePassChangesNothing) {
  Install();
  // A PMAP pass whose writes fail part-way, at every budget up to one part.
  {
    PoolBuilder b(kAnswer);
    b.Add(Cells({{1001, 501, 5, kPlayer}, {5, 5, 9, kPlayer}, {12799, 6399, 23, 0}}));
    b.Add(Knowledge(0, 0, 0xFF));
  }
  const auto before = Snapshot("Map");
  for (int64_t budget : {0ll, 1ll, 70000ll, 70400ll, 140800ll}) {
    FileFailWritesAfter(budget);
    EXPECT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_PMAP, 1), 0) << budget;
    FileFailWritesAfter(-1);
    EXPECT_EQ(Snapshot("Map"), before) << budget;
  }
  // Same under a file size limit.
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = {50000, old.rlim_max};
  signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_PMAP, 1), 0);
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(Snapshot("Map"), before);
  // A cell outside the world, a count past the chunk.
  {
    PoolBuilder b(kAnswer);
    b.Add(Cells({{1001, 501, 5, kPlayer}, {12800, 1, 5, 0}}));
  }
  EXPECT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_PMAP, 1), 0);
  {
    PoolBuilder b(kAnswer);
    uint8_t* c = Cells({{1001, 501, 5, kPlayer}});
    PutLE32(c + PMAP_COUNT, 1000);
    b.Add(c);
  }
  EXPECT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_PMAP, 1), 0);
  EXPECT_EQ(Snapshot("Map"), before);
  // A truncated pool: every pass fails and nothing changes.
  auto img = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  img.resize(img.size() - 7);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", img));
  const auto all = Snapshot();
  for (ChunkIndex c : {CHUNK_INFO, CHUNK_WARE, CHUNK_MOVE, CHUNK_LAND, CHUNK_MAIL, CHUNK_GEBA, CHUNK_PMAP, CHUNK_ANTW})
    EXPECT_EQ(ChunkMachine(kAnswer, 1u << c, 1), 0) << ChunkIdTable[c];
  EXPECT_EQ(Snapshot(), all);
}

TEST_F(Turns, TownsFollowTheTurnNewOnesFoundedLostOnesGone) {
  Install();
  {
    PoolBuilder b(kAnswer);
    b.Add(Towns({{1, "Elmsford", 1001, 501, 800}, {2, "Rivermouth", 1010, 510, 1200}}));
  }
  ASSERT_EQ(CheckPlayerTown(), 1);
  ASSERT_EQ(CheckTownStatus(0), 1);
  TownListEntry* list = nullptr;
  ASSERT_EQ(ReadTownList(&list), 2u);
  FreeVec(list);
  st_TOWN* r = GetActiveTown(2);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->population, 1200u);
  EXPECT_EQ(r->TownPopulation, 1200u);  // the people the barracks may recruit from
  EXPECT_EQ(r->level, 2u);
  EXPECT_EQ(r->kind, 0u);
  FreeVec(r);
  // The capital is lost: the other town becomes the capital.
  {
    PoolBuilder b(kAnswer);
    b.Add(Towns({{2, "Rivermouth", 1010, 510, 1300}}));
  }
  ASSERT_EQ(CheckPlayerTown(), 1);
  EXPECT_FALSE(fs::exists("Data/Cities/Elmsford.qoe"));
  r = GetActiveTown(2);
  ASSERT_NE(r, nullptr);
  EXPECT_NE(r->kind, 0u);
  FreeVec(r);
}

// Makes town `capital` the realm's capital (0: none) in the town files.
void SetCapital(std::initializer_list<uint32_t> ids, uint32_t capital) {
  for (uint32_t id : ids) {
    st_TOWN* t = GetActiveTown(id);
    ASSERT_NE(t, nullptr);
    t->kind = id == capital ? 1 : 0;
    ASSERT_EQ(SaveTown(t), 1);
    FreeVec(t);
  }
}

TEST_F(Turns, TheActiveTownIsTheLastShownTownElseTheCapitalElseTheFirst) {
  Install();
  {
    PoolBuilder b(kAnswer);
    b.Add(Towns({{1, "Elmsford", 1001, 501, 800}, {2, "Rivermouth", 1010, 510, 1200}, {3, "Oakby", 1020, 520, 300}}));
  }
  ASSERT_EQ(CheckPlayerTown(), 1);
  SetCapital({1, 2, 3}, 2);  // the capital is not the list's first town
  struct Case {
    uint32_t lastShown, capital, expected;
  } const kCases[] = {
      {3, 2, 3},            // the town view's last town
      {0xFFFFFFFFu, 2, 2},  // after a load or a new game: the capital
      {99, 2, 2},           // a town no longer listed
      {0, 2, 2},
      {0xFFFFFFFFu, 0, 1},  // no capital: the first town
      {3, 0, 3},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << "prefs 4 = " << c.lastShown << ", capital " << c.capital);
    SetCapital({1, 2, 3}, c.capital);
    CheckPrefs(PREFS_TOWN_ID, 1, c.lastShown);
    OwnPlayerPtr->ActiveTown = 0;  // as after every start
    EXPECT_EQ(StartTownId(), c.expected);
    EXPECT_EQ(SettleActiveTown(0), c.expected);
    EXPECT_EQ(OwnPlayerPtr->ActiveTown, c.expected);
  }
  // A listed town the player chose stays when it is to be kept.
  CheckPrefs(PREFS_TOWN_ID, 1, 1);
  OwnPlayerPtr->ActiveTown = 3;
  EXPECT_EQ(SettleActiveTown(1), 3u);
  OwnPlayerPtr->ActiveTown = 42;
  EXPECT_EQ(SettleActiveTown(1), 1u);
  // No towns: 0, and no town file is made.
  fs::remove_all("Data/Cities");
  EXPECT_EQ(SettleActiveTown(0), 0u);
  EXPECT_FALSE(fs::exists("Data/Cities"));
}

TEST_F(Turns, ATurnThatTakesTheActiveTownFallsBackAndKeepsAListedOne) {
  Install();
  {
    PoolBuilder b(kAnswer);
    b.Add(Towns({{1, "Elmsford", 1001, 501, 800}, {2, "Rivermouth", 1010, 510, 1200}, {3, "Oakby", 1020, 520, 300}}));
  }
  ASSERT_EQ(CheckPlayerTown(), 1);
  // The player looks at Oakby (the town view left it in prefs field 4).
  OwnPlayerPtr->ActiveTown = 3;
  CheckPrefs(PREFS_TOWN_ID, 1, 3);
  {
    PoolBuilder b(kAnswer);
    b.Add(Towns({{1, "Elmsford", 1001, 501, 800}, {2, "Rivermouth", 1010, 510, 1200}}));
  }
  ASSERT_EQ(CheckPlayerTown(), 1);
  EXPECT_EQ(OwnPlayerPtr->ActiveTown, 1u);  // the capital
  // A town still listed stays the active one.
  OwnPlayerPtr->ActiveTown = 2;
  ASSERT_EQ(CheckPlayerTown(), 1);
  EXPECT_EQ(OwnPlayerPtr->ActiveTown, 2u);
  // A turn that fails changes nothing, the active town included.
  OwnPlayerPtr->ActiveTown = 2;
  {
    PoolBuilder b(kAnswer);
    b.Add(Towns({{1, "Elmsford", 1001, 501, 800}, {4, "Newby", 1030, 530, 100}}));
  }
  FileFailWritesAfter(0);
  EXPECT_EQ(CheckPlayerTown(), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(OwnPlayerPtr->ActiveTown, 2u);
  ASSERT_EQ(CheckPlayerTown(), 1);
  EXPECT_EQ(OwnPlayerPtr->ActiveTown, 1u);
  for (auto& e : fs::directory_iterator("Data/Cities"))
    EXPECT_EQ(e.path().filename().string().rfind("NewTown", 0), std::string::npos) << e.path();
}

TEST_F(Turns, GameInitStartsOnTheCapitalWhateverTheLastGameShowed) {
  OwnPlayerPtr->ActiveTown = 77;  // the town of a game given up
  CheckPrefs(PREFS_TOWN_ID, 1, 0xFFFFFFFFu);
  Install();
  TownListEntry* list = nullptr;
  ASSERT_EQ(ReadTownList(&list), 1u);
  EXPECT_EQ(OwnPlayerPtr->ActiveTown, list[0].id);
  FreeVec(list);
}

TEST_F(Turns, BuildingsStandFromGebaeudeDat) {
  Install();
  {
    PoolBuilder b(kAnswer);
    uint8_t* g = AllocChunk("GEBA", "V001", 6 + 16 * 3);
    ChunkPut16(g, 16, 3);
    const uint16_t rec[3][3] = {{27, 0, 1}, {48, 3, 1}, {0, 0xFFFF, 1}};  // building, time, town
    for (int i = 0; i < 3; i++) {
      ChunkPut16(g + 18 + 16 * i, 0, rec[i][0]);
      ChunkPut16(g + 18 + 16 * i, 6, rec[i][1]);
      ChunkPut16(g + 18 + 16 * i, 14, rec[i][2]);
    }
    b.Add(g);
  }
  st_TOWN* t = GetActiveTown(1);
  t->buildings[0].flags = BUILDING_STANDS;
  ASSERT_EQ(SaveTown(t), 1);
  FreeVec(t);
  ASSERT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_GEBA, 1), 1);
  ASSERT_EQ(CheckTownStatus(0), 1);
  t = GetActiveTown(1);
  EXPECT_EQ(t->buildings[27].flags, BUILDING_STANDS);
  EXPECT_EQ(t->buildings[48].flags, BUILDING_ORDERED);
  EXPECT_EQ(t->buildings[0].flags, 0u);
  uint8_t* g = LoadChunk2Mem("GEBA", ".\\Data\\Gebaeude.dat");
  EXPECT_EQ(CheckOtherBuilding(g, 27, 1), 1);
  FreeChunk(g);
  FreeVec(t);
}

TEST_F(Turns, CultureMapsMoveOnOneTurn) {
  Install();
  RegisterGameDataListTypes();
  ListHeader* l = CreateList(14);
  ASSERT_EQ(ScanMapCult2List(l, 25, 25), 1);
  ASSERT_GT(l->count, 0u);
  MapCultEintrag* c = reinterpret_cast<MapCultEintrag*>(l->first);
  c->harvest_workers = 10;
  c->harvest[1] = 100;
  const uint16_t x = c->x, y = c->y;
  ASSERT_EQ(SaveMapCultList(l, 25, 25), 1);
  DeleteList(l, 0);
  ASSERT_EQ(CheckMapCultWorld(), 1);
  l = CreateList(14);
  ASSERT_EQ(ScanMapCult2List(l, 25, 25), 1);
  for (ListNode* n = l->first; n; n = n->next) {
    c = reinterpret_cast<MapCultEintrag*>(n);
    if (c->x != x || c->y != y) continue;
    EXPECT_EQ(c->harvest[2], 100u);
    break;
  }
  DeleteList(l, 0);
}

TEST_F(Turns, GameExitRemovesTheGameAndNothingElse) {
  Install();
  fs::create_directories("Data/Screendat");
  fs::create_directories("Game/Lord/1203_1");
  qoe_test::WriteFileBytes("Data/Path", {1, 2, 3});
  qoe_test::WriteFileBytes("Data/Screendat/Residenz0.dat", {4});
  qoe_test::WriteFileBytes("Game/Lord/1203_1/x", {5});
  qoe_test::WriteFileBytes("Data/I0001234.qoe", {6});
  // A link out of the working folder is never followed.
  fs::create_directories("outside");
  qoe_test::WriteFileBytes("outside/keep.map", {7});
  fs::create_directory_symlink(fs::absolute("outside"), "Data/MailIn/link");
  OptionenPrefs o;
  OptionenPrefsLoad(&o);
  ASSERT_EQ(GameExit(), 1);
  EXPECT_FALSE(fs::exists("Map/M_12_12.map"));
  EXPECT_FALSE(fs::exists("Data/Cities/Town.list"));
  EXPECT_FALSE(fs::exists("Data/MapPrefs.qoe"));
  EXPECT_FALSE(fs::exists("Data/POP3In/GameChunk.qoe"));
  EXPECT_FALSE(fs::exists("Data/I0001234.qoe"));
  EXPECT_TRUE(fs::exists("Data/Path"));
  EXPECT_TRUE(fs::exists("Data/Screendat/Residenz0.dat"));
  EXPECT_TRUE(fs::exists("Game/Lord/1203_1/x"));
  EXPECT_TRUE(fs::exists("Data/Prefs.qoe"));
  EXPECT_TRUE(fs::exists("Data/Optionen.prefs"));
  EXPECT_TRUE(fs::exists("outside/keep.map"));
}

TEST_F(Turns, GameExitRemovesTheRealmAndItsAccountStateTogetherOrNothing) {
  Install();
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_INSTALLED);
  qoe_test::WriteFileBytes("Data/Path", {1, 2, 3});
  qoe_test::WriteFileBytes("Data/Waren.dat", {});  // an empty file is the game's too
  OwnPlayerPtr->Anarchy = 2;
  const OwnPlayer own = *OwnPlayerPtr;
  const auto before = Snapshot();
  ASSERT_GT(before.size(), 8u);
  // The account state is the only write: each budget short of it changes
  // nothing and reports the failure.
  int64_t budget = 0;
  for (; budget < 100000; ++budget) {
    FileFailWritesAfter(budget);
    const int32_t ok = GameExit();
    FileFailWritesAfter(-1);
    if (ok) break;
    ASSERT_EQ(Snapshot(), before) << "budget " << budget;
    ASSERT_EQ(std::memcmp(OwnPlayerPtr, &own, sizeof own), 0) << "budget " << budget;
  }
  EXPECT_GT(budget, 0);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), uint32_t(ACCOUNT_NONE));
  EXPECT_EQ(OwnPlayerPtr->Anarchy, 0u);
  std::vector<std::string> left;
  for (const auto& f : Snapshot()) left.push_back(f.first);
  EXPECT_EQ(left, (std::vector<std::string>{"./Data/Path", "./Data/Prefs.qoe"}));
  // A game that is gone stays gone.
  EXPECT_EQ(GameExit(), 1);
}

// The working folder's files as the game sees them (the log and the test's
// own copies aside), and whether a staged file is among them.
std::map<std::string, std::vector<uint8_t>> WorkingFiles() {
  auto all = qoe_test::FileTree(".");
  for (auto it = all.begin(); it != all.end();)
    it = it->first == "Quill.dbg" || it->first.rfind("old/", 0) == 0 ? all.erase(it) : std::next(it);
  return all;
}
bool HasStagedFile(const std::map<std::string, std::vector<uint8_t>>& files) {
  for (const auto& f : files)
    if (f.first.find(".qoetmp-") != std::string::npos) return true;
  return false;
}

// The next start of the program, as far as the game data go: the commits a
// kill interrupted are finished.
void NextStart() { EXPECT_EQ(FinishCommitRecords(), 0); }

TEST_F(Turns, GameExitKilledAtAnyMomentLeavesTheRealmInstalledOrGone) {
  Install();
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_INSTALLED);
  // A realm with many map files, so kills fall among the removals.
  for (int i = 0; i < 500; i++)
    ASSERT_TRUE(qoe_test::WriteFileBytes("Map/C_" + std::to_string(i) + "_1.qoe", {uint8_t(i), 1, 2}));
  ASSERT_TRUE(qoe_test::BackUpFolders("old", {"Data", "Map"}));
  auto restore_old = [] { ASSERT_TRUE(qoe_test::RestoreFolders("old", {"Data", "Map"})); };
  const auto old_state = WorkingFiles();
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(GameExit(), 1);
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  const auto new_state = WorkingFiles();
  int olds = 0, news = 0;
  srand(5);
  for (int i = 0; i < 30; i++) {
    restore_old();
    qoe_test::RunKilledAfter([] { return GameExit() == 1 ? 0 : 1; }, rand() % (us + 1));
    NextStart();
    const auto now = WorkingFiles();
    EXPECT_FALSE(HasStagedFile(now)) << "run " << i;
    if (now == old_state) olds++;
    else if (now == new_state) news++;
    else ADD_FAILURE() << "run " << i << ": " << now.size() << " files, old " << old_state.size() << ", new "
                       << new_state.size();
  }
  EXPECT_EQ(olds + news, 30);
  // The realm can be removed, and set up again, as before.
  restore_old();
  EXPECT_EQ(GameExit(), 1);
  EXPECT_EQ(WorkingFiles(), new_state);
  WriteSignUpAnswer();
  EXPECT_EQ(InstallGame(kAnswer, 1), 1);
}

TEST_F(Turns, InstallGameMarksTheGameInstalledInTheSameSet) {
  WriteSignUpAnswer();
  const auto start = Tree();
  int64_t budget = 0;
  for (; budget < 4000000; budget += budget < 64 ? 1 : 1499) {
    FileFailWritesAfter(budget);
    const int32_t ok = InstallGame(kAnswer, 123456);
    FileFailWritesAfter(-1);
    if (ok) break;
    ASSERT_EQ(Tree(), start) << "budget " << budget;
  }
  EXPECT_GT(budget, int64_t(MAP_PART_BYTES));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), uint32_t(ACCOUNT_INSTALLED));
  EXPECT_EQ(CheckPrefs(PREFS_LAST_MAIL_DATE, 0, 0), 123456u);
  EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), kPlayer);
  // GameInit alone leaves the account state to its caller.
  fs::remove_all("Data");
  fs::remove_all("Map");
  WriteSignUpAnswer();
  ASSERT_EQ(GameInit(kAnswer), 1);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), uint32_t(ACCOUNT_NONE));
}

// ---- towns ----

TEST(Towns, FileNamesAreSafeAndStable) {
  char out[240];
  TownFileName("Elmsford", out, sizeof out);
  EXPECT_STREQ(out, "Elmsford");
  TownFileName("K\xF6nigsb\xFCrg (Alt)", out, sizeof out);
  EXPECT_STREQ(out, "K\xF6nigsb\xFCrg (Alt)");
  TownFileName("../etc/passwd", out, sizeof out);
  EXPECT_STREQ(out, "%2E.%2Fetc%2Fpasswd");
  TownFileName("a\\b:c\x01%", out, sizeof out);
  EXPECT_STREQ(out, "a%5Cb%3Ac%01%25");
  std::string full(79, '/');
  TownFileName(full.c_str(), out, sizeof out);
  EXPECT_EQ(std::strlen(out), 237u);
}

TEST(Towns, ListEdgesAndUnknownIds) {
  fs::create_directories("Data/Cities");
  TownListEntry* list = nullptr;
  EXPECT_EQ(ReadTownList(&list), 0u);  // missing
  std::vector<uint8_t> img(84 * 2, 0);
  PutBE32(img.data(), 5);
  std::strcpy(reinterpret_cast<char*>(img.data() + 4), "Ashby");
  PutBE32(img.data() + 84, 6);  // no end record
  qoe_test::WriteFileBytes("Data/Cities/Town.list", img);
  EXPECT_EQ(ReadTownList(&list), 0u);
  img.resize(84 * 2 + 40);  // short tail
  PutBE32(img.data() + 84, TOWN_LIST_END);
  qoe_test::WriteFileBytes("Data/Cities/Town.list", img);
  ASSERT_EQ(ReadTownList(&list), 1u);
  FreeVec(list);
  // A town file of the wrong size is made anew; an unknown ID writes nothing.
  qoe_test::WriteFileBytes("Data/Cities/Ashby.qoe", {1, 2, 3});
  st_TOWN* t = GetActiveTown(5);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->name, "Ashby");
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Cities/Ashby.qoe").size(), TOWN_FILE_SIZE);
  FreeVec(t);
  t = GetActiveTown(77);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->name, "NewTown.77");
  EXPECT_FALSE(fs::exists("Data/Cities/NewTown.77.qoe"));
  FreeVec(t);
  // Renaming: a used name is refused, a new one moves the file.
  EXPECT_EQ(ChangeTownName(5, "Ashby"), 0);
  EXPECT_EQ(ChangeTownName(5, "Brackwater"), 1);
  EXPECT_TRUE(fs::exists("Data/Cities/Brackwater.qoe"));
  EXPECT_FALSE(fs::exists("Data/Cities/Ashby.qoe"));
  uint32_t n = 0;
  char* names = CreateStadtListBuffer(&n);
  ASSERT_EQ(n, 1u);
  EXPECT_STREQ(names, "Brackwater");
  FreeVec(names);
}

TEST(Towns, TownEnvRules) {
  st_TOWN* t = CreateTown(1, "T", 10, 10);
  uint8_t fors[28] = {};
  fors[15 + 5] = 2;  // technics 2
  // Listing: the head of a line yes, a higher level no.
  EXPECT_EQ(CheckTownEnv(t, nullptr, 2, 0), 1);
  EXPECT_EQ(CheckTownEnv(t, nullptr, 58, 0), 0);
  EXPECT_EQ(CheckTownEnv(nullptr, nullptr, 2, 0), 0);
  // Requirements of mode 1.
  t->buildings[14].research[5] = 2;
  EXPECT_EQ(CheckTownEnv(t, fors, 14, 1), 1);
  EXPECT_EQ(CheckTownEnv(t, nullptr, 14, 1), 0);
  t->buildings[14].research[5] = 3;
  EXPECT_EQ(CheckTownEnv(t, fors, 14, 1), 0);
  t->buildings[14].research[5] = 0;
  t->buildings[14].population = 500;
  EXPECT_EQ(CheckTownEnv(t, fors, 14, 1), 0);
  t->population = 500;
  EXPECT_EQ(CheckTownEnv(t, fors, 14, 1), 1);
  t->buildings[14].level = 2;
  EXPECT_EQ(CheckTownEnv(t, fors, 14, 1), 0);
  t->level = 2;
  t->buildings[14].buildings[0] = 28;  // needs building 27
  EXPECT_EQ(CheckTownEnv(t, fors, 14, 1), 0);
  t->buildings[27].flags = BUILDING_STANDS;
  EXPECT_EQ(CheckTownEnv(t, fors, 14, 1), 1);
  // Both modes: refused above level 1, standing, 29/30, flag 1.
  EXPECT_EQ(CheckTownEnv(t, fors, 59, 1), 0);
  t->level = 1;
  EXPECT_EQ(CheckTownEnv(t, fors, 27, 0), 0);
  t->buildings[0].flags = BUILDING_STANDS;
  EXPECT_EQ(CheckTownEnv(t, fors, 0, 0), 1);
  EXPECT_EQ(CheckTownEnv(t, fors, 29, 0), 0);
  EXPECT_EQ(CheckTownEnv(t, fors, 30, 0), 0);
  t->buildings[15].flags = BUILDING_UNAVAILABLE;
  EXPECT_EQ(CheckTownEnv(t, fors, 15, 0), 0);
  // The port needs water next to the town, across a map part border too.
  EXPECT_EQ(CheckTownEnv(t, fors, 51, 0), 0);
  t->XPos = 80;
  t->YPos = 40;
  fs::create_directories("Map");
  std::vector<uint8_t> part(MAP_PART_BYTES, 0);
  const uint32_t x = 79, y = 40;  // west neighbour of an even column: part 0
  PutLE16(part.data() + (y % 40) * 1760 + (x % 80) * 22 + 8, 23);
  qoe_test::WriteFileBytes("Map/M_0_1.map", part);
  EXPECT_EQ(CheckTownEnv(t, fors, 51, 0), 1);
  FreeVec(t);
}

TEST(Towns, LuxuryDemand) {
  const int32_t bal[3] = {-7, 5, 0};
  EXPECT_EQ(GetLuxusDemand(0, bal, nullptr, 0), 70u);
  EXPECT_EQ(GetLuxusDemand(1, bal, nullptr, 0), 0u);
  uint32_t res[LUXUS_ENTRIES] = {};
  res[3] = 2;
  EXPECT_EQ(GetLuxusDemand(3, bal, res, 10000), 40u);
  EXPECT_EQ(GetLuxusDemand(19, bal, res, 10000), 0u);
  const int32_t low[3] = {INT32_MIN, 0, 0};
  EXPECT_EQ(GetLuxusDemand(0, low, nullptr, 0), 0xFFFFFFFFu);
}

TEST(Towns, TownFileRoundTripsByteForByte) {
  std::vector<uint8_t> img(TOWN_FILE_SIZE);
  for (size_t i = 0; i < img.size(); i++) img[i] = (uint8_t)(i * 7 + 3);
  img[36 + 79] = 0;  // the name is terminated on disk
  st_TOWN t;
  DecodeTown(img.data(), &t);
  std::vector<uint8_t> back(TOWN_FILE_SIZE);
  EncodeTown(&t, back.data());
  EXPECT_EQ(back, img);
}

TEST_F(Turns, GameInitThatFailsLeavesTheWorkingFolderAsItWas) {
  // A game of an earlier sign-up: prefs, side files, an outgoing pool; no map yet.
  ASSERT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_SIGNUP_SENT), (uint32_t)ACCOUNT_SIGNUP_SENT);
  ASSERT_EQ(CheckPrefs(PREFS_PLAYER_ID, 1, 17), 17u);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/BauScreenGeb.dat", {1, 2, 3}));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Waren.dat", {4, 5}));
  fs::create_directories("Data/POP3Out");
  {
    PoolBuilder out(".\\Data\\POP3Out\\GameChunk.qoe", 17);
    out.Add(Korn(1200, 0));
  }
  // A sign-up answer whose PMAP count runs past its cells.
  fs::create_directories("Data/POP3In");
  {
    PoolBuilder b(kAnswer);
    uint8_t* cells = Cells({{1001, 501, 2, kPlayer}});
    PutLE32(cells + PMAP_COUNT, 3);
    b.Add(cells);
    b.Add(Knowledge(12, 12, 0x0F));
    b.Add(StartRecord(1001, 501, 1002, 502, "Elmsford", "Lord Test"));
    b.Add(Korn(1203, 1));
  }
  const auto before = Tree();
  const OwnPlayer own = *OwnPlayerPtr;
  EXPECT_EQ(GameInit(kAnswer), 0);
  EXPECT_EQ(Tree(), before);
  EXPECT_EQ(std::memcmp(OwnPlayerPtr, &own, sizeof own), 0);

  // A full answer (figures, letters, names, towns, LAND) with every write
  // budget: each failing run reports it and leaves the tree as it was.
  {
    PoolBuilder b(kAnswer);
    b.Add(Cells({{1001, 501, 2, kPlayer}, {1001, 500, 23, 0xFFFFFFFF}, {5, 5, 12, kPlayer}}));
    b.Add(Knowledge(12, 12, 0x0F));
    b.Add(StartRecord(1001, 501, 1002, 502, "Elmsford", "Lord Test"));
    b.Add(Korn(1203, 1));
    b.Add(Land(3));
    b.Add(Towns({{1, "Elmsford", 1001, 501, 800}, {2, "Rivermouth", 1010, 510, 1200}}));
    uint8_t* antw = AllocChunk("ANTW", "V001", 4 + 84);
    ChunkPut32(antw, 12, 1);
    ChunkPut32(antw, 16, 99);
    std::strcpy(reinterpret_cast<char*>(antw + 20), "Baron Oak");
    b.Add(antw);
  }
  const auto start = Tree();
  int64_t budget = 0;
  for (; budget < 4000000; budget += budget < 64 ? 1 : 1499) {
    FileFailWritesAfter(budget);
    const int32_t ok = GameInit(kAnswer);
    FileFailWritesAfter(-1);
    if (ok) break;
    ASSERT_EQ(Tree(), start) << "budget " << budget;
    ASSERT_EQ(std::memcmp(OwnPlayerPtr, &own, sizeof own), 0) << "budget " << budget;
  }
  EXPECT_GT(budget, 100000);  // the map part alone is 70,400 bytes
  // The run that could write everything set the game up.
  EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), kPlayer);
  EXPECT_EQ(CheckPrefs(PREFS_RANK, 0, 0), 3u);
  EXPECT_EQ(OwnPlayerPtr->PlayerId, kPlayer);
  EXPECT_FALSE(qoe_test::FileExists("Data/BauScreenGeb.dat"));
  EXPECT_FALSE(qoe_test::FileExists("Data/POP3Out/GameChunk.qoe"));
  EXPECT_TRUE(qoe_test::FileExists("Data/Cities/Rivermouth.qoe"));
  EXPECT_EQ(Cell(1001, 501).size(), 22u);
}

TEST(RealmRank, CountsTheTitleValuesReached) {
  const std::pair<uint32_t, uint32_t> cases[] = {{0, 0},  {1, 1},  {2, 1},  {3, 2},  {6, 2},  {7, 3},
                                                 {10, 3}, {11, 4}, {14, 4}, {15, 5}, {19, 5}, {20, 6},
                                                 {24, 6}, {25, 7}, {29, 7}, {30, 8}, {65535, 8}};
  for (const auto& c : cases) EXPECT_EQ(RealmRank(c.first), c.second) << c.first;
}

TEST_F(Turns, LandPassCrownsEachTitleTheRealmPointsReach) {
  Install();
  ASSERT_EQ(CheckPrefs(PREFS_RANK, 0, 0), 0u);  // nothing stored yet
  // points of each turn, the coronation expected, the stored rank + 1
  const struct { uint16_t points; uint16_t crowned; uint32_t stored; } turns[] = {
      {0, 0, 1},   // first report: recorded only
      {1, 1, 2},   // Baron
      {2, 0, 2},   {3, 1, 3},  {6, 0, 3},  {8, 1, 4},   // Viscount, Earl
      {11, 1, 5},  {12, 0, 5}, {21, 1, 7},              // two titles at once
      {19, 0, 6},  {20, 1, 7},                          // fallen back and risen again
      {30, 1, 9},  {400, 0, 9},
  };
  for (const auto& t : turns) {
    {
      PoolBuilder b(kAnswer);
      b.Add(Land(t.points));
    }
    OwnPlayerPtr->Mark = 0;
    ASSERT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_LAND, 1), 1) << t.points;
    EXPECT_EQ(OwnPlayerPtr->Mark, t.crowned) << t.points;
    EXPECT_EQ(CheckPrefs(PREFS_RANK, 0, 0), t.stored) << t.points;
    EXPECT_EQ(CheckPrefs(PREFS_LUXURY_VALUE1, 0, 0), 7u);
  }
  // A realm that first reports many points is not crowned for all of them.
  ASSERT_EQ(CheckPrefs(PREFS_RANK, 1, 0), 0u);
  OwnPlayerPtr->Mark = 0;
  ASSERT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_LAND, 1), 1);
  EXPECT_EQ(OwnPlayerPtr->Mark, 0u);
  EXPECT_EQ(CheckPrefs(PREFS_RANK, 0, 0), 9u);
}

TEST_F(Turns, LandPassWhosePrefsCannotBeWrittenFailsAndChangesNothing) {
  Install();
  {
    PoolBuilder b(kAnswer);
    b.Add(Land(1));
  }
  ASSERT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_LAND, 1), 1);
  {
    PoolBuilder b(kAnswer);
    b.Add(Land(7));  // a rise: a coronation would be due
  }
  const auto before = Tree();
  OwnPlayerPtr->Mark = 0;
  for (int64_t budget : {0ll, 1ll, 4ll, 200ll, 263ll}) {
    FileFailWritesAfter(budget);
    EXPECT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_LAND, 1), 0) << budget;
    FileFailWritesAfter(-1);
    EXPECT_EQ(Tree(), before) << budget;
    EXPECT_EQ(OwnPlayerPtr->Mark, 0u) << budget;
  }
  ASSERT_EQ(ChunkMachine(kAnswer, 1u << CHUNK_LAND, 1), 1);
  EXPECT_EQ(OwnPlayerPtr->Mark, 1u);
  EXPECT_EQ(CheckPrefs(PREFS_RANK, 0, 0), 4u);
}

TEST_F(Turns, ArmyRepairOfADamagedOutgoingPoolFailsAndChangesNothing) {
  Install();
  fs::create_directories("Data/POP3Out");
  uint8_t* army = AllocChunk("ARMY", "V001", 4 + 2 * 60);
  ChunkPut32(army, 12, 2);
  for (int i = 0; i < 2; i++) {
    uint8_t* r = army + 16 + 60 * i;
    std::memcpy(r, "ARHD", 4);
    ChunkPut32(r, 4, 52);
    ChunkPut32(r, 8 + 20, 9 + i);  // neither army has its figure
  }
  {
    PoolBuilder out(".\\Data\\POP3Out\\GameChunk.qoe");
    out.Add(army);
    out.Add(Korn(1203, 2));
  }
  SetGameDataOwner(kPlayer, "Lord Test");
  const auto good = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  const char kArmy[] = "ARMY";
  const size_t at = std::search(good.begin(), good.end(), kArmy, kArmy + 4) - good.begin();
  ASSERT_LT(at, good.size());
  // The second record's tag damaged (checksum made right), then the pool's
  // checksum wrong: the repair cannot tell what the pool holds.
  auto tag = good;
  std::memcpy(tag.data() + at + 16 + 60, "XXXX", 4);
  PutBE32(tag.data() + INFO_CHECKSUM, Crc32(tag.data() + INFO_CHUNK_SIZE, (uint32_t)tag.size() - INFO_CHUNK_SIZE));
  auto sum = good;
  sum[at + 20] ^= 1;
  for (const auto* img : {&tag, &sum}) {
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", *img));
    const auto before = Tree();
    EXPECT_EQ(ChunkMachine(".\\Data\\POP3Out\\GameChunk.qoe", 1u << CHUNK_ARMY, 0), 0);
    EXPECT_EQ(Tree(), before);
  }
  // The whole pool: both armies go; a pool without ARMY needs nothing.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", good));
  EXPECT_EQ(ChunkMachine(".\\Data\\POP3Out\\GameChunk.qoe", 1u << CHUNK_ARMY, 0), 1);
  EXPECT_EQ(ChunkState("ARMY", ".\\Data\\POP3Out\\GameChunk.qoe"), CHUNK_ABSENT);
  EXPECT_EQ(ChunkMachine(".\\Data\\POP3Out\\GameChunk.qoe", 1u << CHUNK_ARMY, 0), 1);
}
