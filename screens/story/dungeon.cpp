// The dungeon screen, its map file, its walking rules and the compass-rose
// thread. See dungeon.h; the map file: docs/dungeon-maps.md.
#include "dungeon.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/events.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/timer.h"
#include "screens/common/screenbase.h"

// ---- the compass rose --------------------------------------------------------------

uint16_t NavRoseRestFrame(uint32_t facing) {
  static const uint16_t kRest[4] = {1557, 1584, 1575, 1566};
  return kRest[facing & 3];
}

uint32_t NavRoseFrames(uint32_t from, uint32_t to, uint16_t frames[10], uint8_t pauses[10], uint16_t* rest) {
  // Rising tables count i = 1..10 from `base`; falling ones j = 10..1.
  // Frames past 1592 wrap to 1557 and below 1557 to 1592 (the full circle).
  int base;
  bool rising;
  switch (from * 4 + to) {
    case 0 * 4 + 3: base = 1557, rising = true; break;
    case 0 * 4 + 1: base = 1582, rising = false; break;
    case 1 * 4 + 0: base = 1584, rising = true; break;
    case 1 * 4 + 2: base = 1573, rising = false; break;
    case 2 * 4 + 1: base = 1575, rising = true; break;
    case 2 * 4 + 3: base = 1564, rising = false; break;
    case 3 * 4 + 2: base = 1566, rising = true; break;
    case 3 * 4 + 0: base = 1556, rising = false; break;
    default: return 0;
  }
  for (int k = 0; k < 10; ++k) {
    const int n = rising ? k + 1 : 10 - k;
    int id = base + n;
    if (id > 1592) id -= 36;
    if (from == 3 && to == 0 && n == 1) id = 1592;  // the last step from west passes north
    frames[k] = (uint16_t)id;
    pauses[k] = (uint8_t)std::abs(n - 5);
  }
  *rest = NavRoseRestFrame(to);
  return 10;
}

namespace {

void RoseBlit(void*, uint32_t id) {
  LoadDungeonGraphics(id, 1);
  BlitObjektMaskRow(nullptr, id, kNavRoseX, kNavRoseY, 0, 0, 0);
}
// The pause of the compass thread: ticks x 20 ms of the platform clock, cut
// short by the quit.
void RoseDelay(void* ctx, int32_t ticks) {
  auto* rose = static_cast<NavRose*>(ctx);
  SleepPlatformMs(ticks > 0 ? (uint32_t)ticks * 20u : 0u, &rose->quit);
}

void RoseFrame(NavRose* rose, uint32_t id) {
  ObtainSemaphore(rose->semaphore);
  if (rose->hooks.blit) rose->hooks.blit(rose->hooks.ctx, id);
  ReleaseSemaphore(rose->semaphore);
}
void RosePause(NavRose* rose, int32_t ticks) {
  if (rose->hooks.delay) rose->hooks.delay(rose->hooks.ctx, ticks);
}

}  // namespace

int NavRoseProzess(void* arg) {
  auto* rose = static_cast<NavRose*>(arg);
  for (;;) {
    const uint32_t turn = rose->turn.load();
    if (!(turn & kNavRoseRequest)) {
      if (rose->quit.load()) break;
      RosePause(rose, 5);
      continue;
    }
    uint16_t frames[10], rest;
    uint8_t pauses[10];
    if (NavRoseFrames((turn >> 16) & 3, turn & 3, frames, pauses, &rest)) {
      for (int k = 0; k < 10; ++k) {
        RoseFrame(rose, frames[k]);
        RosePause(rose, pauses[k]);
      }
      RosePause(rose, 5);
      RoseFrame(rose, rest);
    }
    // A turn asked for meanwhile changed the word: it stays requested.
    uint32_t expected = turn;
    rose->turn.compare_exchange_strong(expected, turn & ~kNavRoseRequest);
    if (rose->quit.load()) break;
  }
  const bool clock = rose->clock;
  rose->done.store(1);
  if (clock) EndClockThread();
  return 0;
}

