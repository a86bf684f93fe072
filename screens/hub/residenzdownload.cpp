// The turn download. See residenzdownload.h and docs/download.md.
#include "residenzdownload.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "platform/display.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/statistics.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/internetlowlevel/http.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/media/movie.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/hub/residenzdownload_internal.h"

namespace {

const char kPop3In[] = ".\\Data\\POP3In";
constexpr uint32_t kBoxPen = 7;
constexpr uint32_t kEmailDateField = 3;  // EmailNode::date
constexpr uint32_t kTextUnreadable = 1568, kTextNotStored = 1569;
const char kTextDamaged[] = "A turn mail is damaged and was not evaluated: it stays in the folder Data\\POP3In.";
const char kTextAppliedButDamaged[] =
    "received data. A damaged turn mail was not evaluated: it stays in the folder Data\\POP3In.";

// The module's state (game thread only; ResetDownloadState).
struct DownloadState {
  void (*delay)(int32_t ticks);     // the preset box's waits; null: Delay
  NewsGetFunc newsGet;              // the news fetch; null: HttpGetSize
  void (*undoStep)(TurnUndoStep);   // test seam: told at each step of the undo record
};
DownloadState g_download{};

void UndoStep(TurnUndoStep step) {
  if (g_download.undoStep) g_download.undoStep(step);
}

// ---- the turn's undo record (docs/download.md) ----
//
// Before the first mail is applied, .\Data and .\Map (without the indexes
// and layouts) are copied into .\TurnUndo and the record says "running".
// Once everything the evaluation wrote is on disk the record says "kept" and
// the copy goes. A start that finds "running" puts the copy back: the mails
// are there again, and the next download evaluates them as if nothing had
// happened.

const char kUndoDir[] = ".\\TurnUndo";
const char kUndoData[] = ".\\TurnUndo\\Data\\";
const char kUndoMap[] = ".\\TurnUndo\\Map\\";
const char kUndoRecord[] = ".\\TurnUndo\\Turn.undo";
const char kUndoMagic[] = "TUNDV001";
constexpr uint32_t kUndoRecordSize = 16;
constexpr uint32_t kUndoRunning = 1, kUndoKept = 2;

void UndoRecordImage(uint32_t state, uint8_t* img) {
  std::memcpy(img, kUndoMagic, 8);
  PutBE32(img + 8, 4);
  PutBE32(img + 12, state);
}

// The record's state: 0 when there is no record; a damaged record counts as
// running (the copy is the last whole state).
uint32_t UndoRecordState() {
  FileHandle f = Open(kUndoRecord, MODE_READONLY);
  if (!f) return 0;
  uint8_t d[kUndoRecordSize + 1];
  const int32_t n = Read(f, d, sizeof d);
  Close(f);
  const bool kept = n == (int32_t)kUndoRecordSize && !std::memcmp(d, kUndoMagic, 8) && GetBE32(d + 12) == kUndoKept;
  return kept ? kUndoKept : kUndoRunning;
}

void MakeFolder(const char* path) {
  if (const LockHandle l = CreateDir(path)) UnLock(l);
}

// Copies the realm's files and then writes the record; a failure removes the
// copy again and leaves the realm as it is. 1 when the copy stands.
bool BeginTurnUndo() {
  // A copy without its record is a leftover; none may mix into the new one.
  if (!DeleteTree(kUndoDir)) {
    DebugLog("ResidenzDownload: Konnte die alte Sicherung nicht l\xF6schen !\n");
    return false;
  }
  MakeFolder(".\\Data");
  MakeFolder(".\\Map");
  uint8_t img[kUndoRecordSize];
  UndoRecordImage(kUndoRunning, img);
  if (!CopyDir(".\\Data\\", kUndoData, 2) || !CopyDir(".\\Map\\", kUndoMap, 2) ||
      !SaveMem2File(kUndoRecord, img, sizeof img)) {
    DebugLog("ResidenzDownload: Konnte die Sicherung des Reiches nicht anlegen !\n");
    DeleteTree(kUndoDir);
    return false;
  }
  UndoStep(TURN_UNDO_COPIED);
  return true;
}

// The evaluation is kept: the record says so through a file set (whose
// commit flushes everything written before it), then the copy goes. 0 when
// the record could not be written (the copy then still stands).
bool CommitTurnUndo() {
  uint8_t img[kUndoRecordSize];
  UndoRecordImage(kUndoKept, img);
  FileSet* set = BeginFileSet();
  if (set) FileSetWrite(set, kUndoRecord, img, sizeof img);  // a failed write makes the commit fail
  if (!set || !CommitFileSet(set)) {
    DebugLog("ResidenzDownload: Konnte die Auswertung nicht sichern !\n");
    return false;
  }
  UndoStep(TURN_UNDO_KEPT);
  DeleteTree(kUndoDir);
  return true;
}

// Puts the copy back over .\Data and .\Map, then drops the record and the
// copy. A failure leaves the record, so the next start tries again.
bool RollBackTurnUndo() {
  if (!CopyDir(kUndoData, ".\\Data\\", 3) || !CopyDir(kUndoMap, ".\\Map\\", 3)) {
    DebugLog("ResidenzDownload: Konnte das Reich nicht aus der Sicherung wiederherstellen !\n");
    return false;
  }
  UndoStep(TURN_UNDO_RESTORED);
  if (!DeleteFileA(kUndoRecord)) return false;
  DeleteTree(kUndoDir);
  return true;
}

void Wait(int32_t ticks) {
  if (g_download.delay) g_download.delay(ticks);
  else Delay(ticks);
}

void Progress(ChiefMessageBox* box, const char* text) {
  if (box) SetChiefMessageText(box, text);
}

// The evaluation's closing text.
void Say(ChiefMessageBox* box, TurnEvaluation* r, const char* text) {
  r->said = text;
  Progress(box, text);
}

void PauseMovies(Movie* a, Movie* b, uint8_t halted) {
  SetMovieMode(a, halted);
  SetMovieMode(b, halted);
}

// One step of the evaluation of a mail.
enum PassKind : uint8_t { PASS_CHUNK, PASS_CHUNK_OUT, PASS_NEW_TURN, PASS_TOWNS, PASS_TOWN_STATUS, PASS_CULTURE,
                          PASS_STATISTICS };
struct PassStep {
  PassKind kind;
  ChunkIndex chunk;
  bool newTurnOnly;
  uint32_t label;           // catalog text shown before it (0: none, 1: the LAND text)
  const char* failure;      // logged when it fails (null: not examined)
  const char* passed;       // logged after a chunk pass
};
constexpr uint32_t kLabelNone = 0, kLabelLand = 1;
const PassStep kPasses[] = {
    {PASS_CHUNK, CHUNK_INFO, false, 963, "ResidenzDownload: Fehler von ChunkMachine (INFO) !\n", "INFO passed...\n"},
    {PASS_CHUNK_OUT, CHUNK_INIT, false, kLabelNone, "ResidenzDownload: Fehler von ChunkMachine (INIT) !\n", nullptr},
    {PASS_NEW_TURN, CHUNK_INIT, false, kLabelNone, nullptr, nullptr},
    {PASS_CHUNK, CHUNK_WARE, true, 969, "ResidenzDownload: Fehler von ChunkMachine (WARE) !\n", "WARE passed...\n"},
    {PASS_CHUNK, CHUNK_VERT, true, 971, "ResidenzDownload: Fehler von ChunkMachine (VERT) !\n", "VERT passed...\n"},
    {PASS_CHUNK, CHUNK_MOVE, true, 966, "ResidenzDownload: Fehler von ChunkMachine (MOVE) !\n", "MOVE passed...\n"},
    {PASS_CHUNK, CHUNK_ARMY, true, 970, "ResidenzDownload: Fehler von ChunkMachine (ARMY) !\n", "ARMY passed...\n"},
    {PASS_CHUNK, CHUNK_SHIP, true, 1152, "ResidenzDownload: Fehler von ChunkMachine (SHIP) !\n", "SHIP passed...\n"},
    {PASS_CHUNK, CHUNK_LAND, false, kLabelLand, "ResidenzDownload: Fehler von ChunkMachine (LAND) !\n", "LAND passed...\n"},
    {PASS_CHUNK, CHUNK_MAIL, false, 964, "ResidenzDownload: Fehler von ChunkMachine (MAIL) !\n", "MAIL passed...\n"},
    {PASS_CHUNK, CHUNK_GEBA, false, 965, "ResidenzDownload: Fehler von ChunkMachine (GEBA) !\n", "GEBA passed...\n"},
    {PASS_CHUNK, CHUNK_PMAP, false, 967, "ResidenzDownload: Fehler von ChunkMachine (PMAP) !\n", "PMAP passed...\n"},
    {PASS_CHUNK, CHUNK_ANTW, false, 968, "ResidenzDownload: Fehler von ChunkMachine (ANTW) !\n", "ANTW passed...\n"},
    {PASS_TOWNS, CHUNK_INIT, false, 1024, "ResidenzDownload: konnte die St\xE4" "dte nicht \xFC" "berpr\xFC" "fen... !\n",
     nullptr},
    {PASS_TOWN_STATUS, CHUNK_INIT, false, 972, "ResidenzDownload: ChangeTownStatus fehlgeschlagen... !\n", nullptr},
    {PASS_CULTURE, CHUNK_INIT, false, 1335, nullptr, nullptr},
    {PASS_STATISTICS, CHUNK_INIT, false, 1121, nullptr, nullptr},
};

// A new year and quarter begins: last turn's side files go.
void StartNewTurn() {
  DeleteFileA(".\\Data\\BauScreenGeb.dat");
  DeleteFileA(".\\Data\\Waren.dat");
  CheckPrefs(PREFS_MARKET_FLAG, 1, 0);
}

// Runs every pass over the decoded mail; false when its INFO did not pass
// (the turn is then not applied: it is another player's or damaged).
bool ApplyTurn(ChiefMessageBox* box, uint32_t index, uint32_t flags, const EmailNode* mail) {
  bool new_turn = false;
  for (const PassStep& p : kPasses) {
    if (p.newTurnOnly && !new_turn) continue;
    if (WindowCloseRequested()) return false;  // the undo record takes the turn back
    if (p.label != kLabelNone) {
      char text[200];
      const char* label = GetCatalogStr(p.label == kLabelLand ? 1823u : p.label);
      std::snprintf(text, sizeof text, "%s : %u  ...%s...", GetCatalogStr(961), index, label);
      Progress(box, text);
    }
    int32_t ok = 1;
    switch (p.kind) {
      case PASS_CHUNK: ok = ChunkMachine(ReceivedPoolPath, ChunkBit(p.chunk), flags); break;
      case PASS_CHUNK_OUT: ok = ChunkMachine(OutgoingPoolPath, ChunkBit(p.chunk), flags); break;
      case PASS_NEW_TURN: {
        const int32_t news = NeuerSpielzug();
        if (news < 0) DebugLog("ResidenzDownload: KORN-Chunk ist besch\xE4" "digt !\n");
        new_turn = news == 1;
        if (new_turn) StartNewTurn();
        break;
      }
      case PASS_TOWNS: ok = CheckPlayerTown(); break;
      case PASS_TOWN_STATUS: ok = CheckTownStatus(0); break;
      case PASS_CULTURE: CheckMapCultWorld(); break;
      case PASS_STATISTICS: SaveStatistikData(); break;
    }
    if (!ok && p.failure) DebugLog("%s", p.failure);
    if (p.kind == PASS_CHUNK && p.chunk == CHUNK_INFO) {
      if (!ok) return false;
      DebugLog("%s", p.passed);
      // The turn is taken: its mail file goes, and its date is the newest
      // evaluated one.
      DebugLog("L\xF6sche EMAIL : %s\n", mail->path);
      DeleteFileA(mail->path);
      CheckPrefs(PREFS_LAST_MAIL_DATE, 1, static_cast<uint32_t>(mail->date));
    } else if (ok && p.passed) {
      DebugLog("%s", p.passed);
    }
  }
  return true;
}

// The received pool as it stood before a mail was decoded over it, put back
// when the mail is not applied (another realm's turn, a damaged chunk): the
// screens go on reading the last applied turn.
struct HeldPool {
  void* image = nullptr;
  uint32_t size = 0;
  HeldPool() { image = LoadFile2MemSize(ReceivedPoolPath, MEMF_PUBLIC, &size); }
  ~HeldPool() {
    if (image) FreeVec(image);
  }
  HeldPool(const HeldPool&) = delete;
  HeldPool& operator=(const HeldPool&) = delete;
  bool PutBack() const {
    const bool ok = image ? SaveMem2File(ReceivedPoolPath, image, size) != 0 : DeleteFileA(ReceivedPoolPath) != 0;
    if (!ok) DebugLog("ResidenzDownload: Konnte den letzten Spielzug nicht zur\xFC" "cklegen !\n");
    return ok;
  }
};

// Is the mail older than the last evaluated one (prefs field 31, 0 = none)?
bool OlderThanLastTurn(uint64_t date) {
  const uint32_t last = CheckPrefs(PREFS_LAST_MAIL_DATE, 0, 0);
  return last != 0 && last != 0xFFFFFFFFu && MailDateBefore(date, last);
}

// How many files of the download folder carry a turn mail's name (read or
// not).
uint32_t TurnMailFiles(const char* pattern) {
  const uint16_t count = CountDirEntries(kPop3In);
  char* names = count ? GetDirBuffer(kPop3In, count) : nullptr;
  if (!names) return 0;
  uint32_t n = 0;
  for (uint16_t i = 0; i < count; i++) {
    char file[81];
    std::memcpy(file, names + (size_t)i * 80, 80);
    file[80] = 0;
    n += MailFileMatches(file, pattern) ? 1 : 0;
  }
  FreeVec(names);
  return n;
}

}  // namespace

