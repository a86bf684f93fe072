// The figure file .\Data\MapPrefs.qoe when it is no plain file (a FIFO, a
// folder, a link to a good figure file, a socket): every read of it fails
// at once, under the FIFO watch, as for a folder, and no write replaces it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "tests/support/fifo_watch.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qoe_test::NotPlain;

TEST(FigureFileNotPlain, EveryReadFailsAtOnceAndNothingReplacesIt) {
  fs::create_directories("Data");
  // An installed game: without one a figure file that is not there is no
  // loss (no figures yet), with one it is missing.
  ASSERT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_INSTALLED), (uint32_t)ACCOUNT_INSTALLED);
  // A good figure file, with no figure in it: what a link would lead to.
  ASSERT_NE(AddFigur2MapPrefs(MapPrefsPath, 0, 40, 20), 0xFFFF);
  const std::vector<uint8_t> good = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  ASSERT_FALSE(good.empty());
  for (const NotPlain kind : {NotPlain::kFifo, NotPlain::kFolder, NotPlain::kLinkToAGoodFile, NotPlain::kSocket}) {
    SCOPED_TRACE(qoe_test::NotPlainName(kind));
    ASSERT_TRUE(qoe_test::MakeNotPlain(kind, "Data/MapPrefs.qoe", good));
    qoe_test::FifoWatch watch({"Data/MapPrefs.qoe"});
    uint8_t* move = reinterpret_cast<uint8_t*>(1);
    EXPECT_NE(LoadFigureFile(MapPrefsPath, &move), 0u) << "the file counts as usable";
    EXPECT_EQ(move, nullptr);
    EXPECT_EQ(LoadChunk2Mem("MOVE", MapPrefsPath), nullptr);
    EXPECT_NE(FileChunksState(MapPrefsPath, nullptr), CHUNK_GOOD);
    uint32_t size = 0;
    EXPECT_EQ(LoadFile2MemSize(MapPrefsPath, MEMF_PUBLIC, &size), nullptr);
    EXPECT_EQ(AddFigur2MapPrefs(MapPrefsPath, 0, 80, 40), 0xFFFF);
    watch.Stop();
    EXPECT_EQ(watch.Blocked(), 0u) << "opened waiting for the FIFO's other end";
    EXPECT_TRUE(qoe_test::StillNotPlain(kind, "Data/MapPrefs.qoe"));
    if (kind == NotPlain::kLinkToAGoodFile) {
      EXPECT_EQ(qoe_test::ReadFileBytes("Data/MapPrefs.qoe.good"), good);
    }
  }
}
