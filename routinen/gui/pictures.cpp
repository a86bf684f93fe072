#include "pictures.h"

#include <strings.h>

#include <cstring>
#include <mutex>

#include "gui_internal.h"
#include "pictures_internal.h"
#include "ilbm.h"
#include "pathfile.h"
#include "platform/cursor.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/system/files.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "text.h"

BitMap* GfxTable[kGfxSlots];
std::atomic<uint16_t> MotionBusy{0};

namespace {

// The module's one state record (pictures_internal.h says who guards what).
PictureManagerState g_pictures;

const char kMainIndex[] = ".\\Data\\Path";

PathFile* MainIndexFromSystem() {
  const QoESystem* sys = QoESystemPtr;
  if (!sys->PicPath) return nullptr;
  if (g_pictures.mainIndex && g_pictures.mainImage == sys->PicPath && g_pictures.mainImageSize == sys->PicPathSize) return g_pictures.mainIndex;
  FreePathFile(g_pictures.mainIndex);
  g_pictures.mainIndex = ParsePathFile(sys->PicPath, sys->PicPathSize);
  g_pictures.mainImage = sys->PicPath;
  g_pictures.mainImageSize = sys->PicPathSize;
  return g_pictures.mainIndex;
}

PathFile* IndexFor(const char* path) {
  if (!path || std::strlen(path) >= sizeof g_pictures.indexes[0].path) return nullptr;
  if (strcasecmp(path, kMainIndex) == 0)
    if (PathFile* pf = MainIndexFromSystem()) return pf;
  for (LoadedPictureIndex& li : g_pictures.indexes)
    if (li.index && strcasecmp(li.path, path) == 0) return li.index;
  PathFile* pf = LoadPathFile(path);
  if (!pf) return nullptr;
  for (LoadedPictureIndex& li : g_pictures.indexes)
    if (!li.index) {
      std::strcpy(li.path, path);
      li.index = pf;
      return pf;
    }
  // All places taken: the oldest index makes room.
  FreePathFile(g_pictures.indexes[0].index);
  std::memmove(&g_pictures.indexes[0], &g_pictures.indexes[1], sizeof(LoadedPictureIndex) * 3);
  std::strcpy(g_pictures.indexes[3].path, path);
  g_pictures.indexes[3].index = pf;
  return pf;
}

// The story index ".\Data\RizizOzezPath" (any case, either separator): the
// only index whose pictures take the slots after 1615.
bool IsStoryIndex(const char* path) {
  if (!path) return false;
  const char* name = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') name = p + 1;
  return strcasecmp(name, "RizizOzezPath") == 0;
}

// Entry number of a graphic ID within its index.
uint32_t EntryOf(uint32_t id) { return id > kGfxTableSize ? id - kGfxTableSize : id; }

bool CacheAllowed(uint32_t bytes) {
  uint64_t avail = AvailMem(0);
  return avail / 10 * 7 > 5000000ull + bytes;
}

// Decodes picture id of the index, from the cache when it is there. Returns
// 1 with *out filled (owned by the caller unless *cached), 0 out of memory,
// -1 when it cannot be loaded. A screen picture's mask (its transparent
// holes) is dropped unless screen_mask; a picture decoded with that mask is
// not cached, so the cache holds screen pictures without it.
int LoadPicture(const char* who, const char* index_path, uint32_t id, IlbmPicture* out, bool* cached,
                bool screen_mask = false) {
  *cached = false;
  // FreeCaches(1) empties the graphics cache and FreePaths drops the loaded
  // indexes, once there can be any.
  SetupPictureManagerState();
  if (id == 0 || id > (IsStoryIndex(index_path) ? kGfxSlots : kGfxTableSize)) {
    DebugLog("%s: Die angegebene ID ist zu hoch! %u\n", who, id);
    return -1;
  }
  const IlbmPicture* kept = g_pictures.cache[id - 1];
  // A cached copy whose transparent colour was dropped is decoded again
  // for a caller that wants the holes.
  if (kept && !(screen_mask && !kept->mask && kept->masking != 0)) {
    *out = *kept;
    *cached = true;
    return 1;
  }
  PathFile* index = IndexFor(index_path);
  if (!index) {
    DebugLog("%s: Konnte den Index %s nicht laden.\n", who, index_path ? index_path : "(null)");
    return -1;
  }
  const PathEntry* e = GetPathEntry(index, EntryOf(id));
  if (!e) {
    DebugLog("%s: Die angegebene ID ist zu hoch! %u\n", who, id);
    return -1;
  }
  uint32_t size = 0;
  void* data = LoadFile2MemSize(e->file, MEMF_PUBLIC, &size);
  if (!data) {
    DebugLog("%s: Konnte das File %s nicht oeffnen.\n", who, e->file);
    return -1;
  }
  int rc = DecodeIlbm(data, size, out);
  FreeVec(data);
  if (rc != 1) {
    if (rc < 0) DebugLog("%s: Konnte das File %s nicht lesen.\n", who, e->file);
    return rc;
  }
  const bool holes = screen_mask && e->kind == PICKIND_SCREEN && out->mask;
  if (e->kind != PICKIND_MASKED && e->kind != PICKIND_STRIP && out->mask && !holes) {
    FreeVec(out->mask);
    out->mask = nullptr;
  }
  // Keep a copy in the graphics cache when memory allows.
  uint32_t bytes = (uint32_t)out->width * out->height * (out->mask ? 2u : 1u);
  if (!holes && !g_pictures.cache[id - 1] && CacheAllowed(bytes)) {
    IlbmPicture* c = static_cast<IlbmPicture*>(AllocVec(sizeof(IlbmPicture), MEMF_PUBLIC));
    if (c) {
      *c = *out;
      g_pictures.cache[id - 1] = c;
      *cached = true;
    }
  }
  return 1;
}

void DropPicture(IlbmPicture* pic, bool cached) {
  if (!cached) FreeIlbm(pic);
}

uint32_t ScreenDepth() {
  if (g_pictures.titel && g_pictures.titel->bitmap) return g_pictures.titel->bitmap->Depth;
  uint32_t d = DisplayDepth();
  return d ? d : 8;
}

// A BitMap of the picture in the given depth (32: through the screen palette,
// in the screen bitmap's byte order).
BitMap* MakeBitMap(const IlbmPicture& pic, uint32_t depth) {
  BitMap* bm = AllocBitMap(pic.width, pic.height, depth == 32 ? 32 : 8, 0, g_pictures.titel ? g_pictures.titel->bitmap : nullptr);
  if (!bm) return nullptr;
  const uint16_t format = BitMapPixelFormat(bm);
  for (uint32_t y = 0; y < pic.height; ++y)
    ConvertRGBToFormat(format, pic.pixels + (size_t)y * pic.width, bm->Pixels + (size_t)y * bm->BytesPerRow,
                       pic.width);
  return bm;
}

void LoadPalette(const uint8_t (*colours)[3], uint32_t first, uint32_t count) {
  if (count == 0) return;
  const uint32_t words = 3 * count;
  uint8_t* table = static_cast<uint8_t*>(AllocVec(8 + words * 4, MEMF_CLEAR));
  if (!table) return;
  uint16_t c16 = (uint16_t)count, f16 = (uint16_t)first;
  std::memcpy(table, &c16, 2);
  std::memcpy(table + 2, &f16, 2);
  for (uint32_t i = 0; i < count; ++i)
    for (uint32_t k = 0; k < 3; ++k) {
      uint32_t v = (uint32_t)colours[i][k] << 24;
      std::memcpy(table + 4 + (i * 3 + k) * 4, &v, 4);
    }
  LoadRGB32(g_pictures.titel ? g_pictures.titel->palette : nullptr, table);
  FreeVec(table);
}

void FreeSlot(uint32_t slot) {
  FreeBitMap(GfxTable[slot]);
  GfxTable[slot] = nullptr;
  FreeVec(const_cast<uint8_t*>(g_pictures.masks[slot]));
  g_pictures.masks[slot] = nullptr;
  g_pictures.opens[slot] = 0;
  g_pictures.keptBy[slot] = 0;
}

// One open of graphic id: counted when it is loaded (logged unless quiet),
// else loaded with the count 1. 1, 0 out of memory, -1 when it cannot be
// loaded. Called with g_pictures.lock held.
int32_t AcquireGfx(const char* index_path, uint32_t id, bool quiet) {
  if (id == 0 || id > (IsStoryIndex(index_path) ? kGfxSlots : kGfxTableSize)) {
    DebugLog("OpenElmorGfx: Die angegebene ID ist zu hoch! %u\n", id);
    return -1;
  }
  if (GfxTable[id - 1]) {
    if (!quiet) DebugLog("OpenElmorGfx: Grafik %u ist schon geladen.\n", id);
    ++g_pictures.opens[id - 1];
    return 1;
  }
  IlbmPicture pic{};
  bool cached = false;
  int rc = LoadPicture("OpenElmorGfx", index_path, id, &pic, &cached);
  if (rc != 1) return rc;
  BitMap* bm = MakeBitMap(pic, ScreenDepth());
  uint8_t* mask = nullptr;
  if (bm && pic.mask) {
    const uint32_t n = (uint32_t)pic.width * pic.height;
    mask = static_cast<uint8_t*>(AllocVec(n, MEMF_PUBLIC));
    if (mask) std::memcpy(mask, pic.mask, n);
  }
  DropPicture(&pic, cached);
  if (!bm || (pic.mask && !mask)) {
    FreeBitMap(bm);
    FreeVec(mask);
    return 0;
  }
  GfxTable[id - 1] = bm;
  g_pictures.masks[id - 1] = mask;
  g_pictures.opens[id - 1] = 1;
  g_pictures.keptBy[id - 1] = 0;
  return 1;
}

// One open less of slot id - 1; the last frees it. Called with the lock held.
void ReleaseGfx(uint32_t id) {
  if (id == 0 || id > kGfxSlots || g_pictures.opens[id - 1] == 0) {
    DebugLog("CloseElmorGfx: Grafik %u ist nicht geoeffnet.\n", id);
    return;
  }
  if (--g_pictures.opens[id - 1] == 0) FreeSlot(id - 1);
}

// The displayed picture's hold of slot id - 1 goes (CloseElmorPic, a failed
// open). Called with the lock held.
bool ReleaseScreenHold(uint32_t id) {
  if (id == 0 || id > kGfxSlots || !(g_pictures.keptBy[id - 1] & kGfxKeeperScreen)) return false;
  g_pictures.keptBy[id - 1] &= (uint8_t)~kGfxKeeperScreen;
  ReleaseGfx(id);
  return true;
}

// True when rp is the screen RastPort the display shows: over the current
// back surface, or in OpenGL mode over the memory bitmap the window thread
// draws from.
bool ScreenRpCurrent(const RastPort* rp, const PlatformSurface* back) {
  if (!rp || !rp->Bitmap) return false;
  // (In OpenGL mode the map screen's display-sized bitmap stands in for it
  // while the screen draws at display coordinates.)
  if (DisplayRenderer() == 1)
    return !(rp->Bitmap->Flags & BMF_SURFACE) &&
           (rp->Bitmap->Width == kGameAreaWidth || (DisplayGameAreaAtCorner() && rp->Bitmap->Width == DisplayWidth()));
  return rp->Bitmap->Surface == back && rp->Bitmap->Pixels == back->pixels;
}

// The screen's RastPort over the current back surface, and the record.
bool ReadyTitel() {
  PlatformSurface* back = DisplayBackSurface();
  if (!back) return false;
  DisplayRecord* d = QoESystemPtr->Display;
  RastPort* rp = d ? d->ScreenRastPort : nullptr;
  if (!ScreenRpCurrent(rp, back)) {
    CloseGLScreenObjekt();  // its entry must not outlive the bitmap
    if (!OpenScreenRastPort()) return false;
    g_pictures.openedScreenRastPort = true;
    d = QoESystemPtr->Display;
    rp = d->ScreenRastPort;
  }
  if (!g_pictures.titel) {
    g_pictures.titel = static_cast<TitelScreenData*>(AllocVec(sizeof(TitelScreenData), MEMF_PUBLIC | MEMF_CLEAR));
    if (!g_pictures.titel) return false;
  }
  // The transition, the colour cycling and the movies read the record under
  // the display mutex; a movie's thread reads the mutex it names before it
  // takes it, so that field is written only when it changes (the first time).
  TitelScreenData* t = g_pictures.titel;
  QoeMutex* m = DisplayMutex();
  if (m) ObtainMutex(m);
  t->rastPort = rp;
  t->bitmap = rp->Bitmap;
  t->width = rp->Bitmap->Width;
  t->height = rp->Bitmap->Height;
  t->pitch = rp->Bitmap->BytesPerRow;
  t->pixels = rp->Bitmap->Pixels;
  t->palette = ScreenPalette();
  if (t->mutex != m) t->mutex = m;
  if (m) ReleaseMutex(m);
  return true;
}

void FreeTitel() {
  if (!g_pictures.titel) return;
  CloseGLScreenObjekt();
  FreeVec(g_pictures.titel);
  g_pictures.titel = nullptr;
  if (g_pictures.openedScreenRastPort) CloseScreenRastPort();
  g_pictures.openedScreenRastPort = false;
}

bool OnScreen(const RastPort* rp) {
  if (DisplayRenderer() == 1) {
    const RastPort* screen = ScreenRastPort();
    return rp && rp->Bitmap && screen && rp->Bitmap == screen->Bitmap;
  }
  const PlatformSurface* back = DisplayBackSurface();
  return rp && rp->Bitmap && back && (rp->Bitmap->Flags & BMF_SURFACE) && rp->Bitmap->Surface == back;
}

int TransitionThread(void*) {
  // Blinds: each pass copies one more slice of every 40-row band, a pass
  // every 12 ms of platform time (virtual time in a headless run).
  const int band = 40, slices = 8, slice = band / slices;
  for (int pass = 0; pass < slices; ++pass) {
    for (int y = pass * slice; y < (int)kGameAreaHeight; y += band)
      UpdateRectangle(0, y, kGameAreaWidth, slice);
    SleepUntilPlatformTime(g_pictures.transitionStart + 12 * (uint64_t)(pass + 1), &g_pictures.transitionHurry);
  }
  UpdateRectangle(0, 0, kGameAreaWidth, kGameAreaHeight);
  MotionBusy.store(0);
  EndClockThread();
  return 0;
}

// Input that arrived while the screen was being built is not meant for it.
// A quit request is kept, and so are the last word on the pointer (it left
// or entered the window) and on the focus: they tell a state, not a command.
// The new picture is a new key scope: a key held from before acts no more.
void DropWaitingInput() {
  NewKeyScope();
  PlatformMessage m{};
  bool quit = false;
  int64_t pointer = -1, focus = -1;
  // Only what is waiting is taken: a look into an empty queue would mark the
  // game thread idle for a moment, and a headless script would take its next
  // step while the screen is still being built.
  while (GameMessagesWaiting() > 0 && GetGameMessage(&m, 0)) {
    quit = quit || m.kind == kMsgQuit;
    if (m.kind == kMsgWindow && (m.key == kWindowPointerLeft || m.key == kWindowPointerEntered)) pointer = m.key;
    if (m.kind == kMsgWindow && (m.key == kWindowFocusLost || m.key == kWindowFocusGained)) focus = m.key;
  }
  if (pointer >= 0) PostWindowMessage((uint32_t)pointer);
  if (focus >= 0) PostWindowMessage((uint32_t)focus);
  if (quit) PostQuitMessage();
  MarkGameThreadBusy();
}

}  // namespace

