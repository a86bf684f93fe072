#include "routinen/system/prefs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "platform/log.h"
#include "tests/support/kill_loop.h"
#include "tests/support/test_support.h"

namespace {

const char kPrefsDisk[] = "Data/Prefs.qoe";
const char kBTDisk[] = "Data/BTPrefs.qoe";

void MakeData() { std::filesystem::create_directory("Data"); }

std::vector<std::string>* g_lines;
void Capture(const char* line, void*) { g_lines->push_back(line); }

// True when the file layer's write-failure hook makes writes fail.
bool WriteHookWorks() {
  FileFailWritesAfter(0);
  FileHandle f = Open(".\\hookprobe", MODE_NEWFILE);
  uint8_t b = 1;
  bool failed = !f || Write(f, &b, 1) != 1;
  if (f) Close(f);
  FileFailWritesAfter(-1);
  return failed;
}

bool IsText(uint32_t field) { return PrefsLayout()[field].size > 4; }

constexpr uint32_t U32() { return 0xFFFFFFFFu; }

// Bytes of a seed (the same on every run).
std::vector<uint8_t> RandomBytes(uint32_t seed, size_t n) {
  std::vector<uint8_t> b(n);
  for (uint8_t& x : b) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return b;
}

}  // namespace

TEST(Prefs, LayoutHoldsTheKnownOffsetsWithoutOverlaps) {
  const PrefsFieldInfo* t = PrefsLayout();
  const struct { uint32_t field, offset, size; } known[] = {
      {0, 12, 2}, {14, 200, 1}, {21, 216, 4}, {22, 220, 4}, {23, 224, 4}, {25, 229, 1},
      {27, 232, 1}, {32, 240, 1}, {34, 242, 1}, {36, 244, 1}};
  for (auto k : known) {
    EXPECT_EQ(t[k.field].offset, k.offset) << k.field;
    EXPECT_EQ(t[k.field].size, k.size) << k.field;
  }
  std::vector<int> owner(PREFS_FILE_SIZE, -1);
  for (uint32_t f = 0; f < PREFS_FIELD_COUNT; ++f) {
    ASSERT_TRUE(t[f].size == 1 || t[f].size == 2 || t[f].size == 4 || t[f].size == 40) << f;
    ASSERT_GE(t[f].offset, 12);
    ASSERT_LE(t[f].offset + t[f].size, PREFS_FILE_SIZE) << f;
    for (uint32_t b = t[f].offset; b < t[f].offset + t[f].size; ++b) {
      EXPECT_EQ(owner[b], -1) << "field " << f << " overlaps field " << owner[b];
      owner[b] = (int)f;
    }
  }
  for (uint32_t f : {6u, 7u, 8u, 10u}) EXPECT_EQ(t[f].size, 40) << f;
  const PrefsFieldInfo* bt = BTPrefsLayout();
  EXPECT_EQ(bt[0].offset, 12);
  EXPECT_EQ(bt[0].size, 4);
  EXPECT_EQ(bt[1].offset, 16);
  EXPECT_EQ(bt[12].offset, 27);
  EXPECT_EQ(bt[13].offset, 29);
  EXPECT_EQ(bt[45].offset, 61);
  EXPECT_EQ(bt[46].offset, 62);
  EXPECT_EQ(bt[46].size, 80);
}

