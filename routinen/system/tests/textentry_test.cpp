#include "routinen/system/textentry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/events.h"
#include "platform/threads.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "platform/headless.h"
#include "routinen/system/input.h"
#include "platform/log.h"
#include "routinen/system/sysrecords.h"

namespace {

// A font of 6-pixel characters (8 rows, baseline 6) without glyph pixels,
// except 'W', which is 10 wide.
struct TestFont {
  TextFont font{};
  std::vector<TextGlyph> glyphs;
  TestFont() {
    font.LoChar = 32;
    font.HiChar = 255;
    font.YSize = 8;
    font.Baseline = 6;
    glyphs.resize(224);
    for (auto& g : glyphs) g = TextGlyph{6, 0, 0, 0, 0};
    glyphs['W' - 32].Width = 10;
    font.Glyphs = glyphs.data();
  }
};

class TextEntry : public ::testing::Test {
 protected:
  TestFont tf;
  BitMap* bm = nullptr;
  RastPort rp{};
  TextCursor* cur = nullptr;
  char text[64];
  uint8_t widths[64];

  void SetUp() override {
    DebugLogSetStderr(0);
    ResetGameMessages();
    ResetInputState();
    bm = AllocBitMap(320, 100, 8, 0, nullptr);
    ASSERT_NE(bm, nullptr);
    InitRastPort(&rp);
    rp.Bitmap = bm;
    SetFont(&rp, &tf.font);
    std::memset(text, 0x55, sizeof text);  // canaries beyond the buffer's end
    std::memset(widths, 0x55, sizeof widths);
    ASSERT_EQ(GetCharWidths(&rp, "", text, widths, 1), 1);
    cur = SetTextCursor(10, 10, 8, 2, 9, &rp);
  }
  void TearDown() override {
    StopTextCursor(cur);
    FreeBitMap(bm);
    ResetGameMessages();
    DebugLogSetStderr(1);
  }
  // Keys into a box at (10, 10), width pixels wide.
  void Type(const char* keys, uint32_t width, uint32_t max_len, uint32_t lines) {
    for (const char* p = keys; *p; p++)
      EditKey(static_cast<unsigned char>(*p), text, widths, cur, 10, 10, width, max_len, lines, 7, 0);
  }
  int32_t Key(int32_t k, uint32_t width, uint32_t max_len, uint32_t lines) {
    return EditKey(k, text, widths, cur, 10, 10, width, max_len, lines, 7, 0);
  }
};

}  // namespace

TEST_F(TextEntry, InsertOverwriteAndArrowsOnOneLine) {
  Type("abc", 200, 20, 1);
  EXPECT_STREQ(text, "abc");
  EXPECT_EQ(Key(EK_LEFT, 200, 20, 1), 2);
  EXPECT_EQ(Key(EK_LEFT, 200, 20, 1), 1);
  Type("X", 200, 20, 1);
  EXPECT_STREQ(text, "aXbc");
  EXPECT_EQ(cur->Pos, 2u);
  Key(EK_INSERT, 200, 20, 1);  // overwrite mode
  Type("YZ", 200, 20, 1);
  EXPECT_STREQ(text, "aXYZ");
  Type("!", 200, 20, 1);  // at the end overwrite appends
  EXPECT_STREQ(text, "aXYZ!");
  Key(EK_INSERT, 200, 20, 1);
  EXPECT_EQ(cur->Overwrite, 0u);
  // Widths follow the text.
  for (int i = 0; i < 5; i++) EXPECT_EQ(widths[i], 6) << i;
  EXPECT_EQ(widths[5], 0);
  // Enter does nothing in a one-line box.
  Key(EK_ENTER, 200, 20, 1);
  EXPECT_STREQ(text, "aXYZ!");
  // The cursor stands behind the edit position.
  EXPECT_EQ(cur->X, 10 + 5 * 6);
}

