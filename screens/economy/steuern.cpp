// The taxes screen. See steuern.h; its layouts in docs/layouts.md ("The
// taxes screen's layouts").
#include "steuern.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textentry.h"
#include "routinen/system/timer.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"

namespace {

const char kIn[] = ".\\Data\\POP3In\\GameChunk.qoe";
const char kOut[] = ".\\Data\\POP3Out\\GameChunk.qoe";
const char kBuildings[] = ".\\Data\\Gebaeude.dat";
const char kGfx[] = ".\\Data\\Path";
const char kSfx[] = ".\\Data\\SfxPath";
constexpr uint32_t kPicture = 42, kStatueGfx = 350, kKnobGfx = 354, kBaseBoxGfx = 349;
const uint32_t kGraphics[] = {kKnobGfx, kStatueGfx, kBaseBoxGfx};
const uint32_t kSounds[] = {17, 18, 19, kRainSound};
constexpr int32_t kStatueX = 270, kStatueY = 187;
constexpr uint32_t kStatueW = 215;
constexpr uint32_t kTitlePen = 6, kPenInk = 7, kPenEntry = 34;
constexpr uint32_t kBoxFlags = PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE;  // 37
constexpr uint32_t kHelpText = 806, kNoPriestsText = 804, kNoTenthText = 805;
constexpr int32_t kGodsScreen = 1085;
constexpr uint32_t kEntryChars = 7;  // the typed entry: 7 characters and the terminator
// The base tax's track in requester 4 (box 349 at 168, 180): its picture at
// (28, 34) of the box, 257 x 21, shown at (196, 214); the knob's line.
constexpr int32_t kTrackSrcX = 28, kTrackSrcY = 34, kTrackX = 196, kTrackY = 214, kTrackW = 257, kTrackH = 21;
constexpr int32_t kKnobY = 216, kKnobLeft = 200, kKnobRange = 233;

// Rain exclusion lists: the base (title bar, edges, heading, INFO and EXIT),
// with a small box, a large box, the help text.
#define QOE_TAX_RAIN_BASE 0, 0, 639, 16, 0, 0, 16, 480, 623, 0, 639, 480, 0, 463, 640, 480, 170, 0, 470, 36, \
                          25, 414, 69, 455, 569, 414, 612, 455
const uint16_t kRainBase[] = {QOE_TAX_RAIN_BASE, kRainListEnd};
const uint16_t kRainSmall[] = {QOE_TAX_RAIN_BASE, 168, 180, 472, 298, kRainListEnd};
const uint16_t kRainLarge[] = {QOE_TAX_RAIN_BASE, 168, 129, 472, 352, kRainListEnd};
const uint16_t kRainHelp[] = {QOE_TAX_RAIN_BASE, 66, 50, 573, 431, kRainListEnd};
#undef QOE_TAX_RAIN_BASE

// The five requesters.
struct TaxBox {
  const char* layout;
  int32_t x, y;
  uint32_t w, h;
  uint32_t gfx;
  uint32_t mask;
};
constexpr uint32_t kMaskPlain = 39, kMaskTyped = 55;
const TaxBox kBoxes[5] = {
    {".\\Data\\Screendat\\SteuernReq1.dat", 168, 180, 304, 119, 346, kMaskPlain},
    {".\\Data\\Screendat\\SteuernReq2.dat", 168, 176, 304, 165, 347, kMaskTyped},
    {".\\Data\\Screendat\\SteuernReq3.dat", 168, 129, 304, 223, 348, kMaskPlain},
    {".\\Data\\Screendat\\SteuernReq4.dat", 168, 180, 304, 119, 349, kMaskPlain},
    {".\\Data\\Screendat\\SteuernReq5.dat", 168, 176, 304, 165, 347, kMaskTyped},
};
enum : uint32_t { BOX_JUDICIAL = 0, BOX_CUSTOMS = 1, BOX_RESOURCES = 2, BOX_BASE = 3, BOX_TENTH = 4 };

uint32_t Saturate(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }
uint32_t Get32(const uint8_t* taxe, uint32_t off) { return ChunkGet32(taxe, off); }
uint32_t Get16(const uint8_t* taxe, uint32_t off) { return ChunkGet16(taxe, off); }

void Message(uint32_t text) {
  DebugLog("SteuernScreen: Meldung %u\n", text);
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(text), kPenInk);
}

