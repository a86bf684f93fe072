// Every gadget of every layout the kit builds that the player can use shows
// what it is: a name in the title bar under the mouse (a text record with a
// catalog text over it, or its own text record), or a word the player reads
// on it. Words come from the gadget's own image (a button picture with a
// caption, or an arrow), a caption the screen prints from an area or label
// record over it, or, where the picture or the screen draws the word or the
// arrow, the table below, which says where. A picture of a thing (a
// scaffold, a hammer, a door) is no name: such a gadget is named in the
// title bar. Scroll arrows and counters (they repeat while held), sliders
// and typing fields are controls whose form is their label.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "routinen/system/catalog.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct Rect {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  bool HoldsCentreOf(const Rect& r) const {
    const int cx = (r.x1 + r.x2) / 2, cy = (r.y1 + r.y2) / 2;
    return x1 <= cx && cx <= x2 && y1 <= cy && cy <= y2;
  }
};
struct Caption {
  Rect r;
  uint32_t id = 0;  // catalog ID, 0 none (or the title bar)
};
struct LayoutGadget {
  std::string id;
  Rect r;
  int released = 0, flags = 0, text = 0;
};
struct Layout {
  std::vector<Caption> texts, captions;  // type 0; types 2 and 8
  std::vector<Rect> entries;             // type 3
  std::vector<LayoutGadget> gadgets;
};

// Reads the kit's layout source as the kit does, the lines this test needs.
Layout ReadLayout(const fs::path& path) {
  Layout l;
  std::ifstream in(path);
  std::string line;
  auto caption = [](std::istringstream& s) {
    Caption c;
    std::string id;
    s >> c.r.x1 >> c.r.y1 >> c.r.x2 >> c.r.y2 >> id;
    c.id = !id.empty() && id[0] >= '0' && id[0] <= '9' ? static_cast<uint32_t>(std::strtoul(id.c_str(), nullptr, 10)) : 0;
    return c;
  };
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream s(line);
    std::string kind;
    if (!(s >> kind)) continue;
    if (kind == "text") {
      l.texts.push_back(caption(s));
    } else if (kind == "area" || kind == "label") {
      l.captions.push_back(caption(s));
    } else if (kind == "entry") {
      Rect r;
      s >> r.x1 >> r.y1 >> r.x2 >> r.y2;
      l.entries.push_back(r);
    } else if (kind == "gadget") {
      LayoutGadget g;
      std::string quoted, word;
      s >> std::ws;
      std::getline(s, quoted, '"');
      std::getline(s, g.id, '"');
      int pressed = 0, hover = 0;
      s >> g.r.x1 >> g.r.y1 >> g.r.x2 >> g.r.y2 >> g.released >> pressed >> hover >> g.flags;
      if (s >> word && word == "text") s >> g.text;
      l.gadgets.push_back(g);
    }
  }
  return l;
}

bool HasText(uint32_t id) {
  const char* t = id ? GetCatalogStr(id) : nullptr;
  return t && t[0];
}

// The graphics of the kit's main picture index whose face carries a word
// or an arrow: "button released|pressed "<caption>"" or "icon up|down|left|
// right" in its picture list. Any other image (a plain button, a picture of
// a thing, a sign) names nothing.
std::set<int> WordFaces() {
  std::set<int> faces;
  std::ifstream in(fs::path(qoe_test::SourceDir()) / "tools/datakit/pictures.txt");
  bool main_index = false;
  for (std::string line; std::getline(in, line);) {
    std::istringstream s(line);
    std::string first, kind, style, what;
    if (!(s >> first) || first[0] == '#') continue;
    if (first == "index") {
      std::string path;
      s >> path;
      main_index = path == ".\\Data\\Path";
      continue;
    }
    if (!main_index || first.find_first_not_of("0123456789") != std::string::npos) continue;
    int w = 0, h = 0;
    s >> kind >> w >> h >> style >> what;
    std::string rest;
    std::getline(s, rest);
    const bool captioned = style == "button" && rest.find('"') != std::string::npos &&
                           rest.find('"') + 1 < rest.size() && rest[rest.find('"') + 1] != '"';
    const bool arrow = style == "icon" && (what == "up" || what == "down" || what == "left" || what == "right");
    if (captioned || arrow) faces.insert(std::stoi(first));
  }
  return faces;
}

