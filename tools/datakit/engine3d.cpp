// The 3D engine's files: qoe3d.cfg and the named textures.
#include "engine3d.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "art.h"
#include "characters.h"
#include "model_kit.h"
#include "terrain3d.h"

namespace fs = std::filesystem;

namespace datakit {
namespace {

// A picture of R, G, B bytes with an alpha byte per pixel.
struct Rgba {
  int w, h;
  std::vector<uint8_t> rgb, a;
  Rgba(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t alpha)
      : w(width), h(height), rgb(size_t(width) * height * 3), a(size_t(width) * height, alpha) {
    for (size_t i = 0; i < a.size(); i++) {
      rgb[3 * i] = r;
      rgb[3 * i + 1] = g;
      rgb[3 * i + 2] = b;
    }
  }
  void Set(int x, int y, int r, int g, int b, int alpha = 255) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    const size_t i = size_t(y) * w + x;
    rgb[3 * i] = uint8_t(std::clamp(r, 0, 255));
    rgb[3 * i + 1] = uint8_t(std::clamp(g, 0, 255));
    rgb[3 * i + 2] = uint8_t(std::clamp(b, 0, 255));
    a[i] = uint8_t(std::clamp(alpha, 0, 255));
  }
  void Fill(int x1, int y1, int x2, int y2, int r, int g, int b, int alpha = 255) {
    for (int y = y1; y <= y2; y++)
      for (int x = x1; x <= x2; x++) Set(x, y, r, g, b, alpha);
  }
  // Text in the kit's pixel font, with a dark shadow.
  void Text(int x1, int y1, int x2, int y2, const std::string& text, int scale, int r, int g, int b) {
    Image mask(w, h, 0);
    DrawTextCentred(mask, x1, y1, x2, y2, text, scale, 1, 2);
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        if (mask.Get(x, y) == 1) Set(x, y, r, g, b);
        if (mask.Get(x, y) == 2) Set(x, y, r / 4, g / 4, b / 4);
      }
  }
};

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

std::vector<uint8_t> BmpHeader(int w, int h, int bits, uint32_t palette_bytes) {
  const uint32_t row = (uint32_t(w) * bits / 8 + 3) & ~3u;
  const uint32_t data = row * uint32_t(h);
  std::vector<uint8_t> b{'B', 'M'};
  Put32(b, 54 + palette_bytes + data);
  Put32(b, 0);
  Put32(b, 54 + palette_bytes);
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h));
  Put16(b, 1);
  Put16(b, uint32_t(bits));
  Put32(b, 0);
  Put32(b, data);
  Put32(b, 2835);
  Put32(b, 2835);
  Put32(b, bits == 8 ? 256 : 0);
  Put32(b, 0);
  return b;
}

bool Save(const fs::path& p, const std::vector<uint8_t>& bytes, std::string* err) {
  return WriteKitFile(p, bytes, err);
}

bool SavePair(const fs::path& out, const std::string& name, const Rgba& img, bool alpha, std::string* err) {
  if (!Save(out / "bmp" / (name + ".bmp"), EncodeBmp24(img.w, img.h, img.rgb), err)) return false;
  return !alpha || Save(out / "bmp" / (name + "_alpha.bmp"), EncodeBmp8(img.w, img.h, img.a), err);
}

// The barrier parts on the green colour key: the two barrier bands (u 0.72
// to 0.84 and 0.86 to 0.995) as fences, further parts to the left.
Rgba TranspParts() {
  Rgba p(256, 256, 0, 255, 0, 0);
  for (int y = 0; y < 256; y++) {
    const int shade = 40 * ((y / 16) % 2);
    for (int x = 184; x <= 215; x++) {
      const bool rail = (y % 32) < 6, post = (x - 184) % 16 < 4;
      if (rail || post) p.Set(x, y, 200 - shade, 160 - shade, 60);
    }
    for (int x = 220; x <= 254; x++) {
      const bool rail = (y % 24) < 5, post = (x - 220) % 12 < 3;
      if (rail || post) p.Set(x, y, 190 - shade, 40, 30);
    }
  }
  // Stones and planks for other parts.
  for (int i = 0; i < 6; i++) p.Fill(8 + 28 * i, 8, 28 + 28 * i, 40, 120 + 10 * i, 110 + 8 * i, 100);
  for (int i = 0; i < 5; i++) p.Fill(8, 60 + 24 * i, 170, 74 + 24 * i, 140 - 8 * i, 96 - 6 * i, 50);
  return p;
}

