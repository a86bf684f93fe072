// The specialists over an installed realm (the demo realm with five
// specialists: one hired into the capital Elmor, one into Seewacht, three
// free; the own cleric in the field, another lord's cleric on Elmor's
// field): hiring the third free one, dismissing in and out of the town, a
// town at Y 0, OK writing the outgoing SPEZ and the cleric figures (the
// pool and MapPrefs compared byte for byte with images built here), EXIT
// writing nothing, an empty list removing SPEZ, a failing write leaving both
// files as they were; a hired specialist keeping his cleric wherever it
// stands and an OK with nothing changed on the demo realm leaving SPEZ and
// the figure file byte for byte; the screen driven by script with PNGs.
#include "screens/military/spezialisten.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/orders.h"
#include "screens/military/tests/demo_realm.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kOwn = 1001, kElmorX = 6398, kElmorY = 3199;
constexpr uint32_t kSpezRecord = 194;

const char kSpecialists[] = R"(
specialist name="Bruder Anselm" figure=42 x=6398 y=3199 state=5 type=0 detail1=3 detail2=1 attributes=4,2,5,1,3,2 wage=300 owner=1001
specialist name="Schwester Hilde" figure=0 x=0 y=0 state=0 type=0 detail1=2 detail2=4 attributes=3,3,3,3,3,3 wage=200 owner=0
specialist name="Vater Wendel" figure=77 x=6386 y=3192 state=5 type=0 detail1=5 detail2=2 attributes=6,1,2,2,4,5 wage=420 owner=1001
specialist name="Meister Odo" figure=0 x=0 y=0 state=1 type=1 detail1=1 detail2=1 attributes=1,5,1,5,1,5 wage=150 owner=0
specialist name="Bruder Kaspar" figure=0 x=0 y=0 state=0 type=0 detail1=4 detail2=3 attributes=2,4,6,3,2,1 wage=250 owner=0
figure type=12 number=77 x=6386 y=3192 points=6
figure type=12 number=5 x=6398 y=3199 owner=2002 points=6
)";

std::string Joined(const qoe_test::LogLines& log) {
  std::string all;
  for (const std::string& l : log.lines) all += l;
  return all;
}

// Installs the demo realm with the specialists given instead of its own.
void InstallRealm(const std::string& extra) {
  qoe_test::InstallDemoRealmWith("specialist", extra);
  if (testing::Test::HasFatalFailure()) return;
  // An outgoing pool exists already (the lord gave other orders this turn).
  LoadedChunk land("LAND", ReceivedPoolPath);
  ASSERT_NE(land.p, nullptr);
  ASSERT_NE(AddChunkPool(land.p, OutgoingPoolPath), 0);
}

ListHeader* LoadList() {
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(LIST_SPECIALISTS);
  uint8_t* spez = nullptr;
  EXPECT_GT(LoadTurnChunk("SPEZ", &spez), 0);
  if (spez) {
    EXPECT_NE(ScanSpezialisten2List(list, spez), 0);
    FreeChunk(spez);
  }
  return list;
}

std::vector<uint8_t> ChunkBytes(const char* id, const char* path) {
  LoadedChunk c(id, path);
  return c.p ? std::vector<uint8_t>(c.p, c.p + 12 + c.len()) : std::vector<uint8_t>{};
}

