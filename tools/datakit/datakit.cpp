// The data kit: writes the data folders a working directory of the program
// needs from the readable sources kept beside this file.
//
//   datakit <source folder> <output folder>
//
// Sources: pictures.txt (the picture list: one picture per line, grouped by
// index) and layouts/<Name>.txt (one screen layout per file, written as
// Data/Screendat/<Name>.dat); the test movies of Anims/ are drawn in code
// (anim_encoder.cpp, docs/movies.md); catalog/deutsch/*.txt the German
// catalog Catalogs/deutsch/QoEBrowser.catalog (docs/catalog.md). Formats of the output: docs/pictures.md and
// docs/layouts.md. Exits non-zero with "file:line: message" on a bad source.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "anim_encoder.h"
#include "iffwrite.h"
#include "art.h"
#include "maptiles.h"
#include "dungeonview.h"
#include "catalog_kit.h"
#include "characters.h"
#include "engine3d.h"
#include "terrain3d.h"
#include "town_buildings.h"

namespace fs = std::filesystem;
using namespace datakit;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes EncodeIlbm(const Image& img, bool masked, const Palette* palette = nullptr) {
  const int w = img.width, h = img.height, row_bytes = ((w + 15) / 16) * 2;
  Bytes bmhd;
  Put16(bmhd, w);
  Put16(bmhd, h);
  Put16(bmhd, 0);
  Put16(bmhd, 0);
  bmhd.push_back(8);                 // planes
  bmhd.push_back(masked ? 2 : 0);    // mskHasTransparentColor
  bmhd.push_back(1);                 // ByteRun1
  bmhd.push_back(0);
  Put16(bmhd, masked ? kTransparent : 0);
  bmhd.push_back(1);
  bmhd.push_back(1);
  Put16(bmhd, w);
  Put16(bmhd, h);
  Bytes cmap;
  for (const auto& c : palette ? *palette : SharedPalette()) cmap.insert(cmap.end(), c.begin(), c.end());
  Bytes body, plane((size_t)row_bytes);
  for (int y = 0; y < h; ++y)
    for (int p = 0; p < 8; ++p) {
      std::fill(plane.begin(), plane.end(), 0);
      for (int x = 0; x < w; ++x)
        if ((img.Get(x, y) >> p) & 1) plane[x >> 3] |= (uint8_t)(0x80 >> (x & 7));
      PackRow(body, plane.data(), row_bytes);
    }
  Bytes chunks;
  PutChunk(chunks, "BMHD", bmhd);
  PutChunk(chunks, "CMAP", cmap);
  PutChunk(chunks, "BODY", body);
  return Form("ILBM", chunks);
}

// One plane, uncompressed, colour 0 transparent: each row is whole 16-bit
// words, most significant bit the leftmost pixel (the hex mask's form).
Bytes EncodeBitplaneIlbm(const Image& img) {
  const int w = img.width, h = img.height, row_bytes = ((w + 15) / 16) * 2;
  Bytes bmhd;
  Put16(bmhd, w);
  Put16(bmhd, h);
  Put32(bmhd, 0);
  bmhd.push_back(1);  // planes
  bmhd.push_back(2);  // mskHasTransparentColor
  bmhd.push_back(0);  // no compression
  bmhd.push_back(0);
  Put16(bmhd, 0);
  bmhd.push_back(1);
  bmhd.push_back(1);
  Put16(bmhd, w);
  Put16(bmhd, h);
  Bytes cmap = {0, 0, 0, 255, 255, 255};
  Bytes body((size_t)row_bytes * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (img.Get(x, y)) body[(size_t)y * row_bytes + (x >> 3)] |= (uint8_t)(0x80 >> (x & 7));
  Bytes chunks;
  PutChunk(chunks, "BMHD", bmhd);
  PutChunk(chunks, "CMAP", cmap);
  PutChunk(chunks, "BODY", body);
  return Form("ILBM", chunks);
}

struct Failure {
  std::string where, what;
};

// Splits a line into words; "quoted text" is one word; # starts a comment.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') break;
    std::string w;
    if (line[i] == '"') {
      size_t e = line.find('"', i + 1);
      if (e == std::string::npos) throw Failure{"", "unclosed quote"};
      w = line.substr(i + 1, e - i - 1);
      i = e + 1;
      out.push_back("\"" + w);  // marks a quoted word
      continue;
    }
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') w += line[i++];
    out.push_back(w);
  }
  return out;
}

std::string Text(const std::string& w) { return !w.empty() && w[0] == '"' ? w.substr(1) : w; }

long Num(const std::string& w, long lo, long hi) {
  std::string t = Text(w);
  char* end = nullptr;
  long v = std::strtol(t.c_str(), &end, 0);
  if (t.empty() || *end || v < lo || v > hi)
    throw Failure{"", "'" + t + "' is not a number from " + std::to_string(lo) + " to " + std::to_string(hi)};
  return v;
}

