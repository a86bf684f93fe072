// The GL frame on the window thread: clear, the map scene, then every entry
// of the Objekt3D-Liste as a textured quad; and the window's GL context.
// Frames draw into a picture kept between them and redraw only what changed.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

#include "gl3d_internal.h"
#include "platform/backend.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/framefit.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/mapgl.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"

namespace {

// The display size the frame is drawn for. The display record holds the
// same values, but the game thread fills it in while frames run: the
// display's own (atomic) size is read here.
void FrameSize(uint32_t* w, uint32_t* h) {
  *w = DisplayWidth();
  *h = DisplayHeight();
}

// Where the frame of w x h stands in the window's drawable (the window loop
// says its size): scaled on a full-screen desktop of another size.
FrameFit WindowFit(uint32_t w, uint32_t h) {
  int32_t ww = 0, wh = 0;
  GLWindowSize(&ww, &wh);
  return FitFrame(w, h, uint32_t(ww > 0 ? ww : 0), uint32_t(wh > 0 ? wh : 0));
}

// The colours of the 8-bit pens: the display palette, alpha 255.
void PenColours(uint32_t pens[256]) {
  PaletteEntry pal[256]{};
  DisplayGetPalette(pal);
  for (int i = 0; i < 256; i++) {
    uint8_t b[4] = {pal[i].r, pal[i].g, pal[i].b, 255};
    std::memcpy(&pens[i], b, 4);
  }
}

// Copies the bitmap's rectangle into dst (rows of stride bytes) as bytes R,
// G, B, A: RGBA pixels as they are, 0x00RRGGBB and pens with alpha 255.
void CopyRGBA(const BitMap* bm, uint32_t x, uint32_t y, uint32_t w, uint32_t h, uint8_t* dst, size_t stride,
              const uint32_t* pens) {
  const uint16_t format = BitMapPixelFormat(bm);
  for (uint32_t row = 0; row < h; row++) {
    const uint8_t* s = bm->Pixels + size_t(y + row) * bm->BytesPerRow + size_t(x) * (bm->Depth / 8);
    uint8_t* d = dst + size_t(row) * stride;
    if (format == PIXFMT_RGBA32) {
      std::memcpy(d, s, size_t(w) * 4);
    } else if (format == PIXFMT_XRGB32) {
      for (uint32_t i = 0; i < w; i++) {
        uint32_t v;
        std::memcpy(&v, s + 4 * i, 4);
        d[4 * i] = uint8_t(v >> 16);
        d[4 * i + 1] = uint8_t(v >> 8);
        d[4 * i + 2] = uint8_t(v);
        d[4 * i + 3] = 255;
      }
    } else {
      for (uint32_t i = 0; i < w; i++) std::memcpy(d + 4 * i, &pens[s[i]], 4);
    }
  }
}

bool Drawable(const BitMap* bm) {
  if (!bm || !bm->Pixels || bm->Width == 0 || bm->Height == 0) return false;
  if (bm->Depth != 8 && bm->Depth != 32) return false;
  return bm->BytesPerRow >= bm->Width * (bm->Depth / 8);
}

// The entry's texture: made on the first pass, with the whole bitmap in its
// top-left corner and the rest transparent black.
void MakeTexture(ObjektListEntry* e, const uint32_t* pens) {
  const BitMap* bm = e->bitmap;
  const uint32_t size = e->texture_size;
  auto* buf = static_cast<uint8_t*>(AllocVec(size * size * 4, MEMF_PUBLIC | MEMF_CLEAR));
  if (!buf) return;
  GLuint name = 0;
  glGenTextures(1, &name);
  e->texture_name = name;
  uint32_t w = bm->Width < size ? bm->Width : size, h = bm->Height < size ? bm->Height : size;
  CopyRGBA(bm, 0, 0, w, h, buf, size_t(size) * 4, pens);
  glBindTexture(GL_TEXTURE_2D, name);
  glTexImage2D(GL_TEXTURE_2D, 0, 4, GLsizei(size), GLsizei(size), 0, GL_RGBA, GL_UNSIGNED_BYTE, buf);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  FreeVec(buf);
}

// Uploads one queued rectangle into the entry's texture.
void UploadRect(ObjektListEntry* e, const DirtyRect* d, const uint32_t* pens) {
  const BitMap* bm = e->bitmap;
  uint32_t x = d->x, y = d->y, w = d->width ? d->width : bm->Width, h = d->height ? d->height : bm->Height;
  if (x >= bm->Width || y >= bm->Height) return;  // queued rectangles are clipped; this guards the copy
  if (w > bm->Width - x) w = bm->Width - x;
  if (h > bm->Height - y) h = bm->Height - y;
  auto* buf = static_cast<uint8_t*>(AllocVec(w * h * 4, MEMF_PUBLIC));
  if (!buf) return;
  CopyRGBA(bm, x, y, w, h, buf, size_t(w) * 4, pens);
  glBindTexture(GL_TEXTURE_2D, e->texture_name);
  GLint align = 4;
  glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexSubImage2D(GL_TEXTURE_2D, 0, GLint(x), GLint(y), GLsizei(w), GLsizei(h), GL_RGBA, GL_UNSIGNED_BYTE, buf);
  glPixelStorei(GL_UNPACK_ALIGNMENT, align);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  FreeVec(buf);
}

// Deletes the textures of unlinked entries and frees them (screen_sem held);
// true when there was any.
bool FreeRetired() {
  ListHeader* r = GL3D().retired;
  const bool any = r && r->count > 0;
  while (r && r->count > 0) {
    auto* e = reinterpret_cast<ObjektListEntry*>(r->first);
    RemoveNode(r, LN_HEAD, 0, RN_KEEP_NODE);
    if (e->texture_name && GL3D().context) {
      GLuint name = e->texture_name;
      glDeleteTextures(1, &name);
    }
    FreeObjektListEntry(e);
  }
  return any;
}

// What changed since the last frame: the display rectangles to draw again,
// or the whole frame.
constexpr uint32_t kMaxFrameRects = 64;
struct FrameChanges {
  bool whole = false;   // an entry came, went or got a new texture; too many rectangles
  uint32_t count = 0;
  int32_t rects[kMaxFrameRects][4];  // x, y, width, height on the display
  uint64_t digest = 14695981039346656037ull;  // of every entry's place, size, visibility, texture
  bool covered = false;    // a visible opaque entry covers the whole display: no landscape can be seen
  bool other_screen = false;  // a screen other than the map's stands over the landscape: it rests
};

void Digest(FrameChanges* c, uint64_t v) {
  for (int i = 0; i < 8; i++) {
    c->digest ^= (v >> (8 * i)) & 0xFF;
    c->digest *= 1099511628211ull;
  }
}

// A queued rectangle of an entry at (ex, ey) as a display rectangle, cut to
// the display.
void AddFrameRect(FrameChanges* c, int64_t x, int64_t y, int64_t w, int64_t h, uint32_t dw, uint32_t dh) {
  int64_t x0 = x < 0 ? 0 : x, y0 = y < 0 ? 0 : y;
  int64_t x1 = x + w > int64_t(dw) ? int64_t(dw) : x + w, y1 = y + h > int64_t(dh) ? int64_t(dh) : y + h;
  if (x0 >= x1 || y0 >= y1) return;
  if (c->count == kMaxFrameRects) {
    c->whole = true;
    return;
  }
  int32_t* r = c->rects[c->count++];
  r[0] = int32_t(x0), r[1] = int32_t(y0), r[2] = int32_t(x1 - x0), r[3] = int32_t(y1 - y0);
}

// The rows of an 8-bit bitmap that show a pen of the mask, as bands of
// rows each as wide as those pixels reach; beyond 16 bands one round all.
uint32_t PenBands(const BitMap* bm, const uint64_t mask[4], DirtyRect* out) {
  uint32_t n = 0;
  int32_t band_y = -1, bx0 = 0, bx1 = 0;
  int32_t all_x0 = int32_t(bm->Width), all_y0 = int32_t(bm->Height), all_x1 = 0, all_y1 = 0;
  for (uint32_t y = 0; y <= bm->Height; y++) {
    int32_t x0 = -1, x1 = -1;
    if (y < bm->Height) {
      const uint8_t* row = bm->Pixels + size_t(y) * bm->BytesPerRow;
      for (uint32_t x = 0; x < bm->Width; x++)
        if ((mask[row[x] >> 6] >> (row[x] & 63)) & 1) {
          if (x0 < 0) x0 = int32_t(x);
          x1 = int32_t(x);
        }
    }
    if (x0 >= 0) {
      if (band_y < 0) band_y = int32_t(y), bx0 = x0, bx1 = x1;
      bx0 = x0 < bx0 ? x0 : bx0;
      bx1 = x1 > bx1 ? x1 : bx1;
    } else if (band_y >= 0) {
      if (n < 16) {
        out[n].x = uint32_t(bx0), out[n].y = uint32_t(band_y);
        out[n].width = uint32_t(bx1 - bx0 + 1), out[n].height = uint32_t(int32_t(y) - band_y);
      }
      n++;
      all_x0 = bx0 < all_x0 ? bx0 : all_x0;
      all_y0 = band_y < all_y0 ? band_y : all_y0;
      all_x1 = bx1 + 1 > all_x1 ? bx1 + 1 : all_x1;
      all_y1 = int32_t(y);
      band_y = -1;
    }
  }
  if (n <= 16) return n;
  out[0].x = uint32_t(all_x0), out[0].y = uint32_t(all_y0);
  out[0].width = uint32_t(all_x1 - all_x0), out[0].height = uint32_t(all_y1 - all_y0);
  return 1;
}

// First loop of the 2D pass: textures and queued rectangles, and what they
// change on a display of dw x dh. The bitmaps' pixels are read under the
// display mutex, which every drawing into a shown bitmap holds.
void UploadEntries(uint32_t dw, uint32_t dh, FrameChanges* changes) {
  GL3DState& s = GL3D();
  QoeMutex* pixels = DisplayMutex();
  if (pixels) ObtainMutex(pixels);
  ObtainSemaphore(s.screen_sem);
  if (FreeRetired()) changes->whole = true;
  uint32_t pens[256];
  bool pens_read = false;
  ListNode* n = s.objekte->first;
  const uint32_t count = s.objekte->count;
  Digest(changes, count);
  uint64_t changed_pens[4] = {0, 0, 0, 0};
  for (uint32_t i = 0; i < count; i++, n = n->next) {
    auto* e = reinterpret_cast<ObjektListEntry*>(n);
    ObtainSemaphore(e->semaphore);
    if (Drawable(e->bitmap)) {
      if (e->bitmap->Depth == 8 && !pens_read) {
        PenColours(pens);
        pens_read = true;
        // Pens that changed colour since the textures got them (a palette
        // load, a colour-cycling step): only their pixels are uploaded again.
        for (uint32_t p = 0; p < 256; p++)
          if (!s.pens_known || pens[p] != s.shown_pens[p]) changed_pens[p >> 6] |= uint64_t{1} << (p & 63);
      }
      if (!e->texture_name) {
        MakeTexture(e, pens);
        changes->whole = true;
      } else if (e->bitmap->Depth == 8 && (changed_pens[0] | changed_pens[1] | changed_pens[2] | changed_pens[3])) {
        DirtyRect bands[16]{};
        const uint32_t nb = PenBands(e->bitmap, changed_pens, bands);
        for (uint32_t b = 0; b < nb; b++) {
          UploadRect(e, &bands[b], pens);
          if (e->visible)
            AddFrameRect(changes, int64_t(e->x) + bands[b].x, int64_t(e->y) + bands[b].y, bands[b].width,
                         bands[b].height, dw, dh);
        }
      }
      while (e->dirty->count > 0) {
        auto* d = reinterpret_cast<DirtyRect*>(e->dirty->first);
        if (e->texture_name) UploadRect(e, d, pens);
        if (e->visible) {
          const BitMap* bm = e->bitmap;
          AddFrameRect(changes, int64_t(e->x) + d->x, int64_t(e->y) + d->y, d->width ? d->width : bm->Width,
                       d->height ? d->height : bm->Height, dw, dh);
        }
        RemoveNode(e->dirty, LN_HEAD, 0, 0);
      }
    }
    // Pens and 0x00RRGGBB pixels are all opaque: such an entry over the
    // whole display hides whatever lies beneath it.
    if (e->visible && Drawable(e->bitmap) && BitMapPixelFormat(e->bitmap) != PIXFMT_RGBA32 && e->x <= 0 &&
        e->y <= 0 && int64_t(e->x) + e->bitmap->Width >= int64_t(dw) && int64_t(e->y) + e->bitmap->Height >= int64_t(dh))
      changes->covered = true;
    Digest(changes, uint64_t(uintptr_t(e)));
    Digest(changes, uint64_t(uint32_t(e->x)) << 32 | uint32_t(e->y));
    Digest(changes, uint64_t(e->visible) << 32 | e->texture_name);
    Digest(changes, uint64_t(uintptr_t(e->bitmap)));
    if (e->bitmap) Digest(changes, uint64_t(e->bitmap->Width) << 32 | e->bitmap->Height);
    ReleaseSemaphore(e->semaphore);
  }
  changes->other_screen = s.screen && s.screen != s.map_entry;
  if (pens_read) {
    std::memcpy(s.shown_pens, pens, sizeof pens);
    s.pens_known = 1;
  }
  ReleaseSemaphore(s.screen_sem);
  if (pixels) ReleaseMutex(pixels);
}

// What a resting landscape shows: the published map's copy.
void DigestMapCopy(FrameChanges* c) {
  const MapFrameCopy& m = E3D().map_copy;
  Digest(c, uint64_t(uint32_t(m.world_x)) << 32 | uint32_t(m.world_y));
  Digest(c, uint64_t(uint32_t(m.view_column)) << 32 | uint32_t(m.view_row));
  uint64_t px, py;
  std::memcpy(&px, &m.pixel_column, 8);
  std::memcpy(&py, &m.pixel_row, 8);
  Digest(c, px);
  Digest(c, py);
  Digest(c, uint64_t(m.columns) << 32 | m.rows);
  Digest(c, uint64_t(uint32_t(m.reach_on)) << 32 | m.own_player);
  uint64_t h = 14695981039346656037ull;
  auto bytes = [&h](const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; i++) {
      h ^= b[i];
      h *= 1099511628211ull;
    }
  };
  bytes(m.terrain, sizeof m.terrain);
  bytes(m.owner, sizeof m.owner);
  bytes(m.figure_type, sizeof m.figure_type);
  bytes(m.figure_state, sizeof m.figure_state);
  bytes(m.reach, sizeof m.reach);
  Digest(c, h);
}

