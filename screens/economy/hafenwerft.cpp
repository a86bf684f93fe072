// The harbour's two requesters: the shipyard (launching ships kept in the
// warehouse, wrecking ships in port) and the repair yard (repair orders for
// damaged ships in port). A confirmation changes MapPrefs, the goods file,
// the outgoing pool or the add-on file together, through one FileSet.
#include <cstdio>
#include <cstring>

#include "screens/economy/hafen.h"
#include "screens/economy/hafen_internal.h"

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/shell.h"

using namespace hafen;

namespace {

constexpr uint32_t kWerftGfx = 520, kRepGfx = 1138;
constexpr uint32_t kLayoutMask = 519;  // texts, gadgets, areas, the u16 list
constexpr uint32_t kUnderRepair = 16, kCarried = 7;
constexpr uint32_t kRepairing = 1453, kUnload = 1151, kWreckQuestion = 1452, kGold = 670, kRepairHelp = 1451;
constexpr uint32_t kSaveFailed = 127;  // "The data could not be saved."
constexpr uint16_t kWood = 98;
constexpr uint32_t kPanelPen = 19, kPanelOutline = 45, kPanelText = 47;
const char kShipAddOnPath[] = ".\\Data\\ShipAddOn.dat";
const char kWorkaround[] =
    "Warning ! With this workaround you delete all Ships in this town ! If there are ships with ballast in this "
    "town i must delete your game ! Regards Brasko";

bool IsShipType(uint32_t type) { return type >= 14 && type <= 19; }

bool Carries(const Schiffseintrag* s) {
  for (const FigurRecord& c : s->cargo)
    if (c.state == kCarried) return true;
  return false;
}

int32_t NodeIndex(ListHeader* list, const void* node) {
  int32_t i = 0;
  for (ListNode* n = list ? list->first : nullptr; n && i < (int32_t)list->count; n = n->next, ++i)
    if (n == node) return i;
  return -1;
}

// Unlinks and frees a node of the list.
void Unlink(ListHeader* list, const void* node) {
  const int32_t i = NodeIndex(list, node);
  if (i >= 0) RemoveNode(list, LN_INDEX, (uint32_t)i, 0);
}

// 1 when the node of the figure list was read from MapPrefs (launched ones
// follow those and are not in the file yet).
bool FromFile(HafenScreenData* d, const MOVE_EXT* m) {
  const int32_t i = NodeIndex(d->figuren, m);
  return i >= 0 && (uint32_t)i < d->figurenGeladen;
}

// A figure read from the file leaves the figure list.
void RemoveFigure(HafenScreenData* d, MOVE_EXT* m) {
  if (FromFile(d, m)) --d->figurenGeladen;
  if (d->figur == m) d->figur = nullptr;
  Unlink(d->figuren, m);
}

// The own ship in port of a line, only when it has a SHIP record.
Schiffseintrag* RecordOf(HafenScreenData* d, MOVE_EXT* m) {
  return m && FromFile(d, m) ? HafenSchiffseintrag(d, m->figure.number) : nullptr;
}

bool OwnShipAtTown(const HafenScreenData* d, const FigurRecord& f) {
  return f.owner == GameDataOwnerID() && IsShipType(f.type) && f.x == d->stadtX && f.y == d->stadtY;
}

// The disk image of a chunk given in host order: a new block and *size, or null.
uint8_t* DiskImage(const uint8_t* chunk, uint32_t* size) {
  *size = (uint32_t)sizeof(ChunkHeader) + ChunkLength(chunk);
  uint8_t* disk = static_cast<uint8_t*>(AllocVec(*size, MEMF_PUBLIC));
  if (disk) std::memcpy(disk, chunk, *size);
  if (disk && !SwapByteOrderInChunk(disk, *size, 0)) {
    FreeVec(disk);
    disk = nullptr;
  }
  return disk;
}

// Writes the files of the images together (null entries skipped); 1 or 0.
struct Image {
  const char* path;
  uint8_t* data;
  uint32_t size;
};
int32_t WriteTogether(const Image* images, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i)
    if (!images[i].data) return 0;
  FileSet* set = BeginFileSet();
  int32_t ok = set != nullptr;
  for (uint32_t i = 0; ok && i < count; ++i) ok = FileSetWrite(set, images[i].path, images[i].data, images[i].size);
  if (set) ok = CommitFileSet(set) && ok;  // a failed set commits nothing
  return ok;
}

