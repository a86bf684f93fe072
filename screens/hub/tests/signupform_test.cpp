// The sign-up form by headless script (the Tab and Enter order, the hit
// areas and help boxes, the fields' limits, a stored form shown, a missing
// one empty), the forum check against the HTTP double for every code, and
// the offer of a temporary address.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/hub/signup.h"
#include "screens/hub/signup_internal.h"
#include "screens/hub/tests/savegame_support.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;

namespace {

// What the screen's record held when the visit ended.
struct Visit {
  std::vector<uint8_t> chunk;
  uint32_t active = 0;
  bool help = false;
  bool cursor = false;
};
Visit g_visit;

class SignupForm : public ::testing::Test {
 protected:
  void SetUp() override {
    savegame_test::PrepareTitleFolder();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    EndpointDefaults(&QoESystemPtr->Endpoints);
    std::snprintf(QoESystemPtr->Endpoints.MailDomain, ENDPOINT_TEXT, "elmor.test");
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    QoESystemPtr->TcpIpStack = 4;
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);  // the form at once, no opening boxes
    CheckPrefs(PREFS_SIGNUP_NUMBER, 1, 0);
    g_visit = Visit{};
    SetSignupVisitHook([](const SignupScreenData* d) {
      g_visit.chunk.assign(d->chunk, d->chunk + INIT_CHUNK_SIZE);
      g_visit.active = d->activeField;
      g_visit.help = d->help != nullptr;
      g_visit.cursor = d->cursor != nullptr;
    });
  }
  void TearDown() override {
    SetSignupVisitHook(nullptr);
    SetSignupPlayer(nullptr);
    savegame_test::CloseScreenTestDisplay();
  }
  static int32_t Run(const std::string& script) { return savegame_test::RunScreen(InitScreen, 32, script); }
  static std::string Field(uint32_t offset, uint32_t size) {
    return std::string(reinterpret_cast<const char*>(g_visit.chunk.data() + offset),
                       strnlen(reinterpret_cast<const char*>(g_visit.chunk.data() + offset), size));
  }
  static std::string Click(int x, int y) { return qoe_test::ClickLine(x, y); }
};

TEST_F(SignupForm, TabAndEnterWalkTheFieldsAndTheEmailFieldLeadsToTheConfirmation) {
  EXPECT_EQ(Run("key esc\n"), 1);
  EXPECT_EQ(g_visit.active, 1u);
  const std::pair<int, uint32_t> steps[] = {{1, 2}, {8, 9}, {9, 14}, {11, 16}, {12, 1}};
  for (const auto& [tabs, field] : steps) {
    std::string s;
    for (int i = 0; i < tabs; ++i) s += i % 2 ? "key enter\n" : "key tab\n";
    EXPECT_EQ(Run(s + "key esc\n"), 1);
    EXPECT_EQ(g_visit.active, field) << tabs;
  }
}

TEST_F(SignupForm, EachFieldsHitAreaItsLimitsAndTheRemarksFourLines) {
  // Hit areas (the label's left part, the box's last row) for every field.
  const struct {
    uint32_t field;
    int y;
  } hits[] = {{1, 41}, {2, 61}, {3, 81}, {4, 101}, {5, 121}, {6, 141}, {7, 161},
              {8, 181}, {9, 201}, {14, 321}, {15, 341}, {16, 390}, {16, 456}};
  for (const auto& h : hits) {
    EXPECT_EQ(Run(Click(40, h.y) + "key esc\n"), 1);
    EXPECT_EQ(g_visit.active, h.field) << h.y;
  }
  // The reserved rows and the space between the fields select nothing.
  EXPECT_EQ(Run(Click(60, 260) + "key esc\n"), 1);
  EXPECT_EQ(g_visit.active, 1u);
  // The postcode takes 9 characters, the phone 19; typed in place.
  EXPECT_EQ(Run(Click(40, 101) + "text \"123456789012\"\n" + Click(40, 161) + "text \"01234567890123456789012\"\n" +
                "key esc\n"),
            1);
  EXPECT_EQ(Field(INIT_POSTCODE, 10), "123456789");
  EXPECT_EQ(Field(INIT_PHONE, 20), "0123456789012345678");
  // The remark wraps and stops at its fourth line.
  std::string words;
  for (int i = 0; i < 80; ++i) words += "word" + std::to_string(i) + " ";
  EXPECT_EQ(Run(Click(40, 390) + "text \"" + words + "\"\nwait 200\npng signup_remark.png\nkey esc\n"), 1);
  EXPECT_TRUE(qoe_test::KeepPng("signup_remark.png"));
  const std::string remark = Field(INIT_REMARK, 256);
  EXPECT_GT(remark.size(), 100u);
  EXPECT_LT(remark.size(), words.size());
  EXPECT_EQ(words.rfind(remark, 0), 0u);
}

