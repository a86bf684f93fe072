#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = (uint8_t)rng();
  return v;
}

std::string Encode(const std::vector<uint8_t>& data) {
  uint32_t size = 0;
  char* text = VEncodeAlloc(data.data(), (uint32_t)data.size(), &size);
  EXPECT_NE(text, nullptr);
  std::string s(text, size);
  FreeVec(text);
  return s;
}

VDecodeResult Decode(const std::string& text, std::vector<uint8_t>* out) {
  uint8_t* data = nullptr;
  uint32_t len = 0;
  VDecodeResult r = VDecode(text.data(), text.size(), out ? &data : nullptr, &len);
  if (out) {
    out->assign(data, data + len);
    FreeVec(data);
  }
  return r;
}

}  // namespace

TEST(VEncode, KnownTextAndCrc) {
  EXPECT_EQ(VCrc32("123456789", 9), 0xCBF43926u);
  std::string man = Encode({'M', 'a', 'n', 'M', 'a'});
  EXPECT_EQ(man, ";VEncode;\nVE1 5 d8f07d2f\nTWFuTWE\n;VEnd;\n");
  EXPECT_EQ(Encode({}), ";VEncode;\nVE1 0 00000000\n;VEnd;\n");
}

TEST(VEncode, RoundTripsFromNothingToTwoMegabytes) {
  const size_t sizes[] = {0, 1, 2, 3, 4, 56, 57, 58, 113, 114, 115, 1000, 65536, 777777, 2 * 1024 * 1024};
  uint32_t seed = 1;
  for (size_t n : sizes) {
    auto data = RandomBytes(n, seed++);
    std::string text = Encode(data);
    EXPECT_EQ(text.size(), VEncodeSize((uint32_t)n));
    // Every line is 7-bit and at most 76 characters.
    size_t line = 0;
    for (char c : text) {
      ASSERT_LT((unsigned char)c, 128u);
      line = c == '\n' ? 0 : line + 1;
      ASSERT_LE(line, 76u);
    }
    std::vector<uint8_t> back;
    ASSERT_EQ(Decode(text, &back), VDECODE_OK) << n;
    EXPECT_EQ(back, data) << n;
    // A mail on the wire has CRLF line ends and text around the body.
    std::string crlf = "Subject: x\r\n\r\n";
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    crlf += "-- \r\nsignature\r\n";
    ASSERT_EQ(Decode(crlf, &back), VDECODE_OK) << n;
    EXPECT_EQ(back, data) << n;
  }
}

TEST(VEncode, EverySingleByteCorruptionIsRejected) {
  for (size_t n : {0u, 1u, 2u, 60u, 200u}) {
    std::string text = Encode(RandomBytes(n, 99 + (uint32_t)n));
    for (size_t i = 0; i < text.size(); i++) {
      for (int v = 0; v < 256; v++) {
        if ((char)v == text[i]) continue;
        std::string bad = text;
        bad[i] = (char)v;
        ASSERT_NE(Decode(bad, nullptr), VDECODE_OK) << "size " << n << " pos " << i << " value " << v;
      }
    }
  }
}

TEST(VEncode, EveryTruncationIsRejected) {
  for (size_t n : {0u, 5u, 57u, 300u}) {
    std::string text = Encode(RandomBytes(n, 7));
    for (size_t cut = 0; cut < text.size(); cut++)
      ASSERT_NE(Decode(text.substr(0, cut), nullptr), VDECODE_OK) << n << " cut at " << cut;
  }
}

TEST(VEncode, HostileHeaders) {
  const char* bad[] = {
      ";VEncode;\nVE1 4294967295 00000000\n;VEnd;\n",  // length beyond the limit
      ";VEncode;\nVE1 2000000000 00000000\nAAAA\n;VEnd;\n",  // claims more than the text holds
      ";VEncode;\nVE1 01 00000000\nAA\n;VEnd;\n",  // leading zero
      ";VEncode;\nVE1 1 0000000\nAA\n;VEnd;\n",   // short CRC
      ";VEncode;\nVE1 1 D202EF8D\nAA\n;VEnd;\n",  // upper-case CRC
      ";VEncode;\nVE2 1 d202ef8d\nAA\n;VEnd;\n",  // unknown version
      "x;VEncode;\nVE1 1 d202ef8d\nAA\n;VEnd;\n",  // marker not at a line start
      ";VEncode;\nVE1 1 d202ef8d\nAB\n;VEnd;\n",  // unused bits set
      ";VEncode;\nVE1 1 d202ef8d\nA=\n;VEnd;\n",  // padding is not part of the format
  };
  for (const char* t : bad) EXPECT_NE(Decode(t, nullptr), VDECODE_OK) << t;
  EXPECT_EQ(Decode(";VEncode;\nVE1 1 d202ef8d\nAA\n;VEnd;\n", nullptr), VDECODE_OK);
}

TEST(VEncode, DecrunchReplacesTheTargetOnlyWhenTheBodyChecksOut) {
  auto data = RandomBytes(5000, 3);
  std::string text = Encode(data);
  ASSERT_TRUE(qoe_test::WriteFileBytes("pool.qoe", {1, 2, 3}));
  std::string bad = text;
  bad[bad.size() / 2] ^= 1;
  EXPECT_EQ(DecrunchOneEmail(bad.data(), (uint32_t)bad.size(), "pool.qoe"), 0);
  EXPECT_EQ(qoe_test::ReadFileBytes("pool.qoe"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(DecrunchOneEmail(text.data(), (uint32_t)text.size() - 3, "pool.qoe"), 0);
  EXPECT_EQ(qoe_test::ReadFileBytes("pool.qoe"), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_NE(DecrunchOneEmail(text.data(), (uint32_t)text.size(), "POOL.QOE"), 0);
  EXPECT_EQ(qoe_test::ReadFileBytes("pool.qoe"), data);
  // A failed write leaves the old file whole.
  ASSERT_TRUE(qoe_test::WriteFileBytes("pool.qoe", {1, 2, 3}));
  FileFailWritesAfter(100);
  EXPECT_EQ(DecrunchOneEmail(text.data(), (uint32_t)text.size(), "pool.qoe"), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(qoe_test::ReadFileBytes("pool.qoe"), (std::vector<uint8_t>{1, 2, 3}));
}
