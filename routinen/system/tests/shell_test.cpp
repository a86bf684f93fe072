#include "routinen/system/shell.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "routinen/system/catalog.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/fatal.h"
#include "platform/headless.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/input.h"
#include "platform/log.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "platform/screenmode.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "platform/threads.h"
#include "routinen/system/timer.h"
#include "platform/cd_audio.h"

namespace {

// What happened, in order: "screen:<code>:<entry>" and hook names.
std::vector<std::string> g_trail;
std::vector<int32_t> g_returns;  // codes the test screens return, in turn
size_t g_next = 0;

bool WriteData(const char* path, const char* text) {
  return qoe_test::WriteFileBytes(path, std::vector<uint8_t>(text, text + std::strlen(text)));
}

int32_t NextReturn() { return g_next < g_returns.size() ? g_returns[g_next++] : -1; }

template <int Code>
int32_t TestScreen(int32_t entry) {
  g_trail.push_back("screen:" + std::to_string(Code) + ":" + std::to_string(entry));
  return NextReturn();
}

// A title that waits for the player: Escape quits, anything else continues.
int32_t WaitingTitle(int32_t entry) {
  g_trail.push_back("screen:1:" + std::to_string(entry));
  int32_t code = WaitEvent(WE_TICKS);
  while (code == WE_TICK) code = WaitEvent(WE_TICKS);
  return code == WE_KEY_ESCAPE ? -1 : NextReturn();
}

const ScreenTableEntry kScreens[] = {
    {1, TestScreen<1>},     {2, TestScreen<2>},     {3, TestScreen<3>},     {39, TestScreen<39>},
    {133, TestScreen<133>}, {152, TestScreen<152>}, {505, TestScreen<505>}, {519, TestScreen<519>},
    {1293, TestScreen<1293>},
};

int32_t HookOk(const char* name) {
  g_trail.push_back(name);
  return 1;
}
int32_t g_sound_result = 1;
ShellHooks RecordingHooks() {
  ShellHooks h{};
  // The story table is built before the TCP/IP layer starts.
  h.StartTcpIp = [] {
    CatalogEntry** t = StoryEventTable();
    return HookOk(t && t[0] == &StoryStrings[0] && t[44] == &StoryStrings[44] ? "story+tcp" : "tcp");
  };
  h.QuitTcpIp = [] { HookOk("tcp-quit"); };
  h.SoundMaske = [](uint32_t wanted, const char* module) -> int32_t {
    g_trail.push_back(std::string("sound:") + std::to_string(wanted) + ":" + module);
    return g_sound_result;
  };
  h.ExitSound = [] { HookOk("exit-sound"); };
  h.StartIrcPanel = [] { HookOk("irc"); };
  h.StopIrcPanel = [] { HookOk("irc-stop"); };
  h.MapPrebuild = [] { return HookOk("map"); };
  h.MapRelease = [] { HookOk("map-release"); };
  return h;
}

class ShellThread : public ::testing::Test {
 protected:
  void SetUp() override {
    DebugLogSetStderr(0);
    mkdir("Data", 0755);
    g_trail.clear();
    g_returns.clear();
    g_next = 0;
    g_sound_result = 1;
    ResetShellState();
    SetScreenTable(kScreens, sizeof kScreens / sizeof kScreens[0]);
    ResetInputState();
    OwnPlayerPtr->Mark = 0;
  }
  void TearDown() override {
    ShutdownSystem();
    ResetShellState();
    ResetCatalogState();
    HeadlessCloseDisplay();
    ResetInputState();
    DebugLogSetStderr(1);
  }
  // The start-up sequence as the program runs it, then Main on the game
  // thread with the script as the window thread.
  void RunProgram(uint32_t mode, const char* script) {
    ASSERT_EQ(HeadlessOpenDisplay(mode), 1);
    ASSERT_EQ(OpenLibraries(), 1);
    ASSERT_EQ(CheckSystem(), 1);
    ASSERT_EQ(SetupSystem(), 1);
    ASSERT_EQ(InitializeDirectSound(), 1);
    HeadlessRunGame(script, Main, nullptr);
  }
};

std::vector<std::string> Screens() {
  std::vector<std::string> v;
  for (const auto& s : g_trail)
    if (s.rfind("screen:", 0) == 0) v.push_back(s);
  return v;
}

}  // namespace

