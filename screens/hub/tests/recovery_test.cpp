// The start-up recovery: kill loops (fork, SIGKILL at random moments, then
// RecoverAtStart as the next start) over GameInit, a screen's commit of
// three files and a load with thousands of files in .\Data, each run ending
// as the old files or the new ones, never a third; commit records that are
// damaged or cannot be finished at start-up, and the title's notice.
#include "screens/hub/recovery.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/savegame.h"
#include "screens/hub/tests/savegame_support.h"
#include "screens/hub/titel.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/kill_loop.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace savegame_test;

namespace {

// Every file of the game (.\Data and .\Map, paths from the working folder).
FileMap GameFiles() {
  FileMap all;
  for (const char* top : {"Data", "Map"})
    for (auto& [n, b] : Snapshot(top)) all[std::string(top) + "/" + n] = b;
  return all;
}

// What a start must never leave: commit records, staged files, the load's
// folders.
std::string Leftovers() {
  std::string out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(".", ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const std::string n = it->path().filename().string();
    if (n.rfind(".qoecommit-", 0) == 0 || n.rfind(".qoetmp-", 0) == 0) out += it->path().string() + " ";
  }
  for (const char* p : {"Game/.laden", "Game/.laden.weg"})
    if (fs::exists(p)) out += std::string(p) + " ";
  return out;
}

// The game's folders kept aside and put back for each run (no commit
// record left beside them).
void Keep(const std::string& backup) { ASSERT_TRUE(qoe_test::BackUpFolders(backup, {"Data", "Map"})); }
void PutBack(const std::string& backup) {
  ASSERT_TRUE(qoe_test::RestoreFolders(backup, {"Data", "Map"}));
  for (const auto& e : fs::directory_iterator("."))
    if (e.path().filename().string().rfind(".qoecommit-", 0) == 0) fs::remove(e.path());
}

// Runs fn in a child to its end (or its death).
void RunInChild(const std::function<int()>& fn) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(fn());
  int status = 0;
  waitpid(child, &status, 0);
}

// A kill loop: each run starts from the old files, runs work in a child
// killed after a random delay (up to 1.5 times an uninterrupted run), lets
// between() look at what the kill left, then runs the next start; the files
// must be the old ones or the new ones, and nothing may be left over.
struct KillLoop {
  FileMap old_files, new_files;
  int olds = 0, news = 0;
  void Run(const char* what, int runs, const std::function<int()>& work, int64_t span_us,
           const std::function<void(int)>& between = nullptr) {
    srand(17);
    bool at_old = false;  // a run that ended as the old files needs no putting back
    for (int run = 0; run < runs; run++) {
      if (!at_old) PutBack("old");
      qoe_test::KillAfterStart(work, rand() % (span_us * 3 / 2 + 1));
      if (between) between(run);
      ASSERT_EQ(RecoverAtStart(), 0) << what << " run " << run;
      const FileMap now = GameFiles();
      at_old = Diff(now, old_files).empty();
      if (at_old) olds++;
      else if (Diff(now, new_files).empty()) news++;
      else ADD_FAILURE() << what << " run " << run << ": " << Diff(now, old_files) << "| " << Diff(now, new_files);
      EXPECT_EQ(Leftovers(), "") << what << " run " << run;
    }
    EXPECT_EQ(olds + news, runs) << what;
  }
};

class Recovery : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareTitleFolder(false);
    ClearRecoveryNotice();
  }
  void TearDown() override {
    *OwnPlayerPtr = OwnPlayer{};
    SetShellHooks(nullptr);
    SetLoadMoveHook(nullptr);
    FileSyncWrites(1);
    ClearRecoveryNotice();
  }
};

}  // namespace

