// A frame of the display mode's size shown in a window of another size (a
// full-screen window over a desktop of another size): scaled to the largest
// rectangle of the frame's proportions, centred, black bars beside it; the
// pointer's window position mapped back to the frame's pixels. The 2D loop
// and the OpenGL frame both scale by these rules, so what is drawn and what
// takes a click agree.
#pragma once
#include <cstdint>

struct FrameFit {
  uint32_t frame_w, frame_h;   // the display mode's size
  uint32_t window_w, window_h;  // the window's (drawable's) pixels
  int32_t x, y, w, h;          // where the frame stands in the window
};

// The fit of a frame of fw x fh in a window of ww x wh; a window of the
// frame's size (or an unknown one, 0) shows it unscaled at (0, 0).
FrameFit FitFrame(uint32_t fw, uint32_t fh, uint32_t ww, uint32_t wh);
// 1 when the frame is shown at another size or place than its own.
int FrameFitScales(const FrameFit& f);
// Window pixel column (or row) d of the view shows frame column
// floor(d * frame / view): the first view pixel that shows frame pixel s.
// A frame rectangle [x, x + w) x [y, y + h) becomes the window rectangle of
// every pixel that shows one of its pixels (view coordinates plus the
// view's place); empty (w or h 0) when the rectangle lies outside the frame.
void FrameRectInWindow(const FrameFit& f, int32_t x, int32_t y, int32_t w, int32_t h, int32_t* wx, int32_t* wy,
                       int32_t* ww, int32_t* wh);
// The frame pixel a window pixel shows; a pixel on a bar gives the nearest
// edge pixel of the frame.
void WindowPointInFrame(const FrameFit& f, int32_t wx, int32_t wy, int32_t* fx, int32_t* fy);
// The frame column (row) that window column d of the view shows.
int32_t FrameColumnAt(const FrameFit& f, int32_t view_x);
int32_t FrameRowAt(const FrameFit& f, int32_t view_y);
