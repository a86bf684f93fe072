// The town view: the level, sky and movie tables, and headless runs on
// realms of one to three towns: every gadget with and without its building,
// every way out (the town choice, its cancel, the one-town case, the active
// town chosen again), naming a new town, a rebel-held town, prefs field 4,
// account states 0 to 2, and pictures of the town by level, day and night.
#include "screens/economy/stadt.h"

#include <gtest/gtest.h>

#include <atomic>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/audio_sdl.h"
#include "platform/backend.h"
#include "platform/close.h"
#include "platform/display.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/media/sound_internal.h"
#include "routinen/media/tune/tune.h"
#include "routinen/media/tune/tune_internal.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/economy/drawtown.h"
#include "screens/economy/tests/town_pictures.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(StadtTables, LevelRowsSkiesAndMovies) {
  EXPECT_EQ(StadtLevelRow(0)->picture, 39u);
  EXPECT_EQ(StadtLevelRow(7)->picture, 39u);
  EXPECT_EQ(StadtLevelRow(1)->titlePen, 222u);
  EXPECT_STREQ(StadtLevelRow(2)->layout, ".\\Data\\Screendat\\Stadt2.dat");
  EXPECT_EQ(StadtLevelRow(3)->titleGfx, 762u);
  EXPECT_EQ(StadtLevelRow(4)->pairB[1], 771u);
  EXPECT_EQ(StadtLevelRow(1)->pairA[0], 0u);
  const uint32_t kTop[7] = {748, 748, 0, 0, 750, 750, 750}, kBottom[7] = {0, 0, 0, 0, 749, 749, 749};
  for (uint32_t w = 0; w < 7; ++w) {
    uint32_t top, bottom;
    StadtSky(StadtLevelRow(2), w, &top, &bottom);
    EXPECT_EQ(top, kTop[w]) << w;
    EXPECT_EQ(bottom, kBottom[w]) << w;
  }
  st_TOWN* town = CreateTown(1, "Elmor", 0, 0);
  struct Case {
    uint16_t level;
    uint32_t weather;
    std::vector<uint32_t> buildings;
    const char* ford;
    uint16_t x, y;
    const char* wheel;
    const char* mill;
  } const kCases[] = {
      {1, 0, {}, "Furt.CBAN", 64, 306, nullptr, nullptr},
      {1, 4, {26, 1}, "FurtD.CBAN", 64, 306, "WasserradD.CBAN", "Muehle_o_Zaun.CBAN"},
      {1, 3, {1, 30}, "Furt.CBAN", 64, 306, nullptr, "Muehle_m_Zaun.CBAN"},
      {2, 0, {102}, "Furt-L2Haus.CBAN", 64, 306, nullptr, nullptr},
      {2, 6, {102, 26}, "FurtD-L2Haus.CBAN", 64, 306, "WasserradD-L2.CBAN", nullptr},
      {2, 2, {1, 30}, "Furt-L2.CBAN", 64, 306, nullptr, "Muehle_o_Zaun-L2.CBAN"},
      {3, 1, {141}, "Furt-L3B.CBAN", 80, 306, nullptr, nullptr},
      {3, 5, {141}, "FurtD-L3B.CBAN", 79, 307, nullptr, nullptr},
      {3, 5, {}, "FurtD-L3.CBAN", 64, 306, nullptr, nullptr},
      {4, 0, {141, 26, 1}, "Furt-L4B.CBAN", 64, 306, "Wasserrad-L4.CBAN", "Muehle_o_Zaun-L4.CBAN"},
      {4, 4, {141}, "FurtD-L4B.CBAN", 64, 315, nullptr, nullptr},
      {0, 0, {26, 1}, nullptr, 0, 0, nullptr, nullptr},
      {7, 0, {26, 1}, nullptr, 0, 0, nullptr, nullptr},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.level) + "/" + std::to_string(c.weather));
    std::memset(town->buildings, 0, sizeof town->buildings);
    for (uint32_t b : c.buildings) town->buildings[b].flags = BUILDING_STANDS;
    town->level = c.level;
    StadtMovie m[3];
    StadtMovies(town, c.weather, m);
    EXPECT_STREQ(m[STADT_FORD].file ? m[STADT_FORD].file : "", c.ford ? c.ford : "");
    if (c.ford) {
      EXPECT_EQ(m[STADT_FORD].x, c.x);
      EXPECT_EQ(m[STADT_FORD].y, c.y);
    }
    EXPECT_STREQ(m[STADT_WATERWHEEL].file ? m[STADT_WATERWHEEL].file : "", c.wheel ? c.wheel : "");
    EXPECT_STREQ(m[STADT_MILL].file ? m[STADT_MILL].file : "", c.mill ? c.mill : "");
    if (c.wheel) {
      EXPECT_EQ(m[STADT_WATERWHEEL].x, 608);
      EXPECT_EQ(m[STADT_WATERWHEEL].fps, 4);
    }
    if (c.mill) { EXPECT_EQ(m[STADT_MILL].y, 96); }
  }
  FreeVec(town);
}

