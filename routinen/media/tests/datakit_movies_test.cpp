// The data kit's movies as the program meets them: every movie a screen or
// the building and goods tables name is in .\Anims\ (Latin-1 names and the
// Luxus\ folder included), loads through LoadMovie, decodes frame by frame
// through the player, fits the place its screen gives it, moves, and loops
// without a jump; the kit writes the same bytes on every build and its table
// is the one in the docs.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "movie_fixture.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/gui/ilbm.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"

using namespace movie_test;
namespace fs = std::filesystem;

namespace {

// Plays movies on the headless virtual clock (an untimed movie draws a frame
// per millisecond of it) until done() or 5 s of it: this thread stands for a
// game thread waiting on an empty queue while the clock moves on.
template <class Done>
void PlayUntil(Done done) {
  PlatformMessage m;
  GetGameMessage(&m, 0);
  for (int k = 0; k < 500 && !done(); ++k) HeadlessAdvance(10);
}

std::string Kit() { return qoe_test::BinaryDir() + "/datakit"; }

// Every movie a screen loads by name, with the place it starts at.
struct ScreenMovie {
  const char* name;
  int x, y;
};
const ScreenMovie kScreenMovies[] = {
    {"ResidenzAlchemie.cban", 512, 70},  {"ResidenzSchreiber.cban", 480, 252},
    {"TitelWasserfall.cban", 432, 319},  {"Credits.cban", 0, 0},
    {"LagerFackelLinks.CBAN", 80, 61},   {"LagerFackelRechts.CBAN", 432, 53},
    {"Brunnen.CBAN", 384, 275},          {"HafenMuehle.cban", 544, 108},
    {"KaserneSchmied.cban", 528, 320},   {"KaserneSchmiedeRauch.cban", 560, 110},
    {"KaserneWasserFall.cban", 352, 120}, {"RizizOzez-Feuer.CBAN", 400, 206},
    {"RizizOzez-Laute.CBAN", 192, 212},  {"BerichteWasserfall.cban", 448, 396},
    {"Furt.CBAN", 64, 306},              {"FurtD.CBAN", 64, 306},
    {"Furt-L2.CBAN", 64, 306},           {"FurtD-L2.CBAN", 64, 306},
    {"Furt-L2Haus.CBAN", 64, 306},       {"FurtD-L2Haus.CBAN", 64, 306},
    {"Furt-L3.CBAN", 64, 306},           {"FurtD-L3.CBAN", 64, 306},
    {"Furt-L3B.CBAN", 80, 306},          {"FurtD-L3B.CBAN", 79, 307},
    {"Furt-L4.CBAN", 64, 306},           {"FurtD-L4.CBAN", 64, 306},
    {"Furt-L4B.CBAN", 64, 306},          {"FurtD-L4B.CBAN", 64, 315},
    {"Wasserrad.CBAN", 608, 214},        {"WasserradD.CBAN", 608, 214},
    {"Wasserrad-L2.CBAN", 608, 214},     {"WasserradD-L2.CBAN", 608, 214},
    {"Wasserrad-L3.CBAN", 608, 214},     {"WasserradD-L3.CBAN", 608, 214},
    {"Wasserrad-L4.CBAN", 608, 214},     {"WasserradD-L4.CBAN", 608, 214},
    {"Muehle_m_Zaun.CBAN", 576, 96},     {"Muehle_o_Zaun.CBAN", 576, 96},
    {"Muehle_o_Zaun-L2.CBAN", 576, 96},  {"Muehle_o_Zaun-L3.CBAN", 576, 96},
    {"Muehle_o_Zaun-L4.CBAN", 576, 96},
};

size_t Changed(const Bytes& a, const Bytes& b) {
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
  return n;
}

class KitMovies : public ::testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(Kit() + "/.datakit-movies-stamp");
    DebugLogSetStderr(0);
    for (const char* d : {"Data", "Gfx", "Anims"})
      fs::copy(Kit() + "/" + d, d, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 221, 0), 0);
    WaitTransition();
    base_ = AllocMovieBase(GetTitelScreenData(), 0, 0, AFX_NONE);
    ASSERT_TRUE(base_);
  }
  void TearDown() override {
    if (base_) FreeMovieBase(base_);
    FreeAllElmorGfx();
    HeadlessCloseDisplay();
    DebugLogSetStderr(1);
  }

  // Loads `name` as the screens do (".\Anims\" + name through LoadMovie),
  // decodes every frame and checks what every movie must be: at most w x h,
  // 8 planes in the one palette, at least 4 distinct frames, no frame the
  // same as the next (the last's next is the first), and a step from the
  // last frame back to the first no larger than the largest step between
  // neighbours.
  // How much a movie moves: the pixels that change at some step of the loop
  // and the fewest that change at one step (the last to the first included).
  struct Motion {
    size_t area = 0, least_step = 0;
  };

  void CheckMovie(const std::string& name, int max_w, int max_h, int* w, int* h, Motion* motion = nullptr) {
    SCOPED_TRACE(name);
    const std::string path = ".\\Anims\\" + name;
    Movie* m = LoadMovie(base_, path.c_str(), 0, 0);
    ASSERT_TRUE(m) << "LoadMovie refused it";
    StopMovie(base_, m);
    std::string local = "Anims/" + name;
    std::replace(local.begin(), local.end(), '\\', '/');
    const std::vector<Frame> frames = DecodeWithPlayer(local);
    ASSERT_GE(frames.size(), 4u);
    Movie* probe = MakeMovie(nullptr, local.c_str());
    ASSERT_TRUE(probe);
    ASSERT_EQ(ReadNextMovieFrame(probe), 1);
    *w = (int)probe->width;
    *h = (int)probe->height;
    EXPECT_EQ(probe->depth, 8u);
    FreeMovie(probe);
    EXPECT_LE(*w, max_w);
    EXPECT_LE(*h, max_h);
    if (!have_palette_) palette_ = frames[0].palette, have_palette_ = true;
    Palette expect = palette_;
    if (name == "Credits.cban") {  // its colours load before each frame: the credits' text pens
      EXPECT_EQ(frames[0].palette[1], (datakit::Rgb{255, 255, 255}));
      expect[2] = {170, 187, 255};  // SetRGB4 (10, 11, 15)
    }
    EXPECT_TRUE(frames[0].palette == expect) << "not in the game's palette";
    std::set<Bytes> distinct;
    size_t largest = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
      distinct.insert(frames[i].pens);
      if (i) largest = std::max(largest, Changed(frames[i - 1].pens, frames[i].pens));
    }
    EXPECT_GE(distinct.size(), 4u);
    EXPECT_LE(Changed(frames.back().pens, frames.front().pens), largest) << "the loop jumps";
    // No picture shows twice in a row, at the loop point neither.
    for (size_t i = 0; i < frames.size(); ++i)
      EXPECT_NE(frames[i].pens, frames[(i + 1) % frames.size()].pens) << "frame " << i << " shows twice";
    if (motion) {
      std::vector<bool> moved(frames[0].pens.size());
      motion->least_step = SIZE_MAX;
      for (size_t i = 0; i < frames.size(); ++i) {
        const Bytes& a = frames[i].pens;
        const Bytes& b = frames[(i + 1) % frames.size()].pens;
        size_t step = 0;
        for (size_t k = 0; k < a.size(); ++k)
          if (a[k] != b[k]) ++step, moved[k] = true;
        motion->least_step = std::min(motion->least_step, step);
      }
      motion->area = (size_t)std::count(moved.begin(), moved.end(), true);
    }
    ++checked_;
  }

  MovieBase* base_ = nullptr;
  Palette palette_{};
  bool have_palette_ = false;
  int checked_ = 0;
};

