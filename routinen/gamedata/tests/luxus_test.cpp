// The luxury allocations file: byte-exact round trip, every size but 76
// refused (zeros), garbage, and the save of the file with the market switch
// through one file set under write failures and kills.
#include "routinen/gamedata/luxus.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/prefs.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

TEST(LuxusFile, EntriesAndTypes) {
  EXPECT_EQ(LuxusEntryType(0), 1u);
  EXPECT_EQ(LuxusEntryType(2), 3u);
  EXPECT_EQ(LuxusEntryType(3), 82u);
  EXPECT_EQ(LuxusEntryType(18), 97u);
  EXPECT_EQ(LuxusEntryType(19), 0u);
}

TEST(LuxusFile, RoundTripIsLittleEndianAndByteExact) {
  uint32_t in[LUXUS_FILE_ENTRIES];
  for (uint32_t i = 0; i < LUXUS_FILE_ENTRIES; ++i) in[i] = 0x01020304u * (i + 1);
  uint8_t bytes[LUXUS_FILE_SIZE];
  EncodeLuxusDaten(in, bytes);
  EXPECT_EQ(bytes[0], 0x04);
  EXPECT_EQ(bytes[3], 0x01);
  EXPECT_EQ(GetLE32(bytes + 72), in[18]);
  uint32_t out[LUXUS_FILE_ENTRIES];
  ASSERT_EQ(DecodeLuxusDaten(bytes, LUXUS_FILE_SIZE, out), 1);
  for (uint32_t i = 0; i < LUXUS_FILE_ENTRIES; ++i) EXPECT_EQ(out[i], in[i]);
  uint8_t again[LUXUS_FILE_SIZE];
  EncodeLuxusDaten(out, again);
  EXPECT_EQ(Bytes(again, again + LUXUS_FILE_SIZE), Bytes(bytes, bytes + LUXUS_FILE_SIZE));
}

TEST(LuxusFile, EverySizeButSeventySixGivesZeros) {
  Bytes garbage(200);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  for (uint32_t size : {0u, 1u, 4u, 75u, 77u, 152u, 200u}) {
    uint32_t out[LUXUS_FILE_ENTRIES];
    for (uint32_t& v : out) v = 99;
    EXPECT_EQ(DecodeLuxusDaten(garbage.data(), size, out), 0) << size;
    for (uint32_t v : out) EXPECT_EQ(v, 0u) << size;
  }
  uint32_t out[LUXUS_FILE_ENTRIES];
  EXPECT_EQ(DecodeLuxusDaten(nullptr, LUXUS_FILE_SIZE, out), 0);
}

class LuxusSave : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories("Data");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    for (uint32_t i = 0; i < LUXUS_FILE_ENTRIES; ++i) alloc_[i] = 10 * i + 1;
  }
  void TearDown() override { FileFailWritesAfter(-1); }
  uint32_t alloc_[LUXUS_FILE_ENTRIES];
};

TEST_F(LuxusSave, MissingShortAndLongFilesReadAsZeros) {
  uint32_t out[LUXUS_FILE_ENTRIES];
  EXPECT_EQ(ReadLuxusDaten(out), 0);
  for (uint32_t v : out) EXPECT_EQ(v, 0u);
  for (size_t size : {75u, 77u}) {
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Luxus.dat", Bytes(size, 0x11)));
    qoe_test::LogLines log;
    EXPECT_EQ(ReadLuxusDaten(out), 0);
    for (uint32_t v : out) EXPECT_EQ(v, 0u);
    EXPECT_TRUE(log.Has("Luxus.dat hat " + std::to_string(size) + " statt 76 Bytes"));
  }
}

// The screen's reading: a cut file gives its whole entries, a long one its
// first 19, each with the damage told; a missing file is no damage.
TEST_F(LuxusSave, TheScreensReadingKeepsTheWholeEntriesOfADamagedFile) {
  uint32_t out[LUXUS_FILE_ENTRIES];
  uint32_t whole = 99;
  EXPECT_EQ(ReadLuxusDatenTeile(out, &whole), 0);
  EXPECT_EQ(whole, 0u);
  Bytes full(LUXUS_FILE_SIZE + 4, 0);
  for (uint32_t i = 0; i < LUXUS_FILE_ENTRIES + 1; ++i) PutLE32(full.data() + 4 * i, 100 + i);
  for (size_t size : {0u, 3u, 42u, 75u, 76u, 80u}) {
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Luxus.dat", Bytes(full.begin(), full.begin() + size)));
    const uint32_t n = size / 4 > LUXUS_FILE_ENTRIES ? LUXUS_FILE_ENTRIES : uint32_t(size / 4);
    EXPECT_EQ(ReadLuxusDatenTeile(out, &whole), size == LUXUS_FILE_SIZE ? 1 : -1) << size;
    EXPECT_EQ(whole, n) << size;
    for (uint32_t i = 0; i < LUXUS_FILE_ENTRIES; ++i) EXPECT_EQ(out[i], i < n ? 100 + i : 0u) << size << " " << i;
  }
}