// A realm's towns in .\Data\Cities.
struct TownSpec {
  uint32_t id;
  const char* name;
  uint16_t level;
  uint32_t kind;
  uint16_t flags;
  std::vector<uint32_t> buildings;
};

void MakeRealm(const std::vector<TownSpec>& towns) {
  fs::create_directories("Data/Cities");
  std::vector<TownListEntry> list;
  for (const TownSpec& t : towns) {
    st_TOWN* town = CreateTown(t.id, t.name, 100, 100);
    town->level = t.level;
    town->kind = t.kind;
    town->flags = t.flags;
    for (uint32_t b : t.buildings) town->buildings[b].flags = BUILDING_STANDS;
    ASSERT_EQ(SaveTown(town), 1);
    FreeVec(town);
    TownListEntry e{};
    e.id = t.id;
    std::snprintf(e.name, sizeof e.name, "%s", t.name);
    list.push_back(e);
  }
  ASSERT_EQ(WriteTownList(list.data(), static_cast<uint32_t>(list.size())), 1);
}

const std::vector<uint32_t> kAll = {0, 14, 15, 16, 19, 25, 51};

class StadtRun : public testing::Test {
 public:
  void SetUp() override {
    ASSERT_TRUE(town_test::InstallTownPictures());
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    CheckPrefs(PREFS_TOWN_ID, 1, 0xFFFFFFFFu);
    *OwnPlayerPtr = OwnPlayer{};
    OwnPlayerPtr->ActiveTown = 1;
    SetWeather(0);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    SetLocalTimeSource([]() -> uint32_t { return 12 * 60; });
  }
  void TearDown() override {
    SetLocalTimeSource(nullptr);
    ResetPictureManagerState();
    ResetTextState();
    HeadlessCloseDisplay();
    *OwnPlayerPtr = OwnPlayer{};
  }
  static void SetWeather(uint8_t weather) {
    RemChunkPool("KORN", "Data/POP3In/GameChunk.qoe");
    uint8_t* c = AllocChunk("KORN", "V001", 52);
    c[40] = weather;
    AddChunkPool(c, "Data/POP3In/GameChunk.qoe");
    FreeChunk(c);
  }
  static std::string Click(int x, int y) {
    const std::string at = std::to_string(x) + " " + std::to_string(y);
    return "wait 300\nmove " + at + "; press left " + at + "; release left " + at + "\n";
  }
  // Runs the screen as often as the script leads out of it.
  std::vector<int32_t> Run(const std::string& script, int runs) {
    struct R {
      int runs;
      std::vector<int32_t> codes;
    } r{runs, {}};
    HeadlessRunGame(
        script.c_str(),
        [](void* arg) {
          auto* r = static_cast<R*>(arg);
          for (int i = 0; i < r->runs; ++i) {
            const int32_t next = StadtScreen(2);
            r->codes.push_back(next);
            if (next == -1) break;
          }
          return 0;
        },
        &r);
    return r.codes;
  }
};

// Gadget centres at level 1 (Stadt.txt).
constexpr int kKola[2] = {27, 150}, kHare[2] = {317, 150}, kKase[2] = {491, 150}, kMapl[2] = {259, 202},
              kHafe[2] = {85, 254}, kTave[2] = {201, 150}, kResi[2] = {259, 150}, kName[2] = {320, 19},
              kExit[2] = {320, 460}, kBaus[2] = {170, 445};
std::string C(const int (&p)[2]) { return StadtRun::Click(p[0], p[1]); }

