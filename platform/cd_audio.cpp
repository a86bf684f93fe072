#include "cd_audio.h"

#include <atomic>
#include <cstdio>

namespace {

void SetErr(char* err, const char* text) {
  if (err) std::snprintf(err, kCdErrorTextSize, "%s", text);
}

// ---- No drive ----------------------------------------------------------------
int NoOpen(void*, char* err) {
  SetErr(err, "Kein CD-Laufwerk vorhanden");
  return 0;
}
void NoClose(void*) {}
int NoTracks(void*, uint32_t* count, char* err) {
  *count = 0;
  SetErr(err, "Kein CD-Laufwerk vorhanden");
  return 0;
}
int NoPlay(void*, uint32_t, uint32_t, char* err) {
  SetErr(err, "Kein CD-Laufwerk vorhanden");
  return 0;
}
int NoStatus(void*, uint32_t* mode, char* err) {
  *mode = kCdNoDisc;
  SetErr(err, "Kein CD-Laufwerk vorhanden");
  return 0;
}
int NoStop(void*, char* err) {
  SetErr(err, "Kein CD-Laufwerk vorhanden");
  return 0;
}
int NoVolume(void*, uint32_t) { return -1; }

const CdDrive kNoDrive = {"none", nullptr, NoOpen, NoClose, NoTracks, NoPlay, NoStatus, NoStop, NoVolume};
std::atomic<const CdDrive*> g_drive{nullptr};

// ---- Scripted ----------------------------------------------------------------
CdScript* S(void* self) { return static_cast<CdScript*>(self); }

int ScOpen(void* self, char* err) {
  CdScript* s = S(self);
  s->log.push_back("open");
  if (!s->present) {
    SetErr(err, "Kein CD-Laufwerk vorhanden");
    return 0;
  }
  s->open = 1;
  return 1;
}
void ScClose(void* self) {
  S(self)->log.push_back("close");
  S(self)->open = 0;
  S(self)->playing = 0;
}
int ScTracks(void* self, uint32_t* count, char* err) {
  CdScript* s = S(self);
  *count = s->tracks;
  if (!s->open) {
    SetErr(err, "Geraet nicht geoeffnet");
    return 0;
  }
  if (!s->tracks) {
    SetErr(err, "Keine CD im Laufwerk");
    return 0;
  }
  return 1;
}
int ScPlay(void* self, uint32_t first, uint32_t last, char* err) {
  CdScript* s = S(self);
  char line[48];
  if (last) std::snprintf(line, sizeof line, "play %u-%u", first, last);
  else std::snprintf(line, sizeof line, "play %u-end", first);
  s->log.push_back(line);
  if (!s->open) {
    SetErr(err, "Geraet nicht geoeffnet");
    return 0;
  }
  if (!s->tracks) {
    SetErr(err, "Keine CD im Laufwerk");
    return 0;
  }
  if (s->failPlay || first < 1 || first > s->tracks || (last && (last < first || last > s->tracks))) {
    SetErr(err, "Ungueltige Titelangabe");
    return 0;
  }
  s->playing = 1;
  return 1;
}
int ScStatus(void* self, uint32_t* mode, char* err) {
  CdScript* s = S(self);
  s->log.push_back("status");
  if (!s->open || s->failStatus) {
    SetErr(err, s->open ? "Status nicht lesbar" : "Geraet nicht geoeffnet");
    return 0;
  }
  *mode = !s->tracks ? kCdNoDisc : s->playing ? kCdPlaying : kCdStopped;
  return 1;
}
int ScStop(void* self, char* err) {
  CdScript* s = S(self);
  s->log.push_back("stop");
  if (!s->open) {
    SetErr(err, "Geraet nicht geoeffnet");
    return 0;
  }
  s->playing = 0;
  return 1;
}
int ScVolume(void* self, uint32_t level) {
  CdScript* s = S(self);
  char line[32];
  std::snprintf(line, sizeof line, "volume %u", level);
  s->log.push_back(line);
  if (s->volumeControls == 1) s->volume = level;
  return s->volumeControls;
}

}  // namespace

void SelectCdDrive(const CdDrive* drive) { g_drive.store(drive); }
const CdDrive* NoCdDrive() { return &kNoDrive; }
const CdDrive* CurrentCdDrive() {
  const CdDrive* d = g_drive.load();
  return d ? d : &kNoDrive;
}

int CdDrivePresent() {
  const CdDrive* d = CurrentCdDrive();
  char err[kCdErrorTextSize];
  if (!d->Open(d->self, err)) return 0;
  d->Close(d->self);
  return 1;
}

void CdScriptInit(CdScript* s) {
  s->drive = CdDrive{"scripted", s, ScOpen, ScClose, ScTracks, ScPlay, ScStatus, ScStop, ScVolume};
}
