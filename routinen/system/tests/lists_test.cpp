#include "routinen/system/lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

#include "routinen/system/memory.h"

namespace {

// A test record with every kind of field: id u32, name char[12], a sized
// memory block, a text, a u16 and a u8.
struct TestNode {
  ListNode head;
  uint32_t id;
  char name[12];
  uint8_t* blob;
  char* text;
  uint16_t small;
  uint8_t tiny;
};
const ListField kTestFields[] = {{LF_INLINE, 0, 4, 0},  {LF_INLINE, 0, 12, 0}, {LF_MEMORY, 0, 16, 0},
                                 {LF_TEXT, 0, 0, 0},    {LF_INLINE, 0, 2, 0},  {LF_INLINE, 0, 1, 0}};
constexpr uint32_t kTestType = 60;

class ListsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegisterListType(kTestType, 0, kTestFields, 6), 1);
    alloc0_ = MemAllocatedCounter_SS.load() - MemFreedCounter_SS.load();
  }
  void TearDown() override {
    // Every test frees all it took.
    EXPECT_EQ(MemAllocatedCounter_SS.load() - MemFreedCounter_SS.load(), alloc0_);
  }
  TestNode* NewNode(ListHeader* l, uint32_t id, const char* name = "") {
    auto* n = static_cast<TestNode*>(AllocVec(l->node_size, MEMF_PUBLIC | MEMF_CLEAR));
    n->id = id;
    std::strncpy(n->name, name, sizeof n->name - 1);
    return n;
  }
  uint64_t alloc0_ = 0;
};

std::vector<ListNode*> Walk(const ListHeader* l) {
  std::vector<ListNode*> v;
  ListNode* n = l->first;
  for (uint32_t i = 0; n && i < l->count; ++i, n = n->next) v.push_back(n);
  return v;
}

// The ring must be consistent in both directions and match the count.
void CheckRing(const ListHeader* l) {
  if (l->count == 0) {
    EXPECT_EQ(l->first, nullptr);
    EXPECT_EQ(l->current, nullptr);
    return;
  }
  ListNode* n = l->first;
  for (uint32_t i = 0; i < l->count; ++i) {
    ASSERT_EQ(n->next->prev, n);
    n = n->next;
  }
  EXPECT_EQ(n, l->first);
  EXPECT_EQ(l->first->prev->next, l->first);
}

uint32_t Id(const ListNode* n) { return reinterpret_cast<const TestNode*>(n)->id; }

}  // namespace

TEST_F(ListsTest, LayoutMatchesStructsOnThisHost) {
  ListHeader* l = CreateList(kTestType);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->node_size, sizeof(TestNode));
  EXPECT_EQ(l->fields[0].offset, offsetof(TestNode, id));
  EXPECT_EQ(l->fields[1].offset, offsetof(TestNode, name));
  EXPECT_EQ(l->fields[2].offset, offsetof(TestNode, blob));
  EXPECT_EQ(l->fields[3].offset, offsetof(TestNode, text));
  EXPECT_EQ(l->fields[4].offset, offsetof(TestNode, small));
  EXPECT_EQ(l->fields[5].offset, offsetof(TestNode, tiny));
  EXPECT_EQ(ListFieldOffset(l, 0), (int32_t)(offsetof(TestNode, id) - sizeof(ListNode)));
  EXPECT_EQ(ListFieldOffset(l, 6), -1);
  DeleteList(l, 0);

  struct Check { uint32_t type; size_t size; std::vector<size_t> offs; };
  const Check checks[] = {
      {LIST_TURN_MAILS, sizeof(EmailNode),
       {offsetof(EmailNode, folder), offsetof(EmailNode, path), offsetof(EmailNode, size),
        offsetof(EmailNode, date)}},
      {LIST_LETTERS, sizeof(SmalListEntry),
       {offsetof(SmalListEntry, date), offsetof(SmalListEntry, line), offsetof(SmalListEntry, date_text),
        offsetof(SmalListEntry, subject), offsetof(SmalListEntry, sender), offsetof(SmalListEntry, recipient),
        offsetof(SmalListEntry, path), offsetof(SmalListEntry, sender_id), offsetof(SmalListEntry, recipient_id),
        offsetof(SmalListEntry, text)}},
      {LIST_STATISTICS, sizeof(StatistikKategorie),
       {offsetof(StatistikKategorie, name), offsetof(StatistikKategorie, shown), offsetof(StatistikKategorie, index)}},
      {LIST_OBJEKT3D, sizeof(ObjektListEntry),
       {offsetof(ObjektListEntry, visible), offsetof(ObjektListEntry, x), offsetof(ObjektListEntry, y),
        offsetof(ObjektListEntry, texture_name), offsetof(ObjektListEntry, texture_size),
        offsetof(ObjektListEntry, bitmap), offsetof(ObjektListEntry, rastport), offsetof(ObjektListEntry, semaphore),
        offsetof(ObjektListEntry, dirty)}},
      {LIST_DIRTY_RECTS, sizeof(DirtyRect),
       {offsetof(DirtyRect, x), offsetof(DirtyRect, y), offsetof(DirtyRect, width), offsetof(DirtyRect, height)}},
  };
  for (const Check& c : checks) {
    ListHeader* b = CreateList(c.type);
    ASSERT_NE(b, nullptr) << c.type;
    EXPECT_EQ(b->node_size, c.size) << c.type;
    ASSERT_EQ(b->field_count, c.offs.size());
    for (size_t k = 0; k < c.offs.size(); ++k) EXPECT_EQ(b->fields[k].offset, c.offs[k]) << c.type << " " << k;
    DeleteList(b, 1);
  }
}

