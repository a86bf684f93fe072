// The town view. See stadt.h; the design of DrawTown is in docs/town-view.md.
#include "stadt.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"
#include "screens/economy/drawtown.h"

namespace {

const char kIn[] = ".\\Data\\POP3In\\GameChunk.qoe";
const char kSfx[] = ".\\Data\\SfxPath";
constexpr uint32_t kBoxPen = 7;
constexpr uint32_t kTownSound = 20;

const StadtLevel kLevels[4] = {
    {1, 39, ".\\Data\\Screendat\\Stadt.dat", 222, 358, 252, 255, 254, {0, 0}, {0, 0}},
    {2, 745, ".\\Data\\Screendat\\Stadt2.dat", 221, 757, 748, 750, 749, {758, 759}, {760, 761}},
    {3, 746, ".\\Data\\Screendat\\Stadt3.dat", 217, 762, 751, 753, 752, {763, 764}, {765, 766}},
    {4, 747, ".\\Data\\Screendat\\Stadt4.dat", 216, 767, 754, 756, 755, {768, 769}, {770, 771}},
};

// The sounds of the screen, opened in this order; the ambient ones by Zufall(6).
const uint32_t kSounds[] = {20, 17, 19, 21, 22, 23, 18, 24, kRainSound};
const uint32_t kAmbient[] = {17, 18, 19, 21, 22, 23, 24};

// Rain exclusion lists: the base (title and the two objects), with a
// message box, with the town choice.
const uint16_t kRainBase[] = {183, 0, 458, 57, 32, 394, 82, 455, 564, 403, 602, 449, kRainListEnd};
const uint16_t kRainMessage[] = {183, 0, 458, 57, 32, 394, 82, 455, 564, 403, 602, 449, 168, 180, 472, 298, kRainListEnd};
const uint16_t kRainChoose[] = {183, 0, 458, 57, 32, 394, 82, 455, 564, 403, 602, 449, 336, 220, 639, 479, kRainListEnd};
// The town choice (304 x 260) in the bottom right corner, wholly on the
// screen, so its buttons can be reached.
constexpr int32_t kChooseX = 336, kChooseY = 220;

// The module's state: the test hook (set before the game thread runs the
// screen; atomic).
struct StadtModuleState {
  std::atomic<StadtShownHook> shown{nullptr};
  // The object slots MakeStadtObjects filled (open once each) for
  // FreeStadtObjects to close: game thread.
  uint16_t objects[4] = {};
};
StadtModuleState g_stadt;

bool Stands(const st_TOWN* town, uint32_t building) {
  return town && building < TOWN_BUILDINGS && (town->buildings[building].flags & BUILDING_STANDS) != 0;
}

void PauseAll(StadtScreenData* d, uint8_t halted) {
  SetMovieMode(d->ford, halted);
  SetMovieMode(d->waterWheel, halted);
  SetMovieMode(d->mill, halted);
}

// A modal message (catalog text) with the movies paused and the rain kept off it.
void Message(StadtScreenData* d, uint32_t catalog) {
  PauseAll(d, 1);
  RainDriverBox(&d->rain, kRainMessage);
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(catalog), kBoxPen);
  RainDriverBox(&d->rain, nullptr);
  PauseAll(d, 0);
}

bool PaletteDisplay() { return DisplayDepth() == 8; }

}  // namespace

void SetStadtShownHook(StadtShownHook hook) { g_stadt.shown.store(hook); }

const StadtLevel* StadtLevelRow(uint32_t level) { return &kLevels[level >= 1 && level <= 4 ? level - 1 : 0]; }

void StadtSky(const StadtLevel* row, uint32_t weather, uint32_t* top, uint32_t* bottom) {
  *top = *bottom = 0;
  if (weather <= 1) {
    *top = row->sky;
  } else if (weather >= 4) {
    *top = row->overcastTop;
    *bottom = row->overcastBottom;
  }
}

