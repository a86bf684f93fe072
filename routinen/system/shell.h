// The start-up and shut-down sequence of the application shell, called by
// main in this order: PrepareFolders (within the start-up recovery,
// screens/hub/recovery.h), InstallScreenModePrefs (before the display-mode page),
// OpenLibraries, CheckSystem, SetupSystem, [display set-up],
// InitializeDirectSound, then the game thread Main; ShutdownSystem at the end.
// Main runs the screen dispatcher over the program's screen table.
#pragma once
#include <cstdint>

// Start-up, before the prefs are first read: makes the folders the program
// writes into (.\Data and its pool and mail folders) and deletes temporary
// files that killed saves left behind; both logged. 1, or 0 when .\Data
// cannot be made (settings then cannot be kept).
int PrepareFolders();
// Lets the display-mode page remember its choice in prefs field 1
// (SetScreenModePrefsHook over CheckPrefs).
void InstallScreenModePrefs();
// Library set-up (sockets: a closed peer must not end the process); 0 when
// no platform backend is selected, which ends the program.
int OpenLibraries();
// Looks at the machine (free memory, processors, system) and logs it; 1.
int CheckSystem();
// Catalog (QoEBrowser.catalog over CatalogStrings, German locale only), options, the 100 ms game timer, index paths, account values,
// then the active town (hook). Runs again after a load or a new game. 1 (problems are logged).
int SetupSystem();
// A start that fails after the display was found is told in a native box
// (title catalog 1900) with one of these catalog texts, in the catalog's
// language: before SetupSystem the catalog is opened for the box alone.
enum : uint32_t { START_FAILURE_WINDOW = 1901, START_FAILURE_DISPLAY = 1902 };
void ShowStartFailure(uint32_t text_id);
// The sound output: opens the platform's mixed audio output and sets the
// SoundCapabilities from what really opened (1 | 8 | 16 | 32 with an output,
// none without one or in a headless run; 4 when a CD drive answers); 1.
enum : uint32_t { kSoundOutputRate = 44100 };
int InitializeDirectSound();
// The game thread: story table, TCP/IP, sound with one of the two music
// modules, IRC panel, map pre-build on deep displays, the screen dispatcher,
// then the reverse; posts the window's destroy request last. Returns 0.
int Main(void* arg);
// The orderly shut-down (once per run); runs on the window thread, also
// after a fatal signal (FatalSignalPending() is then 1).
void ShutdownSystem();
// The shell's state record back to its start (tests, between runs): the
// shut-down mark cleared, no screen table, every hook slot empty.
void ResetShellState();

// ---- Screen dispatcher ------------------------------------------------------
// A screen runs until the player leaves it and returns the next ScreenCode.
// It is given the code of the screen it was entered from (the map screen
// returns there); the title screen gets 0.
using ScreenFunc = int32_t (*)(int32_t entry_code);
struct ScreenTableEntry {
  int32_t code;
  ScreenFunc screen;
  // Script lines (the commands of platform/headless.h, in the 640 x 480
  // mode) that open the screen's boxes, one fragment per box, the list ended
  // by null (null: none). The close table test opens the screen, each box in
  // turn, and closes the game there; a new screen adds its fragments here.
  const char* const* boxes = nullptr;
  // Script lines that leave the screen by its own way out (its leave gadget;
  // null: its EXIT gadget, "": it has none, Escape leaves it). The screen
  // graph test follows them from every screen to the main screen.
  const char* leave = nullptr;
};
enum : int32_t { SCREEN_END = -1, SCREEN_TITLE = 1, SCREEN_MAIN = 2, SCREEN_MAP = 3,
                 SCREEN_OPTIONS = 133, SCREEN_STORY = 505 };
// The program's screens (the table is used in place, not copied).
void SetScreenTable(const ScreenTableEntry* table, uint32_t count);
// The screen for a code, null when there is none.
ScreenFunc FindScreen(int32_t code);
// The dispatcher: the title screen, the story screen after it when story
// prefs field 1 asks for it, then each returned code's screen, until -1, a
// code without a screen (logged and told through the NoScreen hook) or a
// closed window. Returns the code that ended it.
// code without a screen or the close. A scripted run's start code
// (StartScreenCode, platform/backend.h) takes the title's place. Returns the
// code that ended it.
int32_t RunScreenDispatcher();

// The story-event table Main builds at start (MakeRizizOzezTab: 45 pointers
// to the StoryStrings entries); null outside Main's run.
struct CatalogEntry;
CatalogEntry** StoryEventTable();

// ---- Calls into later layers ------------------------------------------------
// Filled by the layers that own them; an empty slot counts as success.
struct ShellHooks {
  int32_t (*StartTcpIp)();       // Start_TCP_IP
  void (*QuitTcpIp)();           // Quit_TCP_IP
  int32_t (*SoundMaske)(uint32_t wanted, const char* module);  // 0 = failed
  void (*ExitSound)();
  void (*StartIrcPanel)();       // with NetOptionBits 16
  void (*StopIrcPanel)();
  int32_t (*MapPrebuild)();      // the map screen's data, deep displays
  void (*MapRelease)();
  void (*FreeMovieBase)();       // a CurrentMovieBase a screen left behind
  int32_t (*KartenScreenSaveData)();  // map data written before the turn files change; 1 ok
  int32_t (*KartenScreenNewSetup)();  // map data built anew after they changed; 1 ok
  void (*SettleActiveTown)();    // the active town chosen from the game data (end of SetupSystem)
  void (*NoScreen)(int32_t code);  // tells the player that a code has no screen, before the game ends
  void (*FreePictures)();        // every loaded picture and the screen record, at the game's end
};
// Copies the slots (null clears every slot).
void SetShellHooks(const ShellHooks* hooks);
// Code that changes the turn or map files (download, upload, new ships, the
// sign-up, saving and loading) calls the first before and the second after
// its work. 1, also while the map screen has not filled them in.
int32_t KartenScreenSaveData();
int32_t KartenScreenNewSetup();
