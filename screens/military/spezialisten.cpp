// The specialists screen. See spezialisten.h.
#include "spezialisten.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/display.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"

namespace {

constexpr uint32_t kPicture = 38, kPortrait = 1096, kLayoutMask = 1575, kTitlePen = 6;
constexpr uint8_t kCdTrack = 4;
constexpr uint32_t kLabels = 23, kCleric = 1385, kSavedFailed = 127;  // "The data could not be saved."
constexpr uint32_t kLine = kRequesterLineSize;
// The boxes: parchment and ink (the brown of pen 6 would swallow the ink),
// the slider's pens, the separators' pens.
constexpr uint32_t kBoxGround = 5, kBoxInk = 7, kKnob = 26, kTrack = 22, kEdgeLight = 25, kEdgeDark = 24;
const uint32_t kSeparatorPens[3] = {25, 29, 30};
// The columns of a box line: the name, the type, the wage (to the box's
// right edge), three separator pixels between them.
constexpr int32_t kNameEnd = 100, kTypeStart = 104, kTypeEnd = 153, kWageStart = 157;
constexpr uint32_t kColumnFlags = PTO_TOP | PTO_FILL | PTO_CENTRE, kNameFlags = PTO_TOP | PTO_FILL;
constexpr uint32_t kFieldFlags = PTO_CENTRE | PTO_BASELINE | PTO_FILL | PTO_VCENTRE;
constexpr uint32_t kLabelFlags = PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE;
// The value fields of the layout.
enum : uint32_t {
  kFieldName = 0, kFieldType = 1, kFieldFirst = 2, kFieldSecond = 3, kFieldAttributes = 4, kFieldWage = 10,
  kFieldTotal = 11,
};
// Catalog texts: the line of an empty box, the specialist who is elsewhere.
constexpr uint32_t kNobody = 1845, kElsewhere = 1846;
// The figure file is damaged or missing: what the screen goes without
// (under the file's name as it opens), and the refusal of hiring and
// dismissing.
constexpr uint32_t kFiguresDamagedText = 1794, kNeedsFigures = 1795;

SpezialistEintrag* At(ListHeader* list, ListNode* n) {
  return list && n ? reinterpret_cast<SpezialistEintrag*>(n) : nullptr;
}

bool InBox(const SpezialistEintrag* s, int32_t hired) { return hired ? s->state == kSpezHired : s->state < kSpezHired; }

MOVE_EXT* Figure(ListNode* n) { return reinterpret_cast<MOVE_EXT*>(n); }

}  // namespace

// ---- The model -------------------------------------------------------------------

bool SpezialistInTown(const SpezialistEintrag* s, uint32_t x, uint32_t y) { return s && s->x == x && s->y == y; }

SpezialistEintrag* SpezialistOfBox(ListHeader* list, int32_t hired, int32_t entry) {
  if (!list || entry < 0) return nullptr;
  int32_t seen = 0;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count && n; ++i, n = n->next) {
    SpezialistEintrag* s = At(list, n);
    if (InBox(s, hired) && seen++ == entry) return s;
  }
  return nullptr;
}

uint32_t SpezialistenInBox(ListHeader* list, int32_t hired) {
  uint32_t count = 0;
  ListNode* n = list ? list->first : nullptr;
  for (uint32_t i = 0; list && i < list->count && n; ++i, n = n->next) count += InBox(At(list, n), hired);
  return count;
}

int32_t MoveSpezialistInList(ListHeader* list, int32_t hire, int32_t entry, uint32_t town_x, uint32_t town_y,
                             uint32_t own) {
  SpezialistEintrag* s = SpezialistOfBox(list, hire ? 0 : 1, entry);
  if (!s) return SPEZ_MOVE_NONE;
  if (hire) {
    s->state = kSpezHired;
    s->x = town_x;
    s->y = town_y;
    s->owner = own;
    return SPEZ_MOVE_DONE;
  }
  if (!SpezialistInTown(s, town_x, town_y)) return SPEZ_MOVE_ELSEWHERE;
  s->state = kSpezDismissed;
  return SPEZ_MOVE_DONE;
}

