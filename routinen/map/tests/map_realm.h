// Tests: a realm of the turn builder's fixtures (the demo realm unless
// named) installed in the working folder with the data kit's files, as the
// map screen's visits need it (own player ID from the prefs, town 1 active,
// the lord called "Harald").
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

// realm: the file name in tools/turnbuilder/realms. Installs only; the map
// screen's state is left as it is.
inline testing::AssertionResult InstallMapRealm(const char* realm = "demo.realm") {
  const std::string kit = qoe_test::BinaryDir() + "/datakit";
  const std::string tool = qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder";
  if (!std::filesystem::exists(tool) || !std::filesystem::exists(kit + "/Data/Screendat/Karte.dat"))
    return testing::AssertionFailure() << "the turn builder or the data kit is not built";
  std::filesystem::copy(kit, ".", std::filesystem::copy_options::recursive |
                                      std::filesystem::copy_options::overwrite_existing);
  const std::string cmd = "'" + tool + "' install '" + qoe_test::SourceDir() + "/tools/turnbuilder/realms/" + realm +
                          "' --dir . >install.txt 2>&1";
  if (std::system(cmd.c_str()) != 0) return testing::AssertionFailure() << "the turn builder could not install " << realm;
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED)
    return testing::AssertionFailure() << "no installed account after " << realm;
  OwnPlayerPtr->PlayerId = CheckPrefs(PREFS_PLAYER_ID, 0, 0);
  OwnPlayerPtr->ActiveTown = 1;
  SetGameDataOwner(OwnPlayerPtr->PlayerId, "Harald");
  return testing::AssertionSuccess();
}

// The realm installed and the map screen's state reset for a first visit.
inline testing::AssertionResult InstallDemoRealm(const char* realm = "demo.realm") {
  testing::AssertionResult ok = InstallMapRealm(realm);
  if (ok) ResetMapScreenState();
  return ok;
}

}  // namespace map_test
