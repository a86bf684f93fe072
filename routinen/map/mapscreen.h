// The map screen (screen code 3): the world map on which the player looks at
// the realm, selects figures and moves them. Its record, the turn data it
// reads and writes back, its set-up on both kinds of display, the event loop,
// edge scrolling, the ambience and the music zone, and the two services the
// screens call around their changes of the turn and map files
// (docs/map-screen.md).
#pragma once
#include <cstdint>

struct BitMap;
struct ListHeader;
struct MapFigur;
struct MiniMap;
struct MotionControl;
struct QoEMapInfo;
struct QoERequester;
struct ScreenRegion;
struct TextFont;
struct ColorCycle;

// KartenScreenRecord::Status.
enum : uint32_t { MAPSCREEN_NOT_BUILT = 0, MAPSCREEN_KEPT = 1, MAPSCREEN_SHOWN = 2 };
// The fonts of the record.
enum : uint32_t { MAPFONT_ELMOR = 0, MAPFONT_HELV11 = 1, MAPFONT_HELV13 = 2, MAPFONT_HELV9 = 3 };
constexpr uint32_t kMapSavedModuleSize = 79;

// The map screen's record: one static record behind KartenScreenData, alive
// for the whole run; its members are made and freed by the screen. Game
// thread, except `map`, which is published and cleared under the map lock
// (LockMapRecord) and read by other threads only through PublishedMap.
struct KartenScreenRecord {
  uint32_t Status;            // MAPSCREEN_*
  uint32_t TownRequest;       // set by the person events: leave for the town (39)
  uint32_t ResourcesOverlay;  // ROHS
  uint32_t NamesOverlay;      // SYMB
  uint32_t BordersOverlay;    // GREN, prefs field 16
  uint32_t FigureSelected;
  uint32_t TargetChosen;
  int16_t X_Pos, Y_Pos;       // the clicked hex in the view
  int16_t MarkedColumn, MarkedRow;  // -1 none
  uint16_t Quarter;           // KORN: 0..3, 3 winter
  uint16_t Voice;             // the figure voice last loaded, 0 none
  uint16_t PanelMode;         // 8 bits: 0 info box, 1 figure lists
  int16_t BonusResource;      // LAND: 8 plant, 9 animal, 10 mineral
  uint32_t LandValueB;        // LAND
  uint32_t Inhabitants;       // LAND: inhabitants / 10
  MiniMap* Minimap;
  BitMap* SavedPanel;         // 8 bits: under the side panel while the lists show
  ScreenRegion* SavedLayout;  // the main layout while the menu layout is active
  TextFont* Fonts[4];         // MAPFONT_*
  MapFigur* SelectedFigure;   // in the map's figure list, null none
  uint32_t LoggedFigure;      // the number + 1 of the figure the info text last logged, 0 none
  QoERequester* InfoRequester;
  ScreenRegion* Layout;       // the active layout
  ScreenRegion* MenuLayout;   // KarteMenu2.dat (8 bits)
  QoEMapInfo* map;            // the map view (published under the map lock)
  ListHeader* Armies;         // ARMY (outgoing)
  ListHeader* Ships;          // SHIP
  ListHeader* ShipAddOns;     // .\Data\ShipAddOn.dat, only with a SHIP chunk
  ListHeader* Specialists;    // SPEZ
  ListHeader* MapNames;       // .\Data\MapNames.dat
  uint16_t ListTab;           // 0..4, 0xFFFF none
  char* ListLines;            // the figure list's lines, 80 bytes each
  QoERequester* ListRequester;
  MotionControl* Motion;      // the figure-animation thread
  uint8_t* Players;           // ANTW of .\Data\SpielerList.qoe
  uint8_t* Battles;           // KRIG of the received pool
  char SavedModule[kMapSavedModuleSize];  // music path while the secret zone's module plays
  // What was present but could not be read: not written back, so the file
  // or chunk stays as it was.
  uint8_t ArmiesUnread, ShipsUnread, SpecialistsUnread, ShipAddOnsUnread, MapNamesUnread;
  uint8_t MainLayoutDeep;     // Layout is Karte1024.dat (relaid for the display)
  ScreenRegion* MainLayout;   // Karte.dat or Karte1024.dat
  ColorCycle* Cycle;          // colour cycling while shown (8 bits)
  uint32_t ZoneSwitched;      // the secret zone's module was switched in
};

// The record (never null, never freed).
extern KartenScreenRecord* const KartenScreenData;

// --- The screen ---------------------------------------------------------------
// Screen code 3. code: the screen the player came from (2, 39 or 152), which
// EXIT and Escape return to. run 1 shows the screen; run 0 only builds the
// map in advance (Status 0, deeper displays) or releases it (Status 1,
// returns -1 without drawing).
int32_t KartenScreen(int32_t code, int32_t run);
// The screen table's form: KartenScreen(code, 1).
int32_t KartenScreenRun(int32_t code);
// The shell's map hooks: build in advance (KartenScreen(1, 0), 1 ok), release.
int32_t MapScreenPrebuild();
void MapScreenRelease();
// The two services for other screens (deeper displays; a no-op returning 1
// otherwise or while no map is built): write the map and turn data before
// the turn or map files change, build the map anew (turn data read afresh)
// after they changed. 1 on success.
int32_t MapScreenSaveData();
int32_t MapScreenNewSetup();

