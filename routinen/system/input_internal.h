// Internals shared by the input and text-entry files.
#pragma once

// Called by WaitEvent on every tick of the cursor timer (timer 1).
void SetCursorBlinkHook(void (*hook)());
// Forgets the text cursor without drawing (shut-down) and stops its timer.
void ResetTextCursor();
