// Towns: Town.list, the town files, the building checks and the luxury
// tables. Layouts in docs/turns.md.
#include "towns.h"

#include <strings.h>

#include <cstdio>
#include <cstring>

#include "chunks.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "stage.h"

const uint16_t BauKette[kBauKetteRows][4] = {
    {0, 99, 168, 224},  {1, 106, 173, 228}, {2, 58, 118, 182},  {14, 97, 166, 222}, {16, 93, 159, 216},
    {20, 113, 177, 232}, {21, 90, 155, 212}, {22, 100, 169, 0}, {23, 94, 161, 0},   {26, 109, 176, 230},
    {27, 114, 178, 233}, {48, 59, 119, 0},  {49, 101, 170, 225}, {50, 77, 138, 0},  {51, 92, 157, 214},
    {55, 107, 174, 0},  {56, 116, 180, 0},  {57, 117, 181, 0},  {78, 140, 194, 0},  {91, 156, 213, 0},
    {95, 164, 220, 0},  {96, 165, 221, 0},  {98, 167, 223, 0},  {108, 175, 229, 0}, {115, 179, 234, 0},
    {139, 193, 0, 0},   {158, 215, 0, 0},   {160, 217, 0, 0},   {162, 218, 0, 0},   {163, 219, 0, 0}};

const BuildingBaseCost BuildingBaseCosts[kBuildingBaseCostRows] = {
    {0, 3000, 2, 150, 20, 20},          {1, 1500, 1, 250, 30, 10},          {2, 10000, 4, 1500, 50, 150},
    {14, 15000, 4, 0, 80, 100},         {15, 35000, 6, 5500, 370, 120},     {16, 20000, 4, 4500, 50, 120},
    {17, 12500, 2, 2500, 100, 150},     {19, 5000, 1, 750, 100, 0},         {20, 17500, 3, 4000, 80, 80},
    {21, 7000, 1, 50, 0, 45},           {22, 21000, 5, 2300, 250, 425},     {23, 49000, 10, 9500, 150, 925},
    {24, 7500, 2, 400, 0, 15},          {25, 2000, 1, 600, 0, 0},           {26, 6500, 3, 1200, 110, 0},
    {27, 4000, 2, 900, 250, 140},       {47, 2500, 1, 300, 150, 0},         {48, 10000, 3, 1500, 560, 50},
    {49, 15000, 4, 2500, 230, 300},     {50, 13000, 2, 1350, 510, 675},     {51, 32000, 6, 3200, 725, 125},
    {55, 43000, 8, 7200, 260, 745},     {96, 75000, 14, 14100, 525, 3500},  {57, 17600, 7, 4700, 450, 2200},
    {98, 18500, 6, 4000, 700, 1850},    {56, 56000, 12, 6100, 1000, 2500},  {78, 33000, 7, 3900, 500, 950},
    {108, 66000, 13, 9000, 1300, 1900}, {95, 15900, 5, 2600, 525, 1740},    {91, 43000, 9, 5200, 1200, 2800},
    {115, 51000, 14, 5600, 2400, 5600}, {139, 1350000, 35, 25000, 16000, 70000},
    {158, 65000, 8, 6900, 1600, 3200},  {160, 62000, 10, 7100, 1400, 3000},
    {163, 2500000, 80, 49000, 24000, 90000}, {162, 36000, 11, 5600, 4250, 8800},
    {195, 950000, 28, 34000, 13000, 38000},  {231, 1750000, 56, 42000, 30000, 100000},
};

const BuildingBaseCost* FindBuildingBaseCost(uint32_t building) {
  for (const BuildingBaseCost& c : BuildingBaseCosts)
    if (c.building == building) return &c;
  return nullptr;
}

uint32_t CostAtConfidence(uint32_t value, uint32_t confidence) { return value * 100u / (confidence / 5u + 50u); }

