#include "headless.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "backend.h"
#include "close.h"
#include "display.h"
#include "events.h"
#include "fatal.h"
#include "log.h"
#include "platform_internal.h"
#include "screenmode.h"
#include "threads.h"

namespace {

std::atomic<uint64_t> g_now{0};
std::atomic<uint32_t> g_mode{kScreenModeDefault};
// How long the player waits for the game thread before a command: minutes,
// so that a busy machine only makes a script slower, never lets it run ahead.
constexpr int kSyncTimeoutMs = 120000;
std::atomic<int> g_sync_timeout{kSyncTimeoutMs};
// The window loop runs, so a game thread does: the clock waits for it to be
// idle. Without one (a module's test driving the clock and its threads
// alone) only the clock threads are waited for.
std::atomic<bool> g_game_running{false};
// Never destroyed: the window thread may still wait on them while exit()
// runs the destructors, and destroying a waited-on one blocks for ever.
std::mutex& g_lock = *new std::mutex;
std::condition_variable& g_wake_cv = *new std::condition_variable;
uint64_t g_wakes = 0;
std::string g_script;
bool g_has_script = false;
uint32_t g_buttons = 0;  // held buttons while the script plays

// The last cursor picture handed to the backend (nothing to show it on).
std::mutex g_cursor_lock;
std::vector<uint32_t> g_cursor;
HeadlessCursor g_cursor_info{};

uint64_t Now() { return g_now.load(); }

void Wake() {
  std::lock_guard<std::mutex> g(g_lock);
  g_wakes++;
  g_wake_cv.notify_all();
}

// Lets the game thread take what waits; honours a fatal signal and the end
// of the game. Returns 0 when the game has ended.
int Sync() {
  int limit = g_sync_timeout.load();
  for (int waited = 0;;) {
    if (FatalSignalPending()) RunFatalShutdown();
    PollCloseSignal();
    if (WindowDestroyRequested()) return 0;
    // The game thread waits for input, and every clock thread (a screen
    // transition) has drawn what is due at the virtual time.
    if ((!g_game_running.load() || WaitGameThreadIdle(10)) && WaitClockThreadsCaughtUp(10)) return 1;
    waited += 10;
    if (waited >= limit) {
      DebugLog("Headless: Der Spiel-Thread nimmt seit %d ms keine Nachricht an", limit);
      return 1;
    }
  }
}

struct KeyName {
  const char* name;
  uint32_t key, extended, ch;
};
const KeyName kKeys[] = {
    {"esc", kKeyEscape, 0, 27},      {"escape", kKeyEscape, 0, 27},  {"enter", kKeyEnter, 0, 13},
    {"return", kKeyEnter, 0, 13},    {"kpenter", kKeyEnter, 1, 13},  {"backspace", kKeyBackspace, 0, 8},
    {"tab", kKeyTab, 0, 9},          {"space", kKeySpace, 0, 0},     {"shift", kKeyShift, 0, 0},
    {"ctrl", kKeyCtrl, 0, 0},        {"alt", kKeyAlt, 0, 0},         {"pause", kKeyPause, 0, 0},
    {"pageup", kKeyPageUp, 1, 0},    {"pagedown", kKeyPageDown, 1, 0}, {"end", kKeyEnd, 1, 0},
    {"home", kKeyHome, 1, 0},        {"left", kKeyLeft, 1, 0},       {"up", kKeyUp, 1, 0},
    {"right", kKeyRight, 1, 0},      {"down", kKeyDown, 1, 0},       {"insert", kKeyInsert, 1, 0},
    {"delete", kKeyDelete, 1, 0},
};

// Parses a key; text_ch gets the character typing it produces (0 for none).
bool ParseKey(const std::string& s, uint32_t* key, uint32_t* ext, uint32_t* ch, uint32_t* text_ch) {
  *ext = 0;
  *ch = 0;
  *text_ch = 0;
  std::string low;
  for (char c : s) low += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& k : kKeys) {
    if (low == k.name) {
      *key = k.key;
      *ext = k.extended;
      *ch = k.ch;
      if (k.key == kKeySpace) *text_ch = ' ';
      return true;
    }
  }
  if (low.size() >= 2 && low[0] == 'f' && std::isdigit(static_cast<unsigned char>(low[1]))) {
    int n = std::atoi(low.c_str() + 1);
    if (n >= 1 && n <= 12) {
      *key = kKeyF1 + n - 1;
      return true;
    }
  }
  if (s.size() == 1) {
    unsigned char c = static_cast<unsigned char>(s[0]);
    *text_ch = c;
    *key = std::isalpha(c) ? static_cast<uint32_t>(std::toupper(c)) : c;
    return true;
  }
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (end && *end == 0 && v > 0 && v < 256) {
    *key = static_cast<uint32_t>(v);
    if (v == 8 || v == 9 || v == 13 || v == 27) *ch = static_cast<uint32_t>(v);
    return true;
  }
  return false;
}

