#include "events.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <map>

#include "log.h"
#include "platform_internal.h"
#include "threads.h"

namespace {

struct TimerState {
  bool running = false;
  uint32_t period = 0;
  uint64_t next_due = 0;
};

uint64_t RealClockMs();

// The event queue's state record.
struct EventQueueState {
  // The queue, the idle mark and the timers: under `lock` (the window
  // thread and helper threads post, the game thread takes).
  std::mutex lock;
  std::condition_variable arrived;  // a message was posted
  std::condition_variable idleCv;   // the game thread went idle
  std::deque<PlatformMessage> queue;
  bool idle = false;
  int idleWaiters = 0;  // threads in WaitGameThreadIdle's wait
  // Messages the full queue refused, per kind, not yet logged, and the
  // platform time from which each kind may be logged again.
  uint32_t dropped[kMsgQuit + 1] = {};
  uint64_t droppedNextLog[kMsgQuit + 1] = {};
  bool dropsPending = false;
  TimerState timers[kTimerCount];
  // Clock threads: how many run (begun, not ended) and the times those that
  // sleep wait for, each with its hurry flag; under `lock`, `clockCv` wakes
  // both sides.
  int clockThreads = 0;
  std::multimap<uint64_t, const std::atomic<int>*> clockDues;
  std::condition_variable clockCv;
  // The clock (tests replace it) and the timer hook: atomics, any thread.
  std::atomic<uint64_t (*)()> clock{RealClockMs};
  std::atomic<int> clockVirtual{0};
  std::atomic<void (*)()> timerChanged{nullptr};
};
// Never destroyed: threads may still wait on its condition variables while
// exit() runs the destructors, and destroying a waited-on one blocks for ever.
EventQueueState& g_events = *new EventQueueState();

uint64_t RealClockMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The queue's limit applies to what is made again: a timer ticks again at
// its next period, an app message is a wake-up its poster posts again when
// it was refused. Keys, text, the mouse and the close always go in, behind
// what waits, so input keeps its order.
bool Droppable(uint32_t kind) { return kind == kMsgTimer || kind == kMsgApp; }

// Logs the refused messages of each kind at most once a second, with their
// count; those of the last second wait for the next drop or post.
void LogDropsLocked(uint64_t now) {
  bool pending = false;
  for (uint32_t k = 0; k <= kMsgQuit; k++) {
    if (!g_events.dropped[k]) continue;
    if (now < g_events.droppedNextLog[k]) {
      pending = true;
      continue;
    }
    DebugLog("PostGameMessage: Warteschlange voll, %u Nachrichten der Art %u verworfen", g_events.dropped[k], k);
    g_events.dropped[k] = 0;
    g_events.droppedNextLog[k] = now + 1000;
  }
  g_events.dropsPending = pending;
}

int PostLocked(const PlatformMessage& m) {
  const uint64_t now = PlatformTimeMs();
  if (g_events.queue.size() >= kEventQueueLimit && Droppable(m.kind)) {
    g_events.dropped[m.kind]++;
    LogDropsLocked(now);
    return 0;
  }
  if (g_events.dropsPending) LogDropsLocked(now);
  g_events.queue.push_back(m);
  g_events.queue.back().time_ms = now;
  g_events.idle = false;
  g_events.arrived.notify_one();
  return 1;
}

}  // namespace

uint64_t PlatformTimeMs() { return g_events.clock.load()(); }

void SetPlatformClock(uint64_t (*clock)()) { g_events.clock.store(clock ? clock : RealClockMs); }
void SetPlatformClockVirtual(int is_virtual) { g_events.clockVirtual.store(is_virtual ? 1 : 0); }
int PlatformClockIsVirtual() { return g_events.clockVirtual.load(); }

void BeginClockThread() {
  std::lock_guard<std::mutex> g(g_events.lock);
  g_events.clockThreads++;
}

void EndClockThread() {
  std::lock_guard<std::mutex> g(g_events.lock);
  if (g_events.clockThreads > 0) g_events.clockThreads--;
  g_events.clockCv.notify_all();
}