TEST_F(StadtRun, EveryGadgetWithItsBuilding) {
  MakeRealm({{1, "Elmor", 1, 1, 0, kAll}});
  const std::string script = C(kBaus) + C(kMapl) + C(kKola) + C(kHare) + C(kKase) + C(kHafe) + C(kTave) +
                             C(kResi) + C(kExit) + "key esc\n";
  EXPECT_EQ(Run(script, 10), (std::vector<int32_t>{43, 108, 56, 919, 152, 519, 59, 2, 2, 2}));
  EXPECT_EQ(CheckPrefs(PREFS_TOWN_ID, 0, 0), 1u);  // the town last shown
}

TEST_F(StadtRun, GadgetsWithoutTheirBuildingsStay) {
  MakeRealm({{1, "Elmor", 1, 1, 0, {}}});
  // KOLA, HARE, HAFE, TAVE, RESI do nothing. MAPL and KASE show their box:
  // the click on the next gadget lands in the box, Enter closes it.
  const std::string script = C(kKola) + C(kHare) + C(kHafe) + C(kTave) + C(kResi) + C(kMapl) + C(kBaus) +
                             "key enter\n" + C(kKase) + C(kBaus) + "key enter\n" + C(kBaus);
  EXPECT_EQ(Run(script, 1), (std::vector<int32_t>{43}));
}

TEST_F(StadtRun, ExitWithoutResidenceOpensTheChoice) {
  MakeRealm({{1, "Elmor", 1, 0, 0, {}}, {2, "Seewacht", 1, 1, 0, {51}}, {3, "Rabenfels", 1, 0, 0, {}}});
  // NAME's choice cancelled (Escape) and EXIT's choice of the active town
  // again stay; then the second town; on the new town (a capital) EXIT leaves.
  const std::string box_line1 = Click(400, 220 + 28 + 12 + 2), box_line0 = Click(400, 220 + 28 + 2),
                    ok = Click(380, 220 + 240);
  const std::string script = C(kName) + "key esc\n" + C(kExit) + box_line0 + ok + C(kName) + box_line1 + ok +
                             C(kHafe) + C(kExit);
  EXPECT_EQ(Run(script, 3), (std::vector<int32_t>{39, 519, 2}));
  EXPECT_EQ(OwnPlayerPtr->ActiveTown, 2u);
}

TEST_F(StadtRun, ExitsCancelledTownChoiceLeavesForTheMainScreen) {
  // A town without a residence: EXIT (or Escape) offers the other towns;
  // the choice cancelled, the player leaves as EXIT asked (the harbour's
  // click then lands on the next visit), and the town stays the active one.
  MakeRealm({{1, "Elmor", 1, 0, 0, {51}}, {2, "Seewacht", 1, 1, 0, {51}}});
  for (const std::string& leave : {C(kExit), std::string("wait 300\nkey esc\n")}) {
    EXPECT_EQ(Run(leave + "wait 300\nkey esc\n" + C(kHafe), 2), (std::vector<int32_t>{2, 519})) << leave;
    EXPECT_EQ(OwnPlayerPtr->ActiveTown, 1u);
  }
}

TEST_F(StadtRun, TheCloseLeavesFromEveryBoxByTheMainScreen) {
  // A town without a residence: EXIT opens the town choice; the close
  // leaves by the town view's own way out from every box.
  MakeRealm({{1, "Elmor", 1, 0, 0, {}}, {2, "Seewacht", 1, 1, 0, {51}}, {3, "Rabenfels", 1, 0, 0, {}}});
  const std::string choice = C(kExit), help = C(kExit) + Click(336 + 137, 220 + 240), message = C(kMapl),
                    named = C(kName) + Click(400, 220 + 28 + 12 + 2);  // a line marked, not taken
  for (const std::string& open : {std::string(), choice, help, message, named}) {
    ResetInputState();
    CheckPrefs(PREFS_TOWN_ID, 1, 0xFFFFFFFFu);
    EXPECT_EQ(Run(open + "wait 300\nquit\n", 1), (std::vector<int32_t>{2})) << open;
    EXPECT_EQ(OwnPlayerPtr->ActiveTown, 1u);
    EXPECT_EQ(CheckPrefs(PREFS_TOWN_ID, 0, 0), 1u);  // left as by EXIT
  }
  // SIGTERM with the box that names a new town open.
  MakeRealm({{1, "NewTown.1", 1, 0, TOWN_NEEDS_NAME, {}}, {2, "Seewacht", 1, 0, 0, {}}});
  ResetInputState();
  InstallCloseSignalHandlers();
  EXPECT_EQ(Run("wait 300\ntext \"Elmsfurt\"\nsignal term\n", 1), (std::vector<int32_t>{2}));
  RemoveCloseSignalHandlers();
  TownListEntry* towns = nullptr;
  ASSERT_EQ(ReadTownList(&towns), 2u);
  EXPECT_STREQ(towns[0].name, "NewTown.1");  // the name typed was not confirmed
  FreeVec(towns);
}