// The logo on the red colour key: the title plate (rows 0 to 149), the
// authors' plate (rows 151 to 254) whose row 154 starts with the night colour.
Rgba Logo() {
  Rgba p(256, 256, 255, 0, 0, 0);
  for (int y = 10; y < 140; y++)
    for (int x = 8; x < 248; x++) p.Set(x, y, 30 + y / 4, 24 + y / 5, 60 + y / 3);
  for (int i = 0; i < 3; i++) {
    p.Fill(8 + i, 10 + i, 247 - i, 10 + i, 220, 180, 60);
    p.Fill(8 + i, 139 - i, 247 - i, 139 - i, 220, 180, 60);
    p.Fill(8 + i, 10, 8 + i, 139, 220, 180, 60);
    p.Fill(247 - i, 10, 247 - i, 139, 220, 180, 60);
  }
  // A quill across the plate.
  for (int t = 0; t < 90; t++) {
    const int x = 40 + t * 2, y = 120 - t;
    for (int k = -7 + t / 13; k <= 7 - t / 13; k++) {
      p.Set(x + k / 2, y + k, 235, 230, 215);
      p.Set(x + k / 2 + 1, y + k, 235, 230, 215);
    }
    p.Set(x, y, 120, 90, 40);
  }
  p.Text(8, 30, 247, 70, "QUILL OF", 3, 250, 220, 120);
  p.Text(8, 72, 247, 112, "ELMOR", 4, 250, 220, 120);
  for (int y = 151; y < 255; y++)
    for (int x = 16; x < 240; x++) p.Set(x, y, 60, 50, 40);
  // Row 154: the night colours, a ramp of dark blues.
  for (int x = 0; x < 256; x++) p.Set(x, 154, 40 + x / 8, 50 + x / 8, 110 + x / 4);
  p.Text(16, 165, 239, 195, "3D ENGINE", 2, 230, 210, 160);
  p.Text(16, 205, 239, 235, "THE QOE TEAM", 2, 200, 190, 150);
  return p;
}

// The fire: column 11 rows 0 to 127 is the palette from cold (black,
// transparent) to hot (white-yellow, opaque); the rest a flame picture.
Rgba Fire() {
  Rgba p(128, 128, 0, 0, 0, 0);
  for (int y = 0; y < 128; y++)
    for (int x = 0; x < 128; x++) {
      const double heat = double(y) / 127.0;
      const double flame = std::exp(-std::pow((x - 64) / (18.0 + y * 0.25), 2.0)) * heat;
      const int r = int(255 * std::min(1.0, flame * 2.0)), g = int(255 * std::max(0.0, flame * 1.6 - 0.5));
      p.Set(x, y, r, g, int(255 * std::max(0.0, flame * 2 - 1.5)), int(255 * std::min(1.0, flame * 1.5)));
    }
  for (int y = 0; y < 128; y++) {
    const double h = y / 127.0;
    p.Set(11, y, int(255 * std::min(1.0, h * 2.2)), int(255 * std::clamp(h * 2.0 - 0.6, 0.0, 1.0)),
          int(255 * std::clamp(h * 3.0 - 2.0, 0.0, 1.0)), int(255 * std::min(1.0, h * 1.8)));
  }
  return p;
}

