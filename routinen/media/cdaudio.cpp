// CD audio over the platform's CD drive interface. The drive stays open
// while a run of tracks plays; every failure is one log line with the
// drive's error text.
#include <cstdio>
#include <cstring>

#include "platform/cd_audio.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/media/sound.h"
#include "routinen/media/sound_internal.h"
#include "routinen/system/sysrecords.h"

namespace {

const CdDrive* Drive() { return CurrentCdDrive(); }

void CloseDrive() {
  const CdDrive* d = Drive();
  d->Close(d->self);
  Sound().CdOpen = 0;
}

}  // namespace

int32_t PlayCDTrack1(const char*, uint32_t, uint8_t first, uint16_t last) {
  uint32_t status = QoESystemPtr->SoundStatus.load();
  if ((status & (SOUND_MUSIC | SOUND_CDROM)) != (SOUND_MUSIC | SOUND_CDROM)) return 0;
  const CdDrive* d = Drive();
  char err[kCdErrorTextSize] = "";
  if (!Sound().CdOpen) {
    if (!d->Open(d->self, err)) {
      DebugLog("PlayCDTrack1: %s\n", err);
      return 0;
    }
    Sound().CdOpen = 1;
  }
  // A run that ends on the disc's last track plays to the disc's end.
  uint32_t tracks = 0;
  uint32_t to = last;
  if (d->Tracks(d->self, &tracks, err) && last == tracks) to = 0;
  if (!d->Play(d->self, first, to, err)) {
    DebugLog("PlayCDTrack3: %s\n", err);
    CloseDrive();
    return 0;
  }
  if (Sound().CdSleep) Sound().CdSleep(1000);
  else SleepMs(1000);
  return 1;
}

int32_t IsCD(const char*, uint32_t) {
  if (Sound().CdOpen) return 1;
  const CdDrive* d = Drive();
  char err[kCdErrorTextSize] = "";
  // The map asks before each click's sound: a missing drive is logged once
  // (again only after it was found or the fault changed).
  char* last = Sound().CdFault;
  if (!d->Open(d->self, err)) {
    if (std::strncmp(last, err, sizeof Sound().CdFault - 1) != 0) {
      DebugLog("IsCD: %s\n", err);
      std::snprintf(last, sizeof Sound().CdFault, "%s", err);
    }
    return 0;
  }
  last[0] = 0;
  d->Close(d->self);
  return 1;
}

int32_t IsCDReady(const char* device, uint32_t unit) {
  if (!IsCD(device, unit)) return 0;
  const CdDrive* d = Drive();
  char err[kCdErrorTextSize] = "";
  uint32_t mode = 0;
  if (!d->Status(d->self, &mode, err)) {
    DebugLog("IsCDReady: %s\n", err);
    return 1;
  }
  DebugLog("IsCDReady 3 %u\n", mode);
  return mode == kCdPlaying ? 0 : 1;
}

int32_t StopCD(const char* device, uint32_t unit) {
  if (!Sound().CdOpen) return 0;
  const CdDrive* d = Drive();
  char err[kCdErrorTextSize] = "";
  if (IsCDReady(device, unit) == 0) d->Stop(d->self, err);  // errors are not reported
  CloseDrive();
  return 1;
}

int32_t SetCDVolume(uint8_t) {
  uint32_t percent = QoESystemPtr->Optionen.cd_volume;
  if (percent > 100) percent = 100;
  const CdDrive* d = Drive();
  if (d->SetVolume(d->self, percent * 65535 / 100) < 0)
    DebugLog("SetCDVolume: Windows liefert keine Ger\xe4te zur\xfc" "ck. Deshalb kein Volume-Control m\xf6glich!\n");
  return 1;
}
