// The internet page: the domain test, the numbers of the re-sent form, and
// the page by headless script: the fields typed (the passwords with
// backspaces and arrows), the choices applied at once, the changed address
// for the next upload, the servers tested against real dovecot and exim,
// the form re-sent before the realm exists, the chain of codes and a PNG.
#include "screens/hub/option1.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/signup_internal.h"
#include "screens/hub/tests/savegame_support.h"
#include "screens/hub/tests/signup_files.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

namespace {

TEST(MailDomains, TheDomainTestTable) {
  struct Row {
    const char *host, *address;
    int32_t result;
  };
  const Row rows[] = {
      {"pop.example.com", "me@example.com", 1},        // two dots: after the first
      {"example.com", "me@example.com", 1},            // one dot: the whole host
      {"localhost", "player@localhost", 1},            // no dot: the whole host
      {"mail.pop.example.com", "me@example.com", 0},   // three dots: the lengths differ
      {"mail.pop.example.com", "me@pop.example.com", 1},
      {"pop.xexample.com", "me@example.com", 0},       // contained, unequal lengths
      {"pop.example.com", "me@other.com", 0},          // not contained
      {"pop.example.com", "a@b@example.com", 1},       // the last "@"
      {"pop.example.com", "me", -1},                   // no "@": fails silently
      {"pop.example.com", "", -1},
      {"", "me@example.com", 0},
      {"pop.example.com:995", "me@example.com", 1},    // the port is no part of the name
      {"example.com:110", "me@example.com", 1},
      {"pop.example.com:995", "me@other.com", 0},
      {"[::1]:995", "me@example.com", 0},
      {"localhost:40110", "lord@localhost", 1},        // the demo's mailbox
  };
  for (const Row& r : rows) EXPECT_EQ(MailDomainsMatch(r.host, r.address), r.result) << r.host << " " << r.address;
  EXPECT_EQ(MailDomainsMatch(nullptr, nullptr), -1);
}

TEST(MailDomains, TheNumberOfTheResentForm) {
  EXPECT_EQ(NextSignupNumber(1), 2u);
  EXPECT_EQ(NextSignupNumber(1234567), 1234568u);
  EXPECT_EQ(NextSignupNumber(9999997), 9999998u);
  EXPECT_EQ(NextSignupNumber(9999998), 1u);  // never 0, never eight digits
  EXPECT_EQ(NextSignupNumber(9999999), 1u);
}

std::string PrefsEmail() {
  char* text = CheckPrefsStr(PREFS_EMAIL, 0, nullptr);
  std::string s = text ? text : "";
  FreeVec(text);
  return s;
}

// The boxes answered by the test: asks are answered from a list (0 yes),
// each ask and each message noted.
struct Answers {
  std::vector<uint32_t> asked;
  std::vector<std::string> said;
  std::vector<uint32_t> replies;  // taken in order; yes when used up
};
Answers* g_answers = nullptr;

class InternetPage : public ::testing::Test {
 protected:
  Answers answers;
  qoe_peers::PeerDir dir;
  qoe_peers::Dovecot dovecot;
  qoe_peers::Exim exim;

