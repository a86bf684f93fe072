// The gods screen. See goetter.h.
#include "goetter.h"

#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textentry.h"
#include "screens/common/screenbase.h"

namespace {

constexpr uint32_t kPicture = 1085, kGodPicture = 1086, kGodSfx = 172, kGodText = 1396;
constexpr uint32_t kInfoText = 1407, kNoNameText = 1409, kLeaveText = 1410, kRefusedText = 1411, kChangeText = 1412;
constexpr uint32_t kNotSavedText = 127;  // "The data could not be saved."
constexpr int32_t kNextScreen = 42;
constexpr uint8_t kCdTrack = 10;
// LAND offsets (from the chunk start).
constexpr uint32_t kLandFaith = 62, kLandGod = 90, kLandName = 92, kLandSize = kLandName + kGodNameSize;
constexpr uint32_t kFaithToChange = 200;  // a change needs more faith than this
constexpr uint32_t kPenText = 7, kPenField = 4, kPenHeadingFill = 19, kTitlePen = 6;
constexpr uint32_t kPenBox = 5, kPenKnob = 26, kPenTrack = 22, kPenLight = 25, kPenDark = 24;
constexpr uint32_t kLayoutMask = (1u << LAYOUT_TEXTAREA) | (1u << LAYOUT_GADGET) | (1u << 2) | (1u << 3) | (1u << 8) |
                                 (1u << 9);
const char* const kGodIds[kGodCount] = {"GOE0", "GOE1", "GOE2", "GOE3", "GOE4",
                                        "GOE5", "GOE6", "GOE7", "GOE8", "GOE9"};

uint32_t Ask(uint32_t mode, uint32_t text) {
  DebugLog("GoetterScreen: Frage %u\n", text);
  return static_cast<uint32_t>(ChiefMessage(66, 168, 180, 0, 0, 0, mode, GetCatalogStr(text), kPenText));
}

// Area n of the layout (0 the description box, 1 its slider), null none.
const TextArea* Area(const ScreenRegion* region, uint32_t n) {
  const ScreenRecordList& a = region->types[2];
  return n < a.count ? static_cast<const TextArea*>(a.first) + n : nullptr;
}

// The name field: cleared and the name printed on one line.
void DrawName(GoetterData* d, const char* text) {
  const EntryField* f = GetLayoutEntry(d->region, 0);
  RastPort* rp = ScreenRastPort();
  if (!f || !rp) return;
  SetFont(rp, d->textFont);
  SetDrMd(rp, 0);
  SetAPen(rp, kPenField);
  RectFill(rp, f->x1, f->y1, f->x2, f->y2);
  SetAPen(rp, kPenText);
  Move(rp, f->x1 + 2, f->y1 + rp->TxBaseline + 1);
  const uint32_t width = static_cast<uint32_t>(f->x2 - f->x1 - 3);
  uint32_t len = static_cast<uint32_t>(std::strlen(text));
  while (len && TextLength(rp, text, len) > width) --len;
  Text(rp, text, len);
  ShowScreenRect(rp, f->x1, f->y1, f->x2 - f->x1 + 1, f->y2 - f->y1 + 1);
}

// LAND of the outgoing pool, else of the received pool; a pool that marks
// LAND present but does not load it fails (null), as does a realm without it.
uint8_t* LoadLand() {
  for (const char* pool : {OutgoingPoolPath, ReceivedPoolPath}) {
    if (!IsChunkInFile(ChunkBit(CHUNK_LAND), pool)) continue;
    uint8_t* land = LoadChunk2Mem("LAND", pool);
    if (land && ChunkLength(land) + sizeof(ChunkHeader) < kLandSize) {
      FreeChunk(land);
      land = nullptr;
    }
    if (!land) DebugLog("GoetterScreenInitAllThings: LAND in %s nicht lesbar!\n", pool);
    return land;
  }
  DebugLog("GoetterScreenInitAllThings: Kein LAND vorhanden!\n");
  return nullptr;
}

}  // namespace

void GoetterStoreChoice(uint8_t* land, uint32_t god, const char* name) {
  land[kLandGod] = static_cast<uint8_t>(god);
  char* out = reinterpret_cast<char*>(land + kLandName);
  CopyIntoField(out, kGodNameSize, name);  // the record's field: a longer name keeps its start
}

int32_t GoetterLoadSfx() {
  for (uint32_t i = 0; i < kGodCount; ++i)
    if (OpenElmorSfx(".\\Data\\SfxPath", kGodSfx + i) != 1) {
      DebugLog("GoetterLoadSfx: Konnte Sfx %u nicht laden!\n", kGodSfx + i);
      while (i--) CloseElmorSfx000(kGodSfx + i);
      return 0;
    }
  return 1;
}

void GoetterFreeSfx() {
  for (uint32_t i = 0; i < kGodCount; ++i) CloseElmorSfx000(kGodSfx + i);
}