void FreeImages(Image* images, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) FreeVec(images[i].data);
}

// The lines of both lists again, and their requesters.
int32_t RebuildWerft(HafenScreenData* d) {
  if (!InitWerftRequester(d)) {
    DebugLog("ChangeRequesterBuffer: Konnte den WerftListe nicht neu anlegen!\n");
    return 0;
  }
  if (!UpdateWarenRequester(d, d->werftAnzahl, d->werftZeilen)) {
    DebugLog("ChangeRequesterBuffer: Konnte den WerftRequester nicht neu anlegen!\n");
    return 0;
  }
  return 1;
}

int32_t RebuildAnker(HafenScreenData* d) {
  if (!AllocFigurenListe(d) || !UpdateAnkerRequester(d, d->ankerAnzahl, d->ankerZeilen)) {
    DebugLog("ChangeRequesterBuffer: Konnte den Anker-Liste nicht neu anlegen!\n");
    return 0;
  }
  return 1;
}

// The line-th ship goods record of the warehouse, or null.
WarenListenEntry* WerftWare(HafenScreenData* d, uint32_t line) {
  uint32_t i = 0, k = 0;
  for (ListNode* n = d->waren ? d->waren->first : nullptr; n && i < d->waren->count; n = n->next, ++i) {
    auto* w = reinterpret_cast<WarenListenEntry*>(n);
    if (w->kind == WARE_LAGER && HafenSchiffsTyp(w->goods) && k++ == line) return w;
  }
  return nullptr;
}

int32_t Launch(HafenScreenData* d, uint32_t line) {
  if (d->werftLeer) return 1;
  WarenListenEntry* w = WerftWare(d, line);
  if (!w) return 0;
  DebugLog("ChangeRequesterBuffer : Schiff Nr. %u links wird subtrahiert...\n", line);
  const uint16_t type = HafenSchiffsTyp(w->goods);
  if (w->quantity <= 1) Unlink(d->waren, w);
  else --w->quantity;
  if (!RebuildWerft(d)) return 0;
  auto* m = reinterpret_cast<MOVE_EXT*>(AllocListNode(d->figuren));
  if (!m) {
    DebugLog("ChangeRequesterBuffer: Konnte die FigurNode nicht allokieren!\n");
    return 0;
  }
  m->figure = FigurRecord{GameDataOwnerID(), type, 0, d->stadtX, d->stadtY, 0, 0};
  AddNode(d->figuren, &m->head, LN_TAIL, 0);
  if (!RebuildAnker(d)) return 0;
  DebugLog("ChangeRequesterBuffer: durch 1 \n");
  return 1;
}

// Remembers a wreck mark of this opening with the damage before it.
int32_t Mark(HafenScreenData* d, Schiffseintrag* s) {
  if (d->markenAnzahl == d->markenPlatz) {
    const uint32_t cap = d->markenPlatz ? d->markenPlatz * 2 : 8;
    auto** marks = static_cast<Schiffseintrag**>(AllocVec(cap * sizeof(Schiffseintrag*), MEMF_PUBLIC));
    auto* damage = static_cast<uint16_t*>(AllocVec(cap * sizeof(uint16_t), MEMF_PUBLIC));
    if (!marks || !damage) {
      FreeVec(marks);
      FreeVec(damage);
      return 0;
    }
    if (d->markenAnzahl) {
      std::memcpy(marks, d->marken, d->markenAnzahl * sizeof(Schiffseintrag*));
      std::memcpy(damage, d->markenSchaden, d->markenAnzahl * sizeof(uint16_t));
    }
    FreeVec(d->marken);
    FreeVec(d->markenSchaden);
    d->marken = marks;
    d->markenSchaden = damage;
    d->markenPlatz = cap;
  }
  d->marken[d->markenAnzahl] = s;
  d->markenSchaden[d->markenAnzahl++] = s->damage;
  return 1;
}

