// The turn download on realms of the turn builder: the weeding and order of
// the mails, which passes run, what an unreadable or foreign turn leaves,
// the new-turn test, the preset-account countdown, the news answer, and the
// route and a whole turn against dovecot, exim, nginx and the double (the
// screen itself: demo_test.cpp).
#include "screens/hub/residenzdownload.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/close.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/statistics.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/residenzdownload_internal.h"
#include "screens/hub/residenzupload.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

using qoe_test::LogLines;

// A realm set up by GameInit from its sign-up answer; turn mails of it.
class Download : public ::testing::Test {
 protected:
  Realm realm;
  uint32_t year = 0;
  char name[MAIL_NAME_SIZE] = {};

  void SetUp() override {
    *OwnPlayerPtr = OwnPlayer{};
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    std::string err;
    ASSERT_TRUE(LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/first_turn.realm", &realm, &err))
        << err;
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    fs::create_directories("Data/MailOut");
    const Bytes answer = BuildSignupAnswer(realm);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", answer));
    ASSERT_EQ(GameInit(ReceivedPoolPath), 1);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    CheckPrefs(PREFS_LAST_MAIL_DATE, 1, 0);
    year = CheckPrefs(PREFS_YEAR, 0, 0);
    TurnMailName(realm.player_id, name);
  }
  void TearDown() override {
    *OwnPlayerPtr = OwnPlayer{};
    ResetDownloadState();
  }

  // A turn mail of the realm's turn (year, quarter) with that granary corn
  // (the statistics show which turns were evaluated; the treasury is the
  // builder's) and Date value, in the first free file of the folder.
  std::string Mail(uint32_t y, uint32_t quarter, uint32_t corn, const std::string& date,
                   const Realm* other = nullptr) {
    return MailOf("turn year=" + std::to_string(y) + " quarter=" + std::to_string(quarter) +
                      "\nkorn granary_corn=" + std::to_string(corn) + "\n",
                  date, other);
  }
  // The same with the realm changed by a changes text.
  std::string MailOf(const std::string& changes, const std::string& date, const Realm* other = nullptr) {
    return PoolMail(TurnOf(changes, other), date);
  }
  // The realm's pool changed by a changes text.
  Bytes TurnOf(const std::string& changes, const Realm* other = nullptr) {
    Realm r = other ? *other : realm;
    std::string err;
    EXPECT_TRUE(ParseRealm(changes, "next.changes", &r, &err, true)) << err;
    return BuildTurnPool(r);
  }
  // A pool as a turn mail, in the first free file of the folder.
  std::string PoolMail(const Bytes& pool, const std::string& date) {
    const std::string text = BuildTurnMail(pool, name, "player@localhost", date);
    char path[200];
    EXPECT_EQ(MakeMailFileName(".\\Data\\POP3In", name, path, sizeof path), 1);
    char disk[400];
    ResolvePath(path, disk, sizeof disk);
    EXPECT_TRUE(qoe_test::WriteFileBytes(disk, Bytes(text.begin(), text.end())));
    return disk;
  }
  TurnEvaluation Evaluate() {
    ListHeader* list = CreateList(LIST_TURN_MAILS);
    const TurnEvaluation r = EvaluateTurnMails(list, name, nullptr);
    DeleteList(list, 1);
    return r;
  }
  static void RemoveMails() {
    for (auto& e : fs::directory_iterator("Data/POP3In"))
      if (e.path().extension() == ".email") fs::remove(e.path());
  }
  static size_t Mails() {
    size_t n = 0;
    for (auto& e : fs::directory_iterator("Data/POP3In")) n += e.path().extension() == ".email";
    return n;
  }
  static std::vector<uint32_t> GranaryCorn() {
    StatistikDaten s{};
    std::vector<uint32_t> v;
    if (!ReadStatistikDaten(&s)) return v;
    for (uint32_t i = 0; i < s.count; i++) v.push_back(s.values[i * STATISTIK_VALUES + STAT_GRAIN]);
    FreeStatistikDaten(&s);
    return v;
  }
};

const char kDay1[] = "Mon, 07 Dec 2026 10:00:00 +0000";
const char kDay1Later[] = "Mon, 07 Dec 2026 18:30:00 +0000";
const char kDay2[] = "Tue, 08 Dec 2026 09:00:00 +0000";
const char kDay3[] = "Wed, 09 Dec 2026 09:00:00 +0000";

TEST_F(Download, SameDayPairOnlyTheLaterIsEvaluated) {
  CheckPrefs(PREFS_UPLOADS, 1, 2);
  Mail(year, 2, 222, kDay1Later);  // written first, sorted second
  Mail(year, 1, 111, kDay1);
  LogLines log;
  const TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.found, 2u);
  EXPECT_EQ(r.dropped, 1u);
  EXPECT_EQ(r.passedInfo, 1u);
  EXPECT_EQ(log.Count("doppelten Spielzug"), 1);
  EXPECT_EQ(Mails(), 0u);
  EXPECT_EQ(CheckPrefs(PREFS_QUARTER, 0, 0), 2u);
  EXPECT_EQ(CheckPrefs(PREFS_LAST_MAIL_DATE, 0, 0), (uint32_t)MailDateScale(2026, 11, 7, 18, 30, 0));
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 0u);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({222}));
}

TEST_F(Download, ThreeDaysAreEvaluatedInDateOrder) {
  const uint32_t turns = CheckPrefs(PREFS_TURN_COUNT, 0, 0);
  Mail(year + 1, 0, 333, kDay3);
  Mail(year, 1, 111, kDay1);
  Mail(year, 2, 222, kDay2);
  LogLines log;
  const TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.found, 3u);
  EXPECT_EQ(r.dropped, 0u);
  EXPECT_EQ(r.passedInfo, 3u);
  EXPECT_EQ(log.Count("WARE passed"), 3);  // each one a new quarter
  EXPECT_EQ(log.Count("Fehler von ChunkMachine"), 0);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({111, 222, 333}));
  EXPECT_EQ(CheckPrefs(PREFS_YEAR, 0, 0), year + 1);
  EXPECT_EQ(CheckPrefs(PREFS_QUARTER, 0, 0), 0u);
  EXPECT_EQ(CheckPrefs(PREFS_TURN_COUNT, 0, 0), turns + 3);
  EXPECT_EQ(CheckPrefs(PREFS_NEW_TURN, 0, 0), 1u);
  EXPECT_EQ(Mails(), 0u);
}

