#include "routinen/system/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "routinen/system/memory.h"
#include "platform/log.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qoe_test::FileExists;
using qoe_test::ReadFileBytes;
using qoe_test::WriteFileBytes;

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string Text(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

void Put(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path().empty() ? "." : fs::path(path).parent_path());
  ASSERT_TRUE(WriteFileBytes(path, Bytes(content)));
}

std::string Resolve(const char* p) {
  char out[512];
  return ResolvePath(p, out, sizeof out) ? std::string(out) : std::string("<refused>");
}

// Every name in a disk folder, hidden ones included.
std::vector<std::string> RawNames(const std::string& dir) {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(dir)) v.push_back(e.path().filename().string());
  std::sort(v.begin(), v.end());
  return v;
}

struct LogCapture {
  std::vector<std::string> lines;
  LogCapture() {
    DebugLogSetStderr(0);
    DebugLogSetHook([](const char* l, void* u) { static_cast<LogCapture*>(u)->lines.push_back(l); }, this);
  }
  ~LogCapture() {
    DebugLogSetHook(nullptr, nullptr);
    DebugLogSetStderr(1);
  }
  bool Has(const std::string& l) const { return std::find(lines.begin(), lines.end(), l) != lines.end(); }
};

struct HookOff {
  ~HookOff() { FileFailWritesAfter(-1); }
};

}  // namespace

// --- resolver -------------------------------------------------------------

TEST(FilesResolver, MatchesMixedCaseAndSeparators) {
  Put("Data/ScreenDat/Forschung.dat", "layout");
  Put("fonts/ElmorC1.fnt", "font");
  EXPECT_EQ(Resolve(".\\Data\\ScreenDat/Forschung.dat"), "Data/ScreenDat/Forschung.dat");
  EXPECT_EQ(Resolve(".\\data\\SCREENDAT\\forschung.DAT"), "Data/ScreenDat/Forschung.dat");
  EXPECT_EQ(Resolve("fonts\\elmorc1.fnt"), "fonts/ElmorC1.fnt");
  EXPECT_EQ(Resolve(".\\.\\Fonts//ELMORC1.FNT"), "fonts/ElmorC1.fnt");
  EXPECT_EQ(Resolve(".\\Data\\"), "Data");
  EXPECT_EQ(Resolve(".\\"), ".");
  FileHandle f = Open(".\\DATA\\screendat\\FORSCHUNG.dat", MODE_OLDFILE);
  ASSERT_NE(f, nullptr);
  char buf[16] = {};
  EXPECT_EQ(Read(f, buf, sizeof buf), 6);
  EXPECT_STREQ(buf, "layout");
  Close(f);
}

TEST(FilesResolver, NewNamesTakeTheGivenSpelling) {
  fs::create_directory("data");
  EXPECT_EQ(Resolve(".\\Data\\NewFile.QOE"), "data/NewFile.QOE");
  ASSERT_NE(SaveMem2File(".\\Data\\NewFile.QOE", "x", 1), 0);
  EXPECT_TRUE(FileExists("data/NewFile.QOE"));
  EXPECT_NE(CreateDir(".\\Data\\Pop3Out"), 0);
  EXPECT_TRUE(fs::is_directory("data/Pop3Out"));
  // Everything from the first missing component keeps its spelling.
  EXPECT_EQ(Resolve("DATA\\Missing\\Sub\\File.Txt"), "data/Missing/Sub/File.Txt");
  // Existing spellings win over the given ones on a rewrite, too.
  ASSERT_NE(SaveMem2File("data\\newfile.qoe", "yz", 2), 0);
  EXPECT_EQ(RawNames("data"), (std::vector<std::string>{"NewFile.QOE", "Pop3Out"}));
  EXPECT_EQ(Text(ReadFileBytes("data/NewFile.QOE")), "yz");
}

TEST(FilesResolver, NameTwiceInDifferentCaseIsDeterministic) {
  Put("dup.txt", "lower");
  Put("Dup.txt", "mixed");
  Put("DUP.txt", "upper");
  EXPECT_EQ(Resolve("Dup.txt"), "Dup.txt");  // the exact spelling wins
  EXPECT_EQ(Resolve("dup.txt"), "dup.txt");
  EXPECT_EQ(Resolve("DuP.TXT"), "DUP.txt");  // else the first in byte order
  EXPECT_EQ(Resolve("dUP.txt"), "DUP.txt");
  // An inner component only matches folders.
  Put("data", "a file");
  Put("DATA/x", "in folder");
  EXPECT_EQ(Resolve("Data\\x"), "DATA/x");
  EXPECT_EQ(Resolve("data\\x"), "DATA/x");
  EXPECT_EQ(Resolve("Data"), "DATA");  // last component: "DATA" < "data"
  EXPECT_EQ(Resolve("data"), "data");
}