int32_t Wreck(HafenScreenData* d, uint32_t line) {
  if (d->ankerLeer) return 1;
  MOVE_EXT* m = HafenAnkerFigur(d, line);
  if (!m) return 0;
  if (m->figure.state == kUnderRepair) {
    Notice(kRepairing);
    return 1;
  }
  Schiffseintrag* s = RecordOf(d, m);
  if (!s) return 1;  // a ship without its record (or not launched yet) is not wrecked
  if (Carries(s)) {
    Notice(kUnload);
    return 1;
  }
  char text[400];
  std::snprintf(text, sizeof text, "%s %u %s", GetCatalogStr(kWreckQuestion), WreckCost(s->ship_class, Schatz(d)),
                GetCatalogStr(kGold));
  if (!Ask(text)) return 1;
  DebugLog("ChangeRequesterBuffer: Schiff rechts wird subtrahiert %u\n", line);
  DebugLog("ID des Schiffes %u\n", s->ship_id);
  if (!Mark(d, s)) return 0;
  RemoveFigure(d, m);
  s->damage = s->ship_class;
  return RebuildAnker(d);
}

// The own ship figures read from the file at the town whose record carries
// a figure: 1 when there is one.
bool AnyLoadedInPort(HafenScreenData* d) {
  for (uint32_t line = 0; MOVE_EXT* m = HafenAnkerFigur(d, line); ++line) {
    Schiffseintrag* s = RecordOf(d, m);
    if (s && Carries(s)) return true;
  }
  return false;
}

// Every own ship figure of the file at the town leaves, with its record.
void ClearPort(HafenScreenData* d) {
  uint32_t line = 0;
  while (MOVE_EXT* m = HafenAnkerFigur(d, line)) {
    if (!FromFile(d, m)) {
      ++line;
      continue;
    }
    if (Schiffseintrag* s = HafenSchiffseintrag(d, m->figure.number)) Unlink(d->schiffe, s);
    RemoveFigure(d, m);
  }
}

// The wrecks: every record at the town whose damage reached its class and
// that carries no figure leaves the list with its figure; the treasury pays
// class x 2500 (at most what it holds), the store gains class x 5 wood.
int32_t CarryOutWrecks(HafenScreenData* d) {
  ListNode* n = d->schiffe->first;
  for (uint32_t i = 0, count = d->schiffe->count; n && i < count; ++i) {
    auto* s = reinterpret_cast<Schiffseintrag*>(n);
    n = n->next;
    if (s->ship_class == 0 || s->damage != s->ship_class || s->x != d->stadtX || s->y != d->stadtY || Carries(s))
      continue;
    const uint32_t wood = uint32_t(s->ship_class) * 5u;
    if (!AddWare2List(d->waren, WARE_LAGER, kWood, wood, 0)) {
      DebugLog("ChangeRequesterBuffer: Konnte die WarenNode nicht allokieren!\n");
      return 0;
    }
    SetSchatz(d, Schatz(d) - WreckCost(s->ship_class, Schatz(d)));
    for (uint32_t line = 0; MOVE_EXT* m = HafenAnkerFigur(d, line);) {
      if (FromFile(d, m) && m->figure.number == s->ship_id) RemoveFigure(d, m);
      else ++line;
    }
    Unlink(d->schiffe, s);
  }
  return 1;
}

