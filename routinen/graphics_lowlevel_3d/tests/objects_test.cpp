// Objects and matrices: the matrix rules against hand-computed values,
// vertex changes, resizing with target sizes, bounds, rotation, building
// objects point by point (pixel texture coordinates, store growth), face
// centres and the merge of a hierarchy into one object.
#include <cmath>

#include "routinen/graphics_lowlevel_3d/tests/model_fixture.h"

namespace {

using enginetest::Bytes;
using enginetest::ExpectPointersResolved;
using Objects = enginetest::ModelData;

struct V3 {
  float x, y, z;
};

V3 Apply(const float m[16], V3 p) {
  TransformV(m, &p, 1, sizeof p);
  return p;
}

void ExpectNear(V3 a, V3 b, const char* what) {
  EXPECT_NEAR(a.x, b.x, 1e-5) << what;
  EXPECT_NEAR(a.y, b.y, 1e-5) << what;
  EXPECT_NEAR(a.z, b.z, 1e-5) << what;
}

TEST_F(Objects, MatricesFollowTheirSlotsAndOrder) {
  float m[16], a[16], b[16];
  struct Case {
    void (*make)(float*, float);
    V3 in, out;
    const char* what;
  } const rotations[] = {
      {SetMrx, {0, 1, 0}, {0, 0, 1}, "x: y to z"},
      {SetMry, {1, 0, 0}, {0, 0, -1}, "y: x to -z"},
      {SetMry, {0, 0, 1}, {1, 0, 0}, "y: z to x"},
      {SetMrz, {1, 0, 0}, {0, 1, 0}, "z: x to y"},
  };
  for (const Case& c : rotations) {
    c.make(m, 90);
    ExpectNear(Apply(m, c.in), c.out, c.what);
  }
  SetMry(m, 30);
  EXPECT_FLOAT_EQ(m[10], std::cos(float(M_PI) / 6));
  EXPECT_FLOAT_EQ(m[0], std::cos(float(M_PI) / 6));
  EXPECT_FLOAT_EQ(m[8], 0.5f);
  EXPECT_FLOAT_EQ(m[2], -0.5f);
  SetMt(a, 1, 0, 0);
  SetMs(b, 2, 2, 2);
  MatrixMul(a, b, m);  // a first, then b
  ExpectNear(Apply(m, {1, 1, 1}), {4, 2, 2}, "translate then scale");
  MatrixMul(a, b, a);  // the product may overwrite a
  ExpectNear(Apply(a, {1, 1, 1}), {4, 2, 2}, "in place");
  const float rot[3] = {90, 90, 0}, one[3] = {1, 1, 1}, none[3] = {0, 0, 0};
  MatrixRST(m, rot, one, none);  // about x first, then y
  ExpectNear(Apply(m, {0, 1, 0}), {1, 0, 0}, "x then y");
  const float ry[3] = {0, 90, 0}, s[3] = {2, 1, 1}, t[3] = {10, 0, 0};
  MatrixRST(m, ry, s, t);
  ExpectNear(Apply(m, {1, 0, 0}), {10, 0, -1}, "rotate, scale, move");
  ExpectNear(Apply(m, {0, 0, 1}), {12, 0, 0}, "rotate, scale, move");

  // The hierarchy: level 2, then 1, then 0.
  SetMt(m, 100, 0, 0);
  UpdateHierachy(m, 0);
  SetMs(m, 2, 2, 2);
  UpdateHierachy(m, 1);
  SetMt(m, 0, 1, 0);
  UpdateHierachy(m, 2);
  V3 p[2] = {{1, 0, 0}, {1, 0, 0}};
  TransformHierarchyV(&p[0], 1, 2, sizeof(V3));
  TransformHierarchyV(&p[1], 1, 1, sizeof(V3));
  ExpectNear(p[0], {102, 2, 0}, "level 2");
  ExpectNear(p[1], {102, 0, 0}, "level 1");
  UpdateHierachy(m, 4);
  EXPECT_TRUE(Logged("UpdateHierachy: Fehlerhafte Paramter\xfc" "bergabe."));
  SetMr(nullptr, 1, 0, 0, 0, 0);
  TransformV(nullptr, p, 1, 12);
  TransformV(m, nullptr, 1, 12);
  MatrixRST(m, nullptr, one, none);
  EXPECT_TRUE(Logged("SetMr:Fehlerhafte Paramteruebergabe."));
  EXPECT_TRUE(Logged("TransformV: Fehlerhafte Paramter\xfc" "bergabe 001."));
  EXPECT_TRUE(Logged("TransformV: Fehlerhafte Paramter\xfc" "bergabe 002."));
  EXPECT_TRUE(Logged("MatrixRST: Fehlerhafte Paramteruebergabe."));
}

TEST_F(Objects, VertexChangesReplacePositionsAndTheLastOneWins) {
  const Bytes file = datakit::WriteQoe(enginetest::FullModel(), true);
  ASSERT_EQ(LoadQOEMemory(file.data(), uint32_t(file.size()), "m.qoe"), 0);
  const OBJECT3D* hand = At<OBJECT3D>(THING_OBJECT3D, 2);  // indices 0, 2, 1; box (-1, -2, -3) .. (1, 2, 3)
  float p[3];
  PfromPINum(hand, 2, p);  // point 1: two changes, the second wins
  EXPECT_FLOAT_EQ(p[0], 100.0f * 2 / 32767 - 1);
  EXPECT_FLOAT_EQ(p[1], 200.0f * 4 / 32767 - 2);
  EXPECT_FLOAT_EQ(p[2], 300.0f * 6 / 32767 - 3);
  PfromPINum(hand, 0, p);  // point 0: no change
  EXPECT_EQ(p[0], hand->points[0].x);
  EXPECT_EQ(p[2], hand->points[0].z);
  float min[3] = {9, 9, 9}, max[3];
  const float box[6] = {hand->min[0], hand->min[1], hand->min[2], hand->max[0], hand->max[1], hand->max[2]};
  SetObjectBounds(At<OBJECT3D>(THING_OBJECT3D, 2));
  EXPECT_TRUE(Logged(std::string("Object <") + hand->name + "> Dont SetObjectBounds with VC !"));
  EXPECT_EQ(std::strlen(hand->name), 39u);
  EXPECT_EQ(std::memcmp(box, hand->min, 12), 0);
  EXPECT_EQ(std::memcmp(box + 3, hand->max, 12), 0);
  // Without indices a number is the point's own.
  OBJECT3D flat = *At<OBJECT3D>(THING_OBJECT3D, 0);
  flat.index_count = 0;
  PfromPINum(&flat, 3, p);
  EXPECT_EQ(p[0], flat.points[3].x);
  ObjectMinMax(&flat, min, max);
  EXPECT_EQ(min[0], -3.0f);
  EXPECT_EQ(max[0], 1.5f);
  flat.point_count = 0;
  ObjectMinMax(&flat, min, max);
  EXPECT_EQ(min[0], 0.0f);
  EXPECT_EQ(max[2], 0.0f);
  PfromPINum(nullptr, 0, p);
  EXPECT_TRUE(Logged("PfromPINum: Fehlerhafte Paramter\xfc" "bergabe."));
}

// An object of four points spanning the box (x0, y0, z0) .. (x1, y1, z1).
int32_t Box(float x0, float y0, float z0, float x1, float y1, float z1) {
  const int32_t o = NewObject("Box", 0);
  NewFace(0);
  NewPoint(x0, y0, z0, 0, 0, 0, 0, 0);
  NewPoint(x1, y0, z0, 0, 0, 0, 0, 0);
  NewPoint(x1, y1, z1, 0, 0, 0, 0, 0);
  NewPoint(x0, y1, z1, 0, 0, 0, 0, 0);
  SetObjectBounds(static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(o))));
  return o;
}