namespace {

NavRose* MakeNavRose(const NavRoseHooks* hooks, bool clock) {
  void* mem = AllocVec(sizeof(NavRose), MEMF_PUBLIC | MEMF_CLEAR);
  if (!mem) {
    DebugLog("InitNavRose : Konnte Speicher nicht allokieren\n");
    return nullptr;
  }
  auto* rose = new (mem) NavRose{};
  rose->hooks = *hooks;
  rose->clock = clock;
  if (clock) rose->hooks.ctx = rose;
  rose->semaphore = CreateNamedSemaphore("NavRose Semaphore", 1, 1);
  if (!rose->semaphore) {
    rose->~NavRose();
    FreeVec(mem);
    return nullptr;
  }
  if (clock) BeginClockThread();
  rose->thread = StartThread("NavRose", NavRoseProzess, rose);
  if (!rose->thread) {
    if (clock) EndClockThread();
    DebugLog("InitNavRose : Konnte NavRoseProzess nicht anlegen...\n");
  }
  return rose;
}

}  // namespace

NavRose* InitNavRoseWith(const NavRoseHooks* hooks) { return MakeNavRose(hooks, false); }

NavRose* InitNavRose() {
  const NavRoseHooks hooks = {RoseBlit, RoseDelay, nullptr};
  return MakeNavRose(&hooks, true);
}

void NavRoseRequest(NavRose* rose, uint32_t from, uint32_t to) {
  if (rose) rose->turn.store(kNavRoseRequest | (from & 3) << 16 | (to & 3));
}

void FreeNavRose(NavRose* rose) {
  if (!rose) return;
  rose->quit.store(1);
  if (rose->clock) WakeClockThreads();
  if (rose->thread) JoinThread(rose->thread);
  rose->thread = nullptr;
  DeleteSemaphore(rose->semaphore);
  rose->~NavRose();
  FreeVec(rose);
}

// ---- the model ---------------------------------------------------------------------

namespace {

char ViewChar(const DungeonData* d, int32_t row, int32_t col) {
  if (!d->viewMap || row < 0 || col < 0 || row >= d->viewHeight || col >= d->viewWidth) return 0;
  return d->viewMap[(size_t)row * d->viewWidth + col];
}

DungeonCell* ViewCell(const DungeonData* d, int32_t row, int32_t col) {
  uint32_t x, y;
  if (!d->cells || !DungeonViewToStored(d, row, col, &x, &y)) return nullptr;
  return &d->cells[(size_t)y * d->mapWidth + x];
}

bool ViewOpen(const DungeonData* d, int32_t row, int32_t col) {
  const DungeonCell* c = ViewCell(d, row, col);
  return c && (c->state & kCellOpen);
}

// The stored cell at a view offset from the player (false outside the map).
bool OffsetCell(const DungeonData* d, int32_t ahead, int32_t sideways, uint32_t* x, uint32_t* y) {
  int32_t px = d->playerX, py = d->playerY;
  switch (d->facing & 3) {
    case 0: px += sideways, py += ahead; break;
    case 1: px -= ahead, py += sideways; break;
    case 2: px -= sideways, py -= ahead; break;
    default: px += ahead, py -= sideways; break;
  }
  if (px < 0 || py < 0 || px >= d->mapWidth || py >= d->mapHeight) return false;
  *x = (uint32_t)px, *y = (uint32_t)py;
  return true;
}

void Sfx(DungeonData* d, uint32_t id) {
  if (d->hooks.sfx) d->hooks.sfx(d->hooks.ctx, id);
}
void Redraw(DungeonData* d) {
  if (d->hooks.redraw) d->hooks.redraw(d->hooks.ctx);
}
void Pause(DungeonData* d, int32_t ticks) {
  if (d->hooks.pause) d->hooks.pause(d->hooks.ctx, ticks);
}
void Message(DungeonData* d, const char* text) {
  if (d->hooks.message) d->hooks.message(d->hooks.ctx, text);
}

}  // namespace

