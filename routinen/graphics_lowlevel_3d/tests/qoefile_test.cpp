// Model files: the writer's files read back into the stores field by field
// after other content, "OPGL" and "FORM" pixel order, a second load of the
// same file, season folders, and hostile files (every truncation, every
// changed header byte, broken ranges, pictures that do not decode) that
// leave every store as it was.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "routinen/graphics_lowlevel_3d/tests/model_fixture.h"
#include "routinen/system/byteorder.h"

namespace {

using enginetest::Bytes;
using enginetest::ExpectPointersResolved;
using enginetest::FullModel;

void WriteFile(const std::string& path, const Bytes& b) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path().empty()
                                          ? std::filesystem::path(".")
                                          : std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

// The bytes of every store's elements.
std::vector<Bytes> Snapshot() {
  std::vector<Bytes> s;
  for (uint16_t key : {THING_OBJECT3D, THING_FACE3D, THING_POINT3D, THING_TEXTURE3D, THING_ANIMATION3D, THING_FRAME3D,
                       THING_ELEMENT3D, THING_PINDEX3D, THING_VERTEXCHANGE3D}) {
    const ThingSlot* t = FindThingSlot(key);
    s.emplace_back(t->data, t->data + size_t(t->count) * t->element_size);
  }
  return s;
}

class ModelFile : public enginetest::ModelData {
 protected:
  // Content before the file: a texture and an object with one face.
  void OtherContent() {
    ASSERT_EQ(CreateTexture("", "", 2, 2, 24, "other", nullptr), 0);
    ASSERT_EQ(NewObject("Before", 0), 0);
    ASSERT_EQ(NewFace(0), 0);
    for (int i = 0; i < 3; i++) ASSERT_GE(NewPoint(float(i), 0, 0, 0, 0, 0, 0, 0), 0);
  }
  // Loads bytes that must be refused: -1 and every store byte as before.
  void ExpectRefused(const Bytes& file, const std::string& what) {
    const std::vector<Bytes> before = Snapshot();
    const uint32_t before_textures = N(THING_TEXTURE3D);
    EXPECT_EQ(LoadQOEMemory(file.data(), uint32_t(file.size()), "bad.qoe"), -1) << what;
    EXPECT_EQ(N(THING_TEXTURE3D), before_textures) << what;
    EXPECT_TRUE(Snapshot() == before) << what;
  }
};

TEST_F(ModelFile, EveryRecordOfEveryChunkTypeArrivesRebasedAndResolved) {
  OtherContent();
  const datakit::QoeModel m = FullModel();
  WriteFile("model.qoe", datakit::WriteQoe(m, false));
  const uint32_t tex0 = N(THING_TEXTURE3D), pt0 = N(THING_POINT3D), pi0 = N(THING_PINDEX3D), fa0 = N(THING_FACE3D);
  const uint32_t ob0 = N(THING_OBJECT3D), vc0 = N(THING_VERTEXCHANGE3D), an0 = N(THING_ANIMATION3D);
  const uint32_t fr0 = N(THING_FRAME3D), el0 = N(THING_ELEMENT3D);
  ASSERT_EQ(LoadQOE("model.qoe"), int32_t(ob0));
  EXPECT_TRUE(Logged("LoadQOE: Loading model.qoe"));
  EXPECT_TRUE(Logged("LoadQOE: < JPEG> 8/24 Bit Texture!"));
  EXPECT_TRUE(Logged("LoadQOE: < JPEG> 32 Bit Texture muss auch noch geladen werden."));
  EXPECT_FALSE(std::filesystem::exists("temp.jpg"));
  EXPECT_FALSE(std::filesystem::exists("temp_alpha.jpg"));

  ASSERT_EQ(N(THING_TEXTURE3D), tex0 + 6);
  for (uint32_t i = 0; i < 6; i++) {
    const datakit::QoeTexture& w = m.textures[i];
    const TEXTURE3D* t = At<TEXTURE3D>(THING_TEXTURE3D, tex0 + i);
    SCOPED_TRACE(w.name);
    EXPECT_STREQ(t->name, w.name.c_str());
    EXPECT_STREQ(t->file, w.file.c_str());
    EXPECT_EQ(t->width, w.width);
    EXPECT_EQ(t->height, w.height);
    EXPECT_EQ(t->depth, w.bits);
    const size_t bytes = size_t(w.width) * w.height * (w.bits / 8);
    Bytes want = w.pixels;
    if (w.picture == datakit::QoeTexture::kJpeg) {
      // What the decoder makes of the same JPEGs, alpha interleaved.
      const uint32_t n = uint32_t(w.width) * w.height;
      Bytes colour(n * (w.bits == 8 ? 1 : 3)), alpha(n);
      JpegImage c{colour.data(), w.width, w.height, uint16_t(w.bits == 8 ? 8 : 24)};
      ASSERT_EQ(DecodeJpeg(w.jpeg.data(), uint32_t(w.jpeg.size()), &c), 1);
      want = colour;
      if (w.bits == 32) {
        JpegImage a{alpha.data(), w.width, w.height, 8};
        ASSERT_EQ(DecodeJpeg(w.jpeg_alpha.data(), uint32_t(w.jpeg_alpha.size()), &a), 1);
        want.assign(size_t(n) * 4, 0);
        MakeRGBA(want.data(), colour.data(), alpha.data(), n);
      }
    }
    ASSERT_EQ(want.size(), bytes);
    EXPECT_EQ(std::memcmp(t->pixels, want.data(), bytes), 0);
  }
  ASSERT_EQ(N(THING_POINT3D), pt0 + 10);
  for (uint32_t i = 0; i < 10; i++) {
    const POINT3D* p = At<POINT3D>(THING_POINT3D, pt0 + i);
    const datakit::QoePoint& w = m.points[i];
    EXPECT_EQ(p->u, w.u);
    EXPECT_EQ(p->v, w.v);
    EXPECT_EQ(std::memcmp(p->rgba, w.rgba, 4), 0);
    EXPECT_EQ(p->x, w.x);
    EXPECT_EQ(p->y, w.y);
    EXPECT_EQ(p->z, w.z);
  }
  ASSERT_EQ(N(THING_PINDEX3D), pi0 + 10);
  for (uint32_t i = 0; i < 10; i++) EXPECT_EQ(*At<PINDEX3D>(THING_PINDEX3D, pi0 + i), m.indices[i]);
  ASSERT_EQ(N(THING_VERTEXCHANGE3D), vc0 + 3);
  for (uint32_t i = 0; i < 3; i++) {
    const VERTEXCHANGE3D* v = At<VERTEXCHANGE3D>(THING_VERTEXCHANGE3D, vc0 + i);
    EXPECT_EQ(v->point, m.changes[i].point);
    EXPECT_EQ(v->x, m.changes[i].x);
    EXPECT_EQ(v->y, m.changes[i].y);
    EXPECT_EQ(v->z, m.changes[i].z);
  }
  ASSERT_EQ(N(THING_FACE3D), fa0 + 3);
  for (uint32_t i = 0; i < 3; i++) {
    const FACE3D* f = At<FACE3D>(THING_FACE3D, fa0 + i);
    EXPECT_EQ(f->first, m.faces[i].first);
    EXPECT_EQ(f->points, m.faces[i].points);
    EXPECT_EQ(f->texture_index, tex0 + m.faces[i].texture);
    EXPECT_EQ(f->texture, At<TEXTURE3D>(THING_TEXTURE3D, tex0 + m.faces[i].texture));
  }
  ASSERT_EQ(N(THING_OBJECT3D), ob0 + 3);
  for (uint32_t i = 0; i < 3; i++) {
    const OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, ob0 + i);
    const datakit::QoeObject& w = m.objects[i];
    EXPECT_EQ(std::string(o->name), w.name.substr(0, 39));
    EXPECT_EQ(o->first_face, fa0 + w.first_face);
    EXPECT_EQ(o->face_count, int32_t(w.face_count));
    EXPECT_EQ(o->face_bytes, w.face_count * sizeof(FACE3D));
    EXPECT_EQ(o->first_point, pt0 + w.first_point);
    EXPECT_EQ(o->point_count, int32_t(w.point_count));
    EXPECT_EQ(o->point_bytes, w.point_count * 24u);
    EXPECT_EQ(o->first_index, pi0 + w.first_index);
    EXPECT_EQ(o->index_count, int32_t(w.index_count));
    EXPECT_EQ(o->index_bytes, w.index_count * 4u);
    EXPECT_EQ(o->first_change, vc0 + w.first_change);
    EXPECT_EQ(o->change_count, int32_t(w.change_count));
    EXPECT_EQ(o->change_bytes, w.change_count * 8u);
    EXPECT_EQ(o->centre_count, 0);
    EXPECT_EQ(o->centres, nullptr);
    EXPECT_EQ(std::memcmp(o->matrix, w.matrix, 64), 0);
    EXPECT_EQ(std::memcmp(o->min, w.min, 12), 0);
    EXPECT_EQ(std::memcmp(o->max, w.max, 12), 0);
    EXPECT_EQ(o->level, w.level);
    EXPECT_EQ(o->spare, 0);
  }
  ASSERT_EQ(N(THING_ANIMATION3D), an0 + 1);
  const ANIMATION3D* a = At<ANIMATION3D>(THING_ANIMATION3D, an0);
  EXPECT_STREQ(a->name, "Wave");
  EXPECT_EQ(a->last_frame, 20u);
  EXPECT_EQ(a->first_frame, fr0);
  EXPECT_EQ(a->frame_count, 3u);
  EXPECT_EQ(a->kind, 2);
  ASSERT_EQ(N(THING_FRAME3D), fr0 + 3);
  const uint16_t keys[3] = {THING_OBJECT3D, THING_ANIMATION3D, THING_FRAME3D};
  const uint32_t targets[3] = {ob0 + 1, an0, fr0};
  for (uint32_t i = 0; i < 3; i++) {
    const FRAME3D* f = At<FRAME3D>(THING_FRAME3D, fr0 + i);
    const datakit::QoeFrame& w = m.frames[i];
    EXPECT_EQ(f->number, w.number);
    EXPECT_EQ(f->target_key, keys[i]);
    EXPECT_EQ(f->target_index, targets[i]);
    EXPECT_EQ(f->flags & 1, 1);
    EXPECT_EQ(std::memcmp(f->matrix, w.pose.matrix, 64), 0);
    EXPECT_EQ(std::memcmp(f->rotation, w.pose.rotation, 12), 0);
    EXPECT_EQ(std::memcmp(f->scale, w.pose.scale, 12), 0);
    EXPECT_EQ(std::memcmp(f->translation, w.pose.translation, 12), 0);
  }
  ASSERT_EQ(N(THING_ELEMENT3D), el0 + 1);
  const ELEMENT3D* e = At<ELEMENT3D>(THING_ELEMENT3D, el0);
  EXPECT_EQ(e->frame.number, 7);
  EXPECT_EQ(e->frame.target_key, THING_ANIMATION3D);
  EXPECT_EQ(e->frame.target_index, an0);
  EXPECT_EQ(e->factor, 1.0f);
  EXPECT_EQ(std::memcmp(e->frame.matrix, m.elements[0].pose.matrix, 64), 0);
  EXPECT_EQ(std::memcmp(e->frame.translation, m.elements[0].pose.translation, 12), 0);
  EXPECT_EQ(SceneModels()->elements_present, 1);
  EXPECT_EQ(SceneModels()->objects_changed, 1);
  ExpectPointersResolved();
}