// The MOVE records of a MapPrefs file (big-endian after the 28-byte MREF
// and the 12-byte MOVE header).
struct Fig {
  uint32_t owner;
  uint16_t type, number;
  uint32_t x, y;
  uint8_t state, points;
  bool operator==(const Fig& o) const {
    return owner == o.owner && type == o.type && number == o.number && x == o.x && y == o.y && state == o.state &&
           points == o.points;
  }
};
std::vector<Fig> Figures(const std::vector<uint8_t>& file) {
  std::vector<Fig> out;
  if (file.size() < 42) return out;
  const uint32_t n = GetBE16(file.data() + 40);
  for (uint32_t i = 0; i < n && 42 + 18 * (i + 1) <= file.size(); ++i) {
    const uint8_t* r = file.data() + 42 + 18 * i;
    out.push_back({GetBE32(r), GetBE16(r + 4), GetBE16(r + 6), GetBE32(r + 8), GetBE32(r + 12), r[16], r[17]});
  }
  return out;
}
// The MapPrefs image of MREF and header kept from `old` and these figures.
std::vector<uint8_t> PrefsImage(const std::vector<uint8_t>& old, const std::vector<Fig>& figs) {
  std::vector<uint8_t> out(old.begin(), old.begin() + 40);
  PutBE32(out.data() + 36, 2 + 18 * (uint32_t)figs.size());
  out.resize(42);
  PutBE16(out.data() + 40, (uint16_t)figs.size());
  for (const Fig& f : figs) {
    uint8_t r[18];
    PutBE32(r, f.owner);
    PutBE16(r + 4, f.type);
    PutBE16(r + 6, f.number);
    PutBE32(r + 8, f.x);
    PutBE32(r + 12, f.y);
    r[16] = f.state;
    r[17] = f.points;
    out.insert(out.end(), r, r + 18);
  }
  return out;
}

class Specialists : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    InstallRealm(kSpecialists);
  }
  void TearDown() override { FileFailWritesAfter(-1); }
};

TEST_F(Specialists, HiringTheThirdFreeOneMovesExactlyHim) {
  ListHeader* list = LoadList();
  ASSERT_EQ(list->count, 5u);
  EXPECT_EQ(SpezialistenInBox(list, 0), 3u);
  EXPECT_EQ(SpezialistenInBox(list, 1), 2u);
  EXPECT_STREQ(SpezialistOfBox(list, 0, 2)->name, "Bruder Kaspar");
  EXPECT_EQ(SpezialistOfBox(list, 0, 3), nullptr);
  EXPECT_EQ(MoveSpezialistInList(list, 1, 2, kElmorX, kElmorY, kOwn), SPEZ_MOVE_DONE);
  const SpezialistEintrag* k = SpezialistOfBox(list, 1, 2);
  ASSERT_NE(k, nullptr);
  EXPECT_STREQ(k->name, "Bruder Kaspar");
  EXPECT_EQ(k->state, 5u);
  EXPECT_EQ(k->x, kElmorX);
  EXPECT_EQ(k->y, kElmorY);
  EXPECT_EQ(k->owner, kOwn);
  EXPECT_EQ(SpezialistenInBox(list, 0), 2u);
  EXPECT_STREQ(SpezialistOfBox(list, 0, 0)->name, "Schwester Hilde");
  EXPECT_STREQ(SpezialistOfBox(list, 0, 1)->name, "Meister Odo");
  EXPECT_EQ(SpezialistOfBox(list, 0, 1)->state, 1u);
  EXPECT_EQ(MoveSpezialistInList(list, 1, 2, kElmorX, kElmorY, kOwn), SPEZ_MOVE_NONE);  // no third free one
  EXPECT_EQ(MoveSpezialistInList(list, 1, -1, kElmorX, kElmorY, kOwn), SPEZ_MOVE_NONE);
  DeleteList(list, 0);
}

