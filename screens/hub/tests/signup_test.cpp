// The sign-up: the checks of the form (table-driven), the player number,
// the providers' presets, the answer reader on hostile files, and the
// screen driven headless against real exim and dovecot, the forum double
// and the registration desk: the form sent, the answer fetched, the game
// installed; the rejection, an answer without maps, a failed install and a
// failed save.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/close.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"
#include "screens/hub/residenzdownload_internal.h"
#include "screens/hub/signup.h"
#include "screens/hub/signup_internal.h"
#include "screens/hub/tests/savegame_support.h"
#include "screens/hub/tests/signup_files.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/signupdesk/signupdesk.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;

namespace {

std::vector<uint8_t> Form(const std::vector<std::pair<uint32_t, std::string>>& fields) {
  std::vector<uint8_t> c(INIT_CHUNK_SIZE, 0);
  for (const auto& [off, text] : fields) std::memcpy(c.data() + off, text.data(), text.size());
  return c;
}

std::string Check(const std::vector<uint8_t>& c, int mail) {
  char buf[200];
  const char* m = SignupCheckMessage(c.data(), mail, buf, sizeof buf);
  return m ? m : "";
}

// ---- the checks -----------------------------------------------------------------------

TEST(SignupChecks, TitlesNamesAndAddressesInTheirOrder) {
  EndpointDefaults(&QoESystemPtr->Endpoints);
  std::snprintf(QoESystemPtr->Endpoints.MailDomain, ENDPOINT_TEXT, "elmor.test");
  const std::string title = GetCatalogStr(1494);
  const char* words[] = {"Lord",   "Baron", "Vicomte", "Graf", "Marquis", "Herzog",    "Erzherzog", "K\xF6nig",
                         "Kaiser", "Viscount", "Earl", "Duke", "Arch duke", "King", "Emperor"};
  for (const char* w : words) {
    EXPECT_EQ(Check(Form({{INIT_PLAYER_NAME, std::string("Xy") + w}}), 0), title) << w;
    std::string lower(w);
    for (char& ch : lower) ch = (char)std::tolower((unsigned char)ch);
    if (lower.find(' ') == std::string::npos && lower.find('\xF6') == std::string::npos) {
      EXPECT_EQ(Check(Form({{INIT_PLAYER_NAME, "Xy" + lower}}), 0), "") << lower;
    }
  }
  EXPECT_EQ(Check(Form({}), 0), std::string(GetCatalogStr(1818)));
  EXPECT_EQ(qoe_test::GermanPastCatalog(Check(Form({}), 0)), "");
  EXPECT_EQ(Check(Form({{INIT_PLAYER_NAME, "Ab"}}), 0), std::string(GetCatalogStr(1819)));
  EXPECT_EQ(Check(Form({{INIT_PLAYER_NAME, "J\xFCrgen"}}), 0), std::string(GetCatalogStr(1334)) + " J\xFCrgen");
  // A title with an umlaut: the title's message comes first.
  EXPECT_EQ(Check(Form({{INIT_PLAYER_NAME, "K\xF6nigin"}}), 0), title);
  // The mail checks only with the flag.
  const uint32_t name = INIT_PLAYER_NAME, mail = INIT_EMAIL;
  EXPECT_EQ(Check(Form({{name, "Harald"}}), 0), "");
  EXPECT_EQ(Check(Form({{name, "Harald"}}), 1), GetCatalogStr(1495));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {mail, "@x.de"}}), 1), GetCatalogStr(1495));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {mail, ".x@y.de"}}), 1), GetCatalogStr(1495));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {mail, "h@protonmail.com"}}), 1), GetCatalogStr(1533));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {mail, "h@tutanota.de"}}), 1), GetCatalogStr(1533));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {mail, "h@outlook.com"}}), 1), GetCatalogStr(1534));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {mail, "h@Hotmail.com"}}), 1), GetCatalogStr(1534));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {mail, "h@outlook.com"}}), 0), "");
  EXPECT_EQ(Check(Form({{name, "Harald"}, {mail, "h@gmx.de"}}), 1), "");
  // The confirmation address of the game's own domain, the mobile number.
  EXPECT_EQ(Check(Form({{name, "Harald"}, {INIT_CONFIRM_EMAIL, "a@elmor.test"}}), 0), GetCatalogStr(1478));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {INIT_CONFIRM_EMAIL, "a@gmx.de"}}), 0), "");
  EXPECT_EQ(Check(Form({{name, "Harald"}, {INIT_MOBILE, "0171 22"}}), 0), GetCatalogStr(1479));
  EXPECT_EQ(Check(Form({{name, "Harald"}, {INIT_MOBILE, "017122"}}), 0), "");
  // A full name field (40 bytes, no end) is read only inside the field.
  std::vector<uint8_t> full = Form({});
  std::memset(full.data() + INIT_PLAYER_NAME, 'a', 40);
  full[INIT_PLAYER_NAME + 40] = 'L';  // the next field begins with a title letter
  EXPECT_EQ(Check(full, 0), "");
}