TEST_F(ModelFile, FormKeepsRawPixelsAndOpglSwapsRedAndBlue) {
  const datakit::QoeModel m = FullModel();
  Bytes form = datakit::WriteQoe(m, true);
  ASSERT_EQ(LoadQOEMemory(form.data(), uint32_t(form.size()), "form.qoe"), 0);
  const TEXTURE3D* t = At<TEXTURE3D>(THING_TEXTURE3D, 0);
  EXPECT_EQ(std::memcmp(t->pixels, m.textures[0].pixels.data(), m.textures[0].pixels.size()), 0);
  // The same bytes as "OPGL": every pixel's first and third byte change place.
  Register(16);
  std::memcpy(form.data(), "OPGL", 4);
  ASSERT_EQ(LoadQOEMemory(form.data(), uint32_t(form.size()), "opgl.qoe"), 0);
  for (uint32_t k : {0u, 2u}) {
    const TEXTURE3D* s = At<TEXTURE3D>(THING_TEXTURE3D, k);
    const Bytes& src = m.textures[k].pixels;
    const uint32_t bpp = s->depth / 8;
    for (size_t i = 0; i < src.size(); i += bpp) {
      ASSERT_EQ(s->pixels[i], src[i + 2]);
      ASSERT_EQ(s->pixels[i + 1], src[i + 1]);
      ASSERT_EQ(s->pixels[i + 2], src[i]);
      if (bpp == 4) {
        ASSERT_EQ(s->pixels[i + 3], src[i + 3]);
      }
    }
  }
  EXPECT_EQ(std::memcmp(At<TEXTURE3D>(THING_TEXTURE3D, 1)->pixels, m.textures[1].pixels.data(), 16), 0);  // 8 bits
}

