// Figures on the map: the figure list of .\Data\MapPrefs.qoe, the local list
// of the window, finding figures on a hex, moving a figure one hex with its
// costs, scrolling, revealing and the walking animation.
#include <atomic>
#include <cstring>

#include "map_internal.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"

namespace {

constexpr uint32_t kMoveHeaderAt = 28;   // the MOVE header follows the 28-byte MREF chunk
constexpr uint32_t kMovePayloadAt = 40;

// The walking steps of frames 0..23 (x; y), subtracted from the start.
const int8_t kNorthY[24] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 1, 1, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 0};

int32_t ViewOffsetX(const QoEMapInfo* map, int64_t x) { return RingDelta(x, map->X, kWorldColumns); }
int32_t ViewOffsetY(const QoEMapInfo* map, int64_t y) { return RingDelta(y, map->Y, kWorldRows); }

bool Known(const QoEMapInfo* map, int32_t c, int32_t r) {
  if (!(map->Flags & MAPF_KNOWLEDGE)) return true;
  return r >= 0 && HexKnownInWindow(map, c, r) != 0;
}

void SetKnownAt(QoEMapInfo* map, int32_t c, int32_t r) {
  if (map->BMap) BitMapSet(map->BMap, map->ViewColumn + c, map->ViewRow + r);
}

FigurRecord ToRecord(const MapFigur& f) {
  FigurRecord r{};
  r.owner = f.Besitzer;
  r.type = f.Typ;
  r.number = f.Nummer;
  r.x = f.X;
  r.y = f.Y;
  r.state = f.Status;
  r.points = f.Punkte;
  return r;
}

// One animation frame on the screen at map-bitmap position (x, y): the map
// bitmap behind the previous frame is put back first.
struct AnimState {
  QoEMapInfo* map;
  int32_t lastX, lastY;
  bool drawn;
};

void AnimFrame(AnimState& a, uint32_t pic, uint32_t frame, int32_t x, int32_t y) {
  QoEMapInfo* map = a.map;
  RastPort* screen = ScreenRastPort();
  if (a.drawn) MapCopyRectToScreen(map, a.lastX, a.lastY, kTileWidth, kFigurFrameHeight);
  if (screen) {
    int32_t sx = x - 16 + map->ScreenX, sy = y - 28 + map->ScreenY;
    // The graphic is opened before the display mutex is taken: the picture
    // manager's lock comes first.
    const MapGfxUse use(pic);
    QoeMutex* m = DisplayMutex();
    if (m) ObtainMutex(m);
    MapAnimFrameOf(screen, use, frame, sx, sy, kTileWidth, kFigurFrameHeight);
    if (m) ReleaseMutex(m);
    ShowScreenRect(screen, sx, sy, kTileWidth, kFigurFrameHeight);
  }
  a.lastX = x;
  a.lastY = y;
  a.drawn = true;
  uint32_t ms = MapState().animFrameMs.load();
  if (ms) SleepMs(ms);
}

}  // namespace

uint8_t* ReadMapPrefsMove(const uint8_t* data, uint32_t size, uint32_t* list_bytes) {
  *list_bytes = 0;
  BoundedReader r = MakeReader(data, size);
  // Walk the chunks to the first MOVE.
  while (ReaderHas(r, 12)) {
    const uint8_t* h = ReadSpan(r, 12);
    uint32_t len = GetBE32(h + 8);
    if (std::memcmp(h, "MOVE", 4) != 0) {
      if (!ReaderSkip(r, len)) break;
      continue;
    }
    uint32_t left = (uint32_t)ReaderLeft(r);
    if (len > left) {
      DebugLog("InitPosLoadPeopleMem: MOVE-Chunk endet hinter der Datei (%u statt %u Bytes)\n", left, len);
      len = left;
    }
    const uint8_t* p = ReadSpan(r, len);
    uint32_t count = len >= 2 ? GetBE16(p) : 0;
    DebugLog("Gr\xf6\xdf" "e des Move-Chunks beim laden 1) %u zu 2) %u\n", count * kFigurSize + 2, len);
    if (count * kFigurSize + 2 > len) {
      DebugLog("Fataler Fehler! Gr\xf6\xdf" "e des Move-Chunks unterschiedlich!\n");
      count = len >= 2 ? (len - 2) / kFigurSize : 0;
    }
    uint32_t bytes = len < 2 ? 2 : len;
    uint8_t* list = static_cast<uint8_t*>(AllocVec(bytes, MEMF_PUBLIC | MEMF_CLEAR));
    if (!list) return nullptr;
    SetMapFigurCount(list, (uint16_t)count);
    for (uint32_t i = 0; i < count; i++) {
      const uint8_t* s = p + 2 + i * kFigurSize;
      MapFigur* f = MapFigurAt(list, i);
      f->Besitzer = GetBE32(s);
      f->Typ = GetBE16(s + 4);
      f->Nummer = GetBE16(s + 6);
      f->X = GetBE32(s + 8);
      f->Y = GetBE32(s + 12);
      f->Status = s[16];
      f->Punkte = s[17];
    }
    *list_bytes = bytes;
    return list;
  }
  return nullptr;
}

