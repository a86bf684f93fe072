// A save that could be done only in part is told to the player once, by the
// next screen on the skeleton (or by the caller that told him already).
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/headless.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "screens/common/screenbase.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kTold = "ScreenBaseEvent: Nur zum Teil gespeichert, dem Spieler gemeldet";

// Three files in one set (named after `name`), the second rename failing on
// the first try and on the retry: FILESET_PART.
int32_t SaveInPart(char name = 'A') {
  FileSetRenameHook([](const char*, const char* to, void*) -> int32_t { return std::strstr(to, "2.dat") ? 0 : 1; },
                    nullptr);
  FileSet* set = BeginFileSet();
  const char bytes[] = "0123456789";
  for (int i = 1; i <= 3; i++) {
    const std::string path = std::string(".\\Data\\") + name + std::to_string(i) + ".dat";
    FileSetWrite(set, path.c_str(), bytes, 10);
  }
  const int32_t done = CommitFileSet(set);
  FileSetRenameHook(nullptr, nullptr);
  return done;
}

int32_t g_done = 0, g_events = 0, g_again = 0;

class PartSave : public testing::Test {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories("Data");
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    TakePartSaveNotice();
    g_done = g_events = g_again = 0;
  }
  void TearDown() override {
    ResetPictureManagerState();
    HeadlessCloseDisplay();
    FinishCommitRecords();
  }
};

}  // namespace

TEST_F(PartSave, TheNextScreenTellsItOnce) {
  qoe_test::LogLines log;
  // The box waits for its key; the screen's loop then takes the space.
  ASSERT_EQ(HeadlessRunGame("wait 300\npng partsave.png\nkey enter\nwait 200\nkey space\nwait 200\nkey space\n",
                            [](void*) {
                              g_done = SaveInPart();
                              // The main screen's picture under the box.
                              ScreenBase base{};
                              if (!OpenScreenPicture(&base, 2, 0)) return 1;
                              WaitTransition();
                              for (int32_t event = 0; event != ' ' && !WindowCloseRequested();) {
                                ScreenBaseEvent(&base, 0, &event);
                                g_events++;
                              }
                              // A second screen: nothing more to tell.
                              for (int32_t event = 0; event != ' ' && !WindowCloseRequested();)
                                ScreenBaseEvent(&base, 0, &event);
                              g_again = TakePartSaveNotice();
                              CloseScreenBase(&base, 1);
                              return 0;
                            },
                            nullptr),
            0);
  EXPECT_EQ(g_done, FILESET_PART);
  EXPECT_EQ(log.Count(kTold), 1);
  EXPECT_EQ(g_again, 0);
  EXPECT_TRUE(qoe_test::KeepPng("partsave.png"));
}

TEST_F(PartSave, ACallerThatToldItTakesTheNotice) {
  EXPECT_EQ(SaveInPart(), FILESET_PART);
  EXPECT_EQ(TakePartSaveNotice(), 1);
  EXPECT_EQ(TakePartSaveNotice(), 0);
  EXPECT_EQ(SaveInPart('B'), FILESET_PART);
  EXPECT_EQ(SaveInPart('C'), FILESET_PART);
  EXPECT_EQ(TakePartSaveNotice(), 1);  // one word for both
}
