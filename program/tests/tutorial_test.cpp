// The tutorial played through on the demo realm, headless, as a player
// would: the main screen is visited, the chancellor's text read, and the
// way the text names carried out (a screen run by clicks, or what the map's
// and the letter editor's orders write), then the main screen visited
// again. A visit with nothing done shows no new text, so no praise comes
// for what the player did not do; every text names a way the game has, and
// each way changes what it should.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/layout.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/economy/bau.h"
#include "screens/economy/forschung.h"
#include "screens/economy/kornlager.h"
#include "screens/economy/stadt.h"
#include "screens/economy/steuern.h"
#include "screens/hub/residenz.h"
#include "screens/hub/residenzdownload.h"
#include "screens/hub/residenzdownload_internal.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_support.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace fs = std::filesystem;

namespace {

const char kTextLine[] = "Residenz: Text fuer den Spieler: ";

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class Tutorial : public ::testing::Test, protected qoe_test::HeadlessScreen {
 protected:
  Realm realm;
  char name[MAIL_NAME_SIZE] = {};

  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/Stadt3.dat");
    qoe_test::CopyDataKit();
    std::string err;
    ASSERT_TRUE(LoadRealmFile(qoe_test::SourceDir() + "/tools/turnbuilder/realms/demo.realm", &realm, &err)) << err;
    fs::create_directories("Data/POP3In");
    fs::create_directories("Data/POP3Out");
    fs::create_directories("Data/MailOut");
    *OwnPlayerPtr = OwnPlayer{};
    OptionenPrefsDefault(&QoESystemPtr->Optionen);
    ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildSignupAnswer(realm)));
    ASSERT_EQ(GameInit(ReceivedPoolPath), 1);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    CheckPrefs(PREFS_LAST_MAIL_DATE, 1, 0);
    CheckPrefs(PREFS_TUTORIAL_STEP, 1, 0);
    CheckPrefs(PREFS_TIP_COUNTER, 1, 9);
    CheckPrefs(PREFS_NEW_TURN, 1, 1);  // the realm's first turn has come
    TurnMailName(realm.player_id, name);
    RegisterGameDataListTypes();
    SetGameDataOwner(realm.player_id, realm.player_name.c_str());
    std::snprintf(OwnPlayerPtr->LordName, sizeof OwnPlayerPtr->LordName, "%s", realm.player_name.c_str());
    OwnPlayerPtr->ActiveTown = 1;  // Elmor, level 3: granary, tavern, building ground
    OpenHeadlessScreen(0);
  }
  void TearDown() override {
    CloseHeadlessScreen();
    ResetChunkPoolState();
    SetGameDataOwner(0, nullptr);
    *OwnPlayerPtr = OwnPlayer{};
  }

  int32_t Run(int32_t (*screen)(int32_t), int32_t entry, const std::string& script) {
    return RunScreen(screen, entry, "timer 0 100\nwait 1500\n" + script + "wait 500\n");
  }
  // A gadget's centre in a layout of the kit (screen coordinates).
  std::string ClickGadget(const char* layout, const char* id) {
    const std::string path = std::string(".\\Data\\Screendat\\") + layout;
    ScreenRegion* r = GetScreenRegion(path.c_str(), 2);
    EXPECT_NE(r, nullptr) << layout;
    if (!r) return "";
    const Gadget* g = FindGadget(r, id);
    EXPECT_NE(g, nullptr) << layout << " " << id;
    const std::string click = g ? Click((g->x1 + g->x2) / 2, (g->y1 + g->y2) / 2) : "";
    FreeScreenRegion(r);
    return click + "wait 300\n";
  }
  // From the town view to one of its places: the code it leads to.
  int32_t TownViewTo(const char* id) { return Run(StadtScreen, 2, ClickGadget("Stadt3.dat", id)); }

  // A visit of the main screen: its boxes answered with Enter (yes to the
  // tutorial's question), left by the door. The texts the chancellor showed.
  std::vector<std::string> Visit() {
    qoe_test::LogLines log;
    EXPECT_EQ(Run(ResidenzScreen, 2, "key enter\nwait 800\nkey enter\nwait 800\n" + Click(60, 300)), 1);
    std::vector<std::string> texts;
    for (const std::string& l : log.lines)
      if (l.rfind(kTextLine, 0) == 0) texts.push_back(l.substr(sizeof kTextLine - 1));
    for (std::string& t : texts)
      while (!t.empty() && t.back() == '\n') t.pop_back();
    return texts;
  }

  static bool InOutgoing(ChunkIndex i) { return IsChunkInFile(ChunkBit(i), OutgoingPoolPath) == 1; }
  static uint32_t OutgoingKorn(uint32_t offset) {
    uint8_t* k = LoadChunk2Mem("KORN", OutgoingPoolPath);
    const uint32_t v = k && ChunkLength(k) + sizeof(ChunkHeader) >= offset + 4 ? ChunkGet32(k, offset) : 0;
    if (k) FreeChunk(k);
    return v;
  }
  static bool ScoutMoved() {
    uint8_t* move = LoadChunk2Mem("MOVE", MapPrefsPath);
    if (!move) return false;
    ListHeader* list = CreateList(LIST_FIGURES);
    ScanFigur2List(list, move);
    FreeChunk(move);
    bool moved = false;
    uint32_t i = 0;
    for (ListNode* n = list->first; n && i < list->count; n = n->next, ++i) {
      const FigurRecord& f = reinterpret_cast<MOVE_EXT*>(n)->figure;
      moved = moved || (f.owner == realm_player() && f.type == 0 && f.points < 8);
    }
    DeleteList(list, 0);
    return moved;
  }
  static uint32_t realm_player() { return OwnPlayerPtr->PlayerId; }

  // ---- the ways a text may name ------------------------------------------------------

  // The granary from the town view: the corn shared out as it stands, OK.
  bool ShareTheCorn() {
    EXPECT_EQ(TownViewTo("KOLA"), 56);
    EXPECT_EQ(Run(KornlagerScreen, 39, Click(400, 250) + "wait 300\n" + Click(323, 435) + "wait 300\n" +
                                           Click(590, 435) + "wait 300\n"),
              39);
    return OutgoingKorn(26) != 0;
  }
  // The building ground: the next building but one, the hammer, yes, the tick.
  bool OrderABuilding() {
    EXPECT_EQ(TownViewTo("BAUS"), 43);
    EXPECT_EQ(Run(BauScreen, 39,
                  Click(552, 352) + Click(552, 352) + Click(359, 411) + "wait 300\nkey enter\n" + Click(543, 411)),
              39);
    return InOutgoing(CHUNK_BAUE);
  }
  // The taxes: the statue's severity changed, left by the exit.
  bool SetTheTaxes() {
    EXPECT_EQ(Run(SteuernScreen, 2, Click(377, 300) + "wait 300\n" + Click(590, 440) + "wait 300\n"), 2);
    return InOutgoing(CHUNK_TAXE);
  }
  // The next quarter: its turn mail fetched and evaluated as the download does.
  bool NextTurn() {
    const uint32_t year = CheckPrefs(PREFS_YEAR, 0, 0), quarter = CheckPrefs(PREFS_QUARTER, 0, 0) + 1;
    Realm next = realm;
    std::string err;
    EXPECT_TRUE(ParseRealm("turn year=" + std::to_string(year + quarter / 4) + " quarter=" +
                               std::to_string(quarter % 4) + "\n",
                           "next.changes", &next, &err, true))
        << err;
    const std::string text = BuildTurnMail(BuildTurnPool(next), name, "player@localhost", "");
    char path[200], disk[400];
    EXPECT_EQ(MakeMailFileName(".\\Data\\POP3In", name, path, sizeof path), 1);
    ResolvePath(path, disk, sizeof disk);
    EXPECT_TRUE(qoe_test::WriteFileBytes(disk, std::vector<uint8_t>(text.begin(), text.end())));
    ListHeader* list = CreateList(LIST_TURN_MAILS);
    const TurnEvaluation r = EvaluateTurnMails(list, name, nullptr);
    DeleteList(list, 1);
    EXPECT_EQ(r.passedInfo, 1u);
    return CheckPrefs(PREFS_NEW_TURN, 0, 0) == 1 && CheckPrefs(PREFS_QUARTER, 0, 0) == quarter % 4;
  }
  // The map's key move of a selected scout: one field east, one point spent,
  // written back as the map writes its figures.
  bool MoveAScout() {
    uint8_t* move = LoadChunk2Mem("MOVE", MapPrefsPath);
    EXPECT_NE(move, nullptr);
    if (!move) return false;
    ListHeader* list = CreateList(LIST_FIGURES);
    EXPECT_EQ(ScanFigur2List(list, move), 1);
    FreeChunk(move);
    bool done = false;
    uint32_t i = 0;
    for (ListNode* n = list->first; n && i < list->count && !done; n = n->next, ++i) {
      FigurRecord& f = reinterpret_cast<MOVE_EXT*>(n)->figure;
      if (f.owner != realm_player() || f.type != 0) continue;
      f.x += 1;
      f.points -= 1;
      done = true;
    }
    EXPECT_TRUE(done) << "no scout of the player";
    EXPECT_EQ(SaveFigurList2MapPrefs(list), 1);
    DeleteList(list, 0);
    return ScoutMoved();
  }
  // The diplomacy screen's trade offer: 5 corn a quarter for 3 quarters to
  // Gunhild, the record its send adds to the outgoing contracts.
  bool OfferATrade() {
    ListHeader* list = CreateList(LIST_CONTRACTS);
    auto* v = reinterpret_cast<VertragsEintrag*>(AllocListNode(list));
    v->kind = 0, v->sender = realm_player(), v->receiver = 2002, v->time = 1000, v->duration = 3, v->amount = 5;
    AddNode(list, &v->head, LN_TAIL, 0);
    uint8_t* chunk = MakeVertragChunkFromList(list);
    EXPECT_NE(chunk, nullptr);
    if (chunk) {
      EXPECT_EQ(AddChunkPool(chunk, OutgoingPoolPath), 1);
      FreeChunk(chunk);
    }
    DeleteList(list, 0);
    return InOutgoing(CHUNK_VERT);
  }
  // The research screen: the first field ordered, the cost confirmed.
  bool OrderResearch() {
    EXPECT_EQ(Run(ForschungScreen, 2,
                  Click(85, 135) + "wait 300\n" + Click(319, 393) + "wait 300\nkey enter\nwait 300\n" +
                      Click(592, 282)),
              2);
    return InOutgoing(CHUNK_FORS);
  }
  // The tavern's letter editor: a letter to Gunhild.
  bool WriteALetter() {
    EXPECT_EQ(TownViewTo("TAVE"), 59);
    EXPECT_EQ(CreateSmalMail("Gunhild von Norden", 2002, "Grain", "Wheat for your iron?"), 1);
    return CountDirEntries(".\\Data\\MailOut") > 0;
  }

  // The town view of a town without a name: it asks for one.
  bool NameTheTown() {
    EXPECT_EQ(Run(StadtScreen, 2, Keys("Harlingen") + "key enter\nwait 500\n" + ClickGadget("Stadt3.dat", "EXIT")), 2);
    TownListEntry* towns = nullptr;
    const uint32_t n = ReadTownList(&towns);
    const bool named = n > 0 && std::strcmp(towns[0].name, "Harlingen") == 0;
    FreeVec(towns);
    return named;
  }

  struct Way {
    std::vector<std::string> words;  // all in the text, in lower case
    const char* what;
    bool (Tutorial::*act)();
  };
  std::vector<Way> Ways() const {
    return {
        {{"town view", "a town without a name asks for one"}, "name the town in the town view",
         &Tutorial::NameTheTown},
        {{"granary", "how much corn your people eat"}, "share the corn in the granary", &Tutorial::ShareTheCorn},
        {{"building ground", "hammer"}, "order a building", &Tutorial::OrderABuilding},
        {{"taxes in your hall"}, "set the taxes", &Tutorial::SetTheTaxes},
        {{"upload", "download"}, "send the turn and fetch the next", &Tutorial::NextTurn},
        {{"map", "scouts", "keys"}, "move a scout on the map", &Tutorial::MoveAScout},
        {{"contracts in your hall", "offer a lord a trade"}, "offer a trade on the diplomacy screen",
         &Tutorial::OfferATrade},
        {{"tavern", "write a letter"}, "write a letter in the tavern", &Tutorial::WriteALetter},
        {{"research in your hall"}, "order research", &Tutorial::OrderResearch},
    };
  }
  // The one way the text names; null (a failure) for none or several.
  const Way* WayOf(const std::string& text, const std::vector<Way>& ways) const {
    const std::string t = Lower(text);
    const Way* found = nullptr;
    for (const Way& w : ways) {
      bool all = true;
      for (const std::string& word : w.words) all = all && t.find(word) != std::string::npos;
      if (!all) continue;
      EXPECT_EQ(found, nullptr) << "the text names two ways: " << text;
      found = &w;
    }
    EXPECT_NE(found, nullptr) << "the text names no way the game has: " << text;
    return found;
  }
};

