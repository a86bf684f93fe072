// The per-frame 3D map scene: a copy of the published map taken under the
// map lock, the scene window's cells synchronised from it, the cells the
// camera sees, their terrain models, the figures as characters, barriers
// along borders, towns' fire and smoke, weather and the overlay
// (docs/gl3d-scene.md, "The frame"). Window thread only.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "gl3d_internal.h"
#include "platform/display.h"
#include "routinen/map/map.h"
#include "routinen/map/mapscreen.h"

namespace {

MapSceneState& M() { return E3D().map_scene; }
EngineRecord& E() { return E3D().engine; }

OBJECT3D* Object(int32_t index) {
  return index >= 0 ? static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(index))) : nullptr;
}

uint32_t Columns() { return 2u * E3D().grid_pairs; }
uint32_t Rows() { return E3D().grid_rows; }
uint32_t CellCount() { return Columns() * Rows(); }

template <typename T>
T Relaxed(const T& field) {
  return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

// While the map screen picks a hex (its range flag on), the hexes of the
// scene window within reach, from the map's reach map (240 x 120 bits, laid
// out like the window of map parts, least significant bit first). The map
// screen changes the flag and the reach map only under the map lock.
void CopyReach(const QoEMapInfo* map, MapFrameCopy& c) {
  const uint8_t* bits = map->ReachMap;
  c.reach_on = (Relaxed(map->Flags) & MAPF_RANGE) && bits ? 1 : 0;
  if (!c.reach_on) return;
  const uint32_t columns = c.columns, rows = c.rows;
  for (uint32_t r = 0; r < rows; r++)
    for (uint32_t k = 0; k < columns; k++) {
      const int64_t col = int64_t(c.view_column) + k, row = int64_t(c.view_row) + r;
      const bool inside = col >= 0 && row >= 0 && col < kCMapColumns && row < kCMapRows;
      c.reach[r * columns + k] = inside ? (bits[row * (kCMapColumns / 8) + col / 8] >> (col & 7)) & 1 : 0;
    }
}

// Copies what the frame needs of the map (lock held).
void CopyMap(const QoEMapInfo* map, MapFrameCopy& c) {
  c.world_x = Relaxed(map->X);
  c.world_y = Relaxed(map->Y);
  c.view_column = Relaxed(map->ViewColumn);
  c.view_row = Relaxed(map->ViewRow);
  c.pixel_column = Relaxed(map->PixelColumn);
  c.pixel_row = Relaxed(map->PixelRow);
  c.own_player = Relaxed(map->OwnPlayer);
  const uint32_t columns = c.columns, rows = c.rows;
  const MapTile* cmap = map->CMap;
  for (uint32_t r = 0; r < rows; r++)
    for (uint32_t k = 0; k < columns; k++) {
      const uint32_t i = r * columns + k;
      const int64_t col = int64_t(c.view_column) + k, row = int64_t(c.view_row) + r;
      c.figure_type[i] = 0;
      c.figure_state[i] = 0;
      // A cell outside the window of map parts stays empty.
      if (!cmap || col < 0 || row < 0 || col >= kCMapColumns || row >= kCMapRows) {
        c.terrain[i] = 0;
        c.owner[i] = kNobody;
        continue;
      }
      const MapTile& t = cmap[row * kCMapColumns + col];
      uint16_t grafik;
      uint32_t owner;
      std::memcpy(&grafik, reinterpret_cast<const uint8_t*>(&t) + 8, 2);
      std::memcpy(&owner, reinterpret_cast<const uint8_t*>(&t) + 14, 4);
      c.terrain[i] = uint8_t(grafik & 0xFF);
      c.owner[i] = owner;
    }
  CopyReach(map, c);
  // One pass over the figure list: a later figure on the same hex wins; a
  // figure carried aboard a ship is not shown.
  const uint8_t* list = map->Figures;
  if (!list || map->FigureBytes < 2) return;
  uint32_t n = MapFigurCount(list);
  const uint32_t room = (map->FigureBytes - 2) / kFigurSize;
  if (n > room) n = room;
  for (uint32_t f = 0; f < n; f++) {
    MapFigur fig{};
    std::memcpy(&fig, list + 2 + f * kFigurSize, sizeof fig);
    // A position outside the world matches no hex.
    if (fig.Status == 7 || fig.X >= uint32_t(kWorldColumns) || fig.Y >= uint32_t(kWorldRows)) continue;
    const int64_t dx = (int64_t(fig.X) - c.world_x + kWorldColumns) % kWorldColumns;
    const int64_t dy = (int64_t(fig.Y) - c.world_y + kWorldRows) % kWorldRows;
    if (dx < 0 || dy < 0 || dx >= columns || dy >= rows) continue;
    const uint32_t i = uint32_t(dy) * columns + uint32_t(dx);
    c.figure_type[i] = uint16_t(fig.Typ + 1u);
    c.figure_state[i] = fig.Status;
  }
}

// The key of a barrier between receiving owner r and neighbour owner n.
uint8_t BarrierValue(uint32_t r, uint32_t n) {
  if (r == n) return 0;
  static const uint8_t kTable[9] = {2, 3, 2, 3, 0, 1, 2, 1, 0};
  const EngineRecord& e = E();
  const uint32_t user = e.owner_user == 0 ? E3D().map_copy.own_player : uint32_t(e.owner_user);
  const uint32_t null = uint32_t(e.owner_null);
  uint32_t key = 0;
  if (r == user) key = 3;
  if (r == null) key = 6;
  if (n == user) key += 1;
  if (n == null) key += 2;
  return kTable[key];
}

MapCell3D& Cell(uint32_t r, uint32_t k) { return M().cells[r * Columns() + k]; }

void Mark(MapCell3D& receiving, const MapCell3D& neighbour, int edge) {
  const uint8_t v = BarrierValue(receiving.owner, neighbour.owner);
  if (v) receiving.barriers[edge] = v;
}

// The cell's projected centre as last worked out.
const float* Projected(uint32_t i) { return M().centres[i]; }

bool InClip(const float* p) {
  const CameraRecord& c = *Camera();
  for (int a = 0; a < 3; a++)
    if (!(p[a] > c.clip_min[a] && p[a] < c.clip_max[a])) return false;
  return true;
}

void AddAt(int32_t object, float x, float y, float z) {
  if (OBJECT3D* o = Object(object)) AddObjectToView(o, x, y, z, 1.0f);
}

bool IsTown(uint8_t terrain) { return terrain == 4 || (terrain >= 35 && terrain <= 38); }

// A hex within reach: the copy's colours times the reach colour, each
// point's alpha kept (water stays see-through).
void TintReach(OBJECT3D* o, const uint8_t tint[4]) {
  if (!o || !o->points) return;
  for (int32_t k = 0; k < o->point_count; k++)
    for (int j = 0; j < 3; j++) o->points[k].rgba[j] = uint8_t(o->points[k].rgba[j] * tint[j] / 255);
}

// The triangles of the figure AddElementToView just put into the VIEW (its
// faces from `first` on, their points still in world coordinates), kept
// with its cell for the clicks: a click on the figure's drawn body takes the
// hex it stands on, not the ground of the hex behind it.
void KeepFigureFaces(uint32_t cell, uint32_t first) {
  Engine3DState& s = E3D();
  const ThingSlot* fs = FindThingSlot(THING_VFACE3D);
  const ThingSlot* is = FindThingSlot(THING_VPINDEX3D);
  const ThingSlot* ps = FindThingSlot(THING_VPOINT3D);
  if (!fs || !fs->data || !is || !is->data || !ps || !ps->data) return;
  const uint32_t faces = std::min(uint32_t(std::max(s.view.face_count, 0)), fs->capacity);
  const uint32_t points = std::min(uint32_t(std::max(s.view.point_count, 0)), ps->capacity);
  const auto* face = reinterpret_cast<const FACE3D*>(fs->data);
  const auto* index = reinterpret_cast<const PINDEX3D*>(is->data);
  const auto* point = reinterpret_cast<const POINT3D*>(ps->data);
  for (uint32_t f = first; f < faces; f++) {
    const FACE3D& fc = face[f];
    // Faces without a texture are never drawn; a particle range is no body.
    if (!fc.texture || fc.points < 3 || fc.points > kParticleFacePoints) continue;
    if (uint64_t(fc.first) + fc.points > is->capacity) continue;
    const PINDEX3D* p = index + fc.first;
    bool inside = true;
    for (uint32_t k = 0; k < fc.points; k++) inside = inside && p[k] < points;
    if (!inside) continue;
    // As the face batch draws it: a fan round its first point.
    for (uint32_t t = 0; t + 2 < fc.points; t++)
      for (const PINDEX3D k : {p[t + 1], p[t + 2], p[0]}) {
        s.figure_corners.push_back(point[k].x);
        s.figure_corners.push_back(point[k].y);
        s.figure_corners.push_back(point[k].z);
      }
    s.figure_cells.resize(s.figure_corners.size() / 9, cell);
  }
}

// Step 13: one visible cell into the view.
void DrawCell(MapCell3D& cell, int phase, int stagger) {
  const EngineRecord& e = E();
  MapSceneState& m = M();
  SceneModelState& s = *SceneModels();
  const float* g = E3D().grid_offset;
  const float P[3] = {cell.x + g[0], cell.y + g[1], cell.z + g[2]};
  // The terrain model of the zoom.
  cell.model = nullptr;
  cell.model_index = 0;
  if (s.hexagons && cell.terrain < kHexagonTypes) {
    const HexagonType& h = s.hexagons[cell.terrain];
    const bool high = e.scale >= e.high_poly_scale;
    cell.model = high ? h.high : h.low;
    cell.model_index = high ? h.high_index : h.low_index;
  }
  if (!cell.model && cell.terrain != 0 && s.hexagons) {
    cell.model = s.hexagons[99].low;
    cell.model_index = s.hexagons[99].low_index;
  }
  // The figure standing there.
  if (cell.character && cell.terrain && E3D().characters && cell.character < kCharacterEntries) {
    const CharacterEntry& c = E3D().characters[cell.character];
    ELEMENT3D* element = e.use_animations == 1 ? c.high : c.low;
    E3D().hold = c.state == kCharacterLazing && phase != stagger;
    // Not on the focus cell; the figure on the marked hex stays in sight.
    if (&cell != M().focus && element) {
      // A VIEW drawn early while the figure went in holds only the figure.
      const uint32_t draws = E3D().passes.draws;
      const uint32_t first = uint32_t(std::max(E3D().view.face_count, 0));
      AddElementToView(element, P[0], P[1], P[2]);
      KeepFigureFaces(uint32_t(&cell - m.cells), E3D().passes.draws == draws ? first : 0);
    }
    E3D().hold = 0;
  }
  // Barriers: byte b stands on edge object (b + 1) mod 6 of its set.
  if (m.barriers >= 0)
    for (int b = 0; b < 6; b++) {
      const int edge = (b + 1) % 6;
      const float* off = m.barrier_offsets[edge];
      if (cell.barriers[b] & 1) AddAt(m.barriers + edge, P[0] + off[0], P[1] + off[1], P[2] + off[2]);
      if (cell.barriers[b] & 2) AddAt(m.barriers + 6 + edge, P[0] + off[0], P[1] + off[1], P[2] + off[2]);
    }
  if (e.wind_on == 1) SetWind(float(E3D().frame_time) + P[0] + P[1]);
  if (e.scale > e.high_wave_scale && e.use_high_poly == 1 &&
      (cell.terrain == 23 || cell.terrain == 28 || cell.terrain == 29) && cell.model)
    cell.model = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, cell.model_index));
  if (!cell.model) return;
  if (!AddObjectCopy(cell.model, P[0], P[1], P[2], 1.0f)) return;
  const bool lit = cell.selected || &cell == m.focus;
  if (lit) {
    // Within reach the highlight is half the reach colour.
    uint8_t colour[4];
    std::memcpy(colour, m.highlight, 4);
    if (cell.reach) MixRGBA(colour, m.reach);
    SetObjectRGBA(LastViewObject(), colour);
  } else if (cell.reach) {
    TintReach(LastViewObject(), m.reach);
  }
  if (IsTown(cell.terrain)) {
    AddAt(s.fire, P[0] + m.fire_offset[0], P[1] + m.fire_offset[1], P[2] + m.fire_offset[2]);
    AddAt(s.smoke, P[0] - 10.0f, P[1] - 3.0f, P[2] - 6.5f);
    AddAt(s.smoke, P[0] + 10.0f, P[1] - 1.0f, P[2] - 6.5f);
    AddAt(s.smoke, P[0], P[1], P[2] + 6.5f);
  }
}

