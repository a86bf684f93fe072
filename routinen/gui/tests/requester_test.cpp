// List and text boxes with their sliders: scrolling, slider steps,
// selection, new content and the text box's steps.
#include <algorithm>
#include <cstring>
#include <string>

#include "box_fixture.h"
#include "routinen/gui/requester.h"
#include "routinen/system/fonts.h"

using box_test::BoxTest;

namespace {

constexpr int32_t kX = 100, kY = 60;
constexpr uint32_t kW = 200, kH = 120;  // 10 lines of 12 pixels

std::vector<char> Numbered(uint32_t n, const char* prefix = "Eintrag") {
  std::vector<char> v((size_t)n * kRequesterLineSize, 0);
  for (uint32_t i = 0; i < n; ++i)
    std::snprintf(&v[(size_t)i * kRequesterLineSize], kRequesterLineSize, "%s %u", prefix, i);
  return v;
}

// The pen of a screen pixel.
int32_t Pen(int32_t x, int32_t y) { return ReadPixel(ScreenRastPort(), x, y); }

}  // namespace

class Requester : public BoxTest {
 protected:
  void SetUp() override {
    BoxTest::SetUp();
    font_ = OpenDiskFont("fonts\\XHelvetica11.fnt");
    ASSERT_NE(font_, nullptr);
    ASSERT_EQ(font_->YSize + 1u, 12u);
  }
  void TearDown() override {
    FreeRequesterBox(req_);
    CloseFont(font_);
    BoxTest::TearDown();
  }
  QoERequester* List(uint32_t n) {
    lines_ = Numbered(n);
    req_ = InitRequesterBox(kW, n, font_, lines_.data(), kX, kY, kW, kH, 5, 7);
    return req_;
  }
  TextFont* font_ = nullptr;
  QoERequester* req_ = nullptr;
  std::vector<char> lines_;
};

TEST_F(Requester, ListShowsAtOnceAndScrollsClampedAtBothEnds) {
  Snapshot();
  ASSERT_NE(List(30), nullptr);  // 360 pixels, 240 beyond the window
  EXPECT_EQ(req_->totalHeight, 360u);
  EXPECT_EQ(req_->selected, kNoEntry);
  EXPECT_NE(box_test::ScreenPixels(), before_);
  EXPECT_TRUE(ScrollRequester(req_, 0, 500));
  EXPECT_EQ(req_->scrollPercent, 100u);
  EXPECT_EQ(req_->pixelOffset, 240u);
  EXPECT_EQ(req_->topLine, 20u);
  EXPECT_TRUE(ScrollRequester(req_, 0, -30));
  EXPECT_EQ(req_->scrollPercent, 70u);
  EXPECT_EQ(req_->pixelOffset, 168u);
  EXPECT_TRUE(ScrollRequester(req_, 0, -500));
  EXPECT_EQ(req_->scrollPercent, 0u);
  EXPECT_EQ(req_->pixelOffset, 0u);
  // Line mode: to line 5, and past the last page.
  EXPECT_TRUE(ScrollRequester(req_, 1, 5));
  EXPECT_EQ(req_->pixelOffset, 60u);
  EXPECT_EQ(req_->topLine, 5u);
  EXPECT_EQ(req_->scrollPercent, 25u);
  EXPECT_TRUE(ScrollRequester(req_, 1, 29));
  EXPECT_EQ(req_->pixelOffset, 240u);
  EXPECT_EQ(req_->topLine, 20u);
  // Pixel mode.
  EXPECT_TRUE(ScrollRequester(req_, 2, 7));
  EXPECT_EQ(req_->pixelOffset, 7u);
  EXPECT_EQ(req_->topLine, 0u);
  EXPECT_TRUE(ScrollRequester(req_, 2, 100000));
  EXPECT_EQ(req_->pixelOffset, 240u);
  EXPECT_TRUE(ScrollRequester(req_, 2, -4));
  EXPECT_EQ(req_->pixelOffset, 0u);
}

