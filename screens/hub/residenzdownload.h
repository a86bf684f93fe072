// The download half of the turn cycle: online, the news, the turn mails
// fetched from the mailbox or the game server, sorted and weeded, each one
// decoded and applied to the local files pass by pass, then the towns, the
// culture maps and the statistics (docs/download.md).
#pragma once
#include <cstdint>

struct Movie;

// Fetches and evaluates the waiting turns; the movies (may be null) pause
// while a text box is open. 1 when at least one turn mail was applied.
int32_t ResidenzDownload(Movie* alchemist, Movie* scribe);

// Finishes what a download killed part-way left behind (call at start-up
// before any game file is read): an evaluation that had not ended is undone
// from its copy in .\TurnUndo, so its mails wait for the next download again;
// the copy of an ended one is removed. 1 when the realm is whole, 0 when the
// copy could not be put back (the record stays for the next try).
int32_t RecoverTurnDownload();

// 1 when the received pool's KORN names a later year and quarter than prefs
// fields 2 and 3 (also when there is no received pool); it is then recorded
// (fields 2, 3, 33, 35). 0 otherwise; -1 (nothing recorded) when the KORN
// chunk is there but damaged.
int32_t NeuerSpielzug();

// While the game provider's shared mailbox is the player's account: a box
// counting down, one second longer with every download (prefs field 26).
void CheckPresetMailAccount();

// Fetches the turn mails named name into .\Data\POP3In: the mailbox for the
// first two fetches of a run, the game server from the third when the
// options ask for it (a failure switches this run back to the mailbox).
// Returns "ok", the mail client's status (copied into status), or null when
// nothing was fetched and nothing is to be said.
const char* HoleSpielzugMail(const char* name, char* status, uint32_t status_size);

// Fetches the news page and shows it; 1 when a news text was shown.
int32_t FetchNews(Movie* alchemist, Movie* scribe);