// The overlay: the 16-pixel border strip at the left (rows 0 to 511), the
// two frames of the map view (from (22, 134) 56 x 206 and (22, 337) 175 x
// 175) and the two panels of the second overlay; the rest clear.
Rgba Gui() {
  Rgba p(512, 512, 255, 0, 0, 0);
  for (int y = 0; y < 512; y++)
    for (int x = 0; x < 16; x++) {
      const int edge = std::min(x, 15 - x);
      p.Set(x, y, 90 + 20 * edge, 60 + 12 * edge, 30 + 4 * edge);
    }
  auto frame = [&](int x0, int y0, int w, int h, int border) {
    for (int y = y0; y < y0 + h; y++)
      for (int x = x0; x < x0 + w; x++) {
        const int d = std::min(std::min(x - x0, x0 + w - 1 - x), std::min(y - y0, y0 + h - 1 - y));
        if (d < border) p.Set(x, y, 150 + 10 * d, 110 + 8 * d, 50, 255);
        else p.Set(x, y, 20, 20, 30, 96);  // a dark, half-clear inside
      }
  };
  frame(22, 134, 56, 206, 6);
  frame(22, 337, 175, 175, 8);
  frame(106, 0, 406, 236, 8);
  frame(200, 236, 312, 138, 8);
  p.Text(106, 8, 511, 40, "QUILL OF ELMOR", 3, 240, 210, 130);
  return p;
}

// Clouds: soft white shapes on a blue sky; the alpha follows the clouds.
Rgba Clouds() {
  Rgba p(256, 256, 110, 150, 210, 0);
  for (int y = 0; y < 256; y++)
    for (int x = 0; x < 256; x++) {
      double v = 0;
      for (int k = 1; k <= 4; k++)
        v += std::sin(x * 0.05 * k + k * 1.7 + std::sin(y * 0.03 * k)) * std::cos(y * 0.045 * k + k) / k;
      const double c = std::clamp(v * 0.8 + 0.3, 0.0, 1.0);
      const int sky = 150 + (y % 128) / 3;
      p.Set(x, y, int(110 + c * 140), int(sky * (1 - c) + 245 * c), int(210 + c * 40), int(60 + c * 195));
    }
  return p;
}

}  // namespace

std::vector<uint8_t> EncodeBmp24(int w, int h, const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> b = BmpHeader(w, h, 24, 0);
  const size_t row = (size_t(w) * 3 + 3) & ~size_t(3);
  for (int y = h - 1; y >= 0; y--) {
    const uint8_t* s = rgb.data() + size_t(y) * w * 3;
    for (int x = 0; x < w; x++) {
      b.push_back(s[3 * x + 2]);
      b.push_back(s[3 * x + 1]);
      b.push_back(s[3 * x]);
    }
    for (size_t k = size_t(w) * 3; k < row; k++) b.push_back(0);
  }
  return b;
}

std::vector<uint8_t> EncodeBmp8(int w, int h, const std::vector<uint8_t>& grey) {
  std::vector<uint8_t> b = BmpHeader(w, h, 8, 1024);
  for (int i = 0; i < 256; i++) {
    for (int k = 0; k < 3; k++) b.push_back(uint8_t(i));
    b.push_back(0);
  }
  const size_t row = (size_t(w) + 3) & ~size_t(3);
  for (int y = h - 1; y >= 0; y--) {
    b.insert(b.end(), grey.begin() + ptrdiff_t(y) * w, grey.begin() + ptrdiff_t(y + 1) * w);
    for (size_t k = size_t(w); k < row; k++) b.push_back(0);
  }
  return b;
}