// ".\Data\Path" -> <out>/Data/Path.
fs::path DiskPath(const fs::path& out, std::string program_path) {
  for (char& c : program_path) if (c == '\\') c = '/';
  while (program_path.rfind("./", 0) == 0) program_path.erase(0, 2);
  return out / program_path;
}

void WriteFile(const fs::path& p, const Bytes& b) {
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), (std::streamsize)b.size());
  if (!f) throw Failure{p.string(), "cannot write"};
}

// ---- Picture list -------------------------------------------------------

enum Kind : uint8_t { kNone = 0, kScreen = 1, kGraphic = 2, kMasked = 3, kStrip = 4 };

struct IndexEntry {
  uint8_t kind = kNone;
  uint16_t frames = 1, frame_height = 0, width = 0, height = 0;
  std::string file;
};

struct PictureIndex {
  std::string path;    // program path of the index
  std::string folder;  // program folder of its pictures
  uint32_t max_ids = 0;
  std::map<uint32_t, IndexEntry> entries;
};

Bytes EncodeIndex(const PictureIndex& ix) {
  uint32_t count = ix.entries.empty() ? 0 : ix.entries.rbegin()->first;
  Bytes b;
  PutId(b, "QPTH");
  Put16(b, 1);
  Put16(b, count);
  Put32(b, 0);
  for (uint32_t id = 1; id <= count; ++id) {
    auto it = ix.entries.find(id);
    IndexEntry e = it == ix.entries.end() ? IndexEntry{} : it->second;
    b.push_back(e.kind);
    b.push_back(0);
    Put16(b, e.frames);
    Put16(b, e.frame_height);
    Put16(b, e.width);
    Put16(b, e.height);
    Put16(b, 0);
    char name[52] = {};
    std::snprintf(name, sizeof name, "%s", e.file.c_str());
    b.insert(b.end(), name, name + 52);
  }
  return b;
}

// A movie name of the picture list (UTF-8, as movies.txt writes it) in the
// Latin-1 of the movie list's names.
std::string Latin1Name(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = (unsigned char)utf8[i];
    if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      out += (char)(((c & 0x03) << 6) | ((unsigned char)utf8[++i] & 0x3F));
    } else {
      out += (char)c;
    }
  }
  return out;
}

// The building and goods animations' description lines (movies/movies.txt), read
// when the first picture drawn from one needs them.
struct MovieSource {
  fs::path file;
  std::vector<movies::MovieLine> lines;
  bool read = false;
  const movies::MovieLine& Find(const std::string& name, const std::string& family = "buildings") {
    if (!read) {
      try {
        lines = movies::ReadMovieList(file.string());
      } catch (movies::ListError& e) {
        throw Failure{"", e.what};
      }
      read = true;
    }
    for (const movies::MovieLine& m : lines)
      if (m.name == name && m.family == family) return m;
    throw Failure{"", "no " + family + " animation " + name + " in " + file.string()};
  }
};

constexpr uint32_t kTavernPicture = 59;

// Screen pictures drawn so far, by ID, for pictures cut from them.
using DrawnScreens = std::map<uint32_t, Image>;

