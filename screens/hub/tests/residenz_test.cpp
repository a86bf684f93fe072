// The main screen: the status marks, the screen after a download, the
// old-turn offer, the tutorial steps and tips, a chunk announced but not
// loadable, and headless runs in which every gadget leads to its code and
// the screen is written as a PNG.
#include "screens/hub/residenz.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/gamedata/turns.h"
#include "screens/hub/residenzupload.h"
#include "tools/testpeers/testpeers.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"
#include "routinen/system/catalog.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

const char kIn[] = "Data/POP3In/GameChunk.qoe";
const char kOut[] = "Data/POP3Out/GameChunk.qoe";

void AddChunk(const char* id, uint32_t length, const char* pool, void (*fill)(uint8_t*) = nullptr) {
  uint8_t* c = AllocChunk(id, "V001", length);
  if (fill) fill(c);
  ASSERT_EQ(AddChunkPool(c, pool), 1);
  FreeChunk(c);
}

using qoe_test::LogLines;

class Residenz : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    fs::create_directories("Data/MailOut");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    CheckPrefs(PREFS_PLAYER_ID, 1, 77);
    CheckPrefs(PREFS_TIP_COUNTER, 1, 9);
    CheckPrefs(PREFS_TUTORIAL_STEP, 1, 18);
    CheckPrefs(PREFS_LAST_MAIL_DATE, 1, 0);
    CheckPrefs(PREFS_NEW_TURN, 1, 0);
    CheckPrefs(PREFS_UPLOADS, 1, 0);
    // An installed game has its figure file.
    ASSERT_TRUE(qoe_test::WriteFileBytes(qoe_test::kFigureFile, qoe_test::FigureFileWithoutFigures()));
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->PlayerId = 77;
    AddChunk("KORN", 52, kIn, [](uint8_t* c) {
      c[40] = 5;
      ChunkPut16(c, 16, 3);
    });
    AddChunk("KORN", 52, kOut, [](uint8_t* c) { ChunkPut32(c, 26, 400); });
  }
  void TearDown() override {
    *OwnPlayerPtr = OwnPlayer{};
    SetResidenzDownload(nullptr);
  }
};

TEST_F(Residenz, ScreenDataAndAChunkAnnouncedButNotLoadable) {
  ResidenzData d{};
  AddChunk("TAXE", 72, kOut, [](uint8_t* c) { ChunkPut32(c, 12, 80); });
  AddChunk("FORS", 40, kIn, [](uint8_t* c) { c[12] = 3; });
  ASSERT_EQ(ReadResidenzScreenData(&d), 1);
  EXPECT_EQ(d.accountState, 2);
  EXPECT_EQ(d.kornByte40, 5);
  EXPECT_EQ(d.quarter, 3);
  EXPECT_EQ(d.granary, 400u);
  EXPECT_EQ(d.taxRate, 80u);
  EXPECT_EQ(d.researchOrder, 3);
  EXPECT_EQ(d.buildingsReceived, 0u);
  // The received pool's INFO announces GEBA, which is not there: it cannot
  // be loaded, and the screen cannot be built.
  RemChunkPool("FORS", kIn);
  auto bytes = qoe_test::ReadFileBytes(kIn);
  ASSERT_GE(bytes.size(), 44u);
  bytes[16 + 3 - CHUNK_GEBA / 8] |= static_cast<uint8_t>(1u << (CHUNK_GEBA % 8));  // big-endian mask
  bytes[16 + 3 - CHUNK_FORS / 8] |= static_cast<uint8_t>(1u << (CHUNK_FORS % 8));
  ASSERT_TRUE(qoe_test::WriteFileBytes(kIn, bytes));
  ASSERT_EQ(IsChunkInFile(ChunkBit(CHUNK_FORS), kIn), 1);
  ResidenzData e{};
  EXPECT_EQ(ReadResidenzScreenData(&e), 0);
  LogLines log;
  EXPECT_EQ(ResidenzScreen(0), -1);  // no display either way, but the data fails first
  // Below account state 2 nothing is read.
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 1);
  ResidenzData f{};
  EXPECT_EQ(ReadResidenzScreenData(&f), 1);
  EXPECT_EQ(f.granary, 0u);
}