TEST_F(TextEntry, BackspaceAndDeleteAtTheEdges) {
  Type("ab", 200, 20, 1);
  Key(EK_DELETE, 200, 20, 1);  // at the end: nothing
  EXPECT_STREQ(text, "ab");
  Key(EK_LEFT, 200, 20, 1);
  Key(EK_LEFT, 200, 20, 1);
  EXPECT_EQ(Key(EK_BACKSPACE, 200, 20, 1), 0);  // at the start: nothing
  EXPECT_STREQ(text, "ab");
  EXPECT_EQ(Key(EK_LEFT, 200, 20, 1), 0);
  Key(EK_DELETE, 200, 20, 1);
  EXPECT_STREQ(text, "b");
  Key(EK_RIGHT, 200, 20, 1);
  Key(EK_RIGHT, 200, 20, 1);
  EXPECT_EQ(cur->Pos, 1u);
  Key(EK_BACKSPACE, 200, 20, 1);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(Key(EK_BACKSPACE, 200, 20, 1), 0);
}

TEST_F(TextEntry, FullBufferNeverOverflows) {
  Type("abcdefghijklmnop", 300, 5, 1);
  EXPECT_STREQ(text, "abcde");
  EXPECT_EQ(static_cast<unsigned char>(text[6]), 0x55);  // untouched beyond max_len + 1
  EXPECT_EQ(widths[6], 0x55);
  Key(EK_LEFT, 300, 5, 1);
  Type("Z", 300, 5, 1);  // insert into a full buffer: refused
  EXPECT_STREQ(text, "abcde");
  Key(EK_INSERT, 300, 5, 1);
  Type("Z", 300, 5, 1);  // overwriting needs no room
  EXPECT_STREQ(text, "abcdZ");
  // A multi-line box with a full buffer refuses line breaks too.
  Key(EK_ENTER, 300, 5, 3);
  EXPECT_STREQ(text, "abcdZ");
  // A text longer than max_len is cut, not read past.
  std::strcpy(text, "0123456789");
  GetCharWidths(&rp, text, text, widths, 64);
  Key(EK_RIGHT, 300, 4, 1);
  EXPECT_STREQ(text, "0123");
}

TEST_F(TextEntry, OneLineBoxTakesWhatFitsItsWidth) {
  Type("abcdefgh", 30, 20, 1);  // five 6-pixel characters in 30 pixels
  EXPECT_STREQ(text, "abcde");
  Key(EK_BACKSPACE, 30, 20, 1);
  Type("W", 30, 20, 1);  // 24 + 10 > 30
  EXPECT_STREQ(text, "abcd");
}

TEST_F(TextEntry, WordWrapInMultiLineBox) {
  // 36 pixels: six characters a line.
  Type("hello world foo", 36, 40, 3);
  EXPECT_STREQ(text, "hello world foo");
  uint32_t lines = 0;
  EXPECT_EQ(TextPixelWidthLines(text, widths, 36, &lines), 18u);
  EXPECT_EQ(lines, 3u);
  EXPECT_EQ(cur->Line, 2u);
  EXPECT_EQ(cur->Column, 3u);
  EXPECT_EQ(cur->Y, 10 + 2 * 9);  // line height: font height + 1
  // A fourth line does not fit: "foo bar" would wrap "bar" onto it.
  Type(" bar", 36, 40, 3);
  EXPECT_STREQ(text, "hello world foo ba");
  // A word longer than the line breaks inside it.
  std::memset(text, 0, sizeof text);
  SetTextCursorPos(cur, 0);
  Type("abcdefghij", 36, 40, 3);
  EXPECT_EQ(TextPixelWidthLines(text, widths, 36, &lines), 24u);
  EXPECT_EQ(lines, 2u);
  EXPECT_EQ(TextPixelWidth(text, widths, 0), 60u);  // no wrap
}

TEST_F(TextEntry, EnterAndLinesInMultiLineBox) {
  Type("ab", 60, 40, 3);
  Key(EK_ENTER, 60, 40, 3);
  Type("cd", 60, 40, 3);
  Key(EK_LINEFEED, 60, 40, 3);
  Type("e", 60, 40, 3);
  EXPECT_STREQ(text, "ab\ncd\ne");
  Key(EK_ENTER, 60, 40, 3);  // a fourth line: refused
  EXPECT_STREQ(text, "ab\ncd\ne");
  // Up keeps the pixel column, down goes back.
  EXPECT_EQ(Key(EK_UP, 60, 40, 3), 4);  // 'd' column 1 -> "cd" position 4
  EXPECT_EQ(cur->Line, 1u);
  EXPECT_EQ(Key(EK_UP, 60, 40, 3), 1);
  EXPECT_EQ(Key(EK_UP, 60, 40, 3), 1);  // top line: stays
  EXPECT_EQ(Key(EK_DOWN, 60, 40, 3), 4);
  EXPECT_EQ(Key(EK_DOWN, 60, 40, 3), 7);  // "e" is shorter: its end
  // Backspace over a line break joins the lines.
  Key(EK_LEFT, 60, 40, 3);
  Key(EK_BACKSPACE, 60, 40, 3);
  EXPECT_STREQ(text, "ab\ncde");
}