void MakePicture(const fs::path& out, PictureIndex& ix, const std::vector<std::string>& w, MovieSource& movie_source,
                 DrawnScreens& screens) {
  // <id> <kind> <width> <height> <style> [args]
  if (w.size() < 5) throw Failure{"", "expected: id kind width height style [arguments]"};
  uint32_t id = (uint32_t)Num(w[0], 1, ix.max_ids);
  if (ix.entries.count(id)) throw Failure{"", "picture " + std::to_string(id) + " listed twice"};
  IndexEntry e;
  std::string kind = w[1];
  int frames = 1;
  // "screen:masked": a screen picture whose holes (the transparent pen)
  // are written as the ILBM's transparent colour; its index kind stays 1.
  const bool screen_mask = kind == "screen:masked";
  if (kind == "screen" || screen_mask) e.kind = kScreen;
  else if (kind == "graphic") e.kind = kGraphic;
  else if (kind == "masked") e.kind = kMasked;
  else if (kind.rfind("strip:", 0) == 0) { e.kind = kStrip; frames = (int)Num(kind.substr(6), 1, 256); }
  else throw Failure{"", "unknown kind " + kind};
  int width = (int)Num(w[2], 1, 2048), fh = (int)Num(w[3], 1, 2048);
  if (e.kind == kScreen && (width != 640 || fh != 480)) throw Failure{"", "a screen picture is 640 x 480"};
  if ((long)fh * frames > 4096) throw Failure{"", "strip too tall"};
  Image img(width, fh * frames, (e.kind == kMasked || e.kind == kStrip) ? kTransparent : (uint8_t)kBlack);
  const std::string style = w[4];
  const std::string arg = w.size() > 5 ? Text(w[5]) : "";
  std::string err;
  bool ok = true;
  if (style == "background") ok = DrawBackground(img, arg, id);
  else if (style == "panel") ok = DrawPanel(img, arg);
  else if (style == "button") {
    if (arg != "released" && arg != "pressed") throw Failure{"", "button released|pressed [\"caption\"]"};
    ok = DrawButton(img, arg == "pressed", w.size() > 6 ? Text(w[6]) : "");
  } else if (style == "icon") ok = DrawIcon(img, arg, &err);
  else if (style == "cursor") ok = DrawCursor(img, arg, &err);
  else if (style == "strip") ok = DrawStrip(img, frames, fh, arg, &err);
  else if (style == "bar") DrawBar(img, (uint8_t)Num(arg, 0, 255));
  else if (style == "residence") ok = DrawResidence(img);
  else if (style == "residencemark") ok = DrawResidenceMark(img, arg, &err);
  else if (style == "campfire") ok = DrawCampfire(img);
  else if (style == "storybox") ok = DrawStoryBox(img);
  else if (style == "storypicture") ok = DrawStoryPicture(img, arg, &err);
  else if (style == "storyarrow") ok = DrawStoryArrow(img, arg, w.size() > 6 && Text(w[6]) == "pressed", &err);
  else if (style == "title") ok = DrawTitle(img);
  else if (style == "anarchy") ok = DrawAnarchy(img);
  else if (style == "credits") ok = DrawCredits(img);
  else if (style == "familytree") ok = DrawFamilyTree(img);
  else if (style == "signupdesk") ok = DrawSignupDesk(img);
  else if (style == "modempage") ok = DrawModemPage(img);
  else if (style == "soundpage") ok = DrawSoundPage(img);
  else if (style == "internetpage") ok = DrawInternetPage(img);
  else if (style == "optionlamp") ok = DrawOptionLamp(img, arg == "on");
  else if (style == "slide") ok = DrawSlide(img, arg, &err);
  else if (style == "dungeon") ok = DrawDungeonScreen(img);
  else if (style == "compass") ok = DrawCompassFrame(img, (int)Num(arg, 0, 35));
  else if (style == "deathpit") ok = DrawDeathPicture(img);
  else if (style == "temple") ok = DrawTemple(img);
  else if (style == "study") ok = DrawAdvisersStudy(img);
  else if (style == "reportplaque") ok = DrawReportPlaque(img);
  else if (style == "scribetable") ok = DrawScribeTable(img);
  else if (style == "legendparchment") ok = DrawLegendParchment(img);
  else if (style == "warroom") ok = DrawWarRoom(img);
  else if (style == "fieldbattle") {
    if (arg != "attacker" && arg != "defender") throw Failure{"", "fieldbattle attacker|defender"};
    ok = DrawFieldBattle(img, arg == "defender");
  } else if (style == "seafight") ok = DrawSeaFight(img);
  else if (style == "guildhall") ok = DrawGuildHall(img);
  else if (style == "cleric") ok = DrawClericPortrait(img);
  else if (style == "letterdesk") ok = DrawLetterDesk(img);
  else if (style == "council") ok = DrawCouncilChamber(img);
  else if (style == "scrollcabinet") ok = DrawScrollCabinet(img);
  else if (style == "countinghouse") ok = DrawCountingHouse(img);
  else if (style == "vassalhall") ok = DrawVassalHall(img);
  else if (style == "sealdesk") ok = DrawSealDesk(img);
  else if (style == "constructionoffice") ok = DrawConstructionOffice(img);
  else if (style == "god") ok = DrawGod(img, (int)Num(arg, 0, 9), &err);
  else if (style == "markethall") ok = DrawMarketHall(img);
  else if (style == "harbour") ok = DrawHarbour(img);
  else if (style == "harbourship") ok = DrawHarbourShip(img);
  else if (style == "shipyard") ok = DrawShipyardRequester(img);
  else if (style == "repairyard") ok = DrawRepairRequester(img);
  else if (style == "treasury") ok = DrawTreasury(img, (int)Num(arg, 0, 2), &err);
  else if (style == "thronehall") ok = DrawThroneHall(img);
  else if (style == "coronationcarpet") ok = DrawCoronationCarpet(img);
  else if (style == "crown") ok = DrawCrownStep(img, (int)Num(arg, 0, 5), &err);
  else if (style == "courtyard") ok = DrawResearchCourtyard(img);
  else if (style == "researchbox") ok = DrawResearchRequester(img);
  else if (style == "researchicon") ok = DrawResearchIcon(img, (int)Num(arg, 0, 6), &err);
  else if (style == "hourglass") ok = DrawHourglass(img, (int)Num(arg, 0, 13), &err);
  else if (style == "shield") ok = DrawShield(img, (int)Num(arg, 0, 6), &err);
  else if (style == "levelstep") ok = DrawLevelStep(img, (int)Num(arg, 0, 6), &err);
  else if (style == "taxchamber") ok = DrawTaxChamber(img);
  else if (style == "statue") ok = DrawStatue(img, (int)Num(arg, 0, 3), &err);
  else if (style == "taxbox") ok = DrawTaxBox(img, (int)Num(arg, 1, 4), &err);
  else if (style == "taxknob") ok = DrawTaxKnob(img);
  else if (style == "town") ok = DrawTownPart(img, (int)Num(arg, 1, 4), w.size() > 6 ? Text(w[6]) : "", &err);
  else if (style == "towntitle") ok = DrawTownTitle(img, (int)Num(arg, 1, 4));
  else if (style == "townobject") ok = DrawTownObject(img, (int)Num(arg, 2, 4), w.size() > 6 ? Text(w[6]) : "", &err);
  else if (style == "mapscreen") ok = DrawMapScreen(img);
  else if (style == "mapsidelists") ok = DrawMapSideLists(img);
  else if (style == "maptab") {
    // maptab <kind 0..4> released|pressed
    if (w.size() != 7) throw Failure{"", "maptab <kind 0..4> released|pressed"};
    ok = DrawMapTab(img, (int)Num(arg, 0, 4), Text(w[6]) == "pressed");
  } else if (style == "menurow") {
    if (arg != "action" && arg != "figure") throw Failure{"", "menurow action|figure"};
    ok = DrawMenuRow(img, arg == "figure");
  } else if (style == "framerail") {
    if (arg != "horizontal" && arg != "vertical") throw Failure{"", "framerail horizontal|vertical"};
    ok = DrawFrameRail(img, arg == "horizontal");
  } else if (style == "framecorner") ok = DrawFrameCorner(img, (int)Num(arg, 0, 3));
  else if (style == "topornament") {
    if (arg != "left" && arg != "right") throw Failure{"", "topornament left|right"};
    ok = DrawTopOrnament(img, arg == "right");
  } else if (style == "leftpanel") ok = DrawLeftPanel(img);
  else if (style == "overlayswitch") {
    // overlayswitch <kind 0..2> on|off
    if (w.size() != 7) throw Failure{"", "overlayswitch <kind 0..2> on|off"};
    ok = DrawOverlaySwitch(img, (int)Num(arg, 0, 2), Text(w[6]) == "on");
  } else if (style == "compassarrow") {
    if (w.size() != 7) throw Failure{"", "compassarrow <dir 0..3> released|pressed"};
    ok = DrawCompassArrow(img, (int)Num(arg, 0, 3), Text(w[6]) == "pressed");
  } else if (style == "minimapwindow") ok = DrawMiniMapWindow(img);
  else if (style == "leftpanelimage") {
    if (w.size() != 7) throw Failure{"", "leftpanelimage <kind 0..5> plain|lit"};
    ok = DrawLeftPanelImage(img, (int)Num(arg, 0, 5), Text(w[6]) == "lit");
  } else if (style == "cornerpanel") {
    if (arg != "shown" && arg != "behind") throw Failure{"", "cornerpanel shown|behind"};
    ok = DrawCornerPanel(img, arg == "shown");
  } else if (style == "bottompanel") ok = DrawBottomPanel(img);
  else if (style == "otherframe") ok = DrawOtherScreenFrame(img);
  else if (style == "smallswitch") {
    if (arg != "on" && arg != "off") throw Failure{"", "smallswitch on|off"};
    ok = DrawSmallSwitch(img, arg == "on");
  } else if (style == "cultivation") ok = DrawCultivationRequester(img);
  else if (style == "caravan") ok = DrawCaravanRequester(img);
  else if (style == "townbuilding") {
    // townbuilding <animation> <member> <members>: a line's member in the town
    if (w.size() != 8) throw Failure{"", "townbuilding <animation> <member 0..3> <members 1..4>"};
    ok = DrawTownBuilding(img, movie_source.Find(arg), (int)Num(w[6], 0, 3), (int)Num(w[7], 1, 4), &err);
  } else if (style == "construction") {
    ok = DrawConstructionPicture(img, movie_source.Find(arg), &err);
  } else if (style == "goods") {
    // goods <animation>: a still of the goods animation (its first frame)
    ok = DrawConstructionPicture(img, movie_source.Find(Latin1Name(arg), "goods"), &err);
  } else if (style == "chatwindow") ok = DrawChatWindow(img);
  else if (style == "chatbutton") ok = DrawChatButton(img, arg, w.size() > 6 && Text(w[6]) == "pressed", &err);
  else if (style == "runeboard") ok = DrawRuneBoard(img);
  else if (style == "rune") ok = DrawRune(img, (int)Num(arg, 1, 8), w.size() > 6 ? Text(w[6]) : "", &err);
  else if (style == "runecover") ok = DrawRuneCover(img);
  else if (style == "runepeg") ok = DrawRunePeg(img, arg, &err);
  else if (style == "granaryhall") ok = DrawGranaryHall(img);
  else if (style == "granaryheap") {
    // granaryheap <place 0..1> <fill 1..3>
    if (w.size() != 7) throw Failure{"", "granaryheap <place 0..1> <fill 1..3>"};
    ok = DrawGranaryHeap(img, (int)Num(arg, 0, 1), (int)Num(w[6], 1, 3), &err);
  } else if (style == "granaryweather") {
    if (arg != "rain" && arg != "storm") throw Failure{"", "granaryweather rain|storm"};
    ok = DrawGranaryWeather(img, arg == "storm");
  } else if (style == "granarybox") ok = DrawGranaryRequester(img);
  else if (style == "grainbar") {
    if (arg != "empty" && arg != "full") throw Failure{"", "grainbar empty|full"};
    ok = DrawGrainBar(img, arg == "full");
  } else if (style == "scalemarker") ok = DrawScaleMarker(img);
  else if (style == "dullpalette") ok = DrawPaletteSample(img);
  else if (style == "luxurystore") ok = DrawLuxuryStore(img);
  else if (style == "tavernroom") ok = DrawTavernRoom(img);
  else if (style == "storehouse") ok = DrawStorehouse(img);
  else if (style == "cask") ok = DrawCask(img);
  else if (style == "caskpiece") ok = DrawCaskPiece(img);
  else if (style == "storerequester") ok = DrawStoreRequester(img);
  else if (style == "barracks") ok = DrawBarracksYard(img);
  else if (style == "barracksreq") ok = DrawBarracksRequester(img, (int)Num(arg, 1, 3), &err);
  else if (style == "barracksarrow") {
    if ((arg != "left" && arg != "right") || w.size() != 7) throw Failure{"", "barracksarrow left|right released|pressed"};
    ok = DrawBarracksArrow(img, arg == "right", Text(w[6]) == "pressed");
  }
  else if (style == "cut") {
    // cut <screen ID> <x> <y>: a piece of a screen picture listed before
    if (w.size() != 8) throw Failure{"", "cut <screen id> <x> <y>"};
    auto from = screens.find((uint32_t)Num(arg, 1, ix.max_ids));
    if (from == screens.end()) throw Failure{"", "cut from a screen picture not listed before"};
    ok = CutPicture(img, from->second, (int)Num(w[6], 0, 639), (int)Num(w[7], 0, 479), &err);
  }
  else throw Failure{"", "unknown style " + style};
  if (!ok) throw Failure{"", err.empty() ? "cannot draw" : err};
  char name[64];
  std::snprintf(name, sizeof name, "%s\\Pic%04u.ilbm", ix.folder.c_str(), id);
  e.file = name;
  e.frames = (uint16_t)frames;
  e.frame_height = (uint16_t)fh;
  e.width = (uint16_t)width;
  e.height = (uint16_t)(fh * frames);
  // The story screen's page background, pen 6, is parchment on that screen.
  Palette own = SharedPalette();
  own[kTitleBar] = {236, 224, 190};
  // The town view's pictures carry the town palette (the background's
  // becomes the screen's).
  const bool town = style.rfind("town", 0) == 0;  // town, towntitle, townobject, townbuilding
  // The tavern picture and its windows carry the tavern palette.
  const bool tavern = id == kTavernPicture || style == "chatwindow" || style == "chatbutton" ||
                      style.rfind("rune", 0) == 0 || (style == "cut" && Num(arg, 1, ix.max_ids) == kTavernPicture);
  if (id == kTavernPicture) AvoidTavernPens(img);
  // The reports' and the statistics' pictures carry their own palettes.
  const Palette* reports = style == "study" || style == "reportplaque"        ? &ReportsPalette()
                           : style == "scribetable" || style == "legendparchment" ? &StatistikPalette()
                                                                                 : nullptr;
  // The battle pictures (and the burning town, shown as one) carry the
  // battle palette for the boxes of the news screen.
  const bool battle = style == "fieldbattle" || style == "seafight" || style == "anarchy";
  if (battle) AvoidBattlePens(img);
  // The barracks' pictures carry the barracks palette.
  const bool barracks = style.rfind("barracks", 0) == 0;
  if (e.kind == kScreen) screens.emplace(id, img);
  // The duller palette of bad weather is its picture's palette.
  const Palette dull = style == "dullpalette" ? DullPalette() : Palette{};
  WriteFile(DiskPath(out, e.file), EncodeIlbm(img, e.kind == kMasked || e.kind == kStrip || screen_mask,
                                              style == "campfire" ? &own : town ? &TownPalette()
                                                              : tavern ? &TavernPalette()
                                                              : style == "dullpalette" ? &dull
                                                              : battle ? &BattlePalette()
                                                              : barracks ? &BarracksPalette() : reports));
  ix.entries[id] = e;
}

