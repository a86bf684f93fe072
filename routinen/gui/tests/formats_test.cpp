// Readers of the picture files, the picture index and the layout files, on
// the data kit's output and on damaged copies of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "routinen/gui/ilbm.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pathfile.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/iff.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qoe_test::BinaryDir;
using qoe_test::ReadFileBytes;

namespace {

std::string Kit() { return BinaryDir() + "/datakit"; }

std::string DiskPathOf(const char* program_path) {
  std::string s = program_path;
  for (char& c : s) if (c == '\\') c = '/';
  return Kit() + "/" + s;
}

// Every picture the main index names.
std::vector<std::pair<uint32_t, PathEntry>> KitPictures(const char* index_file) {
  std::vector<uint8_t> raw = ReadFileBytes(Kit() + index_file);
  PathFile* pf = ParsePathFile(raw.data(), (uint32_t)raw.size());
  std::vector<std::pair<uint32_t, PathEntry>> out;
  if (!pf) return out;
  for (uint32_t id = 1; id <= pf->count; ++id)
    if (const PathEntry* e = GetPathEntry(pf, id)) out.push_back({id, *e});
  FreePathFile(pf);
  return out;
}

// Reads a binary PPM (P6, maxval 255) as written by netpbm.
bool ReadPpm(const std::string& path, int* w, int* h, std::vector<uint8_t>* rgb) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  int maxval = 0;
  bool ok = std::fscanf(f, "P6 %d %d %d", w, h, &maxval) == 3 && maxval == 255 && std::fgetc(f) != EOF;
  if (ok) {
    rgb->resize((size_t)*w * *h * 3);
    ok = std::fread(rgb->data(), 1, rgb->size(), f) == rgb->size();
  }
  std::fclose(f);
  return ok;
}

}  // namespace

TEST(PictureIndex, KitIndexListsTheToolkitPictures) {
  auto pics = KitPictures("/Data/Path");
  ASSERT_FALSE(pics.empty());
  bool have2 = false, have106 = false, strip = false;
  for (auto& [id, e] : pics) {
    if (id == 2) { have2 = true; EXPECT_EQ(e.kind, PICKIND_SCREEN); EXPECT_EQ(e.width, 640); EXPECT_EQ(e.height, 480); }
    if (id == 106) have106 = true;
    if (e.kind == PICKIND_STRIP) { strip = true; EXPECT_EQ(e.height, e.frames * e.frameHeight); }
  }
  EXPECT_TRUE(have2 && have106 && strip);
  EXPECT_FALSE(KitPictures("/Data/RizizOzezPath").empty());
}

// The boxes', the test screen's and the letter window's own pictures sit at
// 202..245, where no picture the game names lies; the kit refuses a list in
// which two pictures (the map's included) share an ID, which fails the build.
TEST(PictureIndex, OwnPicturesKeepTheirIdsAndTheKitRefusesSharedIds) {
  auto pics = KitPictures("/Data/Path");
  std::vector<uint32_t> own;
  for (auto& [id, e] : pics)
    if (id >= 202 && id <= 245) own.push_back(id);
  ASSERT_EQ(own.size(), 44u);
  EXPECT_EQ(own.front(), 202u);
  EXPECT_EQ(own.back(), 245u);
  for (auto& [id, e] : pics) {
    if (id == 204) { EXPECT_EQ(e.width * 1000 + e.height, 304u * 1000 + 119u); }
    if (id == 221) { EXPECT_EQ(e.kind, PICKIND_SCREEN); }
    if (id == 229) { EXPECT_EQ(e.kind, PICKIND_STRIP); }
    if (id >= 230 && id <= 245) { EXPECT_EQ(e.width * 1000 + e.height, 58u * 1000 + 18u) << id; }
  }
  const std::string tool = BinaryDir() + "/tools/datakit/datakit";
  QOE_REQUIRE_BUILT(tool);
  const struct { const char* list; const char* says; } kCases[] = {
      {"index .\\Data\\Path Gfx 300\n210 graphic 80 16 button released \"OK\"\n210 graphic 16 16 icon up\n",
       "pictures.txt:3: picture 210 listed twice"},
      {"index .\\Data\\Path Gfx 1615\nmap\n31 graphic 16 16 icon up\n", "pictures.txt:3: picture 31 listed twice"},
      {"index .\\Data\\Path Gfx 1615\n5 graphic 16 16 icon up\nmap\n", "pictures.txt:3: picture 5 listed twice"},
  };
  for (const auto& c : kCases) {
    fs::remove_all("src");
    fs::create_directories("src");
    FILE* f = std::fopen("src/pictures.txt", "w");
    ASSERT_TRUE(f);
    std::fputs(c.list, f);
    std::fclose(f);
    EXPECT_NE(std::system(("'" + tool + "' src out 2>err.txt").c_str()), 0) << c.list;
    const std::vector<uint8_t> err = ReadFileBytes("err.txt");
    EXPECT_NE(std::string(err.begin(), err.end()).find(c.says), std::string::npos) << std::string(err.begin(), err.end());
  }
}

