// The news screen's battle reports. See nachrichten.h.
#include "nachrichten.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "routinen/gamedata/entities.h"

namespace {

constexpr uint32_t kWorldX = 12800, kWorldY = 6400, kPartW = 80, kPartH = 40;

// Catalog texts of the reports.
enum : uint32_t {
  kMy = 683, kLord = 657, kNoFights = 933, kFight = 1036, kOf = 1037,
  kWeAttacked = 910, kAnd = 911, kLandEnemy = 912, kFightingWas = 913, kOurCasualties = 921,
  kOwnLandEnd = 924, kOwnWon = 925, kOwnLost = 926, kLookAtMap = 927, kWeWereAttacked = 928, kOnCoordinates = 929,
  kHeldEnd = 931, kLostEnd = 932, kACity = 1132, kOwnTownEnd = 1133, kOurCity = 1134, kCityAttackedBy = 1135,
  kDefendedEnd = 1136, kShipAttacked = 1144, kAndSunk = 1145, kNotSunk = 1146, kSeaAttacked = 1147,
  kOnSeaCoordinates = 1155, kOurShip = 1156, kPlundered = 1273, kOurShipSunk = 1274, kCaptured = 1275,
  kPirateSunk = 1278, kPirates = 1279, kLight = 915, kSevere = 914,
};

// Appends formatted text to a bounded buffer; what does not fit is cut.
struct Report {
  char* out;
  uint32_t size, len;
  ReportTextFn text;
  void Add(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    if (len + 1 >= size) return;
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(out + len, size - len, fmt, ap);
    va_end(ap);
    if (n > 0) len = len + (uint32_t)n < size ? len + (uint32_t)n : size - 1;
  }
  const char* T(uint32_t id) const {
    const char* s = text ? text(id) : nullptr;
    return s ? s : "";
  }
  void Text(uint32_t id) { Add(" %s", T(id)); }
  void Sentence(uint32_t id) { Add(" %s.", T(id)); }
  // The own side's losses on land: the grade, "and our casualties", how
  // many.
  void Losses(uint32_t depletion, uint32_t dead, uint32_t alive);
};

void Report::Losses(uint32_t depletion, uint32_t dead, uint32_t alive) {
  Text(LandGrade(depletion));
  Text(kOurCasualties);
  Sentence(CasualtyGrade(dead, alive));
}

bool IsSeaFight(uint32_t kind) { return kind == KRIEG_SEA_SUNK || kind == KRIEG_SEA_DAMAGED; }

}  // namespace

bool KriegsInTab(uint32_t kind, uint32_t tab) {
  switch (tab) {
    case NEWS_TAB_LAND: return kind <= KRIEG_LAND_UNDECIDED;
    case NEWS_TAB_TOWNS: return kind == KRIEG_TOWN_ATTACKER || kind == KRIEG_TOWN_DEFENDER;
    case NEWS_TAB_SEA: return kind >= KRIEG_SEA_SUNK && kind <= KRIEG_SEA_DEFENDED;
    default: return false;
  }
}

int16_t WrapReportIndex(int32_t index, uint32_t count) {
  if (count == 0) return 0;
  if (index < 0) return (int16_t)(count - 1);
  if ((uint32_t)index >= count) return 0;
  return (int16_t)index;
}

uint32_t LandGrade(uint32_t depletion) { return depletion < 4 ? 915 : depletion < 8 ? 916 : 914; }

uint32_t CasualtyGrade(uint32_t dead, uint32_t alive) {
  const uint64_t all = (uint64_t)dead + alive;
  const uint64_t p = all ? (uint64_t)dead * 100 / all : 0;
  if (p < 17) return 917;
  if (p < 34) return 918;
  if (p < 50) return 919;
  if (p < 67) return 920;
  if (p < 84) return 922;
  return 923;
}

uint32_t SeaGrade(uint32_t damage, uint32_t ship_class) {
  if (damage == ship_class) return 914;
  return 2ull * damage > ship_class ? 916 : 915;
}

uint32_t ShipDamage(uint32_t damage, uint32_t ship_class) {
  if (damage == ship_class) return 1160;
  if (2ull * damage > ship_class) return 1159;
  if (4ull * damage > ship_class) return 1158;
  return 1157;
}

