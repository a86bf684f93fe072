// The market's lists and drawing: the record of one visit, the stock lines,
// the three requesters with their own-drawn columns, the selection of a
// line, the goods picture, the offer and sale fields, the fixed texts and
// the number areas with the treasury's picture of gold.
#include <cstdio>
#include <cstring>

#include "screens/economy/handel.h"

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "platform/log.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"

namespace {

constexpr uint32_t kLine = kRequesterLineSize;
// Rows of a requester's content bitmap (the bitmap's largest side).
constexpr uint32_t kMaxContentRows = 16384;
constexpr const char* kPath = ".\\Data\\Path";

// Pens of the lists and fields.
enum : uint32_t {
  kPenBack = 6,   // list background (a highlighted line swaps it with the text)
  kPenText = 7,      // captions on the screen's parchment
  kPenListText = 5,  // light parchment: the lists' and fields' text on pen 6
  kPenBox = 22,   // number boxes
  kPenNumber = 21,
  kPenBoxText = 1,  // white: the numbers on the grey boxes
  kPenClear = 0,
};

// Places of the three requesters: x, y, width, height and the slider.
struct ReqPlace {
  int32_t x, y;
  uint32_t w, h;
  uint32_t sliderW, sliderH;
  int32_t sliderX, sliderY;
};
constexpr ReqPlace kPlace[3] = {
    {16, 178, 192, 244, 16, 233, 223, 181},
    {271, 48, 319, 174, 16, 131, 604, 71},
    {271, 306, 182, 94, 16, 52, 465, 328},
};

// Columns of the own-drawn lines, in requester coordinates.
struct Column {
  int32_t x1, x2;
};
constexpr Column kKaufSpalten[2] = {{92, 142}, {143, 191}};
constexpr Column kFremdSpalten[3] = {{144, 204}, {208, 263}, {265, 318}};
constexpr int32_t kTrenner[3] = {141, 205, 262};
constexpr uint32_t kTrennerPens[3] = {25, 29, 30};

// Boxes and text areas of the screen.
struct Rect {
  int32_t x1, y1, x2, y2;
};
constexpr Rect kBildArea = {16, 16, 175, 135};
constexpr Rect kGebotKopf = {271, 229, 435, 243};
constexpr Rect kGebotMengeBox = {460, 229, 490, 243};
constexpr Rect kGebotPreisBox = {537, 229, 567, 243};
constexpr Rect kVerkaufText = {271, 407, 452, 421};
constexpr Rect kVerkaufMengeBox = {292, 448, 323, 461};
constexpr Rect kVerkaufPreisBox = {372, 448, 403, 461};
constexpr Rect kKaufMengeBox = {76, 448, 119, 462};
constexpr Rect kZahlen[6] = {{76, 450, 119, 462}, {292, 460, 322, 470}, {373, 460, 403, 470},
                             {460, 240, 490, 250}, {537, 240, 567, 250}, {535, 389, 599, 403}};
constexpr int32_t kSchatzBildX = 512, kSchatzBildY = 307;
constexpr uint32_t kSchatzBildW = 111, kSchatzBildH = 76;

constexpr uint32_t kPtoBox = PTO_CENTRE | PTO_BASELINE | PTO_FILL | PTO_VCENTRE;  // 45
constexpr uint32_t kPtoColumn = PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE;          // 37

// The screen RastPort's font for one drawing, put back afterwards.
struct ScreenFont {
  RastPort* rp;
  TextFont* old;
  explicit ScreenFont(TextFont* font) : rp(ScreenRastPort()), old(rp ? rp->Font : nullptr) {
    if (rp && font) SetFont(rp, font);
  }
  ~ScreenFont() {
    if (!rp) return;
    if (old)
      SetFont(rp, old);
    else
      rp->Font = nullptr;  // the font given is closed after the drawing
  }
};

// Fills a rectangle of the screen and shows it.
void FillScreen(const Rect& r, uint32_t pen) {
  PrintTextOutlined(nullptr, r.x1, r.y1, r.x2, r.y2, "", pen, pen, PTO_FILL);
}

// Text in a rectangle, cut to its width so it never runs into a neighbour.
void PrintFitted(RastPort* rp, int32_t x1, int32_t y1, int32_t x2, int32_t y2, const char* text, uint32_t fill,
                 uint32_t pen, uint32_t flags) {
  char buf[kLine];
  std::snprintf(buf, sizeof buf, "%s", text ? text : "");
  uint32_t len = (uint32_t)std::strlen(buf);
  const uint32_t width = x2 >= x1 ? (uint32_t)(x2 - x1 + 1) : 0;
  while (len && TextLength(rp, buf, len) > width) buf[--len] = 0;
  PrintTextOutlined(rp, x1, y1, x2, y2, buf, fill, pen, flags);
}

void PrintBox(const Rect& r, const char* text) { PrintFitted(ScreenRastPort(), r.x1, r.y1, r.x2, r.y2, text, kPenBox, kPenBoxText, kPtoBox); }

void PrintBoxNumber(const Rect& r, uint32_t value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%lu", (unsigned long)value);
  PrintBox(r, buf);
}

const char* LineAt(const char* lines, uint32_t count, uint32_t i) {
  return lines && i < count ? lines + (size_t)i * kLine : "";
}

// One line of requester 1 in the given pens: the name, then quantity and price.
void DrawKaufZeile(QoERequester* req, HandelsData* d, uint32_t i, uint32_t back, uint32_t fore) {
  const int32_t top = (int32_t)(i * req->lineHeight), bottom = top + (int32_t)req->lineHeight - 1;
  SetAPen(req->rp, back);
  RectFill(req->rp, 0, top, (int32_t)req->contentWidth - 1, bottom);
  // A name too wide for its column in the list's font takes the smaller
  // one, centred in the line's height, so that it stands whole.
  const char* name = LineAt(d->kaufZeilen[0], d->kaufAnzahl, i);
  const int32_t name_right = kKaufSpalten[0].x1 - 1;
  const uint32_t len = (uint32_t)std::strlen(name);
  if (req->font) SetFont(req->rp, req->font);
  if (d->font9 && len && (int32_t)TextLength(req->rp, name, len) > name_right - 2) {
    SetFont(req->rp, d->font9);
    PrintFitted(req->rp, 2, top, name_right, bottom, name, back, fore, PTO_BASELINE | PTO_VCENTRE);
    if (req->font) SetFont(req->rp, req->font);
  } else {
    PrintFitted(req->rp, 2, top, name_right, bottom, name, back, fore, PTO_TOP);
  }
  for (uint32_t c = 0; c < 2; ++c)
    PrintFitted(req->rp, kKaufSpalten[c].x1, top, kKaufSpalten[c].x2, bottom,
                LineAt(d->kaufZeilen[c + 1], d->kaufAnzahl, i), back, fore, kPtoColumn);
}


// One line of requester 2: the seller's name, the separators, goods name,
// quantity and price (XHelvetica9).
void DrawFremdZeile(QoERequester* req, HandelsData* d, uint32_t i, uint32_t back, uint32_t fore) {
  const int32_t top = (int32_t)(i * req->lineHeight), bottom = top + (int32_t)req->lineHeight - 1;
  SetAPen(req->rp, back);
  RectFill(req->rp, 0, top, (int32_t)req->contentWidth - 1, bottom);
  if (req->font) SetFont(req->rp, req->font);
  PrintFitted(req->rp, 2, top, kTrenner[0] - 1, bottom, LineAt(d->fremdZeilen[0], d->fremdAnzahl, i), back, fore,
              PTO_TOP);
  for (uint32_t s = 0; s < 3; ++s)
    for (int32_t k = 0; k < 3; ++k) {
      SetAPen(req->rp, kTrennerPens[k]);
      RectFill(req->rp, kTrenner[s] + k, top, kTrenner[s] + k, bottom);
    }
  if (d->font9) SetFont(req->rp, d->font9);
  for (uint32_t c = 0; c < 3; ++c)
    PrintFitted(req->rp, kFremdSpalten[c].x1, top, kFremdSpalten[c].x2, bottom,
                LineAt(d->fremdZeilen[c + 1], d->fremdAnzahl, i), back, fore, kPtoColumn);
  if (req->font) SetFont(req->rp, req->font);
}

using ZeileFn = void (*)(QoERequester*, HandelsData*, uint32_t, uint32_t, uint32_t);

// The draw hook (every line, the selected one highlighted) and the mark
// and unmark hooks of an own-drawn requester, from its line drawer.
template <ZeileFn draw>
void DrawAllHook(QoERequester* req, void* data) {
  for (uint32_t i = 0; i < req->lines; ++i) {
    const bool sel = i == req->selected;
    draw(req, static_cast<HandelsData*>(data), i, sel ? kPenListText : kPenBack, sel ? kPenBack : kPenListText);
  }
}
template <ZeileFn draw>
void MarkHook(QoERequester* req, void* data, uint32_t i) {
  draw(req, static_cast<HandelsData*>(data), i, kPenListText, kPenBack);
}
template <ZeileFn draw>
void UnmarkHook(QoERequester* req, void* data, uint32_t i) {
  draw(req, static_cast<HandelsData*>(data), i, kPenBack, kPenListText);
}
constexpr RequesterDrawHook DrawKaufHook = DrawAllHook<DrawKaufZeile>, DrawFremdHook = DrawAllHook<DrawFremdZeile>;
constexpr RequesterEntryHook MarkKauf = MarkHook<DrawKaufZeile>, UnmarkKauf = UnmarkHook<DrawKaufZeile>;
constexpr RequesterEntryHook MarkFremd = MarkHook<DrawFremdZeile>, UnmarkFremd = UnmarkHook<DrawFremdZeile>;

void FreeLines(char** lines) {
  FreeVec(*lines);
  *lines = nullptr;
}

int16_t* SelectionOf(HandelsData* d, uint32_t which) {
  return which == HANDEL_KAUF ? &d->kaufAuswahl : which == HANDEL_FREMD ? &d->angebotAuswahl : &d->verkaufAuswahl;
}

// Makes requester which with its lines the first time, else gives it the
// new lines (the selection dropped, scroll position and slider kept).
bool BuildRequester(HandelsData* d, uint32_t which, const char* lines, uint32_t count) {
  const ReqPlace& p = kPlace[which];
  QoERequester*& req = d->req[which];
  *SelectionOf(d, which) = -1;
  // A requester's content is one bitmap of at most kMaxContentRows rows:
  // longer lists show their first lines (in list order, so a line still
  // names its node).
  TextFont* font = which == HANDEL_EIGEN ? d->font9 : d->font11;
  const uint32_t most = kMaxContentRows / ((font ? font->YSize : 8u) + 1u);
  if (count > most) {
    DebugLog("Handel: Requester %u zeigt %u von %u Zeilen\n", which + 1, most, count);
    count = most;
  }
  if (req) {
    req->selected = kNoEntry;
    return UpdateRequesterText(req, lines, count) != nullptr;
  }
  if (which == HANDEL_EIGEN)
    req = InitRequesterBox(p.w, count, d->font9, lines, p.x, p.y, p.w, p.h, kPenBack, kPenListText);
  else
    req = InitOwnRequesterBox(which == HANDEL_KAUF ? DrawKaufHook : DrawFremdHook, d, p.w, count, d->font11, lines,
                              p.x, p.y, p.w, p.h, kPenBack, kPenListText);
  if (!req) return false;
  InitSlider(req, p.sliderW, p.sliderH, 26, 22, 25, 24, p.sliderX, p.sliderY);
  return true;
}

// The realm's values of the market rule from the record.
void MarktDatenAusRecord(HandelsData* d) {
  WarenMarktDaten* m = &d->marktDaten;
  FillWarenMarktDaten(m, d->land, d->fors, nullptr, d->stadt, d->werte[0], d->werte[1], d->werte[2]);
  m->abgabe = d->abgabe;
}

// Stock mode: the stock in memory and the purchase lines.
uint32_t StockLines(HandelsData* d) {
  if (!d->marktGeladen) {
    MarktDatenAusRecord(d);
    uint32_t count = d->warenAnzahl;
    const uint32_t before = count;
    PrepareWarenMarkt(&d->marktDaten, &d->markt, &count);
    // A damaged record is not offered; its bytes go back to the file as they were.
    d->marktRoh = d->markt;
    d->marktDefektAnzahl = PruefeWarenMarkt(&d->markt, d->marktDefekt);
    for (uint32_t g = 0; g < WAREN_ANZAHL; ++g)
      if (d->marktDefekt[g]) d->markt.menge[g] = d->markt.preis[g] = 0;
    if (d->marktDefektAnzahl) {
      DebugLog("CreateWarenReqListBuffer: Waren.dat hat %u besch\xE4" "digte Eintr\xE4ge, sie werden nicht angeboten\n",
               d->marktDefektAnzahl);
      if (count != before) count = CountWarenMarkt(&d->markt);
    }
    d->warenAnzahl = count;
    d->marktGeladen = 1;
  }
  for (char*& l : d->kaufZeilen) FreeLines(&l);
  d->kaufAnzahl = 0;
  const uint32_t n = CountWarenMarkt(&d->markt);
  if (n == 0) return 0;
  static const char* const kFehler[3] = {
      "CreateWarenReqListBuffer: Konnte Speicher für ReqBuffer 1 nicht allokieren !\n",
      "CreateWarenReqListBuffer: Konnte Speicher für ReqBuffer 2 nicht allokieren !\n",
      "CreateWarenReqListBuffer: Konnte Speicher für ReqBuffer 3 nicht allokieren !\n"};
  for (uint32_t k = 0; k < 3; ++k) {
    d->kaufZeilen[k] = static_cast<char*>(AllocVec(n * kLine, MEMF_PUBLIC | MEMF_CLEAR));
    if (!d->kaufZeilen[k]) DebugLog("%s", kFehler[k]);
  }
  uint32_t i = 0;
  for (uint32_t g = 0; g < WAREN_ANZAHL && i < n; ++g) {
    if (d->markt.menge[g] == 0) continue;
    d->kaufTyp[i] = (uint8_t)g;
    if (d->kaufZeilen[0]) std::snprintf(d->kaufZeilen[0] + i * kLine, kLine, "%s", GetWarenName(g));
    if (d->kaufZeilen[1]) std::snprintf(d->kaufZeilen[1] + i * kLine, kLine, "%lu", (unsigned long)d->markt.menge[g]);
    if (d->kaufZeilen[2]) std::snprintf(d->kaufZeilen[2] + i * kLine, kLine, "%lu", (unsigned long)d->markt.preis[g]);
    ++i;
  }
  d->kaufAnzahl = n;
  return n;
}

}  // namespace

