// Drawing of the data kit's generated art: one shared palette, a small
// built-in pixel font for captions and names, and the picture styles the
// picture list names (backgrounds, panels, buttons, icons, cursors, strips).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

// Palette index that masked pictures use for their holes (magenta).
constexpr uint8_t kTransparent = 255;

// Pens of the shared palette that the program relies on.
enum Pen : uint8_t {
  kBlack = 0, kWhite = 1, kDarkGrey = 2, kGrey = 3, kLightGrey = 4,
  kParchment = 5, kTitleBar = 6, kInk = 7, kGold = 8, kDarkGold = 9,
  kRed = 10, kGreen = 11, kBlue = 12, kSky = 13, kWood = 14, kStone = 15,
  kGreyRamp = 16,       // 16 steps black..white
  kParchmentRamp = 32,  // 16 steps dark..light
  kWoodRamp = 48,
  kGoldRamp = 64,
  kOrangeRamp = 160,
};

using Palette = std::array<std::array<uint8_t, 3>, 256>;
const Palette& SharedPalette();

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> px;  // palette indexes
  Image(int w, int h, uint8_t fill) : width(w), height(h), px((size_t)w * h, fill) {}
  void Set(int x, int y, uint8_t c) {
    if (x >= 0 && y >= 0 && x < width && y < height) px[(size_t)y * width + x] = c;
  }
  uint8_t Get(int x, int y) const { return px[(size_t)y * width + x]; }
};

void FillRect(Image& img, int x1, int y1, int x2, int y2, uint8_t c);
void FrameRect(Image& img, int x1, int y1, int x2, int y2, uint8_t c);
// A stable pseudo-random value per pixel, for textures.
uint32_t TextureHash(int x, int y, uint32_t seed);
// An area of a ramp round shade (0..15) whose light varies by noise in
// 2 x 2 cells, spread steps wide.
void Texture(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int shade, int spread, uint32_t seed);
// A box of a ramp's shade, lit at the top, shadowed at the bottom, edged black.
void Shaded(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int shade);
// A filled ellipse with radii rx, ry (both > 0) round (cx, cy), clipped.
void FilledEllipse(Image& img, int cx, int cy, int rx, int ry, uint8_t c);
// A filled disc of radius r round (cx, cy), clipped to the image.
void FilledCircle(Image& img, int cx, int cy, int r, uint8_t c);
// A line drawn with a round pen of radius r.
void RoundLine(Image& img, int x0, int y0, int x1, int y1, uint8_t c, int r = 0);
void Bevel(Image& img, int x1, int y1, int x2, int y2, bool pressed);
// Parchment of the parchment ramp, light at the top, dithered by seed.
void ParchmentFill(Image& img, int x1, int y1, int x2, int y2, uint32_t seed);
// A wooden frame of the given width with a gold inner edge.
void WoodFrame(Image& img, int x1, int y1, int x2, int y2, int width);
// Caption in the built-in 5 x 7 font, scale >= 1; text width in pixels.
int TextWidth(const std::string& text, int scale);
void DrawText(Image& img, int x, int y, const std::string& text, int scale, uint8_t c);
// Centred in the rectangle, with a one-pixel shadow when shadow != kTransparent.
void DrawTextCentred(Image& img, int x1, int y1, int x2, int y2, const std::string& text, int scale,
                     uint8_t c, uint8_t shadow);

