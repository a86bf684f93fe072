// The battle picture's timeline against a recording drawer, tick by tick:
// the names and the din at the start, the classes at tick 10, the depletion
// at 20, the dead counted from 29 in steps of dead / 50 + 1 until both reach
// their numbers, the survivors from 39 in steps of survivors / 100 + 1, the
// verdict at 50 and nothing after it; the sea fight's boxes; the cries on
// the random periods; the picture and pens by kind and side.
#include "screens/military/schlacht.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "routinen/system/timer.h"

namespace {

struct Drawn {
  uint32_t tick, pens;
  int32_t x, y;
  uint32_t w;
  std::string text;
  int32_t framed;
};
struct Recorder {
  uint32_t tick = 0;
  std::vector<Drawn> boxes;
  std::vector<std::pair<uint32_t, uint32_t>> sounds;  // id, tick (loop marked + 1000)
};
void RecordText(void* user, uint32_t pens, int32_t x, int32_t y, uint32_t w, uint32_t, const char* text,
                int32_t framed) {
  auto* r = static_cast<Recorder*>(user);
  r->boxes.push_back({r->tick, pens, x, y, w, text, framed});
}
void RecordSound(void* user, uint32_t id, int32_t loop) {
  auto* r = static_cast<Recorder*>(user);
  r->sounds.push_back({loop ? id + 1000 : id, r->tick});
}
const char* Words(uint32_t id) {
  switch (id) {
    case 1008: return "AC";
    case 1009: return "DEP";
    case 1010: return "DIED";
    case 1011: return "ALIVE";
    case 1012: return "ATT";
    case 1013: return "UND";
    case 1014: return "DEF";
    case 1161: return "SC";
    case 251: return "DMG";
    default: return "?";
  }
}

KriegsEintrag Fight(uint32_t kind) {
  KriegsEintrag k{};
  k.attacker.owner = 7;
  k.target.owner = 9;
  k.kind = kind;
  k.classA = 3;
  k.classD = 2;
  k.depletionA = 5;
  k.depletionD = 9;
  k.deadA = 120;   // steps of 3: 40 ticks
  k.deadD = 400;   // steps of 9: 45 ticks
  k.aliveA = 880;  // steps of 9: 98 ticks
  k.aliveD = 100;  // steps of 2: 50 ticks
  return k;
}

struct Timeline {
  Recorder rec;
  SchlachtTimeline s;
  SchlachtDrawer d{&rec, RecordText, RecordSound};
  void Start(const KriegsEintrag& k, bool own) { StartSchlacht(&s, k, own, "Att", "Def", Words, &d); }
  void Ticks(uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      ++rec.tick;
      SchlachtTick(&s, Words, &d);
    }
  }
  std::vector<Drawn> At(uint32_t tick) const {
    std::vector<Drawn> out;
    for (const Drawn& b : rec.boxes)
      if (b.tick == tick) out.push_back(b);
    return out;
  }
  // The last text drawn at (x, y).
  std::string Last(int32_t x, int32_t y) const {
    std::string t;
    for (const Drawn& b : rec.boxes)
      if (b.x == x && b.y == y) t = b.text;
    return t;
  }
};

TEST(SchlachtTimeline, LandBattleStepByStep) {
  ZufallSeed(5);
  Timeline r;
  r.Start(Fight(KRIEG_LAND_ATTACKER), true);
  // The names framed at the top: the attacker's with the left pens.
  ASSERT_EQ(r.rec.boxes.size(), 2u);
  EXPECT_EQ(r.rec.boxes[0].text, "Att");
  EXPECT_EQ(r.rec.boxes[0].pens, 1u);
  EXPECT_EQ(r.rec.boxes[0].x, 20);
  EXPECT_EQ(r.rec.boxes[1].text, "Def");
  EXPECT_EQ(r.rec.boxes[1].pens, 0u);
  EXPECT_EQ(r.rec.boxes[1].x, 380);
  EXPECT_EQ(r.rec.sounds.front(), (std::pair<uint32_t, uint32_t>{1094, 0}));
  EXPECT_EQ(r.s.picture, 472u);

  r.Ticks(9);
  EXPECT_EQ(r.rec.boxes.size(), 2u);  // nothing before tick 10
  r.Ticks(1);
  auto at10 = r.At(10);
  ASSERT_EQ(at10.size(), 2u);
  EXPECT_EQ(at10[0].text, "AC: 3");
  EXPECT_EQ(at10[0].w, 176u);
  EXPECT_EQ(at10[1].text, "AC: 2");
  EXPECT_EQ(at10[1].x, 444);
  EXPECT_EQ(at10[1].framed, 1);
  r.Ticks(10);
  auto at20 = r.At(20);
  ASSERT_EQ(at20.size(), 2u);
  EXPECT_EQ(at20[0].text, "DEP: 5");
  EXPECT_EQ(at20[1].text, "DEP: 9");
  EXPECT_EQ(at20[1].x, 380);
  r.Ticks(9);
  auto at29 = r.At(29);
  ASSERT_EQ(at29.size(), 2u);
  EXPECT_EQ(at29[0].text, "DIED: 0");
  EXPECT_EQ(at29[0].y, 240);
  // Tick 30 moves to the counting; from 31 on each tick adds a step.
  r.Ticks(2);
  EXPECT_EQ(r.Last(20, 240), "DIED: 3");
  EXPECT_EQ(r.Last(444, 240), "DIED: 9");
  EXPECT_EQ(r.At(31)[0].framed, 0);
  // The defender's 400 need 45 steps of 9; the attacker's 120 stop at 120.
  r.Ticks(43);  // tick 74
  EXPECT_EQ(r.Last(20, 240), "DIED: 120");
  EXPECT_EQ(r.Last(444, 240), "DIED: 396");
  r.Ticks(1);  // tick 75: both reached, the step counter moves on
  EXPECT_EQ(r.Last(444, 240), "DIED: 400");
  EXPECT_EQ(r.s.t, 31u);
  r.Ticks(8);  // tick 83 = step 39
  EXPECT_EQ(r.Last(20, 300), "ALIVE: 0");
  EXPECT_EQ(r.Last(380, 300), "ALIVE: 0");
  r.Ticks(99);  // 98 steps of 9 for 880 (tick 84 only moves to step 40)
  EXPECT_EQ(r.Last(20, 300), "ALIVE: 880");
  EXPECT_EQ(r.Last(380, 300), "ALIVE: 100");
  EXPECT_EQ(r.s.t, 41u);
  r.Ticks(9);
  EXPECT_EQ(r.Last(200, 400), "ATT !");
  const size_t drawn = r.rec.boxes.size();
  r.Ticks(500);  // only Escape ends it: nothing more is drawn
  EXPECT_EQ(r.rec.boxes.size(), drawn);
}