TEST_F(Recovery, GameInitKilledAtAnyMomentIsTheOldFolderOrTheInstalledGame) {
  Realm realm;
  ASSERT_NO_FATAL_FAILURE(WriteDemoSignupAnswer(&realm));
  KillLoop loop;
  Keep("old");
  loop.old_files = GameFiles();
  const int64_t us = qoe_test::MicrosOf([] { ASSERT_EQ(GameInit(ReceivedPoolPath), 1); });
  loop.new_files = GameFiles();
  ASSERT_GT(loop.new_files.size(), loop.old_files.size() + 10);
  loop.Run("GameInit", 60, [] { return GameInit(ReceivedPoolPath) == 1 ? 0 : 1; }, us);
  EXPECT_GT(loop.olds, 0);
  EXPECT_GT(loop.news, 0);
  // The next install works.
  PutBack("old");
  EXPECT_EQ(GameInit(ReceivedPoolPath), 1);
  EXPECT_EQ(Diff(GameFiles(), loop.new_files), "");
}

TEST_F(Recovery, AScreensCommitOfThreeFilesKilledAtAnyMomentIsTheOldFilesOrTheNew) {
  // A screen's visit: the outgoing pool, the goods file and the map prefs
  // in one set.
  static const char kPool[] = ".\\Data\\POP3Out\\GameChunk.qoe", kGoods[] = ".\\Data\\WarenChunk.qoe",
                    kMapPrefs[] = ".\\Data\\MapPrefs.qoe";
  for (const char* id : {"KORN", "TAXE"}) {
    uint8_t* c = AllocChunk(id, "V001", id[0] == 'K' ? 52 : 72);
    ASSERT_EQ(AddChunkPool(c, kPool), 1);
    FreeChunk(c);
  }
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/WarenChunk.qoe", std::vector<uint8_t>(500, 1)));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MapPrefs.qoe", std::vector<uint8_t>(3000, 2)));
  static auto visit = [] {
    uint8_t* korn = AllocChunk("KORN", "V001", 52);
    ChunkPut32(korn, 26, 77);
    uint8_t* bau = AllocChunk("BAUE", "V001", 72);
    PoolChange changes[] = {{korn, nullptr}, {bau, nullptr}, {nullptr, "TAXE"}};
    uint32_t size = 0;
    uint8_t* image = ChangedPoolImage(kPool, changes, 3, &size);
    FreeChunk(korn);
    FreeChunk(bau);
    const std::vector<uint8_t> goods(700, 3), prefs(3000, 4);
    FileSet* set = image ? BeginFileSet() : nullptr;
    int32_t ok = set && FileSetWrite(set, kPool, image, size) &&
                 FileSetWrite(set, kGoods, goods.data(), (uint32_t)goods.size()) &&
                 FileSetWrite(set, kMapPrefs, prefs.data(), (uint32_t)prefs.size());
    if (set) ok = CommitFileSet(set) && ok;
    FreeVec(image);
    return ok ? 0 : 1;
  };
  KillLoop loop;
  Keep("old");
  loop.old_files = GameFiles();
  const int64_t us = qoe_test::MicrosOf([] { ASSERT_EQ(visit(), 0); });
  loop.new_files = GameFiles();
  ASSERT_EQ(Diff(loop.new_files, loop.old_files), "Data/MapPrefs.qoe Data/POP3Out/GameChunk.qoe Data/WarenChunk.qoe ");
  loop.Run("random", 120, [] { return visit(); }, us);
  // And at every flush of the commit: the staged files, the record, its
  // folder, the folders after the renames.
  for (int at = 0; at < 8; at++) {
    PutBack("old");
    static int kill_at;
    kill_at = at;
    RunInChild(
        [] {
          static int seen = 0;
          FileSetSyncHook(
              [](const char*, int32_t, void*) -> int32_t {
                if (seen++ == kill_at) raise(SIGKILL);
                return 1;
              },
              nullptr);
          return visit();
        });
    ASSERT_EQ(RecoverAtStart(), 0) << at;
    const FileMap now = GameFiles();
    EXPECT_TRUE(Diff(now, loop.old_files).empty() || Diff(now, loop.new_files).empty()) << at;
    EXPECT_EQ(Leftovers(), "") << at;
  }
  // Past the record's flushes the set is always finished.
  PutBack("old");
  EXPECT_EQ(visit(), 0);
  EXPECT_EQ(Diff(GameFiles(), loop.new_files), "");
}

