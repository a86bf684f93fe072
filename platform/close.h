// The program's close: the player closed the window, or the process got
// SIGTERM or SIGINT. Any thread may ask for it and read it. The first
// request posts the quit message to the game thread's queue and wakes the
// window loop; the game then ends in order (every box returns its cancel,
// every screen leaves by its own way out, the dispatcher ends).
#pragma once
#include <cstdint>

// Asks for the close (the window's close button, the script's "quit").
void RequestProgramClose();
// 1 once the close was asked for, or a close signal arrived (read by the
// long waits of the game thread: network, countdowns, the evaluation).
int ProgramCloseRequested();
// Real milliseconds since the close was requested, -1 when it was not.
int64_t ProgramCloseAgeMs();
// Forgets a close (tests, between runs).
void ClearProgramClose();

// SIGTERM and SIGINT ask for the close instead of ending the process; a
// second one ends it at once (the system's default). The handler only marks
// the signal; the window loop turns it into the request (PollCloseSignal).
void InstallCloseSignalHandlers();
void RemoveCloseSignalHandlers();
int CloseSignalHandlersInstalled();
// Window thread, on each pass of its loop: a close signal that arrived
// becomes the close request (logged once).
void PollCloseSignal();
