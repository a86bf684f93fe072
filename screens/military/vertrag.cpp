// The contracts of the diplomacy screen: the received records as a sorted
// list and its line lists, the documents, the records the lord makes and
// their merge into the outgoing pool, the cancel flow. See diplomat.h.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/requester.h"
#include "routinen/system/catalog.h"
#include "routinen/system/graphics.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/textout.h"
#include "routinen/gui/pictures.h"
#include "screens/common/orders.h"
#include "screens/military/diplomat.h"
#include "screens/military/diplomat_internal.h"

namespace {

// The module's seams (tests): the boxes and the clock of new records.
struct DiplomatModuleState {
  std::atomic<DiplomatMessageHook> message{nullptr};
  std::atomic<uint32_t (*)()> clock{nullptr};
};
DiplomatModuleState g_diplomat;

constexpr uint32_t kNameSize = 40;  // GetPlayerName's buffer
constexpr uint32_t kNoOffersText = 1232;
constexpr uint32_t kDocX = 313, kDocY = 127, kDocW = 228, kDocH = 234;
constexpr uint32_t kDocSliderX = 579, kDocSliderY = 149, kDocSliderW = 16, kDocSliderH = 211;
constexpr uint32_t kDocPenBack = 215, kDocPenText = 118;
// List boxes: ink on parchment (the kit's pen 6 is too dark under ink to
// read); a box's place without its box is cleared to the same parchment.
constexpr uint32_t kListPenBack = 5, kListPenText = 7, kHiBack = 7, kHiText = 1, kAreaPen = kListPenBack;
constexpr uint32_t kCancelQuestion = 1822;  // catalog: cancel this contract?

uint32_t Now() {
  uint32_t (*clock)() = g_diplomat.clock.load();
  return clock ? clock() : static_cast<uint32_t>(std::time(nullptr));
}

const char* Cat(uint32_t id) { return GetCatalogStr(id); }

// The player's name; the own lord by his own name (the player list need
// not hold him).
void PlayerName(uint32_t id, char* out) {
  if (id == GameDataOwnerID() && GameDataOwnerName() && *GameDataOwnerName()) {
    std::snprintf(out, kNameSize, "%s", GameDataOwnerName());
    return;
  }
  GetPlayerName(id, out, 0);
}

VertragsEintrag* Rec(ListNode* n) { return reinterpret_cast<VertragsEintrag*>(n); }

// Line k of the mode's grouping starts here: mode 2 one line per sender of
// kind-0 records, mode 3 one per run of kind-1 or kind-6 records of one
// sender and kind; modes 1 and 4 one line per record.
bool StartsLine(ListNode* n, ListNode* prev, uint32_t mode) {
  const VertragsEintrag* v = Rec(n);
  const VertragsEintrag* p = prev ? Rec(prev) : nullptr;
  switch (mode) {
    case VLIST_OFFERS:
      return v->kind == VERTRAG_ANGEBOT && !(p && p->kind == VERTRAG_ANGEBOT && p->sender == v->sender);
    case VLIST_OTHER:
      return (v->kind == VERTRAG_FRIEDEN || v->kind == VERTRAG_VASALL_ANGEBOT) &&
             !(p && p->kind == v->kind && p->sender == v->sender);
    default:
      return true;
  }
}

// The first node of line `line` of the mode, null when there is none.
ListNode* LineStart(ListHeader* list, uint32_t mode, uint32_t line) {
  if (!list) return nullptr;
  ListNode* n = list->first;
  ListNode* prev = nullptr;
  uint32_t k = 0;
  for (uint32_t i = 0; i < list->count; ++i, prev = n, n = n->next)
    if (StartsLine(n, prev, mode) && k++ == line) return n;
  return nullptr;
}

VertragsEintrag* Append(ListHeader* work) {
  ListNode* n = AllocListNode(work);
  if (!n) {
    DebugLog("SendVertrag : Speicher f\xFCr Liste konnte nicht angefordert werden...\n");
    return nullptr;
  }
  AddNode(work, n, LN_TAIL, 0);
  return Rec(n);
}

void CopyRecord(VertragsEintrag* to, const VertragsEintrag* from) {
  const ListNode head = to->head;
  *to = *from;
  to->head = head;
}

// The question of a box: 1 when the lord said yes.
bool Confirmed(const char* text) { return DiplomatMessage(1, text) == 0; }
void Tell(uint32_t id) { DiplomatMessage(0, Cat(id)); }

void FillArea(const ScreenRegion* region, uint32_t k1, uint32_t k2) {
  RastPort* rp = ScreenRastPort();
  if (!rp || !region) return;
  for (uint32_t k : {k1, k2}) {
    LayoutRect r{};
    if (!GetLayoutRect(region, k, &r)) continue;
    SetAPen(rp, kAreaPen);
    RectFill(rp, r.x1, r.y1, r.x2, r.y2);
    ShowScreenRect(rp, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
  }
}

}  // namespace

// The own player's selection in the player list, null none.
SpielerEintrag* DiplomatSelectedPlayer(DiplomatScreenData* d) {
  if (d->noPlayerList || !d->playerList || d->selPlayer < 0) return nullptr;
  if (static_cast<uint32_t>(d->selPlayer) >= d->playerList->count) return nullptr;
  ListNode* n = d->playerList->first;
  for (int16_t i = 0; i < d->selPlayer; ++i) n = n->next;
  return reinterpret_cast<SpielerEintrag*>(n);
}

ListNode* TradeOfferNode(DiplomatScreenData* d) {
  ListHeader* list = d->contractList;
  if (!list || !d->selOffer || d->selGoods < 0) return nullptr;
  ListNode* n = list->first;
  uint32_t i = 0;
  while (i < list->count && n != d->selOffer) n = n->next, ++i;
  if (i >= list->count || Rec(n)->kind != VERTRAG_ANGEBOT) return nullptr;
  const uint32_t sender = Rec(n)->sender;
  for (int16_t k = 0; k < d->selGoods; ++k) {
    if (++i >= list->count) return nullptr;
    n = n->next;
    if (Rec(n)->kind != VERTRAG_ANGEBOT || Rec(n)->sender != sender) return nullptr;
  }
  return n;
}

bool TradeGoodsOfLine(DiplomatScreenData* d, int32_t goods_line, uint32_t* goods, int64_t* available,
                      uint16_t* closing) {
  if (goods_line < 0) return false;
  uint32_t line = static_cast<uint32_t>(goods_line);
  if (d->corn > 0) {
    if (line == 0) {
      *goods = 0;
      *available = d->corn;
      *closing = 0;
      return true;
    }
    --line;
  }
  if (!d->goodsList) return false;
  ListNode* n = d->goodsList->first;
  for (uint32_t i = 0; i < d->goodsList->count; ++i, n = n->next) {
    const WarenListenEntry* w = reinterpret_cast<const WarenListenEntry*>(n);
    if (w->kind != 5) continue;
    if (line-- == 0) {
      *goods = w->goods;
      *available = w->quantity;
      *closing = w->closing;
      return true;
    }
  }
  return false;
}

ListNode* VertragLineStart(DiplomatScreenData* d, uint32_t mode, uint32_t line) {
  return LineStart(d->contractList, mode, line);
}

void SetDiplomatMessageHook(DiplomatMessageHook hook) { g_diplomat.message.store(hook); }
void SetVertragClock(uint32_t (*clock)()) { g_diplomat.clock.store(clock); }
void ResetDiplomatModuleState() {
  g_diplomat.message.store(nullptr);
  g_diplomat.clock.store(nullptr);
}

uint32_t DiplomatMessage(uint32_t mode, const char* text) {
  if (DiplomatMessageHook hook = g_diplomat.message.load()) return hook(mode, text);
  return static_cast<uint32_t>(ChiefMessage(66, 168, 180, 0, 0, 0, mode, text, 7));
}

uint32_t VertragsArtLabel(uint32_t kind) {
  switch (kind) {
    case VERTRAG_ANGEBOT: return 946;
    case VERTRAG_AUSSCHREIBUNG: return 947;
    case VERTRAG_ANNAHME:
    case VERTRAG_HANDEL: return 948;
    case VERTRAG_BRUCH: return 1231;
    case VERTRAG_VASALL_ANGEBOT:
    case VERTRAG_VASALL_ANNAHME:
    case VERTRAG_VASALL: return 1264;
    default: return 0;
  }
}

ListNode* VertragNodeAt(DiplomatScreenData* d, uint32_t index) {
  if (!d->contractList || index >= d->contractList->count) return nullptr;
  ListNode* n = d->contractList->first;
  while (index--) n = n->next;
  return n;
}

int32_t AllocVertragList(DiplomatScreenData* d, uint32_t mode) {
  if (d->contractList) {
    FreeVec(d->contractLines);
    d->contractLines = nullptr;
    d->contractLineCount = 0;
  } else {
    RegisterGameDataListTypes();
    d->contractList = CreateList(LIST_CONTRACTS);
    if (!d->contractList) {
      DebugLog("AllocVertragList : Konnte Liste nicht anlegen...\n");
      return 0;
    }
    // A pool that cannot be read is no empty list: its records must stay.
    uint8_t* chunk = nullptr;
    const int32_t state = LoadChunkState("VERT", ReceivedPoolPath, &chunk);
    if (state == CHUNK_DAMAGED) {
      DebugLog("AllocVertragList : Konnte SpielerChunk nicht einladen...\n");
      return 0;
    }
    if (chunk) {
      const int32_t scanned = ScanVertrag2List(d->contractList, chunk);
      FreeChunk(chunk);
      if (!scanned) {
        DebugLog("AllocVertragList : Konnte VertragListe nicht einscannen...\n");
        return 0;
      }
      d->contractList->fields[0].key = 2;  // kind
      d->contractList->fields[1].key = 1;  // sender
      if (!SortNode(d->contractList, SORT_ASCENDING)) DebugLog("AllocSpielerList : Konnte Warenliste nicht sortieren...\n");
    }
    d->contractsRead = 1;
  }
  ListHeader* list = d->contractList;
  uint32_t count = 0;
  {
    ListNode* n = list->first;
    ListNode* prev = nullptr;
    for (uint32_t i = 0; i < list->count; ++i, prev = n, n = n->next) count += StartsLine(n, prev, mode);
  }
  d->contractLines = static_cast<char*>(AllocVec((count ? count : 1) * kDiplomatLineSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->contractLines) {
    DebugLog("AllocVertragList : Konnte VertragListBuffer nicht allokieren...\n");
    return 0;
  }
  const uint32_t own = GameDataOwnerID();
  uint32_t k = 0;
  ListNode* n = list->first;
  ListNode* prev = nullptr;
  for (uint32_t i = 0; i < list->count && k < count; ++i, prev = n, n = n->next) {
    if (!StartsLine(n, prev, mode)) continue;
    const VertragsEintrag* v = Rec(n);
    char* line = d->contractLines + k++ * kDiplomatLineSize;
    char name[kNameSize];
    if (mode == VLIST_OFFERS || mode == VLIST_OTHER) {
      PlayerName(v->sender, name);
      std::snprintf(line, kDiplomatLineSize, "%s", name);
      continue;
    }
    PlayerName(v->sender == own ? v->receiver : v->sender, name);
    const uint32_t label = VertragsArtLabel(v->kind);
    if (label) std::snprintf(line, kDiplomatLineSize, "%s %s", Cat(label), name);
    else std::snprintf(line, kDiplomatLineSize, "%s", name);
  }
  d->contractLineCount = static_cast<uint16_t>(k);
  d->noOffers = k == 0;
  if (!k) std::snprintf(d->contractLines, kDiplomatLineSize, "%s", Cat(kNoOffersText));
  return 1;
}

int32_t FreeVertragList(DiplomatScreenData* d) {
  int32_t ok = 1;
  // Only a list read whole goes back: a pool whose records could not be
  // read keeps them.
  if (d->contractList && d->contractsRead) {
    if (d->contractList->count) {
      uint8_t* chunk = MakeVertragChunkFromList(d->contractList);
      if (!chunk) {
        DebugLog("FreeVertragList : Konnte aus VertragsListe keinen Chunk generieren...\n");
        ok = 0;
      } else {
        if (!AddChunkPool(chunk, ReceivedPoolPath)) {
          DebugLog("FreeVertragList : Konnte Vertr\xE4ge nicht speichern!\n");
          ok = 0;
        }
        FreeChunk(chunk);
      }
    } else if (OrdersAllowed(ReadAccountState()) && IsChunkInFile(ChunkBit(CHUNK_VERT), ReceivedPoolPath)) {
      if (!RemChunkPool("VERT", ReceivedPoolPath)) {
        DebugLog("FreeVertragList : Konnte Vertr\xE4ge nicht entfernen!\n");
        ok = 0;
      }
    }
  }
  DeleteList(d->contractList, 0);
  d->contractList = nullptr;
  d->contractsRead = 0;
  d->selOffer = nullptr;
  FreeVec(d->contractLines);
  d->contractLines = nullptr;
  d->contractLineCount = 0;
  return ok;
}

uint32_t VertragDokument(const VertragsEintrag* v, uint32_t own_id, const char* own_name, char* out,
                         uint32_t size) {
  if (!out || !size) return 0;
  out[0] = 0;
  if (!v) return 0;
  TextOut t{out, size, 0};
  char own[kNameSize] = {};
  std::snprintf(own, sizeof own, "%s", own_name ? own_name : "");
  char goods[kDiplomatLineSize];
  std::snprintf(goods, sizeof goods, "%s", GetWarenName(v->goods));
  char sender[kNameSize], receiver[kNameSize];
  PlayerName(v->sender, sender);
  PlayerName(v->receiver, receiver);
  const char* partner = v->sender == own_id ? receiver : sender;
  switch (v->kind) {
    case VERTRAG_ANGEBOT:
    case VERTRAG_AUSSCHREIBUNG:
    case VERTRAG_VASALL_ANGEBOT:
    case VERTRAG_VASALL_ANNAHME:
    case VERTRAG_VASALL:
      t.Add("%s %s %s...\n\n", Cat(1233), Cat(657), own);
      if (v->kind == VERTRAG_ANGEBOT)
        t.Add("%s %u %s\n\n%s\n\n%s %u %s %u %s\n", Cat(949), v->duration, Cat(950), goods, Cat(951), v->price,
              Cat(952), v->amount, Cat(953));
      else
        t.Add("%s\n", Cat(v->kind == VERTRAG_AUSSCHREIBUNG    ? 954
                          : v->kind == VERTRAG_VASALL_ANGEBOT ? 1256
                          : v->kind == VERTRAG_VASALL_ANNAHME ? 1270
                                                              : 1271));
      t.Add("%s", v->kind == VERTRAG_VASALL_ANNAHME ? receiver : sender);
      break;
    case VERTRAG_HANDEL:
      t.Add("%s%s & %s\n\n%s%u %s %u %s%s %s %u %s%s    %s", Cat(973), partner, own, Cat(974), v->duration, Cat(975),
            v->amount, Cat(976), goods, Cat(977), v->price, Cat(978), partner, own);
      break;
    case VERTRAG_BRUCH:
      t.Add("%s%s & %s%s %s%s%u%s%u%s %u %s\n", Cat(1234), partner, own, Cat(1235), goods, Cat(1236), v->amount,
            Cat(1237), v->price, Cat(1238), v->duration, Cat(1239));
      break;
    default:
      break;
  }
  return t.len;
}

char* VassalDokLines(DiplomatScreenData* d, uint32_t* count) {
  *count = 0;
  uint32_t n = 0;
  ListNode* from = nullptr;
  if (d->mode && !d->noOffers && d->selPlayer >= 0)
    from = LineStart(d->contractList, VLIST_OTHER, static_cast<uint32_t>(d->selPlayer));
  if (from) {
    const uint32_t sender = Rec(from)->sender;
    ListNode* x = d->contractList->first;
    for (uint32_t i = 0; i < d->contractList->count; ++i, x = x->next)
      n += Rec(x)->sender == sender && (Rec(x)->kind == VERTRAG_FRIEDEN || Rec(x)->kind == VERTRAG_VASALL_ANGEBOT);
  }
  char* lines = static_cast<char*>(AllocVec((n ? n : 1) * kDiplomatLineSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!lines) return nullptr;
  *count = n ? n : 1;
  if (!d->mode) {
    std::snprintf(lines, kDiplomatLineSize, "%s", Cat(1263));
    return lines;
  }
  if (!n) {
    std::snprintf(lines, kDiplomatLineSize, "%s", Cat(kNoOffersText));
    return lines;
  }
  const uint32_t sender = Rec(from)->sender;
  uint32_t k = 0;
  ListNode* x = d->contractList->first;
  for (uint32_t i = 0; i < d->contractList->count && k < n; ++i, x = x->next) {
    const VertragsEintrag* v = Rec(x);
    if (v->sender != sender || (v->kind != VERTRAG_FRIEDEN && v->kind != VERTRAG_VASALL_ANGEBOT)) continue;
    std::snprintf(lines + k++ * kDiplomatLineSize, kDiplomatLineSize, "%s",
                  Cat(v->kind == VERTRAG_FRIEDEN ? 1269 : 1268));
  }
  return lines;
}

int32_t InitDokRequester(DiplomatScreenData* d, uint32_t mode) {
  if (mode == VLIST_OTHER) {
    uint32_t count = 0;
    char* lines = VassalDokLines(d, &count);
    if (!lines) {
      DebugLog("InitDokRequester: Konnte Speicher f\xFCr WarenBuffer nicht allokieren...\n");
      return 0;
    }
    LayoutRect box{}, slider{};
    if (!GetLayoutRect(d->layout, 2, &box) || !GetLayoutRect(d->layout, 3, &slider)) {
      FreeVec(lines);
      DebugLog("InitDokRequester: Konnte Dokument-Requester nicht \xF6" "ffnen !\n");
      return 0;
    }
    if (d->docReq) {
      d->docReq->selected = kNoEntry;
      if (!UpdateRequesterText(d->docReq, lines, count)) {
        FreeVec(lines);
        return 0;
      }
    } else {
      const uint32_t w = box.x2 - box.x1 + 1u, h = box.y2 - box.y1 + 1u;
      d->docReq = InitRequesterBox(w, count, d->fontList, lines, box.x1, box.y1, w, h, kListPenBack, kListPenText);
      if (!d->docReq) {
        FreeVec(lines);
        DebugLog("InitDokRequester: Konnte Dokument-Requester nicht \xF6" "ffnen !\n");
        return 0;
      }
      InitSlider(d->docReq, slider.x2 - slider.x1 + 1u, slider.y2 - slider.y1 + 1u, 26, 22, 25, 24, slider.x1,
                 slider.y1);
    }
    FreeVec(d->vassalLines);
    d->vassalLines = lines;
    return 1;
  }
  if (!d->docText) {
    d->docText = static_cast<char*>(AllocVec(kDiplomatDocSize, MEMF_PUBLIC | MEMF_CLEAR));
    if (!d->docText) {
      DebugLog("InitDokRequester: Konnte Speicher f\xFCr VertragsBuffer nicht allokieren...\n");
      return 0;
    }
  }
  d->docText[0] = 0;
  if (d->selPlayer >= 0 && !d->noOffers)
    if (ListNode* n = VertragNodeAt(d, static_cast<uint32_t>(d->selPlayer)))
      VertragDokument(Rec(n), GameDataOwnerID(), GameDataOwnerName(), d->docText, kDiplomatDocSize);
  if (d->docReq) return UpdateRequesterText(d->docReq, d->docText, 0) ? 1 : 0;
  d->docReq = InitRequesterTextBox(kDocW - 4, d->fontDoc, d->docText, kDocX, kDocY, kDocW, kDocH, kDocPenBack,
                                   kDocPenText, nullptr);
  if (!d->docReq) {
    DebugLog("InitDokRequester: Konnte Dokument-Requester nicht \xF6" "ffnen !\n");
    return 0;
  }
  InitSlider(d->docReq, kDocSliderW, kDocSliderH, 26, 22, 25, 24, kDocSliderX, kDocSliderY);
  return 1;
}

int32_t MergeVertragChunk(ListHeader* list) {
  if (!IsChunkInFile(ChunkBit(CHUNK_VERT), OutgoingPoolPath)) return 1;
  uint8_t* chunk = LoadChunk2Mem("VERT", OutgoingPoolPath);
  if (!chunk) {
    DebugLog("SendVertrag : Konnte VertragsChunk nicht \xF6" "ffnen !");
    return 0;
  }
  const int32_t ok = ScanVertrag2List(list, chunk);
  FreeChunk(chunk);
  if (!ok) DebugLog("SendVertrag : Konnte alte Vertr\xE4ge nicht einscannen...\n");
  return ok ? 1 : 0;
}

int32_t SendVertrag(DiplomatScreenData* d, uint32_t kind) {
  RegisterGameDataListTypes();
  ListHeader* work = CreateList(LIST_CONTRACTS);
  if (!work) {
    DebugLog("SendVertrag : kein Speicher f\xFCr ListHeader vorhanden...\n");
    return 0;
  }
  if (!MergeVertragChunk(work)) {
    DebugLog("SendVertrag : konnte alte Liste nicht anlegen...\n");
    DeleteList(work, 0);
    return 0;
  }
  DebugLog("alten Chunk geladen...\n");
  const uint32_t own = GameDataOwnerID();
  uint32_t done_text = 0;        // told after the record was written
  ListNode* accepted = nullptr;  // the received offer an acceptance answers
  bool made = false, failed = false;
  switch (kind) {
    case VERTRAG_ANGEBOT: {
      const SpielerEintrag* p = DiplomatSelectedPlayer(d);
      uint32_t goods = 0;
      int64_t available = 0;
      uint16_t closing = 0;
      if (!p) {
        Tell(941);
      } else if (d->selGoods < 0 || !TradeGoodsOfLine(d, d->selGoods, &goods, &available, &closing)) {
        Tell(942);
      } else if (!d->amount) {
        Tell(943);
      } else {
        ListNode* n = work->first;
        for (uint32_t i = 0; i < work->count; ++i, n = n->next)
          if (Rec(n)->kind == VERTRAG_ANGEBOT && Rec(n)->goods == goods)
            available -= static_cast<int64_t>(Rec(n)->amount) * Rec(n)->duration;
        if (available < static_cast<int64_t>(d->amount) * d->turns) {
          Tell(944);
        } else if (VertragsEintrag* v = Append(work)) {
          v->kind = VERTRAG_ANGEBOT;
          v->sender = own;
          v->receiver = p->id;
          v->goods = goods;
          v->time = Now();
          v->duration = static_cast<uint16_t>(d->turns);
          v->amount = d->amount;
          v->price = d->price;
          v->closing = goods ? closing : 0;
          made = true;
          done_text = 980;
        } else {
          failed = true;
        }
      }
      break;
    }
    case VERTRAG_AUSSCHREIBUNG: {
      bool there = false;
      ListNode* n = work->first;
      for (uint32_t i = 0; i < work->count && !there; ++i, n = n->next) there = Rec(n)->kind == VERTRAG_AUSSCHREIBUNG;
      if (!there) {
        if (VertragsEintrag* v = Append(work)) {
          v->kind = VERTRAG_AUSSCHREIBUNG;
          v->sender = own;
          v->receiver = kVertragAllLords;
          v->time = Now();
          made = true;
        } else {
          failed = true;
        }
      }
      if (!failed) done_text = 981;
      break;
    }
    case VERTRAG_ANNAHME: {
      // From the sender's first offer by the selected goods line, never
      // past the sender's offers (nothing accepted then).
      ListNode* n = TradeOfferNode(d);
      if (n) {
        if (VertragsEintrag* v = Append(work)) {
          CopyRecord(v, Rec(n));
          v->kind = VERTRAG_ANNAHME;
          accepted = n;
          made = true;
        } else {
          failed = true;
        }
      }
      break;
    }
    case VERTRAG_VASALL_ANGEBOT: {
      const SpielerEintrag* p = DiplomatSelectedPlayer(d);
      if (!p) {
        Tell(941);
        break;
      }
      char question[256];
      std::snprintf(question, sizeof question, "%s %s %s", Cat(1265), p->name, Cat(1266));
      if (!Confirmed(question)) break;
      if (VertragsEintrag* v = Append(work)) {
        v->kind = VERTRAG_VASALL_ANGEBOT;
        v->sender = own;
        v->receiver = p->id;
        v->time = Now();
        made = true;
      } else {
        failed = true;
      }
      break;
    }
    case VERTRAG_VASALL_ANNAHME: {
      ListNode* from = d->noOffers || d->selPlayer < 0
                           ? nullptr
                           : LineStart(d->contractList, VLIST_OTHER, static_cast<uint32_t>(d->selPlayer));
      if (!from) {
        Tell(941);
        break;
      }
      if (!Confirmed(Cat(1262))) break;
      if (VertragsEintrag* v = Append(work)) {
        v->kind = VERTRAG_VASALL_ANNAHME;
        v->sender = Rec(from)->sender;
        v->receiver = own;
        made = true;
      } else {
        failed = true;
      }
      break;
    }
    case VERTRAG_BRUCH:
    case VERTRAG_VASALL_ENDE:
      if (!d->selOffer) break;
      if (VertragsEintrag* v = Append(work)) {
        CopyRecord(v, Rec(d->selOffer));
        v->kind = static_cast<uint16_t>(kind);
        made = true;
      } else {
        failed = true;
      }
      break;
    default:
      break;
  }
  if (made) {
    uint8_t* chunk = MakeVertragChunkFromList(work);
    if (!chunk) {
      DebugLog("SendVertrag : Konnte aus VertragsListe keinen Chunk generieren...\n");
      failed = true;
    } else {
      if (AddChunkPool(chunk, OutgoingPoolPath)) {
        DebugLog("neuen Chunk abgespeichert...\n");
      } else {
        DebugLog("SendVertrag : Konnte VertragsChunk nicht speichern !\n");
        failed = true;
      }
      FreeChunk(chunk);
    }
  }
  DeleteList(work, 0);
  if (failed) return 0;
  if (done_text) Tell(done_text);
  if (accepted) {
    // The answer is in the outgoing pool: the offer leaves the received list.
    ListNode* n = d->contractList->first;
    uint32_t index = 0;
    while (n != accepted) n = n->next, ++index;
    RemoveNode(d->contractList, LN_INDEX, index, 0);
    d->selOffer = nullptr;
    if (!AllocVertragList(d, VLIST_OFFERS)) {
      DebugLog("SendVertrag : Konnte VertragListe nicht anlegen !\n");
      return 0;
    }
    if (d->playerReq &&
        !UpdateSpielerRequester(d, d->contractLineCount ? d->contractLineCount : 1, d->contractLines, VLIST_OFFERS))
      DebugLog("SendVertrag : Konnte Spielerrequester nicht anlegen...\n");
    AllocVertragsAngebotList(d);
  }
  return 1;
}

int32_t DiplomatScreenDeleteContracts_SendCancel(DiplomatScreenData* d) {
  if (d->selPlayer < 0 || d->noOffers) return 1;
  const uint32_t index = static_cast<uint32_t>(d->selPlayer);
  ListNode* n = VertragNodeAt(d, index);
  if (!n) return 1;
  uint32_t kind;
  switch (Rec(n)->kind) {
    case VERTRAG_HANDEL: kind = VERTRAG_BRUCH; break;
    case VERTRAG_VASALL_ANNAHME:
    case VERTRAG_VASALL: kind = VERTRAG_VASALL_ENDE; break;
    default: return 1;
  }
  if (!Confirmed(GetCatalogStr(kCancelQuestion))) return 1;
  d->selOffer = n;
  const int32_t sent = SendVertrag(d, kind);
  d->selOffer = nullptr;
  if (!sent) {
    DebugLog("DiplomatScreenDeleteContracts_SendCancel: Konnte Vertrag nicht senden...\n");
    return 0;
  }
  RemoveNode(d->contractList, LN_INDEX, index, 0);
  if (!AllocVertragList(d, VLIST_CANCEL)) {
    DebugLog("DiplomatScreenDeleteContracts_SendCancel: Konnte SpielerListe nicht anlegen !\n");
    return 0;
  }
  const uint32_t count = d->contractList->count;
  d->selPlayer = count ? 0 : -1;
  if (!d->playerReq) return 1;  // nothing shown (no screen)
  d->playerReq->selected = kNoEntry;  // drawn plain, then line 0 marked
  if (!UpdateSpielerRequester(d, count, count ? d->contractLines : nullptr, VLIST_CANCEL) && count) {
    DebugLog("DiplomatScreenDeleteContracts_SendCancel: Konnte SpielerRequester nicht updaten !\n");
    return 0;
  }
  if (count) SelectRequesterEntry(d->playerReq, 1, 0, kHiBack, kHiText);
  else FillArea(d->layout, 0, 1);  // the box is gone: its place is cleared
  if (!InitDokRequester(d, VLIST_CANCEL)) {
    DebugLog("DiplomatScreenDeleteContracts_SendCancel: Konnte DokRequester nicht anlegen !\n");
    return 0;
  }
  return 1;
}

void ChangeOtherContractModus(DiplomatScreenData* d) {
  d->mode = ~d->mode;
  if (d->playerReq) d->playerReq->selected = kNoEntry;
  const int32_t ok = d->mode ? UpdateSpielerRequester(d, d->contractLineCount ? d->contractLineCount : 1,
                                                      d->contractLines, VLIST_OTHER)
                             : UpdateSpielerRequester(d, d->playerCount, d->playerLines, VLIST_OTHER);
  if (!ok) DebugLog("ChangeOtherContractModus : Konnte Spielerrequester nicht anlegen...\n");
  FillArea(d->layout, 2, 3);
  d->selPlayer = -1;
  d->selGoods = -1;
  if (d->docReq) {
    FreeRequesterBox(d->docReq);
    d->docReq = nullptr;
  }
  InitDokRequester(d, VLIST_OTHER);
}