TEST_F(ListsTest, UnknownTypesAndBadTablesAreRefused) {
  EXPECT_EQ(CreateList(0), nullptr);
  EXPECT_EQ(CreateList(63), nullptr);
  EXPECT_EQ(CreateList(64), nullptr);
  EXPECT_EQ(RegisterListType(64, 0, kTestFields, 6), 0);
  EXPECT_EQ(RegisterListType(61, 0, nullptr, 0), 0);
  const ListField bad_kind[] = {{7, 0, 4, 0}};
  EXPECT_EQ(RegisterListType(61, 0, bad_kind, 1), 0);
  const ListField zero_inline[] = {{LF_INLINE, 0, 0, 0}};
  EXPECT_EQ(RegisterListType(61, 0, zero_inline, 1), 0);
  EXPECT_EQ(RegisterListType(61, 8, kTestFields, 6), 0);  // below the computed size
  EXPECT_EQ(ListTypeNodeSize(61), 0u);
  EXPECT_EQ(ListTypeNodeSize(kTestType), sizeof(TestNode));
  // Null lists are harmless everywhere.
  EXPECT_EQ(AddNode(nullptr, nullptr, LN_TAIL, 0), 0u);
  EXPECT_EQ(GetNode(nullptr, LN_HEAD, 0), nullptr);
  EXPECT_EQ(RemoveNode(nullptr, LN_HEAD, 0, 0), -1);
  EXPECT_EQ(SortNode(nullptr, SORT_ASCENDING), 0);
  EXPECT_EQ(List2StringArray(nullptr, 0, 0), nullptr);
  DeleteList(nullptr, 1);
}