// Loads chunk id of the received pool when the pool announces it: 1
// loaded, 0 absent, -1 announced but not loadable (logged with line).
int32_t LoadReceived(const char* id, ChunkIndex index, uint8_t** out, const char* line) {
  *out = nullptr;
  if (IsChunkInFile(ChunkBit(index), kIn) != 1) return 0;
  *out = LoadChunk2Mem(id, kIn);
  if (*out) return 1;
  DebugLog("%s", line);
  return -1;
}

// An open requester: its layout and the screen under it.
struct OpenBox {
  const TaxBox* box;
  ScreenRegion* region;
  BitMap* saved;
};

}  // namespace

// ---- the computations ---------------------------------------------------------------

uint32_t JudicialIncome(uint32_t inhabitants, uint32_t setting) {
  const uint64_t eighths = 7u - 2u * (setting > 3 ? 3u : setting);
  return Saturate(static_cast<uint64_t>(inhabitants) * eighths >> 3);
}

uint32_t CustomsIncome(uint32_t rate, uint32_t inhabitants) {
  return Saturate(static_cast<uint64_t>(rate) * inhabitants / 100u);
}

uint32_t ResourceIncome(const uint8_t* taxe, uint32_t plant, uint32_t animal, uint32_t mineral) {
  return Saturate(static_cast<uint64_t>(Get16(taxe, 30)) * plant + static_cast<uint64_t>(Get16(taxe, 32)) * animal +
                  static_cast<uint64_t>(Get16(taxe, 34)) * mineral);
}

uint32_t BaseTaxIncome(uint32_t inhabitants, uint32_t level) {
  return Saturate(static_cast<uint64_t>(inhabitants) * 2u * level / 100u);
}

int64_t TenthBase(const SteuernScreenData* d) {
  int64_t b = 0;
  if (d->landPresent) b += d->landIncome;
  if (d->gebaPresent) b -= d->gebaUpkeep;
  for (uint32_t off : {40u, 18u, 26u, 36u, 48u, 72u, 54u}) b += Get32(d->taxe, off);
  return b;
}

uint32_t TenthAmount(int32_t rate, int64_t base) {
  if (base < 1) return 0;
  const int64_t r = rate < 0 ? 0 : rate > 100 ? 100 : rate;
  return Saturate(static_cast<uint64_t>(r * base / 100));
}

int32_t TenthRate(const uint8_t* taxe) {
  const int32_t r = static_cast<int8_t>(taxe[66]);
  return r < 0 ? 0 : r > 100 ? 100 : r;
}

int32_t BaseTaxKnobX(uint32_t level) { return static_cast<int32_t>(level * kKnobRange / 100u) + kKnobLeft; }

uint32_t BaseTaxLevelAt(int32_t x) {
  const int32_t level = (x - kKnobLeft) * 100 / kKnobRange;
  return level < 0 ? 0u : level > 100 ? 100u : static_cast<uint32_t>(level);
}

bool BaseTaxTrackHit(int32_t x, int32_t y) { return x > 200 && x < 433 && y > 220 && y < 230; }

namespace {

// The typed number: an optional '-', then digits (anything after them is
// ignored); 1 when there were digits.
bool ParseSigned(const char* text, int64_t* out) {
  const char* p = text;
  while (*p == ' ') ++p;
  const bool negative = *p == '-';
  if (negative) ++p;
  int64_t v = 0;
  bool digits = false;
  for (; *p >= '0' && *p <= '9'; ++p) {
    digits = true;
    if (v < 10000000000LL) v = v * 10 + (*p - '0');
  }
  *out = negative ? -v : v;
  return digits;
}

}  // namespace

