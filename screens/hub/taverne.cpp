// The tavern. See taverne.h and docs/tavern.md.
#include "taverne.h"

#include <cstdio>
#include <cstring>

#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/input.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/common/lettermail.h"
#include "screens/common/screenbase.h"
#include "screens/hub/chat.h"
#include "screens/hub/credits.h"
#include "screens/hub/runestone.h"

namespace {

constexpr uint32_t kPicture = 59, kSfxEnter = 4, kSfxAmbient = 2, kSfxChat = 3, kSfxRunes = 5;
constexpr int32_t kTown = 39, kStore = 61;
constexpr uint32_t kTextOffline = 12, kTextOnline = 13, kTextGoOnline = 434, kTextGoOffline = 435,
                   kTextChatAsk = 436, kTextNickname = 416, kTextNicknameHelp = 374, kTextNoNickname = 378,
                   kTextSlideTexts = 433, kTextChatOffline = 1592, kTextNotPossible = 16;
constexpr uint32_t kPen = 7, kNickMax = 40;  // 39 characters and the 0
constexpr uint32_t kFirstAmbient = 10;

// The tavern's state record: the hooks (set by tests between visits) and
// which sounds a visit holds. Game thread only.
struct TaverneModuleState {
  TaverneHooks hooks;
  uint8_t sfxOpen[3];  // 2, 3, 5
};
TaverneModuleState g_taverne;

int32_t OnlineChat(const char* channel, const char* nick) {
  return g_taverne.hooks.onlineChat ? g_taverne.hooks.onlineChat(channel, nick) : TaverneOnlineChat(channel, nick);
}
int32_t OfflineChat() { return g_taverne.hooks.offlineChat ? g_taverne.hooks.offlineChat() : TaverneOfflineChat(); }
int32_t RuneStone() { return g_taverne.hooks.runeStone ? g_taverne.hooks.runeStone() : RuneStoneScreen(); }
int32_t Slides(uint32_t with_texts) {
  return g_taverne.hooks.slideShow ? g_taverne.hooks.slideShow(with_texts) : SlideShow(with_texts);
}
int32_t SfxIdle(uint32_t id) { return g_taverne.hooks.sfxIdle ? g_taverne.hooks.sfxIdle(id) : IsSfxPlaying(id); }

bool Online() { return (QoESystemPtr->Status.load() & SYSSTATUS_ONLINE) != 0; }

// A message (mode 0) or a yes/no question (mode 1: true for yes).
bool Box(uint32_t mode, uint32_t text) {
  DebugLog("TaverneScreen: Box %u\n", text);
  return ChiefMessage(66, 168, 180, 0, 0, 0, mode, GetCatalogStr(text), kPen) == 0;
}

// The network gadget's title (the first text area) after the online bit.
void SetNetworkTitle(ScreenRegion* region) {
  const ScreenRecordList& texts = region->types[LAYOUT_TEXTAREA];
  if (!texts.count) return;
  auto* first = static_cast<TextArea*>(texts.first);
  first->textId = TaverneNetworkTitle();
  first->text = GetCatalogStr(first->textId);
  ResetTitleBar();  // the bar shows the new title when the mouse is there
}

// The chat room, once the player is online and has a nickname.
void ChatChoice() {
  if (!Online()) {
    DebugLog("TaverneScreen: Chat offline gew\xE4hlt\n");
    Box(0, kTextChatOffline);
    return;
  }
  if (!OwnPlayerPtr->LordName[0]) {
    if (!Box(1, kTextChatAsk)) return;
    char nick[kNickMax] = "";
    if (!EingabeBox(nick, sizeof nick, 168, 180, GetCatalogStr(kTextNickname), GetCatalogStr(kTextNicknameHelp), 0)) {
      Box(0, kTextNoNickname);
      return;
    }
    std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "%s", nick);
    DebugLog("TaverneScreen: neuer Name %s\n", nick);
  }
  OnlineChat("#Quill", OwnPlayerPtr->LordName);
}

void MailChoice() {
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) != ACCOUNT_INSTALLED) {
    DebugLog("TaverneScreen: Mail-Editor nur mit installiertem Spiel\n");
    Box(0, kTextNotPossible);
    return;
  }
  OfflineChat();
}

// The slide show between closing and reopening the tavern picture; its
// result (0: back in the tavern).
int32_t SlideChoice(ScreenBase* base) {
  const uint32_t with_texts = Box(1, kTextSlideTexts) ? 1 : 0;
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  PlayCDTrack1(o.cd_device, o.cd_unit, 4, 4);
  WaitTransition();
  CloseElmorPic(kPicture, 1);
  base->pictureId = 0;
  const int32_t result = Slides(with_texts);
  DebugLog("TaverneScreen: Diashow (Texte %u) ergab %d\n", with_texts, result);
  if (OpenElmorPic(".\\Data\\Path", kPicture, 0) == -1) {
    DebugLog("TaverneScreen: Kann Hintergrund nicht laden!\n");
    return kTown;
  }
  base->pictureId = kPicture;
  if (base->region) RestoreMouseGadgets(nullptr, base->region);
  PlayCDTrack1(o.cd_device, o.cd_unit, 2, 3);
  return result;
}