  void SetUp() override {
    savegame_test::PrepareTitleFolder();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    g_answers = &answers;
    static const Option1Player kPlayer = {
        [](void*, uint32_t catalog) -> uint32_t {
          g_answers->asked.push_back(catalog);
          if (g_answers->replies.empty()) return 0;
          const uint32_t r = g_answers->replies.front();
          g_answers->replies.erase(g_answers->replies.begin());
          return r;
        },
        [](void*, const char* text) { g_answers->said.push_back(text); }, nullptr};
    SetOption1Player(&kPlayer);
    SetGoOnlineNotice([](const char*) {});
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    EndpointDefaults(&QoESystemPtr->Endpoints);
    std::snprintf(QoESystemPtr->Endpoints.RegistrationMailbox, ENDPOINT_TEXT, "anmeldung@localhost");
    std::snprintf(QoESystemPtr->Endpoints.IrcServer, ENDPOINT_TEXT, "127.0.0.1:1");  // nobody answers
    OptionenPrefs& o = QoESystemPtr->Optionen;
    OptionenPrefsDefault(&o);
    o.tcpip_stack = 0;  // no stack: the servers are not reached
    o.net_option_bits = NET_MAIL_ROUTE;
    QoESystemPtr->TcpIpStack = 0;
    ASSERT_EQ(OptionenPrefsSave(&o), 1);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    CheckPrefs(PREFS_SIGNUP_NUMBER, 1, 0);
  }
  void TearDown() override {
    StopIrcPanel();
    SetOption1Player(nullptr);
    SetGoOnlineNotice(nullptr);
    MailSetTimeoutMs(0);
    FileFailWritesAfter(-1);
    g_answers = nullptr;
    savegame_test::CloseScreenTestDisplay();
    ResetChunkPoolState();
  }
  void StartPeers() {
    std::string err;
    const std::vector<qoe_peers::MailUser> users = {{"anmeldung", "secret"}, {"player", "secret"}};
    ASSERT_TRUE(qoe_peers::MakeCertificate(dir.path, &err)) << err;
    std::snprintf(QoESystemPtr->Endpoints.TlsAcceptCert, sizeof QoESystemPtr->Endpoints.TlsAcceptCert,
                  "%s/cert.pem", dir.path.c_str());
    ASSERT_TRUE(qoe_peers::StartDovecot(dir.path, users, &dovecot, &err)) << err;
    ASSERT_TRUE(qoe_peers::StartExim(dir.path, users, &exim, &err)) << err;
    OptionenPrefs& o = QoESystemPtr->Optionen;
    o.tcpip_stack = 4;
    QoESystemPtr->TcpIpStack = 4;
    std::snprintf(o.pop3_host, sizeof o.pop3_host, "127.0.0.1:%u", dovecot.pop3);
    std::snprintf(o.smtp_host, sizeof o.smtp_host, "127.0.0.1:%u", exim.smtp_auth);
    std::snprintf(o.pop3_user, sizeof o.pop3_user, "player");
    std::snprintf(o.pop3_password, sizeof o.pop3_password, "secret");
    std::snprintf(o.smtp_user, sizeof o.smtp_user, "player");
    std::snprintf(o.smtp_password, sizeof o.smtp_password, "secret");
    std::snprintf(o.email, sizeof o.email, "player@localhost");
    ASSERT_EQ(OptionenPrefsSave(&o), 1);
  }
  static int32_t Run(const std::string& script) { return savegame_test::RunScreen(Option1Screen, 134, script); }
  static std::string Click(int x, int y) { return qoe_test::ClickLine(x, y); }
  static std::string Field(int n) { return Click(300, 70 + n * 44 + 21); }
  static std::string Choice(int i) { return Click(540, 90 + i * 40); }
  // The field emptied (its text is at most 39 characters) and typed anew.
  static std::string Retype(int n, const std::string& text) {
    std::string s = Field(n);
    for (int i = 0; i < 40; ++i) s += "key backspace\n";
    return s + "text \"" + text + "\"\n";
  }
  static std::vector<uint8_t> Prefs() { return qoe_test::ReadFileBytes("Data/Optionen.prefs"); }
  static constexpr int kOkX = 320, kNextX = 440, kPrevX = 200, kExitX = 565, kRow = 445;
};

TEST_F(InternetPage, TheChainOfCodesAndOkWithoutTypingTestsNothing) {
  const auto saved = Prefs();
  EXPECT_EQ(Run(Click(kPrevX, kRow)), 133);
  EXPECT_EQ(Run(Click(kNextX, kRow)), 1141);
  EXPECT_EQ(Run(Click(kExitX, kRow)), 2);
  EXPECT_EQ(Run(Click(kOkX, kRow)), 2);
  EXPECT_TRUE(answers.asked.empty());
  EXPECT_TRUE(answers.said.empty());
  EXPECT_EQ(Prefs(), saved);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  EXPECT_EQ(Run("key esc\n"), 32);
  EXPECT_EQ(Run(Click(kOkX, kRow)), 32);
  EXPECT_EQ(Run(Click(kPrevX, kRow)), 133);
}

TEST_F(InternetPage, EveryFieldTypedThePasswordsFollowTheirDisplay) {
  // Arrows, insert and delete change neither the shown nor the real
  // password; backspace takes one character from both.
  const std::string script = Retype(0, "ulf") + Retype(1, "ab") + "key left\nkey left\ntext c\nkey insert\n" +
                             "key backspace\nkey delete\ntext d\nkey right\ntext %\n" + Retype(2, "pop.elmor.test") +
                             Retype(3, "smtp.elmor.test") + Retype(4, "ulf@elmor.test") + Retype(5, "ulfauth") +
                             Retype(6, "xy") + "key backspace\nkey backspace\nkey backspace\ntext zz\n" +
                             "wait 200\npng option_internet.png\n" + Click(kOkX, kRow);
  EXPECT_EQ(Run(script), 2);
  EXPECT_TRUE(qoe_test::KeepPng("option_internet.png"));
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  EXPECT_STREQ(o.pop3_user, "ulf");
  EXPECT_STREQ(o.pop3_password, "abd%");
  EXPECT_STREQ(o.pop3_host, "pop.elmor.test");
  EXPECT_STREQ(o.smtp_host, "smtp.elmor.test");
  EXPECT_STREQ(o.email, "ulf@elmor.test");
  EXPECT_STREQ(o.smtp_user, "ulfauth");
  EXPECT_STREQ(o.smtp_password, "zz");
  EXPECT_EQ(PrefsEmail(), "ulf@elmor.test");
  // The domains match, no stack is chosen: nothing asked, nothing tested;
  // OK saved the options.
  EXPECT_TRUE(answers.asked.empty());
  OptionenPrefs disk{};
  ASSERT_EQ(OptionenPrefsLoad(&disk), 1);
  EXPECT_STREQ(disk.pop3_password, "abd%");
  EXPECT_STREQ(disk.email, "ulf@elmor.test");
}

TEST_F(InternetPage, ServersTypedWithTheirPortsKeepThemAndTheDomainsStillMatch) {
  EXPECT_EQ(Run(Retype(2, "pop.elmor.test:995") + Retype(3, "smtp.elmor.test:465") + Retype(4, "ulf@elmor.test") +
                Click(kOkX, kRow)),
            2);
  EXPECT_STREQ(QoESystemPtr->Optionen.pop3_host, "pop.elmor.test:995");
  EXPECT_STREQ(QoESystemPtr->Optionen.smtp_host, "smtp.elmor.test:465");
  // The port is no part of the domain: no question about unequal domains.
  EXPECT_TRUE(answers.asked.empty());
}

TEST_F(InternetPage, AnEmptyAddressShowsPrefsField8) {
  QoESystemPtr->Optionen.email[0] = 0;
  std::snprintf(QoESystemPtr->Optionen.pop3_host, 40, "pop.elmor.test");
  CheckPrefsStr(PREFS_EMAIL, 1, "pref@elmor.test");
  EXPECT_EQ(Run(Retype(0, "ulf") + Click(kOkX, kRow)), 2);
  EXPECT_STREQ(QoESystemPtr->Optionen.email, "pref@elmor.test");
  EXPECT_TRUE(answers.asked.empty());
}

TEST_F(InternetPage, AnAddressWithoutAtBlocksTheWaysOutSilently) {
  const auto saved = Prefs();
  EXPECT_EQ(Run(Retype(4, "nobody") + Click(kOkX, kRow) + Click(kPrevX, kRow) + Click(kNextX, kRow) +
                "wait 100\npng blocked.png\n" + Click(kExitX, kRow)),
            2);
  EXPECT_TRUE(answers.asked.empty());
  EXPECT_TRUE(answers.said.empty());
  EXPECT_EQ(Prefs(), saved);
  EXPECT_STREQ(QoESystemPtr->Optionen.email, kOptionEmailPlaceholder);
}

TEST_F(InternetPage, UnequalDomainsAskAndCancelKeepsThePage) {
  answers.replies = {1, 0};  // cancel, then keep the settings
  EXPECT_EQ(Run(Retype(2, "mail.pop.elmor.test") + Retype(4, "ulf@elmor.test") + Click(kOkX, kRow) +
                Click(kOkX, kRow)),
            2);
  EXPECT_EQ(answers.asked, (std::vector<uint32_t>{1491, 1491}));
  EXPECT_STREQ(QoESystemPtr->Optionen.pop3_host, "mail.pop.elmor.test");
}

TEST_F(InternetPage, TheChoicesTakeEffectAtOnceAndSurviveExit) {
  const auto saved = Prefs();
  // The LAN (choice 4) goes online at once; the game-server route.
  EXPECT_EQ(Run(Choice(4) + Choice(6) + Click(kExitX, kRow)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.tcpip_stack, 4u);
  EXPECT_EQ(QoESystemPtr->TcpIpStack, 4u);
  EXPECT_NE(QoESystemPtr->Status.load() & SYSSTATUS_ONLINE, 0u);
  EXPECT_EQ(QoESystemPtr->Optionen.net_option_bits, NET_SERVER_ROUTE);
  EXPECT_EQ(Prefs(), saved);  // taken at once, saved only by OK
  // Back to no stack and the mail route; the panel on and off again.
  EXPECT_EQ(Run(Choice(0) + Choice(5) + Choice(5) + Choice(7) + "wait 100\n" + Choice(7) + Click(kOkX, kRow)), 2);
  EXPECT_EQ(QoESystemPtr->Optionen.tcpip_stack, 0u);
  EXPECT_EQ(QoESystemPtr->TcpIpStack, 0u);
  EXPECT_EQ(QoESystemPtr->Optionen.net_option_bits, NET_MAIL_ROUTE);
  OptionenPrefs disk{};
  ASSERT_EQ(OptionenPrefsLoad(&disk), 1);
  EXPECT_EQ(disk.tcpip_stack, 0u);
  EXPECT_EQ(disk.net_option_bits, NET_MAIL_ROUTE);
}

// Options of random bytes, loaded: the page shows the account's
// placeholders (not the random bytes cut to 39 characters), and its choices
// are the LAN and the mail route.
TEST_F(InternetPage, AfterRandomBytesThePageShowsTheDefaults) {
  for (uint32_t seed : {1u, 3504101453u}) {
    SCOPED_TRACE(seed);
    std::vector<uint8_t> bytes(OPTIONEN_PREFS_SIZE);
    uint32_t x = seed;
    for (uint8_t& b : bytes) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Optionen.prefs", bytes));
    ASSERT_EQ(OptionenPrefsLoad(&QoESystemPtr->Optionen), 1);
    QoESystemPtr->TcpIpStack = QoESystemPtr->Optionen.tcpip_stack;
    qoe_test::DrawnTextRecorder drawn;
    EXPECT_EQ(Run("wait 200\npng internet_random.png\n" + Click(kExitX, kRow)), 2);
    for (const char* shown : {"servername", "username", "username@servername", "********"})
      EXPECT_TRUE(drawn.Drew(shown)) << shown;
    for (const std::string& t : drawn.Texts())
      for (unsigned char c : t) EXPECT_TRUE(c >= 32 || c == '\n') << t;
    EXPECT_EQ(QoESystemPtr->Optionen.tcpip_stack, kTcpIpStackLan);
    EXPECT_EQ(QoESystemPtr->Optionen.net_option_bits & (NET_MAIL_ROUTE | NET_SERVER_ROUTE), NET_MAIL_ROUTE);
  }
  EXPECT_TRUE(qoe_test::KeepPng("internet_random.png"));
}

TEST_F(InternetPage, TheChangedAddressGoesIntoTheOutgoingPool) {
  const char* pool = ".\\Data\\POP3Out\\GameChunk.qoe";
  // Declined: the field shows the options' address again, nothing recorded.
  answers.replies = {1};
  EXPECT_EQ(Run(Retype(4, "new@elmor.test") + "key enter\n" + Click(kExitX, kRow)), 2);
  EXPECT_EQ(answers.asked, (std::vector<uint32_t>{793}));
  EXPECT_EQ(LoadChunk2Mem("INIT", pool), nullptr);
  EXPECT_STREQ(QoESystemPtr->Optionen.email, kOptionEmailPlaceholder);
  // Taken: an INIT chunk with only the address, the options and prefs 8.
  answers.asked.clear();
  QoESystemPtr->Optionen.pop3_host[0] = 0;
  std::snprintf(QoESystemPtr->Optionen.pop3_host, 40, "pop.elmor.test");
  EXPECT_EQ(Run(Retype(4, "new@elmor.test") + "key enter\n" + Click(kExitX, kRow)), 2);
  EXPECT_EQ(answers.asked, (std::vector<uint32_t>{793}));
  uint8_t* chunk = LoadChunk2Mem("INIT", pool);
  ASSERT_NE(chunk, nullptr);
  ASSERT_EQ(ChunkLength(chunk), (uint32_t)INIT_PAYLOAD);
  EXPECT_STREQ(reinterpret_cast<const char*>(chunk + INIT_EMAIL), "new@elmor.test");
  for (uint32_t i = 12; i < INIT_CHUNK_SIZE; ++i)
    if (i < INIT_EMAIL || i >= INIT_EMAIL + 40) {
      EXPECT_EQ(chunk[i], 0) << i;
    }
  FreeChunk(chunk);
  EXPECT_STREQ(QoESystemPtr->Optionen.email, "new@elmor.test");
  EXPECT_EQ(PrefsEmail(), "new@elmor.test");
}

TEST_F(InternetPage, TheServersTestedRightAndWrongLogIns) {
  ASSERT_NO_FATAL_FAILURE(StartPeers());
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);  // no form to re-send, no realm to upload
  // Right log-ins: taken over (the host "127.0.0.1:port" asks about the
  // domain, kept).
  EXPECT_EQ(Run(Retype(0, "player") + Click(kOkX, kRow)), 32);
  EXPECT_EQ(answers.asked, (std::vector<uint32_t>{1491}));
  EXPECT_TRUE(answers.said.empty());
  // A wrong POP3 password: the refusal shown, the page stays.
  EXPECT_EQ(Run(Retype(1, "wrong") + Click(kOkX, kRow) + Click(kExitX, kRow)), 32);
  ASSERT_EQ(answers.said.size(), 1u);
  EXPECT_EQ(answers.said[0].rfind("The following error occured: : ", 0), 0u) << answers.said[0];
  EXPECT_STREQ(QoESystemPtr->Optionen.pop3_password, "secret");
  // A wrong SMTP password.
  answers.said.clear();
  EXPECT_EQ(Run(Retype(6, "wrong") + Click(kOkX, kRow) + Click(kExitX, kRow)), 32);
  ASSERT_EQ(answers.said.size(), 1u);
  EXPECT_EQ(answers.said[0].rfind("The following error occured:: ", 0), 0u) << answers.said[0];
  EXPECT_STREQ(QoESystemPtr->Optionen.smtp_password, "secret");
}

TEST_F(InternetPage, InAccountState2TheUploadCarriesTheNewAddress) {
  ASSERT_NO_FATAL_FAILURE(StartPeers());
  qoe_peers::GameServerDouble server;
  std::string err;
  const std::string store = dir.path + "/store";
  ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, {"--store", store}, &server, &err)) << err;
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                server.port);
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
  CheckPrefs(PREFS_PLAYER_ID, 1, 4321);
  SetGameDataOwner(4321, "Lord");
  ASSERT_TRUE(qoe_test::WriteFileBytes(qoe_test::kFigureFile, qoe_test::FigureFileWithoutFigures()));
  uint8_t* korn = AllocChunk("KORN", "V001", 52);
  ASSERT_NE(korn, nullptr);
  AddChunkPool(korn, ReceivedPoolPath);
  FreeChunk(korn);
  // The address changed (recorded for the upload), then OK: the servers
  // tested, the orders uploaded at once.
  EXPECT_EQ(Run(Retype(4, "anmeldung@localhost") + "key enter\n" + Click(kOkX, kRow)), 2);
  EXPECT_TRUE(answers.said.empty());
  const std::string mail = qoe_peers::ReadText(store + "/put_001.txt");
  ASSERT_FALSE(mail.empty());
  uint8_t* out = nullptr;
  uint32_t len = 0;
  ASSERT_EQ(VDecode(mail.data(), mail.size(), &out, &len), VDECODE_OK);
  const std::string sent(reinterpret_cast<char*>(out), len);
  FreeVec(out);
  const size_t init = sent.find("INIT");
  ASSERT_NE(init, std::string::npos);
  EXPECT_EQ(sent.compare(init + INIT_EMAIL, 20, std::string("anmeldung@localhost") + '\0'), 0);
  SetGameDataOwner(0, nullptr);
}

