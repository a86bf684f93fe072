// The screen transition on a headless script's virtual clock: what a PNG
// shows depends on the script's time only, the same on every run.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/pngfile.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/input.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kTestPic = 221;  // the kit's test screen (docs/pictures.md)

// Opens the kit's test picture (its transition starts) and waits for a key;
// then lets the transition end and keeps the finished screen as done.png.
int ShowPicture(void*) {
  if (OpenElmorPic(".\\Data\\Path", kTestPic, 0) != 0) return -1;
  PlatformMessage m;
  while (GetGameMessage(&m, -1) && m.kind != kMsgQuit && m.kind != kMsgKeyDown) {
  }
  WaitTransition();
  const int ok = WriteDisplayPng("done.png");
  CloseElmorPic(kTestPic, 0);
  return ok ? 0 : -1;
}

struct Shot {
  std::vector<uint32_t> px;
  uint32_t w = 0, h = 0;
  int32_t dx = 0, dy = 0;
  explicit Shot(const std::string& path) {
    EXPECT_EQ(ReadPngRGB(path.c_str(), &px, &w, &h), 1) << path;
    GameAreaOffset(w, h, &dx, &dy);
  }
  uint32_t At(int x, int y) const { return px[(size_t)(y + dy) * w + (x + dx)]; }
};

// Plays the script on a fresh 800x600 display in a fresh folder dir (with
// the kit's data); the bytes of its shots at 0, 30 and 130 ms and done.png.
std::vector<std::vector<uint8_t>> PlayScript(const char* dir) {
  fs::create_directory(dir);
  fs::copy(qoe_test::BinaryDir() + "/datakit", dir, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  fs::current_path(dir);
  ResetInputState();
  EXPECT_EQ(HeadlessOpenDisplay(4), 1);
  const char* script =
      "png transition_0ms.png\nwait 30\npng transition_30ms.png\n"
      "wait 100\npng transition_130ms.png\nkey esc\n";
  EXPECT_EQ(HeadlessRunGame(script, ShowPicture, nullptr), 0);
  FreeAllElmorGfx();
  HeadlessCloseDisplay();
  std::vector<std::vector<uint8_t>> out;
  for (const char* png : {"transition_0ms.png", "transition_30ms.png", "transition_130ms.png", "done.png"})
    out.push_back(qoe_test::ReadFileBytes(png));
  fs::current_path("..");
  return out;
}

TEST(GuiTransitionThread, FollowsTheVirtualClockOfAHeadlessScript) {
  const auto first = PlayScript("a");
  const auto second = PlayScript("b");
  for (size_t i = 0; i < first.size(); i++) {
    ASSERT_GT(first[i].size(), 1000u) << i;
    EXPECT_EQ(first[i], second[i]) << "shot " << i << " differs between two runs";
  }
  // After 130 ms of script time the transition (8 passes, 12 ms apart) is
  // over: the finished picture.
  EXPECT_EQ(first[2], first[3]);
  EXPECT_TRUE(qoe_test::KeepPng("a/transition_30ms.png"));
  // At 0 ms the first slice of every 40-row band is shown, at 30 ms the
  // first three (passes at 0, 12 and 24 ms); the rest is still black.
  const Shot done("a/done.png");
  for (const auto& [png, rows] :
       {std::pair<const char*, int>{"a/transition_0ms.png", 5}, {"a/transition_30ms.png", 15}}) {
    const Shot s(png);
    size_t wrong = 0, hidden_picture = 0;
    for (int y = 0; y < 480; y++)
      for (int x = 0; x < 640; x++) {
        const bool shown = y % 40 < rows;
        if (shown ? s.At(x, y) != done.At(x, y) : s.At(x, y) != 0) ++wrong;
        if (!shown && done.At(x, y) != 0) ++hidden_picture;
      }
    EXPECT_EQ(wrong, 0u) << png;
    EXPECT_GT(hidden_picture, 10000u) << png;  // the picture is not black there
  }
}

}  // namespace
