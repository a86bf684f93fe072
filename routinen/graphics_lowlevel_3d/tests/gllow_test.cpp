// The engine's GL low level on a real context (Mesa's software renderer):
// texture uploads with their mip levels and filters, the render modes' GL
// state read back, the face batch's triangle fans, flushes and back-face
// test, indexed ranges, fog and the clear colour, and a textured frame.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/graphics_lowlevel_3d/tests/gl_fixture.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace {

constexpr uint32_t kW = 800, kH = 600;

class GLLow : public gltest::EngineGL {
 protected:
  void Capacities(EngineRecord* e) override {
    e->cap_view_points = 64;
    e->cap_view_point_indices = 256;
    e->cap_points = 64;
    e->cap_vertex_changes = 16;
  }
  static bool On(GLenum cap) { return glIsEnabled(cap) == GL_TRUE; }
  static GLint Int(GLenum what) {
    GLint v = 0;
    glGetIntegerv(what, &v);
    return v;
  }
  // View vertices and one face of the given point indices.
  static void AddVertex(float x, float y, float u, float v) {
    auto* p = static_cast<VERTEX3D*>(GetThing(THING_VPOINT3D, kThingAppend));
    *p = VERTEX3D{u, v, {255, 255, 255, 255}, x, y, 0.0f};
  }
  static FACE3D Face(const std::vector<uint32_t>& indices, TEXTURE3D* t) {
    const uint32_t first = GetThingCount(THING_VPINDEX3D, kThingBase);
    for (uint32_t i : indices) *static_cast<uint32_t*>(GetThing(THING_VPINDEX3D, kThingAppend)) = i;
    return FACE3D{first, uint16_t(indices.size()), 0, t};
  }
  static TEXTURE3D* NewTexture(uint16_t size, uint16_t depth) {
    const int32_t i = CreateTexture("", "", size, size, depth, "t", nullptr);
    return i < 0 ? nullptr : static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, i));
  }
};

TEST_F(GLLow, MipmappedTexturesUploadEveryLevelDownToOnePixel) {
  Engine()->half_textures = 1;
  TEXTURE3D* t = NewTexture(256, 24);
  ASSERT_TRUE(t && t->mipmapped);
  UploadTexture(t);
  ASSERT_TRUE(t->uploaded);
  ASSERT_NE(t->gl_name, 0u);
  glBindTexture(GL_TEXTURE_2D, t->gl_name);
  GLint w = 0, levels = 0;
  for (GLint level = 0; level < 12; level++) {
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &w);
    if (w > 0) levels++;
    if (level == 8) {
      EXPECT_EQ(w, 1);
    }
  }
  EXPECT_EQ(levels, 9);
  GLint p = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &p);
  EXPECT_EQ(p, GL_LINEAR_MIPMAP_NEAREST);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &p);
  EXPECT_EQ(p, GL_LINEAR);
  // Level 1 holds the 2 x 2 averages of level 0.
  std::vector<uint8_t> level1(128 * 128 * 3), want(128 * 128 * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 1, GL_RGB, GL_UNSIGNED_BYTE, level1.data());
  ReduceBitmap(t->pixels, want.data(), 256, 256, 24, 2);
  EXPECT_EQ(level1, want);
  FreeTexture(t);
  EXPECT_EQ(t->uploaded, 0);
  EXPECT_EQ(t->gl_name, 0u);

  // Half textures 2 reduces first: 128 x 128, eight levels; nearest filters.
  Engine()->half_textures = 2;
  Engine()->filtering = 0;
  t = NewTexture(256, 32);
  UploadTexture(t);
  EXPECT_EQ(t->width, 128);
  EXPECT_EQ(t->reduction, 2);
  glBindTexture(GL_TEXTURE_2D, t->gl_name);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 7, GL_TEXTURE_WIDTH, &w);
  EXPECT_EQ(w, 1);
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &p);
  EXPECT_EQ(p, GL_NEAREST_MIPMAP_NEAREST);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &w);
  EXPECT_GT(w, 0);

  // Without mip-mapping one level; grey textures one byte a pixel; odd widths.
  Engine()->mipmapping = 0;
  Engine()->half_textures = 1;
  const int32_t g = CreateTexture("", "", 5, 3, 8, "grey", nullptr);
  TEXTURE3D* grey = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, g));
  for (int i = 0; i < 15; i++) grey->pixels[i] = uint8_t(i * 10);
  UploadTexture(grey);
  glBindTexture(GL_TEXTURE_2D, grey->gl_name);
  std::vector<uint8_t> back(15);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, back.data());
  EXPECT_EQ(back, std::vector<uint8_t>(grey->pixels, grey->pixels + 15));
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &w);
  EXPECT_EQ(w, 0);
  // RefreshTexture sends the whole buffer again.
  std::memset(grey->pixels, 99, 15);
  RefreshTexture(grey);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, back.data());
  EXPECT_EQ(back, std::vector<uint8_t>(15, 99));
  RefreshTexture(nullptr);
  // Gathered into atlases: no texture of its own.
  SetIndividualTextures(0);
  TEXTURE3D* none = NewTexture(4, 24);
  UploadTexture(none);
  EXPECT_EQ(none->gl_name, 0u);
  EXPECT_EQ(none->uploaded, 0);
  SetIndividualTextures(1);
}

