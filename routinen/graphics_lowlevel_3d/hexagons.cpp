// Hexagon models: one terrain model per terrain graphic number, loaded from
// model files and brought to the hex's exact size and shape so that
// neighbouring hexes meet without gaps; the scene's base and water colours.
#include <cmath>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"

namespace {

constexpr float kHexWidth = 64.0f, kHexDepth = 55.424f;
// Points this close to a hexagon corner (squared distance) are snapped onto it.
constexpr float kSnapDistance2 = 20.0f;

SceneModelState& Scene() { return E3D().scene; }

// "NONE" and any name of exactly four characters stand for no file.
void FileName(char* dest, size_t size, const char* name) {
  dest[0] = 0;
  if (!name || std::strlen(name) == 4) return;
  std::strncpy(dest, name, size - 1);
  dest[size - 1] = 0;
}

OBJECT3D* Object(uint32_t index) { return static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, index)); }

// Loads a model file as a type's model: its first object, standardised.
void LoadModel(const char* file, OBJECT3D** model, uint32_t* index) {
  const int32_t first = LoadQOE(file);
  StandarizeHexagone(first);
  *model = first >= 0 ? Object(uint32_t(first)) : nullptr;
  *index = first >= 0 ? uint32_t(first) : 0;
}

}  // namespace

void SetHexagone(int32_t terrain, const char* name, const char* low_file, const char* high_file, uint32_t parameter,
                 uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  SceneModelState& s = Scene();
  char low[256], high[256];
  FileName(low, sizeof low, low_file);
  FileName(high, sizeof high, high_file);
  if (!E3D().engine.use_high_poly) high[0] = 0;
  if (terrain < 0 || terrain >= int32_t(kHexagonTypes) || !s.hexagons) {
    DebugLog("SetHexagone: Fehlerhafte Parmater\xfc" "bergabe.\n");
    return;
  }
  // Water and terrain 5 are widened to overlap their neighbours.
  s.hex_bonus = (terrain == 5 || terrain == 23 || terrain == 28 || terrain == 29) ? 0.9f : 0.0f;
  HexagonType& h = s.hexagons[terrain];
  if (h.low) {
    DebugLog("SetHexagone: This Hexagone already defined.\n");
    return;
  }
  h.terrain = uint8_t(terrain);
  std::strncpy(h.name, name ? name : "", sizeof h.name - 1);
  h.name[sizeof h.name - 1] = 0;
  h.parameter = uint8_t(parameter);
  h.rgba[0] = r;
  h.rgba[1] = g;
  h.rgba[2] = b;
  h.rgba[3] = a;
  std::memcpy(h.low_file, low, sizeof low);
  std::memcpy(h.high_file, high, sizeof high);
  h.low_key = h.high_key = THING_OBJECT3D;
  if (!low[0]) {
    DebugLog("SetHexagone: Erster Filename war 0.\n");
    return;
  }
  if (s.share_models) {
    // An empty name never matches: a type without a high file keeps its own.
    for (uint32_t i = 0; i < kHexagonTypes; i++) {
      const HexagonType& o = s.hexagons[i];
      if (int32_t(i) == terrain) continue;
      if (o.low && std::strcmp(o.low_file, low) == 0) {
        h.low = o.low;
        h.low_index = o.low_index;
      }
      if (high[0] && o.high && std::strcmp(o.high_file, high) == 0) {
        h.high = o.high;
        h.high_index = o.high_index;
      }
    }
  }
  if (!h.low) LoadModel(low, &h.low, &h.low_index);
  // Loading may have moved the stores: the table's pointers are re-read.
  RelinkIfMoved();
  HexagonType& t = s.hexagons[terrain];
  if (!t.high) {
    if (high[0]) {
      LoadModel(high, &t.high, &t.high_index);
      RelinkIfMoved();
    } else {
      t.high = t.low;
      t.high_index = t.low_index;
    }
  }
  if (std::strstr(low, "forest") || std::strstr(low, "swamp") || std::strstr(low, "jungle") || terrain == 1 ||
      terrain == 5 || terrain == 13 || terrain == 25) {
    if (t.low) SelectObjectTransPoints(t.low);
    if (t.high) SelectObjectTransPoints(t.high);
  }
}