TEST_F(ModelFile, ASecondLoadReusesTexturesAndAppendsGeometry) {
  const Bytes file = datakit::WriteQoe(FullModel(), false);
  ASSERT_EQ(LoadQOEMemory(file.data(), uint32_t(file.size()), "a.qoe"), 0);
  const uint32_t textures = N(THING_TEXTURE3D), points = N(THING_POINT3D);
  At<TEXTURE3D>(THING_TEXTURE3D, 0)->pixels[0] ^= 0xFF;  // a reused texture is not filled again
  const uint8_t mark = At<TEXTURE3D>(THING_TEXTURE3D, 0)->pixels[0];
  EXPECT_EQ(LoadQOEMemory(file.data(), uint32_t(file.size()), "a.qoe"), 3);
  EXPECT_EQ(N(THING_TEXTURE3D), textures);
  EXPECT_EQ(N(THING_POINT3D), points * 2);
  EXPECT_EQ(N(THING_OBJECT3D), 6u);
  EXPECT_EQ(At<TEXTURE3D>(THING_TEXTURE3D, 0)->pixels[0], mark);
  for (uint32_t i = 0; i < 3; i++)
    EXPECT_EQ(At<FACE3D>(THING_FACE3D, 3 + i)->texture_index, At<FACE3D>(THING_FACE3D, i)->texture_index);
  ExpectPointersResolved();
}

