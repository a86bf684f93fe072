// The statistics screen (screen code 41, entered from the main screen and
// returning to it): line graphs of ten figures of the realm over the turns,
// from the statistics file (routinen/gamedata/statistics.h). The lord moves
// categories from the left list (available) into the right one (chosen),
// switches each chosen line on or off and steps through the time ranges
// over which the turns are averaged. The screen only reads.
#pragma once
#include <cstdint>

#include "routinen/gamedata/statistics.h"

struct BitMap;
struct Gadget;
struct ListHeader;
struct QoERequester;
struct ScreenRegion;
struct TextFont;

constexpr uint32_t kStatistikRanges = 5;
constexpr uint32_t kStatistikMaxPoints = 23;   // the newest points drawn
constexpr uint32_t kStatistikFirstPen = 226;   // the pen of the first chosen category

// The screen's record of one visit (allocated cleared).
struct StatistikData {
  int32_t next;                 // the code the screen leaves with, -1 while it stays
  TextFont* fontA;              // ElmorC1 (title bar; owned by the skeleton)
  TextFont* fontB;              // XHelvetica11 (lists, labels, graph texts)
  TextFont* fontC;              // XHelvetica9 (the legend)
  ScreenRegion* region;         // the layout (owned by the skeleton)
  QoERequester* links;          // available categories
  QoERequester* rechts;         // chosen categories
  char* linesLinks;             // 80-byte lines of the two requesters
  char* linesRechts;
  ListHeader* available;        // StatistikKategorie nodes; null when the file was refused
  ListHeader* chosen;
  StatistikDaten daten;         // the records
  uint32_t countLogged;         // the record count last logged by the graph, plus 1 (0: none yet)
  int32_t datenZustand;         // ReadStatistikDatenTeile: 1 whole, -1 damaged (its whole records kept)
  uint32_t datenVersprochen;    // the records its header promised
  uint32_t range;               // time range 0..4
  int32_t selected;             // selected line of the chosen list, -1 none
  char rangeNames[kStatistikRanges][20];
  BitMap* graphBackground;      // the graph area as the picture has it
  uint8_t held;                 // the left button is down (a press acts once)
};

// The range's records averaged into one point, and the records needed
// before anything is drawn.
uint32_t StatistikPerPoint(uint32_t range);
uint32_t StatistikNeeded(uint32_t range);

// The averages of a category in groups of per records, oldest first (the
// last group may be shorter and is averaged over its own size), in double
// precision: the number of groups; out (may be null) gets at most max of
// the newest groups, oldest of them first.
uint32_t StatistikAverages(const StatistikDaten* s, uint32_t category, uint32_t per, double* out, uint32_t max);

// One point of a curve on the screen.
struct StatistikPoint {
  int32_t x, y;
};
// The curve of a category in the range over the graph area's right and
// bottom edges: newest point first, at most 23; 0 when the file holds
// fewer records than the range needs. A category whose averages are all 0
// lies on the base line (bottom - 14).
uint32_t StatistikCurve(const StatistikDaten* s, uint32_t category, uint32_t range, int32_t right, int32_t bottom,
                        StatistikPoint* out);
// y of value v under the category's largest average m.
int32_t StatistikPlotY(double v, double m, int32_t bottom);

// A chosen category to draw: its index and pen.
struct StatistikLine {
  uint32_t category, pen;
};
// The chosen categories that are on, each with the pen of its position in
// the chosen list (counted whether shown or not); the number written (at
// most 10).
uint32_t StatistikLines(const StatistikData* d, StatistikLine* out);

// Fills the available list with the ten categories in index order, all
// off, and empties the chosen list; 1, or 0 without memory (no lists).
int32_t MakeStatistikLists(StatistikData* d);
// Builds both requesters, saves the graph area and prints the labels; 1 or 0.
int32_t InitStatistikRequester(StatistikData* d);
void UpdateStatistikRequesterLinks(StatistikData* d);
void UpdateStatistikRequesterRechts(StatistikData* d);
void DrawStatistikGraph(StatistikData* d);
void ShowStatistikLegende(StatistikData* d);
// Acts on a gadget of the screen other than INFO and EXIT (BACK, FORW,
// LAST, OK01, XX01, INFB); the legend passes its FORW, OK01 and XX01 here.
void StatistikGadget(StatistikData* d, const Gadget* g);

// Runs the statistics screen: 2, or -1 when it cannot be set up.
int32_t StatistikScreen(int32_t entry_code);
