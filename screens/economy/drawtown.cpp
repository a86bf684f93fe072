// DrawTown and its cache. See drawtown.h and docs/town-view.md.
#include "drawtown.h"

#include <cstdio>
#include <cstring>

#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gui/ilbm.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/checksum.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/iff.h"
#include "routinen/system/memory.h"

namespace {

constexpr uint32_t kW = 640, kH = 480, kArea = kW * kH;
constexpr uint8_t kClear = 255;  // the layer's transparent pen
constexpr uint32_t kKeyChunk = IffId("QTWK");
constexpr uint16_t kKeyVersion = 2;
// Key: u16 version, u16 level, u32 identity of the index's building records,
// then per lot u16 building (0xFFFF none), u32 size and u64 modification time
// of its picture file. The key chunk holds the key and then the CRC-32 of
// the decoded layer.
constexpr uint32_t kKeySize = kTownImageKeySize;
constexpr uint32_t kLotKeySize = 14;

// A lot: the line of buildings it shows (first the buildable one), how many
// members the line has, and the picture of its first member (the others
// follow).
struct Lot {
  uint16_t members[4];
  uint8_t count;
  uint16_t picture;
};
const Lot kLots[kTownLots] = {
    {{0, 99, 168, 224}, 4, 600},  {{1, 106, 173, 228}, 4, 604}, {{2, 58, 118, 182}, 4, 608},
    {{14, 97, 166, 222}, 4, 612}, {{15, 0, 0, 0}, 1, 616},      {{16, 93, 159, 216}, 4, 617},
    {{17, 0, 0, 0}, 1, 621},      {{19, 0, 0, 0}, 1, 622},      {{20, 113, 177, 232}, 4, 623},
    {{21, 90, 155, 212}, 4, 627}, {{22, 100, 169, 0}, 3, 631},  {{23, 94, 161, 0}, 3, 634},
    {{24, 0, 0, 0}, 1, 637},      {{25, 0, 0, 0}, 1, 638},      {{26, 109, 176, 230}, 4, 639},
    {{27, 114, 178, 233}, 4, 643}, {{47, 0, 0, 0}, 1, 647},     {{48, 59, 119, 0}, 3, 648},
    {{49, 101, 170, 225}, 4, 651}, {{50, 77, 138, 0}, 3, 655},  {{51, 92, 157, 214}, 4, 658},
    {{55, 107, 174, 0}, 3, 662},  {{96, 165, 221, 0}, 3, 665},  {{57, 117, 181, 0}, 3, 668},
    {{98, 167, 223, 0}, 3, 671},  {{56, 116, 180, 0}, 3, 674},  {{78, 140, 194, 0}, 3, 677},
    {{108, 175, 229, 0}, 3, 680}, {{95, 164, 220, 0}, 3, 683},  {{91, 156, 213, 0}, 3, 686},
    {{115, 179, 234, 0}, 3, 689}, {{139, 193, 0, 0}, 2, 692},   {{158, 215, 0, 0}, 2, 694},
    {{160, 217, 0, 0}, 2, 696},   {{163, 219, 0, 0}, 2, 698},   {{162, 218, 0, 0}, 2, 700},
    {{195, 0, 0, 0}, 1, 702},     {{231, 0, 0, 0}, 1, 703},
};

// Top-left corners of the lots, per town level: a grid of 58 x 52 cells
// below the sky that leaves out the title, the ford, water-wheel and mill
// movies, the night-light windows, the two object pairs and the way out at
// the bottom (docs/town-view.md).
struct Pos {
  int16_t x, y;
};
const Pos kLotPos[4][kTownLots] = {
    {{4, 130}, {62, 130}, {120, 130}, {178, 130}, {236, 130}, {294, 130}, {352, 130}, {468, 130}, {526, 130}, {4, 182}, {62, 182}, {120, 182}, {178, 182}, {236, 182}, {294, 182}, {352, 182}, {410, 182}, {468, 182}, {526, 182}, {4, 234}, {62, 234}, {120, 234}, {178, 234}, {236, 234}, {294, 234}, {352, 234}, {410, 234}, {468, 234}, {4, 286}, {236, 286}, {294, 286}, {352, 286}, {410, 286}, {468, 286}, {584, 286}, {4, 338}, {236, 338}, {294, 338}},
    {{7, 132}, {65, 132}, {123, 132}, {181, 132}, {239, 132}, {297, 132}, {355, 132}, {471, 132}, {7, 184}, {65, 184}, {123, 184}, {181, 184}, {239, 184}, {297, 184}, {355, 184}, {413, 184}, {471, 184}, {7, 236}, {65, 236}, {123, 236}, {181, 236}, {239, 236}, {297, 236}, {355, 236}, {413, 236}, {7, 288}, {239, 288}, {297, 288}, {355, 288}, {413, 288}, {587, 288}, {7, 340}, {239, 340}, {297, 340}, {355, 340}, {413, 340}, {471, 340}, {529, 340}},
    {{10, 134}, {68, 134}, {126, 134}, {184, 134}, {242, 134}, {300, 134}, {358, 134}, {474, 134}, {10, 186}, {68, 186}, {126, 186}, {184, 186}, {242, 186}, {300, 186}, {358, 186}, {416, 186}, {474, 186}, {10, 238}, {68, 238}, {126, 238}, {184, 238}, {242, 238}, {300, 238}, {358, 238}, {416, 238}, {10, 290}, {242, 290}, {300, 290}, {358, 290}, {416, 290}, {590, 290}, {10, 342}, {242, 342}, {300, 342}, {358, 342}, {416, 342}, {474, 342}, {532, 342}},
    {{13, 136}, {71, 136}, {129, 136}, {187, 136}, {245, 136}, {303, 136}, {361, 136}, {477, 136}, {13, 188}, {71, 188}, {129, 188}, {187, 188}, {245, 188}, {303, 188}, {361, 188}, {419, 188}, {477, 188}, {13, 240}, {71, 240}, {129, 240}, {187, 240}, {245, 240}, {303, 240}, {361, 240}, {419, 240}, {13, 292}, {245, 292}, {303, 292}, {361, 292}, {419, 292}, {13, 344}, {245, 344}, {303, 344}, {361, 344}, {419, 344}, {477, 344}, {535, 344}, {419, 396}},
};

bool Stands(const st_TOWN* town, uint32_t building) {
  return building < TOWN_BUILDINGS && (town->buildings[building].flags & BUILDING_STANDS) != 0;
}

// The picture index .\Data\Path (12-byte header, 64 bytes per ID).
struct PictureIndex {
  uint8_t* data;
  uint32_t size;
};
const uint8_t* IndexRecord(const PictureIndex& index, uint32_t id) {
  const uint64_t at = 12 + static_cast<uint64_t>(id - 1) * 64;
  if (!index.data || id == 0 || at + 64 > index.size) return nullptr;
  return index.data + at;
}
void IndexFile(const uint8_t* record, char* out, uint32_t out_size) {
  char name[53] = {};
  std::memcpy(name, record + 12, 52);
  std::snprintf(out, out_size, "%s", name);
}

// The cache key of a town's buildings.
void MakeKey(const st_TOWN* town, const PictureIndex& index, uint8_t* key) {
  uint32_t level = town->level >= 1 && town->level <= 4 ? town->level : 1;
  PutBE16(key, kKeyVersion);
  PutBE16(key + 2, static_cast<uint16_t>(level));
  uint32_t crc = 0;
  for (uint32_t id = kTownPictureFirst; id <= kTownPictureLast; ++id)
    if (const uint8_t* r = IndexRecord(index, id)) crc = Crc32(r, 64, crc);
  PutBE32(key + 4, crc);
  for (uint32_t lot = 0; lot < kTownLots; ++lot) {
    const int32_t b = TownLotBuilding(town, lot);
    // Size and time of the picture file: new art, of any size, makes a new key.
    uint32_t file_size = 0;
    uint64_t file_time = 0;
    if (b >= 0)
      if (const uint8_t* r = IndexRecord(index, TownBuildingPicture(static_cast<uint32_t>(b)))) {
        char path[64];
        IndexFile(r, path, sizeof path);
        if (path[0]) GetFileStamp(path, &file_size, &file_time);
      }
    uint8_t* k = key + 8 + lot * kLotKeySize;
    PutBE16(k, static_cast<uint16_t>(b < 0 ? 0xFFFF : b));
    PutBE32(k + 2, file_size);
    PutBE32(k + 6, static_cast<uint32_t>(file_time >> 32));
    PutBE32(k + 10, static_cast<uint32_t>(file_time));
  }
}

// Puts one building picture into the layer at (x, y); 0 when it cannot be read.
int32_t ComposeBuilding(uint8_t* layer, const PictureIndex& index, uint32_t id, int32_t x, int32_t y) {
  const uint8_t* r = IndexRecord(index, id);
  if (!r || r[0] == 0) return 0;
  char path[64];
  IndexFile(r, path, sizeof path);
  uint32_t size = 0;
  void* file = path[0] ? LoadFile2MemSize(path, 0, &size) : nullptr;
  if (!file) return 0;
  IlbmPicture pic{};
  const int ok = DecodeIlbm(file, size, &pic);
  FreeVec(file);
  if (ok != 1) return 0;
  for (uint32_t py = 0; py < pic.height; ++py) {
    const int32_t ty = y + static_cast<int32_t>(py);
    if (ty < 0 || ty >= static_cast<int32_t>(kH)) continue;
    for (uint32_t px = 0; px < pic.width; ++px) {
      const int32_t tx = x + static_cast<int32_t>(px);
      if (tx < 0 || tx >= static_cast<int32_t>(kW)) continue;
      const size_t i = static_cast<size_t>(py) * pic.width + px;
      const uint8_t pen = pic.pixels[i];
      const bool opaque = pic.mask ? pic.mask[i] != 0
                                   : !(pic.masking == ILBM_MASK_TRANSPARENT && pen == pic.transparent);
      if (opaque) layer[static_cast<size_t>(ty) * kW + tx] = pen == kClear ? kClear - 1 : pen;
    }
  }
  FreeIlbm(&pic);
  return 1;
}

void WriteCache(const char* path, const uint8_t* layer, const uint8_t* key) {
  IlbmPicture pic{};
  pic.width = kW;
  pic.height = kH;
  pic.pixels = const_cast<uint8_t*>(layer);
  pic.masking = ILBM_MASK_TRANSPARENT;
  pic.transparent = kClear;
  const PaletteCopy* p = ScreenPalette();
  for (uint32_t c = 0; c < 256; ++c) {
    pic.palette[c][0] = p->Colors[c].Red;
    pic.palette[c][1] = p->Colors[c].Green;
    pic.palette[c][2] = p->Colors[c].Blue;
  }
  uint8_t chunk[kKeySize + 4];
  std::memcpy(chunk, key, kKeySize);
  PutBE32(chunk + kKeySize, Crc32(layer, kArea));
  const IlbmExtraChunk extra{kKeyChunk, chunk, sizeof chunk};
  uint32_t size = 0;
  uint8_t* image = EncodeIlbm(&pic, &extra, 1, &size);
  FileSet* set = image ? BeginFileSet() : nullptr;
  int32_t ok = set && FileSetWrite(set, path, image, size);
  if (set) ok = CommitFileSet(set) && ok;
  FreeVec(image);
  if (!ok) DebugLog("DrawTown: Konnte Stadtbild %s nicht schreiben.\n", path);
}

}  // namespace

