// The sign-up's mail dialogue against the scripted SMTP and POP3 peers (a
// refusal per attempt) and against real exim and dovecot: which question a
// refusal brings, the resend after each answer, the shared game mailbox,
// the final failure, a failed save at the switch, and random refusals
// against a random player (no send without an answer before it, none after
// a cancelled log-in question, the form file always there).
#include <gtest/gtest.h>


#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/close.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/residenzdownload_internal.h"
#include "screens/hub/signup_internal.h"
#include "screens/hub/tests/savegame_support.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/signupdesk/signupdesk.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kNumber = 1234567;
const char kIFile[] = "Data/I1234567.qoe";

// The player: answers questions by prompt (a queue each; empty: cancel) and
// boxes (yes/no from a queue, empty: yes); every box and answer is logged
// (DebugLog) so that the order against the sends can be read.
struct Player {
  std::map<uint32_t, std::vector<std::string>> answers;  // "" in a queue: cancel
  std::vector<uint32_t> yesno;                           // 0 yes, 1 no
  std::vector<std::string> events;
  std::map<uint32_t, std::string> prefilled;
  std::function<void(uint32_t prompt)> onAsk;
  static int32_t Input(void* user, uint32_t prompt, char* buffer, uint32_t size) {
    auto* p = static_cast<Player*>(user);
    if (!p->prefilled.count(prompt)) p->prefilled[prompt] = buffer;
    if (p->onAsk) p->onAsk(prompt);
    auto& q = p->answers[prompt];
    std::string a;
    if (!q.empty()) {
      a = q.front();
      q.erase(q.begin());
    }
    p->events.push_back((a.empty() ? "cancel " : "ask ") + std::to_string(prompt));
    DebugLog("PLAYER %s\n", p->events.back().c_str());
    if (a.empty()) return 0;
    std::snprintf(buffer, size, "%s", a.c_str());
    return 1;
  }
  static uint32_t Message(void* user, uint32_t mode, const char* text) {
    auto* p = static_cast<Player*>(user);
    uint32_t r = 0;
    if (mode == 1 && !p->yesno.empty()) {
      r = p->yesno.front();
      p->yesno.erase(p->yesno.begin());
    }
    p->events.push_back(std::string(mode == 1 ? (r ? "no " : "yes ") : "box ") + text);
    DebugLog("PLAYER %s\n", p->events.back().c_str());
    return r;
  }
  bool Saw(const std::string& part) const {
    for (const auto& e : events)
      if (e.find(part) != std::string::npos) return true;
    return false;
  }
  size_t Index(const std::string& part) const {
    for (size_t i = 0; i < events.size(); ++i)
      if (events[i].find(part) != std::string::npos) return i;
    return events.size();
  }
};

class SignupMail : public ::testing::Test {
 protected:
  qoe_peers::PeerDir dir;
  qoe_peers::ScriptedPeer smtp, pop3;
  std::string script, relay, smtp_log, pop_log;
  Player player;
  SignupScreenData* d = nullptr;
  std::vector<uint8_t> form;

