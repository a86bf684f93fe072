// The coronation screen: the title by realm points (the highest title value
// reached), the letters' placement as a pure function over a fixed-width
// font (centred lines, newlines, nothing past the end), line breaking at
// blanks, and the scene on the headless display: no scene without a title,
// Escape before the first picture, the mark cleared only when a coronation
// was due, and the complete congratulation (PNG); the line at the foot that
// names the way out and reads on its plaque, and a click that leaves.
#include "screens/story/kroenung.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"
#include "tools/turnbuilder/turnbuilder.h"
#include "tests/support/legibility.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// Every letter 10 pixels wide.
uint32_t Fixed(void*, const char*, uint32_t len) { return len * 10; }

TEST(Kroenung, TheHighestTitleReached) {
  const std::pair<uint32_t, uint32_t> cases[] = {{0, 0},    {1, 658},  {2, 658},  {3, 659},  {7, 660},
                                                 {8, 660},  {11, 661}, {15, 662}, {20, 663}, {25, 664},
                                                 {30, 665}, {31, 665}, {65535, 665}};
  for (const auto& c : cases) EXPECT_EQ(KroenungTitleFor(c.first), c.second) << c.first;
  EXPECT_STREQ(GetCatalogStr(KroenungTitleFor(2)), "Baron");
  EXPECT_STREQ(GetCatalogStr(KroenungTitleFor(8)), "Earl");
}

TEST(Kroenung, LettersAreCentredLineByLine) {
  int32_t x = -1, y = -1;
  const char* text = "abcd\nxy";
  // "abcd" is 40 wide: left edge 300; letter 1 at 300 + 0 + 1.
  ASSERT_EQ(KroenungLetterPlace(text, 1, 50, 24, Fixed, nullptr, &x, &y), 1);
  EXPECT_EQ(x, 301);
  EXPECT_EQ(y, 50);
  ASSERT_EQ(KroenungLetterPlace(text, 4, 50, 24, Fixed, nullptr, &x, &y), 1);
  EXPECT_EQ(x, 331);
  // The newline draws nothing; the next line is font height + 3 lower.
  EXPECT_EQ(KroenungLetterPlace(text, 5, 50, 24, Fixed, nullptr, &x, &y), 0);
  ASSERT_EQ(KroenungLetterPlace(text, 7, 50, 24, Fixed, nullptr, &x, &y), 1);
  EXPECT_EQ(x, 320 - 10 + 10 + 1);
  EXPECT_EQ(y, 77);
  // Nothing for letter 0 or past the end.
  EXPECT_EQ(KroenungLetterPlace(text, 0, 50, 24, Fixed, nullptr, &x, &y), 0);
  EXPECT_EQ(KroenungLetterPlace(text, 8, 50, 24, Fixed, nullptr, &x, &y), 0);
  EXPECT_EQ(KroenungLetterPlace(nullptr, 1, 50, 24, Fixed, nullptr, &x, &y), 0);
}

TEST(Kroenung, LinesBreakAtTheirLastBlank) {
  char text[] = "aaa bbb ccc dd\neeeeeeeeeeee f";
  KroenungBreakLines(text, 80, Fixed, nullptr);  // 8 letters a line
  EXPECT_STREQ(text, "aaa bbb\nccc dd\neeeeeeeeeeee\nf");
}

class KroenungScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Path");
    qoe_test::CopyDataKit();
    fs::create_directories("Data/POP3In");
    *OwnPlayerPtr = OwnPlayer{};
    ScreenTest::SetUp();
  }
  void TearDown() override {
    ScreenTest::TearDown();
    *OwnPlayerPtr = OwnPlayer{};
  }
  void Points(uint16_t points) {
    uint8_t* c = AllocChunk("LAND", "V001", 160);
    ChunkPut16(c, 82, points);
    ASSERT_NE(AddChunkPool(c, ReceivedPoolPath), 0);
    FreeChunk(c);
  }
  int32_t Run(const std::string& script) { return RunScreen(KroenungsScreen, 2, "timer 0 100\n" + script); }
};

