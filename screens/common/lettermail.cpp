// The letter window of the tavern. See lettermail.h.
#include "lettermail.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textentry.h"

const char* const kMailWindowLayout = ".\\Data\\Screendat\\TaverneOffchatReq.dat";

namespace {

const char* const kMailIn = ".\\Data\\MailIn";
const char* const kMailOut = ".\\Data\\MailOut";
const char* const kLetterMask = "        _  .smal";

// Catalog texts.
enum : uint32_t {
  kTextNoMails = 807, kTextSender = 808, kTextDate = 809, kTextReference = 810, kTextAskSubject = 811,
  kTextSubjectHelp = 812, kTextNoSubject = 813, kTextWritten = 814, kTextHelp = 815, kTextAllLords = 1582,
  kTextNotWritten = 1583, kTextSendQuestion = 1800, kTextFetchQuestion = 1801, kTextWriteHeader = 1802,
  kTextReadHeader = 1803, kTextEditorTitle = 1804,
};
// Pens of the window.
enum : uint32_t {
  kPenTitleBar = 16, kPenMarkBack = 171, kPenParchment = 5, kPenFontA = 146, kPenFontB = 21,
  kPenKnob = 26, kPenTrack = 22, kPenLight = 25, kPenDark = 24,
};
// The areas of the layout, in the order of its area table.
enum : uint32_t { kAreaBox = 0, kAreaHeader = 1, kAreaInfo1 = 2, kAreaInfo2 = 3, kAreaSlider = 4 };
// Key fields of the letter list (type 21).
enum : uint32_t { kFieldDate = 0, kFieldLine = 1, kFieldSubject = 3, kFieldSender = 4 };
// Sender ID and recipient ID of a letter file (big-endian on disk).
constexpr uint32_t kFileRecipientId = 280;
constexpr uint32_t kSubjectSize = 160;

const char* HeaderText(uint32_t index) {
  switch (index) {
    case 0: return GetCatalogStr(96);   // received letters
    case 1: return GetCatalogStr(97);
    case 2: return GetCatalogStr(99);
    case 3: return GetCatalogStr(98);
    case 4: return GetCatalogStr(kTextWriteHeader);
    case 5: return GetCatalogStr(kTextReadHeader);
    default: return "";
  }
}

const TextArea* Area(const TaverneMailData* d, uint32_t n) {
  if (!d->region) return nullptr;
  const ScreenRecordList& a = d->region->types[LAYOUT_AREA];
  return n < a.count ? static_cast<const TextArea*>(a.first) + n : nullptr;
}

uint32_t AreaWidth(const TextArea* a) { return static_cast<uint32_t>(a->x2 - a->x1 + 1); }
uint32_t AreaHeight(const TextArea* a) { return static_cast<uint32_t>(a->y2 - a->y1 + 1); }

// A message of the catalog in the modal box (logged, so a run can be traced).
void Message(uint32_t text) {
  DebugLog("TaverneOfflineChat: Meldung %u\n", text);
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(text), 7);
}
bool Asked(const char* question) {
  DebugLog("TaverneOfflineChat: Frage <%s>\n", question);
  return !WindowCloseRequested() && ChiefMessage(66, 168, 180, 0, 0, 0, 1, question, 7) == 0;
}

// Fills area n with pen.
void FillArea(const TaverneMailData* d, uint32_t n, uint32_t pen) {
  const TextArea* a = Area(d, n);
  RastPort* rp = ScreenRastPort();
  if (!a || !rp) return;
  SetAPen(rp, pen);
  RectFill(rp, a->x1, a->y1, a->x2, a->y2);
  ShowScreenRect(rp, a->x1, a->y1, static_cast<int32_t>(AreaWidth(a)), static_cast<int32_t>(AreaHeight(a)));
}

// One info line (area n), cleared and printed in the text font, cut to the
// line's width.
void InfoLine(const TaverneMailData* d, uint32_t n, const char* text) {
  const TextArea* a = Area(d, n);
  RastPort* rp = ScreenRastPort();
  if (!a || !rp) return;
  FillArea(d, n, d->backPen);
  if (!text || !*text) return;
  TextFont* old = rp->Font;
  if (d->textFont) SetFont(rp, d->textFont);
  char line[256];
  std::snprintf(line, sizeof line, "%s", text);
  uint32_t len = static_cast<uint32_t>(std::strlen(line));
  const uint32_t width = AreaWidth(a) > 4 ? AreaWidth(a) - 4 : 0;
  while (len && TextLength(rp, line, len) > width) line[--len] = 0;
  PrintTextOutlined(rp, a->x1 + 2, a->y1, a->x2, a->y2, line, d->backPen, d->textPen, PTO_BASELINE | PTO_VCENTRE);
  ShowScreenRect(rp, a->x1, a->y1, static_cast<int32_t>(AreaWidth(a)), static_cast<int32_t>(AreaHeight(a)));
  if (old) SetFont(rp, old);
}

