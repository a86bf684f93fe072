// Module music: the table of loaded modules with its five wrappers over
// TUNE, the music thread ModuleProzess with its long cycles of play, fades
// and silence, and TUNE's output into the platform mixer's music stream.
#include <chrono>
#include <cstring>

#include "platform/audio_sdl.h"
#include "platform/log.h"
#include "routinen/media/sound.h"
#include "routinen/media/sound_internal.h"
#include "routinen/media/tune/pcm_sink.h"
#include "routinen/media/tune/tune.h"
#include "routinen/system/sysrecords.h"

namespace {

// ---- TUNE's output: the mixer's music ring ------------------------------------
int32_t SinkProbe(void*, uint32_t* caps) {
  *caps = 0;
  return AudioMixIsOpen() ? 0 : -1;
}
int32_t SinkSupports(void*, const PcmFormat*) { return AudioMixIsOpen(); }
int32_t SinkOpen(void*, const PcmFormat* f, uint32_t ringBytes, uint32_t* realBytes) {
  if (!ringBytes) return -1;  // the mixer plays a ring, not a block queue
  if (!AudioMixMusicOpen(f->rate, static_cast<int>(f->channels), static_cast<int>(f->bits), ringBytes)) return -1;
  if (realBytes) *realBytes = ringBytes;
  return 0;
}
void SinkClose(void*) { AudioMixMusicClose(); }
int32_t SinkQueue(void*, const uint8_t*, uint32_t) { return -1; }
uint64_t SinkPlayed(void*) { return 0; }
void SinkReset(void*) {}
int32_t SinkPlayCursor(void*, uint32_t* cursor) {
  *cursor = AudioMixMusicCursor();
  return 0;
}
int32_t SinkLock(void*, uint8_t** ring) {
  *ring = AudioMixMusicLock();
  return *ring ? 0 : -1;
}
void SinkUnlock(void*) { AudioMixMusicUnlock(); }
int32_t SinkRestart(void*) { return 0; }

PcmSink g_mixerSink = {nullptr,        SinkProbe,  SinkSupports,   SinkOpen,   SinkClose,   SinkQueue,
                       SinkPlayed,     SinkReset,  SinkPlayCursor, SinkLock,   SinkUnlock,  SinkRestart};

// ---- Table --------------------------------------------------------------------
int FirstEntry(ModuleRecord* m) {
  MusicModuleTable& t = Sound().Table;
  for (uint32_t i = 0; i < t.Count; i++)
    if (t.Entry[i].Module == m) return static_cast<int>(i);
  return -1;
}

void CopyName(char* dst, const char* src) {
  size_t n = src ? strnlen(src, MUSIC_NAME_SIZE - 1) : 0;
  std::memmove(dst, src ? src : "", n);
  dst[n] = 0;
}

// ---- Music thread -------------------------------------------------------------
int Wait(uint32_t ticks) {
  SoundSystem& s = Sound();
  return s.MusicWait ? s.MusicWait(ticks) : MusicWaitReal(ticks);
}

int SwitchAsked() { return Sound().Music.Switch.load() != 0; }

enum CycleEnd { kQuit, kSwitch, kNoModule };

// Play for 3 minutes, fade out over 19.2 s, 3 minutes of silence, fade in;
// over and over until the module word is cleared, a switch is asked for or
// the thread is told to quit.
CycleEnd Cycle(ModuleRecord* m) {
  SoundSystem& s = Sound();
  for (;;) {
    if (!s.Music.Module.load()) return kNoModule;
    // A switch asked for during the fade-in is made here.
    if (SwitchAsked()) return kSwitch;
    for (int i = 0; i < 180; i++) {
      if (Wait(50)) return kQuit;
      if (SwitchAsked()) break;
    }
    for (int v = 64; v >= 1; v--) {
      SetModuleVolume(m, v);
      if (Wait(15)) return kQuit;
    }
    if (SwitchAsked()) return kSwitch;
    StopModule(m);
    for (int i = 0; i < 180; i++) {
      if (Wait(50)) return kQuit;
      if (SwitchAsked()) return kSwitch;
    }
    PlayModule(m);
    for (int v = 1; v <= 64; v++) {
      SetModuleVolume(m, v);
      if (Wait(15)) return kQuit;
    }
  }
}

int ModuleProzess(void*) {
  SoundSystem& s = Sound();
  s.MusicThreads.fetch_add(1);
  char path[MUSIC_NAME_SIZE];
  CopyName(path, s.StartPath);
  int result = 1;
  for (;;) {
    ModuleRecord* m = LoadModule(path, 10, 44200);
    if (!m) {
      QoESystemPtr->SoundStatus.fetch_and(~static_cast<uint32_t>(SOUND_FASTTRACKER));
      result = 0;
      break;
    }
    s.Music.Module.store(m);
    {
      // The name of the playing module, unless a caller already asked for
      // the next one.
      std::lock_guard<std::mutex> l(s.Music.NameLock);
      if (!s.Music.Switch.load()) CopyName(s.Music.Name, path);
    }
    PlayModule(m);
    if (Cycle(m) != kSwitch) break;  // on quit the module stays for ExitSound
    StopModule(m);
    FreeModule(m);
    s.Music.Module.store(nullptr);
    std::lock_guard<std::mutex> l(s.Music.NameLock);
    CopyName(path, s.Music.Name);
    s.Music.Switch.store(0);
  }
  s.MusicThreads.fetch_sub(1);
  return result;
}

}  // namespace

