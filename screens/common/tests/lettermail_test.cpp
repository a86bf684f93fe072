// The tavern's letter window on the headless display, driven by script over
// the tavern picture: the list (empty, newest first, the three orders,
// marking, reading, scrolling), the reader's header lines, the editor (a new
// letter to all, an answer, a blank subject, an empty text, 50 lines, a
// letter that cannot be stored), the pruning to the 51 newest letters, the
// diplomacy screen's entry with its own layout, hostile letter files, and
// letters sent and fetched over the game-server double.
#include "screens/common/lettermail.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/headless.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/fonts.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/common/screenbase.h"
#include "routinen/system/catalog.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/log_lines.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kOwnId = 0x1234, kOwnIdFile = 0x1234;

void Put32(std::vector<uint8_t>& v, size_t off, uint32_t x) {
  v[off] = (uint8_t)(x >> 24);
  v[off + 1] = (uint8_t)(x >> 16);
  v[off + 2] = (uint8_t)(x >> 8);
  v[off + 3] = (uint8_t)x;
}

void PutText(std::vector<uint8_t>& v, size_t off, size_t size, const std::string& s) {
  std::memcpy(v.data() + off, s.data(), std::min(s.size(), size - 1));
}

// A letter file (one SMAL chunk, big-endian) as another lord's client writes it.
std::vector<uint8_t> Letter(const std::string& sender, uint32_t sender_id, const std::string& subject, uint32_t date,
                            const std::string& text, uint32_t recipient_id = kOwnId,
                            const std::string& recipient = "Me") {
  const uint32_t tl = (uint32_t)text.size() + 1;
  std::vector<uint8_t> v(292 + tl, 0);
  std::memcpy(v.data(), "SMALV001", 8);
  Put32(v, 8, (uint32_t)v.size() - 12);
  PutText(v, 12, 40, sender);
  PutText(v, 52, 40, recipient);
  PutText(v, 92, 160, subject);
  time_t t = date;
  struct tm tm;
  gmtime_r(&t, &tm);
  char when[80];  // room for any int in each field
  std::snprintf(when, sizeof when, "%02d.%02d.%04d %02d:%02d:%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  PutText(v, 252, 24, when);
  Put32(v, 276, sender_id);
  Put32(v, 280, recipient_id);
  Put32(v, 284, date);
  Put32(v, 288, tl);
  std::memcpy(v.data() + 292, text.data(), text.size());
  return v;
}

std::string InName(uint32_t sender_id, uint32_t k) {
  char n[64];
  std::snprintf(n, sizeof n, "Data/MailIn/E%7.7x_%2.2u.smal", sender_id, k);
  return n;
}

uint32_t Be32(const std::vector<uint8_t>& v, size_t off) { return off + 4 <= v.size() ? GetBE32(v.data() + off) : 0; }
std::string Str(const std::vector<uint8_t>& v, size_t off) {
  return off < v.size() ? std::string(reinterpret_cast<const char*>(v.data() + off)) : "";
}

std::vector<std::string> Files(const std::string& dir) {
  std::vector<std::string> out;
  if (fs::exists(dir))
    for (auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

// The tavern picture with the letter window over it.
int TavernWithWindow(void*) {
  ScreenBase base;
  if (!OpenScreenPicture(&base, 59, 0)) return -1;
  WaitTransition();
  TaverneOfflineChat();
  CloseScreenBase(&base, 0);
  return 0;
}

// The tavern as the player leaves it for the letters: its title bar names
// the gadget under the mouse (the guests' table), then the window opens over
// it. -2 when the tavern's bar named nothing.
int TavernNamedThenWindow(void*) {
  ScreenBase base;
  if (!OpenScreenPicture(&base, 59, 0)) return -1;
  WaitTransition();
  ScreenRegion* tavern = GetScreenRegion(".\\Data\\ScreenDat\\Taverne.dat", 3);
  if (!tavern) {
    CloseScreenBase(&base, 0);
    return -1;
  }
  while (WaitEvent(0) != WE_MOUSE_MOVE) {
  }
  CheckTitleBar(static_cast<const TextArea*>(tavern->types[LAYOUT_TEXTAREA].first), nullptr, 6);
  const bool named = TitleBarCaption() != nullptr;
  TaverneOfflineChat();
  FreeScreenRegion(tavern);
  CloseScreenBase(&base, 0);
  return named ? 0 : -2;
}

// How many colours the rectangle of a PNG the display wrote holds (0 when
// it cannot be read).
size_t PngColours(const std::string& path, int x1, int y1, int x2, int y2) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return 0;
  img.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> px(size_t{img.width} * img.height);
  if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) return 0;
  std::set<uint32_t> colours;
  for (int y = y1; y <= y2 && y < (int)img.height; ++y)
    for (int x = x1; x <= x2 && x < (int)img.width; ++x) colours.insert(px[size_t(y) * img.width + x]);
  return colours.size();
}

struct Call {
  int (*work)();
  int result = -7;
};
// The tavern picture and one call (the boxes need a screen).
int TavernWithCall(void* arg) {
  auto* c = static_cast<Call*>(arg);
  ScreenBase base;
  if (!OpenScreenPicture(&base, 59, 0)) return -1;
  WaitTransition();
  c->result = c->work();
  CloseScreenBase(&base, 0);
  return 0;
}

class LetterWindow : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/TaverneOffchatReq.dat");
    fs::copy(qoe_test::BinaryDir() + "/datakit", ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    fs::create_directories("Data/MailIn");
    fs::create_directories("Data/MailOut");
    ASSERT_EQ(HeadlessOpenDisplay(0), 1);
    ResetInputState();
    GameAreaOffset(DisplayWidth(), DisplayHeight(), &dx_, &dy_);
    SetGameDataOwner(kOwnId, "Ragnar");
    CheckPrefs(PREFS_PLAYER_ID, 1, kOwnId);
    EndpointDefaults(&QoESystemPtr->Endpoints);
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    QoESystemPtr->Optionen.net_option_bits = NET_MAIL_ROUTE;
    QoESystemPtr->TcpIpStack = 4;
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    TextFont* f = OpenDiskFont("fonts\\TopaZ.fnt");
    ASSERT_NE(f, nullptr);
    line_ = f->YSize + 1;
    CloseFont(f);
  }
  void TearDown() override {
    MailSetTimeoutMs(0);
    ResetChunkPoolState();
    FreeAllElmorGfx();
    ResetTitleBar();
    HeadlessCloseDisplay();
  }
  std::string Click(int x, int y) const { return qoe_test::ClickLine(x + dx_, y + dy_); }
  // The buttons of the window (centres), the list's rows, the arrows.
  std::string Button(int i) const { return Click(110 + 60 * i, 427); }
  std::string Read() const { return Button(0); }
  std::string Write() const { return Button(1); }
  std::string Sort() const { return Button(2); }
  std::string Clear() const { return Button(3); }
  std::string Send() const { return Button(4); }
  std::string Cancel() const { return Button(5); }
  std::string Close() const { return Button(7); }
  std::string Row(int k) const { return Click(200, 159 + k * line_ + line_ / 2); }
  std::string Up() const { return Click(556, 163); }
  std::string Down() const { return Click(556, 395); }
  static std::string Type(const std::string& s) { return "text \"" + s + "\"\n"; }
  static std::string Enter() { return "key enter\n"; }
  std::string Png(const std::string& name) const { return "png " + name + "\n"; }
  void Run(const std::string& script) { ASSERT_EQ(HeadlessRunGame(script.c_str(), TavernWithWindow, nullptr), 0); }
  static void Put(const std::string& path, const std::vector<uint8_t>& bytes) {
    ASSERT_TRUE(qoe_test::WriteFileBytes(path, bytes)) << path;
  }
  // The letters read in a run, in order (their paths).
  static std::vector<std::string> Reads(const qoe_test::LogLines& log) {
    std::vector<std::string> out;
    for (const auto& l : log.lines) {
      const std::string tag = "TaverneOfflineViewMail: ";
      if (l.rfind(tag, 0) == 0) out.push_back(l.substr(tag.size(), l.find(' ', tag.size()) - tag.size()));
    }
    return out;
  }
  static std::string InPath(uint32_t sender_id, uint32_t k) {
    char n[64];
    std::snprintf(n, sizeof n, ".\\Data\\MailIn\\E%7.7x_%2.2u.smal", sender_id, k);
    return n;
  }
  int32_t dx_ = 0, dy_ = 0;
  int line_ = 9;
};

