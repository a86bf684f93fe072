// The typed number entry: the parse rule, and typing into a box of a layout
// on the headless display (digits, a minus sign, input longer than the
// buffer, Enter on an empty box, the caller's bounds).
#include "screens/common/numberentry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/input.h"
#include "screens/common/screenbase.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(TypedNumber, ParseRule) {
  struct {
    const char* text;
    int32_t value;
  } const kCases[] = {
      {"", 0},          {"0", 0},   {"42", 42},      {"-5", 0},        {"-", 0},
      {"4-2", 4},       {"007", 7}, {"2147483647", 2147483647}, {"9999999999", 2147483647},
      {"99999999999999999999", 2147483647},
  };
  for (const auto& c : kCases) EXPECT_EQ(ParseTypedNumber(c.text), c.value) << c.text;
  EXPECT_EQ(BoundTypedNumber(500, 0, 300), 300);
  EXPECT_EQ(BoundTypedNumber(0, 10, 300), 10);
  EXPECT_EQ(BoundTypedNumber(42, 10, 300), 42);
}

struct EntryRun {
  int32_t start;
  int32_t result;
};

int EnterNumber(void* arg) {
  auto* run = static_cast<EntryRun*>(arg);
  ScreenBase base;
  if (!OpenScreenPicture(&base, 2, 0) || !OpenScreenFont(&base, "fonts\\ElmorC1.fnt")) return -1;
  WaitTransition();
  Gadget box{};
  box.x1 = 200;
  box.y1 = 200;
  box.x2 = 399;
  box.y2 = 214;
  std::memcpy(box.id, "BOX1", 4);
  run->result = TypedNumberEntry(nullptr, &box, run->start, 7, 0);
  CloseScreenBase(&base, 0);
  return 0;
}

class TypedNumberEntryRun : public testing::Test {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
  }
  void TearDown() override {
    ResetPictureManagerState();
    ResetTextState();
    HeadlessCloseDisplay();
  }
  int32_t Type(int32_t start, const std::string& keys) {
    EntryRun run{start, -7};
    EXPECT_EQ(HeadlessRunGame((keys + "key enter\n").c_str(), EnterNumber, &run), 0);
    return run.result;
  }
};

TEST_F(TypedNumberEntryRun, KeysIntoTheBox) {
  // The start value is shown and edited at its end.
  EXPECT_EQ(Type(12, "text \"34\"\n"), 1234);
  // Backspace over the whole value, then a new one; letters are not taken.
  EXPECT_EQ(Type(77, "key backspace\nkey backspace\ntext \"5x0\"\n"), 50);
  // A minus sign makes a negative number: 0.
  EXPECT_EQ(Type(0, "key backspace\ntext \"-25\"\n"), 0);
  // Enter on an empty box.
  EXPECT_EQ(Type(9, "key backspace\n"), 0);
  // Longer than the buffer: the rest is dropped.
  EXPECT_EQ(Type(0, "key backspace\ntext \"123456789012345\"\n"), 1234567890);
  EXPECT_EQ(Type(0, "key backspace\ntext \"1234567\"\n"), 1234567);
  // Escape keeps the value; the caller's bounds then apply.
  EntryRun run{40, -7};
  EXPECT_EQ(HeadlessRunGame("text \"9\"\nkey esc\n", EnterNumber, &run), 0);
  EXPECT_EQ(run.result, 40);
  EXPECT_EQ(BoundTypedNumber(Type(0, "key backspace\ntext \"900\"\n"), 0, 300), 300);
}

}  // namespace