// Gadgets whose label the picture or the screen draws, by layout.
struct Drawn {
  const char* layout;
  const char* gadgets;
  const char* where;
};
const Drawn kDrawn[] = {
    {"Bau", "LE00 RE00", "picture 43: the arrows beside the building's name"},
    {"Berichte", "BU00 BU01 BU02 BU03 BU04 BU05", "picture 33: the six seals carry their reports' signs"},
    {"ChooseBox", "CH00", "the list itself: its entries are what is chosen"},
    {"Diplomatie2", "TX31 BU31 BU32", "picture 275's plaques"},
    {"Diplomatie3", "LE30 RE30", "picture 276: the arrows beside the contract"},
    {"Diplomatie5", "LE40 RE40", "picture 276: the arrows beside the letter"},
    {"Dungeon", "STFO STBA STLE STRI LETU RITU OPEN CLOS EXIT",
     "picture 1293: the step and turn arrows, OPEN, CLOSE and EXIT plaques"},
    {"ForschungReq", "INFO OKOK EXIT", "the requester's picture: its three plaques"},
    {"Goetter", "GOE0 GOE1 GOE2 GOE3 GOE4 GOE5 GOE6 GOE7 GOE8 GOE9 INFO OKOK EXIT",
     "picture of the gods: each god's sign and name, the INFO, OK and EXIT plaques"},
    {"HafenSchiffeReq", "B100 B101 OK00 EXIT", "the lists (their ships) and the requester's plaques"},
    {"HafenSchiffsRepReq", "B100 L100 R100 INFO OK00 EXIT", "the list, the value arrows and the plaques"},
    {"Handel",
     "IN00 OKOK EXIT CH00 BOX1 OK00 SX00 CH10 BOX4 BOX5 OK01 SX01 CH20 SX21 BOX2 BOX3 OK20 SX20",
     "picture 108: the counter's, board's and stall's buttons and lists, drawn with their signs"},
    {"KarawaneReq", "DO00 EXIT INPU LEFT OKOK REQU RIGH UP00 INFO", "picture 1265: the controls drawn in the box"},
    {"Karte", "MAP0 GREN SYMB ROHS INFO FORW EXIT",
     "the map itself and picture 3's side panel: the switches' and buttons' words"},
    {"Karte1024", "FIGU MAP1 INFO FORW EXIT BUT1 BUT2 BUT3 BUT4 BUT5 GREN SYMB ROHS MAP0",
     "the map, the minimap, the list and the panel's words; the tabs' pictures 866.."},
    {"KarteArbeiterReq", "EXIT AUTO BOX1 BOX2 BOX3 INFO", "picture 1041: the labels printed beside each control"},
    {"KarteArbeiterReq1024", "EXIT AUTO BOX1 BOX2 BOX3 INFO", "picture 1041: the labels printed beside each control"},
    {"KarteMenu2", "MAP0 FORW EXIT BUT1 BUT2 BUT3 BUT4 BUT5 MAP1 FIGU",
     "the map, the minimap, the list; graphic 865's tabs and buttons"},
    {"KaserneReq1", "B100 B101 B102 B103 B104 B105 B106", "graphic 199: the operations' faces and captions"},
    {"KaserneReq2", "B200 B201", "graphic 200: the operations' faces and captions"},
    {"KaserneReq3", "B100 B101", "graphic 201: the operations' faces and captions"},
    {"KornLagerReq", "BOX1 BOX2 BOX3", "the stores' names printed over their columns"},
    {"Luxus", "CH00 LE00 BOX1 RE00", "the list and the value's arrows on picture 919"},
    {"Nachrichten", "BU00 BU01 BU02", "the screen prints the tabs' words (909, 1131, 1142) on them"},
    {"Optionen0", "INFO PREV OKOK NEXT EXIT", "picture 133's plaques: ?, BACK, OK, NEXT, EXIT"},
    {"Optionen1", "INFO PREV OKOK NEXT EXIT", "the page's plaques: ?, BACK, OK, NEXT, EXIT"},
    {"Optionen3", "CURS INFO PREV OKOK NEXT EXIT", "the switch's caption (label 1) and the page's plaques"},
    {"RuneStone", "RUN1 RUN2 RUN3 RUN4 RUN5 RUN6 RUN7 RUN8 RESE OKOK INFO EXIT",
     "graphic 323: the runes and the four buttons drawn on the board"},
    {"Spezialisten", "BOX1 BOX2", "the two benches: their lists of specialists"},
    {"Statistik", "LAST BACK OK01 XX01 FORW INFB", "picture 41: the arrows and buttons between the lists"},
    {"StatistikLegende", "EXLG FORW OK01 XX01 EXIT", "graphic 379's red seal and picture 41's buttons"},
    {"Steuern", "ZEHN", "picture 42: TENTH on the tithe barn"},
    {"SteuernReq2", "INPU", "the input field the typed rate shows in"},
    {"SteuernReq5", "INPU", "the input field the typed rate shows in"},
    {"TaverneOffchatReq", "S000 TF01", "the letter list and the editor's text field"},
    {"Teilnehmer", "CH00", "the list itself: the participants' names"},
    {"Titel", "NEU0 LOAD SAVE BATL NORM OPTI", "the screen prints the plaques' words (by account state)"},
};

