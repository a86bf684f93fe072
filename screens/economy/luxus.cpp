// The luxury goods screen. See luxus.h; its places in docs/luxury.md.
#include "luxus.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/numberentry.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"

namespace {

const char kIn[] = ".\\Data\\Pop3In/GameChunk.qoe";
const char kGfx[] = ".\\Data\\Path";
const char kSfx[] = ".\\Data\\SfxPath";
const char kLayout[] = ".\\Data\\ScreenDat/Luxus.dat";
const char kWarenChunk[] = ".\\Data\\WarenChunk.qoe";
constexpr int32_t kTownView = 39;
constexpr uint32_t kPicture = 919, kSwitchOff = 143, kSwitchOn = 145, kMarkerGfx = 354, kFanfare = 165;
constexpr uint32_t kLayoutMask = 1591;
constexpr uint32_t kTitlePen = 6, kPenBack = 6, kPenText = 7, kPenInk = 7, kBoxPen = 7;
constexpr uint32_t kHelpText = 1318, kWriteFailedText = 127;  // "The data could not be saved."
constexpr uint32_t kDamagedAllocationsText = 1687;  // a damaged Luxus.dat: "%s" the entries read
constexpr uint32_t kTextFlagsElmor = PTO_RIGHT | PTO_BASELINE | PTO_VCENTRE;  // 38
constexpr uint32_t kTextFlagsPlain = PTO_BASELINE | PTO_VCENTRE;              // 36
constexpr uint32_t kTextFlagsCentre = PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE;  // 37
constexpr uint32_t kValueFlags = PTO_CENTRE | PTO_BASELINE | PTO_FILL | PTO_VCENTRE;  // 45
constexpr int32_t kPictureX = 16, kPictureY = 16, kPictureW = 160, kPictureH = 120;
constexpr int32_t kMarkerW = 12, kMarkerH = 17;
constexpr uint32_t kSeparatorPens[3] = {25, 29, 30};
// The layout's rectangles (type 9, four values each) and points (type 10).
enum : uint32_t { RECT_LIST = 0, RECT_SLIDER = 1, RECT_SWITCH = 2, RECT_SCALE = 3, RECT_ALLOCATION = 6 };
// Value records: 0 the town's inhabitants, 1..3 the balances of the scales' rows.
enum : uint32_t { VALUE_INHABITANTS = 0, VALUE_BALANCE = 1 };
constexpr uint32_t kEntries = LUXUS_FILE_ENTRIES;
const uint32_t kRowEntry[3] = {1, 0, 2};

uint32_t Abs32(int32_t v) { return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v); }

void OkBox(const char* text) { ChiefMessage(66, 168, 180, 0, 0, 0, 0, text, kBoxPen); }

bool Rect(const ScreenRegion* r, uint32_t k, LayoutRect* out) {
  return r && GetLayoutRect(r, k, out) && out->x2 >= out->x1 && out->y2 >= out->y1;
}

// The three columns (in list coordinates) between the separators.
struct Columns {
  int32_t sep[3];
  int32_t width;
};
Columns ListColumns(const LuxusScreenData* d) {
  Columns c{{186, 256, 336}, 404};
  for (uint32_t i = 0; i < 3; ++i)
    if (const LayoutPoint* p = d->region ? GetLayoutPoint(d->region, i) : nullptr) c.sep[i] = p->x;
  LayoutRect l{};
  if (Rect(d->region, RECT_LIST, &l)) c.width = l.x2 - l.x1 + 1;
  return c;
}

// Text cut to its column so a large number never runs into a neighbour.
void PrintFitted(RastPort* rp, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const char* text, uint32_t fill,
                 uint32_t pen, uint32_t flags) {
  char buf[kRequesterLineSize];
  std::snprintf(buf, sizeof buf, "%s", text ? text : "");
  uint32_t len = static_cast<uint32_t>(std::strlen(buf));
  const uint32_t width = x2 >= x1 ? static_cast<uint32_t>(x2 - x1 + 1) : 0;
  while (len && TextLength(rp, buf, len) > width) buf[--len] = 0;
  PrintTextOutlined(rp, x1, y1, x2, y2, buf, fill, pen, flags);
}