ScreenDrawLock::ScreenDrawLock(const RastPort* rp) : mutex_(OnScreen(rp) ? DisplayMutex() : nullptr) {
  if (mutex_) ObtainMutex(mutex_);
}

ScreenDrawLock::~ScreenDrawLock() {
  if (mutex_) ReleaseMutex(mutex_);
}

TitelScreenData* GetTitelScreenData() { return g_pictures.titel; }

RastPort* ScreenRastPort() {
  const DisplayRecord* d = QoESystemPtr->Display;
  return d ? d->ScreenRastPort : nullptr;
}

RastPort* GetScreenRastPort(uint32_t buffer) { return buffer <= 1 ? ScreenRastPort() : nullptr; }

RastPort* ScreenMakeClipRP(BitMap* bitmap) {
  if (!bitmap) return nullptr;
  RastPort* rp = static_cast<RastPort*>(AllocVec(sizeof(RastPort), MEMF_PUBLIC | MEMF_CLEAR));
  if (!rp) return nullptr;
  InitRastPort(rp);
  rp->Bitmap = bitmap;
  return rp;
}

int32_t OpenElmorPic(const char* index_path, uint32_t id, uint32_t flags) {
  if (DisplayRenderer() == 1) return OpenElmorPicGL(index_path, id, flags);
  return OpenScreenPicture(index_path, id, flags, false);
}

