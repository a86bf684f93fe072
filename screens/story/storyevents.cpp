// Story events after a download and their effects.
#include "storyevents.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"

namespace {

// The module's state: the local dice (game thread only).
struct StoryEventsState {
  uint32_t (*roll)(uint32_t n) = Zufall;
};
StoryEventsState g_story;

using Chunk = LoadedChunk;

// One town record of the outgoing TOWN chunk: its name.
struct TownChunk {
  Chunk c;
  uint32_t count = 0, size = 0;
  // The outgoing pool's TOWN when the player's orders hold one, else the
  // received turn's (a new turn starts with an empty outgoing pool).
  bool Load() {
    c.Reset("TOWN", IsChunkInFile(1u << CHUNK_TOWN, OutgoingPoolPath) ? OutgoingPoolPath : ReceivedPoolPath);
    if (!c.p || c.len() < 2) return false;
    size = std::memcmp(c.p + 4, "V001", 4) ? 106 : 92;
    count = ChunkGet16(c.p, 12);
    if ((uint64_t)count * size > c.len() - 2) count = (c.len() - 2) / size;
    return true;
  }
  void Name(uint32_t i, char* out) const {
    std::memcpy(out, c.p + 14 + size * i + 4, 80);
    out[79] = 0;
  }
};

bool Stands(const st_TOWN* t, uint32_t b) { return b < TOWN_BUILDINGS && (t->buildings[b].flags & BUILDING_STANDS); }

// The town file of a town's name, decoded; null (logged with its path) when
// it cannot be read.
st_TOWN* LoadTownByName(const char* name, const char* missing_fmt) {
  char path[320];
  TownFilePath(name, path, sizeof path);
  uint32_t size = 0;
  uint8_t* d = static_cast<uint8_t*>(LoadFile2MemSize(path, 0, &size));
  if (!d || size != TOWN_FILE_SIZE) {
    if (d) FreeVec(d);
    DebugLog(missing_fmt, path);
    return nullptr;
  }
  st_TOWN* t = static_cast<st_TOWN*>(AllocVec(sizeof(st_TOWN), MEMF_CLEAR));
  if (t) DecodeTown(d, t);
  FreeVec(d);
  return t;
}

const char kTownMissing[] = "CheckRizizOzezEvents: Fehler ! Diese Stadt existiert nicht... '%s'!\n";
const char kTownMissing2[] = "CheckRizizOzezEvents: Fehler ! Diese Stadt existiert nicht... '%s'\n!";
const char kChunkMissing[] = "CheckRizizOzezEvents: Konnte Chunk nicht laden...\n";
const char kTownNotSaved[] = "CheckRizizOzezEvents: Konnte Stadtfile nicht abspeichern (Part2)...\n";

bool Told(uint32_t story) { return RizizOzezPrefs(story + 1, 0, 0) == 1; }

void Choose(int32_t* result, uint32_t story, const char* town) {
  *result = STORY_SCREEN;
  RizizOzezPrefs(0, 1, story);
  RizizOzezPrefs(story + 1, 1, 1);
  if (town) RizizOzezPrefsStr(46, 1, town);
  DebugLog("CheckRizizOzezEvents: Geschichte %u gewaehlt\n", story);
}

// ---- step 2: drought and diseases ----

void Catastrophe(int32_t* result, bool* failed) {
  if (CheckPrefs(PREFS_DICE2, 0, 0) >= 10) return;
  const uint32_t dice = CheckPrefs(PREFS_DICE3, 0, 0);
  const uint32_t d = dice % 5;
  if (d == 0) {
    const char* pool = IsChunkInFile(1u << CHUNK_KORN, OutgoingPoolPath) ? OutgoingPoolPath : ReceivedPoolPath;
    Chunk korn("KORN", pool);
    if (!korn.p || korn.len() < 52) {
      DebugLog(kChunkMissing);
      *failed = true;
    } else if (ChunkGet16(korn.p, 16) == 1) {
      const uint32_t h = ChunkGet32(korn.p, 18) >> 1;
      ChunkPut32(korn.p, 18, h);
      ChunkPut32(korn.p, 52, ChunkGet32(korn.p, 52) + h);
      Choose(result, 14, nullptr);
      if (!AddChunkPool(korn.p, OutgoingPoolPath)) *failed = true;
    }
  } else {
    TownChunk towns;
    Chunk land("LAND", ReceivedPoolPath);
    if (!towns.Load() || !land.p) {
      DebugLog(kChunkMissing);
      *failed = true;
    } else if (towns.count) {
      char name[80];
      towns.Name(CheckPrefs(PREFS_DICE4, 0, 0) % towns.count, name);
      st_TOWN* t = LoadTownByName(name, kTownMissing);
      if (!t) {
        *failed = true;
      } else {
        struct Disease { uint32_t story; uint16_t flag; uint32_t limit; uint32_t building; };
        static const Disease kDiseases[4] = {{26, TOWN_CONSUMPTION, 50000, 47}, {24, TOWN_SPOTTED_FEVER, 100000, 22},
                                             {23, TOWN_VARIOLA, 200000, 78}, {25, TOWN_BLACK_DEATH, 400000, 160}};
        const Disease& k = kDiseases[dice & 3];
        if (!(t->flags & k.flag) && t->population > k.limit && !(Stands(t, 21) && Stands(t, k.building))) {
          t->flags |= k.flag;
          Choose(result, k.story, t->name);
          if (!SaveTown(t)) {
            DebugLog(kTownNotSaved);
            *failed = true;
          }
        }
        FreeVec(t);
      }
    }
  }
  DebugLog("CheckRizizOzezEvent: W\xFCrfelwert %u\n", d);
}

// ---- step 3: rebellion and bank robbery ----

void Rebellion(int32_t* result, bool* failed) {
  TownChunk towns;
  Chunk land("LAND", ReceivedPoolPath);
  if (!towns.Load() || !land.p || land.len() < 72) {
    DebugLog(kChunkMissing);
    *failed = true;
    return;
  }
  // In 32 bits: a faith of millions never wraps the threshold round.
  const uint64_t threshold = (uint64_t)ChunkGet16(land.p, 82) + ChunkGet32(land.p, 62) / 100 + 5;
  if (towns.count <= threshold) return;
  const uint64_t margin = towns.count - threshold;
  const uint32_t pick = CheckPrefs(PREFS_DICE4, 0, 0) % towns.count;
  char name[80];
  towns.Name(pick, name);
  bool chosen = false;
  if (margin > CheckPrefs(PREFS_DICE1, 0, 0)) {
    st_TOWN* t = LoadTownByName(name, kTownMissing2);
    if (!t) {
      *failed = true;
    } else if (t->flags & TOWN_REBELS) {
      DebugLog("CheckRizizOzezEvents: Diese Stadt rebelliert bereits...\n");
    } else if (Stands(t, 139) || Stands(t, 162) || Stands(t, 163) || Stands(t, 195) || Stands(t, 231)) {
      DebugLog("CheckRizizOzezEvents: Besonderes Geb\xE4ude in der Stadt. Deshalb keine Rebellion...\n");
    } else if (ChunkState("ARMY", OutgoingPoolPath) == CHUNK_DAMAGED) {
      // Unreadable armies are not "no garrison": no rebellion is made up.
      DebugLog(kChunkMissing);
      *failed = true;
    } else {
      Chunk army("ARMY", OutgoingPoolPath);
      if (army.p) {
        uint64_t garrison = 0;
        if (ListHeader* armies = ScanArmy2List(army.p)) {
          ListNode* n = armies->first;
          for (uint32_t i = 0; i < armies->count && n; i++, n = n->next) {
            const Army* a = reinterpret_cast<const Army*>(n);
            if (a->X != t->XPos || a->Y != t->YPos || !a->parts) continue;
            ListNode* p = a->parts->first;
            for (uint32_t k = 0; k < a->parts->count && p; k++, p = p->next)
              garrison += reinterpret_cast<const ArmeeTyp*>(p)->Leute;
          }
          DeleteArmyList(armies);
        }
        if (garrison < 1500) t->flags |= TOWN_REBELS;
      } else {
        t->flags |= TOWN_REBELS;
      }
      uint32_t faith = ChunkGet32(land.p, 62);
      if (t->flags & TOWN_REBELS) {
        if (faith >= 35) ChunkPut32(land.p, 62, faith - 25);
        if (!SaveTown(t)) DebugLog(kTownNotSaved);
        Choose(result, 21, t->name);
        chosen = true;
      } else if (!Stands(t, 95)) {
        if (faith >= 10) ChunkPut32(land.p, 62, faith - 10);
        Choose(result, 20, t->name);
        chosen = true;
      }
    }
    if (t) FreeVec(t);
  }
  if (margin > CheckPrefs(PREFS_STORY_THRESHOLD, 0, 0)) {
    st_TOWN* t = LoadTownByName(name, kTownMissing2);
    if (!t) {
      *failed = true;
    } else {
      if (Stands(t, 2) && !Stands(t, 95)) {
        Choose(result, 13, t->name);
        chosen = true;
      }
      FreeVec(t);
    }
  }
  if (chosen && !AddChunkPool(land.p, OutgoingPoolPath)) *failed = true;
}

// ---- steps 4 to 9 ----

void Occupation(int32_t* result) {
  Chunk krig("KRIG", ReceivedPoolPath);
  if (!krig.p || krig.len() < 4) return;
  const uint32_t n = ChunkGet32(krig.p, 12);
  for (uint32_t i = 0; i < n && 16 + 72 * (i + 1) <= 12 + krig.len(); i++)
    if (ChunkGet32(krig.p, 16 + 72 * i + 40) == 3) {
      Choose(result, 15, nullptr);
      return;
    }
}

void FirstBuildings(int32_t* result) {
  st_TOWN* t = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!t) {
    DebugLog("CheckRizizOzezEvents : Konnte Stadt nicht laden...\n");
    return;
  }
  struct BuildingStory { uint32_t building, story; };
  static const BuildingStory kStories[] = {{16, 5}, {19, 16}, {20, 4}, {25, 3}, {26, 2}, {51, 6}};
  for (const BuildingStory& s : kStories)
    if (Stands(t, s.building) && !Told(s.story)) {
      Choose(result, s.story, nullptr);
      break;
    }
  FreeVec(t);
}