// Builds or re-shows by Status; 1 or 0.
int32_t KartenScreenKonstruktor(KartenScreenRecord* d);
// Marks, text areas (8 bits) or the relayout (deeper, relayout 1), the
// minimap and the map; 1 or 0.
int32_t InitAllThingsKarte(KartenScreenRecord* d, int32_t relayout);
// The map round the active town; null on failure.
QoEMapInfo* InitMap(KartenScreenRecord* d);
int32_t LoadKartenScreenGfx(KartenScreenRecord* d);
void FreeKartenScreenGfx();
int32_t LoadKartenScreenSfx(KartenScreenRecord* d);
void FreeKartenScreenSfx(KartenScreenRecord* d);
// Releases the screen by Status: 2 writes the lists and keeps the map
// (Status 1); 0 and 1 free everything.
void KartenScreenFreigabe(KartenScreenRecord* d);
// 1 when one of the six neighbours of the clicked hex has terrain type
// terrain_type (0: any) and, unless owner is 0xFFFFFFFF, a figure of that owner.
int32_t CheckNachbarFeld(KartenScreenRecord* d, uint16_t terrain_type, uint32_t owner);

// The relayout of the deeper layout for a display of width x height (drawn
// for 1024 x 768): gadgets and values moved by the map screen's rule.
void RelayoutKarte1024(ScreenRegion* layout, int32_t width, int32_t height);
// The view's top-left world position and the clicked hex for the town at
// (town_x, town_y) on a display of width x height (8 bits: the 480 x 448 view).
struct MapCentre {
  int32_t x, y;
  int16_t x_pos, y_pos;
};
MapCentre CentreOnTown(uint32_t town_x, uint32_t town_y, uint32_t width, uint32_t height, bool eight_bit);
// The steps a key moves the selected figure by for its column's parity; false
// for a key that does not move ("4", "5", "6" and the rest).
bool FigurKeyStep(uint32_t key, uint32_t figure_x, int16_t* dx, int16_t* dy);

// --- Turn data ------------------------------------------------------------------
// Reads the record's lists, chunks and LAND values (only with AccountState
// 2, else nothing and 1); what the record held before is released first.
// 1 when everything present could be read.
int32_t ReadKartenScreenData(KartenScreenRecord* d);
// Writes the outgoing pool (ARMY, SHIP, SPEZ), ShipAddOn.dat and MapNames.dat
// through one FileSet (only with AccountState 2, else nothing and 1); frees
// the players and battles chunks, and with release 1 the lists. 1 when all
// was written (0: no file changed).
int32_t WriteKartenScreenData(KartenScreenRecord* d, int32_t release);
// Frees every list and chunk of the turn data and clears the members.
void ReleaseKartenScreenData(KartenScreenRecord* d);

// --- The map lock ----------------------------------------------------------------
// One recursive lock for the map record: taken by LadeKarte and ExitKarte,
// by SetPos around a shift and a reload, by the figure-list loads, and by
// the map screen when it publishes or clears its map. Order: the motion
// lock, then this lock, then the picture manager's, then the display mutex.
void LockMapRecord();
void UnlockMapRecord();
// The lock if it is free (or already held by the caller): 1, else 0 at once.
int32_t TryLockMapRecord();
// The map the screen published (null none); only with the map lock held
// (a call without it logs and returns null).
QoEMapInfo* PublishedMap();

// --- Calls the later parts of the map screen fill (empty: a log line) ------------
struct MapScreenHooks {
  void (*UpdateInfoBox)(KartenScreenRecord* d);
  void (*ClickFigurOnMap)(KartenScreenRecord* d);
  void (*AfterDraw)(QoEMapInfo* map);  // KartenScreenRefresh
  int32_t (*IsInMapArea)(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void (*ToggleMapDisplay)(KartenScreenRecord* d, uint32_t mode);
  void (*PrintMapNames)(KartenScreenRecord* d, uint32_t buffer);
  void (*PrintArbeiterAnzahl)(KartenScreenRecord* d, uint32_t buffer);
  void (*PlayFigurSfx)(KartenScreenRecord* d, uint32_t mode);
  int32_t (*UpdateFigurRequester)(KartenScreenRecord* d, const char* gadget);
  void (*JumpToFigur)(KartenScreenRecord* d);
  void (*SwitchGUI)(KartenScreenRecord* d);
  void (*EnterMapNames)(KartenScreenRecord* d);
  void (*ArbeiterReq)(KartenScreenRecord* d);
  void (*CheckPersonEvent)(KartenScreenRecord* d);
  void (*CheckPersonEventField)(KartenScreenRecord* d);  // after a figure was selected
  int32_t (*FigurMenu)(KartenScreenRecord* d);  // 1 when an action was stored
  int32_t (*FeldMenu)(KartenScreenRecord* d);   // 0 names, 1 cultivation, 2 information, else nothing
  void (*CheckAktionsFeld)(KartenScreenRecord* d);
  // A start-up failure told to the player (the screen layer's box): the
  // catalog ID of the failed step and the log line.
  void (*StartFailed)(uint32_t step, const char* log_line);
};
// Copies the slots (null clears them all).
void SetMapScreenHooks(const MapScreenHooks* hooks);

// One tick of the event loop: edge scrolling, then, unless the screen
// transition runs, the ambience and the music zone.
void KartenScreenTick(KartenScreenRecord* d);
// The right button: the person events, the figure menu or the field menu;
// *next becomes the code to leave with (39 town, 1293 dungeon) when one is due.
void KartenScreenRightClick(KartenScreenRecord* d, int32_t* next);

// Test seams of the sounds the screen plays (a null slot: the sound module).
struct MapScreenSoundSeams {
  int32_t (*play)(uint32_t id);
  int32_t (*idle)(uint32_t id);
  int32_t (*cdReady)();
  void (*playCd)(uint8_t track);
};
void SetMapScreenSoundSeams(const MapScreenSoundSeams* seams);

// Puts the record and the module's state back to the start (tests).
void ResetMapScreenState();
