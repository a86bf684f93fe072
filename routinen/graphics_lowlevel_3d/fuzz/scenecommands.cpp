// Fuzz target: the configuration's scene commands run as the reader meets
// them (terrain types and characters with whatever ids, names and numbers
// the text holds), then a few steps of the particles and the fire with the
// frame time taken from the text. Uploads stubbed, small store capacities.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/fuzz/small_stores.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 16)) return 0;
  static bool once = [] {
    DebugLogSetStderr(0);
    RegisterSmallEngineStores(8);
    InitViewPresets();
    MapAlloc();
    return true;
  }();
  (void)once;
  SetIndividualTextures(0);
  ResetScene();
  SceneModels()->loading = 1;
  E3D().scene_command = RunSceneCommand;
  ParseEngineConfig(reinterpret_cast<const char*>(data), uint32_t(size));
  E3D().scene_command = nullptr;
  FreeSceneCommands();
  int32_t t = 0;
  std::memcpy(&t, data, size < sizeof t ? size : sizeof t);
  E3D().frame_time = t;
  SeedSceneRandom(uint32_t(t));
  const int32_t p = MakeParticles("P", 20, 0, float(t % 1000), 0, 5);
  if (auto* o = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, uint32_t(p)))) {
    AnimateSmoke(o);
    AnimateRain(o);
    AnimateSnow(o);
  }
  static uint8_t heat[16 * 16], pixels[16 * 16 * 4];
  AnimateFireBitmap(16, 16, pixels, heat);
  ApplyObjectColours();
  return 0;
}
