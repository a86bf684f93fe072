// The player list of a test realm: .\Data\SpielerList.qoe (an ANTW chunk
// alone) with the players given, in that order.
#pragma once
#include <cstdint>
#include <cstdio>
#include <utility>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/system/lists.h"

namespace diplomacy_test {

inline bool WritePlayerList(const std::vector<std::pair<uint32_t, const char*>>& players) {
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(LIST_PLAYERS);
  for (const auto& p : players) {
    auto* n = reinterpret_cast<SpielerEintrag*>(AllocListNode(list));
    n->id = p.first;
    std::snprintf(n->name, sizeof n->name, "%s", p.second);
    AddNode(list, &n->head, LN_TAIL, 0);
  }
  uint8_t* chunk = MakeSpielerChunkFromList(list);
  const bool ok = chunk && SaveChunk2File(".\\Data\\SpielerList.qoe", chunk) == 1;
  if (chunk) FreeChunk(chunk);
  DeleteList(list, 0);
  return ok;
}

}  // namespace diplomacy_test
