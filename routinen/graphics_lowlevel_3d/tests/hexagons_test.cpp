// Hexagon models: standardising to the hex size and shape, the corner snap,
// the size bonus, a 3 x 3 patch at the scene's cell positions, the scene
// commands (empty names, redefinition, shared models, sway points, cull
// flags), the base, water and height colours, and store growth in the
// middle of the commands.
#include <cmath>
#include <filesystem>
#include <fstream>

#include "routinen/graphics_lowlevel_3d/tests/model_fixture.h"

namespace {

using enginetest::Bytes;
using enginetest::ExpectPointersResolved;

constexpr float kW = 32.0f, kD = 27.712f, kQ = 16.0f;

// A hexagon model s times the hex size, moved by (ox, 0, oz), its rim at
// height base and its centre at base + 20; a 24-bit fan over the rim and a
// 32-bit triangle at the centre. extra: more points (not in any face).
datakit::QoeModel HexModel(float s, float ox, float oz, float base, const std::vector<datakit::QoePoint>& extra = {},
                           int objects = 1) {
  datakit::QoeModel m;
  datakit::QoeTexture t;
  t.name = "ground";
  t.file = "bmp/ground.bmp";
  t.width = t.height = 2;
  t.bits = 24;
  m.textures.push_back(t);
  t.name = "leaves";
  t.file = "bmp/leaves.bmp";
  t.bits = 32;
  m.textures.push_back(t);
  for (int k = 0; k < objects; k++) {
    const float rim[6][2] = {{-kQ, kD}, {kQ, kD}, {kW, 0}, {kQ, -kD}, {-kQ, -kD}, {-kW, 0}};
    const uint32_t p0 = uint32_t(m.points.size()), i0 = uint32_t(m.indices.size());
    for (const auto& c : rim) {
      datakit::QoePoint p;
      p.x = c[0] * s + ox;
      p.y = base;
      p.z = c[1] * s + oz;
      m.points.push_back(p);
    }
    datakit::QoePoint centre;
    centre.x = ox;
    centre.y = base + 20;
    centre.z = oz;
    m.points.push_back(centre);
    for (const datakit::QoePoint& p : extra) m.points.push_back(p);
    for (uint32_t i : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 0u, 1u}) m.indices.push_back(i);
    const uint32_t f0 = uint32_t(m.faces.size());
    m.faces.push_back({0, 6, 0});
    m.faces.push_back({6, 3, 1});
    datakit::QoeObject o;
    o.name = "Hex";
    o.first_point = p0;
    o.point_count = uint32_t(m.points.size()) - p0;
    o.first_index = i0;
    o.index_count = 9;
    o.first_face = f0;
    o.face_count = 2;
    o.min[0] = -kW * s + ox, o.min[1] = base, o.min[2] = -kD * s + oz;
    o.max[0] = kW * s + ox, o.max[1] = base + 20, o.max[2] = kD * s + oz;
    m.objects.push_back(o);
  }
  return m;
}

void Write(const std::string& path, const datakit::QoeModel& m) {
  const Bytes b = datakit::WriteQoe(m, false);
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

class Hexagons : public enginetest::ModelData {
 protected:
  void SetUp() override {
    ModelData::SetUp();
    Tables();
  }
  void Tables() {
    SceneModels()->hexagons =
        static_cast<HexagonType*>(AllocVec(uint32_t(sizeof(HexagonType) * kHexagonTypes), MEMF_PUBLIC | MEMF_CLEAR));
  }
  static HexagonType& Type(int t) { return SceneModels()->hexagons[t]; }
  static void ExpectCorner(const POINT3D& p, float x, float z) {
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, z);
  }
};

TEST_F(Hexagons, ADoubleSizeModelIsScaledCentredAndLowered) {
  Write("big.qoe", HexModel(2, 200, 50, 10));  // 128 x 110.848
  const int32_t index = LoadQOE("big.qoe");
  ASSERT_EQ(index, 0);
  StandarizeHexagone(index);
  const OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, 0);
  EXPECT_FLOAT_EQ(o->min[0], -kW);
  EXPECT_FLOAT_EQ(o->max[0], kW);
  EXPECT_FLOAT_EQ(o->max[2], kD);
  const float rim[6][2] = {{-kQ, kD}, {kQ, kD}, {kW, 0}, {kQ, -kD}, {-kQ, -kD}, {-kW, 0}};
  for (int i = 0; i < 6; i++) ExpectCorner(o->points[i], rim[i][0], rim[i][1]);
  EXPECT_NEAR(o->points[6].x, 0.0f, 1e-5);
  EXPECT_NEAR(o->points[6].z, 0.0f, 1e-5);
  EXPECT_NEAR(o->points[6].y, 10.0f, 1e-5);  // 20 high at half the size
  StandarizeHexagone(-1);
  EXPECT_TRUE(Logged("StandarizeHexagone: Fehlerhafte Paramter\xfc" "bergabe."));
}