int32_t InitPosLoadPeopleMem(QoEMapInfo* map) {
  if (!map) return 0;
  const MapRecordLock hold;
  uint32_t size = 0, bytes = 0;
  uint8_t* list = nullptr;
  // A damaged file, or none in an installed game, is not read at all: the
  // map shows no figures, none can be moved, and nothing is written in the
  // file's place.
  const uint32_t fault = LoadFigureFile(MapPrefsPath, nullptr);
  if (fault) {
    DebugLog("InitPosLoadPeopleMem: MapPrefs.qoe ist beschaedigt oder fehlt, die Karte zeigt keine Figuren\n");
    bytes = 2;
    list = static_cast<uint8_t*>(AllocVec(bytes, MEMF_PUBLIC | MEMF_CLEAR));
  } else {
    uint8_t* file = static_cast<uint8_t*>(LoadFile2MemSize(MapPrefsPath, MEMF_PUBLIC, &size));
    list = file ? ReadMapPrefsMove(file, size, &bytes) : nullptr;
    FreeVec(file);
  }
  if (!list) {
    DebugLog("InitPosLoadPeopleMem: Konnte MOVE-Chunk nicht in Speicher laden!\n");
    return 0;
  }
  uint8_t* local = static_cast<uint8_t*>(AllocVec(bytes, MEMF_PUBLIC | MEMF_CLEAR));
  if (!local) {
    DebugLog("InitPosLoadPeopleMem: Konnte Speicher f\xfcr Move-Chunk nicht reservieren...\n");
    FreeVec(list);
    return 0;
  }
  FreeVec(map->Figures);
  FreeVec(map->LocalFigures);
  map->FigureFileDamaged = fault;
  map->FigureBytes = bytes;
  map->LocalFigures = local;
  std::atomic_ref<uint8_t*>(map->Figures).store(list, std::memory_order_release);
  GetLocalPeople(map);
  return 1;
}

