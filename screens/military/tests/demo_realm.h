// The demo realm of the turn builder installed into the test's folder with
// the lines of one statement (battles, specialists) replaced by the test's
// own, and the own player (Harald, 1001, his capital the active town) set
// as the program sees him after a start. Header only.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

namespace qoe_test {

// Lines beginning with `statement ` are left out, `extra` added. A failure
// is a fatal failure of the test.
inline void InstallDemoRealmWith(const std::string& statement, const std::string& extra) {
  std::ifstream in(SourceDir() + "/tools/turnbuilder/realms/demo.realm");
  std::string line, realm;
  while (std::getline(in, line))
    if (line.rfind(statement + " ", 0) != 0) realm += line + "\n";
  realm += extra;
  ASSERT_TRUE(WriteFileBytes("test.realm", std::vector<uint8_t>(realm.begin(), realm.end())));
  const std::string cmd = "'" + BinaryDir() + "/tools/turnbuilder/turnbuilder' install test.realm --dir . >install.txt 2>&1";
  const int status = std::system(cmd.c_str());
  const auto log = ReadFileBytes("install.txt");
  ASSERT_EQ(status, 0) << std::string(log.begin(), log.end());
  OwnPlayerPtr->PlayerId = 1001;
  OwnPlayerPtr->ActiveTown = 1;
  std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "Harald");
  SetGameDataOwner(1001, "Harald");
}

}  // namespace qoe_test
