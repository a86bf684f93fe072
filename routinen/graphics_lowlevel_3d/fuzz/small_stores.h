// The fuzz targets' engine: defaults, every store registered with a small
// capacity (so that every load grows the stores), textures neither
// reduced nor mip-mapped nor sent to GL.
#pragma once
#include <cstdint>

#include "platform/log.h"
#include "routinen/graphics_lowlevel_3d/gl3d_internal.h"

inline void RegisterSmallEngineStores(uint32_t capacity) {
  DebugLogSetStderr(0);
  InitEngineDefaults();
  EngineRecord& e = *Engine();
  e.cap_faces = e.cap_points = e.cap_objects = e.cap_textures = e.cap_frames = e.cap_point_indices =
      e.cap_vertex_changes = e.cap_view_faces = e.cap_view_points = e.cap_view_point_indices =
          e.cap_triangle_indices = e.cap_centres = e.cap_view_centres = capacity;
  e.half_textures = 1;
  e.mipmapping = 0;
  RegisterEngineThings();
  SetIndividualTextures(0);
}