bool ParseInt(const std::string& s, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 0);
  if (!end || *end) return false;
  *out = v;
  return true;
}

// Splits a command line into words; a word in double quotes keeps its spaces.
void SplitWords(const std::string& line, std::string words[5], int* count) {
  *count = 0;
  size_t i = 0;
  while (i < line.size() && *count < 5) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) i++;
    if (i >= line.size()) break;
    std::string w;
    if (line[i] == '"') {
      size_t end = line.find('"', i + 1);
      if (end == std::string::npos) end = line.size();
      w = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) w += line[i++];
    }
    words[(*count)++] = w;
  }
}

bool ParseButton(const std::string& s, uint32_t* button, uint32_t* down_kind, uint32_t* up_kind) {
  if (s == "left") {
    *button = kButtonLeft;
    *down_kind = kMsgLeftDown;
    *up_kind = kMsgLeftUp;
    return true;
  }
  if (s == "right") {
    *button = kButtonRight;
    *down_kind = kMsgRightDown;
    *up_kind = kMsgRightUp;
    return true;
  }
  return false;
}

WalkHooks g_walk{};  // filled at start-up, before any script plays

// splitmix64: the walk's numbers, the same for a seed on every machine.
uint64_t NextWalkNumber(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Game-area coordinates onto the display's, as the input layer maps back.
void GameToDisplay(int32_t* x, int32_t* y) {
  const uint32_t w = DisplayWidth(), h = DisplayHeight();
  if (DisplayGameAreaAtCorner() || (w <= kGameAreaWidth && h <= kGameAreaHeight)) return;
  int32_t dx = 0, dy = 0;
  GameAreaOffset(w, h, &dx, &dy);
  *x += dx;
  *y += dy;
}

void PostClick(int32_t x, int32_t y) {
  PostMouseMessage(kMsgMouseMove, x, y, 0);
  PostMouseMessage(kMsgLeftDown, x, y, kButtonLeft);
  PostMouseMessage(kMsgLeftUp, x, y, 0);
}

// The keys a script holds: each repeats as a held key does until its keyup.
// Its lock guards them (the script's thread holds and releases; whoever runs
// the clock on posts the repeats).
struct HeldKey {
  uint32_t key, ext, ch, text_ch;
  uint64_t due;  // the next repeat, on the platform clock
};
struct HeldKeysState {
  std::mutex lock;
  std::vector<HeldKey> keys;
};
HeldKeysState g_held;

void HoldKey(uint32_t key, uint32_t ext, uint32_t ch, uint32_t text_ch) {
  PostKeyDown(key, ext, ch, text_ch, 0);
  std::lock_guard<std::mutex> g(g_held.lock);
  const HeldKey held{key, ext, ch, text_ch, PlatformTimeMs() + kKeyRepeatDelayMs};
  for (HeldKey& k : g_held.keys)
    if (k.key == key && k.ext == ext) {
      k = held;  // pressed again: its repeats start anew
      return;
    }
  g_held.keys.push_back(held);
}

void ReleaseKey(uint32_t key, uint32_t ext) {
  {
    std::lock_guard<std::mutex> g(g_held.lock);
    auto& v = g_held.keys;
    v.erase(std::remove_if(v.begin(), v.end(), [&](const HeldKey& k) { return k.key == key && k.ext == ext; }),
            v.end());
  }
  PostKeyMessage(kMsgKeyUp, key, ext, 0);
}

void ForgetHeldKeys() {
  std::lock_guard<std::mutex> g(g_held.lock);
  g_held.keys.clear();
}

void PostKey(const char* name) {
  uint32_t key, ext, ch, text_ch;
  if (!ParseKey(name, &key, &ext, &ch, &text_ch)) return;
  PostKeyMessage(kMsgKeyDown, key, ext, ch);
  if (text_ch) PostTextMessage(text_ch);
  PostKeyMessage(kMsgKeyUp, key, ext, 0);
}

// The walk: seven steps in ten a click (nine in ten while a target is not
// hit yet, and eight in ten of those on such a target), else a key; a
// quarter of `longest` up to `longest` ms of the clock after each.
void Walk(uint64_t seed, long steps, uint64_t longest, const ScriptPlayer* player) {
  static WalkTarget targets[256];
  uint64_t state = seed;
  long clicks = 0, keys = 0;
  DebugLog("Headless: Zufallsgang mit Seed %llu, %ld Schritte", static_cast<unsigned long long>(seed), steps);
  for (long step = 0; step < steps; ++step) {
    if (step > 0 && !player->sync()) break;
    const uint32_t n = g_walk.targets ? g_walk.targets(targets, 256) : 0;
    uint32_t open[256], open_count = 0;
    for (uint32_t i = 0; i < n; ++i)
      if (!targets[i].hit) open[open_count++] = i;
    const uint64_t roll = NextWalkNumber(&state) % 100;
    if (n > 0 && roll < (open_count > 0 ? 90u : 70u)) {
      uint32_t pick = static_cast<uint32_t>(NextWalkNumber(&state) % n);
      if (open_count > 0 && NextWalkNumber(&state) % 10 < 8)
        pick = open[NextWalkNumber(&state) % open_count];
      const WalkTarget& t = targets[pick];
      int32_t x = t.x1 + static_cast<int32_t>(NextWalkNumber(&state) % static_cast<uint64_t>(t.x2 - t.x1 + 1));
      int32_t y = t.y1 + static_cast<int32_t>(NextWalkNumber(&state) % static_cast<uint64_t>(t.y2 - t.y1 + 1));
      if (g_walk.clicked) g_walk.clicked(pick);
      GameToDisplay(&x, &y);
      PostClick(x, y);
      clicks++;
    } else {
      static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz";
      const uint64_t k = NextWalkNumber(&state) % 100;
      char name[2] = {0, 0};
      if (k < 25) {
        PostKey("enter");
      } else if (k < 33) {
        PostKey("esc");
      } else if (k < 66) {
        name[0] = static_cast<char>('0' + NextWalkNumber(&state) % 10);
        PostKey(name);
      } else {
        name[0] = kLetters[NextWalkNumber(&state) % 26];
        PostKey(name);
      }
      keys++;
    }
    player->wait(longest / 4 + NextWalkNumber(&state) % (longest - longest / 4 + 1));
  }
  player->sync();
  DebugLog("Headless: Zufallsgang mit Seed %llu: %ld Klicks, %ld Tasten", static_cast<unsigned long long>(seed), clicks,
           keys);
  if (g_walk.report) g_walk.report(seed);
}

// A click in the middle of the first of the IDs (in their order) that the
// walk hooks offer, of the layout handled last.
void ClickGadget(const std::string* ids, int count) {
  static WalkTarget targets[256];
  const uint32_t n = g_walk.targets ? g_walk.targets(targets, 256) : 0;
  const WalkTarget* best = nullptr;
  std::string names;
  for (int k = 0; k < count && !best; ++k) {
    char id[5] = {' ', ' ', ' ', ' ', 0};
    for (size_t i = 0; i < 4 && i < ids[k].size(); ++i) id[i] = ids[k][i] == '_' ? ' ' : ids[k][i];
    for (uint32_t i = 0; i < n; ++i)
      if (std::memcmp(targets[i].id, id, 4) == 0 && (!best || targets[i].age < best->age)) best = &targets[i];
    names += (k ? " " : "") + ids[k];
  }
  if (!best) {
    DebugLog("Headless: Kein Gadget %s angeboten", names.c_str());
    return;
  }
  if (g_walk.clicked) g_walk.clicked(static_cast<uint32_t>(best - targets));
  int32_t x = (best->x1 + best->x2) / 2, y = (best->y1 + best->y2) / 2;
  GameToDisplay(&x, &y);
  PostClick(x, y);
}

// Whether the walk hooks offer a gadget with one of the IDs ('_' a space),
// and no message box waits above it.
bool GadgetOffered(const std::string* ids, int count) {
  if (g_walk.box_waits && g_walk.box_waits()) return false;
  static WalkTarget targets[256];
  const uint32_t n = g_walk.targets ? g_walk.targets(targets, 256) : 0;
  for (int k = 0; k < count; ++k) {
    char id[5] = {' ', ' ', ' ', ' ', 0};
    for (size_t i = 0; i < 4 && i < ids[k].size(); ++i) id[i] = ids[k][i] == '_' ? ' ' : ids[k][i];
    for (uint32_t i = 0; i < n; ++i)
      if (std::memcmp(targets[i].id, id, 4) == 0) return true;
  }
  return false;
}

// Escape until a gadget with one of the IDs is offered: before each look
// the pointer moves to the middle of the game area (a screen that handles
// its gadgets only on events offers them then) and the game catches up. A
// screen that is still starting offers nothing yet, so each Escape follows
// kLooks looks 500 ms of the clock apart (an Escape too many would leave the
// screen sought). At most kEscapes times.
void EscapeTo(const std::string* ids, int count, const ScriptPlayer* player) {
  constexpr int kEscapes = 20, kLooks = 3;
  std::string names;
  for (int k = 0; k < count; ++k) names += (k ? " " : "") + ids[k];
  for (int pressed = 0;; ++pressed) {
    for (int look = 0; look < kLooks; ++look) {
      if (look > 0) player->wait(500);
      int32_t x = 320, y = 240;
      GameToDisplay(&x, &y);
      PostMouseMessage(kMsgMouseMove, x + look, y, g_buttons);
      if (!player->sync()) return;  // the game has ended
      if (GadgetOffered(ids, count)) {
        DebugLog("Headless: Gadget %s nach %d mal Escape angeboten", names.c_str(), pressed);
        return;
      }
    }
    if (pressed == kEscapes) break;
    PostKey("esc");
    player->wait(1000);
  }
  DebugLog("Headless: Kein Gadget %s nach %d mal Escape angeboten", names.c_str(), kEscapes);
}

// Plays one command; false for a line it does not understand.
bool PlayCommand(const std::string& line, const ScriptPlayer* player) {
  std::string w[5];
  int n = 0;
  SplitWords(line, w, &n);
  if (n == 0) return true;
  const std::string& cmd = w[0];
  uint32_t key, ext, ch, text_ch;
  long a = 0, b = 0;
  if (cmd == "key" && n == 2 && ParseKey(w[1], &key, &ext, &ch, &text_ch)) {
    PostKeyMessage(kMsgKeyDown, key, ext, ch);
    if (text_ch) PostTextMessage(text_ch);
    PostKeyMessage(kMsgKeyUp, key, ext, 0);
    return true;
  }
  if ((cmd == "keydown" || cmd == "keyup") && n == 2 && ParseKey(w[1], &key, &ext, &ch, &text_ch)) {
    if (cmd == "keydown")
      HoldKey(key, ext, ch, text_ch);
    else
      ReleaseKey(key, ext);
    return true;
  }
  if (cmd == "hold" && n == 3 && ParseKey(w[1], &key, &ext, &ch, &text_ch) && ParseInt(w[2], &a) && a >= 0) {
    HoldKey(key, ext, ch, text_ch);
    player->wait(static_cast<uint64_t>(a));
    player->sync();
    ReleaseKey(key, ext);
    return true;
  }
  if (cmd == "text" && n == 2) {
    PostUtf8Text(w[1].c_str());
    return true;
  }
  if (cmd == "move" && n == 3 && ParseInt(w[1], &a) && ParseInt(w[2], &b)) {
    PostMouseMessage(kMsgMouseMove, static_cast<int32_t>(a), static_cast<int32_t>(b), g_buttons);
    return true;
  }
  uint32_t button, down_kind, up_kind;
  if ((cmd == "press" || cmd == "release" || cmd == "click") && n == 4 && ParseButton(w[1], &button, &down_kind, &up_kind) &&
      ParseInt(w[2], &a) && ParseInt(w[3], &b)) {
    auto x = static_cast<int32_t>(a), y = static_cast<int32_t>(b);
    if (cmd != "release") {
      g_buttons |= button;
      PostMouseMessage(down_kind, x, y, g_buttons);
    }
    if (cmd != "press") {
      g_buttons &= ~button;
      PostMouseMessage(up_kind, x, y, g_buttons);
    }
    return true;
  }
  if (cmd == "leave" && n == 1) {
    PostWindowMessage(kWindowPointerLeft);
    return true;
  }
  if (cmd == "focus" && n == 2 && (w[1] == "out" || w[1] == "in")) {
    PostWindowMessage(w[1] == "out" ? kWindowFocusLost : kWindowFocusGained);
    return true;
  }
  if (cmd == "wait" && n == 2 && ParseInt(w[1], &a) && a >= 0) {
    player->wait(static_cast<uint64_t>(a));
    return true;
  }
  if (cmd == "tick" && (n == 1 || (n == 2 && ParseInt(w[1], &a) && a >= 0 && a < kTimerCount))) {
    PostTimerMessage(static_cast<uint32_t>(a));
    return true;
  }
  if (cmd == "timer" && n == 3 && ParseInt(w[1], &a) && a >= 0 && a < kTimerCount) {
    if (w[2] == "off") {
      StopEventTimer(static_cast<uint32_t>(a));
      return true;
    }
    if (ParseInt(w[2], &b) && b > 0) {
      StartEventTimer(static_cast<uint32_t>(a), static_cast<uint32_t>(b));
      return true;
    }
    return false;
  }
  if (cmd == "app" && n == 2 && ParseInt(w[1], &a)) {
    PostAppMessage(static_cast<uint64_t>(a));
    return true;
  }
  if (cmd == "quit" && n == 1) {
    player->quit();
    return true;
  }
  // A real signal to the process; only where the program's own handler
  // takes it (a test process would end).
  if (cmd == "signal" && n == 2 && (w[1] == "term" || w[1] == "int") && CloseSignalHandlersInstalled()) {
    kill(getpid(), w[1] == "term" ? SIGTERM : SIGINT);
    return true;
  }
  if (cmd == "walk" && (n == 3 || n == 4) && ParseInt(w[2], &b) && b >= 0) {
    long longest = 400;
    if (n == 4 && (!ParseInt(w[3], &longest) || longest < 4)) return false;
    Walk(std::strtoull(w[1].c_str(), nullptr, 0), b, static_cast<uint64_t>(longest), player);
    return true;
  }
  if (cmd == "gadget" && n >= 2) {
    for (int k = 1; k < n; ++k)
      if (w[k].size() > 4) return false;
    ClickGadget(w + 1, n - 1);
    return true;
  }
  if (cmd == "escape-to" && n >= 2) {
    for (int k = 1; k < n; ++k)
      if (w[k].size() > 4) return false;
    EscapeTo(w + 1, n - 1, player);
    return true;
  }
  if (cmd == "sync" && n == 1) return true;  // every command syncs first
  if (cmd == "shown" && n == 1) {
    if (!player->shown()) DebugLog("Skript: Das Fenster zeigt das Bild nicht");
    return true;
  }
  if (cmd == "png" && n == 2) {
    player->sync();
    if (!WriteDisplayPng(w[1].c_str())) DebugLog("Headless: Konnte %s nicht schreiben", w[1].c_str());
    return true;
  }
  return false;
}

int ChooseMode(DisplayModeChoice* choice) {
  uint32_t id = g_mode.load();
  if (id >= kScreenModeCount) return 0;
  DisplayModeFromId(id, choice);
  return 1;
}

int Init() { return 1; }
void Shutdown() {}
int OpenWindow(const DisplayModeChoice*) { return 1; }
void CloseWindow() {}
void WaitVblank() {}
void Minimise() {}
void MessageBox(const char* title, const char* text) {
  std::fprintf(stderr, "%s: %s\n", title ? title : "", text ? text : "");
}

int SetCursor(const uint32_t* argb, uint32_t width, uint32_t height, uint32_t hot_x, uint32_t hot_y) {
  std::lock_guard<std::mutex> g(g_cursor_lock);
  g_cursor.assign(argb, argb + static_cast<size_t>(width) * height);
  g_cursor_info.calls++;
  g_cursor_info.width = width;
  g_cursor_info.height = height;
  g_cursor_info.hot_x = hot_x;
  g_cursor_info.hot_y = hot_y;
  return 1;
}

int PlayAndWaitForTheEnd() {
  std::string script;
  bool has;
  {
    std::lock_guard<std::mutex> g(g_lock);
    script = g_script;
    has = g_has_script;
  }
  if (has) HeadlessPlayScript(script.c_str());
  if (!WindowDestroyRequested()) {
    Sync();
    if (!WindowDestroyRequested()) RequestProgramClose();
  }
  // Wait (real time, minutes at most) for the game to end after the close.
  for (int waited = 0; waited < kSyncTimeoutMs; waited += 10) {
    if (FatalSignalPending()) RunFatalShutdown();
    PollCloseSignal();
    if (WindowDestroyRequested()) return 0;
    std::unique_lock<std::mutex> l(g_lock);
    uint64_t seen = g_wakes;
    g_wake_cv.wait_for(l, std::chrono::milliseconds(10), [seen] { return g_wakes != seen; });
  }
  DebugLog("Headless: Das Spiel endet nach dem Skript nicht");
  return -1;
}

int RunLoop() {
  g_game_running = true;
  const int r = PlayAndWaitForTheEnd();
  g_game_running = false;
  return r;
}

const PlatformBackend kHeadless = {
    "headless", Init, Shutdown, ChooseMode, OpenWindow, CloseWindow, RunLoop, Wake, WaitVblank, Now,
    MessageBox, Minimise, SetCursor, nullptr, nullptr,  // no OpenGL headless
};

struct GameRun {
  int (*fn)(void*);
  void* arg;
};

int GameThread(void* p) {
  auto* run = static_cast<GameRun*>(p);
  int r = run->fn(run->arg);
  PostWindowDestroy();
  return r;
}

}  // namespace

