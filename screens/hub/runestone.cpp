// The rune-stone game. See runestone.h and docs/tavern.md.
#include "runestone.h"

#include <cstring>

#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/catalog.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/timer.h"
#include "screens/common/orders.h"

namespace {

constexpr uint32_t kBoard = 323, kCover = 296, kPegExact = 297, kPegMisplaced = 298, kFirstRune = 299;
constexpr uint32_t kFirstGfx = 297, kLastGfx = 322;
constexpr int32_t kBoardX = 174, kBoardY = 40, kBoardW = 306, kBoardH = 420;
constexpr int32_t kRuneW = 27, kRuneH = 28, kPegSize = 14, kPegStep = 16;
constexpr uint32_t kPenLit = 35, kPenDark = 255, kPenText = 7;
constexpr uint32_t kTextNewGame = 387, kTextAgain = 388, kTextRules = 389, kTextWon = 390, kTextLost = 391,
                   kTextNoFunction = 392, kTextLookAgain = 393, kTextLook = 394, kTextSaveFailed = 382,
                   kTextBet = 1326;
constexpr uint32_t kBetMin = 1001, kBetEnd = 100000;
constexpr uint32_t kLandMinSize = kRuneLandGold + 4;

int32_t SlotX(uint32_t column) { return 196 + 32 * (int32_t)column; }
int32_t SlotY(uint32_t row) { return 321 - 33 * (int32_t)row; }

uint32_t Ask(uint32_t mode, uint32_t text) {
  DebugLog("RuneStoneScreen: Frage %u\n", text);
  return static_cast<uint32_t>(ChiefMessage(66, 168, 180, 0, 0, 0, mode, GetCatalogStr(text), kPenText));
}

// A piece of the empty board back onto the screen (screen coordinates).
void BoardPiece(int32_t x, int32_t y, int32_t w, int32_t h) {
  BitMap* board = ElmorGfxBitMap(kBoard);
  RastPort* rp = ScreenRastPort();
  if (!board || !rp) return;
  if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
  BltBitMapRastPort(board, x - kBoardX, y - kBoardY, rp, x, y, w, h);
  if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
  ShowScreenRect(rp, x, y, w, h);
}

void SetFrame(RuneStoneState* st) {
  const uint32_t row = st->row < kRuneRows ? st->row : kRuneRows - 1;
  const uint16_t x1 = (uint16_t)SlotX(st->column), x2 = (uint16_t)(SlotX(st->column) + 28);
  const uint16_t y1 = (uint16_t)SlotY(row), y2 = (uint16_t)(SlotY(row) + 29);
  const uint16_t f[8] = {x1, y1, x2, y1, x2, y2, x1, y2};
  std::memcpy(st->frame, f, sizeof f);
}

// The frame's four edges: in a pen, or the board put back under them.
void DrawFrame(RuneStoneState* st, int32_t pen) {
  const int32_t x1 = st->frame[0], y1 = st->frame[1], x2 = st->frame[4], y2 = st->frame[5];
  if (x2 <= x1) return;
  if (pen < 0) {
    BoardPiece(x1, y1, x2 - x1 + 1, 1);
    BoardPiece(x1, y2, x2 - x1 + 1, 1);
    BoardPiece(x1, y1, 1, y2 - y1 + 1);
    BoardPiece(x2, y1, 1, y2 - y1 + 1);
    return;
  }
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
  SetAPen(rp, (uint32_t)pen);
  Move(rp, x1, y1);
  Draw(rp, x2, y1);
  Draw(rp, x2, y2);
  Draw(rp, x1, y2);
  Draw(rp, x1, y1);
  if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
  ShowScreenRect(rp, x1, y1, x2 - x1 + 1, y2 - y1 + 1);
}

void UpdateSlot(RuneStoneState* st) {
  const uint32_t row = st->row < kRuneRows ? st->row : kRuneRows - 1;
  st->slot = (uint16_t)(row * kRuneColumns + st->column);
}

}  // namespace

int32_t RuneStoneBetAllowed(uint32_t gold) { return gold >= kBetMin && gold < kBetEnd ? 1 : 0; }

