// The start command's demo, played headless: the waiting turn fetched from
// the demo's mailbox and evaluated with DOWN, the orders sent to the
// game-server double with UP (which mails the next turn), a second download
// that finds that turn in the mailbox, and a third that fetches the one
// after from the double.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "routinen/gamedata/statistics.h"
#include "routinen/system/catalog.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "screens/hub/option1.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string Text(const std::string& path) {
  const auto b = qoe_test::ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

// Runs scripts/start.sh on the built programs with a headless script, in
// the demo folder `demo` of the test's folder; its exit code, -1 when it did
// not run.
int Start(const std::string& script, const std::string& demo = "demo", const std::string& env = "") {
  if (!qoe_test::WriteFileBytes("run.txt", std::vector<uint8_t>(script.begin(), script.end()))) return -1;
  const std::string cmd = env + " QOE_START_PREBUILT=1 QOE_BUILD_DIR='" + qoe_test::BinaryDir() + "' QOE_DEMO_DIR='" +
                          qoe_test::TestDir() + "/" + demo + "' QOE_HEADLESS_SCRIPT='" + qoe_test::TestDir() +
                          "/run.txt' QOE_HEADLESS_MODE=4 '" + qoe_test::SourceDir() +
                          "/scripts/start.sh' >start.txt 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Prefs of a demo's working folder.
uint32_t DemoPrefs(uint32_t field, uint32_t write, uint32_t value, const std::string& demo = "demo") {
  const std::string here = fs::current_path();
  if (chdir(demo.c_str()) != 0) return 0xFFFFFFFFu;
  const uint32_t v = CheckPrefs(field, write, value);
  if (chdir(here.c_str()) != 0) return 0xFFFFFFFFu;
  return v;
}

// The first start installs the demo; the title is left at once (Escape
// closes its first box, then the window closes). The turn cycle is played
// by the script, so no tutorial and no tips.
bool InstallDemo(const std::string& demo) {
  if (Start("wait 400\nkey esc\n", demo) != 0) return false;
  DemoPrefs(PREFS_TUTORIAL_STEP, 1, 18, demo);
  DemoPrefs(PREFS_TIP_COUNTER, 1, 9, demo);
  return true;
}

// A click at a point of the game area of the demo's 800 x 600 window.
std::string Click(int x, int y) {
  int32_t dx = 0, dy = 0;
  GameAreaOffset(800, 600, &dx, &dy);
  const std::string at = std::to_string(x + dx) + " " + std::to_string(y + dy);
  return "wait 600\nmove " + at + "\npress left " + at + "\nrelease left " + at + "\n";
}

// The demo's turn cycle: the title's first box, a click on its landscape
// (the main screen), DOWN (the waiting turn comes from the mailbox and is
// evaluated), the introduction, UP (the double mails the next turn), DOWN
// (that turn from the mailbox) and its coronation, DOWN (the turn after
// from the game server), then the door, the title and the end. PNGs
// demo_turn, demo_mailed, demo_coronation and demo_server on the way.
std::string DemoScript() {
  const auto click = Click;
  const std::string down = click(410, 430), up = click(530, 430);
  // A received turn leads to the story screen: its browser opens after 5 s
  // and is closed (a box after it too), the screen leaves 5 s later.
  const std::string story = "wait 5200\nkey esc\nwait 300\nkey esc\nwait 5200\n";
  std::string script = "wait 400\nkey enter\n" + click(400, 300) + "wait 1500\n";
  script += down + "png demo_turn.png\nkey enter\n";                           // from the mailbox: received
  script += story;                                                              // the introduction
  script += up;                                                                 // orders to the double
  script += down + "png demo_mailed.png\nkey enter\n";                          // mailbox again: the next turn
  // Its realm points reach the next title: the coronation, its crown on the
  // throne after 9 s, left by Escape.
  script += "wait 9500\npng demo_coronation.png\nkey esc\nwait 600\n";
  script += down + "png demo_server.png\nkey enter\n";                          // third fetch: the game server
  script += click(60, 300) + "wait 400\nkey esc\n";                            // door, title, end
  return script;
}

const char* const kDemoPngs[] = {"demo_turn.png", "demo_mailed.png", "demo_server.png", "demo_coronation.png"};

}  // namespace

