// The construction screen (code 43): its visit, data and leaving write. The
// catalogue is in baukatalog.cpp, the orders in bauauftrag.cpp. See bau.h
// and docs/construction.md.
#include "bau.h"

#include <cstdio>
#include <cstring>

#include "bau_internal.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"

namespace {

const char kSfx[] = ".\\Data\\SfxPath";
const char kGebaeude[] = ".\\Data\\Gebaeude.dat";
const char kWaren[] = ".\\Data\\WarenChunk.qoe";
const uint32_t kSounds[3] = {169, 170, 171};
constexpr uint32_t kPicture = 43, kHelpText = 447, kMissingText = 1528, kWriteFailedText = 1584;
constexpr uint32_t kTitlePen = 6, kBoxPen = 7;
// A damaged goods store: what construction does without it, and the word on a build order.
constexpr uint32_t kStoreDamagedText = 1694, kStoreDamagedOrder = 1695;
constexpr int32_t kNext = 39;
constexpr uint32_t kLayoutMask = (1u << LAYOUT_TEXTAREA) | (1u << LAYOUT_GADGET) | (1u << LAYOUT_AREA) |
                                 (1u << LAYOUT_VALUE);
constexpr int32_t kTitleX = 387, kTitleY = 344, kTitleW = 144, kTitleH = 18;

BauModuleState g_bau;

uint32_t Saturated(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(v); }

// The records of a BAUE chunk as a new array (null for none).
BaustellenData* BaueRecords(const uint8_t* baue, uint16_t* count) {
  *count = 0;
  const uint32_t len = ChunkLength(baue);
  if (len < 2) return nullptr;
  uint32_t n = ChunkGet16(baue, kBaueCount);
  if (n > (len - 2) / kBaustellenSize) n = (len - 2) / kBaustellenSize;
  DebugLog("Anzahl der Geb\xE4ude %u\n", n);
  if (!n) return nullptr;
  auto* out = static_cast<BaustellenData*>(AllocVec(n * sizeof(BaustellenData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!out) {
    DebugLog("ReadBauScreenData : Konnte Speicher f\xFCr BaustellenData nicht allokieren...\n");
    return nullptr;
  }
  for (uint32_t i = 0; i < n; ++i) out[i] = GetBaustelle(baue + kBaueRecords + kBaustellenSize * i);
  *count = static_cast<uint16_t>(n);
  return out;
}

// A chunk of the pool when it announces it: 1 loaded (or absent: *chunk
// null), 0 when announced but not loadable or shorter than min_size.
int32_t LoadAnnounced(const char* id, ChunkIndex index, const char* pool, uint32_t min_size, uint8_t** chunk) {
  *chunk = nullptr;
  if (IsChunkInFile(ChunkBit(index), pool) != 1) return 1;
  *chunk = LoadChunk2Mem(id, pool);
  if (*chunk && ChunkLength(*chunk) + sizeof(ChunkHeader) < min_size) {
    FreeChunk(*chunk);
    *chunk = nullptr;
  }
  return *chunk != nullptr;
}

}  // namespace

BauModuleState& BauModule() { return g_bau; }
void SetBauRandom(RandomFunc random) { g_bau.random.store(random); }
void SetBauMessageHook(BauMessageHook hook) { g_bau.message.store(hook); }

uint32_t BauRandom(uint32_t n) {
  const RandomFunc r = g_bau.random.load();
  return r ? r(n) : Zufall(n);
}

int32_t BauMessage(BauScreenData* d, uint32_t mode, uint32_t catalog) {
  if (const BauMessageHook hook = g_bau.message.load()) return hook(mode, catalog);
  SetMovieMode(d ? d->movie : nullptr, 1);
  const int32_t answer =
      static_cast<int32_t>(ChiefMessage(66, 168, 180, 0, 0, 0, mode, GetCatalogStr(catalog), kBoxPen));
  SetMovieMode(d ? d->movie : nullptr, 0);
  return answer;
}

BaustellenData GetBaustelle(const uint8_t* p) {
  return BaustellenData{ChunkGet16(p, 0), ChunkGet16(p, 2), ChunkGet16(p, 4), ChunkGet16(p, 6),
                        ChunkGet32(p, 8), ChunkGet16(p, 12), ChunkGet16(p, 14)};
}

void PutBaustelle(uint8_t* p, const BaustellenData& b) {
  ChunkPut16(p, 0, b.building);
  ChunkPut16(p, 2, b.year);
  ChunkPut16(p, 4, b.quarter);
  ChunkPut16(p, 6, b.buildTime);
  ChunkPut32(p, 8, b.price);
  ChunkPut16(p, 12, b.upkeep);
  ChunkPut16(p, 14, b.town);
}

uint32_t GebaCount(const uint8_t* geba) {
  if (!geba) return 0;
  const uint32_t len = ChunkLength(geba);
  if (len + sizeof(ChunkHeader) < kGebaRecords) return 0;
  const uint32_t n = ChunkGet16(geba, kGebaCount);
  const uint32_t room = (len + sizeof(ChunkHeader) - kGebaRecords) / kBaustellenSize;
  return n < room ? n : room;
}

uint8_t* GebaRecord(uint8_t* geba, uint32_t i) { return geba + kGebaRecords + kBaustellenSize * i; }

// ---- the visit's data ---------------------------------------------------------

int32_t ReadBauScreenData(BauScreenData* d) {
  d->accountState = ReadAccountState();
  if (!OrdersAllowed(d->accountState)) return 1;
  uint8_t* land = nullptr;
  const int32_t from = LoadTurnChunk("LAND", &land);
  if (from == TURN_CHUNK_FAILED || (land && ChunkLength(land) + sizeof(ChunkHeader) < kLandConfidence + 4)) {
    if (land) FreeChunk(land);
    DebugLog("ReadBauScreenData : Konnte LandChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  if (land) {
    d->treasury = ChunkGet32(land, kLandTreasury);
    d->confidence = ChunkGet32(land, kLandConfidence);
    FreeChunk(land);
  }
  uint8_t* korn = nullptr;
  if (!LoadAnnounced("KORN", CHUNK_KORN, ReceivedPoolPath, kKornQuarter + 2, &korn)) {
    DebugLog("ReadBauScreenData : Konnte KornChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  if (korn) {
    d->year = ChunkGet32(korn, kKornYear);
    d->quarter = ChunkGet16(korn, kKornQuarter);
    FreeChunk(korn);
  }
  for (int pass = 0; pass < 2; ++pass) {
    uint8_t* baue = nullptr;
    if (!LoadAnnounced("BAUE", CHUNK_BAUE, pass ? ReceivedPoolPath : OutgoingPoolPath, kBaueRecords, &baue)) {
      DebugLog("ReadBauScreenData : Konnte BAUE-Chunk nicht \xF6" "ffnen \n");
      return 0;
    }
    if (!baue) continue;
    if (pass) d->oldOrders = BaueRecords(baue, &d->oldCount);
    else d->newOrders = BaueRecords(baue, &d->newCount);
    FreeChunk(baue);
  }
  if (!LoadAnnounced("FORS", CHUNK_FORS, ReceivedPoolPath, 22, &d->fors)) {
    DebugLog("ReadBauScreenData : Konnte ForschungsChunk nicht \xF6" "ffnen \n");
    return 0;
  }
  // A side file that is there but damaged is not taken for none. Without
  // the goods store the screen opens with nothing in store and builds nothing.
  if (LoadChunkState("GEBA", kGebaeude, &d->geba) == CHUNK_DAMAGED) {
    DebugLog("ReadBauScreenData : Gebaeude.dat ist besch\xE4" "digt\n");
    return 0;
  }
  if (LoadChunkState("WARE", kWaren, &d->ware) == CHUNK_DAMAGED) {
    DebugLog("ReadBauScreenData : WarenChunk.qoe ist besch\xE4" "digt\n");
    d->wareDefekt = 1;
  }
  d->goods = CreateList(7);
  if (!d->goods) {
    DebugLog("ReadBauScreenData: kein Speicher f\xFCr ListHeader vorhanden...\n");
    return 0;
  }
  if (d->ware && ScanWare2List(d->goods, d->ware) != 1) {
    DebugLog("ReadBauScreenData: Ware konnt nicht in eine Liste eingescannt werden...\n");
    return 0;
  }
  uint64_t wood = 0, stone = 0;
  ListNode* n = d->goods->first;
  for (uint32_t i = 0; i < d->goods->count && n; ++i, n = n->next) {  // the list is a ring
    const auto* w = reinterpret_cast<const WarenListenEntry*>(n);
    if (w->kind != 5) continue;
    if (w->goods == 98) wood += w->quantity;
    if (w->goods == 99) stone += w->quantity;
  }
  d->wood = Saturated(wood);
  d->stone = Saturated(stone);
  return 1;
}

int32_t WriteBauScreenData(BauScreenData* d) {
  if (!OrdersAllowed(d->accountState) || !d->town) return 1;
  uint8_t* baue = nullptr;
  uint8_t* land = nullptr;
  uint8_t* ware = nullptr;
  uint8_t* ware_disk = nullptr;
  uint8_t* pool = nullptr;
  uint32_t ware_size = 0, pool_size = 0;
  const char* failure = nullptr;
  if (d->newCount) {
    baue = AllocChunk("BAUE", "V001", 2 + kBaustellenSize * d->newCount);
    if (!baue) failure = "WriteBauScreenData: Konnte Speicher f\xFCr BAUE-Daten nicht allokieren...\n";
    for (uint32_t i = 0; baue && i < d->newCount; ++i)
      PutBaustelle(baue + kBaueRecords + kBaustellenSize * i, d->newOrders[i]);
    if (baue) ChunkPut16(baue, kBaueCount, d->newCount);
  }
  const int32_t from = LoadTurnChunk("LAND", &land);
  if (!failure && from == TURN_CHUNK_FAILED) failure = "WriteBauScreenData : Konnte LandChunk nicht \xF6" "ffnen \n";
  if (!failure && !land) failure = "WriteBauScreenData: LandChunk nicht vorhanden !\n";
  if (!failure && ChunkLength(land) + sizeof(ChunkHeader) < kLandTreasury + 4)
    failure = "WriteBauScreenData: LandChunk zu kurz !\n";
  if (!failure) ChunkPut32(land, kLandTreasury, d->treasury);
  if (!failure && d->goods && d->goods->count && !d->wareDefekt) {
    ware = MakeWareChunkFromList(d->goods);
    ware_size = ware ? ChunkLength(ware) + sizeof(ChunkHeader) : 0;
    ware_disk = ware ? static_cast<uint8_t*>(AllocVec(ware_size, MEMF_PUBLIC)) : nullptr;
    if (ware_disk) {
      std::memcpy(ware_disk, ware, ware_size);
      if (!SwapByteOrderInChunk(ware_disk, ware_size, 0)) {
        FreeVec(ware_disk);
        ware_disk = nullptr;
      }
    }
    if (!ware_disk) failure = "WriteHandelsScreenData : Konnte Chunk nicht anlegen\n";
  }
  if (!failure) {
    PoolChange changes[2] = {{land, nullptr}, {baue, nullptr}};
    pool = ChangedPoolImage(OutgoingPoolPath, changes, baue ? 2 : 1, &pool_size);
    if (!pool) failure = "WriteBauScreenData: Konnte den Chunk-Pool nicht bilden...\n";
  }
  if (!failure) {
    uint8_t town[TOWN_FILE_SIZE];
    EncodeTown(d->town, town);
    char name[TOWN_NAME_SIZE + 1] = {};
    std::memcpy(name, d->town->name, TOWN_NAME_SIZE);
    char path[3 * TOWN_NAME_SIZE + 32];
    TownFilePath(name, path, sizeof path);
    // The orders, the paid gold and the taken goods: all or none.
    FileSet* set = BeginFileSet();
    int32_t ok = set && FileSetWrite(set, OutgoingPoolPath, pool, pool_size) &&
                 FileSetWrite(set, path, town, TOWN_FILE_SIZE) &&
                 (!ware_disk || FileSetWrite(set, kWaren, ware_disk, ware_size));
    const int32_t done = set ? CommitFileSet(set) : 0;
    ok = done && ok;
    if (!ok) failure = "WriteBauScreenData : Konnte Stadtfile nicht abspeichern...\n";
    else if (done == FILESET_PART && TakePartSaveNotice()) BauMessage(d, 0, 1702);  // saved in part, finished later
  }
  FreeVec(pool);
  FreeVec(ware_disk);
  if (ware) FreeChunk(ware);
  if (land) FreeChunk(land);
  if (baue) FreeChunk(baue);
  if (failure) {
    DebugLog("%s", failure);
    BauMessage(d, 0, kWriteFailedText);
    return 0;
  }
  return 1;
}

int32_t LoadBauScreenSfx(BauScreenData*) {
  for (uint32_t i = 0; i < 3; ++i)
    if (OpenElmorSfx(kSfx, kSounds[i]) != 1) {
      DebugLog("LoadBauScreenSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
      while (i--) CloseElmorSfx000(kSounds[i]);
      return 0;
    }
  return 1;
}

void CloseBauScreenSfx() {
  for (uint32_t id : kSounds) CloseElmorSfx000(id);
}

int32_t InitAllThingsBau(BauScreenData* d) {
  d->movieBase = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
  d->titleBackground = SaveBackground(kTitleX, kTitleY, kTitleW, kTitleH);
  RastPort* rp = ScreenRastPort();
  const ScreenRecordList& texts = d->region->types[LAYOUT_TEXTAREA];
  const ScreenRecordList& gadgets = d->region->types[LAYOUT_GADGET];
  // The panels' labels are printed; a button's name shows only in the title
  // bar (its sign is on the picture).
  auto names_a_button = [&](const TextArea* t) {
    for (uint32_t k = 0; k < gadgets.count; ++k)
      if (static_cast<const Gadget*>(gadgets.first)[k].textArea == t) return true;
    return false;
  };
  for (uint32_t i = 0; rp && i + 1 < texts.count; ++i) {
    const TextArea* t = static_cast<const TextArea*>(texts.first) + i;
    if (t->text && t->textId != kTextTitleBar && !names_a_button(t))
      PrintTextOutlined(rp, t->x1, t->y1, t->x2, t->y2, t->text, 0, 7, PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  }
  // The first building shown is one the town may list.
  StepBuilding(d, 1);
  if (GetBuildingData(d)) SetBuilding(d);
  return 1;
}

void FreeBauScreenThings(BauScreenData* d) {
  if (d->req) FreeRequesterBox(d->req);
  d->req = nullptr;
  FreeVec(d->text);
  d->text = nullptr;
  if (d->movieBase && d->movie) StopMovie(d->movieBase, d->movie);
  d->movie = nullptr;
  if (RastPort* rp = ScreenRastPort(); rp && d->movieBase) {
    SetAPen(rp, 0);
    RectFill(rp, 64, 75, 288, 274);
  }
  if (d->titleBackground) FreeBitMap(d->titleBackground);
  d->titleBackground = nullptr;
  for (BitMap*& b : d->panels) {
    if (b) FreeBitMap(b);
    b = nullptr;
  }
  if (d->movieBase) FreeMovieBase(d->movieBase);
  d->movieBase = nullptr;
}

void FreeBauScreenData(BauScreenData* d) {
  if (!d) return;
  FreeBauScreenThings(d);
  FreeVec(d->town);
  if (d->goods) DeleteList(d->goods, 0);
  FreeVec(d->newOrders);
  FreeVec(d->oldOrders);
  if (d->fors) FreeChunk(d->fors);
  if (d->geba) FreeChunk(d->geba);
  if (d->ware) FreeChunk(d->ware);
  FreeVec(d);
}

// ---- the screen -------------------------------------------------------------------

int32_t BauScreen(int32_t) {
  ScreenBase base{};
  auto* d = static_cast<BauScreenData*>(AllocVec(sizeof(BauScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) {
    ScreenStartFailed(nullptr, SCREEN_STEP_MEMORY, "BauScreen: Kein Speicher f\xFCr lokale Daten!\n");
    return -1;
  }
  bool sfx = false;
  auto release = [&](int32_t next) {
    FreeBauScreenThings(d);
    if (sfx) CloseBauScreenSfx();
    if (RastPort* rp = ScreenRastPort(); rp && d->font && rp->Font == d->font) SetFont(rp, base.font);
    CloseScreenBase(&base, next);
    if (d->font) CloseFont(d->font);
    FreeBauScreenData(d);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(base.pictureId ? &base : nullptr, step, line);
    return release(-1);
  };
  if (!ReadBauScreenData(d)) return fail(SCREEN_STEP_DATA, "BauScreen: Kann lokale Daten nicht initialisieren !\n");
  sfx = LoadBauScreenSfx(d) == 1;
  if (!sfx) return fail(SCREEN_STEP_SOUNDS, "BauScreen: Kann Audio-Daten nicht laden !\n");
  d->town = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!d->town) return fail(SCREEN_STEP_TOWN, "BauScreen: Konnte Stadt nicht laden!\n");
  PlayScreenCdTrack(7);
  if (!OpenScreenPicture(&base, kPicture, 1)) return fail(SCREEN_STEP_PICTURE, "BauScreen: Konnte Pic nicht \xF6" "ffnen!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "BauScreen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  d->titleFont = base.font;
  d->font = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!d->font) return fail(SCREEN_STEP_FONT, "BauScreen: Konnte Font nicht laden!\n");
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Bau.dat", kLayoutMask))
    return fail(SCREEN_STEP_LAYOUT, "BauScreen: Kann TitelbarDaten nicht laden!\n");
  d->region = base.region;
  if (RastPort* rp = ScreenRastPort()) {
    SetAPen(rp, 7);
    SetDrMd(rp, 0);
    SetFont(rp, d->font);
  }
  InitAmbientCounter(&d->ambient, 25, 4);
  RestoreMouseGadgets(nullptr, d->region);
  InitAllThingsBau(d);
  if (d->transitionDone) base.shown = 1;
  else ShowScreenBase(&base);  // nothing could be drawn: the screen shows all the same
  if (d->wareDefekt) ScreenTellDamagedFile(&base, kWaren, kStoreDamagedText);

  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (!MotionBusy.load() && AmbientCounterTick(&d->ambient)) SfxPlayer000(kSounds[Zufall(2)], 0, 0);
    if (!g) continue;
    auto pause = [&](uint8_t halted) { SetMovieMode(d->movie, halted); };
    if (GadgetIs(g, "EXIT")) {
      next = kNext;
    } else if (GadgetIs(g, "OKOK")) {
      pause(1);
      WriteBauScreenData(d);
      pause(0);
      next = kNext;
    } else if (GadgetIs(g, "OK00") && d->wareDefekt) {
      pause(1);
      BauMessage(d, 0, kStoreDamagedOrder);
      pause(0);
    } else if (GadgetIs(g, "OK00")) {
      pause(1);
      if (CheckTownEnv(d->town, d->fors, static_cast<uint32_t>(d->building), 1)) InitBaustellenData(d);
      else BauMessage(d, 0, kMissingText);
      pause(0);
    } else if (GadgetIs(g, "LE00") || GadgetIs(g, "RE00")) {
      const int32_t forward = GadgetIs(g, "RE00") ? 1 : 0;
      d->building = static_cast<int16_t>(d->building + (forward ? 1 : -1));
      if (StepBuilding(d, forward)) SetBuilding(d);
    } else if (GadgetIs(g, "BA00")) {
      pause(1);
      ShowBaustellenData(d);
      pause(0);
    } else if (GadgetIs(g, "INFO")) {
      pause(1);
      TextBox(GetCatalogStr(kHelpText));
      pause(0);
    } else if (GadgetIs(g, "ABRI")) {
      SendBuildingDemolition(d);
    } else if (d->req && (GadgetIs(g, "SL00") || GadgetIs(g, "UP00") || GadgetIs(g, "UP01"))) {
      MoveSlider(d->req, GadgetIs(g, "SL00")   ? static_cast<uint32_t>(GetMouseY())
                         : GadgetIs(g, "UP00") ? static_cast<uint32_t>(SLIDER_UP)
                                               : static_cast<uint32_t>(SLIDER_DOWN));
      ScrollRequester(d->req, 0, 0);
    }
  } while (ScreenBaseStays(&next, kNext));
  return release(next);
}
