// The typed number entry of a layout box (gadgets BOX1, BOX2 ...): the value
// is shown with "%ld", a text cursor edits it, Enter ends, a negative number
// becomes 0; the screen then applies the field's own bounds.
#pragma once
#include <cstdint>

struct Gadget;
struct ScreenRegion;

enum : uint32_t { kNumberEntryMaxChars = 10 };  // "-" and nine digits, or ten digits

// Edits value in the box of gadget box (region gives the layout's offset,
// null none) on the screen's RastPort in its font: digits and "-" are
// typed, backspace, delete and the arrows edit, Enter ends (Escape and a
// window close end too and keep value). The box is filled with back_pen and
// the text drawn in text_pen. Returns the typed number, 0 for an empty box
// or a negative number, at most 2147483647.
int32_t TypedNumberEntry(const ScreenRegion* region, const Gadget* box, int32_t value, uint32_t text_pen,
                         uint32_t back_pen);
// The entry itself, for screens that read the number with bounds of their
// own: start is shown and edited (at most max_chars characters, 1 to
// kNumberEntryMaxText), the typed text is copied into out (max_chars + 1
// bytes). 1 when Enter took it; 0 when Escape or a window close kept the old
// value (out then holds start, cut to max_chars).
enum : uint32_t { kNumberEntryMaxText = 20 };
int32_t TypedNumberText(const ScreenRegion* region, const Gadget* box, const char* start, uint32_t max_chars,
                        uint32_t text_pen, uint32_t back_pen, char* out);
// Reads a typed text as the entry does: "" and negatives give 0, digits
// beyond 2147483647 give 2147483647, anything after the number is ignored.
int32_t ParseTypedNumber(const char* text);
// The field's bounds, applied by the caller: value limited to lo..hi.
inline int32_t BoundTypedNumber(int32_t value, int32_t lo, int32_t hi) {
  return value < lo ? lo : value > hi ? hi : value;
}