uint32_t ParseCustomsRate(const char* text) {
  int64_t v = 0;
  if (!ParseSigned(text, &v) || v < 0) return 0;
  return Saturate(static_cast<uint64_t>(v));
}

int32_t ParseTenthRate(const char* text) {
  int64_t v = 0;
  if (!ParseSigned(text, &v) || v < 0) return 0;
  return v > 100 ? 100 : static_cast<int32_t>(v);
}

// ---- data, graphics, sounds ---------------------------------------------------------

int32_t ReadSteuernScreenData(SteuernScreenData* d) {
  d->accountState = ReadAccountState();
  FreeVec(d->taxe);
  d->taxe = AllocChunk("TAXE", "V001", kTaxeSize - sizeof(ChunkHeader));
  if (!d->taxe) {
    DebugLog("WriteSteuernScreenData : Konnte Speicher f\xFC" "r Steuer-Daten nicht allokieren...\n");
    return 0;
  }
  if (!OrdersAllowed(d->accountState)) return 1;
  uint8_t* land = nullptr;
  if (LoadReceived("LAND", CHUNK_LAND, &land, "ReadSteuernScreenData : Konnte LandChunk nicht \xF6" "ffnen !\n") < 0)
    return 0;
  if (land && ChunkLength(land) + sizeof(ChunkHeader) >= 82) {
    d->inhabitants = ChunkGet32(land, 14);
    d->plant = static_cast<uint16_t>(ChunkGet32(land, 38));
    d->animal = static_cast<uint16_t>(ChunkGet32(land, 42));
    d->mineral = static_cast<uint16_t>(ChunkGet32(land, 46));
    d->landIncome = static_cast<int32_t>(ChunkGet32(land, 78));
    d->landPresent = 1;
  }
  FreeChunk(land);
  uint8_t* taxe = nullptr;
  if (LoadTurnChunk("TAXE", &taxe) == TURN_CHUNK_FAILED) {
    DebugLog("ReadSteuernScreenData : Konnte TaxeChunk nicht \xF6" "ffnen !\n");
    return 0;
  }
  if (taxe) {
    // The payload over the zeros, as far as it reaches; the header stays ours.
    const uint32_t have = ChunkLength(taxe) + sizeof(ChunkHeader);
    std::memcpy(d->taxe + sizeof(ChunkHeader), taxe + sizeof(ChunkHeader),
                (have < kTaxeSize ? have : kTaxeSize) - sizeof(ChunkHeader));
    FreeChunk(taxe);
  }
  uint8_t* korn = nullptr;
  if (LoadReceived("KORN", CHUNK_KORN, &korn, "ReadForschungsScreenData : Konnte KornChunk nicht \xF6" "ffnen !\n") < 0)
    return 0;
  if (korn && ChunkLength(korn) + sizeof(ChunkHeader) > 40) {
    const int32_t w = static_cast<int8_t>(korn[40]);
    d->weather = static_cast<uint16_t>(w < 0 ? 0 : w > 6 ? 6 : w);
  }
  FreeChunk(korn);
  // The buildings' upkeep: the received pool's GEBA, else the buildings file.
  uint8_t* geba = nullptr;
  if (LoadReceived("GEBA", CHUNK_GEBA, &geba, "ReadSteuernScreenData : Konnte GebaeudeChunk nicht \xF6" "ffnen !\n") < 0)
    return 0;
  if (!geba) geba = LoadChunk2Mem("GEBA", kBuildings);
  if (geba && ChunkLength(geba) + sizeof(ChunkHeader) >= 16) {
    d->gebaUpkeep = ChunkGet32(geba, 12);
    d->gebaPresent = 1;
  }
  FreeChunk(geba);
  d->judicialIncome = JudicialIncome(d->inhabitants, Get16(d->taxe, 16));
  d->customsIncome = CustomsIncome(Get32(d->taxe, 22), d->inhabitants);
  d->resourceIncome = ResourceIncome(d->taxe, d->plant, d->animal, d->mineral);
  return 1;
}