void Guide(int32_t* result) {
  for (uint32_t k = 7; k <= 12; k++)
    if (!Told(k)) {
      Choose(result, k, nullptr);
      return;
    }
}

void OldMine(int32_t* result) {
  if (g_story.roll(100) < 2 && !Told(17)) Choose(result, 17, nullptr);
}

void Luxury(int32_t* result) {
  uint32_t s = 6;
  for (uint32_t f : {PREFS_LUXURY_VALUE1, PREFS_LUXURY_VALUE2, PREFS_LUXURY_VALUE3})
    if ((int32_t)CheckPrefs(f, 0, 0) > 0) s++;
  if (g_story.roll(100) >= s) return;
  TownListEntry* list = nullptr;
  const uint32_t n = ReadTownList(&list);
  if (list) FreeVec(list);
  if (n != 1) return;
  if (!Told(22) || CheckPrefs(PREFS_LUXURY_GOOD, 0, 0) == 0) Choose(result, 22, nullptr);
}

void HerbLore(int32_t* result) {
  Chunk fors("FORS", ReceivedPoolPath);
  if (!fors.p || fors.len() < 7) return;
  const int32_t level = (int8_t)fors.p[18];
  // The last herb story open at each biology grade; they come in order.
  static const uint32_t kLast[8] = {26, 28, 31, 34, 37, 39, 41, 44};
  if (level < 1) return;
  const uint32_t last = kLast[level > 7 ? 7 : level];
  for (uint32_t k = 27; k <= last; k++)
    if (!Told(k)) {
      Choose(result, k, nullptr);
      return;
    }
}

}  // namespace

