#include "routinen/system/iff.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<uint8_t> Form(std::vector<uint8_t> body, const char* type = "TEST") {
  std::vector<uint8_t> f = {'F', 'O', 'R', 'M', 0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) f.push_back((uint8_t)type[i]);
  f.insert(f.end(), body.begin(), body.end());
  PutBE32(f.data() + 4, (uint32_t)f.size() - 8);
  return f;
}
}  // namespace

TEST(Iff, WalksChunksWithPadBytes) {
  auto f = Form({'A', 'B', 'C', 'D', 0, 0, 0, 3, 1, 2, 3, 0, 'E', 'F', 'G', 'H', 0, 0, 0, 0});
  uint32_t type = 0;
  BoundedReader body;
  ASSERT_EQ(IffOpenForm(f.data(), f.size(), &type, &body), 1);
  EXPECT_EQ(type, IffId("TEST"));
  IffChunk c;
  ASSERT_EQ(IffNextChunk(&body, &c), 1);
  EXPECT_EQ(c.id, IffId("ABCD"));
  ASSERT_EQ(c.size, 3u);
  EXPECT_EQ(c.data[2], 3);
  ASSERT_EQ(IffNextChunk(&body, &c), 1);
  EXPECT_EQ(c.id, IffId("EFGH"));
  EXPECT_EQ(c.size, 0u);
  EXPECT_EQ(IffNextChunk(&body, &c), 0);
  ASSERT_EQ(IffOpenForm(f.data(), f.size(), &type, &body), 1);
  EXPECT_EQ(IffFindChunk(body, IffId("EFGH"), &c), 1);
  EXPECT_EQ(IffFindChunk(body, IffId("NONE"), &c), 0);
}

TEST(Iff, RejectsTruncatedAndOversizedData) {
  auto f = Form({'A', 'B', 'C', 'D', 0, 0, 0, 4, 1, 2, 3, 4});
  BoundedReader body;
  uint32_t type;
  for (size_t cut = 0; cut < f.size(); ++cut) EXPECT_EQ(IffOpenForm(f.data(), cut, &type, &body), 0) << cut;
  EXPECT_EQ(IffOpenForm(nullptr, 0, &type, &body), 0);
  // A chunk length beyond the FORM.
  auto g = Form({'A', 'B', 'C', 'D', 0x7F, 0xFF, 0xFF, 0xFF, 1, 2});
  ASSERT_EQ(IffOpenForm(g.data(), g.size(), &type, &body), 1);
  IffChunk c;
  EXPECT_EQ(IffNextChunk(&body, &c), -1);
  EXPECT_EQ(IffNextChunk(&body, &c), -1);
  // A chunk header cut short.
  auto h = Form({'A', 'B', 'C'});
  ASSERT_EQ(IffOpenForm(h.data(), h.size(), &type, &body), 1);
  EXPECT_EQ(IffNextChunk(&body, &c), -1);
  // Not a FORM.
  f[0] = 'X';
  EXPECT_EQ(IffOpenForm(f.data(), f.size(), &type, &body), 0);
}