int SleepUntilPlatformTime(uint64_t due_ms, const std::atomic<int>* hurry) {
  std::unique_lock<std::mutex> l(g_events.lock);
  auto mine = g_events.clockDues.emplace(due_ms, hurry);
  g_events.clockCv.notify_all();
  int on_time = 1;
  for (;;) {
    if (hurry && hurry->load()) {
      on_time = 0;
      break;
    }
    const uint64_t now = PlatformTimeMs();
    if (now >= due_ms) break;
    // Short steps on a virtual or replaced clock, which moves without
    // telling; on the real one the whole rest (a hurry or a wake-up notifies).
    const uint64_t rest = due_ms - now;
    const bool stepped = g_events.clockVirtual.load() || g_events.clock.load() != RealClockMs;
    const uint64_t step = stepped ? 5 : 1000;  // a due time of "never" must not overflow the wait
    g_events.clockCv.wait_for(l, std::chrono::milliseconds(rest > step ? step : rest));
  }
  g_events.clockDues.erase(mine);
  g_events.clockCv.notify_all();
  return on_time;
}

int SleepPlatformMs(uint32_t ms, const std::atomic<int>* hurry) {
  return SleepUntilPlatformTime(PlatformTimeMs() + ms, hurry);
}

int ObtainMutexAsleep(QoeMutex* m, const std::atomic<int>* quit) {
  if (ObtainMutexTimeout(m, 0)) return 1;
  // Counted as asleep until a time that never comes.
  std::multimap<uint64_t, const std::atomic<int>*>::iterator mine;
  {
    std::lock_guard<std::mutex> g(g_events.lock);
    mine = g_events.clockDues.emplace(UINT64_MAX, nullptr);
    g_events.clockCv.notify_all();
  }
  int got = 0;
  while (!(quit && quit->load()) && !(got = ObtainMutexTimeout(m, 5))) {
  }
  std::lock_guard<std::mutex> g(g_events.lock);
  g_events.clockDues.erase(mine);
  g_events.clockCv.notify_all();
  return got;
}

void WakeClockThreads() {
  std::lock_guard<std::mutex> g(g_events.lock);
  g_events.clockCv.notify_all();
}

namespace {
bool CaughtUpLocked() {
  const uint64_t now = PlatformTimeMs();
  int ahead = 0;
  // A sleeper whose hurry flag is set counts as awake from that moment on,
  // so the script waits for what it does next.
  for (const auto& due : g_events.clockDues) ahead += due.first > now && !(due.second && due.second->load());
  return ahead >= g_events.clockThreads;
}
}  // namespace

int ClockThreadCount() {
  std::lock_guard<std::mutex> g(g_events.lock);
  return g_events.clockThreads;
}

int ClockThreadsCaughtUp() {
  std::lock_guard<std::mutex> g(g_events.lock);
  return CaughtUpLocked();
}

int WaitClockThreadsCaughtUp(int timeout_ms) {
  std::unique_lock<std::mutex> l(g_events.lock);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!CaughtUpLocked()) {
    if (std::chrono::steady_clock::now() >= end) return 0;
    g_events.clockCv.wait_for(l, std::chrono::milliseconds(1));
  }
  return 1;
}

int WaitClockThreadsAsleep(int timeout_ms) { return WaitClockThreadsCaughtUp(timeout_ms); }

uint64_t NextClockThreadDue() {
  std::lock_guard<std::mutex> g(g_events.lock);
  return g_events.clockDues.empty() ? UINT64_MAX : g_events.clockDues.begin()->first;
}
void SetTimerChangedHook(void (*hook)()) { g_events.timerChanged.store(hook); }

int PostGameMessage(const PlatformMessage* m) {
  if (!m) return 0;
  std::lock_guard<std::mutex> g(g_events.lock);
  return PostLocked(*m);
}

int PostKeyMessage(uint32_t kind, uint32_t key, uint32_t extended, uint32_t ch) {
  PlatformMessage m{};
  m.kind = kind;
  m.key = key;
  m.extended = extended ? 1 : 0;
  m.ch = ch & 0xFF;
  return PostGameMessage(&m);
}

namespace {

int PostKeyText(uint32_t latin1_char, uint32_t key, uint32_t repeat) {
  PlatformMessage m{};
  m.kind = kMsgText;
  m.ch = latin1_char & 0xFF;
  m.key = key;
  m.repeat = repeat ? 1 : 0;
  return PostGameMessage(&m);
}

}  // namespace

