// Field tables of the game data's list types and the small helpers all
// entity lists share.
#include <cstddef>
#include <cstring>
#include <mutex>

#include "codecs.h"
#include "entities.h"
#include "weapons.h"
#include "routinen/system/memory.h"

namespace {

#define F(n) {LF_INLINE, 0, n, 0}
constexpr uint16_t P = LIST_HOSTPTR_SIZE;

const ListField kPlayer[] = {F(4), F(80)};
const ListField kArmy[] = {F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(20), F(P)};
const ListField kPart[] = {F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(P)};
const ListField kSabo[] = {F(4), F(4)};
const ListField kWare[] = {F(2), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(2)};
const ListField kVert[] = {F(2), F(4), F(4), F(4), F(4), F(2), F(2), F(4), F(4), F(2)};
const ListField kShip[] = {F(2), F(2), F(2), F(4), F(4), F(sizeof(FigurRecord)),
                           F(sizeof(FigurRecord)), F(sizeof(FigurRecord))};
const ListField kMapName[] = {F(2), F(2), F(80), F(4)};
const ListField kCult[] = {F(2), F(2), F(2), F(2),
                           F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4),
                           F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2),
                           F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2), F(2)};
const ListField kSpez[] = {F(80), F(4), F(4), F(4), F(2), F(1), F(1), F(1), F(1), F(6), F(2),
                           F(4), F(4), F(80)};
const ListField kHerb[] = {F(4), F(4), F(1), F(1), F(2)};
const ListField kAddOn[] = {F(80), F(2), F(2), F(4), F(4), F(4)};
const ListField kFigur[] = {F(4), F(2), F(2), F(4), F(4), F(1), F(1)};
const ListField kWaffe[] = {F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4), F(4)};
#undef F

struct TypeDef {
  uint32_t number;
  uint32_t node_size;
  const ListField* fields;
  uint32_t count;
};
#define T(num, rec, tab) {num, sizeof(rec), tab, sizeof(tab) / sizeof(tab[0])}
const TypeDef kTypes[] = {
    T(LIST_PLAYERS, SpielerEintrag, kPlayer),   T(LIST_ARMIES, Army, kArmy),
    T(LIST_ARMY_PARTS, ArmeeTyp, kPart),        T(LIST_SABOTEURS, Saboteur, kSabo),
    T(LIST_GOODS, WarenListenEntry, kWare),     T(LIST_CONTRACTS, VertragsEintrag, kVert),
    T(LIST_SHIPS, Schiffseintrag, kShip),       T(LIST_MAP_NAMES, MapNameEintrag, kMapName),
    T(LIST_CULTURE_FIELDS, MapCultEintrag, kCult), T(LIST_SPECIALISTS, SpezialistEintrag, kSpez),
    T(LIST_HERBS, KrautEintrag, kHerb),         T(LIST_SHIP_ADDONS, ShipAddOn, kAddOn),
    T(LIST_FIGURES, MOVE_EXT, kFigur),         T(LIST_WEAPONS, WaffenListEntry, kWaffe),
};
#undef T

std::once_flag g_registered;

}  // namespace

void RegisterGameDataListTypes() {
  std::call_once(g_registered, [] {
    for (const TypeDef& t : kTypes) RegisterListType(t.number, t.node_size, t.fields, t.count);
  });
}

// The types are known before main runs, so a screen's CreateList of a game
// data type works before its first scan (the list registry is constant-
// initialised, so this is safe at static initialisation).
namespace {
const bool kRegisteredAtStart = (RegisterGameDataListTypes(), true);
}

ListNode* AllocListNode(const ListHeader* list) {
  if (!list || list->node_size < sizeof(ListNode)) return nullptr;
  return static_cast<ListNode*>(AllocVec(list->node_size, MEMF_PUBLIC | MEMF_CLEAR));
}

FigurRecord GetFigurRecord(const uint8_t* p) {
  FigurRecord f{};
  DecodeRecord(FigurRecordCodec, p, ORDER_HOST, &f);
  return f;
}

void PutFigurRecord(uint8_t* p, const FigurRecord& f) { EncodeRecord(FigurRecordCodec, &f, p, ORDER_HOST); }
