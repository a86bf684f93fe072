// Story mark-up and page layout: pages and link targets on the rules'
// examples, stripping, the picture area test, and the word layout on a
// memory bitmap with a fixed-width test font (blanks, breaks, pens, a
// picture the words flow round).
#include "screens/story/storypage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gui/requester.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"

namespace {

// "@" stands for the mark byte in the tests' texts.
std::string S(const std::string& t) {
  std::string out;
  for (size_t i = 0; i < t.size(); ++i) out += t[i] == '@' ? '\xA7' : t[i];
  return out;
}

StoryLinkButtons Neutral() {
  StoryLinkButtons b{};
  for (uint32_t i = 0; i < 6; ++i) {
    b.up[i] = STORY_IMG_NEUTRAL;
    b.down[i] = STORY_IMG_NEUTRAL_DOWN;
  }
  return b;
}

TEST(StoryMarkup, PagesEndAtTheirMarks) {
  const std::string story = S("one@@two@($1,-1)@@three@@");
  uint32_t len = 0;
  const char* p = FindStoryPage(story.c_str(), 1, &len);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p, len), "one");
  p = FindStoryPage(story.c_str(), 2, &len);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(std::string(p, len), S("two@($1,-1)"));
  p = FindStoryPage(story.c_str(), 3, &len);
  EXPECT_EQ(std::string(p, len), "three");
  // Beyond the last "§§", and a text without any: no page.
  EXPECT_EQ(FindStoryPage(story.c_str(), 4, &len), nullptr);
  EXPECT_EQ(FindStoryPage("no marks at all", 1, &len), nullptr);
  EXPECT_EQ(FindStoryPage(S("last page without its end@@tail").c_str(), 2, &len), nullptr);
  EXPECT_EQ(FindStoryPage(nullptr, 1, &len), nullptr);
  EXPECT_EQ(FindStoryPage(story.c_str(), 0, &len), nullptr);
}

TEST(StoryMarkup, LinkTargetsOfTheExamples) {
  // "§($1,-1)" on page 1: every button ends the story.
  StoryLinkButtons b = Neutral();
  ASSERT_TRUE(StoryLinkButtonsFor(1, S("a@($1,-1)@@").c_str(), &b));
  for (uint32_t i = 0; i < 6; ++i) {
    EXPECT_EQ(b.targets[i], STORY_LINK_END) << i;
    EXPECT_EQ(b.up[i], STORY_IMG_NEUTRAL);
  }
  // "§($2,<,-1)" on page 2: GAD1 back to page 1, the rest end the story.
  b = Neutral();
  ASSERT_TRUE(StoryLinkButtonsFor(2, S("b@($2,<,-1)@@").c_str(), &b));
  EXPECT_EQ(b.up[0], STORY_IMG_BACK);
  EXPECT_EQ(b.down[0], STORY_IMG_BACK_DOWN);
  EXPECT_EQ(b.targets[0], 1);
  for (uint32_t i = 1; i < 6; ++i) EXPECT_EQ(b.targets[i], STORY_LINK_END) << i;
  // "§($2,3,2)": GAD2 shows 507 and opens page 3, GAD3 509 and page 2, the
  // neutral ones the next page. The back arrow of before goes neutral again.
  ASSERT_TRUE(StoryLinkButtonsFor(1, S("c@($2,3,2)@@").c_str(), &b));
  EXPECT_EQ(b.up[0], STORY_IMG_NEUTRAL);
  EXPECT_EQ(b.up[1], 507);
  EXPECT_EQ(b.down[1], 508);
  EXPECT_EQ(b.up[2], 509);
  EXPECT_EQ(b.targets[1], 3);
  EXPECT_EQ(b.targets[2], 2);
  for (uint32_t i : {0u, 3u, 4u, 5u}) EXPECT_EQ(b.targets[i], 2) << i;
  // ">" gives GAD6 the next arrow; "<" on page 1 leads nowhere (0 does nothing).
  b = Neutral();
  ASSERT_TRUE(StoryLinkButtonsFor(1, S("d@($2,<,>)@@").c_str(), &b));
  EXPECT_EQ(b.up[5], STORY_IMG_NEXT);
  EXPECT_EQ(b.targets[5], 2);
  EXPECT_EQ(b.targets[0], 0);
  // A page without a link mark keeps what the buttons had; one whose mark
  // stands after its "§§" too (the mark is the next page's).
  const StoryLinkButtons before = b;
  EXPECT_FALSE(StoryLinkButtonsFor(2, S("e@@@($1,-1)@@").c_str(), &b));
  EXPECT_EQ(std::memcmp(&before, &b, sizeof b), 0);
  // Values that are no page (70, garbage) read as 0; more than six are not read.
  StoryLinks l;
  ASSERT_TRUE(ParseStoryLinks(S("@($9,70,x,1,2,3,4,5,6)@@").c_str(), &l));
  EXPECT_EQ(l.count, 1u);
  EXPECT_EQ(l.values[0], 0);
  ASSERT_TRUE(ParseStoryLinks(S("@($9, 1, 2,3,4,5,6,7,8,9)@@").c_str(), &l));
  EXPECT_EQ(l.count, 6u);
  EXPECT_EQ(l.values[5], 6);
}

