// The game thread's message queue: the window thread (or the headless script)
// posts key, mouse, timer, app and quit messages; the game thread takes them
// in order. Any thread may post. The input layer builds WaitEvent on this.
#pragma once
#include <atomic>
#include <cstdint>

enum PlatformMessageKind : uint32_t {
  kMsgNone = 0,
  kMsgKeyDown = 1,     // key, extended, ch, repeat
  kMsgKeyUp = 2,       // key, extended
  kMsgText = 3,        // ch: one Latin-1 character typed (from text input);
                       // key and repeat: the key that typed it, when known
  kMsgMouseMove = 4,   // x, y, buttons
  kMsgLeftDown = 5,    // x, y, buttons
  kMsgLeftUp = 6,
  kMsgRightDown = 7,
  kMsgRightUp = 8,
  kMsgTimer = 9,       // timer: kTimerGameTick or kTimerCursor
  kMsgApp = 10,        // param: what the poster passed (one per IRC line)
  kMsgQuit = 11,       // the window was closed: the game should end
  kMsgWindow = 12,     // key: kWindowPointerLeft/Entered, kWindowFocusLost/Gained
};

// What kMsgWindow tells: the pointer left or entered the window, the window
// lost or gained the keyboard focus.
enum : uint32_t {
  kWindowPointerLeft = 0,
  kWindowPointerEntered = 1,
  kWindowFocusLost = 2,
  kWindowFocusGained = 3,
};

// Key codes of kMsgKeyDown/kMsgKeyUp. Letters are their capitals 'A'..'Z',
// digits '0'..'9'; F1..F12 are 112..123.
enum PlatformKey : uint32_t {
  kKeyBackspace = 8,
  kKeyTab = 9,
  kKeyEnter = 13,  // extended when it is the keypad's Enter
  kKeyShift = 16,
  kKeyCtrl = 17,
  kKeyAlt = 18,
  kKeyPause = 19,
  kKeyEscape = 27,
  kKeySpace = 32,
  kKeyPageUp = 33,  // 33..40 and 45, 46 are extended (cursor block)
  kKeyPageDown = 34,
  kKeyEnd = 35,
  kKeyHome = 36,
  kKeyLeft = 37,
  kKeyUp = 38,
  kKeyRight = 39,
  kKeyDown = 40,
  kKeyInsert = 45,
  kKeyDelete = 46,
  kKeyF1 = 112,
};

// Mouse buttons held, in PlatformMessage::buttons.
enum : uint32_t { kButtonLeft = 1, kButtonRight = 2, kButtonMiddle = 4 };

// Timers that tick into the queue.
enum : uint32_t { kTimerGameTick = 0, kTimerCursor = 1, kTimerCount = 2 };
enum : uint32_t { kGameTickMs = 100, kCursorBlinkMs = 400 };

struct PlatformMessage {
  uint32_t kind;      // PlatformMessageKind
  uint32_t key;       // key code (kMsgKeyDown/Up)
  uint32_t extended;  // 1 for keys of the cursor block, keypad Enter, right Ctrl/Alt
  uint32_t ch;        // Latin-1 character: kMsgText; for kMsgKeyDown the control
                      // character the key stands for (8, 9, 13, 27), else 0
  uint32_t repeat;    // kMsgKeyDown: 1 for the key's own repeat while it is held
                      // (the keyboard's auto-repeat), 0 for its press; kMsgText:
                      // 1 when such a repeat typed the character
  int32_t x, y;       // mouse position in display coordinates
  uint32_t buttons;   // buttons held after this message
  uint32_t timer;     // kMsgTimer: which timer
  uint64_t param;     // kMsgApp: the poster's value
  uint64_t time_ms;   // platform clock when posted (virtual when headless)
};

// Posts a message from any thread. Returns 1, or 0 when a timer tick or an
// app message found the queue full (kEventQueueLimit messages waiting): it is
// dropped (the poster makes it again) and counted in the log, at most one line
// per kind and second. Keys, text, mouse messages and the close are never
// dropped: they queue behind what waits, whatever its length.
enum : uint32_t { kEventQueueLimit = 4096 };
int PostGameMessage(const PlatformMessage* m);
// Convenience posts; x, y in display coordinates.
int PostKeyMessage(uint32_t kind, uint32_t key, uint32_t extended, uint32_t ch);
int PostTextMessage(uint32_t latin1_char);
// A key down and, when the key types a character (text_ch not 0), its text
// message naming the key; repeat 1 marks both as a held key's repeat.
int PostKeyDown(uint32_t key, uint32_t extended, uint32_t ch, uint32_t text_ch, uint32_t repeat);
int PostMouseMessage(uint32_t kind, int32_t x, int32_t y, uint32_t buttons);
int PostTimerMessage(uint32_t timer);
int PostAppMessage(uint64_t param);
int PostQuitMessage();
// A kMsgWindow message: what (kWindowPointerLeft .. kWindowFocusGained).
int PostWindowMessage(uint32_t what);
// A mouse move that replaces a mouse move still waiting at the queue's end
// with the same buttons (keeps a busy game thread from lagging behind).
int PostMouseMoveMerged(int32_t x, int32_t y, uint32_t buttons);

