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
  uint32_t turns, amount, price;  // the trade form: quarters (1..65535), units and gold per quarter
  uint64_t maximum;          // what amount x turns may reach (the stock, or a received offer's total)
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
int32_t DiplomatScreenTradeContracts(DiplomatScreenData* d);
int32_t DiplomatScreenBotschaften(DiplomatScreenData* d);

// ---- the trade form (own offers, received offers) ---------------------------

enum : uint32_t { kTradeTurnsMax = 65535 };
// The arrows: which value StepTradeContractValue steps.
enum : uint32_t {
  TRADE_TURNS_DOWN = 0, TRADE_TURNS_UP = 1, TRADE_AMOUNT_DOWN = 2, TRADE_AMOUNT_UP = 3,
  TRADE_PRICE_DOWN = 4, TRADE_PRICE_UP = 5,
};
// The value fields of the form's layout, in this order.
enum : uint32_t { TRADE_FIELD_TURNS = 0, TRADE_FIELD_AMOUNT = 1, TRADE_FIELD_PRICE = 2, TRADE_FIELD_STOCK = 3 };
// Mode 2 only: the movie base, no selections, maximum 1, the form at 1
// quarter, 1 unit, 0 gold, the heading. 1, or 0 (logged).
int32_t InitAllThingsDiplomatie(DiplomatScreenData* d, uint32_t mode);
// The goods lines (corn first when there is corn, then the store's kind-5
// records of .\Data\WarenChunk.qoe) and their box. 1, or 0 (logged).
int32_t InitWarenRequester(DiplomatScreenData* d);
// delta -1 or +1 is one arrow press (with its message 940 in the own-offer
// state), 0 only clamps and prints, any other value is added. Every result
// is clamped: turns 1..65535, amount x turns never above maximum, all
// products in 64 bits; printed when the form is on the screen.
void ChangeTradeContractTurns(DiplomatScreenData* d, int64_t delta);
void ChangeTradeContractAmount(DiplomatScreenData* d, int64_t delta);
void ChangeTradeContractPrice(DiplomatScreenData* d, int64_t delta);
// One press of an arrow (TRADE_*), accelerating: 1 per press, from the 21st
// press 10, from the 41st 110, from the 61st 1110; nothing in the
// received-offers state.
void StepTradeContractValue(DiplomatScreenData* d, uint32_t which);
// One timer tick: after more than 10 ticks without a press the arrows start
// again at 1.
void TradeContractTick(DiplomatScreenData* d);
// Typed entry of a value field (TRADE_FIELD_TURNS, _AMOUNT, _PRICE) on the
// screen; Enter takes it, Escape keeps the old value.
void EnterTradeContractValue(DiplomatScreenData* d, uint32_t field);
// A typed text read as the entry reads it: blanks skipped, "" or a negative
// number 0, digits beyond limit give limit, anything after the digits ignored.
uint32_t ParseTradeContractValue(const char* text, uint32_t limit);
// Applies a typed value to the field as the entry does (bounded to the
// maximum and to 1..65535 quarters).
void ApplyTradeContractValue(DiplomatScreenData* d, uint32_t field, uint32_t value);
// Applies the selected goods line (own offer: the goods and its stock;
// received: the offer's values). Goods with a stock of 0 change nothing. 1.
int32_t SetWarenWerte(DiplomatScreenData* d);
// Switches between the own-offer and the received-offers state.
void ChangeTradeContractModus(DiplomatScreenData* d);
// The offers of the selected sender in the goods box, the first applied.
int32_t AllocVertragsAngebotList(DiplomatScreenData* d);
// Clears both selections and the form (1 quarter, 0 units, 0 gold).
void ResetTradeContract(DiplomatScreenData* d);

// ---- the letters --------------------------------------------------------------

// A letter to the lord chosen in the player list through the tavern's editor
// (only with an installed game; 1324 when no lord is chosen).
void DiplomatScreenBotschaften_Write(DiplomatScreenData* d);
// Shows a letter: gadget "CH40" the current one, "LE40" the previous, "RE40"
// the next (wrapping round), with a lord chosen only his letters. The first
// call of a visit fetches (game-server route, asked) and reads
// .\Data\MailIn, newest first. 1 when a letter was shown.
int32_t DiplomatScreenBotschaften_Read(DiplomatScreenData* d, const char* gadget);
// Deletes the letter shown (its file, only inside .\Data\MailIn) and shows
// the one now at its place.
void DiplomatScreenBotschaften_Delete(DiplomatScreenData* d);

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
