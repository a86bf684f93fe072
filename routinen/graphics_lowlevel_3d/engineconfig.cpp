// The engine's settings: the defaults and the configuration file
// "qoe3d.cfg", a hand-edited list of whitespace-separated keys, values and
// scene commands (docs/gl3d-engine.md).
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

namespace {

EngineRecord& E() { return E3D().engine; }

// The configuration text with a cursor; tokens are cut out in place (the
// blank after a token becomes its NUL), so tokens of any length are read.
struct ConfigReader {
  char* text;
  uint32_t length;
  uint32_t pos;
  const char* slot[9];
  uint32_t slot_length[9];
};

// A slot's float and integer (standard conversion, 0 for text).
struct Numbers {
  float number;
  int32_t integer;
};

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0; }

// Standard text-to-number conversion: the leading number, 0 for text.
int32_t ToInteger(const char* s) {
  errno = 0;
  long v = std::strtol(s, nullptr, 10);
  if (v > INT32_MAX) v = INT32_MAX;
  if (v < INT32_MIN) v = INT32_MIN;
  return int32_t(v);
}

Numbers Converted(const char* slot) { return Numbers{std::strtof(slot, nullptr), ToInteger(slot)}; }

// Reads the next n tokens into slots 0 .. n-1; n, or fewer at the end of
// the text (the missing slots are empty). A slot's numbers are converted
// when a key takes it (Converted).
uint32_t ReadConfigTokens(ConfigReader* r, uint32_t n) {
  uint32_t got = 0;
  for (uint32_t i = 0; i < n; i++) {
    while (r->pos < r->length && Blank(r->text[r->pos])) r->pos++;
    if (r->pos >= r->length) {
      r->slot[i] = "";
      r->slot_length[i] = 0;
      continue;
    }
    char* start = r->text + r->pos;
    while (r->pos < r->length && !Blank(r->text[r->pos])) r->pos++;
    // The text has one byte after its end, so the terminator always fits.
    r->text[r->pos] = 0;
    r->slot[i] = start;
    r->slot_length[i] = uint32_t(r->text + r->pos - start);
    if (r->pos < r->length) r->pos++;
    got++;
  }
  return got;
}

enum Kind : uint8_t { kBool, kFloat, kInt, kU32, kU16, kSeason, kRGBA, kCommand };
struct Key {
  const char* name;
  Kind kind;
  size_t offset;  // of the field in EngineRecord; the command kind for kCommand
};