// A mail without a Date header counts as fetched now: never the oldest.
TEST_F(Download, AMailWithoutADateSortsAsNow) {
  const std::string undated = Mail(year + 1, 0, 888, kDay1);
  auto bytes = qoe_test::ReadFileBytes(undated);
  std::string text(bytes.begin(), bytes.end());
  ASSERT_EQ(text.rfind("Date: ", 0), 0u);
  text.erase(0, text.find('\n') + 1);
  ASSERT_TRUE(qoe_test::WriteFileBytes(undated, Bytes(text.begin(), text.end())));
  Mail(year, 3, 777, "Sat, 05 Dec 2026 10:00:00 +0000");
  const TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.passedInfo, 2u);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({777, 888}));
  EXPECT_EQ(CheckPrefs(PREFS_YEAR, 0, 0), year + 1);
}

TEST_F(Download, OldTurnsGoButTheNewestIsAlwaysEvaluated) {
  CheckPrefs(PREFS_LAST_MAIL_DATE, 1, (uint32_t)MailDateScale(2026, 11, 10, 0, 0, 0));
  Mail(year, 1, 111, kDay1);
  Mail(year, 2, 222, kDay2);
  LogLines log;
  TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.dropped, 1u);
  EXPECT_EQ(log.Count("alten Spielzug"), 1);
  EXPECT_EQ(r.passedInfo, 1u);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({222}));
  // A single old mail is still taken.
  CheckPrefs(PREFS_LAST_MAIL_DATE, 1, (uint32_t)MailDateScale(2026, 11, 10, 0, 0, 0));
  Mail(year + 1, 0, 333, kDay1);
  r = Evaluate();
  EXPECT_EQ(r.dropped, 0u);
  EXPECT_EQ(r.passedInfo, 1u);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({222, 333}));
}

TEST_F(Download, TheSameQuarterRunsOnlyTheAlwaysPasses) {
  const uint32_t turns = CheckPrefs(PREFS_TURN_COUNT, 0, 0);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/BauScreenGeb.dat", {1, 2, 3}));
  Mail(year, CheckPrefs(PREFS_QUARTER, 0, 0), 444, kDay1);
  LogLines log;
  const TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.passedInfo, 1u);
  for (const char* pass : {"INFO", "LAND", "MAIL", "GEBA", "PMAP", "ANTW"})
    EXPECT_EQ(log.Count(std::string(pass) + " passed"), 1) << pass;
  for (const char* pass : {"WARE", "VERT", "MOVE", "ARMY", "SHIP"})
    EXPECT_EQ(log.Count(std::string(pass) + " passed"), 0) << pass;
  EXPECT_EQ(CheckPrefs(PREFS_TURN_COUNT, 0, 0), turns);
  EXPECT_TRUE(fs::exists("Data/BauScreenGeb.dat"));
  EXPECT_EQ(log.Count("Fehler von ChunkMachine"), 0);
}

TEST_F(Download, AnEmptyFolderFindsNothingAndChangesNothing) {
  CheckPrefs(PREFS_UPLOADS, 1, 3);
  // A foreign player's mail does not count: no mails.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/00009999.email", {'x'}));
  TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.found, 0u);
  EXPECT_STREQ(r.said, GetCatalogStr(71));
  // Own turn mails that cannot be read are named as such, and stay.
  ASSERT_TRUE(qoe_test::WriteFileBytes(std::string("Data/POP3In/") + name + ".email", {'x', 'y'}));
  ASSERT_TRUE(qoe_test::WriteFileBytes(std::string("Data/POP3In/") + name + "_2.email", {'z'}));
  LogLines log;
  r = Evaluate();
  EXPECT_EQ(r.found, 0u);
  EXPECT_STREQ(r.said, GetCatalogStr(1568));
  EXPECT_EQ(log.Count("nicht dekodierbar"), 2);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 3u);
  EXPECT_EQ(Mails(), 3u);
  EXPECT_FALSE(fs::exists("TurnUndo"));
}

TEST_F(Download, TurnsThatCannotBeAppliedChangeNothing) {
  CheckPrefs(PREFS_UPLOADS, 1, 2);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MailOut/E0000001_01.smal", {1}));
  const auto pool = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  // A turn of another player under this player's name: its INFO fails.
  Realm other;
  std::string err;
  ASSERT_TRUE(ParseRealm("player id=4711 name=\"Fremd\"\nturn year=1000 quarter=0\n", "other.realm", &other, &err))
      << err;
  Mail(year + 1, 0, 555, kDay1, &other);
  LogLines log;
  TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.decoded, 1u);
  EXPECT_EQ(r.passedInfo, 0u);
  EXPECT_EQ(log.Count("Fehler von ChunkMachine (INFO)"), 1);
  EXPECT_EQ(log.Count("LAND passed"), 0);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 2u);
  EXPECT_EQ(CheckPrefs(PREFS_LAST_MAIL_DATE, 0, 0), 0u);
  EXPECT_TRUE(fs::exists("Data/MailOut/E0000001_01.smal"));
  EXPECT_EQ(Mails(), 1u);  // kept
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), pool);  // not left behind as the received turn
  for (auto& e : fs::directory_iterator("Data/POP3In"))
    if (e.path().extension() == ".email") fs::remove(e.path());
  // The received pool cannot be written: the mail stays, nothing is reset.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", pool));
  Mail(year + 1, 0, 555, kDay1);
  FileFailWritesAfter(0);
  r = Evaluate();
  FileFailWritesAfter(-1);
  EXPECT_EQ(r.found, 1u);
  EXPECT_EQ(r.decoded, 0u);
  EXPECT_STREQ(r.said, GetCatalogStr(1569));  // not even the copy for the undo record
  EXPECT_FALSE(fs::exists("TurnUndo"));
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 2u);
  EXPECT_EQ(CheckPrefs(PREFS_YEAR, 0, 0), year);
  EXPECT_EQ(Mails(), 1u);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), pool);
  // Once it can be written, the same mail is taken; a letter no upload
  // carried stays whatever INFO flags bit 0 says.
  r = Evaluate();
  EXPECT_EQ(r.passedInfo, 1u);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 0u);
  EXPECT_EQ(CheckPrefs(PREFS_YEAR, 0, 0), year + 1);
  EXPECT_TRUE(fs::exists("Data/MailOut/E0000001_01.smal"));
}

