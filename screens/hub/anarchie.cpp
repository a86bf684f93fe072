// The anarchy screen. See anarchie.h.
#include "anarchie.h"

#include <cstring>

#include "platform/drawntext.h"
#include "platform/log.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/screenbase.h"

namespace {

const uint32_t kAnarchySfx[5] = {100, 95, 96, 97, 98};
constexpr uint32_t kOutlinePen = 97, kLetterPen = 1;
constexpr int32_t kTopLine = 50;

}  // namespace

uint32_t AnarchieTextId(uint32_t anarchy_state) {
  return anarchy_state == 1 ? 1006 : anarchy_state == 2 ? 1025 : 0;
}

uint32_t AnarchieLoadSfx() {
  uint32_t opened = 0;
  for (uint32_t id : kAnarchySfx) {
    if (OpenElmorSfx(".\\Data\\SfxPath", id) != 1) break;
    ++opened;
  }
  return opened;
}

void AnarchiePrintText(RastPort* rp, const char* text, uint32_t n, int32_t y) {
  if (!rp || !text || n == 0) return;
  const uint32_t len = static_cast<uint32_t>(std::strlen(text));
  if (n > len) return;
  // The text is typed letter by letter: the watch hears it whole first.
  if (n == 1) ReportDrawnText(text);
  auto* copy = static_cast<char*>(AllocVec(len + 1, MEMF_PUBLIC));
  if (!copy) {
    DebugLog("AnarchiePrintText : Konnte Speicher nicht allokieren...\n");
    return;
  }
  std::memcpy(copy, text, len + 1);
  const uint32_t at = n - 1;  // character n, counted from 1
  if (copy[at] != '\n') {
    uint32_t line = 0, start = 0;
    for (uint32_t i = 0; i < at; ++i)
      if (copy[i] == '\n') {
        ++line;
        start = i + 1;
      }
    uint32_t end = start;
    while (copy[end] && copy[end] != '\n') ++end;
    const int32_t width = static_cast<int32_t>(TextLength(rp, copy + start, end - start));
    const int32_t before = static_cast<int32_t>(TextLength(rp, copy + start, at - start));
    const int32_t x = 320 - width / 2 + before;
    const int32_t base = y + static_cast<int32_t>(line * (rp->TxHeight + 3u)) + rp->TxBaseline;
    SetDrMd(rp, 0);
    SetAPen(rp, kOutlinePen);
    static const int8_t kAround[4][2] = {{-1, 0}, {1, 0}, {0, -1}, {0, 1}};
    for (const auto& d : kAround) {
      Move(rp, x + d[0], base + d[1]);
      Text(rp, copy + at, 1);
    }
    SetAPen(rp, kLetterPen);
    Move(rp, x, base);
    Text(rp, copy + at, 1);
    const int32_t w = static_cast<int32_t>(TextLength(rp, copy + at, 1));
    ShowScreenRect(rp, x - 2, base - rp->TxBaseline - 2, w + 4, rp->TxHeight + 4);
  }
  FreeVec(copy);
}

int32_t AnarchieScreen(int32_t) {
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  PlayCDTrack1(o.cd_device, o.cd_unit, 10, 10);
  ScreenBase base{};
  // A start-up that fails is told; the end the screen is there for is silent.
  if (!OpenScreenPicture(&base, 499, 0)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "AnarchieScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  if (!OpenScreenFont(&base, "fonts\\Times24.fnt")) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "AnarchieScreen: Konnte Font nicht laden!\n");
    CloseScreenBase(&base, -1);
    return -1;
  }
  // Without its sounds the screen still ends the realm, silently.
  const uint32_t sounds = AnarchieLoadSfx();
  if (sounds < 5) DebugLog("AnarchieScreen: Konnte Sfx nicht laden...\n");
  SfxPlayer000(100, 0, 1);
  WaitTransition();  // the letters start on the whole picture
  const uint32_t text_id = AnarchieTextId(OwnPlayerPtr->Anarchy);
  const char* text = text_id ? GetCatalogStr(text_id) : nullptr;
  RastPort* rp = ScreenRastPort();

  uint32_t letters = 1, accent = 0, limit = 10;
  bool escaped = false;
  for (;;) {
    const int32_t e = WaitEvent(WE_TICKS);
    if (WindowCloseRequested()) break;
    if (e == WE_KEY_ESCAPE) {
      escaped = true;
      break;
    }
    if (e != WE_TICK) continue;
    if (text && letters > 0) AnarchiePrintText(rp, text, letters++, kTopLine);
    if (++accent >= limit) {
      accent = 0;
      limit = Zufall(5) + 1;
      const uint32_t pick = Zufall(5);
      if (pick < 5) SfxPlayer000(kAnarchySfx[(pick + 1) % 5], 0, 0);  // 95, 96, 97, 98, 100
    }
  }
  if (escaped) {
    WaitTransition();
    SetElmorPalette(".\\Data\\Path", 2, 0, 36, 0);
    if (rp) {
      SetAPen(rp, 0);
      RectFill(rp, 0, 0, 639, 479);
    }
    StartTheTransition();
    WaitTransition();
    // The realm's files and the account state go together (the next start
    // begins without a game), or nothing changes.
    if (!GameExit()) DebugLog("AnarchieScreen: Konnte Spiel nicht resetten !\n");
  }
  for (uint32_t i = 0; i < sounds; ++i) CloseElmorSfx000(kAnarchySfx[i]);
  CloseScreenBase(&base, 0);
  return -1;
}