void StadtMovies(const st_TOWN* town, uint32_t weather, StadtMovie out[3]) {
  for (int i = 0; i < 3; ++i) out[i] = StadtMovie{nullptr, 0, 0, 2};
  out[STADT_WATERWHEEL].fps = 4;
  const uint32_t level = town ? town->level : 0;
  if (level < 1 || level > 4) return;
  const bool dark = weather >= 4;
  const bool tower = Stands(town, 141);
  static const char* const kFord[4][2] = {{"Furt.CBAN", "FurtD.CBAN"},
                                          {"Furt-L2.CBAN", "FurtD-L2.CBAN"},
                                          {"Furt-L3.CBAN", "FurtD-L3.CBAN"},
                                          {"Furt-L4.CBAN", "FurtD-L4.CBAN"}};
  static const char* const kWheel[4][2] = {{"Wasserrad.CBAN", "WasserradD.CBAN"},
                                           {"Wasserrad-L2.CBAN", "WasserradD-L2.CBAN"},
                                           {"Wasserrad-L3.CBAN", "WasserradD-L3.CBAN"},
                                           {"Wasserrad-L4.CBAN", "WasserradD-L4.CBAN"}};
  static const char* const kMill[4] = {"Muehle_o_Zaun.CBAN", "Muehle_o_Zaun-L2.CBAN", "Muehle_o_Zaun-L3.CBAN",
                                       "Muehle_o_Zaun-L4.CBAN"};
  StadtMovie& ford = out[STADT_FORD];
  ford.file = kFord[level - 1][dark];
  ford.x = 64;
  ford.y = 306;
  if (level == 2 && Stands(town, 102)) ford.file = dark ? "FurtD-L2Haus.CBAN" : "Furt-L2Haus.CBAN";
  if (level == 3 && tower) {
    ford.file = dark ? "FurtD-L3B.CBAN" : "Furt-L3B.CBAN";
    ford.x = dark ? 79 : 80;
    ford.y = dark ? 307 : 306;
  }
  if (level == 4 && tower) {
    ford.file = dark ? "FurtD-L4B.CBAN" : "Furt-L4B.CBAN";
    if (dark) ford.y = 315;
  }
  if (Stands(town, 26)) out[STADT_WATERWHEEL] = StadtMovie{kWheel[level - 1][dark], 608, 214, 4};
  if (Stands(town, 1))
    out[STADT_MILL] = StadtMovie{level == 1 && Stands(town, 30) ? "Muehle_m_Zaun.CBAN" : kMill[level - 1], 576, 96, 2};
}

// ---- data, pictures, sounds, movies ---------------------------------------------------

int32_t ReadStadtScreenData(StadtScreenData* d) {
  d->accountState = ReadAccountState();
  d->weather = 0;
  if (!OrdersAllowed(d->accountState) || IsChunkInFile(ChunkBit(CHUNK_KORN), kIn) != 1) return 1;
  uint8_t* korn = LoadChunk2Mem("KORN", kIn);
  if (!korn) {
    DebugLog("ReadStadtScreenData : Konnte KornChunk nicht \xF6" "ffnen !\n");
    return 0;
  }
  if (ChunkLength(korn) + sizeof(ChunkHeader) > 40) d->weather = korn[40] > 6 ? 6 : korn[40];
  FreeChunk(korn);
  return 1;
}

int32_t MakeStadtObjects(uint32_t a, uint32_t b, int32_t x, int32_t y, uint32_t w, uint32_t h) {
  for (uint32_t id : {b, a}) {
    if (id == 0 || id > kGfxSlots) continue;
    BitMap* saved = id == b ? SaveBackground(x, y, w, h) : nullptr;
    if (id == b && !saved) {
      DebugLog("MakeStadtObjects : Konnte Bitmap nicht retten...\n");
      return 0;
    }
    BlitObjektMask(nullptr, id, 0, x, y, w, h);
    // The slot takes the picture over its background (through the picture
    // manager, open once, until FreeStadtObjects); a slot someone holds open
    // cannot take it.
    BitMap* copy = SaveBackground(x, y, w, h);
    if (copy && !PutElmorGfx(id, copy)) {
      FreeBitMap(copy);
      copy = nullptr;
    }
    if (!copy) {
      DebugLog("MakeStadtObjects : Konnte Bitmap nicht kopieren...\n");
      if (saved) RestoreBackground(saved, x, y, w, h);
      return 0;
    }
    for (uint16_t& slot : g_stadt.objects)
      if (slot == 0) {
        slot = static_cast<uint16_t>(id);
        break;
      }
    if (saved) RestoreBackground(saved, x, y, w, h);  // b is the alternative, not shown
  }
  return 1;
}

void FreeStadtObjects(StadtScreenData*) {
  // Exactly the slots MakeStadtObjects filled: each closed once.
  for (uint16_t& id : g_stadt.objects) {
    if (id) CloseElmorGfx(id);
    id = 0;
  }
}

