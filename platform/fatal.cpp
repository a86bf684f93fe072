#include "fatal.h"

#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "backend.h"
#include "log.h"
#include "threads.h"

namespace {

const int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

// What the handler records; plain lock-free atomics only.
std::atomic<int> g_pending{0};
std::atomic<int> g_sig{0};
std::atomic<int> g_code{0};
std::atomic<uintptr_t> g_addr{0};
std::atomic<const char*> g_thread{nullptr};
std::atomic<int> g_installed{0};
std::atomic<int> g_shutting_down{0};
std::atomic<int> g_box_shown{0};              // the fatal box is up: the player reads it
std::atomic<int> g_shutdown_limit_ms{15000};  // for the shut-down before the box
std::atomic<int> g_window_faulted{0};
pthread_t g_window_thread;
void (*g_shutdown)() = nullptr;

sem_t g_wake;  // posted by the handler (sem_post is async-signal-safe)
pthread_t g_watcher;
std::atomic<int> g_watcher_quit{0};
struct sigaction g_old[4];

void WriteRaw(const char* s) {
  ssize_t r = write(2, s, strlen(s));
  (void)r;
}

std::atomic<pid_t> g_box_parent{0};  // the process that shows the box, 0 before

// A signal that asks the process to end, once the fatal error is being dealt
// with: nothing is left to end in order, so it ends at once.
void EndNow(int) {
  WriteRaw("Fatal Exception: Ende auf Signal\n");
  _exit(3);
}

// In a child forked while the fatal error is dealt with (the box, which the
// backend may show from a process of its own): it ends with this process,
// even when that is killed.
void ChildAfterFork() {
  const pid_t parent = g_box_parent.load();
  if (!parent) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(3);  // the process ended before the line above
}

void Handler(int sig, siginfo_t* info, void*) {
  int code = info ? info->si_code : 0;
  // Float overflow/underflow and integer overflow are not ours to handle:
  // they take the system's default action.
  if (sig == SIGFPE && (code == FPE_FLTOVF || code == FPE_FLTUND || code == FPE_INTOVF)) {
    signal(sig, SIG_DFL);
    return;
  }
  int expected = 0;
  if (!g_pending.compare_exchange_strong(expected, 1)) {
    // A second fault (perhaps inside the shut-down): nothing orderly is left.
    if (pthread_equal(pthread_self(), g_window_thread) || g_shutting_down.load()) {
      WriteRaw("Fatal Exception during shut-down\n");
      _exit(3);
    }
    for (;;) pause();
  }
  g_sig = sig;
  g_code = code;
  g_addr = info ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
  g_thread = CurrentThreadName();
  g_window_faulted = pthread_equal(pthread_self(), g_window_thread) ? 1 : 0;
  sem_post(&g_wake);
  // The faulting thread never continues; the window thread (or, when it is
  // the one that faulted, the watcher) ends the process.
  for (;;) pause();
}

// Waits for the handler, then wakes the window loop. Ends the process itself
// when the window thread faulted or does not finish in time.
void* Watcher(void*) {
  sigset_t all;
  sigfillset(&all);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
  for (;;) {
    while (sem_wait(&g_wake) != 0) {
    }
    if (g_watcher_quit.load()) return nullptr;
    if (!g_pending.load()) continue;
    const PlatformBackend* b = CurrentPlatformBackend();
    if (b && b->wake) b->wake();
    // The window thread is stopped when it faulted itself: do its work here.
    for (int waited = 0; waited < 10000 && !g_window_faulted.load(); waited += 20) {
      if (g_shutting_down.load()) break;
      SleepMs(20);
    }
    if (!g_shutting_down.load()) RunFatalShutdown();
    // Only the shut-down itself is timed: once the box is up it stays until
    // the player closes it, and the window thread then ends the process.
    for (int waited = 0; waited < g_shutdown_limit_ms.load(); waited += 20) {
      if (g_box_shown.load()) {
        for (;;) pause();
      }
      SleepMs(20);
    }
    WriteRaw("Fatal Exception: shut-down did not finish\n");
    _exit(3);
  }
}

}  // namespace

const char* FatalExceptionName(int sig, int code) {
  switch (sig) {
    case SIGSEGV: return "Access Violation";
    case SIGBUS: return "Bus Error";
    case SIGILL: return code == ILL_PRVOPC || code == ILL_PRVREG ? "Privileged Instruction" : "Illegal Instruction";
    case SIGFPE:
      switch (code) {
        case FPE_INTDIV: return "Integer Divide by Zero";
        case FPE_FLTDIV: return "Float Divide by Zero";
        case FPE_FLTINV: return "Float Invalid Operation";
        case FPE_FLTRES: return "Float Inexact Result";
        default: return "Float Exception";
      }
    default: return "Unknown Exception";
  }
}

void InstallFatalSignalHandlers(void (*shutdown)()) {
  g_shutdown = shutdown;
  g_window_thread = pthread_self();
  if (g_installed.exchange(1)) return;
  static void* window_stack = AddSignalStack();  // kept for the process's life
  (void)window_stack;
  sem_init(&g_wake, 0, 0);
  static const int at_fork = pthread_atfork(nullptr, nullptr, ChildAfterFork);
  (void)at_fork;
  g_watcher_quit = 0;
  pthread_create(&g_watcher, nullptr, Watcher, nullptr);
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_sigaction = Handler;
  sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < 4; i++) sigaction(kSignals[i], &sa, &g_old[i]);
}

void RemoveFatalSignalHandlers() {
  if (!g_installed.exchange(0)) return;
  for (int i = 0; i < 4; i++) sigaction(kSignals[i], &g_old[i], nullptr);
  g_watcher_quit = 1;
  sem_post(&g_wake);
  pthread_join(g_watcher, nullptr);
  sem_destroy(&g_wake);
}

int FatalSignalPending() { return g_pending.load(); }

void SetFatalShutdownLimit(int ms) { g_shutdown_limit_ms = ms > 0 ? ms : 1; }

void FatalMessageText(char* out, unsigned size) {
  if (!out || size == 0) return;
  const char* thread = g_thread.load();
  char where[160];
  std::snprintf(where, sizeof where, "Signal %d at address 0x%llx in thread %s", g_sig.load(),
                static_cast<unsigned long long>(g_addr.load()), thread ? thread : "?");
  std::snprintf(out, size, "Fatal Exception: %s\n%s\n", FatalExceptionName(g_sig.load(), g_code.load()), where);
}

void RunFatalShutdown() {
  if (g_shutting_down.exchange(1)) {
    // The other thread already does it; wait to be ended.
    for (;;) pause();
  }
  // From here a SIGTERM or SIGINT ends the process at once (the close
  // handler's orderly end cannot run any more), and what it forks ends with it.
  g_box_parent = getpid();
  struct sigaction end;
  std::memset(&end, 0, sizeof end);
  end.sa_handler = EndNow;
  sigemptyset(&end.sa_mask);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    sigaction(sig, &end, nullptr);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  }
  char text[512];
  FatalMessageText(text, sizeof text);
  DebugLog("%s", text);
  if (g_shutdown) g_shutdown();
  const PlatformBackend* b = CurrentPlatformBackend();
  if (b && b->minimise) b->minimise();
  g_box_shown = 1;
  ShowMessageBox("Fatal Error", text);
  // Static destructors might touch what the stopped thread holds: end here.
  std::fflush(nullptr);
  _exit(3);
}
