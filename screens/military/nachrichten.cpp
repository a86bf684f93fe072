// The news screen's battle reports. See nachrichten.h.
#include "nachrichten.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/display.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/map/map.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "schlacht.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"

namespace {

constexpr uint32_t kWorldX = 12800, kWorldY = 6400, kPartW = 80, kPartH = 40;

// Catalog texts of the reports.
enum : uint32_t {
  kMy = 683, kLord = 657, kNoFights = 933, kFight = 1036, kOf = 1037,
  kWeAttacked = 910, kAnd = 911, kLandEnemy = 912, kFightingWas = 913, kOurCasualties = 921,
  kOwnLandEnd = 924, kOwnWon = 925, kOwnLost = 926, kLookAtMap = 927, kWeWereAttacked = 928, kOnCoordinates = 929,
  kHeldEnd = 931, kLostEnd = 932, kACity = 1132, kOwnTownEnd = 1133, kOurCity = 1134, kCityAttackedBy = 1135,
  kDefendedEnd = 1136, kShipAttacked = 1144, kAndSunk = 1145, kNotSunk = 1146, kSeaAttacked = 1147,
  kOnSeaCoordinates = 1155, kOurShip = 1156, kPlundered = 1273, kOurShipSunk = 1274, kCaptured = 1275,
  kPirateSunk = 1278, kPirates = 1279, kLight = 915, kSevere = 914,
};

// Appends formatted text to a bounded buffer; what does not fit is cut.
struct Report {
  char* out;
  uint32_t size, len;
  ReportTextFn text;
  void Add(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    if (len + 1 >= size) return;
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(out + len, size - len, fmt, ap);
    va_end(ap);
    if (n > 0) len = len + (uint32_t)n < size ? len + (uint32_t)n : size - 1;
  }
  const char* T(uint32_t id) const {
    const char* s = text ? text(id) : nullptr;
    return s ? s : "";
  }
  void Text(uint32_t id) { Add(" %s", T(id)); }
  void Sentence(uint32_t id) { Add(" %s.", T(id)); }
  // The own side's losses on land: the grade, "and our casualties", how
  // many.
  void Losses(uint32_t depletion, uint32_t dead, uint32_t alive);
};

void Report::Losses(uint32_t depletion, uint32_t dead, uint32_t alive) {
  Text(LandGrade(depletion));
  Text(kOurCasualties);
  Sentence(CasualtyGrade(dead, alive));
}

bool IsSeaFight(uint32_t kind) { return kind == KRIEG_SEA_SUNK || kind == KRIEG_SEA_DAMAGED; }

}  // namespace

bool KriegsInTab(uint32_t kind, uint32_t tab) {
  switch (tab) {
    case NEWS_TAB_LAND: return kind <= KRIEG_LAND_UNDECIDED;
    case NEWS_TAB_TOWNS: return kind == KRIEG_TOWN_ATTACKER || kind == KRIEG_TOWN_DEFENDER;
    case NEWS_TAB_SEA: return kind >= KRIEG_SEA_SUNK && kind <= KRIEG_SEA_DEFENDED;
    default: return false;
  }
}

int16_t WrapReportIndex(int32_t index, uint32_t count) {
  if (count == 0) return 0;
  if (index < 0) return (int16_t)(count - 1);
  if ((uint32_t)index >= count) return 0;
  return (int16_t)index;
}

uint32_t LandGrade(uint32_t depletion) { return depletion < 4 ? 915 : depletion < 8 ? 916 : 914; }

uint32_t CasualtyGrade(uint32_t dead, uint32_t alive) {
  const uint64_t all = (uint64_t)dead + alive;
  const uint64_t p = all ? (uint64_t)dead * 100 / all : 0;
  if (p < 17) return 917;
  if (p < 34) return 918;
  if (p < 50) return 919;
  if (p < 67) return 920;
  if (p < 84) return 922;
  return 923;
}

uint32_t SeaGrade(uint32_t damage, uint32_t ship_class) {
  if (damage == ship_class) return 914;
  return 2ull * damage > ship_class ? 916 : 915;
}