// One line of the list in the given pens: the name, the separators, the
// stock, target/price and the allocation (limited to the stock first).
void DrawLine(QoERequester* req, LuxusScreenData* d, uint32_t e, uint32_t back, uint32_t fore) {
  if (!req || e >= kEntries) return;
  const int32_t top = static_cast<int32_t>(e * req->lineHeight), bottom = top + static_cast<int32_t>(req->lineHeight) - 1;
  const Columns c = ListColumns(d);
  SetAPen(req->rp, back);
  RectFill(req->rp, 0, top, static_cast<int32_t>(req->contentWidth) - 1, bottom);
  if (req->font) SetFont(req->rp, req->font);
  PrintFitted(req->rp, 2, top, c.sep[0] - 2, bottom, req->text + static_cast<size_t>(e) * kRequesterLineSize, back,
              fore, PTO_TOP);
  for (uint32_t s = 0; s < 3; ++s)
    for (int32_t k = 0; k < 3; ++k) {
      SetAPen(req->rp, kSeparatorPens[k]);
      RectFill(req->rp, c.sep[s] + k, top, c.sep[s] + k, bottom);
    }
  const uint32_t stock = LuxusStock(d, e);
  if (d->alloc[e] > stock) d->alloc[e] = stock;
  const uint32_t target = LuxusTarget(d, e);
  char text[3][32];
  std::snprintf(text[0], sizeof text[0], "%u", stock);
  std::snprintf(text[1], sizeof text[1], "%u/%d", target, static_cast<int32_t>(LuxusPrice(e, target, d->balance)));
  std::snprintf(text[2], sizeof text[2], "%u", d->alloc[e]);
  const int32_t x1[3] = {c.sep[0] + 4, c.sep[1] + 4, c.sep[2] + 4};
  const int32_t x2[3] = {c.sep[1] - 2, c.sep[2] - 2, c.width - 2};
  for (uint32_t k = 0; k < 3; ++k) PrintFitted(req->rp, x1[k], top, x2[k], bottom, text[k], back, fore, kTextFlagsCentre);
}

void DrawAll(QoERequester* req, void* data) {
  for (uint32_t e = 0; e < req->lines; ++e) {
    const bool sel = e == req->selected;
    DrawLine(req, static_cast<LuxusScreenData*>(data), e, sel ? kPenText : kPenBack, sel ? kPenBack : kPenText);
  }
}
void Mark(QoERequester* req, void* data, uint32_t e) { DrawLine(req, static_cast<LuxusScreenData*>(data), e, kPenText, kPenBack); }
void Unmark(QoERequester* req, void* data, uint32_t e) { DrawLine(req, static_cast<LuxusScreenData*>(data), e, kPenBack, kPenText); }

// Entry e's line drawn again (selected or not) and shown.
void RedrawLine(LuxusScreenData* d, uint32_t e) {
  if (!d->req || e >= kEntries) return;
  const bool sel = static_cast<int32_t>(e) == d->selection;
  DrawLine(d->req, d, e, sel ? kPenText : kPenBack, sel ? kPenBack : kPenText);
  ScrollRequester(d->req, 0, 0);
}

void PrintValue(const ScreenRegion* r, uint32_t k, const char* text) {
  const ValueField* v = r ? GetLayoutValue(r, k) : nullptr;
  RastPort* rp = ScreenRastPort();
  if (!v || !rp) return;
  PrintFitted(rp, v->x1, v->y1, v->x2, v->y2, text, v->fillPen, v->textPen, v->flags | PTO_FILL);
  ShowScreenRect(rp, v->x1, v->y1, v->x2 - v->x1 + 1, v->y2 - v->y1 + 1);
}

