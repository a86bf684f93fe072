// The title screen. See titel.h.
#include "titel.h"

#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/screenbase.h"
#include "screens/hub/credits.h"
#include "screens/hub/recovery.h"
#include "screens/hub/savegame.h"

namespace {

constexpr uint32_t kTitelPicture = 1, kWaterfallSfx = 168, kBoxPen = 7;
constexpr int32_t kBoxX = 168, kBoxY = 200;

// The message box of the title (mode 0 one button, 1 yes/no), with the
// waterfall paused while it is open.
uint32_t TitelMessage(TitelAnims* anims, uint32_t mode, const char* text) {
  if (anims) SetMovieMode(anims->waterfall, 1);
  const uint32_t r = static_cast<uint32_t>(ChiefMessage(66, kBoxX, kBoxY, 0, 0, 0, mode, text, kBoxPen));
  if (anims) SetMovieMode(anims->waterfall, 0);
  return r;
}

uint32_t CurrentAccountState() { return CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0); }

const char* const kGadgetIds[6] = {"NEU0", "LOAD", "SAVE", "BATL", "NORM", "OPTI"};

}  // namespace

void TitelGadgetLabels(uint32_t account_state, uint32_t ids[6]) {
  const bool installed = account_state == ACCOUNT_INSTALLED;
  ids[0] = 1454;
  ids[1] = 1455;
  ids[2] = 1456;
  ids[3] = installed ? 1457 : 1543;
  ids[4] = installed ? 1458 : 1544;
  ids[5] = 26;
}

void CreateMailDirs() {
  static const char* const kDirs[] = {".\\Data\\POP3In", ".\\Data\\POP3Out", ".\\Data\\MailIn", ".\\Data\\MailOut"};
  for (const char* dir : kDirs) {
    if (LockHandle l = Lock(dir, 2)) {
      UnLock(l);
      continue;
    }
    LockHandle made = CreateDir(dir);
    if (!made) DebugLog("CreateMailDirs: Konnte Verzeichnis %s nicht anlegen\n", dir);
    UnLock(made);
  }
}

int32_t InitTitelAnims(TitelAnims* anims) {
  *anims = TitelAnims{};
  anims->base = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
  if (!anims->base) return 0;
  anims->waterfall = LoadMovie(anims->base, ".\\Anims\\TitelWasserfall.cban", 0, 0);
  WaitTransition();  // the movie starts on the whole picture
  // Looping, four frames a second (docs/movie-list.md).
  if (anims->waterfall) StartMovie(anims->base, anims->waterfall, 432, 319, 68, 4);
  return 1;
}

void FreeTitelAnims(TitelAnims* anims) {
  if (!anims || !anims->base) return;
  if (anims->waterfall) StopMovie(anims->base, anims->waterfall);
  FreeMovieBase(anims->base);
  anims->base = nullptr;
  anims->waterfall = nullptr;
}

int32_t LoadTitelScreenSfx() {
  if (OpenElmorSfx(".\\Data\\SfxPath", kWaterfallSfx) != 1) {
    DebugLog("LoadTitelScreenSfx : Konnte Sound-FX nicht \xF6" "ffnen!\n");
    return 0;
  }
  return 1;
}