TEST_F(InternetPage, AStalledServerIsARefusalAndTheLineIsHungUp) {
  std::string err;
  qoe_peers::ScriptedPeer pop;
  const std::string script = dir.path + "/pop3.txt";
  ASSERT_TRUE(qoe_peers::WriteText(script, "stall greeting\n"));
  ASSERT_TRUE(qoe_peers::StartScriptedPeer(dir.path, "pop3", {"--script", script}, &pop, &err)) << err;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  o.tcpip_stack = 1;  // a dial-up stack: GoOnline dials, Auflegen hangs up
  QoESystemPtr->TcpIpStack = 1;
  std::snprintf(o.pop3_host, sizeof o.pop3_host, "127.0.0.1:%u", pop.port);
  std::snprintf(o.email, sizeof o.email, "player@localhost");
  MailSetTimeoutMs(300);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  EXPECT_EQ(Run(Retype(0, "player") + Click(kOkX, kRow) + Click(kExitX, kRow)), 32);
  ASSERT_EQ(answers.said.size(), 1u);
  EXPECT_NE(answers.said[0].find("time-out"), std::string::npos) << answers.said[0];
  EXPECT_EQ(QoESystemPtr->Status.load() & SYSSTATUS_ONLINE, 0u);
  EXPECT_STREQ(o.pop3_user, "username");
}

