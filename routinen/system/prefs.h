// The prefs files: .\Data\Prefs.qoe (40 fields, header "PREF" "V001") and
// the story prefs .\Data\BTPrefs.qoe (47 fields, header "BTPR" "V001").
// Both are big-endian; the layouts are in docs/prefs.md. Every call opens the
// file, reads or writes one field and closes it again. A missing file is
// created with defaults. A short one keeps every field it still holds whole
// and gets the defaults for the rest (a field cut in its middle included).
// Each file has checks of its own: its header, and each field with a range
// in it (Prefs.qoe: the account state 0..2; BTPrefs.qoe: the story 0..44 of
// the story table, the flags 0 or 1, the show-at-start flag only with a
// story to show, a terminated town name). A file that fails them is made
// anew from the defaults as far as it failed. Every repair is logged; one
// the player must know of is noted for TakePrefsRepairs. A write that would
// put a field out of its range is refused.
#pragma once
#include <cstdint>

enum PrefsField : uint32_t {
  PREFS_ACCOUNT_STATE = 0,    // u16, AccountState
  PREFS_DISPLAY_MODE = 1,     // u16, row of the screen-mode table
  PREFS_YEAR = 2,             // u32, newest evaluated turn
  PREFS_QUARTER = 3,          // u8
  PREFS_TOWN_ID = 4,          // u32, town last shown (0xFFFFFFFF = redraw)
  PREFS_MARKET_SWITCH = 5,    // u8
  PREFS_FIRST_NAME = 6,       // char[40]
  PREFS_LAST_NAME = 7,        // char[40]
  PREFS_EMAIL = 8,            // char[40]
  PREFS_PLAYER_ID = 9,        // u32
  PREFS_LORD_NAME = 10,       // char[40]
  PREFS_SIGNUP_NUMBER = 11,   // u32, number of the sign-up file
  PREFS_MARKET_FLAG = 12,     // u8
  PREFS_RESERVED_13 = 13,     // u8
  PREFS_LUXURY_GOOD = 14,     // u8 at 200, chosen luxury / special goods type
  PREFS_UPLOADS = 15,         // u8, uploads since the last download
  PREFS_MAP_BORDERS = 16,     // u8
  PREFS_AUTO_CULTIVATION = 17,// u8
  PREFS_FREE_WORKERS = 18,    // u32
  PREFS_MARKET_WOOD = 19,     // u32
  PREFS_MARKET_STONE = 20,    // u32
  PREFS_LUXURY_VALUE1 = 21,   // i32 at 216
  PREFS_LUXURY_VALUE2 = 22,   // i32 at 220
  PREFS_LUXURY_VALUE3 = 23,   // i32 at 224
  PREFS_RUNNING = 24,         // u8
  PREFS_DICE1 = 25,           // u8 at 229
  PREFS_PRESET_WAIT = 26,     // u16
  PREFS_DICE2 = 27,           // u8 at 232
  PREFS_TIP_COUNTER = 28,     // u32 (0xFFFFFFFF = unset)
  PREFS_RESERVED_29 = 29,     // u8
  PREFS_TUTORIAL_STEP = 30,   // u8, 0..18
  PREFS_LAST_MAIL_DATE = 31,  // u32, mail-date scale
  PREFS_DICE3 = 32,           // u8 at 240
  PREFS_TURN_COUNT = 33,      // u32
  PREFS_DICE4 = 34,           // u8 at 242
  PREFS_NEW_TURN = 35,        // u8
  PREFS_STORY_THRESHOLD = 36, // u8 at 244
  PREFS_RESERVED_37 = 37,     // u8
  PREFS_RANK = 38,            // u32, the realm's rank + 1 (0: none stored yet)
  PREFS_RESERVED_39 = 39,     // u32
  PREFS_FIELD_COUNT = 40,
};

enum AccountState : uint32_t { ACCOUNT_NONE = 0, ACCOUNT_SIGNUP_SENT = 1, ACCOUNT_INSTALLED = 2 };

