// Hex geometry and drawing of the view: tiles by terrain graphic and tile
// variant, sight shading, territory borders, value bars, dungeon marks, the
// movement range and the figures; scrolling in place; pixel to hex.
#include <cstdio>
#include <cstring>

#include "map_internal.h"
#include "platform/log.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"

const char* const kMapPicIndex = ".\\Data\\Path";

const uint16_t TileTable[100][9] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0},
    {841, 841, 841, 859, 1012, 1012, 1012, 1013, 841},  // 1
    {842, 842, 1044, 856, 1016, 1016, 1045, 1017, 842},  // 2
    {843, 843, 843, 862, 1020, 1020, 1020, 1031, 843},  // 3
    {844, 844, 844, 845, 1021, 1021, 1021, 1022, 844},  // 4
    {5, 5, 5, 473, 939, 939, 939, 940, 5},  // 5
    {6, 6, 6, 6, 941, 941, 941, 941, 6},  // 6
    {7, 7, 7, 474, 942, 942, 942, 943, 7},  // 7
    {8, 8, 8, 8, 946, 946, 946, 946, 8},  // 8
    {9, 9, 9, 9, 947, 947, 947, 947, 9},  // 9
    {10, 10, 10, 476, 949, 949, 949, 950, 10},  // 10
    {11, 11, 11, 477, 951, 951, 951, 952, 11},  // 11
    {12, 12, 12, 478, 957, 957, 957, 958, 12},  // 12
    {13, 13, 1054, 479, 959, 959, 1055, 960, 13},  // 13
    {14, 14, 14, 480, 987, 987, 987, 988, 14},  // 14
    {15, 15, 15, 481, 989, 989, 989, 990, 15},  // 15
    {16, 16, 16, 482, 991, 991, 991, 992, 16},  // 16
    {17, 17, 1076, 483, 993, 993, 1077, 994, 17},  // 17
    {18, 18, 18, 484, 995, 995, 995, 996, 18},  // 18
    {19, 19, 1078, 485, 997, 997, 1079, 998, 19},  // 19
    {20, 20, 1080, 486, 999, 999, 1081, 1000, 20},  // 20
    {21, 21, 21, 487, 1001, 1001, 1001, 1002, 21},  // 21
    {22, 22, 22, 488, 1003, 1003, 1003, 1004, 22},  // 22
    {23, 23, 23, 23, 1005, 1005, 1005, 1005, 23},  // 23
    {24, 24, 24, 24, 1006, 1006, 1006, 1006, 24},  // 24
    {25, 25, 25, 25, 1007, 1007, 1007, 1007, 25},  // 25
    {26, 26, 26, 26, 1008, 1008, 1008, 1008, 26},  // 26
    {27, 27, 27, 492, 953, 953, 953, 954, 27},  // 27
    {28, 28, 28, 28, 1009, 1009, 1009, 1009, 28},  // 28
    {29, 29, 29, 29, 1010, 1010, 1010, 1010, 29},  // 29
    {30, 30, 30, 30, 1011, 1011, 1011, 1011, 30},  // 30
    {854, 854, 1042, 855, 944, 944, 1043, 945, 7},  // 31
    {860, 860, 1048, 861, 1014, 1014, 1049, 1015, 841},  // 32
    {857, 857, 857, 858, 1018, 1018, 1018, 1019, 842},  // 33
    {863, 863, 863, 864, 1032, 1032, 1032, 1033, 843},  // 34
    {846, 846, 1050, 847, 1023, 1023, 1051, 1024, 844},  // 35
    {848, 848, 1052, 849, 1025, 1025, 1053, 1026, 844},  // 36
    {850, 850, 850, 851, 1027, 1027, 1027, 1028, 844},  // 37
    {852, 852, 852, 853, 1029, 1029, 1029, 1030, 844},  // 38
    {891, 891, 891, 892, 961, 961, 961, 962, 12},  // 39
    {893, 893, 1056, 894, 963, 963, 1057, 964, 12},  // 40
    {895, 895, 895, 896, 965, 965, 965, 966, 12},  // 41
    {897, 897, 1058, 898, 967, 967, 1059, 968, 12},  // 42
    {899, 899, 1060, 900, 969, 969, 1061, 970, 12},  // 43
    {901, 901, 1062, 902, 971, 971, 1063, 972, 12},  // 44
    {903, 903, 1064, 904, 973, 973, 1065, 974, 12},  // 45
    {905, 905, 1066, 906, 975, 975, 1067, 976, 12},  // 46
    {907, 907, 1068, 908, 977, 977, 1069, 978, 13},  // 47
    {909, 909, 1070, 910, 979, 979, 1071, 980, 13},  // 48
    {911, 911, 1072, 912, 981, 981, 1073, 982, 13},  // 49
    {913, 913, 913, 914, 983, 983, 983, 984, 12},  // 50
    {915, 915, 1074, 916, 985, 985, 1075, 986, 12},  // 51
    {917, 917, 1046, 918, 955, 955, 1047, 956, 10},  // 52
    {1037, 1037, 1037, 1038, 1039, 1039, 1039, 1040, 12},  // 53
    {1181, 1181, 1181, 473, 1218, 1218, 1218, 940, 5},  // 54
    {1182, 1182, 1182, 473, 1219, 1219, 1219, 940, 5},  // 55
    {1183, 1183, 1183, 1257, 1220, 1220, 1220, 1261, 10},  // 56
    {1184, 1184, 1184, 1258, 1221, 1221, 1221, 1262, 10},  // 57
    {1185, 1185, 1185, 1185, 1222, 1222, 1222, 1222, 24},  // 58
    {1186, 1186, 1186, 1186, 1223, 1223, 1223, 1223, 25},  // 59
    {1187, 1187, 1187, 1187, 1224, 1224, 1224, 1224, 26},  // 60
    {1188, 1188, 1188, 1188, 1225, 1225, 1225, 1225, 26},  // 61
    {1189, 1189, 1189, 1189, 1226, 1226, 1226, 1226, 24},  // 62
    {1190, 1190, 1190, 1190, 1227, 1227, 1227, 1227, 24},  // 63
    {1191, 1191, 1191, 1191, 1228, 1228, 1228, 1228, 24},  // 64
    {1192, 1192, 1192, 1192, 1229, 1229, 1229, 1229, 25},  // 65
    {1193, 1193, 1193, 1193, 1230, 1230, 1230, 1230, 25},  // 66
    {1194, 1194, 1194, 1194, 1231, 1231, 1231, 1231, 24},  // 67
    {1195, 1195, 1195, 1195, 1232, 1232, 1232, 1232, 24},  // 68
    {1196, 1196, 1196, 1196, 1233, 1233, 1233, 1233, 24},  // 69
    {1197, 1197, 1197, 1197, 1234, 1234, 1234, 1234, 26},  // 70
    {1198, 1198, 1198, 1198, 1235, 1235, 1235, 1235, 24},  // 71
    {1199, 1199, 1199, 1199, 1236, 1236, 1236, 1236, 24},  // 72
    {1200, 1200, 1200, 1200, 1237, 1237, 1237, 1237, 25},  // 73
    {1201, 1201, 1201, 1201, 1238, 1238, 1238, 1238, 26},  // 74
    {1202, 1202, 1202, 1202, 1239, 1239, 1239, 1239, 24},  // 75
    {1203, 1203, 1203, 1203, 1240, 1240, 1240, 1240, 24},  // 76
    {1204, 1204, 1204, 1204, 1241, 1241, 1241, 1241, 24},  // 77
    {1205, 1205, 1205, 1205, 1242, 1242, 1242, 1242, 24},  // 78
    {1206, 1206, 1206, 1206, 1243, 1243, 1243, 1243, 24},  // 79
    {1207, 1207, 1207, 1207, 1244, 1244, 1244, 1244, 24},  // 80
    {1208, 1208, 1208, 1208, 1245, 1245, 1245, 1245, 25},  // 81
    {1209, 1209, 1209, 1209, 1246, 1246, 1246, 1246, 24},  // 82
    {1210, 1210, 1210, 1210, 1247, 1247, 1247, 1247, 24},  // 83
    {1211, 1211, 1211, 1211, 1248, 1248, 1248, 1248, 26},  // 84
    {1212, 1212, 1212, 1212, 1249, 1249, 1249, 1249, 24},  // 85
    {1213, 1213, 1213, 1213, 1250, 1250, 1250, 1250, 24},  // 86
    {1214, 1214, 1214, 1214, 1251, 1251, 1251, 1251, 7},  // 87
    {1215, 1215, 1215, 1215, 1252, 1252, 1252, 1252, 841},  // 88
    {1216, 1216, 1216, 1216, 1253, 1253, 1253, 1253, 842},  // 89
    {1217, 1217, 1217, 1217, 1254, 1254, 1254, 1254, 843},  // 90
    {1263, 1263, 1263, 1263, 1264, 1264, 1264, 1264, 6},  // 91
    {840, 840, 840, 840, 840, 840, 840, 840, 840},
    {840, 840, 840, 840, 840, 840, 840, 840, 840},
    {840, 840, 840, 840, 840, 840, 840, 840, 840},
    {840, 840, 840, 840, 840, 840, 840, 840, 840},
    {840, 840, 840, 840, 840, 840, 840, 840, 840},
    {840, 840, 840, 840, 840, 840, 840, 840, 840},
    {840, 840, 840, 840, 840, 840, 840, 840, 840},
    {840, 840, 840, 840, 840, 840, 840, 840, 840},
};