TEST(SignupChecks, PlayerNumberByTheStepsWorkedOutByHand) {
  auto with = [](std::vector<std::pair<uint32_t, std::string>> f) { return Form(f); };
  // 1000 + 65 = 1065; x16 17040; x8 136320; x4 545280; x2 1090560.
  EXPECT_EQ(PlayerNumberOf(with({{INIT_FIRST_NAME, "A"}}).data(), 1000), 1090560u);
  // A Latin-1 byte counts as signed: 0xE9 is -23: 977 x 16 x 8 x 4 x 2.
  EXPECT_EQ(PlayerNumberOf(with({{INIT_FIRST_NAME, "\xE9"}}).data(), 1000), 977u * 1024u);
  // The sum wraps at 32 bits: 0xFFFFFFFF + 66 = 65; 65 x 1024 = 66560.
  EXPECT_EQ(PlayerNumberOf(with({{INIT_FIRST_NAME, "B"}}).data(), 0xFFFFFFFFu), 66560u);
  // Every field in its step: last name, street, phone, e-mail.
  // ((((0 x16 + 1) x8 + 2) x4 + 3) x2 + 4) with bytes 1, 2, 3, 4.
  EXPECT_EQ(PlayerNumberOf(
                with({{INIT_LAST_NAME, "\x01"}, {INIT_STREET, "\x02"}, {INIT_PHONE, "\x03"}, {INIT_EMAIL, "\x04"}}).data(),
                0),
            ((1u * 8 + 2) * 4 + 3) * 2 + 4);
  // Modulo 9,999,999: never the limit or more.
  std::mt19937 rng(7);
  std::vector<uint8_t> c(INIT_CHUNK_SIZE);
  for (int i = 0; i < 100000; ++i) {
    for (auto& b : c) b = (uint8_t)rng();
    const uint32_t t = rng();
    const uint32_t a = PlayerNumberOf(c.data(), t);
    ASSERT_LT(a, kSignupNumberLimit);
    if (i % 1000 == 0) { EXPECT_NE(PlayerNumberOf(c.data(), t + 1), a); }
  }
}

TEST(SignupChecks, ProviderPresetsForEveryRowInBothModes) {
  uint32_t count = 0;
  const MailProviderPreset* rows = MailProviderTable(&count);
  ASSERT_EQ(count, 12u);
  uint32_t markers = 0, users = 0, same = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const MailProviderPreset& p = rows[i];
    users += p.writesUser;
    same += std::strcmp(p.smtpHost, p.pop3Host) == 0 ? 0 : 0;
    for (const char* m : p.markers) {
      if (!m) continue;
      ++markers;
      const std::string address = std::string("hans") + m + (std::strchr(m, '.') ? "" : ".com");
      OptionenPrefsDefault(&QoESystemPtr->Optionen);
      const OptionenPrefs& o = QoESystemPtr->Optionen;
      EXPECT_EQ(SetMailProviderPresets(address.c_str(), PRESETS_SMTP), 1) << address;
      EXPECT_STREQ(o.smtp_host, p.smtpHost);
      EXPECT_STREQ(o.pop3_host, kOptionHostPlaceholder);
      EXPECT_EQ(SetMailProviderPresets(address.c_str(), PRESETS_POP3), 1);
      EXPECT_STREQ(o.pop3_host, p.pop3Host);
      if (p.writesUser) {
        EXPECT_EQ(address, o.pop3_user);
        EXPECT_STREQ(o.pop3_password, kOptionPasswordPlaceholder);
      } else {
        EXPECT_STREQ(o.pop3_user, kOptionUserPlaceholder);
      }
    }
    std::string host(p.pop3Host);
    same += host.substr(0, host.find(':')) == std::string(p.smtpHost).substr(0, std::string(p.smtpHost).find(':'));
  }
  EXPECT_EQ(markers, 13u);
  EXPECT_EQ(users, 7u);
  EXPECT_EQ(same, 1u);
  OptionenPrefsDefault(&QoESystemPtr->Optionen);
  EXPECT_EQ(SetMailProviderPresets("hans@example.org", PRESETS_SMTP), 0);
  EXPECT_STREQ(QoESystemPtr->Optionen.smtp_host, kOptionHostPlaceholder);
}