int32_t SpezialistenFiguresOfTown(ListHeader* specialists, ListHeader* figures, uint32_t town_x, uint32_t town_y,
                                  uint32_t own, int32_t* changed) {
  if (changed) *changed = 0;
  if (!figures) return 0;
  const uint32_t count = specialists ? specialists->count : 0;
  // The own cleric figures on the map that a hired specialist names (record
  // +80): he keeps that figure and its number wherever it stands. A number
  // named twice is the first one's; the second gets a new figure.
  std::vector<uint8_t> claimed(0x10000, 0);
  std::vector<uint8_t> keeps(count, 0);
  ListNode* n = specialists ? specialists->first : nullptr;
  for (uint32_t i = 0; i < count && n; ++i, n = n->next) {
    const SpezialistEintrag* s = At(specialists, n);
    if (s->state != kSpezHired || s->figure == 0 || s->figure > 0xFFFF || claimed[s->figure]) continue;
    ListNode* f = figures->first;
    for (uint32_t k = 0; k < figures->count && f; ++k, f = f->next) {
      const FigurRecord& r = Figure(f)->figure;
      if (r.owner == own && r.type == kSpezClericFigure && r.number == s->figure) {
        claimed[s->figure] = 1;
        keeps[i] = 1;
        break;
      }
    }
  }
  // The own cleric figures on the town's field that no hired specialist
  // keeps go (a dismissed one's, or one left over); another lord's stay.
  for (uint32_t k = 0; k < figures->count;) {
    ListNode* f = figures->first;
    for (uint32_t i = 0; i < k; ++i) f = f->next;
    const FigurRecord& r = Figure(f)->figure;
    if (r.owner == own && r.type == kSpezClericFigure && r.x == town_x && r.y == town_y && !claimed[r.number]) {
      RemoveNode(figures, LN_INDEX, k, 0);
      if (changed) *changed = 1;
    } else {
      ++k;
    }
  }
  // A specialist hired into the town without a figure of his own gets a new
  // one on the town's field.
  n = specialists ? specialists->first : nullptr;
  for (uint32_t i = 0; i < count && n; ++i, n = n->next) {
    SpezialistEintrag* s = At(specialists, n);
    if (keeps[i] || s->state != kSpezHired || !SpezialistInTown(s, town_x, town_y)) continue;
    uint8_t* move = MakeFigurChunkFromList(figures);
    const uint16_t number = move ? GetFreeFigurNummer(move) : 0xFFFF;
    if (move) FreeChunk(move);
    auto* m = number != 0xFFFF ? reinterpret_cast<MOVE_EXT*>(AllocListNode(figures)) : nullptr;
    if (!m) {
      DebugLog("SpezialistenScreenWriteData: Konnte Kleriker nicht im MoveChunk abspeichern...\n");
      return 0;
    }
    m->figure = FigurRecord{own, (uint16_t)kSpezClericFigure, number, town_x, town_y, 0, 0};
    AddNode(figures, &m->head, LN_TAIL, 0);
    s->figure = number;
    if (changed) *changed = 1;
  }
  return 1;
}

int32_t SpezialistenWriteFiles(ListHeader* specialists, uint32_t town_x, uint32_t town_y, uint32_t own) {
  if (!specialists) return 0;
  uint8_t* move = LoadChunk2Mem("MOVE", MapPrefsPath);
  ListHeader* figures = move ? CreateList(LIST_FIGURES) : nullptr;
  int32_t ok = figures && ScanFigur2List(figures, move);
  if (move) FreeChunk(move);
  if (!ok) DebugLog("SpezialistenScreenWriteData: Konnte Figuren nicht entfernen !!!\n");
  // The figure numbers go into the specialists only when the files are written.
  uint32_t* numbers = nullptr;
  int32_t figures_changed = 0;
  if (ok) {
    numbers = static_cast<uint32_t*>(AllocVec(4 * (specialists->count + 1), MEMF_PUBLIC | MEMF_CLEAR));
    ListNode* n = specialists->first;
    for (uint32_t i = 0; numbers && i < specialists->count && n; ++i, n = n->next) numbers[i] = At(specialists, n)->figure;
    ok = numbers && SpezialistenFiguresOfTown(specialists, figures, town_x, town_y, own, &figures_changed);
  }
  uint8_t* spez = nullptr;
  uint8_t* pool = nullptr;
  uint8_t* prefs = nullptr;
  uint32_t pool_size = 0, prefs_size = 0;
  bool write_pool = true;
  if (ok) {
    PoolChange change{nullptr, "SPEZ"};
    if (specialists->count) {
      DebugLog("SpezialistenScreenWriteData: SpezChunk soll addiert werden auf den ChunkPool...\n");
      spez = MakeSpezialistenChunkFromList(specialists);
      change.chunk = spez;
      change.removeId = nullptr;
      ok = spez != nullptr;
    } else {
      write_pool = IsChunkInFile(ChunkBit(CHUNK_SPEZ), OutgoingPoolPath) != 0;
    }
    if (ok && write_pool) ok = (pool = ChangedPoolImage(OutgoingPoolPath, &change, 1, &pool_size)) != nullptr;
    // The figure file is written only when a figure came or went: an OK
    // with nothing changed leaves it as it was, byte for byte.
    if (ok && figures_changed) ok = (prefs = MakeMapPrefsImage(figures, &prefs_size)) != nullptr;
  }
  if (ok) {
    FileSet* set = BeginFileSet();
    ok = set && (!write_pool || FileSetWrite(set, OutgoingPoolPath, pool, pool_size)) &&
         (!prefs || FileSetWrite(set, MapPrefsPath, prefs, prefs_size));
    if (set) ok = CommitFileSet(set) && ok;
  }
  if (!ok) {
    DebugLog("SpezialistenScreenWriteData: Konnte die Armee Daten nicht Speichern!");
    ListNode* n = specialists->first;
    for (uint32_t i = 0; numbers && i < specialists->count && n; ++i, n = n->next) At(specialists, n)->figure = numbers[i];
  }
  if (spez) FreeChunk(spez);
  FreeVec(pool);
  FreeVec(prefs);
  FreeVec(numbers);
  DeleteList(figures, 0);
  return ok;
}

