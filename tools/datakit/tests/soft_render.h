// A small software renderer for looking at the kit's models: textured,
// vertex-coloured faces (texture x colour, as the engine's draw modulates
// them), a depth buffer, a parallel view turned about the vertical and
// tilted towards the viewer like the map's camera.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/datakit/qoe_writer.h"

namespace softrender {

struct Canvas {
  int w, h;
  std::vector<uint32_t> rgb;  // 0x00RRGGBB
  std::vector<float> depth;
  Canvas(int width, int height, uint32_t background)
      : w(width), h(height), rgb(size_t(width) * height, background), depth(size_t(width) * height, 1e30f) {}
};

struct Texture {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;  // rows top-down
};

// The view: yaw degrees about y, then tilt degrees about x, px per unit, the
// cell's centre on the canvas (cx, cy) and the world point shown there at
// height lift.
struct View {
  float yaw, tilt, scale;
  int cx, cy;
  float lift;
};

struct Screen {
  float x, y, z;
};

inline Screen Project(const View& v, float x, float y, float z) {
  const float a = v.yaw * float(M_PI) / 180, t = v.tilt * float(M_PI) / 180;
  const float x1 = x * std::cos(a) + z * std::sin(a), z1 = -x * std::sin(a) + z * std::cos(a);
  const float y1 = y - v.lift;
  // Tilted: the camera looks down at the scene from the +z side.
  const float y2 = y1 * std::cos(t) - z1 * std::sin(t), z2 = y1 * std::sin(t) + z1 * std::cos(t);
  return {float(v.cx) + x1 * v.scale, float(v.cy) - y2 * v.scale, -z2};
}

// Draws the faces (triangle fans) of points[first .. first + count).
inline void DrawFaces(Canvas& c, const Texture& tex, const View& v, const std::vector<datakit::QoePoint>& points,
                      const std::vector<uint16_t>& face_points) {
  size_t at = 0;
  for (uint16_t n : face_points) {
    std::vector<Screen> s;
    for (size_t i = 0; i < n; i++) {
      const datakit::QoePoint& p = points[at + i];
      s.push_back(Project(v, p.x, p.y, p.z));
    }
    for (size_t k = 1; k + 1 < n; k++) {
      const size_t idx[3] = {at, at + k, at + k + 1};
      const Screen t[3] = {s[0], s[k], s[k + 1]};
      const float area = (t[1].x - t[0].x) * (t[2].y - t[0].y) - (t[2].x - t[0].x) * (t[1].y - t[0].y);
      if (std::fabs(area) < 1e-6f) continue;
      const int x0 = std::max(0, int(std::floor(std::min({t[0].x, t[1].x, t[2].x}))));
      const int x1 = std::min(c.w - 1, int(std::ceil(std::max({t[0].x, t[1].x, t[2].x}))));
      const int y0 = std::max(0, int(std::floor(std::min({t[0].y, t[1].y, t[2].y}))));
      const int y1 = std::min(c.h - 1, int(std::ceil(std::max({t[0].y, t[1].y, t[2].y}))));
      for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++) {
          const float px = float(x) + 0.5f, py = float(y) + 0.5f;
          float b[3];
          for (int e = 0; e < 3; e++) {
            const Screen& p = t[(e + 1) % 3];
            const Screen& q = t[(e + 2) % 3];
            b[e] = ((q.x - p.x) * (py - p.y) - (px - p.x) * (q.y - p.y)) / area;
          }
          if (b[0] < 0 || b[1] < 0 || b[2] < 0) continue;
          const float z = b[0] * t[0].z + b[1] * t[1].z + b[2] * t[2].z;
          const size_t o = size_t(y) * c.w + x;
          if (z >= c.depth[o]) continue;
          c.depth[o] = z;
          float u = 0, vv = 0, col[3] = {0, 0, 0};
          for (int e = 0; e < 3; e++) {
            const datakit::QoePoint& p = points[idx[e]];
            u += b[e] * p.u;
            vv += b[e] * p.v;
            for (int k = 0; k < 3; k++) col[k] += b[e] * p.rgba[k];
          }
          const int tx = std::clamp(int(u * float(tex.w)), 0, tex.w - 1);
          const int ty = std::clamp(int(vv * float(tex.h)), 0, tex.h - 1);
          const uint8_t* tp = &tex.rgb[(size_t(ty) * tex.w + tx) * 3];
          uint32_t out = 0;
          for (int k = 0; k < 3; k++) out = (out << 8) | uint32_t(std::clamp(int(col[k] * tp[k] / 255.0f), 0, 255));
          c.rgb[o] = out;
        }
    }
    at += n;
  }
}

// The hex outline at height 0 (corners at x = +-32, and +-16 at z = +-27.712).
inline void DrawHex(Canvas& c, const View& v, uint32_t colour) {
  const float xs[6] = {32, 16, -16, -32, -16, 16}, zs[6] = {0, 27.712f, 27.712f, 0, -27.712f, -27.712f};
  for (int i = 0; i < 6; i++) {
    const Screen a = Project(v, xs[i], 0, zs[i]), b = Project(v, xs[(i + 1) % 6], 0, zs[(i + 1) % 6]);
    for (int k = 0; k <= 64; k++) {
      const int x = int(a.x + (b.x - a.x) * float(k) / 64), y = int(a.y + (b.y - a.y) * float(k) / 64);
      if (x >= 0 && y >= 0 && x < c.w && y < c.h) c.rgb[size_t(y) * c.w + x] = colour;
    }
  }
}

}  // namespace softrender