TEST(Demo, StartCommandPlaysATurnUploadsAndFetchesTheNextFromTheGameServer) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/quill");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit");
  ASSERT_TRUE(InstallDemo("demo")) << Text("start.txt");
  // The waiting turn is a mail in the player's mailbox.
  ASSERT_TRUE(fs::exists("demo-server/mailbox/00001001.email"));
  EXPECT_FALSE(fs::exists("demo/Data/POP3In/00001001.email"));
  ASSERT_TRUE(fs::exists("demo-server/turns/turn_02.email"));
  const auto options = qoe_test::ReadFileBytes("demo/Data/Optionen.prefs");
  ASSERT_EQ(options.size(), (size_t)OPTIONEN_PREFS_SIZE);
  EXPECT_EQ(options[5], NET_SERVER_ROUTE);
  // The mail account is the demo's mailbox on loopback, in the address's
  // own domain (the options page finds them alike).
  OptionenPrefs o{};
  OptionenPrefsDecode(options.data(), &o);
  EXPECT_EQ(std::string(o.pop3_host).rfind("localhost:", 0), 0u) << o.pop3_host;
  EXPECT_EQ(std::string(o.smtp_host).rfind("localhost:", 0), 0u) << o.smtp_host;
  EXPECT_EQ(MailDomainsMatch(o.pop3_host, o.email), 1) << o.email;
  EXPECT_STREQ(o.pop3_user, "lord");
  EXPECT_STREQ(o.smtp_user, "lord");
  EXPECT_NE(Text("demo/Endpoints.cfg").find("irc_server = 127.0.0.1:"), std::string::npos);
  const uint32_t year = DemoPrefs(PREFS_YEAR, 0, 0), quarter = DemoPrefs(PREFS_QUARTER, 0, 0);
  const std::string script = DemoScript();
  ASSERT_EQ(Start(script), 0) << Text("start.txt");

  const std::string log = Text("demo/Quill.dbg");
  EXPECT_NE(log.find("Mail per TCPIP holen"), std::string::npos) << log;
  // The turns were fetched from the mailbox by POP3 and deleted there; the
  // double mailed the turn after the one it handed out.
  std::vector<std::string> mailbox;
  for (auto& e : fs::directory_iterator("demo-server/mailbox")) mailbox.push_back(e.path().filename().string());
  EXPECT_EQ(mailbox, std::vector<std::string>{"turn_04.email"});
  EXPECT_EQ(log.find("No Emails for Quill Of Elmor!"), std::string::npos) << log;
  EXPECT_EQ(log.find("Fehler von ChunkMachine"), std::string::npos) << log;
  EXPECT_NE(log.find("RizizOzez: Die folgende Story sollte nun gespielt werden 1\n"), std::string::npos) << log;
  // The second turn's 7 realm points crown the Earl (the first only records the rank).
  EXPECT_NE(log.find("KroenungCheckTitleOfPlayer: Reichspunkte 7\n"), std::string::npos) << log;
  EXPECT_EQ(log.find("KroenungCheckTitleOfPlayer: Reichspunkte 5\n"), std::string::npos) << log;
  EXPECT_TRUE(fs::exists("demo-server/received/put_001.txt"));
  EXPECT_TRUE(fs::exists("demo-server/turns/served/turn_02.email"));
  EXPECT_TRUE(fs::exists("demo-server/turns/served/turn_03.email"));
  EXPECT_TRUE(fs::exists("demo-server/turns/turn_04.email"));
  // Three quarters on, three statistics records, no mail left behind.
  uint32_t q = quarter + 3, y = year;
  if (q >= 4) q -= 4, y++;
  EXPECT_EQ(DemoPrefs(PREFS_YEAR, 0, 0), y);
  EXPECT_EQ(DemoPrefs(PREFS_QUARTER, 0, 0), q);
  EXPECT_EQ(DemoPrefs(PREFS_UPLOADS, 0, 0), 0u);
  EXPECT_EQ(qoe_test::ReadFileBytes("demo/Data/Statistikdaten.qoe").size(), 10u + 3 * STATISTIK_RECORD_SIZE);
  for (auto& e : fs::directory_iterator("demo/Data/POP3In")) EXPECT_NE(e.path().extension(), ".email") << e.path();
  for (const char* png : kDemoPngs) {
    ASSERT_TRUE(fs::exists(std::string("demo/") + png)) << png;
    EXPECT_TRUE(qoe_test::KeepPng(std::string("demo/") + png));
  }
  // The double stopped with the client.
  const std::string out = Text("start.txt");
  const size_t at = out.find("game-server double on 127.0.0.1:");
  ASSERT_NE(at, std::string::npos) << out;
  const int port = std::atoi(out.c_str() + at + 32);
  ASSERT_GT(port, 0);
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_NE(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
  close(fd);
}

