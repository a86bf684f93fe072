// Commit records: a file set's commit killed or failed at any moment ends,
// after the next start's FinishCommitRecords, as the old files or the new
// ones, never a mix; damaged records are dropped, records that cannot be
// finished are left whole and reported, and no record leads outside the
// working folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/checksum.h"
#include "routinen/system/files.h"
#include "tests/support/kill_loop.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qoe_test::ReadFileBytes;
using qoe_test::WriteFileBytes;

namespace {

using FileTree = std::map<std::string, std::vector<uint8_t>>;

bool IsCommitLeftover(const std::string& name) {
  return name.rfind(".qoecommit-", 0) == 0 || name.rfind(".qoetmp-", 0) == 0;
}

// Every regular file under dir with its bytes (folders, records and staged
// files aside).
FileTree FilesUnder(const std::string& dir) {
  FileTree out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_regular_file() && !it->is_symlink() && !IsCommitLeftover(it->path().filename().string()))
      out[it->path().lexically_normal().string()] = ReadFileBytes(it->path().string());
  return out;
}

// The files missing, extra or different ("" when the two are the same).
std::string TreeDiff(const FileTree& got, const FileTree& want) {
  std::string d;
  for (const auto& w : want) {
    auto g = got.find(w.first);
    if (g == got.end()) d += "missing " + w.first + "; ";
    else if (g->second != w.second) d += "differs " + w.first + "; ";
  }
  for (const auto& g : got)
    if (!want.count(g.first)) d += "extra " + g.first + "; ";
  return d;
}

// Commit records and staged files anywhere under dir.
std::vector<std::string> CommitLeftovers(const std::string& dir = ".") {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (IsCommitLeftover(it->path().filename().string())) out.push_back(it->path().string());
  return out;
}


std::vector<uint8_t> Content(uint32_t seed, size_t size) {
  std::vector<uint8_t> b(size);
  for (size_t i = 0; i < size; i++) b[i] = (uint8_t)((seed * 2654435761u + i * 40503u) >> 7);
  return b;
}

void Put(const std::string& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  ASSERT_TRUE(WriteFileBytes(path, bytes));
}

// The game before the commit: files in Data, Data/Cities and Map.
void WriteOldState() {
  fs::remove_all("Data");
  fs::remove_all("Map");
  for (const auto& e : fs::directory_iterator("."))
    if (e.path().filename().string().rfind(".qoecommit-", 0) == 0) fs::remove(e.path());
  for (uint32_t i = 0; i < 30; i++) Put("Data/File" + std::to_string(i) + ".dat", Content(i, 100 + i * 37));
  for (uint32_t i = 0; i < 5; i++) Put("Data/Gone" + std::to_string(i) + ".dat", Content(500 + i, 64));
  for (uint32_t i = 0; i < 8; i++) Put("Map/M_" + std::to_string(i) + ".map", Content(900 + i, 2000));
  Put("Data/Cities/Town1.qoe", Content(77, 300));
}

// The one set under test: 30 replaced files (two of them by the same bytes),
// 6 new ones, 5 removals.
int32_t CommitNewState() {
  FileSet* set = BeginFileSet();
  if (!set) return 0;
  int32_t ok = 1;
  auto write = [&](const std::string& path, const std::vector<uint8_t>& b) {
    ok = FileSetWrite(set, path.c_str(), b.data(), (uint32_t)b.size()) && ok;
  };
  for (uint32_t i = 0; i < 30; i++)
    write(".\\Data\\File" + std::to_string(i) + ".dat", i < 2 ? Content(i, 100 + i * 37) : Content(1000 + i, 50 + i * 51));
  for (uint32_t i = 0; i < 5; i++) write(".\\Data\\New" + std::to_string(i) + ".dat", Content(2000 + i, 80));
  for (uint32_t i = 0; i < 8; i++) write(".\\Map\\M_" + std::to_string(i) + ".map", Content(3000 + i, 2000));
  write(".\\Data\\Cities\\Town1.qoe", Content(78, 310));
  for (uint32_t i = 0; i < 5; i++) ok = FileSetRemove(set, (".\\Data\\Gone" + std::to_string(i) + ".dat").c_str()) && ok;
  return CommitFileSet(set) && ok;
}

// Every file of the game (the log beside it aside).
FileTree GameFiles() {
  FileTree t = FilesUnder("Data"), m = FilesUnder("Map");
  t.insert(m.begin(), m.end());
  return t;
}

