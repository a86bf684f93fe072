// The start-up recovery. See recovery.h.
#include "recovery.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
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
  // The prefs and the story prefs are checked before the first screen reads
  // them: a file cut short or failing its checks is made whole here, and the
  // title tells the player.
  CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0);
  if (FileHandle story = Open(".\\Data\\BTPrefs.qoe", MODE_READONLY)) {
    Close(story);
    RizizOzezPrefs(0, 0, 0);
  }
  NoteSettingsRepairs();
  return open;
}

const char* RecoveryNotice(void) { return g_recovery.notice.empty() ? nullptr : g_recovery.notice.c_str(); }

void ClearRecoveryNotice(void) { g_recovery = RecoveryState{}; }

namespace {

// A catalog frame with its "%s" marks replaced in order by the values.
std::string Framed(uint32_t id, std::initializer_list<std::string> values) {
  std::string text = GetCatalogStr(id);
  size_t from = 0;
  for (const std::string& v : values) {
    const size_t at = text.find("%s", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, v);
    from = at + v.size();
  }
  return text;
}

}  // namespace

uint32_t TakeBackOwnPlayer(uint32_t lost) {
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED) return 0;
  // The received turn is the own realm's: the INFO pass takes no other.
  LoadedChunk info("INFO", ReceivedPoolPath);
  const uint32_t pool_id = info.p && info.len() >= 4 ? ChunkGet32(info.p, INFO_PLAYER_ID) : 0;
  if (!pool_id) {
    DebugLog("TakeBackOwnPlayer: Kein empfangener Spielzug mit Spielernummer\n");
    return 0;
  }
  uint32_t back = 0;
  OwnPlayer* own = OwnPlayerPtr;
  if ((lost & PREFS_REPAIR_PLAYER_ID) && CheckPrefs(PREFS_PLAYER_ID, 1, pool_id) == pool_id) {
    own->PlayerId = pool_id;
    back |= PREFS_REPAIR_PLAYER_ID;
  }
  // The name only from a turn of the player the prefs name.
  if ((lost & PREFS_REPAIR_LORD_NAME) && CheckPrefs(PREFS_PLAYER_ID, 0, 0) == pool_id) {
    LoadedChunk imap("IMAP", ReceivedPoolPath);
    char lord[40] = {};
    if (imap.p && imap.len() >= IMAP_SIZE - 12) {
      std::memcpy(lord, imap.p + IMAP_LORD_NAME, sizeof lord);
      lord[sizeof lord - 1] = 0;
    }
    if (lord[0] && CheckPrefsStr(PREFS_LORD_NAME, 1, lord)) {
      CopyIntoField(own->LordName, sizeof own->LordName, lord);
      back |= PREFS_REPAIR_LORD_NAME;
    }
  }
  DebugLog("TakeBackOwnPlayer: Spieler %u aus dem empfangenen Spielzug, zurueckgeholt %u von %u\n", pool_id, back,
           lost);
  return back;
}

void NoteSettingsRepairs(void) {
  NoteNotPlainFiles();
  const uint32_t prefs = TakePrefsRepairs();
  const uint32_t lost = prefs & (PREFS_REPAIR_PLAYER_ID | PREFS_REPAIR_LORD_NAME);
  const size_t before = g_recovery.notice.size();
  if (prefs & PREFS_REPAIR_ACCOUNT) {
    AddNotice(Framed(1798, {"Data\\Prefs.qoe"}));
  } else if (lost && CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) == ACCOUNT_INSTALLED) {
    const uint32_t back = TakeBackOwnPlayer(lost);
    AddNotice(Framed(back == lost ? 1921 : 1920, {"Data\\Prefs.qoe"}));
  }
  if (prefs & PREFS_REPAIR_STORY) AddNotice(Framed(1922, {"Data\\BTPrefs.qoe"}));
  if (const uint32_t areas = TakeOptionenRepairs()) {
    std::string names;
    const uint32_t bits[3] = {OPTIONEN_REPAIR_SOUND, OPTIONEN_REPAIR_INTERNET, OPTIONEN_REPAIR_MODEM};
    for (uint32_t i = 0; i < 3; ++i) {
      if (!(areas & bits[i])) continue;
      if (!names.empty()) names += ", ";
      names += GetCatalogStr(1924 + i);
    }
    AddNotice(Framed(1923, {"Data\\Optionen.prefs", names}));
  }
  if (g_recovery.notice.size() != before)
    DebugLog("NoteSettingsRepairs: Reparierte Einstellungen dem Spieler gemeldet (%u)\n", prefs);
}
