// The main screen (the residence). See residenz.h.
#include "residenz.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "platform/threads.h"
#include "platform/display.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/screenbase.h"
#include "screens/hub/recovery.h"
#include "screens/hub/residenzupload.h"
#include "screens/story/storyevents.h"

namespace {

const char kIn[] = ".\\Data\\POP3In\\GameChunk.qoe";
const char kOut[] = ".\\Data\\POP3Out\\GameChunk.qoe";

// Prefs fields of the screen.
enum : uint32_t {
  PREF_ACCOUNT = 0, PREF_UPLOADS = 15, PREF_TIP = 28, PREF_TUTORIAL = 30, PREF_LAST_TURN = 31,
  PREF_NEW_TURN = 35,
};
constexpr uint32_t kTutorialEnd = 18, kTipCount = 9;
constexpr uint32_t kTitlePen = 6, kBoxPen = 7;

// Status marks: places and graphics.
constexpr int32_t kInfoX = 16, kInfoY = 439, kInfoW = 32, kInfoH = 37;
constexpr int32_t kUploadX = 448, kUploadY = 384, kUploadW = 52, kUploadH = 43;
constexpr uint32_t kInfoMark = 1082, kUploadMark1 = 1034;

// The module's state. Game thread only.
struct ResidenzState {
  ResidenzDownloadFunc download;  // the turn download, null: not built yet
};
ResidenzState g_residenz{};

// The message box every text of the screen uses (mode 0 one button, 1 yes/no).
uint32_t Message(uint32_t mode, const char* text) {
  return static_cast<uint32_t>(ChiefMessage(66, 168, 180, 0, 0, 0, mode, text, kBoxPen));
}

void PauseMovies(ResidenzData* d, uint8_t halted) {
  SetMovieMode(d->alchemist, halted);
  SetMovieMode(d->scribe, halted);
}

// A text in a TextBox with the movies paused around it.
void ShowText(ResidenzData* d, const char* text) {
  DebugLog("Residenz: Text fuer den Spieler: %s\n", text);
  PauseMovies(d, 1);
  TextBox(text);
  PauseMovies(d, 0);
}

int32_t Download(ResidenzData* d) {
  if (g_residenz.download) return g_residenz.download(d->alchemist, d->scribe);
  DebugLog("ResidenzDownload: Kein Zug abgeholt.\n");
  PauseMovies(d, 1);
  Message(0, GetCatalogStr(1852));  // no turn fetched
  PauseMovies(d, 0);
  return 0;
}

// Reads one chunk of a pool when the pool announces it: 1 loaded (*out set),
// 0 absent, -1 announced but not loadable.
int32_t LoadAnnounced(const char* id, const char* pool, uint8_t** out) {
  *out = nullptr;
  int32_t index = ChunkIndexOf(id);
  if (index < 0 || !IsChunkInFile(ChunkBit(static_cast<ChunkIndex>(index)), pool)) return 0;
  *out = LoadChunk2Mem(id, pool);
  return *out ? 1 : -1;
}

// Puts a saved screen rectangle back and keeps it, so a mark can change
// again later (a mark drawn through its mask over another would mix them).
void PutBack(BitMap* saved, int32_t x, int32_t y, int32_t w, int32_t h) {
  RastPort* screen = ScreenRastPort();
  if (!saved || !screen) return;
  if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
  BltBitMapRastPort(saved, 0, 0, screen, x, y, w, h);
  if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
  ShowScreenRect(screen, x, y, w, h);
}

bool ChunkHolds(const uint8_t* c, uint32_t end) { return ChunkLength(c) + sizeof(ChunkHeader) >= end; }

}  // namespace

void SetResidenzDownload(ResidenzDownloadFunc download) { g_residenz.download = download; }

// ---- status marks -------------------------------------------------------------------

void ReadResidenzInfoData(ResidenzData* d) {
  uint8_t* info = nullptr;
  if (LoadAnnounced("INFO", kIn, &info) != 1) return;  // the mark stays as it is
  const uint16_t flags = ChunkGet16(info, INFO_FLAGS);
  FreeChunk(info);
  OwnPlayerPtr->InfoFlags = flags;
  if (!(flags & 1)) {
    if (!d->infoMarkShown) {
      BlitObjektMask(nullptr, kInfoMark, 0, kInfoX, kInfoY, kInfoW, kInfoH);
      ShowScreenRect(nullptr, kInfoX, kInfoY, kInfoW, kInfoH);
    }
    d->infoMarkShown = 1;
  } else if (d->infoMarkShown) {
    PutBack(d->infoMarkBackground, kInfoX, kInfoY, kInfoW, kInfoH);
    d->infoMarkShown = 0;
  }
}

