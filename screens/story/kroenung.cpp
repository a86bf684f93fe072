// The coronation screen. See kroenung.h.
#include "kroenung.h"

#include <cstdio>
#include <cstring>

#include "platform/drawntext.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"

namespace {

constexpr uint32_t kPicture = 876;
constexpr uint8_t kCdTrack = 10;
constexpr uint32_t kLandPoints = 82;
constexpr uint32_t kSfx[3] = {163, 164, 165};
constexpr uint32_t kTextBefore = 1257, kTextAfter = 1258;
constexpr uint32_t kOutlinePen = 0, kLetterPen = 163;
constexpr int32_t kTop = 50, kCentreX = 320, kAreaW = 640, kAreaH = 480;
constexpr uint32_t kLineMargin = 16;  // room left at both edges of a line
constexpr int32_t kCrownX = 321, kCrownY = 212, kCarpetX = 0, kCarpetY = 242;
constexpr uint32_t kTypingTick = 100;
// The scene: at each tick a sound (0 none) and a picture.
struct Step {
  uint32_t tick, sound, picture;
  int32_t x, y;
};
constexpr Step kSteps[] = {{45, 0, 878, kCrownX, kCrownY},   {50, 163, 877, kCarpetX, kCarpetY},
                           {50, 164, 879, kCrownX, kCrownY}, {55, 0, 880, kCrownX, kCrownY},
                           {65, 0, 881, kCrownX, kCrownY},   {75, 0, 882, kCrownX, kCrownY},
                           {85, 0, 883, kCrownX, kCrownY}};

// The line at the foot that says how to leave (Escape or a click), in the
// small font: ink on a parchment plaque just wider than the line, edged in
// the ink, so it reads whole over the crowd and the carpet.
constexpr uint32_t kWayOutText = 1742;
constexpr int32_t kWayOutY1 = 458, kWayOutY2 = 474;
constexpr uint32_t kWayOutInk = 7, kWayOutPlaque = 5;
constexpr int32_t kWayOutMargin = 6;  // parchment left and right of the line

constexpr uint32_t kTitleBefore = 657;  // title of rank r: catalog 657 + r (658 Baron .. 665 Emperor)

uint32_t RastWidth(void* ctx, const char* text, uint32_t len) {
  return TextLength(static_cast<RastPort*>(ctx), text, len);
}

}  // namespace

uint32_t KroenungTitleFor(uint32_t realm_points) {
  const uint32_t rank = RealmRank(realm_points);
  return rank ? kTitleBefore + rank : 0;
}

uint32_t ReadKroenungsScreenData() {
  LoadedChunk land("LAND", ReceivedPoolPath);
  if (!land.p || land.len() + sizeof(ChunkHeader) < kLandPoints + 2) {
    DebugLog("KroenungCheckTitleOfPlayer: Kann LAND nicht laden\n");
    return 0;
  }
  const uint32_t points = ChunkGet16(land.p, kLandPoints);
  DebugLog("KroenungCheckTitleOfPlayer: Reichspunkte %u\n", points);
  return KroenungTitleFor(points);
}

void KroenungBreakLines(char* text, uint32_t max_width, KroenungWidth width, void* ctx) {
  char* line = text;
  char* blank = nullptr;  // the last blank of the line so far
  for (char* p = text; *p; ++p) {
    if (*p == '\n') {
      line = p + 1;
      blank = nullptr;
      continue;
    }
    if (width(ctx, line, static_cast<uint32_t>(p - line + 1)) > max_width && blank) {
      *blank = '\n';
      line = blank + 1;
      blank = nullptr;
    }
    if (*p == ' ') blank = p;
  }
}

int32_t KroenungLetterPlace(const char* text, uint32_t n, int32_t top, uint32_t font_height, KroenungWidth width,
                            void* ctx, int32_t* x, int32_t* y) {
  if (!text || n == 0) return 0;
  const size_t len = std::strlen(text);
  if (n > len) return 0;
  const uint32_t at = n - 1;
  if (text[at] == '\n') return 0;
  uint32_t line = 0, start = 0;
  for (uint32_t i = 0; i < at; ++i)
    if (text[i] == '\n') {
      ++line;
      start = i + 1;
    }
  uint32_t end = start;
  while (text[end] && text[end] != '\n') ++end;
  const int32_t line_width = static_cast<int32_t>(width(ctx, text + start, end - start));
  const int32_t before = static_cast<int32_t>(width(ctx, text + start, at + 1 - start) - width(ctx, text + at, 1));
  *x = kCentreX - line_width / 2 + before + 1;
  *y = top + static_cast<int32_t>(line * (font_height + 3));
  return 1;
}

