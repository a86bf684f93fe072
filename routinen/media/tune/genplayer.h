// Module record and the generic player that plays every module type.
#pragma once
#include <cstdint>

#include "tune_internal.h"

enum : uint32_t { MT_MOD = 1, MT_S3M = 2, MT_XM = 3, MT_IT = 4 };
enum : uint32_t {
  MF_AMIGA_LIMITS = 1, MF_FAST_SLIDES = 2, MF_EXT_OCTAVES = 4, MF_LINEAR = 8, MF_INSTRUMENTS = 16
};
enum : uint16_t { ORDER_SKIP = 65534, ORDER_END = 65535 };
// The one effect-command numbering every loader translates its format into.
enum EffectCommand : uint8_t {
  CMD_NONE = 0,
  CMD_ARPEGGIO = 1,
  CMD_PORTA_UP = 2,
  CMD_PORTA_DOWN = 3,
  CMD_TONE_PORTA = 4,
  CMD_VIBRATO = 5,
  CMD_TONE_PORTA_VOLSLIDE = 6,
  CMD_VIBRATO_VOLSLIDE = 7,
  CMD_TREMOLO = 8,
  CMD_SET_PANNING = 9,
  CMD_SAMPLE_OFFSET = 10,
  CMD_VOLUME_SLIDE = 11,
  CMD_POSITION_JUMP = 12,
  CMD_SET_VOLUME = 13,
  CMD_PATTERN_BREAK = 14,
  CMD_SET_SPEED = 15,
  CMD_SET_TEMPO = 16,
  CMD_FINE_PORTA_UP = 17,
  CMD_FINE_PORTA_DOWN = 18,
  CMD_PATTERN_LOOP = 19,
  CMD_SET_PANNING4 = 20,
  CMD_RETRIGGER = 21,
  CMD_FINE_VOLUME_UP = 22,
  CMD_FINE_VOLUME_DOWN = 23,
  CMD_NOTE_CUT = 24,
  CMD_NOTE_DELAY = 25,
  CMD_PATTERN_DELAY = 26,
  CMD_GLOBAL_VOLUME = 27,
  CMD_GLOBAL_VOLUME_SLIDE = 28,
  CMD_RETRIGGER_VOLUME = 29,
  CMD_SYNC = 30,
  CMD_XFINE_PORTA_UP = 31,
  CMD_XFINE_PORTA_DOWN = 32,
  CMD_PANNING_SLIDE = 33,
  CMD_COUNT = 34
};
// What the current row gave a channel (PlayChannel::flags).
enum : uint32_t { CF_NEW_NOTE = 1, CF_NEW_VOLUME = 2, CF_NEW_INSTRUMENT = 4, CF_COMMAND = 8, CF_NOTE_DELAYED = 16 };
enum : uint8_t { NOTE_NONE = 255, NOTE_KEYOFF = 254, NOTE_CUT = 253 };

struct EnvelopeRecord {
  uint8_t points;
  uint8_t sustain;      // 255 none
  uint8_t loopStart, loopEnd;        // 255 none
  uint8_t sustainStart, sustainEnd;  // 255 none
  uint16_t tick[25];
  uint16_t value[25];
};

struct SampleRecord {
  char name[32];
  uint32_t handle;  // device sample, 0 none
  uint8_t* data;    // null once handed to the device
  uint32_t length, loopStart, loopEnd, sustainStart, sustainEnd;  // bytes
  uint8_t type;      // 0 none, 1 8-bit unsigned, 2 16-bit signed
  uint8_t loopMode, loop1Type, loop2Type;
  uint32_t volume;   // 0..64
  uint32_t globalVolume;
  int32_t panning;   // XM 0..255, -1 none
  int32_t relNote;   // XM relative note; S3M C2 speed, IT C5 speed (Hz)
  int32_t finetune;  // MOD 0..15, XM -128..127
  uint32_t fileOffset;
  uint8_t vibType, vibRate, vibDepth, vibSpeed;
};

struct InstrumentRecord {
  char name[32];
  uint32_t sampleCount;
  uint8_t* noteTable;  // XM 96 bytes, IT 120 pairs (note, sample); null = sample 0
  EnvelopeRecord* volEnv;
  EnvelopeRecord* panEnv;
  EnvelopeRecord* pitchEnv;
  uint32_t fadeout;
  uint32_t globalVolume;
  uint8_t vibType, vibSweep, vibDepth, vibRate;
  uint8_t nna, dct, dca, pps, ppc, defaultPan, randVol, randPan;
  uint32_t used;
  SampleRecord** samples;  // sampleCount entries
};

struct PatternRecord {
  uint32_t length;  // bytes including the 8-byte head
  uint32_t rows;
  uint8_t data[1];  // packed rows (length - 8 bytes)
};

