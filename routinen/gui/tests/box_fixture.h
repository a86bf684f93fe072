// Shared set-up of the box and requester tests: the data kit in the working
// directory, the headless 640 x 480 x 8 display with the kit's test screen,
// and helpers to run a box on the game thread under a script.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "routinen/gui/pictures.h"
#include "platform/display.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "tests/support/test_support.h"

namespace box_test {

inline void CopyKit() {
  namespace fs = std::filesystem;
  const std::string kit = qoe_test::BinaryDir() + "/datakit";
  for (const char* d : {"Data", "Gfx", "fonts"})
    fs::copy(kit + "/" + d, d, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

// The screen's back surface, row by row (what the boxes draw into).
inline std::vector<uint8_t> ScreenPixels() {
  std::vector<uint8_t> out;
  RastPort* rp = ScreenRastPort();
  if (!rp) return out;
  const BitMap* bm = rp->Bitmap;
  const uint32_t row = bm->Width * (bm->Depth == 32 ? 4 : 1);
  for (uint32_t y = 0; y < bm->Height; ++y) {
    const uint8_t* p = bm->Pixels + (size_t)y * bm->BytesPerRow;
    out.insert(out.end(), p, p + row);
  }
  return out;
}

inline int RunGameFn(void* arg) {
  (*static_cast<std::function<int()>*>(arg))();
  return 0;
}

class BoxTest : public ::testing::Test {
 protected:
  // Row of ScreenModeTable: 640 x 480 x 8 unless a suite says otherwise.
  virtual uint32_t Mode() const { return 0; }
  void SetUp() override {
    DebugLogSetStderr(0);
    CopyKit();
    ResetInputState();
    ASSERT_EQ(HeadlessOpenDisplay(Mode()), 1);
    ASSERT_EQ(OpenElmorPic(".\\Data\\Path", 221, 0), 0);
    WaitTransition();
  }
  void TearDown() override {
    ResetPictureManagerState();
    HeadlessCloseDisplay();
    ResetInputState();
    DebugLogSetStderr(1);
  }
  // Runs body on the game thread while the script plays. The mouse moves
  // to every press and release first (button messages carry no position
  // for the input layer).
  void Run(const char* script, std::function<void()> body) {
    std::string full;
    for (const char* p = script; *p;) {
      const char* end = std::strchr(p, '\n');
      std::string line(p, end ? end : p + std::strlen(p));
      p = end ? end + 1 : p + line.size();
      for (const char* op : {"click ", "press ", "release "})
        if (line.rfind(op, 0) == 0) {
          const size_t at = line.find(' ', std::strlen(op));
          if (at != std::string::npos) full += "move" + line.substr(at) + "\n";
        }
      full += line + "\n";
    }
    std::function<int()> fn = [&] {
      body();
      return 0;
    };
    HeadlessRunGame(full.c_str(), RunGameFn, &fn);
  }
  // The screen before a box, to compare with the screen after it.
  void Snapshot() {
    before_ = ScreenPixels();
    ASSERT_EQ(WriteDisplayPng("before.png"), 1);
  }
  void ExpectRestored() {
    EXPECT_TRUE(ScreenPixels() == before_) << "the screen under the box changed";
    ASSERT_EQ(WriteDisplayPng("after.png"), 1);
    EXPECT_TRUE(qoe_test::ReadFileBytes("after.png") == qoe_test::ReadFileBytes("before.png"))
        << "the display differs after the box";
  }
  std::vector<uint8_t> before_;
};

}  // namespace box_test
