// The upload of the orders over the game-server double and over a real exim,
// and what stays when it fails.
#include "screens/hub/residenzupload.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/kill_loop.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kPlayer = 4321;

class Upload : public ::testing::Test {
 protected:
  qoe_peers::PeerDir dir;
  void SetUp() override {
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    fs::create_directories("Data/MailOut");
    EndpointDefaults(&QoESystemPtr->Endpoints);
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    QoESystemPtr->TcpIpStack = 4;
    // Generous: a loaded machine may keep a forked server waiting for seconds.
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    CheckPrefs(PREFS_PLAYER_ID, 1, kPlayer);
    SetGameDataOwner(kPlayer, "Lord");
    // The player's orders: a tax chunk; the received turn's grain; one letter.
    uint8_t* taxe = AllocChunk("TAXE", "V001", 72);
    ChunkPut32(taxe, 12, 33);
    AddChunkPool(taxe, OutgoingPoolPath);
    FreeChunk(taxe);
    uint8_t* korn = AllocChunk("KORN", "V001", 52);
    ChunkPut32(korn, 12, 1205);
    AddChunkPool(korn, ReceivedPoolPath);
    FreeChunk(korn);
    ASSERT_EQ(CreateSmalMail("Baron", 99, "Trade", "Wheat for wood?"), 1);
    // An installed game's figures: MREF, then MOVE with one scout.
    uint8_t* move = AllocChunk("MOVE", "V001", 2 + 18);
    ChunkPut16(move, 12, 1);
    ChunkPut32(move, 14, kPlayer);
    ASSERT_EQ(SaveChunk2File(".\\Data\\MapPrefs.qoe", move), 1);
    FreeChunk(move);
    Bytes prefs = {'M', 'R', 'E', 'F', 'V', '0', '0', '1', 0, 0, 0, 16};
    prefs.resize(28, 0);
    const Bytes chunk = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
    prefs.insert(prefs.end(), chunk.begin(), chunk.end());
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MapPrefs.qoe", prefs));
  }
  void TearDown() override {
    ResetChunkPoolState();
    MailSetTimeoutMs(0);
  }
  static size_t Letters() {
    size_t n = 0;
    for (auto& e : fs::directory_iterator("Data/MailOut")) n += e.path().extension() == ".smal";
    return n;
  }
  // The store (.\Data\WarenChunk.qoe): that much wood (goods 98).
  static void StoreWood(uint32_t quantity) {
    uint8_t* store = AllocChunk("WARE", "V001", 2 + 36);
    ChunkPut16(store, 12, 1);
    ChunkPut16(store + 14, 0, 5);
    ChunkPut32(store + 14, 6, 98);
    ChunkPut32(store + 14, 10, quantity);
    ASSERT_EQ(SaveChunk2File(".\\Data\\WarenChunk.qoe", store), 1);
    FreeChunk(store);
  }
  // A chunk of a file (host order, header included); empty when absent.
  static std::vector<uint8_t> ChunkOf(const char* path, const char* id) {
    const LoadedChunk c(id, path);
    return c.p ? std::vector<uint8_t>(c.p, c.p + 12 + c.len()) : std::vector<uint8_t>();
  }
  // The game-server double on a free port as the route; its store folder.
  std::string ServerRoute(qoe_peers::GameServerDouble* server, const std::vector<std::string>& options = {}) {
    std::string err;
    const std::string store = dir.path + "/store";
    std::vector<std::string> args = {"--store", store};
    args.insert(args.end(), options.begin(), options.end());
    EXPECT_TRUE(qoe_peers::StartGameServer(dir.path, args, server, &err)) << err;
    std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                  server->port);
    QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
    return store;
  }
  // The n-th turn the double stored, as a pool file (.\Data\POP3In\sent.qoe).
  std::vector<uint8_t> SentTurn(const std::string& store, int n) {
    char name[32];
    std::snprintf(name, sizeof name, "/put_%03d.txt", n);
    const std::vector<uint8_t> pool = Decoded(qoe_peers::ReadText(store + name));
    EXPECT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/sent.qoe", pool));
    return pool;
  }
  // The pool inside a stored turn mail.
  static std::vector<uint8_t> Decoded(const std::string& mail) {
    uint8_t* out = nullptr;
    uint32_t len = 0;
    if (VDecode(mail.data(), mail.size(), &out, &len) != VDECODE_OK) return {};
    std::vector<uint8_t> v(out, out + len);
    FreeVec(out);
    return v;
  }
};

}  // namespace