uint32_t ShipDamage(uint32_t damage, uint32_t ship_class) {
  if (damage == ship_class) return 1160;
  if (2ull * damage > ship_class) return 1159;
  if (4ull * damage > ship_class) return 1158;
  return 1157;
}

void BuildBattleReport(const void* krig, uint32_t tab, int16_t* index, uint32_t own_id, ReportTextFn text,
                       ReportNameFn name, char* out, uint32_t size, KriegsEintrag* record, BattleReportInfo* info) {
  BattleReportInfo none{};
  if (!info) info = &none;
  *info = BattleReportInfo{};
  if (!out || size == 0) return;
  out[0] = 0;
  Report r{out, size, 0, text};
  const uint32_t total = KriegsCount(krig);
  for (uint32_t i = 0; i < total; ++i) {
    KriegsEintrag k{};
    if (GetKriegsEintrag(krig, i, &k) && KriegsInTab(k.kind, tab)) info->count++;
  }
  if (info->count == 0) {
    r.Add(krig && tab == NEWS_TAB_SEA ? " %s %s," : " %s %s,\n\n", r.T(kMy), r.T(kLord));
    r.Add("%s", r.T(kNoFights));
    return;
  }
  const int16_t at = WrapReportIndex(index ? *index : 0, info->count);
  if (index) *index = at;
  KriegsEintrag k{};
  for (uint32_t i = 0, seen = 0; i < total; ++i) {
    if (!GetKriegsEintrag(krig, i, &k) || !KriegsInTab(k.kind, tab)) continue;
    if (seen++ == (uint32_t)at) break;
  }
  info->found = 1;
  if (record) *record = k;
  const uint32_t x = k.target.x, y = k.target.y;
  const bool own = k.attacker.owner == own_id;
  char attacker[40] = {}, defender[40] = {};
  if (name) {
    name(k.attacker.owner, attacker);
    name(k.target.owner, defender);
    attacker[39] = defender[39] = 0;
  }
  const bool sea = IsSeaFight(k.kind);
  r.Add(sea ? "%s %u %s %u\n\n" : " %s %u %s %u\n\n", r.T(kFight), (unsigned)at + 1, r.T(kOf), info->count);
  r.Add(sea ? "%s %s," : " %s %s,", r.T(kMy), r.T(kLord));
  if (tab == NEWS_TAB_LAND || tab == NEWS_TAB_TOWNS) {
    const bool towns = tab == NEWS_TAB_TOWNS;
    if (own) {
      if (towns)
        r.Add(" %s X: %u %s Y: %u %s %s", r.T(kWeAttacked), x, r.T(kAnd), y, r.T(kACity), r.T(kFightingWas));
      else
        r.Add(" %s X: %u %s Y: %u %s %s %s", r.T(kWeAttacked), x, r.T(kAnd), y, r.T(kLandEnemy), defender,
              r.T(kFightingWas));
      r.Losses(k.depletionA, k.deadA, k.aliveA);
      r.Text(towns ? kOwnTownEnd : kOwnLandEnd);
      r.Text(k.kind == (towns ? KRIEG_TOWN_ATTACKER : KRIEG_LAND_ATTACKER) ? kOwnWon : kOwnLost);
    } else {
      if (towns)
        r.Add(" %s X:%u %s Y:%u %s %s %s", r.T(kOurCity), x, r.T(kAnd), y, r.T(kCityAttackedBy), attacker,
              r.T(kFightingWas));
      else
        r.Add(" %s %s %s X: %u %s Y: %u %s", r.T(kWeWereAttacked), attacker, r.T(kOnCoordinates), x, r.T(kAnd), y,
              r.T(kFightingWas));
      r.Losses(k.depletionD, k.deadD, k.aliveD);
      r.Text(kDefendedEnd);
      r.Text(!towns && k.kind == KRIEG_LAND_ATTACKER ? kLostEnd : kHeldEnd);
    }
    r.Text(kLookAtMap);
    info->picture = 1;
  } else if (sea) {
    if (own) {
      r.Add(" %s X: %u %s Y: %u %s %s", r.T(kSeaAttacked), x, r.T(kAnd), y, defender, r.T(kFightingWas));
      r.Sentence(SeaGrade(k.depletionA, k.classA));
      r.Text(kShipAttacked);
      r.Text(k.kind == KRIEG_SEA_SUNK ? kAndSunk : kNotSunk);
      r.Text(kOurShip);
      r.Text(ShipDamage(k.depletionA, k.classA));
    } else {
      r.Add(" %s %s %s X:%u %s Y:%u %s", r.T(kWeWereAttacked), attacker, r.T(kOnSeaCoordinates), x, r.T(kAnd), y,
            r.T(kFightingWas));
      r.Sentence(SeaGrade(k.depletionD, k.classD));
      r.Text(kOurShip);
      r.Sentence(ShipDamage(k.depletionD, k.classD));
    }
    r.Text(kLookAtMap);
    info->picture = 1;
  } else if (own) {  // pirates, met by an own ship's attack
    r.Add(" %s X:%u %s Y:%u %s %s.", r.T(kSeaAttacked), x, r.T(kAnd), y, defender, r.T(kPlundered));
    r.Text(k.kind == KRIEG_SEA_DEFENDED ? kOurShipSunk : kCaptured);
  } else {  // pirates attacked an own ship
    r.Add(" %s %s %s X:%u %s Y:%u %s", r.T(kWeWereAttacked), r.T(kPirates), r.T(kOnSeaCoordinates), x, r.T(kAnd), y,
          r.T(kFightingWas));
    r.Sentence(k.kind == KRIEG_SEA_DEFENDED ? kLight : kSevere);
    r.Text(k.kind == KRIEG_SEA_DEFENDED ? kPirateSunk : kOurShipSunk);
  }
}