  void SetUp() override {
    savegame_test::PrepareTitleFolder(false);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    QoESystemPtr->Endpoints.MailTls = TLS_OFF;
    std::snprintf(QoESystemPtr->Endpoints.RegistrationMailbox, ENDPOINT_TEXT, "anmeldung@localhost");
    QoESystemPtr->TcpIpStack = 4;
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    SetNewsGet([](const char*, const char*, uint32_t*) -> char* { return nullptr; });
    SignupPlayer seam{&Player::Input, &Player::Message, &player};
    SetSignupPlayer(&seam);
    CheckPrefs(PREFS_SIGNUP_NUMBER, 1, kNumber);
    CheckPrefsStr(PREFS_EMAIL, 1, "hans@example.org");
    d = NewSignupData();
    ASSERT_NE(d, nullptr);
    std::strcpy(d->fieldText[8], "Hansi");
    std::strcpy(d->fieldText[9], "hans@example.org");
    std::strcpy(d->fieldText[1], "Hans");
    ChunkPut16(d->chunk, INIT_FORM_VERSION, 2);
    d->playerNumber = kNumber;
    d->sharedMailbox = 7;
    ASSERT_EQ(SaveChunk2File(".\\Data\\I1234567.qoe", d->chunk), 1);
    form = qoe_test::ReadFileBytes(kIFile);
    ASSERT_EQ(form.size(), 784u);
  }
  void TearDown() override {
    ClearProgramClose();
    FreeSignupData(d);
    SetSignupPlayer(nullptr);
    SetNewsGet(nullptr);
    MailSetTimeoutMs(0);
    FileFailWritesAfter(-1);
    ResetChunkPoolState();
    *OwnPlayerPtr = OwnPlayer{};
  }
  void StartPeers(const std::string& lines) {
    std::string err;
    script = dir.path + "/script";
    relay = dir.path + "/relay";
    smtp_log = dir.path + "/smtp.txt";
    pop_log = dir.path + "/pop.txt";
    ASSERT_TRUE(qoe_peers::WriteText(script, lines));
    ASSERT_TRUE(qoe_peers::StartScriptedPeer(dir.path, "smtp",
                                             {"--auth", "PLAIN LOGIN", "--relay-needs", relay, "--script", script,
                                              "--transcript", smtp_log},
                                             &smtp, &err))
        << err;
    ASSERT_TRUE(qoe_peers::StartScriptedPeer(dir.path, "pop3", {"--touch-on-login", relay, "--transcript", pop_log},
                                             &pop3, &err))
        << err;
    std::snprintf(QoESystemPtr->Optionen.smtp_host, 40, "127.0.0.1:%u", smtp.port);
  }
  void Prepare() {
    d->again = 1;
    d->popAsked = d->authAsked = 0;
    d->state = 0;
    FillSignupJob(d);
  }
  std::string PopHost() const { return "127.0.0.1:" + std::to_string(pop3.port); }
  void AnswerPop() { player.answers[642] = {PopHost()}, player.answers[644] = {"hans"}, player.answers[646] = {"pw"}; }
  void AnswerAuth() { player.answers[1308] = {"smtphans"}, player.answers[1310] = {"smtppw"}; }
  static size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  }
  std::string Smtp() const { return qoe_peers::ReadText(smtp_log); }
  std::string Pop() const { return qoe_peers::ReadText(pop_log); }
  std::string Prefs8() const {
    char* e = CheckPrefsStr(PREFS_EMAIL, 0, nullptr);
    std::string s = e ? e : "";
    FreeVec(e);
    return s;
  }
};