TEST_P(KroenungScreenRun, NoTitleNoScene) {
  for (uint16_t points : {0, 1}) {
    SCOPED_TRACE(points);
    Points(points == 1 ? 0 : points);
    OwnPlayerPtr->Mark = OWNPLAYER_CORONATION;
    qoe_test::LogLines log;
    EXPECT_EQ(Run("wait 200\n"), 2);
    EXPECT_TRUE(log.Has("KroenungCheckTitleOfPlayer: Reichspunkte 0"));
    EXPECT_FALSE(log.Has("KroenungsScreen: Bild"));
    EXPECT_EQ(OwnPlayerPtr->Mark, 0u);
  }
  // Without LAND: no title either.
  fs::remove("Data/POP3In/GameChunk.qoe");
  EXPECT_EQ(Run("wait 200\n"), 2);
}

TEST_P(KroenungScreenRun, EscapeBeforeTheFirstPictureDrawsNothing) {
  Points(2);
  OwnPlayerPtr->Mark = OWNPLAYER_UNCLEAN;  // not a coronation mark: it stays
  qoe_test::LogLines log;
  qoe_test::SoundRecorder sounds;
  EXPECT_EQ(Run("wait 4400\nkey esc\n"), 2);
  EXPECT_TRUE(log.Has("KroenungCheckTitleOfPlayer: Reichspunkte 2"));
  EXPECT_FALSE(log.Has("KroenungsScreen: Bild"));
  EXPECT_EQ(OwnPlayerPtr->Mark, OWNPLAYER_UNCLEAN);
  // Only the opening fanfare; the scene's sounds come with its pictures.
  EXPECT_EQ(sounds.StartedInOrder(), std::vector<uint32_t>{165});
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
}

TEST_P(KroenungScreenRun, TheSceneAndTheWholeCongratulation) {
  Points(8);
  OwnPlayerPtr->Mark = OWNPLAYER_CORONATION;
  const std::string text = std::string(GetCatalogStr(1257)) + " Earl " + GetCatalogStr(1258);
  const std::string png = Png("kroenung");
  qoe_test::LogLines log;
  qoe_test::SoundRecorder sounds;
  // Ticks 0 .. 100 + the text's length, the picture, more ticks that draw
  // nothing, then Escape.
  const uint32_t ticks = 101 + static_cast<uint32_t>(text.size());
  EXPECT_EQ(Run("wait " + std::to_string(ticks * 100) + "\npng " + png + "\nwait 2000\nkey esc\n"), 2);
  for (uint32_t id : {878u, 877u, 879u, 880u, 881u, 882u, 883u})
    EXPECT_TRUE(log.Has("KroenungsScreen: Bild " + std::to_string(id))) << id;
  EXPECT_EQ(OwnPlayerPtr->Mark, 0u);
  KeepPicture(png);
  // The fanfare at the start, then the carpet's and the crown's sounds at tick 50.
  EXPECT_EQ(sounds.StartedInOrder(), (std::vector<uint32_t>{165, 163, 164}));
  EXPECT_EQ(sounds.Count(SFX_CALL_LOOP, 165) + sounds.Count(SFX_CALL_LOOP, 163) + sounds.Count(SFX_CALL_LOOP, 164), 0u);
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
}

// The letters come one a tick after tick 100 and stop once the text is
// complete: two pictures a tick apart while typing differ, two pictures
// after the end do not.
TEST_P(KroenungScreenRun, OneLetterATickThenNothing) {
  Points(3);
  const std::string text = std::string(GetCatalogStr(1257)) + " Viscount " + GetCatalogStr(1258);
  const uint32_t done = 101 + static_cast<uint32_t>(text.size());
  auto at = [](uint32_t tick) { return "wait " + std::to_string(tick * 100) + "\n"; };
  // Ticks 120 and 123 while typing (three letters, not all blanks), then
  // twice after the end.
  const std::string script = at(120) + "png typing_a.png\n" + at(3) + "png typing_b.png\n" + at(done - 123 + 5) +
                             "png typed_a.png\n" + at(20) + "png typed_b.png\nkey esc\n";
  EXPECT_EQ(Run(script), 2);
  const auto typing_a = qoe_test::ReadFileBytes("typing_a.png"), typing_b = qoe_test::ReadFileBytes("typing_b.png");
  const auto typed_a = qoe_test::ReadFileBytes("typed_a.png"), typed_b = qoe_test::ReadFileBytes("typed_b.png");
  ASSERT_FALSE(typing_a.empty());
  ASSERT_FALSE(typed_a.empty());
  EXPECT_NE(typing_a, typing_b);
  EXPECT_NE(typing_b, typed_a);
  EXPECT_EQ(typed_a, typed_b);
}