TEST_F(Objects, ResizeTargetsTheMeanRuleAndFlatAxes) {
  OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, uint32_t(Box(0, 0, 0, 128, 40, 110.848f)));
  ResizeObject(o, 64, 0, 55.424f, 1);  // factors 0.5, 0.5 (the mean), 0.5
  EXPECT_FLOAT_EQ(o->max[0], 64);
  EXPECT_FLOAT_EQ(o->max[1], 20);
  EXPECT_FLOAT_EQ(o->max[2], 55.424f);
  EXPECT_FLOAT_EQ(o->points[2].y, 20);
  EXPECT_FLOAT_EQ(o->points[2].z, 55.424f);
  // An axis without extent counts as a target of 0: no division by zero.
  o = At<OBJECT3D>(THING_OBJECT3D, uint32_t(Box(0, 5, 0, 10, 5, 30)));
  ResizeObject(o, 20, 7, 0, 1);  // x 2; y flat: mean of 2 and 0 = 1; z: mean of 2 and 1
  EXPECT_FLOAT_EQ(o->max[0], 20);
  EXPECT_FLOAT_EQ(o->points[0].y, 5);
  EXPECT_FLOAT_EQ(o->max[2], 45);
  ResizeObject(o, 0.5f, 2, 1, 0);  // plain factors
  EXPECT_FLOAT_EQ(o->points[1].x, 10);
  EXPECT_FLOAT_EQ(o->points[1].y, 10);
  CenterObject(o, 1, 0, 1);
  EXPECT_FLOAT_EQ(o->min[0], -5);
  EXPECT_FLOAT_EQ(o->max[2], 22.5f);
  EXPECT_FLOAT_EQ(o->points[0].z, -22.5f);
  EXPECT_FLOAT_EQ(o->points[0].y, 10);
  // A zero rotation changes nothing.
  const Bytes before(reinterpret_cast<uint8_t*>(o->points), reinterpret_cast<uint8_t*>(o->points + 4));
  YRotateObject(o, 0);
  EXPECT_TRUE(Logged("YRotateObject: Es gab nicht zu tun."));
  EXPECT_EQ(std::memcmp(before.data(), o->points, before.size()), 0);
  YRotateObject(o, 90);
  EXPECT_NEAR(o->points[1].x, -22.5f, 1e-4);
  EXPECT_NEAR(o->points[1].z, -5.0f, 1e-4);
  for (auto f : {+[] { ResizeObject(nullptr, 1, 1, 1, 0); }, +[] { CenterObject(nullptr, 1, 1, 1); },
                 +[] { TransalateObejct(nullptr, 1, 1, 1); }, +[] { TransformObject(nullptr, nullptr); },
                 +[] { YRotateObject(nullptr, 1); }, +[] { SelectObjectTransPoints(nullptr); }})
    f();
  for (const char* line : {"ResizeObject: Fehelrhafte Parameter\xfc" "bergabe.", "CenterObject: Fehlerhafte Paramter\xfc" "bergabe.",
                           "TransalateObejct: Fehlerhafte Paramter\xfc" "bergabe.", "TransformObject: Fehlerhafet Parameteruebergabe.",
                           "YRotateObject: Fehlerhafte Parameteruebergabe", "SelectObjectTransPoints: Fehlerhfate Paramter\xfc" "bergabe."})
    EXPECT_TRUE(Logged(line)) << line;
}

