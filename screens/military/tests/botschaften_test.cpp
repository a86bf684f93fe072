// The letters of the diplomacy screen, driven by script: reading newest
// first with the wrap both ways, with a lord chosen (his letters only; none
// of his: the letter at the current place after every letter was tried),
// deleting the only letter, writing to the chosen lord through the tavern's
// editor, the fetch from the game-server double first on the server route;
// and the deletion's own rules without a screen (a file gone already, a
// path outside the letters' folder). PNGs of the letters and the editor.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/military/diplomat.h"
#include "screens/military/tests/diplomacy_fixture.h"
#include "platform/pngfile.h"
#include "tests/support/legibility.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;

namespace {

using namespace diplomacy_test;

std::string T(uint32_t id) { return GetCatalogStr(id); }

// A letter file as another lord's client writes it (one SMAL chunk), into
// folder with the name of its sender and number k.
void PutLetter(const std::string& folder, uint32_t sender_id, const char* sender, const char* subject, uint32_t date,
               const char* text, uint32_t k, uint32_t recipient_id = kOwn) {
  const uint32_t text_size = static_cast<uint32_t>(std::strlen(text)) + 1;
  uint8_t* c = AllocChunk("SMAL", "V001", 280 + text_size);
  ASSERT_NE(c, nullptr);
  std::snprintf(reinterpret_cast<char*>(c + 12), 40, "%s", sender);
  std::snprintf(reinterpret_cast<char*>(c + 52), 40, "%s", "Harald");
  std::snprintf(reinterpret_cast<char*>(c + 92), 160, "%s", subject);
  std::snprintf(reinterpret_cast<char*>(c + 252), 24, "01.01.1970 00:%02u:00", date / 60 % 60);
  ChunkPut32(c, 276, sender_id);
  ChunkPut32(c, 280, recipient_id);
  ChunkPut32(c, 284, date);
  ChunkPut32(c, 288, text_size);
  std::memcpy(c + 292, text, text_size);
  char name[32];
  std::snprintf(name, sizeof name, "/E%7.7x_%2.2u.smal", sender_id, k);
  fs::create_directories(folder);
  // Through the game data's writer (big-endian), then to its folder (the
  // file layer takes the program's relative paths).
  ASSERT_EQ(SaveChunk2File("letter.tmp", c), 1);
  FreeChunk(c);
  fs::rename("letter.tmp", folder + name);
}

std::vector<std::string> Files(const std::string& dir) {
  std::vector<std::string> out;
  if (fs::exists(dir))
    for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

// The headings shown in a run, in order.
std::vector<std::string> Headings(const qoe_test::LogLines& log) {
  std::vector<std::string> out;
  const std::string mark = "DiplomatScreenBotschaften: ";
  for (const std::string& l : log.lines)
    if (l.rfind(mark, 0) == 0 && l.find(T(810)) != std::string::npos) out.push_back(l.substr(mark.size(), l.size() - mark.size() - 1));
  return out;
}

std::string Head(const char* subject, int n, int count) {
  return T(810) + " " + subject + " (" + std::to_string(n) + "/" + std::to_string(count) + ")";
}

// The letters' places (Diplomatie5.txt) and the hub's station.
const std::string kLetters = DiplomatRun::Click(520, 400), kExit = DiplomatRun::Click(320, 455);
const std::string kPrev = DiplomatRun::Click(64, 406), kRead = DiplomatRun::Click(150, 406),
                  kNext = DiplomatRun::Click(236, 406), kWrite = DiplomatRun::Click(338, 398),
                  kDelete = DiplomatRun::Click(420, 398), kSend = DiplomatRun::Click(497, 398),
                  kLater = DiplomatRun::Click(535, 426);
std::string Lord(int k) { return DiplomatRun::Click(150, 133 + 13 * k); }

class LettersScreen : public DiplomatRun {
 protected:
  void SetUp() override {
    DiplomatRun::SetUp();
    fs::create_directories("Data/MailIn");
    fs::create_directories("Data/MailOut");
    CheckPrefs(PREFS_PLAYER_ID, 1, kOwn);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    QoESystemPtr->Optionen.net_option_bits = NET_MAIL_ROUTE;
    QoESystemPtr->TcpIpStack = 4;
    Players();  // sorted: Ansgar, Gunhild, Ragnar
  }
  // Ragnar's "Grain" (newest) and "Iron" (oldest), Gunhild's "Wool", and a
  // letter to another lord, which is not listed.
  static void ThreeLetters() {
    PutLetter("Data/MailIn", kRagnar, "Ragnar der Rote", "Grain", 3000, "Grain for your mills.", 0);
    PutLetter("Data/MailIn", kGunhild, "Gunhild von Norden", "Wool", 2000, "Wool from the north.\nYours, G.", 0);
    PutLetter("Data/MailIn", kRagnar, "Ragnar der Rote", "Iron", 1000, "Iron for your smiths.", 1);
    PutLetter("Data/MailIn", kAnsgar, "Ansgar", "Not yours", 4000, "x", 0, 4242);
  }
};

TEST_F(LettersScreen, LettersAreReadNewestFirstAndWrapRound) {
  ThreeLetters();
  qoe_test::LogLines log;
  EXPECT_EQ(Run(kLetters + kRead + kNext + Png("letters.png") + kNext + kNext + kPrev + kPrev + kExit + kExit), 2);
  EXPECT_TRUE(qoe_test::KeepPng("letters.png"));
  EXPECT_EQ(Headings(log), (std::vector<std::string>{Head("Grain", 1, 3), Head("Wool", 2, 3), Head("Iron", 3, 3),
                                                     Head("Grain", 1, 3), Head("Iron", 3, 3), Head("Wool", 2, 3)}));
  EXPECT_TRUE(g_said.empty());
}

TEST_F(LettersScreen, WithALordChosenOnlyHisLettersAreShown) {
  ThreeLetters();
  qoe_test::LogLines log;
  // Ragnar: Grain, Iron (past Wool), Grain (round), Iron (back). Ansgar sent
  // nothing: every letter tried, the current one stays. Gunhild: Wool.
  EXPECT_EQ(Run(kLetters + Lord(2) + kRead + kNext + kNext + kPrev + Lord(0) + kNext + kRead + kPrev + Lord(1) +
                kRead + kExit + kExit),
            2);
  EXPECT_EQ(Headings(log), (std::vector<std::string>{Head("Grain", 1, 3), Head("Iron", 3, 3), Head("Grain", 1, 3),
                                                     Head("Iron", 3, 3), Head("Iron", 3, 3), Head("Iron", 3, 3),
                                                     Head("Iron", 3, 3), Head("Wool", 2, 3)}));
  EXPECT_TRUE(g_said.empty());
}

TEST_F(LettersScreen, DeletingTheOnlyLetterEmptiesThePlace) {
  PutLetter("Data/MailIn", kGunhild, "Gunhild von Norden", "Wool", 2000, "Wool from the north.", 0);
  EXPECT_EQ(Run(kLetters + kRead + kDelete + Png("letters_empty.png") + kRead + kDelete + kExit + kExit), 2);
  EXPECT_TRUE(qoe_test::KeepPng("letters_empty.png"));
  EXPECT_TRUE(Files("Data/MailIn").empty());
  EXPECT_EQ(g_said, (std::vector<std::string>{T(1227), T(1227)}));
  // No letter at all: 1227 at once; the button still to come says so.
  g_said.clear();
  EXPECT_EQ(Run(kLetters + kRead + kNext + kLater + kExit + kExit), 2);
  EXPECT_EQ(g_said, (std::vector<std::string>{T(1227), T(1227), T(1154)}));
}

TEST_F(LettersScreen, ALetterToTheChosenLordGoesOut) {
  ThreeLetters();
  // Nobody chosen: 1324. Gunhild chosen: the subject, the text, BU40 sends,
  // the editor says the letter was written.
  const std::string script = kLetters + kWrite + Lord(1) + kRead + kWrite + "wait 300\ntext \"Wool\"\nkey enter\n" +
                             "wait 300\ntext \"Send me 300 bales.\"\n" + Png("letters_write.png") + kSend +
                             "wait 300\nkey enter\n" + Png("letters_written.png") + kExit + kExit;
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng("letters_write.png"));
  EXPECT_TRUE(qoe_test::KeepPng("letters_written.png"));
  EXPECT_EQ(g_said, (std::vector<std::string>{T(1324)}));
  ASSERT_EQ(Files("Data/MailOut"), (std::vector<std::string>{"E00007d2_00.smal"}));
  const std::vector<uint8_t> out = qoe_test::ReadFileBytes("Data/MailOut/E00007d2_00.smal");
  ASSERT_GT(out.size(), 300u);
  EXPECT_STREQ(reinterpret_cast<const char*>(out.data() + 52), "Gunhild von Norden");
  EXPECT_STREQ(reinterpret_cast<const char*>(out.data() + 92), "Wool");
  EXPECT_EQ((out[280] << 24) | (out[281] << 16) | (out[282] << 8) | out[283], static_cast<int>(kGunhild));
  EXPECT_STREQ(reinterpret_cast<const char*>(out.data() + 292), "Send me 300 bales.");
}

TEST_F(LettersScreen, WithoutAnInstalledGameNothingIsWritten) {
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  fs::remove("Data/POP3In/GameChunk.qoe");
  EXPECT_EQ(Run(kLetters + Lord(1) + kWrite + kExit + kExit), 2);
  EXPECT_TRUE(g_said.empty());
  EXPECT_TRUE(Files("Data/MailOut").empty());
}

TEST_F(LettersScreen, OnTheServerRouteTheLettersAreFetchedFirst) {
  qoe_peers::PeerDir dir;
  const std::string letters = dir.path + "/letters", transcript = dir.path + "/transcript";
  PutLetter(letters, kAnsgar, "Ansgar", "Peace", 5000, "Let us make peace.", 0);
  qoe_peers::GameServerDouble server;
  std::string err;
  ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, {"--letters", letters, "--transcript", transcript}, &server, &err))
      << err;
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                server.port);
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
  PutLetter("Data/MailIn", kGunhild, "Gunhild von Norden", "Wool", 2000, "Wool.", 0);
  qoe_test::LogLines log;
  // The question first (yes), then the letters, the fetched one newest.
  EXPECT_EQ(Run(kLetters + kRead + "wait 300\nkey enter\nwait 1500\n" + kNext + kRead + kExit + kExit), 2);
  EXPECT_EQ(Files("Data/MailIn"), (std::vector<std::string>{"E00007d2_00.smal", "E00007d4_00.smal"}));
  EXPECT_EQ(Headings(log), (std::vector<std::string>{Head("Peace", 1, 2), Head("Wool", 2, 2), Head("Wool", 2, 2)}));
  EXPECT_NE(qoe_peers::ReadText(transcript).find("C:+SID 1001\n"), std::string::npos) << qoe_peers::ReadText(transcript);
}

