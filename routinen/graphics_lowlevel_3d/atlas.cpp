// Texture atlases: with Engine.RegroupTextures every 24-bit and every 32-bit
// texture is copied into one of two large textures, and the texture
// coordinates of the faces' points are mapped onto their cells, so that the
// face batch switches textures far less often.
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

namespace {

struct AtlasCell {
  float u_offset, v_offset, u_scale, v_scale;
  uint16_t atlas;  // 0 the 24-bit atlas, 1 the 32-bit atlas
  uint16_t mapped;
};

// Cells per side for a group of n textures; 0 when n is above 1024.
uint32_t GridSize(uint32_t n) {
  if (n <= 16) return 4;
  if (n <= 64) return 8;
  if (n <= 256) return 16;
  if (n <= 1024) return 32;
  return 0;
}

// Copies a texture's image into the atlas at pixel (x, y), row by row; a
// 24-bit picture in a 32-bit atlas gets alpha 255.
void CopyIntoAtlas(const TEXTURE3D* src, TEXTURE3D* atlas, uint32_t x, uint32_t y) {
  const uint32_t sc = src->depth / 8, ac = atlas->depth / 8;
  for (uint32_t row = 0; row < src->height; row++) {
    const uint8_t* s = src->pixels + size_t(row) * src->width * sc;
    uint8_t* d = atlas->pixels + (size_t(y + row) * atlas->width + x) * ac;
    if (sc == ac) {
      std::memcpy(d, s, size_t(src->width) * sc);
      continue;
    }
    for (uint32_t i = 0; i < src->width; i++, s += sc, d += ac) {
      for (uint32_t k = 0; k < 3; k++) d[k] = s[k];
      if (ac == 4) d[3] = sc == 4 ? s[3] : 255;
    }
  }
}

}  // namespace