#define FIELD(f) offsetof(EngineRecord, f)
// Keys first, then the scene commands: a pass tests them in this order.
const Key kKeys[] = {
    {"Engine.MipMapping", kBool, FIELD(mipmapping)},
    {"Engine.AntiAlias", kBool, FIELD(antialias)},
    {"Engine.Filtering", kBool, FIELD(filtering)},
    {"Engine.HalfTextures", kU32, FIELD(half_textures)},
    {"Engine.RegroupTextures", kBool, FIELD(regroup_textures)},
    {"Engine.CorrectRatio", kBool, FIELD(correct_ratio)},
    {"Engine.FacesCulling", kBool, FIELD(faces_culling)},
    {"Map.OldLook2D", kBool, FIELD(old_look_2d)},
    {"Map.ShowInfos", kBool, FIELD(show_infos)},
    {"Map.SnowON", kBool, FIELD(snow_on)},
    {"Map.RainON", kBool, FIELD(rain_on)},
    {"Map.NightON", kBool, FIELD(night_on)},
    {"Map.SkyON", kBool, FIELD(sky_on)},
    {"Map.WindON", kBool, FIELD(wind_on)},
    {"Map.UseQOEmaps", kBool, FIELD(use_qoe_maps)},
    {"Map.UseAnimations", kBool, FIELD(use_animations)},
    {"Map.UseHighPoly", kBool, FIELD(use_high_poly)},
    {"Map.ShowParticles", kBool, FIELD(show_particles)},
    {"Map.ShowBarriers", kBool, FIELD(show_barriers)},
    {"Engine.Rotation", kFloat, FIELD(rotation)},
    {"Engine.Scale", kFloat, FIELD(scale)},
    {"Engine.ScaleMin", kFloat, FIELD(scale_min)},
    {"Engine.ScaleMax", kFloat, FIELD(scale_max)},
    {"Engine.Flip", kFloat, FIELD(flip)},
    {"Engine.FlipMin", kFloat, FIELD(flip_min)},
    {"Engine.FlipMax", kFloat, FIELD(flip_max)},
    {"Engine.KeySpeedForScaleMin", kFloat, FIELD(key_speed_scale_min)},
    {"Engine.KeySpeedForScaleMax", kFloat, FIELD(key_speed_scale_max)},
    {"Engine.MouseSpeedForScaleMin", kFloat, FIELD(mouse_speed_scale_min)},
    {"Engine.MouseSpeedForScaleMax", kFloat, FIELD(mouse_speed_scale_max)},
    {"Engine.Perspective", kFloat, FIELD(perspective)},
    {"Map.HighPolyScale", kFloat, FIELD(high_poly_scale)},
    {"Map.HighWaveScale", kFloat, FIELD(high_wave_scale)},
    {"Map.SnowSpeed", kFloat, FIELD(snow_speed)},
    {"Map.RainSpeed", kFloat, FIELD(rain_speed)},
    {"Map.RainHigh", kFloat, FIELD(rain_high)},
    {"Map.OwnerNull", kInt, FIELD(owner_null)},
    {"Map.OwnerUser", kInt, FIELD(owner_user)},
    {"Map.ActualSeason", kSeason, FIELD(season)},
    {"Engine.FogMode", kU16, FIELD(fog_mode)},
    {"Engine.FogStart", kFloat, FIELD(fog_start)},
    {"Engine.FogDensity", kFloat, FIELD(fog_density)},
    {"Engine.FogRGBA", kRGBA, FIELD(fog_rgba)},
    {"SetCharacter", kCommand, kSetCharacter},
    {"SetHexagone", kCommand, kSetHexagone},
    {"XSetCharacter", kCommand, kXSetCharacter},
    {"XSetHexagone", kCommand, kXSetHexagone},
};
#undef FIELD

template <typename T>
T* Field(size_t offset) {
  return reinterpret_cast<T*>(reinterpret_cast<uint8_t*>(&E()) + offset);
}

// Records a scene command from slots 0 .. 8 (the id and its tokens).
void RecordCommand(uint16_t kind, const ConfigReader& r) {
  EngineRecord& e = E();
  if (e.command_count == e.command_capacity) {
    const uint32_t cap = e.command_capacity ? e.command_capacity * 2 : 16;
    auto* grown = static_cast<SceneCommand*>(AllocVec(cap * uint32_t(sizeof(SceneCommand)), MEMF_PUBLIC | MEMF_CLEAR));
    if (!grown) return;
    if (e.commands) std::memcpy(grown, e.commands, e.command_count * sizeof(SceneCommand));
    FreeVec(e.commands);
    e.commands = grown;
    e.command_capacity = cap;
  }
  const uint16_t texts = (kind == kSetCharacter || kind == kXSetCharacter) ? 4 : 3;
  size_t bytes = 0;
  for (int i = 1; i <= texts; i++) bytes += std::strlen(r.slot[i]) + 1;
  if (bytes > 0xFFFFFFFFu) return;
  auto* block = static_cast<char*>(AllocVec(uint32_t(bytes), MEMF_PUBLIC));
  if (!block) return;
  SceneCommand& c = e.commands[e.command_count++];
  c = SceneCommand{};
  c.kind = kind;
  c.id = uint16_t(Converted(r.slot[0]).integer);
  c.text_count = texts;
  c.tokens = block;
  char* p = block;
  for (int i = 0; i < texts; i++) {
    const size_t n = std::strlen(r.slot[1 + i]) + 1;
    std::memcpy(p, r.slot[1 + i], n);
    c.text[i] = p;
    p += n;
  }
  for (int i = 0; i + 1 + texts < 9; i++) {
    const Numbers n = Converted(r.slot[1 + texts + i]);
    c.number[i] = n.number;
    c.integer[i] = n.integer;
  }
}