struct States {
  FileTree old_files, new_files;
};

States MakeStates() {
  States s;
  WriteOldState();
  s.old_files = GameFiles();
  EXPECT_EQ(CommitNewState(), 1);
  s.new_files = GameFiles();
  EXPECT_TRUE(CommitLeftovers().empty());
  WriteOldState();
  return s;
}

std::vector<std::string> Records() {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator("."))
    if (e.path().filename().string().rfind(".qoecommit-", 0) == 0) out.push_back(e.path().filename().string());
  return out;
}

// Runs the commit in a child that kills itself at the first disk sync that
// `at` accepts (a commit record's folder, the folders after the renames).
using SyncFilter = bool (*)(const char* path, int32_t folder);
void CommitKilledAt(SyncFilter at) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    static SyncFilter filter;
    filter = at;
    FileSetSyncHook(
        [](const char* p, int32_t folder, void*) -> int32_t {
          if (filter(p, folder)) raise(SIGKILL);
          return 1;
        },
        nullptr);
    _exit(CommitNewState() == 1 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
}

bool AtRecordFolder(const char* p, int32_t folder) { return folder && std::strcmp(p, ".") == 0; }

// The staged file of each target that a killed commit left (one per target).
std::vector<std::pair<std::string, std::string>> StagedFiles() {
  std::vector<std::pair<std::string, std::string>> out;
  for (const std::string& t : CommitLeftovers()) {
    const fs::path p(t);
    const std::string name = p.filename().string();
    if (name.rfind(".qoetmp-", 0) != 0) continue;
    const std::string target = name.substr(8, name.rfind('.') - 8);
    out.push_back({t, (p.parent_path() / target).string()});
  }
  std::sort(out.begin(), out.end());
  return out;
}

struct HookCalls {
  static std::vector<std::string>& Problems() {
    static std::vector<std::string> v;
    return v;
  }
  HookCalls() {
    Problems().clear();
    SetCommitRecordHook([](const char* record, const char* problem) {
      Problems().push_back(std::string(record) + ": " + problem);
    });
  }
  ~HookCalls() { SetCommitRecordHook(nullptr); }
};

// A record by the documented layout (tests craft their own).
struct RecordRename {
  std::string staged, target;
  std::vector<uint8_t> bytes;
};
// The format before ("QCOMMIT1"), or with states = true today's, each target
// noted as absent.
std::vector<uint8_t> CraftRecord(const std::vector<RecordRename>& renames, const std::vector<std::string>& removals,
                                 bool states = false) {
  const size_t head = states ? 28 : 20;
  std::vector<uint8_t> img(head);
  std::memcpy(img.data(), states ? "QCOMMIT2" : "QCOMMIT1", 8);
  if (states) PutBE32(img.data() + 16, 7);  // sequence number 7
  PutBE32(img.data() + head - 8, (uint32_t)renames.size());
  PutBE32(img.data() + head - 4, (uint32_t)removals.size());
  const std::vector<uint8_t> absent(states ? 33 : 0, 0);
  auto text = [&img](const std::string& t) {
    uint8_t n[2];
    PutBE16(n, (uint16_t)t.size());
    img.insert(img.end(), n, n + 2);
    img.insert(img.end(), t.begin(), t.end());
  };
  for (const auto& r : renames) {
    text(r.staged);
    text(r.target);
    uint8_t v[8];
    PutBE32(v, (uint32_t)r.bytes.size());
    PutBE32(v + 4, Crc32(r.bytes.data(), (uint32_t)r.bytes.size()));
    img.insert(img.end(), v, v + 8);
    img.insert(img.end(), absent.begin(), absent.end());
  }
  for (const auto& r : removals) {
    text(r);
    img.insert(img.end(), absent.begin(), absent.end());
  }
  PutBE32(img.data() + 8, (uint32_t)(img.size() + 4 - 12));
  uint8_t crc[4];
  PutBE32(crc, Crc32(img.data(), (uint32_t)img.size()));
  img.insert(img.end(), crc, crc + 4);
  return img;
}

}  // namespace