HandelsData* NewHandelsData() {
  HandelsData* d = static_cast<HandelsData*>(AllocVec(sizeof(HandelsData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) return nullptr;
  d->kaufAuswahl = d->angebotAuswahl = d->verkaufAuswahl = -1;
  d->angebotTyp = d->verkaufTyp = -1;
  d->warenAnzahl = 0xFFFFFFFFu;
  d->kaufMenge = 0xFFFFFFFFu;
  return d;
}

void FreeHandelsRequester(HandelsData* d, uint32_t which) {
  if (!d || which > HANDEL_EIGEN) return;
  FreeRequesterBox(d->req[which]);
  d->req[which] = nullptr;
  *SelectionOf(d, which) = -1;
  if (which == HANDEL_KAUF) {
    for (char*& l : d->kaufZeilen) FreeLines(&l);
    d->kaufAnzahl = 0;
  } else if (which == HANDEL_FREMD) {
    for (char*& l : d->fremdZeilen) FreeLines(&l);
    d->fremdAnzahl = 0;
  } else {
    FreeLines(&d->eigenZeilen);
    d->eigenAnzahl = 0;
  }
}

void FreeHandelsData(HandelsData* d) {
  if (!d) return;
  if (d->movieBase && d->movie) StopMovie(d->movieBase, d->movie);
  d->movie = nullptr;
  for (uint32_t w = 3; w-- > 0;) FreeHandelsRequester(d, w);
  for (uint8_t** c : {&d->land, &d->fors, &d->ware, &d->antw})
    if (*c) FreeChunk(*c);
  DeleteList(d->warenListe, 0);
  DeleteList(d->spielerListe, 0);
  CloseFont(d->font11);
  CloseFont(d->font9);
  FreeVec(d->stadt);
  FreeMovieBase(d->movieBase);
  FreeVec(d);
}

WarenListenEntry* GetWarenNode(HandelsData* d, uint32_t n, uint16_t kind) {
  WarenListenEntry* e = d ? FindWarenNode(d->warenListe, n, kind) : nullptr;
  if (!e) DebugLog("GetWarenNode : Nix gefunden... \n");
  return e;
}

uint32_t CreateWarenReqListBuffer(HandelsData* d, uint32_t mode, char** buffer) {
  if (!d) return 0;
  if (mode == 0) return StockLines(d);
  if (!buffer) return 0;
  FreeLines(buffer);
  uint32_t count = 0;
  *buffer = MakeWarenLines(d->warenListe, mode, d->spielerListe, &count);
  return count;
}

int32_t InitHandelsWarenRequester(HandelsData* d) {
  if (!d) return 0;
  const uint32_t n = CreateWarenReqListBuffer(d, 0, nullptr);
  if (n == 0 || !d->kaufZeilen[0]) {
    FreeHandelsRequester(d, HANDEL_KAUF);
    FillScreen({16, 178, 207, 421}, kPenClear);
    return 1;
  }
  const bool had = d->req[HANDEL_KAUF] != nullptr;
  if (!BuildRequester(d, HANDEL_KAUF, d->kaufZeilen[0], n)) {
    DebugLog(had ? "InitWarenRequester: Konnte Requester 2 nicht updaten !\n"
                 : "InitWarenRequester: Konnte Requester 1 nicht öffnen !\n");
    return 0;
  }
  return 1;
}

int32_t CheckVerkaufsRequester(HandelsData* d) {
  if (!d) return 0;
  int32_t ok = 1;
  if (d->warenListe && d->warenListe->count > 0) {
    uint32_t n = CreateWarenReqListBuffer(d, 1, &d->fremdZeilen[0]);
    for (uint32_t m = 2; m <= 4; ++m) CreateWarenReqListBuffer(d, m, &d->fremdZeilen[m - 1]);
    d->fremdAnzahl = n;
    const bool had = d->req[HANDEL_FREMD] != nullptr;
    if (!BuildRequester(d, HANDEL_FREMD, d->fremdZeilen[0], n)) {
      DebugLog(had ? "CheckVerkaufsRequester: Konnte Requester 2 nicht updaten !\n"
                   : "CheckVerkaufsRequester: Konnte Requester 2 nicht öffnen !\n");
      ok = 0;
    }
  } else if (d->req[HANDEL_FREMD]) {
    FreeHandelsRequester(d, HANDEL_FREMD);
    FillScreen({kPlace[1].x, kPlace[1].y, kPlace[1].x + (int32_t)kPlace[1].w - 1,
                kPlace[1].y + (int32_t)kPlace[1].h - 1},
               kPenClear);
  }
  FillScreen(kGebotKopf, kPenClear);
  d->gebotMenge = d->gebotPreis = d->angebotMenge = d->angebotPreis = 0;
  d->angebotTyp = -1;
  d->angebotNode = nullptr;
  {
    ScreenFont f(d->font9);
    PrintBox(kGebotMengeBox, "");
    PrintBox(kGebotPreisBox, "");
  }
  return ok;
}

int32_t CheckVerkaufsRequester3(HandelsData* d) {
  if (!d) return 0;
  int32_t ok = 1;
  const uint32_t own = d->warenListe && d->warenListe->count > 0 ? CountWarenNodes(d->warenListe, WARE_ANGEBOT) : 0;
  if (own > 0) {
    d->eigenAnzahl = CreateWarenReqListBuffer(d, 5, &d->eigenZeilen);
    if (!d->eigenZeilen || !BuildRequester(d, HANDEL_EIGEN, d->eigenZeilen, d->eigenAnzahl)) {
      DebugLog("CheckVerkaufsRequester: Konnte Requester 3 nicht öffnen !\n");
      ok = 0;
    }
  } else {
    FreeHandelsRequester(d, HANDEL_EIGEN);
    FillScreen({271, 306, 452, 399}, kPenClear);
  }
  d->verkaufAuswahl = -1;
  d->verkaufTyp = -1;
  d->verkaufNode = nullptr;
  d->verkaufMenge = d->verkaufPreis = d->verkaufMax = 0;
  ScreenFont f(d->font9);
  PrintFitted(ScreenRastPort(), kVerkaufText.x1, kVerkaufText.y1, kVerkaufText.x2, kVerkaufText.y2,
              GetCatalogStr(676), kPenBack, kPenListText, kPtoBox);
  PrintBox(kVerkaufMengeBox, "0");
  PrintBox(kVerkaufPreisBox, "0");
  return ok;
}

int32_t SelectHandelsZeile(HandelsData* d, uint32_t which, int32_t y) {
  if (!d || which > HANDEL_FREMD || !d->req[which] || y < 0) return -1;
  const bool kauf = which == HANDEL_KAUF;
  const uint32_t e = SelectOwnRequesterEntry(d->req[which], kauf ? MarkKauf : MarkFremd,
                                             kauf ? UnmarkKauf : UnmarkFremd, d, 0, (uint32_t)y);
  if (e == kNoEntry) return -1;
  *SelectionOf(d, which) = (int16_t)e;
  return (int32_t)e;
}

void ClearHandelsZeile(HandelsData* d, uint32_t which) {
  if (!d || which > HANDEL_EIGEN) return;
  *SelectionOf(d, which) = -1;
  QoERequester* req = d->req[which];
  if (!req) return;
  if (which == HANDEL_EIGEN)
    SelectRequesterEntry(req, 1, kNoEntry);
  else
    SelectOwnRequesterEntry(req, which == HANDEL_KAUF ? MarkKauf : MarkFremd,
                            which == HANDEL_KAUF ? UnmarkKauf : UnmarkFremd, d, 1, kNoEntry);
}

uint32_t SchatzBild(uint32_t value) { return value < 10000 ? 341 : value < 100000 ? 342 : 343; }

void ShowWarenBild(HandelsData* d, uint32_t type) {
  if (!d) return;
  const WarenZeile* row = GetWarenZeile(type);
  const uint32_t pic = row ? (uint32_t)row->picture : 0;
  if (pic == 0) {
    if (d->movie) StopMovie(d->movieBase, d->movie);
    d->movie = nullptr;
    FillScreen(kBildArea, kPenClear);
    return;
  }
  d->movie = d->movieBase ? AnimateWare(d->movieBase, d->movie, (uint16_t)type, 16, 16) : nullptr;
  if (d->movie) return;
  FillScreen(kBildArea, kPenClear);
  SetElmorPalette(kPath, pic, 0, 256, 0);
  BlitObjekt(nullptr, pic, kBildArea.x1, kBildArea.y1, 160, 120);
}

WarenListenEntry* GetMarktNode(HandelsData* d, uint32_t line, int32_t cancel) {
  if (!d) return nullptr;
  WarenListenEntry* n = FindWarenNode(d->warenListe, line, WARE_FREMD);
  if (!n) {
    DebugLog("GetMarktNode : Nix gefunden... \n");
    return nullptr;
  }
  if (cancel) {
    ClearHandelsZeile(d, HANDEL_FREMD);
    const uint64_t bid = uint64_t(n->bid_quantity) * n->bid_price;
    d->gebotSumme = d->gebotSumme > bid ? d->gebotSumme - bid : 0;
    n->buyer = 0;
    n->bid_quantity = 0;
    n->bid_price = 0;
    return n;
  }
  d->angebotNode = n;
  d->angebotTyp = IsWarenTyp(n->goods) ? (int16_t)n->goods : -1;
  ShowWarenBild(d, n->goods);
  const bool bid = HatWarenGebot(n);
  d->gebotMenge = bid ? n->bid_quantity : n->quantity;
  d->gebotPreis = bid ? n->bid_price : n->price;
  d->angebotMenge = n->quantity;
  d->angebotPreis = n->price;
  char name[40] = {0};
  if (!FindPlayerNameInList(n->owner, name, d->spielerListe))
    std::snprintf(name, sizeof name, "? (%lu)", (unsigned long)n->owner);
  char head[kLine];
  std::snprintf(head, sizeof head, "%s %s:", GetCatalogStr(685), name);
  ScreenFont f(d->font9);
  PrintFitted(ScreenRastPort(), kGebotKopf.x1, kGebotKopf.y1, kGebotKopf.x2, kGebotKopf.y2 + 1, head, kPenBack,
              kPenListText, kPtoBox);
  PrintBoxNumber(kGebotMengeBox, d->gebotMenge);
  PrintBoxNumber(kGebotPreisBox, d->gebotPreis);
  return n;
}

int32_t GetVerkaufsNode(HandelsData* d, uint32_t line) {
  if (!d || d->verkaufAuswahl < 0) return 0;
  WarenListenEntry* n = FindWarenNode(d->warenListe, line, WARE_ANGEBOT);
  if (!n) {
    DebugLog("GetMarktNode : Nix gefunden... \n");
    return 0;
  }
  d->verkaufNode = n;
  d->verkaufTyp = IsWarenTyp(n->goods) ? (int16_t)n->goods : -1;
  ShowWarenBild(d, n->goods);
  d->verkaufMax = n->goods == 0 ? d->kornLager : n->quantity;
  d->verkaufMenge = n->quantity;
  d->verkaufPreis = n->price;
  DrawVerkaufsFelder(d);
  return 1;
}

void DrawVerkaufsFelder(HandelsData* d) {
  if (!d) return;
  char text[kLine];
  std::snprintf(text, sizeof text, "%s ( %lu %s %lu %s )",
                d->verkaufTyp >= 0 ? GetWarenName((uint32_t)d->verkaufTyp) : "", (unsigned long)d->verkaufMenge,
                GetCatalogStr(677), (unsigned long)d->verkaufPreis, GetCatalogStr(670));
  ScreenFont f(d->font9);
  PrintFitted(ScreenRastPort(), kVerkaufText.x1, kVerkaufText.y1, kVerkaufText.x2, kVerkaufText.y2, text, kPenBack,
              kPenListText, PTO_BASELINE | PTO_FILL | PTO_VCENTRE);
  PrintBoxNumber(kVerkaufMengeBox, d->verkaufMenge);
  PrintBoxNumber(kVerkaufPreisBox, d->verkaufPreis);
}

void DrawGebotFelder(HandelsData* d) {
  if (!d) return;
  ScreenFont f(d->font9);
  PrintBoxNumber(kGebotMengeBox, d->gebotMenge);
  PrintBoxNumber(kGebotPreisBox, d->gebotPreis);
}

void DrawKaufFeld(HandelsData* d) {
  if (!d) return;
  ScreenFont f(d->font9);
  PrintBoxNumber(kKaufMengeBox, d->kaufMenge == 0xFFFFFFFFu ? 0 : d->kaufMenge);
}

int32_t SetHandelLocaleStrings() {
  RastPort* rp = ScreenRastPort();
  TextFont* elmor = OpenDiskFont("fonts\\ElmorC1.fnt");
  TextFont* small = OpenDiskFont("fonts\\XHelvetica9.fnt");
  if (!rp || !elmor || !small) {
    DebugLog("SetHandelLocaleStrings : Konnte Elmor-Font nicht öffnen !\n");
    CloseFont(elmor);
    CloseFont(small);
    return 0;
  }
  struct Text {
    Rect r;
    uint32_t id;  // catalog string
  };
  static const Text kTitles[] = {{{22, 153, 188, 163}, 63},
                                 {{293, 23, 565, 33}, 64},
                                 {{516, 300, 618, 310}, 65},
                                 {{275, 300, 447, 310}, 62}};
  // The purchase list's heads stand below its title (baseline 153).
  // 1805: type of goods, 1806: quantity.
  static const Text kHeads[] = {{{56, 440, 140, 450}, 68},  {{272, 440, 344, 450}, 68}, {{352, 440, 424, 450}, 70},
                                {{16, 167, 109, 176}, 1805}, {{415, 40, 476, 54}, 1805}, {{113, 167, 158, 176}, 1806},
                                {{162, 167, 207, 176}, 69},  {{536, 40, 590, 54}, 69},   {{480, 40, 534, 54}, 68}};
  {
    ScreenFont f(elmor);
    for (const Text& t : kTitles)
      PrintTextOutlined(rp, t.r.x1, t.r.y1, t.r.x2, t.r.y2, GetCatalogStr(t.id), kPenClear, kPenText, PTO_CENTRE);
  }
  {
    ScreenFont f(small);
    PrintTextOutlined(rp, 272, 40, 272, 40, GetCatalogStr(66), kPenClear, kPenText, 0);
    for (const Text& t : kHeads)
      PrintTextOutlined(rp, t.r.x1, t.r.y1, t.r.x2, t.r.y2, GetCatalogStr(t.id), kPenClear, kPenText, PTO_CENTRE);
  }
  CloseFont(elmor);
  CloseFont(small);
  return 1;
}

int32_t SetHandelZahlenStrings(uint32_t which, uint32_t value) {
  if (which < 1 || which > 6) return 1;
  TextFont* small = OpenDiskFont("fonts\\XHelvetica9.fnt");
  if (!small) {
    DebugLog("SetHandelZahlenStrings : Konnte Elmor-Font nicht öffnen !\n");
    return 0;
  }
  {
    ScreenFont f(small);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%lu", (unsigned long)value);
    const Rect& r = kZahlen[which - 1];
    PrintFitted(ScreenRastPort(), r.x1, r.y1, r.x2, r.y2, buf, kPenNumber, kPenBoxText,
                PTO_RIGHT | PTO_BASELINE | PTO_FILL | PTO_VCENTRE);
  }
  CloseFont(small);
  if (which == 6) BlitObjekt(nullptr, SchatzBild(value), kSchatzBildX, kSchatzBildY, kSchatzBildW, kSchatzBildH);
  return 1;
}