TEST_F(Upload, OverTheGameServerTheTurnArrivesWithLettersFiguresAndCarriedChunks) {
  qoe_peers::GameServerDouble server;
  std::string err;
  const std::string store = dir.path + "/store", script = dir.path + "/script";
  ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, {"--store", store, "--script", script}, &server, &err)) << err;
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                server.port);
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
  // A refused upload changes nothing.
  const auto pool_before = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  ASSERT_TRUE(qoe_peers::WriteText(script, "fail PUTDATA disk full\n"));
  EXPECT_EQ(ResidenzUpload(), 0);
  EXPECT_NE(std::string(ResidenzUploadStatus()).find("disk full"), std::string::npos) << ResidenzUploadStatus();
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), pool_before);
  EXPECT_EQ(Letters(), 1u);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 0u);
  EXPECT_FALSE(fs::exists("Data/POP3Out/Upload.qoe"));
  // Accepted: the server holds exactly the new outgoing pool.
  ASSERT_TRUE(qoe_peers::WriteText(script, ""));
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  const auto sent = Decoded(qoe_peers::ReadText(store + "/put_001.txt"));
  EXPECT_EQ(sent, qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"));
  EXPECT_EQ(Letters(), 0u);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 1u);
  const uint32_t need = (1u << CHUNK_TAXE) | (1u << CHUNK_KORN) | (1u << CHUNK_MAIL);
  EXPECT_EQ(IsChunkInFile(need, OutgoingPoolPath), 1);
  uint8_t* mail = LoadChunk2Mem("MAIL", OutgoingPoolPath);
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(ChunkGet32(mail, 12), 1u);
  EXPECT_EQ(ChunkGet32(mail, 16 + 280), 99u);  // the letter's recipient
  FreeChunk(mail);
  // A drop after the greeting: nothing counted, nothing lost.
  ASSERT_TRUE(qoe_peers::WriteText(script, "drop 11\n"));
  EXPECT_EQ(ResidenzUpload(), 0);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 1u);
}

TEST_F(Upload, ALetterToAllLordsTravelsInTheMailChunk) {
  ASSERT_EQ(CreateSmalMail("all lords", 0xFFFFFFFF, "Peace", "To all lords of Elmor."), 1);
  ASSERT_TRUE(fs::exists("Data/MailOut/Efffffff_00.smal"));
  ASSERT_EQ(CreateMailChunk(OutgoingPoolPath), 2);
  uint8_t* mail = LoadChunk2Mem("MAIL", OutgoingPoolPath);
  ASSERT_NE(mail, nullptr);
  EXPECT_EQ(ChunkGet32(mail, 12), 2u);
  // The letters in name order: to 99 (E0000063_00), then to all.
  const uint32_t second = 16 + 12 + ChunkGet32(mail, 16 + 8);
  EXPECT_EQ(ChunkGet32(mail, 16 + 280), 99u);
  EXPECT_EQ(ChunkGet32(mail, second + 280), 0xFFFFFFFFu);
  EXPECT_STREQ(reinterpret_cast<const char*>(mail + second + 92), "Peace");
  FreeChunk(mail);
}

