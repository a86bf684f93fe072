// The research screen. See forschung.h; its layouts in docs/layouts.md
// ("The research screen's layouts").
#include "forschung.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gamedata/chunks.h"
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
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"

namespace {

const char kIn[] = ".\\Data\\POP3In\\GameChunk.qoe";
const char kOut[] = ".\\Data\\POP3Out\\GameChunk.qoe";
const char kGfx[] = ".\\Data\\Path";
const char kSfx[] = ".\\Data\\SfxPath";
constexpr uint32_t kPicture = 35, kRequesterGfx = 162, kGaugeGfx = 170, kShieldGfx = 184, kStepGfx = 192;
constexpr uint32_t kAmbientSound = 25, kFountainSound = 26;
const uint32_t kSounds[] = {kAmbientSound, kFountainSound, kRainSound};
constexpr uint32_t kTitlePen = 6, kPenInk = 7, kPenPaper = 5;
constexpr uint32_t kPenKnob = 26, kPenTrack = 22, kPenLight = 25, kPenDark = 24;
constexpr uint32_t kHeadingText = 199, kHelpText = 686, kBusyText = 673, kTopText = 1015;
constexpr uint32_t kCostText = 674, kCostAfterText = 675;
constexpr uint32_t kIconW = 195, kIconH = 155, kGaugeW = 80, kGaugeH = 60, kShieldW = 19, kShieldH = 30;
constexpr uint32_t kStepW = 7, kStepH = 12, kListRow = 14;
// The requester layout: gadgets, its rectangles (type 9) and points (type 10).
constexpr uint32_t kRequesterMask = (1u << LAYOUT_GADGET) | (1u << LAYOUT_U16LIST) | (1u << LAYOUT_POINT);
enum : uint32_t { RECT_REQUESTER = 0, RECT_ADVICE = 1, RECT_SLIDER = 2, RECT_NAME = 3, RECT_LIST = 4 };
enum : uint32_t { POINT_ICON = 0, POINT_GAUGE = 1, POINT_SHIELDS = 2 };

const ForschungField kFields[kResearchFields] = {
    {192, 16, 163, 1162, 265}, {193, 15, 164, 1204, 269}, {194, 18, 165, 1169, 271}, {195, 21, 166, 1197, 270},
    {196, 19, 167, 1190, 266}, {197, 17, 168, 1183, 268}, {198, 20, 169, 1176, 267},
};

// Rain exclusion list: the title bar, the edges and the heading.
const uint16_t kRainBase[] = {0, 0, 639, 16, 0, 16, 16, 480, 623, 0, 639, 480, 0, 463, 640, 480, 170, 0, 470, 36,
                              kRainListEnd};
constexpr uint32_t kRainBaseValues = 20;

int8_t Signed(const uint8_t* fors, uint32_t off) { return static_cast<int8_t>(fors[off]); }

// A modal message (catalog text); it stands inside the requester, which
// the rain keeps off already.
void Message(uint32_t text) {
  DebugLog("ForschungsScreen: Meldung %u\n", text);
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(text), kPenInk);
}

// The base list plus one rectangle into out (29 values).
void ListWith(uint16_t* out, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  std::memcpy(out, kRainBase, kRainBaseValues * sizeof(uint16_t));
  out[20] = static_cast<uint16_t>(x1);
  out[21] = static_cast<uint16_t>(y1);
  out[22] = static_cast<uint16_t>(x2);
  out[23] = static_cast<uint16_t>(y2);
  out[24] = kRainListEnd;
}

// A rectangle of the requester layout relative to the requester at (x, y).
bool Rect(const ScreenRegion* r, uint32_t k, int32_t x, int32_t y, int32_t* x1, int32_t* y1, int32_t* x2,
          int32_t* y2) {
  LayoutRect l{};
  if (!GetLayoutRect(r, k, &l)) return false;
  *x1 = x + l.x1;
  *y1 = y + l.y1;
  *x2 = x + l.x2;
  *y2 = y + l.y2;
  return true;
}

uint8_t* NewFors() {
  uint8_t* f = AllocChunk("FORS", "V001", kForsSize - sizeof(ChunkHeader));
  if (!f) DebugLog("ReadForschungsScreenData : Kein Speicher f\xFC" "r Forschungsdaten frei!\n");
  return f;
}

}  // namespace

const ForschungField* ForschungFieldRow(uint32_t field) { return field < kResearchFields ? &kFields[field] : nullptr; }