TEST_F(Hexagons, PointsNearACornerSnapOntoItBelowASquaredDistanceOf20) {
  auto at = [](float x, float z) {
    datakit::QoePoint p;
    p.x = x;
    p.z = z;
    return p;
  };
  // Squared distances 16, 20 (stays), 19.96 and 25 (stays).
  Write("hex.qoe", HexModel(1, 0, 0, 0, {at(kQ - 4, kD), at(kQ - 4, kD - 2), at(kW - 4, 1.99f), at(-kW + 5, 0)}));
  StandarizeHexagone(LoadQOE("hex.qoe"));
  const OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, 0);
  ExpectCorner(o->points[7], kQ, kD);
  EXPECT_EQ(o->points[8].x, kQ - 4);
  EXPECT_EQ(o->points[8].z, kD - 2);
  ExpectCorner(o->points[9], kW, 0);
  EXPECT_EQ(o->points[10].x, -kW + 5);
}

TEST_F(Hexagons, WaterAndMountainsGetTheBonusAndAPatchMeetsWithoutGaps) {
  Write("hex.qoe", HexModel(1, 0, 0, 0));
  SetHexagone(23, "KID_WASSER00", "hex.qoe", "NONE", 13, 93, 114, 148, 255);
  const OBJECT3D* water = Type(23).low;
  ASSERT_NE(water, nullptr);
  const float w = (64.0f + 0.9f) / 2, d = (55.424f + 0.9f) / 2;
  ExpectCorner(water->points[2], w, 0);
  ExpectCorner(water->points[1], w / 2, d);
  SetHexagone(17, "KID_WALD00", "hex.qoe", "NONE", 0, 255, 255, 255, 255);
  const OBJECT3D* land = Type(17).low;
  ASSERT_NE(land, nullptr);
  // Cells as the scene lays them out: columns 48 apart, odd columns half a
  // row lower; every corner two cells share is the same point (the model's
  // corners are exact, so only the cells' rounding remains).
  struct Cell {
    float x, z;
  };
  std::vector<Cell> cells;
  for (int r = 0; r < 3; r++)
    for (int j = 0; j < 2; j++) {
      cells.push_back({96.0f * float(j) + 32, 55.424f * float(r) + 27.712f});
      cells.push_back({96.0f * float(j) + 80, 55.424f * float(r) + 55.424f});
    }
  int shared = 0;
  for (size_t a = 0; a < cells.size(); a++)
    for (size_t b = a + 1; b < cells.size(); b++)
      for (int i = 0; i < 6; i++)
        for (int k = 0; k < 6; k++) {
          const float ax = cells[a].x + land->points[i].x, az = cells[a].z + land->points[i].z;
          const float bx = cells[b].x + land->points[k].x, bz = cells[b].z + land->points[k].z;
          if (std::fabs(ax - bx) < 0.5f && std::fabs(az - bz) < 0.5f) {
            EXPECT_EQ(ax, bx) << a << " " << b;
            // The cells' own z positions are rounded floats: within an ulp.
            EXPECT_FLOAT_EQ(az, bz) << a << " " << b;
            shared++;
          }
        }
  EXPECT_EQ(shared, 2 * 23);  // 23 shared edges of a 3 x 4 patch, two corners each
}

