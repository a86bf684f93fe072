// The story screen and its story browser. See rizizozez.h.
#include "rizizozez.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/movie.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "screens/common/screenbase.h"
#include "screens/story/storyevents.h"
#include "screens/story/storypage.h"

namespace {

constexpr uint32_t kPicture = 505;
constexpr uint8_t kCdTrack = 9;
// The browser appears at this tick of the screen; the screen leaves at the second.
constexpr uint32_t kBrowserTick = 50, kLeaveTick = 100;

// The browser: its saved rectangle, text requester, title and slider arrows.
constexpr int32_t kBoxX = 64, kBoxY = 38;
constexpr uint32_t kBoxW = 507, kBoxH = 425;
constexpr int32_t kPageX = 99, kPageY = 76;
constexpr uint32_t kPageW = 417, kPageH = 305;
constexpr uint32_t kPenBack = 6, kPenText = 7, kTitlePen = 7, kBarPen = 6;
constexpr uint32_t kBoxFrame = 506, kArrowUp = 123, kArrowDown = 125;
constexpr uint32_t kHelpText = 1017;
constexpr uint32_t kLayoutMask = (1u << LAYOUT_TEXTAREA) | (1u << LAYOUT_GADGET);

const uint16_t kGraphics[] = {115, 116, 285, 286, 287, 288, 507, 508, 509, 510, 511, 512, 513,
                              514, 515, 516, 517, 518, 294, 295, 506, 123, 124, 125, 126};
constexpr uint32_t kGraphicCount = sizeof kGraphics / sizeof kGraphics[0];

// The link buttons' names in the title bar.
constexpr uint32_t kLinkEndName = 1743, kLinkBackName = 1744, kLinkNextName = 1745, kLinkPageName = 1746;

const char* const kLinkIds[kStoryLinkButtons] = {"GAD1", "GAD2", "GAD3", "GAD4", "GAD5", "GAD6"};

void PauseMovies(RizizOzezData* d, uint8_t halted) {
  SetMovieMode(d->fire, halted);
  SetMovieMode(d->lute, halted);
}

}  // namespace

// ---- catalog, movies, graphics -------------------------------------------------------

Catalog* OpenRizizOzezCatalog(const char* name) { return OpenCatalog(name, StoryStrings, STORY_STRING_COUNT); }

void CloseRizizOzezCatalog(Catalog* catalog) { CloseCatalog(catalog); }

const char* GetRizizOzezText(Catalog*, uint32_t entry) {
  if (entry >= STORY_STRING_COUNT) {
    DebugLog("GetRizizOzezText: Keine Story Nr. %u\n", entry);
    return "";
  }
  // The table Main built at start; the built-in one outside Main's run.
  CatalogEntry** table = StoryEventTable();
  return GetCatalogEntryStr(table ? table[entry] : &StoryStrings[entry]);
}

int32_t InitRizizOzezAnims(RizizOzezData* d) {
  d->movieBase = AllocMovieBase(GetTitelScreenData(), GetAFXDisplayFlag(), GetAFXOptionFlag(), AFX_NONE);
  if (!d->movieBase) {
    DebugLog("InitRizizOzezAnims: AllocMovieBase fehlgeschlagen...\n");
    return 0;
  }
  d->fire = LoadMovie(d->movieBase, ".\\Anims\\RizizOzez-Feuer.CBAN", 0, 0);
  if (d->fire) StartMovie(d->movieBase, d->fire, 400, 206, 68, 3);
  d->lute = LoadMovie(d->movieBase, ".\\Anims\\RizizOzez-Laute.CBAN", 0, 0);
  if (d->lute) StartMovie(d->movieBase, d->lute, 192, 212, 68, 5);
  return 1;
}

void FreeRizizOzezAnims(RizizOzezData* d) {
  if (!d || !d->movieBase) return;
  if (d->fire) StopMovie(d->movieBase, d->fire);
  if (d->lute) StopMovie(d->movieBase, d->lute);
  FreeMovieBase(d->movieBase);
  d->movieBase = nullptr;
  d->fire = d->lute = nullptr;
}

int32_t LoadRizizOzezGfx() {
  for (uint32_t i = 0; i < kGraphicCount; ++i)
    if (OpenElmorGfx(".\\Data\\Path", kGraphics[i]) != 1) {
      while (i--) CloseElmorGfx(kGraphics[i]);
      return 0;
    }
  return 1;
}

void FreeRizizOzezGfx() {
  for (uint32_t i = 0; i < kGraphicCount; ++i) CloseElmorGfx(kGraphics[i]);
}

// ---- the browser ----------------------------------------------------------------------

