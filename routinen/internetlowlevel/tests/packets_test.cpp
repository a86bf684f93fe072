// The packet protocol against the game-server double: every command's
// transcript, refusals, stalls, and a drop after every byte of a fetch.
#include "routinen/internetlowlevel/packets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;
using qoe_peers::GameServerDouble;
using qoe_peers::PeerDir;

namespace {

constexpr uint32_t kPlayer = 1234;

std::string Bytes(size_t n, char seed) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; i++) s[i] = (char)(seed + i * 7);
  return s;
}

// A letter file: one SMAL chunk (big-endian) from the sender.
std::string Letter(uint32_t sender) {
  std::string l(292 + 4, 0);
  std::memcpy(&l[0], "SMALV001", 8);
  const uint32_t len = (uint32_t)l.size() - 12;
  l[8] = (char)(len >> 24), l[9] = (char)(len >> 16), l[10] = (char)(len >> 8), l[11] = (char)len;
  l[276] = (char)(sender >> 24), l[277] = (char)(sender >> 16), l[278] = (char)(sender >> 8), l[279] = (char)sender;
  l[291] = 4;
  std::memcpy(&l[292], "Hi!", 4);
  return l;
}

class Packets : public ::testing::Test {
 protected:
  PeerDir dir;
  GameServerDouble server;
  PacketCtx ctx{};
  std::string turns, store, letters, transcript, script;
  void Start(const std::vector<std::string>& extra = {}) {
    turns = dir.path + "/turns";
    store = dir.path + "/store";
    letters = dir.path + "/letters";
    transcript = dir.path + "/transcript.txt";
    script = dir.path + "/script.txt";
    fs::create_directories(turns);
    fs::create_directories(letters);
    std::vector<std::string> opts = {"--turns", turns, "--store", store, "--letters", letters, "--transcript",
                                     transcript, "--script", script};
    opts.insert(opts.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, opts, &server, &error)) << error;
    std::snprintf(ctx.Host, sizeof ctx.Host, "127.0.0.1:%u", server.port);
    ctx.PlayerId = kPlayer;
    std::snprintf(ctx.Folder, sizeof ctx.Folder, ".\\Data\\POP3In\\");
  }
  void TearDown() override {
    ClosePacketCtx(&ctx);
    MailSetTimeoutMs(0);
  }
  static std::vector<std::string> Files(const std::string& d) {
    std::vector<std::string> out;
    if (fs::exists(d))
      for (auto& e : fs::directory_iterator(d)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
};

}  // namespace

TEST_F(Packets, EveryCommandWithItsTranscript) {
  Start();
  const std::string turn = "Subject: Quill of Elmor 00001234\n\n" + Bytes(5000, 'a');
  ASSERT_TRUE(qoe_peers::WriteText(turns + "/01.email", turn));
  ASSERT_TRUE(qoe_peers::WriteText(letters + "/a.smal", Letter(77)));
  ASSERT_TRUE(qoe_peers::WriteText(letters + "/b.smal", Letter(77)));
  ASSERT_EQ(SendPacketConnect(&ctx), 1) << ctx.Error;
  ASSERT_EQ(SendPacketSid(&ctx), 1) << ctx.Error;
  ASSERT_EQ(SendPacketGet(&ctx), 1) << ctx.Error;
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/00001234.email"), std::vector<uint8_t>(turn.begin(), turn.end()));
  ASSERT_EQ(SendPacketGet(&ctx), 1) << ctx.Error;  // nothing waits now
  EXPECT_EQ(Files("Data/POP3In"), std::vector<std::string>{"00001234.email"});
  const std::string msg = Bytes(300, 'm');
  ctx.Data = reinterpret_cast<const uint8_t*>(msg.data());
  ctx.Size = (uint32_t)msg.size();
  ASSERT_EQ(SendPacketMsg(&ctx), 1) << ctx.Error;
  ASSERT_EQ(SendPacketPut(&ctx), 1) << ctx.Error;
  std::snprintf(ctx.Folder, sizeof ctx.Folder, ".\\Data\\MailIn");
  ASSERT_EQ(SendPacketMal(&ctx), 1) << ctx.Error;
  EXPECT_EQ(Files("Data/MailIn"), (std::vector<std::string>{"E000004d_00.smal", "E000004d_01.smal"}));
  ASSERT_EQ(SendPacketQuit(&ctx), 1) << ctx.Error;
  EXPECT_EQ(ctx.Conn, nullptr);
  EXPECT_EQ(qoe_peers::ReadText(store + "/msg_001.bin"), msg);
  EXPECT_EQ(qoe_peers::ReadText(store + "/put_001.txt"), msg);
  EXPECT_TRUE(Files(letters).empty());  // delivered once the client went on
  EXPECT_EQ(qoe_peers::ReadText(transcript),
            "C:+HEL\nS:+VER 0.01\nC:+SID 1234\nS:+ACK\nC:+GET\nS:+ACK " + std::to_string(turn.size()) +
                "\nS:<" + std::to_string(turn.size()) + " bytes>\nC:+GET\nS:+ACK 0\nC:+MSG 300\nS:+ACK\nC:<300 bytes>\nS:+ACK\n"
                "C:+PUT 300\nS:+ACK\nC:<300 bytes>\nS:+ACK\nC:+MAL\nS:+ACK 296\nS:+ACK 296\nS:+ACK 0\nC:+QUI\nS:+ACK\n");
}

