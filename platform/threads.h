// Threads and named synchronisation objects of the platform layer.
// Objects created with the same name are one object (reference counted), so
// parts of the program meet through names such as "Motion Semaphore".
// Named threads stop by a quit flag and a wait for their finished flag.
#pragma once
#include <atomic>
#include <cstdint>

struct QoeThread;
struct QoeMutex;
struct QoeSemaphore;
struct QoeSignal;

// Quit/finished handshake shared by a thread and its owner.
struct ThreadFlags {
  std::atomic<int> quit{0};
  std::atomic<int> finished{0};
};

// Starts fn(arg) on a new thread with the platform's default stack; null on failure.
QoeThread* StartThread(const char* name, int (*fn)(void* arg), void* arg);
// Waits for the thread to end, frees it and returns fn's result (-1 for null).
int JoinThread(QoeThread* t);
// Sets flags->quit, waits (polling every 5 ms, at most timeout_ms; <0 forever)
// for flags->finished, then joins. Returns 1 when the thread ended in time.
int StopThreadByFlag(QoeThread* t, ThreadFlags* flags, int timeout_ms);
// Gives the calling thread an alternate signal stack when it has none (every
// StartThread thread gets one); returns memory the thread frees at its end
// after switching the stack off, or null.
void* AddSignalStack();
// Name of the calling thread as given to StartThread ("Main" for the first).
const char* CurrentThreadName();
// Sleeps the calling thread.
void SleepMs(uint32_t ms);

// Mutex (recursive, like its Windows counterpart). Same name -> same object.
QoeMutex* CreateNamedMutex(const char* name);
void ObtainMutex(QoeMutex* m);
int ObtainMutexTimeout(QoeMutex* m, int timeout_ms);  // 1 when obtained
void ReleaseMutex(QoeMutex* m);  // ignored unless the calling thread holds it
// How many times the calling thread holds the mutex (0: not at all).
int MutexHeldCount(QoeMutex* m);
void DeleteMutex(QoeMutex* m);

// Counting semaphore. Same name -> same object (initial/max of the first).
QoeSemaphore* CreateNamedSemaphore(const char* name, int initial, int max);
void ObtainSemaphore(QoeSemaphore* s);
int ObtainSemaphoreTimeout(QoeSemaphore* s, int timeout_ms);  // 1 when obtained
int ReleaseSemaphore(QoeSemaphore* s);  // 0 when already at its maximum
void DeleteSemaphore(QoeSemaphore* s);

// Event: manual-reset stays set until reset; auto-reset wakes one waiter.
QoeSignal* CreateNamedSignal(const char* name, int manual_reset, int initial);
void SetSignal(QoeSignal* e);
void ResetSignal(QoeSignal* e);
int WaitSignal(QoeSignal* e, int timeout_ms);  // 1 when signalled, <0 forever
void DeleteSignal(QoeSignal* e);

// Number of live named objects (tests check that nothing leaks).
int NamedObjectCount();
