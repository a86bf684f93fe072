// POP3 and SMTP against the scripted peer: every refusal code at every step,
// overlong lines, stalls, POP-before-SMTP, size limits, TLS demanded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

using namespace qoe_peers;

namespace {

class ScriptedMail : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    EndpointDefaults(&QoESystemPtr->Endpoints);
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    mkdir("Data", 0755);
  }
  void TearDown() override {
    MailSetTimeoutMs(0);
    MailSetMaxMailSize(0);
  }
  void Script(const std::string& text) { ASSERT_TRUE(WriteText(script, text)); }
  std::string Host(uint16_t port) { return "127.0.0.1:" + std::to_string(port); }
  std::string TurnMail(size_t n) {
    std::vector<uint8_t> pool(n, 0x5A);
    uint32_t size = 0;
    char* m = ComposeTurnMail("", "a@x.test", "b@x.test", "00001234", pool.data(), (uint32_t)n, &size);
    std::string s(m, size);
    FreeVec(m);
    return s;
  }

  PeerDir dir;
  std::string script = dir.path + "/script";
};

const char* const kCodes[] = {"421", "451", "501", "521", "530", "535", "550", "553", "554"};

}  // namespace

TEST_F(ScriptedMail, EverySmtpReplyCodeReachesTheCallerCodeFirst) {
  ScriptedPeer peer;
  std::string err;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "smtp", {"--script", script, "--auth", "PLAIN LOGIN"}, &peer, &err)) << err;
  std::string host = Host(peer.port);
  const char auth[] = "\0player\0secret";
  Script("");
  EXPECT_STREQ(SendEMail(host.c_str(), "a@x.test", "b@x.test", nullptr, auth), "ok");
  const char* steps[] = {"greeting", "ehlo helo", "auth", "mail", "rcpt", "data", "dot"};
  for (const char* step : steps) {
    for (const char* code : kCodes) {
      std::string text = std::string(code) + " 5.7.1 scripted refusal at " + step;
      std::string lines;
      for (const char* s = step; *s;) {
        const char* e = std::strchr(s, ' ');
        std::string one = e ? std::string(s, e) : std::string(s);
        lines += "fail " + one + " " + text + "\n";
        s = e ? e + 1 : s + one.size();
      }
      Script(lines);
      std::string r = SendEMail(host.c_str(), "a@x.test", "b@x.test", nullptr, auth);
      EXPECT_EQ(r, text) << step << " " << code;
    }
  }
  // AUTH LOGIN's two prompts, on a server that offers only LOGIN.
  ScriptedPeer login;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "smtp", {"--script", script, "--auth", "LOGIN"}, &login, &err)) << err;
  std::string lhost = Host(login.port);
  for (const char* step : {"auth", "auth-user", "auth-pass"}) {
    Script(std::string("fail ") + step + " 535 5.7.8 bad credentials\n");
    EXPECT_EQ(std::string(SendEMail(lhost.c_str(), "a@x.test", "b@x.test", nullptr, auth)),
              "535 5.7.8 bad credentials") << step;
  }
  // A multi-line refusal comes back as one line, the code first.
  Script("fail rcpt 550-5.1.1 first line\\r\\n550 5.1.1 second line\n");
  EXPECT_EQ(std::string(SendEMail(host.c_str(), "a@x.test", "b@x.test", nullptr, nullptr)),
            "550 5.1.1 first line 5.1.1 second line");
}