TEST_F(StadtRun, OneTownCannotBeLeftByTheChoice) {
  MakeRealm({{1, "Elmor", 1, 0, 0, {}}});
  // NAME: catalog 799 and the screen stays; EXIT: 799, then the main screen.
  const std::string script = C(kName) + "key enter\n" + C(kExit) + "key enter\n";
  EXPECT_EQ(Run(script, 1), (std::vector<int32_t>{2}));
  // A short Town.list (two records cut in the second) and a missing one
  // offer no towns either.
  MakeRealm({{1, "Elmor", 1, 0, 0, {}}, {2, "Seewacht", 1, 0, 0, {}}});
  auto list = qoe_test::ReadFileBytes("Data/Cities/Town.list");
  list.resize(84 + 40);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Cities/Town.list", list));
  EXPECT_EQ(Run(C(kExit) + "key enter\n", 1), (std::vector<int32_t>{2}));
  fs::remove("Data/Cities/Town.list");
  EXPECT_EQ(Run(C(kExit) + "key enter\n", 1), (std::vector<int32_t>{2}));
}

TEST_F(StadtRun, ANewTownIsNamedAfterADuplicateAndACancel) {
  MakeRealm({{1, "NewTown.1", 1, 1, TOWN_NEEDS_NAME, {15}}, {2, "Seewacht", 1, 0, 0, {}}});
  const std::string script = "wait 300\ntext \"Seewacht\"\nkey enter\nkey enter\nkey esc\n"
                             "text \"Elmsfurt\"\nkey enter\n" + C(kResi);
  EXPECT_EQ(Run(script, 1), (std::vector<int32_t>{2}));
  TownListEntry* towns = nullptr;
  ASSERT_EQ(ReadTownList(&towns), 2u);
  EXPECT_STREQ(towns[0].name, "Elmsfurt");
  FreeVec(towns);
  st_TOWN* town = GetActiveTown(1);
  ASSERT_NE(town, nullptr);
  EXPECT_EQ(town->flags & TOWN_NEEDS_NAME, 0);
  FreeVec(town);
  // Named now: the next visit does not ask.
  EXPECT_EQ(Run(C(kResi), 1), (std::vector<int32_t>{2}));
}

TEST_F(StadtRun, RebelsLeaveOnlyExitAndName) {
  MakeRealm({{1, "Elmor", 1, 1, TOWN_REBELS, kAll}});
  const std::string script = C(kMapl) + C(kResi) + C(kBaus) + C(kExit);
  EXPECT_EQ(Run(script, 1), (std::vector<int32_t>{2}));
}

TEST_F(StadtRun, AccountStatesBelowTwo) {
  for (uint32_t state : {0u, 1u}) {
    SCOPED_TRACE(state);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, state);
    StadtScreenData d{};
    SetWeather(6);
    EXPECT_EQ(ReadStadtScreenData(&d), 1);
    EXPECT_EQ(d.weather, 0);
    MakeRealm({{1, "Elmor", 1, 0, TOWN_NEEDS_NAME, {}}, {2, "Seewacht", 1, 0, 0, {}}});
    // No naming, no town choice: EXIT shows 799 and leaves.
    EXPECT_EQ(Run(C(kExit) + "key enter\n", 1), (std::vector<int32_t>{2}));
  }
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  StadtScreenData d{};
  EXPECT_EQ(ReadStadtScreenData(&d), 1);
  EXPECT_EQ(d.weather, 6);
}

