// The movie player: movie bases with their scheduler thread, loading,
// starting, pausing and stopping movies. The game thread calls the
// operations; the scheduler decodes each movie's next frame, waits for the
// earliest due one and draws it.
//
// Locks: the base semaphore guards the three lists; a movie's semaphore
// guards its fields and is held by the scheduler for a whole decode or draw.
// Order: base semaphore, then one movie semaphore, then the display mutex.
// The scheduler never holds the base semaphore together with a movie
// semaphore. A caller holding the display mutex lets go of it while it waits
// for a movie (the scheduler may be waiting for the mutex with that movie's
// semaphore held) and takes it back afterwards.
#include <new>

#include "movie_internal.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/iff.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"

namespace {

MovieModuleState g_state;

// The platform clock: real time with a window, the virtual time of a
// headless run.
void PlatformNow(timeval* tv) {
  const uint64_t ms = PlatformTimeMs();
  tv->tv_sec = (time_t)(ms / 1000);
  tv->tv_usec = (suseconds_t)(ms % 1000 * 1000);
}
int RealWait(QoeSignal* e, int timeout_ms) { return WaitSignal(e, timeout_ms); }

void Now(timeval* tv) { g_state.clock.now(tv); }

// Wakes the scheduler (a new, started, paused or stopped movie, or its end).
// On the virtual clock the game thread waits until the scheduler has done
// what it does at this time and sleeps again (the caller holds no display
// mutex then), so a run repeats frame for frame.
void WakeScheduler(MovieBase* base) {
  base->wake.store(1);
  if (base->scheduler_event) SetSignal(base->scheduler_event);
  if (!base->clock_thread) return;
  WakeClockThreads();
  if (!base->scheduler_quit.load() && !WaitClockThreadsAsleep(5000))
    DebugLog("WakeScheduler: Der Scheduler schlaeft nicht wieder ein\n");
}

// Before a call waits for a movie's semaphore: a clock-thread scheduler that
// holds it while it waits for the display drops that frame at once.
void HurryScheduler(MovieBase* base) {
  if (!base || !base->clock_thread) return;
  base->wake.store(1);
  WakeClockThreads();
}

// The scheduler waits until woken, at most timeout_ms (-1: no limit).
void SchedulerSleep(MovieBase* base, int timeout_ms) {
  if (base->clock_thread) {
    SleepUntilPlatformTime(timeout_ms < 0 ? UINT64_MAX : PlatformTimeMs() + (uint64_t)timeout_ms, &base->wake);
    base->wake.store(0);  // what woke it is seen by the collection that follows
  } else {
    g_state.clock.wait(base->scheduler_event, timeout_ms);
  }
}

bool IsZero(const timeval& t) { return t.tv_sec == 0 && t.tv_usec == 0; }

// ---- The display mutex of a caller -----------------------------------------
struct DisplayHold {
  QoeMutex* mutex;
  int count;
};

QoeMutex* BaseDisplayMutex(const MovieBase* base) {
  return base && base->display && base->display->mutex ? base->display->mutex : DisplayMutex();
}

DisplayHold LetGoOfDisplay(const MovieBase* base) {
  DisplayHold h{BaseDisplayMutex(base), 0};
  h.count = MutexHeldCount(h.mutex);
  for (int i = 0; i < h.count; i++) ReleaseMutex(h.mutex);
  return h;
}

void TakeBackDisplay(const DisplayHold& h) {
  for (int i = 0; i < h.count; i++) ObtainMutex(h.mutex);
}

// ---- Lists (callers hold the base semaphore) ----------------------------------
void Append(Movie** list, Movie* m) {
  m->next = nullptr;
  while (*list) list = &(*list)->next;
  *list = m;
}

// Frees one movie and everything it holds (the base semaphore is held when
// the movie was in a list).
void ReleaseMovie(Movie* m) {
  if (m->sem) ObtainSemaphore(m->sem);
  AFX_Close(m->file);
  m->file = nullptr;
  FreeANIM5Handle(m->decoder);
  m->decoder = nullptr;
  FreeVec(m->colours);
  FreeVec(m->palette);
  FreeVec(m->bmhd);
  FreeVec(m->part2);
  FreeVec(m->anhd);
  FreeVec(m->target);
  FreeVec(m->sound);
  if (m->sem) {
    ReleaseSemaphore(m->sem);
    DeleteSemaphore(m->sem);
  }
  m->~Movie();
  FreeVec(m);
}

void FreeRemovedMovies(MovieBase* base) {
  ObtainSemaphore(base->sem);
  while (Movie* m = base->removed) {
    base->removed = m->next;
    ReleaseMovie(m);
  }
  ReleaseSemaphore(base->sem);
}

void FreeAllMovies(MovieBase* base) {
  Movie** lists[3] = {&base->fresh, &base->active, &base->removed};
  for (Movie** list : lists) {
    ObtainSemaphore(base->sem);
    while (Movie* m = *list) {
      *list = m->next;
      ReleaseMovie(m);
    }
    ReleaseSemaphore(base->sem);
  }
}

// ---- Scheduler --------------------------------------------------------------------

// Takes the new movies, moves stopped ones to the removed list; true when some
// movie needs the scheduler (one to decode, or a shown one waiting to be drawn).
bool SchedulerCollect(MovieBase* base) {
  ObtainSemaphore(base->sem);
  while (Movie* m = base->fresh) {
    base->fresh = m->next;
    // One step from loaded to decoding: a StopMovie between a test and a
    // store would be overwritten and the movie would stay, halted, for good.
    uint8_t loaded = MS_LOADED;
    if (m->state.compare_exchange_strong(loaded, MS_DECODE)) {
      Append(&base->active, m);
    } else {
      m->state.store(MS_REMOVE);
      Append(&base->removed, m);
    }
  }
  for (Movie** link = &base->active; *link;) {
    Movie* m = *link;
    if (m->state.load() == MS_REMOVE) {
      *link = m->next;
      FreeANIM5Handle(m->decoder);
      m->decoder = nullptr;
      Append(&base->removed, m);
    } else {
      link = &m->next;
    }
  }
  ReleaseSemaphore(base->sem);
  // The active list changes only here, on this thread.
  bool work = false;
  for (Movie* m = base->active; m && !work; m = m->next) {
    ObtainSemaphore(m->sem);
    const uint8_t state = m->state.load();
    // A hidden movie waiting in state 2 is never drawn: it is no work (the
    // scheduler would spin on it otherwise).
    work = !m->halted.load() && (state == MS_DECODE || (state == MS_DUE && m->shown));
    ReleaseSemaphore(m->sem);
  }
  return work;
}

// The movie's semaphore is held.
void DecodeStep(MovieBase* base, Movie* m) {
  int32_t got = ReadNextMovieFrame(m);
  const bool at_end = got == 0 || m->file->pos >= m->file->file_size;
  if (at_end) {
    if (m->loop) {
      AFX_Seek(m->file, (int32_t)m->first_frame_pos, OFFSET_BEGINNING);
      m->frame_counter = (uint32_t)-1;
      m->scramble_state = m->scramble_start;
      if (got == 0 && !ReadNextMovieFrame(m)) m->halted.store(1);  // no frame at all
    } else {
      m->halted.store(1);
      if (base->main_wake) SetSignal(base->main_wake);
    }
  }
  m->frame_counter++;
  m->state.store(MS_DUE);
  if (IsZero(m->last_drawn)) Now(&m->last_drawn);
  m->due = m->last_drawn;
  AddTime(&m->due, &m->period);
  // An untimed movie on a clock thread draws a frame per millisecond: frames
  // due at once, again and again, would keep the clock from moving on.
  if (base->clock_thread && IsZero(m->period)) {
    const timeval one{0, 1000};
    AddTime(&m->due, &one);
  }
}

void SchedulerDecode(MovieBase* base) {
  for (Movie* m = base->active; m; m = m->next) {
    ObtainSemaphore(m->sem);
    if (m->state.load() == MS_DECODE && !m->halted.load()) DecodeStep(base, m);
    ReleaseSemaphore(m->sem);
  }
}

void SchedulerWait(MovieBase* base) {
  bool any = false;
  timeval earliest{};
  for (Movie* m = base->active; m; m = m->next) {
    ObtainSemaphore(m->sem);
    if (m->shown && !m->halted.load() && m->state.load() == MS_DUE &&
        (!any || CmpTime(&m->due, &earliest) == 1)) {
      earliest = m->due;
      any = true;
    }
    ReleaseSemaphore(m->sem);
  }
  if (!any) return;
  timeval now;
  Now(&now);
  if (CmpTime(&earliest, &now) != -1) return;  // due already
  SubTime(&earliest, &now);
  const int64_t us = (int64_t)earliest.tv_sec * 1000000 + earliest.tv_usec;
  // Rounded up: a wait of 0 ms before a frame due in under 1 ms would spin.
  const int64_t ms = (us + 999) / 1000;
  SchedulerSleep(base, ms > 0x7FFFFFFF ? 0x7FFFFFFF : (int)ms);
}

void SchedulerRender(MovieBase* base) {
  for (Movie* m = base->active; m; m = m->next) {
    ObtainSemaphore(m->sem);
    timeval now;
    Now(&now);
    if (m->shown && !m->halted.load() && m->state.load() == MS_DUE && CmpTime(&m->due, &now) != -1) {
      if (!m->not_drawn && DisplayPrimarySurface()) {
        WaitTOF();
        if (m->palette_per_frame && m->palette) LoadRGB32(base->palette_target, m->palette->bytes);
        RenderANIM5Direct(m->decoder, base->display, 0, m->x, m->y);
        m->frames_drawn++;
        if (g_state.clock.drawn) g_state.clock.drawn(m, m->frame_counter, &now);
      }
      m->state.store(MS_DECODE);
      Now(&m->last_drawn);
    }
    ReleaseSemaphore(m->sem);
  }
}

void SchedulerExit(MovieBase* base) {
  ObtainSemaphore(base->sem);
  while (Movie* m = base->fresh) {
    base->fresh = m->next;
    m->state.store(MS_REMOVE);
    Append(&base->removed, m);
  }
  while (Movie* m = base->active) {
    base->active = m->next;
    m->state.store(MS_REMOVE);
    FreeANIM5Handle(m->decoder);
    m->decoder = nullptr;
    Append(&base->removed, m);
  }
  ReleaseSemaphore(base->sem);
}

int SchedulerFunc(void* arg) {
  MovieBase* base = static_cast<MovieBase*>(arg);
  for (;;) {
    const bool work = SchedulerCollect(base);
    if (base->scheduler_quit.load()) break;
    if (!work) {
      SchedulerSleep(base, -1);
      continue;
    }
    SchedulerDecode(base);
    SchedulerWait(base);
    SchedulerRender(base);
  }
  SchedulerExit(base);
  if (base->clock_thread) EndClockThread();
  base->scheduler_quit.store(0);
  return 0;
}

// ---- Loading --------------------------------------------------------------------

template <class T>
T* AllocPart(uint32_t size, const char* what) {
  void* p = AllocVec(size, MEMF_PUBLIC | MEMF_CLEAR);
  if (!p) DebugLog("LoadMovie: Konnte Speicher f\xFCr %s nicht allokieren...\n", what);
  return static_cast<T*>(p);
}

// Checks the file's header and first frame: FORM ANIM or QUIL whose first
// chunk is a FORM holding a BMHD the decoder takes. Leaves the file at 0.
bool CheckMovieFile(CacheHandle* f, const char* path, uint32_t* form_length) {
  uint8_t head[20];
  AFX_Seek(f, 0, OFFSET_BEGINNING);
  if (AFX_Read(f, head, 20) != 20 || GetBE32(head) != IffId("FORM")) {
    DebugLog("LoadMovie: %s ist keine IFF-Datei\n", path);
    return false;
  }
  *form_length = GetBE32(head + 4);
  const uint32_t type = GetBE32(head + 8);
  if (type != IffId("ANIM") && type != IffId("QUIL")) {
    DebugLog("LoadMovie: %s ist kein ANIM\n", path);
    return false;
  }
  if (GetBE32(head + 12) != IffId("FORM")) {
    // Scrambled: the descrambling step is not known here.
    DebugLog("LoadMovie: File %s seems to be encrypted! Use correct key.\n", path);
    return false;
  }
  const uint32_t size = AFX_FileSize(f), len = GetBE32(head + 16);
  if (len < 4 || len > size - 20) {
    DebugLog("LoadMovie: Erstes Bild von %s unvollst\xE4ndig\n", path);
    return false;
  }
  uint8_t* frame = static_cast<uint8_t*>(AllocVec(len, MEMF_PUBLIC));
  if (!frame) return false;
  bool ok = AFX_Read(f, frame, (int32_t)len) == (int32_t)len;
  BoundedReader body = MakeReader(frame + 4, ok ? len - 4 : 0);
  IffChunk c{};
  BitMapHeader b{};
  ok = ok && IffFindChunk(body, IffId("BMHD"), &c) == 1 && ReadBitMapHeader(c.data, c.size, &b) &&
       CheckBitMapHeader(&b, "LoadMovie", path);
  if (!ok) DebugLog("LoadMovie: %s hat kein brauchbares BMHD\n", path);
  FreeVec(frame);
  AFX_Seek(f, 0, OFFSET_BEGINNING);
  return ok;
}

}  // namespace