// Random add/get/remove sequences against a model of the documented rules.
TEST_F(ListsTest, RandomSequencesKeepCountRingAndCurrentNode) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 20; ++round) {
    ListHeader* l = CreateList(kTestType);
    ASSERT_NE(l, nullptr);
    std::vector<ListNode*> model;
    ListNode* cur = nullptr;
    uint32_t next_id = 1;
    auto idx_of = [&](ListNode* n) { return (size_t)(std::find(model.begin(), model.end(), n) - model.begin()); };
    for (int step = 0; step < 400; ++step) {
      int op = (int)(rng() % 3);
      uint32_t index = rng() % 12;
      if (op == 0) {
        static const uint32_t modes[] = {LN_TAIL, LN_HEAD, LN_INDEX, LN_CURRENT, 3};
        uint32_t mode = modes[rng() % 5];
        TestNode* n = NewNode(l, next_id++);
        ListNode* node = &n->head;
        size_t before = model.size();
        if (mode == LN_TAIL) model.push_back(node);
        else if (mode == LN_HEAD) model.insert(model.begin(), node);
        else if (mode == LN_INDEX) {
          if (index == 0 || index >= model.size()) model.push_back(node);
          else model.insert(model.begin() + index, node);
        } else if (mode == LN_CURRENT && cur) model.insert(model.begin() + idx_of(cur), node);
        bool added = model.size() != before;
        if (added && before == 0) cur = node;
        EXPECT_EQ(AddNode(l, node, mode, index), model.size());
        if (!added) FreeVec(n);
      } else if (op == 1) {
        static const uint32_t modes[] = {LN_HEAD, LN_TAIL, LN_INDEX, LN_CURRENT, LN_NEXT, LN_PREV};
        uint32_t mode = modes[rng() % 6];
        ListNode* want = nullptr;
        if (!model.empty()) {
          size_t c = cur ? idx_of(cur) : 0;
          size_t m = model.size();
          switch (mode) {
            case LN_HEAD: want = model[0]; break;
            case LN_TAIL: want = model[m - 1]; break;
            case LN_INDEX: want = index < m ? model[index] : nullptr; break;
            case LN_CURRENT: want = model[c]; break;
            case LN_NEXT: want = model[(c + 1) % m]; break;
            case LN_PREV: want = model[(c + m - 1) % m]; break;
          }
        }
        EXPECT_EQ(GetNode(l, mode, index), want);
        if (want) cur = want;
      } else {
        static const uint32_t modes[] = {LN_HEAD, LN_TAIL, LN_INDEX, LN_CURRENT};
        uint32_t mode = modes[rng() % 4];
        ListNode* victim = nullptr;
        size_t vi = 0;
        if (model.size() == 1) victim = model[0];
        else if (!model.empty()) {
          if (mode == LN_HEAD) vi = 0;
          else if (mode == LN_TAIL) vi = model.size() - 1;
          else if (mode == LN_INDEX) vi = index;
          else vi = idx_of(cur);
          if (vi < model.size()) victim = model[vi];
        }
        if (victim) vi = idx_of(victim);
        int32_t r = RemoveNode(l, mode, index, 0);
        if (!victim) {
          EXPECT_EQ(r, -1);
        } else {
          model.erase(model.begin() + vi);
          if (model.empty()) cur = nullptr;
          else if (victim == cur || mode == LN_INDEX) cur = model[vi % model.size()];
          EXPECT_EQ(r, (int32_t)model.size());
        }
      }
      ASSERT_EQ(l->count, model.size());
      ASSERT_EQ(Walk(l), model);
      ASSERT_EQ(l->current, cur);
      CheckRing(l);
    }
    DeleteList(l, 1);
  }
}

TEST_F(ListsTest, KeySearchForwardNextAndBackward) {
  ListHeader* l = CreateList(kTestType);
  const char* names[] = {"ada", "bob", "ada", "cy", "ada"};
  for (uint32_t i = 0; i < 5; ++i) {
    TestNode* n = NewNode(l, i, names[i]);
    n->text = static_cast<char*>(AllocVec(8, MEMF_CLEAR));
    std::strcpy(n->text, i % 2 ? "odd" : "even");
    AddNode(l, &n->head, LN_TAIL, 0);
  }
  // No key field set: a search finds nothing.
  EXPECT_EQ(GetNode(l, LN_SEARCH, 0), nullptr);

  l->fields[1].key = 1;
  std::strcpy(reinterpret_cast<char*>(ListFieldPtr(l, l->compare, 1)), "ada");
  std::vector<uint32_t> found;
  for (ListNode* n = GetNode(l, LN_SEARCH, 0); n; n = GetNode(l, LN_SEARCH | LN_NEXT, 0)) found.push_back(Id(n));
  EXPECT_EQ(found, (std::vector<uint32_t>{0, 2, 4}));  // mode 33 never wraps around
  EXPECT_EQ(Id(l->current), 4u);

  EXPECT_EQ(Id(GetNode(l, LN_SEARCH | LN_TAIL, 0)), 4u);
  GetNode(l, LN_INDEX, 2);
  EXPECT_EQ(Id(GetNode(l, LN_SEARCH | LN_CURRENT, 0)), 2u);
  GetNode(l, LN_INDEX, 3);
  EXPECT_EQ(Id(GetNode(l, LN_SEARCH | LN_CURRENT, 0)), 4u);

  // Two key fields: both must match; a text key compares as text.
  l->fields[3].key = 1;
  char even[] = "even";
  char* p = even;
  std::memcpy(ListFieldPtr(l, l->compare, 3), &p, sizeof p);
  EXPECT_EQ(Id(GetNode(l, LN_SEARCH, 0)), 0u);
  std::strcpy(reinterpret_cast<char*>(ListFieldPtr(l, l->compare, 1)), "bob");
  GetNode(l, LN_HEAD, 0);
  EXPECT_EQ(GetNode(l, LN_SEARCH, 0), nullptr);
  EXPECT_EQ(Id(l->current), 0u);  // a failed search leaves the current node
  p = nullptr;
  std::memcpy(ListFieldPtr(l, l->compare, 3), &p, sizeof p);
  DeleteList(l, 1);
}

