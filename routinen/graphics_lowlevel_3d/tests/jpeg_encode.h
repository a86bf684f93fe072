// Encodes pictures as JPEG with libjpeg for the model-file tests and the
// benchmark.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <cstdint>
#include <vector>

namespace enginetest {

// components 1 (grey) or 3 (R G B); rows top-down.
inline std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int width, int height, int components,
                                       int quality = 92) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = JDIMENSION(width);
  c.image_height = JDIMENSION(height);
  c.input_components = components;
  c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(pixels + size_t(c.next_scanline) * width * components);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<uint8_t> out(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&c);
  return out;
}

}  // namespace enginetest