TEST(CommitRecord, EveryPartOfTheRenamesDoneIsFinishedByTheNextStart) {
  const States s = MakeStates();
  // A kill once the record stands: the next start carries out the whole set,
  // however many of its renames and removals the killed commit had done.
  for (size_t done = 0;; done++) {
    WriteOldState();
    CommitKilledAt(AtRecordFolder);
    ASSERT_EQ(Records().size(), 1u);
    const auto staged = StagedFiles();
    ASSERT_EQ(staged.size(), 42u);  // the two unchanged files need no rename
    for (size_t i = 0; i < std::min(done, staged.size()); i++)
      ASSERT_EQ(::rename(staged[i].first.c_str(), staged[i].second.c_str()), 0);
    if (done > staged.size())
      for (uint32_t i = 0; i < 5; i++) fs::remove("Data/Gone" + std::to_string(i) + ".dat");
    EXPECT_EQ(FinishCommitRecords(), 0) << done;
    EXPECT_EQ(TreeDiff(GameFiles(), s.new_files), "") << done;
    EXPECT_TRUE(CommitLeftovers().empty()) << done;
    if (done > staged.size()) break;
    done += done < 3 ? 0 : 4;
  }
  // After the renames, before the record went: nothing left to do but drop it.
  WriteOldState();
  CommitKilledAt([](const char* p, int32_t folder) { return folder && std::strcmp(p, ".") != 0; });
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(TreeDiff(GameFiles(), s.new_files), "");
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_EQ(TreeDiff(GameFiles(), s.new_files), "");
  EXPECT_TRUE(CommitLeftovers().empty());
  // A second finish finds nothing to do, and a later commit works.
  EXPECT_EQ(FinishCommitRecords(), 0);
  WriteOldState();
  EXPECT_EQ(CommitNewState(), 1);
  EXPECT_EQ(TreeDiff(GameFiles(), s.new_files), "");
}

TEST(CommitRecord, KilledAtRandomMomentsEndsAsTheOldOrTheNewFiles) {
  const States s = MakeStates();
  // A kill is no power cut: the flushes would only slow the loop.
  FileSyncWrites(0);
  // How long a whole commit takes.
  int64_t span_us = 1;
  for (int i = 0; i < 3; i++) {
    WriteOldState();
    span_us = std::max(span_us, qoe_test::MicrosOf([] { EXPECT_EQ(CommitNewState(), 1); }));
  }
  srand(11);
  int olds = 0, news = 0, with_record = 0;
  const int kRuns = 100;
  for (int run = 0; run < kRuns; run++) {
    WriteOldState();
    qoe_test::KillAfterStart([] { return CommitNewState() == 1 ? 0 : 1; }, rand() % (2 * span_us + 1));
    if (!Records().empty()) with_record++;
    // The next start.
    ASSERT_EQ(FinishCommitRecords(), 0) << run;
    const FileTree now = GameFiles();
    if (TreeDiff(now, s.old_files).empty()) olds++;
    else if (TreeDiff(now, s.new_files).empty()) news++;
    else ADD_FAILURE() << "run " << run << ": " << TreeDiff(now, s.new_files);
    const auto left = CommitLeftovers();
    EXPECT_TRUE(left.empty()) << run << ": " << left.front();
  }
  FileSyncWrites(1);
  EXPECT_EQ(olds + news, kRuns);
  // Some kills landed while a record stood (the loop reached the renames).
  EXPECT_GT(with_record + news, 0);
  RecordProperty("old", olds);
  RecordProperty("new", news);
  RecordProperty("record", with_record);
  WriteOldState();
  EXPECT_EQ(CommitNewState(), 1);
  EXPECT_EQ(TreeDiff(GameFiles(), s.new_files), "");
}

TEST(CommitRecord, DamagedOrHalfWrittenRecordIsDroppedWithItsStagedFiles) {
  const States s = MakeStates();
  WriteOldState();
  CommitKilledAt(AtRecordFolder);
  ASSERT_EQ(Records().size(), 1u);
  const std::string record = Records()[0];
  const std::vector<uint8_t> whole = ReadFileBytes(record);
  ASSERT_GT(whole.size(), 100u);
  // Cut short at several lengths, one byte changed, garbage, empty: no rename
  // can have begun, so the old files stay and the staged ones go.
  std::vector<std::vector<uint8_t>> damaged = {{}, {'Q'}, std::vector<uint8_t>(whole.begin(), whole.begin() + 19),
                                               std::vector<uint8_t>(whole.begin(), whole.end() - 1),
                                               std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2),
                                               Content(5, 700)};
  for (size_t at : {0u, 9u, 13u, 17u, 25u, 60u}) {
    std::vector<uint8_t> b = whole;
    b[at] ^= 0x20;
    damaged.push_back(b);
  }
  for (size_t i = 0; i < damaged.size(); i++) {
    WriteOldState();
    CommitKilledAt(AtRecordFolder);
    ASSERT_EQ(Records().size(), 1u);
    ASSERT_TRUE(WriteFileBytes(Records()[0], damaged[i]));
    qoe_test::LogLines log;
    EXPECT_EQ(FinishCommitRecords(), 0) << i;
    EXPECT_TRUE(log.Has("verworfen")) << i;
    EXPECT_EQ(TreeDiff(GameFiles(), s.old_files), "") << i;
    EXPECT_TRUE(CommitLeftovers().empty()) << i;
  }
}