TEST_F(Specialists, DismissingInAndOutOfTheTown) {
  ListHeader* list = LoadList();
  // Wendel serves Seewacht: the message, nothing changes.
  EXPECT_EQ(MoveSpezialistInList(list, 0, 1, kElmorX, kElmorY, kOwn), SPEZ_MOVE_ELSEWHERE);
  EXPECT_EQ(SpezialistOfBox(list, 1, 1)->state, 5u);
  // A town in the same column but another row is not his town either.
  EXPECT_EQ(MoveSpezialistInList(list, 0, 0, kElmorX, kElmorY + 1, kOwn), SPEZ_MOVE_ELSEWHERE);
  // Anselm serves Elmor: dismissed, state 4, the town's position kept.
  EXPECT_EQ(MoveSpezialistInList(list, 0, 0, kElmorX, kElmorY, kOwn), SPEZ_MOVE_DONE);
  ListNode* n = list->first;
  const auto* anselm = reinterpret_cast<SpezialistEintrag*>(n);
  EXPECT_EQ(anselm->state, 4u);
  EXPECT_EQ(anselm->x, kElmorX);
  EXPECT_EQ(anselm->y, kElmorY);
  EXPECT_EQ(SpezialistenInBox(list, 0), 4u);  // free again
  // A town on row 0 can dismiss too.
  SpezialistEintrag* hilde = SpezialistOfBox(list, 0, 1);
  ASSERT_NE(hilde, nullptr);
  EXPECT_EQ(MoveSpezialistInList(list, 1, 1, 40, 0, kOwn), SPEZ_MOVE_DONE);
  EXPECT_EQ(SpezialistOfBox(list, 1, 0), hilde);  // before Wendel in list order
  EXPECT_EQ(MoveSpezialistInList(list, 0, 0, 40, 0, kOwn), SPEZ_MOVE_DONE);
  EXPECT_EQ(hilde->state, 4u);
  DeleteList(list, 0);
}

TEST_F(Specialists, OkWritesSpezAndTheTownsClericsTogether) {
  const std::vector<uint8_t> prefs_before = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  std::vector<uint8_t> spez = ChunkBytes("SPEZ", ReceivedPoolPath);
  ASSERT_EQ(spez.size(), 16u + 5 * kSpezRecord);
  // The expected pool: the outgoing one as it was, with the SPEZ of Kaspar
  // hired into Elmor and numbered 3 (the first free figure number); Anselm
  // keeps his figure 42 in the field. Made with AddChunkPool in a folder of
  // its own.
  uint8_t* k = spez.data() + 16 + 4 * kSpezRecord;
  ChunkPut32(k, 84, kElmorX);
  ChunkPut32(k, 88, kElmorY);
  ChunkPut16(k, 92, 5);
  ChunkPut32(k, 110, kOwn);
  ChunkPut32(k, 80, 3);
  fs::create_directories("expect");
  fs::copy_file("Data/POP3Out/GameChunk.qoe", "expect/GameChunk.qoe");
  ASSERT_NE(AddChunkPool(spez.data(), "expect/GameChunk.qoe"), 0);
  // The expected figures: Kaspar's new cleric on Elmor's field; another
  // lord's cleric there and Anselm's in the field left.
  std::vector<Fig> figs = Figures(prefs_before);
  ASSERT_FALSE(figs.empty());
  EXPECT_NE(std::find(figs.begin(), figs.end(), Fig{2002, 12, 5, kElmorX, kElmorY, 0, 6}), figs.end());
  figs.push_back({kOwn, 12, 3, kElmorX, kElmorY, 0, 0});

  ListHeader* list = LoadList();
  ASSERT_EQ(MoveSpezialistInList(list, 1, 2, kElmorX, kElmorY, kOwn), SPEZ_MOVE_DONE);
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), qoe_test::ReadFileBytes("expect/GameChunk.qoe"));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), PrefsImage(prefs_before, figs));
  // A second OK keeps them: the same numbers, no second set of clerics.
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), PrefsImage(prefs_before, figs));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), qoe_test::ReadFileBytes("expect/GameChunk.qoe"));
  DeleteList(list, 0);
}