void SetStoryDice(uint32_t (*roll)(uint32_t n)) { g_story.roll = roll ? roll : Zufall; }

int32_t CheckRizizOzezEvents() {
  int32_t result = STORY_NONE;
  if (RizizOzezPrefs(2, 0, 0) != 1) {
    Choose(&result, 1, nullptr);
    return result;
  }
  bool failed = false;
  Catastrophe(&result, &failed);
  if (result != STORY_SCREEN) Rebellion(&result, &failed);
  if (result != STORY_SCREEN) Occupation(&result);
  if (result != STORY_SCREEN) FirstBuildings(&result);
  if (result != STORY_SCREEN) Guide(&result);
  if (result != STORY_SCREEN) OldMine(&result);
  if (result != STORY_SCREEN) Luxury(&result);
  if (result != STORY_SCREEN) HerbLore(&result);
  if (failed && result != STORY_SCREEN) DebugLog("CheckRizizOzezEvents: Fehler, keine Geschichte\n");
  return result;
}

// ---- after the story screen ----

namespace {

void TownMessage() {
  char* town = RizizOzezPrefsStr(46, 0, nullptr);
  char text[200];
  std::snprintf(text, sizeof text, "%s %s!\n", GetCatalogStr(1542), town ? town : "");
  if (town) FreeVec(town);
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, text, 7);
}

}  // namespace