namespace {

// The town's name on the title board's band.
void PrintTownName(const StadtScreenData* d) {
  char name[TOWN_NAME_SIZE + 1] = {};
  std::memcpy(name, d->town->name, TOWN_NAME_SIZE);
  PrintTextOutlined(nullptr, 212, 8, 428, 30, name, 0, 0, PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  ShowScreenRect(nullptr, 212, 8, 217, 23);
}

}  // namespace

void StadtSunSets(StadtScreenData* d) {
  if (!d || !d->sunShown) return;
  d->sunShown = 0;
  const StadtLevel* row = StadtLevelRow(d->level);
  RastPort* rp = ScreenRastPort();
  const BitMap* picture = rp ? UseElmorGfx(".\\Data\\Path", row->picture) : nullptr;
  if (!picture) {
    DebugLog("StadtSunSets: Konnte HintergrundBild nicht laden !\n");
    return;
  }
  QoeMutex* m = DisplayMutex();  // the movies and the rain draw meanwhile
  if (m) ObtainMutex(m);
  BltBitMapRastPort(picture, 0, 0, rp, 0, 0, 640, 123);
  if (m) ReleaseMutex(m);
  CloseElmorGfx(row->picture);
  DrawTown(nullptr, d->town);
  BlitObjektMask(nullptr, row->titleGfx, 0, 183, 0, 0, 0);
  if (d->font) SetFont(rp, d->font);
  PrintTownName(d);
  ShowScreenRect(rp, 0, 0, 640, 123);
}

int32_t InitAllThingsStadt(StadtScreenData* d) {
  const StadtLevel* row = StadtLevelRow(d->level);
  uint32_t top = 0, bottom = 0;
  StadtSky(row, d->weather, &top, &bottom);
  // By night (depth 8) the clear sky is the plain one: no sun.
  if (top == row->sky && PaletteDisplay() && TintTarget(LocalMinutesOfDay()) >= kNightTintLevel) top = 0;
  d->sunShown = top && top == row->sky;
  if (top) BlitObjekt(nullptr, top, 0, 0, 640, 123);
  if (bottom) BlitObjekt(nullptr, bottom, 0, 123, 640, 357);
  DrawTown(nullptr, d->town);
  if (row->pairA[0] && (!MakeStadtObjects(row->pairA[0], row->pairA[1], 32, 394, 64, 62) ||
                        !MakeStadtObjects(row->pairB[0], row->pairB[1], 566, 403, 48, 46))) {
    DebugLog("InitAllThings : Konnte Stadtobjekte nicht anlegen...\n");
    return 0;
  }
  RestoreMouseGadgets(nullptr, d->region);
  BlitObjektMask(nullptr, row->titleGfx, 0, 183, 0, 0, 0);
  return 1;
}

int32_t LoadStadtScreenSfx(StadtScreenData*) {
  for (uint32_t id : kSounds)
    if (OpenElmorSfx(kSfx, id) != 1) {
      DebugLog("LoadStadtScreenSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
      return 0;
    }
  return 1;
}

void CloseStadtScreenSfx() {
  for (uint32_t id : kSounds) CloseElmorSfx000(id);
}

int32_t InitStadtAnims(StadtScreenData* d) {
  d->movieBase = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
  if (!d->movieBase) {
    DebugLog("InitStadtAnims: AllocMovieBase fehlgeschlagen...\n");
    return 0;
  }
  StadtMovie m[3]{};
  StadtMovies(d->town, d->weather, m);
  Movie** slots[3] = {&d->ford, &d->waterWheel, &d->mill};
  for (int i = 0; i < 3; ++i) {
    if (!m[i].file) continue;
    char path[64];
    std::snprintf(path, sizeof path, ".\\Anims\\%s", m[i].file);
    *slots[i] = LoadMovie(d->movieBase, path, 0, 0);
    if (*slots[i]) StartMovie(d->movieBase, *slots[i], m[i].x, m[i].y, 68, m[i].fps);
  }
  return 1;
}

void FreeStadtAnims(StadtScreenData* d) {
  if (!d->movieBase) return;
  for (Movie* m : {d->ford, d->waterWheel, d->mill})
    if (m) StopMovie(d->movieBase, m);
  FreeMovieBase(d->movieBase);
  d->movieBase = nullptr;
  d->ford = d->waterWheel = d->mill = nullptr;
}

// ---- naming and choosing towns -----------------------------------------------------

void NameNewTown(StadtScreenData* d) {
  if (!d->town || !(d->town->flags & TOWN_NEEDS_NAME) || !OrdersAllowed(d->accountState)) return;
  SetMovieMode(d->mill, 1);
  RainDriverBox(&d->rain, kRainMessage);
  char name[TOWN_TYPED_NAME_MAX + 1];
  for (;;) {
    name[0] = 0;
    if (!EingabeBox(name, sizeof name, 168, 180, GetCatalogStr(801), GetCatalogStr(802),
                    EINGABE_ALNUM | EINGABE_MAILCHARS)) {
      // A cancelled box asks again; a closed window or no screen at all ends
      // the visit's asking (the next visit asks again).
      if (WindowCloseRequested() || !ScreenRastPort()) break;
      continue;
    }
    if (ChangeTownName(d->town->id, name)) {
      std::memset(d->town->name, 0, sizeof d->town->name);
      std::memcpy(d->town->name, name, std::strlen(name));
      d->town->flags = static_cast<uint16_t>(d->town->flags & ~TOWN_NEEDS_NAME);
      break;
    }
    // Refused: the name is used, or it could not be written.
    TownListEntry* towns = nullptr;
    const uint32_t count = ReadTownList(&towns);
    bool used = false;
    for (uint32_t i = 0; i < count; ++i)
      if (towns[i].id != d->town->id && std::strncmp(towns[i].name, name, TOWN_NAME_SIZE) == 0) used = true;
    FreeVec(towns);
    if (!used) {
      DebugLog("NameNewTown: Konnte den Namen %s nicht schreiben.\n", name);
      break;  // flag 1 stays; the next visit asks again
    }
    ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(803), kBoxPen);
  }
  RainDriverBox(&d->rain, nullptr);
  SetMovieMode(d->mill, 0);
}

int32_t ChangeTownChoice(StadtScreenData* d) {
  if (!OrdersAllowed(d->accountState)) {
    Message(d, 799);
    return -1;
  }
  TownListEntry* towns = nullptr;
  const uint32_t count = ReadTownList(&towns);
  if (count < 2) {
    FreeVec(towns);
    Message(d, 799);
    return -1;
  }
  uint32_t lines = 0;
  char* list = CreateStadtListBuffer(&lines);
  if (!list) {
    DebugLog("ChangeTown : Konnte StadtBuffer nicht anlegen...\n");
    FreeVec(towns);
    return 0;
  }
  const uint32_t n = lines < count ? lines : count;
  SetMovieMode(d->ford, 1);
  SetMovieMode(d->waterWheel, 1);
  RainDriverBox(&d->rain, kRainChoose);
  const int32_t choice = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", kChooseX, kChooseY, n, GetCatalogStr(1026), list,
                                 GetCatalogStr(1027));
  RainDriverBox(&d->rain, nullptr);
  SetMovieMode(d->ford, 0);
  SetMovieMode(d->waterWheel, 0);
  int32_t result = 0;
  if (choice < 0 || static_cast<uint32_t>(choice) >= n) {
    result = 2;
  } else if (towns[choice].id != OwnPlayerPtr->ActiveTown) {
    OwnPlayerPtr->ActiveTown = towns[choice].id;
    result = 1;
  }
  FreeVec(list);
  FreeVec(towns);
  return result;
}