uint32_t ForschungLevel(const uint8_t* fors, uint32_t field) {
  if (!fors || field >= kResearchFields) return 0;
  const int32_t v = Signed(fors, kFields[field].levelOffset);
  return v < 0 ? 0u : v > static_cast<int32_t>(kResearchTopLevel) ? kResearchTopLevel : static_cast<uint32_t>(v);
}

uint32_t ForschungGaugeStep(const uint8_t* fors, uint32_t field) {
  if (!fors || field >= kResearchFields) return 0;
  const int32_t order = Signed(fors, 12), done = Signed(fors, 13), rounds = Signed(fors, 14);
  if (order != static_cast<int32_t>(field) + 1 || done == 0 || rounds == 0) return 0;
  const int32_t n = 13 - (12 / rounds) * done;
  return n < 0 ? 0u : n > 13 ? 13u : static_cast<uint32_t>(n);
}

uint32_t ForschungCost(uint32_t inhabitants, uint32_t confidence, uint32_t level) {
  const uint64_t l = static_cast<uint64_t>(level) + 1;
  const uint64_t t = 25000u / (confidence ? confidence : 1u);
  const uint64_t a = static_cast<uint64_t>(inhabitants) * 25u / 100u;
  const uint64_t cost = a * t / 100u * l * (4u * l);  // at most about 7e13: no 64-bit wrap
  return cost > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(cost);
}

int32_t ForschungGadgetField(const Gadget* g) {
  if (!g) return -1;
  int32_t n = 0;
  for (char c : g->id) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n < static_cast<int32_t>(kResearchFields) ? n : -1;
}

// ---- data and sounds ---------------------------------------------------------------

