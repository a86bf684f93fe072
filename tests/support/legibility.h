// Measures of how well a text reads on a rendered screen: the relative
// luminance of a colour, the contrast ratio of two, and the contrast of a
// text against its ground inside a rectangle of a screenshot (0x00RRGGBB
// pixels, as ReadPngRGB gives them). A text counts as legible at 3 : 1.
// Header only.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <vector>

namespace qoe_test {

// Relative luminance of a 0x00RRGGBB colour (sRGB).
inline double Luminance(uint32_t rgb) {
  auto lin = [](uint32_t c) {
    const double v = c / 255.0;
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(rgb >> 16 & 255) + 0.7152 * lin(rgb >> 8 & 255) + 0.0722 * lin(rgb & 255);
}

// Contrast ratio of two colours, 1 .. 21.
inline double ContrastOf(uint32_t a, uint32_t b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// What TextContrast found in a rectangle.
struct TextInk {
  uint32_t ground = 0, ink = 0;  // the most common colour and the text's
  int groundCount = 0, inkCount = 0;
  double contrast = 0;  // 0 when no text was found
};

// The text in (x1, y1)-(x2, y2) of a width-wide screenshot: its ground is
// the rectangle's most common colour; its ink the colour of the most
// pixels among the rest (an outline or a shadow has fewer). Only colours
// of at least min_ink pixels count as ink.
inline TextInk TextContrast(const std::vector<uint32_t>& px, uint32_t width, int x1, int y1, int x2, int y2,
                            int min_ink = 6) {
  std::map<uint32_t, int> count;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) {
      const size_t i = (size_t)y * width + (size_t)x;
      if (x >= 0 && y >= 0 && (uint32_t)x < width && i < px.size()) count[px[i] & 0xFFFFFF]++;
    }
  TextInk t;
  for (const auto& [c, n] : count)
    if (n > t.groundCount) {
      t.ground = c;
      t.groundCount = n;
    }
  for (const auto& [c, n] : count)
    if (c != t.ground && n >= min_ink && n > t.inkCount) {
      t.ink = c;
      t.inkCount = n;
    }
  if (t.inkCount) t.contrast = ContrastOf(t.ink, t.ground);
  return t;
}

}  // namespace qoe_test