PcmSink* MixerMusicSink() { return &g_mixerSink; }

int MusicWaitReal(uint32_t ticks) {
  SoundSystem& s = Sound();
  std::unique_lock<std::mutex> l(s.WaitLock);
  s.InWait++;
  s.WaitCv.wait_for(l, std::chrono::milliseconds(static_cast<int64_t>(ticks) * 20),
                    [&s] { return s.MusicQuit.load() != 0; });
  s.InWait--;
  return s.MusicQuit.load();
}

int MusicThreadsInWait() {
  SoundSystem& s = Sound();
  std::lock_guard<std::mutex> l(s.WaitLock);
  return s.InWait;
}

ModuleRecord* LoadModule(const char* path, uint32_t mode, uint32_t rate) {
  if (!path) return nullptr;
  if (rate < 11050) rate = 11050;
  if (rate > 44200) rate = 44200;
  if (mode != 5 && mode != 6 && mode != 9 && mode != 10) mode = 10;
  SoundSystem& s = Sound();
  std::lock_guard<std::recursive_mutex> l(s.TableLock);
  MusicModuleTable& t = s.Table;
  if (t.Count >= MUSIC_TABLE_SIZE) {
    DebugLog("LoadModule: Modultabelle voll (%u)\n", t.Count);
    return nullptr;
  }
  if (t.Count == 0) {
    TuneSetPcmSink(MixerMusicSink());
    TUNEstartup();
    TUNEsetOption(TUNE_OPT_DSMODE, mode);
    TUNEsetOption(TUNE_OPT_DSWINDOW, reinterpret_cast<intptr_t>(MainWindow.load()));
    if (!TUNEinit()) {
      DebugLog("LoadModule: TUNEinit: %s\n", TUNEerrorText(TUNEgetLastError()));
      TUNEclose();
      return nullptr;
    }
    TUNEstartBackgroundPlay(0);
  }
  ModuleRecord* m = TUNEloadModule(path);
  if (!m) {
    DebugLog("LoadModule: %s: %s\n", path, TUNEerrorText(TUNEgetLastError()));
    if (t.Count == 0) {  // the player started for this module alone
      TUNEstopBackgroundPlay();
      TUNEclose();
    }
    return nullptr;
  }
  t.Entry[t.Count++] = MusicModuleEntry{m, 0, rate, mode, 0};
  return m;
}