// Picture styles. Each returns false with a message in *err for bad arguments.
bool DrawBackground(Image& img, const std::string& name, uint32_t id);
bool DrawPanel(Image& img, const std::string& title);
bool DrawButton(Image& img, bool pressed, const std::string& caption);
// The tavern's letter window (516 x 390): a writing desk, see art_letters.cpp.
bool DrawLetterDesk(Image& img);
bool DrawIcon(Image& img, const std::string& kind, std::string* err);
bool DrawCursor(Image& img, const std::string& kind, std::string* err);
// Frames stacked vertically, each frame_height rows.
bool DrawStrip(Image& img, int frames, int frame_height, const std::string& kind, std::string* err);
void DrawBar(Image& img, uint8_t pen);
// The residence (picture 2) and its marks: upload1..upload3, info.
bool DrawResidence(Image& img);
bool DrawResidenceMark(Image& img, const std::string& kind, std::string* err);
// The residence's bare hall (stone wall, skirting, floor) as it shows from
// (x, y) of picture 2: the ground of the movies that play over the picture.
void DrawResidenceHall(Image& img, int x, int y);
// The story screen (picture 505, own palette: pen 6 is parchment), the story
// browser's frame (506) and the story pictures: town, herb.
bool DrawCampfire(Image& img);
bool DrawStoryBox(Image& img);
bool DrawStoryPicture(Image& img, const std::string& kind, std::string* err);
// The browser's back and next buttons: a wooden button with an arrow.
bool DrawStoryArrow(Image& img, const std::string& dir, bool pressed, std::string* err);
// The title (picture 1), anarchy (499), credits (151) and family tree (40),
// and the slides of the slide show by scene name.
bool DrawTitle(Image& img);
// The window of the title picture at (x, y), img's size, with its waterfall
// at frame `frame` of `frames` (frames divides 84); frame 0 is picture 1.
void DrawTitleWaterfall(Image& img, int x, int y, int frame, int frames);
bool DrawAnarchy(Image& img);
bool DrawCredits(Image& img);
bool DrawFamilyTree(Image& img);
// The sign-up screen (art_signup.cpp): the scribe's desk with the form's
// parchment (picture 32).
bool DrawSignupDesk(Image& img);
// The option pages (art_options.cpp): the modem page (1141), a messenger's
// loft with the cursor switch's board, and the switches' lamps (57 off,
// 58 on).
bool DrawModemPage(Image& img);
// The sound page (133): a minstrels' gallery with the board of switches,
// fields and slider tracks.
bool DrawSoundPage(Image& img);
// The internet page (134): a post room with the board of the account's
// fields and the network choices.
bool DrawInternetPage(Image& img);
bool DrawOptionLamp(Image& img, bool on);
bool DrawSlide(Image& img, const std::string& kind, std::string* err);
// The dungeon screen (1293), the compass rose turned by frame x 10 degrees
// clockwise, the death picture. (The view's graphics: dungeonview.h.)
bool DrawDungeonScreen(Image& img);
bool DrawCompassFrame(Image& img, int frame);
bool DrawDeathPicture(Image& img);

// The gods screen (art_gods.cpp): the temple hall with ten niches (1085)
// and god 0..9 with the sign of its domain (1086..1095); the coronation:
// the throne hall (876), its carpet and heralds from (0, 242) (877) and the
// crown's descent, step 0..5, from (321, 212) (878..883).
constexpr int kGodPictures = 10;
bool DrawTemple(Image& img);
bool DrawGod(Image& img, int god, std::string* err);
// The market hall (108): counter, offers board, stall and treasury.
bool DrawMarketHall(Image& img);
// The market's pictures of gold (111 x 76): 0 a few coins, 1 a heap, 2 a full chest.
bool DrawTreasury(Image& img, int level, std::string* err);
bool DrawThroneHall(Image& img);
bool DrawCoronationCarpet(Image& img);
bool DrawCrownStep(Image& img, int step, std::string* err);

// The research screen (art_economy.cpp): the scholars' courtyard (35), the
// requester (162, 480 x 356), the field icons (field 0..6, 195 x 155), the
// hourglass gauge (step 0..13: sand left above, 80 x 60), the level shields
// (level 0..6, 19 x 30, masked) and the level steps (0..6, 7 x 12). The
// taxes screen: the tax chamber (42), the statue in setting 0..3 (215 x 230,
// with the chamber behind it, at 270, 187), the requester boxes 1..4 (346..349)
// and the base tax's knob (354, masked).
bool DrawResearchCourtyard(Image& img);
bool DrawResearchRequester(Image& img);
bool DrawResearchIcon(Image& img, int field, std::string* err);
bool DrawHourglass(Image& img, int step, std::string* err);
bool DrawShield(Image& img, int level, std::string* err);
bool DrawLevelStep(Image& img, int step, std::string* err);
bool DrawTaxChamber(Image& img);
bool DrawStatue(Image& img, int setting, std::string* err);
bool DrawTaxBox(Image& img, int box, std::string* err);
bool DrawTaxKnob(Image& img);

