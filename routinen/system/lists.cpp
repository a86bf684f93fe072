// Typed lists: type registry, node linking, search and sort.
#include "lists.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "memory.h"
#include "platform/log.h"

namespace {

struct TypeEntry {
  ListField* fields;  // AllocVec'd copy with offsets
  uint32_t count;
  uint32_t node_size;
};

// The list library's state record: the registered list types, under `lock`
// (registered at start-up, looked up by any thread, freed at shut-down).
struct ListTypeRegistry {
  std::mutex lock;
  TypeEntry types[LIST_TYPE_LIMIT];
};
ListTypeRegistry g_registry;

constexpr uint16_t P = LIST_HOSTPTR_SIZE;

const ListField kTurnMail[] = {{LF_INLINE, 0, 80, 0}, {LF_INLINE, 0, 140, 0}, {LF_INLINE, 0, 4, 0},
                               {LF_INLINE, 0, 8, 0}};
const ListField kLetter[] = {
    {LF_INLINE, 0, 4, 0},   {LF_INLINE, 0, 80, 0}, {LF_INLINE, 0, 24, 0}, {LF_INLINE, 0, 160, 0},
    {LF_INLINE, 0, 40, 0},  {LF_INLINE, 0, 40, 0}, {LF_INLINE, 0, 160, 0}, {LF_INLINE, 0, 4, 0},
    {LF_INLINE, 0, 4, 0},   {LF_TEXT, 0, 0, 0}};
const ListField kCategory[] = {{LF_INLINE, 0, 80, 0}, {LF_INLINE, 0, 4, 0}, {LF_INLINE, 0, 4, 0}};
const ListField kObjekt[] = {{LF_INLINE, 0, 4, 0}, {LF_INLINE, 0, 4, 0}, {LF_INLINE, 0, 4, 0},
                             {LF_INLINE, 0, 4, 0}, {LF_INLINE, 0, 4, 0}, {LF_INLINE, 0, P, 0},
                             {LF_INLINE, 0, P, 0}, {LF_INLINE, 0, P, 0}, {LF_INLINE, 0, P, 0}};
const ListField kDirty[] = {{LF_INLINE, 0, 4, 0}, {LF_INLINE, 0, 4, 0}, {LF_INLINE, 0, 4, 0},
                            {LF_INLINE, 0, 4, 0}};

struct BuiltIn {
  uint32_t type;
  const ListField* fields;
  uint32_t count;
  uint32_t node_size;
};
const BuiltIn kBuiltIns[] = {
    {LIST_TURN_MAILS, kTurnMail, 4, sizeof(EmailNode)},
    {LIST_LETTERS, kLetter, 10, sizeof(SmalListEntry)},
    {LIST_STATISTICS, kCategory, 3, sizeof(StatistikKategorie)},
    {LIST_OBJEKT3D, kObjekt, 9, sizeof(ObjektListEntry)},
    {LIST_DIRTY_RECTS, kDirty, 4, sizeof(DirtyRect)},
};

size_t AlignUp(size_t v, size_t a) { return (v + a - 1) / a * a; }

// Fills in the offsets of a table; returns the node size (head included) or 0
// when the table is unusable.
uint32_t LayoutFields(ListField* f, uint32_t count) {
  size_t pos = sizeof(ListNode);
  for (uint32_t k = 0; k < count; ++k) {
    size_t size, align;
    if (f[k].kind == LF_MEMORY || f[k].kind == LF_TEXT) {
      size = sizeof(void*);
      align = alignof(void*);
    } else if (f[k].kind == LF_INLINE) {
      size = f[k].size;
      if (size == 0) return 0;
      align = (size == 1 || size == 2 || size == 4 || size == 8) ? size : 1;
    } else {
      return 0;
    }
    pos = AlignUp(pos, align);
    if (pos > 0xFFFF) return 0;
    f[k].offset = (uint16_t)pos;
    pos += size;
  }
  pos = AlignUp(pos, alignof(ListNode));
  return pos > 0xFFFF ? 0 : (uint32_t)pos;
}

// Copies a table into fresh memory with its offsets; null on failure.
ListField* CopyTable(const ListField* src, uint32_t count, uint32_t* node_size) {
  if (!src || count == 0) return nullptr;
  ListField* f = static_cast<ListField*>(AllocVec(count * sizeof(ListField), MEMF_CLEAR));
  if (!f) return nullptr;
  std::memcpy(f, src, count * sizeof(ListField));
  *node_size = LayoutFields(f, count);
  if (*node_size == 0) {
    FreeVec(f);
    return nullptr;
  }
  return f;
}

// Finds the table of a type: a registered one first, else a built-in one.
bool LookupType(uint32_t number, const ListField** fields, uint32_t* count, uint32_t* node_size) {
  if (number >= LIST_TYPE_LIMIT) return false;
  if (g_registry.types[number].fields) {
    *fields = g_registry.types[number].fields;
    *count = g_registry.types[number].count;
    *node_size = g_registry.types[number].node_size;
    return true;
  }
  for (const BuiltIn& b : kBuiltIns) {
    if (b.type == number) {
      *fields = b.fields;
      *count = b.count;
      *node_size = b.node_size;
      return true;
    }
  }
  return false;
}

void LinkBefore(ListHeader* list, ListNode* node, ListNode* at) {
  // Inserts node before `at` in the ring (at != null, list not empty).
  node->next = at;
  node->prev = at->prev;
  at->prev->next = node;
  at->prev = node;
}

void LinkTail(ListHeader* list, ListNode* node) {
  if (!list->first) {
    node->next = node->prev = node;
    list->first = node;
    list->current = node;
  } else {
    LinkBefore(list, node, list->first);
  }
  list->count++;
}

ListNode* NodeAt(const ListHeader* list, uint32_t index) {
  if (!list->first || index >= list->count) return nullptr;
  ListNode* n = list->first;
  while (index--) n = n->next;
  return n;
}

// Compares the search-key fields (key byte 1) of a node with the comparison
// node. A list without any such field matches nothing.
bool MatchesKeys(const ListHeader* list, const ListNode* node) {
  bool any = false;
  for (uint32_t k = 0; k < list->field_count; ++k) {
    const ListField& f = list->fields[k];
    if (f.key != 1) continue;
    any = true;
    const uint8_t* a = reinterpret_cast<const uint8_t*>(node) + f.offset;
    const uint8_t* b = reinterpret_cast<const uint8_t*>(list->compare) + f.offset;
    if (f.kind == LF_INLINE) {
      if (std::memcmp(a, b, f.size) != 0) return false;
    } else {
      const void* pa;
      const void* pb;
      std::memcpy(&pa, a, sizeof pa);
      std::memcpy(&pb, b, sizeof pb);
      if (!pa || !pb) {
        if (pa != pb) return false;
      } else if (f.kind == LF_MEMORY) {
        if (std::memcmp(pa, pb, f.size) != 0) return false;
      } else if (std::strcmp(static_cast<const char*>(pa), static_cast<const char*>(pb)) != 0) {
        return false;
      }
    }
  }
  return any;
}

// Search walk: never wraps past the end of the list, so a loop of mode 1
// followed by mode 33 until null always ends.
ListNode* Search(ListHeader* list, uint32_t mode) {
  ListNode* n;
  bool backwards = false;
  if (mode & LN_NEXT) {
    ListNode* cur = list->current ? list->current : list->first;
    if (cur->next == list->first) return nullptr;  // current is the last
    n = cur->next;
  } else if (mode & LN_CURRENT) {
    n = list->current ? list->current : list->first;
  } else if (mode & LN_TAIL) {
    n = list->first->prev;
    backwards = true;
  } else {
    n = list->first;
  }
  for (uint32_t steps = 0; steps < list->count; ++steps) {
    if (MatchesKeys(list, n)) {
      list->current = n;
      return n;
    }
    if (backwards ? n == list->first : n->next == list->first) break;
    n = backwards ? n->prev : n->next;
  }
  return nullptr;
}

int CompareField(const ListField& f, const ListNode* x, const ListNode* y) {
  const uint8_t* a = reinterpret_cast<const uint8_t*>(x) + f.offset;
  const uint8_t* b = reinterpret_cast<const uint8_t*>(y) + f.offset;
  if (f.kind == LF_INLINE) {
    switch (f.size) {
      case 1: return a[0] < b[0] ? -1 : a[0] > b[0];
      case 2: { uint16_t u, v; std::memcpy(&u, a, 2); std::memcpy(&v, b, 2); return u < v ? -1 : u > v; }
      case 4: { uint32_t u, v; std::memcpy(&u, a, 4); std::memcpy(&v, b, 4); return u < v ? -1 : u > v; }
      case 8: { uint64_t u, v; std::memcpy(&u, a, 8); std::memcpy(&v, b, 8); return u < v ? -1 : u > v; }
      default: {
        // A text in a byte array: compare up to the first NUL.
        for (uint32_t i = 0; i < f.size; ++i) {
          if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
          if (a[i] == 0) break;
        }
        return 0;
      }
    }
  }
  const void* pa;
  const void* pb;
  std::memcpy(&pa, a, sizeof pa);
  std::memcpy(&pb, b, sizeof pb);
  if (!pa || !pb) return pa ? 1 : (pb ? -1 : 0);
  int c = f.kind == LF_MEMORY ? std::memcmp(pa, pb, f.size)
                              : std::strcmp(static_cast<const char*>(pa), static_cast<const char*>(pb));
  return c < 0 ? -1 : c > 0;
}

void Unlink(ListHeader* list, ListNode* node) {
  if (list->count == 1) {
    list->first = nullptr;
    list->current = nullptr;
  } else {
    node->prev->next = node->next;
    node->next->prev = node->prev;
    if (list->first == node) list->first = node->next;
    if (list->current == node) list->current = node->next;
  }
  node->next = node->prev = nullptr;
  list->count--;
}

}  // namespace

