// The statistics file: a record per turn, byte for byte, and every damaged
// file refused and left alone.
#include "routinen/gamedata/statistics.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

const char kFile[] = "Data/Statistikdaten.qoe";

// A received pool with KORN (year, quarter, grain at +22) and LAND (the nine
// values at +34, +14 ... +46 as base + 1 ... base + 9).
void Received(uint32_t year, uint16_t quarter, uint32_t base) {
  fs::create_directories("Data/POP3In");
  fs::remove("Data/POP3In/GameChunk.qoe");
  uint8_t* korn = AllocChunk("KORN", "V001", 52);
  ChunkPut32(korn, 12, year);
  ChunkPut16(korn, 16, quarter);
  ChunkPut32(korn, 22, base);
  ASSERT_EQ(AddChunkPool(korn, ReceivedPoolPath), 1);
  FreeChunk(korn);
  uint8_t* land = AllocChunk("LAND", "V001", 160);
  const uint32_t offsets[9] = {34, 14, 18, 22, 26, 30, 38, 42, 46};
  for (uint32_t i = 0; i < 9; i++) ChunkPut32(land, offsets[i], base + 1 + i);
  ASSERT_EQ(AddChunkPool(land, ReceivedPoolPath), 1);
  FreeChunk(land);
}

std::vector<uint8_t> Image(uint32_t count, uint16_t key, uint32_t values, const std::vector<uint32_t>& data) {
  std::vector<uint8_t> v(10 + 4 * data.size());
  PutLE32(v.data(), count);
  PutLE16(v.data() + 4, key);
  PutLE32(v.data() + 6, values);
  for (size_t i = 0; i < data.size(); i++) PutLE32(v.data() + 10 + 4 * i, data[i]);
  return v;
}

std::vector<uint32_t> Record(uint32_t base) {
  std::vector<uint32_t> r{base};
  for (uint32_t i = 1; i <= 9; i++) r.push_back(base + i);
  return r;
}

}  // namespace

TEST(Statistics, OneRecordPerTurnByteForByte) {
  fs::create_directories("Data");
  StatistikDaten s{};
  ASSERT_EQ(ReadStatistikDaten(&s), 1);  // missing: no records
  EXPECT_EQ(s.count, 0u);
  Received(1000, 2, 100);
  ASSERT_EQ(SaveStatistikData(), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes(kFile), Image(1, 4002, 10, Record(100)));
  // The same turn again (a second mail of it) adds nothing.
  Received(1000, 2, 500);
  ASSERT_EQ(SaveStatistikData(), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes(kFile), Image(1, 4002, 10, Record(100)));
  // The next quarter is appended; the key is kept in 16 bits: 32768 x 4 + 3
  // is stored as 3, which differs from 4002, so it counts.
  Received(16384 + 16384, 3, 200);
  ASSERT_EQ(SaveStatistikData(), 1);
  std::vector<uint32_t> both = Record(100);
  for (uint32_t v : Record(200)) both.push_back(v);
  EXPECT_EQ(qoe_test::ReadFileBytes(kFile), Image(2, 3, 10, both));
  ASSERT_EQ(ReadStatistikDaten(&s), 1);
  ASSERT_EQ(s.count, 2u);
  EXPECT_EQ(s.turnKey, 3u);
  EXPECT_EQ(s.values[STATISTIK_VALUES + (uint32_t)STAT_GOLD], 201u);
  EXPECT_EQ(s.values[STAT_MINERAL], 109u);
  FreeStatistikDaten(&s);
  // The empty file of ten zero bytes takes its first record.
  ASSERT_TRUE(qoe_test::WriteFileBytes(kFile, std::vector<uint8_t>(10, 0)));
  Received(1000, 2, 100);
  ASSERT_EQ(SaveStatistikData(), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes(kFile), Image(1, 4002, 10, Record(100)));
}

TEST(Statistics, DamagedFilesAndFailedWritesLeaveTheFileAlone) {
  fs::create_directories("Data");
  Received(1001, 0, 100);
  const std::vector<std::vector<uint8_t>> damaged = {
      Image(2, 4000, 10, Record(1)),                // promises more than it holds
      Image(0xFFFFFFFFu, 4000, 10, Record(1)),      // a count no file can hold
      Image(1, 4000, 9, Record(1)),                 // values per record other than 10
      std::vector<uint8_t>(9, 0),                   // a short header
      [] { auto v = Image(1, 4000, 10, Record(1)); v.push_back(0); return v; }(),  // a byte too many
      std::vector<uint8_t>(11, 0),
  };
  for (const auto& image : damaged) {
    ASSERT_TRUE(qoe_test::WriteFileBytes(kFile, image));
    EXPECT_EQ(SaveStatistikData(), 0) << image.size();
    EXPECT_EQ(qoe_test::ReadFileBytes(kFile), image);
    StatistikDaten s{};
    EXPECT_EQ(ReadStatistikDaten(&s), 0);
    EXPECT_EQ(s.values, nullptr);
  }
  // A turn without LAND adds nothing.
  fs::remove(kFile);
  RemChunkPool("LAND", ReceivedPoolPath);
  EXPECT_EQ(SaveStatistikData(), 0);
  EXPECT_FALSE(fs::exists(kFile));
  // A write that fails leaves the old file whole.
  Received(1001, 0, 100);
  ASSERT_EQ(SaveStatistikData(), 1);
  const auto before = qoe_test::ReadFileBytes(kFile);
  Received(1001, 1, 200);
  FileFailWritesAfter(20);
  EXPECT_EQ(SaveStatistikData(), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(qoe_test::ReadFileBytes(kFile), before);
}
