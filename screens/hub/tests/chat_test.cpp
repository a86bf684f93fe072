// The tavern's chat room: the reading of received blocks (channel lines,
// other channels, the own nick, notices, "Time" lines, CR, actions, long
// nicks), the log's lines and scrolling checked in its bitmap, the cursor's
// end, nickname completion; and whole visits on the headless display against
// a real ngircd with a second client (join, talk, action, leave, the
// participant list, "/ME" reaching the channel), the scripted double (a
// registered or taken nickname, failed connections), the IRC panel's one
// connection, and a flood of 10,000 lines while the room types on a busy
// machine.
#include "screens/hub/chat.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/display.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;
using namespace qoe_peers;

namespace {

using Clock = std::chrono::steady_clock;
int64_t MsSince(Clock::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
}

struct Entry {
  std::string label, text;
  bool own;
};
struct Entries {
  std::mutex m;
  std::vector<Entry> v;
  Entries() {
    SetChatPrintHook(
        [](const char* label, const char* text, void* arg) {
          auto* e = static_cast<Entries*>(arg);
          std::lock_guard<std::mutex> lock(e->m);
          e->v.push_back({label ? label : "", text ? text : "", text == nullptr});
        },
        this);
  }
  ~Entries() { SetChatPrintHook(nullptr, nullptr); }
  bool Has(const std::string& text) {
    std::lock_guard<std::mutex> lock(m);
    for (const Entry& x : v)
      if (x.text == text) return true;
    return false;
  }
};

std::string Block(const std::vector<std::string>& lines) {
  std::string b;
  for (const auto& l : lines) b += l + '\0';
  return b;
}

class ChatLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/fonts/XHelvetica11.fnt");
    fs::copy(qoe_test::BinaryDir() + "/datakit/fonts", "Fonts", fs::copy_options::recursive);
    font_ = OpenDiskFont(".\\Fonts\\XHelvetica11.fnt");
    ASSERT_NE(font_, nullptr);
    log_ = NewChatLog(font_, 0);
    ASSERT_NE(log_, nullptr);
    std::strcpy(s_.Channel, "#Quill");
    std::strcpy(s_.Nick, "alice");
  }
  void TearDown() override {
    FreeChatLog(log_);
    CloseFont(font_);
  }
  // Rows (from, to] of the log holding a pixel in pen.
  bool RowsHold(int from, int to, uint32_t pen) {
    for (int y = from; y < to; ++y)
      for (int x = 0; x < (int)kChatLogWidth; ++x)
        if (ReadPixel(log_->rp, x, y) == (int32_t)pen) return true;
    return false;
  }
  bool RowsAre(int from, int to, uint32_t pen) {
    for (int y = from; y < to; ++y)
      for (int x = 0; x < (int)kChatLogWidth; ++x)
        if (ReadPixel(log_->rp, x, y) != (int32_t)pen) return false;
    return true;
  }
  TextFont* font_ = nullptr;
  ChatLog* log_ = nullptr;
  IRCSession s_;
};

