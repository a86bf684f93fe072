// A headless test screen on the data kit's picture and layout: gadgets,
// hover images, background saves, blits and the picture manager's results,
// in the 8-bit and the 32-bit display modes.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "routinen/gui/ilbm.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/layout_internal.h"
#include "routinen/gui/pictures.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/headless.h"
#include "platform/threads.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "routinen/gui/text.h"

namespace fs = std::filesystem;

namespace {

const char kPath[] = ".\\Data\\Path";
const char kLayout[] = ".\\Data\\Screendat\\TestScreen.dat";
constexpr uint32_t kTestPic = 221;

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb& o) const { return r == o.r && g == o.g && b == o.b; }
};

// A decoded kit picture for expected pixels.
struct KitPicture {
  IlbmPicture pic{};
  explicit KitPicture(uint32_t id) {
    char name[64];
    std::snprintf(name, sizeof name, "Gfx/Pic%04u.ilbm", id);
    std::vector<uint8_t> raw = qoe_test::ReadFileBytes(name);
    ok = !raw.empty() && DecodeIlbm(raw.data(), (uint32_t)raw.size(), &pic) == 1;
  }
  ~KitPicture() { FreeIlbm(&pic); }
  Rgb At(uint32_t x, uint32_t y) const {
    const uint8_t* c = pic.palette[pic.pixels[(size_t)y * pic.width + x]];
    return {c[0], c[1], c[2]};
  }
  bool Opaque(uint32_t x, uint32_t y) const { return !pic.mask || pic.mask[(size_t)y * pic.width + x]; }
  bool ok = false;
};

class GuiScreen : public testing::TestWithParam<uint32_t> {
 protected:
  void SetUp() override {
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    ASSERT_EQ(HeadlessOpenDisplay(GetParam()), 1);
    ResetInputState();
  }
  void TearDown() override {
    ResetPictureManagerState();
    ResetTextState();
    HeadlessCloseDisplay();
  }

  // Takes a copy of the visible screen (primary surface); Px reads it.
  void Snap() {
    const uint32_t w = DisplayWidth(), h = DisplayHeight();
    rgb_.assign((size_t)w * h, 0);
    DisplayReadRGB(rgb_.data(), w, h);
    GameAreaOffset(w, h, &dx_, &dy_);
  }
  // A pixel of the last copy, at game coordinates.
  Rgb Px(int32_t x, int32_t y) const {
    uint32_t v = rgb_[(size_t)(y + dy_) * DisplayWidth() + (x + dx_)];
    return {(uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v};
  }
  Rgb Shown(int32_t x, int32_t y) {
    Snap();
    return Px(x, y);
  }
  std::vector<Rgb> ShownRect(int32_t x, int32_t y, int32_t w, int32_t h) {
    Snap();
    std::vector<Rgb> out;
    for (int32_t j = 0; j < h; ++j)
      for (int32_t i = 0; i < w; ++i) out.push_back(Px(x + i, y + j));
    return out;
  }
  // Opens the test screen with its gadgets drawn and the transition done.
  ScreenRegion* OpenTestScreen() {
    EXPECT_EQ(OpenElmorPic(kPath, kTestPic, 1), 0);
    ScreenRegion* r = GetScreenRegion(kLayout, 0x207);
    EXPECT_NE(r, nullptr);
    RestoreMouseGadgets(nullptr, r);
    StartTheTransition();
    WaitTransition();
    return r;
  }
  void ExpectShows(uint32_t id, int32_t x, int32_t y, const char* what) {
    KitPicture k(id);
    ASSERT_TRUE(k.ok);
    size_t bad = 0;
    Snap();
    for (uint32_t j = 0; j < k.pic.height; ++j)
      for (uint32_t i = 0; i < k.pic.width; ++i)
        if (k.Opaque(i, j) && !(Px(x + (int32_t)i, y + (int32_t)j) == k.At(i, j))) ++bad;
    EXPECT_EQ(bad, 0u) << what;
  }

  // Input as the window thread posts it, read back through WaitEvent: the
  // event code a screen hands to HandleGadgetEvent. x, y in game coordinates.
  int32_t Mouse(uint32_t kind, int32_t x, int32_t y, uint32_t buttons) {
    int32_t dx = 0, dy = 0;
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx, &dy);
    PostMouseMessage(kind, x + dx, y + dy, buttons);
    return WaitEvent(WE_TICKS | WE_NOWAIT);
  }
  int32_t MoveTo(int32_t x, int32_t y, bool held = false) {
    mx_ = x;
    my_ = y;
    return Mouse(kMsgMouseMove, x, y, held ? (uint32_t)kButtonLeft : 0u);
  }
  int32_t Down() { return Mouse(kMsgLeftDown, mx_, my_, kButtonLeft); }
  int32_t Up() { return Mouse(kMsgLeftUp, mx_, my_, 0); }
  int32_t Tick() {
    PostTimerMessage(kTimerGameTick);
    return WaitEvent(WE_TICKS | WE_NOWAIT);
  }
  int32_t Escape() {
    PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
    return WaitEvent(WE_TICKS | WE_NOWAIT);
  }
  int32_t Char(uint32_t c) {
    PostTextMessage(c);
    return WaitEvent(WE_TICKS | WE_NOWAIT);
  }