TEST_F(LetterWindow, AnEmptyFolderSaysSoAndReadsNothing) {
  qoe_test::LogLines log;
  Run(Enter() + Read() + Png("empty.png") + Close());
  EXPECT_EQ(log.Count("Meldung 807"), 1);
  EXPECT_TRUE(Reads(log).empty());
  qoe_test::KeepPng("empty.png");
}

TEST_F(LetterWindow, TheWindowKeepsItsNameInTheTitleBar) {
  // The tavern's bar named the guests' table when the window opened; the
  // window's loop clears that caption and its own name stands there again.
  const std::string s = Click(290, 350) + Click(300, 300) + "wait 100\n" + Png("titled.png") + Close();
  ASSERT_EQ(HeadlessRunGame(s.c_str(), TavernNamedThenWindow, nullptr), 0);
  qoe_test::KeepPng("titled.png");
  // The bar of the window graphic with the name on it: more than the one
  // pen a cleared bar is filled with.
  EXPECT_GT(PngColours("titled.png", 80 + dx_, 76 + dy_, 566 + dx_, 92 + dy_), 2u);
}

TEST_F(LetterWindow, NewestFirstThenSubjectSenderAndDateAgain) {
  // Dates: Bertram's "Wheat" newest, Alda's "Zinc" oldest.
  Put(InName(0x20, 0), Letter("Bertram", 0x20, "Wheat", 5000, "New wheat."));
  Put(InName(0x10, 0), Letter("Alda", 0x10, "Zinc", 1000, "Zinc for sale."));
  Put(InName(0x30, 0), Letter("Cuno", 0x30, "Amber", 3000, "Amber from the coast."));
  Put(InName(0x10, 1), Letter("Alda", 0x10, "Barley", 2000, "Barley."));
  qoe_test::LogLines log;
  const std::string back = "key esc\n";  // leaves the reader
  Run(Png("list.png") + Read() + back + Sort() + Read() + back + Sort() + Read() + back + Sort() + Read() + back +
      Close());
  qoe_test::KeepPng("list.png");
  EXPECT_EQ(Reads(log), (std::vector<std::string>{InPath(0x20, 0), InPath(0x30, 0), InPath(0x10, 1), InPath(0x20, 0)}));
}

