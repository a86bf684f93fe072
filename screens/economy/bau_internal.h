// What the construction screen's files share inside the module.
#pragma once
#include <atomic>
#include <cstdint>

#include "screens/economy/bau.h"

// The module's state: the test seams, set before the game thread runs the
// screen (atomics).
struct BauModuleState {
  std::atomic<RandomFunc> random{nullptr};
  std::atomic<BauMessageHook> message{nullptr};
};
BauModuleState& BauModule();

// 0..n from the random source (Zufall unless a test scripts it).
uint32_t BauRandom(uint32_t n);
// A modal message (mode 0) or question (mode 1) of a catalog text, pen 7
// with picture 66 at 168,180, the animation paused around it: the answer
// (0 confirmed).
int32_t BauMessage(BauScreenData* d, uint32_t mode, uint32_t catalog);
// The value panels' pens and the offsets of the chunks the screen reads.
enum : uint32_t {
  kLandTreasury = 34, kLandConfidence = 62, kKornYear = 12, kKornQuarter = 16,
  kBaueCount = 12, kBaueRecords = 14, kGebaCount = 16, kGebaRecords = 18,
};
// The GEBA chunk's record count (as far as its length holds them) and record i.
uint32_t GebaCount(const uint8_t* geba);
uint8_t* GebaRecord(uint8_t* geba, uint32_t i);