MapEngineState& MapState() {
  static MapEngineState state;
  return state;
}

void ResetMapEngineState() {
  MapEngineState& s = MapState();
  std::lock_guard<std::mutex> g(s.lock);
  s.hexMaskReady = false;
  s.hexMaskSolidMiddle = false;
  std::memset(s.hexMaskBits, 0, sizeof s.hexMaskBits);
  std::memset(s.hexMaskBytes, 0, sizeof s.hexMaskBytes);
  s.animFrameMs = 2;
  ResetMapThreadSeams();
}

bool HexShapeInside(int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= kTileWidth || y >= kTileHeight) return false;
  // Half-pixel distance from the middle row; the slanted sides run 16 pixels
  // in over 28 rows, rounded to the nearest pixel.
  int32_t d = 2 * y + 1 - kTileHeight;
  if (d < 0) d = -d;
  int32_t left = (4 * d + 7) / 14;
  return x >= left && x < kTileWidth - left;
}

void EnsureHexMask() {
  MapEngineState& s = MapState();
  std::lock_guard<std::mutex> g(s.lock);
  if (s.hexMaskReady) return;
  // Held open while it is read (loaded for it when no one has it).
  GfxUse hex(kMapPicIndex, kHexMaskId);
  const BitMap* bm = hex.bitmap();
  std::memset(s.hexMaskBits, 0, sizeof s.hexMaskBits);
  if (bm) {
    // Converted at the graphic's own size: 56 rows of two words at most.
    const uint8_t* mask = GetElmorGfxMask(kHexMaskId);
    uint32_t w = bm->Width < (uint32_t)kTileWidth ? bm->Width : kTileWidth;
    uint32_t h = bm->Height < (uint32_t)kTileHeight ? bm->Height : kTileHeight;
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++) {
        bool in;
        if (mask) in = mask[y * bm->Width + x] != 0;
        else if (bm->Depth == 32) {
          uint32_t v;
          std::memcpy(&v, bm->Pixels + y * bm->BytesPerRow + x * 4, 4);
          in = (v & 0xFFFFFF) != 0;
        }
        else in = bm->Pixels[y * bm->BytesPerRow + x] != 0;
        if (in) s.hexMaskBits[y * 2 + x / 32] |= 0x80000000u >> (x & 31);
      }
  } else {
    DebugLog("GetHexFromPixel: Hexmaske (Grafik 31) fehlt, nehme die eingebaute Form\n");
    for (int32_t y = 0; y < kTileHeight; y++)
      for (int32_t x = 0; x < kTileWidth; x++)
        if (HexShapeInside(x, y)) s.hexMaskBits[y * 2 + x / 32] |= 0x80000000u >> (x & 31);
  }
  s.hexMaskSolidMiddle = true;
  for (int32_t y = 0; y < kTileHeight; y++)
    for (int32_t x = 0; x < kTileWidth; x++) {
      s.hexMaskBytes[y * kTileWidth + x] = (s.hexMaskBits[y * 2 + x / 32] >> (31 - (x & 31))) & 1;
      if (x >= 16 && x < 48 && !s.hexMaskBytes[y * kTileWidth + x]) s.hexMaskSolidMiddle = false;
    }
  s.hexMaskReady = true;
}

