// The diplomacy screen: the hub, its player list and list box, and the
// view, cancel and other-contracts sub-screens. See diplomat.h.
#include "diplomat.h"
#include "diplomat_internal.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/orders.h"
#include "screens/common/screenbase.h"

namespace {

constexpr uint32_t kPicture = 34, kSfx = 125, kTitlePen = 16, kTextPen = 7;
constexpr uint8_t kCdTrack = 4;
constexpr uint32_t kListPenBack = kDiplomatListBack, kListPenText = kDiplomatListText, kHiBack = kDiplomatHiBack,
                   kHiText = kDiplomatHiText;
constexpr uint32_t kCaptionRim = 57;  // wood
constexpr uint32_t kTradeRegistry = 16, kMarketplace = 25;
constexpr uint32_t kNoTradeText = 1007, kNotYetText = 1154, kNoInfoText = 705;
const char kPlayerFile[] = ".\\Data\\SpielerList.qoe";

const DiplomatLayout kLayouts[DIPL_LAYOUT_COUNT] = {
    {"DiplomatieMain.dat", 3, 34},   {"Diplomatie0.dat", 515, 273}, {"Diplomatie1.dat", 575, 274},
    {"Diplomatie2.dat", 519, 275},   {"Diplomatie3.dat", 519, 276}, {"Diplomatie5.dat", 519, 276},
};

void FreeLayout(DiplomatScreenData* d) {
  if (!d->layout) return;
  FreeMouseGadgetImages(d->layout);
  FreeScreenRegion(d->layout);
  d->layout = nullptr;
}

int32_t OpenPicture(DiplomatScreenData* d, uint32_t id) {
  if (OpenElmorPic(".\\Data\\Path", id, 1) == -1) return 0;
  d->picture = id;
  return 1;
}

void ClosePicture(DiplomatScreenData* d) {
  if (!d->picture) return;
  WaitTransition();  // the transition must not draw a closed picture
  CloseElmorPic(d->picture, 1);
  d->picture = 0;
}

// The start of the view and cancel sub-screens: the picture and layout,
// the contract lines of the mode in the left box. 0, or -1 (the player told).
int32_t StartContractList(DiplomatScreenData* d, uint32_t layout, uint32_t mode, const char* name) {
  d->selPlayer = -1;
  char line[128];
  if (!DiplomatEnterSub(d, layout, name)) return DiplomatSubFailed(nullptr);
  if (!AllocVertragList(d, mode)) {
    std::snprintf(line, sizeof line, "%s: Konnte SpielerListe nicht anlegen !\n", name);
    return DiplomatSubFailed(line);
  }
  if (!UpdateSpielerRequester(d, d->contractLineCount ? d->contractLineCount : 1, d->contractLines,
                              mode == VLIST_VIEW ? VLIST_OFFERS : mode)) {
    std::snprintf(line, sizeof line, "%s: Konnte SpielerRequester nicht anlegen !\n", name);
    return DiplomatSubFailed(line);
  }
  return 0;
}

// Marks line k of the left box and shows its document (cancel sub-screen).
void ShowCancelLine(DiplomatScreenData* d, int16_t k) {
  d->selPlayer = k;
  SelectRequesterEntry(d->playerReq, 1, static_cast<uint32_t>(k), kHiBack, kHiText);
  InitDokRequester(d, VLIST_CANCEL);
}

}  // namespace

// One pass of a loop: the title bar, WaitEvent with ticks, the gadget.
Gadget* DiplomatNextGadget(DiplomatScreenData* d, int32_t* event) {
  if (d->layout && d->fontTitle) {
    const ScreenRecordList& texts = d->layout->types[LAYOUT_TEXTAREA];
    if (texts.count) CheckTitleBar(static_cast<const TextArea*>(texts.first), d->fontTitle, kTitlePen);
  }
  if (RastPort* rp = ScreenRastPort()) {
    SetAPen(rp, kTextPen);
    SetDrMd(rp, 0);
    SetFont(rp, d->fontList);
  }
  const int32_t ev = WaitEvent(WE_TICKS);
  if (event) *event = ev;
  return d->layout ? HandleGadgetEvent(nullptr, d->layout, static_cast<uint32_t>(ev)) : nullptr;
}

