// The construction screen's orders: starting a construction with its checks
// and deductions, the list of building sites, the demolition dialogue and
// the rules of what may be torn down. See bau.h and docs/construction.md.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bau_internal.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/boxes.h"
#include "routinen/media/movie.h"
#include "routinen/system/catalog.h"
#include "routinen/system/memory.h"
#include "screens/common/orders.h"

namespace {

constexpr uint32_t kLine = 80;  // bytes of a choice line
constexpr uint32_t kGranaryMillLimit = 20;  // as catalog 650 says
constexpr uint32_t kWood = 98, kStone = 99;
constexpr int32_t kChooseX = 336, kChooseY = 220;

// A building a higher one forbids to tear down while it stands in the town.
const uint16_t kHigher[][2] = {{15, 108}, {19, 48},  {22, 78},  {23, 96},  {25, 49},  {48, 57},   {50, 56},
                               {55, 108}, {56, 115}, {57, 162}, {78, 160}, {96, 163}, {108, 139}, {139, 231}};

// The site-list name; a higher level is named by its line's building.
const char* SiteName(uint32_t building) {
  const int32_t row = BauKatalogRow(BauLineHead(building));
  return row >= 0 ? GetCatalogStr(BauKatalog(static_cast<uint32_t>(row))->siteName) : nullptr;
}

uint16_t TownId(const BauScreenData* d) { return d->town ? static_cast<uint16_t>(d->town->id) : 0; }

// The record's lines of the site list.
void AddBaustelleText(const BauScreenData* d, std::string* t, const BaustellenData* recs, uint32_t count,
                      bool this_town) {
  const uint16_t here = TownId(d);
  for (uint32_t i = 0; i < count; ++i) {
    const BaustellenData& b = recs[i];
    if ((b.town == here) != this_town) continue;
    *t += "1 ";
    if (const char* name = SiteName(b.building)) *t += name;
    char buf[256];
    if (b.buildTime == kTearDown) {
      std::snprintf(buf, sizeof buf, "\n%s", GetCatalogStr(1359));
      *t += buf;
      continue;
    }
    const uint64_t q = static_cast<uint64_t>(b.year) * 4 + b.quarter + b.buildTime;
    const uint64_t now = static_cast<uint64_t>(d->year) * 4 + d->quarter;
    // A site whose quarter has passed has 0 months left.
    const uint64_t months = q > now ? (q - now) * 3 : 0;
    std::snprintf(buf, sizeof buf, "\n%s : %u %s ", GetCatalogStr(545),
                  static_cast<uint32_t>(months > 0xFFFF ? 0xFFFF : months), GetCatalogStr(546));
    *t += buf;
    *t += GetCatalogStr(175 + static_cast<uint32_t>(q % 4));
    std::snprintf(buf, sizeof buf, " %s %u...\n\n", GetCatalogStr(547), static_cast<uint32_t>(q / 4));
    *t += buf;
  }
}

// The number of GEBA records of a building in the town, sites and marked ones included.
uint32_t StandingOfType(BauScreenData* d, uint32_t building) {
  uint32_t n = 0;
  for (uint32_t i = 0, count = GebaCount(d->geba); i < count; ++i) {
    const BaustellenData b = GetBaustelle(GebaRecord(d->geba, i));
    if (b.building == building && b.town == TownId(d)) ++n;
  }
  return n;
}

// Takes need from the store's records of a goods ID in list order, never below 0.
void TakeGoods(ListHeader* goods, uint32_t id, uint32_t need) {
  ListNode* n = goods ? goods->first : nullptr;
  for (uint32_t i = 0; n && need && i < goods->count; ++i, n = n->next) {  // the list is a ring
    auto* w = reinterpret_cast<WarenListenEntry*>(n);
    if (w->kind != 5 || w->goods != id) continue;
    const uint32_t take = w->quantity < need ? w->quantity : need;
    w->quantity -= take;
    need -= take;
  }
}

char* CopyOut(const std::string& t) {
  char* out = static_cast<char*>(AllocVec(static_cast<uint32_t>(t.size() + 1), MEMF_PUBLIC));
  if (out) std::memcpy(out, t.c_str(), t.size() + 1);
  return out;
}

}  // namespace