TEST_F(SignupMail, EveryListedCodeAsksByItsText) {
  ASSERT_NO_FATAL_FAILURE(StartPeers(""));
  const int codes[] = {421, 451, 501, 521, 530, 535, 550, 553, 554};
  const char* variants[] = {"5.7.1 please AUTH first", "5.7.1 auth needed", "5.7.1 relaying denied", ""};
  for (int code : codes)
    for (int v = 0; v < 4; ++v) {
      SCOPED_TRACE(std::to_string(code) + " variant " + std::to_string(v));
      const std::string reply = std::to_string(code) + (v < 3 ? std::string(" ") + variants[v] : "");
      ASSERT_TRUE(qoe_peers::WriteText(script, "fail mail " + reply + "\n"));
      fs::remove(relay);
      ASSERT_TRUE(qoe_peers::WriteText(smtp_log, ""));
      ASSERT_TRUE(qoe_peers::WriteText(pop_log, ""));
      OptionenPrefsDefault(&QoESystemPtr->Optionen);
      std::snprintf(QoESystemPtr->Optionen.smtp_host, 40, "127.0.0.1:%u", smtp.port);
      CheckPrefs(PREFS_ACCOUNT_STATE, 1, 0);
      player = Player{};
      AnswerPop();
      AnswerAuth();
      // The refusal holds until the player answered.
      player.onAsk = [&](uint32_t) { qoe_peers::WriteText(script, ""); };
      Prepare();
      SignupMailDialogue(d);
      const bool auth_first = v < 2;
      EXPECT_EQ(player.Saw("Error : " + reply), v < 3);
      EXPECT_EQ(player.Index("ask 1308") < player.Index("ask 642"), auth_first);
      EXPECT_TRUE(player.Saw(auth_first ? "ask 1310" : "ask 646"));
      EXPECT_FALSE(player.Saw(auth_first ? "ask 642" : "ask 1308"));
      EXPECT_TRUE(player.Saw(std::string("box ") + GetCatalogStr(76)));
      EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u);
      const OptionenPrefs& o = QoESystemPtr->Optionen;
      if (auth_first) {
        EXPECT_STREQ(o.smtp_user, "smtphans");
        EXPECT_NE(Smtp().find("AUTH"), std::string::npos);
        EXPECT_EQ(Pop(), "");
      } else {
        EXPECT_STREQ(o.pop3_user, "hans");
        EXPECT_EQ(Smtp().find("AUTH"), std::string::npos);
        EXPECT_NE(Pop().find("USER hans"), std::string::npos);
      }
      EXPECT_STREQ(o.email, "hans@example.org");
      EXPECT_EQ(Prefs8(), "hans@example.org");
      EXPECT_EQ(qoe_test::ReadFileBytes(kIFile), form);
    }
}

TEST_F(SignupMail, PopFirstThenAuthOnTheNextRefusalPerConnection) {
  // The client's connections (the first, 1, was the start's probe): 2
  // refused; after the POP3 answer 3 is refused too, the client logs in to
  // POP3 and tries 4, refused asking for AUTH; 5 logs in and is taken.
  ASSERT_NO_FATAL_FAILURE(StartPeers("2 fail mail 550 5.7.1 relaying denied\n3 fail mail 550 5.7.1 relaying denied\n"
                                     "4 fail mail 535 5.7.8 AUTH required\n"));
  AnswerPop();
  AnswerAuth();
  Prepare();
  SignupMailDialogue(d);
  EXPECT_LT(player.Index("ask 646"), player.Index("ask 1308"));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u);
  const std::string s = Smtp();
  EXPECT_EQ(Count(s, "MAIL FROM"), 4u);
  EXPECT_EQ(Count(s, "AUTH"), 1u);
  EXPECT_NE(Pop().find("USER hans"), std::string::npos);
  EXPECT_EQ(qoe_test::ReadFileBytes(kIFile), form);
}

TEST_F(SignupMail, PresetsAskAnotherServerOrTakeTheSharedMailbox) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("fail mail 550 5.7.1 relaying denied\n"));
  std::snprintf(QoESystemPtr->Endpoints.MailDomain, ENDPOINT_TEXT, "127.0.0.1:%u", smtp.port);
  // A second refusal with presets applied: a new server (then the AUTH
  // question after a bare 421) ...
  AnswerPop();
  AnswerAuth();
  const std::string host = "127.0.0.1:" + std::to_string(smtp.port);
  player.answers[638] = {host};
  player.onAsk = [&](uint32_t prompt) {
    if (prompt == 1310) qoe_peers::WriteText(script, "");
  };
  d->presetsApplied = 1;
  Prepare();
  d->presetsApplied = 1;
  SignupMailDialogue(d);
  EXPECT_LT(player.Index("ask 646"), player.Index("ask 638"));
  EXPECT_LT(player.Index("ask 638"), player.Index("ask 1308"));
  EXPECT_FALSE(player.Saw("Error : 421"));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u);
  EXPECT_EQ(qoe_test::ReadFileBytes(kIFile), form);
  // ... or, cancelled, the shared mailbox: address in the form, the job, the
  // options and prefs field 8; the form saved and sent again.
  player = Player{};
  AnswerPop();
  player.onAsk = [&](uint32_t prompt) {
    if (prompt == 638) qoe_peers::WriteText(script, "");
  };
  fs::remove(relay);
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail mail 550 5.7.1 relaying denied\n"));
  Prepare();
  d->presetsApplied = 1;
  SignupMailDialogue(d);
  EXPECT_TRUE(player.Saw("cancel 638"));
  char shared[80];
  SharedMailboxAddress(7, shared, sizeof shared);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u);
  EXPECT_STREQ(QoESystemPtr->Optionen.email, shared);
  EXPECT_STREQ(QoESystemPtr->Optionen.smtp_user, shared);
  EXPECT_EQ(Prefs8(), shared);
  auto expected = form;
  std::memset(expected.data() + INIT_EMAIL, 0, 40);
  std::memcpy(expected.data() + INIT_EMAIL, shared, std::strlen(shared));
  EXPECT_EQ(qoe_test::ReadFileBytes(kIFile), expected);
  EXPECT_NE(Smtp().find(std::string("MAIL FROM:<") + shared + ">"), std::string::npos);
}