// The corners of a hex's outline round its centre, in order round it.
constexpr float kOutline[6][2] = {{32.0f, 0.0f},   {16.0f, 27.712f},   {-16.0f, 27.712f},
                                  {-32.0f, 0.0f},  {-16.0f, -27.712f}, {16.0f, -27.712f}};

// The drawn cells with their projected centres and outlines, for the map
// screen's clicks. The outline lies on the ground (every terrain model
// meets the hex's outline at its centre's height), projected with the
// camera's own factor, so that it covers the pixels GL fills with the hex.
// They go into the back list, which then changes place with the list the
// clicks read, under the lock: a click never meets a list half made.
void KeepPicks(const MapFrameCopy& c) {
  MapSceneState& m = M();
  const uint32_t columns = Columns(), rows = Rows();
  const float* g = E3D().grid_offset;
  static std::vector<std::array<float, 3>> points;
  static std::vector<uint32_t> drawn;
  drawn.clear();
  points.clear();
  for (uint32_t i = 0; i < rows * columns && drawn.size() < kMapCopyCells; i++) {
    const MapCell3D& cell = m.cells[i];
    if (cell.visibility == 0 || !cell.model) continue;
    drawn.push_back(i);
    const float x = cell.x + g[0], y = cell.y + g[1], z = cell.z + g[2];
    points.push_back({x, y, z});
    for (const auto& k : kOutline) points.push_back({x + k[0], y, z + k[1]});
  }
  // The figures' triangles after the cells' points, projected with them.
  const size_t figures = points.size();
  const std::vector<float>& corners = E3D().figure_corners;
  for (size_t k = 0; k + 2 < corners.size(); k += 3) points.push_back({corners[k], corners[k + 1], corners[k + 2]});
  if (!points.empty()) {
    TransformV(Camera()->matrix, points.data(), uint32_t(points.size()), sizeof(float[3]));
    ProjectV(points.data(), uint32_t(points.size()), sizeof(float[3]));
  }
  GL3DState& gs = GL3D();
  std::vector<MapPickFace>& faces = *gs.back_pick_faces;
  faces.clear();
  const std::vector<uint32_t>& on = E3D().figure_cells;
  for (size_t t = 0; t < on.size() && figures + 3 * t + 2 < points.size(); t++) {
    MapPickFace f{};
    f.column = c.view_column + int32_t(on[t] % columns);
    f.row = c.view_row + int32_t(on[t] / columns);
    f.min_x = f.min_y = INFINITY;
    f.max_x = f.max_y = -INFINITY;
    for (int k = 0; k < 3; k++) {
      const std::array<float, 3>& q = points[figures + 3 * t + size_t(k)];
      std::memcpy(f.corner[k], q.data(), sizeof f.corner[k]);
      f.min_x = std::min(f.min_x, q[0]);
      f.max_x = std::max(f.max_x, q[0]);
      f.min_y = std::min(f.min_y, q[1]);
      f.max_y = std::max(f.max_y, q[1]);
    }
    faces.push_back(f);
  }
  uint32_t count = 0;
  for (size_t n = 0; n < drawn.size(); n++) {
    const uint32_t i = drawn[n];
    const std::array<float, 3>* p = &points[n * 7];
    MapPick& pick = gs.back_picks[count++];
    pick.column = c.view_column + int32_t(i % columns);
    pick.row = c.view_row + int32_t(i / columns);
    pick.x = p[0][0];
    pick.y = p[0][1];
    pick.min_x = pick.min_y = INFINITY;
    pick.max_x = pick.max_y = -INFINITY;
    for (int k = 0; k < 6; k++) {
      std::memcpy(pick.outline[k], p[1 + k].data(), sizeof pick.outline[k]);
      pick.min_x = std::min(pick.min_x, p[1 + k][0]);
      pick.max_x = std::max(pick.max_x, p[1 + k][0]);
      pick.min_y = std::min(pick.min_y, p[1 + k][1]);
      pick.max_y = std::max(pick.max_y, p[1 + k][1]);
    }
  }
  std::lock_guard<std::mutex> hold(gs.pick_lock);
  std::swap(gs.picks, gs.back_picks);
  std::swap(gs.pick_faces, gs.back_pick_faces);
  gs.pick_count = count;
}

