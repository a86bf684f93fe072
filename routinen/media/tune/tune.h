// TUNE: the module player behind the background music (MOD, S3M, XM, IT).
// Calls return 1 on success and 0 on failure (load: module or null, play:
// handle 1..16 or 0); the reason of the last failure is TUNEgetLastError().
#pragma once
#include <cstdint>

struct ModuleRecord;

// Options of TUNEsetOption.
enum : uint32_t {
  TUNE_OPT_MIXRATE = 1,         // mixing rate in Hz (44100)
  TUNE_OPT_OUTPUTMODE = 2,      // device mode bits, 0 = device's choice
  TUNE_OPT_BUFFERMS = 3,        // mixing buffer length in ms (500)
  TUNE_OPT_BUFFERBLOCKS = 4,    // block count (16, unused)
  TUNE_OPT_DSMODE = 5,          // ring-buffer device mode: 0 off, 2 primary, 3 unchecked
  TUNE_OPT_DSWINDOW = 6,        // window handle the ring-buffer device needs (opaque, non-zero)
  TUNE_OPT_DSOBJECT = 7,        // external PcmSink* for the ring-buffer device
  TUNE_OPT_DSBUFFERMS = 8,      // ring length in ms (100)
  TUNE_OPT_CONVERT16 = 9,       // integer mixing stores 16-bit samples as mu-law (1)
  TUNE_OPT_FILTER = 10,         // 0 off, 1 light, 2 heavy, 3 automatic (3)
  TUNE_OPT_INTERPOLATION = 11,  // 1 = interpolating mixer (0)
  TUNE_OPT_STEREOSEP = 12,      // MOD/S3M stereo separation 0..64 (64)
  TUNE_OPT_NOSOUND = 13,        // non-zero: always the silent device (0)
};

int32_t TUNEstartup();                                 // defaults; must come first
int32_t TUNEsetOption(uint32_t option, intptr_t value);  // options 1..13, others ignored
int32_t TUNEinit();                                    // lock, device choice and opening
int32_t TUNEstartBackgroundPlay(uint32_t pollRate);    // play thread, poll (1000/rate)/2 ms
int32_t TUNEstopBackgroundPlay();
ModuleRecord* TUNEloadModule(const char* fileName);    // program path, e.g. ".\\Mods\\QoEMain.XM"
// Same from bytes in memory (tools, fuzzing); the bytes are not kept.
ModuleRecord* TUNEloadModuleMem(const uint8_t* data, uint32_t size);
int32_t TUNEplayModuleSection(ModuleRecord* module, int32_t startPos, int32_t endPos,
                              int32_t restartPos, int32_t loop);
int32_t TUNEplayModule(ModuleRecord* module, int32_t loop);  // whole song
int32_t TUNEstopModule(int32_t handle);
int32_t TUNEsetMusicVolume(int32_t handle, int32_t volume);  // 0..64
int32_t TUNEfreeModule(ModuleRecord* module);
int32_t TUNEclose();
// The module player's state record back to its start (tests): TUNEclose, the
// play thread and the player lock gone, the defaults of TUNEstartup, no error
// handler, no test sink or clock.
void ResetTunePlayerState();

uint32_t TUNEgetLastError();
const char* TUNEerrorText(uint32_t code);  // "Undefined error" for unknown codes
// Replaces the handler of play-thread errors (default: one debug-log line).
void TUNEsetErrorHandler(void (*handler)(const char* text));
