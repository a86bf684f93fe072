// Chunks that a file names but that cannot be loaded: each pass, the town
// checks, the repairs, the game set-up and the readers of side files fail
// on them and change nothing, where they used to take them for absent ones.
// The realms come from the turn builder; CutChunk cuts a chunk's payload
// with its length and the pool's checksum kept consistent.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

const char kIn[] = "Data/POP3In/GameChunk.qoe";
const char kOut[] = "Data/POP3Out/GameChunk.qoe";

// Every folder and file of the working folder (the log aside).
std::map<std::string, Bytes> Tree() {
  std::map<std::string, Bytes> out;
  for (auto& e : fs::recursive_directory_iterator(".")) {
    if (e.path().filename() == "Quill.dbg") continue;
    // A FIFO is noted, never read (that would wait for a writer).
    out[e.path().string()] = e.is_directory()       ? Bytes{'<', 'd', '>'}
                             : e.is_regular_file() ? qoe_test::ReadFileBytes(e.path().string())
                                                   : Bytes{'<', 'f', '>'};
  }
  return out;
}

class DamagedChunks : public ::testing::Test {
 protected:
  Realm realm;

  void SetUp() override {
    *OwnPlayerPtr = OwnPlayer{};
    std::string err;
    ASSERT_TRUE(LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/grown.realm", &realm, &err)) << err;
    fs::create_directories("Data/POP3In");
  }
  void TearDown() override {
    *OwnPlayerPtr = OwnPlayer{};
    ResetChunkPoolState();
  }
  // The realm set up from its sign-up answer, and its next turn received.
  void Install() {
    ASSERT_TRUE(qoe_test::WriteFileBytes(kIn, BuildSignupAnswer(realm)));
    ASSERT_EQ(GameInit(ReceivedPoolPath), 1);
    std::string err;
    ASSERT_TRUE(ParseRealm("turn year=1003 quarter=3\n", "next.changes", &realm, &err, true)) << err;
    ASSERT_TRUE(qoe_test::WriteFileBytes(kIn, BuildTurnPool(realm)));
  }
  // The file's image with the chunk cut by 5 bytes (or cut).
  static Bytes Cut(const Bytes& file, const char* id, uint32_t cut = 5) {
    Bytes d = CutChunk(file, id, cut);
    EXPECT_FALSE(d.empty()) << id;
    return d;
  }
  static void Put(const char* path, const Bytes& image) { ASSERT_TRUE(qoe_test::WriteFileBytes(path, image)); }
};

}  // namespace