TEST_F(GLLow, RenderModesSetTheirGLState) {
  struct Want {
    uint16_t mode;
    bool texture, blend, depth_write, polygon_smooth, point_smooth, line_smooth;
    GLenum primitive;
    float point_size;
  } const wants[] = {
      {1, true, false, true, true, false, false, GL_TRIANGLES, 1.0f},
      {2, true, true, false, true, false, false, GL_TRIANGLES, 1.0f},
      {3, true, true, true, false, false, false, GL_TRIANGLES, 1.0f},
      {4, false, true, false, true, true, false, GL_POINTS, 0.6f},
      {5, false, true, false, true, false, true, GL_LINES, 0.3f},
      {6, false, true, false, true, true, false, GL_POINTS, 3.0f},
      {7, false, false, true, true, false, false, GL_TRIANGLES, 1.0f},
  };
  for (const Want& w : wants) {
    glDepthFunc(GL_ALWAYS);
    OSSetmode(w.mode);
    EXPECT_EQ(On(GL_TEXTURE_2D), w.texture) << w.mode;
    EXPECT_EQ(On(GL_BLEND), w.blend) << w.mode;
    EXPECT_TRUE(On(GL_DEPTH_TEST)) << w.mode;
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask == GL_TRUE, w.depth_write) << w.mode;
    EXPECT_EQ(On(GL_POLYGON_SMOOTH), w.polygon_smooth) << w.mode;
    EXPECT_EQ(On(GL_POINT_SMOOTH), w.point_smooth) << w.mode;
    EXPECT_EQ(On(GL_LINE_SMOOTH), w.line_smooth) << w.mode;
    EXPECT_EQ(Int(GL_DEPTH_FUNC), GL_LESS) << w.mode;
    EXPECT_EQ(FaceBatchInfo().primitive, w.primitive) << w.mode;
    EXPECT_NEAR(FaceBatchInfo().point_size, w.point_size, 1e-6) << w.mode;
    if (w.blend) {
      EXPECT_EQ(Int(GL_BLEND_SRC), GL_SRC_ALPHA);
      EXPECT_EQ(Int(GL_BLEND_DST), GL_ONE_MINUS_SRC_ALPHA);
    }
  }
  // Without anti-aliasing no polygon smoothing; an unknown mode only the common step.
  Engine()->antialias = 0;
  OSSetmode(1);
  EXPECT_FALSE(On(GL_POLYGON_SMOOTH));
  OSSetmode(4);
  glDepthFunc(GL_ALWAYS);
  OSSetmode(8);
  EXPECT_TRUE(Logged("OSSetmode: Fehlerhafte Paramteruebrgabe"));
  EXPECT_EQ(Int(GL_DEPTH_FUNC), GL_LESS);
  EXPECT_FALSE(On(GL_POINT_SMOOTH));
  EXPECT_EQ(FaceBatchInfo().point_size, 1.0f);
  EXPECT_EQ(FaceBatchInfo().primitive, GLenum(GL_POINTS));  // unchanged

  // Indexed ranges: a point size of 2.0 or less is raised to 2.0.
  AddVertex(0, 0, 0, 0);
  *static_cast<uint32_t*>(GetThing(THING_VPINDEX3D, kThingAppend)) = 0;
  SetViewArrays();
  const DrawRange points{0, 1, 4};
  DrawIndexRange(&points);
  GLfloat size = 0;
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_FLOAT_EQ(size, 2.0f);
  EXPECT_FLOAT_EQ(FaceBatchInfo().point_size, 1.0f);
  Engine()->scale = 1.0f;
  const DrawRange large{0, 1, 6};
  DrawIndexRange(&large);
  glGetFloatv(GL_POINT_SIZE, &size);
  EXPECT_FLOAT_EQ(size, 10.0f);
  const DrawRange outside{250, 10, 4};  // past the view's index array: nothing
  DrawIndexRange(&outside);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// Smoke rises with alpha 0 for most of its way: in the blending modes
