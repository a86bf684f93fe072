// The message box, input box, choice boxes and participant list under
// scripted input: their answers, and the screen restored after each.
#include <algorithm>
#include <atomic>
#include <cstring>

#include "box_fixture.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/census.h"
#include "routinen/gui/chiefmessage.h"
#include "platform/close.h"
#include "platform/display.h"
#include "platform/pngfile.h"
#include "routinen/gui/requester.h"
#include "tests/support/legibility.h"

using box_test::BoxTest;

namespace {

constexpr int32_t kX = 168, kY = 180;

uintptr_t Chief(uint32_t mode, uint32_t picture = 66) {
  return ChiefMessage(picture, kX, kY, 0, 0, 0, mode, "Werter Lord, a long enough text to wrap over lines.", 7);
}

// Lines of 80 bytes.
std::vector<char> Lines(std::initializer_list<const char*> texts) {
  std::vector<char> v(texts.size() * kRequesterLineSize, 0);
  size_t i = 0;
  for (const char* t : texts) std::strncpy(&v[i++ * kRequesterLineSize], t, kRequesterLineSize - 1);
  return v;
}

}  // namespace

class ChiefMessageBoxes : public BoxTest {
 protected:
  // Runs a modal box under the script and checks the restored screen.
  uintptr_t Answer(uint32_t mode, const char* script) {
    Snapshot();
    uintptr_t r = 99;
    Run(script, [&] { r = Chief(mode); });
    ExpectRestored();
    return r;
  }
};

TEST_F(ChiefMessageBoxes, OkBoxConfirmsByEnterAndLeftButtonDeclinesByEscapeAndRightButton) {
  EXPECT_EQ(Answer(0, "key enter\n"), 0u);
  EXPECT_EQ(Answer(0, "key esc\n"), 1u);
  EXPECT_EQ(Answer(0, "click left 300 290\n"), 0u);  // on OK
  EXPECT_EQ(Answer(0, "click left 200 200\n"), 0u);  // anywhere
  EXPECT_EQ(Answer(0, "click right 200 200\n"), 1u);
}

TEST_F(ChiefMessageBoxes, YesNoBoxAnswersByKeysButtonsAndTheirRectangles) {
  EXPECT_EQ(Answer(1, "key enter\n"), 0u);
  EXPECT_EQ(Answer(1, "key esc\n"), 1u);
  EXPECT_EQ(Answer(1, "click left 211 284\n"), 0u);  // yes, inner corner
  EXPECT_EQ(Answer(1, "click left 306 299\n"), 0u);  // yes, far corner
  EXPECT_EQ(Answer(1, "click left 350 283\n"), 1u);  // no
  EXPECT_EQ(Answer(1, "click left 430 299\n"), 1u);
  EXPECT_EQ(Answer(1, "click right 300 200\n"), 1u);
  // Between the buttons and in the text nothing is answered.
  EXPECT_EQ(Answer(1, "click left 320 290\nclick left 200 220\nkey enter\n"), 0u);
  EXPECT_EQ(Answer(1, "click left 431 290\nkey esc\n"), 1u);
}

// A script's escape-to must see a box that waits above the screen's
// gadgets (they cannot be chosen then): the census says so while the box
// waits, and no longer once it is answered.
TEST_F(ChiefMessageBoxes, TheCensusKnowsWhileABoxWaitsForItsAnswer) {
  static std::atomic<int32_t> seen{-1};
  WalkHooks hooks{};
  hooks.targets = [](WalkTarget*, uint32_t) -> uint32_t {
    seen = CensusMessageBoxWaits();
    return 0;
  };
  SetGadgetCensus(1);
  SetWalkHooks(&hooks);
  for (uint32_t mode : {0u, 1u}) {
    seen = -1;
    EXPECT_EQ(Answer(mode, "gadget NONE\nkey esc\n"), 1u);
    EXPECT_EQ(seen.load(), 1) << "mode " << mode;
    EXPECT_EQ(CensusMessageBoxWaits(), 0) << "mode " << mode;
  }
  SetWalkHooks(nullptr);
  SetGadgetCensus(0);
}