void CentreBattleMap(uint32_t x, uint32_t y, uint32_t* view_x, uint32_t* view_y, uint32_t* part_x,
                     uint32_t* part_y) {
  const int64_t cx = (int64_t)(x % kWorldX) - (x % 2 ? 1 : 0);
  const int64_t cy = (int64_t)(y % kWorldY) - 1;
  const uint32_t wx = (uint32_t)((cx % kWorldX + kWorldX) % kWorldX);
  const uint32_t wy = (uint32_t)((cy % kWorldY + kWorldY) % kWorldY);
  if (view_x) *view_x = wx;
  if (view_y) *view_y = wy;
  if (part_x) *part_x = wx / kPartW;
  if (part_y) *part_y = wy / kPartH;
}

// ---- The screen ---------------------------------------------------------------

namespace {

constexpr uint32_t kPicture = 36, kLayoutMask = 519, kInfoText = 934, kTitlePen = 6;
constexpr uint8_t kCdTrack = 10;
// A damaged KRIG: its whole reports shown ("%s" their number), or none.
constexpr uint32_t kKrigPartText = 1688, kKrigUnreadableText = 1689;
constexpr uint32_t kCaptionPen = 7, kCaptionFlags = PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE;
// The report box: its ground, ink and the slider's pens. Parchment rather
// than the green of pen 11, which the report would be hard to read on.
constexpr uint32_t kBoxGround = 5, kBoxInk = 7, kKnob = 26, kTrack = 22, kEdgeLight = 25, kEdgeDark = 24;
// Where the small map shows (the frame on the map table of picture 36).
constexpr uint16_t kMapX = 102, kMapY = 238, kMapW = 160, kMapH = 168;
constexpr uint16_t kMapFlags = 22;
const uint32_t kTabLabels[3] = {909, 1131, 1142};
const char* const kTabGadgets[3] = {"BU00", "BU01", "BU02"};

const char* CatalogText(uint32_t id) { return GetCatalogStr(id); }
void PlayerName(uint32_t id, char* name) {
  name[0] = 0;
  GetPlayerName(id, name, 0);
}

void CloseBattleMap(NachrichtenScreenData* d) {
  if (!d->map) return;
  ExitPos(d->map);
  ExitKarte(d->map);
  LadeFigurenGfx(0);
  d->map = nullptr;
}

// The small map on the fight at (x, y): the same part is moved in place,
// another one loaded; a part that cannot be loaded leaves the area as it was.
void CentreMap(NachrichtenScreenData* d, uint32_t x, uint32_t y) {
  uint32_t vx = 0, vy = 0, px = 0, py = 0;
  CentreBattleMap(x, y, &vx, &vy, &px, &py);
  if (d->map && d->mapPartX == px && d->mapPartY == py) {
    d->map->ViewColumn = (int16_t)(vx % kPartW + kPartW);
    d->map->ViewRow = (int16_t)(vy % kPartH + kPartH);
    d->map->X = (int32_t)vx;
    d->map->Y = (int32_t)vy;
    SetPos(d->map, 0, 0);
    DebugLog("ShowBattles: Karte auf %u/%u verschoben\n", vx, vy);
    return;
  }
  CloseBattleMap(d);
  QoEMapInfo* map = LadeKarte(kMapFlags, (uint16_t)px, (uint16_t)py, ".\\Map");
  if (!map) {
    DebugLog("ShowBattles : Konnte Karte %u/%u nicht laden!\n", px, py);
    return;
  }
  if (!InitPos(map, (int32_t)vx, (int32_t)vy, kMapX, kMapY, kMapW, kMapH, kMapFlags)) {
    DebugLog("ShowBattles : Konnte Kartenansicht nicht \xf6" "ffnen!\n");
    ExitPos(map);
    ExitKarte(map);
    LadeFigurenGfx(0);
    return;
  }
  DebugLog("ShowBattles: Kartenteil %u/%u geladen\n", px, py);
  d->map = map;
  d->mapPartX = px;
  d->mapPartY = py;
}

void ClearMapArea() {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  SetAPen(rp, kBoxGround);
  RectFill(rp, kMapX, kMapY, kMapX + kMapW, kMapY + kMapH);
  ShowScreenRect(rp, kMapX, kMapY, kMapW + 1, kMapH + 1);
}

// The received KRIG chunk: 1 with *krig set (null when the pool has none);
// a damaged chunk whose records are whole up to a count past its end gives
// those records (*krig set) and damaged 1; 0 when nothing of it can be read
// (a damaged turn must not read as a quarter without fights).
int32_t LoadKrig(uint8_t** krig, bool* damaged, uint32_t* whole) {
  *krig = nullptr;
  const int32_t state = LoadChunkWholeRecords("KRIG", ReceivedPoolPath, krig, whole);
  *damaged = state == CHUNK_DAMAGED;
  if (*damaged) DebugLog("ShowBattles : Konnte KriegsChunk nicht \xf6" "ffnen !\n");
  return !*damaged || *krig ? 1 : 0;
}

// Scrolls the report box by a gadget of DO00, UP00, SL00; true when g was one.
bool ScrollReport(NachrichtenScreenData* d, const Gadget* g) {
  const bool drag = GadgetIs(g, "SL00"), up = GadgetIs(g, "UP00");
  if (!drag && !up && !GadgetIs(g, "DO00")) return false;
  if (!d->textReq) return true;
  MoveSlider(d->textReq, drag ? (uint32_t)GetMouseY() : up ? (uint32_t)SLIDER_UP : (uint32_t)SLIDER_DOWN);
  ScrollRequester(d->textReq, 0, 0);
  return true;
}

// The battle picture's boxes on the screen, its sounds through the mixer.
// A text too wide for its box in Times30 takes the next smaller font.
struct SchlachtScreen {
  TextFont* fonts[3];
  bool sounds;
};
const char* const kSchlachtFonts[3] = {"fonts\\Times30.fnt", "fonts\\Times24.fnt", "fonts\\XHelvetica13.fnt"};
void SchlachtScreenText(void* user, uint32_t pens, int32_t x, int32_t y, uint32_t w, uint32_t h, const char* text,
                        int32_t framed) {
  auto* screen = static_cast<SchlachtScreen*>(user);
  RastPort* rp = ScreenRastPort();
  TextFont* font = screen->fonts[0];
  const uint32_t len = text ? (uint32_t)std::strlen(text) : 0;
  for (uint32_t i = 0; rp && i < 3; ++i) {
    if (!screen->fonts[i]) continue;
    font = screen->fonts[i];
    SetFont(rp, font);
    if (TextLength(rp, text, len) + 8 <= w) break;
  }
  DrawSchlachtText(pens, x, y, w, h, font, text, framed);
}
void SchlachtScreenSound(void* user, uint32_t id, int32_t loop) {
  if (static_cast<SchlachtScreen*>(user)->sounds) SfxPlayer000(id, 0, loop ? 1 : 0);
}

}  // namespace