TEST_F(Requester, ARedrawKeepsTheLineItScrolledTo) {
  ASSERT_NE(List(31), nullptr);  // 252 pixels beyond the window: percent steps of 2.52 pixels
  EXPECT_TRUE(ScrollRequester(req_, 1, 20));
  EXPECT_EQ(req_->pixelOffset, 240u);
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(ScrollRequester(req_, 0, 0));
  EXPECT_EQ(req_->pixelOffset, 240u);
  EXPECT_EQ(req_->topLine, 20u);
  // A slider step still moves by its percent.
  MoveSlider(req_, SLIDER_UP);
  EXPECT_TRUE(ScrollRequester(req_, 0, 0));
  EXPECT_EQ(req_->scrollPercent, 85u);
  EXPECT_EQ(req_->pixelOffset, 214u);
}

TEST_F(Requester, FarStepsLinesAndPixelsClampWithoutWrapping) {
  ASSERT_NE(List(30), nullptr);
  EXPECT_TRUE(ScrollRequester(req_, 1, 0x7FFFFFFF));  // x 12 would wrap in 32 bits
  EXPECT_EQ(req_->pixelOffset, 240u);
  EXPECT_EQ(req_->scrollPercent, 100u);
  EXPECT_TRUE(ScrollRequester(req_, 1, 0x15555556));  // x 12 is 8 in 32 bits
  EXPECT_EQ(req_->pixelOffset, 240u);
  // Percent steps from the far end past the int range.
  EXPECT_TRUE(ScrollRequester(req_, 0, INT32_MAX));
  EXPECT_EQ(req_->scrollPercent, 100u);
  EXPECT_EQ(req_->pixelOffset, 240u);
  EXPECT_TRUE(ScrollRequester(req_, 0, -50));
  EXPECT_TRUE(ScrollRequester(req_, 0, INT32_MIN));
  EXPECT_EQ(req_->scrollPercent, 0u);
}

TEST_F(Requester, TheWindowShowsTheContentAtTheScrollOffset) {
  ASSERT_NE(List(30), nullptr);
  ScrollRequester(req_, 2, 37);
  const BitMap* c = req_->content;
  for (int32_t y = 0; y < (int32_t)kH; y += 5)
    for (int32_t x = 0; x < (int32_t)kW; x += 3)
      ASSERT_EQ(Pen(kX + x, kY + y), c->Pixels[(size_t)(y + 37) * c->BytesPerRow + x]) << x << "," << y;
}

TEST_F(Requester, ContentThatFitsDoesNotScroll) {
  ASSERT_NE(List(4), nullptr);
  EXPECT_FALSE(ScrollRequester(req_, 0, 50));
  EXPECT_FALSE(ScrollRequester(req_, 1, 3));
  EXPECT_FALSE(ScrollRequester(req_, 2, 10));
  EXPECT_EQ(req_->pixelOffset, 0u);
  EXPECT_EQ(req_->scrollPercent, 0u);
  ASSERT_EQ(InitSlider(req_, 14, 100, 26, 22, 25, 24, 310, 60), 1);
  EXPECT_EQ(req_->sliderPercent, 100u);
  EXPECT_EQ(MoveSlider(req_, SLIDER_DOWN), 0u);
  // Below the four lines the window shows the background pen.
  EXPECT_EQ(Pen(kX + 50, kY + kH - 2), 5);
}

