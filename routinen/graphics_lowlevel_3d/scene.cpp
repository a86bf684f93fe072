// The engine's start and the map scene's set-up: settings and stores, the
// map scene's tables, and the scene itself (terrain types and characters
// from the configuration, water, barriers, particles, fire, sky, overlay
// and logo), built once on the window thread (docs/gl3d-scene.md).
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

namespace {

MapSceneState& M() { return E3D().map_scene; }
EngineRecord& E() { return E3D().engine; }
SceneModelState& Models() { return E3D().scene; }

void Set3(float v[3], float x, float y, float z) {
  v[0] = x;
  v[1] = y;
  v[2] = z;
}
void Set4(uint8_t c[4], uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
  c[0] = r;
  c[1] = g;
  c[2] = b;
  c[3] = a;
}

OBJECT3D* Object(int32_t index) {
  return index >= 0 ? static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(index))) : nullptr;
}

// The scene object slots: nothing made yet.
void ClearSceneSlots() {
  SceneModelState& s = Models();
  s.rain = s.snow = s.logo = s.authors = s.overlay = s.fire = s.smoke = -1;
  MapSceneState& m = M();
  m.barriers = m.sky = -1;
  m.fire_texture = m.fire_palette = m.gui_texture = m.logo_texture = kNoTexture;
  E3D().bird_entry = E3D().shield_entry = -1;
  E3D().warmed = 0;
}

// The character table with nothing in it.
void ClearCharacterTable() {
  Engine3DState& e = E3D();
  if (e.characters) std::memset(e.characters, 0, sizeof(CharacterEntry) * kCharacterEntries);
  e.character_count = 0;
}

struct Water {
  int32_t terrain;
  const char* name;
  uint32_t parameter;
  uint8_t rgba[4];
};
const Water kWater[3] = {{23, "KID_WASSER00", 13, {93, 114, 148, 255}},
                         {28, "KID_WASSER01", 14, {77, 95, 125, 255}},
                         {29, "KID_WASSER02", 15, {70, 85, 115, 255}}};

struct OldType {
  int32_t terrain;
  const char* name;
  const char* file;
  uint32_t parameter;
};
// The terrain types of the old season's look.
const OldType kOldTypes[] = {
    {17, "KID_WALD00", "Hex_pineforest.qoe", 0},          {5, "KID_BERGE00", "Hex_middle_mountain.qoe", 1},
    {7, "KID_DORF00", "Hex_small_village_new.qoe", 2},    {9, "KID_GEBIRGE00", "Hex_big_mountain.qoe", 3},
    {10, "KID_HUEGEL00", "Hex_small_mountain.qoe", 4},    {6, "KID_DUNKELWALD00", "Hex_pineforest_deep.qoe", 5},
    {12, "KID_STEPPE00", "Hex_pastureland_birch.qoe", 6}, {1, "KID_KLEINSTADT00", "Hex_small_village_blue.qoe", 7},
    {14, "KID_SUMPF00", "Hex_swamp.qoe", 8},              {18, "KID_WALD01", "Hex_forest.qoe", 11},
};

// Lays out the cells: columns 48 units apart, odd columns half a row lower.
void LayOutCells() {
  MapSceneState& m = M();
  const uint32_t pairs = E3D().grid_pairs, rows = E3D().grid_rows;
  for (uint32_t r = 0; r < rows; r++)
    for (uint32_t j = 0; j < pairs; j++) {
      MapCell3D& even = m.cells[r * 2u * pairs + 2 * j];
      MapCell3D& odd = m.cells[r * 2u * pairs + 2 * j + 1];
      even.x = 96.0f * float(j) + 32.0f;
      even.y = 0.0f;
      even.z = 55.424f * float(r) + 27.712f;
      odd.x = 96.0f * float(j) + 80.0f;
      odd.y = 0.0f;
      odd.z = 55.424f * float(r) + 55.424f;
    }
}

