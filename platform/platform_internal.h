// Internals shared by the platform layer's own files (not for other folders).
#pragma once
#include <cstdint>

// Event queue: the clock behind PlatformTimeMs (null: real monotonic time).
void SetPlatformClock(uint64_t (*clock)());
// Whether the clock is the headless virtual one (PlatformClockIsVirtual).
void SetPlatformClockVirtual(int is_virtual);
// Clock threads (events.h): how many run; 1 when each sleeps until a time
// still ahead; the wait for that (real time, at most timeout_ms; 1 when
// caught up); the earliest time one of them sleeps until (UINT64_MAX: none).
int ClockThreadCount();
int ClockThreadsCaughtUp();
int WaitClockThreadsCaughtUp(int timeout_ms);
uint64_t NextClockThreadDue();
// Called after a timer was started or stopped (wakes the window loop).
void SetTimerChangedHook(void (*hook)());
// Earliest due time of the running timers, UINT64_MAX when none runs.
uint64_t NextEventTimerDue();
// Posts the ticks due at now_ms in time order; with coalesce a timer whose
// tick still waits in the queue posts no second one. Returns ticks posted.
int PumpEventTimers(uint64_t now_ms, int coalesce);

// Display: called after the primary changed (UpdateRectangle, Flip, palette).
void DisplayFrameChanged();
// Frame counter of the last change (the window loop presents when it moved).
uint64_t DisplayChangeSerial();

// Scripts (the commands of headless.h) played by a backend: how it lets the
// game catch up before each command (0 once the game has ended), how time
// runs on (virtual headless, real under SDL), how the window closes, and how
// it waits until the window shows what the display holds once the game
// waits (0 when that did not come; headless there is no window to wait for).
struct ScriptPlayer {
  int (*sync)();
  void (*wait)(uint64_t ms);
  void (*quit)();
  int (*shown)();
};
// Plays the script on the calling thread; the commands played, or -1 at the
// first bad line (logged, the rest is skipped).
int PlayScript(const char* script, const ScriptPlayer* player);
// The keys a script holds down (keydown .. keyup, hold): the earliest time
// one of them repeats next (UINT64_MAX: none held), and the repeats due by
// now_ms, posted in time order (the players call it as their clock runs on).
uint64_t NextKeyRepeatDue();
void PostDueKeyRepeats(uint64_t now_ms);
