// The common screen skeleton (see screenbase.h).
#include "screenbase.h"

#include <cstring>
#include <string>

#include "platform/log.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/catalog.h"
#include "routinen/system/input.h"
#include "routinen/system/sysrecords.h"

namespace {

// The message of a screen that cannot start: catalog text with the step's
// text for its %s, in the boxes' text pen.
constexpr uint32_t kScreenFailedText = 1570, kScreenFailedPen = 7;
constexpr uint32_t kBoxPicture = 66;

}  // namespace

int32_t OpenScreenPicture(ScreenBase* base, uint32_t id, uint32_t flags) {
  std::memset(base, 0, sizeof *base);
  if (OpenElmorPic(".\\Data\\Path", id, flags) == -1) return 0;
  base->pictureId = id;
  base->shown = (flags & 1) == 0;
  return 1;
}

int32_t OpenScreenLayout(ScreenBase* base, const char* path, uint32_t mask) {
  base->region = GetScreenRegion(path, mask);
  return base->region != nullptr;
}

int32_t OpenScreenFont(ScreenBase* base, const char* path) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return 0;
  base->font = OpenDiskFont(path);
  if (!base->font) return 0;
  base->oldFont = rp->Font;
  SetFont(rp, base->font);
  return 1;
}

int32_t OpenScreenMovies(ScreenBase* base, const ScreenMovieSpec* table, uint32_t count) {
  base->movieBase = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
  if (!base->movieBase) return 0;
  if (count > kScreenMaxMovies) count = kScreenMaxMovies;
  base->movieCount = count;
  for (uint32_t i = 0; i < count; ++i) {
    Movie* m = LoadMovie(base->movieBase, table[i].path, 0, 0);
    if (!m) continue;  // a missing movie leaves its place still
    StartMovie(base->movieBase, m, table[i].x, table[i].y, table[i].flags, table[i].fps);
    base->movies[i] = m;
  }
  return 1;
}

void ShowScreenBase(ScreenBase* base) {
  if (base->region) RestoreMouseGadgets(nullptr, base->region);
  StartTheTransition();
  base->shown = 1;
}

void ScreenStartFailed(ScreenBase* base, uint32_t step, const char* log_line) {
  if (log_line) DebugLog("%s", log_line);
  if (WindowCloseRequested()) return;
  if (base && base->pictureId && !base->shown) {
    StartTheTransition();
    base->shown = 1;
  }
  // No picture of its own: not a picture held from before that was never
  // shown either (the map's, built in advance), where the box would be
  // drawn unseen.
  if (!base || !base->pictureId) ShowScreenWithoutPicture();
  WaitTransition();  // the box is drawn over a finished picture
  if (base) PauseScreenMovies(base, 1);
  // The catalog's text is no format: only its first "%s" takes the step.
  const std::string frame = GetCatalogStr(kScreenFailedText);
  std::string text = frame;
  const size_t at = frame.find("%s");
  if (at != std::string::npos) text = frame.substr(0, at) + GetCatalogStr(step) + frame.substr(at + 2);
  // The first screen of the run failed at its picture: no picture has set
  // the palette, whose pens are still the display's near-black greys (black
  // on a deeper display). The box then brings its own picture's colours, so
  // that its frame and its text read as over any screen.
  if (ScreenPictureColours() == 0 && !SetElmorPalette(".\\Data\\Path", kBoxPicture, 0, 256, 0))
    DebugLog("ScreenStartFailed: Keine Palette fuer die Meldung.\n");
  ChiefMessage(kBoxPicture, 168, 180, 0, 0, 0, 0, text.c_str(), kScreenFailedPen);
  if (base) PauseScreenMovies(base, 0);
}

