// The title screen, save games, the new game and the quit checks: headless
// runs of the title for each account state (labels, Escape, the background
// click, the repair after an unclean end), save and load round trips of a
// realm made by the turn builder, the warnings table, and a PNG.
#include "screens/hub/titel.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/system/memory.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"
#include "screens/hub/residenz.h"
#include "screens/hub/savegame.h"
#include "screens/hub/tests/savegame_support.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;
using namespace savegame_test;

namespace {

const char kIn[] = "Data/POP3In/GameChunk.qoe";
const char kOut[] = "Data/POP3Out/GameChunk.qoe";

using qoe_test::LogLines;

class Titel : public ::testing::Test {
 protected:
  void SetUp() override { PrepareTitleFolder(); }
  void TearDown() override {
    *OwnPlayerPtr = OwnPlayer{};
    SetShellHooks(nullptr);
  }
};

// ---- save games without a display ------------------------------------------

TEST_F(Titel, SaveCopiesTheGameAndASecondSaveOfTheQuarterReplacesTheFirst) {
  InstallDemoRealm();
  const auto before = GameState();
  const auto indexes = Indexes();
  ASSERT_EQ(SaveGame(0), 1);
  const std::string dir = "Game/Harald/" + TurnFolder();
  auto saved = Snapshot(dir + "/Data");
  EXPECT_EQ(Diff(saved, before), "");  // byte for byte, without indexes and layouts
  EXPECT_EQ(Diff(Snapshot(dir + "/Map"), Snapshot("Map")), "");
  EXPECT_FALSE(Snapshot("Map").empty());
  EXPECT_EQ(Diff(Indexes(), indexes), "");
  EXPECT_EQ(Diff(GameState(), before), "");  // a copy leaves the game in place

  // Again in the same quarter, with a changed file and one gone: the save
  // holds the new state and nothing of the first one is left beside it.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MailOut/E0000001_01.smal", {1, 2, 3}));
  fs::remove("Data/MapPrefs.qoe");
  ASSERT_EQ(SaveGame(0), 1);
  saved = Snapshot(dir + "/Data");
  EXPECT_EQ(Diff(saved, GameState()), "");
  EXPECT_EQ(saved.count("MapPrefs.qoe"), 0u);
  std::vector<std::string> turns;
  for (const auto& e : fs::directory_iterator("Game/Harald")) turns.push_back(e.path().filename().string());
  EXPECT_EQ(turns, std::vector<std::string>{TurnFolder()});
}

TEST_F(Titel, AFailedSaveKeepsTheOlderSaveOfTheQuarter) {
  InstallDemoRealm();
  ASSERT_EQ(SaveGame(0), 1);
  const std::string dir = "Game/Harald/" + TurnFolder();
  const auto first = Snapshot(dir);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Extra.dat", std::vector<uint8_t>(5000, 7)));
  FileFailWritesAfter(20000);
  LogLines log;
  EXPECT_EQ(SaveGame(0), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(Diff(Snapshot(dir), first), "");
  std::vector<std::string> turns;
  for (const auto& e : fs::directory_iterator("Game/Harald")) turns.push_back(e.path().filename().string());
  EXPECT_EQ(turns.size(), 1u);
}

TEST_F(Titel, SaveWithoutKornMakesOnlyTheLordsFolderAndNothingWithoutAGame) {
  InstallDemoRealm();
  ASSERT_EQ(RemChunkPool("KORN", kIn), 1);
  EXPECT_EQ(SaveGame(0), 1);
  ASSERT_TRUE(fs::is_directory("Game/Harald"));
  EXPECT_TRUE(fs::is_empty("Game/Harald"));
  // Below account state 2 nothing is done.
  fs::remove_all("Game");
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  EXPECT_EQ(SaveGame(0), 1);
  EXPECT_FALSE(fs::exists("Game"));
}

TEST_F(Titel, SaveOfADamagedReceivedTurnIsRefusedAndLeavesNoFolder) {
  InstallDemoRealm();
  auto pool = qoe_test::ReadFileBytes(kIn);
  pool.back() ^= 0x55;  // the checksum fails
  ASSERT_TRUE(qoe_test::WriteFileBytes(kIn, pool));
  LogLines log;
  EXPECT_EQ(SaveGame(0), 0);
  EXPECT_FALSE(fs::exists("Game"));
  EXPECT_TRUE(log.Has("beschaedigt"));
  // An empty received file is no turn either.
  ASSERT_TRUE(qoe_test::WriteFileBytes(kIn, {}));
  EXPECT_EQ(SaveGame(0), 0);
  EXPECT_FALSE(fs::exists("Game"));
}

// Every folder and file of the game, its saves and the layouts.
std::map<std::string, std::vector<uint8_t>> WholeTree() {
  std::map<std::string, std::vector<uint8_t>> out;
  for (const char* top : {"Data", "Map", "Game"}) {
    if (!fs::exists(top)) continue;
    out[top] = {'/'};
    for (const auto& e : fs::recursive_directory_iterator(top))
      out[e.path().string()] = e.is_directory() ? std::vector<uint8_t>{'/'} : qoe_test::ReadFileBytes(e.path().string());
  }
  return out;
}

TEST_F(Titel, SaveAndLoadThatFailPartWayChangeNothing) {
  InstallDemoRealm();
  // Saves with every write budget: a failing one reports it and leaves no
  // trace, not even the folders of the first save.
  auto before = WholeTree();
  int64_t budget = 0;
  for (; budget < 50000000; budget += budget < 16 ? 1 : 4093 + budget / 4) {
    FileFailWritesAfter(budget);
    const int32_t ok = SaveGame(0);
    FileFailWritesAfter(-1);
    if (ok) break;
    ASSERT_EQ(Diff(WholeTree(), before), "") << "budget " << budget;
  }
  ASSERT_GT(budget, 10000);
  const std::string dir = "Game/Harald/" + TurnFolder();
  const auto saved = Snapshot(dir + "/Data"), saved_map = Snapshot(dir + "/Map");
  // The game moves on: files change, go and come.
  fs::remove("Data/MapPrefs.qoe");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", {9, 9, 9}));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Neu.dat", {1}));
  fs::remove(fs::directory_iterator("Map")->path());
  ASSERT_TRUE(qoe_test::WriteFileBytes("Map/M_0_0.map", {2}));
  const auto indexes = Indexes();
  // Loads with every write budget: the running game stays whole.
  before = WholeTree();
  const std::string turn_dir = ".\\Game\\Harald\\" + TurnFolder();
  for (budget = 0; budget < 50000000; budget += budget < 16 ? 1 : 4093 + budget / 4) {
    FileFailWritesAfter(budget);
    const int32_t ok = RestoreSave(turn_dir.c_str());
    FileFailWritesAfter(-1);
    if (ok) break;
    ASSERT_EQ(Diff(WholeTree(), before), "") << "budget " << budget;
  }
  ASSERT_GT(budget, 10000);
  EXPECT_EQ(Diff(GameState(), saved), "");
  EXPECT_EQ(Diff(Snapshot("Map"), saved_map), "");
  EXPECT_EQ(Diff(Indexes(), indexes), "");
  EXPECT_FALSE(fs::exists("Game/.laden"));
  EXPECT_EQ(FinishInterruptedLoad(), 0);
  // A save that is not there loads nothing.
  EXPECT_EQ(RestoreSave(".\\Game\\Harald\\1_1"), 0);
  EXPECT_EQ(Diff(GameState(), saved), "");
}