TEST(SignupChecks, SharedMailboxFillsTheSixAccountFields) {
  EndpointDefaults(&QoESystemPtr->Endpoints);
  std::snprintf(QoESystemPtr->Endpoints.MailDomain, ENDPOINT_TEXT, "elmor.test");
  OptionenPrefsDefault(&QoESystemPtr->Optionen);
  UseSharedMailbox(17);
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  EXPECT_STREQ(o.smtp_host, "elmor.test");
  EXPECT_STREQ(o.pop3_host, "elmor.test");
  EXPECT_STREQ(o.smtp_user, "faltplanke17@elmor.test");
  EXPECT_STREQ(o.pop3_user, "faltplanke17@elmor.test");
  EXPECT_STREQ(o.smtp_password, "faltplanke");
  EXPECT_STREQ(o.pop3_password, "faltplanke");
  EXPECT_STREQ(o.email, kOptionEmailPlaceholder);  // the address is the caller's
}

TEST(SignupChecks, TabAndEnterOrderSkipsTheReservedRows) {
  std::vector<uint32_t> order;
  uint32_t f = 1;
  for (int i = 0; i < 13; ++i) order.push_back(f = NextSignupField(f));
  EXPECT_EQ(order, (std::vector<uint32_t>{2, 3, 4, 5, 6, 7, 8, 9, 14, 15, 16, 1, 2}));
  const SignupFieldDef* t = SignupFieldTable();
  EXPECT_EQ(t[4].maxLength, 10u);
  EXPECT_EQ(t[4].boxWidth, 104u);
  EXPECT_EQ(t[16].lines, 4u);
  for (uint32_t r = 10; r <= 13; ++r) EXPECT_EQ(t[r].flag, 0u);
  uint32_t widths = 0;
  for (uint32_t r = 1; r < kSignupFields; ++r) widths += t[r].maxLength;
  EXPECT_LE(widths, kSignupWidthBlock);
}

// ---- the answer reader ------------------------------------------------------------------

std::vector<uint8_t> Chunk(const char* id, const std::string& payload, uint32_t promised) {
  std::vector<uint8_t> c(12 + payload.size());
  std::memcpy(c.data(), id, 4);
  std::memcpy(c.data() + 4, "V001", 4);
  c[8] = (uint8_t)(promised >> 24);
  c[9] = (uint8_t)(promised >> 16);
  c[10] = (uint8_t)(promised >> 8);
  c[11] = (uint8_t)promised;
  std::memcpy(c.data() + 12, payload.data(), payload.size());
  return c;
}

TEST(SignupAnswer, ErorTextIsBoundedByTheFile) {
  auto file = Chunk("INFO", std::string(32, 0), 32);
  const auto eror = Chunk("EROR", "Name taken", 10);
  file.insert(file.end(), eror.begin(), eror.end());
  SignupAnswerInfo info{};
  char text[64];
  ReadSignupAnswer(file.data(), (uint32_t)file.size(), &info, text, sizeof text);
  EXPECT_EQ(info.rejected, 1);
  EXPECT_STREQ(text, "Name taken");
  EXPECT_EQ(info.hasMaps, 0);
  // A header promising more than the file holds: cut to what is there.
  auto lying = Chunk("EROR", "Short", 0x7FFFFFF0u);
  ReadSignupAnswer(lying.data(), (uint32_t)lying.size(), &info, text, sizeof text);
  EXPECT_EQ(info.rejected, 1);
  EXPECT_STREQ(text, "Short");
  // A text longer than the buffer ends inside it.
  auto long_text = Chunk("EROR", std::string(200, 'x'), 200);
  ReadSignupAnswer(long_text.data(), (uint32_t)long_text.size(), &info, text, sizeof text);
  EXPECT_EQ(std::strlen(text), sizeof text - 1);
  // Truncated headers and nothing at all.
  for (size_t n = 0; n < 12; ++n) {
    ReadSignupAnswer(eror.data(), (uint32_t)n, &info, text, sizeof text);
    EXPECT_EQ(info.rejected, 0);
    EXPECT_STREQ(text, "");
  }
  ReadSignupAnswer(nullptr, 0, &info, text, sizeof text);
  EXPECT_EQ(info.rejected, 0);
  // The maps are seen.
  std::vector<uint8_t> maps;
  for (const char* id : {"INFO", "BMAP", "IMAP", "PMAP"}) {
    auto c = Chunk(id, "abcd", 4);
    maps.insert(maps.end(), c.begin(), c.end());
  }
  ReadSignupAnswer(maps.data(), (uint32_t)maps.size(), &info, nullptr, 0);
  EXPECT_EQ(info.hasMaps, 1);
  EXPECT_EQ(info.rejected, 0);
  // Forum answers: no answer and a body without a number are no answer.
  EXPECT_EQ(ForumReplyCode(nullptr, 0), -1);
  const std::string ok = "HTTP/1.0 200 OK\r\n\r\n409 taken";
  EXPECT_EQ(ForumReplyCode(ok.c_str(), (uint32_t)ok.size()), 409);
  const std::string none = "HTTP/1.0 200 OK\r\n\r\nnothing";
  EXPECT_EQ(ForumReplyCode(none.c_str(), (uint32_t)none.size()), -1);
}