// No landscape in this frame: a click finds no cell.
void DropPicks() {
  std::lock_guard<std::mutex> hold(GL3D().pick_lock);
  GL3D().pick_count = 0;
  GL3D().pick_faces->clear();
}

// The depth of triangle (a, b, c) at screen point (x, y), as GL interpolates
// it; false when the triangle does not hold the point.
bool TriangleDepth(const float* a, const float* b, const float* c, float x, float y, float* depth) {
  const float area = (b[0] - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (b[1] - a[1]);
  if (!(std::fabs(area) > 0.0f)) return false;
  // Barycentric weights; the edges count as inside, with a hair to spare
  // for rounding, so that no point falls between two hexes.
  const float wb = ((x - a[0]) * (c[1] - a[1]) - (c[0] - a[0]) * (y - a[1])) / area;
  const float wc = ((b[0] - a[0]) * (y - a[1]) - (x - a[0]) * (b[1] - a[1])) / area;
  const float wa = 1.0f - wb - wc;
  constexpr float kHair = -1e-4f;
  if (wa < kHair || wb < kHair || wc < kHair) return false;
  *depth = wa * a[2] + wb * b[2] + wc * c[2];
  return true;
}

// The depth of the outline's triangle fan at screen point (x, y), as GL
// interpolates it over the triangles the hex is drawn with; false when
// none of them holds the point.
bool OutlineDepth(const MapPick& p, float x, float y, float* depth) {
  for (int t = 1; t < 5; t++)
    if (TriangleDepth(p.outline[0], p.outline[t], p.outline[t + 1], x, y, depth)) return true;
  return false;
}

// The sky as a backdrop, drawn before the landscape: the cloud object set
// upright before the eye near the far end of the projection, whatever the
// camera's angles (in the camera's space it always stands at the same
// place), its lower edge at the eye's height and its top at the screen's
// top; the depth buffer is cleared after it, so every terrain covers it.
void DrawSky() {
  const MapSceneState& m = M();
  const CameraRecord& cam = *Camera();
  if (E().sky_on != 1 || m.sky < 0 || m.sky_height <= 0.0f || cam.factor <= 0.0f) return;
  OBJECT3D* sky = Object(m.sky);
  const double width = double(E3D().grid_pairs) * 96.0, depth = double(E3D().grid_rows) * 55.424;
  const float d = float(std::sqrt(width * width + depth * depth) * 0.8), half = d / 2.0f;
  const float distance = half * 0.95f;
  const float projected = (half + distance) / d, p = cam.perspective;
  const float k = std::fabs(p / (p - projected));
  if (!sky || !(k > 0.0f) || !std::isfinite(k)) return;
  const float size = 1.05f / (cam.factor * k * m.sky_height);
  if (!AddObjectCopy(sky, 0.0f, 0.0f, 0.0f, size)) return;
  const float* c = cam.matrix;
  // The inverse of the camera's rotation and shift.
  float back[16];
  SetMi(back);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) back[i * 4 + j] = c[j * 4 + i];
  for (int j = 0; j < 3; j++) back[12 + j] = -(c[12] * c[j * 4] + c[13] * c[j * 4 + 1] + c[14] * c[j * 4 + 2]);
  float place[16], to_world[16];
  SetMt(place, 0.0f, size * m.sky_height * 0.5f, -distance);
  MatrixMul(place, back, to_world);
  TransformObject(LastViewObject(), to_world);
  // The backdrop stands beyond the fog's start: drawn without fog.
  if (GL3D().context) glDisable(GL_FOG);
  DrawView();
  if (GL3D().context) glClear(GL_DEPTH_BUFFER_BIT);
}

