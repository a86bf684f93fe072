// The town view (screen code 39), the economy's hub: the active town by its
// level and the turn's weather (and, at depth 8, the time of day), its
// buildings leading to their screens, the town choice and the naming of a
// new town. Its day and night tint and DrawTown live beside it.
#pragma once
#include <cstdint>

#include "screens/economy/ambience.h"

struct st_TOWN;
struct ScreenRegion;
struct MovieBase;
struct Movie;
struct TextFont;
struct ChiefMessageBox;

// The town screen record of one visit (AllocVec, cleared).
struct StadtScreenData {
  uint32_t lightsDrawn;     // the night lights are drawn (they stay until leaving)
  uint8_t weather;          // 0..6, received KORN +40
  uint8_t tintLevel;        // percent of darkness 0..60
  uint16_t accountState;    // prefs field 0
  uint8_t* savedPalette;    // colours 36..255 before the first tint, null none
  RainDriver rain;          // the rain and its interval counter
  st_TOWN* town;            // the active town (owned)
  ScreenRegion* region;     // the layout
  MovieBase* movieBase;
  Movie* ford;
  Movie* waterWheel;
  Movie* mill;
  // The level's row, the tint still owed, the font and what is open.
  uint32_t level;           // row of the level table, 1..4
  uint32_t tintPending;     // 1 when the last tint could not reach the palette
  TextFont* font;
  ChiefMessageBox* rebelBox;  // the rebels' box while it is open
  uint32_t rebelShown;      // the rebels' box was opened (once a visit)
  AmbientCounter ambient;   // ambient sounds: 100, then multiples of 40
  uint32_t tintTicks, tintLimit;  // tint: after 10 ticks, then every 50
  uint32_t sunShown;        // the clear sky with its sun is drawn (by day)
};

// One row of the level table (levels outside 1..4 use row 1).
struct StadtLevel {
  uint32_t level;
  uint32_t picture;      // background picture
  const char* layout;    // layout file
  uint32_t titlePen;     // CheckTitleBar pen
  uint32_t titleGfx;     // drawn through its mask at (183, 0)
  uint32_t sky;          // weather 0 and 1, at (0, 0) 640 x 123
  uint32_t overcastTop;  // weather 4..6, at (0, 0) 640 x 123
  uint32_t overcastBottom;  // and at (0, 123) 640 x 357
  uint32_t pairA[2];     // object pair at (32, 394) 64 x 62: shown, other (0 none)
  uint32_t pairB[2];     // object pair at (566, 403) 48 x 46
};
const StadtLevel* StadtLevelRow(uint32_t level);

// The pictures drawn over the background for the weather: sky (weather 0,
// 1), the overcast pair (4..6), nothing (2, 3). Zero for none.
void StadtSky(const StadtLevel* row, uint32_t weather, uint32_t* top, uint32_t* bottom);

// One of the three movies: file (null: none), place, frame rate.
struct StadtMovie {
  const char* file;
  uint16_t x, y;
  uint16_t fps;
};
enum { STADT_FORD = 0, STADT_WATERWHEEL = 1, STADT_MILL = 2 };
// The three movies for the town's level, the weather and its buildings.
void StadtMovies(const st_TOWN* town, uint32_t weather, StadtMovie out[3]);

// The screen (code 39): the next ScreenCode, -1 when it cannot be built.
int32_t StadtScreen(int32_t entry_code);
// Account state and the weather; 0 only when the received pool announces
// KORN and it cannot be loaded.
int32_t ReadStadtScreenData(StadtScreenData* data);
// Sky, buildings (DrawTown), the object pairs, the gadgets and the title
// graphic; 0 when an object bitmap cannot be made.
int32_t InitAllThingsStadt(StadtScreenData* data);
// Object pair: graphic b (not 0) into its GfxTable slot over the screen's
// background, then a (drawn, and kept in its slot). 1 or 0 (logged).
int32_t MakeStadtObjects(uint32_t a, uint32_t b, int32_t x, int32_t y, uint32_t w, uint32_t h);
void FreeStadtObjects(StadtScreenData* data);
int32_t LoadStadtScreenSfx(StadtScreenData* data);
void CloseStadtScreenSfx();
int32_t InitStadtAnims(StadtScreenData* data);
void FreeStadtAnims(StadtScreenData* data);
// Names a new town (flag 1, account state 2) until a free name is given.
void NameNewTown(StadtScreenData* data);
// Lets the player choose another own town: 1 when one was chosen (it is
// the active town now), else 0.
int32_t ChangeTown(StadtScreenData* data);
// As ChangeTown, but -1 when no other town can be offered (catalog 799 shown)
// and 2 when the player cancelled the choice.
int32_t ChangeTownChoice(StadtScreenData* data);
// The next code for a gadget (-1: the screen stays).
int32_t StadtGadget(StadtScreenData* data, const char* id);

// Tests: called on the game thread once a visit, when the screen is shown
// (after its transition was started and the town's name printed); null none.
using StadtShownHook = void (*)();
void SetStadtShownHook(StadtShownHook hook);

// ---- the day and night tint (depth 8 only) ----
// Darkness in percent wanted at a local time of day (minutes after midnight).
uint32_t TintTarget(uint32_t minutes);
// The next level from level towards target: one step of 5 when level >=
// target - 5 (signed), else target at once.
uint32_t TintStep(uint32_t level, uint32_t target);
// Moves the record's tint level towards the local time's target and darkens
// colours 36..255 of the program's palette table by it (init 1 before the
// screen transition, 0 later). Draws the night lights once the level reaches
// 40. Does nothing at other display depths than 8. 1, or 0 (logged) when
// memory runs out: the level has moved then, the palette has not.
int32_t CheckSysTime(StadtScreenData* data, int32_t init);
// The lit windows, pen 7, into the screen's RastPort.
void DrawStadtNightLights();
// The tint level from which it is night: the lights are lit and the clear
// sky shows no sun.
constexpr uint32_t kNightTintLevel = 40;
// Night fell during the visit: the top of the town goes back to the plain
// sky of the background picture (the buildings, the title board and the
// town's name drawn over it again), so no sun stays in the night sky.
void StadtSunSets(StadtScreenData* data);
// The local time of day (minutes after midnight) CheckSysTime reads: the
// standard library's local time (on a headless run's virtual clock: noon
// when the run starts, then that clock) unless a test sets a source (null:
// back).
using LocalMinutesFunc = uint32_t (*)();
void SetLocalTimeSource(LocalMinutesFunc source);
uint32_t LocalMinutesOfDay();
