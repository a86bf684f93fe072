// The update store against a real FTP server (pyftpdlib) and the scripted
// FTP double for hostile listings and cut downloads: the casks for 0, 3, 4,
// 10 and 11 pairs, a lone update not offered, the requester's lines and
// versions, short, empty and long descriptions, the download byte for byte
// into the program folder, an existing file kept whatever byte the download
// breaks at, the progress bar, the offline store and what leaving closes.
#include "screens/hub/lager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/input.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/tests/savegame_support.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;
using namespace qoe_peers;

namespace {

TEST(LagerRules, TheDescriptionsVersionAndText) {
  UpdateDescription d;
  ReadUpdateDescription("QoE V058\nBetter harbours.\n", 26, &d);
  EXPECT_EQ(d.found, 1u);
  EXPECT_EQ(d.version, 58u);
  EXPECT_STREQ(d.versionText, "0.58");
  ASSERT_NE(d.text, nullptr);
  EXPECT_EQ(std::string(d.text, d.textLength), "Better harbours.\n");
  uint32_t at = 0, length = 0;
  const char* line = nullptr;
  ASSERT_TRUE(NextDescriptionLine(&d, &at, &line, &length));
  EXPECT_EQ(std::string(line, length), "Better harbours.");
  EXPECT_FALSE(NextDescriptionLine(&d, &at, &line, &length));
  // Shorter than 9 bytes, or no three digits at 5 to 7: no version.
  ReadUpdateDescription("QoE V058", 8, &d);
  EXPECT_EQ(d.found, 0u);
  EXPECT_STREQ(d.versionText, "----");
  EXPECT_EQ(d.text, nullptr);
  ReadUpdateDescription("QoE Vx58\nA", 10, &d);
  EXPECT_EQ(d.found, 0u);
  EXPECT_EQ(std::string(d.text, d.textLength), "A");
  ReadUpdateDescription(nullptr, 100, &d);
  EXPECT_EQ(d.found, 0u);
  ReadUpdateDescription("", 0, &d);
  EXPECT_STREQ(d.versionText, "----");
  // Never past 2024 bytes.
  std::string big(5000, 'a');
  big.replace(0, 9, "QoE V123\n");
  ReadUpdateDescription(big.data(), (uint32_t)big.size(), &d);
  EXPECT_EQ(d.version, 123u);
  EXPECT_EQ(d.textLength, kLagerDescriptionMax - 9);
}

TEST(LagerRules, TheProgressBar) {
  EXPECT_EQ(FtpProgressBarWidth(0, 0), -1);
  EXPECT_EQ(FtpProgressBarWidth(1023, 1023), -1);
  EXPECT_EQ(FtpProgressBarWidth(1024, 0), 0);
  EXPECT_EQ(FtpProgressBarWidth(1024, 1024), 290);
  EXPECT_EQ(FtpProgressBarWidth(2000, 1000), 145);
  // 64 bits: a total of 40 GB neither overflows nor passes 290.
  EXPECT_EQ(FtpProgressBarWidth(40000000000ull, 20000000000ull), 145);
  EXPECT_EQ(FtpProgressBarWidth(40000000000ull, 40000000000ull), 290);
  EXPECT_EQ(FtpProgressBarWidth(1024, 5000), 290);
}

// The printed lines of the requesters, (y, text).
std::vector<std::pair<int32_t, std::string>> g_lines;

class LagerRun : public ::testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Lager.dat");
    savegame_test::PrepareTitleFolder();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    QoESystemPtr->Status.fetch_or(SYSSTATUS_ONLINE);
    g_lines.clear();
    SetLagerPrintHook([](int32_t y, const char* text, void*) { g_lines.emplace_back(y, text); }, nullptr);
  }
  void TearDown() override {
    SetLagerPrintHook(nullptr, nullptr);
    QoESystemPtr->Status.fetch_and(~SYSSTATUS_ONLINE);
    MailSetTimeoutMs(0);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    savegame_test::CloseScreenTestDisplay();
  }
  void StartReal() {
    std::string err;
    ASSERT_TRUE(StartFtpServer(dir_.path, "quill", "Zwirn", &ftp_, &err)) << err;
    Point(ftp_.port, "quill");
  }
  void StartDouble(const std::string& listing, std::vector<std::string> extra = {}) {
    fs::create_directories(dir_.path + "/root");
    WriteText(dir_.path + "/list", listing);
    std::vector<std::string> o = {"--root", dir_.path + "/root", "--list", dir_.path + "/list", "--transcript",
                                  dir_.path + "/transcript"};
    o.insert(o.end(), extra.begin(), extra.end());
    double_ = std::make_unique<NetDouble>();
    std::string err;
    ASSERT_TRUE(StartNetDouble(dir_.path, "ftp", o, double_.get(), &err)) << err;
    Point(double_->port, "anyone");
  }
  static void Point(uint16_t port, const char* user) {
    EndpointConfig& e = QoESystemPtr->Endpoints;
    std::snprintf(e.FtpHost, sizeof e.FtpHost, "127.0.0.1:%u", port);
    std::snprintf(e.FtpUser, sizeof e.FtpUser, "%s", user);
  }
  // n update pairs in the server's folder (emptied first).
  void Pairs(int n) {
    for (const auto& e : fs::directory_iterator(ftp_.root)) fs::remove_all(e.path());
    for (int i = 0; i < n; ++i) {
      const std::string stem = ftp_.root + "/u" + std::to_string(100 + i);
      WriteText(stem + ".zip", std::string(100 + i, 'z'));
      WriteText(stem + ".txt", "QoE V" + std::to_string(100 + i) + "\nUpdate " + std::to_string(i) + "\n");
    }
  }
  static int32_t Run(const std::string& script) { return savegame_test::RunScreen(LagerScreen, 59, script); }
  static std::string Click(int x, int y) { return qoe_test::ClickLine(x, y); }
  // The click areas of the casks (Lager.dat's points).
  static std::string Cask(int i) {
    static const int xy[10][2] = {{25, 225},  {145, 225}, {265, 225}, {400, 225}, {520, 225},
                                  {25, 370},  {145, 370}, {265, 370}, {385, 370}, {505, 370}};
    return Click(xy[i][0] + 30, xy[i][1] + 60);
  }
  static std::string Ok() { return Click(408, 359); }
  static std::string Cancel() { return Click(232, 359); }
  static std::string Exit() { return Click(590, 150); }
  static bool Printed(const std::string& text, int32_t y = -1) {
    for (const auto& l : g_lines)
      if (l.second == text && (y < 0 || l.first == y)) return true;
    return false;
  }
  static uint32_t Pixel(const std::string& png, int x, int y) {
    std::vector<uint32_t> px;
    uint32_t w = 0, h = 0;
    EXPECT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1);
    return px.empty() ? 0 : px[(size_t)y * w + x];
  }
  PeerDir dir_;
  FtpServer ftp_;
  std::unique_ptr<NetDouble> double_;
};