TEST_F(ScriptedMail, SmtpOverlongLinesStallsHeloAndDotStuffing) {
  ScriptedPeer peer;
  std::string err;
  std::string transcript = dir.path + "/transcript";
  ASSERT_TRUE(StartScriptedPeer(dir.path, "smtp", {"--script", script, "--transcript", transcript}, &peer, &err))
      << err;
  std::string host = Host(peer.port);
  for (const char* step : {"greeting", "ehlo", "mail", "rcpt", "data", "dot"}) {
    Script(std::string("overlong ") + step + "\n");
    std::string r = SendEMail(host.c_str(), "a@x.test", "b@x.test", nullptr, nullptr);
    EXPECT_NE(r.find("overlong"), std::string::npos) << step << ": " << r;
    EXPECT_FALSE(r[0] >= '0' && r[0] <= '9') << r;
  }
  MailSetTimeoutMs(300);
  for (const char* step : {"greeting", "rcpt", "dot"}) {
    Script(std::string("stall ") + step + "\n");
    std::string r = SendEMail(host.c_str(), "a@x.test", "b@x.test", nullptr, nullptr);
    EXPECT_NE(r.find("time-out"), std::string::npos) << step << ": " << r;
  }
  MailSetTimeoutMs(240000);
  Script("");
  std::remove(transcript.c_str());
  EXPECT_STREQ(SendEMail(host.c_str(), "a@x.test", "b@x.test",
                         "Subject: dots\n\n.leading dot\n..two\nplain\n.\n", nullptr), "ok");
  std::string t = ReadText(transcript);
  EXPECT_NE(t.find("\n..leading dot\n...two\nplain\n..\n.\n"), std::string::npos) << t;
  EXPECT_NE(t.find("\nDate: "), std::string::npos) << t;  // our own Date: for a message without one

  ScriptedPeer old;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "smtp", {"--no-ehlo", "--transcript", transcript}, &old, &err)) << err;
  std::remove(transcript.c_str());
  EXPECT_STREQ(SendEMail(Host(old.port).c_str(), "a@x.test", "b@x.test", nullptr, nullptr), "ok");
  EXPECT_NE(ReadText(transcript).find("HELO [127.0.0.1]\n"), std::string::npos);
  // Nothing that would break the command lines is sent.
  std::string r = SendEMail(host.c_str(), "a@x.test>\r\nRCPT TO:<c@x.test", "b@x.test", nullptr, nullptr);
  EXPECT_EQ(r.rfind("SMTP:", 0), 0u) << r;
}

// A refusal longer than the status field keeps its start and shows the cut.
TEST_F(ScriptedMail, Pop3RefusalLongerThanTheStatusEndsInDots) {
  ScriptedPeer peer;
  std::string err;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "pop3", {"--script", script}, &peer, &err)) << err;
  Script("fail user -ERR " + std::string(700, 'x') + "\n");
  const std::string r = GetEMail(Host(peer.port).c_str(), "player", "secret", "00001234.email", ".\\Data\\POP3In\\", 0, 1);
  EXPECT_EQ(r.size(), 511u);  // the status field's 512 bytes
  EXPECT_EQ(r.rfind("-ERR xxxx", 0), 0u) << r;
  EXPECT_EQ(r.substr(r.size() - 3), "...") << r;
}

TEST_F(ScriptedMail, Pop3RefusalsOverlongLinesAndStallsLeaveNoHalfFile) {
  std::string mailfile = dir.path + "/mail.txt";
  ASSERT_TRUE(WriteText(mailfile, "Return-path: <a@x.test>\n" + TurnMail(3000)));
  ScriptedPeer peer;
  std::string err;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "pop3", {"--script", script, "--mail", mailfile}, &peer, &err)) << err;
  std::string host = Host(peer.port);
  auto fetch = [&] {
    return std::string(GetEMail(host.c_str(), "player", "secret", "00001234.email", ".\\Data\\POP3In\\", 0, 1));
  };
  auto clear = [] { DeleteFileA(".\\Data\\POP3In\\00001234.email"); };
  Script("");
  EXPECT_EQ(fetch(), "ok");
  EXPECT_TRUE(qoe_test::FileExists("Data/POP3In/00001234.email"));
  clear();
  // A refusal before the mail is whole leaves no file; after it, the file stays.
  for (const char* step : {"greeting", "user", "pass", "stat", "list", "retr", "dele", "quit"}) {
    Script(std::string("fail ") + step + " -ERR scripted " + step + "\n");
    EXPECT_EQ(fetch(), std::string("-ERR scripted ") + step);
    bool whole = std::strcmp(step, "dele") == 0 || std::strcmp(step, "quit") == 0;
    EXPECT_EQ(qoe_test::FileExists("Data/POP3In/00001234.email"), whole) << step;
    clear();
  }
  // An old server: no CAPA (so no STLS), no TOP (the whole mail is read).
  Script("fail capa -ERR no CAPA here\nfail top -ERR no TOP here\n");
  EXPECT_EQ(fetch(), "ok");
  EXPECT_TRUE(qoe_test::FileExists("Data/POP3In/00001234.email"));
  clear();
  for (const char* step : {"greeting", "pass", "list", "top", "retr"}) {
    Script(std::string("overlong ") + step + "\n");
    std::string r = fetch();
    EXPECT_NE(r.find("overlong"), std::string::npos) << step << ": " << r;
    EXPECT_FALSE(qoe_test::FileExists("Data/POP3In/00001234.email")) << step;
  }
  MailSetTimeoutMs(300);
  for (const char* step : {"greeting", "stat", "retr", "quit"}) {
    Script(std::string("stall ") + step + "\n");
    std::string r = fetch();
    EXPECT_NE(r.find(std::strcmp(step, "quit") ? "time-out" : "no answer to QUIT"), std::string::npos) << step << ": " << r;
    EXPECT_EQ(qoe_test::FileExists("Data/POP3In/00001234.email"), std::strcmp(step, "quit") == 0) << step;
    // Without the answer to QUIT nobody knows whether the server deleted.
    if (!std::strcmp(step, "quit")) { EXPECT_NE(r.find("the mails may stay on the server"), std::string::npos) << r; }
    clear();
  }
  MailSetTimeoutMs(240000);
  // A mail of ours over the size limit ends the exchange; nothing is written.
  Script("");
  MailSetMaxMailSize(1000);
  std::string r = fetch();
  EXPECT_NE(r.find("larger than allowed"), std::string::npos) << r;
  EXPECT_FALSE(qoe_test::FileExists("Data/POP3In/00001234.email"));
}