TEST(FilesResolver, RefusesAbsoluteAndEscapingPaths) {
  std::string outside = "qoe-escape-" + std::to_string(getpid());
  for (const std::string& p :
       {"..\\" + outside, "Data\\..\\..\\" + outside, ".\\..\\" + outside, "../" + outside,
        "\\" + outside, "/tmp/" + outside, "C:\\" + outside, "c:" + outside, std::string("\\\\server\\share")}) {
    SCOPED_TRACE(p);
    EXPECT_EQ(Resolve(p.c_str()), "<refused>");
    EXPECT_EQ(Open(p.c_str(), MODE_NEWFILE), nullptr);
    EXPECT_EQ(SaveMem2File(p.c_str(), "x", 1), 0);
    EXPECT_EQ(CreateDir(p.c_str()), 0);
    EXPECT_EQ(GeFileSize(p.c_str()), 0u);
  }
  EXPECT_FALSE(FileExists("../" + outside));
  EXPECT_FALSE(FileExists("/tmp/" + outside));
  EXPECT_EQ(Resolve(nullptr), "<refused>");
  // Stepping back inside the working directory is fine.
  Put("Data/a.txt", "a");
  EXPECT_EQ(Resolve("Data\\Sub\\..\\A.TXT"), "Data/a.txt");
  char tiny[4];
  EXPECT_EQ(ResolvePath("Data\\a.txt", tiny, sizeof tiny), 0);
}

// --- open, read, write, seek ---------------------------------------------

TEST(FilesOpen, ModesOnMissingFiles) {
  for (int32_t m : {MODE_READWRITE_SHARED, MODE_OLDFILE, MODE_READ_SEQUENTIAL, MODE_READONLY}) {
    EXPECT_EQ(Open("Missing.dat", m), nullptr) << m;
    EXPECT_FALSE(FileExists("Missing.dat"));
  }
  EXPECT_EQ(Open("Missing.dat", 1003), nullptr);
  EXPECT_EQ(Open("Missing.dat", 0), nullptr);
  FileHandle f = Open("Missing.dat", MODE_NEWFILE);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Write(f, "abc", 3), 3);
  EXPECT_EQ(Seek(f, 0, OFFSET_BEGINNING), 3);
  char b[4] = {};
  EXPECT_EQ(Read(f, b, 3), 3);  // 1006 reads as well
  EXPECT_STREQ(b, "abc");
  EXPECT_EQ(Close(f), 1);
  EXPECT_EQ(Open("NoSuchDir\\x.dat", MODE_NEWFILE), nullptr);
}

TEST(FilesOpen, ModesOnExistingFiles) {
  Put("Data/File.dat", "0123456789");
  char b[16] = {};
  for (int32_t m : {MODE_READWRITE_SHARED, MODE_OLDFILE}) {
    FileHandle f = Open("data\\file.dat", m);
    ASSERT_NE(f, nullptr) << m;
    EXPECT_EQ(Read(f, b, 2), 2);
    EXPECT_EQ(Write(f, "xy", 2), 2);  // in place, nothing truncated
    Close(f);
  }
  EXPECT_EQ(Text(ReadFileBytes("Data/File.dat")), "01xy456789");
  for (int32_t m : {MODE_READ_SEQUENTIAL, MODE_READONLY}) {
    FileHandle f = Open("Data\\File.dat", m);
    ASSERT_NE(f, nullptr) << m;
    EXPECT_EQ(Read(f, b, 10), 10);
    EXPECT_EQ(Write(f, "zz", 2), -1);
    Close(f);
  }
  EXPECT_EQ(Text(ReadFileBytes("Data/File.dat")), "01xy456789");
  FileHandle f = Open("Data\\File.dat", MODE_NEWFILE);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(Read(f, b, 10), 0);  // emptied
  Close(f);
  EXPECT_EQ(ReadFileBytes("Data/File.dat").size(), 0u);
  // A folder is never a file.
  for (int32_t m : {1004, 1005, 1006, 1007, 1008}) EXPECT_EQ(Open("Data", m), nullptr) << m;
  EXPECT_TRUE(fs::is_directory("Data"));
}

TEST(FilesOpen, ReadWriteReturnValues) {
  Put("f.bin", "hello");
  FileHandle f = Open("f.bin", MODE_OLDFILE);
  ASSERT_NE(f, nullptr);
  char b[16];
  EXPECT_EQ(Read(f, b, 100), 5);
  EXPECT_EQ(Read(f, b, 100), 0);
  EXPECT_EQ(Read(f, b, 0), 0);
  EXPECT_EQ(Read(f, b, -1), -1);
  EXPECT_EQ(Read(f, nullptr, 4), -1);
  EXPECT_EQ(Write(f, "!", 1), 1);
  EXPECT_EQ(Write(f, "", 0), 0);
  EXPECT_EQ(Write(f, nullptr, 3), -1);
  EXPECT_EQ(Write(f, "x", -2), -1);
  Close(f);
  EXPECT_EQ(Read(nullptr, b, 1), -1);
  EXPECT_EQ(Write(nullptr, b, 1), -1);
  EXPECT_EQ(Close(nullptr), 0);
  EXPECT_EQ(Text(ReadFileBytes("f.bin")), "hello!");
}