uint8_t* LoadRuneStoneData() {
  uint8_t* land = nullptr;
  const int32_t from = LoadTurnChunk("LAND", &land);
  if (land && ChunkLength(land) + sizeof(ChunkHeader) < kLandMinSize) {
    DebugLog("LoadRuneStoneData: LAND zu kurz!\n");
    FreeChunk(land);
    return nullptr;
  }
  if (from == TURN_CHUNK_ABSENT) DebugLog("LoadRuneStoneData: Kein LAND vorhanden!\n");
  return land;
}

int32_t SaveRuneStoneData(uint8_t* land) {
  if (!land) return 0;
  const int32_t ok = AddChunkPool(land, OutgoingPoolPath) ? 1 : 0;
  if (!ok) {
    DebugLog("SaveRuneStoneData: Konnte LAND nicht speichern!\n");
    Ask(0, kTextSaveFailed);
  }
  FreeChunk(land);
  return ok;
}

void MoveRuneStoneCursor(RuneStoneState* st, int32_t column_step, int32_t row_step) {
  DrawFrame(st, -1);
  int32_t c = (int32_t)st->column + column_step, r = (int32_t)st->row + row_step;
  if (c < 0) c = 0;
  if (c >= (int32_t)kRuneColumns) c = kRuneColumns - 1;
  if (r < 0) r = 0;
  if (r > (int32_t)kRuneRows) r = kRuneRows;  // row 6: the board is full
  st->column = (uint16_t)c;
  st->row = (uint16_t)r;
  UpdateSlot(st);
  SetFrame(st);
  st->ticks = 0;
  if (st->blink) {
    st->frameLit = 1;
    DrawFrame(st, kPenLit);
  }
}

void ClearRuneStoneRow(RuneStoneState* st) {
  if (st->row >= kRuneRows) return;
  BoardPiece(195, SlotY(st->row), 157, 30);
  for (uint32_t c = 0; c < kRuneColumns; ++c) st->slots[st->row * kRuneColumns + c] = 0;
  MoveRuneStoneCursor(st, -(int32_t)st->column, 0);
}

void ShowRuneStoneCode(RuneStoneState* st) {
  for (uint32_t i = 0; i < kRuneColumns; ++i)
    if (st->code[i] >= 1 && st->code[i] <= kRuneKinds)
      BlitObjekt(nullptr, kFirstRune + st->code[i] - 1, 197 + 32 * (int32_t)i, 112, kRuneW, kRuneH);
}

void NewRuneStoneCode(RuneStoneState* st) {
  for (uint32_t i = 0; i < kRuneColumns; ++i) {
    st->code[i] = (uint16_t)(Zufall(kRuneKinds - 1) + 1);
    BlitObjekt(nullptr, kCover, 197 + 32 * (int32_t)i, 112, kRuneW, kRuneH);
  }
}

void CountRuneStoneRow(const uint16_t* code_in, const uint16_t* guess_in, uint16_t* exact, uint16_t* misplaced) {
  uint16_t code[kRuneColumns], guess[kRuneColumns];
  std::memcpy(code, code_in, sizeof code);
  std::memcpy(guess, guess_in, sizeof guess);
  *exact = *misplaced = 0;
  for (uint32_t i = 0; i < kRuneColumns; ++i)
    if (guess[i] == code[i]) {
      ++*exact;
      guess[i] = 0;
      code[i] = 65535;
    }
  for (uint32_t i = 0; i < kRuneColumns; ++i)
    for (uint32_t j = 0; j < kRuneColumns; ++j)
      if (code[i] == guess[j]) {
        ++*misplaced;
        guess[j] = 0;
        code[i] = 65535;
      }
}