// The scroll gadgets of a box: DOnn, UPnn, SLnn. True when g was one.
bool DiplomatScroll(const Gadget* g, const char* nn, QoERequester* req) {
  char down[5], up[5], drag[5];
  std::snprintf(down, sizeof down, "DO%s", nn);
  std::snprintf(up, sizeof up, "UP%s", nn);
  std::snprintf(drag, sizeof drag, "SL%s", nn);
  uint32_t value;
  if (GadgetIs(g, down)) value = SLIDER_DOWN;
  else if (GadgetIs(g, up)) value = SLIDER_UP;
  else if (GadgetIs(g, drag)) value = static_cast<uint32_t>(GetMouseY());
  else return false;
  if (req) {
    MoveSlider(req, value);
    ScrollRequester(req, 0, 0);
  }
  return true;
}

// The entry of a box under the mouse, highlighted; -1 none.
int32_t DiplomatPickLine(QoERequester* req) {
  if (!req) return -1;
  const uint32_t e = SelectRequesterEntry(req, 0, static_cast<uint32_t>(GetMouseY()), kHiBack, kHiText);
  return e == kNoEntry ? -1 : static_cast<int32_t>(e);
}

// A sub-screen's start: picture 34 and the hub's layout give way to the
// sub-screen's. 0 (logged) when its picture or layout cannot be opened.
int32_t DiplomatEnterSub(DiplomatScreenData* d, uint32_t index, const char* name) {
  FreeLayout(d);
  ClosePicture(d);
  if (!OpenPicture(d, kLayouts[index].picture)) {
    DebugLog("%s: Konnte Pic nicht \xF6" "ffnen!\n", name);
    return 0;
  }
  if (!DiplomatScreenLoadRegion(d, index)) {
    DebugLog("%s: Konnte Screen nicht kreieren !\n", name);
    return 0;
  }
  return 1;
}

// A sub-screen's end: its picture and layout closed, the hub's back.
// 0 when the hub cannot be shown again.
int32_t DiplomatLeaveSub(DiplomatScreenData* d) {
  FreeLayout(d);
  ClosePicture(d);
  if (!OpenPicture(d, kPicture) || !DiplomatScreenLoadRegion(d, DIPL_LAYOUT_MAIN)) {
    DebugLog("DiplomatScreen: Konnte Screen nicht kreieren !\n");
    return 0;
  }
  StartTheTransition();
  return 1;
}

// A sub-screen that failed: the player is told that the game ends when he
// leaves the screen.
int32_t DiplomatSubFailed(const char* line) {
  ScreenStartFailed(nullptr, SCREEN_STEP_DATA, line);
  return -1;
}

void DiplomatFillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t pen) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  SetAPen(rp, pen);
  RectFill(rp, x1, y1, x2, y2);
  ShowScreenRect(rp, x1, y1, x2 - x1 + 1, y2 - y1 + 1);
}

