// Generic module player: song slots, rows and ticks, effect commands, pitch
// and volume rules per module type, envelopes, fade-out and auto-vibrato.
#include "genplayer.h"

#include <cmath>
#include <cstring>

#include "dmix.h"

namespace {

// The player's fields of TUNE's state record (tune_internal.h).
GenericPlayerState& P() { return TunePlayer().player; }
PlayerTables& Tables() { return TunePlayer().tables; }

// Protracker finetune periods of octave 1 (finetunes 0..7, then -8..-1).
const uint16_t kPT[16][12] = {
    {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453},
    {850, 802, 757, 715, 674, 637, 601, 567, 535, 505, 477, 450},
    {844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474, 447},
    {838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470, 444},
    {832, 785, 741, 699, 660, 623, 588, 555, 524, 495, 467, 441},
    {826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463, 437},
    {820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460, 434},
    {814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457, 431},
    {907, 856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480},
    {900, 850, 802, 757, 715, 675, 636, 601, 567, 535, 505, 477},
    {894, 844, 796, 752, 709, 670, 632, 597, 563, 532, 502, 474},
    {887, 838, 791, 746, 704, 665, 628, 592, 559, 528, 498, 470},
    {881, 832, 785, 741, 699, 660, 623, 588, 555, 524, 494, 467},
    {875, 826, 779, 736, 694, 655, 619, 584, 551, 520, 491, 463},
    {868, 820, 774, 730, 689, 651, 614, 580, 547, 516, 487, 460},
    {862, 814, 768, 725, 684, 646, 610, 575, 543, 513, 484, 457}};

const uint16_t kSemitone[12] = {1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907};
const uint8_t kVibrato[32] = {0,   24,  49,  74,  97,  120, 141, 161, 180, 197, 212,
                              224, 235, 244, 250, 253, 255, 253, 250, 244, 235, 224,
                              212, 197, 180, 161, 141, 120, 97,  74,  49,  24};
const uint8_t kRetrigMul[16] = {0, 0, 0, 0, 0, 0, 10, 8, 0, 0, 0, 0, 0, 0, 24, 32};
const int8_t kRetrigAdd[16] = {0, -1, -2, -4, -8, -16, 0, 0, 0, 1, 2, 4, 8, 16, 0, 0};
// With this constant an IT C-5 plays at the sample's C5 speed (as 133808
// does for an S3M C-4 and its C2 speed).
constexpr uint64_t kItPeriodConstant = 8363ull * 32;


void BuildTables() {
  if (Tables().built) return;
  for (int i = 0; i < 768; i++) Tables().linear[i] = (uint32_t)std::floor(535232.0 * std::pow(2.0, -i / 768.0));
  for (int i = 0; i < 256; i++) Tables().sine[i] = (int8_t)std::lround(-64.0 * std::sin(2.0 * M_PI * i / 256.0));
  for (int f = 0; f < 8; f++) Tables().xmAmiga[f] = kPT[8 + f][0];
  for (int s = 0; s < 12; s++)
    for (int f = 0; f < 8; f++) Tables().xmAmiga[8 + s * 8 + f] = kPT[f][s];
  Tables().xmAmiga[8 + 96] = 428;
  Tables().built = true;
}

// ---- module access ----

InstrumentRecord* Instrument(const PlayHandle* h, int32_t i) {
  const ModuleRecord* m = h->module;
  if (i < 0 || (uint32_t)i >= m->instrumentCount || !m->instruments) return nullptr;
  return m->instruments[i];
}

SampleRecord* ChannelSample(const PlayHandle* h, const PlayChannel& c) {
  InstrumentRecord* in = Instrument(h, c.instrument);
  if (!in || c.sampleIndex == 255 || c.sampleIndex >= in->sampleCount || !in->samples) return nullptr;
  return in->samples[c.sampleIndex];
}

uint32_t DeviceChannel(const PlayChannel& c) { return c.soundChannel; }

// ---- pitch, volume, panning ----

int32_t SetPeriod(PlayHandle* h, PlayChannel& c, int64_t p) {
  if (p == 0) return TE_OK;
  if (p < h->minPeriod) p = h->minPeriod;
  if (p > h->maxPeriod) p = h->maxPeriod;
  c.basePeriod = c.curPeriod = (uint32_t)p;
  return TE_OK;
}

void SetCurrentPeriod(PlayHandle* h, PlayChannel& c, int64_t p) {
  if (p < h->minPeriod) p = h->minPeriod;
  if (p > h->maxPeriod) p = h->maxPeriod;
  c.curPeriod = (uint32_t)p;
}

// A note's own period, never limited to the slide range: a MOD C-1 with a
// negative finetune sounds at its table period (862 at -1), not at 856.
int32_t SetPeriodAndPlay(PlayHandle* h, PlayChannel& c, uint32_t p) {
  if (p == 0) return TE_OK;
  c.basePeriod = c.curPeriod = p;
  return P().dev->PlaySound(DeviceChannel(c), PeriodToRateFor(h->module, p));
}

void SetChannelVolume(PlayHandle* h, PlayChannel& c, int32_t v) {
  if (v < 0) v = 0;
  if (v > (int32_t)h->maxVolume) v = (int32_t)h->maxVolume;
  c.volume = c.curVolume = (uint8_t)v;
}

int32_t SetChannelPanning(PlayHandle* h, PlayChannel& c, int32_t p) {
  switch (h->module->type) {
    case MT_XM:
      c.panning = p < 0 ? 0 : p > 255 ? 255 : p;
      return TE_OK;
    case MT_IT:
      c.panning = p < 0 ? 0 : p > 64 ? 64 : p;
      c.finalPanning = c.panning * 2 - 64;
      return P().dev->SetPanning(DeviceChannel(c), c.finalPanning);
    default:
      if (p == 164) {
        c.panning = 128;
      } else {
        p -= 64;
        c.panning = p < -64 ? -64 : p > 64 ? 64 : p;
      }
      c.finalPanning = c.panning;
      return P().dev->SetPanning(DeviceChannel(c), c.panning);
  }
}

int32_t StartNote(PlayHandle* h, PlayChannel& c) {
  const uint32_t type = h->module->type;
  const uint8_t n = c.note;
  c.flags &= ~CF_NEW_NOTE;
  if (n == NOTE_KEYOFF || n == NOTE_CUT) {
    if (type == MT_MOD) return n == NOTE_KEYOFF ? P().dev->ReleaseSound(DeviceChannel(c)) : TE_OK;
    if (type == MT_S3M || n == NOTE_CUT) return P().dev->StopSound(DeviceChannel(c));
    c.keyOff = 1;
    c.envDone[0] = c.envDone[1] = c.envDone[2] = 0;
    // an IT sample leaves its sustain loop when the note is released
    if (type == MT_IT)
      if (int32_t err = P().dev->ReleaseSound(DeviceChannel(c))) return err;
    if (type == MT_XM) {
      InstrumentRecord* in = Instrument(h, c.instrument);
      if ((!in || !in->volEnv) && !(c.flags & CF_NEW_INSTRUMENT)) SetChannelVolume(h, c, 0);
    }
    return TE_OK;
  }
  if (n == NOTE_NONE) return TE_OK;
  SampleRecord* s = ChannelSample(h, c);
  if (!s || !s->handle) return TE_OK;
  c.lastNote = n;
  uint32_t p = NoteToPeriodFor(h->module, s, n);
  if (!p) return TE_OK;
  c.vibPos = 0;
  int32_t err = SetPeriodAndPlay(h, c, p);
  if (!err && c.sampleOffset) err = P().dev->SetPosition(DeviceChannel(c), s->type == 2 ? c.sampleOffset * 2 : c.sampleOffset);
  return err;
}

// ---- song position ----

void WrapToRestart(PlayHandle* h) {
  h->position = h->restart;
  h->loopCounter++;
  h->masterVolume = h->module->masterVolume;
}

uint16_t OrderAt(const PlayHandle* h, int32_t pos) {
  const ModuleRecord* m = h->module;
  if (pos < 0 || (uint32_t)pos >= m->songLength) return ORDER_END;
  return m->orders[pos];
}

// Moves to the next playable order entry after (or, with `stay`, at) the
// current position; wraps to the restart position past the end.
void AdvancePosition(PlayHandle* h, bool stay) {
  const uint32_t bound = 2 * h->module->songLength + 4;
  for (uint32_t i = 0; i < bound; i++) {
    if (!stay) {
      h->position++;
      if (h->position > h->lastPosition || OrderAt(h, h->position) == ORDER_END) WrapToRestart(h);
    }
    stay = false;
    uint16_t o = OrderAt(h, h->position);
    if (o != ORDER_SKIP && o != ORDER_END) {
      h->pattern = o;
      h->rowValid = 0;
      return;
    }
  }
  h->stalled = 1;  // only skip or end markers: the song rests
}

void SetSongPosition(PlayHandle* h, int32_t pos) {
  h->position = pos;
  AdvancePosition(h, true);
}

const PatternRecord* Pattern(const PlayHandle* h) {
  const ModuleRecord* m = h->module;
  if (h->pattern < 0 || (uint32_t)h->pattern >= m->patternCount || !m->patterns) return nullptr;
  return m->patterns[h->pattern];
}

// ---- effect commands ----

void VolumeSlideBasic(PlayHandle* h, PlayChannel& c, uint8_t info) {
  const int x = info >> 4, y = info & 15;
  SetChannelVolume(h, c, x ? c.volume + x : c.volume - y);
}

void VolumeSlide(PlayHandle* h, PlayChannel& c, uint8_t info, bool onRow) {
  const uint32_t type = h->module->type;
  if (type == MT_MOD) {
    if (!onRow) VolumeSlideBasic(h, c, info);
    return;
  }
  if (type == MT_XM) {
    if (info) c.volSlideMemory = info; else info = c.volSlideMemory;
    if (!onRow) VolumeSlideBasic(h, c, info);
    return;
  }
  const int x = info >> 4, y = info & 15;
  if (y == 15 && x) { if (onRow) SetChannelVolume(h, c, c.volume + x); return; }
  if (x == 15 && y) { if (onRow) SetChannelVolume(h, c, c.volume - y); return; }
  if (onRow && !(h->module->flags & MF_FAST_SLIDES)) return;
  SetChannelVolume(h, c, y ? c.volume - y : c.volume + x);
}

void Portamento(PlayHandle* h, PlayChannel& c, uint8_t info, bool onRow, int dir) {
  const uint32_t type = h->module->type;
  int64_t amount;
  if (type == MT_MOD || type == MT_XM) {
    if (onRow) return;
    amount = (int64_t)info << h->shift;
  } else if (info < 0xE0) {
    if (onRow) return;
    amount = (int64_t)info << h->shift;
  } else if (info >= 0xF0) {
    if (!onRow) return;
    amount = (int64_t)(info & 15) << h->shift;
  } else {
    if (!onRow) return;
    amount = info & 15;
  }
  if (c.basePeriod) SetPeriod(h, c, (int64_t)c.basePeriod + dir * amount);
}

void TonePortaTarget(PlayHandle* h, PlayChannel& c) {
  if (!(c.flags & CF_NEW_NOTE) || c.note >= NOTE_CUT) return;
  SampleRecord* s = ChannelSample(h, c);
  if (!s) return;
  uint32_t p = NoteToPeriodFor(h->module, s, c.note);
  if (p) {
    if (p < h->minPeriod) p = h->minPeriod;
    if (p > h->maxPeriod) p = h->maxPeriod;
    c.targetPeriod = p;
  }
  c.flags &= ~CF_NEW_NOTE;
}

void TonePortaStep(PlayHandle* h, PlayChannel& c, uint8_t speed) {
  if (!c.targetPeriod) return;
  if (speed) c.portaSpeed = speed;
  if (c.basePeriod == c.targetPeriod || !c.basePeriod) return;
  int64_t step = (int64_t)c.portaSpeed << h->shift;
  int64_t p = c.basePeriod;
  if (p < c.targetPeriod) { p += step; if (p > c.targetPeriod) p = c.targetPeriod; }
  else { p -= step; if (p < c.targetPeriod) p = c.targetPeriod; }
  SetPeriod(h, c, p);
}

void Vibrato(PlayHandle* h, PlayChannel& c, uint8_t info) {
  if (info & 15) c.vibDepth = info & 15;
  if (info >> 4) c.vibSpeed = info >> 4;
  int32_t delta = (kVibrato[c.vibPos & 31] * c.vibDepth) >> (7 - h->shift);
  SetCurrentPeriod(h, c, (c.vibPos & 32) ? (int64_t)c.basePeriod - delta : (int64_t)c.basePeriod + delta);
  c.vibPos = (uint8_t)(c.vibPos + c.vibSpeed);
}

void Arpeggio(PlayHandle* h, PlayChannel& c, uint8_t info) {
  if (c.lastNote >= NOTE_CUT) return;
  SampleRecord* s = ChannelSample(h, c);
  if (!s) return;
  uint32_t add = h->tick % 3 == 0 ? 0 : h->tick % 3 == 1 ? (info >> 4) : (info & 15);
  uint32_t total = (c.lastNote >> 4) * 12 + (c.lastNote & 15) + add;
  uint32_t oct = total / 12, semi = total % 12;
  if (h->module->type == MT_MOD && !(h->module->flags & MF_EXT_OCTAVES) && oct >= 4) oct -= 3;
  if (oct > 15) oct = 15;
  uint32_t p = NoteToPeriodFor(h->module, s, (uint8_t)(oct << 4 | semi));
  if (p) SetCurrentPeriod(h, c, p);
}

int32_t SetPanning4(PlayHandle* h, PlayChannel& c, uint8_t info) {
  int y = info & 15;
  int p = y < 7 ? y * 8 : y <= 8 ? 64 : y * 8 + 8;
  if (h->module->type == MT_IT) p /= 2;
  return SetChannelPanning(h, c, p);
}

void PatternLoop(PlayHandle* h, PlayChannel& c, uint8_t info) {
  const bool song = h->module->type == MT_S3M || h->module->type == MT_IT;
  uint8_t& row = song ? h->patLoopRow : c.loopRow;
  uint8_t& counter = song ? h->patLoopCounter : c.loopCounter;
  if (info == 0) {
    row = (uint8_t)h->row;
    return;
  }
  bool jump;
  if (counter) {
    counter--;
    jump = counter != 0;
  } else {
    counter = info;
    jump = true;
  }
  if (jump) {
    h->row = row;
    h->rowValid = 0;
    h->jumped = 1;
  }
}

void PositionJump(PlayHandle* h, uint8_t info) {
  int32_t old = h->position;
  if ((int32_t)info > h->lastPosition) {
    WrapToRestart(h);
  } else {
    h->position = info;
    if (h->position <= old) h->loopCounter++;
  }
  SetSongPosition(h, h->position);
  if (h->jumped != 2) h->row = 0;  // a break on the same row keeps its row
  if (h->module->type == MT_S3M) h->patLoopRow = 0;
  h->rowValid = 0;
  h->jumped = 1;
}

void PatternBreak(PlayHandle* h, uint8_t info) {
  if (!h->jumped) {
    AdvancePosition(h, false);
    if (h->module->type == MT_S3M) h->patLoopRow = 0;
  }
  h->rowValid = 0;
  h->jumped = 2;
  uint32_t row = (info >> 4) * 10 + (info & 15);
  const PatternRecord* p = Pattern(h);
  uint32_t last = p && p->rows ? p->rows - 1 : 63;
  switch (h->module->type) {
    case MT_XM: if (row > last) row = last; break;
    case MT_IT: row = info > last ? last : info; break;
    default: if (row > 63) row = 63; break;
  }
  h->row = (int32_t)row;
}

int32_t SampleOffset(PlayHandle* h, PlayChannel& c, uint8_t info) {
  if (info) c.offsetMemory = info;
  uint32_t off = (uint32_t)c.offsetMemory * 256;
  int32_t err = TE_OK;
  if (c.flags & CF_NEW_NOTE) {
    if (h->module->type == MT_XM) c.sampleOffset = off; else c.sampleOffset += off;
    err = StartNote(h, c);
  }
  if (h->module->type == MT_MOD) c.sampleOffset += off;
  return err;
}

int32_t Retrigger(PlayHandle* h, PlayChannel& c, uint8_t info, bool withVolume) {
  const int y = info & 15, x = info >> 4;
  int32_t err = TE_OK;
  if ((withVolume || info) && c.retrigCounter >= y) {
    SampleRecord* s = ChannelSample(h, c);
    uint32_t off = s && s->type == 2 ? c.sampleOffset * 2 : c.sampleOffset;
    err = P().dev->SetPosition(DeviceChannel(c), off);
    c.retrigCounter = 0;
    if (withVolume) {
      int32_t v = kRetrigMul[x] ? (c.volume * kRetrigMul[x]) >> 4 : c.volume + kRetrigAdd[x];
      SetChannelVolume(h, c, v);
    }
  }
  c.retrigCounter++;
  return err;
}

int32_t RowCommand(PlayHandle* h, PlayChannel& c, uint8_t cmd, uint8_t info) {
  const uint32_t type = h->module->type;
  switch (cmd) {
    case CMD_PORTA_UP: case CMD_PORTA_DOWN:
      if (type == MT_S3M || type == MT_IT) Portamento(h, c, info, true, cmd == CMD_PORTA_UP ? -1 : 1);
      break;
    case CMD_TONE_PORTA: case CMD_TONE_PORTA_VOLSLIDE: TonePortaTarget(h, c); break;
    case CMD_VIBRATO_VOLSLIDE:
      if (type == MT_S3M || type == MT_IT) { VolumeSlide(h, c, info, true); Vibrato(h, c, 0); }
      break;
    case CMD_SET_PANNING: return SetChannelPanning(h, c, info);
    case CMD_SAMPLE_OFFSET: return SampleOffset(h, c, info);
    case CMD_VOLUME_SLIDE: if (type == MT_S3M || type == MT_IT || type == MT_XM) VolumeSlide(h, c, info, true); break;
    case CMD_POSITION_JUMP: PositionJump(h, info); break;
    case CMD_SET_VOLUME: SetChannelVolume(h, c, info); break;
    case CMD_PATTERN_BREAK: PatternBreak(h, info); break;
    case CMD_SET_SPEED:
      if (info) h->speed = info;
      else if (type != MT_S3M) {
        WrapToRestart(h);
        SetSongPosition(h, h->position);
        h->row = 0;
        h->jumped = 1;
      }
      break;
    case CMD_SET_TEMPO:
      if (info >= 32) return PlayerSetTempo(h, info);
      break;
    case CMD_FINE_PORTA_UP: if (c.basePeriod) SetPeriod(h, c, (int64_t)c.basePeriod - ((int64_t)info << h->shift)); break;
    case CMD_FINE_PORTA_DOWN: if (c.basePeriod) SetPeriod(h, c, (int64_t)c.basePeriod + ((int64_t)info << h->shift)); break;
    case CMD_PATTERN_LOOP: PatternLoop(h, c, info); break;
    case CMD_SET_PANNING4: return SetPanning4(h, c, info);
    case CMD_RETRIGGER: case CMD_RETRIGGER_VOLUME:
      if (cmd == CMD_RETRIGGER || type != MT_MOD) c.retrigCounter = 1;
      break;
    case CMD_FINE_VOLUME_UP: SetChannelVolume(h, c, c.volume + info); break;
    case CMD_FINE_VOLUME_DOWN: SetChannelVolume(h, c, c.volume - info); break;
    case CMD_NOTE_CUT: if (info == h->tick) SetChannelVolume(h, c, 0); break;
    case CMD_NOTE_DELAY:
      if (info && (c.flags & CF_NEW_NOTE)) { c.flags |= CF_NOTE_DELAYED; c.flags &= ~CF_NEW_NOTE; }
      else c.flags &= ~CF_NOTE_DELAYED;
      break;
    case CMD_PATTERN_DELAY: if (!h->patternDelay) h->patternDelay = info; break;
    case CMD_GLOBAL_VOLUME: if (type != MT_MOD) h->masterVolume = info > 64 ? 64 : info; break;
    case CMD_SYNC:
      h->lastSync = info;
      if (h->sync) h->sync(info, (uint32_t)h->position, (uint32_t)h->row);
      break;
    case CMD_PANNING_SLIDE:
      // IT fine panning slides act once, on the row (tick 0)
      if (type == MT_IT) {
        const int x = info >> 4, y = info & 15;
        if (y == 15 && x) return SetChannelPanning(h, c, c.panning - x);
        if (x == 15 && y) return SetChannelPanning(h, c, c.panning + y);
      }
      break;
    case CMD_XFINE_PORTA_UP: if (type == MT_XM && c.basePeriod) SetPeriod(h, c, (int64_t)c.basePeriod - info); break;
    case CMD_XFINE_PORTA_DOWN: if (type == MT_XM && c.basePeriod) SetPeriod(h, c, (int64_t)c.basePeriod + info); break;
    default: break;
  }
  return TE_OK;
}

int32_t TickCommand(PlayHandle* h, PlayChannel& c, uint8_t cmd, uint8_t info) {
  const uint32_t type = h->module->type;
  switch (cmd) {
    case CMD_ARPEGGIO: Arpeggio(h, c, info); break;
    case CMD_PORTA_UP: Portamento(h, c, info, false, -1); break;
    case CMD_PORTA_DOWN: Portamento(h, c, info, false, 1); break;
    case CMD_TONE_PORTA: TonePortaStep(h, c, info); break;
    case CMD_VIBRATO: Vibrato(h, c, info); break;
    case CMD_TONE_PORTA_VOLSLIDE: VolumeSlide(h, c, info, false); TonePortaStep(h, c, 0); break;
    case CMD_VIBRATO_VOLSLIDE: VolumeSlide(h, c, info, false); Vibrato(h, c, 0); break;
    case CMD_VOLUME_SLIDE: VolumeSlide(h, c, info, false); break;
    case CMD_RETRIGGER: return Retrigger(h, c, info, false);
    case CMD_NOTE_CUT: if (info == h->tick) SetChannelVolume(h, c, 0); break;
    case CMD_NOTE_DELAY:
      if (info == h->tick && (c.flags & CF_NOTE_DELAYED)) {
        c.flags &= ~CF_NOTE_DELAYED;
        return StartNote(h, c);
      }
      break;
    case CMD_GLOBAL_VOLUME_SLIDE:
      if (type == MT_XM) {
        int32_t v = (info >> 4) ? h->masterVolume + (info >> 4) : h->masterVolume - (info & 15);
        h->masterVolume = (uint8_t)(v < 0 ? 0 : v > 64 ? 64 : v);
      }
      break;
    case CMD_RETRIGGER_VOLUME: if (type != MT_MOD) return Retrigger(h, c, info, true); break;
    case CMD_PANNING_SLIDE:
      if (type == MT_XM) {
        return SetChannelPanning(h, c, (info >> 4) ? c.panning + (info >> 4) : c.panning - (info & 15));
      }
      if (type == MT_IT) {
        const int x = info >> 4, y = info & 15;
        if ((y == 15 && x) || (x == 15 && y)) break;  // fine slides: on the row only
        return SetChannelPanning(h, c, y ? c.panning + y : c.panning - x);
      }
      break;
    default: break;
  }
  return TE_OK;
}

int32_t VolumeColumnRow(PlayHandle* h, PlayChannel& c, uint8_t v) {
  if (h->module->type == MT_IT) {
    if (v >= 128 && v <= 192) return SetChannelPanning(h, c, v - 128);
    return TE_OK;
  }
  if (h->module->type != MT_XM) return TE_OK;
  const int y = v & 15;
  switch (v >> 4) {
    case 0x8: SetChannelVolume(h, c, c.volume - y); break;
    case 0x9: SetChannelVolume(h, c, c.volume + y); break;
    case 0xA: c.vibSpeed = (uint8_t)y; break;
    case 0xC: return SetChannelPanning(h, c, y * 16 + y);
    case 0xF: TonePortaTarget(h, c); break;
    default: break;
  }
  return TE_OK;
}

int32_t VolumeColumnTick(PlayHandle* h, PlayChannel& c, uint8_t v) {
  const int y = v & 15;
  switch (v >> 4) {
    case 0x6: SetChannelVolume(h, c, c.volume - y); break;
    case 0x7: SetChannelVolume(h, c, c.volume + y); break;
    case 0xB: if (y) c.vibDepth = (uint8_t)y; Vibrato(h, c, 0); break;
    case 0xD: return SetChannelPanning(h, c, c.panning - y);
    case 0xE: return SetChannelPanning(h, c, c.panning + y);
    case 0xF: TonePortaStep(h, c, (uint8_t)(y * 16)); break;
    default: break;
  }
  return TE_OK;
}

bool HasInfoMemory(uint8_t cmd) {
  switch (cmd) {
    case CMD_ARPEGGIO: case CMD_PORTA_UP: case CMD_PORTA_DOWN: case CMD_TONE_PORTA: case CMD_VIBRATO: case CMD_TONE_PORTA_VOLSLIDE: case CMD_VIBRATO_VOLSLIDE: case CMD_VOLUME_SLIDE: case CMD_RETRIGGER: case CMD_RETRIGGER_VOLUME: case CMD_PANNING_SLIDE:
      return true;
    default:
      return false;
  }
}

uint8_t ResolveInfo(PlayHandle* h, PlayChannel& c, uint8_t cmd, uint8_t info) {
  const uint32_t type = h->module->type;
  if (type == MT_S3M || type == MT_IT) {
    if (HasInfoMemory(cmd)) {
      if (info) c.lastInfo = info; else info = c.lastInfo;
    }
  } else if (type == MT_XM) {
    switch (cmd) {
      case CMD_PORTA_UP: case CMD_PORTA_DOWN: case CMD_FINE_PORTA_UP: case CMD_FINE_PORTA_DOWN: case CMD_FINE_VOLUME_UP: case CMD_FINE_VOLUME_DOWN: case CMD_GLOBAL_VOLUME_SLIDE: case CMD_XFINE_PORTA_UP: case CMD_XFINE_PORTA_DOWN:
        if (info) c.xmMemory[cmd] = info; else info = c.xmMemory[cmd];
        break;
      default: break;
    }
  }
  return info;
}

// ---- rows and ticks ----

int32_t PlayTick(PlayHandle* h) {
  for (uint32_t i = 0; i < h->channels; i++) {
    PlayChannel& c = h->ch[i];
    if (h->module->type == MT_XM && c.volByte >= 65)
      if (int32_t err = VolumeColumnTick(h, c, c.volByte)) return err;
    if (c.command) {
      if (c.command >= 34) return TE_INVALID_PATTERN;
      if (int32_t err = TickCommand(h, c, c.command, c.info)) return err;
    }
  }
  return TE_OK;
}

// Chooses the instrument's sample for a note (XM / IT); may change the note.
void ChooseSample(PlayHandle* h, PlayChannel& c, InstrumentRecord* in) {
  const uint32_t type = h->module->type;
  uint32_t n = (c.patternNote >> 4) * 12 + (c.patternNote & 15);
  if (!in || in->sampleCount == 0) {
    c.sampleIndex = 255;
    return;
  }
  if (type == MT_XM) {
    if (n > 95) n = 95;
    c.sampleIndex = in->noteTable ? in->noteTable[n] : 0;
  } else {
    if (n >= 120) n = 119;
    if (in->noteTable) {
      uint8_t note = in->noteTable[2 * n], smp = in->noteTable[2 * n + 1];
      if (note < 120) c.note = (uint8_t)((note / 12) << 4 | (note % 12));
      c.sampleIndex = smp;
    } else {
      c.sampleIndex = 0;
    }
  }
  if (c.sampleIndex >= in->sampleCount) c.sampleIndex = 255;
}

int32_t NewInstrument(PlayHandle* h, PlayChannel& c) {
  const uint32_t type = h->module->type;
  if (type == MT_MOD || type == MT_S3M) {
    c.instrument = c.newInstrument;
    InstrumentRecord* in = Instrument(h, c.instrument);
    c.sampleOffset = 0;
    if (!in || in->sampleCount == 0 || !in->samples || !in->samples[0]) {
      c.sampleIndex = 255;
      return TE_OK;
    }
    c.sampleIndex = 0;
    SetChannelVolume(h, c, (int32_t)in->samples[0]->volume);
    return in->samples[0]->handle ? P().dev->SetSample(DeviceChannel(c), in->samples[0]->handle) : TE_OK;
  }
  for (int e = 0; e < 3; e++) { c.envPos[e] = 0; c.envDone[e] = 0; }
  c.fadeout = type == MT_XM ? 65536 : 512;
  c.autoVibDepth = 0;
  c.autoVibPos = 0;
  c.keyOff = 0;
  const bool withNote = (c.flags & CF_NEW_NOTE) && c.note < NOTE_KEYOFF && !(c.command == CMD_TONE_PORTA && (c.flags & CF_COMMAND));
  if (withNote) {
    c.instrument = c.newInstrument;
    ChooseSample(h, c, Instrument(h, c.instrument));
  }
  SampleRecord* s = ChannelSample(h, c);
  if (!s) return TE_OK;
  SetChannelVolume(h, c, (int32_t)s->volume);
  int32_t err = TE_OK;
  if (type == MT_XM) {
    err = SetChannelPanning(h, c, s->panning);
  } else {
    InstrumentRecord* in = Instrument(h, c.instrument);
    if (in && in->defaultPan < 128) err = SetChannelPanning(h, c, in->defaultPan);
  }
  c.sampleOffset = 0;
  if (!err && withNote && s->handle) err = P().dev->SetSample(DeviceChannel(c), s->handle);
  return err;
}

void DecodeRow(PlayHandle* h) {
  const PatternRecord* p = Pattern(h);
  for (uint32_t i = 0; i < h->channels; i++) {
    PlayChannel& c = h->ch[i];
    c.flags = 0;
    c.command = 0;
    c.info = 0;
    c.volByte = 0;
  }
  if (!p || p->length <= 8) return;
  const uint8_t* d = p->data;
  const uint32_t size = p->length - 8;
  uint32_t o = 0;
  if (!h->rowValid) {
    for (int32_t r = 0; r < h->row && o < size; r++) {
      while (o < size && d[o]) {
        uint8_t f = d[o++];
        o += ((f & 0x20) ? 2 : 0) + ((f & 0x40) ? 1 : 0) + ((f & 0x80) ? 2 : 0);
      }
      o++;
    }
  } else {
    o = h->rowOffset;
  }
  while (o < size && d[o]) {
    uint8_t f = d[o++];
    uint32_t ch = f & 31;
    uint32_t need = ((f & 0x20) ? 2 : 0) + ((f & 0x40) ? 1 : 0) + ((f & 0x80) ? 2 : 0);
    if (o + need > size) { o = size; break; }
    PlayChannel* c = ch < h->channels ? &h->ch[ch] : nullptr;
    if (f & 0x20) {
      if (c && d[o] < 255) { c->note = c->patternNote = d[o]; c->flags |= CF_NEW_NOTE; }
      if (c && d[o + 1] < 255) { c->newInstrument = d[o + 1]; c->flags |= CF_NEW_INSTRUMENT; }
      o += 2;
    }
    if (f & 0x40) {
      if (c && d[o] != 80) { c->volByte = d[o]; c->flags |= CF_NEW_VOLUME; }
      o++;
    }
    if (f & 0x80) {
      if (c && d[o]) { c->command = d[o]; c->info = d[o + 1]; c->flags |= CF_COMMAND; }
      o += 2;
    }
  }
  h->rowOffset = o < size ? o + 1 : size;
  h->rowValid = 1;
}

int32_t PlayRow(PlayHandle* h) {
  const uint32_t type = h->module->type;
  if (h->patternDelay) {
    for (uint32_t i = 0; i < h->channels; i++) {
      PlayChannel& c = h->ch[i];
      if (c.command) {
        if (c.command >= 34) return TE_INVALID_PATTERN;
        if (int32_t err = RowCommand(h, c, c.command, c.info)) return err;
      }
    }
    int32_t err = PlayTick(h);
    h->patternDelay--;
    return err;
  }
  h->jumped = 0;
  DecodeRow(h);
  for (uint32_t i = 0; i < h->channels; i++) {
    PlayChannel& c = h->ch[i];
    int32_t err = TE_OK;
    if (c.flags & CF_NEW_INSTRUMENT) err = NewInstrument(h, c);
    if (!err && (c.flags & CF_NEW_VOLUME)) err = c.volByte > 64 ? VolumeColumnRow(h, c, c.volByte) : (SetChannelVolume(h, c, c.volByte), TE_OK);
    if (!err && (c.flags & CF_COMMAND)) {
      if (c.command >= 34) return TE_INVALID_PATTERN;
      c.info = ResolveInfo(h, c, c.command, c.info);
      err = RowCommand(h, c, c.command, c.info);
    }
    if (err) return err;
    if (!(c.flags & CF_NEW_NOTE)) {
      bool vib = type == MT_XM && ((c.command == CMD_VIBRATO || c.command == CMD_VIBRATO_VOLSLIDE) || (c.volByte >= 0xB0 && c.volByte <= 0xBF));
      if (!vib) c.curPeriod = c.basePeriod;
    } else {
      if ((type == MT_XM || type == MT_IT) && c.instrument >= 0 && c.note < NOTE_CUT) {
        InstrumentRecord* in = Instrument(h, c.instrument);
        ChooseSample(h, c, in);
        SampleRecord* s = ChannelSample(h, c);
        if (s && s->handle) {
          c.sampleOffset = 0;
          if ((err = P().dev->SetSample(DeviceChannel(c), s->handle))) return err;
        }
      }
      if ((err = StartNote(h, c))) return err;
    }
  }
  if (h->jumped) return TE_OK;
  h->row++;
  const PatternRecord* p = Pattern(h);
  uint32_t rows = p ? p->rows : 64;
  if ((uint32_t)h->row < rows) return TE_OK;
  h->row = 0;
  if (type == MT_S3M || type == MT_IT) h->patLoopRow = 0;
  AdvancePosition(h, false);
  return TE_OK;
}

// ---- envelopes and channel update ----

int32_t UpdateChannels(PlayHandle* h) {
  const uint32_t type = h->module->type;
  const uint64_t gm = (uint64_t)h->masterVolume * h->musicVolume;
  for (uint32_t i = 0; i < h->channels; i++) {
    PlayChannel& c = h->ch[i];
    const uint32_t dc = DeviceChannel(c);
    int32_t err;
    if (type == MT_MOD || type == MT_S3M) {
      c.finalVolume = (uint8_t)((gm * c.curVolume * c.channelVolume + 0x3FFFF) >> 18);
      if ((err = P().dev->SetVolume(dc, c.finalVolume))) return err;
      c.finalPeriod = c.curPeriod;
      if (c.finalPeriod) {
        uint32_t rate = PeriodToRateFor(h->module, c.finalPeriod);
        if ((err = P().dev->SetRate(dc, rate))) return err;
      }
      continue;
    }
    InstrumentRecord* in = Instrument(h, c.instrument);
    int64_t v = c.curVolume;
    if (in) {
      if (type == MT_XM) {
        v = (v * c.fadeout) >> 16;
        if (c.keyOff) {
          int64_t f = (int64_t)c.fadeout - 2 * (int64_t)in->fadeout;
          c.fadeout = f < 0 ? 0 : (uint32_t)f;
        }
      } else {
        v = (v * c.fadeout) >> 9;
        if (c.keyOff) {
          int64_t f = (int64_t)c.fadeout - (int64_t)in->fadeout;
          c.fadeout = f < 0 ? 0 : (uint32_t)f;
        }
      }
      if (in->volEnv) {
        v = ((int64_t)EnvelopeValue(in->volEnv, &c.envPos[0], &c.envDone[0], c.keyOff) * v) >> 14;
        v = v < 0 ? 0 : v > 64 ? 64 : v;
      }
    }
    int64_t fv = ((int64_t)gm * c.channelVolume * v + 0x3FFFF) >> 18;
    c.finalVolume = (uint8_t)(fv < 0 ? 0 : fv > 64 ? 64 : fv);
    if ((err = P().dev->SetVolume(dc, c.finalVolume))) return err;
    int32_t p = c.panning;
    if (type == MT_XM) {
      if (in && in->panEnv) {
        int32_t e = EnvelopeValue(in->panEnv, &c.envPos[1], &c.envDone[1], c.keyOff);
        p += ((e >> 8) - 32) * (p < 128 ? p : 256 - p) / 32;
        p = p < 0 ? 0 : p > 255 ? 255 : p;
      }
      int32_t dp = (p - 128) / 2;
      c.finalPanning = dp < -64 ? -64 : dp > 64 ? 64 : dp;
      if ((err = P().dev->SetPanning(dc, c.finalPanning))) return err;
      int64_t fp = c.curPeriod;
      if (in && in->vibDepth) {
        if (in->vibSweep) {
          if (!c.keyOff) {
            c.autoVibDepth += ((uint32_t)in->vibDepth << 8) / in->vibSweep;
            if (c.autoVibDepth > ((uint32_t)in->vibDepth << 8)) c.autoVibDepth = (uint32_t)in->vibDepth << 8;
          }
        } else {
          c.autoVibDepth = (uint32_t)in->vibDepth << 8;
        }
        c.autoVibPos = (uint8_t)(c.autoVibPos + in->vibRate);
        fp += ((int64_t)c.autoVibDepth * AutoVibratoWave(in->vibType, c.autoVibPos)) >> 14;
        if (fp < h->minPeriod) fp = h->minPeriod;
        if (fp > h->maxPeriod) fp = h->maxPeriod;
      }
      c.finalPeriod = (uint32_t)fp;
      if (in && c.finalPeriod && c.curPeriod) {
        if ((err = P().dev->SetRate(dc, PeriodToRateFor(h->module, c.finalPeriod)))) return err;
      }
    } else {
      if (in && in->panEnv) {
        int32_t e = EnvelopeValue(in->panEnv, &c.envPos[1], &c.envDone[1], c.keyOff);
        p += ((e >> 8) - 32) * (p < 32 ? p : 64 - p) / 32;
        p = p < 0 ? 0 : p > 64 ? 64 : p;
      }
      c.finalPanning = p * 2 - 64;
      if ((err = P().dev->SetPanning(dc, c.finalPanning))) return err;
      c.finalPeriod = c.curPeriod;
      if (c.finalPeriod) {
        if ((err = P().dev->SetRate(dc, PeriodToRateFor(h->module, c.finalPeriod)))) return err;
      }
    }
  }
  return TE_OK;
}

}  // namespace