TEST_F(Upload, GoodsOffersAreCutToTheStore) {
  // Store: 50 wood (98); offers: 40 and 30 wood, 10 stone (99) with none in store.
  StoreWood(50);
  uint8_t* w = AllocChunk("WARE", "V001", 2 + 36 * 3);
  ChunkPut16(w, 12, 3);
  const uint32_t offers[3][2] = {{98, 40}, {98, 30}, {99, 10}};
  for (int i = 0; i < 3; i++) {
    ChunkPut32(w + 14 + 36 * i, 6, offers[i][0]);
    ChunkPut32(w + 14 + 36 * i, 10, offers[i][1]);
    ChunkPut32(w + 14 + 36 * i, 14, 5);
  }
  AddChunkPool(w, OutgoingPoolPath);
  FreeChunk(w);
  QoESystemPtr->TcpIpStack = 0;  // not online: built, checked, not sent
  EXPECT_EQ(ResidenzUpload(), 0);
  QoESystemPtr->TcpIpStack = 4;
  qoe_peers::GameServerDouble server;
  std::string err;
  ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, {}, &server, &err)) << err;
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                server.port);
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  uint8_t* out = LoadChunk2Mem("WARE", OutgoingPoolPath);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(ChunkGet16(out, 12), 2u);
  EXPECT_EQ(ChunkGet32(out + 14, 10), 40u);
  EXPECT_EQ(ChunkGet32(out + 14 + 36, 10), 10u);
  FreeChunk(out);
}

// A chunk that cannot be read is never sent as if it were not there (nor
// does a damaged store make every offer go): the turn file is not built,
// the orders stay as they are; a damaged figure file is named.
TEST_F(Upload, AChunkThatCannotBeReadStopsTheUpload) {
  QoESystemPtr->TcpIpStack = 0;  // not online: a built turn says so
  auto built = [] {
    const int32_t sent = ResidenzUpload();
    EXPECT_FALSE(fs::exists("Data/POP3Out/Upload.qoe"));
    return sent == 0 && std::string(ResidenzUploadStatus()).find("not online") != std::string::npos;
  };
  ASSERT_TRUE(built()) << ResidenzUploadStatus();
  const Bytes prefs = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  // The store for the goods check; an ARMY and an offer carried from the
  // received turn.
  StoreWood(50);
  uint8_t* army = AllocChunk("ARMY", "V001", 4 + 60);
  ChunkPut32(army, 12, 1);
  std::memcpy(army + 16, "ARHD", 4);
  ChunkPut32(army, 20, 52);
  ASSERT_EQ(AddChunkPool(army, ReceivedPoolPath), 1);
  FreeChunk(army);
  uint8_t* offer = AllocChunk("WARE", "V001", 2 + 36);
  ChunkPut16(offer, 12, 1);
  ChunkPut32(offer + 14, 6, 98);
  ChunkPut32(offer + 14, 10, 40);
  ChunkPut32(offer + 14, 14, 5);
  ASSERT_EQ(AddChunkPool(offer, ReceivedPoolPath), 1);
  FreeChunk(offer);
  const Bytes in = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  const Bytes out = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  const Bytes goods = qoe_test::ReadFileBytes("Data/WarenChunk.qoe");
  ASSERT_TRUE(built()) << ResidenzUploadStatus();
  const struct { const char* file; Bytes whole; const char* id; } cases[] = {
      {"Data/POP3In/GameChunk.qoe", in, "ARMY"},   // carried from the received turn
      {"Data/POP3Out/GameChunk.qoe", out, "TAXE"}, // the player's orders
      {"Data/MapPrefs.qoe", prefs, "MOVE"},        // the figures
      {"Data/WarenChunk.qoe", goods, "WARE"},      // the store the offers are checked against
  };
  for (const auto& c : cases) {
    const Bytes damaged = CutChunk(c.whole, c.id, 5);
    ASSERT_FALSE(damaged.empty()) << c.id;
    ASSERT_TRUE(qoe_test::WriteFileBytes(c.file, damaged));
    EXPECT_FALSE(built()) << c.id;
    // A damaged figure file is named in the status the main screen shows.
    const bool figures = c.id == std::string("MOVE");
    EXPECT_NE(std::string(ResidenzUploadStatus()).find(figures ? "The file Data\\MapPrefs.qoe is damaged" : "cannot build"),
              std::string::npos)
        << c.id << ": " << ResidenzUploadStatus();
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), c.id == std::string("TAXE") ? damaged : out);
    EXPECT_EQ(Letters(), 1u) << c.id;
    ASSERT_TRUE(qoe_test::WriteFileBytes(c.file, c.whole));
  }
  EXPECT_TRUE(built()) << ResidenzUploadStatus();
}