const PlatformBackend* HeadlessBackend() { return &kHeadless; }

void HeadlessSetMode(uint32_t mode_id) { g_mode = mode_id; }

void HeadlessSetScript(const char* script) {
  std::lock_guard<std::mutex> g(g_lock);
  g_has_script = script != nullptr;
  g_script = script ? script : "";
}

HeadlessCursor HeadlessCursorImage(std::vector<uint32_t>* argb) {
  std::lock_guard<std::mutex> g(g_cursor_lock);
  if (argb) *argb = g_cursor;
  return g_cursor_info;
}

void SetWalkHooks(const WalkHooks* hooks) { g_walk = hooks ? *hooks : WalkHooks{}; }

void HeadlessSetSyncTimeout(int ms) { g_sync_timeout = ms > 0 ? ms : kSyncTimeoutMs; }

int HeadlessPlayScript(const char* script) {
  static const ScriptPlayer kVirtual = {Sync, HeadlessAdvance, RequestProgramClose, Sync};
  return PlayScript(script, &kVirtual);
}

int PlayScript(const char* script, const ScriptPlayer* player) {
  if (!script) return 0;
  int played = 0;
  int line_no = 0;
  const char* p = script;
  g_buttons = 0;
  ForgetHeldKeys();
  while (*p) {
    // A command ends at a line end, or at a ';' outside double quotes.
    const char* end = p;
    bool in_quotes = false;
    while (*end && *end != '\n' && (*end != ';' || in_quotes)) {
      if (*end == '"') in_quotes = !in_quotes;
      end++;
    }
    std::string line(p, end);
    p = *end ? end + 1 : end;
    if (*end != ';') line_no++;
    size_t hash = std::string::npos;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); i++) {
      if (line[i] == '"') quoted = !quoted;
      if (line[i] == '#' && !quoted) {
        hash = i;
        break;
      }
    }
    if (hash != std::string::npos) line.resize(hash);
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    if (!player->sync()) break;  // the game has ended
    if (!PlayCommand(line, player)) {
      DebugLog("Headless: Skriptzeile %d nicht verstanden: %s", line_no, line.c_str());
      ForgetHeldKeys();
      return -1;
    }
    played++;
  }
  ForgetHeldKeys();  // a key still held at the end repeats no more
  return played;
}

