// The granary screen. See kornlager.h; its pictures and layouts in
// docs/granary.md.
#include "kornlager.h"

#include <cstdio>
#include <cstring>

#include "platform/display.h"
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
#include "screens/common/numberentry.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"

namespace {

const char kIn[] = ".\\Data\\POP3In\\GameChunk.qoe";
const char kOut[] = ".\\Data\\POP3Out\\GameChunk.qoe";
const char kGfx[] = ".\\Data\\Path";
const char kSfx[] = ".\\Data\\SfxPath";
const char kRequesterLayout[] = ".\\Data\\Screendat\\KornLagerReq.dat";
constexpr int32_t kTownView = 39;
constexpr uint32_t kPicture = 56, kRequesterGfx = 155, kEmptyGfx = 158, kFullGfx = 159, kMarkerGfx = 160;
constexpr uint32_t kRainGfx = 157, kStormGfx = 156, kDullPalette = 470;
constexpr uint32_t kHeapGfx[2] = {464, 467};  // + fill state - 1
const uint32_t kGraphics[] = {kFullGfx, kEmptyGfx, 125, 126, 123, 124};
constexpr uint32_t kMeadowSound = 15, kPourSound = 16;
const uint32_t kSounds[] = {kMeadowSound, kPourSound, kRainSound};
constexpr uint32_t kTitlePen = 6, kPenInk = 7, kEntryText = 22, kEntryBack = 7;
constexpr uint32_t kHelpText = 781, kQuarterText = 175, kWriteFailedText = 127;  // "The data could not be saved."
constexpr uint32_t kAreaFlags = PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE;  // 37
// The requester at (66, 68), 516 x 390; the arrows of the three columns.
constexpr int32_t kReqX = 66, kReqY = 68, kReqW = 516, kReqH = 390;
constexpr int32_t kArrowY = 271, kDownX = 123, kUpX = 192, kColumnStep = 154;
// The granary count, the two scales.
constexpr int32_t kCountX1 = 310, kCountY1 = 130, kCountX2 = 326, kCountY2 = 140;
constexpr int32_t kScale1Y = 363, kScale2Y = 397, kMarkerW = 7, kMarkerH = 13;
// The heaps' places in the hall.
constexpr int32_t kHeapX[2] = {228, 308}, kHeapY[2] = {116, 300}, kHeapW[2] = {304, 272}, kHeapH = 108;
constexpr int32_t kWeatherX = 16, kWeatherY = 250;
// The layout's records (docs/granary.md): sliders 0..2 the bar columns, 3
// and 4 the threshold tracks; values 0..2 the stores, 3 the quarter, 4 the
// year.
enum : uint32_t { TRACK_BAR = 0, TRACK_SLIDER = 3, VALUE_STORE = 0, VALUE_QUARTER = 3, VALUE_YEAR = 4 };
// Pens of the need marker and the slider knob (light, middle, dark).
constexpr uint32_t kMarkerPens[3] = {92, 86, 82}, kKnobPens[3] = {62, 56, 50};

// The rain's exclusion lists: the screen's, with the requester, with its help.
#define QOE_KORN_RAIN_BASE 0, 0, 639, 16, 0, 0, 16, 480, 623, 0, 639, 480, 0, 463, 640, 480, 170, 0, 470, 36
const uint16_t kRainBase[] = {QOE_KORN_RAIN_BASE, kRainListEnd};
const uint16_t kRainRequester[] = {QOE_KORN_RAIN_BASE, 66, 68, 582, 458, kRainListEnd};
const uint16_t kRainHelp[] = {QOE_KORN_RAIN_BASE, 66, 50, 573, 458, kRainListEnd};
#undef QOE_KORN_RAIN_BASE

constexpr int32_t kI32Max = 2147483647;

int32_t ClampI32(int64_t v) { return v < 0 ? 0 : v > kI32Max ? kI32Max : static_cast<int32_t>(v); }

// The store's column (0..2) of the bar, slider or value records.
bool Track(const ScreenRegion* r, uint32_t k, int32_t* x1, int32_t* y1, int32_t* x2, int32_t* y2) {
  const SliderTrack* t = r ? GetLayoutSlider(r, k) : nullptr;
  if (!t || t->x2 < t->x1 || t->y2 < t->y1) return false;
  *x1 = t->x1;
  *y1 = t->y1;
  *x2 = t->x2;
  *y2 = t->y2;
  return true;
}

void PrintValue(const ScreenRegion* r, uint32_t k, const char* text) {
  const ValueField* v = r ? GetLayoutValue(r, k) : nullptr;
  RastPort* rp = ScreenRastPort();
  if (!v || !rp) return;
  PrintTextOutlined(rp, v->x1, v->y1, v->x2, v->y2, text, v->fillPen, v->textPen, v->flags | PTO_FILL);
  ShowScreenRect(rp, v->x1, v->y1, v->x2 - v->x1 + 1, v->y2 - v->y1 + 1);
}

void Blit(uint32_t id, int32_t sy, int32_t x, int32_t y, int32_t w, int32_t h) {
  RastPort* rp = ScreenRastPort();
  const BitMap* bm = ElmorGfxBitMap(id);
  if (rp && bm && w > 0 && h > 0) BltBitMapRastPort(bm, 0, sy, rp, x, y, w, h);
}

// A small filled triangle pointing left, its tip at (x, y), in three pens.
void Triangle(int32_t x, int32_t y, int32_t size, const uint32_t pens[3]) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  for (int32_t i = 0; i <= size; ++i) {
    SetAPen(rp, i == 0 || i == size ? pens[2] : i < size / 2 ? pens[0] : pens[1]);
    Move(rp, x + i, y - i / 2);
    Draw(rp, x + i, y + i / 2);
  }
  ShowScreenRect(rp, x, y - size / 2, size + 1, size + 1);
}

}  // namespace

