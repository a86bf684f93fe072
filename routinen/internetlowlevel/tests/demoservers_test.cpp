// The demo's servers as the start command sets them up
// (scripts/demo-servers.sh): the client's mail code fetches the turn mail
// from the player's mailbox, sends a letter through the SMTP server, the
// tavern's chat room carries what is said, and every server has ended after
// the stop.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "routinen/internetlowlevel/irc.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;
using namespace qoe_peers;

namespace {

// Runs the server script; true when it exits with 0.
bool Servers(const std::string& action, const std::string& folder) {
  const std::string cmd = "'" + qoe_test::SourceDir() + "/scripts/demo-servers.sh' " + action + " '" + folder +
                          "' >>servers.txt 2>&1";
  const int status = std::system(cmd.c_str());
  return status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::map<std::string, uint16_t> Ports(const std::string& folder) {
  std::map<std::string, uint16_t> ports;
  std::istringstream in(ReadText(folder + "/ports"));
  std::string name;
  unsigned port = 0;
  while (in >> name >> port) ports[name] = static_cast<uint16_t>(port);
  return ports;
}

// A process that still runs (a zombie has ended).
bool Alive(pid_t pid) {
  if (kill(pid, 0) != 0) return false;
  const std::string status = ReadText("/proc/" + std::to_string(pid) + "/status");
  return status.find("State:\tZ") == std::string::npos;
}

// A tiny IRC client: registers, joins the channel and reads lines.
struct Irc {
  int fd = -1;
  std::string buf;
  ~Irc() {
    if (fd >= 0) close(fd);
  }
  bool Connect(uint16_t port) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  void Send(const std::string& line) {
    const std::string l = line + "\r\n";
    ASSERT_EQ(send(fd, l.data(), l.size(), MSG_NOSIGNAL), (ssize_t)l.size());
  }
  // Reads until a line holds the text; false on a time-out or close.
  bool WaitFor(const std::string& text) {
    for (;;) {
      size_t nl;
      while ((nl = buf.find('\n')) != std::string::npos) {
        const std::string line = buf.substr(0, nl);
        buf.erase(0, nl + 1);
        if (line.find(text) != std::string::npos) return true;
      }
      char chunk[1024];
      const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return false;
      buf.append(chunk, (size_t)n);
    }
  }
};

// Takes the session's blocks until want() holds (four minutes at most).
bool Pump(IRCSession* s, std::vector<std::string>* lines, const std::function<bool()>& want) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(4);
  for (;;) {
    while (IRCTakeBlock(s)) {
      for (uint32_t i = 0; i < s->LinesLength;) {
        std::string l(s->Lines + i);
        i += (uint32_t)l.size() + 1;
        lines->push_back(l);
      }
    }
    if (want()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::vector<std::string> Names(IRCSession* s) {
  char names[64][IRC_NAME];
  const uint32_t n = IRCCopyNames(s, names, 64);
  std::vector<std::string> v(names, names + n);
  std::sort(v.begin(), v.end());
  return v;
}

bool Has(const std::vector<std::string>& lines, const std::string& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// A turn mail of the demo's player whose sender names the turn ("Turn 3").
std::string TurnMail(int k) {
  std::vector<uint8_t> pool(2000, static_cast<uint8_t>(k));
  uint32_t size = 0;
  const std::string who = "Turn " + std::to_string(k);
  char* m = ComposeTurnMail(who.c_str(), "game@quill.test", "lord@quill-demo.invalid", "00001001", pool.data(),
                            static_cast<uint32_t>(pool.size()), &size);
  if (!m) return std::string();
  std::string mail(m, size);
  FreeVec(m);
  return mail;
}

// The turns the player's folder received (each named by its sender), in
// name order; the files are taken away.
std::vector<std::string> Received() {
  std::vector<std::string> files, turns;
  if (fs::exists("Data/POP3In"))
    for (const auto& e : fs::directory_iterator("Data/POP3In")) files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  for (const std::string& f : files) {
    const std::string text = ReadText(f);
    const size_t at = text.find("Turn ");
    turns.push_back(at == std::string::npos ? "?" : text.substr(at, 6));
    fs::remove(f);
  }
  return turns;
}

// One download from the game-server double: +HEL, +SID, +GET, +QUI.
bool FetchFromTheDouble(uint16_t port) {
  PacketCtx ctx{};
  std::snprintf(ctx.Host, sizeof ctx.Host, "127.0.0.1:%u", port);
  ctx.PlayerId = 1001;
  std::snprintf(ctx.Folder, sizeof ctx.Folder, ".\\Data\\POP3In\\");
  const bool ok = SendPacketConnect(&ctx) && SendPacketSid(&ctx) && SendPacketGet(&ctx) && SendPacketQuit(&ctx);
  ClosePacketCtx(&ctx);
  return ok;
}

// Sends orders to the double as the upload does (+PUT).
bool UploadToTheDouble(uint16_t port, const std::string& orders) {
  PacketCtx ctx{};
  std::snprintf(ctx.Host, sizeof ctx.Host, "127.0.0.1:%u", port);
  ctx.PlayerId = 1001;
  ctx.Data = reinterpret_cast<const uint8_t*>(orders.data());
  ctx.Size = static_cast<uint32_t>(orders.size());
  const bool ok = SendPacketConnect(&ctx) && SendPacketSid(&ctx) && SendPacketPut(&ctx) && SendPacketQuit(&ctx);
  ClosePacketCtx(&ctx);
  return ok;
}

std::vector<std::string> Files(const std::string& folder) {
  std::vector<std::string> names;
  if (fs::exists(folder))
    for (const auto& e : fs::directory_iterator(folder))
      if (e.is_regular_file()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(DemoServers, TheTurnComesByMailALetterGoesOutTheChatCarriesAndAllEndWithTheStop) {
  PeerDir dir;
  ASSERT_FALSE(dir.path.empty());
  const std::string server = dir.path + "/demo-server";
  // The player's mailbox: the waiting turn and a mail that is no turn.
  fs::create_directories(server + "/mailbox");
  std::vector<uint8_t> pool(3000, 0x5A);
  uint32_t size = 0;
  char* turn = ComposeTurnMail("", "game@quill.test", "lord@quill-demo.invalid", "00001001", pool.data(),
                               (uint32_t)pool.size(), &size);
  ASSERT_NE(turn, nullptr);
  ASSERT_TRUE(WriteText(server + "/mailbox/00001001.email", std::string(turn, size)));
  FreeVec(turn);
  ASSERT_TRUE(WriteText(server + "/mailbox/greeting.eml", "Subject: Welcome to Elmor\n\nGreetings.\n"));

  ASSERT_TRUE(Servers("start", server)) << ReadText("servers.txt");
  std::map<std::string, uint16_t> ports = Ports(server);
  for (const char* name : {"gameserver", "pop3", "smtp", "irc"}) ASSERT_GT(ports[name], 0) << name;
  std::vector<pid_t> pids;
  for (const char* name : {"gameserver", "pop3", "smtp", "irc"}) {
    const pid_t pid = std::atoi(ReadText(server + "/pids/" + name + ".pid").c_str());
    ASSERT_GT(pid, 0) << name;
    EXPECT_TRUE(Alive(pid)) << name;
    pids.push_back(pid);
  }

  EndpointDefaults(&QoESystemPtr->Endpoints);
  OptionenPrefsDefault(&QoESystemPtr->Optionen);
  MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
  OptionenPrefs& o = QoESystemPtr->Optionen;
  std::snprintf(o.pop3_host, sizeof o.pop3_host, "127.0.0.1:%u", ports["pop3"]);
  std::snprintf(o.smtp_host, sizeof o.smtp_host, "127.0.0.1:%u", ports["smtp"]);
  std::snprintf(o.pop3_user, sizeof o.pop3_user, "lord");
  std::snprintf(o.pop3_password, sizeof o.pop3_password, "elmor");
  mkdir("Data", 0755);

  // A wrong password is refused and fetches nothing.
  EXPECT_STRNE(GetEMail(o.pop3_host, "lord", "wrong", "00001001", ".\\Data\\POP3In\\", 0, 1), "ok");
  EXPECT_FALSE(fs::exists("Data/POP3In/00001001.email"));
  // The download: the turn mail arrives whole and leaves the mailbox; the
  // other mail stays.
  EXPECT_STREQ(GetEMail(o.pop3_host, o.pop3_user, o.pop3_password, "00001001", ".\\Data\\POP3In\\", 0, 1), "ok");
  ASSERT_TRUE(fs::exists("Data/POP3In/00001001.email"));
  EXPECT_FALSE(fs::exists(server + "/mailbox/00001001.email"));
  EXPECT_TRUE(fs::exists(server + "/mailbox/greeting.eml"));
  // Fetched again: nothing more.
  EXPECT_STREQ(GetEMail(o.pop3_host, o.pop3_user, o.pop3_password, "00001001", ".\\Data\\POP3In\\", 0, 1), "ok");
  EXPECT_FALSE(fs::exists("Data/POP3In/00001001_2.email"));

  // A letter goes out by SMTP with SMTP-AUTH and is kept whole.
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/letter.smal", std::vector<uint8_t>(500, 0x33)));
  MailJob job{};
  job.Kind = MAILJOB_TURN;
  job.PlayerNumber = 1001;
  std::strcpy(job.Sender, "lord@quill-demo.invalid");
  std::strcpy(job.Recipient, "zuege@localhost");
  std::strcpy(job.SmtpUser, "lord");
  std::strcpy(job.SmtpPassword, "elmor");
  std::strcpy(job.FirstName, "Lord");
  std::strcpy(job.LastName, "Elmor");
  EXPECT_STREQ(SendFileAsEmail(".\\Data\\letter.smal", &job, SENDFILE_POP_BEFORE_SMTP), "ok");
  const std::string sent = ReadText(server + "/sent/mail_001.eml");
  EXPECT_NE(sent.find("Envelope-To: zuege@localhost"), std::string::npos) << sent;
  EXPECT_NE(sent.find("Subject: Quill of Elmor 00001001"), std::string::npos) << sent;
  // A wrong SMTP password is refused.
  std::strcpy(job.SmtpPassword, "wrong");
  EXPECT_EQ(std::string(SendFileAsEmail(".\\Data\\letter.smal", &job, 0)).rfind("535", 0), 0u);
  EXPECT_FALSE(fs::exists(server + "/sent/mail_002.eml"));
  MailSetTimeoutMs(0);

  // Two lords in the tavern: what one says, the other reads.
  {
    Irc a, b;
    ASSERT_TRUE(a.Connect(ports["irc"]));
    ASSERT_TRUE(b.Connect(ports["irc"]));
    a.Send("NICK Hugo");
    a.Send("USER hugo 0 * :Hugo");
    ASSERT_TRUE(a.WaitFor(" 001 Hugo "));
    b.Send("NICK Hugo");
    ASSERT_TRUE(b.WaitFor(" 433 "));
    b.Send("NICK Berta");
    b.Send("USER berta 0 * :Berta");
    ASSERT_TRUE(b.WaitFor(" 001 Berta "));
    a.Send("JOIN #Quill");
    ASSERT_TRUE(a.WaitFor(" 366 "));
    b.Send("JOIN #Quill");
    ASSERT_TRUE(b.WaitFor(" 366 "));
    ASSERT_TRUE(a.WaitFor("Berta!berta@127.0.0.1 JOIN :#Quill"));
    b.Send("PRIVMSG #Quill :Hail, Hugo!");
    EXPECT_TRUE(a.WaitFor(":Berta!berta@127.0.0.1 PRIVMSG #Quill :Hail, Hugo!"));
    b.Send("QUIT :farewell");
    EXPECT_TRUE(a.WaitFor(":Berta!berta@127.0.0.1 QUIT :farewell"));
  }

  // The stop ends every server and closes its port.
  ASSERT_TRUE(Servers("stop", server)) << ReadText("servers.txt");
  for (pid_t pid : pids) EXPECT_FALSE(Alive(pid)) << pid;
  for (const auto& [name, port] : ports) EXPECT_FALSE(WaitPort(port, 0)) << name;
  EXPECT_FALSE(fs::exists(server + "/pids/pop3.pid"));
}

// A start after a start whose servers were left running (the start command
// killed) ends them first, and only the processes it started: a process
// that took a left PID over is spared.
TEST(DemoServers, AStartEndsWhatAKilledStartLeftAndSparesStrangers) {
  PeerDir dir;
  const std::string server = dir.path + "/demo-server";
  ASSERT_TRUE(Servers("start", server)) << ReadText("servers.txt");
  std::vector<pid_t> old;
  for (const char* name : {"gameserver", "pop3", "smtp", "irc"})
    old.push_back(std::atoi(ReadText(server + "/pids/" + name + ".pid").c_str()));
  // A stranger under a pid file's name.
  const pid_t stranger = fork();
  if (stranger == 0) {
    execlp("sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(stranger, 0);
  ASSERT_TRUE(WriteText(server + "/pids/stray.pid", std::to_string(stranger) + "\n"));
  ASSERT_TRUE(Servers("start", server)) << ReadText("servers.txt");
  for (pid_t pid : old) EXPECT_FALSE(Alive(pid)) << pid;
  EXPECT_TRUE(Alive(stranger));
  EXPECT_FALSE(fs::exists(server + "/pids/stray.pid"));
  const std::map<std::string, uint16_t> ports = Ports(server);
  EXPECT_EQ(ports.size(), 4u);
  for (const auto& [name, port] : ports) EXPECT_TRUE(WaitPort(port, 1000)) << name;
  ASSERT_TRUE(Servers("stop", server)) << ReadText("servers.txt");
  kill(stranger, SIGKILL);
  waitpid(stranger, nullptr, 0);
}

// The tavern's chat of two players through the client's IRC code on the
// demo's chat server: both in the room, what one says the other reads, a
// new name, and the leave.
TEST(DemoServers, TwoPlayersChatInTheDemoTavern) {
  PeerDir dir;
  const std::string server = dir.path + "/demo-server";
  ASSERT_TRUE(Servers("start", server)) << ReadText("servers.txt");
  const std::string host = "127.0.0.1:" + std::to_string(Ports(server)["irc"]);
  EndpointDefaults(&QoESystemPtr->Endpoints);
  MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
  IRCSession* a = InitIRC(host.c_str(), "#Quill", "Hugo", 0);
  ASSERT_NE(a, nullptr);
  ASSERT_GE(a->Socket.load(), 0) << a->Error;
  std::vector<std::string> la, lb;
  ASSERT_TRUE(Pump(a, &la, [&] { return Names(a) == std::vector<std::string>{"Hugo"}; }));
  IRCSession* b = InitIRC(host.c_str(), "#Quill", "Berta", 0);
  ASSERT_NE(b, nullptr);
  ASSERT_GE(b->Socket.load(), 0) << b->Error;
  ASSERT_TRUE(Pump(a, &la, [&] { return Names(a) == std::vector<std::string>{"Berta", "Hugo"} && Has(la, " JOIN "); }));
  ASSERT_TRUE(Pump(b, &lb, [&] { return Names(b) == std::vector<std::string>{"Berta", "Hugo"}; }));
  ASSERT_TRUE(SendIRC(b, "Hail, Hugo!", nullptr, IRC_SEND_CHANNEL));
  ASSERT_TRUE(Pump(a, &la, [&] { return Has(la, "PRIVMSG #Quill :Hail, Hugo!"); }));
  bool read = false;
  for (const auto& l : la) {
    char nick[IRC_NAME], text[IRC_MAX_LINE];
    if (IrcChannelText("#Quill", l.data(), l.size(), nick, sizeof nick, text, sizeof text))
      read = read || (std::string(nick) == "Berta" && std::string(text) == "Hail, Hugo!");
  }
  EXPECT_TRUE(read);
  ASSERT_TRUE(SendIRC(b, nullptr, "Bertha", IRC_SEND_NICK));
  ASSERT_TRUE(Pump(a, &la, [&] { return Names(a) == std::vector<std::string>{"Bertha", "Hugo"}; }));
  a->Status &= (uint16_t)~IRC_STATUS_LEFT;
  ExitIRC(b);
  ASSERT_TRUE(Pump(a, &la, [&] {
    return Names(a) == std::vector<std::string>{"Hugo"} && (a->Status & IRC_STATUS_LEFT) != 0;
  }));
  EXPECT_FALSE(a->Status & IRC_STATUS_FAILED);
  ExitIRC(a);
  MailSetTimeoutMs(0);
  EXPECT_NE(ReadText(server + "/chat.log").find("PRIVMSG #Quill :Hail, Hugo!"), std::string::npos);
  ASSERT_TRUE(Servers("stop", server)) << ReadText("servers.txt");
}

// The double mails each next turn into the player's mailbox when it hands a
// turn out, as a game server mails turns: the first download after a
// restart (which asks the mailbox) finds it. A turn fetched from the mailbox
// is not handed out again, and one handed out leaves the mailbox.
TEST(DemoServers, TheDoubleMailsTheNextTurnWhenItHandsOneOut) {
  PeerDir dir;
  const std::string server = dir.path + "/demo-server";
  fs::create_directories(server + "/turns");
  std::vector<std::string> mails(7);
  for (int k = 2; k <= 6; ++k) {
    mails[k] = TurnMail(k);
    ASSERT_TRUE(WriteText(server + "/turns/turn_0" + std::to_string(k) + ".email", mails[k]));
  }
  ASSERT_TRUE(Servers("start", server)) << ReadText("servers.txt");
  EndpointDefaults(&QoESystemPtr->Endpoints);
  MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
  const auto pop3 = [&] {
    const std::string host = "127.0.0.1:" + std::to_string(Ports(server)["pop3"]);
    return std::string(GetEMail(host.c_str(), "lord", "elmor", "00001001", ".\\Data\\POP3In\\", 0, 1));
  };
  // Nothing is mailed before a turn is handed out.
  EXPECT_TRUE(Files(server + "/mailbox").empty());
  // The double hands turn 2 out and mails turn 3.
  ASSERT_TRUE(FetchFromTheDouble(Ports(server)["gameserver"]));
  EXPECT_EQ(Received(), std::vector<std::string>{"Turn 2"});
  EXPECT_EQ(Files(server + "/mailbox"), std::vector<std::string>{"turn_03.email"});
  EXPECT_EQ(ReadText(server + "/mailbox/turn_03.email"), mails[3]);
  // Fetched from the double before the mailbox: turn 3 leaves the mailbox,
  // turn 4 is mailed.
  ASSERT_TRUE(FetchFromTheDouble(Ports(server)["gameserver"]));
  EXPECT_EQ(Received(), std::vector<std::string>{"Turn 3"});
  EXPECT_EQ(Files(server + "/mailbox"), std::vector<std::string>{"turn_04.email"});
  // A restart (the servers too): its first download asks the mailbox and
  // finds turn 4.
  ASSERT_TRUE(Servers("start", server)) << ReadText("servers.txt");
  EXPECT_EQ(pop3(), "ok");
  EXPECT_EQ(Received(), std::vector<std::string>{"Turn 4"});
  EXPECT_TRUE(Files(server + "/mailbox").empty());
  // The double does not hand turn 4 out again: turn 5 comes, turn 6 is mailed.
  ASSERT_TRUE(FetchFromTheDouble(Ports(server)["gameserver"]));
  EXPECT_EQ(Received(), std::vector<std::string>{"Turn 5"});
  EXPECT_EQ(Files(server + "/mailbox"), std::vector<std::string>{"turn_06.email"});
  EXPECT_EQ(Files(server + "/turns/served"),
            (std::vector<std::string>{"turn_02.email", "turn_03.email", "turn_04.email", "turn_05.email"}));
  // The last turn handed out, nothing more is mailed or waits.
  ASSERT_TRUE(FetchFromTheDouble(Ports(server)["gameserver"]));
  EXPECT_EQ(Received(), std::vector<std::string>{"Turn 6"});
  EXPECT_TRUE(Files(server + "/mailbox").empty());
  ASSERT_TRUE(FetchFromTheDouble(Ports(server)["gameserver"]));
  EXPECT_TRUE(Received().empty());
  MailSetTimeoutMs(0);
  ASSERT_TRUE(Servers("stop", server)) << ReadText("servers.txt");
}

// Orders arriving at the double mail the next turn too: after the first
// turn (fetched from the mailbox) and an upload, a restart's first download
// finds the next turn in the mailbox, and each later upload mails the turn
// after the one the player fetched; uploading again mails nothing twice.
TEST(DemoServers, TheDoubleMailsTheNextTurnWhenOrdersArrive) {
  PeerDir dir;
  const std::string server = dir.path + "/demo-server";
  fs::create_directories(server + "/turns");
  std::vector<std::string> mails(5);
  for (int k = 2; k <= 4; ++k) {
    mails[k] = TurnMail(k);
    ASSERT_TRUE(WriteText(server + "/turns/turn_0" + std::to_string(k) + ".email", mails[k]));
  }
  fs::create_directories("Data/POP3In");
  ASSERT_TRUE(Servers("start", server)) << ReadText("servers.txt");
  EndpointDefaults(&QoESystemPtr->Endpoints);
  MailSetTimeoutMs(5000);
  const auto pop3 = [&] {
    const std::string host = "127.0.0.1:" + std::to_string(Ports(server)["pop3"]);
    return std::string(GetEMail(host.c_str(), "lord", "elmor", "00001001", ".\\Data\\POP3In\\", 0, 1));
  };
  EXPECT_TRUE(Files(server + "/mailbox").empty());
  ASSERT_TRUE(UploadToTheDouble(Ports(server)["gameserver"], "orders of turn 1"));
  EXPECT_EQ(Files(server + "/mailbox"), std::vector<std::string>{"turn_02.email"});
  EXPECT_EQ(ReadText(server + "/mailbox/turn_02.email"), mails[2]);
  // The same orders again: turn 2 is not mailed twice.
  ASSERT_TRUE(UploadToTheDouble(Ports(server)["gameserver"], "orders of turn 1, again"));
  EXPECT_EQ(Files(server + "/mailbox"), std::vector<std::string>{"turn_02.email"});
  EXPECT_EQ(Files(server + "/received"), (std::vector<std::string>{"put_001.txt", "put_002.txt"}));
  // A restart: the first download asks the mailbox and finds turn 2.
  ASSERT_TRUE(Servers("start", server)) << ReadText("servers.txt");
  EXPECT_EQ(pop3(), "ok");
  EXPECT_EQ(Received(), std::vector<std::string>{"Turn 2"});
  // Its orders mail turn 3; the double hands out turn 4 next, not turn 2 again.
  ASSERT_TRUE(UploadToTheDouble(Ports(server)["gameserver"], "orders of turn 2"));
  EXPECT_EQ(Files(server + "/mailbox"), std::vector<std::string>{"turn_03.email"});
  EXPECT_EQ(pop3(), "ok");
  EXPECT_EQ(Received(), std::vector<std::string>{"Turn 3"});
  ASSERT_TRUE(FetchFromTheDouble(Ports(server)["gameserver"]));
  EXPECT_EQ(Received(), std::vector<std::string>{"Turn 4"});
  EXPECT_TRUE(Files(server + "/mailbox").empty());
  // No turn left: orders mail nothing.
  ASSERT_TRUE(UploadToTheDouble(Ports(server)["gameserver"], "orders of turn 4"));
  EXPECT_TRUE(Files(server + "/mailbox").empty());
  MailSetTimeoutMs(0);
  ASSERT_TRUE(Servers("stop", server)) << ReadText("servers.txt");
}