TEST_F(LetterWindow, MarkingReadingClearingAndScrolling) {
  for (uint32_t k = 0; k < 40; ++k)
    Put(InName(0x40, k), Letter("Dietmar", 0x40, "Letter " + std::to_string(k), 10000 - k, "Text " + std::to_string(k)));
  qoe_test::LogLines log;
  const std::string back = "key esc\n";
  // Row 2 marked, B000 reads it; a second click on it reads it too.
  std::string s = Row(2) + Read() + back + Row(2) + back;
  // Cleared: B000 reads nothing.
  s += Clear() + Read();
  // Down once: row 0 now shows a later letter.
  s += Down() + Row(0) + Read() + back + Up() + Row(0) + Read() + back;
  // The slider's bottom end: the last page, whose last row is letter 39.
  s += Click(556, 382) + Row(26) + Read() + back;
  s += Row(3) + Png("scrolled.png") + Close();
  Run(s);
  qoe_test::KeepPng("scrolled.png");
  const auto reads = Reads(log);
  ASSERT_EQ(reads.size(), 5u);
  EXPECT_EQ(reads[4], InPath(0x40, 39));
  EXPECT_EQ(reads[0], InPath(0x40, 2));
  EXPECT_EQ(reads[1], InPath(0x40, 2));
  EXPECT_NE(reads[2], InPath(0x40, 0));  // scrolled down
  EXPECT_EQ(reads[3], InPath(0x40, 0));  // and back up
}

TEST_F(LetterWindow, TheReaderNamesSenderDateAndReference) {
  Put(InName(0x50, 0), Letter("Eberhard", 0x50, "Peace", 86400 * 365, "Let us make peace.\nYours, E."));
  qoe_test::LogLines log;
  Run(Read() + Png("reader.png") + "key esc\n" + Close());
  qoe_test::KeepPng("reader.png");
  ASSERT_EQ(log.Count("TaverneOfflineViewMail: "), 1);
  std::string line;
  for (const auto& l : log.lines)
    if (l.rfind("TaverneOfflineViewMail: ", 0) == 0) line = l;
  EXPECT_NE(line.find("<sender : Eberhard        sending date : 01.01.1971 >"), std::string::npos) << line;
  EXPECT_NE(line.find("<reference  : Peace>"), std::string::npos) << line;
}

