// The VIEW: the one collecting object every frame copies what it shows into,
// the camera that looks at it, the projection, the depth sort of the
// transparent faces and the draw passes (docs/gl3d-view.md).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"

namespace {

OBJECT3D& View() { return E3D().view; }

// The largest object AddObjectToView takes (points and faces), and the room
// the point and index checks keep free for it.
constexpr int32_t kMaxViewObject = 10000;
// ProjectV keeps (P - z) at least this far from 0.
constexpr float kMinDenominator = 1e-6f;

uint32_t Count(int32_t n) { return n > 0 ? uint32_t(n) : 0; }

template <typename T>
T* Base(uint16_t key) {
  const ThingSlot* t = FindThingSlot(key);
  return t && t->data ? reinterpret_cast<T*>(t->data) : nullptr;
}
uint32_t Capacity(uint16_t key) {
  const ThingSlot* t = FindThingSlot(key);
  return t && t->data ? t->capacity : 0;
}

float Clamp(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

// mode 1 sets, 2 adds; any other mode is logged under the caller's name
// and changes nothing (false).
bool SetOrAdd(float& value, float by, uint32_t mode, const char* caller) {
  if (mode == 1) {
    value = by;
  } else if (mode == 2) {
    value += by;
  } else {
    DebugLog("%s: Fehlerhafte Parameter\xfc" "bergabe.\n", caller);
    return false;
  }
  return true;
}

void NotePass(ViewPass pass, uint16_t mode) {
  ViewPassInfo& p = E3D().passes;
  if (p.pass_count < std::size(p.pass)) {
    p.pass[p.pass_count] = pass;
    p.pass_mode[p.pass_count] = mode;
  }
  p.pass_count++;
}

// A pass starts: noted, the VIEW's arrays declared, its render mode set.
void BeginPass(ViewPass pass, uint16_t mode, bool gl) {
  NotePass(pass, mode);
  if (!gl) return;
  SetViewArrays();
  OSSetmode(mode);
}

// GL texture names beyond this are not grouped (the opaque pass keeps the
// VIEW's order).
constexpr uint32_t kMaxGroupedName = 1u << 16;

// The VIEW's faces grouped by the GL name of their texture, in VIEW order
// within a texture (a counting sort); false when a name is out of range.
bool GroupByTexture(const OBJECT3D& v, std::vector<uint32_t>& order, std::vector<uint32_t>& counts) {
  const uint32_t n = v.faces ? Count(v.face_count) : 0;
  uint32_t top = 0;
  for (uint32_t i = 0; i < n; i++)
    if (v.faces[i].texture) top = std::max(top, v.faces[i].texture->gl_name);
  if (top >= kMaxGroupedName) return false;
  counts.assign(size_t(top) + 2, 0);
  auto name = [&v](uint32_t i) { return v.faces[i].texture ? v.faces[i].texture->gl_name : 0u; };
  for (uint32_t i = 0; i < n; i++) counts[name(i) + 1]++;
  for (uint32_t k = 1; k < counts.size(); k++) counts[k] += counts[k - 1];
  order.resize(n);
  for (uint32_t i = 0; i < n; i++) order[counts[name(i)]++] = i;
  return true;
}

// The screen box of a face's projected points: false when the face lies
// wholly beside GL's -1 .. 1 cube (GL gets the projected points with w 1,
// so it draws exactly their triangles, clipped to that cube: such a face
// gives no pixel). A point that is not finite leaves the box the whole
// screen.
bool FaceOnScreen(const OBJECT3D& v, const FACE3D& f, float box[4]) {
  box[0] = box[1] = INFINITY;
  box[2] = box[3] = -INFINITY;
  float z0 = INFINITY, z1 = -INFINITY;
  const uint32_t np = Count(v.point_count), ni = Count(v.index_count);
  if (!v.points || !v.indices || uint64_t(f.first) + f.points > ni) {
    box[0] = box[1] = -1.0f;
    box[2] = box[3] = 1.0f;
    return true;
  }
  for (uint32_t k = 0; k < f.points; k++) {
    const uint32_t i = v.indices[f.first + k];
    if (i >= np) continue;
    const POINT3D& p = v.points[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      box[0] = box[1] = -1.0f;
      box[2] = box[3] = 1.0f;
      return true;
    }
    box[0] = std::min(box[0], p.x);
    box[1] = std::min(box[1], p.y);
    box[2] = std::max(box[2], p.x);
    box[3] = std::max(box[3], p.y);
    z0 = std::min(z0, p.z);
    z1 = std::max(z1, p.z);
  }
  return box[2] >= -1.0f && box[0] <= 1.0f && box[3] >= -1.0f && box[1] <= 1.0f && z1 >= -1.0f && z0 <= 1.0f;
}

// One batch pass over the VIEW's faces of a texture format. The opaque
// pass takes them grouped by texture: drawn with the depth test and without
// blending, the nearest fragment wins whatever the order, and each texture
// costs one draw instead of one per change of texture along the VIEW; the
// other passes keep the VIEW's order.
void BatchPass(ViewPass pass, uint16_t mode, uint16_t format, bool gl) {
  Engine3DState& s = E3D();
  const OBJECT3D& v = s.view;
  BeginPass(pass, mode, gl);
  const bool grouped = gl && pass == kPassOpaque && GroupByTexture(v, s.opaque_order, s.opaque_counts);
  for (uint32_t k = 0; v.faces && k < Count(v.face_count); k++) {
    const uint32_t i = grouped ? s.opaque_order[k] : k;
    const FACE3D& f = v.faces[i];
    if (pass == kPassOpaque && i == s.skip_face) {
      s.passes.skipped_faces++;
      continue;
    }
    if (!f.texture) {
      if (pass == kPassOpaque) {
        DebugLog("DrawView: Face <%ld> im VIEW hat keine Texur.\n", long(i));
        s.passes.untextured_faces++;
      }
      continue;
    }
    // Faces of more than 50 points are particle ranges (their own pass).
    if (f.texture->format != format || f.points > 50) continue;
    float box[4];
    if (gl && !FaceOnScreen(v, f, box)) {
      s.passes.offscreen_faces++;
      continue;
    }
    if (gl) AddFaceToBatch(&f);
    (pass == kPassOpaque ? s.passes.opaque_faces : s.passes.sky_faces)++;
  }
  if (gl) FlushFaceBatch();
}

// The transparent faces in the order the blended pass takes them (GL
// only): from the depth sort (farthest first), the faces of a texture
// together, the textures in the order their farthest faces come, each
// texture's faces far to near. Faces wholly beside the screen are left out;
// faces whose texture name is beyond the grouping's range come first, in
// depth order.
void TransparentOrder(const SORT3D* sorted, uint32_t n) {
  Engine3DState& s = E3D();
  const OBJECT3D& v = s.view;
  std::vector<uint32_t>& order = s.blend_order;
  std::vector<uint32_t>& rank = s.blend_rank;
  std::vector<uint32_t>& kept = s.opaque_order;
  kept.clear();
  uint32_t ranks = 0;
  auto name_of = [&v](uint32_t i) { return v.faces[i].texture ? v.faces[i].texture->gl_name : 0u; };
  for (uint32_t k = n; sorted && k-- > 0;) {
    const uint32_t i = sorted[k].face;
    if (i >= Count(v.face_count) || v.faces[i].points > 50) continue;
    float box[4];
    if (!FaceOnScreen(v, v.faces[i], box)) {
      s.passes.offscreen_faces++;
      continue;
    }
    const uint32_t name = name_of(i);
    if (name < kMaxGroupedName) {
      if (rank.size() <= name) rank.resize(size_t(name) + 1, ~0u);
      if (rank[name] == ~0u) rank[name] = ranks++;
    }
    kept.push_back(i);
  }
  // A counting sort by rank (the loose faces as rank 0), far to near within
  // a rank.
  std::vector<uint32_t>& counts = s.opaque_counts;
  counts.assign(size_t(ranks) + 2, 0);
  auto slot = [&](uint32_t i) {
    const uint32_t name = name_of(i);
    return name >= kMaxGroupedName ? 0u : rank[name] + 1;
  };
  for (uint32_t i : kept) counts[slot(i) + 1]++;
  for (size_t r = 1; r < counts.size(); r++) counts[r] += counts[r - 1];
  order.resize(kept.size());
  for (uint32_t i : kept) order[counts[slot(i)]++] = i;
  // The ranks start afresh next time.
  for (uint32_t i : kept)
    if (name_of(i) < kMaxGroupedName) rank[name_of(i)] = ~0u;
}

// The blended pass: the sorted transparent faces, farthest (largest key)
// first; with GL in the grouped order of TransparentOrder, one call per
// texture instead of one per change of texture along the depth order (the
// terrain's foliage comes in four shades, each a texture of its own, so the
// depth order changed texture at almost every face). The order changes
// only where faces of different textures overlap, inside a tree's crown or
// a reed bed: a few pixels in a thousand of the landscape, none of them
// seen apart.
void BlendedPass(const SORT3D* sorted, uint32_t n, bool gl) {
  Engine3DState& s = E3D();
  const OBJECT3D& v = s.view;
  BeginPass(kPassBlended, 2, gl);
  if (!gl) {
    for (uint32_t k = n; sorted && k-- > 0;) {
      const uint32_t i = sorted[k].face;
      if (i >= Count(v.face_count) || v.faces[i].points > 50) continue;
      s.passes.blended_faces++;
    }
    return;
  }
  for (uint32_t i : s.blend_order) {
    AddFaceToBatch(&v.faces[i]);
    s.passes.blended_faces++;
  }
  FlushFaceBatch();
}

void ParticlePass(bool gl) {
  Engine3DState& s = E3D();
  const OBJECT3D& v = s.view;
  BeginPass(kPassParticles, 1, gl);
  // Consecutive ranges of one mode go to GL together, in their order.
  DrawRange group[64];
  uint32_t n = 0;
  for (uint32_t i = 0; v.faces && i < Count(v.face_count); i++) {
    const FACE3D& f = v.faces[i];
    if (f.points <= 50 || !f.texture) continue;
    const DrawRange range{f.first, f.points, f.texture_index};
    if (gl && n && (n == std::size(group) || group[0].mode != range.mode)) {
      DrawIndexRanges(group, n);
      n = 0;
    }
    if (gl) group[n++] = range;
    s.passes.particle_ranges++;
  }
  if (gl && n) DrawIndexRanges(group, n);
}

// Copies the object's arrays to the ends of the VIEW's and points `copy`
// at them; false (nothing counted) when an index or a face leads outside
// the object.
bool CopyIntoView(const OBJECT3D* o, OBJECT3D* copy) {
  OBJECT3D& v = View();
  auto* faces = Base<FACE3D>(THING_VFACE3D);
  auto* points = Base<POINT3D>(THING_VPOINT3D);
  auto* indices = Base<PINDEX3D>(THING_VPINDEX3D);
  auto* centres = Base<CENTER3D>(THING_VCENTER3D);
  const uint32_t nf = Count(o->face_count), np = Count(o->point_count);
  const uint32_t nc = o->centres ? Count(o->centre_count) : 0;
  // An object without indices uses its points in order.
  const bool own_indices = o->indices && o->index_count > 0;
  const uint32_t ni = own_indices ? Count(o->index_count) : np;
  const uint32_t vf = Count(v.face_count), vp = Count(v.point_count), vi = Count(v.index_count),
                 vc = Count(v.centre_count);
  *copy = *o;
  copy->faces = faces + vf;
  copy->points = points + vp;
  copy->indices = indices + vi;
  copy->centres = centres + vc;
  copy->first_face = vf;
  copy->first_point = vp;
  copy->first_index = vi;
  copy->first_centre = vc;
  copy->centre_count = int32_t(nc);
  copy->index_count = int32_t(ni);
  copy->first_change = 0;
  copy->change_count = 0;
  copy->change_bytes = 0;
  copy->changes = nullptr;
  if (nf) std::memcpy(copy->faces, o->faces, size_t(nf) * sizeof(FACE3D));
  if (np) std::memcpy(copy->points, o->points, size_t(np) * sizeof(POINT3D));
  if (nc) std::memcpy(copy->centres, o->centres, size_t(nc) * sizeof(CENTER3D));
  for (uint32_t i = 0; i < ni; i++) {
    const uint32_t p = own_indices ? o->indices[i] : i;
    if (p >= np) return false;
    copy->indices[i] = p + vp;
  }
  for (uint32_t i = 0; i < nf; i++) {
    FACE3D& f = copy->faces[i];
    if (uint64_t(f.first) + f.points > ni) return false;
    f.first += vi;
  }
  return true;
}

// Vertex changes pose the copy: each sets its point to the decoded
// position over the source object's box.
void PoseCopy(const OBJECT3D* o, OBJECT3D* copy) {
  if (!o->changes || o->change_count <= 0) return;
  const uint32_t np = Count(copy->point_count);
  for (uint32_t k = 0; k < Count(o->change_count); k++) {
    const VERTEXCHANGE3D& c = o->changes[k];
    if (c.point >= np) continue;
    const uint16_t q[3] = {c.x, c.y, c.z};
    float xyz[3];
    for (int a = 0; a < 3; a++) xyz[a] = float(q[a]) * (o->max[a] - o->min[a]) / 32767.0f + o->min[a];
    POINT3D& p = copy->points[c.point];
    p.x = xyz[0];
    p.y = xyz[1];
    p.z = xyz[2];
  }
}

// Points marked in SELECT3D sway with the wind, by their height squared.
void BlowCopy(const OBJECT3D* o, OBJECT3D* copy) {
  Engine3DState& s = E3D();
  if (s.engine.wind_on != 1) return;
  const auto* select = Base<SELECT3D>(THING_SELECT3D);
  const uint32_t marks = ThingCount(THING_SELECT3D);
  if (!select) return;
  for (uint32_t i = 0; i < Count(copy->point_count); i++) {
    const uint64_t at = uint64_t(o->first_point) + i;
    if (at >= marks || select[at] != 1) continue;
    POINT3D& p = copy->points[i];
    const float yy = p.y * p.y;
    p.x += yy * s.wind[0];
    p.z += yy * s.wind[1];
  }
}

// The VIEW's arrays, read again from the stores' bases; false when a
// store is missing.
bool ViewReady() {
  OBJECT3D& v = View();
  v.faces = Base<FACE3D>(THING_VFACE3D);
  v.points = Base<POINT3D>(THING_VPOINT3D);
  v.indices = Base<PINDEX3D>(THING_VPINDEX3D);
  v.centres = Base<CENTER3D>(THING_VCENTER3D);
  return v.faces && v.points && v.indices && v.centres;
}

// An object that looks broken: logged and counted, nothing added.
bool Refuse() {
  DebugLog("AddObjectToView: Objekt scheint fehlerhaft zu sein.\n");
  E3D().passes.refused_objects++;
  return false;
}

void SetViewBytes(OBJECT3D& v) {
  v.face_bytes = GetThingSize(THING_VFACE3D, Count(v.face_count));
  v.point_bytes = GetThingSize(THING_VPOINT3D, Count(v.point_count));
  v.index_bytes = GetThingSize(THING_VPINDEX3D, Count(v.index_count));
  v.centre_bytes = GetThingSize(THING_VCENTER3D, Count(v.centre_count));
}

// Insertion of three (or fewer) entries into out, ascending, a later entry
// before an earlier one of equal key.
void SortRun(const SORT3D* in, SORT3D* out, uint32_t n) {
  for (uint32_t i = 0; i < n; i++) {
    const SORT3D e = in[i];
    uint32_t j = i;
    while (j > 0 && !(out[j - 1].key < e.key)) {
      out[j] = out[j - 1];
      j--;
    }
    out[j] = e;
  }
}

// Merges the runs a [0, na) and b [0, nb) into out; on equal keys b first.
void MergeRuns(const SORT3D* a, uint32_t na, const SORT3D* b, uint32_t nb, SORT3D* out) {
  uint32_t i = 0, j = 0;
  // Without a branch on the comparison: depth keys come in no order.
  while (i < na && j < nb) {
    const bool from_a = a[i].key < b[j].key;
    *out++ = from_a ? a[i] : b[j];
    i += from_a;
    j += !from_a;
  }
  while (i < na) *out++ = a[i++];
  while (j < nb) *out++ = b[j++];
}

}  // namespace

OBJECT3D* ViewObject() { return &E3D().view; }
OBJECT3D* LastViewObject() { return &E3D().last_view; }
CameraRecord* Camera() { return &E3D().camera; }
ViewPassInfo ViewPasses() { return E3D().passes; }
void ResetViewPasses() { E3D().passes = ViewPassInfo{}; }

void ResetViewState() {
  Engine3DState& s = E3D();
  CameraRecord& c = s.camera;
  c = CameraRecord{};
  c.perspective = s.engine.perspective;
  c.ratio = 1.0f;
  c.clip_min[0] = c.clip_min[1] = -0.999f;
  c.clip_max[0] = c.clip_max[1] = 0.999f;
  c.clip_min[2] = 0.001f;
  c.clip_max[2] = 1.0f;
  c.distance[2] = kCameraDistance;
  SetMi(c.matrix);
  c.transform = c.project = 1;
  s.skip_face = kNoSkipFace;
  s.grid_pairs = 20;
  s.grid_rows = 36;
  s.frame_time = 0;
  s.hold = 0;
  s.wind[0] = s.wind[1] = 0.0f;
  s.scene_built = 0;
  s.bird_entry = s.shield_entry = -1;
  s.bird_offset[0] = 50.0f;
  s.bird_offset[1] = 120.0f;
  s.bird_offset[2] = -30.0f;
  s.passes = ViewPassInfo{};
  ClearObject(&s.last_view);
  InitView();
}

void InitView() {
  OBJECT3D& v = View();
  ClearObject(&v);
  std::strcpy(v.name, "VIEW");
  v.faces = Base<FACE3D>(THING_VFACE3D);
  v.points = Base<POINT3D>(THING_VPOINT3D);
  v.indices = Base<PINDEX3D>(THING_VPINDEX3D);
  v.centres = Base<CENTER3D>(THING_VCENTER3D);
}

void AddObjectToView(OBJECT3D* o, float x, float y, float z, float scale) { AddObjectCopy(o, x, y, z, scale); }

bool AddObjectCopy(OBJECT3D* o, float x, float y, float z, float scale) {
  Engine3DState& s = E3D();
  // A refused object leaves an empty LastViewObject: moving or colouring
  // it then changes nothing.
  ClearObject(&s.last_view);
  // The VIEW and the copy's own record live in the arrays a draw empties.
  if (!o || o == &s.view || o == &s.last_view) {
    DebugLog("AddObjectToView: Fehlerhafte Paramteruebergabe.\n");
    return false;
  }
  // A broken object is refused before it could force a draw.
  if (o->face_count < 0 || o->point_count < 0 || o->index_count < 0 || o->centre_count < 0 ||
      o->point_count > kMaxViewObject || o->face_count > kMaxViewObject || (o->face_count > 0 && !o->faces) ||
      (o->point_count > 0 && !o->points)) {
    return Refuse();
  }
  if (!ViewReady()) {
    DebugLog("AddObjectToView: Fehlerhafte Paramteruebergabe.\n");
    return false;
  }
  const EngineRecord& e = s.engine;
  const int64_t of = o->face_count, op = o->point_count;
  const int64_t oi = o->indices && o->index_count > 0 ? o->index_count : op;
  const int64_t oc = o->centres ? o->centre_count : 0;
  // An object larger than the empty VIEW never fits: refused before it
  // could force a draw.
  if (of > int64_t(Capacity(THING_VFACE3D)) || op > int64_t(Capacity(THING_VPOINT3D)) ||
      oi > int64_t(Capacity(THING_VPINDEX3D)) || oc > int64_t(Capacity(THING_VCENTER3D))) {
    return Refuse();
  }
  const OBJECT3D& v = View();
  if (v.face_count + of > int64_t(e.cap_view_faces)) {
    DebugLog("AddObjectToView: VIEW FULL, Zuviele Faces.\n");
    s.passes.early_draws++;
    DrawView();
  }
  if (v.point_count + op > int64_t(e.cap_view_points) - kMaxViewObject) {
    DebugLog("AddObjectToView: VIEW FULL, Zuviele Punkte.\n");
    s.passes.early_draws++;
    DrawView();
  }
  if (v.index_count + oi > int64_t(e.cap_view_point_indices) - kMaxViewObject) {
    DebugLog("AddObjectToView: VIEW FULL, Zuviele Punkt Indices.\n");
    s.passes.early_draws++;
    DrawView();
  }
  if (v.centre_count + oc > int64_t(e.cap_view_centres)) {
    DebugLog("AddObjectToView: VIEW FULL, Zuviele Centers.\n");
    s.passes.early_draws++;
    DrawView();
  }
  // The stores themselves must hold the copy (capacities smaller than the
  // settings, or an object with more indices than the margin).
  if (v.face_count + of > int64_t(Capacity(THING_VFACE3D)) || v.point_count + op > int64_t(Capacity(THING_VPOINT3D)) ||
      v.index_count + oi > int64_t(Capacity(THING_VPINDEX3D)) ||
      v.centre_count + oc > int64_t(Capacity(THING_VCENTER3D))) {
    return Refuse();
  }
  OBJECT3D* copy = &s.last_view;
  if (!CopyIntoView(o, copy)) {
    ClearObject(copy);
    return Refuse();
  }
  PoseCopy(o, copy);
  BlowCopy(o, copy);
  SizeTranslateObject(copy, x, y, z, scale);
  OBJECT3D& view = View();
  view.face_count += copy->face_count;
  view.point_count += copy->point_count;
  view.index_count += copy->index_count;
  view.centre_count += copy->centre_count;
  SetViewBytes(view);
  copy->face_bytes = GetThingSize(THING_VFACE3D, Count(copy->face_count));
  copy->point_bytes = GetThingSize(THING_VPOINT3D, Count(copy->point_count));
  copy->index_bytes = GetThingSize(THING_VPINDEX3D, Count(copy->index_count));
  copy->centre_bytes = GetThingSize(THING_VCENTER3D, Count(copy->centre_count));
  return true;
}

void SizeTranslateObject(OBJECT3D* o, float x, float y, float z, float scale) {
  if (!o) {
    DebugLog("SizeTranslateObject: Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  if (x == 0.0f && y == 0.0f && z == 0.0f && scale == 1.0f) return;
  if (o->change_count <= 0) {
    if (o->points && o->point_count > 0)
      ResizeTranslateV(&o->points[0].x, Count(o->point_count), x, y, z, scale, sizeof(POINT3D));
    if (o->centres && o->centre_count > 0)
      ResizeTranslateV(o->centres, Count(o->centre_count), x, y, z, scale, sizeof(CENTER3D));
  }
  ResizeTranslateV(o->min, 1, x, y, z, scale, sizeof(float) * 3);
  ResizeTranslateV(o->max, 1, x, y, z, scale, sizeof(float) * 3);
}

void ResizeTranslateV(void* vectors, uint32_t count, float x, float y, float z, float scale, uint32_t stride) {
  if (!vectors) {
    DebugLog("ResizeTranslateV: Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  if (scale == 1.0f) return TranslateV(vectors, count, stride, x, y, z);
  auto* p = static_cast<uint8_t*>(vectors);
  for (uint32_t i = 0; i < count; i++, p += stride) {
    float v[3];
    std::memcpy(v, p, sizeof v);
    v[0] = v[0] * scale + x;
    v[1] = v[1] * scale + y;
    v[2] = v[2] * scale + z;
    std::memcpy(p, v, sizeof v);
  }
}

void DrawView() {
  Engine3DState& s = E3D();
  s.passes.draws++;
  s.passes.pass_count = 0;
  if (ViewReady()) {
    OBJECT3D& v = s.view;
    if (s.camera.transform) TransformObject(&v, s.camera.matrix);
    if (s.camera.project) ProjectView();
    uint32_t n = 0;
    const SORT3D* sorted = SortFaceCenters(&n);
    // Without a GL context (tools, tests) the passes only count.
    const bool gl = GL3D().context != 0;
    BatchPass(kPassOpaque, 1, 1, gl);
    if (gl) TransparentOrder(sorted, n);
    BlendedPass(sorted, n, gl);
    if (s.engine.sky_on == 1) BatchPass(kPassSky, 3, 3, gl);
    ParticlePass(gl);
  }
  InitView();
}

void ProjectView() {
  OBJECT3D& v = View();
  if (v.points && v.point_count > 0) ProjectV(&v.points[0].x, Count(v.point_count), sizeof(POINT3D));
  if (v.centres && v.centre_count > 0) ProjectV(v.centres, Count(v.centre_count), sizeof(CENTER3D));
}

void ProjectV(void* vectors, uint32_t count, uint32_t stride) {
  if (!vectors) {
    DebugLog("ProjectV: Fehlerhafte Paramteruebergabe 001.\n");
    return;
  }
  if (count == 0) return;
  Engine3DState& s = E3D();
  CameraRecord& c = s.camera;
  const double width = double(s.grid_pairs) * 96.0, depth = double(s.grid_rows) * 55.424;
  c.depth = float(std::sqrt(width * width + depth * depth) * 0.8);
  c.half_depth = c.depth / 2.0f;
  const float d = c.depth > 0.0f ? c.depth : 1.0f, half = c.half_depth;
  const float ratio = s.engine.correct_ratio ? c.ratio : 1.0f;
  const float fx = -c.factor, fy = -c.factor * ratio, p = c.perspective;
  auto* at = static_cast<uint8_t*>(vectors);
  if (!s.scene_built) {
    // Before the scene is built: a parallel projection.
    for (uint32_t i = 0; i < count; i++, at += stride) {
      float v[3];
      std::memcpy(v, at, sizeof v);
      v[2] = (half - v[2]) / d;
      v[0] *= fx;
      v[1] *= fy;
      std::memcpy(at, v, sizeof v);
    }
    return;
  }
  for (uint32_t i = 0; i < count; i++, at += stride) {
    float v[3];
    std::memcpy(v, at, sizeof v);
    v[2] = (half - v[2]) / d;
    float den = p - v[2];
    if (!(std::fabs(den) >= kMinDenominator)) den = den < 0.0f ? -kMinDenominator : kMinDenominator;
    const float k = p / den;
    v[0] *= fx * k;
    v[1] *= fy * k;
    std::memcpy(at, v, sizeof v);
  }
}

SORT3D* SortFaceCenters(uint32_t* count) {
  Engine3DState& s = E3D();
  const OBJECT3D& v = s.view;
  SORT3D* entries = Base<SORT3D>(THING_SORT3D);
  SORT3D* temporary = Base<SORT3D>(THING_SORTTMP);
  uint32_t n = 0;
  const uint32_t limit =
      std::min({s.engine.cap_view_centres, Capacity(THING_SORT3D), Capacity(THING_SORTTMP)});
  if (entries && temporary && v.faces) {
    const uint32_t centres = v.centres ? Count(v.centre_count) : 0;
    for (uint32_t i = 0; i < Count(v.face_count); i++) {
      const FACE3D& f = v.faces[i];
      if (!f.texture || f.texture->format != 2) continue;
      if (n >= limit) {
        DebugLog("SortFaceCenters: Too many V Centers.\n");
        break;
      }
      // A face beyond the VIEW's centres takes the depth of its first point.
      float key = 0.0f;
      if (n < centres)
        key = v.centres[n].z;
      else if (v.indices && v.points && f.points > 0)
        key = v.points[v.indices[f.first]].z;
      entries[n++] = SORT3D{i, key};
    }
  }
  if (count) *count = n;
  return n ? MergeSortKeys(entries, temporary, n) : entries;
}

SORT3D* MergeSortKeys(SORT3D* entries, SORT3D* temporary, uint32_t count) {
  if (!entries || !temporary || count == 0) return entries;
  for (uint32_t i = 0; i < count; i += 3) SortRun(entries + i, temporary + i, std::min(3u, count - i));
  SORT3D* from = temporary;
  SORT3D* to = entries;
  for (uint64_t width = 3; width < count; width *= 2) {
    for (uint64_t i = 0; i < count; i += 2 * width) {
      const uint32_t na = uint32_t(std::min<uint64_t>(width, count - i));
      const uint32_t nb = uint32_t(std::min<uint64_t>(width, count - i - na));
      MergeRuns(from + i, na, from + i + na, nb, to + i);
    }
    std::swap(from, to);
  }
  return from;
}

void SetViewRotation(float angle, uint32_t mode) {
  CameraRecord& c = E3D().camera;
  if (!SetOrAdd(c.rotation, angle, mode, "SetViewRotation")) return;
  if (c.rotation >= 360.0f) c.rotation = 0.0f;
}

void SetViewFlip(float angle, uint32_t mode) {
  Engine3DState& s = E3D();
  CameraRecord& c = s.camera;
  if (!SetOrAdd(c.flip, angle, mode, "SetViewFlip")) return;
  c.flip = Clamp(c.flip, s.engine.flip_min, s.engine.flip_max);
}

void SetViewScale(float scale, uint32_t mode) {
  Engine3DState& s = E3D();
  EngineRecord& e = s.engine;
  if (mode == 1) e.scale = scale;
  if (mode == 2) e.scale += scale;
  e.scale = Clamp(e.scale, e.scale_min, e.scale_max);
  s.camera.factor = e.scale * (s.scene_built ? 0.008f : 0.032f);
  UpdateFog();
}

void SetPostion(float v[4], float x, float y, float z, float w, uint32_t mode) {
  if (v && mode == 1) {
    v[0] = x, v[1] = y, v[2] = z, v[3] = w;
  } else if (v && mode == 2) {
    v[0] += x, v[1] += y, v[2] += z, v[3] += w;
  } else {
    DebugLog("SetPostion: Parmeter\xfc" "bergabe Fehlerhaft.\n");
  }
  UpdateFog();
}

void SetV(float v[3], float x, float y, float z) {
  if (!v) {
    DebugLog("SetV: Fehlerhafte Parameter\xfc" "bergabe.\n");
    return;
  }
  v[0] = x, v[1] = y, v[2] = z;
}

void UpdateFog() {
  Engine3DState& s = E3D();
  EngineRecord& e = s.engine;
  e.fog_start = Clamp(e.view_fog_start, 0.0f, s.camera.clip_max[2]);
  e.fog_density = Clamp(e.view_fog_density, 0.0f, 1.0f);
  if (!GL3D().context) return;
  SetFog();
  SetClearColor(e.fog_rgba[0], e.fog_rgba[1], e.fog_rgba[2], e.fog_rgba[3]);
}

void BuildCameraMatrix() {
  Engine3DState& s = E3D();
  CameraRecord& c = s.camera;
  float r[16];
  SetMry(c.matrix, c.rotation);
  SetMrx(r, c.flip);
  MatrixMul(c.matrix, r, c.matrix);
  if (s.scene_built) {
    SetMt(r, c.distance[0], c.distance[1], c.distance[2]);
    MatrixMul(c.matrix, r, c.matrix);
  }
}

void SetViewAspect(float ratio) {
  Engine3DState& s = E3D();
  s.camera.ratio = s.engine.correct_ratio && ratio > 0.0f && std::isfinite(ratio) ? ratio : 1.0f;
}