int32_t OpenScreenPicture(const char* index_path, uint32_t id, uint32_t flags, bool gl) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  WaitTransition();
  // A screen record made for a picture that then fails to load is dropped
  // again: no CloseElmorPic follows a failed open.
  const bool fresh = g_pictures.titel == nullptr;
  if (!ReadyTitel()) {
    DebugLog("OpenElmorPic: Kein Bildschirm vorhanden.\n");
    if (fresh) FreeTitel();
    return -1;
  }
  IlbmPicture pic{};
  bool cached = false;
  if (LoadPicture("OpenElmorPic", index_path, id, &pic, &cached, gl) != 1) {
    if (fresh) FreeTitel();
    return -1;
  }
  // The picture's palette becomes the screen palette.
  g_pictures.picColours = pic.colours;
  std::memcpy(g_pictures.picPalette, pic.palette, sizeof g_pictures.picPalette);
  LoadPalette(pic.palette, 0, pic.colours);
  BitMap* bm = MakeBitMap(pic, ScreenDepth());
  // In OpenGL mode the screen picture's transparent pixels get alpha 0 (the
  // 3D landscape shows through them); every other pixel keeps 255.
  if (bm && pic.mask && BitMapPixelFormat(bm) == PIXFMT_RGBA32)
    for (uint32_t y = 0; y < pic.height; ++y)
      for (uint32_t x = 0; x < pic.width; ++x)
        if (!pic.mask[(size_t)y * pic.width + x]) bm->Pixels[(size_t)y * bm->BytesPerRow + (size_t)x * 4 + 3] = 0;
  DropPicture(&pic, cached);
  if (!bm) {
    DebugLog("OpenElmorPic: Kein Speicher fuer Bild %u.\n", id);
    if (fresh) FreeTitel();
    return -1;
  }
  g_pictures.titel->pictureId = (uint16_t)id;
  g_pictures.titel->revealed = 0;
  QoESystemPtr->Display->PicId = (uint16_t)id;
  ObtainMutex(g_pictures.titel->mutex);
  BltBitMap(bm, 0, 0, g_pictures.titel->bitmap, 0, 0, (int32_t)bm->Width, (int32_t)bm->Height);
  ReleaseMutex(g_pictures.titel->mutex);
  // The picture stays in its slot, held by the screen until CloseElmorPic.
  // A slot others hold open keeps their bitmap; the screen holds it too.
  const uint32_t slot = id - 1;
  if (!GfxTable[slot] || (g_pictures.opens[slot] == 1 && g_pictures.keptBy[slot] == kGfxKeeperScreen)) {
    FreeSlot(slot);
    GfxTable[slot] = bm;
    g_pictures.opens[slot] = 1;
  } else {
    FreeBitMap(bm);
    if (!(g_pictures.keptBy[slot] & kGfxKeeperScreen)) ++g_pictures.opens[slot];
  }
  g_pictures.keptBy[slot] |= kGfxKeeperScreen;
  ResetTitleBar();  // the new picture's title bar is empty
  if (gl && !OpenGLScreenObjekt(g_pictures.titel->bitmap, g_pictures.titel->rastPort)) {
    DebugLog("OpenElmorPic: Konnte das Bild %u nicht in die 3D-Objektliste stellen.\n", id);
    ReleaseScreenHold(id);
    return -1;
  }
  if (!(flags & 1)) StartTheTransition();
  DropWaitingInput();
  return gl ? 1 : 0;
}