TEST_F(DamagedChunks, TheFileStateNamesTheFirstChunkThatCannotBeLoaded) {
  const Bytes pool = BuildTurnPool(realm);
  char id[5] = "xxxx";
  EXPECT_EQ(FileChunksState(".\\Data\\POP3In\\GameChunk.qoe", id), CHUNK_ABSENT);
  Put(kIn, pool);
  EXPECT_EQ(FileChunksState(".\\Data\\POP3In\\GameChunk.qoe", id), CHUNK_GOOD);
  EXPECT_STREQ(id, "");
  for (const char* c : {"TOWN", "KORN", "MOVE", "ARMY", "GEBA"}) {
    Put(kIn, Cut(pool, c));
    EXPECT_EQ(FileChunksState(".\\Data\\POP3In\\GameChunk.qoe", id), CHUNK_DAMAGED) << c;
    EXPECT_STREQ(id, c);
    EXPECT_EQ(ChunkState(c, ".\\Data\\POP3In\\GameChunk.qoe"), CHUNK_DAMAGED) << c;
    EXPECT_EQ(ChunkState("LAND", ".\\Data\\POP3In\\GameChunk.qoe"), CHUNK_GOOD) << c;
    uint8_t* land = nullptr;
    EXPECT_EQ(LoadChunkState("LAND", ".\\Data\\POP3In\\GameChunk.qoe", &land), CHUNK_GOOD);
    ASSERT_NE(land, nullptr);
    FreeChunk(land);
    uint8_t* town = reinterpret_cast<uint8_t*>(1);
    EXPECT_EQ(LoadChunkState(c, ".\\Data\\POP3In\\GameChunk.qoe", &town), CHUNK_DAMAGED);
    EXPECT_EQ(town, nullptr);
  }
  // The map chunks load as bytes, but a turn's must hold what their counts
  // say, and IMAP its whole record.
  for (const char* c : {"PMAP", "BMAP", "IMAP"}) {
    Put(kIn, Cut(pool, c));
    EXPECT_EQ(FileChunksState(".\\Data\\POP3In\\GameChunk.qoe", id), CHUNK_DAMAGED) << c;
    EXPECT_STREQ(id, c);
  }
  // A type the mask names that the pool does not hold (ANFR, bit 21).
  Bytes named = pool;
  PutBE32(named.data() + INFO_CHUNK_MASK, GetBE32(named.data() + INFO_CHUNK_MASK) | ChunkBit(CHUNK_ANFR));
  Put(kIn, named);
  EXPECT_EQ(FileChunksState(".\\Data\\POP3In\\GameChunk.qoe", id), CHUNK_DAMAGED);
  EXPECT_STREQ(id, "ANFR");
  // A wrong checksum damages the whole pool; no chunk is named.
  Bytes sum = pool;
  sum.back() ^= 1;
  Put(kIn, sum);
  EXPECT_EQ(FileChunksState(".\\Data\\POP3In\\GameChunk.qoe", id), CHUNK_DAMAGED);
  EXPECT_STREQ(id, "");
  EXPECT_EQ(FileChunksState(".\\Data\\POP3In\\GameChunk.qoe", nullptr), CHUNK_DAMAGED);
  // A file of chunks without INFO: its chunks alone count.
  Install();
  const Bytes prefs = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  EXPECT_EQ(FileChunksState(".\\Data\\MapPrefs.qoe", id), CHUNK_GOOD);
  Put("Data/MapPrefs.qoe", Cut(prefs, "MOVE"));
  EXPECT_EQ(FileChunksState(".\\Data\\MapPrefs.qoe", id), CHUNK_DAMAGED);
  EXPECT_STREQ(id, "MOVE");
}

// Every pass of the received turn fails on its damaged chunk: nothing
// changes, where INIT used to keep last turn's orders as if the turn had no
// KORN and PMAP to skip a damaged BMAP or IMAP.
TEST_F(DamagedChunks, EachPassFailsOnItsDamagedChunkAndChangesNothing) {
  Install();
  const Bytes pool = qoe_test::ReadFileBytes(kIn);
  ASSERT_TRUE(fs::exists(kOut));  // the orders of the turn so far (its armies and ships)
  // MAIL holds no letter this turn: its 4-byte count is cut by one.
  const struct { ChunkIndex pass; const char* chunk; bool outgoing; uint32_t cut; } cases[] = {
      {CHUNK_INIT, "KORN", true, 5},  {CHUNK_PMAP, "BMAP", false, 5}, {CHUNK_PMAP, "IMAP", false, 5},
      {CHUNK_PMAP, "PMAP", false, 5}, {CHUNK_WARE, "WARE", false, 5}, {CHUNK_MOVE, "MOVE", false, 5},
      {CHUNK_ARMY, "ARMY", false, 5}, {CHUNK_SHIP, "SHIP", false, 5}, {CHUNK_LAND, "LAND", false, 5},
      {CHUNK_MAIL, "MAIL", false, 1}, {CHUNK_GEBA, "GEBA", false, 5}, {CHUNK_ANTW, "ANTW", false, 5},
      {CHUNK_VERT, "VERT", false, 5},
  };
  for (const auto& c : cases) {
    Put(kIn, Cut(pool, c.chunk, c.cut));
    const auto before = Tree();
    const OwnPlayer own = *OwnPlayerPtr;
    EXPECT_EQ(ChunkMachine(c.outgoing ? OutgoingPoolPath : ReceivedPoolPath, ChunkBit(c.pass), 1), 0) << c.chunk;
    EXPECT_EQ(Tree(), before) << c.chunk;
    EXPECT_EQ(std::memcmp(OwnPlayerPtr, &own, sizeof own), 0) << c.chunk;
  }
  // The whole turn passes them all.
  Put(kIn, pool);
  for (const auto& c : cases)
    EXPECT_EQ(ChunkMachine(c.outgoing ? OutgoingPoolPath : ReceivedPoolPath, ChunkBit(c.pass), 1), 1) << c.chunk;
}