TEST(FilesSeek, ModesReturnTheOldPosition) {
  Put("s.bin", "0123456789");
  FileHandle f = Open("s.bin", MODE_OLDFILE);
  ASSERT_NE(f, nullptr);
  char c = 0;
  EXPECT_EQ(Seek(f, 4, OFFSET_BEGINNING), 0);
  EXPECT_EQ(Seek(f, 2, OFFSET_CURRENT), 4);
  EXPECT_EQ(Read(f, &c, 1), 1);
  EXPECT_EQ(c, '6');
  EXPECT_EQ(Seek(f, -3, OFFSET_END), 7);
  EXPECT_EQ(Read(f, &c, 1), 1);
  EXPECT_EQ(c, '7');
  EXPECT_EQ(Seek(f, 0, OFFSET_END), 8);
  EXPECT_EQ(Seek(f, -2, OFFSET_CURRENT), 10);
  EXPECT_EQ(Read(f, &c, 1), 1);
  EXPECT_EQ(c, '8');
  // Errors leave the position alone.
  EXPECT_EQ(Seek(f, -20, OFFSET_BEGINNING), -1);
  EXPECT_EQ(Seek(f, -20, OFFSET_CURRENT), -1);
  EXPECT_EQ(Seek(f, -11, OFFSET_END), -1);
  EXPECT_EQ(Seek(f, 0, 2), -1);
  EXPECT_EQ(Seek(f, 0, -2), -1);
  EXPECT_EQ(Seek(f, 0, OFFSET_CURRENT), 9);
  EXPECT_EQ(Seek(nullptr, 0, OFFSET_BEGINNING), -1);
  // Writing past the end fills the gap with zeros.
  EXPECT_EQ(Seek(f, 12, OFFSET_BEGINNING), 9);
  EXPECT_EQ(Write(f, "E", 1), 1);
  Close(f);
  EXPECT_EQ(ReadFileBytes("s.bin"), (std::vector<uint8_t>{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 0, 0, 'E'}));
}

// --- locks, sizes, whole files ------------------------------------------

TEST(FilesLock, ExistenceFoldersAndModes) {
  LogCapture log;
  EXPECT_EQ(Lock("Data\\Missing.qoe", 2), 0);
  EXPECT_TRUE(log.Has("Lock: Fehler Nr. 2 bei File Data\\Missing.qoe aufgetreten.\n"));
  Put("Data/Prefs.qoe", "p");
  EXPECT_EQ(Lock(".\\data", 2), 1);
  EXPECT_EQ(Lock(".\\data\\", 7), 1);
  LockHandle a = Lock(".\\DATA\\prefs.QOE", 2);
  LockHandle b = Lock(".\\Data\\Prefs.qoe", 2);
  EXPECT_GT(a, 1);
  EXPECT_GT(b, 1);
  EXPECT_EQ(Lock(".\\Data\\Prefs.qoe", 1), 0);  // shared locks held
  UnLock(a);
  UnLock(b);
  LockHandle x = Lock(".\\Data\\Prefs.qoe", 1);
  EXPECT_GT(x, 1);
  EXPECT_EQ(Lock(".\\Data\\Prefs.qoe", 2), 0);
  EXPECT_EQ(Lock(".\\Data\\Prefs.qoe", 1), 0);
  UnLock(x);
  EXPECT_GT(x = Lock(".\\Data\\Prefs.qoe", 2), 1);
  UnLock(x);
  EXPECT_EQ(Lock(".\\Data\\Prefs.qoe", 3), 0);
  EXPECT_EQ(Lock("..\\x", 2), 0);
  UnLock(0);
  UnLock(1);
}

TEST(FilesWhole, SizeLoadAndSave) {
  EXPECT_EQ(GeFileSize("Data\\Gone.dat"), 0u);
  Put("Data/Size.dat", std::string(1234, 'q'));
  EXPECT_EQ(GeFileSize(".\\DATA\\size.DAT"), 1234u);
  EXPECT_EQ(GeFileSize(".\\Data"), 0u);
  EXPECT_EQ(LoadFile2Mem("Data\\Gone.dat", 0x10001), nullptr);
  EXPECT_EQ(LoadFile2Mem("Data", 0x10001), nullptr);
  Put("Data/Empty.dat", "");
  EXPECT_EQ(LoadFile2Mem("Data\\Empty.dat", 0x10001), nullptr);

  std::vector<uint8_t> all(256 * 3);
  for (size_t i = 0; i < all.size(); i++) all[i] = (uint8_t)i;
  ASSERT_NE(SaveMem2File(".\\Data\\All.bin", all.data(), (uint32_t)all.size()), 0);
  EXPECT_EQ(ReadFileBytes("Data/All.bin"), all);
  uint32_t size = 0;
  uint8_t* mem = static_cast<uint8_t*>(LoadFile2MemSize("data\\all.BIN", 0x10001, &size));
  ASSERT_NE(mem, nullptr);
  ASSERT_EQ(size, all.size());
  EXPECT_EQ(std::memcmp(mem, all.data(), size), 0);
  FreeVec(mem);
  EXPECT_EQ(SaveMem2File("Data\\Zero.bin", nullptr, 0), 1);
  EXPECT_TRUE(FileExists("Data/Zero.bin"));
  EXPECT_EQ(GeFileSize("Data\\Zero.bin"), 0u);
  EXPECT_EQ(SaveMem2File("Data\\Null.bin", nullptr, 5), 0);
  EXPECT_EQ(SaveMem2File("Data", "x", 1), 0);  // a folder is not replaced
  EXPECT_TRUE(fs::is_directory("Data"));
  EXPECT_EQ(SaveMem2File("NoDir\\x.bin", "x", 1), 0);
  // No temporary file is left behind.
  for (const std::string& n : RawNames("Data")) EXPECT_EQ(n.find(".qoetmp"), std::string::npos) << n;
}