int32_t TownLotBuilding(const st_TOWN* town, uint32_t lot) {
  if (!town || lot >= kTownLots) return -1;
  const Lot& l = kLots[lot];
  for (int32_t m = l.count - 1; m >= 0; --m)
    if (Stands(town, l.members[m])) return l.members[m];
  return -1;
}

int32_t TownBuildingLot(uint32_t building) {
  for (uint32_t lot = 0; lot < kTownLots; ++lot)
    for (uint32_t m = 0; m < kLots[lot].count; ++m)
      if (kLots[lot].members[m] == building) return static_cast<int32_t>(lot);
  return -1;
}

uint32_t TownBuildingPicture(uint32_t building) {
  const int32_t lot = TownBuildingLot(building);
  if (lot < 0) return 0;
  for (uint32_t m = 0; m < kLots[lot].count; ++m)
    if (kLots[lot].members[m] == building) return kLots[lot].picture + m;
  return 0;
}

void TownLotPosition(uint32_t level, uint32_t lot, int32_t* x, int32_t* y) {
  const uint32_t row = level >= 1 && level <= 4 ? level - 1 : 0;
  const Pos p = lot < kTownLots ? kLotPos[row][lot] : Pos{0, 0};
  *x = p.x;
  *y = p.y;
}

void TownImagePath(const st_TOWN* town, char* out, uint32_t out_size) {
  char name[3 * TOWN_NAME_SIZE];
  char town_name[TOWN_NAME_SIZE + 1] = {};
  std::memcpy(town_name, town->name, TOWN_NAME_SIZE);
  TownFileName(town_name, name, sizeof name);
  std::snprintf(out, out_size, ".\\Data\\Cities\\%s.image", name);
}