TEST_F(ShellThread, DispatcherRunsScreensInOrderAndPassesEntryToMap) {
  // title -> main -> map (from 2) -> main -> town -> map (from 39) -> town ->
  // barracks -> map (from 152) -> map again (still from 152) -> -1
  g_returns = {2, 3, 2, 39, 3, 39, 152, 3, 3, -1};
  EXPECT_EQ(RunScreenDispatcher(), -1);
  EXPECT_EQ(Screens(), (std::vector<std::string>{"screen:1:0", "screen:2:1", "screen:3:2", "screen:2:3",
                                                 "screen:39:2", "screen:3:39", "screen:39:3", "screen:152:39",
                                                 "screen:3:152", "screen:3:152"}));
}

// The map's way back is the main screen, the town view or the barracks that
// led the player towards it, never a screen the map opened itself: the
// dungeon an explorer entered (it returns to the map) or the town a figure
// entered. Each row: the start code (0: the title), the codes the screens
// return in turn, and the entries the map is given.
struct MapWayBackCase {
  const char* name;
  int32_t start;
  std::vector<int32_t> returns;
  std::vector<int32_t> mapEntries;
};

TEST_F(ShellThread, TheMapLeadsBackToTheScreenThatOpenedItNotToOneItOpened) {
  const MapWayBackCase kCases[] = {
      // main -> map -> dungeon -> map -> main
      {"dungeon", 0, {2, 3, 1293, 3, 2, -1}, {2, 2}},
      // the dungeon twice, then the town view's way
      {"dungeon twice", 0, {2, 3, 1293, 3, 1293, 3, -1}, {2, 2, 2}},
      // started at the dungeon: the map leads to the main screen
      {"start at the dungeon", 1293, {3, 2, -1}, {2}},
      // started at the map
      {"start at the map", 3, {2, -1}, {2}},
      // main -> map -> town entered by a figure -> harbour -> map
      {"town entered from the map", 0, {2, 3, 39, 519, 3, -1}, {2, 2}},
      // the same town view left for itself (another town chosen)
      {"town changed", 0, {2, 3, 39, 39, 519, 3, -1}, {2, 2}},
      // town -> map -> its way back, the town -> harbour -> map
      {"town view as way back", 39, {3, 39, 519, 3, -1}, {39, 39}},
      // main -> map -> town entered by a figure -> barracks -> map
      {"barracks", 0, {2, 3, 39, 152, 3, 152, -1}, {2, 152}},
      // main -> town -> harbour -> map: the town view led there
      {"harbour", 0, {2, 39, 519, 3, -1}, {39}},
  };
  for (const MapWayBackCase& c : kCases) {
    SCOPED_TRACE(c.name);
    g_trail.clear();
    g_next = 0;
    g_returns = c.returns;
    SetStartScreenCode(c.start);
    RunScreenDispatcher();
    SetStartScreenCode(0);
    std::vector<int32_t> entries;
    for (const std::string& s : Screens())
      if (s.rfind("screen:3:", 0) == 0) entries.push_back(std::atoi(s.c_str() + 9));
    EXPECT_EQ(entries, c.mapEntries);
  }
}

TEST_F(ShellThread, DispatcherStopsOnUnknownCodeAndOnZero) {
  g_returns = {2, 61};  // 61 has no screen here
  EXPECT_EQ(RunScreenDispatcher(), 61);
  EXPECT_EQ(Screens().size(), 2u);
  g_trail.clear();
  g_next = 0;
  g_returns = {2, 0};
  EXPECT_EQ(RunScreenDispatcher(), 0);
  EXPECT_EQ(Screens().size(), 2u);
  g_trail.clear();
  g_next = 0;
  SetScreenTable(kScreens + 1, 1);  // no title screen: nothing runs
  EXPECT_EQ(RunScreenDispatcher(), -1);
  EXPECT_TRUE(g_trail.empty());
}