TEST_F(LetterWindow, ANewLetterToAllAndTheListWithTheOwnCopy) {
  Put(InName(0x60, 0), Letter("Friedrich", 0x60, "Old", 100, "An old letter."));
  qoe_test::LogLines log;
  // B003 first: no mark, so B001 writes a new letter to all.
  Run(Clear() + Write() + Type("Grain prices") + Enter() + Type("Dear lords,") + Enter() + Type("wheat is cheap.") +
      Png("editor.png") + Send() + Enter() + Read() + "key esc\n" + Close());
  qoe_test::KeepPng("editor.png");
  EXPECT_EQ(log.Count("Meldung 814"), 1);
  ASSERT_EQ(Files("Data/MailOut"), (std::vector<std::string>{"Efffffff_00.smal"}));
  const auto out = qoe_test::ReadFileBytes("Data/MailOut/Efffffff_00.smal");
  EXPECT_EQ(Str(out, 0).substr(0, 8), "SMALV001");
  EXPECT_EQ(Str(out, 12), "Ragnar");
  EXPECT_EQ(Str(out, 52), "all lords");
  EXPECT_EQ(Str(out, 92), "Grain prices");
  EXPECT_EQ(Be32(out, 276), kOwnId);
  EXPECT_EQ(Be32(out, 280), 0xFFFFFFFFu);
  EXPECT_EQ(Be32(out, 288), std::string("Dear lords,\nwheat is cheap.").size() + 1);
  EXPECT_EQ(Str(out, 292), "Dear lords,\nwheat is cheap.");
  EXPECT_EQ(qoe_test::ReadFileBytes(InName(kOwnIdFile, 0)), out);
  // The list was built anew: the own copy is the newest and read first.
  const auto reads = Reads(log);
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0], InPath(kOwnIdFile, 0));
}

TEST_F(LetterWindow, AnAnswerKeepsSubjectAndRecipientName) {
  Put(InName(0x70, 0), Letter("Gisela", 0x70, "Alliance?", 100, "Shall we?", kOwnId, "Ragnar the Bold"));
  Run(Row(0) + Write() + Type("Yes.") + Send() + Enter() + Close());
  ASSERT_EQ(Files("Data/MailOut"), (std::vector<std::string>{"Efffffff_00.smal"}));
  const auto out = qoe_test::ReadFileBytes("Data/MailOut/Efffffff_00.smal");
  EXPECT_EQ(Str(out, 92), "Alliance?");
  EXPECT_EQ(Str(out, 52), "Ragnar the Bold");
  EXPECT_EQ(Be32(out, 280), 0xFFFFFFFFu);
  EXPECT_EQ(Str(out, 292), "Yes.");
}

TEST_F(LetterWindow, ABlankSubjectAndAnEmptyTextWriteNothing) {
  qoe_test::LogLines log;
  // Blanks only: 813 and back to the list. Then an empty text: Send stays in
  // the editor (its Cancel then leaves it).
  Run(Enter() + Write() + Type("   ") + Enter() + Enter() + Write() + Type("Subject") + Enter() + Send() + Send() + Cancel() +
      Close());
  EXPECT_EQ(log.Count("Meldung 813"), 1);
  EXPECT_EQ(log.Count("Meldung 814"), 0);
  EXPECT_TRUE(Files("Data/MailOut").empty());
  EXPECT_TRUE(Files("Data/MailIn").empty());
}

