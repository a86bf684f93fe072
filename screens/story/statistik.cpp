// The statistics screen. See statistik.h.
#include "statistik.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/log.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"

namespace {

constexpr uint32_t kPicture = 41, kLegendGfx = 379, kInfoText = 1124, kRangeText = 1125, kUnableText = 1130;
constexpr uint32_t kLegendTitle = 1619, kCategoryNames = 1242, kCategories = STATISTIK_VALUES;
constexpr int32_t kNextScreen = 2;
constexpr uint32_t kDamagedPartText = 1690, kDamagedNoneText = 1691;  // a damaged statistics file
constexpr uint8_t kCdTrack = 4;
constexpr uint32_t kLineSize = 80;
constexpr uint32_t kBoxPen = 55, kTextPen = 7, kMarkPen = 6, kMarkTextPen = 1, kTitlePen = 6, kLabelFill = 0;
// Layout areas: the two lists and the graph.
constexpr uint32_t kAreaLinks = 0, kAreaRechts = 1, kAreaGraph = 2;
constexpr uint32_t kLayoutMask = (1u << LAYOUT_TEXTAREA) | (1u << LAYOUT_GADGET) | (1u << LAYOUT_AREA) |
                                 (1u << LAYOUT_LABEL);
// Catalog texts of empty lists (put in by blanks, as the list draws from the
// left) and of a missing legend.
constexpr uint32_t kNoneAvailable = 1807, kNoneChosen = 1808, kNoLegend = 1809;
constexpr uint32_t kNoneAvailableIndent = 16, kNoneChosenIndent = 20;

const uint32_t kPerPoint[kStatistikRanges] = {1, 2, 4, 20, 40};
const uint32_t kNeeded[kStatistikRanges] = {2, 4, 8, 40, 80};

const TextArea* Area(const ScreenRegion* region, uint32_t n) {
  if (!region) return nullptr;
  const ScreenRecordList& a = region->types[LAYOUT_AREA];
  return n < a.count ? static_cast<const TextArea*>(a.first) + n : nullptr;
}

bool Inside(const TextArea* a, int32_t x, int32_t y) {
  return a && x >= a->x1 && x <= a->x2 && y >= a->y1 && y <= a->y2;
}

StatistikKategorie* Node(ListNode* n) { return reinterpret_cast<StatistikKategorie*>(n); }

// The node at position i of a list, null past its end.
StatistikKategorie* NodeAt(ListHeader* list, uint32_t i) {
  if (!list || i >= list->count) return nullptr;
  ListNode* n = list->first;
  while (i--) n = n->next;
  return Node(n);
}

// Unlinks a node and puts it back into the available list in index order, off.
void GiveBack(StatistikData* d, ListNode* n) {
  StatistikKategorie* k = Node(n);
  k->shown = 0;
  uint32_t at = 0;
  for (ListNode* m = d->available->first; at < d->available->count && Node(m)->index < k->index; m = m->next) ++at;
  // AddNode takes index 0 for the tail: the head has its own mode.
  if (at == 0 && d->available->count) AddNode(d->available, n, LN_HEAD, 0);
  else AddNode(d->available, n, at < d->available->count ? LN_INDEX : LN_TAIL, at);
}

// Removes the chosen list's node i (kept) and returns it.
ListNode* TakeChosen(StatistikData* d, uint32_t i) {
  StatistikKategorie* k = NodeAt(d->chosen, i);
  if (!k) return nullptr;
  RemoveNode(d->chosen, LN_INDEX, i, RN_KEEP_NODE);
  return &k->head;
}

void Refill(StatistikData* d) {
  UpdateStatistikRequesterLinks(d);
  UpdateStatistikRequesterRechts(d);
}

}  // namespace

uint32_t StatistikPerPoint(uint32_t range) { return kPerPoint[range % kStatistikRanges]; }
uint32_t StatistikNeeded(uint32_t range) { return kNeeded[range % kStatistikRanges]; }

