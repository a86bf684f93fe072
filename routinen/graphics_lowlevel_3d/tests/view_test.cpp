// The view without a GL context: copying objects into the VIEW (room,
// overflow, absolute indices, posed and wind-blown points, the copy's own
// record), the camera's setters and matrix, the projection, the depth sort
// and the passes' counts.
#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "routinen/graphics_lowlevel_3d/tests/view_fixture.h"

namespace {

using enginetest::TestObject;

class View : public enginetest::ViewData {};

// --- Camera setters -------------------------------------------------------

TEST_F(View, RotationWrapsAt360AndKeepsNegativeAngles) {
  SetViewRotation(20, 1);
  SetViewRotation(350, 2);
  EXPECT_EQ(Camera()->rotation, 0.0f);
  SetViewRotation(-30, 1);
  EXPECT_EQ(Camera()->rotation, -30.0f);
  SetViewRotation(-400, 2);
  EXPECT_EQ(Camera()->rotation, -430.0f);
  SetViewRotation(360, 1);
  EXPECT_EQ(Camera()->rotation, 0.0f);
  SetViewRotation(359.5f, 1);
  EXPECT_EQ(Camera()->rotation, 359.5f);
  log_.clear();
  SetViewRotation(10, 3);
  EXPECT_EQ(Camera()->rotation, 359.5f);
  EXPECT_TRUE(Logged("SetViewRotation: Fehlerhafte Parameter\xfc" "bergabe.\n"));
}

TEST_F(View, FlipClampsToItsLimits) {
  EXPECT_EQ(Camera()->flip, 30.0f);  // the defaults went through the setter
  SetViewFlip(10, 1);
  EXPECT_EQ(Camera()->flip, 30.0f);
  SetViewFlip(45, 2);
  EXPECT_EQ(Camera()->flip, 75.0f);
  SetViewFlip(45, 2);
  EXPECT_EQ(Camera()->flip, 90.0f);
  Engine()->flip_min = 0;
  SetViewFlip(-5, 1);
  EXPECT_EQ(Camera()->flip, 0.0f);
  log_.clear();
  SetViewFlip(60, 0);
  EXPECT_EQ(Camera()->flip, 0.0f);
  EXPECT_TRUE(Logged("SetViewFlip: Fehlerhafte Parameter\xfc" "bergabe.\n"));
}

TEST_F(View, ScaleClampsAndSetsTheFactorBeforeAndAfterTheSceneIsBuilt) {
  EXPECT_FLOAT_EQ(Camera()->factor, 0.3f * 0.032f);
  SetViewScale(0.1f, 1);
  EXPECT_EQ(Engine()->scale, 0.3f);
  SetViewScale(2, 1);
  EXPECT_FLOAT_EQ(Camera()->factor, 2 * 0.032f);
  SetViewScale(4, 2);
  EXPECT_EQ(Engine()->scale, 5.0f);
  E3D().scene_built = 1;
  SetViewScale(1.5f, 1);
  EXPECT_FLOAT_EQ(Camera()->factor, 1.5f * 0.008f);
  // Any other mode changes nothing but still clamps, without a message.
  log_.clear();
  Engine()->scale = 7;
  SetViewScale(1, 9);
  EXPECT_EQ(Engine()->scale, 5.0f);
  EXPECT_FLOAT_EQ(Camera()->factor, 5 * 0.008f);
  EXPECT_TRUE(log_.empty());
}

TEST_F(View, FogIsClampedIntoTheClipBox) {
  EngineRecord* e = Engine();
  const struct {
    float start, density, want_start, want_density;
  } cases[] = {{0.5f, 0.2f, 0.5f, 0.2f}, {-0.5f, -1, 0, 0}, {1.7f, 3, 1, 1}, {1.0f, 1.0f, 1, 1}};
  for (const auto& c : cases) {
    e->view_fog_start = c.start;
    e->view_fog_density = c.density;
    UpdateFog();
    EXPECT_EQ(e->fog_start, c.want_start) << c.start;
    EXPECT_EQ(e->fog_density, c.want_density) << c.density;
  }
}

TEST_F(View, PositionsAreSetOrAdded) {
  float v[4] = {1, 2, 3, 4};
  SetPostion(v, 1, 1, 1, 1, 2);
  EXPECT_EQ(v[3], 5.0f);
  SetPostion(v, 7, 8, 9, 10, 1);
  EXPECT_EQ(v[0], 7.0f);
  EXPECT_EQ(v[3], 10.0f);
  SetPostion(v, 1, 1, 1, 1, 3);
  EXPECT_EQ(v[0], 7.0f);
  EXPECT_TRUE(Logged("SetPostion: Parmeter\xfc" "bergabe Fehlerhaft.\n"));
  SetPostion(nullptr, 1, 1, 1, 1, 1);
  float w[3] = {0, 0, 0};
  SetV(w, 4, 5, 6);
  EXPECT_EQ(w[2], 6.0f);
  SetV(nullptr, 1, 2, 3);
  EXPECT_TRUE(Logged("SetV: Fehlerhafte Parameter\xfc" "bergabe.\n"));
}

// --- Camera matrix and projection ------------------------------------------

// A point through Ry(rotation), then Rx(flip), then the distance, by hand.
void HandCamera(float rotation, float flip, bool built, const float in[3], double out[3]) {
  const double a = rotation * M_PI / 180, b = flip * M_PI / 180;
  const double x = in[0] * std::cos(a) + in[2] * std::sin(a), y = in[1], z = -in[0] * std::sin(a) + in[2] * std::cos(a);
  out[0] = x;
  out[1] = y * std::cos(b) - z * std::sin(b);
  out[2] = y * std::sin(b) + z * std::cos(b) + (built ? -332.544 : 0.0);
}

TEST_F(View, CameraMatrixTurnsThenTiltsThenStepsBack) {
  Engine()->flip_min = 0;
  const float point[3] = {10, 20, 30};
  for (int built = 0; built <= 1; built++)
    for (float rotation : {0.0f, 38.0f, 90.0f, -120.0f})
      for (float flip : {0.0f, 30.0f, 90.0f}) {
        E3D().scene_built = built;
        SetViewRotation(rotation, 1);
        SetViewFlip(flip, 1);
        BuildCameraMatrix();
        float p[3] = {point[0], point[1], point[2]};
        TransformV(Camera()->matrix, p, 1, sizeof p);
        double want[3];
        HandCamera(rotation, flip, built, point, want);
        for (int k = 0; k < 3; k++) EXPECT_NEAR(p[k], want[k], 1e-3) << rotation << " " << flip << " " << k;
      }
  // Rotation 90 alone takes +x to -z.
  E3D().scene_built = 0;
  SetViewRotation(90, 1);
  SetViewFlip(0, 1);
  BuildCameraMatrix();
  const float* m = Camera()->matrix;
  EXPECT_NEAR(m[0], 0, 1e-6);
  EXPECT_NEAR(m[2], -1, 1e-6);
  EXPECT_NEAR(m[8], 1, 1e-6);
  EXPECT_EQ(m[14], 0.0f);
}

TEST_F(View, ProjectionOfKnownPoints) {
  E3D().scene_built = 1;
  SetViewScale(0.5f, 1);
  SetViewAspect(1.5f);
  const double d = std::sqrt(1920.0 * 1920.0 + 1995.264 * 1995.264) * 0.8, half = d / 2, P = 0.36;
  const double factor = 0.5 * 0.008;
  struct Case {
    float x, y, z;
  } const cases[] = {{100, 50, -300}, {-40, 7, 0}, {0, 0, 800}, {900, -900, -1500}};
  for (int correct = 1; correct >= 0; correct--) {
    Engine()->correct_ratio = uint32_t(correct);
    const double ratio = correct ? 1.5 : 1.0;
    for (const Case& c : cases) {
      float v[3] = {c.x, c.y, c.z};
      ProjectV(v, 1, sizeof v);
      const double z = (half - c.z) / d;
      EXPECT_NEAR(v[2], z, 1e-5);
      EXPECT_NEAR(v[0], -factor * P * c.x / (P - z), 1e-4 * std::fabs(v[0]) + 1e-6);
      EXPECT_NEAR(v[1], -factor * ratio * P * c.y / (P - z), 1e-4 * std::fabs(v[1]) + 1e-6);
    }
  }
  // The aspect given while the correction is off stays 1.0 as well.
  SetViewAspect(2.0f);
  EXPECT_EQ(Camera()->ratio, 1.0f);
  EXPECT_NEAR(Camera()->depth, d, 1e-2);

  // A point on the eye plane (P - z = 0) gives large finite values.
  float eye[3] = {10, 10, float(half - P * d)};
  ProjectV(eye, 1, sizeof eye);
  EXPECT_TRUE(std::isfinite(eye[0]) && std::isfinite(eye[1]));
  EXPECT_GT(std::fabs(eye[0]), 1e3);
  // A stride: only every other vector changes; count 0 and null.
  float pair[6] = {1, 1, 1, 1, 1, 1};
  ProjectV(pair, 1, 6 * sizeof(float));
  EXPECT_EQ(pair[3], 1.0f);
  ProjectV(pair, 0, 12);
  log_.clear();
  ProjectV(nullptr, 3, 12);
  EXPECT_TRUE(Logged("ProjectV: Fehlerhafte Paramteruebergabe 001.\n"));

  // Before the scene is built the projection is parallel.
  E3D().scene_built = 0;
  Engine()->correct_ratio = 1;
  SetViewAspect(1.25f);
  SetViewScale(1, 1);
  float flat[3] = {100, 40, 0};
  ProjectV(flat, 1, sizeof flat);
  EXPECT_FLOAT_EQ(flat[0], -100 * 0.032f);
  EXPECT_FLOAT_EQ(flat[1], -40 * 0.032f * 1.25f);
}

// --- Copying into the VIEW ---------------------------------------------

TEST_F(View, TenThousandPointsFitButNotTenThousandAndOne) {
  TEXTURE3D* t = Texture(24);
  TestObject big;
  for (int i = 0; i < 10000; i++) big.Point(float(i), 0, 0);
  big.Face({0, 1, 2}, t);
  AddObjectToView(big.Record(), 0, 0, 0, 1);
  EXPECT_EQ(V().point_count, 10000);
  big.Point(0, 0, 0);
  AddObjectToView(big.Record(), 0, 0, 0, 1);
  EXPECT_EQ(V().point_count, 10000);
  EXPECT_TRUE(Logged("AddObjectToView: Objekt scheint fehlerhaft zu sein.\n"));
  EXPECT_EQ(LastViewObject()->point_count, 0);  // nothing to move or colour
  EXPECT_EQ(ViewPasses().early_draws, 0u);
  AddObjectToView(nullptr, 0, 0, 0, 1);
  EXPECT_TRUE(Logged("AddObjectToView: Fehlerhafte Paramteruebergabe.\n"));
  // The copy's own record and the VIEW are no sources: a draw would empty them.
  big.points.pop_back();
  AddObjectToView(big.Record(), 0, 0, 0, 1);
  EXPECT_EQ(LastViewObject()->point_count, 10000);
  log_.clear();
  AddObjectToView(LastViewObject(), 0, 0, 0, 1);
  AddObjectToView(ViewObject(), 0, 0, 0, 1);
  EXPECT_EQ(V().point_count, 20000);
  EXPECT_TRUE(Logged("AddObjectToView: Fehlerhafte Paramteruebergabe.\n"));
}

TEST_F(View, EachFullStoreForcesOneEarlyDrawAndTheViewThenHoldsOnlyTheNewObject) {
  struct Case {
    const char* message;
    uint32_t EngineRecord::*cap;
    uint32_t capacity;
    uint32_t small, large;  // triangles of the filling object and of the one that overflows
  } const cases[] = {
      {"VIEW FULL, Zuviele Faces.", &EngineRecord::cap_view_faces, 100, 30, 20},
      {"VIEW FULL, Zuviele Punkte.", &EngineRecord::cap_view_points, 10000 + 300, 30, 20},
      {"VIEW FULL, Zuviele Punkt Indices.", &EngineRecord::cap_view_point_indices, 10000 + 300, 30, 20},
      {"VIEW FULL, Zuviele Centers.", &EngineRecord::cap_view_centres, 100, 30, 20},
  };
  for (const Case& c : cases) {
    InitEngineDefaults();
    Engine()->*c.cap = c.capacity;
    Register();
    textures_.clear();
    TEXTURE3D* t = Texture(32);
    TestObject& fill = Triangles(c.small, t);
    TestObject& over = Triangles(c.large, t);
    log_.clear();
    for (int i = 0; i < 3; i++) AddObjectToView(fill.Record(), 0, 0, 0, 1);
    EXPECT_EQ(ViewPasses().early_draws, 0u) << c.message;
    AddObjectToView(over.Record(), 5, 0, 0, 1);
    EXPECT_EQ(ViewPasses().early_draws, 1u) << c.message;
    EXPECT_EQ(ViewPasses().draws, 1u) << c.message;
    EXPECT_TRUE(Logged(std::string("AddObjectToView: ") + c.message + "\n")) << c.message;
    EXPECT_EQ(V().face_count, int32_t(c.large)) << c.message;
    EXPECT_EQ(V().point_count, int32_t(3 * c.large)) << c.message;
    EXPECT_EQ(V().centre_count, int32_t(c.large)) << c.message;
    EXPECT_EQ(LastViewObject()->first_face, 0u) << c.message;
    EXPECT_EQ(V().points[0].x, 5.0f) << c.message;
  }
}

TEST_F(View, EightyFiveThousandFacesAndSixThousandMoreDrawFirst) {
  TEXTURE3D* t = Texture(24);
  // Many faces over three points.
  auto fan = [&](uint32_t faces) {
    TestObject& o = objects_.emplace_back();
    for (int i = 0; i < 3; i++) o.Point(float(i), float(i % 2), 0);
    for (uint32_t i = 0; i < faces; i++) o.Face({0, 1, 2}, t);
    return o.Record();
  };
  OBJECT3D* thousand = fan(1000);
  for (int i = 0; i < 85; i++) AddObjectToView(thousand, 0, 0, 0, 1);
  EXPECT_EQ(V().face_count, 85000);
  EXPECT_EQ(ViewPasses().early_draws, 0u);
  AddObjectToView(fan(6000), 0, 0, 0, 1);
  EXPECT_EQ(ViewPasses().early_draws, 1u);
  EXPECT_EQ(V().face_count, 6000);
  // Face 65535, the skip face, is never drawn.
  EXPECT_EQ(ViewPasses().opaque_faces, 84999u);
  EXPECT_EQ(ViewPasses().skipped_faces, 1u);
}

TEST_F(View, IndicesBecomeAbsoluteAndFacesFollowTheViewsIndices) {
  TEXTURE3D* t = Texture(24);
  TestObject& a = Triangles(2, t);
  TestObject b;
  for (int i = 0; i < 4; i++) b.Point(float(i), 1, 0);
  b.Face({3, 2, 1, 0}, t);
  b.Face({0, 1, 2}, t);
  AddObjectToView(a.Record(), 0, 0, 0, 1);
  AddObjectToView(b.Record(), 0, 0, 0, 1);
  const OBJECT3D& v = V();
  ASSERT_EQ(v.point_count, 10);
  ASSERT_EQ(v.index_count, 13);
  ASSERT_EQ(v.face_count, 4);
  EXPECT_EQ(v.face_bytes, 4 * sizeof(FACE3D));
  EXPECT_EQ(v.point_bytes, 10 * sizeof(POINT3D));
  EXPECT_EQ(v.index_bytes, 13 * 4u);
  const std::vector<uint32_t> want = {0, 1, 2, 3, 4, 5, 9, 8, 7, 6, 6, 7, 8};
  EXPECT_EQ(std::vector<uint32_t>(v.indices, v.indices + 13), want);
  EXPECT_EQ(v.faces[2].first, 6u);
  EXPECT_EQ(v.faces[3].first, 10u);
  const OBJECT3D* last = LastViewObject();
  EXPECT_EQ(last->first_point, 6u);
  EXPECT_EQ(last->first_index, 6u);
  EXPECT_EQ(last->first_face, 2u);
  EXPECT_EQ(last->points, v.points + 6);
  EXPECT_EQ(last->change_count, 0);
  // The source kept its own numbers.
  EXPECT_EQ(b.indices[0], 3u);
  EXPECT_EQ(b.faces[1].first, 4u);
}

TEST_F(View, AnObjectWithoutIndicesUsesItsPointsInOrder) {
  TEXTURE3D* t = Texture(24);
  TestObject o;
  for (int i = 0; i < 3; i++) o.Point(float(i), 0, 0);
  o.faces.push_back(FACE3D{0, 3, 0, t});
  AddObjectToView(Triangles(1, t).Record(), 0, 0, 0, 1);
  AddObjectToView(o.Record(), 0, 0, 0, 1);
  ASSERT_EQ(V().index_count, 6);
  EXPECT_EQ(V().indices[3], 3u);
  EXPECT_EQ(V().indices[5], 5u);
}

TEST_F(View, BrokenObjectsAreRefusedWithoutTouchingTheView) {
  TEXTURE3D* t = Texture(24);
  AddObjectToView(Triangles(1, t).Record(), 0, 0, 0, 1);
  const int32_t points = V().point_count;
  int n = 0;
  auto refused = [&](TestObject& o, OBJECT3D* r) {
    log_.clear();
    // A line of its own before each case: the log cuts short a long run of
    // identical lines, and each case must show its refusal.
    DebugLog("View-Test: kaputtes Objekt %d", ++n);
    AddObjectToView(r, 0, 0, 0, 1);
    EXPECT_TRUE(Logged("AddObjectToView: Objekt scheint fehlerhaft zu sein.\n"));
    EXPECT_EQ(V().point_count, points);
    EXPECT_EQ(V().face_count, 1);
  };
  TestObject bad_index = Triangles(1, t);
  bad_index.indices[1] = 3;  // one past its points
  refused(bad_index, bad_index.Record());
  TestObject bad_face = Triangles(1, t);
  bad_face.faces[0].points = 4;  // runs past its indices
  refused(bad_face, bad_face.Record());
  TestObject negative = Triangles(1, t);
  OBJECT3D* r = negative.Record();
  r->face_count = -1;
  refused(negative, r);
  TestObject many = Triangles(1, t);
  r = many.Record();
  r->face_count = 10001;
  refused(many, r);
  TestObject no_points = Triangles(1, t);
  r = no_points.Record();
  r->points = nullptr;
  refused(no_points, r);
  // More indices than the index store takes.
  TestObject fan;
  for (int i = 0; i < 3; i++) fan.Point(float(i), 0, 0);
  for (int i = 0; i < 320001; i++) fan.indices.push_back(uint32_t(i % 3));
  fan.faces.push_back(FACE3D{0, 3, 0, t});
  refused(fan, fan.Record());
}

TEST_F(View, VertexChangesPoseTheCopyOnly) {
  TEXTURE3D* t = Texture(24);
  TestObject& o = Triangles(1, t);
  o.changes.push_back(VERTEXCHANGE3D{1, 32767, 0, 16384});
  o.changes.push_back(VERTEXCHANGE3D{9, 1, 1, 1});  // no such point
  OBJECT3D* r = o.Record();
  r->min[0] = -10, r->min[1] = 2, r->min[2] = 0;
  r->max[0] = 10, r->max[1] = 4, r->max[2] = 100;
  AddObjectToView(r, 0, 0, 0, 1);
  const POINT3D& p = V().points[1];
  EXPECT_FLOAT_EQ(p.x, 10.0f);
  EXPECT_FLOAT_EQ(p.y, 2.0f);
  EXPECT_NEAR(p.z, 50.0f, 0.01f);
  EXPECT_EQ(V().points[0].x, 0.0f);
  EXPECT_EQ(o.points[1].x, 1.0f);
  // The posed copy is moved (it has no vertex changes of its own).
  AddObjectToView(r, 1, 1, 1, 1);
  EXPECT_FLOAT_EQ(V().points[4].x, 11.0f);
}

TEST_F(View, WindMovesOnlySelectedPointsByTheirHeightSquared) {
  TEXTURE3D* t = Texture(24);
  TestObject o;
  o.Point(0, 0, 0);
  o.Point(1, 2, 0);
  o.Point(2, 3, 0);
  o.Face({0, 1, 2}, t);
  OBJECT3D* r = o.Record();
  r->first_point = 5;
  auto* select = static_cast<uint8_t*>(GetThing(THING_SELECT3D, kThingBase));
  for (int i = 0; i < 7; i++) *static_cast<uint8_t*>(GetThing(THING_SELECT3D, kThingAppend)) = 0;
  select = static_cast<uint8_t*>(GetThing(THING_SELECT3D, kThingBase));
  select[6] = 1;  // the second point
  E3D().wind[0] = 0.1f;
  E3D().wind[1] = -0.2f;
  Engine()->wind_on = 1;
  AddObjectToView(r, 0, 0, 0, 1);
  EXPECT_FLOAT_EQ(V().points[1].x, 1.0f + 4 * 0.1f);
  EXPECT_FLOAT_EQ(V().points[1].z, 4 * -0.2f);
  EXPECT_EQ(V().points[2].x, 2.0f);
  EXPECT_EQ(V().points[0].z, 0.0f);
  EXPECT_EQ(o.points[1].x, 1.0f);
  // Beyond the selection's end nothing sways; without wind nothing does.
  r->first_point = 6;
  AddObjectToView(r, 0, 0, 0, 1);
  EXPECT_FLOAT_EQ(V().points[3].x, 0.0f);
  EXPECT_FLOAT_EQ(V().points[4].x, 1.0f);
  Engine()->wind_on = 0;
  r->first_point = 5;
  AddObjectToView(r, 0, 0, 0, 1);
  EXPECT_EQ(V().points[7].x, 1.0f);
}

TEST_F(View, ChangesToTheLastViewObjectReachTheCopyNotTheSource) {
  TEXTURE3D* t = Texture(32);
  TestObject& o = Triangles(2, t);
  AddObjectToView(o.Record(), 0, 0, 0, 1);
  AddObjectToView(o.Record(), 10, 20, 30, 2);
  OBJECT3D* last = LastViewObject();
  EXPECT_EQ(last->first_centre, 2u);
  EXPECT_FLOAT_EQ(V().points[10].x, 2 * 2 + 10.0f);  // the second triangle's second point
  EXPECT_FLOAT_EQ(V().centres[3].z, 30.0f);
  EXPECT_FLOAT_EQ(last->max[1], 20.0f);
  const uint8_t red[4] = {255, 0, 0, 255};
  SetObjectRGBA(last, red);
  TransalateObejct(last, 0, 0, 5);
  EXPECT_EQ(V().points[6].rgba[1], 0);
  EXPECT_EQ(V().points[0].rgba[1], 255);
  EXPECT_EQ(o.points[0].rgba[1], 255);
  EXPECT_FLOAT_EQ(V().points[6].z, 35.0f);
  EXPECT_FLOAT_EQ(V().centres[2].z, 35.0f);
  EXPECT_EQ(o.points[0].z, 0.0f);
  EXPECT_EQ(o.centres[0].z, 0.0f);
}

TEST_F(View, ResizeTranslateScalesThenMoves) {
  float v[6] = {1, 2, 3, 4, 5, 6};
  ResizeTranslateV(v, 2, 1, 0, -1, 2, 3 * sizeof(float));
  EXPECT_EQ(std::vector<float>(v, v + 6), (std::vector<float>{3, 4, 5, 9, 10, 11}));
  ResizeTranslateV(v, 1, 1, 1, 1, 1, 12);
  EXPECT_EQ(v[0], 4.0f);
  ResizeTranslateV(nullptr, 1, 1, 1, 1, 1, 12);
  EXPECT_TRUE(Logged("ResizeTranslateV: Fehlerhafte Paramteruebergabe.\n"));
  SizeTranslateObject(nullptr, 1, 0, 0, 1);
  EXPECT_TRUE(Logged("SizeTranslateObject: Fehlerhafte Paramteruebergabe.\n"));
  // An object with vertex changes keeps its points; its box moves.
  TestObject& o = Triangles(1, Texture(24));
  o.changes.push_back(VERTEXCHANGE3D{0, 0, 0, 0});
  OBJECT3D* r = o.Record();
  SizeTranslateObject(r, 5, 5, 5, 1);
  EXPECT_EQ(o.points[1].x, 1.0f);
  EXPECT_EQ(r->min[0], 5.0f);
}

// --- Depth sort ------------------------------------------------------------

// Equal keys: the later entry first, as a stable sort of the reversed input.
std::vector<SORT3D> Reference(std::vector<SORT3D> v) {
  std::reverse(v.begin(), v.end());
  std::stable_sort(v.begin(), v.end(), [](const SORT3D& a, const SORT3D& b) { return a.key < b.key; });
  return v;
}

TEST_F(View, MergeSortMatchesAStableSortWithTheLaterOfEqualKeysFirst) {
  std::mt19937 rng(71);
  std::vector<uint32_t> sizes;
  for (uint32_t n = 0; n <= 1000; n++) sizes.push_back(n);
  sizes.push_back(80000);
  for (uint32_t n : sizes) {
    std::vector<SORT3D> in(n), tmp(n);
    for (uint32_t i = 0; i < n; i++) in[i] = SORT3D{i, float(rng() % (n / 8 + 2)) * 0.5f - 3};
    const std::vector<SORT3D> want = Reference(in);
    std::vector<SORT3D> work = in;
    SORT3D* out = MergeSortKeys(work.data(), tmp.data(), n);
    if (n == 0) {
      EXPECT_EQ(out, work.data());
      continue;
    }
    // Runs of 3, merged pairwise, alternate the buffers: an even number of
    // merge passes leaves the result in the temporary one.
    uint32_t passes = 0;
    for (uint64_t w = 3; w < n; w *= 2) passes++;
    EXPECT_EQ(out, passes % 2 == 0 ? tmp.data() : work.data()) << n;
    for (uint32_t i = 0; i < n; i++) {
      ASSERT_EQ(out[i].face, want[i].face) << "n " << n << " at " << i;
      ASSERT_EQ(out[i].key, want[i].key);
    }
  }
  // Ties inside one run of three and across runs.
  std::vector<SORT3D> ties = {{0, 1}, {1, 1}, {2, 0}, {3, 1}, {4, 0}}, tmp(5);
  SORT3D* out = MergeSortKeys(ties.data(), tmp.data(), 5);
  std::vector<uint32_t> order;
  for (int i = 0; i < 5; i++) order.push_back(out[i].face);
  EXPECT_EQ(order, (std::vector<uint32_t>{4, 2, 3, 1, 0}));
}

TEST_F(View, SortFaceCentersTakesTheTransparentFacesOnly) {
  TEXTURE3D* clear = Texture(32);
  TEXTURE3D* solid = Texture(24);
  TestObject o;
  for (int i = 0; i < 3; i++) o.Point(float(i), 0, float(i));
  o.Face({0, 1, 2}, clear);
  o.Face({0, 1, 2}, solid);
  o.Face({2, 1, 0}, clear);
  o.Face({1, 2, 0}, clear);
  o.centres = {{0, 0, 5}, {0, 0, 1}};  // one centre short: the last face takes its first point's z
  AddObjectToView(o.Record(), 0, 0, 0, 1);
  uint32_t n = 0;
  const SORT3D* s = SortFaceCenters(&n);
  ASSERT_EQ(n, 3u);
  EXPECT_EQ(s[0].face, 3u);
  EXPECT_EQ(s[0].key, 1.0f);
  EXPECT_EQ(s[1].face, 2u);
  EXPECT_EQ(s[2].face, 0u);
  EXPECT_EQ(s[2].key, 5.0f);
}

TEST_F(View, SortStopsAtTheCentreCapacity) {
  Engine()->cap_view_centres = 4;
  Register();
  TestObject& o = Triangles(4, Texture(32));
  AddObjectToView(o.Record(), 0, 0, 0, 1);
  o.centres.clear();  // a second copy without centres
  AddObjectToView(o.Record(), 0, 0, 0, 1);
  uint32_t n = 0;
  SortFaceCenters(&n);
  EXPECT_EQ(n, 4u);
  EXPECT_TRUE(Logged("SortFaceCenters: Too many V Centers.\n"));
}

// --- Passes without a context ------------------------------------------------

TEST_F(View, DrawViewCountsItsPassesAndEmptiesTheView) {
  TEXTURE3D* solid = Texture(24);
  TEXTURE3D* clear = Texture(32);
  TEXTURE3D* sky = Texture(24, 3);
  TestObject o;
  for (int i = 0; i < 60; i++) o.Point(float(i), 0, 0);
  o.Face({0, 1, 2}, solid);
  o.Face({0, 1, 2}, solid);
  o.Face({0, 1, 2}, clear);
  o.Face({0, 1, 2}, sky);
  o.Face({0, 1, 2}, nullptr);
  std::vector<uint32_t> particles(60);
  for (uint32_t i = 0; i < 60; i++) particles[i] = i;
  o.Face(particles, solid, 4);
  o.centres = {{0, 0, 0}};
  E3D().skip_face = 1;
  AddObjectToView(o.Record(), 0, 0, 0, 1);
  log_.clear();
  DrawView();
  ViewPassInfo p = ViewPasses();
  EXPECT_EQ(p.opaque_faces, 1u);
  EXPECT_EQ(p.skipped_faces, 1u);
  EXPECT_EQ(p.blended_faces, 1u);
  EXPECT_EQ(p.sky_faces, 0u);
  EXPECT_EQ(p.particle_ranges, 1u);
  EXPECT_EQ(p.untextured_faces, 1u);
  EXPECT_TRUE(Logged("DrawView: Face <4> im VIEW hat keine Texur.\n"));
  ASSERT_EQ(p.pass_count, 3u);
  EXPECT_EQ(p.pass[0], kPassOpaque);
  EXPECT_EQ(p.pass[1], kPassBlended);
  EXPECT_EQ(p.pass[2], kPassParticles);
  EXPECT_EQ(V().face_count, 0);
  EXPECT_EQ(V().point_count, 0);
  EXPECT_STREQ(V().name, "VIEW");

  Engine()->sky_on = 1;
  ResetViewPasses();
  AddObjectToView(o.Record(), 0, 0, 0, 1);
  DrawView();
  p = ViewPasses();
  EXPECT_EQ(p.sky_faces, 1u);
  ASSERT_EQ(p.pass_count, 4u);
  EXPECT_EQ(p.pass[2], kPassSky);
  EXPECT_EQ(p.pass_mode[2], 3);
}

}  // namespace