// The program path of a file of a save, as LoadDamagedFile names it.
std::string InSave(const std::string& turn_dir, std::string file) {
  std::replace(file.begin(), file.end(), '/', '\\');
  return turn_dir + "\\" + file;
}

// A save with any of its files cut to half, a pool whose checksum fails, or
// its list of contents damaged is refused before anything is copied back:
// the load names the save's file, and the running game stays as it was. A
// save of an older version (without the list) is still refused for a chunk
// file cut short. The whole save then loads.
TEST_F(Titel, ADamagedSaveIsRefusedNamingItsFileAndTheRunningGameStays) {
  InstallDemoRealm();
  ASSERT_EQ(SaveGame(0), 1);
  const std::string dir = "Game/Harald/" + TurnFolder(), turn_dir = ".\\Game\\Harald\\" + TurnFolder();
  const auto saved = Snapshot(dir);
  ASSERT_TRUE(saved.count("Inhalt.qoe"));
  // The running game moves on.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Neu.dat", {1}));
  fs::remove("Data/MapPrefs.qoe");
  const auto game = GameState(), map = Snapshot("Map");
  struct Damage {
    std::string file;
    std::vector<uint8_t> bytes;
  };
  std::vector<Damage> damages;
  for (const auto& [file, bytes] : saved)
    if (bytes.size() > 1) damages.push_back({file, std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2)});
  ASSERT_GT(damages.size(), 20u);
  auto pool = saved.at("Data/POP3In/GameChunk.qoe");
  pool.back() ^= 0x55;  // whole, but its checksum fails
  damages.push_back({"Data/POP3In/GameChunk.qoe", pool});
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.file);
    ASSERT_TRUE(qoe_test::WriteFileBytes(dir + "/" + damage.file, damage.bytes));
    LogLines log;
    EXPECT_EQ(RestoreSave(turn_dir.c_str()), 0);
    ASSERT_NE(LoadDamagedFile(), nullptr);
    EXPECT_EQ(std::string(LoadDamagedFile()), InSave(turn_dir, damage.file));
    EXPECT_TRUE(log.Has("ist beschaedigt"));
    EXPECT_EQ(Diff(GameState(), game), "");
    EXPECT_EQ(Diff(Snapshot("Map"), map), "");
    EXPECT_FALSE(fs::exists("Game/.laden"));
    ASSERT_TRUE(qoe_test::WriteFileBytes(dir + "/" + damage.file, saved.at(damage.file)));
  }
  // A save of an older version has no list of contents: its chunk files
  // are still read whole.
  fs::remove(dir + "/Inhalt.qoe");
  const auto& out = saved.at("Data/POP3Out/GameChunk.qoe");
  ASSERT_TRUE(qoe_test::WriteFileBytes(dir + "/Data/POP3Out/GameChunk.qoe",
                                       std::vector<uint8_t>(out.begin(), out.begin() + out.size() / 2)));
  EXPECT_EQ(RestoreSave(turn_dir.c_str()), 0);
  ASSERT_NE(LoadDamagedFile(), nullptr);
  EXPECT_EQ(std::string(LoadDamagedFile()), InSave(turn_dir, "Data/POP3Out/GameChunk.qoe"));
  EXPECT_EQ(Diff(GameState(), game), "");
  ASSERT_TRUE(qoe_test::WriteFileBytes(dir + "/Data/POP3Out/GameChunk.qoe", out));
  // The whole save loads.
  EXPECT_EQ(RestoreSave(turn_dir.c_str()), 1);
  EXPECT_EQ(LoadDamagedFile(), nullptr);
  FileMap data;
  for (const auto& [file, bytes] : saved)
    if (file.rfind("Data/", 0) == 0) data[file.substr(5)] = bytes;
  EXPECT_EQ(Diff(GameState(), data), "");
}