TEST_F(ChiefMessageBoxes, AReleaseWithoutItsPressIsNoAnswer) {
  // The button up of the click that opened the box reaches it first.
  EXPECT_EQ(Answer(1, "release left 220 290\nrelease right 0 0\nkey esc\n"), 1u);
  EXPECT_EQ(Answer(0, "release left 300 290\nkey esc\n"), 1u);
}

TEST_F(ChiefMessageBoxes, ABoxThatCannotBeShownNeverConfirms) {
  Snapshot();
  EXPECT_EQ(Chief(1, 1500), 1u);  // no such picture
  EXPECT_EQ(Chief(0, 1500), 0u);
  EXPECT_EQ(Chief(2, 1500), 0u);
  std::filesystem::remove_all("fonts");
  EXPECT_EQ(Chief(1), 1u);
  EXPECT_EQ(Chief(0), 0u);
  EXPECT_EQ(Chief(2), 0u);
  ExpectRestored();
}

TEST_F(ChiefMessageBoxes, ProgressBoxStaysOpenTakesNewTextsAndWaitsInItsLoop) {
  Snapshot();
  int32_t first = -1, second = -1;
  std::vector<uint8_t> open_screen, after_text;
  Run("key enter\nkey esc\n", [&] {
    auto* box = reinterpret_cast<ChiefMessageBox*>(Chief(2));
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->mode, 2u);
    EXPECT_EQ(box->width, 304u);
    open_screen = box_test::ScreenPixels();
    SetChiefMessageText(box, "Verbindung wird aufgebaut...");
    after_text = box_test::ScreenPixels();
    first = ChiefMessageLoop(box);
    second = ChiefMessageLoop(box);
    CloseChiefMessage(box);
  });
  EXPECT_NE(open_screen, before_);
  EXPECT_NE(after_text, open_screen);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
  ExpectRestored();
  CloseChiefMessage(nullptr);
  SetChiefMessageText(nullptr, "x");
  EXPECT_EQ(ChiefMessageLoop(nullptr), 1);
}

// ---- EingabeBox ----------------------------------------------------------------

TEST(EingabeFilter, BitsAdmitTheirCharacterClasses) {
  EXPECT_TRUE(EingabeFilterAdmits(0, 'a'));
  EXPECT_TRUE(EingabeFilterAdmits(0, ' '));
  EXPECT_TRUE(EingabeFilterAdmits(0, '!'));
  EXPECT_TRUE(EingabeFilterAdmits(0, 0xFC));  // u umlaut
  EXPECT_FALSE(EingabeFilterAdmits(0, 9));
  EXPECT_FALSE(EingabeFilterAdmits(0, 127));
  EXPECT_TRUE(EingabeFilterAdmits(4, '7'));
  EXPECT_FALSE(EingabeFilterAdmits(4, 'a'));
  EXPECT_TRUE(EingabeFilterAdmits(8, 'Z'));
  EXPECT_TRUE(EingabeFilterAdmits(8, 0xC4));
  EXPECT_FALSE(EingabeFilterAdmits(8, '1'));
  EXPECT_FALSE(EingabeFilterAdmits(8, 0xD7));  // multiplication sign
  EXPECT_TRUE(EingabeFilterAdmits(1, 'q'));
  EXPECT_TRUE(EingabeFilterAdmits(1, '0'));
  EXPECT_FALSE(EingabeFilterAdmits(1, '@'));
  EXPECT_FALSE(EingabeFilterAdmits(2, ' '));
  EXPECT_TRUE(EingabeFilterAdmits(2, '#'));
  for (char c : {'@', '-', '_', '.', 'a', '5'}) EXPECT_TRUE(EingabeFilterAdmits(17, (uint8_t)c)) << c;
  for (char c : {' ', '!', ',', '+'}) EXPECT_FALSE(EingabeFilterAdmits(17, (uint8_t)c)) << c;
  EXPECT_TRUE(EingabeFilterAdmits(16, '@'));
  EXPECT_FALSE(EingabeFilterAdmits(16, 'a'));
  for (uint32_t f : {0u, 1u, 2u, 4u, 8u, 16u, 17u}) EXPECT_TRUE(EingabeFilterAdmits(f, 8));
}