// While the map screen shows the landscape and the camera rests (nothing
// the landscape shows changed for kStillFrames frames), the landscape is
// drawn on every kRestEvery-th frame only, its clock moved by the frames
// between: water, weather and figures need not be drawn 30 times a second
// to look alive, and a scroll, a figure's move or a click is drawn at once.
constexpr uint32_t kStillFrames = 15;
constexpr uint32_t kRestEvery = 3;

// What the moving landscape shows beside its own clock: the map's copy, the
// camera, the marked hex and the engine's switches.
uint64_t LandscapeLook() {
  FrameChanges look;
  DigestMapCopy(&look);
  const CameraRecord& cam = *Camera();
  uint32_t bits[4];
  std::memcpy(&bits[0], &cam.rotation, 4);
  std::memcpy(&bits[1], &cam.flip, 4);
  std::memcpy(&bits[2], &cam.factor, 4);
  std::memcpy(&bits[3], &cam.perspective, 4);
  Digest(&look, uint64_t(bits[0]) << 32 | bits[1]);
  Digest(&look, uint64_t(bits[2]) << 32 | bits[3]);
  int32_t column, row;
  {
    std::lock_guard<std::mutex> hold(GL3D().pick_lock);
    column = GL3D().marked_column;
    row = GL3D().marked_row;
  }
  Digest(&look, uint64_t(uint32_t(column)) << 32 | uint32_t(row));
  const EngineRecord& e = *Engine();
  Digest(&look, uint64_t(e.old_look_2d) << 32 | e.show_barriers);
  Digest(&look, uint64_t(e.snow_on) << 48 | uint64_t(e.rain_on) << 32 | uint64_t(e.night_on) << 16 | e.wind_on);
  Digest(&look, uint64_t(e.sky_on) << 32 | e.use_animations);
  return look.digest;
}