// ---- the rules -----------------------------------------------------------------------

int32_t KornCapacity(uint32_t granaries, uint16_t trade_offices) {
  return ClampI32(static_cast<int64_t>(granaries) * 40000 + static_cast<int64_t>(trade_offices) * 200000);
}

uint16_t KornFillState(int32_t storage, int32_t capacity) {
  if (capacity < 10) return 0;
  const int64_t fill = static_cast<int64_t>(storage) * 10 / (capacity / 10);
  return fill > 75 ? 3 : fill > 50 ? 2 : fill > 25 ? 1 : 0;
}

int32_t KornEmptyHeight(int32_t value, int32_t capacity) {
  int64_t v = value < 0 ? 0 : value, c = capacity < 0 ? 0 : capacity;
  if (v > 10000000) {
    v /= 100;
    c /= 100;
  }
  if (c == 0) return v > 0 ? 0 : kKornBarHeight;
  const int64_t e = kKornBarHeight - v * kKornBarHeight / c;
  return e < 0 ? 0 : e > kKornBarHeight ? kKornBarHeight : static_cast<int32_t>(e);
}

void KornStep(KornLagerData* d, uint32_t from, uint32_t to) {
  if (from > 2 || to > 2 || from == to) return;
  const int32_t amount = d->capacityCopy[from] / 100;
  int32_t take = d->store[from] >= amount ? amount : d->store[from];
  if (take < 0) take = 0;
  const int32_t room = kI32Max - d->store[to];
  if (take > room) take = room;  // a store never passes the i32 range: the rest stays where it was
  d->store[from] -= take;
  d->store[to] += take;
}

int32_t KornGadgetSteps(KornLagerData* d, const char* id) {
  struct Row {
    const char* id;
    uint32_t pairs;
    uint32_t from[2], to[2];
  } static const kRows[] = {
      {"UP00", 1, {KORN_STORAGE, 0}, {KORN_SEED, 0}},
      {"DO00", 1, {KORN_SEED, 0}, {KORN_STORAGE, 0}},
      {"UP01", 2, {KORN_SEED, KORN_FOOD}, {KORN_STORAGE, KORN_STORAGE}},
      {"DO01", 2, {KORN_STORAGE, KORN_STORAGE}, {KORN_SEED, KORN_FOOD}},
      {"UP02", 1, {KORN_STORAGE, 0}, {KORN_FOOD, 0}},
      {"DO02", 1, {KORN_FOOD, 0}, {KORN_STORAGE, 0}},
  };
  for (const Row& r : kRows)
    if (std::strncmp(id, r.id, 4) == 0) {
      for (uint32_t i = 0; i < r.pairs; ++i) KornStep(d, r.from[i], r.to[i]);
      return 1;
    }
  return 0;
}