TEST_F(Residenz, EventsAfterADownload) {
  auto land = [](int32_t confidence) {
    RemChunkPool("LAND", kIn);
    static int32_t value;
    value = confidence;
    AddChunk("LAND", 160, kIn, [](uint8_t* c) { ChunkPut32(c, 62, static_cast<uint32_t>(value)); });
  };
  land(10);
  int32_t r = ResidenzEvents();
  EXPECT_TRUE(r == -1 || r == 505) << r;  // a story or staying, never 0
  EXPECT_EQ(OwnPlayerPtr->Anarchy, 0u);
  land(9);
  EXPECT_EQ(ResidenzEvents(), 499);
  EXPECT_EQ(OwnPlayerPtr->Anarchy, 1u);
  // The anarchy state from elsewhere (the capital fell) wins over a good LAND.
  land(50);
  OwnPlayerPtr->Anarchy = 2;
  EXPECT_EQ(ResidenzEvents(), 499);
  OwnPlayerPtr->Anarchy = 0;
  OwnPlayerPtr->Mark = OWNPLAYER_CORONATION;
  EXPECT_EQ(ResidenzEvents(), 876);
  OwnPlayerPtr->Mark = OWNPLAYER_UNCLEAN;
  r = ResidenzEvents();
  EXPECT_TRUE(r == -1 || r == 505) << r;
}

TEST_F(Residenz, OldTurnOfferedOncePerRunAndNeverWithoutADate) {
  ResidenzData d{};
  {
    LogLines log;
    EXPECT_EQ(CheckOldTurn(&d), 0);
    EXPECT_FALSE(log.Has("Alter Zug"));
    EXPECT_EQ(OwnPlayerPtr->OldTurnTestDone, 1u);
  }
  OwnPlayerPtr->OldTurnTestDone = 0;
  // Two days old (the stored value keeps the low 32 bits of the scale).
  CheckPrefs(PREFS_LAST_MAIL_DATE, 1, static_cast<uint32_t>(MailDateNow() - 2 * 86400));
  int downloads = 0;
  static int* counter;
  counter = &downloads;
  SetResidenzDownload([](Movie*, Movie*) { return ++*counter, 1; });
  {
    LogLines log;
    // Without a display the yes/no box cannot be shown and counts as no.
    EXPECT_EQ(CheckOldTurn(&d), 0);
    EXPECT_TRUE(log.Has("Alter Zug"));
    EXPECT_EQ(downloads, 0);
  }
  {
    LogLines log;
    EXPECT_EQ(CheckOldTurn(&d), 0);  // a second visit does not ask again
    EXPECT_FALSE(log.Has("Alter Zug"));
  }
  // An hour old: no offer.
  OwnPlayerPtr->OldTurnTestDone = 0;
  CheckPrefs(PREFS_LAST_MAIL_DATE, 1, static_cast<uint32_t>(MailDateNow() - 3600));
  LogLines log;
  EXPECT_EQ(CheckOldTurn(&d), 0);
  EXPECT_TRUE(log.Has("Alter Zug"));
  EXPECT_FALSE(log.Has("ResidenzDownload"));
}

