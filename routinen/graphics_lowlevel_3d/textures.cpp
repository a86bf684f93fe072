// Texture records: set-up, loading from .jpg, .tga and .bmp files (a colour
// file and an alpha file or colour key), channel order, flips, reduction,
// alpha smoothing and the texture atlases.
#include <cctype>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

namespace {

EngineRecord& E() { return E3D().engine; }

// Textures larger than this are refused (a 4096 x 4096 RGBA picture fits).
constexpr uint64_t kMaxTextureBytes = 96ull << 20;

// target (tw x th) := the averages of factor x factor blocks of C channels,
// summed row by row of the block into one accumulator row.
template <uint32_t C>
void ReduceBlocks(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t th, uint32_t tw, uint32_t factor,
                  uint32_t div) {
  const size_t row = size_t(width) * C;
  uint32_t acc[1024 * C];
  for (uint32_t x0 = 0; x0 < tw; x0 += 1024) {
    const uint32_t n = tw - x0 < 1024 ? tw - x0 : 1024;
    for (uint32_t y = 0; y < th; y++) {
      std::memset(acc, 0, sizeof(uint32_t) * n * C);
      for (uint32_t dy = 0; dy < factor; dy++) {
        const uint8_t* s = source + size_t(y * factor + dy) * row + size_t(x0) * factor * C;
        for (uint32_t x = 0; x < n; x++)
          for (uint32_t dx = 0; dx < factor; dx++, s += C)
            for (uint32_t k = 0; k < C; k++) acc[x * C + k] += s[k];
      }
      uint8_t* out = target + (size_t(y) * tw + x0) * C;
      for (uint32_t i = 0; i < n * C; i++) out[i] = uint8_t(acc[i] / div);
    }
  }
}

void CopyName(char* dst, size_t size, const char* src) {
  std::strncpy(dst, src ? src : "", size - 1);
  dst[size - 1] = 0;
}

}  // namespace

void SetColorKey(uint8_t r, uint8_t g, uint8_t b) {
  Engine3DState& s = E3D();
  s.colour_key[0] = r;
  s.colour_key[1] = g;
  s.colour_key[2] = b;
}

void InitializeT(TEXTURE3D* t, const char* file, uint16_t width, uint16_t height, uint16_t depth, const char* name) {
  InitializeTexture(t, file, width, height, depth, name, 1);
}

void InitializeTexture(TEXTURE3D* t, const char* file, uint16_t width, uint16_t height, uint16_t depth,
                       const char* name, int pattern) {
  if (!t) {
    DebugLog("InitializeT: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  EngineRecord& e = E();
  t->reduction = 1;
  t->uploaded = t->cull = t->mipmapped = 0;
  t->gl_name = 0;
  t->pixels = nullptr;
  CopyName(t->file, sizeof t->file, file);
  CopyName(t->name, sizeof t->name, name);
  t->width = width;
  t->height = height;
  t->depth = depth;
  t->format = 0;
  if (depth == 24) {
    t->format = 1;
    t->cull = 1;
  }
  if (depth == 32) t->format = 2;
  if (e.half_textures > 2) e.mipmapping = 0;
  if (e.mipmapping) t->mipmapped = 1;
  const uint64_t image = uint64_t(width) * height * (depth / 8);
  const uint64_t size = t->mipmapped ? image + image / 3 : image;
  if (size > kMaxTextureBytes) {
    DebugLog("InitializeT: Kein Speicher mehr vorhanden.\n");
    return;
  }
  t->pixels = static_cast<uint8_t*>(AllocVec(uint32_t(size), MEMF_PUBLIC | MEMF_CLEAR));
  if (!t->pixels) {
    DebugLog("InitializeT: Kein Speicher mehr vorhanden.\n");
    return;
  }
  // A test pattern: what a texture shows when its file cannot be read.
  // Rows differ only in their y bytes: the first row is built once and
  // copied, then each copy gets its row's y.
  if (pattern && (depth == 24 || depth == 32)) {
    const uint32_t bpp = depth / 8u, row = uint32_t(width) * bpp;
    uint8_t* first = t->pixels;
    for (uint32_t x = 0; x < width; x++) {
      first[x * bpp] = uint8_t(x);
      first[x * bpp + 2] = uint8_t(255 - x);
    }
    for (uint32_t y = 0; y < height; y++) {
      uint8_t* p = t->pixels + size_t(y) * row;
      if (y) std::memcpy(p, first, row);
      for (uint32_t x = 0; x < width; x++) {
        p[x * bpp + 1] = uint8_t(y);
        if (bpp == 4) p[x * bpp + 3] = uint8_t(255 - y);
      }
    }
  }
}

int32_t CreateTexture(const char* colour_file, const char* alpha_file, uint16_t width, uint16_t height,
                      uint16_t depth, const char* name, void*) {
  const ThingSlot* slot = FindThingSlot(THING_TEXTURE3D);
  const uint8_t* before = slot ? slot->data : nullptr;
  auto* t = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, kThingAppend));
  if (!t) {
    DebugLog("CreateTexture: Konnte kein freien Slot mehr bekommen.\n");
    return -1;
  }
  const int32_t index = int32_t(ThingLastIndex());
  // The store moved: faces find their textures again by index.
  if (slot && slot->data != before) RelinkFaceTextures();
  InitializeT(t, colour_file, width, height, depth, name);
  if (colour_file && colour_file[0]) LoadTextureFiles(t, alpha_file);
  return index;
}

