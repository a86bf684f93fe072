// The market's record of one visit and its lists: the stock requester
// (purchase), the offers of other players, the own sale offers, the goods
// picture, the fixed texts and number areas. The market screen (screen code
// 108) is built on these. Rules and places: docs/market.md.
#pragma once
#include <cstdint>

#include "routinen/gamedata/goods.h"

struct ListHeader;
struct WarenListenEntry;
struct QoERequester;
struct TextFont;
struct MovieBase;
struct Movie;
struct st_TOWN;

// Requesters of the market.
enum : uint32_t { HANDEL_KAUF = 0, HANDEL_FREMD = 1, HANDEL_EIGEN = 2 };

// The market record of one visit (NewHandelsData; FreeHandelsData).
struct HandelsData {
  uint16_t ticks;             // timer ticks since the last plus or minus click
  uint16_t abgabe;            // market levy t (TAXE +22 of the received turn, at most 65,535)
  uint32_t schatz;            // treasury in gold coins (LAND +34), lowered by purchases
  uint32_t kornLager;         // corn in the granaries (KORN +22)
  uint64_t kornKapazitaet;    // granary capacity
  uint64_t gebotSumme;        // sum of bid quantity x bid price over the own bids
  uint32_t warenAnzahl;       // goods types on this turn's market, only on its first visit; else -1
  int32_t werte[3];           // V1, V2, V3 (prefs fields 21..23)
  uint16_t wiederholung[10];  // repeat counters of the plus and minus buttons
  uint32_t kaufMenge, kaufPreis, kaufMax;  // the chosen stock line (kaufMenge -1: none)
  int16_t kaufAuswahl;        // selected line of requester 1, -1 none
  uint32_t gebotMenge, gebotPreis, angebotMenge, angebotPreis;  // the chosen offer of another player
  int16_t angebotTyp;         // its goods type, -1 none
  int16_t angebotAuswahl;     // selected line of requester 2, -1 none
  WarenListenEntry* angebotNode;
  uint32_t verkaufMenge, verkaufMax, verkaufPreis;  // the sale being prepared
  int16_t verkaufTyp;         // its goods type, -1 none
  int16_t verkaufAuswahl;     // selected line of requester 3, -1 none (a new sale)
  WarenListenEntry* verkaufNode;
  TextFont* font11;           // fonts\XHelvetica11.fnt
  TextFont* font9;            // fonts\XHelvetica9.fnt
  QoERequester* req[3];       // purchase, offers of others, own sale offers
  // Line buffers (80-byte lines): requester 1's names, quantities, prices
  // and the goods type of each line; requester 2's modes 1..4; requester 3.
  char* kaufZeilen[3];
  uint32_t kaufAnzahl;
  uint8_t kaufTyp[WAREN_ANZAHL];
  char* fremdZeilen[4];
  uint32_t fremdAnzahl;
  char* eigenZeilen;
  uint32_t eigenAnzahl;
  // The market stock of the turn (.\Data\Waren.dat) and what its rule reads.
  WarenMarkt markt;
  int32_t marktGeladen;       // 1 once the stock is in memory
  // The stock's damaged records (PruefeWarenMarkt): not offered (0 in markt),
  // their bytes as read kept in marktRoh and written back unchanged.
  uint8_t marktDefekt[WAREN_ANZAHL];
  uint32_t marktDefektAnzahl;
  WarenMarkt marktRoh;
  WarenMarktDaten marktDaten;
  uint8_t* land;              // chunks as read (FreeChunk); null when absent
  uint8_t* fors;
  uint8_t* ware;
  uint8_t* antw;
  ListHeader* warenListe;     // list type 7
  ListHeader* spielerListe;   // list type 1 from the ANTW chunk, null none
  MovieBase* movieBase;
  Movie* movie;               // the goods animation shown
  st_TOWN* stadt;             // the active town, null none
  uint32_t gelesen;           // 1 once the turn's data were read (account state 2): only then OKOK writes
  uint32_t lagerDefekt;       // 1 when the goods store (WarenChunk.qoe) could not be read: no order, nothing written
};

// A new cleared record with the selections, the sale and offer types and
// the goods count at -1 and no purchase chosen; null without memory.
HandelsData* NewHandelsData();
// Frees everything the record holds (the goods animation stopped, the
// requesters 3, 2, 1 and their lines, chunks, lists, fonts, town, movie
// base) and the record. Null is ignored.
void FreeHandelsData(HandelsData* d);
// Frees requester `which` and its line buffers.
void FreeHandelsRequester(HandelsData* d, uint32_t which);

// The n-th node (from 0) of the kind in the goods list; null (logged) when
// there is none.
WarenListenEntry* GetWarenNode(HandelsData* d, uint32_t n, uint16_t kind);
// Mode 0 (stock): makes sure the turn's stock is in memory (loaded, or
// built from the record's realm values and saved) and fills the purchase
// lines (names in type order, the goods type of each line, two cleared
// buffers for quantities and prices); returns the number of types on offer.
// Modes 1..5: the lines of MakeWarenLines into *buffer (the old one freed
// first); returns their number. *buffer may be null in mode 0.
uint32_t CreateWarenReqListBuffer(HandelsData* d, uint32_t mode, char** buffer);

// The requesters: made the first time, later given new lines keeping their
// scroll position and slider. 1 success, 0 failure (logged).
int32_t InitHandelsWarenRequester(HandelsData* d);
int32_t CheckVerkaufsRequester(HandelsData* d);
int32_t CheckVerkaufsRequester3(HandelsData* d);