// Each tutorial step advances exactly when its condition holds.
TEST_F(Residenz, TutorialStepsFollowTheirConditions) {
  struct Step {
    uint32_t step;
    void (*make)(ResidenzData*);
  };
  const Step steps[] = {
      {2, [](ResidenzData* d) { d->granary = 1; }},
      {3, [](ResidenzData*) { AddChunk("BAUE", 20, kOut); }},
      {4, [](ResidenzData* d) { d->kornValue42 = d->kornValue46 = 5; }},
      {6, [](ResidenzData*) { AddChunk("TAXE", 72, kOut); }},
      {7, [](ResidenzData*) { CheckPrefs(PREFS_NEW_TURN, 1, 1); }},
      {9, [](ResidenzData*) { AddChunk("ANFR", 20, kOut); }},
      {10, [](ResidenzData*) { qoe_test::WriteFileBytes("Data/MailOut/E0000001_01.smal", {1}); }},
      {12, [](ResidenzData* d) { d->researchOrder = 2; }},
      {17, [](ResidenzData*) { CheckPrefs(PREFS_NEW_TURN, 1, 1); }},
  };
  RemChunkPool("KORN", kOut);
  for (const Step& s : steps) {
    SCOPED_TRACE(s.step);
    ResidenzData d{};
    CheckPrefs(PREFS_NEW_TURN, 1, 0);
    CheckPrefs(PREFS_TUTORIAL_STEP, 1, s.step);
    ShowTutorial(&d);
    EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), s.step);  // not yet
    s.make(&d);
    ShowTutorial(&d);
    EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), s.step + 1);
  }
  // 18 ends it; step 0 waits for a new turn, and declining ends it at once.
  ResidenzData d{};
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 18u);
  CheckPrefs(PREFS_TUTORIAL_STEP, 1, 0);
  CheckPrefs(PREFS_NEW_TURN, 1, 0);
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 0u);
  CheckPrefs(PREFS_NEW_TURN, 1, 1);
  ShowTutorial(&d);  // the box cannot be shown here: that is a no
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 18u);
}

// The figures of the map's prefs: one (type, points) each, of player 77.
void MapFigures(std::initializer_list<std::pair<uint16_t, uint8_t>> figures) {
  RegisterGameDataListTypes();
  ListHeader* list = CreateList(LIST_FIGURES);
  uint16_t number = 1;
  for (const auto& f : figures) {
    auto* m = reinterpret_cast<MOVE_EXT*>(AllocListNode(list));
    m->figure.owner = 77, m->figure.type = f.first, m->figure.points = f.second, m->figure.number = number++;
    m->figure.x = 6400, m->figure.y = 3200;
    AddNode(list, &m->head, LN_TAIL, 0);
  }
  ASSERT_EQ(SaveFigurList2MapPrefs(list), 1);
  DeleteList(list, 0);
}

// Only a scout's spent points show a move (other figures start a turn with
// fewer than 8); a trade offered counts as meeting a neighbour as a name
// asked does; research ordered this turn counts as the one reported.
TEST_F(Residenz, TutorialStepsThePlayerCanTakeInAnyRealm) {
  RemChunkPool("KORN", kOut);
  ResidenzData d{};
  CheckPrefs(PREFS_TUTORIAL_STEP, 1, 8);
  MapFigures({{1, 4}, {14, 6}, {0, 8}});
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 8u);
  MapFigures({{1, 4}, {0, 7}});
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 9u);
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 9u);
  AddChunk("VERT", 20, kOut);
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 10u);
  CheckPrefs(PREFS_TUTORIAL_STEP, 1, 12);
  AddChunk("FORS", 60, kOut);
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 12u);  // a FORS without an order
  AddChunk("FORS", 60, kOut, [](uint8_t* c) { c[12] = 3; });
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 13u);
}

// A step the realm has done already is passed without a word; the text
// that follows praises the step the player did and asks for the first one
// still to do. A step that waits for a turn is never passed.
TEST_F(Residenz, TutorialPassesStepsAlreadyDoneWithoutPraise) {
  RemChunkPool("KORN", kOut);
  ResidenzData d{};
  CheckPrefs(PREFS_TUTORIAL_STEP, 1, 2);
  AddChunk("BAUE", 20, kOut);
  d.granary = 1;
  d.kornValue42 = d.kornValue46 = 5;
  {
    LogLines log;
    ShowTutorial(&d);
    EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 5u);  // 3 and 4 done; 5 has no town here
    EXPECT_TRUE(log.Has("ShowTutorial: Schritt 3 ist schon erledigt"));
    EXPECT_TRUE(log.Has("ShowTutorial: Schritt 4 ist schon erledigt"));
    EXPECT_TRUE(log.Has("ShowTutorial: Schritt 5, Texte 1761 1753"));
  }
  // The taxes set, a turn to wait for: 7 stays even with a turn come.
  CheckPrefs(PREFS_TUTORIAL_STEP, 1, 6);
  AddChunk("TAXE", 72, kOut);
  CheckPrefs(PREFS_NEW_TURN, 1, 1);
  LogLines log;
  ShowTutorial(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 7u);
  EXPECT_TRUE(log.Has("ShowTutorial: Schritt 7, Texte 1765 1755"));
}

