// The gods screen on the headless display, driven by script over a realm's
// LAND: a first god stored without a question, a god picked without a name
// (the question, nothing stored), a change of god at faith 201 (asked) and
// 200 (refused), a long name cut to 79 characters, EXIT storing nothing.
// The outgoing LAND is compared byte for byte with the expected one. The
// name field reads (contrast, the text whole inside it).
#include "screens/story/goetter.h"

#include <gtest/gtest.h>

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
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/legibility.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kLandLength = 172 - 12;

// A LAND chunk with faith, god and name (host order).
std::vector<uint8_t> Land(uint32_t faith, uint8_t god, const char* name) {
  uint8_t* c = AllocChunk("LAND", "V001", kLandLength);
  ChunkPut32(c, 14, 1200);
  ChunkPut32(c, 34, 5000);
  ChunkPut32(c, 62, faith);
  ChunkPut16(c, 82, 5);
  c[90] = god;
  std::strncpy(reinterpret_cast<char*>(c + 92), name, 79);
  std::vector<uint8_t> v(c, c + 172);
  FreeChunk(c);
  return v;
}

std::vector<uint8_t> OutgoingLand() {
  LoadedChunk land("LAND", OutgoingPoolPath);
  if (!land.p) return {};
  return std::vector<uint8_t>(land.p, land.p + 12 + land.len());
}

class GoetterScreenRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Goetter.dat");
    qoe_test::CopyDataKit();
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    ScreenTest::SetUp();
  }
  void Realm(uint32_t faith, uint8_t god, const char* name) {
    received_ = Land(faith, god, name);
    ASSERT_NE(AddChunkPool(received_.data(), ReceivedPoolPath), 0);
  }
  std::string God(int i) const { return Click(i < 5 ? 65 : 573, 82 + (i % 5) * 80); }
  std::string Name(const std::string& keys) const {
    return Click(300, 356) + Keys(keys) + "key enter\n";
  }
  std::string Ok() const { return Click(320, 412); }
  std::string Exit() const { return Click(435, 412); }
  int32_t Run(const std::string& script) {
    return RunScreen(GoetterScreen, 42, "timer 0 100\nwait 1500\n" + script + "wait 500\n");
  }
  std::vector<uint8_t> received_;
};

TEST_P(GoetterScreenRun, AFirstGodIsStoredWithoutAQuestion) {
  Realm(150, 0, "");
  const std::string png = Png("goetter_god");
  qoe_test::LogLines log;
  qoe_test::SoundRecorder sounds;
  EXPECT_EQ(Run(God(4) + Name("Nerea") + "wait 300\npng " + png + "\n" + Ok()), 42);
  // God 5's voice once; the ten voices opened and closed, no other touched.
  EXPECT_EQ(sounds.StartedInOrder(), std::vector<uint32_t>{176});
  EXPECT_EQ(sounds.Count(SFX_CALL_OPEN, 172) + sounds.Count(SFX_CALL_OPEN, 181), 2u);
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
  EXPECT_TRUE(log.Has("GoetterScreenBeschreibung: Gott 5"));
  EXPECT_FALSE(log.Has("GoetterScreen: Frage"));
  std::vector<uint8_t> want = Land(150, 5, "Nerea");
  EXPECT_EQ(OutgoingLand(), want);
  KeepPicture(png);
}

// A choice that cannot be written is told to the player, not left unsaid.
TEST_P(GoetterScreenRun, AChoiceThatCannotBeSavedIsTold) {
  Realm(150, 0, "");
  const std::string png = Png("goetter_not_saved");
  qoe_test::LogLines log;
  FileFailWritesAfter(0);
  const int32_t next = Run(God(4) + Name("Nerea") + Ok() + "wait 300\npng " + png + "\nkey enter\n");
  FileFailWritesAfter(-1);
  EXPECT_EQ(next, 42);
  EXPECT_TRUE(log.Has("GoetterScreenWriteData: Konnte LAND nicht speichern!"));
  EXPECT_TRUE(log.Has("GoetterScreen: Frage 127"));
  EXPECT_STREQ(GetCatalogStr(127), "The data could not be saved.");
  EXPECT_TRUE(OutgoingLand().empty());
  KeepPicture(png);
}

TEST_P(GoetterScreenRun, AGodWithoutANameAsksAndStoresNothing) {
  Realm(150, 0, "");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(God(2) + Ok() + "wait 300\nkey enter\n"), 42);
  EXPECT_TRUE(log.Has("GoetterScreen: Frage 1410"));
  EXPECT_TRUE(OutgoingLand().empty());
}

TEST_P(GoetterScreenRun, ChangingTheGodNeedsFaithAbove200) {
  Realm(201, 3, "Old");
  {
    qoe_test::LogLines log;
    EXPECT_EQ(Run(God(4) + Name("New") + Ok() + "wait 300\nkey enter\n"), 42);
    EXPECT_TRUE(log.Has("GoetterScreen: Frage 1412"));
    std::vector<uint8_t> want = Land(201, 5, "OldNew");  // typed behind the stored name
    EXPECT_EQ(OutgoingLand(), want);
  }
  fs::remove("Data/POP3Out/GameChunk.qoe");
  ReopenHeadlessScreen();
  Realm(200, 3, "Old");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(God(4) + Name("New") + Ok() + "wait 300\nkey enter\n"), 42);
  EXPECT_TRUE(log.Has("GoetterScreen: Frage 1411"));
  EXPECT_TRUE(OutgoingLand().empty());
}