// Pictures drawn in code (the map view's, the dungeon view's), added to the
// index being read.
void AddCodePictures(const fs::path& out, PictureIndex& ix, std::vector<MapPicture> pictures) {
  for (MapPicture& p : pictures) {
    if (p.id > ix.max_ids) throw Failure{"", "map picture " + std::to_string(p.id) + " beyond the index"};
    if (ix.entries.count(p.id)) throw Failure{"", "picture " + std::to_string(p.id) + " listed twice"};
    IndexEntry e;
    e.kind = p.kind;
    char name[64];
    std::snprintf(name, sizeof name, "%s\\Pic%04u.ilbm", ix.folder.c_str(), p.id);
    e.file = name;
    e.frames = (uint16_t)p.frames;
    e.frame_height = (uint16_t)p.frame_height;
    e.width = (uint16_t)p.img.width;
    e.height = (uint16_t)p.img.height;
    WriteFile(DiskPath(out, e.file), p.bitplane ? EncodeBitplaneIlbm(p.img) : EncodeIlbm(p.img, p.kind != 2));
    ix.entries[p.id] = e;
  }
}

std::vector<PictureIndex> ReadPictureList(const fs::path& src, const fs::path& out) {
  std::vector<PictureIndex> indexes;
  std::ifstream f(src);
  if (!f) throw Failure{src.string(), "cannot read"};
  MovieSource movie_source{src.parent_path() / "movies" / "movies.txt", {}, false};
  DrawnScreens screens;
  std::string line;
  int n = 0;
  while (std::getline(f, line)) {
    ++n;
    try {
      auto w = Words(line);
      if (w.empty()) continue;
      if (w[0] == "index") {
        // index <index path> <picture folder> <highest ID>
        if (w.size() != 4) throw Failure{"", "expected: index <path> <picture folder> <highest id>"};
        indexes.push_back(PictureIndex{Text(w[1]), Text(w[2]), (uint32_t)Num(w[3], 1, 4096), {}});
        continue;
      }
      if (indexes.empty()) throw Failure{"", "picture before the first index line"};
      if (w[0] == "map") {
        // map: the terrain tiles, hex mask, overlays and figures of the map view
        AddCodePictures(out, indexes.back(), MapPictures());
        continue;
      }
      if (w[0] == "dungeonview") {
        // dungeonview: the dungeon view's graphics and its position table,
        // which the dungeon screen's sources hold a copy of
        std::string table;
        try {
          AddCodePictures(out, indexes.back(), DungeonViewPictures(&table));
        } catch (std::runtime_error& e) {
          throw Failure{"", e.what()};
        }
        WriteFile(out / "dungeon_view_table.inc", Bytes(table.begin(), table.end()));
        continue;
      }
      MakePicture(out, indexes.back(), w, movie_source, screens);
    } catch (Failure& e) {
      throw Failure{src.string() + ":" + std::to_string(n), e.what};
    }
  }
  for (const auto& ix : indexes) WriteFile(DiskPath(out, ix.path), EncodeIndex(ix));
  return indexes;
}