void KroenungPrintText(RastPort* rp, const char* text, uint32_t n, int32_t top) {
  int32_t x, y;
  // The text is typed letter by letter: the watch hears it whole first.
  if (rp && text && n == 1) ReportDrawnText(text);
  if (!rp || !KroenungLetterPlace(text, n, top, rp->TxHeight, RastWidth, rp, &x, &y)) return;
  const char* letter = text + n - 1;
  const int32_t w = static_cast<int32_t>(TextLength(rp, letter, 1));
  if (x - 1 < 0 || x + w + 1 > kAreaW || y < 0 || y + static_cast<int32_t>(rp->TxHeight) + 2 > kAreaH) return;
  SetDrMd(rp, 0);
  SetAPen(rp, kOutlinePen);
  static const int8_t kOutline[4][2] = {{0, 0}, {0, 2}, {-1, 1}, {1, 1}};
  for (const auto& o : kOutline) {
    Move(rp, x + o[0], y + o[1] + rp->TxBaseline);
    Text(rp, letter, 1);
  }
  SetAPen(rp, kLetterPen);
  Move(rp, x, y + 1 + rp->TxBaseline);
  Text(rp, letter, 1);
  ShowScreenRect(rp, x - 1, y, w + 2, static_cast<int32_t>(rp->TxHeight) + 3);
}

static void KroenungPrintWayOut(RastPort* rp, TextFont* font) {
  if (!rp || !font) return;
  TextFont* before = rp->Font;
  SetFont(rp, font);
  const char* line = GetCatalogStr(kWayOutText);
  const int32_t w = static_cast<int32_t>(TextLength(rp, line, static_cast<uint32_t>(std::strlen(line))));
  int32_t x1 = kCentreX - w / 2 - kWayOutMargin - 1, x2 = x1 + w + 2 * kWayOutMargin + 1;
  if (x1 < 0) x1 = 0;
  if (x2 > kAreaW - 1) x2 = kAreaW - 1;
  SetAPen(rp, kWayOutInk);  // the plaque's edge
  RectFill(rp, x1, kWayOutY1, x2, kWayOutY2);
  PrintTextOutlined(rp, x1 + 1, kWayOutY1 + 1, x2 - 1, kWayOutY2 - 1, line, kWayOutPlaque, kWayOutInk,
                    PTO_FILL | PTO_CENTRE | PTO_VCENTRE | PTO_BASELINE);
  if (before) SetFont(rp, before);
  ShowScreenRect(rp, x1, kWayOutY1, x2 - x1 + 1, kWayOutY2 - kWayOutY1 + 1);
}

int32_t LoadKroenungsScreenSfx() {
  for (uint32_t i = 0; i < 3; ++i)
    if (OpenElmorSfx(".\\Data\\SfxPath", kSfx[i]) != 1) {
      DebugLog("LoadKroenungsScreenSfx: Konnte Sfx %u nicht laden!\n", kSfx[i]);
      while (i--) CloseElmorSfx000(kSfx[i]);
      return 0;
    }
  return 1;
}

void CloseKroenungsScreenSfx() {
  for (uint32_t id : kSfx) CloseElmorSfx000(id);
}

int32_t KroenungsScreen(int32_t) {
  // The mark has led here once; left set, every return to the main screen
  // would lead here again.
  if (OwnPlayerPtr->Mark == OWNPLAYER_CORONATION) OwnPlayerPtr->Mark = 0;
  PlayScreenCdTrack(kCdTrack);
  const uint32_t title = ReadKroenungsScreenData();
  if (!title) return SCREEN_MAIN;

  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "KroenungsScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  if (!OpenScreenFont(&base, "fonts\\Times24.fnt")) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "KroenungsScreen: Konnte Font nicht laden!\n");
    CloseScreenBase(&base, -1);
    return -1;
  }
  if (!LoadKroenungsScreenSfx()) {
    ScreenStartFailed(&base, SCREEN_STEP_SOUNDS, nullptr);
    CloseScreenBase(&base, -1);
    return -1;
  }
  RastPort* rp = ScreenRastPort();
  char text[kKroenungTextSize];
  std::snprintf(text, sizeof text, "%s %s %s", GetCatalogStr(kTextBefore), GetCatalogStr(title),
                GetCatalogStr(kTextAfter));
  if (rp) KroenungBreakLines(text, kAreaW - 2 * kLineMargin, RastWidth, rp);
  TextFont* small = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!small) DebugLog("KroenungsScreen: Konnte Font nicht laden!\n");  // the scene goes on without the line
  SfxPlayer000(kSfx[2], 0, 0);
  ShowScreenBase(&base);
  KroenungPrintWayOut(rp, small);

  uint32_t tick = 0;
  for (;;) {
    const int32_t e = WaitEvent(WE_TICKS);
    // Escape, or a click anywhere, leaves for the residence.
    if (WindowCloseRequested() || e == WE_KEY_ESCAPE || e == WE_LEFT_UP) break;
    if (e != WE_TICK) continue;
    bool drawn = false;
    for (const Step& step : kSteps)
      if (step.tick == tick) {
        if (step.sound) SfxPlayer000(step.sound, 0, 0);
        DebugLog("KroenungsScreen: Bild %u\n", step.picture);
        BlitObjekt(nullptr, step.picture, step.x, step.y, 0, 0);
        drawn = true;
      }
    if (drawn) KroenungPrintWayOut(rp, small);  // a picture may have covered it
    if (tick > kTypingTick) KroenungPrintText(rp, text, tick - kTypingTick, kTop);
    ++tick;
  }
  CloseFont(small);
  CloseKroenungsScreenSfx();
  CloseScreenBase(&base, SCREEN_MAIN);
  return SCREEN_MAIN;
}
