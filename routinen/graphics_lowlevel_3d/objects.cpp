// 3D objects: named views into the shared stores (faces, points, point
// indices, face centres, vertex changes). Building, measuring, moving,
// scaling, rotating, colouring and merging them, and keeping every pointer
// into a store valid when the store grows.
#include <cmath>
#include <cstddef>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

static_assert(sizeof(VERTEXCHANGE3D) == 8 && sizeof(CENTER3D) == 12 && sizeof(PINDEX3D) == 4);

namespace {

// The stores whose arrays the kept pointers point into.
constexpr uint16_t kLinkedKeys[] = {THING_OBJECT3D,   THING_FACE3D,      THING_POINT3D,
                                    THING_PINDEX3D,   THING_VERTEXCHANGE3D, THING_CENTER3D,
                                    THING_TEXTURE3D,  THING_ANIMATION3D, THING_FRAME3D,
                                    THING_ELEMENT3D};
static_assert(std::size(kLinkedKeys) <= std::size(Engine3DState{}.seen_data));

SceneModelState& Scene() { return E3D().scene; }

// Where a run starting at element first begins: inside the array or at its
// end (an empty run), else null.
template <typename T>
T* RunAt(uint16_t key, uint32_t first) {
  const ThingSlot* t = FindThingSlot(key);
  if (!t || !t->data || first > t->count) return nullptr;
  return reinterpret_cast<T*>(t->data + size_t(first) * t->element_size);
}

OBJECT3D* LastObject() {
  const uint32_t n = ThingCount(THING_OBJECT3D);
  return n ? static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, n - 1)) : nullptr;
}

// Recomputes the byte fields from the counts.
void SetBytes(OBJECT3D* o) {
  o->face_bytes = GetThingSize(THING_FACE3D, uint32_t(o->face_count));
  o->centre_bytes = GetThingSize(THING_CENTER3D, uint32_t(o->centre_count));
  o->point_bytes = GetThingSize(THING_POINT3D, uint32_t(o->point_count));
  o->index_bytes = GetThingSize(THING_PINDEX3D, uint32_t(o->index_count));
  o->change_bytes = GetThingSize(THING_VERTEXCHANGE3D, uint32_t(o->change_count));
}

uint32_t Count(int32_t n) { return n > 0 ? uint32_t(n) : 0; }

// Points whose positions may be changed (none for objects with vertex
// changes, whose positions come from the changes).
float* MovablePoints(OBJECT3D* o) { return o->change_count > 0 || !o->points ? nullptr : &o->points[0].x; }

}  // namespace

SceneModelState* SceneModels() { return &Scene(); }

void ResetSceneModels() {
  SceneModelState& s = Scene();
  FreeVec(s.hexagons);
  s = SceneModelState{};
  s.rain = s.snow = s.logo = s.authors = s.overlay = s.fire = s.smoke = -1;
  const uint8_t water[3][4] = {{250, 250, 250, 200}, {120, 120, 120, 200}, {40, 40, 40, 200}};
  std::memcpy(s.water_colour, water, sizeof water);
  const uint8_t night[4] = {255, 255, 255, 255};
  std::memcpy(s.night_colour, night, sizeof night);
  ResetHierarchy();
  for (const uint8_t*& p : E3D().seen_data) p = nullptr;
}

