// Fuzz target: the engine configuration parser (keys, values, scene commands).
#include <cstddef>
#include <cstdint>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/gl3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static const bool quiet = (DebugLogSetStderr(0), true);
  (void)quiet;
  InitEngineDefaults();
  ParseEngineConfig(reinterpret_cast<const char*>(data), uint32_t(size));
  const EngineRecord* e = Engine();
  volatile uint32_t sum = 0;
  for (uint32_t i = 0; i < e->command_count; i++)
    for (uint16_t k = 0; k < e->commands[i].text_count; k++) sum = sum + uint8_t(e->commands[i].text[k][0]);
  FreeSceneCommands();
  return 0;
}
