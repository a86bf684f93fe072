// Sound effects by ID, CD audio, the module-music thread and the sound
// switches. Effects and CD calls run on the game thread; everything plays
// through the platform's one mixed output (platform/audio_sdl.h).
#pragma once
#include <cstdint>

struct ModuleRecord;

// ---- Sound effects (game thread) ---------------------------------------------
// Loads effect id from the sound index at path into a free slot: 1 on
// success and when SOUNDFX is not active (nothing loaded), 0 on every failure
// (callers test for 1).
uint32_t OpenElmorSfx(const char* path, uint32_t id);
// Plays effect id (frequency in Hz, 0 keeps the rate; loop non-zero loops)
// from where it stands; 1 when it started.
int32_t SfxPlayer000(uint32_t id, uint32_t frequency, uint32_t loop);
int32_t StopSfx(uint32_t id);  // 1 when stopped
// 0 while effect id plays, 1 in every other case (free to start or release).
int32_t IsSfxPlaying(uint32_t id);
int32_t IsSfxIdle(uint32_t id);  // the same call under its other name
// Releases effect id (its sample goes into the sound cache) and frees its slot.
void CloseElmorSfx000(uint32_t id);
// Tests: a recorder of what the effects layer is asked, called on the game
// thread for every effect opened, started (once or looping), stopped and
// closed, before the effect switch is looked at (it sees the calls also
// while effects are off); null none.
enum SfxCall : uint32_t { SFX_CALL_OPEN, SFX_CALL_PLAY, SFX_CALL_LOOP, SFX_CALL_STOP, SFX_CALL_CLOSE };
using SfxRecordHook = void (*)(uint32_t call, uint32_t id);
void SetSfxRecordHook(SfxRecordHook hook);
// The sound-effect volume of the options page: does nothing.
void SetSfxVolume(uint32_t volumeShifted);
// WaitEvent's click on every button press: effect 1, once.
void ClickSound();

// ---- CD audio (game thread); the two leading words are not read --------------
// Plays tracks first..last (to the disc's end when last is its final track);
// 1 when playing started, 0 without CD music, drive or disc.
int32_t PlayCDTrack1(const char* device, uint32_t unit, uint8_t first, uint16_t last);
// 1 when the CD is there and not playing (or its status cannot be read).
int32_t IsCDReady(const char* device, uint32_t unit);
int32_t IsCD(const char* device, uint32_t unit);    // 1 when a drive is open or can be opened
int32_t StopCD(const char* device, uint32_t unit);  // 0 when no drive is open
// Sets the drive's volume from the options' CD volume percentage; 1.
int32_t SetCDVolume(uint8_t ignored);

// ---- Module music --------------------------------------------------------------
// Starts the music thread on the module at path (ending one that runs); 1 or 0.
int32_t SetModule(const char* path);
// The five wrappers over TUNE; a null module or one not in the table is ignored.
ModuleRecord* LoadModule(const char* path, uint32_t mode, uint32_t rate);
void PlayModule(ModuleRecord* module);
void StopModule(ModuleRecord* module);
int32_t SetModuleVolume(ModuleRecord* module, int32_t volume);  // 1 when accepted
void FreeModule(ModuleRecord* module);
// MusicControl for the map's music zone: copies path (79 characters) as the
// next module, then raises the switch flag.
void MusicSwitchTo(const char* path);
// The module path now playing (or asked for), empty when none.
void MusicCurrentName(char* out, uint32_t size);

// ---- Sound switches (game thread) ----------------------------------------------
// SoundStatus from wanted (0: the options' mask) and the capabilities; starts
// the music, clears the effect slots, loads the click. 0 when the click failed.
int32_t SoundMaske(uint32_t wanted, const char* module);
// Releases the click, stops the CD, ends the music thread and frees its module.
void ExitSound();
