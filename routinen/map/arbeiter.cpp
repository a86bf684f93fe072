// The workers of the realm's fields: the cultivation requester of the field
// menu, the worker totals written over the map while the resources overlay
// is on, and the caravan requester. The requester's close writes the prefs
// fields and the field's culture part through one FileSet, as does the
// switch to automatic cultivation with the deletion of every culture part.
#include <cstdio>
#include <cstring>
#include <vector>

#include "figurmenu.h"
#include "map_internal.h"
#include "mapdisplay.h"
#include "platform/log.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/textentry.h"

namespace {

constexpr uint32_t kMaxWorkers = 1000;
constexpr uint32_t kPicture = 1041;
constexpr const char* kPrefsFile = ".\\Data\\Prefs.qoe";
constexpr const char* kMapFolder = ".\\Map";
// Rectangles of the requester's layout (docs/layouts.md).
enum : uint32_t { kRectBox = 13, kRectLabels = 14, kRectSwitch = 29, kRectEntry = 30, kRectGraph = 33 };

bool Deep() { return MapDisplayDepth() > 8; }

const char* Str(uint32_t id) {
  const char* s = GetCatalogStr(id);
  return s ? s : "";
}

// Rectangle k of the layout; the screen ones moved by the centring.
bool Rect(const ArbeiterState* s, uint32_t k, LayoutRect* r) {
  if (!GetLayoutRect(s->layout, k, r)) return false;
  if (k < kRectLabels || k > kRectLabels + 14) {
    r->x1 = (uint16_t)(r->x1 + s->dx);
    r->x2 = (uint16_t)(r->x2 + s->dx);
    r->y1 = (uint16_t)(r->y1 + s->dy);
    r->y2 = (uint16_t)(r->y2 + s->dy);
  }
  return true;
}

// The three products' numbers of a record: workers, current and previous
// value, and the eleven stored values.
uint32_t Stored(const MapCultEintrag* c, uint32_t product, uint32_t i) {
  if (product == 0) return c->harvest[i];
  return product == 1 ? c->wood[i] : c->stone[i];
}
void SetWorkers(MapCultEintrag* c, uint32_t product, uint32_t n) {
  if (product == 0) c->harvest_workers = (uint16_t)n;
  else if (product == 1) c->wood_workers = (uint16_t)n;
  else c->stone_workers = (uint16_t)n;
}
uint32_t Workers(const MapCultEintrag* c, uint32_t product) {
  if (product == 0) return c->harvest_workers;
  return product == 1 ? c->wood_workers : c->stone_workers;
}

}  // namespace

MapCultEintrag* ArbeiterReqAlloc(ListHeader* list, uint32_t x, uint32_t y) {
  if (!list) return nullptr;
  uint32_t i = 0;
  for (ListNode* n = list->first; n && i < list->count; n = n->next, ++i) {
    auto* c = reinterpret_cast<MapCultEintrag*>(n);
    if (c->x == x && c->y == y) return c;
  }
  auto* c = reinterpret_cast<MapCultEintrag*>(AllocListNode(list));
  if (!c) {
    DebugLog("ArbeiterReq: Konnte Speicher nicht allokieren...\n");
    return nullptr;
  }
  c->x = (uint16_t)x;
  c->y = (uint16_t)y;
  AddNode(list, &c->head, LN_TAIL, 0);
  return c;
}

uint32_t ArbeiterAutoShare(uint32_t inhabitants, uint32_t land_value_b) {
  return land_value_b ? inhabitants / land_value_b / 3 : 0;
}

uint32_t ArbeiterTypedCount(const char* text, uint32_t pool) {
  uint64_t n = 0;
  const char* p = text ? text : "";
  while (*p == ' ') p++;
  if (*p == '-') return 0;
  if (*p == '+') p++;
  for (; *p >= '0' && *p <= '9'; p++) {
    n = n * 10 + (uint64_t)(*p - '0');
    if (n > kMaxWorkers) n = kMaxWorkers + 1;  // a long number is as good as the limit
  }
  if (n > pool) n = pool;
  if (n > kMaxWorkers) n = kMaxWorkers;
  return (uint32_t)n;
}