class EingabeBoxes : public BoxTest {
 protected:
  // Runs the box over a 40- or 80-byte field inside a guarded buffer.
  const char* Edit(const char* script, uint32_t size, uint32_t filter, const char* start = "",
                   const char* help = nullptr) {
    std::memset(buf_, 0x5A, sizeof buf_);
    std::strcpy(buf_, start);
    size_ = size;
    Snapshot();
    Run(script, [&] { result_ = EingabeBox(buf_, size, kX, kY, "Name des Lords:", help, filter); });
    ExpectRestored();
    const uint32_t guard = std::max<uint32_t>(size, (uint32_t)std::strlen(start) + 1);
    for (uint32_t i = guard; i < sizeof buf_; ++i) EXPECT_EQ((uint8_t)buf_[i], 0x5A) << "written past the field at " << i;
    return result_;
  }
  char buf_[128];
  uint32_t size_ = 0;
  const char* result_ = nullptr;
};

TEST_F(EingabeBoxes, FiltersKeepOnlyTheirCharacters) {
  EXPECT_EQ(Edit("text \"12ab 3\"\nkey enter\n", 40, EINGABE_DIGITS), buf_);
  EXPECT_STREQ(buf_, "123");
  EXPECT_EQ(Edit("text \"ab1 c\xC3\xA4\"\nkey enter\n", 40, EINGABE_LETTERS), buf_);
  EXPECT_STREQ(buf_, "abc\xE4");
  EXPECT_EQ(Edit("text \"lord.x@elmor-mail_1.de !\"\nkey enter\n", 80, 17), buf_);
  EXPECT_STREQ(buf_, "lord.x@elmor-mail_1.de");
  EXPECT_EQ(Edit("text \"Sir Hugo\"\nkey enter\n", 40, EINGABE_NOBLANK), buf_);
  EXPECT_STREQ(buf_, "SirHugo");
  EXPECT_EQ(Edit("text \"Sir Hugo!\"\nkey enter\n", 40, 0), buf_);
  EXPECT_STREQ(buf_, "Sir Hugo!");
}

TEST_F(EingabeBoxes, AServerFieldTakesItsPort) {
  EXPECT_EQ(Edit("text \"pop.elmor-mail.de:995 !\"\nkey enter\n", 80, kEingabeServerFilter), buf_);
  EXPECT_STREQ(buf_, "pop.elmor-mail.de:995");
  EXPECT_EQ(Edit("text \"[::1]:2525\"\nkey enter\n", 80, kEingabeServerFilter), buf_);
  EXPECT_STREQ(buf_, "[::1]:2525");
  // A mail address field still drops them.
  EXPECT_EQ(Edit("text \"a:b@c\"\nkey enter\n", 80, EINGABE_ALNUM | EINGABE_MAILCHARS), buf_);
  EXPECT_STREQ(buf_, "ab@c");
}

TEST_F(EingabeBoxes, BackspaceEditsTheStartTextAndAlwaysPasses) {
  EXPECT_EQ(Edit("key backspace\nkey backspace\ntext \"9\"\nkey enter\n", 40, EINGABE_DIGITS, "1234"), buf_);
  EXPECT_STREQ(buf_, "129");
  // Backspace on an empty field does nothing.
  EXPECT_EQ(Edit("key backspace\ntext \"x\"\nkey enter\n", 40, 0), buf_);
  EXPECT_STREQ(buf_, "x");
}

TEST_F(EingabeBoxes, AFullFieldTakesSizeLessOneCharacters) {
  // Narrow characters (3 pixels): the buffer is the limit, not the field.
  const std::string many(100, 'i');
  const std::string script = "text \"" + many + "\"\nkey enter\n";
  EXPECT_EQ(Edit(script.c_str(), 40, 0), buf_);
  EXPECT_EQ(std::string(buf_), many.substr(0, 39));
  EXPECT_EQ(Edit(script.c_str(), 80, 0), buf_);
  EXPECT_EQ(std::string(buf_), many.substr(0, 79));
  // A start text longer than the field is cut to it.
  EXPECT_EQ(Edit("key enter\n", 40, 0, many.substr(0, 60).c_str()), buf_);
  EXPECT_EQ(std::strlen(buf_), 39u);
  // A one-byte field holds nothing.
  EXPECT_EQ(Edit("text \"abc\"\nkey enter\n", 1, 0), nullptr);
}