TEST_F(LagerRun, CasksForEachNumberOfPairs) {
  ASSERT_NO_FATAL_FAILURE(StartReal());
  std::vector<uint32_t> sacks;
  for (int n : {0, 3, 4, 10, 11}) {
    Pairs(n);
    qoe_test::LogLines log;
    const std::string png = "store_" + std::to_string(n) + ".png";
    EXPECT_EQ(Run("wait 300\npng " + png + "\n" + Exit()), 59) << n;
    EXPECT_EQ(log.Count("FassPos"), std::min(n, 10)) << n;
    if (n > 0) { EXPECT_TRUE(log.Has("Anzahl " + std::to_string(std::min(n, 10)))) << n; }
    sacks.push_back(Pixel(png, 472, 338));
    if (n == 10) { EXPECT_TRUE(qoe_test::KeepPng(png)); }
  }
  // The sacks in front of the fourth cask: with four casks and more, not with three.
  EXPECT_EQ(sacks[0], sacks[1]);
  EXPECT_NE(sacks[1], sacks[2]);
  EXPECT_EQ(sacks[2], sacks[3]);
}

TEST_F(LagerRun, ALoneUpdateIsNotOffered) {
  ASSERT_NO_FATAL_FAILURE(StartReal());
  WriteText(ftp_.root + "/lonely.zip", "no description");
  WriteText(ftp_.root + "/qoe058.zip", "an update");
  WriteText(ftp_.root + "/qoe058.txt", "QoE V058\nBetter harbours.\n");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Exit()), 59);
  EXPECT_TRUE(log.Has("Anzahl 1"));
  EXPECT_EQ(log.Count("FassPos"), 1);
}

