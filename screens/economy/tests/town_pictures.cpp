// Test pictures of the town view. See town_pictures.h.
#include "town_pictures.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "routinen/gui/ilbm.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace town_test {
namespace {

enum Kind : uint8_t { kScreen = 1, kGraphic = 2, kMasked = 3 };

struct PictureKind {
  uint32_t id;
  Kind kind;
  uint16_t w, h;
};

// Pens of the kit's shared palette: ramps of 16 steps, dark to light.
enum : uint8_t { kGreys = 16, kWood = 48, kRed = 80, kGreen = 96, kBlue = 112, kSlate = 176, kForest = 192,
                 kSand = 208, kWater = 224, kParchment = 32 };

bool Has(const std::vector<uint32_t>& ids, uint32_t id) {
  for (uint32_t i : ids)
    if (i == id) return true;
  return false;
}

// Draws a picture (255: the holes of masked pictures). The ground pictures
// share one landscape: a river on the left where the ford runs, a road
// across the bottom and one up the middle; by day green under a blue sky,
// in bad weather darker under slate clouds.
std::vector<uint8_t> Paint(const PictureKind& s, uint32_t variant) {
  std::vector<uint8_t> px(static_cast<size_t>(s.w) * s.h, s.kind == kMasked ? 255 : kGreys);
  auto put = [&](int x, int y, int pen) {
    if (x >= 0 && y >= 0 && x < s.w && y < s.h) px[static_cast<size_t>(y) * s.w + x] = static_cast<uint8_t>(pen);
  };
  auto fill = [&](int x1, int y1, int x2, int y2, int pen) {
    for (int y = y1; y <= y2; ++y)
      for (int x = x1; x <= x2; ++x) put(x, y, pen);
  };
  auto ellipse = [&](int cx, int cy, int rx, int ry, int pen) {
    for (int y = -ry; y <= ry; ++y)
      for (int x = -rx; x <= rx; ++x)
        if (x * x * ry * ry + y * y * rx * rx <= rx * rx * ry * ry) put(cx + x, cy + y, pen);
  };
  const int shade = static_cast<int>((s.id * 7 + variant * 5) % 5);
  if (s.id >= 600 && s.id <= 719) {  // a house: walls, roof, door, windows
    const int walls = (s.id % 3 == 0 ? kSand : s.id % 3 == 1 ? kParchment : kSlate) + 8 + shade;
    const int roof = (s.id % 2 ? kRed : kWood) + 5 + shade;
    fill(6, 17, 41, 39, walls);
    for (int y = 2; y <= 17; ++y) fill(24 - (y - 2) * 22 / 15, y, 23 + (y - 2) * 22 / 15, y, roof + (y % 3 == 0));
    fill(20, 27, 27, 39, kWood + 3);
    fill(10, 21, 15, 25, kBlue + 12);
    fill(32, 21, 37, 25, kBlue + 12);
    for (int x = 6; x <= 41; ++x) put(x, 39, 0);
    for (int y = 17; y <= 39; ++y) put(6, y, 0), put(41, y, 0);
    return px;
  }
  const bool dark = Has({255, 750, 753, 756, 254, 749, 752, 755}, s.id);
  if (s.kind == kGraphic && s.h == 123) {  // a sky: a gradient with clouds
    for (int y = 0; y < s.h; ++y) fill(0, y, s.w - 1, y, (dark ? kSlate + 2 : kBlue + 5) + y * 9 / s.h);
    for (int c = 0; c < 9; ++c)
      ellipse(30 + c * 73 + (c * 37 + shade * 11) % 40, 25 + (c * 29) % 60, 40 + c % 3 * 12, 10 + c % 2 * 5,
              dark ? kSlate + 1 + c % 3 : kGreys + 14 + c % 2);
    return px;
  }
  if (s.kind == kScreen || (s.kind == kGraphic && s.h == 357)) {  // the land
    const int top = s.kind == kScreen ? 123 : 0;  // where the ground begins in this picture
    const int level = s.id >= 745 && s.id <= 747 ? static_cast<int>(s.id - 744) : 1;
    for (int y = 0; y < s.h; ++y) {
      const int gy = y - top + 123;  // the row on the screen
      for (int x = 0; x < s.w; ++x) {
        if (gy < 123) {
          put(x, y, kBlue + 5 + gy * 9 / 123);
          continue;
        }
        int pen = (dark ? kForest + 3 : kGreen + 5 + level) + ((x * 7 + gy * 13) % 17 == 0 ? 2 : 0);
        const int river = 60 + (gy - 123) / 6;
        if (x >= river && x <= river + 150) pen = (dark ? kWater + 2 : kWater + 7) + ((x + gy * 3) % 23 == 0 ? 4 : 0);
        if (gy >= 420 && gy <= 440 && x > river + 150) pen = dark ? kSlate + 4 : kSand + 9;
        if (x >= 300 && x <= 318 && gy < 420) pen = dark ? kSlate + 4 : kSand + 9;
        put(x, y, pen);
      }
    }
    return px;
  }
  if (s.kind == kMasked && s.w == 276) {  // the title: a wooden board with two plates
    fill(0, 2, 275, 55, kWood + 6);
    for (int i = 0; i < 3; ++i) {
      for (int x = i; x < 276 - i; ++x) put(x, 2 + i, kWood + 10), put(x, 55 - i, kWood + 2);
    }
    fill(29, 7, 246, 31, kParchment + 13);
    fill(17, 34, 258, 50, kParchment + 9);
    ellipse(10, 28, 5, 5, kGreys + 10);
    ellipse(265, 28, 5, 5, kGreys + 10);
    return px;
  }
  // Other masked graphics: a round shape with a rim.
  const int cx = s.w / 2, cy = s.h / 2, r = (s.w < s.h ? s.w : s.h) / 2 - 2;
  ellipse(cx, cy, r, r, 0);
  ellipse(cx, cy, r - 2, r - 2, kWood + 8 + shade);
  return px;
}

std::vector<PictureKind> PictureKinds() {
  std::vector<PictureKind> v;
  for (uint32_t id : {745u, 746u, 747u}) v.push_back({id, kScreen, 640, 480});
  for (uint32_t id : {252u, 748u, 751u, 754u, 255u, 750u, 753u, 756u}) v.push_back({id, kGraphic, 640, 123});
  for (uint32_t id : {254u, 749u, 752u, 755u}) v.push_back({id, kGraphic, 640, 357});
  for (uint32_t id : {358u, 757u, 762u, 767u}) v.push_back({id, kMasked, 276, 58});
  for (uint32_t id : {758u, 759u, 763u, 764u, 768u, 769u}) v.push_back({id, kMasked, 64, 62});
  for (uint32_t id : {760u, 761u, 765u, 766u, 770u, 771u}) v.push_back({id, kMasked, 48, 46});
  for (uint32_t id = 600; id <= 703; ++id) v.push_back({id, kMasked, 48, 40});
  return v;
}

bool Write(const PictureKind& s, uint32_t variant) {
  std::vector<uint8_t> px = Paint(s, variant);
  IlbmPicture pic{};
  pic.width = s.w;
  pic.height = s.h;
  pic.pixels = px.data();
  pic.masking = s.kind == kMasked ? ILBM_MASK_TRANSPARENT : ILBM_MASK_NONE;
  pic.transparent = 255;
  // The kit's shared palette from its picture 2.
  const auto kit = qoe_test::ReadFileBytes("Gfx/Pic0002.ilbm");
  IlbmPicture ref{};
  if (!kit.empty() && DecodeIlbm(kit.data(), static_cast<uint32_t>(kit.size()), &ref) == 1) {
    std::memcpy(pic.palette, ref.palette, sizeof pic.palette);
    FreeIlbm(&ref);
  }
  uint32_t size = 0;
  uint8_t* data = EncodeIlbm(&pic, nullptr, 0, &size);
  if (!data) return false;
  char name[64];
  std::snprintf(name, sizeof name, "Gfx/Town%04u.ilbm", s.id);
  const bool ok = qoe_test::WriteFileBytes(name, std::vector<uint8_t>(data, data + size));
  FreeVec(data);
  return ok;
}

}  // namespace