void StoryLinkName(uint32_t page, uint16_t target, char* out, uint32_t size) {
  if (!out || size == 0) return;
  out[0] = 0;
  if (target == STORY_LINK_NONE) return;
  if (target == STORY_LINK_END) {
    CopyIntoField(out, size, GetCatalogStr(kLinkEndName));
  } else if (target + 1u == page) {
    CopyIntoField(out, size, GetCatalogStr(kLinkBackName));
  } else if (target == page + 1u) {
    CopyIntoField(out, size, GetCatalogStr(kLinkNextName));
  } else if (std::snprintf(out, size, GetCatalogStr(kLinkPageName), static_cast<unsigned>(target)) >=
             static_cast<int>(size)) {
    DebugLog("StoryLinkName: Name gekuerzt\n");
  }
}

void RizizOzezBrowserLinks(uint32_t page, const char* page_text, ScreenRegion* layout, uint16_t targets[6],
                           StoryLinkNames* names) {
  Gadget* g[kStoryLinkButtons] = {};
  StoryLinkButtons b{};
  for (uint32_t i = 0; i < kStoryLinkButtons; ++i) {
    g[i] = layout ? FindGadget(layout, kLinkIds[i]) : nullptr;
    b.up[i] = g[i] ? g[i]->imageReleased : (uint16_t)STORY_IMG_NEUTRAL;
    b.down[i] = g[i] ? g[i]->imagePressed : (uint16_t)STORY_IMG_NEUTRAL_DOWN;
    b.targets[i] = targets[i];
  }
  if (StoryLinkButtonsFor(page, page_text, &b)) {  // else the last page's buttons stay
    for (uint32_t i = 0; i < kStoryLinkButtons; ++i) {
      targets[i] = b.targets[i];
      if (!g[i]) continue;
      g[i]->imageReleased = b.up[i];
      g[i]->imagePressed = b.down[i];
      BlitObjekt(nullptr, b.up[i], g[i]->x1 + layout->offsetX, g[i]->y1 + layout->offsetY, 0, 0);
    }
  }
  if (!names) return;
  // The names follow the targets as seen from this page, kept or new.
  names->flip ^= 1u;
  for (uint32_t i = 0; i < kStoryLinkButtons; ++i) {
    char* name = names->text[names->flip][i];
    StoryLinkName(page, targets[i], name, sizeof names->text[0][0]);
    if (g[i] && g[i]->textArea) g[i]->textArea->text = name[0] ? name : nullptr;
  }
}

namespace {

// What the browser holds while it runs; Close frees what was made.
struct Browser {
  BitMap* saved = nullptr;
  TextFont* titleFont = nullptr;
  TextFont* textFont = nullptr;
  ScreenRegion* region = nullptr;
  RastPort* rp = nullptr;
  StoryLinkNames names{};

  void Close() {
    FreeVec(rp);
    rp = nullptr;
    if (region) {
      FreeMouseGadgetImages(region);
      FreeScreenRegion(region);
      region = nullptr;
    }
    CloseFont(titleFont);
    CloseFont(textFont);
    titleFont = textFont = nullptr;
    if (saved) RestoreBackground(saved, kBoxX, kBoxY, kBoxW, kBoxH);
    saved = nullptr;
  }
};

// One page: shown until the player follows a link (its page number), ends
// the story (0).
uint32_t RunPage(Browser& b, QoERequester* req, const uint16_t targets[6]) {
  const ScreenRecordList& texts = b.region->types[LAYOUT_TEXTAREA];
  KeyScope keys;  // a key held from before the page neither scrolls nor ends it
  for (;;) {
    if (texts.count) CheckTitleBar(static_cast<const TextArea*>(texts.first), b.titleFont, kBarPen);
    const int32_t ev = WaitEvent(WE_EXTENDED | WE_TICKS);
    if (WaitEventExtended() && (ev == WE_KEY_UP || ev == WE_KEY_DOWN)) {
      MoveSlider(req, ev == WE_KEY_UP ? SLIDER_UP : SLIDER_DOWN);
      ScrollRequester(req, 0, 0);
      continue;
    }
    Gadget* g = HandleGadgetEvent(b.rp, b.region, (uint32_t)ev);
    if (!g) continue;
    if (GadgetIs(g, "SL00") || GadgetIs(g, "UP00") || GadgetIs(g, "DO00")) {
      MoveSlider(req, GadgetIs(g, "SL00") ? (uint32_t)GetMouseY() : GadgetIs(g, "UP00") ? (uint32_t)SLIDER_UP : (uint32_t)SLIDER_DOWN);
      ScrollRequester(req, 0, 0);
    } else if (GadgetIs(g, "INFO")) {
      TextBox(GetCatalogStr(kHelpText));
    } else if (GadgetIs(g, "EXIT")) {
      return 0;
    } else {
      for (uint32_t i = 0; i < kStoryLinkButtons; ++i) {
        if (!GadgetIs(g, kLinkIds[i]) || targets[i] == STORY_LINK_NONE) continue;
        return targets[i] == STORY_LINK_END ? 0 : targets[i];
      }
    }
  }
}

}  // namespace