int32_t ChangeTown(StadtScreenData* d) { return ChangeTownChoice(d) == 1 ? 1 : 0; }

int32_t StadtGadget(StadtScreenData* d, const char* id) {
  auto is = [&](const char* g) { return std::strncmp(id, g, 4) == 0; };
  const bool rebels = d->town && (d->town->flags & TOWN_REBELS);
  if (is("EXIT") || is("NAME")) {
    if (d->rebelBox) {
      CloseChiefMessage(d->rebelBox);
      d->rebelBox = nullptr;
      RainDriverBox(&d->rain, nullptr);
    }
    if (is("EXIT") && (Stands(d->town, 15) || (d->town && d->town->kind != 0))) return 2;
    const int32_t r = ChangeTownChoice(d);
    if (r == 1) return 39;
    // EXIT leaves unless the player chose a town: with no other town to
    // offer, or with the choice cancelled, it goes to the main screen, so
    // EXIT and Escape never keep the player in a town without a residence.
    return is("EXIT") && (r < 0 || r == 2) ? 2 : -1;
  }
  if (rebels) return -1;
  if (is("BAUS")) return 43;
  if (is("MAPL")) {
    if (Stands(d->town, 25)) return 108;
    Message(d, 798);
    return -1;
  }
  if (is("KASE")) {
    if (Stands(d->town, 19)) return 152;
    Message(d, 797);
    return -1;
  }
  struct {
    const char* id;
    uint32_t building;
    int32_t code;
  } const kPlain[] = {{"KOLA", 0, 56}, {"HARE", 16, 919}, {"HAFE", 51, 519}, {"TAVE", 14, 59}, {"RESI", 15, 2}};
  for (const auto& p : kPlain)
    if (is(p.id)) return Stands(d->town, p.building) ? p.code : -1;
  return -1;
}