int32_t DungeonViewToStored(const DungeonData* d, int32_t row, int32_t col, uint32_t* x, uint32_t* y) {
  if (row < 0 || col < 0 || row >= d->viewHeight || col >= d->viewWidth) return 0;
  const int32_t w = d->mapWidth, h = d->mapHeight;
  switch (d->facing & 3) {
    case 0: *x = col, *y = row; break;
    case 1: *x = w - 1 - row, *y = col; break;
    case 2: *x = w - 1 - col, *y = h - 1 - row; break;
    default: *x = row, *y = h - 1 - col; break;
  }
  return *x < (uint32_t)w && *y < (uint32_t)h;
}

int32_t IsSeeThroughCell(const DungeonData* d, int32_t row, int32_t col) {
  const char c = ViewChar(d, row, col);
  return c == ' ' || c == 'F' || c == 'G' || (c == 'T' && ViewOpen(d, row, col));
}

int32_t IsWallCell(const DungeonData* d, int32_t row, int32_t col) {
  const char c = ViewChar(d, row, col);
  return c == '#' || c == 'A' || c == 'E' || c == 'L';
}

int32_t IsDoorCell(const DungeonData* d, int32_t row, int32_t col) {
  const char c = ViewChar(d, row, col);
  return c == 'A' || c == 'E' || c == 'T';
}

int32_t IsEnterableCell(const DungeonData* d, int32_t row, int32_t col) {
  const char c = ViewChar(d, row, col);
  if (c == ' ' || c == 'A' || c == 'L') return 1;
  if (c == 'F') return !ViewOpen(d, row, col);
  if (c == 'T') return ViewOpen(d, row, col);
  return 0;
}

char DungeonCellAhead(const DungeonData* d, int32_t ahead, int32_t sideways) {
  uint32_t x, y;
  if (!d->maps[0] || !OffsetCell(d, ahead, sideways, &x, &y)) return 0;
  return d->maps[0][(size_t)y * d->mapWidth + x];
}

int32_t IsCellClosed(const DungeonData* d, int32_t ahead, int32_t sideways) {
  uint32_t x, y;
  if (!d->cells || !OffsetCell(d, ahead, sideways, &x, &y)) return 0;
  return !(d->cells[(size_t)y * d->mapWidth + x].state & kCellOpen);
}

void SetCellFlags(DungeonData* d, int32_t ahead, int32_t sideways, uint32_t value, uint32_t mode) {
  uint32_t x, y;
  if (!d->cells || !OffsetCell(d, ahead, sideways, &x, &y)) return;
  uint32_t& s = d->cells[(size_t)y * d->mapWidth + x].state;
  s = mode ? s | value : s & value;
}

void MovePlayer(DungeonData* d, int32_t sideways, int32_t ahead) {
  uint32_t x, y;
  if (!OffsetCell(d, ahead, sideways, &x, &y)) return;
  d->playerX = (uint16_t)x, d->playerY = (uint16_t)y;
}

void SelectViewMap(DungeonData* d) {
  const uint16_t w = d->mapWidth, h = d->mapHeight, x = d->playerX, y = d->playerY;
  const int f = d->facing & 3;
  d->viewMap = d->maps[f];
  d->viewWidth = f & 1 ? h : w;
  d->viewHeight = f & 1 ? w : h;
  switch (f) {
    case 0: d->viewX = x, d->viewY = y; break;
    case 1: d->viewX = y, d->viewY = (uint16_t)(w - 1 - x); break;
    case 2: d->viewX = (uint16_t)(w - 1 - x), d->viewY = (uint16_t)(h - 1 - y); break;
    default: d->viewX = (uint16_t)(h - 1 - y), d->viewY = x; break;
  }
}

