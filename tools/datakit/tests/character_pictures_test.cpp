// Pictures of the characters to look at: a turntable of every model (8
// angles) and every animation sampled across its loop, drawn with the
// software renderer from the kit's own description and texture.
#include <gtest/gtest.h>

#include <string>

#include "platform/pngfile.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"
#include "tools/datakit/characters.h"
#include "tools/datakit/tests/soft_render.h"

namespace {

using namespace datakit;

CharacterSet LoadSet() {
  CharacterSet set;
  const std::vector<uint8_t> b = qoe_test::ReadFileBytes(qoe_test::SourceDir() + "/tools/datakit/characters.txt");
  int line = 0;
  std::string reason;
  EXPECT_TRUE(ParseCharacters(std::string(b.begin(), b.end()), &set, &line, &reason)) << line << ": " << reason;
  return set;
}

softrender::Texture DecodeTexture(const QoeTexture& t) {
  softrender::Texture out;
  JpegImage img{nullptr, 0, 0, 0};
  if (!DecodeJpeg(t.jpeg.data(), uint32_t(t.jpeg.size()), &img)) return out;
  out.w = img.width;
  out.h = img.height;
  out.rgb.assign(img.pixels, img.pixels + size_t(img.width) * img.height * 3);
  FreeVec(img.pixels);
  return out;
}

// The points of a keyframe animation at local time `local`, as the engine
// shows them: frame i's points moved towards frame i+1's.
CharMesh AnimatedMesh(const CharacterSet& set, const CharModel& m, int local) {
  const CharTiming t = CharacterTiming(m.animation);
  if (m.animation.mode == CharAnimation::kFrames) {
    for (size_t i = 0; i + 1 < t.numbers.size(); i++)
      if (t.numbers[i] == local) {
        CharMesh mesh = BuildCharacterMesh(set, m, t.poses[i]);
        const double r = t.spin[i] * M_PI / 180;
        for (QoePoint& p : mesh.points) {
          const float x = p.x, z = p.z;
          p.x = float(x * std::cos(r) + z * std::sin(r));
          p.z = float(z * std::cos(r) - x * std::sin(r));
        }
        return mesh;
      }
    return {};
  }
  for (size_t i = 0; i + 1 < t.numbers.size(); i++)
    if (t.numbers[i] <= local && local < t.numbers[i + 1]) {
      CharMesh a = BuildCharacterMesh(set, m, t.poses[i]);
      const CharMesh b = BuildCharacterMesh(set, m, t.poses[i + 1]);
      const float f = float(local - t.numbers[i]) / float(t.numbers[i + 1] - t.numbers[i]);
      for (size_t k = 0; k < a.points.size(); k++) {
        a.points[k].x += (b.points[k].x - a.points[k].x) * f;
        a.points[k].y += (b.points[k].y - a.points[k].y) * f;
        a.points[k].z += (b.points[k].z - a.points[k].z) * f;
      }
      return a;
    }
  return BuildCharacterMesh(set, m, t.poses.back());
}

constexpr int kCellW = 200, kCellH = 190;

// The scale the model is shown at: that of its first entry.
float EntryScale(const CharacterSet& set, const CharModel& m) {
  for (const CharEntry& e : set.entries)
    if (e.low == m.LowFile()) return e.scale;
  return 1;
}

void Scale(CharMesh& mesh, float s) {
  for (QoePoint& p : mesh.points) {
    p.x *= s;
    p.y *= s;
    p.z *= s;
  }
}
constexpr uint32_t kBackground = 0x8FA878;

void Sheet(const std::string& name, const std::vector<std::vector<CharMesh>>& rows, const softrender::Texture& tex,
           const std::vector<float>& yaws) {
  const int cols = int(rows.empty() ? 0 : rows[0].size());
  softrender::Canvas c(cols * kCellW, int(rows.size()) * kCellH, kBackground);
  for (size_t r = 0; r < rows.size(); r++)
    for (int k = 0; k < cols; k++) {
      const softrender::View v{yaws[size_t(k) % yaws.size()], 30, 2.6f, k * kCellW + kCellW / 2,
                               int(r) * kCellH + kCellH * 3 / 4, 0};
      softrender::DrawHex(c, v, 0x5A6E4A);
      softrender::DrawFaces(c, tex, v, rows[r][size_t(k)].points, rows[r][size_t(k)].face_points);
    }
  ASSERT_EQ(1, WritePngRGB(name.c_str(), c.rgb.data(), uint32_t(c.w), uint32_t(c.h)));
  EXPECT_TRUE(qoe_test::KeepPng(name));
}

TEST(CharacterPictures, TurntableOfEveryModelAtEightAngles) {
  const CharacterSet set = LoadSet();
  const softrender::Texture tex = DecodeTexture(CharacterTexture(set));
  ASSERT_EQ(kCharTextureSide, tex.w);
  std::vector<std::vector<CharMesh>> rows;
  int sheet = 1;
  for (const CharModel& m : set.models) {
    if (!m.written) continue;
    const int pose = m.animation.mode == CharAnimation::kStill ? -1 : m.animation.poses[0];
    CharMesh mesh = BuildCharacterMesh(set, m, pose);
    Scale(mesh, EntryScale(set, m));
    rows.push_back(std::vector<CharMesh>(8, mesh));
    if (rows.size() == 8) {
      Sheet("characters_turntable_" + std::to_string(sheet++) + ".png", rows, tex, {0, 45, 90, 135, 180, 225, 270, 315});
      rows.clear();
    }
  }
  if (!rows.empty())
    Sheet("characters_turntable_" + std::to_string(sheet) + ".png", rows, tex, {0, 45, 90, 135, 180, 225, 270, 315});
}

TEST(CharacterPictures, EveryAnimationAcrossItsLoop) {
  const CharacterSet set = LoadSet();
  const softrender::Texture tex = DecodeTexture(CharacterTexture(set));
  std::vector<std::vector<CharMesh>> rows;
  int sheet = 1;
  for (const CharModel& m : set.models) {
    if (!m.written || m.animation.mode == CharAnimation::kStill) continue;
    const CharTiming t = CharacterTiming(m.animation);
    std::vector<CharMesh> row;
    for (int k = 0; k < 8; k++) {
      int local = int(t.last) * k / 8 / 2 * 2;
      if (local == 0) local = 1;
      row.push_back(AnimatedMesh(set, m, local));
      Scale(row.back(), EntryScale(set, m));
    }
    rows.push_back(row);
    if (rows.size() == 8) {
      Sheet("characters_animation_" + std::to_string(sheet++) + ".png", rows, tex, {70});
      rows.clear();
    }
  }
  if (!rows.empty()) Sheet("characters_animation_" + std::to_string(sheet) + ".png", rows, tex, {70});
}

}  // namespace