int32_t CheckRuneStoneRow(RuneStoneState* st) {
  if (st->row >= kRuneRows) return 0;
  const uint16_t* guess = st->slots + st->row * kRuneColumns;
  for (uint32_t i = 0; i < kRuneColumns; ++i)
    if (!guess[i]) return 0;
  CountRuneStoneRow(st->code, guess, &st->exact, &st->misplaced);
  DebugLog("RuneStoneScreen: Reihe %u: %u richtig, %u versetzt\n", (uint32_t)st->row, (uint32_t)st->exact,
           (uint32_t)st->misplaced);
  if (const LayoutPoint* p = GetLayoutPoint(st->region, kRuneRows - st->row)) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < st->exact; ++i, ++n)
      BlitObjektMask(nullptr, kPegExact, 0, p->x + kPegStep * (int32_t)n + 1, p->y, kPegSize, kPegSize);
    for (uint32_t i = 0; i < st->misplaced; ++i, ++n)
      BlitObjektMask(nullptr, kPegMisplaced, 0, p->x + kPegStep * (int32_t)n + 1, p->y, kPegSize, kPegSize);
  }
  if (st->exact == kRuneColumns) return 1;
  MoveRuneStoneCursor(st, -(int32_t)st->column, 1);
  return 0;
}

void ResetRuneStoneBoard(RuneStoneState* st) {
  DrawFrame(st, -1);
  BoardPiece(195, 156, 260, 195);
  BoardPiece(197, 112, 32 * (int32_t)kRuneColumns, kRuneH);
  st->column = st->row = 0;
  std::memset(st->code, 0, sizeof st->code);
  std::memset(st->slots, 0, sizeof st->slots);
  UpdateSlot(st);
  SetFrame(st);
}

void StartRuneStoneBlink(RuneStoneState* st) {
  st->blink = 1;
  st->ticks = 0;
  st->frameLit = 1;
  SetFrame(st);
  DrawFrame(st, kPenLit);
}

void StopRuneStoneBlink(RuneStoneState* st) {
  st->blink = 0;
  DrawFrame(st, -1);
}

void BlinkRuneStoneCursor(RuneStoneState* st) {
  if (!st->blink) return;
  if (++st->ticks < 5) return;
  st->ticks = 0;
  st->frameLit = !st->frameLit;
  DrawFrame(st, st->frameLit ? kPenLit : kPenDark);
}

int32_t LoadRuneStoneGfx() {
  for (uint32_t id = kFirstGfx; id <= kLastGfx; ++id)
    if (OpenElmorGfx(".\\Data\\Path", id) != 1) {
      DebugLog("LoadRuneStoneGfx: Konnte Grafik %u nicht laden!\n", id);
      while (id-- > kFirstGfx) CloseElmorGfx(id);
      return 0;
    }
  return 1;
}

void FreeRuneStoneGfx() {
  for (uint32_t id = kFirstGfx; id <= kLastGfx; ++id) CloseElmorGfx(id);
}