TEST_F(EingabeBoxes, WideCharactersStopAtTheFieldWidth) {
  const std::string script = "text \"" + std::string(60, 'w') + "\"\nkey enter\n";
  EXPECT_EQ(Edit(script.c_str(), 80, 0), buf_);
  const size_t n = std::strlen(buf_);
  EXPECT_GT(n, 20u);
  EXPECT_LT(n, 40u);  // 261 pixels of 9-pixel characters
}

TEST_F(EingabeBoxes, TheKeypadEnterConfirmsToo) {
  // It comes marked extended, like the arrows.
  EXPECT_EQ(Edit("text \"ab\"\nkey kpenter\n", 40, 0), buf_);
  EXPECT_STREQ(buf_, "ab");
}

TEST_F(EingabeBoxes, ArrowsAndDeleteEditInsideTheText) {
  EXPECT_EQ(Edit("key left\nkey left\nkey delete\ntext \"X\"\nkey enter\n", 40, 0, "abcd"), buf_);
  EXPECT_STREQ(buf_, "abXd");
}

TEST_F(EingabeBoxes, EscapeCancelAndEmptyTextGiveNullAndLeaveTheBuffer) {
  EXPECT_EQ(Edit("text \"new\"\nkey esc\n", 40, 0, "old"), nullptr);
  EXPECT_STREQ(buf_, "old");
  EXPECT_EQ(Edit("text \"new\"\nclick left 420 280\n", 40, 0, "old"), nullptr);  // cancel
  EXPECT_STREQ(buf_, "old");
  EXPECT_EQ(Edit("key backspace\nkey backspace\nkey backspace\nkey enter\n", 40, 0, "old"), nullptr);
  EXPECT_STREQ(buf_, "old");
  EXPECT_EQ(Edit("text \"x\"\nclick left 200 280\n", 40, 0, "old"), buf_);  // OK
  EXPECT_STREQ(buf_, "oldx");
  EXPECT_EQ(EingabeBox(nullptr, 40, kX, kY, "p", nullptr, 0), nullptr);
  EXPECT_EQ(EingabeBox(buf_, 0, kX, kY, "p", nullptr, 0), nullptr);
}

TEST_F(EingabeBoxes, HelpButtonShowsTheHelpTextAndReturnsToTheBox) {
  EXPECT_EQ(Edit("click left 300 280\nkey enter\ntext \"a\"\nkey enter\n", 40, 0, "", "Hilfe zum Feld."), buf_);
  EXPECT_STREQ(buf_, "a");
}

// A prompt wider than the box wraps inside it: while the box stands, the
// screen outside its 304 x 119 is as before, and the prompt's two lines
// stand above the field on the box's ground.
TEST_F(EingabeBoxes, ALongPromptWrapsInsideTheBox) {
  const char* prompt = "How many buildings of this type do you wish to demolish ?";
  Snapshot();
  Run("wait 200\npng eingabe_long_prompt.png\nkey esc\n", [&] { result_ = EingabeBox(buf_, 5, kX, kY, prompt, nullptr, 0); });
  ExpectRestored();
  std::vector<uint32_t> a, b;
  uint32_t w = 0, h = 0;
  ASSERT_EQ(ReadPngRGB("eingabe_long_prompt.png", &a, &w, &h), 1);
  ASSERT_EQ(ReadPngRGB("before.png", &b, &w, &h), 1);
  int outside = 0;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const bool in = (int32_t)x >= kX && (int32_t)x < kX + 304 && (int32_t)y >= kY && (int32_t)y < kY + 119;
      if (!in && a[y * w + x] != b[y * w + x]) outside++;
    }
  EXPECT_EQ(outside, 0) << "drawn outside the box";
  // The prompt reads on the box, and its ink spans two lines.
  const qoe_test::TextInk t = qoe_test::TextContrast(a, w, kX + 8, kY + 6, kX + 295, kY + 38);
  EXPECT_GE(t.contrast, 3.0);
  int first = -1, last = -1;
  for (int y = kY + 6; y <= kY + 38; ++y)
    for (int x = kX + 8; x <= kX + 295; ++x)
      if (a[(size_t)y * w + x] == t.ink) {
        if (first < 0) first = y;
        last = y;
        break;
      }
  EXPECT_GT(last - first, 14) << "two lines";
  EXPECT_TRUE(qoe_test::KeepPng("eingabe_long_prompt.png"));
}