// Step 3: the old 2D look, every frame.
void OldLook() {
  EngineRecord& e = E();
  e.fog_mode = 0;
  e.wind_on = e.sky_on = e.rain_on = e.snow_on = e.night_on = 0;
  SetViewFlip(50.0f, 1);
  SetViewScale(0.5f, 1);
  SetViewRotation(0.0f, 1);
  M().origin_preset[1] = -64.0f;
  M().overlay_on = 0;
}

// The fire's texture moved by `steps` steps of its heat and sent again
// once (nothing without the fire's texture or heat).
void AnimateFire(uint32_t steps) {
  MapSceneState& m = M();
  if (!m.heat || m.fire_texture == kNoTexture) return;
  auto* fire = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, m.fire_texture));
  if (!fire || !fire->pixels || fire->width != kFireSide || fire->height != kFireSide || fire->depth != 32) return;
  for (uint32_t k = 0; k < steps; k++) AnimateFireBitmap(fire->height, fire->width, fire->pixels, m.heat);
  RefreshTexture(fire);
}

// Smoke particles rise 0.9 a step to 70 and the fire's heat climbs a row a
// step: this many steps show both as they look under way.
constexpr uint32_t kWarmSteps = 96;

void WarmUpEffects() {
  for (uint32_t k = 0; k < kWarmSteps; k++) AnimateSmoke(Object(SceneModels()->smoke));
  AnimateFire(kWarmSteps);
}

}  // namespace