// Account state 1: the form of number n, with its names.
class InternetPageSignup : public InternetPage {
 protected:
  static constexpr uint32_t kNumber = 4711;
  std::vector<uint8_t> old_file;
  void SetUp() override {
    InternetPage::SetUp();
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
    CheckPrefs(PREFS_SIGNUP_NUMBER, 1, kNumber);
    uint8_t* chunk = NewInitChunk();
    ASSERT_NE(chunk, nullptr);
    std::strcpy(reinterpret_cast<char*>(chunk + INIT_FIRST_NAME), "Ulf");
    std::strcpy(reinterpret_cast<char*>(chunk + INIT_LAST_NAME), "Berg");
    std::strcpy(reinterpret_cast<char*>(chunk + INIT_EMAIL), "player@localhost");
    char path[32];
    SignupFilePath(kNumber, path, sizeof path);
    ASSERT_EQ(SaveChunk2File(path, chunk), 1);
    FreeChunk(chunk);
    old_file = qoe_test::ReadFileBytes("Data/I0004711.qoe");
    ASSERT_FALSE(old_file.empty());
  }
};

TEST_F(InternetPageSignup, TheFormIsResentUnderTheNextNumber) {
  ASSERT_NO_FATAL_FAILURE(StartPeers());
  // The new address is a second mailbox of the same servers.
  EXPECT_EQ(Run(Retype(4, "anmeldung@localhost") + Click(kOkX, kRow)), 32);
  EXPECT_EQ(CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0), kNumber + 1);
  EXPECT_FALSE(qoe_test::FileExists("Data/I0004711.qoe"));
  auto now = qoe_test::ReadFileBytes("Data/I0004712.qoe");
  ASSERT_EQ(now.size(), old_file.size());
  // Byte for byte the old form but for the address and the time it was sent.
  uint8_t* chunk = LoadChunk2Mem("INIT", ".\\Data\\I0004712.qoe");
  ASSERT_NE(chunk, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(chunk + INIT_EMAIL), "anmeldung@localhost");
  EXPECT_STREQ(reinterpret_cast<const char*>(chunk + INIT_FIRST_NAME), "Ulf");
  EXPECT_NE(ChunkGet32(chunk, INIT_SENT_TIME), 0u);
  FreeChunk(chunk);
  size_t differ = 0;
  for (size_t i = 0; i < now.size(); ++i) differ += now[i] != old_file[i];
  EXPECT_LE(differ, 4u + 40u);
  // The registration mailbox holds the mail of the same number (beside the
  // server test's mail to the new address, which is the same mailbox).
  ASSERT_TRUE(qoe_peers::WaitMaildir(dovecot.mail_root, "anmeldung", 2, 20000));
  bool found = false;
  for (const std::string& f : qoe_peers::MaildirFiles(dovecot.mail_root, "anmeldung"))
    found |= qoe_peers::ReadText(f).find("I0004712") != std::string::npos;
  EXPECT_TRUE(found);
  EXPECT_TRUE(answers.said.empty());
}