int32_t ExitPosWriteMapPrefs(QoEMapInfo* map) {
  if (!map || !map->Figures) return 0;
  if (map->FigureFileDamaged) {
    DebugLog("ExitPosWriteMapPrefs: MapPrefs.qoe ist beschaedigt oder fehlt, nichts geschrieben...\n");
    return 1;
  }
  // The whole file is read, its MOVE payload replaced and the file written
  // back whole (SaveMem2File), so a kill leaves the old file or the new one.
  uint32_t diskSize = 0;
  uint64_t diskTime = 0;
  if (!GetFileStamp(MapPrefsPath, &diskSize, &diskTime)) {
    DebugLog("ExitPosWriteMapPrefs: MapPrefs nicht vorhanden...\n");
    return 0;
  }
  uint32_t fileSize = 0;
  uint8_t* file = static_cast<uint8_t*>(LoadFile2MemSize(MapPrefsPath, MEMF_PUBLIC, &fileSize));
  if (!file || fileSize < kMovePayloadAt) {
    DebugLog("ExitPos: Move-Chunk ist korrupt...\n");
    FreeVec(file);
    return 0;
  }
  const uint8_t* head = file + kMoveHeaderAt;
  if (std::memcmp(head, "MOVE", 4) != 0) {
    // Writing at 40 would overwrite another chunk: refused.
    DebugLog("ExitPosWriteMapPrefs: Kein MOVE-Chunk an Stelle 28, nichts geschrieben...\n");
    FreeVec(file);
    return 0;
  }
  uint32_t len = GetBE32(head + 8);
  if (len > fileSize - kMovePayloadAt) {
    DebugLog("ExitPos: Move-Chunk ist korrupt...\n");
    FreeVec(file);
    return 0;
  }
  uint32_t count = MapFigurCount(map->Figures);
  if (count * kFigurSize + 2 != len)
    DebugLog("ExitPosWriteMapPrefs: Fataler Fehler! Gr\xf6\xdf" "e des Move-Chunks unterschiedlich beim speichern 1: %u zu 2: %u\n",
             count * kFigurSize + 2, len);
  // The file gets a big-endian copy; the live list is never swapped.
  uint8_t* image = file + kMovePayloadAt;
  std::memset(image, 0, len);
  uint32_t fit = len >= 2 ? (len - 2) / kFigurSize : 0;
  if (count > fit) count = fit;
  uint32_t limit = (map->FigureBytes - 2) / kFigurSize;
  if (count > limit) count = limit;
  if (len >= 2) PutBE16(image, (uint16_t)count);
  for (uint32_t i = 0; i < count; i++) {
    const MapFigur* s = MapFigurAt(map->Figures, i);
    uint8_t* d = image + 2 + i * kFigurSize;
    PutBE32(d, s->Besitzer);
    PutBE16(d + 4, s->Typ);
    PutBE16(d + 6, s->Nummer);
    PutBE32(d + 8, s->X);
    PutBE32(d + 12, s->Y);
    d[16] = s->Status;
    d[17] = s->Punkte;
  }
  int32_t ok = SaveMem2File(MapPrefsPath, file, fileSize) ? 1 : 0;
  if (!ok) DebugLog("ExitPosWriteMapPrefs: Konnte MOVE-Chunk nicht schreiben...\n");
  FreeVec(file);
  return ok;
}

void GetLocalPeople(QoEMapInfo* map) {
  if (!map || !map->Figures || !map->LocalFigures) return;
  uint8_t* local = map->LocalFigures;
  std::memset(local, 0, map->FigureBytes);
  uint32_t n = MapFigurCount(map->Figures), k = 0;
  for (uint32_t i = 0; i < n; i++) {
    const MapFigur* f = MapFigurAt(map->Figures, i);
    int32_t px = WrapFull(f->X, kWorldColumns) / kPartColumns, py = WrapFull(f->Y, kWorldRows) / kPartRows;
    int32_t dx = RingDelta(px, map->CenterX, kPartCount), dy = RingDelta(py, map->CenterY, kPartCount);
    if (dx < -1 || dx > 1 || dy < -1 || dy > 1) continue;
    std::memcpy(MapFigurAt(local, k), f, kFigurSize);
    k++;
  }
  SetMapFigurCount(local, (uint16_t)k);
  DebugLog("Anzahl globale Figuren %u\n", n);
  DebugLog("Anzahl lokale Figuren %u\n", k);
}

void MapFiguresMoved(QoEMapInfo* map) {
  if (map->Figures) GetLocalPeople(map);
}

uint32_t GetActivePeopleCount(QoEMapInfo* map, int32_t x, int32_t y) {
  if (!map || !map->Figures) return 0;
  int32_t wx = WrapFull(x, kWorldColumns), wy = WrapFull(y, kWorldRows);
  uint32_t count = 0;
  for (uint32_t i = 0, n = MapFigurCount(map->Figures); i < n; i++) {
    const MapFigur* f = MapFigurAt(map->Figures, i);
    if ((int32_t)f->X == wx && (int32_t)f->Y == wy) count++;
  }
  DebugLog("GetActivePeople : Anzahl der Figuren %u\n", count);
  return count;
}

