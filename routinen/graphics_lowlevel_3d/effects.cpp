// The map scene's generated things: flat textured quads, particle systems
// (smoke, rain, snow), the town fire with its cellular heat picture, the
// overlay frame, the cloud sky and the border barriers
// (docs/gl3d-scene.md).
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"

namespace {

MapSceneState& M() { return E3D().map_scene; }
EngineRecord& E() { return E3D().engine; }

OBJECT3D* Object(int32_t index) {
  return index >= 0 ? static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(index))) : nullptr;
}
TEXTURE3D* Texture(uint16_t index) { return static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, index)); }

uint32_t Points(const OBJECT3D* o) { return o && o->points && o->point_count > 0 ? uint32_t(o->point_count) : 0; }

// A float truncated into a byte (values outside 0 .. 255 are clamped).
uint8_t ByteOf(float v) { return uint8_t(v <= 0.0f ? 0.0f : v >= 255.0f ? 255.0f : v); }

// A face on the last object with four points in pixel mode at depth z.
void PixelFace(uint16_t texture, const float xy[4][2], const uint32_t pixel[4][2], float z) {
  if (NewFace(texture) < 0) return;
  for (int i = 0; i < 4; i++) NewPoint(xy[i][0], xy[i][1], z, pixel[i][0], pixel[i][1], 0.0f, 0.0f, 1);
}

}  // namespace

MapSceneState* MapScene() { return &M(); }

void SeedSceneRandom(uint32_t seed) { M().random = seed; }

float SceneRandom() {
  // A linear congruential generator; its bits 16 to 30 give 15-bit values.
  uint32_t& r = M().random;
  r = r * 1103515245u + 12345u;
  return float((r >> 16) & 0x7FFF) / 32768.0f;
}

void AddQuad(float x, float y, float w, float h, uint16_t texture, uint32_t px, uint32_t py, uint32_t pw,
             uint32_t ph) {
  if (w == 0.0f) w = float(pw);
  if (h == 0.0f) h = float(ph);
  const uint32_t right = pw ? px + pw - 1 : px, bottom = ph ? py + ph - 1 : py;
  const float xy[4][2] = {{x, y}, {x + w, y}, {x + w, y - h}, {x, y - h}};
  const uint32_t pixel[4][2] = {{px, py}, {right, py}, {right, bottom}, {px, bottom}};
  PixelFace(texture, xy, pixel, 0.0f);
  E3D().scene.centres_dirty = 1;
}

int32_t MakeFlatObject(const char* name, float x, float y, float w, float h, uint16_t texture, uint32_t px,
                       uint32_t py, uint32_t pw, uint32_t ph) {
  const int32_t index = NewObject(name, 0);
  if (index < 0) return -1;
  AddQuad(x, y, w, h, texture, px, py, pw, ph);
  return index;
}

void AddGuiRect(float x, float y, float z, uint16_t texture, uint32_t px, uint32_t py, uint32_t pw, uint32_t ph) {
  // The picture's last row and column stay out (a margin of one pixel
  // against the filter reaching the neighbouring picture).
  const uint32_t right = pw >= 2 ? px + pw - 2 : px, bottom = ph >= 2 ? py + ph - 2 : py;
  const float xy[4][2] = {{x, y}, {x + float(pw), y}, {x + float(pw), y + float(ph)}, {x, y + float(ph)}};
  const uint32_t pixel[4][2] = {{px, bottom}, {right, bottom}, {right, py}, {px, py}};
  PixelFace(texture, xy, pixel, z);
  E3D().scene.centres_dirty = 1;
}

int32_t MakeParticles(const char* name, uint32_t count, float x, float y, float z, uint16_t mode) {
  const int32_t index = NewObject(name, 0);
  if (index < 0) return -1;
  const int32_t face = NewFace(0);
  if (face < 0) return index;
  for (uint32_t i = 0; i < count; i++)
    if (NewPoint(x, y, z, 0, 0, 0.0f, 0.0f, 0) < 0) break;
  // The face's texture number holds the draw mode; its texture stays
  // texture 0 (the store keeps that for faces of particle size).
  auto* f = static_cast<FACE3D*>(ThingAt(THING_FACE3D, uint32_t(face)));
  if (f) f->texture_index = mode;
  E3D().scene.centres_dirty = 1;
  return index;
}

void RespawnParticle(POINT3D* point, const float centre[3], const float size[3], const uint8_t colour[4]) {
  if (!point || !centre || !size || !colour) return;
  float* c[3] = {&point->x, &point->y, &point->z};
  for (int k = 0; k < 3; k++) *c[k] = SceneRandom() * size[k] + centre[k] - size[k] / 2.0f;
  std::memcpy(point->rgba, colour, 4);
}