// ---- tables and pitch rules ----

uint32_t ModPeriodTable(uint32_t finetune, uint32_t semitone) {
  if (finetune > 15 || semitone > 11) return 0;
  if (finetune == 0) return kSemitone[semitone];
  return 2u * kPT[finetune][semitone];
}

uint32_t XmLinearTable(uint32_t i) {
  BuildTables();
  return i < 768 ? Tables().linear[i] : 0;
}

int32_t AutoVibratoWave(uint32_t type, uint8_t pos) {
  BuildTables();
  auto mod128 = [](int32_t x) { return ((x % 128) + 128) % 128; };
  switch (type) {
    case 1: return pos > 127 ? 64 : -64;
    case 2: return mod128((pos >> 1) + 64) - 64;
    case 3: return mod128(-64 - (pos >> 1)) - 64;
    default: return Tables().sine[pos];
  }
}

uint32_t NoteToPeriodFor(const ModuleRecord* m, const SampleRecord* s, uint8_t note) {
  BuildTables();
  const uint32_t oct = note >> 4, semi = note & 15;
  if (semi > 11 || !s) return 0;
  switch (m->type) {
    case MT_MOD:
      return ModPeriodTable((uint32_t)s->finetune & 15, semi) >> oct;
    case MT_S3M: {
      uint64_t c2 = s->relNote > 0 ? (uint64_t)s->relNote : 8363;
      return (uint32_t)(((uint64_t)kSemitone[semi] * 133808 / c2) >> oct);
    }
    case MT_XM: {
      int32_t n = s->relNote + (int32_t)(oct * 12 + semi);
      n = n < 0 ? 0 : n > 118 ? 118 : n;
      if (m->flags & MF_LINEAR) {
        int32_t p = (120 - n) * 64 - s->finetune / 2;
        return p > 0 ? (uint32_t)p : 1;
      }
      const int32_t st = n % 12, no = n / 12;
      const int32_t ft = s->finetune;
      const int32_t f = ft / 16, frac = (ft < 0 ? -ft : ft) % 16;
      auto entry = [](int32_t i) -> int64_t {
        i = i < -8 ? -8 : i > 96 ? 96 : i;
        return Tables().xmAmiga[i + 8];
      };
      int64_t a = entry(st * 8 + f);
      int64_t b = entry(ft < 0 ? st * 8 + f - 1 : st * 8 + f + 1);
      return (uint32_t)(((b * frac + a * (16 - frac)) * 2) >> no);
    }
    case MT_IT: {
      uint64_t c5 = s->relNote > 0 ? (uint64_t)s->relNote : 8363;
      return (uint32_t)(((uint64_t)kSemitone[semi] * kItPeriodConstant / c5) >> oct);
    }
    default:
      return 0;
  }
}

