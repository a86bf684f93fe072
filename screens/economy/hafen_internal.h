// What the harbour screen and its two requesters share inside the module.
#pragma once
#include <cstdint>

#include "screens/economy/hafen.h"

struct ScreenRegion;

namespace hafen {

constexpr uint32_t kShipPicture = 521;
// The lists: ink on parchment (the selected line the other way round); the
// captions in ink.
constexpr uint32_t kPenBack = 5, kPenText = 7, kPenOutline = 37;
constexpr uint32_t kNoneText = 715;
constexpr uint32_t kLandSchatz = 34;
extern const char kGfxIndex[];
extern const char kWarenChunk[];

// The treasury (LAND +34), 0 without a LAND chunk that holds it; the setter
// changes nothing then.
uint32_t Schatz(const HafenScreenData* d);
void SetSchatz(HafenScreenData* d, uint32_t value);
// The outgoing pool's new image with the record's SHIP (or its removal when
// the list is empty and the pool holds one) and LAND; a new block (FreeVec)
// and *size, or null (logged).
uint8_t* PoolImage(HafenScreenData* d, uint32_t* size);
// The ship list and LAND read again from the pools (after a failed write:
// the record then holds what the files hold). 1 or 0.
int32_t ReloadShipsAndLand(HafenScreenData* d);
// The harbour's picture area after a requester: the ship picture when a
// ship lies in port, else the area as it was.
void RedrawHarbourArea(HafenScreenData* d);
// A yes/no question (1 for yes) and a notice box, with the catalog text.
int32_t Ask(const char* text);
void Notice(uint32_t catalog_id);
// 1 when the display is deeper than 8 bits (the map stays in memory behind).
bool DeepDisplay();

}  // namespace hafen