void AnimateSmoke(OBJECT3D* object) {
  const MapSceneState& m = M();
  const float c = std::cos(float(E3D().frame_time) * 90.0f);
  for (uint32_t i = 0; i < Points(object); i++) {
    POINT3D& p = object->points[i];
    p.y += 0.9f;
    p.rgba[3] = p.rgba[3] < 6 ? 0 : uint8_t(p.rgba[3] - 6);
    if (p.y > 70.0f) {
      RespawnParticle(&p, m.smoke_centre, m.smoke_box, m.smoke);
      p.rgba[0] = ByteOf(p.rgba[0] + 15.0f * c);
      p.rgba[1] = ByteOf(p.rgba[1] + 15.0f * c);
      p.rgba[2] = ByteOf(p.rgba[2] + 20.0f * c);
      p.rgba[3] = ByteOf(25.0f * c + 150.0f);
    }
  }
}

void AnimateRain(OBJECT3D* object) {
  const MapSceneState& m = M();
  const EngineRecord& e = E();
  const float wobble = std::cos(float(E3D().frame_time) / 40.0f) * 0.2f + 1.0f;
  const float* wind = m.wind_direction;
  const float v[3] = {-e.rain_speed * wind[0] * wobble, -e.rain_speed, -e.rain_speed * wind[2] * wobble};
  // The streak's tail trails above its head, against the wind.
  const float tail[3] = {e.rain_high * wind[0], e.rain_high, e.rain_high * wind[2]};
  for (uint32_t i = 0; i + 1 < Points(object); i += 2) {
    POINT3D& h = object->points[i];
    POINT3D& t = object->points[i + 1];
    if (h.y <= m.origin[1]) {
      RespawnParticle(&h, m.weather_centre, m.weather_box, m.rain_head);
      SetPointXYZ(&t, h.x + tail[0], h.y + tail[1], h.z + tail[2]);
      std::memcpy(t.rgba, m.rain_tail, 4);
      continue;
    }
    TranslateV(&h.x, 1, sizeof(POINT3D), v[0], v[1], v[2]);
    TranslateV(&t.x, 1, sizeof(POINT3D), v[0], v[1], v[2]);
  }
}

void AnimateSnow(OBJECT3D* object) {
  const MapSceneState& m = M();
  const float t = float(E3D().frame_time) / 60.0f, c = std::cos(t), s = std::sin(t);
  const uint8_t white[4] = {255, 255, 255, 255};
  for (uint32_t i = 0; i < Points(object); i++) {
    POINT3D& p = object->points[i];
    const float k = p.x / 200.0f + 1.0f;
    p.x += c * k;
    p.y -= E().snow_speed;
    p.z += s * k;
    if (p.y <= m.origin[1]) RespawnParticle(&p, m.weather_centre, m.weather_box, white);
  }
}

int32_t MakeFire() {
  MapSceneState& m = M();
  E3D().scene.loading = 0;
  E().half_textures = 1;
  E().mipmapping = 0;
  const int32_t palette = CreateTexture("bmp/fire.bmp", "bmp/fire_alpha.bmp", kFireSide, kFireSide, 32,
                                        "FireModel_tex", nullptr);
  const int32_t fire = CreateTexture("bmp/fire.bmp", "bmp/fire_alpha.bmp", kFireSide, kFireSide, 32, "Fire_tex",
                                     nullptr);
  m.fire_palette = palette >= 0 ? uint16_t(palette) : kNoTexture;
  m.fire_texture = fire >= 0 ? uint16_t(fire) : kNoTexture;
  int32_t first = -1;
  for (int i = 0; i < 6; i++) {
    char name[16];
    std::snprintf(name, sizeof name, "Fire%d", i);
    const int32_t index = MakeFlatObject(name, 0.0f, 0.0f, 15.0f, 20.0f, m.fire_texture, 0, 0, kFireSide, kFireSide);
    if (index < 0) break;
    if (first < 0) first = index;
    OBJECT3D* o = Object(index);
    SetObjectBounds(o);
    CenterObject(o, 1, 1, 1);
    TransalateObejct(o, 0.0f, 0.0f, 15.0f);
    if (i) YRotateObject(o, float(i) * 60.0f);
  }
  if (first < 0) return -1;
  MakeOneObject(uint32_t(first));
  OBJECT3D* o = Object(first);
  SetObjectBounds(o);
  CenterObject(o, 1, 1, 1);
  E3D().scene.centres_dirty = 1;
  return first;
}

