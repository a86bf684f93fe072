// The sound page of the options. See optionen.h.
#include "screens/hub/optionen.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textentry.h"
#include "routinen/system/version.h"
#include "screens/common/screenbase.h"
#include "screens/hub/option2.h"

namespace {

constexpr uint32_t kPicture = 133, kNotchGfx = 354, kCdTrack = 4;
constexpr uint32_t kNotchWidth = 32, kNotchHeight = 18;
constexpr char kModule[] = ".\\Mods\\QoEMain.XM";
const char* const kSwitchIds[kSoundSwitches] = {"BU00", "BU01", "BU02", "BU03", "BU04", "BU05", "BU06", "BU07"};
const char* const kFieldIds[kSoundFields] = {"ST00", "ST01", "ST02", "ST03", "ST04"};

bool Has(uint32_t mask, uint32_t bit) { return (mask & bit) != 0; }

void LogSoundbits(uint32_t m) {
  static const char* const kLines[kSoundSwitches] = {"AHI ?        : %s\n", "WAVETABLE ?  : %s\n",
                                                     "CDROMSOUND ? : %s\n", "DIGIBOOSTER ?: %s\n",
                                                     "SOUNDFX ?    : %s\n", "MUSIC ?      : %s\n",
                                                     "CD_VOLUME ?  : %s\n", "SFX_VOLUME ? : %s\n"};
  for (uint32_t n = 0; n < kSoundSwitches; ++n) DebugLog(kLines[n], Has(m, 1u << n) ? "yes" : "no");
}

void Say(uint32_t catalog) { ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(catalog), 7); }

// The client's version text: the version string from its "'" up to the "(".
void VersionText(char* out, size_t size) {
  const char* from = std::strchr(kClientVersionString, '\'');
  const char* to = from ? std::strchr(from, '(') : nullptr;
  if (!from || !to) from = to = kClientVersionString;
  while (to > from && to[-1] == ' ') --to;
  std::snprintf(out, size, "%.*s", static_cast<int>(to - from), from);
}

// The stored value of field n as its text.
void StoredFieldText(uint32_t n, char* out, size_t size) {
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  switch (n) {
    case 0: std::snprintf(out, size, "%s", o.cd_device); break;
    case 1: std::snprintf(out, size, "%u", static_cast<unsigned>(o.cd_unit)); break;
    case 2: std::snprintf(out, size, "%u", static_cast<unsigned>(o.audio2)); break;
    case 3: std::snprintf(out, size, "0x%X", static_cast<unsigned>(o.audio3)); break;
    default: std::snprintf(out, size, "%u", static_cast<unsigned>(o.audio4)); break;
  }
}

void ResetField(SoundOptionsData* d, uint32_t n, bool draw) {
  char text[48];
  StoredFieldText(n, text, sizeof text);
  SetOptionFieldText(&d->fields[n], GetLayoutEntry(d->region, n), d->formFont, text);
  if (draw) DrawOptionField(&d->fields[n], GetLayoutEntry(d->region, n), d->formFont);
}

void StopEditing(SoundOptionsData* d) {
  StopTextCursor(d->cursor);
  d->cursor = nullptr;
  d->active = -1;
}

// The track of slider n, null when it is missing or has no width (logged
// when the layout is loaded).
const SliderTrack* Track(const SoundOptionsData* d, uint32_t n) {
  const SliderTrack* t = GetLayoutSlider(d->region, n);
  return t && t->x2 > t->x1 ? t : nullptr;
}

uint8_t* VolumeByte(uint32_t slider) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  return slider == 0 ? &o.cd_volume : &o.sfx_volume;
}

// After a switch changed the mask: the sound restarted with it. 0 when the
// sound cannot be restarted.
int32_t RestartSound(const SoundOptionsData* d) {
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  ExitSound();
  DebugLog("Soundbits    : \n");
  LogSoundbits(d->mask);
  // A mask of 0 would mean "the options' mask" to SoundMaske: WAVETABLE,
  // which no machine offers, keeps everything silent instead.
  if (!SoundMaske(d->mask ? d->mask : SOUND_WAVETABLE, kModule)) {
    DebugLog("AHI-Switch: InitSoundEnv() failed!\n");
    return 0;
  }
  if (!IsCD(o.cd_device, o.cd_unit)) StopCD(o.cd_device, o.cd_unit);
  PlayScreenCdTrack(kCdTrack);
  return 1;
}

