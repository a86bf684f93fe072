// The diplomacy screen (screen code 34, reached from the main screen's DIPL)
// and its contracts: a hub of five sub-screens (view, trade, other
// contracts, cancel, letters) over the received pool's VERT records; the
// lord's answers (offers, calls for offers, acceptances, vassalship offers
// and acceptances, cancellations) go into the outgoing pool's VERT chunk.
// Records and rules: docs/diplomacy.md.
#pragma once
#include <cstdint>

struct ListHeader;
struct ListNode;
struct QoERequester;
struct ScreenRegion;
struct TextFont;
struct MovieBase;
struct Movie;
struct TextCursor;
struct VertragsEintrag;

enum : uint32_t {
  kDiplomatLineSize = 80,      // one line of a list box
  kDiplomatDocSize = 20000,    // the document text buffer
  kVertragAllLords = 0xFFFFFFFFu,
};

// The kinds of a contract record (VertragsEintrag::kind).
enum VertragsArt : uint16_t {
  VERTRAG_ANGEBOT = 0,          // trade offer to one lord
  VERTRAG_FRIEDEN = 1,          // peace offer
  VERTRAG_AUSSCHREIBUNG = 2,    // call for offers to all lords
  VERTRAG_ANNAHME = 3,          // acceptance of a trade offer
  VERTRAG_HANDEL = 4,           // trade contract in force
  VERTRAG_BRUCH = 5,            // cancellation of a trade contract
  VERTRAG_VASALL_ANGEBOT = 6,   // vassalship offer
  VERTRAG_VASALL_ANNAHME = 7,   // vassalship acceptance
  VERTRAG_VASALL = 8,           // vassalship in force
  VERTRAG_VASALL_ENDE = 10,     // cancellation of a vassalship
};

// The line lists of AllocVertragList.
enum : uint32_t { VLIST_VIEW = 1, VLIST_OFFERS = 2, VLIST_OTHER = 3, VLIST_CANCEL = 4 };

// The layouts by index (DiplomatScreenLoadRegion).
enum : uint32_t {
  DIPL_LAYOUT_MAIN = 0, DIPL_LAYOUT_VIEW = 1, DIPL_LAYOUT_TRADE = 2, DIPL_LAYOUT_OTHER = 3,
  DIPL_LAYOUT_CANCEL = 4, DIPL_LAYOUT_LETTERS = 5, DIPL_LAYOUT_COUNT = 6,
};
struct DiplomatLayout {
  const char* file;   // in .\Data\Screendat\ .
  uint32_t mask;      // GetScreenRegion's record-type mask
  uint32_t picture;   // the background picture
};
const DiplomatLayout* DiplomatScreenLayouts();

// The screen's record of one visit (allocated cleared).
struct DiplomatScreenData {
  uint32_t mode;             // 0 the players, ~0 the senders (toggled by NOT)
  uint32_t noOffers;         // the line list is the single line 1232
  uint32_t noPlayerList;     // the player list is the single line 705
  uint32_t tradeBuildings;   // the active town has a trade registry and a marketplace
  int16_t selPlayer;         // selected line of the left box, -1 none
  int16_t selGoods;          // selected line of the goods or document box, -1 none
  uint32_t turns, amount, price, maximum;  // the trade form
  uint32_t corn;             // KORN +22
  uint32_t stepCounters[6];
  uint16_t ticks;
  ScreenRegion* layout;
  TextFont* fontList;        // XHelvetica11
  TextFont* fontDoc;         // TopaZ
  TextFont* fontTitle;       // ElmorC1
  QoERequester* playerReq;   // the left list box
  char* playerLines;         // 80-byte lines of the player names
  ListHeader* playerList;    // type 1
  uint32_t playerCount;      // lines in playerLines
  QoERequester* goodsReq;
  char* goodsLines;
  char* offerLines;
  ListHeader* goodsList;     // type 7
  uint16_t goodsCount;
  char* contractLines;       // 80-byte lines of the contract list
  ListHeader* contractList;  // type 9, the received records
  uint16_t contractLineCount;  // lines written (0: the single line 1232)
  uint32_t contractsRead;    // the received records were read whole (so they may be written back)
  ListNode* selOffer;        // the chosen received contract
  QoERequester* docReq;      // the document box
  char* docText;             // its text (kDiplomatDocSize)
  char* vassalLines;         // the vassal sub-screen's document lines
  uint16_t letterIndex;
  ListHeader* letterList;    // type 21
  MovieBase* movieBase;
  Movie* goodsMovie;
  TextCursor* textCursor;
  uint32_t picture;          // the background picture open now, 0 none
};