// Gadgets no key or click ever reaches.
const Drawn kNeverAsked[] = {
    {"Stammbaum", "EXIT", "the family tree leaves after its message box; it reads no gadget"},
};

std::set<std::string> Listed(const Drawn* table, size_t n, const std::string& layout) {
  std::set<std::string> ids;
  for (size_t i = 0; i < n; ++i) {
    if (layout != table[i].layout) continue;
    std::istringstream s(table[i].gadgets);
    std::string id;
    while (s >> id) ids.insert(id);
  }
  return ids;
}

std::string Trimmed(const std::string& id) {
  std::string t = id;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  return t;
}

// Why a gadget needs no entry in the table: "" when it does.
std::string OwnName(const Layout& l, const LayoutGadget& g) {
  if (g.text > 0 && static_cast<size_t>(g.text) <= l.texts.size() && HasText(l.texts[g.text - 1].id))
    return "its text record";
  for (const Caption& t : l.texts)
    if (HasText(t.id) && t.r.HoldsCentreOf(g.r)) return "a text record over it";
  static const std::set<int> word_faces = WordFaces();
  if (g.released && word_faces.count(g.released)) return "its image";
  if ((g.flags & 1) || g.id.rfind("SL", 0) == 0) return "a scroll arrow, counter or slider";
  for (const Rect& e : l.entries)
    if (e.HoldsCentreOf(g.r)) return "a typing field";
  for (const Caption& c : l.captions)
    if (HasText(c.id) && c.r.HoldsCentreOf(g.r)) return "a caption over it";
  return "";
}

const size_t kDrawnCount = sizeof kDrawn / sizeof kDrawn[0];
const size_t kNeverCount = sizeof kNeverAsked / sizeof kNeverAsked[0];

TEST(LayoutNames, EveryGadgetThatActsIsNamedOrLabelled) {
  // A captioned button and an arrow carry a word; the plain button, the
  // town's scaffold and the map icon do not.
  const std::set<int> faces = WordFaces();
  for (int face : {209, 215, 217, 123, 125}) EXPECT_TRUE(faces.count(face)) << face;
  for (int face : {294, 760, 765, 770}) EXPECT_FALSE(faces.count(face)) << face;
  const fs::path dir = fs::path(qoe_test::SourceDir()) / "tools/datakit/layouts";
  size_t layouts = 0;
  std::set<std::string> seen;
  for (const auto& e : fs::directory_iterator(dir)) {
    if (e.path().extension() != ".txt") continue;
    const std::string name = e.path().stem().string();
    seen.insert(name);
    ++layouts;
    const Layout l = ReadLayout(e.path());
    const std::set<std::string> drawn = Listed(kDrawn, kDrawnCount, name);
    const std::set<std::string> never = Listed(kNeverAsked, kNeverCount, name);
    std::set<std::string> ids;
    for (const LayoutGadget& g : l.gadgets) {
      const std::string id = Trimmed(g.id);
      ids.insert(id);
      if (never.count(id)) continue;
      const std::string own = OwnName(l, g);
      if (drawn.count(id)) {
        EXPECT_EQ(own, "") << name << " " << id << " is listed as drawn but has " << own;
        continue;
      }
      EXPECT_NE(own, "") << name << " " << id << ": no name in the title bar and no label";
    }
    for (const std::string& id : drawn) EXPECT_TRUE(ids.count(id)) << name << " lists " << id << ", not a gadget";
    for (const std::string& id : never) EXPECT_TRUE(ids.count(id)) << name << " lists " << id << ", not a gadget";
  }
  EXPECT_GT(layouts, 50u);
  for (const Drawn& d : kDrawn) EXPECT_TRUE(seen.count(d.layout)) << d.layout;
}

// The things of the residence's hall are named in its title bar, the
// family tree and the hourglass of the options too.
TEST(LayoutNames, TheResidenceNamesEveryThing) {
  for (const char* name : {"Residenz0", "Residenz1"}) {
    const Layout l = ReadLayout(fs::path(qoe_test::SourceDir()) / "tools/datakit/layouts" / (std::string(name) + ".txt"));
    ASSERT_FALSE(l.gadgets.empty()) << name;
    for (const LayoutGadget& g : l.gadgets) {
      ASSERT_GT(g.text, 0) << name << " " << g.id;
      ASSERT_LE(static_cast<size_t>(g.text), l.texts.size()) << name << " " << g.id;
      EXPECT_TRUE(HasText(l.texts[g.text - 1].id)) << name << " " << g.id;
    }
  }
}

}  // namespace