// A texture the file defines without a picture shows the test pattern; one
// whose picture follows holds that picture alone, however the buffer was set up.
TEST_F(ModelFile, TexturesWithoutAPictureShowTheTestPattern) {
  datakit::QoeModel m = FullModel();
  datakit::QoeTexture bare;
  bare.name = "bare";
  bare.file = "bmp/bare.jpg";
  bare.width = 5;
  bare.height = 3;
  bare.bits = 32;
  m.textures.push_back(bare);
  const Bytes file = datakit::WriteQoe(m, false);
  ASSERT_EQ(LoadQOEMemory(file.data(), uint32_t(file.size()), "p.qoe"), 0);
  const uint32_t last = N(THING_TEXTURE3D) - 1;
  const TEXTURE3D* t = At<TEXTURE3D>(THING_TEXTURE3D, last);
  ASSERT_STREQ(t->name, "bare");
  for (uint32_t y = 0; y < 3; y++)
    for (uint32_t x = 0; x < 5; x++) {
      const uint8_t* px = t->pixels + (y * 5 + x) * 4;
      EXPECT_EQ(px[0], x);
      EXPECT_EQ(px[1], y);
      EXPECT_EQ(px[2], 255 - x);
      EXPECT_EQ(px[3], 255 - y);
    }
}

