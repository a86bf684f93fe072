// The barracks screen (code 152): the yard with its three movies and
// ambient sounds, and its three requesters drawn over it: army management
// for one unit type (recruiting and the seven army operations), weapons
// (equipping army parts from the stores) and training. The rules they apply
// are the model's (screens/military/kaserne.h, docs/barracks.md).
#pragma once
#include <cstdint>

struct KasernenData;
struct ArmeeTyp;

// The screen: 39 (the town) on STAD, Escape, GEHE (its own code has no
// screen) or a failed management requester, 3 (the map) on KART; 0 when it
// cannot be set up (everything made is freed again).
int32_t KaserneScreen(int32_t from);

// Sound effects 49, 51..57 and 77, all or none (1, or 0 with the ones
// loaded before the failing one freed again).
int32_t LoadKasernenSfx();
void FreeKasernenSfx();

// The three requesters over the screen; each pauses the screen's movies
// while it is open. ArmyManagment returns true when the screen must close.
bool ArmyManagment(KasernenData* d);
int32_t ArmyWeapons(KasernenData* d);
void ArmyTraining(KasernenData* d);

// The lines the management and training boxes show for one army part
// (type, experience, the two weapons, armour, shield, helmet, exhaustion,
// class of armour, people): at most max 80-byte lines into lines (max x 80
// bytes); the number written.
uint32_t ArmyPartInfoLines(const ArmeeTyp* part, char* lines, uint32_t max);