// When the atlases were refused, the textures that waited for them go to
// GL one by one as they are (already reduced); later ones as usual.
void UploadWaitingTextures() {
  EngineRecord& e = E();
  const uint32_t half = e.half_textures;
  e.half_textures = 1;
  SetIndividualTextures(1);
  M().textures_not_regrouped = 1;
  for (uint32_t i = 0; i < ThingCount(THING_TEXTURE3D); i++) {
    auto* t = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i));
    if (t->pixels && !t->uploaded) UploadTexture(t);
  }
  e.half_textures = half;
}

// The GL textures of every texture record go (the context still exists).
void FreeTextureNames() {
  if (!GLContextReady()) return;
  for (uint32_t i = 0; i < ThingCount(THING_TEXTURE3D); i++)
    FreeTexture(static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i)));
}

}  // namespace

void InitViewPresets() {
  EngineRecord& e = E();
  e.season = 3;
  e.use_qoe_maps = 1;
  e.old_look_2d = 0;
  e.night_on = 1;
  e.snow_on = 0;
  e.rain_on = 0;
  e.sky_on = 1;
  e.wind_on = 1;
  e.show_particles = 1;
  e.show_barriers = 1;
  e.show_infos = 1;
  e.use_animations = 1;
  e.use_high_poly = 1;
  e.high_poly_scale = 1.0f;
  e.high_wave_scale = 1.0f;
  e.owner_user = 0;
  e.owner_null = -1;
  e.rain_high = 12.0f;
  e.rain_speed = 4.0f;
  e.snow_speed = 1.0f;

  MapSceneState& m = M();
  Engine3DState& v = E3D();
  v.grid_pairs = 20;
  v.grid_rows = 36;
  const float pairs = v.grid_pairs, rows = v.grid_rows;
  Set3(m.wind_direction, -0.2f, 0.0f, -0.2f);
  Set3(m.origin_preset, 77.0f, -127.0f, 13.0f);
  Set3(m.fire_offset, 0.0f, 10.0f, 0.0f);
  Set3(m.overlay_position, -1.0f, -1.0f, 0.55f);
  m.overlay_scale = 1.0f;
  for (auto& o : m.barrier_offsets) Set3(o, 0.0f, 0.0f, 0.0f);
  Set3(m.smoke_centre, 0.0f, 8.0f, 0.0f);
  Set3(m.smoke_box, 3.0f, 30.0f, 3.0f);
  Set3(m.weather_centre, 0.0f, 50.0f, 38.0f);
  Set3(m.weather_box, 600.0f, 50.0f, 600.0f);
  Set3(m.sky_position, 475.0f, 200.0f, -426.85f);
  Set3(v.bird_offset, 50.0f, 120.0f, -30.0f);
  m.sky_width = pairs * 96.0f / 2.0f * 1.1f;
  m.sky_height = pairs * 96.0f / 2.0f * 0.52f;
  m.time_of_day = 0;
  Set4(m.rain_head, 182, 208, 220, 20);
  Set4(m.rain_tail, 115, 166, 189, 220);
  Set4(m.highlight, 255, 200, 180, 255);
  Set4(m.reach, 255, 96, 80, 255);
  Set4(m.snow, 255, 255, 255, 255);
  Set4(m.smoke, 195, 195, 200, 200);
  const uint8_t water[3][4] = {{250, 250, 250, 200}, {120, 120, 120, 200}, {40, 40, 40, 200}};
  std::memcpy(Models().water_colour, water, sizeof water);
  // The frame's origin until the first frame works it out.
  Set3(m.origin, m.origin_preset[0] - pairs * 96.0f / 2.0f, m.origin_preset[1],
       m.origin_preset[2] - rows * 55.424f / 2.0f - 13.856f);
  m.overlay_on = 1;
  m.busy = 0;
  ClearSceneSlots();
}