TEST_F(Packets, RefusalsStallsAndAClosedPortGiveClearErrors) {
  Start({"--fail", "SID", "unknown player", "--stall", "MSG"});
  ASSERT_EQ(SendPacketConnect(&ctx), 1);
  EXPECT_EQ(SendPacketSid(&ctx), 0);
  EXPECT_NE(std::string(ctx.Error).find("unknown player"), std::string::npos) << ctx.Error;
  EXPECT_EQ(ctx.Conn, nullptr);
  MailSetTimeoutMs(300);
  ASSERT_EQ(SendPacketConnect(&ctx), 1);
  ctx.Data = reinterpret_cast<const uint8_t*>("x");
  ctx.Size = 1;
  // The stalled answer ends by the 0.3 s time-out (without one the call
  // would wait for ever; four minutes tell the two apart on a busy machine).
  int sent = -1;
  EXPECT_TRUE(qoe_test::EndsWithin(
      240000, [&] { sent = SendPacketMsg(&ctx); }, [&] { server.server.Stop(); }))
      << "the stall did not end by the time-out";
  EXPECT_EQ(sent, 0);
  EXPECT_NE(std::string(ctx.Error).find("time-out"), std::string::npos) << ctx.Error;
  server.server.Stop();
  EXPECT_EQ(SendPacketConnect(&ctx), 0);
  EXPECT_NE(std::string(ctx.Error).find("cannot"), std::string::npos) << ctx.Error;
}

TEST_F(Packets, ADropAfterAnyByteOfAFetchLeavesNoFileAndARetryWorks) {
  Start();
  const std::string turn = "Subject: Quill of Elmor 00001234\n\n" + Bytes(200, 't');
  ASSERT_TRUE(qoe_peers::WriteText(turns + "/01.email", turn));
  // Replies before the turn's last byte: "+VER 0.01\r\n", "+ACK\r\n", "+ACK n\r\n", the turn.
  const size_t total = 11 + 6 + 7 + std::to_string(turn.size()).size() + turn.size();
  for (size_t cut = 0; cut < total; cut++) {
    ASSERT_TRUE(qoe_peers::WriteText(script, "drop " + std::to_string(cut) + "\n"));
    const bool ok = SendPacketConnect(&ctx) && SendPacketSid(&ctx) && SendPacketGet(&ctx);
    EXPECT_FALSE(ok) << cut;
    EXPECT_NE(ctx.Error[0], 0) << cut;
    EXPECT_TRUE(Files("Data/POP3In").empty()) << cut;  // no file, no temporary file
    ClosePacketCtx(&ctx);
  }
  ASSERT_TRUE(qoe_peers::WriteText(script, ""));
  ASSERT_TRUE(SendPacketConnect(&ctx) && SendPacketSid(&ctx) && SendPacketGet(&ctx)) << ctx.Error;
  EXPECT_EQ(qoe_peers::ReadText("Data/POP3In/00001234.email"), turn);
}

TEST(PacketReplies, ParserAcceptsOnlyWellFormedLines) {
  uint32_t n = 7;
  int32_t has = 1;
  EXPECT_EQ(ParsePacketReply("+ACK", &n, &has), PACKET_ACK);
  EXPECT_EQ(has, 0);
  EXPECT_EQ(ParsePacketReply("+ACK 4294967295", &n, &has), PACKET_ACK);
  EXPECT_EQ(n, 4294967295u);
  EXPECT_EQ(ParsePacketReply("+ACK 4294967296", &n, &has), PACKET_BAD);
  EXPECT_EQ(ParsePacketReply("+ACK -1", &n, &has), PACKET_BAD);
  EXPECT_EQ(ParsePacketReply("+ACK 12x", &n, &has), PACKET_BAD);
  EXPECT_EQ(ParsePacketReply("+ACKS", &n, &has), PACKET_BAD);
  EXPECT_EQ(ParsePacketReply("+VER 0.01", &n, &has), PACKET_VER);
  EXPECT_EQ(ParsePacketReply("-ERR no", &n, &has), PACKET_ERR);
  EXPECT_EQ(ParsePacketReply("", &n, &has), PACKET_BAD);
  EXPECT_EQ(ParsePacketReply(nullptr, &n, &has), PACKET_BAD);
}

TEST(GoingOnline, EachStackChoice) {
  for (uint8_t stack : {0, 1, 2, 3, 4, 9}) {
    QoESystemPtr->TcpIpStack = stack;
    QoESystemPtr->Status = 0;
    const bool chosen = stack >= 1 && stack <= 4;
    EXPECT_EQ(Start_TCP_IP(), chosen ? 1 : -1) << (int)stack;
    EXPECT_EQ((QoESystemPtr->Status & SYSSTATUS_ONLINE) != 0, chosen) << (int)stack;
    EXPECT_EQ(GoOnline(), chosen ? 1 : 0) << (int)stack;
    EXPECT_EQ(Auflegen(), 1);
    // A LAN stays online; a dial-up stack hangs up.
    EXPECT_EQ((QoESystemPtr->Status & SYSSTATUS_ONLINE) != 0, stack == 4) << (int)stack;
    EXPECT_EQ(Quit_TCP_IP(), chosen ? 1 : -1) << (int)stack;
  }
  QoESystemPtr->TcpIpStack = 4;
}
