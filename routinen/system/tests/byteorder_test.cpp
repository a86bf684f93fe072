#include "routinen/system/byteorder.h"

#include <gtest/gtest.h>
#include <cstring>

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

TEST(ByteOrder, EveryHelperRoundTrips) {
  const uint32_t values32[] = {0, 1, 0x7F, 0x80, 0xFF, 0x100, 0x12345678u, 0x80000000u, 0xFFFFFFFFu};
  for (uint32_t v : values32) {
    uint8_t b[4];
    PutBE32(b, v);
    EXPECT_EQ(GetBE32(b), v);
    EXPECT_EQ(GetLE32(b), (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24));
    PutLE32(b, v);
    EXPECT_EQ(GetLE32(b), v);
    uint16_t h = (uint16_t)v;
    PutBE16(b, h);
    EXPECT_EQ(GetBE16(b), h);
    EXPECT_EQ(GetLE16(b), (uint16_t)((h >> 8) | (h << 8)));
    PutLE16(b, h);
    EXPECT_EQ(GetLE16(b), h);
  }
  uint8_t buf[15];
  BoundedWriter w = MakeWriter(buf, sizeof buf);
  WriteU8(w, 0xA5);
  WriteBE16(w, 0xBEEF);
  WriteBE32(w, 0xDEADBEEFu);
  WriteLE16(w, 0x1234);
  WriteLE32(w, 0x89ABCDEFu);
  WriteBytes(w, "xy", 2);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(w.pos, sizeof buf);
  const uint8_t expect[15] = {0xA5, 0xBE, 0xEF, 0xDE, 0xAD, 0xBE, 0xEF, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x89, 'x', 'y'};
  EXPECT_EQ(std::memcmp(buf, expect, sizeof buf), 0);
  BoundedReader r = MakeReader(buf, sizeof buf);
  EXPECT_EQ(ReadU8(r), 0xA5);
  EXPECT_EQ(ReadBE16(r), 0xBEEF);
  EXPECT_EQ(ReadBE32(r), 0xDEADBEEFu);
  EXPECT_EQ(ReadLE16(r), 0x1234);
  EXPECT_EQ(ReadLE32(r), 0x89ABCDEFu);
  char xy[2];
  EXPECT_TRUE(ReadBytes(r, xy, 2));
  EXPECT_EQ(ReaderLeft(r), 0u);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ReadLE32(r), 0u);
  EXPECT_FALSE(r.ok);
  // Truncated input: each reader fails alone and yields 0.
  BoundedReader t = MakeReader(buf, 3);
  EXPECT_EQ(ReadBE32(t), 0u);
  EXPECT_FALSE(t.ok);
  BoundedReader n = MakeReader(nullptr, 100);
  EXPECT_FALSE(ReaderHas(n, 1));
  EXPECT_EQ(ReadU8(n), 0);
  BoundedReader s = MakeReader(buf, sizeof buf);
  EXPECT_TRUE(ReaderSeek(s, 13));
  EXPECT_EQ(ReadU8(s), 'x');
  EXPECT_FALSE(ReaderSeek(s, 16));
  EXPECT_FALSE(s.ok);
}