// ---- The screen --------------------------------------------------------------------

namespace {

QoERequester*& BoxOf(SpezialistenScreenData* d, uint32_t hired) { return hired ? d->boxHired : d->boxFree; }

// One line's three columns in the box's content.
void DrawLine(QoERequester* box, const SpezBox* b, uint32_t entry, uint32_t fill, uint32_t ink, bool name) {
  SpezialistenScreenData* d = b->d;
  const uint32_t count = b->hired ? d->countHired : d->countFree;
  if (!box || !box->rp || entry >= count || !d->lines[b->hired][0]) return;
  RastPort* rp = box->rp;
  SetFont(rp, box->font);
  SetDrMd(rp, 0);
  const int32_t y1 = (int32_t)(entry * box->lineHeight), y2 = y1 + (int32_t)box->lineHeight - 1;
  const int32_t right = (int32_t)box->contentWidth - 1;
  if (name)
    PrintTextOutlined(rp, 0, y1, kNameEnd, y2, d->lines[b->hired][0] + entry * kLine, fill, ink, kNameFlags);
  PrintTextOutlined(rp, kTypeStart, y1, kTypeEnd, y2, d->lines[b->hired][1] + entry * kLine, fill, ink, kColumnFlags);
  PrintTextOutlined(rp, kWageStart, y1, right, y2, d->lines[b->hired][2] + entry * kLine, fill, ink, kColumnFlags);
}

void Mark(QoERequester* box, void* data, uint32_t entry, bool marked) {
  DrawLine(box, static_cast<const SpezBox*>(data), entry, marked ? box->pens[1] : box->pens[0],
           marked ? box->pens[0] : box->pens[1], true);
}

// The three line buffers of a box from the list (one line "nobody" when the
// box has nobody); false without memory.
bool BuildLines(SpezialistenScreenData* d, uint32_t hired) {
  for (char*& l : d->lines[hired]) {
    FreeVec(l);
    l = nullptr;
  }
  const uint32_t found = SpezialistenInBox(d->list, (int32_t)hired);
  const uint32_t lines = found ? found : 1;
  for (char*& l : d->lines[hired])
    if (!(l = static_cast<char*>(AllocVec(lines * kLine, MEMF_PUBLIC | MEMF_CLEAR)))) return false;
  (hired ? d->emptyHired : d->emptyFree) = found ? 0 : 1;
  (hired ? d->countHired : d->countFree) = (uint16_t)lines;
  if (!found) {
    std::snprintf(d->lines[hired][0], kLine, "%s", GetCatalogStr(kNobody));
    return true;
  }
  for (uint32_t i = 0; i < found; ++i) {
    const SpezialistEintrag* s = SpezialistOfBox(d->list, (int32_t)hired, (int32_t)i);
    std::snprintf(d->lines[hired][0] + i * kLine, kLine, "%.79s", s->name);
    std::snprintf(d->lines[hired][1] + i * kLine, kLine, "%s", s->type == 0 ? GetCatalogStr(kCleric) : "");
    std::snprintf(d->lines[hired][2] + i * kLine, kLine, "%u", s->wage);
  }
  return true;
}

void PrintField(SpezialistenScreenData* d, uint32_t field, TextFont* font, const char* text, uint32_t flags) {
  const ValueField* f = GetLayoutValue(d->layout, field);
  RastPort* rp = ScreenRastPort();
  if (!f || !rp) return;
  SetFont(rp, font);
  SetDrMd(rp, 0);
  PrintTextOutlined(rp, f->x1, f->y1, f->x2, f->y2, text, f->fillPen, f->textPen, flags);
  ShowScreenRect(rp, f->x1, f->y1, f->x2 - f->x1 + 1, f->y2 - f->y1 + 1);
}

int32_t InitSpezRequester(SpezialistenScreenData* d, uint32_t hired) {
  if (!BuildLines(d, hired)) {
    DebugLog("InitSpezRequester%u: Konnte Requester 2 nicht updaten !\n", hired + 1);
    return 0;
  }
  const uint32_t count = hired ? d->countHired : d->countFree;
  QoERequester*& box = BoxOf(d, hired);
  if (box) {
    box->selected = kNoEntry;
    if (!UpdateRequesterText(box, d->lines[hired][0], count)) {
      DebugLog("InitSpezRequester%u: Konnte Requester 2 nicht updaten !\n", hired + 1);
      return 0;
    }
  } else {
    LayoutRect r{}, s{};
    if (!GetLayoutRect(d->layout, hired * 2, &r) || r.x2 <= r.x1 || r.y2 <= r.y1) return 0;
    const uint32_t w = r.x2 - r.x1 + 1u, h = r.y2 - r.y1 + 1u;
    box = InitOwnRequesterBox(DrawSpezColumns, &d->boxes[hired], w, count, d->fontSmall, d->lines[hired][0], r.x1,
                              r.y1, w, h, kBoxGround, kBoxInk);
    if (!box) return 0;
    if (GetLayoutRect(d->layout, hired * 2 + 1, &s))
      InitSlider(box, s.x2 - s.x1 + 1u, s.y2 - s.y1 + 1u, kKnob, kTrack, kEdgeLight, kEdgeDark, s.x1, s.y1);
  }
  (hired ? d->selHired : d->selFree) = -1;
  if (hired) {
    uint64_t total = 0;
    for (uint32_t i = 0; SpezialistEintrag* sp = SpezialistOfBox(d->list, 1, (int32_t)i); ++i) total += sp->wage;
    char text[32];
    std::snprintf(text, sizeof text, "%llu", (unsigned long long)total);
    PrintField(d, kFieldTotal, d->fontList, text, kFieldFlags);
  }
  return 1;
}

// Scrolls a box by its gadgets DOnn, UPnn, SLnn; true when g was one.
bool Scroll(SpezialistenScreenData* d, const Gadget* g, const char* nn, QoERequester* box) {
  char down[5], up[5], drag[5];
  std::snprintf(down, sizeof down, "DO%s", nn);
  std::snprintf(up, sizeof up, "UP%s", nn);
  std::snprintf(drag, sizeof drag, "SL%s", nn);
  const bool is_drag = GadgetIs(g, drag), is_up = GadgetIs(g, up);
  if (!is_drag && !is_up && !GadgetIs(g, down)) return false;
  (void)d;
  if (!box) return true;
  MoveSlider(box, is_drag ? (uint32_t)GetMouseY() : is_up ? (uint32_t)SLIDER_UP : (uint32_t)SLIDER_DOWN);
  ScrollRequester(box, 0, 0);
  return true;
}

// A click into a box: the line hit becomes the selection and is shown.
void Pick(SpezialistenScreenData* d, uint32_t hired) {
  if (hired ? d->emptyHired : d->emptyFree) return;
  QoERequester* box = BoxOf(d, hired);
  if (!box) return;
  const uint32_t hit = SelectOwnRequesterEntry(box, hired ? MarkSpezEntry2 : MarkSpezEntry1,
                                               hired ? UnmarkSpezEntry2 : UnmarkSpezEntry1, &d->boxes[hired], 0,
                                               GetMouseY());
  // Logged when the selection changes, not for every click (a click beside
  // the lines, or on the chosen one again, changes nothing).
  if (hit == kNoEntry) return;
  int16_t& sel = hired ? d->selHired : d->selFree;
  if (sel != (int16_t)hit) DebugLog("SpezialistenScreen: Box %u, Zeile %d\n", hired + 1, (int32_t)hit);
  sel = (int16_t)hit;
  ShowSpezialist(d, hired ? 0 : 1);
}

}  // namespace

