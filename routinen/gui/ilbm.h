// IFF ILBM pictures: decoding a FORM ILBM (1 to 8 bit planes, CMAP, BODY
// uncompressed or ByteRun1, optional mask plane or transparent colour) into
// one byte per pixel plus its palette. See docs/pictures.md.
#pragma once
#include <cstdint>

enum : uint8_t {
  ILBM_MASK_NONE = 0,
  ILBM_MASK_PLANE = 1,        // an extra plane per row (kept as the mask)
  ILBM_MASK_TRANSPARENT = 2,  // pixels of the transparent colour are holes
  ILBM_MASK_LASSO = 3,
};

struct IlbmPicture {
  uint16_t width;
  uint16_t height;
  uint8_t* pixels;    // width x height palette indexes, rows without padding (AllocVec)
  uint8_t* mask;      // width x height, 1 = opaque; null when the picture has none (AllocVec)
  uint8_t palette[256][3];
  uint16_t colours;   // entries given by CMAP (0 when it has none)
  uint8_t planes;
  uint8_t masking;
  uint16_t transparent;
};

// Largest width and height accepted.
constexpr uint16_t kIlbmMaxSide = 4096;

// Decodes a whole FORM ILBM. Returns 1; 0 when memory runs out; -1 when the
// data is no valid ILBM (logged as "DecodeIlbm: ..."). On failure *out holds
// no memory.
int DecodeIlbm(const void* data, uint32_t size, IlbmPicture* out);
// Frees the pixel and mask memory; the record may be reused.
void FreeIlbm(IlbmPicture* picture);

// A chunk of the caller's own, written after BODY.
struct IlbmExtraChunk {
  uint32_t id;  // IffId("....")
  const void* data;
  uint32_t size;
};
// Encodes a picture as FORM ILBM: BMHD, CMAP of all 256 palette entries,
// BODY of 8 planes in ByteRun1, then the extra chunks. Masking is kept when
// it is ILBM_MASK_TRANSPARENT (with its colour), else none. A new block
// (AllocVec) and *size; null for an empty or oversized picture or no memory.
uint8_t* EncodeIlbm(const IlbmPicture* picture, const IlbmExtraChunk* extra, uint32_t extra_count, uint32_t* size);
