// Headless backend: no window. A script feeds the game thread's queue on a
// virtual clock, so a test drives a screen deterministically and fast.
//
// Script: one command per line (or separated by ';'), '#' starts a comment.
//   key K            key down, its text character if it has one, key up
//   keydown K        key down and its text character: the key is held, and
//                    repeats as a held key does while the clock runs on
//                    (kKeyRepeatDelayMs after the press, then every
//                    kKeyRepeatIntervalMs: a key down marked as a repeat
//                    and its character again) until
//   keyup K          key up (the hold ends)
//   hold K MS        keydown K, wait MS, keyup K
//   text "Grüße"     one text message per Latin-1 character (UTF-8 in the script)
//   move X Y         mouse move to display coordinates X, Y
//   press B X Y      button B (left/right) down at X, Y
//   release B X Y    button B up at X, Y
//   click B X Y      press and release
//   leave            the pointer leaves the window (a later move brings it back)
//   focus out|in     the window loses or gains the keyboard focus
//   wait MS          virtual time runs on MS ms; running timers tick on time
//   tick [T]         a tick of timer T (0 game tick, 1 cursor) at once
//   timer T MS|off   starts (period MS) or stops timer T
//   app N            an app message with value N
//   quit             the window's close (RequestProgramClose)
//   signal term|int  SIGTERM or SIGINT to the process (only where the
//                    program's own close handler is installed)
//   sync             waits until the game thread waits on an empty queue
//   png PATH         writes the display (whole primary surface) to PATH
//   shown            once the game thread waits, waits until the window shows
//                    what the display holds (a frame begun after that shown,
//                    and the X server has taken it); the SDL player logs
//                    "SDL-Skript: Das Fenster zeigt das Bild (N.)", the Nth
//                    time, so a test outside may grab the window then.
//                    Headless (no window) as sync
//   walk SEED STEPS [MS]  a random walk of STEPS clicks and keys (Enter,
//                    Escape, digits, letters) from SEED over what the walk
//                    hooks offer, preferring targets not yet hit; MS/4 to MS
//                    (default 400) ms after each, the hooks' report at the end
//   gadget ID [ID..] a click in the middle of the gadget with the first of
//                    the IDs (up to four characters, '_' for a space) that
//                    the walk hooks offer, of the layout handled last;
//                    logged when none is offered
//   escape-to ID [ID..]  Escape until the walk hooks offer a gadget with one
//                    of the IDs (the pointer moved to the middle of the game
//                    area before each look), at most 20 times, 1500 ms after
//                    each; logged "Headless: Gadget ID nach N mal Escape
//                    angeboten", or "Headless: Kein Gadget ID nach 20 mal
//                    Escape angeboten"
// K is a number, a single character (letters as their capitals) or a name:
// esc enter kpenter backspace tab space shift ctrl alt pause pageup pagedown
// end home left up right down insert delete f1..f12. Before every command
// the player lets the game thread catch up (as sync does).
#pragma once
#include <cstdint>
#include <vector>

// The pace of a held key's repeats (keydown, hold): the first comes this long
// after the press, the next ones this far apart, on the script's clock.
enum : uint32_t { kKeyRepeatDelayMs = 500, kKeyRepeatIntervalMs = 40 };

// The mode the display-mode choice returns (kScreenModeCount: cancelled).
void HeadlessSetMode(uint32_t mode_id);
// The script the window loop plays (copied); null for none.
void HeadlessSetScript(const char* script);
// Plays a script on the calling thread; returns the number of commands
// played, or -1 at the first bad line (logged, the rest is skipped).
int HeadlessPlayScript(const char* script);
// Virtual clock: runs it on by ms (ticking running timers), or sets it to 0.
void HeadlessAdvance(uint64_t ms);
void HeadlessResetClock();
uint64_t HeadlessNowMs();
// The cursor pictures the backend was given (SetCursorImage): how many, and
// the last one's size, hot spot and (when argb is not null) pixels.
struct HeadlessCursor {
  uint32_t calls;
  uint32_t width, height, hot_x, hot_y;
};
HeadlessCursor HeadlessCursorImage(std::vector<uint32_t>* argb);
// How long (real ms) the player waits for the game thread before a command
// (0: the default, two minutes); on time-out it logs and goes on.
void HeadlessSetSyncTimeout(int ms);

// Test set-up: selects the headless backend, empties the queue, resets the
// clock and sets up the display for row mode_id of ScreenModeTable.
int HeadlessOpenDisplay(uint32_t mode_id);
// Frees the display, empties the queue, deselects the backend.
void HeadlessCloseDisplay();
// Runs game(arg) as the game thread "Game" while the calling thread plays the
// script as the window thread; waits for the game's end (the close is
// requested when the script ends first). Returns game's result.
int HeadlessRunGame(const char* script, int (*game)(void* arg), void* arg);

// The random walk's view of the game, filled by the program: what may be
// clicked now (game-area coordinates, inclusive; hit 1 once chosen), which
// of them the walk clicked (index of the last list) and the report.
struct WalkTarget {
  int32_t x1, y1, x2, y2;
  uint32_t hit;
  char id[5];    // the gadget's ID ("LIST" for a list box)
  uint32_t age;  // handling rounds since its layout was handled (0: the last)
};
struct WalkHooks {
  uint32_t (*targets)(WalkTarget* out, uint32_t max);
  void (*clicked)(uint32_t index);
  void (*report)(uint64_t seed);
  // 1 while a message box waits for its answer (it takes every event: no
  // target beneath it can be chosen); null: never.
  int32_t (*box_waits)();
};
void SetWalkHooks(const WalkHooks* hooks);  // null: no hooks (the walk only types)