int32_t RizizOzezEvents() {
  const uint32_t story = RizizOzezPrefs(0, 0, 0);
  switch (story) {
    case 13: {
      Chunk town("TOWN", IsChunkInFile(1u << CHUNK_TOWN, OutgoingPoolPath) ? OutgoingPoolPath : ReceivedPoolPath);
      if (!town.p || town.len() < 2) {
        DebugLog(kChunkMissing);
        return 0;
      }
      const uint32_t n = ChunkGet16(town.p, 12);
      const char* pool = IsChunkInFile(1u << CHUNK_LAND, OutgoingPoolPath) ? OutgoingPoolPath : ReceivedPoolPath;
      Chunk land("LAND", pool);
      if (!land.p || land.len() < 26) {
        DebugLog("RizizOzezEvents : Konnte LandChunk nicht \xF6" "ffnen !");
        return 0;
      }
      if (n) {
        const uint32_t gold = ChunkGet32(land.p, 34);
        ChunkPut32(land.p, 34, gold - (gold / n) / 4);
      }
      if (!AddChunkPool(land.p, OutgoingPoolPath)) return 0;
      TownMessage();
      return 1;
    }
    case 20: case 21: case 23: case 24: case 25: case 26:
      TownMessage();
      return 1;
    case 22: {
      char* lines = static_cast<char*>(AllocVec(16 * 80, MEMF_CLEAR));
      if (!lines) {
        DebugLog("RizizOzezEvents: Konnte Speicher f\xFCr Buffer nicht allokieren. Exit...\n");
        return 0;
      }
      for (uint32_t i = 0; i < 16; i++) std::snprintf(lines + 80 * i, 80, "%s", GetCatalogStr(1291 + i));
      const int32_t pick = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", 223, 130, 16, GetCatalogStr(678), lines,
                                   GetCatalogStr(244));
      FreeVec(lines);
      if (pick >= 0 && pick < 16) CheckPrefs(PREFS_LUXURY_GOOD, 1, 82 + (uint32_t)pick);
      return 1;
    }
    default:
      return 1;
  }
}

// ---- page modifications ----

