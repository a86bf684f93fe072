// The application shell: start-up, the game thread with its screen
// dispatcher, and the orderly shut-down.
#include "shell.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/backend.h"
#include "platform/close.h"
#include "catalog.h"
#include "catalog_internal.h"
#include "lists.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/fatal.h"
#include "files.h"
#include "routinen/system/fieldtext.h"
#include "platform/audio_sdl.h"
#include "platform/cd_audio.h"
#include "input.h"
#include "input_internal.h"
#include "platform/log.h"
#include "memory.h"
#include "options.h"
#include "prefs.h"
#include "platform/screenmode.h"
#include "sysrecords.h"
#include "timer.h"

namespace {

// The shell's state record.
struct ShellState {
  // Set by ShutdownSystem so it runs once (the game thread's fatal path and
  // the window thread may both call it); atomic.
  std::atomic<int> shutDown{0};
  // The screen table and the hooks: filled by the entry before the game
  // thread starts, read by the game thread and by ShutdownSystem.
  const ScreenTableEntry* table = nullptr;
  uint32_t tableCount = 0;
  ShellHooks hooks{};
};
ShellState g_shell;

const char* const kModules[2] = {".\\Mods\\QoEMain.XM", ".\\Mods\\QoEMain2.XM"};

int ReadModePrefs(uint32_t* mode_id) {
  uint32_t v = CheckPrefs(PREFS_DISPLAY_MODE, 0, 0);
  if (v == 0xFFFFFFFF) return 0;
  *mode_id = v;
  return 1;
}
void WriteModePrefs(uint32_t mode_id) { CheckPrefs(PREFS_DISPLAY_MODE, 1, mode_id); }

// The endpoints' texts have the size of the player's fields, and a lord's
// name longer than its field is cut at the field's end (as the prefs page
// stores it).
void CopyText(char* dst, uint32_t size, const char* src) { CopyIntoField(dst, size, src); }

// The account values of the own player from the prefs.
void ReadAccountValues() {
  OwnPlayer* p = OwnPlayerPtr;
  uint32_t id = CheckPrefs(PREFS_PLAYER_ID, 0, 0);
  p->PlayerId = id == 0xFFFFFFFF ? 0 : id;
  char* lord = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  CopyText(p->LordName, sizeof p->LordName, lord);
  FreeVec(lord);
  CopyText(p->WebHost, sizeof p->WebHost, QoESystemPtr->Endpoints.WebHost);
  CopyText(p->WebPath, sizeof p->WebPath, QoESystemPtr->Endpoints.WebPath);
}

// Prefs field 24 is set while the game runs; still set at start means the
// last run did not end in order.
void MarkRunning() {
  uint32_t running = CheckPrefs(PREFS_RUNNING, 0, 0);
  if (running != 0 && running != 0xFFFFFFFF) OwnPlayerPtr->Mark = OWNPLAYER_UNCLEAN;
  CheckPrefs(PREFS_RUNNING, 1, 1);
}

// The folders the program writes into, parents first.
const char* const kWriteFolders[] = {".\\Data", ".\\Data\\POP3In", ".\\Data\\POP3Out", ".\\Data\\MailIn",
                                     ".\\Data\\MailOut"};

}  // namespace

int PrepareFolders() {
  int ok = 1;
  for (const char* folder : kWriteFolders) {
    char disk[512];
    struct stat st;
    if (ResolvePath(folder, disk, sizeof disk) && stat(disk, &st) == 0 && S_ISDIR(st.st_mode)) continue;
    if (CreateDirPath(folder)) {
      DebugLog("PrepareFolders: Verzeichnis %s angelegt\n", folder);
    } else {
      DebugLog("PrepareFolders: Konnte Verzeichnis %s nicht anlegen\n", folder);
      ok = 0;
      break;
    }
  }
  if (uint32_t n = RemoveStaleTempFiles(".\\", 6))
    DebugLog("PrepareFolders: %u verwaiste temporaere Datei(en) geloescht\n", n);
  return ok;
}