TEST_F(Recovery, LoadKilledAtAnyMomentAmongThousandsOfFilesIsTheOldGameOrTheLoadedOne) {
  InstallDemoRealm();
  CheckPrefs(PREFS_DISPLAY_MODE, 1, 1);
  CheckPrefs(PREFS_TOWN_ID, 1, 1);
  ASSERT_EQ(SaveGame(0), 1);
  static std::string turn_dir;
  turn_dir = ".\\Game\\Harald\\" + TurnFolder();
  // The running game: another display mode, a file gone, a few thousand more.
  CheckPrefs(PREFS_DISPLAY_MODE, 1, 3);
  fs::remove("Data/MapPrefs.qoe");
  for (int i = 0; i < 2500; i++)
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Extra" + std::to_string(i) + ".dat", {(uint8_t)i, 1}));
  FileSyncWrites(0);  // kills, no power cuts: the flushes only slow the loop
  KillLoop loop;
  Keep("old");
  loop.old_files = GameFiles();
  const int64_t us = qoe_test::MicrosOf([] { ASSERT_EQ(RestoreSave(turn_dir.c_str()), 1); });
  loop.new_files = GameFiles();
  // The loaded prefs keep the running display mode and redraw the town.
  EXPECT_EQ(CheckPrefs(PREFS_DISPLAY_MODE, 0, 0), 3u);
  EXPECT_EQ(CheckPrefs(PREFS_TOWN_ID, 0, 0), 0xFFFFFFFFu);
  // Killed while the game is moved out (or the save in): before the
  // move-in the start may first make its folders and write the options and the prefs (as it did
  // before the recovery ran first), so each step must be repeatable.
  auto start_writes = [] {
    ASSERT_EQ(PrepareFolders(), 1);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Optionen.prefs", {1, 2, 3}));
    CheckPrefs(PREFS_RUNNING, 1, 1);
  };
  static const struct {
    int32_t moving_in;
    uint32_t after;
    bool writes;
  } kAt[] = {{0, 1, true}, {0, 1200, true}, {0, 1200, false}, {0, 2400, true}, {1, 1, false}, {1, 4, false}};
  for (const auto& at : kAt) {
    PutBack("old");
    static int32_t kill_in;
    static uint32_t kill_after;
    kill_in = at.moving_in;
    kill_after = at.after;
    RunInChild([] {
      SetLoadMoveHook([](int32_t moving_in, uint32_t count) {
        if (moving_in == kill_in && count == kill_after) raise(SIGKILL);
      });
      return RestoreSave(turn_dir.c_str()) == 1 ? 0 : 1;
    });
    ASSERT_TRUE(fs::exists("Game/.laden/neu")) << at.after;
    if (at.writes) start_writes();
    ASSERT_EQ(RecoverAtStart(), 0) << at.moving_in << " " << at.after;
    EXPECT_EQ(Diff(GameFiles(), loop.new_files), "") << at.moving_in << " " << at.after;
    EXPECT_EQ(Leftovers(), "") << at.after;
  }
  // And at random moments.
  loop.Run("load", 12, [] { return RestoreSave(turn_dir.c_str()) == 1 ? 0 : 1; }, us, [&](int run) {
    // (Only before the move-in: the start's writes into the loaded game are
    // its own, which no comparison with the two states can tell apart.)
    if (run % 2 == 0 && fs::exists("Game/.laden/neu") && !fs::exists("Game/.laden/B")) start_writes();
  });
  // A later load and a later save work.
  EXPECT_EQ(RestoreSave(turn_dir.c_str()), 1);
  EXPECT_EQ(Diff(GameFiles(), loop.new_files), "");
  EXPECT_EQ(SaveGame(0), 1);
  EXPECT_EQ(Leftovers(), "");
}