void ArbeiterWerteTexts(const ArbeiterState* s, char out[13][16]) {
  const MapCultEintrag* c = s->newField ? nullptr : s->record;
  std::snprintf(out[0], 16, "%u", s->pool);
  for (uint32_t p = 0; p < 3; p++) {
    const uint32_t w = s->workers[p];
    char* f = out[1 + 4 * p];
    std::snprintf(f, 16, "%u", w);
    uint32_t value;
    if (c) {
      value = Stored(c, p, 1);
      if (p == 0 && value == 0) value = 10000;
    } else {
      value = p == 0 ? w * 40000u / 1000u + 10000u : w * 5u / 1000u;
    }
    uint32_t most;
    if (p == 0) most = CalcCultValueA(s->terrain, w, s->bonus);
    else if (p == 1) most = CalcCultValueB(s->terrain, w, s->bonus);
    else most = CalcCultValueC(s->terrain, w);
    if (most < value) most = value;
    int32_t change = 0;
    if (c && Stored(c, p, 2) != 0) change = (int32_t)(Stored(c, p, 1) - Stored(c, p, 2));
    std::snprintf(out[2 + 4 * p], 16, "%u", value);
    std::snprintf(out[3 + 4 * p], 16, "%u", most);
    std::snprintf(out[4 + 4 * p], 16, "%d", change);
  }
}

namespace {

// One product's line graph: the ten newest stored values, the oldest first
// after a flat first segment, scaled by the largest of the eleven.
void Graph(RastPort* rp, const MapCultEintrag* c, uint32_t product, const LayoutRect& g, uint32_t pen) {
  uint32_t most = 1;
  for (uint32_t i = 0; i < 11; i++)
    if (Stored(c, product, i) > most) most = Stored(c, product, i);
  const int32_t height = g.y2 - g.y1, step = (g.x2 - g.x1) / 10, base = g.y2;
  auto y = [&](uint32_t v) { return base - (int32_t)((uint64_t)v * (uint32_t)height / most); };
  SetAPen(rp, pen);
  Move(rp, g.x1, y(Stored(c, product, 10)));
  Draw(rp, g.x1 + step, y(Stored(c, product, 10)));
  for (uint32_t k = 2; k <= 10; k++) Draw(rp, g.x1 + (int32_t)k * step, y(Stored(c, product, 11 - k)));
}

}  // namespace

void PrintArbeiterWerte(ArbeiterState* s) {
  RastPort* rp = ScreenRastPort();
  if (!s || !rp) return;
  char text[13][16];
  ArbeiterWerteTexts(s, text);
  for (uint32_t i = 0; i < 13; i++) {
    LayoutRect r{};
    if (!Rect(s, i, &r)) continue;
    const bool workers = i == 1 || i == 5 || i == 9;
    PrintTextOutlined(rp, r.x1, r.y1, r.x2, r.y2, text[i], workers ? 33 : 19, kMapFieldTextPen, 45);
  }
  LayoutRect g{}, box{};
  if (!Rect(s, kRectGraph, &g) || !Rect(s, kRectBox, &box)) return;
  // The picture's own pixels under the graph, then the three lines.
  BitMap* picture = ElmorGfxBitMap(kPicture);
  if (picture) BltBitMapRastPort(picture, g.x1 - box.x1, g.y1 - box.y1, rp, g.x1, g.y1, g.x2 - g.x1 + 1, g.y2 - g.y1 + 1);
  if (!s->newField && s->record) {
    Graph(rp, s->record, 0, g, s->terrain == 10 ? 47 : 7);
    Graph(rp, s->record, 1, g, 2);
    Graph(rp, s->record, 2, g, 16);
  }
  ShowScreenRect(rp, box.x1, box.y1, box.x2 - box.x1 + 1, box.y2 - box.y1 + 1);
}