// ---- the screen against real servers --------------------------------------------------------

class SignupRun : public ::testing::Test {
 protected:
  qoe_peers::PeerDir dir;
  qoe_peers::Dovecot dovecot;
  qoe_peers::Exim exim;
  qoe_peers::NetDouble forum;
  std::string transcript;

  void SetUp() override {
    savegame_test::PrepareTitleFolder();
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    ZufallSeed(3);
    SetNewsGet([](const char*, const char*, uint32_t*) -> char* { return nullptr; });
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    EndpointDefaults(&QoESystemPtr->Endpoints);
    EndpointConfig& e = QoESystemPtr->Endpoints;
    std::snprintf(e.MailDomain, ENDPOINT_TEXT, "elmor.test");
    std::snprintf(e.RegistrationMailbox, ENDPOINT_TEXT, "anmeldung@localhost");
    QoESystemPtr->TcpIpStack = 4;
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    CheckPrefs(PREFS_SIGNUP_NUMBER, 1, 0);
  }
  void TearDown() override {
    SetNewsGet(nullptr);
    MailSetTimeoutMs(0);
    FileFailWritesAfter(-1);
    savegame_test::CloseScreenTestDisplay();
    *OwnPlayerPtr = OwnPlayer{};
    ResetChunkPoolState();
  }
  // The mail servers with the registration mailbox and the player's, the
  // forum double answering answer to check_user.php, and the account.
  void StartPeers(const std::string& forum_body) {
    std::string err;
    const std::vector<qoe_peers::MailUser> users = {{"anmeldung", "secret"}, {"player", "secret"}};
    ASSERT_TRUE(qoe_peers::MakeCertificate(dir.path, &err)) << err;
    std::snprintf(QoESystemPtr->Endpoints.TlsAcceptCert, sizeof QoESystemPtr->Endpoints.TlsAcceptCert, "%s/cert.pem",
                  dir.path.c_str());
    ASSERT_TRUE(qoe_peers::StartDovecot(dir.path, users, &dovecot, &err)) << err;
    ASSERT_TRUE(qoe_peers::StartExim(dir.path, users, &exim, &err)) << err;
    StartForum(forum_body);
    OptionenPrefs& o = QoESystemPtr->Optionen;
    std::snprintf(o.smtp_host, sizeof o.smtp_host, "127.0.0.1:%u", exim.smtp);
    std::snprintf(o.pop3_host, sizeof o.pop3_host, "127.0.0.1:%u", dovecot.pop3);
    std::snprintf(o.pop3_user, sizeof o.pop3_user, "player");
    std::snprintf(o.pop3_password, sizeof o.pop3_password, "secret");
  }
  void StartForum(const std::string& body, const std::string& password_body = "") {
    std::string err;
    const std::string answer = dir.path + "/answer.txt", second = dir.path + "/second.txt";
    transcript = dir.path + "/forum.txt";
    ASSERT_TRUE(qoe_peers::WriteText(answer, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body));
    std::vector<std::string> opts;
    if (!password_body.empty()) {
      ASSERT_TRUE(
          qoe_peers::WriteText(second, "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + password_body));
    }
    opts = {"--transcript", transcript};
    if (!password_body.empty()) {
      // The longer prefix first: the double takes the first that starts the path.
      opts.insert(opts.end(), {"--answer", "/check_user.php?username=Haraldo&email=player%40localhost&password=", second});
    }
    opts.insert(opts.end(), {"--answer", "/check_user.php", answer});
    ASSERT_TRUE(qoe_peers::StartNetDouble(dir.path, "http", opts, &forum, &err)) << err;
    std::snprintf(QoESystemPtr->Endpoints.WebHost, ENDPOINT_TEXT, "127.0.0.1:%u", forum.port);
    std::snprintf(QoESystemPtr->Endpoints.WebPath, ENDPOINT_TEXT, "/");
  }
  static int32_t Run(const std::string& script) { return savegame_test::RunScreen(InitScreen, 32, script); }
  static std::string Click(int x, int y) { return qoe_test::ClickLine(x, y); }
  // The form filled by keys, field after field (Tab), ending on field 9.
  static std::string FillForm() {
    const char* values[] = {"Ulf", "Berg", "Hauptstrasse 1", "12345", "Elmstadt", "Elmor", "0123", "Haraldo",
                            "player@localhost"};
    std::string s;
    for (int i = 0; i < 9; ++i) {
      s += std::string("text \"") + values[i] + "\"\n";
      if (i < 8) s += "key tab\n";
    }
    return s;
  }
  // Past the welcome, the forum terms and the quick route (declined).
  static constexpr const char* kOpening = "key enter\nkey enter\nkey esc\n";
  // The registration and the boxes of a send the server takes.
  static std::string Register() { return Click(400, 470) + "key enter\nkey enter\n"; }
  signupdesk::DeskOrder Desk(signupdesk::Decision decision) const {
    signupdesk::DeskOrder o;
    o.decision = decision;
    o.realm = qoe_test::SourceDir() + "/tools/turnbuilder/realms/first_turn.realm";
    o.mailRoot = dovecot.mail_root;
    o.deskUser = "anmeldung";
    o.player = "player@localhost";
    o.playerUser = "player";
    o.smtpHost = "127.0.0.1:" + std::to_string(exim.smtp);
    return o;
  }
  static std::string IFile() {
    char path[32];
    std::snprintf(path, sizeof path, "Data/I%7.7u.qoe", CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0));
    return path;
  }
};

TEST_F(SignupRun, FormSentThroughEximAnsweredByTheDeskAndTheGameInstalled) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("200"));
  qoe_test::LogLines log;
  const std::string png = "signup_form.png";
  EXPECT_EQ(Run(std::string(kOpening) + FillForm() + "wait 200\npng " + png + "\n" + Register() + "key esc\n"), 1);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u);
  const uint32_t number = CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0);
  EXPECT_NE(number, 0u);
  EXPECT_LT(number, kSignupNumberLimit);
  const auto form = qoe_test::ReadFileBytes(IFile());
  ASSERT_EQ(form.size(), 784u);
  EXPECT_EQ(std::string((const char*)form.data() + INIT_PLAYER_NAME), "Haraldo");
  EXPECT_EQ(std::string((const char*)form.data() + INIT_POSTCODE), "12345");
  EXPECT_STREQ(QoESystemPtr->Optionen.email, "player@localhost");
  char* lord = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  EXPECT_STREQ(lord, "Haraldo");
  FreeVec(lord);
  // The forum was asked with the name and the address, encoded.
  EXPECT_NE(qoe_peers::ReadText(transcript).find("check_user.php?username=Haraldo&email=player%40localhost"),
            std::string::npos);
  EXPECT_FALSE(log.Has("secret"));
  // The desk gets the form byte for byte and answers.
  signupdesk::DeskResult r;
  ASSERT_TRUE(signupdesk::AnswerSignup(Desk(signupdesk::DESK_ACCEPT), &r)) << r.error;
  EXPECT_EQ(r.init, form);
  EXPECT_EQ(r.number, number);
  EXPECT_EQ(r.nickname, "Haraldo");
  // Account state 1: the answer is fetched at once, the game installed, the
  // first turn downloaded; the main screen follows.
  std::string boxes;
  for (int i = 0; i < 12; ++i) boxes += "key enter\nwait 100\n";
  EXPECT_EQ(Run(boxes), 2);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 2u);
  EXPECT_EQ(CheckPrefs(PREFS_PLAYER_ID, 0, 0), r.playerId);
  EXPECT_FALSE(fs::exists(IFile()));
  EXPECT_TRUE(fs::exists("Data/MapPrefs.qoe"));
  uint8_t* imap = LoadChunk2Mem("IMAP", ReceivedPoolPath);
  ASSERT_NE(imap, nullptr);
  FreeChunk(imap);
  EXPECT_TRUE(log.Has("nach folgenden Mails wird gescannt : I"));
}