void KornTypedStore(KornLagerData* d, uint32_t store, int32_t value) {
  if (store > 2) return;
  const int64_t now = value < 0 ? 0 : value;
  int64_t seed = d->store[KORN_SEED], storage = d->store[KORN_STORAGE], food = d->store[KORN_FOOD];
  if (store != KORN_STORAGE) {
    int64_t& own = store == KORN_SEED ? seed : food;
    const int64_t old = own;
    if (now <= old) {
      own = now;
      storage += old - now;
    } else if (storage > now - old) {
      own = now;
      storage -= now - old;
    } else {
      own = old + storage;
      storage = 0;
    }
  } else {
    const int64_t old = storage, diff = now - old;
    const int64_t h = diff >= 0 ? diff / 2 : -((-diff + 1) / 2);  // rounded towards minus infinity
    storage = now;
    if (diff < seed + food) {
      if (seed < h) {
        food = food - 2 * h + seed;
        seed = 0;
      } else if (food < h) {
        seed = seed - 2 * h + food;
        food = 0;
      } else {
        seed -= h;
        food -= h;
      }
    } else {
      storage = seed + food + old;
      seed = 0;
      food = 0;
    }
  }
  d->store[KORN_SEED] = ClampI32(seed);
  d->store[KORN_STORAGE] = ClampI32(storage);
  d->store[KORN_FOOD] = ClampI32(food);
}

uint32_t KornSliderThreshold(int32_t y, int32_t top, int32_t capacity) {
  int32_t rel = y - top;
  rel = rel < 0 ? 0 : rel > kKornBarHeight ? kKornBarHeight : rel;
  const int64_t percent = static_cast<int64_t>(kKornBarHeight - rel) * 100 / kKornBarHeight;
  return static_cast<uint32_t>(percent * (capacity < 0 ? 0 : capacity) / 100);
}

int32_t KornMarkerX(int32_t value) {
  const int32_t v = value < 0 ? 0 : value > 100 ? 100 : value;
  return 223 + 190 * v / 100 - 3;
}

int32_t KornSeedNeed(uint32_t inhabitants) { return ClampI32(static_cast<int64_t>(inhabitants) * 150 / 100 * 4 / 10); }
int32_t KornFoodNeed(uint32_t inhabitants) { return ClampI32(static_cast<int64_t>(inhabitants) * 150 / 100); }

void BuildKornChunk(const KornLagerData* d, uint8_t out[kKornSize]) {
  std::memcpy(out, d->korn, kKornSize);
  std::memcpy(out, "KORNV001", 8);
  ChunkPut32(out, 8, kKornSize - sizeof(ChunkHeader));
  ChunkPut32(out, 12, d->year);
  ChunkPut16(out, 16, d->quarter);
  for (uint32_t i = 0; i < 3; ++i) ChunkPut32(out, 18 + 4 * i, static_cast<uint32_t>(d->store[i]));
  ChunkPut32(out, 30, d->granaries);
  ChunkPut32(out, 36, 20000);
  out[40] = d->weather;
  ChunkPut32(out, 42, d->threshold[0]);
  ChunkPut32(out, 46, d->threshold[1]);
}

void RestoreKornStores(KornLagerData* d) {
  for (uint32_t i = 0; i < 3; ++i) d->store[i] = ClampI32(d->store0[i]);
  d->threshold[0] = d->threshold0[0];
  d->threshold[1] = d->threshold0[1];
  d->pending = -1;
}

// ---- data, graphics, sounds -------------------------------------------------------------