void ResetDownloadState() { g_download = DownloadState{}; }
void SetDownloadDelay(void (*delay)(int32_t)) { g_download.delay = delay; }
void SetNewsGet(NewsGetFunc get) { g_download.newsGet = get; }
void SetTurnUndoHook(void (*step)(TurnUndoStep)) { g_download.undoStep = step; }

int32_t RecoverTurnDownload() {
  switch (UndoRecordState()) {
    case 0:
    case kUndoKept:
      // Nothing to undo: a copy left without its record, or of a kept
      // evaluation, only goes.
      return DeleteTree(kUndoDir);
    default:
      DebugLog("ResidenzDownload: Eine abgebrochene Auswertung wird zur\xFC" "ckgenommen\n");
      return RollBackTurnUndo() ? 1 : 0;
  }
}

// ---- new turn? ---------------------------------------------------------------------

int32_t NeuerSpielzug() {
  const uint64_t year = CheckPrefs(PREFS_YEAR, 0, 0), quarter = CheckPrefs(PREFS_QUARTER, 0, 0);
  const LockHandle lock = Lock(ReceivedPoolPath, 2);
  if (!lock) return 1;
  UnLock(lock);
  LoadedChunk korn;
  switch (korn.Load("KORN", ReceivedPoolPath)) {
    case CHUNK_GOOD: break;
    case CHUNK_ABSENT: return 0;
    default: return -1;  // a damaged KORN says nothing, not "no new turn"
  }
  const uint32_t korn_year = ChunkGet32(korn.p, 12);
  const uint16_t korn_quarter = ChunkGet16(korn.p, 16);
  OwnPlayerPtr->ReceivedQuarter = korn_quarter;
  if (korn_quarter + 4 * static_cast<uint64_t>(korn_year) <= quarter + 4 * year) return 0;
  const uint32_t turns = CheckPrefs(PREFS_TURN_COUNT, 0, 0);
  CheckPrefs(PREFS_TURN_COUNT, 1, turns == 0xFFFFFFFFu ? 1 : turns + 1);
  CheckPrefs(PREFS_YEAR, 1, korn_year);
  CheckPrefs(PREFS_QUARTER, 1, korn_quarter);
  CheckPrefs(PREFS_NEW_TURN, 1, 1);
  return 1;
}