TEST_F(Specialists, AnEmptyListRemovesTheOutgoingSpez) {
  ListHeader* list = LoadList();
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_NE(IsChunkInFile(ChunkBit(CHUNK_SPEZ), OutgoingPoolPath), 0);
  DeleteList(list, 0);
  RegisterGameDataListTypes();
  ListHeader* empty = CreateList(LIST_SPECIALISTS);
  ASSERT_EQ(SpezialistenWriteFiles(empty, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_SPEZ), OutgoingPoolPath), 0);
  EXPECT_TRUE(ChunkBytes("SPEZ", OutgoingPoolPath).empty());
  EXPECT_FALSE(ChunkBytes("LAND", OutgoingPoolPath).empty());
  // Without the own clerics of Elmor; another lord's stays.
  bool other = false;
  for (const Fig& f : Figures(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"))) {
    EXPECT_FALSE(f.owner == kOwn && f.type == 12 && f.x == kElmorX && f.y == kElmorY);
    other = other || (f.owner == 2002 && f.type == 12 && f.x == kElmorX && f.y == kElmorY);
  }
  EXPECT_TRUE(other);
  DeleteList(empty, 0);
}

TEST_F(Specialists, AFailedWriteLeavesBothFilesAsTheyWere) {
  const std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  const std::vector<uint8_t> prefs = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  int64_t limit = 0;
  for (; limit < 200000; limit += 97) {
    ListHeader* list = LoadList();
    ASSERT_EQ(MoveSpezialistInList(list, 1, 0, kElmorX, kElmorY, kOwn), SPEZ_MOVE_DONE);
    FileFailWritesAfter(limit);
    const int32_t ok = SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn);
    FileFailWritesAfter(-1);
    if (ok) {
      DeleteList(list, 0);
      break;
    }
    // Nothing half written, and the specialists keep their figure numbers.
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool) << limit;
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), prefs) << limit;
    EXPECT_EQ(reinterpret_cast<SpezialistEintrag*>(list->first)->figure, 42u) << limit;
    DeleteList(list, 0);
  }
  EXPECT_GT(limit, 0);
  EXPECT_NE(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool);
  EXPECT_NE(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), prefs);
}

// A figure file that cannot be used (six bytes of it, or none, or a folder
// in its place) makes the write fail whole: nothing is written.
TEST_F(Specialists, AFigureFileThatCannotBeUsedWritesNothing) {
  const std::vector<uint8_t> good = qoe_test::ReadFileBytes(qoe_test::kFigureFile);
  const std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> laid = qoe_test::LayFigureFile(c, good, 6);
    ListHeader* list = LoadList();
    qoe_test::LogLines log;
    EXPECT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 0);
    EXPECT_TRUE(log.Has("Konnte Figuren nicht entfernen"));
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool);
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, laid));
    DeleteList(list, 0);
  }
}

// ---- Keeping the figures --------------------------------------------------------

// The figure file changed through its list: the own figure `number` moved
// to (x, y), or removed when x is 0; a new figure added when not found.
void SetFigure(uint32_t owner, uint16_t type, uint16_t number, uint32_t x, uint32_t y) {
  LoadedChunk move("MOVE", MapPrefsPath);
  ASSERT_NE(move.p, nullptr);
  ListHeader* list = CreateList(LIST_FIGURES);
  ASSERT_TRUE(ScanFigur2List(list, move.p));
  bool found = false;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count && n; ++i, n = n->next) {
    FigurRecord& f = reinterpret_cast<MOVE_EXT*>(n)->figure;
    if (f.owner != owner || f.number != number) continue;
    found = true;
    if (x == 0) {
      RemoveNode(list, LN_INDEX, i, 0);
      break;
    }
    f.type = type;
    f.x = x;
    f.y = y;
  }
  if (!found && x != 0) {
    auto* m = reinterpret_cast<MOVE_EXT*>(AllocListNode(list));
    ASSERT_NE(m, nullptr);
    m->figure = FigurRecord{owner, type, number, x, y, 0, 6};
    AddNode(list, &m->head, LN_TAIL, 0);
  }
  ASSERT_EQ(SaveFigurList2MapPrefs(list), 1);
  DeleteList(list, 0);
}