// Selection of an own-drawn line (requester 1 or 2) under screen y: the
// line's index, the old one drawn plain and the new one highlighted; a
// click on the selected line keeps it; -1 outside the lines (the selection
// stays). The record's selection field follows.
int32_t SelectHandelsZeile(HandelsData* d, uint32_t which, int32_t y);
// Takes the highlight off requester which's line (after scrolling) and
// clears the record's selection.
void ClearHandelsZeile(HandelsData* d, uint32_t which);

// The goods picture at (16, 16), 160 x 120: the type's animation, or its
// picture when there is none; a type without picture stops the animation.
void ShowWarenBild(HandelsData* d, uint32_t type);
// Taking an offer of another player (line of requester 2): the node, or
// null (logged). In cancel mode the own bid on it is taken back.
WarenListenEntry* GetMarktNode(HandelsData* d, uint32_t line, int32_t cancel);
// Taking an own offer (the line of the requester 3 selection): 1, or 0
// when there is no selection or no such node.
int32_t GetVerkaufsNode(HandelsData* d, uint32_t line);
// The sale fields (text and the two boxes) and the purchase quantity box.
void DrawVerkaufsFelder(HandelsData* d);
void DrawKaufFeld(HandelsData* d);

// The fixed texts of the screen. 1, or 0 when a font cannot be opened.
int32_t SetHandelLocaleStrings();
// One number area: 1 purchase quantity, 2 sale quantity, 3 sale price,
// 4 bid quantity, 5 bid price, 6 the treasury with its picture of gold
// (341 below 10,000, 342 below 100,000, else 343). 1, or 0 when the font
// cannot be opened; other areas draw nothing.
int32_t SetHandelZahlenStrings(uint32_t which, uint32_t value);
// Picture of gold shown with a treasury.
uint32_t SchatzBild(uint32_t value);

// The two bid boxes with the record's bid quantity and price.
void DrawGebotFelder(HandelsData* d);

// ---- the market screen (code 108, handel.cpp) ----

// The screen: 39 (the town view) after OKOK or EXIT, -1 when it cannot start.
int32_t HandelsScreen(int32_t entry_code);
// The turn's LAND (outgoing pool, else received), FORS and TAXE (received),
// KORN (outgoing, else received), the goods list file, the player list,
// the active town and V1..V3. Nothing read (1) unless the account state is
// 2. 0 (logged) when LAND or KORN is missing or too short, or a chunk that
// is there cannot be loaded.
int32_t ReadHandelsScreenData(HandelsData* d);
// Writes KORN +22 and LAND +34 (and TAXE +58 on the turn's first visit
// with building 49) into the outgoing pool, .\Data\WarenChunk.qoe and
// .\Data\Waren.dat through one FileSet: all or none. 1 also when nothing
// was read (nothing written); 0 (logged) on any failure.
int32_t WriteHandelsScreenData(HandelsData* d);
// Movie base, goods list (scanned from the WARE chunk), bid total, fonts,
// the fixed texts and the treasury. 1 or 0 (logged).
int32_t InitAllThingsHandel(HandelsData* d);
// Sound effects 39 to 44; 1 or 0 (what was opened is closed again).
int32_t LoadHandelScreenSfx();
void CloseHandelScreenSfx();

// Results of the market's operations (the screen shows the refusals).
enum : int32_t { HANDEL_FEHLER = -1, HANDEL_ABGELEHNT = 0, HANDEL_ERLEDIGT = 1, HANDEL_REST = 2 };

// Buys the purchase quantity of the selected stock line (the question was
// confirmed): HANDEL_ABGELEHNT when quantity x price (64 bits) exceeds the
// treasury; the stock, the treasury and the store change together. The
// purchase field is cleared in every case.
int32_t MakeNewWarenNode(HandelsData* d);
// Places the bid on the chosen offer: HANDEL_ABGELEHNT when the treasury is
// below the bid, or below the other bids plus this one (64 bits).
int32_t SetAngebot2Node(HandelsData* d);
// Makes a new sale offer or changes the selected one (OK20).
int32_t MakeVerkauf(HandelsData* d);
// Withdraws the selected own offer: HANDEL_ERLEDIGT (the offer is gone),
// HANDEL_REST (corn beyond the free granary space stays on the market),
// HANDEL_FEHLER (no offer, or the store could not take the goods).
int32_t DeleteWareFromList(HandelsData* d);
// The goods for a new sale: line 0 corn (up to the grain store), line k the
// k-th store node. 1, or 0 for no such line.
int32_t ChooseVerkaufsWare(HandelsData* d, uint32_t line);

// The ten plus and minus buttons, in this order.
enum : uint32_t {
  HK_KAUF_MINUS, HK_KAUF_PLUS, HK_GEBOT_MENGE_MINUS, HK_GEBOT_MENGE_PLUS, HK_GEBOT_PREIS_MINUS,
  HK_GEBOT_PREIS_PLUS, HK_VERKAUF_MENGE_MINUS, HK_VERKAUF_MENGE_PLUS, HK_VERKAUF_PREIS_MINUS,
  HK_VERKAUF_PREIS_PLUS, HK_ANZAHL
};
// One click of a button: its repeat counter rises (the other buttons of
// its area start again), the steps of the counter are applied within the
// field's bounds, the tick counter is zeroed and the field redrawn.
void HandelKnopf(HandelsData* d, uint32_t button);
// One tick: after more than 10 ticks the repeat counters start again.
void HandelTick(HandelsData* d);
// The steps of a click with repeat count n (1..): their count, into steps.
uint32_t HandelSchritte(uint32_t n, uint32_t steps[3]);
// A typed value for BOX1..BOX5 (1 purchase quantity, 2 sale quantity, 3
// sale price, 4 bid quantity, 5 bid price) stored within its bounds;
// negative values count as 0.
void HandelEingabe(HandelsData* d, uint32_t box, int64_t value);