TEST_F(SignupRun, RejectionShowsTheTextAndResetsTheAccount) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("200"));
  EXPECT_EQ(Run(std::string(kOpening) + FillForm() + Register() + "key esc\n"), 1);
  signupdesk::DeskOrder o = Desk(signupdesk::DESK_REJECT);
  o.rejection = "Your name is not wanted here.";
  signupdesk::DeskResult r;
  ASSERT_TRUE(signupdesk::AnswerSignup(o, &r)) << r.error;
  const std::string ifile = IFile();
  ASSERT_TRUE(fs::exists(ifile));
  // 77, the text, 75, then "no mails" is not said (a mail was there); Escape.
  const std::string png = "signup_rejected.png";
  EXPECT_EQ(Run("key enter\nwait 100\npng " + png + "\nkey enter\nkey enter\nkey esc\n"), 1);
  EXPECT_TRUE(qoe_test::KeepPng(png));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_FALSE(fs::exists(ifile));
  EXPECT_FALSE(fs::exists("Data/POP3In/GameChunk.qoe"));
  for (const auto& e : fs::directory_iterator("Data/POP3In")) ADD_FAILURE() << e.path();
}

TEST_F(SignupRun, AnswerWithoutMapsAndAFailedInstallLoseNothing) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("200"));
  EXPECT_EQ(Run(std::string(kOpening) + FillForm() + Register() + "key esc\n"), 1);
  const std::string ifile = IFile();
  {
    // An accepted answer, but the install fails at its first write.
    signupdesk::DeskResult r;
    ASSERT_TRUE(signupdesk::AnswerSignup(Desk(signupdesk::DESK_ACCEPT), &r)) << r.error;
    ASSERT_TRUE(qoe_peers::WaitMaildir(dovecot.mail_root, "player", 2, 20000));
    // The mails fetched first; then the writes fail just past the options
    // and the decoded answer, inside GameInit.
    char name[MAIL_NAME_SIZE];
    SignupMailName(CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0), name);
    const OptionenPrefs& o = QoESystemPtr->Optionen;
    ASSERT_STREQ(GetEMail(o.pop3_host, o.pop3_user, o.pop3_password, name, ".\\Data\\POP3In\\", 0, 1), "ok");
    const std::string mail = qoe_peers::ReadText("Data/POP3In/" + std::string(name) + ".email");
    uint8_t* pool = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(VDecode(mail.data(), mail.size(), &pool, &length), VDECODE_OK);
    FreeVec(pool);
    qoe_test::LogLines log;
    FileFailWritesAfter(OPTIONEN_PREFS_SIZE + length + 64);
    EXPECT_EQ(Run("key enter\nkey esc\n"), 1);  // 75, Escape
    FileFailWritesAfter(-1);
    EXPECT_TRUE(log.Has("GameInit fehlgeschlagen"));
    EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u);
    EXPECT_TRUE(fs::exists(ifile));
    EXPECT_FALSE(fs::exists("Data/MapPrefs.qoe"));
    // A second "get mail" takes the answer left in the folder.
    std::string boxes;
    for (int i = 0; i < 12; ++i) boxes += "key enter\nwait 100\n";
    EXPECT_EQ(Run(boxes), 2);
    EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 2u);
    EXPECT_FALSE(fs::exists(ifile));
  }
}

