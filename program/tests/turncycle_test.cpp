// A player's whole turn on the demo realm, headless, against real servers on
// loopback: the turn fetched from dovecot and evaluated, orders given on the
// taxes, construction and market screens and on the map (a move and an
// attack), a letter written, screens left and entered again, the game saved
// and loaded back, uploads that a scripted peer, a cut connection and a full
// disk make fail, and the upload through exim that delivers every order
// byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/map/mapaction.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/economy/bau.h"
#include "screens/economy/handel.h"
#include "screens/economy/steuern.h"
#include "screens/hub/residenz.h"
#include "screens/hub/residenzdownload.h"
#include "screens/hub/residenzdownload_internal.h"
#include "screens/hub/residenzupload.h"
#include "screens/hub/savegame.h"
#include "tests/support/kill_loop.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

using Files = qoe_test::FileBytes;

// The chunk types the player's orders and the map put into the turn.
const char* const kOrderChunks[] = {"TAXE", "BAUE", "LAND", "KORN", "KRIG"};

class TurnCycle : public ::testing::Test, protected qoe_test::HeadlessScreen {
 protected:
  qoe_peers::PeerDir dir;
  qoe_peers::Dovecot dovecot;
  qoe_peers::Exim exim;
  const std::vector<qoe_peers::MailUser> users = {{"zuege", "secret"}, {"player", "secret"}};
  Realm realm;
  char name[MAIL_NAME_SIZE] = {};

  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Bau.dat");
    qoe_test::CopyDataKit();
    std::string err;
    ASSERT_TRUE(LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm", &realm, &err)) << err;
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    fs::create_directories("Data/MailOut");
    *OwnPlayerPtr = OwnPlayer{};
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildSignupAnswer(realm)));
    ASSERT_EQ(GameInit(ReceivedPoolPath), 1);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    CheckPrefs(PREFS_LAST_MAIL_DATE, 1, 0);
    CheckPrefs(PREFS_TUTORIAL_STEP, 1, 18);
    CheckPrefs(PREFS_TIP_COUNTER, 1, 9);
    TurnMailName(realm.player_id, name);
    RegisterGameDataListTypes();
    SetGameDataOwner(realm.player_id, realm.player_name.c_str());
    std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "%s", realm.player_name.c_str());
    // The servers, and the options that name them.
    ASSERT_TRUE(qoe_peers::MakeCertificate(dir.path, &err)) << err;
    ASSERT_TRUE(qoe_peers::StartDovecot(dir.path, users, &dovecot, &err)) << err;
    ASSERT_TRUE(qoe_peers::StartExim(dir.path, users, &exim, &err)) << err;
    QoESystemPtr->Endpoints.MailTls = TLS_OFF;
    QoESystemPtr->TcpIpStack = 4;
    MailSetTimeoutMs(240000);  // a hang guard only: minutes, however busy the machine
    std::snprintf(QoESystemPtr->Endpoints.TurnMailbox, sizeof QoESystemPtr->Endpoints.TurnMailbox, "zuege@localhost");
    OptionenPrefs& o = QoESystemPtr->Optionen;
    o.net_option_bits = NET_MAIL_ROUTE;
    std::snprintf(o.pop3_host, sizeof o.pop3_host, "127.0.0.1:%u", dovecot.pop3);
    std::snprintf(o.pop3_user, sizeof o.pop3_user, "player");
    std::snprintf(o.pop3_password, sizeof o.pop3_password, "secret");
    SmtpTo(exim.smtp);
    std::snprintf(o.smtp_user, sizeof o.smtp_user, "player");
    std::snprintf(o.smtp_password, sizeof o.smtp_password, "secret");
    std::snprintf(o.email, sizeof o.email, "player@localhost");
    OpenHeadlessScreen(0);
  }
  void TearDown() override {
    CloseHeadlessScreen();
    FileFailWritesAfter(-1);
    MailSetTimeoutMs(0);
    ResetDownloadState();
    ResetChunkPoolState();
    SetGameDataOwner(0, nullptr);
    *OwnPlayerPtr = OwnPlayer{};
  }
  static void SmtpTo(uint16_t port) {
    std::snprintf(QoESystemPtr->Optionen.smtp_host, sizeof QoESystemPtr->Optionen.smtp_host, "127.0.0.1:%u", port);
  }

  // The turn comes in: the server's mail of the next quarter fetched from
  // the mailbox and evaluated as the download does.
  // server_turns: the game-server double's turns folder (the third fetch of
  // a run asks the server), or empty for the mailbox.
  // changes: more of the turn (turn builder lines).
  void Download(const std::string& server_turns = "", const std::string& changes = "") {
    const uint32_t year = CheckPrefs(PREFS_YEAR, 0, 0), quarter = CheckPrefs(PREFS_QUARTER, 0, 0) + 1;
    Realm next = realm;
    std::string err;
    ASSERT_TRUE(ParseRealm("turn year=" + std::to_string(year + quarter / 4) + " quarter=" +
                               std::to_string(quarter % 4) + "\n" + changes,
                           "next.changes", &next, &err, true))
        << err;
    const std::string mail = BuildTurnMail(BuildTurnPool(next), name, "player@localhost", "");
    if (server_turns.empty()) {
      ASSERT_TRUE(qoe_peers::DropMail(dovecot.mail_root, "player", mail));
    } else {
      ASSERT_TRUE(qoe_peers::WriteText(server_turns + "/turn.email", mail));
      OwnPlayerPtr->Fetches = std::max<uint16_t>(OwnPlayerPtr->Fetches, 2);
    }
    char status[400];
    const char* got = HoleSpielzugMail(name, status, sizeof status);
    ASSERT_NE(got, nullptr);
    ASSERT_STREQ(got, "ok");
    ListHeader* list = CreateList(LIST_TURN_MAILS);
    const TurnEvaluation r = EvaluateTurnMails(list, name, nullptr);
    DeleteList(list, 1);
    if (!server_turns.empty()) {
      EXPECT_TRUE(fs::exists(server_turns + "/served/turn.email"));
      fs::remove(server_turns + "/served/turn.email");
      EXPECT_EQ(QoESystemPtr->Optionen.net_option_bits, NET_SERVER_ROUTE);
    }
    ASSERT_EQ(r.passedInfo, 1u);
    ASSERT_EQ(r.damaged, 0u);
    ASSERT_EQ(CheckPrefs(PREFS_QUARTER, 0, 0), quarter % 4);
    // A new quarter starts the orders anew from the armies and ships the turn brought.
    EXPECT_EQ(IsChunkInFile(1u << CHUNK_TAXE, OutgoingPoolPath), 0);
  }

  int32_t Run(int32_t (*screen)(int32_t), const std::string& script) {
    return RunScreen(screen, 2, "timer 0 100\nwait 1500\n" + script + "wait 500\n");
  }
  // The orders: the judicial setting on the taxes screen, a bank in
  // Seewacht on the construction screen, a purchase on Elmor's market, a
  // scout moved on the map and an attack of the first army on the second,
  // and a letter to a neighbour.
  void GiveOrders() {
    EXPECT_EQ(Run(SteuernScreen, Click(377, 300) + "wait 300\n" + Click(590, 440) + "wait 300\n"), 2);
    OwnPlayerPtr->ActiveTown = 2;
    EXPECT_EQ(Run(BauScreen, Click(552, 352) + Click(552, 352) + Click(359, 411) + "wait 300\nkey enter\n" +
                                 Click(543, 411)),
              39);
    OwnPlayerPtr->ActiveTown = 1;
    const Files goods = GoodsFiles();
    EXPECT_EQ(Run(HandelsScreen, Click(60, 183) + Click(167, 455) + "wait 300\nkey enter\n" + Click(213, 68)), 39);
    EXPECT_NE(GoodsFiles(), goods) << "the market bought nothing";
    MoveFirstFigure(1);
    Attack();
    ASSERT_EQ(CreateSmalMail("Sigurd", 2002, "Grain", "Wheat for your iron?"), 1);
  }
  static Files GoodsFiles() {
    Files f;
    f["ware"] = qoe_test::ReadFileBytes("Data/WarenChunk.qoe");
    return f;
  }
  // The map's move: the first figure one field to the east, written back as
  // the map screen writes its figures.
  static void MoveFirstFigure(uint32_t dx) {
    uint8_t* move = LoadChunk2Mem("MOVE", MapPrefsPath);
    ASSERT_NE(move, nullptr);
    ListHeader* list = CreateList(LIST_FIGURES);
    ASSERT_EQ(ScanFigur2List(list, move), 1);
    FreeChunk(move);
    ASSERT_GT(list->count, 0u);
    reinterpret_cast<MOVE_EXT*>(list->first)->figure.x += dx;
    ASSERT_EQ(SaveFigurList2MapPrefs(list), 1);
    DeleteList(list, 0);
  }
  // The figure menu's attack: the outgoing KRIG chunk one entry longer.
  static void Attack() {
    FigurRecord a{}, t{};
    a.owner = 1001, a.type = 0, a.number = 1, a.x = 6408, a.y = 3195;
    t.owner = 2002, t.type = 0, t.number = 7, t.x = 6409, t.y = 3195;
    uint32_t size = 0, bytes = 0;
    uint8_t* pool = static_cast<uint8_t*>(LoadFile2MemSize(OutgoingPoolPath, 0, &size));
    const uint8_t* old = pool ? FindChunkInPoolImage(pool, size, "KRIG", &bytes) : nullptr;
    uint8_t* krig = KriegsChunkAppend(old, bytes, a, t);
    if (pool) FreeVec(pool);
    ASSERT_NE(krig, nullptr);
    ASSERT_EQ(AddChunkPool(krig, OutgoingPoolPath), 1);
    FreeChunk(krig);
  }

  // What the player's turn is made of on disk.
  static Files TurnFiles() {
    Files f;
    for (const auto& [name, bytes] : qoe_test::FileTree("Data/MailOut")) f["Data/MailOut/" + name] = bytes;
    for (const char* p : {"Data/POP3Out/GameChunk.qoe", "Data/WarenChunk.qoe", "Data/MapPrefs.qoe", "Data/Prefs.qoe"})
      f[p] = qoe_test::ReadFileBytes(p);
    return f;
  }
  static std::vector<uint8_t> ChunkOf(const char* path, const char* id) {
    const LoadedChunk c(id, path);
    return c.p ? std::vector<uint8_t>(c.p, c.p + 12 + c.len()) : std::vector<uint8_t>();
  }
  // The turn as the server received it: the new outgoing pool, every order
  // as the pool held it before, the goods file's goods, the map's figures,
  // the letter.
  std::vector<std::vector<uint8_t>> Orders() {
    std::vector<std::vector<uint8_t>> orders;
    for (const char* id : kOrderChunks) {
      orders.push_back(ChunkOf(OutgoingPoolPath, id));
      EXPECT_FALSE(orders.back().empty()) << id;
    }
    return orders;
  }
  void ExpectSentTurn(const std::vector<uint8_t>& sent, const std::vector<std::vector<uint8_t>>& orders) {
    // The orders became the turn as sent, but for the goods: their home is
    // the goods file.
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/kept.qoe", sent));
    ASSERT_EQ(RemChunkPool("WARE", ".\\Data\\POP3In\\kept.qoe"), 1);
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3In/kept.qoe"), qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"));
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/sent.qoe", sent));
    const char* kSent = ".\\Data\\POP3In\\sent.qoe";
    for (size_t i = 0; i < orders.size(); ++i) EXPECT_EQ(ChunkOf(kSent, kOrderChunks[i]), orders[i]) << kOrderChunks[i];
    EXPECT_EQ(ChunkOf(kSent, "WARE"), ChunkOf(".\\Data\\WarenChunk.qoe", "WARE"));
    EXPECT_EQ(ChunkOf(kSent, "MOVE"), ChunkOf(MapPrefsPath, "MOVE"));
    const std::vector<uint8_t> letters = ChunkOf(kSent, "MAIL");
    ASSERT_GE(letters.size(), 16u);
    EXPECT_EQ(ChunkGet32(letters.data(), 12), 1u);
    EXPECT_EQ(ChunkGet32(letters.data(), 16 + 280), 2002u);
  }
  // The pool of the last turn the game-server double stored.
  static std::vector<uint8_t> LastPut(const std::string& store) {
    std::string last;
    for (auto& e : fs::directory_iterator(store))
      if (e.path().filename().string().rfind("put_", 0) == 0 && e.path().string() > last) last = e.path().string();
    EXPECT_FALSE(last.empty());
    const std::string text = qoe_peers::ReadText(last);
    uint8_t* out = nullptr;
    uint32_t len = 0;
    if (VDecode(text.data(), text.size(), &out, &len) != VDECODE_OK) return {};
    std::vector<uint8_t> v(out, out + len);
    FreeVec(out);
    return v;
  }
  // An upload that must not go out: 0, a reason naming the server's answer,
  // nothing of the turn changed, no turn delivered.
  void ExpectNotSent(const char* why, const std::string& expect_in_status) {
    const Files before = TurnFiles();
    EXPECT_EQ(ResidenzUpload(), 0) << why;
    const std::string status = ResidenzUploadStatus();
    EXPECT_NE(status, "ok") << why;
    EXPECT_NE(status.find(expect_in_status), std::string::npos) << why << ": " << status;
    EXPECT_EQ(qoe_test::DiffFiles(TurnFiles(), before), "") << why;
    EXPECT_FALSE(fs::exists("Data/POP3Out/Upload.qoe")) << why;
  }
};

