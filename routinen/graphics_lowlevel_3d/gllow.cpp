// The engine's GL low level: textures into GL, the seven render modes, the
// face batch (one indexed triangle list per texture), indexed ranges, fog
// and the clear colour. Window thread, inside a frame or the scene set-up.
#include <GL/gl.h>

#include <cstddef>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

// GL reads view vertices in place as T2F_C4UB_V3F.
static_assert(sizeof(VERTEX3D) == 24 && offsetof(VERTEX3D, rgba) == 8 && offsetof(VERTEX3D, x) == 12);

namespace {

EngineRecord& E() { return E3D().engine; }

GLenum PixelFormat(uint16_t depth) {
  if (depth == 32) return GL_RGBA;
  if (depth == 8) return GL_LUMINANCE;  // grey and alpha pictures: one byte a pixel
  return GL_RGB;
}

// The view's arrays: the VIEW lives at the bases of its stores.
VERTEX3D* ViewPoints() { return static_cast<VERTEX3D*>(GetThing(THING_VPOINT3D, kThingBase)); }
const ThingSlot* Slot(uint16_t key) { return FindThingSlot(key); }

void SmoothOff() {
  glDisable(GL_POLYGON_SMOOTH);
  glDisable(GL_POINT_SMOOTH);
  glDisable(GL_LINE_SMOOTH);
}

// The mode's own state, without the common first step.
bool ApplyMode(uint16_t mode) {
  Engine3DState& s = E3D();
  const EngineRecord& e = E();
  switch (mode) {
    case 1:
      glEnable(GL_TEXTURE_2D);
      glDisable(GL_BLEND);
      glEnable(GL_DEPTH_TEST);
      glDepthMask(GL_TRUE);
      s.primitive = GL_TRIANGLES;
      if (e.antialias) glEnable(GL_POLYGON_SMOOTH);
      return true;
    case 2:
      glEnable(GL_TEXTURE_2D);
      glEnable(GL_BLEND);
      glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
      glEnable(GL_DEPTH_TEST);
      glDepthMask(GL_FALSE);
      s.primitive = GL_TRIANGLES;
      if (e.antialias) glEnable(GL_POLYGON_SMOOTH);
      return true;
    case 3:
      ApplyMode(2);
      glDepthMask(GL_TRUE);
      glDisable(GL_POLYGON_SMOOTH);
      return true;
    case 4:
      ApplyMode(2);
      glDisable(GL_TEXTURE_2D);
      s.point_size = 2.0f * e.scale;
      s.primitive = GL_POINTS;
      glEnable(GL_POINT_SMOOTH);
      return true;
    case 5:
      ApplyMode(2);
      glDisable(GL_TEXTURE_2D);
      s.point_size = e.scale;
      s.primitive = GL_LINES;
      glEnable(GL_LINE_SMOOTH);
      return true;
    case 6:
      ApplyMode(4);
      s.point_size = 10.0f * e.scale;
      return true;
    case 7:
      ApplyMode(1);
      glDisable(GL_TEXTURE_2D);
      return true;
    default:
      return false;
  }
}

}  // namespace

uint32_t TextureBytes(const TEXTURE3D* t) {
  const uint64_t image = uint64_t(t->width) * t->height * (t->depth / 8);
  const uint64_t all = t->mipmapped ? image + image / 3 : image;
  return all > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(all);
}

void SetIndividualTextures(int on) { E3D().individual_textures = on; }

uint32_t UploadTexture(TEXTURE3D* t) {
  if (!t) return 0;
  const EngineRecord& e = E();
  if (e.half_textures > 1) ReduceTexture(t, e.half_textures);
  if (!E3D().individual_textures) {
    t->gl_name = 0;
    t->uploaded = 0;
    return 0;
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  glBindTexture(GL_TEXTURE_2D, name);
  GLint mag = GL_LINEAR, min = t->mipmapped ? GL_LINEAR_MIPMAP_NEAREST : GL_LINEAR;
  if (!e.filtering) {
    mag = GL_NEAREST;
    min = t->mipmapped ? GL_NEAREST_MIPMAP_NEAREST : GL_NEAREST;
  }
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
  const GLenum format = PixelFormat(t->depth);
  const GLint components = t->depth == 8 ? GL_LUMINANCE : GLint(t->depth / 8);
  // Rows are packed without padding (an RGB row of odd width is no multiple of 4).
  GLint align = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  if (t->pixels && t->width && t->height) {
    glTexImage2D(GL_TEXTURE_2D, 0, components, t->width, t->height, 0, format, GL_UNSIGNED_BYTE, t->pixels);
    if (t->mipmapped) {
      // Each level is the full image reduced by 2, 4, 8, ..., stored behind
      // the level before it in the buffer's spare third.
      const uint32_t bpp = t->depth / 8, total = TextureBytes(t);
      uint32_t offset = uint32_t(t->width) * t->height * bpp;
      uint32_t w = t->width / 2, h = t->height / 2, factor = 2;
      GLint last = 0;
      for (GLint level = 1; w > 0 && h > 0; level++, w /= 2, h /= 2, factor *= 2) {
        const uint32_t bytes = w * h * bpp;
        if (bytes > total - offset) break;
        ReduceBitmap(t->pixels, t->pixels + offset, t->width, t->height, t->depth, factor);
        glTexImage2D(GL_TEXTURE_2D, level, components, GLsizei(w), GLsizei(h), 0, format, GL_UNSIGNED_BYTE,
                     t->pixels + offset);
        offset += bytes;
        last = level;
      }
      // A texture that is not square stops before 1 x 1: its last level is
      // the last one, so GL still takes the texture as complete.
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, last);
    }
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, align);
  glEnable(GL_TEXTURE_2D);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
  t->gl_name = name;
  t->uploaded = 1;
  return 0;
}