void ShowResidenzUploadState(ResidenzData* d) {
  const uint32_t uploads = CheckPrefs(PREF_UPLOADS, 0, 0);
  if (d->uploadMarkShown) PutBack(d->uploadMarkBackground, kUploadX, kUploadY, kUploadW, kUploadH);
  d->uploadMarkShown = 0;
  if (uploads == 0) return;
  const uint32_t mark = kUploadMark1 + (uploads >= 3 ? 2 : uploads - 1);
  BlitObjektMask(nullptr, mark, 0, kUploadX, kUploadY, kUploadW, kUploadH);
  ShowScreenRect(nullptr, kUploadX, kUploadY, kUploadW, kUploadH);
  d->uploadMarkShown = 1;
}

// ---- the realm's values ---------------------------------------------------------

int32_t ReadResidenzScreenData(ResidenzData* d) {
  d->accountState = static_cast<uint16_t>(CheckPrefs(PREF_ACCOUNT, 0, 0));
  if (d->accountState != 2) return 1;
  d->infoMarkBackground = SaveBackground(kInfoX, kInfoY, kInfoW, kInfoH);
  d->uploadMarkBackground = SaveBackground(kUploadX, kUploadY, kUploadW, kUploadH);
  if (!d->infoMarkBackground || !d->uploadMarkBackground)
    DebugLog("ReadResidenzScreenData : Konnte Hintergrund nicht retten !\n");
  ReadResidenzInfoData(d);
  ShowResidenzUploadState(d);

  int32_t ok = 1;
  uint8_t* c = nullptr;
  int32_t r = LoadAnnounced("KORN", kIn, &c);
  if (r == 1 && ChunkHolds(c, 41)) {
    d->kornByte40 = c[40];
    d->quarter = ChunkGet16(c, 16);
  }
  if (r < 0) ok = 0;
  FreeChunk(c);
  r = LoadAnnounced("KORN", kOut, &c);
  if (r == 1 && ChunkHolds(c, 50)) {
    d->seedStore = ChunkGet32(c, 18);
    d->granary = ChunkGet32(c, 26);
    d->kornValue42 = ChunkGet32(c, 42);
    d->kornValue46 = ChunkGet32(c, 46);
  }
  if (r < 0) ok = 0;
  FreeChunk(c);
  r = LoadAnnounced("TAXE", kOut, &c);
  if (r == 1 && ChunkHolds(c, 16)) d->taxRate = ChunkGet32(c, 12);
  if (r < 0) ok = 0;
  FreeChunk(c);
  r = LoadAnnounced("FORS", kIn, &c);
  if (r == 1 && ChunkHolds(c, 13)) d->researchOrder = c[12];
  if (r < 0) ok = 0;
  FreeChunk(c);
  d->buildingsReceived = IsChunkInFile(ChunkBit(CHUNK_GEBA), kIn) ? 1 : 0;
  return ok;
}

// ---- after a download ---------------------------------------------------------------

int32_t ResidenzEvents() {
  uint8_t* land = nullptr;
  if (LoadAnnounced("LAND", kIn, &land) == 1) {
    if (ChunkHolds(land, 66) && static_cast<int32_t>(ChunkGet32(land, 62)) < 10) OwnPlayerPtr->Anarchy = 1;
    FreeChunk(land);
  }
  if (OwnPlayerPtr->Anarchy != 0) return 499;
  if (OwnPlayerPtr->Mark == OWNPLAYER_CORONATION) return 876;
  const int32_t story = CheckRizizOzezEvents();
  return story == 0 ? -1 : story;  // 0 never ends the game from here
}

static void AfterDownload(ResidenzData* d, int32_t* next) {
  ShowResidenzUploadState(d);
  ReadResidenzInfoData(d);
  d->downloaded = 1;
  *next = ResidenzEvents();
}