TEST(Prefs, MissingFileIsCreatedWithDefaults) {
  MakeData();
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  auto img = qoe_test::ReadFileBytes(kPrefsDisk);
  ASSERT_EQ(img.size(), PREFS_FILE_SIZE);
  EXPECT_EQ(std::string(img.begin(), img.begin() + 8), "PREFV001");
  EXPECT_EQ(GetBE32(&img[8]), PREFS_FILE_SIZE - 12);
  EXPECT_EQ(CheckPrefs(PREFS_TOWN_ID, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefs(PREFS_TIP_COUNTER, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 0u);
  char* name = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  ASSERT_NE(name, nullptr);
  EXPECT_STREQ(name, "");
  FreeVec(name);
}

TEST(Prefs, EveryFieldRoundTripsAtItsOffsetAndTouchesNothingElse) {
  MakeData();
  CheckPrefs(0, 0, 0);
  const PrefsFieldInfo* t = PrefsLayout();
  for (uint32_t f = 0; f < PREFS_FIELD_COUNT; ++f) {
    auto before = qoe_test::ReadFileBytes(kPrefsDisk);
    auto expect = before;
    const uint32_t off = t[f].offset;
    if (IsText(f)) {
      std::string s = "Lord_" + std::to_string(f) + "_\xE4\xF6\xFC";
      ASSERT_EQ(CheckPrefsStr(f, 1, s.c_str()), s.c_str());
      std::memset(&expect[off], 0, 40);
      std::memcpy(&expect[off], s.data(), s.size());
      char* back = CheckPrefsStr(f, 0, nullptr);
      ASSERT_NE(back, nullptr);
      EXPECT_EQ(std::string(back), s);
      FreeVec(back);
    } else {
      // The account state holds 0..2 (a file with another fails its check).
      uint32_t v = f == PREFS_ACCOUNT_STATE ? (uint32_t)ACCOUNT_SIGNUP_SENT : 0xA1B2C3D4u + f;
      ASSERT_EQ(CheckPrefs(f, 1, v), v);
      uint32_t want = t[f].size == 1 ? (v & 0xFF) : t[f].size == 2 ? (v & 0xFFFF) : v;
      if (t[f].size == 1) expect[off] = (uint8_t)v;
      if (t[f].size == 2) PutBE16(&expect[off], (uint16_t)v);
      if (t[f].size == 4) PutBE32(&expect[off], v);
      EXPECT_EQ(CheckPrefs(f, 0, 0), want) << f;
    }
    EXPECT_EQ(qoe_test::ReadFileBytes(kPrefsDisk), expect) << "field " << f;
  }
}

TEST(Prefs, StringFieldsKeep39CharactersAndAreTerminated) {
  MakeData();
  std::string longer(60, 'x');
  CheckPrefsStr(PREFS_EMAIL, 1, longer.c_str());
  char* back = CheckPrefsStr(PREFS_EMAIL, 0, nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::strlen(back), 39u);
  FreeVec(back);
  CheckPrefsStr(PREFS_EMAIL, 1, "a@b");
  back = CheckPrefsStr(PREFS_EMAIL, 0, nullptr);
  EXPECT_STREQ(back, "a@b");
  FreeVec(back);
  auto img = qoe_test::ReadFileBytes(kPrefsDisk);
  for (int i = 3; i < 40; ++i) EXPECT_EQ(img[PrefsLayout()[PREFS_EMAIL].offset + i], 0) << i;
  // A full 40-byte field on disk still reads back terminated.
  std::memset(&img[PrefsLayout()[PREFS_LORD_NAME].offset], 'Q', 40);
  qoe_test::WriteFileBytes(kPrefsDisk, img);
  back = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  EXPECT_EQ(std::strlen(back), 39u);
  FreeVec(back);
}

TEST(Prefs, WrongKindsAndIndexesAreRefused) {
  MakeData();
  EXPECT_EQ(CheckPrefs(PREFS_FIRST_NAME, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefs(40, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefsStr(PREFS_ACCOUNT_STATE, 0, nullptr), nullptr);
  EXPECT_EQ(CheckPrefsStr(PREFS_FIRST_NAME, 1, nullptr), nullptr);
  EXPECT_EQ(RizizOzezPrefs(46, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(RizizOzezPrefs(47, 0, 0), 0xFFFFFFFFu);
}

// A file cut short keeps every field it still holds whole; a field cut in
// its middle, and every one after the cut, gets its default. What the player
// must know (the account state, the player ID, the lord's name lost) is
// noted once; a cut that loses other fields only is logged.
TEST(Prefs, ACutFileKeepsItsWholeFieldsAndNotesWhatThePlayerLost) {
  MakeData();
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_INSTALLED);
  CheckPrefs(PREFS_TOWN_ID, 1, 3);
  CheckPrefs(PREFS_PLAYER_ID, 1, 4711);
  CheckPrefsStr(PREFS_FIRST_NAME, 1, "Aldric");
  CheckPrefsStr(PREFS_LORD_NAME, 1, "Ragnar");
  CheckPrefs(PREFS_TIP_COUNTER, 1, 5);
  const auto full = qoe_test::ReadFileBytes(kPrefsDisk);
  TakePrefsRepairs();
  const uint32_t kAll = PREFS_REPAIR_ACCOUNT | PREFS_REPAIR_PLAYER_ID | PREFS_REPAIR_LORD_NAME;
  const struct Row {
    uint32_t cut, account, town, player;
    const char* first;
    const char* lord;
    uint32_t notes;
  } rows[] = {
      {0, 0, U32(), 0, "", "", kAll},                                   // empty
      {3, 0, U32(), 0, "", "", kAll},                                   // "PRE"
      {12, 0, U32(), 0, "", "", kAll},                                  // the header alone
      {13, 0, U32(), 0, "", "", kAll},                                  // half the account state
      {14, 2, U32(), 0, "", "", PREFS_REPAIR_PLAYER_ID | PREFS_REPAIR_LORD_NAME},
      {23, 2, U32(), 0, "", "", PREFS_REPAIR_PLAYER_ID | PREFS_REPAIR_LORD_NAME},  // half the town ID
      {29, 2, 3, 0, "", "", PREFS_REPAIR_PLAYER_ID | PREFS_REPAIR_LORD_NAME},      // "Ald" of the first name
      {100, 2, 3, 0, "Aldric", "", PREFS_REPAIR_PLAYER_ID | PREFS_REPAIR_LORD_NAME},
      {148, 2, 3, 0, "Aldric", "", PREFS_REPAIR_PLAYER_ID | PREFS_REPAIR_LORD_NAME},
      {150, 2, 3, 4711, "Aldric", "", PREFS_REPAIR_LORD_NAME},
      {153, 2, 3, 4711, "Aldric", "", PREFS_REPAIR_LORD_NAME},         // "Rag" of the lord's name
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.cut);
    ASSERT_TRUE(qoe_test::WriteFileBytes(kPrefsDisk, std::vector<uint8_t>(full.begin(), full.begin() + r.cut)));
    std::vector<std::string> lines;
    g_lines = &lines;
    DebugLogSetHook(Capture, nullptr);
    EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), r.account);
    DebugLogSetHook(nullptr, nullptr);
    EXPECT_FALSE(lines.empty());  // the repair is logged
    EXPECT_EQ(TakePrefsRepairs(), r.notes);
    EXPECT_EQ(TakePrefsRepairs(), 0u);  // noted once
    const auto img = qoe_test::ReadFileBytes(kPrefsDisk);
    ASSERT_EQ(img.size(), PREFS_FILE_SIZE);
    EXPECT_EQ(std::string(img.begin(), img.begin() + 8), "PREFV001");
    EXPECT_EQ(GetBE32(&img[8]), PREFS_FILE_SIZE - 12);
    EXPECT_EQ(CheckPrefs(PREFS_TOWN_ID, 0, 0), r.town);
    EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), r.player);
    char* first = CheckPrefsStr(PREFS_FIRST_NAME, 0, nullptr);
    char* lord = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
    EXPECT_STREQ(first, r.first);
    EXPECT_STREQ(lord, r.lord);
    FreeVec(first);
    FreeVec(lord);
    EXPECT_EQ(CheckPrefs(PREFS_TIP_COUNTER, 0, 0), 0xFFFFFFFFu);  // default for the rest
    EXPECT_EQ(TakePrefsRepairs(), 0u);
  }
  // A cut that loses neither is logged, not noted: the fields it holds stay.
  ASSERT_TRUE(qoe_test::WriteFileBytes(kPrefsDisk, std::vector<uint8_t>(full.begin(), full.begin() + 256)));
  EXPECT_EQ(CheckPrefs(PREFS_TIP_COUNTER, 0, 0), 5u);
  EXPECT_EQ(TakePrefsRepairs(), 0u);
  EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), 4711u);
}