void ResetScene() {
  EngineRecord& e = E();
  E3D().scene_built = 0;
  e.fog_mode = 1;
  e.night_on = e.snow_on = e.rain_on = e.sky_on = e.wind_on = 0;
  // A scene built before gives its GL textures back with its records.
  FreeTextureNames();
  ClearThings(kThingReset);
  // The stores are empty: nothing of the old scene is left to point at.
  if (HexagonType* h = Models().hexagons) std::memset(h, 0, sizeof(HexagonType) * kHexagonTypes);
  ClearCharacterTable();
  ClearSceneSlots();
  InitView();
  SetViewRotation(e.rotation, 1);
  SetViewFlip(e.flip, 1);
  SetViewScale(e.scale, 1);
  ResetHierarchy();
  UpdateFog();
}

void MapFree() {
  MapSceneState& m = M();
  FreeVec(m.cells);
  FreeVec(m.centres);
  FreeVec(m.sort[0]);
  FreeVec(m.sort[1]);
  FreeVec(m.heat);
  m.cells = nullptr;
  m.centres = nullptr;
  m.sort[0] = m.sort[1] = nullptr;
  m.heat = nullptr;
  m.focus = nullptr;
  FreeVec(Models().hexagons);
  Models().hexagons = nullptr;
  FreeVec(E3D().characters);
  E3D().characters = nullptr;
  E3D().character_count = 0;
}

uint32_t MapAlloc() {
  MapFree();
  MapSceneState& m = M();
  const uint32_t cells = uint32_t(E3D().grid_pairs) * E3D().grid_rows * 2;
  void* block[7] = {};
  const uint32_t sizes[7] = {
      cells * uint32_t(sizeof(MapCell3D)),       cells * uint32_t(sizeof(float[3])),
      cells * uint32_t(sizeof(MapSortEntry)),    cells * uint32_t(sizeof(MapSortEntry)),
      kHexagonTypes * uint32_t(sizeof(HexagonType)), kCharacterEntries * uint32_t(sizeof(CharacterEntry)),
      kFireSide * kFireSide,
  };
  for (int i = 0; i < 7; i++) {
    block[i] = cells ? AllocVec(sizes[i], MEMF_PUBLIC | MEMF_CLEAR) : nullptr;
    if (!block[i]) {
      DebugLog("MapAlloc: Kein Speicher mehr vorhanden %03d.\n", i + 1);
      for (int k = 0; k < i; k++) FreeVec(block[k]);
      return 0;
    }
  }
  m.cells = static_cast<MapCell3D*>(block[0]);
  m.centres = static_cast<float(*)[3]>(block[1]);
  m.sort[0] = static_cast<MapSortEntry*>(block[2]);
  m.sort[1] = static_cast<MapSortEntry*>(block[3]);
  Models().hexagons = static_cast<HexagonType*>(block[4]);
  E3D().characters = static_cast<CharacterEntry*>(block[5]);
  E3D().character_count = 0;
  m.heat = static_cast<uint8_t*>(block[6]);
  m.selected_cell = MapCell3D{};
  return 1;
}

void RunSceneCommand(const SceneCommand* c) {
  if (!c) return;
  const char* const* t = c->text;
  const int32_t* n = c->integer;
  const float* f = c->number;
  switch (c->kind) {
    case kSetHexagone:
      SetHexagone(c->id, t[0], t[1], t[2], uint8_t(n[0]), uint8_t(n[1]), uint8_t(n[2]), uint8_t(n[3]),
                  uint8_t(n[4]));
      break;
    case kXSetHexagone:
      XSetHexagone(c->id, t[0], t[1], t[2], uint16_t(n[0]), uint8_t(n[1]), uint8_t(n[2]), uint8_t(n[3]),
                   uint8_t(n[4]));
      break;
    case kSetCharacter:
      SetCharacter(c->id, t[0], t[1], t[2], t[3], f[0], f[1], f[2], f[3]);
      break;
    case kXSetCharacter:
      XSetCharacter(c->id, t[0], t[1], t[2], t[3], f[0], f[1], f[2], f[3]);
      break;
    default:
      break;
  }
}