TEST_F(ListsTest, SortByNumbersNotBytesWithPriorities) {
  ListHeader* l = CreateList(kTestType);
  // (small, id): small is primary (key 2), id secondary (key 1).
  const uint32_t ids[] = {0x100, 0x2, 0x1FF, 0x10000, 0x1, 0x300};
  const uint16_t smalls[] = {2, 1, 1, 2, 300, 1};
  for (int i = 0; i < 6; ++i) {
    TestNode* n = NewNode(l, ids[i]);
    n->small = smalls[i];
    AddNode(l, &n->head, LN_TAIL, 0);
  }
  l->fields[4].key = 2;
  l->fields[0].key = 1;
  ASSERT_EQ(SortNode(l, SORT_ASCENDING), 1);
  std::vector<uint32_t> got;
  for (ListNode* n : Walk(l)) got.push_back(Id(n));
  EXPECT_EQ(got, (std::vector<uint32_t>{0x2, 0x1FF, 0x300, 0x100, 0x10000, 0x1}));
  for (uint32_t k = 0; k < l->field_count; ++k) EXPECT_EQ(l->fields[k].key, 0) << k;
  CheckRing(l);

  l->fields[0].key = 1;
  ASSERT_EQ(SortNode(l, SORT_DESCENDING), 1);
  got.clear();
  for (ListNode* n : Walk(l)) got.push_back(Id(n));
  EXPECT_EQ(got, (std::vector<uint32_t>{0x10000, 0x300, 0x1FF, 0x100, 0x2, 0x1}));

  EXPECT_EQ(SortNode(l, 64), 0);
  DeleteList(l, 0);
}

TEST_F(ListsTest, SortIsStableAndHandlesTextsAndSmallLists) {
  ListHeader* l = CreateList(kTestType);
  EXPECT_EQ(SortNode(l, SORT_ASCENDING), 1);
  const char* names[] = {"zed", "amy", "Zed", "amy", "b"};
  for (uint32_t i = 0; i < 5; ++i) AddNode(l, &NewNode(l, i, names[i])->head, LN_TAIL, 0);
  l->fields[1].key = 1;
  ASSERT_EQ(SortNode(l, SORT_ASCENDING), 1);
  std::vector<uint32_t> got;
  for (ListNode* n : Walk(l)) got.push_back(Id(n));
  EXPECT_EQ(got, (std::vector<uint32_t>{2, 1, 3, 4, 0}));
  DeleteList(l, 0);
}

TEST_F(ListsTest, TurnMailsSortOldestFirst) {
  ListHeader* l = CreateList(LIST_TURN_MAILS);
  // 64-bit dates: the last one lies after 2033-08-17, beyond 32 bits.
  const uint64_t dates[] = {3723000000u, 4294990000ull, 3722913600u, 3723086400u, 86400u};
  for (uint64_t d : dates) {
    auto* m = static_cast<EmailNode*>(AllocVec(l->node_size, MEMF_CLEAR));
    m->date = d;
    std::snprintf(m->path, sizeof m->path, ".\\Data\\POP3In\\%llu.email", (unsigned long long)d);
    AddNode(l, &m->head, LN_TAIL, 0);
  }
  l->fields[3].key = 1;
  ASSERT_EQ(SortNode(l, SORT_ASCENDING), 1);
  std::vector<uint64_t> got;
  for (ListNode* n : Walk(l)) got.push_back(reinterpret_cast<EmailNode*>(n)->date);
  EXPECT_EQ(got, (std::vector<uint64_t>{86400u, 3722913600u, 3723000000u, 3723086400u, 4294990000ull}));
  DeleteList(l, 1);
}

TEST_F(ListsTest, SwapNodesExchangesPlaces) {
  ListHeader* l = CreateList(kTestType);
  std::vector<ListNode*> n;
  for (uint32_t i = 0; i < 5; ++i) {
    n.push_back(&NewNode(l, i)->head);
    AddNode(l, n.back(), LN_TAIL, 0);
  }
  auto ids = [&] {
    std::vector<uint32_t> v;
    for (ListNode* x : Walk(l)) v.push_back(Id(x));
    return v;
  };
  EXPECT_EQ(SwapNodes(l, n[0], n[4]), 1);
  EXPECT_EQ(ids(), (std::vector<uint32_t>{4, 1, 2, 3, 0}));
  EXPECT_EQ(SwapNodes(l, n[2], n[1]), 1);  // neighbours
  EXPECT_EQ(ids(), (std::vector<uint32_t>{4, 2, 1, 3, 0}));
  EXPECT_EQ(SwapNodes(l, n[3], n[3]), 1);
  CheckRing(l);
  ListHeader* other = CreateList(kTestType);
  TestNode* stranger = NewNode(other, 99);
  EXPECT_EQ(SwapNodes(l, n[0], &stranger->head), 0);
  EXPECT_EQ(ids(), (std::vector<uint32_t>{4, 2, 1, 3, 0}));
  FreeVec(stranger);
  DeleteList(other, 0);
  DeleteList(l, 0);
}

