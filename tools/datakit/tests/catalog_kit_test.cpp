// The kit's German catalog: the catalog it installs read back through the
// game's own reader under a German locale gives every text of the sources,
// files are taken in the order of their names with comments skipped, and a
// line with a bad ID, without text, in UTF-8, or an ID given twice stops
// the kit with the file and the line.
#include "tools/datakit/catalog_kit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "routinen/system/catalog.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// Every "id<TAB>text" line of the kit's German sources (a folder below
// tools/datakit/catalog/deutsch), with its line breaks.
std::map<uint32_t, std::string> SourceTexts(const std::string& folder = "") {
  std::map<uint32_t, std::string> out;
  for (const auto& de : fs::directory_iterator(qoe_test::SourceDir() + "/tools/datakit/catalog/deutsch" + folder)) {
    if (de.path().extension() != ".txt") continue;
    std::ifstream f(de.path(), std::ios::binary);
    for (std::string l; std::getline(f, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      if (l.empty() || l[0] == '#') continue;
      const size_t tab = l.find('\t');
      std::string text;
      for (size_t i = tab + 1; i < l.size(); ++i) {
        if (l[i] == '\\' && i + 1 < l.size() && (l[i + 1] == 'n' || l[i + 1] == '\\')) text += l[++i] == 'n' ? '\n' : '\\';
        else text += l[i];
      }
      out[static_cast<uint32_t>(std::stoul(l.substr(0, tab)))] = text;
    }
  }
  return out;
}

class GermanLocale : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* s = std::getenv(v);
      saved_[v] = s ? s : "";
      had_[v] = s != nullptr;
      unsetenv(v);
    }
    setenv("LANG", "de_DE.ISO-8859-1", 1);
  }
  void TearDown() override {
    for (const auto& [v, s] : saved_) {
      if (had_[v]) setenv(v.c_str(), s.c_str(), 1);
      else unsetenv(v.c_str());
    }
  }
  std::map<std::string, std::string> saved_;
  std::map<std::string, bool> had_;
};

TEST_F(GermanLocale, TheInstalledCatalogGivesEveryGermanTextThroughTheGamesReader) {
  const std::string built = qoe_test::BinaryDir() + "/datakit/Catalogs/deutsch/QoEBrowser.catalog";
  ASSERT_TRUE(fs::exists(built)) << built;
  fs::create_directories("Catalogs/deutsch");
  fs::copy_file(built, "Catalogs/deutsch/QoEBrowser.catalog");
  const std::map<uint32_t, std::string> texts = SourceTexts();
  ASSERT_TRUE(texts.count(1682));
  Catalog* c = OpenCatalog("QoEBrowser.catalog", CatalogStrings, CATALOG_STRING_COUNT);
  ASSERT_NE(c, nullptr);
  for (const auto& [id, text] : texts) EXPECT_EQ(std::string(GetCatalogStr(id)), text) << id;
  EXPECT_EQ(std::string(GetCatalogStr(1682)).find("Die Datei %s ist besch\xE4" "digt"), 0u);
  CloseCatalog(c);
  EXPECT_EQ(std::string(GetCatalogStr(1682)).find("The file %s is damaged"), 0u);
}

// The German story catalog the kit installs gives the stories that were
// only known in German to the German game; the English game tells them in
// English.
TEST_F(GermanLocale, TheInstalledStoryCatalogGivesTheGermanStories) {
  const std::string built = qoe_test::BinaryDir() + "/datakit/Catalogs/deutsch/RizizOzez.catalog";
  ASSERT_TRUE(fs::exists(built)) << built;
  fs::create_directories("Catalogs/deutsch");
  fs::copy_file(built, "Catalogs/deutsch/RizizOzez.catalog");
  const std::map<uint32_t, std::string> texts = SourceTexts("/stories");
  ASSERT_TRUE(texts.count(18) && texts.count(19));
  const std::string english18 = GetCatalogEntryStr(&StoryStrings[18]);
  Catalog* c = OpenCatalog("RizizOzez.catalog", StoryStrings, STORY_STRING_COUNT);
  ASSERT_NE(c, nullptr);
  for (const auto& [id, text] : texts) {
    ASSERT_LT(id, STORY_STRING_COUNT);
    EXPECT_EQ(std::string(GetCatalogEntryStr(&StoryStrings[id])), text) << id;
  }
  EXPECT_EQ(std::string(GetCatalogEntryStr(&StoryStrings[18])).find("Der Fremde am Tor\n\nEin Fremder"), 0u);
  CloseCatalog(c);
  EXPECT_EQ(GetCatalogEntryStr(&StoryStrings[18]), english18);
  EXPECT_EQ(english18.find("The stranger at the gate\n\n"), 0u);
}

