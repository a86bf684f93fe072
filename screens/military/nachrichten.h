// The news screen (screen code 36, reached from the main screen's REPO) and
// its battle reports: the letter to the lord about one fight of the last
// quarter, built from catalog texts, the grades of losses and damage, the
// paging through a tab, the small map centred on the fight, and the battle
// picture (schlacht.h). Rules: docs/battle-reports.md.
#pragma once
#include <cstdint>

struct KriegsEintrag;
struct QoEMapInfo;
struct QoERequester;
struct ScreenRegion;
struct TextFont;

// The three tabs: battles on land (kinds 0..2), fights for towns (3, 4),
// fights at sea (5..8).
enum : uint32_t { NEWS_TAB_LAND = 0, NEWS_TAB_TOWNS = 1, NEWS_TAB_SEA = 2 };
// Size of the report's text buffer.
constexpr uint32_t kReportTextSize = 10000;

// The catalog text of an ID, and a lord's name by player ID (into a buffer
// of 40 bytes); the screen passes GetCatalogStr and GetPlayerName, the
// tests their own.
typedef const char* (*ReportTextFn)(uint32_t id);
typedef void (*ReportNameFn)(uint32_t player, char* name);

// What a report shows besides its text.
struct BattleReportInfo {
  uint32_t count;      // fights of the tab
  uint32_t found;      // 1 when a fight was taken (record holds it)
  uint32_t picture;    // 1 when it has a battle picture
};

// True when a fight of that kind belongs to the tab.
bool KriegsInTab(uint32_t kind, uint32_t tab);
// The index wrapped into 0..count-1 (below 0 the last, at or past count the
// first; 0 for count 0).
int16_t WrapReportIndex(int32_t index, uint32_t count);
// Catalog IDs of the grades: the land grade of a depletion (915 light, 916
// normal, 914 severe), the casualties of dead and survivors (917..923), the
// sea grade and the ship's damage of damage a and ship class b.
uint32_t LandGrade(uint32_t depletion);
uint32_t CasualtyGrade(uint32_t dead, uint32_t alive);
uint32_t SeaGrade(uint32_t damage, uint32_t ship_class);
uint32_t ShipDamage(uint32_t damage, uint32_t ship_class);
// Builds the report of fight *index of the tab (wrapped first, stored back)
// of the KRIG chunk (host order, null none) for the own player into out
// (size bytes, always ended, cut when full); *record gets the fight.
void BuildBattleReport(const void* krig, uint32_t tab, int16_t* index, uint32_t own_id, ReportTextFn text,
                       ReportNameFn name, char* out, uint32_t size, KriegsEintrag* record, BattleReportInfo* info);
// The small map of a fight at (x, y): the view's first cell (x lowered to
// even, y by one, both wrapped to the world) and the map part it lies in.
void CentreBattleMap(uint32_t x, uint32_t y, uint32_t* view_x, uint32_t* view_y, uint32_t* part_x,
                     uint32_t* part_y);

// ---- The screen ---------------------------------------------------------------

// One visit of the news screen (allocated cleared, freed on leaving).
struct NachrichtenScreenData {
  uint32_t quit;              // set by EXIT
  uint32_t pictureAvailable;  // the report shown has a battle picture (AUGE)
  int16_t index;              // the report shown within its tab
  uint16_t tab;               // NEWS_TAB_*
  uint32_t mapPartX, mapPartY;  // the map part of the open map view
  KriegsEintrag* current;     // the fight shown, null before the first
  TextFont* fontList;         // fonts\XHelvetica11.fnt
  TextFont* fontTitle;        // fonts\ElmorC1.fnt
  ScreenRegion* layout;       // .\Data\ScreenDat\Nachrichten.dat
  QoERequester* textReq;      // the report's text box
  QoEMapInfo* map;            // the map view of the fight, null none
};

// The screen: returns 2 (the main screen) or -1 when it cannot start.
int32_t NachrichtenScreen(int32_t entry);
// Prints the layout's captions and the three tabs' labels; 1.
int32_t InitNachrichtenScreen(NachrichtenScreenData* d);
// Shows report d->index of the tab (wrapped, stored back) with its small
// map; only with an installed game (account state 2), else nothing. 1, or
// 0 when the received KRIG cannot be read or memory runs out.
int32_t ShowBattles(NachrichtenScreenData* d, uint32_t tab);
// The battle picture of d->current until Escape; the screen is put back as
// it was (the map view is opened again by the next report).
void ShowSchlacht(NachrichtenScreenData* d);
// The report box's drawing: the text word-wrapped; the line count.
uint32_t ShowBattlesPrintText(QoERequester* box, uint32_t arg);
