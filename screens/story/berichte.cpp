// The reports screen. See berichte.h.
#include "berichte.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/goods.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"

namespace {

constexpr uint32_t kPicture = 33, kPlaque = 283, kWaterfallSfx = 168, kTitleText = 33;
constexpr uint32_t kMissingText = 1616;  // the advisers have no news on this report
constexpr int32_t kNextScreen = 2;
constexpr uint8_t kCdTrack = 4;
constexpr uint32_t kNumberWidth = 6;
// The report box and its slider.
constexpr int32_t kBoxX = 258, kBoxY = 83, kSliderX = 567, kSliderY = 105;
constexpr uint32_t kBoxW = 292, kBoxH = 257, kBoxPen = 55, kTextPen = 7, kTitlePen = 6;
constexpr uint32_t kSliderW = 14, kSliderH = 215, kKnobPen = 26, kTrackPen = 22, kLightPen = 25, kDarkPen = 24;
// The title plaque and the title in it.
constexpr int32_t kPlaqueX = 313, kPlaqueY = 52, kTitleX1 = 325, kTitleY1 = 59, kTitleX2 = 482, kTitleY2 = 75;
const char* const kGebaeudePath = ".\\Data\\Gebaeude.dat";
const char* const kSpielerListPath = ".\\Data\\SpielerList.qoe";

// A text built piece by piece into a fixed buffer; what does not fit is cut.
struct Report {
  char* p;
  uint32_t size, len;
};

__attribute__((format(printf, 2, 3))) void Add(Report* t, const char* fmt, ...) {
  if (t->len + 1 >= t->size) return;
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(t->p + t->len, t->size - t->len, fmt, ap);
  va_end(ap);
  if (n < 0) return;
  t->len += static_cast<uint32_t>(n);
  if (t->len >= t->size) t->len = t->size - 1;
}

Report Start(char* out, uint32_t size) {
  Report t{out, size, 0};
  if (size) out[0] = 0;
  return t;
}

const char* Cat(uint32_t id) { return GetCatalogStr(id); }

// A chunk (host order) that holds at least `need` bytes, header included.
bool Holds(const uint8_t* c, uint32_t need) {
  return c && uint64_t{ChunkLength(c)} + sizeof(ChunkHeader) >= need;
}

int32_t Missing(Report* t, const char* line) {
  DebugLog("%s", line);
  Add(t, "%s", Cat(kMissingText));
  return 0;
}

// ---- the building report's tables ----

struct BuildingName {
  uint16_t kind, one, many;
};
const BuildingName kBuildingNames[] = {
    {0, 528, 596},    {1, 529, 597},    {2, 530, 598},    {14, 543, 611},   {15, 531, 599},   {16, 534, 602},
    {17, 541, 609},   {19, 532, 600},   {20, 539, 607},   {21, 533, 601},   {22, 544, 612},   {23, 536, 604},
    {24, 540, 608},   {25, 537, 605},   {26, 538, 606},   {27, 542, 610},   {47, 535, 603},   {48, 990, 1001},
    {49, 993, 1002},  {50, 996, 1003},  {51, 999, 1004},  {55, 1038, 1041}, {56, 1054, 1057}, {57, 1046, 1049},
    {78, 1058, 1061}, {91, 1070, 1073}, {95, 1066, 1069}, {96, 1042, 1045}, {98, 1050, 1053}, {108, 1062, 1065},
    {115, 1074, 1077}, {139, 1078, 1081}, {158, 1082, 1085}, {160, 1086, 1089}, {162, 1094, 1097},
    {163, 1090, 1093}, {195, 1098, 1101}, {231, 1102, 1105},
};
constexpr uint32_t kBuildingKinds = 235;
constexpr uint32_t kGebaCount = 16, kGebaRecords = 18, kGebaRecordSize = 16;

const BuildingName* FindBuildingName(uint32_t kind) {
  for (const BuildingName& b : kBuildingNames)
    if (b.kind == kind) return &b;
  return nullptr;
}

// ---- the trade report ----

constexpr uint16_t kOfferKind = 4;
constexpr uint32_t kTradeBytesPerOffer = 21000;

// Blanks before a right-aligned number of a trade line: two per digit short
// of 8, or as many as it has digits from 9 on.
void AddAligned(Report* t, uint32_t value) {
  char digits[12];
  const int n = std::snprintf(digits, sizeof digits, "%u", value);
  const int blanks = n < 8 ? 2 * (8 - n) : n >= 9 ? n : 0;
  Add(t, "%*s", blanks, "");
}

void PlayerName(uint32_t id, ListHeader* players, uint32_t own_id, const char* own_name, char* out) {
  if (id == own_id) {
    std::snprintf(out, 40, "%s", own_name ? own_name : "");
    return;
  }
  if (!players || !FindPlayerNameInList(id, out, players)) std::snprintf(out, 40, "%s", Cat(653));
}

}  // namespace

