// The common skeleton of a screen: its picture, layout, font and movies
// opened in order, the event loop's step (title bar, WaitEvent with ticks,
// HandleGadgetEvent) and its condition (the close leaves by the screen's own
// way out), movies paused around boxes, and the tear-down in reverse order. Each step returns 1 or 0; on 0 the screen logs its own line
// and calls CloseScreenBase, which frees exactly what was opened.
// How a screen is written on it: docs/architecture.md ("Adding a screen").
#pragma once
#include <cstdint>

struct ScreenRegion;
struct Gadget;
struct TextFont;
struct MovieBase;
struct Movie;

constexpr uint32_t kScreenMaxMovies = 4;

// One movie of a screen: file, place, StartMovie options and frame rate.
struct ScreenMovieSpec {
  const char* path;
  uint16_t x, y;
  uint8_t flags;
  uint16_t fps;
};

// What one visit of a screen holds (cleared by OpenScreenPicture).
struct ScreenBase {
  uint32_t pictureId;       // 0 until the picture is open
  ScreenRegion* region;     // the layout, null none
  TextFont* font;           // set on the screen's RastPort, null none
  TextFont* oldFont;        // the RastPort's font before it
  MovieBase* movieBase;     // null none
  Movie* movies[kScreenMaxMovies];  // null for a movie that could not load
  uint32_t movieCount;
  uint32_t ticks;           // game ticks counted by the screen (ambient sounds)
  uint8_t shown;            // the picture's transition has started
};

// The start-up steps a screen can fail at, as the player reads them (each
// value is the ID of its catalog text).
enum ScreenStartStep : uint32_t {
  SCREEN_STEP_PICTURE = 1571, SCREEN_STEP_LAYOUT = 1572, SCREEN_STEP_FONT = 1573, SCREEN_STEP_MOVIES = 1574,
  SCREEN_STEP_SOUNDS = 1575, SCREEN_STEP_DATA = 1576, SCREEN_STEP_MEMORY = 1577, SCREEN_STEP_TOWN = 1578,
  SCREEN_STEP_GRAPHICS = 1579, SCREEN_STEP_MAP = 1580, SCREEN_STEP_NO_SCREEN = 1581,
};

// Opens picture id of ".\Data\Path" with OpenElmorPic flags (1: the screen
// draws first and ShowScreenBase starts the transition). Clears base first.
int32_t OpenScreenPicture(ScreenBase* base, uint32_t id, uint32_t flags);
// Loads the layout (GetScreenRegion with the record-type mask).
int32_t OpenScreenLayout(ScreenBase* base, const char* path, uint32_t mask);
// Opens a font and sets it on the screen's RastPort.
int32_t OpenScreenFont(ScreenBase* base, const char* path);
// A movie base over the displayed picture and the movies of the table,
// started; a movie that does not load is skipped (null). 0 only when the
// base cannot be made.
int32_t OpenScreenMovies(ScreenBase* base, const ScreenMovieSpec* table, uint32_t count);
// The screen's CD music: track (to itself) on the options' drive when the
// CD is there and not playing.
void PlayScreenCdTrack(uint8_t track);
// Draws the gadgets and starts the screen transition.
void ShowScreenBase(ScreenBase* base);
// One step of the event loop: the title bar names the gadget under the mouse
// (pen), WaitEvent with ticks; returns the gadget the event selects (null
// none) and the event code in *event.
Gadget* ScreenBaseEvent(ScreenBase* base, uint32_t title_pen, int32_t* event);
// The condition of every screen's loop: 1 while the screen stays (*next is
// still -1 and the close was not requested). After the close (the window's
// close, SIGTERM or SIGINT) the boxes have returned their cancel and the
// screen leaves by its own way out: *next becomes way_out, the code the
// screen's cancel leads to, when the loop had no code yet; the dispatcher
// then ends the game. The screen's tear-down runs as on any leave, so what
// the player confirmed stays and nothing is half written.
int32_t ScreenBaseStays(int32_t* next, int32_t way_out);
// 1 pauses every movie of the screen, 0 lets them run on.
void PauseScreenMovies(ScreenBase* base, uint8_t halted);
// A screen whose start-up failed at step, on its failure path before it
// frees its records (the game then ends): logs log_line (null: nothing) and
// shows one modal message, catalog 1570 with the step's text ("... see
// Quill.dbg"). An open picture of base is shown first, so the box stands on
// it; without one (base null, or the picture itself failed) the box stands
// over the last screen. Nothing is shown once the window was closed.
void ScreenStartFailed(ScreenBase* base, uint32_t step, const char* log_line);
// Tells the player that file is damaged (there but unreadable) and left as
// it is: catalog 1682 with the file's name for its "%s", then the text
// detail_id (0 none) on what the screen goes without. One modal box over
// the shown screen (its movies halted meanwhile), and a log line naming the
// file. Nothing is shown once the window was closed.
constexpr uint32_t kDamagedFileText = 1682;
void ScreenTellDamagedFile(ScreenBase* base, const char* file, uint32_t detail_id);
// The same with the screen's own text (null none) after the file's name.
void ScreenTellDamagedFileText(ScreenBase* base, const char* file, const char* detail);
// The same for a file the game needs that is missing, or that something
// other than a file stands in place of: catalog 1930 with the file's name
// in place of 1682; the log line says "Fehlende Datei gemeldet".
constexpr uint32_t kMissingFileText = 1930;
void ScreenTellMissingFile(ScreenBase* base, const char* file, uint32_t detail_id);
// Tears down what was opened, in reverse order; the picture is closed with
// mode 1 (kept for the next screen), or 0 when next is 0.
void CloseScreenBase(ScreenBase* base, int32_t next);