  std::vector<uint32_t> rgb_;
  int32_t dx_ = 0, dy_ = 0;
  int32_t mx_ = 0, my_ = 0;
};

TEST_P(GuiScreen, PictureAppearsWithItsPaletteAfterTheTransition) {
  ASSERT_EQ(OpenElmorPic(kPath, kTestPic, 1), 0);
  EXPECT_EQ(GetTitelScreenData()->pictureId, kTestPic);
  EXPECT_FALSE(Shown(300, 20) == (Rgb{112, 72, 32}));  // not shown before the transition
  StartTheTransition();
  WaitTransition();
  EXPECT_EQ(MotionBusy.load(), 0);
  KitPicture k(kTestPic);
  ASSERT_TRUE(k.ok);
  EXPECT_EQ(Shown(300, 20), (Rgb{112, 72, 32}));  // the title bar, pen 6
  size_t bad = 0;
  Snap();
  for (uint32_t y = 0; y < 480; ++y)
    for (uint32_t x = 0; x < 640; ++x) bad += !(Px((int32_t)x, (int32_t)y) == k.At(x, y));
  EXPECT_EQ(bad, 0u);
  CloseElmorPic(kTestPic, 1);
  EXPECT_EQ(ElmorGfxBitMap(kTestPic), nullptr);
  EXPECT_NE(GetTitelScreenData(), nullptr);
  CloseElmorPic(0, 0);
  EXPECT_EQ(GetTitelScreenData(), nullptr);
  EXPECT_EQ(OpenElmorPic(kPath, 1500, 0), -1);  // not in the index
}

// The input waiting while a picture opens is dropped, but not what the
// pointer and the focus last did: a pointer that left the window meanwhile
// is still outside afterwards (the map would scroll by itself otherwise).
TEST_P(GuiScreen, AnOpeningPictureKeepsWherePointerAndFocusAre) {
  ResetInputState();
  PostMouseMessage(kMsgMouseMove, 639, 479, 0);
  PostWindowMessage(kWindowFocusLost);
  PostWindowMessage(kWindowPointerLeft);
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);
  PostWindowMessage(kWindowFocusGained);
  ASSERT_EQ(OpenElmorPic(kPath, kTestPic, 0), 0);
  WaitTransition();
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);  // the key is gone
  EXPECT_EQ(MouseInWindow(), 0);                // the pointer still outside
  PostWindowMessage(kWindowPointerEntered);
  EXPECT_EQ(WaitEvent(WE_NOWAIT), WE_NOTHING);
  EXPECT_EQ(MouseInWindow(), 1);                // and the focus back
  ResetInputState();
}

TEST_P(GuiScreen, PaletteRangesComeFromPictures) {
  PostKeyMessage(kMsgKeyDown, kKeyEscape, 0, 27);  // input before the screen is up
  ASSERT_EQ(OpenElmorPic(kPath, kTestPic, 0), 0);
  EXPECT_EQ(GameMessagesWaiting(), 0);
  WaitTransition();
  KitPicture k(kTestPic);
  PaletteCopy* pal = ScreenPalette();
  SetRGB4(nullptr, 240, 0, 15, 0);
  SetRGB4(nullptr, 250, 0, 15, 0);
  EXPECT_EQ(SetElmorPalette(kPath, 106, 240, 5, 0), 1);  // 240..244 from picture 106
  EXPECT_EQ(pal->Colors[240].Red, k.pic.palette[240][0]);
  EXPECT_EQ(pal->Colors[240].Green, k.pic.palette[240][1]);
  EXPECT_EQ(pal->Colors[250].Green, 255);  // outside the range: unchanged
  SetRGB4(nullptr, 240, 0, 15, 0);
  EXPECT_EQ(SetElmorPalette(nullptr, 0, 240, 16, 0), 1);  // back to the screen picture's
  EXPECT_EQ(pal->Colors[240].Green, k.pic.palette[240][1]);
  EXPECT_EQ(pal->Colors[250].Green, k.pic.palette[250][1]);
  EXPECT_EQ(SetElmorPalette(kPath, 1500, 0, 16, 0), 0);
}