TEST(FilesWhole, DeleteFileAndCreateDir) {
  Put("Data/Old.email", "x");
  EXPECT_EQ(DeleteFileA(".\\data\\OLD.EMAIL"), 1);
  EXPECT_FALSE(FileExists("Data/Old.email"));
  EXPECT_EQ(DeleteFileA(".\\Data\\Old.email"), 0);
  EXPECT_EQ(DeleteFileA(".\\Data"), 0);
  EXPECT_NE(CreateDir(".\\Game"), 0);
  EXPECT_NE(CreateDir(".\\game\\"), 0);  // already there
  EXPECT_EQ(RawNames("."), (std::vector<std::string>{"Data", "Game"}));
  EXPECT_EQ(CreateDir(".\\Nope\\Deeper"), 0);
  Put("Data/Plain", "file");
  EXPECT_EQ(CreateDir(".\\Data\\Plain"), 0);
}

// --- write failures ------------------------------------------------------

TEST(FilesFailure, HookFailsWritesAfterBudget) {
  HookOff off;
  FileHandle f = Open("w.bin", MODE_NEWFILE);
  ASSERT_NE(f, nullptr);
  FileFailWritesAfter(3);
  EXPECT_EQ(Write(f, "ab", 2), 2);
  EXPECT_EQ(Write(f, "cdef", 4), -1);  // one byte still fits, then it fails
  EXPECT_EQ(Write(f, "g", 1), -1);
  EXPECT_EQ(Write(f, "", 0), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(Write(f, "h", 1), 1);
  Close(f);
  EXPECT_EQ(Text(ReadFileBytes("w.bin")), "abch");
}

TEST(FilesFailure, FailedSaveKeepsTheOldFile) {
  HookOff off;
  Put("Data/Prefs.qoe", "old contents");
  std::vector<uint8_t> big(100000, 0x5A);
  for (int64_t budget : {0, 1, 5000, 99999}) {
    SCOPED_TRACE(budget);
    FileFailWritesAfter(budget);
    EXPECT_EQ(SaveMem2File(".\\Data\\Prefs.qoe", big.data(), (uint32_t)big.size()), 0);
    FileFailWritesAfter(-1);
    EXPECT_EQ(Text(ReadFileBytes("Data/Prefs.qoe")), "old contents");
    EXPECT_EQ(RawNames("Data"), (std::vector<std::string>{"Prefs.qoe"}));
  }
  FileFailWritesAfter(100000);  // exactly enough
  EXPECT_EQ(SaveMem2File(".\\Data\\Prefs.qoe", big.data(), (uint32_t)big.size()), 1);
  EXPECT_EQ(ReadFileBytes("Data/Prefs.qoe"), big);
}

TEST(FilesFailure, FailedSaveUnderFileSizeLimitKeepsTheOldFile) {
  Put("Data/Chunk.qoe", "previous turn");
  std::vector<uint8_t> big(64 * 1024, 0x11);
  struct rlimit old_limit;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = signal(SIGXFSZ, SIG_IGN);
  struct rlimit lim = old_limit;
  lim.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &lim), 0);
  int32_t saved = SaveMem2File(".\\Data\\Chunk.qoe", big.data(), (uint32_t)big.size());
  int32_t small = SaveMem2File(".\\Data\\Small.qoe", "fits", 4);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ(saved, 0);
  EXPECT_EQ(small, 1);
  EXPECT_EQ(Text(ReadFileBytes("Data/Chunk.qoe")), "previous turn");
  EXPECT_EQ(RawNames("Data"), (std::vector<std::string>{"Chunk.qoe", "Small.qoe"}));
}

// --- folders -------------------------------------------------------------

// --- durability ------------------------------------------------------------

namespace {

// Records every disk sync with what the targets held at that moment.
struct SyncLog {
  struct Call {
    std::string path;
    int32_t folder;
    std::string a, b;  // contents of Data/A.qoe and Map/B.qoe then
  };
  std::vector<Call> calls;
  bool failFiles = false;
  SyncLog() {
    FileSetSyncHook(
        [](const char* p, int32_t folder, void* u) -> int32_t {
          auto* l = static_cast<SyncLog*>(u);
          l->calls.push_back({p, folder, Text(ReadFileBytes("Data/A.qoe")), Text(ReadFileBytes("Map/B.qoe"))});
          return l->failFiles && !folder ? 0 : 1;
        },
        this);
  }
  ~SyncLog() { FileSetSyncHook(nullptr, nullptr); }
};

}  // namespace

