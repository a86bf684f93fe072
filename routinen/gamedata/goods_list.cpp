// The goods list of the realm: finding nodes by kind, adding goods to the
// store and making sale offers from it, and the line texts of the market's
// lists. Rules: docs/goods.md, "The goods list".
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "platform/log.h"
#include "routinen/system/catalog.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"

namespace {

// The list library's filtered walk over the nodes of one kind: the kind
// field is the search key, the comparison node carries the kind. The walk
// never wraps past the list's end, so every loop over it ends.
struct KindWalk {
  ListHeader* list;
  WarenListenEntry* cmp;
  explicit KindWalk(ListHeader* l, uint16_t kind) : list(l), cmp(reinterpret_cast<WarenListenEntry*>(l->compare)) {
    list->fields[0].key = 1;
    cmp->kind = kind;
  }
  ~KindWalk() { list->fields[0].key = 0; }
  WarenListenEntry* First() { return reinterpret_cast<WarenListenEntry*>(GetNode(list, LN_SEARCH, 0)); }
  WarenListenEntry* Next() { return reinterpret_cast<WarenListenEntry*>(GetNode(list, LN_SEARCH | LN_NEXT, 0)); }
};

bool IsGoodsList(const ListHeader* list) {
  return list && list->type == LIST_GOODS && list->compare && list->field_count > 0;
}

// A cleared node; null (logged) when memory runs out.
WarenListenEntry* NewWarenNode(ListHeader* list) {
  auto* n = static_cast<WarenListenEntry*>(AllocVec(list->node_size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!n) DebugLog("AddWare2List : Konnte Speicher nicht allokieren !\n");
  return n;
}

// Fills a new or reused node and links it at the end of the list.
void LinkWarenNode(ListHeader* list, WarenListenEntry* n, uint16_t kind, uint32_t type, uint32_t quantity,
                   uint32_t price) {
  n->kind = kind;
  n->owner = GameDataOwnerID();
  n->goods = type;
  n->quantity = quantity;
  n->price = price;
  n->ident = uint32_t(time(nullptr));
  if (kind == WARE_ANGEBOT) {
    n->buyer = 0;
    n->bid_quantity = 0;
    n->bid_price = 0;
    n->closing = 0;
  }
  AddNode(list, &n->head, LN_TAIL, 0);
  DebugLog("Addiere Node... WarenTyp %lu Einheiten %lu Preis %lu\n", (unsigned long)type, (unsigned long)quantity,
           (unsigned long)price);
}

// Unlinks a node without freeing it; 1 when it was in the list.
int32_t UnlinkNode(ListHeader* list, WarenListenEntry* node) {
  uint32_t index = 0;
  for (ListNode* n = list->first; n && index < list->count; n = n->next, ++index)
    if (n == &node->head) return RemoveNode(list, LN_INDEX, index, RN_KEEP_NODE) >= 0;
  return 0;
}

// The store nodes of one type, in list order (at most max of them), and
// their total in *total.
uint32_t StoreNodes(ListHeader* list, uint32_t type, WarenListenEntry** out, uint32_t max, uint64_t* total) {
  uint32_t n = 0;
  *total = 0;
  KindWalk walk(list, WARE_LAGER);
  for (WarenListenEntry* e = walk.First(); e; e = walk.Next()) {
    if (e->goods != type) continue;
    *total += e->quantity;
    if (n < max) out[n] = e;
    ++n;
  }
  return n;
}

// A new sale offer of goods from the store: the first store node of the type
// becomes the offer when it holds exactly the quantity; otherwise the
// quantity is taken from the store nodes in list order (emptied ones are
// removed) and a new node made. Refused when the store holds too little.
int32_t AddSale(ListHeader* list, uint32_t type, uint32_t quantity, uint32_t price) {
  uint64_t total = 0;
  const uint32_t found = type == 0 ? 0 : StoreNodes(list, type, nullptr, 0, &total);
  if (found == 0) DebugLog("Keine Ware davon gefunden...\n");
  if (type != 0 && total < quantity) {
    DebugLog("AddWare2List : Nur %" PRIu64 " Einheiten von WarenTyp %lu im Lager, %lu angeboten\n", total,
             (unsigned long)type, (unsigned long)quantity);
    return 0;
  }
  if (found > 0) {
    WarenListenEntry* first = nullptr;
    StoreNodes(list, type, &first, 1, &total);
    if (first->quantity == quantity) {
      UnlinkNode(list, first);
      LinkWarenNode(list, first, WARE_ANGEBOT, type, quantity, price);
      return 1;
    }
  }
  WarenListenEntry* offer = NewWarenNode(list);
  if (!offer) return 0;
  uint32_t left = type == 0 ? 0 : quantity;
  while (left > 0) {
    WarenListenEntry* s = nullptr;
    StoreNodes(list, type, &s, 1, &total);
    if (s->quantity > left) {
      s->quantity -= left;
      break;
    }
    left -= s->quantity;
    UnlinkNode(list, s);
    FreeVec(s);
  }
  LinkWarenNode(list, offer, WARE_ANGEBOT, type, quantity, price);
  return 1;
}

// Goods into the store: merged into the first store node of the type; what
// would pass 2^32 - 1 units there goes into a new store node.
int32_t AddStore(ListHeader* list, uint32_t type, uint32_t quantity, uint32_t price) {
  uint64_t total = 0;
  WarenListenEntry* s = nullptr;
  if (StoreNodes(list, type, &s, 1, &total) > 0) {
    const uint32_t room = 0xFFFFFFFFu - s->quantity;
    if (quantity <= room) {
      s->quantity += quantity;
      return 1;
    }
    WarenListenEntry* more = NewWarenNode(list);
    if (!more) return 0;
    s->quantity = 0xFFFFFFFFu;
    LinkWarenNode(list, more, WARE_LAGER, type, quantity - room, price);
    return 1;
  }
  WarenListenEntry* n = NewWarenNode(list);
  if (!n) return 0;
  LinkWarenNode(list, n, WARE_LAGER, type, quantity, price);
  return 1;
}

}  // namespace

WarenListenEntry* FindWarenNode(ListHeader* list, uint32_t n, uint16_t kind) {
  if (!IsGoodsList(list)) return nullptr;
  KindWalk walk(list, kind);
  uint32_t i = 0;
  for (WarenListenEntry* e = walk.First(); e; e = walk.Next(), ++i)
    if (i == n) return e;
  return nullptr;
}

uint32_t CountWarenNodes(ListHeader* list, uint16_t kind) {
  if (!IsGoodsList(list)) return 0;
  KindWalk walk(list, kind);
  uint32_t n = 0;
  for (WarenListenEntry* e = walk.First(); e; e = walk.Next()) ++n;
  return n;
}

int32_t AddWare2List(ListHeader* list, uint16_t kind, uint32_t type, uint32_t quantity, uint32_t price) {
  if (!IsGoodsList(list)) return 0;
  if (!IsWarenTyp(type)) {
    DebugLog("AddWare2List : Unbekannter WarenTyp %lu\n", (unsigned long)type);
    return 0;
  }
  if (kind == WARE_ANGEBOT) return AddSale(list, type, quantity, price);
  if (kind == WARE_LAGER) return AddStore(list, type, quantity, price);
  WarenListenEntry* n = NewWarenNode(list);
  if (!n) return 0;
  LinkWarenNode(list, n, kind, type, quantity, price);
  return 1;
}

int32_t HatWarenGebot(const WarenListenEntry* node) {
  return node && node->bid_quantity != 0 && node->bid_price != 0 ? 1 : 0;
}

char* MakeWarenLines(ListHeader* list, uint32_t mode, ListHeader* players, uint32_t* count) {
  *count = 0;
  if (!IsGoodsList(list) || mode < 1 || mode > 5) return nullptr;
  const uint16_t kind = mode == 5 ? WARE_ANGEBOT : WARE_FREMD;
  const uint32_t n = CountWarenNodes(list, kind);
  if (n == 0) return nullptr;
  char* lines = static_cast<char*>(AllocVec(n * 80, MEMF_PUBLIC | MEMF_CLEAR));
  if (!lines) {
    DebugLog("CreateWarenReqListBuffer: Konnte Speicher für ReqBuffer nicht allokieren !\n");
    return nullptr;
  }
  KindWalk walk(list, kind);
  uint32_t i = 0;
  for (WarenListenEntry* e = walk.First(); e && i < n; e = walk.Next(), ++i) {
    char* line = lines + i * 80;
    const bool bid = HatWarenGebot(e);
    switch (mode) {
      case 1: {
        char name[40] = {0};
        if (FindPlayerNameInList(e->owner, name, players))
          std::snprintf(line, 80, "%s", name);
        else
          std::snprintf(line, 80, "? (%lu)", (unsigned long)e->owner);
        break;
      }
      case 2:
        std::snprintf(line, 80, "%s", GetWarenName(e->goods));
        break;
      case 3:
        if (bid)
          std::snprintf(line, 80, "%lu/(%lu)", (unsigned long)e->quantity, (unsigned long)e->bid_quantity);
        else
          std::snprintf(line, 80, "%lu", (unsigned long)e->quantity);
        break;
      case 4:
        if (bid)
          std::snprintf(line, 80, "%lu/(%lu)", (unsigned long)e->price, (unsigned long)e->bid_price);
        else
          std::snprintf(line, 80, "%lu", (unsigned long)e->price);
        break;
      default:
        std::snprintf(line, 80, "%s ( %lu %s %lu GS )", GetWarenName(e->goods), (unsigned long)e->quantity,
                      GetCatalogStr(677), (unsigned long)e->price);
        break;
    }
  }
  *count = i;
  return lines;
}