TEST_F(ShellThread, StoryScreenAfterTitleWhenRequested) {
  ASSERT_EQ(RizizOzezPrefs(0, 1, 3), 3u);
  ASSERT_NE(RizizOzezPrefs(1, 1, 1), 0xFFFFFFFFu);
  g_returns = {2, 2, -1};
  RunScreenDispatcher();
  EXPECT_EQ(Screens(), (std::vector<std::string>{"screen:1:0", "screen:505:1", "screen:2:505"}));
  EXPECT_EQ(RizizOzezPrefs(1, 0, 0), 0u);  // cleared: once only

  // Not when the title leads to the options.
  RizizOzezPrefs(1, 1, 1);
  g_trail.clear();
  g_next = 0;
  g_returns = {133, -1};
  RunScreenDispatcher();
  EXPECT_EQ(Screens(), (std::vector<std::string>{"screen:1:0", "screen:133:1"}));
  EXPECT_EQ(RizizOzezPrefs(1, 0, 0), 1u);
}

// Story prefs of random bytes, or a story the story table does not hold,
// ask for the story screen at start: they fail their checks and are made
// anew, and the title leads on to the main screen.
TEST_F(ShellThread, NoStoryScreenForStoryPrefsOutOfTheirRange) {
  std::vector<uint8_t> story(BTPREFS_FILE_SIZE, 0);
  std::memcpy(story.data(), "BTPRV001", 8);
  PutBE32(&story[12], 3504101453u);
  story[16] = 1;
  std::vector<std::vector<uint8_t>> rows = {story};
  for (uint32_t seed : {1u, 95u, 3504101453u}) {
    std::vector<uint8_t> b(BTPREFS_FILE_SIZE);
    for (uint8_t& x : b) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    ASSERT_NE(b[16], 0);  // asks for the story screen
    rows.push_back(b);
    std::memcpy(b.data(), "BTPRV001", 8);
    rows.push_back(b);
  }
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/BTPrefs.qoe", rows[i]));
    g_trail.clear();
    g_next = 0;
    g_returns = {2, -1};
    RunScreenDispatcher();
    EXPECT_EQ(Screens(), (std::vector<std::string>{"screen:1:0", "screen:2:1"}));
    EXPECT_EQ(TakePrefsRepairs(), (uint32_t)PREFS_REPAIR_STORY);
    EXPECT_LT(RizizOzezPrefs(0, 0, 0), (uint32_t)STORY_STRING_COUNT);
  }
}

TEST_F(ShellThread, AStartCodeTakesTheTitlesPlace) {
  ASSERT_EQ(RizizOzezPrefs(0, 1, 3), 3u);
  ASSERT_NE(RizizOzezPrefs(1, 1, 1), 0xFFFFFFFFu);  // no story: that follows the title only
  g_returns = {2, -1};
  SetStartScreenCode(39);
  EXPECT_EQ(RunScreenDispatcher(), -1);
  SetStartScreenCode(0);
  EXPECT_EQ(Screens(), (std::vector<std::string>{"screen:39:1", "screen:2:39"}));
  EXPECT_EQ(RizizOzezPrefs(1, 0, 0), 1u);
}

TEST_F(ShellThread, TheGameEndFreesThePicturesWhateverScreenEndedIt) {
  ShellHooks h = RecordingHooks();
  h.FreePictures = [] { HookOk("free-pictures"); };
  SetShellHooks(&h);
  SetStartScreenCode(152);
  g_returns = {3, 3, -1};
  RunProgram(0, "");
  SetStartScreenCode(0);
  std::vector<std::string> tail(g_trail.end() - 4, g_trail.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"exit-sound", "irc-stop", "free-pictures", "tcp-quit"}));
  // Also when no screen ran at all.
  ShutdownSystem();
  g_trail.clear();
  g_sound_result = 0;
  RunProgram(0, "");
  EXPECT_EQ(g_trail.back(), "tcp-quit");
  EXPECT_EQ(g_trail[g_trail.size() - 2], "free-pictures");
}