void DrawSpezColumns(QoERequester* box, void* data) {
  const auto* b = static_cast<const SpezBox*>(data);
  if (!box || !box->rp || !b) return;
  const uint32_t count = b->hired ? b->d->countHired : b->d->countFree;
  for (uint32_t i = 0; i < count; ++i) DrawLine(box, b, i, box->pens[0], box->pens[1], false);
  const uint32_t height = box->totalHeight > box->height ? box->totalHeight : box->height;
  for (uint32_t k = 0; k < 3; ++k) {
    SetAPen(box->rp, kSeparatorPens[k]);
    RectFill(box->rp, kNameEnd + 1 + (int32_t)k, 0, kNameEnd + 1 + (int32_t)k, (int32_t)height - 1);
    RectFill(box->rp, kTypeEnd + 1 + (int32_t)k, 0, kTypeEnd + 1 + (int32_t)k, (int32_t)height - 1);
  }
}

void MarkSpezEntry1(QoERequester* box, void* data, uint32_t entry) { Mark(box, data, entry, true); }
void UnmarkSpezEntry1(QoERequester* box, void* data, uint32_t entry) { Mark(box, data, entry, false); }
void MarkSpezEntry2(QoERequester* box, void* data, uint32_t entry) { Mark(box, data, entry, true); }
void UnmarkSpezEntry2(QoERequester* box, void* data, uint32_t entry) { Mark(box, data, entry, false); }