TEST(StoryMarkup, StrippingAndPictureMarks) {
  const std::string page = S("A@(#1,0,0,10,10)B@($1,-1)C (!12)D");
  char* s = RizizOzezBrowserAllocBuffer(page.c_str(), (uint32_t)page.size());
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s, "ABC (!12)D");  // pen marks are the layout's
  FreeVec(s);
  s = RizizOzezBrowserAllocBuffer(S("x@(never closed").c_str(), 16);
  EXPECT_STREQ(s, "x");
  FreeVec(s);

  StoryPicture pics[4];
  ASSERT_EQ(ParseStoryPictures(S("@(#3,5,6,7,8) @(#1,1,x) @(#2,0,0,1,1)@@@(#1,1,1,1,1)").c_str(), pics, 4), 3u);
  EXPECT_TRUE(pics[0].valid);
  EXPECT_EQ(pics[0].number, 3);
  EXPECT_EQ(pics[0].h, 8);
  EXPECT_FALSE(pics[1].valid);
  EXPECT_TRUE(pics[2].valid);

  // A box runs from x - 2 to x + w + 2 and from y to y + h; at x below 2
  // from x. Picture number 3 is never drawn but still keeps its box.
  const std::string at0 = S("@(#1,0,0,100,50)"), at10 = S("@(#3,10,20,30,40)");
  EXPECT_EQ(CheckRizizOzezPicArea(at0.c_str(), 102, 0, 110, 10), 0);
  EXPECT_EQ(CheckRizizOzezPicArea(at0.c_str(), 103, 0, 110, 10), 1);
  EXPECT_EQ(CheckRizizOzezPicArea(at0.c_str(), 0, 51, 10, 60), 1);
  EXPECT_EQ(CheckRizizOzezPicArea(at10.c_str(), 0, 20, 8, 30), 0);
  EXPECT_EQ(CheckRizizOzezPicArea(at10.c_str(), 0, 20, 7, 30), 1);
  EXPECT_EQ(CheckRizizOzezPicArea(at10.c_str(), 42, 60, 50, 70), 0);
  // A rectangle across a narrow picture, no corner inside it, still touches it.
  EXPECT_EQ(CheckRizizOzezPicArea(at10.c_str(), 0, 30, 100, 35), 0);
}

// ---- the word layout on a memory bitmap -------------------------------------------

// A fixed-width font: every printable glyph a solid 5 x 8 block, advance 6,
// baseline 6; the blank draws nothing.
TextFont* BlockFont() {
  std::vector<uint8_t> b;
  auto put = [&](const char* tag, const std::vector<uint8_t>& payload) {
    b.insert(b.end(), tag, tag + 4);
    uint8_t n[4];
    PutBE32(n, (uint32_t)payload.size());
    b.insert(b.end(), n, n + 4);
    b.insert(b.end(), payload.begin(), payload.end());
  };
  put("FONT", {32, 126, 0, 6, 0, 8, 0, 6});
  std::vector<uint8_t> chars;
  const uint32_t count = 126 - 32 + 1;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t bits = i == 0 ? 0 : 5;
    chars.insert(chars.end(), {6, 0, bits, 0, 0, 0, 0, 0});
  }
  for (uint32_t r = 0; r < 8; ++r) chars.push_back(0xF8);  // the one block all glyphs share
  put("CHAR", chars);
  return OpenFontFromMemory(b.data(), (uint32_t)b.size());
}

struct MemoryPage {
  TextFont* font = BlockFont();
  BitMap* bm;
  RastPort rp;
  QoERequester req{};
  MemoryPage(uint32_t w, uint32_t h) {
    bm = AllocBitMap(w, h, 8, BMF_CLEAR, nullptr);
    InitRastPort(&rp);
    rp.Bitmap = bm;
    SetFont(&rp, font);
    req.rp = &rp;
    req.content = bm;
    req.contentWidth = w;
    req.width = w;
    req.height = h;
    req.lineHeight = 9;
    req.pens[0] = 0;
    req.pens[1] = 7;
  }
  ~MemoryPage() {
    FreeBitMap(bm);
    CloseFont(font);
  }
  uint32_t Lay(const std::string& page) {
    char* s = RizizOzezBrowserAllocBuffer(page.c_str(), (uint32_t)page.size());
    const uint32_t lines = RizizOzezBrowserSetText(&req, page.c_str(), s);
    FreeVec(s);
    return lines;
  }
  int Px(int x, int y) { return ReadPixel(&rp, x, y); }
  // The first column at or after x in text row `row` (top y = row * 9) that
  // holds ink, -1 when none.
  int InkFrom(int x, int top) {
    for (int c = x; c < (int)bm->Width; ++c)
      if (Px(c, top + 1)) return c;
    return -1;
  }
};