TEST_F(LagerRun, TheRequesterAndTheDownload) {
  ASSERT_NO_FATAL_FAILURE(StartReal());
  std::string update(70000, 0);
  for (size_t i = 0; i < update.size(); ++i) update[i] = (char)(i * 7 + i / 251);
  WriteText(ftp_.root + "/qoe058.zip", update);
  WriteText(ftp_.root + "/qoe058.txt", "QoE V058\nBetter harbours.\n\nNew ships.\n");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Cask(0) + "wait 300\npng store_requester.png\n" + Ok() + "wait 100\nkey enter\n" + Exit()), 59);
  EXPECT_TRUE(qoe_test::KeepPng("store_requester.png"));
  EXPECT_TRUE(Printed("Server message!", 100));
  EXPECT_TRUE(Printed("---------------------------", 124));
  EXPECT_TRUE(Printed("Better harbours.", 148));
  EXPECT_TRUE(Printed("New ships.", 172));  // the empty line only advances
  EXPECT_TRUE(Printed("---------------------------", 284));
  EXPECT_TRUE(Printed("your version", 308));
  EXPECT_TRUE(Printed(": V 0.57", 308));
  EXPECT_TRUE(Printed("version on server", 320));
  EXPECT_TRUE(Printed(": V 0.58", 320));
  EXPECT_TRUE(Printed("size:        68 KB", 380));
  EXPECT_TRUE(log.Has("LagerScreen: Update qoe058.zip geladen"));
  EXPECT_EQ(qoe_test::ReadFileBytes("qoe058.zip"), std::vector<uint8_t>(update.begin(), update.end()));
  EXPECT_EQ(LagerLastBarWidth(), 290);
  // Leaving deletes the description's temporary file.
  EXPECT_FALSE(qoe_test::FileExists("ftptemp.txt"));
  EXPECT_TRUE(log.Has("FTP geschlossen"));
}

TEST_F(LagerRun, CancelDownloadsNothingAndSmallUpdatesShowNoBar) {
  ASSERT_NO_FATAL_FAILURE(StartReal());
  WriteText(ftp_.root + "/tiny.exe", std::string(1000, 't'));
  WriteText(ftp_.root + "/tiny.txt", "QoE V060\nA small fix.\n");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Cask(0) + Cancel() + Exit()), 59);
  EXPECT_TRUE(log.Has("LagerScreen: Update tiny.exe nicht gew"));
  EXPECT_FALSE(qoe_test::FileExists("tiny.exe"));
  EXPECT_EQ(Run(Cask(0) + Ok() + "wait 100\nkey enter\n" + Exit()), 59);
  EXPECT_EQ(qoe_test::ReadFileBytes("tiny.exe").size(), 1000u);
  EXPECT_EQ(LagerLastBarWidth(), -1);  // below 1024 bytes
}