TEST_F(Titel, LoadKilledAtAnyMomentEndsAsTheOldGameOrTheLoadedOne) {
  InstallDemoRealm();
  ASSERT_EQ(SaveGame(0), 1);
  const std::string turn_dir = ".\\Game\\Harald\\" + TurnFolder();
  const auto new_data = GameState(), new_map = Snapshot("Map");
  // The running game differs from the save.
  fs::remove("Data/MapPrefs.qoe");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Neu.dat", {1}));
  fs::remove_all("Map");
  fs::create_directories("Map");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Map/M_0_0.map", {2}));
  const auto old_data = GameState(), old_map = Snapshot("Map");
  ASSERT_TRUE(qoe_test::BackUpFolders("old", {"Data", "Map"}));
  auto restore_old = [] { ASSERT_TRUE(qoe_test::RestoreFolders("old", {"Data", "Map"})); };
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(RestoreSave(turn_dir.c_str()), 1);
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  int olds = 0, news = 0;
  srand(7);
  for (int i = 0; i < 40; i++) {
    restore_old();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(RestoreSave(turn_dir.c_str()) == 1 ? 0 : 1);
    usleep((useconds_t)(rand() % (us + 1)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const int32_t fin = FinishInterruptedLoad();
    if (fs::exists("Game/.laden")) {
      std::string t;
      for (const auto& e : fs::recursive_directory_iterator("Game/.laden")) t += e.path().string() + " ";
      ADD_FAILURE() << "fin " << fin << " status " << status << ": " << t;
    }
    const auto data = GameState(), map = Snapshot("Map");
    if (Diff(data, old_data).empty() && Diff(map, old_map).empty()) olds++;
    else if (Diff(data, new_data).empty() && Diff(map, new_map).empty()) news++;
    else ADD_FAILURE() << "run " << i << ": " << Diff(data, old_data) << "| " << Diff(data, new_data);
    EXPECT_FALSE(fs::exists("Game/.laden")) << i;
    EXPECT_FALSE(fs::exists("Game/.laden.weg")) << i;
  }
  EXPECT_EQ(olds + news, 40);
}

// The names in a folder (none when it is missing).
std::vector<std::string> Names(const std::string& dir) {
  std::vector<std::string> out;
  if (!fs::is_directory(dir)) return out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

// The next start of the program: what kills interrupted is finished.
void NextStart() {
  EXPECT_EQ(FinishCommitRecords(), 0);
  EXPECT_GE(FinishInterruptedLoad(), 0);
  EXPECT_GE(FinishInterruptedSaves(), 0);
}

// True when a staged file (".qoetmp-*") is left anywhere under the folder.
bool HasStagedFile(const std::string& dir) {
  for (const auto& f : qoe_test::FileTree(dir))
    if (f.first.find(".qoetmp-") != std::string::npos) return true;
  return false;
}

TEST_F(Titel, SaveKilledAtAnyMomentLeavesTheOlderSaveOrTheNewOneAfterTheNextStart) {
  InstallDemoRealm();
  ASSERT_EQ(SaveGame(0), 1);
  const std::string turn = TurnFolder(), lord = "Game/Harald", dir = lord + "/" + turn;
  const auto old_save = qoe_test::FileTree(dir);
  ASSERT_TRUE(qoe_test::BackUpFolders("old", {"Game"}));
  // The game moves on, so the new save differs from the old one.
  fs::remove("Data/MapPrefs.qoe");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Neu.dat", std::vector<uint8_t>(3000, 1)));
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(SaveGame(0), 1);
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  const auto new_save = qoe_test::FileTree(dir);
  ASSERT_NE(Diff(old_save, new_save), "");
  int olds = 0, news = 0;
  srand(11);
  for (int i = 0; i < 30; i++) {
    ASSERT_TRUE(qoe_test::RestoreFolders("old", {"Game"}));
    // Most kills in the copy, the rest round the switch at its end.
    const int64_t delay = i % 2 ? rand() % (us + 1) : us * 3 / 4 + rand() % (us / 2 + 1);
    qoe_test::RunKilledAfter([] { return SaveGame(0) == 1 ? 0 : 1; }, delay);
    NextStart();
    EXPECT_FALSE(HasStagedFile(".")) << "run " << i;
    ASSERT_EQ(Names(lord), std::vector<std::string>{turn}) << "run " << i;
    const auto save = qoe_test::FileTree(dir);
    if (Diff(save, old_save).empty()) olds++;
    else if (Diff(save, new_save).empty()) news++;
    else ADD_FAILURE() << "run " << i << ": " << Diff(save, old_save) << "| " << Diff(save, new_save);
  }
  EXPECT_EQ(olds + news, 30);
  // Saving and loading go on as before.
  EXPECT_EQ(FinishInterruptedSaves(), 0);
  const auto game = GameState();
  ASSERT_EQ(SaveGame(0), 1);
  EXPECT_EQ(Diff(qoe_test::FileTree(dir), new_save), "");
  ASSERT_EQ(RestoreSave((".\\Game\\Harald\\" + turn).c_str()), 1);
  EXPECT_EQ(Diff(GameState(), game), "");
}

TEST_F(Titel, NewGameKilledAtAnyMomentKeepsTheGameOrPutsItAway) {
  InstallDemoRealm();
  const std::string dir = "Game/Harald/" + TurnFolder();
  ASSERT_TRUE(qoe_test::BackUpFolders("old", {"Data", "Map"}));
  const auto old_game = GameState(), old_map = Snapshot("Map");
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(SaveGame(1), 1);
  const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  const auto new_game = GameState(), save = qoe_test::FileTree(dir);
  ASSERT_TRUE(Snapshot("Map").empty());
  ASSERT_EQ(Diff(qoe_test::FileTree(dir + "/Data"), old_game), "");
  int kept = 0, saved = 0, moved = 0;
  srand(13);
  for (int i = 0; i < 16; i++) {
    ASSERT_TRUE(qoe_test::RestoreFolders("old", {"Data", "Map"}));
    fs::remove_all("Game");
    // Half the kills round the end, where the game is put away.
    const int64_t delay = i % 2 ? rand() % (us + 1) : us * 3 / 4 + rand() % (us / 2 + 1);
    qoe_test::RunKilledAfter([] { return SaveGame(1) == 1 ? 0 : 1; }, delay);
    NextStart();
    const auto game = GameState(), map = Snapshot("Map"), now_save = qoe_test::FileTree(dir);
    EXPECT_FALSE(HasStagedFile(".")) << "run " << i;
    // The save is a copy of the running game: it may be there while the
    // game still is, whole or not at all.
    EXPECT_TRUE(now_save.empty() || now_save == save) << "run " << i;
    if (Diff(game, old_game).empty() && Diff(map, old_map).empty()) (now_save.empty() ? kept : saved)++;
    else if (Diff(game, new_game).empty() && map.empty() && now_save == save) moved++;
    else ADD_FAILURE() << "run " << i << ": " << Diff(game, old_game) << "| " << Diff(game, new_game);
  }
  EXPECT_EQ(kept + saved + moved, 16);
  // A new game and a load of its save go on as before.
  ASSERT_TRUE(qoe_test::RestoreFolders("old", {"Data", "Map"}));
  ASSERT_EQ(SaveGame(1), 1);
  ASSERT_EQ(RestoreSave((".\\" + dir).c_str()), 1);
  EXPECT_EQ(Diff(GameState(), old_game), "");
}

TEST_F(Titel, InterruptedSavesAreFinishedFromEveryStep) {
  const std::string lord = "Game/Harald", t = "1203_1";
  auto folder = [](const std::string& dir, uint8_t mark) {
    fs::create_directories(dir + "/Data");
    fs::create_directories(dir + "/Map");
    ASSERT_TRUE(qoe_test::WriteFileBytes(dir + "/Data/Prefs.qoe", {mark}));
  };
  struct Step {
    const char* what;
    std::vector<std::pair<std::string, uint8_t>> folders;  // name, mark (1 old, 2 new, 3 part)
    uint8_t result;
  };
  const Step steps[] = {
      {"copy under way", {{t, 1}, {"." + t + ".neu", 3}}, 1},
      {"first copy under way", {{"." + t + ".neu", 3}}, 0},
      {"copy ready", {{t, 1}, {"." + t + ".fertig", 2}}, 2},
      {"first copy ready", {{"." + t + ".fertig", 2}}, 2},
      {"old save moved aside", {{"." + t + ".alt", 1}, {"." + t + ".fertig", 2}}, 2},
      {"new save in place", {{t, 2}, {"." + t + ".alt", 1}}, 2},
      {"ready with an old leftover", {{t, 1}, {"." + t + ".fertig", 2}, {"." + t + ".alt", 3}}, 2},
      {"only the moved old save", {{"." + t + ".alt", 1}}, 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    fs::remove_all("Game");
    for (const auto& [name, mark] : step.folders) folder(lord + "/" + name, mark);
    fs::create_directories("Game/.laden/neu");  // a load's folder is not a save
    EXPECT_EQ(FinishInterruptedSaves(), 1);
    if (step.result) {
      EXPECT_EQ(Names(lord), std::vector<std::string>{t});
      EXPECT_EQ(qoe_test::ReadFileBytes(lord + "/" + t + "/Data/Prefs.qoe"), std::vector<uint8_t>{step.result});
    } else {
      EXPECT_TRUE(Names(lord).empty());
    }
    EXPECT_EQ(FinishInterruptedSaves(), 0);
    EXPECT_TRUE(fs::exists("Game/.laden/neu"));
  }
  // A save of the quarter finishes what was left before it writes.
  InstallDemoRealm();
  const std::string turn = TurnFolder();
  fs::remove_all("Game");
  folder(lord + "/." + turn + ".alt", 1);
  folder(lord + "/." + turn + ".fertig", 2);
  ASSERT_EQ(SaveGame(0), 1);
  EXPECT_EQ(Names(lord), std::vector<std::string>{turn});
  EXPECT_EQ(Diff(qoe_test::FileTree(lord + "/" + turn + "/Data"), GameState()), "");
}

TEST_F(Titel, NewGameCutShortKeepsTheGameWholeAndItsSave) {
  InstallDemoRealm();
  OptionenPrefsDefault(&QoESystemPtr->Optionen);
  ASSERT_EQ(OptionenPrefsSave(&QoESystemPtr->Optionen), 1);
  const auto game = GameState(), map = Snapshot("Map");
  const std::string dir = "Game/Harald/" + TurnFolder();
  // The options in memory differ from their file, so the move writes them.
  std::snprintf(QoESystemPtr->Optionen.pop3_host, sizeof QoESystemPtr->Optionen.pop3_host, "mail.example");
  std::vector<uint8_t> options(OPTIONEN_PREFS_SIZE);
  OptionenPrefsEncode(&QoESystemPtr->Optionen, options.data());
  // The save copies every file of the game; the move then writes the
  // options in the set that removes the game. Budgets round that point.
  int64_t copied = 0;
  for (const auto& [n, b] : game) copied += (int64_t)b.size();
  for (const auto& [n, b] : map) copied += (int64_t)b.size();
  int saved_but_kept = 0;
  int64_t budget = copied - 600;
  for (; budget < copied + 2000; budget += 100) {
    fs::remove_all("Game");
    FileFailWritesAfter(budget);
    const int32_t ok = SaveGame(1);
    FileFailWritesAfter(-1);
    if (ok) break;
    ASSERT_EQ(Diff(GameState(), game), "") << "budget " << budget;
    ASSERT_EQ(Diff(Snapshot("Map"), map), "") << "budget " << budget;
    if (fs::exists(dir)) {
      saved_but_kept++;
      EXPECT_EQ(Diff(Snapshot(dir + "/Data"), game), "");
    }
  }
  EXPECT_GT(saved_but_kept, 0) << "copied " << copied << " budget " << budget;
  EXPECT_LT(budget, copied + 2000);
  // The move that could write everything put the game away.
  EXPECT_EQ(Diff(Snapshot(dir + "/Data"), game), "");
  EXPECT_TRUE(Snapshot("Map").empty());
  std::vector<std::string> left;
  for (const auto& [n, b] : GameState()) left.push_back(n);
  EXPECT_EQ(left, std::vector<std::string>{"Optionen.prefs"});
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Optionen.prefs"), options);
  EXPECT_TRUE(fs::is_directory("Data/POP3In"));
  EXPECT_FALSE(fs::exists("Data/Cities"));
}

TEST_F(Titel, LordNamesThatAreNoSafeFolderNamesAreRefused) {
  for (const char* bad : {"", ".", "..", ".hidden", "a/b", "a\\b", "c:", "tab\there", "\x7f"})
    EXPECT_FALSE(SaveGameNameOk(bad)) << bad;
  for (const char* good : {"Harald", "Sir Olaf", "K\xF6nig", "a.b", "12_3"}) EXPECT_TRUE(SaveGameNameOk(good)) << good;
  InstallDemoRealm();
  CheckPrefsStr(PREFS_LORD_NAME, 1, "..");
  LogLines log;
  EXPECT_EQ(SaveGame(0), 0);
  EXPECT_FALSE(fs::exists("Game"));
  EXPECT_TRUE(log.Has("Ungueltiger Name"));
}

TEST_F(Titel, NewGameMovesTheRealmAwayAndKeepsIndexesLayoutsAndOptions) {
  InstallDemoRealm();
  OptionenPrefsDefault(&QoESystemPtr->Optionen);
  std::snprintf(QoESystemPtr->Optionen.pop3_host, sizeof QoESystemPtr->Optionen.pop3_host, "mail.example");
  ASSERT_EQ(OptionenPrefsSave(&QoESystemPtr->Optionen), 1);
  const auto options = qoe_test::ReadFileBytes("Data/Optionen.prefs");
  const auto game = GameState();
  const auto indexes = Indexes();
  const std::string turn = TurnFolder();
  EXPECT_EQ(NeuesSpiel(), 1);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_EQ(Diff(Indexes(), indexes), "");
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Optionen.prefs"), options);
  EXPECT_FALSE(fs::exists(kIn));
  EXPECT_TRUE(fs::is_directory("Data/POP3In"));
  EXPECT_TRUE(Snapshot("Map").empty());
  EXPECT_EQ(Diff(Snapshot("Game/Harald/" + turn + "/Data"), game), "");
  // Without an installed game a new game deletes the prefs; with none it
  // does nothing.
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  EXPECT_EQ(NeuesSpiel(), 1);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_EQ(NeuesSpiel(), 1);
}

// ---- the warnings table -------------------------------------------------------

class Warnings : public Titel {
 protected:
  void SetUp() override {
    Titel::SetUp();
    InstallDemoRealm();
    OwnPlayerPtr->PlayerId = 1001;
    OwnPlayerPtr->ActiveTown = 1;
    // A state without any omission: corn in both stores, a named town with
    // worked fields, taxes, building orders, no tutorial steps yet, a letter.
    uint8_t* korn = AllocChunk("KORN", "V001", 52);
    ChunkPut32(korn, 26, 100);
    ChunkPut32(korn, 18, 100);
    ASSERT_EQ(AddChunkPool(korn, kOut), 1);
    FreeChunk(korn);
    for (const char* id : {"TAXE", "BAUE"}) {
      uint8_t* c = AllocChunk(id, "V001", 72);
      ASSERT_EQ(AddChunkPool(c, kOut), 1);
      FreeChunk(c);
    }
    RegisterGameDataListTypes();
    ListHeader* list = CreateList(14);
    auto* node = reinterpret_cast<MapCultEintrag*>(AllocListNode(list));
    node->x = 6398;
    node->y = 3199;
    node->harvest_workers = 5;
    AddNode(list, &node->head, 16, 0);
    ASSERT_EQ(SaveMapCultList(list, 6398 / 40, 3199 / 20), 1);
    DeleteList(list, 1);
    st_TOWN* town = GetActiveTown(1);
    ASSERT_NE(town, nullptr);
    town->flags &= ~1;
    ASSERT_EQ(SaveTown(town), 1);
    FreeVec(town);
    CheckPrefs(PREFS_TUTORIAL_STEP, 1, 0);
    CheckPrefs(PREFS_TURN_COUNT, 1, 0);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MailOut/E0000001_01.smal", {1}));
  }
  static std::string Text() {
    char* t = CollectGameWarnings();
    std::string s = t ? t : "<null>";
    FreeVec(t);
    return s;
  }
  // The number of warnings in a text and whether the wanted one is there.
  static size_t Count(const std::string& s) {
    size_t n = 0;
    for (size_t at = s.find("\n\n..."); at != std::string::npos; at = s.find("\n\n...", at + 1)) ++n;
    return n;
  }
};

TEST_F(Warnings, EachWarningAloneAndNoneAfterElevenTurns) {
  ASSERT_EQ(Text(), "") << Text();
  struct Case {
    const char* words;
    void (*make)();
    void (*undo)();
  };
  static const Case kCases[] = {
      {GetCatalogStr(1834),
       [] { uint8_t* k = LoadChunk2Mem("KORN", kOut); ChunkPut32(k, 26, 0); AddChunkPool(k, kOut); FreeChunk(k); },
       [] { uint8_t* k = LoadChunk2Mem("KORN", kOut); ChunkPut32(k, 26, 100); AddChunkPool(k, kOut); FreeChunk(k); }},
      {GetCatalogStr(1835),
       [] { uint8_t* k = LoadChunk2Mem("KORN", kOut); ChunkPut32(k, 18, 0); AddChunkPool(k, kOut); FreeChunk(k); },
       [] { uint8_t* k = LoadChunk2Mem("KORN", kOut); ChunkPut32(k, 18, 100); AddChunkPool(k, kOut); FreeChunk(k); }},
      {GetCatalogStr(1836), [] { fs::remove("Map/C_159_159.qoe"); },
       [] {
         ListHeader* l = CreateList(14);
         auto* n = reinterpret_cast<MapCultEintrag*>(AllocListNode(l));
         n->harvest_workers = 1;
         AddNode(l, &n->head, 16, 0);
         SaveMapCultList(l, 159, 159);
         DeleteList(l, 1);
       }},
      {GetCatalogStr(1837),
       [] {
         st_TOWN* t = GetActiveTown(1);
         t->flags |= 1;
         SaveTown(t);
         FreeVec(t);
       },
       [] {
         st_TOWN* t = GetActiveTown(1);
         t->flags &= ~1;
         SaveTown(t);
         FreeVec(t);
       }},
      {GetCatalogStr(1838), [] { RemChunkPool("TAXE", kOut); RemChunkPool("TAXE", kIn); },
       [] { uint8_t* c = AllocChunk("TAXE", "V001", 72); AddChunkPool(c, kOut); FreeChunk(c); }},
      {GetCatalogStr(1839), [] { RemChunkPool("BAUE", kOut); RemChunkPool("GEBA", kIn); },
       [] { uint8_t* c = AllocChunk("BAUE", "V001", 72); AddChunkPool(c, kOut); FreeChunk(c); }},
      {GetCatalogStr(1843), [] { fs::remove("Data/MailOut/E0000001_01.smal"); },
       [] { qoe_test::WriteFileBytes("Data/MailOut/E0000001_01.smal", {1}); }},
  };
  ASSERT_TRUE(fs::exists("Map/C_159_159.qoe"));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.words);
    c.make();
    const std::string t = Text();
    EXPECT_EQ(Count(t), 1u) << t;
    EXPECT_NE(t.find(c.words), std::string::npos) << t;
    EXPECT_EQ(t.rfind(std::string(GetCatalogStr(1832)) + "\n\n " + GetCatalogStr(1833) + "\n\n", 0), 0u);
    EXPECT_EQ(qoe_test::GermanPastCatalog(t), "") << t;
    c.undo();
    EXPECT_EQ(Text(), "");
  }
  // The seed store counts only in spring.
  uint8_t* k = LoadChunk2Mem("KORN", kOut);
  ChunkPut32(k, 18, 0);
  ChunkPut16(k, 16, 2);
  AddChunkPool(k, kOut);
  FreeChunk(k);
  EXPECT_EQ(Text(), "");
  // The tutorial's later steps: neighbours (9), research (12), the scout (8).
  RemChunkPool("FORS", kIn);
  RemChunkPool("ANFR", kOut);
  fs::remove("Data/SpielerList.qoe");
  CheckPrefs(PREFS_TUTORIAL_STEP, 1, 8);
  std::string t = Text();
  EXPECT_EQ(Count(t), 3u) << t;  // once for each of the demo realm's three unmoved scouts
  EXPECT_NE(t.find(GetCatalogStr(1842)), std::string::npos);
  EXPECT_EQ(qoe_test::GermanPastCatalog(t), "") << t;
  CheckPrefs(PREFS_TUTORIAL_STEP, 1, 12);
  t = Text();
  EXPECT_EQ(Count(t), 5u) << t;
  EXPECT_NE(t.find(GetCatalogStr(1840)), std::string::npos);
  EXPECT_NE(t.find(GetCatalogStr(1841)), std::string::npos);
  EXPECT_EQ(qoe_test::GermanPastCatalog(t), "") << t;

  // From turn 11 on nothing is collected, and quitting is allowed (prefs
  // field 15 says a turn was sent, so no question is asked).
  CheckPrefs(PREFS_UPLOADS, 1, 1);
  CheckPrefs(PREFS_TURN_COUNT, 1, 11);
  LogLines log;
  EXPECT_EQ(CheckGameValues(nullptr), 1);
  EXPECT_FALSE(log.Has("CheckGameValues"));
  // A figure file that cannot be used (cut short, a count past its end,
  // missing, a folder in its place): the scouts' warning cannot be worked
  // out, and the player reads that, naming the file and what is wrong with
  // it; it is logged, the player may quit, and nothing is written in the
  // file's place.
  CheckPrefs(PREFS_TURN_COUNT, 1, 3);
  const std::vector<uint8_t> good = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  ASSERT_GT(good.size(), 150u);
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> laid = qoe_test::LayFigureFile(c, good);
    t = Text();
    EXPECT_EQ(t.find(GetCatalogStr(1842)), std::string::npos) << t;
    EXPECT_NE(t.find(qoe_test::FigureFileSentence(c, true) + "\n\n"), std::string::npos) << t;
    EXPECT_EQ(t.find(qoe_test::FigureFileSentence(qoe_test::kFigureFileCases[qoe_test::FigureFileGone(c) ? 0 : 2], true)),
              std::string::npos)
        << t;
    EXPECT_EQ(qoe_test::GermanPastCatalog(t), "") << t;
    EXPECT_EQ(CheckGameValues(nullptr), 1);
    EXPECT_TRUE(log.Has("Konnte MOVE-Chunk nicht in Speicher laden"));
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, laid));
  }
}