// ---- Module state ------------------------------------------------------------------

MovieModuleState& MovieState() { return g_state; }

void SetMovieClock(const MovieClock* clock) {
  g_state.clock.now = clock && clock->now ? clock->now : PlatformNow;
  g_state.clock.wait = clock && clock->wait ? clock->wait : RealWait;
  g_state.clock.drawn = clock ? clock->drawn : nullptr;
}

void ResetMovieState() { SetMovieClock(nullptr); }

namespace {
struct StateInit {
  StateInit() { ResetMovieState(); }
} g_state_init;
}  // namespace

MovieBase* CurrentMovieBase() { return g_state.current_base.load(); }

void FreeCurrentMovieBase() {
  if (MovieBase* base = g_state.current_base.load()) FreeMovieBase(base);
}

// ---- Operations ------------------------------------------------------------------------

uint8_t GetAFXDisplayFlag() {
  const DisplayRecord* d = QoESystemPtr->Display;
  return d && d->Renderer == 1 ? 4 : 0;
}

uint8_t GetAFXOptionFlag() { return 0; }

MovieBase* AllocMovieBase(TitelScreenData* display, uint8_t display_flag, uint8_t option_flag, uint8_t thread_mode) {
  if (!display) return nullptr;
  void* mem = AllocVec(sizeof(MovieBase), MEMF_PUBLIC | MEMF_CLEAR);
  if (!mem) return nullptr;
  MovieBase* base = new (mem) MovieBase();
  base->sem = CreateNamedSemaphore(nullptr, 1, 1);  // "MovieBase Semaphore", one per base
  if (!base->sem) {
    base->~MovieBase();
    FreeVec(mem);
    return nullptr;
  }
  g_state.current_base.store(base);
  base->display = display;
  base->palette_target = display->palette;
  if (const DisplayRecord* d = QoESystemPtr->Display) {
    base->display_words[0] = d->Busy.load();
    base->display_words[1] = d->Flip;
  }
  base->display_flag = display_flag;
  base->option_flag = option_flag;
  base->thread_mode = thread_mode;
  base->main_wake = CreateNamedSignal(nullptr, 0, 0);  // "AFX_MainWakeBit"
  if (!base->main_wake) DebugLog("AllocMovieBase : Konnte MainEvent nicht anlegen...\n");
  if (thread_mode == AFX_NONE) {
    // Made here rather than by the thread, so a LoadMovie right after this
    // call always finds the event to signal.
    base->scheduler_event = CreateNamedSignal(nullptr, 0, 0);  // "AFX_SchedulerEvent"
    base->clock_thread = PlatformClockIsVirtual() && g_state.clock.now == PlatformNow && g_state.clock.wait == RealWait;
    ObtainSemaphore(base->sem);
    if (base->clock_thread) BeginClockThread();
    if (base->scheduler_event) base->scheduler = StartThread("AFX Scheduler", SchedulerFunc, base);
    if (!base->scheduler && base->clock_thread) EndClockThread();
    if (!base->scheduler) DebugLog("AllocMovieBase : Konnte Scheduler nicht starten...\n");
    ReleaseSemaphore(base->sem);
  } else {
    // The sound mode's pipeline and cache threads are not built.
    DebugLog("AllocMovieBase : Konnte Pipeline nicht starten...\n");
  }
  return base;
}

