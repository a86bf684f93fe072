#include "routinen/system/catalog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/system/byteorder.h"
#include "routinen/system/catalog_internal.h"
#include "routinen/system/memory.h"
#include "routinen/system/shell.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/test_support.h"

namespace {

// Builds CTLG images for the hostile-input cases.
std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> b(id, id + 4);
  b.resize(8);
  PutBE32(&b[4], (uint32_t)data.size());
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
  return b;
}
std::vector<uint8_t> Strs(const std::vector<std::pair<uint32_t, std::string>>& entries) {
  std::vector<uint8_t> out;
  for (auto& [id, text] : entries) {
    uint8_t h[8];
    PutBE32(h, id);
    PutBE32(h + 4, (uint32_t)text.size() + 1);
    out.insert(out.end(), h, h + 8);
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    while (out.size() % 4) out.push_back(0);
  }
  return out;
}
std::vector<uint8_t> Form(const std::vector<std::vector<uint8_t>>& chunks) {
  std::vector<uint8_t> body = {'C', 'T', 'L', 'G'};
  for (auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  std::vector<uint8_t> f = {'F', 'O', 'R', 'M', 0, 0, 0, 0};
  PutBE32(&f[4], (uint32_t)body.size());
  f.insert(f.end(), body.begin(), body.end());
  return f;
}

class CatalogTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* s = std::getenv(v);
      saved_.push_back(s ? s : "");
      had_.push_back(s != nullptr);
      unsetenv(v);
    }
  }
  void TearDown() override {
    const char* vars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (int i = 0; i < 3; ++i) {
      if (had_[i]) setenv(vars[i], saved_[i].c_str(), 1);
      else unsetenv(vars[i]);
    }
    for (auto& e : CatalogStrings) EXPECT_EQ(e.override, nullptr) << e.id;  // every test closes
  }
  void InstallGermanCatalog() {
    std::filesystem::create_directories("Catalogs/deutsch");
    auto bytes = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/routinen/system/tests/data/QoEBrowser.catalog");
    ASSERT_FALSE(bytes.empty());
    ASSERT_TRUE(qoe_test::WriteFileBytes("Catalogs/deutsch/QoEBrowser.catalog", bytes));
  }
  std::vector<std::string> saved_;
  std::vector<bool> had_;
};

}  // namespace

TEST_F(CatalogTest, BuiltInTableIsCompleteAndQuotedTextsHold) {
  for (uint32_t k = 0; k < CATALOG_STRING_COUNT; ++k) {
    ASSERT_EQ(CatalogStrings[k].id, k);
    ASSERT_NE(CatalogStrings[k].text, nullptr) << k;
  }
  for (uint32_t k = 0; k < STORY_STRING_COUNT; ++k) ASSERT_EQ(StoryStrings[k].id, k);
  EXPECT_STREQ(GetCatalogStr(71), "No Emails for Quill Of Elmor!");
  EXPECT_STREQ(GetCatalogStr(84), "Chiefmessage");
  EXPECT_STREQ(GetCatalogStr(705), "no information");
  EXPECT_STREQ(GetCatalogStr(881), "Aloe");
  EXPECT_STREQ(GetCatalogStr(1565), "Would you like to play the tutorial ?");
  EXPECT_STREQ(GetCatalogStr(910), "\n\non behalf your command we attacked on the coordinates");
  EXPECT_STREQ(GetCatalogStr(1519), "You haven\xB4t sent a turn yet! Do you really want to quit ?");
  // The battle reports' joining words and verdicts are the client's own texts.
  for (uint32_t own : {912u, 924u, 925u, 926u, 931u, 932u, 1133u, 1136u}) EXPECT_GT(std::strlen(GetCatalogStr(own)), 5u) << own;
  for (uint32_t k = 0; k < 9; ++k) EXPECT_GT(std::strlen(GetCatalogStr(1480 + k)), 60u) << "tip " << k;
  for (uint32_t k = 0; k < 17; ++k) EXPECT_GT(std::strlen(GetCatalogStr(1545 + k)), 60u) << "step " << k;
  EXPECT_STREQ(GetCatalogEntryStr(&StoryStrings[0]), "Riziz Ozez");
  // Every story page ends with the end-of-page mark.
  for (uint32_t k = 1; k < STORY_STRING_COUNT; ++k) {
    std::string s = StoryStrings[k].text;
    EXPECT_EQ(s.substr(s.size() - 2), "\xA7\xA7") << k;
  }
}

// Every text the game's screens quote with its ID, one "id<TAB>text"
// line each (\n and \\ escaped), must be the built-in English text.
TEST_F(CatalogTest, EveryQuotedTextHoldsItsId) {
  auto bytes = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/routinen/system/tests/data/catalog_quoted.txt");
  ASSERT_FALSE(bytes.empty());
  std::string all(bytes.begin(), bytes.end());
  size_t pos = 0, checked = 0;
  while (pos < all.size()) {
    size_t end = all.find('\n', pos);
    if (end == std::string::npos) end = all.size();
    std::string line = all.substr(pos, end - pos);
    pos = end + 1;
    size_t tab = line.find('\t');
    ASSERT_NE(tab, std::string::npos) << line;
    uint32_t id = (uint32_t)std::stoul(line.substr(0, tab));
    std::string want;
    for (size_t i = tab + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        ++i;
        want += line[i] == 'n' ? '\n' : line[i];
      } else {
        want += line[i];
      }
    }
    EXPECT_EQ(std::string(GetCatalogStr(id)), want) << "ID " << id;
    ++checked;
  }
  EXPECT_GT(checked, 400u);
}