// ---- Layouts ------------------------------------------------------------

struct Layout {
  std::map<int, std::pair<uint16_t, std::vector<Bytes>>> types;  // type -> record size, records
  std::vector<uint32_t> images;                                   // picture IDs its gadgets name
  uint32_t textareas = 0;
  std::vector<std::pair<uint32_t, int>> text_refs;                // gadget text index, line
};

void AddRecord(Layout& l, int type, uint16_t size, Bytes rec) {
  auto& t = l.types[type];
  if (t.second.empty() && t.first == 0) t.first = size;
  if (t.first != size) throw Failure{"", "records of type " + std::to_string(type) + " differ in size"};
  t.second.push_back(std::move(rec));
}

uint32_t CatalogWord(const std::vector<std::string>& w, size_t i) {
  if (i >= w.size()) return 0;
  if (w[i] == "title") return 0xFFFFFFFFu;
  return (uint32_t)Num(w[i], 0, 0xFFFFFFFE);
}

Bytes Rect(const std::vector<std::string>& w, size_t i) {
  Bytes r;
  for (size_t k = 0; k < 4; ++k) Put16(r, (uint32_t)Num(w.at(i + k), 0, 65535));
  return r;
}

// The lines of the types whose records are a fixed number of u16 values.
struct WordRecord {
  const char* op;
  int type;
  size_t words;
  const char* usage;
};
const WordRecord kWordRecords[] = {
    {"entry", 3, 5, "entry x1 y1 x2 y2 max-length"},
    {"slider", 4, 4, "slider x1 y1 x2 y2"},
    {"value", 5, 7, "value text-pen fill-pen x1 y1 x2 y2 flags"},
    {"mark", 7, 2, "mark x y"},
    {"point", 10, 2, "point x y"},
};