void FreeMovieBase(MovieBase* base) {
  if (!base) return;
  const DisplayHold hold = LetGoOfDisplay(base);
  // Halt every movie first: the scheduler then has nothing to wait for.
  ObtainSemaphore(base->sem);
  for (Movie* list : {base->fresh, base->active}) {
    for (Movie* m = list; m; m = m->next) {
      m->halted.store(1);
      m->stop_requested.store(1);
    }
  }
  ReleaseSemaphore(base->sem);
  if (base->scheduler) {
    base->scheduler_quit.store(1);
    WakeScheduler(base);
    for (int ticks = 0; base->scheduler_quit.load() && ticks < 500; ticks++) Delay(1);
    if (base->scheduler_quit.load()) DebugLog("FreeMovieBase: Scheduler endet nicht, warte weiter\n");
    JoinThread(base->scheduler);
    base->scheduler = nullptr;
  }
  DeleteSignal(base->scheduler_event);
  FreeAllMovies(base);
  DeleteSemaphore(base->sem);
  DeleteSignal(base->main_wake);
  MovieBase* expected = base;
  g_state.current_base.compare_exchange_strong(expected, nullptr);
  base->~MovieBase();
  FreeVec(base);
  TakeBackDisplay(hold);
}

Movie* MakeMovie(MovieBase* base, const char* path) {
  void* mem = AllocVec(sizeof(Movie), MEMF_PUBLIC | MEMF_CLEAR);
  if (!mem) {
    DebugLog("LoadMovie: Konnte Speicher f\xFCr Movie nicht allokieren...\n");
    return nullptr;
  }
  Movie* m = new (mem) Movie();
  bool ok = (m->bmhd = AllocPart<BitMapHeader>(sizeof(BitMapHeader), "Movie-Part1")) &&
            (m->part2 = AllocPart<uint8_t>(20, "Movie-Part2")) &&
            (m->anhd = AllocPart<AnimHeader>(sizeof(AnimHeader), "Movie-Part3")) &&
            (m->target = AllocPart<RenderTarget>(sizeof(RenderTarget), "Movie-Part4")) &&
            (m->sound = AllocPart<uint8_t>(24, "Movie-Part5"));
  if (ok) {
    m->sem = CreateNamedSemaphore(nullptr, 1, 1);  // "Movie Semaphore", one per movie
    if (!m->sem) DebugLog("LoadMovie: Konnte Movie-Semaphore nicht anlegen...\n");
    ok = m->sem != nullptr;
  }
  if (ok) {
    m->colours = static_cast<RGBStruct*>(AllocVec(sizeof(RGBStruct), MEMF_PUBLIC | MEMF_CLEAR));
    m->palette = static_cast<RGBStruct*>(AllocVec(sizeof(RGBStruct), MEMF_PUBLIC | MEMF_CLEAR));
    if (!m->colours || !m->palette) DebugLog("LoadMovie: Konnte Speicher f\xFCr RGBStruct nicht allokieren...\n");
    ok = m->colours && m->palette;
  }
  if (ok) {
    m->file = AFX_Open(path, MODE_READONLY, base);
    if (m->file && AFX_FileSize(m->file) > kMovieBigFile) {
      AFX_Close(m->file);
      m->file = AFX_Open(path, MODE_READ_SEQUENTIAL, base);
    }
    ok = m->file && CheckMovieFile(m->file, path, &m->form_length);
  }
  if (!ok) {
    ReleaseMovie(m);
    return nullptr;
  }
  m->base = base;
  m->halted.store(1);
  m->shown = 1;
  m->decoder_ready = 1;
  m->first_frame_pos = 12;
  m->frame_pos = 12;
  m->state.store(MS_LOADED);
  AFX_Seek(m->file, (int32_t)m->first_frame_pos, OFFSET_BEGINNING);
  return m;
}