namespace {

const char kTownList[] = ".\\Data\\Cities\\Town.list";

void CopyName(char* dst, const char* src, uint32_t size) {
  std::memset(dst, 0, size);
  if (src) std::memcpy(dst, src, strnlen(src, size - 1));
}

// Bytes a file name may keep as they are; everything else is escaped.
bool SafeNameByte(uint8_t c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) return true;
  if (c >= 0xC0) return true;  // Latin-1 letters
  return c == ' ' || c == '-' || c == '_' || c == '(' || c == ')' || c == '\'' || c == '.';
}

bool IsHigherLevel(uint32_t building) {
  for (const auto& line : BauKette)
    for (int s = 1; s < 4; s++)
      if (line[s] && line[s] == building) return true;
  return false;
}

bool IsPortLine(uint32_t b) { return b == 51 || b == 92 || b == 157 || b == 214; }

bool IsRefusedAboveLevel1(uint32_t b) {
  static const uint16_t kIds[] = {59, 77, 94, 100, 101, 107, 119, 138, 161, 169, 170, 174, 225};
  for (uint16_t id : kIds)
    if (id == b) return true;
  return false;
}

// Terrain graphic of world (x, y) from its map part file, 0 when unknown.
uint32_t GraphicAt(uint32_t x, uint32_t y) {
  char path[64];
  std::snprintf(path, sizeof path, ".\\Map\\M_%u_%u.map", x / 80, y / 40);
  FileHandle f = Open(path, MODE_READONLY);
  if (!f) return 0;
  uint8_t cell[22];
  uint32_t off = (y % 40) * 1760 + (x % 80) * 22;
  uint32_t g = 0;
  if (Seek(f, (int32_t)off, OFFSET_BEGINNING) >= 0 && Read(f, cell, 22) == 22) g = GetLE16(cell + 8);
  Close(f);
  return g;
}

// The six neighbours of a hex on the odd-q grid (odd columns half a row lower).
void Neighbours(uint32_t x, uint32_t y, uint32_t out[6][2]) {
  const int32_t odd = (int32_t)(x & 1);
  const int32_t d[6][2] = {{0, -1}, {0, 1}, {-1, odd - 1}, {-1, odd}, {1, odd - 1}, {1, odd}};
  for (int i = 0; i < 6; i++) {
    int64_t nx = (int64_t)x + d[i][0], ny = (int64_t)y + d[i][1];
    out[i][0] = (uint32_t)((nx % 12800 + 12800) % 12800);
    out[i][1] = (uint32_t)((ny % 6400 + 6400) % 6400);
  }
}

}  // namespace

uint32_t TerrainTypeOfGraphic(uint32_t g) {
  if (g == 9) return 1;
  if (g == 5 || g == 54 || g == 55) return 2;
  if (g == 10 || g == 11 || g == 27 || g == 52 || g == 56 || g == 57) return 3;
  if (g == 6 || g == 91) return 4;
  if (g >= 17 && g <= 22) return 5;
  if (g == 8 || g == 30) return 6;
  if (g == 4 || g == 12 || g == 13 || (g >= 35 && g <= 51) || g == 53) return 7;
  if (g >= 14 && g <= 16) return 8;
  if ((g >= 24 && g <= 26) || (g >= 58 && g <= 86)) return 9;
  if (g == 23 || g == 28 || g == 29) return 10;
  if (g == 1 || g == 2 || g == 3 || g == 7 || (g >= 31 && g <= 34) || (g >= 87 && g <= 90)) return 11;
  return 0;
}

// ---- town file codec ----