int32_t WriteSteuernScreenData(SteuernScreenData* d) {
  int32_t ok = 1;
  if (OrdersAllowed(d->accountState) && d->taxe) {
    ok = AddChunkPool(d->taxe, kOut) ? 1 : 0;
    DebugLog(ok ? "WriteSteuernScreenData: TAXE geschrieben\n" : "WriteSteuernScreenData: Konnte TAXE nicht schreiben!\n");
  }
  FreeVec(d->taxe);
  d->taxe = nullptr;
  return ok;
}

int32_t LoadSteuernScreenGfx(SteuernScreenData*) {
  for (uint32_t i = 0; i < 3; ++i)
    if (OpenElmorGfx(kGfx, kGraphics[i]) != 1) {
      DebugLog("LoadSteuernScreenGfx : Konnte Grafik nicht \xF6" "ffnen!\n");
      while (i--) CloseElmorGfx(kGraphics[i]);
      return 0;
    }
  return 1;
}

void FreeSteuernScreenGfx() {
  for (uint32_t id : kGraphics) CloseElmorGfx(id);
}

int32_t LoadSteuernScreenSfx(SteuernScreenData*) {
  for (uint32_t i = 0; i < 4; ++i)
    if (OpenElmorSfx(kSfx, kSounds[i]) != 1) {
      DebugLog(kSounds[i] == kRainSound ? "LoadForschungsScreenSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n"
                                        : "LoadSteuernScreenGfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
      while (i--) CloseElmorSfx000(kSounds[i]);
      return 0;
    }
  return 1;
}

void CloseSteuernScreenSfx() {
  for (uint32_t id : kSounds) CloseElmorSfx000(id);
}

namespace {

uint32_t StatueSetting(const SteuernScreenData* d) {
  if (!OrdersAllowed(d->accountState)) return 0;
  const uint32_t s = Get16(d->taxe, 16);
  return s > 3 ? 3 : s;
}

void DrawStatue(const SteuernScreenData* d) {
  BlitObjekt(nullptr, kStatueGfx + StatueSetting(d), kStatueX, kStatueY, kStatueW, 0);
}

}  // namespace

int32_t DrawSteuernScreen(SteuernScreenData* d) {
  DrawStatue(d);
  RestoreMouseGadgets(nullptr, d->region);
  RastPort* rp = ScreenRastPort();
  const ScreenRecordList& texts = d->region->types[LAYOUT_TEXTAREA];
  if (rp && texts.first) {
    SetFont(rp, d->helvetica);
    const TextArea* t = static_cast<const TextArea*>(texts.first);
    for (uint32_t i = 0; i < texts.count; ++i)
      if (t[i].text && t[i].textId != kTextTitleBar)
        PrintTextOutlined(rp, t[i].x1, t[i].y1, t[i].x2, t[i].y2, t[i].text, 0, kPenInk, PTO_CENTRE | PTO_BASELINE);
    SetFont(rp, d->elmor);
  }
  d->leave = 0;
  return 1;
}

void ToggleJustizSetting(SteuernScreenData* d) {
  const uint32_t s = Get16(d->taxe, 16);
  ChunkPut16(d->taxe, 16, static_cast<uint16_t>(s >= 3 ? 0 : s + 1));
  d->judicialIncome = JudicialIncome(d->inhabitants, Get16(d->taxe, 16));
  DebugLog("ToggleJustizSetting: %u\n", Get16(d->taxe, 16));
  DrawStatue(d);
}

// ---- the requesters -----------------------------------------------------------------

namespace {

// The frame of a requester: its layout, the screen under it, the box, the
// heading (first area, ElmorC1) and the labels (XHelvetica 11). False
// (logged) when the layout or the background cannot be had.
bool OpenTaxBox(SteuernScreenData* d, uint32_t n, OpenBox* out) {
  const TaxBox& b = kBoxes[n];
  *out = OpenBox{&b, nullptr, nullptr};
  out->region = GetScreenRegion(b.layout, b.mask);
  if (!out->region) {
    DebugLog("ShowGrundsteuerRequester: Kann TitelbarDaten nicht laden!\n");
    return false;
  }
  out->saved = SaveBackground(b.x, b.y, b.w, b.h);
  RastPort* rp = ScreenRastPort();
  if (!out->saved || !rp) {
    DebugLog("ShowGrundsteuerRequester: Kann KornRequester nicht initialisieren !\n");
    if (out->saved) RestoreBackground(out->saved, b.x, b.y, b.w, b.h);
    FreeScreenRegion(out->region);
    return false;
  }
  BlitObjekt(nullptr, b.gfx, b.x, b.y, b.w, b.h);
  RestoreMouseGadgets(nullptr, out->region);
  const ScreenRecordList& areas = out->region->types[LAYOUT_AREA];
  const TextArea* a = static_cast<const TextArea*>(areas.first);
  for (uint32_t i = 0; a && i < areas.count; ++i) {
    SetFont(rp, i == 0 ? d->elmor : d->helvetica);
    if (a[i].text) PrintTextOutlined(rp, a[i].x1, a[i].y1, a[i].x2, a[i].y2, a[i].text, 0, kPenInk, kBoxFlags);
  }
  SetFont(rp, d->helvetica);
  ShowScreenRect(rp, b.x, b.y, static_cast<int32_t>(b.w), static_cast<int32_t>(b.h));
  DebugLog("ShowGrundsteuerRequester: %u offen\n", n + 1);
  return true;
}

void CloseTaxBox(SteuernScreenData* d, OpenBox* o) {
  RestoreBackground(o->saved, o->box->x, o->box->y, o->box->w, o->box->h);
  FreeMouseGadgetImages(o->region);
  FreeScreenRegion(o->region);
  if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->elmor);
}

// Value field k of the open box: the number printed with its pens (flags 37,
// 45 when redrawn after a change).
void PrintValue(const OpenBox* o, uint32_t k, const char* text, bool redraw) {
  const ValueField* v = GetLayoutValue(o->region, k);
  RastPort* rp = ScreenRastPort();
  if (!v || !rp) return;
  PrintTextOutlined(rp, v->x1, v->y1, v->x2, v->y2, text, v->fillPen, v->textPen, kBoxFlags | (redraw ? static_cast<uint32_t>(PTO_FILL) : 0u));
  ShowScreenRect(rp, v->x1, v->y1, v->x2 - v->x1 + 1, v->y2 - v->y1 + 1);
}
void PrintU(const OpenBox* o, uint32_t k, uint32_t v, bool redraw) {
  char s[16];
  std::snprintf(s, sizeof s, "%u", v);
  PrintValue(o, k, s, redraw);
}
void PrintD(const OpenBox* o, uint32_t k, int64_t v, bool redraw) {
  char s[24];
  std::snprintf(s, sizeof s, "%lld", static_cast<long long>(v));
  PrintValue(o, k, s, redraw);
}

// The values of requester n (redraw: after a change).
void PrintBoxValues(SteuernScreenData* d, const OpenBox* o, uint32_t n, bool redraw) {
  switch (n) {
    case BOX_JUDICIAL:
      PrintU(o, 0, Get32(d->taxe, 18), redraw);
      PrintU(o, 1, d->judicialIncome, redraw);
      break;
    case BOX_CUSTOMS:
      PrintU(o, 0, Get32(d->taxe, 22), redraw);
      PrintU(o, 1, Get32(d->taxe, 26), redraw);
      PrintU(o, 2, d->customsIncome, redraw);
      break;
    case BOX_RESOURCES:
      PrintU(o, 0, Get16(d->taxe, 30), redraw);
      PrintU(o, 1, Get16(d->taxe, 32), redraw);
      PrintU(o, 2, Get16(d->taxe, 34), redraw);
      PrintU(o, 3, Get32(d->taxe, 36), redraw);
      PrintU(o, 4, d->resourceIncome, redraw);
      break;
    case BOX_BASE:
      PrintU(o, 0, BaseTaxIncome(d->inhabitants, Get32(d->taxe, 12)), redraw);
      break;
    case BOX_TENTH:
      PrintU(o, 0, static_cast<uint32_t>(TenthRate(d->taxe)), redraw);
      PrintD(o, 1, TenthBase(d), redraw);
      PrintD(o, 2, Get32(d->taxe, 76), redraw);
      break;
  }
}

// The tenth's amount into TAXE +76 from the rate and the base.
void ComputeTenth(SteuernScreenData* d) {
  if (!d->landPresent || !d->gebaPresent) DebugLog("ReadSteuernScreenData : Konnte LandChunk nicht \xF6" "ffnen !\n");
  ChunkPut32(d->taxe, 76, TenthAmount(TenthRate(d->taxe), TenthBase(d)));
}

// The base tax's knob at level's place, the track under it put back first.
void DrawKnob(int32_t x) {
  RastPort* rp = ScreenRastPort();
  const BitMap* box = ElmorGfxBitMap(kBaseBoxGfx);
  if (rp && box) BltBitMapRastPort(box, kTrackSrcX, kTrackSrcY, rp, kTrackX, kTrackY, kTrackW, kTrackH);
  BlitObjektMask(nullptr, kKnobGfx, 0, x, kKnobY, 0, 0);
  if (rp) ShowScreenRect(rp, kTrackX, kTrackY, kTrackW, kTrackH);
}

// Runs requester n until EXIT: the knob of requester 4 and the typed entry
// of requesters 2 and 5.
int32_t RunTaxBox(SteuernScreenData* d, uint32_t n) {
  OpenBox o{};
  if (!OpenTaxBox(d, n, &o)) return 0;
  if (n == BOX_TENTH) ComputeTenth(d);
  PrintBoxValues(d, &o, n, false);
  if (n == BOX_BASE) DrawKnob(BaseTaxKnobX(Get32(d->taxe, 12) > 100 ? 100 : Get32(d->taxe, 12)));
  const bool typed = n == BOX_CUSTOMS || n == BOX_TENTH;
  char entry[kEntryChars + 1] = {};
  uint8_t widths[kEntryChars + 1] = {};
  TextCursor* cursor = nullptr;
  RastPort* rp = ScreenRastPort();
  const SliderTrack* field = GetLayoutSlider(o.region, 0);
  const ScreenRecordList& titles = o.region->types[LAYOUT_TEXTAREA];
  KeyScope keys;  // a key held from before the box does not answer it
  for (;;) {
    if (titles.count) CheckTitleBar(static_cast<const TextArea*>(titles.first), d->elmor, kTitlePen);
    const int32_t event = WaitEvent(WE_TICKS);
    if (event == WE_LEFT_DOWN && n == BOX_BASE && BaseTaxTrackHit(GetMouseX(), GetMouseY())) {
      const int32_t x = GetMouseX();
      DrawKnob(x);
      ChunkPut32(d->taxe, 12, BaseTaxLevelAt(x));
      DebugLog("ShowGrundsteuerRequester4: Stufe %u\n", Get32(d->taxe, 12));
      PrintBoxValues(d, &o, n, true);
    }
    Gadget* g = HandleGadgetEvent(nullptr, o.region, static_cast<uint32_t>(event));
    if (WindowCloseRequested()) break;
    if (!g) continue;
    if (GadgetIs(g, "EXIT")) break;
    if (!typed || !rp || !field) continue;
    const int32_t fx = field->x1, fy = field->y1;
    const uint32_t fw = field->x2 >= field->x1 ? field->x2 - field->x1 + 1u : 1u;
    if (GadgetIs(g, "INPU") && !cursor) {
      std::memset(entry, 0, sizeof entry);
      std::memset(widths, 0, sizeof widths);
      if (const ValueField* v = GetLayoutValue(o.region, 0)) {
        SetAPen(rp, kPenEntry);
        RectFill(rp, v->x1, v->y1, v->x2, v->y2);
      }
      SetAPen(rp, kPenInk);
      cursor = SetTextCursor(fx, fy + 1, rp->TxHeight, 2, kPenInk, rp);
      EditKey(0, entry, widths, cursor, fx, fy, fw, kEntryChars, 1, kPenInk, kPenEntry);
      ShowScreenRect(rp, fx, fy, static_cast<int32_t>(fw), field->y2 - fy + 1);
    } else if (GadgetIs(g, "KEY!") && cursor && g->keyCode >= 1 && g->keyCode <= 255) {
      if (g->keyCode != WE_KEY_ENTER) {
        EditKey(g->keyCode, entry, widths, cursor, fx, fy, fw, kEntryChars, 1, kPenInk, kPenEntry);
        ShowScreenRect(rp, fx, fy, static_cast<int32_t>(fw), field->y2 - fy + 1);
        continue;
      }
      StopTextCursor(cursor);
      cursor = nullptr;
      if (n == BOX_CUSTOMS) {
        ChunkPut32(d->taxe, 22, ParseCustomsRate(entry));
        d->customsIncome = CustomsIncome(Get32(d->taxe, 22), d->inhabitants);
      } else {
        ChunkPut16(d->taxe, 66, static_cast<uint16_t>((Get16(d->taxe, 66) & 0xFF00u) | ParseTenthRate(entry)));
        ComputeTenth(d);
      }
      DebugLog("ShowGrundsteuerRequester: Eingabe \"%s\"\n", entry);
      PrintBoxValues(d, &o, n, true);
    }
  }
  if (cursor) StopTextCursor(cursor);
  CloseTaxBox(d, &o);
  return 1;
}

// A requester with the rain kept off its box.
int32_t WithRain(SteuernScreenData* d, const uint16_t* list, int32_t (*box)(SteuernScreenData*)) {
  RainDriverBox(&d->rain, list);
  SleepMs(2);
  const int32_t r = box(d);
  RainDriverBox(&d->rain, nullptr);
  return r;
}

}  // namespace

