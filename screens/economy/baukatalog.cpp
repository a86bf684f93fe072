// The construction screen's catalogue: the 38 buildings with their pictures,
// texts and base costs, the turn's cost file, the requirement text and the
// drawing of one building. See bau.h and docs/construction.md.
#include <cstdio>
#include <cstring>
#include <string>

#include "bau_internal.h"
#include "platform/log.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "screens/common/orders.h"

namespace {

// Rows in catalogue order: ID, name, picture, description, site-list name
// (the base costs are the game data's, routinen/gamedata/towns.h).
const BauKatalogZeile kKatalog[kBauKatalogRows] = {
    {0, 59, 344, 444, 528},
    {1, 440, 345, 443, 529},
    {2, 479, 363, 494, 530},
    {14, 480, 376, 495, 543},
    {15, 481, 364, 496, 531},
    {16, 482, 367, 497, 534},
    {17, 483, 374, 498, 541},
    {19, 484, 365, 499, 532},
    {20, 485, 372, 500, 539},
    {21, 486, 366, 501, 533},
    {22, 487, 377, 502, 544},
    {23, 488, 369, 503, 536},
    {24, 489, 373, 504, 540},
    {25, 490, 370, 505, 537},
    {26, 491, 371, 506, 538},
    {27, 492, 375, 507, 542},
    {47, 493, 368, 508, 535},
    {48, 989, 494, 991, 990},
    {49, 992, 495, 994, 993},
    {50, 995, 496, 997, 996},
    {51, 998, 497, 1000, 999},
    {55, 1040, 565, 1039, 1038},
    {96, 1044, 783, 1043, 1042},
    {57, 1048, 773, 1047, 1046},
    {98, 1052, 784, 1051, 1050},
    {56, 1056, 772, 1055, 1054},
    {78, 1060, 775, 1059, 1058},
    {108, 1064, 785, 1063, 1062},
    {95, 1068, 782, 1067, 1066},
    {91, 1072, 777, 1071, 1070},
    {115, 1076, 787, 1075, 1074},
    {139, 1080, 774, 1079, 1078},
    {158, 1084, 778, 1083, 1082},
    {160, 1088, 779, 1087, 1086},
    {163, 1092, 781, 1091, 1090},
    {162, 1096, 780, 1095, 1094},
    {195, 1100, 776, 1099, 1098},
    {231, 1104, 786, 1103, 1102},
};

// The research fields in the text's order: catalog name and FORS index.
const struct {
  uint16_t name;
  uint8_t field;
} kResearch[7] = {{193, 0}, {192, 1}, {197, 2}, {194, 3}, {196, 4}, {198, 5}, {195, 6}};

constexpr int32_t kPicX = 64, kPicY = 75, kPicX2 = 287, kPicY2 = 274;
constexpr int32_t kTextX = 349, kTextY = 74, kTextW = 226, kTextH = 262;
constexpr int32_t kSliderX = 583, kSliderY = 103, kSliderW = 14, kSliderH = 204;
// The text's pens (background, text) in the kit's palette.
constexpr uint32_t kPenParchment = 5, kPenInk = 7, kPenGreyBack = 4, kPenGreyText = 2;
constexpr int32_t kTitleX = 387, kTitleY = 344, kTitleW = 144, kTitleH = 18;

uint32_t Put(uint8_t* p, const GebaeudeKosten& k) {
  PutLE32(p, k.price);
  PutLE32(p + 4, k.time);
  PutLE32(p + 8, k.upkeep);
  PutLE32(p + 12, k.wood);
  PutLE32(p + 16, k.stone);
  return 20;
}

std::string Printf(const char* format, const char* text, uint32_t value) {
  char buf[512];
  std::snprintf(buf, sizeof buf, format, text, value);
  return buf;
}

}  // namespace

const BauKatalogZeile* BauKatalog(uint32_t row) { return row < kBauKatalogRows ? &kKatalog[row] : nullptr; }

uint32_t BauLineHead(uint32_t v) {
  for (const auto& line : BauKette)
    for (int s = 0; s < 4; ++s)
      if ((s == 0 || line[s]) && line[s] == v) return line[0];
  return v;
}

int32_t BauKatalogRow(uint32_t building) {
  for (uint32_t r = 0; r < kBauKatalogRows; ++r)
    if (kKatalog[r].id == building) return static_cast<int32_t>(r);
  return -1;
}

GebaeudeKosten DrawBuildingCosts(const BauKatalogZeile* row, uint32_t confidence) {
  const BuildingBaseCost* b = FindBuildingBaseCost(row->id);
  if (!b) return GebaeudeKosten{};
  GebaeudeKosten k{b->price, b->time, b->upkeep, b->wood, b->stone};
  k.price = CostAtConfidence(k.price, confidence);
  k.price = k.price - k.price / 200 + BauRandom(k.price / 100);
  k.upkeep = CostAtConfidence(k.upkeep, confidence);
  k.upkeep = k.upkeep - k.upkeep / 200 + BauRandom(k.upkeep / 100);
  return k;
}