TEST_F(ChatLogTest, ShowsOnlyTheChannelsLinesActionsJoinsAndLeaves) {
  Entries e;
  const std::string long_nick(120, 'n');
  const std::string b = Block({
      ":bob!u@h PRIVMSG #Quill :Hello, tavern",
      ":bob!u@h PRIVMSG #Quill2 :another channel",
      ":bob!u@h PRIVMSG alice :private",
      ":NickServ!s@h NOTICE alice :notice",
      "Time :bob!u@h PRIVMSG #Quill :time line",
      ":bob!u@h PRIVMSG #quill :ends at CR\rhidden",
      ":bob!u@h PRIVMSG #Quill :\x01" "ACTION waves\x01",
      ":bob!u@h PRIVMSG #Quill :\x01" "ACTION\x01",
      ":" + long_nick + "!u@h PRIVMSG #Quill :long",
      ":carol!u@h JOIN #Quill",
      ":alice!u@h JOIN #Quill",
      ":carol!u@h PART #Quill :bye",
      ":dave!u@h QUIT :gone",
      ":op!u@h KICK #Quill erin :out",
      ":001 broken",
      "",
  });
  s_.Status = IRC_STATUS_JOINED | IRC_STATUS_LEFT;
  uint32_t line = ChatShowReceived(&s_, log_, b.data(), (uint32_t)b.size(), 0);
  ASSERT_EQ(e.v.size(), 9u);
  EXPECT_EQ(e.v[0].label, "bob");
  EXPECT_EQ(e.v[0].text, "Hello, tavern");
  EXPECT_EQ(e.v[1].text, "ends at CR");
  EXPECT_EQ(e.v[2].text, "waves");
  EXPECT_EQ(e.v[3].text, "");
  EXPECT_EQ(e.v[4].label, std::string(79, 'n'));
  EXPECT_EQ(e.v[5].label, "<-----");
  EXPECT_EQ(e.v[5].text, "Player carol enters the tavern");
  EXPECT_EQ(e.v[6].label, "----->");
  EXPECT_EQ(e.v[6].text, "Player carol leaves the tavern");
  EXPECT_EQ(e.v[7].text, "Player dave leaves the tavern");
  EXPECT_EQ(e.v[8].text, "Player erin leaves the tavern");
  EXPECT_EQ(s_.Status.load(), 0);
  // The long nick's label stands on a line of its own.
  EXPECT_EQ(line, 10u);
  // A truncated block is read up to its length only.
  EXPECT_EQ(ChatShowReceived(&s_, log_, b.data(), 10, line), line);
}

TEST_F(ChatLogTest, WrappedEntriesAdvanceByTheirLinesAndTheLogScrolls) {
  uint32_t line = ChatPrintLine(log_, "bob", "one", 0, 0, kChatPenReceived);
  EXPECT_EQ(line, 1u);
  EXPECT_TRUE(RowsHold(0, 12, kChatPenReceived));
  EXPECT_TRUE(RowsAre(12, (int)kChatLogHeight, kChatPenLog));
  std::string words;
  for (int i = 0; i < 150; ++i) words += "word ";
  const uint32_t more = CountWrappedLines(log_->rp, words.c_str(), 0, 0, 65535, 5, kChatWrapWidth);
  EXPECT_EQ(more, 4u);
  line = ChatPrintLine(log_, "bob", words.c_str(), line, more, kChatPenReceived);
  EXPECT_EQ(line, 6u);
  EXPECT_TRUE(RowsHold(60, 72, kChatPenReceived));  // the fifth line of the entry
  for (int i = 0; i < 9; ++i) line = ChatPrintLine(log_, "bob", "x", line, 0, kChatPenReceived);
  EXPECT_EQ(line, 15u);
  line = ChatPrintLine(log_, "carl", "last", line, 0, kChatPenOwn);
  EXPECT_EQ(line, 16u);
  EXPECT_TRUE(RowsHold(180, 192, kChatPenOwn));
  EXPECT_FALSE(RowsHold(0, 180, kChatPenOwn));
  // Full: a one-line entry scrolls by one line, a five-line entry by five.
  line = ChatPrintLine(log_, "dora", "next", line, 0, kChatPenOwn);
  EXPECT_EQ(line, 16u);
  EXPECT_TRUE(RowsHold(168, 180, kChatPenOwn));  // carl's line moved up
  EXPECT_TRUE(RowsHold(180, 192, kChatPenOwn));
  EXPECT_TRUE(RowsAre(192, (int)kChatLogHeight, kChatPenLog));
  line = ChatPrintLine(log_, "bob", words.c_str(), line, 4, kChatPenReceived);
  EXPECT_EQ(line, 16u);
  EXPECT_TRUE(RowsHold(108, 120, kChatPenOwn));  // dora's line, five lines up
  for (int y = 132; y < 192; y += 12) EXPECT_TRUE(RowsHold(y, y + 12, kChatPenReceived)) << y;
  EXPECT_TRUE(RowsAre(192, (int)kChatLogHeight, kChatPenLog));
  // An entry that would pass the last line scrolls first.
  line = ChatPrintLine(log_, "bob", words.c_str(), 14, 4, kChatPenOwn);
  EXPECT_EQ(line, 16u);
  for (int y = 132; y < 192; y += 12) EXPECT_TRUE(RowsHold(y, y + 12, kChatPenOwn)) << y;
}

