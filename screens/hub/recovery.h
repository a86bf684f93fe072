// The start-up recovery: what a kill or a failure of the last run left half
// done is finished before anything else writes. program/main.cpp calls it
// first; kill-loop tests call it as "the next start".
#pragma once
#include <cstdint>

// In this order: the commit records of file sets (FinishCommitRecords), an
// interrupted load (FinishInterruptedLoad), interrupted saves
// (FinishInterruptedSaves), the folders the program writes
// into and the stale-file sweep (PrepareFolders), an interrupted turn
// download (RecoverTurnDownload), the checks of .\Data\Prefs.qoe and
// .\Data\BTPrefs.qoe. Each step is logged; what the player must
// know waits for the title screen (RecoveryNotice). Returns how many steps
// are left open (0 when all is well).
int32_t RecoverAtStart(void);
// What the last RecoverAtStart could not finish, told to the player by the
// title screen once (null when there is nothing to tell).
const char* RecoveryNotice(void);
// Forgets the notice (the title screen showed it; tests).
void ClearRecoveryNotice(void);
// What the settings' repairs since the last call changed that the player
// must know of, added to the notice naming the file: Prefs.qoe that lost the
// account state (catalog 1798), or, with the game installed, the player ID
// or the lord's name (taken back from the received turn when it holds them,
// 1921, else 1920); BTPrefs.qoe repaired (1922); Optionen.prefs with fields
// set to their defaults (1923 with the pages that show them, 1924..1926).
// Each settings file found to be no plain file (a FIFO, a link, a folder:
// left as it is, TakeNotPlainFiles in files.h) adds catalog 1940 naming it.
// The title screen and the main screen call it as they open and show the
// notice; RecoverAtStart too.
void NoteSettingsRepairs(void);
// The own player's ID (INFO) and lord's name (IMAP) of the received turn
// .\Data\POP3In\GameChunk.qoe written into the prefs and OwnPlayer for those
// lost names (PREFS_REPAIR_PLAYER_ID, PREFS_REPAIR_LORD_NAME); only with
// the game installed, and the name only from a turn of the player the prefs
// name. Returns the bits taken back.
uint32_t TakeBackOwnPlayer(uint32_t lost);