int HexMaskBit(int32_t x, int32_t y) {
  if (x < 0 || y < 0 || x >= kTileWidth || y >= kTileHeight) return 0;
  return MapState().hexMaskBytes[y * kTileWidth + x];
}

namespace {

int32_t FloorDiv(int32_t a, int32_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int32_t FloorMod(int32_t a, int32_t b) { return a - FloorDiv(a, b) * b; }

// Terrain type without the log line for unknown graphics.
uint16_t QuietType(uint16_t g) { return g <= 91 ? GetTypeOfHex(g) : 0; }

bool IsOwnTown(const MapTile* t, uint32_t own) { return t && t->Besitzer == own && QuietType(t->Grafik) == 11; }

// Known for drawing: every hex when no knowledge parts are loaded.
bool KnownForDraw(const QoEMapInfo* map, int32_t c, int32_t r) {
  if (!(map->Flags & MAPF_KNOWLEDGE)) return true;
  return HexKnownInWindow(map, c, r) != 0;
}

const MapTile* ViewCellAt(const QoEMapInfo* map, int32_t c, int32_t r) {
  return CMapCell(map, map->ViewColumn + c, map->ViewRow + r);
}

void DrawBar(RastPort* rp, int32_t x, int32_t y, int32_t value, uint32_t p, uint32_t q) {
  if (value < 0) value = 0;
  if (value > 6) value = 6;  // the bar stays inside its hex
  int32_t L = value * 5;
  SetAPen(rp, p);
  RectFill(rp, x, y, x + L, y + 6);
  Move(rp, x + 2, y - 2);
  Draw(rp, x + 2 + L, y - 2);
  Draw(rp, x + 2 + L, y + 4);
  WritePixel(rp, x + 1, y - 1);
  WritePixel(rp, x + 1 + L, y - 1);
  WritePixel(rp, x + 1 + L, y + 5);
  if (L != 0) {
    SetAPen(rp, q);
    for (int32_t j = 0; j < L / 5; j++) RectFill(rp, x + 1 + 5 * j, y + 1, x + 4 + 5 * j, y + 5);
  }
}

void DrawValueBars(RastPort* rp, const MapTile* t, int32_t x, int32_t y) {
  MapDrawMasked(rp, 378, x + 10, y + 11);
  static const uint32_t pens[3][2] = {{108, 105}, {71, 86}, {50, 46}};
  for (int i = 0; i < 3; i++) DrawBar(rp, x + 25, y + 13 + 11 * i, t->Wert[i], pens[i][0], pens[i][1]);
}

// The territory border of view hex (c, r) drawn at (x, y) of rp, which is
// (bx, by) of the map bitmap.
void HexBorder(QoEMapInfo* map, int32_t c, int32_t r, RastPort* rp, int32_t x, int32_t y, int32_t bx, int32_t by) {
  const MapTile* t = ViewCellAt(map, c, r);
  if (!t || t->Besitzer == kNobody) return;
  const uint32_t pic = t->Besitzer == MapOwnPlayer() ? 439 : 440;
  const bool even = ((map->ViewColumn + c) & 1) == 0;
  auto other = [&](int32_t dc, int32_t dr) {
    const MapTile* n = ViewCellAt(map, c + dc, r + dr);
    return !n || n->Besitzer != t->Besitzer;
  };
  auto dot = [&](int32_t px, int32_t py) {
    if (by + (py - y) >= 0) MapDrawMasked(rp, pic, px, py);  // dots above the bitmap are skipped
  };
  if (other(0, -1))
    for (int i = 0; i < 5; i++) dot(x + 45 - 7 * i, y - 7);
  if (other(-1, even ? -1 : 0)) {
    dot(x + 17, y - 7);
    for (int i = 0; i < 4; i++) dot(x + 13 - 4 * i, y - 2 + 7 * i);
  }
  if (other(-1, even ? 0 : 1))
    for (int i = 0; i < 5; i++) dot(x + 1 + 4 * i, y + 19 + 7 * i);
  if (other(0, 1))
    for (int i = 0; i < 5; i++) dot(x + 45 - 7 * i, y + 47);
  if (other(1, even ? -1 : 0)) {
    dot(x + 45, y - 7);
    for (int i = 0; i < 4; i++) dot(x + 49 + 4 * i, y - 2 + 7 * i);
  }
  if (other(1, even ? 0 : 1))
    for (int i = 0; i < 5; i++) dot(x + 61 - 4 * i, y + 19 + 7 * i);
}

// The overlays of one known hex with a terrain graphic.
// (x, y) is (x + ox, y + oy) of the map bitmap.
void DrawOverlays(QoEMapInfo* map, int32_t c, int32_t r, RastPort* rp, int32_t x, int32_t y, int32_t ox, int32_t oy) {
  const MapTile* t = ViewCellAt(map, c, r);
  if (!t) return;
  if (t->Flags == 2) {
    uint16_t type = QuietType(t->Grafik);
    if (type >= 1 && type <= 3) MapDrawMasked(rp, 1291, x + 14, y + 11);
    else if ((type >= 4 && type <= 9) || type == 11) MapDrawMasked(rp, 1292, x + 20, y + 11);
  }
  if ((map->Flags & MAPF_BARS) && t->Besitzer == MapOwnPlayer()) DrawValueBars(rp, t, x, y);
  if (map->Flags & MAPF_BORDERS) HexBorder(map, c, r, rp, x, y, x + ox, y + oy);
  if ((map->Flags & MAPF_RANGE) && map->ReachMap &&
      BitMapTest(map->ReachMap, map->ViewColumn + c, map->ViewRow + r))
    MapDrawMasked(rp, 471, x, y);
}

uint16_t VariantFor(const QoEMapInfo* map, uint32_t sight) {
  uint32_t v = map->TileVariant > 8 ? 0 : map->TileVariant;
  if ((map->Flags & MAPF_SIGHT) && sight == 0 && v + 4 <= 8) v += 4;
  return (uint16_t)v;
}

// The stack count texts of a hex.
void DrawCounts(RastPort* rp, int32_t x, int32_t y, uint32_t total, uint32_t own) {
  if (!rp->Font) return;
  char text[16];
  if (total > 1) {
    std::snprintf(text, sizeof text, "%u", total);
    PrintTextOutlined(rp, x + 40, y + 2, x + 51, y + 10, text, 0, 7, 549);
  }
  if (own != 0 && own < total) {
    std::snprintf(text, sizeof text, "%u", own);
    PrintTextOutlined(rp, x + 40, y + 40, x + 51, y + 48, text, 0, 105, 549);
  }
}

// One figure with its stack marker; false when its picture cannot be loaded.
bool DrawFigure(RastPort* rp, const MapFigur& f, int32_t x, int32_t y) {
  uint32_t pic = 380, frame = 4;
  if (!FigurPicture(f.Typ, &pic, &frame))
    DebugLog("BlitFigur : die Spielfigur von Spieler %u auf Position X: %u Y: %u ist defekt !!! Eventuell pfuscht der "
             "Spieler ! GrafikID %u\n",
             f.Besitzer, f.X, f.Y, f.Typ);
  if (!MapAnimFrame(rp, pic, frame, x, y, kTileWidth, kFigurFrameHeight)) return false;
  MapDrawMasked(rp, f.Besitzer == MapOwnPlayer() ? 1277 : 1276, x + 41, y + 40);
  return true;
}

}  // namespace

MapGfxUse::MapGfxUse(uint32_t graphic) : id(graphic), bitmap(nullptr), mask(nullptr) {
  if (id == 0 || id > kGfxTableSize || KeepElmorGfx(kGfxKeeperMap, kMapPicIndex, id) != 1) return;
  bitmap = UseElmorGfx(kMapPicIndex, id);
  if (bitmap) mask = GetElmorGfxMask(id);
}

MapGfxUse::~MapGfxUse() {
  if (bitmap) CloseElmorGfx(id);
}

int MapDrawTile(RastPort* rp, uint32_t id, int32_t x, int32_t y, bool masked) {
  MapGfxUse use(id);
  BitMap* bm = use.bitmap;
  if (!bm) return 0;
  int32_t w = bm->Width < (uint32_t)kTileWidth ? (int32_t)bm->Width : kTileWidth;
  int32_t h = bm->Height < (uint32_t)kTileHeight ? (int32_t)bm->Height : kTileHeight;
  if (!masked) return BltBitMapRastPort(bm, 0, 0, rp, x, y, w, h);
  if (bm->Width != (uint32_t)kTileWidth || bm->Height != (uint32_t)kTileHeight)
    return BltMaskBitMapRastPort(bm, 0, 0, rp, x, y, w, h, 0xE0, use.mask);
  EnsureHexMask();
  const uint8_t* mask = MapState().hexMaskBytes;
  // Columns 16..47 of the hex mask are set in every row of the built-in
  // shape: when graphic 31 says so too, they are copied without the mask.
  if (MapState().hexMaskSolidMiddle) {
    return BltMaskBitMapRastPort(bm, 0, 0, rp, x, y, 16, h, 0xE0, mask) &&
           BltBitMapRastPort(bm, 16, 0, rp, x + 16, y, 32, h) &&
           BltMaskBitMapRastPort(bm, 48, 0, rp, x + 48, y, 16, h, 0xE0, mask);
  }
  return BltMaskBitMapRastPort(bm, 0, 0, rp, x, y, w, h, 0xE0, mask);
}

int MapDrawMasked(RastPort* rp, uint32_t id, int32_t x, int32_t y) {
  MapGfxUse use(id);
  BitMap* bm = use.bitmap;
  if (!bm) return 0;
  return BltMaskBitMapRastPort(bm, 0, 0, rp, x, y, (int32_t)bm->Width, (int32_t)bm->Height, 0xE0, use.mask);
}

int MapAnimFrame(RastPort* rp, uint32_t id, uint32_t frame, int32_t x, int32_t y, int32_t w, int32_t h) {
  MapGfxUse use(id);
  return MapAnimFrameOf(rp, use, frame, x, y, w, h);
}

int MapAnimFrameOf(RastPort* rp, const MapGfxUse& use, uint32_t frame, int32_t x, int32_t y, int32_t w, int32_t h) {
  BitMap* bm = use.bitmap;
  if (!bm) return 0;
  if (w <= 0 || w > (int32_t)bm->Width) w = (int32_t)bm->Width;
  int64_t sy = (int64_t)frame * h;
  if (sy + h > bm->Height) sy = 0;  // a picture without that frame shows its first
  if (h > (int32_t)bm->Height) h = (int32_t)bm->Height;
  return BltMaskBitMapRastPort(bm, 0, (int32_t)sy, rp, x, y, w, h, 0xE0, use.mask);
}

bool FigurPicture(uint32_t type, uint32_t* picture, uint32_t* frame) {
  static const uint16_t kPic[21] = {380, 441, 450, 457, 816, 823, 830, 795, 802, 809, 788,
                                    380, 1097, 380, 522, 529, 536, 543, 550, 557, 788};
  *frame = 4;
  if (type <= 20) {
    *picture = kPic[type];
    return true;
  }
  *frame = 0;
  if (type == 1000) *picture = 493;
  else if (type == 1003) *picture = 839;
  else if (type >= 1001 && type <= 1006) *picture = 838;
  else if (type >= 1007 && type <= 1013) *picture = 884 + (type - 1007);
  else {
    *picture = 380;
    *frame = 4;
    return false;
  }
  return true;
}

int32_t GetPeopleOnHex(const QoEMapInfo* map, uint32_t count, const uint8_t* figures, int32_t column, int32_t row) {
  if (!map) return 0;
  int32_t tx = WrapFull((int64_t)map->X + column, kWorldColumns), ty = WrapFull((int64_t)map->Y + row, kWorldRows);
  uint32_t own = MapOwnPlayer();
  if (figures) {
    uint32_t n = MapFigurCount(figures);
    if (count < n) n = count;
    for (uint32_t i = 0; i < n; i++) {
      const MapFigur* f = MapFigurAt(figures, i);
      if (f->Besitzer != own || f->Status == 7) continue;
      int32_t dc = RingDelta(f->X, tx, kWorldColumns), dr = RingDelta(f->Y, ty, kWorldRows);
      if (dc >= -3 && dc <= 3 && dr >= -4 && dr <= 4 && HexDistance(tx, ty, tx + dc, ty + dr) <= 3) return 1;
    }
  }
  int32_t wc = map->ViewColumn + column, wr = map->ViewRow + row;
  for (int32_t dc = -3; dc <= 3; dc++)
    for (int32_t dr = -4; dr <= 4; dr++)
      if (HexDistance(wc, wr, wc + dc, wr + dr) <= 3 && IsOwnTown(CMapCell(map, wc + dc, wr + dr), own)) return 1;
  return 0;
}

void ComputeSight(const QoEMapInfo* map, uint32_t* out) {
  const int32_t C = map->Columns, R = map->Rows, GW = C + 6, GH = R + 6;
  if (C == 0 || R == 0) return;
  uint8_t* mark = static_cast<uint8_t*>(AllocVec((uint32_t)(GW * GH * 2), MEMF_PUBLIC | MEMF_CLEAR));
  if (!mark) {
    for (int32_t i = 0; i < C * R; i++) out[i] = 1;  // no memory: nothing shaded
    return;
  }
  uint8_t* near = mark + GW * GH;
  const uint32_t own = MapOwnPlayer();
  const int32_t ox = map->X - 3, oy = map->Y - 3;  // the grid's world origin
  const uint8_t* list = map->LocalFigures;
  for (uint32_t i = 0, n = MapFigurCount(list); i < n; i++) {
    const MapFigur* f = MapFigurAt(list, i);
    if (f->Besitzer != own || f->Status == 7) continue;
    // Distances on the torus, so a grid across the world's edge finds them.
    int32_t gx = WrapFull((int64_t)f->X - ox, kWorldColumns), gy = WrapFull((int64_t)f->Y - oy, kWorldRows);
    if (gx < GW && gy < GH) mark[gy * GW + gx] = 2;
  }
  const int32_t c0 = map->ViewColumn - 3, r0 = map->ViewRow - 3;  // window cell of grid (0, 0)
  for (int32_t gy = 0; gy < GH; gy++)
    for (int32_t gx = 0; gx < GW; gx++)
      if (!mark[gy * GW + gx] && IsOwnTown(CMapCell(map, c0 + gx, r0 + gy), own)) mark[gy * GW + gx] = 3;
  // A hex within three rings of a mark is in sight.
  for (int32_t gy = 0; gy < GH; gy++)
    for (int32_t gx = 0; gx < GW; gx++) {
      if (!mark[gy * GW + gx]) continue;
      for (int32_t dc = -3; dc <= 3; dc++)
        for (int32_t dr = -4; dr <= 4; dr++) {
          int32_t x = gx + dc, y = gy + dr;
          if (x < 0 || y < 0 || x >= GW || y >= GH) continue;
          if (HexDistance(c0 + gx, gy, c0 + x, y) <= 3) near[y * GW + x] = 1;
        }
    }
  for (int32_t c = 0; c < C; c++)
    for (int32_t r = 0; r < R; r++) {
      int32_t i = (r + 3) * GW + c + 3;
      out[c * R + r] = mark[i] ? mark[i] : near[i];
    }
  FreeVec(mark);
}

namespace {

// Where a redraw draws: a RastPort and the map-bitmap position of its (0, 0).
struct DrawCtx {
  RastPort* rp;
  int32_t ox, oy;
};

// Which hexes a redraw takes: all, those whose sight changed, or those whose
// drawing can reach the map-bitmap rectangle [x0, x1) x [y0, y1).
struct HexFilter {
  enum Kind { ALL, SIGHT, RECT } kind;
  int32_t x0, y0, x1, y1;
  const uint32_t* sight;
  const uint32_t* stored;
  int32_t rows;
  bool Takes(int32_t c, int32_t r) const {
    if (kind == ALL) return true;
    if (kind == SIGHT) return !stored || sight[c * rows + r] != stored[c * rows + r];
    // A hex draws from 8 pixels left of and above its tile to 72 pixels
    // right of and below its top-left (border dots, figures, counts).
    int32_t x = HexPixelX(c), y = HexPixelY(c, r);
    return x + 72 > x0 && x - 8 < x1 && y + 72 > y0 && y - 8 < y1;
  }
};

// The figures of the hexes the filter takes, in layers by type, then the
// stack counts.
void DrawFigures(QoEMapInfo* map, const uint32_t* sight, const DrawCtx& ctx, const HexFilter& filter) {
  const int32_t C = map->Columns, R = map->Rows;
  if (!map->Figures || !sight || C == 0 || R == 0) return;
  const uint32_t own = MapOwnPlayer();
  // Per view hex: total, own count and the displayed figure (+1, 0 none).
  uint32_t* counts = static_cast<uint32_t*>(AllocVec((uint32_t)(C * R) * 12, MEMF_PUBLIC | MEMF_CLEAR));
  if (!counts) return;
  uint32_t* total = counts;
  uint32_t* owned = counts + C * R;
  uint32_t* shown = counts + 2 * C * R;
  const uint8_t* list = map->Figures;
  const uint32_t n = MapFigurCount(list);
  for (uint32_t i = 0; i < n; i++) {
    const MapFigur* f = MapFigurAt(list, i);
    if (f->Status == 7) continue;
    // Offsets from the view's start on the torus: a view over the east or
    // south edge counts on with the world size added.
    int32_t c = WrapFull((int64_t)f->X - map->X, kWorldColumns), r = WrapFull((int64_t)f->Y - map->Y, kWorldRows);
    if (c >= C || r >= R) continue;
    int32_t k = c * R + r;
    total[k]++;
    if (f->Besitzer == own) owned[k]++;
    if (!shown[k] && sight[k] != 0 && KnownForDraw(map, c, r)) shown[k] = i + 1;
  }
  auto layerOf = [](uint32_t type) -> uint32_t {  // 0..20, then 1000..1013, then the rest
    if (type <= 20) return type;
    if (type >= 1000 && type <= 1013) return 21 + (type - 1000);
    return 35;
  };
  bool ok = true;
  for (uint32_t layer = 0; ok && layer <= 35; layer++)
    for (int32_t c = 0; ok && c < C; c++)
      for (int32_t r = 0; ok && r < R; r++) {
        int32_t k = c * R + r;
        if (!shown[k] || ((c & 1) && r == R - 1) || !filter.Takes(c, r)) continue;
        const MapFigur* f = MapFigurAt(list, shown[k] - 1);
        if (layerOf(f->Typ) == layer) ok = DrawFigure(ctx.rp, *f, HexPixelX(c) - ctx.ox, HexPixelY(c, r) - ctx.oy);
      }
  for (int32_t c = 0; c < C; c++)
    for (int32_t r = 0; r < R; r++) {
      int32_t k = c * R + r;
      if (!shown[k] || sight[k] == 0 || ((c & 1) && r == R - 1) || !filter.Takes(c, r)) continue;
      DrawCounts(ctx.rp, HexPixelX(c) - ctx.ox, HexPixelY(c, r) - ctx.oy, total[k], owned[k]);
    }
  FreeVec(counts);
}

// Draws the hexes the filter takes: even tiles, then odd tiles with every
// hex's overlays, then the figures.
void DrawHexes(QoEMapInfo* map, const uint32_t* sight, const DrawCtx& ctx, const HexFilter& filter, bool maskEven) {
  const int32_t C = map->Columns, R = map->Rows;
  auto drawTile = [&](int32_t c, int32_t r, bool masked) {
    const MapTile* t = ViewCellAt(map, c, r);
    if (!t || t->Grafik == 0 || t->Grafik > 99 || !KnownForDraw(map, c, r)) return;
    uint32_t id = TileTable[t->Grafik][VariantFor(map, sight[c * R + r])];
    if (!MapDrawTile(ctx.rp, id, HexPixelX(c) - ctx.ox, HexPixelY(c, r) - ctx.oy, masked))
      DebugLog("BlitMap: Fehler beim laden der Grafik aufgetreten...\n");
  };
  for (int32_t r = 0; r < R; r++)
    for (int32_t c = 0; c < C; c += 2)
      if (filter.Takes(c, r)) drawTile(c, r, maskEven);
  for (int32_t r = 0; r < R; r++)
    for (int32_t c = 0; c < C; c++) {
      if (!filter.Takes(c, r)) continue;
      if (c & 1) drawTile(c, r, true);
      const MapTile* t = ViewCellAt(map, c, r);
      if (t && t->Grafik != 0 && t->Grafik <= 99 && KnownForDraw(map, c, r))
        DrawOverlays(map, c, r, ctx.rp, HexPixelX(c) - ctx.ox, HexPixelY(c, r) - ctx.oy, ctx.ox, ctx.oy);
    }
  if (map->Flags & MAPF_FIGURES) DrawFigures(map, sight, ctx, filter);
}

// Redraws the map-bitmap rectangle [x0, x1) x [y0, y1) exactly as a full
// redraw would: cleared, then every hex that can reach it, clipped to it.
void RedrawRect(QoEMapInfo* map, const uint32_t* sight, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  BitMap* bm = map->Bitmap;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > (int32_t)bm->Width) x1 = (int32_t)bm->Width;
  if (y1 > (int32_t)bm->Height) y1 = (int32_t)bm->Height;
  if (x0 >= x1 || y0 >= y1) return;
  // A bitmap over the rectangle: every drawing call clips to it.
  BitMap view = *bm;
  view.Pixels = bm->Pixels + (size_t)y0 * bm->BytesPerRow + (size_t)x0 * (bm->Depth / 8);
  view.Width = (uint32_t)(x1 - x0);
  view.Height = (uint32_t)(y1 - y0);
  view.Padding = bm->BytesPerRow - view.Width * (bm->Depth / 8);
  view.Size = bm->BytesPerRow * view.Height;
  view.Flags = bm->Flags | BMF_SURFACE;  // the pixels are the map bitmap's
  RastPort rp = *map->Rp;
  rp.Bitmap = &view;
  SetAPen(&rp, 0);
  RectFill(&rp, 0, 0, x1 - x0 - 1, y1 - y0 - 1);
  HexFilter f{HexFilter::RECT, x0, y0, x1, y1, sight, nullptr, map->Rows};
  DrawHexes(map, sight, DrawCtx{&rp, x0, y0}, f, false);
}

}  // namespace