TEST_F(SignupRun, AnswerWithoutMapsIsNotInstalled) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("200"));
  EXPECT_EQ(Run(std::string(kOpening) + FillForm() + Register() + "key esc\n"), 1);
  const std::string ifile = IFile();
  signupdesk::DeskResult r;
  ASSERT_TRUE(signupdesk::AnswerSignup(Desk(signupdesk::DESK_NO_MAPS), &r)) << r.error;
  EXPECT_EQ(Run("key enter\nkey esc\n"), 1);  // 75
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u);
  EXPECT_FALSE(fs::exists(ifile));
  EXPECT_FALSE(fs::exists("Data/MapPrefs.qoe"));
}

TEST_F(SignupRun, ForumRefusalsSendNothing) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("409"));
  EXPECT_EQ(Run(std::string(kOpening) + FillForm() + Click(400, 470) + "key enter\nkey enter\nkey esc\n"), 1);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_TRUE(qoe_peers::MaildirFiles(dovecot.mail_root, "anmeldung").empty());
  // The form is kept, its file stands.
  EXPECT_TRUE(fs::exists(IFile()));
}

TEST_F(SignupRun, AFailedSaveKeepsTheOldFormAndPrefs) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("200"));
  EXPECT_EQ(Run(std::string(kOpening) + FillForm() + Register() + "key esc\n"), 1);
  const uint32_t first = CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0);
  const auto old_form = qoe_test::ReadFileBytes(IFile());
  ASSERT_EQ(old_form.size(), 784u);
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);  // the form without fetching
  FileFailWritesAfter(0);
  EXPECT_EQ(Run(Click(400, 470) + "key enter\nkey enter\nkey esc\n"), 1);  // 1420, 90
  FileFailWritesAfter(-1);
  EXPECT_EQ(CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0), first);
  EXPECT_EQ(qoe_test::ReadFileBytes(IFile()), old_form);
}

