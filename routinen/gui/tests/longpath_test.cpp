// A message box naming a path far too long for it: the path loses its
// middle to "...", so the box's lines end with the file's name; a text that
// fits is drawn as it is.
#include <algorithm>
#include <string>
#include <vector>

#include "box_fixture.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/text.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "tests/support/catalog_text_check.h"

using box_test::BoxTest;

namespace {

// A path of 1 024 bytes, its folders 200 letters each.
std::string LongPath() {
  const std::string name = "\\tief_unten.map";
  std::string p = "Game\\Harald\\1203_1\\Map";
  for (char c = 'a'; p.size() < 1024 - name.size(); ++c)
    p += "\\" + std::string(std::min<size_t>(200, 1024 - name.size() - p.size() - 1), c);
  return p + name;
}

std::string Squeezed(const std::string& s) {
  std::string out;
  for (char c : s)
    if (c != ' ') out += c;
  return out;
}

struct BoxText {
  const char* name;
  std::string text;
  bool cut;  // the box must shorten it
};

}  // namespace

class LongPathBox : public BoxTest {};

TEST_F(LongPathBox, ThePathLosesItsMiddleAndTheFileNameShows) {
  const std::string path = LongPath();
  ASSERT_EQ(path.size(), 1024u);
  const BoxText cases[] = {
      {"long", "The saved game was not loaded: its file " + path + " is damaged. The running game was kept as it was.",
       true},
      {"alone", path, true},
      {"short", "The saved game was not loaded: its file Game\\Harald\\1203_1\\Data\\Prefs.qoe is damaged.", false},
  };
  for (const BoxText& c : cases) {
    SCOPED_TRACE(c.name);
    qoe_test::DrawnTextRecorder drawn;
    const std::string png = std::string("box_path_") + c.name + ".png";
    Snapshot();
    Run(("wait 100\npng " + png + "\nkey enter\n").c_str(),
        [&] { ChiefMessage(66, 168, 180, 0, 0, 0, 0, c.text.c_str(), 7); });
    ExpectRestored();
    EXPECT_TRUE(qoe_test::KeepPng(png));
    const std::vector<std::string> texts = drawn.Texts();
    // The whole text as the box drew it, then its lines.
    const std::string head = c.text.substr(0, 20);
    const auto whole =
        std::find_if(texts.begin(), texts.end(), [&](const std::string& t) { return t.rfind(head, 0) == 0; });
    ASSERT_NE(whole, texts.end());
    std::string lines;
    for (auto it = whole + 1; it != texts.end(); ++it) lines += *it;
    const std::string end = c.text.substr(c.text.find("tief_unten.map") != std::string::npos
                                              ? c.text.find("tief_unten.map")
                                              : c.text.find("Prefs.qoe"));
    EXPECT_NE(Squeezed(lines).find(Squeezed(end)), std::string::npos) << lines;
    EXPECT_NE(Squeezed(lines).find("Game\\Harald\\"), std::string::npos) << lines;
    if (c.cut) {
      EXPECT_NE(whole->find("..."), std::string::npos) << *whole;
      EXPECT_LT(whole->size(), c.text.size());
    } else {
      EXPECT_EQ(*whole, c.text);
    }
  }
}

// The shortening alone: what fits stays, what does not fits afterwards and
// keeps both ends of its longest word.
TEST_F(LongPathBox, ShortenedToFitKeepsBothEndsOfTheLongestWord) {
  Run("", [&] {
    // The message box's text font on a RastPort of its own.
    RastPort own;
    InitRastPort(&own);
    TextFont* font = OpenDiskFont("fonts\\XHelvetica11.fnt");
    ASSERT_NE(font, nullptr);
    SetFont(&own, font);
    RastPort* rp = &own;
    EXPECT_EQ(ShortenedToFit(rp, "fits well", 1, 300), nullptr);
    EXPECT_EQ(ShortenedToFit(rp, nullptr, 1, 300), nullptr);
    const std::string path = LongPath();
    for (uint32_t lines : {1u, 2u, 5u}) {
      char* cut = ShortenedToFit(rp, path.c_str(), lines, 276);
      ASSERT_NE(cut, nullptr);
      const std::string s = cut;
      FreeVec(cut);
      EXPECT_LE(CountWrappedLines(rp, s.c_str(), 0, 0, 65535, 100, 276) + 1, lines) << s;
      EXPECT_EQ(s.rfind("Game\\", 0), 0u) << s;
      EXPECT_EQ(s.substr(s.size() - 14), "tief_unten.map") << s;
      EXPECT_NE(s.find("..."), std::string::npos);
    }
    // Words too short to cut: nothing to do.
    EXPECT_EQ(ShortenedToFit(rp, "a b c d e f g h i j k l m n o p q r s t u v w x y z", 1, 20), nullptr);
    CloseFont(font);
  });
}