void InstallScreenModePrefs() { SetScreenModePrefsHook(ReadModePrefs, WriteModePrefs); }

void SetShellHooks(const ShellHooks* hooks) { g_shell.hooks = hooks ? *hooks : ShellHooks{}; }

int32_t KartenScreenSaveData() { return g_shell.hooks.KartenScreenSaveData ? g_shell.hooks.KartenScreenSaveData() : 1; }
int32_t KartenScreenNewSetup() { return g_shell.hooks.KartenScreenNewSetup ? g_shell.hooks.KartenScreenNewSetup() : 1; }

int OpenLibraries() {
  g_shell.shutDown = 0;
  // A close asked for before start-up (a signal during the mode page) holds.
  const int closing = ProgramCloseRequested();
  ResetInputState();
  if (closing) RequestProgramClose();
  // Sockets: a write to a closed connection reports an error instead of
  // ending the process.
  signal(SIGPIPE, SIG_IGN);
  const PlatformBackend* b = CurrentPlatformBackend();
  if (!b) {
    DebugLog("OpenLibraries: Keine Plattform ausgewaehlt\n");
    return 0;
  }
  MainWindow = b;
  return 1;
}

int CheckSystem() {
  QoESystem* s = QoESystemPtr;
  s->MemoryAtStart = AvailMem(4);
  long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  s->Processors = cpus > 0 ? static_cast<uint32_t>(cpus) : 1;
  struct utsname u;
  if (uname(&u) == 0) DebugLog("CheckSystem: System %s %s (%s)\n", u.sysname, u.release, u.machine);
  DebugLog("CheckSystem: %u Prozessor(en), %llu Bytes Speicher frei\n", s->Processors,
           static_cast<unsigned long long>(s->MemoryAtStart));
  return 1;
}

int SetupSystem() {
  g_shell.shutDown = 0;
  QoESystem* s = QoESystemPtr;
  OpenProgramCatalog();
  if (!OptionenPrefsLoad(&s->Optionen)) DebugLog("SetupSystem: Konnte Optionen nicht laden\n");
  LoadEndpoints(&s->Endpoints);
  s->TcpIpStack = s->Optionen.tcpip_stack;
  StartEventTimer(kTimerGameTick, kGameTickMs);
  LoadPaths();
  FillDisplayRecord();
  ReadAccountValues();
  // The game data's layer picks the town the screens show.
  if (g_shell.hooks.SettleActiveTown) g_shell.hooks.SettleActiveTown();
  return 1;
}

void ShowStartFailure(uint32_t text_id) {
  constexpr uint32_t kStartFailureTitle = 1900;
  // Without the program's catalog (before SetupSystem, or in the English
  // game) one is opened for the box; it changes nothing in English.
  Catalog* own =
      CatalogModule().program ? nullptr : OpenCatalog("QoEBrowser.catalog", CatalogStrings, CATALOG_STRING_COUNT);
  ShowMessageBox(GetCatalogStr(kStartFailureTitle), GetCatalogStr(text_id));
  CloseCatalog(own);
}

int InitializeDirectSound() {
  // Effects and modules are mixed in 16 bit into the platform's one audio
  // output; without a real output (or in a headless run) the game is silent
  // and says so. CD music only when a drive answers.
  uint32_t caps = 0;
  const PlatformBackend* b = CurrentPlatformBackend();
  bool headless = b && b == HeadlessBackend();
  if (!headless && (AudioMixIsOpen() || AudioMixOpen(kSoundOutputRate, 1)))
    caps = SOUND_16BIT | SOUND_SOUNDFX | SOUND_FASTTRACKER | SOUND_MUSIC;
  else DebugLog("InitializeDirectSound: Keine Tonausgabe, das Spiel bleibt stumm\n");
  if (CdDrivePresent()) caps |= SOUND_CDROM;
  QoESystemPtr->SoundCapabilities = caps;
  return 1;
}

void SetScreenTable(const ScreenTableEntry* table, uint32_t count) {
  g_shell.table = table;
  g_shell.tableCount = table ? count : 0;
}