void FormatBerichtZahl(char* out, uint32_t value, uint32_t width) {
  char digits[12];
  const uint32_t n = static_cast<uint32_t>(std::snprintf(digits, sizeof digits, "%u", value));
  uint32_t blanks = n < width ? 2 * (width - n) : 0;
  if (blanks + n > kBerichtZahlSize - 1) blanks = kBerichtZahlSize - 1 - n;
  std::memset(out, ' ', blanks);
  std::memcpy(out + blanks, digits, n + 1);
}

int32_t MakeContryReport(const uint8_t* land, char* out, uint32_t size) {
  Report t = Start(out, size);
  if (!Holds(land, 90)) return Missing(&t, "ShowContryData : LandChunk nicht vorhanden !\n");
  char n[kBerichtZahlSize];
  Add(&t, "%s", Cat(589));
  struct Line {
    uint64_t value;
    uint32_t text;
  };
  const Line lines[] = {
      {ChunkGet32(land, 14), 590}, {ChunkGet32(land, 18), 591}, {ChunkGet32(land, 22), 592},
      {ChunkGet32(land, 26), 593}, {ChunkGet32(land, 30), 594}, {ChunkGet32(land, 66), 938},
      {ChunkGet32(land, 70), 955}, {ChunkGet32(land, 34), 595},
      {uint64_t{ChunkGet16(land, 86)} * 100, 1331},  {uint64_t{ChunkGet16(land, 88)} * 5000, 1332},
  };
  for (uint32_t i = 0; i < sizeof lines / sizeof lines[0]; ++i) {
    FormatBerichtZahl(n, static_cast<uint32_t>(lines[i].value), kNumberWidth);
    Add(&t, i < 7 ? " %s %s\n" : "%s %s\n", n, Cat(lines[i].text));
  }
  const int32_t pirates = static_cast<int32_t>(ChunkGet32(land, 78));
  if (pirates > 0) {
    FormatBerichtZahl(n, static_cast<uint32_t>(pirates), kNumberWidth);
    Add(&t, "%s %s\n\n", n, Cat(1229));
  } else if (pirates < 0) {
    FormatBerichtZahl(n, static_cast<uint32_t>(-int64_t{pirates}), kNumberWidth);
    Add(&t, "-%s %s\n\n", n, Cat(1228));
  }
  FormatBerichtZahl(n, ChunkGet32(land, 74), kNumberWidth);
  Add(&t, "%s %s\n", n, Cat(979));
  return 1;
}