// ---- on the headless display ---------------------------------------------------

class TitelRun : public Titel, public testing::WithParamInterface<uint32_t>, protected qoe_test::HeadlessScreen {
 protected:
  void SetUp() override {
    Titel::SetUp();
    OpenHeadlessScreen(GetParam());
  }
  void TearDown() override {
    CloseHeadlessScreen();
    Titel::TearDown();
  }
  // Runs the title once with a script; its result.
  int32_t RunTitle(const std::string& script) { return RunScreen(TitelScreen, 0, script); }
};

// Enter closes the "Debug-Version!" box every entry of the title shows.
const char kDebugBox[] = "key enter\n";

TEST_P(TitelRun, ASaveRefusedForTheLordsNameSaysSoInTheCatalogsWords) {
  InstallDemoRealm();
  CheckPrefsStr(PREFS_LORD_NAME, 1, "..");
  const std::string marker = "Der Name taugt nicht als Ordner";
  const std::vector<uint8_t> image = qoe_test::OneTextCatalog(1847, marker);
  Catalog* c = OpenCatalogFromMemory(image.data(), static_cast<uint32_t>(image.size()), CatalogStrings,
                                     CATALOG_STRING_COUNT);
  ASSERT_NE(c, nullptr);
  qoe_test::DrawnTextRecorder drawn;
  // The save as the title's menu calls it: over the title's picture.
  const auto save = [](int32_t) {
    ScreenBase base;
    if (!OpenScreenPicture(&base, 1, 0)) return -1;
    WaitTransition();
    const int32_t saved = SaveGame(0);
    CloseScreenBase(&base, 0);
    return saved;
  };
  EXPECT_EQ(RunScreen(save, 0, "wait 300\nkey enter\nwait 100\n"), 0);
  CloseCatalog(c);
  EXPECT_TRUE(drawn.Drew(marker));
  EXPECT_FALSE(fs::exists("Game"));
}