void CloseElmorPic(uint32_t id, uint32_t mode) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  if (mode == 2) return;  // the screen RastPort already is the displayed picture's
  WaitTransition();
  if (id >= 1 && id <= kGfxSlots && !ReleaseScreenHold(id))
    DebugLog("CloseElmorPic: Bild %u war schon freigegeben.\n", id);
  if (g_pictures.titel && g_pictures.titel->mutex) {
    ObtainMutex(g_pictures.titel->mutex);
    ReleaseMutex(g_pictures.titel->mutex);
  }
  if (mode == 0) FreeTitel();
}

int32_t OpenElmorGfx(const char* index_path, uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  return AcquireGfx(index_path, id, false);
}

void CloseElmorGfx(uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  ReleaseGfx(id);
}

BitMap* UseElmorGfx(const char* index_path, uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  if (!index_path) {
    if (id == 0 || id > kGfxSlots || !GfxTable[id - 1]) return nullptr;
    ++g_pictures.opens[id - 1];
    return GfxTable[id - 1];
  }
  return AcquireGfx(index_path, id, true) == 1 ? GfxTable[id - 1] : nullptr;
}

BitMap* ElmorGfxBitMap(uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  return id >= 1 && id <= kGfxSlots ? GfxTable[id - 1] : nullptr;
}