TEST_F(SignupRun, AccountStateTwoKeepsTheRouteBitsAndEscapeLeaves) {
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE | NET_IRC_PANEL;
  EXPECT_EQ(Run("key esc\n"), 1);
  EXPECT_EQ(QoESystemPtr->Optionen.net_option_bits, NET_SERVER_ROUTE | NET_IRC_PANEL);
  EXPECT_EQ(Run(Click(540, 470)), 1);  // cancel
  // Declining the quick route takes the mail route.
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 0);
  EXPECT_EQ(Run(std::string(kOpening) + "key esc\n"), 1);
  EXPECT_EQ(QoESystemPtr->Optionen.net_option_bits, NET_MAIL_ROUTE | NET_IRC_PANEL);
}

TEST_F(SignupRun, QuickRouteRefusesATitleThenTakesTheNameAndTheSharedMailbox) {
  std::string err;
  // Refused "Lordi", then "Harald"; no confirmation, no SMS; the send fails
  // at once (no forum), the form stays.
  const std::string script = std::string("key enter\nkey enter\nkey enter\n") + "text \"Lordi\"\nkey enter\nkey enter\n" +
                             "key backspace\nkey backspace\nkey backspace\nkey backspace\nkey backspace\n" +
                             "text \"Harald\"\nkey enter\nkey esc\nkey esc\nkey enter\nkey esc\n";
  qoe_test::LogLines log;
  EXPECT_EQ(Run(script), 1);
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  EXPECT_EQ(std::string(o.email).rfind("faltplanke", 0), 0u) << o.email;
  EXPECT_NE(std::string(o.email).find("@elmor.test"), std::string::npos);
  EXPECT_STREQ(o.smtp_host, "elmor.test");
  EXPECT_STREQ(o.pop3_user, o.email);
  char* lord = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  EXPECT_STREQ(lord, "Harald");
  FreeVec(lord);
  const auto form = qoe_test::ReadFileBytes(IFile());
  ASSERT_EQ(form.size(), 784u);
  EXPECT_EQ(std::string((const char*)form.data() + INIT_EMAIL), o.email);
}

// ---- the registration's files under kills ---------------------------------------------------

// The registration killed at random moments (no network: nothing is sent):
// after the next start's recovery the new form, prefs field 11 with the
// names and the address, and the old form's removal are all there or none.
TEST(SignupFormKills, TheFormThePrefsAndTheOldFormsRemovalGoTogether) {
  savegame_test::PrepareTitleFolder(false);
  SignupPlayer quiet{[](void*, uint32_t, char*, uint32_t) -> int32_t { return 0; },
                     [](void*, uint32_t, const char*) -> uint32_t { return 0; }, nullptr};
  SetSignupPlayer(&quiet);
  SetGoOnlineNotice([](const char*) {});
  QoESystemPtr->TcpIpStack = 0;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  OptionenPrefsDefault(&o);
  std::snprintf(o.smtp_host, sizeof o.smtp_host, "127.0.0.1:1");
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 0);
  CheckPrefs(PREFS_SIGNUP_NUMBER, 1, 1234567);
  CheckPrefsStr(PREFS_LORD_NAME, 1, "Altname");
  CheckPrefsStr(PREFS_FIRST_NAME, 1, "Alt");
  CheckPrefsStr(PREFS_LAST_NAME, 1, "Vorher");
  CheckPrefsStr(PREFS_EMAIL, 1, "alt@example.org");
  uint8_t* old_form = NewInitChunk();
  ASSERT_NE(old_form, nullptr);
  std::strcpy(reinterpret_cast<char*>(old_form + INIT_PLAYER_NAME), "Altname");
  ASSERT_EQ(SaveChunk2File(".\\Data\\I1234567.qoe", old_form), 1);
  FreeChunk(old_form);
  SignupScreenData* d = NewSignupData();
  ASSERT_NE(d, nullptr);
  std::strcpy(d->fieldText[1], "Ulf");
  std::strcpy(d->fieldText[2], "Berg");
  std::strcpy(d->fieldText[8], "Haraldo");
  std::strcpy(d->fieldText[9], "ulf@example.org");
  d->now = [] { return 1700000000u; };
  signup_files::SlowSyncs(true);
  qoe_test::ExpectOldOrNewAfterKills(
      [d] {
        SignupRegistration(d);
        return 0;
      },
      signup_files::Files, signup_files::Restore, 40, 29);
  signup_files::SlowSyncs(false);
  // An uninterrupted run: the new number with the new names, the old form gone.
  signup_files::Restore(signup_files::Files());
  FreeSignupData(d);
  SetSignupPlayer(nullptr);
  SetGoOnlineNotice(nullptr);
  const uint32_t number = CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0);
  char* lord = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  const std::string name = lord ? lord : "";
  FreeVec(lord);
  EXPECT_EQ(number == 1234567u, name == "Altname") << number << " " << name;
}