TEST_F(ModelFile, SeasonFoldersOnlyWhileLoading) {
  const char* folders[8] = {"", "qoe-spring/", "qoe-summer/", "qoe-autumn/", "qoe-winter/", "qoe-old/", "", ""};
  char path[64];
  for (uint16_t season = 0; season < 8; season++) {
    Engine()->season = season;
    SceneModels()->loading = 1;
    MakeSeasonPath(path, sizeof path, "Hex.qoe");
    EXPECT_EQ(std::string(path), std::string(folders[season]) + "Hex.qoe") << season;
    SceneModels()->loading = 0;
    MakeSeasonPath(path, sizeof path, "Hex.qoe");
    EXPECT_STREQ(path, "Hex.qoe");
  }
  MakeSeasonPath(path, 8, "a-long-name.qoe");
  EXPECT_STREQ(path, "a-long-");
  // The season folder is where LoadQOE looks.
  Engine()->season = 2;
  SceneModels()->loading = 1;
  WriteFile("qoe-summer/m.qoe", datakit::WriteQoe(FullModel(), true));
  EXPECT_EQ(LoadQOE("m.qoe"), 0);
  SceneModels()->loading = 0;
  EXPECT_EQ(LoadQOE("m.qoe"), -1);
  EXPECT_TRUE(Logged("LoadQOE: Konnte Datei <m.qoe> nicht laden."));
  EXPECT_EQ(LoadQOE(nullptr), -1);
  EXPECT_TRUE(Logged("LoadQOE: Fehlerhafte Parameter\xfc" "bergabe."));
}

TEST_F(ModelFile, EveryTruncationAndEveryChangedHeaderByteLoadsWhollyOrNotAtAll) {
  OtherContent();
  const Bytes file = datakit::WriteQoe(FullModel(), false);
  for (size_t n = 0; n < file.size(); n++) ExpectRefused(Bytes(file.begin(), file.begin() + long(n)), "cut");
  // The file header and every chunk header.
  std::vector<size_t> headers;
  for (size_t i = 0; i < 20; i++) headers.push_back(i);
  for (size_t pos = 20; pos + 20 <= file.size();) {
    for (size_t i = 0; i < 20; i++) headers.push_back(pos + i);
    uint32_t bytes = 0;
    std::memcpy(&bytes, &file[pos + 16], 4);
    pos += 20 + bytes;
  }
  int loaded = 0;
  for (size_t at : headers)
    for (uint8_t x : {0x01, 0x10, 0x80, 0xFF}) {
      Bytes bad = file;
      bad[at] ^= x;
      const uint32_t objects = N(THING_OBJECT3D);
      const std::vector<Bytes> before = Snapshot();
      const int32_t r = LoadQOEMemory(bad.data(), uint32_t(bad.size()), "bad.qoe");
      if (r == -1) {
        ASSERT_TRUE(Snapshot() == before) << at << " " << int(x);
      } else {
        ASSERT_EQ(r, int32_t(objects));
        ExpectPointersResolved();
        loaded++;
      }
    }
  EXPECT_GT(loaded, 0);  // bytes nobody reads
}

