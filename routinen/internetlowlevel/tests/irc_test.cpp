// The IRC client against a real ngircd (two clients in one channel: join,
// part, nick change, PRIVMSG, ACTION, names; the panel handing its one
// connection over and back) and the scripted double (433, NickServ, stall,
// drop, overlong line, ERROR, a flood of 10 000 lines drained by a loop that
// never blocks, a flood beyond the session's queue that holds the reader
// back), and the line readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/events.h"
#include "platform/threads.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/sysrecords.h"
#include "tools/testpeers/testpeers.h"

using namespace qoe_peers;

namespace {

using Clock = std::chrono::steady_clock;
int64_t MsSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

// A socket's time-out in these tests (but the one of a stall): ten minutes,
// far past every bound below, so that a bound of minutes tells a wait on
// the network from a busy machine's slowness.
constexpr uint32_t kNetTimeoutMs = 600000;
// What "at once" allows: no wait on the network (however slow the machine).
constexpr int64_t kNoNetWaitMs = 120000;
// A wait for what the server or the session does next.
constexpr int kMinutesMs = 240000;

// Takes blocks (polling, never waiting on the socket) until want() holds.
bool Pump(IRCSession* s, std::vector<std::string>* lines, const std::function<bool()>& want, int timeout_ms = kMinutesMs) {
  auto t0 = Clock::now();
  for (;;) {
    while (IRCTakeBlock(s)) {
      for (uint32_t i = 0; i < s->LinesLength;) {
        std::string l(s->Lines + i);
        i += (uint32_t)l.size() + 1;
        lines->push_back(l);
      }
    }
    if (want()) return true;
    if (MsSince(t0) > timeout_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::vector<std::string> Names(IRCSession* s) {
  char names[64][IRC_NAME];
  uint32_t n = IRCCopyNames(s, names, 64);
  std::vector<std::string> v(names, names + n);
  std::sort(v.begin(), v.end());
  return v;
}

bool Has(const std::vector<std::string>& lines, const std::string& part) {
  for (const auto& l : lines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

class IrcNgircd : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    std::string err;
    ASSERT_TRUE(StartNgircd(dir.path, &irc, &err)) << err;
    EndpointDefaults(&QoESystemPtr->Endpoints);
    MailSetTimeoutMs(kNetTimeoutMs);
  }
  void TearDown() override { MailSetTimeoutMs(0); }
  std::string Host() { return "127.0.0.1:" + std::to_string(irc.port); }
  PeerDir dir;
  Ngircd irc;
};

TEST_F(IrcNgircd, TwoClientsJoinTalkRenameAndLeave) {
  IRCSession* a = InitIRC(Host().c_str(), "#Quill", "alice", 0);
  ASSERT_NE(a, nullptr);
  ASSERT_GE(a->Socket.load(), 0) << a->Error;
  std::vector<std::string> la;
  ASSERT_TRUE(Pump(a, &la, [&] { return Names(a) == std::vector<std::string>{"alice"}; }));
  a->Status &= (uint16_t)~IRC_STATUS_JOINED;

  IRCSession* b = InitIRC(Host().c_str(), "#Quill", "bob", 0);
  ASSERT_GE(b->Socket.load(), 0) << b->Error;
  // The names table may run one read ahead of the queued lines and bits.
  ASSERT_TRUE(Pump(a, &la, [&] {
    return Names(a) == std::vector<std::string>{"alice", "bob"} && Has(la, ":bob!") && Has(la, " JOIN ");
  }));
  EXPECT_TRUE(a->Status & IRC_STATUS_JOINED);
  std::vector<std::string> lb;
  ASSERT_TRUE(Pump(b, &lb, [&] { return Names(b) == std::vector<std::string>{"alice", "bob"}; }));

  ASSERT_TRUE(SendIRC(b, "Hello, tavern", nullptr, IRC_SEND_CHANNEL));
  ASSERT_TRUE(SendIRC(b, "/ME waves", nullptr, IRC_SEND_CHANNEL));
  ASSERT_TRUE(SendIRC(b, "psst", "alice", IRC_SEND_PRIVATE));
  ASSERT_TRUE(SendIRC(b, "one\r\nQUIT :injected", nullptr, IRC_SEND_CHANNEL));
  ASSERT_TRUE(Pump(a, &la, [&] { return Has(la, "PRIVMSG #Quill :one"); }));
  std::vector<std::string> said;
  for (const auto& l : la) {
    char nick[IRC_NAME], text[IRC_MAX_LINE];
    if (IrcChannelText("#Quill", l.data(), l.size(), nick, sizeof nick, text, sizeof text))
      said.push_back(std::string(nick) + ":" + text);
  }
  EXPECT_EQ(said, (std::vector<std::string>{"bob:Hello, tavern", "bob: waves", "bob:one"}));
  EXPECT_TRUE(Has(la, "PRIVMSG #Quill :\x01" "ACTION  waves\x01"));
  EXPECT_TRUE(Has(la, "PRIVMSG alice :psst"));
  EXPECT_GE(b->Socket.load(), 0);  // the injected QUIT never went out

  ASSERT_TRUE(SendIRC(b, nullptr, "bobby", IRC_SEND_NICK));
  ASSERT_TRUE(Pump(a, &la, [&] { return Names(a) == std::vector<std::string>{"alice", "bobby"}; }));
  ASSERT_TRUE(Pump(b, &lb, [&] { return std::string(b->Nick) == "bobby"; }));
  EXPECT_FALSE(SendIRC(b, nullptr, "two words", IRC_SEND_NICK));

  a->Status &= (uint16_t)~IRC_STATUS_LEFT;
  auto t0 = Clock::now();
  ExitIRC(b);
  EXPECT_LT(MsSince(t0), kNoNetWaitMs);
  ASSERT_TRUE(Pump(a, &la, [&] {
    return Names(a) == std::vector<std::string>{"alice"} && (a->Status & IRC_STATUS_LEFT) != 0;
  }));
  EXPECT_FALSE(a->Status & IRC_STATUS_FAILED);
  ExitIRC(a);
}

TEST_F(IrcNgircd, UnreachableServerGivesAClosedSession) {
  IRCSession* s = InitIRC(("127.0.0.1:" + std::to_string(FreePort())).c_str(), "#Quill", "alice", 1);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->Socket.load(), -1);
  EXPECT_TRUE(s->Status & IRC_STATUS_CLOSED);
  EXPECT_NE(std::string(s->Error).find("cannot connect"), std::string::npos) << s->Error;
  EXPECT_FALSE(SendIRC(s, "hello", nullptr, IRC_SEND_CHANNEL));
  ExitIRC(s);
}

class IrcDouble : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    EndpointDefaults(&QoESystemPtr->Endpoints);
    MailSetTimeoutMs(kNetTimeoutMs);
  }
  void TearDown() override { MailSetTimeoutMs(0); }
  void Start(std::vector<std::string> options, const std::string& after_join = "") {
    options.push_back("--transcript");
    options.push_back(dir.path + "/t");
    if (!after_join.empty()) {
      WriteText(dir.path + "/after", after_join);
      options.push_back("--after-join");
      options.push_back(dir.path + "/after");
    }
    std::string err;
    ASSERT_TRUE(StartNetDouble(dir.path, "irc", options, &peer, &err)) << err;
  }
  std::string Host() { return "127.0.0.1:" + std::to_string(peer.port); }
  PeerDir dir;
  NetDouble peer;
};

TEST_F(IrcDouble, TakenNickThenNickServ) {
  Start({"--taken", "alice"},
        ":NickServ!services@quill NOTICE alice2 :This nickname is registered. Please use IDENTIFY.\n");
  IRCSession* s = InitIRC(Host().c_str(), "#Quill", "alice", 1);
  ASSERT_GE(s->Socket.load(), 0) << s->Error;
  EXPECT_TRUE(s->Status & IRC_STATUS_NICK_TAKEN);
  s->Status &= (uint16_t)~IRC_STATUS_NICK_TAKEN;
  ASSERT_TRUE(SendIRC(s, nullptr, "alice2", IRC_SEND_NICK));
  std::vector<std::string> l;
  ASSERT_TRUE(Pump(s, &l, [&] { return (s->Status & IRC_STATUS_NICK_TAKEN) != 0; }));
  EXPECT_EQ(Names(s), (std::vector<std::string>{"alice2", "op"}));
  EXPECT_TRUE(s->Status & IRC_STATUS_JOINED);
  ASSERT_TRUE(SendIRC(s, "IDENTIFY secret", "NICKSERV", IRC_SEND_PRIVATE));
  auto t0 = Clock::now();
  while (ReadText(dir.path + "/t").find("PRIVMSG NICKSERV :IDENTIFY secret") == std::string::npos && MsSince(t0) < kMinutesMs)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_NE(ReadText(dir.path + "/t").find("PRIVMSG NICKSERV :IDENTIFY secret"), std::string::npos);
  ExitIRC(s);
}

TEST_F(IrcDouble, OverlongLineEndsTheSession) {
  Start({"--overlong"});
  IRCSession* s = InitIRC(Host().c_str(), "#Quill", "alice", 0);
  std::vector<std::string> l;
  EXPECT_TRUE(Pump(s, &l, [&] { return (s->Status & IRC_STATUS_ERROR) != 0; }));
  EXPECT_EQ(s->Socket.load(), -1);
  EXPECT_NE(std::string(s->Error).find("longer than 512"), std::string::npos) << s->Error;
  ExitIRC(s);
}

TEST_F(IrcDouble, ServerErrorEndsTheSession) {
  Start({}, "ERROR :Closing link (flooding)\n");
  IRCSession* s = InitIRC(Host().c_str(), "#Quill", "alice", 0);
  std::vector<std::string> l;
  EXPECT_TRUE(Pump(s, &l, [&] { return (s->Status & IRC_STATUS_ERROR) != 0; }));
  EXPECT_NE(std::string(s->Error).find("Closing link (flooding)"), std::string::npos) << s->Error;
  ExitIRC(s);
}

TEST_F(IrcDouble, StallEndsWithATimeOut) {
  MailSetTimeoutMs(300);
  Start({"--stall"});
  IRCSession* s = InitIRC(Host().c_str(), "#Quill", "alice", 0);
  ASSERT_GE(s->Socket.load(), 0) << s->Error;
  auto t0 = Clock::now();
  std::vector<std::string> l;
  EXPECT_TRUE(Pump(s, &l, [&] { return (s->Status & IRC_STATUS_TIMEOUT) != 0; }));
  EXPECT_LT(MsSince(t0), 2000);
  EXPECT_NE(ReadText(dir.path + "/t").find("PING :quill"), std::string::npos);
  ExitIRC(s);
}

TEST_F(IrcDouble, DropMidSessionIsAClosedConnection) {
  Start({"--drop-after", "150"}, ":op!u@h PRIVMSG #Quill :" + std::string(200, 'x') + "\n");
  IRCSession* s = InitIRC(Host().c_str(), "#Quill", "alice", 0);
  std::vector<std::string> l;
  EXPECT_TRUE(Pump(s, &l, [&] { return (s->Status & IRC_STATUS_CLOSED) != 0; }));
  EXPECT_EQ(s->Socket.load(), -1);
  EXPECT_NE(std::string(s->Error).find("closed"), std::string::npos) << s->Error;
  ExitIRC(s);
}

// The lines of the block taken last, each ended by its 0 byte.
std::vector<std::string> TakenLines(const IRCSession* s) {
  std::vector<std::string> v;
  for (uint32_t i = 0; s->Lines && i < s->LinesLength;) {
    std::string l(s->Lines + i);
    i += (uint32_t)l.size() + 1;
    v.push_back(l);
  }
  return v;
}

uint32_t QueuedBlocks(IRCSession* s) {
  ObtainSemaphore(s->Semaphore);
  uint32_t n = 0;
  for (IRCQueueNode* q = s->Queue; q; q = q->next) n++;
  ReleaseSemaphore(s->Semaphore);
  return n;
}

// Counts the flood's lines ("line <n>") in order.
struct FloodCount {
  int next = 0;
  bool in_order = true;
  void Add(const std::string& l) {
    size_t p = l.find("PRIVMSG #Quill :line ");
    if (p == std::string::npos) return;
    if (std::stoi(l.substr(p + 21)) != next) in_order = false;
    next++;
  }
};

// The chat's loop: every waiting block per app message, taken under the
// semaphore by a loop that polls the game queue and never waits on the
// network; the session never has more than one app message waiting.
TEST_F(IrcDouble, ThreadTenThousandLinesDrainedByTheGameLoop) {
  Start({"--flood", "10000"});
  ResetGameMessages();
  IRCSession* s = InitIRC(Host().c_str(), "#Quill", "alice", 1);
  ASSERT_GE(s->Socket.load(), 0) << s->Error;
  FloodCount flood;
  int64_t worst = 0;
  uint32_t events = 0, sent = 0;
  int most_waiting = 0;
  auto t0 = Clock::now();
  // The limit only guards against a hang: under sanitizers on a loaded
  // machine the flood takes far longer than on a quiet one.
  while (flood.next < 10000 && MsSince(t0) < 180000) {
    auto it = Clock::now();
    most_waiting = std::max(most_waiting, GameMessagesWaiting());
    PlatformMessage m;
    if (GetGameMessage(&m, 0) && m.kind == kMsgApp) {
      events++;
      if (IRCTakeAll(s))
        for (const auto& l : TakenLines(s)) flood.Add(l);
      if (SendIRC(s, "still here", nullptr, IRC_SEND_CHANNEL)) sent++;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worst = std::max(worst, MsSince(it));
  }
  EXPECT_EQ(flood.next, 10000);
  EXPECT_TRUE(flood.in_order);
  EXPECT_LE(most_waiting, 1);
  EXPECT_LE(events, 10000u);
  // No pass of the loop waits on the network: a pass that took as long as
  // a socket time-out (ten minutes) would mean it did; scheduling alone
  // stretches one to seconds at most under a loaded sanitizer run.
  EXPECT_LT(worst, kNoNetWaitMs);
  EXPECT_GT(sent, 0u);
  EXPECT_FALSE(s->Status & IRC_STATUS_FAILED) << s->Error;
  auto t1 = Clock::now();
  ExitIRC(s);
  EXPECT_LT(MsSince(t1), kNoNetWaitMs);
  ResetGameMessages();
}

// More lines than the session's queue holds while the game takes none: the
// connection thread waits with a full queue instead of dropping the oldest,
// one app message waits for them, and every line comes in order once the
// game takes them.
TEST_F(IrcDouble, ThreadFullQueueHoldsTheReaderBackAndLosesNoLine) {
  const int kLines = (int)IRC_MAX_QUEUED + 3000;
  Start({"--flood", std::to_string(kLines)});
  ResetGameMessages();
  IRCSession* s = InitIRC(Host().c_str(), "#Quill", "alice", 1);
  ASSERT_GE(s->Socket.load(), 0) << s->Error;
  auto t0 = Clock::now();
  while (QueuedBlocks(s) < IRC_MAX_QUEUED && MsSince(t0) < 120000)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(QueuedBlocks(s), (uint32_t)IRC_MAX_QUEUED);
  EXPECT_EQ(GameMessagesWaiting(), 1);
  FloodCount flood;
  PlatformMessage m;
  while (flood.next < kLines && MsSince(t0) < 180000) {
    if (!GetGameMessage(&m, 100) || m.kind != kMsgApp) continue;
    if (IRCTakeAll(s))
      for (const auto& l : TakenLines(s)) flood.Add(l);
  }
  EXPECT_EQ(flood.next, kLines);
  EXPECT_TRUE(flood.in_order);
  EXPECT_FALSE(s->Status & IRC_STATUS_FAILED) << s->Error;
  ExitIRC(s);
  ResetGameMessages();
}

// A session stopped while its connection thread waits for room ends at once.
TEST_F(IrcDouble, ThreadStopWhileTheReaderWaitsForRoom) {
  Start({"--flood", std::to_string(IRC_MAX_QUEUED + 3000)});
  IRCSession* s = InitIRC(Host().c_str(), "#Quill", "alice", 0);
  ASSERT_GE(s->Socket.load(), 0) << s->Error;
  auto t0 = Clock::now();
  while (QueuedBlocks(s) < IRC_MAX_QUEUED && MsSince(t0) < 120000)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(QueuedBlocks(s), (uint32_t)IRC_MAX_QUEUED);
  auto t1 = Clock::now();
  ExitIRC(s);
  EXPECT_LT(MsSince(t1), kNoNetWaitMs);
}

class IrcPanel : public IrcNgircd {};

TEST_F(IrcPanel, ThreadHandsOneConnectionOverAndBack) {
  std::snprintf(QoESystemPtr->Endpoints.IrcServer, sizeof QoESystemPtr->Endpoints.IrcServer, "%s", Host().c_str());
  std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "%s", "Ulf von Elmor");
  ResetGameMessages();
  int before = irc.Connections();
  EXPECT_EQ(IRCPanelControl(3), nullptr);  // no panel yet
  StartIrcPanel();
  IRCSession* s = IRCPanelControl(3);
  ASSERT_NE(s, nullptr);
  ASSERT_GE(s->Socket.load(), 0) << s->Error;
  EXPECT_STREQ(s->Nick, "UlfvonElmor");
  EXPECT_EQ(irc.Connections(), before + 1);

  // Handed over: the blocks wait for the caller, who is woken for them.
  IRCSession* b = InitIRC(Host().c_str(), "#Quill", "bob", 0);
  ASSERT_GE(b->Socket.load(), 0);
  std::vector<std::string> l;
  ASSERT_TRUE(Pump(s, &l, [&] { return Names(s) == std::vector<std::string>{"UlfvonElmor", "bob"}; }));
  PlatformMessage m;
  int apps = 0;
  while (GetGameMessage(&m, apps ? 0 : kMinutesMs))
    if (m.kind == kMsgApp) apps++;
  EXPECT_GT(apps, 0);

  // Taken back: the panel drains its blocks and posts nothing.
  IRCPanelControl(4);
  ResetGameMessages();
  SendIRC(b, "to the panel", nullptr, IRC_SEND_CHANNEL);
  auto t0 = Clock::now();
  for (;;) {
    ObtainSemaphore(s->Semaphore);
    bool empty = s->Queue == nullptr;
    ReleaseSemaphore(s->Semaphore);
    if ((empty && MsSince(t0) > 300) || MsSince(t0) > kMinutesMs) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(s->Queue, nullptr);
  EXPECT_EQ(GameMessagesWaiting(), 0);

  // Paused: the blocks wait; the same connection comes back with them.
  IRCPanelControl(2);
  SendIRC(b, "while paused", nullptr, IRC_SEND_CHANNEL);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  IRCSession* again = IRCPanelControl(3);
  EXPECT_EQ(again, s);
  l.clear();
  EXPECT_TRUE(Pump(s, &l, [&] { return Has(l, "while paused"); }));
  IRCPanelControl(4);
  IRCPanelControl(1);
  EXPECT_EQ(irc.Connections(), before + 2);  // the panel's and bob's, nothing more
  ExitIRC(b);
  auto t1 = Clock::now();
  StopIrcPanel();
  EXPECT_LT(MsSince(t1), kNoNetWaitMs);
  EXPECT_EQ(IRCPanelControl(3), nullptr);
  ResetGameMessages();
}

TEST(IrcReaders, LinesChannelTextAndActions) {
  IrcMessage m;
  std::string l = ":bob!u@h PRIVMSG #Quill :hello : there";
  ASSERT_TRUE(IrcParseLine(l.data(), l.size(), &m));
  EXPECT_EQ(std::string(m.prefix, m.nick_len), "bob");
  EXPECT_EQ(std::string(m.command, m.command_len), "PRIVMSG");
  ASSERT_EQ(m.count, 2u);
  EXPECT_EQ(std::string(m.param[1], m.param_len[1]), "hello : there");
  for (const char* bad : {"", ":", ": PRIVMSG", ":bob"}) EXPECT_FALSE(IrcParseLine(bad, std::strlen(bad), &m)) << bad;
  std::string too_long(600, 'x');
  EXPECT_FALSE(IrcParseLine(too_long.data(), too_long.size(), &m));

  char nick[IRC_NAME], text[64];
  auto channel = [&](const std::string& line) {
    return IrcChannelText("#Quill", line.data(), line.size(), nick, sizeof nick, text, sizeof text) != 0;
  };
  EXPECT_TRUE(channel(":bob!u@h PRIVMSG #quill :hi\rrest"));
  EXPECT_STREQ(text, "hi");
  EXPECT_FALSE(channel(":bob!u@h PRIVMSG #Quill2 :hi"));
  EXPECT_FALSE(channel(":bob!u@h PRIVMSG #Quil :hi"));
  EXPECT_FALSE(channel(":bob!u@h PRIVMSG alice :hi"));
  EXPECT_FALSE(channel(":bob!u@h NOTICE #Quill :hi"));
  EXPECT_FALSE(channel("PRIVMSG #Quill :no sender"));
  EXPECT_TRUE(channel(":bob!u@h PRIVMSG #Quill :\x01" "ACTION"));  // too short to strip
  EXPECT_STREQ(text, "\x01" "ACTION");
  EXPECT_TRUE(channel(":bob!u@h PRIVMSG #Quill :\x01" "ACTION \x01"));
  EXPECT_STREQ(text, "");
  EXPECT_TRUE(channel(":bob PRIVMSG #Quill :" + std::string(300, 'y')));
  EXPECT_EQ(std::strlen(text), sizeof text - 1);
  EXPECT_STREQ(nick, "bob");

  char out[32];
  EXPECT_EQ(IrcMakeAction("/ME waves", out, sizeof out), 15u);
  EXPECT_STREQ(out, "\x01" "ACTION  waves\x01");
  EXPECT_EQ(IrcMakeAction(("/ME " + std::string(40, 'w')).c_str(), out, sizeof out), 31u);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[30], 1);
}

}  // namespace