void RefreshTexture(TEXTURE3D* t) {
  if (!t || !t->pixels || !t->gl_name) return;
  glBindTexture(GL_TEXTURE_2D, t->gl_name);
  GLint align = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t->width, t->height, PixelFormat(t->depth), GL_UNSIGNED_BYTE, t->pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, align);
}

void FreeTexture(TEXTURE3D* t) {
  if (!t) return;
  if (t->gl_name) {
    GLuint name = t->gl_name;
    glDeleteTextures(1, &name);
  }
  t->gl_name = 0;
  t->uploaded = 0;
}

void OSSetmode(uint16_t mode) {
  glDepthFunc(GL_LESS);
  SmoothOff();
  E3D().point_size = 1.0f;
  if (!ApplyMode(mode)) DebugLog("OSSetmode: Fehlerhafte Paramteruebrgabe\n");
}

void SetViewArrays() {
  VERTEX3D* points = ViewPoints();
  if (!points) return;
  glInterleavedArrays(GL_T2F_C4UB_V3F, 0, points);
}

int32_t PolyVisible(const uint32_t* indices, int32_t count, int32_t test) {
  if (count > 50) return 0;
  if (count < 3 || !indices) {
    DebugLog("PolyVisible: Polygon besteht aus  zu wenigen Punkte.\n");
    return 0;
  }
  Engine3DState& s = E3D();
  s.faces_tested++;
  if (E().faces_culling && test) {
    const ThingSlot* vp = Slot(THING_VPOINT3D);
    if (!vp || !vp->data) return 1;
    for (int i = 0; i < 3; i++)
      if (indices[i] >= vp->capacity) return 0;  // an index outside the view: nothing to draw
    const auto* v = reinterpret_cast<const VERTEX3D*>(vp->data);
    const VERTEX3D &a = v[indices[0]], &b = v[indices[1]], &c = v[indices[2]];
    if ((b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y) < 0.0f) {
      s.faces_culled++;
      return 0;
    }
  }
  return 1;
}

void FlushFaceBatch() {
  Engine3DState& s = E3D();
  if (s.batch_indices < 3) return;
  const auto* tri = static_cast<const uint32_t*>(GetThing(THING_TRIPINDEX3D, kThingBase));
  if (tri) {
    SetViewArrays();
    glBindTexture(GL_TEXTURE_2D, s.batch_texture);
    glDrawElements(GL_TRIANGLES, s.batch_indices, GL_UNSIGNED_INT, tri);
    s.flushes++;
  }
  s.batch_indices = 0;
}

void AddFaceToBatch(const FACE3D* face) {
  Engine3DState& s = E3D();
  const ThingSlot* vi = Slot(THING_VPINDEX3D);
  const ThingSlot* tri = Slot(THING_TRIPINDEX3D);
  if (!face || !vi || !vi->data || !tri || !tri->data) return;
  const uint32_t n = face->points;
  if (uint64_t(face->first) + n > vi->capacity) return;  // indices outside the view's array
  const uint32_t* p = reinterpret_cast<const uint32_t*>(vi->data) + face->first;
  s.cur_index = p;
  const int32_t test = face->texture && face->texture->cull == 1;
  if (!PolyVisible(p, int32_t(n), test)) return;
  const uint32_t name = face->texture ? face->texture->gl_name : 0;
  const uint32_t need = 3 * (n - 2);
  if (s.batch_indices >= kBatchFlushIndices || name != s.batch_texture ||
      uint64_t(s.batch_indices) + need > tri->capacity)
    FlushFaceBatch();
  if (need > tri->capacity) return;
  auto* out = reinterpret_cast<uint32_t*>(tri->data) + s.batch_indices;
  for (uint32_t i = 0; i + 2 < n; i++) {
    *out++ = p[i + 1];
    *out++ = p[i + 2];
    *out++ = p[0];
  }
  s.batch_indices += int32_t(need);
  s.batch_texture = name;
}