uint32_t PeriodToRateFor(const ModuleRecord* m, uint32_t period) {
  BuildTables();
  if (!period) return 0;
  switch (m->type) {
    case MT_MOD: return 3546895u / period;
    case MT_XM:
      if (m->flags & MF_LINEAR) {
        uint32_t shift = period / 768;
        return shift >= 32 ? 0 : Tables().linear[period % 768] >> shift;
      }
      return 14317456u / period;
    default: return 14317056u / period;
  }
}

int32_t EnvelopeValue(const EnvelopeRecord* env, uint32_t* position, uint8_t* done, int32_t keyOff) {
  const uint32_t n = env->points > 25 ? 25 : env->points;
  if (n == 0) return 64 * 256;
  auto idx = [n](uint8_t i) -> int32_t { return i < n ? i : -1; };
  const uint32_t pos = *position;
  uint32_t k = 0;
  while (k < n && env->tick[k] < pos) k++;
  if (k == n) k = n - 1;
  int32_t value;
  if (env->tick[k] == pos || k == 0 || env->tick[k] <= env->tick[k - 1] || pos > env->tick[k]) {
    value = env->value[k] * 256;
  } else {
    int32_t a = env->value[k - 1], b = env->value[k];
    int32_t ta = env->tick[k - 1], tb = env->tick[k];
    value = a * 256 + ((b - a) * 256 / (tb - ta)) * ((int32_t)pos - ta);
  }
  if (*done) return value;
  const int32_t sus = idx(env->sustain), ls = idx(env->loopStart), le = idx(env->loopEnd);
  const int32_t ss = idx(env->sustainStart), se = idx(env->sustainEnd);
  if (sus >= 0 && !keyOff && pos == env->tick[sus]) {
    *done = 1;
    return value;
  }
  uint32_t p = pos;
  if (p < env->tick[n - 1]) p++;
  if (le >= 0 && ls >= 0 && p >= env->tick[le] && env->tick[ls] < env->tick[le]) p = env->tick[ls];
  if (se >= 0 && ss >= 0 && !keyOff && p == env->tick[se]) p = env->tick[ss];
  else if (se < 0 && sus >= 0 && !keyOff && p == env->tick[sus]) *done = 1;
  *position = p;
  return value;
}