// One key of the pass matched slot 0: reads its values. Afterwards slot 0
// holds the last token read, which the rest of the pass tests further.
void ApplyKey(ConfigReader* r, const Key& k) {
  if (k.kind == kCommand) {
    ReadConfigTokens(r, 9);
    const uint32_t before = E().command_count;
    RecordCommand(uint16_t(k.offset), *r);
    // The scene set-up runs each command at once, so that later commands
    // and keys see its definitions.
    if (E3D().scene_command && E().command_count > before) E3D().scene_command(&E().commands[before]);
    return;
  }
  if (k.kind == kRGBA) {
    if (ReadConfigTokens(r, 3) < 3) return;
    uint8_t* rgba = Field<uint8_t>(k.offset);
    for (int i = 0; i < 3; i++) rgba[i] = uint8_t(Converted(r->slot[i]).integer & 0xFF);
    return;
  }
  // A key at the very end of the file has no value: nothing changes.
  if (ReadConfigTokens(r, 1) == 0) return;
  const char* v = r->slot[0];
  switch (k.kind) {
    case kBool:
      if (std::strcmp(v, "TRUE") == 0) *Field<uint32_t>(k.offset) = 1;
      if (std::strcmp(v, "FALSE") == 0) *Field<uint32_t>(k.offset) = 0;
      break;
    case kSeason: {
      const struct {
        const char* word;
        uint16_t season;
      } words[] = {{"SPRING", 1}, {"SUMMER", 2}, {"WINTER", 4}, {"OLD", 5}, {"QOE", 6}, {"ANIM", 7}};
      for (const auto& w : words)
        if (std::strcmp(v, w.word) == 0) *Field<uint16_t>(k.offset) = w.season;
      break;
    }
    default:
      if (std::strcmp(v, "NONE") == 0) break;
      const Numbers n = Converted(v);
      if (k.kind == kFloat) *Field<float>(k.offset) = n.number;
      if (k.kind == kInt) *Field<int32_t>(k.offset) = n.integer;
      if (k.kind == kU32) *Field<uint32_t>(k.offset) = uint32_t(n.integer);
      if (k.kind == kU16) *Field<uint16_t>(k.offset) = uint16_t(n.integer);
      break;
  }
}

}  // namespace

EngineRecord* Engine() { return &E(); }

void FreeSceneCommands() {
  EngineRecord& e = E();
  for (uint32_t i = 0; i < e.command_count; i++) FreeVec(e.commands[i].tokens);
  FreeVec(e.commands);
  e.commands = nullptr;
  e.command_count = e.command_capacity = 0;
}

