// The barracks screen and its requesters. See kasernescreen.h; the rules
// are the model's (kaserne.h), the layouts in docs/layouts.md ("The
// barracks' layouts").
#include "kasernescreen.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/weapons.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/numberentry.h"
#include "screens/common/screenbase.h"
#include "screens/military/kaserne.h"

namespace {

const char kGfx[] = ".\\Data\\Path";
const char kSfx[] = ".\\Data\\SfxPath";
constexpr uint32_t kPicture = 152;
constexpr int32_t kTown = 39, kMap = 3;
const uint32_t kSounds[] = {49, 51, 52, 53, 54, 55, 56, 57, 77};
constexpr uint32_t kLoopSound = 49, kFirstAmbient = 51, kMapSound = 57;
constexpr uint32_t kPenTitle = 6, kPenInk = 7, kPenMark = 8, kPenList = 11, kPenCounter = 22, kPenPick = 86;
constexpr uint32_t kPenKnob = 26, kPenTrack = 22, kPenLight = 25, kPenDark = 24;
constexpr uint32_t kWriteFailed = 127;  // "The data could not be saved."
constexpr uint32_t kLine = kRequesterLineSize;
// Record types of the requesters' layouts: texts, gadgets, areas, value
// fields, rectangles; the management requester's also the (empty) slider
// tracks.
constexpr uint32_t kMaskManagement = 567, kMaskOther = 551;
enum : uint32_t { RECT_REQUESTER = 0, RECT_LEFT = 2, RECT_RIGHT = 3, RECT_LEFT_SLIDER = 4, RECT_RIGHT_SLIDER = 5 };

// What one visit of the screen holds for its requesters (game thread).
struct KaserneScreenState {
  ScreenBase* base;
  TextFont* elmor;   // the screen's font (the base's)
  TextFont* helv11;  // counters, captions
  TextFont* helv9;   // list lines, the weapons' value
};
KaserneScreenState g_state;

// One open requester.
struct Req {
  KasernenData* d;
  ScreenRegion* region;
  LayoutRect area;
  BitMap* saved;
  uint32_t gfx;          // its graphic while open, 0 none
  QoERequester* box[2];  // left and right list boxes
  char* lines[2];
  uint32_t count[2];
  uint8_t* partOf;       // per line of the army box: 0 the army's line, k its k-th part
  uint32_t armyBox;      // which box lists the armies (0 left, 1 right)
  uint8_t shownLabel;    // weapons: the label shown (KaserneShown), 0xFF none
};

void Box(uint32_t id) { ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(id), kPenInk); }

// ---- lines -------------------------------------------------------------------

// A growing array of 80-byte lines (cleared), null without memory.
struct Lines {
  char* p = nullptr;
  uint32_t count = 0, cap = 0;
  bool failed = false;
};
void Add(Lines* l, const char* fmt, ...) {
  if (l->failed) return;
  if (l->count == l->cap) {
    const uint32_t cap = l->cap ? l->cap * 2 : 16;
    char* p = static_cast<char*>(AllocVec(cap * kLine, MEMF_PUBLIC | MEMF_CLEAR));
    if (!p) {
      l->failed = true;
      return;
    }
    if (l->p) std::memcpy(p, l->p, l->count * kLine);
    FreeVec(l->p);
    l->p = p;
    l->cap = cap;
  }
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(l->p + l->count * kLine, kLine, fmt, ap);  // an army or goods name never passes its line
  va_end(ap);
  ++l->count;
}

ArmeeTyp* PartAt(const Army* army, uint32_t k) {
  if (!army || !army->parts || k >= army->parts->count) return nullptr;
  ListNode* n = army->parts->first;
  while (k--) n = n->next;
  return reinterpret_cast<ArmeeTyp*>(n);
}
Army* ArmyAt(ListHeader* list, uint32_t k) {
  if (!list || k >= list->count) return nullptr;
  ListNode* n = list->first;
  while (k--) n = n->next;
  return reinterpret_cast<Army*>(n);
}
uint32_t Parts(const Army* a) { return a && a->parts ? a->parts->count : 0; }

const char* UnitName(uint32_t type) {
  switch (type) {
    case UNIT_ARTILLERY: return GetCatalogStr(711);
    case UNIT_INFANTRY: return GetCatalogStr(714);
    case UNIT_CAVALRY: return GetCatalogStr(712);
    default: return "";
  }
}

// The goods name of an equipment ID, null for none or an unknown ID.
const char* ItemName(uint32_t id) {
  const WeaponDef* w = id ? GetWeaponDef(id) : nullptr;
  return w ? GetWarenName(w->goods) : nullptr;
}
const char* ItemOr(uint32_t id, uint32_t none) {
  const char* n = ItemName(id);
  return n ? n : GetCatalogStr(none);
}

// The eleven lines of one part (the management and training boxes).
void PrintArmyPartInfo(Lines* l, const ArmeeTyp* p, uint32_t lines) {
  const char* second;
  if (!p->WaffeII) second = GetCatalogStr(715);
  else if (p->WaffeII != p->WaffeI) second = ItemOr(p->WaffeII, 715);
  else if (const WeaponDef* w = GetWeaponDef(p->WaffeI); w && w->kind == WEAPON_TWO_HANDS) second = "  \"\"";
  else second = ItemOr(p->WaffeII, 715);
  const uint32_t type = p->Typ;
  if (type >= UNIT_ARTILLERY && type <= UNIT_CAVALRY) Add(l, "%s: %s", GetCatalogStr(710), UnitName(type));
  else Add(l, "");
  Add(l, "%s: %lu", GetCatalogStr(713), (unsigned long)p->Erfahrung);
  Add(l, "%s: %s", GetCatalogStr(716), ItemOr(p->WaffeI, 715));
  Add(l, "%s: %s", GetCatalogStr(717), second);
  Add(l, "%s: %s", GetCatalogStr(718), ItemOr(p->Ruestung, 715));
  Add(l, "%s: %s", GetCatalogStr(719), ItemOr(p->Schild, 722));
  Add(l, "%s: %s", GetCatalogStr(720), GetCatalogStr(p->Helm ? 721 : 722));
  Add(l, "%s: %lu", GetCatalogStr(723), (unsigned long)p->Erschoepfung);
  Add(l, "%s : %lu", GetCatalogStr(724), (unsigned long)p->RuestungsKlasse);
  Add(l, "%s: %lu", GetCatalogStr(725), (unsigned long)p->Leute);
  if (lines > 10) Add(l, "");
}

void NoInformation(Lines* l) { Add(l, "           %s    ", GetCatalogStr(705)); }