int32_t GetBuildingData(BauScreenData* d) {
  const uint32_t row = d->row >= 0 && d->row < static_cast<int16_t>(kBauKatalogRows) ? d->row : 0;
  if (GeFileSize(kBauCostFile) != kBauCostFileSize) {
    if (!OrdersAllowed(d->accountState)) {
      // Without a game nothing is written: the row is drawn for the look only.
      d->cost = DrawBuildingCosts(&kKatalog[row], d->confidence);
      return 1;
    }
    DeleteFileA(kBauCostFile);
    uint8_t image[kBauCostFileSize];
    for (uint32_t r = 0; r < kBauKatalogRows; ++r) Put(image + 20 * r, DrawBuildingCosts(&kKatalog[r], d->confidence));
    if (!SaveMem2File(kBauCostFile, image, sizeof image)) {
      DebugLog("GetBuildingData : Konnte Daten nicht anlegen...\n");
      return 0;
    }
  }
  FileHandle f = Open(kBauCostFile, MODE_READONLY);
  uint8_t rec[20];
  const bool ok = f && Seek(f, static_cast<int32_t>(20 * row), OFFSET_BEGINNING) >= 0 && Read(f, rec, 20) == 20;
  if (f) Close(f);
  if (!ok) {
    DebugLog("GetBuildingData : Konnte Daten nicht lesen...\n");
    return 0;
  }
  d->cost = GebaeudeKosten{GetLE32(rec), GetLE32(rec + 4), GetLE32(rec + 8), GetLE32(rec + 12), GetLE32(rec + 16)};
  return 1;
}

char* BauRequirementText(const st_TOWN* town, uint32_t building) {
  if (!town || building >= TOWN_BUILDINGS) return nullptr;
  const TownBuilding& e = town->buildings[building];
  std::string t = GetCatalogStr(1529);
  for (int i = 0; i < 7; ++i)
    t += Printf(i == 6 ? "%s: %u\n\n" : "%s: %u\n", GetCatalogStr(kResearch[i].name), e.research[kResearch[i].field]);
  t += Printf("%s: %u\n", GetCatalogStr(1530), e.population);
  t += Printf("%s: %u\n\n", GetCatalogStr(1531), e.level);
  t += GetCatalogStr(1532);
  t += ":";
  uint32_t names = 0;
  for (uint16_t slot : e.buildings) {
    if (!slot) continue;
    const int32_t row = BauKatalogRow(BauLineHead(slot - 1u));
    if (row < 0) continue;
    t += names++ ? ", " : " ";
    t += GetCatalogStr(kKatalog[row].name);
  }
  if (!names) t += std::string(" ") + GetCatalogStr(1810);  // none
  t += "\n\n";
  const int32_t row = BauKatalogRow(building);
  if (row >= 0) t += GetCatalogStr(kKatalog[row].description);
  char* out = static_cast<char*>(AllocVec(static_cast<uint32_t>(t.size() + 1), MEMF_PUBLIC));
  if (out) std::memcpy(out, t.c_str(), t.size() + 1);
  return out;
}

int32_t StepBuilding(BauScreenData* d, int32_t direction) {
  int32_t id = d->building;
  if (id > 234) id = 0;
  if (id < 0) id = 234;
  auto listable = [&](int32_t b) {
    return BauKatalogRow(static_cast<uint32_t>(b)) >= 0 && CheckTownEnv(d->town, d->fors, static_cast<uint32_t>(b), 0);
  };
  if (listable(id)) {
    d->building = static_cast<int16_t>(id);
    return 1;
  }
  for (int i = 0; i < 234; ++i) {
    id = direction ? (id == 234 ? 0 : id + 1) : (id == 0 ? 234 : id - 1);
    if (listable(id)) {
      d->building = static_cast<int16_t>(id);
      return 1;
    }
  }
  return 0;
}