void FreeMovie(Movie* m) {
  if (m) ReleaseMovie(m);
}

Movie* LoadMovie(MovieBase* base, const char* path, uint32_t, uint32_t) {
  if (!base || !path) return nullptr;
  if (base->thread_mode != AFX_NONE) return nullptr;
  Movie* m = MakeMovie(base, path);
  if (!m) return nullptr;
  DebugLog("AFX_NONE\n");
  ObtainSemaphore(base->sem);
  Append(&base->fresh, m);
  ReleaseSemaphore(base->sem);
  WakeScheduler(base);
  return m;
}

int32_t StartMovie(MovieBase* base, Movie* m, uint16_t x, uint16_t y, uint8_t flags, uint16_t fps) {
  if (!base || !m) return 0;
  const DisplayHold hold = LetGoOfDisplay(base);
  HurryScheduler(m->base);
  ObtainSemaphore(m->sem);
  m->period.tv_sec = 0;
  m->period.tv_usec = fps ? (suseconds_t)(1000000 / fps) : 0;
  m->untimed = fps ? 0 : 1;
  m->x = x;
  m->y = y;
  m->target->x = x;
  m->target->y = y;
  m->palette_per_frame = flags & SMF_PALETTE ? 1 : 0;
  m->not_drawn = flags & SMF_NOT_DRAWN ? 1 : 0;
  m->loop = flags & SMF_LOOP ? 1 : 0;
  if (flags & SMF_HIDE) m->shown = 0;
  m->sound_option = flags & SMF_SOUND ? 1 : 0;
  m->scrambled = flags & SMF_SCRAMBLED ? 1 : 0;  // no descrambling step: plain files read as they are
  m->halted.store(0);
  ReleaseSemaphore(m->sem);
  WakeScheduler(base);
  TakeBackDisplay(hold);
  return 1;
}