MapFigur* GetActivePeopleOf(QoEMapInfo* map, int32_t x, int32_t y, int16_t n, uint32_t owner) {
  if (!map || !map->Figures || n < 0) return nullptr;
  int32_t wx = WrapFull(x, kWorldColumns), wy = WrapFull(y, kWorldRows);
  int32_t seen = 0;
  for (uint32_t i = 0, count = MapFigurCount(map->Figures); i < count; i++) {
    MapFigur* f = MapFigurAt(map->Figures, i);
    if ((int32_t)f->X != wx || (int32_t)f->Y != wy) continue;
    if (n == 0 && f->Besitzer == owner) {
      DebugLog("GetActivePeople : Spielerfigur gefunden...\n");
      return f;
    }
    if (n > 0 && ++seen == n) {
      DebugLog("GetActivePeople : Figur auf %u %u gefunden...\n", wx, wy);
      return f;
    }
  }
  return nullptr;
}

MapFigur* GetActivePeople(QoEMapInfo* map, int32_t x, int32_t y, int16_t n) {
  return GetActivePeopleOf(map, x, y, n, MapOwnPlayer());
}

void SetHexKnown(QoEMapInfo* map, uint16_t column, uint16_t row) {
  if (map) SetKnownAt(map, column, row);
}

int32_t GetHexGfx(const QoEMapInfo* map, uint16_t window_column, uint16_t window_row) {
  const MapTile* t = CMapCell(map, window_column, window_row);
  if (!t) return -1;
  return (int32_t)(t->Grafik & 0xFF) - 1;
}

int32_t SetPeopleAnimHex(QoEMapInfo* map, uint16_t column, uint16_t row, uint16_t window_column, uint16_t window_row) {
  if (!map || !map->Rp || GetHexGfx(map, window_column, window_row) < 0) return 1;
  int32_t c = (int16_t)column, r = (int16_t)row;
  DrawHexWithOverlays(map, c, r, map->Rp);
  MapCopyRectToScreen(map, HexPixelX(c), HexPixelY(c, r), kTileWidth, kTileHeight);
  return 1;
}

void WalkStep(int direction, int frame, int* dx, int* dy) {
  *dx = *dy = 0;
  if (frame < 0 || frame > 23) return;
  int side = (frame < 5 || frame > 18) ? 1 : 2;  // diagonal x steps: 1 x5, 2 x14, 1 x5
  switch (direction) {
    case 1: *dy = kNorthY[frame]; break;
    case 2: *dx = -side; *dy = 1; break;
    case 3: *dx = -side; *dy = -1; break;
    case 4: *dy = -kNorthY[frame]; break;
    case 5: *dx = side; *dy = -1; break;
    case 6: *dx = side; *dy = 1; break;
    default: break;
  }
}

int WalkFrames(int direction, int* frames, int max) {
  int n = 0;
  auto add = [&](int f) {
    if (n < max) frames[n] = f;
    n++;
  };
  for (int f = 0; f <= 4; f++) add(f);
  int repeats = (direction == 1 || direction == 4) ? 2 : 1;
  for (int k = 0; k < repeats; k++)
    for (int f = 5; f <= 18; f++) add(f);
  for (int f = 20; f <= 23; f++) add(f);
  return n;
}

