// JPEG pictures through libjpeg's IJG 6b interface. The file is read whole
// by the file layer and decoded from memory. The error manager's jump
// stays inside one C-style function (DecodeJpegRows) with no C++ objects
// between setjmp and the library calls; rows are decoded into a scratch
// buffer and copied to the caller's only when the whole picture decoded,
// so a failure never leaves a half-written buffer. The model loader, which
// throws a texture away when its picture fails, decodes in place instead.
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

namespace {

// Pictures above this many pixels are refused (textures are at most a few
// thousand pixels wide; this keeps hostile headers from asking for gigabytes).
constexpr uint64_t kMaxJpegPixels = 4096ull * 4096ull;

struct JpegErrorManager {
  struct jpeg_error_mgr pub;
  jmp_buf jump;
};

// libjpeg's error exit for this decoder: logs the library's message and
// jumps back into DecodeJpegRows, which destroys the decompressor.
void JpegErrorExit(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  DebugLog("DecodeJpeg: %s\n", text);
  longjmp(reinterpret_cast<JpegErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings about damaged data: the picture still decodes, nothing to tell.
void JpegQuietMessage(j_common_ptr) {}

// Decodes data into a new AllocVec block of width x height x components
// bytes, top row first. want_bits 8 asks for grey, 24 for colour, 0 takes
// the file's own (grey stays grey, else colour). expect (non-zero): the
// image must have exactly that many bytes. direct (with expect): the rows go
// straight into it, no scratch; it may hold part of the picture on failure.
// 1 with *out filled (direct itself when given), else 0.
int DecodeJpegRows(const uint8_t* data, uint32_t size, int want_bits, uint32_t expect, uint8_t* direct,
                   uint8_t** out, uint16_t* width, uint16_t* height, uint16_t* bits, int logging) {
  struct jpeg_decompress_struct cinfo;
  struct JpegErrorManager err{};
  uint8_t* volatile scratch = NULL;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegErrorExit;
  err.pub.output_message = JpegQuietMessage;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    FreeVec(scratch);
    return 0;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), size);
  jpeg_read_header(&cinfo, TRUE);
  if (want_bits == 8) cinfo.out_color_space = JCS_GRAYSCALE;
  if (want_bits == 24) cinfo.out_color_space = JCS_RGB;
  if (want_bits == 0) cinfo.out_color_space = cinfo.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
  if (uint64_t(cinfo.image_width) * cinfo.image_height > kMaxJpegPixels || cinfo.image_width > 65535 ||
      cinfo.image_height > 65535) {
    DebugLog("DecodeJpeg: Bild zu gross (%u x %u)\n", unsigned(cinfo.image_width), unsigned(cinfo.image_height));
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  jpeg_start_decompress(&cinfo);
  const uint32_t row = cinfo.output_width * uint32_t(cinfo.output_components);
  const uint32_t bytes = row * cinfo.output_height;
  if (expect && bytes != expect) {
    if (logging) DebugLog("JPEG cant fit in given Image !\n");
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  uint8_t* rows = direct;
  if (!rows) {
    scratch = static_cast<uint8_t*>(AllocVec(bytes, MEMF_PUBLIC));
    rows = scratch;
  }
  if (!rows) {
    if (logging) DebugLog("JPEG dont have memory for Image !\n");
    jpeg_destroy_decompress(&cinfo);
    return 0;
  }
  if (logging)
    DebugLog("Reading JPEG %d X %d X %d Bits to Memory(%ld)\n", int(cinfo.output_width), int(cinfo.output_height),
             cinfo.output_components * 8, long(bytes));
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW line = rows + size_t(cinfo.output_scanline) * row;
    jpeg_read_scanlines(&cinfo, &line, 1);
  }
  jpeg_finish_decompress(&cinfo);
  *width = uint16_t(cinfo.output_width);
  *height = uint16_t(cinfo.output_height);
  *bits = uint16_t(cinfo.output_components * 8);
  jpeg_destroy_decompress(&cinfo);
  *out = rows;
  return 1;
}

}  // namespace

void SetJpegLogging(int on) { E3D().jpeg_logging = on; }

int32_t DecodeJpeg(const uint8_t* data, uint32_t size, JpegImage* image) {
  if (!data || !image) return 0;
  uint32_t expect = 0;
  int want = 0;
  if (image->pixels) {
    if (image->bits != 8 && image->bits != 24) return 0;
    want = image->bits;
    expect = uint32_t(image->width) * image->height * (image->bits / 8);
    if (expect == 0) return 0;
  }
  uint8_t* pixels = nullptr;
  uint16_t w = 0, h = 0, bits = 0;
  if (!DecodeJpegRows(data, size, want, expect, nullptr, &pixels, &w, &h, &bits, E3D().jpeg_logging)) return 0;
  if (image->pixels) {
    std::memcpy(image->pixels, pixels, expect);
    FreeVec(pixels);
  } else {
    image->pixels = pixels;
  }
  image->width = w;
  image->height = h;
  image->bits = bits;
  return 1;
}

int32_t DecodeJpegInPlace(const uint8_t* data, uint32_t size, const JpegImage& image) {
  if (!data || !image.pixels || (image.bits != 8 && image.bits != 24)) return 0;
  const uint32_t expect = uint32_t(image.width) * image.height * (image.bits / 8u);
  if (expect == 0) return 0;
  uint8_t* out = nullptr;
  uint16_t w = 0, h = 0, bits = 0;
  return DecodeJpegRows(data, size, image.bits, expect, image.pixels, &out, &w, &h, &bits, E3D().jpeg_logging);
}

int32_t LoadJpegFile(const char* path, JpegImage* image) {
  const int logging = E3D().jpeg_logging;
  if (logging) DebugLog("JPEG File <%s> \n", path ? path : "");
  uint32_t size = 0;
  void* data = path ? LoadFile2MemSize(path, MEMF_PUBLIC, &size) : nullptr;
  if (!data) {
    if (logging) DebugLog("can't open %s\n", path ? path : "");
    return 0;
  }
  const int32_t ok = DecodeJpeg(static_cast<const uint8_t*>(data), size, image);
  FreeVec(data);
  return ok;
}
