// The movie file cache: single buffer below 1 MiB, direct reads above, the
// clamped seeks and short reads at the end.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/log.h"
#include "routinen/media/movie_internal.h"
#include "routinen/system/files.h"
#include "tests/support/test_support.h"

namespace {

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; i++) b[i] = (uint8_t)(i * 7 + (i >> 9));
  return b;
}

class MovieCache : public ::testing::Test {
 protected:
  void SetUp() override { DebugLogSetStderr(0); }
  void TearDown() override {
    DebugLogSetHook(nullptr, nullptr);
    DebugLogSetStderr(1);
  }
};

TEST_F(MovieCache, SmallFilesAreReadWholeLargeOnesDirectly) {
  for (size_t size : {size_t{500} * 1024, size_t{2} * 1024 * 1024}) {
    const std::vector<uint8_t> data = Pattern(size);
    ASSERT_TRUE(qoe_test::WriteFileBytes(qoe_test::TestDir() + "/m.cban", data));
    CacheHandle* h = AFX_Open(".\\M.CBAN", MODE_READONLY, nullptr);
    ASSERT_TRUE(h);
    EXPECT_EQ(AFX_FileSize(h), size);
    EXPECT_EQ(h->mode, size < 1048576 ? CACHE_SINGLE : CACHE_NONE);
    EXPECT_EQ(h->cached, size < 1048576 ? size : 0u);
    // Reads in odd pieces give the file back; the end gives fewer bytes, then 0.
    std::vector<uint8_t> got;
    std::vector<uint8_t> piece(77777);
    int32_t n;
    while ((n = AFX_Read(h, piece.data(), (int32_t)piece.size())) > 0) got.insert(got.end(), piece.begin(), piece.begin() + n);
    EXPECT_EQ(got, data);
    EXPECT_EQ(AFX_Read(h, piece.data(), 10), 0);
    // Seeks: the old position comes back, the new one is clamped to 0 .. size - 1.
    EXPECT_EQ(AFX_Seek(h, 0, OFFSET_END), (int32_t)size);
    EXPECT_EQ(h->pos, size - 1);
    uint8_t last = 0;
    EXPECT_EQ(AFX_Read(h, &last, 100), 1);  // one byte left at size - 1
    EXPECT_EQ(last, data.back());
    AFX_Seek(h, 1000, OFFSET_BEGINNING);
    EXPECT_EQ(AFX_Seek(h, -10, OFFSET_BEGINNING), 1000);
    EXPECT_EQ(h->pos, 0u);
    AFX_Seek(h, 4, OFFSET_BEGINNING);
    EXPECT_EQ(AFX_Seek(h, 6, OFFSET_CURRENT), 4);
    uint8_t b = 0;
    AFX_Read(h, &b, 1);
    EXPECT_EQ(b, data[10]);
    EXPECT_EQ(AFX_Close(h), 0);
  }
}

TEST_F(MovieCache, BadPathsAndEmptyFilesGiveNull) {
  std::vector<std::string> lines;
  DebugLogSetHook([](const char* line, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(line); }, &lines);
  EXPECT_EQ(AFX_Open("a", MODE_READONLY, nullptr), nullptr);
  EXPECT_EQ(AFX_Open(nullptr, MODE_READONLY, nullptr), nullptr);
  EXPECT_TRUE(lines.empty());  // a one-character path: no message
  EXPECT_EQ(AFX_Open(".\\missing.cban", MODE_READONLY, nullptr), nullptr);
  ASSERT_TRUE(qoe_test::WriteFileBytes(qoe_test::TestDir() + "/empty.cban", {}));
  EXPECT_EQ(AFX_Open(".\\empty.cban", MODE_READONLY, nullptr), nullptr);
  EXPECT_EQ(AFX_Close(nullptr), -1);
  EXPECT_EQ(AFX_FileSize(nullptr), 0u);
  EXPECT_EQ(AFX_Seek(nullptr, 0, 0), -1);
}

}  // namespace