// A figure file that cannot be used stops the upload whatever is wrong with
// it (cut short, a count past its end, missing, a folder in its place): the
// turn is not built, the main screen's message names the file and says
// what is wrong, the orders and the letters stay, and no figure file is
// made in its place.
TEST_F(Upload, AFigureFileThatCannotBeUsedStopsTheUploadNamingIt) {
  QoESystemPtr->TcpIpStack = 0;  // not online: a built turn says so
  const Bytes good = qoe_test::ReadFileBytes("Data/MapPrefs.qoe");
  const Bytes out = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    const Bytes laid = qoe_test::LayFigureFile(c, good, 40);
    EXPECT_EQ(ResidenzUpload(), 0);
    const std::string status = ResidenzUploadStatus();
    EXPECT_NE(status.find(qoe_test::FigureFileSentence(c)), std::string::npos) << status;
    EXPECT_FALSE(fs::exists("Data/POP3Out/Upload.qoe"));
    EXPECT_EQ(qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"), out);
    EXPECT_EQ(Letters(), 1u);
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, laid));
  }
  // Whole again, the turn is built.
  fs::remove_all("Data/MapPrefs.qoe");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MapPrefs.qoe", good));
  EXPECT_EQ(ResidenzUpload(), 0);
  EXPECT_NE(std::string(ResidenzUploadStatus()).find("not online"), std::string::npos) << ResidenzUploadStatus();
}

TEST_F(Upload, ByMailThroughEximTheTurnArrivesByteForByte) {
  std::string err;
  const std::vector<qoe_peers::MailUser> users = {{"zuege", "secret"}, {"player", "secret"}};
  qoe_peers::Exim exim;
  qoe_peers::Dovecot dovecot;
  ASSERT_TRUE(qoe_peers::MakeCertificate(dir.path, &err)) << err;
  ASSERT_TRUE(qoe_peers::StartDovecot(dir.path, users, &dovecot, &err)) << err;
  ASSERT_TRUE(qoe_peers::StartExim(dir.path, users, &exim, &err)) << err;
  QoESystemPtr->Endpoints.MailTls = TLS_OFF;
  std::snprintf(QoESystemPtr->Endpoints.TurnMailbox, sizeof QoESystemPtr->Endpoints.TurnMailbox, "zuege@localhost");
  OptionenPrefs& o = QoESystemPtr->Optionen;
  o.net_option_bits = NET_MAIL_ROUTE;
  std::snprintf(o.smtp_host, sizeof o.smtp_host, "127.0.0.1:%u", exim.smtp);
  std::snprintf(o.pop3_host, sizeof o.pop3_host, "127.0.0.1:%u", dovecot.pop3);
  std::snprintf(o.email, sizeof o.email, "player@localhost");
  std::snprintf(o.smtp_user, sizeof o.smtp_user, "player");
  std::snprintf(o.smtp_password, sizeof o.smtp_password, "secret");
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  ASSERT_TRUE(qoe_peers::WaitMaildir(dovecot.mail_root, "zuege", 1, 10000));
  const auto files = qoe_peers::MaildirFiles(dovecot.mail_root, "zuege");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(Decoded(qoe_peers::ReadText(files[0])), qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe"));
  EXPECT_EQ(Letters(), 0u);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 1u);
}

