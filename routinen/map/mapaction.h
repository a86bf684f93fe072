// The map screen's actions and person events: the order the figure menu
// stored carried out (an attack, a capture or a duel into the outgoing KRIG
// chunk, loading and unloading a ship, a move along a shortest path, a
// cleric's herb search, a ship's name), and the events that change the
// figure list outside the menu (a sinking figure, a ship lost at sea, the
// town dialogue). docs/map-screen.md "Actions and person events".
#pragma once
#include <cstdint>

struct KartenScreenRecord;
struct MapScreenHooks;
struct FigurRecord;

// Carries out the selected figure's order (3..19); 1, or 0 after an
// allocation or file failure.
uint32_t CheckAktionsFeld(KartenScreenRecord* d);
// After a figure was selected: a figure off land sinks, a ship too far from
// land for the realm's range is lost. 1, or 0 after a failure.
uint32_t CheckPersonEventField(KartenScreenRecord* d);
// The town dialogue on the marked own town hex. 1, or 0 after a failure.
uint32_t CheckPersonEvent(KartenScreenRecord* d);
// Removes the figure from .\Data\MapPrefs.qoe and, for an army, its army
// from the record's army list. 1 (also for null), 0 when either is missing.
uint32_t RemoveFigurAndArmy(KartenScreenRecord* d, const FigurRecord* figure);

// Fills the slots of this part of the screen.
void FillMapActionHooks(MapScreenHooks* hooks);

// --- The pure steps (tests and fuzzing) --------------------------------------------
constexpr uint32_t kKriegsEntrySize = 72;
// The outgoing KRIG chunk with one more entry (attacker at +4, target at
// +22, all else 0), host order, a new chunk (FreeChunk). old is the pool's
// KRIG chunk in disk order (old_bytes of it readable) or null for none; its
// count is cut to the entries its length and the bytes hold. Null when
// memory runs out.
uint8_t* KriegsChunkAppend(const uint8_t* old, uint32_t old_bytes, const FigurRecord& attacker,
                           const FigurRecord& target);
// The chunk of that ID inside a pool image (disk order): a pointer into the
// image and *bytes (header and payload); null when the image is not a
// whole pool or holds no such chunk.
const uint8_t* FindChunkInPoolImage(const uint8_t* image, uint32_t size, const char* id, uint32_t* bytes);
// Units found of a herb of this amount: 1 below 51, then 1 + random(4),
// 1 + random(8) below 126 and 251, else 1 + random(16) (random(n): 0..n).
uint32_t HerbFindCount(uint32_t amount, uint32_t (*random)(uint32_t n));
// The turn's HERB chunk with a find added (an entry for the same acre and
// herb gains the units, else one is appended), host order, new (FreeChunk).
// herb: the outgoing HERB chunk (host order) or null. Null on failure.
uint8_t* HerbChunkWithFind(const uint8_t* herb, uint32_t x, uint32_t y, uint8_t herb_id, uint8_t found,
                           uint16_t amount);
// The local goods chunk with the units added to the own store record (kind
// 5) of the goods, or a new one; host order, new (FreeChunk). ware: the
// WARE chunk (host order) or null. Null on failure.
uint8_t* WareChunkWithGoods(const uint8_t* ware, uint32_t owner, uint32_t goods, uint32_t units, uint32_t time);
// The ship's capacity factor: 1, 2, 3 for the trade ships 14, 15, 16; 0 else.
uint32_t ShipCapacity(uint16_t type);
// The lost-ship rule: true when a land hex lies within range rings of the
// window cell (the cell and ring 1 always count), by land(user, column, row).
bool ShipNearLand(int32_t column, int32_t row, uint32_t range, bool (*land)(void* user, int32_t c, int32_t r),
                  void* user);