// without depth writes a point or line whose points all have alpha 0 is
// not handed to GL. The picture is the one GL draws from every index, with
// the fragments of the visible ones only (a line with one end visible
// stays); the opaque particle mode keeps them all.
TEST_F(GLLow, FadedParticlesAreLeftOutWithoutChangingThePicture) {
  glViewport(0, 0, kW, kH);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_FOG);
  glDisable(GL_CULL_FACE);
  // 24 points in a row, every other one faded; then 8 lines, the first
  // four faded at both ends, the next two at one end.
  for (int i = 0; i < 24; i++) {
    AddVertex(-0.9f + 0.075f * float(i), 0.5f, 0, 0);
    auto* p = static_cast<VERTEX3D*>(GetThing(THING_VPOINT3D, i));
    const uint8_t rgba[4] = {uint8_t(40 + 8 * i), 200, 60, uint8_t(i % 2 ? 0 : 90 + 6 * i)};
    std::memcpy(p->rgba, rgba, 4);
  }
  for (int i = 0; i < 16; i++) {
    AddVertex(-0.8f + 0.1f * float(i / 2), i % 2 ? -0.6f : -0.1f, 0, 0);
    auto* p = static_cast<VERTEX3D*>(GetThing(THING_VPOINT3D, 24 + i));
    const bool faded = i < 8 || (i >= 8 && i < 12 && i % 2 == 0);
    const uint8_t rgba[4] = {220, 90, uint8_t(10 * i), uint8_t(faded ? 0 : 180)};
    std::memcpy(p->rgba, rgba, 4);
  }
  for (uint32_t i = 0; i < 40; i++) *static_cast<uint32_t*>(GetThing(THING_VPINDEX3D, kThingAppend)) = i;
  const DrawRange points{0, 24, 4}, lines{24, 16, 5};
  GLuint query = 0;
  glGenQueries(1, &query);
  // Drawn through the ranges, and from every index straight to GL.
  auto draw = [&](bool ranges, GLuint* samples) {
    SetClearColor(20, 40, 160, 255);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    SetViewArrays();
    glBeginQuery(GL_SAMPLES_PASSED, query);
    if (ranges) {
      DrawIndexRanges(&points, 1);
      DrawIndexRanges(&lines, 1);
    } else {
      const auto* in = static_cast<const uint32_t*>(GetThing(THING_VPINDEX3D, kThingBase));
      OSSetmode(4);
      glPointSize(2.0f);
      glDrawElements(GL_POINTS, 24, GL_UNSIGNED_INT, in);
      OSSetmode(5);
      glPointSize(2.0f);
      glDrawElements(GL_LINES, 16, GL_UNSIGNED_INT, in + 24);
    }
    glEndQuery(GL_SAMPLES_PASSED);
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, samples);
    return gltest::ReadFrame(kW, kH);
  };
  GLuint left_out = 0, every = 0;
  const std::vector<uint32_t> a = draw(true, &left_out), b = draw(false, &every);
  EXPECT_EQ(a, b);
  EXPECT_GT(left_out, 0u);
  EXPECT_LT(left_out, every * 3 / 4);
  // What reached GL: the twelve visible points, then the four lines with a
  // visible end.
  const auto* sent = static_cast<const uint32_t*>(GetThing(THING_TRIPINDEX3D, kThingBase));
  const std::vector<uint32_t> visible_lines(sent, sent + 8);
  EXPECT_EQ(visible_lines, (std::vector<uint32_t>{32, 33, 34, 35, 36, 37, 38, 39}));
  // The opaque particle mode draws every point.
  const DrawRange opaque{0, 24, 7};
  DrawIndexRanges(&opaque, 1);
  std::vector<uint32_t> all(sent, sent + 24), order(24);
  for (uint32_t i = 0; i < 24; i++) order[i] = i;
  EXPECT_EQ(all, order);
  glDeleteQueries(1, &query);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(GLLow, FacesBatchAsTriangleFansAndFlushPerTexture) {
  Engine()->half_textures = 1;
  Engine()->mipmapping = 0;
  TEXTURE3D* a = NewTexture(4, 24);
  UploadTexture(a);
  TEXTURE3D* b = NewTexture(4, 24);
  b = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 1));
  a = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 0));
  UploadTexture(b);
  // A pentagon, counter-clockwise.
  for (int i = 0; i < 5; i++) AddVertex(float(i == 1 || i == 2), float(i >= 2), 0, 0);
  const FACE3D pentagon = Face({0, 1, 2, 3, 4}, a);
  AddFaceToBatch(&pentagon);
  ASSERT_EQ(FaceBatchInfo().indices, 9);
  const auto* tri = static_cast<const uint32_t*>(GetThing(THING_TRIPINDEX3D, kThingBase));
  EXPECT_EQ(std::vector<uint32_t>(tri, tri + 9), (std::vector<uint32_t>{1, 2, 0, 2, 3, 0, 3, 4, 0}));
  EXPECT_EQ(FaceBatchInfo().bound_texture, a->gl_name);
  // The same texture adds on; another texture draws the batch first.
  AddFaceToBatch(&pentagon);
  EXPECT_EQ(FaceBatchInfo().indices, 18);
  EXPECT_EQ(FaceBatchInfo().flushes, 0u);
  const FACE3D other = Face({4, 3, 2}, b);
  AddFaceToBatch(&other);
  EXPECT_EQ(FaceBatchInfo().flushes, 1u);
  EXPECT_EQ(FaceBatchInfo().indices, 3);
  EXPECT_EQ(std::vector<uint32_t>(tri, tri + 3), (std::vector<uint32_t>{3, 2, 4}));
  FlushFaceBatch();
  EXPECT_EQ(FaceBatchInfo().indices, 0);
  EXPECT_EQ(FaceBatchInfo().flushes, 2u);
  FlushFaceBatch();  // fewer than 3 indices: nothing drawn
  EXPECT_EQ(FaceBatchInfo().flushes, 2u);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

  // Back faces (clockwise in y-up terms) drop only with culling on and a
  // texture that asks for it (24-bit textures do).
  const FACE3D clockwise = Face({0, 2, 1}, a);
  const uint32_t culled = FaceBatchInfo().faces_culled;
  AddFaceToBatch(&clockwise);
  EXPECT_EQ(FaceBatchInfo().indices, 3);
  Engine()->faces_culling = 1;
  AddFaceToBatch(&clockwise);
  EXPECT_EQ(FaceBatchInfo().indices, 3);
  EXPECT_EQ(FaceBatchInfo().faces_culled, culled + 1);
  a->cull = 0;
  AddFaceToBatch(&clockwise);
  EXPECT_EQ(FaceBatchInfo().indices, 6);
  AddFaceToBatch(&pentagon);  // counter-clockwise stays
  EXPECT_EQ(FaceBatchInfo().indices, 15);
  FlushFaceBatch();

  // Too few or too many points; indices outside the view's array.
  const uint32_t two[2] = {0, 1};
  EXPECT_EQ(PolyVisible(two, 2, 0), 0);
  EXPECT_TRUE(Logged("PolyVisible: Polygon besteht aus  zu wenigen Punkte."));
  std::vector<uint32_t> many(51, 0);
  EXPECT_EQ(PolyVisible(many.data(), 51, 0), 0);
  const FACE3D beyond{250, 20, 0, a};
  AddFaceToBatch(&beyond);
  EXPECT_EQ(FaceBatchInfo().indices, 0);
}