int32_t CheckOldTurn(ResidenzData* d) {
  if (OwnPlayerPtr->OldTurnTestDone) return 0;
  int32_t fetched = 0;
  const uint32_t last = CheckPrefs(PREF_LAST_TURN, 0, 0);
  if (last != 0) {
    // Both on the mail-date scale; the stored value keeps the low 32 bits,
    // so the age is taken wrap-aware (it works past 2033).
    const uint64_t now = MailDateNow();
    const int64_t age = static_cast<int32_t>(static_cast<uint32_t>(now) - last);
    DebugLog("Alter Zug    %u\n", last);
    DebugLog("Alter Zug++  %u\n", last + 86400u);
    DebugLog("Zeit_MW      %u\n", static_cast<uint32_t>(now));
    DebugLog("ZeitPtr_MW   %u\n", static_cast<uint32_t>(now % 32140800u));
    DebugLog("Jahr_MW      %u\n", static_cast<uint32_t>(now / 32140800u));
    if (age > 86400) {
      PauseMovies(d, 1);
      const uint32_t answer = Message(1, GetCatalogStr(1563));
      PauseMovies(d, 0);
      if (answer != 0) ShowText(d, GetCatalogStr(1564));
      else if (Download(d) == 1) fetched = 1;
    }
  }
  OwnPlayerPtr->OldTurnTestDone = 1;
  return fetched;
}

// ---- tutorial and tips --------------------------------------------------------------

namespace {

bool TownNamed() {
  TownListEntry* towns = nullptr;
  const uint32_t count = ReadTownList(&towns);
  bool named = count > 0 && std::strncmp(towns[0].name, "NewTown", 7) != 0;
  FreeVec(towns);
  return named;
}

bool WorkersAssigned() {
  st_TOWN* town = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!town) return false;
  const uint32_t column = town->XPos / 40, row = town->YPos / 20;
  FreeVec(town);
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(14);
  if (!list) {
    DebugLog("ShowTutorial: Konnte keine leere ArmyListe anlegen...\n");
    return false;
  }
  ScanMapCult2List(list, column, row);
  const bool any = list->count != 0;
  DeleteList(list, 1);
  return any;
}

bool FigureMoved() {
  uint8_t* move = LoadChunk2Mem("MOVE", ".\\Data\\MapPrefs.qoe");
  if (!move) {
    DebugLog("ShowTutorial: Konnte MOVE-Chunk nicht in Speicher laden!\n");
    return false;
  }
  const uint32_t size = ChunkLength(move) + sizeof(ChunkHeader);
  uint32_t count = size >= 14 ? ChunkGet16(move, 12) : 0;
  bool moved = false;
  for (uint32_t i = 0; i < count && 14 + (i + 1) * 18 <= size && !moved; ++i) {
    // A scout (type 0) starts each turn with 8 points; other figures may
    // start with fewer, so only a scout's points show a move.
    const FigurRecord f = GetFigurRecord(move + 14 + i * 18);
    moved = f.owner == OwnPlayerPtr->PlayerId && f.type == 0 && f.points < 8;
  }
  FreeChunk(move);
  return moved;
}

// The research the player ordered this turn (the research screen writes it
// into the outgoing FORS), or the one the last turn reports.
bool ResearchOrdered(const ResidenzData* d) {
  if (d->researchOrder != 0) return true;
  uint8_t* fors = nullptr;
  const bool ordered = LoadAnnounced("FORS", kOut, &fors) == 1 && ChunkHolds(fors, 13) && fors[12] != 0;
  FreeChunk(fors);
  return ordered;
}

// Steps that wait for the next turn.
bool WaitsForTurn(uint32_t step) { return step == 7 || step == 11 || step >= 13; }

// Whether tutorial step `step` is done.
bool TutorialStepDone(const ResidenzData* d, uint32_t step, bool new_turn) {
  switch (step) {
    case 1: return TownNamed();
    case 2: return d->granary != 0;
    case 3: return IsChunkInFile(ChunkBit(CHUNK_BAUE), kOut) == 1;
    case 4: return d->kornValue42 != 0 && d->kornValue46 != 0;
    case 5: return WorkersAssigned();
    case 6: return IsChunkInFile(ChunkBit(CHUNK_TAXE), kOut) == 1;
    case 8: return FigureMoved();
    // A stranger's name asked on the map, or a contract offered on the
    // diplomacy screen: a realm whose neighbours are all known has only the second.
    case 9: return IsChunkInFile(ChunkBit(CHUNK_ANFR), kOut) == 1 || IsChunkInFile(ChunkBit(CHUNK_VERT), kOut) == 1;
    case 10: return CountDirEntries(".\\Data\\MailOut") > 0;
    case 12: return ResearchOrdered(d);
    default: return new_turn;  // 7, 11, 13 to 17
  }
}