int32_t ReadForschungsScreenData(ForschungScreenData* d) {
  d->accountState = ReadAccountState();
  FreeChunk(d->fors);
  d->fors = nullptr;
  if (d->accountState == 0) return (d->fors = NewFors()) != nullptr;
  uint8_t* fors = nullptr;
  if (LoadTurnChunk("FORS", &fors) == TURN_CHUNK_FAILED) {
    DebugLog("ReadForschungsScreenData : Konnte FoschungsChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  if (fors && ChunkLength(fors) + sizeof(ChunkHeader) < kForsSize) {
    DebugLog("ReadForschungsScreenData : FORS zu kurz (%u Bytes), neu angelegt\n", ChunkLength(fors));
    FreeChunk(fors);
    fors = nullptr;
  }
  if (!fors && !(fors = NewFors())) return 0;
  d->fors = fors;
  d->inhabitants = d->confidence = 0;
  d->weather = 0;
  if (IsChunkInFile(ChunkBit(CHUNK_LAND), kIn) == 1) {
    uint8_t* land = LoadChunk2Mem("LAND", kIn);
    if (!land) {
      DebugLog("ReadForschungsScreenData : Konnte LandChunk nicht \xF6" "ffnen !");
      return 0;
    }
    if (ChunkLength(land) + sizeof(ChunkHeader) >= 66) {
      d->inhabitants = ChunkGet32(land, 14);
      d->confidence = ChunkGet32(land, 62);
    }
    FreeChunk(land);
  }
  if (IsChunkInFile(ChunkBit(CHUNK_KORN), kIn) == 1) {
    uint8_t* korn = LoadChunk2Mem("KORN", kIn);
    if (!korn) {
      DebugLog("ReadForschungsScreenData : Konnte KornChunk nicht \xF6" "ffnen !");
      return 0;
    }
    if (ChunkLength(korn) + sizeof(ChunkHeader) > 40) {
      const int32_t w = static_cast<int8_t>(korn[40]);
      d->weather = static_cast<uint16_t>(w < 0 ? 0 : w > 6 ? 6 : w);
    }
    FreeChunk(korn);
  }
  return 1;
}

int32_t LoadForschungsScreenSfx(ForschungScreenData*) {
  for (uint32_t i = 0; i < 3; ++i)
    if (OpenElmorSfx(kSfx, kSounds[i]) != 1) {
      DebugLog("LoadForschungsScreenSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
      while (i--) CloseElmorSfx000(kSounds[i]);
      return 0;
    }
  return 1;
}

void CloseForschungsScreenSfx() {
  for (uint32_t id : kSounds) CloseElmorSfx000(id);
}

// ---- the order ---------------------------------------------------------------------

int32_t StartResearchOrder(ForschungScreenData* d, uint32_t field) {
  if (!OrdersAllowed(d->accountState) || !d->fors || field >= kResearchFields) return 0;
  if (d->fors[12] != 0) {
    Message(kBusyText);
    return 0;
  }
  const uint32_t level = ForschungLevel(d->fors, field);
  if (level + 1 > kResearchTopLevel) {
    Message(kTopText);
    return 0;
  }
  const uint32_t cost = ForschungCost(d->inhabitants, d->confidence, level);
  char text[400];
  std::snprintf(text, sizeof text, "%s %u %s", GetCatalogStr(kCostText), cost, GetCatalogStr(kCostAfterText));
  DebugLog("StartResearchOrder: Feld %u, Kosten %u\n", field, cost);
  if (ChiefMessage(66, 168, 180, 0, 0, 0, 1, text, kPenInk) != 0) return 0;
  d->fors[12] = static_cast<uint8_t>(field + 1);
  if (!AddChunkPool(d->fors, kOut)) {
    DebugLog("StartResearchOrder: Konnte FORS nicht schreiben!\n");
    d->fors[12] = 0;  // not ordered: the player may try again
    return 0;
  }
  DebugLog("StartResearchOrder: Forschung %u bestellt\n", field + 1);
  return 1;
}

// ---- the requester ----------------------------------------------------------------

namespace {

// The rain's list: the base list and one more rectangle (null: the base
// list); the rain thread is given 2 ms to take it.
void SwitchRain(ForschungScreenData* d, const uint16_t* list) {
  if (list) DebugLog("ForschungsRequester: Regen frei %u %u %u %u\n", list[20], list[21], list[22], list[23]);
  else DebugLog("ForschungsRequester: Regen frei Grundliste\n");
  RainDriverBox(&d->rain, list);
  if (list) SleepMs(2);
}

// Draws the requester of field g at (x, y): the background, the icon, the
// gauge, the field's name, the list of the fields with their level steps,
// the shields of its level, the advice text with its slider.
int32_t InitAllThingsForschung(ForschungScreenData* d, ScreenRegion* req, int32_t x, int32_t y, uint32_t w,
                               uint32_t h, uint32_t g) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return 0;
  const ForschungField& f = kFields[g];
  BlitObjekt(nullptr, kRequesterGfx, x, y, w, h);
  SetMouseGadgetOffset(req, x, y);
  RestoreMouseGadgets(nullptr, req);
  if (const LayoutPoint* p = GetLayoutPoint(req, POINT_ICON)) BlitObjekt(nullptr, f.icon, x + p->x, y + p->y, kIconW, kIconH);
  if (const LayoutPoint* p = GetLayoutPoint(req, POINT_GAUGE))
    BlitObjekt(nullptr, kGaugeGfx + ForschungGaugeStep(d->fors, g), x + p->x, y + p->y, kGaugeW, kGaugeH);
  SetDrMd(rp, 0);
  int32_t x1, y1, x2, y2;
  SetFont(rp, d->elmor);
  if (Rect(req, RECT_NAME, x, y, &x1, &y1, &x2, &y2))
    PrintTextOutlined(rp, x1, y1, x2, y2, GetCatalogStr(f.name), 0, kPenInk, PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  const bool installed = d->accountState != 0;
  if (Rect(req, RECT_LIST, x, y, &x1, &y1, &x2, &y2)) {
    PrintTextOutlined(rp, x1, y1, x2, y1 + kListRow, GetCatalogStr(kHeadingText), 0, kPenInk, PTO_BASELINE);
    SetFont(rp, d->helvetica9);
    for (uint32_t k = 0; k < kResearchFields; ++k) {
      const int32_t row = y1 + static_cast<int32_t>((k + 1) * kListRow) + 4;
      PrintTextOutlined(rp, x1, row, x1 + 78, row + kListRow, GetCatalogStr(kFields[k].name), 0,
                        k == g ? kPenInk : 2u, PTO_BASELINE);
      const uint32_t level = installed ? ForschungLevel(d->fors, k) : 0;
      for (uint32_t i = 0; i < level; ++i)
        BlitObjekt(nullptr, kStepGfx + i, x1 + 80 + static_cast<int32_t>(9 * i), row, kStepW, kStepH);
    }
  }
  const uint32_t level = installed ? ForschungLevel(d->fors, g) : 0;
  for (uint32_t i = 0; i < level; ++i)
    if (const LayoutPoint* p = GetLayoutPoint(req, POINT_SHIELDS + i))
      BlitObjektMask(nullptr, kShieldGfx + i, 0, x + p->x, y + p->y, kShieldW, kShieldH);
  ShowScreenRect(rp, x, y, static_cast<int32_t>(w), static_cast<int32_t>(h));
  if (Rect(req, RECT_ADVICE, x, y, &x1, &y1, &x2, &y2)) {
    const uint32_t aw = static_cast<uint32_t>(x2 - x1 + 1), ah = static_cast<uint32_t>(y2 - y1 + 1);
    const uint32_t text = level >= kResearchTopLevel ? f.topText : f.advice + level;
    d->advice = InitRequesterTextBox(aw - 6, d->helvetica9, GetCatalogStr(text), x1, y1, aw, ah, kPenPaper, kPenInk,
                                     nullptr);
    int32_t sx1, sy1, sx2, sy2;
    if (!d->advice || !Rect(req, RECT_SLIDER, x, y, &sx1, &sy1, &sx2, &sy2) ||
        !InitSlider(d->advice, static_cast<uint32_t>(sx2 - sx1 + 1), static_cast<uint32_t>(sy2 - sy1 + 1), kPenKnob,
                    kPenTrack, kPenLight, kPenDark, sx1, sy1)) {
      DebugLog("TextBox : Konnte Requester nicht darstellen !\n");
      SetFont(rp, d->elmor);
      return 0;
    }
  }
  SetFont(rp, d->elmor);
  return 1;
}

}  // namespace

int32_t ForschungsRequester(ForschungScreenData* d, uint32_t field) {
  if (field >= kResearchFields) return 1;
  ScreenRegion* req = GetScreenRegion(".\\Data\\Screendat\\ForschungReq.dat", kRequesterMask);
  if (!req) {
    DebugLog("ForschungScreen: Kann Koordinaten nicht laden!\n");
    return 0;
  }
  LayoutRect box{};
  if (!GetLayoutRect(req, RECT_REQUESTER, &box) || box.x2 <= box.x1 || box.y2 <= box.y1) {
    DebugLog("ForschungScreen: Kann Koordinaten nicht laden!\n");
    FreeScreenRegion(req);
    return 0;
  }
  const int32_t x = box.x1, y = box.y1;
  const uint32_t w = box.x2 - box.x1 + 1u, h = box.y2 - box.y1 + 1u;
  ListWith(d->requesterList, box.x1, box.y1, box.x2, box.y2);
  ListWith(d->helpList, 66, 50, 573, box.y2);
  SwitchRain(d, d->requesterList);
  BitMap* saved = SaveBackground(x, y, w, h);
  if (!saved) {
    DebugLog("ForschungsScreen: Konnte BitMap nicht allokieren!\n");
    SwitchRain(d, nullptr);
    FreeScreenRegion(req);
    return 0;
  }
  // The step graphics stay open for the rest of the visit.
  if (!d->listDrawn) {
    d->listDrawn = 1;
    for (uint32_t i = 0; i < kResearchTopLevel; ++i)
      if (OpenElmorGfx(kGfx, kStepGfx + i) != 1) DebugLog("InitAllThings : Konnte Bob nicht \xF6" "ffnen!\n");
  }
  d->requesterOpen = 1;
  int32_t ok = InitAllThingsForschung(d, req, x, y, w, h, field);
  const uint32_t level = d->accountState ? ForschungLevel(d->fors, field) : 0;
  DebugLog("ForschungsRequester: Feld %u, Stufe %u, Anzeige %u, Text %u\n", field, level,
           ForschungGaugeStep(d->fors, field),
           level >= kResearchTopLevel ? kFields[field].topText : kFields[field].advice + level);
  bool done = !ok;
  KeyScope keys;  // a key held from before the requester does not answer it
  while (!done) {
    const int32_t event = WaitEvent(WE_TICKS);
    if (event == WE_TICK && !MotionBusy.load()) RainDriverTick(&d->rain);
    Gadget* g = HandleGadgetEvent(nullptr, req, static_cast<uint32_t>(event));
    if (WindowCloseRequested()) break;
    if (!g) continue;
    if (GadgetIs(g, "SL00") || GadgetIs(g, "UP00") || GadgetIs(g, "DO00")) {
      if (!d->advice) continue;
      MoveSlider(d->advice, GadgetIs(g, "SL00")   ? static_cast<uint32_t>(GetMouseY())
                            : GadgetIs(g, "UP00") ? static_cast<uint32_t>(SLIDER_UP)
                                                  : static_cast<uint32_t>(SLIDER_DOWN));
      ScrollRequester(d->advice, 0, 0);
    } else if (GadgetIs(g, "OKOK")) {
      StartResearchOrder(d, field);
      done = true;
    } else if (GadgetIs(g, "EXIT")) {
      done = true;
    } else if (GadgetIs(g, "INFO")) {
      SwitchRain(d, d->helpList);
      TextBox(GetCatalogStr(kHelpText));
      SwitchRain(d, d->requesterList);
    }
  }
  FreeRequesterBox(d->advice);
  d->advice = nullptr;
  d->requesterOpen = 0;
  RestoreBackground(saved, x, y, w, h);
  FreeMouseGadgetImages(req);
  SetMouseGadgetOffset(req, 0, 0);
  FreeScreenRegion(req);
  SwitchRain(d, nullptr);
  return ok ? 1 : 0;
}

// ---- the screen -------------------------------------------------------------------

int32_t ForschungScreen(int32_t) {
  PlayScreenCdTrack(4);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "ForschungsScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<ForschungScreenData*>(AllocVec(sizeof(ForschungScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  bool sfx = false, requesterGfx = false;
  auto release = [&](int32_t next) {
    if (d) {
      RainDriverStop(&d->rain);
      if (d->listDrawn)
        for (uint32_t i = 0; i < kResearchTopLevel; ++i)
          if (ElmorGfxOpenCount(kStepGfx + i)) CloseElmorGfx(kStepGfx + i);
      if (requesterGfx) CloseElmorGfx(kRequesterGfx);
      if (sfx) CloseForschungsScreenSfx();
      CloseFont(d->helvetica9);
      CloseFont(d->helvetica11);
      FreeChunk(d->fors);
    }
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return release(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "ForschungScreen: Kein Speicher f\xFC" "r Forschungsdaten frei!\n");
  static const ScreenMovieSpec kFountain[] = {{".\\Anims\\Brunnen.CBAN", 384, 275, 68, 5}};
  if (!OpenScreenMovies(&base, kFountain, 1))
    return fail(SCREEN_STEP_MOVIES, "ForschungScreen: AllocMovieBase fehlgeschlagen...\n");
  if (!ReadForschungsScreenData(d))
    return fail(SCREEN_STEP_DATA, "ForschungScreen: Kein Speicher f\xFC" "r Forschungsdaten frei!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "ForschungsScreen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  d->elmor = base.font;
  d->helvetica9 = OpenDiskFont("fonts\\XHelvetica9.fnt");
  d->helvetica11 = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!d->helvetica9 || !d->helvetica11) return fail(SCREEN_STEP_FONT, "ForschungScreen: Konnte Font nicht laden!\n");
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Forschung.dat", 3))
    return fail(SCREEN_STEP_LAYOUT, "ForschungScreen: Kann TitelbarDaten nicht laden!\n");
  d->region = base.region;
  sfx = LoadForschungsScreenSfx(d) == 1;
  if (!sfx) return fail(SCREEN_STEP_SOUNDS, "ForschungScreen: Konnte Sound nicht laden !\n");
  requesterGfx = OpenElmorGfx(kGfx, kRequesterGfx) == 1;
  if (!requesterGfx) return fail(SCREEN_STEP_GRAPHICS, "ForschungsScreen: Konnte Requester nicht \xF6" "ffnen!\n");
  InitRainDriver(&d->rain, d->weather, kRainBase);
  InitAmbientCounter(&d->ambient, 10, 20);
  ShowScreenBase(&base);
  SfxPlayer000(kFountainSound, 0, 1);

  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (event == WE_TICK && !MotionBusy.load()) {
      if (AmbientCounterTick(&d->ambient)) SfxPlayer000(kAmbientSound, 0, 0);
      RainDriverTick(&d->rain);
    }
    if (!g) continue;
    const int32_t field = ForschungGadgetField(g);
    if (GadgetIs(g, "EXIT")) {
      next = SCREEN_MAIN;
    } else if (field >= 0) {
      PauseScreenMovies(&base, 1);
      const int32_t ran = ForschungsRequester(d, static_cast<uint32_t>(field));
      PauseScreenMovies(&base, 0);
      if (!ran) next = SCREEN_MAIN;
    }
  } while (ScreenBaseStays(&next, SCREEN_MAIN));
  return release(next);
}