TEST_P(GuiScreen, OpenElmorGfxResults) {
  EXPECT_EQ(OpenElmorGfx(kPath, 106), 1);
  EXPECT_EQ(OpenElmorGfx(kPath, 106), 1);  // already loaded
  ASSERT_NE(ElmorGfxBitMap(106), nullptr);
  EXPECT_EQ(ElmorGfxBitMap(106)->Width, 80u);
  EXPECT_EQ(ElmorGfxBitMap(106)->Height, 16u);
  EXPECT_EQ(ElmorGfxBitMap(106)->Depth, DisplayDepth());
  EXPECT_EQ(GetElmorGfxMask(106), nullptr);
  EXPECT_EQ(OpenElmorGfx(kPath, 0), -1);
  EXPECT_EQ(OpenElmorGfx(kPath, 1500), -1);  // beyond what the index holds
  EXPECT_EQ(OpenElmorGfx(kPath, 5000), -1);
  EXPECT_EQ(OpenElmorGfx(".\\Data\\NoIndex", 106 + 1), -1);
  ASSERT_EQ(DeleteFileA("Gfx\\Pic0107.ilbm") != 0, true);
  EXPECT_EQ(OpenElmorGfx(kPath, 107), -1);
  EXPECT_EQ(ElmorGfxBitMap(107), nullptr);
  std::vector<uint8_t> raw = qoe_test::ReadFileBytes("Gfx/Pic0066.ilbm");
  raw.resize(raw.size() / 2);
  ASSERT_TRUE(qoe_test::WriteFileBytes("Gfx/Pic0066.ilbm", raw));
  EXPECT_EQ(OpenElmorGfx(kPath, 66), -1);
  EXPECT_EQ(ElmorGfxBitMap(66), nullptr);
  // Masked graphics keep their mask.
  EXPECT_EQ(OpenElmorGfx(kPath, 103), 1);
  EXPECT_NE(GetElmorGfxMask(103), nullptr);
  CloseElmorGfx(103);
  EXPECT_EQ(ElmorGfxBitMap(103), nullptr);
  // Out of memory (the decoded picture comes from the cache): 0.
  AllocVecFailAfter(0);
  int32_t rc = OpenElmorGfx(kPath, 103);
  AllocVecFailAfter(-1);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ElmorGfxBitMap(103), nullptr);
  FreeGfxCache();
  EXPECT_EQ(OpenElmorGfx(kPath, 103), 1);
  // The story index has slots of its own.
  EXPECT_EQ(OpenElmorGfx(".\\Data\\RizizOzezPath", RizizOzezGfxID(1)), 1);
  ASSERT_NE(ElmorGfxBitMap(RizizOzezGfxID(1)), nullptr);
  EXPECT_EQ(ElmorGfxBitMap(RizizOzezGfxID(1))->Width, 120u);
  EXPECT_EQ(ElmorGfxBitMap(1), nullptr);
  // Those slots are the story index's alone: through the main index an ID
  // past 1615 is too high, loaded or not.
  EXPECT_EQ(OpenElmorGfx(kPath, RizizOzezGfxID(1)), -1);
  EXPECT_EQ(OpenElmorGfx(kPath, RizizOzezGfxID(2)), -1);
  EXPECT_EQ(ElmorGfxBitMap(RizizOzezGfxID(2)), nullptr);
  EXPECT_EQ(OpenElmorGfx(".\\data\\rizizozezpath", RizizOzezGfxID(2)), 1);
}