int32_t ReadKornLagerData(KornLagerData* d) {
  d->accountState = ReadAccountState();
  d->pending = -1;
  d->indicator1 = 50;
  d->barHeight = kKornBarHeight;
  std::memset(d->korn, 0, sizeof d->korn);
  if (!OrdersAllowed(d->accountState)) return 1;
  uint8_t* korn = nullptr;
  if (LoadTurnChunk("KORN", &korn) == TURN_CHUNK_FAILED) {
    DebugLog("ReadKornLagerData : Konnte KornChunk nicht \xF6" "ffnen !");
    return 0;
  }
  if (korn) {
    // As far as the chunk reaches; a short one leaves zeros.
    const uint32_t have = ChunkLength(korn) + sizeof(ChunkHeader);
    std::memcpy(d->korn, korn, have < kKornSize ? have : kKornSize);
    FreeChunk(korn);
    const int32_t capacity = KornCapacity(ChunkGet32(d->korn, 30), ChunkGet16(d->korn, 50));
    for (uint32_t i = 0; i < 3; ++i) {
      d->store0[i] = ChunkGet32(d->korn, 18 + 4 * i);
      d->store[i] = ClampI32(d->store0[i]);
      d->capacityCopy[i] = capacity;
    }
    d->barCapacity = capacity;
    d->granaries = ChunkGet32(d->korn, 30);
    const int32_t w = static_cast<int8_t>(d->korn[40]);
    d->weather = static_cast<uint8_t>(w < 0 ? 0 : w > 6 ? 6 : w);
    d->weatherHalf = d->weather / 2;
    d->threshold[0] = d->threshold0[0] = ChunkGet32(d->korn, 42);
    d->threshold[1] = d->threshold0[1] = ChunkGet32(d->korn, 46);
    d->year = static_cast<uint16_t>(ChunkGet32(d->korn, 12));
    d->quarter = ChunkGet16(d->korn, 16);
  }
  if (IsChunkInFile(ChunkBit(CHUNK_LAND), kIn) == 1) {
    uint8_t* land = LoadChunk2Mem("LAND", kIn);
    if (!land) {
      DebugLog("ReadKornLagerData : Konnte LandChunk nicht \xF6" "ffnen !");
      return 0;
    }
    if (ChunkLength(land) + sizeof(ChunkHeader) >= 66) {
      d->inhabitants = ChunkGet32(land, 14);
      const uint32_t faith = ChunkGet32(land, 62);
      d->indicator2 = static_cast<int32_t>((faith > 500 ? 500 : faith) * 100 / 500);
    }
    FreeChunk(land);
  }
  // The duller palette of bad weather: a palette display only (a deeper
  // one keeps the pixels drawn before the change, so half the hall would
  // stay bright).
  if (d->weather >= 4 && DisplayDepth() == 8) {
    SetElmorPalette(kGfx, kDullPalette, 0, 256, 0);
    d->dulled = 1;
  }
  return 1;
}

int32_t WriteKornLagerData(KornLagerData* d) {
  if (!OrdersAllowed(d->accountState)) return 1;
  uint8_t* chunk = AllocChunk("KORN", "V001", kKornSize - sizeof(ChunkHeader));
  if (!chunk) {
    DebugLog("WriteKornLagerData: Konnte Speicher f\xFC" "r Reichsdaten nicht allokieren...\n");
    return 0;
  }
  BuildKornChunk(d, chunk);
  const int32_t ok = AddChunkPool(chunk, kOut) ? 1 : 0;
  FreeChunk(chunk);
  if (!ok) return 0;
  BuildKornChunk(d, d->korn);
  for (uint32_t i = 0; i < 3; ++i) d->store0[i] = static_cast<uint32_t>(d->store[i]);
  d->threshold0[0] = d->threshold[0];
  d->threshold0[1] = d->threshold[1];
  DebugLog("WriteKornLagerData: Saat %d Lager %d Nahrung %d Schwellen %u %u\n", d->store[0], d->store[1],
           d->store[2], d->threshold[0], d->threshold[1]);
  return 1;
}

int32_t LoadKornLagerGfx(KornLagerData* d) {
  for (uint32_t i = 0; i < 6; ++i)
    if (OpenElmorGfx(kGfx, kGraphics[i]) != 1) {
      DebugLog("LoadKornLagerGfx : Konnte Grafik nicht \xF6" "ffnen!\n");
      while (i--) CloseElmorGfx(kGraphics[i]);
      return 0;
    }
  d->gfxOpen = 1;
  if (d->weatherHalf == 2 || d->weatherHalf == 3) {
    const uint32_t id = d->weatherHalf == 2 ? kRainGfx : kStormGfx;
    if (!BlitObjekt(nullptr, id, kWeatherX, kWeatherY, 0, 0)) DebugLog("LoadKornLagerGfx : Konnte Grafik nicht laden!\n");
  }
  return 1;
}

