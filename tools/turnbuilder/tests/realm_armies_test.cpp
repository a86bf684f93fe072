// The armies of every fixture realm as the client reads them from the built
// turn: each own army has its figure (the army's ID as the figure's number,
// on the army's hex), the figure's type is the one the army's parts make by
// the game's own rule (GetArmyTyp), a ship's cargo slot carries the same
// type as the figure it holds, and no own army figure is left without army.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <map>
#include <string>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/system/lists.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace {

const char* const kPool = ".\\Data\\POP3In\\GameChunk.qoe";

bool IsArmyType(uint32_t type) { return type >= 1 && type <= 9; }

// The own figures of the pool's MOVE chunk by number.
std::map<uint32_t, FigurRecord> OwnFigures(uint32_t player) {
  std::map<uint32_t, FigurRecord> out;
  uint8_t* move = LoadChunk2Mem("MOVE", kPool);
  EXPECT_NE(move, nullptr);
  if (!move) return out;
  const uint32_t count = ChunkGet16(move, 12);
  EXPECT_LE(2 + 18 * count, ChunkLength(move));
  for (uint32_t i = 0; i < count && 2 + 18 * (i + 1) <= ChunkLength(move); ++i) {
    const FigurRecord f = GetFigurRecord(move + 14 + 18 * i);
    if (f.owner == player) out[f.number] = f;
  }
  FreeChunk(move);
  return out;
}

void ExpectArmiesMatchTheirFigures(const char* fixture) {
  SCOPED_TRACE(fixture);
  Realm realm;
  std::string error;
  ASSERT_TRUE(LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/" + fixture, &realm, &error)) << error;
  const Bytes pool = BuildTurnPool(realm);
  mkdir("Data", 0755);
  mkdir("Data/POP3In", 0755);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", pool));
  RegisterGameDataListTypes();
  std::map<uint32_t, FigurRecord> figures = OwnFigures(realm.player_id);

  uint8_t* chunk = LoadChunk2Mem("ARMY", kPool);
  ListHeader* armies = chunk ? ScanArmy2List(chunk) : nullptr;
  EXPECT_EQ(armies ? armies->count : 0u, realm.armies.size());
  std::map<uint32_t, bool> has_army;
  ListNode* node = armies ? armies->first : nullptr;
  for (uint32_t i = 0; armies && i < armies->count && node; ++i, node = node->next) {
    const Army* a = reinterpret_cast<const Army*>(node);
    SCOPED_TRACE(std::string(a->ArmyName, strnlen(a->ArmyName, sizeof a->ArmyName)));
    const uint32_t made = GetArmyTyp(a);
    EXPECT_TRUE(IsArmyType(made)) << "the parts make no figure type";
    auto f = figures.find(a->ArmeeID);
    if (f == figures.end()) {
      ADD_FAILURE() << "no own figure with number " << a->ArmeeID;
      continue;
    }
    has_army[a->ArmeeID] = true;
    EXPECT_EQ(f->second.type, made) << "figure " << a->ArmeeID;
    EXPECT_EQ(f->second.x, a->X);
    EXPECT_EQ(f->second.y, a->Y);
  }
  if (armies) DeleteArmyList(armies);
  if (chunk) FreeChunk(chunk);

  for (const auto& [number, f] : figures) {
    if (!IsArmyType(f.type)) continue;
    EXPECT_TRUE(has_army[number]) << "army figure " << number << " has no army";
  }

  uint8_t* ships = LoadChunk2Mem("SHIP", kPool);
  ListHeader* list = CreateList(LIST_SHIPS);
  ASSERT_NE(list, nullptr);
  if (ships) {
    EXPECT_EQ(ScanShip2List(list, ships), 1);
  }
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count && n; ++i, n = n->next) {
    const Schiffseintrag* s = reinterpret_cast<const Schiffseintrag*>(n);
    for (const FigurRecord& cargo : s->cargo) {
      if (cargo.owner != realm.player_id || !IsArmyType(cargo.type)) continue;
      auto f = figures.find(cargo.number);
      ASSERT_NE(f, figures.end()) << "ship " << s->ship_id << " carries a missing figure " << cargo.number;
      EXPECT_EQ(cargo.type, f->second.type) << "ship " << s->ship_id << " cargo " << cargo.number;
    }
  }
  DeleteList(list, 0);
  if (ships) FreeChunk(ships);
}

TEST(RealmArmies, EveryArmyFigureHasTheTypeItsPartsMake) {
  for (const char* fixture : {"demo.realm", "grown.realm", "first_turn.realm"})
    ASSERT_NO_FATAL_FAILURE(ExpectArmiesMatchTheirFigures(fixture));
}

}  // namespace