// The launches: every own ship figure at the town that is not in the file
// yet or whose number has no record gets a free number (the lowest one no
// other figure uses), goes to the end of the list as a new figure and gets
// a new record of its launch class.
int32_t CarryOutLaunches(HafenScreenData* d) {
  uint8_t* used = static_cast<uint8_t*>(AllocVec(0x10000, MEMF_PUBLIC | MEMF_CLEAR));
  if (!used) return 0;
  // Candidates first: numbers of the other figures count as used.
  uint32_t i = 0, candidates = 0;
  for (ListNode* n = d->figuren->first; n && i < d->figuren->count; n = n->next, ++i) {
    auto* m = reinterpret_cast<MOVE_EXT*>(n);
    const bool candidate = OwnShipAtTown(d, m->figure) && (i >= d->figurenGeladen || !HafenSchiffseintrag(d, m->figure.number));
    n->tag = candidate;
    candidates += candidate;
    if (!candidate) used[m->figure.number] = 1;
  }
  int32_t ok = 1;
  for (uint32_t done = 0; ok && done < candidates; ++done) {
    ListNode* n = d->figuren->first;
    for (i = 0; n && i < d->figuren->count && !n->tag; ++i) n = n->next;
    if (!n || !n->tag) break;
    auto* m = reinterpret_cast<MOVE_EXT*>(n);
    uint32_t nr = 1;
    while (nr < 0xFFFF && used[nr]) ++nr;
    auto* s = reinterpret_cast<Schiffseintrag*>(AllocListNode(d->schiffe));
    if (nr >= 0xFFFF || !s) {
      DebugLog(s ? "SetNewShips : Konnte Armee nicht im MoveChunk abspeichern...\n"
                 : "SetNewShips : Konnte Speicher f\xFCr Schiffseintrag nicht allokieren...\n");
      FreeVec(s);
      ok = 0;
      break;
    }
    used[nr] = 1;
    const bool fromFile = i < d->figurenGeladen;
    RemoveNode(d->figuren, LN_INDEX, i, RN_KEEP_NODE);
    if (fromFile) --d->figurenGeladen;
    n->tag = 0;
    m->figure.number = (uint16_t)nr;
    m->figure.state = 0;
    m->figure.points = 0;
    AddNode(d->figuren, n, LN_TAIL, 0);
    s->ship_id = (uint16_t)nr;
    s->ship_class = ShipLaunchClass(m->figure.type, d->fors);
    s->x = d->stadtX;
    s->y = d->stadtY;
    AddNode(d->schiffe, &s->head, LN_TAIL, 0);
  }
  FreeVec(used);
  for (ListNode* n = d->figuren->first; n; n = n->next == d->figuren->first ? nullptr : n->next) n->tag = 0;
  if (ok) d->figurenGeladen = d->figuren->count;
  return ok;
}

// After a failed confirmation: the record holds what the files hold again.
void ReadBack(HafenScreenData* d) {
  ReloadShipsAndLand(d);
  FreeFigurenListe(d);
  FreeWerftListe(d);
  if (AllocHafenFigurenListe(d)) d->schiffImHafen = (uint16_t)HafenSchiffImHafen(d);
  d->markenAnzahl = 0;
}

}  // namespace

int32_t CarryOutShipyard(HafenScreenData* d, int32_t workaround) {
  if (!d || !d->gelesen) return 1;  // no game: nothing to write
  if (!d->figuren || !d->waren || !d->schiffe) {
    // A list whose file could not be read: nothing is written over that file.
    DebugLog("SetNewShips: Die Listen sind nicht gelesen, keine Datei wurde ge\xE4ndert.\n");
    return 0;
  }
  if (workaround) {
    if (AnyLoadedInPort(d)) Notice(kUnload);
    else ClearPort(d);
  }
  int32_t ok = CarryOutWrecks(d) && CarryOutLaunches(d);
  Image images[3] = {{OutgoingPoolPath, nullptr, 0}, {MapPrefsPath, nullptr, 0}, {kWarenChunk, nullptr, 0}};
  if (ok) {
    images[0].data = PoolImage(d, &images[0].size);
    images[1].data = MakeMapPrefsImage(d->figuren, &images[1].size);
    uint8_t* ware = MakeWareChunkFromList(d->waren);
    if (!ware) DebugLog("SetNewShips : Konnte Chunk nicht anlegen\n");
    else images[2].data = DiskImage(ware, &images[2].size);
    if (ware) FreeChunk(ware);
    ok = WriteTogether(images, 3);
  }
  FreeImages(images, 3);
  if (!ok) {
    DebugLog("SetNewShips: Die Schiffe konnten nicht gespeichert werden, keine Datei wurde ge\xE4ndert.\n");
    ReadBack(d);
    return 0;
  }
  d->schiffImHafen = (uint16_t)HafenSchiffImHafen(d);
  d->markenAnzahl = 0;
  return 1;
}