uint64_t NextKeyRepeatDue() {
  std::lock_guard<std::mutex> g(g_held.lock);
  uint64_t due = UINT64_MAX;
  for (const HeldKey& k : g_held.keys) due = std::min(due, k.due);
  return due;
}

void PostDueKeyRepeats(uint64_t now_ms) {
  std::lock_guard<std::mutex> g(g_held.lock);
  for (;;) {
    HeldKey* next = nullptr;
    for (HeldKey& k : g_held.keys)
      if (k.due <= now_ms && (!next || k.due < next->due)) next = &k;
    if (!next) return;
    PostKeyDown(next->key, next->ext, next->ch, next->text_ch, 1);
    next->due += kKeyRepeatIntervalMs;
  }
}

void HeadlessAdvance(uint64_t ms) {
  uint64_t target = g_now.load() + ms;
  // Step by step through the timers' ticks and the clock threads' due times,
  // letting the game and those threads catch up at each.
  int stalled = 0;
  for (;;) {
    // The next due time is read once the game waits and every clock thread
    // sleeps again, never while either works: a clock thread that has just
    // woken may come back with a due time before the others', and a game
    // thread still busy with the last tick may start a timer or a clock
    // thread (a new screen's movies, its transition) due before what was
    // due when it began. However long that takes in real time, the step
    // goes to the same due time.
    if (!Sync()) break;
    const uint64_t due = std::min({NextEventTimerDue(), NextClockThreadDue(), NextKeyRepeatDue()});
    if (due > target) break;
    if (due > g_now.load()) {
      g_now = due;
      WakeClockThreads();
      stalled = 0;
      // The clock threads due now draw first, then the game has its ticks:
      // the same order on every run.
      if (!WaitClockThreadsCaughtUp(g_sync_timeout.load()))
        DebugLog("Headless: Ein Uhr-Thread holt die Zeit %llu nicht ein", static_cast<unsigned long long>(due));
    } else if (++stalled > 1000) {
      DebugLog("Headless: Ein Uhr-Thread holt die Zeit %llu nicht ein", static_cast<unsigned long long>(due));
      break;
    }
    PumpEventTimers(g_now.load(), 0);
    PostDueKeyRepeats(g_now.load());
  }
  if (g_now.load() < target) g_now = target;
  WakeClockThreads();
}