TEST_F(Residenz, TipsOnePerVisitNineInAll) {
  ResidenzData d{};
  CheckPrefs(PREFS_TIP_COUNTER, 1, 0xFFFFFFFFu);
  ShowResidenzTip(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TIP_COUNTER, 0, 0), 1u);
  for (int i = 0; i < 12; ++i) ShowResidenzTip(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TIP_COUNTER, 0, 0), 9u);
  // Past the tutorial's end value no tips at all.
  CheckPrefs(PREFS_TIP_COUNTER, 1, 2);
  CheckPrefs(PREFS_TUTORIAL_STEP, 1, 19);
  ShowResidenzTip(&d);
  EXPECT_EQ(CheckPrefs(PREFS_TIP_COUNTER, 0, 0), 2u);
}

// ---- on the headless display ---------------------------------------------------

class ResidenzScreenRun : public Residenz, public testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    Residenz::SetUp();
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
  }
  void TearDown() override {
    ResetPictureManagerState();
    ResetTextState();
    HeadlessCloseDisplay();
    Residenz::TearDown();
  }
  std::string Click(int x, int y) const {
    return qoe_test::ClickLine(x + dx_, y + dy_);
  }
  // A pixel of the display at game coordinates.
  uint32_t Px(int x, int y) const {
    std::vector<uint32_t> rgb((size_t)DisplayWidth() * DisplayHeight());
    DisplayReadRGB(rgb.data(), DisplayWidth(), DisplayHeight());
    return rgb[(size_t)(y + dy_) * DisplayWidth() + (x + dx_)] & 0xFFFFFF;
  }
  int32_t dx_ = 0, dy_ = 0;
};

struct GadgetRun {
  std::vector<int32_t> codes;
  int runs;
};

int RunScreens(void* arg) {
  auto* run = static_cast<GadgetRun*>(arg);
  for (int i = 0; i < run->runs; ++i) run->codes.push_back(ResidenzScreen(2));
  return 0;
}

TEST_P(ResidenzScreenRun, EveryGadgetLeadsToItsCode) {
  struct {
    int x, y;
    int32_t code;
  } const kThings[] = {
      {60, 300, 1},    {320, 100, 3},   {180, 90, 33},  {424, 90, 34},  {560, 120, 35}, {540, 300, 36},
      {426, 200, 38},  {320, 240, 39},  {180, 236, 40}, {180, 166, 41}, {196, 300, 42}, {160, 430, 133},
      {596, 430, 32},
  };
  std::string script;
  for (const auto& t : kThings) script += "wait 600\n" + Click(t.x, t.y);
  GadgetRun run{{}, (int)(sizeof kThings / sizeof kThings[0])};
  EXPECT_EQ(HeadlessRunGame(script.c_str(), RunScreens, &run), 0);
  ASSERT_EQ(run.codes.size(), sizeof kThings / sizeof kThings[0]);
  for (size_t i = 0; i < run.codes.size(); ++i) EXPECT_EQ(run.codes[i], kThings[i].code) << i;
}

// The title bar names the family tree and the hourglass of the options
// under the mouse, as it names the other things of the hall.
TEST_P(ResidenzScreenRun, TheTitleBarNamesTheTreeAndTheHourglass) {
  auto move = [&](int x, int y) { return "move " + std::to_string(x + dx_) + " " + std::to_string(y + dy_) + "\nwait 400\n"; };
  // The display written between the moves; the bar is (200, 11)-(442, 27).
  const std::string script = "wait 1500\n" + move(320, 460) + "png bar_none.png\n" + move(180, 236) +
                             "png bar_tree.png\n" + move(160, 430) + "png bar_options.png\n" + move(180, 166) +
                             "png bar_statistics.png\n" + Click(60, 300);
  GadgetRun run{{}, 1};
  EXPECT_EQ(HeadlessRunGame(script.c_str(), RunScreens, &run), 0);
  auto bar = [&](const char* png) {
    std::vector<uint32_t> px;
    uint32_t w = 0, h = 0;
    EXPECT_EQ(ReadPngRGB(png, &px, &w, &h), 1) << png;
    std::vector<uint32_t> strip;
    for (int y = 11; y <= 27 && !px.empty(); ++y)
      for (int x = 200; x <= 442; ++x) strip.push_back(px[(y + dy_) * w + x + dx_]);
    return strip;
  };
  const auto none = bar("bar_none.png"), tree = bar("bar_tree.png"), options = bar("bar_options.png"),
             statistics = bar("bar_statistics.png");
  ASSERT_FALSE(none.empty());
  EXPECT_NE(statistics, none);  // the bar names things at all
  EXPECT_NE(tree, none) << "no name for the family tree";
  EXPECT_NE(options, none) << "no name for the options";
  EXPECT_NE(tree, options);
  EXPECT_NE(tree, statistics);
}