int32_t CheckRizizOzezModifikation(const char* page) {
  if (!page) return 1;
  const char* end = std::strstr(page, "\xA7\xA7");
  const char* mark = std::strstr(page, "\xA7(%");
  if (!mark || (end && mark > end)) return 1;
  // Unit, amount and building from at most 39 bytes after the mark.
  char field[40];
  std::size_t n = 0;
  for (const char* p = mark + 3; n < 39 && *p; p++) field[n++] = *p;
  field[n] = 0;
  char* p = field;
  const uint32_t unit = (uint32_t)std::strtoul(p, &p, 10) & 0xFFFF;
  if (*p == ',') p++;
  const long long amount_in = std::strtoll(p, &p, 10);
  const int32_t amount = (int32_t)(amount_in > INT32_MAX ? INT32_MAX : amount_in < INT32_MIN ? INT32_MIN : amount_in);
  const bool percent = *p == '%';
  if (percent) p++;
  if (*p == ',') p++;
  const uint32_t building = (uint32_t)std::strtoul(p, &p, 10);
  DebugLog("Modifikation...\n");
  DebugLog("RizizOzezBrowser: Einheit %u\n", unit);
  DebugLog("RizizOzezBrowser: Anzahl %d\n", amount);
  DebugLog("RizizOzezBrowser: Prozent %u\n", percent ? 1u : 0u);
  DebugLog("RizizOzezBrowser: Geb\xE4ude %u\n", building);
  if (unit > 12) return 1;
  // Adding never wraps: clamped to 0 .. 2^32 - 1.
  auto add = [](uint32_t v, int64_t a) -> uint32_t {
    const int64_t r = (int64_t)v + a;
    return (uint32_t)(r < 0 ? 0 : r > 0xFFFFFFFFll ? 0xFFFFFFFFll : r);
  };
  // v x (100 + a) / 100 in 64 bits, clamped; below -100 % gives 0.
  auto scale = [&](uint32_t v) -> uint32_t {
    if (amount < -100) return 0;
    const uint64_t r = (uint64_t)v * (uint64_t)(100 + (int64_t)amount) / 100;
    return (uint32_t)(r > 0xFFFFFFFFull ? 0xFFFFFFFFull : r);
  };
  if (unit <= 3) {
    Chunk korn("KORN", ReceivedPoolPath);
    if (!korn.p || korn.len() < 30) {
      DebugLog("CheckRizizOzezModifikation: Konnte Chunk nicht laden...\n");
      return 0;
    }
    if (unit == 3) {
      if (percent) return 0;
      if (amount >= 0 && amount <= 3) korn.p[40] = (uint8_t)amount;
    } else {
      const uint32_t off = 18 + 4 * unit;
      const uint32_t v = ChunkGet32(korn.p, off);
      ChunkPut32(korn.p, off, percent ? scale(v) : add(v, amount));
    }
    return AddChunkPool(korn.p, ReceivedPoolPath) ? 1 : 0;
  }
  Chunk land("LAND", ReceivedPoolPath);
  if (!land.p || land.len() < 26) {
    DebugLog("CheckRizizOzezModifikation: Konnte Chunk nicht laden...\n");
    return 0;
  }
  const uint32_t inhabitants = ChunkGet32(land.p, 14);
  switch (unit) {
    case 4:
      ChunkPut32(land.p, 14, percent ? scale(inhabitants) : add(inhabitants, amount));
      break;
    case 5: case 6: case 7: case 8:
      if (percent) {
        const uint32_t off = 18 + 4 * (unit - 5);
        const uint32_t v = scale(ChunkGet32(land.p, off));
        const bool grows = unit == 5 || unit == 7;
        ChunkPut32(land.p, 14, add(inhabitants, grows ? (int64_t)v : -(int64_t)v));
        ChunkPut32(land.p, off, v);
      }
      break;
    case 9: {
      const uint32_t gold = ChunkGet32(land.p, 34);
      ChunkPut32(land.p, 34, percent ? scale(gold) : add(gold, amount));
      break;
    }
    default:
      break;
  }
  return AddChunkPool(land.p, ReceivedPoolPath) ? 1 : 0;
}