const WordRecord* FindWordRecord(const std::string& op) {
  for (const WordRecord& k : kWordRecords)
    if (op == k.op) return &k;
  return nullptr;
}

// Record size of a type the loader reads as typed records, 0 for the others.
uint16_t KnownRecordSize(int type) {
  switch (type) {
    case 0: case 2: case 8: return 12;
    case 1: return 24;
    case 9: return 2;
  }
  for (const WordRecord& k : kWordRecords)
    if (k.type == type) return (uint16_t)(k.words * 2);
  return 0;
}

void LayoutLine(Layout& l, const std::vector<std::string>& w, int line) {
  const std::string& op = w[0];
  if (op == "text" || op == "area") {
    // text|area x1 y1 x2 y2 [catalog ID | title]
    if (w.size() < 5 || w.size() > 6) throw Failure{"", op + " x1 y1 x2 y2 [catalog]"};
    Bytes r = Rect(w, 1);
    Put32(r, CatalogWord(w, 5));
    AddRecord(l, op == "text" ? 0 : 2, 12, r);
    if (op == "text") ++l.textareas;
  } else if (op == "gadget") {
    // gadget "ID" x1 y1 x2 y2 released pressed hover flags [text n]
    if (w.size() != 10 && w.size() != 12) throw Failure{"", "gadget \"ID\" x1 y1 x2 y2 released pressed hover flags [text n]"};
    std::string id = Text(w[1]);
    if (id.size() != 4) throw Failure{"", "a gadget ID has 4 characters: '" + id + "'"};
    Bytes r;
    uint32_t rel = (uint32_t)Num(w[6], 0, 65535), pre = (uint32_t)Num(w[7], 0, 65535),
             hov = (uint32_t)Num(w[8], 0, 65535);
    Put16(r, rel);
    Put16(r, pre);
    Put16(r, hov);
    Put16(r, (uint32_t)Num(w[9], 0, 65535));
    Bytes rect = Rect(w, 2);
    r.insert(r.end(), rect.begin(), rect.end());
    r.insert(r.end(), id.begin(), id.end());
    uint32_t text = 0;
    if (w.size() == 12) {
      if (w[10] != "text") throw Failure{"", "expected 'text n'"};
      text = (uint32_t)Num(w[11], 1, 65535);
      l.text_refs.push_back({text, line});
    }
    Put32(r, text);
    AddRecord(l, 1, 24, r);
    for (uint32_t img : {rel, pre, hov}) if (img) l.images.push_back(img);
  } else if (op == "list") {
    // list v v v ... (appends u16 values to type 9)
    for (size_t i = 1; i < w.size(); ++i) {
      Bytes r;
      Put16(r, (uint32_t)Num(w[i], 0, 65535));
      AddRecord(l, 9, 2, r);
    }
    l.types[9].first = 2;
  } else if (op == "label") {
    // label x1 y1 x2 y2 [catalog ID]: type 8, laid out as a text line
    if (w.size() < 5 || w.size() > 6) throw Failure{"", "label x1 y1 x2 y2 [catalog]"};
    Bytes r = Rect(w, 1);
    Put32(r, CatalogWord(w, 5));
    AddRecord(l, 8, 12, r);
  } else if (const WordRecord* k = FindWordRecord(op)) {
    // entry, slider, value, mark, point: a fixed number of u16 values
    if (w.size() != k->words + 1) throw Failure{"", k->usage};
    Bytes r;
    for (size_t i = 1; i < w.size(); ++i) Put16(r, (uint32_t)Num(w[i], 0, 65535));
    AddRecord(l, k->type, (uint16_t)(k->words * 2), r);
  } else if (op == "record") {
    // record <type> <size> <u16 words...>: a record of a type without its own line
    if (w.size() < 3) throw Failure{"", "record <type> <size> <u16 values...>"};
    int type = (int)Num(w[1], 0, 21);
    if (KnownRecordSize(type)) throw Failure{"", "type " + std::to_string(type) + " has its own line"};
    uint16_t size = (uint16_t)Num(w[2], 2, 1024);
    if (size & 1) throw Failure{"", "record size must be even"};
    if ((w.size() - 3) * 2 != size) throw Failure{"", "record needs size / 2 values"};
    Bytes r;
    for (size_t i = 3; i < w.size(); ++i) Put16(r, (uint32_t)Num(w[i], 0, 65535));
    AddRecord(l, type, size, r);
  } else if (op == "empty") {
    // empty <type> [record size]: the type is present with no records (the
    // size may be left out for a type with its own line, and must be its own)
    if (w.size() != 2 && w.size() != 3) throw Failure{"", "empty <type> [record size]"};
    int type = (int)Num(w[1], 0, 21);
    uint16_t known = KnownRecordSize(type);
    if (w.size() == 2 && !known) throw Failure{"", "empty " + std::to_string(type) + " needs its record size"};
    uint16_t size = w.size() == 3 ? (uint16_t)Num(w[2], 1, 1024) : known;
    if (known && size != known)
      throw Failure{"", "records of type " + std::to_string(type) + " have " + std::to_string(known) + " bytes"};
    auto& t = l.types[type];
    if (t.first && t.first != size) throw Failure{"", "records of type " + std::to_string(type) + " differ in size"};
    t.first = size;
  } else {
    throw Failure{"", "unknown line '" + op + "'"};
  }
}

