// What the save-game, title and start-up recovery tests share: snapshots of
// the game's files, the demo realm installed by the turn builder, and the
// working folder they start from.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/files.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/kill_loop.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace savegame_test {

namespace fs = std::filesystem;
using FileMap = std::map<std::string, std::vector<uint8_t>>;

// Every file under a folder with its bytes (paths relative to it).
inline FileMap Snapshot(const std::string& dir) {
  FileMap files;
  if (!fs::exists(dir)) return files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = qoe_test::ReadFileBytes(e.path().string());
  return files;
}

inline bool IsIndexName(const std::string& n) {
  return n == "Path" || n == "SfxPath" || n == "RizizOzezPath" || n.rfind("Screendat", 0) == 0;
}

// The game state of .\Data: everything but the indexes and the layouts.
inline FileMap GameState() {
  FileMap all = Snapshot("Data");
  for (auto it = all.begin(); it != all.end();) it = IsIndexName(it->first) ? all.erase(it) : std::next(it);
  return all;
}

inline FileMap Indexes() {
  FileMap kept;
  for (auto& [n, b] : Snapshot("Data"))
    if (IsIndexName(n)) kept[n] = b;
  return kept;
}

// The names of the files that differ between two snapshots (empty: equal).
inline std::string Diff(const FileMap& a, const FileMap& b) { return qoe_test::DiffFiles(a, b); }

// The working folder of a title run: the data kit's files (unless the test
// draws nothing), the mail folders, prefs of a player without a game.
inline void PrepareTitleFolder(bool with_kit = true) {
  if (with_kit)
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  fs::create_directories("Data/POP3In");
  fs::create_directories("Data/POP3Out");
  fs::create_directories("Data/MailOut");
  *OwnPlayerPtr = OwnPlayer{};
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 0);
  CheckPrefs(PREFS_UPLOADS, 1, 1);
  CheckPrefs(PREFS_TURN_COUNT, 1, 20);
}

// The demo realm's sign-up answer as the received pool.
inline void WriteDemoSignupAnswer(Realm* realm) {
  std::string error;
  ASSERT_TRUE(LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm", realm, &error)) << error;
  const Bytes answer = BuildSignupAnswer(*realm);
  CreateDirPath(".\\Data\\POP3In");
  ASSERT_EQ(SaveMem2File(ReceivedPoolPath, answer.data(), (uint32_t)answer.size()), 1);
}

// The demo realm installed as a game in the working folder (as the start
// command does), with its first turn as the received pool.
inline void InstallDemoRealm() {
  Realm realm;
  ASSERT_NO_FATAL_FAILURE(WriteDemoSignupAnswer(&realm));
  ASSERT_NE(GameInit(ReceivedPoolPath), 0);
  const Bytes turn = BuildTurnPool(realm);
  ASSERT_EQ(SaveMem2File(ReceivedPoolPath, turn.data(), (uint32_t)turn.size()), 1);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  OptionenPrefsDefault(&QoESystemPtr->Optionen);
  ASSERT_EQ(OptionenPrefsSave(&QoESystemPtr->Optionen), 1);
  ASSERT_EQ(IsChunkInFile(ChunkBit(CHUNK_KORN), ReceivedPoolPath), 1);
}

// The received turn's save folder name ("<year>_<quarter>").
inline std::string TurnFolder() {
  uint8_t* korn = LoadChunk2Mem("KORN", ReceivedPoolPath);
  std::string name = std::to_string(ChunkGet32(korn, 12)) + "_" + std::to_string(ChunkGet16(korn, 16));
  FreeChunk(korn);
  return name;
}

// Runs a screen once on the headless display with a script; its result.
inline int32_t RunScreen(int32_t (*screen)(int32_t), int32_t code, const std::string& script) {
  struct Call {
    int32_t (*screen)(int32_t);
    int32_t code, result;
  } call{screen, code, 99};
  EXPECT_EQ(HeadlessRunGame(
                script.c_str(),
                [](void* c) {
                  auto* k = static_cast<Call*>(c);
                  return k->result = k->screen(k->code), 0;
                },
                &call),
            0);
  return call.result;
}

// The headless display of a screen test closed with what the screens left.
inline void CloseScreenTestDisplay() {
  FreeAllElmorGfx();
  ResetTitleBar();
  HeadlessCloseDisplay();
}

}  // namespace savegame_test
