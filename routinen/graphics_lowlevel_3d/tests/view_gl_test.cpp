// The view's draw passes on a real context (Mesa's software renderer): the
// order and render modes of the passes with the face batch's counters,
// transparent faces blended far to near, depth, fog, and a small scene
// through the camera written to gl3d_view_scene.png.
#include <GL/gl.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/view_fixture.h"
#include "tests/support/test_support.h"

namespace {

using enginetest::TestObject;
constexpr uint32_t kW = 800, kH = 600;

class GLView : public gltest::EngineGL {
 protected:
  void Capacities(EngineRecord* e) override {
    e->half_textures = 1;
    e->mipmapping = 0;
    e->antialias = 0;
    e->cap_view_points = 20000;
    e->cap_view_point_indices = 20000;
  }
  void SetUp() override {
    EngineGL::SetUp();
    InitView();
    glViewport(0, 0, kW, kH);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    glDisable(GL_ALPHA_TEST);
  }
  // A solid texture of one colour, uploaded (32 bits: blended pass).
  uint32_t Solid(uint32_t rgb, uint8_t alpha, uint16_t depth, uint16_t format = 0) {
    const int32_t i = CreateTexture("", "", 4, 4, depth, "solid", nullptr);
    auto* t = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, uint32_t(i)));
    const uint32_t bpp = depth / 8;
    for (uint32_t p = 0; p < 16; p++) {
      t->pixels[p * bpp] = uint8_t(rgb >> 16);
      t->pixels[p * bpp + 1] = uint8_t(rgb >> 8);
      t->pixels[p * bpp + 2] = uint8_t(rgb);
      if (bpp == 4) t->pixels[p * bpp + 3] = alpha;
    }
    UploadTexture(t);
    if (format) t->format = format;
    return uint32_t(i);
  }
  static TEXTURE3D* Tex(uint32_t i) { return static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i)); }
  // A quad from (x0, y0) to (x1, y1) at depth z, with a centre when the
  // texture is transparent.
  TestObject& Quad(float x0, float y0, float x1, float y1, float z, uint32_t texture) {
    TestObject& o = objects_.emplace_back();
    const uint32_t a = o.Point(x0, y0, z), b = o.Point(x1, y0, z), c = o.Point(x1, y1, z), d = o.Point(x0, y1, z);
    o.points[b].u = o.points[c].u = 1;
    o.points[c].v = o.points[d].v = 1;
    o.Face({a, b, c, d}, Tex(texture));
    if (Tex(texture)->format == 2) o.centres.push_back(CENTER3D{(x0 + x1) / 2, (y0 + y1) / 2, z});
    o.Record();
    return o;
  }
  // Vertices are already in screen terms: x, y in -1 .. 1, z the depth 0 .. 1.
  static void ScreenTerms() {
    Camera()->transform = 0;
    Camera()->project = 0;
  }
  static uint32_t Pixel(const std::vector<uint32_t>& f, float x, float y) {
    const uint32_t px = uint32_t((x + 1) / 2 * kW), py = uint32_t((1 - y) / 2 * kH);
    return f[size_t(py) * kW + px];
  }
  static void ExpectNear(uint32_t got, const double want[3], int tolerance, const char* what) {
    for (int k = 0; k < 3; k++)
      EXPECT_NEAR(int((got >> (16 - 8 * k)) & 0xFF), want[k], tolerance) << what << " channel " << k;
  }
  std::deque<TestObject> objects_;
};