int32_t SetPeopleAnim(QoEMapInfo* map, MapFigur* figure, int16_t dx, int16_t dy) {
  if (!map || !figure) return 0;
  const bool odd = figure->X & 1;
  int d = 0, t = 0;
  if (dx == 0 && dy == -1) d = 1, t = 5;
  else if (dx == 0 && dy == 1) d = 4, t = 0;
  else if (odd && dx == 1 && dy == 0) d = 2, t = 4;
  else if (odd && dx == 1 && dy == 1) d = 3, t = 2;
  else if (odd && dx == -1 && dy == 1) d = 5, t = 1;
  else if (odd && dx == -1 && dy == 0) d = 6, t = 4;
  else if (!odd && dx == 1 && dy == -1) d = 2, t = 4;
  else if (!odd && dx == 1 && dy == 0) d = 3, t = 2;
  else if (!odd && dx == -1 && dy == 0) d = 5, t = 1;
  else if (!odd && dx == -1 && dy == -1) d = 6, t = 4;
  else return 1;
  if (!map->Rp || !map->Bitmap) return 1;  // no view bitmap (OpenGL mode): nothing to animate
  uint32_t first = 380, frame0 = 4;
  if (!FigurPicture(figure->Typ, &first, &frame0) || figure->Typ > 20) return 1;
  const uint32_t pd = first + (uint32_t)d;
  if (!UseElmorGfx(kMapPicIndex, pd)) {
    DebugLog("SetPeopleAnim : Konnte Spielfigur nicht laden (Step1)...\n");
    return 0;
  }
  const int32_t vc = ViewOffsetX(map, figure->X), vr = ViewOffsetY(map, figure->Y);
  const int32_t x = HexPixelX(vc), y = HexPixelY(vc, vr);
  const MapTile* start = CMapCell(map, map->ViewColumn + vc, map->ViewRow + vr);
  if (start && start->Grafik != 0 && start->Grafik <= 99) {
    // Clear the start hex in the map bitmap and draw what stays on it.
    uint32_t v = map->TileVariant > 8 ? 0 : map->TileVariant;
    if (!MapDrawTile(map->Rp, TileTable[start->Grafik][v], x, y, true)) {
      DebugLog("SetPeopleAnim : Konnte Spielfigur nicht laden (Step2)...\n");
      CloseElmorGfx(pd);
      return 0;
    }
    uint32_t ox = figure->X, oy = figure->Y;
    figure->X = (uint32_t)WrapFull((int64_t)ox + dx, kWorldColumns);
    figure->Y = (uint32_t)WrapFull((int64_t)oy + dy, kWorldRows);
    if (map->Flags & MAPF_BORDERS) BlitHexExtra(map, (uint16_t)vc, (uint16_t)vr, map->Rp, (uint16_t)x, (uint16_t)y);
    if (map->Flags & MAPF_FIGURES) BlitFigurHex(map, (uint16_t)vc, (uint16_t)vr, map->Rp, (uint16_t)x, (uint16_t)y);
    figure->X = ox;
    figure->Y = oy;
    AnimState a{map, x, y, true};  // the start hex is shown again with the first frame
    // Turn towards the step.
    for (int i = 0; i < t; i++) AnimFrame(a, first, (uint32_t)(d >= 4 ? 4 + i : 4 - i), x, y);
    // Walk.
    int frames[64];
    int n = WalkFrames(d, frames, 64);
    int32_t ax = 0, ay = 0;
    for (int i = 0; i < n; i++) {
      int sx, sy;
      WalkStep(d, frames[i], &sx, &sy);
      ax += sx;
      ay += sy;
      AnimFrame(a, pd, (uint32_t)frames[i], x - ax, y - ay);
    }
    // Turn back on the target hex.
    const int32_t tc = ViewOffsetX(map, (int64_t)figure->X + dx), tr = ViewOffsetY(map, (int64_t)figure->Y + dy);
    const int32_t tx = HexPixelX(tc), ty = HexPixelY(tc, tr);
    if (d >= 4)
      for (int f = t + 3; f >= 4; f--) AnimFrame(a, first, (uint32_t)f, tx, ty);
    else
      for (int f = 5 - t; f <= 4; f++) AnimFrame(a, first, (uint32_t)f, tx, ty);
  }
  CloseElmorGfx(pd);
  return 1;
}