TEST_F(KitMovies, EveryScreenMovieLoadsMovesLoopsAndFitsItsPlace) {
  for (const ScreenMovie& s : kScreenMovies) {
    int w = 0, h = 0;
    CheckMovie(s.name, 640 - s.x, 480 - s.y, &w, &h);
    if (std::string(s.name) == "Credits.cban") {  // the upper half; the credits print below
      EXPECT_EQ(w, 640);
      EXPECT_EQ(h, 240);
    }
  }
  EXPECT_EQ(checked_, 41);
}

// Every row of the building and goods tables: its file is there (Latin-1
// names, the Luxus\ folder), AnimateGebaeude / AnimateWare start it, and it
// is a moving, cleanly looping movie of the area the screens clear.
TEST_F(KitMovies, EveryBuildingAndGoodsAnimationStartsMovesAndLoops) {
  std::set<std::string> seen;
  Movie* running = nullptr;
  int rows = 0;
  for (uint16_t id = 0; id < 256; ++id) {
    const char* file = BuildingAnimFile(id);
    if (!file) continue;
    ++rows;
    running = AnimateGebaeude(base_, running, id, 64, 75);
    EXPECT_TRUE(running) << "building " << id << " " << file;
    if (!seen.insert(file).second) continue;
    int w = 0, h = 0;
    Motion motion;
    CheckMovie(file, 220, 200, &w, &h, &motion);
    EXPECT_EQ(w, 216) << file;  // the widest multiple of 8 in the 220-pixel area
    EXPECT_EQ(h, 200) << file;
    // Every building moves visibly: over the loop at least 1.5 % of the
    // picture changes, and every step changes 200 pixels or more.
    EXPECT_GE(motion.area * 1000, (size_t)w * h * 15) << file << ": " << motion.area << " pixels move";
    EXPECT_GE(motion.least_step, 200u) << file;
  }
  EXPECT_EQ(rows, 38);
  for (uint16_t id = 0; id < 116; ++id) {
    const char* file = GoodsAnimFile(id);
    ASSERT_TRUE(file);
    running = AnimateWare(base_, running, id, 16, 16);
    EXPECT_TRUE(running) << "goods " << id << " " << file;
    if (!seen.insert(file).second) continue;
    int w = 0, h = 0;
    CheckMovie(file, 160, 120, &w, &h);
    EXPECT_EQ(w, 160) << file;
    EXPECT_EQ(h, 120) << file;
  }
  EXPECT_EQ(seen.size(), 38u + 112u);
  EXPECT_EQ(checked_, 150);
  StopMovie(base_, running);
}

