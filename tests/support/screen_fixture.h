// The fixture of the headless screen tests: the display opened in the
// test's display mode with the input state reset, the game area's offset in
// that mode, a screen run under a script, and on tear-down every graphic
// freed, the title bar forgotten and the display closed. Header only: the
// test programs that use it link the platform and gui layers already.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/input.h"
#include "tests/support/test_support.h"

namespace qoe_test {

// The data kit's folders (pictures, layouts, sounds, movies) copied into the
// test's working folder.
inline void CopyDataKit() {
  std::filesystem::copy(BinaryDir() + "/datakit", ".",
                        std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
}

// The display part, for fixtures that have a base of their own.
class HeadlessScreen {
 protected:
  // Opens the headless display in mode; a failure is a fatal failure of the test.
  void OpenHeadlessScreen(uint32_t mode) {
    mode_ = mode;
    ASSERT_EQ(HeadlessOpenDisplay(mode), 1);
    opened_ = true;
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
  }
  void CloseHeadlessScreen() {
    if (!opened_) return;
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
    opened_ = false;
  }
  // Closed and opened again (a second visit on a fresh display).
  void ReopenHeadlessScreen() {
    CloseHeadlessScreen();
    OpenHeadlessScreen(mode_);
  }
  // A click at game point (x, y) of the 640 x 480 area.
  std::string Click(int x, int y) const { return ClickLine(x + dx_, y + dy_); }
  // Typed text, one character a line.
  static std::string Keys(const std::string& keys) {
    std::string s;
    for (char c : keys) s += std::string("text \"") + c + "\"\n";
    return s;
  }
  // A PNG name that carries the display mode.
  std::string Png(const std::string& name) const { return name + "_" + std::to_string(mode_) + ".png"; }
  // Keeps a PNG for a person to look at; it must hold a picture, not a flat field.
  static void KeepPicture(const std::string& png) {
    EXPECT_TRUE(KeepPng(png));
    EXPECT_GT(ReadFileBytes(png).size(), 20000u) << png;
  }
  // Runs screen(entry) on the game thread under the script; its result.
  int32_t RunScreen(int32_t (*screen)(int32_t), int32_t entry, const std::string& script) {
    static int32_t (*s)(int32_t);
    static int32_t e, result;
    s = screen;
    e = entry;
    result = 99;
    EXPECT_EQ(HeadlessRunGame(script.c_str(), [](void*) { return result = s(e), 0; }, nullptr), 0);
    return result;
  }
  int32_t dx_ = 0, dy_ = 0;
  uint32_t mode_ = 0;
  bool opened_ = false;
};

// A screen test run in each display mode of its parameter.
class ScreenTest : public testing::TestWithParam<uint32_t>, protected HeadlessScreen {
 protected:
  void SetUp() override { OpenHeadlessScreen(GetParam()); }
  void TearDown() override { CloseHeadlessScreen(); }
};

// The parameter's name in the test's name.
inline std::string DisplayModeName(const testing::TestParamInfo<uint32_t>& info) {
  return "Mode" + std::to_string(info.param);
}

}  // namespace qoe_test