TEST(FilesSync, CommitSyncsItsFilesBeforeTheRenamesAndItsFoldersAfter) {
  Put("Data/A.qoe", "old a");
  Put("Map/B.qoe", "old b");
  Put("Cities/Gone.qoe", "x");
  Put("Other/Untouched.qoe", "y");
  SyncLog log;
  FileSet* set = BeginFileSet();
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(FileSetWrite(set, ".\\Data\\A.qoe", "new a", 5), 1);
  ASSERT_EQ(FileSetWrite(set, ".\\Map\\B.qoe", "new b", 5), 1);
  ASSERT_EQ(FileSetWrite(set, ".\\Data\\A.qoe", "newer a", 7), 1);  // replaces the staged one
  ASSERT_EQ(FileSetRemove(set, ".\\Cities\\Gone.qoe"), 1);
  EXPECT_TRUE(log.calls.empty());  // nothing is flushed before the commit
  ASSERT_EQ(CommitFileSet(set), 1);
  ASSERT_EQ(log.calls.size(), 7u);
  // The two staged files, then the commit record and the working folder that
  // holds it, while the targets still hold the old bytes ...
  std::vector<std::string> files, folders;
  for (size_t i = 0; i < 4; i++) {
    EXPECT_EQ(log.calls[i].folder, i == 3 ? 1 : 0);
    EXPECT_EQ(log.calls[i].a, "old a");
    EXPECT_EQ(log.calls[i].b, "old b");
    if (i < 2) files.push_back(log.calls[i].path);
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files[0].rfind("Data/.qoetmp-A.qoe.", 0), 0u) << files[0];
  EXPECT_EQ(files[1].rfind("Map/.qoetmp-B.qoe.", 0), 0u) << files[1];
  EXPECT_EQ(log.calls[2].path.rfind(".qoecommit-", 0), 0u) << log.calls[2].path;
  EXPECT_EQ(log.calls[3].path, ".");
  // ... then each changed folder once, after every file is in place.
  for (size_t i = 4; i < 7; i++) {
    EXPECT_EQ(log.calls[i].folder, 1);
    EXPECT_EQ(log.calls[i].a, "newer a");
    EXPECT_EQ(log.calls[i].b, "new b");
    folders.push_back(log.calls[i].path);
  }
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{"Cities", "Data", "Map"}));
  EXPECT_FALSE(FileExists("Cities/Gone.qoe"));
  // A whole-file save flushes its file and its folder too; an unchanged set
  // commits without a sync.
  log.calls.clear();
  ASSERT_EQ(SaveMem2File(".\\Other\\Untouched.qoe", "z", 1), 1);
  ASSERT_EQ(log.calls.size(), 2u);
  EXPECT_EQ(log.calls[0].folder, 0);
  EXPECT_EQ(log.calls[1].path, "Other");
  log.calls.clear();
  set = BeginFileSet();
  ASSERT_EQ(FileSetWrite(set, ".\\Map\\B.qoe", "new b", 5), 1);
  ASSERT_EQ(CommitFileSet(set), 1);
  EXPECT_TRUE(log.calls.empty());
}

TEST(FilesSync, FailedFlushCommitsNothing) {
  LogCapture capture;
  Put("Data/A.qoe", "old a");
  Put("Map/B.qoe", "old b");
  SyncLog log;
  log.failFiles = true;
  FileSet* set = BeginFileSet();
  ASSERT_EQ(FileSetWrite(set, ".\\Data\\A.qoe", "new a", 5), 1);
  ASSERT_EQ(FileSetWrite(set, ".\\Map\\B.qoe", "new b", 5), 1);
  ASSERT_EQ(FileSetRemove(set, ".\\Data\\A.qoe"), 1);
  EXPECT_EQ(CommitFileSet(set), 0);
  EXPECT_TRUE(capture.Has("CommitFileSet: Konnte Dateien nicht sichern\n"));
  EXPECT_EQ(Text(ReadFileBytes("Data/A.qoe")), "old a");
  EXPECT_EQ(Text(ReadFileBytes("Map/B.qoe")), "old b");
  EXPECT_EQ(RawNames("Data"), std::vector<std::string>{"A.qoe"});
  EXPECT_EQ(RawNames("Map"), std::vector<std::string>{"B.qoe"});
  EXPECT_EQ(SaveMem2File(".\\Data\\A.qoe", "new a", 5), 0);
  EXPECT_EQ(RawNames("Data"), std::vector<std::string>{"A.qoe"});
}

TEST(FilesDir, DeleteDirWithAndWithoutPrefix) {
  LogCapture log;
  Put("Data/POP3In/00000001.email", "1");
  Put("Data/POP3In/00000002.EMAIL", "2");
  Put("Data/POP3In/GameChunk.qoe", "g");
  Put("Data/POP3In/0sub/inner", "i");
  EXPECT_EQ(DeleteDir(".\\data\\pop3in\\", "0000"), 1);
  EXPECT_TRUE(log.Has("DeleteDir: Target dir is .\\data\\pop3in\\.\n"));
  EXPECT_EQ(RawNames("Data/POP3In"), (std::vector<std::string>{"0sub", "GameChunk.qoe"}));
  EXPECT_EQ(DeleteDir(".\\Data\\POP3In\\", "game"), 1);  // prefix in any case
  EXPECT_EQ(RawNames("Data/POP3In"), (std::vector<std::string>{"0sub"}));
  Put("Data/MailOut/E0000001_01.smal", "m");
  Put("Data/MailOut/x", "m");
  EXPECT_EQ(DeleteDir(".\\Data\\MailOut\\", nullptr), 1);
  EXPECT_EQ(RawNames("Data/MailOut"), std::vector<std::string>{});
  EXPECT_EQ(DeleteDir(".\\Data\\MailOut", ""), 1);  // empty folder
  EXPECT_EQ(DeleteDir(".\\Data\\NoSuch\\", nullptr), 1);
  EXPECT_EQ(DeleteDir("..\\", nullptr), 0);
  EXPECT_TRUE(FileExists("Data/POP3In/0sub/inner"));
}