TEST(ChatCursor, EndXRestartsAtTheWrapEdge) {
  uint8_t w[kChatInputMax + 1] = {};
  EXPECT_EQ(ChatCursorEndX(w, 407), 0u);
  for (int i = 0; i < 37; ++i) w[i] = 11;  // 407 exactly
  EXPECT_EQ(ChatCursorEndX(w, 407), 407u);
  w[37] = 5;
  EXPECT_EQ(ChatCursorEndX(w, 407), 5u);
  w[38] = 7;
  EXPECT_EQ(ChatCursorEndX(w, 407), 12u);
  EXPECT_EQ(ChatCursorEndX(nullptr, 407), 0u);
  uint8_t full[kChatInputMax + 1];
  std::memset(full, 1, sizeof full);  // no end mark: stops at 400 characters
  EXPECT_EQ(ChatCursorEndX(full, 407), 400u);
}

TEST(ChatComplete, NickFromTheNamesTable) {
  const char names[3][80] = {"alice", "Bertram", "bob"};
  char out[80];
  EXPECT_EQ(ChatCompleteNick("hello be", names, 3, out, sizeof out), 5u);
  EXPECT_STREQ(out, "rtram");
  EXPECT_EQ(ChatCompleteNick("bo", names, 3, out, sizeof out), 1u);
  EXPECT_STREQ(out, "b");
  EXPECT_EQ(ChatCompleteNick("hello ", names, 3, out, sizeof out), 0u);
  EXPECT_EQ(ChatCompleteNick("zed", names, 3, out, sizeof out), 0u);
  EXPECT_EQ(ChatCompleteNick("bob", names, 3, out, sizeof out), 0u);
  EXPECT_EQ(ChatCompleteNick("Bert", names, 3, out, 3), 2u);
  EXPECT_STREQ(out, "ra");
}

// ---- Whole visits ------------------------------------------------------------------------

bool QueueHolds(IRCSession* s, const std::string& a, const std::string& b = "") {
  ObtainSemaphore(s->Semaphore);
  bool found = false;
  for (IRCQueueNode* n = s->Queue; n && !found; n = n->next) {
    std::string l(n->text, n->length);
    found = l.find(a) != std::string::npos && l.find(b) != std::string::npos;
  }
  ReleaseSemaphore(s->Semaphore);
  return found;
}

