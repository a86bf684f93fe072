// Characters: the figures of the map shown as models under "qoe-anims/",
// each an element (a placed object or animation), the ship's rocking
// animation, and putting an element's pose for the frame time into the VIEW
// (docs/gl3d-view.md).
#include <cstdio>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"

namespace {

// Below this many frames an animation's frames are keyframes (interpolated).
constexpr uint32_t kKeyframeLimit = 10;

const char* const kStateNames[] = {"NONE", "LAZING", "GUARDING", "ATTACK", "WALK", "DEATH", "ANNEX"};

uint8_t StateCode(const char* name) {
  for (uint8_t i = 0; i < std::size(kStateNames); i++)
    if (name && std::strcmp(name, kStateNames[i]) == 0) return i;
  return kCharacterNone;
}

// A file name "NONE" or of exactly four characters names no file.
bool NoFile(const char* file) { return !file || std::strlen(file) == 4 || std::strlen(file) == 0; }

void CopyText(char* dest, size_t size, const char* text) { std::snprintf(dest, size, "%s", text ? text : ""); }

ELEMENT3D* ElementAt(uint32_t index) { return static_cast<ELEMENT3D*>(ThingAt(THING_ELEMENT3D, index)); }

// The object an element or a frame shows, or null.
OBJECT3D* TargetObject(const FRAME3D& f) {
  if (f.target_key != THING_OBJECT3D) return nullptr;
  return static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, f.target_index));
}

// Appends a cleared element (factor 1); its index, or -1 when the store is full.
int32_t NewElement() {
  auto* e = static_cast<ELEMENT3D*>(GetThing(THING_ELEMENT3D, kThingAppend));
  if (!e) return -1;
  const int32_t index = int32_t(ThingLastIndex());
  *e = ELEMENT3D{};
  ClearFrame(&e->frame);
  e->factor = 1.0f;
  RelinkIfMoved();
  return index;
}

// Entry `which` of the character table, or null.
CharacterEntry* Entry(int32_t which) {
  Engine3DState& s = E3D();
  if (!s.characters || which < 0 || uint32_t(which) >= s.character_count) return nullptr;
  return &s.characters[which];
}

// The bird circles: (50, 120, -30) from its place, turned about Y by now degrees.
void Circle(OBJECT3D* copy, int32_t now) {
  const float* o = E3D().bird_offset;
  SizeTranslateObject(copy, o[0], o[1], o[2], 1.0f);
  float m[16];
  SetMry(m, float(now));
  TransformObject(copy, m);
}

// Moves the copy to its place.
void Place(OBJECT3D* copy, float x, float y, float z) { SizeTranslateObject(copy, x, y, z, 1.0f); }

void AddKeyframes(const ELEMENT3D* e, const ANIMATION3D* a, int32_t local, float x, float y, float z) {
  for (uint32_t i = 0; i < a->frame_count; i++) {
    const auto* f = static_cast<const FRAME3D*>(ThingAt(THING_FRAME3D, a->first_frame + i));
    if (!f) break;
    const auto* next =
        i + 1 < a->frame_count ? static_cast<const FRAME3D*>(ThingAt(THING_FRAME3D, a->first_frame + i + 1)) : nullptr;
    // The last frame lasts until the animation's last frame number.
    const int64_t end = next ? int64_t(next->number) : int64_t(a->last_frame);
    if (!(f->number <= local && end > local) || !(f->flags & 1)) continue;
    OBJECT3D* object = TargetObject(*f);
    if (!object || !AddObjectCopy(object, 0.0f, 0.0f, 0.0f, 1.0f)) continue;
    OBJECT3D* copy = LastViewObject();
    const OBJECT3D* towards = next ? TargetObject(*next) : nullptr;
    if (towards && towards->points && towards->point_count == copy->point_count) {
      const float t = float(int64_t(local) - f->number) / float(end - f->number);
      for (int32_t k = 0; k < copy->point_count; k++) {
        POINT3D& p = copy->points[k];
        const POINT3D& q = towards->points[k];
        p.x += (q.x - p.x) * t;
        p.y += (q.y - p.y) * t;
        p.z += (q.z - p.z) * t;
      }
    }
    TransformObject(copy, f->matrix);
    TransformObject(copy, e->frame.matrix);
    Place(copy, x, y, z);
  }
}