TEST_F(LetterWindow, FiftyLinesAtMostBackspaceJoinsAndTheBoxScrolls) {
  qoe_test::LogLines log;
  // An empty line, removed by Backspace; then lines to the 50th, whose
  // Enter opens nothing.
  std::string s = Enter() + Write() + Type("Lines") + Enter() + Type("1") + Enter() + Enter() + "key backspace\n";
  for (int k = 2; k <= 50; ++k) s += Type(std::to_string(k)) + Enter();
  s += Type("x") + Png("fifty.png");
  // Up to the top: the box follows the cursor.
  for (int k = 0; k < 55; ++k) s += "key up\n";
  s += Send() + Enter() + Close();
  Run(s);
  qoe_test::KeepPng("fifty.png");
  ASSERT_EQ(Files("Data/MailOut"), (std::vector<std::string>{"Efffffff_00.smal"}));
  const std::string text = Str(qoe_test::ReadFileBytes("Data/MailOut/Efffffff_00.smal"), 292);
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 49);
  std::string want;
  for (int k = 1; k <= 49; ++k) want += std::to_string(k) + "\n";
  want += "50x";
  EXPECT_EQ(text, want);
  EXPECT_GT(log.Count("TaverneOfflineWriteMail: oberste Zeile 1\n"), 0);  // scrolled down while typing
  EXPECT_GT(log.Count("TaverneOfflineWriteMail: oberste Zeile 0\n"), 0);  // and up again
}

TEST_F(LetterWindow, ALetterThatCannotBeStoredKeepsTheEditorOpen) {
  // A hundred letters to all wait already: the 101st has no name.
  for (uint32_t k = 0; k < 100; ++k) {
    char n[64];
    std::snprintf(n, sizeof n, "Data/MailOut/Efffffff_%2.2u.smal", k);
    Put(n, Letter("Ragnar", kOwnId, "Earlier", 100 + k, "x", 0xFFFFFFFF));
  }
  qoe_test::LogLines log;
  Run(Enter() + Write() + Type("More") + Enter() + Type("Still here") + Send() + Enter() + Type("!") + Send() + Enter() +
      Cancel() + Close());
  EXPECT_EQ(log.Count("Meldung 1583"), 2);  // the text was still there the second time
  EXPECT_EQ(log.Count("Meldung 814"), 0);
  EXPECT_EQ(Files("Data/MailOut").size(), 100u);
  EXPECT_TRUE(Files("Data/MailIn").empty());
}

TEST_F(LetterWindow, ClosingKeepsTheFiftyOneNewestWhateverTheOrder) {
  std::vector<uint32_t> dates(60);
  for (uint32_t k = 0; k < 60; ++k) dates[k] = 1000 + k * 7;
  std::mt19937 rng(5);
  std::shuffle(dates.begin(), dates.end(), rng);
  std::set<std::string> newest;
  std::vector<std::pair<uint32_t, std::string>> by_date;
  for (uint32_t k = 0; k < 60; ++k) {
    // Subjects run against the dates, so the subject order differs.
    Put(InName(0x80 + k / 50, k % 50), Letter("Hagen", 0x80, "S" + std::to_string(100 + (k * 37) % 60), dates[k], "t"));
    by_date.push_back({dates[k], fs::path(InName(0x80 + k / 50, k % 50)).filename().string()});
  }
  std::sort(by_date.rbegin(), by_date.rend());
  for (int k = 0; k < 51; ++k) newest.insert(by_date[k].second);
  Run(Sort() + Close());
  const auto left = Files("Data/MailIn");
  EXPECT_EQ(std::set<std::string>(left.begin(), left.end()), newest);
}

TEST_F(LetterWindow, HostileLetterFilesAreSkippedOrEnded) {
  auto good = Letter("Ida", 0x90, "Good", 500, "fine");
  auto truncated = Letter("Ida", 0x90, "Cut", 400, "cut off here");
  truncated.resize(200);
  auto past = Letter("Ida", 0x90, "Past", 300, "short");
  Put32(past, 288, 100000);  // the text would pass the file
  auto open_text = Letter("Ida", 0x90, "Open", 200, "no end");
  open_text.pop_back();      // no zero byte: the chunk ends with the text
  Put32(open_text, 8, (uint32_t)open_text.size() - 12);
  Put32(open_text, 288, 6);
  Put(InName(0x90, 0), good);
  Put(InName(0x90, 1), truncated);
  Put(InName(0x90, 2), past);
  Put(InName(0x90, 3), open_text);
  ListHeader* list = CreateList(LIST_LETTERS);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(ScanSmals2List(list, ".\\Data\\MailIn", "        _  .smal", 0), 2u);
  for (ListNode* n = list->first; n && list->count; n = n->next) {
    auto* e = reinterpret_cast<SmalListEntry*>(n);
    if (std::string(e->subject) == "Open") {
      EXPECT_STREQ(e->text, "no end");
    }
    if (n->next == list->first) break;
  }
  DeleteList(list, 1);
  // The window lists the two and reads them.
  qoe_test::LogLines log;
  Run(Read() + "key esc\n" + Row(1) + Read() + Png("open.png") + "key esc\n" + Close());
  EXPECT_EQ(Reads(log), (std::vector<std::string>{InPath(0x90, 0), InPath(0x90, 3)}));
}

