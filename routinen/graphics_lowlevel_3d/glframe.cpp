// The GL frame on the window thread: clear, the map scene, then every entry
// of the Objekt3D-Liste as a textured quad; and the window's GL context.
#include <GL/gl.h>

#include <cstring>

#include "gl3d_internal.h"
#include "platform/backend.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
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

// The colours of the 8-bit pens: the display palette, alpha 255.
void PenColours(uint32_t pens[256]) {
  PaletteEntry pal[256];
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

// Deletes the textures of unlinked entries and frees them (screen_sem held).
void FreeRetired() {
  ListHeader* r = GL3D().retired;
  while (r && r->count > 0) {
    auto* e = reinterpret_cast<ObjektListEntry*>(r->first);
    RemoveNode(r, LN_HEAD, 0, RN_KEEP_NODE);
    if (e->texture_name && GL3D().context) {
      GLuint name = e->texture_name;
      glDeleteTextures(1, &name);
    }
    FreeObjektListEntry(e);
  }
}

// First loop of the 2D pass: textures and queued rectangles. The bitmaps'
// pixels are read under the display mutex, which every drawing into a
// shown bitmap holds.
void UploadEntries() {
  GL3DState& s = GL3D();
  QoeMutex* pixels = DisplayMutex();
  if (pixels) ObtainMutex(pixels);
  ObtainSemaphore(s.screen_sem);
  FreeRetired();
  uint32_t pens[256];
  bool pens_read = false;
  ListNode* n = s.objekte->first;
  const uint32_t count = s.objekte->count;
  for (uint32_t i = 0; i < count; i++, n = n->next) {
    auto* e = reinterpret_cast<ObjektListEntry*>(n);
    ObtainSemaphore(e->semaphore);
    if (Drawable(e->bitmap)) {
      if (e->bitmap->Depth == 8 && !pens_read) {
        PenColours(pens);
        pens_read = true;
      }
      if (!e->texture_name) MakeTexture(e, pens);
      while (e->dirty->count > 0) {
        auto* d = reinterpret_cast<DirtyRect*>(e->dirty->first);
        if (e->texture_name) UploadRect(e, d, pens);
        RemoveNode(e->dirty, LN_HEAD, 0, 0);
      }
    }
    ReleaseSemaphore(e->semaphore);
  }
  ReleaseSemaphore(s.screen_sem);
  if (pixels) ReleaseMutex(pixels);
}

}  // namespace

void ProcessMapScene() {}

float GLAspectRatio() { return GL3D().aspect; }
uint64_t GLFrameCount() { return GL3D().frames.load(); }
int GLContextReady() { return GL3D().context; }

uint32_t GLProcessObjektList() {
  GL3DState& s = GL3D();
  uint32_t w, h;
  FrameSize(&w, &h);
  glDepthMask(GL_TRUE);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glViewport(0, 0, GLsizei(w), GLsizei(h));
  s.aspect = h ? float(w) / float(h) : 1.0f;
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  ProcessMapScene();
  if (s.verbose.load()) DebugLog("GLProcessObjektList\n");
  DrawObjektList();
  s.frames.fetch_add(1);
  return 1;
}

void DrawObjektList() {
  GL3DState& s = GL3D();
  if (!s.objekte) return;
  UploadEntries();

  uint32_t dw, dh;
  FrameSize(&dw, &dh);
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
  glDisable(GL_CULL_FACE);
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
  return 1;
}

void FreeGLObjektList() {
  GL3DState& s = GL3D();
  if (!s.objekte) return;
  SetGLFrameHook(nullptr);
  SetDisplayDirtyHook(nullptr);
  SetGLScreenHooks(nullptr);
  ObtainSemaphore(s.screen_sem);
  while (s.objekte->count > 0) {
    auto* e = reinterpret_cast<ObjektListEntry*>(s.objekte->first);
    RemoveNode(s.objekte, LN_HEAD, 0, RN_KEEP_NODE);
    AddNode(s.retired, &e->head, LN_TAIL, 0);
  }
  s.screen = nullptr;
  FreeRetired();
  ReleaseSemaphore(s.screen_sem);
  DeleteList(s.objekte, 0);
  DeleteList(s.retired, 0);
  DeleteSemaphore(s.screen_sem);
  ResetGL3DState();
}