TEST(SchlachtTimeline, CriesComeOnTheRandomPeriods) {
  ZufallSeed(77);
  Timeline r;
  r.Start(Fight(KRIEG_LAND_DEFENDER), false);
  r.Ticks(400);
  // The same draws as the timeline makes: the first period 10 ticks, then
  // (Zufall(5) + 1) x 5, each followed by the cry's Zufall(4).
  ZufallSeed(77);
  std::vector<std::pair<uint32_t, uint32_t>> want{{1094, 0}};
  uint32_t at = 10;
  while (at <= 400) {
    const uint32_t period = (Zufall(5) + 1) * 5, cry = Zufall(4);
    if (cry < 4) want.push_back({95 + cry, at});
    at += period;
  }
  EXPECT_EQ(r.rec.sounds, want);
  EXPECT_GT(want.size(), 5u);
}

TEST(SchlachtTimeline, SeaFightShowsTheRightCounters) {
  ZufallSeed(3);
  Timeline r;
  KriegsEintrag k = Fight(KRIEG_SEA_DAMAGED);
  k.deadA = 6;
  k.aliveA = 40;
  k.aliveD = 55;
  r.Start(k, false);
  EXPECT_EQ(r.s.picture, 837u);
  r.Ticks(20);
  EXPECT_EQ(r.Last(20, 120), "SC: 3");
  EXPECT_EQ(r.Last(380, 180), "DMG: 9");
  r.Ticks(200);
  // No left counters at sea; the right "dead" counts to the attacker's
  // survivors, the right survivors show the attacker's dead first.
  EXPECT_EQ(r.Last(20, 240), "");
  EXPECT_EQ(r.Last(20, 300), "");
  EXPECT_EQ(r.Last(444, 240), "DIED: 40");
  EXPECT_EQ(r.Last(380, 300), "ALIVE: 6/55");
  EXPECT_EQ(r.Last(200, 400), "DEF !");
}

TEST(SchlachtTimeline, VerdictsAndPictures) {
  struct Case {
    uint32_t kind;
    bool own;
    uint32_t picture, pens;
    const char* verdict;
  };
  const Case cases[] = {
      {0, true, 498, 2, "DEF !"},  {0, false, 472, 0, "DEF !"}, {1, true, 472, 0, "ATT !"},
      {1, false, 498, 2, "ATT !"}, {2, true, 472, 0, "UND"},    {2, false, 498, 2, "UND"},
      {3, true, 499, 0, "ATT !"},  {4, false, 499, 0, "DEF !"}, {5, true, 837, 0, "ATT !"},
      {6, false, 837, 0, "DEF !"},
  };
  for (const Case& c : cases) {
    Timeline r;
    KriegsEintrag k = Fight(c.kind);
    k.deadA = k.deadD = k.aliveA = k.aliveD = 0;
    r.Start(k, c.own);
    EXPECT_EQ(r.s.picture, c.picture) << c.kind << " " << c.own;
    EXPECT_EQ(r.s.pens, c.pens) << c.kind;
    EXPECT_EQ(r.rec.boxes[0].pens, c.pens + 1);
    r.Ticks(60);
    EXPECT_EQ(r.Last(200, 400), c.verdict) << c.kind;
  }
  EXPECT_EQ(SchlachtPicture(KRIEG_SEA_CAPTURED, true), 0u);
  EXPECT_EQ(SchlachtPicture(KRIEG_SEA_DEFENDED, false), 0u);
  uint32_t frame = 0, fill = 0;
  SchlachtPens(3, &frame, &fill);
  EXPECT_EQ(frame, 149u);
  EXPECT_EQ(fill, 214u);
  SchlachtPens(2, &frame, &fill);
  EXPECT_EQ(frame, 96u);
  EXPECT_EQ(fill, 159u);
}

TEST(SchlachtTimeline, HugeNumbersCountWithoutOverflow) {
  Timeline r;
  KriegsEintrag k = Fight(KRIEG_LAND_UNDECIDED);
  k.deadA = 0xFFFFFFFFu;
  k.deadD = 0xFFFFFFF0u;
  k.aliveA = 0xFFFFFFFFu;
  k.aliveD = 1;
  r.Start(k, true);
  r.Ticks(400);
  EXPECT_EQ(r.Last(20, 240), "DIED: 4294967295");
  EXPECT_EQ(r.Last(444, 240), "DIED: 4294967280");
  EXPECT_EQ(r.Last(20, 300), "ALIVE: 4294967295");
  EXPECT_EQ(r.Last(200, 400), "UND");
}

}  // namespace