// Switch n pressed: the rules, the messages, the options' drive for the CD,
// the marks. 1 when the mask changed.
int32_t PressSwitch(SoundOptionsData* d, uint32_t n) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  const uint32_t bit = 1u << n;
  int32_t cd_present = 0;
  uint32_t unit = 0;
  if (n == 2) {
    DebugLog("CD-Button %u\n", n);
    DebugLog("SCS-Device %s\n", d->fields[0].text);
    DebugLog("SCS-Unit %s\n", d->fields[1].text);
    const bool unit_ok = ParseSoundField(1, d->fields[1].text, &unit);
    cd_present = !Has(d->mask, bit) && unit_ok && IsCD(d->fields[0].text, unit);
  } else if (n == 5) {
    cd_present = IsCD(o.cd_device, o.cd_unit);
  } else if (n == 4) {
    DebugLog("Sound Bits Value:%u SFX Bit Nummer im Feld:%u\n", d->mask, n);
  }
  const uint32_t old = d->mask;
  const SoundSwitchOutcome out = SoundSwitchRule(d->mask, QoESystemPtr->SoundCapabilities.load(), cd_present, n);
  QoESystemPtr->SoundCapabilities.store(out.caps);
  if (n == 2 && cd_present) {
    std::memset(o.cd_device, 0, sizeof o.cd_device);
    std::memcpy(o.cd_device, d->fields[0].text, std::strlen(d->fields[0].text) < 39 ? std::strlen(d->fields[0].text) : 39);
    o.cd_unit = static_cast<uint16_t>(unit);
  }
  if (out.message) Say(out.message);
  d->mask = out.mask;
  for (uint32_t k = 0; k < kSoundSwitches; ++k)
    if (Has(old ^ d->mask, 1u << k)) DrawSoundSwitch(d, k);
  return old != d->mask;
}

}  // namespace

SoundSwitchOutcome SoundSwitchRule(uint32_t mask, uint32_t caps, int32_t cd_present, uint32_t n) {
  SoundSwitchOutcome r{mask, caps, 0};
  const uint32_t bit = n < 32 ? 1u << n : 0;
  switch (bit) {
    case SOUND_16BIT:
      if (!Has(caps, SOUND_16BIT)) {
        r.message = 787;
        break;
      }
      r.mask ^= SOUND_16BIT;
      if (!Has(r.mask, SOUND_16BIT) && Has(r.mask, SOUND_MUSIC)) {
        r.message = 786;
        r.mask &= ~(SOUND_MUSIC | SOUND_FASTTRACKER);
      }
      break;
    case SOUND_WAVETABLE:
      r.message = 788;
      break;
    case SOUND_CDROM:
      if (!Has(mask, SOUND_CDROM) && !cd_present) {
        r.caps &= ~SOUND_CDROM;
        r.message = 789;
        break;
      }
      if (!Has(mask, SOUND_CDROM)) {
        r.caps |= SOUND_CDROM;
        r.mask = (r.mask | SOUND_CDROM | SOUND_MUSIC) & ~SOUND_FASTTRACKER;
      } else {
        r.mask &= ~(SOUND_CDROM | SOUND_CD_VOLUME);
      }
      break;
    case SOUND_FASTTRACKER:
      if (!Has(mask, SOUND_16BIT)) {
        r.message = 790;
        break;
      }
      r.mask |= SOUND_MUSIC;
      r.mask ^= SOUND_FASTTRACKER;
      if (Has(r.mask, SOUND_FASTTRACKER)) r.mask &= ~SOUND_CDROM;
      break;
    case SOUND_SOUNDFX:
      r.mask ^= SOUND_SOUNDFX;
      if (!Has(r.mask, SOUND_SOUNDFX)) r.mask &= ~SOUND_SFX_VOLUME;
      break;
    case SOUND_MUSIC:
      if (Has(mask, SOUND_FASTTRACKER) || Has(mask, SOUND_CDROM)) {
        r.mask ^= SOUND_MUSIC;
        if (Has(r.mask, SOUND_MUSIC) && !Has(mask, SOUND_FASTTRACKER) && cd_present) {
          r.caps |= SOUND_CDROM;
          r.mask |= SOUND_CDROM;
        }
      } else if (Has(mask, SOUND_MUSIC)) {
        r.mask &= ~SOUND_MUSIC;
      } else {
        r.message = 791;
      }
      break;
    case SOUND_CD_VOLUME:
    case SOUND_SFX_VOLUME:
      r.mask ^= bit;
      break;
    default:
      break;
  }
  return r;
}

