#include "sysrecords.h"

#include <cstring>

#include "platform/display.h"
#include "files.h"
#include "graphics.h"
#include "platform/log.h"
#include "memory.h"
#include "platform/screenmode.h"

namespace {

DisplayRecord g_display;
QoESystem g_system;
OwnPlayer g_player;

struct SfxCacheSlot {
  void* data;
  uint32_t size;
};
SfxCacheSlot g_sfx_cache[SFX_CACHE_ENTRIES];
std::atomic<void (*)()> g_free_graphics{nullptr};
std::atomic<void (*)()> g_free_gfx_paths{nullptr};
std::atomic<uint64_t (*)(uint32_t)> g_mem_probe{nullptr};

uint64_t FreeMemory() {
  auto probe = g_mem_probe.load();
  return probe ? probe(4) : AvailMem(4);
}

}  // namespace

QoESystem* const QoESystemPtr = &g_system;
OwnPlayer* const OwnPlayerPtr = &g_player;
std::atomic<const void*> MainWindow{nullptr};

const char* const kWebHost = "www.quill-of-elmor.invalid";
const char* const kWebPath = "/";

void FillDisplayRecord() {
  DisplayModeChoice mode;
  CurrentDisplayMode(&mode);
  DisplayRecord* d = &g_display;
  g_system.Display = d;
  d->ModeId = mode.mode_id;
  d->Width = static_cast<uint16_t>(DisplayWidth() ? DisplayWidth() : mode.width);
  d->Height = static_cast<uint16_t>(DisplayHeight() ? DisplayHeight() : mode.height);
  d->Depth = static_cast<uint16_t>(DisplayDepth() ? DisplayDepth() : mode.depth);
  d->PixelFormatCode = static_cast<uint16_t>(mode.pixel_format);
  d->Renderer = DisplayRenderer();
  d->FullScreen = mode.fullscreen;
}

int OpenScreenRastPort() {
  CloseScreenRastPort();
  g_system.Display = &g_display;
  // OpenGL mode: the window thread shows the screen from a bitmap of its own,
  // in the display's depth (8-bit pens, or 32-bit bytes R, G, B, A).
  BitMap* bm = nullptr;
  if (DisplayRenderer() == 1) {
    uint32_t depth = DisplayDepth() == 8 ? 8 : 32;
    uint32_t flags = depth == 32 ? uint32_t{BMF_RGBA} : 0u;
    if (DisplayDepth() != 0) bm = AllocBitMap(kGameAreaWidth, kGameAreaHeight, depth, flags, nullptr);
  } else {
    bm = AllocSurfaceBitMap(DisplayBackSurface());
  }
  if (!bm) return 0;
  static RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  g_display.ScreenRastPort = &rp;
  return 1;
}

void CloseScreenRastPort() {
  RastPort* rp = g_display.ScreenRastPort;
  if (!rp) return;
  g_display.ScreenRastPort = nullptr;
  FreeBitMap(rp->Bitmap);
  rp->Bitmap = nullptr;
}

int LoadPaths() {
  FreePaths();
  uint32_t size = 0;
  g_system.PicPath = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\Path", MEMF_PUBLIC | MEMF_CLEAR, &size));
  g_system.PicPathSize = g_system.PicPath ? size : 0;
  if (!g_system.PicPath) DebugLog("SetupSystem: Konnte .\\Data\\Path nicht laden\n");
  size = 0;
  g_system.SfxPathImage = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\SfxPath", MEMF_PUBLIC | MEMF_CLEAR, &size));
  g_system.SfxPathSize = g_system.SfxPathImage ? size : 0;
  if (!g_system.SfxPathImage) DebugLog("SetupSystem: Konnte .\\Data\\SfxPath nicht laden\n");
  g_system.PathsLoaded = (g_system.PicPath || g_system.SfxPathImage) ? 1 : 0;
  return g_system.PicPath && g_system.SfxPathImage ? 1 : 0;
}

void FreePaths() {
  if (auto hook = g_free_gfx_paths.load()) hook();
  FreeVec(g_system.PicPath);
  FreeVec(g_system.SfxPathImage);
  g_system.PicPath = nullptr;
  g_system.SfxPathImage = nullptr;
  g_system.PicPathSize = 0;
  g_system.SfxPathSize = 0;
  g_system.PathsLoaded = 0;
}

// ---- Sound-sample cache -----------------------------------------------------

int Copy2SfxCache(uint32_t id, uint32_t size, const void* data) {
  if (id == 1 || !data || size == 0) return 0;
  if (id >= SFX_CACHE_ENTRIES) return 0;
  if (g_sfx_cache[id].data) return 0;  // one copy per sound
  uint64_t avail = FreeMemory();  // 70 % of it at most 5,000,000: no copy
  if (avail <= UINT64_MAX / 7 && avail * 7 <= 50000000) return 0;
  DebugLog("Copy Sfx ID %u Size %u Address %x\n", id, size,
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
  void* copy = AllocVec(size, MEMF_PUBLIC);
  if (!copy) {
    DebugLog("Copy2SfxCache: Kein Speicher fuer Sfx ID %u (%u Bytes)\n", id, size);
    return 1;
  }
  CopyMem(data, copy, size);
  g_sfx_cache[id].data = copy;
  g_sfx_cache[id].size = size;
  return 0;
}

const void* SfxCacheEntry(uint32_t id, uint32_t* size) {
  if (id >= SFX_CACHE_ENTRIES || !g_sfx_cache[id].data) {
    if (size) *size = 0;
    return nullptr;
  }
  if (size) *size = g_sfx_cache[id].size;
  return g_sfx_cache[id].data;
}

void FreeCaches(uint32_t bits) {
  if (bits & 1) {
    if (auto hook = g_free_graphics.load()) hook();
  }
  if (bits & 2) {
    for (auto& e : g_sfx_cache) {
      FreeVec(e.data);
      e.data = nullptr;
      e.size = 0;
    }
  }
}

void SetGraphicsCacheFreeHook(void (*hook)()) { g_free_graphics.store(hook); }
void SetGraphicsPathsFreeHook(void (*hook)()) { g_free_gfx_paths.store(hook); }
void SetSfxCacheMemoryProbe(uint64_t (*probe)(uint32_t)) { g_mem_probe.store(probe); }
