// The sound page of the options (screen code 133, picture 133): the eight
// sound switches, the CD device and three further audio values, the volume
// sliders of the CD and of the effects. Every switch restarts the sound at
// once. NEXT leads to the internet page (134), PREV to the modem page
// (1141); EXIT and OK to the main screen (the sign-up below account state
// 2). docs/options.md.
#pragma once
#include <cstdint>

#include "screens/hub/optionfields.h"

struct BitMap;
struct ScreenRegion;
struct TextCursor;
struct TextFont;

constexpr uint32_t kSoundFields = 5, kSoundSwitches = 8, kSoundSliders = 2;

// The page's record for one visit.
struct SoundOptionsData {
  uint32_t mask;                       // working SoundMaskeFlags
  uint32_t startMask;                  // the working mask as the page opened
  TextCursor* cursor;                  // the edited field's, null none
  int32_t active;                      // edited field 0..4, -1 none
  BitMap* notchBackground[kSoundSliders];
  int32_t notchX[kSoundSliders], notchY[kSoundSliders];
  OptionField fields[kSoundFields];
  ScreenRegion* region;                // Optionen0.dat
  TextFont* formFont;                  // the fields' font
  TextFont* titleFont;                 // the labels' (the screen's font)
  OptionLamps lamps;
  uint8_t notch;                       // graphic 354 is open
};

// What one switch does (the rules as a pure function): the new working mask
// and capabilities and the catalog messages to show (0 none).
struct SoundSwitchOutcome {
  uint32_t mask, caps;
  uint32_t message;
};
// Switch n (bit n) pressed with the working mask and the capabilities;
// cd_present: for CDROMSOUND switched on the drive of fields 0 and 1, for
// MUSIC the options' drive (IsCD).
SoundSwitchOutcome SoundSwitchRule(uint32_t mask, uint32_t caps, int32_t cd_present, uint32_t n);
// The mask the page starts from: bits 1 to 32 from the sound in force, the
// volume switches 64 and 128 from the options' wish.
uint32_t SoundWorkingMask(uint32_t status, uint32_t options_mask);
// The mask the page stores as the options' wish: the working mask, unless
// the machine has no sound output (capabilities without SOUND_16BIT): then
// no sound is in force to read the wish from, and only the switches changed
// on this visit (start against working mask) change the old wish.
uint32_t SoundMaskToStore(uint32_t wish, uint32_t start, uint32_t mask, uint32_t caps);
// The text of field n (1..4) as the value of its option field: 1 and *value,
// or 0 when it is not a number or does not fit (u16 for 1 and 2, u32 for 3
// and 4; field 3 is hexadecimal after "0x").
int32_t ParseSoundField(uint32_t n, const char* text, uint32_t* value);
// The notch's x for a volume on a track (start, end): start + (end - start
// - 7) x volume / 100. The volume a mouse x gives on it, 0..100 (a track
// of no width gives -1).
int32_t NotchX(int32_t start, int32_t end, uint32_t volume);
int32_t VolumeAt(int32_t start, int32_t end, int32_t mouse_x);

// Runs the page: 2 (32 below account state 2), 134, 1141, or -1 when it
// cannot start or the sound cannot be restarted.
int32_t OptionenScreen(int32_t entry_code);
// Draws the page: labels, fields, the version text, the marks and notches;
// the working mask taken from the sound in force.
void Soundbits(SoundOptionsData* d);
void DrawSoundSwitch(SoundOptionsData* d, uint32_t n);
// The working mask and the five fields into the options (not saved); a
// field that is refused shows the stored value again.
void StoreSoundFields(SoundOptionsData* d);
// Makes the record's active field the edited one.
void ActivateSoundField(SoundOptionsData* d);
// The notch of slider 0 (CD, +59) or 1 (effects, +58) at its volume.
void VisualizeNotch(SoundOptionsData* d, uint32_t slider);
// The slider's volume from the mouse, handed to the sound, then the notch.
void SetVolumeFromSlider(SoundOptionsData* d, uint32_t slider);
int32_t LoadOptionenScreenGfx(SoundOptionsData* d);
void CloseOptionenScreenGfx(SoundOptionsData* d);