uint32_t TakeMapCopy() {
  Engine3DState& s = E3D();
  MapFrameCopy& c = s.map_copy;
  c.columns = uint16_t(Columns());
  c.rows = uint16_t(Rows());
  if (uint32_t(c.columns) * c.rows > kMapCopyCells) c.rows = uint16_t(kMapCopyCells / (c.columns ? c.columns : 1));
  // The game thread holds the lock while a map part loads: the frame then
  // shows the last copy again instead of waiting.
  if (TryLockMapRecord()) {
    const QoEMapInfo* map = PublishedMap();
    c.present = map && map->CMap ? 1 : 0;
    if (c.present) CopyMap(map, c);
    UnlockMapRecord();
  }
  s.copy_fresh = 1;
  return uint32_t(c.present);
}

uint32_t MapSceneShowsLandscape() { return uint32_t(E3D().landscape_drawn); }

void SetMapSceneResting(uint32_t resting) { E3D().resting = resting ? 1 : 0; }

void SetMapSceneSteps(uint32_t steps) { E3D().steps = steps ? steps : 1; }

void ForgetMapLandscape() {
  Engine3DState& s = E3D();
  if (!s.landscape_drawn) return;
  DropPicks();
  s.landscape_drawn = 0;
}

void SyncMapCells() {
  MapSceneState& m = M();
  const MapFrameCopy& c = E3D().map_copy;
  if (!m.cells) return;
  const uint32_t columns = Columns(), rows = Rows();
  for (uint32_t r = 0; r < rows; r++)
    for (uint32_t k = 0; k < columns; k++) {
      MapCell3D& cell = m.cells[r * columns + k];
      std::memset(cell.barriers, 0, sizeof cell.barriers);
      cell.character = 0;
      cell.reach = 0;
      if (!c.present || k >= c.columns || r >= c.rows) {
        cell.terrain = 0;
        cell.owner = kNobody;
        continue;
      }
      const uint32_t i = r * c.columns + k;
      cell.terrain = c.terrain[i];
      cell.owner = c.owner[i];
      cell.reach = c.reach_on ? c.reach[i] : 0;
      if (c.figure_type[i]) cell.character = uint8_t(FindCharacter(uint16_t(c.figure_type[i] - 1), c.figure_state[i]));
    }
}