// ---- The diplomacy screen's entry -----------------------------------------

// A layout of the stand-in caller: FORM SCRN with its title (type 0), the
// editor's gadgets (type 1) and the five areas (type 2).
std::vector<uint8_t> CallerLayout() {
  std::vector<uint8_t> body;
  auto u16 = [](std::vector<uint8_t>& v, uint32_t x) {
    v.push_back((uint8_t)(x >> 8));
    v.push_back((uint8_t)x);
  };
  auto u32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    u16(v, x >> 16);
    u16(v, x & 0xFFFF);
  };
  auto chunk = [&](const char* id, const std::vector<uint8_t>& payload) {
    body.insert(body.end(), id, id + 4);
    u32(body, (uint32_t)payload.size());
    body.insert(body.end(), payload.begin(), payload.end());
    if (payload.size() % 2) body.push_back(0);
  };
  std::vector<uint8_t> t;
  u16(t, 12);
  u16(t, 1);
  for (uint32_t v : {100u, 20u, 540u, 40u}) u16(t, v);
  u32(t, 0xFFFFFFFF);
  chunk("RT00", t);
  std::vector<uint8_t> g;
  u16(g, 24);
  u16(g, 2);
  const struct {
    const char* id;
    uint32_t x1;
  } gadgets[] = {{"BU40", 100}, {"BU41", 300}};
  for (const auto& gd : gadgets) {
    for (uint32_t v : {0u, 0u, 0u, 0u, gd.x1, 430u, gd.x1 + 79, 445u}) u16(g, v);
    g.insert(g.end(), gd.id, gd.id + 4);
    u32(g, 0);
  }
  chunk("RT01", g);
  std::vector<uint8_t> a;
  u16(a, 12);
  u16(a, 5);
  const uint32_t rects[5][4] = {{100, 150, 500, 400}, {100, 60, 540, 76}, {100, 80, 540, 94}, {100, 98, 540, 112},
                                {510, 150, 524, 400}};
  for (const auto& r : rects) {
    for (uint32_t v : r) u16(a, v);
    u32(a, 0);
  }
  chunk("RT02", a);
  std::vector<uint8_t> file = {'F', 'O', 'R', 'M'};
  u32(file, (uint32_t)body.size() + 4);
  file.insert(file.end(), {'S', 'C', 'R', 'N'});
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

int DiplomacyCaller(void* arg) {
  auto* result = static_cast<int32_t*>(arg);
  ScreenBase base;
  if (!OpenScreenPicture(&base, 34, 0)) return -1;
  WaitTransition();
  const auto layout = CallerLayout();
  TaverneMailData d{};
  d.region = ParseScreenRegion(layout.data(), (uint32_t)layout.size(), 7);
  d.headingFont = OpenDiskFont("fonts\\ElmorC1.fnt");
  d.textFont = OpenDiskFont("fonts\\Xen8.fnt");
  d.backPen = 215;
  d.textPen = 1;
  d.headerShown = 1;
  d.selected = 0xFFFF;
  d.recipientName = "Baron Kunibert";
  d.recipientId = 0x777;
  if (d.region && d.headingFont && d.textFont) *result = TaverneOfflineWriteMail(&d, nullptr);
  CloseFont(d.textFont);
  CloseFont(d.headingFont);
  FreeScreenRegion(d.region);
  CloseScreenBase(&base, 0);
  return 0;
}

