// The gadget census of scripted runs (the screens' random walks): which
// layout gadgets and list boxes the game offered to the player, and which of
// them a click chose. Off unless a scripted run turns it on.
#pragma once
#include <cstdint>

struct ScreenRegion;
struct Gadget;
struct QoERequester;

void SetGadgetCensus(int32_t on);
// The layout module and the gadget handling report here.
void CensusRegionLoaded(ScreenRegion* region, const char* path);
void CensusRegionFreed(ScreenRegion* region);
void CensusRegionHandled(ScreenRegion* region, const Gadget* chosen);
void CensusRequesterShown(QoERequester* req);
void CensusRequesterFreed(QoERequester* req);
// A message box waits for its answer (1) or was answered (0).
void CensusMessageBoxWaiting(int32_t waiting);
// 1 while a message box waits: it takes every event, so what the targets
// offer beneath it cannot be chosen.
int32_t CensusMessageBoxWaits();

// What a click may choose now: the gadgets of the layouts the game handled
// last and the list boxes on the screen, in game-area coordinates.
struct CensusTarget {
  int32_t x1, y1, x2, y2;  // inclusive
  uint32_t hit;            // 1 once chosen
  char id[5];              // the gadget's ID, "LIST" for a list box
  uint32_t age;            // handling rounds since its layout was handled (0: the last; list boxes 0)
};
uint32_t CensusTargets(CensusTarget* out, uint32_t max);
// Target index of the last CensusTargets list was clicked (a list box counts
// as chosen by the click; a gadget when its handling returned it).
void CensusClicked(uint32_t index);
// Logs every gadget offered, hit or not, and the counts ("Gadgets: ...").
void LogGadgetCensus(uint64_t seed);