TEST_F(Tutorial, PlayedThroughOnTheDemoRealmByTheWaysItsTextsName) {
  const std::vector<Way> ways = Ways();
  // The question answered yes: the welcome and the first thing to do.
  std::vector<std::string> texts = Visit();
  ASSERT_EQ(texts.size(), 1u) << "the tutorial did not start";
  std::vector<std::string> done;
  for (int round = 0; round < 40 && CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0) < 18; ++round) {
    ASSERT_EQ(texts.size(), 1u);
    const std::string text = texts[0];
    SCOPED_TRACE(text);
    const Way* way = WayOf(text, ways);
    ASSERT_NE(way, nullptr);
    // Nothing done: no new text, the step stays.
    const uint32_t step = CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0);
    const std::vector<std::string> idle = Visit();
    EXPECT_TRUE(idle.empty()) << "praise for nothing done: " << (idle.empty() ? "" : idle[0]);
    EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), step);
    // The way done, and the next visit answers it.
    EXPECT_TRUE((this->*way->act)()) << way->what << " changed nothing";
    done.push_back(way->what);
    texts = Visit();
    ASSERT_EQ(texts.size(), 1u) << way->what << " done, but the chancellor said nothing";
    EXPECT_GT(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), step);
    if (CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0) >= 17) break;  // the lessons' end: only a turn remains
  }
  // The last text ends the lessons; the next turn ends the tutorial in silence.
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 17u);
  ASSERT_TRUE(NextTurn());
  EXPECT_TRUE(Visit().empty());
  EXPECT_EQ(CheckPrefs(PREFS_TUTORIAL_STEP, 0, 0), 18u);
  // The ways the demo realm's tutorial asked for, in order.
  for (const char* w : {"share the corn in the granary", "order a building", "set the taxes",
                        "move a scout on the map", "offer a trade on the diplomacy screen",
                        "write a letter in the tavern"})
    EXPECT_NE(std::find(done.begin(), done.end(), std::string(w)), done.end()) << w;
}

