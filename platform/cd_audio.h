// CD audio of the platform layer: a small drive interface (open, play a run
// of tracks, status, stop, close, volume) with two backends: the default
// reports that no drive is there (none is reachable on this platform), the
// scripted one plays a disc the tests describe and records every command.
// Failures come back as 0 with a short error text in err (at least 128 bytes).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum : uint32_t { kCdErrorTextSize = 128 };
enum CdMode : uint32_t { kCdStopped = 0, kCdPlaying = 1, kCdNoDisc = 2 };

struct CdDrive {
  const char* name;
  void* self;
  // Opens the drive (an open drive counts as opened); 1, or 0 with err.
  int (*Open)(void* self, char* err);
  void (*Close)(void* self);
  // Tracks on the disc; 1, or 0 with err.
  int (*Tracks)(void* self, uint32_t* count, char* err);
  // Plays from the start of track first to the end of track last, or to the
  // disc's end when last is 0; returns at once. 1, or 0 with err.
  int (*Play)(void* self, uint32_t first, uint32_t last, char* err);
  // The drive's mode (CdMode); 1, or 0 with err.
  int (*Status)(void* self, uint32_t* mode, char* err);
  int (*Stop)(void* self, char* err);
  // Volume controls of the drive's analogue output: -1 when the system has
  // none at all, 0 when none serves the CD, else 1 after setting the level
  // (0..65535, both channels).
  int (*SetVolume)(void* self, uint32_t level);
};

// The drive the CD calls use (null selects the no-drive backend).
void SelectCdDrive(const CdDrive* drive);
const CdDrive* CurrentCdDrive();
const CdDrive* NoCdDrive();
// 1 when the current drive can be opened (it is closed again at once).
int CdDrivePresent();

// Scripted drive for tests: a disc of `tracks` tracks (0 = no disc); a run
// plays until Stop, or until the test sets `playing` to 0. Each command is
// appended to `log` ("open", "close", "play 4-4", "play 4-end", "stop",
// "status", "volume 32767").
struct CdScript {
  CdDrive drive;
  int present = 1;          // 0: Open fails ("Kein CD-Laufwerk")
  uint32_t tracks = 15;     // 0: no disc
  int open = 0;
  int playing = 0;
  int failStatus = 0;       // Status fails
  int failPlay = 0;         // Play fails
  int volumeControls = -1;  // what SetVolume reports: -1, 0 or 1
  uint32_t volume = 0;      // the last level set
  std::vector<std::string> log;
};
void CdScriptInit(CdScript* s);