void FreeKornLagerGfx(KornLagerData* d) {
  if (!d->gfxOpen) return;
  for (uint32_t i = 6; i-- > 0;) CloseElmorGfx(kGraphics[i]);
  d->gfxOpen = 0;
}

int32_t LoadKornLagerSfx(KornLagerData* d) {
  for (uint32_t i = 0; i < 3; ++i)
    if (OpenElmorSfx(kSfx, kSounds[i]) != 1) {
      DebugLog("LoadKornLagerGfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
      while (i--) CloseElmorSfx000(kSounds[i]);
      return 0;
    }
  d->sfxOpen = 1;
  return 1;
}

void CloseKornLagerSfx(KornLagerData* d) {
  if (!d->sfxOpen) return;
  for (uint32_t id : kSounds) CloseElmorSfx000(id);
  d->sfxOpen = 0;
}

// ---- drawing ---------------------------------------------------------------------------

int32_t SetKornImages(KornLagerData* d) {
  if (!d->heapsSaved) {
    for (uint32_t k = 0; k < 2; ++k) {
      d->heapSaved[k] = SaveBackground(kHeapX[k], kHeapY[k], kHeapW[k], kHeapH);
      if (!d->heapSaved[k]) {
        DebugLog("SetKornImages: Konnte Bereich %u der Kornkammer nicht retten !\n", k + 1);
        return 0;
      }
    }
    d->heapsSaved = 1;
  }
  const uint16_t state = KornFillState(d->store[KORN_STORAGE], d->capacityCopy[KORN_STORAGE]);
  if (state == d->fillState) return 1;
  d->fillState = state;
  DebugLog("SetKornImages: F\xFCllstand %u\n", state);
  RastPort* rp = ScreenRastPort();
  for (uint32_t k = 0; k < 2; ++k) {
    if (state == 0) {
      if (rp) BltBitMapRastPort(d->heapSaved[k], 0, 0, rp, kHeapX[k], kHeapY[k], kHeapW[k], kHeapH);
    } else {
      BlitObjekt(nullptr, kHeapGfx[k] + state - 1, kHeapX[k], kHeapY[k], kHeapW[k], kHeapH);
    }
    if (rp) ShowScreenRect(rp, kHeapX[k], kHeapY[k], kHeapW[k], kHeapH);
  }
  return 1;
}

void MoveKorn(const ScreenRegion* layout, KornLagerData* d, uint32_t store, int32_t direction) {
  if (store > 2) return;
  if (direction < 0 && d->pending < 0) {
    const int32_t amount = d->capacityCopy[store] / 100;
    const int32_t take = d->store[store] >= amount ? amount : d->store[store];
    d->pending = take < 0 ? 0 : take;
    d->store[store] -= d->pending;
  } else if (direction > 0 && d->pending >= 0) {
    const int32_t room = kI32Max - d->store[store];
    const int32_t put = d->pending > room ? room : d->pending;
    d->store[store] += put;
    d->pending = -1;
  }
  int32_t x1, y1, x2, y2;
  if (!layout || !Track(layout, TRACK_BAR + store, &x1, &y1, &x2, &y2)) return;
  const int32_t e = KornEmptyHeight(d->store[store], d->barCapacity);
  const int32_t w = x2 - x1 + 1, h = y2 - y1 + 1;
  Blit(kEmptyGfx, 0, x1, y1, w, e + 1 < h ? e + 1 : h);
  if (e + 1 < h) Blit(kFullGfx, e + 1, x1, y1 + e + 1, w, h - e - 1);
  if (RastPort* rp = ScreenRastPort()) ShowScreenRect(rp, x1, y1, w, h);
  char text[16];
  std::snprintf(text, sizeof text, "%d", d->store[store]);
  PrintValue(layout, VALUE_STORE + store, text);
  if (store != KORN_STORAGE) DrawKornMarker(d, layout, store);
}

void DrawKornMarker(KornLagerData* d, const ScreenRegion* layout, uint32_t store) {
  if (store == KORN_STORAGE || (store == KORN_SEED && d->quarter != 0)) return;
  int32_t x1, y1, x2, y2;
  if (!Track(layout, TRACK_BAR + store, &x1, &y1, &x2, &y2)) return;
  int32_t y = y1;
  if (OrdersAllowed(d->accountState)) {
    const int32_t need = store == KORN_SEED ? KornSeedNeed(d->inhabitants) : KornFoodNeed(d->inhabitants);
    y += KornEmptyHeight(need, d->barCapacity);
  }
  DebugLog("DrawKornMarker: %u bei %d\n", store, y);
  Triangle(x2 + 1, y, 6, kMarkerPens);
}

void SetKornSlider(KornLagerData* d, const ScreenRegion* layout, int32_t mouse_y, uint32_t slider) {
  if (slider > 1) return;
  int32_t x1, y1, x2, y2;
  if (!Track(layout, TRACK_SLIDER + slider, &x1, &y1, &x2, &y2)) return;
  if (mouse_y) {
    d->threshold[slider] = KornSliderThreshold(mouse_y, y1, d->barCapacity);
    DebugLog("SetKornSlider: Schwelle %u = %u\n", slider + 1, d->threshold[slider]);
  }
  const int32_t kx = x2 + 4, top = y1 - 4;
  RastPort* rp = ScreenRastPort();
  if (rp && d->sliderSaved[slider]) BltBitMapRastPort(d->sliderSaved[slider], 0, 0, rp, kx, top, 9, kKornBarHeight + 9);
  const int32_t value = d->threshold[slider] > static_cast<uint32_t>(kI32Max) ? kI32Max : static_cast<int32_t>(d->threshold[slider]);
  d->knobY[slider] = static_cast<uint16_t>(y1 + KornEmptyHeight(value, d->barCapacity));
  Triangle(kx, d->knobY[slider], 8, kKnobPens);
  if (rp) ShowScreenRect(rp, kx, top, 9, kKornBarHeight + 9);
}

int32_t InitKornLagerRequester(KornLagerData* d) {
  RastPort* rp = ScreenRastPort();
  const ScreenRegion* r = d->req;
  if (!rp || !r) return 0;
  BlitObjekt(nullptr, kRequesterGfx, kReqX, kReqY, kReqW, kReqH);
  for (int32_t x : {0, kColumnStep, 2 * kColumnStep}) {
    BlitObjekt(nullptr, 125, x + kDownX, kArrowY, 16, 16);
    BlitObjekt(nullptr, 123, x + kUpX, kArrowY, 16, 16);
  }
  SetDrMd(rp, 0);
  SetFont(rp, d->helvetica);
  const ScreenRecordList& areas = r->types[LAYOUT_AREA];
  const TextArea* a = static_cast<const TextArea*>(areas.first);
  for (uint32_t i = 0; a && i < areas.count; ++i)
    if (a[i].text) PrintTextOutlined(rp, a[i].x1, a[i].y1, a[i].x2, a[i].y2, a[i].text, 0, kPenInk, kAreaFlags);
  for (uint32_t s = 0; s < 3; ++s) MoveKorn(r, d, s, 0);
  char text[24];
  std::snprintf(text, sizeof text, "%d", d->year);
  PrintValue(r, VALUE_YEAR, text);
  PrintValue(r, VALUE_QUARTER, GetCatalogStr(kQuarterText + (d->quarter > 3 ? 3 : d->quarter)));
  SetFont(rp, d->elmor);
  std::snprintf(text, sizeof text, "%u", d->granaries);
  PrintTextOutlined(rp, kCountX1, kCountY1, kCountX2, kCountY2, text, 0, kPenInk, kAreaFlags);
  BlitObjektMask(nullptr, kMarkerGfx, 0, KornMarkerX(d->indicator1), kScale1Y, kMarkerW, kMarkerH);
  BlitObjektMask(nullptr, kMarkerGfx, 0, KornMarkerX(d->indicator2 > 500 ? 500 : d->indicator2), kScale2Y, kMarkerW,
                 kMarkerH);
  SetFont(rp, d->helvetica);
  RestoreMouseGadgets(nullptr, d->req);
  ShowScreenRect(rp, kReqX, kReqY, kReqW, kReqH);
  // The requester behind the knobs, then the knobs.
  for (uint32_t s = 0; s < 2; ++s) {
    int32_t x1, y1, x2, y2;
    if (!Track(r, TRACK_SLIDER + s, &x1, &y1, &x2, &y2)) continue;
    d->sliderSaved[s] = SaveBackground(x2 + 4, y1 - 4, 9, kKornBarHeight + 9);
    if (!d->sliderSaved[s]) {
      DebugLog("KornLagerRequester: Kann KornRequester nicht initialisieren !\n");
      return 0;
    }
    SetKornSlider(d, r, 0, s);
  }
  return 1;
}

int32_t KornLagerRequester(KornLagerData* d) {
  d->req = GetScreenRegion(kRequesterLayout, 55);
  if (!d->req) {
    DebugLog("KornLagerRequester: Kann TitelbarDaten nicht laden!\n");
    return 0;
  }
  RainDriverBox(&d->rain, kRainRequester);
  BitMap* saved = SaveBackground(kReqX, kReqY, kReqW, kReqH);
  d->threshold0[0] = d->threshold[0];
  d->threshold0[1] = d->threshold[1];
  d->pending = -1;
  int32_t ok = saved && InitKornLagerRequester(d);
  if (!ok) DebugLog("KornLagerRequester: Kann KonrRequester nicht initialisieren !\n");
  if (ok) SfxPlayer000(kPourSound, 0, 1);
  const ScreenRecordList& titles = d->req->types[LAYOUT_TEXTAREA];
  bool done = !ok;
  KeyScope keys;  // a key held from before the requester does not answer it
  while (!done) {
    if (titles.count) CheckTitleBar(static_cast<const TextArea*>(titles.first), d->elmor, kTitlePen);
    const int32_t event = WaitEvent(WE_TICKS);
    if (event == WE_TICK && !MotionBusy.load()) RainDriverTick(&d->rain);
    Gadget* g = HandleGadgetEvent(nullptr, d->req, static_cast<uint32_t>(event));
    if (WindowCloseRequested()) {
      RestoreKornStores(d);  // the close leaves by EXIT's way
      break;
    }
    if (!g) continue;
    if (KornGadgetSteps(d, g->id)) {
      for (uint32_t s = 0; s < 3; ++s) MoveKorn(d->req, d, s, 0);
      DebugLog("KornLagerRequester: %.4s -> %d %d %d\n", g->id, d->store[0], d->store[1], d->store[2]);
    } else if (GadgetIs(g, "BLU1") || GadgetIs(g, "BLU2")) {
      SetKornSlider(d, d->req, GetMouseY(), GadgetIs(g, "BLU1") ? 0 : 1);
    } else if (GadgetIs(g, "BOX1") || GadgetIs(g, "BOX2") || GadgetIs(g, "BOX3")) {
      const uint32_t s = static_cast<uint32_t>(g->id[3] - '1');
      const int32_t typed = TypedNumberEntry(d->req, g, d->store[s], kEntryText, kEntryBack);
      KornTypedStore(d, s, typed);
      DebugLog("KornLagerRequester: Eingabe %u = %d -> %d %d %d\n", s + 1, typed, d->store[0], d->store[1], d->store[2]);
      for (uint32_t k = 0; k < 3; ++k) MoveKorn(d->req, d, k, 0);
    } else if (GadgetIs(g, "INFO")) {
      RainDriverBox(&d->rain, kRainHelp);
      SleepMs(2);
      TextBox(GetCatalogStr(kHelpText));
      RainDriverBox(&d->rain, kRainRequester);
    } else if (GadgetIs(g, "OKOK")) {
      // A failed write is told; the requester stays, so the lord may try
      // again or leave by EXIT.
      if (WriteKornLagerData(d)) {
        done = true;
      } else {
        DebugLog("Konnte Game-Daten nicht abspeichern ! B\xF6ser Fehler !\n");
        RainDriverBox(&d->rain, kRainHelp);
        ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(kWriteFailedText), kPenInk);
        RainDriverBox(&d->rain, kRainRequester);
      }
    } else if (GadgetIs(g, "EXIT")) {
      RestoreKornStores(d);
      done = true;
    }
  }
  StopSfx(kPourSound);
  for (uint32_t s = 0; s < 2; ++s) {
    if (d->sliderSaved[s]) FreeBitMap(d->sliderSaved[s]);
    d->sliderSaved[s] = nullptr;
  }
  if (saved) RestoreBackground(saved, kReqX, kReqY, kReqW, kReqH);
  FreeMouseGadgetImages(d->req);
  FreeScreenRegion(d->req);
  d->req = nullptr;
  if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->elmor);
  RainDriverBox(&d->rain, nullptr);
  return ok ? 1 : 0;
}