// The residence's two movies over picture 2, played to their ends by the
// scheduler: their edges show the hall (wall, floor, shelf, jars, bench)
// exactly as the picture has it there, so each movie joins the picture. The
// screen goes to residenz_movies.png (kept in the PNG folder, PngDir).
TEST_F(KitMovies, TheResidenceMoviesJoinTheHallOfPicture2) {
  FreeMovieBase(base_);
  base_ = nullptr;
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 2, 0), 0);
  WaitTransition();
  const uint32_t W = DisplayWidth(), H = DisplayHeight();
  int32_t dx = 0, dy = 0;
  GameAreaOffset(W, H, &dx, &dy);
  std::vector<uint32_t> before((size_t)W * H), after((size_t)W * H);
  DisplayReadRGB(before.data(), W, H);
  base_ = AllocMovieBase(GetTitelScreenData(), 0, 0, AFX_NONE);
  ASSERT_TRUE(base_);
  const struct {
    const char* name;
    int x, y, w, h;
  } kOnes[2] = {{"ResidenzAlchemie.cban", 512, 70, 112, 104}, {"ResidenzSchreiber.cban", 480, 252, 136, 104}};
  Movie* m[2];
  for (int i = 0; i < 2; ++i) {
    m[i] = LoadMovie(base_, (std::string(".\\Anims\\") + kOnes[i].name).c_str(), 0, 0);
    ASSERT_TRUE(m[i]);
    StartMovie(base_, m[i], (uint16_t)kOnes[i].x, (uint16_t)kOnes[i].y, SMF_SCRAMBLED, 0);  // untimed, once
  }
  PlayUntil([&] { return m[0]->halted && m[1]->halted; });
  DisplayReadRGB(after.data(), W, H);
  for (const auto& o : kOnes) {
    size_t edge = 0, same = 0, inside_changed = 0;
    for (int y = o.y; y < o.y + o.h; ++y)
      for (int x = o.x; x < o.x + o.w; ++x) {
        const size_t at = (size_t)(y + dy) * W + (size_t)(x + dx);
        const bool border = y == o.y || x == o.x || y == o.y + o.h - 1 || x == o.x + o.w - 1;
        if (border) ++edge, same += before[at] == after[at];
        else inside_changed += before[at] != after[at];
      }
    EXPECT_GE(same * 100, edge * 90) << o.name << ": " << same << " of " << edge << " edge pixels as the picture";
    EXPECT_GT(inside_changed, 500u) << o.name << " drew nothing";
  }
  EXPECT_EQ(WriteDisplayPng("residenz_movies.png"), 1);
  EXPECT_TRUE(qoe_test::KeepPng("residenz_movies.png"));
  for (Movie* mv : m) StopMovie(base_, mv);
}