uint32_t CountBuildingsOfType(const BauScreenData* d) {
  const uint16_t here = TownId(d);
  const uint32_t id = static_cast<uint16_t>(d->building);
  uint32_t n = 0;
  for (uint32_t i = 0, count = GebaCount(d->geba); i < count; ++i) {
    const BaustellenData b = GetBaustelle(GebaRecord(const_cast<uint8_t*>(d->geba), i));
    if (b.building == id && b.town == here) ++n;
  }
  for (uint32_t i = 0; i < d->newCount; ++i)
    if (d->newOrders[i].building == id && d->newOrders[i].town == here) ++n;
  for (uint32_t i = 0; i < d->oldCount; ++i)
    if (d->oldOrders[i].building == id && d->oldOrders[i].town == here) ++n;
  return n;
}

int32_t InitBaustellenData(BauScreenData* d) {
  if (!OrdersAllowed(d->accountState)) return 1;
  if (BauMessage(d, 1, 451) != 0) return 1;
  if (d->treasury < d->cost.price || d->cost.wood > d->wood || d->cost.stone > d->stone) {
    BauMessage(d, 0, 524);
    return 1;
  }
  const uint32_t n = CountBuildingsOfType(d);
  const uint16_t id = static_cast<uint16_t>(d->building);
  if ((id == 0 || id == 1) && n >= kGranaryMillLimit) {
    BauMessage(d, 0, 650);
    return 0;
  }
  if (id == 98 && n >= 20) {
    BauMessage(d, 0, 650);
    return 0;
  }
  if (id != 0 && id != 1 && id != 98 && n >= 1) {
    BauMessage(d, 0, 525);
    return 0;
  }
  auto* grown = static_cast<BaustellenData*>(AllocVec((d->newCount + 1u) * sizeof(BaustellenData), MEMF_PUBLIC));
  if (!grown) {
    DebugLog("InitBaustellenData : Konnte Speicher f\xFCr BaustellenData nicht allokieren...\n");
    return 1;
  }
  DebugLog("Anzahl der Baustellen %u\n", n);
  d->treasury -= d->cost.price;
  TakeGoods(d->goods, kWood, d->cost.wood);
  TakeGoods(d->goods, kStone, d->cost.stone);
  d->wood -= d->cost.wood;
  d->stone -= d->cost.stone;
  DrawBauPanels(d);
  if (d->newCount) std::memcpy(grown, d->newOrders, d->newCount * sizeof(BaustellenData));
  BaustellenData& b = grown[d->newCount];
  b.building = id;
  b.year = static_cast<uint16_t>(d->year);
  b.quarter = d->quarter;
  b.buildTime = static_cast<uint16_t>(d->cost.time > 0xFFFE ? 0xFFFE : d->cost.time);
  b.price = d->cost.price;
  b.upkeep = static_cast<uint16_t>(d->cost.upkeep > 0xFFFF ? 0xFFFF : d->cost.upkeep);
  b.town = TownId(d);
  FreeVec(d->newOrders);
  d->newOrders = grown;
  ++d->newCount;
  if (id != 0 && id != 1 && d->town) d->town->buildings[id].flags |= BUILDING_ORDERED;
  return 1;
}

char* BauSiteListText(const BauScreenData* d) {
  if (!d->newCount && !d->oldCount) return nullptr;
  const std::string dashes = std::string(64, '-') + "\n";
  std::string t = GetCatalogStr(526);
  t += GetCatalogStr(1354);
  t += dashes;
  AddBaustelleText(d, &t, d->newOrders, d->newCount, true);
  AddBaustelleText(d, &t, d->oldOrders, d->oldCount, true);
  t += GetCatalogStr(1355);
  t += dashes;
  AddBaustelleText(d, &t, d->newOrders, d->newCount, false);
  AddBaustelleText(d, &t, d->oldOrders, d->oldCount, false);
  return CopyOut(t);
}

int32_t ShowBaustellenData(BauScreenData* d) {
  if (!d->newCount && !d->oldCount) {
    BauMessage(d, 0, 527);
    return 1;
  }
  char* text = BauSiteListText(d);
  if (!text) {
    DebugLog("ShowBaustellenData : Konnte Speicher f\xFCr BaustellenData nicht allokieren...\n");
    return 0;
  }
  SetMovieMode(d->movie, 1);
  TextBox(text);
  SetMovieMode(d->movie, 0);
  FreeVec(text);
  return 1;
}

