// Fatal signals (SIGSEGV, SIGBUS, SIGILL, SIGFPE). The handler only records
// the fault, stops the faulting thread and wakes the window thread; the window
// loop then runs RunFatalShutdown: the shut-down hook (ShutdownSystem), the
// box "Fatal Exception: ..." titled "Fatal Error" and the end of the process.
#pragma once

// Installs the handlers; call on the window thread. shutdown may be null.
void InstallFatalSignalHandlers(void (*shutdown)());
void RemoveFatalSignalHandlers();
// 1 once a fatal signal was recorded. Shut-down code must not wait for the
// faulting thread: it never runs again.
int FatalSignalPending();
// How long the shut-down before the box may take before the process is
// ended without it (default 15 s; tests shorten it). The box itself, once
// shown, stays until the player closes it.
void SetFatalShutdownLimit(int ms);
// The message text for the recorded fault: "Fatal Exception: <name>\n<where>\n".
void FatalMessageText(char* out, unsigned size);
// Window thread: runs the shut-down, shows the box, ends the process with
// exit code 3. Never returns. From its start a SIGTERM, SIGINT or SIGHUP ends
// the process at once (exit code 3), and every process forked from then on
// (the box, when the backend shows it from a process of its own) is killed
// when this one ends, even by SIGKILL.
[[noreturn]] void RunFatalShutdown();
// Name of a fault as the box shows it ("Access Violation", ...).
const char* FatalExceptionName(int sig, int code);