// The title's waterfall is the window of picture 1 at (432, 319): in every
// frame its edges are the picture's own pixels, and only the water inside
// moves. Played over the picture, no frame shows; the screen goes to
// title_movie.png (kept in the PNG folder, PngDir).
TEST_F(KitMovies, TheTitleWaterfallContinuesPicture1) {
  const Bytes raw = qoe_test::ReadFileBytes("Gfx/Pic0001.ilbm");
  IlbmPicture title{};
  ASSERT_EQ(DecodeIlbm(raw.data(), (uint32_t)raw.size(), &title), 1);
  const int x0 = 432, y0 = 319;
  const std::vector<Frame> frames = DecodeWithPlayer("Anims/TitelWasserfall.cban");
  ASSERT_GE(frames.size(), 4u);
  Movie* probe = MakeMovie(nullptr, "Anims/TitelWasserfall.cban");
  ASSERT_TRUE(probe);
  ASSERT_EQ(ReadNextMovieFrame(probe), 1);
  const int w = (int)probe->width, h = (int)probe->height;
  FreeMovie(probe);
  size_t moving = 0;
  for (size_t f = 0; f < frames.size(); ++f) {
    size_t edge = 0, same = 0, inside_changed = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool equal = frames[f].pens[(size_t)y * w + x] == title.pixels[(size_t)(y0 + y) * title.width + x0 + x];
        if (y == 0 || x == 0 || y == h - 1 || x == w - 1) ++edge, same += equal;
        else inside_changed += !equal;
      }
    EXPECT_EQ(same, edge) << "frame " << f << ": its edge is not the picture's";
    moving += inside_changed > 500;
  }
  EXPECT_EQ(moving, frames.size() - 1) << "one frame is the picture itself, the others move the water";
  FreeIlbm(&title);

  FreeMovieBase(base_);
  base_ = nullptr;
  ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 1, 0), 0);
  WaitTransition();
  base_ = AllocMovieBase(GetTitelScreenData(), 0, 0, AFX_NONE);
  ASSERT_TRUE(base_);
  Movie* m = LoadMovie(base_, ".\\Anims\\TitelWasserfall.cban", 0, 0);
  ASSERT_TRUE(m);
  StartMovie(base_, m, x0, y0, SMF_SCRAMBLED, 0);  // untimed, once
  PlayUntil([&] { return m->halted.load() != 0; });
  EXPECT_EQ(WriteDisplayPng("title_movie.png"), 1);
  EXPECT_TRUE(qoe_test::KeepPng("title_movie.png"));
  StopMovie(base_, m);
}

