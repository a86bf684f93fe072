#include "draw.h"

#include <algorithm>
#include <cstdlib>

namespace datakit::movies {

uint8_t Sh(uint8_t ramp, int s) {
  const int top = ramp == kRoseR ? 14 : 15;
  return (uint8_t)(ramp + std::clamp(s, 0, top));
}

uint8_t RampOf(uint8_t pen) { return pen < 16 || pen == kTransparent ? 0 : (uint8_t)(pen & 0xF0); }

uint8_t Lighten(uint8_t pen, int k) {
  const uint8_t r = RampOf(pen);
  if (!r) return pen;
  return Sh(r, pen - r + k);
}

bool RampByName(const std::string& n, uint8_t* ramp) {
  static const std::map<std::string, uint8_t> names = {
      {"grey", kGreyR},   {"parchment", kParchR}, {"wood", kWoodR},   {"gold", kGoldR},   {"red", kRedR},
      {"green", kGreenR}, {"blue", kBlueR},       {"teal", kTealR},   {"purple", kPurpleR}, {"orange", kOrangeR},
      {"slate", kSlateR}, {"forest", kForestR},   {"sand", kSandR},   {"water", kWaterR}, {"rose", kRoseR}};
  auto it = names.find(n);
  if (it == names.end()) return false;
  *ramp = it->second;
  return true;
}

uint32_t Noise(int x, int y, uint32_t seed) {
  uint32_t h = (uint32_t)x * 374761393u + (uint32_t)y * 668265263u + seed * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  return h ^ (h >> 16);
}

void Dot(Image& img, double cx, double cy, double r, uint8_t c) {
  const int y1 = (int)std::floor(cy - r), y2 = (int)std::ceil(cy + r);
  const int x1 = (int)std::floor(cx - r), x2 = (int)std::ceil(cx + r);
  const double rr = r * r + 0.25;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x)
      if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= rr) img.Set(x, y, c);
}

void Line(Image& img, double x0, double y0, double x1, double y1, double r, uint8_t c) {
  const int n = std::max(1, (int)std::ceil(std::max(std::fabs(x1 - x0), std::fabs(y1 - y0))));
  for (int i = 0; i <= n; ++i) {
    const double x = x0 + (x1 - x0) * i / n, y = y0 + (y1 - y0) * i / n;
    if (r <= 0.5) img.Set((int)std::lround(x), (int)std::lround(y), c);
    else Dot(img, x, y, r, c);
  }
}

void Ellipse(Image& img, double cx, double cy, double rx, double ry, uint8_t fill, uint8_t edge) {
  if (rx <= 0 || ry <= 0) return;
  for (int y = (int)std::floor(cy - ry); y <= (int)std::ceil(cy + ry); ++y)
    for (int x = (int)std::floor(cx - rx); x <= (int)std::ceil(cx + rx); ++x) {
      const double dx = (x - cx) / rx, dy = (y - cy) / ry, d = dx * dx + dy * dy;
      if (d <= 1.0) img.Set(x, y, d > 0.72 ? edge : fill);
    }
}

void Poly(Image& img, const std::vector<Pt>& pts, uint8_t c) {
  if (pts.size() < 3) return;
  double lo = pts[0].second, hi = lo;
  for (const Pt& p : pts) lo = std::min(lo, p.second), hi = std::max(hi, p.second);
  std::vector<double> xs;
  for (int y = (int)std::floor(lo); y <= (int)std::ceil(hi); ++y) {
    const double sy = y + 0.5;
    xs.clear();
    for (size_t i = 0; i < pts.size(); ++i) {
      const Pt& a = pts[i];
      const Pt& b = pts[(i + 1) % pts.size()];
      if ((a.second <= sy) != (b.second <= sy))
        xs.push_back(a.first + (sy - a.second) * (b.first - a.first) / (b.second - a.second));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t k = 0; k + 1 < xs.size(); k += 2)
      for (int x = (int)std::lround(xs[k]); x < (int)std::lround(xs[k + 1]); ++x) img.Set(x, y, c);
  }
}

void Box(Image& img, double x1, double y1, double x2, double y2, uint8_t c) {
  FillRect(img, (int)std::lround(x1), (int)std::lround(y1), (int)std::lround(x2), (int)std::lround(y2), c);
}

void Gradient(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int a, int b, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int num = (b - a) * (y - y1) * 16 / std::max(1, y2 - y1) + (int)(Noise(x, y, seed) % 16);
      img.Set(x, y, Sh(ramp, a + (num >= 0 ? num / 16 : -((-num + 15) / 16))));
    }
}

void Speckle(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int base, int spread, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) img.Set(x, y, Sh(ramp, base + (int)(Noise(x / 2, y / 2, seed) % (spread + 1))));
}

void Masonry(Image& img, int x1, int y1, int x2, int y2, uint8_t ramp, int base, int bw, int bh, uint32_t seed) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const int row = (y - y1) / bh, off = row % 2 ? bw / 2 : 0;
      const bool joint = (y - y1) % bh == bh - 1 || (x - x1 + off) % bw == 0;
      const int shade = base + (int)(Noise((x - x1 + off) / bw, row, seed) % 3);
      img.Set(x, y, joint ? Sh(ramp, base - 3) : Sh(ramp, shade));
    }
}