void AddFrames(const ELEMENT3D* e, const ANIMATION3D* a, int32_t local, int32_t now, float x, float y, float z) {
  const Engine3DState& s = E3D();
  const CharacterEntry* bird = Entry(s.bird_entry);
  for (uint32_t i = 0; i + 1 < a->frame_count; i++) {
    const auto* f = static_cast<const FRAME3D*>(ThingAt(THING_FRAME3D, a->first_frame + i));
    if (!f) break;
    if (f->number != local) continue;
    OBJECT3D* object = TargetObject(*f);
    if (!object || !AddObjectCopy(object, 0.0f, 0.0f, 0.0f, 1.0f)) continue;
    OBJECT3D* copy = LastViewObject();
    TransformObject(copy, f->matrix);
    TransformObject(copy, e->frame.matrix);
    if (s.scene_built && bird && bird->high == e) Circle(copy, now);
    Place(copy, x, y, z);
  }
}

}  // namespace

void SetCharacter(uint16_t figure_type, const char* name, const char* state_name, const char* low_file,
                  const char* high_file, float x, float y, float z, float scale) {
  Engine3DState& s = E3D();
  s.scene.loading = 0;  // character models have no season folders
  const uint8_t state = StateCode(state_name);
  const bool low_given = !NoFile(low_file);
  const bool high_given = !NoFile(high_file) && s.engine.use_animations != 0;
  if (figure_type >= kCharacterFigureTypes || state >= kCharacterAnnex || !s.characters ||
      s.character_count >= kCharacterEntries)
    return;
  const int32_t index = s.character_count;
  if (name && std::strcmp(name, "FID_BUSARD") == 0) s.bird_entry = index;
  if (name && std::strcmp(name, "FID_SHIELD") == 0) s.shield_entry = index;
  CharacterEntry& c = s.characters[index];
  c = CharacterEntry{};
  c.figure_type = figure_type;
  CopyText(c.name, sizeof c.name, name);
  c.state = state;
  CopyText(c.state_name, sizeof c.state_name, state_name);
  c.low_index = c.high_index = kNoElement;
  s.character_count++;
  if (!low_given) return;

  std::snprintf(c.low_path, sizeof c.low_path, "qoe-anims/%s", low_file);
  if (high_given)
    std::snprintf(c.high_path, sizeof c.high_path, "qoe-anims/%s", high_file);
  else
    CopyText(c.high_path, sizeof c.high_path, c.low_path);
  // Models already loaded for another entry are shared.
  for (int32_t i = 0; i < index; i++) {
    const CharacterEntry& o = s.characters[i];
    if (o.low_path[0] && std::strcmp(o.low_path, c.low_path) == 0) c.low = o.low, c.low_index = o.low_index;
    if (o.high_path[0] && std::strcmp(o.high_path, c.high_path) == 0) c.high = o.high, c.high_index = o.high_index;
  }
  if (!c.low) {
    const int32_t e = LoadQOEasElement(c.low_path, x, y, z, scale);
    c.low_index = e < 0 ? kNoElement : uint32_t(e);
  }
  if (!c.high) {
    if (high_given) {
      const int32_t e = LoadQOEasElement(c.high_path, x, y, z, scale);
      c.high_index = e < 0 ? kNoElement : uint32_t(e);
    } else {
      c.high_index = c.low_index;
    }
  }
  // The store may have grown: both pointers from their indices.
  c.low = c.low_index == kNoElement ? nullptr : ElementAt(c.low_index);
  c.high = c.high_index == kNoElement ? nullptr : ElementAt(c.high_index);

  // Ships and dragons face along the hex rows; an entry whose model did not
  // load has nothing to turn or rock.
  const uint32_t object = c.low && c.low->frame.target_key == THING_OBJECT3D ? c.low->frame.target_index : kNoElement;
  OBJECT3D* model = object == kNoElement ? nullptr : static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, object));
  if (!model || !name) return;
  const bool ship = std::strstr(name, "SCHIFF") != nullptr;
  const float turn = std::strstr(name, "DRACHE") ? 270.0f : (ship ? 90.0f : 0.0f);
  if (turn != 0.0f) YRotateObject(model, turn);
  if (!ship) return;
  const int32_t element = NewElement();
  const int32_t animation = MakeShipAnim(object);
  if (element < 0 || animation < 0) return;
  ELEMENT3D* rocking = ElementAt(uint32_t(element));
  SetFrameUsage(&rocking->frame, uint32_t(animation), THING_ANIMATION3D, 1);
  SetFramePos(&rocking->frame, 0, 0, 0, 0, x * scale, y * scale, z * scale, scale, 1);
  CharacterEntry& again = s.characters[index];
  again.high_index = uint32_t(element);
  again.high = rocking;
  again.low = ElementAt(again.low_index);
}

