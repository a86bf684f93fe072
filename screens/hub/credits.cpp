// The credits and the slide show. See credits.h.
#include "credits.h"

#include <cstring>

#include "platform/log.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/system/catalog.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/timer.h"
#include "screens/common/screenbase.h"
#include "screens/hub/titel.h"

const Slide kSlides[24] = {
    {1266, 343}, {337, 344},  {338, 345},  {339, 346},  {324, 347},  {1267, 348}, {1268, 349}, {1269, 350},
    {1270, 351}, {35, 354},   {334, 355},  {335, 356},  {336, 357},  {1271, 358}, {1272, 359}, {1273, 362},
    {1274, 363}, {1275, 364}, {333, 365},  {152, 367},  {329, 368},  {331, 369},  {332, 370},  {2, 371},
};

namespace {

constexpr uint32_t kCreditsText = 1035, kCreditsTicks = 25;

// Copies line n of a text (lines end at '\n') into out; false when the
// text has no line n.
bool TextLine(const char* text, uint32_t n, char* out, uint32_t size) {
  if (!text) return false;
  const char* p = text;
  for (uint32_t i = 0; i < n; ++i) {
    p = std::strchr(p, '\n');
    if (!p) return false;
    ++p;
  }
  if (!*p) return false;
  const char* end = std::strchr(p, '\n');
  uint32_t len = end ? static_cast<uint32_t>(end - p) : static_cast<uint32_t>(std::strlen(p));
  if (len >= size) len = size - 1;
  std::memcpy(out, p, len);
  out[len] = 0;
  return true;
}

// Waits for a left click (its release is taken too, so it reaches no other
// screen); false on Escape or a closed window.
bool WaitSlideClick() {
  bool down = false;
  for (;;) {
    const int32_t e = WaitEvent(0);
    if (WindowCloseRequested() || e == WE_KEY_ESCAPE) return false;
    if (e == WE_LEFT_DOWN) down = true;
    if (e == WE_LEFT_UP && down) return true;
  }
}

}  // namespace

uint32_t CreditsPrintText(RastPort* rp, uint32_t index) {
  RastPort* r = rp ? rp : ScreenRastPort();
  if (!r) return 0;
  SetAPen(r, 0);
  RectFill(r, 0, 240, 639, 479);
  SetRGB4(nullptr, 1, 15, 15, 15);
  SetRGB4(nullptr, 2, 10, 11, 15);
  const int32_t x = static_cast<int32_t>(Zufall(350) + 40), y = static_cast<int32_t>(Zufall(180) + 240);
  const char* text = GetCatalogStr(kCreditsText);
  char first[160], second[160];
  uint32_t next = 0;
  if (TextLine(text, index, first, sizeof first) && TextLine(text, index + 1, second, sizeof second)) {
    PrintTextOutlined(r, x, y, x + 200, y + 30, first, 0, 1, PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
    PrintTextOutlined(r, x, y + 30, x + 200, y + 60, second, 0, 2, PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
    next = index + 2;
  }
  ShowScreenRect(r, 0, 240, 640, 240);
  return next;
}

int32_t CreditScreen(int32_t) {
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) == ACCOUNT_INSTALLED) return 2;
  auto* pair = static_cast<TitelAnims*>(AllocVec(sizeof(TitelAnims), MEMF_PUBLIC | MEMF_CLEAR));
  ScreenBase base{};
  if (!pair || !OpenScreenPicture(&base, 151, 0)) {
    ScreenStartFailed(&base, pair ? SCREEN_STEP_PICTURE : SCREEN_STEP_MEMORY, "CreditScreen: Konnte Pic nicht laden!\n");
    FreeVec(pair);
    return -1;
  }
  int32_t next = 2;
  if (!OpenScreenFont(&base, "fonts\\Times24.fnt")) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "CreditScreen: Konnte Font nicht laden!\n");
    next = -1;
  }
  WaitTransition();
  if (next == 2) {
    pair->base = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
    if (!pair->base) {
      ScreenStartFailed(&base, SCREEN_STEP_MOVIES, "CreditScreen: Konnte Anim nicht laden!\n");
      next = -1;
    } else {
      // A missing movie leaves the picture standing; the credits still run.
      pair->waterfall = LoadMovie(pair->base, ".\\Anims\\Credits.cban", 0, 0);
      if (pair->waterfall) StartMovie(pair->base, pair->waterfall, 0, 0, 69, 10);
      else DebugLog("CreditScreen: Konnte Anim nicht laden!\n");
    }
  }
  uint32_t ticks = 0, line = 0;
  while (next == 2) {
    const int32_t e = WaitEvent(WE_TICKS);
    if (WindowCloseRequested() || e == WE_KEY_ESCAPE || e == WE_LEFT_DOWN) break;
    if (e == WE_TICK && ++ticks >= kCreditsTicks) {
      ticks = 0;
      line = CreditsPrintText(nullptr, line);
    }
  }
  FreeTitelAnims(pair);
  FreeVec(pair);
  SetElmorPalette(nullptr, 151, 0, 256, 0);
  CloseScreenBase(&base, next);
  if (next == 2 && CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) < ACCOUNT_INSTALLED) next = 32;
  return next;
}

int32_t SlideShow(uint32_t with_texts) {
  for (const Slide& s : kSlides) {
    if (OpenElmorPic(".\\Data\\Path", s.picture, 0) == -1) {
      DebugLog("SlideShow: Konnte Bild %u nicht laden\n", static_cast<unsigned>(s.picture));
      continue;
    }
    WaitTransition();
    // With texts the slide's text comes first; closing it is the first click.
    if (with_texts) TextBox(GetCatalogStr(s.text));
    const bool go_on = WaitSlideClick();
    CloseElmorPic(s.picture, 1);
    if (!go_on) break;
  }
  return 0;
}