void ClearInfoLines(const TaverneMailData* d) {
  FillArea(d, kAreaInfo1, d->backPen);
  FillArea(d, kAreaInfo2, d->backPen);
}

// A text box (the reader's or the editor's) in the box area with its slider.
QoERequester* TextRequester(TaverneMailData* d, const char* text, RequesterTextHook hook) {
  const TextArea* box = Area(d, kAreaBox);
  const TextArea* s = Area(d, kAreaSlider);
  if (!box || !s) return nullptr;
  return InitRequesterTextBox(AreaWidth(box) - 4, d->textFont, text, box->x1, box->y1, AreaWidth(box),
                              AreaHeight(box), d->backPen, d->textPen, hook);
}

int32_t AddSlider(TaverneMailData* d, QoERequester* req) {
  const TextArea* s = Area(d, kAreaSlider);
  return s && InitSlider(req, AreaWidth(s), AreaHeight(s), kPenKnob, kPenTrack, kPenLight, kPenDark, s->x1, s->y1);
}

// The list box over the display lines, with its slider; 0 on failure.
int32_t MakeListRequester(TaverneMailData* d) {
  const TextArea* box = Area(d, kAreaBox);
  if (!box || !d->list) return 0;
  if (!d->lines) {
    DebugLog("TaverneOfflineChatHandleEvents : konnte ListReqBuffer nicht anlegen...\n");
    return 0;
  }
  d->listReq = InitRequesterBox(AreaWidth(box), d->list->count, d->textFont, d->lines, box->x1, box->y1,
                                AreaWidth(box), AreaHeight(box), d->backPen, d->textPen);
  if (!d->listReq) {
    DebugLog("TaverneOfflineChatHandleEvents : Konnte Requester nicht initalisieren!\n");
    return 0;
  }
  if (!AddSlider(d, d->listReq)) {
    DebugLog("TaverneOfflineChatHandleEvents : Konnte Slider nicht initalisieren!\n");
    return 0;
  }
  return 1;
}

// The list as it was before a box covered it: the list box at its scroll
// position with its mark, or an empty box.
void ShowList(TaverneMailData* d) {
  DrawMailHeader(d, 0);
  ClearInfoLines(d);
  if (d->listReq) {
    ScrollRequester(d->listReq, 0, 0);
  } else {
    FillArea(d, kAreaBox, d->backPen);
    FillArea(d, kAreaSlider, kPenTrack);
  }
}

SmalListEntry* NodeAt(ListHeader* list, uint32_t index) {
  if (!list || index >= list->count) return nullptr;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < index && n; ++i) n = n->next;
  return reinterpret_cast<SmalListEntry*>(n);
}

// Sorts the list on one key field; 1 on success.
int32_t SortLetters(ListHeader* list, uint32_t field, uint32_t mode) {
  if (!list || field >= list->field_count) return 0;
  list->fields[field].key = 1;
  return SortNode(list, mode);
}

// Deletes the letter files of the oldest letters until kMailKept remain,
// through one set; their nodes go with them. 1 when nothing had to go or all
// went.
int32_t PruneLetters(ListHeader* list) {
  if (!list || list->count <= kMailKept) return 1;
  std::vector<SmalListEntry*> nodes;
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count && n; ++i, n = n->next) nodes.push_back(reinterpret_cast<SmalListEntry*>(n));
  std::stable_sort(nodes.begin(), nodes.end(),
                   [](const SmalListEntry* a, const SmalListEntry* b) { return a->date > b->date; });
  FileSet* set = BeginFileSet();
  int32_t ok = set != nullptr;
  for (size_t i = kMailKept; ok && i < nodes.size(); ++i) ok = FileSetRemove(set, nodes[i]->path);
  if (set) ok = CommitFileSet(set) && ok;
  if (!ok) {
    DebugLog("TaverneOfflineChatHandleEvents : Konnte alte Mails nicht löschen...\n");
    return 0;
  }
  for (size_t i = kMailKept; i < nodes.size(); ++i) {
    ListNode* victim = &nodes[i]->head;
    list->current = victim;
    RemoveNode(list, LN_CURRENT, 0, RN_FREE_POINTERS);
  }
  return 1;
}

// ---- The editor's box ------------------------------------------------------

// Lines of the editor's text as EditKey lays it out.
uint32_t TextLines(const TaverneMailData* d, uint32_t wrap) {
  uint32_t lines = 0;
  TextPixelWidthLines(d->text, d->widths, wrap, &lines);
  return lines ? lines : 1;
}

uint32_t VisibleLines(const QoERequester* req) {
  const uint32_t v = req->lineHeight ? req->height / req->lineHeight : 1;
  return v ? v : 1;
}