TEST_F(Recovery, AStartFinishesCommitRecordsBeforeItSweepsAndTellsWhatItCannotFinish) {
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/A.dat", {1}));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/B.dat", {2}));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/C.dat", {3}));
  auto commit = [] {
    FileSet* set = BeginFileSet();
    const uint8_t a = 11, b = 12, c = 13;
    FileSetWrite(set, ".\\Data\\A.dat", &a, 1);
    FileSetWrite(set, ".\\Data\\B.dat", &b, 1);
    FileSetWrite(set, ".\\Data\\C.dat", &c, 1);
    return CommitFileSet(set);
  };
  // A commit that failed part-way (a folder stood where a file goes) is
  // finished by the next start once the folder is gone: the sweep keeps its
  // staged files until then.
  fs::remove("Data/B.dat");
  fs::create_directories("Data/B.dat/x");
  EXPECT_EQ(commit(), FILESET_PART);
  fs::remove_all("Data/B.dat");
  EXPECT_EQ(PrepareFolders(), 1);  // the sweep alone keeps the record's files
  EXPECT_EQ(RecoverAtStart(), 0);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/B.dat"), std::vector<uint8_t>{12});
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/C.dat"), std::vector<uint8_t>{13});
  EXPECT_EQ(RecoveryNotice(), nullptr);
  EXPECT_EQ(Leftovers(), "");
  // A damaged record is dropped at start-up with its staged files, quietly.
  FileSyncWrites(1);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/A.dat", {1}));
  ASSERT_TRUE(qoe_test::WriteFileBytes(".qoecommit-XYZXYZ", {'Q', 'C', 'O', 'M'}));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/.qoetmp-A.dat.XYZXYZ", {9}));
  EXPECT_EQ(RecoverAtStart(), 0);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/A.dat"), std::vector<uint8_t>{1});
  EXPECT_EQ(RecoveryNotice(), nullptr);
  EXPECT_EQ(Leftovers(), "");
  // One that cannot be finished stays whole with its files and is told.
  fs::remove("Data/C.dat");
  fs::create_directories("Data/C.dat/x");
  EXPECT_EQ(commit(), FILESET_PART);  // A and B renamed, C not
  qoe_test::LogLines log;
  EXPECT_EQ(RecoverAtStart(), 1);
  ASSERT_NE(RecoveryNotice(), nullptr);
  EXPECT_NE(std::string(RecoveryNotice()).find("could not finish"), std::string::npos) << RecoveryNotice();
  EXPECT_NE(std::string(RecoveryNotice()).find("now a folder"), std::string::npos) << RecoveryNotice();
  EXPECT_TRUE(log.Has("RecoverAtStart: 1 Aenderung(en) bleiben offen"));
  const std::string left = Leftovers();
  EXPECT_NE(left.find(".qoecommit-"), std::string::npos) << left;
  EXPECT_NE(left.find("Data/.qoetmp-C.dat."), std::string::npos) << left;
  fs::remove_all("Data/C.dat");
  EXPECT_EQ(RecoverAtStart(), 0);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/C.dat"), std::vector<uint8_t>{13});
  EXPECT_EQ(Leftovers(), "");
}

// ---- the title's box --------------------------------------------------------

class RecoveryTitle : public Recovery {
 protected:
  void SetUp() override {
    Recovery::SetUp();
    PrepareTitleFolder(true);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
  }
  void TearDown() override {
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
    Recovery::TearDown();
  }
};