// A file of the right size that fails its own checks is made anew from the
// defaults as far as it failed, logged, and noted once for the player:
// random bytes (a wrong header: nothing to trust, every field its default)
// and an account state above 2 under a right header (that field alone). A
// whole file and a short one (extended as ever) leave no note.
TEST(Prefs, AFileThatFailsItsChecksIsMadeAnewAndNotedOnce) {
  MakeData();
  std::filesystem::remove(kPrefsDisk);
  CheckPrefs(PREFS_TOWN_ID, 0, 0);  // a new file holds the defaults
  const auto defaults = qoe_test::ReadFileBytes(kPrefsDisk);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_INSTALLED);
  CheckPrefs(PREFS_PLAYER_ID, 1, 4711);
  const auto good = qoe_test::ReadFileBytes(kPrefsDisk);
  TakePrefsRepairs();
  const std::vector<uint8_t> random = RandomBytes(95, PREFS_FILE_SIZE);
  ASSERT_NE(std::memcmp(random.data(), "PREFV001", 8), 0);
  std::vector<uint8_t> account = good;
  PutBE16(account.data() + 12, 7);
  const uint32_t kAll = PREFS_REPAIR_ACCOUNT | PREFS_REPAIR_PLAYER_ID | PREFS_REPAIR_LORD_NAME;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t player;  // the player's number afterwards
    uint32_t notes;
  } const cases[] = {{"random bytes", random, 0, kAll}, {"an account state of 7", account, 4711, PREFS_REPAIR_ACCOUNT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(qoe_test::WriteFileBytes(kPrefsDisk, c.bytes));
    std::vector<std::string> lines;
    g_lines = &lines;
    DebugLogSetHook(Capture, nullptr);
    EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), (uint32_t)ACCOUNT_NONE);
    DebugLogSetHook(nullptr, nullptr);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("Pruefung nicht bestanden"), std::string::npos) << lines[0];
    EXPECT_EQ(TakePrefsRepairs(), c.notes);
    EXPECT_EQ(TakePrefsRepairs(), 0u);  // told once
    EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), c.player);
    const auto now = qoe_test::ReadFileBytes(kPrefsDisk);
    ASSERT_EQ(now.size(), PREFS_FILE_SIZE);
    if (c.player == 0) {
      EXPECT_EQ(now, defaults);
    }
    EXPECT_EQ(TakePrefsRepairs(), 0u);  // a file made whole is not made anew again
  }
  ASSERT_TRUE(qoe_test::WriteFileBytes(kPrefsDisk, good));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), (uint32_t)ACCOUNT_INSTALLED);
  EXPECT_EQ(TakePrefsRepairs(), 0u);
  // The program never writes an account state out of its range.
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 1, 3), 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), (uint32_t)ACCOUNT_INSTALLED);
  const uint32_t account_field = PREFS_ACCOUNT_STATE, three = 3;
  uint32_t size = 0;
  EXPECT_EQ(PrefsImageWithFields(".\\Data\\Prefs.qoe", &account_field, &three, 1, &size), nullptr);
  EXPECT_EQ(qoe_test::ReadFileBytes(kPrefsDisk), good);
}