int PostTextMessage(uint32_t latin1_char) { return PostKeyText(latin1_char, 0, 0); }

int PostKeyDown(uint32_t key, uint32_t extended, uint32_t ch, uint32_t text_ch, uint32_t repeat) {
  PlatformMessage m{};
  m.kind = kMsgKeyDown;
  m.key = key;
  m.extended = extended ? 1 : 0;
  m.ch = ch & 0xFF;
  m.repeat = repeat ? 1 : 0;
  int posted = PostGameMessage(&m);
  if (text_ch) posted += PostKeyText(text_ch, key, repeat);
  return posted;
}

int PostMouseMessage(uint32_t kind, int32_t x, int32_t y, uint32_t buttons) {
  PlatformMessage m{};
  m.kind = kind;
  m.x = x;
  m.y = y;
  m.buttons = buttons;
  return PostGameMessage(&m);
}

int PostMouseMoveMerged(int32_t x, int32_t y, uint32_t buttons) {
  std::lock_guard<std::mutex> g(g_events.lock);
  if (!g_events.queue.empty()) {
    PlatformMessage& last = g_events.queue.back();
    if (last.kind == kMsgMouseMove && last.buttons == buttons) {
      last.x = x;
      last.y = y;
      last.time_ms = PlatformTimeMs();
      return 1;
    }
  }
  PlatformMessage m{};
  m.kind = kMsgMouseMove;
  m.x = x;
  m.y = y;
  m.buttons = buttons;
  return PostLocked(m);
}

int PostTimerMessage(uint32_t timer) {
  PlatformMessage m{};
  m.kind = kMsgTimer;
  m.timer = timer;
  return PostGameMessage(&m);
}

int PostAppMessage(uint64_t param) {
  PlatformMessage m{};
  m.kind = kMsgApp;
  m.param = param;
  return PostGameMessage(&m);
}

int PostQuitMessage() {
  PlatformMessage m{};
  m.kind = kMsgQuit;
  return PostGameMessage(&m);
}

int PostWindowMessage(uint32_t what) {
  PlatformMessage m{};
  m.kind = kMsgWindow;
  m.key = what;
  return PostGameMessage(&m);
}

int GetGameMessage(PlatformMessage* out, int timeout_ms) {
  std::unique_lock<std::mutex> l(g_events.lock);
  if (g_events.queue.empty()) {
    g_events.idle = true;
    g_events.idleCv.notify_all();
    if (timeout_ms == 0) return 0;
    auto ready = [] { return !g_events.queue.empty(); };
    if (timeout_ms < 0) {
      g_events.arrived.wait(l, ready);
    } else if (!g_events.arrived.wait_for(l, std::chrono::milliseconds(timeout_ms), ready)) {
      return 0;
    }
  }
  if (out) *out = g_events.queue.front();
  g_events.queue.pop_front();
  return 1;
}

int PeekGameMessage(PlatformMessage* out) {
  std::lock_guard<std::mutex> g(g_events.lock);
  if (g_events.queue.empty()) return 0;
  if (out) *out = g_events.queue.front();
  return 1;
}

int GameMessagesWaiting() {
  std::lock_guard<std::mutex> g(g_events.lock);
  return static_cast<int>(g_events.queue.size());
}

void ResetEventQueueState() {
  ResetGameMessages();
  g_events.clock = RealClockMs;
  g_events.timerChanged = nullptr;
}

void ResetGameMessages() {
  std::lock_guard<std::mutex> g(g_events.lock);
  g_events.queue.clear();
  g_events.idle = false;
  for (auto& c : g_events.dropped) c = 0;
  for (auto& t : g_events.droppedNextLog) t = 0;
  g_events.dropsPending = false;
  for (auto& t : g_events.timers) t = TimerState{};
}

int GameThreadIdle() {
  std::lock_guard<std::mutex> g(g_events.lock);
  return g_events.idle && g_events.queue.empty();
}

void MarkGameThreadBusy() {
  std::lock_guard<std::mutex> g(g_events.lock);
  g_events.idle = false;
}