TEST_F(Requester, SliderStepsEndAndMouseY) {
  ASSERT_NE(List(40), nullptr);  // 480 pixels: a quarter visible
  ASSERT_EQ(InitSlider(req_, 14, 100, 26, 22, 25, 24, 310, 60), 1);
  EXPECT_EQ(req_->sliderPercent, 25u);
  EXPECT_EQ(Pen(315, 61), 26);  // knob at the top
  EXPECT_EQ(Pen(315, 90), 22);  // track below it
  EXPECT_EQ(MoveSlider(req_, SLIDER_DOWN), 10u);
  EXPECT_EQ(MoveSlider(req_, SLIDER_DOWN), 20u);
  EXPECT_EQ(MoveSlider(req_, SLIDER_UP), 10u);
  EXPECT_EQ(MoveSlider(req_, SLIDER_UP), 0u);
  EXPECT_EQ(MoveSlider(req_, SLIDER_UP), 0u);
  EXPECT_EQ(MoveSlider(req_, SLIDER_END), 100u);
  EXPECT_EQ(MoveSlider(req_, SLIDER_DOWN), 100u);
  EXPECT_EQ(Pen(315, 158), 26);  // knob at the bottom
  ScrollRequester(req_, 0, 0);
  EXPECT_EQ(req_->pixelOffset, 360u);
  // Mouse y: the knob's middle (25 pixels high) goes to it.
  EXPECT_EQ(MoveSlider(req_, 60), 0u);
  EXPECT_EQ(MoveSlider(req_, 60 + 12 + 75), 100u);
  EXPECT_EQ(MoveSlider(req_, 60 + 12 + 30), 40u);
  EXPECT_EQ(MoveSlider(req_, 5000), 100u);
  EXPECT_EQ(InitSlider(nullptr, 14, 100, 1, 2, 3, 4, 0, 0), 0);
  EXPECT_EQ(InitSlider(req_, 0, 100, 1, 2, 3, 4, 0, 0), 0);
}

TEST_F(Requester, SelectionByMouseYAndIndex) {
  ASSERT_NE(List(30), nullptr);
  EXPECT_EQ(SelectRequesterEntry(req_, 0, kY + 2 * 12 + 3, 7, 1), 2u);
  EXPECT_EQ(req_->selected, 2u);
  EXPECT_EQ(Pen(kX + 150, kY + 2 * 12 + 3), 7);  // highlighted background
  EXPECT_EQ(Pen(kX + 150, kY + 1 * 12 + 3), 5);
  // The highlighted line again returns itself.
  EXPECT_EQ(SelectRequesterEntry(req_, 0, kY + 2 * 12 + 11), 2u);
  // Outside the window: none, the selection stays.
  EXPECT_EQ(SelectRequesterEntry(req_, 0, kY - 1), kNoEntry);
  EXPECT_EQ(SelectRequesterEntry(req_, 0, kY + kH), kNoEntry);
  EXPECT_EQ(req_->selected, 2u);
  // Scrolled, the mouse y counts from the offset.
  ScrollRequester(req_, 1, 10);
  EXPECT_EQ(SelectRequesterEntry(req_, 0, kY + 1), 10u);
  ScrollRequester(req_, 1, 0);
  EXPECT_EQ(Pen(kX + 150, kY + 2 * 12 + 3), 5);  // old one drawn plain
  // Mode 1 by index; past the count none; -1 clears the highlight.
  EXPECT_EQ(SelectRequesterEntry(req_, 1, 4), 4u);
  EXPECT_EQ(SelectRequesterEntry(req_, 1, 30), kNoEntry);
  EXPECT_EQ(req_->selected, 4u);
  EXPECT_EQ(SelectRequesterEntry(req_, 1, 0xFFFF), kNoEntry);
  EXPECT_EQ(req_->selected, kNoEntry);
  EXPECT_EQ(Pen(kX + 150, kY + 4 * 12 + 3), 5);
}

TEST_F(Requester, AClickBelowTheLastEntryIsNoEntry) {
  ASSERT_NE(List(3), nullptr);
  EXPECT_EQ(SelectRequesterEntry(req_, 0, kY + 3 * 12 + 1), kNoEntry);
  EXPECT_EQ(SelectRequesterEntry(req_, 0, kY + 2 * 12 + 1), 2u);
}