int32_t MakeCornReport(const uint8_t* korn, char* out, uint32_t size) {
  Report t = Start(out, size);
  if (!Holds(korn, 64)) return Missing(&t, "ShowContryData2 : KornChunk nicht vorhanden !\n");
  const uint16_t quarter = ChunkGet16(korn, 16);
  if (quarter > 3) DebugLog("ShowContryData2 : Quartal %u ist unbekannt\n", quarter);
  Add(&t, "%s", Cat(559));
  Add(&t, " %u %s %s\n\n", ChunkGet32(korn, 12), Cat(560), quarter <= 3 ? Cat(581u + quarter) : "");
  Add(&t, " %s %u %s %s", Cat(561), ChunkGet32(korn, 18), Cat(562), Cat(563));
  Add(&t, " %s %u %s %s", Cat(564), ChunkGet32(korn, 22), Cat(562), Cat(565));
  if (const uint32_t fish = ChunkGet32(korn, 60)) Add(&t, " %u %s", fish, Cat(1351));
  Add(&t, " %s %u %s", Cat(566), ChunkGet32(korn, 26), Cat(567));
  Add(&t, " %s %u %s %u %s", Cat(568), ChunkGet32(korn, 30), Cat(569), ChunkGet16(korn, 34), Cat(570));
  if (const uint32_t rotten = ChunkGet32(korn, 52)) Add(&t, " %u %s\n\n", rotten, Cat(1230));
  Add(&t, " %s %u %s", Cat(571), ChunkGet32(korn, 36), Cat(572));
  Add(&t, " %s %u %s", Cat(1352), ChunkGet32(korn, 56), Cat(1353));
  const int8_t weather = static_cast<int8_t>(korn[40]);
  Add(&t, " %s", Cat(573));
  Add(&t, " %s\n", weather >= 0 && weather <= 6 ? Cat(574u + static_cast<uint32_t>(weather)) : Cat(1824));
  if (quarter == 1) {
    const uint8_t problem = korn[41];
    static const uint32_t kProblems[] = {588, 1119, 1120};
    if (problem >= 1 && problem <= 3) Add(&t, "%s\n", Cat(kProblems[problem - 1]));
  }
  const uint16_t offices = ChunkGet16(korn, 50);
  if (!offices) Add(&t, " %s\n\n", Cat(1362));
  else Add(&t, " %s %llu %s\n\n", Cat(1363), static_cast<unsigned long long>(offices) * 100000ull, Cat(1364));
  return 1;
}

int32_t MakeResearchReport(const uint8_t* fors, char* out, uint32_t size) {
  Report t = Start(out, size);
  if (!Holds(fors, 28)) return Missing(&t, "ShowResearchData : ForsChunk nicht vorhanden !\n");
  // Field numbers 1..7 and the offset of each field's grade.
  static const uint32_t kNames[7] = {192, 193, 194, 195, 196, 197, 198};
  static const uint32_t kGrade[7] = {16, 15, 18, 21, 19, 17, 20};
  const int8_t field = static_cast<int8_t>(fors[12]);
  auto small = [&](uint32_t off) { return static_cast<uint32_t>(fors[off] & 0x80 ? 0 : fors[off]); };
  if (ChunkGet16(fors, 26)) {
    Add(&t, "%s\n\n", Cat(548));
  } else if (field < 1 || field > 7) {
    if (field != 0) DebugLog("ShowResearchData : Forschungsgebiet %d ist unbekannt\n", field);
    Add(&t, "%s\n\n", Cat(549));
  } else {
    Add(&t, "%s", Cat(550));
    Add(&t, " %s.\n\n", Cat(kNames[field - 1]));
    Add(&t, "%s %u %s %u %s", Cat(551), small(13), Cat(552), small(14), Cat(553));
    Add(&t, "%s %u %s", Cat(554), ChunkGet32(fors, 22), Cat(555));
  }
  Add(&t, "%s", Cat(556));
  for (uint32_t i = 0; i < 7; ++i) Add(&t, "%s %u %s %s\n", Cat(557), small(kGrade[i]), Cat(558), Cat(kNames[i]));
  return 1;
}