TEST_F(LetterWindow, TheDiplomacyScreenWritesToItsLord) {
  qoe_test::DrawnTextRecorder drawn;
  int32_t result = -7;
  const std::string s = Type("Border") + Enter() + Type("Your knights crossed the river.") + Png("diplomacy.png") +
                        Click(140, 437) + Enter();
  ASSERT_EQ(HeadlessRunGame(s.c_str(), DiplomacyCaller, &result), 0);
  qoe_test::KeepPng("diplomacy.png");
  EXPECT_EQ(result, 1);
  ASSERT_EQ(Files("Data/MailOut"), (std::vector<std::string>{"E0000777_00.smal"}));
  const auto out = qoe_test::ReadFileBytes("Data/MailOut/E0000777_00.smal");
  EXPECT_EQ(Str(out, 52), "Baron Kunibert");
  EXPECT_EQ(Be32(out, 280), 0x777u);
  EXPECT_EQ(Str(out, 92), "Border");
  EXPECT_EQ(Str(out, 292), "Your knights crossed the river.");
  // The editor's heading, like every text it drew, is the catalog's.
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1802)));
  EXPECT_EQ(drawn.PastCatalog(), "");
}

// ---- The game server --------------------------------------------------------

class LetterServer : public LetterWindow {
 protected:
  void Serve(const std::vector<std::string>& options) {
    std::string err;
    ASSERT_TRUE(qoe_peers::StartGameServer(dir_.path, options, &server_, &err)) << err;
    Point(server_.port);
  }
  static void Point(uint16_t port) {
    std::snprintf(QoESystemPtr->Endpoints.GameServer, sizeof QoESystemPtr->Endpoints.GameServer, "127.0.0.1:%u", port);
  }
  int Call(int (*work)(), const std::string& script) {
    ::Call c{work};
    EXPECT_EQ(HeadlessRunGame(script.c_str(), TavernWithCall, &c), 0);
    return c.result;
  }
  static int SendAll() { return SendBotschaftPerTCPIP(nullptr); }
  static int Fetch() { return HoleBotschaftPerTCPIP(); }
  void TwoLetters() {
    ASSERT_EQ(CreateSmalMail("all lords", 0xFFFFFFFF, "First", "one"), 1);
    ASSERT_EQ(CreateSmalMail("Baron", 0x99, "Second", "two"), 1);
  }
  qoe_peers::PeerDir dir_;
  qoe_peers::GameServerDouble server_;
  std::string store() const { return dir_.path + "/store"; }
  std::string transcript() const { return dir_.path + "/transcript"; }
  std::string script() const { return dir_.path + "/script"; }
};

TEST_F(LetterServer, ARefusedConnectionKeepsBothLetters) {
  TwoLetters();
  Point(qoe_peers::FreePort());
  EXPECT_EQ(Call(SendAll, Enter()), 0);
  EXPECT_EQ(Files("Data/MailOut").size(), 2u);
}

TEST_F(LetterServer, ARefusalOfTheSecondLetterKeepsIt) {
  TwoLetters();
  ASSERT_TRUE(qoe_peers::WriteText(script(), "2 fail MSG mailbox full\n"));
  Serve({"--store", store(), "--transcript", transcript(), "--script", script()});
  EXPECT_EQ(Call(SendAll, Enter()), 0);
  // Directory order: E0000099_00 first, then the letter to all.
  EXPECT_EQ(Files("Data/MailOut"), (std::vector<std::string>{"Efffffff_00.smal"}));
  EXPECT_EQ(Files(store()), (std::vector<std::string>{"msg_001.bin"}));
  EXPECT_EQ(Str(qoe_test::ReadFileBytes(store() + "/msg_001.bin"), 92), "Second");
  const std::string t = qoe_peers::ReadText(transcript());
  EXPECT_NE(t.find("C:+SID 153\n"), std::string::npos) << t;
  EXPECT_NE(t.find("C:+SID 4294967295\n"), std::string::npos) << t;
  // Accepted now: the letter to all arrives with its recipient.
  EXPECT_EQ(Call(SendAll, Enter()), 1);
  EXPECT_TRUE(Files("Data/MailOut").empty());
  const auto all = qoe_test::ReadFileBytes(store() + "/msg_002.bin");
  EXPECT_EQ(Be32(all, 280), 0xFFFFFFFFu);
  EXPECT_EQ(Str(all, 92), "First");
}