void Curve(Image& img, Pt a, Pt b, Pt c, double r, uint8_t pen) {
  Pt prev = a;
  for (int i = 1; i <= 16; ++i) {
    const double t = i / 16.0, u = 1 - t;
    const Pt p = {u * u * a.first + 2 * u * t * b.first + t * t * c.first,
                  u * u * a.second + 2 * u * t * b.second + t * t * c.second};
    Line(img, prev.first, prev.second, p.first, p.second, r, pen);
    prev = p;
  }
}

void Blit(Image& img, const Image& spr, const Place& p, std::vector<uint8_t>* mask) {
  const double ca = std::cos(p.angle), sa = std::sin(p.angle);
  // Bounding box of the transformed sprite (the bend adds at most |bend|).
  double lx = 1e9, hx = -1e9, ly = 1e9, hy = -1e9;
  for (int k = 0; k < 4; ++k) {
    const double u = (k & 1 ? spr.width : 0) - p.ax, v = (k & 2 ? spr.height : 0) - p.ay;
    const double x = p.sx * u + p.shear * v, y = p.sy * v;
    const double X = p.px + ca * x - sa * y, Y = p.py + sa * x + ca * y;
    lx = std::min(lx, X), hx = std::max(hx, X), ly = std::min(ly, Y), hy = std::max(hy, Y);
  }
  lx -= std::fabs(p.bend) + 1, hx += std::fabs(p.bend) + 1;
  const int x1 = std::max(0, (int)std::floor(lx)), x2 = std::min(img.width - 1, (int)std::ceil(hx));
  const int y1 = std::max(0, (int)std::floor(ly)), y2 = std::min(img.height - 1, (int)std::ceil(hy));
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const double dx = x + 0.5 - p.px, dy = y + 0.5 - p.py;
      const double rx = ca * dx + sa * dy, ry = -sa * dx + ca * dy;
      const double v = ry / p.sy;
      double bendx = 0;
      if (p.bend != 0 && v < 0) bendx = p.bend * (v / p.ay) * (v / p.ay);
      const double u = (rx - bendx - p.shear * v) / p.sx;
      const int su = (int)std::floor(u + p.ax), sv = (int)std::floor(v + p.ay);
      if (su < 0 || sv < 0 || su >= spr.width || sv >= spr.height) continue;
      const uint8_t c = spr.Get(su, sv);
      if (c == kTransparent) continue;
      img.Set(x, y, c);
      if (mask) (*mask)[(size_t)y * img.width + x] = 1;
    }
}

void Glint(Image& img, const std::vector<uint8_t>& mask, double pos, double half, int k) {
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      if (!mask[(size_t)y * img.width + x]) continue;
      const double d = std::fabs(x + y * 0.5 - pos);
      if (d > half) continue;
      const int steps = (int)std::lround(k * (1.0 - d / half));
      uint8_t& px = img.px[(size_t)y * img.width + x];
      px = steps >= k && RampOf(px) == 0 && px != kBlack ? (uint8_t)kWhite : Lighten(px, steps);
    }
}

void LoopGlint(Image& img, const std::vector<uint8_t>& mask, double t, double half, int k) {
  double lo = 1e9, hi = -1e9;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (mask[(size_t)y * img.width + x]) lo = std::min(lo, x + y * 0.5), hi = std::max(hi, x + y * 0.5);
  if (lo > hi) return;
  const double period = hi - lo + 2 * half, pos = lo - half + t * period;
  Glint(img, mask, pos, half, k);
  Glint(img, mask, pos - period, half, k);
}

void Darken(Image& img, int k) {
  for (uint8_t& px : img.px) {
    if (RampOf(px)) px = Lighten(px, -k);
    else if (px == kWhite) px = Sh(kGreyR, 15 - k);
  }
}

bool Params::Has(const std::string& k) const {
  auto it = values_.find(k);
  if (it == values_.end()) return false;
  it->second.second = true;
  return true;
}

double Params::Num(const std::string& k, double dflt) const {
  auto it = values_.find(k);
  if (it == values_.end()) return dflt;
  it->second.second = true;
  char* end = nullptr;
  const double v = std::strtod(it->second.first.c_str(), &end);
  if (!end || *end) error_ = "not a number: " + k + "=" + it->second.first;
  return v;
}

std::string Params::Str(const std::string& k, const std::string& dflt) const {
  auto it = values_.find(k);
  if (it == values_.end()) return dflt;
  it->second.second = true;
  return it->second.first;
}

uint8_t Params::RampP(const std::string& k, uint8_t dflt) const {
  uint8_t r = dflt;
  auto it = values_.find(k);
  if (it == values_.end()) return dflt;
  it->second.second = true;
  if (!RampByName(it->second.first, &r)) error_ = "unknown colour ramp " + k + "=" + it->second.first;
  return r;
}

std::string Params::Unread() const {
  for (const auto& [k, v] : values_)
    if (!v.second) return k;
  return "";
}

}  // namespace datakit::movies
