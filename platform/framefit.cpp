// The frame's place in a window of another size (see framefit.h).
#include "framefit.h"

namespace {

int64_t CeilDiv(int64_t n, int64_t d) { return n >= 0 ? (n + d - 1) / d : -((-n) / d); }

// View pixel d shows frame pixel floor((d + 1/2) * frame / view): the frame
// pixel under its centre. The first view pixel that shows frame pixel s.
int64_t FirstViewPixel(int64_t s, int64_t frame, int64_t view) {
  const int64_t d = CeilDiv(2 * view * s - frame, 2 * frame);
  return d < 0 ? 0 : d > view ? view : d;
}

int32_t FramePixelAt(int64_t d, int64_t frame, int64_t view) {
  if (frame <= 0 || view <= 0) return 0;
  if (d < 0) d = 0;
  if (d >= view) d = view - 1;
  const int64_t s = (2 * d + 1) * frame / (2 * view);
  return int32_t(s < frame ? s : frame - 1);
}

// One axis of a frame rectangle: the view range [*v0, *v1) that shows it.
void Axis(int64_t a, int64_t b, int64_t frame, int64_t view, int64_t* v0, int64_t* v1) {
  if (a < 0) a = 0;
  if (b > frame) b = frame;
  if (a >= b) {
    *v0 = *v1 = 0;
    return;
  }
  *v0 = FirstViewPixel(a, frame, view);
  *v1 = FirstViewPixel(b, frame, view);
}

}  // namespace

FrameFit FitFrame(uint32_t fw, uint32_t fh, uint32_t ww, uint32_t wh) {
  FrameFit f{fw, fh, ww, wh, 0, 0, int32_t(fw), int32_t(fh)};
  if (fw == 0 || fh == 0 || ww == 0 || wh == 0 || (ww == fw && wh == fh)) {
    f.window_w = fw;
    f.window_h = fh;
    return f;
  }
  // The window's proportions against the frame's: the narrower side fills.
  if (uint64_t(ww) * fh <= uint64_t(wh) * fw) {
    f.w = int32_t(ww);
    f.h = int32_t((uint64_t(ww) * fh + fw / 2) / fw);
  } else {
    f.h = int32_t(wh);
    f.w = int32_t((uint64_t(wh) * fw + fh / 2) / fh);
  }
  if (f.w < 1) f.w = 1;
  if (f.h < 1) f.h = 1;
  if (f.w > int32_t(ww)) f.w = int32_t(ww);
  if (f.h > int32_t(wh)) f.h = int32_t(wh);
  f.x = (int32_t(ww) - f.w) / 2;
  f.y = (int32_t(wh) - f.h) / 2;
  return f;
}

int FrameFitScales(const FrameFit& f) {
  return f.x != 0 || f.y != 0 || uint32_t(f.w) != f.frame_w || uint32_t(f.h) != f.frame_h;
}

void FrameRectInWindow(const FrameFit& f, int32_t x, int32_t y, int32_t w, int32_t h, int32_t* wx, int32_t* wy,
                       int32_t* ww, int32_t* wh) {
  int64_t x0, x1, y0, y1;
  Axis(x, int64_t(x) + w, f.frame_w, f.w, &x0, &x1);
  Axis(y, int64_t(y) + h, f.frame_h, f.h, &y0, &y1);
  *wx = f.x + int32_t(x0);
  *wy = f.y + int32_t(y0);
  *ww = int32_t(x1 - x0);
  *wh = int32_t(y1 - y0);
  if (*ww <= 0 || *wh <= 0) *ww = *wh = 0;
}

int32_t FrameColumnAt(const FrameFit& f, int32_t view_x) { return FramePixelAt(view_x, f.frame_w, f.w); }
int32_t FrameRowAt(const FrameFit& f, int32_t view_y) { return FramePixelAt(view_y, f.frame_h, f.h); }

void WindowPointInFrame(const FrameFit& f, int32_t wx, int32_t wy, int32_t* fx, int32_t* fy) {
  *fx = FrameColumnAt(f, wx - f.x);
  *fy = FrameRowAt(f, wy - f.y);
}
