// The battle picture's timeline and its boxes. See schlacht.h.
#include "schlacht.h"

#include <cstdio>
#include <cstring>

#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/graphics.h"
#include "routinen/system/timer.h"

namespace {

// Catalog texts of the boxes.
enum : uint32_t {
  kArmourClass = 1008, kDepletion = 1009, kDied = 1010, kAlive = 1011, kAttackerWins = 1012, kUndecided = 1013,
  kDefenderWins = 1014, kShipClass = 1161, kDamage = 251,
};
constexpr uint32_t kVerdictPens = 3, kBoxTextPen = 162;
// The steps of the timeline.
constexpr uint32_t kStepClass = 10, kStepDepletion = 20, kStepDeadStart = 29, kStepDeadCount = 30;
constexpr uint32_t kStepAliveStart = 39, kStepAliveCount = 40, kStepVerdict = 50;
constexpr uint32_t kFirstPeriod = 10;

const char* T(SchlachtTextFn text, uint32_t id) {
  const char* s = text ? text(id) : nullptr;
  return s ? s : "";
}

void Box(const SchlachtDrawer* d, uint32_t pens, int32_t x, int32_t y, uint32_t w, uint32_t h, const char* text,
         int32_t framed) {
  if (d && d->text) d->text(d->user, pens, x, y, w, h, text, framed);
}

void Sound(const SchlachtDrawer* d, uint32_t id, int32_t loop) {
  if (d && d->sound) d->sound(d->user, id, loop);
}

// One value box: "label: value".
void Value(const SchlachtDrawer* d, uint32_t pens, int32_t x, int32_t y, uint32_t w, const char* label,
           uint32_t value, int32_t framed) {
  char line[160];
  std::snprintf(line, sizeof line, "%s: %u", label, value);
  Box(d, pens, x, y, w, 40, line, framed);
}

// The survivors' box; at sea "label: dead/survivors" of the attacker.
void AliveBox(const SchlachtTimeline* s, const SchlachtDrawer* d, uint32_t side, const char* label, int32_t framed) {
  const uint32_t pens = side ? s->pens : s->pens + 1;
  const int32_t x = side ? 380 : 20;
  if (!s->sea) {
    Value(d, pens, x, 300, 240, label, s->alive[side], framed);
    return;
  }
  char line[160];
  std::snprintf(line, sizeof line, "%s: %u/%u", label, s->fight.deadA, s->alive[side]);
  Box(d, pens, x, 300, 240, 40, line, framed);
}

// Counters grown by their steps and cut at their targets; true when every
// shown counter has reached its target.
bool Grow(uint32_t* value, const uint32_t* step, const uint32_t* target, bool left) {
  bool done = true;
  for (uint32_t side = left ? 0 : 1; side < 2; ++side) {
    const uint64_t next = (uint64_t)value[side] + step[side];
    value[side] = next > target[side] ? target[side] : (uint32_t)next;
    if (value[side] < target[side]) done = false;
  }
  return done;
}

}  // namespace

uint32_t SchlachtPicture(uint32_t kind, bool own) {
  switch (kind) {
    case KRIEG_LAND_DEFENDER: return own ? 498 : 472;
    case KRIEG_LAND_ATTACKER:
    case KRIEG_LAND_UNDECIDED: return own ? 472 : 498;
    case KRIEG_TOWN_ATTACKER:
    case KRIEG_TOWN_DEFENDER: return 499;
    case KRIEG_SEA_SUNK:
    case KRIEG_SEA_DAMAGED: return 837;
    default: return 0;
  }
}

void StartSchlacht(SchlachtTimeline* s, const KriegsEintrag& fight, bool own, const char* attacker,
                   const char* defender, SchlachtTextFn, const SchlachtDrawer* drawer) {
  *s = SchlachtTimeline{};
  s->fight = fight;
  s->picture = SchlachtPicture(fight.kind, own);
  s->pens = s->picture == 498 ? 2 : 0;
  s->sea = fight.kind == KRIEG_SEA_SUNK || fight.kind == KRIEG_SEA_DAMAGED;
  s->period = kFirstPeriod;
  std::snprintf(s->names[0], sizeof s->names[0], "%s", attacker ? attacker : "");
  std::snprintf(s->names[1], sizeof s->names[1], "%s", defender ? defender : "");
  Box(drawer, s->pens + 1, 20, 20, 240, 40, s->names[0], 1);
  Box(drawer, s->pens, 380, 20, 240, 40, s->names[1], 1);
  Sound(drawer, kSchlachtSfxLoop, 1);
}

