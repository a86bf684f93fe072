#include "pngfile.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "log.h"
#include "plainfile.h"

int WritePngRGB(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height) {
  if (!path || !pixels || width == 0 || height == 0) return 0;
  FILE* f = OpenPlainStream(path, "wb", true);
  if (!f) {
    DebugLog("WritePngRGB: Konnte Datei %s nicht anlegen", path);
    return 0;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_byte> row(static_cast<size_t>(width) * 3);
  int ok = 0;
  if (png && info) {
    if (setjmp(png_jmpbuf(png)) == 0) {
      png_init_io(png, f);
      png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                   PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
      png_write_info(png, info);
      for (uint32_t y = 0; y < height; y++) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; x++) {
          row[x * 3 + 0] = static_cast<png_byte>(src[x] >> 16);
          row[x * 3 + 1] = static_cast<png_byte>(src[x] >> 8);
          row[x * 3 + 2] = static_cast<png_byte>(src[x]);
        }
        png_write_row(png, row.data());
      }
      png_write_end(png, nullptr);
      ok = 1;
    }
  }
  png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
  if (std::fclose(f) != 0) ok = 0;
  if (!ok) DebugLog("WritePngRGB: Konnte PNG %s nicht schreiben", path);
  return ok;
}

int ReadPngRGB(const char* path, std::vector<uint32_t>* pixels, uint32_t* width, uint32_t* height) {
  if (!path || !pixels) return 0;
  FILE* f = OpenPlainStream(path, "rb", true);
  if (!f) return 0;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  int ok = 0;
  std::vector<png_byte> row;
  if (png && info) {
    if (setjmp(png_jmpbuf(png)) == 0) {
      png_init_io(png, f);
      png_read_info(png, info);
      png_set_expand(png);
      png_set_strip_16(png);
      png_set_strip_alpha(png);
      png_set_gray_to_rgb(png);
      png_read_update_info(png, info);
      uint32_t w = png_get_image_width(png, info), h = png_get_image_height(png, info);
      if (w > 0 && h > 0 && w <= 16384 && h <= 16384 && png_get_rowbytes(png, info) == w * 3) {
        row.resize(static_cast<size_t>(w) * 3);
        pixels->assign(static_cast<size_t>(w) * h, 0);
        for (uint32_t y = 0; y < h; y++) {
          png_read_row(png, row.data(), nullptr);
          uint32_t* dst = pixels->data() + static_cast<size_t>(y) * w;
          for (uint32_t x = 0; x < w; x++)
            dst[x] = (uint32_t{row[x * 3]} << 16) | (uint32_t{row[x * 3 + 1]} << 8) | row[x * 3 + 2];
        }
        if (width) *width = w;
        if (height) *height = h;
        ok = 1;
      }
    }
  }
  png_destroy_read_struct(png ? &png : nullptr, info ? &info : nullptr, nullptr);
  std::fclose(f);
  return ok;
}