// ---- a kill at any moment of the evaluation ----

using Files = std::map<std::string, Bytes>;

// Every file under Data/ and Map/, by path.
Files RealmFiles() {
  Files f;
  for (const char* top : {"Data", "Map"})
    if (fs::exists(top))
      for (auto& e : fs::recursive_directory_iterator(top))
        if (e.is_regular_file()) f[e.path().string()] = qoe_test::ReadFileBytes(e.path().string());
  return f;
}

std::string Differences(const Files& want, const Files& got) {
  std::string d;
  for (const auto& kv : want) {
    auto it = got.find(kv.first);
    if (it == got.end()) d += " missing " + kv.first;
    else if (it->second != kv.second) d += " differs " + kv.first;
  }
  for (const auto& kv : got)
    if (!want.count(kv.first)) d += " extra " + kv.first;
  return d;
}

// The realm of folder from in place of the working one; what a killed run
// left beside it goes.
void PutBack(const std::string& from) {
  for (const char* d : {"Data", "Map", "TurnUndo"}) fs::remove_all(d);
  fs::copy(from + "/Data", "Data", fs::copy_options::recursive);
  fs::copy(from + "/Map", "Map", fs::copy_options::recursive);
}

// Where the child kills itself: at the nth log line holding a text, or at a
// step of the undo record.
struct SelfKill {
  const char* line = nullptr;
  int nth = 0;
  int step = -1;
};
SelfKill g_kill;
int g_kill_lines = 0;