TEST_F(LuxusSave, WritesTheFileAndTheSwitchTogether) {
  ASSERT_EQ(SaveLuxusDaten(alloc_, 0xFFFFFFFFu), 1);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_SWITCH, 0, 0), 1u);
  const Bytes file = qoe_test::ReadFileBytes("Data/Luxus.dat");
  ASSERT_EQ(file.size(), size_t{LUXUS_FILE_SIZE});
  EXPECT_EQ(GetLE32(file.data() + 4 * 5), 51u);
  uint32_t out[LUXUS_FILE_ENTRIES];
  ASSERT_EQ(ReadLuxusDaten(out), 1);
  for (uint32_t i = 0; i < LUXUS_FILE_ENTRIES; ++i) EXPECT_EQ(out[i], alloc_[i]);
  ASSERT_EQ(SaveLuxusDaten(alloc_, 0), 1);
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_SWITCH, 0, 0), 0u);
}

TEST_F(LuxusSave, AFailedWriteAtAnyByteChangesNeither) {
  ASSERT_EQ(SaveLuxusDaten(alloc_, 0), 1);
  const Bytes file = qoe_test::ReadFileBytes("Data/Luxus.dat");
  const Bytes prefs = qoe_test::ReadFileBytes("Data/Prefs.qoe");
  uint32_t other[LUXUS_FILE_ENTRIES] = {};
  other[4] = 777;
  int64_t budget = 0;
  for (; budget < 100000; ++budget) {
    FileFailWritesAfter(budget);
    const int32_t ok = SaveLuxusDaten(other, 0xFFFFFFFFu);
    FileFailWritesAfter(-1);
    if (ok) break;
    ASSERT_EQ(qoe_test::ReadFileBytes("Data/Luxus.dat"), file) << budget;
    ASSERT_EQ(qoe_test::ReadFileBytes("Data/Prefs.qoe"), prefs) << budget;
  }
  EXPECT_GE(budget, int64_t{LUXUS_FILE_SIZE});
  EXPECT_EQ(CheckPrefs(PREFS_MARKET_SWITCH, 0, 0), 1u);
  EXPECT_EQ(GetLE32(qoe_test::ReadFileBytes("Data/Luxus.dat").data() + 16), 777u);
}

TEST_F(LuxusSave, AKillAtAnyMomentLeavesTheOldOrTheNewPair) {
  ASSERT_EQ(SaveLuxusDaten(alloc_, 0), 1);
  const Bytes old_file = qoe_test::ReadFileBytes("Data/Luxus.dat");
  const Bytes old_prefs = qoe_test::ReadFileBytes("Data/Prefs.qoe");
  uint32_t other[LUXUS_FILE_ENTRIES] = {};
  other[0] = 5;
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(SaveLuxusDaten(other, 0xFFFFFFFFu), 1);
  const int64_t us =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
  const Bytes new_file = qoe_test::ReadFileBytes("Data/Luxus.dat");
  const Bytes new_prefs = qoe_test::ReadFileBytes("Data/Prefs.qoe");
  int olds = 0, news = 0;
  srand(5);
  for (int i = 0; i < 120; ++i) {
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Luxus.dat", old_file));
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Prefs.qoe", old_prefs));
    qoe_test::RunKilledAfter([&] { return SaveLuxusDaten(other, 0xFFFFFFFFu) ? 0 : 1; }, rand() % (2 * us + 50));
    EXPECT_EQ(FinishCommitRecords(), 0);  // the next start finishes what the kill interrupted
    const Bytes file = qoe_test::ReadFileBytes("Data/Luxus.dat"), prefs = qoe_test::ReadFileBytes("Data/Prefs.qoe");
    if (file == old_file && prefs == old_prefs) {
      ++olds;
    } else if (file == new_file && prefs == new_prefs) {
      ++news;
    } else {
      ADD_FAILURE() << "run " << i << ": a mix of the old and the new pair";
    }
  }
  EXPECT_EQ(olds + news, 120);
}

}  // namespace