// ---- TextBox, InfoBox, SwitchBox -----------------------------------------------

class ChoiceBoxes : public BoxTest {};

TEST_F(ChoiceBoxes, TextBoxScrollsAndClosesByButtonOrKey) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += "Zeile " + std::to_string(i) + " des Hilfetextes.\n";
  int32_t r = -1;
  Snapshot();
  // Down gadget (repeating) at 140+333.., 90+250..; then OK.
  Run("click left 480 345\nclick left 300 370\n", [&] { r = TextBox(text.c_str()); });
  EXPECT_EQ(r, 1);
  ExpectRestored();
  Run("key enter\n", [&] { r = TextBox("short"); });
  EXPECT_EQ(r, 1);
  ExpectRestored();
  std::filesystem::remove("Data/Screendat/TextBox.dat");
  EXPECT_EQ(TextBox("x"), 0);
  ExpectRestored();
}

TEST_F(ChoiceBoxes, InfoBoxReturnsTheMarkedLineOnOk) {
  auto lines = Lines({"Lord Arn", "Lord Bek", "Lord Cem", "Lord Dor"});
  const char* layout = ".\\Data\\Screendat\\ChooseBox.dat";
  int32_t r = -2;
  Snapshot();
  // Line 2 lies at 130 + 28 + 2 x 12; OKOK at 223 + 12, 130 + 234.
  Run("click left 300 184\nclick left 260 370\n",
      [&] { r = InfoBox(layout, 223, 130, 4, "Choose a Lord:", lines.data(), "help"); });
  EXPECT_EQ(r, 2);
  ExpectRestored();
  Run("click left 300 172\nclick left 300 160\nkey enter\n",
      [&] { r = InfoBox(layout, 223, 130, 4, "Choose a Lord:", lines.data(), nullptr); });
  EXPECT_EQ(r, 0);
  ExpectRestored();
  Run("click left 300 172\nkey esc\n", [&] { r = InfoBox(layout, 223, 130, 4, "t", lines.data(), nullptr); });
  EXPECT_EQ(r, -1);
  ExpectRestored();
  Run("click left 460 370\n", [&] { r = InfoBox(layout, 223, 130, 4, "t", lines.data(), nullptr); });  // EXIT
  EXPECT_EQ(r, -1);
  // OK without a marked line, and a click below the last line, give no choice.
  Run("click left 300 300\nclick left 260 370\n", [&] { r = InfoBox(layout, 223, 130, 4, "t", lines.data(), nullptr); });
  EXPECT_GE(r, 4);
  // INFO shows the help, which closes on Enter; the box goes on.
  Run("click left 360 370\nkey enter\nclick left 300 196\nclick left 260 370\n",
      [&] { r = InfoBox(layout, 223, 130, 4, "t", lines.data(), "Hilfe"); });
  EXPECT_EQ(r, 3);
  ExpectRestored();
  EXPECT_EQ(InfoBox(".\\Data\\Screendat\\Missing.dat", 0, 0, 4, "t", lines.data(), nullptr), -1);
}