void RelinkEngineObjects() {
  Engine3DState& e = E3D();
  if (const ThingSlot* t = FindThingSlot(THING_OBJECT3D); t && t->data) {
    auto* o = reinterpret_cast<OBJECT3D*>(t->data);
    for (uint32_t i = 0; i < t->count; i++) {
      o[i].faces = RunAt<FACE3D>(THING_FACE3D, o[i].first_face);
      o[i].centres = RunAt<CENTER3D>(THING_CENTER3D, o[i].first_centre);
      o[i].points = RunAt<POINT3D>(THING_POINT3D, o[i].first_point);
      o[i].indices = RunAt<PINDEX3D>(THING_PINDEX3D, o[i].first_index);
      o[i].changes = RunAt<VERTEXCHANGE3D>(THING_VERTEXCHANGE3D, o[i].first_change);
    }
  }
  RelinkFaceTextures();
  if (const ThingSlot* t = FindThingSlot(THING_ANIMATION3D); t && t->data) {
    auto* a = reinterpret_cast<ANIMATION3D*>(t->data);
    for (uint32_t i = 0; i < t->count; i++) a[i].frames = RunAt<FRAME3D>(THING_FRAME3D, a[i].first_frame);
  }
  if (const ThingSlot* t = FindThingSlot(THING_FRAME3D); t && t->data) {
    auto* f = reinterpret_cast<FRAME3D*>(t->data);
    for (uint32_t i = 0; i < t->count; i++)
      if (f[i].target) f[i].target = ThingAt(f[i].target_key, f[i].target_index);
  }
  if (const ThingSlot* t = FindThingSlot(THING_ELEMENT3D); t && t->data) {
    auto* el = reinterpret_cast<ELEMENT3D*>(t->data);
    for (uint32_t i = 0; i < t->count; i++)
      if (el[i].frame.target) el[i].frame.target = ThingAt(el[i].frame.target_key, el[i].frame.target_index);
  }
  if (CharacterEntry* c = e.characters) {
    for (uint32_t i = 0; i < e.character_count && i < kCharacterEntries; i++) {
      if (c[i].low) c[i].low = static_cast<ELEMENT3D*>(ThingAt(THING_ELEMENT3D, c[i].low_index));
      if (c[i].high) c[i].high = static_cast<ELEMENT3D*>(ThingAt(THING_ELEMENT3D, c[i].high_index));
    }
  }
  if (HexagonType* h = e.scene.hexagons) {
    for (uint32_t i = 0; i < kHexagonTypes; i++) {
      if (h[i].low) h[i].low = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, h[i].low_index));
      if (h[i].high) h[i].high = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, h[i].high_index));
    }
  }
  for (size_t k = 0; k < std::size(kLinkedKeys); k++) {
    const ThingSlot* t = FindThingSlot(kLinkedKeys[k]);
    e.seen_data[k] = t ? t->data : nullptr;
  }
}

void RelinkIfMoved() {
  const Engine3DState& e = E3D();
  for (size_t k = 0; k < std::size(kLinkedKeys); k++) {
    const ThingSlot* t = FindThingSlot(kLinkedKeys[k]);
    if ((t ? t->data : nullptr) != e.seen_data[k]) return RelinkEngineObjects();
  }
}

void ClearObject(OBJECT3D* o) {
  if (!o) return;
  *o = OBJECT3D{};
  SetMi(o->matrix);
}

int32_t NewObject(const char* name, uint16_t level) {
  auto* o = static_cast<OBJECT3D*>(GetThing(THING_OBJECT3D, kThingAppend));
  if (!o) {
    DebugLog("NewObject: Konnte kein Objekt mehr anlegen.\n");
    return -1;
  }
  const int32_t index = int32_t(ThingLastIndex());
  ClearObject(o);
  if (name) {
    std::strncpy(o->name, name, sizeof o->name - 1);
    o->name[sizeof o->name - 1] = 0;
  }
  o->level = level;
  o->first_change = ThingCount(THING_VERTEXCHANGE3D);
  o->first_point = ThingCount(THING_POINT3D);
  o->first_index = ThingCount(THING_PINDEX3D);
  o->first_face = ThingCount(THING_FACE3D);
  o->first_centre = ThingCount(THING_CENTER3D);
  o->faces = RunAt<FACE3D>(THING_FACE3D, o->first_face);
  o->centres = RunAt<CENTER3D>(THING_CENTER3D, o->first_centre);
  o->points = RunAt<POINT3D>(THING_POINT3D, o->first_point);
  o->indices = RunAt<PINDEX3D>(THING_PINDEX3D, o->first_index);
  o->changes = RunAt<VERTEXCHANGE3D>(THING_VERTEXCHANGE3D, o->first_change);
  // The other objects' pointers only when a store moved (scene set-up makes
  // thousands of objects).
  RelinkIfMoved();
  return index;
}