TEST_P(GuiScreen, OpensAreCountedAndTheLastCloseFrees) {
  // Two opens of a masked graphic: the first close leaves it to the second.
  ASSERT_EQ(OpenElmorGfx(kPath, 103), 1);
  ASSERT_EQ(OpenElmorGfx(kPath, 103), 1);
  const uint8_t* mask = GetElmorGfxMask(103);
  ASSERT_NE(mask, nullptr);
  CloseElmorGfx(103);
  EXPECT_EQ(GetElmorGfxMask(103), mask);
  // A blit holds it for the call only.
  EXPECT_EQ(BlitObjektMask(nullptr, 103, 0, 10, 10, 0, 0), 1);
  EXPECT_EQ(GetElmorGfxMask(103), mask);
  EXPECT_EQ(ElmorGfxOpenCount(103), 1u);
  CloseElmorGfx(103);
  EXPECT_EQ(GetElmorGfxMask(103), nullptr);
  EXPECT_EQ(ElmorGfxBitMap(103), nullptr);
  EXPECT_EQ(ElmorGfxOpenCount(103), 0u);
  {
    // A close too many changes nothing and is logged.
    qoe_test::LogLines log;
    CloseElmorGfx(103);
    CloseElmorGfx(0);
    CloseElmorGfx(kGfxSlots + 1);
    EXPECT_EQ(log.Count("CloseElmorGfx: Grafik"), 3);
  }
  ASSERT_EQ(OpenElmorGfx(kPath, 103), 1);
  ASSERT_NE(ElmorGfxBitMap(103), nullptr);
  EXPECT_EQ(ElmorGfxOpenCount(103), 1u);
  // UseElmorGfx counts an open too; with a null index only of a loaded graphic.
  EXPECT_EQ(UseElmorGfx(nullptr, 103), ElmorGfxBitMap(103));
  EXPECT_EQ(UseElmorGfx(nullptr, 106), nullptr);
  EXPECT_EQ(ElmorGfxOpenCount(103), 2u);
  {
    GfxUse use(kPath, 106);
    ASSERT_NE(use.bitmap(), nullptr);
    EXPECT_EQ(ElmorGfxOpenCount(106), 1u);
  }
  EXPECT_EQ(ElmorGfxBitMap(106), nullptr);
  CloseElmorGfx(103);
  CloseElmorGfx(103);
  EXPECT_EQ(ElmorGfxBitMap(103), nullptr);
  // A keeper holds one open however often it asks, and lets go of its own only.
  EXPECT_EQ(KeepElmorGfx(kGfxKeeperMap, kPath, 106), 1);
  EXPECT_EQ(KeepElmorGfx(kGfxKeeperMap, kPath, 106), 1);
  EXPECT_EQ(ElmorGfxOpenCount(106), 1u);
  EXPECT_EQ(OpenElmorGfx(kPath, 106), 1);
  EXPECT_EQ(KeepElmorGfx(kGfxKeeperDungeon, kPath, 106), 1);
  EXPECT_EQ(ElmorGfxOpenCount(106), 3u);
  LetGoElmorGfx(kGfxKeeperMap, 1, kGfxSlots);
  LetGoElmorGfx(kGfxKeeperMap, 1, kGfxSlots);
  EXPECT_EQ(ElmorGfxOpenCount(106), 2u);
  LetGoElmorGfx(kGfxKeeperDungeon, 100, 110);
  EXPECT_EQ(ElmorGfxOpenCount(106), 1u);
  CloseElmorGfx(106);
  EXPECT_EQ(ElmorGfxBitMap(106), nullptr);
  EXPECT_EQ(KeepElmorGfx(kGfxKeeperMap, kPath, 1500), -1);
  // A bitmap of the caller's goes into a free slot only; the close frees it.
  BitMap* own = AllocBitMap(8, 8, 8, 0, nullptr);
  ASSERT_EQ(OpenElmorGfx(kPath, 106), 1);
  EXPECT_EQ(PutElmorGfx(106, own), 0);  // in use: stays the caller's
  CloseElmorGfx(106);
  EXPECT_EQ(PutElmorGfx(106, own), 1);
  EXPECT_EQ(ElmorGfxBitMap(106), own);
  EXPECT_EQ(GetElmorGfxMask(106), nullptr);
  EXPECT_EQ(OpenElmorGfx(kPath, 106), 1);  // the caller's bitmap, opened once more
  EXPECT_EQ(ElmorGfxBitMap(106), own);
  CloseElmorGfx(106);
  CloseElmorGfx(106);
  EXPECT_EQ(ElmorGfxBitMap(106), nullptr);
  // The displayed picture holds its slot until CloseElmorPic; a graphic
  // user of the same slot keeps it after that.
  ASSERT_EQ(OpenElmorPic(kPath, kTestPic, 1), 0);
  EXPECT_EQ(ElmorGfxOpenCount(kTestPic), 1u);
  ASSERT_EQ(OpenElmorPic(kPath, kTestPic, 1), 0);  // shown again: still one
  EXPECT_EQ(ElmorGfxOpenCount(kTestPic), 1u);
  ASSERT_EQ(OpenElmorGfx(kPath, kTestPic), 1);
  CloseElmorPic(kTestPic, 1);
  EXPECT_EQ(ElmorGfxOpenCount(kTestPic), 1u);
  CloseElmorGfx(kTestPic);
  EXPECT_EQ(ElmorGfxBitMap(kTestPic), nullptr);
}

TEST_P(GuiScreen, BlitObjektLoadsAGraphicForTheCallOnly) {
  ScreenRegion* r = OpenTestScreen();
  ASSERT_EQ(ElmorGfxBitMap(106), nullptr);
  EXPECT_EQ(BlitObjekt(nullptr, 106, 40, 300, 0, 0), 1);
  EXPECT_EQ(ElmorGfxBitMap(106), nullptr);
  ExpectShows(106, 40, 300, "button 106");
  // Width and height cut the graphic; 0 means its own size.
  EXPECT_EQ(BlitObjekt(nullptr, 107, 40, 300, 10, 5), 1);
  KitPicture pressed(107), released(106);
  EXPECT_EQ(Shown(49, 304), pressed.At(9, 4));
  EXPECT_EQ(Shown(50, 304), released.At(10, 4));
  EXPECT_EQ(Shown(49, 305), released.At(9, 5));
  EXPECT_EQ(BlitObjekt(nullptr, 1500, 40, 300, 0, 0), 0);
  FreeScreenRegion(r);
}

TEST_P(GuiScreen, ButtonCaptionIsOutlinedOnTheButton) {
  ScreenRegion* r = OpenTestScreen();
  TextFont* font = OpenDiskFont("fonts\\XHelvetica11.fnt");
  ASSERT_NE(font, nullptr);
  SetFont(ScreenRastPort(), font);
  EXPECT_EQ(BlitObjektText(nullptr, 106, "OK", 100, 300), 1);
  EXPECT_EQ(ElmorGfxBitMap(106), nullptr);
  int white = 0, black = 0;
  for (Rgb p : ShownRect(100, 300, 80, 16)) {
    white += p == Rgb{255, 255, 255};
    black += p == Rgb{0, 0, 0};
  }
  EXPECT_GT(white, 8);
  EXPECT_GT(black, 8 + 2 * 80);  // the outline besides the button's frame
  EXPECT_EQ(BlitObjektText(nullptr, 1500, "OK", 100, 300), 0);
  ScreenRastPort()->Font = nullptr;
  CloseFont(font);
  FreeScreenRegion(r);
}

