// POP3 and SMTP against real servers started by the test: exim delivers
// into Maildirs that dovecot serves, with and without TLS.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

using namespace qoe_peers;

namespace {

std::vector<uint8_t> RandomPool(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = (uint8_t)rng();
  return v;
}

void Copy40(char* field, const std::string& v) {
  std::memset(field, 0, 40);
  std::strncpy(field, v.c_str(), 39);
}

std::vector<std::string> g_log;
void KeepLog(const char* line, void*) { g_log.push_back(line); }

class RealMail : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    std::string err;
    ASSERT_TRUE(MakeCertificate(dir.path, &err)) << err;
    ASSERT_TRUE(StartDovecot(dir.path, users, &dovecot, &err)) << err;
    ASSERT_TRUE(StartExim(dir.path, users, &exim, &err)) << err;
    EndpointDefaults(&QoESystemPtr->Endpoints);
    std::snprintf(QoESystemPtr->Endpoints.TlsAcceptCert, sizeof QoESystemPtr->Endpoints.TlsAcceptCert, "%s",
                  (dir.path + "/cert.pem").c_str());
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    // Generous: a loaded machine may keep a forked server waiting for seconds.
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    mkdir("Data", 0755);
    mkdir("Data/POP3Out", 0755);
    g_log.clear();
    DebugLogSetHook(KeepLog, nullptr);
  }
  void TearDown() override {
    DebugLogSetHook(nullptr, nullptr);
    MailSetImplicitTlsPort(0);
    MailSetTimeoutMs(0);
  }
  std::string Host(uint16_t port) { return "127.0.0.1:" + std::to_string(port); }
  MailJob Job(uint32_t player) {
    MailJob job{};
    job.Kind = MAILJOB_TURN;
    std::strcpy(job.Sender, "player@localhost");
    std::strcpy(job.Recipient, "player@localhost");
    std::strcpy(job.SmtpUser, "player");
    std::strcpy(job.SmtpPassword, "secret");
    std::strcpy(job.FirstName, "G\xfcnter");
    std::strcpy(job.LastName, "Kunz");
    job.PlayerNumber = player;
    return job;
  }

  PeerDir dir;
  std::vector<MailUser> users = {{"player", "secret"}, {"anmeldung", "reg"}};
  Dovecot dovecot;
  Exim exim;
};

}  // namespace

