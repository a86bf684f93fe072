// Inside the turn download: the evaluation of the fetched mails without the
// fetch (tests and the benchmark run it with or without a progress box), the
// news answer's reader and the module's test seams.
#pragma once
#include <cstddef>
#include <cstdint>

struct ChiefMessageBox;
struct ListHeader;

// What one evaluation did.
struct TurnEvaluation {
  uint32_t found;       // turn mails the scan found
  uint32_t dropped;     // duplicates and old turns deleted
  uint32_t decoded;     // mails decoded into the received pool
  uint32_t passedInfo;  // of them, mails whose INFO pass succeeded
  uint32_t damaged;     // of them, mails not applied because a chunk of theirs is damaged
  const char* said;     // the closing text the box showed
};

// Scans .\Data\POP3In for the turn mails of name into list (an empty list of
// type 20), sorts them oldest first, drops same-day duplicates and turns
// older than prefs field 31 (never the newest), decodes and applies each,
// and ends as the download does: the result text, MailOut and prefs field 15
// only when a mail passed INFO. A mail that is another realm's or holds a
// damaged chunk is not applied: it stays, and so does the received pool. The box (may be null) shows the progress
// and waits for the player's OK at the end.
TurnEvaluation EvaluateTurnMails(ListHeader* list, const char* name, ChiefMessageBox* box);

// The news page's text: the body of an HTTP answer (after the first blank
// line) that begins with the status 200, from its eighth byte on, as a new
// terminated block (FreeVec); null for any other answer.
char* NewsText(const char* reply, uint32_t size);

// The module's state back to its start (no test seams set).
void ResetDownloadState();
// Test seams: the waits of the preset-account box (Delay by default) and the
// news fetch (host, path; the whole answer in a new block, size through
// *size, or null; null restores HttpGetSize).
void SetDownloadDelay(void (*delay)(int32_t ticks));
// Test seam: told at each step of the turn's undo record (null: none).
enum TurnUndoStep : uint8_t {
  TURN_UNDO_COPIED,    // the copy and its "running" record stand; no mail applied yet
  TURN_UNDO_KEPT,      // the record says "kept"; the copy is about to go
  TURN_UNDO_RESTORED,  // a roll-back put the copy back; the record is about to go
};
void SetTurnUndoHook(void (*step)(TurnUndoStep));
using NewsGetFunc = char* (*)(const char* host, const char* path, uint32_t* size);
void SetNewsGet(NewsGetFunc get);