// Runs fn in a child process without disk syncs, killing itself as g_kill
// says; the parent may kill it from outside after delay_us (< 0: never).
// Returns what the child's end was: true when SIGKILL ended it.
template <typename Fn>
bool RunKilled(Fn fn, const SelfKill& at, long delay_us) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    g_kill = at;
    g_kill_lines = 0;
    FileSyncWrites(0);
    if (at.line)
      DebugLogSetHook([](const char* l, void*) {
        if (std::strstr(l, g_kill.line) && ++g_kill_lines == g_kill.nth) raise(SIGKILL);
      }, nullptr);
    if (at.step >= 0)
      SetTurnUndoHook([](TurnUndoStep s) {
        if ((int)s == g_kill.step) raise(SIGKILL);
      });
    fn();
    _exit(0);
  }
  if (delay_us >= 0) {
    usleep((useconds_t)delay_us);
    kill(pid, SIGKILL);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// What a kill left: the undo record's state and the turn mails still there.
std::string LeftBehind() {
  const auto rec = qoe_test::ReadFileBytes("TurnUndo/Turn.undo");
  size_t mails = 0;
  for (auto& e : fs::directory_iterator("Data/POP3In")) mails += e.path().extension() == ".email";
  const std::string state = rec.size() != 16 ? "no record" : rec[15] == 1 ? "running" : "kept";
  return state + ", " + std::to_string(mails) + " mails";
}

// Three days' turns (each a new quarter with a letter, the last asking for
// the sent letters to go) are evaluated in child processes killed at chosen
// and at random moments; after the next start and download the realm must
// be the one of an uninterrupted run, file for file.
TEST_F(Download, AKillAtAnyMomentOfTheEvaluationEndsAsAnUninterruptedRun) {
  const std::string y = std::to_string(year), y1 = std::to_string(year + 1);
  MailOf("turn year=" + y + " quarter=1\nkorn granary_corn=111\n"
         "letter from=2002 sender=\"Ulf\" subject=\"Gruss\" text=\"Ein Brief.\"\n", kDay1);
  MailOf("turn year=" + y + " quarter=2\nkorn granary_corn=222\n"
         "letter from=2002 sender=\"Ulf\" subject=\"Noch\" text=\"Ein zweiter.\"\n", kDay2);
  MailOf("turn year=" + y1 + " quarter=0\nkorn granary_corn=333\ninfo flags=1\n", kDay3);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MailOut/E00003e9_00.smal", {1, 2, 3}));
  CheckPrefs(PREFS_UPLOADS, 1, 1);
  fs::create_directories("pre");
  fs::copy("Data", "pre/Data", fs::copy_options::recursive);
  fs::copy("Map", "pre/Map", fs::copy_options::recursive);
  const OwnPlayer start = *OwnPlayerPtr;
  DebugLogSetStderr(0);
  FileSyncWrites(0);  // durability is not the point here

  // The uninterrupted run, twice (the same files both times); the second
  // one times its evaluation.
  ASSERT_FALSE(RunKilled([this] { Evaluate(); }, SelfKill{}, -1));
  const Files want = RealmFiles();
  PutBack("pre");
  ASSERT_FALSE(RunKilled([this] {
    const auto t0 = std::chrono::steady_clock::now();
    Evaluate();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
    const std::string t = std::to_string(us.count());
    qoe_test::WriteFileBytes("run_us", Bytes(t.begin(), t.end()));
  }, SelfKill{}, -1));
  ASSERT_EQ(Differences(want, RealmFiles()), "");
  const auto timed = qoe_test::ReadFileBytes("run_us");
  const long run_us = std::stol(std::string(timed.begin(), timed.end()));
  ASSERT_EQ(LeftBehind(), "no record, 0 mails");
  ASSERT_FALSE(fs::exists("TurnUndo"));
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({111, 222, 333}));
  EXPECT_TRUE(fs::exists("Data/MailOut/E00003e9_00.smal"));  // never sent: it waits

  // The next start (RecoverTurnDownload, as main runs it) and download.
  auto next_download = [&](const std::string& what) {
    *OwnPlayerPtr = start;
    ASSERT_EQ(RecoverTurnDownload(), 1) << what;
    Evaluate();
    EXPECT_EQ(Differences(want, RealmFiles()), "") << what;
    EXPECT_FALSE(fs::exists("TurnUndo")) << what;
  };
  // Chosen moments: the copy just made, each mail's first pass after its
  // file went and the year moved on (where the turn used to be lost), the
  // last pass of the last mail, the record saying "kept".
  struct Chosen {
    SelfKill at;
    const char* left;
  };
  const Chosen chosen[] = {
      {{nullptr, 0, TURN_UNDO_COPIED}, "running, 3 mails"},
      {{"WARE passed", 1, -1}, "running, 2 mails"},
      {{"WARE passed", 2, -1}, "running, 1 mails"},
      {{"WARE passed", 3, -1}, "running, 0 mails"},
      {{"ANTW passed", 3, -1}, "running, 0 mails"},
      {{nullptr, 0, TURN_UNDO_KEPT}, "kept, 0 mails"},
  };
  for (const Chosen& c : chosen) {
    PutBack("pre");
    *OwnPlayerPtr = start;
    ASSERT_TRUE(RunKilled([this] { Evaluate(); }, c.at, -1)) << c.left;
    EXPECT_EQ(LeftBehind(), c.left);
    next_download(c.left);
  }
  // A start killed while it puts the copy back: the next one does it again.
  PutBack("pre");
  ASSERT_TRUE(RunKilled([this] { Evaluate(); }, {"WARE passed", 2, -1}, -1));
  ASSERT_TRUE(RunKilled([] { RecoverTurnDownload(); }, {nullptr, 0, TURN_UNDO_RESTORED}, -1));
  EXPECT_EQ(LeftBehind(), "running, 3 mails");
  next_download("killed while putting back");

  // Random moments spread over the whole run (one in each of 30 slices).
  std::mt19937 rng(std::random_device{}());
  std::map<std::string, int> seen;
  constexpr int kSlices = 30;
  for (int i = 0; i < kSlices; i++) {
    PutBack("pre");
    *OwnPlayerPtr = start;
    const long at = run_us * i / kSlices + (long)(rng() % (uint32_t)(run_us / kSlices + 1));
    const bool killed = RunKilled([this] { Evaluate(); }, SelfKill{}, at);
    const std::string left = killed ? LeftBehind() : "ended";
    seen[left]++;
    next_download("killed after " + std::to_string(at) + " us of " + std::to_string(run_us) + ": " + left);
  }
  DebugLogSetStderr(1);
  FileSyncWrites(1);
  std::string summary;
  for (const auto& kv : seen) summary += " [" + kv.first + "] x" + std::to_string(kv.second);
  std::printf("random kills over %ld us:%s\n", run_us, summary.c_str());
  EXPECT_GE(seen.size(), 3u) << summary;
}

// A write that fails anywhere after the copy (the failure hook armed once it
// stands, so every later write fails) is reported, and the next start gives
// the realm back as it was, mails included; with room for every byte the
// same turns are applied.
TEST_F(Download, AWriteFailureDuringTheEvaluationIsReportedAndUndone) {
  Mail(year, 1, 111, kDay1);
  Mail(year, 2, 222, kDay2);
  fs::create_directories("pre");
  fs::copy("Data", "pre/Data", fs::copy_options::recursive);
  fs::copy("Map", "pre/Map", fs::copy_options::recursive);
  const Files before = RealmFiles();
  const OwnPlayer start = *OwnPlayerPtr;
  FileSyncWrites(0);
  static int64_t budget;
  SetTurnUndoHook([](TurnUndoStep s) {
    if (s == TURN_UNDO_COPIED) FileFailWritesAfter(budget);
  });
  auto run = [&](int64_t b) {
    PutBack("pre");
    *OwnPlayerPtr = start;
    budget = b;
    const TurnEvaluation r = Evaluate();
    FileFailWritesAfter(-1);
    return r;
  };
  // The bytes the evaluation writes after the copy: the least budget with
  // which it ends.
  int64_t lo = 0, hi = 4096;
  while (run(hi).passedInfo == 0 && hi < (int64_t)1 << 30) hi *= 2;
  while (lo < hi) {
    const int64_t mid = (lo + hi) / 2;
    if (run(mid).passedInfo > 0) hi = mid;
    else lo = mid + 1;
  }
  const int64_t total = lo;
  ASSERT_GT(total, 16);
  for (int64_t b : {(int64_t)0, total / 3, total * 2 / 3, total - 16, total - 1}) {
    const TurnEvaluation r = run(b);
    EXPECT_EQ(r.passedInfo, 0u) << b;
    EXPECT_STREQ(r.said, GetCatalogStr(1569)) << b;
    EXPECT_EQ(RecoverTurnDownload(), 1) << b;
    EXPECT_EQ(Differences(before, RealmFiles()), "") << b;
  }
  const TurnEvaluation r = run(total);
  EXPECT_EQ(r.passedInfo, 2u);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({111, 222}));
  EXPECT_FALSE(fs::exists("TurnUndo"));
  FileSyncWrites(1);
}

// ---- turns that hold a damaged chunk ----