// Each step's texts: what the player is asked to do, and what the chancellor
// says when it is done (0 none).
struct TutorialTexts {
  uint32_t todo, done;
};
constexpr uint32_t kTutorialWelcome = 1748, kTurnTodo = 1755, kTurnDone = 1766;
const TutorialTexts kTutorialTexts[kTutorialEnd] = {
    {0, 0},                   // 0: the question
    {1749, 1760},             // 1: the town's name
    {1750, 1761},             // 2: the corn shared out in the granary
    {1751, 1762},             // 3: a building ordered
    {1752, 1763},             // 4: the granary's thresholds
    {1753, 1764},             // 5: workers on the fields
    {1754, 1765},             // 6: the taxes
    {kTurnTodo, kTurnDone},   // 7
    {1756, 1767},             // 8: a scout moved
    {1757, 1768},             // 9: a neighbour met
    {1758, 1769},             // 10: a letter
    {kTurnTodo, kTurnDone},   // 11
    {1759, 1770},             // 12: research
    {kTurnTodo, 1558},        // 13: then the reports
    {kTurnTodo, 1559},        // 14: the market
    {kTurnTodo, 1560},        // 15: the barracks
    {kTurnTodo, 1561},        // 16: the end of the lessons
    {0, 0},                   // 17: no text
};

// The first step from `step` on that is not done yet: a step the realm
// already has done (a town named before, workers set by an earlier turn) is
// passed without praise, so the chancellor never thanks for what the player
// did not do. Steps that wait for a turn are never passed.
uint32_t FirstOpenStep(const ResidenzData* d, uint32_t step) {
  while (step < kTutorialEnd && !WaitsForTurn(step) && TutorialStepDone(d, step, false)) {
    DebugLog("ShowTutorial: Schritt %u ist schon erledigt\n", step);
    ++step;
  }
  return step;
}

// The text of the box: the praise (or the welcome) and what to do next.
void ShowTutorialText(ResidenzData* d, uint32_t done, uint32_t next) {
  const uint32_t todo = next < kTutorialEnd ? kTutorialTexts[next].todo : 0;
  DebugLog("ShowTutorial: Schritt %u, Texte %u %u\n", next, done, todo);
  if (!done && !todo) return;
  char text[1600];
  const char* a = done ? GetCatalogStr(done) : "";
  const char* b = todo ? GetCatalogStr(todo) : "";
  if (std::snprintf(text, sizeof text, "%s%s%s", a, a[0] && b[0] ? "\n\n" : "", b) >= static_cast<int>(sizeof text))
    DebugLog("ShowTutorial: Text gekuerzt\n");
  ShowText(d, text);
}

}  // namespace

void ShowTutorial(ResidenzData* d) {
  const uint32_t step = CheckPrefs(PREF_TUTORIAL, 0, 0);
  if (step >= kTutorialEnd) return;
  const bool new_turn = CheckPrefs(PREF_NEW_TURN, 0, 0) != 0;
  if (step == 0) {
    if (!new_turn) return;
    PauseMovies(d, 1);
    const uint32_t answer = Message(1, GetCatalogStr(1565));
    PauseMovies(d, 0);
    if (answer != 0) {
      CheckPrefs(PREF_TUTORIAL, 1, kTutorialEnd);
      return;
    }
    const uint32_t next = FirstOpenStep(d, 1);
    CheckPrefs(PREF_TUTORIAL, 1, next);
    ShowTutorialText(d, kTutorialWelcome, next);
    return;
  }
  if (!TutorialStepDone(d, step, new_turn)) return;
  const uint32_t next = step == 17 ? kTutorialEnd : FirstOpenStep(d, step + 1);
  CheckPrefs(PREF_TUTORIAL, 1, next);
  if (step != 17) ShowTutorialText(d, kTutorialTexts[step].done, next);
}