// The figures of the file that are own clerics.
std::vector<Fig> OwnClerics() {
  std::vector<Fig> out;
  for (const Fig& f : Figures(qoe_test::ReadFileBytes("Data/MapPrefs.qoe")))
    if (f.owner == kOwn && f.type == 12) out.push_back(f);
  return out;
}

SpezialistEintrag* Named(ListHeader* list, const char* name) {
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count && n; ++i, n = n->next) {
    auto* s = reinterpret_cast<SpezialistEintrag*>(n);
    if (std::strcmp(s->name, name) == 0) return s;
  }
  return nullptr;
}

// The demo realm as the start command installs it: Bruder Anselm, hired
// into Elmor, has walked his cleric figure 42 off the town's hex.
class DemoSpecialists : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    qoe_test::InstallDemoRealmWith("-", "");
  }
  void TearDown() override { FileFailWritesAfter(-1); }
};

TEST_F(DemoSpecialists, AnOkWithNothingChangedLeavesSpezAndTheFiguresByteForByte) {
  const std::vector<uint8_t> prefs = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  const std::vector<uint8_t> spez = ChunkBytes("SPEZ", ReceivedPoolPath);
  ASSERT_FALSE(spez.empty());
  ASSERT_EQ(OwnClerics(), (std::vector<Fig>{{kOwn, 12, 42, 6400, 3201, 0, 6}}));
  ListHeader* list = LoadList();
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(Named(list, "Bruder Anselm")->figure, 42u);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), prefs);
  EXPECT_EQ(ChunkBytes("SPEZ", OutgoingPoolPath), spez);
  // Every further OK leaves the files as they are.
  const std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  for (int i = 0; i < 3; ++i) ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), prefs);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool);
  DeleteList(list, 0);
  // Read again from the outgoing turn, the same.
  list = LoadList();
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), prefs);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool);
  DeleteList(list, 0);
}

TEST_F(DemoSpecialists, AHiredSpecialistKeepsHisFigureOnTheTownsHexToo) {
  SetFigure(kOwn, 12, 42, kElmorX, kElmorY);
  const std::vector<uint8_t> prefs = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  ListHeader* list = LoadList();
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(Named(list, "Bruder Anselm")->figure, 42u);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), prefs);
  DeleteList(list, 0);
}

