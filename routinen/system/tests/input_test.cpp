#include "routinen/system/input.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/backend.h"
#include "platform/display.h"
#include "platform/close.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "routinen/system/sysrecords.h"
#include "platform/threads.h"

namespace {

struct Event {
  int32_t code;
  int32_t extended;
  int32_t x, y;  // GetMouseX/Y as signed (65535 -> -1)
};

struct Recorder {
  uint32_t flags = WE_TICKS;
  int stop_after_escapes = 1;
  std::vector<Event> got;
};

// Records every WaitEvent result until Escape.
int RecordGame(void* p) {
  auto* r = static_cast<Recorder*>(p);
  int escapes = 0;
  for (int guard = 0; guard < 10000; guard++) {
    int32_t code = WaitEvent(r->flags);
    r->got.push_back({code, WaitEventExtended(), static_cast<int16_t>(GetMouseX()), static_cast<int16_t>(GetMouseY())});
    if (code == WE_KEY_ESCAPE && ++escapes >= r->stop_after_escapes) break;
  }
  return 0;
}

std::vector<int32_t> Codes(const Recorder& r) {
  std::vector<int32_t> v;
  for (const auto& e : r.got) v.push_back(e.code);
  return v;
}

int g_clicks = 0;
void CountClick() { g_clicks++; }

class InputThread : public ::testing::Test {
 protected:
  void SetUp() override {
    DebugLogSetStderr(0);
    ResetInputState();
    QoESystemPtr->Display = nullptr;
    g_clicks = 0;
    SetClickSoundHook(CountClick);
  }
  void TearDown() override {
    SetClickSoundHook(nullptr);
    HeadlessCloseDisplay();
    ResetInputState();
    DebugLogSetStderr(1);
  }
};

}  // namespace

TEST_F(InputThread, KeysCharactersAndExtendedKeys) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  r.flags = WE_EXTENDED | WE_TICKS;
  const char* script =
      "key a\n"              // key down skipped, the text gives 'a'
      "text \"\xC3\xA4\"\n"  // UTF-8 a-umlaut -> Latin-1 228
      "key enter\n"
      "key kpenter\n"        // extended Enter is still 13
      "key backspace\n"
      "key tab\n"
      "key ctrl\n"           // Ctrl alone is never returned
      "key shift\n"
      "key f1\n"             // no character: skipped
      "key home\n"           // extended, but not an edit key: skipped
      "key left; key up; key right; key down; key insert; key delete\n"
      "key space\n"
      "key esc\n";
  HeadlessRunGame(script, RecordGame, &r);
  std::vector<int32_t> want = {'a', 228, 13, 13, 8, 9, 37, 38, 39, 40, 45, 46, ' ', 27};
  EXPECT_EQ(Codes(r), want);
  ASSERT_EQ(r.got.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) {
    // With flag 1 the keypad's Enter (event 3) is marked too.
    bool ext = (want[i] >= 37 && want[i] <= 40) || want[i] == 45 || want[i] == 46 || i == 3;
    EXPECT_EQ(r.got[i].extended, ext ? 1 : 0) << "event " << i;
  }
}

TEST_F(InputThread, EditKeysMarkedWithoutFlagOne) {
  // The screens wait with flag 2 only: an arrow must still differ from '%'.
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  r.flags = WE_TICKS;
  HeadlessRunGame("key left\ntext \"%\"\nkey delete\ntext \".\"\nkey kpenter\nkey esc\n", RecordGame, &r);
  EXPECT_EQ(Codes(r), (std::vector<int32_t>{37, 37, 46, 46, 13, 27}));
  std::vector<int32_t> marks;
  for (const auto& e : r.got) marks.push_back(e.extended);
  EXPECT_EQ(marks, (std::vector<int32_t>{1, 0, 1, 0, 0, 0}));
}