TEST_F(TurnCycle, EveryOrderGivenArrivesAndNoFailureLosesOrSendsIt) {
  Download();
  GiveOrders();
  const Files given = TurnFiles();
  const std::vector<std::vector<uint8_t>> orders = Orders();

  // Leaving and entering the screens again changes nothing.
  EXPECT_EQ(Run(SteuernScreen, Click(590, 440) + "wait 300\n"), 2);
  OwnPlayerPtr->ActiveTown = 2;
  EXPECT_EQ(Run(BauScreen, Click(589, 411)), 39);
  OwnPlayerPtr->ActiveTown = 1;
  EXPECT_EQ(Run(HandelsScreen, Click(213, 108)), 39);
  EXPECT_EQ(qoe_test::DiffFiles(TurnFiles(), given), "");

  // Saved and loaded back: the same turn.
  ASSERT_EQ(SaveGame(0), 1);
  char* lord = CheckPrefsStr(PREFS_LORD_NAME, 0, nullptr);
  ASSERT_NE(lord, nullptr);
  const std::string save = std::string(".\\Game\\") + lord + "\\" + std::to_string(CheckPrefs(PREFS_YEAR, 0, 0)) +
                           "_" + std::to_string(CheckPrefs(PREFS_QUARTER, 0, 0));
  FreeVec(lord);
  ASSERT_EQ(CreateSmalMail("Sigurd", 2002, "Later", "A letter after the save."), 1);
  ASSERT_EQ(RestoreSave(save.c_str()), 1);
  EXPECT_EQ(qoe_test::DiffFiles(TurnFiles(), given), "");

  // The peer fails in the middle: refusals, an odd answer, a stall, a cut.
  qoe_peers::ScriptedPeer peer;
  const std::string script = dir.path + "/peer-script";
  std::string err;
  ASSERT_TRUE(qoe_peers::WriteText(script, ""));
  ASSERT_TRUE(qoe_peers::StartScriptedPeer(dir.path, "smtp", {"--script", script}, &peer, &err)) << err;
  SmtpTo(peer.port);
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail dot 451 4.3.0 try again later\n"));
  ExpectNotSent("refused after the data", "451");
  // On the main screen UP says so, and why.
  const Files before = TurnFiles();
  const std::string png = "turncycle_not_sent.png";
  EXPECT_EQ(Run(ResidenzScreen, Click(530, 430) + "wait 1000\npng " + png + "\nkey enter\nwait 500\n" + Click(60, 300)),
            1);
  KeepPicture(png);
  Files after = TurnFiles();
  after["Data/Prefs.qoe"] = before.at("Data/Prefs.qoe");  // the visit's own counters
  EXPECT_EQ(qoe_test::DiffFiles(after, before), "");
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 0u);
  EXPECT_NE(std::string(ResidenzUploadStatus()).find("451"), std::string::npos) << ResidenzUploadStatus();
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail data 299 odd\n"));
  ExpectNotSent("an odd answer to DATA", "299");
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail rcpt 550 no such mailbox\n"));
  ExpectNotSent("the mailbox refused", "550");
  ASSERT_TRUE(qoe_peers::WriteText(script, "stall dot\n"));
  MailSetTimeoutMs(3000);
  ExpectNotSent("no answer after the data", "mail:");
  MailSetTimeoutMs(240000);
  qoe_peers::CutProxy cut;
  ASSERT_TRUE(cut.Start(exim.smtp, &err)) << err;
  SmtpTo(cut.port());
  for (int64_t at : {0, 40, 200}) {
    cut.SetCut(at);
    ExpectNotSent("a cut connection", "mail:");
  }
  cut.Stop();
  SmtpTo(exim.smtp);
  // A full disk: the turn file cannot be built.
  FileFailWritesAfter(0);
  ExpectNotSent("a full disk", "cannot build");
  FileFailWritesAfter(-1);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 0u);

  // Through exim: the turn as the mailbox received it.
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  ASSERT_TRUE(qoe_peers::WaitMaildir(dovecot.mail_root, "zuege", 1, 20000));
  const std::vector<std::string> mails = qoe_peers::MaildirFiles(dovecot.mail_root, "zuege");
  ASSERT_EQ(mails.size(), 1u);  // none of the failed ones was delivered
  const std::string text = qoe_peers::ReadText(mails[0]);
  uint8_t* out = nullptr;
  uint32_t len = 0;
  ASSERT_EQ(VDecode(text.data(), text.size(), &out, &len), VDECODE_OK);
  const std::vector<uint8_t> sent(out, out + len);
  FreeVec(out);
  ExpectSentTurn(sent, orders);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 1u);
  EXPECT_TRUE(qoe_test::FileTree("Data/MailOut").empty());
}