// The market, the barracks and the shipyard keep the player's goods orders
// in the goods file: its WARE is what the server gets, offers and all, not
// the received turn's, and its offers (already out of its store) stay whole.
TEST_F(Upload, TheTradeOrdersOfTheGoodsFileTravel) {
  uint8_t* in = AllocChunk("WARE", "V001", 2 + 36);
  ChunkPut16(in, 12, 1);
  ChunkPut16(in + 14, 0, 5);
  ChunkPut32(in + 14, 6, 98);
  ChunkPut32(in + 14, 10, 50);
  ASSERT_EQ(AddChunkPool(in, ReceivedPoolPath), 1);
  FreeChunk(in);
  // The market sold 40 of the 50 wood: store 10, offer 40 at 7.
  uint8_t* own = AllocChunk("WARE", "V001", 2 + 36 * 2);
  ChunkPut16(own, 12, 2);
  ChunkPut16(own + 14, 0, 5);
  ChunkPut32(own + 14, 6, 98);
  ChunkPut32(own + 14, 10, 10);
  ChunkPut16(own + 50, 0, 0);
  ChunkPut32(own + 50, 6, 98);
  ChunkPut32(own + 50, 10, 40);
  ChunkPut32(own + 50, 14, 7);
  ASSERT_EQ(SaveChunk2File(".\\Data\\WarenChunk.qoe", own), 1);
  FreeChunk(own);
  qoe_peers::GameServerDouble server;
  const std::string store = ServerRoute(&server);
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  SentTurn(store, 1);
  EXPECT_EQ(ChunkOf(".\\Data\\POP3In\\sent.qoe", "WARE"), ChunkOf(".\\Data\\WarenChunk.qoe", "WARE"));
  // The goods stay at home: the orders keep no copy that would hide the
  // market's later changes from the next upload.
  EXPECT_EQ(IsChunkInFile(1u << CHUNK_WARE, OutgoingPoolPath), 0);
  own = LoadChunk2Mem("WARE", ".\\Data\\WarenChunk.qoe");
  ASSERT_NE(own, nullptr);
  ChunkPut32(own + 14, 10, 20);
  ChunkPut32(own + 50, 10, 30);
  ASSERT_EQ(SaveChunk2File(".\\Data\\WarenChunk.qoe", own), 1);
  FreeChunk(own);
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  SentTurn(store, 2);
  const std::vector<uint8_t> sent = ChunkOf(".\\Data\\POP3In\\sent.qoe", "WARE");
  EXPECT_EQ(sent, ChunkOf(".\\Data\\WarenChunk.qoe", "WARE"));
  ASSERT_EQ(sent.size(), 14u + 72u);
  EXPECT_EQ(ChunkGet32(sent.data() + 50, 10), 30u);
}

// The server keeps the last upload of a turn: a second one (a new letter,
// or none) carries the letters of the first again.
TEST_F(Upload, ALaterUploadOfTheTurnCarriesTheEarlierLetters) {
  qoe_peers::GameServerDouble server;
  const std::string store = ServerRoute(&server);
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  EXPECT_EQ(Letters(), 0u);
  ASSERT_EQ(CreateSmalMail("Count", 77, "Oath", "Your sword, my lord?"), 1);
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 3u);
  for (int n : {2, 3}) {
    SentTurn(store, n);
    const std::vector<uint8_t> mail = ChunkOf(".\\Data\\POP3In\\sent.qoe", "MAIL");
    ASSERT_GE(mail.size(), 16u) << n;
    ASSERT_EQ(ChunkGet32(mail.data(), 12), 2u) << n;
    const uint32_t second = 16 + 12 + ChunkGet32(mail.data(), 16 + 8);
    EXPECT_EQ(ChunkGet32(mail.data(), 16 + 280), 99u) << n;
    EXPECT_EQ(ChunkGet32(mail.data(), second + 280), 77u) << n;
  }
}