// ---- a refusal asking for AUTH, played with the real boxes ----------------------------------

// The screen against a scripted SMTP server that refuses every mail with
// "535 5.7.8 AUTH required". Each run is a child process, so that a dialogue
// that never ends is killed after four minutes instead of hanging the suite.
class SignupAuthRefusal : public SignupRun {
 protected:
  qoe_peers::ScriptedPeer smtp;

  void StartRefusingPeers() {
    std::string err;
    StartForum("200");
    const std::string script = dir.path + "/script";
    ASSERT_TRUE(qoe_peers::WriteText(script, "fail mail 535 5.7.8 AUTH required\n"));
    ASSERT_TRUE(qoe_peers::StartScriptedPeer(
        dir.path, "smtp", {"--auth", "PLAIN LOGIN", "--script", script, "--transcript", dir.path + "/smtp.txt"},
        &smtp, &err))
        << err;
    QoESystemPtr->Endpoints.MailTls = TLS_OFF;
    std::snprintf(QoESystemPtr->Optionen.smtp_host, 40, "127.0.0.1:%u", smtp.port);
  }
  // Result of one child's run.
  struct Outcome {
    bool ended = false;        // within the time allowed
    int refusals = -1;         // passes of the dialogue over a refusal
    long long closeAgeMs = -1; // from the window's close to the screen's end
    int next = -1;             // the code the screen returned
  };
  Outcome RunChild(const std::string& script) {
    Outcome out;
    const std::string result = dir.path + "/child.txt";
    const pid_t child = fork();
    if (child == 0) {
      struct Count {
        int refusals = 0;
      } count;
      DebugLogSetHook(
          [](const char* line, void* user) {
            if (std::strstr(line, "InitScreen: Der Server lehnt ab (535)")) ++static_cast<Count*>(user)->refusals;
          },
          &count);
      // A wait on the server would last ten minutes: far past the bounds below.
      MailSetTimeoutMs(600000);
      const int32_t next = Run(script);
      const long long age = ProgramCloseAgeMs();
      DebugLogSetHook(nullptr, nullptr);
      const std::string text =
          std::to_string(count.refusals) + " " + std::to_string(age) + " " + std::to_string(next) + "\n";
      qoe_peers::WriteText(result, text);
      _exit(0);
    }
    if (child < 0) return out;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(4);
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return out;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    out.ended = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::sscanf(qoe_peers::ReadText(result).c_str(), "%d %lld %d", &out.refusals, &out.closeAgeMs, &out.next);
    return out;
  }
};

TEST_F(SignupAuthRefusal, CancelledLogInEndsTheDialogueAndTheFormStays) {
  ASSERT_NO_FATAL_FAILURE(StartRefusingPeers());
  // The error box, 1307, the user name cancelled; then 87, and Escape
  // leaves. Should the dialogue go on, the keys run out and the script's
  // end is the window's close.
  const Outcome o = RunChild(std::string(kOpening) + FillForm() + Click(400, 470) +
                             "key enter\nkey enter\nkey esc\nkey enter\nkey esc\n");
  ASSERT_TRUE(o.ended) << "the dialogue did not end";
  EXPECT_EQ(o.refusals, 1);
  EXPECT_EQ(o.next, 1);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_TRUE(fs::exists(IFile()));
  EXPECT_EQ(qoe_test::ReadFileBytes(IFile()).size(), 784u);
}

TEST_F(SignupAuthRefusal, WindowClosedDuringTheDialogueEndsTheProgramSoon) {
  ASSERT_NO_FATAL_FAILURE(StartRefusingPeers());
  // The error box answered; the window closed while 1307 is shown.
  const Outcome o = RunChild(std::string(kOpening) + FillForm() + Click(400, 470) + "key enter\nquit\n");
  ASSERT_TRUE(o.ended) << "the program did not end after the window's close";
  // Soon: at the next pass, not after a wait on the server (ten minutes).
  EXPECT_GE(o.closeAgeMs, 0);
  EXPECT_LT(o.closeAgeMs, 120000);
  EXPECT_EQ(o.refusals, 1);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_TRUE(fs::exists(IFile()));
}

}  // namespace