// ---- the preset account ---------------------------------------------------------------

void CheckPresetMailAccount() {
  const EndpointConfig& e = QoESystemPtr->Endpoints;
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  const size_t stem = std::strlen(e.SharedMailboxPassword);
  // The host may carry a port.
  const size_t dl = std::strlen(e.MailDomain);
  const bool host_is_domain = dl && !strncasecmp(o.smtp_host, e.MailDomain, dl) &&
                              (o.smtp_host[dl] == 0 || o.smtp_host[dl] == ':');
  const bool preset = host_is_domain && stem && !std::strcmp(o.smtp_password, e.SharedMailboxPassword) &&
                      !std::strncmp(o.smtp_user, e.SharedMailboxPassword, stem);
  if (!preset) {
    char* email = CheckPrefsStr(PREFS_EMAIL, 0, nullptr);
    const bool at_provider = email && dl && strcasestr(email, e.MailDomain);
    if (email) FreeVec(email);
    if (!at_provider) return;
  }
  uint32_t counter = CheckPrefs(PREFS_PRESET_WAIT, 0, 0);
  if (counter == 0 || counter == 0xFFFFFFFFu) counter = 9;
  if (counter < 0xFFFF) counter++;
  CheckPrefs(PREFS_PRESET_WAIT, 1, counter);
  DebugLog("CheckPresetMailAccount: Voreingestelltes Postfach, Wartezeit %u s\n", counter);
  char text[400];
  std::snprintf(text, sizeof text, "%s %u", GetCatalogStr(1447), counter);
  auto* box = reinterpret_cast<ChiefMessageBox*>(ChiefMessage(66, 168, 180, 0, 0, 0, 2, text, kBoxPen));
  while (counter > 0 && !WindowCloseRequested()) {
    Wait(50);
    counter--;
    std::snprintf(text, sizeof text, "%s %u", GetCatalogStr(1447), counter);
    Progress(box, text);
  }
  if (box) {
    ChiefMessageLoop(box);
    CloseChiefMessage(box);
  }
}