namespace {

// The requester's rectangle (list rectangle 0) and its size; 0 when the
// layout has none.
int32_t Box(ScreenRegion* layout, int32_t* x, int32_t* y, uint32_t* w, uint32_t* h) {
  LayoutRect r{};
  if (!GetLayoutRect(layout, 0, &r) || r.x2 <= r.x1 || r.y2 <= r.y1) return 0;
  *x = r.x1;
  *y = r.y1;
  *w = r.x2 - r.x1 + 1u;
  *h = r.y2 - r.y1 + 1u;
  return 1;
}

// Prints the layout's areas (0 with ElmorC1, the others with XHelvetica 11).
void PrintAreas(HafenScreenData* d, ScreenRegion* layout) {
  RastPort* rp = ScreenRastPort();
  const ScreenRecordList& areas = layout->types[LAYOUT_AREA];
  const TextArea* a = static_cast<const TextArea*>(areas.first);
  for (uint32_t i = 0; rp && a && i < areas.count; ++i) {
    SetFont(rp, i == 0 ? d->elmor : d->font11);
    if (a[i].text)
      PrintTextOutlined(rp, a[i].x1, a[i].y1, a[i].x2, a[i].y2, a[i].text, kPenOutline, kPenText,
                        (i == 0 ? (uint32_t)PTO_CENTRE : 0u) | PTO_VCENTRE | PTO_BASELINE);
  }
  if (rp) SetFont(rp, d->elmor);
}

// One requester's frame: its layout, the background kept, its picture with
// the texts and gadgets. Null (logged) on failure, with nothing left open.
struct Frame {
  ScreenRegion* layout;
  BitMap* saved;
  int32_t x, y;
  uint32_t w, h, gfx;
};

bool OpenFrame(HafenScreenData* d, Frame* f, const char* path, uint32_t gfx, const char* who) {
  *f = Frame{};
  f->gfx = gfx;
  f->layout = GetScreenRegion(path, kLayoutMask);
  if (!f->layout || !Box(f->layout, &f->x, &f->y, &f->w, &f->h)) {
    DebugLog("%s: Konnte Externe Daten nicht laden !\n", who);
    FreeScreenRegion(f->layout);
    f->layout = nullptr;
    return false;
  }
  f->saved = SaveBackground(f->x, f->y, f->w, f->h);
  if (!f->saved) {
    DebugLog("%s: Konnte ein Rechteck des Hintergrundes nicht retten !\n", who);
    FreeScreenRegion(f->layout);
    f->layout = nullptr;
    return false;
  }
  if (OpenElmorGfx(kGfxIndex, gfx) != 1) {
    DebugLog("%s: Konnte ein Bob nicht laden!\n", who);
    RestoreBackground(f->saved, f->x, f->y, f->w, f->h);
    FreeScreenRegion(f->layout);
    f->layout = nullptr;
    return false;
  }
  BlitObjekt(nullptr, gfx, f->x, f->y, f->w, f->h);
  PrintAreas(d, f->layout);
  RestoreMouseGadgets(nullptr, f->layout);
  ShowScreenRect(ScreenRastPort(), f->x, f->y, (int32_t)f->w, (int32_t)f->h);
  return true;
}

void CloseFrame(HafenScreenData* d, Frame* f) {
  FreeRequesterBox(d->werftReq);
  FreeRequesterBox(d->ankerReq);
  d->werftReq = d->ankerReq = nullptr;
  FreeFigurenListe(d);
  FreeWerftListe(d);
  CloseElmorGfx(f->gfx);
  RestoreBackground(f->saved, f->x, f->y, f->w, f->h);
  FreeMouseGadgetImages(f->layout);
  FreeScreenRegion(f->layout);
  *f = Frame{};
  d->werftLayout = d->repLayout = nullptr;
  RedrawHarbourArea(d);
}

// Scrolling gadgets of a list: Uk, Dk, Sk (k the list's digit).
bool Scrolled(QoERequester* req, Gadget* g, char digit) {
  const char up[5] = {'U', '1', '0', digit, 0}, down[5] = {'D', '1', '0', digit, 0}, bar[5] = {'S', '1', '0', digit, 0};
  if (!GadgetIs(g, up) && !GadgetIs(g, down) && !GadgetIs(g, bar)) return false;
  if (req) {
    MoveSlider(req, GadgetIs(g, bar) ? (uint32_t)GetMouseY() : GadgetIs(g, up) ? (uint32_t)SLIDER_UP : (uint32_t)SLIDER_DOWN);
    ScrollRequester(req, 0, 0);
  }
  return true;
}

// A click into a list: the line under the mouse; it acts when it is the line
// selected last (at the start line 0), and the selection is then cleared.
int32_t Clicked(HafenScreenData* d, QoERequester* req, uint32_t side) {
  if (!req) return -1;
  const uint32_t line = SelectRequesterEntry(req, 0, (uint32_t)GetMouseY(), kPenText, kPenBack);
  if (line == kNoEntry) return -1;
  if ((int32_t)line != d->zuletzt[side]) {
    d->zuletzt[side] = (int32_t)line;
    return -1;
  }
  d->zuletzt[side] = -1;
  return (int32_t)line;
}

}  // namespace