// The GL state of the 2D pass on a display of dw x dh.
void BeginEntries(uint32_t dw, uint32_t dh) {
  glEnable(GL_CULL_FACE);
  glCullFace(GL_BACK);
  glDepthFunc(GL_LEQUAL);
  glEnable(GL_TEXTURE_2D);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glDisable(GL_FOG);
  glDisable(GL_BLEND);
  glDisable(GL_LIGHTING);
  glDisable(GL_LINE_SMOOTH);
  glDisable(GL_POLYGON_SMOOTH);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, double(dw), double(dh), 0.0, 0.0, 128.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glEnable(GL_ALPHA_TEST);
  glAlphaFunc(GL_GREATER, 0.1f);
}

// Second loop of the 2D pass: the visible entries as quads, in list order.
void DrawEntries() {
  GL3DState& s = GL3D();
  ObtainSemaphore(s.screen_sem);
  ListNode* n = s.objekte->first;
  const uint32_t count = s.objekte->count;
  for (uint32_t i = 0; i < count; i++, n = n->next) {
    auto* e = reinterpret_cast<ObjektListEntry*>(n);
    ObtainSemaphore(e->semaphore);
    if (e->visible && e->texture_name && e->bitmap) {
      const int32_t x = e->x, y = e->y;
      const int32_t w = int32_t(e->bitmap->Width), h = int32_t(e->bitmap->Height);
      const float size = float(e->texture_size);
      const float tw = float(w) / size, th = float(h) / size;
      glBindTexture(GL_TEXTURE_2D, e->texture_name);
      glBegin(GL_QUADS);
      glTexCoord2f(0.0f, th);
      glVertex3i(x, y + h, 0);
      glTexCoord2f(tw, th);
      glVertex3i(x + w, y + h, 0);
      glTexCoord2f(tw, 0.0f);
      glVertex3i(x + w, y, 0);
      glTexCoord2f(0.0f, 0.0f);
      glVertex3i(x, y, 0);
      glEnd();
    }
    ReleaseSemaphore(e->semaphore);
  }
  ReleaseSemaphore(s.screen_sem);
}