TEST_F(ChoiceBoxes, SwitchBoxReturnsTheButtonNumber) {
  auto two = Lines({"Online-Chat", "Mail-Editor"});
  uint32_t r = 99;
  // Two buttons: box 72 high at y 204; buttons at y 220 and 242.
  Snapshot();
  Run("click left 320 250\n", [&] { r = SwitchBox(2, two.data()); });
  EXPECT_EQ(r, 2u);
  ExpectRestored();
  Run("click left 320 225\n", [&] { r = SwitchBox(2, two.data()); });
  EXPECT_EQ(r, 1u);
  // A press moved off its button chooses nothing; Escape gives 0.
  Run("press left 320 225\nrelease left 320 100\nkey esc\n", [&] { r = SwitchBox(2, two.data()); });
  EXPECT_EQ(r, 0u);
  ExpectRestored();
  std::vector<const char*> names = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "zwoelf"};
  std::vector<char> twelve(12 * kRequesterLineSize, 0);
  for (size_t i = 0; i < 12; ++i) std::strcpy(&twelve[i * kRequesterLineSize], names[i]);
  // Twelve: 294 high at y 93; button 12 at 93 + 16 + 11 x 22.
  Run("click left 320 360\n", [&] { r = SwitchBox(12, twelve.data()); });
  EXPECT_EQ(r, 12u);
  Run("click left 320 110\n", [&] { r = SwitchBox(12, twelve.data()); });
  EXPECT_EQ(r, 1u);
  ExpectRestored();
  EXPECT_EQ(SwitchBox(1, two.data()), 0u);
  EXPECT_EQ(SwitchBox(13, twelve.data()), 0u);
  EXPECT_EQ(SwitchBox(2, nullptr), 0u);
  ExpectRestored();
}

namespace {
// Rows y0..y1 and columns x0..x1 of a display PNG.
std::vector<uint32_t> PngArea(const char* path, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  std::vector<uint32_t> px, out;
  uint32_t w = 0, h = 0;
  EXPECT_EQ(ReadPngRGB(path, &px, &w, &h), 1);
  for (int32_t y = y0; y <= y1 && y < (int32_t)h; ++y)
    for (int32_t x = x0; x <= x1 && x < (int32_t)w; ++x) out.push_back(px[(size_t)y * w + x]);
  return out;
}
}  // namespace

TEST_F(ChoiceBoxes, SwitchBoxKeepsLabelsInsideTheButtonsAndShowsTheWholeFrame) {
  // The frame picture alone, for its bottom edge.
  BitMap* under = SaveBackground(0, 0, 240, 300);
  ASSERT_NE(under, nullptr);
  BlitObjekt(nullptr, 207, 0, 0, 0, 0);
  ASSERT_EQ(WriteDisplayPng("frame.png"), 1);
  RestoreBackground(under, 0, 0, 240, 300);
  auto shorter = Lines({"Chat", "Mail"});
  auto longer = Lines({"A label far too long for any button of the box, to be cut", "Mail"});
  uint32_t r = 99;
  // The move goes first so the picture waits for the box to take it.
  Run("move 0 0\npng short.png\nkey esc\n", [&] { r = SwitchBox(2, shorter.data()); });
  Run("move 0 0\npng long.png\nkey esc\n", [&] { r = SwitchBox(2, longer.data()); });
  EXPECT_EQ(r, 0u);
  // Two buttons: the box is 240 x 72 at 200, 204; button 1 at x 216..423, y 220..237.
  EXPECT_EQ(PngArea("long.png", 200, 218, 215, 239), PngArea("short.png", 200, 218, 215, 239));
  EXPECT_EQ(PngArea("long.png", 424, 218, 439, 239), PngArea("short.png", 424, 218, 439, 239));
  EXPECT_NE(PngArea("long.png", 216, 220, 423, 237), PngArea("short.png", 216, 220, 423, 237));
  // The box's last rows are the frame picture's last rows.
  EXPECT_EQ(PngArea("short.png", 200, 204 + 72 - 12, 439, 204 + 71), PngArea("frame.png", 0, 300 - 12, 239, 299));
}

// ---- Participant list ------------------------------------------------------------

