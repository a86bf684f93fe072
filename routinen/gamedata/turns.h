// Turn evaluation (ChunkMachine), game set-up (GameInit) and removal
// (GameExit). Each pass applies one chunk type of a received turn to the
// local files, all or nothing. What each pass reads and writes:
// docs/turns.md.
#pragma once
#include <cstdint>

extern const char* const ReceivedPoolPath;  // ".\\Data\\POP3In\\GameChunk.qoe"
extern const char* const OutgoingPoolPath;  // ".\\Data\\POP3Out\\GameChunk.qoe"

// ChunkMachine flags.
enum : uint32_t { CHUNKMACHINE_LAST_MAIL = 1 };

// Applies the chunk type of bit (a ChunkMask bit: INFO, INIT, WARE, VERT,
// MOVE, ARMY, SHIP, LAND, MAIL, GEBA, PMAP or ANTW) of the pool at path.
// INIT works on the outgoing pool; ARMY and SHIP given the outgoing pool
// repair it against the figures of .\Data\MapPrefs.qoe. Non-zero on success;
// on failure no local file has changed.
int32_t ChunkMachine(const char* path, uint32_t bit, uint32_t flags);

// The realm's rank for its realm points (LAND +82): how many of the title
// values 1, 3, 7, 11, 15, 20, 25 and 30 they reach, 0..8. The LAND pass
// keeps it in prefs field 38 as rank + 1 and flags a rise as a coronation.
uint32_t RealmRank(uint32_t realm_points);

// Sets a new game up from the decoded sign-up answer (a pool holding at
// least INFO, BMAP, IMAP and PMAP): map files, MapPrefs, towns, side files,
// the player's prefs (9, 10, 2, 3, 33) and OwnPlayer. Non-zero on success;
// a pool that does not check out writes nothing.
int32_t GameInit(const char* path);
// GameInit that also marks the game installed, in the same set as its
// files: prefs field 0 (account state) becomes 2 and field 31 (the date of
// the last evaluated mail) mail_date. Non-zero on success; on failure
// nothing changed.
int32_t InstallGame(const char* path, uint32_t mail_date);

// Removes the running game's own files (turn pools, map and culture files,
// towns, letters, side files) and sets the account state (prefs field 0)
// to 0, all in one set; indexes, layouts, options, the other prefs and save
// games stay. Never follows a symbolic link. Non-zero on success; on
// failure nothing changed.
int32_t GameExit();

// Map chunk layouts (byte chunks; offsets from the chunk start).
enum : uint32_t {
  PMAP_COUNT = 12,       // u32 LE number of cells
  PMAP_CELLS = 16,       // 22-byte MapTile records, little-endian
  MAPTILE_SIZE = 22,
  BMAP_COUNT = 12,       // u32 BE number of parts
  BMAP_PARTS = 16,       // u16 BE column, u16 BE row, 400 bytes of bits
  BMAP_PART_SIZE = 404,
  IMAP_CAPITAL_X = 12,   // u32 BE
  IMAP_CAPITAL_Y = 16,   // u32 BE
  IMAP_DUNGEON_X = 20,   // u32 BE (0xFFFFFFFF none)
  IMAP_DUNGEON_Y = 24,   // u32 BE
  IMAP_CAPITAL_NAME = 28,// char[80]
  IMAP_LORD_NAME = 108,  // char[40]
  IMAP_SIZE = 148,
  MAP_PART_BYTES = 70400,
  KNOWLEDGE_PART_BYTES = 400,
};
