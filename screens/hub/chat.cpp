// The tavern's chat room. See chat.h and docs/tavern.md.
#include "chat.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textentry.h"

namespace {

// The chat module's state: the test seam (set by tests before a run, read
// by the game thread).
struct ChatModuleState {
  std::atomic<void (*)(IRCSession*, void*)> hook{nullptr};
  std::atomic<void*> arg{nullptr};
  std::atomic<void (*)(const char*, const char*, void*)> printed{nullptr};
  std::atomic<void*> printedArg{nullptr};
};
ChatModuleState& Module() {
  static ChatModuleState s;
  return s;
}

constexpr uint32_t kWindowPicture = 63, kCoverPicture = 64;
constexpr int32_t kWindowX = 66, kWindowY = 68, kWindowW = 516, kWindowH = 390;
constexpr uint32_t kExitUp = 115, kExitDown = 116, kHelpUp = 147, kHelpDown = 148, kListUp = 62, kListDown = 65;
constexpr int32_t kExitX = 511, kExitY = 389, kHelpX = 532, kHelpY = 366, kListX = 157, kListY = 323;
constexpr uint32_t kTextLogin = 166, kTextHelp = 375, kTextNoNick = 378, kTextFailed = 407, kTextWelcome = 408,
                   kTextTitle = 409, kTextChallenge = 410, kTextPlayer = 411, kTextLeaves = 412, kTextEnters = 413,
                   kTextRegistered = 414, kTextPassword = 415, kTextNewNick = 416, kTextLost = 417;
constexpr uint32_t kPenScreenB = 21, kPenBox = 7;
constexpr int32_t kInputTextX = kChatInputX1 + 1;
constexpr uint32_t kCursorHeight = 11, kCursorWidth = 2;
constexpr uint32_t kNickMax = 39;  // a nickname typed in the chat
constexpr uint32_t kLabelMaxWidth = kChatLogWidth / 4;

// A hit area counts when the mouse lies strictly inside it.
bool Inside(int32_t x, int32_t y, int32_t x1, int32_t x2, int32_t y1, int32_t y2) {
  return x > x1 && x < x2 && y > y1 && y < y2;
}

bool SameName(const char* a, size_t alen, const char* b) {
  const size_t blen = std::strlen(b);
  if (alen != blen) return false;
  for (size_t i = 0; i < alen; ++i)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

// The screen's RastPort under the display mutex for one blit.
void BlitToScreen(const BitMap* bm, int32_t sx, int32_t sy, int32_t x, int32_t y, int32_t w, int32_t h) {
  RastPort* screen = ScreenRastPort();
  if (!screen || !bm) return;
  if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
  BltBitMapRastPort(bm, sx, sy, screen, x, y, w, h);
  if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
  ShowScreenRect(screen, x, y, w, h);
}

void ShowLog(ChatLog* log) {
  if (log && log->toScreen)
    BlitToScreen(log->bitmap, 0, 0, kChatShownX, kChatShownY, kChatShownWidth, kChatShownHeight);
}

// Scrolls the log's shown lines up by n lines (entries are only ever written
// there); the rows that come free are cleared.
void ScrollLog(ChatLog* log, uint32_t n) {
  const int32_t shown = (int32_t)kChatShownHeight, dy = (int32_t)(n * kChatLineHeight);
  SetAPen(log->rp, kChatPenLog);
  if (dy >= shown) {
    RectFill(log->rp, 0, 0, kChatLogWidth - 1, shown - 1);
    return;
  }
  BltBitMap(log->bitmap, 0, dy, log->bitmap, 0, 0, kChatLogWidth, shown - dy);
  RectFill(log->rp, 0, shown - dy, kChatLogWidth - 1, shown - 1);
}

// One visit of the chat room.
struct ChatData {
  IRCSession* s;
  uint8_t fromPanel;     // the panel handed its connection over
  ChatLog* log;
  TextFont* textFont;
  TextFont* titleFont;
  TextFont* oldFont;
  uint32_t line;         // next log line
  char input[kChatInputMax + 1];
  uint8_t widths[kChatInputMax + 1];
  TextCursor* cursor;    // non-null while input is active
  TeilnehmerReq* list;
  char (*names)[IRC_NAME];
  char nick[IRC_NAME];
};

void Edit(ChatData* d, int32_t key) {
  RastPort* rp = ScreenRastPort();
  if (!rp || !d->cursor) return;
  SetFont(rp, d->textFont);
  EditKey(key, d->input, d->widths, d->cursor, kInputTextX, kChatInputY1, kChatWrapWidth, kChatInputMax,
          kChatEntryLines, kChatPenOwn, kChatPenLog);
  ShowScreenRect(rp, kChatInputX1, kChatInputY1, kChatInputX2 - kChatInputX1 + 1, kChatInputY2 - kChatInputY1 + 1);
}

void ActivateInput(ChatData* d) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  SetFont(rp, d->textFont);
  uint32_t lines = 0;
  TextPixelWidthLines(d->input, d->widths, kChatWrapWidth, &lines);
  const uint32_t line = lines ? lines - 1 : 0;
  d->cursor = SetTextCursor(kInputTextX + (int32_t)ChatCursorEndX(d->widths, kChatWrapWidth),
                            kChatInputY1 + (int32_t)(line * kChatLineHeight), kCursorHeight, kCursorWidth, kChatPenOwn,
                            rp);
  Edit(d, 0);
}

void HideCursor(ChatData* d) {
  if (!d->cursor) return;
  StopTextCursor(d->cursor);
  d->cursor = nullptr;
  RastPort* rp = ScreenRastPort();
  if (rp) ShowScreenRect(rp, kChatInputX1, kChatInputY1, kChatInputX2 - kChatInputX1 + 1, kChatInputY2 - kChatInputY1 + 1);
}

// Enter: the own entry (the input box's picture) in the log, the line to
// the channel; "/ME" lines go as actions (SendIRC makes them). The input
// starts empty again.
void SendInput(ChatData* d) {
  if (!d->input[0]) return;
  uint32_t lines = 0;
  TextPixelWidthLines(d->input, d->widths, kChatWrapWidth, &lines);
  if (lines > kChatEntryLines) lines = kChatEntryLines;
  StopTextCursor(d->cursor);  // not in the picture of the box
  d->line = ChatPrintLine(d->log, d->nick, nullptr, d->line, lines ? lines - 1 : 0, kChatPenOwn);
  if (!SendIRC(d->s, d->input, nullptr, IRC_SEND_CHANNEL)) DebugLog("TaverneOnlineChat: Zeile nicht gesendet\n");
  std::memset(d->input, 0, sizeof d->input);
  std::memset(d->widths, 0, sizeof d->widths);
  d->cursor = nullptr;
  ActivateInput(d);
}

void CompleteNick(ChatData* d) {
  char (*names)[IRC_NAME] = d->names;
  const uint32_t n = IRCCopyNames(d->s, names, IRC_MAX_NAMES);
  char add[IRC_NAME];
  const uint32_t k = ChatCompleteNick(d->input, names, n, add, sizeof add);
  for (uint32_t i = 0; i < k; ++i) Edit(d, (uint8_t)add[i]);
}

void CloseList(ChatData* d) {
  TeilnehmerReqClose(d->list);
  d->list = nullptr;
  BlitObjekt(nullptr, kListUp, kListX, kListY, 43, 41);
  d->log->toScreen = 1;
  ShowLog(d->log);
}

// The window of the room: graphic 63, the title and the buttons.
void DrawWindow(ChatData* d) {
  RastPort* rp = ScreenRastPort();
  BlitObjekt(nullptr, kWindowPicture, kWindowX, kWindowY, kWindowW, kWindowH);
  BlitObjekt(nullptr, kExitUp, kExitX, kExitY, 43, 41);
  BlitObjekt(nullptr, kHelpUp, kHelpX, kHelpY, 22, 20);
  BlitObjekt(nullptr, kListUp, kListX, kListY, 43, 41);
  if (rp) {
    SetFont(rp, d->titleFont);
    PrintTextOutlined(rp, 223, 70, 413, 92, GetCatalogStr(kTextTitle), 0, kChatPenReceived,
                      PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
    SetFont(rp, d->textFont);
    ShowScreenRect(rp, kWindowX, kWindowY, kWindowW, kWindowH);
  }
  ShowLog(d->log);
}

void EndMessage(uint32_t text) {
  DebugLog("TaverneOnlineChat: Meldung %u\n", text);
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(text), kPenBox);
}

}  // namespace

