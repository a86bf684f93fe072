// The start-up recovery. See recovery.h.
#include "recovery.h"

#include <algorithm>
#include <string>

#include "platform/log.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "screens/hub/residenzdownload.h"
#include "screens/hub/savegame.h"

namespace {

// The recovery's state record: the notice for the player, written by
// RecoverAtStart (before the game thread starts) and read and cleared by the
// title screen on the game thread.
// A settings file that is no plain file, left as it is (its "%s" the file).
constexpr uint32_t kNotPlainText = 1940;

struct RecoveryState {
  std::string notice;
  bool commitNoted = false;  // the notice tells of a commit record
};
RecoveryState g_recovery;

void AddNotice(const std::string& text) {
  if (!g_recovery.notice.empty()) g_recovery.notice += "\n\n";
  g_recovery.notice += text;
}

// Each commit record that cannot be finished: the first one's reason goes
// into the notice (the log names every record and its files).
void NoteUnfinishedCommit(const char*, const char* problem) {
  if (g_recovery.commitNoted) return;
  g_recovery.commitNoted = true;
  AddNotice(std::string("The last run was stopped while it changed several files at once, and this start could "
                        "not finish the change (") +
            problem + "). Those files were left as they are; the log names them.");
}

// Each settings file found to be no plain file (a FIFO, a link, a folder)
// since the last call: catalog 1940 naming it, once each.
void NoteNotPlainFiles() {
  char* files = TakeNotPlainFiles();
  if (!files) return;
  const std::string frame = GetCatalogStr(kNotPlainText);
  const size_t at = frame.find("%s");
  std::string all = files;
  FreeVec(files);
  for (size_t start = 0; start <= all.size();) {
    const size_t end = std::min(all.find('\n', start), all.size());
    const std::string name = all.substr(start, end - start);
    DebugLog("RecoverAtStart: %s ist keine einfache Datei, dem Spieler gemeldet\n", name.c_str());
    AddNotice(at == std::string::npos ? frame : frame.substr(0, at) + name + frame.substr(at + 2));
    start = end + 1;
  }
}

// Each record dropped because some of its files were written since: the
// player learns which files kept their newer state.
void NoteDroppedCommit(const char*, const char* files) {
  AddNotice(std::string(GetCatalogStr(1703)) + "\n" + files);
}

}  // namespace

int32_t RecoverAtStart(void) {
  g_recovery = RecoveryState{};
  int32_t open = 0;
  SetCommitRecordHook(NoteUnfinishedCommit);
  SetCommitDroppedHook(NoteDroppedCommit);
  if (int32_t left = FinishCommitRecords()) {
    DebugLog("RecoverAtStart: %d Aenderung(en) bleiben offen\n", left);
    open++;
  }
  SetCommitRecordHook(nullptr);
  SetCommitDroppedHook(nullptr);
  if (FinishInterruptedLoad() < 0) {
    AddNotice("The last run was stopped while it loaded a saved game, and the load could not be finished. It is "
              "tried again at every start; until then the game may be incomplete.");
    open++;
  }
  // So is a save whose folder was not yet in its quarter's place.
  if (FinishInterruptedSaves() < 0) {
    DebugLog("RecoverAtStart: Ein unterbrochener Spielstand bleibt offen\n");
    open++;
  }
  if (!PrepareFolders()) {
    DebugLog("RecoverAtStart: Einstellungen koennen nicht gespeichert werden\n");
    open++;
  }
  // A turn download killed part-way is undone before any game file is read.
  if (!RecoverTurnDownload()) {
    DebugLog("RecoverAtStart: Die abgebrochene Auswertung bleibt offen\n");
    open++;
  }
  // The prefs are checked before the first screen reads them: a file that
  // fails its checks is made anew here, and the title tells the player.
  CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0);
  NotePrefsRebuilt();
  return open;
}

const char* RecoveryNotice(void) { return g_recovery.notice.empty() ? nullptr : g_recovery.notice.c_str(); }

void ClearRecoveryNotice(void) { g_recovery = RecoveryState{}; }

void NotePrefsRebuilt(void) {
  NoteNotPlainFiles();
  if (!TakePrefsRebuilt()) return;
  DebugLog("RecoverAtStart: Prefs.qoe wurde neu angelegt, dem Spieler gemeldet\n");
  const std::string frame = GetCatalogStr(1798);
  const size_t at = frame.find("%s");
  AddNotice(at == std::string::npos ? frame : frame.substr(0, at) + "Data\\Prefs.qoe" + frame.substr(at + 2));
}