int RegisterListType(uint32_t number, uint32_t node_size, const ListField* fields, uint32_t count) {
  if (number == 0 || number >= LIST_TYPE_LIMIT) {
    DebugLog("RegisterListType: Ungueltiger Listentyp %u\n", number);
    return 0;
  }
  uint32_t computed = 0;
  ListField* copy = CopyTable(fields, count, &computed);
  if (!copy || (node_size != 0 && node_size < computed)) {
    DebugLog("RegisterListType: Feldtabelle von Typ %u ist ungueltig\n", number);
    FreeVec(copy);
    return 0;
  }
  std::lock_guard<std::mutex> lock(g_registry.lock);
  FreeVec(g_registry.types[number].fields);
  g_registry.types[number].fields = copy;
  g_registry.types[number].count = count;
  g_registry.types[number].node_size = node_size ? node_size : computed;
  return 1;
}

void FreeListTypes() {
  std::lock_guard<std::mutex> lock(g_registry.lock);
  for (TypeEntry& t : g_registry.types) {
    FreeVec(t.fields);
    t = TypeEntry{};
  }
}

uint32_t ListTypeNodeSize(uint32_t number) {
  std::lock_guard<std::mutex> lock(g_registry.lock);
  const ListField* f;
  uint32_t count, size;
  return LookupType(number, &f, &count, &size) ? size : 0;
}

