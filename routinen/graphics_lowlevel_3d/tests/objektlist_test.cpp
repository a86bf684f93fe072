// The object list without a GL context: the dirty-rectangle queue's rules,
// the entry calls given null, and entries that go before any frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace {

struct R {
  uint32_t x, y, w, h;
  bool operator==(const R& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};

std::vector<R> Queue(const ObjektListEntry* e) {
  std::vector<R> out;
  ListNode* n = e->dirty->first;
  for (uint32_t i = 0; i < e->dirty->count; i++, n = n->next) {
    auto* d = reinterpret_cast<DirtyRect*>(n);
    out.push_back({d->x, d->y, d->width, d->height});
  }
  return out;
}

class ObjektList : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(InitGLObjektList(), 1);
    bm_ = AllocBitMap(640, 480, 32, BMF_RGBA, nullptr);
    e_ = AddObjektListEntry(bm_, nullptr, "ObjektListTest");
    ASSERT_NE(e_, nullptr);
  }
  void TearDown() override {
    FreeGLObjektList();
    FreeBitMap(bm_);
  }
  BitMap* bm_ = nullptr;
  ObjektListEntry* e_ = nullptr;
};

TEST_F(ObjektList, QueueClipsMergesAndCollapses) {
  EXPECT_EQ(Objekt3DListe()->count, 1u);
  EXPECT_EQ(e_->visible, 0u);
  AddObjektDirtyRect(e_, 10, 10, 8, 12);
  AddObjektDirtyRect(e_, 14, 16, 8, 12);      // overlaps the last: one box over both
  AddObjektDirtyRect(e_, 22, 10, 8, 12);      // touches only: a rectangle of its own
  AddObjektDirtyRect(e_, -5, -5, 10, 10);     // clipped to the bitmap
  AddObjektDirtyRect(e_, 700, 10, 8, 8);      // outside: nothing
  AddObjektDirtyRect(e_, 630, 475, 40, 40);   // clipped at the far edges
  AddObjektDirtyRect(e_, 50, 50, 0, 4);       // width 0: the whole width
  AddObjektDirtyRect(e_, 100, 300, -10, -20); // negative sizes count backwards
  EXPECT_EQ(Queue(e_), (std::vector<R>{{10, 10, 12, 18}, {22, 10, 8, 12}, {0, 0, 5, 5}, {630, 475, 10, 5},
                                       {0, 50, 640, 4}, {90, 280, 10, 20}}));
  // Beyond 64 the queue becomes the whole bitmap, and stays one rectangle.
  for (uint32_t i = 0; i < 100; i++) AddObjektDirtyRect(e_, int32_t(i % 60) * 10, int32_t(i / 60) * 20, 8, 12);
  EXPECT_EQ(Queue(e_), (std::vector<R>{{0, 0, 640, 480}}));
  AddObjektDirtyRect(e_, 3, 3, 1, 1);
  EXPECT_EQ(Queue(e_), (std::vector<R>{{0, 0, 640, 480}}));
}

TEST_F(ObjektList, NullEntriesAreLoggedNotFollowed) {
  std::vector<std::string> lines;
  DebugLogSetStderr(0);
  DebugLogSetHook([](const char* l, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(l); }, &lines);
  SetObjektVisible3D(nullptr, 1);
  AddObjektDirtyRect(nullptr, 0, 0, 1, 1);
  SetObjektPos3D(nullptr, 1, 2);  // pauses a second, as the engine always did
  DebugLogSetHook(nullptr, nullptr);
  DebugLogSetStderr(1);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("Assertion failed: obj != 0, file routinen/graphics_lowlevel_3d/showobjekt3d"),
            std::string::npos);
  EXPECT_NE(lines[1].find("SetObjektPos3D: ObjektListEntry ist nicht gesetzt"), std::string::npos);
}

TEST_F(ObjektList, RemovedEntriesAndTheListAreFreedWithoutAFrame) {
  const int named = NamedObjectCount();  // the list's and the entry's semaphores among them
  BitMap* small = AllocBitMap(100, 20, 8, 0, nullptr);
  ObjektListEntry* e = AddObjektListEntry(small, nullptr, "ObjektListTest2");
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->texture_size, 128u);
  AddObjektDirtyRect(e, 0, 0, 0, 0);
  EXPECT_EQ(Objekt3DListe()->count, 2u);
  RemoveObjektListEntry(e);
  EXPECT_EQ(Objekt3DListe()->count, 1u);
  FreeGLObjektList();  // the retired entry goes with the list
  FreeBitMap(small);
  EXPECT_EQ(NamedObjectCount(), named - 2);
  ASSERT_EQ(InitGLObjektList(), 1);  // for TearDown
}

}  // namespace
