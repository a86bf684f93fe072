// The characters' description reader and model builder.
#include "characters.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "model_kit.h"

namespace datakit {

const char* const kCharPatterns[16] = {"plain", "cloth", "leather", "metal", "wood", "skin", "hair", "canvas",
                                       "mail",  "stone", "rope",    "fire",  "glow", "water", "gold", "scales"};
// Brightest first: light on the face, then turning away from it.
const float kCharShadeLevels[kCharShades] = {1.0f, 0.86f, 0.72f, 0.58f};

const CharModel* CharacterSet::Find(const std::string& name) const {
  for (const CharModel& m : models)
    if (m.name == name) return &m;
  return nullptr;
}

namespace {

// ---------------------------------------------------------------------------
// Reading.

struct ParseError {
  std::string reason;
};

std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> w;
  std::istringstream in(line.substr(0, line.find('#')));
  std::string t;
  while (in >> t) w.push_back(t);
  return w;
}

float Number(const std::string& t, float lo, float hi) {
  char* end = nullptr;
  const double v = std::strtod(t.c_str(), &end);
  if (t.empty() || *end || !std::isfinite(v)) throw ParseError{"'" + t + "' is no number"};
  if (v < lo || v > hi)
    throw ParseError{"'" + t + "' is outside " + std::to_string(lo) + " .. " + std::to_string(hi)};
  return float(v);
}

constexpr float kFar = 200;  // no coordinate of a character lies farther out

void Need(const std::vector<std::string>& w, size_t n, const char* usage) {
  if (w.size() != n) throw ParseError{std::string("expected: ") + usage};
}

int FindJoint(const CharModel& m, const std::string& name) {
  for (size_t i = 0; i < m.joints.size(); i++)
    if (m.joints[i].name == name) return int(i);
  throw ParseError{"no joint '" + name + "' in model " + m.name};
}

int FindMaterial(const CharacterSet& set, const std::string& name) {
  for (size_t i = 0; i < set.materials.size(); i++)
    if (set.materials[i].name == name) return int(i);
  throw ParseError{"no material '" + name + "'"};
}

CharPose& PoseNamed(CharModel& m, const std::string& name) {
  for (CharPose& p : m.poses)
    if (p.name == name) return p;
  if (m.poses.size() >= 64) throw ParseError{"more than 64 poses"};
  m.poses.push_back({name, {}});
  return m.poses.back();
}

CharJointPose& Change(CharPose& p, int joint) {
  for (CharJointPose& c : p.changes)
    if (c.joint == joint) return c;
  p.changes.push_back({});
  p.changes.back().joint = joint;
  return p.changes.back();
}

void AddJoint(CharModel& m, const std::string& name, int parent, const float pivot[3]) {
  for (const CharJoint& j : m.joints)
    if (j.name == name) throw ParseError{"joint '" + name + "' is defined twice"};
  if (m.joints.size() >= 64) throw ParseError{"more than 64 joints"};
  CharJoint j;
  j.name = name;
  j.parent = parent;
  std::copy(pivot, pivot + 3, j.pivot);
  m.joints.push_back(j);
}

// Copies a template into the model: its root becomes joint `prefix` under
// `parent` (or is `parent` itself for the prefix "-"), every point scaled by
// s and moved by d.
void UseTemplate(CharModel& m, const CharModel& t, const std::string& prefix, int parent, const float d[3], float s) {
  std::vector<int> map(t.joints.size());
  auto at = [&](const float p[3], float* out) {
    for (int k = 0; k < 3; k++) out[k] = p[k] * s + d[k];
  };
  for (size_t i = 0; i < t.joints.size(); i++) {
    const CharJoint& j = t.joints[i];
    if (i == 0) {
      if (prefix == "-") {
        map[0] = parent;
        continue;
      }
      AddJoint(m, prefix, parent, d);
    } else {
      float p[3];
      at(j.pivot, p);
      AddJoint(m, prefix == "-" ? j.name : prefix + "." + j.name, map[size_t(j.parent)], p);
    }
    map[i] = int(m.joints.size()) - 1;
  }
  for (CharSolid sd : t.solids) {
    sd.joint = map[size_t(sd.joint)];
    switch (sd.kind) {
      case CharSolid::kBox:
        at(sd.v, sd.v);
        for (int k = 3; k < 6; k++) sd.v[k] *= s;
        break;
      case CharSolid::kRod:
        at(sd.v, sd.v);
        at(sd.v + 3, sd.v + 3);
        sd.v[6] *= s;
        sd.v[7] *= s;
        break;
      case CharSolid::kBall:
        at(sd.v, sd.v);
        for (int k = 3; k < 6; k++) sd.v[k] *= s;
        break;
      case CharSolid::kQuad:
      case CharSolid::kTri:
        for (int c = 0; c < (sd.kind == CharSolid::kQuad ? 4 : 3); c++) at(sd.v + 3 * c, sd.v + 3 * c);
        break;
    }
    if (m.solids.size() >= 400) throw ParseError{"more than 400 solids"};
    m.solids.push_back(sd);
  }
  for (const CharPose& p : t.poses) {
    CharPose& into = PoseNamed(m, p.name);
    for (CharJointPose c : p.changes) {
      c.joint = map[size_t(c.joint)];
      for (float& v : c.move) v *= s;
      CharJointPose& to = Change(into, c.joint);
      for (int k = 0; k < 3; k++) {
        to.turn[k] += c.turn[k];
        to.move[k] += c.move[k];
      }
      to.size *= c.size;
    }
  }
}

bool IsConfigKey(const std::string& t) {
  return t.rfind("Engine.", 0) == 0 || t.rfind("Map.", 0) == 0 || t == "SetCharacter" || t == "XSetCharacter" ||
         t == "SetHexagone" || t == "XSetHexagone";
}

const char* const kStates[] = {"NONE", "LAZING", "GUARDING", "ATTACK", "WALK", "DEATH"};

void CheckEntry(const CharacterSet& set, const CharEntry& e) {
  for (const std::string* t : {&e.name, &e.state, &e.low, &e.high})
    if (IsConfigKey(*t)) throw ParseError{"'" + *t + "' equals a key of qoe3d.cfg"};
  if (e.name.size() > 39) throw ParseError{"name '" + e.name + "' is longer than 39 characters"};
  if (std::find(std::begin(kStates), std::end(kStates), e.state) == std::end(kStates))
    throw ParseError{"state '" + e.state + "' would not be stored"};
  const CharModel* low = nullptr;
  for (const CharModel& m : set.models)
    if (m.written && m.LowFile() == e.low) low = &m;
  if (!low) throw ParseError{"no model makes the file '" + e.low + "'"};
  if (e.high != "NONE") {
    bool found = false;
    for (const CharModel& m : set.models)
      if (m.written && (m.HighFile() == e.high || m.LowFile() == e.high)) found = true;
    if (!found) throw ParseError{"no model makes the file '" + e.high + "'"};
  }
  for (const std::string* f : {&e.low, &e.high})
    if (f->size() == 4 && *f != "NONE") throw ParseError{"a file name of 4 characters counts as none"};
  if (e.name.find("SCHIFF") != std::string::npos) {
    if (e.high != "NONE") throw ParseError{"a ship's high file is made by the engine: NONE"};
    if (low->animation.mode != CharAnimation::kStill) throw ParseError{"a ship's model is still"};
    for (const CharEntry& o : set.entries)
      if (&o != &e && o.low == e.low && o.name.find("SCHIFF") != std::string::npos)
        throw ParseError{"ship entries " + o.name + " and " + e.name + " share '" + e.low + "' (it would turn twice)"};
  }
}

void FinishModel(const CharacterSet& set, CharModel& m, const std::vector<std::string>& pose_names) {
  CharAnimation& a = m.animation;
  for (const std::string& n : pose_names) {
    auto it = std::find_if(m.poses.begin(), m.poses.end(), [&](const CharPose& p) { return p.name == n; });
    if (it == m.poses.end()) throw ParseError{"no pose '" + n + "' in model " + m.name};
    a.poses.push_back(int(it - m.poses.begin()));
  }
  if (m.written && m.solids.empty()) throw ParseError{"model " + m.name + " has no parts"};
  if (a.mode == CharAnimation::kKeys && (a.poses.size() < 3 || a.poses.size() > 7))
    throw ParseError{"keys takes 3 to 7 poses (4 to 8 keyframes with the first again)"};
  if (a.mode == CharAnimation::kFrames && a.poses.empty()) throw ParseError{"frames takes poses"};
  // Every keyframe must have the points of the first, in the same order.
  if (m.written && a.mode != CharAnimation::kStill) {
    const size_t n = BuildCharacterMesh(set, m, a.poses[0]).points.size();
    for (int p : a.poses)
      if (BuildCharacterMesh(set, m, p).points.size() != n)
        throw ParseError{"pose " + m.poses[size_t(p)].name + " has another number of points"};
  }
}

void ParseLine(CharacterSet& set, CharModel*& model, std::vector<std::string>& pose_names, int& pose,
               const std::vector<std::string>& w, int line) {
  const std::string& op = w[0];
  auto xyz = [&](size_t i, float* out) {
    for (int k = 0; k < 3; k++) out[k] = Number(w[i + size_t(k)], -kFar, kFar);
  };
  if (op == "material") {
    Need(w, 6, "material <name> <pattern> <red> <green> <blue>");
    CharMaterial mt;
    mt.name = w[1];
    auto p = std::find(std::begin(kCharPatterns), std::end(kCharPatterns), w[2]);
    if (p == std::end(kCharPatterns)) throw ParseError{"no pattern '" + w[2] + "'"};
    mt.pattern = int(p - std::begin(kCharPatterns));
    for (int k = 0; k < 3; k++) mt.rgb[k] = uint8_t(Number(w[3 + size_t(k)], 0, 255));
    for (const CharMaterial& o : set.materials)
      if (o.name == mt.name) throw ParseError{"material '" + mt.name + "' is defined twice"};
    if (set.materials.size() >= size_t(kCharMaterials))
      throw ParseError{"more than " + std::to_string(kCharMaterials) + " materials (the texture holds no more)"};
    set.materials.push_back(mt);
    return;
  }
  if (op == "model" || op == "template") {
    Need(w, 2, "model <name>");
    if (model) throw ParseError{"model " + model->name + " has no end"};
    if (set.Find(w[1])) throw ParseError{"model '" + w[1] + "' is defined twice"};
    if (w[1].empty() || w[1].size() > 40 || w[1].find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") !=
                                                    std::string::npos)
      throw ParseError{"a model name is 1 to 40 lower-case letters, digits and '_'"};
    set.models.push_back({});
    model = &set.models.back();
    model->name = w[1];
    model->line = line;
    model->written = op == "model";
    const float zero[3] = {0, 0, 0};
    AddJoint(*model, "root", -1, zero);
    pose_names.clear();
    pose = -1;
    return;
  }
  if (op == "entry") {
    Need(w, 11, "entry <SetCharacter|XSetCharacter> <type> <name> <state> <low> <high> <x> <y> <z> <scale>");
    if (model) throw ParseError{"entry inside model " + model->name};
    CharEntry e;
    e.command = w[1];
    if (e.command != "SetCharacter" && e.command != "XSetCharacter") throw ParseError{"no command '" + w[1] + "'"};
    e.type = int(Number(w[2], 0, 2002));
    if (float(e.type) != Number(w[2], 0, 2002)) throw ParseError{"the figure type is a whole number"};
    e.name = w[3];
    e.state = w[4];
    e.low = w[5];
    e.high = w[6];
    e.x = Number(w[7], -kFar, kFar);
    e.y = Number(w[8], -kFar, kFar);
    e.z = Number(w[9], -kFar, kFar);
    e.scale = Number(w[10], 0.05f, 20);
    e.line = line;
    if (set.entries.size() >= 150) throw ParseError{"the engine keeps 150 entries"};
    set.entries.push_back(e);
    return;
  }
  if (!model) throw ParseError{"'" + op + "' outside a model"};
  CharModel& m = *model;
  if (op == "end") {
    Need(w, 1, "end");
    FinishModel(set, m, pose_names);
    model = nullptr;
    return;
  }
  if (op == "joint") {
    Need(w, 6, "joint <name> <parent> <x> <y> <z>");
    if (w[1].find('.') != std::string::npos) throw ParseError{"a joint name has no '.'"};
    float p[3];
    xyz(3, p);
    AddJoint(m, w[1], FindJoint(m, w[2]), p);
    return;
  }
  if (op == "box" || op == "rod" || op == "ball" || op == "quad" || op == "tri") {
    CharSolid s;
    size_t n = 0;
    if (op == "box") {
      s.kind = CharSolid::kBox;
      if (w.size() != 9 && w.size() != 12) throw ParseError{"expected: box <joint> <material> cx cy cz sx sy sz [rx ry rz]"};
      n = w.size() - 3;
    } else if (op == "rod") {
      s.kind = CharSolid::kRod;
      Need(w, 12, "rod <joint> <material> ax ay az bx by bz <radius a> <radius b> <sides>");
      n = 8;
      s.sides = int(Number(w[11], 3, 16));
    } else if (op == "ball") {
      s.kind = CharSolid::kBall;
      Need(w, 10, "ball <joint> <material> cx cy cz rx ry rz <sides>");
      n = 6;
      s.sides = int(Number(w[9], 4, 16)) & ~1;
    } else if (op == "quad") {
      s.kind = CharSolid::kQuad;
      Need(w, 15, "quad <joint> <material> and four corners x y z");
      n = 12;
    } else {
      s.kind = CharSolid::kTri;
      Need(w, 12, "tri <joint> <material> and three corners x y z");
      n = 9;
    }
    s.joint = FindJoint(m, w[1]);
    s.material = FindMaterial(set, w[2]);
    for (size_t k = 0; k < n; k++) s.v[k] = Number(w[3 + k], -kFar * 2, kFar * 2);
    if (s.kind == CharSolid::kBox && (s.v[3] <= 0 || s.v[4] <= 0 || s.v[5] <= 0))
      throw ParseError{"a box has a positive size"};
    if (s.kind == CharSolid::kRod && (s.v[6] < 0 || s.v[7] < 0 || s.v[6] + s.v[7] <= 0 ||
                                      (s.v[0] == s.v[3] && s.v[1] == s.v[4] && s.v[2] == s.v[5])))
      throw ParseError{"a rod has two different ends and a radius"};
    if (s.kind == CharSolid::kBall && (s.v[3] <= 0 || s.v[4] <= 0 || s.v[5] <= 0))
      throw ParseError{"a ball has positive radii"};
    if (m.solids.size() >= 400) throw ParseError{"more than 400 solids"};
    m.solids.push_back(s);
    return;
  }
  if (op == "use") {
    Need(w, 8, "use <template> <prefix|-> <parent joint> dx dy dz <scale>");
    const CharModel* t = set.Find(w[1]);
    if (!t || t == model) throw ParseError{"no model '" + w[1] + "' to use"};
    float d[3];
    xyz(4, d);
    UseTemplate(m, *t, w[2], FindJoint(m, w[3]), d, Number(w[7], 0.05f, 20));
    return;
  }
  if (op == "recolour") {
    Need(w, 3, "recolour <material> <material>");
    const int from = FindMaterial(set, w[1]), to = FindMaterial(set, w[2]);
    for (CharSolid& s : m.solids)
      if (s.material == from) s.material = to;
    return;
  }
  if (op == "pose") {
    Need(w, 2, "pose <name>");
    PoseNamed(m, w[1]);
    for (size_t i = 0; i < m.poses.size(); i++)
      if (m.poses[i].name == w[1]) pose = int(i);
    return;
  }
  if (op == "turn" || op == "move" || op == "size") {
    if (pose < 0) throw ParseError{"'" + op + "' before a pose"};
    if (op == "size") Need(w, 3, "size <joint> <factor>");
    else Need(w, 5, op == "turn" ? "turn <joint> rx ry rz" : "move <joint> dx dy dz");
    CharJointPose& c = Change(m.poses[size_t(pose)], FindJoint(m, w[1]));
    if (op == "size") {
      c.size *= Number(w[2], 0, 20);
      return;
    }
    float v[3];
    xyz(2, v);
    for (int k = 0; k < 3; k++) (op == "turn" ? c.turn : c.move)[k] += v[k];
    return;
  }
  if (op == "keys" || op == "frames") {
    if (m.animation.mode != CharAnimation::kStill) throw ParseError{"model " + m.name + " has two animations"};
    if (w.size() < 3) throw ParseError{"expected: " + op + " <seconds> [spin <degrees>] <poses...>"};
    m.animation.mode = op == "keys" ? CharAnimation::kKeys : CharAnimation::kFrames;
    m.animation.seconds = Number(w[1], 1, 4);
    size_t i = 2;
    if (op == "frames" && w[2] == "spin") {
      if (w.size() < 5) throw ParseError{"expected: frames <seconds> spin <degrees> <poses...>"};
      m.animation.spin = Number(w[3], -3600, 3600);
      i = 4;
    }
    pose_names.assign(w.begin() + long(i), w.end());
    return;
  }
  throw ParseError{"unknown line '" + op + "'"};
}

// ---------------------------------------------------------------------------
// Geometry.

struct V3 {
  float x, y, z;
};
V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
V3 Cross(V3 a, V3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
V3 Unit(V3 a) {
  const float l = std::sqrt(Dot(a, a));
  return l > 1e-9f ? a * (1.0f / l) : V3{0, 1, 0};
}

// An affine map: p -> r p + t (r row-major 3 x 3).
struct Affine {
  float r[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  V3 t{0, 0, 0};
  V3 Apply(V3 p) const {
    return {r[0] * p.x + r[1] * p.y + r[2] * p.z + t.x, r[3] * p.x + r[4] * p.y + r[5] * p.z + t.y,
            r[6] * p.x + r[7] * p.y + r[8] * p.z + t.z};
  }
};
// a after b.
Affine Then(const Affine& a, const Affine& b) {
  Affine c;
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) c.r[3 * i + j] = a.r[3 * i] * b.r[j] + a.r[3 * i + 1] * b.r[3 + j] + a.r[3 * i + 2] * b.r[6 + j];
  c.t = a.Apply(b.t);
  return c;
}
// Rotation about x, then y, then z (degrees).
Affine Rotation(const float deg[3]) {
  Affine out;
  for (int axis = 0; axis < 3; axis++) {
    const double t = deg[axis] * M_PI / 180.0;
    const float c = float(std::cos(t)), s = float(std::sin(t));
    Affine m;
    if (axis == 0) m = {{1, 0, 0, 0, c, -s, 0, s, c}, {0, 0, 0}};
    if (axis == 1) m = {{c, 0, s, 0, 1, 0, -s, 0, c}, {0, 0, 0}};
    if (axis == 2) m = {{c, -s, 0, s, c, 0, 0, 0, 1}, {0, 0, 0}};
    out = Then(m, out);
  }
  return out;
}

const V3 kLight = Unit({-0.35f, 1.0f, 0.55f});

struct MeshBuilder {
  const CharacterSet& set;
  CharMesh mesh;
  // Adds one face; closed: the face is turned to face away from `inside`.
  void Face(std::vector<V3> c, const CharSolid& s, const Affine& to, bool closed, V3 inside) {
    for (V3& p : c) p = to.Apply(p);
    inside = to.Apply(inside);
    V3 n{0, 0, 0}, mid{0, 0, 0};
    for (size_t i = 0; i < c.size(); i++) {
      const V3 a = c[i], b = c[(i + 1) % c.size()];
      n = n + V3{(a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y)};
      mid = mid + a;
    }
    mid = mid * (1.0f / float(c.size()));
    if (closed && Dot(n, mid - inside) < 0) {
      std::reverse(c.begin(), c.end());
      n = n * -1;
    }
    const float d = Dot(Unit(n), kLight);
    const float shade = 0.58f + 0.42f * (closed ? std::max(0.0f, d) : std::fabs(d));
    // The nearest light level of the material's block; its quarter less a
    // margin that keeps filtering inside it at half size too.
    int level = 0;
    for (int k = 1; k < kCharShades; k++)
      if (std::fabs(kCharShadeLevels[k] - shade) < std::fabs(kCharShadeLevels[level] - shade)) level = k;
    const int block = s.material;
    const float texel = 1.0f / float(kCharTextureSide);
    const float u0 = float((block % 8) * 32 + (level % 2) * 16 + 3) * texel;
    const float v0 = float((block / 8) * 32 + (level / 2) * 16 + 3) * texel;
    const float side = 10.0f * texel;
    for (size_t i = 0; i < c.size(); i++) {
      QoePoint p;
      if (c.size() == 4) {
        p.u = u0 + side * float(i == 1 || i == 2);
        p.v = v0 + side * float(i >= 2);
      } else if (c.size() == 3) {
        p.u = u0 + side * (i == 0 ? 0.0f : i == 1 ? 1.0f : 0.5f);
        p.v = v0 + side * float(i != 2);
      } else {
        const double a = 2 * M_PI * double(i) / double(c.size());
        p.u = u0 + side * float(0.5 + 0.5 * std::cos(a));
        p.v = v0 + side * float(0.5 + 0.5 * std::sin(a));
      }
      // White: the texture holds the colour.
      for (int k = 0; k < 4; k++) p.rgba[k] = 255;
      p.x = c[i].x;
      p.y = c[i].y;
      p.z = c[i].z;
      mesh.points.push_back(p);
    }
    mesh.face_points.push_back(uint16_t(c.size()));
  }

  void Solid(const CharSolid& s, const Affine& to) {
    const float* v = s.v;
    switch (s.kind) {
      case CharSolid::kBox: {
        const float turn[3] = {s.v[6], s.v[7], s.v[8]};
        const Affine r = Rotation(turn);
        const V3 c{v[0], v[1], v[2]};
        V3 k[8];
        for (int i = 0; i < 8; i++)
          k[i] = c + r.Apply({v[3] * ((i & 1) ? 0.5f : -0.5f), v[4] * ((i & 2) ? 0.5f : -0.5f),
                              v[5] * ((i & 4) ? 0.5f : -0.5f)});
        const int f[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
        for (const auto& q : f) Face({k[q[0]], k[q[1]], k[q[2]], k[q[3]]}, s, to, true, c);
        break;
      }
      case CharSolid::kRod: {
        const V3 a{v[0], v[1], v[2]}, b{v[3], v[4], v[5]};
        const V3 axis = Unit(b - a);
        const V3 u = Unit(Cross(axis, std::fabs(axis.y) < 0.9f ? V3{0, 1, 0} : V3{1, 0, 0}));
        const V3 w = Cross(axis, u);
        const int n = s.sides;
        std::vector<V3> ra, rb;
        for (int i = 0; i < n; i++) {
          const double t = 2 * M_PI * (double(i) + 0.5) / n;
          const V3 dir = u * float(std::cos(t)) + w * float(std::sin(t));
          ra.push_back(a + dir * v[6]);
          rb.push_back(b + dir * v[7]);
        }
        const V3 mid = (a + b) * 0.5f;
        for (int i = 0; i < n; i++) {
          const int j = (i + 1) % n;
          if (v[6] == 0) Face({a, rb[size_t(i)], rb[size_t(j)]}, s, to, true, mid);
          else if (v[7] == 0) Face({ra[size_t(i)], ra[size_t(j)], b}, s, to, true, mid);
          else Face({ra[size_t(i)], ra[size_t(j)], rb[size_t(j)], rb[size_t(i)]}, s, to, true, mid);
        }
        if (v[6] > 0) Face(ra, s, to, true, mid);
        if (v[7] > 0) Face(rb, s, to, true, mid);
        break;
      }
      case CharSolid::kBall: {
        const V3 c{v[0], v[1], v[2]};
        const int n = s.sides, rings = s.sides / 2;
        auto at = [&](int ring, int i) {
          const double lat = M_PI * double(ring) / rings, lon = 2 * M_PI * double(i) / n;
          return c + V3{v[3] * float(std::sin(lat) * std::cos(lon)), v[4] * float(std::cos(lat)),
                        v[5] * float(std::sin(lat) * std::sin(lon))};
        };
        for (int ring = 0; ring < rings; ring++)
          for (int i = 0; i < n; i++) {
            const int j = (i + 1) % n;
            if (ring == 0) Face({at(0, 0), at(1, j), at(1, i)}, s, to, true, c);
            else if (ring == rings - 1) Face({at(ring, i), at(ring, j), at(rings, 0)}, s, to, true, c);
            else Face({at(ring, i), at(ring, j), at(ring + 1, j), at(ring + 1, i)}, s, to, true, c);
          }
        break;
      }
      case CharSolid::kQuad:
      case CharSolid::kTri: {
        std::vector<V3> c;
        for (int i = 0; i < (s.kind == CharSolid::kQuad ? 4 : 3); i++) c.push_back({v[3 * i], v[3 * i + 1], v[3 * i + 2]});
        Face(c, s, to, false, {0, 0, 0});
        break;
      }
    }
  }
};

}  // namespace

bool ParseCharacters(const std::string& text, CharacterSet* set, int* line, std::string* reason) {
  *set = CharacterSet{};
  set->models.reserve(256);
  CharModel* model = nullptr;
  int pose = -1;
  std::vector<std::string> pose_names;
  std::istringstream in(text);
  std::string l;
  *line = 0;
  try {
    while (std::getline(in, l)) {
      ++*line;
      const std::vector<std::string> w = Words(l);
      if (w.empty()) continue;
      if (set->models.size() >= 256 && (w[0] == "model" || w[0] == "template")) throw ParseError{"more than 256 models"};
      ParseLine(*set, model, pose_names, pose, w, *line);
    }
    if (model) {
      *line = model->line;
      throw ParseError{"model " + model->name + " has no end"};
    }
    for (const CharEntry& e : set->entries) {
      *line = e.line;
      CheckEntry(*set, e);
    }
  } catch (const ParseError& e) {
    *reason = e.reason;
    return false;
  }
  return true;
}

CharMesh BuildCharacterMesh(const CharacterSet& set, const CharModel& model, int pose) {
  std::vector<Affine> world(model.joints.size());
  for (size_t i = 0; i < model.joints.size(); i++) {
    const CharJoint& j = model.joints[i];
    Affine local;
    if (pose >= 0 && size_t(pose) < model.poses.size())
      for (const CharJointPose& c : model.poses[size_t(pose)].changes) {
        if (size_t(c.joint) != i) continue;
        const V3 pivot{j.pivot[0], j.pivot[1], j.pivot[2]};
        Affine r = Rotation(c.turn);
        for (float& e : r.r) e *= c.size;
        r.t = pivot - r.Apply(pivot) + r.t + V3{c.move[0], c.move[1], c.move[2]};
        local = r;
      }
    world[i] = j.parent >= 0 ? Then(world[size_t(j.parent)], local) : local;
  }
  MeshBuilder b{set, {}};
  for (const CharSolid& s : model.solids) b.Solid(s, world[size_t(s.joint)]);
  return std::move(b.mesh);
}

CharTiming CharacterTiming(const CharAnimation& a) {
  CharTiming t;
  const size_t poses = a.poses.size();
  if (a.mode == CharAnimation::kKeys) {
    // Keyframes at even times (the frame time is always even), the first
    // pose again at the end so the loop joins.
    const int length = int(std::lround(a.seconds * 60)) * 2;
    for (size_t k = 0; k <= poses; k++) {
      t.numbers.push_back(int32_t(std::lround(double(length) * double(k) / double(poses) / 2.0)) * 2);
      t.poses.push_back(a.poses[k % poses]);
      t.spin.push_back(0);
    }
    t.last = uint32_t(length);
  } else if (a.mode == CharAnimation::kFrames) {
    // One frame per drawn frame: the local times 1 (a restart or a held
    // character), 2, 4, .. and a closing frame the engine never shows.
    const int drawn = int(std::lround(a.seconds * 60));
    for (int j = 0; j <= drawn; j++) {
      const int jj = j % drawn;
      t.numbers.push_back(j == 0 ? 1 : 2 * j);
      t.poses.push_back(a.poses[size_t(jj) * poses / size_t(drawn)]);
      t.spin.push_back(a.spin * float(jj) / float(drawn));
    }
    t.last = uint32_t(2 * drawn);
  }
  return t;
}

namespace {

// Appends one object made of a mesh.
void AddObject(QoeModel& q, const CharMesh& mesh, const std::string& name) {
  QoeObject o;
  o.name = name;
  o.first_point = o.first_index = uint32_t(q.points.size());
  o.point_count = o.index_count = uint32_t(mesh.points.size());
  o.first_face = uint32_t(q.faces.size());
  o.face_count = uint32_t(mesh.face_points.size());
  uint32_t first = 0;
  for (uint16_t n : mesh.face_points) {
    q.faces.push_back({first, n, 0});
    first += n;
  }
  for (size_t i = 0; i < mesh.points.size(); i++) {
    const QoePoint& p = mesh.points[i];
    q.points.push_back(p);
    q.indices.push_back(uint32_t(i));
    const float xyz[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; k++) {
      o.min[k] = i == 0 ? xyz[k] : std::min(o.min[k], xyz[k]);
      o.max[k] = i == 0 ? xyz[k] : std::max(o.max[k], xyz[k]);
    }
  }
  q.objects.push_back(o);
}

QoeModel Start(const QoeTexture& texture) {
  QoeModel q;
  q.textures.push_back(texture);
  return q;
}

std::string PoseName(const CharModel& m, int pose) { return pose < 0 ? m.name : m.name + "_" + m.poses[size_t(pose)].name; }

}  // namespace

QoeModel CharacterLowModel(const CharacterSet& set, const CharModel& model, const QoeTexture& texture) {
  QoeModel q = Start(texture);
  const int pose = model.animation.mode == CharAnimation::kStill ? -1 : model.animation.poses[0];
  AddObject(q, BuildCharacterMesh(set, model, pose), PoseName(model, pose));
  return q;
}

QoeModel CharacterHighModel(const CharacterSet& set, const CharModel& model, const QoeTexture& texture) {
  QoeModel q = Start(texture);
  const CharTiming t = CharacterTiming(model.animation);
  std::map<int, uint32_t> object_of_pose;
  for (int p : t.poses)
    if (!object_of_pose.count(p)) {
      object_of_pose[p] = uint32_t(q.objects.size());
      AddObject(q, BuildCharacterMesh(set, model, p), PoseName(model, p));
    }
  QoeAnimation a;
  a.name = model.name;
  a.last_frame = t.last;
  a.first_frame = 0;
  a.frame_count = uint32_t(t.numbers.size());
  q.animations.push_back(a);
  for (size_t i = 0; i < t.numbers.size(); i++) {
    QoeFrame f;
    f.number = t.numbers[i];
    f.target = object_of_pose[t.poses[i]];
    f.target_kind = 30008;
    f.pose.rotation[1] = t.spin[i];
    // The engine's rotation about y (row vectors): x' = x c + z s, z' = z c - x s.
    const double r = double(t.spin[i]) * M_PI / 180.0;
    const float c = float(std::cos(r)), s = float(std::sin(r));
    f.pose.matrix[0] = c;
    f.pose.matrix[2] = -s;
    f.pose.matrix[8] = s;
    f.pose.matrix[10] = c;
    q.frames.push_back(f);
  }
  return q;
}

// ---------------------------------------------------------------------------
// The texture.

namespace {

float Noise(int x, int y, uint32_t seed) { return float(KitHash(x, y, seed) & 1023) / 1023.0f; }

// Grey value (0 .. 255) of pattern p at (x, y) of its 64 x 64 cell.
int PatternPixel(int p, int x, int y) {
  const float n = Noise(x, y, uint32_t(p) * 977U);
  const std::string name = kCharPatterns[p];
  float g = 235;
  if (name == "plain") g = 236 + 12 * n;
  else if (name == "cloth") g = 205 + 30 * float(((x / 2) + (y / 2)) % 2) + 15 * n;
  else if (name == "leather") g = 200 + 40 * Noise(x / 3, y / 3, 5) + 10 * n;
  else if (name == "metal") g = 190 + float(y % 16) * 3 + 20 * n + ((x % 16 == 8 && y % 16 == 8) ? -80 : 0);
  else if (name == "wood") g = 185 + 45 * float(0.5 + 0.5 * std::sin(x * 0.9 + 2.5 * std::sin(y * 0.15))) + 15 * n;
  else if (name == "skin") g = 240 + 10 * n;
  else if (name == "hair") g = 170 + 70 * Noise(x, y / 6, 11);
  else if (name == "canvas") g = 235 + 15 * n - ((y % 16) < 1 ? 60 : 0);
  else if (name == "mail") g = (((x + (y / 3) % 2 * 2) % 4) < 2 && y % 3 != 0) ? 245 : 150;
  else if (name == "stone") g = 175 + 60 * Noise(x / 4, y / 4, 17) + 15 * n;
  else if (name == "rope") g = 190 + 50 * float(((x + y) / 3) % 2);
  else if (name == "fire") g = 200 + 55 * Noise(x / 2, y / 2, 23);
  else if (name == "glow") g = 255 - 60 * float(std::hypot(x - 31.5, y - 31.5) / 45.0);
  else if (name == "water") g = 200 + 40 * float(0.5 + 0.5 * std::sin(x * 0.4 + y * 0.2)) + 15 * n;
  else if (name == "gold") g = 215 + 40 * n * n;
  else if (name == "scales") g = ((x % 8 - 4) * (x % 8 - 4) + (y % 8) * (y % 8) < 20) ? 250 : 170;
  return std::clamp(int(g), 0, 255);
}

}  // namespace

QoeTexture CharacterTexture(const CharacterSet& set) {
  ModelPicture p(kCharTextureSide, kCharTextureSide);
  for (int y = 0; y < kCharTextureSide; y++)
    for (int x = 0; x < kCharTextureSide; x++) {
      const size_t block = size_t((y / 32) * 8 + x / 32);
      const int level = ((y / 16) % 2) * 2 + (x / 16) % 2;
      if (block >= set.materials.size()) {
        p.Set(x, y, 128, 128, 128);
        continue;
      }
      const CharMaterial& mt = set.materials[block];
      const float g = float(PatternPixel(mt.pattern, x % 16 + 24, y % 16 + 24)) / 255.0f * kCharShadeLevels[level];
      int rgb[3];
      for (int k = 0; k < 3; k++) rgb[k] = std::clamp(int(std::lround(float(mt.rgb[k]) * g)), 0, 255);
      p.Set(x, y, rgb[0], rgb[1], rgb[2]);
    }
  return JpegTexture(kCharTextureName, kCharTextureFile, p, 24, 90);
}

}  // namespace datakit
