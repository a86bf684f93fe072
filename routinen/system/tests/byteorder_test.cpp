#include "byteorder.h"

#include <gtest/gtest.h>

TEST(ByteOrder, BigAndLittleEndianRoundTrip) {
  uint8_t b[4];
  PutBE32(b, 0x12345678u);
  EXPECT_EQ(b[0], 0x12);
  EXPECT_EQ(b[3], 0x78);
  EXPECT_EQ(GetBE32(b), 0x12345678u);
  PutLE32(b, 0x12345678u);
  EXPECT_EQ(b[0], 0x78);
  EXPECT_EQ(GetLE32(b), 0x12345678u);
  PutBE16(b, 0xABCD);
  EXPECT_EQ(GetBE16(b), 0xABCD);
  PutLE16(b, 0xABCD);
  EXPECT_EQ(b[0], 0xCD);
  EXPECT_EQ(GetLE16(b), 0xABCD);
}

TEST(ByteOrder, ReaderStopsAtEnd) {
  const uint8_t d[5] = {0, 0, 0, 7, 9};
  BoundedReader r = MakeReader(d, sizeof d);
  EXPECT_EQ(ReadBE32(r), 7u);
  EXPECT_EQ(ReadU8(r), 9);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ReadBE16(r), 0);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(ReadSpan(r, 0), nullptr);  // stays failed
}

TEST(ByteOrder, WriterNeverPassesEnd) {
  uint8_t d[3] = {1, 2, 3};
  BoundedWriter w = MakeWriter(d, 3);
  WriteBE16(w, 0x0A0B);
  WriteBE16(w, 0xFFFF);
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(d[2], 3);
}