struct ModuleRecord {
  char name[32];
  uint32_t type;
  uint32_t songLength;
  uint32_t restart;
  uint32_t instrumentCount, sampleCount, patternCount;
  uint8_t channels, masterVolume, speed, tempo;
  uint32_t* panning;   // one per channel
  uint16_t* orders;    // songLength entries
  InstrumentRecord** instruments;
  SampleRecord** samples;
  PatternRecord** patterns;
  uint32_t flags;
};

// Per module channel state of a playing song.
struct PlayChannel {
  uint32_t basePeriod;
  int32_t instrument;     // -1 none
  int32_t newInstrument;  // -1 none
  uint32_t targetPeriod;
  uint32_t sampleOffset;  // bytes
  uint8_t lastInfo;       // S3M / IT info memory
  uint8_t sampleIndex;    // 255 none
  uint8_t soundChannel;
  uint8_t volByte;
  uint8_t note;         // note to play (IT: after the instrument's keymap)
  uint8_t patternNote;  // note as it stands in the pattern
  uint8_t xmMemory[34];
  uint8_t volume, curVolume;
  uint8_t command, info;
  uint8_t portaSpeed;
  uint8_t channelVolume;
  int32_t panning;
  uint32_t fadeout;
  uint8_t keyOff, retrigCounter, finalVolume, lastNote;
  uint8_t vibSpeed, vibDepth, vibPos, offsetMemory, volSlideMemory;
  uint32_t curPeriod, finalPeriod;
  uint32_t autoVibDepth;
  uint8_t autoVibPos;
  uint8_t loopRow, loopCounter;
  uint32_t envPos[3];
  uint8_t envDone[3];
  uint32_t flags;  // CF_* bits of the current row
  int32_t finalPanning;  // as last sent to the device
};

struct PlayHandle {
  uint32_t slot;
  ModuleRecord* module;
  int32_t rowValid;
  uint32_t rowOffset;  // offset of the next row in the pattern data
  int32_t position, pattern, row;
  int32_t lastPosition, restart;
  uint32_t tempo, speed, tick, patternDelay;
  uint32_t channels;
  uint32_t maxPeriod, minPeriod, shift, maxVolume;
  uint32_t loopCounter;
  int32_t loopFlag;
  PlayChannel* ch;
  void (*sync)(uint32_t info, uint32_t position, uint32_t row);
  int32_t lastSync;
  uint8_t patLoopRow, patLoopCounter, masterVolume, musicVolume;
  int32_t jumped;   // a command set the next position on this row
  int32_t stalled;  // no playable order entry: the song rests
};

// The mixer-independent pitch rules (exposed for tests).
uint32_t NoteToPeriodFor(const ModuleRecord* m, const SampleRecord* s, uint8_t note);
uint32_t PeriodToRateFor(const ModuleRecord* m, uint32_t period);  // 0 for period 0
uint32_t ModPeriodTable(uint32_t finetune, uint32_t semitone);     // octave 0
uint32_t XmLinearTable(uint32_t i);                                // 0..767
int32_t AutoVibratoWave(uint32_t type, uint8_t position);
// The envelope's value (8.8) at *position; moves the position on by one
// tick (loops, sustain) unless the envelope holds (*done).
int32_t EnvelopeValue(const EnvelopeRecord* env, uint32_t* position, uint8_t* done, int32_t keyOff);

int32_t PlayerInit(SoundDevice* device);
int32_t PlayerClose();
int32_t PlayerIsInitialised();
// start -1 = whole song; channels -1 = module's count.
int32_t PlayerStartSong(ModuleRecord* module, int32_t start, int32_t end, int32_t restart,
                        int32_t loop, int32_t channels, const uint32_t* channelNumbers,
                        PlayHandle** handle);
int32_t PlayerStopSong(PlayHandle* handle);
int32_t PlayerSetMusicVolume(PlayHandle* handle, uint32_t volume);
int32_t PlayerFreeModule(ModuleRecord* module);
int32_t PlayerPlay();  // one tick
// Sets the tempo (BPM; 0 is ignored) of the song (null: only the device's
// update rate, bpm x 40), then calls the tempo hook.
int32_t PlayerSetTempo(PlayHandle* handle, uint32_t bpm);
// The routine told of every tempo change (null: none); PlayerInit clears it.
void PlayerSetTempoHook(void (*hook)(uint32_t bpm));

// Loaders: module from bytes; addSamples hands the samples to the device.
using SampleCallback = void (*)(SampleRecord* sample);
int32_t LoadModModule(const uint8_t* data, uint32_t size, int32_t addSamples, SampleCallback cb,
                      ModuleRecord** module);
int32_t LoadS3mModule(const uint8_t* data, uint32_t size, int32_t addSamples, SampleCallback cb,
                      ModuleRecord** module);
int32_t LoadXmModule(const uint8_t* data, uint32_t size, int32_t addSamples, SampleCallback cb,
                     ModuleRecord** module);
int32_t LoadItModule(const uint8_t* data, uint32_t size, int32_t addSamples, SampleCallback cb,
                     ModuleRecord** module);