void BlitMap(QoEMapInfo* map) {
  if (!map || !map->Bitmap || !map->Rp || !map->CMap) return;
  const int32_t C = map->Columns, R = map->Rows;
  const int32_t W = C * kColumnStep + 16, H = R * kTileHeight + 28;
  RastPort* rp = map->Rp;
  const uint16_t d = map->ScrollDirection;
  uint32_t* sight = static_cast<uint32_t*>(AllocVec((uint32_t)(C * R) * 4 + 4, MEMF_PUBLIC));
  if (!sight) return;
  if ((map->Flags & MAPF_FIGURES) && (map->Flags & MAPF_SIGHT)) {
    ComputeSight(map, sight);
  } else {
    for (int32_t c = 0; c < C; c++)
      for (int32_t r = 0; r < R; r++)
        sight[c * R + r] = (map->Flags & MAPF_SIGHT)
                               ? (uint32_t)GetPeopleOnHex(map, MapFigurCount(map->LocalFigures), map->LocalFigures, c, r)
                               : 1;
  }
  BitMap* bm = map->Bitmap;
  // A scroll moves the bitmap by whole hexes; then the exposed edge and the
  // reach of the new hexes into the old picture (one hex) are drawn again,
  // clipped, so the result equals a full redraw. The band on the far side
  // is drawn again too: it still holds the overlays and figures of the hexes
  // that left the view.
  switch (d) {
    case SCROLL_UP:
      BltBitMap(bm, 0, 0, bm, 0, kTileHeight, W, H - kTileHeight);
      RedrawRect(map, sight, 0, 0, W, 2 * kTileHeight);
      RedrawRect(map, sight, 0, H - kTileHeight, W, H);
      break;
    case SCROLL_RIGHT:
      BltBitMap(bm, 96, 0, bm, 0, 0, W - 96, H);
      RedrawRect(map, sight, W - 96 - 48, 0, W, H);
      RedrawRect(map, sight, 0, 0, 40, H);
      break;
    case SCROLL_DOWN:
      BltBitMap(bm, 0, kTileHeight, bm, 0, 0, W, H - kTileHeight);
      RedrawRect(map, sight, 0, H - 2 * kTileHeight, W, H);
      RedrawRect(map, sight, 0, 0, W, 40);
      break;
    case SCROLL_LEFT:
      BltBitMap(bm, 0, 0, bm, 96, 0, W - 96, H);
      RedrawRect(map, sight, 0, 0, 96 + 48, H);
      RedrawRect(map, sight, W - 48, 0, W, H);
      break;
    case SCROLL_SIGHT: {
      // The hexes whose sight changed, masked over what is there.
      HexFilter f{HexFilter::SIGHT, 0, 0, 0, 0, sight, map->Sight, R};
      DrawHexes(map, sight, DrawCtx{rp, 0, 0}, f, true);
      break;
    }
    default: {
      SetAPen(rp, 0);
      RectFill(rp, 0, 0, W - 1, H - 1);
      HexFilter f{HexFilter::ALL, 0, 0, 0, 0, sight, nullptr, R};
      DrawHexes(map, sight, DrawCtx{rp, 0, 0}, f, false);
      break;
    }
  }
  map->ScrollDirection = SCROLL_NONE;
  FreeVec(sight);
}