int32_t MakeTaxesReport(const uint8_t* land, const uint8_t* taxe, char* out, uint32_t size) {
  Report t = Start(out, size);
  if (!Holds(land, 90)) return Missing(&t, "ShowTaxesData : LandChunk nicht vorhanden !\n");
  if (!Holds(taxe, 80)) {
    if (taxe) DebugLog("ShowTaxesData : TaxeChunk zu kurz !\n");
    else DebugLog("ShowTaxesData : Konnte TaxeChunk nicht \xF6" "ffnen !\n");
    Add(&t, "%s", Cat(908));
    return 1;
  }
  auto v = [&](uint32_t off) { return static_cast<unsigned long>(ChunkGet32(taxe, off)); };
  Add(&t, "%s", Cat(586));
  Add(&t, " %06lu %s...\n", v(40), Cat(617));
  const uint32_t kFive[][2] = {{18, 618}, {26, 619}, {36, 620}, {48, 937}};
  unsigned long long sum = v(40);
  for (const auto& f : kFive) {
    Add(&t, " %6.6lu %s...\n", v(f[0]), Cat(f[1]));
    sum += v(f[0]);
  }
  Add(&t, " --------------------------------------------\n");
  Add(&t, " %6.6llu %s...\n\n", sum, Cat(621));
  const uint32_t kMore[][2] = {{54, 1016}, {62, 1211}, {72, 1272}, {76, 1327}};
  for (const auto& f : kMore) Add(&t, " %6.6lu %s...\n\n", v(f[0]), Cat(f[1]));
  Add(&t, "%s", Cat(587));
  return 1;
}

const char* BuildingReportName(uint32_t kind, uint32_t count) {
  const BuildingName* name = FindBuildingName(kind);
  return name ? Cat(count == 1 ? name->one : name->many) : nullptr;
}

int32_t MakeBuildingReport(const uint8_t* geba, char* out, uint32_t size) {
  Report t = Start(out, size);
  if (!Holds(geba, kGebaRecords)) return Missing(&t, "ShowBuildingData : Konnte Gebaeude.dat nicht laden !\n");
  const uint32_t room = (ChunkLength(geba) + sizeof(ChunkHeader) - kGebaRecords) / kGebaRecordSize;
  uint32_t records = ChunkGet16(geba, kGebaCount);
  if (records > room) {
    DebugLog("ShowBuildingData : %u Gebaeude angegeben, Platz fuer %u\n", records, room);
    records = room;
  }
  Add(&t, "%s", Cat(585));
  for (uint32_t kind = 0; kind < kBuildingKinds; ++kind) {
    const int32_t next = NextBuildingLevel(kind);
    uint32_t count = 0;
    uint64_t upkeep = 0;
    for (uint32_t i = 0; i < records; ++i) {
      const uint8_t* r = geba + kGebaRecords + i * kGebaRecordSize;
      if (ChunkGet16(r, 0) != kind || static_cast<int16_t>(ChunkGet16(r, 6)) == -1) continue;
      if (next >= 0 && CheckOtherBuilding(geba, static_cast<uint32_t>(next), ChunkGet16(r, 14))) continue;
      ++count;
      upkeep += ChunkGet16(r, 12);
    }
    if (!count) continue;
    const char* name = BuildingReportName(kind, count);
    if (!name) {
      DebugLog("ShowBuildingData : Geb\xE4ude Nr.: %u ist unbekannt...\n", kind);
      continue;
    }
    Add(&t, " %u ", count);
    Add(&t, "%s", name);
    Add(&t, " %s %llu %s\n", Cat(613), static_cast<unsigned long long>(upkeep), Cat(614));
  }
  Add(&t, "\n %s %u %s...\n", Cat(615), ChunkGet32(geba, 12), Cat(616));
  return 1;
}

