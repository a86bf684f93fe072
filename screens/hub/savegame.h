// Save games, the new game and the quit checks of the title screen. A save
// is a copy of .\Data and .\Map (without the picture, sound and story
// indexes and the layouts) in .\Game\<lord>\<year>_<quarter>\. Folder layout
// and the rules for names: docs/savegames.md.
#pragma once
#include <cstdint>

struct TitelAnims;

// Saves the running game (account state 2; else 1 at once) into the folder
// of the received turn's year and quarter. move 0 copies, any other value
// moves (the game's files leave .\Data and .\Map; the options stay). The
// new save replaces an old one of the same quarter only once it is whole;
// the move then empties the game out of .\Data and .\Map in one set.
// 1 when the folders could be made (also without a KORN chunk: then only the
// lord's folder), 0 on failure (reported; an older save stays as it was; a
// move whose save was written but whose game could not be put away keeps
// the game installed).
int32_t SaveGame(uint32_t move);
// Lets the player choose a lord and a saved turn and copies it back over
// .\Data and .\Map; 1 when a save was loaded, 0 when cancelled or none.
int32_t LoadGame();
// Copies the save in turn_dir (".\Game\<lord>\<year>_<quarter>") back over
// .\Data and .\Map (indexes and layouts stay), all or nothing. Before
// anything is copied its folders are walked (no file read, no link
// followed): a link, a FIFO or any other file that is no plain file, a
// damaged list of contents (too long, cut, unsorted, a path twice, more
// files than the save holds) and a file the list does not name refuse it.
// Then the copy is made whole beside the game, checked (its files against
// the list, its chunk files read whole) and moved in by renames. 1, or 0
// with the running game unchanged.
int32_t RestoreSave(const char* turn_dir);
// The save's file that made the last RestoreSave refuse the save (a program
// path, ".\Game\...\Data\..."; the save's folder itself when that is a
// link), or null.
const char* LoadDamagedFile();
// Why the last RestoreSave refused its save: none, a damaged file, a file
// that is no plain file or folder, a file its list of contents does not name.
enum : int32_t {
  LOAD_REFUSED_NONE = 0,
  LOAD_REFUSED_DAMAGED = 1,
  LOAD_REFUSED_NOT_PLAIN = 2,
  LOAD_REFUSED_UNLISTED = 3,
};
int32_t LoadRefusal();
// Finishes a load that a kill interrupted (or drops its unfinished copy):
// 1 when a load was completed, 0 when there was none to finish, -1 when it
// could not be completed (tried again next time).
int32_t FinishInterruptedLoad();
// Finishes what killed saves left in .\Game\<lord>: a save that was whole
// takes its quarter's place, an unfinished one is deleted (start-up
// recovery; the next save of a quarter does it too). 1 when something was
// finished or dropped, 0 when there was nothing, -1 when a whole save could
// not be put in place (it stays for the next try).
int32_t FinishInterruptedSaves();
// Tests: told after each entry a load moves out of the game (moving_in 0)
// or into it (1), with how many of the folder it has moved; null removes it.
void SetLoadMoveHook(void (*moved)(int32_t moving_in, uint32_t count));
// Puts the running game away (moved into its save folder; without an
// installed game the prefs are deleted) and sets the system up anew. 1.
int32_t NeuesSpiel();
// Escape on the title with a game: asks when no turn was sent, lists a
// beginner's omissions (while prefs field 33 is below 11). 1 when the
// player may quit, 0 to stay.
int32_t CheckGameValues(TitelAnims* anims);
// The warnings text of CheckGameValues (empty when there is nothing to warn
// about); the caller frees it with FreeVec. Null when out of memory.
char* CollectGameWarnings();
// True when name may be one folder of a save-game path: not empty, at most
// 79 bytes, no '\', '/', ':', control characters, no leading dot.
bool SaveGameNameOk(const char* name);