TEST_F(LagerRun, ShortEmptyAndLongDescriptions) {
  ASSERT_NO_FATAL_FAILURE(StartReal());
  WriteText(ftp_.root + "/a.zip", "a");
  WriteText(ftp_.root + "/a.txt", "One line\n");
  WriteText(ftp_.root + "/b.zip", "b");
  WriteText(ftp_.root + "/b.txt", "");
  std::string long_text = "QoE V061\n";
  for (int i = 0; long_text.size() < 2000; ++i) long_text += "Line " + std::to_string(i) + " of the long text\n";
  long_text.resize(2000);
  WriteText(ftp_.root + "/c.zip", "c");
  WriteText(ftp_.root + "/c.txt", long_text);
  std::string endless = "QoE V062\nshort\n" + std::string(2100, 'w') + "MARK";
  WriteText(ftp_.root + "/d.zip", "d");
  WriteText(ftp_.root + "/d.txt", endless);
  EXPECT_EQ(Run(Cask(0) + Cancel() + Cask(1) + Cancel() + Cask(2) + "wait 200\npng store_long.png\n" + Cancel() +
                "wait 100\npng before_long.png\n" + Cask(3) + Cancel() + "wait 100\npng after_long.png\n" + Exit()),
            59);
  // Beside the requester the screen is as it was before it opened.
  std::vector<uint32_t> before, after;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("before_long.png", &before, &w, &h), 1);
  ASSERT_EQ(ReadPngRGB("after_long.png", &after, &w, &h), 1);
  for (uint32_t y = 140; y < 180; ++y)
    for (uint32_t x = 0; x < 144; ++x) ASSERT_EQ(before[y * w + x], after[y * w + x]) << x << " " << y;
  // The short one: no version, one line of its own is none (the text starts at byte 9).
  EXPECT_TRUE(Printed(": V ----", 320));
  // The long one: its lines stop above the rule at 284.
  int description = 0;
  for (const auto& l : g_lines)
    if (l.second.rfind("Line ", 0) == 0) {
      ++description;
      EXPECT_LE(l.first + 12, 284) << l.second;
    }
  EXPECT_GE(description, 10);
  EXPECT_TRUE(Printed(": V 0.61", 320));
  // The endless line is read only to byte 2024, and cut where the scroll ends:
  // nothing is drawn outside the requester.
  for (const auto& l : g_lines) EXPECT_EQ(l.second.find("MARK"), std::string::npos);
  size_t widest = 0;
  for (const auto& l : g_lines)
    if (l.second.rfind("www", 0) == 0) widest = std::max(widest, l.second.size());
  EXPECT_GT(widest, 10u);
  EXPECT_LT(widest, 100u);
  EXPECT_TRUE(Printed("short", 148));
  EXPECT_TRUE(Printed(": V 0.62", 320));
  EXPECT_TRUE(qoe_test::KeepPng("store_long.png"));
}

TEST_F(LagerRun, OfflineTheStoreIsEmptyAndTellsWhy) {
  ASSERT_NO_FATAL_FAILURE(StartReal());
  Pairs(3);
  QoESystemPtr->Status.fetch_and(~SYSSTATUS_ONLINE);
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Cask(0) + "wait 200\npng store_offline.png\n" + Ok() + Exit()), 59);
  EXPECT_TRUE(log.Has("InitUpdateData:ONLINE FLAG NICHT GESETZT!"));
  EXPECT_EQ(log.Count("FassPos"), 0);
  EXPECT_TRUE(Printed("Sorry, can't provide", 136));
  EXPECT_TRUE(Printed("at the moment...", 160));
  EXPECT_TRUE(Printed(": V ----", 320));
  EXPECT_FALSE(log.Has("FTP geschlossen"));
  EXPECT_TRUE(qoe_test::KeepPng("store_offline.png"));
}

TEST_F(LagerRun, AServerThatIsNotThereShowsTheMessage) {
  Point(FreePort(), "quill");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Cask(0) + "key esc\n" + Exit()), 59);
  EXPECT_TRUE(log.Has("InitUpdateData: 1. OpenFTP reported"));
  EXPECT_TRUE(Printed("access to server", 148));
}

TEST_F(LagerRun, HostileNamesStayInTheProgramFolder) {
  const std::string l =
      "-rw-r--r-- 1 o g 5 Dec  6 12:00 ../x.zip\r\n"
      "-rw-r--r-- 1 o g 9 Dec  6 12:00 ../x.txt\r\n"
      "-rw-r--r-- 1 o g 5 Dec  6 12:00 a/../../y.zip\r\n"
      "-rw-r--r-- 1 o g 9 Dec  6 12:00 a/../../y.txt\r\n";
  ASSERT_NO_FATAL_FAILURE(StartDouble(l));
  WriteText(dir_.path + "/root/x.zip", "xxxxx");
  WriteText(dir_.path + "/root/x.txt", "QoE V070\n");
  WriteText(dir_.path + "/root/y.zip", "yyyyy");
  WriteText(dir_.path + "/root/y.txt", "QoE V071\n");
  fs::create_directories("inner");
  fs::current_path("inner");
  savegame_test::PrepareTitleFolder();
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Cask(0) + Ok() + "wait 100\nkey enter\n" + Cask(1) + Ok() + "wait 100\nkey enter\n" + Exit()), 59);
  EXPECT_TRUE(log.Has("Anzahl 2"));
  EXPECT_EQ(qoe_test::ReadFileBytes("x.zip").size(), 5u);
  EXPECT_EQ(qoe_test::ReadFileBytes("y.zip").size(), 5u);
  fs::current_path("..");
  EXPECT_FALSE(qoe_test::FileExists("x.zip"));
  EXPECT_FALSE(qoe_test::FileExists("y.zip"));
  // Leaving says goodbye to the server.
  EXPECT_NE(ReadText(dir_.path + "/transcript").find("QUIT"), std::string::npos);
}