TEST(Prefs, UnwritableFileGivesAllOnes) {
  // No Data folder: the file can be neither opened nor created.
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr), nullptr);
  MakeData();
  if (!WriteHookWorks()) GTEST_SKIP() << "file layer failure hook not active";
  FileFailWritesAfter(0);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0xFFFFFFFFu);  // creation fails
  FileFailWritesAfter(-1);
  EXPECT_FALSE(qoe_test::FileExists(kPrefsDisk));
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  FileFailWritesAfter(0);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1), 0xFFFFFFFFu);
  EXPECT_EQ(CheckPrefsStr(PREFS_LORD_NAME, 1, "x"), nullptr);
  FileFailWritesAfter(-1);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 2u);
}

TEST(BTPrefs, StandardFileAndEveryField) {
  MakeData();
  EXPECT_EQ(RizizOzezPrefs(1, 0, 0), 0u);
  auto img = qoe_test::ReadFileBytes(kBTDisk);
  ASSERT_EQ(img.size(), BTPREFS_FILE_SIZE);
  EXPECT_EQ(std::string(img.begin(), img.begin() + 8), "BTPRV001");
  for (size_t i = 12; i < img.size(); ++i) ASSERT_EQ(img[i], 0) << i;

  EXPECT_EQ(RizizOzezPrefs(0, 1, 44), 44u);
  for (uint32_t k = 1; k <= 45; ++k) EXPECT_EQ(RizizOzezPrefs(k, 1, 0x100 + (k & 1)), 0x100 + (k & 1)) << k;
  img = qoe_test::ReadFileBytes(kBTDisk);
  EXPECT_EQ(GetBE32(&img[12]), 44u);
  for (uint32_t k = 1; k <= 12; ++k) EXPECT_EQ(img[15 + k], k & 1) << k;
  EXPECT_EQ(img[28], 0);  // not used
  for (uint32_t k = 13; k <= 45; ++k) EXPECT_EQ(img[16 + k], k & 1) << k;
  for (uint32_t k = 1; k <= 45; ++k) EXPECT_EQ(RizizOzezPrefs(k, 0, 0), k & 1);

  std::string s(60, 'r');
  s[0] = 'R';
  ASSERT_NE(RizizOzezPrefsStr(46, 1, s.c_str()), nullptr);
  img = qoe_test::ReadFileBytes(kBTDisk);
  for (int i = 0; i < 80; ++i) EXPECT_EQ(img[62 + i], i < 40 ? (uint8_t)s[i] : 0) << i;
  char* back = RizizOzezPrefsStr(46, 0, nullptr);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::string(back), s.substr(0, 40));
  FreeVec(back);
}