TEST(FilesDir, CountAndListEntries) {
  LogCapture log;
  EXPECT_EQ(CountDirEntries(".\\Game"), 0);
  EXPECT_TRUE(log.Has("GetDirBuffer: Locken des Verzeichnisses klappt nicht !\n"));
  EXPECT_EQ(GetDirBuffer(".\\Game", 3), nullptr);
  fs::create_directories("Game/Zora");
  fs::create_directories("Game/albrecht");
  Put("Game/Berta", "");
  std::string longname(100, 'L');
  Put("Game/" + longname, "");
  Put("Game/.qoetmp-Berta.x1y2z3", "");  // a save in progress is not listed
  EXPECT_EQ(CountDirEntries(".\\GAME\\"), 4);
  char* names = GetDirBuffer(".\\game", 5);
  ASSERT_NE(names, nullptr);
  EXPECT_STREQ(names + 0, "albrecht");
  EXPECT_STREQ(names + 80, "Berta");
  EXPECT_EQ(std::string(names + 160), longname.substr(0, 79));
  EXPECT_STREQ(names + 240, "Zora");
  EXPECT_STREQ(names + 320, "");
  FreeVec(names);
  names = GetDirBuffer(".\\game", 1);
  ASSERT_NE(names, nullptr);
  EXPECT_STREQ(names, "albrecht");
  FreeVec(names);
  EXPECT_EQ(GetDirBuffer(".\\game", 0), nullptr);
  EXPECT_EQ(CountDirEntries(".\\Game\\Zora"), 0);
}

namespace {

// A data folder as a game leaves it, with index files and layouts.
void MakeDataTree(const std::string& root, const std::string& tag) {
  Put(root + "/Path", "index " + tag);
  Put(root + "/SfxPath", "sfx " + tag);
  Put(root + "/RizizOzezPath", "story " + tag);
  Put(root + "/Screendat/Residenz0.dat", "layout " + tag);
  Put(root + "/Prefs.qoe", "prefs " + tag);
  Put(root + "/POP3In/GameChunk.qoe", "in " + tag);
  Put(root + "/POP3Out/GameChunk.qoe", "out " + tag);
  Put(root + "/Cities/Deep/Town_1.qoe", "town " + tag);
}

}  // namespace

TEST(FilesDir, CopyDirModeThreeReplacesGameState) {
  MakeDataTree("Game/Lord/1_2/Data", "saved");
  fs::create_directories("Game/Lord/1_2/Data/MailIn");
  MakeDataTree("Data", "live");
  Put("Data/Stale.qoe", "stale");
  Put("Data/POP3In/00000007.email", "stale mail");
  Put("Data/OldGame/x/y", "stale tree");
  Put("Data/Screendat/Own.dat", "kept layout");
  Put("Data/.qoetmp-Prefs.qoe.Ab12Cd", "left by a crash");
  ASSERT_EQ(CopyDir(".\\Game\\Lord\\1_2\\Data\\", ".\\Data\\", 3), 1);
  // Game state comes from the save; nothing stale survives.
  EXPECT_EQ(Text(ReadFileBytes("Data/Prefs.qoe")), "prefs saved");
  EXPECT_EQ(Text(ReadFileBytes("Data/POP3In/GameChunk.qoe")), "in saved");
  EXPECT_EQ(Text(ReadFileBytes("Data/POP3Out/GameChunk.qoe")), "out saved");
  EXPECT_EQ(Text(ReadFileBytes("Data/Cities/Deep/Town_1.qoe")), "town saved");
  EXPECT_TRUE(fs::is_directory("Data/MailIn"));
  EXPECT_FALSE(FileExists("Data/Stale.qoe"));
  EXPECT_FALSE(FileExists("Data/OldGame"));
  EXPECT_EQ(RawNames("Data/POP3In"), std::vector<std::string>{"GameChunk.qoe"});
  // The installation's indexes and layouts stay as they were.
  EXPECT_EQ(Text(ReadFileBytes("Data/Path")), "index live");
  EXPECT_EQ(Text(ReadFileBytes("Data/SfxPath")), "sfx live");
  EXPECT_EQ(Text(ReadFileBytes("Data/RizizOzezPath")), "story live");
  EXPECT_EQ(Text(ReadFileBytes("Data/Screendat/Residenz0.dat")), "layout live");
  EXPECT_EQ(Text(ReadFileBytes("Data/Screendat/Own.dat")), "kept layout");
  EXPECT_EQ(RawNames("Data"), (std::vector<std::string>{"Cities", "MailIn", "POP3In", "POP3Out", "Path",
                                                         "Prefs.qoe", "RizizOzezPath", "Screendat", "SfxPath"}));
  // The source is untouched.
  EXPECT_EQ(Text(ReadFileBytes("Game/Lord/1_2/Data/Prefs.qoe")), "prefs saved");
  EXPECT_EQ(Text(ReadFileBytes("Game/Lord/1_2/Data/Path")), "index saved");
}

