#include "platform/threads.h"

#include <gtest/gtest.h>

namespace {
int Worker(void* p) {
  auto* f = static_cast<ThreadFlags*>(p);
  while (!f->quit.load()) SleepMs(1);
  f->finished.store(1);
  return 7;
}
}  // namespace

TEST(ThreadLifecycle, StartStopByFlagManyTimes) {
  for (int i = 0; i < 1000; i++) {
    ThreadFlags flags;
    QoeThread* t = StartThread("Worker", Worker, &flags);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(StopThreadByFlag(t, &flags, 5000), 1);
  }
}

TEST(ThreadNamedObjects, SameNameIsSameObject) {
  int before = NamedObjectCount();
  QoeSemaphore* a = CreateNamedSemaphore("Motion Semaphore", 1, 1);
  QoeSemaphore* b = CreateNamedSemaphore("Motion Semaphore", 0, 5);
  EXPECT_EQ(a, b);
  EXPECT_EQ(ObtainSemaphoreTimeout(a, 0), 1);
  EXPECT_EQ(ObtainSemaphoreTimeout(b, 0), 0);
  EXPECT_EQ(ReleaseSemaphore(a), 1);
  EXPECT_EQ(ReleaseSemaphore(a), 0);  // at its maximum
  DeleteSemaphore(a);
  DeleteSemaphore(b);
  EXPECT_EQ(NamedObjectCount(), before);
}

TEST(ThreadSignals, AutoResetWakesOnce) {
  QoeSignal* e = CreateNamedSignal(nullptr, 0, 0);
  EXPECT_EQ(WaitSignal(e, 0), 0);
  SetSignal(e);
  EXPECT_EQ(WaitSignal(e, 0), 1);
  EXPECT_EQ(WaitSignal(e, 0), 0);
  DeleteSignal(e);
}