uint32_t ElmorGfxOpenCount(uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  return id >= 1 && id <= kGfxSlots ? g_pictures.opens[id - 1] : 0;
}

const uint8_t* GetElmorGfxMask(uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  return id >= 1 && id <= kGfxSlots ? g_pictures.masks[id - 1] : nullptr;
}

int32_t PutElmorGfx(uint32_t id, BitMap* bitmap) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  if (id == 0 || id > kGfxSlots || !bitmap || GfxTable[id - 1]) {
    DebugLog("PutElmorGfx: Grafik %u ist belegt oder ungueltig.\n", id);
    return 0;
  }
  GfxTable[id - 1] = bitmap;
  g_pictures.opens[id - 1] = 1;
  return 1;
}

int32_t KeepElmorGfx(uint32_t keeper, const char* index_path, uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  if (id >= 1 && id <= kGfxSlots && GfxTable[id - 1] && (g_pictures.keptBy[id - 1] & keeper)) return 1;
  const int32_t rc = AcquireGfx(index_path, id, true);
  if (rc == 1) g_pictures.keptBy[id - 1] |= (uint8_t)keeper;
  return rc;
}

void LetGoElmorGfx(uint32_t keeper, uint32_t first, uint32_t last) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  if (first == 0) first = 1;
  for (uint32_t id = first; id <= last && id <= kGfxSlots; ++id)
    if (g_pictures.keptBy[id - 1] & keeper) {
      g_pictures.keptBy[id - 1] &= (uint8_t)~keeper;
      ReleaseGfx(id);
    }
}