TEST_F(ShellThread, MainRunsTheStartAndEndSequence) {
  ShellHooks h = RecordingHooks();
  SetShellHooks(&h);
  g_returns = {2, -1};
  ZufallSeed(1);
  uint32_t pick = Zufall(1);
  ZufallSeed(1);
  RunProgram(4, "");  // 800x600x32: the map is built before the title
  const char* module = pick ? ".\\Mods\\QoEMain2.XM" : ".\\Mods\\QoEMain.XM";
  EXPECT_EQ(g_trail, (std::vector<std::string>{"story+tcp", std::string("sound:0:") + module, "map",
                                               "screen:1:0", "screen:2:1", "map-release", "exit-sound",
                                               "irc-stop", "tcp-quit"}));
  EXPECT_EQ(StoryEventTable(), nullptr);
  EXPECT_EQ(WindowDestroyRequested(), 1);
  EXPECT_EQ(CheckPrefs(PREFS_RUNNING, 0, 0), 0u);  // clean end
}

TEST_F(ShellThread, MainWithIrcPanelOnPaletteDisplay) {
  ShellHooks h = RecordingHooks();
  SetShellHooks(&h);
  ASSERT_EQ(HeadlessOpenDisplay(0), 1);
  ASSERT_EQ(OpenLibraries(), 1);
  ASSERT_EQ(SetupSystem(), 1);
  QoESystemPtr->Optionen.net_option_bits = 16;
  g_returns = {-1};
  HeadlessRunGame("", Main, nullptr);
  QoESystemPtr->Optionen.net_option_bits = 0;
  // 8-bit display: no map pre-build; the panel starts and stops.
  std::vector<std::string> want = {"story+tcp", "irc", "screen:1:0", "exit-sound", "irc-stop", "tcp-quit"};
  g_trail.erase(g_trail.begin() + 1);  // the sound line (module picked at random)
  EXPECT_EQ(g_trail, want);
}

TEST_F(ShellThread, SoundFailureRunsNoScreenAndNoExitSound) {
  ShellHooks h = RecordingHooks();
  SetShellHooks(&h);
  g_sound_result = 0;
  g_returns = {2, -1};
  RunProgram(0, "");
  EXPECT_TRUE(Screens().empty());
  for (const auto& s : g_trail) EXPECT_NE(s, "exit-sound");
  EXPECT_EQ(g_trail.back(), "tcp-quit");
  EXPECT_EQ(WindowDestroyRequested(), 1);
}

TEST_F(ShellThread, UncleanShutdownMarkFromRunningFlag) {
  // A clean run: field 24 is set while running and cleared at the end.
  g_returns = {-1};
  SetScreenTable(nullptr, 0);
  static const ScreenTableEntry probe[] = {{1, [](int32_t) -> int32_t {
                                              g_trail.push_back(std::to_string(CheckPrefs(PREFS_RUNNING, 0, 0)) +
                                                                ":" + std::to_string(OwnPlayerPtr->Mark));
                                              return -1;
                                            }}};
  SetScreenTable(probe, 1);
  RunProgram(0, "");
  EXPECT_EQ(g_trail, (std::vector<std::string>{"1:0"}));
  EXPECT_EQ(CheckPrefs(PREFS_RUNNING, 0, 0), 0u);

  // The flag left set by a run that did not end: the mark is 2.
  CheckPrefs(PREFS_RUNNING, 1, 1);
  g_trail.clear();
  ShutdownSystem();
  HeadlessCloseDisplay();
  RunProgram(0, "");
  EXPECT_EQ(g_trail, (std::vector<std::string>{"1:2"}));
}