// The information lines of an army (management, and training's army line).
void ArmyInformation(Lines* l, const Army* a) {
  Add(l, "       -> %s <-   ", GetCatalogStr(244));
  Add(l, "");
  Add(l, "         %s", a->ArmyName);
  Add(l, "---------------------");
  Add(l, "%s %s :%lu", GetCatalogStr(693), GetCatalogStr(706), (unsigned long)a->X);
  Add(l, "%s %s :%lu", GetCatalogStr(694), GetCatalogStr(706), (unsigned long)a->Y);
  Add(l, "%s :%lu", GetCatalogStr(707), (unsigned long)a->Aktion);
  Add(l, "%s :%lu", GetCatalogStr(708), (unsigned long)a->Glaube);
  Add(l, "%s :%lu", GetCatalogStr(709), (unsigned long)a->ArmeeTypAnzahl);
  Add(l, "");
  if (!a->parts) {
    DebugLog("UpdateManagmentRequesterInformationen: Die Armeeteil-Liste ist in sich inkonsistent...\n");
    return;
  }
  for (uint32_t k = 0; k < a->ArmeeTypAnzahl; ++k) {
    const ArmeeTyp* p = PartAt(a, k);
    if (!p) {
      DebugLog("UpdateManagmentRequesterInformationen: Ein Armeeteil existiert nicht\n");
      return;
    }
    Add(l, "    %s   (%lu)", a->ArmyName, (unsigned long)(k + 1));
    Add(l, "---------------------");
    PrintArmyPartInfo(l, p, 11);
  }
}

// ---- the requester's frame ---------------------------------------------------------

bool Inside(const LayoutRect& r) {
  const int32_t x = GetMouseX(), y = GetMouseY();
  return x >= r.x1 && x <= r.x2 && y >= r.y1 && y <= r.y2;
}

RastPort* Screen() { return ScreenRastPort(); }