TEST_F(GLView, PassesRunInOrderWithTheirModesAndCounts) {
  const uint32_t grass = Solid(0x30A030, 255, 24), glass = Solid(0x2040F0, 128, 32), mist = Solid(0xF0F020, 100, 32);
  const uint32_t sky = Solid(0x80C0FF, 255, 24, 3);
  ScreenTerms();
  TestObject scene;
  for (int i = 0; i < 60; i++) scene.Point(-0.9f + 0.03f * float(i), float(i % 2) * 0.1f, 0.5f);
  scene.Face({0, 1, 2}, Tex(grass));
  scene.Face({2, 3, 4}, Tex(grass));
  scene.Face({0, 1, 2}, Tex(glass));
  scene.Face({4, 5, 6}, Tex(mist));
  scene.Face({6, 7, 8}, Tex(sky));
  std::vector<uint32_t> particles(60);
  for (uint32_t i = 0; i < 60; i++) particles[i] = i;
  scene.Face(particles, Tex(grass), 6);  // large points
  scene.centres = {{0, 0, 0.4f}, {0, 0, 0.6f}};
  for (int sky_on = 0; sky_on <= 1; sky_on++) {
    Engine()->sky_on = uint32_t(sky_on);
    ResetViewPasses();
    const BatchInfo before = FaceBatchInfo();
    AddObjectToView(scene.Record(), 0, 0, 0, 1);
    DrawView();
    const ViewPassInfo p = ViewPasses();
    const BatchInfo after = FaceBatchInfo();
    const std::vector<uint8_t> passes(p.pass, p.pass + std::min(p.pass_count, 4u));
    const std::vector<uint16_t> modes(p.pass_mode, p.pass_mode + std::min(p.pass_count, 4u));
    if (sky_on) {
      EXPECT_EQ(passes, (std::vector<uint8_t>{kPassOpaque, kPassBlended, kPassSky, kPassParticles}));
      EXPECT_EQ(modes, (std::vector<uint16_t>{1, 2, 3, 1}));
    } else {
      EXPECT_EQ(passes, (std::vector<uint8_t>{kPassOpaque, kPassBlended, kPassParticles}));
      EXPECT_EQ(modes, (std::vector<uint16_t>{1, 2, 1}));
    }
    EXPECT_EQ(p.opaque_faces, 2u);
    EXPECT_EQ(p.blended_faces, 2u);
    EXPECT_EQ(p.sky_faces, sky_on ? 1u : 0u);
    EXPECT_EQ(p.particle_ranges, 1u);
    // Every batched face was tested; one flush for the grass, one per
    // transparent texture, one for the sky.
    EXPECT_EQ(after.faces_tested - before.faces_tested, sky_on ? 5u : 4u);
    EXPECT_EQ(after.flushes - before.flushes, sky_on ? 4u : 3u);
    // The particle range ran in its own mode: large points, 10 x scale.
    GLfloat size = 0;
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_FLOAT_EQ(size, 10 * Engine()->scale);
    EXPECT_EQ(ViewObject()->face_count, 0);
  }
  // The skip face is never drawn; a face without a texture is reported.
  E3D().skip_face = 0;
  scene.faces[1].texture = nullptr;
  ResetViewPasses();
  log_.clear();
  AddObjectToView(scene.Record(), 0, 0, 0, 1);
  DrawView();
  EXPECT_EQ(ViewPasses().opaque_faces, 0u);
  EXPECT_EQ(ViewPasses().skipped_faces, 1u);
  EXPECT_EQ(ViewPasses().untextured_faces, 1u);
  EXPECT_TRUE(Logged("DrawView: Face <1> im VIEW hat keine Texur.\n"));
}

TEST_F(GLView, TransparentFacesBlendFarToNearAndOpaqueFacesHideFartherOnes) {
  Engine()->fog_mode = 0;
  UpdateFog();
  const uint32_t red = Solid(0xFF0000, 128, 32), blue = Solid(0x0000FF, 128, 32);
  const uint32_t green = Solid(0x00FF00, 255, 24), grey = Solid(0x808080, 255, 24);
  ScreenTerms();
  // Added near first: the sort puts the far one first.
  AddObjectToView(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0.4f, blue).Record(), 0, 0, 0, 1);
  AddObjectToView(Quad(-0.8f, -0.8f, 0.2f, 0.2f, 0.6f, red).Record(), 0, 0, 0, 1);
  // An opaque near quad, and a farther opaque one added after it.
  AddObjectToView(Quad(0.6f, 0.6f, 0.95f, 0.95f, 0.3f, green).Record(), 0, 0, 0, 1);
  AddObjectToView(Quad(0.55f, 0.55f, 0.99f, 0.99f, 0.7f, grey).Record(), 0, 0, 0, 1);
  SetClearColor(20, 40, 160, 255);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  DrawView();
  const std::vector<uint32_t> f = gltest::ReadFrame(kW, kH);
  if (WritePngRGB("gl3d_view_blend.png", f.data(), kW, kH)) qoe_test::KeepPng("gl3d_view_blend.png");
  const double a = 128.0 / 255.0, bg[3] = {20, 40, 160};
  double over_red[3], both[3];
  const double r[3] = {255, 0, 0}, b[3] = {0, 0, 255};
  for (int k = 0; k < 3; k++) {
    over_red[k] = r[k] * a + bg[k] * (1 - a);
    both[k] = b[k] * a + over_red[k] * (1 - a);
  }
  ExpectNear(Pixel(f, 0, 0), both, 1, "blue over red");
  ExpectNear(Pixel(f, -0.7f, -0.7f), over_red, 1, "red alone");
  const double green_px[3] = {0, 255, 0}, grey_px[3] = {128, 128, 128};
  ExpectNear(Pixel(f, 0.8f, 0.8f), green_px, 0, "near opaque");
  ExpectNear(Pixel(f, 0.97f, 0.97f), grey_px, 0, "far opaque beside it");
  const double clear_px[3] = {20, 40, 160};
  ExpectNear(Pixel(f, -0.95f, 0.95f), clear_px, 0, "clear");
}