// ---- the screen -------------------------------------------------------------

// Runs the screen: 2 (the main screen), or -1 after a failure.
int32_t DiplomatScreen(int32_t entry_code);
// Corn (KORN +22) and the trade buildings of the active town, when the game
// is installed; 1, or 0 (logged) when KORN or the town cannot be read.
int32_t ReadDiplomatScreenData(DiplomatScreenData* d);
// Frees the current layout, loads layout index, draws its gadgets and labels.
int32_t DiplomatScreenLoadRegion(DiplomatScreenData* d, uint32_t index);
// Opens sound effect 125; 1 or 0.
int32_t DiplomatScreenLoadSfx(DiplomatScreenData* d);
// The player list of .\Data\SpielerList.qoe sorted by name and its lines;
// one line 705 and noPlayerList when the file is missing or empty. 1 or 0.
int32_t AllocSpielerList(DiplomatScreenData* d);
void FreeSpielerList(DiplomatScreenData* d);
// Shows count lines in the left box (rectangles 0/1, or 8/9 for mode 5);
// no lines free the box. 1, or 0 when the box cannot be made.
int32_t UpdateSpielerRequester(DiplomatScreenData* d, uint32_t count, const char* lines, uint32_t mode);
// The sub-screens: 0, or -1 after a failure.
int32_t DiplomatScreenViewContracts(DiplomatScreenData* d);
int32_t DiplomatScreenDeleteContracts(DiplomatScreenData* d);
int32_t DiplomatScreenOtherContracts(DiplomatScreenData* d);

// ---- contracts --------------------------------------------------------------

// Catalog ID of the label that starts a list line of the kind, 0 none.
uint32_t VertragsArtLabel(uint32_t kind);
// Builds (first call) or recounts the contract list from the received pool
// and makes the line list of a mode (VLIST_*). 1, or 0 (logged).
int32_t AllocVertragList(DiplomatScreenData* d, uint32_t mode);
// Writes the list back into the received pool (or removes its VERT) and
// frees it and the lines. 1, or 0 when the pool could not be written.
int32_t FreeVertragList(DiplomatScreenData* d);
// The document of a record into out (size bytes, always terminated):
// letters, the deed, the breach notice; empty for other kinds. Returns the
// text's length.
uint32_t VertragDokument(const VertragsEintrag* v, uint32_t own_id, const char* own_name, char* out,
                         uint32_t size);
// Mode 1, 2, 4: the document of the line selPlayer in docReq; mode 3: the
// vassal lines of the selected sender in the document box. 1, or 0.
int32_t InitDokRequester(DiplomatScreenData* d, uint32_t mode);
// The vassal sub-screen's document lines (80 bytes each, new block), their
// number in *count.
char* VassalDokLines(DiplomatScreenData* d, uint32_t* count);
// Makes one record of the kind and adds it to the outgoing pool's VERT
// chunk. 1, or 0 after a failure of memory or of the pool (nothing changed).
int32_t SendVertrag(DiplomatScreenData* d, uint32_t kind);
// The outgoing pool's VERT records into list; 1 (also without VERT), 0.
int32_t MergeVertragChunk(ListHeader* list);
// Cancels the contract of line selPlayer (after the lord's yes). 1, or 0.
int32_t DiplomatScreenDeleteContracts_SendCancel(DiplomatScreenData* d);
// Switches the other-contracts sub-screen between players and senders.
void ChangeOtherContractModus(DiplomatScreenData* d);
// The node of the contract list at index (null past the end).
ListNode* VertragNodeAt(DiplomatScreenData* d, uint32_t index);

// ---- seams ------------------------------------------------------------------

// Every message and question of the screen (ChiefMessage mode 0 or 1 with
// picture 66 at 168, 180, pen 7): 0 when the lord confirms. A hook (tests)
// takes their place; null restores the boxes.
typedef uint32_t (*DiplomatMessageHook)(uint32_t mode, const char* text);
void SetDiplomatMessageHook(DiplomatMessageHook hook);
uint32_t DiplomatMessage(uint32_t mode, const char* text);
// The time stamp of new records (seconds since 1970); null: the clock.
void SetVertragClock(uint32_t (*clock)());
// Both seams back to their start.
void ResetDiplomatModuleState();
