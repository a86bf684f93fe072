// A held key acts once where a box changes: a screen (the test's game
// thread) opens a box on a key or a click, and the keyboard's repeats of a
// key held from before never answer or type into the box, nor do the
// repeats of the key that answered it act on the screen after it; a key
// pressed in the box repeats as ever (typing).
#include <cstring>
#include <string>
#include <vector>

#include "box_fixture.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"

using box_test::BoxTest;

namespace {

constexpr int32_t kX = 168, kY = 180;

enum BoxKind { kYesNo, kInput };

struct HeldCase {
  const char* name;
  BoxKind box;
  const char* script;  // opens the box (Enter, Escape, a letter or a click), answers it, then Escape on the screen
  int32_t answer;      // yes/no: 0 yes, 1 no; input: 1 confirmed
  const char* typed;   // input: the text confirmed
  std::vector<int32_t> after;  // what the screen took after the box, before its Escape
};

class HeldKeyBoxes : public BoxTest {
 protected:
  // The screen: waits for the key or click that opens the box, opens it,
  // then takes what comes until an Escape.
  void Visit(const HeldCase& c, int32_t* answer, std::string* typed, std::vector<int32_t>* after) {
    char buf[40] = {};
    Run(c.script, [&] {
      for (int guard = 0; guard < 1000; ++guard) {
        const int32_t e = WaitEvent(0);
        if (e == 13 || e == 27 || (e >= 'a' && e <= 'z') || e == WE_LEFT_UP || WindowCloseRequested()) break;
      }
      if (c.box == kYesNo)
        *answer = static_cast<int32_t>(ChiefMessage(66, kX, kY, 0, 0, 0, 1, "Would you like to play the tutorial ?", 7));
      else
        *answer = EingabeBox(buf, sizeof buf, kX, kY, "Name des Lords:", nullptr, 0) ? 1 : 0;
      for (int guard = 0; guard < 1000; ++guard) {
        const int32_t e = WaitEvent(0);
        if (e == 27 || WindowCloseRequested()) break;
        if (e != WE_MOUSE_MOVE) after->push_back(e);
      }
    });
    *typed = buf;
  }
};

}  // namespace

TEST_F(HeldKeyBoxes, RepeatsActOnlyWhereTheirKeyWentDown) {
  const std::string fourteen(14, 'a');
  const HeldCase cases[] = {
      {"Return held over the box's opening does not answer it", kYesNo,
       "keydown enter\nwait 1000\nkeyup enter\nkey esc\nkey esc\n", 1, "", {}},
      {"Escape held over the box's opening is no 'no'", kYesNo,
       "keydown esc\nwait 1000\nkeyup esc\nkey enter\nkey esc\n", 0, "", {}},
      {"Return held in the box answers it once, the screen after it takes none of its repeats", kYesNo,
       "click left 100 100\nkeydown enter\nwait 1000\nkeyup enter\nkey esc\n", 0, "", {}},
      {"a key pressed on the screen after the box acts there", kYesNo,
       "click left 100 100\nkey esc\nkey enter\nkey esc\n", 1, "", {13}},
      {"a letter held in the field types it again and again", kInput,
       "click left 100 100\nkeydown a\nwait 1000\nkeyup a\nkey enter\nkey esc\n", 1, fourteen.c_str(), {}},
      {"a letter held from before the field types nothing into it", kInput,
       "keydown a\nwait 1000\nkeyup a\ntext \"b\"\nkey enter\nkey esc\n", 1, "b", {}},
      {"Return held over the field's opening does not confirm it", kInput,
       "keydown enter\nwait 1000\ntext \"c\"\nkeyup enter\nkey enter\nkey esc\n", 1, "c", {}},
  };
  for (const HeldCase& c : cases) {
    int32_t answer = -1;
    std::string typed;
    std::vector<int32_t> after;
    Visit(c, &answer, &typed, &after);
    EXPECT_EQ(answer, c.answer) << c.name;
    if (c.box == kInput) {
      EXPECT_EQ(typed, c.typed) << c.name;
    }
    EXPECT_EQ(after, c.after) << c.name;
  }
}
