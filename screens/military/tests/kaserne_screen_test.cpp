// The barracks screen headless on turn-builder realms: its start (sounds,
// the looping ambience) and every way out, a visit that recruits, forms an
// army, adds a part, equips it with swords and armour and trains a part as
// a new army with OK in each requester (the four files checked against what
// the visit must leave), the same visit ending in EXIT (no file changed),
// the refusals without army camp and barracks, the weapon and part cycles
// with taking off the value shown, the part's lines with the ditto mark,
// a set-up failure at each step (the sound effects cannot fail headless:
// they are off there), and pictures of the screen and of each
// requester.
#include "screens/military/kasernescreen.h"
#include "screens/military/kaserne.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gamedata/weapons.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/catalog_text_check.h"
#include "tests/support/figure_file_cases.h"
#include "tests/support/log_lines.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/sound_recorder.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kOwn = 1001, kCapX = 6398, kCapY = 3199;

class KaserneRun : public qoe_test::ScreenTest {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder");
    QOE_REQUIRE_BUILT(qoe_test::BinaryDir() + "/datakit/Data/Screendat/KaserneReq1.dat");
    ScreenTest::SetUp();
  }
  void Install(const std::string& realm) {
    qoe_test::CopyDataKit();
    const std::string cmd = "'" + qoe_test::BinaryDir() + "/tools/turnbuilder/turnbuilder' install '" +
                            qoe_test::SourceDir() + "/tools/turnbuilder/realms/" + realm + "' --dir . >install.txt 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    ASSERT_EQ(CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0), 2u);
    OwnPlayerPtr->PlayerId = kOwn;
    OwnPlayerPtr->ActiveTown = 1;
    SetGameDataOwner(kOwn, "Harald");
    RegisterGameDataListTypes();
    TextFont* f = OpenDiskFont("fonts\\XHelvetica9.fnt");
    ASSERT_NE(f, nullptr);
    line_ = f->YSize + 1;
    CloseFont(f);
  }
  int32_t Run(const std::string& script) {
    return RunScreen(KaserneScreen, 39, "timer 0 100\nwait 800\n" + script);
  }
  std::string At(int x, int y) const { return Click(x, y) + "wait 300\n"; }
  // Line k of a list box whose top is at y, at x.
  std::string Line(int x, int k) const { return At(x, 118 + k * line_ + line_ / 2); }
  std::string Type(const std::string& s) const { return "wait 300\n" + Keys(s) + "key enter\nwait 300\n"; }
  // The screen's places.
  std::string Infantry() const { return At(285, 200); }
  std::string Artillery() const { return At(100, 400); }
  std::string Smithy() const { return At(600, 240); }
  std::string Drill() const { return At(300, 420); }
  // The requesters' bottom row.
  std::string Ok() const { return At(319, 387); }
  std::string Exit() const { return At(519, 387); }
  uint32_t line_ = 10;
};

// ---- the screen and its ways out ------------------------------------------------

TEST_P(KaserneRun, StartsWithItsSoundsAndLeavesByEachWay) {
  Install("demo.realm");
  {
    qoe_test::SoundRecorder sounds;
    qoe_test::LogLines log;
    // Escape: the town. Ten seconds: the first ambient sound after 100 ticks.
    EXPECT_EQ(Run("wait 10500\nkey esc\nwait 300\n"), 39);
    EXPECT_EQ(sounds.Count(SFX_CALL_LOOP, 49), 1u);
    for (uint32_t id : {49u, 51u, 52u, 53u, 54u, 55u, 56u, 57u, 77u}) EXPECT_EQ(sounds.Count(SFX_CALL_OPEN, id), 1u) << id;
    const std::vector<uint32_t> started = sounds.StartedInOrder();
    ASSERT_GE(started.size(), 2u);
    EXPECT_EQ(started[0], 49u);
    EXPECT_GE(started[1], 51u);
    EXPECT_LE(started[1], 57u);
    EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
    EXPECT_TRUE(log.Has("KaserneScreen: verlassen mit 39"));
  }
  EXPECT_EQ(Run(At(483, 250)), 39);  // STAD, the gate
  {
    qoe_test::SoundRecorder sounds;
    EXPECT_EQ(Run(At(38, 200)), 3);  // KART, the watchtower's horn
    EXPECT_EQ(sounds.Count(SFX_CALL_PLAY, 57), 1u);
    EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
  }
}

