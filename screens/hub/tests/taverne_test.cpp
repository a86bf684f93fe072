// The tavern by headless script: every gadget, the chat's conditions (offline,
// no nickname, the nickname asked and cancelled), the mail editor's account
// state, the slide show between closing and reopening the picture, the
// network gadget's title, the ways out, the ambient sound on its counter and
// the entrance sound's bounded wait. The chat room, the letters, the rune
// stones and the slide show are the tavern's hooks here.
#include "screens/hub/taverne.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/input.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/hub/tests/savegame_support.h"
#include "routinen/system/catalog.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// What the hooks saw (game thread; read after the run).
struct Seen {
  std::vector<std::string> chats;
  int letters = 0, runes = 0, slides = 0;
  uint32_t slideFlag = 99;
  uint32_t pictureInSlides = 99, pictureAfter = 99;
  int32_t slideResult = 0;
  std::vector<uint32_t> plays;
  bool soundPlaying = false;
};
Seen g_seen;

TaverneHooks Hooks() {
  TaverneHooks h{};
  h.onlineChat = [](const char* channel, const char* nick) {
    g_seen.chats.push_back(std::string(channel) + " " + nick);
    return 1;
  };
  h.offlineChat = [] { return ++g_seen.letters, 0; };
  h.runeStone = [] {
    g_seen.pictureAfter = ElmorGfxOpenCount(59);
    return ++g_seen.runes, 1;
  };
  h.slideShow = [](uint32_t flag) {
    g_seen.slideFlag = flag;
    g_seen.pictureInSlides = ElmorGfxOpenCount(59);
    ++g_seen.slides;
    return g_seen.slideResult;
  };
  h.sfxIdle = [](uint32_t id) { return g_seen.soundPlaying && id == 4 ? 0 : 1; };
  return h;
}

const char kYes[] = "key enter\n", kNo[] = "key esc\n", kOk[] = "key enter\n";

class TaverneRun : public ::testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Taverne.dat");
    savegame_test::PrepareTitleFolder();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    QoESystemPtr->TcpIpStack = 1;  // a dial-up stack: on- and offline switch
    QoESystemPtr->Status.fetch_and(~SYSSTATUS_ONLINE);
    g_seen = Seen{};
    const TaverneHooks h = Hooks();
    SetTaverneHooks(&h);
    SetSfxRecordHook([](uint32_t call, uint32_t id) {
      if (call == SFX_CALL_PLAY) g_seen.plays.push_back(id);
    });
  }
  void TearDown() override {
    SetSfxRecordHook(nullptr);
    SetTaverneHooks(nullptr);
    QoESystemPtr->Status.fetch_and(~SYSSTATUS_ONLINE);
    QoESystemPtr->TcpIpStack = 0;
    savegame_test::CloseScreenTestDisplay();
  }
  static int32_t Run(const std::string& script) {
    return savegame_test::RunScreen(
        [](int32_t code) {
          ZufallSeed(4711);
          return TaverneScreen(code);
        },
        39, script);
  }
  static std::string Click(int x, int y) { return qoe_test::ClickLine(x, y); }
  static std::string Chat() { return Click(292, 347); }
  static std::string Runes() { return Click(514, 220); }
  static std::string Slides() { return Click(248, 91); }
  static std::string Store() { return Click(100, 420); }
  static std::string Network() { return Click(560, 400); }
  static std::string Town() { return Click(80, 260); }
  static std::string Exit() { return Click(80, 125); }
  // The switch box's two buttons: the chat room and the letters.
  static std::string PickChat() { return Click(320, 229); }
  static std::string PickLetters() { return Click(320, 251); }
  static bool Online() { return (QoESystemPtr->Status.load() & SYSSTATUS_ONLINE) != 0; }
};