TEST(PictureIndex, RejectsBrokenImages) {
  std::vector<uint8_t> raw = ReadFileBytes(Kit() + "/Data/Path");
  ASSERT_GT(raw.size(), 100u);
  // Cut in the middle of the records: the count no longer fits.
  EXPECT_EQ(ParsePathFile(raw.data(), (uint32_t)raw.size() - 1), nullptr);
  EXPECT_EQ(ParsePathFile(raw.data(), 11), nullptr);
  std::vector<uint8_t> bad = raw;
  bad[0] = 'X';
  EXPECT_EQ(ParsePathFile(bad.data(), (uint32_t)bad.size()), nullptr);
  // An entry whose name fills the whole field stays terminated.
  bad = raw;
  for (uint32_t i = 0; i < kPathNameSize; ++i) bad[kPathHeaderSize + 12 + i] = 'A';
  PathFile* pf = ParsePathFile(bad.data(), (uint32_t)bad.size());
  ASSERT_NE(pf, nullptr);
  EXPECT_EQ(std::string(pf->entries[0].file).size(), kPathNameSize - 1);
  EXPECT_EQ(GetPathEntry(pf, 0), nullptr);
  EXPECT_EQ(GetPathEntry(pf, pf->count + 1u), nullptr);
  FreePathFile(pf);
}

TEST(Ilbm, EveryKitPictureDecodesAndMatchesNetpbm) {
  const bool have_netpbm = std::system("command -v ilbmtoppm >/dev/null 2>&1") == 0;
  int checked = 0;
  for (const char* index : {"/Data/Path", "/Data/RizizOzezPath"}) {
    for (auto& [id, e] : KitPictures(index)) {
      SCOPED_TRACE(e.file);
      std::string disk = DiskPathOf(e.file);
      std::vector<uint8_t> raw = ReadFileBytes(disk);
      ASSERT_FALSE(raw.empty());
      IlbmPicture pic;
      ASSERT_EQ(DecodeIlbm(raw.data(), (uint32_t)raw.size(), &pic), 1);
      EXPECT_EQ(pic.width, e.width);
      EXPECT_EQ(pic.height, e.height);
      EXPECT_EQ(pic.colours, pic.planes == 1 ? 2 : 256);  // one plane: the map's hex mask
      // The map screen (picture 3 of the main index) is a screen picture
      // with a hole over its view.
      const bool map_screen = e.kind == PICKIND_SCREEN && id == 3 && std::string(index) == "/Data/Path";
      const bool masked = e.kind == PICKIND_MASKED || e.kind == PICKIND_STRIP || map_screen;
      EXPECT_EQ(pic.mask != nullptr, masked);
      if (have_netpbm && (checked < 12 || e.kind != PICKIND_SCREEN)) {
        std::string ppm = qoe_test::TestDir() + "/out.ppm";
        std::string cmd = "ilbmtoppm '" + disk + "' > '" + ppm + "' 2>/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        int w = 0, h = 0;
        std::vector<uint8_t> rgb;
        ASSERT_TRUE(ReadPpm(ppm, &w, &h, &rgb));
        ASSERT_EQ(w, pic.width);
        ASSERT_EQ(h, pic.height);
        size_t diffs = 0;
        for (size_t i = 0; i < (size_t)w * h; ++i)
          for (int k = 0; k < 3; ++k) diffs += rgb[i * 3 + k] != pic.palette[pic.pixels[i]][k];
        EXPECT_EQ(diffs, 0u);
        ++checked;
      }
      FreeIlbm(&pic);
    }
  }
  if (have_netpbm) {
    EXPECT_GT(checked, 10);
  }
}

