// A benchmark's temporary folders: each is made fresh and removed with
// everything in it when the benchmark program ends, as a test's folder goes
// at the test's end (QOE_KEEP_TEST_DIRS=1 keeps them for inspection).
// Header only: a benchmark program links no test support.
#pragma once
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace qoe_bench {

// The folders made so far (removed at exit).
inline std::vector<std::string>& MadeFolders() {
  static std::vector<std::string> folders;
  return folders;
}

inline void RemoveMadeFolders() {
  const char* keep = std::getenv("QOE_KEEP_TEST_DIRS");
  if (keep && *keep) return;
  // Out of the folders first: a working folder inside one would be left open.
  if (chdir("/") != 0) return;
  for (const std::string& f : MadeFolders()) {
    std::error_code ec;
    std::filesystem::remove_all(f, ec);
  }
  MadeFolders().clear();
}

// A fresh folder <base>/<prefix>XXXXXX (mkdtemp), removed with its content
// when the program ends; "" when it cannot be made.
inline std::string BenchFolder(const char* base, const char* prefix) {
  std::string name = std::string(base) + "/" + prefix + "XXXXXX";
  if (!mkdtemp(name.data())) return "";
  // The list exists before the handler is registered, so it outlives it.
  if (MadeFolders().empty()) {
    static const bool registered = std::atexit(RemoveMadeFolders) == 0;
    (void)registered;
  }
  MadeFolders().push_back(name);
  return name;
}

}  // namespace qoe_bench