// The diplomacy screen (art_diplomacy.cpp): the council chamber with its
// five stations (34), the scroll cabinet (273), the counting room of the
// trade form (274), the throne hall with a kneeling vassal (275) and the
// desk with a broken seal (276).
bool DrawCouncilChamber(Image& img);
bool DrawScrollCabinet(Image& img);
bool DrawCountingHouse(Image& img);
bool DrawVassalHall(Image& img);
bool DrawSealDesk(Image& img);

// The harbour (art_harbour.cpp): the harbour (519), its quay area with a
// ship at it (521, 288 x 178 from 88, 97), the shipyard's requester (520)
// and the repair yard's (1138), both 480 x 320 at 80, 80.
bool DrawHarbour(Image& img);
bool DrawHarbourShip(Image& img);
bool DrawShipyardRequester(Image& img);
bool DrawRepairRequester(Image& img);

// The construction screen's office (art_construction.cpp, picture 43).
bool DrawConstructionOffice(Image& img);

// The town view (art_town.cpp, docs/town-pictures.md). Its pictures carry
// the town palette: the shared one with pen 7 the lamp light of the night
// windows and pen 10 the rain. The night darkens pens 36..255 only, so the
// town's own pixels keep off pens 1..35.
constexpr int kTownLotCount = 38, kTownLotWidth = 48, kTownLotHeight = 40;
constexpr uint8_t kTownGlass = 177;  // window panes (slate, dark)
constexpr uint8_t kNightLight[3] = {184, 76, 14};
const Palette& TownPalette();
// Moves pens 1..35 to the nearest pens of 36..254.
void AvoidSteadyPens(Image& img);
// A pen under the overcast sky: darker, the grass dull.
uint8_t OvercastPen(uint8_t pen);
// The town of a level (1..4): "background" (plain sky, 640 x 480), "sky"
// (the sunny top, 640 x 123), "overcasttop" (640 x 123), "overcastbottom"
// (640 x 357 from row 123).
bool DrawTownPart(Image& img, int level, const std::string& part, std::string* err);
// The whole town of a level (640 x 480) under the "plain", "sunny" or
// "overcast" sky, drawn once per run: the screen's movies cut their
// ground from it.
const Image& TownScene(int level, const std::string& sky);
// The title board (276 x 58) and the object pairs of levels 2 to 4: gate,
// gateopen (64 x 62), scaffold, scaffoldbusy (48 x 46).
bool DrawTownTitle(Image& img, int level);
bool DrawTownObject(Image& img, int level, const std::string& kind, std::string* err);

