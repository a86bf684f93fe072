// A save's list of contents: the byte-exact round trip, every cut and every
// changed byte of an image refused, paths outside the save's folders
// refused even under a right checksum, and the files of a folder listed and
// checked (a changed or missing file named).
#include "screens/hub/savecontents.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "routinen/system/byteorder.h"
#include "routinen/system/checksum.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

const std::vector<SaveContentsEntry> kEntries = {
    {"Data/POP3In/GameChunk.qoe", 36890, 0xCBF43926u}, {"Data/Prefs.qoe", 264, 7}, {"Map/M_79_79.map", 70400, 0}};

bool Same(const std::vector<SaveContentsEntry>& a, const std::vector<SaveContentsEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i].path != b[i].path || a[i].size != b[i].size || a[i].crc != b[i].crc) return false;
  return true;
}

TEST(SaveContents, AListReadsBackAsItWasWrittenAndNoCutOrChangedByteIsTaken) {
  const std::vector<uint8_t> image = SaveContentsImage(kEntries);
  ASSERT_EQ(std::string(image.begin(), image.begin() + 8), "QINHALT1");
  EXPECT_EQ(GetBE32(image.data() + 8), 3u);
  EXPECT_EQ(GetBE32(image.data() + image.size() - 4), Crc32(image.data(), static_cast<uint32_t>(image.size() - 4)));
  std::vector<SaveContentsEntry> back;
  ASSERT_TRUE(ReadSaveContents(image.data(), static_cast<uint32_t>(image.size()), &back));
  EXPECT_TRUE(Same(back, kEntries));
  EXPECT_EQ(SaveContentsImage(back), image);
  for (size_t n = 0; n < image.size(); ++n) {
    EXPECT_FALSE(ReadSaveContents(image.data(), static_cast<uint32_t>(n), &back)) << "cut to " << n;
    EXPECT_TRUE(back.empty());
  }
  for (size_t i = 0; i < image.size(); ++i) {
    std::vector<uint8_t> changed = image;
    changed[i] ^= 0x20;
    EXPECT_FALSE(ReadSaveContents(changed.data(), static_cast<uint32_t>(changed.size()), &back)) << "byte " << i;
  }
  std::vector<uint8_t> longer = image;
  longer.push_back(0);
  EXPECT_FALSE(ReadSaveContents(longer.data(), static_cast<uint32_t>(longer.size()), &back));
  EXPECT_FALSE(ReadSaveContents(nullptr, 0, &back));
  const std::vector<uint8_t> none = SaveContentsImage({});
  EXPECT_TRUE(ReadSaveContents(none.data(), static_cast<uint32_t>(none.size()), &back));
  EXPECT_TRUE(back.empty());
}

// A path that names no file of the save's Data or Map is refused even when
// the list's checksum is right: a load never reaches outside the save.
TEST(SaveContents, APathOutsideTheSavesFoldersIsRefusedUnderARightChecksum) {
  const std::string refused[] = {"../Data/x", "/Data/x", "Data//x", "Data/./x", "Data/../../x", "Other/x",
                                  "Data\\x",   "Data/",   "Map",     std::string("Data/a\x01") + "b", ""};
  std::vector<SaveContentsEntry> back;
  for (const std::string& p : refused) {
    const std::vector<uint8_t> image = SaveContentsImage({{p, 1, 2}});
    EXPECT_FALSE(ReadSaveContents(image.data(), static_cast<uint32_t>(image.size()), &back)) << p;
  }
  // A count past the bytes it has: refused before anything is made of it.
  std::vector<uint8_t> image = SaveContentsImage(kEntries);
  PutBE32(image.data() + 8, 0xFFFFFFFFu);
  PutBE32(image.data() + image.size() - 4, Crc32(image.data(), static_cast<uint32_t>(image.size() - 4)));
  EXPECT_FALSE(ReadSaveContents(image.data(), static_cast<uint32_t>(image.size()), &back));
}

TEST(SaveContents, TheFilesOfAFolderAreListedAndAChangedOrMissingOneIsNamed) {
  fs::create_directories("save/Data/POP3In");
  fs::create_directories("save/Map");
  fs::create_directories("save/Other");
  ASSERT_TRUE(qoe_test::WriteFileBytes("save/Data/POP3In/GameChunk.qoe", {1, 2, 3, 4}));
  ASSERT_TRUE(qoe_test::WriteFileBytes("save/Data/Prefs.qoe", std::vector<uint8_t>(264, 5)));
  ASSERT_TRUE(qoe_test::WriteFileBytes("save/Map/M_0_0.map", {}));
  ASSERT_TRUE(qoe_test::WriteFileBytes("save/Other/x", {9}));  // not of the save
  fs::create_symlink("Prefs.qoe", "save/Data/Link.qoe");      // never followed
  std::vector<SaveContentsEntry> entries;
  ASSERT_TRUE(MakeSaveContents("save", &entries));
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].path, "Data/POP3In/GameChunk.qoe");
  EXPECT_EQ(entries[0].size, 4u);
  const uint8_t bytes[4] = {1, 2, 3, 4};
  EXPECT_EQ(entries[0].crc, Crc32(bytes, 4));
  EXPECT_EQ(entries[1].path, "Data/Prefs.qoe");
  EXPECT_EQ(entries[2].path, "Map/M_0_0.map");
  EXPECT_EQ(entries[2].size, 0u);
  EXPECT_EQ(CheckSaveContents("save", entries), "");
  ASSERT_TRUE(qoe_test::WriteFileBytes("save/Data/POP3In/GameChunk.qoe", {1, 2, 3, 5}));  // same size
  EXPECT_EQ(CheckSaveContents("save", entries), "Data/POP3In/GameChunk.qoe");
  ASSERT_TRUE(qoe_test::WriteFileBytes("save/Data/POP3In/GameChunk.qoe", {1, 2, 3, 4}));
  fs::remove("save/Map/M_0_0.map");
  EXPECT_EQ(CheckSaveContents("save", entries), "Map/M_0_0.map");
}

}  // namespace