TEST_F(SignupMail, UnknownCodesOfferTheQuestionsAgainOrTheSharedMailbox) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("fail mail 559 strange\n"));
  // OK: both questions again (POP3 first), both cancelled: the send failed.
  player.yesno = {0};
  Prepare();
  SignupMailDialogue(d);
  EXPECT_TRUE(player.Saw("Error : 559 strange  - "));
  EXPECT_TRUE(player.Saw("cancel 642"));
  EXPECT_TRUE(player.Saw("cancel 1308"));
  EXPECT_TRUE(player.Saw(std::string("box ") + GetCatalogStr(87)));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_EQ(Count(Smtp(), "MAIL FROM"), 1u);
  EXPECT_EQ(qoe_test::ReadFileBytes(kIFile), form);
  // A client's own text (a refused connection) is an unknown code too; the
  // SMTP host keeps the player's when it was not set in this registration.
  uint16_t closed = qoe_peers::FreePort();
  std::snprintf(QoESystemPtr->Optionen.smtp_host, 40, "127.0.0.1:%u", closed);
  player = Player{};
  player.yesno = {0};
  Prepare();
  SignupMailDialogue(d);
  EXPECT_TRUE(player.Saw("Error : SMTP"));
  EXPECT_EQ(std::string(QoESystemPtr->Optionen.smtp_host), "127.0.0.1:" + std::to_string(closed));
  // Set in this registration: back to the placeholder.
  player = Player{};
  player.yesno = {0};
  Prepare();
  d->smtpHostSetNow = 1;
  SignupMailDialogue(d);
  EXPECT_STREQ(QoESystemPtr->Optionen.smtp_host, kOptionHostPlaceholder);
  // Cancel: the shared mailbox, where the send goes through.
  std::snprintf(QoESystemPtr->Endpoints.MailDomain, ENDPOINT_TEXT, "127.0.0.1:%u", smtp.port);
  ASSERT_TRUE(qoe_peers::WriteText(script, ""));
  std::snprintf(QoESystemPtr->Optionen.smtp_host, 40, "127.0.0.1:%u", closed);
  player = Player{};
  player.yesno = {1};
  d->smtpHostSetNow = 0;
  Prepare();
  SignupMailDialogue(d);
  char shared[80];
  SharedMailboxAddress(7, shared, sizeof shared);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u);
  EXPECT_EQ(Prefs8(), shared);
  EXPECT_STREQ(QoESystemPtr->Optionen.email, shared);
}

