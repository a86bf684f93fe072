// Shared set-up of the object and model-file tests: the engine's stores
// registered with small capacities (so loads make them grow), uploads
// stubbed, a model with every chunk type, and checks that every kept
// pointer equals the element at its index.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "routinen/graphics_lowlevel_3d/fuzz/small_stores.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/graphics_lowlevel_3d/tests/engine_fixture.h"
#include "routinen/graphics_lowlevel_3d/tests/jpeg_encode.h"
#include "routinen/system/memory.h"
#include "tools/datakit/qoe_writer.h"

namespace enginetest {

using Bytes = std::vector<uint8_t>;

class ModelData : public EngineData {
 protected:
  void SetUp() override {
    EngineData::SetUp();
    Register(16);
  }
  void TearDown() override {
    ResetSceneModels();  // frees a hexagon table
    EngineData::TearDown();
  }
  // Every store with the same capacity; textures neither reduced, mip-mapped
  // nor sent to GL.
  void Register(uint32_t capacity) {
    FreeAllThings();
    ASSERT_EQ(RegisterSmallEngineStores(capacity), 1u);
  }
  template <typename T>
  static T* At(uint16_t key, uint32_t i) {
    return static_cast<T*>(ThingAt(key, i));
  }
  static uint32_t N(uint16_t key) { return ThingCount(key); }
};

// Every pointer kept into a store equals the element at its index.
inline void ExpectPointersResolved() {
  for (uint32_t i = 0; i < ThingCount(THING_OBJECT3D); i++) {
    const auto* o = static_cast<const OBJECT3D*>(ThingAt(THING_OBJECT3D, i));
    const ThingSlot* f = FindThingSlot(THING_FACE3D);
    const ThingSlot* p = FindThingSlot(THING_POINT3D);
    const ThingSlot* x = FindThingSlot(THING_PINDEX3D);
    const ThingSlot* v = FindThingSlot(THING_VERTEXCHANGE3D);
    EXPECT_EQ(static_cast<const void*>(o->faces), f->data + size_t(o->first_face) * f->element_size) << o->name;
    EXPECT_EQ(static_cast<const void*>(o->points), p->data + size_t(o->first_point) * p->element_size) << o->name;
    EXPECT_EQ(static_cast<const void*>(o->indices), x->data + size_t(o->first_index) * x->element_size) << o->name;
    EXPECT_EQ(static_cast<const void*>(o->changes), v->data + size_t(o->first_change) * v->element_size) << o->name;
  }
  for (uint32_t i = 0; i < ThingCount(THING_FACE3D); i++) {
    const auto* f = static_cast<const FACE3D*>(ThingAt(THING_FACE3D, i));
    if (f->texture) {
      // A particle face's texture number is its draw mode; it shows texture 0.
      const uint32_t t = f->points > kParticleFacePoints ? 0 : f->texture_index;
      EXPECT_EQ(f->texture, ThingAt(THING_TEXTURE3D, t));
    }
  }
  for (uint32_t i = 0; i < ThingCount(THING_ANIMATION3D); i++) {
    const auto* a = static_cast<const ANIMATION3D*>(ThingAt(THING_ANIMATION3D, i));
    const ThingSlot* fr = FindThingSlot(THING_FRAME3D);
    EXPECT_EQ(static_cast<const void*>(a->frames), fr->data + size_t(a->first_frame) * fr->element_size);
  }
  for (uint32_t i = 0; i < ThingCount(THING_FRAME3D); i++) {
    const auto* f = static_cast<const FRAME3D*>(ThingAt(THING_FRAME3D, i));
    EXPECT_EQ(f->target, ThingAt(f->target_key, f->target_index));
  }
  for (uint32_t i = 0; i < ThingCount(THING_ELEMENT3D); i++) {
    const auto* e = static_cast<const ELEMENT3D*>(ThingAt(THING_ELEMENT3D, i));
    EXPECT_EQ(e->frame.target, ThingAt(e->frame.target_key, e->frame.target_index));
  }
  if (const HexagonType* h = SceneModels()->hexagons)
    for (uint32_t i = 0; i < kHexagonTypes; i++) {
      if (h[i].low) {
        EXPECT_EQ(h[i].low, ThingAt(THING_OBJECT3D, h[i].low_index)) << i;
      }
      if (h[i].high) {
        EXPECT_EQ(h[i].high, ThingAt(THING_OBJECT3D, h[i].high_index)) << i;
      }
    }
}

// A picture whose neighbours all differ.
inline Bytes Picture(uint32_t w, uint32_t h, uint32_t channels, uint32_t seed) {
  Bytes b(size_t(w) * h * channels);
  for (size_t i = 0; i < b.size(); i++) b[i] = uint8_t(i * 37 + seed * 11 + (i / channels) * 5);
  return b;
}
// A smooth picture (JPEG keeps it close).
inline Bytes Smooth(uint32_t w, uint32_t h, uint32_t channels, uint32_t seed) {
  Bytes b(size_t(w) * h * channels);
  for (uint32_t y = 0; y < h; y++)
    for (uint32_t x = 0; x < w; x++)
      for (uint32_t k = 0; k < channels; k++) b[(size_t(y) * w + x) * channels + k] = uint8_t(x * 4 + y * 3 + k * 60 + seed);
  return b;
}

inline datakit::QoePose Pose(float rx, float s, float tx) {
  datakit::QoePose p;
  for (int i = 0; i < 16; i++) p.matrix[i] = float(i) * 0.5f + tx;
  p.rotation[0] = rx;
  p.rotation[1] = rx + 1;
  p.rotation[2] = rx + 2;
  p.scale[0] = s;
  p.scale[1] = s * 2;
  p.scale[2] = s * 3;
  p.translation[0] = tx;
  p.translation[1] = tx + 1;
  p.translation[2] = tx + 2;
  return p;
}

// A model with every chunk type: six textures (8-, 24- and 32-bit as raw
// pictures and as JPEGs), three objects of a hierarchy (levels 0, 1, 2) with
// vertex changes on the last, an animation of three frames (an object, an
// animation and a frame as targets) and an element.
inline datakit::QoeModel FullModel() {
  using namespace datakit;
  QoeModel m;
  auto tex = [&](const char* name, const char* file, uint16_t w, uint16_t h, uint16_t bits, QoeTexture::Picture pic) {
    QoeTexture t;
    t.name = name;
    t.file = file;
    t.width = w;
    t.height = h;
    t.bits = bits;
    t.picture = pic;
    const uint32_t ch = bits / 8;
    if (pic == QoeTexture::kRaw) t.pixels = Picture(w, h, ch, uint32_t(m.textures.size()));
    if (pic == QoeTexture::kJpeg) {
      const Bytes rgb = Smooth(w, h, bits == 8 ? 1 : 3, uint32_t(m.textures.size()) * 9);
      t.jpeg = EncodeJpeg(rgb.data(), w, h, bits == 8 ? 1 : 3);
      if (bits == 32) {
        const Bytes a = Smooth(w, h, 1, 100);
        t.jpeg_alpha = EncodeJpeg(a.data(), w, h, 1);
      }
    }
    m.textures.push_back(t);
  };
  tex("grass", "bmp/grass.bmp", 4, 2, 24, QoeTexture::kRaw);
  tex("grey", "bmp/grey.bmp", 4, 4, 8, QoeTexture::kRaw);
  tex("leaf", "bmp/leaf.bmp", 2, 2, 32, QoeTexture::kRaw);
  tex("stone", "bmp/stone.jpg", 16, 8, 24, QoeTexture::kJpeg);
  tex("mask", "bmp/mask.jpg", 8, 8, 8, QoeTexture::kJpeg);
  tex("bush", "bmp/bush.jpg", 16, 16, 32, QoeTexture::kJpeg);
  // Points: object 0 a quad, objects 1 and 2 triangles.
  for (int i = 0; i < 10; i++) {
    QoePoint p;
    p.u = float(i) / 10;
    p.v = 1 - float(i) / 10;
    p.rgba[0] = uint8_t(i);
    p.rgba[1] = uint8_t(i * 2);
    p.rgba[2] = uint8_t(i * 3);
    p.rgba[3] = 200;
    p.x = float(i) * 1.5f - 3;
    p.y = float(i % 3);
    p.z = float(i) * -0.25f;
    m.points.push_back(p);
  }
  m.indices = {0, 1, 2, 3, 2, 1, 0, 0, 2, 1};
  m.faces = {{0, 4, 0}, {0, 3, 2}, {0, 3, 5}};
  m.changes = {{1, 0, 32767, 16384}, {1, 100, 200, 300}, {2, 5, 6, 7}};
  QoeObject root;
  root.name = "Root";
  root.first_index = 0, root.index_count = 4, root.first_point = 0, root.point_count = 4;
  root.first_face = 0, root.face_count = 1;
  root.max[0] = 3;
  QoeObject arm;
  arm.name = "Arm";
  arm.level = 1;
  arm.first_index = 4, arm.index_count = 3, arm.first_point = 4, arm.point_count = 3;
  arm.first_face = 1, arm.face_count = 1;
  arm.matrix[12] = 5;
  QoeObject hand;
  hand.name = "Hand of a name that runs past the forty bytes of its field";
  hand.level = 2;
  hand.first_index = 7, hand.index_count = 3, hand.first_point = 7, hand.point_count = 3;
  hand.first_face = 2, hand.face_count = 1;
  hand.first_change = 0, hand.change_count = 3;
  hand.min[0] = -1, hand.min[1] = -2, hand.min[2] = -3, hand.max[0] = 1, hand.max[1] = 2, hand.max[2] = 3;
  m.objects = {root, arm, hand};
  m.animations = {{"Wave", 20, 0, 3}};
  m.frames = {{0, 1, 0, Pose(10, 1, 0)}, {10, 0, 30011, Pose(20, 2, 1)}, {20, 0, 30012, Pose(30, 3, 2)}};
  m.elements = {{7, 0, Pose(45, 0.5f, 3)}};
  return m;
}

}  // namespace enginetest
