// Hostile saves: a save folder is a tree a player may copy from anywhere.
// A save whose folder, Data folder or a file is a link, that holds a FIFO
// or a socket, whose list of contents is damaged (a FIFO, a path named a
// million times or twice, not sorted, naming more files than the save
// holds), or that holds a file its list does not name (an empty list names
// none) is refused naming that file, before anything of it is copied or
// any of its files is read (the file layer's write hook fails a copy, the
// contents check counts the files it reads, the FIFO watch catches an open
// that waits); the running game and whatever a link points at stay as they
// were, and the whole save still loads. On the title, the box of a save
// refused for a file 1 024 bytes deep shows the file's name.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "routinen/system/checksum.h"
#include "routinen/system/files.h"
#include "screens/hub/savecontents.h"
#include "screens/hub/savegame.h"
#include "screens/hub/tests/savegame_support.h"
#include "screens/hub/titel.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/fifo_watch.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using namespace savegame_test;

namespace {

// The program path LoadDamagedFile gives for a file of the save.
std::string InSave(const std::string& turn_dir, std::string file) {
  std::replace(file.begin(), file.end(), '/', '\\');
  return file.empty() ? turn_dir : turn_dir + "\\" + file;
}

// The file the last load named ("(none)" when it named none).
std::string Named() { return LoadDamagedFile() ? LoadDamagedFile() : "(none)"; }

// The save's list of contents as it was written.
std::vector<SaveContentsEntry> ListOf(const std::string& dir) {
  const auto image = qoe_test::ReadFileBytes(dir + "/Inhalt.qoe");
  std::vector<SaveContentsEntry> entries;
  EXPECT_TRUE(ReadSaveContents(image.data(), static_cast<uint32_t>(image.size()), &entries));
  return entries;
}

void WriteList(const std::string& dir, const std::vector<SaveContentsEntry>& entries) {
  ASSERT_TRUE(qoe_test::WriteFileBytes(dir + "/Inhalt.qoe", SaveContentsImage(entries)));
}

class HostileSave : public ::testing::Test {
 protected:
  void SetUp() override {
    PrepareTitleFolder(false);
    ASSERT_NO_FATAL_FAILURE(InstallDemoRealm());
    ASSERT_EQ(SaveGame(0), 1);
    dir_ = "Game/Harald/" + TurnFolder();
    turn_dir_ = ".\\Game\\Harald\\" + TurnFolder();
    ASSERT_TRUE(qoe_test::BackUpFolders("pristine", {dir_}));
    // The running game moves on from the save.
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Neu.dat", {1}));
    fs::remove("Data/MapPrefs.qoe");
  }
  void TearDown() override { *OwnPlayerPtr = OwnPlayer{}; }