int32_t NewFace(uint16_t texture) {
  OBJECT3D* o = LastObject();
  if (!o) {
    DebugLog("NewFace: Es gibt kein Objekt.\n");
    return -1;
  }
  auto* f = static_cast<FACE3D*>(GetThing(THING_FACE3D, kThingAppend));
  if (!f) {
    DebugLog("NewFace: Konnte keine Flaeche mehr anlegen.\n");
    return -1;
  }
  const int32_t index = int32_t(ThingLastIndex());
  f->first = Count(o->index_count);
  f->points = 0;
  f->texture_index = texture;
  f->texture = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, texture));
  o->face_count++;
  SetBytes(o);
  Scene().centres_dirty = 1;
  RelinkIfMoved();
  return index;
}

int32_t NewPoint(float x, float y, float z, uint32_t px, uint32_t py, float u, float v, uint32_t mode) {
  OBJECT3D* o = LastObject();
  const uint32_t faces = ThingCount(THING_FACE3D);
  if (!o || o->face_count <= 0 || faces == 0) {
    DebugLog("NewPoint: Es gibt keine Flaeche.\n");
    return -1;
  }
  const uint32_t points_before = ThingCount(THING_POINT3D);
  auto* p = static_cast<POINT3D*>(GetThing(THING_POINT3D, kThingAppend));
  if (!p) {
    DebugLog("NewPoint: Konnte keinen Punkt mehr anlegen.\n");
    return -1;
  }
  const int32_t index = int32_t(ThingLastIndex());
  auto* pi = static_cast<PINDEX3D*>(GetThing(THING_PINDEX3D, kThingAppend));
  if (!pi) {
    TruncateThing(THING_POINT3D, points_before);
    RelinkIfMoved();
    DebugLog("NewPoint: Konnte keinen Punkt mehr anlegen.\n");
    return -1;
  }
  auto* f = static_cast<FACE3D*>(ThingAt(THING_FACE3D, faces - 1));
  *pi = Count(o->point_count);
  *p = POINT3D{};
  p->x = x;
  p->y = y;
  p->z = z;
  std::memset(p->rgba, 255, 4);
  const TEXTURE3D* t = static_cast<const TEXTURE3D*>(ThingAt(THING_TEXTURE3D, f->texture_index));
  if (mode == 1) {
    // Pixel positions of the full-size picture: divided by the texture's
    // reduction first, then taken relative to its (reduced) size.
    if (t && t->width && t->height) {
      const uint32_t r = t->reduction ? t->reduction : 1;
      p->u = float(px / r) / float(t->width);
      p->v = float(py / r) / float(t->height);
    }
  } else {
    p->u = u;
    p->v = v;
  }
  o->point_count++;
  o->index_count++;
  f->points++;
  SetBytes(o);
  RelinkIfMoved();
  return index;
}