void PrintTitelGadgetTexts(ScreenRegion* region) {
  RastPort* rp = ScreenRastPort();
  if (!region || !rp) return;
  uint32_t labels[6];
  TitelGadgetLabels(CurrentAccountState(), labels);
  const ScreenRecordList& gadgets = region->types[LAYOUT_GADGET];
  auto* g = static_cast<Gadget*>(gadgets.first);
  for (uint32_t n = 0; n < gadgets.count; ++n) {
    for (uint32_t i = 0; i < 6; ++i) {
      if (!GadgetIs(&g[n], kGadgetIds[i]) || !g[n].textArea) continue;
      const TextArea* a = g[n].textArea;
      PrintTextOutlined(rp, a->x1, a->y1, a->x2, a->y2, GetCatalogStr(labels[i]), 0, 0,
                        PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
    }
  }
}

int32_t RepairArmyShipData() {
  if (CurrentAccountState() != ACCOUNT_INSTALLED || OwnPlayerPtr->Mark != OWNPLAYER_UNCLEAN) return 0;
  int32_t failed = 0;
  if (TitelMessage(nullptr, 1, GetCatalogStr(1365)) == 0) {
    // Each pass's log line says how it went: its error, or that it passed.
    if (!ChunkMachine(OutgoingPoolPath, ChunkBit(CHUNK_ARMY), 0)) {
      DebugLog("ResidenzDownload: Fehler von ChunkMachine (ARMY) !\n");
      failed = 1;
    } else {
      DebugLog("ARMY passed...\n");
    }
    if (!ChunkMachine(OutgoingPoolPath, ChunkBit(CHUNK_SHIP), 0)) {
      DebugLog("ResidenzDownload: Fehler von ChunkMachine (SHIP) !\n");
      failed = 1;
    } else {
      DebugLog("SHIP passed...\n");
    }
    TitelMessage(nullptr, 0, GetCatalogStr(failed ? 1366 : 1367));
  }
  OwnPlayerPtr->Mark = 0;
  return failed;
}

namespace {

// The plaques under the six labels, kept so that new labels (after a load
// changed the account state) are not printed over the old ones.
struct LabelBackgrounds {
  BitMap* saved[6];
};

void SaveLabelBackgrounds(ScreenRegion* region, LabelBackgrounds* b) {
  for (uint32_t i = 0; i < 6; ++i) {
    Gadget* g = region ? FindGadget(region, kGadgetIds[i]) : nullptr;
    if (!g || !g->textArea) continue;
    const TextArea* a = g->textArea;
    b->saved[i] = SaveBackground(a->x1, a->y1, a->x2 - a->x1 + 1u, a->y2 - a->y1 + 1u);
  }
}

void RefreshTitelLabels(ScreenRegion* region, LabelBackgrounds* b) {
  RastPort* rp = ScreenRastPort();
  if (!region || !rp) return;
  for (uint32_t i = 0; i < 6; ++i) {
    Gadget* g = FindGadget(region, kGadgetIds[i]);
    if (!g || !g->textArea || !b->saved[i]) continue;
    const TextArea* a = g->textArea;
    BltBitMapRastPort(b->saved[i], 0, 0, rp, a->x1, a->y1, a->x2 - a->x1 + 1, a->y2 - a->y1 + 1);
  }
  PrintTitelGadgetTexts(region);
  ShowScreenRect(nullptr, 0, 0, 640, 480);
}

void FreeLabelBackgrounds(LabelBackgrounds* b) {
  for (BitMap*& bm : b->saved) {
    FreeElmorGfx(bm);
    bm = nullptr;
  }
}

// BATL without a game: the slide show, with the title torn down around it
// and built again afterwards (the waterfall starts anew).
void TitelSlideShow(ScreenBase* base, TitelAnims* anims) {
  const uint32_t with_texts = TitelMessage(anims, 1, GetCatalogStr(433)) == 0 ? 1 : 0;
  SetMovieMode(anims->waterfall, 1);
  StopSfx(kWaterfallSfx);
  FreeTitelAnims(anims);
  WaitTransition();
  CloseElmorPic(kTitelPicture, 1);
  base->pictureId = 0;
  SlideShow(with_texts);
  if (OpenElmorPic(".\\Data\\Path", kTitelPicture, 1) == -1) {
    DebugLog("TitelScreen: Konnte Pic nicht laden!\n");
    return;
  }
  base->pictureId = kTitelPicture;
  if (RastPort* rp = ScreenRastPort()) SetFont(rp, base->font);
  PrintTitelGadgetTexts(base->region);
  if (!InitTitelAnims(anims)) DebugLog("TitelScreen: Konnte AnimBase nicht laden!\n");
  StartTheTransition();
  SfxPlayer000(kWaterfallSfx, 0, 1);
}

}  // namespace

int32_t TitelScreen(int32_t) {
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  const uint8_t track = Zufall(1) == 0 ? 2 : 13;
  PlayCDTrack1(o.cd_device, o.cd_unit, track, track);
  // A load that a kill interrupted is finished first (its prefs then count).
  if (FinishInterruptedLoad() == 1) SetupSystem();
  // So is a save whose folder was not yet in its quarter's place.
  if (FinishInterruptedSaves() < 0) DebugLog("TitelScreen: Ein unterbrochener Spielstand bleibt offen\n");
  CreateMailDirs();

  ScreenBase base{};
  if (!OpenScreenPicture(&base, kTitelPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "TitelScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* anims = static_cast<TitelAnims*>(AllocVec(sizeof(TitelAnims), MEMF_PUBLIC | MEMF_CLEAR));
  bool sfx = false;
  LabelBackgrounds labels{};
  auto finish = [&](int32_t next) {
    FreeLabelBackgrounds(&labels);
    if (sfx) CloseElmorSfx000(kWaterfallSfx);
    FreeTitelAnims(anims);
    FreeVec(anims);
    CloseScreenBase(&base, next == -1 ? 0 : 1);
    if (next == 2 && CurrentAccountState() < ACCOUNT_INSTALLED) next = 32;
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return finish(-1);
  };
  if (!anims) return fail(SCREEN_STEP_MEMORY, "TitelScreen: Konnte Pic nicht laden!\n");
  if (!InitTitelAnims(anims)) return fail(SCREEN_STEP_MOVIES, "TitelScreen: Konnte AnimBase nicht laden!\n");
  sfx = LoadTitelScreenSfx() == 1;
  if (!sfx) DebugLog("TitelScreen: Konnte Sfx nicht laden...\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "TitelScreen: Konnte Font nicht laden!\n");
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Titel.dat", 3))
    return fail(SCREEN_STEP_LAYOUT, "TitelScreen: Kann TitelbarDaten nicht laden!\n");

  SaveLabelBackgrounds(base.region, &labels);
  PrintTitelGadgetTexts(base.region);
  ShowScreenBase(&base);
  WaitTransition();  // the box opens over the whole picture
  // The Enter that started the game on the mode page is not its answer.
  DropInputOfTheBuild();
  TitelMessage(anims, 0, "Debug-Version!");
  // What the start-up recovery could not finish, and prefs made anew.
  NoteSettingsRepairs();
  if (const char* notice = RecoveryNotice()) {
    TitelMessage(anims, 0, notice);
    ClearRecoveryNotice();
  }
  SfxPlayer000(kWaterfallSfx, 0, 1);
  RepairArmyShipData();

  int32_t next = 2;
  bool armed = false;  // a left button went down on the title itself
  for (;;) {
    const int32_t event = WaitEvent(0);
    if (WindowCloseRequested()) {
      next = -1;
      break;
    }
    if (event == WE_KEY_ESCAPE) {
      if (CurrentAccountState() != ACCOUNT_INSTALLED) {
        next = -1;
        break;
      }
      if (CheckGameValues(anims) == 1) {
        next = -1;
        break;
      }
      armed = false;
      continue;
    }
    if (event == WE_LEFT_DOWN) armed = true;
    Gadget* g = HandleGadgetEvent(nullptr, base.region, static_cast<uint32_t>(event));
    // LOAD, SAVE, a declined NEU0 and the slide show keep the title: their
    // release is used up, and so is the release of a press made in a box.
    bool stay = false;
    if (g) {
      const bool installed = CurrentAccountState() == ACCOUNT_INSTALLED;
      if (GadgetIs(g, "NEU0")) {
        stay = true;
        if (TitelMessage(anims, 1, GetCatalogStr(1520)) == 0 && NeuesSpiel() == 1) {
          next = 2;
          stay = false;
        }
      } else if (GadgetIs(g, "LOAD")) {
        stay = true;
        if (TitelMessage(anims, 1, GetCatalogStr(1521)) == 0) {
          SetMovieMode(anims->waterfall, 1);
          LoadGame();
          SetMovieMode(anims->waterfall, 0);
        }
      } else if (GadgetIs(g, "SAVE")) {
        stay = true;
        SetMovieMode(anims->waterfall, 1);
        SaveGame(0);
        SetMovieMode(anims->waterfall, 0);
      } else if (GadgetIs(g, "BATL")) {
        if (installed) {
          next = 2;
        } else {
          stay = true;
          TitelSlideShow(&base, anims);
        }
      } else if (GadgetIs(g, "NORM")) {
        next = installed ? 2 : 151;
      } else if (GadgetIs(g, "OPTI")) {
        next = 133;
      }
    }
    if (stay) {
      armed = false;
      // The labels follow the account state (a load may have changed it).
      if (g && GadgetIs(g, "LOAD")) RefreshTitelLabels(base.region, &labels);
      continue;
    }
    if (event == WE_LEFT_UP && armed) break;
  }
  return finish(next);
}