TEST_F(SignupForm, AStoredFormIsShownAndAMissingOneGivesAnEmptyForm) {
  uint8_t* c = NewInitChunk();
  std::strcpy(reinterpret_cast<char*>(c + INIT_PLAYER_NAME), "Haraldo");
  std::strcpy(reinterpret_cast<char*>(c + INIT_REMARK), "Hello");
  ASSERT_EQ(SaveChunk2File(".\\Data\\I0004711.qoe", c), 1);
  FreeChunk(c);
  CheckPrefs(PREFS_SIGNUP_NUMBER, 1, 4711);
  EXPECT_EQ(Run("key esc\n"), 1);
  EXPECT_EQ(Field(INIT_PLAYER_NAME, 40), "Haraldo");
  EXPECT_EQ(Field(INIT_REMARK, 256), "Hello");
  fs::remove("Data/I0004711.qoe");
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key esc\n"), 1);
  EXPECT_EQ(Field(INIT_PLAYER_NAME, 40), "");
  EXPECT_TRUE(log.Has("leeres Formular"));
  // A damaged file is no form either.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/I0004711.qoe", {'I', 'N', 'I', 'T', 1, 2}));
  EXPECT_EQ(Run("key esc\n"), 1);
  EXPECT_EQ(Field(INIT_PLAYER_NAME, 40), "");
  // The options' address is put into an empty form in account state 0.
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 0);
  std::strcpy(QoESystemPtr->Optionen.email, "ulf@example.org");
  EXPECT_EQ(Run("key enter\nkey enter\nkey esc\nkey esc\n"), 1);
  EXPECT_EQ(Field(INIT_EMAIL, 40), "ulf@example.org");
}

// ---- the forum check and the offer, with a scripted player ------------------------------

struct Answers {
  std::vector<uint32_t> yesno;
  std::string password;
  std::vector<std::string> boxes;
  static uint32_t Message(void* user, uint32_t mode, const char* text) {
    auto* a = static_cast<Answers*>(user);
    a->boxes.push_back(text);
    if (mode != 1 || a->yesno.empty()) return 0;
    const uint32_t r = a->yesno.front();
    a->yesno.erase(a->yesno.begin());
    return r;
  }
  static int32_t Input(void* user, uint32_t, char* buffer, uint32_t size) {
    auto* a = static_cast<Answers*>(user);
    if (a->password.empty()) return 0;
    std::snprintf(buffer, size, "%s", a->password.c_str());
    return 1;
  }
  bool Saw(const std::string& t) const {
    for (const auto& b : boxes)
      if (b.find(t) != std::string::npos) return true;
    return false;
  }
};

class SignupForum : public SignupForm {
 protected:
  qoe_peers::PeerDir dir;
  Answers answers;
  SignupScreenData* d = nullptr;
  std::string transcript;
  void SetUp() override {
    SignupForm::SetUp();
    // The screen's picture: the progress box of the check stands on it.
    ASSERT_NE(OpenElmorPic(".\\Data\\Path", 32, 0), -1);
    SignupPlayer seam{&Answers::Input, &Answers::Message, &answers};
    SetSignupPlayer(&seam);
    d = NewSignupData();
    ASSERT_NE(d, nullptr);
    std::strcpy(d->fieldText[8], "Haraldo");
    std::strcpy(d->fieldText[9], "h+x@example.org");
  }
  void TearDown() override {
    FreeSignupData(d);
    CloseElmorPic(32, 0);
    SignupForm::TearDown();
  }
  // The double: first and second answer bodies (the second for requests
  // with a password).
  void Forum(const std::string& first, const std::string& second = "") {
    std::string err;
    transcript = dir.path + "/forum" + std::to_string(port_count_++) + ".txt";
    const std::string a = dir.path + "/a" + std::to_string(port_count_), b = dir.path + "/b" + std::to_string(port_count_);
    ASSERT_TRUE(qoe_peers::WriteText(a, "HTTP/1.0 200 OK\r\n\r\n" + first));
    ASSERT_TRUE(qoe_peers::WriteText(b, "HTTP/1.0 200 OK\r\n\r\n" + second));
    forum_ = std::make_unique<qoe_peers::NetDouble>();
    ASSERT_TRUE(qoe_peers::StartNetDouble(
        dir.path, "http",
        {"--transcript", transcript, "--answer", "/check_user.php?username=Haraldo&email=h%2Bx%40example%2Eorg&password=",
         b, "--answer", "/check_user.php", a},
        forum_.get(), &err))
        << err;
    std::snprintf(QoESystemPtr->Endpoints.WebHost, ENDPOINT_TEXT, "127.0.0.1:%u", forum_->port);
  }
  int port_count_ = 0;
  std::unique_ptr<qoe_peers::NetDouble> forum_;
};