// A chunk that cannot be loaded is never taken for an absent one: the turn
// is not applied, its mail stays, nothing of the realm changes (the received
// pool included), and the player reads why. A damaged KORN used to mean "no
// new turn", a damaged TOWN "no towns", and the mail was deleted.
TEST_F(Download, ATurnWithADamagedChunkKeepsItsMailAndChangesNothing) {
  CheckPrefs(PREFS_UPLOADS, 1, 2);
  const Bytes next = TurnOf("turn year=" + std::to_string(year + 1) + " quarter=0\nkorn granary_corn=555\n");
  for (const char* id : {"KORN", "TOWN", "GEBA", "MOVE", "LAND", "WARE", "PMAP"}) {
    const Bytes damaged = CutChunk(next, id, 5);
    ASSERT_FALSE(damaged.empty()) << id;
    PoolMail(damaged, kDay1);
    const Files before = RealmFiles();
    LogLines log;
    const TurnEvaluation r = Evaluate();
    EXPECT_EQ(r.decoded, 1u) << id;
    EXPECT_EQ(r.passedInfo, 0u) << id;
    EXPECT_EQ(r.damaged, 1u) << id;
    EXPECT_STREQ(r.said, "A turn mail is damaged and was not evaluated: it stays in the folder Data\\POP3In.") << id;
    EXPECT_EQ(log.Count(std::string("Chunk ") + id + " des Spielzugs ist besch"), 1) << id;
    EXPECT_EQ(log.Count("passed"), 0) << id;
    EXPECT_EQ(Differences(before, RealmFiles()), "") << id;
    EXPECT_EQ(Mails(), 1u) << id;
    EXPECT_FALSE(fs::exists("TurnUndo")) << id;
    RemoveMails();
  }
  // A mask that names a chunk the turn lacks is the same.
  Bytes named = next;
  PutBE32(named.data() + INFO_CHUNK_MASK, GetBE32(named.data() + INFO_CHUNK_MASK) | ChunkBit(CHUNK_ANFR));
  PoolMail(named, kDay1);
  const Files before = RealmFiles();
  TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.damaged, 1u);
  EXPECT_EQ(Differences(before, RealmFiles()), "");
  // The whole turn is taken.
  RemoveMails();
  PoolMail(next, kDay1);
  r = Evaluate();
  EXPECT_EQ(r.passedInfo, 1u);
  EXPECT_EQ(r.damaged, 0u);
  EXPECT_EQ(Mails(), 0u);
  EXPECT_EQ(CheckPrefs(PREFS_YEAR, 0, 0), year + 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), next);
}

// Between good mails a damaged one waits: the others are applied, the
// received pool is the last applied turn's, and the closing text says so.
TEST_F(Download, ADamagedMailAmongGoodOnesWaitsWhileTheOthersAreApplied) {
  Mail(year, 1, 111, kDay1);
  const std::string damaged =
      PoolMail(CutChunk(TurnOf("turn year=" + std::to_string(year) + " quarter=2\n"), "TOWN", 5), kDay2);
  const Bytes last = TurnOf("turn year=" + std::to_string(year) + " quarter=3\nkorn granary_corn=333\n");
  PoolMail(last, kDay3);
  const TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.decoded, 3u);
  EXPECT_EQ(r.passedInfo, 2u);
  EXPECT_EQ(r.damaged, 1u);
  EXPECT_STREQ(r.said, "received data. A damaged turn mail was not evaluated: it stays in the folder Data\\POP3In.");
  EXPECT_TRUE(fs::exists(damaged));
  EXPECT_EQ(Mails(), 1u);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({111, 333}));
  EXPECT_EQ(CheckPrefs(PREFS_QUARTER, 0, 0), 3u);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), last);
  // The newest mail damaged: the turn before it stays the received one.
  const Bytes pool = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  fs::remove(damaged);
  PoolMail(CutChunk(TurnOf("turn year=" + std::to_string(year + 1) + " quarter=0\n"), "KORN", 5), kDay3);
  const TurnEvaluation again = Evaluate();
  EXPECT_EQ(again.damaged, 1u);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), pool);
  EXPECT_EQ(CheckPrefs(PREFS_QUARTER, 0, 0), 3u);
}

// NeuerSpielzug on a damaged KORN says so instead of "no new turn", and
// records nothing.
TEST_F(Download, NewTurnOfADamagedKornIsAFailure) {
  const Bytes next = TurnOf("turn year=" + std::to_string(year + 1) + " quarter=0\n");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", CutChunk(next, "KORN", 5)));
  const uint32_t turns = CheckPrefs(PREFS_TURN_COUNT, 0, 0);
  CheckPrefs(PREFS_NEW_TURN, 1, 0);
  EXPECT_EQ(NeuerSpielzug(), -1);
  EXPECT_EQ(CheckPrefs(PREFS_YEAR, 0, 0), year);
  EXPECT_EQ(CheckPrefs(PREFS_TURN_COUNT, 0, 0), turns);
  EXPECT_EQ(CheckPrefs(PREFS_NEW_TURN, 0, 0), 0u);
}