// Anselm's figure 42 is no longer his (arranged by the test): OK gives him a
// new cleric on Elmor's hex, and the next OK keeps that one.
void ExpectANewFigureOnElmor() {
  const std::vector<Fig> before = Figures(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"));
  ListHeader* list = LoadList();
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  const uint32_t number = Named(list, "Bruder Anselm")->figure;
  EXPECT_NE(number, 42u);
  std::vector<Fig> expected = before;
  expected.push_back({kOwn, 12, (uint16_t)number, kElmorX, kElmorY, 0, 0});
  EXPECT_EQ(Figures(qoe_test::ReadFileBytes("Data/MapPrefs.qoe")), expected);
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(Figures(qoe_test::ReadFileBytes("Data/MapPrefs.qoe")), expected);
  EXPECT_EQ(Named(list, "Bruder Anselm")->figure, number);
  DeleteList(list, 0);
}

TEST_F(DemoSpecialists, AHiredSpecialistWhoseFigureIsGoneGetsANewOneOnTheTownsHex) {
  SetFigure(kOwn, 12, 42, 0, 0);
  ExpectANewFigureOnElmor();
}

TEST_F(DemoSpecialists, AHiredSpecialistWhoseNumberIsAnotherLordsClericGetsANewOne) {
  SetFigure(kOwn, 12, 42, 0, 0);
  SetFigure(2002, 12, 42, 6390, 3190);
  ExpectANewFigureOnElmor();
}

TEST_F(DemoSpecialists, AHiredSpecialistWhoseNumberIsAnOwnFigureOfAnotherKindGetsANewOne) {
  SetFigure(kOwn, 10, 42, 6400, 3201);
  ExpectANewFigureOnElmor();
}

TEST_F(DemoSpecialists, HiringAndDismissingWithTheFigureOnAndOffTheTownsHex) {
  ListHeader* list = LoadList();
  // Hilde hired into Elmor: a new cleric there, Anselm's in the field kept.
  ASSERT_EQ(MoveSpezialistInList(list, 1, 0, kElmorX, kElmorY, kOwn), SPEZ_MOVE_DONE);
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  const uint32_t hilde = Named(list, "Schwester Hilde")->figure;
  EXPECT_NE(hilde, 0u);
  EXPECT_NE(hilde, 42u);
  EXPECT_EQ(OwnClerics(), (std::vector<Fig>{{kOwn, 12, 42, 6400, 3201, 0, 6},
                                            {kOwn, 12, (uint16_t)hilde, kElmorX, kElmorY, 0, 0}}));
  // Anselm dismissed (his record is Elmor's), his figure off the hex: it
  // stays where it stands. Hilde keeps hers.
  ASSERT_EQ(MoveSpezialistInList(list, 0, 0, kElmorX, kElmorY, kOwn), SPEZ_MOVE_DONE);
  ASSERT_EQ(Named(list, "Bruder Anselm")->state, kSpezDismissed);
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(OwnClerics(), (std::vector<Fig>{{kOwn, 12, 42, 6400, 3201, 0, 6},
                                            {kOwn, 12, (uint16_t)hilde, kElmorX, kElmorY, 0, 0}}));
  // Hilde dismissed with her figure on the town's hex: it goes.
  ASSERT_EQ(MoveSpezialistInList(list, 0, 0, kElmorX, kElmorY, kOwn), SPEZ_MOVE_DONE);
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(OwnClerics(), (std::vector<Fig>{{kOwn, 12, 42, 6400, 3201, 0, 6}}));
  DeleteList(list, 0);
}

TEST_F(DemoSpecialists, ADismissedSpecialistsFigureOnTheTownsHexGoes) {
  SetFigure(kOwn, 12, 42, kElmorX, kElmorY);
  ListHeader* list = LoadList();
  ASSERT_EQ(MoveSpezialistInList(list, 0, 0, kElmorX, kElmorY, kOwn), SPEZ_MOVE_DONE);
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_TRUE(OwnClerics().empty());
  DeleteList(list, 0);
}

TEST(SpecialistsFigures, TwoSpecialistsNamingOneFigureLeaveItToTheFirst) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
  qoe_test::InstallDemoRealmWith("specialist", R"(
specialist name="Bruder Anselm" figure=42 x=6398 y=3199 state=5 type=0 detail1=3 detail2=1 attributes=4,2,5,1,3,2 wage=300 owner=1001
specialist name="Bruder Kaspar" figure=42 x=6398 y=3199 state=5 type=0 detail1=4 detail2=3 attributes=2,4,6,3,2,1 wage=250 owner=1001
)");
  ListHeader* list = LoadList();
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(Named(list, "Bruder Anselm")->figure, 42u);
  const uint32_t kaspar = Named(list, "Bruder Kaspar")->figure;
  EXPECT_NE(kaspar, 42u);
  EXPECT_EQ(OwnClerics(), (std::vector<Fig>{{kOwn, 12, 42, 6400, 3201, 0, 6},
                                            {kOwn, 12, (uint16_t)kaspar, kElmorX, kElmorY, 0, 0}}));
  DeleteList(list, 0);
}