uint32_t SoundWorkingMask(uint32_t status, uint32_t options_mask) {
  constexpr uint32_t kVolumes = SOUND_CD_VOLUME | SOUND_SFX_VOLUME;
  return (status & 63u) | (options_mask & kVolumes);
}

uint32_t SoundMaskToStore(uint32_t wish, uint32_t start, uint32_t mask, uint32_t caps) {
  if (caps & SOUND_16BIT) return mask;
  const uint32_t changed = start ^ mask;
  return (wish & ~changed) | (mask & changed);
}

int32_t ParseSoundField(uint32_t n, const char* text, uint32_t* value) {
  if (n < 1 || n > 4 || !text) return 0;
  int base = 10;
  if (n == 3 && (text[0] == '0') && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text += 2;
  }
  if (!*text) return 0;
  for (const char* p = text; *p; ++p)
    if (base == 10 ? !(*p >= '0' && *p <= '9') : !std::isxdigit(static_cast<unsigned char>(*p))) return 0;
  errno = 0;
  char* end = nullptr;
  const unsigned long long v = std::strtoull(text, &end, base);
  if (errno || *end) return 0;
  const unsigned long long limit = n <= 2 ? 0xFFFFull : 0xFFFFFFFFull;
  if (v > limit) return 0;
  *value = static_cast<uint32_t>(v);
  return 1;
}

int32_t NotchX(int32_t start, int32_t end, uint32_t volume) {
  if (volume > 100) volume = 100;
  return start + (end - start - 7) * static_cast<int32_t>(volume) / 100;
}

int32_t VolumeAt(int32_t start, int32_t end, int32_t mouse_x) {
  if (end <= start) return -1;
  int32_t v = (mouse_x - start) * 100 / (end - start);
  if (v < 0) v = 0;
  if (v > 100) v = 100;
  return v;
}

void DrawSoundSwitch(SoundOptionsData* d, uint32_t n) { DrawOptionLamp(d->region, n, Has(d->mask, 1u << n)); }

void VisualizeNotch(SoundOptionsData* d, uint32_t slider) {
  const SliderTrack* t = slider < kSoundSliders ? Track(d, slider) : nullptr;
  if (!t) return;
  if (d->notchBackground[slider]) {
    RestoreBackground(d->notchBackground[slider], d->notchX[slider], d->notchY[slider], kNotchWidth, kNotchHeight);
    d->notchBackground[slider] = nullptr;
  }
  const int32_t x = NotchX(t->x1, t->x2, *VolumeByte(slider)), y = t->y1;
  d->notchBackground[slider] = SaveBackground(x, y, kNotchWidth, kNotchHeight);
  if (!d->notchBackground[slider]) {
    DebugLog("VisualizeNotch: Kann KornRequester nicht initialisieren !\n");
    return;
  }
  d->notchX[slider] = x;
  d->notchY[slider] = y;
  RastPort* rp = ScreenRastPort();
  BlitObjektMask(rp, kNotchGfx, 0, x, y, 0, 0);
  ShowScreenRect(rp, x, y, kNotchWidth, kNotchHeight);
}