BitMap* AllocElmorGfx(uint32_t width, uint32_t height, uint32_t depth, uint32_t flags, BitMap* friend_bitmap,
                      uint32_t) {
  return AllocBitMap(width, height, depth, flags & ~BMF_SURFACE, friend_bitmap);
}

void FreeElmorGfx(BitMap* bitmap) {
  if (bitmap) FreeBitMap(bitmap);
}

uintptr_t GetElmorGfxAttr(BitMap* bitmap, uint32_t attribute) {
  if (!bitmap) return 0;
  switch (attribute) {
    case 1: return bitmap->Width;
    case 2: return bitmap->Height;
    case 3: return bitmap->Depth;
    case 4: return bitmap->BytesPerRow;
    case 6: return reinterpret_cast<uintptr_t>(bitmap->Pixels);
    default: return 0;
  }
}

void FreeElmorGfxLock(BitMap*) {}

void ShowScreenRect(RastPort* rp, int32_t x, int32_t y, int32_t width, int32_t height) {
  // Until a screen's transition has run, what it draws stays hidden.
  if (!OnScreen(rp) || (g_pictures.titel && !g_pictures.titel->revealed)) return;
  if (x < 0) { width += x; x = 0; }
  if (y < 0) { height += y; y = 0; }
  // The game area, or the whole display while it is shown at display
  // coordinates (the map screen on a deeper display).
  const bool whole = DisplayGameAreaAtCorner() != 0;
  const int32_t w = whole ? (int32_t)DisplayWidth() : (int32_t)kGameAreaWidth;
  const int32_t h = whole ? (int32_t)DisplayHeight() : (int32_t)kGameAreaHeight;
  if (x + width > w) width = w - x;
  if (y + height > h) height = h - y;
  if (width > 0 && height > 0) UpdateRectangle(x, y, width, height);
}

namespace {

// The graphic of id held open for one call (loaded when it is not), closed
// by ReleaseGfx at the call's end. Null (logging `failure`) when it cannot be
// loaded. Called with g_pictures.lock held.
BitMap* GfxForCall(uint32_t id, const char* failure) {
  // A loaded graphic of the story index is held too; others load from the main index.
  const bool story = id > kGfxTableSize && id <= kGfxSlots && GfxTable[id - 1];
  if (AcquireGfx(story ? ".\\Data\\RizizOzezPath" : kMainIndex, id, true) != 1) {
    DebugLog("%s", failure);
    return nullptr;
  }
  return GfxTable[id - 1];
}

}  // namespace

int32_t BlitObjekt(RastPort* rp, uint32_t id, int32_t x, int32_t y, uint32_t width, uint32_t height) {
  if (!rp) rp = ScreenRastPort();
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  BitMap* bm = GfxForCall(id, "BlitObjekt: Konnte die Grafik nicht direkt laden!\n");
  if (!bm) return 0;
  if (width == 0 || width > bm->Width) width = bm->Width;
  if (height == 0 || height > bm->Height) height = bm->Height;
  if (rp) {
    {
      ScreenDrawLock draw(rp);
      BltBitMapRastPort(bm, 0, 0, rp, x, y, (int32_t)width, (int32_t)height);
    }
    ShowScreenRect(rp, x, y, (int32_t)width, (int32_t)height);
  }
  ReleaseGfx(id);
  return 1;
}