TEST_P(GuiScreen, MaskedStripDrawsTheFrameOfTheSourceRow) {
  ScreenRegion* r = OpenTestScreen();
  ASSERT_EQ(OpenElmorGfx(kPath, 229), 1);
  SetBlitSourceRow(2 * 32);
  EXPECT_EQ(BlitObjektMask(nullptr, 229, 0, 400, 300, 32, 32), 1);
  SetBlitSourceRow(0);
  KitPicture strip(229), bg(kTestPic);
  ASSERT_TRUE(strip.ok && bg.ok);
  size_t bad = 0, holes = 0;
  Snap();
  for (uint32_t y = 0; y < 32; ++y)
    for (uint32_t x = 0; x < 32; ++x) {
      Rgb want = strip.Opaque(x, 64 + y) ? strip.At(x, 64 + y) : bg.At(400 + x, 300 + y);
      holes += !strip.Opaque(x, 64 + y);
      bad += !(Px(400 + (int32_t)x, 300 + (int32_t)y) == want);
    }
  EXPECT_EQ(bad, 0u);
  EXPECT_GT(holes, 100u);
  FreeScreenRegion(r);
}

TEST_P(GuiScreen, ClickReturnsTheGadgetOnReleaseNotOnPress) {
  ScreenRegion* r = OpenTestScreen();
  ASSERT_NE(r, nullptr);
  Gadget* ok = FindGadget(r, "OK01");
  ExpectShows(224, 40, 200, "released");
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, MoveTo(60, 205)), nullptr);
  int32_t down = Down();
  EXPECT_EQ(down, WE_LEFT_DOWN);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, down), nullptr);
  ExpectShows(225, 40, 200, "pressed");
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Tick()), nullptr);  // not a repeating gadget
  int32_t up = Up();
  EXPECT_EQ(up, WE_LEFT_UP);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, up), ok);
  ExpectShows(224, 40, 200, "released again");
  // Pressed, then the mouse leaves with the button held: no result.
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Down()), nullptr);
  int32_t drag = MoveTo(10, 100, true);
  EXPECT_EQ(drag, WE_LEFT_DOWN);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, drag), nullptr);
  ExpectShows(224, 40, 200, "released on leaving");
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Up()), nullptr);
  // A press outside every gadget, then a move onto one: nothing is pressed.
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Down()), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, MoveTo(60, 205, true)), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Up()), nullptr);
  FreeMouseGadgetImages(r);
  FreeScreenRegion(r);
}

TEST_P(GuiScreen, RepeatingGadgetReturnsOnPressAndEveryTickWhileHeld) {
  ScreenRegion* r = OpenTestScreen();
  Gadget* rept = FindGadget(r, "REPT");
  HandleGadgetEvent(nullptr, r, MoveTo(215, 215));
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Down()), rept);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Tick()), rept);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Tick()), rept);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, MoveTo(214, 216, true)), nullptr);  // still over it
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Tick()), rept);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Up()), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Tick()), nullptr);
  // Held, dragged off: ticks give nothing.
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Down()), rept);
  HandleGadgetEvent(nullptr, r, MoveTo(400, 400, true));
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Tick()), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Up()), nullptr);
  FreeMouseGadgetImages(r);
  FreeScreenRegion(r);
}

TEST_P(GuiScreen, EscapeAndKeysGiveExitAndKeyGadgets) {
  ScreenRegion* r = OpenTestScreen();
  int32_t esc = Escape();
  EXPECT_EQ(esc, 27);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, esc), FindGadget(r, "EXIT"));
  ExpectShows(222, 560, 430, "EXIT released after its 200 ms");
  Gadget* key = HandleGadgetEvent(nullptr, r, Char('A'));
  ASSERT_NE(key, nullptr);
  EXPECT_TRUE(GadgetIs(key, "KEY!"));
  EXPECT_EQ(key->keyCode, 'A');
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, 0), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, MoveTo(5, 5)), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, 65533), nullptr);
  FreeScreenRegion(r);
  // A layout without an EXIT gadget: the pseudo gadget.
  std::vector<uint8_t> f = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'S', 'C', 'R', 'N', 'R', 'T', '0', '1', 0, 0, 0, 28,
                            0, 24, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 10, 0, 10, 0, 20, 0, 20, 'O', 'K', '0', '1', 0, 0, 0, 0};
  PutBE32(f.data() + 4, (uint32_t)f.size() - 8);
  ScreenRegion* plain = ParseScreenRegion(f.data(), (uint32_t)f.size(), 2);
  ASSERT_NE(plain, nullptr);
  Gadget* exit = HandleGadgetEvent(nullptr, plain, 27);
  ASSERT_NE(exit, nullptr);
  EXPECT_TRUE(GadgetIs(exit, "EXIT"));
  EXPECT_EQ(exit, &plain->pseudo);
  FreeScreenRegion(plain);
}