// Waits until f() holds, four minutes at most (real time).
bool WaitFor(const std::function<bool()>& f, int timeout_ms = 240000) {
  auto t0 = Clock::now();
  while (!f()) {
    if (MsSince(t0) > timeout_ms) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Lines a second client received, taken without waiting.
bool Received(IRCSession* s, std::vector<std::string>* lines, const std::string& part, int timeout_ms = 240000) {
  return WaitFor(
      [&] {
        while (IRCTakeBlock(s)) lines->push_back(std::string(s->Lines, s->LinesLength));
        for (const auto& l : *lines)
          if (l.find(part) != std::string::npos) return true;
        return false;
      },
      timeout_ms);
}

class ChatRun : public ::testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/RuneStone.dat");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    // Ten minutes: a busy machine's slow server never runs into it (the
    // time-out's own test sets a short one).
    MailSetTimeoutMs(600000);
    QoESystemPtr->Optionen.net_option_bits = 0;
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
    HeadlessSetSyncTimeout(240000);
  }
  void TearDown() override {
    SetChatLoopHook(nullptr, nullptr);
    HeadlessSetSyncTimeout(0);  // the default
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
    MailSetTimeoutMs(0);
    QoESystemPtr->Optionen.net_option_bits = 0;
  }
  void Server(const std::string& host) {
    std::snprintf(QoESystemPtr->Endpoints.IrcServer, sizeof QoESystemPtr->Endpoints.IrcServer, "%s", host.c_str());
  }
  std::string Click(int x, int y) const { return qoe_test::ClickLine(x + dx_, y + dy_); }
  std::string Move(int x, int y) const {
    return "move " + std::to_string(x + dx_) + " " + std::to_string(y + dy_) + "\n";
  }
  // The hook sees the mouse at (1, n) as the script's signal n.
  static int Signal() { return GetMouseX() == 1 ? GetMouseY() : 0; }
  int32_t Run(const std::string& script, const char* nick = "alice") {
    static int32_t result;
    static const char* name;
    result = 99;
    name = nick;
    const std::string timed = "timer 0 100\nwait 500\n" + script + "wait 200\n";
    hook_ = [this](IRCSession* s) { OnLoop(s); };
    SetChatLoopHook([](IRCSession* s, void* arg) { (*static_cast<std::function<void(IRCSession*)>*>(arg))(s); },
                    &hook_);
    EXPECT_EQ(HeadlessRunGame(timed.c_str(),
                              [](void*) {
                                if (OpenElmorPic(".\\Data\\Path", 59, 0) == -1) return result = -2, 0;
                                result = TaverneOnlineChat("#Quill", name);
                                CloseElmorPic(59, 1);
                                return 0;
                              },
                              nullptr),
              0);
    return result;
  }
  virtual void OnLoop(IRCSession*) {}
  std::string Png(const std::string& name) const { return name + "_" + std::to_string(GetParam()) + ".png"; }
  std::function<void(IRCSession*)> hook_;
  int32_t dx_ = 0, dy_ = 0;
  PeerDir dir_;
};

class ChatNgircd : public ChatRun {
 protected:
  void SetUp() override {
    ChatRun::SetUp();
    std::string err;
    ASSERT_TRUE(StartNgircd(dir_.path, &irc_, &err)) << err;
    host_ = "127.0.0.1:" + std::to_string(irc_.port);
    Server(host_);
  }
  void TearDown() override {
    ExitIRC(bob_);
    ChatRun::TearDown();
  }
  void OnLoop(IRCSession* s) override {
    if (step_ == 0) {
      // Bob comes in and talks once the room is open.
      step_ = 1;
      bob_ = InitIRC(host_.c_str(), "#Quill", "bob", 0);
      ok_ = bob_ && bob_->Socket.load() >= 0 && WaitFor([&] { return QueueHolds(s, ":bob!", "JOIN"); }) &&
            SendIRC(bob_, "Hello, tavern", nullptr, IRC_SEND_CHANNEL) &&
            SendIRC(bob_, "/ME waves", nullptr, IRC_SEND_CHANNEL) && WaitFor([&] { return QueueHolds(s, "waves"); });
    } else if (Signal() == 1 && step_ == 1) {
      // The room's action reached bob; he leaves.
      step_ = 2;
      ok_ = ok_ && Received(bob_, &bob_lines_, "dances");
      ExitIRC(bob_);
      bob_ = nullptr;
      ok_ = ok_ && WaitFor([&] { return QueueHolds(s, ":bob!", "QUIT"); });
    }
  }
  Ngircd irc_;
  std::string host_;
  IRCSession* bob_ = nullptr;
  std::vector<std::string> bob_lines_;
  int step_ = 0;
  bool ok_ = false;
};