TEST_F(ChoiceBoxes, AfterTheCloseEveryBoxAnswersItsCancelWithoutOpening) {
  auto lines = Lines({"Lord Arn", "Lord Bek"});
  char buffer[40] = "Elmor";
  struct {
    uintptr_t ok = 9, yes = 9, progress = 9;
    int32_t loop = 9, text = 9, info = 9;
    uint32_t choice = 9;
    char* typed = nullptr;
    TeilnehmerReq* list = nullptr;
    int32_t listLoop = 9;
    std::vector<uint8_t> screen;
  } r;
  r.typed = buffer;
  Snapshot();
  Run("", [&] {
    RequestProgramClose();  // the window's close, or a signal
    r.ok = Chief(0);
    r.yes = Chief(1);
    r.progress = Chief(2);
    r.loop = ChiefMessageLoop(nullptr);
    r.typed = EingabeBox(buffer, sizeof buffer, kX, kY, "Name?", "help", 0);
    r.text = TextBox("help");
    r.info = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", 223, 130, 2, "t", lines.data(), "help");
    r.choice = SwitchBox(2, lines.data());
    r.list = TeilnehmerReq_Open(160, 47, 2, lines.data());
    r.screen = box_test::ScreenPixels();  // nothing was drawn meanwhile
  });
  EXPECT_EQ(r.ok, 1u);
  EXPECT_EQ(r.yes, 1u);  // never a yes
  EXPECT_EQ(r.progress, 0u);
  EXPECT_EQ(r.loop, 1);
  EXPECT_EQ(r.typed, nullptr);
  EXPECT_STREQ(buffer, "Elmor");
  EXPECT_EQ(r.text, 0);
  EXPECT_EQ(r.info, -1);
  EXPECT_EQ(r.choice, 0u);
  EXPECT_EQ(r.list, nullptr);
  EXPECT_TRUE(r.screen == before_);
  ExpectRestored();
}

TEST_F(ChoiceBoxes, ABoxOpenAtTheCloseAnswersItsCancel) {
  auto lines = Lines({"Lord Arn", "Lord Bek"});
  char buffer[40] = "Elmor";
  Snapshot();
  uintptr_t yes = 9;
  int32_t info = 9;
  char* typed = buffer;
  Run("click left 300 172\nquit\n", [&] {
    info = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", 223, 130, 2, "t", lines.data(), "help");
    yes = Chief(1);
    typed = EingabeBox(buffer, sizeof buffer, kX, kY, "Name?", "help", 0);
  });
  EXPECT_EQ(info, -1);  // the marked line is not taken
  EXPECT_EQ(yes, 1u);
  EXPECT_EQ(typed, nullptr);
  ExpectRestored();
}

TEST_F(ChoiceBoxes, ParticipantListSelectsChallengesAndCloses) {
  std::vector<char> names(30 * kRequesterLineSize, 0);
  for (int i = 0; i < 30; ++i) std::snprintf(&names[i * kRequesterLineSize], kRequesterLineSize, "Spieler%02d", i);
  Snapshot();
  TeilnehmerReq* t = TeilnehmerReq_Open(160, 47, 30, names.data());
  ASSERT_NE(t, nullptr);
  EXPECT_NE(box_test::ScreenPixels(), before_);
  // Name 3 at 47 + 10 + 3 x 12.
  auto move = [&](const char* script) { Run(script, [] { WaitEvent(0); }); };
  move("move 200 95\n");
  EXPECT_EQ(TeilnehmerReqLoop(t, 95), TEILNEHMER_SELECTED);
  EXPECT_EQ(t->selected, 3u);
  move("move 200 270\n");  // challenge at 160 + 10, 47 + 214
  EXPECT_EQ(TeilnehmerReqLoop(t, 268), TEILNEHMER_CHALLENGE);
  move("move 360 240\n");  // down gadget scrolls
  EXPECT_EQ(TeilnehmerReqLoop(t, 240), TEILNEHMER_OPEN);
  EXPECT_GT(t->list->scrollPercent, 0u);
  move("move 600 400\n");
  EXPECT_EQ(TeilnehmerReqLoop(t, 400), TEILNEHMER_CLOSED);
  TeilnehmerReqClose(t);
  ExpectRestored();
  EXPECT_EQ(TeilnehmerReqLoop(nullptr, 0), TEILNEHMER_CLOSED);
  TeilnehmerReqClose(nullptr);
}