// ---- fetching ------------------------------------------------------------------------

const char* HoleSpielzugMail(const char* name, char* status, uint32_t status_size) {
  OwnPlayer* me = OwnPlayerPtr;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  const uint32_t count = ++me->Fetches;
  const char* result = nullptr;
  if ((o.net_option_bits & NET_SERVER_ROUTE) && count >= 3) {
    DebugLog("Mail per TCPIP holen...\n");
    PacketCtx ctx{};
    std::snprintf(ctx.Host, sizeof ctx.Host, "%s", QoESystemPtr->Endpoints.GameServer);
    std::snprintf(ctx.Folder, sizeof ctx.Folder, "%s", ".\\Data\\POP3In\\");
    ctx.PlayerId = CheckPrefs(PREFS_PLAYER_ID, 0, 0);
    if (SendPacketConnect(&ctx)) {
      if (SendPacketSid(&ctx)) {
        if (SendPacketGet(&ctx)) {
          result = "ok";
        } else {
          DebugLog("HoleSpielzugMail: Spielserver: %s\n", ctx.Error);
          o.net_option_bits = static_cast<uint8_t>((o.net_option_bits & ~NET_SERVER_ROUTE) | NET_MAIL_ROUTE);
        }
      } else {
        DebugLog("HoleSpielzugMail: Spielserver: %s\n", ctx.Error);
      }
      SendPacketQuit(&ctx);
    } else {
      DebugLog("HoleSpielzugMail: Spielserver: %s\n", ctx.Error);
      o.net_option_bits = static_cast<uint8_t>((o.net_option_bits & ~NET_SERVER_ROUTE) | NET_MAIL_ROUTE);
    }
    ClosePacketCtx(&ctx);
  }
  if (!(o.net_option_bits & NET_MAIL_ROUTE) && count > 2) return result;
  // The mailbox. Without an account on the options screen there is nobody
  // to ask.
  const char* r;
  if (!OptionConfigured(o.pop3_host) || !OptionConfigured(o.pop3_user) || !OptionConfigured(o.pop3_password))
    r = "POP3: no mail account is set up (options screen)";
  else
    r = GetEMail(o.pop3_host, o.pop3_user, o.pop3_password, name, ".\\Data\\POP3In/", 0, 1);
  if (!status || status_size == 0) return r;
  std::snprintf(status, status_size, "%s", r ? r : "");
  return status;
}