int32_t SetPeople(QoEMapInfo* map, MapFigur* figure, int16_t dx, int16_t dy) {
  if (!map || !figure || !map->CMap) return 0;
  if (figure->Status == 7) return 0;
  const int32_t C = map->Columns, R = map->Rows;
  if (C > 0 && R > 0) {
    int32_t oc = WrapFull((int64_t)figure->X - map->X, kWorldColumns), orow = WrapFull((int64_t)figure->Y - map->Y, kWorldRows);
    if (oc >= C || orow >= R) {
      int32_t sdx = ViewOffsetX(map, figure->X) / 2 - C / 4, sdy = ViewOffsetY(map, figure->Y) - R / 2;
      if (sdx != 0 || sdy != 0) SetPos(map, sdx, sdy);
    }
  }
  const int32_t tx = WrapFull((int64_t)figure->X + dx, kWorldColumns), ty = WrapFull((int64_t)figure->Y + dy, kWorldRows);
  int32_t xo = ViewOffsetX(map, tx), yo = ViewOffsetY(map, ty);
  int32_t wc = map->ViewColumn + xo, wr = map->ViewRow + yo;
  int16_t cost = (wc >= 0 && wr >= 0) ? GetMovePoints(map->CMap, (uint16_t)wc, (uint16_t)wr, figure->Typ) : 0;
  DebugLog("SetPeople : Bewegungspunkte f\xfcr dieses Feld : %u\n", (uint32_t)cost);
  if (cost <= 0 || cost > figure->Punkte) return 0;
  DebugLog("SetPeople : XOffset_MW %d YOffset_MW %d\n", xo, yo);
  const int32_t margin = MapDisplayDepth() == 8 ? 2 : 6;
  if (C > 0 && R > 0 && (xo < 2 || yo < 2 || xo >= C - 2 || yo >= R - margin)) {
    int32_t sdx = (xo - C / 2) / 2, sdy = yo - R / 2;
    DebugLog("SetPeople : Gerichtet : XOffset_MW %d YOffset_MW %d\n", xo, yo);
    SetPos(map, sdx, sdy);
    xo = ViewOffsetX(map, tx);
    yo = ViewOffsetY(map, ty);
    wc = map->ViewColumn + xo;
    wr = map->ViewRow + yo;
  }
  // Reveal the target and its six neighbours.
  if (!Known(map, xo, yo)) {
    SetKnownAt(map, xo, yo);
    if (wc >= 0 && wr >= 0) SetPeopleAnimHex(map, (uint16_t)xo, (uint16_t)yo, (uint16_t)wc, (uint16_t)wr);
  }
  static const int kEven[6][2] = {{0, -1}, {1, -1}, {1, 0}, {0, 1}, {-1, 0}, {-1, -1}};
  static const int kOdd[6][2] = {{0, -1}, {1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}};
  const auto& nb = (wc & 1) ? kOdd : kEven;
  for (const auto& o : nb) {
    int32_t c = xo + o[0], r = yo + o[1];
    if (Known(map, c, r)) continue;
    if (wc + o[0] >= 0 && wr + o[1] >= 0)
      SetPeopleAnimHex(map, (uint16_t)c, (uint16_t)r, (uint16_t)(wc + o[0]), (uint16_t)(wr + o[1]));
    SetKnownAt(map, c, r);
  }
  if (!Known(map, xo, yo)) return 0;  // outside the window's knowledge map
  if (!SetPeopleAnim(map, figure, dx, dy)) DebugLog("SetPeople : Konnte Figur nicht darstellen...\n");
  const uint8_t leaderPoints = figure->Punkte;
  if (!(map->Flags & MAPF_SIGHT)) {
    figure->X = (uint32_t)tx;
    figure->Y = (uint32_t)ty;
    figure->Punkte = (uint8_t)(leaderPoints - cost);
    GetLocalPeople(map);
    return 1;
  }
  if (map->Sight && map->SightCells == (uint32_t)(C * R)) ComputeSight(map, map->Sight);
  if (figure->Status == 18 && map->Figures) {
    for (uint32_t i = 0, n = MapFigurCount(map->Figures); i < n; i++) {
      MapFigur* g = MapFigurAt(map->Figures, i);
      if (g == figure || g->Besitzer != figure->Besitzer || g->X != figure->X || g->Y != figure->Y) continue;
      if (g->Status != 0 || g->Typ != figure->Typ || g->Nummer == figure->Nummer || g->Punkte != leaderPoints) continue;
      g->X = (uint32_t)tx;
      g->Y = (uint32_t)ty;
      g->Punkte = (uint8_t)(g->Punkte - cost);
      FigurRecord rec = ToRecord(*g);
      SetFigurDependence(&rec, dx, dy, map->Armies, map->Ships, map->Figures, map->FigureBytes);
    }
  }
  figure->X = (uint32_t)tx;
  figure->Y = (uint32_t)ty;
  figure->Punkte = (uint8_t)(leaderPoints - cost);
  GetLocalPeople(map);
  map->ScrollDirection = SCROLL_SIGHT;
  SetPos(map, 0, 0);
  if (map->Sight) std::memset(map->Sight, 0, map->SightCells * 4);
  return 1;
}