int32_t ReadTownImage(const void* data, uint32_t size, const uint8_t* key, uint32_t key_size, uint8_t* pixels) {
  uint32_t form = 0;
  BoundedReader body{};
  if (!data || !IffOpenForm(data, size, &form, &body) || form != IffId("ILBM")) return 0;
  IffChunk chunk{};
  if (IffFindChunk(body, kKeyChunk, &chunk) != 1 || chunk.size < 4 || chunk.size - 4 != key_size ||
      std::memcmp(chunk.data, key, key_size) != 0)
    return 0;
  // A picture of another size is refused before it is decoded.
  IffChunk bmhd{};
  if (IffFindChunk(body, IffId("BMHD"), &bmhd) != 1 || bmhd.size < 4 || GetBE16(bmhd.data) != kW ||
      GetBE16(bmhd.data + 2) != kH)
    return 0;
  IlbmPicture pic{};
  if (DecodeIlbm(data, size, &pic) != 1) return 0;
  // The layer is taken only when it decodes to what was written.
  const bool fits = pic.width == kW && pic.height == kH && Crc32(pic.pixels, kArea) == GetBE32(chunk.data + key_size);
  if (fits) std::memcpy(pixels, pic.pixels, kArea);
  FreeIlbm(&pic);
  return fits ? 1 : 0;
}