namespace {

// The average of group g (records g x per onwards, the last group shorter).
double GroupAverage(const StatistikDaten* s, uint32_t category, uint32_t per, uint32_t g) {
  const uint64_t from = uint64_t{g} * per, to = from + per < s->count ? from + per : s->count;
  double sum = 0;
  for (uint64_t r = from; r < to; ++r) sum += s->values[r * kCategories + category];
  return sum / static_cast<double>(to - from);
}

}  // namespace

uint32_t StatistikAverages(const StatistikDaten* s, uint32_t category, uint32_t per, double* out, uint32_t max) {
  if (!s || !s->values || !s->count || !per || category >= kCategories) return 0;
  const uint32_t groups = s->count / per + (s->count % per ? 1 : 0);
  const uint32_t first = groups > max ? groups - max : 0;
  for (uint32_t g = first; out && g < groups; ++g) out[g - first] = GroupAverage(s, category, per, g);
  return groups;
}

int32_t StatistikPlotY(double v, double m, int32_t bottom) {
  const double base = bottom - 14;
  if (!(m > 0)) return static_cast<int32_t>(base);
  return static_cast<int32_t>(base - (100.0 / m) * v * 100.0 / 105.0);
}

uint32_t StatistikCurve(const StatistikDaten* s, uint32_t category, uint32_t range, int32_t right, int32_t bottom,
                        StatistikPoint* out) {
  if (!s || s->count < StatistikNeeded(range)) return 0;
  const uint32_t per = StatistikPerPoint(range);
  // The largest average of all groups scales the curve.
  double m = 0;
  const uint32_t groups = StatistikAverages(s, category, per, nullptr, 0);
  for (uint32_t g = 0; g < groups; ++g) {
    const double a = GroupAverage(s, category, per, g);
    if (a > m) m = a;
  }
  double last[kStatistikMaxPoints];
  const uint32_t n = groups < kStatistikMaxPoints ? groups : kStatistikMaxPoints;
  StatistikAverages(s, category, per, last, n);
  for (uint32_t j = 0; j < n; ++j) {
    out[j].x = right - 43 - 20 * static_cast<int32_t>(j);
    out[j].y = StatistikPlotY(last[n - 1 - j], m, bottom);
  }
  return n;
}

uint32_t StatistikLines(const StatistikData* d, StatistikLine* out) {
  uint32_t n = 0, pos = 0;
  if (!d->chosen) return 0;
  ListNode* node = d->chosen->first;
  for (uint32_t i = 0; i < d->chosen->count && i < kCategories; ++i, node = node->next, ++pos) {
    const StatistikKategorie* k = Node(node);
    if (k->shown && k->index < kCategories) out[n++] = {k->index, kStatistikFirstPen + pos};
  }
  return n;
}

int32_t MakeStatistikLists(StatistikData* d) {
  d->available = CreateList(LIST_STATISTICS);
  d->chosen = CreateList(LIST_STATISTICS);
  bool ok = d->available && d->chosen;
  for (uint32_t i = 0; ok && i < kCategories; ++i) {
    auto* k = static_cast<StatistikKategorie*>(AllocVec(d->available->node_size, MEMF_PUBLIC | MEMF_CLEAR));
    if (!k) {
      ok = false;
      break;
    }
    std::snprintf(k->name, sizeof k->name, "%s", GetCatalogStr(kCategoryNames + i));
    k->index = i;
    AddNode(d->available, &k->head, LN_TAIL, 0);
  }
  if (ok) return 1;
  DeleteList(d->available, 0);
  DeleteList(d->chosen, 0);
  d->available = d->chosen = nullptr;
  return 0;
}

