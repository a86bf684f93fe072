// Goods-list nodes as a WARE chunk would give them, for the tests and
// benchmarks of the goods list and the market.
#pragma once
#include "routinen/gamedata/entities.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"

namespace goods_test {

struct Ware {
  uint16_t kind;
  uint32_t owner, type, quantity, price;
  uint32_t bid_quantity = 0, bid_price = 0;
};

// Appends a node with those fields (the own player's ID 7 as buyer when it
// carries a bid).
inline WarenListenEntry* AddWare(ListHeader* list, const Ware& w) {
  auto* n = static_cast<WarenListenEntry*>(AllocVec(list->node_size, MEMF_CLEAR));
  n->kind = w.kind;
  n->owner = w.owner;
  n->goods = w.type;
  n->quantity = w.quantity;
  n->price = w.price;
  n->bid_quantity = w.bid_quantity;
  n->bid_price = w.bid_price;
  if (w.bid_quantity) n->buyer = 7;
  AddNode(list, &n->head, LN_TAIL, 0);
  return n;
}

}  // namespace goods_test
