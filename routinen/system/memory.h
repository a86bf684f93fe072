// Memory of the program: every block comes from AllocVec and goes back
// through FreeVec; both are counted and the counts are logged at shut-down.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

enum : uint32_t { MEMF_PUBLIC = 1, MEMF_CLEAR = 0x10000 };

extern std::atomic<uint64_t> MemAllocatedCounter_SS;
extern std::atomic<uint64_t> MemFreedCounter_SS;

// A block of size bytes (cleared with MEMF_CLEAR); null for size 0 or when
// memory runs out (logged).
void* AllocVec(uint32_t size, uint32_t flags);
// Frees a block from AllocVec; null is ignored.
void FreeVec(void* block);
// Free physical memory in bytes; the argument is ignored.
uint64_t AvailMem(uint32_t flags);
// Copies length bytes; Amiga order, source first.
void CopyMem(const void* source, void* destination, uint32_t length);
// Reverses the byte order of count words in place: mode 1 32-bit, else 16-bit.
void SwapArray(void* data, uint32_t count, uint16_t mode);

uint32_t BitSet(uint32_t mask, uint32_t bit);
uint32_t BitClear(uint32_t mask, uint32_t bit);
uint32_t BitToggle(uint32_t mask, uint32_t bit);
uint32_t BitTest(uint32_t mask, uint32_t bit);  // 1 when set, else 0

// Logs the allocation counters (shut-down).
void LogMemoryCounters();
// Tests: the next n allocations succeed, then every one fails (-1 switches off).
void AllocVecFailAfter(int64_t n);