TEST_F(RecoveryTitle, TheTitleTellsOnceWhatTheStartCouldNotFinish) {
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/A.dat", {1}));
  fs::create_directories("Data/B.dat/x");
  FileSet* set = BeginFileSet();
  const uint8_t a = 11, b = 12;
  FileSetWrite(set, ".\\Data\\A.dat", &a, 1);
  FileSetWrite(set, ".\\Data\\B.dat", &b, 1);
  ASSERT_EQ(CommitFileSet(set), FILESET_PART);
  ASSERT_EQ(RecoverAtStart(), 1);
  ASSERT_NE(RecoveryNotice(), nullptr);
  static int32_t result;
  // The debug box, then the notice (kept as a PNG), then a click: the title
  // leads on; the notice is gone.
  const std::string png = qoe_test::TestDir() + "/recovery_notice.png";
  const std::string script = "key enter\npng " + png + "\nkey enter\n" + qoe_test::ClickLine(400, 300);
  ASSERT_EQ(HeadlessRunGame(script.c_str(), [](void*) { return result = TitelScreen(0), 0; }, nullptr), 0);
  EXPECT_EQ(result, 32);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(RecoveryNotice(), nullptr);
}

TEST_F(Recovery, AStartFinishesAnInterruptedSaveBeforeTheTurnDownload) {
  // A save killed once its copy was whole: the ready copy takes its place.
  const std::string lord = "Game/Harald", t = "1203_1";
  for (const auto& [name, mark] : {std::pair<std::string, uint8_t>{t, 1}, {"." + t + ".fertig", 2}}) {
    fs::create_directories(lord + "/" + name + "/Data");
    fs::create_directories(lord + "/" + name + "/Map");
    ASSERT_TRUE(qoe_test::WriteFileBytes(lord + "/" + name + "/Data/Prefs.qoe", {mark}));
  }
  EXPECT_EQ(RecoverAtStart(), 0);
  EXPECT_EQ(qoe_test::ReadFileBytes(lord + "/" + t + "/Data/Prefs.qoe"), std::vector<uint8_t>{2});
  EXPECT_FALSE(fs::exists(lord + "/." + t + ".fertig"));
  fs::remove_all("Game/Harald");
}

// Prefs of the right size whose header is wrong: the start makes them anew
// before any screen reads them, and the title's notice names the file.
TEST_F(Recovery, AStartMakesPrefsThatFailTheirChecksAnewAndTellsIt) {
  std::vector<uint8_t> junk(PREFS_FILE_SIZE, 0xA5);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Prefs.qoe", junk));
  EXPECT_EQ(RecoverAtStart(), 0);
  ASSERT_NE(RecoveryNotice(), nullptr);
  EXPECT_NE(std::string(RecoveryNotice()).find("The settings file Data\\Prefs.qoe was damaged"), std::string::npos)
      << RecoveryNotice();
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), (uint32_t)ACCOUNT_NONE);
  ClearRecoveryNotice();
  EXPECT_EQ(RecoverAtStart(), 0);  // whole now: nothing to tell
  EXPECT_EQ(RecoveryNotice(), nullptr);
}

TEST_F(Recovery, AStartTellsWhichFilesKeptTheirNewerStateOverADroppedRecord) {
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/A.dat", {1}));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/C.dat", {3}));
  fs::create_directories("Data/B.dat/x");
  // An earlier run saved in part (B stood in the way) and ended.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FileSet* set = BeginFileSet();
    const uint8_t a = 11, b = 12, c = 13;
    FileSetWrite(set, ".\\Data\\A.dat", &a, 1);
    FileSetWrite(set, ".\\Data\\B.dat", &b, 1);
    FileSetWrite(set, ".\\Data\\C.dat", &c, 1);
    _exit(CommitFileSet(set) == FILESET_PART ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  // The next run saved C anew.
  const uint8_t c2 = 23;
  ASSERT_EQ(SaveMem2File(".\\Data\\C.dat", &c2, 1), 1);
  fs::remove_all("Data/B.dat");
  EXPECT_EQ(RecoverAtStart(), 0);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/C.dat"), std::vector<uint8_t>{23});
  EXPECT_FALSE(fs::exists("Data/B.dat"));
  ASSERT_NE(RecoveryNotice(), nullptr);
  EXPECT_NE(std::string(RecoveryNotice()).find(GetCatalogStr(1703)), std::string::npos) << RecoveryNotice();
  EXPECT_NE(std::string(RecoveryNotice()).find("Data/C.dat"), std::string::npos) << RecoveryNotice();
  EXPECT_EQ(Leftovers(), "");
}