ListHeader* CreateList(uint32_t type) {
  const ListField* src;
  uint32_t count, node_size, computed = 0;
  ListField* fields;
  {
    std::lock_guard<std::mutex> lock(g_registry.lock);
    if (!LookupType(type, &src, &count, &node_size)) {
      DebugLog("CreateList: Unbekannter Listentyp %u\n", type);
      return nullptr;
    }
    fields = CopyTable(src, count, &computed);
  }
  if (!fields) return nullptr;
  ListHeader* list = static_cast<ListHeader*>(AllocVec(sizeof(ListHeader), MEMF_PUBLIC | MEMF_CLEAR));
  ListNode* cmp = static_cast<ListNode*>(AllocVec(node_size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!list || !cmp) {
    FreeVec(list);
    FreeVec(cmp);
    FreeVec(fields);
    return nullptr;
  }
  list->type = type;
  list->field_count = count;
  list->node_size = node_size;
  list->fields = fields;
  list->compare = cmp;
  return list;
}

uint32_t AddNode(ListHeader* list, ListNode* node, uint32_t mode, uint32_t index) {
  if (!list) return 0;
  if (!node) return list->count;
  switch (mode) {
    case LN_TAIL:
      LinkTail(list, node);
      break;
    case LN_HEAD:
      LinkTail(list, node);
      list->first = node;  // the ring's tail position is the head's prev
      break;
    case LN_INDEX:
      if (index == 0 || index >= list->count) {
        LinkTail(list, node);
      } else {
        LinkBefore(list, node, NodeAt(list, index));
        list->count++;
      }
      break;
    case LN_CURRENT:
      if (!list->current) return list->count;
      LinkBefore(list, node, list->current);
      if (list->current == list->first) list->first = node;
      list->count++;
      break;
    default:
      return list->count;
  }
  return list->count;
}

ListNode* GetNode(ListHeader* list, uint32_t mode, uint32_t index) {
  if (!list || !list->first || list->count == 0) return nullptr;
  ListNode* n = nullptr;
  if (mode & LN_SEARCH) return Search(list, mode);
  ListNode* cur = list->current ? list->current : list->first;
  switch (mode) {
    case LN_HEAD: n = list->first; break;
    case LN_TAIL: n = list->first->prev; break;
    case LN_INDEX: n = NodeAt(list, index); break;
    case LN_CURRENT: n = cur; break;
    case LN_NEXT: n = cur->next; break;
    case LN_PREV: n = cur->prev; break;
    default: return nullptr;
  }
  if (n) list->current = n;
  return n;
}

int32_t RemoveNode(ListHeader* list, uint32_t mode, uint32_t index, uint32_t flags) {
  if (!list || !list->first || list->count == 0) return -1;
  ListNode* n = nullptr;
  if (list->count == 1) {
    n = list->first;
  } else {
    switch (mode) {
      case LN_HEAD: n = list->first; break;
      case LN_TAIL: n = list->first->prev; break;
      case LN_INDEX: n = NodeAt(list, index); break;
      case LN_CURRENT: n = list->current; break;
      default: break;
    }
  }
  if (!n) return -1;
  ListNode* after = n->next;
  Unlink(list, n);
  if (mode == LN_INDEX && list->count) list->current = after;
  if (flags & RN_FREE_POINTERS) FreeNodePointers(list, n);
  if (!(flags & RN_KEEP_NODE)) FreeVec(n);
  return (int32_t)list->count;
}

int SwapNodes(ListHeader* list, ListNode* a, ListNode* b) {
  if (!list || !a || !b || !list->first) return 0;
  if (a == b) return 1;
  // Gather the ring into order, swap the two entries, relink.
  ListNode** nodes = static_cast<ListNode**>(AllocVec(list->count * sizeof(ListNode*), 0));
  if (!nodes) return 0;
  int ia = -1, ib = -1;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count; ++i, n = n->next) {
    nodes[i] = n;
    if (n == a) ia = (int)i;
    if (n == b) ib = (int)i;
  }
  if (ia < 0 || ib < 0) {
    FreeVec(nodes);
    return 0;
  }
  std::swap(nodes[ia], nodes[ib]);
  for (uint32_t i = 0; i < list->count; ++i) {
    nodes[i]->next = nodes[(i + 1) % list->count];
    nodes[i]->prev = nodes[(i + list->count - 1) % list->count];
  }
  list->first = nodes[0];
  FreeVec(nodes);
  return 1;
}