// The picture of the main screen on a realm: taken on the game thread from
// inside the screen (through the download hook, once the transition ran),
// with two uploads counted and the server's message mark.
TEST_P(ResidenzScreenRun, MainScreenPicture) {
  CheckPrefs(PREFS_UPLOADS, 1, 2);
  static std::string png;
  png = "residenz_" + std::to_string(GetParam()) + ".png";
  SetResidenzDownload([](Movie*, Movie*) {
    WaitTransition();
    const uint32_t w = DisplayWidth(), h = DisplayHeight();
    std::vector<uint32_t> rgb((size_t)w * h);
    DisplayReadRGB(rgb.data(), w, h);
    WritePngRGB(png.c_str(), rgb.data(), w, h);
    return 0;
  });
  const std::string script = Click(410, 430) + "key enter\n" + Click(60, 300);
  GadgetRun run{{}, 1};
  EXPECT_EQ(HeadlessRunGame(script.c_str(), RunScreens, &run), 0);
  ASSERT_GT(qoe_test::ReadFileBytes(png).size(), 20000u);  // a picture, not a flat field
  EXPECT_TRUE(qoe_test::KeepPng(png));
}

TEST_P(ResidenzScreenRun, DownloadWithoutTheDownloadModuleStays) {
  LogLines log;
  // The box's text comes through the catalog: a catalog's own text shows.
  const std::string marker = "Kein Spielzug kam an";
  const std::vector<uint8_t> image = qoe_test::OneTextCatalog(1852, marker);
  Catalog* c = OpenCatalogFromMemory(image.data(), static_cast<uint32_t>(image.size()), CatalogStrings,
                                     CATALOG_STRING_COUNT);
  ASSERT_NE(c, nullptr);
  qoe_test::DrawnTextRecorder drawn;
  // DOWN says no turn came (a box, closed with Enter), then the door leaves.
  const std::string script = Click(410, 430) + "key enter\n" + Click(60, 300);
  GadgetRun run{{}, 1};
  EXPECT_EQ(HeadlessRunGame(script.c_str(), RunScreens, &run), 0);
  ASSERT_EQ(run.codes.size(), 1u);
  EXPECT_EQ(run.codes[0], 1);
  EXPECT_TRUE(log.Has("Kein Zug abgeholt"));
  CloseCatalog(c);
  EXPECT_TRUE(drawn.Drew(marker));
}

// Random bytes of the right size in the prefs: the file is made anew from
// the defaults as the main screen reads it, and the player is told in a box
// naming it before the main screen's own word for a game not installed.
TEST_P(ResidenzScreenRun, PrefsThatFailTheirChecksAreMadeAnewAndTold) {
  std::vector<uint8_t> random(PREFS_FILE_SIZE);
  uint32_t x = 95;
  for (uint8_t& b : random) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 16);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Prefs.qoe", random));
  LogLines log;
  qoe_test::DrawnTextRecorder drawn;
  const std::string png = "residence_prefs_made_anew_" + std::to_string(GetParam()) + ".png";
  const std::string script = "wait 600\npng " + png + "\nkey enter\nwait 300\nkey enter\nwait 300\n" + Click(60, 300);
  GadgetRun run{{}, 1};
  EXPECT_EQ(HeadlessRunGame(script.c_str(), RunScreens, &run), 0);
  ASSERT_EQ(run.codes.size(), 1u);
  EXPECT_EQ(run.codes[0], 1);
  EXPECT_TRUE(log.Has("Pruefung nicht bestanden"));
  EXPECT_TRUE(drawn.Drew("The settings file Data\\Prefs.qoe was damaged"));
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1466)));
  EXPECT_EQ(std::memcmp(qoe_test::ReadFileBytes("Data/Prefs.qoe").data(), "PREFV001", 8), 0);
  EXPECT_TRUE(qoe_test::KeepPng(png));
}