uint32_t ShowBattlesPrintText(QoERequester* box, uint32_t) {
  if (!box || !box->rp || !box->text) return 0;
  SetDrMd(box->rp, 0);
  SetAPen(box->rp, box->pens[1]);
  box->lines = PrintTextWrapped(box->rp, box->text, 2, 0, 65535, 65535, box->contentWidth) + 1;
  return box->lines;
}

int32_t InitNachrichtenScreen(NachrichtenScreenData* d) {
  RastPort* rp = ScreenRastPort();
  if (!rp || !d->layout) return 1;
  SetDrMd(rp, 0);
  SetFont(rp, d->fontTitle);
  const ScreenRecordList& texts = d->layout->types[LAYOUT_TEXTAREA];
  const TextArea* t = static_cast<const TextArea*>(texts.first);
  for (uint32_t i = 0; t && i < texts.count; ++i)
    if (t[i].text && t[i].textId != kTextTitleBar)
      PrintTextOutlined(rp, t[i].x1, t[i].y1, t[i].x2, t[i].y2, t[i].text, 0, kCaptionPen, kCaptionFlags);
  SetFont(rp, d->fontList);
  for (uint32_t i = 0; i < 3; ++i) {
    LayoutRect r{};
    if (GetLayoutRect(d->layout, i, &r))
      PrintTextOutlined(rp, r.x1, r.y1, r.x2, r.y2, GetCatalogStr(kTabLabels[i]), 0, kCaptionPen, kCaptionFlags);
  }
  SetFont(rp, d->fontTitle);
  return 1;
}

