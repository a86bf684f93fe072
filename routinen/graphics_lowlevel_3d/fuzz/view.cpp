// Fuzz target: the view and the characters on hostile input. The first byte
// chooses: even, the rest is a model file loaded as an element, whose
// objects and element are added to the VIEW at a few frame times and drawn
// (no GL context: the passes only count); odd, the rest describes an object
// record (counts, faces, indices, centres, vertex changes) added to the
// VIEW as it stands, then sorted and drawn, and its keys merge-sorted.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/memory.h"

namespace {

void Setup() {
  DebugLogSetStderr(0);
  InitEngineDefaults();
  EngineRecord& e = *Engine();
  e.cap_faces = e.cap_points = e.cap_objects = e.cap_textures = e.cap_frames = e.cap_point_indices =
      e.cap_vertex_changes = e.cap_centres = 8;
  e.cap_view_faces = e.cap_view_centres = 64;
  e.cap_view_points = e.cap_view_point_indices = 10000 + 64;
  e.half_textures = 1;
  e.mipmapping = 0;
  RegisterEngineThings();
  SetIndividualTextures(0);
  CreateTexture("", "", 2, 2, 24, "solid", nullptr);
  CreateTexture("", "", 2, 2, 32, "clear", nullptr);
}

void Model(const uint8_t* data, size_t size) {
  const uint32_t elements = ThingCount(THING_ELEMENT3D);
  const int32_t first = LoadQOEMemory(data, uint32_t(size), "fuzz.qoe");
  if (first < 0) return;
  MakeFaceCenters();
  for (uint32_t i = uint32_t(first); i < ThingCount(THING_OBJECT3D); i++)
    AddObjectToView(static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, i)), 1, 2, 3, 0.5f);
  for (int32_t t : {0, 1, 7, 40, 1000}) {
    E3D().frame_time = t;
    for (uint32_t i = elements; i < ThingCount(THING_ELEMENT3D); i++)
      AddElementToView(static_cast<ELEMENT3D*>(ThingAt(THING_ELEMENT3D, i)), 0, 0, 0);
  }
  DrawView();
}

// Reads the object's arrays from the bytes: counts as u16 (limited by the
// bytes there are), then faces (first, points, texture 0/1/none), indices,
// centres, vertex changes, points.
void Record(const uint8_t* data, size_t size) {
  if (size < 12) return;
  const uint32_t nf = GetLE16(data), ni = GetLE16(data + 2), nc = GetLE16(data + 4), nv = GetLE16(data + 6);
  const uint32_t np = GetLE16(data + 8);
  E3D().skip_face = GetLE16(data + 10);
  data += 12, size -= 12;
  const size_t need = size_t(nf) * 8 + size_t(ni) * 4 + size_t(nc) * 12 + size_t(nv) * 8 + size_t(np) * 12;
  if (need > size) return;
  std::vector<FACE3D> faces(nf);
  std::vector<PINDEX3D> indices(ni);
  std::vector<CENTER3D> centres(nc);
  std::vector<VERTEXCHANGE3D> changes(nv);
  std::vector<POINT3D> points(np);
  for (uint32_t i = 0; i < nf; i++, data += 8) {
    const uint32_t tex = data[7] % 3;
    faces[i] = FACE3D{GetLE32(data), GetLE16(data + 4), data[6],
                      tex < 2 ? static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, tex)) : nullptr};
  }
  for (uint32_t i = 0; i < ni; i++, data += 4) indices[i] = GetLE32(data);
  for (uint32_t i = 0; i < nc; i++, data += 12) std::memcpy(&centres[i], data, 12);
  for (uint32_t i = 0; i < nv; i++, data += 8)
    changes[i] = VERTEXCHANGE3D{GetLE16(data), GetLE16(data + 2), GetLE16(data + 4), GetLE16(data + 6)};
  for (uint32_t i = 0; i < np; i++, data += 12) {
    points[i] = POINT3D{};
    std::memcpy(&points[i].x, data, 12);
  }
  OBJECT3D o;
  ClearObject(&o);
  o.faces = faces.data(), o.face_count = int32_t(nf);
  o.indices = indices.data(), o.index_count = int32_t(ni);
  o.centres = centres.data(), o.centre_count = int32_t(nc);
  o.changes = changes.data(), o.change_count = int32_t(nv);
  o.points = points.data(), o.point_count = int32_t(np);
  o.first_point = np;  // into SELECT3D's end
  Engine()->wind_on = 1;
  E3D().wind[0] = 0.5f;
  for (int i = 0; i < 3; i++) AddObjectToView(&o, float(i), 0, 0, 1.5f);
  E3D().scene_built = nv & 1;
  DrawView();
  std::vector<SORT3D> keys(nc), tmp(nc);
  for (uint32_t i = 0; i < nc; i++) keys[i] = SORT3D{i, centres[i].z};
  MergeSortKeys(keys.data(), tmp.data(), nc);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  static bool once = [] {
    Setup();
    return true;
  }();
  (void)once;
  if (data[0] % 2 == 0) {
    const uint32_t textures = ThingCount(THING_TEXTURE3D);
    Model(data + 1, size - 1);
    // Back to the two textures of the set-up (their pixels stay).
    for (uint32_t i = textures; i < ThingCount(THING_TEXTURE3D); i++)
      FreeVec(static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i))->pixels);
    TruncateThing(THING_TEXTURE3D, textures);
    for (uint16_t key : {THING_OBJECT3D, THING_FACE3D, THING_POINT3D, THING_PINDEX3D, THING_VERTEXCHANGE3D,
                         THING_ANIMATION3D, THING_FRAME3D, THING_ELEMENT3D, THING_CENTER3D})
      GetThing(key, kThingReset);
    RelinkEngineObjects();
  } else {
    Record(data + 1, size - 1);
  }
  InitView();
  return 0;
}