void SchlachtTick(SchlachtTimeline* s, SchlachtTextFn text, const SchlachtDrawer* drawer) {
  if (++s->second >= s->period) {
    s->second = 0;
    s->period = (Zufall(5) + 1) * 5;
    const uint32_t cry = Zufall(4);
    if (cry < 4) Sound(drawer, kSchlachtSfxFirst + 1 + cry, 0);
  }
  const KriegsEintrag& k = s->fight;
  const uint32_t left = s->pens + 1, right = s->pens;
  if (s->t == kStepDeadCount) {
    const bool done = Grow(s->dead, s->deadStep, s->deadTarget, !s->sea);
    if (!s->sea) Value(drawer, left, 20, 240, 176, T(text, kDied), s->dead[0], 0);
    Value(drawer, right, 444, 240, 176, T(text, kDied), s->dead[1], 0);
    if (!done) return;
  } else if (s->t == kStepAliveCount) {
    const bool done = Grow(s->alive, s->aliveStep, s->aliveTarget, !s->sea);
    if (!s->sea) AliveBox(s, drawer, 0, T(text, kAlive), 0);
    AliveBox(s, drawer, 1, T(text, kAlive), 0);
    if (!done) return;
  }
  if (s->t > kStepVerdict) return;
  switch (++s->t) {
    case kStepClass: {
      const char* label = T(text, s->sea ? kShipClass : kArmourClass);
      Value(drawer, left, 20, 120, 176, label, k.classA, 1);
      Value(drawer, right, 444, 120, 176, label, k.classD, 1);
      break;
    }
    case kStepDepletion: {
      const char* label = T(text, s->sea ? kDamage : kDepletion);
      Value(drawer, left, 20, 180, 240, label, k.depletionA, 1);
      Value(drawer, right, 380, 180, 240, label, k.depletionD, 1);
      break;
    }
    case kStepDeadStart:
      s->deadTarget[0] = k.deadA;
      s->deadTarget[1] = s->sea ? k.aliveA : k.deadD;
      for (uint32_t i = 0; i < 2; ++i) s->deadStep[i] = s->deadTarget[i] / 50 + 1;
      if (!s->sea) Value(drawer, left, 20, 240, 176, T(text, kDied), 0, 1);
      Value(drawer, right, 444, 240, 176, T(text, kDied), 0, 1);
      break;
    case kStepAliveStart:
      s->aliveTarget[0] = k.aliveA;
      s->aliveTarget[1] = k.aliveD;
      for (uint32_t i = 0; i < 2; ++i) s->aliveStep[i] = s->aliveTarget[i] / 100 + 1;
      if (!s->sea) AliveBox(s, drawer, 0, T(text, kAlive), 1);
      AliveBox(s, drawer, 1, T(text, kAlive), 1);
      break;
    case kStepVerdict: {
      char line[160];
      switch (k.kind) {
        case KRIEG_LAND_DEFENDER:
        case KRIEG_TOWN_DEFENDER:
        case KRIEG_SEA_DAMAGED: std::snprintf(line, sizeof line, "%s !", T(text, kDefenderWins)); break;
        case KRIEG_LAND_UNDECIDED: std::snprintf(line, sizeof line, "%s", T(text, kUndecided)); break;
        default: std::snprintf(line, sizeof line, "%s !", T(text, kAttackerWins)); break;
      }
      Box(drawer, kVerdictPens, 200, 400, 240, 40, line, 1);
      break;
    }
    default: break;
  }
}

void SchlachtPens(uint32_t k, uint32_t* frame, uint32_t* fill) {
  static const uint32_t kPairs[4][2] = {{114, 82}, {134, 163}, {96, 159}, {149, 214}};
  const uint32_t* p = kPairs[k < 4 ? k : 0];
  if (frame) *frame = p[0];
  if (fill) *fill = p[1];
}

void DrawSchlachtText(uint32_t pens, int32_t x, int32_t y, uint32_t w, uint32_t h, TextFont* font,
                      const char* text, int32_t framed) {
  RastPort* rp = ScreenRastPort();
  if (!rp || w < 8 || h < 8) return;
  uint32_t frame = 0, fill = 0;
  SchlachtPens(pens, &frame, &fill);
  SetFont(rp, font);
  SetDrMd(rp, 0);
  const int32_t x2 = x + (int32_t)w - 1, y2 = y + (int32_t)h - 1;
  if (framed) {
    // The screen's transition thread copies from this surface: the frame is
    // filled under the display mutex, as the text drawing does.
    ObtainMutex(DisplayMutex());
    SetAPen(rp, frame);
    RectFill(rp, x, y, x2, y2);
    SetAPen(rp, 0);
    RectFill(rp, x + 2, y + 2, x2 - 2, y2 - 2);
    SetAPen(rp, fill);
    RectFill(rp, x + 3, y + 3, x2 - 3, y2 - 3);
    ReleaseMutex(DisplayMutex());
  }
  PrintTextOutlined(rp, x + 3, y + 3, x2 - 3, y2 - 3, text ? text : "", fill, kBoxTextPen,
                    PTO_CENTRE | PTO_BASELINE | PTO_FILL | PTO_VCENTRE | PTO_OUTLINE);
  ShowScreenRect(rp, x, y, (int32_t)w, (int32_t)h);
}

int32_t ShowSchlachtLoadSfx() {
  for (uint32_t i = 0; i < kSchlachtSfxCount; ++i)
    if (OpenElmorSfx(".\\Data\\SfxPath", kSchlachtSfxFirst + i) != 1) {
      DebugLog("ShowSchlachtLoadSfx : Konnte Sound-FX nicht \xf6" "ffnen!\n");
      while (i--) CloseElmorSfx000(kSchlachtSfxFirst + i);
      return 0;
    }
  return 1;
}

void CloseSchlachtSfx() {
  for (uint32_t i = 0; i < kSchlachtSfxCount; ++i) CloseElmorSfx000(kSchlachtSfxFirst + i);
}