TEST_F(ShellThread, ScriptedTitleAndClosedWindow) {
  SetScreenTable(nullptr, 0);
  static const ScreenTableEntry table[] = {{1, WaitingTitle}, {2, TestScreen<2>}};
  SetScreenTable(table, 2);
  g_returns = {2, 1, 2, 1};  // title -> main -> title -> main -> title ...
  RunProgram(0, "timer 0 100\nwait 250\nkey x\nkey esc\n");
  EXPECT_EQ(Screens(), (std::vector<std::string>{"screen:1:0", "screen:2:1", "screen:1:2"}));

  // Closing the window ends the loop although the screens would go on.
  g_trail.clear();
  g_next = 0;
  ShutdownSystem();
  HeadlessCloseDisplay();
  static const ScreenTableEntry loop[] = {{1, WaitingTitle}, {2, [](int32_t) -> int32_t {
                                             g_trail.push_back("screen:2");
                                             WaitEvent(0);
                                             return 1;
                                           }}};
  SetScreenTable(loop, 2);
  g_returns = {2, 2, 2, 2};
  RunProgram(0, "key x\nquit\n");
  EXPECT_EQ(Screens(), (std::vector<std::string>{"screen:1:0", "screen:2"}));
}

TEST_F(ShellThread, SetupSystemReadsAccountValuesAndPaths) {
  CheckPrefs(PREFS_PLAYER_ID, 1, 4711);
  CheckPrefsStr(PREFS_LORD_NAME, 1, "Lord Elmar");
  ASSERT_TRUE(WriteData("Data/Path", "PATHDATA"));
  ASSERT_TRUE(WriteData("Data/SfxPath", "SFX"));
  ASSERT_EQ(HeadlessOpenDisplay(4), 1);
  DisplayModeChoice mode;
  ASSERT_EQ(ScreenModus(&mode), 1);
  ASSERT_EQ(OpenLibraries(), 1);
  ASSERT_EQ(SetupSystem(), 1);
  EXPECT_EQ(OwnPlayerPtr->PlayerId, 4711u);
  EXPECT_STREQ(OwnPlayerPtr->LordName, "Lord Elmar");
  EXPECT_STREQ(OwnPlayerPtr->WebHost, "127.0.0.1");  // the endpoint file, written with defaults
  EXPECT_TRUE(qoe_test::FileExists("Endpoints.cfg"));
  EXPECT_STREQ(OwnPlayerPtr->WebPath, "/");
  EXPECT_EQ(EventTimerRunning(kTimerGameTick), 1);
  EXPECT_EQ(QoESystemPtr->PathsLoaded, 1u);
  ASSERT_EQ(QoESystemPtr->PicPathSize, 8u);
  EXPECT_EQ(std::memcmp(QoESystemPtr->PicPath, "PATHDATA", 8), 0);
  EXPECT_EQ(QoESystemPtr->SfxPathSize, 3u);
  ASSERT_NE(QoESystemPtr->Display, nullptr);
  EXPECT_EQ(QoESystemPtr->Display->Width, 800);
  EXPECT_EQ(QoESystemPtr->Display->Depth, 32);
  EXPECT_EQ(QoESystemPtr->Display->ModeId, 4u);
  // Options were made with defaults; the stack choice is copied.
  EXPECT_EQ(QoESystemPtr->TcpIpStack, QoESystemPtr->Optionen.tcpip_stack);
  static int gfx_paths_freed = 0;
  SetGraphicsPathsFreeHook([] { gfx_paths_freed++; });
  FreePaths();
  SetGraphicsPathsFreeHook(nullptr);
  EXPECT_EQ(gfx_paths_freed, 1);
  EXPECT_EQ(QoESystemPtr->PathsLoaded, 0u);
  EXPECT_EQ(QoESystemPtr->PicPath, nullptr);
  // Headless: no audio output, so no sound is offered; the CD bit only
  // when a drive answers.
  ASSERT_EQ(InitializeDirectSound(), 1);
  EXPECT_EQ(QoESystemPtr->SoundCapabilities.load(), 0u);
  CdScript cd;
  CdScriptInit(&cd);
  SelectCdDrive(&cd.drive);
  ASSERT_EQ(InitializeDirectSound(), 1);
  EXPECT_EQ(QoESystemPtr->SoundCapabilities.load(), uint32_t{SOUND_CDROM});
  EXPECT_EQ(cd.open, 0);  // looked at, then closed again
  SelectCdDrive(nullptr);
  ShutdownSystem();
  EXPECT_EQ(EventTimerRunning(kTimerGameTick), 0);
  EXPECT_EQ(QoESystemPtr->SoundCapabilities.load(), 0u);
}