// The demo capital at every level, by day (sunny) and by night (23:00, rain
// weather): pictures to look at, kept in the build folder. The night is
// darker than the day.
double Brightness(const std::string& png) {
  std::vector<uint32_t> rgb;
  uint32_t w = 0, h = 0;
  if (!ReadPngRGB(png.c_str(), &rgb, &w, &h) || rgb.empty()) return 0;
  double sum = 0;
  for (uint32_t p : rgb) sum += ((p >> 16) & 255) + ((p >> 8) & 255) + (p & 255);
  return sum / rgb.size();
}

// The next visit writes the screen to `png` once it is shown and its
// transition ran (on the game thread).
void PngWhenShown(const std::string& png) {
  static std::string name;
  name = png;
  SetStadtShownHook([] {
    WaitTransition();
    const uint32_t w = DisplayWidth(), h = DisplayHeight();
    std::vector<uint32_t> rgb((size_t)w * h);
    DisplayReadRGB(rgb.data(), w, h);
    WritePngRGB(name.c_str(), rgb.data(), w, h);
  });
}

// Luminance of a rectangle of a PNG: its mean, or its darkest pixel's.
double Luminance(const std::string& png, int x0, int y0, int w, int h, bool darkest = false) {
  std::vector<uint32_t> rgb;
  uint32_t pw = 0, ph = 0;
  if (!ReadPngRGB(png.c_str(), &rgb, &pw, &ph) || rgb.empty()) return 0;
  double sum = 0, least = 1e9;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) {
      const uint32_t p = rgb[static_cast<size_t>(y) * pw + x];
      const double l = 0.3 * ((p >> 16) & 255) + 0.59 * ((p >> 8) & 255) + 0.11 * (p & 255);
      sum += l;
      least = std::min(least, l);
    }
  return darkest ? least : sum / (w * h);
}

TEST_F(StadtRun, TownPicturesByLevelDayAndNight) {
  static uint32_t minutes;
  SetLocalTimeSource([]() -> uint32_t { return minutes; });
  const fs::path keep = fs::path(qoe_test::BinaryDir()) / "test-pngs";
  fs::create_directories(keep);
  for (uint16_t level = 1; level <= 4; ++level) {
    double day = 0;
    for (int night = 0; night < 2; ++night) {
      minutes = night ? 23 * 60 : 12 * 60;
      SetWeather(night ? 5 : 0);
      MakeRealm({{1, "Elmor", level, 1, 0, {55, 2, 95, 139, 25, 0, 16, 19, 14, 15}},  // the demo capital
                 {2, "Seewacht", 1, 0, 0, {51}}});
      const std::string png = "town_" + std::to_string(level) + (night ? "_night" : "_day") + ".png";
      PngWhenShown(png);
      const std::string exit = level == 1 ? C(kExit) : Click(63, 424);  // the gate at levels 2 to 4
      EXPECT_EQ(Run(exit, 1), (std::vector<int32_t>{2}));
      SetStadtShownHook(nullptr);
      ASSERT_TRUE(fs::exists(png)) << png;
      fs::copy_file(png, keep / png, fs::copy_options::overwrite_existing);
      EXPECT_GT(qoe_test::ReadFileBytes(png).size(), 8000u) << png;  // a picture, not a flat field
      const double b = Brightness(png);
      if (!night) day = b;
      else EXPECT_LT(b, day * 0.8) << png;
      // At night the lamps in the windows (pen 7) shine against the town.
      if (night) { EXPECT_GT(Luminance(png, 521, 268, 3, 3), 2 * Luminance(png, 0, 130, 640, 350)) << png; }
    }
  }
}

// Every level as a player sees it, kept as PNGs to look at: without a
// building, with every building (the highest member of each line, the mill
// and the water wheel turning), at weather 0 (sunny), 3 (plain) and 5
// (overcast, the storm movies) and at night (23:00, depth 8).
TEST_F(StadtRun, EveryLevelWithAndWithoutItsBuildingsByWeatherAndNight) {
  static uint32_t minutes;
  SetLocalTimeSource([]() -> uint32_t { return minutes; });
  std::vector<uint32_t> all = {1, 26, 102, 141};
  for (uint32_t b = 0; b < TOWN_BUILDINGS; ++b)
    if (TownBuildingLot(b) >= 0) all.push_back(b);
  struct Case {
    const char* name;
    bool buildings;
    uint8_t weather;
    bool night;
  } const kCases[] = {{"empty", false, 0, false}, {"sunny", true, 0, false}, {"plain", true, 3, false},
                      {"overcast", true, 5, false}, {"night", true, 3, true}};
  for (uint16_t level = 1; level <= 4; ++level)
    for (const Case& c : kCases) {
      const std::string png = "town_" + std::to_string(level) + "_" + c.name + ".png";
      SCOPED_TRACE(png);
      minutes = c.night ? 23 * 60 : 12 * 60;
      SetWeather(c.weather);
      MakeRealm({{1, "Elmor", level, 1, 0, c.buildings ? all : std::vector<uint32_t>{}}});
      PngWhenShown(png);
      const std::string exit = level == 1 ? C(kExit) : Click(63, 424);
      EXPECT_EQ(Run(exit, 1), (std::vector<int32_t>{2}));
      SetStadtShownHook(nullptr);
      ASSERT_TRUE(qoe_test::KeepPng(png));
      EXPECT_GT(qoe_test::ReadFileBytes(png).size(), 20000u);
    }
}