void SetVolumeFromSlider(SoundOptionsData* d, uint32_t slider) {
  const SliderTrack* t = slider < kSoundSliders ? Track(d, slider) : nullptr;
  if (!t) return;
  const int32_t v = VolumeAt(t->x1, t->x2, GetMouseX());
  if (v < 0) return;
  *VolumeByte(slider) = static_cast<uint8_t>(v);
  if (slider == 0) SetCDVolume(static_cast<uint8_t>(v));
  else SetSfxVolume(static_cast<uint32_t>(v * 8 / 100) << 16);
  VisualizeNotch(d, slider);
}

int32_t LoadOptionenScreenGfx(SoundOptionsData* d) {
  d->notch = OpenElmorGfx(".\\Data\\Path", kNotchGfx) == 1;
  if (!d->notch) DebugLog("LoadKornLagerGfx : Konnte Grafik nicht \xF6" "ffnen!\n");
  return d->notch;
}

void CloseOptionenScreenGfx(SoundOptionsData* d) {
  if (d->notch) CloseElmorGfx(kNotchGfx);
  d->notch = 0;
}

void Soundbits(SoundOptionsData* d) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  if (d->titleFont) SetFont(rp, d->titleFont);
  DrawOptionLabels(d->region);
  // The version text stands in the page's label without a text.
  for (uint32_t n = 0;; ++n) {
    const TextArea* a = GetLayoutLabel(d->region, n);
    if (!a) break;
    if (a->text && a->text[0]) continue;
    char version[64];
    VersionText(version, sizeof version);
    PrintTextOutlined(rp, a->x1, a->y1, a->x2, a->y2, version, 0, kOptionTextPen, PTO_BASELINE);
    ShowScreenRect(rp, a->x1, a->y1, a->x2 - a->x1 + 1, a->y2 - a->y1 + 1);
    break;
  }
  for (uint32_t n = 0; n < kSoundFields; ++n) DrawOptionField(&d->fields[n], GetLayoutEntry(d->region, n), d->formFont);
  d->mask = SoundWorkingMask(QoESystemPtr->SoundStatus.load(), QoESystemPtr->Optionen.sound_optionen);
  d->startMask = d->mask;
  DebugLog("Soundbits    :\n");
  LogSoundbits(d->mask);
  for (uint32_t n = 0; n < kSoundSwitches; ++n) DrawSoundSwitch(d, n);
  for (uint32_t s = 0; s < kSoundSliders; ++s) VisualizeNotch(d, s);
}

void StoreSoundFields(SoundOptionsData* d) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  o.sound_optionen = SoundMaskToStore(o.sound_optionen, d->startMask, d->mask, QoESystemPtr->SoundCapabilities.load());
  std::memset(o.cd_device, 0, sizeof o.cd_device);
  const size_t len = std::strlen(d->fields[0].text);
  std::memcpy(o.cd_device, d->fields[0].text, len < 39 ? len : 39);
  for (uint32_t n = 1; n < kSoundFields; ++n) {
    uint32_t v = 0;
    if (!ParseSoundField(n, d->fields[n].text, &v)) {
      DebugLog("OptionScreen: Feld %u <%s> abgelehnt\n", n, d->fields[n].text);
      ResetField(d, n, true);
      continue;
    }
    switch (n) {
      case 1: o.cd_unit = static_cast<uint16_t>(v); break;
      case 2: o.audio2 = static_cast<uint16_t>(v); break;
      case 3: o.audio3 = v; break;
      default: o.audio4 = v; break;
    }
  }
}

void ActivateSoundField(SoundOptionsData* d) {
  if (d->active < 0 || d->active >= static_cast<int32_t>(kSoundFields)) return;
  const auto n = static_cast<uint32_t>(d->active);
  d->cursor = ActivateOptionField(&d->fields[n], GetLayoutEntry(d->region, n), d->formFont, d->cursor);
}