void BlitFigur(QoEMapInfo* map, const uint32_t* sight, RastPort* rp) {
  if (!map || !rp || !sight) return;
  HexFilter f{HexFilter::ALL, 0, 0, 0, 0, sight, nullptr, map->Rows};
  DrawFigures(map, sight, DrawCtx{rp, 0, 0}, f);
}

void BlitFigurHex(QoEMapInfo* map, uint16_t column, uint16_t row, RastPort* rp, uint16_t x, uint16_t y) {
  if (!map || !rp || !map->Figures) return;
  const int32_t wx = WrapFull((int64_t)map->X + column, kWorldColumns), wy = WrapFull((int64_t)map->Y + row, kWorldRows);
  const uint32_t own = MapOwnPlayer();
  uint32_t total = 0, owned = 0;
  const MapFigur* first = nullptr;
  for (uint32_t i = 0, n = MapFigurCount(map->Figures); i < n; i++) {
    const MapFigur* f = MapFigurAt(map->Figures, i);
    if (f->Status == 7 || (int32_t)f->X != wx || (int32_t)f->Y != wy) continue;
    total++;
    if (f->Besitzer == own) owned++;
    if (!first) first = f;
  }
  if (!first) return;
  if (!DrawFigure(rp, *first, x, y)) return;
  if (total >= 2) DrawCounts(rp, x, y, total, owned);
}