TEST_F(Download, TheCloseStopsTheEvaluationAndTheNextStartUndoesIt) {
  Mail(year, 1, 111, kDay1);
  Mail(year, 2, 222, kDay2);
  const Files before = RealmFiles();
  // The close asked for before the evaluation: nothing starts.
  RequestProgramClose();
  EXPECT_EQ(Evaluate().passedInfo, 0u);
  EXPECT_EQ(Differences(before, RealmFiles()), "");
  EXPECT_FALSE(fs::exists("TurnUndo"));
  // SIGTERM in the middle of the first mail's passes: the evaluation stops
  // there, leaves the undo record running, and the next start takes it all
  // back.
  ClearProgramClose();
  InstallCloseSignalHandlers();
  DebugLogSetHook([](const char* l, void*) {
    if (std::strstr(l, "MAIL passed")) raise(SIGTERM);
  }, nullptr);
  const TurnEvaluation r = Evaluate();
  DebugLogSetHook(nullptr, nullptr);
  RemoveCloseSignalHandlers();
  EXPECT_EQ(r.passedInfo, 0u);
  EXPECT_EQ(LeftBehind(), "running, 1 mails");  // the first mail went with its INFO
  ClearProgramClose();
  EXPECT_EQ(RecoverTurnDownload(), 1);
  EXPECT_EQ(Differences(before, RealmFiles()), "");
  // The preset account's countdown stops too.
  static int waits;
  waits = 0;
  SetDownloadDelay([](int32_t) { waits++; });
  EndpointConfig& e = QoESystemPtr->Endpoints;
  std::snprintf(e.MailDomain, sizeof e.MailDomain, "quill.example");
  CheckPrefsStr(PREFS_EMAIL, 1, "harald@quill.example");
  RequestProgramClose();
  CheckPresetMailAccount();
  EXPECT_EQ(waits, 0);
  EXPECT_EQ(ResidenzDownload(nullptr, nullptr), 0);  // and nothing is fetched
  EXPECT_EQ(Mails(), 2u);
  ClearProgramClose();
}

TEST_F(Download, NewTurnIsRecordedOnce) {
  fs::remove("Data/POP3In/GameChunk.qoe");
  EXPECT_EQ(NeuerSpielzug(), 1);  // no received turn at all
  Realm r = realm;
  std::string err;
  ASSERT_TRUE(ParseRealm("turn year=" + std::to_string(year) + " quarter=3\n", "n.changes", &r, &err, true)) << err;
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildTurnPool(r)));
  CheckPrefs(PREFS_NEW_TURN, 1, 0);
  const uint32_t turns = CheckPrefs(PREFS_TURN_COUNT, 0, 0);
  EXPECT_EQ(NeuerSpielzug(), 1);
  EXPECT_EQ(OwnPlayerPtr->ReceivedQuarter, 3u);
  EXPECT_EQ(CheckPrefs(PREFS_QUARTER, 0, 0), 3u);
  EXPECT_EQ(CheckPrefs(PREFS_NEW_TURN, 0, 0), 1u);
  EXPECT_EQ(CheckPrefs(PREFS_TURN_COUNT, 0, 0), turns + 1);
  EXPECT_EQ(NeuerSpielzug(), 0);
  EXPECT_EQ(CheckPrefs(PREFS_TURN_COUNT, 0, 0), turns + 1);
  // A received pool without KORN is no new turn.
  RemChunkPool("KORN", ReceivedPoolPath);
  EXPECT_EQ(NeuerSpielzug(), 0);
}

TEST_F(Download, PresetAccountCountsDownLongerEachTime) {
  static int waits;
  waits = 0;
  SetDownloadDelay([](int32_t ticks) { waits += ticks == 50; });
  EndpointConfig& e = QoESystemPtr->Endpoints;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  std::snprintf(e.MailDomain, sizeof e.MailDomain, "quill.example");
  std::snprintf(e.SharedMailboxPassword, sizeof e.SharedMailboxPassword, "faltplanke");
  CheckPrefsStr(PREFS_EMAIL, 1, "harald@elsewhere.example");
  CheckPrefs(PREFS_PRESET_WAIT, 1, 0);
  CheckPresetMailAccount();  // the player's own account: no wait
  EXPECT_EQ(waits, 0);
  std::snprintf(o.smtp_host, sizeof o.smtp_host, "quill.example:25");
  std::snprintf(o.smtp_user, sizeof o.smtp_user, "faltplanke17");
  std::snprintf(o.smtp_password, sizeof o.smtp_password, "faltplanke");
  CheckPresetMailAccount();
  EXPECT_EQ(waits, 10);
  EXPECT_EQ(CheckPrefs(PREFS_PRESET_WAIT, 0, 0), 10u);
  CheckPresetMailAccount();
  EXPECT_EQ(waits, 21);
  // Another password is another account; an address at the provider still waits.
  std::snprintf(o.smtp_password, sizeof o.smtp_password, "secret");
  CheckPresetMailAccount();
  EXPECT_EQ(waits, 21);
  CheckPrefsStr(PREFS_EMAIL, 1, "faltplanke17@quill.example");
  CheckPresetMailAccount();
  EXPECT_EQ(waits, 33);
}

TEST(DownloadNews, AnswersAreCheckedAndTheNameEncoded) {
  struct Case {
    std::string reply;
    const char* text;  // null: no news
  };
  const Case cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 15\r\n\r\n200 OK\nNews!\n", "News!\n"},
      {"HTTP/1.1 200 OK\r\n\r\n200 OK\n", ""},
      {"HTTP/1.1 200 OK\r\n\r\n404 No news", nullptr},
      {"HTTP/1.1 200 OK\r\n\r\n200 OK", nullptr},  // shorter than 7 bytes
      {"HTTP/1.1 200 OK\r\n\r\n", nullptr},
      {"HTTP/1.1 200 OK\r\n200 OK\nNo blank line", nullptr},
      {"HTTP/1.1 200 OK\r\n\r\nOK 200 and more", nullptr},
      {"HTTP/1.1 200 OK\r\n\r\n2000000 too big", nullptr},
      {"HTTP/1.1 200 OK\r\n\r\n0200 OK\nShifted", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    char* t = NewsText(c.reply.data(), (uint32_t)c.reply.size());
    if (!c.text) {
      EXPECT_EQ(t, nullptr) << c.reply;
    } else {
      ASSERT_NE(t, nullptr) << c.reply;
      EXPECT_STREQ(t, c.text);
    }
    if (t) FreeVec(t);
  }
  // The blank line is only looked for inside the answer.
  const char cut[] = "HTTP/1.1 200 OK\r\n\r";
  EXPECT_EQ(NewsText(cut, sizeof cut - 1), nullptr);

  // FetchNews asks the web host for the player's page.
  static std::string asked;
  *OwnPlayerPtr = OwnPlayer{};
  std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "Harald der Alte.");
  std::snprintf(OwnPlayerPtr->WebHost, sizeof OwnPlayerPtr->WebHost, "news.example");
  std::snprintf(OwnPlayerPtr->WebPath, sizeof OwnPlayerPtr->WebPath, "/qoe/");
  SetNewsGet([](const char* host, const char* path, uint32_t* size) -> char* {
    asked = std::string(host) + " " + path;
    static const char kReply[] = "HTTP/1.1 404 Not Found\r\n\r\n404 none";
    char* r = static_cast<char*>(AllocVec(sizeof kReply, MEMF_PUBLIC));
    std::memcpy(r, kReply, sizeof kReply);
    *size = sizeof kReply - 1;
    return r;
  });
  EXPECT_EQ(FetchNews(nullptr, nullptr), 0);
  EXPECT_EQ(asked, "news.example /qoe/fetch_news.php?username=Harald%20der%20Alte%2E");
  ResetDownloadState();
  *OwnPlayerPtr = OwnPlayer{};
}

}  // namespace