// ---- the screen ------------------------------------------------------------------------

int32_t KornlagerScreen(int32_t) {
  PlayScreenCdTrack(7);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "KornlagerScreen: Konnte Pic nicht laden!\n");
    CloseScreenBase(&base, -1);
    return -1;
  }
  auto* d = static_cast<KornLagerData*>(AllocVec(sizeof(KornLagerData), MEMF_PUBLIC | MEMF_CLEAR));
  auto release = [&](int32_t next) {
    if (d) {
      RainDriverStop(&d->rain);
      StopSfx(kMeadowSound);
      CloseFont(d->helvetica);
      for (BitMap* b : d->heapSaved)
        if (b) FreeBitMap(b);
      CloseKornLagerSfx(d);
      FreeKornLagerGfx(d);
      if (d->dulled) SetElmorPalette(nullptr, 0, 0, 256, 0);
    }
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return release(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "KornlagerScreen: Kein Speicher f\xFC" "r Kornlagerdaten frei!\n");
  if (!ReadKornLagerData(d)) return fail(SCREEN_STEP_DATA, "KornlagerScreen: Kann lokale Daten nicht initialisieren !\n");
  if (!LoadKornLagerGfx(d)) return fail(SCREEN_STEP_GRAPHICS, "KornlagerScreen: Konnte Grafiken nicht laden !\n");
  if (!LoadKornLagerSfx(d)) return fail(SCREEN_STEP_SOUNDS, "LoadKornLagerGfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
  if (!SetKornImages(d)) return fail(SCREEN_STEP_GRAPHICS, "KornlagerScreen: Konnte Grafiken nicht retten !\n");
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Kornlager.dat", 3))
    return fail(SCREEN_STEP_LAYOUT, "KornlagerScreen: Kann TitelbarDaten nicht laden!\n");
  d->region = base.region;
  d->helvetica = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!d->helvetica) return fail(SCREEN_STEP_FONT, "OptionScreen: Konnte Font nicht laden!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt")) return fail(SCREEN_STEP_FONT, "Konnte Elmor-Font nicht \xF6" "ffnen !");
  d->elmor = base.font;
  if (RastPort* rp = ScreenRastPort()) {
    SetAPen(rp, kPenInk);
    SetDrMd(rp, 0);
  }
  InitRainDriver(&d->rain, d->weather, kRainBase);
  ShowScreenBase(&base);
  SfxPlayer000(kMeadowSound, 0, 1);
  // The granary: the first rectangle after the title bar opens the requester.
  const ScreenRecordList& texts = d->region->types[LAYOUT_TEXTAREA];
  const TextArea* granary = texts.count > 1 ? &static_cast<const TextArea*>(texts.first)[1] : nullptr;

  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (event == WE_TICK && !MotionBusy.load()) {
      const int32_t was = d->rain.rain != nullptr;
      RainDriverTick(&d->rain);
      // The meadow rests while it rains.
      if (!was && d->rain.rain) StopSfx(kMeadowSound);
      if (was && !d->rain.rain) SfxPlayer000(kMeadowSound, 0, 1);
    }
    if (g && (GadgetIs(g, "EXIT") || GadgetIs(g, "TOWN"))) {
      next = kTownView;
    } else if (!g && event == WE_LEFT_DOWN && granary) {
      const int32_t x = GetMouseX(), y = GetMouseY();
      if (x >= granary->x1 && x <= granary->x2 && y >= granary->y1 && y <= granary->y2) {
        const int32_t shown = KornLagerRequester(d);
        d->region->buttonUp = 1;  // the requester took the press's release
        SetKornImages(d);
        if (!shown) next = kTownView;
      }
    }
  } while (ScreenBaseStays(&next, kTownView));
  return release(next);
}