TEST_F(SignupMail, AFailedSaveAtTheSwitchSendsNothingAndChangesNothing) {
  ASSERT_NO_FATAL_FAILURE(StartPeers("fail mail 559 strange\n"));
  std::snprintf(QoESystemPtr->Endpoints.MailDomain, ENDPOINT_TEXT, "127.0.0.1:%u", smtp.port);
  const OptionenPrefs before = QoESystemPtr->Optionen;
  player.yesno = {1};
  player.onAsk = nullptr;
  Prepare();
  // The first send goes out; the failure hook is armed by the 1460 answer.
  SignupPlayer seam{&Player::Input,
                    [](void* user, uint32_t mode, const char* text) -> uint32_t {
                      if (mode == 1) FileFailWritesAfter(0);
                      return Player::Message(user, mode, text);
                    },
                    &player};
  SetSignupPlayer(&seam);
  SignupMailDialogue(d);
  FileFailWritesAfter(-1);
  EXPECT_TRUE(player.Saw(std::string("box ") + GetCatalogStr(90)));
  EXPECT_TRUE(player.Saw(std::string("box ") + GetCatalogStr(87)));
  EXPECT_EQ(Count(Smtp(), "MAIL FROM"), 1u);
  EXPECT_EQ(std::memcmp(&before, &QoESystemPtr->Optionen, sizeof before), 0);
  EXPECT_EQ(Prefs8(), "hans@example.org");
  EXPECT_EQ(qoe_test::ReadFileBytes(kIFile), form);
  EXPECT_STREQ(d->fieldText[9], "hans@example.org");
}

TEST_F(SignupMail, AuthRefusalEndsWithTheCancelledAuthQuestion) {
  // Every send is refused asking for AUTH; the player cancels the log-in.
  ASSERT_NO_FATAL_FAILURE(StartPeers("fail mail 535 5.7.8 AUTH required\n"));
  int asked = 0;
  // A dialogue that would not end is ended by the guard: after 20 questions
  // the player gives a log-in and the server takes the mail.
  player.onAsk = [&](uint32_t) {
    if (++asked != 20) return;
    AnswerAuth();
    qoe_peers::WriteText(script, "");
  };
  Prepare();
  SignupMailDialogue(d);
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(player.Saw("cancel 1308"));
  EXPECT_FALSE(player.Saw("642"));
  EXPECT_TRUE(player.Saw("Error : 535 5.7.8 AUTH required"));
  EXPECT_TRUE(player.Saw(std::string("box ") + GetCatalogStr(87)));
  EXPECT_EQ(player.events.back(), std::string("box ") + GetCatalogStr(87));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_EQ(d->state, 0u);
  EXPECT_EQ(Count(Smtp(), "MAIL FROM"), 1u);
  EXPECT_EQ(qoe_test::ReadFileBytes(kIFile), form);
  // The same with a bare code: no error box, the same end.
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail mail 535\n"));
  player = Player{};
  asked = 0;
  player.onAsk = [&](uint32_t) {
    if (++asked != 20) return;
    AnswerAuth();
    qoe_peers::WriteText(script, "");
  };
  Prepare();
  SignupMailDialogue(d);
  EXPECT_FALSE(player.Saw("Error : "));
  EXPECT_TRUE(player.Saw(std::string("box ") + GetCatalogStr(87)));
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_EQ(qoe_test::ReadFileBytes(kIFile), form);
  // An answered log-in refused again for AUTH asks again; its cancel ends.
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail mail 535 5.7.8 AUTH required\n"));
  ASSERT_TRUE(qoe_peers::WriteText(smtp_log, ""));
  player = Player{};
  asked = 0;
  player.answers[1308] = {"smtphans", ""};
  player.answers[1310] = {"smtppw"};
  player.onAsk = [&](uint32_t) {
    if (++asked != 20) return;
    AnswerAuth();
    qoe_peers::WriteText(script, "");
  };
  Prepare();
  SignupMailDialogue(d);
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(player.events.back(), std::string("box ") + GetCatalogStr(87));
  EXPECT_FALSE(player.Saw("642"));
  EXPECT_EQ(Count(Smtp(), "MAIL FROM"), 2u);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
}