TEST_F(InternetPageSignup, ASaveFailureKeepsTheOldFormAndItsNumber) {
  FileFailWritesAfter(0);
  EXPECT_EQ(Run(Retype(4, "ulf@elmor.test") + Click(kOkX, kRow)), 32);
  FileFailWritesAfter(-1);
  EXPECT_EQ(CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0), kNumber);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/I0004711.qoe"), old_file);
  EXPECT_FALSE(qoe_test::FileExists("Data/I0004712.qoe"));
  ASSERT_EQ(answers.said.size(), 1u);
  EXPECT_EQ(answers.said[0], "Couln't send email!");
}

}  // namespace

namespace {

// The re-sent form killed at random moments (no network: the mail is not
// sent): after the next start's recovery the new form, prefs field 11 and the
// old form's removal are all there or none of them.
TEST(ResentFormKills, TheNewFormItsNumberAndTheOldFormsRemovalGoTogether) {
  savegame_test::PrepareTitleFolder(false);
  static const Option1Player kQuiet = {[](void*, uint32_t) -> uint32_t { return 0; }, [](void*, const char*) {},
                                       nullptr};
  SetOption1Player(&kQuiet);
  SetGoOnlineNotice([](const char*) {});
  QoESystemPtr->TcpIpStack = 0;
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  CheckPrefs(PREFS_SIGNUP_NUMBER, 1, 4711);
  uint8_t* chunk = NewInitChunk();
  ASSERT_NE(chunk, nullptr);
  std::strcpy(reinterpret_cast<char*>(chunk + INIT_FIRST_NAME), "Ulf");
  std::strcpy(reinterpret_cast<char*>(chunk + INIT_EMAIL), "player@localhost");
  ASSERT_EQ(SaveChunk2File(".\\Data\\I0004711.qoe", chunk), 1);
  FreeChunk(chunk);
  signup_files::SlowSyncs(true);
  qoe_test::ExpectOldOrNewAfterKills(
      [] {
        ResendSignupForm("ulf@elmor.test");
        return 0;
      },
      signup_files::Files, signup_files::Restore, 40, 23);
  signup_files::SlowSyncs(false);
  SetOption1Player(nullptr);
  SetGoOnlineNotice(nullptr);
  // The last run's start: whatever it left, a whole old or new state.
  const auto files = signup_files::Files();
  EXPECT_TRUE(files.count("Data/I0004711.qoe") != files.count("Data/I0004712.qoe"));
}

}  // namespace