// The first turn from the mailbox, its orders uploaded, the game quit and
// started again: the restart's first download finds the next turn in the
// mailbox, which the double mailed there when the orders arrived.
TEST(Demo, AfterAnUploadARestartsFirstDownloadBringsTheNextTurn) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/quill");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit");
  ASSERT_TRUE(InstallDemo("demo")) << Text("start.txt");
  const uint32_t year = DemoPrefs(PREFS_YEAR, 0, 0), quarter = DemoPrefs(PREFS_QUARTER, 0, 0);
  const std::string enter = "wait 400\nkey enter\n" + Click(400, 300) + "wait 1500\n";
  const std::string down = Click(410, 430), up = Click(530, 430);
  const std::string story = "wait 5200\nkey esc\nwait 300\nkey esc\nwait 5200\n";
  const std::string quit = Click(60, 300) + "wait 400\nkey esc\n";
  ASSERT_EQ(Start(enter + down + "key enter\n" + story + up + quit), 0) << Text("start.txt");
  EXPECT_TRUE(fs::exists("demo-server/received/put_001.txt"));
  fs::rename("demo/Quill.dbg", "first_run.dbg");
  ASSERT_EQ(Start(enter + down + "png demo_upload_restart.png\nkey enter\nwait 1000\n"), 0) << Text("start.txt");
  const std::string log = Text("demo/Quill.dbg");
  EXPECT_NE(log.find("Folgende Email wird verwendet"), std::string::npos) << log;
  EXPECT_EQ(log.find("No Emails for Quill Of Elmor!"), std::string::npos) << log;
  EXPECT_EQ(log.find("Fehler von ChunkMachine"), std::string::npos) << log;
  EXPECT_TRUE(fs::is_empty("demo-server/mailbox"));
  uint32_t q = quarter + 2, y = year;
  if (q >= 4) q -= 4, y++;
  EXPECT_EQ(DemoPrefs(PREFS_YEAR, 0, 0), y);
  EXPECT_EQ(DemoPrefs(PREFS_QUARTER, 0, 0), q);
  ASSERT_TRUE(fs::exists("demo/demo_upload_restart.png"));
  EXPECT_TRUE(qoe_test::KeepPng("demo/demo_upload_restart.png"));
}