// ---- a whole visit ----------------------------------------------------------------

std::vector<uint8_t> ArmyChunk() {
  LoadedChunk a("ARMY", OutgoingPoolPath);
  if (!a.p) return {};
  return std::vector<uint8_t>(a.p, a.p + 12 + a.len());
}

ListHeader* Armies() {
  LoadedChunk a("ARMY", OutgoingPoolPath);
  return a.p ? ScanArmy2List(a.p) : nullptr;
}

uint32_t Stock(uint32_t goods) {
  LoadedChunk w("WARE", ".\\Data\\WarenChunk.qoe");
  ListHeader* l = CreateList(LIST_GOODS);
  uint32_t n = 0;
  if (w.p && l && ScanWare2List(l, w.p)) {
    ListNode* node = l->first;
    for (uint32_t i = 0; i < l->count; ++i, node = node->next) {
      const auto* e = reinterpret_cast<const WarenListenEntry*>(node);
      if (e->kind == 5 && e->goods == goods) n = e->quantity;
    }
  }
  DeleteList(l, 0);
  return n;
}

// The own army figures at the capital: number -> (type, points).
std::map<uint32_t, std::pair<uint32_t, uint32_t>> CapitalFigures() {
  std::map<uint32_t, std::pair<uint32_t, uint32_t>> out;
  LoadedChunk m("MOVE", MapPrefsPath);
  ListHeader* l = CreateList(LIST_FIGURES);
  if (m.p && l && ScanFigur2List(l, m.p)) {
    ListNode* node = l->first;
    for (uint32_t i = 0; i < l->count; ++i, node = node->next) {
      const FigurRecord& f = reinterpret_cast<MOVE_EXT*>(node)->figure;
      if (f.owner == kOwn && f.x == kCapX && f.y == kCapY && f.type >= 1 && f.type <= 9)
        out[f.number] = {f.type, f.points};
    }
  }
  DeleteList(l, 0);
  return out;
}

Army* AppendArmy(ListHeader* list, const char* name, uint32_t id, uint32_t training) {
  auto* a = reinterpret_cast<Army*>(AllocListNode(list));
  a->X = kCapX;
  a->Y = kCapY;
  a->Besitzer = kOwn;
  a->Glaube = 400;  // new armies take the demo realm's faith
  a->ArmeeID = id;
  a->ArmeeTypAnzahl = 1;
  a->Training = training;
  std::snprintf(a->ArmyName, sizeof a->ArmyName, "%s", name);
  a->parts = CreateList(LIST_ARMY_PARTS);
  AddNode(list, &a->head, LN_TAIL, 0);
  return a;
}
ArmeeTyp* AppendPart(Army* a, uint32_t type, uint32_t men) {
  auto* p = reinterpret_cast<ArmeeTyp*>(AllocListNode(a->parts));
  p->Typ = type;
  p->Leute = men;
  AddNode(a->parts, &p->head, LN_TAIL, 0);
  return p;
}