// ---- settings cut short or out of range ----

namespace {

// A catalog text with its "%s" marks replaced in order, as the notice has it.
std::string Told(uint32_t id, std::initializer_list<std::string> values) {
  std::string text = GetCatalogStr(id);
  size_t from = 0;
  for (const std::string& v : values) {
    const size_t at = text.find("%s", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, v);
    from = at + v.size();
  }
  return text;
}

std::string PrefsText(uint32_t field) {
  char* t = CheckPrefsStr(field, 0, nullptr);
  std::string s = t ? t : "";
  FreeVec(t);
  return s;
}

std::vector<uint8_t> SeedBytes(uint32_t seed, size_t n) {
  std::vector<uint8_t> b(n);
  for (uint8_t& x : b) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return b;
}

}  // namespace

// The demo realm installed, then its prefs cut short or its story prefs out
// of range: the start makes them whole before any screen reads them, and
// the notice tells what the player must know, naming the file: a lost
// account state (the game counts as not installed: load a save), a lost
// player ID or lord's name (taken back from the received turn, or, without
// one, the way back through a save). Where the account state survived the
// game stays installed; a cut that loses neither is not told.
TEST_F(Recovery, SettingsCutShortOrOutOfRangeAreMadeWholeAndTold) {
  ASSERT_NO_FATAL_FAILURE(InstallDemoRealm());
  const uint32_t player = CheckPrefs(PREFS_PLAYER_ID, 0, 0);
  const std::string lord = PrefsText(PREFS_LORD_NAME);
  ASSERT_NE(player, 0u);
  ASSERT_FALSE(lord.empty());
  ASSERT_EQ(RizizOzezPrefs(0, 1, 6), 6u);
  ASSERT_EQ(RizizOzezPrefs(2, 1, 1), 1u);
  const auto prefs = qoe_test::ReadFileBytes("Data/Prefs.qoe");
  const auto story = qoe_test::ReadFileBytes("Data/BTPrefs.qoe");
  const auto pool = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  auto cut = [&](size_t n) { return std::vector<uint8_t>(prefs.begin(), prefs.begin() + n); };
  std::vector<uint8_t> far_story = story;
  PutBE32(&far_story[12], 3504101453u);
  far_story[16] = 1;
  const std::string kPrefs = "Data\\Prefs.qoe", kStory = "Data\\BTPrefs.qoe";
  const std::string not_installed = Told(1798, {kPrefs}), taken_back = Told(1921, {kPrefs}),
                    lost = Told(1920, {kPrefs}), story_told = Told(1922, {kStory});
  struct Row {
    const char* name;
    std::vector<uint8_t> prefs, story;
    bool with_turn;
    std::string told;
    uint32_t account, player;
    std::string lord;
  } const rows[] = {
      {"prefs cut to 3", cut(3), story, true, not_installed, 0, 0, ""},
      {"prefs cut to 12", cut(12), story, true, not_installed, 0, 0, ""},
      {"prefs cut to 13", cut(13), story, true, not_installed, 0, 0, ""},
      {"prefs cut to 100", cut(100), story, true, taken_back, 2, player, lord},
      {"prefs cut to 170", cut(170), story, true, taken_back, 2, player, lord},
      {"prefs cut to 100, no turn received", cut(100), story, false, lost, 2, 0, ""},
      {"story prefs of random bytes", prefs, SeedBytes(3504101453u, BTPREFS_FILE_SIZE), true, story_told, 2, player,
       lord},
      {"story 3504101453", prefs, far_story, true, story_told, 2, player, lord},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Prefs.qoe", r.prefs));
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/BTPrefs.qoe", r.story));
    if (r.with_turn) ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", pool));
    else fs::remove("Data/POP3In/GameChunk.qoe");
    *OwnPlayerPtr = OwnPlayer{};
    ClearRecoveryNotice();
    EXPECT_EQ(RecoverAtStart(), 0);
    const std::string notice = RecoveryNotice() ? RecoveryNotice() : "";
    EXPECT_NE(notice.find(r.told), std::string::npos) << notice;
    EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), r.account);
    EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), r.player);
    EXPECT_EQ(PrefsText(PREFS_LORD_NAME), r.lord);
    if (r.told == taken_back) {  // the own player record takes what was taken back
      EXPECT_EQ(OwnPlayerPtr->PlayerId, r.prefs.size() < 150 ? player : 0u);
      EXPECT_STREQ(OwnPlayerPtr->LordName, lord.c_str());
    }
    // No story screen for a story the table does not hold.
    EXPECT_LT(RizizOzezPrefs(0, 0, 0), (uint32_t)STORY_STRING_COUNT);
    if (RizizOzezPrefs(1, 0, 0)) {
      EXPECT_NE(RizizOzezPrefs(0, 0, 0), 0u);
    }
    // Whole now: the next start has nothing to tell.
    ClearRecoveryNotice();
    EXPECT_EQ(RecoverAtStart(), 0);
    EXPECT_EQ(RecoveryNotice(), nullptr);
  }
  // A cut that loses none of the three is not told.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Prefs.qoe", cut(200)));
  ClearRecoveryNotice();
  EXPECT_EQ(RecoverAtStart(), 0);
  EXPECT_EQ(RecoveryNotice(), nullptr);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), (uint32_t)ACCOUNT_INSTALLED);
  EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), player);
}