// ---- Sound-sample cache -------------------------------------------------------

namespace {
uint64_t g_free_mem = 100000000;
uint64_t FakeAvail(uint32_t) { return g_free_mem; }
int g_graphics_freed = 0;
}  // namespace

// Started in a folder without .\Data (the build folder): the program makes
// it, so the prefs and options it writes survive to the next run.
TEST(ShellFolders, StartInAnEmptyFolderMakesDataAndKeepsSettings) {
  DebugLogSetStderr(0);
  ASSERT_FALSE(qoe_test::FileExists("Data"));
  ASSERT_TRUE(WriteData(".qoetmp-Quill.cfg.AAAAAA", "left by a killed save"));
  EXPECT_EQ(PrepareFolders(), 1);
  for (const char* f : {"Data", "Data/POP3In", "Data/POP3Out", "Data/MailIn", "Data/MailOut"})
    EXPECT_TRUE(qoe_test::FileExists(f)) << f;
  EXPECT_FALSE(qoe_test::FileExists(".qoetmp-Quill.cfg.AAAAAA"));
  auto log = qoe_test::ReadFileBytes("Quill.dbg");
  std::string text(log.begin(), log.end());
  EXPECT_NE(text.find("PrepareFolders: Verzeichnis .\\Data angelegt"), std::string::npos) << text;
  EXPECT_NE(text.find("PrepareFolders: 1 verwaiste temporaere Datei(en) geloescht"), std::string::npos) << text;
  EXPECT_EQ(CheckPrefs(PREFS_DISPLAY_MODE, 1, 5), 5u);
  EXPECT_EQ(CheckPrefs(PREFS_DISPLAY_MODE, 0, 0), 5u);
  EXPECT_EQ(qoe_test::ReadFileBytes("Data/Prefs.qoe").size(), 264u);
  // A second start finds everything there and logs nothing new.
  const size_t logged = qoe_test::ReadFileBytes("Quill.dbg").size();
  EXPECT_EQ(PrepareFolders(), 1);
  EXPECT_EQ(qoe_test::ReadFileBytes("Quill.dbg").size(), logged);
  // A file where .\Data belongs: reported.
  std::filesystem::remove_all("Data");
  ASSERT_TRUE(WriteData("Data", "not a folder"));
  EXPECT_EQ(PrepareFolders(), 0);
  DebugLogSetStderr(1);
}

