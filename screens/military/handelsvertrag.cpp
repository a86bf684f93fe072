// The trade form of the diplomacy screen: the lord offers goods to another
// lord for a number of quarters, calls for offers, and looks at and accepts
// the offers other lords sent him. The records and their checks are
// vertrag.cpp's; this file is the form: the goods list, the three values
// with their accelerating arrows, clamps and typed entry, the goods picture
// and the two states. See diplomat.h.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "screens/common/numberentry.h"
#include "screens/military/diplomat.h"
#include "screens/military/diplomat_internal.h"

namespace {

const char kGoodsFile[] = ".\\Data\\WarenChunk.qoe";
const char kName[] = "DiplomatScreenTradeContracts";
// The goods box and its slider, the goods picture (fixed places of picture 274).
constexpr int32_t kGoodsX = 311, kGoodsY = 77, kGoodsW = 115, kGoodsH = 311;
constexpr int32_t kGoodsSliderX = 436, kGoodsSliderY = 108, kGoodsSliderW = 16, kGoodsSliderH = 250;
constexpr int32_t kPicX = 464, kPicY = 75, kPicW = 160, kPicH = 120;
constexpr uint32_t kPicPen = 0, kEntryBack = 22, kEntryText = 7, kTitleText = 7;
constexpr uint32_t kTitleRect = 2, kRestartTicks = 10;
constexpr uint32_t kMaxText = 940, kAcceptQuestion = 945, kHeading = 277;
// The captions of BU20 and BU21 in the two states: offer / offers, back / accept.
constexpr uint32_t kOfferCaption = 207, kOffersCaption = 66, kBackCaption = 31, kAcceptCaption = 1361;
constexpr uint32_t kHeraldsCaption = 1628, kResetCaption = 1629;
constexpr uint32_t kU32Max = 0xFFFFFFFFu;

bool Own(const DiplomatScreenData* d) { return d->mode == 0; }

uint32_t* ValueOf(DiplomatScreenData* d, uint32_t field) {
  switch (field) {
    case TRADE_FIELD_TURNS: return &d->turns;
    case TRADE_FIELD_AMOUNT: return &d->amount;
    default: return &d->price;
  }
}

// A value into its field of the layout (when the form is on the screen).
void PrintValue(DiplomatScreenData* d, uint32_t field, uint64_t value) {
  const ValueField* v = d->layout ? GetLayoutValue(d->layout, field) : nullptr;
  RastPort* rp = ScreenRastPort();
  if (!v || !rp) return;
  char text[24];
  std::snprintf(text, sizeof text, "%" PRIu64, value);
  SetFont(rp, d->fontList);
  PrintTextOutlined(rp, v->x1, v->y1, v->x2, v->y2, text, v->fillPen, v->textPen, v->flags | PTO_FILL);
  ShowScreenRect(rp, v->x1, v->y1, v->x2 - v->x1 + 1, v->y2 - v->y1 + 1);
}

void ClearStock(DiplomatScreenData* d) {
  const ValueField* v = d->layout ? GetLayoutValue(d->layout, TRADE_FIELD_STOCK) : nullptr;
  if (v) DiplomatFillRect(v->x1, v->y1, v->x2, v->y2, v->fillPen);
}

void Tell(uint32_t id) { DiplomatMessage(0, GetCatalogStr(id)); }

void StateCaptions(DiplomatScreenData* d) {
  DiplomatButtonCaption(d, "BU20", Own(d) ? kOfferCaption : kBackCaption);
  DiplomatButtonCaption(d, "BU21", Own(d) ? kOffersCaption : kAcceptCaption);
}

void StopGoodsMovie(DiplomatScreenData* d) {
  if (d->goodsMovie) StopMovie(d->movieBase, d->goodsMovie);
  d->goodsMovie = nullptr;
}

void ClearPicture(DiplomatScreenData* d) {
  if (d->layout) DiplomatFillRect(kPicX, kPicY, kPicX + kPicW - 1, kPicY + kPicH - 1, kPicPen);
}

// The goods box's place without its lines.
void ClearGoodsBox(DiplomatScreenData* d) {
  if (d->layout) DiplomatFillRect(kGoodsX, kGoodsY, kGoodsX + kGoodsW - 1, kGoodsY + kGoodsH - 1, kDiplomatListBack);
}

// The goods type's animation, or its still picture, in the picture area.
void ShowGoods(DiplomatScreenData* d, uint32_t goods) {
  if (!d->layout || !ScreenRastPort()) return;
  ClearPicture(d);
  const WarenZeile* row = GetWarenZeile(goods);
  const uint32_t pic = row ? static_cast<uint32_t>(row->picture) : 0;
  if (!pic) {
    StopGoodsMovie(d);
    return;
  }
  d->goodsMovie = d->movieBase ? AnimateWare(d->movieBase, d->goodsMovie, static_cast<uint16_t>(goods), kPicX, kPicY)
                               : nullptr;
  if (d->goodsMovie) return;
  SetElmorPalette(".\\Data\\Path", pic, 240, 16, 0);
  BlitObjekt(nullptr, pic, kPicX, kPicY, kPicW, kPicH);
  ShowScreenRect(ScreenRastPort(), kPicX, kPicY, kPicW, kPicH);
}

// The goods box over count lines: made, or given the new lines.
bool ShowGoodsLines(DiplomatScreenData* d, const char* lines, uint32_t count) {
  if (d->goodsReq) {
    d->goodsReq->selected = kNoEntry;
    return UpdateRequesterText(d->goodsReq, lines, count) != nullptr;
  }
  d->goodsReq = InitRequesterBox(kGoodsW, count, d->fontList, lines, kGoodsX, kGoodsY, kGoodsW, kGoodsH,
                                 kDiplomatListBack, kDiplomatListText);
  if (!d->goodsReq) return false;
  InitSlider(d->goodsReq, kGoodsSliderW, kGoodsSliderH, 26, 22, 25, 24, kGoodsSliderX, kGoodsSliderY);
  return true;
}

void Heading(DiplomatScreenData* d) {
  LayoutRect r{};
  RastPort* rp = ScreenRastPort();
  if (!rp || !d->layout || !GetLayoutRect(d->layout, kTitleRect, &r)) return;
  SetFont(rp, d->fontTitle);
  PrintTextOutlined(rp, r.x1, r.y1, r.x2, r.y2, GetCatalogStr(kHeading), 0, kTitleText,
                    PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  ShowScreenRect(rp, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
  SetFont(rp, d->fontList);
}

// turns and amount within the maximum: amount x turns never above it, turns
// 1..65535 (amount gives way when one quarter already passes the maximum).
void ClampTurns(DiplomatScreenData* d, int64_t t) {
  if (d->amount && static_cast<uint64_t>(d->amount) * static_cast<uint64_t>(t) > d->maximum)
    t = static_cast<int64_t>(d->maximum / d->amount);
  else if (static_cast<uint64_t>(t) > d->maximum)
    t = static_cast<int64_t>(d->maximum);
  if (t < 1) t = 1;
  if (t > kTradeTurnsMax) t = kTradeTurnsMax;
  d->turns = static_cast<uint32_t>(t);
}

void ClampAmount(DiplomatScreenData* d, int64_t a) {
  if (a < 0) a = 0;
  if (static_cast<uint64_t>(a) > d->maximum) a = static_cast<int64_t>(d->maximum);
  if (static_cast<uint64_t>(a) > kU32Max) a = kU32Max;
  const uint64_t turns = d->turns ? d->turns : 1;
  if (static_cast<uint64_t>(a) * turns > d->maximum) a = static_cast<int64_t>(d->maximum / turns);
  d->amount = static_cast<uint32_t>(a);
}

bool IsPress(int64_t delta) { return delta >= -1 && delta <= 1; }

// The goods box's line under the mouse: a goods or an offer line.
void PickGoods(DiplomatScreenData* d) {
  const int32_t k = DiplomatPickLine(d->goodsReq);
  if (k < 0) return;
  d->selGoods = static_cast<int16_t>(k);
  SetWarenWerte(d);
}

void FreeForm(DiplomatScreenData* d) {
  FreeRequesterBox(d->goodsReq);
  d->goodsReq = nullptr;
  FreeVec(d->goodsLines);
  d->goodsLines = nullptr;
  FreeVec(d->offerLines);
  d->offerLines = nullptr;
  d->goodsCount = 0;
  DeleteList(d->goodsList, 0);
  d->goodsList = nullptr;
}

}  // namespace

void ChangeTradeContractTurns(DiplomatScreenData* d, int64_t delta) {
  const uint64_t product = static_cast<uint64_t>(d->amount) * d->turns;
  if (IsPress(delta) && delta > 0 && (product >= d->maximum || d->turns >= d->maximum)) {
    if (Own(d)) Tell(kMaxText);
    return;
  }
  ClampTurns(d, static_cast<int64_t>(d->turns) + delta);
  PrintValue(d, TRADE_FIELD_TURNS, d->turns);
}

void ChangeTradeContractAmount(DiplomatScreenData* d, int64_t delta) {
  const uint64_t product = static_cast<uint64_t>(d->amount) * d->turns;
  if (IsPress(delta) && Own(d) && ((d->amount == d->maximum && delta == 1) || product > d->maximum)) Tell(kMaxText);
  ClampAmount(d, static_cast<int64_t>(d->amount) + delta);
  PrintValue(d, TRADE_FIELD_AMOUNT, d->amount);
}

void ChangeTradeContractPrice(DiplomatScreenData* d, int64_t delta) {
  int64_t p = static_cast<int64_t>(d->price) + delta;
  if (p < 0) p = 0;
  if (p > kU32Max) p = kU32Max;
  d->price = static_cast<uint32_t>(p);
  PrintValue(d, TRADE_FIELD_PRICE, d->price);
}

void StepTradeContractValue(DiplomatScreenData* d, uint32_t which) {
  if (which > TRADE_PRICE_UP || !Own(d)) return;  // a received offer is not changed by the arrows
  uint32_t& count = d->stepCounters[which];
  if (count < kU32Max) ++count;
  d->stepCounters[which ^ 1u] = 0;
  d->ticks = 0;
  const uint32_t field = which / 2;
  const bool up = which & 1u;
  int64_t delta = 0;
  if (up) {
    delta = count <= 20 ? 1 : 10 + (count > 40 ? 100 : 0) + (count > 60 ? 1000 : 0);
  } else {
    int64_t v = *ValueOf(d, field);
    if (count <= 20) {
      if (v >= (field == TRADE_FIELD_TURNS ? 2 : 1)) delta = -1;
    } else if (v >= 11) {
      delta = -10;
      v -= 10;
      if (count > 40 && v >= 101) {
        delta -= 100;
        v -= 100;
        if (count > 60 && v >= 1001) delta -= 1000;
      }
    }
  }
  switch (field) {
    case TRADE_FIELD_TURNS: ChangeTradeContractTurns(d, delta); break;
    case TRADE_FIELD_AMOUNT: ChangeTradeContractAmount(d, delta); break;
    default: ChangeTradeContractPrice(d, delta); break;
  }
}

void TradeContractTick(DiplomatScreenData* d) {
  if (d->ticks < 0xFFFF) ++d->ticks;
  if (d->ticks > kRestartTicks) std::memset(d->stepCounters, 0, sizeof d->stepCounters);
}

uint32_t ParseTradeContractValue(const char* text, uint32_t limit) {
  if (!text) return 0;
  const char* p = text;
  while (*p == ' ') ++p;
  const bool negative = *p == '-';
  if (negative) ++p;
  uint64_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + static_cast<uint64_t>(*p - '0');
    if (v > limit) v = static_cast<uint64_t>(limit) + 1;  // stays above the limit, never wraps
  }
  if (negative) return 0;
  return v > limit ? limit : static_cast<uint32_t>(v);
}

void ApplyTradeContractValue(DiplomatScreenData* d, uint32_t field, uint32_t value) {
  switch (field) {
    case TRADE_FIELD_TURNS: {
      const uint64_t t = value ? value : 1;
      ClampTurns(d, static_cast<int64_t>(static_cast<uint64_t>(d->amount) * t <= d->maximum
                                             ? (t < d->maximum ? t : d->maximum)
                                             : d->maximum / d->amount));
      PrintValue(d, TRADE_FIELD_TURNS, d->turns);
      break;
    }
    case TRADE_FIELD_AMOUNT:
      ClampAmount(d, value);
      PrintValue(d, TRADE_FIELD_AMOUNT, d->amount);
      break;
    case TRADE_FIELD_PRICE:
      d->price = value;
      PrintValue(d, TRADE_FIELD_PRICE, d->price);
      break;
    default:
      break;
  }
}

void EnterTradeContractValue(DiplomatScreenData* d, uint32_t field) {
  static const char* const kEntries[3] = {"ST20", "ST21", "ST22"};
  if (field > TRADE_FIELD_PRICE || !d->layout) return;
  const Gadget* box = FindGadget(d->layout, kEntries[field]);
  const EntryField* e = GetLayoutEntry(d->layout, field);
  if (!box) return;
  if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->fontList);
  const uint32_t max_len = e && e->maxLength ? e->maxLength : (uint32_t)kNumberEntryMaxText;
  char start[24], text[kNumberEntryMaxText + 1];
  std::snprintf(start, sizeof start, "%lu", static_cast<unsigned long>(*ValueOf(d, field)));
  DiplomatFillRect(box->x1, box->y1, box->x2, box->y2, kEntryBack);
  const bool typed = TypedNumberText(d->layout, box, start, max_len, kEntryText, kEntryBack, text) == 1;
  const uint32_t limit = field == TRADE_FIELD_TURNS ? kTradeTurnsMax : kU32Max;
  ApplyTradeContractValue(d, field, typed ? ParseTradeContractValue(text, limit) : *ValueOf(d, field));
}

