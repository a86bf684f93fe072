#include "threads.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "log.h"

namespace {

thread_local const char* t_name = "Main";

std::mutex g_registry_lock;
// name -> object; unnamed objects are not registered.
std::map<std::string, void*>& Registry() {
  static std::map<std::string, void*> r;
  return r;
}
std::atomic<int> g_live{0};

}  // namespace

struct QoeThread {
  pthread_t id;
  char name[64];
  int (*fn)(void*);
  void* arg;
  int result;
};

struct QoeMutex {
  std::string name;
  int refs = 1;
  std::recursive_timed_mutex m;
  std::atomic<std::thread::id> owner{};
  int depth = 0;  // written only by the owner while it holds m
};

struct QoeSemaphore {
  std::string name;
  int refs = 1;
  std::mutex m;
  std::condition_variable cv;
  int count = 0, max = 1;
};

struct QoeSignal {
  std::string name;
  int refs = 1;
  std::mutex m;
  std::condition_variable cv;
  bool manual = false, set = false;
};

// Gives the calling thread an alternate signal stack (when it has none), so
// the fatal-signal handler runs even after a stack overflow. Returns the
// memory to free at the thread's end, or null.
void* AddSignalStack() {
  const size_t kSize = 64 * 1024;
  stack_t old;
  if (sigaltstack(nullptr, &old) != 0 || !(old.ss_flags & SS_DISABLE)) return nullptr;
  void* mem = std::malloc(kSize);
  if (!mem) return nullptr;
  stack_t ss{};
  ss.ss_sp = mem;
  ss.ss_size = kSize;
  if (sigaltstack(&ss, nullptr) != 0) {
    std::free(mem);
    return nullptr;
  }
  return mem;
}

static void* ThreadTrampoline(void* p) {
  QoeThread* t = static_cast<QoeThread*>(p);
  t_name = t->name;
  void* alt = AddSignalStack();
  t->result = t->fn(t->arg);
  if (alt) {
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    sigaltstack(&off, nullptr);
    std::free(alt);
  }
  return nullptr;
}

QoeThread* StartThread(const char* name, int (*fn)(void*), void* arg) {
  QoeThread* t = new QoeThread();
  std::snprintf(t->name, sizeof t->name, "%s", name ? name : "Thread");
  t->fn = fn;
  t->arg = arg;
  if (pthread_create(&t->id, nullptr, ThreadTrampoline, t) != 0) {
    DebugLog("StartThread: Konnte Thread %s nicht starten", t->name);
    delete t;
    return nullptr;
  }
  return t;
}

int JoinThread(QoeThread* t) {
  if (!t) return -1;
  pthread_join(t->id, nullptr);
  int r = t->result;
  delete t;
  return r;
}

int StopThreadByFlag(QoeThread* t, ThreadFlags* flags, int timeout_ms) {
  if (!t) return 0;
  if (flags) {
    flags->quit.store(1);
    int waited = 0;
    while (!flags->finished.load()) {
      if (timeout_ms >= 0 && waited >= timeout_ms) {
        DebugLog("StopThreadByFlag: Thread %s endet nicht", t->name);
        // The thread is still running: joining is the only safe end.
        break;
      }
      SleepMs(5);
      waited += 5;
    }
  }
  bool in_time = !flags || flags->finished.load();
  JoinThread(t);
  return in_time ? 1 : 0;
}

const char* CurrentThreadName() { return t_name; }

void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Looks up or creates a named object; T must have name and refs.
template <class T, class Make>
static T* GetNamed(const char* name, Make make) {
  std::lock_guard<std::mutex> g(g_registry_lock);
  if (name && *name) {
    auto it = Registry().find(name);
    if (it != Registry().end()) {
      T* o = static_cast<T*>(it->second);
      o->refs++;
      return o;
    }
  }
  T* o = make();
  if (name && *name) {
    o->name = name;
    Registry()[name] = o;
  }
  g_live++;
  return o;
}

template <class T>
static bool DropNamed(T* o) {
  std::lock_guard<std::mutex> g(g_registry_lock);
  if (--o->refs > 0) return false;
  if (!o->name.empty()) Registry().erase(o->name);
  g_live--;
  return true;
}