void DecodeTown(const uint8_t* d, st_TOWN* t) {
  t->kind = GetBE32(d);
  t->flags = GetBE16(d + 4);
  std::memcpy(t->reserved6, d + 6, 12);
  t->level = GetBE16(d + 18);
  t->id = GetBE32(d + 20);
  t->XPos = GetBE32(d + 24);
  t->YPos = GetBE32(d + 28);
  t->population = GetBE32(d + 32);
  std::memcpy(t->name, d + 36, TOWN_NAME_SIZE);
  t->name[TOWN_NAME_SIZE - 1] = 0;
  for (uint32_t i = 0; i < TOWN_BUILDINGS; i++) {
    const uint8_t* e = d + 116 + 60 * i;
    TownBuilding& b = t->buildings[i];
    b.flags = GetBE16(e);
    b.population = GetBE32(e + 2);
    b.level = GetBE16(e + 6);
    std::memcpy(b.reserved8, e + 8, 14);
    std::memcpy(b.research, e + 22, 7);
    b.reserved29 = e[29];
    for (int k = 0; k < 7; k++) b.buildings[k] = GetBE16(e + 30 + 2 * k);
    std::memcpy(b.reserved44, e + 44, 16);
  }
  t->TownPopulation = GetBE32(d + 14216);
}

void EncodeTown(const st_TOWN* t, uint8_t* d) {
  std::memset(d, 0, TOWN_FILE_SIZE);
  PutBE32(d, t->kind);
  PutBE16(d + 4, t->flags);
  std::memcpy(d + 6, t->reserved6, 12);
  PutBE16(d + 18, t->level);
  PutBE32(d + 20, t->id);
  PutBE32(d + 24, t->XPos);
  PutBE32(d + 28, t->YPos);
  PutBE32(d + 32, t->population);
  std::memcpy(d + 36, t->name, TOWN_NAME_SIZE - 1);
  for (uint32_t i = 0; i < TOWN_BUILDINGS; i++) {
    uint8_t* e = d + 116 + 60 * i;
    const TownBuilding& b = t->buildings[i];
    PutBE16(e, b.flags);
    PutBE32(e + 2, b.population);
    PutBE16(e + 6, b.level);
    std::memcpy(e + 8, b.reserved8, 14);
    std::memcpy(e + 22, b.research, 7);
    e[29] = b.reserved29;
    for (int k = 0; k < 7; k++) PutBE16(e + 30 + 2 * k, b.buildings[k]);
    std::memcpy(e + 44, b.reserved44, 16);
  }
  PutBE32(d + 14216, t->TownPopulation);
}

// ---- names and files ----

void TownFileName(const char* name, char* out, uint32_t out_size) {
  static const char kHex[] = "0123456789ABCDEF";
  uint32_t o = 0;
  if (!out || out_size == 0) return;
  for (uint32_t i = 0; name && name[i] && i < TOWN_NAME_SIZE - 1; i++) {
    const uint8_t c = (uint8_t)name[i];
    const bool keep = SafeNameByte(c) && !(i == 0 && c == '.');
    if (keep) {
      if (o + 1 >= out_size) break;
      out[o++] = (char)c;
    } else {
      if (o + 3 >= out_size) break;
      out[o++] = '%';
      out[o++] = kHex[c >> 4];
      out[o++] = kHex[c & 15];
    }
  }
  out[o] = 0;
}

void TownFilePath(const char* name, char* out, uint32_t out_size) {
  char file[3 * TOWN_NAME_SIZE];
  TownFileName(name, file, sizeof file);
  std::snprintf(out, out_size, ".\\Data\\Cities\\%s.qoe", file);
}