void LoadWaterObjects() {
  SceneModelState& s = Models();
  s.merge_hierarchy = s.share_models = s.loading = 0;
  // What the water models bring besides their objects is dropped again;
  // the characters' animations and elements stay.
  const uint32_t animations = ThingCount(THING_ANIMATION3D), frames = ThingCount(THING_FRAME3D),
                 elements = ThingCount(THING_ELEMENT3D);
  for (int i = 0; i < 3; i++) {
    const Water& w = kWater[i];
    const uint32_t before = ThingCount(THING_OBJECT3D);
    XSetHexagone(w.terrain, w.name, "qoe/Water_low.qoe", "qoe/Water_high.qoe", w.parameter, w.rgba[0], w.rgba[1],
                 w.rgba[2], w.rgba[3]);
    if (i == 0) s.water_objects = int32_t(ThingCount(THING_OBJECT3D) - before) - 1;
  }
  s.merge_hierarchy = s.share_models = 1;
  TruncateThing(THING_ELEMENT3D, elements);
  TruncateThing(THING_FRAME3D, frames);
  TruncateThing(THING_ANIMATION3D, animations);
  SetHexagone(99, "KID_NOT_MADE_OBJECT", "qoe/Objectnotmade.qoe", "", 0, 164, 164, 145, 255);
  SetHexagone(0, "KID_UNKNOWN", "qoe/Newblack.qoe", "", 0, 20, 20, 30, 0);
}

void LoadKIDTable() {
  SceneModelState& s = Models();
  s.loading = 1;
  for (const OldType& t : kOldTypes) SetHexagone(t.terrain, t.name, t.file, "", t.parameter, 255, 255, 255, 255);
  s.loading = 0;
  SetHexagone(13, "KID_STEPPE01", "qoe-spring/meadow_ground.qoe", "", 9, 255, 255, 255, 255);
  SetHexagone(39, "KID_STEPPE02", "qoe-spring/Farmland_group_low.qoe", "", 10, 255, 255, 255, 255);
  LoadWaterObjects();
}