bool InstallTownPictures() {
  const std::string kit = qoe_test::BinaryDir() + "/datakit";
  if (!fs::exists(kit)) return false;
  fs::copy(kit, ".", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  auto index = qoe_test::ReadFileBytes("Data/Path");
  if (index.size() < 12) return false;
  for (const PictureKind& s : PictureKinds()) {
    const size_t at = 12 + static_cast<size_t>(s.id - 1) * 64;
    if (at + 64 > index.size()) return false;
    char name[64];
    std::snprintf(name, sizeof name, "Gfx/Town%04u.ilbm", s.id);
    if (index[at] != 0) {
      // The kit draws this one: a copy of its own, so a test may repaint it.
      const char* named = reinterpret_cast<const char*>(&index[at + 12]);
      std::string kit_file(named, strnlen(named, 52));
      for (char& c : kit_file)
        if (c == '\\') c = '/';
      const auto bytes = qoe_test::ReadFileBytes(kit_file);
      if (bytes.empty() || !qoe_test::WriteFileBytes(name, bytes)) return false;
    } else if (!Write(s, 0)) {
      return false;
    }
    uint8_t* r = index.data() + at;
    r[0] = s.kind;
    PutBE16(r + 2, 1);
    PutBE16(r + 4, s.h);
    PutBE16(r + 6, s.w);
    PutBE16(r + 8, s.h);
    std::snprintf(reinterpret_cast<char*>(r + 12), 52, "Gfx\\Town%04u.ilbm", s.id);
  }
  FreeGfxPaths();
  return qoe_test::WriteFileBytes("Data/Path", index);
}

bool RepaintPicture(uint32_t id) {
  for (const PictureKind& s : PictureKinds())
    if (s.id == id) return Write(s, 1);
  return false;
}

}  // namespace town_test