uint32_t ReadTownList(TownListEntry** entries) {
  *entries = nullptr;
  uint32_t size = 0;
  uint8_t* data = static_cast<uint8_t*>(GdLoadFile(kTownList, 0, &size));
  if (!data) return 0;
  uint32_t n = 0;
  bool ended = false;
  for (uint32_t off = 0; off + TOWN_LIST_RECORD <= size; off += TOWN_LIST_RECORD) {
    if (GetBE32(data + off) == TOWN_LIST_END) {
      ended = true;
      break;
    }
    n++;
  }
  if (!ended) {
    DebugLog("ReadTownList: Town.list ist nicht abgeschlossen\n");
    FreeVec(data);
    return 0;
  }
  if (n) {
    *entries = static_cast<TownListEntry*>(AllocVec(n * sizeof(TownListEntry), MEMF_CLEAR));
    if (!*entries) {
      FreeVec(data);
      return 0;
    }
    for (uint32_t i = 0; i < n; i++) {
      (*entries)[i].id = GetBE32(data + i * TOWN_LIST_RECORD);
      std::memcpy((*entries)[i].name, data + i * TOWN_LIST_RECORD + 4, TOWN_NAME_SIZE);
      (*entries)[i].name[TOWN_NAME_SIZE - 1] = 0;
    }
  }
  FreeVec(data);
  return n;
}

namespace {

uint8_t* EncodeTownList(const TownListEntry* e, uint32_t n, uint32_t* size) {
  *size = (n + 1) * TOWN_LIST_RECORD;
  uint8_t* d = static_cast<uint8_t*>(AllocVec(*size, MEMF_CLEAR));
  if (!d) return nullptr;
  for (uint32_t i = 0; i < n; i++) {
    PutBE32(d + i * TOWN_LIST_RECORD, e[i].id);
    std::memcpy(d + i * TOWN_LIST_RECORD + 4, e[i].name, TOWN_NAME_SIZE - 1);
  }
  PutBE32(d + n * TOWN_LIST_RECORD, TOWN_LIST_END);
  return d;
}

}  // namespace

int32_t WriteTownList(const TownListEntry* e, uint32_t n) {
  GdMakeDir(".\\Data");
  GdMakeDir(".\\Data\\Cities");
  uint32_t size;
  uint8_t* d = EncodeTownList(e, n, &size);
  if (!d) return 0;
  int32_t ok = GdSaveFile(kTownList, d, size);
  FreeVec(d);
  return ok;
}

st_TOWN* CreateTown(uint32_t id, const char* name, uint32_t x, uint32_t y) {
  st_TOWN* t = static_cast<st_TOWN*>(AllocVec(sizeof(st_TOWN), MEMF_CLEAR));
  if (!t) {
    DebugLog("CreateTown: Kein Speicher\n");
    return nullptr;
  }
  t->id = id;
  t->level = 1;
  t->XPos = x;
  t->YPos = y;
  CopyName(t->name, name, TOWN_NAME_SIZE);
  return t;
}

int32_t SaveTown(const st_TOWN* t) {
  if (!t) return 0;
  GdMakeDir(".\\Data");
  GdMakeDir(".\\Data\\Cities");
  uint8_t* d = static_cast<uint8_t*>(AllocVec(TOWN_FILE_SIZE, 0));
  if (!d) return 0;
  EncodeTown(t, d);
  char path[320];
  TownFilePath(t->name, path, sizeof path);
  int32_t ok = GdSaveFile(path, d, TOWN_FILE_SIZE);
  FreeVec(d);
  return ok;
}

st_TOWN* GetActiveTown(uint32_t town_id) {
  TownListEntry* list = nullptr;
  const uint32_t n = ReadTownList(&list);
  const TownListEntry* hit = nullptr;
  for (uint32_t i = 0; i < n; i++)
    if (list[i].id == town_id) hit = &list[i];
  st_TOWN* t = nullptr;
  if (!hit) {
    char name[TOWN_NAME_SIZE];
    std::snprintf(name, sizeof name, "NewTown.%u", town_id);
    t = CreateTown(town_id, name, 0, 0);
  } else {
    char path[320];
    TownFilePath(hit->name, path, sizeof path);
    uint32_t size = 0;
    uint8_t* d = static_cast<uint8_t*>(GdLoadFile(path, 0, &size));
    if (d && size == TOWN_FILE_SIZE) {
      t = static_cast<st_TOWN*>(AllocVec(sizeof(st_TOWN), MEMF_CLEAR));
      if (t) DecodeTown(d, t);
    } else {
      DebugLog("GetActiveTown: Stadtdatei %s fehlt oder hat die falsche Groesse, wird neu angelegt\n", path);
      t = CreateTown(hit->id, hit->name, 0, 0);
      if (t && !SaveTown(t)) DebugLog("GetActiveTown: Konnte Stadt nicht speichern\n");
    }
    if (d) FreeVec(d);
  }
  if (list) FreeVec(list);
  return t;
}

