// The watcher of every text the player is shown. The lowest drawing calls
// report what they draw: the font layer's Text (every text of every
// screen), its TypedText (an input field's content as the player edits it),
// the native message boxes and the display-mode page; the text layer above
// them reports each text once more whole, before it is wrapped into lines.
// Scripted runs and tests record them to check that the player reads
// nothing that passed the catalog by.
#pragma once
#include <cstddef>
#include <cstdint>

// What a reported text is: shown by the program, or the content of an input
// field the player is typing in (the player's own words, and whatever the
// field held before).
enum : uint32_t { DRAWN_SHOWN = 0, DRAWN_TYPED = 1 };

// Called on the drawing thread for each text; it must not draw. Null stops
// the watch.
using DrawnTextHook = void (*)(const char* text, uint32_t kind, void* context);
void SetDrawnTextHook(DrawnTextHook hook, void* context);
// Reports the first `length` bytes of a text (up to a NUL before them) to
// the watcher; an empty text is not reported. Cheap while nobody watches.
void ReportDrawnText(const char* text, size_t length, uint32_t kind = DRAWN_SHOWN);
// The same for a NUL-terminated text.
void ReportDrawnText(const char* text);