// The map screen (art_map.cpp, docs/map-screen-geometry.md): the 8-bit
// screen (3, the view a hole), its side panel with the lists (865), the list
// tabs (866..875, kind 0..4), the menu rows (448 action, 449 figure); the
// deeper displays' frame rails (1148, 1149), corners (1144..1147, corner
// 0..3), top ornaments (1614, 1615), left panel (1143), overlay switches
// (1160..1165, kind 0 borders, 1 names, 2 resources), compass arrows
// (1152..1159, dir 0 up, 1 right, 2 down, 3 left), the minimap window
// (1166), the left panel's images (1168..1178, kind 0..5), the corner panel
// (1150 shown, 1151 behind), the bottom panel (1167), the frame of the other
// screens (1142); the 8-bit switch (143 off, 145 on), the cultivation (1041)
// and caravan (1265) requesters.
bool DrawMapScreen(Image& img);
bool DrawMapSideLists(Image& img);
bool DrawMapTab(Image& img, int kind, bool pressed);
bool DrawMenuRow(Image& img, bool figure);
bool DrawFrameRail(Image& img, bool horizontal);
bool DrawFrameCorner(Image& img, int corner);
bool DrawTopOrnament(Image& img, bool right);
bool DrawLeftPanel(Image& img);
bool DrawOverlaySwitch(Image& img, int kind, bool on);
bool DrawCompassArrow(Image& img, int dir, bool pressed);
bool DrawMiniMapWindow(Image& img);
bool DrawLeftPanelImage(Image& img, int kind, bool lit);
bool DrawCornerPanel(Image& img, bool shown);
bool DrawBottomPanel(Image& img);
bool DrawOtherScreenFrame(Image& img);
bool DrawSmallSwitch(Image& img, bool on);
bool DrawCultivationRequester(Image& img);
bool DrawCaravanRequester(Image& img);
// The tavern's windows (art_tavern.cpp). They and the tavern picture carry
// the tavern palette: pen 35 light parchment (the chat's log and input
// ground), pen 146 deep wine red (the chat's text), pen 255 a gold glow.
const Palette& TavernPalette();
void AvoidTavernPens(Image& img);
// The chat window (516 x 390), its buttons exit|people|help, released or
// pressed; the rune board (306 x 420), rune 1..8 (27 x 28; kind "", "lit" or
// "dim"), the cover of the hidden code and the pegs exact|misplaced.
bool DrawChatWindow(Image& img);
bool DrawChatButton(Image& img, const std::string& kind, bool pressed, std::string* err);
bool DrawRuneBoard(Image& img);
bool DrawRune(Image& img, int rune, const std::string& kind, std::string* err);
bool DrawRuneCover(Image& img);
bool DrawRunePeg(Image& img, const std::string& kind, std::string* err);
// The reports screen (art_reports.cpp): the advisers' study (33) and its
// title plaque (283) in the reports palette (pen 55 the text box's light
// parchment); the statistics screen's scribe's table (41) and legend
// parchment (379) in the statistics palette (also pens 226..235 the ten
// curves' colours).
bool DrawAdvisersStudy(Image& img);
bool DrawReportPlaque(Image& img);
bool DrawScribeTable(Image& img);
bool DrawLegendParchment(Image& img);
const Palette& ReportsPalette();
const Palette& StatistikPalette();
// The granary (art_granary.cpp): the hall (56), a heap on the loft (place
// 0, 304 x 108) or in the bin (place 1, 272 x 108) a quarter, half or nearly
// full (fill 1..3), the window in rain or storm (112 x 84), the requester
// (516 x 390), a bar's empty or full fill, the scales' marker (7 x 13,
// masked), a sample of every pen for the duller palette of bad weather,
// which DullPalette gives. The luxury store (919): shelves of goods, the
// goods frame at (16, 16), the ledger's place, the three scales' board.
bool DrawGranaryHall(Image& img);
bool DrawGranaryHeap(Image& img, int place, int fill, std::string* err);
bool DrawGranaryWeather(Image& img, bool storm);
bool DrawGranaryRequester(Image& img);
bool DrawGrainBar(Image& img, bool full);
bool DrawScaleMarker(Image& img);
bool DrawPaletteSample(Image& img);
Palette DullPalette();
bool DrawLuxuryStore(Image& img);
// The tavern's room (59) with an object at each of its gadgets, and the
// update store (art_tavernroom.cpp): the storehouse (61), a cask (109, masked),
// the sacks at the post in front of the fourth cask (111, masked) and the
// requester's scroll (69).
bool DrawTavernRoom(Image& img);
bool DrawStorehouse(Image& img);
bool DrawCask(Image& img);
bool DrawCaskPiece(Image& img);
bool DrawStoreRequester(Image& img);
// The news screen (art_news.cpp): the war room (36); the field battle seen
// by the attacker (472) and by the other side (498) and the sea fight (837),
// which with the burning town (499) carry the battle palette: pens 82, 96,
// 114, 134, 149, 159, 162, 163 and 214 are the screen's box pens there and
// no pixel of those pictures uses them. The specialists' guild hall (38) and
// the cleric's portrait (1096).
bool DrawWarRoom(Image& img);
bool DrawFieldBattle(Image& img, bool other_side);
bool DrawSeaFight(Image& img);
const Palette& BattlePalette();
void AvoidBattlePens(Image& img);
bool DrawGuildHall(Image& img);
bool DrawClericPortrait(Image& img);
// The barracks (art_barracks.cpp): the yard (152), the requester panels
// (kind 1 management 199, 2 training 200, 3 weapons 201; 508 x 344) and the
// counters' arrows (16 x 16). They carry the barracks palette: the shared
// one with the boxes' grounds (pens 11 and 22) and the sliders' pens (24..26)
// light, so the boxes' ink stays legible; the yard keeps off those pens.
const Palette& BarracksPalette();
void AvoidBarracksPens(Image& img);
bool DrawBarracksYard(Image& img);
bool DrawBarracksRequester(Image& img, int kind, std::string* err);
bool DrawBarracksArrow(Image& img, bool right, bool pressed);
// img cut from picture `from` at (x, y).
bool CutPicture(Image& img, const Image& from, int x, int y, std::string* err);

}  // namespace datakit
