// The data kit's terrain models drawn on a real context (Mesa): a patch of
// mixed terrain seen from straight above over a magenta clear colour shows
// no magenta between the hexes, and a sample landscape in each season at
// three scales is written as PNGs to be looked at.
#include <GL/gl.h>

#include <cmath>
#include <string>
#include <vector>

#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/terrain_fixture.h"

namespace {

using namespace terraintest;

// A sample landscape, row by row: mountains, hills, forests, towns, fields,
// grassland, swamp, desert, coasts and water.
const int kLand[6][8] = {
    {9, 5, 54, 10, 11, 17, 18, 14},   {5, 55, 27, 12, 13, 19, 15, 6},  {52, 56, 4, 3, 31, 21, 16, 91},
    {57, 35, 2, 1, 7, 40, 42, 8},     {39, 37, 38, 44, 47, 53, 30, 24}, {62, 58, 88, 23, 89, 28, 29, 26},
};

std::vector<int> LandGraphics() {
  std::vector<int> g;
  for (const auto& row : kLand) g.insert(g.end(), row, row + 8);
  return g;
}

class TerrainView : public testing::Test {
 protected:
  void SetUp() override {
    QOE_REQUIRE_BUILT(KitDir() + "/qoe/Water_low.qoe");
    ASSERT_TRUE(LinkKitFolders());
    ASSERT_TRUE(gltest::OpenGLWindow(6)) << "no GL context on the offscreen driver";
    FreeAllThings();
    InitEngineDefaults();
    ASSERT_EQ(RegisterEngineThings(), 1u);
    SetIndividualTextures(1);
    ASSERT_TRUE(ReadKitConfig());
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    w_ = uint32_t(vp[2]);
    h_ = uint32_t(vp[3]);
  }
  void TearDown() override {
    ResetSceneModels();
    FreeSceneCommands();
    FreeAllThings();
    gltest::CloseGLWindow();
  }