// A write that fails after the server took the turn (a full disk) leaves the
// orders, the letters and the count all as before or all as after, never a
// mix; the turn was sent, so the upload says so, and it can be sent again.
TEST_F(Upload, AFullDiskAfterTheSendLeavesAllOrNothing) {
  qoe_peers::GameServerDouble server;
  ServerRoute(&server);
  auto files = [] {
    qoe_test::FileBytes f = qoe_test::FileTree("Data/MailOut");
    f["pool"] = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
    f["prefs"] = qoe_test::ReadFileBytes("Data/Prefs.qoe");
    return f;
  };
  const qoe_test::FileBytes before = files();
  int mixed = 0, recorded = 0;
  for (int64_t ok = 0; ok < 40000 && !recorded; ok += 97) {
    FileFailWritesAfter(ok);
    const int32_t sent = ResidenzUpload();
    FileFailWritesAfter(-1);
    const qoe_test::FileBytes now = files();
    if (!qoe_test::DiffFiles(now, before).empty()) {
      // Changed: everything of it.
      recorded = 1;
      EXPECT_EQ(sent, 1);
      EXPECT_EQ(Letters(), 0u);
      EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 1u);
      EXPECT_EQ(IsChunkInFile(1u << CHUNK_MAIL, OutgoingPoolPath), 1);
    } else if (sent == 1) {
      ++mixed;  // sent, not recorded: still whole for the next upload, and said
      EXPECT_STREQ(ResidenzUploadStatus(), GetCatalogStr(1676));
    }
  }
  FileFailWritesAfter(-1);
  EXPECT_TRUE(recorded);
  EXPECT_GT(mixed, 0);  // the window after the send was hit
  EXPECT_FALSE(fs::exists("Data/POP3Out/Upload.qoe"));
}

// A kill at any moment of an upload leaves the orders, the letters and the
// count as before or as after.
TEST_F(Upload, AKillAtAnyMomentOfTheUploadLeavesAllOrNothing) {
  qoe_peers::GameServerDouble server;
  ServerRoute(&server);
  const auto files = [] {
    qoe_test::FileBytes f = qoe_test::FileTree("Data/MailOut");
    f["pool"] = qoe_test::ReadFileBytes("Data/POP3Out/GameChunk.qoe");
    f["prefs"] = qoe_test::ReadFileBytes("Data/Prefs.qoe");
    return f;
  };
  const qoe_test::FileBytes start = qoe_test::FileTree("Data");
  qoe_test::ExpectOldOrNewAfterKills(
      [] { return ResidenzUpload() == 1 ? 0 : 1; }, files,
      [&](const qoe_test::FileBytes&) {
        fs::remove_all("Data");
        fs::create_directories("Data/MailOut");
        for (const auto& [path, bytes] : start) {
          fs::create_directories(fs::path("Data/" + path).parent_path());
          ASSERT_TRUE(qoe_test::WriteFileBytes("Data/" + path, bytes));
        }
      },
      60, 4711);
  // Whatever was left, the next upload sends the turn whole.
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  EXPECT_EQ(Letters(), 0u);
}

// A letter file that is no letter does not travel, so it does not leave
// .\Data\MailOut with the letters that did.
TEST_F(Upload, AFileThatIsNoLetterStaysBehind) {
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/MailOut/E000000aa_00.smal", {'S', 'M', 'A', 'L', 1, 2, 3}));
  qoe_peers::GameServerDouble server;
  const std::string store = ServerRoute(&server);
  ASSERT_EQ(ResidenzUpload(), 1) << ResidenzUploadStatus();
  SentTurn(store, 1);
  const std::vector<uint8_t> mail = ChunkOf(".\\Data\\POP3In\\sent.qoe", "MAIL");
  ASSERT_GE(mail.size(), 16u);
  EXPECT_EQ(ChunkGet32(mail.data(), 12), 1u);
  EXPECT_EQ(Letters(), 1u);
  EXPECT_TRUE(fs::exists("Data/MailOut/E000000aa_00.smal"));
}
