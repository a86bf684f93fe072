// Tests: the turn builder's demo realm installed in the working folder with
// the data kit's files, as the map screen's visits need it (own player ID
// from the prefs, town 1 active, the lord called "Harald").
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/map/mapscreen.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

namespace map_test {

inline testing::AssertionResult InstallDemoRealm(const char* realm = "demo.realm") {
  const std::string kit = qoe_test::BinaryDir() + "/datakit";
  const std::string tool = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  if (!std::filesystem::exists(tool) || !std::filesystem::exists(kit + "/Data/Screendat/Karte.dat"))
    return testing::AssertionFailure() << "the turn builder or the data kit is not built";
  std::filesystem::copy(kit, ".", std::filesystem::copy_options::recursive |
                                      std::filesystem::copy_options::overwrite_existing);
  const std::string cmd = "'" + tool + "' install '" + qoe_test::SourceDir() + "/tools/turnbuilder/realms/" + realm +
                          "' --dir . >install.txt 2>&1";
  if (std::system(cmd.c_str()) != 0) return testing::AssertionFailure() << "install failed";
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED) return testing::AssertionFailure() << "not installed";
  OwnPlayerPtr->PlayerId = CheckPrefs(PREFS_PLAYER_ID, 0, 0);
  OwnPlayerPtr->ActiveTown = 1;
  SetGameDataOwner(OwnPlayerPtr->PlayerId, "Harald");
  ResetMapScreenState();
  return testing::AssertionSuccess();
}

}  // namespace map_test