  // Draws every cell's model (the high one when high) with its textures.
  void DrawLand(bool high) {
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_FOG);
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glEnable(GL_ALPHA_TEST);
    glAlphaFunc(GL_GREATER, 0.5f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glColor4ub(255, 255, 255, 255);
    for (int r = 0; r < 6; r++)
      for (int c = 0; c < 8; c++) {
        const HexagonType& t = SceneModels()->hexagons[kLand[r][c]];
        const OBJECT3D* o = high ? t.high : t.low;
        ASSERT_NE(o, nullptr) << kLand[r][c];
        float cx, cz;
        CellPosition(c, r, &cx, &cz);
        for (int32_t f = 0; f < o->face_count; f++) {
          const FACE3D& face = o->faces[f];
          glBindTexture(GL_TEXTURE_2D, face.texture ? face.texture->gl_name : 0);
          glBegin(GL_POLYGON);
          for (uint32_t k = 0; k < face.points; k++) {
            const POINT3D& p = o->points[o->indices[face.first + k]];
            glTexCoord2f(p.u, p.v);
            glVertex3f(p.x + cx, p.y, p.z + cz);
          }
          glEnd();
        }
      }
  }
  // The patch's extent in x and z.
  static void Extent(float* x0, float* x1, float* z0, float* z1) {
    *x0 = 0;
    *x1 = 8 * 48 + 16;
    *z0 = 0;
    *z1 = 6 * 55.424f + 27.712f;
  }
  // Inside some hex of the patch (on its outline included).
  static bool InPatch(float x, float z) {
    for (int r = 0; r < 6; r++)
      for (int c = 0; c < 8; c++) {
        float cx, cz;
        CellPosition(c, r, &cx, &cz);
        if (EdgeDist(x - cx, z - cz) >= -0.01f) return true;
      }
    return false;
  }
  // A camera looking at the patch's middle from the south, tilted by tilt
  // degrees, dist away.
  void Perspective(float dist, float tilt) {
    float x0, x1, z0, z1;
    Extent(&x0, &x1, &z0, &z1);
    const float tx = (x0 + x1) / 2, tz = (z0 + z1) / 2;
    const float a = tilt * 3.14159265f / 180.0f;
    const float ex = tx, ey = dist * std::sin(a), ez = tz + dist * std::cos(a);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const float aspect = float(w_) / float(h_), n = 5.0f;
    glFrustum(-n * 0.4f * aspect, n * 0.4f * aspect, -n * 0.4f, n * 0.4f, n, 4000.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    // Look along (tx - ex, -ey, tz - ez): a turn about x by the tilt.
    glRotatef(tilt, 1, 0, 0);
    glTranslatef(-ex, -ey, -ez);
  }
  std::vector<uint32_t> Frame() { return gltest::ReadFrame(w_, h_); }
  void Keep(const std::vector<uint32_t>& px, const std::string& name) {
    ASSERT_EQ(WritePngRGB(name.c_str(), px.data(), w_, h_), 1);
    EXPECT_TRUE(qoe_test::KeepPng(name));
  }

  uint32_t w_ = 0, h_ = 0;
};

TEST_F(TerrainView, AMixedPatchFromStraightAboveHasNoSeams) {
  DefineTerrain(3, LandGraphics());
  // Straight down: eye x = x, eye y = -z, depth = height.
  float x0, x1, z0, z1;
  Extent(&x0, &x1, &z0, &z1);
  const float sx = (x1 - x0) / float(w_), sz = (z1 - z0) / float(h_), s = std::max(sx, sz) * 1.02f;
  const float mx = (x0 + x1) / 2, mz = (z0 + z1) / 2;
  // Pixels whose neighbourhood lies wholly in the patch.
  std::vector<uint8_t> in(size_t(w_) * h_);
  for (uint32_t y = 0; y < h_; y++)
    for (uint32_t x = 0; x < w_; x++) {
      const float wx = mx + (float(x) + 0.5f - float(w_) / 2) * s, wz = mz + (float(y) + 0.5f - float(h_) / 2) * s;
      bool inside = true;
      for (float d : {-1.0f, 1.0f}) inside = inside && InPatch(wx + d * s * 1.5f, wz) && InPatch(wx, wz + d * s * 1.5f);
      in[size_t(y) * w_ + x] = inside;
    }
  for (bool high : {false, true}) {
    SCOPED_TRACE(high ? "high" : "low");
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(mx - s * float(w_) / 2, mx + s * float(w_) / 2, -mz - s * float(h_) / 2, -mz + s * float(h_) / 2, -500,
            500);
    glMatrixMode(GL_MODELVIEW);
    const float top[16] = {1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1};
    glLoadMatrixf(top);
    glClearColor(1, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    DrawLand(high);
    const std::vector<uint32_t> px = Frame();
    uint32_t inside = 0, magenta = 0;
    for (size_t i = 0; i < px.size(); i++)
      if (in[i]) {
        inside++;
        magenta += px[i] == 0xFF00FF;
      }
    EXPECT_GT(inside, w_ * h_ / 3);
    EXPECT_EQ(magenta, 0u);
    Keep(px, std::string("terrain3d_patch_above_") + (high ? "high" : "low") + ".png");
  }
}

TEST_F(TerrainView, TheSampleLandscapeInEverySeasonAtThreeScales) {
  const char* names[] = {"", "spring", "summer", "autumn", "winter"};
  for (uint16_t season = 1; season <= 4; season++) {
    ClearThings(kThingReset);
    DefineTerrain(season, LandGraphics());
    // The scale as the map view's zoom: the whole patch, a part, a close look.
    for (float scale : {0.3f, 1.0f, 3.0f}) {
      glClearColor(0.5f, 0.68f, 0.75f, 1);
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      Perspective(scale < 0.5f ? 420.0f : scale < 2 ? 210.0f : 75.0f, scale < 0.5f ? 55.0f : 40.0f);
      DrawLand(scale >= 1.0f);
      const std::vector<uint32_t> px = Frame();
      // The land fills the middle of the picture.
      uint32_t sky = 0;
      for (uint32_t x = w_ / 4; x < w_ * 3 / 4; x++) sky += px[size_t(h_ / 2) * w_ + x] == 0x80ADBF;
      EXPECT_EQ(sky, 0u);
      char scale_name[16];
      std::snprintf(scale_name, sizeof scale_name, "%.1f", scale);
      Keep(px, std::string("terrain3d_") + names[season] + "_scale" + scale_name + ".png");
    }
  }
}

}  // namespace