// After a restart the first download asks the mailbox (the game server
// only from the third on): it finds the turn after the one the double
// handed out in the last run, which the double mailed there.
TEST(Demo, ARestartsFirstDownloadFindsTheNextTurnInTheMailbox) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/quill");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit");
  ASSERT_TRUE(InstallDemo("demo")) << Text("start.txt");
  const uint32_t year = DemoPrefs(PREFS_YEAR, 0, 0), quarter = DemoPrefs(PREFS_QUARTER, 0, 0);
  ASSERT_EQ(Start(DemoScript()), 0) << Text("start.txt");
  fs::rename("demo/Quill.dbg", "first_run.dbg");
  // The restart: the main screen, one download.
  const auto click = Click;
  ASSERT_EQ(Start("wait 400\nkey enter\n" + click(400, 300) + "wait 1500\n" + click(410, 430) +
                  "png demo_restart.png\nkey enter\nwait 1000\n"),
            0)
      << Text("start.txt");
  const std::string log = Text("demo/Quill.dbg");
  EXPECT_NE(log.find("Folgende Email wird verwendet"), std::string::npos) << log;
  EXPECT_EQ(log.find("Mail per TCPIP holen"), std::string::npos) << log;
  EXPECT_EQ(log.find("Fehler von ChunkMachine"), std::string::npos) << log;
  EXPECT_TRUE(fs::is_empty("demo-server/mailbox"));
  // Four quarters on: the mailbox's twice, the double's and the mailbox's
  // again.
  uint32_t q = quarter + 4, y = year;
  if (q >= 4) q -= 4, y++;
  EXPECT_EQ(DemoPrefs(PREFS_YEAR, 0, 0), y);
  EXPECT_EQ(DemoPrefs(PREFS_QUARTER, 0, 0), q);
  ASSERT_TRUE(fs::exists("demo/demo_restart.png"));
  EXPECT_TRUE(qoe_test::KeepPng("demo/demo_restart.png"));
}

// A headless run draws on its virtual clock and its seeded random numbers
// only: the demo played twice, in two fresh folders, gives the same pictures
// byte for byte (the main screen's movies, the tint, the title's draws).
TEST(Demo, TwoHeadlessRunsDrawTheSamePictures) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/quill");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit");
  const std::string script = DemoScript();
  for (const char* demo : {"one", "two"}) {
    ASSERT_TRUE(InstallDemo(demo)) << Text("start.txt");
    ASSERT_EQ(Start(script, demo), 0) << Text("start.txt");
  }
  for (const char* png : kDemoPngs) {
    const auto one = qoe_test::ReadFileBytes(std::string("one/") + png);
    ASSERT_FALSE(one.empty()) << png;
    EXPECT_TRUE(one == qoe_test::ReadFileBytes(std::string("two/") + png)) << png << " differs";
  }
}

namespace {

std::vector<uint8_t> SeedBytes(uint32_t seed, size_t n) {
  std::vector<uint8_t> b(n);
  for (uint8_t& x : b) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return b;
}

struct DamagedSettings {
  const char* name;
  const char* file;  // in the demo's Data folder
  std::vector<uint8_t> (*damage)(const std::vector<uint8_t>& bytes);
  uint32_t told;     // the catalog text on the title, the file's name for its first "%s"
};

const DamagedSettings kDamagedSettings[] = {
    {"OptionsOfRandomBytes", "Optionen.prefs",
     [](const std::vector<uint8_t>&) { return SeedBytes(1, OPTIONEN_PREFS_SIZE); }, 1923},
    {"OptionsOfOtherRandomBytes", "Optionen.prefs",
     [](const std::vector<uint8_t>&) { return SeedBytes(3504101453u, OPTIONEN_PREFS_SIZE); }, 1923},
    {"PrefsCutTo100Bytes", "Prefs.qoe",
     [](const std::vector<uint8_t>& b) { return std::vector<uint8_t>(b.begin(), b.begin() + 100); }, 1921},
    {"StoryPrefsAskingForStory3504101453", "BTPrefs.qoe",
     [](const std::vector<uint8_t>&) {
       std::vector<uint8_t> d(BTPREFS_FILE_SIZE, 0);
       std::memcpy(d.data(), "BTPRV001", 8);
       d[11] = BTPREFS_FILE_SIZE - 12;
       const uint32_t story = 3504101453u;
       for (int k = 0; k < 4; ++k) d[12 + k] = static_cast<uint8_t>(story >> (24 - 8 * k));
       d[16] = 1;
       return d;
     },
     1922},
};

class DemoDamaged : public ::testing::TestWithParam<size_t> {};

}  // namespace