// The selected entry's allocation in the typed entry's box.
void ShowAllocation(LuxusScreenData* d) {
  LayoutRect r{};
  RastPort* rp = ScreenRastPort();
  if (!rp || !Rect(d->region, RECT_ALLOCATION, &r)) return;
  char text[16] = "";
  if (d->selection >= 0) std::snprintf(text, sizeof text, "%u", d->alloc[d->selection]);
  SetFont(rp, d->helvetica);
  PrintFitted(rp, r.x1, r.y1, r.x2, r.y2, text, 22, kPenInk, kValueFlags);
  ShowScreenRect(rp, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
}

// The goods picture at (16, 16): the type's animation, else its picture.
void ShowGoods(LuxusScreenData* d, uint32_t type) {
  d->movie = d->movieBase ? AnimateWare(d->movieBase, d->movie, static_cast<uint16_t>(type), kPictureX, kPictureY) : nullptr;
  if (d->movie) return;
  const WarenZeile* row = GetWarenZeile(type);
  const uint32_t pic = row ? static_cast<uint32_t>(row->picture) : 0;
  if (!pic) return;
  SetElmorPalette(kGfx, pic, 0, 256, 0);
  BlitObjekt(nullptr, pic, kPictureX, kPictureY, kPictureW, kPictureH);
}

// The marker of scale row k at its place; the old marker's area put back.
void DrawScale(LuxusScreenData* d, uint32_t row) {
  LayoutRect bar{};
  RastPort* rp = ScreenRastPort();
  if (row > 2 || !Rect(d->region, RECT_SCALE + row, &bar)) return;
  const int32_t w = bar.x2 - bar.x1;
  const int32_t p = LuxusMarkerOffset(d, kRowEntry[row], w);
  LayoutRect all{};
  if (rp && d->scalesSaved && d->markerY[row] && Rect(d->region, RECT_SCALE, &all)) {
    // The saved screen behind the scales starts at scale 0's bar, (x1 - 4, y - 5).
    const int32_t sx = d->markerX[row] - (all.x1 - 4), sy = d->markerY[row] - (all.y1 - 5);
    BltBitMapRastPort(d->scalesSaved, sx, sy, rp, d->markerX[row], d->markerY[row], kMarkerW, kMarkerH);
    ShowScreenRect(rp, d->markerX[row], d->markerY[row], kMarkerW, kMarkerH);
  }
  d->markerX[row] = bar.x1 - 4 + p;
  d->markerY[row] = bar.y1 - 5;
  BlitObjektMask(nullptr, kMarkerGfx, 0, d->markerX[row], d->markerY[row], kMarkerW, kMarkerH);
}

void DrawScales(LuxusScreenData* d) {
  for (uint32_t row = 0; row < 3; ++row) DrawScale(d, row);
}

// The scale of row k follows the mouse's x.
void DragScale(LuxusScreenData* d, uint32_t row) {
  LayoutRect bar{};
  if (row > 2 || !Rect(d->region, RECT_SCALE + row, &bar)) return;
  const uint32_t e = kRowEntry[row];
  const int32_t w = bar.x2 - bar.x1;
  const int32_t m = GetMouseX();
  DebugLog("offset %u\n", static_cast<uint32_t>(m - bar.x1 < 0 ? 0 : m - bar.x1));
  int32_t beyond = 0;
  const uint32_t a = LuxusAllocationAt(d, e, m - bar.x1, w, &beyond);
  DebugLog("offset 2 %u SetLagerAnzahl %u\n", static_cast<uint32_t>(LuxusMarkerOffset(d, e, w)), a);
  d->alloc[e] = a;
  DrawScales(d);  // the unit may change with an allocation
  RedrawLine(d, e);
  if (static_cast<int32_t>(e) == d->selection) ShowAllocation(d);
  DebugLog("offset 2 %u\n", static_cast<uint32_t>(LuxusMarkerOffset(d, e, w)));
  if (beyond) {
    OkBox(GetCatalogStr(1821));  // not that many raw materials
    // The box took the button's release: the scale is no longer held.
    d->region->pressed = nullptr;
    d->region->buttonUp = 1;
  }
}

void DrawSwitch(LuxusScreenData* d) {
  LayoutRect r{};
  if (Rect(d->region, RECT_SWITCH, &r))
    BlitObjekt(nullptr, d->marketSwitch ? kSwitchOn : kSwitchOff, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
}

// The layout's fixed texts: area 0 in ElmorC1 (right aligned), 1..3 plain,
// the rest centred.
void DrawTexts(LuxusScreenData* d) {
  RastPort* rp = ScreenRastPort();
  const ScreenRecordList& areas = d->region->types[LAYOUT_AREA];
  const TextArea* a = static_cast<const TextArea*>(areas.first);
  if (!rp || !a) return;
  SetDrMd(rp, 0);
  for (uint32_t i = 0; i < areas.count; ++i) {
    if (!a[i].text) continue;
    SetFont(rp, i == 0 ? d->elmor : d->helvetica);
    const uint32_t flags = i == 0 ? kTextFlagsElmor : i <= 3 ? kTextFlagsPlain : kTextFlagsCentre;
    PrintTextOutlined(rp, a[i].x1, a[i].y1, a[i].x2, a[i].y2, a[i].text, 0, kPenInk, flags);
  }
  SetFont(rp, d->helvetica);
}

}  // namespace

// ---- the rules -----------------------------------------------------------------------

uint32_t LuxusStock(const LuxusScreenData* d, uint32_t entry) {
  const uint32_t type = LuxusEntryType(entry);
  if (!d->goods || !type) return 0;
  uint32_t i = 0;
  for (ListNode* n = d->goods->first; n && i < d->goods->count; n = n->next, ++i) {
    const auto* w = reinterpret_cast<const WarenListenEntry*>(n);
    if (w->kind == WARE_LAGER && w->goods == type) return w->quantity;
  }
  return 0;
}

uint32_t LuxusTarget(const LuxusScreenData* d, uint32_t entry) {
  return GetLuxusDemand(entry, d->balance, d->resources, d->inhabitants);
}

uint32_t LuxusPrice(uint32_t entry, uint32_t target, const int32_t balance[3]) {
  if (entry < 3 || entry >= kEntries) return 0;
  uint32_t base = 100;
  if (target > 10000) base += 80;
  if (target > 5000) base += 40;
  if (target > 1000) base += 20;
  if (target > 100) base += 10;
  return CalcWarePreis(LuxusEntryType(entry), base, balance[0], balance[1], balance[2]);
}

void LimitLuxusAllocations(LuxusScreenData* d) {
  for (uint32_t e = 0; e < kEntries; ++e) {
    const uint32_t stock = LuxusStock(d, e);
    if (d->alloc[e] > stock) d->alloc[e] = stock;
  }
}

int32_t LuxusStep(LuxusScreenData* d, int32_t delta) {
  if (d->selection < 0 || d->selection >= static_cast<int32_t>(kEntries)) return 0;
  uint32_t& a = d->alloc[d->selection];
  if (delta < 0 && a > 0) --a;
  if (delta > 0 && a < LuxusStock(d, static_cast<uint32_t>(d->selection))) ++a;
  return 1;
}

int32_t LuxusTyped(LuxusScreenData* d, int32_t value) {
  if (d->selection < 0 || d->selection >= static_cast<int32_t>(kEntries)) return 0;
  const uint32_t stock = LuxusStock(d, static_cast<uint32_t>(d->selection));
  const uint32_t v = value < 0 ? 0u : static_cast<uint32_t>(value);
  d->alloc[d->selection] = v > stock ? stock : v;
  return 1;
}

void ToggleLuxusSwitch(LuxusScreenData* d) { d->marketSwitch = d->marketSwitch ? 0u : 0xFFFFFFFFu; }

uint32_t LuxusScaleEntry(uint32_t row) { return row < 3 ? kRowEntry[row] : 0; }

uint32_t LuxusScaleUnit(const LuxusScreenData* d) {
  uint32_t s = 0;
  for (uint32_t e = 0; e < 3; ++e) {
    const uint32_t b = Abs32(d->balance[e]), a = d->alloc[e] / 10;
    if (b > s) s = b;
    if (a > s) s = a;
  }
  return s;
}

int32_t LuxusMarkerOffset(const LuxusScreenData* d, uint32_t entry, int32_t w) {
  if (entry > 2 || w <= 0) return w > 0 ? w / 2 : 0;
  const int64_t s = LuxusScaleUnit(d);
  if (s == 0) return w / 2;
  const int64_t b = d->balance[entry], a = d->alloc[entry];
  // In tenths: u = 10 t + A for a shortage, 10 t - A for a surplus.
  const int64_t u = b < 0 ? 10 * (s + b) + a : 10 * (s + b) - a;
  int64_t p = w * u / (20 * s);
  p = p < 0 ? 0 : p > w ? w : p;
  return static_cast<int32_t>(p);
}

uint32_t LuxusAllocationAt(const LuxusScreenData* d, uint32_t entry, int32_t p, int32_t w, int32_t* beyond) {
  if (beyond) *beyond = 0;
  if (entry > 2) return 0;
  const int64_t s = LuxusScaleUnit(d);
  if (s == 0 || w <= 0) return d->alloc[entry];
  const int64_t pos = p < 0 ? 0 : p > w ? w : p;
  // The tenths the offset stands for (rounded up, so the marker drawn for
  // the result stands on the offset or one pixel before it).
  const int64_t u = (pos * 20 * s + w - 1) / w;
  const int64_t t10 = 10 * (s + d->balance[entry]);
  int64_t a = d->balance[entry] < 0 ? u - t10 : t10 - u;
  if (a < 0) a = 0;
  const uint32_t stock = LuxusStock(d, entry);
  if (a > stock) {
    a = stock;
    if (beyond) *beyond = 1;
  }
  return static_cast<uint32_t>(a);
}

// ---- data and sounds ------------------------------------------------------------------

int32_t LoadLuxusScreenData(LuxusScreenData* d) {
  const int32_t state = ReadLuxusDatenTeile(d->alloc, &d->luxusWhole);
  d->luxusDamaged = state < 0;
  return state > 0;
}

int32_t SaveLuxusScreenData(LuxusScreenData* d) {
  if (!OrdersAllowed(d->accountState)) return 1;
  LimitLuxusAllocations(d);
  const int32_t ok = SaveLuxusDaten(d->alloc, d->marketSwitch);
  DebugLog(ok ? "SaveLuxusScreenData: gespeichert, Schalter %u\n" : "SaveLuxusScreenData: Fehler, Schalter %u\n",
           d->marketSwitch ? 1u : 0u);
  return ok;
}

int32_t LoadLuxusScreenSfx() {
  if (OpenElmorSfx(kSfx, kFanfare) == 1) return 1;
  DebugLog("ShowSchlachtLoadSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
  return 0;
}

void CloseLuxusScreenSfx() { CloseElmorSfx000(kFanfare); }

uint32_t CreateLuxusReqListBuffer(LuxusScreenData* d) {
  d->lines = static_cast<char*>(AllocVec(kEntries * kRequesterLineSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->lines) {
    DebugLog("CreateWarenReqListBuffer: Konnte Speicher f\xFC" "r ReqBuffer nicht allokieren !\n");
    return 0;
  }
  for (uint32_t e = 0; e < kEntries; ++e)
    std::snprintf(d->lines + static_cast<size_t>(e) * kRequesterLineSize, kRequesterLineSize, "%s",
                  GetWarenName(LuxusEntryType(e)));
  LayoutRect l{}, s{};
  if (!Rect(d->region, RECT_LIST, &l) || !Rect(d->region, RECT_SLIDER, &s)) {
    DebugLog("InitDokRequester: Konnte Dokument-Requester nicht \xF6" "ffnen !\n");
    return 0;
  }
  const uint32_t w = l.x2 - l.x1 + 1u, h = l.y2 - l.y1 + 1u;
  d->req = InitOwnRequesterBox(DrawAll, d, w, kEntries, d->helvetica, d->lines, l.x1, l.y1, w, h, kPenBack, kPenText);
  if (!d->req || !InitSlider(d->req, s.x2 - s.x1 + 1u, s.y2 - s.y1 + 1u, 26, 22, 25, 24, s.x1, s.y1)) {
    DebugLog("InitDokRequester: Konnte Dokument-Requester nicht \xF6" "ffnen !\n");
    return 0;
  }
  d->selection = -1;
  ShowAllocation(d);
  return kEntries;
}

void FreeLuxusScreenData(LuxusScreenData* d) {
  if (!d) return;
  if (d->scalesSaved) FreeBitMap(d->scalesSaved);
  d->scalesSaved = nullptr;
  DeleteList(d->goods, 0);
  d->goods = nullptr;
  if (d->ware) FreeChunk(d->ware);
  d->ware = nullptr;
  if (d->movieBase && d->movie) StopMovie(d->movieBase, d->movie);
  d->movie = nullptr;
  FreeMovieBase(d->movieBase);
  d->movieBase = nullptr;
  FreeRequesterBox(d->req);
  d->req = nullptr;
  FreeVec(d->lines);
  d->lines = nullptr;
  if (d->region) {
    FreeMouseGadgetImages(d->region);
    FreeScreenRegion(d->region);
  }
  d->region = nullptr;
  if (d->land) FreeChunk(d->land);
  d->land = nullptr;
  FreeVec(d->resources);
  d->resources = nullptr;
}

int32_t LuxusScreenInitAllThings(LuxusScreenData* d) {
  int32_t ok = 1;
  d->accountState = ReadAccountState();
  LoadLuxusScreenData(d);
  d->region = GetScreenRegion(kLayout, kLayoutMask);
  if (!d->region) {
    DebugLog("LuxusScreenInitAllThings: Kann TitelbarDaten nicht laden!\n");
    return 0;
  }
  if (CheckPrefs(PREFS_MARKET_SWITCH, 0, 0) == 1) d->marketSwitch = 0xFFFFFFFFu;
  DrawSwitch(d);
  DrawTexts(d);
  if (OrdersAllowed(d->accountState) && IsChunkInFile(ChunkBit(CHUNK_LAND), kIn) == 1) {
    d->land = LoadChunk2Mem("LAND", kIn);
    if (!d->land || ChunkLength(d->land) + sizeof(ChunkHeader) < 62) {
      DebugLog("LuxusScreenInitAllThings: Konnte KornChunk nicht \xF6" "ffnen !");
      ok = 0;
    } else {
      d->inhabitants = ChunkGet32(d->land, 14);
      d->balance[1] = static_cast<int32_t>(ChunkGet32(d->land, 50));
      d->balance[0] = static_cast<int32_t>(ChunkGet32(d->land, 54));
      d->balance[2] = static_cast<int32_t>(ChunkGet32(d->land, 58));
    }
  }
  char text[24];
  for (uint32_t row = 0; row < 3; ++row) {
    std::snprintf(text, sizeof text, "%ld", static_cast<long>(d->balance[kRowEntry[row]]));
    PrintValue(d->region, VALUE_BALANCE + row, text);
  }
  if (OrdersAllowed(d->accountState)) {
    d->resources = GetLuxusResources();
    if (!d->resources) {
      DebugLog("LuxusScreenInitAllThings: Konnte LuxusRessourcen nicht bestimmen...\n");
      ok = 0;
    }
  }
  d->goods = CreateList(LIST_GOODS);
  if (!d->goods) {
    DebugLog("LuxusScreenInitAllThings: kein Speicher f\xFC" "r ListHeader vorhanden...\n");
    ok = 0;
  } else if (OrdersAllowed(d->accountState) && GeFileSize(kWarenChunk) > 0) {
    d->ware = LoadChunk2Mem("WARE", kWarenChunk);
    if (!d->ware || !ScanWare2List(d->goods, d->ware)) {
      DebugLog("LuxusScreenInitAllThings: Ware konnt nicht in eine Liste eingescannt werden...\n");
      ok = 0;
    }
  }
  if (OrdersAllowed(d->accountState)) {
    if (st_TOWN* town = GetActiveTown(OwnPlayerPtr->ActiveTown)) {
      d->townInhabitants = town->population;
      FreeVec(town);
    } else {
      DebugLog("LuxusScreenInitAllThings: Konnte Stadt nicht laden!\n");
      ok = 0;
    }
  }
  if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->elmor);
  std::snprintf(text, sizeof text, "%u", d->townInhabitants);
  PrintValue(d->region, VALUE_INHABITANTS, text);
  if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->helvetica);
  LimitLuxusAllocations(d);
  if (!CreateLuxusReqListBuffer(d)) {
    DebugLog("LuxusScreenInitAllThings: Konnte Requester nicht anlegen!\n");
    return 0;
  }
  if (!ok) return 0;
  d->movieBase = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
  if (!d->movieBase) {
    DebugLog("LuxusScreenInitAllThings: AllocMovieBase fehlgeschlagen...\n");
    return 0;
  }
  LayoutRect first{}, last{};
  if (Rect(d->region, RECT_SCALE, &first) && Rect(d->region, RECT_SCALE + 2, &last)) {
    const int32_t x = first.x1 - 4, y = first.y1 - 5;
    const uint32_t w = static_cast<uint32_t>(last.x2 - first.x1 + 9 + kMarkerW), h = static_cast<uint32_t>(last.y1 - first.y1 + kMarkerH);
    d->scalesSaved = SaveBackground(x, y, w, h);
  }
  if (!d->scalesSaved) {
    DebugLog("LuxusScreenInitAllThings: Kann Hintergrund nicht retten !\n");
    return 0;
  }
  DrawScales(d);
  return 1;
}

// ---- the screen ------------------------------------------------------------------------

int32_t LuxusScreen(int32_t) {
  PlayScreenCdTrack(10);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "LuxusScreen: Konnte Pic nicht \xF6" "ffnen!\n");
    CloseScreenBase(&base, -1);
    return -1;
  }
  auto* d = static_cast<LuxusScreenData*>(AllocVec(sizeof(LuxusScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  bool sfx = false;
  auto release = [&](int32_t next) {
    if (d) {
      if (sfx) {
        StopSfx(kFanfare);
        CloseLuxusScreenSfx();
      }
      FreeLuxusScreenData(d);
      CloseFont(d->helvetica);
    }
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return release(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "LuxusScreen: Kein Speicher f\xFC" "r lokale Daten!\n");
  d->selection = -1;
  if (!OpenScreenFont(&base, ".\\Fonts\\ElmorC1.fnt")) return fail(SCREEN_STEP_FONT, "LuxusScreen: Konnte Font nicht laden!\n");
  d->elmor = base.font;
  d->helvetica = OpenDiskFont(".\\Fonts\\XHelvetica11.fnt");
  if (!d->helvetica) return fail(SCREEN_STEP_FONT, "LuxusScreen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  if (!LuxusScreenInitAllThings(d)) return fail(SCREEN_STEP_DATA, "LuxusScreen: Konnte InitAllThings nicht ausf\xFChren !");
  sfx = LoadLuxusScreenSfx() == 1;
  if (!sfx) return fail(SCREEN_STEP_SOUNDS, "Luxuscreen: Konnte SoundSfx nicht \xF6" "ffnen !\n");
  base.region = d->region;  // the title bar and the gadgets; the record frees the layout
  if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->helvetica);
  SfxPlayer000(kFanfare, 0, 1);
  ShowScreenBase(&base);
  if (d->luxusDamaged) {
    // Its whole entries are shown; OK saves them as shown, EXIT leaves the file.
    const std::string frame = GetCatalogStr(kDamagedAllocationsText);
    const size_t at = frame.find("%s");
    const std::string n = std::to_string(d->luxusWhole);
    ScreenTellDamagedFileText(&base, ".\\Data\\Luxus.dat",
                              (at == std::string::npos ? frame : frame.substr(0, at) + n + frame.substr(at + 2)).c_str());
  }

  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (!g) continue;
    if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->helvetica);
    if (GadgetIs(g, "CH00")) {
      const uint32_t e = SelectOwnRequesterEntry(d->req, Mark, Unmark, d, 0, GetMouseY());
      if (e != kNoEntry && e < kEntries) {
        d->selection = static_cast<int16_t>(e);
        ShowGoods(d, LuxusEntryType(e));
        ShowAllocation(d);
      }
    } else if (GadgetIs(g, "UP00") || GadgetIs(g, "DO00") || GadgetIs(g, "SL00")) {
      MoveSlider(d->req, GadgetIs(g, "SL00")   ? static_cast<uint32_t>(GetMouseY())
                         : GadgetIs(g, "UP00") ? static_cast<uint32_t>(SLIDER_UP)
                                               : static_cast<uint32_t>(SLIDER_DOWN));
      ScrollRequester(d->req, 0, 0);
    } else if (GadgetIs(g, "LE00") || GadgetIs(g, "RE00")) {
      if (LuxusStep(d, GadgetIs(g, "RE00") ? 1 : -1)) {
        RedrawLine(d, static_cast<uint32_t>(d->selection));
        ShowAllocation(d);
        if (d->selection < 3) DrawScales(d);
      }
    } else if (GadgetIs(g, "BOX1")) {
      if (d->selection >= 0) {
        const int32_t typed = TypedNumberEntry(d->region, g, static_cast<int32_t>(d->alloc[d->selection]), 22, 7);
        LuxusTyped(d, typed);
        DebugLog("LuxusScreen: Eingabe %u = %d -> %u\n", d->selection, typed, d->alloc[d->selection]);
        RedrawLine(d, static_cast<uint32_t>(d->selection));
        ShowAllocation(d);
        if (d->selection < 3) DrawScales(d);
      }
    } else if (GadgetIs(g, "ROH0") || GadgetIs(g, "ROH1") || GadgetIs(g, "ROH2")) {
      DragScale(d, static_cast<uint32_t>(g->id[3] - '0'));
    } else if (GadgetIs(g, "SX00")) {
      ToggleLuxusSwitch(d);
      DrawSwitch(d);
      DebugLog("LuxusScreen: Schalter %u\n", d->marketSwitch ? 1u : 0u);
    } else if (GadgetIs(g, "IN00")) {
      if (d->movie) SetMovieMode(d->movie, 1);
      TextBox(GetCatalogStr(kHelpText));
      if (d->movie) SetMovieMode(d->movie, 0);
    } else if (GadgetIs(g, "OKOK")) {
      if (SaveLuxusScreenData(d)) next = kTownView;
      else OkBox(GetCatalogStr(kWriteFailedText));
    } else if (GadgetIs(g, "EXIT")) {
      next = kTownView;
    }
  } while (ScreenBaseStays(&next, kTownView));
  base.region = nullptr;  // freed with the record
  return release(next);
}