// A file of 142 bytes or more holds every field and is left as it is; a
// shorter one keeps its whole fields, gets the defaults for the rest and is
// noted for the player (the stories told after the cut would come again).
TEST(BTPrefs, ACutFileKeepsItsWholeFieldsAndIsNoted) {
  MakeData();
  std::vector<uint8_t> whole(BTPREFS_FILE_SIZE, 0);
  std::memcpy(whole.data(), "BTPRV001", 8);
  PutBE32(&whole[8], BTPREFS_FILE_SIZE - 12);
  PutBE32(&whole[12], 17);                          // the story to show
  whole[16] = 1;                                    // show it at start
  for (uint32_t k = 2; k <= 45; ++k) whole[k <= 12 ? 15 + k : 16 + k] = 1;  // every story told
  std::memcpy(&whole[62], "Eichenhain", 10);
  TakePrefsRepairs();
  const struct Row {
    uint32_t cut, story, show, told;  // told: the stories 1..told of the flags kept
  } rows[] = {
      {0, 0, 0, 0},   {5, 0, 0, 0},   {12, 0, 0, 0},   {14, 0, 0, 0},   {16, 17, 0, 0},  {17, 17, 1, 0},
      {18, 17, 1, 1}, {40, 17, 1, 22}, {62, 17, 1, 44}, {66, 17, 1, 44}, {141, 17, 1, 44},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.cut);
    const std::vector<uint8_t> part(whole.begin(), whole.begin() + r.cut);
    ASSERT_TRUE(qoe_test::WriteFileBytes(kBTDisk, part));
    EXPECT_EQ(RizizOzezPrefs(0, 0, 0), r.story);
    EXPECT_EQ(TakePrefsRepairs(), (uint32_t)PREFS_REPAIR_STORY);
    EXPECT_EQ(RizizOzezPrefs(1, 0, 0), r.show);
    for (uint32_t k = 1; k <= 44; ++k) EXPECT_EQ(RizizOzezPrefs(k + 1, 0, 0), k <= r.told ? 1u : 0u) << k;
    char* town = RizizOzezPrefsStr(46, 0, nullptr);
    EXPECT_STREQ(town, "");  // cut: "Eich" is no town's name
    FreeVec(town);
    const auto img = qoe_test::ReadFileBytes(kBTDisk);
    ASSERT_EQ(img.size(), BTPREFS_FILE_SIZE);
    EXPECT_EQ(std::string(img.begin(), img.begin() + 8), "BTPRV001");
    EXPECT_EQ(TakePrefsRepairs(), 0u);
  }
  // 142 bytes or more hold every field: left alone, nothing to tell.
  for (uint32_t cut : {142u, 160u}) {
    const std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
    ASSERT_TRUE(qoe_test::WriteFileBytes(kBTDisk, part));
    EXPECT_EQ(RizizOzezPrefs(0, 0, 0), 17u);
    char* town = RizizOzezPrefsStr(46, 0, nullptr);
    EXPECT_STREQ(town, "Eichenhain");
    FreeVec(town);
    EXPECT_EQ(qoe_test::ReadFileBytes(kBTDisk), part);
    EXPECT_EQ(TakePrefsRepairs(), 0u);
  }
}

