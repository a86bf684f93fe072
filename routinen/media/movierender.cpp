// Drawing a decoded movie frame: the 8 bit planes become pixels in the
// display's work surface (8 pixels per step through a nibble table), and the
// rectangle is copied to the primary surface at the game area's centring
// offset, all under the display mutex.
#include <cstring>

#include "movie_internal.h"
#include "platform/display.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/system/graphics.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"

namespace {

// Entry n spreads the nibble n over four bytes of 0 or 1; in memory byte i is
// the bit for pixel i of the nibble's four (pixel 0 from the nibble's top bit).
struct NibbleTable {
  uint32_t entry[16];
  NibbleTable() {
    for (uint32_t n = 0; n < 16; n++) {
      uint8_t bytes[4];
      for (uint32_t i = 0; i < 4; i++) bytes[i] = (uint8_t)((n >> (3 - i)) & 1);
      std::memcpy(&entry[n], bytes, 4);
    }
  }
};
const NibbleTable kNibbles;

// Eight pixels of one column from the 8 plane bytes at offset `at`.
inline void Column(const uint8_t* const planes[8], uint32_t at, uint8_t out[8]) {
  uint32_t left = 0, right = 0;
  for (int p = 7; p >= 0; p--) {
    const uint8_t b = planes[p][at];
    left = (left << 1) | kNibbles.entry[b >> 4];
    right = (right << 1) | kNibbles.entry[b & 15];
  }
  std::memcpy(out, &left, 4);
  std::memcpy(out + 4, &right, 4);
}

constexpr int kLockTries = 3;

}  // namespace

void PlanarToChunky(const PlanarDescription* d) {
  if (!d || !d->dest) return;
  for (int p = 0; p < 8; p++)
    if (!d->planes[p]) return;
  const uint32_t columns = d->width / 8, rest = d->width % 8;
  uint8_t row_pens[kMovieMaxWidth + 8];
  for (uint32_t y = 0; y < d->height; y++) {
    const uint32_t src = y * d->row_stride;
    uint8_t* dst = d->dest + (size_t)y * d->pitch;
    uint8_t* pens = d->bytes_per_pixel == 1 ? dst : row_pens;
    for (uint32_t c = 0; c < columns; c++) Column(d->planes, src + c, pens + 8 * c);
    if (rest) {
      uint8_t tail[8];
      Column(d->planes, src + columns, tail);
      std::memcpy(pens + 8 * columns, tail, rest);
    }
    if (d->bytes_per_pixel == 4 && d->pens) {
      for (uint32_t x = 0; x < d->width; x++) std::memcpy(dst + 4 * (size_t)x, &d->pens[row_pens[x]], 4);
    }
  }
}

namespace {

// OpenGL mode: the work surface's rectangle (game coordinates) into the
// screen's bitmap in its own format (pens, 0x00RRGGBB, or R, G, B, A bytes),
// under the display mutex.
void CopyWorkToScreen(const PlatformSurface* work, uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
  RastPort* rp = ScreenRastPort();
  BitMap* bm = rp ? rp->Bitmap : nullptr;
  if (!bm || !bm->Pixels || x + width > bm->Width || y + height > bm->Height) return;
  const uint16_t format = BitMapPixelFormat(bm);
  const uint32_t bytes = bm->Depth / 8;
  if ((bytes == 1) != (work->depth == 8)) return;  // the screen and the display differ in depth
  for (uint32_t row = 0; row < height; row++) {
    const uint8_t* s = work->pixels + (size_t)(y + row) * work->pitch + (size_t)x * bytes;
    uint8_t* d = bm->Pixels + (size_t)(y + row) * bm->BytesPerRow + (size_t)x * bytes;
    if (format != PIXFMT_RGBA32) {
      std::memcpy(d, s, (size_t)width * bytes);
      continue;
    }
    for (uint32_t i = 0; i < width; i++) {
      uint32_t v;
      std::memcpy(&v, s + 4 * (size_t)i, 4);
      d[4 * i] = (uint8_t)(v >> 16);
      d[4 * i + 1] = (uint8_t)(v >> 8);
      d[4 * i + 2] = (uint8_t)v;
      d[4 * i + 3] = 255;
    }
  }
}

}  // namespace