ChatLog* NewChatLog(TextFont* font, uint32_t to_screen) {
  RastPort* screen = ScreenRastPort();
  const BitMap* friend_bm = screen ? screen->Bitmap : nullptr;
  auto* log = static_cast<ChatLog*>(AllocVec(sizeof(ChatLog), MEMF_PUBLIC | MEMF_CLEAR));
  if (!log) return nullptr;
  log->bitmap = AllocBitMap(kChatLogWidth, kChatLogHeight, friend_bm ? friend_bm->Depth : 8, 0, friend_bm);
  if (!log->bitmap) {
    DebugLog("TaverneOnlineChat : Konnte Speicher für Layer nicht allokieren !\n");
    FreeVec(log);
    return nullptr;
  }
  log->rp = ScreenMakeClipRP(log->bitmap);
  if (!log->rp) {
    DebugLog("TaverneOnlineChat : Konnte Speicher für RastPort nicht allokieren !\n");
    FreeBitMap(log->bitmap);
    FreeVec(log);
    return nullptr;
  }
  SetFont(log->rp, font);
  SetAPen(log->rp, kChatPenLog);
  RectFill(log->rp, 0, 0, kChatLogWidth - 1, kChatLogHeight - 1);
  SetDrMd(log->rp, 0);
  log->toScreen = to_screen;
  return log;
}

