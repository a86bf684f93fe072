// Fuzz targets that read and write game files: a fresh working folder of
// their own (on /dev/shm when it can be made there, else /tmp) holding the
// Data folders of a game, with quiet logging and no syncs to disk.
#pragma once
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/log.h"
#include "routinen/system/files.h"

// Enters the folder (name: part of its name); false when none could be made.
inline bool EnterFuzzWorkDir(const char* name) {
  std::string shm = std::string("/dev/shm/qoe_fuzz_") + name + "_XXXXXX";
  std::string tmp = std::string("/tmp/qoe_fuzz_") + name + "_XXXXXX";
  const char* dir = mkdtemp(shm.data());
  if (!dir) dir = mkdtemp(tmp.data());
  if (!dir || chdir(dir) != 0) return false;
  mkdir("Data", 0755);
  mkdir("Data/POP3In", 0755);
  mkdir("Data/POP3Out", 0755);
  DebugLogSetStderr(0);
  FileSyncWrites(0);
  return true;
}