int32_t InitSpezRequester1(SpezialistenScreenData* d) { return InitSpezRequester(d, 0); }
int32_t InitSpezRequester2(SpezialistenScreenData* d) { return InitSpezRequester(d, 1); }

void FreeSpezRequester1(SpezialistenScreenData* d) {
  if (d->boxFree) FreeRequesterBox(d->boxFree);
  d->boxFree = nullptr;
}
void FreeSpezRequester2(SpezialistenScreenData* d) {
  if (d->boxHired) FreeRequesterBox(d->boxHired);
  d->boxHired = nullptr;
}

void ShowSpezialist(SpezialistenScreenData* d, int32_t from_free) {
  const uint32_t hired = from_free ? 0 : 1;
  const int32_t sel = hired ? d->selHired : d->selFree;
  const SpezialistEintrag* s = SpezialistOfBox(d->list, (int32_t)hired, sel);
  if (!s || !d->lines[hired][0]) return;
  PrintField(d, kFieldName, d->fontList, d->lines[hired][0] + sel * kLine, kFieldFlags);
  PrintField(d, kFieldType, d->fontList, d->lines[hired][1] + sel * kLine, kFieldFlags);
  char text[32];
  for (uint32_t i = 0; i < 6; ++i) {
    std::snprintf(text, sizeof text, "%u", s->attributes[i]);
    PrintField(d, kFieldAttributes + i, d->fontList, text, kFieldFlags);
  }
  std::snprintf(text, sizeof text, "%u", s->wage);
  PrintField(d, kFieldWage, d->fontList, text, kFieldFlags);
  if (const ValueField* f = GetLayoutValue(d->layout, kFieldFirst)) {
    if (RastPort* rp = ScreenRastPort(); rp && f->y2 > f->y1 + 17) {
      SetAPen(rp, f->fillPen);
      RectFill(rp, f->x1, f->y1, f->x2, f->y2 - 17);
    }
  }
  std::snprintf(text, sizeof text, "%u", s->detail1);
  PrintField(d, kFieldFirst, d->fontTitle, text, kLabelFlags);
  std::snprintf(text, sizeof text, "%u", s->detail2);
  PrintField(d, kFieldSecond, d->fontTitle, text, kFieldFlags);
  if (const LayoutPoint* p = GetLayoutPoint(d->layout, 0)) BlitObjekt(nullptr, kPortrait, p->x, p->y, 100, 0);
}

