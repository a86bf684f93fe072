// Input of the game thread: WaitEvent turns the window messages of the
// platform queue into WaitEventCodes; mouse position, Ctrl key, cursor.
#pragma once
#include <cstdint>

// WaitEvent flags.
enum : uint32_t { WE_EXTENDED = 1, WE_TICKS = 2, WE_NOWAIT = 4 };

// WaitEventCode values beside the key codes 1..255.
enum WaitEventCode : int32_t {
  WE_OUTSIDE = 0,        // the mouse moved outside the 640 x 480 area
  WE_NOTHING = 1,        // flag 4 and no message waiting
  WE_KEY_ENTER = 13,
  WE_KEY_ESCAPE = 27,
  WE_KEY_LEFT = 37,      // 37..40, 45, 46: arrows, insert, delete
  WE_KEY_UP = 38,
  WE_KEY_RIGHT = 39,
  WE_KEY_DOWN = 40,
  WE_KEY_INSERT = 45,
  WE_KEY_DELETE = 46,
  WE_TICK = 2000,
  WE_LEFT_DOWN = 2001,   // also a move with the left button held
  WE_LEFT_UP = 2002,
  WE_MOUSE_MOVE = 2003,
  WE_RIGHT_DOWN = 2005,  // also a move with the right button held
  WE_RIGHT_UP = 2006,
  WE_APP = 65533,        // one per app message (a line the IRC thread got)
};

// Takes the next message and returns its code. The arrows, insert and delete
// (37..40, 45, 46) come with the extended mark set (WaitEventExtended); flag
// 1 also marks the keypad's Enter (13). Flag 2 delivers the 100 ms game
// tick, flag 4 returns 1 at once when nothing waits. Characters come from
// text input (Latin-1); Enter 13, Escape 27, Backspace 8, Tab 9; the Ctrl
// key and other keys without a character are skipped. Cursor-timer ticks
// blink the text cursor and are not returned. After the close (the window's
// close button, SIGTERM or SIGINT: platform/close.h) every call returns
// Escape (27) at once.
int32_t WaitEvent(uint32_t flags);
// 1 when the last WaitEvent returned an extended key (cleared by each call).
int32_t WaitEventExtended();

// A held key acts once where a screen or a box changes. The platform marks
// the keyboard's repeats of a held key; WaitEvent delivers a repeat only
// when the key's press came in the current key scope. NewKeyScope starts a
// new one: a screen starts (the dispatcher, a picture opening), a box opens
// and closes. A key held from before then acts no more - its repeats are
// dropped, its characters too - until it is released and pressed anew;
// a key pressed within the scope repeats as ever (the map's scrolling, the
// dungeon's steps, typing). Game thread.
void NewKeyScope();
// A box's life as a key scope: a new scope when it opens (constructed) and
// again when it closes (destroyed), so a key that answered the box does not
// act on the screen below with its repeats.
struct KeyScope {
  KeyScope() { NewKeyScope(); }
  ~KeyScope() { NewKeyScope(); }
  KeyScope(const KeyScope&) = delete;
  KeyScope& operator=(const KeyScope&) = delete;
};
// 1 once the close was requested (the window's close, SIGTERM or SIGINT):
// boxes return their cancel at once, screens leave by their own way out and
// the dispatcher ends the game. Any thread.
int32_t WindowCloseRequested();

// Last mouse position in game coordinates (display coordinates while the
// map's picture 3 is shown); 65535 after the mouse left the game area.
uint16_t GetMouseX();
uint16_t GetMouseY();
// 1 while the pointer is over the window and the window has the keyboard
// focus, as the messages WaitEvent took said (a move beyond the display's
// edge, the pointer's leave, a lost focus end it; a move over the display,
// the pointer's return and the focus's return bring it back). The mouse
// position keeps its last value meanwhile, so what acts on a pointer merely
// resting somewhere (the map's edge scrolling) asks this first.
int32_t MouseInWindow();
// 1 once a mouse move told where the pointer is (since the start or
// ResetInputState); before it the position is 0, 0, which says nothing of
// the pointer, so what acts on a resting pointer waits for it.
int32_t MousePositionKnown();
// True when the last mouse position lies strictly inside x1..x2, y1..y2.
int32_t MouseInRect(int32_t x1, int32_t x2, int32_t y1, int32_t y2);
// Polls the Ctrl key ten times, 100 ms apart: 17 when held, else 0.
int32_t WaitCtrlKey();
// Makes picture 103 or 110 the mouse cursor through the picture manager's
// hook (the platform's default cursor until one is registered); 1 on success.
int32_t LoadMouseCursor(uint32_t picture_id);
uint32_t CurrentMouseCursor();  // the ID last loaded, 0 for the default

// Hooks filled by later layers: the click sound of every button press
// (sound effect 1), and the cursor loader (returns 1 on success).
void SetClickSoundHook(void (*hook)());
void SetMouseCursorHook(int32_t (*hook)(uint32_t picture_id));

// The input module's state record back to its start (tests and start of a
// run): forgets the mouse position (unknown until the next move; the
// pointer counts as over the focused window), the extended mark, the Ctrl state,
// the held keys, a close request and the text cursor (without drawing; its
// timer stops). The hooks stay registered.
void ResetInputState();