char* CreateStadtListBuffer(uint32_t* count) {
  TownListEntry* list = nullptr;
  const uint32_t n = ReadTownList(&list);
  if (count) *count = n;
  if (!n) return nullptr;
  char* buf = static_cast<char*>(AllocVec(n * TOWN_NAME_SIZE, MEMF_CLEAR));
  if (buf)
    for (uint32_t i = 0; i < n; i++) CopyName(buf + i * TOWN_NAME_SIZE, list[i].name, TOWN_NAME_SIZE);
  FreeVec(list);
  return buf;
}

int32_t ChangeTownName(uint32_t town_id, const char* new_name) {
  if (!new_name || !new_name[0] || std::strlen(new_name) > TOWN_TYPED_NAME_MAX) return 0;
  TownListEntry* list = nullptr;
  const uint32_t n = ReadTownList(&list);
  int32_t idx = -1;
  char new_file[3 * TOWN_NAME_SIZE];
  TownFileName(new_name, new_file, sizeof new_file);
  for (uint32_t i = 0; i < n; i++) {
    char f[3 * TOWN_NAME_SIZE];
    TownFileName(list[i].name, f, sizeof f);
    if (list[i].id == town_id) idx = (int32_t)i;
    if (!strcasecmp(f, new_file)) {
      FreeVec(list);
      return 0;
    }
  }
  if (idx < 0) {
    if (list) FreeVec(list);
    return 0;
  }
  st_TOWN* t = GetActiveTown(town_id);
  if (!t) {
    FreeVec(list);
    return 0;
  }
  char old_path[320];
  TownFilePath(list[idx].name, old_path, sizeof old_path);
  CopyName(t->name, new_name, TOWN_NAME_SIZE);
  t->flags &= (uint16_t)~TOWN_NEEDS_NAME;
  CopyName(list[idx].name, new_name, TOWN_NAME_SIZE);
  uint8_t* img = static_cast<uint8_t*>(AllocVec(TOWN_FILE_SIZE, 0));
  uint32_t lsize = 0;
  uint8_t* limg = EncodeTownList(list, n, &lsize);
  char new_path[320];
  TownFilePath(new_name, new_path, sizeof new_path);
  int32_t ok = 0;
  FileSet* set = BeginFileSet();
  if (img && limg && set) {
    EncodeTown(t, img);
    FileSetWrite(set, new_path, img, TOWN_FILE_SIZE);
    FileSetWrite(set, kTownList, limg, lsize);
    if (strcasecmp(old_path, new_path)) FileSetRemove(set, old_path);
    ok = CommitFileSet(set) != 0;  // saved in part counts as kept
    set = nullptr;
  }
  if (set) AbortFileSet(set);
  if (img) FreeVec(img);
  if (limg) FreeVec(limg);
  FreeVec(t);
  FreeVec(list);
  return ok;
}

// ---- building checks ----

