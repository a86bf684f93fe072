// Text drawing on memory bitmaps: every PrintTextOutlined flag against the
// placement rules drawn with the plain primitives, and the wrapping calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/modepage.h"
#include "routinen/gui/layout.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/textentry.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/test_support.h"
#include "routinen/gui/text.h"

namespace {

struct Canvas {
  BitMap* bm;
  RastPort rp;
  Canvas(TextFont* font, uint32_t depth = 8) {
    bm = AllocBitMap(160, 60, depth, 0, nullptr);
    InitRastPort(&rp);
    rp.Bitmap = bm;
    SetFont(&rp, font);
    SetAPen(&rp, 3);
    RectFill(&rp, 0, 0, 159, 59);
  }
  ~Canvas() { FreeBitMap(bm); }
  std::vector<uint8_t> Pixels() const { return std::vector<uint8_t>(bm->Pixels, bm->Pixels + bm->Size); }
};

class TextDraw : public testing::Test {
 protected:
  void SetUp() override {
    std::vector<uint8_t> raw = qoe_test::ReadFileBytes(qoe_test::BinaryDir() + "/datakit/fonts/XHelvetica11.fnt");
    font_ = OpenFontFromMemory(raw.data(), (uint32_t)raw.size());
    ASSERT_NE(font_, nullptr);
  }
  void TearDown() override { CloseFont(font_); }
  TextFont* font_ = nullptr;
};

// Text in draw mode 0, as the text calls draw it.
void Put(RastPort* rp, int32_t x, int32_t y, const char* s, uint32_t pen) {
  SetDrMd(rp, 0);
  SetAPen(rp, pen);
  Move(rp, x, y);
  Text(rp, s, (uint32_t)std::strlen(s));
}

// The outline: the text once a pixel above, right, below and left.
void PutOutline(RastPort* rp, int32_t x, int32_t y, const char* s, uint32_t pen) {
  Put(rp, x, y - 1, s, pen);
  Put(rp, x + 1, y, s, pen);
  Put(rp, x, y + 1, s, pen);
  Put(rp, x - 1, y, s, pen);
}

TEST_F(TextDraw, PrintTextOutlinedPlacesTextByItsFlags) {
  const char* s = "Quill";
  const int32_t x1 = 10, y1 = 8, x2 = 150, y2 = 50;
  Canvas probe(font_);
  const int32_t w = (int32_t)TextLength(&probe.rp, s, 5), h = font_->YSize, base = font_->Baseline;
  struct Case {
    uint32_t flags;
    int32_t x, y;
  } cases[] = {
      {0, x1, y1},
      {PTO_CENTRE, x1 + (x2 - x1) / 2 - w / 2, y1},
      {PTO_RIGHT, x2 - w, y1},
      {PTO_TOP, x1, y1 + base},
      {PTO_BOTTOM, x1, y2},
      {PTO_VCENTRE, x1, y1 + 1 + (y2 - y1 - h) / 2},
      {PTO_BASELINE, x1, y1 + base},
      {PTO_TOP | PTO_RAISE, x1, y1 + base - 3},
      {37, x1 + (x2 - x1) / 2 - w / 2, y1 + 1 + (y2 - y1 - h) / 2 + base},
      {PTO_RIGHT | PTO_BOTTOM | PTO_RAISE, x2 - w, y2 - 3},
  };
  for (const Case& c : cases) {
    Canvas got(font_), want(font_);
    PrintTextOutlined(&got.rp, x1, y1, x2, y2, s, 9, 7, c.flags);
    EXPECT_EQ(got.rp.DrawMode, 0);
    Put(&want.rp, c.x, c.y, s, 7);
    EXPECT_EQ(got.Pixels(), want.Pixels()) << "flags " << c.flags;
  }
}

TEST_F(TextDraw, FillShadowAndOutlineAreDrawnUnderTheText) {
  const char* s = "Elmor";
  for (uint32_t flags : std::vector<uint32_t>{PTO_FILL, PTO_SHADOW, PTO_OUTLINE, 45u, PTO_FILL | PTO_SHADOW | PTO_OUTLINE}) {
    Canvas got(font_), want(font_);
    PrintTextOutlined(&got.rp, 20, 10, 120, 40, s, 9, 7, flags | PTO_TOP);
    int32_t w = (int32_t)TextLength(&want.rp, s, 5);
    int32_t x = 20, y = 10 + font_->Baseline;
    if (flags & PTO_CENTRE) x = 20 + 50 - w / 2;
    if (flags & PTO_VCENTRE) y = 10 + 1 + (30 - font_->YSize) / 2 + ((flags & PTO_BASELINE) ? font_->Baseline : 0);
    SetDrMd(&want.rp, 0);
    if (flags & PTO_FILL) {
      SetAPen(&want.rp, 9);
      RectFill(&want.rp, 20, 10, 120, 40);
    }
    if (flags & PTO_SHADOW) Put(&want.rp, x, y + 1, s, 0);
    if (flags & PTO_OUTLINE) PutOutline(&want.rp, x, y, s, 0);
    Put(&want.rp, x, y, s, 7);
    EXPECT_EQ(got.Pixels(), want.Pixels()) << "flags " << flags;
  }
  // The outline really rings the text: pen 0 left of the first ink column.
  Canvas c(font_);
  PrintTextOutlined(&c.rp, 20, 10, 120, 40, "I", 9, 7, PTO_OUTLINE | PTO_TOP);
  int pen0 = 0;
  for (uint32_t i = 0; i < c.bm->Size; ++i) pen0 += c.bm->Pixels[i] == 0;
  EXPECT_GT(pen0, 4);
}

TEST_F(TextDraw, PrintTextOutlinedAt32BitsMatchesThePrimitives) {
  Canvas got(font_, 32), want(font_, 32);
  PrintTextOutlined(&got.rp, 5, 5, 150, 50, "Hafen", 2, 7, 45 | PTO_OUTLINE);
  SetDrMd(&want.rp, 0);
  SetAPen(&want.rp, 2);
  RectFill(&want.rp, 5, 5, 150, 50);
  int32_t w = (int32_t)TextLength(&want.rp, "Hafen", 5);
  int32_t x = 5 + 145 / 2 - w / 2, y = 5 + 1 + (45 - font_->YSize) / 2 + font_->Baseline;
  PutOutline(&want.rp, x, y, "Hafen", 0);
  Put(&want.rp, x, y, "Hafen", 7);
  EXPECT_EQ(got.Pixels(), want.Pixels());
}

TEST_F(TextDraw, WrappingCountsAndLimits) {
  Canvas c(font_);
  RastPort* rp = &c.rp;
  const uint32_t two = TextLength(rp, "one two", 7) + 2;
  EXPECT_EQ(CountWrappedLines(rp, "one two three four", 0, 0, 65535, 65535, two), 2u);  // one two|three|four
  EXPECT_EQ(CountWrappedLines(rp, "a\nb\nc", 0, 0, 65535, 65535, 1000), 2u);
  EXPECT_EQ(CountWrappedLines(rp, "a\n\nc", 0, 0, 65535, 65535, 1000), 2u);  // an empty line counts
  EXPECT_EQ(CountWrappedLines(rp, nullptr, 0, 0, 65535, 65535, 100), 0u);
  EXPECT_EQ(CountWrappedLines(rp, "", 0, 0, 65535, 65535, 100), 0u);
  EXPECT_EQ(CountWrappedLines(rp, "single", 0, 0, 65535, 65535, 100), 0u);
  EXPECT_EQ(CountWrappedLines(rp, "one two three four", 0, 0, 65535, 2, two), 1u);  // line limit
  EXPECT_EQ(CountWrappedLines(rp, "aaaa bbbb cccc", 0, 0, 8, 65535, 10000), 2u);
  EXPECT_EQ(CountWrappedLines(rp, "aaaa bbbb cccc", 0, 0, 9, 65535, 10000), 1u);  // "aaaa bbbb" fits   // character limit
  // A word longer than the line is cut where it passes the width.
  EXPECT_EQ(CountWrappedLines(rp, "abcdefghij", 0, 0, 65535, 65535, TextLength(rp, "abcde", 5)), 1u);
  // PrintTextWrapped draws what CountWrappedLines counts, in the RastPort's pen.
  SetAPen(rp, 1);
  SetDrMd(rp, 0);
  EXPECT_EQ(PrintTextWrapped(rp, "one two three four", 2, 2, 65535, 65535, two), 2u);
  // Line 2 ("three") sits one font height + 1 lower.
  Canvas want(font_);
  Put(&want.rp, 2, 2 + font_->Baseline, "one two", 1);
  Put(&want.rp, 2, 2 + (font_->YSize + 1) + font_->Baseline, "three", 1);
  Put(&want.rp, 2, 2 + 2 * (font_->YSize + 1) + font_->Baseline, "four", 1);
  EXPECT_EQ(c.Pixels(), want.Pixels());
}

TEST_F(TextDraw, PrintTextBlockBreaksAnywhere) {
  Canvas c(font_);
  RastPort* rp = &c.rp;
  EXPECT_EQ(PrintTextBlock(rp, "abcdefg", 0, 0, 3, 65535, 1000), 3u);  // abc|def|g
  EXPECT_EQ(PrintTextBlock(rp, "ab cd", 0, 0, 65535, 65535, TextLength(rp, "ab c", 4)), 2u);
  EXPECT_EQ(PrintTextBlock(rp, "a\nb", 0, 0, 65535, 65535, 1000), 2u);
  EXPECT_EQ(PrintTextBlock(rp, "abcdefg", 0, 0, 3, 2, 1000), 2u);
  EXPECT_EQ(PrintTextBlock(rp, nullptr, 0, 0, 3, 2, 1000), 0u);
}

TEST_F(TextDraw, PrintButtonTextCentresInTheFieldAndSetsDrawModeOne) {
  Canvas got(font_), want(font_);
  TextArea area{10, 10, 90, 30, 0, nullptr};
  SetAPen(&got.rp, 7);
  PrintButtonText(&got.rp, &area, "42");
  EXPECT_EQ(got.rp.DrawMode, 1);
  EXPECT_EQ(got.rp.APen, 7);
  int32_t w = (int32_t)TextLength(&want.rp, "42", 2);
  int32_t x = 10 + 40 - w / 2, y = 10 + 1 + (20 - font_->YSize) / 2 + font_->Baseline;
  SetDrMd(&want.rp, 0);
  PutOutline(&want.rp, x, y, "42", 201);
  Put(&want.rp, x, y, "42", 7);
  EXPECT_EQ(got.Pixels(), want.Pixels());
}

TEST_F(TextDraw, EveryDrawCallReportsItsWholeTextToTheWatcher) {
  Canvas c(font_);
  TextArea area{10, 10, 90, 30, 0, nullptr};
  qoe_test::DrawnTextRecorder recorder;
  PrintTextOutlined(&c.rp, 0, 0, 100, 20, "outlined", 0, 7, PTO_TOP);
  PrintTextWrapped(&c.rp, "wrapped words here", 0, 0, 65535, 65535, 40);
  PrintTextBlock(&c.rp, "a block", 0, 0, 3, 2, 1000);
  PrintButtonText(&c.rp, &area, "button");
  PrintTextCentredInBox(&c.rp, "a prompt wrapped in its box", 0, 0, 60, 40, 7);
  CountWrappedLines(&c.rp, "only counted", 0, 0, 65535, 65535, 40);
  PrintTextOutlined(&c.rp, 0, 0, 100, 20, "", 0, 7, PTO_TOP);
  // Whole, and (from the font layer) line by line.
  const std::vector<std::string> texts = recorder.Texts();
  for (const char* whole : {"outlined", "wrapped words here", "a block", "button", "a prompt wrapped in its box"})
    EXPECT_NE(std::find(texts.begin(), texts.end(), whole), texts.end()) << whole;
  EXPECT_NE(std::find(texts.begin(), texts.end(), "a b"), texts.end());
  EXPECT_FALSE(recorder.Drew("only counted"));
  EXPECT_FALSE(recorder.Drew("\n"));
}

// Every way a text reaches the player is heard by the watch: the font
// layer's Text called straight (map labels, story pages, the gods' name
// field, the statistics legend), a text typed letter by letter (anarchy,
// coronation), an input field's typed text, a native message box and the
// display-mode page. An input field's content is heard as typed.
TEST_F(TextDraw, EveryWayATextIsShownReachesTheWatch) {
  struct Case {
    const char* way;
    std::vector<std::string> heard;
    std::function<void(RastPort*)> show;
    bool typed = false;
  };
  const std::vector<Case> cases = {
      {"the font layer's Text", {"a label drawn straight"},
       [](RastPort* rp) {
         Move(rp, 2, 20);
         Text(rp, "a label drawn straight and more", 22);
       }},
      {"a text typed letter by letter", {"a", "b"},
       [](RastPort* rp) {
         for (const char* letter : {"a", "b"}) {
           Move(rp, 2, 20);
           Text(rp, letter, 1);
         }
       }},
      {"an input field", {"Haraldx"},
       [](RastPort* rp) {
         char text[41] = "Harald";
         uint8_t widths[41] = {};
         char copy[41];
         ASSERT_EQ(GetCharWidths(rp, text, copy, widths, sizeof widths), 1);
         TextCursor cursor{};
         cursor.Rp = rp;
         cursor.Pos = 6;
         EXPECT_GE(EditKey('x', text, widths, &cursor, 0, 0, 150, 40, 1, 7, 0), 0);
       },
       true},
      {"a native message box", {"A box title", "The text of a box"},
       [](RastPort*) { ShowMessageBox("A box title", "The text of a box"); }},
      {"the display-mode page", {"Display mode", "Full screen"},
       [](RastPort*) {
         ModePage page{};
         ModePageInit(&page, 0);
         std::vector<uint32_t> pixels(kModePageWidth * kModePageHeight);
         ModePageDraw(&page, pixels.data());
       }},
  };
  for (const Case& c : cases) {
    Canvas canvas(font_);
    qoe_test::DrawnTextRecorder recorder;
    c.show(&canvas.rp);
    const std::vector<std::string> texts = c.typed ? recorder.Typed() : recorder.Texts();
    for (const std::string& heard : c.heard)
      EXPECT_NE(std::find(texts.begin(), texts.end(), heard), texts.end()) << c.way << ": \"" << heard << "\"";
  }
}

TEST(DrawnTextRule, GermanWrittenPastTheCatalogIsFound) {
  // Catalog texts, whole, as filled formats or side by side, and names pass.
  EXPECT_EQ(qoe_test::GermanPastCatalog(GetCatalogStr(0)), "");
  EXPECT_EQ(qoe_test::GermanPastCatalog(std::string(GetCatalogStr(1582)) + ": 17"), "");
  EXPECT_EQ(qoe_test::GermanPastCatalog("Elmor 1024"), "");
  EXPECT_EQ(qoe_test::GermanPastCatalog(GetCatalogStr(1542)), "");
  // Letters run into digits (a name typed in a field) hold no word.
  EXPECT_EQ(qoe_test::GermanPastCatalog("Elmorak6io69s23zu7kh06"), "");
  EXPECT_NE(qoe_test::GermanPastCatalog("Elmorak6 zu 7"), "");
  // German words and letters outside the catalog do not.
  EXPECT_NE(qoe_test::GermanPastCatalog("Diese Truhe ist leer!"), "");
  EXPECT_NE(qoe_test::GermanPastCatalog("Sie haben 40 Goldst\xFC" "cke gefunden!"), "");
  EXPECT_NE(qoe_test::GermanPastCatalog("Warentyp"), "");
  EXPECT_NE(qoe_test::GermanPastCatalog("Mail schreiben"), "");
  EXPECT_NE(qoe_test::GermanPastCatalog("Die Modem-Optionen :\n"), "");
  EXPECT_NE(qoe_test::GermanPastCatalog("                Keine Kategorien vorhanden"), "");
  EXPECT_NE(qoe_test::GermanPastCatalog(std::string(GetCatalogStr(0)) + " keine"), "");
  // A catalog word does not hide a German one that holds it.
  EXPECT_NE(qoe_test::GermanPastCatalog("Kategorien"), "");
}

// German is found in any case, and a name of the data hides only itself:
// the letters of a realm are texts the player reads.
TEST(DrawnTextRule, GermanIsFoundInAnyCaseAndOnlyNamesAreTheData) {
  const std::vector<std::string> names = {"Ragnar der Rote", "Harald"};
  struct Case {
    std::string drawn;
    bool german;
  };
  const std::vector<Case> cases = {
      {"KEINE KATEGORIEN VORHANDEN", true},
      {"Eure Schiffe", true},
      {"EURE SCHIFFE", true},
      {"Konnte das Fenster nicht oeffnen.", true},
      {"InitializeDirectDraw fehlgeschlagen.", true},
      {"abwracken", true},
      {"Euer Kriegsschiff hat sich gut geschlagen.", true},
      {"Gruss aus den Bergen", true},
      {"Ragnar der Rote", false},
      {"Ragnar der Rote: Your ships", false},
      {"Harald, der Rote", true},
      {"Your ships", false},
      {"Die hard", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(qoe_test::GermanPastCatalog(c.drawn, names) != "", c.german) << "\"" << c.drawn << "\"";
}

}  // namespace