// A capital without a name: the first thing asked is its name, given in the
// town view, and the praise for it comes after it was given.
TEST_F(Tutorial, AnUnnamedCapitalIsNamedInTheTownView) {
  std::string err;
  ASSERT_TRUE(ParseRealm("town town_id=1 name=\"\" x=6398 y=3199 level=3 inhabitants=7200\n", "unnamed.changes", &realm,
                         &err, true))
      << err;
  fs::remove_all("Data/Cities");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/POP3In/GameChunk.qoe", BuildSignupAnswer(realm)));
  ASSERT_EQ(GameInit(ReceivedPoolPath), 1);
  CheckPrefs(PREFS_NEW_TURN, 1, 1);
  const std::vector<Way> ways = Ways();
  std::vector<std::string> texts = Visit();
  ASSERT_EQ(texts.size(), 1u);
  const Way* way = WayOf(texts[0], ways);
  ASSERT_NE(way, nullptr);
  EXPECT_STREQ(way->what, "name the town in the town view");
  EXPECT_TRUE(Visit().empty());
  EXPECT_TRUE((this->*way->act)());
  texts = Visit();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].rfind(GetCatalogStr(1760), 0), 0u) << texts[0];
  way = WayOf(texts[0], ways);
  ASSERT_NE(way, nullptr);
  EXPECT_STREQ(way->what, "share the corn in the granary");
}

}  // namespace