void XSetCharacter(uint16_t figure_type, const char* name, const char* state_name, const char* low_file,
                   const char* high_file, float x, float y, float z, float scale) {
  const uint32_t before = ThingCount(THING_FACE3D);
  SetCharacter(figure_type, name, state_name, low_file, high_file, x, y, z, scale);
  const uint32_t after = ThingCount(THING_FACE3D);
  if (after <= before) {
    DebugLog("XSetCharacter: Character wurde nicht hinzugefuegt.\n");
    return;
  }
  // Both sides of the new faces are drawn.
  for (uint32_t i = before; i < after; i++) {
    const auto* f = static_cast<const FACE3D*>(ThingAt(THING_FACE3D, i));
    if (f && f->texture) f->texture->cull = 0;
  }
}

uint32_t FindCharacter(uint16_t figure_type, uint8_t state) {
  const Engine3DState& s = E3D();
  if (!s.characters) return 0;
  uint32_t first = 0;
  bool found = false;
  for (uint32_t i = 0; i < s.character_count && i < kCharacterEntries; i++) {
    const CharacterEntry& c = s.characters[i];
    if (c.figure_type != figure_type) continue;
    if (c.state == state) return i;
    if (!found) first = i, found = true;
  }
  return first;
}

int32_t LoadQOEasElement(const char* path, float x, float y, float z, float scale) {
  const uint32_t animations = ThingCount(THING_ANIMATION3D);
  const int32_t first = LoadQOE(path);
  if (first < 0) {
    DebugLog("LoadQOEasElement: Konnte QOE Datei nicht extrahierern.\n");
    return -1;
  }
  const bool animated = ThingCount(THING_ANIMATION3D) > animations;
  // Without an animation the file's objects become one object.
  if (!animated) MakeOneObject(uint32_t(first));
  const int32_t index = NewElement();
  if (index < 0) {
    DebugLog("LoadQOEasElement: Konnte QOE Datei nicht extrahierern.\n");
    return -1;
  }
  ELEMENT3D* e = ElementAt(uint32_t(index));
  SetFramePos(&e->frame, 0, 0, 0, 0, x * scale, y * scale, z * scale, scale, 1);
  if (animated)
    SetFrameUsage(&e->frame, animations, THING_ANIMATION3D, 1);
  else
    SetFrameUsage(&e->frame, uint32_t(first), THING_OBJECT3D, 1);
  return index;
}

void AddElementToView(ELEMENT3D* e, float x, float y, float z) {
  if (!e) return;
  if (!(e->frame.flags & 1)) {
    DebugLog("AddElementToView: Element ist nicht sichtbar.\n");
    return;
  }
  Engine3DState& s = E3D();
  ResetHierarchy();
  const uint16_t key = e->frame.target_key ? e->frame.target_key : uint16_t(THING_ANIMATION3D);
  const int32_t now = s.frame_time;
  if (key == THING_ANIMATION3D) {
    const auto* a = static_cast<const ANIMATION3D*>(ThingAt(THING_ANIMATION3D, e->frame.target_index));
    if (!a) return;
    // The loop restarts once its length has run out.
    if (int64_t(e->frame.number) + a->last_frame <= now) e->frame.number = now;
    int32_t local = int32_t(int64_t(now) - e->frame.number);
    if (local == 0 || s.hold) local = 1;
    if (a->frame_count < kKeyframeLimit)
      AddKeyframes(e, a, local, x, y, z);
    else
      AddFrames(e, a, local, now, x, y, z);
    return;
  }
  if (key != THING_OBJECT3D) return;
  OBJECT3D* object = TargetObject(e->frame);
  if (!object || !AddObjectCopy(object, 0.0f, 0.0f, 0.0f, 1.0f)) return;
  OBJECT3D* copy = LastViewObject();
  TransformObject(copy, e->frame.matrix);
  const CharacterEntry* bird = Entry(s.bird_entry);
  if (bird && bird->low == e) Circle(copy, now);
  Place(copy, x, y, z);
}