TEST_F(InputThread, TicksEveryHundredMsOnlyWithFlagTwo) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder with;
  with.flags = WE_TICKS;
  HeadlessRunGame("timer 0 100\nwait 1000\nkey esc\n", RecordGame, &with);
  std::vector<int32_t> want(10, WE_TICK);
  want.push_back(27);
  EXPECT_EQ(Codes(with), want);

  Recorder without;
  without.flags = 0;
  HeadlessRunGame("timer 0 100\nwait 1000\nkey x\nkey esc\n", RecordGame, &without);
  EXPECT_EQ(Codes(without), (std::vector<int32_t>{'x', 27}));
  StopEventTimer(kTimerGameTick);
}

TEST_F(InputThread, CursorTicksBlinkAndAreNotReturned) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  HeadlessRunGame("tick 1\ntick 1\ntick 0\nkey esc\n", RecordGame, &r);
  EXPECT_EQ(Codes(r), (std::vector<int32_t>{WE_TICK, 27}));
}

TEST_F(InputThread, FlagFourReturnsOneOnEmptyQueue) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  EXPECT_EQ(WaitEvent(WE_NOWAIT | WE_TICKS), WE_NOTHING);
  PostTimerMessage(kTimerGameTick);  // a tick without flag 2 is dropped
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  PostAppMessage(7);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_APP);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
}

TEST_F(InputThread, AppMessagesOncePerMessageFromAnyThread) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  HeadlessRunGame("app 1\napp 2\napp 3\nkey esc\n", RecordGame, &r);
  EXPECT_EQ(Codes(r), (std::vector<int32_t>{WE_APP, WE_APP, WE_APP, 27}));
}

TEST_F(InputThread, ButtonsMovesAndClickSound) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  Recorder r;
  const char* script =
      "move 10 20\n"
      "press left 11 21\n"
      "move 30 40\n"  // held left button: 2001
      "release left 30 40\n"
      "press right 50 60\n"
      "move 55 65\n"  // held right button: 2005
      "release right 55 65\n"
      "key esc\n";
  HeadlessRunGame(script, RecordGame, &r);
  EXPECT_EQ(Codes(r), (std::vector<int32_t>{2003, 2001, 2001, 2002, 2005, 2005, 2006, 27}));
  // Positions change on moves only.
  EXPECT_EQ(r.got[0].x, 10);
  EXPECT_EQ(r.got[1].x, 10);
  EXPECT_EQ(r.got[2].x, 30);
  EXPECT_EQ(r.got[2].y, 40);
  EXPECT_EQ(r.got[6].x, 55);
  EXPECT_EQ(g_clicks, 2);  // one per button press
}

TEST_F(InputThread, GameCoordinatesOnLargerDisplay) {
  ASSERT_EQ(HeadlessOpenDisplay(4), 1);  // 800x600: area at (80, 30)
  ASSERT_EQ(DisplayWidth(), 800u);
  Recorder r;
  const char* script =
      "move 80 30\n"     // the area's corner pixel: outside
      "move 81 31\n"     // game (1, 1)
      "move 719 509\n"   // game (639, 479): border, outside
      "move 718 508\n"   // game (638, 478)
      "move 5 5\n"       // far outside
      "key esc\n";
  HeadlessRunGame(script, RecordGame, &r);
  EXPECT_EQ(Codes(r), (std::vector<int32_t>{0, 2003, 0, 2003, 0, 27}));
  EXPECT_EQ(r.got[0].x, -1);
  EXPECT_EQ(r.got[0].y, -1);
  EXPECT_EQ(r.got[1].x, 1);
  EXPECT_EQ(r.got[1].y, 1);
  EXPECT_EQ(r.got[3].x, 638);
  EXPECT_EQ(r.got[3].y, 478);
  EXPECT_EQ(GetMouseY(), 65535);
}