TEST_F(SignupMail, WindowCloseEndsTheDialogueAtTheNextPass) {
  // An unknown code from the player's server and from the shared mailbox:
  // each pass would offer the shared mailbox again.
  ASSERT_NO_FATAL_FAILURE(StartPeers("fail mail 559 strange\n"));
  std::snprintf(QoESystemPtr->Endpoints.MailDomain, ENDPOINT_TEXT, "127.0.0.1:%u", smtp.port);
  struct Boxes {
    Player* player;
    std::string script;
    int afterClose = 0;
  } boxes{&player, script};
  // The player closes the window at the first yes/no; from then on every
  // box answers at once as the real ones do (cancel). Guard: after 30 such
  // boxes the server takes the mail.
  SignupPlayer seam{[](void* user, uint32_t prompt, char* buffer, uint32_t size) -> int32_t {
                      auto* b = static_cast<Boxes*>(user);
                      if (ProgramCloseRequested()) {
                        if (++b->afterClose == 30) qoe_peers::WriteText(b->script, "");
                        return 0;
                      }
                      return Player::Input(b->player, prompt, buffer, size);
                    },
                    [](void* user, uint32_t mode, const char* text) -> uint32_t {
                      auto* b = static_cast<Boxes*>(user);
                      if (ProgramCloseRequested()) {
                        if (++b->afterClose == 30) qoe_peers::WriteText(b->script, "");
                        b->player->events.push_back(std::string("closed ") + text);
                        return static_cast<uint32_t>(-1);
                      }
                      const uint32_t r = Player::Message(b->player, mode, text);
                      if (mode == 1) {
                        RequestProgramClose();
                        return static_cast<uint32_t>(-1);
                      }
                      return r;
                    },
                    &boxes};
  SetSignupPlayer(&seam);
  Prepare();
  SignupMailDialogue(d);
  // The close's cancel took the shared mailbox (one more send); the pass
  // after it ends the dialogue with the failed send's message.
  EXPECT_EQ(boxes.afterClose, 1);
  EXPECT_EQ(player.events.back(), std::string("closed ") + GetCatalogStr(87));
  EXPECT_EQ(Count(Smtp(), "MAIL FROM"), 2u);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 0u);
  EXPECT_EQ(d->state, 0u);
  ASSERT_TRUE(fs::exists(kIFile));
  EXPECT_EQ(qoe_test::ReadFileBytes(kIFile).size(), 784u);
}

TEST_F(SignupMail, SmtpAuthPrefilledFromThePop3AccountOnlyWhilePlaceholders) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  std::strcpy(o.pop3_user, "popper");
  std::strcpy(o.pop3_password, "poppw");
  player.answers[1308] = {"x"};
  player.answers[1310] = {"y"};
  EXPECT_EQ(AskSmtpAuthLogin(), 1);
  EXPECT_EQ(player.prefilled[1308], "popper");
  EXPECT_EQ(player.prefilled[1310], "poppw");
  EXPECT_TRUE(player.Saw(std::string("box ") + GetCatalogStr(1307)));
  player = Player{};
  std::strcpy(o.smtp_user, "own");
  std::strcpy(o.smtp_password, "ownpw");
  player.answers[1308] = {"x"};
  EXPECT_EQ(AskSmtpAuthLogin(), 0);  // the password cancelled
  EXPECT_EQ(player.prefilled[1308], "own");
  EXPECT_EQ(player.prefilled[1310], "ownpw");
  EXPECT_STREQ(o.smtp_user, "x");  // the user given before the cancel is kept
  EXPECT_STREQ(o.smtp_password, "ownpw");
}