TEST_F(TaverneRun, TheChatOfflineAsksToGoOnlineFirst) {
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Chat() + PickChat() + "wait 200\npng tavern_chat_offline.png\n" + kOk + Exit()), 39);
  EXPECT_TRUE(qoe_test::KeepPng("tavern_chat_offline.png"));
  EXPECT_TRUE(log.Has("TaverneScreen: Box 1592"));
  EXPECT_TRUE(g_seen.chats.empty());
  EXPECT_EQ(std::count(g_seen.plays.begin(), g_seen.plays.end(), 3u), 1);  // the mugs of the chat gadget
}

TEST_F(TaverneRun, TheChatAsksANicknameFirst) {
  QoESystemPtr->Status.fetch_or(SYSSTATUS_ONLINE);
  OwnPlayerPtr->LordName[0] = 0;
  qoe_test::LogLines log;
  // No: back in the tavern without chat.
  EXPECT_EQ(Run(Chat() + PickChat() + kNo + Exit()), 39);
  EXPECT_TRUE(log.Has("TaverneScreen: Box 436"));
  EXPECT_TRUE(g_seen.chats.empty());
  // Yes, then the nickname box cancelled: the notice 378.
  EXPECT_EQ(Run(Chat() + PickChat() + kYes + "wait 100\nkey esc\n" + kOk + Exit()), 39);
  EXPECT_TRUE(log.Has("TaverneScreen: Box 378"));
  EXPECT_TRUE(g_seen.chats.empty());
  EXPECT_STREQ(OwnPlayerPtr->LordName, "");
  // Yes and a name: it becomes the lord's name and the chat opens with it.
  EXPECT_EQ(Run(Chat() + PickChat() + kYes + "wait 100\ntext Aldric\nkey enter\n" + Exit()), 39);
  EXPECT_STREQ(OwnPlayerPtr->LordName, "Aldric");
  ASSERT_EQ(g_seen.chats.size(), 1u);
  EXPECT_EQ(g_seen.chats[0], "#Quill Aldric");
  // With a name the chat opens at once.
  EXPECT_EQ(Run(Chat() + PickChat() + Exit()), 39);
  EXPECT_EQ(g_seen.chats.size(), 2u);
}

TEST_F(TaverneRun, TheLettersOnlyWithAnInstalledGame) {
  qoe_test::LogLines log;
  qoe_test::DrawnTextRecorder drawn;
  EXPECT_EQ(Run(Chat() + PickLetters() + Exit()), 39);
  EXPECT_EQ(g_seen.letters, 1);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  EXPECT_EQ(Run(Chat() + PickLetters() + kOk + Exit()), 39);
  EXPECT_EQ(g_seen.letters, 1);
  EXPECT_TRUE(log.Has("TaverneScreen: Mail-Editor nur mit installiertem Spiel"));
  // Escape in the switch box chooses nothing.
  EXPECT_EQ(Run(Chat() + kNo + Exit()), 39);
  EXPECT_EQ(g_seen.letters, 1);
  // The switch box names both ways in the catalog's words.
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1844)));
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1804)));
  EXPECT_EQ(drawn.PastCatalog(), "");
}

TEST_F(TaverneRun, TheRuneStonesAndTheSlideShow) {
  // The rune stones and back; the slide show with texts, then the stones
  // again (the picture is open once more).
  EXPECT_EQ(Run(Runes() + Slides() + kYes + Runes() + Exit()), 39);
  EXPECT_EQ(g_seen.runes, 2);
  EXPECT_EQ(std::count(g_seen.plays.begin(), g_seen.plays.end(), 5u), 2);
  EXPECT_EQ(g_seen.slides, 1);
  EXPECT_EQ(g_seen.slideFlag, 1u);
  EXPECT_EQ(g_seen.pictureInSlides, 0u);
  EXPECT_GT(g_seen.pictureAfter, 0u);
  // Without texts; a result other than 0 ends the tavern with it.
  g_seen.slideResult = 2;
  EXPECT_EQ(Run(Slides() + kNo), 2);
  EXPECT_EQ(g_seen.slideFlag, 0u);
}