void InitEngineDefaults() {
  FreeSceneCommands();
  EngineRecord& e = E();
  e = EngineRecord{};
  std::strcpy(e.banner, "Quill Of Elmor - 3D Engine v140");
  e.mode_width = 800;
  e.mode_height = 600;
  e.mode_depth = 32;
  e.rotation = 38.0f;
  e.flip = 30.0f;
  e.scale = 0.3f;
  e.scale_min = 0.3f;
  e.scale_max = 5.0f;
  e.flip_min = 30.0f;
  e.flip_max = 90.0f;
  e.key_speed_scale_min = 40.0f;
  e.key_speed_scale_max = 0.5f;
  e.mouse_speed_scale_min = 40.0f;
  e.mouse_speed_scale_max = 0.5f;
  e.mipmapping = 1;
  e.antialias = 1;
  e.filtering = 1;
  e.half_textures = 2;
  e.regroup_textures = 0;
  e.correct_ratio = 1;
  e.faces_culling = 0;
  e.fog_mode = 1;
  e.fog_start = 0.8f;
  e.fog_density = 0.8f;
  e.fog_rgba[0] = 128;
  e.fog_rgba[1] = 173;
  e.fog_rgba[2] = 192;
  e.fog_rgba[3] = 128;
  e.perspective = 0.36f;
  e.aspect_ratio = 1.0f;
  e.cap_faces = 30000;
  e.cap_points = 100000;
  e.cap_objects = 3000;
  e.cap_textures = 1000;
  e.cap_frames = 9000;
  e.cap_point_indices = 250000;
  e.cap_vertex_changes = 1600000;
  e.cap_view_faces = 90000;
  e.cap_view_points = 250000;
  e.cap_view_point_indices = 320000;
  e.cap_triangle_indices = 100000;
  e.cap_centres = 15000;
  e.cap_view_centres = 80000;
  // Map options: the view presets, with night and sky off as the scene
  // set-up leaves them before it reads the file; snow, rain and wind follow
  // season 3.
  e.season = 3;
  e.old_look_2d = 0;
  e.show_infos = 1;
  e.snow_on = 0;
  e.rain_on = 1;
  e.wind_on = 1;
  e.night_on = 0;
  e.sky_on = 0;
  e.use_qoe_maps = 1;
  e.use_animations = 1;
  e.use_high_poly = 1;
  e.show_particles = 1;
  e.show_barriers = 1;
  e.high_poly_scale = 1.0f;
  e.high_wave_scale = 1.0f;
  e.snow_speed = 1.0f;
  e.rain_speed = 4.0f;
  e.rain_high = 12.0f;
  e.owner_null = -1;
  e.owner_user = 0;
  const uint8_t colours[6][4] = {{0, 0, 0, 0},       {255, 255, 255, 255}, {57, 113, 33, 255},
                                 {57, 33, 113, 255}, {214, 0, 0, 255},     {255, 0, 0, 0}};
  std::memcpy(e.colours, colours, sizeof colours);
  e.started = 0;
  e.view_fog_start = e.fog_start;
  e.view_fog_density = e.fog_density;
  e.view_far = 1.0f;
  // The camera takes rotation, flip and scale within their limits.
  if (e.flip < e.flip_min) e.flip = e.flip_min;
  if (e.flip > e.flip_max) e.flip = e.flip_max;
  if (e.scale < e.scale_min) e.scale = e.scale_min;
  if (e.scale > e.scale_max) e.scale = e.scale_max;
  Engine3DState& s = E3D();
  std::memcpy(s.colour_key, e.colours[5], 3);
  s.individual_textures = 1;
  s.batch_indices = 0;
  s.batch_texture = 0;
  s.faces_tested = s.faces_culled = s.flushes = 0;
  s.cur_index = nullptr;
  s.primitive = 0;
  s.point_size = 1.0f;
  ResetSceneModels();
  // The view's start values; the camera through its setters.
  ResetViewState();
  SetViewRotation(e.rotation, 1);
  SetViewFlip(e.flip, 1);
  SetViewScale(e.scale, 1);
}

void ParseEngineConfig(const char* text, uint32_t length) {
  // A private copy with one byte more: tokens are cut out in place.
  char* copy = static_cast<char*>(AllocVec(length + 1, MEMF_PUBLIC | MEMF_CLEAR));
  if (!copy) return;
  if (length) std::memcpy(copy, text, length);
  ConfigReader r{};
  r.text = copy;
  r.length = length;
  // The keys' lengths: most tokens are told apart by length alone.
  static const auto lengths = [] {
    std::array<uint32_t, std::size(kKeys)> l{};
    for (size_t i = 0; i < l.size(); i++) l[i] = uint32_t(std::strlen(kKeys[i].name));
    return l;
  }();
  while (ReadConfigTokens(&r, 1) == 1) {
    for (size_t i = 0; i < std::size(kKeys); i++)
      if (r.slot_length[0] == lengths[i] && std::memcmp(r.slot[0], kKeys[i].name, lengths[i]) == 0)
        ApplyKey(&r, kKeys[i]);
  }
  EngineRecord& e = E();
  e.view_fog_start = e.fog_start;
  e.view_fog_density = e.fog_density;
  FreeVec(copy);
}

int32_t ReadEngineConfig(const char* path) {
  uint32_t size = 0;
  FileHandle f = Open(path, MODE_READONLY);
  if (!f) return 0;
  Close(f);
  void* text = LoadFile2MemSize(path, MEMF_PUBLIC, &size);
  // An empty file loads as nothing: every default stands.
  ParseEngineConfig(static_cast<const char*>(text), text ? size : 0);
  FreeVec(text);
  return 1;
}