TEST_P(KaserneRun, RecruitFormEquipAndTrainWithOkWritesTheFourFiles) {
  Install("demo.realm");
  ListHeader* before = Armies();
  ASSERT_NE(before, nullptr);
  ASSERT_EQ(before->count, 5u);
  const std::map<uint32_t, std::pair<uint32_t, uint32_t>> figures = CapitalFigures();
  st_TOWN* town = GetActiveTown(1);
  ASSERT_NE(town, nullptr);
  const uint32_t people = town->TownPopulation;
  FreeVec(town);
  ASSERT_EQ(people, 7200u);
  qoe_test::LogLines log;
  const std::string script =
      // Management (infantry): the levy 11 -> 12 %, 50 units, the new army,
      // 50 units more as its second part.
      Infantry() + At(247, 319) + At(549, 319) + At(111, 353) + Type("Garde") + At(549, 319) + At(181, 353) + Ok() +
      // Weapons: short swords, then leather armour, for the first part of
      // "Garde" (the army box's line 13).
      Smithy() + Line(150, 0) + Line(460, 13) + At(319, 259) + Line(150, 1) + At(319, 259) + Ok() +
      // Training: its second part (line 14) for two turns as a new army.
      Drill() + Line(150, 14) + At(212, 337) + At(212, 337) + At(439, 337) + "key enter\n" + Type("Rekruten") +
      Ok() + At(483, 250);
  EXPECT_EQ(Run(script), 39);
  EXPECT_TRUE(log.Has("ArmyManagment: B100 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_TRUE(log.Has("ArmyManagment: B101 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_TRUE(log.Has("ArmyWeapons: B100 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_TRUE(log.Has("ArmyTraining: B200 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_TRUE(log.Has("Kaserne: Training 2 Runden, 1000 Kosten"));
  EXPECT_TRUE(log.Has("ArmyManagment: Daten geschrieben"));
  EXPECT_TRUE(log.Has("ArmyWeapons: Daten geschrieben"));
  EXPECT_TRUE(log.Has("ArmyTraining: Daten geschrieben"));

  // The figures: two new ones at the capital with 0 points, the others kept.
  const std::map<uint32_t, std::pair<uint32_t, uint32_t>> after = CapitalFigures();
  ASSERT_EQ(after.size(), figures.size() + 2);
  std::vector<uint32_t> fresh;
  for (const auto& [number, f] : after) {
    if (figures.count(number)) EXPECT_EQ(figures.at(number), f) << number;
    else fresh.push_back(number);
  }
  ASSERT_EQ(fresh.size(), 2u);
  // The ARMY chunk: the realm's five armies, "Garde" with its equipped part,
  // "Rekruten" in training, byte for byte.
  ListHeader* written = Armies();
  ASSERT_NE(written, nullptr);
  ASSERT_EQ(written->count, 7u);
  const Army* garde = reinterpret_cast<const Army*>(written->first->prev->prev);
  const Army* rekruten = reinterpret_cast<const Army*>(written->first->prev);
  ASSERT_STREQ(garde->ArmyName, "Garde");
  ASSERT_STREQ(rekruten->ArmyName, "Rekruten");
  EXPECT_TRUE((garde->ArmeeID == fresh[0] && rekruten->ArmeeID == fresh[1]) ||
              (garde->ArmeeID == fresh[1] && rekruten->ArmeeID == fresh[0]));
  ArmeeTyp* first = AppendPart(AppendArmy(before, "Garde", garde->ArmeeID, 0), UNIT_INFANTRY, 50);
  first->WaffeI = 27;
  first->Ruestung = 14;
  first->RuestungsKlasse = 2;
  AppendPart(AppendArmy(before, "Rekruten", rekruten->ArmeeID, 2), UNIT_INFANTRY, 50);
  uint8_t* want = CovertArmyList2ArmyChunk(before);
  ASSERT_NE(want, nullptr);
  const std::vector<uint8_t> want_bytes(want, want + 12 + ChunkLength(want));
  FreeChunk(want);
  EXPECT_EQ(ArmyChunk(), want_bytes);
  EXPECT_EQ(after.at(garde->ArmeeID).first, GetArmyTyp(garde));
  EXPECT_EQ(after.at(garde->ArmeeID).second, 0u);
  DeleteArmyList(before);
  DeleteArmyList(written);
  // The stores and the town.
  EXPECT_EQ(Stock(23), 350u);  // short swords
  EXPECT_EQ(Stock(11), 250u);  // leather armour
  EXPECT_EQ(Stock(10), 250u);  // helmets, untouched
  town = GetActiveTown(1);
  ASSERT_NE(town, nullptr);
  EXPECT_EQ(town->TownPopulation, people - 100);
  FreeVec(town);
}

TEST_P(KaserneRun, TheSameVisitEndingInExitChangesNoFile) {
  Install("demo.realm");
  const auto before = qoe_test::FileTree("Data");
  qoe_test::LogLines log;
  const std::string script =
      Infantry() + At(247, 319) + At(549, 319) + At(111, 353) + Type("Garde") + At(549, 319) + At(181, 353) +
      Exit() +
      // The castle guard's first part (line 8) takes short swords in its
      // free hand; its second part (line 9) goes into training.
      Smithy() + Line(150, 0) + Line(460, 8) + At(319, 259) + Exit() + Drill() + Line(150, 9) + At(212, 337) +
      At(439, 337) + "key enter\n" + Type("Rekruten") + Exit() + At(483, 250);
  EXPECT_EQ(Run(script), 39);
  EXPECT_TRUE(log.Has("ArmyManagment: B101 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_TRUE(log.Has("ArmyWeapons: B100 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_TRUE(log.Has("ArmyTraining: B200 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_FALSE(log.Has("Daten geschrieben"));
  EXPECT_EQ(qoe_test::FileTree("Data"), before);
}

TEST_P(KaserneRun, AFailedWriteIsToldAndChangesNoFile) {
  Install("demo.realm");
  const auto before = qoe_test::FileTree("Data");
  qoe_test::LogLines log;
  FileFailWritesAfter(0);
  // A new army of 50 and OK: the write fails, the box is confirmed.
  EXPECT_EQ(Run(Infantry() + At(549, 319) + At(111, 353) + Type("Garde") + Ok() + "key enter\nwait 300\n" +
                At(483, 250)),
            39);
  FileFailWritesAfter(-1);
  EXPECT_TRUE(log.Has("ArmyManagment: B100 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_TRUE(log.Has("ArmyManagment: Die Daten konnten nicht gespeichert werden, keine Datei wurde ge\xE4ndert."));
  EXPECT_FALSE(log.Has("Daten geschrieben"));
  EXPECT_EQ(qoe_test::FileTree("Data"), before);
}

// A goods file that is there but cannot be read (a record count past its
// end with every record whole, or the file cut to 30 bytes) is told as the
// screen opens and never written back: OK in both requesters with nothing
// changed still writes the armies and the town, and leaves the goods file
// byte for byte.
TEST_P(KaserneRun, ADamagedGoodsFileIsToldAndNeverWrittenBack) {
  for (int damage = 0; damage < 2; ++damage) {
    SCOPED_TRACE(damage);
    Install("demo.realm");
    const std::string path = "Data/WarenChunk.qoe";
    std::vector<uint8_t> bytes = qoe_test::ReadFileBytes(path);
    ASSERT_GT(bytes.size(), 30u);
    ASSERT_EQ(std::memcmp(bytes.data(), "WARE", 4), 0);
    if (damage == 0) {
      const uint32_t count = (bytes[12] << 8 | bytes[13]) + 3u;
      bytes[12] = static_cast<uint8_t>(count >> 8);
      bytes[13] = static_cast<uint8_t>(count);
    } else {
      bytes.resize(30);
    }
    qoe_test::WriteFileBytes(path, bytes);
    qoe_test::LogLines log;
    EXPECT_EQ(Run("key enter\nwait 300\n" + Infantry() + Ok() + Smithy() + Ok() + At(483, 250)), 39);
    EXPECT_TRUE(log.Has("Beschaedigte Datei gemeldet: .\\Data\\WarenChunk.qoe"));
    EXPECT_TRUE(log.Has("ArmyManagment: Daten geschrieben"));
    EXPECT_TRUE(log.Has("ArmyWeapons: Daten geschrieben"));
    EXPECT_EQ(qoe_test::ReadFileBytes(path), bytes);
  }
}

// A figure file that cannot be used (cut to 150 bytes, a count past its end
// with every record whole, missing, a folder in its place) is told as the
// barracks open, naming the file and what is wrong with it; forming an army
// is refused with a word, and OK in the management and the training still
// writes the armies and the town but writes nothing in the file's place.
TEST_P(KaserneRun, AFigureFileThatCannotBeUsedIsToldRefusesANewArmyAndIsNeverWritten) {
  std::vector<uint8_t> good;
  for (const qoe_test::FigureFileCase& c : qoe_test::kFigureFileCases) {
    SCOPED_TRACE(c.name);
    Install("demo.realm");
    if (good.empty()) good = qoe_test::ReadFileBytes(qoe_test::kFigureFile);
    ASSERT_GT(good.size(), 200u);
    const std::vector<uint8_t> bytes = qoe_test::LayFigureFile(c, good);
    const std::string png = std::string("kaserne_figures_") + (qoe_test::FigureFileGone(c) ? "missing_" : "damaged_") +
                            std::to_string(GetParam()) + ".png";
    qoe_test::LogLines log;
    qoe_test::DrawnTextRecorder drawn;
    // 50 units, a new army asked for (refused: the box confirmed), OK; the
    // training requester's OK.
    EXPECT_EQ(Run("png " + png + "\nkey enter\nwait 300\n" + Infantry() + At(549, 319) + At(111, 353) +
                  "key enter\nwait 300\n" + Ok() + Drill() + Ok() + At(483, 250)),
              39);
    EXPECT_TRUE(log.Has(qoe_test::FigureFileToldLine(c)));
    EXPECT_TRUE(drawn.Drew(qoe_test::FigureFileSentence(c) + " " + GetCatalogStr(KASERNE_FIGURES_DAMAGED_TEXT)));
    EXPECT_TRUE(log.Has("ArmyManagment: B100 verweigert 1793, erledigt 0, Fehler 0"));
    EXPECT_TRUE(log.Has("ArmyManagment: Daten geschrieben"));
    EXPECT_TRUE(log.Has("ArmyTraining: Daten geschrieben"));
    EXPECT_TRUE(qoe_test::FigureFileAsLaid(c, bytes));
    if (c.fault == qoe_test::FigureFault::kCut || c.fault == qoe_test::FigureFault::kFolder) {
      EXPECT_TRUE(qoe_test::KeepPng(png));
    }
  }
}

TEST_P(KaserneRun, EachUnitTypeOpensTheManagementAndTheMoviesHaltMeanwhile) {
  Install("demo.realm");
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Artillery() + Exit() + At(150, 220) + Exit() + Infantry() + Exit() + At(483, 250)), 39);
  EXPECT_TRUE(log.Has("ArmyManagment: offen, Typ 1"));
  EXPECT_TRUE(log.Has("ArmyManagment: offen, Typ 3"));
  EXPECT_TRUE(log.Has("ArmyManagment: offen, Typ 2"));
  // Three movies halted while each requester is open, running on after it.
  EXPECT_EQ(log.Count("Kaserne: 3 Filme angehalten"), 3u);
  EXPECT_EQ(log.Count("Kaserne: 3 Filme laufen weiter"), 3u);
}

TEST_P(KaserneRun, TypedUnitsAreBoundedByTheRecruits) {
  Install("demo.realm");
  qoe_test::LogLines log;
  // 11 % of 11,800 and 1,230 soldiers: 68 recruits. 5000 gives all 68, 45
  // gives none, a letter is not typed, eleven nines stay a number.
  // Each entry shows the units so far: two backspaces clear "68".
  const std::string units = At(513, 320) + "key backspace\nkey backspace\n";
  EXPECT_EQ(Run(Infantry() + units + Type("5000") + units + Type("45") + units + Type("x-1") + units +
                Type("99999999999") + Exit() + At(483, 250)),
            39);
  // "x-1": the sign is typed, the number is negative: none.
  const std::vector<std::string> want = {"Kaserne: Zaehler 11800 11 1230/0 30750 68",
                                         "Kaserne: Zaehler 11800 11 1230/68 30750 0",
                                         "Kaserne: Zaehler 11800 11 1230/68 30750 0",
                                         "Kaserne: Zaehler 11800 11 1230/0 30750 68"};
  size_t at = 0;
  for (const std::string& l : log.lines)
    if (at < want.size() && l.find(want[at]) != std::string::npos) ++at;
  EXPECT_EQ(at, want.size());
}

// ---- refusals ------------------------------------------------------------------------

TEST_P(KaserneRun, ArtilleryWithoutArmyCampAndTrainingWithoutBarracksAreRefused) {
  Install("grown.realm");  // its capital has neither
  qoe_test::LogLines log;
  EXPECT_EQ(Run(Artillery() + "key enter\nwait 300\n" + Drill() + "key enter\nwait 300\n" + At(38 + 0, 200)), 3);
  EXPECT_TRUE(log.Has("Kaserne: Meldung 1114"));
  EXPECT_TRUE(log.Has("Kaserne: Meldung 1034"));
  EXPECT_FALSE(log.Has("ArmyManagment: offen"));
}

// ---- the weapons requester's cycles -------------------------------------------------------

TEST_P(KaserneRun, TheWeaponCycleAndThePartCycleTakeOffTheValueShown) {
  Install("demo.realm");
  qoe_test::LogLines log;
  // The short sword four times: amount, distance, kind, damage.
  const std::string weapon = Line(150, 0) + Line(150, 0) + Line(150, 0) + Line(150, 0);
  // The castle guard's first part: people; CYCL: its first weapon; B101
  // takes it off (back to the stores).
  const std::string part = Line(460, 8) + At(319, 213) + At(319, 289);
  EXPECT_EQ(Run(Smithy() + weapon + part + "png " + Png("kaserne_weapons_cycle") + "\n" + Ok() + At(483, 250)), 39);
  const std::vector<std::string> values = {
      "ArmyWeaponPrintTexts: Modus 1, Index 1, Wert \"400 pieces\"",
      "ArmyWeaponPrintTexts: Modus 1, Index 2, Wert \"1/0/0\"",
      "ArmyWeaponPrintTexts: Modus 1, Index 3, Wert \"one handed sword\"",
      "ArmyWeaponPrintTexts: Modus 1, Index 0, Wert \"1-6/0-0/0-0\"",
      "ArmyWeaponPrintTexts: Modus 2, Index 1, Wert \"120 Men\"",
      "ArmyWeaponPrintTexts: Modus 2, Index 2, Wert \"short sword\"",
      "ArmyWeaponPrintTexts: Modus 2, Index 2, Wert \"not available\"",
  };
  size_t at = 0;
  const std::vector<std::string> lines = log.lines;
  for (const std::string& l : lines)
    if (at < values.size() && l.find(values[at]) != std::string::npos) ++at;
  EXPECT_EQ(at, values.size()) << "stopped before: " << (at < values.size() ? values[at] : "");
  EXPECT_TRUE(log.Has("ArmyWeapons: B101 verweigert 0, erledigt 1, Fehler 0"));
  EXPECT_EQ(Stock(23), 520u);  // 400 and the guard's 120 back
  KeepPicture(Png("kaserne_weapons_cycle"));
}

TEST(KaserneLines, ThePartsLinesWithTheDittoMarkOfATwoHandedWeapon) {
  RegisterGameDataListTypes();
  ArmeeTyp p{};
  p.Typ = UNIT_INFANTRY;
  p.Erfahrung = 4;
  p.WaffeI = p.WaffeII = 44;  // two handed sword: both hands
  p.Ruestung = 20;
  p.Helm = 13;
  p.Erschoepfung = 2;
  p.RuestungsKlasse = 8;
  p.Leute = 75;
  char lines[12][80] = {};
  ASSERT_EQ(ArmyPartInfoLines(&p, &lines[0][0], 12), 10u);
  const char* want[10] = {"Type: Infantry",     "Experience: 4",    "Weapon I: two handed sword",
                          "Weapon II:   \"\"",  "Armour: plate-armour", "Shield: No",
                          "Helmet: Yes",        "Exhaustion: 2",    "Class of armour : 8",
                          "People: 75"};
  for (int i = 0; i < 10; ++i) EXPECT_STREQ(lines[i], want[i]) << i;
  // A one-handed weapon in both hands is named twice; another type's line is empty.
  p.WaffeI = p.WaffeII = 27;
  p.Typ = 9;
  p.Schild = 22;
  p.Helm = 0;
  ASSERT_EQ(ArmyPartInfoLines(&p, &lines[0][0], 12), 10u);
  EXPECT_STREQ(lines[0], "");
  EXPECT_STREQ(lines[3], "Weapon II: short sword");
  EXPECT_STREQ(lines[5], "Shield: wooden shield");
  EXPECT_STREQ(lines[6], "Helmet: No");
  EXPECT_EQ(ArmyPartInfoLines(&p, &lines[0][0], 3), 3u);
  EXPECT_EQ(ArmyPartInfoLines(nullptr, &lines[0][0], 3), 0u);
}

// ---- set-up failures ------------------------------------------------------------------

TEST_P(KaserneRun, ASetUpFailureAtEachStepFreesEverythingAndReturnsZero) {
  Install("demo.realm");
  struct Step {
    const char* file;
    const char* line;
  } const kSteps[] = {
      {"Gfx/Pic0152.ilbm", "KaserneScreen : Konnte Kasernen Grafik nicht laden"},
      {"fonts/XHelvetica9.fnt", "KaserneScreen : Konnte Font nicht Laden(Helvetica, klein)"},
      {"Data/Screendat/Kaserne.dat", "KaserneScreen : Konnte Externe Daten nicht laden!"},
  };
  for (const Step& s : kSteps) {
    SCOPED_TRACE(s.file);
    ASSERT_TRUE(fs::exists(s.file));
    const std::vector<uint8_t> keep = qoe_test::ReadFileBytes(s.file);
    fs::remove(s.file);
    qoe_test::SoundRecorder sounds;
    qoe_test::LogLines log;
    const uint64_t allocated = MemAllocatedCounter_SS.load(), freed = MemFreedCounter_SS.load();
    EXPECT_EQ(Run("key enter\nwait 300\n"), 0);
    EXPECT_TRUE(log.Has(s.line));
    // What the program keeps for later screens (the pictures, their
    // indexes and caches) goes as at the end of a game.
    ReopenHeadlessScreen();
    FreeGfxCache();
    FreeGfxPaths();
    EXPECT_EQ(MemAllocatedCounter_SS.load() - allocated, MemFreedCounter_SS.load() - freed);
    EXPECT_TRUE(sounds.OnlyOpenedEffectsUsed());
    ASSERT_TRUE(qoe_test::WriteFileBytes(s.file, keep));
  }
}

// ---- pictures -----------------------------------------------------------------------------

TEST_P(KaserneRun, PicturesOfTheScreenAndEachRequester) {
  Install("demo.realm");
  const std::string screen = Png("kaserne"), manage = Png("kaserne_management"), weapons = Png("kaserne_weapons"),
                    training = Png("kaserne_training");
  EXPECT_EQ(Run("png " + screen + "\n" + Infantry() + Line(150, 3) + "png " + manage + "\n" + Exit() + Smithy() +
                Line(150, 4) + Line(460, 8) + "png " + weapons + "\n" + Exit() + Drill() + Line(150, 9) + "png " +
                training + "\n" + Exit() + "key esc\nwait 300\n"),
            39);
  for (const std::string& p : {screen, manage, weapons, training}) KeepPicture(p);
}

INSTANTIATE_TEST_SUITE_P(Modes, KaserneRun, testing::Values(0u, 4u), qoe_test::DisplayModeName);

}  // namespace
