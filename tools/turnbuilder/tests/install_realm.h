// Tests: a realm of the turn builder's fixtures installed in the working
// directory as the client has it after the sign-up's answer (GameInit),
// then with the realm's turn in the received pool's place, the account
// state 2 and the default options.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "routinen/gamedata/turns.h"
#include "routinen/system/files.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace realm_test {

// fixture: the file name in tools/turnbuilder/realms, e.g. "demo.realm".
inline testing::AssertionResult InstallRealmWithTurn(const std::string& fixture) {
  std::filesystem::create_directories("Data/POP3In");
  std::filesystem::create_directories("Data/POP3Out");
  Realm realm;
  std::string error;
  if (!LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/" + fixture, &realm, &error))
    return testing::AssertionFailure() << error;
  const Bytes answer = BuildSignupAnswer(realm);
  if (SaveMem2File(ReceivedPoolPath, answer.data(), static_cast<uint32_t>(answer.size())) != 1)
    return testing::AssertionFailure() << "the sign-up answer could not be written";
  if (GameInit(ReceivedPoolPath) == 0) return testing::AssertionFailure() << "GameInit refused the answer";
  const Bytes turn = BuildTurnPool(realm);
  if (SaveMem2File(ReceivedPoolPath, turn.data(), static_cast<uint32_t>(turn.size())) != 1)
    return testing::AssertionFailure() << "the turn could not be written";
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  OptionenPrefsDefault(&QoESystemPtr->Optionen);
  return testing::AssertionSuccess();
}

}  // namespace realm_test