int32_t DungeonEnterCell(DungeonData* d, int32_t ahead, int32_t sideways, int32_t move) {
  const char c = DungeonCellAhead(d, ahead, sideways);
  if (move) {
    if (c == 'A') return 1;
    if (c != 'F') return 0;
    SetCellFlags(d, ahead, sideways, kCellOpen, 1);
    Sfx(d, 197);
    Redraw(d);
    Pause(d, 50);
    if (d->hooks.death) d->hooks.death(d->hooks.ctx);
    Message(d, GetCatalogStr(1811));  // you are dead
    return 1;
  }
  if (c != 'G') return 0;
  uint32_t x, y;
  if (!d->cells || !OffsetCell(d, ahead, sideways, &x, &y)) return 0;
  DungeonCell& cell = d->cells[(size_t)y * d->mapWidth + x];
  Pause(d, 50);
  char text[160];
  if (cell.gold) {
    // Gold found: the catalog text's "%u" is the gold (a catalog text is
    // never used as a format).
    const char* frame = GetCatalogStr(1812);
    const char* at = std::strstr(frame, "%u");
    if (at) std::snprintf(text, sizeof text, "%.*s%u%s", static_cast<int>(at - frame), frame, cell.gold, at + 2);
    else std::snprintf(text, sizeof text, "%s", frame);
  } else {
    std::snprintf(text, sizeof text, "%s", GetCatalogStr(1813));  // the chest is empty
  }
  Message(d, text);
  cell.gold = 0;
  return 0;
}

int32_t DungeonStep(DungeonData* d, int32_t sideways, int32_t ahead) {
  SelectViewMap(d);
  const int32_t row = d->viewY + ahead, col = d->viewX + sideways;
  // Every target lies inside the view map before it is read.
  if (row < 0 || col < 0 || row >= d->viewHeight || col >= d->viewWidth) return 0;
  if (ahead < 0 && d->viewY <= 1 && ViewChar(d, row, col) != 'A') return 0;
  if (sideways < 0 && d->viewX <= 1) return 0;
  if (!IsEnterableCell(d, row, col)) return 0;
  if (DungeonEnterCell(d, ahead, sideways, 1)) return 1;
  Sfx(d, 191);
  MovePlayer(d, sideways, ahead);
  SelectViewMap(d);
  Redraw(d);
  return 0;
}

void DungeonTurn(DungeonData* d, int32_t direction) {
  const uint32_t from = (uint32_t)(d->facing & 3);
  d->facing = (int8_t)((from + (direction > 0 ? 1 : 3)) & 3);
  NavRoseRequest(d->navRose, from, (uint32_t)d->facing);
  SelectViewMap(d);
  Redraw(d);
}

void DungeonOpen(DungeonData* d) {
  const char c = DungeonCellAhead(d, -1, 0);
  if ((c != 'T' && c != 'G') || !IsCellClosed(d, -1, 0)) return;
  SetCellFlags(d, -1, 0, kCellOpen, 1);
  Sfx(d, 196);
  Redraw(d);
  d->queuedSfx = 195;
  if (c == 'G') DungeonEnterCell(d, -1, 0, 0);
}

void DungeonClose(DungeonData* d) {
  const char c = DungeonCellAhead(d, -1, 0);
  if ((c != 'T' && c != 'G') || IsCellClosed(d, -1, 0)) return;
  SetCellFlags(d, -1, 0, 0xFFFFFFC0u, 0);
  Sfx(d, 195);
  Redraw(d);
  d->queuedSfx = 196;
}

void InitDungeonData(DungeonData* d) {
  *d = DungeonData{};
  d->mapWidth = 74, d->mapHeight = 30;
  d->playerX = 58, d->playerY = 29;
  d->facing = 0;
  d->ambientTicks = 0, d->ambientPeriod = 100;
}

// ---- the map file -----------------------------------------------------------------