TEST_F(Requester, UpdateKeepsScrollPositionAndSelection) {
  ASSERT_NE(List(30), nullptr);
  ASSERT_EQ(InitSlider(req_, 14, 100, 26, 22, 25, 24, 310, 60), 1);
  ScrollRequester(req_, 1, 8);
  SelectRequesterEntry(req_, 1, 12, 7, 1);
  auto other = Numbered(40, "Neu");
  ASSERT_EQ(UpdateRequesterText(req_, other.data(), 40), req_);
  EXPECT_EQ(req_->lines, 40u);
  EXPECT_EQ(req_->pixelOffset, 96u);
  EXPECT_EQ(req_->topLine, 8u);
  EXPECT_EQ(req_->selected, 12u);
  EXPECT_EQ(req_->sliderPercent, 25u);
  EXPECT_STREQ(req_->text + 39 * kRequesterLineSize, "Neu 39");
  // Fewer lines: the offset clamps to the new last page, the selection past
  // the count goes.
  auto few = Numbered(12, "Kurz");
  ASSERT_EQ(UpdateRequesterText(req_, few.data(), 12), req_);
  EXPECT_EQ(req_->pixelOffset, 24u);
  EXPECT_EQ(req_->selected, kNoEntry);
  auto none = Numbered(0);
  ASSERT_EQ(UpdateRequesterText(req_, nullptr, 0), req_);
  EXPECT_FALSE(ScrollRequester(req_, 0, 10));
  EXPECT_EQ(UpdateRequesterText(nullptr, nullptr, 0), nullptr);
}

TEST_F(Requester, TextBoxWrapsScrollsAndKeepsItsPlaceOnUpdate) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "Ein Satz, der umbrochen wird. ";
  req_ = InitRequesterTextBox(kW, font_, text.c_str(), kX, kY, kW, kH, 55, 7, nullptr);
  ASSERT_NE(req_, nullptr);
  EXPECT_EQ(req_->kind, REQ_TEXT);
  EXPECT_GT(req_->lines, 10u);
  EXPECT_EQ(req_->totalHeight, req_->lines * 12);
  EXPECT_TRUE(ScrollRequester(req_, 1, 3));
  EXPECT_EQ(req_->pixelOffset, 36u);
  text += text;
  ASSERT_EQ(UpdateRequesterText(req_, text.c_str(), 12345), req_);
  EXPECT_EQ(req_->pixelOffset, 36u);
  EXPECT_GT(req_->lines, 20u);
  // Text boxes have no entries to select.
  EXPECT_EQ(SelectRequesterEntry(req_, 0, kY + 2), kNoEntry);
  ASSERT_EQ(UpdateRequesterText(req_, "kurz", 0), req_);
  EXPECT_EQ(req_->lines, 1u);
  EXPECT_FALSE(ScrollRequester(req_, 0, 10));
  EXPECT_EQ(Pen(kX + kW - 2, kY + kH - 2), 55);
}