TEST(SfxCache, CopiesKeepsOneCopyAndFrees) {
  DebugLogSetStderr(0);
  SetSfxCacheMemoryProbe(FakeAvail);
  g_free_mem = 100000000;
  uint8_t sample[100];
  for (int i = 0; i < 100; i++) sample[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(Copy2SfxCache(5, 100, sample), 0);
  uint32_t size = 0;
  const auto* copy = static_cast<const uint8_t*>(SfxCacheEntry(5, &size));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, sample);
  EXPECT_EQ(size, 100u);
  EXPECT_EQ(std::memcmp(copy, sample, 100), 0);
  // A second copy of the same ID is not made.
  EXPECT_EQ(Copy2SfxCache(5, 50, sample), 0);
  EXPECT_EQ(SfxCacheEntry(5, &size), copy);
  EXPECT_EQ(size, 100u);
  // ID 1 (the click) is never cached; nor beyond the table.
  EXPECT_EQ(Copy2SfxCache(1, 100, sample), 0);
  EXPECT_EQ(SfxCacheEntry(1, nullptr), nullptr);
  EXPECT_EQ(Copy2SfxCache(SFX_CACHE_ENTRIES, 100, sample), 0);
  EXPECT_EQ(SfxCacheEntry(SFX_CACHE_ENTRIES, &size), nullptr);

  // Low memory: 70 % of the free memory at most 5,000,000 bytes.
  g_free_mem = 7142857;  // 70 % = 4,999,999
  EXPECT_EQ(Copy2SfxCache(6, 100, sample), 0);
  EXPECT_EQ(SfxCacheEntry(6, nullptr), nullptr);
  g_free_mem = 7142858;  // 70 % = 5,000,000.6: room
  EXPECT_EQ(Copy2SfxCache(6, 100, sample), 0);
  EXPECT_NE(SfxCacheEntry(6, nullptr), nullptr);

  // A failed allocation: result 1, the entry stays empty.
  AllocVecFailAfter(0);
  EXPECT_EQ(Copy2SfxCache(7, 100, sample), 1);
  AllocVecFailAfter(-1);
  EXPECT_EQ(SfxCacheEntry(7, nullptr), nullptr);

  // Bit 1 frees the graphics through the picture manager's hook only.
  SetGraphicsCacheFreeHook([] { g_graphics_freed++; });
  FreeCaches(1);
  EXPECT_EQ(g_graphics_freed, 1);
  EXPECT_NE(SfxCacheEntry(5, nullptr), nullptr);
  FreeCaches(2);
  EXPECT_EQ(g_graphics_freed, 1);
  EXPECT_EQ(SfxCacheEntry(5, nullptr), nullptr);
  EXPECT_EQ(SfxCacheEntry(6, nullptr), nullptr);
  FreeCaches(5);  // the map's rebuild: graphics
  EXPECT_EQ(g_graphics_freed, 2);
  SetGraphicsCacheFreeHook(nullptr);
  SetSfxCacheMemoryProbe(nullptr);
  DebugLogSetStderr(1);
}

// ---- Fatal signal -------------------------------------------------------------

namespace {

int32_t FaultingScreen(int32_t) {
  volatile uintptr_t where = 16;
  *reinterpret_cast<volatile int*>(where) = 1;
  return -1;
}

// The program's run as main does it, with a title screen that faults.
void RunFaultingProgram() {
  DebugLogSetStderr(1);
  mkdir("Data", 0755);
  static const ScreenTableEntry table[] = {{1, FaultingScreen}};
  SetScreenTable(table, 1);
  if (!HeadlessOpenDisplay(0)) std::_Exit(10);
  InstallFatalSignalHandlers(ShutdownSystem);
  if (!OpenLibraries() || !CheckSystem() || !SetupSystem() || !InitializeDirectSound()) std::_Exit(11);
  QoeThread* game = StartThread("Game", Main, nullptr);
  if (!game) std::_Exit(12);
  RunWindowLoop();
  std::_Exit(13);  // not reached: the fatal shut-down ends the process
}

}  // namespace

TEST(ShellDeathTest, FatalSignalInScreenEndsInOrderlyShutdown) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // The re-run child must leave SIGSEGV to us, not to AddressSanitizer.
  std::string asan = "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0";
  if (const char* old = std::getenv("ASAN_OPTIONS"); old && *old) asan = std::string(old) + ":" + asan;
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
  EXPECT_EXIT(RunFaultingProgram(), ::testing::ExitedWithCode(3),
              "ShutdownSystem: Programm wird beendet \\(Fatal Exception\\)(.|\n)*Fatal Error: Fatal Exception: "
              "Access Violation");
}