// The options of random bytes (a TCP/IP stack of 179 left the download dead
// without a word) are loaded in range as the start sets the system up, and
// the title tells it, naming the file and the pages whose settings went
// back to their defaults.
TEST_F(RecoveryTitle, OptionsOfRandomBytesAreToldOnTheTitle) {
  const std::string pages = std::string(GetCatalogStr(1924)) + ", " + GetCatalogStr(1925) + ", " + GetCatalogStr(1926);
  const std::string told = Told(1923, {"Data\\Optionen.prefs", pages});
  for (uint32_t seed : {1u, 3504101453u}) {
    SCOPED_TRACE(seed);
    const std::vector<uint8_t> bytes = SeedBytes(seed, OPTIONEN_PREFS_SIZE);
    ASSERT_GT(bytes[4], 4);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Optionen.prefs", bytes));
    ClearRecoveryNotice();
    ASSERT_EQ(RecoverAtStart(), 0);
    ASSERT_EQ(OptionenPrefsLoad(&QoESystemPtr->Optionen), 1);  // as SetupSystem does
    EXPECT_EQ(QoESystemPtr->Optionen.tcpip_stack, kTcpIpStackLan);
    qoe_test::DrawnTextRecorder drawn;
    static int32_t result;
    const std::string script = "key enter\nwait 200\nkey enter\n" + qoe_test::ClickLine(400, 300);
    ASSERT_EQ(HeadlessRunGame(script.c_str(), [](void*) { return result = TitelScreen(0), 0; }, nullptr), 0);
    EXPECT_EQ(result, 32);  // no game installed: on to the sign-up
    EXPECT_TRUE(drawn.Drew(told));
    EXPECT_EQ(drawn.PastCatalog({"Data\\Optionen.prefs"}), "");
    EXPECT_EQ(RecoveryNotice(), nullptr);
  }
}