void BuildBattleReport(const void* krig, uint32_t tab, int16_t* index, uint32_t own_id, ReportTextFn text,
                       ReportNameFn name, char* out, uint32_t size, KriegsEintrag* record, BattleReportInfo* info) {
  BattleReportInfo none{};
  if (!info) info = &none;
  *info = BattleReportInfo{};
  if (!out || size == 0) return;
  out[0] = 0;
  Report r{out, size, 0, text};
  const uint32_t total = KriegsCount(krig);
  for (uint32_t i = 0; i < total; ++i) {
    KriegsEintrag k;
    if (GetKriegsEintrag(krig, i, &k) && KriegsInTab(k.kind, tab)) info->count++;
  }
  if (info->count == 0) {
    r.Add(krig && tab == NEWS_TAB_SEA ? " %s %s," : " %s %s,\n\n", r.T(kMy), r.T(kLord));
    r.Add("%s", r.T(kNoFights));
    return;
  }
  const int16_t at = WrapReportIndex(index ? *index : 0, info->count);
  if (index) *index = at;
  KriegsEintrag k{};
  for (uint32_t i = 0, seen = 0; i < total; ++i) {
    if (!GetKriegsEintrag(krig, i, &k) || !KriegsInTab(k.kind, tab)) continue;
    if (seen++ == (uint32_t)at) break;
  }
  info->found = 1;
  if (record) *record = k;
  const uint32_t x = k.target.x, y = k.target.y;
  const bool own = k.attacker.owner == own_id;
  char attacker[40] = {}, defender[40] = {};
  if (name) {
    name(k.attacker.owner, attacker);
    name(k.target.owner, defender);
    attacker[39] = defender[39] = 0;
  }
  const bool sea = IsSeaFight(k.kind);
  r.Add(sea ? "%s %u %s %u\n\n" : " %s %u %s %u\n\n", r.T(kFight), (unsigned)at + 1, r.T(kOf), info->count);
  r.Add(sea ? "%s %s," : " %s %s,", r.T(kMy), r.T(kLord));
  if (tab == NEWS_TAB_LAND || tab == NEWS_TAB_TOWNS) {
    const bool towns = tab == NEWS_TAB_TOWNS;
    if (own) {
      if (towns)
        r.Add(" %s X: %u %s Y: %u %s %s", r.T(kWeAttacked), x, r.T(kAnd), y, r.T(kACity), r.T(kFightingWas));
      else
        r.Add(" %s X: %u %s Y: %u %s %s %s", r.T(kWeAttacked), x, r.T(kAnd), y, r.T(kLandEnemy), defender,
              r.T(kFightingWas));
      r.Losses(k.depletionA, k.deadA, k.aliveA);
      r.Text(towns ? kOwnTownEnd : kOwnLandEnd);
      r.Text(k.kind == (towns ? KRIEG_TOWN_ATTACKER : KRIEG_LAND_ATTACKER) ? kOwnWon : kOwnLost);
    } else {
      if (towns)
        r.Add(" %s X:%u %s Y:%u %s %s %s", r.T(kOurCity), x, r.T(kAnd), y, r.T(kCityAttackedBy), attacker,
              r.T(kFightingWas));
      else
        r.Add(" %s %s %s X: %u %s Y: %u %s", r.T(kWeWereAttacked), attacker, r.T(kOnCoordinates), x, r.T(kAnd), y,
              r.T(kFightingWas));
      r.Losses(k.depletionD, k.deadD, k.aliveD);
      r.Text(kDefendedEnd);
      r.Text(!towns && k.kind == KRIEG_LAND_ATTACKER ? kLostEnd : kHeldEnd);
    }
    r.Text(kLookAtMap);
    info->picture = 1;
  } else if (sea) {
    if (own) {
      r.Add(" %s X: %u %s Y: %u %s %s", r.T(kSeaAttacked), x, r.T(kAnd), y, defender, r.T(kFightingWas));
      r.Sentence(SeaGrade(k.depletionA, k.classA));
      r.Text(kShipAttacked);
      r.Text(k.kind == KRIEG_SEA_SUNK ? kAndSunk : kNotSunk);
      r.Text(kOurShip);
      r.Text(ShipDamage(k.depletionA, k.classA));
    } else {
      r.Add(" %s %s %s X:%u %s Y:%u %s", r.T(kWeWereAttacked), attacker, r.T(kOnSeaCoordinates), x, r.T(kAnd), y,
            r.T(kFightingWas));
      r.Sentence(SeaGrade(k.depletionD, k.classD));
      r.Text(kOurShip);
      r.Sentence(ShipDamage(k.depletionD, k.classD));
    }
    r.Text(kLookAtMap);
    info->picture = 1;
  } else if (own) {  // pirates, met by an own ship's attack
    r.Add(" %s X:%u %s Y:%u %s %s.", r.T(kSeaAttacked), x, r.T(kAnd), y, defender, r.T(kPlundered));
    r.Text(k.kind == KRIEG_SEA_DEFENDED ? kOurShipSunk : kCaptured);
  } else {  // pirates attacked an own ship
    r.Add(" %s %s %s X:%u %s Y:%u %s", r.T(kWeWereAttacked), r.T(kPirates), r.T(kOnSeaCoordinates), x, r.T(kAnd), y,
          r.T(kFightingWas));
    r.Sentence(k.kind == KRIEG_SEA_DEFENDED ? kLight : kSevere);
    r.Text(k.kind == KRIEG_SEA_DEFENDED ? kPirateSunk : kOurShipSunk);
  }
}

void CentreBattleMap(uint32_t x, uint32_t y, uint32_t* view_x, uint32_t* view_y, uint32_t* part_x,
                     uint32_t* part_y) {
  const int64_t cx = (int64_t)(x % kWorldX) - (x % 2 ? 1 : 0);
  const int64_t cy = (int64_t)(y % kWorldY) - 1;
  const uint32_t wx = (uint32_t)((cx % kWorldX + kWorldX) % kWorldX);
  const uint32_t wy = (uint32_t)((cy % kWorldY + kWorldY) % kWorldY);
  if (view_x) *view_x = wx;
  if (view_y) *view_y = wy;
  if (part_x) *part_x = wx / kPartW;
  if (part_y) *part_y = wy / kPartH;
}