int32_t ChangeRequesterBuffer(HafenScreenData* d, uint32_t side, uint32_t line) {
  if (!d || !d->figuren || !d->waren) return 0;
  return side == 0 ? Launch(d, line) : Wreck(d, line);
}

void UndoWreckMarks(HafenScreenData* d) {
  while (d->markenAnzahl) {
    --d->markenAnzahl;
    d->marken[d->markenAnzahl]->damage = d->markenSchaden[d->markenAnzahl];
  }
}

int32_t SetNewShips(HafenScreenData* d) {
  const bool deep = DeepDisplay();
  if (deep) KartenScreenSaveData();
  const bool workaround = WaitCtrlKey() == 17 && Ask(kWorkaround);
  const int32_t ok = CarryOutShipyard(d, workaround);
  if (deep) KartenScreenNewSetup();
  return ok;
}

int32_t HafenSchiffReq(HafenScreenData* d) {
  Frame f{};
  if (!OpenFrame(d, &f, ".\\Data\\Screendat\\HafenSchiffeReq.dat", kWerftGfx, "HafenSchiffReq")) return 0;
  d->werftLayout = f.layout;
  d->zuletzt[0] = d->zuletzt[1] = 0;
  d->markenAnzahl = 0;
  if (!InitWerftRequester(d) || !AllocFigurenListe(d)) {
    DebugLog("HafenSchiffReq: Konnte die WerftListe nicht anlegen!\n");
    CloseFrame(d, &f);
    return 0;
  }
  if (!UpdateWarenRequester(d, d->werftAnzahl, d->werftZeilen) || !UpdateAnkerRequester(d, d->ankerAnzahl, d->ankerZeilen)) {
    DebugLog("HafenSchiffReq: Konnte den WerftRequester nicht anlegen!\n");
    CloseFrame(d, &f);
    return 0;
  }
  bool confirmed = false, done = false;
  KeyScope keys;  // a key held from before the requester does not answer it
  while (!done) {
    const int32_t event = WaitEvent(WE_TICKS);
    Gadget* g = HandleGadgetEvent(nullptr, f.layout, (uint32_t)event);
    if (WindowCloseRequested()) break;
    if (!g) continue;
    if (Scrolled(d->werftReq, g, '0') || Scrolled(d->ankerReq, g, '1')) continue;
    if (GadgetIs(g, "B100") || GadgetIs(g, "B101")) {
      const uint32_t side = GadgetIs(g, "B100") ? 0 : 1;
      QoERequester* req = side ? d->ankerReq : d->werftReq;
      const int32_t line = Clicked(d, req, side);
      if (line < 0) continue;
      if (!ChangeRequesterBuffer(d, side, (uint32_t)line)) DebugLog("HafenSchiffReq: Die \xC4nderung ist fehlgeschlagen.\n");
      if (QoERequester* now = side ? d->ankerReq : d->werftReq) SelectRequesterEntry(now, 1, kNoEntry);
    } else if (GadgetIs(g, "EXIT")) {
      done = true;
    } else if (GadgetIs(g, "OK00")) {
      confirmed = done = true;
      if (!SetNewShips(d)) {
        DebugLog("HafenSchiffReq: beim abspeichern der Schiffsliste ist ein Fehler aufgetreten...\n");
        Notice(kSaveFailed);
      }
    }
  }
  if (!confirmed) UndoWreckMarks(d);
  d->markenAnzahl = 0;
  CloseFrame(d, &f);
  return 1;
}