TEST_F(RealMail, TurnTravelsThroughEximAndDovecotByteIdenticalWithAndWithoutTls) {
  struct Case {
    const char* name;
    uint32_t tls;
    uint16_t smtp, pop3;
    uint16_t implicit;
    const char* exim_mark;     // in exim's line of the arrival
    const char* dovecot_mark;  // in dovecot's log-in line
  };
  const Case cases[] = {
      {"plain", TLS_OFF, exim.smtp, dovecot.pop3, 0, nullptr, nullptr},
      {"STARTTLS and STLS", TLS_AUTO, exim.smtp, dovecot.pop3, 0, " X=TLS", "TLS"},
      {"TLS from the first byte", TLS_REQUIRED, exim.smtps, dovecot.pop3s, 0, " X=TLS", "TLS"},
  };
  uint32_t seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QoESystemPtr->Endpoints.MailTls = c.tls;
    if (c.smtp == exim.smtps) MailSetImplicitTlsPort(exim.smtps);
    auto pool = RandomPool(150000 + seed, seed);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3Out/GameChunk.qoe", pool));
    Copy40(QoESystemPtr->Optionen.smtp_host, Host(c.smtp));
    MailJob job = Job(1234);
    EXPECT_STREQ(SendFileAsEmail(".\\Data\\POP3Out\\GameChunk.qoe", &job, SENDFILE_POP_BEFORE_SMTP), "ok");
    EXPECT_EQ(job.Data, nullptr);
    EXPECT_EQ(job.Length, pool.size());
    ASSERT_TRUE(WaitMaildir(dovecot.mail_root, "player", 1, 10000));

    if (c.pop3 == dovecot.pop3s) MailSetImplicitTlsPort(dovecot.pop3s);
    // Another player's pattern fetches nothing and deletes nothing.
    EXPECT_STREQ(GetEMail(Host(c.pop3).c_str(), "player", "secret", "00004321.email", ".\\Data\\POP3In\\", 0, 1), "ok");
    EXPECT_EQ(MaildirFiles(dovecot.mail_root, "player").size(), 1u);
    EXPECT_STREQ(GetEMail(Host(c.pop3).c_str(), "player", "secret", "00001234.email", ".\\Data\\POP3In\\", 0, 1), "ok");
    EXPECT_EQ(MaildirFiles(dovecot.mail_root, "player").size(), 0u);  // deleted once the file was on disk

    ListHeader* l = CreateList(LIST_TURN_MAILS);
    ASSERT_EQ(ScanEmails2List(l, ".\\Data\\POP3In", "00001234.email"), 1u);
    auto* node = reinterpret_cast<EmailNode*>(l->first);
    uint64_t now = MailDateNow();
    EXPECT_LE(now - node->date, 60u);  // our own Date: header
    uint32_t size = 0;
    char* text = static_cast<char*>(LoadFile2MemSize(node->path, MEMF_PUBLIC, &size));
    ASSERT_NE(text, nullptr);
    EXPECT_NE(DecrunchOneEmail(text, size, ".\\Data\\POP3In\\GameChunk.qoe"), 0);
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe"), pool);
    std::string mail(text, size);
    FreeVec(text);
    EXPECT_NE(mail.find("Subject: Quill of Elmor 00001234\r\n"), std::string::npos);
    EXPECT_NE(mail.find("From: =?ISO-8859-1?Q?G=FCnter_Kunz?= <player@localhost>"), std::string::npos);
    DeleteFileA(node->path);
    DeleteList(l, 1);

    std::string mainlog = ReadText(dir.path + "/exim/log/mainlog");
    std::string dlog = ReadText(dir.path + "/dovecot/dovecot.log");
    std::string arrival = mainlog.substr(mainlog.rfind(" <= "));
    arrival = arrival.substr(0, arrival.find('\n'));
    std::string login = dlog.substr(dlog.rfind("Login: user=<player>"));
    login = login.substr(0, login.find('\n'));
    if (c.exim_mark) {
      EXPECT_NE(arrival.find(c.exim_mark), std::string::npos) << arrival;
      EXPECT_NE(login.find(c.dovecot_mark), std::string::npos) << login;
    } else {
      EXPECT_EQ(arrival.find(" X=TLS"), std::string::npos) << arrival;
      EXPECT_EQ(login.find("TLS"), std::string::npos) << login;
    }
    EXPECT_NE(arrival.find("A=plain:player"), std::string::npos) << arrival;
    MailSetImplicitTlsPort(0);
    seed++;
  }
  // The password never reached the log.
  for (const auto& line : g_log) EXPECT_EQ(line.find("secret"), std::string::npos) << line;
}