// The LAND pass over turns whose realm points go 0, 1, 2, 3, 3, 7 raises the
// coronation mark at 1, 3 and 7 only; each raised mark leads to the scene
// with the points' title, which clears it.
TEST_P(KroenungScreenRun, TheLandPassCrownsOnlyNewTitles) {
  Realm realm;
  std::string err;
  ASSERT_TRUE(LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/first_turn.realm", &realm, &err)) << err;
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildSignupAnswer(realm)));
  ASSERT_EQ(GameInit(ReceivedPoolPath), 1);
  const struct {
    uint16_t points;
    bool crowned;
  } kTurns[] = {{0, false}, {1, true}, {2, false}, {3, true}, {3, false}, {7, true}};
  for (const auto& t : kTurns) {
    SCOPED_TRACE(t.points);
    ASSERT_TRUE(ParseRealm("land realm_points=" + std::to_string(t.points) + "\n", "turn.changes", &realm, &err, true))
        << err;
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildTurnPool(realm)));
    OwnPlayerPtr->Mark = 0;
    ASSERT_EQ(ChunkMachine(ReceivedPoolPath, ChunkBit(CHUNK_LAND), 1), 1);
    EXPECT_EQ(OwnPlayerPtr->Mark, t.crowned ? static_cast<uint32_t>(OWNPLAYER_CORONATION) : 0u);
    if (!t.crowned) continue;
    qoe_test::LogLines log;
    EXPECT_EQ(Run("wait 300\nkey esc\n"), 2);
    EXPECT_TRUE(log.Has("KroenungCheckTitleOfPlayer: Reichspunkte " + std::to_string(t.points)));
    EXPECT_EQ(OwnPlayerPtr->Mark, 0u);
  }
}

// Picture 876 alone, as the screen opens it, until Escape.
int32_t HallOnly(int32_t) {
  ScreenBase base{};
  if (!OpenScreenPicture(&base, 876, 1)) return -1;
  ShowScreenBase(&base);
  while (WaitEvent(WE_TICKS) != WE_KEY_ESCAPE && !WindowCloseRequested()) {
  }
  CloseScreenBase(&base, 2);
  return 2;
}

// Where the line at the foot was drawn: the bounding box (game
// coordinates) of the pixels that differ between a picture of the screen
// and one of the hall alone, both taken 2 s after the start.
struct Foot {
  int32_t x1 = 640, y1 = 480, x2 = -1, y2 = -1;
};

class KroenungFoot : public KroenungScreenRun {
 protected:
  // The foot from two pictures: the screen's and the hall's.
  void FindFoot(const std::string& with, Foot* foot) {
    const std::string without = Png("kroenung_hall");
    EXPECT_EQ(RunScreen(HallOnly, 0, "wait 2000\npng " + without + "\nkey esc\n"), 2);
    std::vector<uint32_t> a, b;
    uint32_t w = 0, h = 0, w2 = 0, h2 = 0;
    ASSERT_EQ(ReadPngRGB(with.c_str(), &a, &w, &h), 1);
    ASSERT_EQ(ReadPngRGB(without.c_str(), &b, &w2, &h2), 1);
    ASSERT_EQ(w, w2);
    ASSERT_EQ(h, h2);
    for (uint32_t y = 0; y < h; ++y)
      for (uint32_t x = 0; x < w; ++x) {
        if (a[y * w + x] == b[y * w + x]) continue;
        const int32_t gx = static_cast<int32_t>(x) - dx_, gy = static_cast<int32_t>(y) - dy_;
        ASSERT_GE(gy, 446) << "drawn above the foot at " << gx << "," << gy;
        ASSERT_LE(gy, 479) << gx;
        foot->x1 = std::min(foot->x1, gx);
        foot->x2 = std::max(foot->x2, gx);
        foot->y1 = std::min(foot->y1, gy);
        foot->y2 = std::max(foot->y2, gy);
      }
    ASSERT_GE(foot->x2, 0) << "nothing drawn at the foot";
  }
  // The catalog's line and its width in the small font.
  static int32_t LineWidth() {
    TextFont* font = OpenDiskFont("fonts\\XHelvetica11.fnt");
    if (!font) return -1;
    RastPort rp{};
    InitRastPort(&rp);
    SetFont(&rp, font);
    const char* line = GetCatalogStr(1742);
    const int32_t width = static_cast<int32_t>(TextLength(&rp, line, static_cast<uint32_t>(std::strlen(line))));
    CloseFont(font);
    return width;
  }
};