TEST_F(SignupMail, RandomRefusalsAgainstARandomPlayer) {
  ASSERT_NO_FATAL_FAILURE(StartPeers(""));
  std::snprintf(QoESystemPtr->Endpoints.MailDomain, ENDPOINT_TEXT, "127.0.0.1:%u", smtp.port);
  std::mt19937 rng(11);
  const char* replies[] = {"550 5.7.1 denied", "535 5.7.8 AUTH required", "421", "451 try later", "559 odd",
                           "554 auth please", ""};
  for (int round = 0; round < 25; ++round) {
    SCOPED_TRACE(round);
    qoe_test::LogLines log;
    player = Player{};
    int asked = 0;
    auto next_script = [&] {
      const char* r = replies[rng() % 7];
      qoe_peers::WriteText(script, r[0] ? std::string("fail mail ") + r + "\n" : "");
    };
    next_script();
    // Each answer: text, OK or cancel at random; after 20 the player gives up.
    SignupPlayer seam{[](void* user, uint32_t prompt, char* buffer, uint32_t size) -> int32_t {
                        auto* ctx = static_cast<std::pair<Player*, std::function<int32_t(uint32_t)>*>*>(user);
                        const int32_t take = (*ctx->second)(prompt);
                        ctx->first->answers[prompt] = {take ? "value" + std::to_string(prompt) : ""};
                        return Player::Input(ctx->first, prompt, buffer, size);
                      },
                      [](void* user, uint32_t mode, const char* text) -> uint32_t {
                        auto* ctx = static_cast<std::pair<Player*, std::function<int32_t(uint32_t)>*>*>(user);
                        if (mode == 1) ctx->first->yesno = {(*ctx->second)(0) ? 0u : 1u};
                        return Player::Message(ctx->first, mode, text);
                      },
                      nullptr};
    std::function<int32_t(uint32_t)> decide = [&](uint32_t prompt) -> int32_t {
      ++asked;
      next_script();
      // No made-up host names (no look-ups): POP3 and SMTP hosts cancelled,
      // which for the SMTP server means the shared mailbox on the peer.
      if (prompt == 642 || prompt == 638) return 0;
      if (asked > 20) return prompt == 0 ? 1 : 0;
      return (int32_t)(rng() % 3 != 0);
    };
    std::pair<Player*, std::function<int32_t(uint32_t)>*> ctx{&player, &decide};
    seam.user = &ctx;
    SetSignupPlayer(&seam);
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    std::snprintf(QoESystemPtr->Optionen.smtp_host, 40, "127.0.0.1:%u", smtp.port);
    Prepare();
    d->presetsApplied = (uint8_t)(rng() % 2);
    SignupMailDialogue(d);
    // The order of sends and answers.
    int sends = 0;
    bool answered = true, after_cancel = false;
    for (const auto& l : log.lines) {
      if (l.find("SendFileAsEmail: Sende") != std::string::npos) {
        if (sends > 0) {
          EXPECT_TRUE(answered) << "a send without an answer before it";
          EXPECT_FALSE(after_cancel) << "a send right after a cancelled log-in question";
        }
        ++sends;
        answered = false;
      } else if (l.find("PLAYER ask") == 0 || l.find("PLAYER yes") == 0 || l.find("PLAYER no") == 0 ||
                 l.find("PLAYER cancel 638") == 0) {
        // An answer; cancelling the SMTP server chooses the shared mailbox.
        answered = true;
        after_cancel = false;
      } else if (l.find("PLAYER cancel 64") == 0 || l.find("PLAYER cancel 13") == 0) {
        after_cancel = true;
      }
    }
    EXPECT_GE(sends, 1);
    ASSERT_TRUE(fs::exists(kIFile));
    EXPECT_EQ(qoe_test::ReadFileBytes(kIFile).size(), 784u);
    const uint32_t state = CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0);
    EXPECT_TRUE(state == 0 || state == 1);
    // Back to the player's own address for the next round.
    std::strcpy(d->fieldText[9], "hans@example.org");
    ASSERT_EQ(SaveChunk2File(".\\Data\\I1234567.qoe", d->chunk), 1);
  }
}