TEST_F(RealMail, LogInRightAndWrongAuthPlainAndLogin) {
  QoESystemPtr->Endpoints.MailTls = TLS_AUTO;
  std::string pop3 = Host(dovecot.pop3);
  // The log-in test: a pattern no mail has.
  EXPECT_STREQ(GetEMail(pop3.c_str(), "player", "secret", "XYZ", ".\\Data\\POP3In\\", 0, 0), "ok");
  std::string wrong = GetEMail(pop3.c_str(), "player", "wrong", "XYZ", ".\\Data\\POP3In\\", 0, 0);
  EXPECT_EQ(wrong.rfind("-ERR", 0), 0u) << wrong;
  std::string nouser = GetEMail(pop3.c_str(), "nobody", "secret", "XYZ", ".\\Data\\POP3In\\", 0, 0);
  EXPECT_EQ(nouser.rfind("-ERR", 0), 0u) << nouser;

  const char right[] = "\0player\0secret";
  const char bad[] = "\0player\0guess";
  std::string auth_port = Host(exim.smtp_auth), login_port = Host(exim.smtp_login);
  // Without AUTH the relaying port refuses the recipient; the code comes first.
  std::string r = SendEMail(auth_port.c_str(), "player@localhost", "player@localhost", nullptr, nullptr);
  EXPECT_EQ(r.rfind("550 ", 0), 0u) << r;
  r = SendEMail(auth_port.c_str(), "player@localhost", "player@localhost", nullptr, bad);
  EXPECT_EQ(r.rfind("535 ", 0), 0u) << r;
  EXPECT_STREQ(SendEMail(auth_port.c_str(), "player@localhost", "player@localhost", nullptr, right), "ok");
  // A port that offers only LOGIN.
  r = SendEMail(login_port.c_str(), "player@localhost", "anmeldung@localhost", nullptr, bad);
  EXPECT_EQ(r.rfind("535 ", 0), 0u) << r;
  EXPECT_STREQ(SendEMail(login_port.c_str(), "player@localhost", "anmeldung@localhost", nullptr, right), "ok");
  ASSERT_TRUE(WaitMaildir(dovecot.mail_root, "anmeldung", 1, 10000));
  ASSERT_TRUE(WaitMaildir(dovecot.mail_root, "player", 1, 10000));
  std::string mainlog = ReadText(dir.path + "/exim/log/mainlog");
  EXPECT_NE(mainlog.find("A=plain:player"), std::string::npos);
  EXPECT_NE(mainlog.find("A=login:player"), std::string::npos);
  // The test mail carries our own Date: and names no turn.
  std::string test = ReadText(MaildirFiles(dovecot.mail_root, "anmeldung")[0]);
  EXPECT_NE(test.find("\nDate: "), std::string::npos);
  EXPECT_NE(test.find("Subject: Quill of Elmor mail test"), std::string::npos);
  for (const auto& line : g_log) {
    EXPECT_EQ(line.find("secret"), std::string::npos) << line;
    EXPECT_EQ(line.find("guess"), std::string::npos) << line;
  }
  std::string dbg = ReadText("Quill.dbg");
  EXPECT_EQ(dbg.find("secret"), std::string::npos);
}

TEST_F(RealMail, CertificatesAreCheckedUnlessTheEndpointFileAcceptsThem) {
  QoESystemPtr->Endpoints.MailTls = TLS_AUTO;
  QoESystemPtr->Endpoints.TlsAcceptCert[0] = 0;
  // A self-signed certificate fails the system's store: nothing is sent in clear instead.
  std::string r = GetEMail(Host(dovecot.pop3).c_str(), "player", "secret", "XYZ", ".\\Data\\POP3In\\", 0, 0);
  EXPECT_NE(r.find("certificate"), std::string::npos) << r;
  r = SendEMail(Host(exim.smtp).c_str(), "player@localhost", "player@localhost", nullptr, "\0player\0secret");
  EXPECT_NE(r.find("certificate"), std::string::npos) << r;
  // Another certificate than the server's is no help either.
  PeerDir other;
  std::string err;
  ASSERT_TRUE(MakeCertificate(other.path, &err)) << err;
  std::snprintf(QoESystemPtr->Endpoints.TlsAcceptCert, sizeof QoESystemPtr->Endpoints.TlsAcceptCert, "%s",
                (other.path + "/cert.pem").c_str());
  r = GetEMail(Host(dovecot.pop3).c_str(), "player", "secret", "XYZ", ".\\Data\\POP3In\\", 0, 0);
  EXPECT_NE(r.find("certificate"), std::string::npos) << r;
  EXPECT_EQ(MaildirFiles(dovecot.mail_root, "player").size(), 0u);
}

// Cuts a fetch after every step-th byte from dovecot: each round leaves the
// turn's file whole or absent, and the mail on the server unless the server
// read QUIT.
void DropsDuringFetch(RealMail* t, uint32_t tls, int64_t step);

TEST_F(RealMail, DropAfterEveryByteOfAFetchLeavesTheWholeFileOrNone) { DropsDuringFetch(this, TLS_OFF, 1); }
TEST_F(RealMail, DropInsideAnStlsFetchLeavesTheWholeFileOrNone) { DropsDuringFetch(this, TLS_REQUIRED, 41); }