void MarkBarriers() {
  if (!M().cells) return;
  const uint32_t pairs = E3D().grid_pairs, rows = Rows();
  for (uint32_t r = 0; r < rows; r++)
    for (uint32_t j = 0; j < pairs; j++) {
      const bool last_row = r + 1 == rows, last_pair = j + 1 == pairs;
      if (!last_row) Mark(Cell(r + 1, 2 * j), Cell(r, 2 * j), 0);
      if (last_pair) continue;
      MapCell3D& odd = Cell(r, 2 * j + 1);
      Mark(odd, Cell(r, 2 * j), 1);
      Mark(odd, Cell(r, 2 * j + 2), 5);
      if (last_row) continue;
      Mark(odd, Cell(r + 1, 2 * j), 2);
      Mark(odd, Cell(r + 1, 2 * j + 1), 3);
      Mark(odd, Cell(r + 1, 2 * j + 2), 4);
    }
}

void MarkBorderCells() {
  if (!M().cells) return;
  const int32_t columns = int32_t(Columns()), rows = int32_t(Rows());
  static const int32_t kOdd[6][2] = {{0, -1}, {-1, 0}, {0, 1}, {1, 1}, {1, 0}, {1, -1}};
  static const int32_t kEven[6][2] = {{-1, -1}, {-1, 0}, {-1, 1}, {0, 1}, {1, 0}, {0, -1}};
  for (int32_t r = 0; r < rows; r++)
    for (int32_t k = 0; k < columns; k++) {
      MapCell3D& cell = Cell(uint32_t(r), uint32_t(k));
      if (cell.visibility != 0) continue;
      const auto& n = (k & 1) ? kOdd : kEven;
      for (const auto& d : n) {
        const int32_t rr = r + d[0], kk = k + d[1];
        if (rr < 0 || kk < 0 || rr >= rows || kk >= columns) continue;
        if (Cell(uint32_t(rr), uint32_t(kk)).visibility == 1) {
          cell.visibility = 2;
          break;
        }
      }
      if (cell.visibility == 0) std::memset(cell.barriers, 0, sizeof cell.barriers);
    }
}

void SelectMapCell(MapCell3D* cell, int32_t column, int32_t row) {
  if (!cell) return;
  MapSceneState& m = M();
  cell->selected = 1;
  m.selected_cell = *cell;
  m.selected_column = column;
  m.selected_row = row;
}

void SetWind(float t) {
  const float w = (std::cos(t / 10.0f) + 0.8f) * 0.02f;
  const float* d = M().wind_direction;
  E3D().wind[0] = -d[0] * w / 5.0f;
  E3D().wind[1] = -d[2] * w / 5.0f;
}

int32_t MapScenePick(int32_t x, int32_t y, int32_t* column, int32_t* row) {
  const float w = float(DisplayWidth()), h = float(DisplayHeight());
  if (w <= 0.0f || h <= 0.0f) return 0;
  // The pixel's centre in GL's screen coordinates (y up).
  const float px = (float(x) + 0.5f) / w * 2.0f - 1.0f, py = 1.0f - (float(y) + 0.5f) / h * 2.0f;
  GL3DState& g = GL3D();
  std::lock_guard<std::mutex> hold(g.pick_lock);
  bool found = false;
  float best = 0.0f;
  for (uint32_t i = 0; i < g.pick_count; i++) {
    const MapPick& p = g.picks[i];
    if (px < p.min_x || px > p.max_x || py < p.min_y || py > p.max_y) continue;
    float depth;
    // GL draws nothing beyond its depth range.
    if (!OutlineDepth(p, px, py, &depth) || depth < -1.0f || depth > 1.0f) continue;
    if (found && depth >= best) continue;
    found = true;
    best = depth;
    if (column) *column = p.column;
    if (row) *row = p.row;
  }
  // A figure's body in front of the ground there (it stands over the hex
  // behind its own) picks the hex the figure stands on.
  for (const MapPickFace& f : *g.pick_faces) {
    if (px < f.min_x || px > f.max_x || py < f.min_y || py > f.max_y) continue;
    float depth;
    if (!TriangleDepth(f.corner[0], f.corner[1], f.corner[2], px, py, &depth) || depth < -1.0f || depth > 1.0f)
      continue;
    if (found && depth >= best) continue;
    found = true;
    best = depth;
    if (column) *column = f.column;
    if (row) *row = f.row;
  }
  return found ? 1 : 0;
}