namespace {

struct Line {
  const char* p;
  size_t n;
};

// The next line of text (without its CR LF or LF); false at the end.
bool NextLine(const char* text, size_t size, size_t* at, Line* l) {
  if (*at >= size) return false;
  const char* s = text + *at;
  const void* nl = std::memchr(s, '\n', size - *at);
  size_t n = nl ? (size_t)((const char*)nl - s) : size - *at;
  *at += n + (nl ? 1 : 0);
  if (n && s[n - 1] == '\r') --n;
  *l = {s, n};
  return true;
}

bool Blank(const Line& l) {
  for (size_t i = 0; i < l.n; ++i)
    if (l.p[i] != ' ' && l.p[i] != '\t') return l.p[i] == ';';
  return true;
}

// Reads "word n n [n]" with decimal numbers; returns how many were read.
int Numbers(const Line& l, const char* word, uint32_t out[3]) {
  const size_t wl = std::strlen(word);
  if (l.n <= wl || std::memcmp(l.p, word, wl) || l.p[wl] != ' ') return 0;
  int count = 0;
  size_t i = wl;
  while (i < l.n) {
    while (i < l.n && l.p[i] == ' ') ++i;
    if (i == l.n) break;
    if (count == 3 || l.p[i] < '0' || l.p[i] > '9') return 0;
    uint64_t v = 0;
    while (i < l.n && l.p[i] >= '0' && l.p[i] <= '9') {
      v = v * 10 + (uint64_t)(l.p[i++] - '0');
      if (v > 0xFFFFFFFFu) return 0;
    }
    if (i < l.n && l.p[i] != ' ') return 0;
    out[count++] = (uint32_t)v;
  }
  return count;
}

bool Refuse(const char* why, uint32_t line) {
  DebugLog("LoadDungeonMap: %s (Zeile %u)\n", why, line);
  return false;
}

struct Parsed {
  char* maps[4] = {};
  DungeonCell* cells = nullptr;
  void Free() {
    for (char*& m : maps) FreeVec(m), m = nullptr;
    FreeVec(cells);
    cells = nullptr;
  }
};

bool Parse(const char* text, size_t size, Parsed* out, uint16_t* width, uint16_t* height, uint16_t* ex,
           uint16_t* ey) {
  size_t at = 0;
  uint32_t no = 0;
  Line l{};
  uint32_t v[3];
  for (;;) {
    if (!NextLine(text, size, &at, &l)) return Refuse("Keine Groesse", no);
    ++no;
    if (!Blank(l)) break;
  }
  if (Numbers(l, "size", v) != 2) return Refuse("Erwartet: size <Breite> <Hoehe>", no);
  if (v[0] < kDungeonMinSize || v[1] < kDungeonMinSize || v[0] > kDungeonMaxSize || v[1] > kDungeonMaxSize)
    return Refuse("Groesse ausserhalb der Grenzen", no);
  const uint32_t w = v[0], h = v[1];
  out->maps[0] = static_cast<char*>(AllocVec(w * h, MEMF_PUBLIC));
  out->cells = static_cast<DungeonCell*>(AllocVec(w * h * (uint32_t)sizeof(DungeonCell), MEMF_PUBLIC | MEMF_CLEAR));
  if (!out->maps[0] || !out->cells) return Refuse("Kein Speicher", no);
  uint32_t entrances = 0;
  for (uint32_t y = 0; y < h; ++y) {
    if (!NextLine(text, size, &at, &l)) return Refuse("Zu wenige Zeilen", no);
    ++no;
    if (l.n != w) return Refuse("Zeile hat nicht die Breite", no);
    for (uint32_t x = 0; x < w; ++x) {
      const char c = l.p[x];
      if (!std::strchr("# TGFAEL", c) || !c) return Refuse("Unbekanntes Zeichen", no);
      const bool border = x == 0 || y == 0 || x == w - 1 || y == h - 1;
      if (border && c != '#' && c != 'A' && c != 'E') return Refuse("Der Rand ist offen", no);
      if (c == 'E') {
        if (!border) return Refuse("Eingang nicht am Rand", no);
        ++entrances, *ex = (uint16_t)x, *ey = (uint16_t)y;
      }
      out->maps[0][y * w + x] = c;
    }
  }
  if (entrances != 1) return Refuse("Nicht genau ein Eingang", no);
  while (NextLine(text, size, &at, &l)) {
    ++no;
    if (Blank(l)) continue;
    if (Numbers(l, "chest", v) != 3) return Refuse("Erwartet: chest <x> <y> <Gold>", no);
    if (v[0] >= w || v[1] >= h || out->maps[0][v[1] * w + v[0]] != 'G') return Refuse("Keine Truhe dort", no);
    if (v[2] > kDungeonMaxGold) return Refuse("Zu viel Gold", no);
    DungeonCell& c = out->cells[v[1] * w + v[0]];
    if (c.gold) return Refuse("Truhe doppelt", no);
    c.gold = v[2];
  }
  // The rotated copies: "ahead" is towards row 0 in each.
  for (int f = 1; f < 4; ++f) {
    out->maps[f] = static_cast<char*>(AllocVec(w * h, MEMF_PUBLIC));
    if (!out->maps[f]) return Refuse("Kein Speicher", no);
  }
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const char c = out->maps[0][y * w + x];
      out->maps[1][(w - 1 - x) * h + y] = c;
      out->maps[2][(h - 1 - y) * w + (w - 1 - x)] = c;
      out->maps[3][x * h + (h - 1 - y)] = c;
    }
  *width = (uint16_t)w, *height = (uint16_t)h;
  return true;
}

}  // namespace

