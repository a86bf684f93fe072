// The start-up and shut-down sequence of the application shell, called by
// main in this order: InstallScreenModePrefs (before the display-mode page),
// OpenLibraries, CheckSystem, SetupSystem, [display set-up],
// InitializeDirectSound, then the game thread Main; ShutdownSystem at the end.
// These are minimal stand-ins: the application shell fills them in (system
// records, prefs, catalog, sound, the screen dispatcher) in this file pair.
#pragma once

// Lets the display-mode page remember its choice in prefs field 1
// (SetScreenModePrefsHook over CheckPrefs).
void InstallScreenModePrefs();
// Network and library checks; 0 ends the program.
int OpenLibraries();
// Checks of the machine (memory, processor, system); 0 ends the program.
int CheckSystem();
// Catalog, options, the 100 ms game timer, paths, account values; 0 ends the
// program. Runs again after a load or a new game.
int SetupSystem();
// The sound output; 0 means no sound (the program goes on).
int InitializeDirectSound();
// The game thread: runs the screens, then posts the window's destroy
// request (PostWindowDestroy). Returns its exit code.
int Main(void* arg);
// The orderly shut-down; runs on the window thread, also after a fatal
// signal (FatalSignalPending() is then 1 and the game thread is stopped).
void ShutdownSystem();