TEST_F(TaverneRun, TheStoreAndTheWaysOut) {
  EXPECT_EQ(Run(Store()), 61);
  EXPECT_EQ(Run(Exit()), 39);
  EXPECT_EQ(Run("key esc\n"), 39);
  EXPECT_EQ(Run(Town()), 39);
  // TOWN while online hangs up.
  QoESystemPtr->Status.fetch_or(SYSSTATUS_ONLINE);
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Town()), 39);
  EXPECT_FALSE(Online());
}

TEST_F(TaverneRun, TheNetworkGoesOnAndOffline) {
  // The title bar names the gadget under the mouse: 12 offline, 13 online.
  const std::string hover = "move 560 400\nwait 100\n";
  EXPECT_EQ(Run(hover + "png tavern_offline.png\n" + Network() + kYes + hover + "png tavern_online.png\n" + Exit()), 39);
  EXPECT_TRUE(Online());
  EXPECT_TRUE(qoe_test::KeepPng("tavern_offline.png"));
  EXPECT_TRUE(qoe_test::KeepPng("tavern_online.png"));
  EXPECT_NE(qoe_test::ReadFileBytes("tavern_offline.png"), qoe_test::ReadFileBytes("tavern_online.png"));
  EXPECT_EQ(TaverneNetworkTitle(), 13u);
  // Online: no keeps the connection, yes goes offline.
  EXPECT_EQ(Run(Network() + kNo + Exit()), 39);
  EXPECT_TRUE(Online());
  EXPECT_EQ(Run(Network() + kYes + Exit()), 39);
  EXPECT_FALSE(Online());
  EXPECT_EQ(TaverneNetworkTitle(), 12u);
  // Offline, no stays offline.
  EXPECT_EQ(Run(Network() + kNo + Exit()), 39);
  EXPECT_FALSE(Online());
  // A permanent connection (stack 4): nothing to switch, no question.
  QoESystemPtr->TcpIpStack = 4;
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Network() + Exit()), 39);
  EXPECT_FALSE(log.Has("TaverneScreen: Box 434"));
  EXPECT_FALSE(log.Has("TaverneScreen: Box 435"));
}

TEST_F(TaverneRun, TheAmbientSoundAfterTenTicksThenOnItsPeriod) {
  ZufallSeed(4711);
  Zufall(2);  // the music's draw
  const uint32_t period = (Zufall(5) + 1) * 20;
  auto ambient = [] { return std::count(g_seen.plays.begin(), g_seen.plays.end(), 2u); };
  std::string nine, rest;
  for (int i = 0; i < 9; ++i) nine += "tick 0\n";
  for (uint32_t i = 0; i + 1 < period; ++i) rest += "tick 0\n";
  EXPECT_EQ(Run(nine + Exit()), 39);
  EXPECT_EQ(ambient(), 0);
  EXPECT_EQ(Run(nine + "tick 0\n" + Exit()), 39);
  EXPECT_EQ(ambient(), 1);
  g_seen.plays.clear();
  EXPECT_EQ(Run(nine + "tick 0\n" + rest + Exit()), 39);
  EXPECT_EQ(ambient(), 1);
  g_seen.plays.clear();
  EXPECT_EQ(Run(nine + "tick 0\n" + rest + "tick 0\n" + Exit()), 39);
  EXPECT_EQ(ambient(), 2);
}

TEST_F(TaverneRun, AnEntranceSoundStillPlayingEndsTheShortenedWait) {
  TaverneHooks h = Hooks();
  h.sfxWaitMs = 30;
  SetTaverneHooks(&h);
  g_seen.soundPlaying = true;
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Exit()), 39);
  EXPECT_TRUE(log.Has("LoadTaverneScreenSfx: Sound 4 spielt nach 30 ms noch"));
}

TEST_F(TaverneRun, APictureOfTheTavern) {
  EXPECT_EQ(Run("wait 300\npng tavern.png\n" + Exit()), 39);
  EXPECT_TRUE(qoe_test::KeepPng("tavern.png"));
}

}  // namespace