TEST(CommitRecord, RecordThatCannotBeFinishedIsLeftWholeAndReported) {
  const States s = MakeStates();
  struct Case {
    const char* what;
    void (*spoil)(const std::vector<std::pair<std::string, std::string>>& staged);
    void (*mend)(const std::vector<std::pair<std::string, std::string>>& staged);
  };
  const Case cases[] = {
      {"is gone", [](const auto& staged) { fs::remove(staged[3].first); }, nullptr},
      {"is damaged",
       [](const auto& staged) {
         auto b = ReadFileBytes(staged[5].first);
         b[b.size() / 2] ^= 1;
         ASSERT_TRUE(WriteFileBytes(staged[5].first, b));
       },
       nullptr},
  };
  for (const Case& c : cases) {
    WriteOldState();
    CommitKilledAt(AtRecordFolder);
    const auto staged = StagedFiles();
    ASSERT_EQ(staged.size(), 42u);
    c.spoil(staged);
    const FileTree before = GameFiles();
    const auto left_before = CommitLeftovers();
    HookCalls hook;
    qoe_test::LogLines log;
    // Nothing of the set is applied: the files stay as they were, the record
    // and its staged files too (the sweep keeps them), the player is told.
    EXPECT_EQ(FinishCommitRecords(), 1) << c.what;
    EXPECT_EQ(TreeDiff(GameFiles(), before), "") << c.what;
    EXPECT_EQ(CommitLeftovers(), left_before) << c.what;
    EXPECT_EQ(RemoveStaleTempFiles(".\\", 6), 0u) << c.what;
    EXPECT_EQ(CommitLeftovers(), left_before) << c.what;
    ASSERT_EQ(hook.Problems().size(), 1u) << c.what;
    EXPECT_NE(hook.Problems()[0].find(c.what), std::string::npos) << hook.Problems()[0];
    EXPECT_TRUE(log.Has("kann nicht abgeschlossen werden")) << c.what;
    EXPECT_TRUE(log.Has("Data/File9.dat")) << c.what;  // the log names its files
    // Every start tells it again until the cause is mended.
    EXPECT_EQ(FinishCommitRecords(), 1) << c.what;
    if (c.mend) {
      c.mend(staged);
      EXPECT_EQ(FinishCommitRecords(), 0) << c.what;
      EXPECT_EQ(TreeDiff(GameFiles(), s.new_files), "") << c.what;
    } else {
      for (const std::string& r : Records()) fs::remove(r);
    }
    EXPECT_EQ(FinishCommitRecords(), 0) << c.what;
    EXPECT_TRUE(CommitLeftovers().empty()) << c.what;
  }
}