// ---- the news ------------------------------------------------------------------------

char* NewsText(const char* reply, uint32_t size) {
  if (!reply) return nullptr;
  const char* body = nullptr;
  for (uint32_t i = 0; i + 4 <= size; i++) {
    if (!std::memcmp(reply + i, "\r\n\r\n", 4)) {
      body = reply + i + 4;
      break;
    }
  }
  if (!body) return nullptr;
  const uint32_t length = static_cast<uint32_t>(reply + size - body);
  // The status: three digits (200), then four bytes the text skips.
  if (length < 7) return nullptr;
  uint32_t status = 0, digits = 0;
  while (digits < length && digits < 9 && body[digits] >= '0' && body[digits] <= '9')
    status = status * 10 + static_cast<uint32_t>(body[digits++] - '0');
  if (digits != 3 || status != 200) return nullptr;
  const uint32_t text_length = length - 7;
  char* text = static_cast<char*>(AllocVec(text_length + 1, MEMF_PUBLIC));
  if (!text) return nullptr;
  std::memcpy(text, body + 7, text_length);
  text[text_length] = 0;
  return text;
}

int32_t FetchNews(Movie* alchemist, Movie* scribe) {
  char name[3 * OWNPLAYER_NAME + 1], path[400];
  UrlEncode(OwnPlayerPtr->LordName, name, sizeof name);
  std::snprintf(path, sizeof path, "%sfetch_news.php?username=%s", OwnPlayerPtr->WebPath, name);
  uint32_t size = 0;
  const NewsGetFunc get = g_download.newsGet ? g_download.newsGet : HttpGetSize;
  char* reply = get(OwnPlayerPtr->WebHost, path, &size);
  if (!reply) {
    DebugLog("FetchNews: %s\n", g_download.newsGet ? "keine Antwort" : HttpError());
    return 0;
  }
  char* text = NewsText(reply, size);
  FreeVec(reply);
  if (!text) {
    DebugLog("FetchNews: Keine Neuigkeiten\n");
    return 0;
  }
  PauseMovies(alchemist, scribe, 1);
  TextBox(text);
  PauseMovies(alchemist, scribe, 0);
  FreeVec(text);
  return 1;
}