TEST_F(GLLow, TheBatchDrawsEvery49856Indices) {
  Engine()->half_textures = 1;
  TEXTURE3D* a = NewTexture(4, 24);
  UploadTexture(a);
  // A tiny triangle: the software renderer draws the batch quickly.
  for (int i = 0; i < 3; i++) AddVertex(0.001f * float(i == 1), 0.001f * float(i == 2), 0, 0);
  const FACE3D tri = Face({0, 1, 2}, a);
  for (int i = 0; i < 16619; i++) AddFaceToBatch(&tri);  // 49857 indices
  EXPECT_EQ(FaceBatchInfo().indices, 49857);
  EXPECT_EQ(FaceBatchInfo().flushes, 0u);
  AddFaceToBatch(&tri);
  EXPECT_EQ(FaceBatchInfo().flushes, 1u);
  EXPECT_EQ(FaceBatchInfo().indices, 3);
  FlushFaceBatch();
}

TEST_F(GLLow, FogAndClearColour) {
  EngineRecord* e = Engine();
  e->fog_mode = 2;
  e->fog_density = 0.5f;
  e->fog_rgba[0] = 128;
  e->fog_rgba[1] = 64;
  e->fog_rgba[2] = 255;
  SetFog();
  EXPECT_TRUE(On(GL_FOG));
  EXPECT_EQ(Int(GL_FOG_MODE), GL_EXP);
  GLfloat v[4];
  glGetFloatv(GL_FOG_COLOR, v);
  EXPECT_FLOAT_EQ(v[0], 0.5f);
  EXPECT_FLOAT_EQ(v[1], 0.25f);
  EXPECT_FLOAT_EQ(v[2], 255.0f / 256.0f);
  EXPECT_FLOAT_EQ(v[3], 0.5f);
  glGetFloatv(GL_FOG_START, v);
  EXPECT_FLOAT_EQ(v[0], 0.8f);
  glGetFloatv(GL_FOG_END, v);
  EXPECT_FLOAT_EQ(v[0], 1.0f);
  glGetFloatv(GL_FOG_DENSITY, v);
  EXPECT_FLOAT_EQ(v[0], 0.5f);
  e->fog_mode = 1;
  SetFog();
  EXPECT_EQ(Int(GL_FOG_MODE), GL_LINEAR);
  e->fog_mode = 3;
  SetFog();
  EXPECT_EQ(Int(GL_FOG_MODE), GL_EXP2);
  for (uint16_t off : {0, 4, 70}) {
    glEnable(GL_FOG);
    e->fog_mode = off;
    SetFog();
    EXPECT_FALSE(On(GL_FOG)) << off;
  }
  SetClearColor(255, 0, 51, 102);
  glGetFloatv(GL_COLOR_CLEAR_VALUE, v);
  EXPECT_FLOAT_EQ(v[0], 1.0f);
  EXPECT_FLOAT_EQ(v[1], 0.0f);
  EXPECT_FLOAT_EQ(v[2], 0.2f);
  EXPECT_FLOAT_EQ(v[3], 0.4f);
}