TEST_F(InputThread, MapPictureKeepsDisplayCoordinates) {
  ASSERT_EQ(HeadlessOpenDisplay(4), 1);
  FillDisplayRecord();
  QoESystemPtr->Display->PicId = 3;
  Recorder r;
  HeadlessRunGame("move 5 5\nmove 790 590\nkey esc\n", RecordGame, &r);
  QoESystemPtr->Display->PicId = 0;
  EXPECT_EQ(Codes(r), (std::vector<int32_t>{2003, 2003, 27}));
  EXPECT_EQ(r.got[0].x, 5);
  EXPECT_EQ(r.got[1].x, 790);
  EXPECT_EQ(r.got[1].y, 590);
}

TEST_F(InputThread, FullSizeDisplayHasNoOutside) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);  // 640x480
  Recorder r;
  HeadlessRunGame("move 0 0\nmove 639 479\nkey esc\n", RecordGame, &r);
  EXPECT_EQ(Codes(r), (std::vector<int32_t>{2003, 2003, 27}));
  EXPECT_EQ(r.got[1].x, 639);
}

TEST_F(InputThread, MouseInRectIsStrict) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  PostMouseMessage(kMsgMouseMove, 100, 50, 0);
  ASSERT_EQ(WaitEvent(0), WE_MOUSE_MOVE);
  EXPECT_TRUE(MouseInRect(99, 101, 49, 51));
  EXPECT_FALSE(MouseInRect(100, 200, 0, 100));
  EXPECT_FALSE(MouseInRect(0, 100, 0, 100));
  EXPECT_FALSE(MouseInRect(0, 200, 50, 100));
  EXPECT_FALSE(MouseInRect(0, 200, 0, 50));
}

// The pointer's leave and the window's focus: no code of their own, the
// position stays, MouseInWindow follows them; a move over the display brings
// the pointer back, one beyond its edge takes it out.
TEST_F(InputThread, PointerLeaveAndFocusKeepThePositionAndEndMouseInWindow) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  EXPECT_EQ(MouseInWindow(), 1);
  PostMouseMessage(kMsgMouseMove, 639, 479, 0);
  ASSERT_EQ(WaitEvent(0), WE_MOUSE_MOVE);
  PostWindowMessage(kWindowPointerLeft);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  EXPECT_EQ(MouseInWindow(), 0);
  EXPECT_EQ(GetMouseX(), 639);
  EXPECT_EQ(GetMouseY(), 479);
  PostMouseMessage(kMsgMouseMove, 600, 400, 0);
  ASSERT_EQ(WaitEvent(0), WE_MOUSE_MOVE);
  EXPECT_EQ(MouseInWindow(), 1);
  PostWindowMessage(kWindowFocusLost);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  EXPECT_EQ(MouseInWindow(), 0);
  PostMouseMessage(kMsgMouseMove, 610, 410, 0);
  ASSERT_EQ(WaitEvent(0), WE_MOUSE_MOVE);
  EXPECT_EQ(MouseInWindow(), 0);  // the focus is still elsewhere
  PostWindowMessage(kWindowFocusGained);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  EXPECT_EQ(MouseInWindow(), 1);
  PostMouseMessage(kMsgMouseMove, 700, 300, kButtonLeft);  // a drag past the right edge
  ASSERT_EQ(WaitEvent(0), WE_LEFT_DOWN);
  EXPECT_EQ(MouseInWindow(), 0);
  PostWindowMessage(kWindowPointerEntered);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  EXPECT_EQ(MouseInWindow(), 1);
  PostWindowMessage(kWindowPointerLeft);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  ResetInputState();
  EXPECT_EQ(MouseInWindow(), 1);
}

TEST_F(InputThread, WindowCloseEndsEveryWait) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  PostQuitMessage();
  EXPECT_EQ(WaitEvent(0), 27);
  EXPECT_EQ(WindowCloseRequested(), 1);
  EXPECT_EQ(WaitEvent(0), 27);  // no block although the queue is empty
  EXPECT_EQ(WaitEvent(WE_NOWAIT), 27);
}

