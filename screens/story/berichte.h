// The reports screen (screen code 33, entered from the main screen and
// returning to it): six advisers' reports on the last turn (people, corn,
// buildings, taxes, research, trade), each written as prose around the
// numbers of the received turn and shown in one scrolling text box. The
// screen only reads; it changes no file.
//
// Each report is built by a pure text builder over chunks in host order (as
// LoadChunk2Mem gives them); a builder reads a chunk only inside its length.
#pragma once
#include <cstdint>

struct ListHeader;
struct QoERequester;
struct ScreenRegion;
struct TextFont;

constexpr uint32_t kBerichtBufferSize = 10000;   // the text of one report (the trade report sizes its own)
constexpr uint32_t kBerichtZahlSize = 20;        // FormatBerichtZahl's buffer
constexpr uint32_t kBerichtTradeLimit = 4u << 20;  // the trade report's buffer never grows past this

// The screen's record of one visit (allocated cleared).
struct BerichteData {
  uint8_t leave;           // 1 ends the loop
  TextFont* textFont;      // XHelvetica11 (the reports)
  ScreenRegion* region;    // the layout (owned by the screen's skeleton)
  QoERequester* req;       // the shown report, null none
};

// value in decimal, preceded by two blanks for each digit it has less than
// width (a blank is half a digit wide in the proportional font); cut to fit
// the 20-byte buffer.
void FormatBerichtZahl(char* out, uint32_t value, uint32_t width);

// The reports as text. Each writes a terminated text of at most size - 1
// bytes into out and returns 1, or 0 (out holds the missing-data text) when
// the chunk it needs is null or too short; the tax report takes TAXE null
// for a turn without one (its text then says so).
int32_t MakeContryReport(const uint8_t* land, char* out, uint32_t size);
int32_t MakeCornReport(const uint8_t* korn, char* out, uint32_t size);
int32_t MakeResearchReport(const uint8_t* fors, char* out, uint32_t size);
int32_t MakeTaxesReport(const uint8_t* land, const uint8_t* taxe, char* out, uint32_t size);
int32_t MakeBuildingReport(const uint8_t* geba, char* out, uint32_t size);
// The buildings report's name of a building kind: the singular for a count
// of 1, else the plural; null for a kind without a name. No two kinds share
// a name.
const char* BuildingReportName(uint32_t kind, uint32_t count);
// The trade report over the received WARE chunk (null: no trade) and the
// player list (null: names unknown), the own player's ID and name; a new
// text (FreeVec), null only when memory runs out.
char* MakeTradeReport(const uint8_t* ware, ListHeader* players, uint32_t own_id, const char* own_name);

// Build one report from the turn's files and show it in the screen's text
// box (the previous box freed first); 1, or 0 when its chunk, the box or the
// slider is missing (logged). Nothing happens unless the account is
// installed (prefs field 0 is 2).
int32_t ShowContryData(BerichteData* d);
int32_t ShowContryData2(BerichteData* d);
int32_t ShowBuildingData(BerichteData* d);
int32_t ShowTaxesData(BerichteData* d);
int32_t ShowResearchData(BerichteData* d);
int32_t ShowTradeData(BerichteData* d);

// The title plaque (graphic 283), the waterfall's sound (168).
int32_t LoadBerichteScreenGfx();
void FreeBerichteScreenGfx();
int32_t LoadBerichteScreenSfx();
void FreeBerichteScreenSfx();

// Runs the reports screen: 2, or -1 when it cannot be set up.
int32_t BerichteScreen(int32_t entry_code);