// Each field has its range: the story to show one of the story table
// (0..44, 0 none), each flag 0 or 1, "show at start" only with a story to
// show, the town's name ended within the 40 characters written. A file
// outside them (random bytes above all) is made anew as far as it failed
// and noted: no story screen for a story the table does not hold.
TEST(BTPrefs, FieldsOutOfTheirRangeAreMadeAnewAndNoted) {
  MakeData();
  std::vector<uint8_t> good(BTPREFS_FILE_SIZE, 0);
  std::memcpy(good.data(), "BTPRV001", 8);
  PutBE32(&good[8], BTPREFS_FILE_SIZE - 12);
  PutBE32(&good[12], 9);
  good[16] = 1;
  good[17] = 1;  // the introduction was told
  good[22] = 1;  // story 6
  std::memcpy(&good[62], "Moorbach", 8);
  auto with = [&](size_t at, const std::vector<uint8_t>& bytes) {
    auto b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + at);
    return b;
  };
  std::vector<uint8_t> header_random = RandomBytes(7, BTPREFS_FILE_SIZE);
  std::memcpy(header_random.data(), "BTPRV001", 8);
  struct Row {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t story, show, intro, six;
    const char* town;
  } const rows[] = {
      {"random bytes", RandomBytes(3504101453u, BTPREFS_FILE_SIZE), 0, 0, 0, 0, ""},
      {"random bytes 2", RandomBytes(95, BTPREFS_FILE_SIZE), 0, 0, 0, 0, ""},
      {"random bytes behind the header", header_random, 0, 0, 0, 0, ""},
      {"story 3504101453", with(12, {0xD0, 0xDC, 0x58, 0x4D}), 0, 0, 1, 1, "Moorbach"},
      {"story 45", with(12, {0, 0, 0, 45}), 0, 0, 1, 1, "Moorbach"},
      {"show at start without a story", with(12, {0, 0, 0, 0}), 0, 0, 1, 1, "Moorbach"},
      {"show at start 2", with(16, {2}), 9, 0, 1, 1, "Moorbach"},
      {"a told flag of 7", with(22, {7}), 9, 1, 1, 0, "Moorbach"},
      {"a town without its end", with(62, std::vector<uint8_t>(80, 'x')), 9, 1, 1, 1, ""},
      {"a town with a line break", with(62, {'M', '\n', 'x', 0}), 9, 1, 1, 1, ""},
  };
  TakePrefsRepairs();
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_TRUE(qoe_test::WriteFileBytes(kBTDisk, r.bytes));
    std::vector<std::string> lines;
    g_lines = &lines;
    DebugLogSetHook(Capture, nullptr);
    EXPECT_EQ(RizizOzezPrefs(1, 0, 0), r.show);
    DebugLogSetHook(nullptr, nullptr);
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines[0].find("Pruefung nicht bestanden"), std::string::npos) << lines[0];
    EXPECT_EQ(TakePrefsRepairs(), (uint32_t)PREFS_REPAIR_STORY);
    EXPECT_EQ(RizizOzezPrefs(0, 0, 0), r.story);
    EXPECT_EQ(RizizOzezPrefs(2, 0, 0), r.intro);
    EXPECT_EQ(RizizOzezPrefs(7, 0, 0), r.six);
    char* town = RizizOzezPrefsStr(46, 0, nullptr);
    EXPECT_STREQ(town, r.town);
    FreeVec(town);
    for (uint32_t k = 2; k <= 45; ++k) EXPECT_LE(RizizOzezPrefs(k, 0, 0), 1u) << k;
    EXPECT_EQ(TakePrefsRepairs(), 0u);  // whole now
  }
  // The program never writes a field out of its range.
  ASSERT_TRUE(qoe_test::WriteFileBytes(kBTDisk, good));
  EXPECT_EQ(RizizOzezPrefs(0, 1, 45), 0xFFFFFFFFu);
  EXPECT_EQ(RizizOzezPrefs(0, 1, 0), 0xFFFFFFFFu);  // story 9 is still to be shown at start
  EXPECT_EQ(RizizOzezPrefs(3, 1, 2), 0xFFFFFFFFu);
  EXPECT_EQ(RizizOzezPrefsStr(46, 1, "Moor\rbach"), nullptr);
  EXPECT_EQ(qoe_test::ReadFileBytes(kBTDisk), good);
  EXPECT_EQ(RizizOzezPrefs(1, 1, 0), 0u);
  EXPECT_EQ(RizizOzezPrefs(0, 1, 0), 0u);
  EXPECT_EQ(RizizOzezPrefs(1, 1, 1), 0xFFFFFFFFu);  // no story to show
  EXPECT_EQ(TakePrefsRepairs(), 0u);
}