TEST_F(GLLow, TexturedFacesReachTheFrame) {
  // The kit's logo (red key) and fire (alpha companion) as 32-bit textures.
  const std::string kit = qoe_test::BinaryDir() + "/datakit";
  QOE_REQUIRE_BUILT(kit + "/bmp/qoe_logo.bmp");
  std::filesystem::create_directory("bmp");
  for (const char* f : {"qoe_logo.bmp", "fire.bmp", "fire_alpha.bmp"})
    std::filesystem::copy_file(kit + "/bmp/" + f, std::string("bmp/") + f);
  EngineRecord* e = Engine();
  e->half_textures = 1;
  e->mipmapping = 0;
  e->filtering = 0;
  SetColorKey(255, 0, 0);
  const int32_t li = CreateTexture("bmp/qoe_logo.bmp", "", 256, 256, 32, "QoeLogo_tex", nullptr);
  const int32_t fi = CreateTexture("bmp/fire.bmp", "bmp/fire_alpha.bmp", 128, 128, 32, "Fire_tex", nullptr);
  ASSERT_EQ(li, 0);
  ASSERT_EQ(fi, 1);
  TEXTURE3D* logo = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, li));
  TEXTURE3D* fire = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, fi));
  ASSERT_TRUE(logo->uploaded && fire->uploaded);
  EXPECT_EQ(FindThingByName(THING_TEXTURE3D, "Fire_tex"), 1u);
  // The key's pixels are clear; with anti-aliasing the plate's edge softens.
  EXPECT_EQ(logo->pixels[3], 0);
  // Smoothing works in place from the top: the plate's inside ends at 254.
  EXPECT_GE(logo->pixels[(50 * 256 + 100) * 4 + 3], 254);
  EXPECT_LT(logo->pixels[(150 * 256 + 100) * 4 + 3], 255);  // the key row between the plates is clear ...
  EXPECT_GT(logo->pixels[(151 * 256 + 100) * 4 + 3], 0);    // ... and the row below it softened
  EXPECT_LT(logo->pixels[(151 * 256 + 100) * 4 + 3], 255);
  EXPECT_EQ(fire->pixels[(127 * 128 + 11) * 4 + 3], 255);

  // Two quads side by side over a blue clear colour, blended.
  SetClearColor(20, 40, 160, 255);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glViewport(0, 0, kW, kH);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glDisable(GL_CULL_FACE);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_FOG);
  AddVertex(-1, 1, 0, 0);
  AddVertex(-1, -1, 0, 1);
  AddVertex(0, -1, 1, 1);
  AddVertex(0, 1, 1, 0);
  AddVertex(0, 1, 0, 0);
  AddVertex(0, -1, 0, 1);
  AddVertex(1, -1, 1, 1);
  AddVertex(1, 1, 1, 0);
  const FACE3D left = Face({0, 1, 2, 3}, logo), right = Face({4, 5, 6, 7}, fire);
  e->antialias = 0;
  OSSetmode(2);
  AddFaceToBatch(&left);
  AddFaceToBatch(&right);
  FlushFaceBatch();
  EXPECT_EQ(FaceBatchInfo().flushes, 2u);
  const std::vector<uint32_t> f = gltest::ReadFrame(kW, kH);
  if (WritePngRGB("gl3d_textured_faces.png", f.data(), kW, kH)) qoe_test::KeepPng("gl3d_textured_faces.png");
  EXPECT_EQ(f[5 * kW + 5], 0x1428A0u);  // the logo's clear corner shows the clear colour
  // The logo plate, texel (128, 40): the texture's own colour (alpha 254 or 255).
  const uint8_t* px = logo->pixels + (40 * 256 + 128) * 4;
  const uint32_t plate = f[size_t((40.5 * kH) / 256) * kW + 200];
  for (int k = 0; k < 3; k++) EXPECT_NEAR(int((plate >> (16 - 8 * k)) & 0xFF), px[k], 2) << k;
  // The fire's cold top is clear, its hot bottom row opaque and bright.
  EXPECT_EQ(f[2 * kW + 600], 0x1428A0u);
  EXPECT_GT((f[(kH - 2) * kW + 600] >> 16) & 0xFF, 0xC0u);
}

}  // namespace