// Takes the oldest message. timeout_ms < 0 waits until one arrives, 0 returns
// at once. Returns 1 with *out filled, 0 when none came.
int GetGameMessage(PlatformMessage* out, int timeout_ms);
// Looks at the oldest message without taking it; 1 when there was one.
int PeekGameMessage(PlatformMessage* out);
int GameMessagesWaiting();
// Drops every waiting message and clears the idle state and timers (tests,
// start of a run).
void ResetGameMessages();
// The event queue's state record back to its start: ResetGameMessages, the
// real clock and no timer hook.
void ResetEventQueueState();

// Timers: a started timer posts kMsgTimer every period_ms of platform time
// (kGameTickMs for the game tick, kCursorBlinkMs for the cursor). Starting a
// running timer restarts it with the new period.
void StartEventTimer(uint32_t timer, uint32_t period_ms);
void StopEventTimer(uint32_t timer);
int EventTimerRunning(uint32_t timer);

// Platform clock in ms: real monotonic time with SDL, virtual time headless.
uint64_t PlatformTimeMs();
// 1 when that clock is the headless virtual one (only a script's wait moves it).
int PlatformClockIsVirtual();

// Clock threads: helper threads that draw on the platform clock (a screen
// transition). Headless, the script lets every clock thread catch up with the
// virtual clock before each step, and a wait stops at each of their due
// times, so what they draw depends on virtual time only.
// BeginClockThread: called by the starter before the thread starts.
void BeginClockThread();
// EndClockThread: called by the thread after it drew its last.
void EndClockThread();
// Sleeps the calling clock thread until the platform clock reaches due_ms, or
// until *hurry (may be null) is set: 1 at the time, 0 hurried.
int SleepUntilPlatformTime(uint64_t due_ms, const std::atomic<int>* hurry);
// due_ms UINT64_MAX sleeps until hurried (a clock thread with nothing to do).
// A sleeper whose hurry flag is set counts as awake from that moment, so a
// headless script waits for what the thread does next.
// SleepPlatformMs: the same for ms from now.
int SleepPlatformMs(uint32_t ms, const std::atomic<int>* hurry);
// Obtains a lock that the game thread may hold for long (through a box that
// waits for the player) while the calling clock thread counts as asleep, so a
// script's clock runs on meanwhile. Waits in real time, looking at *quit every
// few ms; 1 with the lock held, 0 when *quit came first.
int ObtainMutexAsleep(struct QoeMutex* m, const std::atomic<int>* quit);
// Wakes sleeping clock threads at once (after a hurry flag was set).
void WakeClockThreads();
// Waits (real time, at most timeout_ms) until every clock thread sleeps again
// until a time still ahead, none of them hurried; 1 when they do. The game
// thread calls it after it woke one, so on the virtual clock what that
// thread does comes before the game's next step, on every run alike.
int WaitClockThreadsAsleep(int timeout_ms);

// True once the game thread waits on an empty queue (blocked in
// GetGameMessage, or a non-blocking get found it empty) and nothing was posted
// since. The headless script uses it to let the game catch up before each step.
int GameThreadIdle();
// Waits (real time) until GameThreadIdle(), at most timeout_ms; 1 when idle.
int WaitGameThreadIdle(int timeout_ms);
// How many threads wait in WaitGameThreadIdle right now (tests: a waiter
// counted here sits in the wait itself).
int GameThreadIdleWaiters();
// Marks the game thread busy until it next waits for a message (a new game
// thread starts busy, whatever the previous one left).
void MarkGameThreadBusy();

// Text input: posts one kMsgText per character of a UTF-8 string. Characters
// beyond Latin-1 and malformed bytes are skipped. Returns messages posted.
int PostUtf8Text(const char* utf8);
// The same for the text a key typed: each message names the key and whether
// the key's repeat typed it (repeat 1) or its press (0).
int PostUtf8TextOfKey(const char* utf8, uint32_t key, uint32_t repeat);
// Decodes the next UTF-8 character at *p (advancing it); returns the code
// point, or -1 for a malformed sequence (one byte skipped), 0 at the end.
int32_t NextUtf8Char(const char** p);