enum : uint32_t { PREFS_FILE_SIZE = 264, BTPREFS_FILE_SIZE = 188, BTPREFS_MIN_SIZE = 142,
                  BTPREFS_FIELD_COUNT = 47 };

struct PrefsFieldInfo {
  uint16_t offset;   // from the start of the file
  uint8_t size;      // 1, 2, 4, 40 (Prefs.qoe) or 80 (BTPrefs field 46)
  uint32_t def;      // default of a number field
};
// The layout tables (40 and 47 entries).
const PrefsFieldInfo* PrefsLayout();
const PrefsFieldInfo* BTPrefsLayout();

// Number fields: read (write 0) returns the value (a byte field 0..255);
// write 1 stores value and returns it. 0xFFFFFFFF when the file can be
// neither opened nor created (also when it is no plain file: a FIFO, a link,
// a folder is neither read nor replaced, NoteNotPlainFile in files.h), on a
// read or write failure, for a value out of the field's range (nothing is
// written), and for a string field or an unknown field index.
uint32_t CheckPrefs(uint32_t field, uint32_t write, uint32_t value);
// What the repairs since the last call changed that the player must know
// of (PrefsRepair bits; the note is then taken), 0 when nothing: the caller
// tells the player.
enum PrefsRepair : uint32_t {
  PREFS_REPAIR_ACCOUNT = 1,    // Prefs.qoe: the account state was lost (now 0)
  PREFS_REPAIR_PLAYER_ID = 2,  // Prefs.qoe: the own player ID was lost (now 0)
  PREFS_REPAIR_LORD_NAME = 4,  // Prefs.qoe: the lord's name was lost (now empty)
  PREFS_REPAIR_STORY = 8,      // BTPrefs.qoe: a field was cut short or out of its range
};
uint32_t TakePrefsRepairs(void);
// String fields (6, 7, 8, 10): read returns a new terminated 40-byte copy
// (FreeVec it); write stores at most 39 characters and returns text itself.
// Null on failure or for a number field.
char* CheckPrefsStr(uint32_t field, uint32_t write, const char* text);

// Sets number fields of the prefs file at path (a Prefs.qoe that is not
// the running game's, such as a save being loaded) in one whole-file
// rewrite; missing and short files as with CheckPrefs. 1, or 0 on failure
// (also for a string field or an unknown index: then nothing is written).
int32_t SetPrefsFieldsIn(const char* path, const uint32_t* fields, const uint32_t* values, uint32_t count);
// The same file's new bytes without writing them (for a FileSet): a new
// AllocVec block and *size, or null (bad field, a value out of its range,
// no memory). A short file or one that fails its checks gives the image
// CheckPrefs would make of it (and, for the running game's file, the same
// note for TakePrefsRepairs).
uint8_t* PrefsImageWithFields(const char* path, const uint32_t* fields, const uint32_t* values, uint32_t count,
                              uint32_t* size);
// The same with text fields too (6, 7, 8, 10; at most 39 characters each,
// as CheckPrefsStr writes them): every field of one change in one image.
uint8_t* PrefsImageWithTexts(const char* path, const uint32_t* fields, const uint32_t* values, uint32_t count,
                             const uint32_t* text_fields, const char* const* texts, uint32_t text_count,
                             uint32_t* size);

// Story prefs, same scheme: field 0 u32 (the story to show, 0..44), 1..45
// bytes 0 or 1 (1 = show the story screen at start, k + 1 = story k was
// shown), 46 an 80-byte text (a write keeps at most 40 characters). A
// missing file is made by SaveStandardRizizOzezPrefs; when that fails the
// result is 0xFFFFFFFF (null for the text call), as for a write that would
// put a field out of its range.
uint32_t RizizOzezPrefs(uint32_t field, uint32_t write, uint32_t value);
char* RizizOzezPrefsStr(uint32_t field, uint32_t write, const char* text);
// Writes the standard 188-byte story prefs (header, data zeroed); 0 on failure.
int32_t SaveStandardRizizOzezPrefs();