ScreenFunc FindScreen(int32_t code) {
  for (uint32_t i = 0; i < g_shell.tableCount; i++)
    if (g_shell.table[i].code == code) return g_shell.table[i].screen;
  return nullptr;
}

CatalogEntry** StoryEventTable() { return CatalogModule().storyTable.load(); }

// How often a pinned screen is opened again before the pin gives up.
constexpr uint32_t kMaxPinnedReopens = 2000;
// A pinned screen left this many times in a row within the moment below of
// its opening cannot stay open, and the pin ends.
constexpr uint32_t kMaxPinnedAtOnce = 10;
constexpr uint64_t kPinnedMomentMs = 50;

// The screens the map leads back to: the main screen (both its codes), the
// town view and the barracks.
bool MapWayBackScreen(int32_t code) { return code == SCREEN_MAIN || code == 1139 || code == 39 || code == 152; }

int32_t RunScreenDispatcher() {
  int32_t code = StartScreenCode();
  // The map's way back: the last of the screens above that the player left,
  // unless the map opened it itself (the town a figure entered). A screen the
  // map opens and that returns to it (the dungeon) never becomes it, so the
  // map's EXIT cannot lead back into the dungeon; a start past the title
  // leaves the map for the main screen.
  int32_t from = SCREEN_MAIN;
  int32_t prev = SCREEN_TITLE;  // the screen just left
  bool opened_by_map = false;   // the screen about to run was opened by the map (or by itself after that)
  if (code > 0 && code != SCREEN_TITLE) {
    // A scripted run (tests) starts at its screen, as if entered from the title.
    DebugLog("Main: Start bei Screen %d\n", code);
  } else {
    ScreenFunc title = FindScreen(SCREEN_TITLE);
    if (!title) {
      DebugLog("Main: Kein Titelbild\n");
      return SCREEN_END;
    }
    DebugLog("Main: Screen %d, betreten von 0\n", SCREEN_TITLE);
    NewKeyScope();
    code = title(0);
  }
  // A pinned run (the screens' walks) opens its start screen again whatever
  // it left with; a screen that cannot stay open ends the pin.
  const int32_t pinned = StartScreenPinned() ? (StartScreenCode() > 0 ? StartScreenCode() : SCREEN_TITLE) : 0;
  uint32_t reopened = 0, at_once = 0;
  bool holding = pinned != 0;
  uint64_t opened_at = PlatformTimeMs();
  auto pin = [&](int32_t left) {
    if (!holding || left == pinned || WindowCloseRequested()) return left;
    // Left again and again without a moment on the screen: it cannot stay.
    at_once = PlatformTimeMs() - opened_at < kPinnedMomentMs ? at_once + 1 : 0;
    if (++reopened > kMaxPinnedReopens || at_once >= kMaxPinnedAtOnce) {
      DebugLog("Main: Screen %d bleibt nicht offen (verlassen mit %d), er wird nicht mehr geoeffnet\n", pinned, left);
      holding = false;
      return left;
    }
    DebugLog("Main: Screen %d verlassen mit %d, wieder geoeffnet (%u)\n", pinned, left, reopened);
    return pinned;
  };
  if (pinned == SCREEN_TITLE) code = pin(code);
  // A story event still to be told comes right after the title.
  const bool after_title = StartScreenCode() <= SCREEN_TITLE && !pinned;
  if (after_title && code != SCREEN_OPTIONS && code != SCREEN_END && !WindowCloseRequested()) {
    uint32_t story = RizizOzezPrefs(1, 0, 0);
    if (story != 0 && story != 0xFFFFFFFF) {
      RizizOzezPrefs(1, 1, 0);
      code = SCREEN_STORY;
    }
  }
  while (code != SCREEN_END && !WindowCloseRequested()) {
    ScreenFunc screen = FindScreen(code);
    if (!screen) {
      DebugLog("Main: Kein Screen fuer Code %d\n", code);
      if (g_shell.hooks.NoScreen) g_shell.hooks.NoScreen(code);
      break;
    }
    const int32_t entry = code == SCREEN_MAP ? from : prev;
    DebugLog("Main: Screen %d, betreten von %d\n", code, entry);
    opened_at = PlatformTimeMs();
    NewKeyScope();  // a key held on the screen before acts no more on this one
    int32_t next = screen(entry);
    if (code != SCREEN_MAP && !opened_by_map && MapWayBackScreen(code)) from = code;
    // What the map leads to, other than its way back, is opened by the map;
    // a screen that opens itself again stays so.
    opened_by_map = code == SCREEN_MAP ? next != from : (next == code && opened_by_map);
    prev = code;
    code = pin(next);
  }
  return code;
}

