// Fuzz target: random sequences of the barracks' operations (recruiting, the
// seven army operations, equipping and unequipping, training, EXIT) over a
// fuzzed ARMY chunk, fuzzed goods and a fuzzed town, with answers the input
// chooses. After every step: the goods in store and the weapons list agree
// per goods type, the men in the armies and the town's people add up to
// what they were, and the soldiers' count is the armies' men.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/weapons.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "screens/military/kaserne.h"

namespace {

const uint8_t* g_in;
size_t g_size, g_at;
uint8_t Next() { return g_at < g_size ? g_in[g_at++] : 0; }

KaserneAsker Asker() {
  KaserneAsker a{};
  a.yesNo = [](void*, uint32_t) { return int32_t{Next() & 1}; };
  a.askName = [](void*, uint32_t, uint32_t, char* out, uint32_t size) {
    const uint8_t n = Next();
    if (!(n & 3)) return int32_t{0};
    std::snprintf(out, size, "Army%u", n);
    return int32_t{1};
  };
  a.pickPart = [](void*, Army* army) { return army->parts && army->parts->count ? int32_t(Next() % (army->parts->count + 1)) - 1 : -1; };
  a.pickArmy = [](void*, ListHeader* armies) -> Army* {
    if (!armies->count) return nullptr;
    uint32_t k = Next() % armies->count;
    ListNode* n = armies->first;
    while (k--) n = n->next;
    return reinterpret_cast<Army*>(n);
  };
  return a;
}

// A chunk (host order) of id made from fuzzed payload bytes, through the
// disk-order reader.
uint8_t* FuzzChunk(const char* id, const uint8_t* p, size_t n) {
  std::vector<uint8_t> c(12 + n);
  std::memcpy(c.data(), id, 4);
  std::memcpy(c.data() + 4, "V001", 4);
  PutBE32(c.data() + 8, static_cast<uint32_t>(n));
  if (n) std::memcpy(c.data() + 12, p, n);
  return ChunkFromBuffer(id, c.data(), static_cast<uint32_t>(c.size()));
}

bool StockAgrees(KasernenData* d) {
  for (const WeaponDef& row : WeaponTable) {
    if (GetWeaponDefOfGoods(row.goods) != &row) continue;
    uint64_t items = 0, stock = 0;
    ListNode* n = d->WaffenListe->first;
    for (uint32_t i = 0; i < d->WaffenListe->count; ++i, n = n->next) {
      const auto* w = reinterpret_cast<const WaffenListEntry*>(n);
      if (w->def.goods == row.goods) items += w->def.Anzahl;
    }
    n = d->WarenListe->first;
    for (uint32_t i = 0; i < d->WarenListe->count; ++i, n = n->next) {
      const auto* g = reinterpret_cast<const WarenListenEntry*>(n);
      if (g->kind == 5 && g->goods == row.goods) stock += g->quantity;
    }
    if (items != stock) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    DebugLogSetStderr(0);
    RegisterGameDataListTypes();
    init = true;
  }
  if (size < 8 || size > (1 << 14)) return 0;
  const size_t army_n = (data[0] | (data[1] << 8)) % (size - 8 + 1);
  const size_t ware_n = (data[2] | (data[3] << 8)) % (size - 8 - army_n + 1);
  g_in = data + 8 + army_n + ware_n;
  g_size = size - 8 - army_n - ware_n;
  g_at = 0;

  auto* d = static_cast<KasernenData*>(AllocVec(sizeof(KasernenData), MEMF_PUBLIC | MEMF_CLEAR));
  uint8_t* army = FuzzChunk("ARMY", data + 8, army_n);
  d->ArmeeListe = army ? ScanArmy2List(army) : nullptr;
  if (army) FreeChunk(army);
  if (!d->ArmeeListe) d->ArmeeListe = CreateList(LIST_ARMIES);
  // Armies of a size a realm has (the sums stay far from 32 bits).
  ListNode* an = d->ArmeeListe->first;
  for (uint32_t i = 0; i < d->ArmeeListe->count; ++i, an = an->next) {
    Army* army = reinterpret_cast<Army*>(an);
    ListNode* pn = army->parts ? army->parts->first : nullptr;
    for (uint32_t k = 0; pn && k < army->parts->count; ++k, pn = pn->next) reinterpret_cast<ArmeeTyp*>(pn)->Leute %= 10000;
  }
  d->WarenListe = CreateList(LIST_GOODS);
  d->WaffenListe = CreateList(LIST_WEAPONS);
  uint8_t* ware = FuzzChunk("WARE", data + 8 + army_n, ware_n);
  if (!ware || !ScanWare2List(d->WarenListe, ware)) {
    DeleteList(d->WarenListe, 0);
    d->WarenListe = CreateList(LIST_GOODS);
  }
  if (ware) FreeChunk(ware);
  ConvertWare2Waffe(d->WarenListe, d->WaffenListe);
  d->Stadt = CreateTown(1, "Fuzz", data[4] % 4, data[5] % 4);
  d->Stadt->TownPopulation = (data[6] << 8) | data[7];
  for (uint32_t b : {27u, 48u, 57u, 96u, 163u})
    if (data[4] & (1 << (b % 8))) d->Stadt->buildings[b].flags = BUILDING_STANDS;
  d->Einwohner = (data[5] << 12) | data[6];
  d->LandGlaube = data[7];
  d->Soldaten = CountArmyPeople(d->ArmeeListe);
  d->Prozent = static_cast<int32_t>(data[3] % 25);
  d->Rekruten = static_cast<int32_t>(data[2]) * 3;
  d->KasernenTyp = 1 + data[1] % 3;
  const uint64_t men = d->Soldaten + uint64_t{d->Stadt->TownPopulation};
  const KaserneAsker a = Asker();
  static const char* const kGadgets[] = {"L100", "R100", "L101", "R101", "L200", "R200"};
  KaserneRequesterOpened(d);
  for (int step = 0; step < 64 && g_at < g_size; ++step) {
    const uint8_t op = Next();
    if (d->ArmeeListe->count) {  // a selection the user could make
      ListNode* n = d->ArmeeListe->first;
      for (uint32_t k = Next() % (d->ArmeeListe->count + 1); k && n; --k) n = n->next;
      d->selArmy = (op & 0x80) ? nullptr : reinterpret_cast<Army*>(n);
      d->selPart = d->selArmy && d->selArmy->parts && d->selArmy->parts->count && (op & 0x40)
                       ? reinterpret_cast<ArmeeTyp*>(d->selArmy->parts->first)
                       : nullptr;
    }
    if (d->WaffenListe->count) d->selWeapon = reinterpret_cast<WaffenListEntry*>(d->WaffenListe->first)->def.ID;
    switch (op % 16) {
      case 0: case 1: case 2: case 3: case 4: case 5: ArmyManagmentRecruit(d, kGadgets[op % 4], &a); break;
      case 6: ArmyManagmentEnterUnits(d, static_cast<int8_t>(Next()) * 10); break;
      case 7: ArmyManagmentCreateNewArmy(d, &a); break;
      case 8: ArmyManagmentInsertInArmy(d, &a); break;
      case 9: ArmyManagmentJoinArmies(d, &a); break;
      case 10: ArmyManagmentSplitArmy(d, &a); break;
      case 11: ArmyManagmentDemobilize(d, &a); break;
      case 12: ArmyManagmentSupplyPart(d, &a); break;
      case 13: ArmyWeaponsInsertInArmy(d, &a); break;
      case 14: ArmyWeaponsRemoveFromArmy(d, static_cast<KaserneShown>(Next() % 9), &a); break;
      default:
        ArmyTrainingDuration(d, kGadgets[4 + (op >> 4) % 2], &a);
        ArmyTrainingActivate(d, (op >> 5) & 1, d->selPart ? 0 : -1, &a);
        break;
    }
    if (!StockAgrees(d)) std::abort();
    if (CountArmyPeople(d->ArmeeListe) + uint64_t{d->Stadt->TownPopulation} != men) std::abort();
    if (CountArmyPeople(d->ArmeeListe) != d->Soldaten) std::abort();
    if (d->Rekruten < 0 || d->Einheiten < 0) std::abort();
  }
  KaserneRequesterExit(d);
  if (d->Stadt->TownPopulation != (static_cast<uint32_t>(data[6] << 8) | data[7])) std::abort();
  FreeKasernenData(d);
  return 0;
}