// Deletes the kept picture (its framebuffer object and texture).
void DropPicture() {
  GL3DState& s = GL3D();
  if (s.picture_fbo) {
    GLuint f = s.picture_fbo;
    glDeleteFramebuffers(1, &f);
  }
  if (s.picture_texture) {
    GLuint t = s.picture_texture;
    glDeleteTextures(1, &t);
  }
  if (s.picture_depth) {
    GLuint d = s.picture_depth;
    glDeleteRenderbuffers(1, &d);
  }
  if (s.scene_texture) {
    GLuint t = s.scene_texture;
    glDeleteTextures(1, &t);
  }
  s.picture_fbo = s.picture_texture = s.picture_depth = s.picture_w = s.picture_h = 0;
  s.scene_texture = s.scene_w = s.scene_h = 0;
  s.scene_kept = 0;
  s.behind_count = 0;
  s.behind_whole = 0;
}

// Keeps the landscape just drawn into the kept picture (bound) for the
// changed rectangles of the frames after it.
void KeepScene(uint32_t w, uint32_t h) {
  GL3DState& s = GL3D();
  if (!s.scene_texture || s.scene_w != w || s.scene_h != h) {
    if (s.scene_texture) {
      GLuint t = s.scene_texture;
      glDeleteTextures(1, &t);
    }
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(w), GLsizei(h), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    s.scene_texture = tex;
    s.scene_w = w;
    s.scene_h = h;
  }
  glBindTexture(GL_TEXTURE_2D, s.scene_texture);
  glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, GLsizei(w), GLsizei(h));
  s.scene_kept = 1;
}