// The town view's ford, water wheel and mill stand on the window of the town
// picture at their places (the overcast one for the storms): the edges of
// every frame are the picture's own pixels, but where the river runs
// through, so played over the picture no frame shows its box.
TEST_F(KitMovies, TheTownMoviesJoinTheTownPictures) {
  const uint32_t kBackground[4] = {39, 745, 746, 747}, kOvercastBottom[4] = {254, 749, 752, 755};
  auto pens_of = [](uint32_t id, IlbmPicture* pic) {
    char name[32];
    std::snprintf(name, sizeof name, "Gfx/Pic%04u.ilbm", id);
    const Bytes raw = qoe_test::ReadFileBytes(name);
    return DecodeIlbm(raw.data(), (uint32_t)raw.size(), pic) == 1;
  };
  size_t checked = 0;
  for (const ScreenMovie& sm : kScreenMovies) {
    const std::string name = sm.name;
    if (name.rfind("Furt", 0) != 0 && name.rfind("Wasserrad", 0) != 0 && name.rfind("Muehle_", 0) != 0) continue;
    SCOPED_TRACE(name);
    const size_t l = name.find("-L");
    const int level = l == std::string::npos ? 1 : name[l + 2] - '0';
    const bool storm = name.rfind("FurtD", 0) == 0 || name.rfind("WasserradD", 0) == 0;
    IlbmPicture pic{};
    ASSERT_TRUE(pens_of(storm ? kOvercastBottom[level - 1] : kBackground[level - 1], &pic));
    const int top = storm ? 123 : 0;  // the overcast bottom starts at row 123
    const std::vector<Frame> frames = DecodeWithPlayer("Anims/" + name);
    ASSERT_FALSE(frames.empty());
    Movie* probe = MakeMovie(nullptr, ("Anims/" + name).c_str());
    ASSERT_TRUE(probe);
    ASSERT_EQ(ReadNextMovieFrame(probe), 1);
    const int w = (int)probe->width, h = (int)probe->height;
    FreeMovie(probe);
    for (const Frame& f : frames) {
      size_t edge = 0, same = 0;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          if (x != 0 && y != 0 && x != w - 1 && y != h - 1) continue;
          ++edge;
          same += f.pens[(size_t)y * w + x] == pic.pixels[(size_t)(sm.y + y - top) * pic.width + sm.x + x];
        }
      // The water wheel fills its narrow box: its rim and the stream reach
      // the edges.
      EXPECT_GT(same, edge * (name.rfind("Wasserrad", 0) == 0 ? 55 : 75) / 100);
    }
    FreeIlbm(&pic);
    ++checked;
  }
  EXPECT_EQ(checked, 27u);
}

// The construction screen's pictures of the 38 buildings (graphics of
// 224 x 200 in .\Data\Path): each is a still of the building's animation,
// drawn by the same drawer from the same line, so its frame is one of the
// animation's frames (the rest of the 224 columns repeats the frame's edge).
TEST_F(KitMovies, ConstructionPicturesAreStillsOfTheBuildingAnimations) {
  struct Row {
    uint32_t picture;
    uint16_t building;
  };
  const Row kRows[] = {{344, 0},   {345, 1},   {363, 2},   {376, 14},  {364, 15},  {367, 16},  {374, 17},  {365, 19},
                       {372, 20},  {366, 21},  {377, 22},  {369, 23},  {373, 24},  {370, 25},  {371, 26},  {375, 27},
                       {368, 47},  {494, 48},  {495, 49},  {496, 50},  {497, 51},  {565, 55},  {783, 96},  {773, 57},
                       {784, 98},  {772, 56},  {775, 78},  {785, 108}, {782, 95},  {777, 91},  {787, 115}, {774, 139},
                       {778, 158}, {779, 160}, {781, 163}, {780, 162}, {776, 195}, {786, 231}};
  const Bytes index = qoe_test::ReadFileBytes("Data/Path");
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.picture);
    const size_t at = 12 + (size_t)(r.picture - 1) * 64;
    ASSERT_GE(index.size(), at + 64);
    EXPECT_EQ(index[at], 2);  // a graphic
    std::string file((const char*)&index[at + 12], strnlen((const char*)&index[at + 12], 52));
    std::replace(file.begin(), file.end(), '\\', '/');
    const Bytes raw = qoe_test::ReadFileBytes(file);
    IlbmPicture pic{};
    ASSERT_EQ(DecodeIlbm(raw.data(), (uint32_t)raw.size(), &pic), 1);
    EXPECT_EQ(pic.width, 224);
    EXPECT_EQ(pic.height, 200);
    const char* anim = BuildingAnimFile(r.building);
    ASSERT_TRUE(anim);
    const std::vector<Frame> frames = DecodeWithPlayer(std::string("Anims/") + anim);
    ASSERT_FALSE(frames.empty());
    const int w = (int)(frames[0].pens.size() / 200);
    bool found = false;
    for (const Frame& f : frames) {
      bool same = true;
      for (int y = 0; y < 200 && same; ++y) same = std::memcmp(&f.pens[(size_t)y * w], pic.pixels + (size_t)y * pic.width, (size_t)w) == 0;
      found = found || same;
    }
    EXPECT_TRUE(found) << anim;
    FreeIlbm(&pic);
  }
}