int32_t InitAllThingsDiplomatie(DiplomatScreenData* d, uint32_t mode) {
  if (mode != 2) return 1;
  if (d->layout) {  // the goods animations play over the form's picture
    d->movieBase = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
    if (!d->movieBase) {
      DebugLog("InitAllThingsDiplomatie : AllocMovieBase fehlgeschlagen...\n");
      return 0;
    }
  }
  d->selPlayer = -1;
  d->selGoods = -1;
  d->maximum = 1;
  d->turns = d->amount = d->price = 0;
  ChangeTradeContractTurns(d, 1);
  ChangeTradeContractAmount(d, 1);
  ChangeTradeContractPrice(d, 0);
  Heading(d);
  StateCaptions(d);
  DiplomatButtonCaption(d, "BU22", kHeraldsCaption);
  DiplomatButtonCaption(d, "BU23", kResetCaption);
  return 1;
}

int32_t InitWarenRequester(DiplomatScreenData* d) {
  RegisterGameDataListTypes();
  d->goodsList = CreateList(LIST_GOODS);
  if (!d->goodsList) {
    DebugLog("InitWarenRequester : Konnte Liste nicht anlegen...\n");
    return 0;
  }
  // No goods file: an empty box, no error.
  if (!DiplomatScanFile(d->goodsList, kGoodsFile, "WARE", ScanWare2List,
                        "InitWarenRequester : Konnte WarenChunk nicht einladen...\n",
                        "InitWarenRequester : Konnte WarenListe nicht einscannen...\n"))
    return 0;
  const uint32_t corn = d->corn > 0 ? 1 : 0;
  const uint32_t count = corn + CountWarenNodes(d->goodsList, WARE_LAGER);
  d->goodsLines = static_cast<char*>(AllocVec((count ? count : 1) * kDiplomatLineSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->goodsLines) {
    DebugLog("InitWarenRequester : Konnte Speicher f\xFCr WarenBuffer nicht allokieren...\n");
    return 0;
  }
  for (uint32_t k = 0; k < count; ++k) {
    const WarenListenEntry* w = k < corn ? nullptr : FindWarenNode(d->goodsList, k - corn, WARE_LAGER);
    std::snprintf(d->goodsLines + k * kDiplomatLineSize, kDiplomatLineSize, "%s", GetWarenName(w ? w->goods : 0));
  }
  d->goodsCount = static_cast<uint16_t>(count);
  if (count && d->layout && !ShowGoodsLines(d, d->goodsLines, count)) return 0;
  return 1;
}

int32_t SetWarenWerte(DiplomatScreenData* d) {
  if (d->selGoods < 0) return 1;
  uint32_t goods = 0;
  uint64_t quantity = 0;
  const VertragsEintrag* offer = nullptr;
  if (Own(d)) {
    int64_t available = 0;
    uint16_t closing = 0;
    if (!TradeGoodsOfLine(d, d->selGoods, &goods, &available, &closing)) return 1;
    quantity = available > 0 ? static_cast<uint64_t>(available) : 0;
  } else {
    ListNode* n = d->noOffers ? nullptr : TradeOfferNode(d);
    if (!n) return 1;
    offer = reinterpret_cast<const VertragsEintrag*>(n);
    goods = offer->goods;
    quantity = offer->amount;
  }
  if (!quantity) return 1;  // nothing to trade: the form stays as it is
  ShowGoods(d, goods);
  if (offer) {
    d->turns = offer->duration ? offer->duration : 1;
    d->price = offer->price;
    d->maximum = static_cast<uint64_t>(d->turns) * offer->amount;
    PrintValue(d, TRADE_FIELD_STOCK, d->maximum);
    d->amount = offer->amount;
    ChangeTradeContractTurns(d, 0);
    ChangeTradeContractAmount(d, 0);
    ChangeTradeContractPrice(d, 0);
  } else {
    PrintValue(d, TRADE_FIELD_STOCK, quantity);
    d->maximum = quantity;
    if (d->amount > quantity) d->amount = static_cast<uint32_t>(quantity);
    ChangeTradeContractAmount(d, 0);
  }
  return 1;
}

int32_t AllocVertragsAngebotList(DiplomatScreenData* d) {
  StopGoodsMovie(d);
  ListNode* first = nullptr;
  if (d->contractList && d->contractList->count && !d->noOffers && d->selPlayer >= 0)
    first = VertragLineStart(d, VLIST_OFFERS, static_cast<uint32_t>(d->selPlayer));
  if (!first) {
    if (d->selPlayer >= 0 && d->playerReq) SelectRequesterEntry(d->playerReq, 1, kNoEntry);
    d->selPlayer = -1;
    d->selOffer = nullptr;
    d->selGoods = -1;
    ClearGoodsBox(d);
    ClearPicture(d);
    return 1;
  }
  d->selOffer = first;
  const VertragsEintrag* s = reinterpret_cast<const VertragsEintrag*>(first);
  ListNode* n = first;
  uint32_t index = 0;
  for (ListNode* x = d->contractList->first; x != first; x = x->next) ++index;
  uint32_t count = 0;
  for (uint32_t i = index; i < d->contractList->count; ++i, n = n->next) {
    const VertragsEintrag* v = reinterpret_cast<const VertragsEintrag*>(n);
    if (v->kind != VERTRAG_ANGEBOT || v->sender != s->sender) break;
    ++count;
  }
  FreeVec(d->offerLines);
  d->offerLines = static_cast<char*>(AllocVec(count * kDiplomatLineSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->offerLines) {
    DebugLog("DiplomatScreenTradeContracts: Konnte Warenrequester nicht updaten...\n");
    return 0;
  }
  n = first;
  for (uint32_t k = 0; k < count; ++k, n = n->next)
    std::snprintf(d->offerLines + k * kDiplomatLineSize, kDiplomatLineSize, "%s",
                  GetWarenName(reinterpret_cast<const VertragsEintrag*>(n)->goods));
  d->selGoods = 0;
  if (d->layout) {
    if (!ShowGoodsLines(d, d->offerLines, count)) {
      DebugLog("DiplomatScreenTradeContracts: Konnte Warenrequester nicht updaten...\n");
      return 0;
    }
    SelectRequesterEntry(d->goodsReq, 1, 0, kDiplomatHiBack, kDiplomatHiText);
  }
  return SetWarenWerte(d);
}

void ResetTradeContract(DiplomatScreenData* d) {
  if (d->selPlayer >= 0) {
    if (d->playerReq) SelectRequesterEntry(d->playerReq, 1, kNoEntry);
    d->selPlayer = -1;
  }
  if (d->selGoods >= 0) {
    if (d->goodsReq) SelectRequesterEntry(d->goodsReq, 1, kNoEntry);
    d->selGoods = -1;
    StopGoodsMovie(d);
    ClearPicture(d);
    ClearStock(d);
  }
  d->turns = 1;
  d->amount = 0;
  d->price = 0;
  ChangeTradeContractTurns(d, 0);
  ChangeTradeContractAmount(d, 0);
  ChangeTradeContractPrice(d, 0);
}

void ChangeTradeContractModus(DiplomatScreenData* d) {
  if (!d->playerReq) return;
  d->mode = ~d->mode;
  StopGoodsMovie(d);
  if (!Own(d)) {
    ResetTradeContract(d);
    d->playerReq->selected = kNoEntry;
    if (!UpdateSpielerRequester(d, d->contractLineCount ? d->contractLineCount : 1, d->contractLines, VLIST_OFFERS))
      DebugLog("ChangeTradeContractModus : Konnte Spielerrequester nicht anlegen...\n");
    d->selOffer = nullptr;
    ClearGoodsBox(d);
    ClearPicture(d);
  } else {
    d->playerReq->selected = kNoEntry;
    d->selPlayer = -1;
    d->selOffer = nullptr;
    if (!UpdateSpielerRequester(d, d->playerCount, d->playerLines, 1))
      DebugLog("ChangeTradeContractModus : Konnte Spielerrequester nicht anlegen...\n");
    ClearPicture(d);
    ClearStock(d);
    // The own form starts clean: the line marked among the offers names
    // no goods, and an offer's values are not the lord's.
    d->selGoods = -1;
    d->maximum = 1;
    d->turns = 1;
    d->amount = d->price = 0;
    ChangeTradeContractTurns(d, 0);
    ChangeTradeContractAmount(d, 0);
    ChangeTradeContractPrice(d, 0);
    if (d->goodsCount && d->goodsReq) {
      d->goodsReq->selected = kNoEntry;
      if (!UpdateRequesterText(d->goodsReq, d->goodsLines, d->goodsCount))
        DebugLog("ChangeTradeContractModus : Konnte WarenWerte nicht neu setzen...\n");
    } else {
      FreeRequesterBox(d->goodsReq);
      d->goodsReq = nullptr;
      ClearGoodsBox(d);
    }
  }
  StateCaptions(d);
}

int32_t DiplomatScreenTradeContracts(DiplomatScreenData* d) {
  int32_t result = 0;
  d->mode = 0;
  d->noOffers = 0;
  d->noPlayerList = 0;
  d->selPlayer = -1;
  d->selGoods = -1;
  std::memset(d->stepCounters, 0, sizeof d->stepCounters);
  d->ticks = 0;
  if (!DiplomatEnterSub(d, DIPL_LAYOUT_TRADE, kName)) {
    result = DiplomatSubFailed(nullptr);
  } else if (!AllocSpielerList(d)) {
    result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte SpielerListe nicht anlegen !\n");
  } else if (!AllocVertragList(d, VLIST_OFFERS)) {
    result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte VertragListe nicht anlegen !\n");
  } else if (!InitAllThingsDiplomatie(d, 2)) {
    result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte Dinge nicht initialisieren !\n");
  } else if (!UpdateSpielerRequester(d, d->playerCount, d->playerLines, 1)) {
    result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte SpielerRequester nicht anlegen !\n");
  } else if (!InitWarenRequester(d)) {
    result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte WarenRequester nicht anlegen !\n");
  } else {
    StartTheTransition();
    static const char* const kArrows[6] = {"BL01", "BR01", "BL02", "BR02", "BL03", "BR03"};
    static const char* const kEntries[3] = {"ST20", "ST21", "ST22"};
    for (bool leave = false; !leave && !WindowCloseRequested();) {
      int32_t event = 0;
      Gadget* g = DiplomatNextGadget(d, &event);
      if (event == WE_TICK) TradeContractTick(d);
      if (!g || DiplomatScroll(g, "20", d->playerReq) || DiplomatScroll(g, "21", d->goodsReq)) continue;
      if (GadgetIs(g, "EXIT")) {
        leave = true;
        continue;
      }
      bool done = false;
      for (uint32_t k = 0; k < 6 && !done; ++k)
        if (GadgetIs(g, kArrows[k])) {
          done = true;
          StepTradeContractValue(d, k);
        }
      for (uint32_t k = 0; k < 3 && !done; ++k)
        if (GadgetIs(g, kEntries[k])) {
          done = true;
          EnterTradeContractValue(d, k);
        }
      if (done) continue;
      if (GadgetIs(g, "BU20")) {
        if (!Own(d)) ChangeTradeContractModus(d);
        else if (!SendVertrag(d, VERTRAG_ANGEBOT))
          result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte Vertrag nicht senden !\n");
      } else if (GadgetIs(g, "BU21")) {
        if (Own(d)) {
          ChangeTradeContractModus(d);
        } else if (!d->noOffers && TradeOfferNode(d) && DiplomatMessage(1, GetCatalogStr(kAcceptQuestion)) == 0) {
          if (!SendVertrag(d, VERTRAG_ANNAHME))
            result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte Vertrag nicht senden !\n");
        }
      } else if (GadgetIs(g, "BU22")) {
        if (!SendVertrag(d, VERTRAG_AUSSCHREIBUNG))
          result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte Vertrag nicht senden !\n");
      } else if (GadgetIs(g, "BU23")) {
        if (Own(d)) ResetTradeContract(d);
      } else if (GadgetIs(g, "TX20")) {
        // The single "no information" or "no contract offers" line is no choice.
        if (!d->playerReq || (Own(d) ? d->noPlayerList : d->noOffers)) continue;
        const int32_t k = DiplomatPickLine(d->playerReq);
        if (k < 0) continue;
        d->selPlayer = static_cast<int16_t>(k);
        if (!Own(d) && !AllocVertragsAngebotList(d))
          result = DiplomatSubFailed("DiplomatScreenTradeContracts: Konnte Warenrequester nicht updaten...\n");
      } else if (GadgetIs(g, "TX21")) {
        if (!d->goodsReq) continue;
        if (Own(d) ? d->selPlayer >= 0 : !d->noOffers && d->selOffer) PickGoods(d);
      }
    }
  }
  d->mode = 0;
  d->turns = d->amount = d->price = 0;
  ClearPicture(d);
  StopGoodsMovie(d);
  FreeForm(d);
  DiplomatFreeBoxes(d);
  FreeMovieBase(d->movieBase);
  d->movieBase = nullptr;
  if (!FreeVertragList(d)) result = -1;
  FreeSpielerList(d);
  if (!DiplomatLeaveSub(d)) result = -1;
  return result;
}
