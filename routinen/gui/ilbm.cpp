#include "ilbm.h"

#include <cstring>

#include "routinen/system/iff.h"
#include "routinen/system/memory.h"
#include "platform/log.h"

namespace {

// Unpacks ByteRun1 until `out_size` bytes (one row) are written. Returns
// false when the input ends first or a run passes the end of the row: such a
// picture is broken, and decoding on would only show it garbled.
bool UnpackByteRun1(BoundedReader& in, uint8_t* out, uint32_t out_size) {
  uint32_t o = 0;
  while (o < out_size) {
    if (!ReaderHas(in, 1)) return false;
    int8_t n = (int8_t)ReadU8(in);
    if (n >= 0) {
      uint32_t count = (uint32_t)n + 1;
      if (count > out_size - o) return false;
      const uint8_t* p = ReadSpan(in, count);
      if (!p) return false;
      std::memcpy(out + o, p, count);
      o += count;
    } else if (n != -128) {
      uint32_t count = (uint32_t)(1 - n);
      if (!ReaderHas(in, 1)) return false;
      uint8_t v = ReadU8(in);
      if (count > out_size - o) return false;
      std::memset(out + o, v, count);
      o += count;
    }
  }
  return true;
}

int Fail(const char* why) {
  DebugLog("DecodeIlbm: %s\n", why);
  return -1;
}

}  // namespace

void FreeIlbm(IlbmPicture* picture) {
  if (!picture) return;
  FreeVec(picture->pixels);
  FreeVec(picture->mask);
  picture->pixels = nullptr;
  picture->mask = nullptr;
}

int DecodeIlbm(const void* data, uint32_t size, IlbmPicture* out) {
  std::memset(out, 0, sizeof *out);
  uint32_t type = 0;
  BoundedReader body;
  if (!IffOpenForm(data, size, &type, &body)) return Fail("Kein vollstaendiges IFF FORM.");
  if (type != IffId("ILBM")) return Fail("Kein ILBM.");

  IffChunk bmhd{}, cmap{}, bdy{};
  bool have_bmhd = false, have_cmap = false, have_body = false;
  IffChunk c;
  int rc;
  while ((rc = IffNextChunk(&body, &c)) == 1) {
    if (c.id == IffId("BMHD") && !have_bmhd) { bmhd = c; have_bmhd = true; }
    else if (c.id == IffId("CMAP") && !have_cmap) { cmap = c; have_cmap = true; }
    else if (c.id == IffId("BODY") && !have_body) { bdy = c; have_body = true; }
  }
  if (rc < 0) return Fail("Chunk geht ueber das Dateiende.");
  if (!have_bmhd || bmhd.size < 20) return Fail("BMHD fehlt.");
  if (!have_body) return Fail("BODY fehlt.");

  BoundedReader h = MakeReader(bmhd.data, bmhd.size);
  uint16_t w = ReadBE16(h), ht = ReadBE16(h);
  ReadBE16(h);  // x
  ReadBE16(h);  // y
  uint8_t planes = ReadU8(h), masking = ReadU8(h), compression = ReadU8(h);
  ReadU8(h);
  uint16_t transparent = ReadBE16(h);
  if (w == 0 || ht == 0 || w > kIlbmMaxSide || ht > kIlbmMaxSide) return Fail("Ungueltige Groesse.");
  if (planes < 1 || planes > 8) return Fail("Nur 1 bis 8 Bitplanes.");
  if (masking > 3) return Fail("Unbekannte Maskierung.");
  if (compression > 1) return Fail("Unbekannte Kompression.");

  const uint32_t row_bytes = ((w + 15u) / 16u) * 2u;
  const uint32_t rows_planes = planes + (masking == ILBM_MASK_PLANE ? 1u : 0u);
  const uint32_t row_total = row_bytes * rows_planes;

  uint8_t* row = static_cast<uint8_t*>(AllocVec(row_total, MEMF_CLEAR));
  out->pixels = static_cast<uint8_t*>(AllocVec((uint32_t)w * ht, MEMF_CLEAR));
  if (masking == ILBM_MASK_PLANE || masking == ILBM_MASK_TRANSPARENT)
    out->mask = static_cast<uint8_t*>(AllocVec((uint32_t)w * ht, MEMF_CLEAR));
  if (!row || !out->pixels || ((masking == 1 || masking == 2) && !out->mask)) {
    FreeVec(row);
    FreeIlbm(out);
    return 0;
  }

  BoundedReader in = MakeReader(bdy.data, bdy.size);
  for (uint32_t y = 0; y < ht; ++y) {
    bool ok = compression ? UnpackByteRun1(in, row, row_total) : ReadBytes(in, row, row_total);
    if (!ok) {
      FreeVec(row);
      FreeIlbm(out);
      return Fail("BODY ist zu kurz oder beschaedigt.");
    }
    uint8_t* dst = out->pixels + (size_t)y * w;
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t byte = x >> 3, bit = 7 - (x & 7);
      uint8_t v = 0;
      for (uint32_t p = 0; p < planes; ++p) v |= (uint8_t)(((row[p * row_bytes + byte] >> bit) & 1) << p);
      dst[x] = v;
      if (masking == ILBM_MASK_PLANE)
        out->mask[(size_t)y * w + x] = (row[planes * row_bytes + byte] >> bit) & 1;
      else if (masking == ILBM_MASK_TRANSPARENT)
        out->mask[(size_t)y * w + x] = v != transparent;
    }
  }
  FreeVec(row);

  if (have_cmap) {
    uint32_t n = cmap.size / 3;
    if (n > 256) n = 256;
    for (uint32_t i = 0; i < n; ++i) {
      out->palette[i][0] = cmap.data[i * 3];
      out->palette[i][1] = cmap.data[i * 3 + 1];
      out->palette[i][2] = cmap.data[i * 3 + 2];
    }
    out->colours = (uint16_t)n;
  }
  out->width = w;
  out->height = ht;
  out->planes = planes;
  out->masking = masking;
  out->transparent = transparent;
  return 1;
}
