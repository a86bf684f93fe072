#include "close.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>

#include "backend.h"
#include "events.h"
#include "log.h"

namespace {

const int kCloseSignals[] = {SIGTERM, SIGINT};

// The close's state record: plain lock-free atomics (the signal handler
// writes `signalled`; any thread reads both).
struct CloseState {
  std::atomic<int> requested{0};
  std::atomic<int> signalled{0};  // the signal's number, 0 none
  std::atomic<int> installed{0};
  std::atomic<int64_t> requestedAt{0};  // real ms of the first request, 0 none
  struct sigaction old[2];        // window thread: install and remove
};
CloseState g_close;

void Handler(int sig) {
  // Only marks it: the window loop does the rest. A second signal before
  // the game ended takes the system's default: the process ends at once.
  int none = 0;
  if (g_close.signalled.compare_exchange_strong(none, sig)) return;
  signal(sig, SIG_DFL);
  raise(sig);
}

int64_t RealMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

void RequestProgramClose() {
  int64_t none = 0;
  if (!g_close.requestedAt.compare_exchange_strong(none, RealMs())) return;
  g_close.requested = 1;
  DebugLog("Programmende angefordert\n");
  PostQuitMessage();
  const PlatformBackend* b = CurrentPlatformBackend();
  if (b && b->wake) b->wake();
}

int64_t ProgramCloseAgeMs() {
  const int64_t at = g_close.requestedAt.load();
  return at ? RealMs() - at : -1;
}

int ProgramCloseRequested() { return g_close.requested.load() || g_close.signalled.load() ? 1 : 0; }

void ClearProgramClose() {
  g_close.requested = 0;
  g_close.requestedAt = 0;
  g_close.signalled = 0;
}

void InstallCloseSignalHandlers() {
  if (g_close.installed.exchange(1)) return;
  struct sigaction sa;
  std::memset(&sa, 0, sizeof sa);
  sa.sa_handler = Handler;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  for (int i = 0; i < 2; i++) sigaction(kCloseSignals[i], &sa, &g_close.old[i]);
}

void RemoveCloseSignalHandlers() {
  if (!g_close.installed.exchange(0)) return;
  for (int i = 0; i < 2; i++) sigaction(kCloseSignals[i], &g_close.old[i], nullptr);
}

int CloseSignalHandlersInstalled() { return g_close.installed.load(); }

void PollCloseSignal() {
  const int sig = g_close.signalled.load();
  if (!sig || g_close.requested.load()) return;
  DebugLog("Signal %d: das Spiel wird beendet\n", sig);
  RequestProgramClose();
}
