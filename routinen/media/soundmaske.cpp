// The sound switches: SoundStatus from the player's wish and the machine's
// capabilities, the music thread's start, the click; ExitSound undoes them.
#include <cstring>

#include "platform/audio_sdl.h"
#include "platform/log.h"
#include "routinen/media/sound.h"
#include "routinen/media/sound_internal.h"
#include "routinen/system/sysrecords.h"

namespace {

// Never destroyed: the music thread may still wait on WaitCv while exit()
// runs the destructors, and destroying a waited-on one blocks for ever.
SoundSystem& g_sound = *new SoundSystem();

constexpr uint32_t kModuleMusic = SOUND_16BIT | SOUND_FASTTRACKER | SOUND_MUSIC;
constexpr uint32_t kCdMusic = SOUND_CDROM | SOUND_MUSIC;

void ReportMask(uint32_t m) {
  auto yes = [m](uint32_t bit) { return (m & bit) ? "yes" : "no"; };
  DebugLog("16BIT Sound ?: %s\n", yes(SOUND_16BIT));
  DebugLog("WAVETABLE ?  : %s\n", yes(SOUND_WAVETABLE));
  DebugLog("CDROMSOUND ? : %s\n", yes(SOUND_CDROM));
  DebugLog("FASTTRACKER ?: %s\n", yes(SOUND_FASTTRACKER));
  DebugLog("SOUNDFX ?    : %s\n", yes(SOUND_SOUNDFX));
  DebugLog("MUSIC        : %s\n", yes(SOUND_MUSIC));
  DebugLog("CD_VOLUME    : %s\n", yes(SOUND_CDVOLUME));
  DebugLog("SFX_VOLUME   : %s\n", yes(SOUND_CDVOLUME));
}

// Stops and releases every loaded effect, then clears the table.
void ReleaseAllSfx() {
  SfxSlots& s = g_sound.Sfx;
  for (uint32_t i = 0; i < SFX_SLOTS; i++) {
    if (s.Buffer[i]) {
      AudioBufferStop(s.Buffer[i]);
      AudioBufferRelease(s.Buffer[i]);
    }
    s.Buffer[i] = nullptr;
    s.Id[i] = 0;
  }
}

}  // namespace

SoundSystem& Sound() { return g_sound; }

void SoundSystemReset() {
  SoundSystem& s = g_sound;
  s.MusicWait = nullptr;  // a thread still running waits for real from here
  EndMusic();
  ReleaseAllSfx();
  std::memset(s.Sfx.Size, 0, sizeof s.Sfx.Size);
  if (s.CdOpen) StopCD(nullptr, 0);
  {
    std::lock_guard<std::mutex> l(s.Music.NameLock);
    s.Music.Name[0] = 0;
  }
  s.CdSleep = nullptr;
  s.FailThreadStart = 0;
  s.CdFault[0] = 0;
  s.SfxRecorder.store(nullptr);
}

int32_t SoundMaske(uint32_t wanted, const char* module) {
  QoESystem* sys = QoESystemPtr;
  const uint32_t caps = sys->SoundCapabilities.load();
  const uint32_t options = sys->Optionen.sound_optionen;
  sys->SoundStatus.store((wanted ? wanted : options) & caps);
  if ((sys->SoundStatus.load() & kModuleMusic) == kModuleMusic) {
    // Module music and CD music exclude each other; modules win.
    if (SetModule(module)) sys->SoundStatus.fetch_and(~static_cast<uint32_t>(SOUND_CDROM));
    else sys->SoundStatus.fetch_and(~static_cast<uint32_t>(SOUND_FASTTRACKER | SOUND_MUSIC));
  }
  ReleaseAllSfx();
  const char* dashes = "----------------------\n";
  DebugLog("%s", dashes);
  DebugLog("SoundMaske   :\n");
  ReportMask(caps);
  DebugLog("%s", dashes);
  DebugLog("SoundStatus  :\n");
  ReportMask(sys->SoundStatus.load());
  DebugLog("%s", dashes);
  DebugLog("SoundOptionen: (or wanted)\n");
  ReportMask(options);
  DebugLog("%s", dashes);
  if (sys->SoundStatus.load() & SOUND_SOUNDFX) return OpenElmorSfx(".\\Data\\SfxPath", 1) == 1 ? 1 : 0;
  return 1;
}

void ExitSound() {
  QoESystem* sys = QoESystemPtr;
  const uint32_t status = sys->SoundStatus.load();
  DebugLog("Exit Soundmaske   : %u\n", sys->SoundCapabilities.load());
  DebugLog("Exit Soundstatus  : %u\n", status);
  DebugLog("Exit Soundoptions : %u\n", sys->Optionen.sound_optionen);
  if (status & SOUND_SOUNDFX) CloseElmorSfx000(1);
  if ((status & kCdMusic) == kCdMusic) StopCD(nullptr, 0);
  // The music thread ends here too, whatever the status says, so a
  // following SoundMaske never finds a second one.
  EndMusic();
}
