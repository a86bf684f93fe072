// The start-up recovery: what a kill or a failure of the last run left half
// done is finished before anything else writes. program/main.cpp calls it
// first; kill-loop tests call it as "the next start".
#pragma once
#include <cstdint>

// In this order: the commit records of file sets (FinishCommitRecords), an
// interrupted load (FinishInterruptedLoad), interrupted saves
// (FinishInterruptedSaves), the folders the program writes
// into and the stale-file sweep (PrepareFolders), an interrupted turn
// download (RecoverTurnDownload), the checks of .\Data\Prefs.qoe. Each step is logged; what the player must
// know waits for the title screen (RecoveryNotice). Returns how many steps
// are left open (0 when all is well).
int32_t RecoverAtStart(void);
// What the last RecoverAtStart could not finish, told to the player by the
// title screen once (null when there is nothing to tell).
const char* RecoveryNotice(void);
// Forgets the notice (the title screen showed it; tests).
void ClearRecoveryNotice(void);
// When .\Data\Prefs.qoe failed its checks and was made anew since the last
// call (TakePrefsRebuilt), adds catalog 1798 naming it to the notice, and
// catalog 1940 for each settings file found to be no plain file (a FIFO, a
// link, a folder: left as it is, TakeNotPlainFiles in files.h); the title
// screen and the main screen call it as they open and show the notice.
void NotePrefsRebuilt(void);