int32_t CheckTownEnv(const st_TOWN* town, const void* fors, uint32_t building, uint32_t mode) {
  if (!town || building >= TOWN_BUILDINGS) return 0;
  const TownBuilding& b = town->buildings[building];
  if (mode == 0 && IsHigherLevel(building)) return 0;
  if (mode == 1) {
    for (int k = 0; k < 7; k++) {
      const uint8_t need = b.research[k];
      if (!need) continue;
      if (!fors) return 0;
      const int8_t have = (int8_t)static_cast<const uint8_t*>(fors)[15 + k];
      if ((int32_t)need > (int32_t)have) return 0;
    }
    if (town->population < b.population) return 0;
    if (town->level < b.level) return 0;
    for (int k = 0; k < 7; k++) {
      const uint16_t req = b.buildings[k];
      if (!req) continue;
      if (req - 1u >= TOWN_BUILDINGS || !(town->buildings[req - 1].flags & BUILDING_STANDS)) return 0;
    }
  }
  if (town->level > 1 && IsRefusedAboveLevel1(building)) return 0;
  if ((b.flags & BUILDING_STANDS) && building != 0 && building != 1 && building != 98) return 0;
  if (building == 29 || building == 30) return 0;
  if (b.flags & BUILDING_UNAVAILABLE) return 0;
  if (IsPortLine(building)) {
    uint32_t n[6][2];
    Neighbours(town->XPos, town->YPos, n);
    for (int i = 0; i < 6; i++) {
      DebugLog("CheckTownEnv : FinalX_MW %u\n", n[i][0]);
      DebugLog("CheckTownEnv : FinalY_MW %u\n", n[i][1]);
      if (TerrainTypeOfGraphic(GraphicAt(n[i][0], n[i][1])) == 10) return 1;
    }
    return 0;
  }
  return 1;
}

// ---- luxury goods ----

uint32_t* GetLuxusResources() {
  uint8_t* taxe = LoadChunk2Mem("TAXE", ".\\Data\\POP3In\\GameChunk.qoe");
  if (!taxe) {
    DebugLog("GetLuxusResources: Konnte TAXE nicht laden\n");
    return nullptr;
  }
  uint32_t* r = static_cast<uint32_t*>(AllocVec(LUXUS_ENTRIES * sizeof(uint32_t), MEMF_CLEAR));
  if (!r) {
    FreeChunk(taxe);
    return nullptr;
  }
  // Raw materials: the resource-tax rates of the realm's animal, plant and
  // mineral resources.
  r[0] = ChunkGet16(taxe, 32);
  r[1] = ChunkGet16(taxe, 30);
  r[2] = ChunkGet16(taxe, 34);
  FreeChunk(taxe);
  // Luxury goods: every counted building of the realm adds to the supply of
  // every luxury good; the market halls double it.
  uint8_t* geba = nullptr;
  if (LoadChunkState("GEBA", ".\\Data\\Gebaeude.dat", &geba) == CHUNK_DAMAGED) {
    FreeVec(r);  // damaged buildings are not "no buildings"
    return nullptr;
  }
  uint32_t counted = 0;
  if (geba) {
    const uint32_t len = ChunkLength(geba);
    const uint32_t n = len >= 6 ? ChunkGet16(geba, 16) : 0;
    for (uint32_t i = 0; i < n && 18 + 16 * (i + 1) <= len + 12; i++)
      if ((int16_t)ChunkGet16(geba, 18 + 16 * i + 6) != -1) counted++;
    FreeChunk(geba);
  }
  for (uint32_t e = 3; e < LUXUS_ENTRIES; e++) r[e] = counted;
  return r;
}

uint32_t GetLuxusDemand(uint32_t entry, const int32_t balances[3], const uint32_t* resources,
                        uint32_t inhabitants) {
  if (entry >= LUXUS_ENTRIES) return 0;
  if (entry < 3) {
    const int64_t b = balances ? balances[entry] : 0;
    return b < 0 ? (uint32_t)((-b * 10) > 0xFFFFFFFFll ? 0xFFFFFFFFll : -b * 10) : 0;
  }
  // One unit per 200 inhabitants, less what the realm's own buildings supply.
  const uint64_t want = inhabitants / 200;
  const uint64_t own = resources ? (uint64_t)resources[entry] * 5 : 0;
  return want > own ? (uint32_t)(want - own) : 0;
}