void BuildMapScene(int32_t view_column, int32_t view_row) {
  MapSceneState& m = M();
  SceneModelState& s = Models();
  EngineRecord& e = E();
  if (!m.cells || !s.hexagons || !E3D().characters || !m.heat) {
    DebugLog("BuildMapScene: Die Tabellen der Karte fehlen.\n");
    return;
  }
  m.busy = 1;
  ResetScene();
  // Every point starts unselected (no sway).
  if (e.cap_points) {
    if (void* select = AppendThings(THING_SELECT3D, e.cap_points)) std::memset(select, 0, e.cap_points);
  }
  s.loading = 1;
  if (e.season == 5) LoadKIDTable();

  // The scene commands run as the reader meets them.
  E3D().scene_command = RunSceneCommand;
  ReadEngineConfig("qoe3d.cfg");
  E3D().scene_command = nullptr;
  FreeSceneCommands();

  E3D().camera.perspective = e.perspective;
  SetViewRotation(e.rotation, 1);
  SetViewFlip(e.flip, 1);
  SetViewScale(e.scale, 1);
  // Snow, rain and wind follow the season, whatever the file says.
  e.snow_on = e.season == 4;
  e.rain_on = e.season == 3;
  e.wind_on = e.snow_on || e.rain_on;
  if (e.regroup_textures) {
    m.textures_not_regrouped = 0;
    if (e.half_textures < 4) e.half_textures = 8;
  } else {
    m.textures_not_regrouped = 1;
  }
  SetIndividualTextures(int(m.textures_not_regrouped));
  LoadWaterObjects();

  m.selected_cell = m.cells[0];
  m.selected_column = m.focus_column = view_column;
  m.selected_row = m.focus_row = view_row;
  m.focus = &m.cells[0];

  SetColorKey(0, 255, 0);
  CreateTexture("bmp/transp_parts.bmp", "", 256, 256, 32, "transp_parts", nullptr);
  MakeBarriers();
  LayOutCells();
  if (e.regroup_textures && !RemapTextures()) UploadWaitingTextures();

  s.smoke = MakeParticles("Smoke", 400, 0.0f, 500.0f, 0.0f, 6);
  if (e.snow_on) s.snow = MakeParticles("Snow", 500, 0.0f, 0.0f, 0.0f, 4);
  if (e.rain_on) s.rain = MakeParticles("Rain", 500, 0.0f, 0.0f, 0.0f, 5);
  s.fire = MakeFire();

  // From here on textures are neither reduced nor mip-mapped.
  s.loading = 0;
  e.half_textures = 1;
  e.mipmapping = 0;
  if (e.sky_on == 1) MakeClouds();
  MakeGui();

  SetColorKey(255, 0, 0);
  const int32_t logo = CreateTexture("bmp/qoe_logo.bmp", "", 256, 256, 32, "QoeLogo_tex", nullptr);
  m.logo_texture = logo >= 0 ? uint16_t(logo) : kNoTexture;
  s.logo = MakeFlatObject("QoE's Logo", 0.0f, 0.0f, 0.0f, 0.0f, m.logo_texture, 0, 0, 256, 150);
  if (OBJECT3D* o = Object(s.logo)) {
    SetObjectBounds(o);
    ResizeObject(o, 1.0f, 1.3944954f, 1.0f, 2);
  }
  s.authors = MakeFlatObject("Engine's Authors", 0.0f, 0.0f, 0.0f, 0.0f, m.logo_texture, 0, 151, 256, 104);
  if (OBJECT3D* o = Object(s.authors)) {
    SetObjectBounds(o);
    CenterObject(o, 1, 0, 1);
  }
  ApplyObjectColours();
  E3D().scene_built = 1;
  // The built scene's projection factor (scale x 0.008) from the start.
  SetViewScale(e.scale, 1);
  m.busy = 0;
}

const uint8_t* NightPalette() {
  const MapSceneState& m = M();
  if (m.logo_texture == kNoTexture) return nullptr;
  const auto* t = static_cast<const TEXTURE3D*>(ThingAt(THING_TEXTURE3D, m.logo_texture));
  if (!t || !t->pixels || t->depth != 32 || t->height <= 154 || t->reduction != 1) return nullptr;
  return t->pixels + size_t(154) * t->width * 4;
}

void StopEngine() {
  GL3D().scene_window.store(0);
  MapFree();
  FreeTextureNames();
  ClearThings(kThingFree);
  FreeAllThings();
  FreeSceneCommands();
  ResetSceneModels();
  E().started = 0;
}

void StartEngine() {
  StopEngine();
  DebugLog("StartEngine 1\n");
  InitEngineDefaults();
  DebugLog("StartEngine 2\n");
  if (!RegisterEngineThings()) {
    DebugLog("StartEngine: Konnte Engine Struktur nicht richtig allokieren.\n");
    FreeAllThings();
    return;
  }
  DebugLog("StartEngine 3\n");
  ResetScene();
  InitViewPresets();
  DebugLog("StartEngine 4\n");
  if (!MapAlloc()) {
    ClearThings(kThingFree);
    FreeAllThings();
    return;
  }
  // No wait for the game's map: the set-up needs none, and the frame reads
  // the current map every time it draws.
  DebugLog("StartEngine 5\n");
  BuildMapScene(0, 0);
  DebugLog("StartEngine 6\n");
  E().started = 1;
  GL3D().scene_window.store(uint32_t(2 * E3D().grid_pairs) << 16 | E3D().grid_rows);
  DebugLog("StartEngine 7\n");
}