int32_t MapSceneCellPixel(int32_t column, int32_t row, int32_t* x, int32_t* y) {
  const float w = float(DisplayWidth()), h = float(DisplayHeight());
  if (w <= 0.0f || h <= 0.0f) return 0;
  GL3DState& g = GL3D();
  std::lock_guard<std::mutex> hold(g.pick_lock);
  for (uint32_t i = 0; i < g.pick_count; i++) {
    const MapPick& p = g.picks[i];
    if (p.column != column || p.row != row) continue;
    if (!std::isfinite(p.x) || !std::isfinite(p.y)) return 0;
    const float fx = std::clamp((p.x + 1.0f) / 2.0f * w - 0.5f, -1e6f, 1e6f);
    const float fy = std::clamp((1.0f - p.y) / 2.0f * h - 0.5f, -1e6f, 1e6f);
    if (x) *x = int32_t(std::lround(fx));
    if (y) *y = int32_t(std::lround(fy));
    return 1;
  }
  return 0;
}

void MarkMapSceneCell(int32_t column, int32_t row) {
  GL3DState& g = GL3D();
  std::lock_guard<std::mutex> hold(g.pick_lock);
  g.marked_column = column >= 0 && row >= 0 ? column : -1;
  g.marked_row = column >= 0 && row >= 0 ? row : -1;
}

uint32_t MapSceneReady(uint16_t* columns, uint16_t* rows) {
  const uint32_t w = GL3D().scene_window.load();
  if (!w) return 0;
  if (columns) *columns = uint16_t(w >> 16);
  if (rows) *rows = uint16_t(w & 0xFFFF);
  return 1;
}