namespace {

// The box of a file that cannot be used: the frame (its "%s" the file's
// name) and the detail, logged with what was told.
void TellFile(ScreenBase* base, const char* file, uint32_t frame_id, const char* told, const char* detail) {
  if (!file) return;
  DebugLog("%s Datei gemeldet: %s\n", told, file);
  if (WindowCloseRequested()) return;
  // The player's name of the file: without the leading ".\".
  const char* name = (file[0] == '.' && (file[1] == '\\' || file[1] == '/')) ? file + 2 : file;
  const std::string frame = GetCatalogStr(frame_id);
  std::string text = frame;
  const size_t at = frame.find("%s");
  if (at != std::string::npos) text = frame.substr(0, at) + name + frame.substr(at + 2);
  if (detail && *detail) text += std::string(" ") + detail;
  WaitTransition();
  if (base) PauseScreenMovies(base, 1);
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, text.c_str(), kScreenFailedPen);
  if (base) PauseScreenMovies(base, 0);
}

}  // namespace

void ScreenTellDamagedFile(ScreenBase* base, const char* file, uint32_t detail_id) {
  ScreenTellDamagedFileText(base, file, detail_id ? GetCatalogStr(detail_id) : nullptr);
}

void ScreenTellDamagedFileText(ScreenBase* base, const char* file, const char* detail) {
  TellFile(base, file, kDamagedFileText, "Beschaedigte", detail);
}

void ScreenTellMissingFile(ScreenBase* base, const char* file, uint32_t detail_id) {
  TellFile(base, file, kMissingFileText, "Fehlende", detail_id ? GetCatalogStr(detail_id) : nullptr);
}

Gadget* ScreenBaseEvent(ScreenBase* base, uint32_t title_pen, int32_t* event) {
  if (base->region && base->font) {
    const ScreenRecordList& texts = base->region->types[LAYOUT_TEXTAREA];
    if (texts.count) CheckTitleBar(static_cast<const TextArea*>(texts.first), base->font, title_pen);
  }
  // A save of this screen or the last that was done only in part.
  if (TakePartSaveNotice()) {
    DebugLog("ScreenBaseEvent: Nur zum Teil gespeichert, dem Spieler gemeldet\n");
    ChiefMessage(66, 168, 180, 0, 0, 0, 0, CommitPartText(), kScreenFailedPen);
  }
  *event = WaitEvent(WE_TICKS);
  return base->region ? HandleGadgetEvent(nullptr, base->region, static_cast<uint32_t>(*event)) : nullptr;
}

void PlayScreenCdTrack(uint8_t track) {
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  if (IsCDReady(o.cd_device, o.cd_unit)) PlayCDTrack1(o.cd_device, o.cd_unit, track, track);
}

int32_t ScreenBaseStays(int32_t* next, int32_t way_out) {
  if (*next != -1) return 0;
  if (!WindowCloseRequested()) return 1;
  *next = way_out;
  return 0;
}

void PauseScreenMovies(ScreenBase* base, uint8_t halted) {
  for (uint32_t i = 0; i < base->movieCount; ++i) SetMovieMode(base->movies[i], halted);
}

void CloseScreenBase(ScreenBase* base, int32_t next) {
  if (base->movieBase) {
    for (uint32_t i = 0; i < base->movieCount; ++i)
      if (base->movies[i]) StopMovie(base->movieBase, base->movies[i]);
    FreeMovieBase(base->movieBase);
    base->movieBase = nullptr;
  }
  base->movieCount = 0;
  if (base->region) {
    FreeMouseGadgetImages(base->region);
    FreeScreenRegion(base->region);
    base->region = nullptr;
  }
  if (base->font) {
    // The RastPort must not keep a font that is closed here.
    if (RastPort* rp = ScreenRastPort()) {
      if (base->oldFont) SetFont(rp, base->oldFont);
      else rp->Font = nullptr;
    }
    CloseFont(base->font);
    base->font = nullptr;
  }
  if (base->pictureId) {
    WaitTransition();  // the transition thread must not draw a closed picture
    CloseElmorPic(base->pictureId, next == 0 ? 0 : 1);
    base->pictureId = 0;
  }
}