void Show(const LayoutRect& r) {
  if (RastPort* rp = Screen()) ShowScreenRect(rp, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
}

// Prints text centred on rectangle r on the screen (filled with fill first
// unless fill is 0xFFFF), in font, and shows it.
void PrintOn(const LayoutRect& r, TextFont* font, const char* text, uint32_t fill, uint32_t pen) {
  RastPort* rp = Screen();
  if (!rp) return;
  TextFont* old = rp->Font;
  SetFont(rp, font);
  SetDrMd(rp, 0);
  const uint32_t flags = PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE | (fill != 0xFFFF ? uint32_t{PTO_FILL} : 0u);
  PrintTextOutlined(rp, r.x1, r.y1, r.x2, r.y2, text, fill == 0xFFFF ? 0 : fill, pen, flags);
  if (old) SetFont(rp, old);
  Show(r);
}

// Opens the requester of layout path: the screen under its first rectangle
// saved, graphic gfx drawn there, the layout's first `texts` areas printed on
// it (the first in ElmorC1, the others in XHelvetica 11), the gadgets drawn.
// 1, or 0 (logged with the requester's lines; nothing stays open).
int32_t OpenReq(Req* r, const char* path, uint32_t mask, uint32_t gfx, uint32_t texts, const char* const log[4]) {
  r->region = GetScreenRegion(path, mask);
  if (!r->region || !GetLayoutRect(r->region, RECT_REQUESTER, &r->area) || r->area.x2 <= r->area.x1 ||
      r->area.y2 <= r->area.y1) {
    DebugLog("%s", log[0]);
    FreeScreenRegion(r->region);
    r->region = nullptr;
    return 0;
  }
  RastPort* rp = Screen();
  if (!rp) {
    DebugLog("%s", log[1]);
    FreeScreenRegion(r->region);
    r->region = nullptr;
    return 0;
  }
  const uint32_t w = r->area.x2 - r->area.x1 + 1u, h = r->area.y2 - r->area.y1 + 1u;
  r->saved = SaveBackground(r->area.x1, r->area.y1, w, h);
  if (!r->saved) {
    DebugLog("%s", log[2]);
    FreeScreenRegion(r->region);
    r->region = nullptr;
    return 0;
  }
  if (OpenElmorGfx(kGfx, gfx) != 1) {
    DebugLog("%s", log[3]);
    RestoreBackground(r->saved, r->area.x1, r->area.y1, w, h);
    r->saved = nullptr;
    FreeScreenRegion(r->region);
    r->region = nullptr;
    return 0;
  }
  r->gfx = gfx;
  BlitObjekt(nullptr, gfx, r->area.x1, r->area.y1, w, h);
  TextFont* old = rp->Font;
  SetDrMd(rp, 0);
  const ScreenRecordList& areas = r->region->types[LAYOUT_AREA];
  const auto* a = static_cast<const TextArea*>(areas.first);
  for (uint32_t i = 0; a && i < areas.count && i < texts; ++i) {
    if (!a[i].text || !*a[i].text) continue;
    SetFont(rp, i == 0 ? g_state.elmor : g_state.helv11);
    PrintTextOutlined(rp, a[i].x1, a[i].y1, a[i].x2, a[i].y2, a[i].text, 0, kPenInk,
                      PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  }
  if (old) SetFont(rp, old);
  RestoreMouseGadgets(nullptr, r->region);
  Show(r->area);
  return 1;
}

void CloseReq(Req* r) {
  for (uint32_t i = 0; i < 2; ++i) {
    FreeRequesterBox(r->box[i]);
    r->box[i] = nullptr;
    FreeVec(r->lines[i]);
    r->lines[i] = nullptr;
  }
  FreeVec(r->partOf);
  r->partOf = nullptr;
  if (r->gfx) CloseElmorGfx(r->gfx);
  r->gfx = 0;
  if (r->saved)
    RestoreBackground(r->saved, r->area.x1, r->area.y1, r->area.x2 - r->area.x1 + 1u, r->area.y2 - r->area.y1 + 1u);
  r->saved = nullptr;
  if (r->region) {
    FreeMouseGadgetImages(r->region);
    FreeScreenRegion(r->region);
  }
  r->region = nullptr;
}

// Fills box i (rectangle rect, slider rect slider) with the lines (taken
// over): a new box, or the old one with new content at its scroll place.
// The highlighted line is cleared. 1, or 0 (logged by the caller).
int32_t FillBox(Req* r, uint32_t i, uint32_t rect, uint32_t slider, Lines* l, uint32_t text_pen = kPenInk) {
  if (l->failed || !l->count) {
    FreeVec(l->p);
    return 0;
  }
  FreeVec(r->lines[i]);
  r->lines[i] = l->p;
  r->count[i] = l->count;
  l->p = nullptr;
  if (r->box[i] && r->box[i]->pens[1] == text_pen) {
    r->box[i]->selected = kNoEntry;
    return UpdateRequesterText(r->box[i], r->lines[i], r->count[i]) != nullptr;
  }
  FreeRequesterBox(r->box[i]);
  r->box[i] = nullptr;
  LayoutRect b{}, s{};
  if (!GetLayoutRect(r->region, rect, &b) || !GetLayoutRect(r->region, slider, &s) || b.x2 <= b.x1 || b.y2 <= b.y1)
    return 0;
  const uint32_t w = b.x2 - b.x1 + 1u, h = b.y2 - b.y1 + 1u;
  r->box[i] = InitRequesterBox(w, r->count[i], g_state.helv9, r->lines[i], b.x1, b.y1, w, h, kPenList, text_pen);
  if (!r->box[i]) return 0;
  return InitSlider(r->box[i], s.x2 - s.x1 + 1u, s.y2 - s.y1 + 1u, kPenKnob, kPenTrack, kPenLight, kPenDark, s.x1,
                    s.y1);
}

void Highlight(Req* r, uint32_t i, int32_t line) {
  if (!r->box[i]) return;
  if (line < 0) {
    SelectRequesterEntry(r->box[i], 1, kNoEntry, kPenInk, kPenMark);
    r->box[i]->selected = kNoEntry;
    ScrollRequester(r->box[i], 0, 0);
  } else {
    SelectRequesterEntry(r->box[i], 1, static_cast<uint32_t>(line), kPenInk, kPenMark);
  }
}

void Scroll(Req* r, uint32_t i, uint32_t step) {
  if (!r->box[i]) return;
  MoveSlider(r->box[i], step);
  ScrollRequester(r->box[i], 0, 0);
}

// The scroll gadgets U/D/S of a box; true when g was one.
bool ScrollGadget(Req* r, const Gadget* g, const char* up, const char* down, const char* drag, uint32_t i) {
  if (GadgetIs(g, up)) Scroll(r, i, SLIDER_UP);
  else if (GadgetIs(g, down)) Scroll(r, i, SLIDER_DOWN);
  else if (GadgetIs(g, drag)) Scroll(r, i, GetMouseY());
  else return false;
  return true;
}

// The box's line under the mouse (highlighted), or -1.
int32_t PickLine(Req* r, uint32_t i) {
  if (!r->box[i]) return -1;
  const uint32_t line = SelectRequesterEntry(r->box[i], 0, GetMouseY(), kPenInk, kPenMark);
  return line == kNoEntry || line >= r->count[i] ? -1 : static_cast<int32_t>(line);
}

bool InBox(Req* r, uint32_t i) {
  LayoutRect b{};
  return r->box[i] && GetLayoutRect(r->region, i == 0 ? RECT_LEFT : RECT_RIGHT, &b) && Inside(b);
}

void TitleBar(Req* r) {
  const ScreenRecordList& t = r->region->types[LAYOUT_TEXTAREA];
  if (t.count) CheckTitleBar(static_cast<const TextArea*>(t.first), g_state.elmor, kPenTitle);
}

// A value field of the layout as a rectangle, with its pens.
bool Field(Req* r, uint32_t k, LayoutRect* out, uint32_t* pen, uint32_t* fill) {
  const ValueField* v = GetLayoutValue(r->region, k);
  if (!v) return false;
  *out = LayoutRect{v->x1, v->y1, v->x2, v->y2};
  *pen = v->textPen;
  *fill = v->fillPen;
  return true;
}
void PrintField(Req* r, uint32_t k, const char* text, TextFont* font) {
  LayoutRect f{};
  uint32_t pen = kPenInk, fill = kPenCounter;
  if (Field(r, k, &f, &pen, &fill)) PrintOn(f, font, text, fill, pen);
}

void Pause(uint8_t halted) {
  if (!g_state.base) return;
  PauseScreenMovies(g_state.base, halted);
  DebugLog("Kaserne: %u Filme %s\n", g_state.base->movieCount, halted ? "angehalten" : "laufen weiter");
}

// ---- the asker: the model's questions as boxes --------------------------------------

struct AskerUser {
  Req* r;
  uint32_t partBox;    // the box the part selection fills
  bool supply;         // EXIT, INF1 and OK01 during the selection are told 749
};

void Refuse(void*, uint32_t id) {
  DebugLog("Kaserne: Meldung %u\n", id);
  Box(id);
}
int32_t YesNo(void*, uint32_t id) {
  DebugLog("Kaserne: Frage %u\n", id);
  return ChiefMessage(66, 168, 180, 0, 0, 0, 1, GetCatalogStr(id), kPenInk) == 0 ? 1 : 0;
}
int32_t AskName(void*, uint32_t title, uint32_t help, char* out, uint32_t size) {
  char buffer[KASERNE_NAME_SIZE] = {};
  if (!EingabeBox(buffer, sizeof buffer, 180, 200, GetCatalogStr(title), GetCatalogStr(help), 0)) return 0;
  std::snprintf(out, size, "%s", buffer);
  return 1;
}

// Waits for a left press on a line of box i (events without ticks); the
// line, or -1 for Escape or the close. The other box still scrolls.
int32_t WaitForLine(AskerUser* u, uint32_t i, uint32_t count) {
  Req* r = u->r;
  static const char* const kScroll[3][3] = {{"U101", "D101", "S101"}, {"U301", "D301", "S301"}, {"U201", "D201", "S201"}};
  KeyScope keys;  // a key held from before the choice does not end it
  for (;;) {
    TitleBar(r);
    const int32_t event = WaitEvent(0);
    if (WindowCloseRequested() || event == WE_KEY_ESCAPE) return -1;
    if (event == WE_LEFT_DOWN && InBox(r, i)) {
      const int32_t line = PickLine(r, i);
      if (line >= 0 && static_cast<uint32_t>(line) < count) return line;
    }
    Gadget* g = HandleGadgetEvent(nullptr, r->region, static_cast<uint32_t>(event));
    if (!g) continue;
    for (const auto& s : kScroll)
      if (ScrollGadget(r, g, s[0], s[1], s[2], 1 - i)) break;
    if (u->supply && (GadgetIs(g, "EXIT") || GadgetIs(g, "INF1") || GadgetIs(g, "OK01"))) Box(749);
  }
}

// The management requester's army lines.
void ManagementArmies(Req* r);

int32_t PickPart(void* user, Army* army) {
  auto* u = static_cast<AskerUser*>(user);
  Req* r = u->r;
  Lines l;
  for (uint32_t k = 0; k < Parts(army); ++k) Add(&l, "%s  ( %u )", army->ArmyName, k + 1);
  if (!l.count || !FillBox(r, u->partBox, RECT_LEFT, RECT_LEFT_SLIDER, &l, kPenPick)) {
    DebugLog("ArmyManagmentSplitArmy: Konnte keinen Speicher fuer den Requester bekommen!\n");
    ManagementArmies(r);
    return -1;
  }
  const int32_t k = WaitForLine(u, u->partBox, Parts(army));
  ManagementArmies(r);
  DebugLog("Kaserne: Teil %d gew\xE4hlt\n", k);
  return k;
}

Army* PickArmy(void* user, ListHeader* armies) {
  auto* u = static_cast<AskerUser*>(user);
  Highlight(u->r, 0, -1);
  const int32_t k = WaitForLine(u, 0, armies ? armies->count : 0);
  return k >= 0 ? ArmyAt(armies, static_cast<uint32_t>(k)) : nullptr;
}

KaserneAsker MakeAsker(AskerUser* u) {
  KaserneAsker a{};
  a.user = u;
  a.refuse = Refuse;
  a.tell = Refuse;
  a.yesNo = YesNo;
  a.askName = AskName;
  a.pickPart = PickPart;
  a.pickArmy = PickArmy;
  return a;
}

// Writes on OK; a failure is told (nothing was written then).
void WriteOnOk(KasernenData* d, const char* who) {
  if (WriteKasernenData(d)) {
    DebugLog("%s: Daten geschrieben\n", who);
    return;
  }
  DebugLog("%s: Die Daten konnten nicht gespeichert werden, keine Datei wurde ge\xE4ndert.\n", who);
  Box(kWriteFailed);
}

// The bottom row of every requester: the help, OK (writes) and EXIT. True
// when the requester ends; *ok tells whether OK ended it.
bool BottomRow(const Gadget* g, const char* help, uint32_t help_text, const char* ok_id, KasernenData* d,
               const char* who, bool* ok) {
  if (GadgetIs(g, help)) {
    TextBox(GetCatalogStr(help_text));
  } else if (GadgetIs(g, ok_id)) {
    WriteOnOk(d, who);
    *ok = true;
    return true;
  } else if (GadgetIs(g, "EXIT")) {
    return true;
  }
  return false;
}

// Ends a requester: after OK the copies go, after EXIT (or the close) the
// copies are put back; the yard under it comes back and the movies run on.
void EndReq(Req* r, bool ok) {
  if (ok) KaserneRequesterClosed(r->d);
  else KaserneRequesterExit(r->d);
  CloseReq(r);
  Pause(0);
}

int32_t IndexOf(ListHeader* list, const void* node) {
  ListNode* n = list ? list->first : nullptr;
  for (uint32_t i = 0; list && i < list->count; ++i, n = n->next)
    if (n == node) return static_cast<int32_t>(i);
  return -1;
}

// ---- army management -----------------------------------------------------------

void ManagementArmies(Req* r) {
  KasernenData* d = r->d;
  Lines l;
  for (uint32_t k = 0; d->ArmeeListe && k < d->ArmeeListe->count; ++k) Add(&l, "%s", ArmyAt(d->ArmeeListe, k)->ArmyName);
  if (!l.count) Add(&l, "                  %s", GetCatalogStr(704));
  if (!FillBox(r, 0, RECT_LEFT, RECT_LEFT_SLIDER, &l))
    DebugLog("UpdateManagmentRequesterArmys: Konnte den Armee Listen Requester nicht erstellen!\n");
  Highlight(r, 0, IndexOf(d->ArmeeListe, d->selArmy));
}

void ManagementInformation(Req* r) {
  KasernenData* d = r->d;
  Lines l;
  if (d->selArmy && IndexOf(d->ArmeeListe, d->selArmy) >= 0) ArmyInformation(&l, d->selArmy);
  else NoInformation(&l);
  if (!FillBox(r, 1, RECT_RIGHT, RECT_RIGHT_SLIDER, &l))
    DebugLog("UpdateManagmentRequesterInformationen: Konnte den Armee-Listen-Requester nicht erstellen!\n");
}

void PrintManagmentCounters(Req* r) {
  KasernenData* d = r->d;
  char(&t)[5][20] = d->counterText;
  std::snprintf(t[0], sizeof t[0], "%u", d->Einwohner);
  std::snprintf(t[1], sizeof t[1], "%u", static_cast<uint32_t>(d->Prozent));
  std::snprintf(t[2], sizeof t[2], "%u/%u", d->Soldaten, static_cast<uint32_t>(d->Rekruten));
  std::snprintf(t[3], sizeof t[3], "%u", d->Sold);
  std::snprintf(t[4], sizeof t[4], "%u", static_cast<uint32_t>(d->Einheiten));
  for (uint32_t k = 0; k < 5; ++k) PrintField(r, k, t[k], g_state.helv11);
  DebugLog("Kaserne: Zaehler %s %s %s %s %s\n", t[0], t[1], t[2], t[3], t[4]);
}

void EnterUnits(Req* r, const Gadget* g) {
  KasernenData* d = r->d;
  RastPort* rp = Screen();
  TextFont* old = rp ? rp->Font : nullptr;
  if (rp) SetFont(rp, g_state.helv11);
  const int32_t typed = TypedNumberEntry(r->region, g, d->Einheiten, kPenInk, kPenCounter);
  if (rp && old) SetFont(rp, old);
  ArmyManagmentEnterUnits(d, typed);
}

}  // namespace

bool ArmyManagment(KasernenData* d) {
  Pause(1);
  if (const uint32_t refusal = KaserneOpenRefusal(d, KASERNE_MANAGEMENT)) {
    Refuse(nullptr, refusal);
    Pause(0);
    return false;
  }
  static const char* const kLog[4] = {"ArmyManagment: Konnte Externe Daten nicht Laden !\n",
                                      "ArmyManagment: Konnte RastPort nicht initialisieren!\n",
                                      "ArmyManagment: Konnte ein Rechteck des Hintergrundes nicht retten !\n",
                                      "ArmyManagment: Konnte Kasernenrequester nicht laden !\n"};
  Req r{};
  r.d = d;
  if (!OpenReq(&r, ".\\Data\\Screendat\\KaserneReq1.dat", kMaskManagement, 199, 0xFFFF, kLog)) {
    d->Einheiten = 0;
    Pause(0);
    return true;
  }
  ReadKasernenData(d, 0);
  KaserneRequesterOpened(d);
  bool failed = false, ok = false;
  ManagementArmies(&r);
  ManagementInformation(&r);
  if (!r.box[0] || !r.box[1]) {
    DebugLog("ArmyManagment: Fehler beim initialisieren der Requester!\n");
  } else {
    PrintManagmentCounters(&r);
    DebugLog("ArmyManagment: offen, Typ %u\n", d->KasernenTyp);
    AskerUser u{&r, 0, false};
    KaserneAsker a = MakeAsker(&u);
    static const char* const kOps[7] = {"B100", "B101", "B102", "B103", "B104", "B105", "B106"};
    static KaserneOutcome (*const kRun[7])(KasernenData*, const KaserneAsker*) = {
        ArmyManagmentCreateNewArmy, ArmyManagmentInsertInArmy, ArmyManagmentJoinArmies, ArmyManagmentSplitArmy,
        ArmyManagmentDemobilize,    ArmyManagmentSupplyPart,   ArmyManagmentRenameArmy};
    KeyScope keys;  // a key held from before the requester does not answer it
    for (bool done = false; !done;) {
      TitleBar(&r);
      const int32_t event = WaitEvent(WE_TICKS);
      if (WindowCloseRequested()) break;
      if (event == WE_LEFT_DOWN && InBox(&r, 0) && d->ArmeeListe && d->ArmeeListe->count) {
        const int32_t line = PickLine(&r, 0);
        if (line < 0) {
          d->selArmy = nullptr;
          d->selLeft = d->prevLeft = -1;
          ManagementArmies(&r);
          ManagementInformation(&r);
        } else if (line != d->prevLeft) {
          d->selLeft = d->prevLeft = line;
          d->selArmy = ArmyAt(d->ArmeeListe, static_cast<uint32_t>(line));
          if (!d->selArmy) {
            DebugLog("ArmyManagment: Konnte BufferArmy nicht bekommen\n");
            failed = true;
            break;
          }
          ManagementInformation(&r);
        }
      }
      Gadget* g = HandleGadgetEvent(nullptr, r.region, static_cast<uint32_t>(event));
      if (!g) continue;
      if (ScrollGadget(&r, g, "U100", "D100", "S100", 0) || ScrollGadget(&r, g, "U101", "D101", "S101", 1)) continue;
      bool changed = false;
      for (uint32_t k = 0; k < 7; ++k)
        if (GadgetIs(g, kOps[k])) {
          u.supply = k == 5;
          const KaserneOutcome out = kRun[k](d, &a);
          u.supply = false;
          DebugLog("ArmyManagment: %s verweigert %u, erledigt %u, Fehler %u\n", kOps[k], out.refused, out.done,
                   out.failed);
          if (k == 0 && out.failed) {
            failed = true;
            done = true;
          }
          changed = true;
        }
      if (changed) {
        if (failed) break;
        d->prevLeft = d->selLeft = IndexOf(d->ArmeeListe, d->selArmy);
        ManagementArmies(&r);
        if (GadgetIs(g, "B100") && d->selArmy) {
          Scroll(&r, 0, SLIDER_END);
          Highlight(&r, 0, d->selLeft);
        }
        ManagementInformation(&r);
        PrintManagmentCounters(&r);
      } else if (GadgetIs(g, "L100") || GadgetIs(g, "R100") || GadgetIs(g, "L101") || GadgetIs(g, "R101")) {
        ArmyManagmentRecruit(d, g->id, &a);
        PrintManagmentCounters(&r);
      } else if (GadgetIs(g, "ST01")) {
        EnterUnits(&r, g);
        PrintManagmentCounters(&r);
      } else {
        done = BottomRow(g, "INF1", 780, "OK01", d, "ArmyManagment", &ok);
      }
    }
  }
  EndReq(&r, ok);
  d->Einheiten = 0;
  return failed;
}

// ---- weapons --------------------------------------------------------------------

namespace {

// The army box of the weapons and training requesters: each army's line
// and one line per part; partOf holds 0 for an army line, k for part k.
void PartLines(Req* r, uint32_t box, bool training) {
  KasernenData* d = r->d;
  Lines l;
  uint32_t lines = 0;
  for (uint32_t a = 0; d->ArmeeListe && a < d->ArmeeListe->count; ++a) lines += 1 + Parts(ArmyAt(d->ArmeeListe, a));
  FreeVec(r->partOf);
  r->partOf = static_cast<uint8_t*>(AllocVec(lines + 1, MEMF_PUBLIC | MEMF_CLEAR));
  for (uint32_t a = 0; r->partOf && d->ArmeeListe && a < d->ArmeeListe->count; ++a) {
    const Army* army = ArmyAt(d->ArmeeListe, a);
    r->partOf[l.count] = 0;
    Add(&l, "  %s  ", army->ArmyName);
    for (uint32_t k = 0; k < Parts(army) && l.count < lines; ++k) {
      r->partOf[l.count] = static_cast<uint8_t>(k + 1 > 255 ? 255 : k + 1);
      if (training) Add(&l, "->   %s ( %lu )", army->ArmyName, (unsigned long)(k + 1));
      else Add(&l, "-> %s ( %lu )", UnitName(PartAt(army, k)->Typ), (unsigned long)(k + 1));
    }
  }
  if (!l.count) Add(&l, "                  %s", GetCatalogStr(704));
  const uint32_t rect = box == 0 ? RECT_LEFT : RECT_RIGHT, slider = box == 0 ? RECT_LEFT_SLIDER : RECT_RIGHT_SLIDER;
  if (!FillBox(r, box, rect, slider, &l))
    DebugLog(training ? "UpdateTrainingRequesterArmys: Konnte den Armee Listen Requester nicht erstellen!\n"
                      : "UpdateWeaponRequesterArmys: Konnte den Armee Listen Requester nicht erstellen!\n");
}

// The line of the selected army or part in the army box, -1 none.
int32_t SelectedLine(Req* r) {
  KasernenData* d = r->d;
  int32_t line = 0;
  for (uint32_t a = 0; d->ArmeeListe && a < d->ArmeeListe->count; ++a) {
    Army* army = ArmyAt(d->ArmeeListe, a);
    if (army == d->selArmy && !d->selPart) return line;
    ++line;
    for (uint32_t k = 0; k < Parts(army); ++k, ++line)
      if (army == d->selArmy && PartAt(army, k) == d->selPart) return line;
  }
  return -1;
}

// The army and part of army-box line `line`.
void TakeLine(Req* r, int32_t line) {
  KasernenData* d = r->d;
  d->selArmy = nullptr;
  d->selPart = nullptr;
  if (line < 0 || !r->partOf || static_cast<uint32_t>(line) >= r->count[r->armyBox]) return;
  int32_t armies = 0;
  for (int32_t i = 0; i <= line; ++i) armies += r->partOf[i] == 0;
  d->selArmy = armies > 0 ? ArmyAt(d->ArmeeListe, static_cast<uint32_t>(armies - 1)) : nullptr;
  if (d->selArmy && r->partOf[line]) d->selPart = PartAt(d->selArmy, r->partOf[line] - 1u);
}

void WeaponLines(Req* r) {
  KasernenData* d = r->d;
  Lines l;
  ListNode* n = d->WaffenListe ? d->WaffenListe->first : nullptr;
  for (uint32_t i = 0; d->WaffenListe && i < d->WaffenListe->count; ++i, n = n->next)
    Add(&l, "%.79s", GetWarenName(reinterpret_cast<WaffenListEntry*>(n)->def.goods));
  if (!l.count) Add(&l, "                %s", GetCatalogStr(755));
  if (!FillBox(r, 0, RECT_LEFT, RECT_LEFT_SLIDER, &l))
    DebugLog("UpdateWeaponRequesterWaffen: Konnte den Waffen Listen Requester nicht erstellen!\n");
  int32_t sel = -1;
  n = d->WaffenListe ? d->WaffenListe->first : nullptr;
  for (uint32_t i = 0; d->selWeapon && d->WaffenListe && i < d->WaffenListe->count; ++i, n = n->next)
    if (reinterpret_cast<WaffenListEntry*>(n)->def.ID == d->selWeapon) sel = static_cast<int32_t>(i);
  if (sel < 0) d->selWeapon = 0;
  d->selLeft = d->prevLeft = sel;
  Highlight(r, 0, sel);
}

void WeaponLabel(Req* r, const char* text) {
  const TextArea* a = nullptr;
  const ScreenRecordList& areas = r->region->types[LAYOUT_AREA];
  if (areas.count > 4) a = static_cast<const TextArea*>(areas.first) + 4;
  if (!a) return;
  PrintOn(LayoutRect{a->x1, a->y1, a->x2, a->y2}, g_state.helv9, text, kPenList, kPenInk);
}

// The label of the next value (weapon: the index steps first; part: the
// label of the index, then the index steps).
void ArmyWeaponCycleInfo(Req* r) {
  KasernenData* d = r->d;
  static const uint32_t kWeaponLabels[4] = {251, 253, 252, 453};
  static const uint32_t kPartLabels[9] = {725, 763, 764, 719, 720, 718, 710, 723, 713};
  if (d->infoMode == 1) {
    d->infoIndex = static_cast<uint8_t>((d->infoIndex + 1) % 4);
    WeaponLabel(r, GetCatalogStr(kWeaponLabels[d->infoIndex]));
    r->shownLabel = 0xFF;
  } else if (d->infoMode == 2 && d->selPart) {
    const uint8_t k = d->infoIndex > 8 ? 0 : d->infoIndex;
    WeaponLabel(r, GetCatalogStr(kPartLabels[k]));
    r->shownLabel = k;
    d->infoIndex = static_cast<uint8_t>(k >= 8 ? 0 : k + 1);
  }
}

// The value of the index (empty when nothing of the mode is selected).
void ArmyWeaponPrintTexts(Req* r) {
  KasernenData* d = r->d;
  char v[kLine] = {};
  const WaffenListEntry* w = d->selWeapon ? FindWaffe(d->WaffenListe, d->selWeapon) : nullptr;
  const ArmeeTyp* p = d->selPart;
  if (d->infoMode == 1 && w) {
    const WeaponDef& def = w->def;
    static const uint32_t kKinds[5] = {756, 757, 758, 1118, 718};
    switch (d->infoIndex) {
      case 0:
        std::snprintf(v, sizeof v, "%lu-%lu/%lu-%lu/%lu-%lu", (unsigned long)def.damage[0], (unsigned long)def.damage[1],
                      (unsigned long)def.damage[2], (unsigned long)def.damage[3], (unsigned long)def.damage[4],
                      (unsigned long)def.damage[5]);
        break;
      case 1: std::snprintf(v, sizeof v, "%lu %s", (unsigned long)def.Anzahl, GetCatalogStr(1322)); break;
      case 2:
        std::snprintf(v, sizeof v, "%lu/%lu/%lu", (unsigned long)def.distance[0], (unsigned long)def.distance[1],
                      (unsigned long)def.distance[2]);
        break;
      default: std::snprintf(v, sizeof v, "%s", GetCatalogStr(def.kind < 5 ? kKinds[def.kind] : 759)); break;
    }
  } else if (d->infoMode == 2 && p) {
    switch (d->infoIndex) {
      case 0: std::snprintf(v, sizeof v, "%u", p->Erfahrung); break;
      case 1: std::snprintf(v, sizeof v, "%lu %s", (unsigned long)p->Leute, GetCatalogStr(761)); break;
      case 2: std::snprintf(v, sizeof v, "%s", ItemOr(p->WaffeI, 760)); break;
      case 3: std::snprintf(v, sizeof v, "%s", ItemOr(p->WaffeII, 760)); break;
      case 4: std::snprintf(v, sizeof v, "%s", ItemOr(p->Schild, 760)); break;
      case 5: std::snprintf(v, sizeof v, "%s", ItemOr(p->Helm, 760)); break;
      case 6: std::snprintf(v, sizeof v, "%s", ItemOr(p->Ruestung, 760)); break;
      case 7:
        if (p->Typ >= UNIT_ARTILLERY && p->Typ <= UNIT_CAVALRY) {
          std::snprintf(v, sizeof v, "%s", UnitName(p->Typ));
        } else {
          std::snprintf(v, sizeof v, "%s", GetCatalogStr(762));
          DebugLog("ArmyWeaponPrintTexts: Dieser Armee Typ ist nicht definiert.\n");
        }
        break;
      default: std::snprintf(v, sizeof v, "%u", p->Erschoepfung); break;
    }
  }
  PrintField(r, 0, v, g_state.helv9);
  DebugLog("ArmyWeaponPrintTexts: Modus %u, Index %u, Wert \"%s\"\n", d->infoMode, d->infoIndex, v);
}

}  // namespace

namespace {
// The value the information box shows (nothing shown counts as experience,
// which takes nothing off).
KaserneShown Shown(const Req& r) {
  return static_cast<KaserneShown>(r.shownLabel == 0xFF ? uint32_t{SHOWN_EXPERIENCE} : uint32_t{r.shownLabel});
}
}  // namespace

int32_t ArmyWeapons(KasernenData* d) {
  Pause(1);
  static const char* const kLog[4] = {"ArmyWeapons: Konnte Externe Daten nicht laden !\n",
                                      "ArmyWeapons: Konnte RastPort nicht initialisieren!\n",
                                      "ArmyWeapons: Konnte ein Rechteck des Hintergrundes nicht retten !\n",
                                      "ArmyWeapons: Konnte ein Bob nicht laden!\n"};
  Req r{};
  r.d = d;
  r.armyBox = 1;
  r.shownLabel = 0xFF;
  if (!OpenReq(&r, ".\\Data\\Screendat\\KaserneReq3.dat", kMaskOther, 201, 4, kLog)) {
    Pause(0);
    return 0;
  }
  ReadKasernenData(d, 1);
  KaserneRequesterOpened(d);
  d->selWeapon = 0;
  d->infoMode = d->infoIndex = 0;
  WeaponLines(&r);
  PartLines(&r, 1, false);
  bool ok = false;
  int32_t result = 1;
  if (!r.box[0] || !r.box[1]) {
    DebugLog("ArmyWeapons: Konnte die Requester beim ersten mal nicht darstellen!\n");
    result = 0;
  } else {
    ArmyWeaponPrintTexts(&r);
    AskerUser u{&r, 1, false};
    KaserneAsker a = MakeAsker(&u);
    KeyScope keys;
    for (bool done = false; !done;) {
      TitleBar(&r);
      const int32_t event = WaitEvent(WE_TICKS);
      if (WindowCloseRequested()) break;
      if (event == WE_LEFT_DOWN && InBox(&r, 0) && d->WaffenListe && d->WaffenListe->count) {
        const int32_t line = PickLine(&r, 0);
        if (line >= 0 && line != d->prevLeft) {
          d->selLeft = d->prevLeft = line;
          const WaffenListEntry* w =
              reinterpret_cast<const WaffenListEntry*>(ArmyAt(d->WaffenListe, static_cast<uint32_t>(line)));
          d->selWeapon = w ? w->def.ID : 0;
          d->infoIndex = 0;
        }
        if (d->selWeapon) {
          d->infoMode = 1;
          ArmyWeaponCycleInfo(&r);
          ArmyWeaponPrintTexts(&r);
        }
      } else if (event == WE_LEFT_DOWN && InBox(&r, 1) && d->ArmeeListe && d->ArmeeListe->count) {
        const int32_t line = PickLine(&r, 1);
        if (line >= 0 && line != d->prevRight) {
          d->selRight = d->prevRight = line;
          TakeLine(&r, line);
          d->infoIndex = 0;
        }
        if (d->selPart) {
          d->infoMode = 2;
          ArmyWeaponCycleInfo(&r);
          ArmyWeaponPrintTexts(&r);
        }
      }
      Gadget* g = HandleGadgetEvent(nullptr, r.region, static_cast<uint32_t>(event));
      if (!g) continue;
      if (ScrollGadget(&r, g, "U300", "D300", "S300", 0) || ScrollGadget(&r, g, "U301", "D301", "S301", 1)) continue;
      if (GadgetIs(g, "B100") || GadgetIs(g, "B101")) {
        const KaserneOutcome out = GadgetIs(g, "B100")
                                       ? ArmyWeaponsInsertInArmy(d, &a)
                                       : ArmyWeaponsRemoveFromArmy(d, Shown(r), &a);
        DebugLog("ArmyWeapons: %.4s verweigert %u, erledigt %u, Fehler %u\n", g->id, out.refused, out.done, out.failed);
        if (out.done) WeaponLines(&r);
        ArmyWeaponPrintTexts(&r);
      } else if (GadgetIs(g, "CYCL")) {
        ArmyWeaponCycleInfo(&r);
        ArmyWeaponPrintTexts(&r);
      } else {
        done = BottomRow(g, "INF3", 1213, "OK03", d, "ArmyWeapons", &ok);
      }
    }
  }
  d->infoMode = d->infoIndex = 0;
  EndReq(&r, ok);
  return result;
}

// ---- training -------------------------------------------------------------------

namespace {

void TrainingInformation(Req* r) {
  KasernenData* d = r->d;
  Lines l;
  if (d->selArmy && d->selPart) {
    Add(&l, "       -> %s <-   ", GetCatalogStr(244));
    Add(&l, "");
    PrintArmyPartInfo(&l, d->selPart, 10);
    if (d->selArmy->Training)
      Add(&l, "%s:  %s %lu %s", GetCatalogStr(1029), GetCatalogStr(1028), (unsigned long)d->selArmy->Training,
          GetCatalogStr(245));
    else
      Add(&l, "%s:  %s", GetCatalogStr(1029), GetCatalogStr(722));
  } else if (d->selArmy) {
    ArmyInformation(&l, d->selArmy);
  } else {
    NoInformation(&l);
  }
  if (!FillBox(r, 1, RECT_RIGHT, RECT_RIGHT_SLIDER, &l))
    DebugLog("UpdateTrainingRequesterInformationen: Konnte den Informations Requester nicht erstellen!\n");
}

void PrintTrainingCounters(Req* r) {
  KasernenData* d = r->d;
  std::snprintf(d->trainingText, sizeof d->trainingText, "%u", d->TrainingsRunden);
  std::snprintf(d->costText, sizeof d->costText, "%u", d->TrainingsKosten);
  PrintField(r, 0, d->trainingText, g_state.helv11);
  PrintField(r, 1, d->costText, g_state.helv11);
  DebugLog("Kaserne: Training %s Runden, %s Kosten\n", d->trainingText, d->costText);
}

// Both boxes anew; the selection stays where its army and part still are.
void TrainingBoxes(Req* r) {
  PartLines(r, 0, true);
  const int32_t line = SelectedLine(r);
  if (line < 0) {
    r->d->selArmy = nullptr;
    r->d->selPart = nullptr;
  }
  r->d->selLeft = r->d->prevLeft = line;
  Highlight(r, 0, line);
  TrainingInformation(r);
}

}  // namespace

void ArmyTraining(KasernenData* d) {
  Pause(1);
  ReadKasernenData(d, 0);
  if (const uint32_t refusal = KaserneOpenRefusal(d, KASERNE_TRAINING)) {
    Refuse(nullptr, refusal);
    KaserneRequesterClosed(d);
    Pause(0);
    return;
  }
  static const char* const kLog[4] = {
      "KasernenScreen(Trainings-Reqeuster):Konnte Externe Daten nicht Laden !\n",
      "KasernenScreen(Trainings-Requester):Konnte keinen Speicher fuer den rastPort bekommen!\n",
      "KasernenScreen(Trainings-Reqeuster):Konnte ein Rechteck des Hintergrundes nicht retten !\n",
      "KasernenScreen(Trainings-Reqeuster):Konnte Bob nicht laden!\n"};
  Req r{};
  r.d = d;
  r.armyBox = 0;
  if (!OpenReq(&r, ".\\Data\\Screendat\\KaserneReq2.dat", kMaskOther, 200, 0xFFFF, kLog)) {
    KaserneRequesterClosed(d);
    Pause(0);
    return;
  }
  KaserneRequesterOpened(d);
  d->TrainingsRunden = 0;
  d->TrainingsKosten = 0;
  TrainingBoxes(&r);
  bool ok = false;
  if (!r.box[0] || !r.box[1]) {
    DebugLog("ArmyTraining:Konnte die Requester beim ersten Mal nicht darstellen!");
  } else {
    PrintTrainingCounters(&r);
    AskerUser u{&r, 0, false};
    KaserneAsker a = MakeAsker(&u);
    KeyScope keys;
    for (bool done = false; !done;) {
      TitleBar(&r);
      const int32_t event = WaitEvent(WE_TICKS | WE_EXTENDED);
      if (WindowCloseRequested()) break;
      if (event == WE_LEFT_DOWN && InBox(&r, 0) && d->ArmeeListe && d->ArmeeListe->count) {
        const int32_t line = PickLine(&r, 0);
        if (line >= 0 && line != d->prevLeft) {
          d->selLeft = d->prevLeft = line;
          TakeLine(&r, line);
          TrainingInformation(&r);
          d->TrainingsRunden = 0;
          d->TrainingsKosten = 0;
          PrintTrainingCounters(&r);
        }
      }
      Gadget* g = HandleGadgetEvent(nullptr, r.region, static_cast<uint32_t>(event));
      if (!g) continue;
      if (ScrollGadget(&r, g, "U200", "D200", "S200", 0) || ScrollGadget(&r, g, "U201", "D201", "S201", 1)) continue;
      if (GadgetIs(g, "L200") || GadgetIs(g, "R200")) {
        ArmyTrainingDuration(d, g->id, &a);
        PrintTrainingCounters(&r);
      } else if (GadgetIs(g, "B200") || GadgetIs(g, "B201")) {
        const uint32_t start = GadgetIs(g, "B200") ? 1 : 0;
        const int32_t part = d->selPart ? IndexOf(d->selArmy ? d->selArmy->parts : nullptr, d->selPart) : -1;
        const KaserneOutcome out = ArmyTrainingActivate(d, start, part, &a);
        DebugLog("ArmyTraining: %.4s verweigert %u, erledigt %u, Fehler %u\n", g->id, out.refused, out.done,
                 out.failed);
        PrintTrainingCounters(&r);
        TrainingBoxes(&r);
      } else {
        done = BottomRow(g, "INF2", 1214, "OK02", d, "ArmyTraining", &ok);
      }
    }
  }
  EndReq(&r, ok);
  d->TrainingsRunden = 0;
  d->TrainingsKosten = 0;
}

// ---- the screen -------------------------------------------------------------------

uint32_t ArmyPartInfoLines(const ArmeeTyp* part, char* lines, uint32_t max) {
  if (!part || !lines) return 0;
  Lines l;
  PrintArmyPartInfo(&l, part, 10);
  const uint32_t n = l.failed ? 0 : l.count < max ? l.count : max;
  if (n) std::memcpy(lines, l.p, n * kLine);
  FreeVec(l.p);
  return n;
}

int32_t LoadKasernenSfx() {
  const uint32_t n = sizeof kSounds / sizeof kSounds[0];
  for (uint32_t i = 0; i < n; ++i)
    if (OpenElmorSfx(kSfx, kSounds[i]) != 1) {
      DebugLog("LoadKasernenSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
      while (i--) CloseElmorSfx000(kSounds[i]);
      return 0;
    }
  return 1;
}

void FreeKasernenSfx() {
  for (uint32_t id : kSounds) CloseElmorSfx000(id);
}

int32_t KaserneScreen(int32_t) {
  // Music: a random choice of two CD tracks, or the music that plays.
  const uint32_t music = Zufall(2);
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  if (music < 2) PlayCDTrack1(o.cd_device, o.cd_unit, music == 0 ? 15 : 10, music == 0 ? 15 : 10);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "KaserneScreen : Konnte Kasernen Grafik nicht laden \n");
    CloseScreenBase(&base, 0);
    return 0;
  }
  KasernenData* d = nullptr;
  bool sfx = false;
  auto leave = [&](int32_t next) {
    g_state.base = nullptr;
    if (g_state.helv9) CloseFont(g_state.helv9);
    if (g_state.helv11) CloseFont(g_state.helv11);
    g_state = KaserneScreenState{};
    if (sfx) {
      StopSfx(kLoopSound);
      FreeKasernenSfx();
    }
    FreeKasernenData(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return leave(0);
  };
  d = InitKasernenScreen();
  if (!d) return fail(SCREEN_STEP_MEMORY, "KasernenScreen : Konnte den Kasernen-Screen nicht initialisieren!\n");
  sfx = LoadKasernenSfx() == 1;
  if (!sfx) return fail(SCREEN_STEP_SOUNDS, "KasernenScreen : Konnte die Kasernen-Samples nicht laden!\n");
  static const ScreenMovieSpec kMovies[] = {{".\\Anims\\KaserneSchmied.cban", 528, 320, 68, 4},
                                            {".\\Anims\\KaserneSchmiedeRauch.cban", 560, 110, 68, 4},
                                            {".\\Anims\\KaserneWasserFall.cban", 352, 120, 68, 2}};
  if (!OpenScreenMovies(&base, kMovies, 3))
    return fail(SCREEN_STEP_MOVIES, "InitKaserneAnims: AllocMovieBase fehlgeschlagen...\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "KaserneScreen : Konnte Font nicht Laden !\n");
  g_state.elmor = base.font;
  g_state.helv11 = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!g_state.helv11) return fail(SCREEN_STEP_FONT, "KaserneScreen : Konnte Font nicht Laden(Helvetica)\n");
  g_state.helv9 = OpenDiskFont("fonts\\XHelvetica9.fnt");
  if (!g_state.helv9) return fail(SCREEN_STEP_FONT, "KaserneScreen : Konnte Font nicht Laden(Helvetica, klein)\n");
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Kaserne.dat", 3))
    return fail(SCREEN_STEP_LAYOUT, "KaserneScreen : Konnte Externe Daten nicht laden!\n");
  g_state.base = &base;
  if (RastPort* rp = ScreenRastPort()) {
    SetDrMd(rp, 0);
    SetAPen(rp, 1);
  }
  ShowScreenBase(&base);
  SfxPlayer000(kLoopSound, 0, 1);
  if (d->goodsDamaged) ScreenTellDamagedFile(&base, ".\\Data\\WarenChunk.qoe", KASERNE_GOODS_DAMAGED_TEXT);
  if (d->figuresDamaged == FIGURE_FILE_MISSING) ScreenTellMissingFile(&base, MapPrefsPath, KASERNE_FIGURES_DAMAGED_TEXT);
  else if (d->figuresDamaged) ScreenTellDamagedFile(&base, MapPrefsPath, KASERNE_FIGURES_DAMAGED_TEXT);
  DebugLog("KaserneScreen: offen\n");
  uint32_t ticks = 0, limit = 100;
  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kPenTitle, &event);
    if (event == WE_TICK && ++ticks >= limit) {
      ticks = 0;
      limit = (Zufall(5) + 1) * 5;
      SfxPlayer000(kFirstAmbient + Zufall(6), 0, 0);
    }
    if (!g) continue;
    uint32_t type = 0;
    if (GadgetIs(g, "ARTI")) type = UNIT_ARTILLERY;
    else if (GadgetIs(g, "INFA")) type = UNIT_INFANTRY;
    else if (GadgetIs(g, "KAVA")) type = UNIT_CAVALRY;
    if (type) {
      d->KasernenTyp = type;
      if (ArmyManagment(d)) next = kTown;
    } else if (GadgetIs(g, "SCHM")) {
      ArmyWeapons(d);
    } else if (GadgetIs(g, "TRAI")) {
      ArmyTraining(d);
    } else if (GadgetIs(g, "STAD") || GadgetIs(g, "EXIT") || GadgetIs(g, "GEHE")) {
      next = kTown;  // GEHE's own code has no screen: it leaves like STAD
    } else if (GadgetIs(g, "KART")) {
      SfxPlayer000(kMapSound, 0, 0);
      next = kMap;
    }
  } while (ScreenBaseStays(&next, kTown));
  DebugLog("KaserneScreen: verlassen mit %d\n", next);
  return leave(next);
}