  std::string dir_, turn_dir_;
};

struct Hostile {
  const char* name;
  // Makes the save hostile (dir: the save's folder); the FIFOs it made.
  std::function<std::vector<std::string>(const std::string& dir)> make;
  int32_t refusal;
  // The save's file the refusal names ("" the save's folder); null: the
  // first file of the save by path.
  const char* named;
};

// A folder outside the game, where the links point.
const char kOutside[] = "elsewhere";

const Hostile kHostile[] = {
    {"SaveFolderIsALink",
     [](const std::string& dir) {
       fs::rename(dir, kOutside);
       fs::create_directory_symlink(fs::absolute(kOutside), dir);
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_NOT_PLAIN, ""},
    {"DataFolderIsALink",
     [](const std::string& dir) {
       // The save's own Data, moved out and linked: a copy would take it whole.
       fs::rename(dir + "/Data", kOutside);
       fs::create_directory_symlink(fs::absolute(kOutside), dir + "/Data");
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_NOT_PLAIN, "Data"},
    {"FileIsALinkToItsOwnBytes",
     [](const std::string& dir) {
       fs::create_directories(kOutside);
       fs::rename(dir + "/Data/Prefs.qoe", std::string(kOutside) + "/Prefs.qoe");
       fs::create_symlink(fs::absolute(std::string(kOutside) + "/Prefs.qoe"), dir + "/Data/Prefs.qoe");
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_NOT_PLAIN, "Data/Prefs.qoe"},
    {"ChunkFileIsAFifo",
     [](const std::string& dir) {
       const std::string f = dir + "/Data/POP3In/GameChunk.qoe";
       EXPECT_TRUE(qoe_test::MakeNotPlain(qoe_test::NotPlain::kFifo, f));
       return std::vector<std::string>{f};
     },
     LOAD_REFUSED_NOT_PLAIN, "Data/POP3In/GameChunk.qoe"},
    {"ListIsAFifo",
     [](const std::string& dir) {
       const std::string f = dir + "/Inhalt.qoe";
       EXPECT_TRUE(qoe_test::MakeNotPlain(qoe_test::NotPlain::kFifo, f));
       return std::vector<std::string>{f};
     },
     LOAD_REFUSED_NOT_PLAIN, "Inhalt.qoe"},
    {"MapFileIsASocket",
     [](const std::string& dir) {
       fs::create_directories(dir + "/Map/s");
       EXPECT_TRUE(qoe_test::MakeNotPlain(qoe_test::NotPlain::kSocket, dir + "/Map/s/k"));
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_NOT_PLAIN, "Map/s/k"},
    {"ListNamesAPathAMillionTimes",
     [](const std::string& dir) {
       const std::vector<SaveContentsEntry> list = ListOf(dir);
       WriteList(dir, std::vector<SaveContentsEntry>(1000000, list.front()));
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_DAMAGED, "Inhalt.qoe"},
    {"ListNamesAPathTwice",
     [](const std::string& dir) {
       std::vector<SaveContentsEntry> list = ListOf(dir);
       list.insert(list.begin() + 1, list[1]);
       WriteList(dir, list);
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_DAMAGED, "Inhalt.qoe"},
    {"ListIsNotSortedByPath",
     [](const std::string& dir) {
       std::vector<SaveContentsEntry> list = ListOf(dir);
       std::swap(list[1], list[2]);
       WriteList(dir, list);
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_DAMAGED, "Inhalt.qoe"},
    {"ListNamesMoreFilesThanTheSaveHolds",
     [](const std::string& dir) {
       std::vector<SaveContentsEntry> list = ListOf(dir);
       list.push_back({"Map/~more", 1, 0});  // after every other path
       WriteList(dir, list);
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_DAMAGED, "Inhalt.qoe"},
    {"ExtraFileInData",
     [](const std::string& dir) {
       EXPECT_TRUE(qoe_test::WriteFileBytes(dir + "/Data/Extra.txt", {'x'}));
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_UNLISTED, "Data/Extra.txt"},
    {"ExtraFileInASubFolderOfMap",
     [](const std::string& dir) {
       fs::create_directories(dir + "/Map/sub");
       EXPECT_TRUE(qoe_test::WriteFileBytes(dir + "/Map/sub/y.map", {'y'}));
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_UNLISTED, "Map/sub/y.map"},
    {"EmptyButWellFormedList",
     [](const std::string& dir) {
       WriteList(dir, {});
       return std::vector<std::string>{};
     },
     LOAD_REFUSED_UNLISTED, nullptr},
};

}  // namespace

TEST_F(HostileSave, EachIsRefusedNamingItsFileBeforeAnythingIsCopiedOrRead) {
  const auto game = GameState(), map = Snapshot("Map");
  const std::string first_file = ListOf(dir_).front().path;
  for (const Hostile& h : kHostile) {
    SCOPED_TRACE(h.name);
    fs::remove_all(kOutside);
    fs::remove_all(dir_);
    ASSERT_TRUE(qoe_test::RestoreFolders("pristine", {dir_}));
    const std::vector<std::string> fifos = h.make(dir_);
    const auto outside = qoe_test::FileTree(kOutside);
    const uint64_t read_before = SaveContentsFilesRead();
    qoe_test::FifoWatch watch(fifos);
    // Any copy would fail at its first write: the refusal comes before.
    FileFailWritesAfter(0);
    const int32_t loaded = RestoreSave(turn_dir_.c_str());
    FileFailWritesAfter(-1);
    watch.Stop();
    EXPECT_EQ(loaded, 0);
    EXPECT_EQ(watch.Blocked(), 0u) << "opened waiting for a FIFO's other end";
    EXPECT_EQ(LoadRefusal(), h.refusal);
    EXPECT_EQ(Named(), InSave(turn_dir_, h.named ? h.named : first_file));
    EXPECT_EQ(SaveContentsFilesRead(), read_before) << "a file of the save was read";
    EXPECT_EQ(Diff(GameState(), game), "");
    EXPECT_EQ(Diff(Snapshot("Map"), map), "");
    EXPECT_FALSE(fs::exists("Game/.laden"));
    EXPECT_EQ(Diff(qoe_test::FileTree(kOutside), outside), "");
    for (const std::string& f : fifos) EXPECT_TRUE(qoe_test::StillNotPlain(qoe_test::NotPlain::kFifo, f)) << f;
  }
  // The whole save loads, with a read of each of its files.
  fs::remove_all(kOutside);
  fs::remove_all(dir_);
  ASSERT_TRUE(qoe_test::RestoreFolders("pristine", {dir_}));
  const uint64_t read_before = SaveContentsFilesRead();
  EXPECT_EQ(RestoreSave(turn_dir_.c_str()), 1);
  EXPECT_EQ(LoadDamagedFile(), nullptr);
  EXPECT_EQ(LoadRefusal(), LOAD_REFUSED_NONE);
  EXPECT_EQ(SaveContentsFilesRead() - read_before, ListOf(dir_).size());
  FileMap data;
  for (const auto& [file, bytes] : Snapshot(dir_))
    if (file.rfind("Data/", 0) == 0) data[file.substr(5)] = bytes;
  EXPECT_EQ(Diff(GameState(), data), "");
}

// A save of an older version has no list: its links and FIFOs are refused
// all the same, and its files are not held to a list.
TEST_F(HostileSave, ASaveWithoutAListIsStillRefusedForALinkButLoadsWithMoreFiles) {
  fs::remove(dir_ + "/Inhalt.qoe");
  ASSERT_TRUE(qoe_test::BackUpFolders("older", {dir_}));
  fs::create_symlink("Prefs.qoe", dir_ + "/Data/Link.qoe");
  EXPECT_EQ(RestoreSave(turn_dir_.c_str()), 0);
  EXPECT_EQ(LoadRefusal(), LOAD_REFUSED_NOT_PLAIN);
  EXPECT_EQ(Named(), InSave(turn_dir_, "Data/Link.qoe"));
  fs::remove_all(dir_);
  ASSERT_TRUE(qoe_test::RestoreFolders("older", {dir_}));
  ASSERT_TRUE(qoe_test::WriteFileBytes(dir_ + "/Data/Extra.txt", {'x'}));
  EXPECT_EQ(RestoreSave(turn_dir_.c_str()), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Extra.txt"), std::vector<uint8_t>{'x'});
}

// A game file whose name no list can hold ('\\' in it, a control
// character) is left out of the save, so the save holds what its list names
// and loads.
TEST_F(HostileSave, AFileNoListCanNameIsLeftOutOfTheSaveWhichThenLoads) {
  const std::string odd[] = {"Data/a\\b.dat", std::string("Data/c\x01") + "d.dat"};
  for (const std::string& f : odd) ASSERT_TRUE(qoe_test::WriteFileBytes(f, {'o'}));
  fs::remove_all(dir_);
  ASSERT_EQ(SaveGame(0), 1);
  for (const std::string& f : odd) EXPECT_FALSE(fs::exists(dir_ + "/" + f)) << f;
  for (const std::string& f : odd) fs::remove(f);
  const auto saved = Snapshot(dir_ + "/Data");
  EXPECT_EQ(RestoreSave(turn_dir_.c_str()), 1);
  EXPECT_EQ(Named(), "(none)");
  EXPECT_EQ(Diff(GameState(), saved), "");
}

// ---- the box on the title ------------------------------------------------------

namespace {

class HostileSaveOnTheTitle : public HostileSave, protected qoe_test::HeadlessScreen {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    HostileSave::SetUp();
    OpenHeadlessScreen(0);
  }
  void TearDown() override {
    CloseHeadlessScreen();
    // The load's SetupSystem filled the display record: the next test of
    // this process starts without a display, as it would alone.
    QoESystemPtr->Display = nullptr;
    HostileSave::TearDown();
  }
};

// The texts without their blanks: the box breaks lines at blanks and drops
// the blank there.
std::string Squeezed(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ') out += c;
  return out;
}

}  // namespace

// A save holding a file whose path is 1 024 bytes long, not named by its
// list: the box names it, the path cut in its middle so that its end, the
// file's name, shows in the box's lines.
TEST_F(HostileSaveOnTheTitle, TheBoxOfARefusalShowsTheNameAtTheEndOfAVeryLongPath) {
  std::string rel = "Map";
  for (char c = 'a'; rel.size() < 1024 - 16; ++c)
    rel += "/" + std::string(std::min<size_t>(200, 1024 - 16 - rel.size() - 1), c);
  rel += "/tief_unten.map";
  ASSERT_GE(rel.size(), 1000u);
  ASSERT_LE(rel.size(), 1024u);
  fs::create_directories(fs::path(dir_ + "/" + rel).parent_path());
  ASSERT_TRUE(qoe_test::WriteFileBytes(dir_ + "/" + rel, {'t'}));
  const auto game = GameState();
  const std::string pick_line = Click(223 + 60, 130 + 34), ok = Click(223 + 50, 130 + 241);
  const std::string png = "title_refused_long_path.png";
  qoe_test::DrawnTextRecorder drawn;
  const std::string script = "key enter\n" + Click(130, 212) + "key enter\n" + pick_line + ok + pick_line + ok +
                             "wait 300\npng " + png + "\nkey enter\nwait 300\n" + Click(400, 300);
  EXPECT_EQ(RunScreen(TitelScreen, 0, script), 2);
  EXPECT_EQ(LoadRefusal(), LOAD_REFUSED_UNLISTED);
  EXPECT_EQ(Named(), InSave(turn_dir_, rel));
  // The box's text as drawn: its start, then the lines it was wrapped into.
  const std::vector<std::string> texts = drawn.Texts();
  const auto whole = std::find_if(texts.begin(), texts.end(), [](const std::string& t) {
    return t.rfind("The saved game was not loaded: it holds the file Game\\Harald\\", 0) == 0;
  });
  ASSERT_NE(whole, texts.end());
  EXPECT_NE(whole->find("..."), std::string::npos) << *whole;
  EXPECT_NE(whole->find("\\tief_unten.map, which its list of contents does not name."), std::string::npos) << *whole;
  std::string lines;
  for (auto it = whole + 1; it != texts.end(); ++it) lines += *it;
  EXPECT_NE(Squeezed(lines).find(Squeezed("\\tief_unten.map, which its list of contents does not name.")),
            std::string::npos)
      << lines;
  EXPECT_EQ(Diff(GameState(), game), "");
  EXPECT_TRUE(qoe_test::KeepPng(png));
}