void DiplomatButtonCaption(DiplomatScreenData* d, const char* id, uint32_t text) {
  const Gadget* g = d->layout ? FindGadget(d->layout, id) : nullptr;
  RastPort* rp = ScreenRastPort();
  if (!g || !rp) return;
  SetAPen(rp, 0);
  RectFill(rp, g->x1, g->y1, g->x2, g->y2);
  SetAPen(rp, kCaptionRim);
  RectFill(rp, g->x1 + 1, g->y1 + 1, g->x2 - 1, g->y2 - 1);
  SetFont(rp, d->fontList);
  PrintTextOutlined(rp, g->x1 + 3, g->y1 + 3, g->x2 - 3, g->y2 - 3, GetCatalogStr(text), kListPenBack, kTextPen,
                    PTO_FILL | PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  ShowScreenRect(rp, g->x1, g->y1, g->x2 - g->x1 + 1, g->y2 - g->y1 + 1);
}

int32_t DiplomatScanFile(ListHeader* list, const char* path, const char* id,
                         int32_t (*scan)(ListHeader*, const void*), const char* load_fail, const char* scan_fail) {
  if (GeFileSize(path) == 0) return 1;
  uint8_t* chunk = LoadChunk2Mem(id, path);
  if (!chunk) {
    DebugLog("%s", load_fail);
    return 0;
  }
  const int32_t ok = scan(list, chunk);
  FreeChunk(chunk);
  if (!ok) DebugLog("%s", scan_fail);
  return ok ? 1 : 0;
}

void DiplomatFreeBoxes(DiplomatScreenData* d) {
  FreeRequesterBox(d->docReq);
  d->docReq = nullptr;
  FreeVec(d->docText);
  d->docText = nullptr;
  FreeVec(d->vassalLines);
  d->vassalLines = nullptr;
  FreeRequesterBox(d->playerReq);
  d->playerReq = nullptr;
}

const DiplomatLayout* DiplomatScreenLayouts() { return kLayouts; }

int32_t DiplomatScreenLoadRegion(DiplomatScreenData* d, uint32_t index) {
  FreeLayout(d);
  if (index >= DIPL_LAYOUT_COUNT) return 0;
  char path[96];
  std::snprintf(path, sizeof path, ".\\Data\\Screendat\\%s", kLayouts[index].file);
  d->layout = GetScreenRegion(path, kLayouts[index].mask);
  if (!d->layout) {
    DebugLog("DiplomatScreen: Kann TitelbarDaten nicht laden!\n");
    return 0;
  }
  RastPort* rp = ScreenRastPort();
  if (rp) {
    SetAPen(rp, kTextPen);
    SetDrMd(rp, 0);
    SetFont(rp, d->fontList);
  }
  RestoreMouseGadgets(nullptr, d->layout);
  for (uint32_t i = 0; const TextArea* label = GetLayoutLabel(d->layout, i); ++i)
    if (label->text)
      PrintTextOutlined(nullptr, label->x1, label->y1, label->x2, label->y2, label->text, 0, kTextPen,
                        PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  return 1;
}

int32_t DiplomatScreenLoadSfx(DiplomatScreenData*) {
  if (OpenElmorSfx(".\\Data\\SfxPath", kSfx) == 1) return 1;
  DebugLog("DiplomatScreenLoadSfx: Konnte Sound-FX nicht \xF6" "ffnen!\n");
  return 0;
}

int32_t ReadDiplomatScreenData(DiplomatScreenData* d) {
  d->corn = 0;
  d->tradeBuildings = 0;
  if (!OrdersAllowed(ReadAccountState())) return 1;
  int32_t ok = 1;
  uint8_t* korn = nullptr;
  switch (LoadTurnChunk("KORN", &korn)) {
    case TURN_CHUNK_ABSENT:
      DebugLog("ReadHandelsScreenData : KornChunk nicht vorhanden !\n");
      ok = 0;
      break;
    case TURN_CHUNK_FAILED:
      DebugLog("ReadHandelsScreenData : Konnte KornChunk nicht \xF6" "ffnen \n");
      ok = 0;
      break;
    default:
      if (ChunkLength(korn) + sizeof(ChunkHeader) >= 26) d->corn = ChunkGet32(korn, 22);
      break;
  }
  if (korn) FreeChunk(korn);
  st_TOWN* town = GetActiveTown(OwnPlayerPtr->ActiveTown);
  if (!town) {
    DebugLog("ReadHandelsScreenData : Konnte Stadt nicht laden!\n");
    return 0;
  }
  d->tradeBuildings = (town->buildings[kTradeRegistry].flags & BUILDING_STANDS) &&
                      (town->buildings[kMarketplace].flags & BUILDING_STANDS);
  FreeVec(town);
  return ok;
}

int32_t AllocSpielerList(DiplomatScreenData* d) {
  RegisterGameDataListTypes();
  d->noPlayerList = 0;
  d->playerCount = 0;
  d->playerList = CreateList(LIST_PLAYERS);
  if (!d->playerList) return 0;
  if (!DiplomatScanFile(d->playerList, kPlayerFile, "ANTW", ScanSpieler2List,
                        "AllocSpielerList : Konnte SpielerChunk nicht einladen...\n",
                        "AllocSpielerList : Konnte SpielerListe nicht einscannen...\n"))
    return 0;
  if (d->playerList->count) {
    d->playerList->fields[1].key = 1;  // the name
    SortNode(d->playerList, SORT_ASCENDING);
    d->playerLines = List2StringArray(d->playerList, static_cast<uint32_t>(ListFieldOffset(d->playerList, 1)), 0);
    if (d->playerLines) d->playerCount = d->playerList->count;
  }
  if (!d->playerCount) {
    d->playerLines = static_cast<char*>(AllocVec(kDiplomatLineSize, MEMF_PUBLIC | MEMF_CLEAR));
    if (!d->playerLines) return 0;
    std::snprintf(d->playerLines, kDiplomatLineSize, "%s", GetCatalogStr(kNoInfoText));
    d->playerCount = 1;
    d->noPlayerList = 1;
  }
  return 1;
}

void FreeSpielerList(DiplomatScreenData* d) {
  DeleteList(d->playerList, 0);
  d->playerList = nullptr;
  FreeVec(d->playerLines);
  d->playerLines = nullptr;
  d->playerCount = 0;
}

int32_t UpdateSpielerRequester(DiplomatScreenData* d, uint32_t count, const char* lines, uint32_t mode) {
  if (!count && d->noPlayerList) count = 1;
  if (!count || !lines) {
    FreeRequesterBox(d->playerReq);
    d->playerReq = nullptr;
    return 1;
  }
  if (d->playerReq) {
    if (UpdateRequesterText(d->playerReq, lines, count)) return 1;
    DebugLog("UpdateSpielerRequester: Konnte Spieler-Requester nicht neu anlegen !\n");
    return 0;
  }
  const uint32_t k = mode == 5 ? 8 : 0;
  LayoutRect box{}, slider{};
  if (GetLayoutRect(d->layout, k, &box) && GetLayoutRect(d->layout, k + 1, &slider)) {
    const uint32_t w = box.x2 - box.x1 + 1u, h = box.y2 - box.y1 + 1u;
    d->playerReq = InitRequesterBox(w, count, d->fontList, lines, box.x1, box.y1, w, h, kListPenBack, kListPenText);
  }
  if (!d->playerReq) {
    DebugLog("UpdateSpielerRequester: Konnte Spieler-Requester nicht \xF6" "ffnen !\n");
    return 0;
  }
  InitSlider(d->playerReq, slider.x2 - slider.x1 + 1u, slider.y2 - slider.y1 + 1u, 26, 22, 25, 24, slider.x1,
             slider.y1);
  return 1;
}

int32_t DiplomatScreenViewContracts(DiplomatScreenData* d) {
  int32_t result = StartContractList(d, DIPL_LAYOUT_VIEW, VLIST_VIEW, "DiplomatScreenViewContracts");
  if (result == 0) {
    StartTheTransition();
    for (bool leave = false; !leave && !WindowCloseRequested();) {
      Gadget* g = DiplomatNextGadget(d);
      if (!g || DiplomatScroll(g, "10", d->playerReq)) continue;
      if (GadgetIs(g, "EXIT")) {
        leave = true;
      } else if (GadgetIs(g, "TX10") && !d->noOffers) {
        const int32_t k = DiplomatPickLine(d->playerReq);
        if (k < 0) continue;
        d->selPlayer = static_cast<int16_t>(k);
        if (!InitDokRequester(d, VLIST_VIEW))
          result = DiplomatSubFailed("DiplomatScreenViewContracts: Konnte DokRequester nicht anlegen !\n");
      }
    }
  }
  DiplomatFreeBoxes(d);
  if (!FreeVertragList(d)) result = -1;
  if (!DiplomatLeaveSub(d)) result = -1;
  return result;
}

int32_t DiplomatScreenDeleteContracts(DiplomatScreenData* d) {
  int32_t result = StartContractList(d, DIPL_LAYOUT_CANCEL, VLIST_CANCEL, "DiplomatScreenDeleteContracts");
  if (result == 0) {
    StartTheTransition();
    for (bool leave = false; !leave && !WindowCloseRequested();) {
      Gadget* g = DiplomatNextGadget(d);
      if (!g) continue;
      if (GadgetIs(g, "EXIT")) {
        leave = true;
      } else if (GadgetIs(g, "BU31")) {
        if (!DiplomatScreenDeleteContracts_SendCancel(d))
          result = DiplomatSubFailed("DiplomatScreenDeleteContracts: Konnte Vertrag nicht k\xFCndigen !\n");
      } else if (!d->playerReq || d->noOffers) {
        continue;  // the box is gone, or holds only "no contract offers"
      } else if (DiplomatScroll(g, "30", d->playerReq)) {
      } else if (GadgetIs(g, "TX30")) {
        const int32_t k = DiplomatPickLine(d->playerReq);
        if (k < 0) continue;
        d->selPlayer = static_cast<int16_t>(k);
        if (!InitDokRequester(d, VLIST_CANCEL))
          result = DiplomatSubFailed("DiplomatScreenDeleteContracts: Konnte DokRequester nicht anlegen !\n");
      } else if (GadgetIs(g, "LE30") || GadgetIs(g, "RE30")) {
        const int16_t count = static_cast<int16_t>(d->contractLineCount);
        if (!count) continue;
        if (GadgetIs(g, "LE30")) {
          if (d->selPlayer < 0) continue;
          ShowCancelLine(d, d->selPlayer == 0 ? static_cast<int16_t>(count - 1) : static_cast<int16_t>(d->selPlayer - 1));
        } else {
          ShowCancelLine(d, d->selPlayer < 0 || d->selPlayer + 1 >= count ? 0 : static_cast<int16_t>(d->selPlayer + 1));
        }
      }
    }
  }
  DiplomatFreeBoxes(d);
  if (!FreeVertragList(d)) result = -1;
  if (!DiplomatLeaveSub(d)) result = -1;
  return result;
}

int32_t DiplomatScreenOtherContracts(DiplomatScreenData* d) {
  const char* name = "DiplomatScreenOtherContracts";
  int32_t result = 0;
  d->mode = 0;
  d->noOffers = 0;
  d->noPlayerList = 0;
  d->selPlayer = -1;
  d->selGoods = -1;
  if (!DiplomatEnterSub(d, DIPL_LAYOUT_OTHER, name)) {
    result = DiplomatSubFailed(nullptr);
  } else if (!AllocSpielerList(d)) {
    result = DiplomatSubFailed("DiplomatScreenOtherContracts: Konnte SpielerListe nicht anlegen !\n");
  } else if (!UpdateSpielerRequester(d, d->playerCount, d->playerLines, VLIST_OTHER)) {
    result = DiplomatSubFailed("DiplomatScreenOtherContracts: Konnte SpielerRequester nicht anlegen !\n");
  } else if (!AllocVertragList(d, VLIST_OTHER)) {
    result = DiplomatSubFailed("DiplomatScreenOtherContracts: Konnte VertragListe nicht anlegen !\n");
  } else if (!InitDokRequester(d, VLIST_OTHER)) {
    result = DiplomatSubFailed("DiplomatScreenOtherContracts: Konnte DokRequester nicht anlegen !\n");
  } else {
    StartTheTransition();
    for (bool leave = false; !leave && !WindowCloseRequested();) {
      Gadget* g = DiplomatNextGadget(d);
      if (!g || DiplomatScroll(g, "30", d->playerReq) || DiplomatScroll(g, "31", d->docReq)) continue;
      if (GadgetIs(g, "EXIT")) {
        leave = true;
      } else if (GadgetIs(g, "BU30")) {
        if (!SendVertrag(d, d->mode ? VERTRAG_VASALL_ANNAHME : VERTRAG_VASALL_ANGEBOT))
          result = DiplomatSubFailed("DiplomatScreenOtherContracts: Konnte Vertrag nicht senden !\n");
      } else if (GadgetIs(g, "BU31") || GadgetIs(g, "BU32")) {
        DiplomatMessage(0, GetCatalogStr(kNotYetText));
      } else if (GadgetIs(g, "CH30")) {
        if (d->mode) ChangeOtherContractModus(d);
      } else if (GadgetIs(g, "CH31")) {
        if (!d->mode) ChangeOtherContractModus(d);
      } else if (GadgetIs(g, "TX30")) {
        // The single "no information" or "no contract offers" line is no choice.
        if (!d->playerReq || d->noPlayerList || (d->mode && d->noOffers)) continue;
        const int32_t k = DiplomatPickLine(d->playerReq);
        if (k < 0) continue;
        d->selPlayer = static_cast<int16_t>(k);
        d->selGoods = -1;
        InitDokRequester(d, VLIST_OTHER);
      } else if (GadgetIs(g, "TX31")) {
        const int32_t k = DiplomatPickLine(d->docReq);
        if (k >= 0) d->selGoods = static_cast<int16_t>(k);
      }
    }
  }
  DiplomatFreeBoxes(d);
  if (!FreeVertragList(d)) result = -1;
  FreeSpielerList(d);
  d->mode = 0;
  if (!DiplomatLeaveSub(d)) result = -1;
  return result;
}

int32_t DiplomatScreen(int32_t) {
  PlayScreenCdTrack(kCdTrack);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "DiplomatScreen: Konnte Pic nicht \xF6" "ffnen!\n");
    return -1;
  }
  auto* d = static_cast<DiplomatScreenData*>(AllocVec(sizeof(DiplomatScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  bool sfx = false;
  auto leave = [&](int32_t next) {
    if (d) {
      FreeLayout(d);
      if (sfx) CloseElmorSfx000(kSfx);
      // The RastPort must not keep a font closed here (the next screen
      // would put it back when it leaves).
      if (RastPort* rp = ScreenRastPort())
        if (rp->Font && (rp->Font == d->fontList || rp->Font == d->fontTitle || rp->Font == d->fontDoc)) rp->Font = nullptr;
      CloseFont(d->fontList);
      CloseFont(d->fontTitle);
      CloseFont(d->fontDoc);
      // The picture open now (34, or a sub-screen's that could not give way)
      // is the skeleton's to close.
      base.pictureId = d->picture;
    }
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return leave(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "DiplomatScreen: Kein Speicher f\xFCr lokale Daten!\n");
  d->picture = kPicture;
  d->selPlayer = d->selGoods = -1;
  if (!(d->fontList = OpenDiskFont("fonts\\XHelvetica11.fnt")))
    return fail(SCREEN_STEP_FONT, "DiplomatScreen: Konnte Font nicht laden!\n");
  if (!(d->fontTitle = OpenDiskFont("fonts\\ElmorC1.fnt")) || !(d->fontDoc = OpenDiskFont("fonts\\TopaZ.fnt")))
    return fail(SCREEN_STEP_FONT, "DiplomatScreen: Konnte Elmor-Font nicht \xF6" "ffnen !\n");
  if (!ReadDiplomatScreenData(d))
    return fail(SCREEN_STEP_DATA, "DiplomatScreen: Kann lokale Daten nicht initialisieren !\n");
  if (!(sfx = DiplomatScreenLoadSfx(d) == 1)) return fail(SCREEN_STEP_SOUNDS, "DiplomatScreen: Kann Sfx nicht laden !\n");
  SfxPlayer000(kSfx, 0, 1);
  if (!DiplomatScreenLoadRegion(d, DIPL_LAYOUT_MAIN))
    return fail(SCREEN_STEP_LAYOUT, "DiplomatScreen: Konnte Screen nicht kreieren !");
  StartTheTransition();
  base.shown = 1;
  // A failed sub-screen makes the result -1, but the hub stays until EXIT
  // (or the close, which leaves the same way).
  int32_t result = 2;
  for (bool done = false; !done && !WindowCloseRequested();) {
    Gadget* g = DiplomatNextGadget(d);
    if (!g) continue;
    int32_t sub = 0;
    if (GadgetIs(g, "EXIT")) {
      done = true;
    } else if (GadgetIs(g, "CH00")) {
      sub = DiplomatScreenViewContracts(d);
    } else if (GadgetIs(g, "CH01")) {
      if (d->tradeBuildings) sub = DiplomatScreenTradeContracts(d);
      else DiplomatMessage(0, GetCatalogStr(kNoTradeText));
    } else if (GadgetIs(g, "CH02")) {
      sub = DiplomatScreenOtherContracts(d);
    } else if (GadgetIs(g, "CH03")) {
      sub = DiplomatScreenDeleteContracts(d);
    } else if (GadgetIs(g, "CH04")) {
      sub = DiplomatScreenBotschaften(d);
    }
    if (sub == -1) result = -1;
    if (!d->layout) {  // the hub could not come back
      result = -1;
      break;
    }
  }
  return leave(result);
}