TEST_P(TitelRun, BackgroundClickLeadsToTheRealmOrTheSignUp) {
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(400, 300)), 32);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(400, 300)), 32);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(400, 300)), 2);
}

TEST_P(TitelRun, TheTitleFinishesASaveThatWasReadyButNotInPlace) {
  for (const char* name : {".1203_1.alt", ".1203_1.fertig"}) {
    fs::create_directories(std::string("Game/Harald/") + name + "/Data");
    ASSERT_TRUE(qoe_test::WriteFileBytes(std::string("Game/Harald/") + name + "/Data/Prefs.qoe", {name[8] == 'a'}));
  }
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(400, 300)), 32);
  EXPECT_EQ(Names("Game/Harald"), std::vector<std::string>{"1203_1"});
  EXPECT_EQ(qoe_test::ReadFileBytes("Game/Harald/1203_1/Data/Prefs.qoe"), std::vector<uint8_t>{0});
}

TEST_P(TitelRun, GadgetsByAccountState) {
  // Without a game: NORM the credits, OPTI the options, BATL the slide show
  // (declined texts, Escape ends it) and the title stays.
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(130, 350)), 151);
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(130, 396)), 133);
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(130, 304) + "key esc\nwait 100\nkey esc\n" + Click(400, 300)), 32);
  // SAVE and a declined NEU0 stay too.
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(130, 258) + Click(130, 166) + "key esc\n" + Click(130, 396)), 133);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(130, 304)), 2);
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(130, 350)), 2);
}