// Draws the editor's text into its box's content (through EditKey, which
// lays it out as it edits); the content holds one line more than the text,
// and at least the visible lines. Called while the box is laid out.
uint32_t EditorTextHook(QoERequester* req, uint32_t) {
  auto* d = static_cast<TaverneMailData*>(req->userData);
  if (!d || !d->text || !d->cursor || d->cursor->Rp != req->rp) return VisibleLines(req);
  EditKey(0, d->text, d->widths, d->cursor, 0, 0, req->contentWidth, kMailTextMax, kMailTextLines, d->textPen,
          d->backPen);
  return std::max(VisibleLines(req), TextLines(d, req->contentWidth) + 1);
}

// Scrolls the editor's box so that the cursor's line shows.
void KeepCursorVisible(TaverneMailData* d) {
  QoERequester* req = d->textReq;
  const uint32_t line = d->cursor ? d->cursor->Line : 0, visible = VisibleLines(req);
  if (line < req->topLine || line >= req->topLine + visible) {
    const uint32_t top = line < req->topLine ? line : line + 1 - visible;
    DebugLog("TaverneOfflineWriteMail: oberste Zeile %u\n", top);
    ScrollRequester(req, 1, static_cast<int32_t>(top));
  } else {
    ScrollRequester(req, 0, 0);
  }
}

// True for a key that puts a character or a line break into the text (an
// arrow, insert or delete carries the extended mark).
bool AddsText(int32_t key) {
  if (WaitEventExtended() && key != 13) return false;
  return key == 10 || key == 13 || (key >= 32 && key <= 255 && key != 127);
}

// The window's name in its title bar, on the bar as the window graphic has it.
void DrawMailTitle(TaverneMailData* d, const TextArea* title) {
  RastPort* rp = ScreenRastPort();
  if (!title || !rp || !d->region || !d->region->types[LAYOUT_TEXTAREA].count) return;
  const uint32_t w = static_cast<uint32_t>(title->x2 - title->x1 + 1), h = static_cast<uint32_t>(title->y2 - title->y1 + 1);
  if (d->titleBackground) {
    RestoreBackground(d->titleBackground, title->x1, title->y1, w, h);
    d->titleBackground = SaveBackground(title->x1, title->y1, w, h);
  }
  TextFont* old = rp->Font;
  if (d->headingFont) SetFont(rp, d->headingFont);
  PrintTextOutlined(rp, title->x1, title->y1, title->x2, title->y2,
                    title->text ? title->text : GetCatalogStr(kTextEditorTitle), kPenTitleBar, d->textPen,
                    PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  ShowScreenRect(rp, title->x1, title->y1, static_cast<int32_t>(w), static_cast<int32_t>(h));
  if (old) SetFont(rp, old);
}

// The title bar names the gadget under the mouse; when it is cleared again
// the tavern window's own name comes back (a cleared bar would stand empty
// where the name was). A window without a saved bar (the diplomacy screen's
// editor) keeps the plain bar.
void MailTitleBar(TaverneMailData* d, const TextArea* title) {
  const char* before = TitleBarCaption();
  CheckTitleBar(title, d->headingFont, kPenTitleBar);
  if (d->titleBackground && before && !TitleBarCaption()) DrawMailTitle(d, title);
}

}  // namespace

// ---- Companions ------------------------------------------------------------