TEST(BTPrefs, FailedStandardFileIsLoggedAndGivesAllOnes) {
  std::vector<std::string> lines;
  g_lines = &lines;
  DebugLogSetHook(Capture, nullptr);
  EXPECT_EQ(RizizOzezPrefs(1, 0, 0), 0xFFFFFFFFu);  // no Data folder
  EXPECT_EQ(SaveStandardRizizOzezPrefs(), 0);
  DebugLogSetHook(nullptr, nullptr);
  bool seen = false;
  for (auto& l : lines) seen |= l.find("RizizOzezPrefs:Konnte Standard Prefs nicht abspeichern!") != std::string::npos;
  EXPECT_TRUE(seen);
  MakeData();
  EXPECT_EQ(SaveStandardRizizOzezPrefs(), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes(kBTDisk).size(), BTPREFS_FILE_SIZE);
}

TEST(Prefs, FieldsSetInAnotherFileAsCheckPrefsWouldSetThem) {
  MakeData();
  std::filesystem::create_directory("Other");
  const uint32_t fields[2] = {PREFS_DISPLAY_MODE, PREFS_TOWN_ID}, values[2] = {3, 0xFFFFFFFFu};
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_INSTALLED);
  CheckPrefs(PREFS_TOWN_ID, 1, 7);
  const auto whole = qoe_test::ReadFileBytes(kPrefsDisk);
  std::vector<uint8_t> longer = whole;
  longer.resize(300, 0x5A);
  // Missing, cut short, whole, longer: the same bytes as CheckPrefs leaves.
  const std::vector<std::vector<uint8_t>> starts = {{}, {whole.begin(), whole.begin() + 160}, whole, longer};
  for (size_t i = 0; i < starts.size(); i++) {
    std::filesystem::remove(kPrefsDisk);
    std::filesystem::remove("Other/Prefs.qoe");
    if (i > 0) {
      ASSERT_TRUE(qoe_test::WriteFileBytes(kPrefsDisk, starts[i]));
      ASSERT_TRUE(qoe_test::WriteFileBytes("Other/Prefs.qoe", starts[i]));
    }
    EXPECT_EQ(SetPrefsFieldsIn(".\\Other\\Prefs.qoe", fields, values, 2), 1) << i;
    CheckPrefs(PREFS_DISPLAY_MODE, 1, 3);
    CheckPrefs(PREFS_TOWN_ID, 1, 0xFFFFFFFFu);
    EXPECT_EQ(qoe_test::ReadFileBytes("Other/Prefs.qoe"), qoe_test::ReadFileBytes(kPrefsDisk)) << i;
  }
  // A text field or an unknown index writes nothing; nor does a failed write.
  const auto before = qoe_test::ReadFileBytes("Other/Prefs.qoe");
  const uint32_t text[1] = {PREFS_LORD_NAME}, beyond[1] = {PREFS_FIELD_COUNT};
  EXPECT_EQ(SetPrefsFieldsIn(".\\Other\\Prefs.qoe", text, values, 1), 0);
  EXPECT_EQ(SetPrefsFieldsIn(".\\Other\\Prefs.qoe", beyond, values, 1), 0);
  const uint32_t other[1] = {5};
  FileFailWritesAfter(100);
  EXPECT_EQ(SetPrefsFieldsIn(".\\Other\\Prefs.qoe", fields, other, 1), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Other/Prefs.qoe"), before);
}