// A specialist hired into another town whose figure walked onto Elmor's hex
// keeps it when Elmor's specialists are confirmed.
TEST_F(Specialists, AnotherTownsSpecialistKeepsHisFigureOnThisTownsHex) {
  SetFigure(kOwn, 12, 77, kElmorX, kElmorY);  // Wendel serves Seewacht
  ListHeader* list = LoadList();
  ASSERT_EQ(SpezialistenWriteFiles(list, kElmorX, kElmorY, kOwn), 1);
  EXPECT_EQ(Named(list, "Vater Wendel")->figure, 77u);
  const std::vector<Fig> clerics = OwnClerics();
  EXPECT_NE(std::find(clerics.begin(), clerics.end(), Fig{kOwn, 12, 77, kElmorX, kElmorY, 0, 6}), clerics.end());
  DeleteList(list, 0);
}

// ---- The screen ----------------------------------------------------------------

class SpecialistsScreen : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Spezialisten.dat");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    qoe_test::CopyDataKit();
    ScreenTest::SetUp();
  }
  // Line i of a box (0 free, 1 hired): lines of XHelvetica9 are 10 high.
  std::string Line(int box, int i) const { return Click(box ? 400 : 60, 86 + 10 * i) + "wait 200\n"; }
  std::string Hire() const { return Click(320, 123) + "wait 200\n"; }
  std::string Dismiss() const { return Click(320, 183) + "wait 200\n"; }
  std::string Ok() const { return Click(440, 445); }
  std::string Exit() const { return Click(560, 445); }
  int32_t Run(const std::string& script) {
    return RunScreen(SpezialistenScreen, 2, "timer 0 100\nwait 1500\n" + script + "wait 500\n");
  }
};

TEST_P(SpecialistsScreen, HireTheThirdAndConfirm) {
  InstallRealm(kSpecialists);
  const std::string shown = Png("spez_details"), hired = Png("spez_hired");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Line(0, 2) + "png " + shown + "\n" + Hire() + Line(1, 2) + "png " + hired + "\n" + Ok()), 2);
  EXPECT_TRUE(log.Has("MoveSpezialist: angeworben 2 -> 1")) << Joined(log);
  ListHeader* list = LoadList();
  const SpezialistEintrag* k = SpezialistOfBox(list, 1, 2);
  ASSERT_NE(k, nullptr);
  EXPECT_STREQ(k->name, "Bruder Kaspar");
  EXPECT_EQ(k->x, kElmorX);
  DeleteList(list, 0);
  KeepPicture(shown);
  KeepPicture(hired);
}

TEST_P(SpecialistsScreen, DismissElsewhereTellsAndExitWritesNothing) {
  InstallRealm(kSpecialists);
  const std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  const std::vector<uint8_t> prefs = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  const std::string png = Png("spez_elsewhere");
  qoe_test::LogLines log;
  qoe_test::DrawnTextRecorder drawn;
  EXPECT_EQ(Run(Line(1, 1) + Dismiss() + "png " + png + "\nkey enter\nwait 300\n" + Line(1, 0) + Dismiss() +
                Line(0, 0) + Hire() + Exit()),
            2);
  EXPECT_TRUE(log.Has("MoveSpezialist: entlassen 1 -> 2"));
  EXPECT_TRUE(log.Has("MoveSpezialist: entlassen 0 -> 1"));
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), prefs);
  KeepPicture(png);
  // The notice, like every text drawn, is the catalog's; names are the data's.
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1846)));
  EXPECT_EQ(drawn.PastCatalog(qoe_test::QuotedTexts(kSpecialists)), "");
}

TEST_P(SpecialistsScreen, NobodyShowsNobodyAndIgnoresTheBoxes) {
  InstallRealm("");
  const std::string png = Png("spez_nobody");
  qoe_test::LogLines log;
  qoe_test::DrawnTextRecorder drawn;
  EXPECT_EQ(Run(Line(0, 0) + Line(1, 0) + Hire() + Dismiss() + "png " + png + "\n" + Ok()), 2);
  EXPECT_TRUE(log.Has("Anzahl Spezialisten 0"));
  EXPECT_FALSE(log.Has("MoveSpezialist:"));
  EXPECT_TRUE(ChunkBytes("SPEZ", OutgoingPoolPath).empty());
  KeepPicture(png);
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1845)));
  EXPECT_EQ(drawn.PastCatalog(), "");
}

