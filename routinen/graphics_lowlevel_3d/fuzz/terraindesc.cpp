// Fuzz target: the data kit's terrain description reader. Whatever it
// accepts has known materials, a ground per model and sane numbers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/datakit/terrain_desc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  std::vector<datakit::TerrainModelDesc> models;
  std::string err;
  const bool ok =
      datakit::ParseTerrainModels(std::string(reinterpret_cast<const char*>(data), size), "fuzz", &models, &err);
  if (!ok) {
    if (err.rfind("fuzz:", 0) != 0) std::abort();
    return 0;
  }
  for (const datakit::TerrainModelDesc& m : models) {
    if (m.ground[0].empty() || m.grid < 2 || m.grid > 5) std::abort();
    for (const datakit::TerrainFeatureDesc& f : m.features)
      for (double v : f.num)
        if (!std::isfinite(v) || std::fabs(v) > 1e9) std::abort();
    for (const auto& s : m.ground)
      if (!datakit::KnownTerrainMaterial(s)) std::abort();
  }
  return 0;
}