int32_t DrawTown(RastPort* rp, const st_TOWN* town) {
  if (!town) return 0;
  RastPort* target = rp ? rp : ScreenRastPort();
  if (!target) return 0;
  PictureIndex index{};
  index.data = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\Path", 0, &index.size));
  uint8_t key[kKeySize];
  MakeKey(town, index, key);
  char path[300];
  TownImagePath(town, path, sizeof path);

  BitMap* layer = AllocBitMap(kW, kH, 8, BMF_CLEAR, nullptr);
  auto* mask = static_cast<uint8_t*>(AllocVec(kArea, 0));
  if (!layer || !mask) {
    DebugLog("DrawTown: Kein Speicher fuer das Stadtbild.\n");
    FreeBitMap(layer);
    FreeVec(mask);
    FreeVec(index.data);
    return 0;
  }
  uint8_t* pixels = mask;  // the layer is built here first, then copied
  int32_t result = 1;
  uint32_t size = 0;
  void* cache = LoadFile2MemSize(path, 0, &size);
  if (cache && ReadTownImage(cache, size, key, kKeySize, pixels)) {
    result = 2;
  } else {
    std::memset(pixels, kClear, kArea);
    const uint32_t level = town->level >= 1 && town->level <= 4 ? town->level : 1;
    for (uint32_t lot = 0; lot < kTownLots; ++lot) {
      const int32_t b = TownLotBuilding(town, lot);
      if (b < 0) continue;
      int32_t x, y;
      TownLotPosition(level, lot, &x, &y);
      if (!ComposeBuilding(pixels, index, TownBuildingPicture(static_cast<uint32_t>(b)), x, y))
        DebugLog("DrawTown: Gebaeudebild %u fehlt.\n", TownBuildingPicture(static_cast<uint32_t>(b)));
    }
    WriteCache(path, pixels, key);
  }
  FreeVec(cache);
  FreeVec(index.data);
  for (uint32_t y = 0; y < kH; ++y) std::memcpy(layer->Pixels + static_cast<size_t>(y) * layer->BytesPerRow, pixels + y * kW, kW);
  for (uint32_t i = 0; i < kArea; ++i) mask[i] = pixels[i] != kClear;
  QoeMutex* m = target == ScreenRastPort() ? DisplayMutex() : nullptr;
  if (m) ObtainMutex(m);
  BltMaskBitMapRastPort(layer, 0, 0, target, 0, 0, kW, kH, 0xE0, mask);
  if (m) ReleaseMutex(m);
  if (target == ScreenRastPort()) ShowScreenRect(target, 0, 0, kW, kH);
  FreeBitMap(layer);
  FreeVec(mask);
  return result;
}