int32_t DungeonParseMap(DungeonData* d, const char* text, size_t size) {
  Parsed p;
  uint16_t w = 0, h = 0, ex = 0, ey = 0;
  if (!text || !Parse(text, size, &p, &w, &h, &ex, &ey)) {
    p.Free();
    return 0;
  }
  for (int f = 0; f < 4; ++f) {
    FreeVec(d->maps[f]);
    d->maps[f] = p.maps[f];
  }
  FreeVec(d->cells);
  d->cells = p.cells;
  d->mapWidth = w, d->mapHeight = h;
  d->playerX = ex, d->playerY = ey;
  // The player looks into the dungeon from its entrance.
  d->facing = ey == h - 1 ? 0 : ey == 0 ? 2 : ex == 0 ? 1 : 3;
  SelectViewMap(d);
  return 1;
}

int32_t LoadDungeonMap(DungeonData* d, const char* path) {
  const uint32_t size = GeFileSize(path);
  if (size == 0 || size > (1u << 20)) {
    DebugLog("LoadDungeonMap: Karte fehlt oder ist zu gross: %s\n", path);
    return 0;
  }
  uint32_t got = 0;
  char* text = static_cast<char*>(LoadFile2MemSize(path, MEMF_PUBLIC, &got));
  if (!text) {
    DebugLog("LoadDungeonMap: Konnte Karte nicht lesen: %s\n", path);
    return 0;
  }
  const int32_t ok = DungeonParseMap(d, text, got);
  FreeVec(text);
  return ok;
}

int32_t AllocDungeonView(DungeonData* d) {
  // In the screen's depth, so the graphics (converted to it) blit into it.
  RastPort* screen = ScreenRastPort();
  const BitMap* friend_bm = screen ? screen->Bitmap : nullptr;
  d->viewBitMap = AllocBitMap(kDungeonViewBitMapW, kDungeonViewBitMapH, friend_bm ? friend_bm->Depth : 8, 0, friend_bm);
  d->viewRastPort = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->viewBitMap || !d->viewRastPort) return 0;
  InitRastPort(d->viewRastPort);
  d->viewRastPort->Bitmap = d->viewBitMap;
  return 1;
}

void FreeDungeonData(DungeonData* d) {
  if (!d) return;
  FreeVec(d->viewRastPort);
  FreeBitMap(d->viewBitMap);
  d->viewRastPort = nullptr, d->viewBitMap = nullptr;
  for (char*& m : d->maps) FreeVec(m), m = nullptr;
  d->viewMap = nullptr;
  FreeVec(d->cells);
  d->cells = nullptr;
}

// ---- graphics and sounds -------------------------------------------------------------

namespace {
constexpr uint32_t kFirstGfx = 1294, kLastKeptGfx = 1311, kLastGfx = 1612;
}

int32_t LoadDungeonGraphics(uint32_t id, uint32_t load) {
  const uint32_t first = id ? id : kFirstGfx, last = id ? id : kLastKeptGfx;
  if (!load) return 1;
  // The dungeon holds one open of each until FreeDungeonGraphics (the view
  // and the compass thread both ask before every blit).
  for (uint32_t i = first; i <= last; ++i) {
    if (KeepElmorGfx(kGfxKeeperDungeon, ".\\Data\\Path", i) != 1) {
      DebugLog("LoadDungeonGraphics: Konnte Grafik nicht \xF6" "ffnen! <%u>\n", i);
      return 0;
    }
  }
  return 1;
}