char* MakeTradeReport(const uint8_t* ware, ListHeader* players, uint32_t own_id, const char* own_name) {
  ListHeader* goods = ware ? CreateList(LIST_GOODS) : nullptr;
  if (goods && !ScanWare2List(goods, ware)) {
    DebugLog("ShowTradeData : WareChunk nicht lesbar !\n");
    DeleteList(goods, 1);
    goods = nullptr;
  }
  uint64_t offers = 0;
  ListNode* n = goods ? goods->first : nullptr;
  for (uint32_t i = 0; n && i < goods->count; ++i, n = n->next)
    if (reinterpret_cast<WarenListenEntry*>(n)->kind == kOfferKind) ++offers;
  uint64_t want = offers * kTradeBytesPerOffer + kBerichtBufferSize;
  if (want > kBerichtTradeLimit) want = kBerichtTradeLimit;
  char* out = static_cast<char*>(AllocVec(static_cast<uint32_t>(want), MEMF_PUBLIC));
  if (!out) {
    DeleteList(goods, 1);
    return nullptr;
  }
  Report t = Start(out, static_cast<uint32_t>(want));
  if (!goods) {
    Add(&t, "%s", Cat(651));
    return out;
  }
  // Grouped by kind, then by the sale, then by the offered price and units.
  const uint32_t keys[4] = {3, 8, 5, 0};
  for (uint32_t k = 0; k < 4; ++k)
    if (keys[k] < goods->field_count) goods->fields[keys[k]].key = static_cast<uint8_t>(k + 1);
  SortNode(goods, SORT_DESCENDING);
  Add(&t, "%s", Cat(652));
  char seller[40], bidder[40];
  const WarenListenEntry* prev = nullptr;
  uint32_t i = 0;
  for (ListNode* n = goods->first; n && i < goods->count; n = n->next, ++i) {
    const auto* w = reinterpret_cast<const WarenListenEntry*>(n);
    const auto* next = i + 1 < goods->count ? reinterpret_cast<const WarenListenEntry*>(n->next) : nullptr;
    if (w->kind != kOfferKind) {
      prev = w;
      continue;
    }
    PlayerName(w->owner, players, own_id, own_name, seller);
    PlayerName(w->buyer, players, own_id, own_name, bidder);
    if (!prev || prev->kind != kOfferKind || prev->ident != w->ident)
      Add(&t, " %s %s %s %u %s %s %s %u %s", Cat(657), seller, Cat(666), w->quantity, Cat(667), GetWarenName(w->goods),
          Cat(668), w->price, Cat(669));
    AddAligned(&t, w->bid_price);
    Add(&t, "%u %s", w->bid_price, Cat(670));
    AddAligned(&t, w->quantity);
    Add(&t, "%u", w->quantity);
    Add(&t, "     %s\n", w->buyer == own_id ? Cat(671) : bidder);
    if (!next || next->kind != kOfferKind || next->ident != w->ident) Add(&t, "\n");
    prev = w;
  }
  DeleteList(goods, 1);
  return out;
}

namespace {

bool AccountInstalled() { return CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) == ACCOUNT_INSTALLED; }

// The report's text in the screen's box, replacing the one shown.
int32_t ShowText(BerichteData* d, const char* text, const char* who) {
  if (d->req) FreeRequesterBox(d->req);
  d->req = InitRequesterTextBox(kBoxW, d->textFont, text, kBoxX, kBoxY, kBoxW, kBoxH, kBoxPen, kTextPen, nullptr);
  if (!d->req) {
    DebugLog("%s : Konnte Requester nicht initalisieren!\n", who);
    return 0;
  }
  if (!InitSlider(d->req, kSliderW, kSliderH, kKnobPen, kTrackPen, kLightPen, kDarkPen, kSliderX, kSliderY)) {
    DebugLog("%s : Konnte Slider nicht initalisieren!\n", who);
    return 0;
  }
  return 1;
}

// Builds a report of one chunk of the received turn and shows it.
int32_t ShowFromChunk(BerichteData* d, const char* id, int32_t (*make)(const uint8_t*, char*, uint32_t),
                      const char* who) {
  if (!AccountInstalled()) return 0;
  uint8_t* chunk = LoadChunk2Mem(id, ReceivedPoolPath);
  char* text = static_cast<char*>(AllocVec(kBerichtBufferSize, MEMF_PUBLIC | MEMF_CLEAR));
  if (!text) {
    FreeChunk(chunk);
    DebugLog("%s : Kein Speicher !\n", who);
    return 0;
  }
  int32_t ok = make(chunk, text, kBerichtBufferSize);
  ok = ShowText(d, text, who) && ok;
  FreeVec(text);
  FreeChunk(chunk);
  return ok;
}

}  // namespace