TEST_P(ResidenzScreenRun, UploadMarksFollowPrefs15AndTheInfoMark) {
  ScreenBase base;
  ASSERT_EQ(OpenScreenPicture(&base, 2, 0), 1);
  WaitTransition();
  const uint32_t empty = Px(448 + 26, 384 + 30), info_empty = Px(16 + 16, 439 + 18);
  ResidenzData d{};
  ASSERT_EQ(ReadResidenzScreenData(&d), 1);  // INFO flags 0: the info mark is drawn
  EXPECT_NE(Px(16 + 16, 439 + 18), info_empty);
  uint32_t seen[4];
  for (uint32_t n = 0; n <= 3; ++n) {
    CheckPrefs(PREFS_UPLOADS, 1, n);
    ShowResidenzUploadState(&d);
    seen[n] = Px(448 + 26, 384 + 30);
  }
  EXPECT_EQ(seen[0], empty);
  EXPECT_NE(seen[1], empty);
  // Each count has its own mark: compare a pixel where only more letters lie.
  CheckPrefs(PREFS_UPLOADS, 1, 1);
  ShowResidenzUploadState(&d);
  const uint32_t one = Px(448 + 30, 384 + 6);
  CheckPrefs(PREFS_UPLOADS, 1, 3);
  ShowResidenzUploadState(&d);
  EXPECT_NE(Px(448 + 30, 384 + 6), one);
  CheckPrefs(PREFS_UPLOADS, 1, 0);
  ShowResidenzUploadState(&d);
  EXPECT_EQ(Px(448 + 26, 384 + 30), empty);
  FreeElmorGfx(d.uploadMarkBackground);
  FreeElmorGfx(d.infoMarkBackground);
  CloseScreenBase(&base, 0);
}

// UP  over the game-server double: the orders leave, prefs field 15 counts
// them, the mark for one upload appears, and the map screen's save and
// set-up hooks run around it.
TEST_P(ResidenzScreenRun, UploadOverTheGameServerDouble) {
  qoe_peers::PeerDir dir;
  qoe_peers::GameServerDouble server;
  std::string err;
  ASSERT_TRUE(qoe_peers::StartGameServer(dir.path, {"--store", dir.path + "/store"}, &server, &err)) << err;
  EndpointDefaults(&QoESystemPtr->Endpoints);
  OptionenPrefsDefault(&QoESystemPtr->Optionen);
  QoESystemPtr->TcpIpStack = 4;
  MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
  std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u",
                server.port);
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
  SetGameDataOwner(77, "Lord");
  static int saves, setups;
  saves = setups = 0;
  ShellHooks hooks{};
  hooks.KartenScreenSaveData = [] { return ++saves, 1; };
  hooks.KartenScreenNewSetup = [] { return ++setups, 1; };
  SetShellHooks(&hooks);
  const std::string script = Click(530, 430) + Click(60, 300);
  GadgetRun run{{}, 1};
  EXPECT_EQ(HeadlessRunGame(script.c_str(), RunScreens, &run), 0);
  SetShellHooks(nullptr);
  SetGameDataOwner(0, nullptr);
  MailSetTimeoutMs(0);
  ASSERT_EQ(run.codes.size(), 1u);
  EXPECT_EQ(run.codes[0], 1);
  EXPECT_EQ(CheckPrefs(PREFS_UPLOADS, 0, 0), 1u) << ResidenzUploadStatus();
  EXPECT_TRUE(fs::exists(dir.path + "/store/put_001.txt"));
  EXPECT_EQ(saves, 1);
  EXPECT_EQ(setups, 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, ResidenzScreenRun, testing::Values(0u, 4u),
                         [](const testing::TestParamInfo<uint32_t>& i) { return "Mode" + std::to_string(i.param); });

}  // namespace
