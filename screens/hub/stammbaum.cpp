// The family tree. See stammbaum.h.
#include "stammbaum.h"

#include "platform/log.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"

int32_t StammbaumScreen(int32_t) {
  PlayScreenCdTrack(4);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, 40, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "StammbaumScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  // The small font draws the names; the Elmor font is the box's own.
  TextFont* elmor = OpenDiskFont("fonts\\ElmorC1.fnt");
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    CloseFont(elmor);
    CloseScreenBase(&base, -1);
    return -1;
  };
  if (!elmor || !OpenScreenFont(&base, "fonts\\xhelvetica11.fnt"))
    return fail(SCREEN_STEP_FONT, "StammbaumScreen: Konnte Font nicht laden!\n");
  if (!OpenScreenLayout(&base, ".\\Data\\ScreenDat/Stammbaum.dat", 3))
    return fail(SCREEN_STEP_LAYOUT, "StammbaumScreen: Kann TitelbarDaten nicht laden!\n");
  RastPort* rp = ScreenRastPort();
  SetAPen(rp, 7);
  SetDrMd(rp, 0);
  RestoreMouseGadgets(nullptr, base.region);
  const ScreenRecordList& texts = base.region->types[LAYOUT_TEXTAREA];
  const auto* areas = static_cast<const TextArea*>(texts.first);
  for (uint32_t i = 0; i < texts.count; ++i)
    if (areas[i].text)
      PrintTextOutlined(rp, areas[i].x1, areas[i].y1, areas[i].x2, areas[i].y2, areas[i].text, 0, 7,
                        PTO_CENTRE | PTO_BASELINE);
  SetDrMd(rp, 1);
  StartTheTransition();
  WaitTransition();
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(1154), 7);
  CloseScreenBase(&base, 2);
  CloseFont(elmor);
  return 2;
}