int32_t ShowContryData(BerichteData* d) { return ShowFromChunk(d, "LAND", MakeContryReport, "ShowContryData"); }
int32_t ShowContryData2(BerichteData* d) { return ShowFromChunk(d, "KORN", MakeCornReport, "ShowContryData2"); }
int32_t ShowResearchData(BerichteData* d) {
  return ShowFromChunk(d, "FORS", MakeResearchReport, "ShowResearchData");
}

int32_t ShowTaxesData(BerichteData* d) {
  if (!AccountInstalled()) return 0;
  uint8_t* land = LoadChunk2Mem("LAND", ReceivedPoolPath);
  uint8_t* taxe = LoadChunk2Mem("TAXE", ReceivedPoolPath);
  char* text = static_cast<char*>(AllocVec(kBerichtBufferSize, MEMF_PUBLIC | MEMF_CLEAR));
  int32_t ok = 0;
  if (text) {
    ok = MakeTaxesReport(land, taxe, text, kBerichtBufferSize);
    ok = ShowText(d, text, "ShowTaxesData") && ok;
  }
  FreeVec(text);
  FreeChunk(taxe);
  FreeChunk(land);
  return ok;
}

int32_t ShowBuildingData(BerichteData* d) {
  if (!AccountInstalled()) return 0;
  uint8_t* geba = LoadChunk2Mem("GEBA", kGebaeudePath);
  char* text = static_cast<char*>(AllocVec(kBerichtBufferSize, MEMF_PUBLIC | MEMF_CLEAR));
  int32_t ok = 0;
  if (text) {
    ok = MakeBuildingReport(geba, text, kBerichtBufferSize);
    ok = ShowText(d, text, "ShowBuildingData") && ok;
  }
  FreeVec(text);
  FreeChunk(geba);
  return ok;
}

int32_t ShowTradeData(BerichteData* d) {
  if (!AccountInstalled()) return 0;
  ListHeader* players = nullptr;
  if (uint8_t* antw = LoadChunk2Mem("ANTW", kSpielerListPath)) {
    players = CreateList(LIST_PLAYERS);
    if (players && !ScanSpieler2List(players, antw)) {
      DebugLog("ShowTradeData : Spielerliste nicht lesbar !\n");
      DeleteList(players, 1);
      players = nullptr;
    }
    FreeChunk(antw);
  }
  uint8_t* ware = LoadChunk2Mem("WARE", ReceivedPoolPath);
  if (!ware) DebugLog("ShowTradeData : WareChunk nicht vorhanden !\n");
  char* text = MakeTradeReport(ware, players, OwnPlayerPtr->PlayerId, OwnPlayerPtr->LordName);
  int32_t ok = text && ware ? 1 : 0;
  if (!text) DebugLog("ShowTradeData : Kein Speicher !\n");
  else ok = ShowText(d, text, "ShowTradeData") && ok;
  FreeVec(text);
  FreeChunk(ware);
  DeleteList(players, 1);
  return ok;
}

int32_t LoadBerichteScreenGfx() { return OpenElmorGfx(".\\Data\\Path", kPlaque) == 1; }
void FreeBerichteScreenGfx() { CloseElmorGfx(kPlaque); }
int32_t LoadBerichteScreenSfx() { return OpenElmorSfx(".\\Data\\SfxPath", kWaterfallSfx) == 1; }
void FreeBerichteScreenSfx() {
  StopSfx(kWaterfallSfx);
  CloseElmorSfx000(kWaterfallSfx);
}