QoeMutex* CreateNamedMutex(const char* name) {
  return GetNamed<QoeMutex>(name, [] { return new QoeMutex(); });
}
static void NoteOwner(QoeMutex* m) {
  m->owner.store(std::this_thread::get_id());
  m->depth++;
}
void ObtainMutex(QoeMutex* m) {
  if (!m) return;
  m->m.lock();
  NoteOwner(m);
}
int ObtainMutexTimeout(QoeMutex* m, int timeout_ms) {
  if (!m) return 0;
  if (timeout_ms < 0) {
    ObtainMutex(m);
    return 1;
  }
  // Polls try_lock: a timed lock is not seen by ThreadSanitizer, which would
  // then report every later unlock and every access the lock guards.
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!m->m.try_lock()) {
    if (std::chrono::steady_clock::now() >= until) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  NoteOwner(m);
  return 1;
}
void ReleaseMutex(QoeMutex* m) {
  if (!m || m->owner.load() != std::this_thread::get_id()) return;
  if (--m->depth == 0) m->owner.store(std::thread::id{});
  m->m.unlock();
}
int MutexHeldCount(QoeMutex* m) {
  if (!m || m->owner.load() != std::this_thread::get_id()) return 0;
  return m->depth;
}
void DeleteMutex(QoeMutex* m) {
  if (m && DropNamed(m)) delete m;
}

QoeSemaphore* CreateNamedSemaphore(const char* name, int initial, int max) {
  return GetNamed<QoeSemaphore>(name, [&] {
    auto* s = new QoeSemaphore();
    s->max = max < 1 ? 1 : max;
    s->count = initial < 0 ? 0 : (initial > s->max ? s->max : initial);
    return s;
  });
}
void ObtainSemaphore(QoeSemaphore* s) { ObtainSemaphoreTimeout(s, -1); }
int ObtainSemaphoreTimeout(QoeSemaphore* s, int timeout_ms) {
  if (!s) return 0;
  std::unique_lock<std::mutex> l(s->m);
  auto ready = [s] { return s->count > 0; };
  if (timeout_ms < 0) {
    s->cv.wait(l, ready);
  } else if (!s->cv.wait_for(l, std::chrono::milliseconds(timeout_ms), ready)) {
    return 0;
  }
  s->count--;
  return 1;
}
int ReleaseSemaphore(QoeSemaphore* s) {
  if (!s) return 0;
  std::lock_guard<std::mutex> l(s->m);
  if (s->count >= s->max) return 0;
  s->count++;
  s->cv.notify_one();
  return 1;
}
void DeleteSemaphore(QoeSemaphore* s) {
  if (s && DropNamed(s)) delete s;
}

QoeSignal* CreateNamedSignal(const char* name, int manual_reset, int initial) {
  return GetNamed<QoeSignal>(name, [&] {
    auto* e = new QoeSignal();
    e->manual = manual_reset != 0;
    e->set = initial != 0;
    return e;
  });
}
void SetSignal(QoeSignal* e) {
  if (!e) return;
  std::lock_guard<std::mutex> l(e->m);
  e->set = true;
  if (e->manual)
    e->cv.notify_all();
  else
    e->cv.notify_one();
}
void ResetSignal(QoeSignal* e) {
  if (!e) return;
  std::lock_guard<std::mutex> l(e->m);
  e->set = false;
}
int WaitSignal(QoeSignal* e, int timeout_ms) {
  if (!e) return 0;
  std::unique_lock<std::mutex> l(e->m);
  auto ready = [e] { return e->set; };
  if (timeout_ms < 0) {
    e->cv.wait(l, ready);
  } else if (!e->cv.wait_for(l, std::chrono::milliseconds(timeout_ms), ready)) {
    return 0;
  }
  if (!e->manual) e->set = false;
  return 1;
}
void DeleteSignal(QoeSignal* e) {
  if (e && DropNamed(e)) delete e;
}

int NamedObjectCount() { return g_live.load(); }