// The same turn over the game server's own protocol: fetched with +GET, the
// upload refused, cut at every step and stalled before it goes through.
TEST_F(TurnCycle, OverTheGameServerNoFailureLosesOrSendsTheTurn) {
  qoe_peers::GameServerDouble server;
  const std::string turns = dir.path + "/turns", store = dir.path + "/store", script = dir.path + "/script";
  fs::create_directories(turns);
  ASSERT_TRUE(qoe_peers::WriteText(script, ""));
  std::string err;
  ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, {"--turns", turns, "--store", store, "--script", script}, &server,
                                         &err))
      << err;
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                server.port);
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
  Download(turns);
  GiveOrders();
  const std::vector<std::vector<uint8_t>> orders = Orders();
  const char* const kFailures[][2] = {
      {"fail HEL closed for the night\n", "closed for the night"},
      {"fail SID who are you\n", "who are you"},
      {"fail PUT too late\n", "too late"},
      {"fail PUTDATA disk full\n", "disk full"},
      {"drop 0\n", "game server:"},
      {"drop 11\n", "game server:"},
      {"drop 17\n", "game server:"},
      {"drop 23\n", "game server:"},  // the data went out, its +ACK did not come
      {"drop 25\n", "game server:"},
  };
  for (const auto& f : kFailures) {
    ASSERT_TRUE(qoe_peers::WriteText(script, f[0]));
    ExpectNotSent(f[0], f[1]);
  }
  // A server that takes the data and never answers (a double of its own:
  // it stays stuck in that connection).
  qoe_peers::GameServerDouble stuck;
  ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, {"--stall", "PUTDATA"}, &stuck, &err)) << err;
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                stuck.port);
  MailSetTimeoutMs(3000);
  ExpectNotSent("stall", "game server:");
  MailSetTimeoutMs(240000);
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                server.port);
  ASSERT_TRUE(qoe_peers::WriteText(script, ""));
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 0u);
  // Killed at any moment of an upload: the turn as before or as sent, never
  // a mix, and what is left goes out whole.
  const Files given = TurnFiles();
  const auto put_back = [](const Files& files) {
    for (const auto& [path, bytes] : TurnFiles())
      if (!files.count(path)) fs::remove(path);
    for (const auto& [path, bytes] : files) ASSERT_TRUE(qoe_test::WriteFileBytes(path, bytes));
  };
  qoe_test::ExpectOldOrNewAfterKills([] { return ResidenzUpload() == 1 ? 0 : 1; }, TurnFiles, put_back, 30, 1001);
  put_back(given);
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  const std::vector<uint8_t> sent = LastPut(store);
  ExpectSentTurn(sent, orders);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 1u);

  // A letter written after the upload, then the next turn, whose INFO says
  // the letters sent arrived: the unsent one waits and goes with the next
  // upload.
  ASSERT_EQ(CreateSmalMail("Sigurd", 2002, "Late", "Written after the upload."), 1);
  Download(turns, "info flags=1\n");
  ASSERT_EQ(qoe_test::FileTree("Data/MailOut").size(), 1u);
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/sent.qoe", LastPut(store)));
  const std::vector<uint8_t> letters = ChunkOf(".\\Data\\POP3In\\sent.qoe", "MAIL");
  ASSERT_GE(letters.size(), 16u);
  EXPECT_EQ(ChunkGet32(letters.data(), 12), 1u);
  EXPECT_STREQ(reinterpret_cast<const char*>(letters.data() + 16 + 92), "Late");
}

}  // namespace