// No sun in the night sky (depth 8): at 23:00 the clear weather (0) shows
// the top of the town as the plain weather (3) does, at every level; and a
// night that falls during the visit (21:29, then 21:31) takes the sun away
// as well.
bool SameRect(const std::string& a, const std::string& b, int x0, int y0, int w, int h, int* differing) {
  std::vector<uint32_t> pa, pb;
  uint32_t wa = 0, ha = 0, wb = 0, hb = 0;
  if (!ReadPngRGB(a.c_str(), &pa, &wa, &ha) || !ReadPngRGB(b.c_str(), &pb, &wb, &hb) || wa != wb) return false;
  *differing = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) *differing += pa[(size_t)y * wa + x] != pb[(size_t)y * wb + x];
  return *differing == 0;
}

TEST_F(StadtRun, NoSunStandsInTheNightSky) {
  static std::atomic<uint32_t> minutes{23 * 60};
  SetLocalTimeSource([]() -> uint32_t { return minutes.load(); });
  // The sun's place in the clear sky: round (80, 36).
  const int sx = 50, sy = 6, sw = 62, sh = 60;
  for (uint16_t level = 1; level <= 4; ++level) {
    MakeRealm({{1, "Elmor", level, 1, 0, {}}});
    const std::string exit = level == 1 ? C(kExit) : Click(63, 424);
    std::string png[2];
    for (uint8_t weather : {0, 3}) {
      minutes = 23 * 60;
      SetWeather(weather);
      png[weather ? 1 : 0] = "town_night_sky_" + std::to_string(level) + "_" + std::to_string(weather) + ".png";
      EXPECT_EQ(Run("wait 600\npng " + png[weather ? 1 : 0] + "\n" + exit, 1), (std::vector<int32_t>{2}));
    }
    ASSERT_TRUE(qoe_test::KeepPng(png[0]));
    int differing = 0;
    EXPECT_TRUE(SameRect(png[0], png[1], sx, sy, sw, sh, &differing))
        << "level " << level << ": " << differing << " pixels of a sun at night";
  }
  // Night falls during the visit: the tint reaches the lights' level.
  MakeRealm({{1, "Elmor", 1, 1, 0, {}}});
  std::string falls[2];
  for (uint8_t weather : {0, 3}) {
    minutes = 21 * 60 + 29;
    SetWeather(weather);
    SetStadtShownHook([] { minutes = 21 * 60 + 31; });
    falls[weather ? 1 : 0] = "town_nightfall_" + std::to_string(weather) + ".png";
    EXPECT_EQ(Run("timer 0 100\nwait 12000\npng " + falls[weather ? 1 : 0] + "\n" + C(kExit), 1),
              (std::vector<int32_t>{2}));
    SetStadtShownHook(nullptr);
  }
  ASSERT_TRUE(qoe_test::KeepPng(falls[0]));
  int differing = 0;
  EXPECT_TRUE(SameRect(falls[0], falls[1], sx, sy, sw, sh, &differing)) << differing << " pixels of a sun at nightfall";
  // The lights are lit by then (the lamp light of pen 7): the night has come.
  std::vector<uint32_t> rgb;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB(falls[0].c_str(), &rgb, &w, &h), 1);
  EXPECT_EQ(rgb[268 * w + 522], 0xB84C0Eu);
}