// A text box of whole lines: lines `step` pixels apart, the window cut to
// the whole lines that fit (80 pixels hold seven of 11; the rows below show
// the background), and every scroll (lines, pixels, percent steps, the
// slider's arrows and mouse, a new text) ends on a line boundary, so no line
// is ever shown in part; an arrow's step of less than a line moves a line.
TEST_F(Requester, TextBoxOfWholeLinesShowsNoLineInPart) {
  std::string text;
  for (int i = 0; i < 20; ++i) text += "Zeile " + std::to_string(i) + "\n";
  req_ = InitRequesterTextBoxLines(kW, font_, text.c_str(), kX, kY, kW, 80, 55, 7, 11);
  ASSERT_NE(req_, nullptr);
  ASSERT_EQ(InitSlider(req_, 14, 80, 26, 22, 25, 24, kX + kW + 2, kY), 1);
  EXPECT_EQ(req_->lineHeight, 11u);
  EXPECT_EQ(req_->wholeLines, 1u);
  EXPECT_GE(req_->lines, 20u);
  EXPECT_EQ(req_->totalHeight, req_->lines * 11);
  EXPECT_EQ(req_->sliderPercent, 77u * 100 / req_->totalHeight);
  // Line k's text stands 11 k rows below line 0's.
  const BitMap* c = req_->content;
  auto first_ink_row = [&](uint32_t from) {
    for (uint32_t y = from; y < c->Height; ++y)
      for (uint32_t x = 0; x < kW; ++x)
        if (c->Pixels[(size_t)y * c->BytesPerRow + x] == 7) return y;
    return c->Height;
  };
  const uint32_t top = first_ink_row(0);
  ASSERT_LT(top, 11u);
  EXPECT_EQ(first_ink_row(11), top + 11);
  EXPECT_EQ(first_ink_row(66), top + 66);
  const uint32_t last_page = req_->totalHeight - 77;
  auto whole = [&](const char* what) {
    EXPECT_EQ(req_->pixelOffset % 11, 0u) << what << ": offset " << req_->pixelOffset;
    EXPECT_LE(req_->pixelOffset, last_page) << what;
    // The rows below the seven lines show the background, whatever the
    // content holds there.
    for (int32_t y = 77; y < 80; ++y)
      for (int32_t x = 0; x < (int32_t)kW; x += 7) ASSERT_EQ(Pen(kX + x, kY + y), 55) << what << " row " << y;
  };
  whole("start");
  EXPECT_EQ(req_->pixelOffset, 0u);
  for (int32_t px : {1, 5, 6, 17, 50, 1000}) {
    ScrollRequester(req_, 2, px);
    whole("pixels");
  }
  EXPECT_EQ(req_->pixelOffset, last_page);
  for (int32_t p : {0, 3, 10, 33, 50, 51, 99, 100}) {
    ScrollRequester(req_, 0, p - (int32_t)req_->scrollPercent);
    whole("percent");
  }
  EXPECT_EQ(req_->pixelOffset, last_page);
  ScrollRequester(req_, 1, 0);
  uint32_t was = req_->pixelOffset;
  for (int i = 0; i < 20; ++i) {
    MoveSlider(req_, SLIDER_DOWN);
    ScrollRequester(req_, 0, 0);
    whole("arrow down");
    EXPECT_GE(req_->pixelOffset, std::min(was + 11, last_page)) << "step " << i;
    was = req_->pixelOffset;
  }
  EXPECT_EQ(req_->pixelOffset, last_page);
  MoveSlider(req_, SLIDER_UP);
  ScrollRequester(req_, 0, 0);
  whole("arrow up");
  EXPECT_LE(req_->pixelOffset, last_page - 11);
  for (int32_t y = kY; y < kY + 80; y += 9) {
    MoveSlider(req_, (uint32_t)y);
    ScrollRequester(req_, 0, 0);
    whole("mouse");
  }
  // A new, shorter text keeps a whole-line place.
  ScrollRequester(req_, 2, 70);
  ASSERT_EQ(UpdateRequesterText(req_, "eins\nzwei\ndrei\nvier\nfuenf\nsechs\nsieben\nacht\nneun\n", 0), req_);
  whole("update");
  // Step 0 keeps the font's line height.
  FreeRequesterBox(req_);
  req_ = InitRequesterTextBoxLines(kW, font_, "a\nb", kX, kY, kW, 80, 55, 7, 0);
  ASSERT_NE(req_, nullptr);
  EXPECT_EQ(req_->lineHeight, 12u);
  EXPECT_FALSE(ScrollRequester(req_, 0, 50));
}

namespace {
uint32_t g_hook_calls = 0;
uint32_t SevenLines(QoERequester* req, uint32_t arg) {
  ++g_hook_calls;
  EXPECT_EQ(arg, 0u);
  SetAPen(req->rp, 3);
  RectFill(req->rp, 0, 0, 9, 7 * (int32_t)req->lineHeight - 1);
  return 7;
}
}  // namespace

TEST_F(Requester, TextBoxStepsOneByOneAndADrawHook) {
  req_ = InitRequesterTextBox_Init(417, font_, "Seite", 99, 76, 417, 305, 6, 7);
  ASSERT_NE(req_, nullptr);
  EXPECT_EQ(req_->content, nullptr);
  req_->lines = 40;
  ASSERT_EQ(InitRequesterTextBox_Bitmap(req_), 1);
  EXPECT_GE(req_->content->Height, 40u * 12);
  req_->lines = 30;
  req_->totalHeight = 30 * req_->lineHeight;
  ASSERT_EQ(BlitRequesterTextBox(req_), 1);
  EXPECT_EQ(req_->sliderPercent, 305u * 100 / 360);
  EXPECT_TRUE(ScrollRequester(req_, 0, 100));
  EXPECT_EQ(req_->pixelOffset, 360u - 305);
  FreeRequesterBox(req_);
  g_hook_calls = 0;
  req_ = InitRequesterTextBox(200, font_, "x", kX, kY, kW, kH, 5, 7, SevenLines);
  ASSERT_NE(req_, nullptr);
  EXPECT_EQ(g_hook_calls, 1u);
  EXPECT_EQ(req_->lines, 7u);
  EXPECT_EQ(Pen(kX + 2, kY + 2), 3);
  EXPECT_EQ(Pen(kX + 20, kY + 2), 5);
}