void FreeChatLog(ChatLog* log) {
  if (!log) return;
  FreeVec(log->rp);
  FreeBitMap(log->bitmap);
  FreeVec(log);
}

uint32_t ChatCursorEndX(const uint8_t* widths, uint32_t width) {
  uint32_t x = 0;
  if (!widths) return 0;
  for (uint32_t i = 0; i < kChatInputMax && widths[i]; ++i) {
    if (x + widths[i] > width) x = 0;
    x += widths[i];
  }
  return x;
}

uint32_t ChatPrintLine(ChatLog* log, const char* label, const char* text, uint32_t line, uint32_t input_lines,
                       uint32_t pen) {
  if (!log) return line;
  if (auto hook = Module().printed.load()) hook(label, text, Module().printedArg.load());
  SfxPlayer000(kChatSfx, 0, 0);
  RastPort* rp = log->rp;
  if (!label) label = "";
  if (input_lines >= kChatEntryLines) input_lines = kChatEntryLines - 1;
  if (line > kChatShownLines) line = kChatShownLines;
  // The text starts behind its label (at x 26 at the least); a label wider
  // than a quarter of the log stands on a line of its own.
  const uint32_t label_w = TextLength(rp, label, (uint32_t)std::strlen(label));
  const uint32_t label_line = label_w + 4 > kLabelMaxWidth ? 1 : 0;
  const int32_t tx = label_line || label_w + 4 <= (uint32_t)kChatTextX ? kChatTextX : (int32_t)label_w + 4;
  const uint32_t wrap = kChatWrapWidth - (uint32_t)(tx - kChatTextX);
  if (text) input_lines = CountWrappedLines(rp, text, 0, 0, 65535, kChatEntryLines, wrap);
  const uint32_t need = label_line + input_lines + 1;
  if (line + need > kChatShownLines) {
    ScrollLog(log, line + need - kChatShownLines);
    line = kChatShownLines - need;
  }
  const int32_t y = (int32_t)(line * kChatLineHeight);
  SetAPen(rp, kChatPenLog);
  RectFill(rp, 0, y, kChatLogWidth - 1, y + (int32_t)(need * kChatLineHeight) - 1);
  PrintTextOutlined(rp, 0, y, tx, y + (int32_t)kChatLineHeight - 1, label, kChatPenLog, pen, PTO_BASELINE);
  const int32_t ty = y + (int32_t)(label_line * kChatLineHeight);
  if (text) {
    SetAPen(rp, pen);
    SetDrMd(rp, 0);
    PrintTextWrapped(rp, text, tx, ty, 65535, input_lines + 1, wrap);
  } else if (RastPort* screen = ScreenRastPort()) {
    if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
    BltBitMap(screen->Bitmap, kInputTextX, kChatInputY1, log->bitmap, tx, ty, (int32_t)wrap,
              (int32_t)((input_lines + 1) * kChatLineHeight));
    if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
  }
  ShowLog(log);
  return line + need;
}

