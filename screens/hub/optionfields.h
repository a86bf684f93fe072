// What the option pages share: their labels, the lamps of their switches and
// their one-line text fields (docs/options.md).
#pragma once
#include <cstdint>

struct EntryField;
struct ScreenBase;
struct ScreenRegion;
struct TextCursor;
struct TextFont;

constexpr uint32_t kOptionLampOn = 58, kOptionLampOff = 57;
// The longest text a field takes: the options' 40-byte strings less their end.
constexpr uint32_t kOptionFieldMax = 39;
// A field's ground and its text.
constexpr uint32_t kOptionFieldPen = 44, kOptionTextPen = 7;

// The lamps of a page: 1 while graphic 58 or 57 is open.
struct OptionLamps {
  uint8_t on, off;
};
// The CD track 4, the lamps and the page's layout (path, record mask) in
// base. A failure is logged as "<lamp_page>: Konnte gr\xFCnen Button nicht
// laden!" and so on (the layout's as "<layout_page>: Kann TitelbarDaten
// <path> nicht laden!") and its ScreenStartStep returned; 0 when all is open.
uint32_t OpenOptionPage(ScreenBase* base, OptionLamps* lamps, const char* lamp_page, const char* layout_page,
                        const char* layout, uint32_t mask);
void CloseOptionLamps(OptionLamps* lamps);

// The type 8 labels of a page, outlined in pens 0 and 7. A text of several
// lines ("\n") is set out in equal rows of its rectangle, each line centred
// in its row; a label without a text is left to the page.
void DrawOptionLabels(const ScreenRegion* region);
// The lamp at mark point n plus (5, 5): 58 (green) when on, 57 (red) off.
void DrawOptionLamp(const ScreenRegion* region, uint32_t n, bool on);

// One text field: what it shows, the width of each character, and for a
// hidden field (a password) the real text behind its asterisks.
struct OptionField {
  char text[80];
  uint8_t widths[80];
  char real[40];
  uint8_t hidden;
};

// The most characters the field's area takes, never more than
// kOptionFieldMax (0 for a missing area).
uint32_t OptionFieldLimit(const EntryField* area);
// Sets the field's text (cut at its limit; a hidden field shows one "*" a
// character) and its width table in the font.
void SetOptionFieldText(OptionField* f, const EntryField* area, TextFont* font, const char* text);
// The field's area filled with pen 44 and its text in pen 7 on one line.
void DrawOptionField(const OptionField* f, const EntryField* area, TextFont* font);
// Makes the field the edited one: the old cursor stopped, the field drawn,
// and a text cursor behind its text returned.
TextCursor* ActivateOptionField(const OptionField* f, const EntryField* area, TextFont* font, TextCursor* old);
// One key in the edited field (EditKey on one line in its area). A hidden
// field follows its display exactly: a character appends one to both,
// backspace removes one from both, other editing keys change neither.
void OptionFieldKey(OptionField* f, const EntryField* area, TextFont* font, TextCursor* cursor, int32_t key);
// One key for a page's form (field n over entry record n, count fields):
// Enter ends the editing (*active -1, the cursor stopped), Tab makes the
// next field the edited one (the last wraps to the first), a key 1..255
// goes into the edited field. Nothing without an edited field.
void OptionFormKey(OptionField* fields, uint32_t count, const ScreenRegion* region, TextFont* font,
                   TextCursor** cursor, int32_t* active, int32_t key);
