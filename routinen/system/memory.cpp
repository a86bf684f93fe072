#include "memory.h"

#include <sys/sysinfo.h>

#include <cstdlib>
#include <cstring>

#include "platform/log.h"

std::atomic<uint64_t> MemAllocatedCounter_SS{0};
std::atomic<uint64_t> MemFreedCounter_SS{0};

namespace {
std::atomic<int64_t> g_fail_after{-1};
}

void AllocVecFailAfter(int64_t n) { g_fail_after.store(n); }

void* AllocVec(uint32_t size, uint32_t flags) {
  if (size == 0) return nullptr;
  void* p = nullptr;
  // Test hook: count down the allowed allocations; at 0 every one fails.
  bool forced_fail = false;
  int64_t left = g_fail_after.load();
  while (left > 0 && !g_fail_after.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) forced_fail = true;
  if (!forced_fail) p = (flags & MEMF_CLEAR) ? std::calloc(1, size) : std::malloc(size);
  if (!p) {
    DebugLog("AllocVec: No more Memory available. Please reboot your system. Size: %u\n", size);
    return nullptr;
  }
  MemAllocatedCounter_SS++;
  return p;
}

void FreeVec(void* block) {
  if (!block) return;
  std::free(block);
  MemFreedCounter_SS++;
}

uint64_t AvailMem(uint32_t) {
  struct sysinfo si;
  if (sysinfo(&si) != 0) return 0;
  return (uint64_t)si.freeram * si.mem_unit + (uint64_t)si.bufferram * si.mem_unit;
}

void CopyMem(const void* source, void* destination, uint32_t length) {
  if (!source || !destination || length == 0) return;
  std::memmove(destination, source, length);
}

void SwapArray(void* data, uint32_t count, uint16_t mode) {
  if (!data) return;
  uint8_t* p = static_cast<uint8_t*>(data);
  if (mode == 1) {
    for (uint32_t i = 0; i < count; i++, p += 4) {
      uint8_t a = p[0], b = p[1];
      p[0] = p[3];
      p[1] = p[2];
      p[2] = b;
      p[3] = a;
    }
  } else {
    for (uint32_t i = 0; i < count; i++, p += 2) {
      uint8_t a = p[0];
      p[0] = p[1];
      p[1] = a;
    }
  }
}

uint32_t BitSet(uint32_t mask, uint32_t bit) { return bit < 32 ? mask | (1u << bit) : mask; }
uint32_t BitClear(uint32_t mask, uint32_t bit) { return bit < 32 ? mask & ~(1u << bit) : mask; }
uint32_t BitToggle(uint32_t mask, uint32_t bit) { return bit < 32 ? mask ^ (1u << bit) : mask; }
uint32_t BitTest(uint32_t mask, uint32_t bit) { return bit < 32 ? (mask >> bit) & 1u : 0; }

void LogMemoryCounters() {
  DebugLog("ShutdownSystem: AllocVec %llu mal, FreeVec %llu mal\n",
           (unsigned long long)MemAllocatedCounter_SS.load(),
           (unsigned long long)MemFreedCounter_SS.load());
}
