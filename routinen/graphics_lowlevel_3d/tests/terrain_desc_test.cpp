// The data kit's terrain description and model builder: the kit's own
// description builds every model within its budgets with the same bytes each
// time; descriptions the kit cannot use stop it with the file, the line and
// the reason (unknown words and materials, numbers out of range or no
// numbers, positions and corners off the hex, models over their budget,
// hostile text).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"
#include "tools/datakit/terrain3d.h"

namespace {

using datakit::ParseTerrainModels;
using datakit::TerrainModelDesc;

std::string ParseError(const std::string& text) {
  std::vector<TerrainModelDesc> models;
  std::string err;
  EXPECT_FALSE(ParseTerrainModels(text, "models.txt", &models, &err)) << text;
  return err;
}

TEST(TerrainDescription, TheKitsDescriptionBuildsEveryModelWithinItsBudgetsAlike) {
  const std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/tools/datakit/terrain/models.txt");
  ASSERT_FALSE(bytes.empty());
  std::vector<TerrainModelDesc> models;
  std::string err;
  ASSERT_TRUE(ParseTerrainModels(std::string(bytes.begin(), bytes.end()), "models.txt", &models, &err)) << err;
  ASSERT_GT(models.size(), 80u);
  for (const datakit::TerrainUse& u : datakit::TerrainUses()) {
    bool found = false;
    for (const TerrainModelDesc& m : models) found |= m.name == u.model;
    EXPECT_TRUE(found) << u.model;
  }
  // Every model in two seasons and both details; the bytes do not change
  // from one build to the next.
  for (const TerrainModelDesc& m : models)
    for (int season : {1, 3})
      for (bool high : {false, true}) {
        datakit::QoeModel a, b;
        ASSERT_TRUE(datakit::BuildTerrainModel(m, season, high, &a, &err, "models.txt")) << err;
        ASSERT_TRUE(datakit::BuildTerrainModel(m, season, high, &b, &err, "models.txt")) << err;
        ASSERT_EQ(a.objects.size(), 1u);
        EXPECT_LE(a.faces.size(), high ? 250u : 40u) << m.name;
        EXPECT_EQ(datakit::WriteQoe(a, true), datakit::WriteQoe(b, true)) << m.name;
        for (const datakit::QoeTexture& t : a.textures) {
          EXPECT_EQ(t.width, 256);
          EXPECT_EQ(t.height, 256);
          EXPECT_EQ(t.file.substr(t.file.size() - 4), ".jpg");
          EXPECT_EQ(t.picture, datakit::QoeTexture::kJpeg);
          EXPECT_EQ(t.jpeg_alpha.empty(), t.bits == 24) << t.file;
        }
      }
}

TEST(TerrainDescription, AModelOverItsFaceBudgetStopsTheKit) {
  std::vector<TerrainModelDesc> models;
  std::string err;
  ASSERT_TRUE(ParseTerrainModels("\n\nmodel Crowded\n  ground grass\n  trees conifer 12 12\n", "models.txt", &models,
                                 &err));
  datakit::QoeModel m;
  EXPECT_FALSE(datakit::BuildTerrainModel(models[0], 1, false, &m, &err, "models.txt"));
  EXPECT_NE(err.find("models.txt:3: model Crowded has"), std::string::npos) << err;
  EXPECT_NE(err.find("over its budget of 40"), std::string::npos) << err;
  // Within budget in the high detail: 12 cones of 5 faces and the ground.
  EXPECT_TRUE(datakit::BuildTerrainModel(models[0], 1, true, &m, &err, "models.txt")) << err;
}

TEST(TerrainDescription, UnusableLinesNameTheFileLineAndReason) {
  EXPECT_EQ(ParseError("model A\n  ground grass\n  ground gras\n"), "models.txt:3: unknown material \"gras\"");
  EXPECT_EQ(ParseError("model A\n ground grass\n tower 3\n"), "models.txt:3: unknown word \"tower\"");
  EXPECT_EQ(ParseError("ground grass\n"), "models.txt:1: \"ground\" before the first model");
  EXPECT_EQ(ParseError("model A\n  relief 1\nmodel B\n  ground grass\n"), "models.txt:1: model A has no ground");
  EXPECT_EQ(ParseError("model A\n  ground grass\nmodel A\n"), "models.txt:3: model A is described twice");
  EXPECT_EQ(ParseError("model A\n  ground grass snow\n"),
            "models.txt:2: expected one material or four (spring summer autumn winter)");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  peak 40 0 5 5\n"), "models.txt:3: peak: a position off the hex");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  field -10 -10 31 10 soil\n"),
            "models.txt:3: field: a corner off the hex");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  trees conifer 3 1 0 28 4\n"),
            "models.txt:3: trees: a position off the hex");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  trees oak 3 1\n"), "models.txt:3: unknown kind of tree \"oak\"");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  trees conifer 3 1 2\n"), "models.txt:3: trees takes 2 numbers");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  rocks 2 1\n"), "models.txt:3: rocks takes 3 numbers");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  rocks 2.5 1 1\n"), "models.txt:3: rocks: counts are whole numbers");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  rocks -1 1 1\n"), "models.txt:3: rocks: a number out of range");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  houses 99 1 1\n"), "models.txt:3: houses: a number out of range");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  water 336\n"), "models.txt:3: water sides are distinct digits 0 to 5");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  water 7\n"), "models.txt:3: water sides are distinct digits 0 to 5");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  path 0 6 1 dirt\n"), "models.txt:3: sides are whole numbers 0 to 5");
  EXPECT_EQ(ParseError("model A\n  ground grass\n  hearth now\n"), "models.txt:3: hearth: unexpected \"now\"");
  EXPECT_EQ(ParseError("model A\n  grid 9\n"), "models.txt:2: grid must be a whole number 2 to 5");
  EXPECT_EQ(ParseError("model A\n  relief lots\n"), "models.txt:2: relief takes one number");
  EXPECT_EQ(ParseError("model A\n  file ../x.qoe low spring\n"), "models.txt:2: file needs a relative path ending in .qoe");
  EXPECT_EQ(ParseError("model A\n  file /x.qoe low spring\n"), "models.txt:2: file needs a relative path ending in .qoe");
  EXPECT_EQ(ParseError("model A\n  file x.qoe low monsoon\n"), "models.txt:2: unknown season \"monsoon\"");
  EXPECT_EQ(ParseError("model A\n  file x.qoe medium spring\n"), "models.txt:2: file detail must be low or high");
  EXPECT_EQ(ParseError("model a/b\n"), "models.txt:1: model takes one name of letters, digits and _");
}