void BlitHexExtra(QoEMapInfo* map, uint16_t column, uint16_t row, RastPort* rp, uint16_t x, uint16_t y) {
  if (map && rp) HexBorder(map, column, row, rp, x, y, x, y);
}

uint32_t GetHexFromPixel(const BitMap* bitmap, int32_t x, int32_t y) {
  if (MapDisplayDepth() == 8) {
    x -= 16;
    y -= 16;
  }
  EnsureHexMask();
  int32_t column = 2 * FloorDiv(x, 96), row = FloorDiv(y, kTileHeight);
  int32_t bx = FloorMod(x, 96), by = FloorMod(y, kTileHeight);
  int32_t c = column, r = row;
  if (bx < kTileWidth && HexMaskBit(bx, by)) {
    // the even hex
  } else if (bx > 31) {
    int32_t y2 = y - 28;
    if (HexMaskBit(bx - 48, FloorMod(y2, kTileHeight))) {
      c = column + 1;
      r = FloorDiv(y2, kTileHeight);
    }
  } else {
    c = column - 1;
    r = by < 28 ? row - 1 : row;
  }
  return ((uint32_t)(uint16_t)c << 16) | (uint16_t)r;
}

uint32_t GetHexAtScreen(const QoEMapInfo* map, int32_t x, int32_t y) {
  // The bitmap pixel under (x, y), plus the corner GetHexFromPixel takes off.
  const int32_t corner = MapDisplayDepth() == 8 ? 16 : 0;
  return GetHexFromPixel(map->Bitmap, x - map->ScreenX + 16 + corner, y - map->ScreenY + 28 + corner);
}