TEST(Ilbm, TruncatedOrDamagedPicturesFailCleanly) {
  std::vector<uint8_t> raw = ReadFileBytes(Kit() + "/Gfx/Pic0226.ilbm");
  ASSERT_GT(raw.size(), 800u);
  IlbmPicture pic;
  // Every cut: the FORM length no longer fits, or the BODY ends early.
  for (size_t cut : {size_t(0), size_t(4), size_t(11), size_t(40), raw.size() / 2, raw.size() - 3}) {
    EXPECT_EQ(DecodeIlbm(raw.data(), (uint32_t)cut, &pic), -1) << cut;
    EXPECT_EQ(pic.pixels, nullptr);
  }
  // The FORM shortened consistently: the BODY chunk passes the FORM's end.
  std::vector<uint8_t> shortened(raw.begin(), raw.end() - 20);
  PutBE32(shortened.data() + 4, (uint32_t)shortened.size() - 8);
  EXPECT_EQ(DecodeIlbm(shortened.data(), (uint32_t)shortened.size(), &pic), -1);
  // Oversized and empty dimensions in BMHD (it follows the 12-byte header + 8).
  std::vector<uint8_t> big = raw;
  PutBE16(big.data() + 20, 60000);
  EXPECT_EQ(DecodeIlbm(big.data(), (uint32_t)big.size(), &pic), -1);
  PutBE16(big.data() + 20, 0);
  EXPECT_EQ(DecodeIlbm(big.data(), (uint32_t)big.size(), &pic), -1);
  std::vector<uint8_t> planes = raw;
  planes[28] = 24;  // nPlanes
  EXPECT_EQ(DecodeIlbm(planes.data(), (uint32_t)planes.size(), &pic), -1);
}

TEST(Ilbm, ByteRun1RunPastTheRowEndFailsTheLoad) {
  // 16 x 2, one plane, ByteRun1: each row is 2 bytes.
  auto make = [](std::vector<uint8_t> body) {
    std::vector<uint8_t> f = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'I', 'L', 'B', 'M',
                              'B', 'M', 'H', 'D', 0, 0, 0, 20, 0, 16, 0, 2, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 1, 1, 0, 16, 0, 2,
                              'B', 'O', 'D', 'Y', 0, 0, 0, 0};
    PutBE32(f.data() + f.size() - 4, (uint32_t)body.size());
    for (uint8_t b : body) f.push_back(b);
    if (body.size() & 1) f.push_back(0);
    PutBE32(f.data() + 4, (uint32_t)f.size() - 8);
    return f;
  };
  IlbmPicture pic;
  std::vector<uint8_t> good = make({1, 0xF0, 0x0F, 0xFF, 0x55});  // literal row, repeat row
  ASSERT_EQ(DecodeIlbm(good.data(), (uint32_t)good.size(), &pic), 1);
  EXPECT_EQ(pic.pixels[0], 1);
  EXPECT_EQ(pic.pixels[4], 0);
  EXPECT_EQ(pic.pixels[16], 0);
  EXPECT_EQ(pic.pixels[17], 1);
  FreeIlbm(&pic);
  // A literal run of 3 bytes and a repeat of 3 bytes in 2-byte rows.
  for (const std::vector<uint8_t>& body : {std::vector<uint8_t>{2, 0xF0, 0x0F, 0xAA, 0xFF, 0x55},
                                            std::vector<uint8_t>{1, 0xF0, 0x0F, 0xFE, 0x55}}) {
    std::vector<uint8_t> bad = make(body);
    EXPECT_EQ(DecodeIlbm(bad.data(), (uint32_t)bad.size(), &pic), -1);
    EXPECT_EQ(pic.pixels, nullptr);
  }
}