TEST_F(GLView, FarFacesTakeTheFogColour) {
  EngineRecord* e = Engine();
  e->fog_mode = 1;
  e->fog_rgba[0] = 200, e->fog_rgba[1] = 100, e->fog_rgba[2] = 40;
  UpdateFog();
  const uint32_t white = Solid(0xFFFFFF, 255, 24);
  ScreenTerms();
  AddObjectToView(Quad(-0.9f, -0.5f, -0.1f, 0.5f, 0.5f, white).Record(), 0, 0, 0, 1);
  AddObjectToView(Quad(0.1f, -0.5f, 0.9f, 0.5f, 0.99f, white).Record(), 0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  DrawView();
  const std::vector<uint32_t> f = gltest::ReadFrame(kW, kH);
  if (WritePngRGB("gl3d_view_fog.png", f.data(), kW, kH)) qoe_test::KeepPng("gl3d_view_fog.png");
  const double near_px[3] = {255, 255, 255};
  ExpectNear(Pixel(f, -0.5f, 0), near_px, 1, "before the fog starts");
  // Linear fog from 0.8 to 1.0: at 0.99 a twentieth of the face is left.
  double far_px[3];
  const uint8_t* fog = e->fog_rgba;
  for (int k = 0; k < 3; k++) far_px[k] = 0.05 * 255 + 0.95 * (fog[k] / 256.0 * 255);
  ExpectNear(Pixel(f, 0.5f, 0), far_px, 2, "deep in the fog");
  // The clear colour is the fog colour.
  const double clear_px[3] = {200, 100, 40};
  ExpectNear(Pixel(f, 0, 0.9f), clear_px, 0, "clear");
}

TEST_F(GLView, ASceneThroughTheCamera) {
  EngineRecord* e = Engine();
  e->fog_rgba[0] = 128, e->fog_rgba[1] = 173, e->fog_rgba[2] = 192;
  E3D().scene_built = 1;
  SetViewAspect(float(kW) / kH);
  SetViewRotation(38, 1);
  SetViewFlip(30, 1);
  SetViewScale(1.0f, 1);
  BuildCameraMatrix();
  const uint32_t grass = Solid(0x3C9A3C, 255, 24), earth = Solid(0x8A6A3A, 255, 24);
  const uint32_t wall = Solid(0xC03020, 255, 24), glass = Solid(0x3060F0, 140, 32), gold = Solid(0xF0D020, 140, 32);
  // A chequered ground of 20-unit tiles reaching far back into the fog.
  TestObject& ground = objects_.emplace_back();
  for (int row = 0; row < 40; row++)
    for (int col = 0; col < 10; col++) {
      const float x = -100 + 20.0f * float(col), z = 100 - 20.0f * float(row);
      const uint32_t a = ground.Point(x, 0, z), b = ground.Point(x + 20, 0, z), c = ground.Point(x + 20, 0, z - 20),
                     d = ground.Point(x, 0, z - 20);
      ground.Face({a, b, c, d}, Tex((row + col) % 2 ? earth : grass));
    }
  AddObjectToView(ground.Record(), 0, 0, 0, 1);
  // A red wall standing on the ground, two panes of glass in front of it.
  auto upright = [&](float x0, float x1, float h, float z, uint32_t t) {
    TestObject& o = objects_.emplace_back();
    const uint32_t a = o.Point(x0, 0, z), b = o.Point(x1, 0, z), c = o.Point(x1, h, z), d = o.Point(x0, h, z);
    o.Face({a, b, c, d}, Tex(t));
    if (Tex(t)->format == 2) o.centres.push_back(CENTER3D{(x0 + x1) / 2, h / 2, z});
    return o.Record();
  };
  AddObjectToView(upright(-40, 40, 40, -20, wall), 0, 0, 0, 1);
  AddObjectToView(upright(-30, 10, 30, 20, glass), 0, 0, 0, 1);
  AddObjectToView(upright(-10, 30, 20, 40, gold), 0, 0, 0, 1);
  UpdateFog();
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  DrawView();
  const std::vector<uint32_t> f = gltest::ReadFrame(kW, kH);
  if (WritePngRGB("gl3d_view_scene.png", f.data(), kW, kH)) qoe_test::KeepPng("gl3d_view_scene.png");
  // The view's centre shows the scene, not the clear colour; the top edge
  // shows the fog colour (ground far away or the clear colour).
  EXPECT_NE(f[size_t(kH / 2) * kW + kW / 2], 0x80ADC0u);
  const uint32_t top = f[5 * kW + kW / 2];
  EXPECT_NEAR(int(top >> 16), 128, 3);
  EXPECT_NEAR(int((top >> 8) & 0xFF), 173, 3);
  EXPECT_EQ(ViewObject()->point_count, 0);
}

}  // namespace