int32_t AddDemolitionOrder(BauScreenData* d, const BaustellenData* b) {
  auto* grown = static_cast<BaustellenData*>(AllocVec((d->newCount + 1u) * sizeof(BaustellenData), MEMF_PUBLIC));
  if (!grown) {
    DebugLog("SendBuildingDemolition : Konnte Speicher f\xFCr BaustellenData nicht allokieren...\n");
    return 0;
  }
  if (d->newCount) std::memcpy(grown, d->newOrders, d->newCount * sizeof(BaustellenData));
  grown[d->newCount] = *b;
  grown[d->newCount].buildTime = kTearDown;
  FreeVec(d->newOrders);
  d->newOrders = grown;
  ++d->newCount;
  return 1;
}

int32_t CheckDemolition(BauScreenData* d, const BaustellenData* s) {
  const uint32_t id = s->building;
  DebugLog("CheckDemolition: Geb\xE4udeID %u ...\n", id);
  if (s->buildTime == kTearDown) {
    DebugLog("CheckDemolition: Geb\xE4ude ist Baustelle! Quit\n");
    return 0;
  }
  if ((id == 14 || id == 15 || id == 97 || id == 166 || id == 222) && d->town && d->town->kind != 0) {
    DebugLog("CheckDemolition: Geb\xE4ude ist Taverne oder B\xFCrgerhaus in Hauptstadt! Quit\n");
    return 0;
  }
  for (uint32_t i = 0; i < d->newCount; ++i) {
    const BaustellenData& o = d->newOrders[i];
    if (o.buildTime == kTearDown && o.building == s->building && o.year == s->year && o.quarter == s->quarter &&
        o.price == s->price && o.upkeep == s->upkeep && o.town == s->town) {
      DebugLog("CheckDemolition: Daten zur Abreissen des Geb\xE4udes existieren bereits...\n");
      return 0;
    }
  }
  for (const auto& h : kHigher)
    if (h[0] == id && d->geba && CheckOtherBuilding(d->geba, h[1], s->town)) {
      DebugLog("CheckDemolition: Geb\xE4ude kann nicht abgerissen werden wegen h\xF6herem Geb\xE4ude %u  ...\n", h[1]);
      return 0;
    }
  // The last of its type: a granary or mill when only one stands in the town
  // (every record of the town counts, also one marked in this visit).
  const uint32_t last = (id == 0 || id == 1) ? (StandingOfType(d, id) == 1 ? 1 : 0) : 1;
  DebugLog("CheckDemolition: von dem Typ sind noch %u vorhanden...\n", last);
  const uint16_t* line = nullptr;
  for (uint32_t r = 0; r < kBauKetteRows && !line; ++r)
    for (int s2 = 0; s2 < 4; ++s2)
      if ((s2 == 0 || BauKette[r][s2]) && BauKette[r][s2] == id) {
        line = BauKette[r];
        DebugLog("CheckDemolition: Eintrag %u bei Tabelle_MW gefunden ...\n", r);
        break;
      }
  if (!d->town) return 1;
  for (uint32_t j = 0; j < TOWN_BUILDINGS; ++j) {
    const TownBuilding& e = d->town->buildings[j];
    bool depends = false;
    for (uint16_t slot : e.buildings) {
      if (!slot) continue;
      if (line) {
        for (int m = 0; m < 4; ++m)
          if ((m == 0 || line[m]) && slot == line[m] + 1u) depends = true;
      } else if (slot == id + 1u) {
        depends = true;
      }
    }
    if (!depends) continue;
    DebugLog(line ? "CheckDemolition: Eintrag 1 in StadtStruktur gefunden  GebID %u...\n"
                  : "CheckDemolition: Eintrag 2 in StadtStruktur gefunden  GebID %u...\n",
             j);
    if (id == 0 && line) DebugLog("i1 %u\n", j);
    if (!(e.flags & (BUILDING_STANDS | BUILDING_ORDERED)) || !last) continue;
    DebugLog("CheckDemolition: This building is valid ...\n");
    bool higher_member = false;
    if (line && line[0] == id)
      for (int m = 1; m < 4; ++m)
        if (line[m] && line[m] == j) higher_member = true;
    if (higher_member) return 1;
    DebugLog("CheckDemolition: Geb\xE4udeID %u verhindert das abreissen...\n", j);
    return 0;
  }
  return 1;
}