TEST(Ilbm, DecodesUncompressedPlanesAndMaskPlane) {
  // 3 x 2 picture, 2 planes + mask plane, uncompressed.
  std::vector<uint8_t> f = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'I', 'L', 'B', 'M',
                            'B', 'M', 'H', 'D', 0, 0, 0, 20, 0, 3, 0, 2, 0, 0, 0, 0, 2, 1, 0, 0, 0, 0, 1, 1, 0, 3, 0, 2,
                            'C', 'M', 'A', 'P', 0, 0, 0, 6, 1, 2, 3, 4, 5, 6,
                            'B', 'O', 'D', 'Y', 0, 0, 0, 12,
                            // row 0: plane0 101, plane1 011, mask 110
                            0xA0, 0, 0x60, 0, 0xC0, 0,
                            // row 1: plane0 000, plane1 111, mask 011
                            0x00, 0, 0xE0, 0, 0x60, 0};
  PutBE32(f.data() + 4, (uint32_t)f.size() - 8);
  IlbmPicture pic;
  ASSERT_EQ(DecodeIlbm(f.data(), (uint32_t)f.size(), &pic), 1);
  EXPECT_EQ(pic.colours, 2);
  const uint8_t want[6] = {1, 2, 3, 2, 2, 2}, mask[6] = {1, 1, 0, 0, 1, 1};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(pic.pixels[i], want[i]) << i;
    EXPECT_EQ(pic.mask[i], mask[i]) << i;
  }
  FreeIlbm(&pic);
}

TEST(Layout, KitTestScreenLoadsWithItsRecords) {
  std::vector<uint8_t> raw = ReadFileBytes(Kit() + "/Data/Screendat/TestScreen.dat");
  ASSERT_FALSE(raw.empty());
  ScreenRegion* r = ParseScreenRegion(raw.data(), (uint32_t)raw.size(), (1u << 0) | (1u << 1) | (1u << 2) | (1u << 9));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->buttonUp, 1);
  EXPECT_EQ(r->types[LAYOUT_TEXTAREA].count, 3u);
  EXPECT_EQ(r->types[LAYOUT_GADGET].count, 4u);
  EXPECT_EQ(r->types[LAYOUT_AREA].count, 1u);
  ASSERT_EQ(r->types[LAYOUT_U16LIST].count, 8u);
  EXPECT_EQ(static_cast<uint16_t*>(r->types[LAYOUT_U16LIST].first)[3], 500);
  const TextArea* t0 = static_cast<TextArea*>(r->types[LAYOUT_TEXTAREA].first);
  EXPECT_EQ(t0->textId, kTextTitleBar);
  EXPECT_EQ(t0->x1, 200);
  EXPECT_EQ(t0->y2, 27);
  Gadget* exit = FindGadget(r, "EXIT");
  ASSERT_NE(exit, nullptr);
  EXPECT_EQ(exit, GetRegionGadget(r, 0));
  EXPECT_EQ(exit->imageReleased, 222);
  EXPECT_EQ(exit->imagePressed, 223);
  EXPECT_EQ(exit->x1, 560);
  EXPECT_EQ(exit->y2, 461);
  EXPECT_EQ(exit->textArea, &static_cast<TextArea*>(r->types[LAYOUT_TEXTAREA].first)[1]);
  EXPECT_EQ(exit->textArea->textId, 84u);
  Gadget* rept = FindGadget(r, "REPT");
  ASSERT_NE(rept, nullptr);
  EXPECT_EQ(rept->flags, GADF_REPEAT | GADF_MASKED);
  EXPECT_EQ(rept->textArea, nullptr);
  EXPECT_EQ(FindGadget(r, "NONE"), nullptr);
  EXPECT_EQ(GetRegionGadget(r, 4), nullptr);
  FreeScreenRegion(r);
}