void SetBlitSourceRow(uint32_t row) { g_pictures.sourceRow.store(row); }
uint32_t GetBlitSourceRow() { return g_pictures.sourceRow.load(); }

int32_t BlitObjektMask(RastPort* rp, uint32_t id, uint32_t, int32_t x, int32_t y, uint32_t width,
                       uint32_t height) {
  return BlitObjektMaskRow(rp, id, x, y, width, height, g_pictures.sourceRow.load());
}

int32_t BlitObjektMaskRow(RastPort* rp, uint32_t id, int32_t x, int32_t y, uint32_t width, uint32_t height,
                          uint32_t row) {
  if (!rp) rp = ScreenRastPort();
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  BitMap* bm = GfxForCall(id, "BlitObjektMask: Konnte die Grafik nicht laden!\n");
  if (!bm) return 0;
  if (row < bm->Height && rp) {
    if (width == 0 || width > bm->Width) width = bm->Width;
    if (height == 0 || height > bm->Height - row) height = bm->Height - row;
    {
      ScreenDrawLock draw(rp);
      BltMaskBitMapRastPort(bm, 0, (int32_t)row, rp, x, y, (int32_t)width, (int32_t)height, 0xE0, g_pictures.masks[id - 1]);
    }
    ShowScreenRect(rp, x, y, (int32_t)width, (int32_t)height);
  }
  ReleaseGfx(id);
  return 1;
}

uint32_t ScreenPictureColours() {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  return g_pictures.picColours;
}

int32_t SetElmorPalette(const char* index_path, uint32_t id, uint32_t first, uint32_t count, uint32_t) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  if (first > 255) return 0;
  if (first + count > 256) count = 256 - first;
  if (!index_path) {
    if (first >= g_pictures.picColours) return 0;
    if (first + count > g_pictures.picColours) count = g_pictures.picColours - first;
    LoadPalette(g_pictures.picPalette + first, first, count);
    return 1;
  }
  IlbmPicture pic{};
  bool cached = false;
  if (LoadPicture("SetElmorPalette", index_path, id, &pic, &cached) != 1) return 0;
  uint32_t n = first < pic.colours ? pic.colours - first : 0;
  if (count > n) count = n;
  LoadPalette(pic.palette + first, first, count);
  DropPicture(&pic, cached);
  return 1;
}

int32_t LoadElmorCursor(uint32_t id) {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  IlbmPicture pic{};
  bool cached = false;
  if (LoadPicture("LoadMouseCursor", kMainIndex, id, &pic, &cached) != 1) return 0;
  int32_t ok = 0;
  const uint32_t n = (uint32_t)pic.width * pic.height;
  uint32_t* argb = nullptr;
  if (pic.width > kCursorMaxSide || pic.height > kCursorMaxSide) {
    DebugLog("LoadMouseCursor: Bild %u ist zu gross fuer einen Mauszeiger.\n", id);
  } else if ((argb = static_cast<uint32_t*>(AllocVec(n * 4, MEMF_PUBLIC))) != nullptr) {
    for (uint32_t i = 0; i < n; i++) {
      const uint8_t* c = pic.palette[pic.pixels[i]];
      uint32_t rgb = (uint32_t{c[0]} << 16) | (uint32_t{c[1]} << 8) | c[2];
      argb[i] = !pic.mask || pic.mask[i] ? 0xFF000000u | rgb : 0;
    }
    ok = SetCursorImage(argb, pic.width, pic.height, 0, 0);
    if (!ok) DebugLog("LoadMouseCursor: Konnte den Mauszeiger %u nicht setzen.\n", id);
  }
  FreeVec(argb);
  DropPicture(&pic, cached);
  return ok;
}

BitMap* SaveBackground(int32_t x, int32_t y, uint32_t width, uint32_t height) {
  RastPort* screen = ScreenRastPort();
  if (!screen || width == 0 || height == 0) return nullptr;
  // The screen's format, its alpha too: a rectangle of a see-through screen
  // comes back see-through.
  BitMap* bm = AllocBitMap(width, height, screen->Bitmap->Depth, 0, screen->Bitmap);
  if (!bm) return nullptr;
  if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
  BltBitMap(screen->Bitmap, x, y, bm, 0, 0, (int32_t)width, (int32_t)height);
  if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
  return bm;
}

