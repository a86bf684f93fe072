// The modem page of the options. See option2.h.
#include "option2.h"

#include <cstdio>

#include "platform/log.h"
#include "routinen/gui/boxes.h"
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
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"
#include "screens/hub/optionfields.h"

namespace {

constexpr uint32_t kPicture = 1141;

}  // namespace

int32_t OptionPagesNext(int32_t next) {
  if (next == SCREEN_MAIN && CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) < ACCOUNT_INSTALLED) return 32;
  return next;
}

void DrawCursorSwitch(Option2ScreenData* d) { DrawOptionLamp(d->region, 0, d->choice != 0); }

void DrawOption2Screen(Option2ScreenData* d) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  for (uint32_t n = 0;; ++n) {
    const TextArea* a = GetLayoutLabel(d->region, n);
    if (!a) break;
    PrintTextOutlined(rp, a->x1, a->y1, a->x2, a->y2, a->text ? a->text : "", 0, 7, PTO_BASELINE);
  }
  DrawCursorSwitch(d);
}

void StoreCursorChoice(Option2ScreenData* d) { QoESystemPtr->Optionen.mouse_cursor = d->choice; }

int32_t Option2Screen(int32_t) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "Option2Screen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<Option2ScreenData*>(AllocVec(sizeof(Option2ScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  auto finish = [&](int32_t next) {
    if (d) CloseOptionLamps(&d->lamps);
    FreeVec(d);
    CloseScreenBase(&base, next == -1 ? 0 : 1);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return finish(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "Option3Screen: Kein Speicher f\xFCr locale Daten!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "Option3Screen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  if (const uint32_t step = OpenOptionPage(&base, &d->lamps, "Option2Screen", "Option2Screen",
                                           ".\\Data\\Screendat\\Optionen3.dat", 387))
    return fail(step, nullptr);
  d->region = base.region;
  d->choice = o.mouse_cursor;
  DrawOption2Screen(d);
  ShowScreenBase(&base);

  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, 6, &event);
    if (!g) continue;
    if (GadgetIs(g, "CURS")) {
      d->choice = ~d->choice;
      DrawCursorSwitch(d);
    } else if (GadgetIs(g, "INFO")) {
      TextBox(GetCatalogStr(1817));  // the modem options
    } else if (GadgetIs(g, "NEXT") || GadgetIs(g, "PREV") || GadgetIs(g, "OKOK")) {
      StoreCursorChoice(d);
      next = GadgetIs(g, "NEXT") ? 133 : GadgetIs(g, "PREV") ? 134 : SCREEN_MAIN;
      if (GadgetIs(g, "OKOK") && !OptionenPrefsSave(&o))
        DebugLog("OptionScreen: Fehler beim Speichern der OptionenPrefs!\n");
    } else if (GadgetIs(g, "EXIT")) {
      next = SCREEN_MAIN;
    }
  } while (ScreenBaseStays(&next, SCREEN_MAIN));
  LoadMouseCursor(o.mouse_cursor ? 110 : 103);
  return OptionPagesNext(finish(next));
}