// The town's sounds over the music: a visit of the town view with the
// kit's effects and the kit's main module (as the music thread plays it, at
// full volume) on the mixer. Once the screen is shown, its town loop plays;
// the mix is taken for a second, then with each of the visit's ambient
// effects in turn until it has ended. The mixed output never reaches full
// scale: no effect clips over the music.
TEST_F(StadtRun, TheTownsSoundsDoNotClipOverTheMusic) {
  for (const char* part : {"Data/SfxPath", "Sfx", "Mods"})
    fs::copy(qoe_test::BinaryDir() + "/datakit/" + part, part,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  MakeRealm({{1, "Elmor", 1, 1, 0, {}}});
  ASSERT_EQ(AudioMixOpen(44100, 0), 1);
  const uint32_t all = SOUND_16BIT | SOUND_FASTTRACKER | SOUND_SOUNDFX | SOUND_MUSIC;
  QoESystemPtr->SoundCapabilities = all;
  QoESystemPtr->SoundStatus = all;
  MainWindow = HeadlessBackend();  // the module player wants a window
  ModuleRecord* music = LoadModule(".\\Mods\\QoEMain.XM", 10, 44200);
  ASSERT_NE(music, nullptr);
  TUNEstopBackgroundPlay();  // the test moves the player on as it takes the mix
  PlayModule(music);
  ASSERT_EQ(SetModuleVolume(music, 64), 1);
  static int32_t peak;
  static uint32_t effects;
  peak = 0;
  effects = 0;
  SetStadtShownHook([] {
    std::vector<int16_t> out(2 * 441);
    auto mix = [&](uint32_t hundredths) {
      for (uint32_t k = 0; k < hundredths; ++k) {
        PollPlayer();
        AudioMixRender(out.data(), 441);
        for (int16_t v : out) peak = std::max<int32_t>(peak, std::abs((int32_t)v));
      }
    };
    mix(100);
    for (uint32_t id : {17u, 18u, 19u, 21u, 22u, 23u, 24u}) {
      SfxPlayer000(id, 0, 0);
      effects += IsSfxPlaying(id) == 0;  // 0: it plays
      for (int t = 0; t < 2000 && IsSfxPlaying(id) == 0; ++t) mix(1);
    }
  });
  EXPECT_EQ(Run(C(kExit), 1), (std::vector<int32_t>{2}));
  SetStadtShownHook(nullptr);
  StopModule(music);
  FreeModule(music);
  SoundSystemReset();
  AudioMixClose();
  MainWindow = nullptr;
  QoESystemPtr->SoundCapabilities = 0;
  QoESystemPtr->SoundStatus = 0;
  EXPECT_EQ(effects, 7u) << "the ambient effects did not play";
  EXPECT_GT(peak, 8000) << "nothing was heard";
  std::printf("[ mix      ] peak %d\n", peak);
  EXPECT_LT(peak, 32767) << "the mix reached full scale";
}

// By night the boxes keep their parchment (pens 0..35 stay as they are) and
// their text pen: a message box over the darkened town reads as by day.
TEST_F(StadtRun, BoxesStayLegibleAtNight) {
  static uint32_t minutes;
  SetLocalTimeSource([]() -> uint32_t { return minutes; });
  MakeRealm({{1, "Elmor", 1, 1, 0, {}}});
  SetStadtShownHook([] { WaitTransition(); });  // the box opens over the revealed screen
  double inside[2] = {}, ink[2] = {};
  for (int night = 0; night < 2; ++night) {
    minutes = night ? 23 * 60 : 12 * 60;
    const std::string png = night ? "town_box_night.png" : "town_box_day.png";
    // MAPL without a market place: catalog 798 in a box at (168, 180).
    EXPECT_EQ(Run(C(kMapl) + "wait 300\npng " + png + "\nkey enter\n" + C(kBaus), 1), (std::vector<int32_t>{43}));
    ASSERT_TRUE(qoe_test::KeepPng(png)) << png;
    inside[night] = Luminance(png, 190, 230, 260, 40);
    ink[night] = Luminance(png, 190, 206, 260, 60, true);
  }
  SetStadtShownHook(nullptr);
  EXPECT_GT(inside[1], inside[0] * 0.9);   // the parchment stays light
  EXPECT_LT(ink[1], inside[1] * 0.75);     // and the text stands out on it
  EXPECT_LT(ink[0], inside[0] * 0.75);
}

}  // namespace