namespace {

class GLAtlas : public GLLow {};

TEST_F(GLAtlas, TexturesGoIntoTwoAtlasesAndPointsOntoTheirCells) {
  EngineRecord* e = Engine();
  e->half_textures = 1;
  e->mipmapping = 0;
  e->regroup_textures = 1;
  SetIndividualTextures(0);  // the scene set-up gathers textures: none uploaded yet
  // 17 textures of 24 bits (a grid of 8) and two of 32 bits (a grid of 4), 4 x 4 each.
  for (int i = 0; i < 19; i++) {
    const int32_t n = CreateTexture("", "", 4, 4, i == 5 || i == 9 ? 32 : 24, "t", nullptr);
    auto* t = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, n));
    std::memset(t->pixels, i + 1, TextureBytes(t));
  }
  // Points: three of face A (texture 3, the fourth 24-bit cell), one shared
  // with face B (texture 9, the second 32-bit cell).
  const float us[5] = {-0.2f, 1.0f, 0.5f, 0.25f, 0.75f};
  for (float u : us) {
    auto* p = static_cast<VERTEX3D*>(GetThing(THING_POINT3D, kThingAppend));
    *p = VERTEX3D{u, 0.5f, {255, 255, 255, 255}, 0, 0, 0};
  }
  for (uint32_t i : {0u, 1u, 2u, 2u, 3u, 4u})
    *static_cast<uint32_t*>(GetThing(THING_PINDEX3D, kThingAppend)) = i;
  auto* fa = static_cast<FACE3D*>(GetThing(THING_FACE3D, kThingAppend));
  *fa = FACE3D{0, 3, 3, static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 3))};
  auto* fb = static_cast<FACE3D*>(GetThing(THING_FACE3D, kThingAppend));
  *fb = FACE3D{3, 3, 9, static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 9))};
  // One object owns them: faces count within its indices.
  auto* ob = static_cast<OBJECT3D*>(GetThing(THING_OBJECT3D, kThingAppend));
  ClearObject(ob);
  ob->point_count = 5;
  ob->index_count = 6;
  ob->face_count = 2;
  // A second object after it: its face and indices count from its own
  // first index and point (texture 5, the first 32-bit cell).
  for (float u : {0.5f, 0.5f, 0.5f}) {
    auto* q = static_cast<VERTEX3D*>(GetThing(THING_POINT3D, kThingAppend));
    *q = VERTEX3D{u, 0.5f, {255, 255, 255, 255}, 0, 0, 0};
  }
  for (uint32_t i : {2u, 1u, 0u}) *static_cast<uint32_t*>(GetThing(THING_PINDEX3D, kThingAppend)) = i;
  *static_cast<FACE3D*>(GetThing(THING_FACE3D, kThingAppend)) =
      FACE3D{0, 3, 5, static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 5))};
  auto* ob2 = static_cast<OBJECT3D*>(GetThing(THING_OBJECT3D, kThingAppend));
  ClearObject(ob2);
  ob2->first_point = 5, ob2->point_count = 3;
  ob2->first_index = 6, ob2->index_count = 3;
  ob2->first_face = 2, ob2->face_count = 1;

  ASSERT_EQ(RemapTextures(), 1);
  ASSERT_EQ(GetThingCount(THING_TEXTURE3D, kThingBase), 2u);
  auto* a24 = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 0));
  auto* a32 = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 1));
  EXPECT_STREQ(a24->name, "All Textures 24bits");
  EXPECT_STREQ(a32->file, "RAM");
  EXPECT_EQ(a24->width, 32);  // 8 cells of 4
  EXPECT_EQ(a32->width, 16);  // 4 cells of 4
  EXPECT_TRUE(a24->uploaded && a32->uploaded);
  EXPECT_EQ(Engine()->half_textures, 1u);
  // Texture 3 is the fourth 24-bit texture: cell (3, 0) holds its bytes (4).
  EXPECT_EQ(a24->pixels[(0 * 32 + 12) * 3], 4);
  EXPECT_EQ(a24->pixels[(0 * 32 + 11) * 3], 3);
  // The 17th 24-bit texture (texture 18) starts the third row: cell (0, 2).
  EXPECT_EQ(a24->pixels[(8 * 32 + 0) * 3], 19);
  EXPECT_EQ(a32->pixels[(0 * 16 + 4) * 4], 10);  // texture 9, the second 32-bit one
  EXPECT_EQ(a32->pixels[(0 * 16 + 4) * 4 + 3], 10);

  const auto* p = static_cast<const VERTEX3D*>(GetThing(THING_POINT3D, 0));
  const float s24 = 4.0f / 32.0f, s32 = 4.0f / 16.0f;
  EXPECT_FLOAT_EQ(p[0].u, 0.0f * s24 + 3.0f / 8.0f);  // -0.2 clamped to 0
  EXPECT_FLOAT_EQ(p[1].u, 0.9999f * s24 + 3.0f / 8.0f);
  EXPECT_FLOAT_EQ(p[2].u, 0.5f * s24 + 3.0f / 8.0f);  // shared: the first face maps it
  EXPECT_FLOAT_EQ(p[0].v, 0.5f * s24);
  EXPECT_FLOAT_EQ(p[3].u, 0.25f * s32 + 1.0f / 4.0f);
  EXPECT_FLOAT_EQ(p[4].v, 0.5f * s32);
  const auto* f = static_cast<const FACE3D*>(GetThing(THING_FACE3D, 0));
  EXPECT_EQ(f[0].texture_index, 0);
  EXPECT_EQ(f[0].texture, a24);
  EXPECT_EQ(f[1].texture_index, 1);
  EXPECT_EQ(f[1].texture, a32);
  for (int i = 5; i < 8; i++) EXPECT_FLOAT_EQ(p[i].u, 0.5f * s32) << i;  // cell (0, 0) of the 32-bit atlas
  EXPECT_EQ(f[2].texture_index, 1);
}