void MoveSpezialist(SpezialistenScreenData* d, int32_t hire) {
  if (!d->town) return;
  if (d->figuresDamaged) {
    DebugLog("SpezialistenScreen: Meldung %u\n", kNeedsFigures);
    ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(kNeedsFigures), kBoxInk);
    return;
  }
  const int32_t sel = hire ? d->selFree : d->selHired;
  const int32_t r = MoveSpezialistInList(d->list, hire, sel, d->town->XPos, d->town->YPos, OwnPlayerPtr->PlayerId);
  if (r == SPEZ_MOVE_NONE) return;
  if (r == SPEZ_MOVE_ELSEWHERE) ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(kElsewhere), kBoxInk);
  DebugLog("MoveSpezialist: %s %d -> %d\n", hire ? "angeworben" : "entlassen", sel, r);
  for (uint32_t hired = 0; hired < 2; ++hired)
    if (QoERequester* box = BoxOf(d, hired))
      SelectOwnRequesterEntry(box, hired ? MarkSpezEntry2 : MarkSpezEntry1, hired ? UnmarkSpezEntry2 : UnmarkSpezEntry1,
                              &d->boxes[hired], 1, kNoEntry);
  InitSpezRequester1(d);
  InitSpezRequester2(d);
}

int32_t SpezialistenScreenLoadData(SpezialistenScreenData* d) {
  RegisterGameDataListTypes();
  d->list = CreateList(LIST_SPECIALISTS);
  if (!d->list) {
    DebugLog("SpezialistenScreenLoadData: Konnte die Spezialisten-Liste nicht erstellen!\n");
    return 0;
  }
  uint8_t* spez = nullptr;
  const int32_t state = LoadTurnChunk("SPEZ", &spez);
  int32_t ok = state != TURN_CHUNK_FAILED;
  if (!ok) DebugLog("SpezialistenScreenLoadData: Konnte SpezChunk nicht \xf6" "ffnen !");
  if (spez && !ScanSpezialisten2List(d->list, spez)) {
    DebugLog("SpezialistenScreenLoadData: Spezis konnten nicht in die Liste eingescannt werden...\n");
    ok = 0;
  }
  if (spez) FreeChunk(spez);
  DebugLog("Anzahl Spezialisten %u\n", d->list->count);
  d->figuresDamaged = LoadFigureFile(MapPrefsPath, nullptr);
  if (d->figuresDamaged)
    DebugLog("SpezialistenScreenLoadData: MapPrefs.qoe ist beschaedigt oder fehlt, die Figuren bleiben unangetastet\n");
  d->town = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!d->town) {
    DebugLog("SpezialistenScreenLoadData: Konnte Stadt nicht laden!\n");
    ok = 0;
  }
  return ok;
}

int32_t SpezialistenScreenInitAllThings(SpezialistenScreenData* d) {
  d->layout = GetScreenRegion(".\\Data\\Screendat\\Spezialisten.dat", kLayoutMask);
  if (!d->layout) {
    DebugLog("SpezialistenScreenInitAllThings: Kann TitelbarDaten nicht laden!\n");
    return 0;
  }
  d->boxes[0] = SpezBox{d, 0};
  d->boxes[1] = SpezBox{d, 1};
  RastPort* rp = ScreenRastPort();
  if (rp) {
    SetAPen(rp, kBoxInk);
    SetDrMd(rp, 0);
    SetFont(rp, d->fontList);
    const ScreenRecordList& texts = d->layout->types[LAYOUT_TEXTAREA];
    const TextArea* t = static_cast<const TextArea*>(texts.first);
    for (uint32_t i = 0; t && i < texts.count && i < kLabels; ++i)
      if (t[i].text && t[i].textId != kTextTitleBar)
        PrintTextOutlined(rp, t[i].x1, t[i].y1, t[i].x2, t[i].y2, t[i].text, 19, kBoxInk, kLabelFlags);
    SetFont(rp, d->fontTitle);
  }
  RestoreMouseGadgets(nullptr, d->layout);
  return InitSpezRequester1(d) && InitSpezRequester2(d);
}

int32_t SpezialistenScreenWriteData(SpezialistenScreenData* d) {
  if (!d->list || !d->town) return 0;
  if (d->figuresDamaged) {
    DebugLog("SpezialistenScreenWriteData: MapPrefs.qoe ist beschaedigt oder fehlt, nichts geschrieben\n");
    return 0;
  }
  const bool deep = DisplayDepth() > 8;
  if (deep) KartenScreenSaveData();
  const int32_t ok = SpezialistenWriteFiles(d->list, d->town->XPos, d->town->YPos, OwnPlayerPtr->PlayerId);
  if (deep) KartenScreenNewSetup();
  if (!ok) {
    DebugLog("SpezialistenScreen: Meldung %u\n", kSavedFailed);
    ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(kSavedFailed), kBoxInk);
  }
  return ok;
}