namespace {

// The lines of a requester: the names (right list: "   X   " or "   O   "
// before them), or the empty text; the number of lines.
uint32_t MakeLines(ListHeader* list, bool marks, uint32_t empty, uint32_t indent, char* lines) {
  std::memset(lines, 0, kLineSize * kCategories);
  if (!list || !list->count) {
    std::snprintf(lines, kLineSize, "%*s%s", static_cast<int>(indent), "", GetCatalogStr(empty));
    return 1;
  }
  uint32_t i = 0;
  for (ListNode* n = list->first; i < list->count && i < kCategories; n = n->next, ++i) {
    const StatistikKategorie* k = Node(n);
    if (marks) std::snprintf(lines + i * kLineSize, kLineSize, "%s%.72s", k->shown ? "   X   " : "   O   ", k->name);
    else std::snprintf(lines + i * kLineSize, kLineSize, "%s", k->name);
  }
  return i;
}

QoERequester* MakeBox(StatistikData* d, const TextArea* a, const char* lines, uint32_t count) {
  if (!a) return nullptr;
  const uint32_t w = a->x2 - a->x1 + 1u, h = a->y2 - a->y1 + 1u;
  return InitRequesterBox(w, count, d->fontB, lines, a->x1, a->y1, w, h, kBoxPen, kTextPen);
}

void Label(const TextArea* l) {
  if (l && l->text)
    PrintTextOutlined(nullptr, l->x1, l->y1, l->x2, l->y2, l->text, kLabelFill, kTextPen,
                      PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
}

}  // namespace

int32_t InitStatistikRequester(StatistikData* d) {
  RastPort* rp = ScreenRastPort();
  const TextArea* graph = Area(d->region, kAreaGraph);
  if (!rp || !graph || !Area(d->region, kAreaLinks) || !Area(d->region, kAreaRechts)) return 0;
  d->linesLinks = static_cast<char*>(AllocVec(kLineSize * kCategories, MEMF_PUBLIC | MEMF_CLEAR));
  d->linesRechts = static_cast<char*>(AllocVec(kLineSize * kCategories, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->linesLinks || !d->linesRechts) return 0;
  d->graphBackground = SaveBackground(graph->x1, graph->y1, graph->x2 - graph->x1 + 1u, graph->y2 - graph->y1 + 1u);
  if (!d->graphBackground) return 0;
  SetFont(rp, d->fontB);
  SetDrMd(rp, 0);
  for (uint32_t i = 0; i < 2; ++i) Label(GetLayoutLabel(d->region, i));
  uint32_t n = MakeLines(d->available, false, kNoneAvailable, kNoneAvailableIndent, d->linesLinks);
  d->links = MakeBox(d, Area(d->region, kAreaLinks), d->linesLinks, n);
  n = MakeLines(d->chosen, true, kNoneChosen, kNoneChosenIndent, d->linesRechts);
  d->rechts = MakeBox(d, Area(d->region, kAreaRechts), d->linesRechts, n);
  return d->links && d->rechts;
}

void UpdateStatistikRequesterLinks(StatistikData* d) {
  if (!d->links) return;
  const uint32_t n = MakeLines(d->available, false, kNoneAvailable, kNoneAvailableIndent, d->linesLinks);
  d->links->selected = kNoEntry;
  UpdateRequesterText(d->links, d->linesLinks, n);
}

void UpdateStatistikRequesterRechts(StatistikData* d) {
  if (!d->rechts) return;
  const uint32_t n = MakeLines(d->chosen, true, kNoneChosen, kNoneChosenIndent, d->linesRechts);
  if (d->selected < 0) d->rechts->selected = kNoEntry;
  UpdateRequesterText(d->rechts, d->linesRechts, n);
}

void DrawStatistikGraph(StatistikData* d) {
  RastPort* rp = ScreenRastPort();
  const TextArea* a = Area(d->region, kAreaGraph);
  if (!rp || !a) return;
  const int32_t w = a->x2 - a->x1 + 1, h = a->y2 - a->y1 + 1;
  if (d->graphBackground) BltBitMapRastPort(d->graphBackground, 0, 0, rp, a->x1, a->y1, w, h);
  // Once a visit and when it changes: every click redraws the graph.
  if (d->countLogged != d->daten.count + 1) {
    DebugLog("AnzStatistikDaten %u\n", d->daten.count);
    d->countLogged = d->daten.count + 1;
  }
  SetFont(rp, d->fontB);
  SetDrMd(rp, 0);
  if (d->daten.count < StatistikNeeded(d->range)) {
    PrintTextOutlined(rp, a->x1, a->y1, a->x2, a->y2, GetCatalogStr(kUnableText), 0, kTextPen,
                      PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  } else {
    StatistikLine lines[kCategories]{};
    const uint32_t count = StatistikLines(d, lines);
    DebugLog("DrawStatistikGraph: %u Kurven, Zeitraum %u\n", count, d->range);
    for (uint32_t i = 0; i < count; ++i) {
      StatistikPoint p[kStatistikMaxPoints]{};
      const uint32_t n = StatistikCurve(&d->daten, lines[i].category, d->range, a->x2, a->y2, p);
      SetAPen(rp, lines[i].pen);
      // Two pixels thick, so each curve's colour shows.
      for (int32_t dy = 0; dy < 2 && n; ++dy) {
        Move(rp, p[0].x, p[0].y - dy);
        for (uint32_t j = 1; j < n; ++j) Draw(rp, p[j].x, p[j].y - dy);
      }
    }
  }
  PrintTextOutlined(rp, a->x1 + 8, a->y1 + 4, a->x2, a->y1 + 20, d->rangeNames[d->range], 0, kTextPen, PTO_TOP);
  ShowScreenRect(rp, a->x1, a->y1, w, h);
}

void ShowStatistikLegende(StatistikData* d) {
  ScreenRegion* region = GetScreenRegion(".\\Data\\ScreenDat\\StatistikLegende.dat",
                                         (1u << LAYOUT_GADGET) | (1u << LAYOUT_AREA));
  const TextArea* a = region ? Area(region, 0) : nullptr;
  if (!a) {
    DebugLog("ShowStatistikLegende: Konnte die externen Daten nicht laden!\n");
    FreeScreenRegion(region);
    return;
  }
  const int32_t x = a->x1, y = a->y1;
  const uint32_t w = a->x2 - a->x1 + 1u, h = a->y2 - a->y1 + 1u;
  BitMap* saved = SaveBackground(x, y, w, h);
  RastPort* rp = ScreenRastPort();
  if (!saved || !rp || OpenElmorGfx(".\\Data\\Path", kLegendGfx) != 1) {
    DebugLog("ShowStatistikLegende: Konnte den Hintergrund oder die Grafik nicht laden!\n");
    if (saved) FreeBitMap(saved);
    FreeScreenRegion(region);
    return;
  }
  BlitObjekt(nullptr, kLegendGfx, x, y, w, h);
  SetDrMd(rp, 0);
  SetFont(rp, d->fontB);
  PrintTextOutlined(rp, x, y + 6, x + static_cast<int32_t>(w) - 1, y + 22, GetCatalogStr(kLegendTitle), 0, kTextPen,
                    PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  SetFont(rp, d->fontC);
  uint32_t i = 0;
  for (ListNode* n = d->chosen ? d->chosen->first : nullptr; n && i < d->chosen->count && i < kCategories;
       n = n->next, ++i) {
    const int32_t ly = y + 33 + 10 * static_cast<int32_t>(i);
    SetAPen(rp, kStatistikFirstPen + i);
    for (int32_t dy = 0; dy < 2; ++dy) {
      Move(rp, x + 20, ly - dy);
      Draw(rp, x + 50, ly - dy);
    }
    SetAPen(rp, kTextPen);
    Move(rp, x + 60, y + 35 + 10 * static_cast<int32_t>(i));
    Text(rp, Node(n)->name, static_cast<uint32_t>(std::strlen(Node(n)->name)));
  }
  if (!i)
    PrintTextOutlined(rp, x, y + 30, x + static_cast<int32_t>(w) - 1, y + 50, GetCatalogStr(kNoLegend), 0, kTextPen,
                      PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  ShowScreenRect(rp, x, y, static_cast<int32_t>(w), static_cast<int32_t>(h));
  RestoreMouseGadgets(nullptr, region);
  const TextArea* right = Area(d->region, kAreaRechts);
  bool open = true;
  KeyScope keys;  // a key held from before the legend does not close it
  while (open) {
    const int32_t ev = WaitEvent(0);
    if (WindowCloseRequested()) break;
    if (ev == WE_LEFT_UP) d->held = 0;
    if (ev == WE_LEFT_DOWN && !d->held) {
      d->held = 1;
      if (d->rechts && Inside(right, GetMouseX(), GetMouseY())) {
        const uint32_t line = SelectRequesterEntry(d->rechts, 0, GetMouseY(), kMarkPen, kMarkTextPen);
        if (line < d->chosen->count) d->selected = static_cast<int32_t>(line);
      }
    }
    Gadget* g = HandleGadgetEvent(nullptr, region, static_cast<uint32_t>(ev));
    if (!g) continue;
    if (GadgetIs(g, "EXLG")) open = false;
    else if (GadgetIs(g, "EXIT")) {
      open = false;
      d->next = kNextScreen;
    } else if (GadgetIs(g, "FORW") || GadgetIs(g, "OK01") || GadgetIs(g, "XX01")) {
      StatistikGadget(d, g);
    }
  }
  CloseElmorGfx(kLegendGfx);
  RestoreBackground(saved, x, y, w, h);
  FreeMouseGadgetImages(region);
  FreeScreenRegion(region);
}

void StatistikGadget(StatistikData* d, const Gadget* g) {
  const bool lists = d->available && d->chosen;
  if (GadgetIs(g, "BACK")) {
    if (!lists) return;
    while (d->chosen->count) GiveBack(d, TakeChosen(d, 0));
    d->selected = -1;
    Refill(d);
    DrawStatistikGraph(d);
  } else if (GadgetIs(g, "FORW")) {
    d->range = (d->range + 1) % kStatistikRanges;
    DrawStatistikGraph(d);
  } else if (GadgetIs(g, "LAST")) {
    if (!lists || d->selected < 0) return;
    if (ListNode* n = TakeChosen(d, static_cast<uint32_t>(d->selected))) GiveBack(d, n);
    d->selected = -1;
    Refill(d);
    DrawStatistikGraph(d);
  } else if (GadgetIs(g, "OK01") || GadgetIs(g, "XX01")) {
    StatistikKategorie* k = d->selected >= 0 ? NodeAt(d->chosen, static_cast<uint32_t>(d->selected)) : nullptr;
    if (!k) return;
    k->shown = GadgetIs(g, "OK01") ? 1 : 0;
    UpdateStatistikRequesterRechts(d);
    DrawStatistikGraph(d);
  } else if (GadgetIs(g, "INFB")) {
    ShowStatistikLegende(d);
  }
}

namespace {

// A press in one of the lists.
void ListPress(StatistikData* d) {
  const int32_t mx = GetMouseX(), my = GetMouseY();
  if (d->links && d->available && Inside(Area(d->region, kAreaLinks), mx, my)) {
    const uint32_t line = SelectRequesterEntry(d->links, 0, static_cast<uint32_t>(my), kMarkPen, kMarkTextPen);
    StatistikKategorie* k = NodeAt(d->available, line);
    if (!k || d->chosen->count >= kCategories) return;
    RemoveNode(d->available, LN_INDEX, line, RN_KEEP_NODE);
    AddNode(d->chosen, &k->head, LN_TAIL, 0);
    Refill(d);
    DrawStatistikGraph(d);
  } else if (d->rechts && d->chosen && Inside(Area(d->region, kAreaRechts), mx, my)) {
    const uint32_t line = SelectRequesterEntry(d->rechts, 0, static_cast<uint32_t>(my), kMarkPen, kMarkTextPen);
    if (line < d->chosen->count) d->selected = static_cast<int32_t>(line);
  }
}

void FreeStatistikData(StatistikData* d) {
  if (!d) return;
  if (d->links) FreeRequesterBox(d->links);
  if (d->rechts) FreeRequesterBox(d->rechts);
  if (d->graphBackground) FreeBitMap(d->graphBackground);
  FreeVec(d->linesLinks);
  FreeVec(d->linesRechts);
  DeleteList(d->available, 0);
  DeleteList(d->chosen, 0);
  FreeStatistikDaten(&d->daten);
  CloseFont(d->fontB);
  CloseFont(d->fontC);
  FreeVec(d);
}

}  // namespace

int32_t StatistikScreen(int32_t) {
  auto* d = static_cast<StatistikData*>(AllocVec(sizeof(StatistikData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) {
    ScreenStartFailed(nullptr, SCREEN_STEP_MEMORY, "StatistikScreen: Konnte keinen Speicher allokieren!\n");
    return -1;
  }
  d->next = -1;
  d->selected = -1;
  for (uint32_t i = 0; i < kStatistikRanges; ++i)
    std::snprintf(d->rangeNames[i], sizeof d->rangeNames[i], "%s", GetCatalogStr(kRangeText + i));
  // A file of which nothing could be read leaves both lists unmade: the
  // requesters show their empty texts. A damaged one shows its whole records.
  d->datenZustand = ReadStatistikDatenTeile(&d->daten, &d->datenVersprochen);
  if (d->datenZustand > 0 || d->daten.count) MakeStatistikLists(d);
  PlayScreenCdTrack(kCdTrack);
  ScreenBase base{};
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    FreeStatistikData(d);
    CloseScreenBase(&base, -1);
    return -1;
  };
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(nullptr, SCREEN_STEP_PICTURE,
                      "StatistikScreen: Konnte die Grafik fuer den StatistikScreen nicht laden!\n");
    FreeStatistikData(d);
    return -1;
  }
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "StatistikScreen: Konnte Font A nicht Laden!\n");
  d->fontA = base.font;
  if (!(d->fontB = OpenDiskFont("fonts\\xhelvetica11.fnt")))
    return fail(SCREEN_STEP_FONT, "StatistikScreen: Konnte Font B nicht Laden!\n");
  if (!(d->fontC = OpenDiskFont("fonts\\xhelvetica9.fnt")))
    return fail(SCREEN_STEP_FONT, "StatistikScreen: Konnte Font C nicht Laden!\n");
  if (!OpenScreenLayout(&base, ".\\Data\\ScreenDat\\Statistik.dat", kLayoutMask))
    return fail(SCREEN_STEP_LAYOUT, "StatistiScreen: Konnte die externen Daten nicht laden!\n");
  d->region = base.region;
  if (!InitStatistikRequester(d))
    return fail(SCREEN_STEP_GRAPHICS, "StatistiScreen: Konnte Screengfx nicht einrichten!\n");
  DrawStatistikGraph(d);
  ShowScreenBase(&base);
  if (d->datenZustand < 0) {
    // What is shown of a damaged file: its whole turns, or nothing.
    std::string detail = GetCatalogStr(d->daten.count ? kDamagedPartText : kDamagedNoneText);
    const size_t at = detail.find("%s");
    if (d->daten.count && at != std::string::npos)
      detail = detail.substr(0, at) + std::to_string(d->daten.count) + detail.substr(at + 2);
    ScreenTellDamagedFileText(&base, StatistikPath, detail.c_str());
  }
  do {
    int32_t event;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (event == WE_LEFT_UP) d->held = 0;
    if (event == WE_LEFT_DOWN && !d->held) {
      d->held = 1;
      ListPress(d);
    }
    if (!g) continue;
    if (GadgetIs(g, "INFO")) TextBox(GetCatalogStr(kInfoText));
    else if (GadgetIs(g, "EXIT")) d->next = kNextScreen;
    else StatistikGadget(d, g);
  } while (ScreenBaseStays(&d->next, kNextScreen));
  const int32_t next = d->next;
  FreeStatistikData(d);
  CloseScreenBase(&base, next);
  return next;
}
