// The Objekt3D-Liste: entries, their positions, visibility and queues of
// changed rectangles, and the screen picture's entry that the OpenGL variant
// of OpenElmorPic asks for.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/map/mapgl.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/timer.h"

namespace {

GL3DState g_state;

const char kScreenSemName[] = "QoE GL Screen Access Semaphore";
const char kScreenEntrySemName[] = "QoEScreen3D";
const char kMapEntrySemName[] = "QoEMap3D";

uint32_t TextureSize(uint32_t w, uint32_t h) {
  uint32_t s = 1;
  while (s < w || s < h) s <<= 1;
  return s;
}

// Rectangle helpers in bitmap pixels.
struct Rect {
  int64_t x0, y0, x1, y1;  // x1, y1 exclusive
};

bool Overlap(const Rect& a, const Rect& b) { return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1; }

DirtyRect* NewDirtyRect(ListHeader* list, const Rect& r) {
  auto* d = static_cast<DirtyRect*>(AllocVec(list->node_size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) return nullptr;
  d->x = uint32_t(r.x0);
  d->y = uint32_t(r.y0);
  d->width = uint32_t(r.x1 - r.x0);
  d->height = uint32_t(r.y1 - r.y0);
  return d;
}

void ClearDirtyList(ListHeader* list) {
  while (list->count > 0) RemoveNode(list, LN_HEAD, 0, 0);
}

// Index of an entry in a list, -1 when it is not there.
int32_t IndexOf(ListHeader* list, const ObjektListEntry* entry) {
  ListNode* n = list->first;
  for (uint32_t i = 0; i < list->count; i++, n = n->next)
    if (n == &entry->head) return int32_t(i);
  return -1;
}

// Moves an entry from the live list to the retired one (screen_sem held).
void Retire(ObjektListEntry* entry) {
  GL3DState& s = g_state;
  int32_t i = IndexOf(s.objekte, entry);
  if (i < 0) return;
  RemoveNode(s.objekte, LN_INDEX, uint32_t(i), RN_KEEP_NODE);
  AddNode(s.retired, &entry->head, LN_TAIL, 0);
  if (s.screen == entry) s.screen = nullptr;
  if (s.map_entry == entry) s.map_entry = nullptr;
}

// ---- The calls the picture manager and the display reach through hooks ----

int OpenScreenObjekt(BitMap* bitmap, RastPort* rastport) {
  GL3DState& s = g_state;
  if (!bitmap || !s.screen_sem) return 0;
  ObtainSemaphore(s.screen_sem);
  ObjektListEntry* e = s.screen;
  if (s.map_entry && s.map_entry->bitmap == bitmap) {
    // The map screen draws into its display bitmap: its entry, beneath the
    // others at (0, 0), becomes the screen's.
    if (e && e != s.map_entry) Retire(e);
    s.screen = s.map_entry;
    ReleaseSemaphore(s.screen_sem);
    return 1;
  }
  if (e && e->bitmap != bitmap) {  // a new screen bitmap: the old entry goes
    if (e == s.map_entry) s.screen = nullptr;  // the map's stays beneath
    else Retire(e);
    e = nullptr;
  }
  ReleaseSemaphore(s.screen_sem);
  // A reused entry shows the new picture as its transition queues it; a new
  // one uploads its whole bitmap when its texture is made.
  if (!e && !(e = AddObjektListEntry(bitmap, rastport, kScreenEntrySemName))) return 0;
  int32_t x, y;
  GameAreaOffset(DisplayWidth(), DisplayHeight(), &x, &y);
  SetObjektPos3D(e, x, y);
  SetObjektVisible3D(e, 1);
  ObtainSemaphore(s.screen_sem);
  s.screen = e;
  ReleaseSemaphore(s.screen_sem);
  return 1;
}

void CloseScreenObjekt() {
  GL3DState& s = g_state;
  if (!s.screen_sem) return;
  ObtainSemaphore(s.screen_sem);
  if (s.screen == s.map_entry) s.screen = nullptr;
  else if (s.screen) Retire(s.screen);
  ReleaseSemaphore(s.screen_sem);
}

// UpdateRectangle and palette changes in OpenGL mode.
void ScreenDirty(int32_t x, int32_t y, int32_t width, int32_t height) {
  GL3DState& s = g_state;
  if (!s.screen_sem) return;
  ObtainSemaphore(s.screen_sem);
  // While the screen draws at display coordinates, it draws into the map's
  // display bitmap (also behind another screen).
  ObjektListEntry* e = DisplayGameAreaAtCorner() && s.map_entry ? s.map_entry : s.screen;
  if (e) AddObjektDirtyRect(e, x, y, width, height);
  ReleaseSemaphore(s.screen_sem);
}

const GLScreenHooks kScreenHooks = {OpenScreenObjekt, CloseScreenObjekt};

// The map screen's display bitmap: an entry at (0, 0) at the list's head.
ObjektListEntry* AddMapObjekt(BitMap* bitmap, RastPort* rastport) {
  GL3DState& s = g_state;
  ObjektListEntry* e = AddObjektListEntry(bitmap, rastport, kMapEntrySemName);
  if (!e) return nullptr;
  ObtainSemaphore(s.screen_sem);
  RemoveNode(s.objekte, LN_INDEX, uint32_t(IndexOf(s.objekte, e)), RN_KEEP_NODE);
  AddNode(s.objekte, &e->head, LN_HEAD, 0);
  if (s.map_entry) Retire(s.map_entry);
  s.map_entry = e;
  ReleaseSemaphore(s.screen_sem);
  SetObjektVisible3D(e, 1);
  return e;
}

void RemoveMapObjekt(ObjektListEntry* entry) {
  GL3DState& s = g_state;
  if (!entry || !s.screen_sem) return;
  ObtainSemaphore(s.screen_sem);
  Retire(entry);
  ReleaseSemaphore(s.screen_sem);
}

const MapGLHooks kMapHooks = {AddMapObjekt, RemoveMapObjekt, MapSceneReady, MapScenePick, MapSceneCellPixel,
                               MarkMapSceneCell};

}  // namespace

GL3DState& GL3D() { return g_state; }

void ResetGL3DState() {
  GL3DState& s = g_state;
  s.screen_sem = nullptr;
  s.objekte = nullptr;
  s.retired = nullptr;
  s.screen = nullptr;
  s.map_entry = nullptr;
  s.context = 0;
  s.info = GLContextInfo{};
  s.aspect = 1.0f;
  s.picture_fbo = s.picture_texture = s.picture_depth = s.picture_w = s.picture_h = 0;
  s.picture_failed = 0;
  s.scene_texture = s.scene_w = s.scene_h = 0;
  s.scene_kept = 0;
  s.behind_count = 0;
  s.behind_whole = 0;
  s.scene_first_ms = s.scene_last_ms = 0;
  s.pens_known = 0;
  s.shown = 0;
  s.shown_digest = 0;
  s.look_digest = 0;
  s.still_frames = s.frames_since_landscape = 0;
  std::memset(s.shown_fit, 0, sizeof s.shown_fit);
  s.frames = 0;
  s.frames_drawn = 0;
  s.scenes_drawn = 0;
  s.marked_column = s.marked_row = -1;
  s.scene_window = 0;
}

int InitGLObjektList() {
  GL3DState& s = g_state;
  if (s.objekte) return 1;
  ResetGL3DState();
  const char* v = std::getenv("QOE_VERBOSE");
  s.verbose = v && *v && *v != '0';
  s.screen_sem = CreateNamedSemaphore(kScreenSemName, 1, 1);
  s.objekte = CreateList(LIST_OBJEKT3D);
  s.retired = CreateList(LIST_OBJEKT3D);
  if (!s.screen_sem || !s.objekte || !s.retired) {
    DebugLog("InitGLObjektList: Konnte die Objekt3D-Liste nicht anlegen\n");
    DeleteList(s.objekte, 0);
    DeleteList(s.retired, 0);
    DeleteSemaphore(s.screen_sem);
    ResetGL3DState();
    return 0;
  }
  SetGLScreenHooks(&kScreenHooks);
  SetMapGLHooks(&kMapHooks);
  SetDisplayDirtyHook(ScreenDirty);
  SetGLFrameHook(GLProcessObjektList);
  return 1;
}

ListHeader* Objekt3DListe() { return g_state.objekte; }

ObjektListEntry* GLScreenObjekt() {
  GL3DState& s = g_state;
  if (!s.screen_sem) return nullptr;
  ObtainSemaphore(s.screen_sem);
  ObjektListEntry* e = s.screen;
  ReleaseSemaphore(s.screen_sem);
  return e;
}

void SetGLFrameLogging(int on) { g_state.verbose = on ? 1 : 0; }

ObjektListEntry* AddObjektListEntry(BitMap* bitmap, RastPort* rastport, const char* semaphore_name) {
  GL3DState& s = g_state;
  if (!s.objekte || !bitmap || bitmap->Width == 0 || bitmap->Height == 0) return nullptr;
  auto* e = static_cast<ObjektListEntry*>(AllocVec(s.objekte->node_size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!e) return nullptr;
  e->texture_size = TextureSize(bitmap->Width, bitmap->Height);
  e->bitmap = bitmap;
  e->rastport = rastport;
  e->semaphore = CreateNamedSemaphore(semaphore_name, 1, 1);
  e->dirty = CreateList(LIST_DIRTY_RECTS);
  if (!e->semaphore || !e->dirty) {
    FreeObjektListEntry(e);
    return nullptr;
  }
  ObtainSemaphore(s.screen_sem);
  AddNode(s.objekte, &e->head, LN_TAIL, 0);
  ReleaseSemaphore(s.screen_sem);
  return e;
}

void FreeObjektListEntry(ObjektListEntry* e) {
  if (!e) return;
  DeleteList(e->dirty, 0);
  DeleteSemaphore(e->semaphore);
  FreeVec(e);
}

void RemoveObjektListEntry(ObjektListEntry* entry) {
  GL3DState& s = g_state;
  if (!entry || !s.screen_sem) return;
  ObtainSemaphore(s.screen_sem);
  Retire(entry);
  ReleaseSemaphore(s.screen_sem);
}

void SetObjektPos3D(ObjektListEntry* entry, int32_t x, int32_t y) {
  if (!entry) {
    DebugLog("SetObjektPos3D: ObjektListEntry ist nicht gesetzt\n");
    Delay(50);
    return;
  }
  ObtainSemaphore(entry->semaphore);
  entry->x = x;
  entry->y = y;
  ReleaseSemaphore(entry->semaphore);
}

void SetObjektVisible3D(ObjektListEntry* entry, uint32_t visible) {
  if (!entry) {
    // A null entry is a caller's fault; it is logged, not a reason to end.
    DebugLog("Assertion failed: obj != 0, file routinen/graphics_lowlevel_3d/showobjekt3d\n");
    return;
  }
  ObtainSemaphore(entry->semaphore);
  entry->visible = visible;
  ReleaseSemaphore(entry->semaphore);
}

void AddObjektDirtyRect(ObjektListEntry* entry, int32_t x, int32_t y, int32_t width, int32_t height) {
  if (!entry || !entry->bitmap || !entry->dirty) return;
  const int64_t bw = entry->bitmap->Width, bh = entry->bitmap->Height;
  Rect r{x, y, int64_t{x} + width, int64_t{y} + height};
  if (width == 0) r.x0 = 0, r.x1 = bw;
  if (height == 0) r.y0 = 0, r.y1 = bh;
  if (r.x1 < r.x0) std::swap(r.x0, r.x1);
  if (r.y1 < r.y0) std::swap(r.y0, r.y1);
  r.x0 = std::max<int64_t>(r.x0, 0);
  r.y0 = std::max<int64_t>(r.y0, 0);
  r.x1 = std::min(r.x1, bw);
  r.y1 = std::min(r.y1, bh);
  if (r.x0 >= r.x1 || r.y0 >= r.y1) return;

  ObtainSemaphore(entry->semaphore);
  ListHeader* list = entry->dirty;
  if (list->count > 0) {
    auto* last = reinterpret_cast<DirtyRect*>(list->first->prev);
    Rect l{last->x, last->y, int64_t{last->x} + last->width, int64_t{last->y} + last->height};
    if (Overlap(l, r)) {
      r = Rect{std::min(l.x0, r.x0), std::min(l.y0, r.y0), std::max(l.x1, r.x1), std::max(l.y1, r.y1)};
      last->x = uint32_t(r.x0);
      last->y = uint32_t(r.y0);
      last->width = uint32_t(r.x1 - r.x0);
      last->height = uint32_t(r.y1 - r.y0);
      ReleaseSemaphore(entry->semaphore);
      return;
    }
  }
  if (list->count >= kMaxDirtyRects) {
    ClearDirtyList(list);
    r = Rect{0, 0, bw, bh};
  }
  if (DirtyRect* d = NewDirtyRect(list, r)) AddNode(list, &d->head, LN_TAIL, 0);
  ReleaseSemaphore(entry->semaphore);
}