uint32_t BauDemolitionOffer(BauScreenData* d, char** lines, int32_t** records, uint32_t counts[2]) {
  *lines = nullptr;
  *records = nullptr;
  counts[0] = counts[1] = 0;
  const uint32_t n = GebaCount(d->geba);
  std::string text(2 * kLine, '\0');
  std::string index;
  std::vector<int32_t> recs = {-1, -1};
  for (int32_t id = 234; id >= 0; --id)
    for (uint32_t i = 0; i < n; ++i) {
      const BaustellenData b = GetBaustelle(GebaRecord(d->geba, i));
      if (b.building != id || b.town != TownId(d) || b.buildTime == kTearDown || !CheckDemolition(d, &b)) continue;
      if (id == 0 || id == 1) {
        ++counts[id];
        continue;
      }
      char line[kLine] = {};
      const char* name = SiteName(b.building);
      if (!name) DebugLog("ShowBuildingData : Geb\xE4ude Nr.: %u is unknown...\n", b.building);
      std::snprintf(line, sizeof line, "%s(%u GS)", name ? name : "", b.upkeep);
      DebugLog("GebName  %s\n", line);
      text.append(line, kLine);
      recs.push_back(static_cast<int32_t>(i));
    }
  std::snprintf(&text[0], kLine, "%u %s", counts[0], GetCatalogStr(596));
  std::snprintf(&text[kLine], kLine, "%u %s", counts[1], GetCatalogStr(597));
  const uint32_t count = static_cast<uint32_t>(recs.size());
  *lines = static_cast<char*>(AllocVec(count * kLine, MEMF_PUBLIC | MEMF_CLEAR));
  *records = static_cast<int32_t*>(AllocVec(count * sizeof(int32_t), MEMF_PUBLIC));
  if (!*lines || !*records) {
    FreeVec(*lines);
    FreeVec(*records);
    *lines = nullptr;
    *records = nullptr;
    DebugLog("SendBuildingDemolition : Konnte Speicher nicht allokieren !");
    return 0;
  }
  std::memcpy(*lines, text.data(), count * kLine);
  std::memcpy(*records, recs.data(), count * sizeof(int32_t));
  return count;
}

uint32_t BauDemolish(BauScreenData* d, uint32_t line, const int32_t* records, uint32_t quantity) {
  auto order = [&](uint32_t i) {
    uint8_t* rec = GebaRecord(d->geba, i);
    BaustellenData b = GetBaustelle(rec);
    DebugLog("Ausgew\xE4hltes Geb\xE4ude zum abreissen: %u\n", static_cast<uint32_t>(b.building));
    b.buildTime = kTearDown;
    PutBaustelle(rec, b);  // not offered again in this visit
    return AddDemolitionOrder(d, &b);
  };
  if (line >= 2) return records[line] >= 0 && order(static_cast<uint32_t>(records[line])) ? 1 : 0;
  uint32_t done = 0;
  for (uint32_t i = 0, n = GebaCount(d->geba); i < n && done < quantity; ++i) {
    const BaustellenData b = GetBaustelle(GebaRecord(d->geba, i));
    if (b.building != line || b.town != TownId(d) || b.buildTime == kTearDown || !CheckDemolition(d, &b)) continue;
    if (!order(i)) break;
    ++done;
  }
  return done;
}

int32_t SendBuildingDemolition(BauScreenData* d) {
  if (!d->geba) return 0;
  char* lines = nullptr;
  int32_t* records = nullptr;
  uint32_t counts[2];
  const uint32_t count = BauDemolitionOffer(d, &lines, &records, counts);
  if (!count) return 0;
  SetMovieMode(d->movie, 1);
  // The box (304 x 260) wholly on the screen, its buttons within reach.
  const int32_t choice = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", kChooseX, kChooseY, count, GetCatalogStr(1357), lines,
                                 GetCatalogStr(1358));
  if (choice >= 0 && static_cast<uint32_t>(choice) < count) {
    const uint32_t line = static_cast<uint32_t>(choice);
    if (line >= 2) {
      BauDemolish(d, line, records, 1);
    } else if (counts[line] > 0) {
      char number[5] = {};
      if (EingabeBox(number, sizeof number, 168, 180, GetCatalogStr(1461), GetCatalogStr(1462), EINGABE_DIGITS))
        BauDemolish(d, line, records, static_cast<uint32_t>(std::strtoul(number, nullptr, 10)));
    }
  }
  SetMovieMode(d->movie, 0);
  FreeVec(lines);
  FreeVec(records);
  return 1;
}