// ---- 32-bit display ----------------------------------------------------------

class DeepScreenBoxes : public BoxTest {
 protected:
  uint32_t Mode() const override { return 4; }  // 800 x 600 x 32, game area centred
};

TEST_F(DeepScreenBoxes, BoxesRestoreTheScreenAtDepth32) {
  ASSERT_EQ(ScreenRastPort()->Bitmap->Depth, 32u);
  uintptr_t r = 99;
  Snapshot();
  Run("key esc\n", [&] { r = Chief(1); });
  EXPECT_EQ(r, 1u);
  ExpectRestored();
  auto lines = Lines({"a", "b", "c"});
  int32_t i = -2;
  Run("key down\nkey enter\n", [&] { i = InfoBox(".\\Data\\Screendat\\ChooseBox.dat", 223, 130, 3, "t", lines.data(), nullptr); });
  EXPECT_EQ(i, 65535);
  char buf[40] = "abc";
  const char* e = nullptr;
  Run("text \"de\"\nkey enter\n", [&] { e = EingabeBox(buf, sizeof buf, kX, kY, "p", nullptr, 0); });
  EXPECT_STREQ(e, "abcde");
  ExpectRestored();
}

// Boxes take game coordinates like every drawing call: a box at (168, 180)
// sits where the centred game area puts that point, (248, 210) on 800 x 600,
// and its buttons answer there.
TEST_F(DeepScreenBoxes, MessageBoxSitsAtItsGameCoordinatesInTheCentredArea) {
  int32_t ox = -1, oy = -1;
  GameAreaOffset(800, 600, &ox, &oy);
  ASSERT_EQ(ox, 80);
  ASSERT_EQ(oy, 30);
  uintptr_t box = Chief(2);
  ASSERT_NE(box, 0u);
  const PlatformSurface* shown = DisplayPrimarySurface();
  const BitMap* back = ScreenRastPort()->Bitmap;
  ASSERT_NE(shown, nullptr);
  // The box's 304 x 124 picture on the display at (248, 210), and the frame
  // of the screen picture just outside it unchanged.
  for (uint32_t y = 0; y < 124; y++)
    ASSERT_EQ(std::memcmp(shown->pixels + (size_t)(210 + y) * shown->pitch + 248 * 4,
                          back->Pixels + (size_t)(180 + y) * back->BytesPerRow + 168 * 4, 304 * 4), 0) << y;
  uint32_t corner_shown, corner_box;
  std::memcpy(&corner_shown, shown->pixels + (size_t)210 * shown->pitch + 248 * 4, 4);
  std::memcpy(&corner_box, shown->pixels + (size_t)180 * shown->pitch + 168 * 4, 4);
  EXPECT_NE(corner_shown, corner_box);
  CloseChiefMessage(reinterpret_cast<ChiefMessageBox*>(box));
  // Yes at display (248 + 42.., 210 + 103..), no at (248 + 182.., ...).
  uintptr_t r = 99;
  Run("click left 300 320\n", [&] { r = Chief(1); });
  EXPECT_EQ(r, 0u);
  Run("click left 440 320\n", [&] { r = Chief(1); });
  EXPECT_EQ(r, 1u);
}

// While the shown picture spans the display (the map screen), a box's game
// coordinates are moved by half the display's extra size: (168, 180) opens at
// ((800 - 640) / 2 + 168, (600 - 480) / 2 + 180). Otherwise nothing is added.
TEST_F(DeepScreenBoxes, BoxOriginFollowsTheDisplayFormulaOnlyWhileThePictureSpansTheDisplay) {
  int32_t dx = -1, dy = -1;
  BoxOrigin(&dx, &dy);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  SetDisplayGameAreaAtCorner(1);
  BoxOrigin(&dx, &dy);
  SetDisplayGameAreaAtCorner(0);
  EXPECT_EQ(dx, 80);
  EXPECT_EQ(dy, 60);
}