// ---- public player calls ----

int32_t PlayerInit(SoundDevice* device) {
  BuildTables();
  P().dev = device;
  for (auto& s : P().slots) s = nullptr;
  P().init = 1;
  P().setup = 0;
  P().tempoHook = nullptr;
  return PlayerSetTempo(nullptr, 125);
}

int32_t PlayerSetTempo(PlayHandle* h, uint32_t bpm) {
  if (bpm == 0) return TE_OK;
  if (h) h->tempo = bpm;
  int32_t err = P().dev->SetUpdateRate(bpm * 40);
  if (P().tempoHook) P().tempoHook(bpm);
  return err;
}

void PlayerSetTempoHook(void (*hook)(uint32_t bpm)) { P().tempoHook = hook; }

int32_t PlayerClose() {
  for (auto& s : P().slots)
    if (s) PlayerStopSong(s);
  P().init = 0;
  return TE_OK;
}

int32_t PlayerIsInitialised() { return P().init; }

int32_t PlayerStartSong(ModuleRecord* m, int32_t start, int32_t end, int32_t restart, int32_t loop,
                        int32_t channels, const uint32_t* channelNumbers, PlayHandle** handle) {
  if (!m || !m->songLength || !m->orders || !P().dev) return TE_INVALID_ARGS;
  int slot = -1;
  for (int i = 15; i >= 0 && slot < 0; i--)
    if (!P().slots[i]) slot = i;
  if (slot < 0) return TE_RESOURCES;
  const uint32_t n = channels < 0 ? m->channels : (uint32_t)channels;
  if (n == 0 || n > 32) return TE_INVALID_ARGS;
  P().setup = 1;
  void* p = nullptr;
  int32_t err = MemAlloc(sizeof(PlayHandle), &p);
  if (err) { P().setup = 0; return err; }
  PlayHandle* h = static_cast<PlayHandle*>(p);
  std::memset(h, 0, sizeof *h);
  if ((err = MemAlloc(sizeof(PlayChannel) * n, &p))) { MemFree(h); P().setup = 0; return err; }
  h->ch = static_cast<PlayChannel*>(p);
  std::memset(h->ch, 0, sizeof(PlayChannel) * n);
  h->slot = (uint32_t)slot;
  h->module = m;
  h->channels = n;
  h->tempo = m->tempo;
  h->speed = m->speed ? m->speed : 6;
  h->masterVolume = m->masterVolume > 64 ? 64 : m->masterVolume;
  h->musicVolume = 64;
  h->loopFlag = loop;
  h->lastSync = -1;
  const int32_t len = (int32_t)m->songLength;
  if (start < 0) {
    h->position = 0;
    h->lastPosition = len - 1;
    h->restart = (int32_t)m->restart;
  } else {
    h->position = start < len ? start : len - 1;
    h->lastPosition = end < 0 || end >= len ? len - 1 : end;
    h->restart = restart < 0 ? (int32_t)m->restart : restart;
  }
  if (h->restart >= len || h->restart < 0) h->restart = 0;
  switch (m->type) {
    case MT_MOD:
      h->shift = 0; h->maxVolume = 64;
      h->minPeriod = (m->flags & MF_EXT_OCTAVES) ? 28 : 113;
      h->maxPeriod = (m->flags & MF_EXT_OCTAVES) ? 1712 : 856;
      break;
    case MT_S3M:
      h->shift = 2; h->maxVolume = 63;
      h->minPeriod = (m->flags & MF_AMIGA_LIMITS) ? 452 : 64;
      h->maxPeriod = (m->flags & MF_AMIGA_LIMITS) ? 3424 : 32767;
      break;
    case MT_XM:
      h->shift = 2; h->maxVolume = 64; h->minPeriod = 57; h->maxPeriod = 54784;
      break;
    default:
      h->shift = 2; h->maxVolume = 64; h->minPeriod = 64; h->maxPeriod = (1u << 24) - 1;
      break;
  }
  for (uint32_t i = 0; i < n; i++) {
    PlayChannel& c = h->ch[i];
    c.instrument = c.newInstrument = -1;
    c.sampleIndex = c.note = c.lastNote = 255;
    c.soundChannel = (uint8_t)channelNumbers[i];
    c.volume = c.curVolume = c.channelVolume = 64;
    if (m->type == MT_S3M) c.volume = c.curVolume = 63;
    c.fadeout = m->type == MT_IT ? 512 : 65536;
    if ((err = SetChannelPanning(h, c, m->panning && i < m->channels ? (int32_t)m->panning[i] : 64))) break;
  }
  SetSongPosition(h, h->position);
  if (!err) err = PlayerSetTempo(h, h->tempo ? h->tempo : 125);
  if (err) {
    MemFree(h->ch);
    MemFree(h);
    P().setup = 0;
    return err;
  }
  P().slots[slot] = h;
  *handle = h;
  P().setup = 0;
  return TE_OK;
}