TEST_F(Objects, PointsByPixelColoursCentresAndGrowthKeepPointers) {
  Register(1);  // every append grows a store
  const int32_t tex = CreateTexture("", "", 64, 32, 32, "leaf", nullptr);
  ReduceTexture(At<TEXTURE3D>(THING_TEXTURE3D, uint32_t(tex)), 2);  // 32 x 16, reduction 2
  ASSERT_EQ(NewObject("Leaf", 0), 0);
  ASSERT_EQ(NewFace(uint16_t(tex)), 0);
  ASSERT_EQ(NewPoint(0, 0, 0, 33, 17, 0, 0, 1), 0);
  NewPoint(4, 0, 0, 0, 0, 0.25f, 0.75f, 0);
  NewPoint(4, 2, 6, 0, 0, 0, 0, 0);
  NewFace(99);  // no such texture: skipped by every walk over faces
  NewPoint(-8, 0, 0, 0, 0, 0, 0, 0);
  const OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, 0);
  EXPECT_EQ(o->point_count, 4);
  EXPECT_EQ(o->index_count, 4);
  EXPECT_EQ(o->face_count, 2);
  EXPECT_EQ(o->point_bytes, 96u);
  EXPECT_EQ(o->points[0].u, 16.0f / 32);  // (33 / 2) / 32
  EXPECT_EQ(o->points[0].v, 8.0f / 16);
  EXPECT_EQ(o->points[1].u, 0.25f);
  EXPECT_EQ(o->points[1].v, 0.75f);
  EXPECT_EQ(o->points[2].rgba[3], 255);
  EXPECT_EQ(At<FACE3D>(THING_FACE3D, 1)->first, 3u);
  EXPECT_EQ(At<FACE3D>(THING_FACE3D, 1)->texture, nullptr);
  EXPECT_EQ(*At<PINDEX3D>(THING_PINDEX3D, 3), 3u);
  EXPECT_EQ(SceneModels()->centres_dirty, 1);
  ExpectPointersResolved();

  MakeFaceCenters();  // one centre: the 32-bit face
  o = At<OBJECT3D>(THING_OBJECT3D, 0);
  ASSERT_EQ(o->centre_count, 1);
  EXPECT_EQ(o->centre_bytes, 12u);
  EXPECT_EQ(o->centres[0].x, 2);
  EXPECT_EQ(o->centres[0].y, 1);
  EXPECT_EQ(o->centres[0].z, 3);
  EXPECT_EQ(SceneModels()->centres_dirty, 0);
  TransalateObejct(At<OBJECT3D>(THING_OBJECT3D, 0), 1, 1, 1);
  EXPECT_EQ(o->centres[0].x, 3);

  SelectObjectTransPoints(At<OBJECT3D>(THING_OBJECT3D, 0));
  for (uint32_t i = 0; i < 3; i++) EXPECT_EQ(*At<SELECT3D>(THING_SELECT3D, i), 1) << i;
  EXPECT_TRUE(N(THING_SELECT3D) == 3 || *At<SELECT3D>(THING_SELECT3D, 3) == 0);

  uint8_t c[4] = {10, 20, 30, 255};
  SetObjectRGBA(At<OBJECT3D>(THING_OBJECT3D, 0), c);
  EXPECT_EQ(o->points[3].rgba[1], 20);
  const uint8_t other[4] = {11, 0, 255, 0};
  MixRGBA(c, other);
  EXPECT_EQ(c[0], 10);
  EXPECT_EQ(c[2], 142);
  EXPECT_EQ(c[3], 127);
  NewObject("Empty", 0);
  SetObjectRGBA(At<OBJECT3D>(THING_OBJECT3D, 1), c);
  EXPECT_TRUE(Logged("SetObjectRGBA: Dem Object fehlen point Daten."));
  SetPointXYZ(nullptr, 0, 0, 0);
  EXPECT_TRUE(Logged("SetPointXYZ: Fehlerhafte Paramteruebergabe."));
  ExpectPointersResolved();
}

