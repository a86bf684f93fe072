// The main screen (the residence, screen codes 2 and 1139): the hub of the
// turn cycle. Its status marks, the old-turn offer, the tutorial and tips,
// the choice of the screen after a download, and every gadget leading to
// the realm's other screens.
#pragma once
#include <cstdint>

struct BitMap;
struct MovieBase;
struct Movie;

// The residence record of one visit.
struct ResidenzData {
  uint32_t downloaded;         // 1 once a turn was fetched during this visit
  uint32_t buildingsReceived;  // 1 when the received pool holds GEBA
  uint16_t accountState;       // prefs field 0
  uint16_t ambientSfx;         // ambient sound now playing, 0 none
  uint8_t kornByte40;          // received KORN +40 (the weather)
  uint8_t researchOrder;       // received FORS +12, 0 none
  uint16_t quarter;            // received KORN +16
  uint32_t seedStore, granary, kornValue42, kornValue46;  // outgoing KORN +18, +26, +42, +46
  uint32_t taxRate;            // outgoing TAXE +12
  BitMap* uploadMarkBackground;  // screen at (448, 384), 52 x 43
  BitMap* infoMarkBackground;    // screen at (16, 439), 32 x 37
  MovieBase* movieBase;
  Movie* alchemist;
  Movie* scribe;
  // Which saved background is still to be restored (each only once).
  uint8_t uploadMarkShown, infoMarkShown;
};

// Runs the main screen; the next ScreenCode, -1 when it cannot be built.
int32_t ResidenzScreen(int32_t entry_code);

// Account state and the realm's values; 1, or 0 when a chunk the pools
// announce does not load.
int32_t ReadResidenzScreenData(ResidenzData* data);
// The INFO mark at (16, 439) (graphic 1082 while INFO flags bit 0 is clear).
void ReadResidenzInfoData(ResidenzData* data);
// The upload mark at (448, 384) from prefs field 15 (graphics 1034-1036).
void ShowResidenzUploadState(ResidenzData* data);
// The screen after a download: 499 anarchy, 876 coronation, a story, or -1.
// The coronation screen clears the mark (1 to 0) so it is shown once.
int32_t ResidenzEvents();
// Offers a new download once per run when the last turn is over a day old;
// 1 when it fetched a turn.
int32_t CheckOldTurn(ResidenzData* data);
// One tutorial step (prefs field 30, 0..17; 18 ends it) and one tip.
void ShowTutorial(ResidenzData* data);
void ShowResidenzTip(ResidenzData* data);
// The ambient sounds, the alchemist and scribe movies, the screen's sound 125.
void PlayResidenzAmbientSfx(ResidenzData* data);
int32_t InitResidenzAnims(ResidenzData* data);
void FreeResidenzAnims(ResidenzData* data);
int32_t LoadResidenzScreenSfx();
void CloseResidenzScreenSfx();

// The turn download (DOWN): given the two movies, 1 when a turn was fetched
// and evaluated. Until the download module installs it, DOWN says that no
// turn could be fetched. Null restores that.
using ResidenzDownloadFunc = int32_t (*)(Movie* alchemist, Movie* scribe);
void SetResidenzDownload(ResidenzDownloadFunc download);