TEST_P(ChatNgircd, TalkActionJoinLeaveAndTheParticipants) {
  Entries e;
  const std::string full = Png("chat_full"), list = Png("chat_participants");
  const int32_t r = Run(Move(300, 200) + Click(300, 400) + "text \"/ME dances\"\nkey enter\n" + Click(178, 344) +
                        "png " + list + "\nkey esc\n" + "text \"hi b\"\nkey tab\n" + Move(1, 1) + Move(300, 200) +
                        "png " + full + "\n" + Click(535, 410));
  EXPECT_EQ(r, 1);
  EXPECT_TRUE(ok_);
  std::string said;
  for (const auto& l : bob_lines_) said += l + "\n";
  EXPECT_NE(said.find("PRIVMSG #Quill :\x01" "ACTION  dances\x01"), std::string::npos) << said;
  ASSERT_GE(e.v.size(), 5u);
  EXPECT_EQ(e.v[0].text, "Player bob enters the tavern");
  EXPECT_EQ(e.v[1].label, "bob");
  EXPECT_EQ(e.v[1].text, "Hello, tavern");
  EXPECT_EQ(e.v[2].text, " waves");
  EXPECT_TRUE(e.v[3].own);
  EXPECT_EQ(e.v[3].label, "alice");
  EXPECT_EQ(e.v[4].text, "Player bob leaves the tavern");
  EXPECT_TRUE(qoe_test::KeepPng(full));
  EXPECT_TRUE(qoe_test::KeepPng(list));
}

// With the IRC panel enabled the room takes the panel's connection: the
// server counts no second one, and the panel has it back afterwards.
class ChatPanel : public ChatNgircd {
 protected:
  void OnLoop(IRCSession* s) override {
    if (step_ == 0) {
      step_ = 1;
      seen_ = s;
      connections_ = irc_.Connections();
    }
  }
  IRCSession* seen_ = nullptr;
  int connections_ = 0;
};

TEST_P(ChatPanel, ThreadUsesThePanelsOneConnection) {
  QoESystemPtr->Optionen.net_option_bits = NET_IRC_PANEL;
  std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "%s", "Ulf");
  const int before = irc_.Connections();
  StartIrcPanel();
  IRCSession* panel = IRCPanelControl(3);
  ASSERT_NE(panel, nullptr);
  IRCPanelControl(4);
  EXPECT_EQ(Run(Click(535, 410), "Ulf"), 1);
  EXPECT_EQ(seen_, panel);
  EXPECT_EQ(connections_, before + 1);
  EXPECT_EQ(irc_.Connections(), before + 1);
  EXPECT_EQ(IRCPanelControl(3), panel);
  EXPECT_GE(panel->Socket.load(), 0);
  IRCPanelControl(4);
  StopIrcPanel();
  QoESystemPtr->Status &= ~SYSSTATUS_ONLINE;
}

// The scripted double: a nickname somebody registered, one that is taken,
// and connections that fail.
class ChatDouble : public ChatRun {
 protected:
  void Start(std::vector<std::string> options, const std::string& after_join = "") {
    options.push_back("--transcript");
    options.push_back(dir_.path + "/t");
    if (!after_join.empty()) {
      WriteText(dir_.path + "/after", after_join);
      options.push_back("--after-join");
      options.push_back(dir_.path + "/after");
    }
    std::string err;
    ASSERT_TRUE(StartNetDouble(dir_.path, "irc", options, &peer_, &err)) << err;
    Server("127.0.0.1:" + std::to_string(peer_.port));
  }
  void OnLoop(IRCSession* s) override {
    if (wait_bits_ && !waited_) {
      waited_ = true;
      WaitFor([&] { return (s->Status.load() & wait_bits_) != 0; });
    }
  }
  std::string Transcript() { return ReadText(dir_.path + "/t"); }
  NetDouble peer_;
  uint16_t wait_bits_ = 0;
  bool waited_ = false;
};

