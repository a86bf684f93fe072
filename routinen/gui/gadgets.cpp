// Gadget drawing and events.
#include <cstring>

#include "gui_internal.h"
#include "layout.h"
#include "census.h"
#include "layout_internal.h"
#include "pictures.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/timer.h"

bool InLayoutRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x, int32_t y) {
  return x >= x1 && x <= x2 && y >= y1 && y <= y2;
}

void GadgetMousePosition(int32_t* x, int32_t* y) {
  uint16_t mx = GetMouseX(), my = GetMouseY();
  *x = mx == 0xFFFF ? -1 : mx;
  *y = my == 0xFFFF ? -1 : my;
}

namespace {

const char kIndex[] = ".\\Data\\Path";

uint32_t GadgetCount(const ScreenRegion* r) { return r->types[LAYOUT_GADGET].count; }
uint32_t IndexOf(const ScreenRegion* r, const Gadget* g) {
  return (uint32_t)(g - static_cast<const Gadget*>(r->types[LAYOUT_GADGET].first));
}

bool Over(const ScreenRegion* r, const Gadget* g, int32_t mx, int32_t my) {
  return InLayoutRect(g->x1 + r->offsetX, g->y1 + r->offsetY, g->x2 + r->offsetX, g->y2 + r->offsetY, mx, my);
}

Gadget* GadgetUnder(ScreenRegion* r, int32_t mx, int32_t my) {
  for (uint32_t i = 0; i < GadgetCount(r); ++i) {
    Gadget* g = GetRegionGadget(r, i);
    if (Over(r, g, mx, my)) return g;
  }
  return nullptr;
}

// Keeps an image of the region open (once per region) until its images are
// freed; false when it cannot be loaded.
bool LoadImage(ScreenRegion* r, uint16_t image) {
  // Image IDs come from the layout file: one beyond the table is no image.
  if (image == 0 || image > kGfxSlots) return false;
  for (uint32_t i = 0; i < r->loadedCount; ++i)
    if (r->loadedImages[i] == image) return true;
  if (!r->loadedImages) r->loadedImages = static_cast<uint16_t*>(AllocVec(GadgetCount(r) * 3u * 2u + 2u, MEMF_CLEAR));
  // Without room to remember it, the blit loads it for each draw.
  if (!r->loadedImages || r->loadedCount >= GadgetCount(r) * 3u) return true;
  if (!UseElmorGfx(kIndex, image)) return false;
  r->loadedImages[r->loadedCount++] = image;
  return true;
}

// Saves what lies under a masked or hover gadget before it is first drawn.
void SaveUnder(RastPort* rp, ScreenRegion* r, Gadget* g) {
  if (!(g->flags & GADF_MASKED) && !g->imageHover) return;
  if (!r->backgrounds) {
    r->backgrounds = static_cast<BitMap**>(AllocVec(GadgetCount(r) * (uint32_t)sizeof(BitMap*), MEMF_CLEAR));
    if (!r->backgrounds) return;
  }
  BitMap*& bg = r->backgrounds[IndexOf(r, g)];
  if (bg || !rp->Bitmap) return;
  const uint32_t w = (uint32_t)(g->x2 - g->x1 + 1), h = (uint32_t)(g->y2 - g->y1 + 1);
  if (g->x2 < g->x1 || g->y2 < g->y1) return;
  bg = AllocBitMap(w, h, rp->Bitmap->Depth, 0, nullptr);
  ScreenDrawLock draw(rp);
  if (bg) BltBitMap(rp->Bitmap, g->x1 + r->offsetX, g->y1 + r->offsetY, bg, 0, 0, (int32_t)w, (int32_t)h);
}

// Draws one state of a gadget: its background first when it was saved.
void DrawGadget(RastPort* rp, ScreenRegion* r, Gadget* g, uint16_t image) {
  if (!rp) return;
  const int32_t x = g->x1 + r->offsetX, y = g->y1 + r->offsetY;
  SaveUnder(rp, r, g);
  BitMap* bg = r->backgrounds ? r->backgrounds[IndexOf(r, g)] : nullptr;
  if (bg) {
    {
      ScreenDrawLock draw(rp);
      BltBitMapRastPort(bg, 0, 0, rp, x, y, (int32_t)bg->Width, (int32_t)bg->Height);
    }
    ShowScreenRect(rp, x, y, (int32_t)bg->Width, (int32_t)bg->Height);
  }
  if (!image || !LoadImage(r, image)) return;
  if (g->flags & GADF_MASKED) BlitObjektMask(rp, image, 0, x, y, 0, 0);
  else BlitObjekt(rp, image, x, y, 0, 0);
}

void DrawReleased(RastPort* rp, ScreenRegion* r, Gadget* g) { DrawGadget(rp, r, g, g->imageReleased); }
void DrawPressed(RastPort* rp, ScreenRegion* r, Gadget* g) {
  DrawGadget(rp, r, g, g->imagePressed ? g->imagePressed : g->imageReleased);
}

void UpdateHover(RastPort* rp, ScreenRegion* r, int32_t mx, int32_t my) {
  Gadget* now = nullptr;
  for (uint32_t i = 0; i < GadgetCount(r); ++i) {
    Gadget* g = GetRegionGadget(r, i);
    if (g->imageHover && !(g->flags & GADF_NODRAW) && Over(r, g, mx, my)) { now = g; break; }
  }
  if (now == r->hover) return;
  if (r->hover && r->hover != r->pressed) DrawReleased(rp, r, r->hover);
  r->hover = now;
  if (now && now != r->pressed) DrawGadget(rp, r, now, now->imageHover);
}

Gadget* Pseudo(ScreenRegion* r, const char* id, uint16_t key) {
  std::memset(&r->pseudo, 0, sizeof r->pseudo);
  std::memcpy(r->pseudo.id, id, 4);
  r->pseudo.keyCode = key;
  return &r->pseudo;
}

}  // namespace