void AnimateFireBitmap(uint32_t height, uint32_t width, uint8_t* pixels, uint8_t* heat) {
  if (!heat || height < 3 || width < 3) return;
  const TEXTURE3D* pal = M().fire_palette != kNoTexture ? Texture(M().fire_palette) : nullptr;
  // The palette is column 11 of a 32-bit picture at least 128 rows high.
  const uint8_t* palette = pal && pal->pixels && pal->depth == 32 && pal->width > 11 && pal->height >= 128
                               ? pal->pixels + 11 * 4
                               : nullptr;
  const uint32_t palette_row = palette ? uint32_t(pal->width) * 4 : 0;
  const float t = float(E3D().frame_time);
  const float limit[2] = {std::cos(t / 15.0f) * 0.2f + 0.4f, std::cos(t / 9.0f) * 0.2f + 0.4f};
  uint8_t* bottom = heat + size_t(height - 1) * width;
  for (uint32_t x = 0; x < width; x++) bottom[x] = SceneRandom() >= limit[x < width / 2 ? 0 : 1] ? 255 : 0;
  // The row below the bottom row is cold.
  static const uint8_t kCold[3] = {0, 0, 0};
  for (uint32_t y = height - 1; y >= 2; y--) {
    uint8_t* up = heat + size_t(y - 1) * width;
    const uint8_t* row = heat + size_t(y) * width;
    const uint8_t* down = y + 1 < height ? heat + size_t(y + 1) * width : nullptr;
    for (uint32_t x = 1; x + 1 < width; x++) {
      const uint8_t* d = down ? down + x - 1 : kCold;
      const uint32_t s = row[x - 1] + row[x + 1] + up[x - 1] + up[x] + up[x + 1] + d[0] + d[1] + d[2];
      const uint32_t value = s / 8 >= 1 ? s / 8 - 1 : 0;
      up[x] = uint8_t(value);
      if (pixels && palette) std::memcpy(pixels + (size_t(y) * width + x) * 4, palette + (value / 2) * palette_row, 4);
    }
  }
}

namespace {

// The overlay's four border faces: position (x, y) and pixel (px, py) of
// each point, in the 1024 x 768 layout.
struct GuiPoint {
  float x, y;
  uint32_t px, py;
};
const GuiPoint kGuiBorders[4][4] = {
    {{16, 0, 15, 15}, {1008, 0, 15, 496}, {1008, 16, 0, 496}, {16, 16, 0, 15}},
    {{1024, 0, 15, 0}, {1024, 768, 15, 511}, {1008, 768, 0, 511}, {1008, 0, 0, 0}},
    {{1008, 768, 15, 15}, {16, 768, 15, 496}, {16, 752, 0, 496}, {1008, 752, 0, 15}},
    {{0, 768, 15, 0}, {0, 0, 15, 511}, {16, 0, 0, 511}, {16, 768, 0, 0}},
};
struct GuiRect {
  float x, y;
  uint32_t px, py, pw, ph;
};
const GuiRect kGuiRects[] = {{10, 185, 22, 134, 56, 206},
                             {10, 10, 22, 337, 175, 175},
                             // Only the second overlay:
                             {604, 0, 106, 0, 406, 236},
                             {294, 0, 200, 236, 312, 138}};
constexpr float kGuiDepth = 0.02f;

// One overlay object: the borders, rects rectangles, scaled onto 2 x 2 units.
int32_t MakeOverlay(const char* name, uint16_t texture, size_t rects) {
  const int32_t index = NewObject(name, 0);
  if (index < 0) return -1;
  for (const auto& face : kGuiBorders) {
    float xy[4][2];
    uint32_t pixel[4][2];
    for (int i = 0; i < 4; i++) {
      xy[i][0] = face[i].x;
      xy[i][1] = face[i].y;
      pixel[i][0] = face[i].px;
      pixel[i][1] = face[i].py;
    }
    PixelFace(texture, xy, pixel, kGuiDepth);
  }
  for (size_t i = 0; i < rects; i++) {
    const GuiRect& r = kGuiRects[i];
    AddGuiRect(r.x, r.y, kGuiDepth, texture, r.px, r.py, r.pw, r.ph);
  }
  OBJECT3D* o = Object(index);
  SetObjectBounds(o);
  ResizeObject(o, 1.0f / 512.0f, 1.0f / 384.0f, 1.0f, 2);
  return index;
}

}  // namespace

int32_t MakeGui() {
  MapSceneState& m = M();
  SetColorKey(255, 0, 0);
  const int32_t texture = CreateTexture("bmp/gui512x512.bmp", "bmp/gui512x512_alpha.bmp", 512, 512, 32, "Gui_tex",
                                        nullptr);
  m.gui_texture = texture >= 0 ? uint16_t(texture) : kNoTexture;
  const int32_t gui = MakeOverlay("Gui", m.gui_texture, 2);
  MakeOverlay("Gui2", m.gui_texture, std::size(kGuiRects));
  E3D().scene.overlay = gui;
  return gui;
}