TEST_P(TitelRun, EscapeQuitsAtOnceWithoutAGameAndAfterTheChecksWithOne) {
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + "key esc\n"), -1);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  CheckPrefs(PREFS_UPLOADS, 1, 0);
  // No turn sent: the question; no stays, yes quits.
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + "key esc\nkey esc\n" + Click(400, 300)), 2);
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + "key esc\nkey enter\n"), -1);
}

TEST_P(TitelRun, RepairOfferedOnceAfterAnUncleanEnd) {
  InstallDemoRealm();
  {
    LogLines log;
    OwnPlayerPtr->Mark = OWNPLAYER_UNCLEAN;
    // Yes, then the box with the outcome.
    EXPECT_EQ(RunTitle(std::string(kDebugBox) + "key enter\nkey enter\n" + Click(400, 300)), 2);
    EXPECT_TRUE(log.Has("ARMY passed"));
    EXPECT_TRUE(log.Has("SHIP passed"));
    EXPECT_EQ(OwnPlayerPtr->Mark, 0);
  }
  {
    LogLines log;
    OwnPlayerPtr->Mark = OWNPLAYER_UNCLEAN;
    EXPECT_EQ(RunTitle(std::string(kDebugBox) + "key esc\n" + Click(400, 300)), 2);  // no
    EXPECT_FALSE(log.Has("ARMY passed"));
    EXPECT_EQ(OwnPlayerPtr->Mark, 0);
    // Asked once: the next visit goes straight on.
    EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(400, 300)), 2);
    EXPECT_FALSE(log.Has("ARMY passed"));
  }
}