TEST_F(InputThread, CloseRequestAnswersEscapeBeforeWaitingInput) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  PostKeyMessage(kMsgKeyDown, 'A', 0, 0);
  PostMouseMessage(kMsgLeftDown, 10, 10, kButtonLeft);
  // Any thread may ask (a signal, the window thread): the next wait ends at
  // once with Escape, and what still waited is dropped.
  RequestProgramClose();
  EXPECT_EQ(WindowCloseRequested(), 1);
  EXPECT_EQ(WaitEvent(0), 27);
  EXPECT_EQ(GameMessagesWaiting(), 0);
  EXPECT_EQ(GameThreadIdle(), 1);
  EXPECT_EQ(WaitEvent(WE_TICKS), 27);
  ResetInputState();
  EXPECT_EQ(WindowCloseRequested(), 0);
  EXPECT_EQ(ProgramCloseRequested(), 0);
}

TEST_F(InputThread, CtrlKeyHeldAndCursorHook) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  PostKeyMessage(kMsgKeyDown, kKeyCtrl, 0, 0);
  EXPECT_EQ(WaitCtrlKey(), 17);
  PostKeyMessage(kMsgKeyUp, kKeyCtrl, 0, 0);
  PostAppMessage(0);
  EXPECT_EQ(WaitEvent(0), WE_APP);  // the key up was taken on the way
  EXPECT_EQ(WaitCtrlKey(), 0);

  EXPECT_EQ(LoadMouseCursor(110), 1);
  EXPECT_EQ(CurrentMouseCursor(), 110u);
  SetMouseCursorHook([](uint32_t id) -> int32_t { return id == 103; });
  EXPECT_EQ(LoadMouseCursor(110), 0);
  EXPECT_EQ(CurrentMouseCursor(), 110u);
  EXPECT_EQ(LoadMouseCursor(103), 1);
  EXPECT_EQ(CurrentMouseCursor(), 103u);
  SetMouseCursorHook(nullptr);
}

TEST_F(InputThread, AppMessagesFromSeveralThreadsEachOnce) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  auto poster = [](void*) -> int {
    for (int i = 0; i < 200; i++) PostAppMessage(static_cast<uint64_t>(i));
    return 0;
  };
  QoeThread* a = StartThread("IRC1", poster, nullptr);
  QoeThread* b = StartThread("IRC2", poster, nullptr);
  ASSERT_TRUE(a && b);
  int apps = 0;
  while (apps < 400) {
    int32_t code = WaitEvent(0);
    ASSERT_EQ(code, WE_APP);
    apps++;
  }
  JoinThread(a);
  JoinThread(b);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
}

// ---- held keys ---------------------------------------------------------------------

namespace {

// One step of a held-key case: what the keyboard sends, or a new key scope
// (a screen or a box opened or closed) on the game's side.
enum HeldOp { kPress, kRepeat, kRelease, kScope };
struct HeldStep {
  HeldOp op;
  uint32_t key;  // kKeyEnter, kKeyLeft (extended), 'A' (types 'a')
};
struct HeldCase {
  const char* name;
  std::vector<HeldStep> steps;
  std::vector<int32_t> codes;  // what WaitEvent returns over the steps
};

// Posts each step and takes what it gave at once, so a scope falls exactly
// between the messages before and after it.
std::vector<int32_t> PlayHeld(const std::vector<HeldStep>& steps) {
  std::vector<int32_t> codes;
  for (const HeldStep& s : steps) {
    const uint32_t ext = s.key == kKeyLeft || s.key == kKeyDown ? 1 : 0;
    const uint32_t ch = s.key == kKeyEnter ? 13 : s.key == kKeyEscape ? 27 : 0;
    const uint32_t text = s.key >= 'A' && s.key <= 'Z' ? s.key - 'A' + 'a' : 0;
    switch (s.op) {
      case kPress: PostKeyDown(s.key, ext, ch, text, 0); break;
      case kRepeat: PostKeyDown(s.key, ext, ch, text, 1); break;
      case kRelease: PostKeyMessage(kMsgKeyUp, s.key, ext, 0); break;
      case kScope: NewKeyScope(); break;
    }
    for (int32_t c; (c = WaitEvent(WE_NOWAIT)) != WE_NOTHING;) codes.push_back(c);
  }
  return codes;
}

}  // namespace