void LadeFigurenGfx(uint32_t mode) {
  // The map's own opens go; a draw on another thread keeps its graphic
  // until its end.
  auto close = [](uint32_t from, uint32_t to) { LetGoElmorGfx(kGfxKeeperMap, from, to); };
  if (mode == 0) {
    close(4, 31);
    close(840, 864);
    close(891, 918);
    close(439, 440);
    close(473, 492);
    close(1042, 1081);
    close(939, 1033);
    static const uint16_t kFirst[] = {380, 441, 450, 457, 522, 529, 536, 543, 550, 557, 788, 795, 802, 809, 816, 823, 830, 1097};
    for (uint16_t f : kFirst) close(f, f + 6u);
  }
  close(493, 493);
  close(838, 839);
  close(884, 890);
}

void DrawHexWithOverlays(QoEMapInfo* map, int32_t c, int32_t r, RastPort* rp) {
  const MapTile* t = ViewCellAt(map, c, r);
  if (!t || t->Grafik == 0 || t->Grafik > 99) return;
  int32_t x = HexPixelX(c), y = HexPixelY(c, r);
  uint32_t id = TileTable[t->Grafik][VariantFor(map, 1)];
  if (!MapDrawTile(rp, id, x, y, true)) DebugLog("SetPeopleAnim : Konnte Hex nicht laden (Step3)...\n");
  if (map->Flags & MAPF_BORDERS) BlitHexExtra(map, (uint16_t)c, (uint16_t)r, rp, (uint16_t)x, (uint16_t)y);
  if (map->Flags & MAPF_FIGURES) BlitFigurHex(map, (uint16_t)c, (uint16_t)r, rp, (uint16_t)x, (uint16_t)y);
}
