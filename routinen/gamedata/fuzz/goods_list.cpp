// The goods list on arbitrary bytes: a WARE chunk's payload (host order)
// scanned into the list, then every list mode's lines, finds by kind, and
// sales and stores of goods with the types, quantities and prices the last
// 16 bytes name. Lines stay terminated, counts agree with the list, and a
// sale never makes goods: the store's total of a type only falls by what
// the offer holds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"

namespace {

uint64_t StoreTotal(ListHeader* list, uint32_t type) {
  uint64_t total = 0;
  for (uint32_t i = 0;; ++i) {
    WarenListenEntry* e = FindWarenNode(list, i, WARE_LAGER);
    if (!e) break;
    if (e->goods == type) total += e->quantity;
  }
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool registered = (RegisterGameDataListTypes(), SetGameDataOwner(7, "Fuzz"), true);
  (void)registered;
  if (size < 16 || size > 64 * 1024) return 0;
  const uint8_t* ops = data + size - 16;
  const uint32_t payload = uint32_t(size - 16);
  uint8_t* chunk = AllocChunk("WARE", "V001", payload);
  if (!chunk) return 0;
  std::memcpy(chunk + 12, data, payload);
  ListHeader* list = CreateList(LIST_GOODS);
  ScanWare2List(list, chunk);
  FreeChunk(chunk);
  for (uint32_t mode = 0; mode <= 6; ++mode) {
    uint32_t n = 0;
    char* lines = MakeWarenLines(list, mode, nullptr, &n);
    const uint16_t kind = mode == 5 ? WARE_ANGEBOT : WARE_FREMD;
    if (mode >= 1 && mode <= 5 && n != CountWarenNodes(list, kind)) std::abort();
    for (uint32_t i = 0; i < n; ++i)
      if (std::memchr(lines + i * 80, 0, 80) == nullptr) std::abort();
    FreeVec(lines);
  }
  for (uint16_t kind : {WARE_ANGEBOT, WARE_FREMD, WARE_LAGER}) {
    const uint32_t n = CountWarenNodes(list, kind);
    if (n > list->count) std::abort();
    if (n && (!FindWarenNode(list, n - 1, kind) || FindWarenNode(list, n, kind))) std::abort();
  }
  const uint32_t type = GetLE32(ops) % 120, quantity = GetLE32(ops + 4), price = GetLE32(ops + 8);
  const uint64_t before = StoreTotal(list, type);
  const uint32_t count = list->count;
  const int32_t sold = AddWare2List(list, WARE_ANGEBOT, type, quantity, price);
  const uint64_t after = StoreTotal(list, type);
  if (!sold && (after != before || list->count != count)) std::abort();
  if (sold && type != 0 && after + quantity != before) std::abort();
  const uint64_t stored_before = StoreTotal(list, type);
  if (AddWare2List(list, WARE_LAGER, type, GetLE32(ops + 12), price) &&
      StoreTotal(list, type) != stored_before + GetLE32(ops + 12))
    std::abort();
  DeleteList(list, 0);
  return 0;
}
