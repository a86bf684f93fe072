#include "timer.h"

#include <chrono>
#include <ctime>
#include <mutex>
#include <thread>

#include "platform/events.h"
#include "platform/log.h"

namespace {

constexpr int64_t kMicro = 1000000;

// Brings tv_usec into 0..999999, carrying into the seconds.
void Normalise(int64_t* sec, int64_t* usec) {
  int64_t carry = *usec / kMicro;
  *usec %= kMicro;
  if (*usec < 0) {
    *usec += kMicro;
    carry--;
  }
  *sec += carry;
}

void Store(timeval* tv, int64_t sec, int64_t usec) {
  Normalise(&sec, &usec);
  tv->tv_sec = (time_t)sec;
  tv->tv_usec = (suseconds_t)usec;
}

// The random generator: a 64-bit linear congruential generator whose upper
// 32 bits are the values (the lower bits of such a generator are poor).
struct RandomState {
  std::mutex lock;  // any thread may draw
  bool seeded = false;
  uint64_t state = 0;
};
RandomState g_random;

void SeedLocked(uint32_t seed) {
  g_random.state = seed;
  g_random.seeded = true;
}

// One step of the generator: the value 0..n.
uint32_t Step(uint64_t* state, uint32_t n) {
  *state = *state * 6364136223846793005ull + 1442695040888963407ull;
  uint32_t value = (uint32_t)(*state >> 32);
  if (n == 0xFFFFFFFFu) return value;  // n + 1 would be 0
  return value % (n + 1);
}

}  // namespace

void GetSysTime(timeval* tv) {
  if (!tv) return;
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  tv->tv_sec = ts.tv_sec;
  tv->tv_usec = (suseconds_t)(ts.tv_nsec / 1000);
}

void AddTime(timeval* a, const timeval* b) {
  if (!a || !b) return;
  Store(a, (int64_t)a->tv_sec + b->tv_sec, (int64_t)a->tv_usec + b->tv_usec);
}

void SubTime(timeval* a, const timeval* b) {
  if (!a || !b) return;
  Store(a, (int64_t)a->tv_sec - b->tv_sec, (int64_t)a->tv_usec - b->tv_usec);
}

int32_t CmpTime(const timeval* a, const timeval* b) {
  if (!a || !b) {
    DebugLog("CmpTime: Der uebergebene timeval ptr ist nicht valid!\n");
    return 0;
  }
  int64_t as = a->tv_sec, au = a->tv_usec, bs = b->tv_sec, bu = b->tv_usec;
  Normalise(&as, &au);
  Normalise(&bs, &bu);
  if (as != bs) return as > bs ? -1 : 1;
  if (au != bu) return au > bu ? -1 : 1;
  return 0;
}

void Delay(int32_t ticks) {
  if (ticks <= 0) return;
  std::this_thread::sleep_for(std::chrono::milliseconds((int64_t)ticks * 20));
}

void ZufallSeed(uint32_t seed) {
  std::lock_guard<std::mutex> g(g_random.lock);
  SeedLocked(seed);
}

uint32_t Zufall(uint32_t n) {
  std::lock_guard<std::mutex> g(g_random.lock);
  if (!g_random.seeded)
    SeedLocked(PlatformClockIsVirtual() ? kZufallHeadlessSeed : (uint32_t)(std::time(nullptr) & 0xFFFF) % 1000);
  return Step(&g_random.state, n);
}

void ZufallStreamSeed(ZufallStream* stream, uint32_t seed) {
  if (stream) stream->state = seed;
}

uint32_t ZufallFrom(ZufallStream* stream, uint32_t n) { return stream ? Step(&stream->state, n) : Zufall(n); }