TEST(CommitRecord, ALaterFailedRenameSavesInPartAndLeavesTheRecordForTheNextStart) {
  Put("Data/A.dat", Content(1, 10));
  Put("Data/B.dat/inside.dat", Content(2, 10));  // a folder where a file should go
  Put("Data/C.dat", Content(3, 10));
  FileSet* set = BeginFileSet();
  const auto a = Content(11, 20), b = Content(12, 20), c = Content(13, 20);
  ASSERT_EQ(FileSetWrite(set, ".\\Data\\A.dat", a.data(), 20), 1);
  ASSERT_EQ(FileSetWrite(set, ".\\Data\\B.dat", b.data(), 20), 1);
  ASSERT_EQ(FileSetWrite(set, ".\\Data\\C.dat", c.data(), 20), 1);
  qoe_test::LogLines log;
  EXPECT_EQ(CommitFileSet(set), FILESET_PART);  // A is new, B and C wait
  EXPECT_TRUE(log.Has("naechste Start")) << log.lines.size();
  ASSERT_EQ(Records().size(), 1u);
  // The start while the cause stands: reported, nothing more is done.
  {
    HookCalls hook;
    EXPECT_EQ(FinishCommitRecords(), 1);
    EXPECT_EQ(hook.Problems().size(), 1u);
    EXPECT_EQ(ReadFileBytes("Data/C.dat"), Content(3, 10));
  }
  // Once the folder is gone the next start finishes the set.
  fs::remove_all("Data/B.dat");
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_EQ(ReadFileBytes("Data/A.dat"), a);
  EXPECT_EQ(ReadFileBytes("Data/B.dat"), b);
  EXPECT_EQ(ReadFileBytes("Data/C.dat"), c);
  EXPECT_TRUE(CommitLeftovers().empty());
}

TEST(CommitRecord, ARecordByTheDocumentedLayoutIsCarriedOut) {
  Put("Data/Old.dat", Content(1, 40));
  Put("Data/Gone.dat", Content(2, 40));
  Put("Map/.qoetmp-Old.map.ABCDEF", Content(3, 33));
  Put("Data/.qoetmp-Old.dat.ABCDEF", Content(4, 41));
  ASSERT_TRUE(WriteFileBytes(".qoecommit-ABCDEF", CraftRecord({{".qoetmp-Old.dat.ABCDEF", "Data/Old.dat", Content(4, 41)},
                                                                {".qoetmp-Old.map.ABCDEF", "Map/Old.map", Content(3, 33)}},
                                                               {"Data/Gone.dat"})));
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_EQ(ReadFileBytes("Data/Old.dat"), Content(4, 41));
  EXPECT_EQ(ReadFileBytes("Map/Old.map"), Content(3, 33));
  EXPECT_FALSE(fs::exists("Data/Gone.dat"));
  EXPECT_TRUE(CommitLeftovers().empty());
}

TEST(CommitRecord, NoRecordLeadsOutsideTheWorkingFolder) {
  // A folder beside the working folder, and a link to it inside.
  const fs::path outside = fs::current_path().parent_path() / ("outside-" + std::to_string(getpid()));
  fs::remove_all(outside);
  fs::create_directories(outside);
  Put((outside / "victim.dat").string(), Content(1, 10));
  Put((outside / ".qoetmp-victim.dat.ABCDEF").string(), Content(2, 10));
  fs::create_symlink(outside, "Link");
  Put("Data/.qoetmp-x.ABCDEF", Content(2, 10));
  const std::vector<uint8_t> two = Content(2, 10);
  struct Bad {
    std::vector<RecordRename> renames;
    std::vector<std::string> removals;
    int32_t unfinished;  // refused as damaged (0) or left unfinished (1)
  };
  const std::string up = "../" + outside.filename().string() + "/victim.dat";
  const Bad bad[] = {
      {{{".qoetmp-x.ABCDEF", up, two}}, {}, 0},
      {{{".qoetmp-x.ABCDEF", "/tmp/victim.dat", two}}, {}, 0},
      {{{".qoetmp-x.ABCDEF", "Data/../../victim.dat", two}}, {}, 0},
      {{{"../.qoetmp-x.ABCDEF", "Data/x", two}}, {}, 0},
      {{{"x.ABCDEF", "Data/x", two}}, {}, 0},
      {{{".qoetmp-x.ABCDEF", "Data//x", two}}, {}, 0},
      {{}, {up}, 0},
      {{}, {"/etc/victim"}, 0},
      {{}, {"Link/victim.dat", "Data/y"}, 1},
      {{{".qoetmp-victim.dat.ABCDEF", "Link/victim.dat", two}}, {}, 1},
  };
  for (bool states : {false, true})
    for (const Bad& b : bad) {
      // Today's records note each target as absent: one that is there
      // would drop the record, yet a link is not followed even for that.
      ASSERT_TRUE(WriteFileBytes(".qoecommit-BADBAD", CraftRecord(b.renames, b.removals, states)));
      HookCalls hook;
      EXPECT_EQ(FinishCommitRecords(), b.unfinished) << states;
      EXPECT_EQ(ReadFileBytes((outside / "victim.dat").string()), Content(1, 10));
      EXPECT_TRUE(fs::exists(outside / ".qoetmp-victim.dat.ABCDEF")) << states;
      fs::remove(".qoecommit-BADBAD");
      Put("Data/.qoetmp-x.ABCDEF", two);
    }
  fs::remove_all(outside);
}