TEST_F(DamagedChunks, ANamesListThatCannotBeReadIsNotReplaced) {
  Install();
  const Bytes list = qoe_test::ReadFileBytes("Data/SpielerList.qoe");
  ASSERT_FALSE(list.empty());
  Put("Data/SpielerList.qoe", Cut(list, "ANTW"));
  const auto before = Tree();
  EXPECT_EQ(ChunkMachine(ReceivedPoolPath, ChunkBit(CHUNK_ANTW), 1), 0);
  EXPECT_EQ(Tree(), before);
}

// Last turn's answers to contracts leave the orders with a new turn; orders
// that cannot be read are not taken for orders without answers.
TEST_F(DamagedChunks, ContractAnswersOfOrdersThatCannotBeReadStay) {
  Install();
  uint8_t* vert = AllocChunk("VERT", "V001", 4);
  ASSERT_NE(vert, nullptr);
  ASSERT_NE(AddChunkPool(vert, OutgoingPoolPath), 0);
  FreeChunk(vert);
  Bytes out = qoe_test::ReadFileBytes(kOut);
  out.back() ^= 1;  // the checksum fails
  Put(kOut, out);
  const auto before = Tree();
  EXPECT_EQ(ChunkMachine(ReceivedPoolPath, ChunkBit(CHUNK_VERT), 1), 0);
  EXPECT_EQ(Tree(), before);
  out.back() ^= 1;
  Put(kOut, out);
  EXPECT_EQ(ChunkMachine(ReceivedPoolPath, ChunkBit(CHUNK_VERT), 1), 1);
  EXPECT_EQ(ChunkState("VERT", OutgoingPoolPath), CHUNK_ABSENT);
}

TEST_F(DamagedChunks, TownChecksFailOnADamagedTownOrBuildingChunk) {
  Install();
  const Bytes pool = qoe_test::ReadFileBytes(kIn);
  // The turn's TOWN cut by 5 bytes: neither check takes it for "no towns".
  Put(kIn, Cut(pool, "TOWN"));
  auto before = Tree();
  const OwnPlayer own = *OwnPlayerPtr;
  EXPECT_EQ(CheckPlayerTown(), 0);
  EXPECT_EQ(CheckTownStatus(0), 0);
  EXPECT_EQ(Tree(), before);
  EXPECT_EQ(std::memcmp(OwnPlayerPtr, &own, sizeof own), 0);
  // The buildings of .\Data\Gebaeude.dat cut: no town's status changes.
  Put(kIn, pool);
  const Bytes geba = qoe_test::ReadFileBytes("Data/Gebaeude.dat");
  Put("Data/Gebaeude.dat", Cut(geba, "GEBA"));
  before = Tree();
  EXPECT_EQ(CheckTownStatus(0), 0);
  EXPECT_EQ(Tree(), before);
  uint32_t* lux = GetLuxusResources();  // damaged buildings are not "none"
  EXPECT_EQ(lux, nullptr);
  if (lux) FreeVec(lux);
  // Whole again: both pass.
  Put("Data/Gebaeude.dat", geba);
  EXPECT_EQ(CheckPlayerTown(), 1);
  EXPECT_EQ(CheckTownStatus(0), 1);
  lux = GetLuxusResources();
  ASSERT_NE(lux, nullptr);
  EXPECT_EQ(lux[3], 12u);  // the realm's twelve counted buildings
  FreeVec(lux);
}