Bytes EncodeLayout(const Layout& l) {
  Bytes chunks;
  for (const auto& [type, t] : l.types) {
    Bytes data;
    Put16(data, t.first);
    Put16(data, (uint32_t)t.second.size());
    for (const auto& r : t.second) data.insert(data.end(), r.begin(), r.end());
    char id[5];
    std::snprintf(id, sizeof id, "RT%02d", type);
    PutChunk(chunks, id, data);
  }
  return Form("SCRN", chunks);
}

void MakeLayouts(const fs::path& src_dir, const fs::path& out, const PictureIndex* main_index) {
  if (!fs::is_directory(src_dir)) return;
  std::vector<fs::path> files;
  for (const auto& de : fs::directory_iterator(src_dir))
    if (de.path().extension() == ".txt") files.push_back(de.path());
  std::sort(files.begin(), files.end());
  for (const auto& p : files) {
    std::ifstream f(p);
    Layout l;
    std::string line;
    int n = 0;
    try {
      while (std::getline(f, line)) {
        ++n;
        auto w = Words(line);
        if (!w.empty()) LayoutLine(l, w, n);
      }
      for (auto [text, at] : l.text_refs)
        if (text > l.textareas) { n = at; throw Failure{"", "gadget names text area " + std::to_string(text) + " of " + std::to_string(l.textareas)}; }
      if (main_index)
        for (uint32_t img : l.images)
          if (!main_index->entries.count(img)) { n = 0; throw Failure{"", "gadget image " + std::to_string(img) + " is not in the picture list"}; }
    } catch (Failure& e) {
      throw Failure{p.string() + ":" + std::to_string(n), e.what};
    }
    WriteFile(out / "Data" / "Screendat" / (p.stem().string() + ".dat"), EncodeLayout(l));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: datakit <source folder> <output folder>\n");
    return 2;
  }
  const fs::path src = argv[1], out = argv[2];
  try {
    // The characters' description first: a fault in it stops the kit at once.
    CharacterSet characters;
    {
      // A source folder without the description (a test's partial one)
      // makes no characters.
      const fs::path desc = src / "characters.txt";
      if (fs::exists(desc)) {
        std::ifstream f(desc, std::ios::binary);
        if (!f) throw Failure{desc.string(), "cannot read"};
        const std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        int line = 0;
        std::string reason;
        if (!ParseCharacters(text, &characters, &line, &reason))
          throw Failure{desc.string() + ":" + std::to_string(line), reason};
      }
    }
    // The German catalog: a faulty text line stops the kit before the pictures.
    std::string catalog_error;
    if (!MakeGermanCatalog(src, out, &catalog_error)) throw Failure{"catalog", catalog_error};
    auto indexes = ReadPictureList(src / "pictures.txt", out);
    const PictureIndex* main_index = nullptr;
    for (const auto& ix : indexes) if (ix.path == ".\\Data\\Path") main_index = &ix;
    MakeLayouts(src / "layouts", out, main_index);
    // The dungeon maps are text files the program reads as they are.
    if (fs::is_directory(src / "dungeon"))
      for (const auto& de : fs::directory_iterator(src / "dungeon"))
        if (de.path().extension() == ".txt") {
          fs::create_directories(out / "Data" / "Dungeon");
          fs::copy_file(de.path(), out / "Data" / "Dungeon" / de.path().filename(),
                        fs::copy_options::overwrite_existing);
        }
    std::string engine3d_error;
    if (!MakeEngine3DFiles(out, characters, &engine3d_error)) throw Failure{"engine3d", engine3d_error};
    // The 3D map's terrain models (terrain/models.txt).
    std::string terrain_error;
    if (!MakeTerrain3DFiles(src, out, &terrain_error)) throw Failure{"terrain", terrain_error};
    std::string movie_error;
    if (!MakeTestMovies(out.string(), &movie_error)) throw Failure{"movies", movie_error};
    WriteFile(out / ".datakit-stamp", Bytes{'o', 'k', '\n'});
  } catch (Failure& e) {
    std::fprintf(stderr, "%s: %s\n", e.where.c_str(), e.what.c_str());
    return 1;
  } catch (std::exception& e) {
    std::fprintf(stderr, "datakit: %s\n", e.what());
    return 1;
  }
  return 0;
}