void LayoutReleaseDrawState(ScreenRegion* region) {
  if (region->backgrounds) {
    for (uint32_t i = 0; i < GadgetCount(region); ++i) FreeBitMap(region->backgrounds[i]);
    FreeVec(region->backgrounds);
    region->backgrounds = nullptr;
  }
  // Each image the region opened is closed once.
  for (uint32_t i = 0; i < region->loadedCount; ++i) CloseElmorGfx(region->loadedImages[i]);
  FreeVec(region->loadedImages);
  region->loadedImages = nullptr;
  region->loadedCount = 0;
  region->hover = nullptr;
}

void FreeMouseGadgetImages(ScreenRegion* region) {
  if (!region) return;
  LayoutReleaseDrawState(region);
}

void RestoreMouseGadgets(RastPort* rp, ScreenRegion* region) {
  if (!region) return;
  if (!rp) rp = ScreenRastPort();
  if (!rp) return;
  for (uint32_t i = 0; i < GadgetCount(region); ++i) {
    Gadget* g = GetRegionGadget(region, i);
    if (!(g->flags & GADF_NODRAW)) DrawReleased(rp, region, g);
  }
  region->hover = nullptr;
}

void SetMouseGadgetOffset(ScreenRegion* region, int32_t x, int32_t y) {
  if (!region) return;
  region->offsetX = (int16_t)x;
  region->offsetY = (int16_t)y;
}

namespace {
Gadget* HandleEvent(RastPort* rp, ScreenRegion* region, uint32_t event);
}  // namespace

Gadget* HandleGadgetEvent(RastPort* rp, ScreenRegion* region, uint32_t event) {
  Gadget* chosen = HandleEvent(rp, region, event);
  CensusRegionHandled(region, chosen);
  return chosen;
}

namespace {
Gadget* HandleEvent(RastPort* rp, ScreenRegion* region, uint32_t event) {
  if (!region) return nullptr;
  if (!rp) rp = ScreenRastPort();
  int32_t mx = -1, my = -1;
  GadgetMousePosition(&mx, &my);
  UpdateHover(rp, region, mx, my);
  if (event == 0) return nullptr;
  if (event == 27) {
    Gadget* exit = FindGadget(region, "EXIT");
    if (!exit) return Pseudo(region, "EXIT", 27);
    DrawPressed(rp, region, exit);
    Delay(10);
    DrawReleased(rp, region, exit);
    return exit;
  }
  if (event >= 1 && event <= 255) return Pseudo(region, "KEY!", (uint16_t)event);
  switch (event) {
    case WE_LEFT_DOWN:
      if (region->buttonUp) {
        region->buttonUp = 0;
        Gadget* g = GadgetUnder(region, mx, my);
        if (!g) return nullptr;
        region->pressed = g;
        region->actedOnPress = (g->flags & GADF_REPEAT) ? 1 : 0;
        DrawPressed(rp, region, g);
        return region->actedOnPress ? g : nullptr;
      }
      // A move with the button held: leaving the pressed gadget releases it.
      if (region->pressed && !Over(region, region->pressed, mx, my)) {
        DrawReleased(rp, region, region->pressed);
        region->pressed = nullptr;
      }
      return nullptr;
    case WE_TICK:
      if (!region->buttonUp && region->pressed && (region->pressed->flags & GADF_REPEAT) &&
          Over(region, region->pressed, mx, my))
        return region->pressed;
      return nullptr;
    case WE_LEFT_UP: {
      region->buttonUp = 1;
      Gadget* g = region->pressed;
      if (!g) return nullptr;
      region->pressed = nullptr;
      if (g == region->hover && g->imageHover) DrawGadget(rp, region, g, g->imageHover);
      else DrawReleased(rp, region, g);
      return region->actedOnPress ? nullptr : g;
    }
    default:
      return nullptr;
  }
}
}  // namespace