// Each repair is logged as passed only when it passed: a damaged ARMY
// chunk of the orders fails its repair, the ships still pass theirs.
TEST_P(TitelRun, ARepairThatFailsIsNotLoggedAsPassed) {
  InstallDemoRealm();
  ASSERT_EQ(ChunkState("ARMY", OutgoingPoolPath), CHUNK_GOOD);
  const auto damaged = CutChunk(qoe_test::ReadFileBytes(kOut), "ARMY", 5);
  ASSERT_TRUE(qoe_test::WriteFileBytes(kOut, damaged));
  LogLines log;
  OwnPlayerPtr->Mark = OWNPLAYER_UNCLEAN;
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + "key enter\nkey enter\n" + Click(400, 300)), 2);
  EXPECT_TRUE(log.Has("Fehler von ChunkMachine (ARMY)"));
  EXPECT_FALSE(log.Has("ARMY passed"));
  EXPECT_FALSE(log.Has("Fehler von ChunkMachine (SHIP)"));
  EXPECT_TRUE(log.Has("SHIP passed"));
  EXPECT_EQ(qoe_test::ReadFileBytes(kOut), damaged);
  EXPECT_EQ(OwnPlayerPtr->Mark, 0);
}

// LOAD of a save whose outgoing pool was cut in half: a box names the
// save's file, and the running game stays as it was.
TEST_P(TitelRun, LoadingADamagedSaveSaysWhichFileAndKeepsTheGame) {
  InstallDemoRealm();
  ASSERT_EQ(SaveGame(0), 1);
  const std::string file = "Game/Harald/" + TurnFolder() + "/Data/POP3Out/GameChunk.qoe";
  auto pool = qoe_test::ReadFileBytes(file);
  pool.resize(pool.size() / 2);
  ASSERT_TRUE(qoe_test::WriteFileBytes(file, pool));
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Neu.dat", {1}));
  const auto game = GameState();
  const std::string pick_line = Click(223 + 60, 130 + 34), ok = Click(223 + 50, 130 + 241);
  const std::string load = Click(130, 212) + "key enter\n";
  const std::string png = "title_damaged_save_" + std::to_string(GetParam()) + ".png";
  qoe_test::DrawnTextRecorder drawn;
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + load + pick_line + ok + pick_line + ok + "wait 300\npng " + png +
                     "\nkey enter\nwait 300\n" + Click(400, 300)),
            2);
  EXPECT_TRUE(drawn.Drew("Game\\Harald\\" + TurnFolder() + "\\Data\\POP3Out\\GameChunk.qoe is damaged"));
  EXPECT_EQ(Diff(GameState(), game), "");
  EXPECT_TRUE(qoe_test::KeepPng(png));
}