// The demo installed, then one of its settings files damaged before a start:
// options of random bytes (a TCP/IP stack of 179: the download did nothing
// and said nothing), prefs cut to 100 bytes (the player ID and the lord's
// name lost: "No Emails" while the turn waited in the mailbox), story prefs
// asking for story 3504101453 at the start (the story screen opened with no
// text). Each is repaired at the start and told on the title, naming the
// file; the story screen does not open; the first download fetches the turn
// waiting in the mailbox.
TEST_P(DemoDamaged, ToldAtTheStartAndTheTurnIsStillFetched) {
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/quill");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
  QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit");
  const DamagedSettings& r = kDamagedSettings[GetParam()];
  int32_t dx = 0, dy = 0;
  GameAreaOffset(800, 600, &dx, &dy);
  auto click = [&](int x, int y) {
    const std::string at = std::to_string(x + dx) + " " + std::to_string(y + dy);
    return "wait 600\nmove " + at + "\npress left " + at + "\nrelease left " + at + "\n";
  };
  const std::string demo = "demo", png = std::string("demo_damaged_") + r.name + ".png";
  // The title's two boxes (its own, then the notice), the landscape, DOWN.
  const std::string script = "wait 400\nkey enter\nwait 400\npng " + png + "\nkey enter\n" + click(400, 300) +
                             "wait 1500\n" + click(410, 430) + "key enter\nwait 1000\n";
  ASSERT_TRUE(InstallDemo(demo)) << Text("start.txt");
  const std::string path = demo + "/Data/" + r.file;
  const auto damaged = r.damage(qoe_test::ReadFileBytes(path));
  if (r.told == 1923) {
    ASSERT_GT(damaged[4], 4);  // the TCP/IP stack out of its range
  }
  ASSERT_TRUE(qoe_test::WriteFileBytes(path, damaged));
  ASSERT_EQ(Start(script, demo, "QOE_DRAWN_TEXTS=drawn.bin"), 0) << Text("start.txt");
  const std::string log = Text(demo + "/Quill.dbg"), drawn = Text(demo + "/drawn.bin");
  // The text up to its second "%s" (the options' pages), the file put in.
  std::string told = GetCatalogStr(r.told);
  told.replace(told.find("%s"), 2, std::string("Data\\") + r.file);
  told = told.substr(0, told.find("%s"));
  EXPECT_NE(drawn.find(told), std::string::npos) << told;
  EXPECT_EQ(log.find("Kein TCP/IP-Stack"), std::string::npos) << log;
  EXPECT_EQ(log.find("gespielt werden 3504101453"), std::string::npos) << log;
  EXPECT_NE(log.find("Folgende Email wird verwendet"), std::string::npos) << log;
  EXPECT_EQ(log.find("Fehler von ChunkMachine"), std::string::npos) << log;
  EXPECT_EQ(DemoPrefs(PREFS_ACCOUNT_STATE, 0, 0, demo), (uint32_t)ACCOUNT_INSTALLED);
  EXPECT_TRUE(fs::is_empty(demo + "-server/mailbox")) << "the turn stayed in the mailbox";
  EXPECT_TRUE(qoe_test::KeepPng(demo + "/" + png));
}

INSTANTIATE_TEST_SUITE_P(Settings, DemoDamaged,
                         testing::Range<size_t>(0, sizeof kDamagedSettings / sizeof kDamagedSettings[0]),
                         [](const testing::TestParamInfo<size_t>& info) {
                           return std::string(kDamagedSettings[info.param].name);
                         });