TEST(CommitRecord, ARecordThatCannotBeWrittenCommitsNothing) {
  const States s = MakeStates();
  // The record's flush (or its folder's) fails: no rename has begun.
  for (int folder = 0; folder < 2; folder++) {
    WriteOldState();
    static int fail_folder;
    fail_folder = folder;
    FileSetSyncHook(
        [](const char* p, int32_t f, void*) -> int32_t {
          const bool record = f ? std::strcmp(p, ".") == 0 : std::strncmp(p, ".qoecommit-", 11) == 0;
          return record && f == fail_folder ? 0 : 1;
        },
        nullptr);
    EXPECT_EQ(CommitNewState(), 0);
    FileSetSyncHook(nullptr, nullptr);
    EXPECT_EQ(TreeDiff(GameFiles(), s.old_files), "") << folder;
    EXPECT_TRUE(CommitLeftovers().empty()) << folder;
  }
  EXPECT_EQ(CommitNewState(), 1);
  EXPECT_EQ(TreeDiff(GameFiles(), s.new_files), "");
}

// ---- a failed commit never comes back over newer files ---------------------

namespace {

// A commit of the given files (relative disk paths under the working folder).
int32_t CommitFiles(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files) {
  FileSet* set = BeginFileSet();
  if (!set) return 0;
  int32_t ok = 1;
  for (const auto& f : files) {
    std::string path = ".\\" + f.first;
    std::replace(path.begin(), path.end(), '/', '\\');
    ok = FileSetWrite(set, path.c_str(), f.second.data(), (uint32_t)f.second.size()) && ok;
  }
  const int32_t result = CommitFileSet(set);
  return ok ? result : 0;
}

// Runs fn in a child that ends without a word (the run's memory goes with it,
// the disk stays as the child left it).
void InAnEarlierRun(const std::function<void()>& fn) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    fn();
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
}

struct DroppedCalls {
  static std::vector<std::string>& Files() {
    static std::vector<std::string> v;
    return v;
  }
  DroppedCalls() {
    Files().clear();
    SetCommitDroppedHook([](const char*, const char* files) { Files().push_back(files); });
  }
  ~DroppedCalls() { SetCommitDroppedHook(nullptr); }
};

void FreshFolder() {
  WriteOldState();
  for (const char* f : {"T", "U", "V"}) fs::remove_all(std::string("Data/") + f + ".dat");
  Put("Data/T.dat", Content(1, 30));
  Put("Data/U.dat", Content(2, 30));
  Put("Data/V.dat", Content(3, 30));
}

// A folder where Data/<name> should go makes its rename fail.
void BlockWithFolder(const char* name) {
  fs::remove(std::string("Data/") + name);
  fs::create_directories(std::string("Data/") + name + "/inside");
}

}  // namespace

TEST(CommitRecord, AFailedFirstRenameChangesNothingAndANewerSaveSurvivesTheNextStart) {
  FreshFolder();
  BlockWithFolder("T.dat");
  qoe_test::LogLines log;
  EXPECT_EQ(CommitFiles({{"Data/T.dat", Content(11, 30)}, {"Data/U.dat", Content(12, 30)},
                         {"Data/V.dat", Content(13, 30)}}),
            0);
  EXPECT_TRUE(log.Has("Nichts wurde geaendert"));
  // Nothing changed, and nothing waits for a later start.
  EXPECT_TRUE(CommitLeftovers().empty());
  EXPECT_EQ(ReadFileBytes("Data/U.dat"), Content(2, 30));
  // The player gives new orders; they are saved.
  fs::remove_all("Data/T.dat");
  EXPECT_EQ(CommitFiles({{"Data/T.dat", Content(21, 30)}, {"Data/U.dat", Content(22, 30)}}), 1);
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_EQ(ReadFileBytes("Data/T.dat"), Content(21, 30));
  EXPECT_EQ(ReadFileBytes("Data/U.dat"), Content(22, 30));
  EXPECT_EQ(ReadFileBytes("Data/V.dat"), Content(3, 30));
  EXPECT_TRUE(CommitLeftovers().empty());
}