namespace {

// One game; returns 0 when the visit ends (the close, or a box that could
// not be shown). Sets *gold_game when the game changed the gold.
int32_t PlayOneGame(RuneStoneState* st, uint8_t* land, bool* gold_game) {
  Ask(0, kTextNewGame);
  if (WindowCloseRequested()) return 0;
  bool bet = false;
  if (land && RuneStoneBetAllowed(ChunkGet32(land, kRuneLandGold))) bet = Ask(1, kTextBet) == 0;
  if (WindowCloseRequested()) return 0;
  NewRuneStoneCode(st);
  StartRuneStoneBlink(st);
  bool over = false, given_up = false;
  int32_t change = 0;
  while (!over) {
    const int32_t ev = WaitEvent(WE_EXTENDED | WE_TICKS);
    if (WindowCloseRequested()) {
      StopRuneStoneBlink(st);
      return 0;  // a game left unfinished costs nothing
    }
    if (ev == WE_TICK) {
      BlinkRuneStoneCursor(st);
      continue;
    }
    if (WaitEventExtended() && (ev == WE_KEY_LEFT || ev == WE_KEY_RIGHT)) {
      if (st->row < kRuneRows) MoveRuneStoneCursor(st, ev == WE_KEY_LEFT ? -1 : 1, 0);
      continue;
    }
    Gadget* g = HandleGadgetEvent(nullptr, st->region, (uint32_t)ev);
    if (!g) continue;
    bool rune = false;
    for (uint32_t k = 1; k <= kRuneKinds && !rune; ++k) {
      const char id[5] = {'R', 'U', 'N', (char)('0' + k), 0};
      if (!GadgetIs(g, id)) continue;
      rune = true;
      if (st->row >= kRuneRows) break;
      st->slots[st->slot] = (uint16_t)k;
      BlitObjekt(nullptr, kFirstRune + k - 1, SlotX(st->column) + 1, SlotY(st->row) + 1, kRuneW, kRuneH);
      MoveRuneStoneCursor(st, 1, 0);
    }
    if (!rune) {
      if (GadgetIs(g, "RESE")) {
        ClearRuneStoneRow(st);
      } else if (GadgetIs(g, "EXIT")) {
        given_up = over = true;
        break;
      } else if (GadgetIs(g, "INFO")) {
        StopRuneStoneBlink(st);
        const int32_t shown = TextBox(GetCatalogStr(kTextRules));
        StartRuneStoneBlink(st);
        if (!shown) {
          over = true;
          break;
        }
      } else if (GadgetIs(g, "OKOK")) {
        Ask(0, kTextNoFunction);
      } else {
        continue;
      }
    }
    if (CheckRuneStoneRow(st) == 1) {
      ShowRuneStoneCode(st);
      if (bet) change = (int32_t)kRuneStake;
      StopRuneStoneBlink(st);
      Ask(0, kTextWon);
      over = true;
    } else if (st->row >= kRuneRows) {
      ShowRuneStoneCode(st);
      if (bet) change = -(int32_t)kRuneStake;
      StopRuneStoneBlink(st);
      Ask(0, kTextLost);
      over = true;
    }
  }
  StopRuneStoneBlink(st);
  if (given_up && bet) change = -(int32_t)kRuneStake;
  if (change && land) {
    ChunkPut32(land, kRuneLandGold, ChunkGet32(land, kRuneLandGold) + (uint32_t)change);
    DebugLog("RuneStoneScreen: Gold %d, jetzt %u\n", change, ChunkGet32(land, kRuneLandGold));
  }
  if (bet) *gold_game = true;
  if (!given_up && Ask(1, kTextLookAgain) == 0) {
    Ask(0, kTextLook);
    for (;;) {
      const int32_t ev = WaitEvent(0);
      if (ev == WE_LEFT_DOWN || ev == WE_KEY_ESCAPE || WindowCloseRequested()) break;
    }
  }
  if (WindowCloseRequested()) return 0;
  if (Ask(1, kTextAgain) != 0) return 0;
  ResetRuneStoneBoard(st);
  return 1;
}

}  // namespace

int32_t RuneStoneScreen() {
  RuneStoneState st{};
  st.region = GetScreenRegion(".\\Data\\ScreenDat\\RuneStone.dat", 1027);
  if (!st.region) {
    DebugLog("RuneStoneScreen: Kann Spieldaten nicht laden!\n");
    return 0;
  }
  uint8_t* land = LoadRuneStoneData();
  BitMap* under = SaveBackground(kBoardX, kBoardY, kBoardW, kBoardH);
  const bool board = OpenElmorGfx(".\\Data\\Path", kBoard) == 1;
  if (!under || !board || !LoadRuneStoneGfx()) {
    DebugLog("RuneStoneScreen: Konnte Grafiken nicht laden!\n");
    if (board) CloseElmorGfx(kBoard);
    if (under) FreeBitMap(under);
    if (land) FreeChunk(land);
    FreeScreenRegion(st.region);
    return 0;
  }
  BlitObjekt(nullptr, kBoard, kBoardX, kBoardY, kBoardW, kBoardH);
  RestoreMouseGadgets(nullptr, st.region);
  UpdateSlot(&st);
  SetFrame(&st);
  bool gold_game = false;
  while (PlayOneGame(&st, land, &gold_game)) {
  }
  FreeMouseGadgetImages(st.region);
  FreeRuneStoneGfx();
  CloseElmorGfx(kBoard);
  RestoreBackground(under, kBoardX, kBoardY, kBoardW, kBoardH);
  if (land && gold_game) SaveRuneStoneData(land);
  else if (land) FreeChunk(land);
  FreeScreenRegion(st.region);
  return 1;
}