// The kept landscape as the ground of a changed rectangle (scissored): one
// quad over the display, no depth, no alpha test.
void DrawKeptScene(uint32_t w, uint32_t h) {
  GL3DState& s = GL3D();
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_DEPTH_TEST);
  glBindTexture(GL_TEXTURE_2D, s.scene_texture);
  glBegin(GL_QUADS);
  glTexCoord2f(0.0f, 0.0f);
  glVertex3i(0, int32_t(h), 0);
  glTexCoord2f(1.0f, 0.0f);
  glVertex3i(int32_t(w), int32_t(h), 0);
  glTexCoord2f(1.0f, 1.0f);
  glVertex3i(int32_t(w), 0, 0);
  glTexCoord2f(0.0f, 1.0f);
  glVertex3i(0, 0, 0);
  glEnd();
  glEnable(GL_ALPHA_TEST);
}

// The kept picture for a display of w x h, made or made anew for a new size;
// false when the context cannot make one (the frames are then drawn whole
// into the back buffer).
bool PictureReady(uint32_t w, uint32_t h) {
  GL3DState& s = GL3D();
  if (s.picture_fbo && s.picture_w == w && s.picture_h == h) return true;
  DropPicture();
  if (s.picture_failed || w == 0 || h == 0) return false;
  while (glGetError() != GL_NO_ERROR) {
  }
  GLuint tex = 0, fbo = 0, depth = 0;
  glGenTextures(1, &tex);
  glBindTexture(GL_TEXTURE_2D, tex);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, GLsizei(w), GLsizei(h), 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glGenFramebuffers(1, &fbo);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, tex, 0);
  // Without a depth buffer the landscape's faces would cover each other in
  // drawing order: figures sunk into the ground they stand on.
  glGenRenderbuffers(1, &depth);
  glBindRenderbuffer(GL_RENDERBUFFER, depth);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, GLsizei(w), GLsizei(h));
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
  const bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE && glGetError() == GL_NO_ERROR;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  s.picture_fbo = fbo;
  s.picture_texture = tex;
  s.picture_depth = depth;
  s.picture_w = w;
  s.picture_h = h;
  if (!ok) {
    DropPicture();
    s.picture_failed = 1;
    DebugLog("GLProcessObjektList: kein Bildspeicher, jedes Bild wird ganz gezeichnet\n");
  }
  return ok;
}

// The window's bars black, the clear colour kept (under a landscape the
// fog's).
void ClearWindowBlack() {
  GLfloat kept[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, kept);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glClearColor(kept[0], kept[1], kept[2], kept[3]);
}

// A frame rectangle's window rectangle on a scaled frame, one pixel wider
// on each side (the nearest pixel of a scaled quad may round either way),
// cut to the frame's place in the window.
void ScaledRect(const FrameFit& fit, const int32_t r[4], int32_t out[4]) {
  FrameRectInWindow(fit, r[0], r[1], r[2], r[3], &out[0], &out[1], &out[2], &out[3]);
  if (out[2] <= 0 || out[3] <= 0) return;
  int32_t x0 = out[0] - 1, y0 = out[1] - 1, x1 = out[0] + out[2] + 1, y1 = out[1] + out[3] + 1;
  x0 = x0 < fit.x ? fit.x : x0;
  y0 = y0 < fit.y ? fit.y : y0;
  x1 = x1 > fit.x + fit.w ? fit.x + fit.w : x1;
  y1 = y1 > fit.y + fit.h ? fit.y + fit.h : y1;
  out[0] = x0, out[1] = y0, out[2] = x1 - x0, out[3] = y1 - y0;
}