int SortNode(ListHeader* list, uint32_t mode) {
  if (!list) return 0;
  if (mode != SORT_ASCENDING && mode != SORT_DESCENDING) return 0;
  if (list->count < 2) return 1;
  // Key fields by priority, highest key byte first.
  uint32_t order[256];
  uint32_t nkeys = 0;
  for (int prio = 255; prio >= 1; --prio)
    for (uint32_t k = 0; k < list->field_count && nkeys < 256; ++k)
      if (list->fields[k].key == prio) order[nkeys++] = k;
  ListNode** nodes = static_cast<ListNode**>(AllocVec(list->count * sizeof(ListNode*), 0));
  if (!nodes) return 0;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count; ++i, n = n->next) nodes[i] = n;
  const bool desc = mode == SORT_DESCENDING;
  std::stable_sort(nodes, nodes + list->count, [&](const ListNode* x, const ListNode* y) {
    for (uint32_t i = 0; i < nkeys; ++i) {
      int c = CompareField(list->fields[order[i]], x, y);
      if (c != 0) return desc ? c > 0 : c < 0;
    }
    return false;
  });
  for (uint32_t i = 0; i < list->count; ++i) {
    nodes[i]->next = nodes[(i + 1) % list->count];
    nodes[i]->prev = nodes[(i + list->count - 1) % list->count];
  }
  list->first = nodes[0];
  FreeVec(nodes);
  for (uint32_t k = 0; k < list->field_count; ++k) list->fields[k].key = 0;
  return 1;
}