TEST(StoryLayout, BlanksBreaksAndPens) {
  MemoryPage m(120, 90);
  ASSERT_NE(m.font, nullptr);
  EXPECT_EQ(m.Lay("aa bb"), 1u);
  EXPECT_EQ(m.InkFrom(0, 0), 0);
  EXPECT_EQ(m.InkFrom(11, 0), 18);  // "aa" 12 wide, one blank of 6
  EXPECT_EQ(m.Px(12, 1), 0);

  MemoryPage two(120, 90);
  two.Lay("aa  bb");  // a second blank: one space width more
  EXPECT_EQ(two.InkFrom(11, 0), 24);

  MemoryPage para(120, 90);
  EXPECT_EQ(para.Lay("aa\n\nbb\ncc dd"), 4u);  // a blank line between, then two lines
  EXPECT_EQ(para.InkFrom(0, 9), -1);
  EXPECT_EQ(para.InkFrom(0, 18), 0);
  EXPECT_EQ(para.InkFrom(0, 27), 0);  // "cc" starts its own line after "bb\n"
  EXPECT_EQ(para.InkFrom(11, 27), 18);

  // A word that would reach the right edge goes to the next line.
  MemoryPage wrap(40, 90);
  EXPECT_EQ(wrap.Lay("aaa bbb"), 2u);
  EXPECT_EQ(wrap.InkFrom(0, 9), 0);

  // The pen of "(!12)" holds across lines until the next pen mark.
  MemoryPage pens(120, 90);
  pens.Lay("(!12)aa bb\ncc (!3)dd");
  EXPECT_EQ(pens.Px(0, 1), 12);
  EXPECT_EQ(pens.Px(18, 1), 12);
  EXPECT_EQ(pens.Px(0, 10), 12);
  EXPECT_EQ(pens.Px(18, 10), 3);
  // Without a mark the requester's text pen.
  EXPECT_EQ(m.Px(0, 1), 7);
}

TEST(StoryLayout, WordsFlowRoundAPicture) {
  // A picture at 0, 0 of 30 x 20 keeps x 0..32 and y 0..20 clear.
  MemoryPage m(80, 90);
  const std::string page = S("@(#1,0,0,30,20)aa bb cc dd ee ff gg hh");
  const uint32_t lines = m.Lay(page);
  for (int y = 0; y <= 20; ++y)
    for (int x = 0; x <= 32; ++x) ASSERT_EQ(m.Px(x, y), 0) << x << "," << y;
  EXPECT_EQ(m.InkFrom(0, 0), 33);
  // Below the picture the lines start at the left edge again.
  bool left = false;
  for (int y = 21; y < 60; ++y) left = left || m.Px(0, y) != 0;
  EXPECT_TRUE(left);
  EXPECT_GE(lines, 3u);
}

TEST(StoryLayout, NothingPastTheBitmap) {
  // More text than fits: the layout stops at the last row, draws nothing
  // below it and comes back.
  MemoryPage m(60, 30);
  std::string text;
  for (int i = 0; i < 200; ++i) text += "ab ";
  m.Lay(text);
  // A word longer than the line is drawn at the left (cut at the edge).
  MemoryPage l(30, 30);
  EXPECT_EQ(l.Lay("abcdefghijklmnop q"), 2u);
  EXPECT_EQ(l.Px(0, 1), 7);
  // A picture too wide or too low for the bitmap is skipped and logged,
  // with nothing drawn; wrong numbers are logged as such.
  std::vector<std::string> log;
  DebugLogSetHook([](const char* line, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(line); },
                  &log);
  MemoryPage p(120, 40);
  EXPECT_EQ(RizizOzezBrowserLoadGfx(&p.req, S("@(#1,0,0,120,10)@(#1,0,30,10,11)@(#1,x)@(#3,0,0,5,5)").c_str()), 1);
  DebugLogSetHook(nullptr, nullptr);
  int outside = 0, wrong = 0;
  for (const auto& line : log) {
    outside += line.find("ausserhalb") != std::string::npos;
    wrong += line.find("Falsche Grafik-ID") != std::string::npos;
  }
  EXPECT_EQ(outside, 3);
  EXPECT_EQ(wrong, 1);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 120; ++x) ASSERT_EQ(p.Px(x, y), 0);
}

}  // namespace