// A German text without its English one would leave the English game an
// empty place where the German game shows a text.
TEST(CatalogKit, EveryGermanTextHasItsEnglishBuiltInText) {
  const std::map<uint32_t, std::string> texts = SourceTexts();
  ASSERT_TRUE(texts.count(1813));
  for (const auto& [id, text] : texts) {
    ASSERT_LT(id, CATALOG_STRING_COUNT);
    EXPECT_STRNE(CatalogStrings[id].text, "") << id << " " << text;
  }
}

TEST(CatalogKit, FilesInNameOrderCommentsSkippedAndTextsKeptAsTheyAre) {
  Put("t/b.txt", "# comment\r\n\r\n20\tzwei \xFC" "ber\r\n");
  Put("t/a.txt", "10\teins\twith a tab\n\n# 30\tno\n");
  Put("t/c.md", "40\tnot a text file\n");
  std::vector<uint8_t> image;
  std::string error;
  ASSERT_TRUE(datakit::MakeCatalogImage("t", 100, &image, &error)) << error;
  CatalogEntry table[100] = {};
  for (uint16_t i = 0; i < 100; ++i) table[i] = {i, "en", nullptr};
  Catalog* c = OpenCatalogFromMemory(image.data(), static_cast<uint32_t>(image.size()), table, 100);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(GetCatalogEntryStr(&table[10]), "eins\twith a tab");
  EXPECT_STREQ(GetCatalogEntryStr(&table[20]), "zwei \xFC" "ber");
  EXPECT_STREQ(GetCatalogEntryStr(&table[30]), "en");
  EXPECT_STREQ(GetCatalogEntryStr(&table[40]), "en");
  CloseCatalog(c);
}

TEST(CatalogKit, ABadLineStopsItWithTheFileAndTheLine) {
  struct Case {
    std::string a, b, where, why;
  };
  const std::vector<Case> cases = {
      {"1\tok\nx2\tbad\n", "", "a.txt:2", "no text ID"},
      {"# c\n100\tpast the table\n", "", "a.txt:2", "no text ID"},
      {"-1\tnegative\n", "", "a.txt:1", "no text ID"},
      {"12 no tab\n", "", "a.txt:1", "no text ID"},
      {"\tno id\n", "", "a.txt:1", "no text ID"},
      {"12\n", "", "a.txt:1", "no text after a TAB"},
      {"12\t\n", "", "a.txt:1", "no text after a TAB"},
      {"12\tgr\xC3\xBC\xC3\x9F" "e\n", "", "a.txt:1", "UTF-8"},
      {"5\tone\n7\ttwo\n5\tagain\n", "", "a.txt:3", "given twice (first at"},
      {"5\tone\n", "\n\n5\tother file\n", "b.txt:3", "given twice (first at"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const fs::path dir = "case" + std::to_string(i);
    Put(dir / "a.txt", cases[i].a);
    if (!cases[i].b.empty()) Put(dir / "b.txt", cases[i].b);
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_FALSE(datakit::MakeCatalogImage(dir, 100, &image, &error)) << i;
    EXPECT_NE(error.find(cases[i].where + ": "), std::string::npos) << i << ": " << error;
    EXPECT_NE(error.find(cases[i].why), std::string::npos) << i << ": " << error;
  }
}

TEST(CatalogKit, ASourceWithoutTheFolderWritesNoCatalog) {
  std::string error;
  fs::create_directories("src");
  EXPECT_TRUE(datakit::MakeGermanCatalog("src", "out", &error));
  EXPECT_FALSE(fs::exists("out/Catalogs"));
  Put("src/catalog/deutsch/x.txt", "3\tdrei\n");
  EXPECT_TRUE(datakit::MakeGermanCatalog("src", "out", &error)) << error;
  EXPECT_TRUE(fs::exists("out/Catalogs/deutsch/QoEBrowser.catalog"));
  Put("src/catalog/deutsch/y.txt", "3\tnochmal\n");
  EXPECT_FALSE(datakit::MakeGermanCatalog("src", "out2", &error));
  EXPECT_FALSE(fs::exists("out2/Catalogs/deutsch/QoEBrowser.catalog"));
}

}  // namespace
