// Characters: the table the scene commands fill (refusals, lookups, shared
// models, turned ships and dragons, the ship's rocking), models loaded as
// elements, and elements posed for the frame time (keyframes, frames, the
// restart of the loop, the hold, the bird's circle).
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "routinen/graphics_lowlevel_3d/tests/model_fixture.h"
#include "routinen/system/memory.h"

namespace {

using datakit::QoeModel;

// A model of `objects` triangles, object k's first point at (10 + k, k, 0).
QoeModel Triangles(uint32_t objects) {
  QoeModel m;
  datakit::QoeTexture t;
  t.name = "hull";
  t.file = "bmp/hull.bmp";
  t.width = t.height = 2;
  t.picture = datakit::QoeTexture::kRaw;
  t.pixels.assign(12, 200);
  m.textures.push_back(t);
  for (uint32_t k = 0; k < objects; k++) {
    const uint32_t first = uint32_t(m.points.size());
    for (int i = 0; i < 3; i++) {
      datakit::QoePoint p;
      p.x = i == 0 ? 10.0f + float(k) : float(i);
      p.y = i == 0 ? float(k) : 1.0f;
      p.z = 0;
      m.points.push_back(p);
      m.indices.push_back(uint32_t(i));
    }
    m.faces.push_back({0, 3, 0});
    datakit::QoeObject o;
    o.name = "Part" + std::to_string(k);
    o.first_point = first, o.point_count = 3;
    o.first_index = first, o.index_count = 3;
    o.first_face = k, o.face_count = 1;
    o.level = k ? 1 : 0;
    m.objects.push_back(o);
  }
  return m;
}

// One object and an animation of `frames` frames (numbers 0, 1, ...) over it.
QoeModel Animated(uint32_t frames) {
  QoeModel m = Triangles(1);
  m.animations.push_back({"Fly", frames, 0, frames});
  for (uint32_t i = 0; i < frames; i++) {
    datakit::QoeFrame f;
    f.number = int32_t(i);
    f.target = 0;
    f.target_kind = 30008;
    m.frames.push_back(f);
  }
  return m;
}

void Write(const std::string& path, const QoeModel& m) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  const std::vector<uint8_t> bytes = datakit::WriteQoe(m, true);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

class Characters : public enginetest::ModelData {
 protected:
  void SetUp() override {
    ModelData::SetUp();
    E3D().characters =
        static_cast<CharacterEntry*>(AllocVec(kCharacterEntries * sizeof(CharacterEntry), MEMF_PUBLIC | MEMF_CLEAR));
    ASSERT_NE(E3D().characters, nullptr);
    E3D().character_count = 0;
    InitView();
    Write("qoe-anims/boat.qoe", Triangles(1));
    Write("qoe-anims/raft.qoe", Triangles(1));
    Write("qoe-anims/two.qoe", Triangles(2));
    Write("qoe-anims/fly.qoe", Animated(12));
  }
  void TearDown() override {
    FreeVec(E3D().characters);
    E3D().characters = nullptr;
    E3D().character_count = 0;
    ModelData::TearDown();
  }
  static CharacterEntry& C(uint32_t i) { return E3D().characters[i]; }
  static uint16_t Count() { return E3D().character_count; }
  static void Set(uint16_t type, const char* name, const char* state, const char* low, const char* high = "NONE",
                  float x = 0, float y = 0, float z = 0, float scale = 1) {
    SetCharacter(type, name, state, low, high, x, y, z, scale);
  }
  static OBJECT3D* TargetOf(const ELEMENT3D* e) {
    return static_cast<OBJECT3D*>(ThingAt(e->frame.target_key, e->frame.target_index));
  }
  static const OBJECT3D& V() { return *ViewObject(); }
};

TEST_F(Characters, AnnexTypesFromTwoThousandThreeAndAFullTableAddNothing) {
  Set(1, "FID_SHIELD", "ANNEX", "boat.qoe");
  Set(2003, "FID_BUSARD", "LAZING", "boat.qoe");
  EXPECT_EQ(Count(), 0);
  EXPECT_EQ(E3D().bird_entry, -1);
  EXPECT_EQ(E3D().shield_entry, -1);
  EXPECT_EQ(N(THING_OBJECT3D), 0u);
  Set(2002, "FID_SHIELD", "DEATH", "NONE");
  EXPECT_EQ(Count(), 1);
  EXPECT_EQ(E3D().shield_entry, 0);
  EXPECT_EQ(C(0).state, kCharacterDeath);
  EXPECT_STREQ(C(0).state_name, "DEATH");
  EXPECT_EQ(C(0).low, nullptr);
  EXPECT_EQ(C(0).low_index, kNoElement);
  for (int i = 1; i < 150; i++) Set(uint16_t(i), "Figur", "WALK", "none");
  EXPECT_EQ(Count(), 150);
  Set(7, "FID_BUSARD", "WALK", "NONE");
  EXPECT_EQ(Count(), 150);
  EXPECT_EQ(E3D().bird_entry, -1);
  // An unknown state name is NONE; without a table nothing is stored.
  E3D().character_count = 0;
  Set(3, "Figur", "SLEEPING", "NONE");
  EXPECT_EQ(C(0).state, kCharacterNone);
  CharacterEntry* table = E3D().characters;
  E3D().characters = nullptr;
  Set(3, "Figur", "WALK", "NONE");
  EXPECT_EQ(FindCharacter(3, kCharacterWalk), 0u);
  E3D().characters = table;
  EXPECT_EQ(Count(), 1);
}

TEST_F(Characters, FindCharacterTakesTheExactStateElseTheTypesFirstEntry) {
  Set(5, "A", "LAZING", "NONE");
  Set(7, "B", "LAZING", "NONE");
  Set(7, "C", "WALK", "NONE");
  Set(7, "D", "ATTACK", "NONE");
  const struct {
    uint16_t type;
    uint8_t state;
    uint32_t want;
  } cases[] = {{7, kCharacterWalk, 2}, {7, kCharacterAttack, 3}, {7, kCharacterDeath, 1},
               {7, kCharacterLazing, 1}, {5, kCharacterWalk, 0}, {9, kCharacterLazing, 0}};
  for (const auto& c : cases) EXPECT_EQ(FindCharacter(c.type, c.state), c.want) << c.type << " " << int(c.state);
}

TEST_F(Characters, EntriesWithTheSameFileShareOneElement) {
  Set(1, "A", "WALK", "boat.qoe");
  ASSERT_NE(C(0).low, nullptr);
  EXPECT_STREQ(C(0).low_path, "qoe-anims/boat.qoe");
  EXPECT_STREQ(C(0).high_path, "qoe-anims/boat.qoe");
  EXPECT_EQ(C(0).high_index, C(0).low_index);
  const uint32_t objects = N(THING_OBJECT3D), elements = N(THING_ELEMENT3D);
  Set(2, "B", "LAZING", "boat.qoe");
  EXPECT_EQ(N(THING_OBJECT3D), objects);
  EXPECT_EQ(N(THING_ELEMENT3D), elements);
  EXPECT_EQ(C(1).low_index, C(0).low_index);
  // A high file of its own; with animations off it is not used.
  Set(3, "C", "WALK", "boat.qoe", "raft.qoe");
  EXPECT_EQ(C(2).low_index, C(0).low_index);
  EXPECT_NE(C(2).high_index, C(2).low_index);
  EXPECT_STREQ(C(2).high_path, "qoe-anims/raft.qoe");
  Engine()->use_animations = 0;
  Set(4, "D", "WALK", "raft.qoe", "boat.qoe");
  EXPECT_STREQ(C(3).high_path, "qoe-anims/raft.qoe");
  // Low models are shared by low path, high models by high path: the raft
  // is loaded again as D's low model, and D's high model is C's raft.
  EXPECT_NE(C(3).low_index, C(2).high_index);
  EXPECT_EQ(C(3).high_index, C(2).high_index);
  // A missing model leaves no element.
  Set(5, "E", "WALK", "gone.qoe");
  EXPECT_EQ(C(4).low, nullptr);
  EXPECT_EQ(C(4).low_index, kNoElement);
  EXPECT_TRUE(Logged("LoadQOEasElement: Konnte QOE Datei nicht extrahierern.\n"));
  enginetest::ExpectPointersResolved();
  for (uint32_t i = 0; i < Count(); i++) {
    if (C(i).low) {
      EXPECT_EQ(C(i).low, ThingAt(THING_ELEMENT3D, C(i).low_index)) << i;
    }
    if (C(i).high) {
      EXPECT_EQ(C(i).high, ThingAt(THING_ELEMENT3D, C(i).high_index)) << i;
    }
  }
}

TEST_F(Characters, ShipsAndDragonsAreTurnedEachTimeTheirModelIsNamed) {
  Set(1, "FID_SCHIFF_1", "WALK", "boat.qoe");
  OBJECT3D* boat = TargetOf(C(0).low);
  ASSERT_NE(boat, nullptr);
  EXPECT_NEAR(boat->points[0].x, 0.0f, 1e-4);  // (10, 0, 0) turned by 90 degrees
  EXPECT_NEAR(boat->points[0].z, -10.0f, 1e-4);
  Set(2, "FID_SCHIFF_2", "WALK", "boat.qoe");
  boat = TargetOf(C(1).low);
  EXPECT_EQ(C(1).low_index, C(0).low_index);
  EXPECT_NEAR(boat->points[0].x, -10.0f, 1e-4);  // shared: turned once more
  EXPECT_NEAR(boat->points[0].z, 0.0f, 1e-4);
  Set(3, "FID_DRACHE_SCHIFF", "WALK", "raft.qoe");
  OBJECT3D* raft = TargetOf(C(2).low);
  EXPECT_NEAR(raft->points[0].x, 0.0f, 1e-4);  // 270 degrees
  EXPECT_NEAR(raft->points[0].z, 10.0f, 1e-4);
  // A ship whose model did not load is neither turned nor rocked.
  const uint32_t animations = N(THING_ANIMATION3D);
  Set(4, "FID_SCHIFF_3", "WALK", "gone.qoe");
  EXPECT_EQ(C(3).high, nullptr);
  EXPECT_EQ(N(THING_ANIMATION3D), animations);
}

TEST_F(Characters, AShipRocksInFortyFrames) {
  Set(1, "FID_SCHIFF", "WALK", "boat.qoe", "NONE", 2, 3, 4, 0.5f);
  const CharacterEntry& c = C(0);
  ASSERT_NE(c.high, nullptr);
  ASSERT_NE(c.high_index, c.low_index);
  EXPECT_EQ(c.high->frame.target_key, THING_ANIMATION3D);
  EXPECT_EQ(c.high->frame.flags & 1, 1);
  EXPECT_FLOAT_EQ(c.high->frame.translation[0], 1.0f);
  EXPECT_FLOAT_EQ(c.high->frame.translation[2], 2.0f);
  EXPECT_FLOAT_EQ(c.high->frame.scale[1], 0.5f);
  const auto* a = static_cast<const ANIMATION3D*>(ThingAt(THING_ANIMATION3D, c.high->frame.target_index));
  ASSERT_NE(a, nullptr);
  EXPECT_STREQ(a->name, "ShipAnim");
  EXPECT_EQ(a->frame_count, 40u);
  EXPECT_EQ(a->last_frame, 40u);
  const uint32_t object = c.low->frame.target_index;
  for (uint32_t i = 0; i < 40; i++) {
    const auto* f = static_cast<const FRAME3D*>(ThingAt(THING_FRAME3D, a->first_frame + i));
    EXPECT_EQ(f->number, int32_t(i));
    const float want = i <= 20 ? -8.0f + 0.8f * float(i) : 8.0f - 0.8f * float(i - 20);
    EXPECT_NEAR(f->rotation[0], want, 1e-5) << i;
    EXPECT_EQ(f->rotation[1], 0.0f);
    EXPECT_EQ(f->scale[2], 1.0f);
    EXPECT_EQ(f->target_key, THING_OBJECT3D);
    EXPECT_EQ(f->target_index, object);
    EXPECT_EQ(f->flags & 1, 1);
  }
  enginetest::ExpectPointersResolved();
}

TEST_F(Characters, AModelWithoutAnimationBecomesOneObjectPlacedByItsElement) {
  const uint32_t objects = N(THING_OBJECT3D);
  const int32_t e = LoadQOEasElement("qoe-anims/two.qoe", 2, 4, 6, 0.5f);
  ASSERT_GE(e, 0);
  EXPECT_EQ(N(THING_OBJECT3D), objects + 1);  // the two objects merged
  const auto* el = static_cast<const ELEMENT3D*>(ThingAt(THING_ELEMENT3D, uint32_t(e)));
  EXPECT_EQ(el->frame.target_key, THING_OBJECT3D);
  EXPECT_EQ(el->frame.target_index, objects);
  EXPECT_EQ(TargetOf(el)->point_count, 6);
  EXPECT_EQ(el->factor, 1.0f);
  EXPECT_EQ(el->frame.number, 0);
  const float* m = el->frame.matrix;
  EXPECT_FLOAT_EQ(m[0], 0.5f);
  EXPECT_FLOAT_EQ(m[12], 1.0f);
  EXPECT_FLOAT_EQ(m[13], 2.0f);
  EXPECT_FLOAT_EQ(m[14], 3.0f);
  // A file with an animation: the element shows its first animation.
  const uint32_t animations = N(THING_ANIMATION3D);
  const int32_t fly = LoadQOEasElement("qoe-anims/fly.qoe", 0, 0, 0, 1);
  const auto* fe = static_cast<const ELEMENT3D*>(ThingAt(THING_ELEMENT3D, uint32_t(fly)));
  EXPECT_EQ(fe->frame.target_key, THING_ANIMATION3D);
  EXPECT_EQ(fe->frame.target_index, animations);
  EXPECT_EQ(LoadQOEasElement("qoe-anims/none.qoe", 0, 0, 0, 1), -1);
}

TEST_F(Characters, XSetCharacterShowsBothSidesOfTheFacesItAdded) {
  XSetCharacter(1, "A", "WALK", "boat.qoe", "NONE", 0, 0, 0, 1);
  const auto* f = static_cast<const FACE3D*>(ThingAt(THING_FACE3D, 0));
  ASSERT_NE(f->texture, nullptr);
  EXPECT_EQ(f->texture->cull, 0);
  log_.clear();
  XSetCharacter(2, "B", "WALK", "boat.qoe", "NONE", 0, 0, 0, 1);  // shared: no new face
  EXPECT_TRUE(Logged("XSetCharacter: Character wurde nicht hinzugefuegt.\n"));
  EXPECT_EQ(Count(), 2);
}

// --- Elements in the VIEW ----------------------------------------------------

class Elements : public Characters {
 protected:
  // Four keyframes numbered 0, 10, 20, 30 over four triangles; object k's
  // points at (k, 0, 0), (k, 10k, 0), (0, 0, 2k).
  int32_t Keyframes() {
    const int32_t tex = CreateTexture("", "", 2, 2, 24, "t", nullptr);
    uint32_t first = 0;
    for (int k = 0; k < 4; k++) {
      const int32_t o = NewObject("Key", 0);
      if (k == 0) first = uint32_t(o);
      NewFace(uint16_t(tex));
      NewPoint(float(k), 0, 0, 0, 0, 0, 0, 0);
      NewPoint(float(k), 10.0f * float(k), 0, 0, 0, 0, 0, 0);
      NewPoint(0, 0, 2.0f * float(k), 0, 0, 0, 0, 0);
    }
    const int32_t a = AddAnimation(nullptr);
    for (int k = 0; k < 4; k++) {
      const int32_t f = AddFrame(10 * k);
      SetFrameUsage(static_cast<FRAME3D*>(ThingAt(THING_FRAME3D, uint32_t(f))), first + uint32_t(k), THING_OBJECT3D,
                    1);
    }
    return a;
  }
  ELEMENT3D* ElementOf(int32_t animation) {
    auto* e = static_cast<ELEMENT3D*>(GetThing(THING_ELEMENT3D, kThingAppend));
    ClearFrame(&e->frame);
    SetFrameUsage(&e->frame, uint32_t(animation), THING_ANIMATION3D, 1);
    element_ = ThingLastIndex();
    return e;
  }
  ELEMENT3D* El() { return static_cast<ELEMENT3D*>(ThingAt(THING_ELEMENT3D, element_)); }
  // Adds the element at frame time t; the points added.
  std::vector<POINT3D> At(int32_t t, float x = 0, float y = 0, float z = 0) {
    InitView();
    E3D().frame_time = t;
    AddElementToView(El(), x, y, z);
    return std::vector<POINT3D>(V().points, V().points + V().point_count);
  }
  uint32_t element_ = 0;
};

TEST_F(Elements, KeyframesAreInterpolated) {
  const int32_t a = Keyframes();
  const auto* anim = static_cast<const ANIMATION3D*>(ThingAt(THING_ANIMATION3D, uint32_t(a)));
  EXPECT_STREQ(anim->name, ("Animation" + std::to_string(a)).c_str());
  EXPECT_EQ(anim->last_frame, 30u);
  ElementOf(a);
  // Local time 15: frame 1 halfway towards frame 2.
  std::vector<POINT3D> p = At(15);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_FLOAT_EQ(p[0].x, 1.5f);
  EXPECT_FLOAT_EQ(p[1].y, 15.0f);
  EXPECT_FLOAT_EQ(p[2].z, 3.0f);
  // Local time 0 counts as 1.
  p = At(0);
  EXPECT_FLOAT_EQ(p[0].x, 0.1f);
  // Once its length has run out the loop restarts at the frame time.
  p = At(31);
  EXPECT_EQ(El()->frame.number, 31);
  EXPECT_FLOAT_EQ(p[0].x, 0.1f);
  p = At(31 + 15);
  EXPECT_FLOAT_EQ(p[0].x, 1.5f);
  EXPECT_EQ(El()->frame.number, 31);
  // The last frame lasts until the animation's last frame number.
  static_cast<ANIMATION3D*>(ThingAt(THING_ANIMATION3D, uint32_t(a)))->last_frame = 40;
  El()->frame.number = 0;
  p = At(35, 1, 2, 3);
  ASSERT_EQ(p.size(), 3u);
  EXPECT_FLOAT_EQ(p[0].x, 3.0f + 1);
  EXPECT_FLOAT_EQ(p[1].y, 30.0f + 2);
  // Held: local time 1.
  E3D().hold = 1;
  p = At(25);
  EXPECT_FLOAT_EQ(p[0].x, 0.1f);
  E3D().hold = 0;
  // The element's own matrix, then its place.
  SetFramePos(&El()->frame, 0, 0, 90, 0, 0, 0, 0, 2, 1);
  p = At(10, 100, 0, 0);
  EXPECT_NEAR(p[2].x, 2 * 2 + 100, 1e-4);  // (0, 0, 2) turned to (2, 0, 0), doubled, moved
  EXPECT_NEAR(p[2].z, 0, 1e-4);
  // An unused frame is not shown.
  static_cast<FRAME3D*>(ThingAt(THING_FRAME3D, anim->first_frame + 1))->flags = 0;
  EXPECT_TRUE(At(15).empty());
}

TEST_F(Elements, FrameModeShowsTheFrameOfExactlyTheLocalTime) {
  Set(1, "FID_SCHIFF", "WALK", "boat.qoe");
  element_ = C(0).high_index;
  const OBJECT3D* boat = TargetOf(C(0).low);
  const auto* a = static_cast<const ANIMATION3D*>(ThingAt(THING_ANIMATION3D, El()->frame.target_index));
  std::vector<int32_t> shown;
  for (int32_t t = 0; t < 40; t++) {
    const std::vector<POINT3D> p = At(t);
    if (p.empty()) {
      shown.push_back(-1);
      continue;
    }
    ASSERT_EQ(p.size(), 3u);
    // Which frame's roll gave the point (1, 1, 0)?
    int32_t which = -1;
    for (uint32_t i = 0; i < 40; i++) {
      float q[3] = {boat->points[1].x, boat->points[1].y, boat->points[1].z};
      TransformV(static_cast<const FRAME3D*>(ThingAt(THING_FRAME3D, a->first_frame + i))->matrix, q, 1, sizeof q);
      if (std::fabs(q[1] - p[1].y) < 1e-5f && std::fabs(q[2] - p[1].z) < 1e-5f && which < 0) which = int32_t(i);
    }
    shown.push_back(which);
  }
  // Local times 1 to 39 (time 0 counts as 1); frame 39, the last, never shows.
  std::vector<int32_t> want = {1};
  for (int32_t i = 1; i <= 38; i++) want.push_back(i);
  want.push_back(-1);
  // Frames with the same roll (3 and 37, ...) are told apart by their order.
  for (size_t i = 0; i < want.size(); i++)
    if (want[i] > 20) want[i] = 40 - want[i];
  for (size_t i = 0; i < shown.size(); i++)
    if (shown[i] > 20) shown[i] = 40 - shown[i];
  EXPECT_EQ(shown, want);
}

TEST_F(Elements, TheBirdCircles) {
  Set(1, "FID_BUSARD", "WALK", "boat.qoe", "fly.qoe");
  ASSERT_EQ(E3D().bird_entry, 0);
  const CharacterEntry& bird = C(0);
  // The still model: moved by (50, 120, -30), turned by T degrees about Y.
  element_ = bird.low_index;
  std::vector<POINT3D> p = At(90, 1, 2, 3);
  ASSERT_EQ(p.size(), 3u);
  // (10, 0, 0) + (50, 120, -30) = (60, 120, -30); turned by 90: (-30, 120, -60).
  EXPECT_NEAR(p[0].x, -30 + 1, 1e-3);
  EXPECT_NEAR(p[0].y, 120 + 2, 1e-3);
  EXPECT_NEAR(p[0].z, -60 + 3, 1e-3);
  // The flying model circles only once the scene is built.
  element_ = bird.high_index;
  p = At(215);  // 12 frames since 0 have run out: the loop restarts, local time 1
  ASSERT_EQ(p.size(), 3u);
  EXPECT_NEAR(p[0].x, 10, 1e-3);
  E3D().scene_built = 1;
  El()->frame.number = 0;
  p = At(183);  // the loop restarts at 183, local time 1
  ASSERT_EQ(p.size(), 3u);
  const double t = 183 * M_PI / 180;
  EXPECT_NEAR(p[0].x, 60 * std::cos(t) + -30 * std::sin(t), 1e-2);
  EXPECT_NEAR(p[0].z, -60 * std::sin(t) + -30 * std::cos(t), 1e-2);
  // Another entry's element does not circle.
  Set(2, "FID_RABE", "WALK", "raft.qoe");
  element_ = C(1).low_index;
  p = At(90);
  EXPECT_NEAR(p[0].x, 10, 1e-3);
}

TEST_F(Elements, HiddenAndMissingElementsAddNothing) {
  AddElementToView(nullptr, 0, 0, 0);
  Set(1, "A", "WALK", "boat.qoe");
  element_ = C(0).low_index;
  El()->frame.flags = 0;
  log_.clear();
  EXPECT_TRUE(At(5).empty());
  EXPECT_TRUE(Logged("AddElementToView: Element ist nicht sichtbar.\n"));
  // A target that is not in its store.
  El()->frame.flags = 1;
  El()->frame.target_index = 999;
  EXPECT_TRUE(At(5).empty());
  El()->frame.target_key = THING_ANIMATION3D;
  EXPECT_TRUE(At(5).empty());
  ClearFrame(nullptr);
  SetFramePos(nullptr, 0, 0, 0, 0, 0, 0, 0, 1, 1);
  EXPECT_TRUE(Logged("ClearFrame: Fehlerhafet Parameruebergabe.\n"));
  EXPECT_TRUE(Logged("SetFramePos: Fehlerhfate Parameteruebergabe.\n"));
}

TEST_F(Elements, FramePositionsAreSetOrAdded) {
  FRAME3D f;
  ClearFrame(&f);
  EXPECT_EQ(f.flags, 1);
  EXPECT_EQ(f.target_key, THING_OBJECT3D);
  EXPECT_EQ(f.target, nullptr);
  EXPECT_EQ(f.scale[0], 1.0f);
  SetFramePos(&f, 5, 10, 0, 0, 1, 2, 3, 2, 1);
  SetFramePos(&f, 2, 5, 0, 0, 1, 1, 1, 1, 2);
  EXPECT_EQ(f.number, 7);
  EXPECT_EQ(f.rotation[0], 15.0f);
  EXPECT_EQ(f.translation[2], 4.0f);
  EXPECT_EQ(f.scale[1], 3.0f);
  float m[16];
  MatrixRST(m, f.rotation, f.scale, f.translation);
  for (int i = 0; i < 16; i++) EXPECT_EQ(f.matrix[i], m[i]);
  // Frames count into the last animation and raise its length.
  const int32_t a = AddAnimation("Walk");
  AddFrame(4);
  AddFrame(2);
  const auto* anim = static_cast<const ANIMATION3D*>(ThingAt(THING_ANIMATION3D, uint32_t(a)));
  EXPECT_EQ(anim->frame_count, 2u);
  EXPECT_EQ(anim->last_frame, 4u);
  EXPECT_STREQ(anim->name, "Walk");
  enginetest::ExpectPointersResolved();
}

}  // namespace