void XSetHexagone(int32_t terrain, const char* name, const char* low_file, const char* high_file,
                  uint32_t parameter, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  const uint32_t faces = ThingCount(THING_FACE3D);
  SetHexagone(terrain, name, low_file, high_file, parameter, r, g, b, a);
  // Both sides of the added faces are drawn.
  for (uint32_t i = faces; i < ThingCount(THING_FACE3D); i++) {
    const auto* f = static_cast<const FACE3D*>(ThingAt(THING_FACE3D, i));
    if (auto* t = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, f->texture_index))) t->cull = 0;
  }
}

void StandarizeHexagone(int32_t index) {
  if (index < 0 || uint32_t(index) >= ThingCount(THING_OBJECT3D)) {
    DebugLog("StandarizeHexagone: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  RelinkIfMoved();
  const float bonus = Scene().hex_bonus;
  if (Scene().merge_hierarchy) MakeOneObject(uint32_t(index));
  const float w = (kHexWidth + bonus) / 2, d = (kHexDepth + bonus) / 2, q = w / 2;
  const float corners[6][3] = {{-q, 0, d}, {q, 0, d}, {w, 0, 0}, {-w, 0, 0}, {q, 0, -d}, {-q, 0, -d}};
  for (uint32_t i = uint32_t(index); i < ThingCount(THING_OBJECT3D); i++) {
    OBJECT3D* o = Object(i);
    ResizeObject(o, kHexWidth + bonus, 0.0f, kHexDepth + bonus, 1);
    CenterObject(o, 1, 0, 1);
    // The last point on the box's left edge comes to height 0.
    float y = 0.0f;
    for (uint32_t k = 0; o->points && k < uint32_t(o->point_count > 0 ? o->point_count : 0); k++)
      if (o->points[k].x == o->min[0]) y = o->points[k].y;
    TransalateObejct(o, 0.0f, -y, 0.0f);
    for (uint32_t k = 0; o->points && k < uint32_t(o->point_count > 0 ? o->point_count : 0); k++) {
      POINT3D& p = o->points[k];
      for (const float* c : corners) {
        const float dx = p.x - c[0], dy = p.y - c[1], dz = p.z - c[2];
        if (dx * dx + dy * dy + dz * dz < kSnapDistance2) {
          p.x = c[0];
          p.y = c[1];
          p.z = c[2];
          break;
        }
      }
    }
  }
}

void ApplyObjectColours() {
  SceneModelState& s = Scene();
  RelinkIfMoved();
  uint8_t base[4] = {255, 255, 255, 255};
  if (E3D().engine.night_on == 1) {
    std::memcpy(base, s.night_colour, 3);
    base[3] = 255;
  }
  const uint32_t count = ThingCount(THING_OBJECT3D);
  const int32_t skip[] = {s.rain, s.snow, s.logo, s.authors, s.overlay, s.fire, s.smoke};
  for (uint32_t i = 0; i < count; i++) {
    bool scene_object = false;
    for (int32_t k : skip) scene_object |= k >= 0 && uint32_t(k) == i;
    if (!scene_object) SetObjectRGBA(Object(i), base);
  }
  if (!s.hexagons) return;
  const uint32_t water[3] = {23, 28, 29};
  const uint32_t extra = s.water_objects > 0 ? uint32_t(s.water_objects) : 0;
  for (int w = 0; w < 3; w++) {
    const HexagonType& h = s.hexagons[water[w]];
    if (!h.low) continue;
    SetObjectRGBA(h.low, s.water_colour[w]);
    for (uint32_t k = 0; h.high && k < extra && h.high_index + k < count; k++)
      SetObjectRGBA(Object(h.high_index + k), s.water_colour[w]);
  }
  // Height shading of the water: darker below, lighter above.
  const HexagonType& first = s.hexagons[23];
  if (!first.low) return;
  const uint32_t shaded = extra * 3 + 3;
  for (uint32_t i = first.low_index; i < count && i < first.low_index + shaded; i++) {
    OBJECT3D* o = Object(i);
    for (uint32_t k = 0; o->points && k < uint32_t(o->point_count > 0 ? o->point_count : 0); k++) {
      const float g = std::trunc(o->points[k].y * 10.0f + 20.0f);
      const uint8_t grey = uint8_t(g < 0.0f ? 0.0f : g > 255.0f ? 255.0f : g);
      const uint8_t tone[4] = {grey, grey, grey, 255};
      MixRGBA(o->points[k].rgba, tone);
      MixRGBA(o->points[k].rgba, base);
    }
  }
}