void FreeDungeonGraphics(uint32_t all) {
  LetGoElmorGfx(kGfxKeeperDungeon, all ? kFirstGfx : kLastKeptGfx + 1, kLastGfx);
}

namespace {
const uint16_t kSfx[] = {191, 192, 193, 194, 195, 196, 197, 182, 183, 184, 185, 186, 187, 188, 189, 190};
}

int32_t LoadAllDungeonSfx() {
  int32_t ok = 1;
  for (uint32_t i = 0; i < sizeof kSfx / sizeof kSfx[0]; ++i)
    if (OpenElmorSfx(".\\Data\\SfxPath", kSfx[i]) != 1) {
      DebugLog("LoadAllDungeonSfx: Konnte Sound nicht \xF6" "ffnen! <%u>\n", i < 7 ? i : i - 7);
      ok = 0;
    }
  return ok;
}

void FreeAllDungeonSfx() {
  for (uint16_t id : kSfx) CloseElmorSfx000(id);
}

// ---- the screen ------------------------------------------------------------------------

namespace {

constexpr uint32_t kPicture = 1293, kDeathPicture = 1613, kMessagePicture = 66;
constexpr uint32_t kLayoutMask = (1u << LAYOUT_GADGET) | (1u << LAYOUT_AREA);
constexpr int32_t kMapScreen = 3;

void ScreenSfx(void*, uint32_t id) { SfxPlayer000(id, 0, 0); }
void ScreenRedraw(void* ctx) { DungeonDrawView(static_cast<DungeonData*>(ctx)); }
void ScreenPause(void*, int32_t ticks) { Delay(ticks); }
void ScreenMessage(void*, const char* text) { ChiefMessage(kMessagePicture, 168, 180, 0, 0, 0, 0, text, 7); }
void ScreenDeath(void* ctx) {
  auto* d = static_cast<DungeonData*>(ctx);
  QoeSemaphore* sem = d->navRose ? d->navRose->semaphore : nullptr;
  if (sem) ObtainSemaphore(sem);
  BlitObjektMask(nullptr, kDeathPicture, 0, 25, 43, 0, 0);
  if (sem) ReleaseSemaphore(sem);
}

// Door sounds waiting for the other to end, then the ambient sounds.
void DungeonTick(DungeonData* d) {
  if (d->queuedSfx == 195 && IsSfxPlaying(196)) {
    SfxPlayer000(195, 0, 0);
    d->queuedSfx = 0;
  } else if (d->queuedSfx == 196 && IsSfxPlaying(195)) {
    SfxPlayer000(196, 0, 0);
    d->queuedSfx = 0;
  }
  if (++d->ambientTicks >= d->ambientPeriod) {
    d->ambientTicks = 0;
    d->ambientPeriod = (Zufall(5) + 1) * 30;
    SfxPlayer000(182 + Zufall(9), 0, 0);
  }
  if (Zufall(d->ambientPeriod) < 2) SfxPlayer000(192 + d->ambientPeriod % 3, 0, 0);
}

}  // namespace

