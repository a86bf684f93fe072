// The demo realm installed in the current folder for a run of the program:
// the data kit's data copied here and the grown realm installed over it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "routinen/system/prefs.h"
#include "tests/support/test_support.h"

namespace qoe_test {

// The screens the run entered, in order, from the dispatcher's log lines.
inline std::vector<int32_t> ScreensEntered(const std::string& log) {
  std::vector<int32_t> out;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);) {
    int code = 0, from = 0;
    if (std::sscanf(line.c_str(), "Main: Screen %d, betreten von %d", &code, &from) == 2) out.push_back(code);
  }
  return out;
}

// The kit's folders the game only reads: pictures, sounds, movies, music and
// the 3D data (about 110 MB of its 114).
inline bool ReadOnlyKitFolder(const std::string& name) {
  return name == "Gfx" || name == "Sfx" || name == "Anims" || name == "Mods" || name == "bmp" ||
         name.rfind("qoe-", 0) == 0;
}

// Sets *bin to the program. Its town Bergfeld is of level 1 (the kit has the
// town pictures of level 1 only), and the story screen has a story to tell.
// A missing part fails (or, outside the test command, skips) the test. With
// link_read_only the folders above are linked to the kit instead of copied
// (for tables of many short runs).
inline void InstallDemoRealmHere(std::string* bin, bool link_read_only = false) {
  *bin = BinaryDir() + "/quill";
  const std::string kit = BinaryDir() + "/datakit";
  const std::string builder = BinaryDir() + "/tools/turnbuilder/turnbuilder";
  QOE_REQUIRE_BUILT(*bin);
  QOE_REQUIRE_BUILT(kit + "/Data/Path");
  QOE_REQUIRE_BUILT(builder);
  if (!link_read_only) {
    std::filesystem::copy(kit, ".", std::filesystem::copy_options::recursive);
  } else {
    for (const auto& entry : std::filesystem::directory_iterator(kit)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_directory() && ReadOnlyKitFolder(name))
        std::filesystem::create_directory_symlink(entry.path(), name);
      else
        std::filesystem::copy(entry.path(), name, std::filesystem::copy_options::recursive);
    }
  }
  const std::string install =
      builder + " install " + SourceDir() + "/tools/turnbuilder/realms/grown.realm --dir . >tb.txt 2>&1";
  if (std::system(install.c_str()) != 0) {
    std::ifstream in("tb.txt");
    std::stringstream text;
    text << in.rdbuf();
    FAIL() << "the realm could not be installed:\n" << text.str();
  }
  ASSERT_NE(CheckPrefs(PREFS_TOWN_ID, 1, 3), 0xFFFFFFFFu);
  ASSERT_NE(RizizOzezPrefs(0, 1, 1), 0xFFFFFFFFu);
}

}  // namespace qoe_test