void NetworkChoice(ScreenRegion* region) {
  if (QoESystemPtr->TcpIpStack == 4) return;  // a permanent connection: nothing to switch
  if (Online()) {
    if (Box(1, kTextGoOffline) && Auflegen() == 1) SetNetworkTitle(region);
  } else {
    if (Box(1, kTextGoOnline) && GoOnline() == 1) SetNetworkTitle(region);
  }
}

}  // namespace

void SetTaverneHooks(const TaverneHooks* hooks) { g_taverne.hooks = hooks ? *hooks : TaverneHooks{}; }

uint32_t TaverneNetworkTitle() { return Online() ? kTextOnline : kTextOffline; }

int32_t LoadTaverneScreenSfx() {
  const char* path = ".\\Data\\SfxPath";
  std::memset(g_taverne.sfxOpen, 0, sizeof g_taverne.sfxOpen);
  if (OpenElmorSfx(path, kSfxEnter) != 1) return 0;
  SfxPlayer000(kSfxEnter, 0, 0);
  const uint32_t ids[3] = {kSfxAmbient, kSfxChat, kSfxRunes};
  bool all = true;
  for (uint32_t i = 0; i < 3 && all; ++i) all = (g_taverne.sfxOpen[i] = OpenElmorSfx(path, ids[i]) == 1) != 0;
  const uint32_t limit = g_taverne.hooks.sfxWaitMs ? g_taverne.hooks.sfxWaitMs : kTaverneSfxWaitMs;
  uint32_t waited = 0;
  while (SfxIdle(kSfxEnter) == 0 && waited < limit) {
    SleepMs(1);
    ++waited;
  }
  if (SfxIdle(kSfxEnter) == 0) {
    DebugLog("LoadTaverneScreenSfx: Sound 4 spielt nach %u ms noch, wird angehalten\n", waited);
    StopSfx(kSfxEnter);
  }
  CloseElmorSfx000(kSfxEnter);
  if (!all) CloseTaverneScreenSfx();
  return all ? 1 : 0;
}

void CloseTaverneScreenSfx() {
  const uint32_t ids[3] = {kSfxAmbient, kSfxChat, kSfxRunes};
  for (int i = 2; i >= 0; --i)
    if (g_taverne.sfxOpen[i]) {
      CloseElmorSfx000(ids[i]);
      g_taverne.sfxOpen[i] = 0;
    }
}

int32_t TaverneScreen(int32_t) {
  ScreenBase base{};
  bool sfx = false;
  auto finish = [&](int32_t next) {
    if (sfx) CloseTaverneScreenSfx();
    CloseScreenBase(&base, next == -1 ? 0 : next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return finish(-1);
  };
  if (!OpenScreenPicture(&base, kPicture, 1)) return fail(SCREEN_STEP_PICTURE, "TaverneScreen: Kann Hintergrund nicht laden!\n");
  if (!OpenScreenLayout(&base, ".\\Data\\ScreenDat\\Taverne.dat", 3))
    return fail(SCREEN_STEP_LAYOUT, "TaverneScreen: Kann TitelbarDaten nicht laden!\n");
  SetNetworkTitle(base.region);
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  const uint32_t music = Zufall(2);
  if (music < 2) PlayCDTrack1(o.cd_device, o.cd_unit, music == 0 ? 8 : 3, music == 0 ? 8 : 3);
  sfx = LoadTaverneScreenSfx() == 1;
  if (!sfx) return fail(SCREEN_STEP_SOUNDS, "TaverneScreen: Konnte SFX nicht laden!\n");
  if (!OpenScreenFont(&base, ".\\Fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "TaverneScreen: Konnte Font nicht laden!\n");
  ShowScreenBase(&base);

  int32_t next = -1;
  uint32_t ticks = 0, period = kFirstAmbient;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, 6, &event);
    if (event == WE_TICK && ++ticks >= period) {
      ticks = 0;
      period = (Zufall(5) + 1) * 20;
      SfxPlayer000(kSfxAmbient, 0, 0);
    }
    if (!g) continue;
    if (GadgetIs(g, "CHAT")) {
      SfxPlayer000(kSfxChat, 0, 0);
      // The chat room (1844) or the letter window (1804).
      char choices[2][80] = {};
      CopyIntoField(choices[0], sizeof choices[0], GetCatalogStr(1844));
      CopyIntoField(choices[1], sizeof choices[1], GetCatalogStr(1804));
      const uint32_t pick = SwitchBox(2, choices[0]);
      DebugLog("TaverneScreen: Wahl %u\n", pick);
      if (pick == 1) ChatChoice();
      else if (pick == 2) MailChoice();
    } else if (GadgetIs(g, "WUER")) {
      SfxPlayer000(kSfxRunes, 0, 0);
      RuneStone();
    } else if (GadgetIs(g, "TEST")) {
      const int32_t result = SlideChoice(&base);
      if (result != 0) next = result;
    } else if (GadgetIs(g, "STOR")) {
      next = kStore;
    } else if (GadgetIs(g, "NETW")) {
      NetworkChoice(base.region);
    } else if (GadgetIs(g, "TOWN")) {
      if (Online() && Auflegen() == 1) SetNetworkTitle(base.region);
      next = kTown;
    } else if (GadgetIs(g, "EXIT")) {
      next = kTown;
    }
  } while (ScreenBaseStays(&next, kTown));
  return finish(next);
}