void EditArbeiterAnzahl(KartenScreenRecord* d, ArbeiterState* s, uint32_t product) {
  RastPort* rp = ScreenRastPort();
  LayoutRect r{};
  if (!s || product > 2 || !rp || !Rect(s, kRectEntry + product, &r)) return;
  s->pool += s->workers[product];
  SetAPen(rp, 22);
  RectFill(rp, r.x1, r.y1, r.x2, r.y2);
  SetFont(rp, d->Fonts[MAPFONT_HELV11]);
  char text[16] = {};
  uint8_t widths[16] = {};
  std::snprintf(text, sizeof text, "%u", s->workers[product]);
  char copy[16];
  GetCharWidths(rp, text, copy, widths, sizeof text);
  const int32_t tx = r.x1 + 2, ty = r.y1 + 2;
  const uint32_t width = (uint32_t)(r.x2 - r.x1 - 3);
  PrintTextOutlined(rp, tx, ty, r.x2 - 2, r.y2 - 2, text, 22, kMapFieldTextPen, PTO_TOP);
  ShowScreenRect(rp, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
  TextCursor* cursor = SetTextCursor(tx + (int32_t)TextPixelWidth(text, widths, 0), ty, rp->TxHeight, 2, kMapFieldTextPen);
  SetTextCursorPos(cursor, (uint32_t)std::strlen(text));
  KeyScope keys;  // a key held from before the field does not end it
  while (!WindowCloseRequested()) {
    const int32_t event = WaitEvent(WE_TICKS);
    HandleGadgetEvent(rp, s->layout, 0);
    // Enter takes the number; Escape too (the box has no cancel).
    if (event == WE_KEY_ENTER || event == WE_KEY_ESCAPE) break;
    if (event >= 1 && event <= 255)
      EditKey(event, text, widths, cursor, tx, ty, width, 7, 1, kMapFieldTextPen, 22);
  }
  StopTextCursor(cursor);
  const uint32_t n = ArbeiterTypedCount(text, s->pool);
  s->workers[product] = n;
  s->pool -= n;
  if (s->record) SetWorkers(s->record, product, n);
}

namespace {

// The labels printed into the requester's picture.
void Labels(KartenScreenRecord* d, ArbeiterState* s) {
  static constexpr uint32_t kIds[15] = {1339, 1340, 0, 1343, 1344, 1345, 1348, 1346,
                                        1343, 1344, 1345, 1347, 1343, 1344, 1345};
  for (uint32_t i = 0; i < 15; i++) {
    LayoutRect r{};
    if (!Rect(s, kRectLabels + i, &r)) continue;
    uint32_t id = kIds[i];
    if (i == 2) id = s->terrain == 10 ? 1341 : 1342;
    SetFont(s->rp, d->Fonts[i == 0 ? MAPFONT_ELMOR : MAPFONT_HELV11]);
    PrintTextOutlined(s->rp, r.x1, r.y1, r.x2, r.y2, Str(id), 0, 7, (i == 0 || i == 6) ? 37 : 36);
  }
}

void Switch(const ArbeiterState* s) {
  LayoutRect r{};
  if (Rect(s, kRectSwitch, &r)) BlitObjekt(ScreenRastPort(), s->automatic ? 145 : 143, r.x1, r.y1, 0, 0);
}

void ReadRecord(ArbeiterState* s, ListHeader* list, uint32_t x, uint32_t y) {
  uint32_t before = list ? list->count : 0;
  s->record = ArbeiterReqAlloc(list, x, y);
  if (!s->record) {
    DebugLog("ArbeiterReq: Konnte Node nicht finden oder allokieren !");
    s->newField = 1;
    s->workers[0] = s->workers[1] = s->workers[2] = 0;
    return;
  }
  s->newField = list->count != before;
  for (uint32_t p = 0; p < 3; p++) s->workers[p] = Workers(s->record, p);
}

void AutoValues(ArbeiterState* s, const KartenScreenRecord* d) {
  const uint32_t share = ArbeiterAutoShare(d->Inhabitants, d->LandValueB);
  s->workers[0] = s->workers[1] = s->workers[2] = share;
  s->pool = 0;
  s->record = nullptr;
  s->newField = 1;
}

// Automatic cultivation: every culture part goes, and the prefs say so, in
// one FileSet. 1, or 0 (logged; nothing changed).
int32_t GoAutomatic() {
  const uint32_t fields[2] = {PREFS_AUTO_CULTIVATION, PREFS_FREE_WORKERS};
  const uint32_t values[2] = {1, 0};
  uint32_t size = 0;
  uint8_t* prefs = PrefsImageWithFields(kPrefsFile, fields, values, 2, &size);
  FileSet* set = prefs ? BeginFileSet() : nullptr;
  int32_t ok = set && FileSetWrite(set, kPrefsFile, prefs, size);
  FreeVec(prefs);
  const uint16_t count = CountDirEntries(kMapFolder);
  char* names = count ? GetDirBuffer(kMapFolder, count) : nullptr;
  for (uint16_t i = 0; ok && names && i < count; i++) {
    const char* name = names + (size_t)i * 80;
    if (name[0] != 'C' && name[0] != 'c') continue;
    char path[128];
    std::snprintf(path, sizeof path, "%s\\%.79s", kMapFolder, name);
    ok = FileSetRemove(set, path);
  }
  FreeVec(names);
  if (set) {
    if (ok) ok = CommitFileSet(set) != 0;  // saved in part counts as kept
    else AbortFileSet(set);
  }
  if (!ok) DebugLog("ArbeiterReq: Konnte die Kulturdateien nicht l\xF6schen...\n");
  return ok;
}

// The close: prefs fields 17 and 18, and in manual mode the field's
// culture part, in one FileSet.
int32_t WriteClose(const ArbeiterState* s, ListHeader* list, uint32_t x, uint32_t y) {
  const uint32_t fields[2] = {PREFS_AUTO_CULTIVATION, PREFS_FREE_WORKERS};
  const uint32_t values[2] = {s->automatic, s->automatic ? 0 : s->pool};
  uint32_t size = 0;
  uint8_t* prefs = PrefsImageWithFields(kPrefsFile, fields, values, 2, &size);
  FileSet* set = prefs ? BeginFileSet() : nullptr;
  int32_t ok = set && FileSetWrite(set, kPrefsFile, prefs, size);
  FreeVec(prefs);
  if (ok && !s->automatic && list) {
    char path[64];
    MapCultPath(path, sizeof path, x / 40, y / 20);
    uint32_t n = 0;
    uint8_t* image = MakeMapCultImage(list, &n);
    ok = image && (n ? FileSetWrite(set, path, image, n) : FileSetRemove(set, path));
    FreeVec(image);
  }
  if (set) {
    if (ok) ok = CommitFileSet(set) != 0;  // saved in part counts as kept
    else AbortFileSet(set);
  }
  if (!ok) DebugLog("ArbeiterReq: Konnte die Kulturdatei nicht speichern...\n");
  return ok;
}

}  // namespace

uint32_t ArbeiterReq(KartenScreenRecord* d) {
  if (!d || !d->map) return 0;
  const MapTile* cell = CMapCell(d->map, d->map->ViewColumn + d->X_Pos, d->map->ViewRow + d->Y_Pos);
  if (!cell) return 0;
  ArbeiterState s{};
  const bool deep = Deep();
  s.layout = GetScreenRegion(deep ? ".\\Data\\Screendat\\KarteArbeiterReq1024.dat"
                                  : ".\\Data\\Screendat\\KarteArbeiterReq.dat", 530);
  if (!s.layout) {
    DebugLog("ArbeiterReq: Kann ScreenRegion nicht laden!\n");
    return 0;
  }
  if (deep) {
    s.dx = ((int32_t)MapDisplayWidth() - 1024) / 2;
    s.dy = ((int32_t)MapDisplayHeight() - 768) / 2;
    SetMouseGadgetOffset(s.layout, s.dx, s.dy);
  }
  LayoutRect box{};
  if (!Rect(&s, kRectBox, &box) || box.x2 < box.x1 || box.y2 < box.y1) {
    DebugLog("ArbeiterReq: Das Layout hat kein Rechteck fuer den Requester!\n");
    FreeScreenRegion(s.layout);
    return 0;
  }
  const uint32_t bw = box.x2 - box.x1 + 1u, bh = box.y2 - box.y1 + 1u;
  BitMap* saved = SaveBackground(box.x1, box.y1, bw, bh);
  if (!saved) {
    DebugLog("ArbeiterReq: Konnte ein Rechteck des Hintergrundes nicht retten !\n");
    FreeScreenRegion(s.layout);
    return 0;
  }
  // The labels go into a copy of the picture, so the shared graphic stays
  // as loaded.
  BitMap* copy = nullptr;
  const bool opened = OpenElmorGfx(".\\Data\\Path", kPicture) == 1;
  if (!opened) {
    DebugLog("ArbeiterReq: Konnte Grafik nicht finden !\n");
  } else {
    BitMap* picture = ElmorGfxBitMap(kPicture);
    copy = picture ? AllocBitMap(picture->Width, picture->Height, picture->Depth, 0, nullptr) : nullptr;
    if (copy) BltBitMap(picture, 0, 0, copy, 0, 0, (int32_t)picture->Width, (int32_t)picture->Height);
  }
  s.rp = copy ? ScreenMakeClipRP(copy) : nullptr;
  ListHeader* list = CreateList(LIST_CULTURE_FIELDS);
  if (!s.rp || !list) {
    if (copy && !s.rp) DebugLog("ArbeiterReq: Konnte Speicher f\xFCr RastPort nicht allokieren 001 \n");
    if (!list) DebugLog("ArbeiterReq: Konnte keine leere ArmyListe anlegen...\n");
    if (list) DeleteList(list, 0);
    FreeVec(s.rp);
    if (copy) FreeBitMap(copy);
    if (opened) CloseElmorGfx(kPicture);
    RestoreBackground(saved, box.x1, box.y1, bw, bh);
    FreeScreenRegion(s.layout);
    return 0;
  }
  const uint32_t x = cell->X, y = cell->Y;
  s.terrain = GetTypeOfHex(cell->Grafik);
  s.bonus = (uint16_t)d->BonusResource;
  s.landValueB = d->LandValueB;
  ScanMapCult2List(list, x / 40, y / 20);
  s.automatic = CheckPrefs(PREFS_AUTO_CULTIVATION, 0, 0) == 1;
  if (!s.automatic) {
    s.pool = CheckPrefs(PREFS_FREE_WORKERS, 0, 0);
    if (s.pool == 0xFFFFFFFFu) s.pool = 0;
    ReadRecord(&s, list, x, y);
  } else {
    AutoValues(&s, d);
  }
  Labels(d, &s);
  RastPort* screen = ScreenRastPort();
  BltBitMapRastPort(copy, 0, 0, screen, box.x1, box.y1, (int32_t)bw, (int32_t)bh);
  SetFont(screen, d->Fonts[MAPFONT_HELV11]);
  PrintArbeiterWerte(&s);
  if (s.automatic) Switch(&s);
  ShowScreenRect(screen, box.x1, box.y1, (int32_t)bw, (int32_t)bh);
  KeyScope keys;  // a key held from before the box does not close it
  while (!WindowCloseRequested()) {
    const int32_t event = WaitEvent(0);
    if (event == WE_KEY_ESCAPE) break;
    Gadget* g = HandleGadgetEvent(screen, s.layout, (uint32_t)event);
    if (!g) continue;
    if (GadgetIs(g, "EXIT")) break;
    if (GadgetIs(g, "AUTO")) {
      s.automatic = !s.automatic;
      if (!s.automatic) {
        s.pool = d->Inhabitants;
        ReadRecord(&s, list, x, y);
      } else if (ChiefMessage(66, (640 - 304) / 2, (480 - 140) / 2,
                              0, 0, 0, 1, Str(1349), 7) == 0 &&
                 GoAutomatic()) {
        if (list->count) {
          DeleteList(list, 0);
          list = CreateList(LIST_CULTURE_FIELDS);
          if (!list) DebugLog("ArbeiterReq: Konnte keine Beweirtschaftsliste anlegen...\n");
        }
        AutoValues(&s, d);
        ForgetArbeiterAnzahl();
      } else {
        s.automatic = 0;  // declined: manual as before
      }
      SetFont(screen, d->Fonts[MAPFONT_HELV11]);
      PrintArbeiterWerte(&s);
      Switch(&s);
    } else if (!s.automatic && (GadgetIs(g, "BOX1") || GadgetIs(g, "BOX2") || GadgetIs(g, "BOX3"))) {
      EditArbeiterAnzahl(d, &s, (uint32_t)(g->id[3] - '1'));
      SetFont(screen, d->Fonts[MAPFONT_HELV11]);
      PrintArbeiterWerte(&s);
    } else if (GadgetIs(g, "INFO")) {
      TextBox(Str(1350));
    }
  }
  if (!s.automatic && s.record)
    for (uint32_t p = 0; p < 3; p++) SetWorkers(s.record, p, s.workers[p]);
  const uint32_t ok = (uint32_t)WriteClose(&s, s.automatic ? nullptr : list, x, y);
  ForgetArbeiterAnzahl();
  if (list) DeleteList(list, 0);
  FreeVec(s.rp);
  FreeBitMap(copy);
  CloseElmorGfx(kPicture);
  FreeMouseGadgetImages(s.layout);
  RestoreBackground(saved, box.x1, box.y1, bw, bh);
  FreeScreenRegion(s.layout);
  return ok;
}

// --- worker totals over the map ---------------------------------------------------------

namespace {

// The culture parts read for the totals, each kept with the stamp of its
// file: a redraw reads no file while the stamps stay.
struct CultPart {
  uint32_t column, row;
  uint32_t size;
  uint64_t mtime;
  uint32_t checked;             // the pass its stamp was last looked at
  std::vector<uint32_t> cells;  // (x << 16 | y) and the sum, in pairs
};
struct ArbeiterAnzahlState {
  std::vector<CultPart> parts;
  uint32_t pass = 0;   // one per walk over the view: each part's stamp once a pass
  uint32_t reads = 0;  // parts read from disk (tests)
};
ArbeiterAnzahlState& A() {
  static ArbeiterAnzahlState s;
  return s;
}

const CultPart* Part(uint32_t column, uint32_t row) {
  for (CultPart& p : A().parts)
    if (p.column == column && p.row == row && p.checked == A().pass) return &p;
  char path[64];
  MapCultPath(path, sizeof path, column, row);
  uint32_t size = 0;
  uint64_t mtime = 0;
  GetFileStamp(path, &size, &mtime);
  for (CultPart& p : A().parts)
    if (p.column == column && p.row == row) {
      p.checked = A().pass;
      if (p.size == size && p.mtime == mtime) return &p;
      p.cells.clear();
      p.size = size;
      p.mtime = mtime;
      A().reads++;
      ListHeader* list = CreateList(LIST_CULTURE_FIELDS);
      if (!list) {
        DebugLog("ArbeiterReq: Konnte keine leere ArmyListe anlegen...\n");
        return &p;
      }
      if (size) ScanMapCult2List(list, column, row);
      uint32_t i = 0;
      for (ListNode* n = list->first; n && i < list->count; n = n->next, ++i) {
        const auto* c = reinterpret_cast<const MapCultEintrag*>(n);
        p.cells.push_back((uint32_t)c->x << 16 | c->y);
        p.cells.push_back((uint32_t)c->harvest_workers + c->wood_workers + c->stone_workers);
      }
      DeleteList(list, 0);
      return &p;
    }
  A().parts.push_back(CultPart{column, row, ~0u, ~0ull, A().pass - 1, {}});
  return Part(column, row);
}

}  // namespace

void ForgetArbeiterAnzahl() { A().parts.clear(); }

uint32_t ArbeiterAnzahlReadsForTest() { return A().reads; }

void ArbeiterAnzahlLabels(KartenScreenRecord* d, std::vector<ArbeiterAnzahlLabel>* out) {
  out->clear();
  QoEMapInfo* map = d ? d->map : nullptr;
  if (!map) return;
  const int32_t shift = Deep() ? 16 : 0;
  const int32_t last = 2 * (map->Columns / 2);
  A().pass++;
  auto cellAt = [&](int32_t c, int32_t r) {
    const MapTile* t = CMapCell(map, map->ViewColumn + c, map->ViewRow + r);
    if (!t || t->Besitzer != MapOwnPlayer()) return;
    const CultPart* p = Part(t->X / 40, t->Y / 20);
    const uint32_t key = t->X << 16 | (t->Y & 0xFFFF);
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < p->cells.size(); i += 2)
      if (p->cells[i] == key) sum = p->cells[i + 1];
    if (!sum) return;
    ArbeiterAnzahlLabel l{};
    l.x1 = 48 * c + 11 - shift;
    l.x2 = 48 * c + 51 - shift;
    l.y = 56 * r + ((c & 1) ? 61 : 33) - shift;
    if (!IsInMapArea(l.x1, l.y, l.x2, l.y + 9)) return;
    l.sum = sum;
    out->push_back(l);
  };
  for (int32_t c = 1; c < last; c += 2)
    for (int32_t r = 0; r < map->Rows; r++) cellAt(c, r);
  for (int32_t c = 2; c <= last; c += 2)
    for (int32_t r = 1; r <= map->Rows; r++) cellAt(c, r);
}