TEST(FilesDir, CopyDirModeSevenMovesGameState) {
  MakeDataTree("Data", "live");
  fs::create_directories("Game/Lord/3_1/Data");
  Put("Game/Lord/3_1/Data/Prefs.qoe", "older save");
  ASSERT_EQ(CopyDir(".\\Data\\", ".\\Game\\Lord\\3_1\\Data\\", 7), 1);
  // The save holds only game state.
  EXPECT_EQ(RawNames("Game/Lord/3_1/Data"), (std::vector<std::string>{"Cities", "POP3In", "POP3Out", "Prefs.qoe"}));
  EXPECT_EQ(Text(ReadFileBytes("Game/Lord/3_1/Data/Prefs.qoe")), "prefs live");
  EXPECT_EQ(Text(ReadFileBytes("Game/Lord/3_1/Data/Cities/Deep/Town_1.qoe")), "town live");
  // The data folder keeps its indexes, layouts and (now empty) folders only.
  EXPECT_EQ(RawNames("Data"),
            (std::vector<std::string>{"Cities", "POP3In", "POP3Out", "Path", "RizizOzezPath", "Screendat", "SfxPath"}));
  EXPECT_EQ(RawNames("Data/POP3In"), std::vector<std::string>{});
  EXPECT_EQ(RawNames("Data/Cities/Deep"), std::vector<std::string>{});
  EXPECT_EQ(Text(ReadFileBytes("Data/Screendat/Residenz0.dat")), "layout live");
}

TEST(FilesDir, CopyDirMergesNamesCaseInsensitively) {
  Put("Src/Prefs.qoe", "new");
  Put("Src/pop3in/a", "a");
  Put("Dst/prefs.QOE", "old");
  Put("Dst/POP3In/b", "b");
  ASSERT_EQ(CopyDir("src\\", "DST\\", 2), 1);
  EXPECT_EQ(RawNames("Dst"), (std::vector<std::string>{"POP3In", "prefs.QOE"}));
  EXPECT_EQ(Text(ReadFileBytes("Dst/prefs.QOE")), "new");
  EXPECT_EQ(RawNames("Dst/POP3In"), (std::vector<std::string>{"a", "b"}));
  // A missing target folder is made; a missing source fails.
  ASSERT_EQ(CopyDir("Src\\", "Fresh\\", 3), 1);
  EXPECT_EQ(Text(ReadFileBytes("Fresh/Prefs.qoe")), "new");
  EXPECT_EQ(CopyDir("NoSrc\\", "Fresh2\\", 3), 0);
  // A missing source never clears the target first.
  EXPECT_EQ(CopyDir("NoSrc\\", "Dst\\", 3), 0);
  EXPECT_EQ(Text(ReadFileBytes("Dst/prefs.QOE")), "new");
  EXPECT_EQ(CopyDir("..\\", "Fresh\\", 3), 0);
}

TEST(FilesDir, CopyDirMakesMissingParentsOfTheTarget) {
  MakeDataTree("Data", "live");
  // A first save of a lord: neither .\Game nor its lord folder exist.
  ASSERT_EQ(CopyDir(".\\Data\\", ".\\Game\\Neuer Lord\\1_1\\Data\\", 2), 1);
  EXPECT_EQ(Text(ReadFileBytes("Game/Neuer Lord/1_1/Data/Prefs.qoe")), "prefs live");
  EXPECT_EQ(Text(ReadFileBytes("Game/Neuer Lord/1_1/Data/Cities/Deep/Town_1.qoe")), "town live");
  // Existing parents are matched in any case.
  ASSERT_EQ(CopyDir(".\\Data\\", ".\\GAME\\neuer lord\\2_1\\", 2), 1);
  EXPECT_EQ(RawNames("Game/Neuer Lord"), (std::vector<std::string>{"1_1", "2_1"}));
  // A file in the way is no folder.
  Put("Blocked", "x");
  EXPECT_EQ(CopyDir(".\\Data\\", ".\\Blocked\\Save\\", 2), 0);
  EXPECT_EQ(CreateDirPath(".\\Data\\A\\B\\C"), 1);
  EXPECT_TRUE(fs::is_directory("Data/A/B/C"));
  EXPECT_EQ(CreateDirPath(".\\Blocked\\A"), 0);
}