void ProcessMapScene() {
  Engine3DState& s = E3D();
  MapSceneState& m = M();
  EngineRecord& e = E();
  const bool fresh = s.copy_fresh;
  s.copy_fresh = 0;
  // The cells of the last landscape stay for the clicks while this one is
  // drawn (KeepPicks replaces them once every cell is in); a frame that
  // draws none takes them away.
  if (!e.started || m.busy || !s.scene_built || !m.cells || !m.centres || !m.sort[0] || !m.sort[1]) {
    ForgetMapLandscape();
    return;
  }
  // Called without the frame driver's copy: a copy of its own, used up here.
  if (!fresh) {
    TakeMapCopy();
    s.copy_fresh = 0;
  }
  // A frame without a published map draws no landscape.
  if (!s.map_copy.present) {
    ForgetMapLandscape();
    return;
  }
  m.busy = 1;
  CameraRecord& cam = s.camera;
  cam.transform = cam.project = 1;
  // The frame time: twice the frame counter (standing still while resting).
  // A frame drawn after frames without a landscape shows the time of its
  // own frame: the counter first moves over the ones between.
  const bool animate = !s.resting;
  const uint32_t steps = animate ? s.steps : 1;
  s.steps = 1;
  if (animate) s.frame_counter += steps - 1;
  s.frame_time = int32_t((s.frame_counter * 2) & 0x3FFFFFFF);
  if (animate) s.frame_counter++;
  const int32_t T = s.frame_time;
  // A landscape first drawn at rest (behind the first screens, before the
  // map was shown) would show the smoke's starting places and the fire
  // texture's raw picture over every town and field: both are moved on as
  // far as a few seconds of frames would have.
  if (!s.warmed) {
    s.warmed = 1;
    if (!animate) WarmUpEffects();
  }

  if (e.old_look_2d == 1) OldLook();
  const float pairs = s.grid_pairs, rows = s.grid_rows;
  m.origin[0] = 77.0f - pairs * 96.0f / 2.0f;
  m.origin[1] = m.origin_preset[1];
  m.origin[2] = 13.0f - rows * 55.424f / 2.0f - 13.856f;
  if (SceneModels()->centres_dirty) MakeFaceCenters();
  InitView();
  BuildCameraMatrix();
  DrawSky();
  // The 2D pass of the last frame switched the fog off: the landscape's
  // far rows fade into the fog colour only with it set again first.
  UpdateFog();

  // Follows the map: the view's offset within its column pair and row.
  const MapFrameCopy& c = s.map_copy;
  const double ox = c.pixel_column - double(c.view_column / 2) * 96.0;
  const double oz = c.pixel_row - double(c.view_row) * 55.424;
  s.grid_offset[0] = m.origin[0] - float(ox);
  s.grid_offset[1] = m.origin[1];
  s.grid_offset[2] = m.origin[2] - float(oz);

  SyncMapCells();
  if (e.show_barriers) MarkBarriers();

  // Visibility: the projected cell centres (the factor of scale 3 at most).
  const uint32_t n = CellCount();
  for (uint32_t i = 0; i < n; i++) {
    const MapCell3D& cell = m.cells[i];
    m.centres[i][0] = cell.x + s.grid_offset[0];
    m.centres[i][1] = cell.y + s.grid_offset[1];
    m.centres[i][2] = cell.z + s.grid_offset[2];
  }
  TransformV(cam.matrix, m.centres, n, sizeof(float[3]));
  const float factor = cam.factor;
  if (e.scale > 3.0f) cam.factor = 0.024f;
  ProjectV(m.centres, n, sizeof(float[3]));
  cam.factor = factor;
  for (uint32_t i = 0; i < n; i++) m.sort[0][i] = MapSortEntry{i, m.centres[i][2]};
  static_assert(sizeof(MapSortEntry) == sizeof(SORT3D));
  const auto* sorted = reinterpret_cast<const MapSortEntry*>(
      MergeSortKeys(reinterpret_cast<SORT3D*>(m.sort[0]), reinterpret_cast<SORT3D*>(m.sort[1]), n));

  // Visibility and the focus cell: the visible centre nearest the middle.
  float best = 10000.0f;
  m.focus = nullptr;
  const uint32_t columns = Columns();
  for (uint32_t i = 0; i < n; i++) {
    MapCell3D& cell = m.cells[i];
    cell.selected = 0;
    const float* p = Projected(i);
    cell.visibility = InClip(p) ? 1 : 0;
    const float d = p[0] * p[0] + p[1] * p[1] + p[2] * p[2];
    if (cell.visibility && d < best) {
      best = d;
      m.focus = &cell;
      m.focus_column = c.view_column + int32_t(i % columns);
      m.focus_row = c.view_row + int32_t(i / columns);
    }
  }
  if (m.focus) SelectMapCell(m.focus, m.focus_column, m.focus_row);
  MarkBorderCells();
  // The hex the map screen marked is the selected cell while it is in view.
  {
    std::lock_guard<std::mutex> hold(GL3D().pick_lock);
    if (GL3D().marked_column >= 0 && GL3D().marked_row >= 0) {
      m.selected_column = GL3D().marked_column;
      m.selected_row = GL3D().marked_row;
    }
  }
  for (uint32_t i = 0; i < n; i++) {
    MapCell3D& cell = m.cells[i];
    if (cell.visibility == 1 && c.view_column + int32_t(i % columns) == m.selected_column &&
        c.view_row + int32_t(i / columns) == m.selected_row)
      SelectMapCell(&cell, m.selected_column, m.selected_row);
  }

  // Far to near; the stagger counts the visits as if in table order.
  s.figure_corners.clear();
  s.figure_cells.clear();
  const int phase = int((T % 2500) / 500);
  for (uint32_t v = 0; v < n; v++) {
    const uint32_t index = sorted[n - 1 - v].cell;
    MapCell3D& cell = m.cells[index];
    const int32_t vi = int32_t(v / columns), vj = int32_t(v % columns);
    const int stagger = int(((c.view_column + vj + c.view_row + vi) % 5 + 5) % 5);
    if (cell.visibility != 0) DrawCell(cell, phase, stagger);
  }

  KeepPicks(c);
  SceneModelState& sm = *SceneModels();
  // No turn in the first frames of the clock (nor at rest before it ran):
  // the smoke stays as it is without the rotation's "nothing to do" line.
  if (OBJECT3D* smoke = Object(sm.smoke); smoke && T / 10 != 0) YRotateObject(smoke, float(T / 10));
  // Snow, rain and smoke move by every step of the clock.
  if (e.snow_on) {
    if (animate)
      for (uint32_t k = 0; k < steps; k++) AnimateSnow(Object(sm.snow));
    AddAt(sm.snow, 0.0f, 0.0f, 0.0f);
  }
  if (e.rain_on) {
    if (animate)
      for (uint32_t k = 0; k < steps; k++) AnimateRain(Object(sm.rain));
    AddAt(sm.rain, 0.0f, 0.0f, 0.0f);
  }
  DrawView();
  cam.transform = 0;
  cam.project = 0;
  if (animate)
    for (uint32_t k = 0; k < steps; k++) AnimateSmoke(Object(sm.smoke));
  UpdateFog();
  // The fire flickers at random: one step a drawn frame.
  if (animate) AnimateFire(1);
  if (m.overlay_on == 1 && sm.overlay >= 0) {
    // Neither transform nor projection: screen coordinates.
    if (OBJECT3D* gui = Object(sm.overlay))
      AddObjectToView(gui, m.overlay_position[0], m.overlay_position[1], m.overlay_position[2], m.overlay_scale);
    DrawView();
  }
  cam.clip_min[2] = 0.001f;
  m.busy = 0;
  e.started = 1;
  s.landscape_drawn = 1;
}