TEST_F(ModelFile, BrokenRangesPicturesAndNamesAreRefusedOrCut) {
  OtherContent();
  using datakit::QoeModel;
  auto refused = [&](void (*edit)(QoeModel&), const char* what) {
    QoeModel m = FullModel();
    edit(m);
    ExpectRefused(datakit::WriteQoe(m, false), what);
  };
  refused([](QoeModel& m) { m.faces[0].texture = 6; }, "face texture");
  refused([](QoeModel& m) { m.faces[1].first = 1; }, "face past its object's indices");
  refused([](QoeModel& m) { m.indices[4] = 3; }, "index past its object's points");
  refused([](QoeModel& m) { m.objects[2].point_count = 4; }, "object past the points");
  refused([](QoeModel& m) { m.objects[0].first_change = 3, m.objects[0].change_count = 1; }, "changes");
  refused([](QoeModel& m) { m.animations[0].frame_count = 4; }, "animation past the frames");
  refused([](QoeModel& m) { m.frames[0].target_kind = 30009; }, "frame kind");
  refused([](QoeModel& m) { m.frames[1].target = 1; }, "frame target");
  refused([](QoeModel& m) { m.elements[0].animation = 1; }, "element animation");
  refused([](QoeModel& m) { m.textures[0].pixels.pop_back(); }, "picture size");
  refused([](QoeModel& m) { m.textures[2].bits = 16; }, "depth");
  refused([](QoeModel& m) { m.textures[3].jpeg.resize(40); }, "JPEG that does not decode");
  refused([](QoeModel& m) { m.textures[5].jpeg_alpha.resize(30); }, "alpha JPEG that does not decode");
  refused([](QoeModel& m) { m.textures.resize(513, m.textures[1]); }, "513 textures");
  EXPECT_TRUE(Logged("LoadQOE: Datei <bad.qoe> ist fehlerhaft (Flaeche mit falscher Textur)."));
  EXPECT_TRUE(Logged("LoadQOE: Datei <bad.qoe> konnte nicht geladen werden."));

  // A 32-bit JPEG's partner missing from the chunks.
  Bytes file = datakit::WriteQoe(FullModel(), false);
  uint32_t chunks = GetLE32(&file[12]);
  PutLE32(&file[12], chunks - 1);
  ExpectRefused(file, "partner");
  // An unknown chunk after good ones.
  file = datakit::WriteQoe(FullModel(), false);
  datakit::PutQoeChunkHeader(file, "XXGL", 0, 0, 0);
  PutLE32(&file[12], GetLE32(&file[12]) + 1);
  ExpectRefused(file, "unknown chunk");
  EXPECT_TRUE(Logged("LoadQoE: Unbekannten Chunk gefunden: <0x5858474c> "));
  file[0] = 'X';
  ExpectRefused(file, "magic");
  EXPECT_TRUE(Logged("LoadQOE: Unebkanntes Fileformat."));

  // Names without a NUL are cut at the end of their fields.
  datakit::QoeModel m = FullModel();
  m.animations[0].name = std::string(60, 'A');
  m.textures[0].file = std::string(300, 'F');
  file = datakit::WriteQoe(m, false);
  for (size_t i = 0; i + 4 <= file.size(); i++)
    if (std::memcmp(&file[i], "ANGL", 4) == 0) file[i + 20 + 39] = 'A';
  for (size_t i = 0; i + 4 <= file.size(); i++)
    if (std::memcmp(&file[i], "TXGL", 4) == 0) {
      std::memset(&file[i + 20], 'N', 40);
      std::memset(&file[i + 20 + 40], 'F', 264);
      break;
    }
  const uint32_t tex0 = N(THING_TEXTURE3D);
  ASSERT_GE(LoadQOEMemory(file.data(), uint32_t(file.size()), "names.qoe"), 0);
  EXPECT_EQ(std::string(At<ANIMATION3D>(THING_ANIMATION3D, 0)->name), std::string(39, 'A'));
  EXPECT_EQ(std::string(At<TEXTURE3D>(THING_TEXTURE3D, tex0)->name), std::string(39, 'N'));
  EXPECT_EQ(std::string(At<TEXTURE3D>(THING_TEXTURE3D, tex0)->file), std::string(255, 'F'));
}

}  // namespace
