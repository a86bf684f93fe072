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
// Reads a typed text as the entry does: "" and negatives give 0, digits
// beyond 2147483647 give 2147483647, anything after the number is ignored.
int32_t ParseTypedNumber(const char* text);
// The field's bounds, applied by the caller: value limited to lo..hi.
inline int32_t BoundTypedNumber(int32_t value, int32_t lo, int32_t hi) {
  return value < lo ? lo : value > hi ? hi : value;
}