// From the start the foot of the hall names the way out (the catalog's line,
// centred, on its plaque), and nothing else is drawn before the first picture.
TEST_P(KroenungFoot, TheFootNamesTheWayOut) {
  Points(8);
  const std::string with = Png("kroenung_wayout");
  EXPECT_EQ(Run("wait 2000\npng " + with + "\nkey esc\n"), 2);
  KeepPicture(with);
  Foot foot;
  ASSERT_NO_FATAL_FAILURE(FindFoot(with, &foot));
  ASSERT_NE(std::string(GetCatalogStr(1742)).find("Escape"), std::string::npos);
  // The plaque: a little wider than the catalog's line in the small font,
  // centred on the hall.
  const int32_t width = LineWidth();
  ASSERT_GT(width, 0);
  EXPECT_GE(foot.x2 - foot.x1 + 1, width + 4);
  EXPECT_LE(foot.x2 - foot.x1 + 1, width + 24);
  EXPECT_NEAR((foot.x1 + foot.x2) / 2, 320, 3);
}

// The line reads over the crowd and the carpet: inside its plaque the
// letters stand out from their ground by 4.5 : 1 at least, and the line is
// whole (the ground runs all round it: no letter touches the plaque's
// inner edge). Before the scene and after its pictures covered the foot.
TEST_P(KroenungFoot, TheWayOutReadsWholeOnItsGround) {
  Points(8);
  const std::string early = Png("kroenung_foot_early"), late = Png("kroenung_foot_late");
  // Tick 90: every picture of the scene is drawn; the typing has not begun.
  EXPECT_EQ(Run("wait 2000\npng " + early + "\nwait 7000\npng " + late + "\nkey esc\n"), 2);
  KeepPicture(late);
  Foot foot;
  ASSERT_NO_FATAL_FAILURE(FindFoot(early, &foot));
  for (const std::string& png : {early, late}) {
    SCOPED_TRACE(png);
    std::vector<uint32_t> px;
    uint32_t w = 0, h = 0;
    ASSERT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1);
    // Inside the plaque's edge.
    const int32_t x1 = foot.x1 + 1, y1 = foot.y1 + 1, x2 = foot.x2 - 1, y2 = foot.y2 - 1;
    const qoe_test::TextInk t = qoe_test::TextContrast(px, w, x1 + dx_, y1 + dy_, x2 + dx_, y2 + dy_);
    EXPECT_GE(t.contrast, 4.5) << std::hex << t.ink << " on " << t.ground;
    int touching = 0;
    auto at = [&](int32_t x, int32_t y) { return px[static_cast<size_t>(y + dy_) * w + static_cast<size_t>(x + dx_)]; };
    for (int32_t x = x1; x <= x2; ++x) touching += (at(x, y1) != t.ground) + (at(x, y2) != t.ground);
    for (int32_t y = y1; y <= y2; ++y) touching += (at(x1, y) != t.ground) + (at(x2, y) != t.ground);
    EXPECT_EQ(touching, 0) << "pixels of the line on its ground's edge";
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, KroenungFoot, testing::Values(0u, 4u), qoe_test::DisplayModeName);

// A click leaves the scene as Escape does: no picture follows it.
TEST_P(KroenungScreenRun, AClickLeaves) {
  Points(8);
  qoe_test::LogLines log;
  EXPECT_EQ(Run("wait 1000\n" + Click(320, 240) + "wait 6000\n"), 2);
  EXPECT_FALSE(log.Has("KroenungsScreen: Bild"));
}

INSTANTIATE_TEST_SUITE_P(Modes, KroenungScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