TEST(Layout, KitTestScreenGivesEveryTypedRecord) {
  std::vector<uint8_t> raw = ReadFileBytes(Kit() + "/Data/Screendat/TestScreen.dat");
  ASSERT_FALSE(raw.empty());
  const uint32_t mask = (1u << LAYOUT_ENTRY) | (1u << LAYOUT_SLIDER) | (1u << LAYOUT_VALUE) | (1u << 6) |
                        (1u << LAYOUT_MARK) | (1u << LAYOUT_LABEL) | (1u << LAYOUT_POINT) | (1u << 11);
  ScreenRegion* r = ParseScreenRegion(raw.data(), (uint32_t)raw.size(), mask);
  ASSERT_NE(r, nullptr);
  const EntryField* e = GetLayoutEntry(r, 0);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->x1, 40); EXPECT_EQ(e->y1, 340); EXPECT_EQ(e->x2, 239); EXPECT_EQ(e->y2, 355);
  EXPECT_EQ(e->maxLength, 24);
  const SliderTrack* s = GetLayoutSlider(r, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->x1, 400); EXPECT_EQ(s->y1, 300); EXPECT_EQ(s->x2, 599); EXPECT_EQ(s->y2, 315);
  const ValueField* v = GetLayoutValue(r, 1);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->textPen, 6); EXPECT_EQ(v->fillPen, 0);
  EXPECT_EQ(v->x1, 400); EXPECT_EQ(v->y1, 360); EXPECT_EQ(v->x2, 479); EXPECT_EQ(v->y2, 375);
  EXPECT_EQ(v->flags, 8);
  EXPECT_EQ(GetLayoutValue(r, 0)->fillPen, 34);
  const LayoutPoint* m = GetLayoutMark(r, 0);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->x, 330); EXPECT_EQ(m->y, 300);
  const TextArea* l = GetLayoutLabel(r, 0);
  ASSERT_NE(l, nullptr);
  EXPECT_EQ(l->x2, 239); EXPECT_EQ(l->textId, 85u);
  ASSERT_NE(l->text, nullptr);
  EXPECT_STREQ(l->text, static_cast<TextArea*>(r->types[LAYOUT_TEXTAREA].first)[2].text);
  const LayoutPoint* p = GetLayoutPoint(r, 2);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->x, 180); EXPECT_EQ(p->y, 420);
  LayoutRect rect{};
  ASSERT_EQ(GetLayoutRect(r, 1, &rect), 1);
  EXPECT_EQ(rect.x1, 10); EXPECT_EQ(rect.y1, 20); EXPECT_EQ(rect.x2, 30); EXPECT_EQ(rect.y2, 40);
  // Past the last record of each type.
  EXPECT_EQ(GetLayoutEntry(r, 1), nullptr);
  EXPECT_EQ(GetLayoutSlider(r, 1), nullptr);
  EXPECT_EQ(GetLayoutValue(r, 2), nullptr);
  EXPECT_EQ(GetLayoutMark(r, 1), nullptr);
  EXPECT_EQ(GetLayoutLabel(r, 1), nullptr);
  EXPECT_EQ(GetLayoutPoint(r, 3), nullptr);
  EXPECT_EQ(GetLayoutRect(r, 2, &rect), 0);
  EXPECT_EQ(GetLayoutRect(r, 0xFFFFFFFFu, &rect), 0);
  EXPECT_EQ(GetLayoutPoint(nullptr, 0), nullptr);
  // The raw types keep their big-endian records and their sizes.
  EXPECT_EQ(r->types[6].size, 4);
  EXPECT_EQ(r->types[6].count, 1u);
  EXPECT_EQ(GetBE16(static_cast<uint8_t*>(r->types[6].first) + 2), 2);
  EXPECT_EQ(r->types[11].count, 0u);
  EXPECT_EQ(r->types[11].size, 6);
  FreeScreenRegion(r);
}

