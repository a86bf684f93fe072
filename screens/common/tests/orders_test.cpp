// The pool a chunk is read from and the account-state rule.
#include "screens/common/orders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "routinen/gamedata/chunks.h"
#include "routinen/system/prefs.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

const char kIn[] = "Data/POP3In/GameChunk.qoe";
const char kOut[] = "Data/POP3Out/GameChunk.qoe";

void Add(const char* pool, uint8_t mark) {
  uint8_t* c = AllocChunk("KORN", "V001", 52);
  c[40] = mark;
  ASSERT_EQ(AddChunkPool(c, pool), 1);
  FreeChunk(c);
}

// Sets the pool's mask bit of KORN without the chunk: announced, not there.
void Announce(const char* pool) {
  auto bytes = qoe_test::ReadFileBytes(pool);
  ASSERT_GE(bytes.size(), 44u);
  bytes[16 + 3 - CHUNK_KORN / 8] |= static_cast<uint8_t>(1u << (CHUNK_KORN % 8));
  ASSERT_TRUE(qoe_test::WriteFileBytes(pool, bytes));
}

TEST(TurnChunk, OutgoingWinsElseReceivedElseAbsentAndAnnouncedButMissingFails) {
  fs::create_directories("Data/POP3In");
  fs::create_directories("Data/POP3Out");
  uint8_t* c = nullptr;
  EXPECT_EQ(LoadTurnChunkFrom("KORN", kOut, kIn, &c), TURN_CHUNK_ABSENT);  // no pools at all
  EXPECT_EQ(c, nullptr);
  Add(kIn, 4);
  ASSERT_EQ(LoadTurnChunkFrom("KORN", kOut, kIn, &c), TURN_CHUNK_RECEIVED);
  EXPECT_EQ(c[40], 4);
  FreeChunk(c);
  Add(kOut, 6);
  ASSERT_EQ(LoadTurnChunkFrom("KORN", kOut, kIn, &c), TURN_CHUNK_OUTGOING);
  EXPECT_EQ(c[40], 6);
  FreeChunk(c);
  EXPECT_EQ(LoadTurnChunkFrom("NOPE", kOut, kIn, &c), TURN_CHUNK_ABSENT);
  // The outgoing pool announces it but lost it: a failure, not the received one.
  ASSERT_EQ(RemChunkPool("KORN", kOut), 1);
  uint8_t* tax = AllocChunk("TAXE", "V001", 72);
  ASSERT_EQ(AddChunkPool(tax, kOut), 1);
  FreeChunk(tax);
  Announce(kOut);
  qoe_test::LogLines log;
  EXPECT_EQ(LoadTurnChunkFrom("KORN", kOut, kIn, &c), TURN_CHUNK_FAILED);
  EXPECT_EQ(c, nullptr);
  EXPECT_TRUE(log.Has("nicht ladbar"));
}

TEST(TurnChunk, OrdersOnlyWithAnInstalledGame) {
  fs::create_directories("Data");
  for (uint32_t state : {0u, 1u, 2u, 7u}) {
    if (state <= 2) {
      CheckPrefs(PREFS_ACCOUNT_STATE, 1, state);
    } else {
      // The program writes no account state above 2: a file that holds one
      // was damaged outside it.
      EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 1, state), 0xFFFFFFFFu);
      auto img = qoe_test::ReadFileBytes("Data/Prefs.qoe");
      ASSERT_EQ(img.size(), (size_t)PREFS_FILE_SIZE);
      img[12] = 0;
      img[13] = static_cast<uint8_t>(state);
      ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Prefs.qoe", img));
    }
    const uint16_t read = ReadAccountState();
    EXPECT_EQ(read, state == 7 ? 0 : state);
    EXPECT_EQ(OrdersAllowed(read), state == 2);
  }
}

}  // namespace