char* List2StringArray(ListHeader* list, uint32_t data_offset, uint32_t unused) {
  if (!list || !list->first || list->count == 0) return nullptr;
  const ListField* f = nullptr;
  for (uint32_t k = 0; k < list->field_count; ++k)
    if (list->fields[k].offset == data_offset + sizeof(ListNode)) f = &list->fields[k];
  if (!f) {
    DebugLog("List2StringArray: Kein Feld an Offset %u\n", data_offset);
    return nullptr;
  }
  char* lines = static_cast<char*>(AllocVec(list->count * 80, MEMF_PUBLIC | MEMF_CLEAR));
  if (!lines) return nullptr;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count; ++i, n = n->next) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(n) + f->offset;
    char* line = lines + i * 80;
    const char* src = reinterpret_cast<const char*>(p);
    size_t limit = 79;
    if (f->kind == LF_INLINE) {
      limit = std::min<size_t>(limit, f->size);
    } else {
      std::memcpy(&src, p, sizeof src);
      if (!src) continue;
      if (f->kind == LF_MEMORY) limit = std::min<size_t>(limit, f->size);
    }
    for (size_t c = 0; c < limit && src[c]; ++c) line[c] = src[c];
  }
  return lines;
}

void FreeNodePointers(const ListHeader* list, ListNode* node) {
  if (!list || !node) return;
  for (uint32_t k = 0; k < list->field_count; ++k) {
    const ListField& f = list->fields[k];
    if (f.kind != LF_MEMORY && f.kind != LF_TEXT) continue;
    uint8_t* p = reinterpret_cast<uint8_t*>(node) + f.offset;
    void* mem;
    std::memcpy(&mem, p, sizeof mem);
    FreeVec(mem);
    mem = nullptr;
    std::memcpy(p, &mem, sizeof mem);
  }
}

void DeleteList(ListHeader* list, uint32_t flag) {
  if (!list) return;
  ListNode* n = list->first;
  for (uint32_t i = 0; n && i < list->count; ++i) {
    ListNode* next = n->next;
    if (flag) FreeNodePointers(list, n);
    FreeVec(n);
    n = next;
  }
  FreeVec(list->compare);
  FreeVec(list->fields);
  FreeVec(list);
}

int32_t ListFieldOffset(const ListHeader* list, uint32_t k) {
  if (!list || k >= list->field_count) return -1;
  return (int32_t)(list->fields[k].offset - sizeof(ListNode));
}

uint8_t* ListFieldPtr(const ListHeader* list, ListNode* node, uint32_t k) {
  if (!list || !node || k >= list->field_count) return nullptr;
  return reinterpret_cast<uint8_t*>(node) + list->fields[k].offset;
}