int32_t BTTextBox(RizizOzezData* d, const char* story) {
  Browser b;
  b.saved = SaveBackground(kBoxX, kBoxY, kBoxW, kBoxH);
  if (!b.saved) {
    DebugLog("BTTextBox : Konnte Hintergrund nicht retten !\n");
    return 0;
  }
  b.titleFont = OpenDiskFont("fonts\\ElmorC1.fnt");
  b.textFont = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!b.titleFont || !b.textFont) {
    DebugLog("BTTextBox : Konnte Font nicht finden !\n");
    b.Close();
    return 0;
  }
  b.region = GetScreenRegion(".\\Data\\Screendat\\BTTExtBox.dat", kLayoutMask);
  if (!b.region) {
    DebugLog("BTTextBox : Kann TitelbarDaten nicht laden!\n");
    b.Close();
    return 0;
  }
  RastPort* screen = ScreenRastPort();
  b.rp = screen ? static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_PUBLIC | MEMF_CLEAR)) : nullptr;
  if (!b.rp) {
    DebugLog("BTTextBox : Konnte Speicher f\xFCr RastPort nicht allokieren 001 \n");
    b.Close();
    return 0;
  }
  InitRastPort(b.rp);
  b.rp->Bitmap = screen->Bitmap;
  SetFont(b.rp, b.titleFont);
  SetDrMd(b.rp, 0);

  PrintTextOutlined(b.rp, 157, 6, 349, 34, GetRizizOzezText(d ? d->catalog : nullptr, 0), 0, kTitlePen,
                    PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  BlitObjekt(b.rp, kBoxFrame, kBoxX, kBoxY, kBoxW, kBoxH);
  RestoreMouseGadgets(b.rp, b.region);
  BlitObjekt(b.rp, kArrowUp, 523, 83, 0, 0);
  BlitObjekt(b.rp, kArrowDown, 523, 334, 0, 0);

  uint16_t targets[kStoryLinkButtons] = {};
  uint32_t page = 1;
  while (page) {
    const char* text = FindStoryPage(story, page, nullptr);
    if (!text) {
      // Beyond the last page (or a story without one): the story ends.
      DebugLog("BTTextBox : Seite %u gibt es nicht, Ende der Geschichte\n", page);
      break;
    }
    RizizOzezBrowserLinks(page, text, b.region, targets, &b.names);
    CheckRizizOzezModifikation(text);
    QoERequester* req = InitRizizOzezRequester(kPageW, b.textFont, text, kPageX, kPageY, kPageW, kPageH, kPenBack,
                                               kPenText, RizizOzezBrowser);
    if (!req) {
      DebugLog("BTTextBox : Konnte Requester nicht allokieren \n");
      break;
    }
    DebugLog("BTTextBox : Seite %u\n", page);
    page = RunPage(b, req, targets);
    FreeRequesterBox(req);
  }
  b.Close();
  return 1;
}

// ---- the screen -------------------------------------------------------------------------

int32_t RizizOzez(int32_t) {
  PlayCDTrack1(nullptr, 0, kCdTrack, kCdTrack);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "RizizOzez: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<RizizOzezData*>(AllocVec(sizeof(RizizOzezData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) {
    ScreenStartFailed(&base, SCREEN_STEP_MEMORY, "RizizOzez: Konnte Pic nicht laden!\n");
    CloseScreenBase(&base, -1);
    return -1;
  }
  bool gfx = false;
  auto leave = [&](int32_t next) {
    if (gfx) FreeRizizOzezGfx();
    FreeRizizOzezAnims(d);
    CloseRizizOzezCatalog(d->catalog);
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  d->catalog = OpenRizizOzezCatalog("RizizOzez.catalog");
  const uint32_t story = RizizOzezPrefs(0, 0, 0);
  DebugLog("RizizOzez: Die folgende Story sollte nun gespielt werden %u\n", story);
  if (!InitRizizOzezAnims(d)) {
    ScreenStartFailed(&base, SCREEN_STEP_MOVIES, "RizizOzez: Konnte Grafiken nicht laden...\n");
    return leave(-1);
  }
  gfx = LoadRizizOzezGfx() == 1;
  if (!gfx) {
    ScreenStartFailed(&base, SCREEN_STEP_GRAPHICS, "RizizOzez: Konnte Grafiken nicht laden...\n");
    return leave(-1);
  }
  ShowScreenBase(&base);

  int32_t next = SCREEN_MAIN;
  uint32_t ticks = 0;
  while (ticks < kLeaveTick && !WindowCloseRequested()) {
    if (WaitEvent(WE_TICKS) != WE_TICK) continue;
    if (++ticks != kBrowserTick) continue;
    PauseMovies(d, 1);
    WaitTransition();  // the browser opens over the whole picture
    BTTextBox(d, GetRizizOzezText(d->catalog, story));
    if (!RizizOzezEvents()) {
      DebugLog("RizizOzez: Konnte RizizOzezEvents nicht starten...\n");
      next = -1;
    }
    PauseMovies(d, 0);
  }
  return leave(next);
}