// The English game reads English: no built-in text of either table holds
// German, but text 1563 with the word the game has always shown in it.
TEST_F(CatalogTest, TheBuiltInTextsAreEnglish) {
  EXPECT_EQ(qoe_test::GermanBuiltInTexts({1563}), "");
  EXPECT_NE(qoe_test::GermanIn(GetCatalogStr(1563)), "");  // the one kept, still seen
}

// A start that fails after the display was found is told in a native box
// in the catalog's language, also before SetupSystem opened the catalog;
// the catalog opened for the box alone is closed again.
TEST_F(CatalogTest, AStartFailureBoxSpeaksTheCatalogsLanguage) {
  std::filesystem::create_directories("Catalogs/deutsch");
  ASSERT_TRUE(qoe_test::WriteFileBytes(
      "Catalogs/deutsch/QoEBrowser.catalog",
      Form({Chunk("STRS", Strs({{1900, "Schwerer Fehler"}, {1901, "Das Fenster lie\xDF sich nicht \xF6" "ffnen."}}))})));
  struct Case {
    const char* locale;
    bool program_catalog_open;
    std::vector<std::string> heard;
  };
  const std::vector<Case> cases = {
      {"en_GB", false, {"Fatal Error", "The game's window could not be opened."}},
      {"de_DE", false, {"Schwerer Fehler", "Das Fenster lie\xDF sich nicht \xF6" "ffnen."}},
      {"de_DE", true, {"Schwerer Fehler", "Das Fenster lie\xDF sich nicht \xF6" "ffnen."}},
  };
  for (const Case& c : cases) {
    setenv("LANG", c.locale, 1);
    if (c.program_catalog_open) OpenProgramCatalog();
    qoe_test::DrawnTextRecorder heard;
    ShowStartFailure(START_FAILURE_WINDOW);
    EXPECT_EQ(heard.Texts(), c.heard) << c.locale;
    // The program's catalog stays as it was: open, or closed.
    EXPECT_EQ(CatalogStrings[1901].override != nullptr, c.program_catalog_open) << c.locale;
    CloseProgramCatalog();
  }
  EXPECT_EQ(std::string(GetCatalogStr(START_FAILURE_DISPLAY)).find("The display could not be set up"), 0u);
}

TEST_F(CatalogTest, FirstLastAndMissingIds) {
  EXPECT_NE(GetCatalogStr(0), nullptr);
  EXPECT_EQ(GetCatalogStr(0), CatalogStrings[0].text);
  EXPECT_EQ(GetCatalogStr(CATALOG_STRING_COUNT - 1), CatalogStrings[CATALOG_STRING_COUNT - 1].text);
  EXPECT_STREQ(GetCatalogStr(CATALOG_STRING_COUNT), "");
  EXPECT_STREQ(GetCatalogStr(0xFFFFFFFFu), "");
  EXPECT_STREQ(GetCatalogEntryStr(nullptr), "");
}

TEST_F(CatalogTest, LocaleDetectionTakesTheFirstSetVariable) {
  EXPECT_EQ(CatalogLocaleIsGerman(), 0);
  setenv("LANG", "de_DE.ISO-8859-1", 1);
  EXPECT_EQ(CatalogLocaleIsGerman(), 1);
  setenv("LC_MESSAGES", "en_GB", 1);
  EXPECT_EQ(CatalogLocaleIsGerman(), 0);
  setenv("LC_ALL", "de_AT", 1);
  EXPECT_EQ(CatalogLocaleIsGerman(), 1);
  setenv("LC_ALL", "", 1);  // empty counts as not set
  EXPECT_EQ(CatalogLocaleIsGerman(), 0);
}