TEST(TerrainDescription, HostileTextIsRefusedOrReadWithoutHarm) {
  std::vector<TerrainModelDesc> models;
  std::string err;
  // Nothing, remarks and blank lines: no models, no failure.
  EXPECT_TRUE(ParseTerrainModels("", "m", &models, &err));
  EXPECT_TRUE(ParseTerrainModels("# only a remark\n\n\t \r\n", "m", &models, &err));
  EXPECT_TRUE(models.empty());
  // Numbers that are no finite numbers do not count as numbers.
  EXPECT_EQ(ParseError("model A\n ground grass\n peak 1e400 0 5 5\n"), "models.txt:3: peak takes 4 numbers");
  EXPECT_EQ(ParseError("model A\n ground grass\n peak nan 0 5 5\n"), "models.txt:3: peak takes 4 numbers");
  EXPECT_EQ(ParseError(std::string("model A\n ground grass\0 x\n", 25)), "models.txt:2: a NUL byte");
  // A very long line and a very long word.
  EXPECT_EQ(ParseError("model A\n ground " + std::string(100000, 'g') + "\n").rfind("models.txt:2: unknown material \"ggg", 0),
            0u);
  EXPECT_EQ(ParseError("model " + std::string(5000, 'M') + "\n"),
            "models.txt:1: model takes one name of letters, digits and _");
  // Every byte value after a model's word is refused or read, never harm.
  for (int c = 1; c < 256; c++) {
    std::string text = "model A\n ground grass\n peak 0 0 5 5";
    text.push_back(char(c));
    text += "\n";
    ParseTerrainModels(text, "m", &models, &err);
  }
}

}  // namespace