void DropsDuringFetch(RealMail* t, uint32_t tls, int64_t step) {
  Dovecot& dovecot = t->dovecot;
  auto pool = RandomPool(40, 9);
  uint32_t size = 0;
  char* m = ComposeTurnMail("", "a@localhost", "player@localhost", "00001234", pool.data(), 40, &size);
  std::string mail(m, size);
  FreeVec(m);
  CutProxy proxy;
  std::string err;
  ASSERT_TRUE(proxy.Start(dovecot.pop3, &err)) << err;
  std::string host = t->Host(proxy.port());
  {
    QoESystemPtr->Endpoints.MailTls = tls;
    ASSERT_TRUE(DropMail(dovecot.mail_root, "player", mail));
    int quit_cuts = 0;
    std::vector<uint8_t> seen_whole;
    int64_t cut = 0;
    for (;; cut += step) {
      proxy.SetCut(cut);
      std::string r = GetEMail(host.c_str(), "player", "secret", "00001234.email", ".\\Data\\POP3In\\", 0, 1);
      auto file = qoe_test::ReadFileBytes("Data/POP3In/00001234.email");
      ASSERT_FALSE(qoe_test::FileExists("Data/POP3In/00001234_2.email")) << cut;
      if (r == "ok") break;
      // The server commits the deletion when it reads QUIT; a cut inside its
      // answer may leave the client without the answer, never without the file.
      if (MaildirFiles(dovecot.mail_root, "player").empty()) {
        ASSERT_NE(r.find("QUIT"), std::string::npos) << "cut " << cut << ": " << r;
        ASSERT_FALSE(file.empty()) << cut;
        ASSERT_TRUE(DropMail(dovecot.mail_root, "player", mail));
        quit_cuts++;
      }
      if (!file.empty()) {
        if (seen_whole.empty()) seen_whole = file;
        ASSERT_EQ(file, seen_whole) << cut;
        DeleteFileA(".\\Data\\POP3In\\00001234.email");
      }
      ASSERT_LT(cut, 40000) << "the fetch never finished";
    }
    // The deletion is committed only by the answer to QUIT: the last bytes.
    EXPECT_EQ(MaildirFiles(dovecot.mail_root, "player").size(), 0u);
    auto final_file = qoe_test::ReadFileBytes("Data/POP3In/00001234.email");
    ASSERT_FALSE(final_file.empty());
    EXPECT_FALSE(seen_whole.empty());
    EXPECT_EQ(final_file, seen_whole);
    uint8_t* back = nullptr;
    uint32_t len = 0;
    ASSERT_EQ(VDecode(reinterpret_cast<const char*>(final_file.data()), final_file.size(), &back, &len), VDECODE_OK);
    EXPECT_EQ(std::vector<uint8_t>(back, back + len), pool);
    FreeVec(back);
    DeleteFileA(".\\Data\\POP3In\\00001234.email");
    EXPECT_GT(cut, 200);
    EXPECT_LT(quit_cuts, 60);
  }
}

TEST_F(RealMail, DropDuringASendIsNeverReportedAsSent) {
  QoESystemPtr->Endpoints.MailTls = TLS_OFF;
  // exim now and then leaves a cut-off client's successor waiting for its
  // EHLO answer: a short time-out keeps such rounds short (they must fail).
  MailSetTimeoutMs(1000);
  auto pool = RandomPool(40, 11);
  uint32_t size = 0;
  char* m = ComposeTurnMail("", "player@localhost", "player@localhost", "00001234", pool.data(), 40, &size);
  std::string message(m, size);
  FreeVec(m);
  CutProxy proxy;
  std::string err;
  ASSERT_TRUE(proxy.Start(exim.smtp, &err)) << err;
  std::string host = Host(proxy.port());
  size_t delivered = 0;
  for (int64_t cut = 0;; cut += 7) {
    proxy.SetCut(cut);
    std::string r = SendEMail(host.c_str(), "player@localhost", "player@localhost", message.c_str(), nullptr);
    if (r == "ok") {
      // Sent means the server took it: it arrives.
      ASSERT_TRUE(WaitMaildir(dovecot.mail_root, "player", delivered + 1, 10000)) << cut;
      delivered = MaildirFiles(dovecot.mail_root, "player").size();
      if (proxy.LastBytes() < cut) break;  // the whole exchange fitted under the cut
    } else {
      ASSERT_EQ(r.rfind("SMTP: ", 0), 0u) << cut << ": " << r;
    }
    ASSERT_LT(cut, 5000) << "the send never finished";
  }
  EXPECT_GE(delivered, 1u);
}