// The kept picture (a frame of the mode's size) scaled into the window's
// back buffer at its place: whole with black bars, or only the window
// rectangles of the changed ones (the back buffer holds the rest). Nearest
// pixels, as the 2D loop scales.
void ShowPictureScaled(const FrameFit& fit, bool whole, const FrameChanges& c) {
  GL3DState& s = GL3D();
  const int32_t ww = int32_t(fit.window_w), wh = int32_t(fit.window_h);
  glPushAttrib(GL_ENABLE_BIT | GL_VIEWPORT_BIT | GL_SCISSOR_BIT | GL_COLOR_BUFFER_BIT | GL_TRANSFORM_BIT |
               GL_CURRENT_BIT | GL_TEXTURE_BIT);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glViewport(0, 0, ww, wh);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_ALPHA_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_FOG);
  glDisable(GL_LIGHTING);
  glDisable(GL_CULL_FACE);
  glEnable(GL_TEXTURE_2D);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0.0, double(ww), double(wh), 0.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glBindTexture(GL_TEXTURE_2D, s.picture_texture);
  auto quad = [&fit]() {
    // The picture's rows run bottom up.
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2i(fit.x, fit.y + fit.h);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2i(fit.x + fit.w, fit.y + fit.h);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2i(fit.x + fit.w, fit.y);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2i(fit.x, fit.y);
    glEnd();
  };
  if (whole) {
    glDisable(GL_SCISSOR_TEST);
    ClearWindowBlack();
    quad();
  } else {
    glEnable(GL_SCISSOR_TEST);
    for (uint32_t i = 0; i < c.count; i++) {
      int32_t r[4];
      ScaledRect(fit, c.rects[i], r);
      if (r[2] <= 0 || r[3] <= 0) continue;
      glScissor(r[0], wh - r[1] - r[3], r[2], r[3]);
      quad();
    }
  }
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopMatrix();
  glPopAttrib();
}

}  // namespace

float GLAspectRatio() { return GL3D().aspect; }
uint64_t GLFrameCount() { return GL3D().frames.load(); }
int GLContextReady() { return GL3D().context; }