uint32_t ChatShowReceived(IRCSession* s, ChatLog* log, const char* block, uint32_t length, uint32_t line) {
  if (!s || !log || !block) return line;
  char text[IRC_MAX_LINE + 1];
  char nick[IRC_NAME];
  for (uint32_t i = 0; i < length;) {
    const char* l = block + i;
    const size_t n = strnlen(l, length - i);
    i += (uint32_t)n + 1;
    if (n >= 4 && std::memcmp(l, "Time", 4) == 0) continue;
    if (IrcChannelText(s->Channel, l, n, nick, sizeof nick, text, sizeof text)) {
      line = ChatPrintLine(log, nick, text, line, 0, kChatPenReceived);
      continue;
    }
    IrcMessage m{};
    if (!IrcParseLine(l, n, &m) || !m.prefix || !m.nick_len) continue;
    const bool join = m.command_len == 4 && std::strncmp(m.command, "JOIN", 4) == 0;
    const bool part = m.command_len == 4 && std::strncmp(m.command, "PART", 4) == 0;
    const bool kick = m.command_len == 4 && std::strncmp(m.command, "KICK", 4) == 0;
    const bool quit = m.command_len == 4 && std::strncmp(m.command, "QUIT", 4) == 0;
    if (!join && !part && !kick && !quit) continue;
    if (!quit && (m.count < 1 || !SameName(m.param[0], m.param_len[0], s->Channel))) continue;
    const char* who = m.prefix;
    size_t who_len = m.nick_len;
    if (kick) {
      if (m.count < 2) continue;
      who = m.param[1];
      who_len = m.param_len[1];
    }
    if (who_len > IRC_NAME - 1) who_len = IRC_NAME - 1;
    std::memcpy(nick, who, who_len);
    nick[who_len] = 0;
    if (join && SameName(nick, who_len, s->Nick)) continue;  // our own arrival
    std::snprintf(text, sizeof text, "%s %s %s", GetCatalogStr(kTextPlayer), nick,
                  GetCatalogStr(join ? kTextEnters : kTextLeaves));
    line = ChatPrintLine(log, join ? "<-----" : "----->", text, line, 0, kChatPenReceived);
    s->Status &= (uint16_t)~(join ? IRC_STATUS_JOINED : IRC_STATUS_LEFT);
  }
  return line;
}

uint32_t ChatCompleteNick(const char* typed, const char (*names)[80], uint32_t count, char* out, uint32_t size) {
  if (!typed || !names || !out || size == 0) return 0;
  out[0] = 0;
  const char* word = std::strrchr(typed, ' ');
  word = word ? word + 1 : typed;
  const size_t wl = std::strlen(word);
  if (wl == 0) return 0;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t nl = strnlen(names[i], 80);
    if (nl <= wl || nl >= 80) continue;
    bool match = true;
    for (size_t k = 0; k < wl && match; ++k)
      match = std::tolower((unsigned char)names[i][k]) == std::tolower((unsigned char)word[k]);
    if (!match) continue;
    uint32_t n = (uint32_t)(nl - wl);
    if (n > size - 1) n = size - 1;
    std::memcpy(out, names[i] + wl, n);
    out[n] = 0;
    return n;
  }
  return 0;
}

int32_t NickServIdentify(IRCSession* s) {
  if (!s) return 0;
  const uint16_t st = s->Status.load();
  if (st & IRC_STATUS_FAILED) {
    char message[600];
    std::snprintf(message, sizeof message, "%s %s", GetCatalogStr(kTextLost), s->Error);
    DebugLog("TaverneOnlineChat: Meldung %u: %s\n", kTextLost, s->Error);
    s->Status &= (uint16_t)~IRC_STATUS_FAILED;
    ChiefMessage(66, 168, 180, 0, 0, 0, 0, message, kPenBox);
    return 0;
  }
  if (!(st & IRC_STATUS_NICK_TAKEN)) return 1;
  s->Status &= (uint16_t)~IRC_STATUS_NICK_TAKEN;
  if (ChiefMessage(66, 168, 180, 0, 0, 0, 1, GetCatalogStr(kTextRegistered), kPenBox) == 0) {
    char password[kEingabeMaxChars + 1] = {};
    if (!EingabeBox(password, sizeof password, 168, 180, GetCatalogStr(kTextPassword), GetCatalogStr(374), 0)) {
      EndMessage(kTextNoNick);
      return 0;
    }
    char line[kEingabeMaxChars + 16];
    std::snprintf(line, sizeof line, "IDENTIFY %s", password);
    SendIRC(s, line, "NICKSERV", IRC_SEND_PRIVATE);  // never logged: it holds the password
    std::memset(line, 0, sizeof line);
    std::memset(password, 0, sizeof password);
    return 1;
  }
  char nick[kNickMax + 1] = {};
  if (!EingabeBox(nick, sizeof nick, 168, 180, GetCatalogStr(kTextNewNick), GetCatalogStr(374), EINGABE_ALNUM)) {
    EndMessage(kTextNoNick);
    return 0;
  }
  std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "%s", nick);
  DebugLog("TaverneOnlineChat: neuer Name %s\n", nick);
  SendIRC(s, nullptr, nick, IRC_SEND_NICK);
  return 1;
}