// ---- the screen -------------------------------------------------------------------

int32_t StadtScreen(int32_t) {
  ScreenBase base{};
  auto* d = static_cast<StadtScreenData*>(AllocVec(sizeof(StadtScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) {
    ScreenStartFailed(nullptr, SCREEN_STEP_MEMORY, "KornlagerScreen: Kein Speicher f\xFCr Stadtscreendaten frei!\n");
    return -1;
  }
  bool irc_paused = false;
  auto release = [&](int32_t next) {
    if (d->rebelBox) CloseChiefMessage(d->rebelBox);
    d->rebelBox = nullptr;
    RainDriverStop(&d->rain);
    CloseStadtScreenSfx();
    FreeStadtAnims(d);
    FreeStadtObjects(d);
    d->region = nullptr;
    CloseScreenBase(&base, next);
    if (irc_paused) IRCPanelControl(1);
    if (d->town && next != -1) CheckPrefs(PREFS_TOWN_ID, 1, d->town->id);
    FreeVec(d->town);
    FreeVec(d->savedPalette);
    FreeVec(d);
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    release(-1);
    return -1;
  };
  d->town = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!d->town) return fail(SCREEN_STEP_TOWN, "StadtScreen: Konnte Stadt nicht laden!\n");
  const StadtLevel* row = StadtLevelRow(d->town->level);
  d->level = row->level;
  PlayScreenCdTrack(5);
  IRCPanelControl(2);
  irc_paused = true;
  if (!OpenScreenPicture(&base, row->picture, 1))
    return fail(SCREEN_STEP_PICTURE, "StadtScreen: Konnte HintergrundBild nicht laden !\n");
  if (!OpenScreenLayout(&base, row->layout, 3))
    return fail(SCREEN_STEP_LAYOUT, "StadtScreen: Kann TitelbarDaten nicht laden!\n");
  d->region = base.region;
  if (!ReadStadtScreenData(d)) return fail(SCREEN_STEP_DATA, "StadtScreen: Konnte Daten nicht \xF6" "ffnen !\n");
  InitRainDriver(&d->rain, d->weather, kRainBase);
  InitAmbientCounter(&d->ambient, 100, 40);
  d->tintLimit = 10;
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "StadtScreen: Konnte Elmor-Font nicht \xF6" "ffnen !\n");
  d->font = base.font;
  if (!InitAllThingsStadt(d)) return fail(SCREEN_STEP_GRAPHICS, "StadtScreen: Konnte Sound nicht laden !\n");
  IRCPanelControl(1);
  irc_paused = false;
  if (!InitStadtAnims(d)) return fail(SCREEN_STEP_MOVIES, "StadtScreen: Konnte Anims nicht laden !\n");
  if (!LoadStadtScreenSfx(d)) return fail(SCREEN_STEP_SOUNDS, "StadtScreen: Konnte Sound nicht laden !\n");

  const bool palette = PaletteDisplay();
  if (palette) CheckSysTime(d, 1);
  StartTheTransition();
  NameNewTown(d);
  PrintTownName(d);
  SfxPlayer000(kTownSound, 0, 1);
  if (StadtShownHook hook = g_stadt.shown.load()) hook();

  int32_t next = -1;
  do {
    if ((d->town->flags & TOWN_REBELS) && !d->rebelShown) {
      d->rebelShown = 1;
      RainDriverBox(&d->rain, kRainMessage);
      d->rebelBox = reinterpret_cast<ChiefMessageBox*>(
          ChiefMessage(66, 168, 180, 0, 0, 0, 2, GetCatalogStr(1254), kBoxPen));
      if (!d->rebelBox) RainDriverBox(&d->rain, nullptr);
    }
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, row->titlePen, &event);
    if (event == WE_TICK && !MotionBusy.load()) {
      if (palette && ++d->tintTicks >= d->tintLimit) {
        d->tintTicks = 0;
        d->tintLimit = 50;
        CheckSysTime(d, 0);
      }
      if (AmbientCounterTick(&d->ambient)) SfxPlayer000(kAmbient[Zufall(6)], 0, 0);
      RainDriverTick(&d->rain);
    }
    if (g) next = StadtGadget(d, g->id);
  } while (ScreenBaseStays(&next, 2));  // the way out is the main screen, as EXIT leaves

  release(next);
  return next;
}