TEST_F(CatalogTest, GermanCatalogOverridesAndCloseRestores) {
  InstallGermanCatalog();
  const uint64_t live = MemAllocatedCounter_SS.load() - MemFreedCounter_SS.load();
  EXPECT_EQ(OpenCatalog("QoEBrowser.catalog", CatalogStrings, CATALOG_STRING_COUNT), nullptr);  // not German
  setenv("LANG", "de_DE.UTF-8", 1);
  Catalog* c = OpenCatalog("QoEBrowser.catalog", CatalogStrings, CATALOG_STRING_COUNT);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(GetCatalogStr(71), "Keine E-Mails f\xFCr Quill of Elmor!");
  EXPECT_STREQ(GetCatalogStr(0), "Mein Herr?");
  EXPECT_STREQ(GetCatalogStr(1567), "Bitte eine Zahl eingeben.");
  EXPECT_STREQ(GetCatalogEntryStr(&CatalogStrings[657]), "Herr");
  EXPECT_STREQ(GetCatalogStr(84), "Chiefmessage");  // not in the catalog: English
  // The box of a screen that cannot start, and its steps.
  EXPECT_NE(std::string(GetCatalogStr(1570)).find("siehe Quill.dbg"), std::string::npos);
  EXPECT_NE(std::string(GetCatalogStr(1570)).find("%s"), std::string::npos);
  EXPECT_STREQ(GetCatalogStr(1571), "sein Bild lie\xDF sich nicht laden");
  for (uint32_t id = 1571; id <= 1581; ++id) EXPECT_NE(GetCatalogStr(id), CatalogStrings[id].text) << id;
  CloseCatalog(c);
  EXPECT_NE(std::string(GetCatalogStr(1570)).find("see Quill.dbg"), std::string::npos);
  EXPECT_STREQ(GetCatalogStr(71), "No Emails for Quill Of Elmor!");
  EXPECT_EQ(MemAllocatedCounter_SS.load() - MemFreedCounter_SS.load(), live);
  EXPECT_EQ(OpenCatalog("Missing.catalog", CatalogStrings, CATALOG_STRING_COUNT), nullptr);
  CloseCatalog(nullptr);
}

TEST_F(CatalogTest, CorruptCatalogsLeaveTheEnglishTexts) {
  InstallGermanCatalog();
  setenv("LC_ALL", "de_DE", 1);
  auto good = qoe_test::ReadFileBytes("Catalogs/deutsch/QoEBrowser.catalog");
  std::vector<std::vector<uint8_t>> bad;
  for (size_t cut : {0u, 4u, 11u, 12u, 40u, 100u, 319u}) bad.emplace_back(good.begin(), good.begin() + cut);
  auto wrong_type = good;
  std::memcpy(&wrong_type[8], "ILBM", 4);
  bad.push_back(wrong_type);
  auto big_form = good;
  PutBE32(&big_form[4], 0x7FFFFFF0u);
  bad.push_back(big_form);
  // A text whose length runs past its chunk.
  auto strs = Strs({{71, "Kaputt"}});
  PutBE32(&strs[4], 1000);
  bad.push_back(Form({Chunk("STRS", strs)}));
  // A chunk whose size runs past the FORM.
  auto chunk = Chunk("STRS", Strs({{71, "Kaputt"}}));
  PutBE32(&chunk[4], 5000);
  bad.push_back(Form({chunk}));
  bad.push_back(Form({Chunk("LANG", {'d', 'e', 0})}));  // no strings at all
  for (size_t i = 0; i < bad.size(); ++i) {
    ASSERT_TRUE(qoe_test::WriteFileBytes("Catalogs/deutsch/QoEBrowser.catalog", bad[i]));
    Catalog* c = OpenCatalog("QoEBrowser.catalog", CatalogStrings, CATALOG_STRING_COUNT);
    EXPECT_EQ(c, nullptr) << "case " << i;
    CloseCatalog(c);
    EXPECT_STREQ(GetCatalogStr(71), "No Emails for Quill Of Elmor!") << "case " << i;
  }
}

TEST_F(CatalogTest, UnterminatedOddAndRepeatedTextsAreHandled) {
  // Odd chunk sizes get their pad byte, a text without NUL is terminated, a
  // later entry of the same ID wins, IDs outside the table are ignored.
  std::vector<uint8_t> raw = {0, 0, 0, 5, 0, 0, 0, 3, 'a', 'b', 'c', 0};
  auto strs = Strs({{3, "first"}, {3, "second"}, {70000, "far away"}});
  strs.insert(strs.end(), raw.begin(), raw.end());
  auto img = Form({Chunk("AUTH", {'x'}), Chunk("STRS", strs)});
  Catalog* c = OpenCatalogFromMemory(img.data(), (uint32_t)img.size(), CatalogStrings, CATALOG_STRING_COUNT);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(GetCatalogStr(3), "second");
  EXPECT_STREQ(GetCatalogStr(5), "abc");
  CloseCatalog(c);
  EXPECT_STRNE(GetCatalogStr(3), "second");
}

TEST_F(CatalogTest, StoryTableAndItsCatalog) {
  CatalogEntry** tab = MakeRizizOzezTab();
  ASSERT_NE(tab, nullptr);
  for (uint32_t k = 0; k < STORY_STRING_COUNT; ++k) EXPECT_EQ(tab[k], &StoryStrings[k]);
  auto img = Form({Chunk("STRS", Strs({{0, "Riziz Ozez (de)"}, {44, "Tayanga\xA7($1,-1)\xA7\xA7"}}))});
  Catalog* c = OpenCatalogFromMemory(img.data(), (uint32_t)img.size(), StoryStrings, STORY_STRING_COUNT);
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(GetCatalogEntryStr(tab[0]), "Riziz Ozez (de)");
  EXPECT_STREQ(GetCatalogEntryStr(tab[44]), "Tayanga\xA7($1,-1)\xA7\xA7");
  CloseCatalog(c);
  EXPECT_STREQ(GetCatalogEntryStr(tab[0]), "Riziz Ozez");
  FreeVec(tab);
}