// Runs the kit's movie generator into a fresh folder: the same bytes as the
// build's, file for file; the docs carry its table; a bad source is refused
// with its file and line.
TEST(DataKitBuild, TheMovieKitWritesTheSameBytesOnEveryBuild) {
  const std::string tool = qoe_test::BinaryDir() + "/tools/datakit/datakit_movies";
  const std::string src = qoe_test::SourceDir() + "/tools/datakit/movies";
  QOE_REQUIRE_BUILT(tool);
  QOE_REQUIRE_BUILT(Kit() + "/.datakit-movies-stamp");
  ASSERT_EQ(std::system(("'" + tool + "' '" + src + "' again").c_str()), 0);
  size_t compared = 0;
  for (const auto& de : fs::recursive_directory_iterator("again/Anims")) {
    if (!de.is_regular_file()) continue;
    const std::string rel = fs::relative(de.path(), "again").string();
    EXPECT_EQ(qoe_test::ReadFileBytes(de.path().string()), qoe_test::ReadFileBytes(Kit() + "/" + rel)) << rel;
    ++compared;
  }
  EXPECT_EQ(compared, 191u);
  ASSERT_EQ(std::system(("'" + tool + "' --table '" + src + "' > table.md").c_str()), 0);
  const Bytes raw = qoe_test::ReadFileBytes("table.md");
  const Bytes docs = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/docs/movie-list.md");
  const std::string table(raw.begin(), raw.end()), doc(docs.begin(), docs.end());
  ASSERT_GT(table.size(), 1000u);
  EXPECT_NE(doc.find(table), std::string::npos) << "docs/movie-list.md: paste the output of datakit_movies --table";
  fs::create_directories("bad");
  std::ofstream("bad/movies.txt") << "[screens]\nA.CBAN torch 32x64 8 10 \"a torch\"\nB.CBAN torch 30x64 8 10 \"odd width\"\n";
  EXPECT_NE(std::system(("'" + tool + "' bad badout 2>err.txt").c_str()), 0);
  const Bytes err = qoe_test::ReadFileBytes("err.txt");
  EXPECT_NE(std::string(err.begin(), err.end()).find("movies.txt:3"), std::string::npos);
  std::ofstream("bad/movies.txt") << "[screens]\nA.CBAN torch 32x64 8 10 flame=2 \"a torch\"\n";
  EXPECT_NE(std::system(("'" + tool + "' bad badout 2>err.txt").c_str()), 0);
  const Bytes err2 = qoe_test::ReadFileBytes("err.txt");
  EXPECT_NE(std::string(err2.begin(), err2.end()).find("unknown key flame"), std::string::npos);
}

}  // namespace