TEST(CommitRecord, ALaterFailedRenameIsSettledBeforeANewerSaveOfItsFiles) {
  FreshFolder();
  BlockWithFolder("U.dat");
  EXPECT_EQ(CommitFiles({{"Data/T.dat", Content(11, 30)}, {"Data/U.dat", Content(12, 30)},
                         {"Data/V.dat", Content(13, 30)}}),
            FILESET_PART);
  EXPECT_EQ(ReadFileBytes("Data/T.dat"), Content(11, 30));
  EXPECT_EQ(Records().size(), 1u);
  // A newer save of V: the part-done change cannot be finished (the folder
  // still stands), so it is dropped first, and V keeps the newer bytes.
  qoe_test::LogLines log;
  EXPECT_EQ(CommitFiles({{"Data/V.dat", Content(23, 30)}, {"Data/W.dat", Content(24, 30)}}), 1);
  EXPECT_TRUE(log.Has("nicht abgeschlossen werden")) << log.lines.size();
  EXPECT_TRUE(log.Has("verworfen"));
  EXPECT_TRUE(Records().empty());
  fs::remove_all("Data/U.dat");
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_EQ(ReadFileBytes("Data/V.dat"), Content(23, 30));
  EXPECT_FALSE(fs::exists("Data/U.dat"));
  EXPECT_TRUE(CommitLeftovers().empty());
}

TEST(CommitRecord, ALaterFailedRenameIsRetriedAtOnceAndFinishedByTheNextWrite) {
  FreshFolder();
  // The second rename fails once: the retry carries the set through.
  static int fails;
  auto hook = [](const char*, const char* to, void*) -> int32_t {
    return std::strstr(to, "U.dat") && fails-- > 0 ? 0 : 1;
  };
  FileSetRenameHook(hook, nullptr);
  fails = 1;
  EXPECT_EQ(CommitFiles({{"Data/T.dat", Content(11, 30)}, {"Data/U.dat", Content(12, 30)},
                         {"Data/V.dat", Content(13, 30)}}),
            1);
  EXPECT_EQ(ReadFileBytes("Data/U.dat"), Content(12, 30));
  EXPECT_TRUE(CommitLeftovers().empty());
  // It fails twice: saved in part, the player is told so.
  fails = 2;
  EXPECT_EQ(CommitFiles({{"Data/T.dat", Content(21, 30)}, {"Data/U.dat", Content(22, 30)},
                         {"Data/V.dat", Content(23, 30)}}),
            FILESET_PART);
  EXPECT_STRNE(CommitPartText(), "");
  EXPECT_EQ(ReadFileBytes("Data/T.dat"), Content(21, 30));
  EXPECT_EQ(ReadFileBytes("Data/U.dat"), Content(12, 30));
  // The next write of one of its files finishes it first (the cause is gone).
  qoe_test::LogLines log;
  const auto v = Content(33, 30);
  EXPECT_EQ(SaveMem2File(".\\Data\\V.dat", v.data(), 30), 1);
  EXPECT_TRUE(log.Has("abgeschlossen"));
  EXPECT_EQ(ReadFileBytes("Data/U.dat"), Content(22, 30));
  EXPECT_EQ(ReadFileBytes("Data/V.dat"), v);
  EXPECT_TRUE(CommitLeftovers().empty());
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_EQ(ReadFileBytes("Data/V.dat"), v);
  FileSetRenameHook(nullptr, nullptr);
}

TEST(CommitRecord, ARecordIsDroppedAtStartWhenItsFilesWereWrittenSince) {
  FreshFolder();
  BlockWithFolder("U.dat");
  // An earlier run saved in part and ended; its record waits on disk.
  InAnEarlierRun([] {
    CommitFiles({{"Data/T.dat", Content(11, 30)}, {"Data/U.dat", Content(12, 30)}, {"Data/V.dat", Content(13, 30)}});
  });
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(ReadFileBytes("Data/T.dat"), Content(11, 30));
  // The run after it (nothing pending in its memory) saves V anew.
  const auto v = Content(23, 30);
  ASSERT_EQ(SaveMem2File(".\\Data\\V.dat", v.data(), 30), 1);
  fs::remove_all("Data/U.dat");
  // The start applies none of the record's remaining steps, and says which
  // files kept their newer state.
  DroppedCalls dropped;
  qoe_test::LogLines log;
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_EQ(ReadFileBytes("Data/V.dat"), v);
  EXPECT_FALSE(fs::exists("Data/U.dat"));
  EXPECT_EQ(ReadFileBytes("Data/T.dat"), Content(11, 30));
  ASSERT_EQ(dropped.Files().size(), 1u);
  EXPECT_EQ(dropped.Files()[0], "Data/V.dat");
  EXPECT_TRUE(log.Has("nicht ausgefuehrt"));
  EXPECT_TRUE(CommitLeftovers().empty());
  // A file that became a folder counts as written since as well.
  InAnEarlierRun([] { CommitKilledAt(AtRecordFolder); });
  ASSERT_EQ(Records().size(), 1u);
  const FileTree before = GameFiles();
  BlockWithFolder("../Data/File7.dat");
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_TRUE(fs::is_directory("Data/File7.dat"));
  EXPECT_EQ(ReadFileBytes("Data/File8.dat"), before.at("Data/File8.dat"));
  EXPECT_TRUE(CommitLeftovers().empty());
}

