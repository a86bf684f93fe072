// The scene's generated things on the CPU: flat quads and overlay rectangles
// in pixel mode, the overlay's size, particles and their respawn, smoke,
// rain and snow steps, the fire ring and its cellular heat picture, the
// cloud sky and the barriers.
#include <cmath>
#include <filesystem>

#include "routinen/graphics_lowlevel_3d/tests/model_fixture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class Effects : public enginetest::ModelData {
 protected:
  void SetUp() override {
    ModelData::SetUp();
    InitViewPresets();
    SeedSceneRandom(1);
    E3D().frame_time = 0;
  }
  void TearDown() override {
    E3D().frame_time = 0;
    MapFree();
    ModelData::TearDown();
  }
  static void CopyKit() {
    fs::copy(qoe_test::BinaryDir() + "/datakit/bmp", "bmp",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  static OBJECT3D* Obj(int32_t i) { return At<OBJECT3D>(THING_OBJECT3D, uint32_t(i)); }
  // The point of index number n of an object.
  static const POINT3D& Pt(const OBJECT3D* o, uint32_t n) { return o->points[o->indices[n]]; }
  static void ExpectPoint(const POINT3D& p, float x, float y, float z, float u, float v) {
    EXPECT_FLOAT_EQ(p.x, x);
    EXPECT_FLOAT_EQ(p.y, y);
    EXPECT_FLOAT_EQ(p.z, z);
    EXPECT_FLOAT_EQ(p.u, u);
    EXPECT_FLOAT_EQ(p.v, v);
  }
  // A particle object of n points at height y each.
  OBJECT3D* Particles(uint32_t n, float y) {
    const int32_t i = MakeParticles("P", n, 0.0f, y, 0.0f, 4);
    return Obj(i);
  }
};

TEST_F(Effects, RandomNumbersAreFifteenBitFractionsAndFollowTheSeed) {
  SeedSceneRandom(77);
  std::vector<float> a;
  for (int i = 0; i < 1000; i++) a.push_back(SceneRandom());
  SeedSceneRandom(77);
  float low = 1, high = 0;
  for (int i = 0; i < 1000; i++) {
    const float r = SceneRandom();
    EXPECT_EQ(r, a[size_t(i)]);
    EXPECT_GE(r, 0.0f);
    EXPECT_LT(r, 1.0f);
    EXPECT_EQ(r * 32768.0f, std::floor(r * 32768.0f));
    low = std::min(low, r);
    high = std::max(high, r);
  }
  EXPECT_LT(low, 0.01f);
  EXPECT_GT(high, 0.99f);
}

TEST_F(Effects, AddQuadTakesPixelPositionsAndSizesInPlaceOfZeros) {
  const int32_t t = CreateTexture("", "", 64, 32, 32, "quad", nullptr);
  ASSERT_GE(t, 0);
  const int32_t o = MakeFlatObject("Flat", 1, 2, 0, 0, uint16_t(t), 8, 4, 16, 8);
  ASSERT_GE(o, 0);
  const OBJECT3D* q = Obj(o);
  EXPECT_STREQ(q->name, "Flat");
  ASSERT_EQ(q->face_count, 1);
  ASSERT_EQ(q->point_count, 4);
  EXPECT_EQ(q->faces[0].texture_index, t);
  ExpectPoint(Pt(q, 0), 1, 2, 0, 8 / 64.0f, 4 / 32.0f);
  ExpectPoint(Pt(q, 1), 17, 2, 0, 23 / 64.0f, 4 / 32.0f);
  ExpectPoint(Pt(q, 2), 17, -6, 0, 23 / 64.0f, 11 / 32.0f);
  ExpectPoint(Pt(q, 3), 1, -6, 0, 8 / 64.0f, 11 / 32.0f);
  EXPECT_EQ(SceneModels()->centres_dirty, 1);
  // Given sizes stand; a reduced texture takes the full-size picture's pixels.
  At<TEXTURE3D>(THING_TEXTURE3D, uint32_t(t))->reduction = 2;
  At<TEXTURE3D>(THING_TEXTURE3D, uint32_t(t))->width = 32;
  At<TEXTURE3D>(THING_TEXTURE3D, uint32_t(t))->height = 16;
  AddQuad(0, 0, 5, 3, uint16_t(t), 8, 4, 16, 8);
  q = Obj(o);
  ASSERT_EQ(q->face_count, 2);
  ExpectPoint(Pt(q, 4), 0, 0, 0, 4 / 32.0f, 2 / 16.0f);
  ExpectPoint(Pt(q, 6), 5, -3, 0, 11 / 32.0f, 5 / 16.0f);
}

TEST_F(Effects, AddGuiRectShowsThePictureUprightWithoutItsLastRowAndColumn) {
  const int32_t t = CreateTexture("", "", 512, 512, 32, "gui", nullptr);
  NewObject("G", 0);
  AddGuiRect(10, 185, 0.02f, uint16_t(t), 22, 134, 56, 206);
  const OBJECT3D* g = Obj(0);
  ASSERT_EQ(g->point_count, 4);
  ExpectPoint(Pt(g, 0), 10, 185, 0.02f, 22 / 512.0f, 338 / 512.0f);
  ExpectPoint(Pt(g, 1), 66, 185, 0.02f, 76 / 512.0f, 338 / 512.0f);
  ExpectPoint(Pt(g, 2), 66, 391, 0.02f, 76 / 512.0f, 134 / 512.0f);
  ExpectPoint(Pt(g, 3), 10, 391, 0.02f, 22 / 512.0f, 134 / 512.0f);
}

TEST_F(Effects, TheOverlaySpansTwoByTwoUnitsAndTheSecondHasTwoPanelsMore) {
  CopyKit();
  const int32_t gui = MakeGui();
  ASSERT_GE(gui, 0);
  const OBJECT3D* g = Obj(gui);
  EXPECT_STREQ(g->name, "Gui");
  EXPECT_EQ(g->face_count, 6);
  float min[3], max[3];
  ObjectMinMax(g, min, max);
  EXPECT_FLOAT_EQ(min[0], 0);
  EXPECT_FLOAT_EQ(min[1], 0);
  EXPECT_FLOAT_EQ(max[0], 2);
  EXPECT_FLOAT_EQ(max[1], 2);
  EXPECT_FLOAT_EQ(min[2], 0.02f);
  EXPECT_FLOAT_EQ(max[2], 0.02f);
  const OBJECT3D* g2 = Obj(gui + 1);
  EXPECT_STREQ(g2->name, "Gui2");
  EXPECT_EQ(g2->face_count, 8);
  const TEXTURE3D* tex = At<TEXTURE3D>(THING_TEXTURE3D, MapScene()->gui_texture);
  EXPECT_STREQ(tex->name, "Gui_tex");
  EXPECT_EQ(tex->width, 512);
  EXPECT_EQ(SceneModels()->overlay, gui);
  // Border face 2, the right edge: from (1024, 0) with pixel (15, 0).
  ExpectPoint(Pt(g, 4), 2, 0, 0.02f, 15 / 512.0f, 0);
  ExpectPoint(Pt(g, 5), 2, 2, 0.02f, 15 / 512.0f, 511 / 512.0f);
  // The second panel of "Gui2" at (294, 0), 312 x 138 from (200, 236).
  ExpectPoint(Pt(g2, 28), 294 / 512.0f, 0, 0.02f, 200 / 512.0f, 372 / 512.0f);
  ExpectPoint(Pt(g2, 30), 606 / 512.0f, 138 / 384.0f, 0.02f, 510 / 512.0f, 236 / 512.0f);
}

TEST_F(Effects, ParticlesAreOneFaceOfWhitePointsThatKeepsTextureZeroAndItsMode) {
  CreateTexture("", "", 4, 4, 24, "first", nullptr);
  const int32_t s = MakeParticles("Smoke", 400, 0, 500, 0, 6);
  ASSERT_GE(s, 0);
  // Stores grew many times on the way (capacity 16): the face still shows texture 0.
  CreateTexture("", "", 4, 4, 24, "second", nullptr);
  for (int i = 0; i < 20; i++) CreateTexture("", "", 4, 4, 32, "more", nullptr);
  const OBJECT3D* o = Obj(s);
  ASSERT_EQ(o->face_count, 1);
  ASSERT_EQ(o->point_count, 400);
  EXPECT_EQ(o->faces[0].points, 400);
  EXPECT_EQ(o->faces[0].texture_index, 6);
  EXPECT_EQ(o->faces[0].texture, ThingAt(THING_TEXTURE3D, 0));
  for (int i = 0; i < 400; i++) {
    EXPECT_EQ(o->points[i].y, 500.0f);
    EXPECT_EQ(o->points[i].rgba[0], 255);
    EXPECT_EQ(o->points[i].rgba[3], 255);
  }
  enginetest::ExpectPointersResolved();
}

TEST_F(Effects, SmokeRespawnsOnlyAboveSeventyInsideItsBoxWithTheWavingColour) {
  OBJECT3D* o = Particles(3, 0);
  const float stays = 70.0f - 0.9f, goes = 69.6f;
  ASSERT_EQ(stays + 0.9f, 70.0f);
  ASSERT_EQ(goes + 0.9f, 70.5f);
  o->points[0].y = stays;
  o->points[0].rgba[3] = 200;
  o->points[1].y = goes;
  o->points[2].y = 10;
  o->points[2].rgba[3] = 5;
  AnimateSmoke(o);
  EXPECT_EQ(o->points[0].y, 70.0f);
  EXPECT_EQ(o->points[0].rgba[3], 194);
  EXPECT_EQ(o->points[2].y, 10.9f);
  EXPECT_EQ(o->points[2].rgba[3], 0);
  // T 0: cos 0 = 1.
  const POINT3D& p = o->points[1];
  EXPECT_EQ(p.rgba[0], 210);
  EXPECT_EQ(p.rgba[1], 210);
  EXPECT_EQ(p.rgba[2], 220);
  EXPECT_EQ(p.rgba[3], 175);
  // Many respawns: the box (3, 30, 3) around (0, 8, 0).
  for (int t = 0; t < 300; t++) {
    E3D().frame_time = t;
    o->points[1].y = 80;
    AnimateSmoke(o);
    EXPECT_GE(p.x, -1.5f);
    EXPECT_LT(p.x, 1.5f);
    EXPECT_GE(p.y, -7.0f);
    EXPECT_LT(p.y, 23.0f);
    EXPECT_GE(p.z, -1.5f);
    EXPECT_LT(p.z, 1.5f);
    const float c = std::cos(float(t) * 90.0f);
    EXPECT_EQ(p.rgba[0], uint8_t(195.0f + 15.0f * c));
    EXPECT_EQ(p.rgba[2], uint8_t(200.0f + 20.0f * c));
    EXPECT_EQ(p.rgba[3], uint8_t(25.0f * c + 150.0f));
  }
}

TEST_F(Effects, ARainHeadAtTheGroundRespawnsWithItsTailAboveAndAgainstTheWind) {
  OBJECT3D* o = Particles(4, 0);
  const float ground = MapScene()->origin[1];
  EXPECT_FLOAT_EQ(ground, -127.0f);
  o->points[0].y = ground;  // exactly at the ground
  o->points[2] = POINT3D{};
  SetPointXYZ(&o->points[2], 10, 0, 20);
  SetPointXYZ(&o->points[3], 8, 12, 18);
  AnimateRain(o);
  const POINT3D& h = o->points[0];
  const POINT3D& t = o->points[1];
  EXPECT_GE(h.x, -300.0f);
  EXPECT_LT(h.x, 300.0f);
  EXPECT_GE(h.y, 25.0f);
  EXPECT_LT(h.y, 75.0f);
  EXPECT_GE(h.z, 38.0f - 300.0f);
  EXPECT_LT(h.z, 38.0f + 300.0f);
  EXPECT_EQ(h.rgba[0], 182);
  EXPECT_EQ(h.rgba[3], 20);
  // The wind blows towards +x and +z (direction (-0.2, 0, -0.2)): the
  // tail trails 12 above, 2.4 back.
  EXPECT_FLOAT_EQ(t.x, h.x - 2.4f);
  EXPECT_FLOAT_EQ(t.y, h.y + 12.0f);
  EXPECT_FLOAT_EQ(t.z, h.z - 2.4f);
  EXPECT_EQ(t.rgba[0], 115);
  EXPECT_EQ(t.rgba[3], 220);
  // A falling pair moves by the velocity (wobble 1.2 at T 0).
  EXPECT_FLOAT_EQ(o->points[2].x, 10.96f);
  EXPECT_FLOAT_EQ(o->points[2].y, -4.0f);
  EXPECT_FLOAT_EQ(o->points[2].z, 20.96f);
  EXPECT_FLOAT_EQ(o->points[3].y, 8.0f);
  // Just above the ground it falls on.
  o->points[0].y = ground + 0.001f;
  const float x0 = o->points[0].x;
  AnimateRain(o);
  EXPECT_FLOAT_EQ(o->points[0].x, x0 + 0.96f);
}

TEST_F(Effects, SnowDriftsWithTheTimeAndRespawnsWhiteBelowTheGround) {
  OBJECT3D* o = Particles(2, 0);
  SetPointXYZ(&o->points[0], 100, 0, 5);
  SetPointXYZ(&o->points[1], 0, -126.5f, 0);
  o->points[1].rgba[0] = 3;
  AnimateSnow(o);  // T 0: c 1, s 0
  EXPECT_FLOAT_EQ(o->points[0].x, 101.5f);
  EXPECT_FLOAT_EQ(o->points[0].y, -1.0f);
  EXPECT_FLOAT_EQ(o->points[0].z, 5.0f);
  EXPECT_GE(o->points[1].y, 25.0f);
  EXPECT_EQ(o->points[1].rgba[0], 255);
  E3D().frame_time = 60;  // T / 60 = 1 radian
  Engine()->snow_speed = 2.0f;
  SetPointXYZ(&o->points[0], -200, 0, 0);  // k = 0: no drift
  SetPointXYZ(&o->points[1], 200, 0, 0);   // k = 2
  AnimateSnow(o);
  EXPECT_FLOAT_EQ(o->points[0].x, -200.0f);
  EXPECT_FLOAT_EQ(o->points[0].y, -2.0f);
  EXPECT_FLOAT_EQ(o->points[1].x, 200.0f + 2.0f * std::cos(1.0f));
  EXPECT_FLOAT_EQ(o->points[1].z, 2.0f * std::sin(1.0f));
}

TEST_F(Effects, TheFireIsSixQuadsInARingOnItsOwnTexture) {
  CopyKit();
  Engine()->half_textures = 2;
  Engine()->mipmapping = 1;
  SceneModels()->loading = 1;
  const int32_t f = MakeFire();
  ASSERT_GE(f, 0);
  EXPECT_EQ(Engine()->half_textures, 1u);
  EXPECT_EQ(Engine()->mipmapping, 0u);
  EXPECT_EQ(SceneModels()->loading, 0);
  const OBJECT3D* o = Obj(f);
  EXPECT_STREQ(o->name, "Fire0");
  EXPECT_EQ(N(THING_OBJECT3D), uint32_t(f) + 1);
  ASSERT_EQ(o->face_count, 6);
  ASSERT_EQ(o->point_count, 24);
  const MapSceneState* m = MapScene();
  EXPECT_STREQ(At<TEXTURE3D>(THING_TEXTURE3D, m->fire_texture)->name, "Fire_tex");
  EXPECT_STREQ(At<TEXTURE3D>(THING_TEXTURE3D, m->fire_palette)->name, "FireModel_tex");
  EXPECT_EQ(At<TEXTURE3D>(THING_TEXTURE3D, m->fire_texture)->width, 128);
  EXPECT_NEAR(o->min[1], -10.0f, 1e-4);
  EXPECT_NEAR(o->max[1], 10.0f, 1e-4);
  // Each face stands 15 from the axis, facing out, the six 60 degrees apart.
  std::vector<float> angles;
  for (int k = 0; k < 6; k++) {
    const FACE3D& face = o->faces[k];
    EXPECT_EQ(face.texture_index, m->fire_texture);
    float cx = 0, cz = 0;
    for (uint32_t i = 0; i < 4; i++) {
      cx += Pt(o, face.first + i).x / 4;
      cz += Pt(o, face.first + i).z / 4;
    }
    EXPECT_NEAR(std::hypot(cx, cz), 15.0f, 1e-3) << k;
    angles.push_back(std::atan2(cx, cz) * 180.0f / float(M_PI));
  }
  for (int k = 1; k < 6; k++) {
    float d = std::fabs(angles[size_t(k)] - angles[0]);
    d = std::fmod(d, 60.0f);
    EXPECT_TRUE(d < 1e-2 || d > 60 - 1e-2) << k << " " << angles[size_t(k)];
  }
  EXPECT_NEAR(std::fabs(angles[3] - angles[0]), 180.0f, 1e-2);
}

TEST_F(Effects, TheFireStepSumsEightNeighboursInPlaceAndReadsColdBelowTheBottom) {
  // A palette texture whose column 11 row r is (r, 2r, 3r, 4r).
  const int32_t pal = CreateTexture("", "", 128, 128, 32, "FireModel_tex", nullptr);
  TEXTURE3D* p = At<TEXTURE3D>(THING_TEXTURE3D, uint32_t(pal));
  for (uint32_t r = 0; r < 128; r++)
    for (uint32_t k = 0; k < 4; k++) p->pixels[(r * 128 + 11) * 4 + k] = uint8_t(r * (k + 1));
  MapScene()->fire_palette = uint16_t(pal);
  // A seed whose first four draws all stay below 0.6 (T 0): a cold bottom row.
  uint32_t seed = 1;
  for (;; seed++) {
    SeedSceneRandom(seed);
    bool cold = true;
    for (int i = 0; i < 4; i++) cold &= SceneRandom() < 0.6f;
    if (cold) break;
  }
  SeedSceneRandom(seed);
  uint8_t heat[16] = {1, 2, 3, 4,  //
                      10, 20, 30, 40,  //
                      4, 3, 0, 16,  //
                      99, 99, 99, 99};
  std::vector<uint8_t> pixels(16 * 4, 0xEE);
  AnimateFireBitmap(4, 4, pixels.data(), heat);
  const uint8_t expect[16] = {1, 2, 3, 4,  //
                              10, 7, 10, 40,  // sums 65 and 93
                              4, 0, 1, 16,    // sums 7 and 16 (in place: the 0 just written)
                              0, 0, 0, 0};
  for (int i = 0; i < 16; i++) EXPECT_EQ(heat[i], expect[i]) << i;
  auto pixel = [&](int x, int y) { return pixels.data() + (y * 4 + x) * 4; };
  EXPECT_EQ(pixel(1, 3)[1], 0);     // value 0: palette row 0
  EXPECT_EQ(pixel(2, 3)[3], 0);     // value 1: row 0
  EXPECT_EQ(pixel(1, 2)[0], 3);     // value 7: row 3
  EXPECT_EQ(pixel(1, 2)[3], 12);
  EXPECT_EQ(pixel(2, 2)[1], 10);    // value 10: row 5
  EXPECT_EQ(pixel(0, 2)[0], 0xEE);  // the edges stay
  EXPECT_EQ(pixel(3, 3)[0], 0xEE);
  EXPECT_EQ(pixel(1, 1)[0], 0xEE);
  // Every draw of a hot bottom row: the left half follows cos(T / 15), the right cos(T / 9).
  E3D().frame_time = 45;  // thresholds 0.4 - 0.198 = 0.202 and 0.4 - 0.2 x 0.801 = 0.24
  SeedSceneRandom(9);
  std::vector<float> draws;
  for (int i = 0; i < 128; i++) draws.push_back(SceneRandom());
  SeedSceneRandom(9);
  std::vector<uint8_t> big(128 * 128, 0), texture(128 * 128 * 4, 0);
  AnimateFireBitmap(128, 128, texture.data(), big.data());
  const float left = std::cos(3.0f) * 0.2f + 0.4f, right = std::cos(5.0f) * 0.2f + 0.4f;
  for (int x = 0; x < 128; x++)
    EXPECT_EQ(big[127 * 128 + x], draws[size_t(x)] >= (x < 64 ? left : right) ? 255 : 0) << x;
}

TEST_F(Effects, CloudsGiveABlackFogTheirAverageAndCutTheirRectanglesByTheReduction) {
  CopyKit();
  Engine()->half_textures = 1;
  Engine()->fog_rgba[0] = Engine()->fog_rgba[1] = Engine()->fog_rgba[2] = 0;
  const int32_t sky = MakeClouds();
  ASSERT_GE(sky, 0);
  const TEXTURE3D* t = At<TEXTURE3D>(THING_TEXTURE3D, N(THING_TEXTURE3D) - 1);
  EXPECT_STREQ(t->name, "Clouds_tex");
  EXPECT_EQ(t->format, 3);
  uint64_t sum[3] = {0, 0, 0};
  for (uint32_t i = 0; i < 256 * 64; i++)
    for (int k = 0; k < 3; k++) sum[k] += t->pixels[i * 4 + k];
  for (int k = 0; k < 3; k++) EXPECT_EQ(Engine()->fog_rgba[k], uint8_t(sum[k] / (256 * 64))) << k;
  EXPECT_NE(Engine()->fog_rgba[2], 0);
  EXPECT_EQ(Engine()->fog_rgba[3], 128);
  const OBJECT3D* o = Obj(sky);
  EXPECT_STREQ(o->name, "Sky");
  ASSERT_EQ(o->face_count, 4);
  const float w = 1056.0f, h = 499.2f;
  EXPECT_FLOAT_EQ(MapScene()->sky_width, w);
  EXPECT_FLOAT_EQ(MapScene()->sky_height, h);
  // Centred, four quads side by side overlapping by one unit, y negated:
  // the first point of a quad is its lower edge.
  const float span = 3 * (w - 1) + w;
  EXPECT_NEAR(Pt(o, 0).x, -span / 2, 1e-2);
  EXPECT_NEAR(Pt(o, 0).y, -h / 2, 1e-2);
  EXPECT_NEAR(Pt(o, 2).y, h / 2, 1e-2);
  EXPECT_NEAR(Pt(o, 4).x, -span / 2 + w - 1, 1e-2);
  EXPECT_NEAR(o->min[1], -h / 2, 1e-2);
  EXPECT_NEAR(o->max[1], h / 2, 1e-2);
  ExpectPoint(Pt(o, 0), Pt(o, 0).x, Pt(o, 0).y, 0, 0, 0);
  EXPECT_FLOAT_EQ(Pt(o, 2).u, 255 / 256.0f);
  EXPECT_FLOAT_EQ(Pt(o, 2).v, 127 / 256.0f);
  EXPECT_FLOAT_EQ(Pt(o, 4).v, 128 / 256.0f);
  EXPECT_FLOAT_EQ(Pt(o, 10).v, 127 / 256.0f);
  EXPECT_FLOAT_EQ(Pt(o, 14).v, 255 / 256.0f);

  // At HalfTextures 2 the picture is halved and two pixels of margin stay out;
  // a fog that is not black stays.
  Register(16);
  InitViewPresets();
  Engine()->half_textures = 2;
  Engine()->fog_rgba[0] = 1;
  Engine()->fog_rgba[1] = Engine()->fog_rgba[2] = 0;
  const int32_t sky2 = MakeClouds();
  EXPECT_EQ(Engine()->fog_rgba[0], 1);
  EXPECT_EQ(Engine()->fog_rgba[1], 0);
  const OBJECT3D* o2 = Obj(sky2);
  EXPECT_FLOAT_EQ(Pt(o2, 0).u, 1 / 128.0f);
  EXPECT_FLOAT_EQ(Pt(o2, 0).v, 1 / 128.0f);
  EXPECT_FLOAT_EQ(Pt(o2, 2).u, 126 / 128.0f);
  EXPECT_FLOAT_EQ(Pt(o2, 2).v, 62 / 128.0f);
  EXPECT_FLOAT_EQ(Pt(o2, 4).v, 65 / 128.0f);
}

TEST_F(Effects, TwelveBarriersStandOnTheSixEdgesInTwoBands) {
  const int32_t parts = CreateTexture("", "", 256, 256, 32, "transp_parts", nullptr);
  NewObject("before", 0);
  const int32_t first = MakeBarriers();
  ASSERT_EQ(first, 1);
  EXPECT_EQ(MapScene()->barriers, 1);
  ASSERT_EQ(N(THING_OBJECT3D), 13u);
  const float moves[6][3] = {{-44, 0, 4}, {-17, 0, 40}, {28, 0, 36}, {44, 0, -4}, {17, 0, -40}, {-28, 0, -36}};
  for (int set = 0; set < 2; set++)
    for (int e = 0; e < 6; e++) {
      const OBJECT3D* o = Obj(first + set * 6 + e);
      EXPECT_STREQ(o->name, "Barrier");
      ASSERT_EQ(o->face_count, 2);
      ASSERT_EQ(o->point_count, 8);
      EXPECT_EQ(o->faces[0].texture_index, parts);
      EXPECT_FLOAT_EQ(Pt(o, 0).u, set ? 0.86f : 0.72f);
      EXPECT_FLOAT_EQ(Pt(o, 1).u, set ? 0.995f : 0.84f);
      EXPECT_FLOAT_EQ(Pt(o, 2).v, 0.0f);
      // Face 2's last point (11.66, -0.3, -6.39), scaled by 5, turned by
      // e x 60 degrees about Y and moved.
      float m[16];
      SetMry(m, float(e) * 60.0f);
      float v[3] = {11.66f * 5, -0.3f * 5, -6.39f * 5};
      TransformV(m, v, 1, sizeof v);
      EXPECT_NEAR(Pt(o, 7).x, v[0] + moves[e][0], 1e-3) << set << e;
      EXPECT_NEAR(Pt(o, 7).y, v[1] + moves[e][1], 1e-3);
      EXPECT_NEAR(Pt(o, 7).z, v[2] + moves[e][2], 1e-3);
    }
  // Object 0 unturned: face 1's first point.
  EXPECT_NEAR(Pt(Obj(1), 0).x, 15.78f * 5 - 44, 1e-3);
  EXPECT_NEAR(Pt(Obj(1), 0).z, -1.24f * 5 + 4, 1e-3);
  for (const auto& o : MapScene()->barrier_offsets)
    for (float c : o) EXPECT_EQ(c, 0.0f);
  // Without the texture the faces have none.
  Register(16);
  MakeBarriers();
  EXPECT_TRUE(Logged("MakeBarriers: Textur transp_parts fehlt."));
  EXPECT_EQ(Obj(0)->faces[0].texture, nullptr);
}

}  // namespace