int32_t GoetterScreenInitAllThings(GoetterData* d) {
  d->land = LoadLand();
  if (!d->land) return 0;
  RastPort* rp = ScreenRastPort();
  if (!rp) return 0;
  SetAPen(rp, kPenText);
  SetDrMd(rp, 0);
  SetFont(rp, d->textFont);
  if (const TextArea* heading = GetLayoutLabel(d->region, 0))
    PrintTextOutlined(rp, heading->x1, heading->y1, heading->x2, heading->y2, heading->text ? heading->text : "",
                      kPenHeadingFill, kPenText, PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  const char* stored = reinterpret_cast<const char*>(d->land + kLandName);
  std::memcpy(d->name, stored, kGodNameSize);
  d->name[kGodNameSize - 1] = 0;
  DrawName(d, d->name[0] ? d->name : GetCatalogStr(kNoNameText));
  const uint8_t god = d->land[kLandGod];
  // The realm's god is shown as if picked: renaming it alone stores it.
  if (god >= 1 && god <= kGodCount) GoetterScreenBeschreibung(d, god - 1u);
  return 1;
}

int32_t GoetterScreenBeschreibung(GoetterData* d, uint32_t i) {
  if (i >= kGodCount) return 0;
  SfxPlayer000(kGodSfx + i, 0, 0);
  LayoutRect old{}, at{};
  if (d->saved && d->shown && GetLayoutRect(d->region, d->shown - 1, &old))
    RestoreBackground(d->saved, old.x1, old.y1, old.x2 - old.x1 + 1u, old.y2 - old.y1 + 1u);
  d->saved = nullptr;
  d->shown = 0;
  if (!GetLayoutRect(d->region, i, &at) ||
      !(d->saved = SaveBackground(at.x1, at.y1, at.x2 - at.x1 + 1u, at.y2 - at.y1 + 1u))) {
    DebugLog("GoetterScreenBeschreibung: Konnte Hintergrund nicht retten !");
    return 0;
  }
  d->shown = i + 1;
  BlitObjekt(nullptr, kGodPicture + i, at.x1, at.y1, 0, 0);
  if (d->req) FreeRequesterBox(d->req);
  d->req = nullptr;
  const TextArea* box = Area(d->region, 0);
  const TextArea* slider = Area(d->region, 1);
  if (box) {
    const uint32_t w = box->x2 - box->x1 + 1u, h = box->y2 - box->y1 + 1u;
    d->req = InitRequesterTextBox(w - 4, d->textFont, GetCatalogStr(kGodText + i), box->x1, box->y1, w, h, kPenBox,
                                  kPenText, nullptr);
    if (d->req && slider)
      InitSlider(d->req, slider->x2 - slider->x1 + 1u, slider->y2 - slider->y1 + 1u, kPenKnob, kPenTrack, kPenLight,
                 kPenDark, slider->x1, slider->y1);
  }
  DebugLog("GoetterScreenBeschreibung: Gott %u\n", i + 1);
  d->picked = 1;
  d->god = i + 1;
  return 1;
}

void GoetterScreenNamen(GoetterData* d) {
  const EntryField* f = GetLayoutEntry(d->region, 0);
  RastPort* rp = ScreenRastPort();
  if (!f || !rp) return;
  SetFont(rp, d->textFont);
  const int32_t x = f->x1 + 2, y = f->y1 + 1;
  const uint32_t width = static_cast<uint32_t>(f->x2 - f->x1 - 3), height = rp->TxHeight;
  uint32_t max_len = f->maxLength ? f->maxLength : kGodNameSize - 1;
  if (max_len > kGodNameSize - 1) max_len = kGodNameSize - 1;
  char text[kGodNameSize] = {};
  uint8_t widths[kGodNameSize] = {};
  GetCharWidths(rp, d->name, text, widths, kGodNameSize);
  SetAPen(rp, kPenField);
  RectFill(rp, f->x1, f->y1, f->x2, f->y2);
  TextCursor* cursor = SetTextCursor(x, y, height, 2, kPenText, rp);
  auto show = [&] { ShowScreenRect(rp, f->x1, f->y1, f->x2 - f->x1 + 1, f->y2 - f->y1 + 1); };
  auto edit = [&](int32_t key) {
    EditKey(key, text, widths, cursor, x, y, width, max_len, 1, kPenText, kPenField);
    show();
  };
  edit(0);
  KeyScope keys;  // a key held from before the field does not type into it
  for (;;) {
    const int32_t ev = WaitEvent(WE_EXTENDED | WE_TICKS);
    if (WindowCloseRequested() || ev == WE_KEY_ENTER || ev == WE_KEY_ESCAPE) break;
    if (ev == WE_TICK) show();
    else if (WaitEventExtended()) edit(ev + 256);
    else if (ev > 0 && ev < 256) edit(ev);
  }
  StopTextCursor(cursor);
  show();
  std::memcpy(d->name, text, kGodNameSize);
  d->name[kGodNameSize - 1] = 0;
  d->named = 1;
}

int32_t GoetterScreenWriteData(GoetterData* d) {
  LayoutRect at{};
  if (d->saved && d->shown && GetLayoutRect(d->region, d->shown - 1, &at))
    RestoreBackground(d->saved, at.x1, at.y1, at.x2 - at.x1 + 1u, at.y2 - at.y1 + 1u);
  d->saved = nullptr;
  if (d->req) FreeRequesterBox(d->req);
  d->req = nullptr;
  int32_t ok = 1;
  if (d->land && d->picked && d->named) {
    GoetterStoreChoice(d->land, d->god, d->name);
    ok = AddChunkPool(d->land, OutgoingPoolPath) ? 1 : 0;
    if (!ok) {
      DebugLog("GoetterScreenWriteData: Konnte LAND nicht speichern!\n");
      Ask(0, kNotSavedText);  // the player must not leave believing his god chosen
    }
    else DebugLog("GoetterScreenWriteData: Gott %u gespeichert\n", d->god);
  }
  if (d->land) FreeChunk(d->land);
  d->land = nullptr;
  return ok;
}

namespace {

// The confirmation: whether the screen ends, and with the choice stored.
void Confirm(GoetterData* d) {
  if (!d->picked || !d->named) {
    if (Ask(1, kLeaveText) == 0) {
      d->picked = d->named = 0;
      d->leave = 1;
    }
    return;
  }
  if (d->land[kLandGod] == 0) {
    d->leave = 1;
    return;
  }
  if (ChunkGet32(d->land, kLandFaith) > kFaithToChange) {
    if (Ask(1, kChangeText) == 0) d->leave = 1;
    return;
  }
  Ask(0, kRefusedText);
  d->picked = d->named = 0;
  d->leave = 1;
}

}  // namespace

int32_t GoetterScreen(int32_t) {
  PlayScreenCdTrack(kCdTrack);
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "GoetterScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<GoetterData*>(AllocVec(sizeof(GoetterData), MEMF_PUBLIC | MEMF_CLEAR));
  bool sfx = false;
  auto leave = [&](int32_t next) {
    if (sfx) GoetterFreeSfx();
    if (d) {
      if (next == -1) d->picked = d->named = 0;  // a failed start stores nothing
      GoetterScreenWriteData(d);
      CloseFont(d->textFont);
    }
    FreeVec(d);
    CloseScreenBase(&base, next);
    return next;
  };
  if (!d) {
    ScreenStartFailed(&base, SCREEN_STEP_MEMORY, "GoetterScreen: Konnte Speicher nicht allokieren!\n");
    return leave(-1);
  }
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt") || !(d->textFont = OpenDiskFont("fonts\\XHelvetica11.fnt"))) {
    ScreenStartFailed(&base, SCREEN_STEP_FONT, "GoetterScreen: Konnte Font nicht laden!\n");
    return leave(-1);
  }
  d->titleFont = base.font;
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Goetter.dat", kLayoutMask)) {
    ScreenStartFailed(&base, SCREEN_STEP_LAYOUT, "GoetterScreenInitAllThings: Kann TitelbarDaten nicht laden!\n");
    return leave(-1);
  }
  d->region = base.region;
  sfx = GoetterLoadSfx() == 1;
  if (!sfx) {
    ScreenStartFailed(&base, SCREEN_STEP_SOUNDS, nullptr);
    return leave(-1);
  }
  if (!GoetterScreenInitAllThings(d)) {
    ScreenStartFailed(&base, SCREEN_STEP_DATA, "GoetterScreenInitAllThings: Kann LAND nicht laden!\n");
    return leave(-1);
  }
  ShowScreenBase(&base);
  while (!d->leave) {
    int32_t event;
    Gadget* g = ScreenBaseEvent(&base, kTitlePen, &event);
    if (WindowCloseRequested()) {
      d->picked = d->named = 0;
      break;
    }
    if (!g) continue;
    bool god = false;
    for (uint32_t i = 0; i < kGodCount && !god; ++i)
      if (GadgetIs(g, kGodIds[i])) {
        god = true;
        GoetterScreenBeschreibung(d, i);
      }
    if (god) continue;
    if (GadgetIs(g, "EING")) {
      GoetterScreenNamen(d);
    } else if (GadgetIs(g, "UP00") || GadgetIs(g, "DO00") || GadgetIs(g, "SL00")) {
      if (!d->req) continue;
      MoveSlider(d->req, GadgetIs(g, "SL00") ? static_cast<uint32_t>(GetMouseY())
                         : GadgetIs(g, "UP00") ? static_cast<uint32_t>(SLIDER_UP) : static_cast<uint32_t>(SLIDER_DOWN));
      ScrollRequester(d->req, 0, 0);
    } else if (GadgetIs(g, "INFO")) {
      TextBox(GetCatalogStr(kInfoText));
    } else if (GadgetIs(g, "EXIT")) {
      d->picked = d->named = 0;
      d->leave = 1;
    } else if (GadgetIs(g, "OKOK")) {
      Confirm(d);
    }
  }
  return leave(kNextScreen);
}
