// The engine of the fuzz targets and the model tests: defaults, every store
// registered with one small capacity (so that loads grow the stores),
// textures neither reduced nor mip-mapped nor sent to GL.
#pragma once
#include <cstdint>

#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"

// 1 when every store was registered.
inline uint32_t RegisterSmallEngineStores(uint32_t capacity) {
  InitEngineDefaults();
  EngineRecord& e = *Engine();
  e.cap_faces = e.cap_points = e.cap_objects = e.cap_textures = e.cap_frames = e.cap_point_indices =
      e.cap_vertex_changes = e.cap_view_faces = e.cap_view_points = e.cap_view_point_indices =
          e.cap_triangle_indices = e.cap_centres = e.cap_view_centres = capacity;
  e.half_textures = 1;
  e.mipmapping = 0;
  const uint32_t ok = RegisterEngineThings();
  SetIndividualTextures(0);
  return ok;
}