TEST_P(GuiScreen, GadgetImageIdsBeyondTheTableDrawNothing) {
  // A hostile layout: released, pressed and hover images far past GfxTable,
  // drawn through the mask.
  std::vector<uint8_t> f = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'S', 'C', 'R', 'N', 'R', 'T', '0', '1', 0, 0, 0, 28,
                            0, 24, 0, 1, 0xEA, 0x60, 0xFF, 0xFF, 0x06, 0xA4, 0, 8, 0, 10, 0, 10, 0, 40, 0, 40,
                            'O', 'K', '0', '1', 0, 0, 0, 0};
  PutBE32(f.data() + 4, (uint32_t)f.size() - 8);
  EXPECT_EQ(OpenElmorPic(kPath, kTestPic, 0), 0);
  WaitTransition();
  ScreenRegion* r = ParseScreenRegion(f.data(), (uint32_t)f.size(), 2);
  ASSERT_NE(r, nullptr);
  std::vector<Rgb> before = ShownRect(10, 10, 31, 31);
  RestoreMouseGadgets(nullptr, r);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, MoveTo(20, 20)), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Down()), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Up()), FindGadget(r, "OK01"));
  EXPECT_EQ(ShownRect(10, 10, 31, 31), before);
  FreeMouseGadgetImages(r);
  FreeScreenRegion(r);
}

TEST_P(GuiScreen, HoverImageIsDrawnAndTheGadgetRestored) {
  ScreenRegion* r = OpenTestScreen();
  std::vector<Rgb> before = ShownRect(300, 200, 32, 32);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, MoveTo(315, 215)), nullptr);
  ExpectShows(228, 300, 200, "hover image");
  EXPECT_NE(ShownRect(300, 200, 32, 32), before);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, MoveTo(500, 300)), nullptr);
  EXPECT_EQ(ShownRect(300, 200, 32, 32), before);
  // Offsets move where gadgets are hit.
  SetMouseGadgetOffset(r, 100, 0);
  HandleGadgetEvent(nullptr, r, MoveTo(160, 205));
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Down()), nullptr);
  EXPECT_EQ(HandleGadgetEvent(nullptr, r, Up()), FindGadget(r, "OK01"));
  SetMouseGadgetOffset(r, 0, 0);
  FreeMouseGadgetImages(r);
  FreeScreenRegion(r);
}

TEST_P(GuiScreen, SaveAndRestoreBackgroundLeaveTheScreenAsItWas) {
  ScreenRegion* r = OpenTestScreen();
  ASSERT_EQ(WriteDisplayPng("before.png"), 1);
  BitMap* saved = SaveBackground(100, 100, 200, 100);
  ASSERT_NE(saved, nullptr);
  RastPort* rp = ScreenRastPort();
  SetAPen(rp, 10);
  RectFill(rp, 100, 100, 299, 199);
  ShowScreenRect(rp, 100, 100, 200, 100);
  BlitObjekt(nullptr, 222, 120, 120, 0, 0);
  ASSERT_EQ(WriteDisplayPng("during.png"), 1);
  RestoreBackground(saved, 100, 100, 200, 100);
  ASSERT_EQ(WriteDisplayPng("after.png"), 1);
  EXPECT_NE(qoe_test::ReadFileBytes("before.png"), qoe_test::ReadFileBytes("during.png"));
  EXPECT_EQ(qoe_test::ReadFileBytes("before.png"), qoe_test::ReadFileBytes("after.png"));
  EXPECT_EQ(SaveBackground(0, 0, 0, 10), nullptr);
  FreeScreenRegion(r);
}

TEST_P(GuiScreen, TitleBarNamesTheTextUnderTheMouse) {
  ScreenRegion* r = OpenTestScreen();
  const TextArea* table = static_cast<const TextArea*>(r->types[LAYOUT_TEXTAREA].first);
  const Rgb bar{112, 72, 32}, ink{0, 0, 0};
  auto count = [&](Rgb c) {
    int n = 0;
    for (Rgb p : ShownRect(200, 11, 243, 17)) n += p == c;
    return n;
  };
  TextFont* font = OpenDiskFont("fonts\\XHelvetica11.fnt");
  ASSERT_NE(font, nullptr);
  MoveTo(580, 440);  // inside text area 2 ("Chiefmessage")
  CheckTitleBar(table, font, 6);
  EXPECT_GT(count(ink), 20);
  MoveTo(581, 440);
  CheckTitleBar(table, font, 6);  // the same text: nothing changes
  EXPECT_GT(count(ink), 20);
  MoveTo(5, 5);
  CheckTitleBar(table, font, 6);
  EXPECT_EQ(count(bar), 243 * 17);
  EXPECT_EQ(ScreenRastPort()->Font, nullptr);
  // A new screen starts with an empty bar: the same text under the mouse is
  // printed again on it.
  MoveTo(580, 440);
  CheckTitleBar(table, font, 6);
  FreeScreenRegion(r);
  CloseElmorPic(kTestPic, 1);
  r = OpenTestScreen();
  table = static_cast<const TextArea*>(r->types[LAYOUT_TEXTAREA].first);
  EXPECT_EQ(count(ink), 0);
  CheckTitleBar(table, font, 6);
  EXPECT_GT(count(ink), 20);
  CloseFont(font);
  FreeMouseGadgetImages(r);
  FreeScreenRegion(r);
}