int32_t MakeClouds() {
  MapSceneState& m = M();
  EngineRecord& e = E();
  const int32_t index = CreateTexture("bmp/clouds.bmp", "bmp/clouds_alpha.bmp", 256, 256, 32, "Clouds_tex", nullptr);
  if (index < 0) return -1;
  const uint16_t texture = uint16_t(index);
  TEXTURE3D* t = Texture(texture);
  // A black fog takes the colour of the sky's top quarter.
  if (t && t->pixels && e.fog_rgba[0] + e.fog_rgba[1] + e.fog_rgba[2] == 0) {
    uint8_t average[4];
    AverageColor(t->pixels, t->width, t->height / 4u, t->depth, 0, average);
    std::memcpy(e.fog_rgba, average, 3);
  }
  if (t) t->format = 3;
  const int32_t sky = NewObject("Sky", 0);
  if (sky < 0) return -1;
  const float w = m.sky_width, h = m.sky_height;
  const uint32_t b = e.half_textures < 2 ? 0 : 2;
  for (int i = 0; i < 4; i++)
    AddQuad(float(i) * (w - 1.0f), 0.0f, w, h, texture, b, (i % 2) ? b + 128 : b, 256 - 2 * b, 128 - 2 * b);
  OBJECT3D* o = Object(sky);
  SetObjectBounds(o);
  CenterObject(o, 1, 1, 1);
  for (uint32_t i = 0; i < Points(o); i++) o->points[i].y = -o->points[i].y;
  const float low = -o->max[1];
  o->max[1] = -o->min[1];
  o->min[1] = low;
  m.sky = sky;
  return sky;
}

namespace {

// One barrier face's points: x, y, z and v; u is the set's first or second
// band edge.
struct BarrierPoint {
  float x, y, z;
  int second_u;
  float v;
};
const BarrierPoint kBarrierFaces[2][4] = {
    {{15.78f, -0.3f, -1.24f, 0, 1}, {15.46f, 1.15f, -1.04f, 1, 1}, {11.98f, 1.15f, -6.59f, 1, 0},
     {12.3f, -0.3f, -6.8f, 0, 0}},
    {{15.13f, -0.3f, -0.84f, 0, 1}, {15.45f, 1.15f, -1.03f, 1, 1}, {11.98f, 1.15f, -6.59f, 1, 0},
     {11.66f, -0.3f, -6.39f, 0, 0}},
};
// The band of transp_parts each set shows (u from, u to).
const float kBarrierBands[2][2] = {{0.72f, 0.84f}, {0.86f, 0.995f}};
// Where barrier e of each set stands against its cell's centre.
const float kBarrierMoves[6][3] = {{-44, 0, 4}, {-17, 0, 40}, {28, 0, 36}, {44, 0, -4}, {17, 0, -40}, {-28, 0, -36}};

}  // namespace

int32_t MakeBarriers() {
  const uint32_t found = FindThingByName(THING_TEXTURE3D, "transp_parts");
  // Without the texture the faces have none and are never drawn.
  const uint16_t texture = found == kThingNotFound || found >= kNoTexture ? kNoTexture : uint16_t(found);
  if (found == kThingNotFound) DebugLog("MakeBarriers: Textur transp_parts fehlt.\n");
  int32_t first = -1;
  for (int set = 0; set < 2; set++) {
    for (int e = 0; e < 6; e++) {
      const int32_t index = NewObject("Barrier", 0);
      if (index < 0) return first;
      if (first < 0) first = index;
      for (const auto& face : kBarrierFaces) {
        if (NewFace(texture) < 0) break;
        for (const BarrierPoint& p : face)
          NewPoint(p.x, p.y, p.z, 0, 0, kBarrierBands[set][p.second_u], p.v, 0);
      }
      OBJECT3D* o = Object(index);
      SetObjectBounds(o);
      ResizeObject(o, 5.0f, 5.0f, 5.0f, 2);
      if (e) YRotateObject(o, float(e) * 60.0f);
      SetObjectBounds(o);
    }
  }
  for (int set = 0; set < 2 && first >= 0; set++)
    for (int e = 0; e < 6; e++)
      if (OBJECT3D* o = Object(first + set * 6 + e))
        TransalateObejct(o, kBarrierMoves[e][0], kBarrierMoves[e][1], kBarrierMoves[e][2]);
  E3D().scene.centres_dirty = 1;
  M().barriers = first;
  return first;
}