int WaitGameThreadIdle(int timeout_ms) {
  std::unique_lock<std::mutex> l(g_events.lock);
  auto ready = [] { return g_events.idle && g_events.queue.empty(); };
  // Counted under the lock, which the wait alone gives up: whoever reads the
  // count under it finds this thread inside the wait.
  g_events.idleWaiters++;
  bool got = true;
  if (timeout_ms < 0) g_events.idleCv.wait(l, ready);
  else got = g_events.idleCv.wait_for(l, std::chrono::milliseconds(timeout_ms), ready);
  g_events.idleWaiters--;
  return got ? 1 : 0;
}

int GameThreadIdleWaiters() {
  std::lock_guard<std::mutex> g(g_events.lock);
  return g_events.idleWaiters;
}

void StartEventTimer(uint32_t timer, uint32_t period_ms) {
  if (timer >= kTimerCount || period_ms == 0) return;
  {
    std::lock_guard<std::mutex> g(g_events.lock);
    TimerState& t = g_events.timers[timer];
    t.running = true;
    t.period = period_ms;
    t.next_due = PlatformTimeMs() + period_ms;
  }
  if (auto hook = g_events.timerChanged.load()) hook();
}

void StopEventTimer(uint32_t timer) {
  if (timer >= kTimerCount) return;
  {
    std::lock_guard<std::mutex> g(g_events.lock);
    g_events.timers[timer].running = false;
  }
  if (auto hook = g_events.timerChanged.load()) hook();
}

int EventTimerRunning(uint32_t timer) {
  if (timer >= kTimerCount) return 0;
  std::lock_guard<std::mutex> g(g_events.lock);
  return g_events.timers[timer].running ? 1 : 0;
}

uint64_t NextEventTimerDue() {
  std::lock_guard<std::mutex> g(g_events.lock);
  uint64_t next = UINT64_MAX;
  for (const auto& t : g_events.timers)
    if (t.running && t.next_due < next) next = t.next_due;
  return next;
}

int PumpEventTimers(uint64_t now_ms, int coalesce) {
  std::lock_guard<std::mutex> g(g_events.lock);
  int posted = 0;
  // Earliest due tick first, so two timers interleave in time order.
  for (;;) {
    TimerState* due = nullptr;
    uint32_t id = 0;
    for (uint32_t i = 0; i < kTimerCount; i++) {
      TimerState& t = g_events.timers[i];
      if (t.running && t.next_due <= now_ms && (!due || t.next_due < due->next_due)) {
        due = &t;
        id = i;
      }
    }
    if (!due) break;
    bool pending = false;
    if (coalesce) {
      // Like a window system's timer: one tick of a timer waits at most once.
      for (const auto& m : g_events.queue)
        if (m.kind == kMsgTimer && m.timer == id) pending = true;
    }
    if (!pending) {
      PlatformMessage m{};
      m.kind = kMsgTimer;
      m.timer = id;
      if (PostLocked(m)) {
        g_events.queue.back().time_ms = due->next_due;
        posted++;
      }
    }
    due->next_due += due->period;
    // A real-time backend that fell far behind skips the missed ticks.
    if (coalesce && due->next_due + due->period <= now_ms) due->next_due = now_ms + due->period;
  }
  return posted;
}

int32_t NextUtf8Char(const char** pp) {
  const auto* p = reinterpret_cast<const unsigned char*>(*pp);
  if (!p || !*p) return 0;
  unsigned c = p[0];
  int len = 0;
  uint32_t cp = 0;
  if (c < 0x80) {
    *pp += 1;
    return static_cast<int32_t>(c);
  } else if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else {
    *pp += 1;
    return -1;
  }
  for (int i = 1; i < len; i++) {
    if ((p[i] & 0xC0) != 0x80) {
      *pp += 1;
      return -1;
    }
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  *pp += len;
  // Overlong forms and surrogates are malformed.
  static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return static_cast<int32_t>(cp);
}

int PostUtf8Text(const char* utf8) { return PostUtf8TextOfKey(utf8, 0, 0); }

int PostUtf8TextOfKey(const char* utf8, uint32_t key, uint32_t repeat) {
  int posted = 0;
  const char* p = utf8;
  if (!p) return 0;
  while (*p) {
    int32_t cp = NextUtf8Char(&p);
    if (cp > 0 && cp <= 0xFF) posted += PostKeyText(static_cast<uint32_t>(cp), key, repeat);
  }
  return posted;
}