int32_t DungeonScreen(int32_t) {
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "DungeonScreen: Konnte Pic nicht \xF6" "ffnen!\n");
    return -1;
  }
  auto* d = static_cast<DungeonData*>(AllocVec(sizeof(DungeonData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) {
    ScreenStartFailed(&base, SCREEN_STEP_MEMORY, "DungeonScreen: Kein Speicher f\xFCr lokale Daten!\n");
    CloseScreenBase(&base, -1);
    return -1;
  }
  InitDungeonData(d);
  bool gfx = false, sfx = false;
  auto leave = [&](int32_t next) {
    FreeNavRose(d->navRose);
    d->navRose = nullptr;
    if (sfx) FreeAllDungeonSfx();
    if (gfx) FreeDungeonGraphics(1);
    FreeDungeonData(d);
    CloseFont(d->textFont);
    CloseFont(d->titleFont);
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return leave(-1);
  };
  d->textFont = OpenDiskFont("fonts\\XHelvetica9.fnt");
  if (!d->textFont) return fail(SCREEN_STEP_FONT, "DungeonScreen: Konnte Font nicht laden!\n");
  d->titleFont = OpenDiskFont("fonts\\ElmorC1.fnt");
  if (!d->titleFont) return fail(SCREEN_STEP_FONT, "DungeonScreen: Konnte Elmor-Font nicht \xF6" "ffnen !\n");
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Dungeon.dat", kLayoutMask))
    return fail(SCREEN_STEP_LAYOUT, "DungeonScreen: Kann TitelbarDaten nicht laden!\n");
  d->region = base.region;
  if (!LoadDungeonMap(d, ".\\Data\\Dungeon\\Dungeon.txt"))
    return fail(SCREEN_STEP_MAP, "DungeonScreen: Konnte Karte nicht laden!\n");
  if (!AllocDungeonView(d)) return fail(SCREEN_STEP_MEMORY, "DungeonScreen: Kein Speicher f\xFCr die Ansicht!\n");
  gfx = true;
  if (!LoadDungeonGraphics(0, 1)) return fail(SCREEN_STEP_GRAPHICS, "DungeonScreen: Konnte Grafiken nicht laden !\n");
  sfx = true;
  if (!LoadAllDungeonSfx()) return fail(SCREEN_STEP_SOUNDS, "DungeonScreen: Konnte Sounds nicht laden !\n");
  d->navRose = InitNavRose();
  if (!d->navRose) return fail(SCREEN_STEP_GRAPHICS, "DungeonScreen: Konnte NavRose nicht initialisieren !\n");
  d->hooks = {ScreenSfx, ScreenRedraw, ScreenPause, ScreenMessage, ScreenDeath, d};

  DungeonDrawView(d);
  const uint16_t rest = NavRoseRestFrame((uint32_t)d->facing);
  LoadDungeonGraphics(rest, 1);
  BlitObjektMask(nullptr, rest, 0, kNavRoseX, kNavRoseY, 0, 0);
  ShowScreenBase(&base);

  RastPort* screen = ScreenRastPort();
  const ScreenRecordList& areas = d->region->types[LAYOUT_AREA];
  int32_t end = 0;
  while (!end) {
    if (areas.count) CheckTitleBar(static_cast<const TextArea*>(areas.first), d->titleFont, 6);
    const int32_t ev = WaitEvent(WE_TICKS);
    const bool ext = WaitEventExtended() != 0;
    if (ev == WE_TICK) {
      DungeonTick(d);
      continue;
    }
    Gadget* g = HandleGadgetEvent(screen, d->region, (uint32_t)ev);
    // A key comes as the pseudo gadget "KEY!"; arrows only with the extended mark.
    const bool key = !g || GadgetIs(g, "KEY!");
    auto is = [&](const char* id, int32_t arrow, char ch) {
      return (g && GadgetIs(g, id)) || (key && ((arrow && ext && ev == arrow) || (ch && !ext && ev == ch)));
    };
    if (is("STFO", WE_KEY_UP, 'w')) end = DungeonStep(d, 0, -1);
    else if (is("STBA", WE_KEY_DOWN, 's')) end = DungeonStep(d, 0, 1);
    else if (is("STLE", WE_KEY_LEFT, 'a')) end = DungeonStep(d, -1, 0);
    else if (is("STRI", WE_KEY_RIGHT, 'd')) end = DungeonStep(d, 1, 0);
    else if (is("RITU", 0, 'e')) DungeonTurn(d, 1);
    else if (is("LETU", 0, 'q')) DungeonTurn(d, -1);
    else if (is("OPEN", 0, 0)) DungeonOpen(d);
    else if (is("CLOS", 0, 0)) DungeonClose(d);
    else if (is("EXIT", 0, 27) || WindowCloseRequested()) end = 1;
  }
  DebugLog("DungeonScreen: Verlassen bei %u %u\n", d->playerX, d->playerY);
  return leave(kMapScreen);
}