void DrawIndexRange(const DrawRange* range) {
  Engine3DState& s = E3D();
  const ThingSlot* vi = Slot(THING_VPINDEX3D);
  if (!range || !vi || !vi->data || uint64_t(range->first) + range->count > vi->capacity) return;
  s.cur_index = reinterpret_cast<const uint32_t*>(vi->data) + range->first;
  OSSetmode(range->mode);
  if (s.point_size <= 2.0f) s.point_size = 2.0f;
  glPointSize(s.point_size);
  glDrawElements(s.primitive, range->count, GL_UNSIGNED_INT, s.cur_index);
  s.point_size = 1.0f;
}

// Draw modes that blend with the source's alpha and write no depth: a
// primitive whose points all have alpha 0 leaves the picture as it was.
bool ClearIsInvisible(uint16_t mode) { return mode == 2 || mode == 4 || mode == 5 || mode == 6; }

void DrawIndexRanges(const DrawRange* ranges, uint32_t count) {
  Engine3DState& s = E3D();
  const ThingSlot* vi = Slot(THING_VPINDEX3D);
  const ThingSlot* tri = Slot(THING_TRIPINDEX3D);
  if (!ranges || count == 0) return;
  if (!vi || !vi->data || !tri || !tri->data) {
    for (uint32_t k = 0; k < count; k++) DrawIndexRange(&ranges[k]);
    return;
  }
  OSSetmode(ranges[0].mode);
  const uint32_t primitive = s.primitive;
  const uint32_t unit = primitive == GL_LINES ? 2 : (primitive == GL_TRIANGLES ? 3 : 1);
  const float size = s.point_size <= 2.0f ? 2.0f : s.point_size;
  auto* out = reinterpret_cast<uint32_t*>(tri->data);
  const auto* in = reinterpret_cast<const uint32_t*>(vi->data);
  // Particles that faded out (smoke rises with alpha 0 for most of its way)
  // are left out: blended without depth they would change no pixel.
  const ThingSlot* vp = Slot(THING_VPOINT3D);
  const auto* points = vp && vp->data && ClearIsInvisible(ranges[0].mode) ? ViewPoints() : nullptr;
  const uint64_t known = points ? vp->capacity : 0;
  auto visible = [&](const uint32_t* p) {
    for (uint32_t j = 0; j < unit; j++)
      if (p[j] >= known || points[p[j]].rgba[3] != 0) return true;
    return false;
  };
  uint32_t used = 0;
  auto draw = [&] {
    if (!used) return;
    glPointSize(size);
    glDrawElements(primitive, GLsizei(used), GL_UNSIGNED_INT, out);
    used = 0;
  };
  for (uint32_t k = 0; k < count; k++) {
    const DrawRange& r = ranges[k];
    if (uint64_t(r.first) + r.count > vi->capacity) continue;
    // A range whose primitives would join the next one's, or too large for
    // the scratch, is drawn alone in its turn.
    if (r.count % unit != 0 || r.count > tri->capacity) {
      draw();
      DrawIndexRange(&r);
      OSSetmode(ranges[0].mode);
      continue;
    }
    if (uint64_t(used) + r.count > tri->capacity) draw();
    if (!points) {
      std::memcpy(out + used, in + r.first, size_t(r.count) * sizeof(uint32_t));
      used += r.count;
      continue;
    }
    for (uint32_t j = 0; j < r.count; j += unit)
      if (visible(in + r.first + j)) {
        std::memcpy(out + used, in + r.first + j, size_t(unit) * sizeof(uint32_t));
        used += unit;
      }
  }
  draw();
  s.point_size = 1.0f;
}

void SetFog() {
  const EngineRecord& e = E();
  if (e.fog_mode == 0 || e.fog_mode > 3) {  // above 3: no such mode, no fog
    glDisable(GL_FOG);
    return;
  }
  const GLint modes[] = {GL_LINEAR, GL_EXP, GL_EXP2};
  glFogi(GL_FOG_MODE, modes[e.fog_mode - 1]);
  const GLfloat colour[4] = {e.fog_rgba[0] / 256.0f, e.fog_rgba[1] / 256.0f, e.fog_rgba[2] / 256.0f,
                             e.fog_rgba[3] / 256.0f};
  glFogfv(GL_FOG_COLOR, colour);
  glFogf(GL_FOG_START, 0.8f);
  glFogf(GL_FOG_END, e.view_far);
  glFogf(GL_FOG_DENSITY, e.fog_density);
  glEnable(GL_FOG);
}

void SetClearColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
}

BatchInfo FaceBatchInfo() {
  const Engine3DState& s = E3D();
  return BatchInfo{s.batch_indices, s.batch_texture, s.faces_tested, s.faces_culled, s.flushes, s.point_size,
                   s.primitive};
}