// ---- against real servers -------------------------------------------------------

namespace {

class DownloadServers : public Download {
 protected:
  qoe_peers::PeerDir dir;
  qoe_peers::Dovecot dovecot;
  const std::vector<qoe_peers::MailUser> users = {{"zuege", "secret"}, {"player", "secret"}};
  void SetUp() override {
    Download::SetUp();
    std::string err;
    ASSERT_TRUE(qoe_peers::MakeCertificate(dir.path, &err)) << err;
    ASSERT_TRUE(qoe_peers::StartDovecot(dir.path, users, &dovecot, &err)) << err;
    QoESystemPtr->Endpoints.MailTls = TLS_OFF;
    QoESystemPtr->TcpIpStack = 4;
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    OptionenPrefs& o = QoESystemPtr->Optionen;
    std::snprintf(o.pop3_host, sizeof o.pop3_host, "127.0.0.1:%u", dovecot.pop3);
    std::snprintf(o.pop3_user, sizeof o.pop3_user, "player");
    std::snprintf(o.pop3_password, sizeof o.pop3_password, "secret");
    std::snprintf(o.email, sizeof o.email, "player@localhost");
    SetGameDataOwner(realm.player_id, realm.player_name.c_str());
  }
  void TearDown() override {
    MailSetTimeoutMs(0);
    SetGameDataOwner(0, nullptr);
    Download::TearDown();
  }
  // A turn mail of the next quarters, as the server sends it.
  std::string TurnText(uint32_t quarter, uint32_t corn, const std::string& date) {
    Realm r = realm;
    std::string err;
    EXPECT_TRUE(ParseRealm("turn year=" + std::to_string(year) + " quarter=" + std::to_string(quarter) +
                               "\nkorn granary_corn=" + std::to_string(corn) + "\n",
                           "next.changes", &r, &err, true))
        << err;
    return BuildTurnMail(BuildTurnPool(r), name, "player@localhost", date);
  }
  const char* Fetch() {
    static char status[400];
    return HoleSpielzugMail(name, status, sizeof status);
  }
};

// Fetches 1 and 2 ask the mailbox although the options name the game
// server; the third asks the server; a refused +SID fetches nothing and
// keeps the route; a refused +GET switches the run to the mailbox at once.
TEST_F(DownloadServers, RouteChoiceOverFetchesFromDovecotAndTheGameServer) {
  qoe_peers::GameServerDouble server;
  std::string err;
  const std::string turns = dir.path + "/turns", script = dir.path + "/script", transcript = dir.path + "/transcript";
  fs::create_directories(turns);
  ASSERT_TRUE(qoe_peers::WriteText(turns + "/a.email", TurnText(3, 300, kDay3)));
  ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, {"--turns", turns, "--script", script, "--transcript", transcript},
                                         &server, &err))
      << err;
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                server.port);
  uint8_t& bits = QoESystemPtr->Optionen.net_option_bits;
  bits = NET_SERVER_ROUTE;
  ASSERT_TRUE(qoe_peers::DropMail(dovecot.mail_root, "player", TurnText(1, 100, kDay1)));
  EXPECT_STREQ(Fetch(), "ok");
  EXPECT_EQ(Mails(), 1u);
  ASSERT_TRUE(qoe_peers::DropMail(dovecot.mail_root, "player", TurnText(2, 200, kDay1Later)));
  EXPECT_STREQ(Fetch(), "ok");
  EXPECT_EQ(Mails(), 2u);
  EXPECT_FALSE(fs::exists(transcript));  // the server was not asked yet
  ASSERT_TRUE(qoe_peers::DropMail(dovecot.mail_root, "player", TurnText(2, 333, kDay2)));
  LogLines log;
  EXPECT_STREQ(Fetch(), "ok");
  EXPECT_EQ(log.Count("Mail per TCPIP holen"), 1);
  EXPECT_EQ(Mails(), 3u);
  EXPECT_EQ(qoe_peers::MaildirFiles(dovecot.mail_root, "player").size(), 1u);  // the mailbox kept its mail
  EXPECT_EQ(bits, NET_SERVER_ROUTE);
  // +SID refused: nothing fetched, nothing said, the route kept.
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail SID who are you\n"));
  EXPECT_EQ(Fetch(), nullptr);
  EXPECT_EQ(bits, NET_SERVER_ROUTE);
  EXPECT_EQ(qoe_peers::MaildirFiles(dovecot.mail_root, "player").size(), 1u);
  // +GET refused: the mailbox at once, and for the rest of the run.
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail GET no turns today\n"));
  EXPECT_STREQ(Fetch(), "ok");
  EXPECT_EQ(bits, NET_MAIL_ROUTE);
  EXPECT_EQ(Mails(), 4u);
  EXPECT_EQ(qoe_peers::MaildirFiles(dovecot.mail_root, "player").size(), 0u);
  ASSERT_TRUE(qoe_peers::WriteText(script, ""));
  const std::string asked = qoe_peers::ReadText(transcript);
  EXPECT_STREQ(Fetch(), "ok");
  EXPECT_EQ(qoe_peers::ReadText(transcript), asked);
  // The four fetched turns in date order: the first a same-day duplicate,
  // the third the same quarter again (no second statistics record), the
  // double's the newest.
  const TurnEvaluation r = Evaluate();
  EXPECT_EQ(r.found, 4u);
  EXPECT_EQ(r.dropped, 1u);
  EXPECT_EQ(r.passedInfo, 3u);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({200, 300}));
  // A mailbox that refuses the log-in: its answer is the status.
  std::snprintf(QoESystemPtr->Optionen.pop3_password, sizeof QoESystemPtr->Optionen.pop3_password, "wrong");
  const std::string refused = Fetch();
  EXPECT_EQ(refused.rfind("-ERR", 0), 0u) << refused;
}