int32_t AddAnimation(const char* name) {
  auto* a = static_cast<ANIMATION3D*>(GetThing(THING_ANIMATION3D, kThingAppend));
  if (!a) {
    DebugLog("AddAnimation: Animation Array voll.\n");
    return -1;
  }
  const int32_t index = int32_t(ThingLastIndex());
  *a = ANIMATION3D{};
  if (name && *name)
    CopyText(a->name, sizeof a->name, name);
  else
    std::snprintf(a->name, sizeof a->name, "Animation%d", index);
  a->first_frame = ThingCount(THING_FRAME3D);
  RelinkEngineObjects();
  return index;
}

int32_t AddFrame(int32_t number) {
  auto* f = static_cast<FRAME3D*>(GetThing(THING_FRAME3D, kThingAppend));
  if (!f) {
    DebugLog("AddFrame: Framer Array voll.\n");
    return -1;
  }
  const int32_t index = int32_t(ThingLastIndex());
  ClearFrame(f);
  f->number = number;
  const uint32_t animations = ThingCount(THING_ANIMATION3D);
  if (auto* a = animations ? static_cast<ANIMATION3D*>(ThingAt(THING_ANIMATION3D, animations - 1)) : nullptr) {
    a->frame_count++;
    if (number > 0 && uint32_t(number) > a->last_frame) a->last_frame = uint32_t(number);
  }
  RelinkIfMoved();
  return index;
}

void ClearFrame(FRAME3D* f) {
  if (!f) {
    DebugLog("ClearFrame: Fehlerhafet Parameruebergabe.\n");
    return;
  }
  *f = FRAME3D{};
  f->scale[0] = f->scale[1] = f->scale[2] = 1.0f;
  SetMi(f->matrix);
  f->target_key = THING_OBJECT3D;
  f->flags = 1;
}

void SetFramePos(FRAME3D* f, int32_t number, float rx, float ry, float rz, float tx, float ty, float tz, float scale,
                 uint32_t mode) {
  if (!f) {
    DebugLog("SetFramePos: Fehlerhfate Parameteruebergabe.\n");
    return;
  }
  const float r[3] = {rx, ry, rz}, t[3] = {tx, ty, tz};
  if (mode == 1) {
    f->number = number;
    for (int k = 0; k < 3; k++) f->rotation[k] = r[k], f->translation[k] = t[k], f->scale[k] = scale;
  } else {
    f->number += number;
    for (int k = 0; k < 3; k++) f->rotation[k] += r[k], f->translation[k] += t[k], f->scale[k] += scale;
  }
  MatrixRST(f->matrix, f->rotation, f->scale, f->translation);
}

int32_t MakeShipAnim(uint32_t object) {
  const int32_t animation = AddAnimation("ShipAnim");
  if (animation < 0) return -1;
  // The roll about X runs from -8 to 8 degrees in steps of 0.8 and back.
  int32_t step = 0, direction = 1;
  for (int32_t i = 0; i < 40; i++) {
    const float angle = -8.0f + 0.8f * float(step);
    const int32_t frame = AddFrame(i + 1);
    if (frame < 0) return -1;
    auto* f = static_cast<FRAME3D*>(ThingAt(THING_FRAME3D, uint32_t(frame)));
    SetFramePos(f, i, angle, 0, 0, 0, 0, 0, 1.0f, 1);
    SetFrameUsage(f, object, THING_OBJECT3D, 1);
    step += direction;
    if (step >= 20 || step <= 0) direction = step >= 20 ? -1 : 1;
  }
  return animation;
}