TEST_F(TextEntry, CursorDrawsBlinksAndRestores) {
  // The cursor from SetUp stands at (10, 10), 2 x 8, pen 9.
  EXPECT_EQ(EventTimerRunning(kTimerCursor), 1);
  EXPECT_EQ(ReadPixel(&rp, 10, 10), 9);
  EXPECT_EQ(ReadPixel(&rp, 11, 17), 9);
  EXPECT_EQ(ReadPixel(&rp, 12, 10), 0);
  PostTimerMessage(kTimerCursor);  // a blink: hidden
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  EXPECT_EQ(ReadPixel(&rp, 10, 10), 0);
  PostTimerMessage(kTimerCursor);  // and shown again
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  EXPECT_EQ(ReadPixel(&rp, 10, 10), 9);
  // Moving it restores the old place.
  SetAPen(&rp, 3);
  RectFill(&rp, 50, 50, 60, 60);
  cur = SetTextCursor(50, 50, 4, 4, 9, &rp);
  EXPECT_EQ(ReadPixel(&rp, 10, 10), 0);
  EXPECT_EQ(ReadPixel(&rp, 50, 50), 9);
  // Five zeros only hide it; blinks no longer show it.
  SetTextCursor(0, 0, 0, 0, 0);
  EXPECT_EQ(ReadPixel(&rp, 50, 50), 3);
  PostTimerMessage(kTimerCursor);
  WaitEvent(WE_NOWAIT);
  EXPECT_EQ(ReadPixel(&rp, 50, 50), 3);
  cur = SetTextCursor(50, 50, 4, 4, 9, &rp);
  StopTextCursor(cur);
  EXPECT_EQ(ReadPixel(&rp, 50, 50), 3);
  EXPECT_EQ(EventTimerRunning(kTimerCursor), 0);
  EXPECT_EQ(cur->Active, 0u);
}

TEST_F(TextEntry, CharWidthTables) {
  char copy[8];
  uint8_t w[8];
  EXPECT_EQ(GetCharWidths(&rp, "aWb", copy, w, 8), 1);
  EXPECT_STREQ(copy, "aWb");
  EXPECT_EQ(w[0], 6);
  EXPECT_EQ(w[1], 10);
  EXPECT_EQ(w[2], 6);
  EXPECT_EQ(TextPixelWidth(copy, w, 0), 22u);
  EXPECT_EQ(GetCharWidths(&rp, "0123456789", copy, w, 8), 1);  // cut to the table
  EXPECT_STREQ(copy, "0123456");
  EXPECT_EQ(GetCharWidths(&rp, nullptr, copy, w, 8), 1);
  EXPECT_EQ(copy[0], 0);
  EXPECT_EQ(w[7], 0);
  EXPECT_EQ(GetCharWidths(&rp, "x", nullptr, w, 8), 0);
  EXPECT_EQ(GetCharWidths(&rp, "x", copy, nullptr, 8), 0);
  EXPECT_EQ(EditKey('a', nullptr, w, cur, 0, 0, 10, 5, 1, 7, 0), -1);
}

// ---- Typed from the headless script -----------------------------------------