void DrawBauPanels(BauScreenData* d) {
  RastPort* rp = ScreenRastPort();
  if (!rp || !d->region) return;
  char text[7][32];
  std::snprintf(text[0], sizeof text[0], "%u", d->treasury);
  std::snprintf(text[1], sizeof text[1], "%u", d->cost.time);
  std::snprintf(text[2], sizeof text[2], "%u", d->cost.upkeep);
  std::snprintf(text[3], sizeof text[3], "%u", d->confidence);
  std::snprintf(text[4], sizeof text[4], "%u", d->cost.price);
  std::snprintf(text[5], sizeof text[5], "%u/%u", d->cost.wood, d->wood);
  std::snprintf(text[6], sizeof text[6], "%u/%u", d->cost.stone, d->stone);
  const uint32_t pen = rp->APen;
  for (uint32_t i = 0; i < 7; ++i) {
    const ValueField* v = GetLayoutValue(d->region, i);
    if (!v) continue;
    const uint32_t w = v->x2 - v->x1 + 1u, h = v->y2 - v->y1 + 1u;
    // The panel's ground, saved once, comes back under each new value.
    if (!d->panels[i]) {
      d->panels[i] = SaveBackground(v->x1, v->y1, w, h);
    } else {
      RestoreBackground(d->panels[i], v->x1, v->y1, w, h);
      d->panels[i] = SaveBackground(v->x1, v->y1, w, h);
    }
    TextArea area{v->x1, v->y1, v->x2, v->y2, 0, nullptr};
    SetAPen(rp, v->textPen);
    PrintButtonText(rp, &area, text[i]);
  }
  SetAPen(rp, pen);
}

int32_t SetBuilding(BauScreenData* d) {
  const int32_t found = BauKatalogRow(static_cast<uint32_t>(d->building));
  if (found >= 0) d->row = static_cast<int16_t>(found);
  if (!GetBuildingData(d)) return 0;
  const BauKatalogZeile& z = kKatalog[d->row];
  RastPort* rp = ScreenRastPort();
  if (!rp) return 0;
  // 1. The title on its plaque.
  if (d->titleBackground) {
    RestoreBackground(d->titleBackground, kTitleX, kTitleY, kTitleW, kTitleH);
    d->titleBackground = SaveBackground(kTitleX, kTitleY, kTitleW, kTitleH);
  }
  const ScreenRecordList& texts = d->region ? d->region->types[LAYOUT_TEXTAREA] : ScreenRecordList{};
  if (texts.count) {
    const TextArea* t = static_cast<const TextArea*>(texts.first) + (texts.count - 1);
    PrintTextOutlined(rp, t->x1, t->y1, t->x2, t->y2, GetCatalogStr(z.name), 0, 7,
                      PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
    ShowScreenRect(rp, t->x1, t->y1, t->x2 - t->x1 + 1, t->y2 - t->y1 + 1);
  }
  // 2. The picture area cleared, the old text gone.
  SetAPen(rp, 0);
  RectFill(rp, kPicX, kPicY, kPicX2, kPicY2);
  SetAPen(rp, 7);
  ShowScreenRect(rp, kPicX, kPicY, kPicX2 - kPicX + 1, kPicY2 - kPicY + 1);
  if (d->req) FreeRequesterBox(d->req);
  d->req = nullptr;
  FreeVec(d->text);
  // 3. The text: requirements and description, in a buffer as long as it needs.
  d->text = BauRequirementText(d->town, static_cast<uint32_t>(d->building));
  if (!d->text) {
    DebugLog("InitBaustellenData : Konnte Speicher f\xFCr BaustellenData nicht allokieren...\n");
    return 1;
  }
  // 4. and 5. The text requester and its slider: ink on parchment when the
  // building can be built now, grey on grey when not.
  const bool can = CheckTownEnv(d->town, d->fors, static_cast<uint32_t>(d->building), 1) != 0;
  d->req = InitRequesterTextBox(kTextW - 6, d->font, d->text, kTextX, kTextY, kTextW, kTextH,
                                can ? kPenParchment : kPenGreyBack, can ? kPenInk : kPenGreyText, nullptr);
  if (!d->req) {
    DebugLog("SetBuilding : Konnte Requester nicht anlegen\n");
    return 0;
  }
  if (!InitSlider(d->req, kSliderW, kSliderH, 26, 22, 25, 24, kSliderX, kSliderY)) {
    DebugLog("SetBuilding : Konnte Slider nicht anlegen\n");
    return 0;
  }
  // 6. The value panels.
  DrawBauPanels(d);
  // 7. The first drawing of the visit shows the screen.
  if (!d->transitionDone) {
    StartTheTransition();
    WaitTransition();
    d->transitionDone = 1;
  }
  DebugLog("Geb\xE4ude   %u\n", static_cast<uint32_t>(d->row));
  DebugLog("Geb\xE4udeID %u\n", static_cast<uint32_t>(d->building));
  // 9. The animation, else the picture.
  d->movie = d->movieBase ? AnimateGebaeude(d->movieBase, d->movie, static_cast<uint16_t>(d->building), kPicX, kPicY)
                          : nullptr;
  if (!d->movie) {
    SetElmorPalette(".\\Data\\Path", z.picture, 0, 0, 0);
    BlitObjekt(nullptr, z.picture, kPicX, kPicY, 0, 0);
  }
  return 1;
}