std::string Engine3DConfig() {
  return
      "# qoe3d.cfg - settings of the 3D map view of Quill of Elmor\n"
      "# Each setting is a key and its value, separated by blanks. Booleans are\n"
      "# TRUE or FALSE; NONE keeps the built-in value. These are the built-in values.\n"
      "\n"
      "Engine.MipMapping      TRUE\n"
      "Engine.AntiAlias       TRUE\n"
      "Engine.Filtering       TRUE\n"
      "Engine.HalfTextures    2\n"
      "Engine.RegroupTextures FALSE\n"
      "Engine.CorrectRatio    TRUE\n"
      "Engine.FacesCulling    FALSE\n"
      "\n"
      "Map.OldLook2D          FALSE\n"
      "Map.ShowInfos          TRUE\n"
      "Map.NightON            FALSE\n"
      "Map.SkyON              FALSE\n"
      "Map.UseQOEmaps         TRUE\n"
      "Map.UseAnimations      TRUE\n"
      "Map.UseHighPoly        TRUE\n"
      "Map.ShowParticles      TRUE\n"
      "Map.ShowBarriers       TRUE\n"
      "\n"
      "Engine.Rotation        38.0\n"
      "Engine.Scale           0.3\n"
      "Engine.ScaleMin        0.3\n"
      "Engine.ScaleMax        5.0\n"
      "Engine.Flip            30.0\n"
      "Engine.FlipMin         30.0\n"
      "Engine.FlipMax         90.0\n"
      "Engine.KeySpeedForScaleMin   40.0\n"
      "Engine.KeySpeedForScaleMax   0.5\n"
      "Engine.MouseSpeedForScaleMin 40.0\n"
      "Engine.MouseSpeedForScaleMax 0.5\n"
      "Engine.Perspective     0.36\n"
      "\n"
      "Map.HighPolyScale      1.0\n"
      "Map.HighWaveScale      1.0\n"
      "Map.SnowSpeed          1.0\n"
      "Map.RainSpeed          4.0\n"
      "Map.RainHigh           12.0\n"
      "Map.OwnerNull          -1\n"
      "Map.OwnerUser          0\n"
      "# The season: SPRING SUMMER WINTER OLD QOE ANIM; NONE keeps the built-in one\n"
      "Map.ActualSeason       NONE\n"
      "\n"
      "# Fog mode: 0 off, 1 linear, 2 exponential, 3 squared exponential\n"
      "Engine.FogMode         1\n"
      "Engine.FogStart        0.8\n"
      "Engine.FogDensity      0.8\n"
      "Engine.FogRGBA         128 173 192\n" +
         TerrainHexagonCommands();
}

std::string CharacterCommands(const CharacterSet& set) {
  std::string text =
      "\n# The figures of the map: figure type, name, state, still model, animated\n"
      "# model (NONE: none; ships get their rocking from the engine), x y z scale.\n";
  char line[400];
  for (const CharEntry& e : set.entries) {
    std::snprintf(line, sizeof line, "%-13s %4d %-26s %-6s %-26s %-28s %.1f %.1f %.1f %.2f\n", e.command.c_str(),
                  e.type, e.name.c_str(), e.state.c_str(), e.low.c_str(), e.high.c_str(), double(e.x), double(e.y),
                  double(e.z), double(e.scale));
    text += line;
  }
  return text;
}

bool MakeCharacterModels(const fs::path& out, const CharacterSet& set, std::string* err) {
  const QoeTexture texture = CharacterTexture(set);
  for (const CharModel& m : set.models) {
    if (!m.written) continue;
    if (!Save(out / "qoe-anims" / m.LowFile(), WriteQoe(CharacterLowModel(set, m, texture), true), err)) return false;
    if (m.animation.mode != CharAnimation::kStill &&
        !Save(out / "qoe-anims" / m.HighFile(), WriteQoe(CharacterHighModel(set, m, texture), true), err))
      return false;
  }
  return true;
}

bool MakeEngine3DFiles(const fs::path& out, const CharacterSet& characters, std::string* err) {
  const std::string cfg = Engine3DConfig() + CharacterCommands(characters);
  if (!Save(out / "qoe3d.cfg", std::vector<uint8_t>(cfg.begin(), cfg.end()), err)) return false;
  if (!MakeCharacterModels(out, characters, err)) return false;
  return SavePair(out, "transp_parts", TranspParts(), false, err) && SavePair(out, "qoe_logo", Logo(), false, err) &&
         SavePair(out, "fire", Fire(), true, err) && SavePair(out, "gui512x512", Gui(), true, err) &&
         SavePair(out, "clouds", Clouds(), true, err);
}

}  // namespace datakit