// ---- the evaluation -----------------------------------------------------------------------

TurnEvaluation EvaluateTurnMails(ListHeader* list, const char* name, ChiefMessageBox* box) {
  TurnEvaluation r{};
  char text[400];
  // After the close nothing starts: the mails stay for the next run.
  if (WindowCloseRequested()) return r;
  // What a killed download left is undone (or cleared) first; a realm that
  // cannot be put back is not evaluated on.
  if (!RecoverTurnDownload()) {
    Say(box, &r, GetCatalogStr(kTextNotStored));
    ChiefMessageLoop(box);
    return r;
  }
  Progress(box, GetCatalogStr(958));
  char pattern[MAIL_NAME_SIZE + 8];
  std::snprintf(pattern, sizeof pattern, "%s.email", name);
  r.found = ScanEmails2List(list, kPop3In, pattern);
  if (r.found == 0) {
    // Turn mails that are there but cannot be read are not "no mails".
    Say(box, &r, GetCatalogStr(TurnMailFiles(pattern) ? kTextUnreadable : 71));
    ChiefMessageLoop(box);
    return r;
  }
  DebugLog("Anzahl der Mails : %u \n", r.found);
  std::snprintf(text, sizeof text, "%s : %u", GetCatalogStr(959), r.found);
  Progress(box, text);
  if (list->count > 1) {
    DebugLog("Sortiere Liste...\n");
    Progress(box, GetCatalogStr(960));
    list->fields[kEmailDateField].key = 1;
    SortNode(list, SORT_ASCENDING);
  }
  const bool deep = DisplayDepth() > 8;
  if (deep) KartenScreenSaveData();
  // The whole evaluation is undone at the next start unless it ends.
  if (!BeginTurnUndo()) {
    if (deep) KartenScreenNewSetup();
    Say(box, &r, GetCatalogStr(kTextNotStored));
    ChiefMessageLoop(box);
    return r;
  }
  const OwnPlayer before = *OwnPlayerPtr;

  uint32_t i = 0;
  bool whole = true;  // false: a mail's received pool could not be put back
  for (ListNode* n = list->first; list->count && n && !WindowCloseRequested(); i++) {
    auto* mail = reinterpret_cast<EmailNode*>(n);
    const bool last = n->next == list->first;
    ListNode* next = last ? nullptr : n->next;
    std::snprintf(text, sizeof text, "%s : %u", GetCatalogStr(961), i);
    Progress(box, text);
    DebugLog("Mail %u\n", i);
    if (!last) {
      const auto* following = reinterpret_cast<const EmailNode*>(next);
      if (mail->date / 86400 == following->date / 86400) {
        std::snprintf(text, sizeof text, "%s : %u %s", GetCatalogStr(961), i, GetCatalogStr(962));
        Progress(box, text);
        DebugLog("L\xF6sche doppelten Spielzug. File %s\n", mail->path);
        DeleteFileA(mail->path);
        r.dropped++;
        n = next;
        continue;
      }
      if (OlderThanLastTurn(mail->date)) {
        std::snprintf(text, sizeof text, "%s : %u %s", GetCatalogStr(961), i, "found an old turn and deleted it...");
        Progress(box, text);
        DebugLog("L\xF6sche alten Spielzug. File %s\n", mail->path);
        DeleteFileA(mail->path);
        r.dropped++;
        n = next;
        continue;
      }
    }
    uint32_t size = 0;
    char* body = static_cast<char*>(LoadFile2MemSize(mail->path, MEMF_PUBLIC, &size));
    if (!body) {
      DebugLog("ResidenzDownload: Konnte Email nicht in den Speicher laden !\n");
      n = next;
      continue;
    }
    DebugLog("Folgende Email wird verwendet : %s Gr\xF6\xDF" "e %u\n", mail->path, size);
    const HeldPool held;
    const int32_t decoded = DecrunchOneEmail(body, size, ReceivedPoolPath);
    FreeVec(body);
    if (!decoded) {
      DebugLog("ResidenzDownload: Konnte Email nicht entpacken !\n");
      n = next;
      continue;
    }
    r.decoded++;
    // A chunk that cannot be loaded is never taken for an absent one: the
    // whole turn waits, untouched, with its mail.
    char damaged[5];
    if (FileChunksState(ReceivedPoolPath, damaged) != CHUNK_GOOD) {
      DebugLog("ResidenzDownload: Chunk %s des Spielzugs ist besch\xE4" "digt, die Email bleibt : %s\n",
               damaged[0] ? damaged : "?", mail->path);
      r.damaged++;
      if (!(whole = held.PutBack())) break;
      n = next;
      continue;
    }
    std::snprintf(text, sizeof text, "%s : %u ...%s...", GetCatalogStr(961), i, GetCatalogStr(963));
    Progress(box, text);
    if (ApplyTurn(box, i, last ? static_cast<uint32_t>(CHUNKMACHINE_LAST_MAIL) : 0u, mail)) r.passedInfo++;
    else if (!(whole = held.PutBack())) break;
    n = next;
  }
  if (WindowCloseRequested()) {
    // The game ends part-way: the undo record stays "running", so the next
    // start puts the realm back as it was before this evaluation.
    DebugLog("ResidenzDownload: Auswertung abgebrochen, das Spiel endet; sie wird beim n\xE4" "chsten Start zur\xFC" "ckgenommen\n");
    return TurnEvaluation{};
  }

  if (deep) KartenScreenNewSetup();
  if (r.passedInfo > 0) {
    Say(box, &r, r.damaged ? kTextAppliedButDamaged : GetCatalogStr(437));
    // INFO flags bit 0 says the letters sent arrived. A letter leaves
    // .\Data\MailOut once an upload carried it, so what is left there was
    // never sent: it stays for the next upload.
    if (OwnPlayerPtr->InfoFlags & 1) DebugLog("ResidenzDownload: Briefe angekommen; ungesendete bleiben\n");
    CheckPrefs(PREFS_UPLOADS, 1, 0);
  } else {
    // Nothing was applied: the mails stay where they are, nothing is reset.
    DebugLog("ResidenzDownload: Kein Spielzug konnte ausgewertet werden.\n");
    Say(box, &r, r.found > r.dropped && r.decoded == 0 ? GetCatalogStr(kTextUnreadable)
                 : r.damaged                            ? kTextDamaged
                     : "No turn could be read: the turn mails stay in the folder Data\\POP3In.");
  }
  // Only now, with every file of the evaluation on disk, are the mails and
  // prefs field 31 given up for good; a failure puts the realm back.
  if (!whole || !CommitTurnUndo()) {
    const uint32_t found = r.found;
    if (RollBackTurnUndo()) *OwnPlayerPtr = before;
    if (deep) KartenScreenNewSetup();
    r = TurnEvaluation{};
    r.found = found;
    Say(box, &r, GetCatalogStr(kTextNotStored));
  }
  ChiefMessageLoop(box);
  return r;
}