void RestoreBackground(BitMap* saved, int32_t x, int32_t y, uint32_t width, uint32_t height) {
  if (!saved) return;
  RastPort* screen = ScreenRastPort();
  if (screen) {
    if (width == 0 || width > saved->Width) width = saved->Width;
    if (height == 0 || height > saved->Height) height = saved->Height;
    if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
    BltBitMapRastPort(saved, 0, 0, screen, x, y, (int32_t)width, (int32_t)height);
    if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
    ShowScreenRect(screen, x, y, (int32_t)width, (int32_t)height);
  }
  FreeBitMap(saved);
}

void ShowScreenWithoutPicture() {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  WaitTransition();
  TitelScreenData* t = g_pictures.titel;
  if (!t || t->revealed || !t->bitmap || !t->bitmap->Pixels) return;
  BitMap* bm = t->bitmap;
  const uint32_t w = bm->Width < kGameAreaWidth ? bm->Width : kGameAreaWidth;
  const uint32_t h = bm->Height < kGameAreaHeight ? bm->Height : kGameAreaHeight;
  const uint32_t bytes = bm->Depth / 8;
  {
    // Opaque black in every format: pen 0, 0x00000000, or R, G, B 0 with
    // alpha 255 in OpenGL mode, where a zero alpha would let the landscape
    // behind the screen show through around the box.
    const bool alpha = BitMapPixelFormat(bm) == PIXFMT_RGBA32;
    ScreenDrawLock draw(t->rastPort);
    for (uint32_t y = 0; y < h; y++) {
      uint8_t* row = bm->Pixels + size_t(y) * bm->BytesPerRow;
      std::memset(row, 0, size_t(w) * bytes);
      if (alpha)
        for (uint32_t x = 0; x < w; x++) row[size_t(x) * 4 + 3] = 0xFF;
    }
  }
  t->revealed = 1;
  ShowScreenRect(t->rastPort, 0, 0, (int32_t)w, (int32_t)h);
}

void StartTheTransition() {
  WaitTransition();
  if (g_pictures.titel) g_pictures.titel->revealed = 1;
  MotionBusy.store(1);
  g_pictures.transitionHurry.store(0);
  g_pictures.transitionStart = PlatformTimeMs();
  BeginClockThread();
  g_pictures.transition = StartThread("Transition", TransitionThread, nullptr);
  if (!g_pictures.transition) {
    EndClockThread();
    UpdateRectangle(0, 0, kGameAreaWidth, kGameAreaHeight);
    MotionBusy.store(0);
  }
}

void StartTheTransition8() { StartTheTransition(); }

void DropInputOfTheBuild() { DropWaitingInput(); }

void WaitTransition() {
  if (g_pictures.transition) {
    // On the virtual clock time stands still while the game thread waits
    // here: the transition finishes at once.
    if (PlatformClockIsVirtual()) {
      g_pictures.transitionHurry.store(1);
      WakeClockThreads();
    }
    JoinThread(g_pictures.transition);
    g_pictures.transition = nullptr;
  }
}

void FreeGfxCache() {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  for (IlbmPicture*& c : g_pictures.cache) {
    if (!c) continue;
    FreeIlbm(c);
    FreeVec(c);
    c = nullptr;
  }
}

void FreeGfxPaths() {
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  FreePathFile(g_pictures.mainIndex);
  g_pictures.mainIndex = nullptr;
  g_pictures.mainImage = nullptr;
  for (LoadedPictureIndex& li : g_pictures.indexes) {
    FreePathFile(li.index);
    li.index = nullptr;
    li.path[0] = 0;
  }
}

void FreeAllElmorGfx() {
  WaitTransition();
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  for (uint32_t i = 0; i < kGfxSlots; ++i) FreeSlot(i);
  FreeGfxCache();
  FreeGfxPaths();
  FreeTitel();
  g_pictures.picColours = 0;
  g_pictures.sourceRow.store(0);
}

PictureManagerState& PictureManager() { return g_pictures; }

void SetupPictureManagerState() {
  if (g_pictures.freeHooksSet.exchange(true)) return;
  SetGraphicsCacheFreeHook(FreeGfxCache);
  SetGraphicsPathsFreeHook(FreeGfxPaths);
}

void ResetPictureManagerState() {
  // Everything loaded goes; the hooks the 3D engine registered stay.
  FreeAllElmorGfx();
  std::lock_guard<std::recursive_mutex> lock(g_pictures.lock);
  std::memset(g_pictures.picPalette, 0, sizeof g_pictures.picPalette);
  g_pictures.mainImageSize = 0;
  MotionBusy.store(0);
}