void ShowResidenzTip(ResidenzData* d) {
  if (CheckPrefs(PREF_TUTORIAL, 0, 0) >= 19) return;
  uint32_t tip = CheckPrefs(PREF_TIP, 0, 0);
  if (tip == 0xFFFFFFFFu) {
    tip = 0;
    CheckPrefs(PREF_TIP, 1, 0);
  }
  if (tip >= kTipCount) return;
  PauseMovies(d, 1);
  Message(0, GetCatalogStr(1480 + tip));
  PauseMovies(d, 0);
  CheckPrefs(PREF_TIP, 1, tip + 1);
}

// ---- sounds and movies -----------------------------------------------------------

// Sound 125, the hall's own sound. A sound index without it is logged by
// OpenElmorSfx and the screen goes on silent.
int32_t LoadResidenzScreenSfx() {
  if (OpenElmorSfx(".\\Data\\SfxPath", 125) != 1) DebugLog("ResidenzScreen: Konnte Sfx nicht laden...\n");
  return 1;
}
void CloseResidenzScreenSfx() { CloseElmorSfx000(125); }

// The ambient sound a draw of Zufall(6) picks, 0 when its condition fails.
static uint16_t AmbientChoice(const ResidenzData* d, uint32_t pick) {
  switch (pick) {
    case 0: return d->buildingsReceived && d->downloaded ? 28 : 0;
    case 1: return d->downloaded ? 29 : 0;
    case 2: return !((d->quarter || d->seedStore) && (d->granary || d->downloaded)) ? 30 : 0;
    case 3: return d->researchOrder == 0 && d->downloaded ? 31 : 0;
    case 4: return d->taxRate > 75 ? 32 : 0;
    case 5: return d->kornByte40 == 5 || d->kornByte40 == 6 ? 33 : 0;
    case 6: return d->kornByte40 <= 1 ? 34 : 0;
    default: return 0;
  }
}

void PlayResidenzAmbientSfx(ResidenzData* d) {
  if (d->ambientSfx) {
    if (!IsSfxIdle(d->ambientSfx)) return;  // still playing
    CloseElmorSfx000(d->ambientSfx);
    d->ambientSfx = 0;
  }
  const uint16_t id = AmbientChoice(d, Zufall(6));
  if (id && OpenElmorSfx(".\\Data\\SfxPath", id) == 1 && SfxPlayer000(id, 0, 0) == 1) d->ambientSfx = id;
}

int32_t InitResidenzAnims(ResidenzData* d) {
  d->movieBase = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
  if (!d->movieBase) {
    DebugLog("InitResidenzAnims: AllocMovieBase fehlgeschlagen...\n");
    return 0;
  }
  d->alchemist = LoadMovie(d->movieBase, ".\\Anims\\ResidenzAlchemie.cban", 0, 0);
  // Looping (4; 64 asks for nothing here), ten frames a second.
  if (d->alchemist) StartMovie(d->movieBase, d->alchemist, 512, 70, 68, 10);
  d->scribe = LoadMovie(d->movieBase, ".\\Anims\\ResidenzSchreiber.cban", 0, 0);
  if (d->scribe) StartMovie(d->movieBase, d->scribe, 480, 252, 68, 10);
  return 1;
}

void FreeResidenzAnims(ResidenzData* d) {
  if (!d->movieBase) return;
  if (d->alchemist) StopMovie(d->movieBase, d->alchemist);
  if (d->scribe) StopMovie(d->movieBase, d->scribe);
  FreeMovieBase(d->movieBase);
  d->movieBase = nullptr;
  d->alchemist = d->scribe = nullptr;
}

// ---- the screen -------------------------------------------------------------------

namespace {

struct GadgetCode {
  char id[5];
  int32_t code;
};
const GadgetCode kGadgetCodes[] = {
    {"EXIT", 1},  {"MAP ", 3},  {"REGI", 32}, {"MESS", 33}, {"DIPL", 34}, {"RESA", 35}, {"REPO", 36},
    {"SPEC", 38}, {"TOWN", 39}, {"TREE", 40}, {"STAT", 41}, {"TAX ", 42}, {"OPTI", 133},
};

void FreeResidenzData(ResidenzData* d) {
  if (!d) return;
  FreeElmorGfx(d->uploadMarkBackground);
  FreeElmorGfx(d->infoMarkBackground);
  FreeVec(d);
}

}  // namespace