void RenderANIM5Direct(ANIM5Handle* decoder, TitelScreenData* display, uint8_t target, uint16_t x, uint16_t y) {
  if (!decoder || target != 0) return;  // target 1 belongs to the sound mode's pipeline
  Movie* movie = decoder->movie;
  MovieBase* base = movie ? movie->base : nullptr;
  // No frames while a screen transition runs or the display is busy; a stop
  // or the end of the base drops the frame.
  for (;;) {
    const DisplayRecord* dr = QoESystemPtr->Display;
    if (!MotionBusy.load() && (!dr || dr->Busy.load() != 0)) break;
    if ((movie && movie->stop_requested.load()) || (base && base->scheduler_quit.load())) return;
    if (!base || !base->clock_thread) {
      Delay(10);
    } else if (!SleepPlatformMs(10, &base->wake)) {
      return;  // the game thread wants this movie: the frame is dropped
    }
  }
  const uint8_t* frame = ANIM5NewestFrame(decoder);
  PlatformSurface* primary = DisplayPrimarySurface();
  if (!frame || !primary) return;  // no frame yet / the primary is gone
  if (x >= kGameAreaWidth || y >= kGameAreaHeight) return;
  // Clipped to the game area.
  const uint32_t width = decoder->width < kGameAreaWidth - x ? decoder->width : kGameAreaWidth - x;
  const uint32_t height = decoder->height < kGameAreaHeight - y ? decoder->height : kGameAreaHeight - y;

  QoeMutex* mutex = display && display->mutex ? display->mutex : DisplayMutex();
  ObtainMutex(mutex);
  PlatformSurface* work = DisplayWorkSurface();
  for (int tries = 1; (!work || x + width > work->width || y + height > work->height) && tries < kLockTries; tries++) {
    Delay(5);
    work = DisplayWorkSurface();
  }
  if (!work || x + width > work->width || y + height > work->height) {
    DebugLog("RenderANIM5Direct: Konnte die Arbeitsfl\xE4" "che nicht sperren, Bild verworfen\n");
    ReleaseMutex(mutex);
    return;
  }
  PlanarDescription d{};
  const uint32_t stride = (uint32_t)decoder->width * decoder->height / 8u;
  for (uint32_t p = 0; p < 8; p++) d.planes[p] = frame + p * stride;
  d.bytes_per_pixel = work->depth == 8 ? 1 : 4;
  d.dest = work->pixels + (size_t)y * work->pitch + (size_t)x * d.bytes_per_pixel;
  d.pitch = work->pitch;
  d.width = width;
  d.height = height;
  d.row_stride = decoder->width / 8u;
  uint32_t pens[256];
  if (d.bytes_per_pixel == 4) {
    uint8_t all[256];
    for (uint32_t i = 0; i < 256; i++) all[i] = (uint8_t)i;
    ConvertRGBToFormat(PIXFMT_XRGB32, all, pens, 256);
    d.pens = pens;
  }
  PlanarToChunky(&d);

  if (DisplayRenderer() == 1) {
    // OpenGL mode: the window thread shows the screen's bitmap, so the frame
    // goes there, and its rectangle is queued for the next GL frame.
    CopyWorkToScreen(work, x, y, width, height);
    ReleaseMutex(mutex);
    UpdateRectangle(x, y, (int32_t)width, (int32_t)height);
    return;
  }
  int32_t ox = 0, oy = 0;
  GameAreaOffset(primary->width, primary->height, &ox, &oy);
  int r = DisplayBltWork(x, y, x + ox, y + oy, (int32_t)width, (int32_t)height, 0);
  if (r != kDisplayOk) {
    DebugLog("RenderANIM5Direct: BltFast fehlgeschlagen mit Meldung %s\n", DDErrorString(r));
    // The plain blit lands at the same place, cut to the surfaces.
    r = DisplayBltWork(x, y, x + ox, y + oy, (int32_t)width, (int32_t)height, 1);
    if (r != kDisplayOk) DebugLog("RenderANIM5Direct: Blt fehlgeschlagen mit Meldung %s\n", DDErrorString(r));
  }
  ReleaseMutex(mutex);
}