int32_t OptionenScreen(int32_t) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "OptionScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<SoundOptionsData*>(AllocVec(sizeof(SoundOptionsData), MEMF_PUBLIC | MEMF_CLEAR));
  auto finish = [&](int32_t next) {
    if (d) {
      StopTextCursor(d->cursor);
      CloseOptionenScreenGfx(d);
      for (uint32_t s = 0; s < kSoundSliders; ++s)
        if (d->notchBackground[s]) FreeBitMap(d->notchBackground[s]);
      CloseOptionLamps(&d->lamps);
      if (d->formFont) CloseFont(d->formFont);
    }
    FreeVec(d);
    CloseScreenBase(&base, next == -1 ? 0 : 1);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return finish(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "OptionScreen: Kein Speicher f\xFCr locale Daten!\n");
  d->active = -1;
  d->formFont = OpenDiskFont("fonts\\xhelvetica11.fnt");
  if (!d->formFont) return fail(SCREEN_STEP_FONT, "OptionScreen: Konnte Font nicht laden!\n");
  if (!OpenScreenFont(&base, "fonts\\elmorc1.fnt"))
    return fail(SCREEN_STEP_FONT, "OptionenScreen: Konnte Elmor-Font nicht \xF6" "ffnen !\n");
  if (const uint32_t step = OpenOptionPage(&base, &d->lamps, "OptionenScreen", "OptionenScreen",
                                           ".\\Data\\Screendat\\Optionen0.dat", 411))
    return fail(step, nullptr);
  d->region = base.region;
  d->titleFont = base.font;
  for (uint32_t s = 0; s < kSoundSliders; ++s) {
    const SliderTrack* t = GetLayoutSlider(d->region, s);
    if (t && t->x2 <= t->x1) DebugLog("OptionenScreen: Schieber %u ohne Breite (%u..%u)\n", s, t->x1, t->x2);
  }
  for (uint32_t n = 0; n < kSoundFields; ++n) ResetField(d, n, false);
  if (!LoadOptionenScreenGfx(d)) {
    // Without the notch the page cannot be used; the player goes back.
    DebugLog("OptionenScreen: Konnte Grafiken nicht laden\n");
    return OptionPagesNext(finish(SCREEN_MAIN));
  }
  Soundbits(d);
  ShowScreenBase(&base);

  int32_t next = -1;
  bool sound_failed = false;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, 6, &event);
    if (!g) continue;
    int32_t sw = -1, field = -1;
    for (uint32_t n = 0; n < kSoundSwitches; ++n)
      if (GadgetIs(g, kSwitchIds[n])) sw = static_cast<int32_t>(n);
    for (uint32_t n = 0; n < kSoundFields; ++n)
      if (GadgetIs(g, kFieldIds[n])) field = static_cast<int32_t>(n);
    if (sw >= 0) {
      if (PressSwitch(d, static_cast<uint32_t>(sw)) && !RestartSound(d)) {
        sound_failed = true;
        break;
      }
    } else if (field >= 0) {
      d->active = field;
      ActivateSoundField(d);
    } else if (GadgetIs(g, "SL00") || GadgetIs(g, "SL01")) {
      const uint32_t s = GadgetIs(g, "SL00") ? 0 : 1;
      if (Has(d->mask, s == 0 ? SOUND_CD_VOLUME : SOUND_SFX_VOLUME)) SetVolumeFromSlider(d, s);
    } else if (GadgetIs(g, "KEY!")) {
      OptionFormKey(d->fields, kSoundFields, d->region, d->formFont, &d->cursor, &d->active, g->keyCode);
    } else if (GadgetIs(g, "INFO")) {
      StopEditing(d);
      TextBox(GetCatalogStr(792));
    } else if (GadgetIs(g, "OKOK") || GadgetIs(g, "NEXT") || GadgetIs(g, "PREV")) {
      StopEditing(d);
      StoreSoundFields(d);
      next = GadgetIs(g, "NEXT") ? 134 : GadgetIs(g, "PREV") ? 1141 : SCREEN_MAIN;
      if (GadgetIs(g, "OKOK") && !OptionenPrefsSave(&o))
        DebugLog("OptionScreen: Fehler beim Speichern der OptionenPrefs!\n");
    } else if (GadgetIs(g, "EXIT")) {
      next = SCREEN_MAIN;
    }
  } while (ScreenBaseStays(&next, SCREEN_MAIN));
  if (sound_failed) return finish(-1);
  return OptionPagesNext(finish(next));
}