// A figure file that cannot be used (cut short, a count past its end with
// every record whole, missing, a folder in its place) is told as the screen
// opens, naming the file and what is wrong with it; hiring and dismissing
// are refused with a word, and OK writes nothing: the pool stays byte for
// byte and nothing is written in the figure file's place.
TEST_P(SpecialistsScreen, AFigureFileThatCannotBeUsedIsToldAndRefusesHiringAndDismissing) {
  // The realm is installed once (the turn builder keeps a realm it finds).
  InstallRealm(kSpecialists);
  const std::vector<uint8_t> good = qoe_test::ReadFileBytes(qoe_test::kFigureFile);
  ASSERT_GT(good.size(), 60u);
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> prefs = qoe_test::LayFigureFile(c, good, good.size() - 10);
    const std::vector<uint8_t> pool = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
    const std::string told = Png(std::string("spez_figures_") + (qoe_test::FigureFileGone(c) ? "missing" : "damaged")),
                      refused = Png("spez_hire_refused");
    qoe_test::LogLines log;
    qoe_test::DrawnTextRecorder drawn;
    EXPECT_EQ(Run("png " + told + "\nkey enter\nwait 300\n" + Line(0, 2) + Hire() + "png " + refused +
                  "\nkey enter\nwait 300\n" + Line(1, 0) + Dismiss() + "key enter\nwait 300\n" + Ok()),
              2);
    EXPECT_TRUE(log.Has(qoe_test::FigureFileToldLine(c))) << Joined(log);
    EXPECT_TRUE(drawn.Drew(qoe_test::FigureFileSentence(c) + " " + GetCatalogStr(1794)));
    EXPECT_EQ(log.Count("SpezialistenScreen: Meldung 1795"), 2u);
    EXPECT_FALSE(log.Has("MoveSpezialist:"));
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool);
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, prefs));
    EXPECT_TRUE(drawn.Drew(GetCatalogStr(1795)));
    if (c.fault == qoe_test::FigureFault::kCut || c.fault == qoe_test::FigureFault::kMissing) KeepPicture(told);
    if (c.fault == qoe_test::FigureFault::kCut) KeepPicture(refused);
  }
}

// OK whose files cannot be written tells the player so (and leaves).
TEST_P(SpecialistsScreen, AFailedOkSaysTheDataWasNotSaved) {
  InstallRealm(kSpecialists);
  const std::string png = Png("spez_not_saved");
  qoe_test::LogLines log;
  FileFailWritesAfter(0);
  const int32_t next = Run(Line(0, 0) + Hire() + Ok() + "wait 300\npng " + png + "\nkey enter\nwait 300\n");
  FileFailWritesAfter(-1);
  EXPECT_EQ(next, 2);
  unsigned id = 0;
  for (const std::string& l : log.lines)
    if (std::sscanf(l.c_str(), "SpezialistenScreen: Meldung %u", &id) == 1) break;
  ASSERT_NE(id, 0u) << Joined(log);
  EXPECT_STREQ(GetCatalogStr(id), "The data could not be saved.");
  KeepPicture(png);
}

// The demo realm: OK with nothing changed leaves SPEZ and the figure file
// byte for byte (Anselm's figure 42 stands off Elmor's hex).
TEST_P(SpecialistsScreen, AnUnchangedOkOnTheDemoRealmChangesNoFigure) {
  qoe_test::InstallDemoRealmWith("-", "");
  const std::vector<uint8_t> prefs = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  EXPECT_EQ(Run(Ok()), 2);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe"), prefs);
  EXPECT_EQ(ChunkBytes("SPEZ", OutgoingPoolPath), ChunkBytes("SPEZ", ReceivedPoolPath));
}

INSTANTIATE_TEST_SUITE_P(Modes, SpecialistsScreen, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