int32_t ShowGrundsteuerRequester1(SteuernScreenData* d) { return RunTaxBox(d, BOX_JUDICIAL); }
int32_t ShowGrundsteuerRequester2(SteuernScreenData* d) { return RunTaxBox(d, BOX_CUSTOMS); }
int32_t ShowGrundsteuerRequester3(SteuernScreenData* d) { return RunTaxBox(d, BOX_RESOURCES); }
int32_t ShowGrundsteuerRequester4(SteuernScreenData* d) { return RunTaxBox(d, BOX_BASE); }

int32_t ShowGrundsteuerRequester(SteuernScreenData* d) {
  if (Get32(d->taxe, 68) == 0) {
    Message(kNoTenthText);
    return 1;
  }
  return RunTaxBox(d, BOX_TENTH);
}

int32_t ShowKirchensteuerRequester(SteuernScreenData* d) {
  if (Get16(d->taxe, 52) == 0) {
    Message(kNoPriestsText);
    return 0;
  }
  char texts[3 * 80] = {};
  const uint32_t ids[3] = {1413, 454, 218};
  for (uint32_t i = 0; i < 3; ++i) std::snprintf(texts + 80 * i, 80, "%s", GetCatalogStr(ids[i]));
  const uint32_t choice = SwitchBox(3, texts);
  DebugLog("ShowKirchensteuerRequester: Wahl %u\n", choice);
  if (choice == 1) return kGodsScreen;
  if (choice == 2) Message(kNoPriestsText);
  return 0;
}