int32_t ResidenzScreen(int32_t) {
  ScreenBase base{};
  if (!OpenScreenPicture(&base, 2, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "ResidenzScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<ResidenzData*>(AllocVec(sizeof(ResidenzData), MEMF_PUBLIC | MEMF_CLEAR));
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    FreeResidenzAnims(d);
    CloseResidenzScreenSfx();
    FreeResidenzData(d);
    CloseScreenBase(&base, -1);
    return -1;
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "ResidenzScreen: Kein Speicher f\xFCr Kartenscreendaten frei!\n");
  if (!ReadResidenzScreenData(d)) return fail(SCREEN_STEP_DATA, "ResidenzScreen: Konnte Daten nicht \xF6" "ffnen !\n");
  const bool installed = d->accountState == 2;
  if (!OpenScreenLayout(&base, installed ? ".\\Data\\Screendat\\Residenz1.dat" : ".\\Data\\Screendat\\Residenz0.dat",
                        installed ? 515 : 3))
    return fail(SCREEN_STEP_LAYOUT, "ResidenzScreen: Kann TitelbarDaten nicht laden!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "ResidenzScreen: Konnte Elmor-Font nicht \xF6" "ffnen !\n");
  if (!LoadResidenzScreenSfx()) return fail(SCREEN_STEP_SOUNDS, "ResidenzScreen: Konnte Sfx nicht laden...\n");
  if (!InitResidenzAnims(d)) return fail(SCREEN_STEP_MOVIES, "ResidenzScreen: Konnte Anims nicht laden !\n");

  RestoreMouseGadgets(nullptr, base.region);
  ReadResidenzInfoData(d);
  StartTheTransition();

  int32_t next = -1;
  // Prefs that failed their checks were made anew as they were read: said first.
  NoteSettingsRepairs();
  if (const char* notice = RecoveryNotice()) {
    Message(0, notice);
    ClearRecoveryNotice();
  }
  if (d->accountState == 0) {
    Message(0, GetCatalogStr(1466));
  } else if (d->accountState == 1) {
    Message(0, GetCatalogStr(1467));
  } else {
    if (CheckOldTurn(d) == 1) AfterDownload(d, &next);
    if (CheckPrefs(PREF_NEW_TURN, 0, 0) != 0) {
      ShowTutorial(d);
      CheckPrefs(PREF_NEW_TURN, 1, 0);
    } else if (CheckPrefs(PREF_TUTORIAL, 0, 0) >= kTutorialEnd) {
      ShowResidenzTip(d);
    } else {
      ShowTutorial(d);
    }
  }

  uint32_t limit = 100;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (event == 2000 && !MotionBusy.load()) {
      if (++base.ticks >= limit) {
        base.ticks = 0;
        limit = (Zufall(5) + 1) * 10;
        PlayResidenzAmbientSfx(d);
      }
    }
    if (!g) continue;
    for (const GadgetCode& gc : kGadgetCodes)
      if (GadgetIs(g, gc.id)) next = gc.code;
    if (GadgetIs(g, "DOWN")) {
      if (Download(d) == 1) AfterDownload(d, &next);
    } else if (GadgetIs(g, "UP  ")) {
      PauseMovies(d, 1);
      KartenScreenSaveData();
      const int32_t sent = ResidenzUpload();
      KartenScreenNewSetup();
      if (sent != 1) {
        // The player learns why the orders did not leave.
        char text[480];
        std::snprintf(text, sizeof text, "The turn was not sent: %s", ResidenzUploadStatus());
        Message(0, text);
      } else if (std::strcmp(ResidenzUploadStatus(), "ok") != 0) {
        Message(0, ResidenzUploadStatus());  // sent, but not noted here
      }
      PauseMovies(d, 0);
      ShowResidenzUploadState(d);
    }
  } while (ScreenBaseStays(&next, 1));  // the way out is EXIT's: the title

  if (d->ambientSfx) CloseElmorSfx000(d->ambientSfx);
  d->ambientSfx = 0;
  FreeResidenzAnims(d);
  CloseResidenzScreenSfx();
  FreeResidenzData(d);
  CloseScreenBase(&base, next);
  return next;
}