TEST_F(Objects, MakeOneObjectTransformsEachLevelAndShrinksTheStore) {
  datakit::QoeModel m = enginetest::FullModel();
  m.changes.clear();
  m.objects[2].change_count = 0;
  m.animations.clear();
  m.frames.clear();
  m.elements.clear();
  SetMt(m.objects[0].matrix, 100, 0, 0);
  SetMs(m.objects[1].matrix, 2, 2, 2);
  SetMt(m.objects[2].matrix, 0, 1, 0);
  ASSERT_EQ(Box(0, 0, 0, 1, 1, 1), 0);  // an object before the file stays as it is
  const Bytes file = datakit::WriteQoe(m, true);
  const int32_t first = LoadQOEMemory(file.data(), uint32_t(file.size()), "h.qoe");
  ASSERT_EQ(first, 1);
  ASSERT_EQ(MakeOneObject(uint32_t(first)), 1);
  EXPECT_EQ(N(THING_OBJECT3D), 2u);
  const OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, 1);
  EXPECT_EQ(o->face_count, 3);
  EXPECT_EQ(o->point_count, 10);
  EXPECT_EQ(o->index_count, 10);
  EXPECT_EQ(o->face_bytes, 3 * sizeof(FACE3D));
  EXPECT_EQ(o->point_bytes, 240u);
  EXPECT_EQ(o->index_bytes, 40u);
  float identity[16];
  SetMi(identity);
  EXPECT_EQ(std::memcmp(o->matrix, identity, 64), 0);
  float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
  for (uint32_t i = 0; i < 10; i++) {
    const datakit::QoePoint& p = m.points[i];
    V3 want{p.x + 100, p.y, p.z};                                    // root
    if (i >= 4 && i < 7) want = {2 * p.x + 100, 2 * p.y, 2 * p.z};   // level 1
    if (i >= 7) want = {2 * p.x + 100, 2 * (p.y + 1), 2 * p.z};      // level 2 under 1
    ExpectNear({o->points[i].x, o->points[i].y, o->points[i].z}, want, "point");
    lo[0] = std::min(lo[0], want.x), hi[0] = std::max(hi[0], want.x);
  }
  EXPECT_NEAR(o->min[0], lo[0], 1e-4);
  EXPECT_NEAR(o->max[0], hi[0], 1e-4);
  // Faces and indices now count within the merged object.
  EXPECT_EQ(o->faces[1].first, 4u);
  EXPECT_EQ(o->faces[2].first, 7u);
  for (uint32_t i = 0; i < 10; i++) EXPECT_EQ(o->indices[i], m.indices[i] + (i >= 7 ? 7 : i >= 4 ? 4 : 0));
  EXPECT_EQ(SceneModels()->centres_dirty, 1);
  ExpectPointersResolved();

  // Objects whose arrays do not follow each other are refused.
  ASSERT_EQ(Box(0, 0, 0, 1, 1, 1), 2);
  ASSERT_EQ(Box(0, 0, 0, 2, 2, 2), 3);
  At<OBJECT3D>(THING_OBJECT3D, 3)->first_point -= 1;
  EXPECT_EQ(MakeOneObject(2), 0);
  EXPECT_TRUE(Logged("MakeOneObject: Die Objekte liegen nicht hintereinander."));
  EXPECT_EQ(N(THING_OBJECT3D), 4u);
  Register(4);
  EXPECT_EQ(MakeOneObject(0), 0);
  EXPECT_TRUE(Logged("MakeOneObject: Es gibt keine Objekte."));
}

}  // namespace