TEST_F(ScriptedMail, TlsDemandedButNotOfferedSendsNoPassword) {
  QoESystemPtr->Endpoints.MailTls = TLS_REQUIRED;
  std::string transcript = dir.path + "/transcript";
  ScriptedPeer pop, smtp;
  std::string err;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "pop3", {"--transcript", transcript}, &pop, &err)) << err;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "smtp", {"--transcript", transcript, "--auth", "PLAIN"}, &smtp, &err)) << err;
  std::string r = GetEMail(Host(pop.port).c_str(), "player", "secret", "XYZ", ".\\Data\\POP3In\\", 0, 0);
  EXPECT_NE(r.find("offers no TLS"), std::string::npos) << r;
  r = SendEMail(Host(smtp.port).c_str(), "a@x.test", "b@x.test", nullptr, "\0player\0secret");
  EXPECT_NE(r.find("offers no TLS"), std::string::npos) << r;
  std::string t = ReadText(transcript);
  EXPECT_EQ(t.find("PASS"), std::string::npos) << t;
  EXPECT_EQ(t.find("AUTH"), std::string::npos) << t;
  EXPECT_NE(t.find("CAPA"), std::string::npos) << t;
  EXPECT_NE(t.find("EHLO"), std::string::npos) << t;
}

TEST_F(ScriptedMail, PopBeforeSmtpWhenTheServerAsksForIt) {
  std::string flag = dir.path + "/pop-login";
  ScriptedPeer pop, smtp;
  std::string err;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "pop3", {"--touch-on-login", flag}, &pop, &err)) << err;
  ASSERT_TRUE(StartScriptedPeer(dir.path, "smtp", {"--relay-needs", flag}, &smtp, &err)) << err;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  std::snprintf(o.smtp_host, sizeof o.smtp_host, "%s", Host(smtp.port).c_str());
  std::snprintf(o.pop3_host, sizeof o.pop3_host, "%s", Host(pop.port).c_str());
  std::snprintf(o.pop3_user, sizeof o.pop3_user, "player");
  std::snprintf(o.pop3_password, sizeof o.pop3_password, "secret");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/I0000765.qoe", std::vector<uint8_t>(784, 1)));
  MailJob job{};
  job.Kind = MAILJOB_SIGNUP;
  job.PlayerNumber = 765;
  std::strcpy(job.Sender, "p@x.test");
  std::strcpy(job.Recipient, "anmeldung@localhost");
  std::strcpy(job.SmtpUser, "username");  // the placeholder: no SMTP-AUTH
  // Without the POP3 log-in the refusal reaches the caller, code first.
  std::string r = SendFileAsEmail(".\\Data\\I0000765.qoe", &job, 0);
  EXPECT_EQ(r.rfind("550 ", 0), 0u) << r;
  EXPECT_EQ(job.Length, 784u);
  EXPECT_EQ(std::string(SendFileAsEmail(".\\Data\\I0000765.qoe", &job, SENDFILE_POP_BEFORE_SMTP)), "ok");
  // A missing file is reported, not sent.
  r = SendFileAsEmail(".\\Data\\I0000766.qoe", &job, SENDFILE_POP_BEFORE_SMTP);
  EXPECT_EQ(r.rfind("SMTP: cannot read", 0), 0u) << r;
}