void DrawMailHeader(TaverneMailData* d, uint32_t index) {
  const TextArea* a = Area(d, kAreaHeader);
  RastPort* rp = ScreenRastPort();
  if (!a || !rp) return;
  FillArea(d, kAreaHeader, d->backPen);
  if (!d->headerShown) return;
  TextFont* old = rp->Font;
  if (d->headingFont) SetFont(rp, d->headingFont);
  PrintTextOutlined(rp, a->x1, a->y1, a->x2, a->y2, HeaderText(index), d->backPen, d->textPen,
                    PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  ShowScreenRect(rp, a->x1, a->y1, static_cast<int32_t>(AreaWidth(a)), static_cast<int32_t>(AreaHeight(a)));
  if (old) SetFont(rp, old);
}

int32_t MailSubjectFilled(const char* text) {
  for (const char* p = text; p && *p; ++p)
    if (*p != ' ') return 1;
  return 0;
}

int32_t RebuildWriteMailRequester(TaverneMailData* d, uint32_t line, uint32_t up) {
  if (!d->textReq || !UpdateRequesterText(d->textReq, d->text, 0)) {
    DebugLog("TaverneOfflineWriteMail : Konnte Requester nicht neu anlegen!\n");
    return 0;
  }
  const uint32_t visible = VisibleLines(d->textReq);
  const uint32_t top = up ? (line + 1 > visible ? line + 1 - visible : 0) : line;
  ScrollRequester(d->textReq, 1, static_cast<int32_t>(top));
  return 1;
}

int32_t PreUpdateRequester(TaverneMailData* d, int32_t key) {
  if (!d->textReq || !AddsText(key)) return 1;
  // The content keeps one line beyond the text: a key that may open a new
  // line needs that one free.
  if (TextLines(d, d->textReq->contentWidth) + 1 <= d->textReq->lines) return 1;
  if (!RebuildWriteMailRequester(d, d->textReq->topLine, 0)) {
    DebugLog("PreUpdateRequester : Konnte Requester nicht updaten...\n");
    return 0;
  }
  return 1;
}

// ---- The list --------------------------------------------------------------

ListHeader* TaverneOfflineBuildNewReq(TaverneMailData* d, uint32_t rescan) {
  if (rescan) {
    ListHeader* fresh = CreateList(LIST_LETTERS);
    if (!fresh) {
      DebugLog("TaverneOfflineChatHandleEvents : kein Speicher für ListHeader vorhanden...\n");
      return nullptr;
    }
    ScanSmals2List(fresh, kMailIn, kLetterMask, 0);
    DeleteList(d->list, 1);
    d->list = fresh;
    d->sortState = 0;
    if (!SortLetters(d->list, kFieldDate, SORT_DESCENDING)) {
      DebugLog("TaverneOfflineChatHandleEvents : konnte Liste nicht sortieren...\n");
      return nullptr;
    }
  } else {
    if (!d->list) return nullptr;
    int32_t sorted;
    if (d->sortState == 0) {
      d->sortState = kFieldSubject;
      sorted = SortLetters(d->list, kFieldSubject, SORT_ASCENDING);
    } else if (d->sortState == kFieldSubject) {
      d->sortState = kFieldSender;
      sorted = SortLetters(d->list, kFieldSender, SORT_ASCENDING);
    } else {
      d->sortState = 0;
      sorted = SortLetters(d->list, kFieldDate, SORT_DESCENDING);
    }
    if (!sorted) {
      DebugLog("TaverneOfflineChatHandleEvents : konnte Liste nicht sortieren...\n");
      return nullptr;
    }
  }
  d->selected = kNoEntry;
  d->current = NodeAt(d->list, 0);
  FreeVec(d->lines);
  d->lines = d->list->count ? List2StringArray(d->list, static_cast<uint32_t>(ListFieldOffset(d->list, kFieldLine)), 0)
                            : nullptr;
  if (d->listReq) d->listReq->selected = kNoEntry;
  if (!d->list->count) {
    FreeRequesterBox(d->listReq);
    d->listReq = nullptr;
    FillArea(d, kAreaBox, d->backPen);
    FillArea(d, kAreaSlider, kPenTrack);
    return d->list;
  }
  if (!d->listReq) return MakeListRequester(d) ? d->list : nullptr;
  if (!d->lines || !UpdateRequesterText(d->listReq, d->lines, d->list->count)) {
    DebugLog("TaverneOfflineChatHandleEvents : Konnte Requester nicht initalisieren!\n");
    return nullptr;
  }
  return d->list;
}

// ---- The reader ------------------------------------------------------------

int32_t TaverneOfflineViewMail(TaverneMailData* d, SmalListEntry* node) {
  if (!node) return 1;
  DrawMailHeader(d, 5);
  char date[12] = {};
  std::memcpy(date, node->date_text, 11);
  char line[512];
  char first[512];
  std::snprintf(first, sizeof first, "%s : %-15s %s : %s", GetCatalogStr(kTextSender), node->sender,
                GetCatalogStr(kTextDate), date);
  InfoLine(d, kAreaInfo1, first);
  std::snprintf(line, sizeof line, "%s  : %s", GetCatalogStr(kTextReference), node->subject);
  InfoLine(d, kAreaInfo2, line);
  DebugLog("TaverneOfflineViewMail: %s <%s> <%s>\n", node->path, first, line);
  d->textReq = TextRequester(d, node->text ? node->text : "", nullptr);
  if (!d->textReq) {
    DebugLog("TaverneOfflineViewMail : Konnte Requester nicht initalisieren!\n");
    ShowList(d);
    return 0;
  }
  if (!AddSlider(d, d->textReq)) {
    DebugLog("TaverneOfflineViewMail : Konnte Slider nicht initalisieren!\n");
    FreeRequesterBox(d->textReq);
    d->textReq = nullptr;
    ShowList(d);
    return 0;
  }
  const TextArea* title = d->region ? static_cast<const TextArea*>(d->region->types[LAYOUT_TEXTAREA].first) : nullptr;
  bool done = false;
  KeyScope keys;  // the mail's view: a key held from the list before acts no more
  while (!done && !WindowCloseRequested()) {
    MailTitleBar(d, title);
    const int32_t ev = WaitEvent(WE_TICKS);
    const Gadget* g = HandleGadgetEvent(nullptr, d->region, static_cast<uint32_t>(ev));
    if (!g) continue;
    if (GadgetIs(g, "U000")) {
      MoveSlider(d->textReq, SLIDER_UP);
      ScrollRequester(d->textReq, 0, 0);
    } else if (GadgetIs(g, "D000")) {
      MoveSlider(d->textReq, SLIDER_DOWN);
      ScrollRequester(d->textReq, 0, 0);
    } else if (GadgetIs(g, "S000")) {
      MoveSlider(d->textReq, GetMouseY());
      ScrollRequester(d->textReq, 0, 0);
    } else if (GadgetIs(g, "INF1")) {
      TextBox(GetCatalogStr(kTextHelp));
    } else if (GadgetIs(g, "B003") || GadgetIs(g, "EXIT")) {
      done = true;
    }
  }
  FreeRequesterBox(d->textReq);
  d->textReq = nullptr;
  ShowList(d);
  return 1;
}

// ---- The editor ------------------------------------------------------------

int32_t TaverneOfflineWriteMail(TaverneMailData* d, SmalListEntry* answered) {
  const TextArea* info2 = Area(d, kAreaInfo2);
  const TextArea* box = Area(d, kAreaBox);
  if (!info2 || !box || !d->textFont) {
    DebugLog("TaverneOfflineWriteMail : Konnte Requester nicht initalisieren!\n");
    return 0;
  }
  DrawMailHeader(d, 4);
  char line[512];
  ClearInfoLines(d);
  if (d->headerShown) {
    std::snprintf(line, sizeof line, "%s : %s", GetCatalogStr(kTextSender), GameDataOwnerName());
    InfoLine(d, kAreaInfo1, line);
  }
  char subject[kSubjectSize] = {};
  if (answered) {
    std::snprintf(subject, sizeof subject, "%s", answered->subject);
  } else {
    EingabeBox(subject, sizeof subject, 168, 180, GetCatalogStr(kTextAskSubject), GetCatalogStr(kTextSubjectHelp), 0);
  }
  if (!MailSubjectFilled(subject)) {
    if (!WindowCloseRequested()) Message(kTextNoSubject);
    ShowList(d);
    return 1;
  }
  std::snprintf(line, sizeof line, "%s  : %s", GetCatalogStr(kTextReference), subject);
  InfoLine(d, kAreaInfo2, line);

  d->text = static_cast<char*>(AllocVec(2 * (kMailTextMax + 1), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->text) {
    DebugLog("TaverneOfflineWriteMail : Konnte Speicher nicht allokieren !\n");
    ShowList(d);
    return 1;
  }
  d->widths = reinterpret_cast<uint8_t*>(d->text + kMailTextMax + 1);
  int32_t result = 1;
  d->textReq = TextRequester(d, "", EditorTextHook);
  if (!d->textReq) {
    DebugLog("TaverneOfflineWriteMail : Konnte Requester nicht initalisieren!\n");
    result = 0;
  } else if (!AddSlider(d, d->textReq)) {
    DebugLog("TaverneOfflineWriteMail : Konnte Slider nicht initalisieren!\n");
    result = 0;
  }
  bool sent = false;
  if (result) {
    QoERequester* req = d->textReq;
    req->userData = d;
    d->cursor = SetTextCursor(0, 0, req->lineHeight - 1, 2, d->textPen, req->rp);
    EditKey(0, d->text, d->widths, d->cursor, 0, 0, req->contentWidth, kMailTextMax, kMailTextLines, d->textPen,
            d->backPen);
    ScrollRequester(req, 1, 0);
    const TextArea* title =
        d->region ? static_cast<const TextArea*>(d->region->types[LAYOUT_TEXTAREA].first) : nullptr;
    uint32_t shown_blink = d->cursor->Visible;
    bool done = false;
    KeyScope keys;  // the editor: a key held from the list before types nothing
    while (!done && result && !WindowCloseRequested()) {
      MailTitleBar(d, title);
      const int32_t ev = WaitEvent(WE_TICKS | WE_EXTENDED);
      if (d->cursor->Visible != shown_blink) {  // the cursor blinks inside the box's content
        shown_blink = d->cursor->Visible;
        ScrollRequester(d->textReq, 0, 0);
      }
      const Gadget* g = HandleGadgetEvent(nullptr, d->region, static_cast<uint32_t>(ev));
      if (!g) continue;
      if (GadgetIs(g, "KEY!")) {
        int32_t key = g->keyCode == 13 && !WaitEventExtended() ? 10 : g->keyCode;
        if (WaitEventExtended() && key == 13) key = 10;  // the keypad's Enter
        if (!PreUpdateRequester(d, key)) {
          result = 0;
          break;
        }
        EditKey(key, d->text, d->widths, d->cursor, 0, 0, d->textReq->contentWidth, kMailTextMax, kMailTextLines,
                d->textPen, d->backPen);
        // The box keeps one line beyond the text: it shrinks when lines went.
        const uint32_t want = std::max(VisibleLines(d->textReq), TextLines(d, d->textReq->contentWidth) + 1);
        if (want != d->textReq->lines && !RebuildWriteMailRequester(d, d->textReq->topLine, 0)) {
          result = 0;
          break;
        }
        KeepCursorVisible(d);
        shown_blink = d->cursor->Visible;
      } else if (GadgetIs(g, "INF1")) {
        SetTextCursor(0, 0, 0, 0, 0);
        ScrollRequester(d->textReq, 0, 0);
        TextBox(GetCatalogStr(kTextHelp));
        const uint32_t pos = d->cursor->Pos;
        d->cursor = SetTextCursor(0, 0, d->textReq->lineHeight - 1, 2, d->textPen, d->textReq->rp);
        SetTextCursorPos(d->cursor, pos);
        EditKey(0, d->text, d->widths, d->cursor, 0, 0, d->textReq->contentWidth, kMailTextMax, kMailTextLines,
                d->textPen, d->backPen);
        KeepCursorVisible(d);
      } else if (GadgetIs(g, "U000") || GadgetIs(g, "D000") || GadgetIs(g, "S000")) {
        MoveSlider(d->textReq, GadgetIs(g, "U000") ? static_cast<uint32_t>(SLIDER_UP) : GadgetIs(g, "D000") ? static_cast<uint32_t>(SLIDER_DOWN) : GetMouseY());
        ScrollRequester(d->textReq, 0, 0);
      } else if (GadgetIs(g, "EXIT") || GadgetIs(g, "BU41")) {
        done = true;
      } else if (GadgetIs(g, "B003") || GadgetIs(g, "BU40")) {
        if (!d->text[0]) continue;  // nothing to send: the editor stays
        const char* name = answered ? answered->recipient
                                    : (d->recipientName ? d->recipientName : GetCatalogStr(kTextAllLords));
        if (!CreateSmalMail(name, d->recipientId, subject, d->text)) {
          // The text stays in the editor: nothing typed is lost.
          DebugLog("TaverneOfflineWriteMail : Konnte die Mail nicht anlegen ! \n");
          Message(kTextNotWritten);
          continue;
        }
        SetTextCursor(0, 0, 0, 0, 0);
        ScrollRequester(d->textReq, 0, 0);
        if (QoESystemPtr->Optionen.net_option_bits & NET_SERVER_ROUTE) SendBotschaftPerTCPIP(d);
        Message(kTextWritten);
        sent = true;
        done = true;
      }
    }
  }
  StopTextCursor(d->cursor);
  d->cursor = nullptr;
  FreeRequesterBox(d->textReq);
  d->textReq = nullptr;
  FreeVec(d->text);
  d->text = nullptr;
  d->widths = nullptr;
  if (sent && d->list && TaverneOfflineBuildNewReq(d, 1)) {
    DrawMailHeader(d, 0);
    ClearInfoLines(d);
    if (d->listReq) ScrollRequester(d->listReq, 0, 0);
  } else {
    ShowList(d);
  }
  return result;
}

// ---- The game server -------------------------------------------------------

int32_t SendBotschaftPerTCPIP(TaverneMailData*) {
  const uint16_t count = CountDirEntries(kMailOut);
  if (!count || !Asked(GetCatalogStr(kTextSendQuestion))) return 0;
  DebugLog("SendBotschaftPerTCPIP: Botschaft per TCPIP senden...\n");
  char* names = GetDirBuffer(kMailOut, count);
  if (!names) {
    DebugLog("SendBotschaftPerTCPIP: Konnte Directory-Buffer nicht einlesen\n");
    return 0;
  }
  int32_t sent = 0;
  for (uint32_t i = 0; i < count && !WindowCloseRequested(); ++i) {
    const char* name = names + 80 * i;
    if (std::strlen(name) != std::strlen(kLetterMask) || std::strcmp(name + 11, ".smal") != 0) continue;
    char path[200];
    std::snprintf(path, sizeof path, ".\\Data\\MailOut/%s", name);
    uint32_t size = 0;
    uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(path, 0, &size));
    if (!data || size < kFileRecipientId + 4) {
      DebugLog("SendBotschaftPerTCPIP: Konnte File nicht laden! <%s>\n", path);
      FreeVec(data);
      continue;
    }
    if (!GoOnline()) {
      FreeVec(data);
      sent = 0;
      break;
    }
    PacketCtx ctx{};
    std::snprintf(ctx.Host, sizeof ctx.Host, "%s", QoESystemPtr->Endpoints.GameServer);
    ctx.PlayerId = GetBE32(data + kFileRecipientId);
    ctx.Data = data;
    ctx.Size = size;
    sent = 0;
    bool stop = false;
    if (!SendPacketConnect(&ctx)) {
      DebugLog("SendBotschaftPerTCPIP: Keine Verbindung: %s\n", ctx.Error);
      stop = true;
    } else if (!SendPacketSid(&ctx)) {
      DebugLog("SendBotschaftPerTCPIP: Fehler beim senden der SpielerID aufgetreten\n");
      stop = true;
    } else if (!SendPacketMsg(&ctx)) {
      DebugLog("SendBotschaftPerTCPIP: Fehler beim senden des DatenBuffers aufgetreten\n");
      stop = true;
    } else {
      sent = 1;  // the server acknowledged the letter's data
      if (!SendPacketQuit(&ctx)) {
        DebugLog("SendBotschaftPerTCPIP: Fehler beim dekonnektieren aufgetreten\n");
        stop = true;
      }
    }
    ClosePacketCtx(&ctx);
    FreeVec(data);
    if (sent && !DeleteFileA(path)) DebugLog("SendBotschaftPerTCPIP: Konnte %s nicht loeschen\n", path);
    Auflegen();
    if (stop) break;
  }
  FreeVec(names);
  return sent;
}

int32_t HoleBotschaftPerTCPIP() {
  if (!Asked(GetCatalogStr(kTextFetchQuestion))) return 0;
  DebugLog("HoleBotschaftPerTCPIP: Botschaft per TCPIP holen...\n");
  CreateDir(".\\Data");
  CreateDir(kMailIn);
  PacketCtx ctx{};
  std::snprintf(ctx.Host, sizeof ctx.Host, "%s", QoESystemPtr->Endpoints.GameServer);
  ctx.PlayerId = CheckPrefs(PREFS_PLAYER_ID, 0, 0);
  std::snprintf(ctx.Folder, sizeof ctx.Folder, "%s", ".\\Data\\MailIn/");
  if (!GoOnline()) return 0;
  int32_t ok = 0;
  if (!SendPacketConnect(&ctx)) {
    DebugLog("HoleBotschaftPerTCPIP: Keine Verbindung: %s\n", ctx.Error);
  } else if (!SendPacketSid(&ctx)) {
    DebugLog("HoleBotschaftPerTCPIP: Fehler beim senden der SpielerID aufgetreten\n");
  } else if (!SendPacketMal(&ctx)) {
    DebugLog("HoleBotschaftPerTCPIP: Fehler beim senden des DatenBuffers aufgetreten\n");
  } else if (!SendPacketQuit(&ctx)) {
    DebugLog("HoleBotschaftPerTCPIP: Fehler beim dekonnektieren aufgetreten\n");
  } else {
    ok = 1;
  }
  ClosePacketCtx(&ctx);
  Auflegen();
  return ok;
}

// ---- The window ------------------------------------------------------------

int32_t TaverneOfflineChatInit(TaverneMailData* d) {
  const TextArea* title = static_cast<const TextArea*>(d->region->types[LAYOUT_TEXTAREA].first);
  if (title && d->region->types[LAYOUT_TEXTAREA].count && !d->titleBackground)
    d->titleBackground = SaveBackground(title->x1, title->y1, static_cast<uint32_t>(title->x2 - title->x1 + 1),
                                        static_cast<uint32_t>(title->y2 - title->y1 + 1));
  DrawMailTitle(d, title);
  DrawMailHeader(d, 0);
  ClearInfoLines(d);
  if (QoESystemPtr->Optionen.net_option_bits & NET_SERVER_ROUTE) HoleBotschaftPerTCPIP();
  return 1;
}

int32_t TaverneOfflineChatHandleEvents(TaverneMailData* d) {
  TaverneOfflineChatInit(d);
  d->list = CreateList(LIST_LETTERS);
  if (!d->list) {
    DebugLog("TaverneOfflineChatHandleEvents : kein Speicher für ListHeader vorhanden...\n");
    return 0;
  }
  const uint32_t found = ScanSmals2List(d->list, kMailIn, kLetterMask, 0);
  if (!found) Message(kTextNoMails);
  int32_t ok = SortLetters(d->list, kFieldDate, SORT_DESCENDING);
  if (!ok) DebugLog("TaverneOfflineChatHandleEvents : konnte Liste nicht sortieren...\n");
  DebugLog("--------------------------\n");
  ListNode* n = d->list->first;
  for (uint32_t i = 0; i < d->list->count && n; ++i, n = n->next)
    DebugLog("Datum der Node : %s\n", reinterpret_cast<SmalListEntry*>(n)->date_text);
  d->current = NodeAt(d->list, 0);
  d->selected = kNoEntry;
  if (ok && d->list->count) {
    d->lines = List2StringArray(d->list, static_cast<uint32_t>(ListFieldOffset(d->list, kFieldLine)), 0);
    ok = MakeListRequester(d);
  } else if (ok) {
    FillArea(d, kAreaBox, d->backPen);
    FillArea(d, kAreaSlider, kPenTrack);
  }
  const TextArea* title = static_cast<const TextArea*>(d->region->types[LAYOUT_TEXTAREA].first);
  bool close = false;
  KeyScope keys;
  while (ok && !close && !WindowCloseRequested()) {
    MailTitleBar(d, title);
    const int32_t ev = WaitEvent(WE_TICKS);
    const Gadget* g = HandleGadgetEvent(nullptr, d->region, static_cast<uint32_t>(ev));
    if (!g) continue;
    if (GadgetIs(g, "B000")) {
      if (d->current && !TaverneOfflineViewMail(d, d->current)) close = true;
    } else if (GadgetIs(g, "B001")) {
      d->recipientId = kMailToAll;
      if (!TaverneOfflineWriteMail(d, d->current)) close = true;
    } else if (GadgetIs(g, "B002")) {
      if (d->listReq) {
        SelectRequesterEntry(d->listReq, 1, kNoEntry);
        if (!TaverneOfflineBuildNewReq(d, 0)) close = true;
      }
    } else if (GadgetIs(g, "B003")) {
      if (d->listReq) {
        SelectRequesterEntry(d->listReq, 1, kNoEntry);
        d->selected = kNoEntry;
        d->current = nullptr;
      }
    } else if (GadgetIs(g, "TF01")) {
      if (!d->listReq) continue;
      const uint32_t e = SelectRequesterEntry(d->listReq, 0, GetMouseY(), kPenMarkBack, d->textPen);
      if (e == kNoEntry) continue;
      if (e == d->selected) {
        if (!TaverneOfflineViewMail(d, d->current)) close = true;
      } else {
        d->selected = static_cast<uint16_t>(e);
        d->current = NodeAt(d->list, e);
      }
    } else if (GadgetIs(g, "U000") || GadgetIs(g, "D000") || GadgetIs(g, "S000")) {
      if (!d->listReq) continue;
      MoveSlider(d->listReq, GadgetIs(g, "U000") ? static_cast<uint32_t>(SLIDER_UP) : GadgetIs(g, "D000") ? static_cast<uint32_t>(SLIDER_DOWN) : GetMouseY());
      ScrollRequester(d->listReq, 0, 0);
    } else if (GadgetIs(g, "INF1")) {
      TextBox(GetCatalogStr(kTextHelp));
    } else if (GadgetIs(g, "EXIT")) {
      close = true;
    }
  }
  FreeRequesterBox(d->listReq);
  d->listReq = nullptr;
  FreeVec(d->lines);
  d->lines = nullptr;
  PruneLetters(d->list);
  DeleteList(d->list, 1);
  d->list = nullptr;
  d->current = nullptr;
  return ok ? 1 : 0;
}

int32_t TaverneOfflineChat() {
  auto* d = static_cast<TaverneMailData*>(AllocVec(sizeof(TaverneMailData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) {
    DebugLog("TaverneOfflineChat: Kein Speicher für lokale Variablen!\n");
    return 0;
  }
  d->backPen = kPenParchment;
  d->textPen = 7;
  d->headerShown = 1;
  d->selected = kNoEntry;
  RastPort* rp = ScreenRastPort();
  TextFont* old_font = rp ? rp->Font : nullptr;
  d->region = GetScreenRegion(kMailWindowLayout, kMailWindowLayoutMask);
  if (!d->region || d->region->types[LAYOUT_AREA].count < 5 || !d->region->types[LAYOUT_TEXTAREA].count) {
    DebugLog("TaverneOfflineChat: Kann TitelbarDaten nicht laden!\n");
  } else if (!(d->headingFont = OpenDiskFont("fonts\\ElmorC1.fnt"))) {
    DebugLog("TaverneOfflineChat: Konnte Elmor-Font nicht öffnen!\n");
  } else if (!(d->background = SaveBackground(kMailWindowX, kMailWindowY, kMailWindowWidth, kMailWindowHeight))) {
    DebugLog("TaverneOfflineChat: Kein Speicher für BitMap!\n");
  } else if (!BlitObjekt(nullptr, kMailWindowPicture, kMailWindowX, kMailWindowY, 0, 0)) {
    DebugLog("TaverneOfflineChat: Konnte Grafik %u nicht laden!\n", kMailWindowPicture);
  } else if (!(d->textFont = OpenDiskFont("fonts\\TopaZ.fnt"))) {
    DebugLog("TaverneOfflineChat: Konnte Topaz-Font nicht öffnen!\n");
  } else if (rp) {
    SetFont(rp, d->textFont);
    SetAPen(rp, kPenFontA);
    SetBPen(rp, kPenFontB);
    SetDrMd(rp, 0);
    RestoreMouseGadgets(nullptr, d->region);
    // A set-up that fails closes the window at once: it is not tried again.
    if (!TaverneOfflineChatHandleEvents(d)) DebugLog("TaverneOfflineChat: Fenster konnte nicht aufgebaut werden\n");
  }
  if (d->region) FreeMouseGadgetImages(d->region);
  if (rp && old_font) SetFont(rp, old_font);
  CloseFont(d->textFont);
  CloseFont(d->headingFont);
  FreeBitMap(d->titleBackground);
  if (d->background) RestoreBackground(d->background, kMailWindowX, kMailWindowY, kMailWindowWidth, kMailWindowHeight);
  FreeScreenRegion(d->region);
  FreeVec(d);
  return 0;
}
