#include "routinen/system/memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/log.h"

TEST(Memory, AllocVecFlagsAndCounters) {
  uint64_t a0 = MemAllocatedCounter_SS.load(), f0 = MemFreedCounter_SS.load();
  EXPECT_EQ(AllocVec(0, MEMF_CLEAR), nullptr);
  FreeVec(nullptr);
  EXPECT_EQ(MemAllocatedCounter_SS.load(), a0);
  EXPECT_EQ(MemFreedCounter_SS.load(), f0);
  std::vector<void*> blocks;
  for (uint32_t size : {1u, 7u, 4096u, 100000u}) {
    uint8_t* p = static_cast<uint8_t*>(AllocVec(size, MEMF_PUBLIC | MEMF_CLEAR));
    ASSERT_NE(p, nullptr);
    for (uint32_t i = 0; i < size; i++) ASSERT_EQ(p[i], 0) << size;
    std::memset(p, 0xEE, size);
    blocks.push_back(p);
    void* q = AllocVec(size, MEMF_PUBLIC);
    ASSERT_NE(q, nullptr);
    blocks.push_back(q);
  }
  EXPECT_EQ(MemAllocatedCounter_SS.load() - a0, 8u);
  for (void* p : blocks) FreeVec(p);
  EXPECT_EQ(MemAllocatedCounter_SS.load() - a0, MemFreedCounter_SS.load() - f0);
}

TEST(Memory, OutOfMemoryLogsAndReturnsNull) {
  std::vector<std::string> lines;
  DebugLogSetStderr(0);
  DebugLogSetHook([](const char* l, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(l); }, &lines);
  uint64_t a0 = MemAllocatedCounter_SS.load();
  AllocVecFailAfter(1);
  void* ok = AllocVec(16, 0);
  void* fail = AllocVec(24, MEMF_CLEAR);
  void* fail2 = AllocVec(8, 0);
  AllocVecFailAfter(-1);
  void* again = AllocVec(8, 0);
  DebugLogSetHook(nullptr, nullptr);
  DebugLogSetStderr(1);
  EXPECT_NE(ok, nullptr);
  EXPECT_EQ(fail, nullptr);
  EXPECT_EQ(fail2, nullptr);
  EXPECT_NE(again, nullptr);
  EXPECT_EQ(MemAllocatedCounter_SS.load() - a0, 2u);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "AllocVec: No more Memory available. Please reboot your system. Size: 24\n");
  FreeVec(ok);
  FreeVec(again);
}

TEST(Memory, CopyMemSwapArrayAndBits) {
  char buf[] = "abcdef";
  CopyMem(buf, buf + 2, 4);  // source first; overlapping is fine
  EXPECT_STREQ(buf, "ababcd");
  uint8_t w[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  SwapArray(w, 2, 1);
  EXPECT_EQ(std::vector<uint8_t>(w, w + 8), (std::vector<uint8_t>{4, 3, 2, 1, 8, 7, 6, 5}));
  SwapArray(w, 3, 0);
  EXPECT_EQ(std::vector<uint8_t>(w, w + 8), (std::vector<uint8_t>{3, 4, 1, 2, 7, 8, 6, 5}));
  SwapArray(w, 1, 2);  // any mode other than 1 is 16-bit
  EXPECT_EQ(w[0], 4);
  EXPECT_EQ(w[1], 3);
  EXPECT_EQ(BitSet(0, 31), 0x80000000u);
  EXPECT_EQ(BitClear(0xFFFFFFFFu, 0), 0xFFFFFFFEu);
  EXPECT_EQ(BitToggle(0x5u, 2), 0x1u);
  EXPECT_EQ(BitToggle(0x1u, 2), 0x5u);
  EXPECT_EQ(BitTest(0x8u, 3), 1u);
  EXPECT_EQ(BitTest(0x8u, 2), 0u);
  EXPECT_GT(AvailMem(4), 0u);
}

TEST(MemoryThread, CountersBalanceAcrossThreads) {
  uint64_t a0 = MemAllocatedCounter_SS.load(), f0 = MemFreedCounter_SS.load();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++)
    threads.emplace_back([] {
      for (int i = 0; i < 1000; i++) FreeVec(AllocVec(32 + i, MEMF_CLEAR));
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(MemAllocatedCounter_SS.load() - a0, 4000u);
  EXPECT_EQ(MemFreedCounter_SS.load() - f0, 4000u);
}