// ---- the screen -------------------------------------------------------------------

int32_t SteuernScreen(int32_t) {
  auto* d = static_cast<SteuernScreenData*>(AllocVec(sizeof(SteuernScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) {
    ScreenStartFailed(nullptr, SCREEN_STEP_MEMORY, "SteuernScreen: Kein Speicher f\xFC" "r lokale Daten!\n");
    return -1;
  }
  PlayScreenCdTrack(4);
  ScreenBase base{};
  bool gfx = false, sfx = false;
  auto release = [&](int32_t next, bool write) {
    RainDriverStop(&d->rain);
    if (write) WriteSteuernScreenData(d);
    if (sfx) CloseSteuernScreenSfx();
    if (gfx) FreeSteuernScreenGfx();
    CloseFont(d->helvetica);
    FreeVec(d->taxe);
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return release(-1, false);
  };
  if (!OpenScreenPicture(&base, kPicture, 1)) return fail(SCREEN_STEP_PICTURE, "SteuernScreen: Konnte Pic nicht \xF6" "ffnen!\n");
  if (!ReadSteuernScreenData(d)) return fail(SCREEN_STEP_DATA, "SteuernScreen: Konnte Land-Daten nicht laden !\n");
  gfx = LoadSteuernScreenGfx(d) == 1;
  if (!gfx) return fail(SCREEN_STEP_GRAPHICS, "SteuernScreen: Konnte Grafiken nicht laden !\n");
  sfx = LoadSteuernScreenSfx(d) == 1;
  if (!sfx) return fail(SCREEN_STEP_SOUNDS, "SteuernScreen: Konnte Grafiken nicht laden !\n");
  d->helvetica = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!d->helvetica) return fail(SCREEN_STEP_FONT, "SteuernScreen: Konnte Font nicht laden!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "SteuernScreen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  d->elmor = base.font;
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Steuern.dat", 3))
    return fail(SCREEN_STEP_LAYOUT, "SteuernScreen: Kann TitelbarDaten nicht laden!\n");
  d->region = base.region;
  if (RastPort* rp = ScreenRastPort()) {
    SetAPen(rp, kPenInk);
    SetDrMd(rp, 0);
  }
  InitRainDriver(&d->rain, d->weather, kRainBase);
  InitAmbientCounter(&d->ambient, 10, 20);
  DrawSteuernScreen(d);
  StartTheTransition();
  base.shown = 1;

  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (event == WE_TICK && !MotionBusy.load()) {
      if (AmbientCounterTick(&d->ambient)) SfxPlayer000(17 + Zufall(2), 0, 0);
      RainDriverTick(&d->rain);
    }
    if (!g) continue;
    int32_t ran = 1;
    if (GadgetIs(g, "EXIT")) next = SCREEN_MAIN;
    else if (GadgetIs(g, "JUS1")) ToggleJustizSetting(d);
    else if (GadgetIs(g, "GRUN")) ran = WithRain(d, kRainSmall, ShowGrundsteuerRequester4);
    else if (GadgetIs(g, "JUS2")) ran = WithRain(d, kRainSmall, ShowGrundsteuerRequester1);
    else if (GadgetIs(g, "ZEHN")) ran = WithRain(d, kRainSmall, ShowGrundsteuerRequester);
    else if (GadgetIs(g, "ZOLL")) ran = WithRain(d, kRainLarge, ShowGrundsteuerRequester2);
    else if (GadgetIs(g, "HILF")) ran = WithRain(d, kRainLarge, ShowGrundsteuerRequester3);
    else if (GadgetIs(g, "KIRC")) {
      RainDriverBox(&d->rain, kRainSmall);
      if (ShowKirchensteuerRequester(d) == kGodsScreen) next = kGodsScreen;
      RainDriverBox(&d->rain, nullptr);
    } else if (GadgetIs(g, "INFO")) {
      RainDriverBox(&d->rain, kRainHelp);
      SleepMs(2);
      TextBox(GetCatalogStr(kHelpText));
      RainDriverBox(&d->rain, nullptr);
    }
    // A requester that cannot be set up ends the visit; nothing is written.
    if (!ran) d->leave = 1;
    if (d->leave && next == -1) next = SCREEN_MAIN;
  } while (ScreenBaseStays(&next, SCREEN_MAIN));
  // EXIT and the way to the gods screen write the taxes (the close leaves by
  // EXIT's way); a failed requester does not.
  return release(next, !d->leave);
}
