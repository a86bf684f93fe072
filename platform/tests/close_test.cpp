// The program's close: the request, the close signals and their handler.
#include "platform/close.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/events.h"
#include "platform/headless.h"
#include "platform/log.h"

namespace {

int QuitMessagesWaiting() {
  int quits = 0;
  PlatformMessage m;
  while (GetGameMessage(&m, 0)) quits += m.kind == kMsgQuit;
  return quits;
}

class Close : public ::testing::Test {
 protected:
  void SetUp() override {
    DebugLogSetStderr(0);
    ResetGameMessages();
    ClearProgramClose();
  }
  void TearDown() override {
    RemoveCloseSignalHandlers();
    ClearProgramClose();
    ResetGameMessages();
    DebugLogSetStderr(1);
  }
};

}  // namespace

TEST_F(Close, RequestPostsOneQuitAndHolds) {
  EXPECT_EQ(ProgramCloseRequested(), 0);
  RequestProgramClose();
  RequestProgramClose();  // the window's close twice: one quit message
  EXPECT_EQ(ProgramCloseRequested(), 1);
  EXPECT_EQ(QuitMessagesWaiting(), 1);
  ClearProgramClose();
  EXPECT_EQ(ProgramCloseRequested(), 0);
}

TEST_F(Close, TermAndIntBecomeTheCloseRequest) {
  for (int sig : {SIGTERM, SIGINT}) {
    ClearProgramClose();
    InstallCloseSignalHandlers();
    EXPECT_EQ(CloseSignalHandlersInstalled(), 1);
    ASSERT_EQ(raise(sig), 0);  // the process goes on
    // Readable at once by any thread; the window loop posts the quit.
    EXPECT_EQ(ProgramCloseRequested(), 1) << sig;
    EXPECT_EQ(QuitMessagesWaiting(), 0);
    PollCloseSignal();
    EXPECT_EQ(QuitMessagesWaiting(), 1) << sig;
    PollCloseSignal();
    EXPECT_EQ(QuitMessagesWaiting(), 0);
    RemoveCloseSignalHandlers();
    EXPECT_EQ(CloseSignalHandlersInstalled(), 0);
  }
}

TEST_F(Close, HeadlessSignalCommandNeedsTheProgramsHandler) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  HeadlessSetSyncTimeout(50);  // no game thread takes the messages here
  // Without the handler the command is refused (it would end the process).
  EXPECT_EQ(HeadlessPlayScript("signal term\n"), -1);
  EXPECT_EQ(ProgramCloseRequested(), 0);
  InstallCloseSignalHandlers();
  EXPECT_EQ(HeadlessPlayScript("signal term\nsync\n"), 2);
  EXPECT_EQ(ProgramCloseRequested(), 1);
  EXPECT_EQ(QuitMessagesWaiting(), 1);
  EXPECT_EQ(HeadlessPlayScript("quit\n"), 1);  // already asked for: no second quit
  EXPECT_EQ(QuitMessagesWaiting(), 0);
  HeadlessCloseDisplay();
  HeadlessSetSyncTimeout(0);  // the default
  EXPECT_EQ(ProgramCloseRequested(), 0);
}