void SetPointXYZ(POINT3D* p, float x, float y, float z) {
  if (!p) {
    DebugLog("SetPointXYZ: Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  p->x = x;
  p->y = y;
  p->z = z;
}

void PfromPINum(const OBJECT3D* o, uint32_t n, float xyz[3]) {
  if (!o || !xyz) {
    DebugLog("PfromPINum: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  xyz[0] = xyz[1] = xyz[2] = 0.0f;
  uint32_t point = n;
  if (o->index_count > 0) {
    if (n >= Count(o->index_count) || !o->indices) return;
    point = o->indices[n];
  }
  if (point >= Count(o->point_count) || !o->points) return;
  const POINT3D& p = o->points[point];
  xyz[0] = p.x;
  xyz[1] = p.y;
  xyz[2] = p.z;
  if (o->change_count <= 0 || !o->changes) return;
  for (uint32_t i = 0; i < Count(o->change_count); i++) {
    const VERTEXCHANGE3D& c = o->changes[i];
    if (c.point != point) continue;
    const uint16_t q[3] = {c.x, c.y, c.z};
    for (int k = 0; k < 3; k++) xyz[k] = float(q[k]) * (o->max[k] - o->min[k]) / 32767.0f + o->min[k];
  }
}

namespace {

// Minimum and maximum over the index numbers first .. first + n - 1.
void MinMaxOver(const OBJECT3D* o, uint32_t first, uint32_t n, float min[3], float max[3]) {
  for (int k = 0; k < 3; k++) min[k] = max[k] = 0.0f;
  for (uint32_t i = 0; i < n; i++) {
    float p[3];
    PfromPINum(o, first + i, p);
    for (int k = 0; k < 3; k++) {
      if (i == 0 || p[k] < min[k]) min[k] = p[k];
      if (i == 0 || p[k] > max[k]) max[k] = p[k];
    }
  }
}

}  // namespace

void ObjectMinMax(const OBJECT3D* o, float min[3], float max[3]) {
  if (!o || !min || !max) {
    DebugLog("ObjectMinMax: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  MinMaxOver(o, 0, Count(o->index_count > 0 ? o->index_count : o->point_count), min, max);
}

void FaceMinMax(const OBJECT3D* o, const FACE3D* f, float min[3], float max[3]) {
  if (!o || !f || !min || !max) {
    DebugLog("FaceMinMax: Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  MinMaxOver(o, f->first, f->points, min, max);
}

void SetObjectBounds(OBJECT3D* o) {
  if (!o) return;
  if (o->change_count > 0) {
    DebugLog("Object <%s> Dont SetObjectBounds with VC !\n", o->name);
    return;
  }
  ObjectMinMax(o, o->min, o->max);
}

void MakeFaceCenters() {
  RelinkIfMoved();
  GetThing(THING_CENTER3D, kThingReset);
  const uint32_t objects = ThingCount(THING_OBJECT3D);
  for (uint32_t i = 0; i < objects; i++) {
    auto* o = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, i));
    o->first_centre = ThingCount(THING_CENTER3D);
    o->centre_count = 0;
    for (uint32_t k = 0; o->faces && k < Count(o->face_count); k++) {
      const FACE3D& f = o->faces[k];
      // A face without a texture has no blended pass to sort for.
      if (!f.texture || f.texture->format != 2) continue;
      float min[3], max[3];
      FaceMinMax(o, &f, min, max);
      auto* c = static_cast<CENTER3D*>(GetThing(THING_CENTER3D, kThingAppend));
      if (!c) break;
      *c = CENTER3D{(min[0] + max[0]) / 2, (min[1] + max[1]) / 2, (min[2] + max[2]) / 2};
      o->centre_count++;
    }
    SetBytes(o);
  }
  RelinkEngineObjects();
  Scene().centres_dirty = 0;
}

void ScaleV(void* vectors, uint32_t count, uint32_t stride, float sx, float sy, float sz) {
  if (!vectors || (sx == 1.0f && sy == 1.0f && sz == 1.0f)) return;
  auto* p = static_cast<uint8_t*>(vectors);
  for (uint32_t i = 0; i < count; i++, p += stride) {
    float v[3];
    std::memcpy(v, p, sizeof v);
    v[0] *= sx;
    v[1] *= sy;
    v[2] *= sz;
    std::memcpy(p, v, sizeof v);
  }
}

void TranslateV(void* vectors, uint32_t count, uint32_t stride, float dx, float dy, float dz) {
  if (!vectors || (dx == 0.0f && dy == 0.0f && dz == 0.0f)) return;
  auto* p = static_cast<uint8_t*>(vectors);
  for (uint32_t i = 0; i < count; i++, p += stride) {
    float v[3];
    std::memcpy(v, p, sizeof v);
    v[0] += dx;
    v[1] += dy;
    v[2] += dz;
    std::memcpy(p, v, sizeof v);
  }
}

void ResizeObject(OBJECT3D* o, float sx, float sy, float sz, uint32_t mode) {
  if (!o) {
    DebugLog("ResizeObject: Fehelrhafte Parameter\xfc" "bergabe.\n");
    return;
  }
  float f[3] = {sx, sy, sz};
  if (mode == 1) {
    // Target sizes; an axis without extent is taken as a target of 0.
    for (int k = 0; k < 3; k++) {
      const float extent = o->max[k] - o->min[k];
      f[k] = (f[k] != 0.0f && extent != 0.0f) ? f[k] / extent : 0.0f;
    }
    if (f[0] == 0.0f) f[0] = (f[1] + f[2]) / 2;
    if (f[1] == 0.0f) f[1] = (f[0] + f[2]) / 2;
    if (f[2] == 0.0f) f[2] = (f[0] + f[1]) / 2;
  }
  ScaleV(MovablePoints(o), Count(o->point_count), sizeof(POINT3D), f[0], f[1], f[2]);
  if (o->change_count <= 0) ScaleV(o->centres, Count(o->centre_count), sizeof(CENTER3D), f[0], f[1], f[2]);
  for (int k = 0; k < 3; k++) {
    o->min[k] *= f[k];
    o->max[k] *= f[k];
  }
}

void CenterObject(OBJECT3D* o, uint32_t fx, uint32_t fy, uint32_t fz) {
  if (!o) {
    DebugLog("CenterObject: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  const uint32_t flag[3] = {fx, fy, fz};
  float d[3];
  for (int k = 0; k < 3; k++) d[k] = flag[k] == 1 ? -(o->min[k] + o->max[k]) / 2 : 0.0f;
  TransalateObejct(o, d[0], d[1], d[2]);
}

void TransalateObejct(OBJECT3D* o, float dx, float dy, float dz) {
  if (!o) {
    DebugLog("TransalateObejct: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  TranslateV(MovablePoints(o), Count(o->point_count), sizeof(POINT3D), dx, dy, dz);
  if (o->change_count <= 0) TranslateV(o->centres, Count(o->centre_count), sizeof(CENTER3D), dx, dy, dz);
  const float d[3] = {dx, dy, dz};
  for (int k = 0; k < 3; k++) {
    o->min[k] += d[k];
    o->max[k] += d[k];
  }
}

void TransformObject(OBJECT3D* o, const float m[16]) {
  if (!o || !m) {
    DebugLog("TransformObject: Fehlerhafet Parameteruebergabe.\n");
    return;
  }
  if (o->change_count > 0) DebugLog("TransformObject: Object <%s> hat VC, Fix.\n", o->name);
  if (o->points && o->point_count > 0) TransformV(m, &o->points[0].x, Count(o->point_count), sizeof(POINT3D));
  if (o->centres && o->centre_count > 0) TransformV(m, o->centres, Count(o->centre_count), sizeof(CENTER3D));
}

void YRotateObject(OBJECT3D* o, float degrees) {
  if (!o) {
    DebugLog("YRotateObject: Fehlerhafte Parameteruebergabe\n");
    return;
  }
  if (degrees == 0.0f) {
    DebugLog("YRotateObject: Es gab nicht zu tun.\n");
    return;
  }
  float m[16];
  SetMry(m, degrees);
  TransformObject(o, m);
}

void SelectObjectTransPoints(OBJECT3D* o) {
  if (!o) {
    DebugLog("SelectObjectTransPoints: Fehlerhfate Paramter\xfc" "bergabe.\n");
    return;
  }
  for (uint32_t k = 0; o->faces && k < Count(o->face_count); k++) {
    const FACE3D f = o->faces[k];
    if (!f.texture || f.texture->depth != 32) continue;
    for (uint32_t i = 0; i < f.points; i++) {
      const uint32_t n = f.first + i;
      uint32_t point = n;
      if (o->index_count > 0) {
        if (n >= Count(o->index_count) || !o->indices) continue;
        point = o->indices[n];
      }
      if (point >= Count(o->point_count)) continue;
      const uint32_t at = o->first_point + point;
      // The selection has one byte per point; points beyond it are added.
      while (ThingCount(THING_SELECT3D) <= at) {
        auto* b = static_cast<SELECT3D*>(GetThing(THING_SELECT3D, kThingAppend));
        if (!b) return;
        *b = 0;
      }
      *static_cast<SELECT3D*>(ThingAt(THING_SELECT3D, at)) = 1;
    }
  }
}

void SetObjectRGBA(OBJECT3D* o, const uint8_t rgba[4]) {
  if (!o || !rgba) {
    DebugLog("SetObjectRGBA: Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  if (o->point_count <= 0 || !o->points) {
    DebugLog("SetObjectRGBA: Dem Object fehlen point Daten.\n");
    return;
  }
  for (uint32_t i = 0; i < Count(o->point_count); i++) std::memcpy(o->points[i].rgba, rgba, 4);
}

void MixRGBA(uint8_t colour[4], const uint8_t other[4]) {
  if (!colour || !other) return;
  for (int k = 0; k < 4; k++) colour[k] = uint8_t((colour[k] + other[k]) / 2);
}

int32_t MakeOneObject(uint32_t first) {
  RelinkIfMoved();
  const uint32_t count = ThingCount(THING_OBJECT3D);
  if (count == 0) {
    DebugLog("MakeOneObject: Es gibt keine Objekte.\n");
    return 0;
  }
  if (first >= count) {
    DebugLog("MakeOneObject: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return 0;
  }
  auto* o = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, 0));
  // The merge adds the counts: each object's arrays must start where the
  // previous one's end.
  for (uint32_t j = first + 1; j < count; j++) {
    const OBJECT3D& a = o[j - 1];
    const OBJECT3D& b = o[j];
    if (b.first_face != a.first_face + Count(a.face_count) || b.first_point != a.first_point + Count(a.point_count) ||
        b.first_index != a.first_index + Count(a.index_count) ||
        b.first_change != a.first_change + Count(a.change_count) ||
        (a.centre_count > 0 && b.centre_count > 0 && b.first_centre != a.first_centre + Count(a.centre_count))) {
      DebugLog("MakeOneObject: Die Objekte liegen nicht hintereinander.\n");
      return 0;
    }
  }
  OBJECT3D& root = o[first];
  ResetHierarchy();
  UpdateHierachy(root.matrix, root.level);
  if (root.points && root.point_count > 0)
    TransformHierarchyV(&root.points[0].x, Count(root.point_count), root.level, sizeof(POINT3D));
  for (uint32_t j = first + 1; j < count; j++) {
    OBJECT3D& c = o[j];
    for (uint32_t k = 0; c.faces && k < Count(c.face_count); k++) c.faces[k].first += c.first_index - root.first_index;
    for (uint32_t k = 0; c.indices && k < Count(c.index_count); k++) c.indices[k] += c.first_point - root.first_point;
    UpdateHierachy(c.matrix, c.level);
    if (c.points && c.point_count > 0)
      TransformHierarchyV(&c.points[0].x, Count(c.point_count), c.level, sizeof(POINT3D));
    root.face_count += c.face_count;
    root.point_count += c.point_count;
    root.centre_count += c.centre_count;
    root.index_count += c.index_count;
    root.change_count += c.change_count;
  }
  TruncateThing(THING_OBJECT3D, first + 1);
  SetBytes(&root);
  SetMi(root.matrix);
  SetObjectBounds(&root);
  Scene().centres_dirty = 1;
  RelinkEngineObjects();
  return 1;
}