// A realm set up by GameInit; its turn fetched from dovecot and evaluated;
// the orders sent through exim arrive at the turn mailbox byte for byte.
TEST_F(DownloadServers, EndToEndFromDovecotThroughTheEvaluationToExim) {
  std::string err;
  qoe_peers::Exim exim;
  ASSERT_TRUE(qoe_peers::StartExim(dir.path, users, &exim, &err)) << err;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  o.net_option_bits = NET_MAIL_ROUTE;
  std::snprintf(o.smtp_host, sizeof o.smtp_host, "127.0.0.1:%u", exim.smtp);
  std::snprintf(o.smtp_user, sizeof o.smtp_user, "player");
  std::snprintf(o.smtp_password, sizeof o.smtp_password, "secret");
  std::snprintf(QoESystemPtr->Endpoints.TurnMailbox, sizeof QoESystemPtr->Endpoints.TurnMailbox, "zuege@localhost");
  ASSERT_TRUE(qoe_peers::DropMail(dovecot.mail_root, "player", TurnText(2, 4321, "")));
  EXPECT_STREQ(Fetch(), "ok");
  const TurnEvaluation r = Evaluate();
  ASSERT_EQ(r.passedInfo, 1u);
  EXPECT_EQ(CheckPrefs(PREFS_QUARTER, 0, 0), 2u);
  EXPECT_EQ(GranaryCorn(), std::vector<uint32_t>({4321}));
  // An order of the player, then the upload.
  uint8_t* taxe = LoadChunk2Mem("TAXE", ReceivedPoolPath);
  ASSERT_NE(taxe, nullptr);
  ChunkPut32(taxe, 12, 42);
  ASSERT_EQ(AddChunkPool(taxe, OutgoingPoolPath), 1);
  FreeChunk(taxe);
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  ASSERT_TRUE(qoe_peers::WaitMaildir(dovecot.mail_root, "zuege", 1, 10000));
  const auto files = qoe_peers::MaildirFiles(dovecot.mail_root, "zuege");
  ASSERT_EQ(files.size(), 1u);
  const std::string mail = qoe_peers::ReadText(files[0]);
  uint8_t* out = nullptr;
  uint32_t len = 0;
  ASSERT_EQ(VDecode(mail.data(), mail.size(), &out, &len), VDECODE_OK);
  // The orders became the turn as sent, but for the goods file's WARE,
  // which stays at home.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/sent.qoe", Bytes(out, out + len)));
  FreeVec(out);
  ASSERT_NE(LoadedChunk("WARE", ".\\Data\\WarenChunk.qoe").p, nullptr);
  ASSERT_EQ(RemChunkPool("WARE", ".\\Data\\POP3In\\sent.qoe"), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/sent.qoe"), qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"));
  uint8_t* sent = LoadChunk2Mem("TAXE", OutgoingPoolPath);
  ASSERT_NE(sent, nullptr);
  EXPECT_EQ(ChunkGet32(sent, 12), 42u);
  FreeChunk(sent);
  EXPECT_NE(mail.find("Subject: Quill of Elmor 00001001"), std::string::npos);
}

}  // namespace

namespace {

// The news page from nginx: a page that begins with 200 is news, any other
// answer (a refusal in the body, nginx's own 404, no server) is none.
TEST(DownloadNews, FromNginx) {
  qoe_peers::PeerDir dir;
  qoe_peers::Nginx nginx;
  std::string err;
  ASSERT_TRUE(qoe_peers::StartNginx(dir.path, &nginx, &err)) << err;
  *OwnPlayerPtr = OwnPlayer{};
  std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "Harald");
  std::snprintf(OwnPlayerPtr->WebHost, sizeof OwnPlayerPtr->WebHost, "127.0.0.1:%u", nginx.port);
  std::snprintf(OwnPlayerPtr->WebPath, sizeof OwnPlayerPtr->WebPath, "/qoe/");
  fs::create_directories(nginx.root + "/qoe");
  ASSERT_TRUE(qoe_peers::WriteText(nginx.root + "/qoe/fetch_news.php", "200 OK\nThe harvest was good.\n"));
  EXPECT_EQ(FetchNews(nullptr, nullptr), 1);
  ASSERT_TRUE(qoe_peers::WriteText(nginx.root + "/qoe/fetch_news.php", "403 unknown player\n"));
  EXPECT_EQ(FetchNews(nullptr, nullptr), 0);
  fs::remove(nginx.root + "/qoe/fetch_news.php");
  EXPECT_EQ(FetchNews(nullptr, nullptr), 0);
  nginx.server.Stop();
  EXPECT_EQ(FetchNews(nullptr, nullptr), 0);
  *OwnPlayerPtr = OwnPlayer{};
}

}  // namespace