TEST_P(ChatDouble, RegisteredNickGivesThePasswordToNickServ) {
  Start({}, ":NickServ!services@quill NOTICE alice :This nickname is registered. Please use IDENTIFY.\n");
  wait_bits_ = IRC_STATUS_NICK_TAKEN;
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Move(300, 200) + "key enter\ntext \"s3cret\"\nkey enter\n" + Move(301, 200) + Click(535, 410)), 1);
  EXPECT_TRUE(WaitFor([&] { return Transcript().find("PRIVMSG NICKSERV :IDENTIFY s3cret") != std::string::npos; }))
      << Transcript();
  EXPECT_FALSE(log.Has("s3cret"));
}

TEST_P(ChatDouble, TakenNickGetsANewNickname) {
  Start({"--taken", "alice"});
  std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "%s", "alice");
  wait_bits_ = IRC_STATUS_NICK_TAKEN;
  EXPECT_EQ(Run(Move(300, 200) + "key esc\ntext \"alice2\"\nkey enter\n" + Move(301, 200) + Click(535, 410)), 1);
  EXPECT_STREQ(OwnPlayerPtr->LordName, "alice2");
  EXPECT_TRUE(WaitFor([&] { return Transcript().find("NICK alice2") != std::string::npos; })) << Transcript();
}

TEST_P(ChatDouble, CancelledNicknameEndsTheChat) {
  Start({"--taken", "alice"});
  wait_bits_ = IRC_STATUS_NICK_TAKEN;
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Move(300, 200) + "key esc\nkey esc\nkey enter\n"), 1);
  EXPECT_TRUE(log.Has("TaverneOnlineChat: Meldung 378"));
}

TEST_P(ChatDouble, StalledServerEndsTheChatWithItsError) {
  MailSetTimeoutMs(300);
  Start({"--stall"});
  wait_bits_ = IRC_STATUS_TIMEOUT;
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Move(300, 200) + "key enter\n"), 1);
  EXPECT_TRUE(log.Has("TaverneOnlineChat: Meldung 417")) << Transcript();
}

TEST_P(ChatDouble, EachFailureBitShowsTheError) {
  for (uint16_t bit : {IRC_STATUS_CLOSED, IRC_STATUS_TIMEOUT, IRC_STATUS_ERROR}) {
    static IRCSession s;
    s.Status = bit;
    std::snprintf(s.Error, sizeof s.Error, "%s", "the server went away");
    static int32_t r;
    qoe_test::LogLines log;
    EXPECT_EQ(HeadlessRunGame("key enter\n", [](void*) { return r = NickServIdentify(&s), 0; }, nullptr), 0);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(s.Status.load(), 0);
    EXPECT_TRUE(log.Has("TaverneOnlineChat: Meldung 417: the server went away")) << bit;
  }
}

TEST_P(ChatDouble, NoServerFailsTheRegistration) {
  Server("127.0.0.1:" + std::to_string(FreePort()));
  qoe_test::LogLines log;
  EXPECT_EQ(Run("key enter\n"), 0);
  EXPECT_TRUE(log.Has("TaverneOnlineChat: Anmeldung fehlgeschlagen"));
}

// Busy-loop processes, one per core asked for, that keep the machine busy
// while they live (they end with the record).
struct BusyMachine {
  std::vector<pid_t> pids;
  explicit BusyMachine(int n) {
    char sh[] = "sh", c[] = "-c", loop[] = "while :; do :; done";
    char* argv[] = {sh, c, loop, nullptr};
    for (int i = 0; i < n; ++i) {
      pid_t pid = 0;
      if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) == 0) pids.push_back(pid);
    }
  }
  ~BusyMachine() {
    for (pid_t pid : pids) kill(pid, SIGKILL);
    for (pid_t pid : pids) waitpid(pid, nullptr, 0);
  }
};

uint32_t QueuedBlocks(IRCSession* s) {
  ObtainSemaphore(s->Semaphore);
  uint32_t n = 0;
  for (IRCQueueNode* q = s->Queue; q; q = q->next) n++;
  ReleaseSemaphore(s->Semaphore);
  return n;
}