int32_t PlayerStopSong(PlayHandle* h) {
  if (!h) return TE_INVALID_ARGS;
  if (h->slot < 16 && P().slots[h->slot] == h) P().slots[h->slot] = nullptr;
  MemFree(h->ch);
  MemFree(h);
  return TE_OK;
}

int32_t PlayerSetMusicVolume(PlayHandle* h, uint32_t volume) {
  if (!h) return TE_INVALID_ARGS;
  h->musicVolume = (uint8_t)volume;
  return TE_OK;
}

int32_t PlayerPlay() {
  if (P().setup) return TE_OK;
  for (PlayHandle* h : P().slots) {
    if (!h || h->stalled) continue;
    if (h->loopCounter != 0 && !h->loopFlag) continue;
    h->tick++;
    int32_t err;
    if (h->speed > h->tick) {
      err = PlayTick(h);
    } else {
      h->tick = 0;
      err = PlayRow(h);
    }
    if (!err) err = UpdateChannels(h);
    if (err) return err;
  }
  return TE_OK;
}

int32_t PlayerFreeModule(ModuleRecord* m) {
  if (!m) return TE_INVALID_ARGS;
  int32_t first = TE_OK;
  auto keep = [&first](int32_t e) { if (e && !first) first = e; };
  if (m->panning) MemFree(m->panning);
  if (m->orders) MemFree(m->orders);
  if (m->instruments) {
    for (uint32_t i = 0; i < m->instrumentCount; i++) {
      InstrumentRecord* in = m->instruments[i];
      if (!in) continue;
      if (in->noteTable) MemFree(in->noteTable);
      if (in->volEnv) MemFree(in->volEnv);
      if (in->panEnv) MemFree(in->panEnv);
      if (in->pitchEnv) MemFree(in->pitchEnv);
      if (in->samples) MemFree(in->samples);
      MemFree(in);
    }
    MemFree(m->instruments);
  }
  if (m->samples) {
    for (uint32_t i = 0; i < m->sampleCount; i++) {
      SampleRecord* s = m->samples[i];
      if (!s) continue;
      if (s->handle && dmixIsOpen()) keep(dmixRemoveSample(s->handle));
      if (s->data) MemFree(s->data);
      MemFree(s);
    }
    MemFree(m->samples);
  }
  if (m->patterns) {
    for (uint32_t i = 0; i < m->patternCount; i++)
      if (m->patterns[i]) MemFree(m->patterns[i]);
    MemFree(m->patterns);
  }
  MemFree(m);
  return first;
}