TEST(FilesDir, StaleTemporaryFilesOfKilledSavesAreRemoved) {
  Put("Data/.qoetmp-Prefs.qoe.Ab12Cd", std::string(1000, 'p'));
  Put("Data/POP3Out/.qoetmp-GameChunk.qoe.x1y2z3", "half a pool");
  Put("Data/Prefs.qoe", "prefs");
  Put("Data/.qoetmpnot", "kept: not our name");
  // A save still being written holds its temporary file locked.
  Put("Data/.qoetmp-Optionen.prefs.Live00", "in progress");
  int held = ::open("Data/.qoetmp-Optionen.prefs.Live00", O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_EQ(RemoveStaleTempFiles(".\\", 4), 2u);
  ::close(held);
  EXPECT_EQ(RawNames("Data"), (std::vector<std::string>{".qoetmp-Optionen.prefs.Live00", ".qoetmpnot", "POP3Out",
                                                         "Prefs.qoe"}));
  EXPECT_EQ(RawNames("Data/POP3Out"), std::vector<std::string>{});
  // A save of our own leaves nothing behind, and its file is locked while written.
  ASSERT_EQ(SaveMem2File(".\\Data\\Neu.qoe", "abc", 3), 1);
  EXPECT_EQ(RemoveStaleTempFiles(".\\", 4), 1u);  // the one no longer held
  EXPECT_EQ(Text(ReadFileBytes("Data/Neu.qoe")), "abc");
}

TEST(FilesDir, FailedMoveKeepsTheSource) {
  HookOff off;
  Put("Data/a.qoe", std::string(100, 'a'));
  Put("Data/b.qoe", std::string(100, 'b'));
  Put("Save/b.qoe", "older b");
  FileFailWritesAfter(150);
  EXPECT_EQ(CopyDir(".\\Data\\", ".\\Save\\", 6), 0);
  FileFailWritesAfter(-1);
  // a was moved; b failed half-way: its source and the old target survive.
  EXPECT_FALSE(FileExists("Data/a.qoe"));
  EXPECT_EQ(Text(ReadFileBytes("Save/a.qoe")), std::string(100, 'a'));
  EXPECT_EQ(Text(ReadFileBytes("Data/b.qoe")), std::string(100, 'b'));
  EXPECT_EQ(Text(ReadFileBytes("Save/b.qoe")), "older b");
  EXPECT_EQ(RawNames("Save"), (std::vector<std::string>{"a.qoe", "b.qoe"}));
}

// --- memory balance and threads -------------------------------------------

TEST(FilesMemory, AllocationCountersBalance) {
  Put("Data/Any.qoe", "content");
  fs::create_directories("Game/x");
  uint64_t a0 = MemAllocatedCounter_SS.load(), f0 = MemFreedCounter_SS.load();
  for (int i = 0; i < 3; i++) {
    FileHandle f = Open("Data\\Any.qoe", MODE_OLDFILE);
    ASSERT_NE(f, nullptr);
    Close(f);
    void* m = LoadFile2Mem("Data\\Any.qoe", 0x10001);
    ASSERT_NE(m, nullptr);
    FreeVec(m);
    LockHandle l = Lock("Data\\Any.qoe", 2);
    ASSERT_GT(l, 1);
    UnLock(l);
    char* names = GetDirBuffer("Game", 2);
    ASSERT_NE(names, nullptr);
    FreeVec(names);
    ASSERT_EQ(SaveMem2File("Data\\Any.qoe", "content", 7), 1);
  }
  uint64_t allocated = MemAllocatedCounter_SS.load() - a0, freed = MemFreedCounter_SS.load() - f0;
  EXPECT_EQ(allocated, 12u);
  EXPECT_EQ(allocated, freed);
}

TEST(FilesThread, ConcurrentSavesNeverMixContents) {
  Put("Data/Shared.qoe", std::string(5000, '0'));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([t] {
      std::string body(5000, (char)('A' + t));
      for (int i = 0; i < 20; i++) {
        EXPECT_EQ(SaveMem2File(".\\data\\SHARED.qoe", body.data(), (uint32_t)body.size()), 1);
        uint32_t size = 0;
        char* m = static_cast<char*>(LoadFile2MemSize(".\\Data\\Shared.qoe", 0, &size));
        ASSERT_NE(m, nullptr);
        ASSERT_EQ(size, 5000u);
        EXPECT_EQ(std::count(m, m + size, m[0]), 5000);
        FreeVec(m);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(RawNames("Data"), std::vector<std::string>{"Shared.qoe"});
}

// Writes in place through a handle are counted (and logged with the path);
// file sets, the whole-file writer and reading are not.
TEST(FilesBypassCount, CountsWritesInPlaceOnly) {
  const uint32_t before = FileWritesOutsideSets();
  ASSERT_EQ(SaveMem2File("whole.bin", "abc", 3), 1);
  FileSet* set = BeginFileSet();
  ASSERT_NE(set, nullptr);
  ASSERT_EQ(FileSetWrite(set, "set.bin", "de", 2), 1);
  ASSERT_EQ(CommitFileSet(set), 1);
  FileHandle r = Open("whole.bin", MODE_OLDFILE);
  ASSERT_NE(r, nullptr);
  char buf[3];
  EXPECT_EQ(Read(r, buf, 3), 3);
  Close(r);
  EXPECT_EQ(FileWritesOutsideSets(), before);
  // A new file through Open counts once, however often it is written.
  FileHandle w = Open("inplace.bin", MODE_NEWFILE);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Write(w, "x", 1), 1);
  EXPECT_EQ(Write(w, "y", 1), 1);
  Close(w);
  EXPECT_EQ(FileWritesOutsideSets(), before + 1);
  // An old file written in place counts too.
  FileHandle o = Open("whole.bin", MODE_OLDFILE);
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(Write(o, "z", 1), 1);
  Close(o);
  EXPECT_EQ(FileWritesOutsideSets(), before + 2);
}