// ---- the download ------------------------------------------------------------------------

int32_t ResidenzDownload(Movie* alchemist, Movie* scribe) {
  ListHeader* list = CreateList(LIST_TURN_MAILS);
  if (!list) {
    DebugLog("ResidenzDownload : kein Speicher f\xFCr ListHeader vorhanden...\n");
    return 0;
  }
  CheckPresetMailAccount();
  if (WindowCloseRequested() || !GoOnline()) {
    DeleteList(list, 1);
    return 0;
  }
  FetchNews(alchemist, scribe);
  char name[MAIL_NAME_SIZE];
  TurnMailName(CheckPrefs(PREFS_PLAYER_ID, 0, 0), name);
  DebugLog("Scanne nach folgenden Mails : '%s' \n", name);
  int32_t result = 0;
  auto* box = reinterpret_cast<ChiefMessageBox*>(ChiefMessage(66, 168, 180, 0, 0, 0, 2, GetCatalogStr(957), kBoxPen));
  if (box) {
    char status[400];
    const char* got = HoleSpielzugMail(name, status, sizeof status);
    Auflegen();
    if (got && std::strcmp(got, "ok") != 0) {
      char text[520];
      std::snprintf(text, sizeof text, "%s : %s", GetCatalogStr(795), got);
      SetChiefMessageText(box, text);
      ChiefMessageLoop(box);
    }
    const TurnEvaluation r = EvaluateTurnMails(list, name, box);
    result = r.passedInfo > 0 ? 1 : 0;
  }
  CloseChiefMessage(box);
  Auflegen();
  DeleteList(list, 1);
  return result;
}