// A layout file of one chunk per (type, record size, u16 words).
std::vector<uint8_t> LayoutFile(const std::vector<std::tuple<int, uint16_t, std::vector<uint16_t>>>& types) {
  std::vector<uint8_t> f = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'S', 'C', 'R', 'N'};
  for (const auto& [type, size, words] : types) {
    uint8_t head[12] = {'R', 'T', (uint8_t)('0' + type / 10), (uint8_t)('0' + type % 10)};
    PutBE32(head + 4, 4 + 2 * (uint32_t)words.size());
    PutBE16(head + 8, size);
    PutBE16(head + 10, size ? (uint16_t)(words.size() * 2 / size) : 0);
    f.insert(f.end(), head, head + 12);
    for (uint16_t w : words) f.push_back((uint8_t)(w >> 8)), f.push_back((uint8_t)w);
  }
  PutBE32(f.data() + 4, (uint32_t)f.size() - 8);
  return f;
}

TEST(Layout, TypedRecordsEmptyOrOfTheWrongSizeGiveNothing) {
  // Empty types load and give no record.
  std::vector<uint8_t> f = LayoutFile({{3, 10, {}}, {4, 8, {}}, {5, 14, {}}, {7, 4, {}}, {8, 12, {}},
                                       {9, 2, {1, 2, 3, 4, 5, 6, 7}}, {10, 4, {}}});
  ScreenRegion* r = ParseScreenRegion(f.data(), (uint32_t)f.size(), 0x7B8);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(GetLayoutEntry(r, 0), nullptr);
  EXPECT_EQ(GetLayoutSlider(r, 0), nullptr);
  EXPECT_EQ(GetLayoutValue(r, 0), nullptr);
  EXPECT_EQ(GetLayoutMark(r, 0), nullptr);
  EXPECT_EQ(GetLayoutLabel(r, 0), nullptr);
  EXPECT_EQ(GetLayoutPoint(r, 0), nullptr);
  LayoutRect rect{};
  EXPECT_EQ(GetLayoutRect(r, 0, &rect), 1);
  EXPECT_EQ(rect.y2, 4);
  EXPECT_EQ(GetLayoutRect(r, 1, &rect), 0);  // three values left: no rectangle
  FreeScreenRegion(r);
  // A typed record of another size is refused, whatever the mask.
  const std::vector<std::tuple<int, uint16_t, std::vector<uint16_t>>> wrong[] = {
      {{3, 8, {1, 2, 3, 4}}}, {{4, 10, {1, 2, 3, 4, 5}}}, {{5, 12, {1, 2, 3, 4, 5, 6}}},
      {{7, 2, {1}}}, {{8, 10, {1, 2, 3, 4, 5}}}, {{10, 6, {1, 2, 3}}}, {{9, 4, {1, 2}}}};
  for (const auto& w : wrong) {
    f = LayoutFile(w);
    EXPECT_EQ(ParseScreenRegion(f.data(), (uint32_t)f.size(), 0), nullptr) << std::get<0>(w[0]);
  }
  // A count that passes the chunk's end.
  f = LayoutFile({{10, 4, {1, 2, 3, 4}}});
  PutBE16(f.data() + 22, 3);
  EXPECT_EQ(ParseScreenRegion(f.data(), (uint32_t)f.size(), 0), nullptr);
  // A region whose list is not of the type's size gives nothing either.
  f = LayoutFile({{10, 4, {1, 2}}});
  r = ParseScreenRegion(f.data(), (uint32_t)f.size(), 0);
  ASSERT_NE(r, nullptr);
  ASSERT_NE(GetLayoutPoint(r, 0), nullptr);
  r->types[LAYOUT_POINT].size = 2;
  EXPECT_EQ(GetLayoutPoint(r, 0), nullptr);
  r->types[LAYOUT_POINT].size = 4;
  FreeScreenRegion(r);
}