void LoadTextureFiles(TEXTURE3D* t, const char* alpha_file) {
  if (!t) return;
  if (t->depth == 24) {
    LoadOneTextureFile(t);
    UploadTexture(t);
    return;
  }
  if (t->depth != 32) return;
  TEXTURE3D rgb{}, alpha{};
  InitializeT(&rgb, t->file, t->width, t->height, 24, "RGB temp");
  LoadOneTextureFile(&rgb);
  const bool with_alpha = alpha_file && alpha_file[0];
  if (with_alpha) {
    InitializeT(&alpha, alpha_file, t->width, t->height, 8, "A temp");
    LoadOneTextureFile(&alpha);
  }
  if (t->pixels && rgb.pixels && (!with_alpha || alpha.pixels)) {
    MakeRGBA(t->pixels, rgb.pixels, with_alpha ? alpha.pixels : nullptr, uint32_t(t->width) * t->height);
    if (!with_alpha && E().antialias) SmoothAlphaTexture(t);
  }
  FreeVec(rgb.pixels);
  FreeVec(alpha.pixels);
  UploadTexture(t);
}

void LoadOneTextureFile(TEXTURE3D* t) {
  if (!t) {
    DebugLog("LoadOneTextureFile: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  FileHandle f = Open(t->file, MODE_READONLY);
  if (!f) {
    DebugLog("LoadOneTextureFile: Konnte die Datei  : <%s> nicht oeffnen.\n", t->file);
    return;
  }
  Close(f);
  const size_t len = std::strlen(t->file);
  char* ext = t->file + (len >= 4 ? len - 4 : 0);
  for (char* c = ext; *c; c++) *c = char(std::tolower(static_cast<unsigned char>(*c)));
  if (std::strcmp(ext, ".jpg") == 0) {
    char base[sizeof t->file];
    std::memcpy(base, t->file, len - 4);
    base[len - 4] = 0;
    LoadJpegTexture(t, base);
    return;
  }
  uint32_t header = 0;
  if (std::strcmp(ext, ".tga") == 0) header = 18;
  if (std::strcmp(ext, ".bmp") == 0) header = 54;
  if (t->depth == 8) header += 1024;  // the palette
  if (!t->pixels) return;
  uint32_t size = 0;
  auto* data = static_cast<uint8_t*>(LoadFile2MemSize(t->file, MEMF_PUBLIC, &size));
  if (!ReadRawTexture(t, data, data ? size : 0, header))
    DebugLog("LoadOneTextureFile: Datei <%s> ist zu kurz.\n", t->file);
  FreeVec(data);
}

int ReadRawTexture(TEXTURE3D* t, const uint8_t* data, uint32_t size, uint32_t header) {
  if (!t || !t->pixels) return 0;
  const uint64_t need = uint64_t(t->width) * t->height * (t->depth / 8);
  // A short file would leave half a picture: the test pattern stays.
  if (!data || uint64_t(size) < header + need) return 0;
  std::memcpy(t->pixels, data + header, size_t(need));
  if (header != 18) FlipTexture(t);  // bottom-up rows, except a 24/32-bit .tga
  RGBAorderTexture(t, 2, 1, 0, 3);
  return 1;
}

void LoadJpegTexture(TEXTURE3D* t, const char* base) {
  if (!t || !t->pixels || !base) return;
  const size_t n = std::strlen(base);
  char path[sizeof t->file + 16];
  if (n + 11 > sizeof path) return;
  std::memcpy(path, base, n);
  if (t->depth == 8 || t->depth == 24) {
    std::strcpy(path + n, ".jpg");
    JpegImage img{t->pixels, t->width, t->height, t->depth};
    LoadJpegFile(path, &img);
    return;
  }
  if (t->depth != 32) return;
  const uint32_t count = uint32_t(t->width) * t->height;
  auto* grey = static_cast<uint8_t*>(AllocVec(count, MEMF_PUBLIC));
  auto* rgb = static_cast<uint8_t*>(AllocVec(count * 3, MEMF_PUBLIC));
  if (grey && rgb) {
    std::strcpy(path + n, "_alpha.jpg");
    JpegImage a{grey, t->width, t->height, 8};
    const int32_t have_alpha = LoadJpegFile(path, &a);
    std::strcpy(path + n, ".jpg");
    JpegImage c{rgb, t->width, t->height, 24};
    // Without its colour picture the texture stays as it was; without the
    // alpha picture the colour key decides.
    if (LoadJpegFile(path, &c)) MakeRGBA(t->pixels, rgb, have_alpha ? grey : nullptr, count);
  }
  FreeVec(grey);
  FreeVec(rgb);
}

void MakeRGBA(uint8_t* target, const uint8_t* rgb, const uint8_t* alpha, uint32_t count) {
  if (!target || !rgb) {
    DebugLog("MakeRGBA:Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  const uint8_t* key = E3D().colour_key;
  // Front to back: each source pixel is read before its target is written.
  for (uint32_t i = 0; i < count; i++) {
    const uint8_t r = rgb[0], g = rgb[1], b = rgb[2];
    uint8_t a;
    if (alpha) {
      a = alpha[i];
    } else if (r == key[0] && g == key[1] && b == key[2]) {
      target[0] = target[1] = target[2] = target[3] = 0;
      target += 4;
      rgb += 3;
      continue;
    } else {
      a = 255;
    }
    target[0] = r;
    target[1] = g;
    target[2] = b;
    target[3] = a;
    target += 4;
    rgb += 3;
  }
}

void RGBAorderTexture(TEXTURE3D* t, uint16_t i0, uint16_t i1, uint16_t i2, uint16_t i3) {
  if (!t) {
    DebugLog("RGBAorderTexture: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  if (t->depth < 24 || !t->pixels) {
    DebugLog("RGBAorderTexture: Es gab nicht zu tun.\n");
    return;
  }
  const uint32_t bpp = t->depth / 8;
  if (i0 >= bpp || i1 >= bpp || i2 >= bpp || (bpp == 4 && i3 >= 4)) {
    DebugLog("RGBAorderTexture: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  uint8_t* p = t->pixels;
  const uint32_t count = uint32_t(t->width) * t->height;
  for (uint32_t i = 0; i < count; i++, p += bpp) {
    const uint8_t old[4] = {p[0], p[1], p[2], bpp == 4 ? p[3] : uint8_t(0)};
    p[0] = old[i0];
    p[1] = old[i1];
    p[2] = old[i2];
    if (bpp == 4) p[3] = old[i3];
  }
}

void FlipBitmap(uint8_t* buffer, uint16_t width, uint16_t height, uint16_t depth) {
  if (!buffer) {
    DebugLog("FlipBitmap: Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  const size_t row = size_t(width) * (depth / 8);
  for (uint32_t i = 0; i < height / 2u; i++) {
    uint8_t* a = buffer + i * row;
    uint8_t* b = buffer + (height - 1 - i) * row;
    for (size_t k = 0; k < row; k++) {
      const uint8_t v = a[k];
      a[k] = b[k];
      b[k] = v;
    }
  }
}

void FlipTexture(TEXTURE3D* t) {
  if (t) FlipBitmap(t->pixels, t->width, t->height, t->depth);
}

void ReduceBitmap(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t height, uint16_t depth,
                  uint32_t factor) {
  // Up to 4096: a block's sum (factor^2 x 255) still fits 32 bits.
  if (!source || !target || factor == 0 || factor > 4096) {
    DebugLog("ReduceBitmap: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  const uint32_t c = depth / 8, tw = width / factor, th = height / factor;
  if (c == 0 || c > 4 || tw == 0 || th == 0) return;
  const size_t row = size_t(width) * c;
  const uint32_t div = factor * factor;
  if (factor == 2 && (c == 3 || c == 4)) {
    // The common case (each upload's mip levels start with it), unrolled.
    for (uint32_t y = 0; y < th; y++) {
      const uint8_t* a = source + size_t(2 * y) * row;
      const uint8_t* b = a + row;
      uint8_t* out = target + size_t(y) * tw * c;
      for (uint32_t x = 0; x < tw; x++, a += 2 * c, b += 2 * c)
        for (uint32_t k = 0; k < c; k++) *out++ = uint8_t((a[k] + a[k + c] + b[k] + b[k + c]) >> 2);
    }
    return;
  }
  if (c == 4) return ReduceBlocks<4>(source, target, width, th, tw, factor, div);
  if (c == 3) return ReduceBlocks<3>(source, target, width, th, tw, factor, div);
  if (c == 1) return ReduceBlocks<1>(source, target, width, th, tw, factor, div);
  if (c == 2) return ReduceBlocks<2>(source, target, width, th, tw, factor, div);
}

void ReduceTexture(TEXTURE3D* t, uint32_t factor) {
  if (!t || factor <= 1 || !t->pixels || t->width / factor == 0 || t->height / factor == 0) {
    DebugLog("ReduceTexture: Es gab nicht zu tun .\n");
    return;
  }
  TEXTURE3D reduced = *t;
  reduced.width = uint16_t(t->width / factor);
  reduced.height = uint16_t(t->height / factor);
  auto* pixels = static_cast<uint8_t*>(AllocVec(TextureBytes(&reduced), MEMF_PUBLIC | MEMF_CLEAR));
  if (!pixels) {
    DebugLog("ReduceTexture: Kein Speicher mer vorhanden.\n");
    return;
  }
  ReduceBitmap(t->pixels, pixels, t->width, t->height, t->depth, factor);
  FreeVec(t->pixels);
  t->pixels = pixels;
  t->width = reduced.width;
  t->height = reduced.height;
  t->reduction = uint8_t(t->reduction * factor);
}

void SmoothAlphaTexture(TEXTURE3D* t) {
  if (!t) {
    DebugLog("SmoothAlphaTexture: Fehlerhafte Parmateruebergabe.\n");
    return;
  }
  if (t->depth != 32 || !t->pixels) {
    DebugLog("SmoothAlphaTexture: Es gab nicht zu tun.\n");
    return;
  }
  const uint32_t w = t->width, h = t->height;
  const size_t row = size_t(w) * 4;
  // In place, top to bottom: the neighbours above and left are already smoothed.
  for (uint32_t y = 1; y + 1 < h; y++) {
    uint8_t* up = t->pixels + (y - 1) * row + 3;
    uint8_t* mid = up + row;
    uint8_t* down = mid + row;
    for (uint32_t x = 1; x + 1 < w; x++) {
      const size_t i = size_t(x) * 4;
      if (mid[i] == 0) continue;
      const uint32_t sum = up[i - 4] + up[i] + up[i + 4] + mid[i - 4] + mid[i + 4] + down[i - 4] + down[i] +
                           down[i + 4] + 4u * mid[i];
      mid[i] = uint8_t(sum / 12);
    }
  }
}

void AverageColor(const uint8_t* buffer, uint32_t width, uint32_t rows, uint16_t depth, uint32_t skip,
                  uint8_t colour[4]) {
  if (!buffer || !colour) return;
  const uint32_t c = depth / 8;
  uint64_t sum[4] = {0, 0, 0, 0};
  const uint64_t n = uint64_t(width) * rows;
  const uint8_t* p = buffer;
  for (uint32_t y = 0; y < rows; y++) {
    for (uint32_t x = 0; x < width; x++, p += c) {
      for (uint32_t k = 0; k < 3 && k < c; k++) sum[k] += p[k];
      sum[3] += c >= 4 ? p[3] : 255;
    }
    p += skip;
  }
  for (int k = 0; k < 4; k++) colour[k] = n ? uint8_t(sum[k] / n) : 0;
}

void RelinkFaceTextures() {
  const ThingSlot* tex = FindThingSlot(THING_TEXTURE3D);
  for (uint16_t key : {THING_FACE3D, THING_VFACE3D}) {
    const ThingSlot* faces = FindThingSlot(key);
    if (!faces || !faces->data || faces->element_size != sizeof(FACE3D)) continue;
    auto* f = reinterpret_cast<FACE3D*>(faces->data);
    for (uint32_t i = 0; i < faces->count; i++) {
      if (!f[i].texture) continue;
      // A particle face (more than 50 points) holds its draw mode in the
      // texture number; its texture is texture 0.
      const uint32_t index = f[i].points > kParticleFacePoints ? 0 : f[i].texture_index;
      f[i].texture = tex && tex->data && index < tex->count ? reinterpret_cast<TEXTURE3D*>(tex->data) + index : nullptr;
    }
  }
}
