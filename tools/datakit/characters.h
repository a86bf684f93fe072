// The 3D map's characters: figures, ships and map objects as model files
// under "qoe-anims/", made from the readable description characters.txt
// (parts made of simple solids on a skeleton of joints, poses, animations)
// and the character commands of qoe3d.cfg. Format: docs/gl3d-characters.md.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "qoe_writer.h"

namespace datakit {

// A material: a grey pattern of the shared character texture tinted by a colour.
struct CharMaterial {
  std::string name;
  int pattern = 0;  // cell of the texture (kCharPatterns)
  uint8_t rgb[3] = {255, 255, 255};
};

struct CharJoint {
  std::string name;
  int parent = -1;
  float pivot[3] = {0, 0, 0};
};

// A solid on a joint, in model coordinates at rest. Box: centre, size,
// rotation (degrees). Rod: end a, end b, radius at a, at b, sides. Ball:
// centre, radii, sides. Quad and tri: the corners (two-sided flat faces).
struct CharSolid {
  enum Kind { kBox, kRod, kBall, kQuad, kTri } kind = kBox;
  int joint = 0, material = 0, sides = 0;
  float v[12] = {};
};

// A joint's change in a pose: rotation about its pivot (degrees, x then y
// then z), a size factor about the pivot, then a move.
struct CharJointPose {
  int joint = 0;
  float turn[3] = {0, 0, 0}, move[3] = {0, 0, 0}, size = 1;
};
struct CharPose {
  std::string name;
  std::vector<CharJointPose> changes;
};

// keys: a keyframe animation over the poses (the first pose again at the
// end, so the loop joins); frames: a frame animation showing the poses in
// turn, each drawn frame its own, optionally spinning about the vertical.
struct CharAnimation {
  enum Mode { kStill, kKeys, kFrames } mode = kStill;
  float seconds = 0;
  float spin = 0;  // degrees per loop (frames only)
  std::vector<int> poses;
};

struct CharModel {
  std::string name;
  int line = 0;
  bool written = true;  // false: a template other models use
  std::vector<CharJoint> joints;
  std::vector<CharSolid> solids;
  std::vector<CharPose> poses;
  CharAnimation animation;
  // The file names: name + ".qoe" (still) and name + "_anim.qoe" (animated).
  std::string LowFile() const { return name + ".qoe"; }
  std::string HighFile() const { return animation.mode == CharAnimation::kStill ? "" : name + "_anim.qoe"; }
};

// A character command of qoe3d.cfg.
struct CharEntry {
  std::string command;  // SetCharacter or XSetCharacter
  int type = 0;
  std::string name, state, low, high;
  float x = 0, y = 0, z = 0, scale = 1;
  int line = 0;
};

struct CharacterSet {
  std::vector<CharMaterial> materials;
  std::vector<CharModel> models;
  std::vector<CharEntry> entries;
  const CharModel* Find(const std::string& name) const;
};

// The texture every character shares: 256 x 256, 24 bits, an 8 x 8 grid of
// 32 x 32 blocks, one per material in description order, each holding the
// material's pattern (kCharPatterns) in its colour at kCharShades light
// levels (16 x 16 quarters). The colours are in the texture since the scene
// set-up gives every object's points one colour.
constexpr int kCharTextureSide = 256;
constexpr int kCharMaterials = 64;
constexpr int kCharShades = 4;
extern const char* const kCharPatterns[16];
extern const float kCharShadeLevels[kCharShades];
constexpr const char* kCharTextureName = "characters";
constexpr const char* kCharTextureFile = "characters.jpg";
QoeTexture CharacterTexture(const CharacterSet& set);  // with its JPEG picture

// Parses a description; false with the line number and the reason.
bool ParseCharacters(const std::string& text, CharacterSet* set, int* line, std::string* reason);

// One pose of a model as triangle-fan faces: corners in order, per face.
struct CharMesh {
  std::vector<QoePoint> points;          // every face's corners, face after face
  std::vector<uint16_t> face_points;     // corner count per face
};
CharMesh BuildCharacterMesh(const CharacterSet& set, const CharModel& model, int pose);

// The model files, each carrying the texture.
QoeModel CharacterLowModel(const CharacterSet& set, const CharModel& model, const QoeTexture& texture);
QoeModel CharacterHighModel(const CharacterSet& set, const CharModel& model, const QoeTexture& texture);

// The time stamps of an animation (the engine's frame time advances by 2
// each drawn frame, 60 frames a second): its frames' numbers and the last
// frame number.
struct CharTiming {
  std::vector<int32_t> numbers;
  std::vector<int> poses;          // pose per frame
  std::vector<float> spin;         // degrees about the vertical per frame
  uint32_t last = 0;
};
CharTiming CharacterTiming(const CharAnimation& animation);

}  // namespace datakit