int32_t ShowBattles(NachrichtenScreenData* d, uint32_t tab) {
  if (!OrdersAllowed(ReadAccountState())) return 1;
  uint8_t* krig = nullptr;
  bool damaged = false;
  uint32_t whole = 0;
  const bool readable = LoadKrig(&krig, &damaged, &whole) != 0;
  char* text = static_cast<char*>(AllocVec(kReportTextSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!text) DebugLog("ShowBattles : Konnte Speicher nicht allokieren !\n");
  if (text && !d->current) {
    d->current = static_cast<KriegsEintrag*>(AllocVec(sizeof(KriegsEintrag), MEMF_PUBLIC | MEMF_CLEAR));
    if (!d->current) DebugLog("ShowBattles : Konnte Speicher f\xfcr Kriegsstruktur nicht allokieren !\n");
  }
  if (!text || !d->current) {
    FreeVec(text);
    if (krig) FreeChunk(krig);
    return 0;
  }
  d->tab = (uint16_t)tab;
  BattleReportInfo info{};
  KriegsEintrag fight{};
  if (readable)
    BuildBattleReport(krig, tab, &d->index, OwnPlayerPtr->PlayerId, CatalogText, PlayerName, text, kReportTextSize,
                      &fight, &info);
  else  // the letter says so instead of reading as a quarter without fights
    std::snprintf(text, kReportTextSize, "%s", GetCatalogStr(kKrigUnreadableText));
  if (krig) FreeChunk(krig);
  d->pictureAvailable = info.picture;
  if (info.found) *d->current = fight;
  int32_t ok = 1;
  if (d->textReq) FreeRequesterBox(d->textReq);
  d->textReq = nullptr;
  LayoutRect box{}, slider{};
  if (GetLayoutRect(d->layout, 4, &box) && box.x2 > box.x1 + 8 && box.y2 > box.y1) {
    const uint32_t w = box.x2 - box.x1 + 1u, h = box.y2 - box.y1 + 1u;
    d->textReq = InitRequesterTextBox(w - 4, d->fontList, text, box.x1, box.y1, w, h, kBoxGround, kBoxInk,
                                      ShowBattlesPrintText);
    if (!d->textReq) {
      DebugLog("ShowBattles : Konnte Requester nicht initalisieren!\n");
      ok = 0;
    } else if (GetLayoutRect(d->layout, 5, &slider) &&
               !InitSlider(d->textReq, slider.x2 - slider.x1 + 1u, slider.y2 - slider.y1 + 1u, kKnob, kTrack, kEdgeLight,
                           kEdgeDark, slider.x1, slider.y1)) {
      DebugLog("ShowBattles : Konnte Slider nicht initalisieren!\n");
      ok = 0;
    }
  }
  FreeVec(text);
  if (info.found) CentreMap(d, fight.target.x, fight.target.y);
  else {
    CloseBattleMap(d);
    ClearMapArea();
  }
  return ok;
}

void ShowSchlacht(NachrichtenScreenData* d) {
  if (!d->current || !d->pictureAvailable) return;
  const KriegsEintrag fight = *d->current;
  const bool own = fight.attacker.owner == OwnPlayerPtr->PlayerId;
  const uint32_t picture = SchlachtPicture(fight.kind, own);
  if (!picture) return;
  CloseBattleMap(d);
  WaitTransition();
  BitMap* saved = SaveBackground(0, 0, kGameAreaWidth, kGameAreaHeight);
  if (!saved) {
    DebugLog("ShowSchlacht: Konnte Pic nicht retten!\n");
    return;
  }
  CloseElmorPic(kPicture, 1);
  SchlachtScreen screen{{nullptr, nullptr, nullptr}, false};
  if (OpenElmorPic(".\\Data\\Path", picture, 0) == -1) {
    DebugLog("ShowSchlacht: Konnte Pic nicht laden!\n");
  } else {
    for (uint32_t i = 0; i < 3; ++i) screen.fonts[i] = OpenDiskFont(kSchlachtFonts[i]);
    if (!screen.fonts[0]) DebugLog("NachrichtenScreen: Konnte Elmor-Font nicht \xf6" "ffnen !\n");
    screen.sounds = ShowSchlachtLoadSfx() == 1;
    if (!screen.sounds) DebugLog("NachrichtenScreen: Konnte SoundSfx nicht \xf6" "ffnen !\n");
    if (screen.fonts[0]) {
      char names[2][40] = {};
      const char* own_name = OwnPlayerPtr->LordName;
      PlayerName(own ? fight.target.owner : fight.attacker.owner, names[own ? 1 : 0]);
      // The battle shows a lord's name to 39 characters.
      CopyIntoField(names[own ? 0 : 1], sizeof names[0], own_name);
      const SchlachtDrawer drawer{&screen, SchlachtScreenText, SchlachtScreenSound};
      SchlachtTimeline timeline{};
      StartSchlacht(&timeline, fight, own, names[0], names[1], CatalogText, &drawer);
      DebugLog("ShowSchlacht: Bild %u, Art %u\n", picture, fight.kind);
      for (;;) {
        const int32_t event = WaitEvent(WE_TICKS);
        if (event == WE_KEY_ESCAPE || WindowCloseRequested()) break;
        if (event == WE_TICK) SchlachtTick(&timeline, CatalogText, &drawer);
      }
    }
    if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->fontTitle);  // never left on a font closed here
    if (screen.sounds) CloseSchlachtSfx();
    for (TextFont* font : screen.fonts)
      if (font) CloseFont(font);
    WaitTransition();
    CloseElmorPic(picture, 1);
  }
  OpenElmorPic(".\\Data\\Path", kPicture, 1);
  RestoreBackground(saved, 0, 0, kGameAreaWidth, kGameAreaHeight);
  StartTheTransition();
}