uint32_t GLProcessObjektList() {
  GL3DState& s = GL3D();
  uint32_t w, h;
  FrameSize(&w, &h);
  s.aspect = h ? float(w) / float(h) : 1.0f;
  SetViewAspect(s.aspect);
  if (s.verbose.load()) DebugLog("GLProcessObjektList\n");
  s.frames.fetch_add(1);
  FrameChanges changes;
  if (s.objekte) UploadEntries(w, h, &changes);
  // The landscape is drawn only where it can be seen: not under an opaque
  // screen over the whole display. While the map screen shows it, it moves
  // (a whole frame each time); while another screen stands over it, it
  // rests and is drawn again only when the map's copy changed.
  const bool landscape =
      !changes.covered && Engine()->started && E3D().scene_built && TakeMapCopy() != 0;
  const bool resting = landscape && changes.other_screen;
  const bool moving = landscape && !resting;
  Digest(&changes, uint64_t(landscape) << 1 | uint64_t(resting));
  if (resting) DigestMapCopy(&changes);
  if (!landscape) E3D().copy_fresh = 0;
  // The moving landscape under a resting camera skips frames (kRestEvery).
  bool skip = false;
  if (moving) {
    const uint64_t look = LandscapeLook();
    s.still_frames = look == s.look_digest && MapSceneShowsLandscape() ? s.still_frames + 1 : 0;
    s.look_digest = look;
    skip = s.still_frames >= kStillFrames && s.frames_since_landscape + 1 < kRestEvery;
  } else {
    s.still_frames = 0;
  }
  const bool exposed = TakeWindowExposed() != 0;
  // The window the frame is shown in: another size or place of the frame in
  // it (a window made anew, a desktop of another size) is drawn whole.
  const FrameFit fit = WindowFit(w, h);
  const bool scaled = FrameFitScales(fit) != 0;
  const int32_t place[6] = {int32_t(fit.window_w), int32_t(fit.window_h), fit.x, fit.y, fit.w, fit.h};
  const bool moved = std::memcmp(place, s.shown_fit, sizeof place) != 0;
  // The whole frame when anything but the pixels of shown entries changed
  // (an entry came, went, moved or was shown or hidden, a resting landscape
  // changed), the window was exposed, there is no earlier picture of this
  // size to build on, or the landscape moves (or was drawn last time and
  // goes away). A skipped landscape frame with changed rectangles is drawn
  // whole all the same: the moving landscape is not kept apart.
  const bool gone = !landscape && MapSceneShowsLandscape();
  bool whole = (moving && !skip) || gone || !s.shown || changes.whole || changes.digest != s.shown_digest ||
               exposed || moved || (resting && !s.scene_kept) || (skip && changes.count > 0);
  if (!whole && changes.count == 0) {
    if (skip) s.frames_since_landscape++;
    return 0;  // nothing to draw, nothing to swap
  }
  const bool kept = PictureReady(w, h);
  if (!kept || s.picture_w != w || s.picture_h != h) whole = true;
  // While the window's back buffer keeps the picture last shown (a part of
  // it went to the window) and the frame is not scaled into it, the changed
  // rectangles are drawn straight into it: no second pass and no copy of the
  // kept picture. The kept picture takes those rectangles later, with the
  // first frame that needs it.
  const bool direct = kept && !whole && !scaled && GLBackBufferIntact();
  if (kept && !whole && !direct) {
    for (uint32_t i = 0; i < s.behind_count; i++) {
      const int32_t* r = s.behind_rects[i];
      AddFrameRect(&changes, r[0], r[1], r[2], r[3], w, h);
    }
    if (changes.whole || s.behind_whole) whole = true;
  }
  if (direct) {
    for (uint32_t i = 0; i < changes.count && !s.behind_whole; i++) {
      if (s.behind_count == GL3DState::kBehindRects) {
        s.behind_whole = 1;
        break;
      }
      std::memcpy(s.behind_rects[s.behind_count++], changes.rects[i], sizeof s.behind_rects[0]);
    }
  } else {
    s.behind_count = 0;
    s.behind_whole = 0;
  }
  // Under a landscape the clear colour is the fog's (UpdateFog sets it);
  // without one black, for this frame only: the first landscape after
  // frames without one (the map built behind the first screen) would else
  // be cleared black, and kept so while it rests.
  GLfloat fog_clear[4];
  glGetFloatv(GL_COLOR_CLEAR_VALUE, fog_clear);
  if (!landscape) glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  // Without a kept picture a scaled frame is drawn straight into its place
  // in the window (always whole): the bars black, the frame's drawing
  // scissored to its place.
  const bool direct_scaled = !kept && scaled;
  if (kept) {
    glBindFramebuffer(GL_FRAMEBUFFER, direct ? 0 : s.picture_fbo);
    glViewport(0, 0, GLsizei(w), GLsizei(h));
  } else if (direct_scaled) {
    glDisable(GL_SCISSOR_TEST);
    ClearWindowBlack();
    const GLint y = GLint(fit.window_h) - fit.y - fit.h;
    glViewport(fit.x, y, fit.w, fit.h);
    glEnable(GL_SCISSOR_TEST);
    glScissor(fit.x, y, fit.w, fit.h);
  } else {
    glViewport(0, 0, GLsizei(w), GLsizei(h));
  }
  glDepthMask(GL_TRUE);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (whole) {
    // Cleared first, then the landscape, then the 2D screens on top.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    s.scene_kept = 0;
    if (landscape) {
      SetMapSceneResting(resting ? 1 : 0);
      SetMapSceneSteps(moving ? s.frames_since_landscape + 1 : 1);
      s.frames_since_landscape = 0;
      ProcessMapScene();
      if (MapSceneShowsLandscape()) {
        const uint64_t at = PlatformTimeMs();
        if (s.scenes_drawn.fetch_add(1) == 0) s.scene_first_ms = at;
        s.scene_last_ms = at;
      }
      if (resting && kept) KeepScene(w, h);
    } else {
      ForgetMapLandscape();
    }
    if (s.objekte) {
      BeginEntries(w, h);
      DrawEntries();
    }
  } else {
    // Each changed rectangle cleared (or laid on the resting landscape) and
    // drawn again, nothing around it.
    if (s.objekte) BeginEntries(w, h);
    glEnable(GL_SCISSOR_TEST);
    const bool ground = resting && s.scene_kept;
    for (uint32_t i = 0; i < changes.count; i++) {
      const int32_t* r = changes.rects[i];
      glScissor(r[0], int32_t(h) - r[1] - r[3], r[2], r[3]);
      glClear(ground ? GL_DEPTH_BUFFER_BIT : GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      if (ground) DrawKeptScene(w, h);
      DrawEntries();
    }
    glDisable(GL_SCISSOR_TEST);
  }
  if (s.objekte) glDisable(GL_CULL_FACE);
  if (direct_scaled) glDisable(GL_SCISSOR_TEST);
  if (!landscape) glClearColor(fog_clear[0], fog_clear[1], fog_clear[2], fog_clear[3]);
  if (kept && scaled) {
    ShowPictureScaled(fit, whole || !GLBackBufferIntact(), changes);
  } else if (kept && !direct) {
    // The back buffer holds nothing certain after a swap: it gets the kept
    // picture whole, a plain copy; after a part's copy to the window it
    // still holds the last frame, and only the changed rectangles follow.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, s.picture_fbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    if (!whole && GLBackBufferIntact()) {
      for (uint32_t i = 0; i < changes.count; i++) {
        const int32_t* r = changes.rects[i];
        const GLint y0 = GLint(h) - r[1] - r[3];
        glBlitFramebuffer(r[0], y0, r[0] + r[2], y0 + r[3], r[0], y0, r[0] + r[2], y0 + r[3], GL_COLOR_BUFFER_BIT,
                          GL_NEAREST);
      }
    } else {
      glBlitFramebuffer(0, 0, GLint(w), GLint(h), 0, 0, GLint(w), GLint(h), GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  }
  // What the window must show again: the changed rectangles' bounds (in
  // the window's pixels), or all.
  if (whole || !kept) {
    SetGLFrameDamage(0, 0, 0, 0);
  } else {
    int32_t x0 = int32_t(fit.window_w), y0 = int32_t(fit.window_h), x1 = 0, y1 = 0;
    for (uint32_t i = 0; i < changes.count; i++) {
      int32_t scaled_rect[4];
      const int32_t* r = changes.rects[i];
      if (scaled) {
        ScaledRect(fit, changes.rects[i], scaled_rect);
        if (scaled_rect[2] <= 0 || scaled_rect[3] <= 0) continue;
        r = scaled_rect;
      }
      x0 = r[0] < x0 ? r[0] : x0;
      y0 = r[1] < y0 ? r[1] : y0;
      x1 = r[0] + r[2] > x1 ? r[0] + r[2] : x1;
      y1 = r[1] + r[3] > y1 ? r[1] + r[3] : y1;
    }
    SetGLFrameDamage(x0, y0, x1 - x0, y1 - y0);
  }
  s.shown = 1;
  s.shown_digest = changes.digest;
  std::memcpy(s.shown_fit, place, sizeof place);
  s.frames_drawn.fetch_add(1);
  return 1;
}

void DrawObjektList() {
  GL3DState& s = GL3D();
  if (!s.objekte) return;
  uint32_t dw, dh;
  FrameSize(&dw, &dh);
  FrameChanges changes;
  UploadEntries(dw, dh, &changes);
  BeginEntries(dw, dh);
  DrawEntries();
  glDisable(GL_CULL_FACE);
  s.shown = 0;  // drawn outside a frame: the next frame is drawn whole
}

void KillGLWindow() { CloseMainWindow(); }

uint32_t CreateGLContext(uint32_t, uint32_t, uint32_t, uint32_t colour_bits) {
  GL3DState& s = GL3D();
  const PlatformBackend* b = CurrentPlatformBackend();
  GLContextInfo info{};
  int step = b && b->gl_create ? b->gl_create(colour_bits, &info) : kGLNoDeviceContext;
  if (step != kGLContextOk) {
    const char* text = "(GL) Can't Create A GL Device Context.";
    if (step == kGLNoPixelFormat) text = "(GL) Can't Find A Suitable PixelFormat.";
    if (step == kGLSetPixelFormat) text = "(GL) Can't Set The PixelFormat.";
    if (step == kGLNoRenderContext) text = "(GL) Can't Create A GL Rendering Context.";
    if (step == kGLNotCurrent) text = "(GL) Can't Activate The GL Rendering Context.";
    DebugLog("CreateGLContext: %s\n", text);
    KillGLWindow();
    ShowMessageBox("ERROR", text);
    s.context = 0;
    return 0;
  }
  s.info = info;
  s.context = 1;
  DebugLog("OpenGL Info : Bits: %d RBits: %d GBits: %d BBits: %d\n", info.colour_bits, info.red_bits, info.green_bits,
           info.blue_bits);
  const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
  DebugLog("OpenGL Info : Renderer: %s\n", renderer ? renderer : "?");
  SetGLFrameCap(GLFrameCapFor(renderer));
  return 1;
}

uint32_t GLFrameCapFor(const char* renderer) {
  if (!renderer) return 0;
  // Mesa's renderers that draw on the processor.
  static const char* const kSoftware[] = {"llvmpipe", "softpipe", "Software Rasterizer", "swrast"};
  for (const char* name : kSoftware)
    if (std::strstr(renderer, name)) return 30;
  return 0;
}

void FreeGLObjektList() {
  GL3DState& s = GL3D();
  if (!s.objekte) return;
  DebugLog("GLProcessObjektList: %llu Bilder, %llu gezeichnet, %llu mit Landschaft in %llu ms\n",
           (unsigned long long)s.frames.load(), (unsigned long long)s.frames_drawn.load(),
           (unsigned long long)s.scenes_drawn.load(), (unsigned long long)(s.scene_last_ms - s.scene_first_ms));
  // The engine's textures go while the context still exists.
  if (Engine()->started) StopEngine();
  SetGLFrameHook(nullptr);
  SetGLFrameCap(0);
  SetDisplayDirtyHook(nullptr);
  SetGLScreenHooks(nullptr);
  SetMapGLHooks(nullptr);
  ObtainSemaphore(s.screen_sem);
  while (s.objekte->count > 0) {
    auto* e = reinterpret_cast<ObjektListEntry*>(s.objekte->first);
    RemoveNode(s.objekte, LN_HEAD, 0, RN_KEEP_NODE);
    AddNode(s.retired, &e->head, LN_TAIL, 0);
  }
  s.screen = nullptr;
  s.map_entry = nullptr;
  FreeRetired();
  ReleaseSemaphore(s.screen_sem);
  if (s.context) DropPicture();
  DeleteList(s.objekte, 0);
  DeleteList(s.retired, 0);
  DeleteSemaphore(s.screen_sem);
  ResetGL3DState();
}