TEST_F(SignupForum, EveryCodeOfTheForum) {
  const struct {
    std::string body;
    int32_t result;
    uint32_t message;  // 0: none
  } cases[] = {{"200", 1, 0},   {"200 free", 1, 0}, {"409", 0, 1517}, {"500", 0, 1516},
               {"abc", 0, 0},   {"", 0, 0},         {"0", 0, 1516}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    ASSERT_NO_FATAL_FAILURE(Forum(c.body));
    answers = Answers{};
    EXPECT_EQ(CheckPlayernameInForum(d), c.result);
    if (c.message) EXPECT_TRUE(answers.Saw(GetCatalogStr(c.message)));
    else EXPECT_TRUE(answers.boxes.empty());
  }
  ASSERT_NO_FATAL_FAILURE(Forum("403"));
  answers = Answers{};
  EXPECT_EQ(CheckPlayernameInForum(d), 0);
  EXPECT_TRUE(answers.Saw(GetCatalogStr(1820)));
  // The name and the address reach the page intact.
  EXPECT_NE(qoe_peers::ReadText(transcript).find("username=Haraldo&email=h%2Bx%40example%2Eorg"), std::string::npos) << qoe_peers::ReadText(transcript);
  // No server: no answer, no message.
  std::snprintf(QoESystemPtr->Endpoints.WebHost, ENDPOINT_TEXT, "127.0.0.1:%u", qoe_peers::FreePort());
  answers = Answers{};
  EXPECT_EQ(CheckPlayernameInForum(d), 0);
  EXPECT_TRUE(answers.boxes.empty());
  // The confirmation address goes instead of field 9 when given.
  ASSERT_NO_FATAL_FAILURE(Forum("200"));
  std::strcpy(d->fieldText[14], "c&d@example.org");
  EXPECT_EQ(CheckPlayernameInForum(d), 1);
  EXPECT_NE(qoe_peers::ReadText(transcript).find("email=c%26d%40example%2Eorg"), std::string::npos);
}

TEST_F(SignupForum, ATakenNameWithItsPassword) {
  const struct {
    std::string second;
    int32_t result;
    uint32_t message;
  } cases[] = {{"202", 1, 0}, {"401", 0, 1515}, {"400", 0, 0}, {"0", 0, 0}, {"777", 0, 1516}, {"none", 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.second);
    ASSERT_NO_FATAL_FAILURE(Forum("401", c.second));
    answers = Answers{};
    answers.password = "Geheim&7";
    qoe_test::LogLines log;
    EXPECT_EQ(CheckPlayernameInForum(d), c.result);
    EXPECT_TRUE(answers.Saw(GetCatalogStr(1512))) << qoe_peers::ReadText(transcript) << ::testing::PrintToString(answers.boxes);
    if (c.message) EXPECT_TRUE(answers.Saw(GetCatalogStr(c.message)));
    else EXPECT_EQ(answers.boxes.size(), 1u) << ::testing::PrintToString(answers.boxes);
    EXPECT_NE(qoe_peers::ReadText(transcript).find("&password=Geheim%267"), std::string::npos);
    EXPECT_FALSE(log.Has("Geheim"));
  }
  // Cancel at the question, and at the password: no second request.
  ASSERT_NO_FATAL_FAILURE(Forum("401", "202"));
  answers = Answers{};
  answers.yesno = {1};
  answers.password = "x";
  EXPECT_EQ(CheckPlayernameInForum(d), 0);
  answers = Answers{};
  EXPECT_EQ(CheckPlayernameInForum(d), 0);
  EXPECT_EQ(qoe_peers::ReadText(transcript).find("password="), std::string::npos);
}

TEST_F(SignupForum, TheTemporaryAddressOnOfferYesNoAndTheGamesOwnDomain) {
  // No: the address stays and becomes the options'.
  answers.yesno = {1};
  OfferTemporaryAddress(d);
  EXPECT_TRUE(answers.Saw(GetCatalogStr(1496)));
  EXPECT_TRUE(answers.Saw(GetCatalogStr(1497)));
  EXPECT_STREQ(d->fieldText[9], "h+x@example.org");
  EXPECT_STREQ(QoESystemPtr->Optionen.email, "h+x@example.org");
  EXPECT_STREQ(QoESystemPtr->Optionen.smtp_host, kOptionHostPlaceholder);
  // Yes: a shared mailbox of 1..51 in the form and the account.
  answers = Answers{};
  ZufallSeed(5);
  OfferTemporaryAddress(d);
  const std::string a = d->fieldText[9];
  EXPECT_EQ(a.rfind("faltplanke", 0), 0u) << a;
  const int n = std::atoi(a.c_str() + 10);
  EXPECT_GE(n, 1);
  EXPECT_LE(n, 51);
  EXPECT_EQ(a.substr(a.find('@')), "@elmor.test");
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  EXPECT_EQ(a, o.email);
  EXPECT_EQ(a, o.pop3_user);
  EXPECT_EQ(a, o.smtp_user);
  EXPECT_STREQ(o.pop3_host, "elmor.test");
  EXPECT_STREQ(o.smtp_password, "faltplanke");
  // An address of the game's own domain (or none): nothing is offered.
  answers = Answers{};
  OfferTemporaryAddress(d);
  std::memset(d->fieldText[9], 0, 40);
  OfferTemporaryAddress(d);
  EXPECT_TRUE(answers.boxes.empty());
}

}  // namespace