TEST(Layout, MissingFileOrSelectedTypeFails) {
  EXPECT_EQ(GetScreenRegion(".\\Data\\Screendat\\Nothing.dat", 3), nullptr);
  std::vector<uint8_t> raw = ReadFileBytes(Kit() + "/Data/Screendat/TestScreen.dat");
  ASSERT_FALSE(raw.empty());
  EXPECT_EQ(ParseScreenRegion(raw.data(), (uint32_t)raw.size(), 1u << 12), nullptr);
  ScreenRegion* r = ParseScreenRegion(raw.data(), (uint32_t)raw.size(), 0);
  EXPECT_NE(r, nullptr);
  FreeScreenRegion(r);
  // Through the file layer.
  fs::create_directories("Data/Screendat");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Data/Screendat/T.dat", raw));
  r = GetScreenRegion(".\\Data\\Screendat\\T.dat", 518);
  ASSERT_NE(r, nullptr);
  FreeScreenRegion(r);
}

TEST(Layout, TruncatedOrDamagedFilesFailCleanly) {
  std::vector<uint8_t> raw = ReadFileBytes(Kit() + "/Data/Screendat/TestScreen.dat");
  ASSERT_FALSE(raw.empty());
  for (size_t cut = 0; cut < raw.size(); cut += 7)
    EXPECT_EQ(ParseScreenRegion(raw.data(), (uint32_t)cut, 3), nullptr) << cut;
  // A record count that passes the chunk's end.
  std::vector<uint8_t> bad = raw;
  ASSERT_EQ(std::string(bad.begin() + 12, bad.begin() + 16), "RT00");
  PutBE16(bad.data() + 22, 999);
  EXPECT_EQ(ParseScreenRegion(bad.data(), (uint32_t)bad.size(), 0), nullptr);
  // A gadget chunk with the wrong record size.
  bad = raw;
  PutBE16(bad.data() + 20, 10);
  EXPECT_EQ(ParseScreenRegion(bad.data(), (uint32_t)bad.size(), 0), nullptr);
  // Not a layout at all.
  bad = raw;
  bad[8] = 'X';
  EXPECT_EQ(ParseScreenRegion(bad.data(), (uint32_t)bad.size(), 0), nullptr);
}

// The writer: every pen, runs and literals, odd widths and a chunk of our
// own come back byte for byte through the reader; a cut file fails.
TEST(Ilbm, WriterRoundTripsThroughTheReader) {
  for (uint16_t width : {1, 17, 640}) {
    IlbmPicture pic{};
    pic.width = width;
    pic.height = 9;
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * 9);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i % 7 == 0 ? 255 : (i / 5) * 37);
    pic.pixels = pixels.data();
    pic.masking = ILBM_MASK_TRANSPARENT;
    pic.transparent = 255;
    for (int c = 0; c < 256; ++c) pic.palette[c][0] = pic.palette[c][1] = pic.palette[c][2] = static_cast<uint8_t>(c);
    const char key[] = "abc";  // an odd size: padded
    const IlbmExtraChunk extra{IffId("QTWK"), key, 3};
    uint32_t size = 0;
    uint8_t* data = EncodeIlbm(&pic, &extra, 1, &size);
    ASSERT_NE(data, nullptr);
    IlbmPicture back{};
    ASSERT_EQ(DecodeIlbm(data, size, &back), 1) << width;
    EXPECT_EQ(back.width, width);
    EXPECT_EQ(back.height, 9);
    EXPECT_EQ(back.masking, ILBM_MASK_TRANSPARENT);
    EXPECT_EQ(back.transparent, 255);
    EXPECT_EQ(std::vector<uint8_t>(back.pixels, back.pixels + pixels.size()), pixels);
    EXPECT_EQ(back.palette[200][1], 200);
    FreeIlbm(&back);
    uint32_t form = 0;
    BoundedReader body{};
    ASSERT_EQ(IffOpenForm(data, size, &form, &body), 1);
    IffChunk chunk{};
    ASSERT_EQ(IffFindChunk(body, IffId("QTWK"), &chunk), 1);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(chunk.data), chunk.size), "abc");
    EXPECT_NE(DecodeIlbm(data, size / 2, &back), 1);
    FreeVec(data);
  }
  IlbmPicture empty{};
  uint32_t size = 7;
  EXPECT_EQ(EncodeIlbm(&empty, nullptr, 0, &size), nullptr);
  EXPECT_EQ(size, 0u);
}