// The real path: exim's AUTH port refuses the recipient until AUTH, the
// player gives the log-in, the mail reaches the registration mailbox, the
// desk answers and the game is installed.
TEST_F(SignupMail, EximRefusalAnsweredWithSmtpAuthAndTheGameInstalled) {
  std::string err;
  qoe_peers::Dovecot dovecot;
  qoe_peers::Exim exim;
  const std::vector<qoe_peers::MailUser> users = {{"anmeldung", "secret"}, {"hans", "hanspw"}};
  ASSERT_TRUE(qoe_peers::MakeCertificate(dir.path, &err)) << err;
  ASSERT_TRUE(qoe_peers::StartDovecot(dir.path, users, &dovecot, &err)) << err;
  ASSERT_TRUE(qoe_peers::StartExim(dir.path, users, &exim, &err)) << err;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  std::snprintf(o.smtp_host, 40, "127.0.0.1:%u", exim.smtp_auth);
  std::strcpy(d->fieldText[9], "hans@localhost");
  ASSERT_EQ(SaveChunk2File(".\\Data\\I1234567.qoe", d->chunk), 1);
  player.answers[1308] = {"hans"};
  player.answers[1310] = {"hanspw"};
  Prepare();
  qoe_test::LogLines log;
  SignupMailDialogue(d);
  EXPECT_FALSE(log.Has("hanspw"));
  ASSERT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 1u) << ::testing::PrintToString(player.events);
  EXPECT_TRUE(player.Saw("ask 1310"));
  signupdesk::DeskOrder order;
  order.realm = qoe_test::SourceDir() + "/tools/turnbuilder/realms/first_turn.realm";
  order.mailRoot = dovecot.mail_root;
  order.deskUser = "anmeldung";
  order.player = "hans@localhost";
  order.playerUser = "hans";
  signupdesk::DeskResult r;
  ASSERT_TRUE(signupdesk::AnswerSignup(order, &r)) << r.error;
  EXPECT_EQ(r.number, kNumber);
  EXPECT_EQ(r.nickname, "Hansi");
  // Fetched: the game is installed from the answer.
  std::snprintf(o.pop3_host, 40, "127.0.0.1:%u", dovecot.pop3);
  std::strcpy(o.pop3_user, "hans");
  std::strcpy(o.pop3_password, "hanspw");
  SignupGetMail(d);
  EXPECT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 2u);
  EXPECT_EQ(d->next, 2);
  EXPECT_TRUE(fs::exists("Data/MapPrefs.qoe"));
  EXPECT_FALSE(fs::exists(kIFile));
}

}  // namespace

// A mail server typed with its port keeps it, and the mail code talks to
// that port: the SMTP question and the POP3 account question.
TEST_F(SignupMail, TypedServersKeepTheirPortsAndTheMailGoesThere) {
  ASSERT_NO_FATAL_FAILURE(StartPeers(""));
  const std::string smtp_host = "127.0.0.1:" + std::to_string(smtp.port);
  player.answers[638] = {smtp_host};
  AnswerPop();
  OptionenPrefs& o = QoESystemPtr->Optionen;
  ASSERT_EQ(AskSmtpServer(), 1);
  EXPECT_STREQ(o.smtp_host, smtp_host.c_str());
  ASSERT_EQ(AskPopBeforeSmtpLogin(), 1);
  EXPECT_STREQ(o.pop3_host, PopHost().c_str());
  EXPECT_STREQ(GetEMail(o.pop3_host, o.pop3_user, o.pop3_password, "XYZ", ".\\Data\\POP3In\\", 0, 0), "ok");
  EXPECT_NE(qoe_peers::ReadText(pop_log).find("USER hans"), std::string::npos);
  EXPECT_STREQ(SendEMail(o.smtp_host, "hans@example.org", "hans@example.org", nullptr, nullptr), "ok");
  EXPECT_NE(Smtp().find("RCPT TO:<hans@example.org>"), std::string::npos);
}