TEST_F(LetterServer, ADropAfterAnyByteLosesNothing) {
  ASSERT_EQ(CreateSmalMail("Baron", 0x99, "Only", "one letter"), 1);
  const auto letter = qoe_test::ReadFileBytes("Data/MailOut/E0000099_00.smal");
  Serve({"--store", store(), "--script", script()});
  // The server sends "+VER 0.01\r\n", "+ACK\r\n" (SID), "+ACK\r\n" (MSG),
  // "+ACK\r\n" (data), "+ACK\r\n" (QUI): 35 bytes.
  for (int cut = 0; cut < 35; ++cut) {
    ASSERT_TRUE(qoe_peers::WriteText(script(), "drop " + std::to_string(cut) + "\n"));
    const int sent = Call(SendAll, Enter());
    const bool stored = !Files(store()).empty();
    const bool kept = !Files("Data/MailOut").empty();
    // Either still waiting, or stored by the server and gone from MailOut
    // only when the server acknowledged the data.
    EXPECT_TRUE(kept || stored) << cut;
    if (!stored) {
      EXPECT_TRUE(kept) << cut;
    }
    if (!kept) {
      EXPECT_EQ(sent, 1) << cut;
      EXPECT_EQ(qoe_test::ReadFileBytes(store() + "/msg_001.bin"), letter) << cut;
      break;
    }
  }
}

TEST_F(LetterServer, FetchedLettersAreListed) {
  const std::string letters = dir_.path + "/letters";
  fs::create_directories(letters);
  Serve({"--letters", letters, "--transcript", transcript()});
  // None waiting.
  EXPECT_EQ(Call(Fetch, Enter()), 1);
  EXPECT_TRUE(Files("Data/MailIn").empty());
  // One, then three.
  ASSERT_TRUE(qoe_test::WriteFileBytes(letters + "/a.smal", Letter("Jost", 0xA1, "One", 100, "1")));
  EXPECT_EQ(Call(Fetch, Enter()), 1);
  EXPECT_EQ(Files("Data/MailIn"), (std::vector<std::string>{"E00000a1_00.smal"}));
  for (int k = 0; k < 3; ++k)
    ASSERT_TRUE(qoe_test::WriteFileBytes(letters + "/b" + std::to_string(k) + ".smal",
                                         Letter("Kurt", 0xB2, "Three " + std::to_string(k), 200 + k, "3")));
  EXPECT_EQ(Call(Fetch, Enter()), 1);
  EXPECT_EQ(Files("Data/MailIn").size(), 4u);
  EXPECT_NE(qoe_peers::ReadText(transcript()).find("C:+SID 4660\n"), std::string::npos);
  // The window, on the server route, fetches on opening and lists them all.
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
  ASSERT_TRUE(qoe_test::WriteFileBytes(letters + "/c.smal", Letter("Lutz", 0xC3, "Fresh", 900, "new")));
  qoe_test::LogLines log;
  Run(Enter() + Read() + "key esc\n" + Close());
  EXPECT_EQ(Files("Data/MailIn").size(), 5u);
  EXPECT_EQ(Reads(log), (std::vector<std::string>{InPath(0xC3, 0)}));
}

TEST_F(LetterServer, NoToEitherQuestionOpensNoConnection) {
  TwoLetters();
  Serve({"--transcript", transcript()});
  EXPECT_EQ(Call(SendAll, "key esc\n"), 0);
  EXPECT_EQ(Call(Fetch, "key esc\n"), 0);
  EXPECT_EQ(Files("Data/MailOut").size(), 2u);
  EXPECT_EQ(qoe_peers::ReadText(transcript()), "");
}

TEST_F(LetterServer, AWrittenLetterGoesAtOnceOnTheServerRoute) {
  qoe_test::DrawnTextRecorder drawn;
  Serve({"--store", store(), "--transcript", transcript()});
  QoESystemPtr->Optionen.net_option_bits = NET_SERVER_ROUTE;
  // Opening asks to fetch (no), then the letter: send (yes), written (OK).
  Run("key esc\n" + Enter() + Write() + Type("News") + Enter() + Type("Hello all") + Send() + Enter() + Enter() +
      Close());
  EXPECT_TRUE(Files("Data/MailOut").empty());
  ASSERT_EQ(Files(store()), (std::vector<std::string>{"msg_001.bin"}));
  EXPECT_NE(qoe_peers::ReadText(transcript()).find("C:+SID 4294967295\n"), std::string::npos);
  // Both questions, like every text drawn, are the catalog's.
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1800)));
  EXPECT_TRUE(drawn.Drew(GetCatalogStr(1801)));
  EXPECT_EQ(drawn.PastCatalog(), "");
}

}  // namespace
