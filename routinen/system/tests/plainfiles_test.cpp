// Files that are no plain files: every call of the file layer that reads or
// writes a file, on a FIFO, a folder, a link to a good file and a socket in
// the file's place, each under the FIFO watch. Each call is refused at once
// (never waiting for a FIFO's other end), and the thing stays as it was: a
// FIFO stays a FIFO, a link keeps pointing at its file. The settings files
// read at the start (the prefs, the story prefs, the options, the endpoint
// file) are left as they are, run on their defaults and are noted for the
// player once each.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/fifo_watch.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qoe_test::FifoWatch;
using qoe_test::NotPlain;

namespace {

const NotPlain kKinds[] = {NotPlain::kFifo, NotPlain::kFolder, NotPlain::kLinkToAGoodFile, NotPlain::kSocket};
const std::vector<uint8_t> kGood = {'g', 'o', 'o', 'd'};

// One call of the layer on the path "Data/File.dat": true when it was
// refused (null, 0 or -1 as the call says).
struct LayerCall {
  const char* name;
  std::function<bool()> refused;
};

bool OpenRefused(int32_t mode) {
  FileHandle f = Open(".\\Data\\File.dat", mode);
  if (f) Close(f);
  return f == nullptr;
}

const LayerCall kCalls[] = {
    {"OpenReadWriteShared", [] { return OpenRefused(MODE_READWRITE_SHARED); }},
    {"OpenOldFile", [] { return OpenRefused(MODE_OLDFILE); }},
    {"OpenNewFile", [] { return OpenRefused(MODE_NEWFILE); }},
    {"OpenReadSequential", [] { return OpenRefused(MODE_READ_SEQUENTIAL); }},
    {"OpenReadOnly", [] { return OpenRefused(MODE_READONLY); }},
    {"LoadFile2Mem",
     [] {
       void* m = LoadFile2Mem(".\\Data\\File.dat", MEMF_PUBLIC);
       FreeVec(m);
       return m == nullptr;
     }},
    {"LockShared",
     [] {
       LockHandle l = Lock(".\\Data\\File.dat", 2);
       UnLock(l);
       return l == 0 || l == 1;  // 1: a folder, never a file lock
     }},
    {"SaveMem2File", [] { return SaveMem2File(".\\Data\\File.dat", "new", 3) == 0; }},
    {"FileSetWrite",
     [] {
       FileSet* s = BeginFileSet();
       FileSetWrite(s, ".\\Data\\File.dat", "new", 3);
       return CommitFileSet(s) == 0;
     }},
    {"FileStream",
     [] {
       FileStream* s = BeginFileStream(".\\Data\\File.dat");
       return !s || (FileStreamWrite(s, "new", 3) && CommitFileStream(s, nullptr) == 0);
     }},
};

}  // namespace

TEST(PlainFiles, EveryCallOfTheLayerRefusesWhatIsNoPlainFileAtOnceAndLeavesIt) {
  fs::create_directories("Data");
  for (const NotPlain kind : kKinds) {
    for (const LayerCall& call : kCalls) {
      SCOPED_TRACE(std::string(qoe_test::NotPlainName(kind)) + " " + call.name);
      ASSERT_TRUE(qoe_test::MakeNotPlain(kind, "Data/File.dat", kGood));
      FifoWatch watch({"Data/File.dat"});
      EXPECT_TRUE(call.refused());
      watch.Stop();
      EXPECT_EQ(watch.Blocked(), 0u) << "opened waiting for the FIFO's other end";
      EXPECT_TRUE(qoe_test::StillNotPlain(kind, "Data/File.dat"));
      if (kind == NotPlain::kLinkToAGoodFile) {
        EXPECT_EQ(qoe_test::ReadFileBytes("Data/File.dat.good"), kGood);
      }
    }
    EXPECT_EQ(PathKind(".\\Data\\File.dat"), kind == NotPlain::kFolder ? PATH_FOLDER : PATH_NOT_PLAIN);
  }
  EXPECT_EQ(PathKind(".\\Data\\File.dat.good"), PATH_PLAIN);
  EXPECT_EQ(PathKind(".\\Data\\Missing.dat"), PATH_ABSENT);
  // A plain file still opens in every mode, and a write still replaces it.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Plain.dat", kGood));
  for (int32_t mode : {MODE_READWRITE_SHARED, MODE_OLDFILE, MODE_READ_SEQUENTIAL, MODE_READONLY}) {
    FileHandle f = Open(".\\Data\\Plain.dat", mode);
    ASSERT_NE(f, nullptr) << mode;
    char buf[8] = {};
    EXPECT_EQ(Read(f, buf, 8), 4) << mode;
    Close(f);
  }
  EXPECT_EQ(SaveMem2File(".\\Data\\Plain.dat", "new", 3), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Plain.dat"), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

namespace {

// A settings file read at the start: its path in the working folder, the
// name the player is told, and its reader (which must keep the defaults).
struct SettingsFile {
  const char* disk;
  const char* told;
  std::function<void()> read;
};

const SettingsFile kSettings[] = {
    {"Data/Prefs.qoe", "Data\\Prefs.qoe",
     [] {
       EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0xFFFFFFFFu);
       EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2), 0xFFFFFFFFu);  // never written
     }},
    {"Data/BTPrefs.qoe", "Data\\BTPrefs.qoe",
     [] {
       EXPECT_EQ(RizizOzezPrefs(0, 0, 0), 0xFFFFFFFFu);
       EXPECT_EQ(SaveStandardRizizOzezPrefs(), 0);
     }},
    {"Data/Optionen.prefs", "Data\\Optionen.prefs",
     [] {
       OptionenPrefs o;
       std::memset(&o, 0x55, sizeof o);
       EXPECT_EQ(OptionenPrefsLoad(&o), 0);
       OptionenPrefs d;
       OptionenPrefsDefault(&d);
       EXPECT_EQ(std::memcmp(&o, &d, sizeof o), 0);  // the defaults, in memory only
       EXPECT_EQ(OptionenPrefsSave(&o), 0);
     }},
    {"Endpoints.cfg", "Endpoints.cfg",
     [] {
       EndpointConfig e, d;
       EXPECT_EQ(LoadEndpoints(&e), 0);
       EndpointDefaults(&d);
       EXPECT_EQ(std::memcmp(&e, &d, sizeof e), 0);
     }},
};

}  // namespace

TEST(PlainFiles, ASettingsFileThatIsNoPlainFileIsNeitherReadNorReplacedAndIsTold) {
  fs::create_directories("Data");
  for (const SettingsFile& file : kSettings) {
    for (const NotPlain kind : kKinds) {
      SCOPED_TRACE(std::string(file.disk) + " " + qoe_test::NotPlainName(kind));
      ForgetNotPlainFiles();
      ASSERT_TRUE(qoe_test::MakeNotPlain(kind, file.disk, kGood));
      FifoWatch watch({file.disk});
      file.read();
      file.read();  // read again: still told once
      watch.Stop();
      EXPECT_EQ(watch.Blocked(), 0u) << "opened waiting for the FIFO's other end";
      EXPECT_TRUE(qoe_test::StillNotPlain(kind, file.disk));
      char* told = TakeNotPlainFiles();
      ASSERT_NE(told, nullptr);
      EXPECT_EQ(std::string(told), file.told);
      FreeVec(told);
      EXPECT_EQ(TakeNotPlainFiles(), nullptr);
      fs::remove_all(file.disk);
    }
  }
  ForgetNotPlainFiles();
}
