// The letters of the diplomacy screen: the lord picks another lord and
// writes him a letter through the tavern's editor, or reads the letters
// received (from that lord, or from anybody), paging through them, and
// deletes them. See diplomat.h.
#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/lettermail.h"
#include "screens/common/orders.h"
#include "screens/military/diplomat.h"
#include "screens/military/diplomat_internal.h"

namespace {

const char kMailIn[] = ".\\Data\\MailIn";
const char kLetterMask[] = "        _  .smal";
// The layout's rectangles: the heading, the letter text box, its slider.
constexpr uint32_t kHeadRect = 1, kTextRect = 2, kSliderRect = 6;
constexpr uint32_t kLetterBack = 215, kLetterText = 118, kHeadText = 118, kTrackPen = 22;
constexpr uint32_t kNoLetters = 1227, kChooseLord = 1324, kReference = 810, kNotYet = 1154, kHelp = 815;
constexpr uint32_t kSubjectShown = 25;
// The captions the program prints on the buttons' places.
struct Button {
  const char* id;
  uint32_t text;
};
const Button kButtons[] = {{"CH40", 1630}, {"CH41", 1631}, {"BU41", 1632}, {"BU40", 29}, {"INF1", 35}, {"CH42", 99}};

SmalListEntry* LetterAt(ListHeader* list, uint32_t index) {
  if (!list || index >= list->count) return nullptr;
  ListNode* n = list->first;
  while (index--) n = n->next;
  return reinterpret_cast<SmalListEntry*>(n);
}

void FillLayoutRect(DiplomatScreenData* d, uint32_t k, uint32_t pen) {
  LayoutRect r{};
  if (d->layout && GetLayoutRect(d->layout, k, &r)) DiplomatFillRect(r.x1, r.y1, r.x2, r.y2, pen);
}

// The heading "reference subject (n/count)" of the letter shown.
void Heading(DiplomatScreenData* d, const SmalListEntry* e) {
  LayoutRect r{};
  RastPort* rp = ScreenRastPort();
  if (!rp || !d->layout || !GetLayoutRect(d->layout, kHeadRect, &r)) return;
  char subject[kSubjectShown + 1];
  CopyIntoField(subject, sizeof subject, e->subject);  // the subject cut to 25 characters
  char line[128];
  std::snprintf(line, sizeof line, "%s %s (%u/%u)", GetCatalogStr(kReference), subject, d->letterIndex,
                d->letterList->count);
  DebugLog("DiplomatScreenBotschaften: %s\n", line);
  SetFont(rp, d->fontList);
  PrintTextOutlined(rp, r.x1, r.y1, r.x2, r.y2 - 2, line, kLetterBack, kHeadText,
                    PTO_FILL | PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  ShowScreenRect(rp, r.x1, r.y1, r.x2 - r.x1 + 1, r.y2 - r.y1 + 1);
}

// The letter's text in the letter box, made on first use.
bool ShowText(DiplomatScreenData* d, const char* text) {
  if (!d->layout) return true;
  if (d->docReq) {
    if (!UpdateRequesterText(d->docReq, text, 0)) return false;
    ScrollRequester(d->docReq, 1, 0);
    return true;
  }
  LayoutRect box{}, slider{};
  if (!GetLayoutRect(d->layout, kTextRect, &box) || !GetLayoutRect(d->layout, kSliderRect, &slider)) return false;
  const uint32_t w = box.x2 - box.x1 + 1u, h = box.y2 - box.y1 + 1u;
  d->docReq = InitRequesterTextBox(w - 4, d->fontList, text, box.x1, box.y1, w, h, kLetterBack, kLetterText, nullptr);
  if (!d->docReq) {
    DebugLog("DiplomatScreenBotschaften_Read : Konnte Requester nicht initalisieren!\n");
    return false;
  }
  if (!InitSlider(d->docReq, slider.x2 - slider.x1 + 1u, slider.y2 - slider.y1 + 1u, 26, 22, 25, 24, slider.x1,
                  slider.y1)) {
    DebugLog("DiplomatScreenBotschaften_Read : Konnte Slider nicht initalisieren!\n");
    return false;
  }
  return true;
}

// No letter (left): the heading and the text emptied, 1227.
void NoLetters(DiplomatScreenData* d) {
  FreeRequesterBox(d->docReq);
  d->docReq = nullptr;
  FillLayoutRect(d, kHeadRect, kLetterBack);
  FillLayoutRect(d, kTextRect, kLetterBack);
  FillLayoutRect(d, kSliderRect, kTrackPen);
  DiplomatMessage(0, GetCatalogStr(kNoLetters));
}

// The file of a letter lies in .\Data\MailIn itself (ScanSmals2List's
// path: the folder, one separator, a name without separators).
bool InMailIn(const char* path) {
  const size_t n = sizeof kMailIn - 1;
  if (std::strncmp(path, kMailIn, n) != 0 || (path[n] != '\\' && path[n] != '/')) return false;
  const char* name = path + n + 1;
  return *name && !std::strpbrk(name, "\\/") && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
}

}  // namespace

int32_t DiplomatScreenBotschaften_Read(DiplomatScreenData* d, const char* gadget) {
  if (!d->letterList) {
    if (QoESystemPtr->Optionen.net_option_bits & NET_SERVER_ROUTE) HoleBotschaftPerTCPIP();
    RegisterGameDataListTypes();
    d->letterList = CreateList(LIST_LETTERS);
    if (!d->letterList) {
      DebugLog("DiplomatScreenBotschaften_Read : kein Speicher f\xFCr ListHeader vorhanden...\n");
      return 0;
    }
    d->letterIndex = 0;
    if (!ScanSmals2List(d->letterList, kMailIn, kLetterMask, 1)) {
      DiplomatMessage(0, GetCatalogStr(kNoLetters));
      return 0;
    }
    d->letterList->fields[0].key = 1;  // the date, newest first
    if (!SortNode(d->letterList, SORT_DESCENDING))
      DebugLog("DiplomatScreenBotschaften_Read : Konnte Botschaftenliste nicht sortieren...\n");
  }
  const uint32_t count = d->letterList->count;
  if (!count) {
    NoLetters(d);
    return 0;
  }
  if (d->letterIndex > count) d->letterIndex = static_cast<uint16_t>(count);
  const SpielerEintrag* lord = DiplomatSelectedPlayer(d);
  const bool current = std::strcmp(gadget, "CH40") == 0, back = std::strcmp(gadget, "LE40") == 0;
  auto forward = [&] { d->letterIndex = d->letterIndex >= count ? 1 : static_cast<uint16_t>(d->letterIndex + 1); };
  const uint32_t tries = lord ? count : 1;
  for (uint32_t t = 0; t < tries; ++t) {
    if (current) {
      if (!d->letterIndex) d->letterIndex = 1;
    } else if (back) {
      d->letterIndex = d->letterIndex <= 1 ? static_cast<uint16_t>(count) : static_cast<uint16_t>(d->letterIndex - 1);
    } else {
      forward();
    }
    if (!lord || LetterAt(d->letterList, d->letterIndex - 1u)->sender_id == lord->id) break;
    if (current) forward();  // not his: the next one is tried
  }
  const SmalListEntry* e = LetterAt(d->letterList, d->letterIndex - 1u);
  Heading(d, e);
  return ShowText(d, e->text ? e->text : "") ? 1 : 0;
}

void DiplomatScreenBotschaften_Delete(DiplomatScreenData* d) {
  if (!d->letterList || !d->letterList->count) return;
  const uint32_t count = d->letterList->count;
  const uint32_t at = d->letterIndex ? (d->letterIndex <= count ? d->letterIndex - 1u : count - 1u) : 0;
  SmalListEntry* e = LetterAt(d->letterList, at);
  if (!InMailIn(e->path)) {
    DebugLog("DiplomatScreenBotschaften_Delete: %s liegt nicht in %s\n", e->path, kMailIn);
    return;
  }
  // A letter whose file is gone already only leaves the list.
  uint32_t size = 0;
  uint64_t stamp = 0;
  if (GetFileStamp(e->path, &size, &stamp) && !DeleteFileA(e->path)) {
    DebugLog("DiplomatScreenBotschaften_Delete: Konnte %s nicht l\xF6schen\n", e->path);
    return;
  }
  RemoveNode(d->letterList, LN_INDEX, at, RN_FREE_POINTERS);
  if (at >= d->letterList->count) d->letterIndex = 1;  // the last went: the first is current
  else d->letterIndex = static_cast<uint16_t>(at + 1);
  DiplomatScreenBotschaften_Read(d, "CH40");
}

void DiplomatScreenBotschaften_Write(DiplomatScreenData* d) {
  if (!OrdersAllowed(ReadAccountState())) return;
  const SpielerEintrag* lord = DiplomatSelectedPlayer(d);
  if (!lord) {
    DiplomatMessage(0, GetCatalogStr(kChooseLord));
    return;
  }
  auto* m = static_cast<TaverneMailData*>(AllocVec(sizeof(TaverneMailData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!m) {
    DebugLog("DiplomatScreenBotschaften_Write: Kein Speicher f\xFCr lokale Variablen!\n");
    return;
  }
  m->region = d->layout;
  m->headingFont = d->fontTitle;
  m->backPen = kLetterBack;
  m->textPen = kLetterText;
  m->headerShown = 1;
  m->selected = kNoEntry;
  m->recipientName = lord->name;
  m->recipientId = lord->id;
  m->textFont = OpenDiskFont("fonts\\Xen8.fnt");
  if (!m->textFont) {
    DebugLog("DiplomatScreenBotschaften_Write: Konnte Elmor-Font nicht \xF6" "ffnen!\n");
  } else {
    // The editor's lines and box lie on the letter's place: the letter read
    // before goes first, so none of its rows stays between them.
    FillLayoutRect(d, kTextRect, kLetterBack);
    TaverneOfflineWriteMail(m, nullptr);
    CloseFont(m->textFont);
    if (RastPort* rp = ScreenRastPort()) SetFont(rp, d->fontList);
  }
  FreeVec(m);
  // The editor wrote over the letter's place: the letter shown comes back.
  if (d->docReq && d->letterList && d->letterList->count && d->letterIndex) {
    Heading(d, LetterAt(d->letterList, d->letterIndex - 1u));
    ScrollRequester(d->docReq, 0, 0);
  } else {
    FillLayoutRect(d, kHeadRect, kLetterBack);
    FillLayoutRect(d, kTextRect, kLetterBack);
    FillLayoutRect(d, kSliderRect, kTrackPen);
  }
}

int32_t DiplomatScreenBotschaften(DiplomatScreenData* d) {
  int32_t result = 0;
  d->selPlayer = -1;
  d->letterIndex = 0;
  if (!DiplomatEnterSub(d, DIPL_LAYOUT_LETTERS, "DiplomatScreenBotschaften")) {
    result = DiplomatSubFailed(nullptr);
  } else if (!AllocSpielerList(d)) {
    result = DiplomatSubFailed("DiplomatScreenBotschaften: Konnte SpielerListe nicht anlegen !\n");
  } else if (!UpdateSpielerRequester(d, d->playerCount, d->playerLines, 5)) {
    result = DiplomatSubFailed("DiplomatScreenBotschaften: Konnte SpielerRequester nicht anlegen !\n");
  } else {
    for (const Button& b : kButtons) DiplomatButtonCaption(d, b.id, b.text);
    StartTheTransition();
    for (bool leave = false; !leave && !WindowCloseRequested();) {
      Gadget* g = DiplomatNextGadget(d);
      if (!g || DiplomatScroll(g, "40", d->playerReq) || DiplomatScroll(g, "41", d->docReq)) continue;
      if (GadgetIs(g, "U000") || GadgetIs(g, "D000") || GadgetIs(g, "S000")) {  // the editor's names of UP41, DO41, SL41
        if (d->docReq) {
          MoveSlider(d->docReq, GadgetIs(g, "U000")   ? static_cast<uint32_t>(SLIDER_UP)
                                : GadgetIs(g, "D000") ? static_cast<uint32_t>(SLIDER_DOWN)
                                                      : static_cast<uint32_t>(GetMouseY()));
          ScrollRequester(d->docReq, 0, 0);
        }
        continue;
      }
      if (GadgetIs(g, "EXIT")) {
        leave = true;
      } else if (GadgetIs(g, "CH40") || GadgetIs(g, "LE40") || GadgetIs(g, "RE40")) {
        char id[5] = {};
        std::memcpy(id, g->id, 4);
        DiplomatScreenBotschaften_Read(d, id);
      } else if (GadgetIs(g, "CH41")) {
        DiplomatScreenBotschaften_Write(d);
      } else if (GadgetIs(g, "BU41")) {
        DiplomatScreenBotschaften_Delete(d);
      } else if (GadgetIs(g, "CH42")) {
        DiplomatMessage(0, GetCatalogStr(kNotYet));
      } else if (GadgetIs(g, "INF1")) {
        TextBox(GetCatalogStr(kHelp));
      } else if (GadgetIs(g, "TX40")) {
        if (!d->playerReq || d->noPlayerList) continue;
        d->selPlayer = static_cast<int16_t>(DiplomatPickLine(d->playerReq));
        if (d->selPlayer < 0) SelectRequesterEntry(d->playerReq, 1, kNoEntry);  // nobody chosen: no mark
      }
    }
  }
  DeleteList(d->letterList, 1);
  d->letterList = nullptr;
  d->letterIndex = 0;
  DiplomatFreeBoxes(d);
  FreeSpielerList(d);
  d->selPlayer = -1;
  if (!DiplomatLeaveSub(d)) result = -1;
  return result;
}