// Number and text fields in one image: the same bytes as the field writes
// one by one, the file itself untouched until the caller writes the image.
TEST(Prefs, ImageWithTextsEqualsTheSingleWrites) {
  MakeData();
  CheckPrefs(PREFS_SIGNUP_NUMBER, 1, 17);
  CheckPrefsStr(PREFS_LORD_NAME, 1, std::string(39, 'L').c_str());
  const auto before = qoe_test::ReadFileBytes(kPrefsDisk);
  const uint32_t number = PREFS_SIGNUP_NUMBER, value = 1234567;
  const uint32_t texts[2] = {PREFS_LORD_NAME, PREFS_EMAIL};
  const std::string longer(60, 'x');
  const char* const values[2] = {"Ulf", longer.c_str()};
  uint32_t size = 0;
  uint8_t* img = PrefsImageWithTexts(".\\Data\\Prefs.qoe", &number, &value, 1, texts, values, 2, &size);
  ASSERT_NE(img, nullptr);
  const std::vector<uint8_t> image(img, img + size);
  FreeVec(img);
  EXPECT_EQ(qoe_test::ReadFileBytes(kPrefsDisk), before);
  CheckPrefs(PREFS_SIGNUP_NUMBER, 1, value);
  CheckPrefsStr(PREFS_LORD_NAME, 1, "Ulf");
  CheckPrefsStr(PREFS_EMAIL, 1, longer.c_str());
  EXPECT_EQ(image, qoe_test::ReadFileBytes(kPrefsDisk));
  // A number field among the texts, or a text among the numbers: nothing.
  const uint32_t wrong = PREFS_SIGNUP_NUMBER;
  EXPECT_EQ(PrefsImageWithTexts(".\\Data\\Prefs.qoe", nullptr, nullptr, 0, &wrong, values, 1, &size), nullptr);
  EXPECT_EQ(PrefsImageWithTexts(".\\Data\\Prefs.qoe", texts, &value, 1, nullptr, nullptr, 0, &size), nullptr);
}

TEST(Prefs, FieldWritesReplaceTheWholeFileAndNeverWriteInPlace) {
  MakeData();
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);  // both files made
  EXPECT_EQ(RizizOzezPrefs(1, 0, 0), 0u);
  std::vector<uint8_t> want = qoe_test::ReadFileBytes(kPrefsDisk);
  const uint32_t before = FileWritesOutsideSets();
  EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 1, 0x01020304u), 0x01020304u);
  EXPECT_NE(CheckPrefsStr(PREFS_LORD_NAME, 1, "Ulf"), nullptr);
  EXPECT_EQ(RizizOzezPrefs(0, 1, 7), 7u);
  EXPECT_EQ(RizizOzezPrefs(1, 1, 1), 1u);
  EXPECT_NE(RizizOzezPrefsStr(46, 1, "Erzaehlung"), nullptr);
  EXPECT_EQ(FileWritesOutsideSets(), before);
  // Byte for byte the same file as before, with just the two fields set.
  const PrefsFieldInfo& id = PrefsLayout()[PREFS_PLAYER_ID];
  PutBE32(want.data() + id.offset, 0x01020304u);
  const PrefsFieldInfo& lord = PrefsLayout()[PREFS_LORD_NAME];
  std::memcpy(want.data() + lord.offset, "Ulf", 3);
  EXPECT_EQ(qoe_test::ReadFileBytes(kPrefsDisk), want);
  EXPECT_EQ(RizizOzezPrefs(0, 0, 0), 7u);
  EXPECT_EQ(RizizOzezPrefs(1, 0, 0), 1u);
  char* story = RizizOzezPrefsStr(46, 0, nullptr);
  ASSERT_NE(story, nullptr);
  EXPECT_STREQ(story, "Erzaehlung");
  FreeVec(story);
  // Reads write nothing either.
  CheckPrefs(PREFS_PLAYER_ID, 0, 0);
  EXPECT_EQ(FileWritesOutsideSets(), before);
}

TEST(Prefs, KilledFieldWriteLeavesTheOldOrTheNewFile) {
  MakeData();
  EXPECT_NE(CheckPrefsStr(PREFS_EMAIL, 1, "alt@example.org"), nullptr);
  auto files = [] { return qoe_test::FileBytes{{kPrefsDisk, qoe_test::ReadFileBytes(kPrefsDisk)}}; };
  auto restore = [](const qoe_test::FileBytes& f) {
    for (const auto& [path, bytes] : f) ASSERT_TRUE(qoe_test::WriteFileBytes(path, bytes));
  };
  qoe_test::ExpectOldOrNewAfterKills([] { return CheckPrefsStr(PREFS_EMAIL, 1, "neu@example.org") ? 0 : 1; },
                                     files, restore, 30, 1770);
  qoe_test::ExpectOldOrNewAfterKills([] { return CheckPrefs(PREFS_PLAYER_ID, 1, 4711) == 4711 ? 0 : 1; }, files,
                                     restore, 30, 1771);
}