TEST_F(GLAtlas, TexturesOfAnotherSizeOrTooManyAreRefused) {
  EngineRecord* e = Engine();
  e->half_textures = 1;
  e->mipmapping = 0;
  EXPECT_EQ(RemapTextures(), 0);  // regrouping off
  e->regroup_textures = 1;
  CreateTexture("", "", 4, 4, 24, "a", nullptr);
  CreateTexture("", "", 8, 8, 24, "b", nullptr);
  EXPECT_EQ(RemapTextures(), 0);
  EXPECT_TRUE(Logged("RemapTextures: Textur <b> hat nicht die Groesse der ersten"));
  EXPECT_EQ(GetThingCount(THING_TEXTURE3D, kThingBase), 2u);
  EXPECT_NE(static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, 1))->pixels, nullptr);
  ClearThings(kThingReset);
  for (int i = 0; i < 1025; i++) CreateTexture("", "", 1, 1, 24, "x", nullptr);
  EXPECT_EQ(RemapTextures(), 0);
  EXPECT_TRUE(Logged("RemapTextures: Zu viele Texturen (1025 / 0)"));
  EXPECT_EQ(GetThingCount(THING_TEXTURE3D, kThingBase), 1025u);
}

}  // namespace

namespace {

TEST_F(GLLow, ATextureThatIsNotSquareIsStillComplete) {
  Engine()->half_textures = 1;
  const int32_t i = CreateTexture("", "", 64, 16, 24, "wide", nullptr);
  TEXTURE3D* t = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, i));
  std::memset(t->pixels, 200, TextureBytes(t));
  UploadTexture(t);
  glBindTexture(GL_TEXTURE_2D, t->gl_name);
  EXPECT_EQ(Int(GL_TEXTURE_BINDING_2D), GLint(t->gl_name));
  GLint max = -1, w = 0;
  glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, &max);
  EXPECT_EQ(max, 4);  // 32 x 8, 16 x 4, 8 x 2, 4 x 1
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 4, GL_TEXTURE_WIDTH, &w);
  EXPECT_EQ(w, 4);
  // Drawn minified, it shows its colour (an incomplete texture would not).
  glViewport(0, 0, kW, kH);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  SetClearColor(0, 0, 0, 255);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  Engine()->antialias = 0;
  OSSetmode(1);
  AddVertex(-1, 1, 0, 0);
  AddVertex(-1, 0.99f, 0, 1);
  AddVertex(-0.99f, 0.99f, 1, 1);
  AddVertex(-0.99f, 1, 1, 0);
  const FACE3D small = Face({0, 1, 2, 3}, t);
  AddFaceToBatch(&small);
  FlushFaceBatch();
  const std::vector<uint32_t> f = gltest::ReadFrame(kW, kH);
  EXPECT_EQ(f[1 * kW + 1], 0xC8C8C8u);
}

}  // namespace