TEST_F(ListsTest, StringArrayFromInlineAndTextFields) {
  ListHeader* l = CreateList(kTestType);
  EXPECT_EQ(List2StringArray(l, 0, 0), nullptr);  // empty
  TestNode* a = NewNode(l, 1, "first");
  a->text = static_cast<char*>(AllocVec(120, MEMF_CLEAR));
  std::memset(a->text, 'x', 100);
  TestNode* b = NewNode(l, 2, "second");
  AddNode(l, &a->head, LN_TAIL, 0);
  AddNode(l, &b->head, LN_TAIL, 0);
  char* lines = List2StringArray(l, ListFieldOffset(l, 1), 0);
  ASSERT_NE(lines, nullptr);
  EXPECT_STREQ(lines, "first");
  EXPECT_STREQ(lines + 80, "second");
  FreeVec(lines);
  lines = List2StringArray(l, ListFieldOffset(l, 3), 0);
  ASSERT_NE(lines, nullptr);
  EXPECT_EQ(std::strlen(lines), 79u);
  EXPECT_STREQ(lines + 80, "");  // null text
  FreeVec(lines);
  EXPECT_EQ(List2StringArray(l, 1, 0), nullptr);  // not a field start
  DeleteList(l, 1);
}

TEST_F(ListsTest, PointerFieldsAreFreedOnlyWhenAsked) {
  ListHeader* l = CreateList(kTestType);
  std::vector<void*> keep;
  for (uint32_t i = 0; i < 4; ++i) {
    TestNode* n = NewNode(l, i);
    n->blob = static_cast<uint8_t*>(AllocVec(16, MEMF_CLEAR));
    n->text = static_cast<char*>(AllocVec(4, MEMF_CLEAR));
    AddNode(l, &n->head, LN_TAIL, 0);
  }
  // Flag 2 keeps the node, flag 1 frees its memory fields.
  auto* kept = reinterpret_cast<TestNode*>(GetNode(l, LN_INDEX, 1));
  EXPECT_EQ(RemoveNode(l, LN_INDEX, 1, RN_KEEP_NODE | RN_FREE_POINTERS), 3);
  EXPECT_EQ(kept->blob, nullptr);
  EXPECT_EQ(kept->text, nullptr);
  FreeVec(kept);
  // Flag 0 frees the node but leaves its memory to the caller.
  auto* n0 = reinterpret_cast<TestNode*>(GetNode(l, LN_HEAD, 0));
  keep.push_back(n0->blob);
  keep.push_back(n0->text);
  EXPECT_EQ(RemoveNode(l, LN_HEAD, 0, 0), 2);
  for (void* p : keep) FreeVec(p);
  DeleteList(l, 1);  // the rest goes with the list (counters checked in TearDown)
}

TEST_F(ListsTest, RemovingTheCurrentNodeByHeadOrTailMovesCurrentOn) {
  ListHeader* l = CreateList(kTestType);
  for (uint32_t i = 0; i < 3; ++i) AddNode(l, &NewNode(l, i)->head, LN_TAIL, 0);
  GetNode(l, LN_TAIL, 0);
  EXPECT_EQ(RemoveNode(l, LN_TAIL, 0, 0), 2);
  EXPECT_EQ(Id(l->current), 0u);  // never left dangling
  GetNode(l, LN_TAIL, 0);
  EXPECT_EQ(RemoveNode(l, LN_HEAD, 0, 0), 1);
  EXPECT_EQ(Id(l->current), 1u);  // unchanged: it was not the removed node
  EXPECT_EQ(RemoveNode(l, 77, 0, 0), 0);  // one node goes whatever the mode
  EXPECT_EQ(l->current, nullptr);
  EXPECT_EQ(RemoveNode(l, LN_HEAD, 0, 0), -1);
  DeleteList(l, 0);
}