void SpezialistenScreenFreeAllThings(SpezialistenScreenData* d) {
  FreeSpezRequester1(d);
  FreeSpezRequester2(d);
  if (d->layout) {
    FreeMouseGadgetImages(d->layout);
    FreeScreenRegion(d->layout);
  }
  d->layout = nullptr;
}

void SpezialistenScreenFreeData(SpezialistenScreenData* d) {
  FreeVec(d->town);
  d->town = nullptr;
  DeleteList(d->list, 0);
  d->list = nullptr;
  for (auto& box : d->lines)
    for (char*& l : box) {
      FreeVec(l);
      l = nullptr;
    }
}

int32_t SpezialistenScreen(int32_t) {
  PlayScreenCdTrack(kCdTrack);
  ScreenBase base{};
  auto* d = static_cast<SpezialistenScreenData*>(AllocVec(sizeof(SpezialistenScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  auto leave = [&](int32_t next) {
    if (d) {
      if (RastPort* rp = ScreenRastPort(); rp && d->fontTitle) SetFont(rp, d->fontTitle);
      SpezialistenScreenFreeAllThings(d);
      SpezialistenScreenFreeData(d);
      if (d->fontList) CloseFont(d->fontList);
      if (d->fontSmall) CloseFont(d->fontSmall);
    }
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "SpezialistenScreen: Konnte Pic nicht \xf6" "ffnen!\n");
    return leave(-1);
  }
  if (!d) {
    ScreenStartFailed(&base, SCREEN_STEP_MEMORY, "SpezialistenScreen: Kein Speicher f\xfcr lokale Daten!\n");
    return leave(-1);
  }
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt")) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "SpezialistenScreen: Konnte Font nicht laden!\n");
    return leave(-1);
  }
  d->fontTitle = base.font;
  d->fontList = OpenDiskFont("fonts\\XHelvetica11.fnt");
  d->fontSmall = OpenDiskFont("fonts\\XHelvetica9.fnt");
  if (!d->fontList || !d->fontSmall) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "SpezialistenScreen: Konnte Elmor-Font nicht \xf6" "ffnen !");
    return leave(-1);
  }
  if (!SpezialistenScreenLoadData(d)) {
    ScreenStartFailed(&base, d->town ? SCREEN_STEP_DATA : SCREEN_STEP_TOWN, nullptr);
    return leave(-1);
  }
  if (!SpezialistenScreenInitAllThings(d)) {
    ScreenStartFailed(&base, d->layout ? SCREEN_STEP_MEMORY : SCREEN_STEP_LAYOUT, nullptr);
    return leave(-1);
  }
  ShowScreenBase(&base);
  if (d->figuresDamaged == FIGURE_FILE_MISSING) ScreenTellMissingFile(&base, MapPrefsPath, kFiguresDamagedText);
  else if (d->figuresDamaged) ScreenTellDamagedFile(&base, MapPrefsPath, kFiguresDamagedText);
  int32_t next = -1;
  while (ScreenBaseStays(&next, 2)) {
    const ScreenRecordList& texts = d->layout->types[LAYOUT_TEXTAREA];
    if (texts.count) CheckTitleBar(static_cast<const TextArea*>(texts.first), d->fontTitle, kTitlePen);
    const int32_t event = WaitEvent(WE_TICKS);
    Gadget* g = HandleGadgetEvent(nullptr, d->layout, (uint32_t)event);
    if (!g) continue;
    if (GadgetIs(g, "BOX1")) Pick(d, 0);
    else if (GadgetIs(g, "BOX2")) Pick(d, 1);
    else if (GadgetIs(g, "NEXT")) MoveSpezialist(d, 1);
    else if (GadgetIs(g, "LAST")) MoveSpezialist(d, 0);
    else if (GadgetIs(g, "OKOK")) {
      // With a figure file that cannot be used every change was refused:
      // nothing to write.
      if (!d->figuresDamaged) SpezialistenScreenWriteData(d);
      next = 2;
    } else if (GadgetIs(g, "EXIT")) {
      next = 2;
    } else if (!Scroll(d, g, "00", d->boxFree)) {
      Scroll(d, g, "01", d->boxHired);
    }
  }
  d->quit = 1;
  return leave(next);
}
