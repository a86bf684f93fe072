// Shared set-up of the view tests: the engine's stores registered with the
// capacities a test asks for, and objects built from plain arrays (a quad
// or a fan per face) that AddObjectToView copies from.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <vector>

#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/engine_fixture.h"

namespace enginetest {

// An object whose arrays live in the test, not in the stores.
struct TestObject {
  std::vector<FACE3D> faces;
  std::vector<POINT3D> points;
  std::vector<PINDEX3D> indices;
  std::vector<CENTER3D> centres;
  std::vector<VERTEXCHANGE3D> changes;
  OBJECT3D o{};

  // Points the record at the arrays (after they changed size).
  OBJECT3D* Record() {
    ClearObject(&o);
    std::strcpy(o.name, "Test");
    o.faces = faces.data(), o.face_count = int32_t(faces.size());
    o.points = points.data(), o.point_count = int32_t(points.size());
    o.indices = indices.data(), o.index_count = int32_t(indices.size());
    o.centres = centres.data(), o.centre_count = int32_t(centres.size());
    o.changes = changes.data(), o.change_count = int32_t(changes.size());
    return &o;
  }
  // A face over the given point numbers.
  void Face(const std::vector<uint32_t>& pts, TEXTURE3D* t, uint16_t texture_number = 0) {
    faces.push_back(FACE3D{uint32_t(indices.size()), uint16_t(pts.size()), texture_number, t});
    for (uint32_t p : pts) indices.push_back(p);
  }
  uint32_t Point(float x, float y, float z) {
    points.push_back(POINT3D{0, 0, {255, 255, 255, 255}, x, y, z});
    return uint32_t(points.size() - 1);
  }
};

class ViewData : public EngineData {
 protected:
  void SetUp() override {
    EngineData::SetUp();
    Register();
  }
  void TearDown() override {
    ResetSceneModels();
    EngineData::TearDown();
  }
  // The stores with the engine's default capacities unless changed first.
  void Register() {
    FreeAllThings();
    ASSERT_EQ(RegisterEngineThings(), 1u);
    SetIndividualTextures(0);
    InitView();
  }
  // A texture record of a depth (24: opaque pass, 32: blended pass).
  TEXTURE3D* Texture(uint16_t depth, uint16_t format = 0) {
    Engine()->mipmapping = 0;
    const int32_t i = CreateTexture("", "", 4, 4, depth, depth == 32 ? "clear" : "solid", nullptr);
    auto* t = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, uint32_t(i)));
    if (t && format) t->format = format;
    textures_.push_back(uint32_t(i));
    return t;
  }
  // Texture records are re-read after the store grew.
  TEXTURE3D* TextureNo(size_t k) { return static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, textures_[k])); }
  // A flat object of n triangles (3 points each) of one texture, and one
  // centre per triangle when the texture is transparent.
  TestObject& Triangles(uint32_t n, TEXTURE3D* t, float z = 0.0f) {
    TestObject& o = objects_.emplace_back();
    for (uint32_t i = 0; i < n; i++) {
      const uint32_t a = o.Point(float(i), 0, z), b = o.Point(float(i) + 1, 0, z), c = o.Point(float(i), 1, z);
      o.Face({a, b, c}, t);
      if (t && t->format == 2) o.centres.push_back(CENTER3D{float(i) + 0.3f, 0.3f, z});
    }
    o.Record();
    return o;
  }
  static const OBJECT3D& V() { return *ViewObject(); }
  std::vector<uint32_t> textures_;
  std::deque<TestObject> objects_;
};

}  // namespace enginetest