// A gadget's rim takes the click and names the gadget in the title bar
// alike: at every point on the rim, inside and just outside the two
// gadgets with a text, the click and the bar agree (and both go by the
// rectangle with its edges).
TEST_P(GuiScreen, TheClickAndTheTitleBarTakeTheSamePixels) {
  ScreenRegion* r = OpenTestScreen();
  const TextArea* table = static_cast<const TextArea*>(r->types[LAYOUT_TEXTAREA].first);
  TextFont* font = OpenDiskFont("fonts\\XHelvetica11.fnt");
  ASSERT_NE(font, nullptr);
  for (const char* id : {"EXIT", "OK01"}) {
    Gadget* g = FindGadget(r, id);
    ASSERT_NE(g, nullptr);
    ASSERT_NE(g->textArea, nullptr);
    const int32_t x1 = g->x1, y1 = g->y1, x2 = g->x2, y2 = g->y2, cx = (x1 + x2) / 2, cy = (y1 + y2) / 2;
    struct Point {
      const char* where;
      int32_t x, y;
      bool on;
    };
    const Point points[] = {
        {"top left corner", x1, y1, true},       {"top right corner", x2, y1, true},
        {"bottom left corner", x1, y2, true},    {"bottom right corner", x2, y2, true},
        {"left edge", x1, cy, true},             {"right edge", x2, cy, true},
        {"top edge", cx, y1, true},              {"bottom edge", cx, y2, true},
        {"inside", cx, cy, true},                {"one in from the corner", x1 + 1, y1 + 1, true},
        {"left of it", x1 - 1, cy, false},       {"right of it", x2 + 1, cy, false},
        {"above it", cx, y1 - 1, false},         {"below it", cx, y2 + 1, false},
        {"off the top left", x1 - 1, y1 - 1, false}, {"off the bottom right", x2 + 1, y2 + 1, false},
    };
    for (const Point& p : points) {
      SCOPED_TRACE(std::string(id) + ": " + p.where);
      EXPECT_EQ(HandleGadgetEvent(nullptr, r, MoveTo(p.x, p.y)), nullptr);
      CheckTitleBar(table, font, 6);
      const char* named = TitleBarCaption();
      EXPECT_EQ(HandleGadgetEvent(nullptr, r, Down()), nullptr);
      Gadget* clicked = HandleGadgetEvent(nullptr, r, Up());
      EXPECT_EQ(clicked != nullptr, named != nullptr);
      EXPECT_EQ(clicked == g, p.on);
      EXPECT_EQ(named == g->textArea->text, p.on);
      // Off the gadget, back to a place with no text: the bar is empty.
      HandleGadgetEvent(nullptr, r, MoveTo(5, 470));
      CheckTitleBar(table, font, 6);
      EXPECT_EQ(TitleBarCaption(), nullptr);
    }
  }
  CloseFont(font);
  FreeMouseGadgetImages(r);
  FreeScreenRegion(r);
}

INSTANTIATE_TEST_SUITE_P(Modes, GuiScreen, testing::Values(0u, 4u), [](const testing::TestParamInfo<uint32_t>& i) {
  return i.param == 0 ? std::string("Depth8") : std::string("Depth32");
});

}  // namespace

namespace {

// The map screen's first range: pen 141 runs through 141, 142, 143, 142.
const uint8_t kRanges[2][22] = {
    {32, 2, 3, 19, 0, 141, 19, 141, 27, 142, 29, 143, 31, 142, 255},
    {4, 1, 0, 0, 0, 20, 2, 21, 255},
};

// The game side of the cycling test: starts the cycle, then notes pen 20 as
// shown on the display at each app message, until the quit.
struct CycleRun {
  ColorCycle* cc = nullptr;
  std::vector<PaletteEntry> seen;
};
int CycleGame(void* arg) {
  auto* run = static_cast<CycleRun*>(arg);
  run->cc = InitColorCycle(2, 22, &kRanges[0][0]);
  PlatformMessage m;
  while (GetGameMessage(&m, -1) && m.kind != kMsgQuit) {
    if (m.kind != kMsgApp) continue;
    PaletteEntry shown[256];
    DisplayGetPalette(shown);
    run->seen.push_back(shown[20]);
  }
  StopColorCycle(run->cc);
  return 0;
}

TEST(GuiColorCycleThread, CyclesEightBitPaletteOnThePlatformClockAndRestoresIt) {
  ASSERT_EQ(HeadlessOpenDisplay(4), 1);
  EXPECT_EQ(InitColorCycle(2, 22, &kRanges[0][0]), nullptr);  // 32-bit: nothing runs
  HeadlessCloseDisplay();
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  PaletteCopy* pal = ScreenPalette();
  const PaletteColor before = pal->Colors[20];
  const PaletteColor c21 = pal->Colors[21];
  SetRGB4(nullptr, 21, 15, 0, 15);
  // Range 2 steps every 20 ms of the virtual clock: pen 20 keeps its own
  // colour for phases 0 and 1, shows pen 21's for phases 2 and 3.
  CycleRun run;
  EXPECT_EQ(HeadlessRunGame("wait 30\napp 1\nwait 20\napp 2\nwait 40\napp 3\nwait 20\napp 4\n", CycleGame, &run), 0);
  ASSERT_NE(run.cc, nullptr);
  ASSERT_EQ(run.seen.size(), 4u);
  auto magenta = [](const PaletteEntry& e) { return e.r == 255 && e.g == 0 && e.b == 255; };
  EXPECT_FALSE(magenta(run.seen[0]));  // 30 ms: phase 1
  EXPECT_TRUE(magenta(run.seen[1]));   // 50 ms: phase 2
  EXPECT_FALSE(magenta(run.seen[2]));  // 90 ms: phase 0
  EXPECT_FALSE(magenta(run.seen[3]));  // 110 ms: phase 1
  EXPECT_EQ(pal->Colors[20].Red, before.Red);
  EXPECT_EQ(pal->Colors[20].Blue, before.Blue);
  StopColorCycle(nullptr);
  EXPECT_EQ(InitColorCycle(0, 22, &kRanges[0][0]), nullptr);
  SetRGB4(nullptr, 21, c21.Red >> 4, c21.Green >> 4, c21.Blue >> 4);
  HeadlessCloseDisplay();
}

}  // namespace