namespace {
struct Marks {
  std::vector<std::pair<char, uint32_t>> calls;
  uint32_t draws = 0;
};
void OwnDraw(QoERequester* req, void* data) {
  ++static_cast<Marks*>(data)->draws;
  SetAPen(req->rp, 29);
  RectFill(req->rp, 51, 0, 53, (int32_t)req->content->Height - 1);
}
void Mark(QoERequester*, void* data, uint32_t e) { static_cast<Marks*>(data)->calls.push_back({'m', e}); }
void Unmark(QoERequester*, void* data, uint32_t e) { static_cast<Marks*>(data)->calls.push_back({'u', e}); }
}  // namespace

TEST_F(Requester, OwnDrawnListCallsItsHooks) {
  Marks m;
  lines_ = Numbered(20);
  req_ = InitOwnRequesterBox(OwnDraw, &m, 51, 20, font_, lines_.data(), kX, kY, kW, kH, 6, 7);
  ASSERT_NE(req_, nullptr);
  EXPECT_EQ(m.draws, 1u);
  EXPECT_EQ(Pen(kX + 52, kY + 5), 29);
  EXPECT_EQ(SelectOwnRequesterEntry(req_, Mark, Unmark, &m, 0, kY + 12 + 1), 1u);
  EXPECT_EQ(SelectOwnRequesterEntry(req_, Mark, Unmark, &m, 0, kY + 5 * 12 + 1), 5u);
  EXPECT_EQ(SelectOwnRequesterEntry(req_, Mark, Unmark, &m, 0, kY + 5 * 12 + 1), 5u);
  EXPECT_EQ(SelectOwnRequesterEntry(req_, Mark, Unmark, &m, 0, kY + 200), kNoEntry);
  const std::vector<std::pair<char, uint32_t>> want = {{'m', 1}, {'u', 1}, {'m', 5}};
  EXPECT_EQ(m.calls, want);
  auto other = Numbered(25);
  ASSERT_EQ(UpdateRequesterText(req_, other.data(), 25), req_);
  EXPECT_EQ(m.draws, 2u);
  EXPECT_EQ(req_->selected, 5u);
}

TEST_F(Requester, BadArgumentsGiveNullAndNullIsIgnored) {
  EXPECT_EQ(InitRequesterBox(kW, 3, font_, nullptr, kX, kY, 0, kH, 5, 7), nullptr);
  EXPECT_EQ(InitRequesterBox(kW, 0x10000, font_, nullptr, kX, kY, kW, kH, 5, 7), nullptr);
  EXPECT_EQ(InitRequesterTextBox(kW, font_, "x", kX, kY, kW, 0, 5, 7, nullptr), nullptr);
  FreeRequesterBox(nullptr);
  EXPECT_FALSE(ScrollRequester(nullptr, 0, 0));
  EXPECT_EQ(MoveSlider(nullptr, 1), 0u);
  EXPECT_EQ(SelectRequesterEntry(nullptr, 0, 0), kNoEntry);
  EXPECT_EQ(InitRequesterTextBox_Bitmap(nullptr), 0);
  EXPECT_EQ(BlitRequesterTextBox(nullptr), 0);
  // A null list of lines gives empty entries.
  req_ = InitRequesterBox(kW, 3, font_, nullptr, kX, kY, kW, kH, 5, 7);
  ASSERT_NE(req_, nullptr);
  EXPECT_EQ(req_->text[0], 0);
}