void PlayModule(ModuleRecord* module) {
  if (!module) return;
  SoundSystem& s = Sound();
  std::lock_guard<std::recursive_mutex> l(s.TableLock);
  MusicModuleTable& t = s.Table;
  for (uint32_t i = 0; i < t.Count; i++) {
    MusicModuleEntry& e = t.Entry[i];
    if (e.Module != module) continue;
    if (e.Play && t.Playing == static_cast<int32_t>(i)) return;  // already playing
    e.Play = TUNEplayModule(module, 1);
    if (e.Play) {
      e.Volume = 64;
      t.Playing = static_cast<int32_t>(i);
      return;
    }
  }
}

void StopModule(ModuleRecord* module) {
  if (!module) return;
  SoundSystem& s = Sound();
  std::lock_guard<std::recursive_mutex> l(s.TableLock);
  int i = FirstEntry(module);
  if (i < 0 || s.Table.Playing != i) return;
  TUNEstopModule(s.Table.Entry[i].Play);
  s.Table.Entry[i].Play = 0;
  s.Table.Playing = -1;
}

int32_t SetModuleVolume(ModuleRecord* module, int32_t volume) {
  if (!module) return 0;
  SoundSystem& s = Sound();
  std::lock_guard<std::recursive_mutex> l(s.TableLock);
  int i = FirstEntry(module);
  if (i < 0) return 0;
  if (volume < 0) volume = 0;
  if (volume > 64) volume = 64;
  if (!TUNEsetMusicVolume(s.Table.Entry[i].Play, volume)) return 0;
  s.Table.Entry[i].Volume = volume;
  return 1;
}

void FreeModule(ModuleRecord* module) {
  if (!module) return;
  SoundSystem& s = Sound();
  std::lock_guard<std::recursive_mutex> l(s.TableLock);
  MusicModuleTable& t = s.Table;
  int last = -1;
  for (uint32_t i = 0; i < t.Count; i++)
    if (t.Entry[i].Module == module) last = static_cast<int>(i);
  if (last < 0) return;
  TUNEfreeModule(module);
  for (uint32_t i = static_cast<uint32_t>(last); i + 1 < t.Count; i++) t.Entry[i] = t.Entry[i + 1];
  t.Count--;
  if (t.Playing == last) t.Playing = -1;
  else if (t.Playing > last) t.Playing--;
  if (t.Count == 0) {
    TUNEstopBackgroundPlay();
    TUNEclose();
  }
}

void MusicSwitchTo(const char* path) {
  MusicControl& c = Sound().Music;
  std::lock_guard<std::mutex> l(c.NameLock);
  CopyName(c.Name, path);
  c.Switch.store(1);
}

void MusicCurrentName(char* out, uint32_t size) {
  if (!out || !size) return;
  MusicControl& c = Sound().Music;
  std::lock_guard<std::mutex> l(c.NameLock);
  size_t n = strnlen(c.Name, size - 1);
  std::memcpy(out, c.Name, n);
  out[n] = 0;
}

// Ends the music thread (at once: its waits wake on the quit flag), then
// stops and frees the module it left loaded.
void EndMusic() {
  SoundSystem& s = Sound();
  if (s.MusicThread) {
    {
      std::lock_guard<std::mutex> l(s.WaitLock);
      s.MusicQuit.store(1);
    }
    s.WaitCv.notify_all();
    JoinThread(s.MusicThread);
    s.MusicThread = nullptr;
    s.MusicQuit.store(0);
  }
  if (ModuleRecord* m = s.Music.Module.exchange(nullptr)) {
    StopModule(m);
    FreeModule(m);
  }
  s.Music.Switch.store(0);
}

int32_t SetModule(const char* path) {
  SoundSystem& s = Sound();
  EndMusic();
  CopyName(s.StartPath, path);
  QoeThread* t = s.FailThreadStart ? nullptr : StartThread("ModuleProzess", ModuleProzess, nullptr);
  if (!t) {
    DebugLog("SetModule: Konnte ModuleProzess nicht anlegen...\n");
    return 0;
  }
  s.MusicThread = t;
  return 1;
}