TEST_P(GoetterScreenRun, RenamingTheRealmsGodAloneStoresIt) {
  Realm(250, 6, "Sol");
  qoe_test::LogLines log;
  qoe_test::SoundRecorder sounds;
  EXPECT_EQ(Run(Name("ar") + Ok() + "wait 300\nkey enter\n"), 42);
  EXPECT_EQ(sounds.StartedInOrder(), std::vector<uint32_t>{177});  // the realm's god shown at the start
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
  EXPECT_TRUE(log.Has("GoetterScreenBeschreibung: Gott 6"));
  EXPECT_TRUE(log.Has("GoetterScreen: Frage 1412"));
  std::vector<uint8_t> want = Land(250, 6, "Solar");
  EXPECT_EQ(OutgoingLand(), want);
}

TEST_P(GoetterScreenRun, ALongNameIsStoredCutTo79) {
  Realm(150, 0, "");
  EXPECT_EQ(Run(God(0) + Name(std::string(85, 'i')) + Ok()), 42);
  std::vector<uint8_t> want = Land(150, 1, std::string(79, 'i').c_str());
  EXPECT_EQ(OutgoingLand(), want);
}

TEST_P(GoetterScreenRun, ExitStoresNothing) {
  Realm(150, 0, "");
  qoe_test::SoundRecorder sounds;
  EXPECT_EQ(Run(God(7) + God(2) + Name("Ceres") + Exit()), 42);
  EXPECT_TRUE(OutgoingLand().empty());
  EXPECT_EQ(sounds.StartedInOrder(), (std::vector<uint32_t>{179, 174}));
  EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
}

TEST_P(GoetterScreenRun, DamagedLandFailsTheScreen) {
  Realm(150, 0, "");
  std::vector<uint8_t> bytes = qoe_test::ReadFileBytes("Data/POP3In/GameChunk.qoe");
  ASSERT_GT(bytes.size(), 60u);
  bytes.back() ^= 0x55;  // the checksum no longer matches
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", bytes));
  EXPECT_EQ(Run(""), -1);
  EXPECT_TRUE(OutgoingLand().empty());
}

// The name field reads: its text stands out from the field by 4.5 : 1 at
// least and lies whole inside it (the field's ground runs all round it),
// with the realm's stored name, with the caption shown before a name is
// given, and with a name just typed.
TEST_P(GoetterScreenRun, TheNameFieldReadsWhole) {
  struct Case {
    const char* name;
    uint8_t god;
    const char* stored;
    std::string before;  // what the player does before the picture
  };
  const Case cases[] = {
      {"stored", 5, "Nerea", ""},
      {"none_yet", 0, "", ""},
      {"typed", 0, "", God(4) + Name("Gyges") + "wait 300\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove("Data/POP3In/GameChunk.qoe");
    Realm(150, c.god, c.stored);
    const std::string png = Png(std::string("goetter_name_") + c.name);
    EXPECT_EQ(Run(c.before + "png " + png + "\n" + Exit()), 42);
    KeepPicture(png);
    std::vector<uint32_t> px;
    uint32_t w = 0, h = 0;
    ASSERT_EQ(ReadPngRGB(png.c_str(), &px, &w, &h), 1);
    const int32_t x1 = 150, y1 = 348, x2 = 470, y2 = 364;  // the layout's entry 0
    const qoe_test::TextInk t = qoe_test::TextContrast(px, w, x1 + dx_, y1 + dy_, x2 + dx_, y2 + dy_);
    EXPECT_GE(t.contrast, 4.5) << std::hex << t.ink << " on " << t.ground;
    EXPECT_GT(t.inkCount, 40) << "no text in the field";
    auto at = [&](int32_t x, int32_t y) { return px[static_cast<size_t>(y + dy_) * w + static_cast<size_t>(x + dx_)]; };
    int touching = 0;
    for (int32_t x = x1; x <= x2; ++x) touching += (at(x, y1) != t.ground) + (at(x, y2) != t.ground);
    for (int32_t y = y1; y <= y2; ++y) touching += (at(x1, y) != t.ground) + (at(x2, y) != t.ground);
    EXPECT_EQ(touching, 0) << "pixels of the text on the field's edge";
  }
}

TEST(GoetterStore, NameCutAndTerminated) {
  std::vector<uint8_t> land = Land(0, 0, "");
  std::memset(land.data() + 92, 'x', 80);
  const std::string long_name(85, 'a');
  GoetterStoreChoice(land.data(), 10, long_name.c_str());
  EXPECT_EQ(land[90], 10);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(land.data() + 92)), std::string(79, 'a'));
  EXPECT_EQ(land[171], 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, GoetterScreenRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