// A flood of 10,000 channel lines while the room types, sends and scrolls,
// on a machine kept busy: every line reaches the log once, in order, before
// the exit; every typed character reaches the channel; the game's queue
// never fills with the session's wake-ups.
class ChatFlood : public ChatDouble {
 protected:
  void OnLoop(IRCSession* s) override {
    most_waiting_ = std::max(most_waiting_, GameMessagesWaiting());
    if (Signal() == 4 && !waited_) {
      waited_ = true;
      HeadlessSetSyncTimeout(600000);
      // The last line is queued, or was already taken and printed.
      ok_ = WaitFor([&] { return QueueHolds(s, "line 9999") || entries_->Has("line 9999"); }, 600000);
    }
    if (Signal() == 5 && !checked_) {
      // The script goes on only once the game took what waited: the
      // session's queue is empty before the exit, every line printed.
      checked_ = true;
      queued_before_exit_ = QueuedBlocks(s);
      std::lock_guard<std::mutex> lock(entries_->m);
      for (const Entry& x : entries_->v) printed_before_exit_ += x.label == "op";
    }
  }
  bool ok_ = false, checked_ = false;
  uint32_t queued_before_exit_ = 99999;
  int printed_before_exit_ = 0, most_waiting_ = 0;
  Entries* entries_ = nullptr;
};

TEST_P(ChatFlood, ThreadTenThousandLinesWhileTyping) {
  BusyMachine busy(4);
  EXPECT_EQ(busy.pids.size(), 4u);
  Start({"--flood", "10000"});
  Entries e;
  entries_ = &e;
  const std::string png = Png("chat_flood");
  EXPECT_EQ(Run(Click(300, 400) + "text \"first words\"\nkey enter\ntext \"/ME sings\"\nkey enter\n" +
                "text \"typed on\"\n" + Move(1, 4) + "text \" and on\"\n" + Move(1, 5) + "key enter\n" +
                Move(300, 200) + "png " + png + "\n" + Click(535, 410)),
            1);
  EXPECT_TRUE(ok_);
  EXPECT_TRUE(checked_);
  EXPECT_EQ(queued_before_exit_, 0u);
  EXPECT_EQ(printed_before_exit_, 10000);
  // The script's own input at the most (a text of 11 characters), never
  // thousands of wake-ups.
  EXPECT_LE(most_waiting_, 16);
  int next = 0;
  bool in_order = true;
  size_t own = 0;
  for (const Entry& x : e.v) {
    if (x.own) ++own;
    if (x.label != "op") continue;
    if (x.text != "line " + std::to_string(next)) in_order = false;
    ++next;
  }
  EXPECT_EQ(next, 10000);
  EXPECT_TRUE(in_order);
  EXPECT_EQ(own, 3u);
  // What the room typed reached the channel character for character.
  const std::vector<std::string> typed = {"PRIVMSG #Quill :first words\n",
                                          "PRIVMSG #Quill :\x01" "ACTION  sings\x01\n",
                                          "PRIVMSG #Quill :typed on and on\n"};
  EXPECT_TRUE(WaitFor([&] {
    const std::string t = Transcript();
    for (const auto& line : typed)
      if (t.find(line) == std::string::npos) return false;
    return true;
  })) << Transcript();
  const std::string t = Transcript();
  size_t said = 0;
  for (size_t p = 0; (p = t.find("PRIVMSG #Quill :", p)) != std::string::npos; ++p) ++said;
  EXPECT_EQ(said, typed.size()) << t;
  EXPECT_TRUE(qoe_test::KeepPng(png));
}

INSTANTIATE_TEST_SUITE_P(Modes, ChatFlood, testing::Values(0u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });
INSTANTIATE_TEST_SUITE_P(Modes, ChatPanel, testing::Values(0u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });
INSTANTIATE_TEST_SUITE_P(Modes, ChatDouble, testing::Values(0u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });
INSTANTIATE_TEST_SUITE_P(Modes, ChatNgircd, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });

}  // namespace