void SetMovieMode(Movie* m, uint8_t halted) {
  if (!m) return;
  const DisplayHold hold = LetGoOfDisplay(m->base);
  HurryScheduler(m->base);
  ObtainSemaphore(m->sem);
  m->halted.store(halted ? 1 : 0);
  ReleaseSemaphore(m->sem);
  if (m->base) WakeScheduler(m->base);
  TakeBackDisplay(hold);
}

void StopMovie(MovieBase* base, Movie* m) {
  if (!base) return;
  const DisplayHold hold = LetGoOfDisplay(base);
  if (m) {
    m->stop_requested.store(1);
    HurryScheduler(base);
    ObtainSemaphore(m->sem);
    m->halted.store(1);
    m->state.store(MS_REMOVE);
    ReleaseSemaphore(m->sem);
  }
  WakeScheduler(base);
  FreeRemovedMovies(base);
  TakeBackDisplay(hold);
}

int32_t ReadNextMovieFrame(Movie* m) {
  CacheHandle* f = m ? m->file : nullptr;
  if (!f) return 0;
  for (;;) {
    const uint32_t pos = f->pos, size = f->file_size;
    if (pos >= size || size - pos < 8) return 0;
    uint8_t head[8];
    if (AFX_Read(f, head, 8) != 8) return 0;
    const uint32_t id = GetBE32(head), len = GetBE32(head + 4);
    const uint32_t left = size - pos - 8;
    if (len > left) return 0;  // the file ends early: the movie ends here
    const uint32_t skip = len + ((len & 1) && len < left ? 1 : 0);
    if (id != IffId("FORM") || len < 4) {
      // Only frames stand at this level: anything else is stepped over.
      if (skip >= left) return 0;
      AFX_Seek(f, (int32_t)(pos + 8 + skip), OFFSET_BEGINNING);
      continue;
    }
    m->frame_pos = pos;
    uint8_t* frame = static_cast<uint8_t*>(AllocVec(len, MEMF_PUBLIC));
    if (!frame) {
      if (skip < left) AFX_Seek(f, (int32_t)(pos + 8 + skip), OFFSET_BEGINNING);
      else f->pos = size;
      return 1;  // dropped for want of memory
    }
    if (AFX_Read(f, frame, (int32_t)len) == (int32_t)len) DecodeMovieFrame(m, 0, 0, frame, len, 0);
    FreeVec(frame);
    if (skip > len) {
      uint8_t pad;
      AFX_Read(f, &pad, 1);
    }
    return 1;
  }
}