TEST_P(TitelRun, SaveThenLoadRoundTripAndCancelInEachBox) {
  InstallDemoRealm();
  const auto game = GameState();
  const auto map = Snapshot("Map");
  const auto indexes = Indexes();
  // SAVE on the title, then the game changes.
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(130, 258) + Click(400, 300)), 2);
  ASSERT_EQ(Diff(Snapshot("Game/Harald/" + TurnFolder() + "/Data"), game), "");
  fs::remove("Data/MapPrefs.qoe");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", {9, 9, 9}));
  fs::remove_all("Map");
  // Cancel in the lord's box, then in the turn's box: nothing changes.
  const std::string pick_line = Click(223 + 60, 130 + 34), ok = Click(223 + 50, 130 + 241);
  const std::string load = Click(130, 212) + "key enter\n";
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + load + "key esc\n" + Click(400, 300)), 2);
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + load + pick_line + ok + "key esc\n" + Click(400, 300)), 2);
  EXPECT_FALSE(fs::exists("Data/MapPrefs.qoe"));
  // Load: lord, turn, and every file is back byte for byte.
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + load + pick_line + ok + pick_line + ok + Click(400, 300)), 2);
  EXPECT_EQ(Diff(GameState(), game), "");
  EXPECT_EQ(Diff(Snapshot("Map"), map), "");
  EXPECT_EQ(Diff(Indexes(), indexes), "");
}

TEST_P(TitelRun, NewGameLeadsToTheMainScreenWithoutAGame) {
  InstallDemoRealm();
  // NEU0, yes: the realm goes into its save, the title leads on (32: no
  // sign-up screen yet, so the main screen in account state 0).
  EXPECT_EQ(RunTitle(std::string(kDebugBox) + Click(130, 166) + "key enter\n"), 32);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_TRUE(fs::is_directory("Game/Harald"));
  static int32_t code;
  const std::string script = "key enter\n" + Click(60, 300);  // the sign-up hint, then the door
  EXPECT_EQ(HeadlessRunGame(script.c_str(), [](void*) { return code = ResidenzScreen(2), 0; }, nullptr), 0);
  EXPECT_EQ(code, 1);
}

// The title as the player sees it, with and without a game (the script
// takes the picture): the labels of BATL and NORM change, the others stay.
TEST_P(TitelRun, TitlePictureAndLabels) {
  uint32_t batl[3] = {}, neu0[3] = {};
  for (uint32_t state : {0u, 2u}) {
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, state);
    const std::string png = "titel_" + std::to_string(GetParam()) + "_" + std::to_string(state) + ".png";
    EXPECT_EQ(RunTitle(std::string(kDebugBox) + "wait 500\npng " + png + "\nkey esc\n"), -1);
    std::vector<uint32_t> px;
    uint32_t w = 0, h = 0;
    ASSERT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1);
    EXPECT_TRUE(qoe_test::KeepPng(png));
    EXPECT_GT(qoe_test::ReadFileBytes(png).size(), 20000u);  // a picture, not a flat field
    auto at = [&](int x, int y) { return px[(size_t)(y + dy_) * w + (x + dx_)] & 0xFFFFFF; };
    // Label pixels: black ink (pen 0) on the plaques.
    for (int y = 150; y <= 182; ++y)
      for (int x = 40; x <= 220; ++x) {
        if (at(x, y + 138) == 0) batl[state] += (uint32_t)(x * 7 + y);
        if (at(x, y) == 0) neu0[state] += (uint32_t)(x * 7 + y);
      }
    EXPECT_GT(batl[state], 0u);
  }
  EXPECT_NE(batl[0], batl[2]);
  EXPECT_EQ(neu0[0], neu0[2]);
}

INSTANTIATE_TEST_SUITE_P(Modes, TitelRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

// Without a title picture there is no movie base: the Init fails and leaves
// both fields null, whatever the record held (a pattern in every byte), so
// FreeTitelAnims and TitelMessage do not touch junk.
TEST(TitelAnimsInit, AFailedInitLeavesBothFieldsNull) {
  TitelAnims a;
  std::memset(static_cast<void*>(&a), 0xA5, sizeof a);
  EXPECT_EQ(InitTitelAnims(&a), 0);
  EXPECT_EQ(a.base, nullptr);
  EXPECT_EQ(a.waterfall, nullptr);
  FreeTitelAnims(&a);
}

}  // namespace