namespace {

// A damaged KRIG is told as the screen opens: the received pool's name, and
// how many reports are shown (or that none can be).
void TellDamagedKrig(ScreenBase* base) {
  if (!OrdersAllowed(ReadAccountState())) return;
  uint8_t* krig = nullptr;
  uint32_t whole = 0;
  if (LoadChunkWholeRecords("KRIG", ReceivedPoolPath, &krig, &whole) != CHUNK_DAMAGED) {
    if (krig) FreeChunk(krig);
    return;
  }
  const bool part = krig != nullptr;
  if (krig) FreeChunk(krig);
  std::string detail = GetCatalogStr(part ? kKrigPartText : kKrigUnreadableText);
  const size_t at = detail.find("%s");
  if (part && at != std::string::npos) detail = detail.substr(0, at) + std::to_string(whole) + detail.substr(at + 2);
  ScreenTellDamagedFileText(base, ReceivedPoolPath, detail.c_str());
}

}  // namespace

int32_t NachrichtenScreen(int32_t) {
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  PlayCDTrack1(o.cd_device, o.cd_unit, kCdTrack, kCdTrack);
  ScreenBase base{};
  auto* d = static_cast<NachrichtenScreenData*>(AllocVec(sizeof(NachrichtenScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  auto leave = [&](int32_t next) {
    if (d) {
      if (RastPort* rp = ScreenRastPort(); rp && d->fontTitle) SetFont(rp, d->fontTitle);
      FreeVec(d->current);
      if (d->textReq) FreeRequesterBox(d->textReq);
      CloseBattleMap(d);
      if (d->fontList) CloseFont(d->fontList);
    }
    FreeVec(d);
    CloseScreenBase(&base, next);
    StopCD(o.cd_device, o.cd_unit);
    return next;
  };
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "NachrichtenScreen: Konnte Pic nicht laden!\n");
    return leave(-1);
  }
  if (!d) {
    ScreenStartFailed(&base, SCREEN_STEP_MEMORY, "NachrichtenScreen: Kein Speicher f\xfcr lokale Daten!\n");
    return leave(-1);
  }
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt")) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "NachrichtenScreen: Konnte Font nicht laden!\n");
    return leave(-1);
  }
  d->fontTitle = base.font;
  if (!(d->fontList = OpenDiskFont("fonts\\XHelvetica11.fnt"))) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "NachrichtenScreen: Konnte Elmor-Font nicht \xf6" "ffnen !");
    return leave(-1);
  }
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Nachrichten.dat", kLayoutMask)) {
    ScreenStartFailed(&base, SCREEN_STEP_LAYOUT, "NachrichtenScreen: Kann TitelbarDaten nicht laden!\n");
    return leave(-1);
  }
  d->layout = base.region;
  InitNachrichtenScreen(d);
  ShowScreenBase(&base);
  TellDamagedKrig(&base);
  int32_t next = -1;
  do {
    int32_t event;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (event == WE_KEY_ESCAPE) {
      next = 2;
      break;
    }
    if (!g) continue;
    bool tab = false;
    for (uint32_t i = 0; i < 3 && !tab; ++i)
      if (GadgetIs(g, kTabGadgets[i])) {
        tab = true;
        ShowBattles(d, i);
      }
    if (tab || ScrollReport(d, g)) continue;
    if (GadgetIs(g, "FORW") || GadgetIs(g, "BACK")) {
      d->index = (int16_t)(d->index + (GadgetIs(g, "FORW") ? 1 : -1));
      ShowBattles(d, d->tab);
    } else if (GadgetIs(g, "AUGE")) {
      if (d->pictureAvailable) ShowSchlacht(d);
    } else if (GadgetIs(g, "INFO")) {
      TextBox(GetCatalogStr(kInfoText));
    } else if (GadgetIs(g, "EXIT")) {
      d->quit = 1;
      next = 2;
    }
  } while (ScreenBaseStays(&next, 2));
  return leave(next);
}
