// Encodes pictures as JPEG for the model-file tests and the benchmark, with
// the data kit's encoder (libjpeg).
#pragma once
#include <cstdint>
#include <vector>

#include "tools/datakit/model_kit.h"

namespace enginetest {

// components 1 (grey) or 3 (R G B); rows top-down.
inline std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int width, int height, int components,
                                       int quality = 92) {
  return datakit::EncodeJpeg(pixels, width, height, components, quality);
}

}  // namespace enginetest