int32_t BerichteScreen(int32_t) {
  PlayScreenCdTrack(kCdTrack);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "BerichteScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<BerichteData*>(AllocVec(sizeof(BerichteData), MEMF_PUBLIC | MEMF_CLEAR));
  bool gfx = false, sfx = false;
  auto leave = [&](int32_t next) {
    if (d) {
      if (d->req) FreeRequesterBox(d->req);
      CloseFont(d->textFont);
    }
    FreeVec(d);
    if (sfx) FreeBerichteScreenSfx();
    if (gfx) FreeBerichteScreenGfx();
    CloseScreenBase(&base, next);
    return next;
  };
  if (!d) {
    ScreenStartFailed(&base, SCREEN_STEP_MEMORY, "BerichteScreen: Konnte Speicher nicht allokieren!\n");
    return leave(-1);
  }
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt") || !(d->textFont = OpenDiskFont("fonts\\XHelvetica11.fnt"))) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "BerichteScreen: Konnte Font nicht laden!\n");
    return leave(-1);
  }
  if (!(gfx = LoadBerichteScreenGfx())) {
    ScreenStartFailed(&base, SCREEN_STEP_GRAPHICS, "BerichteScreen: Konnte Grafik nicht laden!\n");
    return leave(-1);
  }
  if (!(sfx = LoadBerichteScreenSfx())) {
    ScreenStartFailed(&base, SCREEN_STEP_SOUNDS, "TitelScreen: Konnte Sfx nicht laden...\n");
    return leave(-1);
  }
  // The waterfall in the window; its colours are the picture's own.
  static const ScreenMovieSpec kMovies[] = {{".\\Anims\\BerichteWasserfall.cban", 448, 396, 68, 2}};
  if (!OpenScreenMovies(&base, kMovies, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_MOVIES, "BerichteScreen: Konnte AnimBase nicht laden!\n");
    return leave(-1);
  }
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Berichte.dat", (1u << LAYOUT_TEXTAREA) | (1u << LAYOUT_GADGET))) {
    ScreenStartFailed(&base, SCREEN_STEP_LAYOUT, "BerichteScreen: Kann TitelbarDaten nicht laden!\n");
    return leave(-1);
  }
  d->region = base.region;
  RastPort* rp = ScreenRastPort();
  BlitObjekt(nullptr, kPlaque, kPlaqueX, kPlaqueY, 0, 0);
  SetFont(rp, base.font);
  PrintTextOutlined(rp, kTitleX1, kTitleY1, kTitleX2, kTitleY2, Cat(kTitleText), 0, kTextPen,
                    PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  SetAPen(rp, kTextPen);
  SetDrMd(rp, 0);
  SetFont(rp, d->textFont);
  ShowScreenBase(&base);
  SfxPlayer000(kWaterfallSfx, 0, 1);
  int32_t next = -1;
  do {
    int32_t event;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (!g) continue;
    if (GadgetIs(g, "BU00")) ShowContryData(d);
    else if (GadgetIs(g, "BU01")) ShowContryData2(d);
    else if (GadgetIs(g, "BU02")) ShowBuildingData(d);
    else if (GadgetIs(g, "BU03")) ShowTaxesData(d);
    else if (GadgetIs(g, "BU04")) ShowResearchData(d);
    else if (GadgetIs(g, "BU05")) ShowTradeData(d);
    else if (GadgetIs(g, "UP00") || GadgetIs(g, "DO00") || GadgetIs(g, "SL00")) {
      if (!d->req) continue;
      MoveSlider(d->req, GadgetIs(g, "SL00") ? static_cast<uint32_t>(GetMouseY())
                         : GadgetIs(g, "UP00") ? static_cast<uint32_t>(SLIDER_UP) : static_cast<uint32_t>(SLIDER_DOWN));
      ScrollRequester(d->req, 0, 0);
    } else if (GadgetIs(g, "EXIT")) next = kNextScreen;
  } while (ScreenBaseStays(&next, kNextScreen));
  return leave(next);
}