// ---- the repair yard -------------------------------------------------------------

namespace {

ShipAddOn* AddOnOf(HafenScreenData* d, uint16_t ship_id) {
  uint32_t i = 0;
  for (ListNode* n = d->addOns ? d->addOns->first : nullptr; n && i < d->addOns->count; n = n->next, ++i) {
    auto* a = reinterpret_cast<ShipAddOn*>(n);
    if (a->ship_id == ship_id) return a;
  }
  return nullptr;
}

// Panel k (rectangles 3..8 of the repair layout) with its value; the last
// four on a filled ground.
void Panel(HafenScreenData* d, uint32_t k, const char* text) {
  LayoutRect r{};
  RastPort* rp = ScreenRastPort();
  if (!rp || !d->repLayout || !GetLayoutRect(d->repLayout, 3 + k, &r)) return;
  SetFont(rp, d->font11);
  SetAPen(rp, kPanelPen);
  RectFill(rp, r.x1, r.y1, r.x2, r.y2);
  SetAPen(rp, kPanelOutline);
  Move(rp, r.x1, r.y1);
  Draw(rp, r.x2, r.y1);
  Draw(rp, r.x2, r.y2);
  Draw(rp, r.x1, r.y2);
  Draw(rp, r.x1, r.y1);
  PrintTextOutlined(rp, r.x1, r.y1, r.x2, r.y2, text, kPanelPen, kPanelText, PTO_CENTRE | PTO_VCENTRE | PTO_BASELINE);
  ShowScreenRect(rp, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
  SetFont(rp, d->elmor);
}

}  // namespace

void ShowRepairData(HafenScreenData* d, uint32_t line, int32_t step) {
  MOVE_EXT* m = HafenAnkerFigur(d, line);
  Schiffseintrag* s = RecordOf(d, m);
  if (!s) {
    d->figur = nullptr;
    return;
  }
  if (step > 0 && d->reparatur < 0xFFFF) ++d->reparatur;
  if (step < 0 && d->reparatur > 0) --d->reparatur;
  if (const ShipAddOn* a = AddOnOf(d, s->ship_id)) d->reparatur = a->repair;
  if (d->reparatur > s->damage) d->reparatur = s->damage;
  const uint32_t values[6] = {s->x, s->y, 0, d->reparatur, d->reparatur * ShipRepairCost(m->figure.type), d->reparatur};
  char text[40];
  for (uint32_t k = 0; k < 6; ++k) {
    if (k == 2) std::snprintf(text, sizeof text, "%u/%u", s->damage, s->ship_class);
    else std::snprintf(text, sizeof text, "%u", values[k]);
    Panel(d, k, text);
  }
  d->figur = m;
  d->schiffId = s->ship_id;
}

int32_t SetRepairShip(HafenScreenData* d) {
  if (!d || !d->figur || !d->gelesen || !d->addOns) return 1;  // nothing chosen: nothing ordered
  const bool deep = DeepDisplay();
  if (deep) KartenScreenSaveData();
  int32_t ok = 1;
  ShipAddOn* a = AddOnOf(d, d->schiffId);
  if (!a) {
    a = reinterpret_cast<ShipAddOn*>(AllocListNode(d->addOns));
    if (!a) {
      DebugLog("SetRepairShip: Konnte Speicher f\xFCr Schiffseintrag nicht allokieren...\n");
      ok = 0;
    } else {
      AddNode(d->addOns, &a->head, LN_TAIL, 0);
    }
  }
  if (ok) {
    d->figur->figure.state = kUnderRepair;
    d->figur->figure.points = 0;
    a->ship_id = d->schiffId;
    a->repair = d->reparatur;
    Image images[2] = {{kShipAddOnPath, nullptr, 0}, {MapPrefsPath, nullptr, 0}};
    images[0].data = MakeShipAddOnImage(d->addOns, &images[0].size);
    images[1].data = MakeMapPrefsImage(d->figuren, &images[1].size);
    ok = WriteTogether(images, 2);
    FreeImages(images, 2);
  }
  d->reparatur = 0;
  if (!ok) {
    DebugLog("WriteHafenData: Konnte ShipAddOnDaten nicht speichern \n");
    // The files are as they were: so are the lists.
    DeleteList(d->addOns, 0);
    d->addOns = ScanShipAddOn2List();
    FreeFigurenListe(d);
  }
  if (deep) KartenScreenNewSetup();
  return ok;
}

int32_t HafenSchiffRep(HafenScreenData* d) {
  Frame f{};
  if (!OpenFrame(d, &f, ".\\Data\\Screendat\\HafenSchiffsRepReq.dat", kRepGfx, "HafenSchiffRep")) return 0;
  d->repLayout = f.layout;
  if (!AllocFigurenListe(d)) {
    DebugLog("HafenSchiffRep: Konnte die WerftListe nicht anlegen!\n");
    CloseFrame(d, &f);
    return 0;
  }
  if (!UpdateAnkerRequester(d, d->ankerAnzahl, d->ankerZeilen)) {
    DebugLog("HafenSchiffRep: Konnte den WerftRequester nicht anlegen!\n");
    CloseFrame(d, &f);
    return 0;
  }
  d->reparatur = 0;
  d->figur = nullptr;
  int32_t chosen = -1;
  bool done = false;
  KeyScope keys;
  while (!done) {
    const int32_t event = WaitEvent(WE_TICKS);
    Gadget* g = HandleGadgetEvent(nullptr, f.layout, (uint32_t)event);
    if (WindowCloseRequested()) break;
    if (!g || Scrolled(d->ankerReq, g, '0')) continue;
    if (GadgetIs(g, "B100")) {
      const uint32_t line = d->ankerReq ? SelectRequesterEntry(d->ankerReq, 0, (uint32_t)GetMouseY(), kPenText, kPenBack) : kNoEntry;
      if (line == kNoEntry) continue;
      if ((int32_t)line != chosen) d->reparatur = 0;
      chosen = (int32_t)line;
      ShowRepairData(d, line, 0);
    } else if ((GadgetIs(g, "R100") || GadgetIs(g, "L100")) && chosen >= 0) {
      ShowRepairData(d, (uint32_t)chosen, GadgetIs(g, "R100") ? 1 : -1);
    } else if (GadgetIs(g, "INFO")) {
      TextBox(GetCatalogStr(kRepairHelp));
    } else if (GadgetIs(g, "EXIT")) {
      done = true;
    } else if (GadgetIs(g, "OK00")) {
      done = true;
      if (chosen >= 0 && !SetRepairShip(d)) {
        DebugLog("HafenSchiffRep: Konnte neue Map-Prefs nicht abspeichern!\n");
        Notice(kSaveFailed);
      }
    }
  }
  d->figur = nullptr;
  d->reparatur = 0;
  CloseFrame(d, &f);
  return 1;
}