namespace {

// The kit's test screen as a screen function on the game thread, driven by a
// headless script from the window thread.
struct TestScreenRun {
  std::vector<std::string> gadgets;  // IDs in the order the screen got them
  int key = 0;
};

int TestScreenGame(void* arg) {
  TestScreenRun* run = static_cast<TestScreenRun*>(arg);
  if (OpenElmorPic(kPath, kTestPic, 1) != 0) return -1;
  ScreenRegion* r = GetScreenRegion(kLayout, 3);
  TextFont* font = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!r || !font) return -1;
  SetFont(ScreenRastPort(), font);
  RestoreMouseGadgets(nullptr, r);
  StartTheTransition();
  const TextArea* titles = static_cast<const TextArea*>(r->types[LAYOUT_TEXTAREA].first);
  for (;;) {
    CheckTitleBar(titles, font, 6);
    Gadget* g = HandleGadgetEvent(nullptr, r, (uint32_t)WaitEvent(WE_TICKS));
    if (!g) continue;
    run->gadgets.push_back(std::string(g->id, 4));
    if (GadgetIs(g, "KEY!")) run->key = g->keyCode;
    if (GadgetIs(g, "EXIT")) break;
  }
  FreeMouseGadgetImages(r);
  FreeScreenRegion(r);
  ScreenRastPort()->Font = nullptr;
  CloseFont(font);
  CloseElmorPic(kTestPic, 0);
  return 0;
}

// The screen's record (the RastPort, bitmap, pixels and palette the
// transition, the colour cycling and the movies draw with) is filled under
// the display mutex each time a picture opens, and the mutex it names is not
// written again: a movie's thread reads that field before it takes the
// mutex (the thread sanitizer's run sees it).
TEST(GuiPictureThread, TheScreenRecordIsFilledUnderTheDisplayMutex) {
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  ASSERT_EQ(OpenElmorPic(kPath, kTestPic, 0), 0);
  TitelScreenData* t = GetTitelScreenData();
  ASSERT_NE(t, nullptr);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> reads{0};
  std::thread movie([&] {
    while (!stop.load()) {
      QoeMutex* m = t->mutex;
      if (!m) continue;
      ObtainMutex(m);
      const bool whole = t->bitmap && t->pixels && t->width == 640;
      ReleaseMutex(m);
      reads += whole ? 1 : 0;
    }
  });
  for (int i = 0; i < 40; i++) ASSERT_EQ(OpenElmorPic(kPath, kTestPic, 0), 0);
  while (reads.load() == 0) std::this_thread::yield();
  stop = true;
  movie.join();
  EXPECT_EQ(GetTitelScreenData(), t);
  FreeAllElmorGfx();
  HeadlessCloseDisplay();
}

TEST(GuiTestScreenThread, RunsOnTheKitDataFromAScript) {
  fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  ResetInputState();
  TestScreenRun run;
  const char* script =
      "move 60 205; press left 60 205; release left 60 205\n"  // OK01 on the release
      "move 215 215; press left 215 215; tick; tick; release left 215 215\n"  // REPT x3
      "move 580 440; sync; png shot.png\n"
      "text \"x\"\n"
      "key esc\n";
  EXPECT_EQ(HeadlessRunGame(script, TestScreenGame, &run), 0);
  EXPECT_EQ(run.gadgets, (std::vector<std::string>{"OK01", "REPT", "REPT", "REPT", "KEY!", "EXIT"}));
  EXPECT_EQ(run.key, 'x');
  EXPECT_GT(qoe_test::ReadFileBytes("shot.png").size(), 1000u);
  FreeAllElmorGfx();
  HeadlessCloseDisplay();
}

}  // namespace
