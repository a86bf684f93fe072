// The specialists screen (screen code 38, reached from the main screen's
// SPEC): the realm's specialists of the SPEZ chunk in two boxes, the free
// ones and the hired ones, one specialist's values, hiring a free one into
// the active town and dismissing a hired one; OK writes the outgoing SPEZ
// and the town's cleric figures of .\Data\MapPrefs.qoe together. The rules
// without a screen are the model functions below. Rules: docs/specialists.md.
#pragma once
#include <cstdint>

struct ListHeader;
struct QoERequester;
struct ScreenRegion;
struct SpezialistEintrag;
struct TextFont;
struct st_TOWN;

enum : uint32_t {
  kSpezHired = 5,        // state of a hired specialist (below: free)
  kSpezDismissed = 4,    // state after a dismissal
  kSpezClericFigure = 12,  // the figure type of a hired specialist
};

// ---- The model -----------------------------------------------------------------

// True when the specialist is hired into the town at (x, y): both his X and
// his Y are the town's.
bool SpezialistInTown(const SpezialistEintrag* s, uint32_t x, uint32_t y);
// Entry `entry` of a box: the entry-th specialist (list order) of the free
// (hired 0: state below 5) or the hired box (state 5); null past the end.
SpezialistEintrag* SpezialistOfBox(ListHeader* list, int32_t hired, int32_t entry);
// How many specialists each box holds.
uint32_t SpezialistenInBox(ListHeader* list, int32_t hired);
// What MoveSpezialistInList did.
enum : int32_t { SPEZ_MOVE_NONE = 0, SPEZ_MOVE_DONE = 1, SPEZ_MOVE_ELSEWHERE = 2 };
// Hire (1): free entry `entry` gets state 5, the town's position and the own
// player as owner. Dismiss (0): hired entry `entry` gets state 4 when he is
// in the town (SpezialistInTown; he keeps its position), else nothing
// changes (SPEZ_MOVE_ELSEWHERE). SPEZ_MOVE_NONE when there is no such entry.
int32_t MoveSpezialistInList(ListHeader* list, int32_t hire, int32_t entry, uint32_t town_x, uint32_t town_y,
                             uint32_t own);
// The town's cleric figures in the figure list (MOVE_EXT nodes): a hired
// specialist whose figure (his record's number) is still an own type 12
// figure on the map keeps it and its number, wherever it stands; the own
// type 12 figures on the town's field that no hired specialist keeps go (a
// dismissed one's); a specialist hired into the town without such a figure
// gets a new one on the town's field, its number stored in him. Another
// lord's figures stay. *changed (may be null) is 1 when a figure came or
// went. 1, or 0 when no figure number is free or memory runs out.
int32_t SpezialistenFiguresOfTown(ListHeader* specialists, ListHeader* figures, uint32_t town_x, uint32_t town_y,
                                  uint32_t own, int32_t* changed);
// Writes the outgoing pool's SPEZ (removed when the list is empty) and
// .\Data\MapPrefs.qoe with the town's cleric figures (only when a figure
// came or went), through one FileSet: both or neither. 1, or 0 (logged)
// when nothing was written.
int32_t SpezialistenWriteFiles(ListHeader* specialists, uint32_t town_x, uint32_t town_y, uint32_t own);

// ---- The screen ----------------------------------------------------------------

// One box of the screen: its owner and which box it is (0 free, 1 hired).
struct SpezialistenScreenData;
struct SpezBox {
  SpezialistenScreenData* d;
  uint32_t hired;
};

// One visit of the screen (allocated cleared, freed on leaving).
struct SpezialistenScreenData {
  int32_t quit;
  uint32_t emptyFree, emptyHired;  // the box has no specialist (one line "nobody")
  uint16_t countFree, countHired;  // lines in the boxes
  int16_t selFree, selHired;       // the selected line, -1 none
  char* lines[2][3];               // per box: names, types, wages (count x 80 bytes)
  TextFont* fontTitle;             // fonts\ElmorC1.fnt
  TextFont* fontList;              // fonts\XHelvetica11.fnt
  TextFont* fontSmall;             // fonts\XHelvetica9.fnt
  ScreenRegion* layout;            // .\Data\ScreenDat\Spezialisten.dat
  ListHeader* list;                // the specialists (type 15)
  QoERequester* boxFree;
  QoERequester* boxHired;
  st_TOWN* town;                   // the active town
  SpezBox boxes[2];
  // Why .\Data\MapPrefs.qoe cannot be used (LoadFigureFile: damaged, or
  // missing in an installed game; 0 it can): told as the screen opens;
  // hiring and dismissing (which move clerics) are refused, and nothing is
  // written.
  uint32_t figuresDamaged;
};

// The screen: returns 2 (the main screen) or -1 when it cannot start.
int32_t SpezialistenScreen(int32_t entry);
// The SPEZ of the outgoing pool, else of the received one, into the list,
// the active town, and whether the figure file can be used. 1, or 0 when a SPEZ cannot be read or the town is
// missing (the list is made and filled as far as it could be).
int32_t SpezialistenScreenLoadData(SpezialistenScreenData* d);
// The layout, its captions and both boxes. 1 or 0.
int32_t SpezialistenScreenInitAllThings(SpezialistenScreenData* d);
// OK: SpezialistenWriteFiles for the active town; 1 or 0 (told). With a
// figure file that cannot be used nothing is written (0, logged).
int32_t SpezialistenScreenWriteData(SpezialistenScreenData* d);
void SpezialistenScreenFreeAllThings(SpezialistenScreenData* d);
void SpezialistenScreenFreeData(SpezialistenScreenData* d);
// The free (1) and the hired (2) box built or refreshed; 1 or 0.
int32_t InitSpezRequester1(SpezialistenScreenData* d);
int32_t InitSpezRequester2(SpezialistenScreenData* d);
void FreeSpezRequester1(SpezialistenScreenData* d);
void FreeSpezRequester2(SpezialistenScreenData* d);
// The boxes' drawing (data is the box's SpezBox): the type and wage columns
// and the separators; one line marked or plain.
void DrawSpezColumns(QoERequester* box, void* data);
void MarkSpezEntry1(QoERequester* box, void* data, uint32_t entry);
void UnmarkSpezEntry1(QoERequester* box, void* data, uint32_t entry);
void MarkSpezEntry2(QoERequester* box, void* data, uint32_t entry);
void UnmarkSpezEntry2(QoERequester* box, void* data, uint32_t entry);
// The selected specialist's values (from the free box when from_free).
void ShowSpezialist(SpezialistenScreenData* d, int32_t from_free);
// Hires (1) or dismisses (0) the selected specialist; the boxes rebuilt.
void MoveSpezialist(SpezialistenScreenData* d, int32_t hire);