TEST(CommitRecord, TwoRecordsOverOneFileAreFinishedInTheOrderWritten) {
  FreshFolder();
  BlockWithFolder("U.dat");
  // The first record: T renamed, U waits behind a folder.
  InAnEarlierRun([] { CommitFiles({{"Data/T.dat", Content(11, 30)}, {"Data/U.dat", Content(12, 30)}}); });
  ASSERT_EQ(Records().size(), 1u);
  fs::rename(Records()[0], ".qoecommit-zzzzzz");
  fs::remove_all("Data/U.dat");
  // The second, over T and V, killed once its record stands.
  InAnEarlierRun([] {
    static bool (*at)(const char*, int32_t) = AtRecordFolder;
    FileSetSyncHook(
        [](const char* p, int32_t folder, void*) -> int32_t {
          if (at(p, folder)) raise(SIGKILL);
          return 1;
        },
        nullptr);
    CommitFiles({{"Data/T.dat", Content(21, 30)}, {"Data/V.dat", Content(23, 30)}});
  });
  for (const std::string& r : Records())
    if (r != ".qoecommit-zzzzzz") fs::rename(r, ".qoecommit-AAAAAA");
  ASSERT_EQ(Records().size(), 2u);
  // Its name sorts first, yet the first record is finished first.
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_EQ(ReadFileBytes("Data/U.dat"), Content(12, 30));
  EXPECT_EQ(ReadFileBytes("Data/T.dat"), Content(21, 30));
  EXPECT_EQ(ReadFileBytes("Data/V.dat"), Content(23, 30));
  EXPECT_TRUE(CommitLeftovers().empty());
}

TEST(CommitRecord, ARecordOfTheVersionBeforeIsFinishedBeforeNewerOnes) {
  FreshFolder();
  // The version before's record over T and U: T renamed, U still staged.
  Put("Data/.qoetmp-U.dat.OLDOLD", Content(12, 30));
  ASSERT_TRUE(WriteFileBytes(".qoecommit-zzzzzz", CraftRecord({{".qoetmp-T.dat.OLDOLD", "Data/T.dat", Content(11, 30)},
                                                                {".qoetmp-U.dat.OLDOLD", "Data/U.dat", Content(12, 30)}},
                                                               {})));
  Put("Data/T.dat", Content(11, 30));
  // A newer record over T and V (its name sorts first), killed once it stands.
  InAnEarlierRun([] {
    FileSetSyncHook(
        [](const char* p, int32_t folder, void*) -> int32_t {
          if (AtRecordFolder(p, folder)) raise(SIGKILL);
          return 1;
        },
        nullptr);
    CommitFiles({{"Data/T.dat", Content(21, 30)}, {"Data/V.dat", Content(23, 30)}});
  });
  for (const std::string& r : Records())
    if (r != ".qoecommit-zzzzzz") fs::rename(r, ".qoecommit-AAAAAA");
  ASSERT_EQ(Records().size(), 2u);
  qoe_test::LogLines log;
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_FALSE(log.Has("Beschaedigter Eintrag"));
  EXPECT_EQ(ReadFileBytes("Data/U.dat"), Content(12, 30));
  EXPECT_EQ(ReadFileBytes("Data/T.dat"), Content(21, 30));
  EXPECT_EQ(ReadFileBytes("Data/V.dat"), Content(23, 30));
  EXPECT_TRUE(CommitLeftovers().empty());
}