TEST_F(LagerRun, ABrokenDownloadKeepsTheOldFile) {
  std::string update(5000, 0);
  for (size_t i = 0; i < update.size(); ++i) update[i] = (char)(i % 253);
  const std::string l =
      "-rw-r--r-- 1 o g 5000 Dec  6 12:00 qoe070.zip\r\n"
      "-rw-r--r-- 1 o g 9 Dec  6 12:00 qoe070.txt\r\n";
  // The double cuts every transfer: below 9 bytes already the description's
  // (the server message instead of the requester).
  for (int cut : {0, 9, 10, 1024, 2500, 4999}) {
    double_.reset();
    ASSERT_NO_FATAL_FAILURE(StartDouble(l, {"--drop-after", std::to_string(cut)}));
    WriteText(dir_.path + "/root/qoe070.zip", update);
    WriteText(dir_.path + "/root/qoe070.txt", "QoE V070\n");
    WriteText("qoe070.zip", "the old update");
    qoe_test::LogLines log;
    EXPECT_EQ(Run(Cask(0) + Ok() + "wait 100\nkey enter\n" + Exit()), 59) << cut;
    if (cut < 9) {
      EXPECT_TRUE(log.Has("Load_Txt2Ram: GetFTPData() failed!")) << cut;
      EXPECT_TRUE(Printed("Sorry, can't provide", 136)) << cut;
    } else {
      EXPECT_TRUE(log.Has("Download2Ram:002")) << cut;
      EXPECT_TRUE(log.Has("LagerScreen: Update qoe070.zip nicht geladen")) << cut;
    }
    EXPECT_EQ(ReadText("qoe070.zip"), "the old update") << cut;
    for (const auto& e : fs::directory_iterator("."))
      EXPECT_EQ(e.path().filename().string().rfind(".qoetmp-", 0), std::string::npos) << cut;
  }
}

TEST_F(LagerRun, FindUpdateCaskAtTheEdges) {
  ScreenRegion* r = GetScreenRegion(".\\Data\\Screendat\\Lager.dat", 1027);
  ASSERT_NE(r, nullptr);
  for (uint32_t i = 0; i < kLagerMaxCasks; ++i) {
    const LayoutPoint* p = GetLayoutPoint(r, i);
    ASSERT_NE(p, nullptr);
    const int x = p->x, y = p->y;
    EXPECT_EQ(FindUpdateCask(r, x + 2, y + 26, 10), (int32_t)i);
    EXPECT_EQ(FindUpdateCask(r, x + 70, y + 94, 10), (int32_t)i);
    EXPECT_EQ(FindUpdateCask(r, x + 2, y + 94, 10), (int32_t)i);
    EXPECT_EQ(FindUpdateCask(r, x + 70, y + 26, 10), (int32_t)i);
    EXPECT_NE(FindUpdateCask(r, x + 1, y + 60, 10), (int32_t)i);
    EXPECT_NE(FindUpdateCask(r, x + 71, y + 60, 10), (int32_t)i);
    EXPECT_NE(FindUpdateCask(r, x + 30, y + 25, 10), (int32_t)i);
    EXPECT_NE(FindUpdateCask(r, x + 30, y + 95, 10), (int32_t)i);
    // Only the casks there are count.
    EXPECT_EQ(FindUpdateCask(r, x + 30, y + 60, i), -1);
  }
  QoESystemPtr->Status.fetch_and(~SYSSTATUS_ONLINE);
  const LayoutPoint* p = GetLayoutPoint(r, 0);
  EXPECT_EQ(FindUpdateCask(r, p->x + 30, p->y + 60, 10), -1);
  FreeScreenRegion(r);
}

}  // namespace