int32_t RemapTextures() {
  Engine3DState& s = E3D();
  EngineRecord& e = s.engine;
  const ThingSlot* tex = FindThingSlot(THING_TEXTURE3D);
  if (!e.regroup_textures || !tex || !tex->data || tex->count == 0) return 0;
  auto* textures = reinterpret_cast<TEXTURE3D*>(tex->data);
  const uint32_t count = tex->count;
  uint32_t n24 = 0, n32 = 0;
  for (uint32_t i = 0; i < count; i++) {
    n24 += textures[i].depth == 24;
    n32 += textures[i].depth == 32;
  }
  const uint32_t g24 = GridSize(n24), g32 = GridSize(n32);
  const uint32_t cw = textures[0].width, ch = textures[0].height;
  if (!g24 || !g32) {
    DebugLog("RemapTextures: Zu viele Texturen (%u / %u), keine Atlanten.\n", n24, n32);
    return 0;
  }
  for (uint32_t i = 0; i < count; i++) {
    const TEXTURE3D& t = textures[i];
    if ((t.depth == 24 || t.depth == 32) && (t.width != cw || t.height != ch || !t.pixels)) {
      DebugLog("RemapTextures: Textur <%s> hat nicht die Groesse der ersten, keine Atlanten.\n", t.name);
      return 0;
    }
  }
  if (uint64_t(cw) * g32 > 65535 || uint64_t(ch) * g32 > 65535 || uint64_t(cw) * g24 > 65535 ||
      uint64_t(ch) * g24 > 65535)
    return 0;
  TEXTURE3D atlas[2]{};
  InitializeT(&atlas[0], "RAM", uint16_t(cw * g24), uint16_t(ch * g24), 24, "All Textures 24bits");
  InitializeT(&atlas[1], "RAM", uint16_t(cw * g32), uint16_t(ch * g32), 32, "All Textures 32bits");
  auto* cells = static_cast<AtlasCell*>(AllocVec(count * uint32_t(sizeof(AtlasCell)), MEMF_PUBLIC | MEMF_CLEAR));
  if (!cells || !atlas[0].pixels || !atlas[1].pixels) {
    DebugLog("RemapTextures: Kein Speicher mehr vorhanden.\n");
    FreeVec(cells);
    FreeVec(atlas[0].pixels);
    FreeVec(atlas[1].pixels);
    return 0;
  }
  uint32_t k24 = 0, k32 = 0;
  for (uint32_t i = 0; i < count; i++) {
    const TEXTURE3D& t = textures[i];
    if (t.depth != 24 && t.depth != 32) continue;
    const uint16_t which = t.depth == 32;
    const uint32_t g = which ? g32 : g24, k = which ? k32++ : k24++;
    const uint32_t col = k % g, row = k / g;
    TEXTURE3D& a = atlas[which];
    cells[i] = AtlasCell{float(col) / float(g), float(row) / float(g), float(t.width) / float(a.width),
                         float(t.height) / float(a.height), which, 1};
    CopyIntoAtlas(&t, &a, a.width * col / g, a.height * row / g);
  }
  for (uint32_t i = 0; i < count; i++) {
    FreeTexture(&textures[i]);
    FreeVec(textures[i].pixels);
    textures[i].pixels = nullptr;
  }
  GetThing(THING_TEXTURE3D, kThingReset);
  e.half_textures = 1;
  s.individual_textures = 1;
  for (TEXTURE3D& a : atlas) {
    auto* slot = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, kThingAppend));
    if (!slot) {
      FreeVec(a.pixels);
      continue;
    }
    *slot = a;
    UploadTexture(slot);
  }

  // Texture coordinates: clamped to 0 .. 0.9999 and marked (u + 10) until mapped.
  const ThingSlot* points = FindThingSlot(THING_POINT3D);
  const ThingSlot* faces = FindThingSlot(THING_FACE3D);
  const ThingSlot* pindex = FindThingSlot(THING_PINDEX3D);
  auto* p = points && points->data ? reinterpret_cast<VERTEX3D*>(points->data) : nullptr;
  for (uint32_t i = 0; p && i < points->count; i++) {
    for (float* c : {&p[i].u, &p[i].v}) {
      if (*c < 0.0f) *c = 0.0f;
      if (*c >= 1.0f) *c = 0.9999f;
    }
    p[i].u += 10.0f;
  }
  auto* f = faces && faces->data ? reinterpret_cast<FACE3D*>(faces->data) : nullptr;
  const auto* idx = pindex && pindex->data ? reinterpret_cast<const uint32_t*>(pindex->data) : nullptr;
  for (uint32_t i = 0; f && i < faces->count; i++) f[i].texture = nullptr;
  // Each object's faces map the points they use that are still marked: a
  // point shared by faces of different textures follows the first face.
  // Face index numbers count within their object's indices, indices from
  // its first point.
  const ThingSlot* objects = FindThingSlot(THING_OBJECT3D);
  const auto* o = objects && objects->data ? reinterpret_cast<const OBJECT3D*>(objects->data) : nullptr;
  for (uint32_t n = 0; o && f && n < objects->count; n++) {
    const OBJECT3D& obj = o[n];
    for (uint32_t k = 0; k < uint32_t(obj.face_count > 0 ? obj.face_count : 0); k++) {
      if (uint64_t(obj.first_face) + k >= faces->count) break;
      const FACE3D& face = f[obj.first_face + k];
      if (face.texture_index >= count || !cells[face.texture_index].mapped) continue;
      const AtlasCell& c = cells[face.texture_index];
      for (uint32_t j = 0; p && j < face.points; j++) {
        const uint64_t number = uint64_t(face.first) + j;
        if (obj.index_count > 0 && number >= uint64_t(obj.index_count)) break;
        const uint64_t at = uint64_t(obj.first_index) + number;
        const uint64_t pi = uint64_t(obj.first_point) + (obj.index_count > 0 && idx && at < pindex->count ? idx[at] : number);
        if (pi >= points->count || p[pi].u < 10.0f) continue;
        p[pi].u = (p[pi].u - 10.0f) * c.u_scale + c.u_offset;
        p[pi].v = p[pi].v * c.v_scale + c.v_offset;
      }
    }
  }
  // Every face now draws with its atlas.
  for (uint32_t i = 0; f && i < faces->count; i++) {
    FACE3D& face = f[i];
    if (face.texture_index >= count || !cells[face.texture_index].mapped) continue;
    face.texture_index = cells[face.texture_index].atlas;
    face.texture = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, face.texture_index));
  }
  FreeVec(cells);
  return 1;
}