// The repairs after an unclean end: figures that cannot be read are not "no
// figures", so no army and no ship is dropped for them; nor are they when an
// installed game has no figure file (none, or a folder in its place: the
// game's set-up made one, so its absence is damage).
TEST_F(DamagedChunks, RepairsFailOnDamagedOrMissingFiguresAndKeepEveryArmyAndShip) {
  Install();
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_INSTALLED);
  ASSERT_EQ(ChunkState("ARMY", OutgoingPoolPath), CHUNK_GOOD);
  ASSERT_EQ(ChunkState("SHIP", OutgoingPoolPath), CHUNK_GOOD);
  const Bytes prefs = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    if (c.fault == qoe_test::FigureFault::kCut) Put("Data/MapPrefs.qoe", Cut(prefs, "MOVE"));
    else qoe_test::LayFigureFile(c, prefs);
    const auto before = Tree();
    EXPECT_EQ(ChunkMachine(OutgoingPoolPath, ChunkBit(CHUNK_ARMY), 0), 0);
    EXPECT_EQ(ChunkMachine(OutgoingPoolPath, ChunkBit(CHUNK_SHIP), 0), 0);
    EXPECT_EQ(Tree(), before);
  }
  // The whole figures: every army and ship has its figure and stays.
  fs::remove_all("Data/MapPrefs.qoe");
  Put("Data/MapPrefs.qoe", prefs);
  const Bytes out = qoe_test::ReadFileBytes(kOut);
  EXPECT_EQ(ChunkMachine(OutgoingPoolPath, ChunkBit(CHUNK_ARMY), 0), 1);
  EXPECT_EQ(ChunkMachine(OutgoingPoolPath, ChunkBit(CHUNK_SHIP), 0), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes(kOut), out);
}

// A sign-up answer with a damaged chunk sets nothing up: a TOWN cut by 5
// bytes used to give a game without towns, a damaged KORN one whose turn
// count was 0, a chunk the mask names but the pool lacks went unnoticed.
TEST_F(DamagedChunks, GameInitRefusesAnAnswerWithADamagedChunk) {
  const Bytes answer = BuildSignupAnswer(realm);
  Bytes named = answer;
  PutBE32(named.data() + INFO_CHUNK_MASK, GetBE32(named.data() + INFO_CHUNK_MASK) | ChunkBit(CHUNK_ANFR));
  std::vector<std::pair<std::string, Bytes>> answers;
  for (const char* c : {"TOWN", "KORN", "ARMY", "MOVE", "TAXE", "SPEZ"}) answers.emplace_back(c, Cut(answer, c));
  answers.emplace_back("mask", named);
  for (const auto& [what, image] : answers) {
    Put(kIn, image);
    const auto before = Tree();
    const OwnPlayer own = *OwnPlayerPtr;
    EXPECT_EQ(GameInit(ReceivedPoolPath), 0) << what;
    EXPECT_EQ(Tree(), before) << what;
    EXPECT_EQ(std::memcmp(OwnPlayerPtr, &own, sizeof own), 0) << what;
  }
  Put(kIn, answer);
  EXPECT_EQ(GameInit(ReceivedPoolPath), 1);
  EXPECT_EQ(CheckPrefs(PREFS_TURN_COUNT, 0, 0), 1u);
  TownListEntry* towns = nullptr;
  EXPECT_EQ(ReadTownList(&towns), 3u);
  if (towns) FreeVec(towns);
}

// A name request added to an outgoing pool whose requests cannot be read
// does not replace them with itself alone.
TEST_F(DamagedChunks, ANameRequestKeepsRequestsThatCannotBeRead) {
  Install();
  uint8_t* anfr = AllocChunk("ANFR", "V001", 4 + 2 * 4);
  ASSERT_NE(anfr, nullptr);
  ChunkPut32(anfr, 12, 2);
  ChunkPut32(anfr, 16, 7001);
  ChunkPut32(anfr, 20, 7002);
  ASSERT_NE(AddChunkPool(anfr, OutgoingPoolPath), 0);
  FreeChunk(anfr);
  Put(kOut, Cut(qoe_test::ReadFileBytes(kOut), "ANFR"));
  const Bytes damaged = qoe_test::ReadFileBytes(kOut);
  char name[80];
  GetPlayerName(7003, name, 1);
  EXPECT_EQ(qoe_test::ReadFileBytes(kOut), damaged);
}