TEST_F(Hexagons, SceneCommandsNamesRedefinitionSharingAndSwayPoints) {
  Write("hex_forest.qoe", HexModel(1, 0, 0, 0));
  Write("hex_high.qoe", HexModel(1, 0, 0, 0, {}, 2));
  Write("plain.qoe", HexModel(1, 0, 0, 0));
  SetHexagone(2, "KID_WALD00", "hex_forest.qoe", "hex_high.qoe", 7, 1, 2, 3, 4);
  const HexagonType& t = Type(2);
  ASSERT_NE(t.low, nullptr);
  EXPECT_EQ(t.low_index, 0u);
  EXPECT_EQ(t.high_index, 1u);
  EXPECT_STREQ(t.name, "KID_WALD00");
  EXPECT_EQ(t.parameter, 7);
  EXPECT_EQ(t.rgba[3], 4);
  EXPECT_EQ(t.low_key, THING_OBJECT3D);
  EXPECT_EQ(N(THING_OBJECT3D), 3u);
  // Sway points: the 32-bit triangle's points of low and high model.
  for (uint32_t p : {6u, 0u, 1u}) EXPECT_EQ(*At<SELECT3D>(THING_SELECT3D, t.low->first_point + p), 1) << p;
  EXPECT_EQ(*At<SELECT3D>(THING_SELECT3D, t.high->first_point + 6), 1);
  EXPECT_EQ(*At<SELECT3D>(THING_SELECT3D, t.low->first_point + 3), 0);

  SetHexagone(2, "again", "plain.qoe", "NONE", 0, 0, 0, 0, 0);
  EXPECT_TRUE(Logged("SetHexagone: This Hexagone already defined."));
  SetHexagone(100, "too far", "plain.qoe", "NONE", 0, 0, 0, 0, 0);
  EXPECT_TRUE(Logged("SetHexagone: Fehlerhafte Parmater\xfc" "bergabe."));
  SetHexagone(3, "four", "ABCD", "plain.qoe", 0, 0, 0, 0, 0);
  EXPECT_TRUE(Logged("SetHexagone: Erster Filename war 0."));
  EXPECT_EQ(Type(3).low, nullptr);
  EXPECT_EQ(N(THING_OBJECT3D), 3u);

  // Without sharing every type loads its own copy.
  SetHexagone(4, "plain", "plain.qoe", "NONE", 0, 0, 0, 0, 0);
  SetHexagone(5, "plain too", "plain.qoe", "NONE", 0, 0, 0, 0, 0);
  EXPECT_EQ(N(THING_OBJECT3D), 5u);
  EXPECT_EQ(Type(5).high, Type(5).low);
  EXPECT_EQ(N(THING_SELECT3D) > Type(4).low->first_point + 6 ? *At<SELECT3D>(THING_SELECT3D, Type(4).low->first_point + 6) : 0, 0);
  // With sharing a file is loaded once; an empty high name matches nobody.
  SceneModels()->share_models = 1;
  SetHexagone(6, "shared", "hex_forest.qoe", "hex_high.qoe", 0, 0, 0, 0, 0);
  EXPECT_EQ(N(THING_OBJECT3D), 5u);
  EXPECT_EQ(Type(6).low, Type(2).low);
  EXPECT_EQ(Type(6).high_index, Type(2).high_index);
  SetHexagone(7, "shared plain", "plain.qoe", "NONE", 0, 0, 0, 0, 0);
  EXPECT_EQ(Type(7).low_index, Type(5).low_index);  // the later match wins
  EXPECT_EQ(Type(7).high, Type(7).low);
  // Terrain 13 sways whatever its file; no high poly: high is low.
  Engine()->use_high_poly = 0;
  SceneModels()->share_models = 0;
  SetHexagone(13, "KID_STEPPE01", "plain.qoe", "hex_high.qoe", 9, 0, 0, 0, 0);
  EXPECT_EQ(Type(13).high, Type(13).low);
  EXPECT_EQ(*At<SELECT3D>(THING_SELECT3D, Type(13).low->first_point + 6), 1);
  // A missing file leaves the type undefined.
  SetHexagone(8, "missing", "missing.qoe", "NONE", 0, 0, 0, 0, 0);
  EXPECT_EQ(Type(8).low, nullptr);
  EXPECT_TRUE(Logged("LoadQOE: Konnte Datei <missing.qoe> nicht laden."));

  // XSetHexagone: both sides of every face it added are drawn.
  datakit::QoeModel own = HexModel(1, 0, 0, 0);
  own.textures[0].file = "bmp/own.bmp";
  Write("own.qoe", own);
  SetHexagone(9, "culled", "own.qoe", "NONE", 0, 0, 0, 0, 0);
  const int32_t culled = Type(9).low->faces[0].texture_index;
  EXPECT_EQ(At<TEXTURE3D>(THING_TEXTURE3D, uint32_t(culled))->cull, 1);
  own.textures[0].file = "bmp/own2.bmp";
  Write("own2.qoe", own);
  XSetHexagone(10, "both sides", "own2.qoe", "NONE", 0, 0, 0, 0, 0);
  EXPECT_EQ(Type(10).low->faces[0].texture->cull, 0);
  EXPECT_EQ(At<TEXTURE3D>(THING_TEXTURE3D, uint32_t(culled))->cull, 1);
  ExpectPointersResolved();
}