namespace {

TEST_F(Effects, ThePresetsOfTheMapScene) {
  const EngineRecord* e = Engine();
  EXPECT_EQ(e->season, 3);
  EXPECT_EQ(e->night_on, 1u);
  EXPECT_EQ(e->sky_on, 1u);
  EXPECT_EQ(e->wind_on, 1u);
  EXPECT_EQ(e->snow_on, 0u);
  EXPECT_EQ(e->rain_on, 0u);
  EXPECT_EQ(e->old_look_2d, 0u);
  EXPECT_EQ(e->show_barriers, 1u);
  EXPECT_EQ(e->owner_null, -1);
  EXPECT_FLOAT_EQ(e->rain_high, 12.0f);
  EXPECT_FLOAT_EQ(e->rain_speed, 4.0f);
  EXPECT_EQ(E3D().grid_pairs, 20);
  EXPECT_EQ(E3D().grid_rows, 36);
  EXPECT_FLOAT_EQ(E3D().bird_offset[1], 120.0f);
  const MapSceneState* m = MapScene();
  const struct {
    const float* v;
    float x, y, z;
  } vectors[] = {{m->wind_direction, -0.2f, 0, -0.2f}, {m->origin_preset, 77, -127, 13},
                 {m->fire_offset, 0, 10, 0},          {m->overlay_position, -1, -1, 0.55f},
                 {m->smoke_centre, 0, 8, 0},          {m->smoke_box, 3, 30, 3},
                 {m->weather_centre, 0, 50, 38},      {m->weather_box, 600, 50, 600},
                 {m->sky_position, 475, 200, -426.85f}};
  for (const auto& v : vectors) {
    EXPECT_FLOAT_EQ(v.v[0], v.x);
    EXPECT_FLOAT_EQ(v.v[1], v.y);
    EXPECT_FLOAT_EQ(v.v[2], v.z);
  }
  EXPECT_FLOAT_EQ(m->overlay_scale, 1.0f);
  EXPECT_FLOAT_EQ(m->sky_width, 1056.0f);
  EXPECT_FLOAT_EQ(m->sky_height, 499.2f);
  const struct {
    const uint8_t* c;
    uint8_t r, g, b, a;
  } colours[] = {{m->rain_head, 182, 208, 220, 20}, {m->rain_tail, 115, 166, 189, 220},
                 {m->highlight, 255, 200, 180, 255}, {m->snow, 255, 255, 255, 255},
                 {m->smoke, 195, 195, 200, 200},
                 {SceneModels()->water_colour[0], 250, 250, 250, 200},
                 {SceneModels()->water_colour[1], 120, 120, 120, 200},
                 {SceneModels()->water_colour[2], 40, 40, 40, 200}};
  for (const auto& c : colours) {
    EXPECT_EQ(c.c[0], c.r);
    EXPECT_EQ(c.c[1], c.g);
    EXPECT_EQ(c.c[2], c.b);
    EXPECT_EQ(c.c[3], c.a);
  }
  for (int32_t slot : {m->barriers, m->sky, SceneModels()->fire, SceneModels()->overlay, SceneModels()->rain,
                       E3D().bird_entry, E3D().shield_entry})
    EXPECT_EQ(slot, -1);
  EXPECT_EQ(m->fire_texture, kNoTexture);
  EXPECT_EQ(m->gui_texture, kNoTexture);
}

TEST_F(Effects, ResetSceneEmptiesTheStoresAndSwitchesTheWeatherOff) {
  ASSERT_EQ(MapAlloc(), 1u);
  EXPECT_NE(MapScene()->cells, nullptr);
  EXPECT_NE(SceneModels()->hexagons, nullptr);
  EXPECT_NE(E3D().characters, nullptr);
  NewObject("x", 0);
  SceneModels()->hexagons[5].low = Obj(0);
  E3D().characters[0].figure_type = 7;
  E3D().character_count = 1;
  E3D().scene_built = 1;
  Engine()->fog_mode = 3;
  ResetScene();
  EXPECT_EQ(E3D().scene_built, 0);
  EXPECT_EQ(Engine()->fog_mode, 1);
  EXPECT_EQ(Engine()->night_on + Engine()->snow_on + Engine()->rain_on + Engine()->sky_on + Engine()->wind_on, 0u);
  EXPECT_EQ(N(THING_OBJECT3D), 0u);
  EXPECT_EQ(SceneModels()->hexagons[5].low, nullptr);
  EXPECT_EQ(E3D().characters[0].figure_type, 0);
  EXPECT_EQ(E3D().character_count, 0);
  // A build without its tables is refused.
  MapFree();
  EXPECT_EQ(MapScene()->cells, nullptr);
  BuildMapScene(0, 0);
  EXPECT_TRUE(Logged("BuildMapScene: Die Tabellen der Karte fehlen."));
  EXPECT_EQ(E3D().scene_built, 0);
}

}  // namespace