int Main(void*) {
  QoESystem* s = QoESystemPtr;
  FillDisplayRecord();
  if (!OpenScreenRastPort()) DebugLog("Main: Kein Bildschirm-RastPort\n");
  LoadMouseCursor(s->Optionen.mouse_cursor ? 110 : 103);
  CatalogModule().storyTable = MakeRizizOzezTab();
  if (!CatalogModule().storyTable.load()) DebugLog("Main: Konnte Story-Tabelle nicht anlegen\n");
  if (g_shell.hooks.StartTcpIp) g_shell.hooks.StartTcpIp();
  const char* module = kModules[Zufall(1) & 1];
  if (g_shell.hooks.SoundMaske && !g_shell.hooks.SoundMaske(0, module)) {
    DebugLog("Main: Konnte Sound nicht einrichten\n");
  } else {
    bool panel = (s->Optionen.net_option_bits & NET_IRC_PANEL) != 0;
    if (panel && g_shell.hooks.StartIrcPanel) g_shell.hooks.StartIrcPanel();
    bool deep = s->Display && s->Display->Depth > 8;
    if (deep && g_shell.hooks.MapPrebuild && !g_shell.hooks.MapPrebuild()) DebugLog("Main: Konnte Kartendaten nicht anlegen\n");
    MarkRunning();
    RunScreenDispatcher();
    CheckPrefs(PREFS_RUNNING, 1, 0);
    if (deep && g_shell.hooks.MapRelease) g_shell.hooks.MapRelease();
    if (g_shell.hooks.ExitSound) g_shell.hooks.ExitSound();
    // The internet page may have started the panel since: stop it whatever
    // the start found (no panel: nothing to do).
    if (g_shell.hooks.StopIrcPanel) g_shell.hooks.StopIrcPanel();
  }
  // Whatever screen ended the game, its picture and the screen record go.
  if (g_shell.hooks.FreePictures) g_shell.hooks.FreePictures();
  if (g_shell.hooks.QuitTcpIp) g_shell.hooks.QuitTcpIp();
  FreeVec(CatalogModule().storyTable.exchange(nullptr));
  PostWindowDestroy();
  return 0;
}

void ShutdownSystem() {
  if (g_shell.shutDown.exchange(1)) return;
  DebugLog("ShutdownSystem: Programm wird beendet%s\n", FatalSignalPending() ? " (Fatal Exception)" : "");
  if (const int64_t age = ProgramCloseAgeMs(); age >= 0)
    DebugLog("ShutdownSystem: %lld ms nach dem Schliessen\n", static_cast<long long>(age));
  if (g_shell.hooks.FreeMovieBase) g_shell.hooks.FreeMovieBase();
  StopEventTimer(kTimerGameTick);
  StopEventTimer(kTimerCursor);
  FreeCaches(3);
  FreePaths();
  ResetTextCursor();
  CloseScreenRastPort();
  CloseProgramCatalog();
  QoESystemPtr->SoundCapabilities = 0;
  QoESystemPtr->SoundStatus = 0;
  AudioMixClose();
  MainWindow = nullptr;
  FreeListTypes();
  LogMemoryCounters();
  DebugLog("ShutdownSystem: %u Dateien an FileSet und SaveMem2File vorbei beschrieben\n", FileWritesOutsideSets());
}

void ResetShellState() {
  g_shell.shutDown = 0;
  g_shell.table = nullptr;
  g_shell.tableCount = 0;
  g_shell.hooks = ShellHooks{};
}