TEST_F(Hexagons, BaseWaterAndHeightColours) {
  Write("water_low.qoe", HexModel(1, 0, 0, -1));
  Write("water_high.qoe", HexModel(1, 0, 0, -2, {}, 2));
  Write("land.qoe", HexModel(1, 0, 0, 0));
  XSetHexagone(23, "KID_WASSER00", "water_low.qoe", "water_high.qoe", 13, 0, 0, 0, 255);
  XSetHexagone(28, "KID_WASSER01", "water_low.qoe", "water_high.qoe", 14, 0, 0, 0, 255);
  XSetHexagone(29, "KID_WASSER02", "water_low.qoe", "water_high.qoe", 15, 0, 0, 0, 255);
  SceneModels()->water_objects = 2;  // terrain 23 added three objects
  SetHexagone(17, "KID_WALD00", "land.qoe", "NONE", 0, 0, 0, 0, 0);
  const int32_t logo = NewObject("QoE's Logo", 0);
  NewFace(0);
  NewPoint(0, 0, 0, 0, 0, 0, 0, 0);
  const uint8_t mark[4] = {1, 2, 3, 4};
  SetObjectRGBA(At<OBJECT3D>(THING_OBJECT3D, uint32_t(logo)), mark);
  SceneModels()->logo = logo;
  Engine()->night_on = 1;
  const uint8_t night[4] = {40, 60, 80, 7};
  std::memcpy(SceneModels()->night_colour, night, 4);
  ASSERT_EQ(N(THING_OBJECT3D), 11u);
  std::vector<std::vector<float>> heights;
  for (uint32_t i = 0; i < 9; i++) {
    const OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, i);
    heights.emplace_back();
    for (int k = 0; k < o->point_count; k++) heights.back().push_back(o->points[k].y);
  }
  ApplyObjectColours();
  const uint8_t base[4] = {40, 60, 80, 255};
  EXPECT_EQ(std::memcmp(At<OBJECT3D>(THING_OBJECT3D, 9)->points[0].rgba, base, 4), 0);  // land
  EXPECT_EQ(std::memcmp(At<OBJECT3D>(THING_OBJECT3D, 10)->points[0].rgba, mark, 4), 0);  // the logo
  for (uint32_t i = 0; i < 9; i++) {
    const OBJECT3D* o = At<OBJECT3D>(THING_OBJECT3D, i);
    for (int k = 0; k < o->point_count; k++) {
      uint8_t want[4];
      std::memcpy(want, SceneModels()->water_colour[i / 3], 4);
      const float g = std::trunc(heights[i][size_t(k)] * 10 + 20);
      const uint8_t grey = uint8_t(std::max(0.0f, std::min(255.0f, g)));
      const uint8_t tone[4] = {grey, grey, grey, 255};
      MixRGBA(want, tone);
      MixRGBA(want, base);
      ASSERT_EQ(std::memcmp(o->points[k].rgba, want, 4), 0) << i << " " << k;
    }
  }
  // By day the base is white.
  Engine()->night_on = 0;
  ApplyObjectColours();
  EXPECT_EQ(At<OBJECT3D>(THING_OBJECT3D, 9)->points[0].rgba[0], 255);
  EXPECT_EQ(At<OBJECT3D>(THING_OBJECT3D, 10)->points[0].rgba[0], 1);
}

TEST_F(Hexagons, StoresGrowingDuringTheCommandsKeepEveryPointer) {
  Register(1);
  Tables();
  Write("a.qoe", HexModel(2, 5, 5, 3, {}, 3));
  Write("b.qoe", HexModel(1, 0, 0, 0, {}, 2));
  SceneModels()->merge_hierarchy = 1;
  SceneModels()->share_models = 1;
  for (int t = 0; t < 12; t++) {
    SetHexagone(t, "type", t % 2 ? "a.qoe" : "b.qoe", t % 3 ? "b.qoe" : "NONE", 0, 0, 0, 0, 0);
    ExpectPointersResolved();
  }
  // Each file once as a low and once as a high model (names are shared low
  // with low, high with high), merged into one object each.
  EXPECT_EQ(N(THING_OBJECT3D), 3u);
  EXPECT_EQ(Type(1).low->point_count, 21);
  EXPECT_GT(FindThingSlot(THING_POINT3D)->capacity, 1u);
}

}  // namespace