int32_t TaverneWaitEventIRC(IRCSession* s, uint32_t flags) {
  const int32_t ev = WaitEvent(flags);
  // One wake-up stands for every line waiting: all of them are taken. A
  // tick takes them too, should a box of the room have eaten the wake-up.
  if ((ev == WE_APP || ev == WE_TICK) && s) IRCTakeAll(s);
  return ev;
}

void SetChatLoopHook(void (*hook)(IRCSession*, void*), void* arg) {
  Module().arg.store(arg);
  Module().hook.store(hook);
}

void SetChatPrintHook(void (*hook)(const char* label, const char* text, void* arg), void* arg) {
  Module().printedArg.store(arg);
  Module().printed.store(hook);
}

int32_t TaverneOnlineChat(const char* channel, const char* nickname) {
  ChatData* d = static_cast<ChatData*>(AllocVec(sizeof(ChatData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) return 0;
  std::snprintf(d->nick, sizeof d->nick, "%s", nickname ? nickname : "");
  RastPort* screen = ScreenRastPort();
  d->oldFont = screen ? screen->Font : nullptr;
  bool sfx = false;
  int32_t result = 1;
  auto leave = [&]() {
    HideCursor(d);
    if (d->list) TeilnehmerReqClose(d->list);
    if (d->s) {
      if (d->fromPanel) IRCPanelControl(4);
      else ExitIRC(d->s);
    }
    FreeVec(d->names);
    FreeChatLog(d->log);
    if (sfx) CloseElmorSfx000(kChatSfx);
    if (RastPort* rp = ScreenRastPort()) {
      if (d->oldFont) SetFont(rp, d->oldFont);
    }
    CloseFont(d->titleFont);
    CloseFont(d->textFont);
    FreeVec(d);
    return result;
  };
  d->textFont = OpenDiskFont(".\\Fonts\\XHelvetica11.fnt");
  d->titleFont = OpenDiskFont(".\\Fonts\\ElmorC1.fnt");
  if (!d->textFont || !d->titleFont || !screen) {
    DebugLog("TaverneOnlineChat : Konnte Elmor-Font nicht öffnen !\n");
    result = 0;
    return leave();
  }
  sfx = OpenElmorSfx(".\\Data\\SfxPath", kChatSfx) == 1;
  if (!sfx) {
    DebugLog("TaverneOnlineChat : Konnte Sfx nicht laden!\n");
    result = 0;
    return leave();
  }
  SetAPen(screen, kChatPenReceived);
  SetBPen(screen, kPenScreenB);
  SetDrMd(screen, 0);
  SetFont(screen, d->titleFont);
  d->names = static_cast<char(*)[IRC_NAME]>(AllocVec((size_t)IRC_MAX_NAMES * IRC_NAME, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->names) {
    DebugLog("TaverneOnlineChat : Konnte Speicher für IRC-Text nicht allokieren !\n");
    result = 0;
    return leave();
  }
  d->log = NewChatLog(d->textFont, 1);
  if (!d->log) {
    result = 0;
    return leave();
  }
  auto* box = reinterpret_cast<ChiefMessageBox*>(
      ChiefMessage(66, 168, 180, 0, 0, 0, 2, GetCatalogStr(kTextLogin), kPenBox));
  if (QoESystemPtr->Optionen.net_option_bits & NET_IRC_PANEL) {
    QoESystemPtr->Status |= SYSSTATUS_ONLINE;
    d->s = IRCPanelControl(3);
    d->fromPanel = d->s ? 1 : 0;
    if (d->s) {
      std::snprintf(d->nick, sizeof d->nick, "%s", d->s->Nick);
      DebugLog("TaverneOnlineChat: Verbindung des IRC-Panels übernommen\n");
    }
  }
  if (!d->s) d->s = InitIRC(QoESystemPtr->Endpoints.IrcServer, channel, d->nick, 1);
  if (!d->s || d->s->Socket.load() < 0) {
    DebugLog("TaverneOnlineChat: Anmeldung fehlgeschlagen: %s\n", d->s ? d->s->Error : "kein Speicher");
    if (box) {
      SetChiefMessageText(box, GetCatalogStr(kTextFailed));
      ChiefMessageLoop(box);
      CloseChiefMessage(box);
    } else {
      EndMessage(kTextFailed);
    }
    result = 0;
    return leave();
  }
  if (box) {
    SetChiefMessageText(box, GetCatalogStr(kTextWelcome));
    CloseChiefMessage(box);
  }
  DrawWindow(d);
  bool done = false;
  while (!done && !WindowCloseRequested()) {
    if (auto hook = Module().hook.load()) hook(d->s, Module().arg.load());
    // Ticks let the room notice a broken connection without input.
    const int32_t ev = TaverneWaitEventIRC(d->s, WE_EXTENDED | WE_TICKS);
    if (WindowCloseRequested()) break;
    const int32_t mx = GetMouseX(), my = GetMouseY();
    const bool extended = WaitEventExtended() != 0;
    if (ev == WE_KEY_ESCAPE && !extended) {
      if (d->list) {
        CloseList(d);
        if (d->cursor) Edit(d, 0);
      } else {
        BlitObjekt(nullptr, kExitDown, kExitX, kExitY, 43, 41);
        done = true;
      }
      continue;
    }
    if (ev == WE_LEFT_DOWN) {
      if (d->list) {
        const int32_t r = TeilnehmerReqLoop(d->list, (uint32_t)my);
        if (r == TEILNEHMER_CLOSED) CloseList(d);
        else if (r == TEILNEHMER_CHALLENGE) EndMessage(kTextChallenge);
        else if (r == TEILNEHMER_SELECTED) DebugLog("TaverneOnlineChat: Teilnehmer %u\n", (uint32_t)d->list->selected);
      } else if (Inside(mx, my, 517, 553, 391, 430)) {
        BlitObjekt(nullptr, kExitDown, kExitX, kExitY, 43, 41);
        done = true;
      } else if (Inside(mx, my, 82, 489, 373, 432)) {
        if (!d->cursor) ActivateInput(d);
      } else if (Inside(mx, my, 532, 552, 366, 383)) {
        BlitObjekt(nullptr, kHelpDown, kHelpX, kHelpY, 22, 20);
        const int32_t shown = TextBox(GetCatalogStr(kTextHelp));
        BlitObjekt(nullptr, kHelpUp, kHelpX, kHelpY, 22, 20);
        if (!shown) done = true;
      } else if (Inside(mx, my, 158, 199, 324, 364)) {
        const uint32_t n = IRCCopyNames(d->s, d->names, IRC_MAX_NAMES);
        d->log->toScreen = 0;  // the list stands over the log
        BlitObjekt(nullptr, kListDown, kListX, kListY, 43, 41);
        d->list = TeilnehmerReq_Open(160, 47, n, &d->names[0][0]);
        if (!d->list) {
          d->log->toScreen = 1;
          done = true;
        }
      }
    }
    if (d->s->Status.load() & (IRC_STATUS_FAILED | IRC_STATUS_NICK_TAKEN)) {
      if (!NickServIdentify(d->s)) {
        BlitObjekt(nullptr, kExitDown, kExitX, kExitY, 43, 41);
        done = true;
        continue;
      }
    }
    if ((ev == WE_APP || ev == WE_TICK) && d->s->Lines && d->s->LinesLength)
      d->line = ChatShowReceived(d->s, d->log, d->s->Lines, d->s->LinesLength, d->line);
    if (ev > 0 && ev < 256 && d->cursor) {
      if (extended) Edit(d, ev + 256);
      else if (ev == 13) SendInput(d);
      else if (ev == 9) CompleteNick(d);
      else Edit(d, ev);
    }
  }
  BlitObjekt(nullptr, kCoverPicture, kWindowX, kWindowY, kWindowW, kWindowH);
  return leave();
}