void HeadlessResetClock() { g_now = 0; }
uint64_t HeadlessNowMs() { return g_now.load(); }

int HeadlessOpenDisplay(uint32_t mode_id) {
  SelectPlatformBackend(&kHeadless);
  ResetGameMessages();
  ClearWindowDestroy();
  ClearProgramClose();
  HeadlessResetClock();
  DisplayModeChoice c;
  DisplayModeFromId(mode_id, &c);
  g_mode = c.mode_id;
  DisplaySetRenderer(0);
  return InitializeDirectDraw(c.width, c.height, c.depth);
}

void HeadlessCloseDisplay() {
  ShutdownDisplay();
  ResetGameMessages();
  ClearWindowDestroy();
  ClearProgramClose();
  SelectPlatformBackend(nullptr);
}

int HeadlessRunGame(const char* script, int (*game)(void*), void* arg) {
  if (!game) return -1;
  if (CurrentPlatformBackend() != &kHeadless) SelectPlatformBackend(&kHeadless);
  ClearWindowDestroy();
  ClearProgramClose();
  GameRun run{game, arg};
  MarkGameThreadBusy();
  QoeThread* t = StartThread("Game", GameThread, &run);
  if (!t) return -1;
  HeadlessSetScript(script);
  RunWindowLoop();
  HeadlessSetScript(nullptr);
  return JoinThread(t);
}