namespace {

struct Typing {
  TextFont* font;
  char text[41];
  uint8_t widths[41];
  // The mail editor's way: WaitEvent(2) and every key 1..255 handed to
  // EditKey as it came (else flags 3 and the caller adds the 256).
  bool raw = false;
};

// A one-line entry of 40 characters on the screen until Enter.
int TypingGame(void* p) {
  auto* t = static_cast<Typing*>(p);
  RastPort* rp = QoESystemPtr->Display->ScreenRastPort;
  SetFont(rp, t->font);
  GetCharWidths(rp, nullptr, t->text, t->widths, sizeof t->text);
  TextCursor* c = SetTextCursor(100, 100, 8, 2, 7);
  for (;;) {
    int32_t k = WaitEvent(t->raw ? WE_TICKS : WE_EXTENDED | WE_TICKS);
    if (k == WE_KEY_ENTER || k == WE_KEY_ESCAPE) break;
    if (!t->raw && WaitEventExtended()) k += 256;
    if (k > 0 && k < 512) EditKey(k, t->text, t->widths, c, 100, 100, 400, 39, 1, 7, 22);
  }
  StopTextCursor(c);
  return 0;
}

class TextEntryThread : public ::testing::Test {
 protected:
  void SetUp() override { DebugLogSetStderr(0); }
  void TearDown() override {
    CloseScreenRastPort();
    HeadlessCloseDisplay();
    ResetInputState();
    DebugLogSetStderr(1);
  }
};

}  // namespace

TEST_F(TextEntryThread, Utf8TextBecomesLatin1AndArrowsEdit) {
  ASSERT_EQ(HeadlessOpenDisplay(4), 1);
  FillDisplayRecord();
  ASSERT_EQ(OpenScreenRastPort(), 1);
  TestFont tf;
  Typing t{&tf.font, {}, {}};
  const char* script =
      "text \"Gr\xC3\xBC\xC3\x9F" "e\"\n"  // "Grüße"
      "key left\n"
      "key backspace\n"                     // removes the sharp s
      "text \"ss\"\n"
      "timer 1 400\nwait 1200\n"            // the cursor blinks meanwhile
      "key delete\n"                        // the e
      "text \"\xE2\x82\xAC!\"\n"            // the euro sign is not Latin-1: skipped
      "key enter\n";
  HeadlessRunGame(script, TypingGame, &t);
  EXPECT_STREQ(t.text, "Gr\xFCss!");
  EXPECT_EQ(EventTimerRunning(kTimerCursor), 0);
}

// On the screen's bitmap the cursor and the edited box are drawn under the
// display mutex, as every drawing there: in OpenGL mode the window thread
// copies the changed rectangles out of that bitmap while the game draws.
TEST_F(TextEntryThread, OnTheScreenTheCursorAndTheBoxAreDrawnUnderTheDisplayMutex) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  FillDisplayRecord();
  ASSERT_EQ(OpenScreenRastPort(), 1);
  RastPort* rp = QoESystemPtr->Display->ScreenRastPort;
  ASSERT_NE(rp, nullptr);
  TestFont tf;
  SetFont(rp, &tf.font);
  static std::vector<int> held;  // the display mutex's count at each changed rectangle
  held.clear();
  DisplaySetRenderer(1);
  SetDisplayDirtyHook([](int32_t, int32_t, int32_t, int32_t) { held.push_back(MutexHeldCount(DisplayMutex())); });
  char text[16];
  uint8_t widths[16];
  ASSERT_EQ(GetCharWidths(rp, "", text, widths, sizeof text), 1);
  TextCursor* c = SetTextCursor(10, 10, 8, 2, 9, rp);  // drawn
  EditKey('a', text, widths, c, 10, 10, 100, 15, 1, 7, 0);  // the box drawn again, the cursor moved
  PostTimerMessage(kTimerCursor);  // a blink hides it
  WaitEvent(WE_NOWAIT);
  StopTextCursor(c);
  SetDisplayDirtyHook(nullptr);
  DisplaySetRenderer(0);
  rp->Font = nullptr;
  ASSERT_GE(held.size(), 4u);
  for (size_t i = 0; i < held.size(); ++i) EXPECT_GT(held[i], 0) << "rectangle " << i;
  EXPECT_EQ(MutexHeldCount(DisplayMutex()), 0);
}

TEST_F(TextEntryThread, RawKeysFromPlainWaitKeepArrowsApartFromCharacters) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  FillDisplayRecord();
  ASSERT_EQ(OpenScreenRastPort(), 1);
  TestFont tf;
  Typing t{&tf.font, {}, {}, true};
  const char* script =
      "text \"ab%\"\n"
      "key left\nkey left\n"   // between a and b
      "text \"(.\"\n"          // the characters of the up and delete codes
      "key delete\n"            // the b
      "key insert\n"            // overwrite mode
      "text \"-\"\n"           // over the %
      "key enter\n";
  HeadlessRunGame(script, TypingGame, &t);
  EXPECT_STREQ(t.text, "a(.-");
}