void PrintArbeiterAnzahl(KartenScreenRecord* d, uint32_t buffer) {
  if (!d || !d->map) return;
  QoEMapInfo* map = d->map;
  if (!d->ResourcesOverlay) {
    LockMotion(d->Motion);
    SetPos(map, 0, 0);
    UnlockMotion(d->Motion);
    return;
  }
  RastPort* rp = GetScreenRastPort(buffer);
  if (!rp) return;
  std::vector<ArbeiterAnzahlLabel> labels;
  ArbeiterAnzahlLabels(d, &labels);
  // The map view's font is closed with the view (an upload or a download
  // opens it anew): the RastPort gets its own font back.
  TextFont* const found = rp->Font;
  SetFont(rp, map->Font);
  for (const ArbeiterAnzahlLabel& l : labels) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", l.sum);
    // Light text in its dark outline stays legible on every terrain.
    PrintTextOutlined(rp, l.x1, l.y, l.x2, l.y + 9, text, 0, 1, 549);
  }
  RestoreFont(rp, found);
}

// --- the caravan requester -----------------------------------------------------------------

void KarawaneReq() {
  ScreenRegion* layout = GetScreenRegion(".\\Data\\Screendat\\KarawaneReq.dat", 530);
  if (!layout) {
    DebugLog("KarawaneReq: Konnte KarawanenReq.dat nicht laden...\n");
    return;
  }
  LayoutRect r{0, 0, 359, 259};
  GetLayoutRect(layout, 0, &r);
  const int32_t w = r.x2 - r.x1 + 1, h = r.y2 - r.y1 + 1;
  const int32_t x = ((int32_t)MapDisplayWidth() - w) / 2, y = ((int32_t)MapDisplayHeight() - h) / 2;
  BitMap* saved = SaveBackground(x, y, (uint32_t)w, (uint32_t)h);
  if (!saved) {
    DebugLog("KarawaneReq: Konnte ein Rechteck des Hintergrundes nicht retten !\n");
    FreeScreenRegion(layout);
    return;
  }
  RastPort* rp = ScreenRastPort();
  BlitObjekt(rp, 1265, x, y, (uint32_t)w, (uint32_t)h);
  ShowScreenRect(rp, x, y, w, h);
  SetMouseGadgetOffset(layout, x, y);
  static const char* const kCloses[] = {"DO00", "EXIT", "INPU", "LEFT", "OKOK", "REQU", "RIGH", "SLID", "UP00"};
  KeyScope keys;
  while (!WindowCloseRequested()) {
    const int32_t event = WaitEvent(0);
    if (event == WE_KEY_ESCAPE) break;
    Gadget* g = HandleGadgetEvent(rp, layout, (uint32_t)event);
    if (!g) continue;
    if (GadgetIs(g, "INFO")) {
      TextBox(GetCatalogStr(1825));  // the caravan requester
      break;
    }
    bool close = false;
    for (const char* id : kCloses) close = close || GadgetIs(g, id);
    if (close) break;
  }
  FreeMouseGadgetImages(layout);
  RestoreBackground(saved, x, y, (uint32_t)w, (uint32_t)h);
  FreeScreenRegion(layout);
}
