// Internals shared by the input and text-entry files.
#pragma once

#include <atomic>
#include <cstdint>

#include "textentry.h"

// The input module's state: what WaitEvent learnt from the messages, the
// hooks later layers fill in, and the one text cursor.
struct InputModuleState {
  // Mouse position in game coordinates, -1 after it left the game area:
  // written by the game thread (WaitEvent), read by any thread (the map's
  // after-draw on the window thread); atomics.
  std::atomic<int32_t> mouseX{0};
  std::atomic<int32_t> mouseY{0};
  // The pointer is over the window, and the window has the keyboard focus,
  // as the last moves and window messages said (both until told otherwise):
  // written by the game thread (WaitEvent), read by any thread; atomics.
  std::atomic<int32_t> pointerInside{1};
  std::atomic<int32_t> focused{1};
  // A move told the mouse position since the start (until then it is 0, 0
  // by default, not where the pointer is): game thread writes, any reads.
  std::atomic<int32_t> positionKnown{0};
  int32_t extended = 0;  // the last key was an extended one: game thread only
  // Held keys (game thread only: WaitEvent and NewKeyScope). The scope the
  // keys act in: a new serial whenever a screen or a box opens or closes.
  // For each key (extended mark, code) the scope its press came in: 0 while
  // it is up or its press was not seen, kKeyRepeatsDropped once its repeats
  // were found to come from before the scope (logged once). A repeat acts
  // only in the scope of its press.
  uint64_t keyScope = 1;
  uint64_t keyPressedIn[2][256] = {};
  // Set by the game thread from the messages, read by any thread; atomics.
  std::atomic<int32_t> ctrl{0};         // Ctrl held, as the key messages said
  std::atomic<int32_t> closed{0};       // the window was asked to close
  std::atomic<uint32_t> cursorId{0};    // mouse cursor picture last loaded
  // Hooks filled at start-up by the entry and the gui; atomics, called on
  // the game thread.
  std::atomic<void (*)()> click{nullptr};
  std::atomic<int32_t (*)(uint32_t)> cursorHook{nullptr};
  std::atomic<void (*)()> blink{nullptr};
  // The text cursor of the text entry (textentry.cpp): game thread only
  // (the screens' edits and WaitEvent's blink tick).
  TextCursor textCursor{};
};
InputModuleState& InputModule();
constexpr uint64_t kKeyRepeatsDropped = UINT64_MAX;

// Called by WaitEvent on every tick of the cursor timer (timer 1).
void SetCursorBlinkHook(void (*hook)());
// Forgets the text cursor without drawing (shut-down) and stops its timer.
void ResetTextCursor();