// A held key acts once where a screen or a box changes: its repeats act in
// the scope of its press and nowhere else, until it is pressed anew.
TEST_F(InputThread, AHeldKeyRepeatsOnlyInTheScopeOfItsPress) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  const int32_t a = 'a';
  const HeldCase cases[] = {
      {"pressed in the scope, it repeats", {{kPress, kKeyEnter}, {kRepeat, kKeyEnter}, {kRepeat, kKeyEnter}}, {13, 13, 13}},
      {"pressed before a new scope, its repeats are dropped",
       {{kPress, kKeyEnter}, {kScope, 0}, {kRepeat, kKeyEnter}, {kRepeat, kKeyEnter}},
       {13}},
      {"released and pressed anew, it repeats again",
       {{kPress, kKeyEnter}, {kScope, 0}, {kRepeat, kKeyEnter}, {kRelease, kKeyEnter}, {kPress, kKeyEnter}, {kRepeat, kKeyEnter}},
       {13, 13, 13}},
      {"held through a box's opening, dropped in the box and after it",
       {{kPress, kKeyEscape}, {kScope, 0}, {kRepeat, kKeyEscape}, {kScope, 0}, {kRepeat, kKeyEscape}},
       {27}},
      {"pressed in a box, dropped once the box closed",
       {{kScope, 0}, {kPress, kKeyEnter}, {kRepeat, kKeyEnter}, {kScope, 0}, {kRepeat, kKeyEnter}},
       {13, 13}},
      {"a repeat whose press was never taken", {{kRepeat, kKeyEnter}, {kRepeat, kKeyEscape}}, {}},
      {"a held letter types again, not past a scope",
       {{kPress, 'A'}, {kRepeat, 'A'}, {kScope, 0}, {kRepeat, 'A'}, {kRelease, 'A'}, {kPress, 'A'}, {kRepeat, 'A'}},
       {a, a, a, a}},
      {"a held arrow steps on in its scope only",
       {{kPress, kKeyLeft}, {kRepeat, kKeyLeft}, {kRepeat, kKeyLeft}, {kScope, 0}, {kRepeat, kKeyLeft}},
       {37, 37, 37}},
      {"each key by itself",
       {{kPress, kKeyEnter}, {kScope, 0}, {kPress, kKeyDown}, {kRepeat, kKeyEnter}, {kRepeat, kKeyDown}},
       {13, 40, 40}},
  };
  for (const HeldCase& c : cases) {
    ResetInputState();
    EXPECT_EQ(PlayHeld(c.steps), c.codes) << c.name;
  }
  // Forgotten by the reset: a press before it makes no repeat after it.
  ResetInputState();
  EXPECT_EQ(PlayHeld({{kPress, kKeyEnter}}), std::vector<int32_t>{13});
  ResetInputState();
  EXPECT_EQ(PlayHeld({{kRepeat, kKeyEnter}}), std::vector<int32_t>{});
}

// A box's life is a scope of its own: opened and closed.
TEST_F(InputThread, ABoxsKeyScopeEndsWithIt) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  std::vector<int32_t> codes;
  {
    KeyScope box;
    codes = PlayHeld({{kPress, kKeyEnter}, {kRepeat, kKeyEnter}});
  }
  EXPECT_EQ(codes, (std::vector<int32_t>{13, 13}));
  EXPECT_EQ(PlayHeld({{kRepeat, kKeyEnter}}), std::vector<int32_t>{});
}

// Ctrl's repeats still tell that it is held, whenever it went down.
TEST_F(InputThread, CtrlsRepeatsStillTellItIsHeld) {
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  PostKeyDown(kKeyCtrl, 0, 0, 0, 1);
  PostAppMessage(0);
  EXPECT_EQ(WaitEvent(0), WE_APP);
  EXPECT_EQ(WaitCtrlKey(), 17);
}
