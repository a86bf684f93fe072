// Fuzz target: file bytes through LoadMovie, then every frame decoded (on
// the calling thread, the movie halted so the scheduler leaves it alone) and
// converted to pixels.
#include <stdlib.h>
#include <sched.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/media/movie_internal.h"

namespace {
char g_dir[] = "/dev/shm/movie_fuzz_XXXXXX";  // files in memory: the file layer reads from disk

void RemoveDir() {
  unlink("fuzz.cban");
  unlink("Quill.dbg");
  if (chdir("/") == 0) rmdir(g_dir);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MovieBase* base = nullptr;
  static TitelScreenData screen{};
  static uint32_t runs = 0;
  if (!base) {
    DebugLogSetStderr(0);
    if (!mkdtemp(g_dir) || chdir(g_dir) != 0) return 0;
    std::atexit(RemoveDir);
    base = AllocMovieBase(&screen, 0, 0, AFX_NONE);
  }
  if (++runs % 4096 == 0) truncate("Quill.dbg", 0);  // the debug log grows by every load
  if (size > (1u << 20)) return 0;
  FILE* f = std::fopen("fuzz.cban", "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  Movie* m = LoadMovie(base, ".\\fuzz.cban", 0, 0);
  if (!m) return 0;
  ObtainSemaphore(m->sem);
  int frames = 0;
  while (frames < 32 && ReadNextMovieFrame(m)) frames++;
  // The newest frame to pixels.
  const ANIM5Handle* d = m->decoder;
  if (frames && d && d->pbuffer1 && d->pbuffer2) {
    std::vector<uint8_t> pixels((size_t)d->width * d->height);
    PlanarDescription pd{};
    const uint8_t* planes = ANIM5NewestFrame(d);
    for (int p = 0; p < 8; p++) pd.planes[p] = planes + (size_t)p * d->width * d->height / 8;
    pd.dest = pixels.data();
    pd.pitch = d->width;
    pd.width = d->width;
    pd.height = d->height;
    pd.row_stride = d->width / 8u;
    pd.bytes_per_pixel = 1;
    PlanarToChunky(&pd);
  }
  ReleaseSemaphore(m->sem);
  StopMovie(base, m);
  // Until the scheduler handed the movie back and it is freed, so every run
  // ends with what it allocated freed.
  for (;;) {
    StopMovie(base, nullptr);
    ObtainSemaphore(base->sem);
    const bool empty = !base->fresh && !base->active && !base->removed;
    ReleaseSemaphore(base->sem);
    if (empty) break;
    sched_yield();
  }
  return 0;
}