// The editor over the letter's place in every display mode: the info lines
// and the text box stand on the letter's ground alone (nothing of the letter
// read before stays between them), the sender, the recipient and the subject
// lines are whole, and each reads at a contrast of at least 3 : 1.
class LetterEditorModes : public LettersScreen, public testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    LettersScreen::SetUp();
    HeadlessCloseDisplay();
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
  }
  std::string At(int x, int y) const { return DiplomatRun::Click(x + dx_, y + dy_); }
  int32_t dx_ = 0, dy_ = 0;
};

TEST_P(LetterEditorModes, TheEditorsLinesStandWholeOnTheLettersGround) {
  ThreeLetters();
  const std::string png = "letters_editor_" + std::to_string(GetParam()) + ".png";
  const std::string script = At(520, 400) + At(150, 133 + 13) + At(150, 406) + At(338, 398) +
                             "wait 300\ntext \"Wool\"\nkey enter\nwait 300\ntext \"Send me 300 bales.\"\n" + Png(png) +
                             "key esc\n" + At(320, 455) + At(320, 455);
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1);
  auto at = [&](int x, int y) { return px[(size_t)(y + dy_) * w + (size_t)(x + dx_)]; };
  // The letter's place (Diplomatie5: rectangle 2) and the editor's areas on
  // it: the two info lines and the text box.
  const int place[4] = {313, 127, 572, 360};
  const int lines[2][4] = {{313, 127, 572, 140}, {313, 142, 572, 155}}, box[4] = {313, 158, 572, 360};
  const uint32_t ground = at(560, 300);
  int stray = 0;
  for (int y = place[1]; y <= place[3]; ++y)
    for (int x = place[0]; x <= place[2]; ++x) {
      bool inside = x >= box[0] && y >= box[1];
      for (const auto& l : lines) inside = inside || (y >= l[1] && y <= l[3]);
      if (!inside && at(x, y) != ground) stray++;
    }
  EXPECT_EQ(stray, 0) << "pixels of the letter read before stay between the editor's lines";
  // The place's frame runs along the whole box above it, not cut short.
  for (int x = place[0] - 1; x <= place[2] + 1; ++x) EXPECT_EQ(at(x, place[1] - 1), at(place[0] - 1, place[1] - 1)) << x;
  EXPECT_NE(at(place[0] - 1, place[1] - 1), ground);
  for (const auto& l : lines) {
    const qoe_test::TextInk t = qoe_test::TextContrast(px, w, l[0] + dx_, l[1] + dy_, l[2] + dx_, l[3] + dy_);
    EXPECT_EQ(t.ground, ground);
    EXPECT_GE(t.contrast, 3.0) << "info line at " << l[1];
    // The line is whole: no ink on the area's first and last rows.
    for (int x = l[0]; x <= l[2]; ++x) {
      EXPECT_EQ(at(x, l[1]), ground) << x << "," << l[1];
      EXPECT_EQ(at(x, l[3]), ground) << x << "," << l[3];
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, LetterEditorModes, testing::Values(0u, 4u, 8u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });

// ---- deleting, without a screen ---------------------------------------------

class LetterDeletion : public testing::Test {
 protected:
  void SetUp() override {
    g_said.clear();
    SetDiplomatMessageHook(Said);
    SetGameDataOwner(kOwn, "Harald");
    PutLetter("Data/MailIn", kRagnar, "Ragnar der Rote", "Grain", 3000, "Grain.", 0);
    PutLetter("Data/MailIn", kGunhild, "Gunhild von Norden", "Wool", 2000, "Wool.", 0);
    d_.selPlayer = -1;
    ASSERT_EQ(DiplomatScreenBotschaften_Read(&d_, "CH40"), 1);
    ASSERT_EQ(d_.letterList->count, 2u);
  }
  void TearDown() override {
    DeleteList(d_.letterList, 1);
    ResetDiplomatModuleState();
    ResetChunkPoolState();
  }
  SmalListEntry* First() { return reinterpret_cast<SmalListEntry*>(d_.letterList->first); }
  DiplomatScreenData d_{};
};

TEST_F(LetterDeletion, ALetterWhoseFileIsGoneOnlyLeavesTheList) {
  ASSERT_TRUE(fs::remove("Data/MailIn/E00007d3_00.smal"));  // Ragnar's, shown first
  DiplomatScreenBotschaften_Delete(&d_);
  ASSERT_EQ(d_.letterList->count, 1u);
  EXPECT_STREQ(First()->subject, "Wool");
  EXPECT_EQ(d_.letterIndex, 1u);
  EXPECT_TRUE(g_said.empty());
  EXPECT_EQ(Files("Data/MailIn"), (std::vector<std::string>{"E00007d2_00.smal"}));
}

TEST_F(LetterDeletion, OnlyFilesInTheLettersFolderAreDeleted) {
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/keep.qoe", {1, 2, 3}));
  for (const char* path : {".\\Data\\keep.qoe", ".\\Data\\MailIn\\..\\keep.qoe", ".\\Data\\MailInx\\a", ".\\Data\\MailIn\\"}) {
    std::snprintf(First()->path, sizeof First()->path, "%s", path);
    DiplomatScreenBotschaften_Delete(&d_);
    EXPECT_EQ(d_.letterList->count, 2u) << path;
  }
  EXPECT_TRUE(fs::exists("Data/keep.qoe"));
  // Its own path again: the second letter (the last) goes, the first is current.
  std::snprintf(First()->path, sizeof First()->path, "%s", ".\\Data\\MailIn\\E00007d3_00.smal");
  d_.letterIndex = 2;
  DiplomatScreenBotschaften_Delete(&d_);
  ASSERT_EQ(d_.letterList->count, 1u);
  EXPECT_EQ(d_.letterIndex, 1u);
  EXPECT_EQ(Files("Data/MailIn"), (std::vector<std::string>{"E00007d3_00.smal"}));
}

}  // namespace
